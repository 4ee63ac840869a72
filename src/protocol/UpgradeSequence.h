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
// Threads: runs on the caller's thread; see Identification.h.
#pragma once

#include "platform/Clock.h"
#include "protocol/ChargerView.h"
#include "protocol/FirmwareImage.h"
#include "serial/SerialPort.h"

void RunUpgrade(CSerialPort& port, IChargerView& view, platform::IClock& clock,
                const CFirmwareImage& image = CFirmwareImage::Carried());
