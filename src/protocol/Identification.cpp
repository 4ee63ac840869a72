#include "protocol/Identification.h"

#include <cstdint>

#include "platform/LastError.h"
#include "protocol/ReplyLine.h"
#include "serial/ErrorReport.h"

namespace {

// Sent as one block; a constant, so it outlives the writer's use of it.
constexpr char kIdentifyRequest[] = "\r/01-\r/00\r";
constexpr int kIdentifyRequestLength = sizeof kIdentifyRequest - 1;

constexpr int kBootLoaderStart = 'C';
constexpr int kMaxAttempts = 4;
constexpr std::uint32_t kStartPauseMs = 600;
constexpr std::uint32_t kListenWindowMs = 2000;
constexpr std::uint32_t kListenPollMs = 10;
// A boot loader heard twice counts as this many NAKs: no software.
constexpr int kNoSoftwareVerdict = 4;

constexpr char kNoVersionBox[] =
    "Unable to get Version Information\nPlease unplug the charger for 5 seconds\n"
    "then plug it back in and try again.";
constexpr char kAdapterGoneBox[] =
    "Unable to get Version Information\nThe adapter was disconnected.\n"
    "Plug it back in and try again.";
constexpr char kNoSoftwareBox[] =
    "No software detected in the charger\nPlease unplug the charger for 10 seconds\n"
    "then plug it back in and try again.";

struct Counts {
    int attempts = 0;    // attempts that ended without both versions
    int noSoftware = 0;  // NAKs heard, or the double-"C" verdict
};

// The error box shows only the charger message: a code left on this thread by
// an unrelated platform call would wrap it in a misleading system text.
void ReportChargerError(const char* text) {
    platform::SetLastError(0);
    ReportError(text);
}

// A boot loader without firmware announces itself with "C": heard after each
// of two pauses, no request is worth sending. Bytes taken here are consumed.
bool BootLoaderWaiting(CSerialPort& port, platform::IClock& clock) {
    clock.SleepMs(kStartPauseMs);
    if (port.ReadByte() != kBootLoaderStart) {
        return false;
    }
    clock.SleepMs(kStartPauseMs);
    return port.ReadByte() == kBootLoaderStart;
}

// Sends the request and listens for the whole window, even when both versions
// arrive early; bytes after the window stay for the next attempt to discard.
void Listen(CSerialPort& port, IChargerView& view, platform::IClock& clock, Counts& counts) {
    port.QueueRequest(WRITE_BLOCK, kIdentifyRequestLength, 0,
                      reinterpret_cast<const std::uint8_t*>(kIdentifyRequest));
    CReplyLine line;
    Deadline deadline(clock);
    deadline.Start(kListenWindowMs);
    while (!deadline.Expired() && !view.CancelRequested() && !port.IsLost()) {
        clock.SleepMs(kListenPollMs);
        for (int byte = port.ReadByte(); byte >= 0; byte = port.ReadByte()) {
            if (line.Handle(static_cast<std::uint8_t>(byte), view.BootCode(), view.ChargerCode())) {
                ++counts.noSoftware;
            }
        }
    }
}

void RunAttempts(CSerialPort& port, IChargerView& view, platform::IClock& clock, Counts& counts) {
    view.ShowStatus("Reading Version Information");
    for (;;) {
        port.ClearReceived();
        if (BootLoaderWaiting(port, clock)) {
            counts.noSoftware = kNoSoftwareVerdict;
            return;
        }
        if (view.CancelRequested()) {
            return;  // no request to a charger we are leaving
        }
        Listen(port, view, clock, counts);
        if (port.IsLost()) {
            return;  // a pulled adapter: no attempt can be answered
        }
        if (view.CancelRequested() || (!view.BootCode().empty() && !view.ChargerCode().empty())) {
            return;
        }
        // Versions are kept: a "Boot" line now and a "V" line later complete it.
        view.ShowStatus("Retrying Identification");
        if (++counts.attempts >= kMaxAttempts) {
            return;
        }
    }
}

void ShowOutcome(CSerialPort& port, IChargerView& view, const Counts& counts) {
    if (!port.IsOpen()) {
        view.ShowStatus("No Communications With Charger");
    } else if (view.CancelRequested()) {
        // Stopped by the user: no verdict on a charger that was cut short.
    } else if (port.IsLost()) {
        // Whatever was heard before, the read did not complete: no verdict
        // on half an answer, and no Upgrade offered on it.
        ReportChargerError(kAdapterGoneBox);
        view.ShowStatus("Unable to get Version Information");
    } else if (!view.BootCode().empty()) {
        view.ShowStatus("Read Version Complete");
        if (view.ChargerCode() != view.UpgradeVersion()) {
            view.ShowUpgradeButton(true);
        }
    } else if (counts.noSoftware < counts.attempts) {
        ReportChargerError(kNoVersionBox);
        view.ShowStatus("Unable to get Version Information");
    } else {
        view.ShowUpgradeButton(true);
        view.ShowStatus("No Software Detected");
        ReportChargerError(kNoSoftwareBox);
    }
}

}  // namespace

void ReadChargerVersions(CSerialPort& port, IChargerView& view, platform::IClock& clock) {
    view.ShowUpgradeButton(false);
    view.ClearVersions();
    if (!port.IsOpen()) {
        view.ShowStatus("Starting Communications");
        port.Open();  // shows its own box when it fails
    }
    Counts counts;
    if (port.IsOpen()) {
        RunAttempts(port, view, clock, counts);
    }
    ShowOutcome(port, view, counts);
    port.Close();
    view.PaintVersions();
    view.InvalidateWindow();
}
