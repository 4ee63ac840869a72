// File CRC: the computation behind the file CRC check, shared by the window
// and the command line.
//
// Principles of operation
//   CheckFileCrc opens a file read-only, takes its size and reads it in
//   pieces of a bounded size, feeding the CRC register as it goes, so that a
//   file of any size costs one piece of memory and gives the same CRC as over
//   the whole file at once. A file whose name ends in ".bin" (any case) is an
//   image file: its header's code length ("%u") and CRC ("%04X") are shown
//   and the CRC covers at most that many bytes after offset 128, never past
//   the end of the file. Any other file shows "N/A" for both and its CRC
//   covers the whole file. An image file too short to hold a header field
//   shows an empty text for it.
//
//   Failures set the platform's last error from errno and say how far the
//   check got: the fields the caller may show are those the result marks as
//   known.
//
// Threads: plain functions; the caller's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

enum class CrcCheckError {
    None,
    OpenFailed,   // opening or reading failed: "Unable To Open File"
    ShortRead,    // fewer bytes than the size: "Error Reading File"
    CloseFailed,  // everything known, but closing failed: "Unable To Open File"
};

struct CrcCheckResult {
    CrcCheckError error = CrcCheckError::None;
    bool sizeKnown = false;    // the file was opened and its size taken
    bool valuesKnown = false;  // header texts and CRC computed
    std::uint64_t fileSize = 0;
    bool isImage = false;
    std::string fileSizeText;
    std::string lengthText;     // "%u", "N/A", or empty when the file lacks it
    std::string storedCrcText;  // "%04X", "N/A", or empty when the file lacks it
    std::uint16_t generatedCrc = 0;
    std::string generatedCrcText;   // "%04X"
    std::uint32_t systemError = 0;  // errno of the failing call; 0 for a short read

    bool Ok() const { return error == CrcCheckError::None; }
};

struct CrcReadOptions {
    static constexpr std::size_t kDefaultPieceSize = 64 * 1024;
    std::size_t pieceSize = kDefaultPieceSize;
    // Called after every piece read with its length (progress, tests).
    std::function<void(std::size_t length)> onPiece;
};

CrcCheckResult CheckFileCrc(const std::string& path, const CrcReadOptions& options = {});

// Whether the name's extension (after the last full stop of the file name)
// is "bin" in any case.
bool IsImageFileName(const std::string& path);

// The box text for a failure; null for None.
const char* CrcCheckErrorText(CrcCheckError error);
