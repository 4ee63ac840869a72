// Interrupt: every reason to stop the running command, as flags it looks at.
//
// Principles of operation
//   Ctrl-C (SIGINT), SIGTERM and SIGHUP (an SSH session dropping) each set a
//   flag and nothing else in their handlers (the one thing that is safe
//   there). Commands poll Interrupted() between their sleeps and wind down in
//   their own time, as for Ctrl-C: an upload sends CAN twice and lets them
//   leave the port, every command closes its port (line settings restored,
//   exclusive hold given up), the upgrade writes its session-log line, and
//   the process exits with 128 + the signal. A further signal while winding
//   down changes nothing.
//
//   SIGPIPE is ignored, so a closed standard output (`monitor | head -3`)
//   cannot kill the process with the port half set up. A write to standard
//   output that fails (PrintOut, FlushOut) is a stop request of its own; the
//   process then exits with kExitFile, standard output being the file that
//   could not be written.
//
// Threads: installed once on the main thread; the flags are lock-free atomics
// that any thread may read. Output goes through the main thread.
#pragma once

#include <cstdarg>

void InstallInterruptHandler();
// A stop was asked for: a signal, or standard output failed.
bool Interrupted();
// The signal that asked for the stop, 0 when none did.
int StopSignal();
// Standard output could not be written.
bool OutputFailed();
// Flushes standard output; a failure is recorded as a stop request.
bool FlushOut();
// printf to standard output, then FlushOut.
bool PrintOut(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The exit code for a stopped command: 128 + the signal, or kExitFile when
// standard output failed; fallback when nothing asked for a stop.
int StopExitCode(int fallback);
// Says on standard error why standard output failed (once).
void ExplainOutputFailure();
