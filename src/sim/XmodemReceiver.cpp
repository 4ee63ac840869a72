#include "sim/XmodemReceiver.h"

#include "sim/ControlBytes.h"
#include "support/Crc16.h"

namespace sim {

namespace {
constexpr std::size_t kFrameSize = CXmodemReceiver::kBlockSize + 4;
}

CXmodemReceiver::CXmodemReceiver(std::size_t maxBlocks, int gapMs, int transferTimeoutMs)
    : m_maxBlocks(maxBlocks), m_gapMs(gapMs), m_transferTimeoutMs(transferTimeoutMs) {}

void CXmodemReceiver::Reset() {
    m_started = false;
    m_accepted = 0;
    m_timeouts = 0;
    m_data.clear();
    m_frameLength = 0;
    m_inFrame = false;
}

RxStep CXmodemReceiver::Feed(std::uint8_t byte, std::int64_t nowMs) {
    m_lastByteMs = nowMs;
    if (!m_inFrame) {
        return ByteBetweenBlocks(byte);
    }
    m_frame[m_frameLength++] = byte;
    if (m_frameLength < kFrameSize) {
        return {};
    }
    m_inFrame = false;
    m_frameLength = 0;
    return JudgeFrame();
}

RxStep CXmodemReceiver::ByteBetweenBlocks(std::uint8_t byte) {
    RxStep step;
    switch (byte) {
        case bytes::kSoh:
            m_started = true;
            m_inFrame = true;
            m_frameLength = 0;
            m_timeouts = 0;
            return step;
        case bytes::kEot:
            step.kind = RxStep::Kind::Eot;
            step.reply = bytes::kAck;
            return step;
        case bytes::kCan:
            step.kind = RxStep::Kind::Cancel;
            return step;
        default:
            step.kind = RxStep::Kind::Text;
            return step;
    }
}

RxStep CXmodemReceiver::Poll(std::int64_t nowMs) {
    const std::int64_t due = Deadline();
    if (due < 0 || nowMs < due) {
        return {};
    }
    m_lastByteMs = nowMs;
    if (m_inFrame) {
        m_inFrame = false;
        RxStep step = Verdict(BlockVerdict::CutShort, bytes::kNak, 0);
        step.lineNumber = m_frameLength > 0 ? m_frame[0] : 0;
        m_frameLength = 0;
        return step;
    }
    RxStep step;
    if (++m_timeouts >= kMaxTimeouts) {
        step.kind = RxStep::Kind::GaveUp;
        step.reply = bytes::kCan;
        Reset();
        return step;
    }
    step.kind = RxStep::Kind::Timeout;
    step.reply = bytes::kNak;
    return step;
}

std::int64_t CXmodemReceiver::Deadline() const {
    if (m_inFrame) {
        return m_lastByteMs + m_gapMs;
    }
    if (m_started && m_transferTimeoutMs > 0) {
        return m_lastByteMs + m_transferTimeoutMs;
    }
    return -1;
}

RxStep CXmodemReceiver::JudgeFrame() {
    const std::uint8_t number = m_frame[0];
    const std::uint8_t* data = m_frame + 2;
    if (static_cast<std::uint8_t>(number + m_frame[1]) != 0xFF) {
        return Verdict(BlockVerdict::WrongComplement, bytes::kNak, 0);
    }
    const std::uint16_t crc = Crc16Xmodem(data, kBlockSize);
    const auto sent =
        static_cast<std::uint16_t>(m_frame[kBlockSize + 2] << 8 | m_frame[kBlockSize + 3]);
    const auto expected = static_cast<std::uint8_t>(m_accepted + 1);
    const int count = number == expected ? m_accepted + 1 : 0;
    if (crc != sent) {
        return Verdict(BlockVerdict::BadCrc, bytes::kNak, count);
    }
    if (number == expected) {
        if (static_cast<std::size_t>(m_accepted) >= m_maxBlocks) {
            return Verdict(BlockVerdict::TooLarge, bytes::kCan, count);
        }
        m_data.insert(m_data.end(), data, data + kBlockSize);
        ++m_accepted;
        return Verdict(BlockVerdict::Accepted, bytes::kAck, m_accepted);
    }
    if (m_accepted > 0 && number == static_cast<std::uint8_t>(m_accepted)) {
        return Verdict(BlockVerdict::Repeat, bytes::kAck, m_accepted);
    }
    return Verdict(BlockVerdict::WrongNumber, bytes::kNak, 0);
}

RxStep CXmodemReceiver::Verdict(BlockVerdict verdict, std::uint8_t reply, int number) const {
    RxStep step;
    step.kind = RxStep::Kind::Block;
    step.verdict = verdict;
    step.reply = reply;
    step.number = number;
    step.lineNumber = m_frame[0];
    return step;
}

void CXmodemReceiver::Retract() {
    if (m_accepted == 0) {
        return;
    }
    --m_accepted;
    m_data.resize(m_data.size() - kBlockSize);
}

}  // namespace sim
