// The record journal shared by several processes at once: benches, the
// window and command lines on one PC append to the same file.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/TestKit.h"
#include "records/RecordJournal.h"

// Every fdatasync of this program passes through here to the C library's,
// noting which file was synced and how long it was then.
std::vector<std::pair<std::string, off_t>> g_synced;  // a test's own process only

extern "C" int fdatasync(int fd) {
    char path[PATH_MAX] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    struct stat st {};
    ::fstat(fd, &st);
    g_synced.emplace_back(n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "", st.st_size);
    using Sync = int (*)(int);
    static const auto real = reinterpret_cast<Sync>(::dlsym(RTLD_NEXT, "fdatasync"));
    return real(fd);
}

namespace {

class CNoSystemLog : public records::ISystemLog {
public:
    void Write(bool, const std::string&) override {}
};

records::ServiceRecord Record(int process, int k) {
    records::ServiceRecord record;
    record.tool = "bench";
    record.port = "/dev/ttyUSB" + std::to_string(process);
    record.deviceId = "VC-" + std::to_string(process) + "-" + std::to_string(k);
    record.outcome = records::Outcome::Upgraded;
    record.identification = {"deviceid " + record.deviceId, "Boot 1.3", "V2.09 Veltra charger"};
    // Lines longer than a page: each write then crosses a page boundary,
    // where another process can see the file grown but the line unfinished.
    record.identification.resize(3 + 40, std::string(200, 'x'));
    return record;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Waits at most `seconds` for the child; kills it when it overruns.
// true when it exited with 0.
bool Reap(pid_t child, int seconds) {
    int status = 0;
    for (int k = 0; k < seconds * 100; ++k) {
        if (::waitpid(child, &status, WNOHANG) == child) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        ::usleep(10000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ADD_FAILURE() << "child " << child << " did not end within " << seconds << " s";
    return false;
}

// Runs body(k) in n child processes at once; true when all of them
// returned true within `seconds`.
bool InProcesses(int n, int seconds, const std::function<bool(int)>& body) {
    std::vector<pid_t> children;
    for (int k = 0; k < n; ++k) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(body(k) ? 0 : 1);
        }
        children.push_back(child);
    }
    bool all = true;
    for (const pid_t child : children) {
        all = Reap(child, seconds) && all;
    }
    return all;
}

// Appends `count` records of process `process`; false at the first refusal.
bool AppendRecords(const std::string& path, int process, int count) {
    CNoSystemLog systemLog;
    records::CRecordJournal journal(path, systemLog);
    std::string problem;
    for (int k = 0; k < count; ++k) {
        if (!journal.Append(Record(process, k), problem)) {
            return false;
        }
    }
    return true;
}

// Appends records with a file-size limit just above the file's size, so
// that each one that gets to write is cut short (a full disk), until
// `shortWrites` of them were or `tries` ran out.
bool AppendCutShort(const std::string& path, int shortWrites, int tries) {
    std::signal(SIGXFSZ, SIG_IGN);
    CNoSystemLog systemLog;
    records::CRecordJournal journal(path, systemLog);
    std::string problem;
    int cut = 0;
    for (int k = 0; k < tries && cut < shortWrites; ++k) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            continue;
        }
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = RLIM_INFINITY;
        limit.rlim_cur = static_cast<rlim_t>(st.st_size) + 64;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        journal.Append(Record(99, k), problem);
        cut += problem.find("short write") != std::string::npos ? 1 : 0;
        problem.clear();
    }
    return true;
}

// A child that takes the journal's lock and keeps it until killed.
class CLockHolder {
public:
    explicit CLockHolder(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
            const bool locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
            (void)::write(ready[1], locked ? "L" : "E", 1);
            for (;;) {
                ::pause();
            }
        }
        ::close(ready[1]);
        char answer = 0;
        m_locked = ::read(ready[0], &answer, 1) == 1 && answer == 'L';
        ::close(ready[0]);
    }
    ~CLockHolder() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CLockHolder(const CLockHolder&) = delete;
    CLockHolder& operator=(const CLockHolder&) = delete;
    bool Locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    bool m_locked = false;
};

}  // namespace

