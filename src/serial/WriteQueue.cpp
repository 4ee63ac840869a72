#include "serial/WriteQueue.h"

#include "serial/ErrorReport.h"

bool CWriteQueue::Start(std::size_t poolBudget) {
    auto pool = std::make_unique<CRequestPool>(poolBudget);
    if (!pool->Valid()) {
        return false;
    }
    auto writerEvent = std::make_unique<platform::CEvent>(platform::CEvent::Mode::AutoReset);
    auto transferComplete = std::make_unique<platform::CEvent>(platform::CEvent::Mode::AutoReset);
    if (!writerEvent->Valid() || !transferComplete->Valid()) {
        return false;
    }
    WriteRequest* head = pool->Allocate();
    WriteRequest* tail = pool->Allocate();
    if (head == nullptr || tail == nullptr) {
        return false;
    }
    head->next = tail;
    tail->prev = head;
    std::lock_guard<std::mutex> guard(m_lock);
    m_pPool = std::move(pool);
    m_pWriterEvent = std::move(writerEvent);
    m_pTransferComplete = std::move(transferComplete);
    m_pHead = head;
    m_pTail = tail;
    m_bReady = true;
    return true;
}

void CWriteQueue::Stop() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bReady = false;
    if (m_pHead != nullptr) {
        ReleaseAllLocked();
    }
}

void CWriteQueue::ReleaseAllLocked() {
    WriteRequest* request = m_pHead->next;
    while (request != m_pTail) {
        WriteRequest* next = request->next;
        m_pPool->Release(request);
        request = next;
    }
    m_pHead->next = m_pTail;
    m_pTail->prev = m_pHead;
}

bool CWriteQueue::Queue(int kind, int length, std::uint8_t byte, const std::uint8_t* data) {
    platform::CEvent* wake = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_bReady) {
            return false;
        }
        WriteRequest* request = m_pPool->Allocate();
        if (request != nullptr) {
            request->kind = kind;
            request->length = length;
            request->byte = byte;
            request->data = data;
            request->next = m_pTail;
            request->prev = m_pTail->prev;
            m_pTail->prev->next = request;
            m_pTail->prev = request;
            wake = m_pWriterEvent.get();
        }
    }
    if (wake == nullptr) {
        ReportCommError("HeapAlloc (writer packet)");
        return false;
    }
    // The request stays queued even if the writer cannot be woken now: the
    // next request that wakes it carries this one out too.
    if (!wake->Set()) {
        ReportCommError("SetEvent( writer packet )");
    }
    return true;
}

bool CWriteQueue::Empty() {
    std::lock_guard<std::mutex> guard(m_lock);
    // A request stays linked while it is written, so an empty queue means
    // everything queued has been carried out.
    return m_pHead == nullptr || m_pHead->next == m_pTail;
}

WriteRequest* CWriteQueue::First() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pHead == nullptr || m_pHead->next == m_pTail) {
        return nullptr;
    }
    return m_pHead->next;
}

void CWriteQueue::Unlink(WriteRequest* request) {
    bool released = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        WriteRequest* next = request->next;
        WriteRequest* prev = request->prev;
        released = m_pPool->Release(request);
        prev->next = next;
        next->prev = prev;
    }
    if (!released) {
        ReportCommError("HeapFree(write request)");
    }
}

int CWriteQueue::DropBehind(WriteRequest* request, bool& releaseFailed) {
    releaseFailed = false;
    int dropped = 0;
    std::lock_guard<std::mutex> guard(m_lock);
    WriteRequest* behind = request->next;
    while (behind != m_pTail) {
        WriteRequest* next = behind->next;
        if (!m_pPool->Release(behind)) {
            releaseFailed = true;
            break;
        }
        ++dropped;
        behind = next;
    }
    request->next = m_pTail;
    m_pTail->prev = request;
    return dropped;
}
