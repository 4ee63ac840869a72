#include "cli/station/StationConfig.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace station {
namespace {

constexpr std::size_t kMaxBytes = 64 * 1024;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool YesNo(const std::string& value, std::optional<bool>& out) {
    for (const char* yes : {"yes", "true", "1", "on"}) {
        if (value == yes) {
            out = true;
            return true;
        }
    }
    for (const char* no : {"no", "false", "0", "off"}) {
        if (value == no) {
            out = false;
            return true;
        }
    }
    return false;
}

std::vector<std::string> Words(const std::string& value) {
    std::istringstream in(value);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// One "key = value"; false with the reason (without the line) in error.
bool Apply(const std::string& key, const std::string& value, StationConfig& c, std::string& error) {
    if (key == "ports") {
        const auto words = Words(value);
        c.ports.insert(c.ports.end(), words.begin(), words.end());
    } else if (key == "slots") {
        c.slots = value;
    } else if (key == "listen") {
        c.listen = value;
    } else if (key == "image") {
        c.image = value;
    } else if (key == "label") {
        c.label = value;
    } else if (key == "read-only" || key == "force") {
        if (!YesNo(value, key == "force" ? c.force : c.readOnly)) {
            error = key + " takes yes or no, not '" + value + "'";
            return false;
        }
    } else {
        error = "unknown setting '" + key +
                "' (known: ports, slots, listen, image, label, read-only, force)";
        return false;
    }
    return true;
}

}  // namespace

const char* const kDefaultConfigPath = "/etc/corvane/station.conf";

bool ParseStationConfig(const std::string& text, StationConfig& config, std::string& error) {
    if (text.size() > kMaxBytes) {
        error = "larger than 64 KiB";
        return false;
    }
    StationConfig c;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string content = Trim(line);
        if (content.empty() || content[0] == '#') {
            continue;
        }
        const auto equals = content.find('=');
        std::string problem = "no '=' in it";
        if (equals != std::string::npos) {
            std::string value = content.substr(equals + 1);
            value = Trim(value.substr(0, value.find(" #")));
            if (Apply(Trim(content.substr(0, equals)), value, c, problem)) {
                continue;
            }
        }
        error = "line " + std::to_string(number) + ": " + problem;
        return false;
    }
    config = c;
    return true;
}

bool ReadStationConfig(const std::string& path, StationConfig& config, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text(kMaxBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (!ParseStationConfig(text, config, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace station
