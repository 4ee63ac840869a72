#include "serial/PortDiagnosis.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string GroupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

std::string ProcessName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "process" : name;
}

bool HoldsDevice(const fs::path& fdDir, const fs::path& device) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator(fdDir, ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(fd.path(), linkError);
        if (!linkError && target == device) {
            return true;
        }
    }
    return false;
}

PortDiagnosis Permission(const std::string& path, const struct stat& info) {
    const std::string group = GroupName(info.st_gid);
    return {PortProblem::PermissionDenied,
            "Permission denied on " + path + ": it belongs to the group '" + group +
                "'. Add your user to that group (sudo usermod -aG " + group +
                " $USER), then log out and in again.",
            path + " may not be opened by this user (it belongs to the group '" + group + "')."};
}

// Whether a process other than this one holds a lock on the device: the
// kernel lists every lock in /proc/locks by pid and device:inode.
bool LockedByAnother(const struct stat& info) {
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%lu", ::major(info.st_dev), ::minor(info.st_dev),
                  static_cast<unsigned long>(info.st_ino));
    const std::string self = std::to_string(::getpid());
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF"; waiters are marked "->".
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        fields >> number >> kind;
        if (kind == "->") {
            fields >> kind;
        }
        fields >> mode >> access >> pid >> where;
        if (where == id && pid != self) {
            return true;
        }
    }
    return false;
}

// Whether this very process has the device open (another port object, or a
// window of this program that has it).
bool HeldByThisProcess(const std::string& path) {
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    return !ec && HoldsDevice("/proc/self/fd", device);
}

// This program's own hold comes first, whoever else has the device open (a
// simulator keeps its side open): closing its own window is what frees it.
PortDiagnosis Busy(const std::string& path, const std::string& holders) {
    if (HeldByThisProcess(path)) {
        return {PortProblem::Busy,
                path +
                    " is in use by this program. Close what else has it open (a monitor "
                    "or trends window, another port) and try again.",
                path + " is in use by this program."};
    }
    const std::string who = holders.empty() ? std::string("another program") : holders;
    return {PortProblem::Busy,
            path + " is in use by " + who + ". Close that program and try again.",
            path + " is in use by " + who + "."};
}

// The kernel keeps a tty's exclusive-use mark after the process that set it
// has closed the device, and refuses every later open (root aside). Marked,
// but nobody locks it and no other process has it open: the holder has gone.
// A program that opens the port without locking it is still using it.
PortDiagnosis MarkedExclusive(const std::string& path) {
    const std::string holders = ProcessesHolding(path);
    if (!holders.empty() || HeldByThisProcess(path)) {
        return Busy(path, holders);
    }
    return {PortProblem::Busy,
            path +
                " is still marked for exclusive use by a program that no longer holds it "
                "(one that ended without letting it go). Unplug and replug the adapter, or "
                "restart whatever provides the device, then try again.",
            path + " is still marked for exclusive use by a program that has ended."};
}

PortDiagnosis NotSerial(const std::string& path) {
    return {PortProblem::NotSerial,
            path +
                " is not a serial device. Give the port the charger "
                "is connected to (see 'corvane-cli ports').",
            path + " is not a serial device."};
}

}  // namespace

std::string ProcessesHolding(const std::string& path) {
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    if (ec) {
        return {};
    }
    const std::string self = std::to_string(::getpid());
    std::string names;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
            continue;
        }
        if (HoldsDevice(entry.path() / "fd", device)) {
            names += (names.empty() ? "" : ", ") + ProcessName(pid) + " (pid " + pid + ")";
        }
    }
    return names;
}

PortDiagnosis DiagnosePort(const std::string& path) {
    struct stat info {};
    if (path.empty()) {
        return {PortProblem::Missing,
                "No port is chosen. Name one with --port (COM1 to COM4 or "
                "a device path such as /dev/ttyUSB0).",
                "No device is set up for this port."};
    }
    if (::stat(path.c_str(), &info) != 0) {
        return {PortProblem::Missing,
                "The device " + path +
                    " does not exist. Check that the adapter is plugged "
                    "in, and see 'corvane-cli ports'.",
                path + " is absent."};
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int error = errno;
    if (fd < 0 && (error == EACCES || error == EPERM)) {
        return Permission(path, info);
    }
    if (fd < 0 && error == EBUSY) {
        return LockedByAnother(info) ? Busy(path, ProcessesHolding(path)) : MarkedExclusive(path);
    }
    if (fd >= 0) {
        termios settings{};
        const bool answered = ::tcgetattr(fd, &settings) == 0;
        const int setupError = errno;
        const bool notSerial = !answered && setupError == ENOTTY;
        int marked = 0;
        const bool exclusive = ::ioctl(fd, TIOCGEXCL, &marked) == 0 && marked != 0;
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        if (notSerial) {
            return NotSerial(path);
        }
        if (!answered && setupError == EIO) {
            return {PortProblem::Other,
                    "The device " + path +
                        " answers with an input/output error: this computer has no serial "
                        "port behind that name, or its adapter is being pulled out. See "
                        "'corvane-cli ports'.",
                    path + " answers with an input/output error: no serial line is behind it."};
        }
        if (locked) {
            return Busy(path, ProcessesHolding(path));
        }
        if (exclusive) {
            return MarkedExclusive(path);
        }
        return {PortProblem::Other,
                "The device " + path + " opens, but could not be set up as a serial port.",
                path + " opens, but could not be set up as a serial port."};
    }
    const std::string reason = std::strerror(error);
    return {PortProblem::Other, "The device " + path + " cannot be opened: " + reason + ".",
            path + " cannot be opened: " + reason + "."};
}

std::string DescribeOpenFailure(const std::string& portName, const std::string& path) {
    const std::string cause = DiagnosePort(path).cause;
    if (portName.empty() || portName == path) {
        return cause;
    }
    return portName + ": " + cause;
}
