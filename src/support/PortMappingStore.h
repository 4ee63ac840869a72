// Port mapping store: writes where one of COM1 to COM4 points and makes sure
// the settings file on disk says so.
//
// Principles of operation
//   StorePortMapping writes the value (an empty path removes it), then reads
//   the file back with a fresh key and compares every mapping, not only the
//   one written: a store that gives back something else, or a rewrite that
//   loses a neighbour, is a failure. The port setup window and
//   "ports --map/--unmap" both store through here.
//
// Threads: one thread at a time (the user-interface thread, or the command
// line's main thread).
#pragma once

#include <string>

// Stores path for name (empty: removes the mapping). False with the reason,
// in the system's words where there are some, when it was not stored.
bool StorePortMapping(const std::string& name, const std::string& path, std::string& failure);
