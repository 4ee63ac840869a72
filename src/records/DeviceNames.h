// Device names: what a bench shows and records about a slot's port.
//
// Principles of operation
//   A slot serves a path as given or matched: a device (/dev/ttyUSB0), a
//   stable link (/dev/serial/by-id/usb-FTDI_...) or a simulated charger's
//   link. The records name the device it resolves to and its by-id name, so
//   a charger can be traced to the adapter it sat on. One device reached
//   under several names (a by-id link and the device it names) is known by
//   its device number, so the bench serves it once.
//
// Threads: plain functions over the file system.
#pragma once

#include <string>

namespace records {

// The device the path resolves to, or the path itself when it does not.
std::string ResolvedDevice(const std::string& path);

// The device number (st_rdev) of the character device the path reaches,
// 0 when it reaches none (missing, or not a device).
unsigned long long DeviceNumberOf(const std::string& path);

// The name in folder (by default /dev/serial/by-id) of the link that
// resolves to device, "" when none does.
std::string ByIdNameOf(const std::string& device, const std::string& folder = "/dev/serial/by-id");

}  // namespace records
