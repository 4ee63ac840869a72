#include "sim/Transmitter.h"

#include "sim/ControlBytes.h"

namespace sim {

namespace {
std::int64_t Micros(std::int64_t ms) {
    return ms * 1000;
}
}  // namespace

CTransmitter::CTransmitter(const SimOptions& options, CFaultPlan& faults, SimLog& log)
    : m_faults(faults),
      m_log(log),
      m_schedule(options.paceOutput, options.byteTimeUs),
      m_silent(options.neverSpeak) {}

void CTransmitter::Byte(std::uint8_t byte, std::int64_t atMs) {
    if (m_silent) {
        return;
    }
    Count(byte);
    m_schedule.Add(Micros(atMs), m_faults.Noise() + static_cast<char>(byte));
}

void CTransmitter::Line(const std::string& text, std::int64_t atMs) {
    if (m_silent) {
        return;
    }
    m_schedule.Add(Micros(atMs), m_faults.Noise());
    std::int64_t at = atMs;
    for (std::string& piece : m_faults.Pieces(text + "\r\n")) {
        m_schedule.Add(Micros(at), std::move(piece));
        at += m_faults.PieceGapMs();
    }
}

void CTransmitter::FallSilent() {
    // What is queued already (the last ACK) still leaves.
    m_silent = true;
}

void CTransmitter::Count(std::uint8_t byte) {
    switch (byte) {
        case bytes::kAck:
            ++m_log.ackSent;
            break;
        case bytes::kNak:
            ++m_log.nakSent;
            break;
        case bytes::kCan:
            ++m_log.canSent;
            break;
        case bytes::kStart:
            ++m_log.startSent;
            break;
        default:
            break;
    }
}

}  // namespace sim
