// Service record: what was done to one charger, as one JSON line.
//
// Principles of operation
//   Every Read and Upgrade outcome, from the window, the command line and
//   the bench, becomes one ServiceRecord, written by CRecordJournal. The
//   line keeps one field order, which readers of the journal rely on:
//     time host tool port device byId deviceId bootCode before after
//     image{label size crc path} blocks resends seconds outcome reason
//     identification [simulated] [slot]
//   time is UTC ("2026-12-07T20:12:40Z"); tool is "window", "cli" or
//   "bench"; outcome is "upgraded", "current", "read" or "failed", and
//   reason is empty unless it failed. "simulated": true is written only for
//   runs against the built-in simulated chargers, "slot" only for a bench
//   slot with a label (bench/SlotNames.h): it came last, so the fields
//   before it stand where they always stood, and a line without it has no
//   slot. Numbers are written in the C locale.
//
//   History reads the journals back into the same type (RecordParser), and
//   history --json writes a record read back with the same writer, so a
//   line comes out as it went in. The fields hold what a line says as it
//   says it: the image's CRC is its text, sizes and counts are as wide as
//   the reader takes them. A record read back is marked `readBack`: its
//   outcome is then `outcomeText`, as the line had it, also one Outcome has
//   no name for ("exploded"), and none at all when the line had none; its
//   reason is kept whatever the outcome. The reader normalizes only the
//   time, to UTC in the form above, and adds `when`, the same moment in
//   seconds since the epoch, by which history sorts and filters.
//
// Threads: value types and pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    long long size = 0;
    std::string crc;  // the code CRC stored in its header: four hex digits ("20C5")

    bool operator==(const ImageInfo&) const = default;
};

// A field added here is read back by RecordMembers.cpp too, which empties
// each field itself to keep its buffer (ResetReadBack).
struct ServiceRecord {
    std::string time;  // UTC, ISO 8601; the journal stamps it when empty
    std::string host;  // the journal fills it in when empty
    std::string tool;  // "window", "cli" or "bench"; empty when an old journal did not say
    std::string port;
    std::string device;
    std::string byId;
    std::string slot;  // the bench slot's label, "" when none (written last)
    std::string deviceId;
    std::string bootCode;
    std::string before;
    std::string after;
    ImageInfo image;
    long long blocks = 0;
    long long resends = 0;
    double seconds = 0;
    Outcome outcome = Outcome::Failed;
    std::string reason;
    std::vector<std::string> identification;
    bool simulated = false;

    // Filled by the reader (RecordParser) only.
    bool readBack = false;
    // The outcome as the line had it, in place of `outcome`; none (with
    // readBack) when the line had none.
    std::optional<std::string> outcomeText;
    std::int64_t when = 0;  // `time` in seconds since the epoch

    bool operator==(const ServiceRecord&) const = default;
};

std::string ServiceRecordLine(const ServiceRecord& record);

// The outcome as its line says it: outcomeText when set, "" for a record
// read back without one, else the name of `outcome`.
std::string_view OutcomeText(const ServiceRecord& record);

// What a record says about an image.
ImageInfo ImageInfoOf(const CFirmwareImage& image);

// "2026-12-07T20:12:40Z" for now.
std::string UtcNow();
// "2.09 > 2.10e" when the upgrade changed the version, else the one found.
std::string VersionsText(const ServiceRecord& record);
// This machine's name, "" when it has none.
std::string HostName();

}  // namespace records
