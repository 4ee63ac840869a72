#include "cli/BenchReport.h"

#include <sys/ioctl.h>

#include <algorithm>

#include "bench/JsonLine.h"
#include "cli/BenchReportTable.h"

using bench::EventKind;
using bench::Outcome;
using bench::SlotInfo;

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
    return bench::Fixed1(seconds) + " s";
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
    bench::CJsonLine line;
    line.Add("event", bench::EventName(event.kind)).Add("port", slot.port);
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
    const std::string head = slot.port + ": ";
    switch (event.kind) {
        case EventKind::Appeared:
            return head + "appeared (" + slot.device +
                   (PortWithName(slot) == slot.port ? "" : ", " + slot.byIdName) + ")";
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
    const auto lines = CBenchReportTable(size.ws_col, size.ws_row).Frame(slots, final);
    // Back to the top of the last frame, which is all on the screen, and
    // everything below cleared.
    std::string text = m_drawnLines > 0 ? "\x1b[" + std::to_string(m_drawnLines) + "A\r" : "\r";
    text += "\x1b[J";
    for (const auto& line : lines) {
        text += line + "\n";
    }
    for (const auto& problem : m_recordProblems) {
        const std::size_t width = size.ws_col > 1 ? size.ws_col - 1U : problem.size() + 2;
        const std::string line = "  " + problem;
        text += line.substr(0, width) + "\n";
    }
    m_drawnLines = static_cast<int>(lines.size() + m_recordProblems.size());
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
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

std::string CBenchReport::Summary(const std::vector<SlotInfo>& slots) {
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
    return text;
}
