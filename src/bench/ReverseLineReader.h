// Reverse line reader: a text file's lines from the last to the first.
//
// Principles of operation
//   Journals are appended to, so their newest lines are at the end, and
//   history lists the newest first. The file is read backwards in blocks of
//   a fixed size; a line is handed out once the newline before it has been
//   seen. Memory stays at one block plus the longest line, however long the
//   file. A last line without its newline (a write cut short) is handed out
//   like the others; the parser decides whether it is whole.
//
// Threads: one reader belongs to one thread.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

class CReverseLineReader {
public:
    static constexpr std::size_t kBlock = 64 * 1024;

    CReverseLineReader() = default;
    ~CReverseLineReader();
    CReverseLineReader(const CReverseLineReader&) = delete;
    CReverseLineReader& operator=(const CReverseLineReader&) = delete;

    // False, with `error` set, when the file cannot be opened or read.
    bool Open(const std::string& path, std::string& error);
    // The line before the last one handed out, without its newline; false
    // at the file's start or when reading fails (see Error).
    bool Previous(std::string& line);
    const std::string& Error() const { return m_error; }

private:
    bool ReadBlock();

    int m_fd = -1;
    std::string m_path;
    std::int64_t m_offset = 0;  // what lies before this is not read yet
    std::string m_pending;      // read, not handed out: an unfinished line's end
    std::string m_error;
};

}  // namespace bench
