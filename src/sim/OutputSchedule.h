// Output schedule: when each byte the charger sends may leave on the line.
//
// Principles of operation
//   The charger's parts queue chunks of bytes, each with the earliest time it
//   may leave. Chunks leave in the order queued: a chunk never overtakes an
//   earlier one, even when its own time is earlier. With pacing on, bytes
//   leave no faster than one per byte time (38400 baud: about 260 us), as on
//   a real line; the loop that owns the descriptor asks TakeDue what may be
//   written now and NextDueUs when to ask again. Times are microseconds on the
//   caller's clock, so tests drive it in virtual time.
//
// Threads: used under the simulator's lock only.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace sim {

class COutputSchedule {
public:
    COutputSchedule(bool paced, int byteTimeUs);

    void Add(std::int64_t dueUs, std::string bytes);
    // The bytes that may leave by nowUs, in order.
    std::string TakeDue(std::int64_t nowUs);
    // When the next byte may leave; -1 when nothing is queued.
    std::int64_t NextDueUs() const;
    bool Empty() const { return m_chunks.empty(); }
    void Clear() { m_chunks.clear(); }

private:
    struct Chunk {
        std::int64_t dueUs;
        std::string bytes;
    };

    bool m_paced;
    std::int64_t m_byteTimeUs;
    // The line is busy sending until this time.
    std::int64_t m_lineFreeUs = 0;
    std::deque<Chunk> m_chunks;
};

}  // namespace sim
