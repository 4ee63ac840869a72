// Control bytes of the charger's line: the XMODEM handshake and the line ends.
//
// Principles of operation
//   Shared by the boot loader, the firmware and the log so that every part
//   of the simulator names the same byte the same way.
//
// Threads: constants.
#pragma once

#include <cstdint>

namespace sim::bytes {

constexpr std::uint8_t kSoh = 1;
constexpr std::uint8_t kEot = 4;
constexpr std::uint8_t kAck = 6;
constexpr std::uint8_t kLf = 10;
constexpr std::uint8_t kCr = 13;
constexpr std::uint8_t kNak = 21;
constexpr std::uint8_t kCan = 24;
constexpr std::uint8_t kStart = 'C';

}  // namespace sim::bytes
