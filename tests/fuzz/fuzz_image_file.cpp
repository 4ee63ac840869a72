// Image files: the bytes as the header check, the image object and its
// blocks see them, then written to a file named like an image and read back
// by the upgrade's loader and the CRC check (in small pieces).
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "diagnostics/FileCrc.h"
#include "protocol/FirmwareImage.h"
#include "protocol/FirmwareImageFile.h"
#include "protocol/UpgradeImage.h"
#include "support/Crc16.h"

namespace {

// One scratch folder for the whole run, removed at its end.
class CScratchFile {
public:
    CScratchFile() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/corvane-fuzz-XXXXXX";
        fuzz::Require(::mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
        m_folder = pattern;
        m_path = m_folder + "/2.10e.bin";
    }
    ~CScratchFile() {
        ::unlink(m_path.c_str());
        ::rmdir(m_folder.c_str());
    }
    const std::string& Write(std::span<const std::uint8_t> bytes) {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return m_path;
    }

private:
    std::string m_folder;
    std::string m_path;
};

void Blocks(std::span<const std::uint8_t> bytes) {
    const CFirmwareImage image(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), "fuzz");
    fuzz::Require(static_cast<std::size_t>(image.BlockCount()) * CFirmwareImage::kBlockSize <
                      bytes.size() + CFirmwareImage::kBlockSize,
                  "the blocks cover the image and no more");
    unsigned sum = image.HeaderCrc();
    for (int n = 1; n <= image.BlockCount(); ++n) {
        const std::uint8_t* block = image.Block(n);
        for (std::size_t i = 0; i < CFirmwareImage::kBlockSize; ++i) {
            sum += block[i];
        }
    }
    static_cast<void>(sum);
}

// What the CRC check covers: the code the header names, as far as the file
// holds it.
std::uint16_t CodeCrc(std::span<const std::uint8_t> bytes) {
    const std::size_t length = bytes.size() >= 2 ? bytes[0] * 256U + bytes[1] : 0;
    const std::size_t end = std::min(bytes.size(), ImageFile::kHeaderSize + length);
    return end > ImageFile::kHeaderSize
               ? Crc16Plain(bytes.data(), ImageFile::kHeaderSize, end - ImageFile::kHeaderSize)
               : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CScratchFile scratch;
    const std::span<const std::uint8_t> bytes(data, size);
    const std::string problem = ImageFileProblem(bytes);
    Blocks(bytes);

    const std::string& path = scratch.Write(bytes);
    std::string reason;
    const std::optional<CFirmwareImage> image = LoadFirmwareImage(path, "", reason);
    fuzz::Require(image.has_value() == problem.empty() && reason == problem,
                  "the loader refuses a file exactly when its bytes are no sound image");
    if (image) {
        fuzz::Require(image->Label() == "2.10e" && image->Size() == size,
                      "a loaded image is the whole file, labelled by its name");
    }
    CrcReadOptions options;
    options.pieceSize = 1 + size % 97;
    const CrcCheckResult check = CheckFileCrc(path, options);
    fuzz::Require(check.Ok() && check.isImage, "the CRC check reads a .bin file");
    fuzz::Require(check.generatedCrc == CodeCrc(bytes), "the CRC of pieces is the CRC of the code");
    fuzz::Require(!problem.empty() || VerdictOf(check) == CrcVerdict::Sound,
                  "the CRC check finds a loadable image sound");
    static_cast<void>(CrcVerdictText(check));
    return 0;
}
