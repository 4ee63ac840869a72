#include "records/HistoryTally.h"

#include <algorithm>

#include "records/SafeText.h"

namespace records {
namespace {

std::string Plural(long long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void CHistoryTally::Add(const ServiceRecord& record) {
    if (record.simulated) {
        ++m_simulated;
        return;
    }
    const std::string_view outcome = OutcomeText(record);
    Increment(m_outcomes, outcome);
    if (outcome == "failed") {
        Increment(m_reasons, record.reason.empty() ? std::string_view("no reason recorded")
                                                   : std::string_view(record.reason));
    }
}

void CHistoryTally::Increment(Counts& counts, std::string_view key) {
    const auto it = counts.find(key);
    if (it != counts.end()) {
        ++it->second;
    } else {
        counts.emplace(key, 1);
    }
}

long long CHistoryTally::Count(const std::string& outcome) const {
    const auto it = m_outcomes.find(outcome);
    return it == m_outcomes.end() ? 0 : it->second;
}

std::vector<std::pair<std::string, long long>> CHistoryTally::TopReasons() const {
    std::vector<std::pair<std::string, long long>> reasons(m_reasons.begin(), m_reasons.end());
    std::stable_sort(reasons.begin(), reasons.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    reasons.resize(std::min(reasons.size(), kTopReasons));
    return reasons;
}

std::string CHistoryTally::Summary() const {
    long long total = 0;
    for (const auto& [outcome, count] : m_outcomes) {
        total += count;
    }
    std::string text = Plural(total, "record", "records") + ":";
    const char* const known[] = {"upgraded", "current", "read", "failed"};
    for (const char* outcome : known) {
        text += std::string(outcome == known[0] ? " " : ", ") + std::to_string(Count(outcome)) +
                " " + outcome;
    }
    for (const auto& [outcome, count] : m_outcomes) {
        if (std::find(std::begin(known), std::end(known), outcome) == std::end(known)) {
            text += ", " + std::to_string(count) + " " +
                    (outcome.empty() ? "unknown" : ShownText(outcome));
        }
    }
    const auto reasons = TopReasons();
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        text += (i == 0 ? "; most common failures: \"" : ", \"") + ShownText(reasons[i].first) +
                "\" (" + std::to_string(reasons[i].second) + ")";
    }
    if (m_simulated > 0) {
        text += "; " + Plural(m_simulated, "simulated record", "simulated records") +
                " (*) not counted";
    }
    if (m_damaged > 0) {
        text += "; " + Plural(m_damaged, "damaged line", "damaged lines") + " skipped";
    }
    return text + ".";
}

}  // namespace records
