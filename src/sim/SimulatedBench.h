// Simulated bench: corvane-sim --chargers N, several chargers at once.
//
// Principles of operation
//   Each charger is a CSimulatedCharger on its own pseudo-terminal, with the
//   common options and its own --fault options. With a --link pattern each
//   gets the link the pattern names for it (%d: its number from 1). With
//   --plug-every SECONDS the chargers are unplugged (link removed, line hung
//   up) after SECONDS and a fresh charger with the same options is plugged
//   in (a new pseudo-terminal, the link made again) SECONDS later, again and
//   again, as on a bench where chargers come and go.
//
//   Standard output says "PTY <device> <link>" for every charger plugged in
//   (the link is there once the line is), and "GONE <device> <link>" for
//   every one unplugged.
//
// Threads: the main thread runs the bench; every charger has its own thread.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "sim/DeviceLink.h"
#include "sim/SimArguments.h"
#include "sim/SimulatedCharger.h"

namespace sim {

class CSignalWatch;

class CSimulatedBench {
public:
    CSimulatedBench(const SimArguments& args, std::ostream& out);

    // Plugs every charger in; false with the reason in error.
    bool Start(std::string& error);
    // Until a stop signal (or --run-seconds): the chargers, plugged in and
    // out as asked. Returns with every charger unplugged.
    void Run(CSignalWatch& signals);
    // Every charger's log, as a JSON array.
    std::string LogJson() const;

private:
    struct Seat {
        SimOptions options;
        std::string linkPath;
        std::unique_ptr<CSimulatedCharger> charger;
        std::unique_ptr<CDeviceLink> link;
        std::vector<std::string> logs;  // of chargers unplugged from here
    };

    bool Plug(Seat& seat, std::string& error);
    void Unplug(Seat& seat);

    const SimArguments& m_args;
    std::ostream& m_out;
    std::vector<Seat> m_seats;
};

}  // namespace sim
