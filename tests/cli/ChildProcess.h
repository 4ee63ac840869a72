// Child process: a program of the build run the way a technician's shell
// runs it, with its standard output and error caught in pipes.
//
// Principles of operation
//   Start forks and execs with the test's environment plus a few overrides,
//   in a working folder of the test's choosing and, when asked, under another
//   user (for the permission cases). Standard input is /dev/null. The test
//   process reads both pipes while it waits, so a chatty child never blocks
//   on a full pipe. Every wait has a bound; a child still running at the end
//   of Finish's bound, or at destruction, is killed and reaped.
//
// Threads: one object belongs to one test thread.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace clitest {

struct ProcessSpec {
    std::vector<std::string> argv;  // argv[0] is the program's path
    std::vector<std::string> env;   // "NAME=VALUE" entries that override the test's
    std::string cwd;                // empty: the test's own
    // Run as this user and group (the test must be root); unset: as the test.
    std::optional<std::pair<uid_t, gid_t>> runAs;
};

class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Start(const ProcessSpec& spec);
    pid_t Pid() const { return m_pid; }

    // Collects output until done() holds or timeoutMs pass; true when it held.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
    bool Signal(int signal) const;
    // Collects output until the child exits; its exit code, or nothing when it
    // did not exit normally within timeoutMs (it is then killed).
    std::optional<int> Finish(int timeoutMs);
    // How it ended, for failure messages: "exit 3", "signal 9", "killed after
    // the time limit", "running".
    const std::string& Ending() const { return m_ending; }

    const std::string& Out() const { return m_out; }
    const std::string& Err() const { return m_err; }

private:
    void ReadPipes(int waitMs);
    bool Reap(bool block);
    void Kill();

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
    std::optional<int> m_exitCode;
    std::string m_ending = "not started";
};

// True when a forked child can become uid/gid (so a permission case can run).
bool CanRunAs(uid_t uid, gid_t gid);

}  // namespace clitest
