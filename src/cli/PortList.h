// Port list: the serial devices of this machine and where COM1..COM4 point.
//
// Principles of operation
//   Lists /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* that have a driver
//   behind them (platform::ListSerialDevices), with the stable
//   /dev/serial/by-id names that point to each and a description from
//   sysfs where the kernel gives one. The COM names resolve through the
//   settings as in the window; MapPort stores such a mapping.
//
// Threads: plain functions on the command line's main thread.
#pragma once

#include <string>
#include <vector>

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

// Parses "COM2=/dev/..." and stores it; false with a message when malformed.
bool MapPort(const std::string& assignment, std::string& message);
