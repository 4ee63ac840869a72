// Bench types: what a bench run is asked to do and what it tells about it.
//
// Principles of operation
//   A bench serves several chargers at once, one slot per port. These plain
//   records cross the bench's public seam: the options a bench starts with,
//   the picture of one slot at a moment (SlotInfo), the result of one
//   charger's job (RunResult) and the events a front end is told about
//   (BenchEvent). They hold copies, so an observer may keep them.
//
// Threads: value types; no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/SlotNames.h"
#include "platform/Clock.h"
#include "protocol/FirmwareImage.h"
#include "records/ServiceRecord.h"

namespace bench {

// A job ends in one of the outcomes its record names.
using records::ImageInfo;
using records::Outcome;
using records::OutcomeName;

// What a slot's job does with the charger it finds.
enum class Mode {
    IfNeeded,  // read; upgrade when the firmware differs or is missing
    Force,     // read; upgrade even a charger that is already current
    ReadOnly,  // read only
};

enum class SlotState {
    Empty,      // nothing plugged in (or it went away)
    Waiting,    // plugged in, its job not started yet
    Reading,    // reading the versions
    Upgrading,  // handing over and uploading
    Checking,   // reading the versions again after the upload
    Finished,   // the job ended; the result says how
};

// "empty", "waiting", "reading", "upgrading", "checking", "finished".
const char* SlotStateName(SlotState state);

// The end of one charger's job.
struct RunResult {
    Outcome outcome = Outcome::Failed;
    // Why it failed, in words a technician can act on; empty otherwise.
    std::string reason;
    bool portOpened = false;
    bool stopped = false;  // a stop request ended it
    std::string bootCode;
    std::string before;  // charger-code version found first ("" when none)
    // Charger-code version at the end: "" after an upload that did not
    // complete, unless the check after it read the version.
    std::string after;
    std::string deviceId;   // from the charger's "deviceid" reply line, "" when none
    bool answered = false;  // the charger sent at least one byte
    // The text lines the charger sent while it was read first.
    std::vector<std::string> identification;
    // Every message the run's commands showed, in order.
    std::vector<std::string> messages;
    int blocks = 0;  // highest block sent
    int resends = 0;
    double seconds = 0;
    ImageInfo image;
};

// One slot as it stands.
struct SlotInfo {
    int slot = 0;          // from 0, in the order slots were made
    std::string port;      // the path the slot serves, as given or as matched
    std::string device;    // what it resolves to (/dev/ttyUSB0, /dev/pts/4)
    std::string byIdName;  // its /dev/serial/by-id name, empty when none
    // The slots file's label of the USB port the device sits in, empty when
    // none: front ends then show the port.
    std::string label;
    std::string deviceId;  // from the charger's "deviceid" reply line, "" when none
    SlotState state = SlotState::Empty;
    std::string status;  // the last status text of its job
    std::string bootCode;
    std::string before;
    std::string after;
    int block = 0;  // last block sent, 0 outside the upload
    int totalBlocks = 0;
    int resends = 0;
    double seconds = 0;               // since its job started
    std::optional<RunResult> result;  // once Finished
};

enum class EventKind {
    Appeared,  // a charger's port is there; its job starts next
    Started,   // its job started
    Status,    // its job showed a new status text or changed state
    Progress,  // a block was sent (every block; front ends thin it out)
    Finished,  // its job ended; slot.result holds the result
    Gone,      // the port went away; the slot is empty again
    // A finished job's record could not be written; problem says why. The
    // job's result stands.
    RecordFailed,
};

// "appeared", "started", "status", "progress", "finished", "gone",
// "record-failed".
const char* EventName(EventKind kind);

struct BenchEvent {
    EventKind kind = EventKind::Status;
    SlotInfo slot;
    std::string problem;  // RecordFailed: why the record was not written
};

class IBenchObserver;
class IResultRecorder;

struct BenchOptions {
    Mode mode = Mode::IfNeeded;
    // The image every job sends; null: the carried image.
    std::shared_ptr<const CFirmwareImage> image;
    // A clock for each run; null: the steady clock. Tests give virtual time.
    std::function<std::unique_ptr<platform::IClock>()> makeClock;
    // Why a device could not be opened, in words; null: the port's own box.
    std::function<std::string(const std::string& device)> explainOpenFailure;
    // The /dev/serial/by-id name of a device, "" when none; null: looked up.
    std::function<std::string(const std::string& device)> byIdName;
    // The labels of the bench's places; empty: slots are shown by their port.
    CSlotMap slotMap;
    // Where the devices' by-path links are looked for; tests give their own.
    std::string byPathFolder = kByPathFolder;
    // Asked between the jobs' waits besides the bench's own stop (the
    // command line's signals); null: never.
    std::function<bool()> stopRequested;
    // How long a run's port waits for its workers at Close.
    int portStopTimeoutMs = 10000;
    // Where each result is recorded besides the observer; may be null. Must
    // outlive the bench.
    IResultRecorder* recorder = nullptr;
};

}  // namespace bench
