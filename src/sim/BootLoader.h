// Boot loader: the charger's upload receiver.
//
// Principles of operation
//   The boot loader runs when the charger holds no firmware and after the
//   firmware handed over with "/0842". While no transfer is under way it
//   sends "C" at the start interval and answers any request line with NAK.
//   The XMODEM receiver judges each block; the fault plan may replace the
//   reply (NAK a sound block, CAN instead of an ACK, fall silent, hang up).
//   On EOT it ACKs and checks the image: a sound one is installed and the
//   engine restarts the firmware; an unsound one leaves the boot loader
//   waiting for another upload. A transfer the boot loader cancelled itself
//   may restart the old firmware (resumeFirmwareAfterCancel).
//
// Threads: used under the simulator's lock only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/CommandParser.h"
#include "sim/FaultPlan.h"
#include "sim/SimLog.h"
#include "sim/SimOptions.h"
#include "sim/Transmitter.h"
#include "sim/XmodemReceiver.h"

namespace sim {

struct BootOutcome {
    enum class Kind {
        None,
        Installed,       // a sound image arrived: run it
        ResumeFirmware,  // a cancelled transfer: run the old firmware again
        HangUp,          // close the line
    };
    Kind kind = Kind::None;
    std::string version;  // of an installed image
};

class CBootLoader {
public:
    // The largest image the boot loader holds: a 65535-byte code and its header.
    static constexpr std::size_t kMaxBlocks = (128 + 65535 + 127) / 128;

    CBootLoader(const SimOptions& options, CTransmitter& out, CFaultPlan& faults, SimLog& log);

    // The boot loader starts running: the first "C" after the reply delay.
    void Start(std::int64_t nowMs);
    BootOutcome OnByte(std::uint8_t byte, std::int64_t nowMs);
    BootOutcome OnTime(std::int64_t nowMs);
    std::int64_t Deadline() const;

    // The accepted data of the transfer under way, or of the last one.
    const std::vector<std::uint8_t>& ReceivedImage() const;

private:
    BootOutcome OnStep(const RxStep& step, std::int64_t nowMs);
    BootOutcome OnBlock(const RxStep& step, std::int64_t nowMs);
    BootOutcome OnEot(std::int64_t nowMs);
    void OnText(std::uint8_t byte, std::int64_t nowMs);
    BootOutcome Cancel(std::int64_t nowMs);
    void EndTransfer(std::int64_t nowMs);
    void Reply(std::uint8_t reply, std::int64_t nowMs);

    const SimOptions& m_options;
    CTransmitter& m_out;
    CFaultPlan& m_faults;
    SimLog& m_log;
    CXmodemReceiver m_receiver;
    CCommandParser m_parser;
    std::vector<std::uint8_t> m_lastImage;
    std::int64_t m_nextStartMs = 0;
};

}  // namespace sim
