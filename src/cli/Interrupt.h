// Interrupt: Ctrl-C as a flag the running command looks at.
//
// Principles of operation
//   The signal handler only sets a flag (the one thing that is safe there).
//   Commands poll it between their sleeps and wind down in their own time:
//   an upload sends CAN twice, every command closes its port, and the process
//   exits with kExitInterrupted. A second Ctrl-C while winding down is ignored.
//
// Threads: installed once on the main thread; the flag is lock-free.
#pragma once

void InstallInterruptHandler();
bool Interrupted();
