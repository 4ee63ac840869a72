#include "cli/BenchReport.h"

#include <algorithm>

#include "bench/JsonLine.h"

using bench::EventKind;
using bench::Outcome;
using bench::SlotInfo;

namespace {

constexpr int kProgressEvery = 10;
constexpr int kBarWidth = 20;
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

std::string Bar(const SlotInfo& slot) {
    if (slot.totalBlocks <= 0 || slot.block <= 0) {
        return std::string(kBarWidth + 2, ' ') + std::string(9, ' ');
    }
    const int filled = slot.block * kBarWidth / slot.totalBlocks;
    char count[24];
    std::snprintf(count, sizeof count, " %3d/%-4d", slot.block, slot.totalBlocks);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "]" + count;
}

std::string ResultWord(const SlotInfo& slot) {
    return slot.result ? bench::OutcomeName(slot.result->outcome) : "";
}

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
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
            line.Add("before", r.before)
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

std::string CBenchReport::TableRow(const SlotInfo& slot) {
    std::string row = Padded(PortWithName(slot), 34);
    row += Padded(bench::SlotStateName(slot.state), 10);
    row += Bar(slot) + " ";
    row += Padded(Or(slot.before, "-"), 8);
    row += Padded(Or(slot.after, "-"), 8);
    row += Padded(ResultWord(slot), 9);
    row += slot.state == bench::SlotState::Empty ? "" : Seconds(slot.seconds);
    return row;
}

void CBenchReport::Draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kRedrawGap) {
        return;
    }
    m_lastDraw = now;
    std::string text;
    if (m_drawnLines > 0) {
        text += "\x1b[" + std::to_string(m_drawnLines) + "A";
    }
    std::vector<std::string> lines;
    lines.push_back(Padded("PORT", 34) + Padded("STATE", 10) + Padded("PROGRESS", kBarWidth + 12) +
                    Padded("BEFORE", 8) + Padded("AFTER", 8) + Padded("RESULT", 9) + "TIME");
    for (const auto& [index, slot] : m_rows) {
        lines.push_back(TableRow(slot));
    }
    for (const auto& [index, slot] : m_rows) {
        if (slot.result && slot.result->outcome == Outcome::Failed) {
            lines.push_back("  " + slot.port + ": " + slot.result->reason);
        }
    }
    for (const auto& problem : m_recordProblems) {
        lines.push_back("  " + problem);
    }
    for (auto& line : lines) {
        if (m_columns > 1 && line.size() >= static_cast<std::size_t>(m_columns)) {
            line.resize(static_cast<std::size_t>(m_columns) - 1);
        }
        text += "\r\x1b[2K" + line + "\n";
    }
    // Lines no longer needed (a reason list that shrank) are cleared.
    for (int extra = static_cast<int>(lines.size()); extra < m_drawnLines; ++extra) {
        text += "\x1b[2K\n";
    }
    m_drawnLines = std::max(m_drawnLines, static_cast<int>(lines.size()));
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

void CBenchReport::OnBenchEvent(const bench::BenchEvent& event) {
    if (m_form == Form::Table) {
        const auto& problems = m_recordProblems;
        if (event.kind == EventKind::RecordFailed &&
            std::find(problems.begin(), problems.end(), event.problem) == problems.end()) {
            m_recordProblems.push_back(event.problem);
        }
        m_rows[event.slot.slot] = event.slot;
        Draw(event.kind != EventKind::Progress);
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
        m_rows[slot.slot] = slot;
    }
    Draw(true);
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
