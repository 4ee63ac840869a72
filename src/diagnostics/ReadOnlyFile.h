// Read-only file: the file tools' thin wrapper over the POSIX file calls.
//
// Principles of operation
//   Every failing call records errno as the platform's last error, so that
//   the box the caller shows names the system's reason. Opening never blocks
//   (a FIFO or device is opened without waiting for a writer) and the caller
//   bounds its reads by the size it took, so a special file cannot hang the
//   window. The destructor closes a file still open without reporting.
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

    bool Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    // The size in bytes, as the file system reports it.
    bool Size(std::uint64_t& size);
    // Up to length bytes; the count read, 0 at the end, -1 on failure.
    long long Read(void* buffer, std::size_t length);
    bool Close();

private:
    int m_fd = -1;
};
