#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <iterator>

#include "DiagTestFiles.h"
#include "TestKit.h"
#include "diagnostics/FileCrc.h"
#include "diagnostics/ImageWriter.h"
#include "platform/LastError.h"
#include "protocol/UpgradeImage.h"

namespace {

namespace fs = std::filesystem;
using diagtest::ReadBytes;
using diagtest::WriteBytes;

std::vector<std::uint8_t> Image() {
    const auto image = UpgradeImage();
    return {image.begin(), image.end()};
}

class ImageWriterTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir.Path() + "/" + name; }
    // Entries in the folder: a failed or finished export leaves nothing beside its file.
    long Entries() const { return std::distance(fs::directory_iterator(m_dir.Path()), {}); }
    testkit::CScratchDir m_dir;
};

TEST_F(ImageWriterTest, ExportWritesTheCarriedImageExactlyAndItChecksOut) {
    EXPECT_EQ(DefaultImageFileName(), "2.10e.bin");
    const mode_t oldMask = ::umask(022);
    const bool created = ExportImageTo(Path("2.10e.bin"));
    ::umask(oldMask);
    ASSERT_TRUE(created);
    EXPECT_EQ(ReadBytes(Path("2.10e.bin")), Image());
    EXPECT_EQ(fs::status(Path("2.10e.bin")).permissions(), fs::perms(0644));
    EXPECT_EQ(Entries(), 1);

    const CrcCheckResult check = CheckFileCrc(Path("2.10e.bin"));
    ASSERT_TRUE(check.Ok());
    EXPECT_EQ(check.fileSizeText, "12810");
    EXPECT_EQ(check.lengthText, "12682");
    EXPECT_EQ(check.storedCrcText, "20C5");
    EXPECT_EQ(check.generatedCrcText, "20C5");
}

TEST_F(ImageWriterTest, ExistingFileIsReplacedWhollyAndKeepsItsPermissions) {
    WriteBytes(Path("old.bin"), diagtest::Pattern(50000));
    ::chmod(Path("old.bin").c_str(), 0640);
    ASSERT_TRUE(ExportImageTo(Path("old.bin")));
    EXPECT_EQ(ReadBytes(Path("old.bin")), Image());
    EXPECT_EQ(fs::status(Path("old.bin")).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(), 1);

    // A symbolic link stays and its target is replaced.
    fs::create_symlink("old.bin", Path("link.bin"));
    WriteBytes(Path("old.bin"), {9, 9, 9});
    ASSERT_TRUE(ExportImageTo(Path("link.bin")));
    EXPECT_TRUE(fs::is_symlink(Path("link.bin")));
    EXPECT_EQ(ReadBytes(Path("old.bin")), Image());
}

TEST_F(ImageWriterTest, FailedWriteLeavesTheOldFileIntactAndNothingBeside) {
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(Path("keep.bin"), old);
    platform::SetLastError(0);
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
    EXPECT_EQ(Entries(), 1);
}

TEST_F(ImageWriterTest, UncreatableFileSetsTheSystemError) {
    platform::SetLastError(0);
    EXPECT_FALSE(ExportImageTo(Path("no/such/folder/2.10e.bin")));
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(ENOENT));

    fs::create_directory(Path("taken.bin"));
    EXPECT_FALSE(ExportImageTo(Path("taken.bin")));
    EXPECT_NE(platform::GetLastError(), 0U);
    EXPECT_TRUE(fs::is_directory(Path("taken.bin")));
    EXPECT_EQ(Entries(), 1);
}

}  // namespace
