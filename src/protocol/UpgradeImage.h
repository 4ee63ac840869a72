// The carried upgrade image and the image file format.
//
// Principles of operation
//   UpgradeImage is the firmware image built into the utility: 12810 bytes in
//   the image file format, a 128-byte header (code length and plain CRC-16 of
//   the code, each big-endian, then 124 zero bytes) followed by the code.
//   UpgradeVersion ("2.10e") labels it and is the utility's own version. The
//   upload sends it as it is, the export writes it as it is, and the file
//   check reads files of the same format.
//
// Threads: constants; read from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ImageFile {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kMaxCodeLength = 65535;

struct Header {
    std::uint16_t codeLength = 0;
    std::uint16_t codeCrc = 0;
};

// A file image of the given code: header (length, plain CRC) then the code.
// The code must not be longer than kMaxCodeLength.
std::vector<std::uint8_t> Build(std::span<const std::uint8_t> code);

// The header of a file image; missing bytes of a short file read as zero.
Header ReadHeader(std::span<const std::uint8_t> file);

}  // namespace ImageFile

// The 12810 bytes of the carried image.
std::span<const std::uint8_t> UpgradeImage();
// Its version label, "2.10e".
const char* UpgradeVersion();
