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

// Whether the process whose descriptors fdDir lists has device open. Another
// user's descriptors cannot be read: unseen is then set, for that process may
// be the holder.
bool HoldsDevice(const fs::path& fdDir, const fs::path& device, bool* unseen = nullptr) {
    std::error_code ec;
    fs::directory_iterator entries(fdDir, ec);
    if (ec && unseen != nullptr &&
        (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)) {
        *unseen = true;
    }
    for (const auto& fd : entries) {
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

// Whether a process holds a lock on the device (this one only when
// includeSelf): the kernel lists every lock in /proc/locks by pid and
// device:inode.
bool Locked(const struct stat& info, bool includeSelf) {
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
        if (where == id && (includeSelf || pid != self)) {
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

struct Holders {
    std::string names;    // "name (pid)", comma-separated
    bool unseen = false;  // some process's descriptors could not be read
};

Holders FindHolders(const std::string& path) {
    Holders found;
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    if (ec) {
        return found;
    }
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
            continue;
        }
        if (HoldsDevice(entry.path() / "fd", device, &found.unseen)) {
            found.names +=
                (found.names.empty() ? "" : ", ") + ProcessName(pid) + " (pid " + pid + ")";
        }
    }
    return found;
}

// A holder that is there but cannot be named: on a real tty the kernel drops
// the exclusive-use mark at the last close, so a refusal means a live holder,
// one run by another user whose descriptors this user may not read.
PortDiagnosis HiddenHolder(const std::string& path) {
    return {PortProblem::Busy,
            path +
                " is in use by a program this user cannot see (one run by another user or "
                "a system service). Close that program, or ask whoever runs it, then try "
                "again.",
            path + " is in use by a program this user cannot see."};
}

// A pseudo-terminal keeps its exclusive-use mark after the process that set
// it has closed the device, and refuses every later open (root aside).
// Marked, but nobody locks it and no other process has it open, as far as
// every process could be looked at: the holder has gone. A program that
// opens the port without locking it is still using it.
PortDiagnosis MarkedExclusive(const std::string& path) {
    const Holders holders = FindHolders(path);
    if (!holders.names.empty() || HeldByThisProcess(path)) {
        return Busy(path, holders.names);
    }
    if (holders.unseen) {
        return HiddenHolder(path);
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
    return FindHolders(path).names;
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
    // A file, a folder, a socket or a FIFO is no serial line, as the port
    // setup says; nothing is opened to find that out.
    if (!S_ISCHR(info.st_mode)) {
        return NotSerial(path);
    }
    if (::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
        return Permission(path, info);
    }
    // A port that is locked (by another program, or a port of this one) is in
    // use and not opened here: even an open without waiting raises DTR and
    // RTS on a real tty, under the program that has it.
    if (Locked(info, true)) {
        return Busy(path, ProcessesHolding(path));
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int error = errno;
    if (fd < 0 && (error == EACCES || error == EPERM)) {
        return Permission(path, info);
    }
    if (fd < 0 && error == EBUSY) {
        return MarkedExclusive(path);
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
