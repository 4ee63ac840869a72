#include "protocol/FirmwareImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "protocol/UpgradeImage.h"
#include "support/Crc16.h"

namespace {

// A file larger than the largest sound image is refused before it is read.
constexpr std::size_t kLargestImage = ImageFile::kHeaderSize + ImageFile::kMaxCodeLength;

std::string Printed(const char* format, unsigned long long a, unsigned long long b) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string SystemReason(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// Reads at most limit + 1 bytes of a regular file, so an oversized one is
// seen as such without reading it all. The descriptor is opened without
// waiting, so a FIFO cannot hang the caller before it is refused.
bool ReadRegularFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                     std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = SystemReason("cannot open " + path, errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) {
        reason = SystemReason("cannot examine " + path, errno);
    } else if (!S_ISREG(info.st_mode)) {
        reason = path + " is not a regular file";
        ok = false;
    }
    std::uint8_t buffer[16384];
    while (ok && bytes.size() <= kLargestImage) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            reason = SystemReason("cannot read " + path, errno);
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
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0) {
        name.erase(dot);
    }
    return name;
}

std::string ImageFileProblem(std::span<const std::uint8_t> file) {
    if (file.size() < ImageFile::kHeaderSize) {
        return Printed("the file holds %llu bytes, less than the %llu-byte header", file.size(),
                       ImageFile::kHeaderSize);
    }
    if (file.size() > kLargestImage) {
        return Printed("the file holds more than %llu bytes, the largest image is %llu bytes",
                       kLargestImage, kLargestImage);
    }
    const ImageFile::Header header = ImageFile::ReadHeader(file);
    const std::size_t code = file.size() - ImageFile::kHeaderSize;
    if (header.codeLength != code) {
        return Printed("the header says %llu code bytes, the file holds %llu", header.codeLength,
                       code);
    }
    if (!std::all_of(file.begin() + 4, file.begin() + ImageFile::kHeaderSize,
                     [](std::uint8_t byte) { return byte == 0; })) {
        return "header bytes 4 to 127 are not all zero";
    }
    const std::uint16_t crc = Crc16Plain(file.data(), ImageFile::kHeaderSize, code);
    if (crc != header.codeCrc) {
        return Printed("the header's CRC is %04llX, the code's CRC is %04llX", header.codeCrc, crc);
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
        reason = "the image has no label: give one";
        return std::nullopt;
    }
    return CFirmwareImage(std::move(bytes), std::move(name), path);
}
