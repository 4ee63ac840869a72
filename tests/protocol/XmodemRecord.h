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

constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kBlockOnLine = 133;

// CRC-16/XMODEM: polynomial 0x1021, initial 0, data shifted in at the top.
inline std::uint16_t Crc(const std::uint8_t* data, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000U) ? (crc << 1) ^ 0x1021U : crc << 1);
        }
    }
    return crc;
}

// Block n (from 1) of the image as data bytes, the short last one filled up.
inline std::string BlockData(std::span<const std::uint8_t> image, int n, std::uint8_t filler) {
    const std::size_t start = static_cast<std::size_t>(n - 1) * kBlockSize;
    std::string data(kBlockSize, static_cast<char>(filler));
    for (std::size_t i = 0; i < kBlockSize && start + i < image.size(); ++i) {
        data[i] = static_cast<char>(image[start + i]);
    }
    return data;
}

// Block n as it goes on the line: SOH, n, 255 - n, data, CRC high, CRC low.
inline std::string BlockOnLine(std::span<const std::uint8_t> image, int n, std::uint8_t filler) {
    const std::string data = BlockData(image, n, filler);
    const std::uint16_t crc = Crc(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    std::string block;
    block += '\x01';
    block += static_cast<char>(n & 0xFF);
    block += static_cast<char>((255 - n) & 0xFF);
    block += data;
    block += static_cast<char>(crc >> 8);
    block += static_cast<char>(crc & 0xFF);
    return block;
}

// A whole clean transfer: every block once, then EOT once.
inline std::string WholeTransfer(std::span<const std::uint8_t> image, std::uint8_t filler) {
    std::string line;
    const int blocks = static_cast<int>((image.size() + kBlockSize - 1) / kBlockSize);
    for (int n = 1; n <= blocks; ++n) {
        line += BlockOnLine(image, n, filler);
    }
    line += '\x04';
    return line;
}

}  // namespace xmodem
