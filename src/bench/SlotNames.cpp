#include "bench/SlotNames.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "records/DeviceNames.h"
#include "support/SettingsKey.h"

namespace bench {
namespace {

constexpr std::size_t kMaxFolderEntries = 1024;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Why a label cannot be one; empty when it can.
std::string LabelProblem(std::string_view label) {
    if (label.empty()) {
        return "the label before '=' is empty";
    }
    if (label.size() > CSlotMap::kMaxLabelBytes) {
        return "the label is longer than " + std::to_string(CSlotMap::kMaxLabelBytes) +
               " characters";
    }
    for (const char c : label) {
        if (c < 0x20 || c > 0x7E) {
            return "the label holds a character other than printable ASCII";
        }
    }
    return {};
}

// Why a by-path name or pattern cannot be one; empty when it can.
std::string NameProblem(std::string_view name) {
    if (name.empty()) {
        return "no by-path name after '='";
    }
    if (name.find('=') != std::string_view::npos) {
        return "more than one '=' (a line names one slot: LABEL = BY-PATH NAME)";
    }
    for (const char c : name) {
        if (c == '/') {
            return "the by-path name holds a '/': give the link's name without its folder";
        }
        if (c <= 0x20 || c > 0x7E) {
            return "the by-path name holds a space or a character other than printable ASCII";
        }
    }
    return {};
}

// One line of the file into slot; false with why.
bool ParseLine(std::string_view line, SlotName& slot, std::string& why) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        why = "expected LABEL = BY-PATH NAME";
        return false;
    }
    const auto label = Trimmed(line.substr(0, equals));
    const auto name = Trimmed(line.substr(equals + 1));
    why = LabelProblem(label);
    if (why.empty()) {
        why = NameProblem(name);
    }
    slot.label = label;
    slot.name = name;
    return why.empty();
}

// Why slot may not join the ones before it; empty when it may.
std::string Clash(const std::vector<SlotName>& before, const SlotName& slot) {
    for (const auto& other : before) {
        if (other.label == slot.label) {
            return "the label '" + slot.label + "' is already given on line " +
                   std::to_string(other.line);
        }
        if (other.name == slot.name) {
            return slot.name + " already has a label on line " + std::to_string(other.line);
        }
    }
    return {};
}

bool Matches(const std::string& name, const std::string& candidate) {
    if (name == candidate) {
        return true;
    }
    return name.find_first_of("*?[") != std::string::npos &&
           ::fnmatch(name.c_str(), candidate.c_str(), 0) == 0;
}

std::string ErrnoText(int code) {
    return std::generic_category().message(code);
}

}  // namespace

bool CSlotMap::Parse(std::string_view text, std::string& error) {
    m_slots.clear();
    std::vector<SlotName> slots;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);  // written on Windows
        }
        const std::string at = "line " + std::to_string(number) + ": ";
        if (line.size() > kMaxLineBytes) {
            error = at + "longer than " + std::to_string(kMaxLineBytes) + " bytes";
            return false;
        }
        line = Trimmed(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        SlotName slot;
        slot.line = number;
        std::string why;
        if (ParseLine(line, slot, why)) {
            why = Clash(slots, slot);
        }
        if (!why.empty()) {
            error = at + why;
            return false;
        }
        if (slots.size() == kMaxSlots) {
            error = at + "more than " + std::to_string(kMaxSlots) + " slots";
            return false;
        }
        slots.push_back(std::move(slot));
    }
    m_slots = std::move(slots);
    return true;
}

bool CSlotMap::Read(const std::string& path, std::string& error) {
    m_slots.clear();
    // Non-blocking: a FIFO put in the file's place must not hang the bench.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + ErrnoText(errno);
        return false;
    }
    struct stat info {};
    std::string text;
    std::string problem;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = "not a regular file";
    } else {
        text.resize(kMaxFileBytes + 1);
        std::size_t got = 0;
        ssize_t n = 0;
        while (got < text.size() && (n = ::read(fd, text.data() + got, text.size() - got)) > 0) {
            got += static_cast<std::size_t>(n);
        }
        problem = n < 0 ? ErrnoText(errno)
                  : got > kMaxFileBytes
                      ? "larger than " + std::to_string(kMaxFileBytes / 1024) + " KiB"
                      : std::string();
        text.resize(got);
    }
    ::close(fd);
    if (!problem.empty()) {
        error = path + ": " + problem;
        return false;
    }
    if (!Parse(text, problem)) {
        error = path + ", " + problem;
        return false;
    }
    return true;
}

std::string CSlotMap::LabelOf(const std::vector<std::string>& byPathNames) const {
    for (const auto& slot : m_slots) {
        for (const auto& candidate : byPathNames) {
            if (Matches(slot.name, candidate)) {
                return slot.label;
            }
        }
    }
    return {};
}

std::string CSlotMap::LabelOfDevice(const std::string& device, const std::string& folder) const {
    return m_slots.empty() ? std::string() : LabelOf(ByPathNamesOf(device, folder));
}

std::vector<ByPathLink> ByPathLinks(const std::string& folder) {
    std::vector<ByPathLink> links;
    std::error_code ec;
    std::size_t seen = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end;
         !ec && it != end && seen < kMaxFolderEntries; it.increment(ec), ++seen) {
        const std::string path = it->path().string();
        const std::string device = records::ResolvedDevice(path);
        if (device != path) {  // a link that resolves
            links.push_back({it->path().filename().string(), device});
        }
    }
    std::sort(links.begin(), links.end(),
              [](const ByPathLink& a, const ByPathLink& b) { return NaturalLess(a.name, b.name); });
    return links;
}

std::vector<std::string> ByPathNamesOf(const std::string& device, const std::string& folder) {
    const std::string resolved = records::ResolvedDevice(device);
    std::vector<std::string> names;
    for (const auto& link : ByPathLinks(folder)) {
        if (link.device == resolved) {
            names.push_back(link.name);
        }
    }
    return names;
}

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (!IsDigit(a[i]) || !IsDigit(b[j])) {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
            continue;
        }
        // Two numbers: without their leading zeros, the longer one is
        // larger, and of two as long the first digit that differs decides.
        const auto number = [](std::string_view s, std::size_t& at) {
            while (at < s.size() && s[at] == '0') {
                ++at;
            }
            const std::size_t from = at;
            while (at < s.size() && IsDigit(s[at])) {
                ++at;
            }
            return s.substr(from, at - from);
        };
        const auto x = number(a, i);
        const auto y = number(b, j);
        if (x.size() != y.size()) {
            return x.size() < y.size();
        }
        if (x != y) {
            return x < y;
        }
    }
    if (i < a.size() || j < b.size()) {
        return j < b.size();  // a ended first: it is where b starts
    }
    return a < b;  // alike but for leading zeros
}

std::string UserSlotsFile() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string config =
        xdg != nullptr && xdg[0] == '/' ? std::string(xdg) : DefaultFileDirectory() + "/.config";
    return config + "/Veltra/slots";
}

bool LoadSlotMap(const std::string& given, const std::vector<std::string>& defaults, CSlotMap& map,
                 std::string& used, std::string& error) {
    used.clear();
    if (!given.empty()) {
        used = given;
        return map.Read(given, error);
    }
    for (const auto& path : defaults) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
            continue;  // not there: no labels from it
        }
        used = path;
        return map.Read(path, error);
    }
    map = CSlotMap();
    return true;
}

bool LoadSlotMap(const std::string& given, CSlotMap& map, std::string& error) {
    std::string used;
    return LoadSlotMap(given, {UserSlotsFile(), kSystemSlotsFile}, map, used, error);
}

}  // namespace bench
