// Pseudo-terminal endpoint: the simulated charger's end of the serial line.
//
// Principles of operation
//   Open creates a pseudo-terminal pair, puts the slave in raw mode at 38400
//   baud and keeps a descriptor of the slave open, so the utility can open,
//   close and reopen the slave path while the master never sees a hang-up.
//   The simulator reads and writes the master, which is non-blocking.
//
//   A real serial line loses what is sent while nobody listens. The pty
//   instead stores it, and once its buffer is full the master refuses more;
//   Write then discards the slave's unread input and tries once more, so the
//   charger never stalls for want of a listener. Close closes both sides:
//   the far end sees the line hang up.
//
// Threads: used by the simulator's thread, and by Stop after that thread ended.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class CPtyEndpoint {
public:
    CPtyEndpoint() = default;
    ~CPtyEndpoint();
    CPtyEndpoint(const CPtyEndpoint&) = delete;
    CPtyEndpoint& operator=(const CPtyEndpoint&) = delete;

    // False with the reason in error.
    bool Open(std::string& error);
    void Close();
    bool IsOpen() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }
    // Stays valid after Close.
    const std::string& SlavePath() const { return m_slavePath; }

    // False on a fault of the line itself.
    bool Write(const std::string& bytes);
    // Bytes read, 0 when none waits, -1 on a fault of the line.
    ssize_t Read(std::uint8_t* buffer, std::size_t size);

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

}  // namespace sim
