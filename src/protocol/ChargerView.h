// Charger view: what the Read and Upgrade commands show, and where.
//
// Principles of operation
//   Identification, the block upload and the upgrade sequence write their
//   results through this seam: the version strings, the status line, the
//   progress bar, the visibility of the Read and Upgrade buttons and the
//   painting of the version panel. The window implements it with its version
//   panel and buttons; the command line with console output; tests with a
//   recorder. The commands are the same code in all three.
//
// Threads: called only on the thread that runs the command.
#pragma once

#include <string>

#include "protocol/UploadState.h"

class IChargerView {
public:
    virtual ~IChargerView() = default;

    virtual std::string& BootCode() = 0;
    virtual std::string& ChargerCode() = 0;
    virtual const std::string& UpgradeVersion() const = 0;

    virtual void ShowStatus(const std::string& text) = 0;
    // (0, total): show the bar with range 0..total; (p, total): move it to p;
    // (0, 0): hide it.
    virtual void SetProgress(int position, int total) = 0;
    virtual void PaintVersions() = 0;
    // A new identification starts: the charger's two versions are emptied.
    // A view that shows them on a surface also clears them there, so the
    // last charger's versions are not on show while the new one is read.
    virtual void ClearVersions() {
        BootCode().clear();
        ChargerCode().clear();
    }
    // The whole window is marked for repainting (end of identification).
    virtual void InvalidateWindow() = 0;
    // The window's own painting, run directly before the upload.
    virtual void PaintWindow() = 0;
    virtual void ShowUpgradeButton(bool show) = 0;
    virtual void ShowReadButton(bool show) = 0;

    // The upload has queued block `block` of `totalBlocks`; `resends` counts
    // the resends of the whole transfer so far. For the command line's
    // progress line; the window follows the progress bar instead.
    virtual void OnBlockSent(int /*block*/, int /*totalBlocks*/, int /*resends*/) {}
    // The upload ended in `state` (Done, Failed, Cancelled or Disconnected).
    virtual void OnUploadEnded(UploadState /*state*/) {}
    // The user asked the running command to stop (the command line's Ctrl-C;
    // the window never does). Commands look between their waits and wind
    // down: the upload tells the boot loader with CAN twice and ends as
    // Cancelled, identification stops listening and shows no verdict, and the
    // upgrade skips what is left. Every path still closes the port.
    virtual bool CancelRequested() { return false; }
};
