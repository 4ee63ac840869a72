// Image check: what the boot loader decides about an upload after EOT.
//
// Principles of operation
//   The received data starts with the image file header: the code length and
//   the plain CRC-16 of the code, each big-endian. The image is sound when the
//   code is all there, is not empty, and its Crc16Plain equals the header's
//   CRC; bytes after the code are the sender's filler and do not count. A
//   sound image's firmware reports the version that follows "VER:" in its
//   code, up to the NUL that ends it.
//
// Threads: pure function.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sim {

struct ImageVerdict {
    bool sound = false;
    // The version tag of a sound image; "unknown" when its code holds none.
    std::string version;
};

ImageVerdict CheckImage(std::span<const std::uint8_t> received);

// The text after the first "VER:" up to its NUL; empty when there is no
// such tag or it is not a short run of printable characters ended by a NUL.
std::string FindVersionTag(std::span<const std::uint8_t> code);

}  // namespace sim
