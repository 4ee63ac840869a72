// Firmware image: what an upgrade sends, and the version it must leave behind.
//
// Principles of operation
//   A CFirmwareImage holds the bytes of one image in the image file format
//   (the 128-byte header, then the code) together with its label: the
//   charger-code version the charger must report once the image is
//   installed. The carried image (Carried()) is built into the utility and
//   labelled with UpgradeVersion(); an image read from a file carries the
//   label its user gave and the path it came from.
//
//   The block upload sends the image in 128-byte blocks. Block(n) gives the
//   bytes of block n (from 1): a view into the image for full blocks, and for
//   a short last block a copy completed with filler that the image owns, so
//   every block the writer thread borrows stays unchanged for as long as the
//   image lives. Whoever runs an upload keeps the image alive until the port
//   is closed (the upgrade sequence closes it before it returns).
//
//   The service records name an image by its
//   label, size, code CRC (CrcText) and the path it came from.
//
//   An image is immutable once built; nothing here is shared between runs
//   except the carried image, which is a constant.
//
// Threads: const operations from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CFirmwareImage {
public:
    static constexpr std::size_t kBlockSize = 128;
    // Completes the short last block; the receiver takes the code length from
    // the header, so any value would do. 0xFF is what erased flash holds.
    static constexpr std::uint8_t kFiller = 0xFF;

    // The image built into the utility, labelled with UpgradeVersion().
    static const CFirmwareImage& Carried();

    // An image of the given file bytes. `path` is empty for images that came
    // from no file.
    CFirmwareImage(std::vector<std::uint8_t> bytes, std::string label, std::string path = {});

    std::span<const std::uint8_t> Bytes() const { return m_bytes; }
    const std::string& Label() const { return m_strLabel; }
    const std::string& Path() const { return m_strPath; }
    std::size_t Size() const { return m_bytes.size(); }
    // The code CRC stored in the header.
    std::uint16_t HeaderCrc() const;
    // True for an image that came from no file (the carried one).
    bool IsBuiltIn() const { return m_strPath.empty(); }

    // 128-byte blocks the upload sends: the size divided by 128, rounded up.
    int BlockCount() const { return m_blockCount; }
    // The 128 bytes of block n, 1 <= n <= BlockCount().
    const std::uint8_t* Block(int n) const;

private:
    std::vector<std::uint8_t> m_bytes;
    std::string m_strLabel;
    std::string m_strPath;
    int m_blockCount = 0;
    std::array<std::uint8_t, kBlockSize> m_paddedLast{};
};

// A code CRC as four upper-case hexadecimal digits ("20C5").
std::string CrcText(std::uint16_t crc);
