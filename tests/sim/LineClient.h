// Helpers of the simulated charger's line tests: a serial program's view of
// the device, and child processes with bounded waits.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace simtest {

// The device opened as a serial program opens it: raw, no controlling tty.
class CSerialClient {
public:
    explicit CSerialClient(const std::string& path);
    ~CSerialClient();
    CSerialClient(const CSerialClient&) = delete;
    CSerialClient& operator=(const CSerialClient&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close();
    bool Send(const std::string& bytes);
    // Reads until the text holds `until` or timeoutMs passes without a byte.
    std::string ReadUntil(const std::string& until, int timeoutMs);
    // True when the far end has hung up (read gives end of file or an error).
    bool HungUp(int timeoutMs);

private:
    int m_fd = -1;
};

// A child process; killed and reaped at destruction if still running.
class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // stdinFd/stdoutFd/stderrFd: -1 keeps the test's own.
    bool Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd, int stderrFd);
    bool Signal(int signal) const;
    // The exit code, or nothing when it did not exit normally within timeoutMs.
    std::optional<int> WaitExit(int timeoutMs);

private:
    pid_t m_pid = -1;
};

// The output of a child's stdout pipe, line by line.
class CPipeReader {
public:
    CPipeReader();
    ~CPipeReader();
    int WriteEnd() const { return m_write; }
    void CloseWriteEnd();
    // One line without its end, or nothing after timeoutMs.
    std::optional<std::string> ReadLine(int timeoutMs);

private:
    int m_read = -1;
    int m_write = -1;
    std::string m_pending;
};

}  // namespace simtest
