// Path watch: chargers appearing and disappearing at paths that match a
// pattern, for a bench that serves each new charger as it is plugged in.
//
// Principles of operation
//   A pattern is a path whose last part may hold glob wildcards
//   (/dev/serial/by-id/usb-FTDI_*, /tmp/bench/charger-*). A watch reports
//   the matching paths there at its start (Present) and then every path
//   that appears or goes away. It never polls: Fd() becomes readable when
//   something happened, and Drain() then says what.
//
// Threads: one owner thread.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct PathChange {
    std::string path;
    bool appeared = false;  // false: gone
};

class IPathWatch {
public:
    virtual ~IPathWatch() = default;
    // Readable when Drain has something to say; -1 when the watch failed.
    virtual int Fd() const = 0;
    // The matching paths now (sorted).
    virtual std::vector<std::string> Present() const = 0;
    // What appeared and went away since the last call, in order.
    virtual std::vector<PathChange> Drain() = 0;
};

}  // namespace bench
