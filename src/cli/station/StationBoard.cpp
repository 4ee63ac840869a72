#include "cli/station/StationBoard.h"

#include "records/JsonLine.h"

namespace station {

using bench::EventKind;
using bench::Outcome;
using bench::SlotInfo;
using bench::SlotState;

std::string CSlotNames::Of(const SlotInfo& slot) const {
    return slot.label.empty() ? slot.port : slot.label;
}

std::string StateWord(const SlotInfo& slot) {
    if (slot.state == SlotState::Empty) {
        return "unplugged";
    }
    if (!slot.result) {
        return bench::SlotStateName(slot.state);
    }
    if (slot.result->stopped) {
        return "stopped";
    }
    if (slot.result->outcome == Outcome::Read && slot.result->before.empty()) {
        return "no firmware";
    }
    return bench::OutcomeName(slot.result->outcome);
}

std::string PageSafeJson(std::string json) {
    std::string safe;
    safe.reserve(json.size());
    for (const char c : json) {
        switch (c) {
            case '<':
                safe += "\\u003c";
                break;
            case '>':
                safe += "\\u003e";
                break;
            case '&':
                safe += "\\u0026";
                break;
            default:
                safe += c;
        }
    }
    return safe;
}

std::string RowJson(const SlotInfo& slot, const CSlotNames& names, const std::string& event) {
    records::CJsonLine row;
    if (!event.empty()) {
        row.Add("event", event);
    }
    const bench::RunResult* result = slot.result ? &*slot.result : nullptr;
    row.Add("slot", names.Of(slot))
        .Add("port", slot.port)
        .Add("deviceId", slot.deviceId)
        .Add("state", StateWord(slot))
        .Add("block", slot.block)
        .Add("blocks", slot.totalBlocks)
        .Add("before", result != nullptr ? result->before : slot.before)
        .Add("after", result != nullptr ? result->after : slot.after)
        .AddFixed1("seconds", result != nullptr ? result->seconds : slot.seconds)
        .Add("reason",
             result != nullptr && result->outcome == Outcome::Failed ? result->reason : "");
    return PageSafeJson(row.Text());
}

CStationBoard::CStationBoard(const CSlotNames& names, WallClock now)
    : m_names(names), m_now(now ? std::move(now) : WallClock([] { return std::time(nullptr); })) {}

// A row keeps the block its upload reached while the versions are read
// again and once the job ended, where the bench says 0.
void CStationBoard::OnBenchEvent(const bench::BenchEvent& event) {
    if (event.kind == EventKind::RecordFailed) {
        return;  // the row is unchanged; the records say what was written
    }
    SlotInfo slot = event.slot;
    std::string row;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto kept = m_slots.find(slot.slot);
        const bool keepsBlock = slot.state == SlotState::Checking || slot.result.has_value();
        if (kept != m_slots.end() && keepsBlock && slot.block == 0) {
            slot.block = kept->second.block;
            slot.totalBlocks = kept->second.totalBlocks;
        }
        if (slot.result && slot.result->blocks > slot.block) {
            slot.block = slot.result->blocks;
        }
        if (event.kind == EventKind::Finished && slot.result && !slot.result->answered) {
            const std::string today = Today();
            if (today != m_unansweredDay) {
                m_unansweredDay = today;
                m_unanswered = 0;
            }
            ++m_unanswered;
        }
        m_slots[slot.slot] = slot;
        row = RowJson(slot, m_names, bench::EventName(event.kind));
    }
    if (m_hub != nullptr) {
        m_hub->Publish("slot", row);
    }
}

std::string CStationBoard::RowsJson() const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::string rows = "[";
    for (const auto& [number, slot] : m_slots) {
        rows += (rows.size() > 1 ? "," : "") + RowJson(slot, m_names);
    }
    return rows + "]";
}

std::optional<int> CStationBoard::SlotOf(const std::string& name) const {
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [number, slot] : m_slots) {
        if (m_names.Of(slot) == name) {
            return number;
        }
    }
    return std::nullopt;
}

long long CStationBoard::Unanswered() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_unansweredDay == Today() ? m_unanswered : 0;
}

std::string CStationBoard::Today() const {
    const std::time_t now = m_now();
    std::tm local{};
    localtime_r(&now, &local);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    return day;
}

}  // namespace station
