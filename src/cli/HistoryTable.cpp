#include "cli/HistoryTable.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "bench/SafeText.h"

namespace {

struct ColumnSpec {
    const char* title;
    std::size_t width;
    bool keepEnd;
    int dropOrder;  // 0: never dropped; higher: dropped first
};

// In display order; the reason follows them.
constexpr ColumnSpec kColumns[] = {
    {"TIME", 16, false, 0},     {"DEVICE ID", 14, false, 0}, {"OUTCOME", 9, false, 0},
    {"VERSIONS", 13, false, 4}, {"PORT", 16, true, 3},       {"HOST", 10, false, 2},
    {"TOOL", 6, false, 1},
};
constexpr std::size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];
constexpr std::size_t kMinReason = 12;

std::string Cut(const std::string& text, std::size_t width, bool keepEnd) {
    if (width == 0 || text.size() <= width) {
        return text;
    }
    return keepEnd ? "~" + text.substr(text.size() - (width - 1)) : text.substr(0, width - 1) + "~";
}

}  // namespace

int StdoutColumns() {
    winsize size{};
    return ::isatty(STDOUT_FILENO) != 0 && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0
               ? size.ws_col
               : 0;
}

CHistoryTable::CHistoryTable(int columns) : m_shown(kColumnCount, true) {
    // Drop columns, least telling first, until the reason has its minimum.
    const auto width = static_cast<std::size_t>(columns > 1 ? columns - 1 : 0);
    auto used = [&] {
        std::size_t sum = 0;
        for (std::size_t i = 0; i < kColumnCount; ++i) {
            sum += m_shown[i] ? kColumns[i].width + 2 : 0;
        }
        return sum;
    };
    for (int order = 1; width > 0 && used() + kMinReason > width && order <= 4; ++order) {
        for (std::size_t i = 0; i < kColumnCount; ++i) {
            m_shown[i] = m_shown[i] && kColumns[i].dropOrder != order;
        }
    }
    for (std::size_t i = 0; i < kColumnCount; ++i) {
        if (m_shown[i]) {
            m_columns.push_back({kColumns[i].title, kColumns[i].width, kColumns[i].keepEnd});
        }
    }
    m_reasonWidth = width == 0 ? 0 : std::max(kMinReason, width > used() ? width - used() : 0);
}

std::string CHistoryTable::Line(const std::vector<std::string>& values) const {
    std::string line;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < kColumnCount; ++i) {
        if (!m_shown[i]) {
            continue;
        }
        const Column& column = m_columns[shown++];
        const std::string value = Cut(bench::ShownText(values[i].empty() ? "-" : values[i]),
                                      m_reasonWidth == 0 ? 0 : column.width, column.keepEnd);
        line += value;
        line += std::string(value.size() < column.width ? column.width - value.size() : 0, ' ');
        line += "  ";
    }
    line += Cut(bench::ShownText(values[kColumnCount]), m_reasonWidth, false);
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line + "\n";
}

std::string CHistoryTable::Header() const {
    std::vector<std::string> titles;
    for (const ColumnSpec& spec : kColumns) {
        titles.emplace_back(spec.title);
    }
    titles.emplace_back("REASON");
    return Line(titles);
}

std::string CHistoryTable::Row(const bench::HistoryRecord& r) const {
    return Line({bench::LocalMinuteText(r.time), r.deviceId, r.outcome + (r.simulated ? "*" : ""),
                 bench::VersionsText(r), r.port, r.host, r.tool, r.reason});
}
