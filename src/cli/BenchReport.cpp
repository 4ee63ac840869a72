#include "cli/BenchReport.h"

#include <sys/ioctl.h>

#include <algorithm>

#include "cli/BenchReportTable.h"
#include "records/JsonLine.h"

using bench::EventKind;
using bench::SlotInfo;
using records::Outcome;

namespace {

constexpr int kProgressEvery = 10;
constexpr auto kRedrawGap = std::chrono::milliseconds(100);

std::string Or(const std::string& text, const char* instead) {
    return text.empty() ? instead : text;
}

std::string PortWithName(const SlotInfo& slot) {
    if (slot.byIdName.empty() || slot.port.find(slot.byIdName) != std::string::npos) {
        return slot.port;
    }
    return slot.port + " (" + slot.byIdName + ")";
}

std::string Seconds(double seconds) {
    return records::Fixed1(seconds) + " s";
}

}  // namespace

bool CBenchReport::ThinnedProgress(const SlotInfo& slot) {
    const bool due = slot.block % kProgressEvery == 0 || slot.block == slot.totalBlocks;
    int& last = m_lastBlockShown[slot.slot];
    if (!due || slot.block <= last) {
        return true;  // not a tenth block, or a resend of one already shown
    }
    last = slot.block;
    return false;
}

std::string CBenchReport::JsonLine(const bench::BenchEvent& event) {
    const SlotInfo& slot = event.slot;
    records::CJsonLine line;
    line.Add("event", bench::EventName(event.kind)).Add("port", slot.port);
    if (!slot.label.empty()) {
        line.Add("slot", slot.label);
    }
    switch (event.kind) {
        case EventKind::Appeared:
            line.Add("device", slot.device).Add("byId", slot.byIdName);
            break;
        case EventKind::Started:
            m_lastBlockShown[slot.slot] = 0;
            break;
        case EventKind::Progress:
            if (ThinnedProgress(slot)) {
                return {};
            }
            line.Add("block", slot.block)
                .Add("blocks", slot.totalBlocks)
                .Add("resends", slot.resends);
            break;
        case EventKind::Finished: {
            const bench::RunResult& r = *slot.result;
            line.Add("outcome", bench::OutcomeName(r.outcome));
            if (r.outcome == Outcome::Failed) {
                line.Add("reason", r.reason);
            }
            line.Add("deviceId", slot.deviceId)
                .Add("before", r.before)
                .Add("after", r.after)
                .Add("blocks", r.blocks)
                .Add("resends", r.resends)
                .AddFixed1("seconds", r.seconds);
            break;
        }
        case EventKind::RecordFailed:
            line.Add("problem", event.problem);
            break;
        case EventKind::Gone:
            break;
        case EventKind::Status:
            return {};
    }
    return line.Text();
}

std::string CBenchReport::PlainLine(const bench::BenchEvent& event) {
    const SlotInfo& slot = event.slot;
    const std::string head = CBenchReportTable::Name(slot) + ": ";
    switch (event.kind) {
        case EventKind::Appeared:
            // A slot named by its label says once which port it serves.
            return head + "appeared (" +
                   (slot.label.empty() || slot.port == slot.device ? "" : slot.port + ", ") +
                   slot.device + (PortWithName(slot) == slot.port ? "" : ", " + slot.byIdName) +
                   ")";
        case EventKind::Started:
            m_lastBlockShown[slot.slot] = 0;
            return head + "started";
        case EventKind::Progress:
            if (ThinnedProgress(slot)) {
                return {};
            }
            return head + "block " + std::to_string(slot.block) + " of " +
                   std::to_string(slot.totalBlocks) + ", " + std::to_string(slot.resends) +
                   " resends";
        case EventKind::Finished: {
            const bench::RunResult& r = *slot.result;
            const std::string figures = " in " + Seconds(r.seconds) + " (" +
                                        std::to_string(r.blocks) + " blocks, " +
                                        std::to_string(r.resends) + " resends)";
            switch (r.outcome) {
                case Outcome::Upgraded:
                    return head + "upgraded " + Or(r.before, "(none)") + " -> " + r.after + figures;
                case Outcome::Current:
                    return head + "current " + r.before + ", nothing sent";
                case Outcome::Read:
                    return head + "read: boot code " + Or(r.bootCode, "(none)") +
                           ", charger code " + Or(r.before, "(none)");
                case Outcome::Failed:
                    break;
            }
            return head + "failed after " + Seconds(r.seconds) + ": " + r.reason;
        }
        case EventKind::Gone:
            return head + "gone";
        case EventKind::RecordFailed:
            return head + event.problem;
        case EventKind::Status:
            break;
    }
    return {};
}

