#include "protocol/UpgradeSequence.h"

#include <cstdint>
#include <cstdio>

#include "platform/LastError.h"
#include "protocol/BlockUpload.h"
#include "protocol/Identification.h"
#include "protocol/SerialUploadPort.h"
#include "serial/ErrorReport.h"

namespace {

// Makes the charger's firmware hand over to its boot loader. A constant, so
// it outlives the writer's use of it.
constexpr char kBootLoaderCommand[] = "/0842\r";
constexpr int kBootLoaderCommandLength = sizeof kBootLoaderCommand - 1;
constexpr int kBootLoaderStart = 'C';
constexpr std::uint32_t kOpenPauseMs = 500;
// How long the two CANs of a cancelled upload may take to leave the port.
constexpr int kCancelDrainMs = 1000;

constexpr char kUpgradeFailedBox[] =
    "Upgrade Process Failed\nPlease unplug the charger for 10 seconds\n"
    "then plug it back in and try again.";

// A pulled adapter: the charger may still be waiting in its boot loader, so
// the way back is the adapter, then a new upgrade.
void ReportDisconnected(IChargerView& view, int block, int totalBlocks) {
    char where[64] = "before the first block";
    if (block > 0) {
        std::snprintf(where, sizeof where, "at block %d of %d", block, totalBlocks);
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "The adapter was disconnected %s.\nUpgrade Process Failed\n"
                  "Plug the adapter back in, then start the upgrade again.",
                  where);
    platform::SetLastError(0);
    ReportError(text);
    view.ShowStatus("Upgrade Process Failed");
}

// Upload, then identification on the still open port; the verdict rests on
// the charger-code version alone.
UpgradeEnd UpgradeOpenPort(CSerialPort& port, IChargerView& view, platform::IClock& clock,
                           const CFirmwareImage& image) {
    clock.SleepMs(kOpenPauseMs);
    if (view.CancelRequested()) {
        return UpgradeEnd::StoppedBeforeHandOver;  // the charger has heard nothing
    }
    // The ring is not emptied first: only identification does that.
    if (port.ReadByte() != kBootLoaderStart) {
        port.QueueRequest(WRITE_BLOCK, kBootLoaderCommandLength, 0,
                          reinterpret_cast<const std::uint8_t*>(kBootLoaderCommand));
    }
    view.ShowStatus("Upgrading");
    view.PaintWindow();  // drawn before the upload holds the thread
    CSerialUploadPort uploadPort(port);
    CBlockUpload blockUpload(uploadPort, view, clock, image);
    const UploadState upload = blockUpload.Run();
    if (upload == UploadState::Disconnected) {
        // Nobody is left to ask for versions: no retries, no time-outs. A stop
        // that came with it changes nothing: the upload did not finish.
        ReportDisconnected(view, blockUpload.BlockNumber(), blockUpload.TotalBlocks());
        return UpgradeEnd::Failed;
    }
    if (view.CancelRequested()) {
        port.WaitUntilWritten(kCancelDrainMs);  // the CANs, before Close drops them
        // Only an upload that ended with its EOT answered counts as finished.
        return upload == UploadState::Done ? UpgradeEnd::StoppedDuringCheck
                                           : UpgradeEnd::StoppedDuringUpload;
    }
    ReadChargerVersions(port, view, clock);
    if (view.CancelRequested()) {
        // Identification was cut short: the empty version it leaves says
        // nothing about the charger.
        return UpgradeEnd::StoppedDuringCheck;
    }
    // The image's label is what the panel shows as the upgrade version.
    if (view.ChargerCode() != image.Label()) {
        // Only the charger message: no unrelated code left on this thread.
        platform::SetLastError(0);
        ReportError(kUpgradeFailedBox);
        view.ShowStatus("Upgrade Process Failed");
        return UpgradeEnd::Failed;
    }
    view.ShowStatus("Upgrade Successful");
    return UpgradeEnd::Succeeded;
}

}  // namespace

UpgradeEnd RunUpgrade(CSerialPort& port, IChargerView& view, platform::IClock& clock,
                      const CFirmwareImage& image) {
    view.ShowReadButton(false);
    port.Open();  // shows its own box when it fails
    UpgradeEnd end = UpgradeEnd::PortNotOpened;
    if (port.IsOpen()) {
        end = UpgradeOpenPort(port, view, clock, image);
    } else {
        view.ShowStatus("Unable to Open Comm Port");
    }
    view.ShowReadButton(true);
    port.Close();  // closed already after identification; then a no-op
    return end;
}
