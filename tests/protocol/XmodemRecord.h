// XMODEM record: the test's own view of what an upload puts on the line.
//
// Built from the image with a CRC computed here (the usual shift-and-xor
// form of CRC-16/XMODEM, not the product's routine), so a test compares the
// product's bytes with an independent record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace xmodem {

// Block n (from 1) as it goes on the line: SOH, n, 255 - n, 128 data bytes
// (the short last one filled up), CRC-16/XMODEM high, low.
inline std::string BlockOnLine(std::span<const std::uint8_t> image, int n, std::uint8_t filler) {
    std::string block = {'\x01', static_cast<char>(n & 0xFF), static_cast<char>((255 - n) & 0xFF)};
    std::uint16_t crc = 0;
    for (std::size_t i = 0, at = (n - 1) * 128U; i < 128; ++i, ++at) {
        const std::uint8_t byte = at < image.size() ? image[at] : filler;
        block += static_cast<char>(byte);
        crc = static_cast<std::uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000U) ? (crc << 1) ^ 0x1021U : crc << 1);
        }
    }
    return block + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

// A whole clean transfer: every block once, then EOT once.
inline std::string WholeTransfer(std::span<const std::uint8_t> image, std::uint8_t filler) {
    std::string line;
    for (int n = 1; (n - 1) * 128U < image.size(); ++n) {
        line += BlockOnLine(image, n, filler);
    }
    return line + '\x04';
}

}  // namespace xmodem
