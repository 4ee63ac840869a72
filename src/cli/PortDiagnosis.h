// Port diagnosis: why a serial device could not be opened, in words a
// technician can act on.
//
// Principles of operation
//   After a failed open the command line looks at the device itself: does it
//   exist, may this user open it (and if not, which group owns it), is it a
//   serial line at all, is another process holding it (found through
//   /proc/<pid>/fd), or was its exclusive-use mark left behind by a process
//   that no longer holds it (marked, but no lock in /proc/locks). The window keeps its
//   fixed communications box; this text is only for the command line.
//
// Threads: plain functions; called on the command line's main thread.
#pragma once

#include <string>

enum class PortProblem { None, Missing, PermissionDenied, Busy, NotSerial, Other };

struct PortDiagnosis {
    PortProblem problem = PortProblem::None;
    std::string message;  // one or two sentences, without a trailing newline
};

// Diagnoses the device at path (already resolved from a COM name).
PortDiagnosis DiagnosePort(const std::string& path);

// Names of the processes other than this one holding path open ("name (pid)").
std::string ProcessesHolding(const std::string& path);
