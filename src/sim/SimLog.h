// Simulated charger log: what happened on the charger's side of the line.
//
// Principles of operation
//   The simulator appends to one SimLog as it works; callers take copies
//   (CSimulatedCharger::Log) and tests assert on them. ToJson renders the
//   record the executable writes with --log. Times are milliseconds since the
//   simulator started.
//
// Threads: a value type; the simulator guards its own copy with its lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class ChargerMode { Firmware, BootLoader };

// How the boot loader judged one block that arrived.
enum class BlockVerdict {
    Accepted,         // the next block, sound: stored and ACKed
    Repeat,           // the block just accepted, sent again: ACKed, not stored
    WrongNumber,      // neither the next block nor a repeat: NAKed
    WrongComplement,  // number and its complement disagree: NAKed
    BadCrc,           // XMODEM CRC does not match: NAKed
    CutShort,         // bytes stopped before the block was complete: NAKed
    TooLarge,         // beyond what the boot loader can hold: cancelled
};

const char* ModeName(ChargerMode mode);
const char* VerdictName(BlockVerdict verdict);
// "ACK", "NAK", "CAN" or "none" for a reply byte (0: none sent).
const char* ReplyName(std::uint8_t reply);

struct CommandRecord {
    std::int64_t atMs = 0;
    std::string text;  // without its carriage return
    ChargerMode mode = ChargerMode::Firmware;
};

struct BlockRecord {
    std::int64_t atMs = 0;
    int number = 0;               // transfer block count from 1; 0 when cut short before its number
    std::uint8_t lineNumber = 0;  // the number byte as received
    BlockVerdict verdict = BlockVerdict::Accepted;
    std::uint8_t reply = 0;      // ACK, NAK, CAN, or 0 when nothing was sent
    bool faultInjected = false;  // the reply was chosen by a fault, not by the verdict
};

struct ModeChange {
    std::int64_t atMs = 0;
    ChargerMode mode = ChargerMode::Firmware;
};

struct SimLog {
    std::vector<CommandRecord> commands;
    std::vector<BlockRecord> blocks;
    std::vector<ModeChange> modeChanges;
    int ackSent = 0;
    int nakSent = 0;
    int canSent = 0;
    int startSent = 0;  // "C" bytes
    int eotReceived = 0;
    int reportLines = 0;
    int imagesChecked = 0;
    bool finalImageSound = false;  // the verdict on the last image checked
    std::string installedVersion;  // firmware version after the last sound image
    bool hungUp = false;           // the simulator closed the line

    std::string ToJson() const;
};

}  // namespace sim
