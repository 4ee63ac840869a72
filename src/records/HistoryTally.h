// History tally: the summary under a history listing.
//
// Principles of operation
//   Counts the records listed per outcome and the failures per reason, and
//   says how many lines were damaged and skipped. Simulated records are
//   listed (marked) but left out of the counts, so a demonstration never
//   inflates what a bench did; the summary says how many were left out.
//   Reasons and outcomes come from journals, so their control characters
//   show as escapes (see SafeText.h).
//
// Threads: a value belongs to one thread.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/ServiceRecord.h"

namespace records {

class CHistoryTally {
public:
    static constexpr std::size_t kTopReasons = 3;

    void Add(const ServiceRecord& record);
    void SetDamagedLines(long long count) { m_damaged = count; }

    long long Count(const std::string& outcome) const;
    long long Simulated() const { return m_simulated; }
    // The most common failure reasons, most common first (ties by text).
    std::vector<std::pair<std::string, long long>> TopReasons() const;
    // "5 records: 3 upgraded, 1 current, 0 read, 1 failed; most common
    // failures: "No answer." (1); 2 simulated records (*) not counted;
    // 1 damaged line skipped."
    std::string Summary() const;

private:
    // Looked up by the record's own texts, without copying them.
    using Counts = std::map<std::string, long long, std::less<>>;
    static void Increment(Counts& counts, std::string_view key);

    Counts m_outcomes;
    Counts m_reasons;
    long long m_simulated = 0;
    long long m_damaged = 0;
};

}  // namespace records
