// Serial device: the one place that touches a serial line through the
// operating system (POSIX termios).
//
// Principles of operation
//   The serial port opens the device exclusively, keeps the settings it found
//   so that it can put them back at close, and applies its own line settings:
//   raw bytes, 8N1 at the chosen speed, no flow control of any kind, the
//   receiver on and modem status ignored (CLOCAL | CREAD). HUPCL stays set,
//   so DTR falls when the last descriptor closes, also when the process dies.
//   tcsetattr succeeds when any one of the changes took, so every setting is
//   read back and a mismatch counts as a failure of that step.
//
//   DTR is raised and dropped on command; RTS is held low. A device without
//   modem-control lines (a pseudo-terminal answers ENOTTY or EINVAL) has no
//   line to move, which is not an error.
//
//   The exclusive-use mark outlives the process that set it, so every mark
//   set here is recorded in ExclusiveHolds and taken off by Release, or at
//   exit if the process ends without closing.
//
//   Reads and writes never block: the port's workers poll the descriptor
//   (Fd) together with their exit event and then call Read or Write.
//
//   Every call that fails records errno as the thread's last error
//   (platform::SetLastErrorFromErrno) and returns false or -1.
//
// Threads: Open, the settings calls and Close belong to the port's owner. The
// workers call Read, Write and Fd while the device is open. Release may run
// while a worker still reads; Close must not (the descriptor number could be
// reused under the worker's feet).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Kept out of this header: <termios.h> defines short macros (B0, ECHO, ...)
// that would leak into everything that includes the serial port.
struct termios;

namespace platform {

// The line as the port configures it.
struct SerialLineSettings {
    std::uint32_t baudRate = 38400;
    std::uint8_t byteSize = 8;  // 5..8
    std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even
    std::uint8_t stopBits = 0;  // 0 one, 2 two
    bool ctsFlow = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    std::uint8_t xonChar = 17;
    std::uint8_t xoffChar = 19;
};

class CSerialDevice {
public:
    CSerialDevice();
    ~CSerialDevice();
    CSerialDevice(const CSerialDevice&) = delete;
    CSerialDevice& operator=(const CSerialDevice&) = delete;

    // Opens the device for reading and writing, non-blocking, exclusively.
    // A device held by another opener fails like a missing one (EBUSY); one
    // that takes no line settings (not a tty) fails with ENOTTY.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    // Keeps the device's settings as found, for RestoreSettings.
    bool SaveSettings();
    // Reads the device's current settings as the base for ApplyLineSettings.
    bool ReadState();
    // Raw line with the given framing; modem lines DTR and RTS low.
    bool ApplyLineSettings(const SerialLineSettings& settings);
    // A read returns whatever has arrived and never waits (the workers poll).
    bool ApplyReadTimeouts();
    bool SetDtr(bool raised);
    // Drops what the device received before now.
    bool DiscardInput();
    // Drops everything queued in both directions.
    bool Purge();
    // Bytes written but not yet sent on the line: the driver's output queue,
    // or 1 while a UART's transmitter still shifts out its last bytes. 0
    // when the device cannot tell (a pseudo-terminal hands bytes straight to
    // its far end and always says 0). The writer may be writing meanwhile.
    int OutputPending();
    bool RestoreSettings();

    // Gives up the exclusive hold (the mark and the lock) but keeps the
    // descriptor open.
    void Release();
    void Close();

    // Up to length bytes: the count read, 0 when nothing is waiting, -1 when
    // the read failed or the line hung up (last error set; EIO for a hang-up).
    long Read(void* buffer, std::size_t length);
    // The count written, 0 when the device takes nothing now, -1 on failure.
    long Write(const void* data, std::size_t length);

private:
    bool ApplyAndVerify(const termios& wanted);
    bool ClearModemLines(int lines);

    int m_fd = -1;
    bool m_exclusive = false;  // TIOCEXCL set by us
    bool m_locked = false;     // flock held by us
    bool m_haveSaved = false;
    std::unique_ptr<termios> m_saved;  // as found at open
    std::unique_ptr<termios> m_state;  // as last applied
};

}  // namespace platform
