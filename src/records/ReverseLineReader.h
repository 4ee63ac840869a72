// Reverse line reader: a text file's lines from the last to the first.
//
// Principles of operation
//   Journals are appended to, so their newest lines are at the end, and
//   history lists the newest first. The file is read backwards in blocks of
//   a fixed size; each block is searched for newlines once, and a line that
//   spans blocks is gathered from its pieces once, so the time is linear in
//   the file's length. A last line without its newline (a write cut short)
//   is handed out like the others; the parser decides whether it is whole.
//
//   Journals come from other PCs and may hold anything. A line is kept to
//   its last kMaxLine bytes (a record runs to the end of its line, so one
//   appended to a long stump is still found); such a line is marked Cut().
//   A power cut can leave a zero-filled region of any size, so memory stays
//   at one block plus kMaxLine, and a stop check is asked before each block.
//
//   Only regular files are read backwards. A pipe (`--file /dev/stdin`,
//   `--file <(...)`) has no end to start from: it is read forwards to its
//   end, waiting at most kPollMs between stop checks, and then handed out
//   from its last line like a file, so its records too come newest first.
//   It is held whole for that, so one longer than kMaxStream is refused.
//   Named FIFOs and devices are refused without waiting: the type is
//   checked before the open, and again on the descriptor opened with
//   O_NONBLOCK, so a FIFO swapped in between cannot block either.
//
// Threads: one reader belongs to one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace records {

class CReverseLineReader {
public:
    static constexpr std::size_t kBlock = 64 * 1024;
    static constexpr std::size_t kMaxLine = 1024 * 1024;
    static constexpr std::size_t kMaxStream = 64 * 1024 * 1024;
    static constexpr int kPollMs = 50;
    // True when the reading should end (a signal, a closed window).
    using StopCheck = std::function<bool()>;

    explicit CReverseLineReader(StopCheck stop = {});
    ~CReverseLineReader();
    CReverseLineReader(const CReverseLineReader&) = delete;
    CReverseLineReader& operator=(const CReverseLineReader&) = delete;

    // False, with `error` set, when the file cannot be opened or read, is
    // neither a regular file nor a pipe, or is a pipe longer than kMaxStream.
    bool Open(const std::string& path, std::string& error);
    // The line before the last one handed out, without its newline; false
    // at the file's start, when reading fails (see Error) or was stopped.
    bool Previous(std::string& line);
    // The last line handed out was longer than kMaxLine: only its end was.
    bool Cut() const { return m_cut; }
    bool Stopped() const { return m_stopped; }
    const std::string& Error() const { return m_error; }

private:
    bool ShouldStop();
    bool ReadStream(std::string& error);
    bool ReadBlock();
    void Keep(const char* piece, std::size_t size);
    void Gather(std::string& line);

    StopCheck m_stop;
    int m_fd = -1;
    std::string m_path;
    std::int64_t m_offset = 0;         // what lies before this is not read yet
    std::string m_block;               // the block read last (a pipe: all of it)
    std::size_t m_end = 0;             // m_block's bytes before this are not searched yet
    std::vector<std::string> m_parts;  // the current line's pieces, its end first
    std::size_t m_kept = 0;            // their bytes
    bool m_cut = false;
    bool m_stopped = false;
    std::string m_error;
};

}  // namespace records
