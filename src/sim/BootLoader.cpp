#include "sim/BootLoader.h"

#include <algorithm>

#include "sim/ControlBytes.h"
#include "sim/ImageCheck.h"

namespace sim {

CBootLoader::CBootLoader(const SimOptions& options, CTransmitter& out, CFaultPlan& faults,
                         SimLog& log)
    : m_options(options),
      m_out(out),
      m_faults(faults),
      m_log(log),
      m_receiver(kMaxBlocks, options.blockGapMs, options.transferTimeoutMs) {}

void CBootLoader::Start(std::int64_t nowMs) {
    m_receiver.Reset();
    m_parser.Clear();
    m_nextStartMs = nowMs + m_options.replyDelayMs;
}

BootOutcome CBootLoader::OnByte(std::uint8_t byte, std::int64_t nowMs) {
    // A block cut short by a gap is judged before the byte that ends the gap.
    BootOutcome outcome = OnTime(nowMs);
    if (outcome.kind != BootOutcome::Kind::None) {
        return outcome;
    }
    const RxStep step = m_receiver.Feed(byte, nowMs);
    if (step.kind == RxStep::Kind::Text) {
        OnText(byte, nowMs);
        return {};
    }
    return OnStep(step, nowMs);
}

BootOutcome CBootLoader::OnTime(std::int64_t nowMs) {
    if (!m_receiver.Started()) {
        const std::int64_t interval = std::max(1, m_options.startIntervalMs);
        if (m_nextStartMs <= nowMs) {
            m_out.Byte(bytes::kStart, nowMs);
            m_nextStartMs = nowMs + interval;
        }
    }
    return OnStep(m_receiver.Poll(nowMs), nowMs);
}

std::int64_t CBootLoader::Deadline() const {
    const std::int64_t receiver = m_receiver.Deadline();
    if (m_receiver.Started()) {
        return receiver;
    }
    return receiver < 0 ? m_nextStartMs : std::min(receiver, m_nextStartMs);
}

const std::vector<std::uint8_t>& CBootLoader::ReceivedImage() const {
    return m_receiver.Started() ? m_receiver.Data() : m_lastImage;
}

BootOutcome CBootLoader::OnStep(const RxStep& step, std::int64_t nowMs) {
    switch (step.kind) {
        case RxStep::Kind::None:
        case RxStep::Kind::Text:
            return {};
        case RxStep::Kind::Block:
            return OnBlock(step, nowMs);
        case RxStep::Kind::Eot:
            return OnEot(nowMs);
        case RxStep::Kind::Cancel:
            EndTransfer(nowMs);
            return {};
        case RxStep::Kind::Timeout:
            Reply(step.reply, nowMs);
            return {};
        case RxStep::Kind::GaveUp:
            return Cancel(nowMs);
    }
    return {};
}

BootOutcome CBootLoader::OnBlock(const RxStep& step, std::int64_t nowMs) {
    BlockRecord record;
    record.atMs = nowMs;
    record.number = step.number;
    record.lineNumber = step.lineNumber;
    record.verdict = step.verdict;
    record.reply = step.reply;
    const BlockFault fault = m_faults.OnBlockArrival(step.number, step.reply == bytes::kAck);
    record.faultInjected = fault != BlockFault::None;
    if (fault == BlockFault::Nak || fault == BlockFault::Cancel) {
        record.reply = fault == BlockFault::Nak ? bytes::kNak : bytes::kCan;
        if (step.verdict == BlockVerdict::Accepted) {
            m_receiver.Retract();
        }
    } else if (fault == BlockFault::HangUp) {
        record.reply = 0;
    }
    m_log.blocks.push_back(record);

    if (fault == BlockFault::HangUp) {
        return {BootOutcome::Kind::HangUp, {}};
    }
    if (record.reply == bytes::kCan) {
        return Cancel(nowMs);
    }
    Reply(record.reply, nowMs);
    if (fault == BlockFault::FallSilent) {
        m_out.FallSilent();
    }
    return {};
}

BootOutcome CBootLoader::OnEot(std::int64_t nowMs) {
    ++m_log.eotReceived;
    Reply(bytes::kAck, nowMs);
    const ImageVerdict verdict = CheckImage(m_receiver.Data());
    ++m_log.imagesChecked;
    m_log.finalImageSound = verdict.sound;
    EndTransfer(nowMs);
    if (!verdict.sound) {
        return {};
    }
    m_log.installedVersion = verdict.version;
    return {BootOutcome::Kind::Installed, verdict.version};
}

BootOutcome CBootLoader::Cancel(std::int64_t nowMs) {
    // Two CANs, as XMODEM senders need to be sure.
    m_out.Byte(bytes::kCan, nowMs);
    m_out.Byte(bytes::kCan, nowMs);
    EndTransfer(nowMs);
    if (m_options.resumeFirmwareAfterCancel) {
        return {BootOutcome::Kind::ResumeFirmware, {}};
    }
    return {};
}

void CBootLoader::EndTransfer(std::int64_t nowMs) {
    m_lastImage = m_receiver.Data();
    m_receiver.Reset();
    m_nextStartMs = nowMs + std::max(1, m_options.startIntervalMs);
}

void CBootLoader::OnText(std::uint8_t byte, std::int64_t nowMs) {
    if (const auto command = m_parser.Feed(byte)) {
        m_log.commands.push_back({nowMs, *command, ChargerMode::BootLoader});
        Reply(bytes::kNak, nowMs);
    }
}

void CBootLoader::Reply(std::uint8_t reply, std::int64_t nowMs) {
    if (reply == 0) {
        return;
    }
    const int delay = reply == bytes::kAck ? m_options.ackDelayMs : 0;
    m_out.Byte(reply, nowMs + delay);
}

}  // namespace sim
