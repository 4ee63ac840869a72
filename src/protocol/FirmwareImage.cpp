#include "protocol/FirmwareImage.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "protocol/UpgradeImage.h"

const CFirmwareImage& CFirmwareImage::Carried() {
    static const CFirmwareImage carried(
        std::vector<std::uint8_t>(UpgradeImage().begin(), UpgradeImage().end()), UpgradeVersion());
    return carried;
}

CFirmwareImage::CFirmwareImage(std::vector<std::uint8_t> bytes, std::string label, std::string path)
    : m_bytes(std::move(bytes)), m_strLabel(std::move(label)), m_strPath(std::move(path)) {
    m_blockCount = static_cast<int>((m_bytes.size() + kBlockSize - 1) / kBlockSize);
    m_paddedLast.fill(kFiller);
    const std::size_t tail = m_bytes.size() % kBlockSize;
    if (tail != 0) {
        std::copy(m_bytes.end() - static_cast<std::ptrdiff_t>(tail), m_bytes.end(),
                  m_paddedLast.begin());
    }
}

std::uint16_t CFirmwareImage::HeaderCrc() const {
    return ImageFile::ReadHeader(m_bytes).codeCrc;
}

const std::uint8_t* CFirmwareImage::Block(int n) const {
    const std::size_t offset = static_cast<std::size_t>(n - 1) * kBlockSize;
    return offset + kBlockSize <= m_bytes.size() ? m_bytes.data() + offset : m_paddedLast.data();
}

std::string CrcText(std::uint16_t crc) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(crc));
    return text;
}
