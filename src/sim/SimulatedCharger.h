// Simulated charger: a charger on the far end of a pseudo-terminal.
//
// Principles of operation
//   The simulator opens a pseudo-terminal pair in raw mode and plays the
//   charger on the master side; the utility opens SlavePath() like any serial
//   device and talks to it with its own, unmodified serial code. The
//   simulator keeps a descriptor of the slave open itself, so the utility can
//   close and reopen the port at will.
//
//   The charger runs its firmware (identification, hand-over to the boot
//   loader, variable report) or its boot loader (the "C" prompt and the
//   XMODEM-CRC receiver). A sound upload becomes the new firmware, whose
//   version is the "VER:" tag inside the image. SimOptions chooses the
//   behaviour and the faults; Log() tells what happened.
//
// Threads and locks
//   Start() runs the charger on a thread of its own, which waits with poll on
//   the master descriptor and a wake-up event and never busy-loops. Every
//   public operation may be called from any thread; one lock guards the
//   charger's state and is never held across a wait. Stop() (and the
//   destructor) end the thread promptly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/Scenarios.h"
#include "sim/SimLog.h"
#include "sim/SimOptions.h"

namespace sim {

class CSimulatedCharger {
public:
    explicit CSimulatedCharger(SimOptions options = {});
    ~CSimulatedCharger();  // stops
    CSimulatedCharger(const CSimulatedCharger&) = delete;
    CSimulatedCharger& operator=(const CSimulatedCharger&) = delete;

    // Opens the pseudo-terminal pair and starts the thread; false on failure
    // (the reason is in ErrorText()).
    bool Start();
    // Ends the thread (it wakes at once) and closes the pair.
    void Stop();
    bool Running() const;

    // The device path for the utility, valid after a successful Start.
    const std::string& SlavePath() const;
    const std::string& ErrorText() const;

    SimLog Log() const;
    // The installed firmware's version ("" when there is none).
    std::string FirmwareVersion() const;
    // The data of the last upload's accepted blocks, in order (the last
    // block with the sender's filler).
    std::vector<std::uint8_t> ReceivedImage() const;
    bool InBootLoader() const;

    // Waits until done(log) holds or timeoutMs passes; true when it held.
    bool WaitUntil(const std::function<bool(const SimLog&)>& done, int timeoutMs) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sim
