#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <thread>

#include "DiagTestFiles.h"
#include "TestKit.h"
#include "diagnostics/FileCrc.h"
#include "diagnostics/ImageWriter.h"
#include "platform/LastError.h"
#include "support/Crc16.h"

namespace {

namespace fs = std::filesystem;
using namespace diagtest;

// The file CRC check and the image writer on files in a scratch folder.
class FileToolsTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir.Path() + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        WriteBytes(Path(name), bytes);
        return Path(name);
    }
    // Entries in the folder: a failed or finished export leaves nothing beside its file.
    long Entries() const { return std::distance(fs::directory_iterator(m_dir.Path()), {}); }

    testkit::CScratchDir m_dir;
};

// The extension decides (in any case) whether the header is shown and the
// CRC bounded by its length; the CRC never reaches past the end of the file,
// and an image file is read only as far as its code. Small pieces make the
// CRC run on across them.
TEST_F(FileToolsTest, CrcNameAndHeaderDecideTheFieldsAndTheCrcRange) {
    const Bytes smaller = WithHeader(600, 0xBEEF, Pattern(1000, 3));
    fs::create_directory(Path("dir.bin"));
    const struct {
        const char* name;
        Bytes bytes;
        const char *length, *stored;
        std::size_t from, count, read;  // the bytes the CRC covers; the bytes read
    } cases[] = {
        {"a.BIN", smaller, "600", "BEEF", 128, 600, 728},
        {"b.Bin", smaller, "600", "BEEF", 128, 600, 728},
        {"c.tar.bin", smaller, "600", "BEEF", 128, 600, 728},
        {"larger.bin", WithHeader(4000, 0x55AA, Pattern(1000, 3)), "4000", "55AA", 128, 1000, 1128},
        {"header.bin", WithHeader(0xFFFF, 0x55AA, {}), "65535", "55AA", 128, 0, 128},
        {"image.hex", smaller, "N/A", "N/A", 0, 1128, 1128},
        {"notes.txt", smaller, "N/A", "N/A", 0, 1128, 1128},
        {"noextension", smaller, "N/A", "N/A", 0, 1128, 1128},
        {"image.binx", smaller, "N/A", "N/A", 0, 1128, 1128},
        {"image.bin.", smaller, "N/A", "N/A", 0, 1128, 1128},
        {"dir.bin/plain", smaller, "N/A", "N/A", 0, 1128, 1128},
        {"empty.txt", {}, "N/A", "N/A", 0, 0, 0},
        // A header cut short shows neither field.
        {"0.bin", {}, "", "", 0, 0, 0},
        {"1.bin", {0x12}, "", "", 0, 0, 1},
        {"2.bin", {0x01, 0x02}, "", "", 0, 0, 2},
        {"3.bin", {0x01, 0x02, 0xAB}, "", "", 0, 0, 3},
        {"4.bin", {0x00, 0x10, 0xAB, 0xCD}, "16", "ABCD", 0, 0, 4},
    };
    for (const auto& c : cases) {
        CrcReadOptions options;
        options.pieceSize = 100;
        std::size_t read = 0;
        options.onPiece = [&](std::size_t length) { read += length; };
        const CrcCheckResult result = CheckFileCrc(Write(c.name, c.bytes), options);
        ASSERT_TRUE(result.Ok()) << c.name;
        EXPECT_EQ(result.isImage, std::string(c.length) != "N/A") << c.name;
        EXPECT_EQ(result.fileSizeText, std::to_string(c.bytes.size())) << c.name;
        EXPECT_EQ(result.lengthText, c.length) << c.name;
        EXPECT_EQ(result.storedCrcText, c.stored) << c.name;
        EXPECT_EQ(result.generatedCrc, Crc16Plain(c.bytes.data(), c.from, c.count)) << c.name;
        EXPECT_EQ(read, c.read) << c.name;
    }
}

// A large file costs one bounded piece of memory, with the default piece
// too, and gives the CRC over the whole of it.
TEST_F(FileToolsTest, CrcLargeFileIsReadInBoundedPieces) {
    const Bytes large = Pattern(3 * 1024 * 1024 + 17, 11);
    const std::string path = Write("large.dat", large);
    for (const std::size_t piece : {std::size_t{4096}, std::size_t{0}}) {  // 0: the default
        CrcReadOptions options;
        options.pieceSize = piece != 0 ? piece : options.pieceSize;
        std::size_t total = 0, largest = 0;
        options.onPiece = [&](std::size_t length) {
            total += length;
            largest = std::max(largest, length);
        };
        EXPECT_EQ(CheckFileCrc(path, options).generatedCrc,
                  Crc16Plain(large.data(), 0, large.size()));
        EXPECT_EQ(total, large.size());
        EXPECT_LE(largest, piece != 0 ? piece : large.size() / 8);
    }
}

