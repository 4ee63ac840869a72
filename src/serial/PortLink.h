// Port link: what one opening of the serial port shares with its workers.
//
// Principles of operation
//   Open makes a fresh link for every opening: the device, the exit event,
//   the write queue, the open flag (which is also the reader's delivery
//   gate), the trace hook and a share of the port's receive ring. The port
//   and both workers hold it through shared pointers, so a worker that has
//   not ended when Close gives up waiting keeps its own link alive and can
//   never touch the device, the queue or the events of a later opening; its
//   gate is shut and its exit event stays signalled.
//
//   A device that goes away while open is logged once, by whichever worker
//   notices it first (ReportLost), without a box: the command that meets
//   the lost port says so itself. Both workers then leave the device alone
//   until Close.
//
// Threads: the port's owner sets the link up before the workers start and
// shuts the gate before it signals the exit event. The flags are atomics; the
// trace hook is fixed for the life of the link and called outside all locks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Event.h"
#include "platform/SerialDevice.h"
#include "serial/ReceiveRing.h"
#include "serial/WriteQueue.h"

class CPortLink {
public:
    using TraceHook = std::function<void(bool sent, const std::uint8_t* data, std::size_t length)>;

    CPortLink(std::shared_ptr<CReceiveRing> receive, TraceHook trace);
    CPortLink(const CPortLink&) = delete;
    CPortLink& operator=(const CPortLink&) = delete;

    platform::CSerialDevice& Device() { return m_device; }
    platform::CEvent& ExitEvent() { return m_exitEvent; }
    CWriteQueue& Queue() { return m_queue; }

    bool IsOpen() const { return m_bOpen.load(); }
    void SetOpen() { m_bOpen.store(true); }
    // Clears the open flag; the reader delivers nothing afterwards.
    void Shut();

    bool IsLost() const { return m_bLost.load(); }
    // Marks the device lost; only the first call logs the operation.
    void ReportLost(const char* operation);

    // Received bytes into the port's ring (while open).
    void Deliver(const std::uint8_t* bytes, std::uint32_t length);
    void Trace(bool sent, const std::uint8_t* data, std::size_t length) const;

private:
    platform::CSerialDevice m_device;
    platform::CEvent m_exitEvent{platform::CEvent::Mode::ManualReset};
    CWriteQueue m_queue;
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bLost{false};
    std::shared_ptr<CReceiveRing> m_pReceive;
    const TraceHook m_trace;
};
