#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "TestKit.h"
#include "serial/ErrorReport.h"
#include "serial/PortDiagnosis.h"
#include "serial/SerialPort.h"

namespace {

// A pseudo-terminal whose slave side carries the exclusive-use mark and is
// open in no descriptor of this process; the master keeps the tty alive.
class CMarkedTty {
public:
    CMarkedTty() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
            m_path = ::ptsname(m_master);
        }
    }
    ~CMarkedTty() {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
        ::close(m_master);
    }
    const std::string& Path() const { return m_path; }
    pid_t Child() const { return m_child; }

    // Marks the slave (unless mark is false); with keepOpen a child process
    // goes on holding it, without a lock as a program that never locks its
    // port does, or with one of its own when lock is true.
    bool Mark(bool keepOpen, bool mark = true, bool lock = false) {
        const int fd = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        int ready[2];
        if (fd < 0 || (mark && ::ioctl(fd, TIOCEXCL) != 0) || ::pipe(ready) != 0) {
            return false;
        }
        if (keepOpen) {
            m_child = ::fork();
            if (m_child == 0) {
                const char held = lock && ::flock(fd, LOCK_EX) != 0 ? 'n' : 'y';
                (void)!::write(ready[1], &held, 1);
                ::pause();
                ::_exit(0);
            }
        }
        char held = keepOpen ? 'n' : 'y';
        if (keepOpen && m_child > 0) {
            (void)!::read(ready[0], &held, 1);
        }
        ::close(ready[0]);
        ::close(ready[1]);
        ::close(fd);
        return m_child >= 0 && held == 'y';
    }

private:
    int m_master = -1;
    pid_t m_child = 0;
    std::string m_path;
};

// The causes the window adds to its box, one sentence each, naming the
// device; the command line's messages say the same and what to do about it.
TEST(PortDiagnosisTest, EachCauseNamesTheDeviceAndWhatIsWrong) {
    testkit::CScratchDir dir;
    const std::string file = dir.Path() + "/passwd";
    ASSERT_EQ(::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    const std::string missing = dir.Path() + "/ttyUSB9";
    const std::string notSerialAdvice =
        " is not a serial device. Give the port the charger is connected to (see "
        "'corvane-cli ports').";
    const struct {
        std::string path;
        PortProblem problem;
        std::string cause;
        std::string message;
    } rows[] = {
        {"", PortProblem::Missing, "No device is set up for this port.",
         "No port is chosen. Name one with --port (COM1 to COM4 or a device path such as "
         "/dev/ttyUSB0)."},
        {missing, PortProblem::Missing, missing + " is absent.",
         "The device " + missing +
             " does not exist. Check that the adapter is plugged in, and see 'corvane-cli "
             "ports'."},
        {file, PortProblem::NotSerial, file + " is not a serial device.", file + notSerialAdvice},
        {dir.Path(), PortProblem::NotSerial, dir.Path() + " is not a serial device.",
         dir.Path() + notSerialAdvice},
        {"/dev/null", PortProblem::NotSerial, "/dev/null is not a serial device.",
         "/dev/null" + notSerialAdvice},
    };
    for (const auto& row : rows) {
        const PortDiagnosis diagnosis = DiagnosePort(row.path);
        EXPECT_EQ(diagnosis.problem, row.problem) << row.path;
        EXPECT_EQ(diagnosis.cause, row.cause);
        EXPECT_EQ(diagnosis.message, row.message);
    }
}

// A marked tty that another process still has open is in use, not abandoned,
// even though that process took no lock on it.
TEST(PortDiagnosisTest, MarkedDeviceIsStaleOnlyWhenNobodyHasItOpen) {
    CMarkedTty held;
    ASSERT_TRUE(held.Mark(true));
    const PortDiagnosis inUse = DiagnosePort(held.Path());
    EXPECT_EQ(inUse.problem, PortProblem::Busy);
    EXPECT_EQ(inUse.cause.rfind(held.Path() + " is in use by ", 0), 0U) << inUse.cause;
    EXPECT_NE(inUse.cause.find("(pid " + std::to_string(held.Child()) + ")"), std::string::npos)
        << inUse.cause;

    // Only a user who can see every process's descriptors can tell that
    // nobody holds it (see the AsUser case for everyone else).
    if (::geteuid() == 0) {
        CMarkedTty abandoned;
        ASSERT_TRUE(abandoned.Mark(false));
        EXPECT_EQ(
            DiagnosePort(abandoned.Path()).cause,
            abandoned.Path() + " is still marked for exclusive use by a program that has ended.");
    }
}

// A port another program uses and locks is named busy without being opened:
// an open of a real tty raises DTR and RTS under the program that has it.
TEST(PortDiagnosisTest, LockedDeviceIsNotOpenedByTheDiagnosis) {
    CMarkedTty held;
    ASSERT_TRUE(held.Mark(true, false, true));
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, held.Path().c_str(), IN_OPEN), 0);
    const PortDiagnosis busy = DiagnosePort(held.Path());
    char events[256];
    EXPECT_LT(::read(watch, events, sizeof events), 0);  // no open reported
    ::close(watch);
    EXPECT_EQ(busy.problem, PortProblem::Busy);
    EXPECT_EQ(busy.cause, held.Path() + " is in use by serial_tests (pid " +
                              std::to_string(held.Child()) + ").");
}