// Each failure says how far the check got; the last error is the failing
// call's errno, and no stale system text goes with a short read.
TEST_F(FileToolsTest, CrcFailuresSayHowFarTheCheckGotAndWhy) {
    const std::string shrinking = Write("shrinking.txt", Pattern(64 * 1024));
    fs::create_directory(Path("folder.bin"));
    CrcReadOptions options;
    options.pieceSize = 4096;
    // The file shrinks once reading has begun: fewer bytes than its size.
    options.onPiece = [&](std::size_t) { ASSERT_EQ(::truncate(shrinking.c_str(), 10000), 0); };
    const struct {
        std::string path;
        CrcCheckError error;
        const char* box;
        std::string size;  // empty: not known
        std::uint32_t systemError;
    } cases[] = {
        {Path("missing.bin"), CrcCheckError::OpenFailed, "Unable To Open File", "", ENOENT},
        {Path("folder.bin"), CrcCheckError::OpenFailed, "Unable To Open File", "", EISDIR},
        {shrinking, CrcCheckError::ShortRead, "Error Reading File", "65536", 0},
    };
    for (const auto& c : cases) {
        platform::SetLastError(EIO);
        const CrcCheckResult result = CheckFileCrc(c.path, options);
        EXPECT_EQ(result.error, c.error) << c.path;
        EXPECT_STREQ(CrcCheckErrorText(result.error), c.box) << c.path;
        EXPECT_EQ(result.sizeKnown, !c.size.empty()) << c.path;
        EXPECT_EQ(result.fileSizeText, c.size) << c.path;
        EXPECT_FALSE(result.valuesKnown) << c.path;
        EXPECT_EQ(result.systemError, c.systemError) << c.path;
        EXPECT_EQ(platform::GetLastError(), c.systemError) << c.path;
    }
}

// A FIFO (with nobody writing, it would never end), a device, or a link to
// one is refused by its type, without reading and without blocking.
TEST_F(FileToolsTest, CrcRefusesWhatIsNotARegularFile) {
    ASSERT_EQ(::mkfifo(Path("pipe.bin").c_str(), 0600), 0);
    fs::create_symlink(Path("pipe.bin"), Path("link.bin"));
    const std::pair<std::string, const char*> cases[] = {{Path("pipe.bin"), "a FIFO"},
                                                         {Path("link.bin"), "a FIFO"},
                                                         {"/dev/null", "a character device"},
                                                         {"/dev/zero", "a character device"}};
    for (const auto& [path, kind] : cases) {
        std::size_t read = 0;
        CrcReadOptions options;
        options.onPiece = [&](std::size_t length) { read += length; };
        const CrcCheckResult result = CheckFileCrc(path, options);
        EXPECT_EQ(result.error, CrcCheckError::NotRegularFile) << path;
        EXPECT_STREQ(CrcCheckErrorText(result.error), "Not A Regular File");
        EXPECT_EQ(result.fileKind, kind) << path;
        EXPECT_FALSE(result.sizeKnown || result.valuesKnown) << path;
        EXPECT_EQ(read, 0U) << path;
    }
}

// The header's claims against the file: its CRC against the computed one,
// its size against 128 + length. Files that are not image files, or too
// short for a header, have nothing to compare.
TEST_F(FileToolsTest, CrcVerdictComparesTheHeaderWithTheFile) {
    const Bytes code = Pattern(500, 5);
    const std::uint16_t crc = Crc16Plain(code.data(), 0, code.size());
    Bytes longer = WithHeader(500, crc, code);
    longer.push_back(0);
    const struct {
        const char* name;
        Bytes bytes;
        CrcVerdict verdict;
        bool crcMatches, sizeAgrees;
        const char* text;
    } cases[] = {
        {"sound.bin", WithHeader(500, crc, code), CrcVerdict::Sound, true, true,
         "CRC matches; size agrees with length"},
        {"badcrc.bin", WithHeader(500, crc ^ 1, code), CrcVerdict::Mismatch, false, true,
         "CRC does not match; size agrees with length"},
        // One byte more than the length says: the CRC over the length still matches.
        {"longer.bin", longer, CrcVerdict::Mismatch, true, false,
         "CRC matches; size disagrees with length"},
        // Cut short: the CRC over what is left differs too.
        {"cut.bin", WithHeader(500, crc, Bytes(code.begin(), code.end() - 1)), CrcVerdict::Mismatch,
         false, false, "CRC does not match; size disagrees with length"},
        {"sound.txt", WithHeader(500, crc, code), CrcVerdict::NotImage, false, false,
         "Not an image file: nothing to compare"},
        // Length 0 and CRC 0 agree with an empty code, but there is nothing to run.
        {"empty.bin", WithHeader(0, 0, {}), CrcVerdict::NoCode, true, true,
         "No code: the header's length is 0"},
        {"3.bin",
         {0x01, 0xF4, 0x12},
         CrcVerdict::HeaderIncomplete,
         false,
         false,
         "Too short for an image header"},
    };
    for (const auto& c : cases) {
        const CrcCheckResult result = CheckFileCrc(Write(c.name, c.bytes));
        ASSERT_TRUE(result.Ok()) << c.name;
        EXPECT_EQ(VerdictOf(result), c.verdict) << c.name;
        EXPECT_EQ(result.crcMatches, c.crcMatches) << c.name;
        EXPECT_EQ(result.sizeAgrees, c.sizeAgrees) << c.name;
        EXPECT_EQ(CrcVerdictText(result), c.text) << c.name;
    }
}

