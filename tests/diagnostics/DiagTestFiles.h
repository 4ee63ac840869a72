// Small file and row helpers shared by the diagnostics tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "diagnostics/ChargerVariables.h"
#include "protocol/UpgradeImage.h"

namespace diagtest {

using Bytes = std::vector<std::uint8_t>;

// A report line whose seventeen fields give every row a value different from
// zero, its rows, and the rows of a zeroed record.
inline const std::string kFullLine =
    "1,1,1,1f,a,25,26.5,3c,a,12.25,12.5,77,30.75,1.5,ignored,13.8,14.1";
inline const std::string kFullRows =
    "true,true,CV,31,10,25,26.50,3C,000A,12.25,12.50,77,30.75,1.50,13.80,14.10";
inline const std::string kZeroRows =
    "false,false,CC,0,0,0,0.00,0,0000,0.00,0.00,0,0.00,0.00,0.00,0.00";

// The carried image's bytes.
inline Bytes Image() {
    const auto image = UpgradeImage();
    return {image.begin(), image.end()};
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Bytes that vary, so that a CRC over the wrong range comes out different.
inline Bytes Pattern(std::size_t count, std::uint32_t seed = 1) {
    Bytes bytes(count);
    for (std::uint32_t state = seed; auto& byte : bytes) {
        byte = static_cast<std::uint8_t>((state = state * 1103515245U + 12345U) >> 16);
    }
    return bytes;
}

// A header whose length and CRC fields hold the given values, then the code.
inline Bytes WithHeader(std::uint16_t length, std::uint16_t crc, const Bytes& code) {
    Bytes file(128 + code.size(), 0);
    file[0] = static_cast<std::uint8_t>(length >> 8);
    file[1] = static_cast<std::uint8_t>(length & 0xFF);
    file[2] = static_cast<std::uint8_t>(crc >> 8);
    file[3] = static_cast<std::uint8_t>(crc & 0xFF);
    std::copy(code.begin(), code.end(), file.begin() + 128);
    return file;
}

// The sixteen row texts of a record, joined by commas.
inline std::string Rows(const ChargerVariables& vars) {
    std::string text;
    for (const VariableRow& row : FormatVariables(vars)) {
        text += (text.empty() ? "" : ",") + row.text;
    }
    return text;
}

}  // namespace diagtest