// The block a row shows: the upload's last one while the versions are read
// again, and at the end how far it came.
void CBenchReport::Keep(const bench::BenchEvent& event) {
    SlotInfo slot = event.slot;
    const auto last = m_rows.find(slot.slot);
    if (slot.result) {
        slot.block = slot.result->blocks;
    } else if (event.kind != EventKind::Started && last != m_rows.end()) {
        slot.block = std::max(slot.block, last->second.block);
    }
    m_rows[slot.slot] = slot;
}

void CBenchReport::Draw(bool force, bool final) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kRedrawGap) {
        return;
    }
    m_lastDraw = now;
    winsize size{};
    if (::ioctl(::fileno(m_out), TIOCGWINSZ, &size) != 0) {
        size = winsize{};
    }
    std::vector<SlotInfo> slots;
    for (const auto& [index, slot] : m_rows) {
        slots.push_back(slot);
    }
    const auto problems = ProblemLines(size.ws_col, size.ws_row, final);
    const int tableRows = size.ws_row > 0 ? size.ws_row - static_cast<int>(problems.size()) : 0;
    auto lines = CBenchReportTable(size.ws_col, tableRows).Frame(slots, final);
    lines.insert(lines.end(), problems.begin(), problems.end());
    const std::string text = Redraw(m_drawnLines, lines);
    m_drawnLines = static_cast<int>(lines.size());
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

// The records that could not be written, one line each, cut to the width.
// A live frame gives them at most a third of the screen, so the table keeps
// its room; the last frame lists them all.
std::vector<std::string> CBenchReport::ProblemLines(int columns, int rows, bool final) const {
    std::size_t count = m_recordProblems.size();
    if (!final && rows > 0) {
        count = std::min(count, static_cast<std::size_t>((rows - 1) / 3));
    }
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string line = "  " + m_recordProblems[i];
        lines.push_back(columns > 1 ? line.substr(0, static_cast<std::size_t>(columns - 1)) : line);
    }
    return lines;
}

// The bytes that put `lines` where the last frame of `drawn` lines was.
//
// Each line is written over the old one and cleared to its end (ESC [ K);
// what is left of a taller old frame is cleared from the line after the new
// one (ESC [ J). The frame is never cleared from its top: when that is the
// screen's first line, tmux takes an erase-below from there as a clear
// screen and moves the whole screen into its history, every redraw.
// A live frame is at least a line shorter than the screen, so when it
// reaches the screen's foot only lines above it scroll away, and the next
// move up lands on its top wherever it started. The last frame may be
// taller; it is drawn once, and scrolls as any output does.
std::string CBenchReport::Redraw(int drawn, const std::vector<std::string>& lines) {
    std::string text = drawn > 0 ? "\r\x1b[" + std::to_string(drawn) + "A" : "\r";
    for (const auto& line : lines) {
        text += line + "\x1b[K\n";
    }
    return text + "\x1b[J";
}

void CBenchReport::OnBenchEvent(const bench::BenchEvent& event) {
    if (m_form == Form::Table) {
        if (event.kind == EventKind::RecordFailed) {
            const auto& problems = m_recordProblems;
            if (std::find(problems.begin(), problems.end(), event.problem) == problems.end()) {
                m_recordProblems.push_back(event.problem);
            }
            Draw(true, false);
            return;
        }
        Keep(event);
        Draw(event.kind != EventKind::Progress, false);
        return;
    }
    const std::string line = m_form == Form::Json ? JsonLine(event) : PlainLine(event);
    if (!line.empty()) {
        std::fprintf(m_out, "%s\n", line.c_str());
        std::fflush(m_out);
    }
}

void CBenchReport::Finish(const std::vector<SlotInfo>& slots) {
    if (m_form != Form::Table) {
        return;
    }
    for (const auto& slot : slots) {
        bench::BenchEvent event;
        event.slot = slot;
        Keep(event);
    }
    Draw(true, true);
}

std::string CBenchReport::Summary(const std::vector<SlotInfo>& slots, int recordsFailed) {
    int counts[4] = {0, 0, 0, 0};
    int total = 0;
    for (const auto& slot : slots) {
        if (slot.result) {
            ++counts[static_cast<int>(slot.result->outcome)];
            ++total;
        }
    }
    std::string text = std::to_string(total) + (total == 1 ? " charger:" : " chargers:");
    const char* sep = " ";
    for (const Outcome outcome :
         {Outcome::Upgraded, Outcome::Current, Outcome::Read, Outcome::Failed}) {
        const int count = counts[static_cast<int>(outcome)];
        if (count > 0) {
            text += sep + std::to_string(count) + " " + bench::OutcomeName(outcome);
            sep = ", ";
        }
    }
    if (recordsFailed > 0) {
        text += "; " + std::to_string(recordsFailed) +
                (recordsFailed == 1 ? " record" : " records") + " could not be written";
    }
    return text;
}
