// Port list: the serial devices of this machine and where COM1..COM4 point.
//
// Principles of operation
//   Lists /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* that have a driver
//   behind them (most of those are placeholders of absent UARTs), with the
//   stable /dev/serial/by-id names that point to each and a description from
//   sysfs where the kernel gives one. The COM names resolve through the
//   settings as in the window; MapPort stores such a mapping.
//
// Threads: plain functions on the command line's main thread.
#pragma once

#include <string>
#include <vector>

struct SerialDeviceInfo {
    std::string path;                    // /dev/ttyUSB0
    std::vector<std::string> byIdNames;  // /dev/serial/by-id/...
    std::string description;             // e.g. "FT232R USB UART (FTDI)"
};

// sysRoot and devRoot are "/" in use; tests point them at a scratch tree.
std::vector<SerialDeviceInfo> ListSerialDevices(const std::string& sysRoot = "/sys",
                                                const std::string& devRoot = "/dev");

struct ComMapping {
    std::string name;     // COM1
    std::string device;   // what it resolves to
    bool stored = false;  // from the settings, not the default
};
std::vector<ComMapping> ComMappings();

// Parses "COM2=/dev/..." and stores it; false with a message when malformed.
bool MapPort(const std::string& assignment, std::string& message);
