#include "protocol/FirmwareImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "protocol/UpgradeImage.h"
#include "support/Crc16.h"

namespace {

// A file larger than the largest sound image is refused before it is read.
constexpr std::size_t kLargestImage = ImageFile::kHeaderSize + ImageFile::kMaxCodeLength;

std::string Count(std::size_t value) {
    return std::to_string(value);
}

std::string SystemReason(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// Whether the path names a regular file, asked before it is opened: opening
// a serial device (a port typed where the image was meant) would raise and
// drop the DTR line of a charger.
bool IsRegularFile(const std::string& path, std::string& reason) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        reason = SystemReason("it cannot be opened", errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "it is not a regular file";
        return false;
    }
    return true;
}

// Reads at most kLargestImage + 1 bytes of a regular file, so an oversized
// one is seen as such without reading it all. The descriptor is opened
// without waiting and its type checked again, so a file swapped for a FIFO
// after the first look cannot hang the caller either.
bool ReadRegularFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                     std::string& reason) {
    if (!IsRegularFile(path, reason)) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = SystemReason("it cannot be opened", errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) {
        reason = SystemReason("it cannot be examined", errno);
    } else if (!S_ISREG(info.st_mode)) {
        reason = "it is not a regular file";
        ok = false;
    }
    std::uint8_t buffer[16384];
    while (ok && bytes.size() <= kLargestImage) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            reason = SystemReason("it cannot be read", errno);
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace

std::string LabelFromFileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Versions hold full stops ("2.11a"): only the image extension goes.
    constexpr std::string_view kExtension = ".bin";
    if (name.size() > kExtension.size()) {
        const std::size_t at = name.size() - kExtension.size();
        const bool isBin = std::equal(
            kExtension.begin(), kExtension.end(), name.begin() + at, [](char want, char got) {
                return want == (got >= 'A' && got <= 'Z' ? got + 32 : got);
            });
        if (isBin) {
            name.erase(at);
        }
    }
    return name;
}

std::string ImageFileProblem(std::span<const std::uint8_t> file) {
    if (file.size() < ImageFile::kHeaderSize) {
        return "the file holds " + Count(file.size()) + " bytes, less than the " +
               Count(ImageFile::kHeaderSize) + "-byte header";
    }
    if (file.size() > kLargestImage) {
        return "the file holds more than " + Count(kLargestImage) +
               " bytes: an image's code is at most " + Count(ImageFile::kMaxCodeLength) + " bytes";
    }
    const ImageFile::Header header = ImageFile::ReadHeader(file);
    const std::size_t code = file.size() - ImageFile::kHeaderSize;
    if (header.codeLength != code) {
        return "the header says " + Count(header.codeLength) + " code bytes, the file holds " +
               Count(code);
    }
    // Length 0 and CRC 0 pass every other check, and the boot loader would
    // take the empty image in place of the firmware.
    if (code == 0) {
        return "it holds no code";
    }
    if (!std::all_of(file.begin() + 4, file.begin() + ImageFile::kHeaderSize,
                     [](std::uint8_t byte) { return byte == 0; })) {
        return "header bytes 4 to 127 are not all zero";
    }
    const std::uint16_t crc = Crc16Plain(file.data(), ImageFile::kHeaderSize, code);
    if (crc != header.codeCrc) {
        return "the header's CRC is " + CrcText(header.codeCrc) + ", the code's CRC is " +
               CrcText(crc);
    }
    return {};
}

std::optional<CFirmwareImage> LoadFirmwareImage(const std::string& path, const std::string& label,
                                                std::string& reason) {
    std::vector<std::uint8_t> bytes;
    if (!ReadRegularFile(path, bytes, reason)) {
        return std::nullopt;
    }
    reason = ImageFileProblem(bytes);
    if (!reason.empty()) {
        return std::nullopt;
    }
    std::string name = label.empty() ? LabelFromFileName(path) : label;
    if (name.empty()) {
        reason = "its name gives no label: give one";
        return std::nullopt;
    }
    // Records name the file by a path that still means it elsewhere.
    std::error_code ignored;
    const std::filesystem::path whole = std::filesystem::absolute(path, ignored);
    return CFirmwareImage(std::move(bytes), std::move(name),
                          whole.empty() ? path : whole.lexically_normal().string());
}

std::string ImageFileRefusal(const std::string& path, const std::string& reason) {
    return "Cannot use the image file " + path + ": " + reason + ".";
}
