#include "support/Crc16.h"

#include <array>

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

constexpr void BitwiseUpdate(std::uint16_t& reg, std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
        const bool top = (reg & 0x8000U) != 0;
        reg = static_cast<std::uint16_t>((reg << 1) | ((byte >> bit) & 1U));
        if (top) {
            reg ^= kPolynomial;
        }
    }
}

// The register is the remainder of everything fed so far. Feeding sixteen
// bytes b0..b15 multiplies it by x^128 and adds b0 x^120 + ... + b15, so
// each byte of the old register and each of b0..b13 contributes (its value
// times a power of x) mod P, read from a table; b14 and b15 are below the
// degree of P and enter as they are.
//
// kSlices[k][v] = v * x^(8 (k + 2)) mod P: the register after the byte v and
// k + 2 zero bytes. 16 tables of 256 entries: 8 KiB.
constexpr std::size_t kSliceBytes = 16;
using Slices = std::array<std::array<std::uint16_t, 256>, kSliceBytes>;

constexpr Slices MakeSlices() {
    Slices slices{};
    for (unsigned v = 0; v < 256; ++v) {
        std::uint16_t reg = 0;
        BitwiseUpdate(reg, static_cast<std::uint8_t>(v));
        BitwiseUpdate(reg, 0);
        for (auto& slice : slices) {
            BitwiseUpdate(reg, 0);
            slice[v] = reg;
        }
    }
    return slices;
}

constexpr Slices kSlices = MakeSlices();

// One byte from the table: register times x^8 plus the byte.
inline std::uint16_t TableStep(std::uint16_t reg, std::uint8_t byte) {
    return static_cast<std::uint16_t>(kSlices[0][reg >> 8] ^ ((reg & 0xFFU) << 8) ^ byte);
}

}  // namespace

void Crc16Update(std::uint16_t& reg, std::uint8_t byte) {
    BitwiseUpdate(reg, byte);
}

void Crc16UpdateBytes(std::uint16_t& reg, const std::uint8_t* data, std::size_t count) {
    constexpr std::size_t kLast = kSliceBytes - 1;
    std::uint16_t r = reg;
    for (; count >= kSliceBytes; count -= kSliceBytes, data += kSliceBytes) {
        unsigned next = kSlices[kLast][r >> 8] ^ kSlices[kLast - 1][r & 0xFFU] ^
                        (unsigned{data[kLast - 1]} << 8) ^ data[kLast];
        for (std::size_t k = 0; k + 2 < kSliceBytes; ++k) {
            next ^= kSlices[kLast - 2 - k][data[k]];
        }
        r = static_cast<std::uint16_t>(next);
    }
    for (; count > 0; --count, ++data) {
        r = TableStep(r, *data);
    }
    reg = r;
}

std::uint16_t Crc16Plain(const std::uint8_t* data, std::size_t start, std::size_t count) {
    std::uint16_t reg = 0;
    Crc16UpdateBytes(reg, data + start, count);
    return reg;
}

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t count) {
    std::uint16_t reg = Crc16Plain(data, 0, count);
    Crc16Update(reg, 0);
    Crc16Update(reg, 0);
    return reg;
}
