// Station board: the bench's slots as the station's page shows them, kept
// up to date from the bench's events and handed on to the event streams.
//
// Principles of operation
//   The board is the bench's observer. It keeps the newest picture of each
//   slot and turns every event into one row of JSON, which it publishes to
//   the event hub as an SSE message of kind "slot" (the row, with "event"
//   naming what happened). A row carries everything the page shows of the
//   slot, so each message replaces its row whole and a page that missed
//   one is right again at the next.
//
//   Row: slot, port, deviceId, state, block, blocks, before, after,
//   seconds, reason. The slot is the name the page and the control URLs
//   use for it; CSlotNames gives it (the slots file's label for the
//   connector its adapter sits in, else the port). State is the job's
//   step while it runs and its outcome once it ended ("upgraded", "current",
//   "read", "no firmware", "failed", "stopped"), "unplugged" once the
//   charger went away. Every text comes from a charger or a path and is
//   JSON-quoted with <, > and & escaped, so no markup can reach a page.
//
//   It also counts the jobs of the current local day that never reached a
//   charger (they leave no record, so the day's tally needs them from here).
//
// Threads: OnBenchEvent on the bench's threads, one call at a time; the
// readers (Rows, SlotOf, Unanswered) from any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchObserver.h"
#include "cli/station/EventHub.h"

namespace station {

// Names of the slots. Today a slot is named by its port; labels from the
// --slots file will be looked up here.
class CSlotNames {
public:
    explicit CSlotNames(std::string slotsFile = {}) : m_file(std::move(slotsFile)) {}
    std::string Of(const bench::SlotInfo& slot) const;
    const std::string& File() const { return m_file; }

private:
    std::string m_file;
};

// The word a row's state shows.
std::string StateWord(const bench::SlotInfo& slot);
// One row as JSON (with "event" first when event is not empty).
std::string RowJson(const bench::SlotInfo& slot, const CSlotNames& names,
                    const std::string& event = {});
// JSON text safe inside a page: <, > and & as \u escapes. Only valid on
// JSON text, where those characters can only stand inside strings.
std::string PageSafeJson(std::string json);

class CStationBoard : public bench::IBenchObserver {
public:
    using WallClock = std::function<std::time_t()>;

    CStationBoard(const CSlotNames& names, WallClock now = {});
    // Where the rows go; set before the bench starts.
    void SetHub(CEventHub* hub) { m_hub = hub; }

    void OnBenchEvent(const bench::BenchEvent& event) override;

    // Every slot's row, as a JSON array, in slot order.
    std::string RowsJson() const;
    // The bench's slot number of a slot name.
    std::optional<int> SlotOf(const std::string& name) const;
    // Jobs of today (local time) that reached no charger.
    long long Unanswered() const;
    // "2026-12-07": today in local time.
    std::string Today() const;

private:
    const CSlotNames& m_names;
    WallClock m_now;
    CEventHub* m_hub = nullptr;
    mutable std::mutex m_lock;
    std::map<int, bench::SlotInfo> m_slots;
    std::string m_unansweredDay;
    long long m_unanswered = 0;
};

}  // namespace station
