// Port mappings: where COM1 to COM4 point, as the port setup reads and
// stores them.
//
// Principles of operation
//   Each COM name is a value of the settings (Veltra/Corvane) holding a
//   device path; without one it stands for /dev/ttyS0 to /dev/ttyS3. These
//   are the values the command line's "ports --map" writes and every port
//   open resolves (ResolvePortName). A path is stored only when the port
//   could open it as given: absolute, no control characters, shorter than a
//   value may be, and not something other than a character device (a path
//   that does not exist yet, such as an unplugged adapter's by-id name, may
//   be stored). Clearing a mapping removes the value, so that the name
//   stands for its standard device again. A mapping counts as stored only
//   once the settings file on disk gives every mapping back as expected.
//
// Threads: user-interface thread only (it reads and writes the settings
// file).
#pragma once

#include <string>
#include <vector>

class CPortMappings {
public:
    // "COM1" to "COM4".
    static std::vector<std::string> Names();
    // /dev/ttyS0 for COM1 ... /dev/ttyS3 for COM4.
    static std::string StandardDevice(const std::string& name);
    // Why a typed path cannot be stored, or empty when it can.
    static std::string CheckPath(const std::string& path);
    // What is at path now: "present", "absent" or "not a serial device".
    static std::string State(const std::string& path);

    // The stored path, empty when the name is not mapped.
    std::string Stored(const std::string& name) const;
    // What the name stands for now: the stored path or the standard device.
    std::string Device(const std::string& name) const;
    // Stores path for name; an empty path clears the mapping. False with the
    // reason when the path is unsound or the settings cannot be written.
    bool Store(const std::string& name, const std::string& path, std::string& error);
};
