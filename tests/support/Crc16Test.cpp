#include "support/Crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::uint16_t Plain(const char* text) {
    return Crc16Plain(reinterpret_cast<const std::uint8_t*>(text), 0, std::strlen(text));
}

std::uint16_t Xmodem(const char* text) {
    return Crc16Xmodem(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

TEST(Crc16, KnownValuesOfBothForms) {
    EXPECT_EQ(Plain(""), 0);
    EXPECT_EQ(Xmodem(""), 0);
    // One or two bytes come back as themselves, read big-endian.
    EXPECT_EQ(Plain("a"), 0x0061);
    EXPECT_EQ(Plain("ab"), 0x6162);
    EXPECT_EQ(Plain("abc"), 0x1EE4);
    EXPECT_EQ(Xmodem("abc"), 0x9DD6);
    // The standard CRC-16/XMODEM check value.
    EXPECT_EQ(Xmodem("123456789"), 0x31C3);
}

TEST(Crc16, XmodemIsPlainOverTheMessageAndTwoZeroBytes) {
    std::vector<std::uint8_t> message;
    for (int i = 0; i < 300; ++i) {
        message.push_back(static_cast<std::uint8_t>(i * 37 + 11));
        std::vector<std::uint8_t> flushed = message;
        flushed.push_back(0);
        flushed.push_back(0);
        ASSERT_EQ(Crc16Xmodem(message.data(), message.size()),
                  Crc16Plain(flushed.data(), 0, flushed.size()))
            << "length " << message.size();
    }
}

TEST(Crc16, PlainHonoursStartAndCount) {
    const std::uint8_t data[] = {0xFF, 0xFF, 'a', 'b', 'c', 0xFF};
    EXPECT_EQ(Crc16Plain(data, 2, 3), 0x1EE4);
    EXPECT_EQ(Crc16Plain(data, 5, 0), 0);
}

// The sliced routine against the bitwise one: every length up to a few
// slices, from many registers and offsets, so every tail and every table
// entry takes part.
TEST(Crc16, UpdateBytesAgreesWithTheBitwiseRoutine) {
    std::vector<std::uint8_t> data(4096);
    std::uint32_t state = 7;
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>((state = state * 1103515245U + 12345U) >> 16);
    }
    for (std::size_t offset = 0; offset < 17; ++offset) {
        for (std::size_t count = 0; offset + count <= data.size(); count += count < 72 ? 1 : 397) {
            const auto start = static_cast<std::uint16_t>(count * 40503U + offset);
            std::uint16_t bitwise = start;
            for (std::size_t i = 0; i < count; ++i) {
                Crc16Update(bitwise, data[offset + i]);
            }
            std::uint16_t sliced = start;
            Crc16UpdateBytes(sliced, data.data() + offset, count);
            ASSERT_EQ(sliced, bitwise) << "offset " << offset << " count " << count;
        }
    }
}

TEST(Crc16, UpdateWorksOnTheCallersRegister) {
    std::uint16_t reg = 0;
    for (char c : std::string("abc")) {
        Crc16Update(reg, static_cast<std::uint8_t>(c));
    }
    EXPECT_EQ(reg, 0x1EE4);
}

}  // namespace
