#include "support/Crc16.h"

void Crc16Update(std::uint16_t& reg, std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
        const bool top = (reg & 0x8000U) != 0;
        reg = static_cast<std::uint16_t>((reg << 1) | ((byte >> bit) & 1U));
        if (top) {
            reg ^= 0x1021U;
        }
    }
}

std::uint16_t Crc16Plain(const std::uint8_t* data, std::size_t start, std::size_t count) {
    std::uint16_t reg = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Crc16Update(reg, data[start + i]);
    }
    return reg;
}

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t count) {
    std::uint16_t reg = Crc16Plain(data, 0, count);
    Crc16Update(reg, 0);
    Crc16Update(reg, 0);
    return reg;
}
