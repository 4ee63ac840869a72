#include "diagnostics/FileCrc.h"

#include <strings.h>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "diagnostics/ReadOnlyFile.h"
#include "platform/LastError.h"
#include "protocol/UpgradeImage.h"
#include "support/Crc16.h"

namespace {

constexpr std::uint64_t kLengthEnd = 2;  // bytes 0 and 1: code length, big-endian
constexpr std::uint64_t kCrcEnd = 4;     // bytes 2 and 3: code CRC, big-endian

std::string UnsignedText(unsigned long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llu", value);
    return buffer;
}

std::string HexWordText(std::uint16_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(value));
    return buffer;
}

// Which bytes of the file the check reads and which of them the CRC covers.
// An image file's range is only known once its length field has been read;
// until then only the header is asked for.
struct ReadPlan {
    std::uint64_t size = 0;
    bool image = false;
    bool rangeKnown = false;
    std::uint64_t readEnd = 0;
    std::uint64_t crcBegin = 0;
    std::uint64_t crcEnd = 0;
    std::uint8_t header[kCrcEnd] = {};

    ReadPlan(std::uint64_t fileSize, bool imageFile) : size(fileSize), image(imageFile) {
        if (image) {
            crcBegin = ImageFile::kHeaderSize;
            readEnd = std::min(size, kLengthEnd);
            if (size < kLengthEnd) {
                FixRange();
            }
        } else {
            rangeKnown = true;
            readEnd = crcEnd = size;
        }
    }

    unsigned CodeLength() const { return header[0] * 256U + header[1]; }
    std::uint16_t StoredCrc() const {
        return static_cast<std::uint16_t>(header[2] * 256U + header[3]);
    }

    void FixRange() {
        rangeKnown = true;
        const std::uint64_t length = size >= kLengthEnd ? CodeLength() : 0U;
        crcEnd = std::min(size, crcBegin + length);  // below crcBegin: nothing to cover
        readEnd = std::max(std::min(size, kCrcEnd), crcEnd);
    }

    // Takes in bytes [position, position + count) of the file.
    void Take(const std::uint8_t* bytes, std::uint64_t position, std::uint64_t count,
              std::uint16_t& reg) {
        const std::uint64_t end = position + count;
        for (std::uint64_t i = position; i < std::min(end, kCrcEnd); ++i) {
            header[i] = bytes[i - position];
        }
        if (!rangeKnown && end >= kLengthEnd) {
            FixRange();
        }
        const std::uint64_t from = std::max(position, crcBegin);
        const std::uint64_t to = std::min(end, crcEnd);
        if (from < to) {
            Crc16UpdateBytes(reg, bytes + (from - position), static_cast<std::size_t>(to - from));
        }
    }
};

void FillHeaderTexts(const ReadPlan& plan, CrcCheckResult& result) {
    if (!plan.image) {
        result.lengthText = "N/A";
        result.storedCrcText = "N/A";
        return;
    }
    // A header cut short shows neither field: half a header is no image.
    if (plan.size < kCrcEnd) {
        return;
    }
    result.lengthText = UnsignedText(plan.CodeLength());
    result.storedCrcText = HexWordText(plan.StoredCrc());
}

void FillVerdict(const ReadPlan& plan, std::uint16_t computed, CrcCheckResult& result) {
    if (plan.image && plan.size >= kCrcEnd) {
        result.crcMatches = plan.StoredCrc() == computed;
        result.sizeAgrees = plan.size == ImageFile::kHeaderSize + plan.CodeLength();
        result.noCode = plan.CodeLength() == 0;
    }
}

