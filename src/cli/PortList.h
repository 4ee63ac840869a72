// Port list: the serial devices of this machine and where COM1..COM4 point.
//
// Principles of operation
//   Lists /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* that have a driver
//   behind them (platform::ListSerialDevices), with the stable
//   /dev/serial/by-id names that point to each and a description from
//   sysfs where the kernel gives one. The COM names resolve through the
//   settings as in the window; MapPort stores such a mapping and UnmapPort
//   removes one. A mapping is only reported stored once it reads back as
//   written; a device path the store cannot hold as given (control
//   characters, text that is not UTF-8, longer than a value may be) is
//   refused before anything is written.
//
//   SlotsFileText writes a slots file (bench/SlotNames.h) for the adapters
//   plugged in now: one slot for each /dev/serial/by-path name, numbered in
//   the order of the hub's ports, after a header that says how to use it.
//
// Threads: plain functions on the command line's main thread.
#pragma once

#include <string>
#include <vector>

#include "bench/SlotNames.h"
#include "platform/SerialDevices.h"

// The listing itself lives with the platform's device discovery.
using platform::ListSerialDevices;
using platform::SerialDeviceInfo;

struct ComMapping {
    std::string name;     // COM1
    std::string device;   // what it resolves to
    bool stored = false;  // from the settings, not the default
};
std::vector<ComMapping> ComMappings();

enum class MapOutcome {
    Done,        // stored or removed, and read back
    Refused,     // malformed; nothing written
    StoreFailed  // the settings file could not be written; the message says why
};

// Parses "COM2=/dev/..." and stores it; the message says what happened.
MapOutcome MapPort(const std::string& assignment, std::string& message);
// Removes the mapping of "COM2", which then resolves to its default again.
MapOutcome UnmapPort(const std::string& name, std::string& message);

// For a COM name that is not one of COM1..COM4: which ones there are and
// where each points.
std::string UnknownPortNameMessage(const std::string& name);

// ports --by-path: "Slot 1 = <name>" for each link in the order given (the
// hub's, as ByPathLinks gives them), each under a comment naming its
// device now, after a header saying where to save it (userFile).
std::string SlotsFileText(const std::vector<bench::ByPathLink>& links, const std::string& userFile);
