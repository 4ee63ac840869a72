// Device ID line: the charger's own name, from its identification reply.
//
// Principles of operation
//   Among the lines a charger sends when it is identified is one that begins
//   with "deviceid" and names the charger ("deviceid VC-4017-0032", padded
//   with dashes by some firmware). Identification takes no decision from it;
//   the service records use it to tell chargers apart. DeviceIdOf takes the
//   first word after the keyword:
//     - the keyword in any letter case, after any leading spaces or tabs,
//       followed by spaces, tabs, "=" or ":" (so "deviceidx" is no match);
//     - the word runs to the next space or tab;
//     - a word that is not printable ASCII (noise, another encoding) is not
//       taken as a name: the ID is then "", as when none was sent.
//
// Threads: pure functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The device ID a line names, "" when it is no "deviceid" line.
std::string DeviceIdOf(std::string_view line);
// The first device ID among a reply's lines, "" when none names one.
std::string DeviceIdFrom(const std::vector<std::string>& lines);
