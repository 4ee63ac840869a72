// Request pool: the bounded store of write requests of one port opening.
//
// Principles of operation
//   A fixed number of request records, as many as fit in the pool's byte
//   budget (four pages of the system's page size for the port), allocated
//   once. Allocate hands out a free record or nothing when all are in use, so
//   the memory that waiting requests can take is bounded. Release takes back
//   only records of this pool that are in use; anything else is refused.
//
// Threads: records are allocated on the caller's thread and released on the
// writer thread; one mutex guards the free list. It is a leaf lock: nothing
// else is taken while it is held.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/WriteRequest.h"

class CRequestPool {
public:
    explicit CRequestPool(std::size_t budgetBytes);
    CRequestPool(const CRequestPool&) = delete;
    CRequestPool& operator=(const CRequestPool&) = delete;

    // The byte budget of a port's pool: four pages.
    static std::size_t PortBudget();

    bool Valid() const { return m_records != nullptr; }
    std::size_t Capacity() const { return m_capacity; }
    // A zero-filled record, or null when every record is in use.
    WriteRequest* Allocate();
    // False when the record is not one of ours in use.
    bool Release(WriteRequest* record);

private:
    std::mutex m_lock;
    std::size_t m_capacity = 0;
    std::unique_ptr<WriteRequest[]> m_records;
    std::vector<bool> m_inUse;
    std::vector<std::size_t> m_free;
};
