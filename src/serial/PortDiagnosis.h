// Port diagnosis: why a serial device could not be opened, in words a
// technician can act on.
//
// Principles of operation
//   After a failed open the command line, the bench and the window look at
//   the device itself: does it exist, may this user open it (and if not,
//   which group owns it), is it a serial line at all, is another process
//   holding it (found through /proc/<pid>/fd), or was its exclusive-use mark
//   left behind by a process that no longer holds it. A mark is called stale
//   only when nobody holds a lock on the device (/proc/locks) and no other
//   process has it open: a program that opens a port without locking it is
//   still using it. When some process's descriptors cannot be read (another
//   user's), the port is said to be in use by a program this user cannot
//   see: a real tty loses its mark at the last close, so a refusal means a
//   live holder. A locked device is not opened at all: an open raises DTR
//   and RTS under the program that uses it.
//
//   `cause` names what is wrong in one sentence ("/dev/ttyS3 is absent."),
//   which the window adds to its communications box; `message` is the
//   command line's fuller text, with what to do about it.
//
// Threads: plain functions; any thread. They read /proc and open a device
// that nobody locks once, without waiting.
#pragma once

#include <string>

enum class PortProblem { None, Missing, PermissionDenied, Busy, NotSerial, Other };

struct PortDiagnosis {
    PortProblem problem = PortProblem::None;
    std::string message;  // one or two sentences, without a trailing newline
    std::string cause;    // one sentence naming the device and what is wrong
};

// Diagnoses the device at path (already resolved from a COM name).
PortDiagnosis DiagnosePort(const std::string& path);

// The last line of the window's communications box after a failed open of
// portName (resolved to path): "COM3: /dev/ttyS2 is absent.", or the cause
// alone when the name is the path.
std::string DescribeOpenFailure(const std::string& portName, const std::string& path);

// Names of the processes other than this one holding path open ("name (pid)").
std::string ProcessesHolding(const std::string& path);
