// Version information: the product and file versions compiled into the
// executable, and the query the About box reads them with.
//
// Principles of operation
//   The build writes the utility's version label ("2.10e") into a small block
//   of "key NUL value NUL" pairs, ended by an empty key, kept in its own
//   section of the executable (readelf -p .corvane_version shows it). Keys are
//   paths as in a version resource: "\StringFileInfo\040904b0\ProductVersion"
//   and "...\FileVersion" hold the label, "\FixedFileInfo\..." the numeric
//   version. QueryVersionValue never reads past the block, whatever it holds.
//
// Threads: constant data and pure functions; any thread.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::string_view kProductVersionKey = "\\StringFileInfo\\040904b0\\ProductVersion";

// The version information of the running executable.
std::span<const char> ExecutableVersionInfo();

// The value stored under the key; none when the block does not hold it.
std::optional<std::string> QueryVersionValue(std::span<const char> block, std::string_view key);
