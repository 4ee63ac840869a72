// Read-only file: the file tools' thin wrapper over the POSIX file calls.
//
// Principles of operation
//   Every failing call records errno as the platform's last error, so that
//   the box the caller shows names the system's reason. Only regular files
//   are opened: a FIFO, device or socket is refused by its type before it is
//   opened (opening a serial device raises its control lines, a FIFO may
//   never end), and the type is checked again on what was opened. Opening
//   never blocks. The destructor closes a file still open without reporting.
//
// Threads: one owner thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CReadOnlyFile {
public:
    CReadOnlyFile() = default;
    ~CReadOnlyFile();
    CReadOnlyFile(const CReadOnlyFile&) = delete;
    CReadOnlyFile& operator=(const CReadOnlyFile&) = delete;

    // False with the last error set, or with RefusedKind() naming what the
    // path is when it is no regular file; a folder fails as EISDIR.
    bool Open(const std::string& path);
    // "a FIFO", "a character device", "a block device", "a socket" after a
    // refused Open; null otherwise.
    const char* RefusedKind() const { return m_refusedKind; }
    bool IsOpen() const { return m_fd >= 0; }
    // The size in bytes, as the file system reports it.
    bool Size(std::uint64_t& size);
    // Up to length bytes; the count read, 0 at the end, -1 on failure.
    long long Read(void* buffer, std::size_t length);
    bool Close();

private:
    bool Refuse(unsigned mode);

    int m_fd = -1;
    const char* m_refusedKind = nullptr;
};
