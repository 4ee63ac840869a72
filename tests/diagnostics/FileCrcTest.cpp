#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "DiagTestFiles.h"
#include "TestKit.h"
#include "diagnostics/FileCrc.h"
#include "diagnostics/ImageWriter.h"
#include "platform/LastError.h"
#include "support/Crc16.h"

namespace {

using diagtest::Pattern;
using diagtest::WithHeader;
using diagtest::WriteBytes;

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

class FileCrcTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir.Path() + "/" + name; }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        WriteBytes(Path(name), bytes);
        return Path(name);
    }

    testkit::CScratchDir m_dir;
};

TEST_F(FileCrcTest, ExportedImageShowsItsHeaderAndMatchingCrc) {
    ASSERT_TRUE(ExportImageTo(Path("2.10e.bin")));
    const CrcCheckResult result = CheckFileCrc(Path("2.10e.bin"));
    ASSERT_TRUE(result.Ok());
    EXPECT_TRUE(result.isImage);
    EXPECT_EQ(result.fileSizeText, "12810");
    EXPECT_EQ(result.lengthText, "12682");
    EXPECT_EQ(result.storedCrcText, "20C5");
    EXPECT_EQ(result.generatedCrcText, "20C5");
}

TEST_F(FileCrcTest, ExtensionBinIsRecognisedInAnyCase) {
    const auto code = Pattern(300);
    const auto file = WithHeader(300, 0xBEEF, code);
    const std::string expected = Hex4(Crc16Plain(code.data(), 0, code.size()));
    for (const char* name : {"a.BIN", "b.Bin", "c.bin", "d.tar.bin"}) {
        const CrcCheckResult result = CheckFileCrc(Write(name, file));
        EXPECT_TRUE(result.isImage) << name;
        EXPECT_EQ(result.lengthText, "300") << name;
        EXPECT_EQ(result.storedCrcText, "BEEF") << name;
        EXPECT_EQ(result.generatedCrcText, expected) << name;
    }
    EXPECT_FALSE(IsImageFileName("/x/image.bin/notes"));
    EXPECT_FALSE(IsImageFileName("image.binx"));
    EXPECT_FALSE(IsImageFileName("image.bin."));
}

TEST_F(FileCrcTest, OtherFilesShowNotApplicableAndTheWholeFileCrc) {
    const auto bytes = WithHeader(16, 0x1234, Pattern(500, 7));
    const std::string whole = Hex4(Crc16Plain(bytes.data(), 0, bytes.size()));
    ASSERT_NE(whole, Hex4(Crc16Plain(bytes.data(), 128, 16)));
    std::filesystem::create_directory(Path("dir.bin"));
    for (const char* name : {"image.hex", "notes.txt", "noextension", "dir.bin/plain"}) {
        const CrcCheckResult result = CheckFileCrc(Write(name, bytes));
        ASSERT_TRUE(result.Ok()) << name;
        EXPECT_FALSE(result.isImage) << name;
        EXPECT_EQ(result.fileSizeText, std::to_string(bytes.size())) << name;
        EXPECT_EQ(result.lengthText, "N/A") << name;
        EXPECT_EQ(result.storedCrcText, "N/A") << name;
        EXPECT_EQ(result.generatedCrcText, whole) << name;
    }
}

TEST_F(FileCrcTest, EmptyAndHeaderOnlyFiles) {
    const CrcCheckResult empty = CheckFileCrc(Write("empty.txt", {}));
    ASSERT_TRUE(empty.Ok());
    EXPECT_EQ(empty.fileSizeText, "0");
    EXPECT_EQ(empty.lengthText, "N/A");
    EXPECT_EQ(empty.storedCrcText, "N/A");
    EXPECT_EQ(empty.generatedCrcText, "0000");

    // 128 bytes: a header and no code, whatever the length field says.
    const CrcCheckResult header = CheckFileCrc(Write("header.bin", WithHeader(0xFFFF, 0x55AA, {})));
    ASSERT_TRUE(header.Ok());
    EXPECT_EQ(header.fileSizeText, "128");
    EXPECT_EQ(header.lengthText, "65535");
    EXPECT_EQ(header.storedCrcText, "55AA");
    EXPECT_EQ(header.generatedCrcText, "0000");
}

TEST_F(FileCrcTest, ImageFileShorterThanItsHeaderFieldsShowsOnlyWhatItHas) {
    const CrcCheckResult none = CheckFileCrc(Write("0.bin", {}));
    EXPECT_EQ(none.lengthText, "");
    EXPECT_EQ(none.storedCrcText, "");
    EXPECT_EQ(none.generatedCrcText, "0000");

    const CrcCheckResult one = CheckFileCrc(Write("1.bin", {0x12}));
    EXPECT_EQ(one.lengthText, "");
    EXPECT_EQ(one.storedCrcText, "");

    const CrcCheckResult three = CheckFileCrc(Write("3.bin", {0x01, 0x02, 0xAB}));
    ASSERT_TRUE(three.Ok());
    EXPECT_EQ(three.fileSizeText, "3");
    EXPECT_EQ(three.lengthText, "258");
    EXPECT_EQ(three.storedCrcText, "");
    EXPECT_EQ(three.generatedCrcText, "0000");

    const CrcCheckResult four = CheckFileCrc(Write("4.bin", {0x00, 0x10, 0xAB, 0xCD}));
    EXPECT_EQ(four.lengthText, "16");
    EXPECT_EQ(four.storedCrcText, "ABCD");
}

