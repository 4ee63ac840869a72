#include "protocol/UpgradeImage.h"

#include <algorithm>

#include "support/Crc16.h"

extern const unsigned char corvane_upgrade_image[];
extern const std::size_t corvane_upgrade_image_size;

namespace ImageFile {

std::vector<std::uint8_t> Build(std::span<const std::uint8_t> code) {
    const auto length = static_cast<std::uint16_t>(code.size());
    const std::uint16_t crc = Crc16Plain(code.data(), 0, code.size());
    std::vector<std::uint8_t> file(kHeaderSize + code.size(), 0);
    file[0] = static_cast<std::uint8_t>(length >> 8);
    file[1] = static_cast<std::uint8_t>(length & 0xFF);
    file[2] = static_cast<std::uint8_t>(crc >> 8);
    file[3] = static_cast<std::uint8_t>(crc & 0xFF);
    std::copy(code.begin(), code.end(), file.begin() + kHeaderSize);
    return file;
}

Header ReadHeader(std::span<const std::uint8_t> file) {
    auto byteAt = [&file](std::size_t i) -> unsigned { return i < file.size() ? file[i] : 0U; };
    Header header;
    header.codeLength = static_cast<std::uint16_t>(byteAt(0) << 8 | byteAt(1));
    header.codeCrc = static_cast<std::uint16_t>(byteAt(2) << 8 | byteAt(3));
    return header;
}

}  // namespace ImageFile

std::span<const std::uint8_t> UpgradeImage() {
    return {corvane_upgrade_image, corvane_upgrade_image_size};
}

const char* UpgradeVersion() {
    return CORVANE_VERSION_LABEL;
}
