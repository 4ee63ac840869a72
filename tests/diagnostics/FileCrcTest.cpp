#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "DiagTestFiles.h"
#include "TestKit.h"
#include "diagnostics/FileCrc.h"
#include "platform/LastError.h"
#include "support/Crc16.h"

namespace {

using diagtest::Pattern;
using diagtest::WithHeader;
using Bytes = std::vector<std::uint8_t>;

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

class FileCrcTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir.Path() + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        diagtest::WriteBytes(Path(name), bytes);
        return Path(name);
    }

    testkit::CScratchDir m_dir;
};

// The extension decides (in any case) whether the header is shown and the
// CRC bounded by its length; the CRC never reaches past the end of the file.
TEST_F(FileCrcTest, NameAndHeaderDecideTheFieldsAndTheCrcRange) {
    const Bytes code = Pattern(1000, 3);
    const Bytes smaller = WithHeader(600, 0xBEEF, code);
    std::filesystem::create_directory(Path("dir.bin"));
    const struct {
        const char* name;
        Bytes bytes;
        const char* length;
        const char* stored;
        std::size_t from, count;  // the bytes the CRC covers
    } cases[] = {
        {"a.BIN", smaller, "600", "BEEF", 128, 600},
        {"b.Bin", smaller, "600", "BEEF", 128, 600},
        {"c.tar.bin", smaller, "600", "BEEF", 128, 600},
        {"larger.bin", WithHeader(4000, 0x55AA, code), "4000", "55AA", 128, 1000},
        {"header.bin", WithHeader(0xFFFF, 0x55AA, {}), "65535", "55AA", 128, 0},
        {"image.hex", smaller, "N/A", "N/A", 0, smaller.size()},
        {"notes.txt", smaller, "N/A", "N/A", 0, smaller.size()},
        {"noextension", smaller, "N/A", "N/A", 0, smaller.size()},
        {"image.binx", smaller, "N/A", "N/A", 0, smaller.size()},
        {"image.bin.", smaller, "N/A", "N/A", 0, smaller.size()},
        {"dir.bin/plain", smaller, "N/A", "N/A", 0, smaller.size()},
        {"empty.txt", {}, "N/A", "N/A", 0, 0},
        // Too short for a header field: only what the file has is shown.
        {"0.bin", {}, "", "", 0, 0},
        {"1.bin", {0x12}, "", "", 0, 0},
        {"3.bin", {0x01, 0x02, 0xAB}, "258", "", 0, 0},
        {"4.bin", {0x00, 0x10, 0xAB, 0xCD}, "16", "ABCD", 0, 0},
    };
    for (const auto& c : cases) {
        const CrcCheckResult result = CheckFileCrc(Write(c.name, c.bytes));
        ASSERT_TRUE(result.Ok()) << c.name;
        EXPECT_EQ(result.isImage, std::string(c.length) != "N/A") << c.name;
        EXPECT_EQ(result.fileSizeText, std::to_string(c.bytes.size())) << c.name;
        EXPECT_EQ(result.lengthText, c.length) << c.name;
        EXPECT_EQ(result.storedCrcText, c.stored) << c.name;
        EXPECT_EQ(result.generatedCrcText, Hex4(Crc16Plain(c.bytes.data(), c.from, c.count)))
            << c.name;
    }
}

// Memory stays bounded by the piece; an image file is read only as far as its code.
TEST_F(FileCrcTest, FilesAreReadInBoundedPiecesWithTheSameCrc) {
    const Bytes large = Pattern(3 * 1024 * 1024 + 17, 11);
    Bytes tail = WithHeader(200, 0, Pattern(200, 5));
    const Bytes trailer = Pattern(100000, 9);
    tail.insert(tail.end(), trailer.begin(), trailer.end());
    const std::uint16_t largeCrc = Crc16Plain(large.data(), 0, large.size());
    const struct {
        std::string path;
        std::size_t piece;  // 0: the default
        std::size_t read;
        std::uint16_t crc;
    } cases[] = {
        {Write("large.dat", large), 4096, large.size(), largeCrc},
        {Path("large.dat"), 0, large.size(), largeCrc},
        {Write("tail.bin", tail), 1, 328, Crc16Plain(tail.data(), 128, 200)},
    };
    for (const auto& c : cases) {
        CrcReadOptions options;
        if (c.piece != 0) {
            options.pieceSize = c.piece;
        }
        std::size_t total = 0;
        std::size_t largest = 0;
        options.onPiece = [&](std::size_t length) {
            total += length;
            largest = std::max(largest, length);
        };
        const CrcCheckResult result = CheckFileCrc(c.path, options);
        ASSERT_TRUE(result.Ok()) << c.path;
        EXPECT_EQ(total, c.read) << c.path;
        EXPECT_LE(largest, c.piece != 0 ? c.piece : large.size() / 8) << c.path;
        EXPECT_EQ(result.generatedCrc, c.crc) << c.path;
    }
}

TEST_F(FileCrcTest, FailuresSayHowFarTheCheckGotWithTheSystemError) {
    platform::SetLastError(0);
    const CrcCheckResult missing = CheckFileCrc(Path("missing.bin"));
    EXPECT_EQ(missing.error, CrcCheckError::OpenFailed);
    EXPECT_STREQ(CrcCheckErrorText(missing.error), "Unable To Open File");
    EXPECT_FALSE(missing.sizeKnown);
    EXPECT_FALSE(missing.valuesKnown);
    EXPECT_EQ(missing.systemError, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(ENOENT));

    // Opened and sized, then the read fails.
    std::filesystem::create_directory(Path("folder.bin"));
    const CrcCheckResult folder = CheckFileCrc(Path("folder.bin"));
    EXPECT_EQ(folder.error, CrcCheckError::OpenFailed);
    EXPECT_TRUE(folder.sizeKnown);
    EXPECT_FALSE(folder.valuesKnown);
    EXPECT_EQ(folder.systemError, static_cast<std::uint32_t>(EISDIR));
}

TEST_F(FileCrcTest, FileThatShrinksWhileReadIsAShortRead) {
    const std::string path = Write("shrinking.txt", Pattern(64 * 1024));
    CrcReadOptions options;
    options.pieceSize = 4096;
    bool truncated = false;
    options.onPiece = [&](std::size_t) {
        truncated = truncated || ::truncate(path.c_str(), 10000) == 0;
    };
    platform::SetLastError(EIO);
    const CrcCheckResult result = CheckFileCrc(path, options);
    ASSERT_TRUE(truncated);
    EXPECT_EQ(result.error, CrcCheckError::ShortRead);
    EXPECT_STREQ(CrcCheckErrorText(result.error), "Error Reading File");
    EXPECT_EQ(result.fileSizeText, "65536");
    EXPECT_FALSE(result.valuesKnown);
    EXPECT_EQ(platform::GetLastError(), 0U);  // no stale system text goes with the box
}

TEST_F(FileCrcTest, FifoDoesNotBlockTheCheck) {
    const std::string path = Path("pipe.bin");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const CrcCheckResult result = CheckFileCrc(path);
    EXPECT_TRUE(result.Ok());
    EXPECT_EQ(result.fileSizeText, "0");
    EXPECT_EQ(result.generatedCrcText, "0000");
}

}  // namespace