TEST_F(FileCrcTest, LengthFieldBoundsTheCrcButNeverReachesPastTheEnd) {
    const auto code = Pattern(1000, 3);
    const CrcCheckResult larger = CheckFileCrc(Write("larger.bin", WithHeader(4000, 0, code)));
    EXPECT_EQ(larger.lengthText, "4000");
    EXPECT_EQ(larger.generatedCrcText, Hex4(Crc16Plain(code.data(), 0, code.size())));

    const CrcCheckResult smaller = CheckFileCrc(Write("smaller.bin", WithHeader(600, 0, code)));
    EXPECT_EQ(smaller.lengthText, "600");
    EXPECT_EQ(smaller.generatedCrcText, Hex4(Crc16Plain(code.data(), 0, 600)));
    EXPECT_NE(smaller.generatedCrcText, larger.generatedCrcText);
}

TEST_F(FileCrcTest, LargeFileIsReadInBoundedPiecesWithTheSameCrc) {
    const auto bytes = Pattern(3 * 1024 * 1024 + 17, 11);
    const std::string path = Write("large.dat", bytes);
    CrcReadOptions options;
    options.pieceSize = 4096;
    std::size_t pieces = 0;
    std::size_t total = 0;
    std::size_t largest = 0;
    options.onPiece = [&](std::size_t length) {
        ++pieces;
        total += length;
        largest = std::max(largest, length);
    };
    const CrcCheckResult result = CheckFileCrc(path, options);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(total, bytes.size());
    EXPECT_LE(largest, 4096U);
    EXPECT_GE(pieces, bytes.size() / 4096);
    EXPECT_EQ(result.generatedCrc, Crc16Plain(bytes.data(), 0, bytes.size()));

    // The default piece is far below the file's size.
    std::size_t defaultLargest = 0;
    CrcReadOptions defaults;
    defaults.onPiece = [&](std::size_t length) {
        defaultLargest = std::max(defaultLargest, length);
    };
    EXPECT_EQ(CheckFileCrc(path, defaults).generatedCrc, result.generatedCrc);
    EXPECT_LE(defaultLargest, CrcReadOptions::kDefaultPieceSize);
    EXPECT_LT(CrcReadOptions::kDefaultPieceSize, bytes.size() / 8);
}

TEST_F(FileCrcTest, ImageFileReadsOnlyHeaderAndCodeEvenInOneBytePieces) {
    auto file = WithHeader(200, 0, Pattern(200, 5));
    const auto trailer = Pattern(100000, 9);
    file.insert(file.end(), trailer.begin(), trailer.end());
    CrcReadOptions options;
    options.pieceSize = 1;
    std::size_t total = 0;
    options.onPiece = [&](std::size_t length) { total += length; };
    const CrcCheckResult result = CheckFileCrc(Write("tail.bin", file), options);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(total, 328U);
    EXPECT_EQ(result.fileSizeText, std::to_string(file.size()));
    EXPECT_EQ(result.generatedCrc, Crc16Plain(file.data(), 128, 200));
}

TEST_F(FileCrcTest, MissingFileFailsToOpenWithTheSystemError) {
    platform::SetLastError(0);
    const CrcCheckResult result = CheckFileCrc(Path("missing.bin"));
    EXPECT_EQ(result.error, CrcCheckError::OpenFailed);
    EXPECT_STREQ(CrcCheckErrorText(result.error), "Unable To Open File");
    EXPECT_FALSE(result.sizeKnown);
    EXPECT_FALSE(result.valuesKnown);
    EXPECT_EQ(result.systemError, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(ENOENT));
}

TEST_F(FileCrcTest, ReadFailureAfterOpeningKnowsTheSizeButNoValues) {
    std::filesystem::create_directory(Path("folder.bin"));
    const CrcCheckResult result = CheckFileCrc(Path("folder.bin"));
    EXPECT_EQ(result.error, CrcCheckError::OpenFailed);
    EXPECT_TRUE(result.sizeKnown);
    EXPECT_FALSE(result.valuesKnown);
    EXPECT_EQ(result.systemError, static_cast<std::uint32_t>(EISDIR));
}

TEST_F(FileCrcTest, FileThatShrinksWhileReadIsAShortRead) {
    const std::string path = Write("shrinking.txt", Pattern(64 * 1024));
    CrcReadOptions options;
    options.pieceSize = 4096;
    bool truncated = false;
    options.onPiece = [&](std::size_t) {
        if (!truncated) {
            truncated = ::truncate(path.c_str(), 10000) == 0;
        }
    };
    platform::SetLastError(EIO);
    const CrcCheckResult result = CheckFileCrc(path, options);
    ASSERT_TRUE(truncated);
    EXPECT_EQ(result.error, CrcCheckError::ShortRead);
    EXPECT_STREQ(CrcCheckErrorText(result.error), "Error Reading File");
    EXPECT_EQ(result.fileSizeText, "65536");
    EXPECT_FALSE(result.valuesKnown);
    // No stale system text goes with this box.
    EXPECT_EQ(platform::GetLastError(), 0U);
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
