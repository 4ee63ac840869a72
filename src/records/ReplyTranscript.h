// Reply transcript: the text lines a charger sent, for the bench's records.
//
// Principles of operation
//   The port's trace hook hands every received byte to Add; Listen installs
//   that hook. Whether recording or not, the transcript counts the bytes, so
//   a front end knows whether a charger answered at all. While it is
//   switched on, printable bytes build a line; a carriage return, a line
//   feed or another control byte ends it (the boot loader's "C" and its
//   ACKs make no line with the text that follows), except a NAK, which
//   identification too hears inside a line. Empty lines are dropped, a line
//   keeps at most 127 characters and the transcript at most 16 lines, so a
//   chattering charger cannot grow a record.
//
// Threads: Add runs on the port's reader thread, the rest on the job's
// thread; one lock guards the lines.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "serial/SerialPort.h"

namespace records {

class CReplyTranscript {
public:
    static constexpr std::size_t kMaxLine = 127;
    static constexpr std::size_t kMaxLines = 16;

    void SetRecording(bool on) { m_recording = on; }
    void Add(const std::uint8_t* data, std::size_t length);
    // The lines so far, the unfinished one included.
    std::vector<std::string> Lines() const;
    // True once any byte was received.
    bool Heard() const { return m_heard; }
    // Makes the port's received bytes reach Add, and every byte also reach
    // next (the command line's byte trace) when it is set.
    void Listen(CSerialPort& port, CSerialPort::TraceHook next = {});

private:
    void EndLine();

    std::atomic<bool> m_recording{false};
    std::atomic<bool> m_heard{false};
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    std::string m_current;
};

}  // namespace records
