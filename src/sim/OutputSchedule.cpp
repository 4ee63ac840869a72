#include "sim/OutputSchedule.h"

#include <algorithm>

namespace sim {

COutputSchedule::COutputSchedule(bool paced, int byteTimeUs)
    : m_paced(paced && byteTimeUs > 0), m_byteTimeUs(byteTimeUs) {}

void COutputSchedule::Add(std::int64_t dueUs, std::string bytes) {
    if (bytes.empty()) {
        return;
    }
    // A chunk queued behind a later one waits for it.
    if (!m_chunks.empty()) {
        dueUs = std::max(dueUs, m_chunks.back().dueUs);
    }
    m_chunks.push_back({dueUs, std::move(bytes)});
}

std::string COutputSchedule::TakeDue(std::int64_t nowUs) {
    std::string out;
    while (!m_chunks.empty()) {
        Chunk& chunk = m_chunks.front();
        if (chunk.dueUs > nowUs) {
            break;
        }
        if (!m_paced) {
            out += chunk.bytes;
            m_chunks.pop_front();
            continue;
        }
        // Each byte starts when the line is free and its chunk is due.
        std::size_t taken = 0;
        while (taken < chunk.bytes.size()) {
            const std::int64_t start = std::max(m_lineFreeUs, chunk.dueUs);
            if (start > nowUs) {
                break;
            }
            m_lineFreeUs = start + m_byteTimeUs;
            ++taken;
        }
        out.append(chunk.bytes, 0, taken);
        if (taken < chunk.bytes.size()) {
            chunk.bytes.erase(0, taken);
            break;
        }
        m_chunks.pop_front();
    }
    return out;
}

std::int64_t COutputSchedule::NextDueUs() const {
    if (m_chunks.empty()) {
        return -1;
    }
    const std::int64_t due = m_chunks.front().dueUs;
    return m_paced ? std::max(due, m_lineFreeUs) : due;
}

}  // namespace sim
