// Upgrade sequence: the Upgrade command.
//
// Principles of operation
//   RunUpgrade opens the port, hands the charger to its boot loader with
//   "/0842\r" unless the boot loader's "C" is already waiting, sends the
//   image with the block upload (the carried one unless the caller gives
//   another), reads the versions again and reports "Upgrade Successful" only
//   when the charger now reports the image's label. The port is closed on
//   return, so the image's blocks are no longer borrowed once it returns.
//
//   A stop request (the command line's Ctrl-C, SIGTERM, SIGHUP) is looked at
//   after the pause that follows the opening: a stop there sends nothing at
//   all, so the charger is left exactly as it was found. A stop during the
//   upload cancels it with CAN twice, which are given time to leave the port
//   before it closes. A stop during the version check after the upload gives
//   no verdict: neither "Upgrade Process Failed" nor its box. A device that
//   goes away during the upload (a pulled USB adapter) fails it at once,
//   with a box that names the block, and skips the version check; a stop
//   that came with it does not make it a finished upload. The result says
//   where the sequence ended, for the command line's words and exit code;
//   the window, which never stops a command, does not need it.
//
// Threads: runs on the caller's thread; see Identification.h.
#pragma once

#include "platform/Clock.h"
#include "protocol/ChargerView.h"
#include "protocol/FirmwareImage.h"
#include "serial/SerialPort.h"

enum class UpgradeEnd {
    PortNotOpened,
    StoppedBeforeHandOver,  // nothing was sent to the charger
    StoppedDuringUpload,    // the upload was cancelled with CAN twice
    StoppedDuringCheck,     // the upload ended; the version check was cut short
    Failed,                 // "Upgrade Process Failed"
    Succeeded,              // "Upgrade Successful"
};

UpgradeEnd RunUpgrade(CSerialPort& port, IChargerView& view, platform::IClock& clock,
                      const CFirmwareImage& image = CFirmwareImage::Carried());
