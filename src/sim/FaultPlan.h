// Fault plan: the faults a simulated charger was asked to put on the line.
//
// Principles of operation
//   The boot loader asks the plan, for every block that arrives, whether a
//   fault replaces its reply: NAK for the first K arrivals of a block, CAN
//   instead of its ACK, silence after it, or a hang-up when it arrives. The
//   transmitter asks it for noise bytes to put before each reply and for the
//   pieces a reply line is cut into. Noise comes from a seeded generator, so
//   a run repeats exactly; its bytes lie in 0x80..0xFF, which no part of the
//   handshake or of a text line uses, so noise disturbs without deciding.
//
// Threads: used under the simulator's lock only.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "sim/SimOptions.h"

namespace sim {

enum class BlockFault { None, Nak, Cancel, FallSilent, HangUp };

class CFaultPlan {
public:
    explicit CFaultPlan(const SimOptions& options);

    // For one arrival of transfer block `number` (0: unknown) whose own
    // verdict would be answered with ACK when wouldAck is true.
    BlockFault OnBlockArrival(int number, bool wouldAck);
    // The noise to send before a reply (empty when the fault is off).
    std::string Noise();
    // A reply line (with its line end) cut into the pieces that are written
    // one after the other; one piece when the fault is off.
    std::vector<std::string> Pieces(const std::string& line) const;
    int PieceGapMs() const { return m_options.splitReplyGapMs; }

private:
    const SimOptions& m_options;
    std::map<int, int> m_arrivals;
    std::minstd_rand m_noise;
};

}  // namespace sim
