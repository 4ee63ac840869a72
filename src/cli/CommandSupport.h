// Command support: small pieces every charger command of corvane-cli shares.
//
// Principles of operation
//   The verdict word that --json prints beside each exit code, and the -v
//   trace that shows every byte crossing the line in hexadecimal on standard
//   error ("> " sent, "< " received).
//
// Threads: ExitVerdict anywhere; the trace hook runs on the port's workers
// and writes whole lines to standard error.
#pragma once

#include "serial/SerialPort.h"

// "ok", "port-not-opened", "no-communication", "file-error", "interrupted"
// (128 + a signal) or "failed".
const char* ExitVerdict(int code);

// Shows the bytes of the port's line on standard error from now on.
void InstallByteTrace(CSerialPort& port);
// The hook of InstallByteTrace, for a caller that listens to the bytes too.
CSerialPort::TraceHook ByteTrace();