// Reads the planned bytes piece by piece; None, OpenFailed or ShortRead.
CrcCheckError ReadPlanned(CReadOnlyFile& file, ReadPlan& plan, const CrcReadOptions& options,
                          std::uint16_t& reg) {
    const std::size_t pieceSize = std::max<std::size_t>(1, options.pieceSize);
    std::vector<std::uint8_t> piece;
    std::uint64_t position = 0;
    while (position < plan.readEnd) {
        if (options.stop && options.stop()) {
            return CrcCheckError::Stopped;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(pieceSize, plan.readEnd - position));
        if (piece.size() < want) {
            piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(pieceSize, plan.size)));
        }
        const long long count = file.Read(piece.data(), want);
        if (count < 0) {
            return CrcCheckError::OpenFailed;
        }
        if (count == 0) {
            platform::SetLastError(0);  // the file ended early; no system error to show
            return CrcCheckError::ShortRead;
        }
        plan.Take(piece.data(), position, static_cast<std::uint64_t>(count), reg);
        position += static_cast<std::uint64_t>(count);
        if (options.onPiece) {
            options.onPiece(static_cast<std::size_t>(count));
        }
    }
    return CrcCheckError::None;
}

}  // namespace

bool IsImageFileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot != std::string::npos && ::strcasecmp(name.c_str() + dot + 1, "bin") == 0;
}

const char* CrcCheckErrorText(CrcCheckError error) {
    switch (error) {
        case CrcCheckError::None:
            return nullptr;
        case CrcCheckError::ShortRead:
            return "Error Reading File";
        case CrcCheckError::OpenFailed:
        case CrcCheckError::CloseFailed:
            return "Unable To Open File";
        case CrcCheckError::NotRegularFile:
            return "Not A Regular File";
        case CrcCheckError::Stopped:
            return "Check Stopped";
    }
    return nullptr;
}

CrcVerdict VerdictOf(const CrcCheckResult& result) {
    if (!result.isImage) {
        return CrcVerdict::NotImage;
    }
    if (result.fileSize < kCrcEnd) {
        return CrcVerdict::HeaderIncomplete;
    }
    // A header of zero length with a zero CRC agrees with itself, yet an
    // upload of it leaves a charger without firmware.
    if (result.noCode) {
        return CrcVerdict::NoCode;
    }
    return result.crcMatches && result.sizeAgrees ? CrcVerdict::Sound : CrcVerdict::Mismatch;
}

std::string CrcVerdictText(const CrcCheckResult& result) {
    if (!result.valuesKnown) {
        return {};
    }
    switch (VerdictOf(result)) {
        case CrcVerdict::NotImage:
            return "Not an image file: nothing to compare";
        case CrcVerdict::HeaderIncomplete:
            return "Too short for an image header";
        case CrcVerdict::NoCode:
            return "No code: the header's length is 0";
        case CrcVerdict::Sound:
        case CrcVerdict::Mismatch:
            break;
    }
    return std::string(result.crcMatches ? "CRC matches" : "CRC does not match") + "; " +
           (result.sizeAgrees ? "size agrees with length" : "size disagrees with length");
}

CrcCheckResult CheckFileCrc(const std::string& path, const CrcReadOptions& options) {
    CrcCheckResult result;
    result.isImage = IsImageFileName(path);
    CReadOnlyFile file;
    std::uint64_t size = 0;
    if (!file.Open(path) || !file.Size(size)) {
        result.error = CrcCheckError::OpenFailed;
        if (file.RefusedKind() != nullptr) {
            result.error = CrcCheckError::NotRegularFile;
            result.fileKind = file.RefusedKind();
        }
        result.systemError = platform::GetLastError();
        return result;
    }
    result.sizeKnown = true;
    result.fileSize = size;
    result.fileSizeText = UnsignedText(size);

    ReadPlan plan(size, result.isImage);
    std::uint16_t reg = 0;
    result.error = ReadPlanned(file, plan, options, reg);
    if (result.error == CrcCheckError::OpenFailed) {
        result.systemError = platform::GetLastError();
    }
    if (!result.Ok()) {
        return result;
    }
    result.valuesKnown = true;
    FillHeaderTexts(plan, result);
    result.generatedCrc = reg;
    result.generatedCrcText = HexWordText(reg);
    FillVerdict(plan, reg, result);
    if (!file.Close()) {
        result.error = CrcCheckError::CloseFailed;
        result.systemError = platform::GetLastError();
    }
    return result;
}
