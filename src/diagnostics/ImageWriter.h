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