// The caller can stop a long check between two pieces.
TEST_F(FileToolsTest, CrcStopsBetweenPiecesWhenAsked) {
    const std::string path = Write("large.dat", Pattern(1024 * 1024));
    CrcReadOptions options;
    options.pieceSize = 4096;
    std::size_t pieces = 0;
    options.onPiece = [&](std::size_t) { ++pieces; };
    options.stop = [&] { return pieces == 3; };
    const CrcCheckResult result = CheckFileCrc(path, options);
    EXPECT_EQ(result.error, CrcCheckError::Stopped);
    EXPECT_FALSE(result.valuesKnown);
    EXPECT_EQ(pieces, 3U);
}

// A new file follows the umask; an existing larger one is replaced whole and
// keeps its permissions; a symbolic link stays and its target is replaced.
TEST_F(FileToolsTest, ExportWritesTheCarriedImageExactlyInPlace) {
    const mode_t oldMask = ::umask(022);
    const bool created = ExportImageTo(Path("2.10e.bin"));
    ::umask(oldMask);
    ASSERT_TRUE(created);
    EXPECT_EQ(ReadBytes(Path("2.10e.bin")), Image());
    EXPECT_EQ(fs::status(Path("2.10e.bin")).permissions(), fs::perms(0644));

    WriteBytes(Path("old.bin"), Pattern(50000));
    ::chmod(Path("old.bin").c_str(), 0640);
    ASSERT_TRUE(ExportImageTo(Path("old.bin")));
    EXPECT_EQ(ReadBytes(Path("old.bin")), Image());
    EXPECT_EQ(fs::status(Path("old.bin")).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(), 2);

    fs::create_symlink("old.bin", Path("link.bin"));
    WriteBytes(Path("old.bin"), {9, 9, 9});
    ASSERT_TRUE(ExportImageTo(Path("link.bin")));
    EXPECT_TRUE(fs::is_symlink(Path("link.bin")));
    EXPECT_EQ(ReadBytes(Path("old.bin")), Image());
}

// A FIFO, or a link to one, is written in place and stays what it was; one
// that nobody reads fails at once instead of waiting for a reader.
TEST_F(FileToolsTest, ExportWritesInPlaceWhatIsNotARegularFile) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    fs::create_symlink(Path("pipe"), Path("link.bin"));
    platform::SetLastError(0);
    EXPECT_FALSE(ExportImageTo(Path("link.bin")));
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(ENXIO));

    // The pipe's buffer holds the whole image, so one thread can play both ends.
    const int reader = ::open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const bool exported = ExportImageTo(Path("link.bin"));
    Bytes received(Image().size() + 1);
    const ssize_t count = ::read(reader, received.data(), received.size());
    ::close(reader);
    EXPECT_TRUE(exported);
    received.resize(static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
    EXPECT_EQ(received, Image());
    EXPECT_TRUE(fs::is_fifo(Path("pipe")));
    EXPECT_TRUE(fs::is_symlink(Path("link.bin")));
    EXPECT_EQ(Entries(), 2);

    // A slow reader of a pipe that holds less than the image is waited for.
    const int slow = ::open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(slow, 0);
    ASSERT_GE(::fcntl(slow, F_SETPIPE_SZ, 4096), 0);
    Bytes slowly;
    std::thread reading([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::uint8_t piece[1024];
        while (slowly.size() < Image().size() && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const ssize_t got = ::read(slow, piece, sizeof piece);
            slowly.insert(slowly.end(), piece, piece + std::max<ssize_t>(got, 0));
        }
    });
    const bool waited = ExportImageTo(Path("pipe"));
    reading.join();
    ::close(slow);
    EXPECT_TRUE(waited) << platform::GetLastError();
    EXPECT_EQ(slowly, Image());
}

// A failed export keeps the old file, leaves nothing beside it and sets the
// failing call's errno.
TEST_F(FileToolsTest, ExportFailuresLeaveTheOldFileIntactAndNothingBeside) {
    const Bytes old = {'o', 'l', 'd'};
    WriteBytes(Path("keep.bin"), old);
    // Cap the size of files this process may write, so the write fails half
    // way even for a privileged user.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit capped = oldLimit;
    capped.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &capped);
    const bool exported = ExportImageTo(Path("keep.bin"));
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(exported);
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(EFBIG));
    EXPECT_EQ(ReadBytes(Path("keep.bin")), old);

    EXPECT_FALSE(ExportImageTo(Path("no/such/folder/2.10e.bin")));
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(ENOENT));

    fs::create_directory(Path("taken.bin"));
    platform::SetLastError(0);
    EXPECT_FALSE(ExportImageTo(Path("taken.bin")));
    EXPECT_NE(platform::GetLastError(), 0U);
    EXPECT_TRUE(fs::is_directory(Path("taken.bin")));
    EXPECT_EQ(Entries(), 2);
}

}  // namespace
