// Exclusive holds: the serial devices this process has marked for its sole
// use, so that the mark can be taken off however the process ends.
//
// Principles of operation
//   The kernel keeps a tty's exclusive-use mark (TIOCEXCL) after the process
//   that set it has gone, and on a pseudo-terminal every later open then
//   fails. The serial device records each descriptor it marks here and
//   forgets it when it takes the mark off (Release). ReleaseExclusiveHolds
//   takes the mark off every recorded descriptor; InstallExclusiveRelease
//   runs it when the process exits through exit() or std::terminate, the
//   paths that still run code without passing through Close. A process
//   killed outright (SIGKILL, a crash) cannot; the command line's port
//   diagnosis then says that the mark was left behind.
//
// Threads: any thread. The record is a chain of fixed tables of atomics that
// grows when every slot is taken (a bench holds any number of ports) and
// never shrinks, so ReleaseExclusiveHolds needs no lock or allocation and is
// safe wherever the process ends.
#pragma once

namespace platform {

void RecordExclusiveHold(int fd);
void ForgetExclusiveHold(int fd);
void ReleaseExclusiveHolds();
// Once per process, from main.
void InstallExclusiveRelease();

}  // namespace platform
