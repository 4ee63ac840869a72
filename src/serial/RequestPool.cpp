#include "serial/RequestPool.h"

#include <unistd.h>

#include <new>

namespace {

constexpr std::size_t kPortPages = 4;

}  // namespace

std::size_t CRequestPool::PortBudget() {
    const long page = ::sysconf(_SC_PAGESIZE);
    return kPortPages * static_cast<std::size_t>(page > 0 ? page : 4096);
}

CRequestPool::CRequestPool(std::size_t budgetBytes)
    : m_capacity(budgetBytes / sizeof(WriteRequest)),
      m_records(new (std::nothrow) WriteRequest[m_capacity]) {
    if (!m_records) {
        m_capacity = 0;
        return;
    }
    m_inUse.assign(m_capacity, false);
    m_free.reserve(m_capacity);
    // Handed out from the back: the first allocation gets record 0.
    for (std::size_t i = m_capacity; i > 0; --i) {
        m_free.push_back(i - 1);
    }
}

WriteRequest* CRequestPool::Allocate() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_free.empty()) {
        return nullptr;
    }
    const std::size_t index = m_free.back();
    m_free.pop_back();
    m_inUse[index] = true;
    m_records[index] = WriteRequest{};
    return &m_records[index];
}

bool CRequestPool::Release(WriteRequest* record) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (record == nullptr || !m_records || record < m_records.get() ||
        record >= m_records.get() + m_capacity) {
        return false;
    }
    const auto index = static_cast<std::size_t>(record - m_records.get());
    if (!m_inUse[index]) {
        return false;
    }
    m_inUse[index] = false;
    m_free.push_back(index);
    return true;
}
