#include "cli/BenchReportTable.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <regex>

#include "records/JsonLine.h"

using bench::SlotInfo;
using bench::SlotState;
using records::Outcome;

namespace {

constexpr int kGap = 2;
constexpr int kStateWidth = 11;  // "no firmware"
constexpr int kPortMin = 14;
constexpr int kIdMax = 16;
constexpr int kBarMin = 5;
constexpr int kBarFirst = 10;  // before the port takes the rest
constexpr int kBarMax = 20;
const std::string kEllipsis = "...";
const std::string kSpace(kGap, ' ');

int Size(const std::string& text) {
    return static_cast<int>(text.size());
}

// Cut to width, keeping the end, where paths and IDs differ.
std::string KeepEnd(const std::string& text, int width) {
    if (Size(text) <= width) {
        return text;
    }
    if (width <= Size(kEllipsis)) {
        return text.substr(text.size() - static_cast<std::size_t>(std::max(width, 0)));
    }
    return kEllipsis + text.substr(text.size() - static_cast<std::size_t>(width - Size(kEllipsis)));
}

std::string Cell(const std::string& text, int width) {
    std::string cell = text.substr(0, static_cast<std::size_t>(std::max(width, 0)));
    cell.resize(static_cast<std::size_t>(std::max(width, 0)), ' ');
    return cell;
}

std::string Basename(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

// How much of the end all names share, from a separator on ("-if00-port0"
// of USB adapters' by-id names). A single name has no other to compare
// with: only the by-id interface and port numbers are its common end.
std::size_t CommonEnd(const std::vector<std::string>& names) {
    if (names.size() == 1) {
        static const std::regex interface("-if[0-9]+(-port[0-9]+)?$");
        std::smatch found;
        return std::regex_search(names[0], found, interface) && found.position(0) > 0
                   ? static_cast<std::size_t>(found.length(0))
                   : 0;
    }
    if (names.empty()) {
        return 0;
    }
    std::size_t shortest = names[0].size();
    for (const auto& name : names) {
        shortest = std::min(shortest, name.size());
    }
    std::size_t length = 0;
    while (length + 1 < shortest) {
        const char c = names[0][names[0].size() - length - 1];
        bool same = true;
        for (const auto& name : names) {
            same = same && name[name.size() - length - 1] == c;
        }
        if (!same) {
            break;
        }
        ++length;
    }
    while (length > 0 &&
           std::string("-_.").find(names[0][names[0].size() - length]) == std::string::npos) {
        --length;
    }
    return length;
}

std::string Version(const std::string& version) {
    return version.empty() ? "-" : version;
}

std::string Time(const SlotInfo& slot) {
    if ((slot.state == SlotState::Empty || slot.state == SlotState::Waiting) && !slot.result) {
        return {};
    }
    return records::Fixed1(slot.result ? slot.result->seconds : slot.seconds) + " s";
}

std::string Count(const SlotInfo& slot) {
    if (slot.totalBlocks <= 0 || slot.block <= 0) {
        return {};
    }
    return std::to_string(slot.block) + "/" + std::to_string(slot.totalBlocks);
}

bool Failed(const SlotInfo& slot) {
    return slot.result && slot.result->outcome == Outcome::Failed;
}

bool Busy(const SlotInfo& slot) {
    return !slot.result && slot.state != SlotState::Empty;
}

// Word-wraps text to width; the first line starts with first spaces, later
// ones with indent spaces. A word longer than a line is split where the line
// ends.
std::vector<std::string> Wrap(const std::string& text, int width, int first, int indent) {
    std::vector<std::string> lines;
    std::string line;
    bool fresh = true;  // the line holds no word yet
    const auto startLine = [&] {
        line.assign(static_cast<std::size_t>(lines.empty() ? first : indent), ' ');
        fresh = true;
    };
    startLine();
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        std::string word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) {
            continue;
        }
        if (!fresh && Size(line) + 1 + Size(word) > width) {
            lines.push_back(line);
            startLine();
        }
        if (!fresh) {
            line += ' ';
        }
        while (Size(line) + Size(word) > width && Size(line) < width) {
            const auto room = static_cast<std::size_t>(width - Size(line));
            lines.push_back(line + word.substr(0, room));
            word.erase(0, room);
            startLine();
        }
        line += word;
        fresh = false;
    }
    if (!fresh) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::string CBenchReportTable::StateWord(const SlotInfo& slot) {
    if (slot.result) {
        if (slot.result->outcome == Outcome::Read && slot.result->before.empty()) {
            return "no firmware";
        }
        return bench::OutcomeName(slot.result->outcome);
    }
    return slot.state == SlotState::Empty ? "unplugged" : bench::SlotStateName(slot.state);
}

int CBenchReportTable::Usable() const {
    // The last column stays free: a character there makes the terminal wrap.
    return m_columns > 0 ? m_columns - 1 : INT_MAX / 4;
}

CBenchReportTable::Widths CBenchReportTable::Fit(const std::vector<SlotInfo>& slots) const {
    Widths w;
    w.state = kStateWidth;
    w.before = 6;      // "BEFORE"
    w.after = 5;       // "AFTER"
    w.time = 4;        // "TIME"
    int portFull = 4;  // "PORT", "SLOT"
    int longestId = 0;
    for (const SlotInfo& slot : slots) {
        w.labels = w.labels || !slot.label.empty();
        w.before = std::max(w.before, Size(Version(slot.before)));
        w.after = std::max(w.after, Size(Version(slot.after)));
        w.time = std::max(w.time, Size(Time(slot)));
        w.count = std::max(w.count, Size(Count(slot)));
        portFull = std::max(portFull, Size(Name(slot)));
        longestId = std::max(longestId, Size(slot.deviceId));
    }
    if (longestId > 0) {
        w.id = std::clamp(longestId, 9, kIdMax);  // "DEVICE ID"
    }
    const auto progress = [&w](int bar) {
        return std::max(8, bar > 0 ? bar + 3 + w.count : w.count);  // "PROGRESS", "[bar] n/N"
    };
    const int fixed = w.state + w.before + w.after + w.time + (w.id > 0 ? w.id + kGap : 0) +
                      5 * kGap + progress(0);
    int rest = Usable() - fixed;
    // The port's first share, then a short bar, then the port's whole path,
    // then a longer bar.
    w.port = std::min(portFull, kPortMin);
    rest -= w.port;
    const auto growBar = [&](int upTo) {
        const int from = w.bar;
        for (int cells = upTo; cells >= std::max(kBarMin, from + 1); --cells) {
            if (progress(cells) - progress(from) <= rest) {
                rest -= progress(cells) - progress(from);
                w.bar = cells;
                return;
            }
        }
    };
    growBar(kBarFirst);
    const int more = std::clamp(portFull - w.port, 0, std::max(rest, 0));
    w.port += more;
    rest -= more;
    growBar(kBarMax);
    w.progress = progress(w.bar);
    if (portFull > w.port) {
        // The file names, without the end they all share: what tells the
        // ports apart is kept when the rest is cut. Labels stay as they are.
        w.basenames = true;
        std::vector<std::string> names;
        int longest = 4;  // "PORT"
        for (const SlotInfo& slot : slots) {
            if (slot.label.empty()) {
                names.push_back(Basename(slot.port));
            }
            longest = std::max(longest, Size(slot.label));
        }
        w.commonEnd = CommonEnd(names);
        // Short file names leave room that the bar may take.
        for (const auto& name : names) {
            longest = std::max(longest, Size(name) - static_cast<int>(w.commonEnd));
        }
        if (longest < w.port) {
            rest += w.port - longest;
            w.port = longest;
            growBar(kBarMax);
            w.progress = progress(w.bar);
        }
    }
    return w;
}

std::string CBenchReportTable::Header(const Widths& w) const {
    std::string line = Cell(w.labels ? "SLOT" : "PORT", w.port) + kSpace;
    if (w.id > 0) {
        line += Cell("DEVICE ID", w.id) + kSpace;
    }
    line += Cell("STATE", w.state) + kSpace + Cell("PROGRESS", w.progress) + kSpace +
            Cell("BEFORE", w.before) + kSpace + Cell("AFTER", w.after) + kSpace + "TIME";
    return line;
}

std::string CBenchReportTable::Port(const SlotInfo& slot, const Widths& w) {
    if (!slot.label.empty() || !w.basenames) {
        return KeepEnd(Name(slot), w.port);
    }
    const std::string name = Basename(slot.port);
    std::string shown =
        KeepEnd(name.substr(0, name.size() - std::min(w.commonEnd, name.size())), w.port);
    // A cut name whose last word is whole shows that word alone:
    // "...A10K3C2B", not "...RT_A10K3C2B".
    const auto cut = shown.rfind(kEllipsis, 0) == 0 ? shown.find_first_of("-_", kEllipsis.size())
                                                    : std::string::npos;
    if (cut != std::string::npos && cut + 1 < shown.size() &&
        shown.find_first_of("-_", cut + 1) == std::string::npos) {
        shown = kEllipsis + shown.substr(cut + 1);
    }
    return shown;
}

std::string CBenchReportTable::Row(const SlotInfo& slot, const Widths& w) const {
    std::string line = Cell(Port(slot, w), w.port) + kSpace;
    if (w.id > 0) {
        line += Cell(KeepEnd(slot.deviceId, w.id), w.id) + kSpace;
    }
    std::string progress;
    if (w.bar > 0) {
        const int filled = slot.totalBlocks > 0 ? std::clamp(slot.block, 0, slot.totalBlocks) *
                                                      w.bar / slot.totalBlocks
                                                : 0;
        progress = Count(slot).empty()
                       ? std::string()
                       : "[" + std::string(static_cast<std::size_t>(filled), '#') +
                             std::string(static_cast<std::size_t>(w.bar - filled), '-') + "] ";
    }
    progress += Count(slot);
    line += Cell(StateWord(slot), w.state) + kSpace + Cell(progress, w.progress) + kSpace +
            Cell(Version(slot.before), w.before) + kSpace + Cell(Version(slot.after), w.after) +
            kSpace + Time(slot);
    return line;
}

std::vector<std::string> CBenchReportTable::Reason(const SlotInfo& slot, const Widths& w) const {
    return Wrap(Port(slot, w) + ": " + slot.result->reason, Usable(), 2, 4);
}

std::vector<std::string> CBenchReportTable::Compact(const std::vector<SlotInfo>& slots,
                                                    const Widths& w) const {
    // What each slot is doing, counted in the closing line.
    const char* const words[] = {"upgraded", "current",   "read",     "no firmware", "failed",
                                 "reading",  "upgrading", "checking", "waiting",     "unplugged"};
    std::vector<int> counts(std::size(words), 0);
    for (const SlotInfo& slot : slots) {
        const std::string word = StateWord(slot);
        for (std::size_t i = 0; i < std::size(words); ++i) {
            counts[i] += word == words[i] ? 1 : 0;
        }
    }
    // Failed rows with their reasons first, then busy rows, while they fit.
    const int limit = m_rows > 0 ? m_rows - 1 : INT_MAX / 4;
    std::vector<bool> shown(slots.size(), false);
    std::size_t hidden = 0;
    const auto closing = [&] {
        std::string text = std::to_string(slots.size()) + " chargers:";
        const char* sep = " ";
        for (std::size_t i = 0; i < std::size(words); ++i) {
            if (counts[i] > 0) {
                text += sep + std::to_string(counts[i]) + " " + words[i];
                sep = ", ";
            }
        }
        if (hidden > 0) {
            text += "; " + std::to_string(hidden) + " more not shown";
        }
        return Wrap(text, Usable(), 0, 4);
    };
    // The closing line is measured with every candidate hidden, its longest form.
    for (const SlotInfo& slot : slots) {
        hidden += Failed(slot) || Busy(slot) ? 1 : 0;
    }
    const int room = limit - static_cast<int>(closing().size());
    if (room < 1) {  // not even the header fits
        auto last = closing();
        last.resize(static_cast<std::size_t>(std::max(limit, 0)));
        return last;
    }
    int left = room - 1;
    // A third of the room stays for busy rows, if there are any.
    const int busy = static_cast<int>(std::count_if(slots.begin(), slots.end(), Busy));
    const int forBusy = std::min(busy, left / 3);
    for (const bool failures : {true, false}) {
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (failures ? !Failed(slots[i]) : !Busy(slots[i])) {
                continue;
            }
            const int cost = 1 + (failures ? static_cast<int>(Reason(slots[i], w).size()) : 0);
            if (cost <= left - (failures ? forBusy : 0)) {
                shown[i] = true;
                left -= cost;
                --hidden;
            }
        }
    }
    std::vector<std::string> lines{Header(w)};
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (shown[i]) {
            lines.push_back(Row(slots[i], w));
        }
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (shown[i] && Failed(slots[i])) {
            const auto reason = Reason(slots[i], w);
            lines.insert(lines.end(), reason.begin(), reason.end());
        }
    }
    const auto last = closing();
    lines.insert(lines.end(), last.begin(), last.end());
    return lines;
}

std::vector<std::string> CBenchReportTable::Frame(const std::vector<SlotInfo>& slots,
                                                  bool final) const {
    const Widths w = Fit(slots);
    std::vector<std::string> lines{Header(w)};
    for (const SlotInfo& slot : slots) {
        lines.push_back(Row(slot, w));
    }
    for (const SlotInfo& slot : slots) {
        if (Failed(slot)) {
            const auto reason = Reason(slot, w);
            lines.insert(lines.end(), reason.begin(), reason.end());
        }
    }
    if (!final && m_rows > 0 && static_cast<int>(lines.size()) > m_rows - 1) {
        lines = Compact(slots, w);
    }
    for (std::string& line : lines) {
        // Too narrow for even the columns that are never cut: cut the line
        // rather than let the terminal wrap it.
        line.resize(std::min(line.size(), static_cast<std::size_t>(Usable())));
        line.erase(line.find_last_not_of(' ') + 1);
    }
    return lines;
}
