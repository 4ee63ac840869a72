#include "cli/HistoryTable.h"

#include <locale.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wchar.h>

#include "records/RecordTime.h"
#include "records/SafeText.h"

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
    {"VERSIONS", 13, false, 5}, {"SLOT", 10, true, 1},       {"PORT", 16, true, 4},
    {"HOST", 10, false, 3},     {"TOOL", 6, false, 2},
};
constexpr int kLastDropped = 5;
constexpr std::size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];
static_assert(kColumnCount + 1 == CHistoryTable::kValues);
constexpr std::size_t kMinReason = 12;

// Terminal columns of code points: two for wide East Asian characters,
// none for combining marks. The C.UTF-8 tables are used whatever the
// user's locale, since the text is UTF-8 either way; they are this thread's
// for as long as a value of this class lives.
class CCellWidths {
public:
    CCellWidths() : m_previous(::uselocale(Utf8())) {}
    ~CCellWidths() { ::uselocale(m_previous); }
    CCellWidths(const CCellWidths&) = delete;
    CCellWidths& operator=(const CCellWidths&) = delete;

    // A code point wcwidth knows nothing of (unassigned) takes one column.
    static std::size_t Of(char32_t c) {
        const int width = ::wcwidth(static_cast<wchar_t>(c));
        return width < 0 ? 1 : static_cast<std::size_t>(width);
    }

private:
    // Null when missing: uselocale then leaves the thread's locale as it is.
    static locale_t Utf8() {
        static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
        return utf8;
    }
    locale_t m_previous;
};

struct Glyph {
    std::size_t at;  // its first byte
    std::size_t width;
};

// The text's code points (controls are escaped by then, so each one shows),
// then an empty one at its end, where a cut may fall.
std::vector<Glyph> Glyphs(const std::string& text) {
    const CCellWidths widths;
    std::vector<Glyph> glyphs;
    for (std::size_t at = 0; at < text.size();) {
        const records::CodePoint c = records::Utf8At(text, at);
        glyphs.push_back({at, widths.Of(c.value)});
        at += c.size;
    }
    glyphs.push_back({text.size(), 0});
    return glyphs;
}

std::size_t WidthOf(const std::vector<Glyph>& glyphs) {
    std::size_t width = 0;
    for (const Glyph& glyph : glyphs) {
        width += glyph.width;
    }
    return width;
}

// Whole characters only, as many as fit beside the "~" in width columns.
// The text is wider than that, so the walk meets one that does not fit
// before it runs out.
std::string Cut(const std::string& text, std::size_t width, bool keepEnd) {
    const std::vector<Glyph> glyphs = Glyphs(text);
    if (width == 0 || WidthOf(glyphs) <= width) {
        return text;
    }
    std::size_t room = width - 1;
    if (keepEnd) {
        std::size_t first = glyphs.size() - 1;
        for (; glyphs[first - 1].width <= room; --first) {
            room -= glyphs[first - 1].width;
        }
        return "~" + text.substr(glyphs[first].at);
    }
    std::size_t end = 0;
    for (; glyphs[end].width <= room; ++end) {
        room -= glyphs[end].width;
    }
    return text.substr(0, glyphs[end].at) + "~";
}

// One cell: the value as it shows, cut to `width` columns (0: not cut) and
// padded with spaces to `pad`. Printable ASCII, nearly every value, shows as
// it is, one column a byte.
void AppendCell(std::string& out, std::string_view value, std::size_t width, bool keepEnd,
                std::size_t pad) {
    std::size_t taken = value.size();
    if (!records::IsPrintableAscii(value)) {
        const std::string cut = Cut(records::ShownText(value), width, keepEnd);
        taken = WidthOf(Glyphs(cut));
        out += cut;
    } else if (width == 0 || value.size() <= width) {
        out.append(value);
    } else if (keepEnd) {
        out += '~';
        out.append(value.substr(value.size() - (width - 1)));
        taken = width;
    } else {
        out.append(value.substr(0, width - 1));
        out += '~';
        taken = width;
    }
    out.append(taken < pad ? pad - taken : 0, ' ');
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
    for (int order = 1; width > 0 && used() + kMinReason > width && order <= kLastDropped;
         ++order) {
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

void CHistoryTable::AppendLine(const std::string_view (&values)[kValues], std::string& out) const {
    const std::size_t start = out.size();
    std::size_t shown = 0;
    for (std::size_t i = 0; i + 1 < kValues; ++i) {
        if (!m_shown[i]) {
            continue;
        }
        const Column& column = m_columns[shown++];
        AppendCell(out, values[i].empty() ? "-" : values[i], m_reasonWidth == 0 ? 0 : column.width,
                   column.keepEnd, column.width);
        out += "  ";
    }
    AppendCell(out, values[kValues - 1], m_reasonWidth, false, 0);
    while (out.size() > start && out.back() == ' ') {
        out.pop_back();
    }
    out += '\n';
}

std::string CHistoryTable::Header() const {
    std::string_view titles[kValues];
    for (std::size_t i = 0; i + 1 < kValues; ++i) {
        titles[i] = kColumns[i].title;
    }
    titles[kValues - 1] = "REASON";
    std::string line;
    AppendLine(titles, line);
    return line;
}

void CHistoryTable::AppendRow(const records::ServiceRecord& r, std::string& out) const {
    const std::string time = records::LocalMinuteText(r.when);
    const std::string outcome = std::string(records::OutcomeText(r)) + (r.simulated ? "*" : "");
    const std::string versions = records::VersionsText(r);
    const std::string_view values[kValues] = {time,   r.deviceId, outcome, versions, r.slot,
                                              r.port, r.host,     r.tool,  r.reason};
    AppendLine(values, out);
}

std::string CHistoryTable::Row(const records::ServiceRecord& record) const {
    std::string row;
    AppendRow(record, row);
    return row;
}
