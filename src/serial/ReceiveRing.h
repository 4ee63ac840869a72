// Receive ring: the bytes received from the charger and not yet taken.
//
// Principles of operation
//   A 1024-byte CByteRing behind the port's receive lock. The reader of the
//   open port delivers into it, the port's owner takes bytes out one at a
//   time. It belongs to the port object, not to one opening: closing and
//   opening the port neither empties nor replaces it.
//
//   A reader delivers only through the gate of its own opening, and the gate
//   is looked at under the receive lock. Once the port has shut the gate
//   (CloseGate returned), that reader puts nothing more into the ring, even
//   if it was held up for a long time and the port has been opened again.
//
// Threads: one producer (the reader thread), one consumer (the owner's
// thread). The receive lock is held only for the ring operation itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/ByteRing.h"

class CReceiveRing {
public:
    explicit CReceiveRing(std::uint32_t size);
    ~CReceiveRing();
    CReceiveRing(const CReceiveRing&) = delete;
    CReceiveRing& operator=(const CReceiveRing&) = delete;

    // False when the ring could not be allocated: it then holds nothing.
    bool Valid() const { return m_pRing != nullptr; }

    // Reader: puts the bytes while the gate is open; when the ring is full the
    // bytes that do not fit are dropped.
    void Deliver(const std::atomic<bool>& gate, const std::uint8_t* bytes, std::uint32_t length);
    // Port: shuts a reader's gate.
    void CloseGate(std::atomic<bool>& gate);

    int Get();
    int Count();
    void Clear();

private:
    std::mutex m_lock;
    CByteRing* m_pRing;
};
