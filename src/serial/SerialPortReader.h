// Serial port reader: the body of the reader thread of one port opening.
//
// Principles of operation
//   The reader waits on its exit event and on the device together, in slices
//   of at most 500 ms, and copies whatever the device has received (up to
//   512 bytes a pass) into the port's receive ring; a full ring drops the
//   newest bytes and the reader carries on. It asks for nothing while the
//   port is closing, so after Close only the exit event ends its wait.
//
//   A device that hangs up or fails (EIO, ENXIO, POLLHUP, POLLERR, a read of
//   0 bytes) is drained of what it still held, reported once and then left
//   alone: the reader waits only for its exit event, so it never spins.
//
// Threads: runs on its own std::thread; shares only the port link.
#pragma once

#include <cstdint>
#include <memory>

#include "serial/PortLink.h"

class CSerialPortReader {
public:
    explicit CSerialPortReader(std::shared_ptr<CPortLink> link);
    // Returns when the exit event is signalled.
    void Run();

private:
    void ReadAvailable(short revents);

    std::shared_ptr<CPortLink> m_pLink;
    std::uint8_t m_buffer[512];
};
