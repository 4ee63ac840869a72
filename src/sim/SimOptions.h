// Simulated charger options: how the charger behaves and which faults it puts
// on the line.
//
// Principles of operation
//   One plain record, filled with the defaults of a healthy charger that holds
//   firmware 2.09 and boot code 1.3. Tests, the executable's command line and
//   the named scenarios (Scenarios.h) change single fields. Every fault is off
//   by default and is named after what it does, so a test that sets one reads
//   like the case it exercises. Block numbers count transfer blocks from 1 and
//   keep counting past 255 (the line number wraps, this count does not).
//
// Threads: a value type; the simulator copies it at construction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// NAK the first `count` arrivals of block `block`, however sound they are.
struct BlockNakFault {
    int block = 0;
    int count = 1;
};

// What is wrong with a faulty variable report line.
enum class ReportFault {
    None,
    FewerFields,     // 16 fields instead of 17
    AdjacentCommas,  // an empty field: two commas in a row
    NonHexField,     // text without hexadecimal digits in the gas-gauge field
};

struct SimOptions {
    // --- the charger itself ---
    std::string bootVersion = "1.3";
    // Empty: no firmware; the charger starts in its boot loader.
    std::string firmwareVersion = "2.09";
    std::string deviceId = "VC-4017-0032";
    // Time between a request and the start of its reply.
    int replyDelayMs = 20;
    // The boot loader's "C" while it waits for a transfer.
    int startIntervalMs = 1000;
    // Period of the variable report once "/011" started it.
    int reportPeriodMs = 500;
    // Output leaves at the pace of the line (38400 baud: about 260 us a byte);
    // off for fast tests.
    bool paceOutput = true;
    int byteTimeUs = 260;
    // A block whose bytes stop for this long is dropped and NAKed.
    int blockGapMs = 1000;
    // Silence inside a transfer after which the boot loader NAKs to prompt
    // the sender; after ten such NAKs it gives up and waits with "C" again.
    int transferTimeoutMs = 10000;
    // After a transfer that it cancelled itself, the boot loader restarts the
    // old firmware (when there is one) instead of waiting for another upload.
    bool resumeFirmwareAfterCancel = false;

    // --- faults in the upload ---
    std::vector<BlockNakFault> nakFirstArrivals;
    int cancelInsteadOfAckAtBlock = 0;  // 0: off; sends CAN CAN
    int fallSilentAfterBlock = 0;       // 0: off; ACKs that block, then never sends again
    int hangUpAfterBlock = 0;           // 0: off; closes the line when that block arrives
    int ackDelayMs = 0;                 // every ACK leaves this much later

    // --- faults in replies and reports ---
    bool neverSpeak = false;        // sends nothing at all, ever
    int garbageBetweenReplies = 0;  // this many noise bytes before each reply
    int splitReplyChunk = 0;        // 0: off; reply lines go out in chunks of this size
    int splitReplyGapMs = 0;        // ... with this gap between the chunks
    bool omitBootLine = false;
    bool omitVersionLine = false;
    bool lowerCaseVersionLine = false;  // "v2.09 ..." instead of "V2.09 ..."
    bool longLines = false;             // identification and report lines of 300 characters
    bool nakInsteadOfReplies = false;   // firmware answers each request with NAK
    ReportFault reportFault = ReportFault::None;
    int reportFaultEvery = 1;  // every n-th report line carries the fault

    // Seed of the noise generator, so a run can be repeated exactly.
    std::uint32_t seed = 1;
};

}  // namespace sim
