// Station configuration: /etc/corvane/station.conf, the settings of a
// station run as a service.
//
// Principles of operation
//   Simple "key = value" lines; blank lines and lines starting with # are
//   skipped, as is anything after a " #" in a value. The keys:
//     ports      ports or patterns, separated by spaces; repeatable
//     slots      the slot-labels file
//     listen     ADDR:PORT
//     image      an image file to send instead of the carried image
//     label      its version label
//     read-only  yes/no (also true/false, 1/0, on/off)
//     force      yes/no
//   An unknown key, a line without "=", a bad yes/no, or a file larger
//   than 64 KiB is an error naming the line, so a typing mistake in a
//   service's settings stops it rather than being ignored. The command
//   line's options win over the file's: the station takes from the file
//   only what its command line left open.
//
// Threads: value types and pure functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace station {

struct StationConfig {
    std::vector<std::string> ports;
    std::string slots;
    std::string listen;
    std::string image;
    std::string label;
    std::optional<bool> readOnly;
    std::optional<bool> force;
};

// The file a station reads when no --config is given.
extern const char* const kDefaultConfigPath;

// Parses text; false with "line N: ..." in error.
bool ParseStationConfig(const std::string& text, StationConfig& config, std::string& error);
// Reads and parses path; false with the reason in error.
bool ReadStationConfig(const std::string& path, StationConfig& config, std::string& error);

}  // namespace station