// Another user's processes cannot be looked into: a refused open then means
// a holder this user cannot see, never a program that has ended.
TEST(PortDiagnosisAsUserTest, UnseenHolderIsNotCalledEnded) {
    CMarkedTty marked;
    ASSERT_TRUE(marked.Mark(false));
    const PortDiagnosis diagnosis = DiagnosePort(marked.Path());
    EXPECT_EQ(diagnosis.problem, PortProblem::Busy);
    EXPECT_EQ(diagnosis.cause, marked.Path() + " is in use by a program this user cannot see.");
    EXPECT_EQ(diagnosis.message,
              marked.Path() +
                  " is in use by a program this user cannot see (one run by another user or a "
                  "system service). Close that program, or ask whoever runs it, then try again.");
}

TEST(PortDiagnosisTest, DeviceHeldByThisProgramSaysSo) {
    testkit::CBoxRecorder boxes;
    testkit::CDebugRecorder debug;
    testkit::CPtyPair pty;
    CSerialPort holder;
    holder.SetPortName(pty.SlavePath());
    ASSERT_TRUE(holder.Open());
    EXPECT_EQ(DiagnosePort(pty.SlavePath()).cause, pty.SlavePath() + " is in use by this program.");
}

// Another program has the device open too (the simulator keeps its side
// open), but what stands in the way is this program's own port, such as its
// trends window: closing that is what helps.
TEST(PortDiagnosisTest, OwnHoldIsNamedBeforeOtherHolders) {
    testkit::CBoxRecorder boxes;
    testkit::CDebugRecorder debug;
    CMarkedTty tty;
    ASSERT_TRUE(tty.Mark(true, false));
    CSerialPort trends;
    trends.SetPortName(tty.Path());
    ASSERT_TRUE(trends.Open());
    EXPECT_EQ(DiagnosePort(tty.Path()).cause, tty.Path() + " is in use by this program.");
}

// The window's box keeps its fixed text and adds the port and the cause as
// its last line; the command line's box stays as it was.
TEST(PortDiagnosisTest, FailedOpenAddsPortAndCauseToTheBoxWhenAsked) {
    testkit::CBoxRecorder boxes;
    testkit::CDebugRecorder debug;
    testkit::CScratchDir dir;
    const std::string missing = dir.Path() + "/ttyACM7";
    for (const bool shown : {true, false}) {
        CSerialPort port;
        port.SetPortName("COM3");
        port.SetDeviceOverride(missing);
        port.SetOpenCauseShown(shown);
        EXPECT_FALSE(port.Open());
    }
    ASSERT_EQ(boxes.Count(), 2U);
    EXPECT_EQ(boxes.Boxes()[0].text,
              std::string(kCommErrorText) + "\n\nCOM3: " + missing + " is absent.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "ERROR");
    EXPECT_EQ(boxes.Boxes()[1].text, kCommErrorText);
    EXPECT_EQ(debug.Text(), "CreateFileCreateFile");
    EXPECT_EQ(DescribeOpenFailure(missing, missing), missing + " is absent.");
}

}  // namespace
