// Service record: what was done to one charger, as one JSON line.
//
// Principles of operation
//   Every Read and Upgrade outcome, from the window, the command line and
//   the bench, becomes one ServiceRecord, written by CRecordJournal. The
//   line keeps one field order, which readers of the journal rely on:
//     time host tool port device byId deviceId bootCode before after
//     image{label size crc path} blocks resends seconds outcome reason
//     identification [simulated]
//   time is UTC ("2026-12-07T20:12:40Z"); tool is "window", "cli" or
//   "bench"; outcome is "upgraded", "current", "read" or "failed", and
//   reason is empty unless it failed (a record read back keeps its own
//   outcome text and reason, or none). "simulated": true is written only
//   for runs against the built-in simulated chargers. Numbers are written
//   in the C locale.
//
// Threads: value types and pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <cstddef>
#include <cstdint>

#include "protocol/FirmwareImage.h"

namespace records {

enum class Outcome {
    Upgraded,  // the upgrade's own check found the image's version
    Current,   // already held the image's version; nothing was sent
    Read,      // read-only: the charger answered
    Failed,    // see the reason
};

// "upgraded", "current", "read", "failed".
const char* OutcomeName(Outcome outcome);

// The image an upgrade sends, named in every record.
struct ImageInfo {
    std::string label;
    std::string path;  // empty for the carried image
    std::size_t size = 0;
    std::uint16_t crc = 0;  // the code CRC stored in its header
};

struct ServiceRecord {
    std::string time;  // UTC, ISO 8601; the journal stamps it when empty
    std::string host;  // the journal fills it in when empty
    std::string tool;  // "window", "cli" or "bench"
    std::string port;
    std::string device;
    std::string byId;
    std::string deviceId;
    std::string bootCode;
    std::string before;
    std::string after;
    ImageInfo image;
    // As wide as history reads them, so a record written back keeps its counts.
    long long blocks = 0;
    long long resends = 0;
    double seconds = 0;
    Outcome outcome = Outcome::Failed;
    std::string reason;
    // Set only for a record read back and written again (history --json),
    // which says what its journal said: this outcome text in place of
    // `outcome`, kept even when Outcome has no name for it, none at all
    // when the journal had none, and the reason as read.
    std::optional<std::string> outcomeAsRead;
    bool readBack = false;
    std::vector<std::string> identification;
    bool simulated = false;
};

std::string ServiceRecordLine(const ServiceRecord& record);

// What a record says about an image.
ImageInfo ImageInfoOf(const CFirmwareImage& image);

// "2026-12-07T20:12:40Z" for now.
std::string UtcNow();
// This machine's name, "" when it has none.
std::string HostName();

}  // namespace records
