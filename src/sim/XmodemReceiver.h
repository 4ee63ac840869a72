// XMODEM receiver: the boot loader's half of the block upload, as a pure
// state machine.
//
// Principles of operation
//   The receiver is fed the received bytes one at a time with the time of
//   their arrival, and the passing of time through Poll; each call returns
//   an RxStep that says what happened and which reply byte (ACK, NAK, CAN or
//   none) the boot loader should send. It does no I/O and reads no clock, so
//   tests drive it in virtual time.
//
//   A block is SOH, number n, 255 - n, 128 data bytes and the XMODEM CRC-16
//   (high byte first). It is judged in this order: complement, CRC, number.
//   The next block in sequence is stored and ACKed; the block just accepted,
//   sent again because its ACK went astray, is ACKed and not stored twice;
//   anything else is NAKed. A block whose bytes stop for the gap time is
//   dropped and NAKed, and so is silence inside a transfer for the transfer
//   time-out, up to ten times before the receiver gives up with CAN. EOT is
//   ACKed and ends the transfer; the caller then checks the image.
//
//   Bytes outside a block that are not SOH, EOT or CAN are returned as Text
//   for the caller's own use. Retract undoes the last accepted block, for a
//   caller that decides to NAK a sound block after all (fault injection).
//
// Threads: used by the simulator's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/SimLog.h"

namespace sim {

struct RxStep {
    enum class Kind {
        None,     // nothing to report (a byte inside a block)
        Text,     // a byte outside any block, not a control byte
        Block,    // a block was judged: verdict, number, lineNumber
        Eot,      // the sender ended the transfer
        Cancel,   // the sender cancelled the transfer with CAN
        Timeout,  // silence inside a transfer: NAK to prompt the sender
        GaveUp,   // too many time-outs: the transfer is abandoned
    };
    Kind kind = Kind::None;
    std::uint8_t reply = 0;  // ACK, NAK, CAN, or 0: send nothing
    BlockVerdict verdict = BlockVerdict::Accepted;
    int number = 0;  // transfer block count from 1; 0 when unknown
    std::uint8_t lineNumber = 0;
};

class CXmodemReceiver {
public:
    static constexpr std::size_t kBlockSize = 128;
    static constexpr int kMaxTimeouts = 10;

    // maxBlocks: what the boot loader can hold; gapMs: inter-byte gap that
    // cuts a block short; transferTimeoutMs: silence that draws a NAK.
    CXmodemReceiver(std::size_t maxBlocks, int gapMs, int transferTimeoutMs);

    // Forgets everything, ready for a new transfer.
    void Reset();
    RxStep Feed(std::uint8_t byte, std::int64_t nowMs);
    // Call before Feed and whenever Deadline() has passed.
    RxStep Poll(std::int64_t nowMs);
    // When Poll next has something to do; -1 when it never will.
    std::int64_t Deadline() const;
    void Retract();

    // True once a block has begun to arrive in this transfer.
    bool Started() const { return m_started; }
    bool InBlock() const { return m_frameLength > 0; }
    int BlocksAccepted() const { return m_accepted; }
    const std::vector<std::uint8_t>& Data() const { return m_data; }

private:
    RxStep JudgeFrame();
    RxStep Verdict(BlockVerdict verdict, std::uint8_t reply, int number) const;
    RxStep ByteBetweenBlocks(std::uint8_t byte);

    std::size_t m_maxBlocks;
    int m_gapMs;
    int m_transferTimeoutMs;

    bool m_started = false;
    int m_accepted = 0;
    int m_timeouts = 0;
    std::int64_t m_lastByteMs = 0;
    std::vector<std::uint8_t> m_data;
    // number, complement, data, CRC high, CRC low: everything after SOH
    std::uint8_t m_frame[kBlockSize + 4] = {};
    std::size_t m_frameLength = 0;
    bool m_inFrame = false;
};

}  // namespace sim
