// Image writer: puts the carried image into a file without ever leaving a
// half-written one.
//
// Principles of operation
//   WriteFileReplacing writes the bytes to a fresh file beside the target,
//   flushes it to disk and renames it over the target. Until the rename the
//   old file, if any, is untouched; on any failure the fresh file is removed
//   and the platform's last error holds the errno of the failing call. A new
//   file gets the usual permissions (umask applies); a replaced file keeps its
//   own; a symbolic link is followed and its target replaced.
//
//   Only a regular file is replaced. A target that exists and is anything
//   else (a device, a FIFO, a socket, or a link to one) is written in place
//   and never renamed over: /dev/stdout and a pipe get the bytes, /dev/full
//   fails with ENOSPC, and the device node stays what it was. Opening such a
//   target never waits: a FIFO that nobody reads fails at once with ENXIO. A
//   reader that goes away mid-write is EPIPE, not a signal.
//   ExportImageTo writes the 12810 bytes of the carried image this way.
//
// Threads: plain functions; the caller's thread only.
#pragma once

#include <cstdint>
#include <span>
#include <string>

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes);
bool ExportImageTo(const std::string& path);

// "<version>.bin", the name the export proposes.
std::string DefaultImageFileName();
