#include "sim/ImageCheck.h"

#include <algorithm>
#include <string_view>

#include "support/Crc16.h"

namespace sim {

namespace {
constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kMaxTagLength = 16;

unsigned BigEndian16(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<unsigned>(data[at] << 8 | data[at + 1]);
}
}  // namespace

std::string FindVersionTag(std::span<const std::uint8_t> code) {
    constexpr std::string_view kTag = "VER:";
    const auto found = std::search(code.begin(), code.end(), kTag.begin(), kTag.end());
    if (found == code.end()) {
        return {};
    }
    std::string version;
    for (auto it = found + static_cast<std::ptrdiff_t>(kTag.size()); it != code.end(); ++it) {
        if (*it == 0) {
            return version;
        }
        if (*it <= 0x20 || *it >= 0x7F || version.size() == kMaxTagLength) {
            return {};
        }
        version += static_cast<char>(*it);
    }
    return {};
}

ImageVerdict CheckImage(std::span<const std::uint8_t> received) {
    ImageVerdict verdict;
    if (received.size() < kHeaderSize) {
        return verdict;
    }
    const std::size_t length = BigEndian16(received, 0);
    const unsigned crc = BigEndian16(received, 2);
    if (length == 0 || received.size() < kHeaderSize + length) {
        return verdict;
    }
    if (Crc16Plain(received.data(), kHeaderSize, length) != crc) {
        return verdict;
    }
    verdict.sound = true;
    verdict.version = FindVersionTag(received.subspan(kHeaderSize, length));
    if (verdict.version.empty()) {
        verdict.version = "unknown";
    }
    return verdict;
}

}  // namespace sim