// Eight processes appending at once leave every record whole on a line of
// its own: no empty line from one process taking another's half-copied line
// for one cut short.
TEST(RecordJournal, ConcurrentProcessesLeaveWholeLinesOnly) {
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/records.jsonl";
    constexpr int kProcesses = 8;
    constexpr int kEach = 300;
    ASSERT_TRUE(InProcesses(kProcesses, 120, [&](int k) { return AppendRecords(path, k, kEach); }));
    const std::vector<std::string> lines = Lines(path);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(kProcesses * kEach));
    int empty = 0;
    int whole = 0;
    for (const auto& line : lines) {
        empty += line.empty() ? 1 : 0;
        whole += line.rfind("{\"time\":\"", 0) == 0 && line.back() == '}' ? 1 : 0;
    }
    EXPECT_EQ(empty, 0);
    EXPECT_EQ(whole, kProcesses * kEach);
}

// A line cut short while other processes append is cut back without taking
// any of their records with it. Each round a process cuts lines short again
// and again while three others append; a cut-back outside the lock loses
// their records in about one round of three.
TEST(RecordJournal, CutBackKeepsOtherProcessesRecords) {
    constexpr int kWriters = 3;
    constexpr int kEach = 1500;
    for (int round = 0; round < 5; ++round) {
        testkit::CScratchDir dir;
        const std::string path = dir.Path() + "/records.jsonl";
        ASSERT_TRUE(AppendRecords(path, 50, 1));  // the file exists for the first limit
        ASSERT_TRUE(InProcesses(kWriters + 1, 120, [&](int k) {
            return k == kWriters ? AppendCutShort(path, 3000, 20000)
                                 : AppendRecords(path, k, kEach);
        }));
        int whole = 0;
        for (const auto& line : Lines(path)) {
            whole += line.rfind("{\"time\":\"", 0) == 0 && line.back() == '}' &&
                             line.find("/dev/ttyUSB99") == std::string::npos
                         ? 1
                         : 0;
        }
        ASSERT_EQ(whole, kWriters * kEach + 1) << "round " << round;
    }
}

// Each record is synced to the disk once it is written, so a power cut
// does not take the last records.
TEST(RecordJournal, EachRecordIsSyncedAfterItsWrite) {
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/records.jsonl";
    g_synced.clear();
    ASSERT_TRUE(AppendRecords(path, 1, 2));
    const auto size = static_cast<off_t>(std::filesystem::file_size(path));
    ASSERT_EQ(g_synced.size(), 2U);
    EXPECT_EQ(g_synced[0].first, std::filesystem::canonical(path).string());
    EXPECT_EQ(g_synced[0].second * 2, size);  // the first whole line, once written
    EXPECT_EQ(g_synced[1].second, size);
}

// A new journal may be read by everyone (history run by another user, a
// log gatherer) and written by its owner only, as far as the umask allows.
TEST(RecordJournal, ANewJournalIsReadableByAllAndWritableByItsOwner) {
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/records.jsonl";
    const mode_t old = ::umask(022);
    const bool appended = AppendRecords(path, 1, 1);
    ::umask(old);
    ASSERT_TRUE(appended);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// Runs body in a child with a mount namespace of its own (and a user
// namespace, so that no privilege is needed); its result, or "" when the
// namespace could not be made.
std::string InOwnMounts(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0) {
        return {};
    }
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            ::_exit(1);
        }
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
        const std::string text = body();
        (void)::write(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    Reap(child, 30);
    return text;
}

// A state folder on a read-only file system, with no corvane folder in it
// yet: the problem says so, not that a file or folder is missing.
TEST(RecordJournal, ReadOnlyStateFolderSaysSo) {
    testkit::CScratchDir dir;
    const std::string state = dir.Path() + "/state";
    std::filesystem::create_directory(state);
    const std::string path = state + "/corvane/records.jsonl";
    const std::string problem = InOwnMounts([&] {
        if (::mount("none", state.c_str(), "tmpfs", MS_RDONLY, nullptr) != 0) {
            return std::string("mount: ") + std::strerror(errno);
        }
        CNoSystemLog systemLog;
        records::CRecordJournal journal(path, systemLog);
        std::string why;
        journal.Append(Record(1, 1), why);
        return why;
    });
    if (problem.empty()) {
        GTEST_SKIP() << "no user and mount namespace for a read-only file system";
    }
    EXPECT_EQ(problem, "Could not write the service record " + path + ": Read-only file system.");
}

// A program that holds the journal's lock and never lets go does not hang
// the record: it is written without the lock after a bounded wait.
TEST(RecordJournal, StuckLockHolderDoesNotHangTheRecord) {
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/records.jsonl";
    const CLockHolder holder(path);
    ASSERT_TRUE(holder.Locked());
    ASSERT_TRUE(InProcesses(1, 30, [&](int k) { return AppendRecords(path, k, 1); }));
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_NE(lines[0].find("\"deviceId\":\"VC-0-0\""), std::string::npos) << lines[0];
}
