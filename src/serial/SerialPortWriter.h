// Serial port writer: the body of the writer thread of one port opening.
//
// Principles of operation
//   The writer sets up the opening's write queue, tells Open whether it can
//   take requests, and then sleeps on its writer event and the exit event in
//   slices of at most 500 ms. Woken while the port is open, it carries out
//   the queued requests strictly one after another, in queue order, until
//   the queue is empty: a single byte, a block, or an abort that drops every
//   request behind it. A write never blocks: it writes what the device takes
//   and waits for room together with the exit event, so Close abandons a
//   stalled write at once. Requests still queued when the writer ends are
//   dropped unwritten.
//
//   A device that fails or hangs up is reported once (shared with the
//   reader); later requests are released without touching it.
//
// Threads: runs on its own std::thread; shares only the port link. The
// port's owner queues requests concurrently through the link's queue.
#pragma once

#include <cstdint>
#include <future>
#include <memory>

#include "serial/PortLink.h"

class CSerialPortWriter {
public:
    explicit CSerialPortWriter(std::shared_ptr<CPortLink> link);
    // Fulfils ready (true when the queue takes requests) and returns when the
    // exit event is signalled.
    void Run(std::promise<bool>& ready);

private:
    void DispatchRequests();
    void CarryOut(const WriteRequest& request);
    void AbortRequests(WriteRequest* abort);
    void WritePort(const std::uint8_t* data, std::size_t count);
    bool WaitForRoom(bool& lineDown);

    std::shared_ptr<CPortLink> m_pLink;
    bool m_bAbandoned = false;  // the exit event ended a write
};
