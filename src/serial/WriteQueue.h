// Write queue: the requests waiting for the writer of one port opening.
//
// Principles of operation
//   A doubly linked list between two sentinel records, head and tail, all
//   kept in a bounded request pool. The caller's thread appends before the
//   tail (Queue) and wakes the writer through the auto-reset writer event,
//   once per request; the writer looks at the first request, carries it out
//   while it stays linked, then unlinks and releases it. An abort request
//   drops everything behind it (DropBehind).
//
//   The writer thread sets the queue up when it starts (Start) and ends it
//   when it stops (Stop): from then on Queue refuses, and requests that were
//   still waiting are released unwritten. Each opening of the port has a
//   queue of its own, so a writer of an earlier opening never sees requests
//   of a later one.
//
// Threads: Queue on the port owner's thread; everything else on the writer
// thread. The queue lock guards every look at and change of the links and is
// never held across I/O, waits or reports; the pool's own lock nests inside
// it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Event.h"
#include "serial/RequestPool.h"
#include "serial/WriteRequest.h"

class CWriteQueue {
public:
    CWriteQueue() = default;
    CWriteQueue(const CWriteQueue&) = delete;
    CWriteQueue& operator=(const CWriteQueue&) = delete;

    // Writer: creates the pool, the two events and the sentinels; false when
    // any of them cannot be made (the queue then refuses every request).
    bool Start(std::size_t poolBudget);
    // Writer, at its end: refuses further requests, drops the waiting ones.
    void Stop();

    // Caller: appends a request and wakes the writer. False, with the
    // communications box when the pool is full, when nothing was queued.
    bool Queue(int kind, int length, std::uint8_t byte, const std::uint8_t* data);

    // Any thread: true when nothing waits or is being written (also when the
    // queue is not running).
    bool Empty();
    // Writer: the first request, or null when the queue is empty.
    WriteRequest* First();
    // Writer: unlinks and releases a request.
    void Unlink(WriteRequest* request);
    // Writer: releases every request behind the given one and makes it the
    // last; returns how many went. releaseFailed tells whether one could not
    // be released (the rest are cut off all the same).
    int DropBehind(WriteRequest* request, bool& releaseFailed);

    platform::CEvent* WriterEvent() { return m_pWriterEvent.get(); }
    platform::CEvent* TransferComplete() { return m_pTransferComplete.get(); }

private:
    void ReleaseAllLocked();

    std::mutex m_lock;
    bool m_bReady = false;
    std::unique_ptr<CRequestPool> m_pPool;
    std::unique_ptr<platform::CEvent> m_pWriterEvent;
    std::unique_ptr<platform::CEvent> m_pTransferComplete;
    WriteRequest* m_pHead = nullptr;
    WriteRequest* m_pTail = nullptr;
};
