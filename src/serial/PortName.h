// Port names: from the name the user chose to the device that is opened.
//
// Principles of operation
//   The port list offers "COM1" to "COM4". Each resolves through the
//   settings (value "COM1" etc. under Veltra/Corvane holding a device path),
//   by default to /dev/ttyS0 .. /dev/ttyS3. A name that begins with "/" is a
//   device path and is used as it stands (tests, the simulated charger and
//   the command line use this). Anything else resolves to nothing, and the
//   open then fails as for a missing device.
//
// Threads: called on the port owner's thread (it reads the settings file).
#pragma once

#include <string>
#include <vector>

// The device path for a port name, or empty when the name means no device.
std::string ResolvePortName(const std::string& name);

// "COM1" to "COM4", the names the port list offers.
std::vector<std::string> PortNames();
// "COM" and a number, in any case: meant as a port name, offered or not.
bool LooksLikePortName(const std::string& name);
// One of the offered names, exactly as offered.
bool IsPortName(const std::string& name);
