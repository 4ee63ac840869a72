// Serial devices: the serial ports this machine has right now, with the names
// a technician recognises them by.
//
// Principles of operation
//   A serial port is a tty with a real device and a driver behind it:
//   /dev/ttyUSB*, /dev/ttyACM*, and those /dev/ttyS* whose UART exists (most
//   ttyS are placeholders without a driver). The list is read from sysfs
//   (class/tty), so that it can be checked against a scratch tree. Each
//   device carries:
//     - the stable /dev/serial/by-id links that point to it;
//     - a description from the USB device's own strings in sysfs, as the
//       command line has always printed it ("FT232R USB UART (FTDI)");
//     - a vendor and a model from the device database of udev (the names of
//       the USB ID registry, then the device's own strings), falling back to
//       the sysfs strings when udev knows nothing of the device.
//   The udev lookup is a parameter, so that tests give their own.
//
// Threads: plain functions; safe from any thread (each call has its own udev
// context).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

struct SerialDeviceInfo {
    std::string path;                    // /dev/ttyUSB0
    std::vector<std::string> byIdNames;  // /dev/serial/by-id/...
    std::string description;             // e.g. "FT232R USB UART (FTDI)"
    std::string vendor;                  // e.g. "Future Technology Devices International, Ltd"
    std::string model;                   // e.g. "FT232 Serial (UART) IC"
};

// The udev properties of a device given by its sysfs path (ID_VENDOR ...),
// empty when udev does not know it.
using DeviceProperties = std::map<std::string, std::string>;
using PropertyLookup = std::function<DeviceProperties(const std::string& sysPath)>;

// Asks the udev database.
DeviceProperties UdevProperties(const std::string& sysPath);

// sysRoot and devRoot are "/sys" and "/dev" in use; tests point them at a
// scratch tree.
std::vector<SerialDeviceInfo> ListSerialDevices(const std::string& sysRoot = "/sys",
                                                const std::string& devRoot = "/dev",
                                                const PropertyLookup& lookup = UdevProperties);

// The device (or by-id link, or any path) exists now.
bool DevicePresent(const std::string& path);

}  // namespace platform
