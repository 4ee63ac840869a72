#include "sim/FaultPlan.h"

namespace sim {

CFaultPlan::CFaultPlan(const SimOptions& options) : m_options(options), m_noise(options.seed) {}

BlockFault CFaultPlan::OnBlockArrival(int number, bool wouldAck) {
    if (number <= 0) {
        return BlockFault::None;
    }
    const int arrival = ++m_arrivals[number];
    for (const BlockNakFault& fault : m_options.nakFirstArrivals) {
        if (fault.block == number && arrival <= fault.count && wouldAck) {
            return BlockFault::Nak;
        }
    }
    if (!wouldAck) {
        return BlockFault::None;
    }
    if (number == m_options.hangUpAfterBlock) {
        return BlockFault::HangUp;
    }
    if (number == m_options.cancelInsteadOfAckAtBlock) {
        return BlockFault::Cancel;
    }
    if (number == m_options.fallSilentAfterBlock) {
        return BlockFault::FallSilent;
    }
    return BlockFault::None;
}

std::string CFaultPlan::Noise() {
    std::string noise;
    for (int i = 0; i < m_options.garbageBetweenReplies; ++i) {
        noise += static_cast<char>(0x80 + m_noise() % 0x80);
    }
    return noise;
}

std::vector<std::string> CFaultPlan::Pieces(const std::string& line) const {
    const int chunk = m_options.splitReplyChunk;
    if (chunk <= 0) {
        return {line};
    }
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < line.size(); at += static_cast<std::size_t>(chunk)) {
        pieces.push_back(line.substr(at, static_cast<std::size_t>(chunk)));
    }
    return pieces;
}

}  // namespace sim
