// Reply transcript: the text lines a charger sent, for the bench's records.
//
// Principles of operation
//   The port's trace hook hands every received byte to Add while the
//   transcript is switched on (the first read of a job). Printable bytes
//   build a line, a carriage return or line feed ends it; empty lines are
//   dropped, a line keeps at most 127 characters and the transcript at most
//   16 lines, so a chattering charger cannot grow a record.
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

namespace bench {

class CReplyTranscript {
public:
    static constexpr std::size_t kMaxLine = 127;
    static constexpr std::size_t kMaxLines = 16;

    void SetRecording(bool on) { m_recording = on; }
    void Add(const std::uint8_t* data, std::size_t length);
    // The lines so far, the unfinished one included.
    std::vector<std::string> Lines() const;

private:
    void EndLine();

    std::atomic<bool> m_recording{false};
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    std::string m_current;
};

}  // namespace bench
