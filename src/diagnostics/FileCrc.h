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
//   covers the whole file. An image file too short to hold both header
//   fields (2 or 3 bytes) shows neither.
//
//   Only regular files are checked: a FIFO, a device or a socket has no size
//   to trust and may never end, so it is refused before anything is read
//   (and a folder fails as "Is a directory"). A check can be stopped between
//   pieces by the caller (Ctrl-C on the command line).
//
//   The verdict compares what an image file says about itself with what it
//   holds: the stored CRC against the computed one, and its size against
//   128 + its length field. A file that is not an image file has nothing to
//   compare.
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
    OpenFailed,      // opening or reading failed: "Unable To Open File"
    ShortRead,       // fewer bytes than the size: "Error Reading File"
    CloseFailed,     // everything known, but closing failed: "Unable To Open File"
    NotRegularFile,  // a FIFO, device or socket: "Not A Regular File"
    Stopped,         // the caller's stop() said so between two pieces
};

// What the header of an image file says against what the file holds.
enum class CrcVerdict {
    NotImage,          // not a .bin file: nothing stored to compare with
    HeaderIncomplete,  // a .bin file of fewer than 4 bytes
    Sound,             // the CRCs match and the size is 128 + length
    Mismatch,          // the CRCs differ, or the size disagrees with the length
    NoCode,            // the header's length is 0: nothing a charger could run
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
    std::string fileKind;           // NotRegularFile: "a FIFO", "a character device"...
    // Image files with a whole header: whether the stored and computed CRCs
    // match and whether the size is 128 + the length field.
    bool crcMatches = false;
    bool sizeAgrees = false;
    bool noCode = false;  // the header's length is 0

    bool Ok() const { return error == CrcCheckError::None; }
};

struct CrcReadOptions {
    static constexpr std::size_t kDefaultPieceSize = 64 * 1024;
    std::size_t pieceSize = kDefaultPieceSize;
    // Called after every piece read with its length (progress, tests).
    std::function<void(std::size_t length)> onPiece;
    // Asked before every piece; true ends the check as Stopped.
    std::function<bool()> stop;
};

CrcCheckResult CheckFileCrc(const std::string& path, const CrcReadOptions& options = {});

// Whether the name's extension (after the last full stop of the file name)
// is "bin" in any case.
bool IsImageFileName(const std::string& path);

// The box text for a failure; null for None.
const char* CrcCheckErrorText(CrcCheckError error);

CrcVerdict VerdictOf(const CrcCheckResult& result);
// One line for the window and the command line, e.g. "CRC matches, size
// agrees with length"; empty unless the values are known.
std::string CrcVerdictText(const CrcCheckResult& result);
