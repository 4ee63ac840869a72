#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include "DiagTestFiles.h"
#include "TestKit.h"
#include "diagnostics/ImageWriter.h"
#include "platform/LastError.h"
#include "protocol/UpgradeImage.h"

namespace {

using diagtest::ReadBytes;
using diagtest::WriteBytes;

std::vector<std::uint8_t> Image() {
    const auto image = UpgradeImage();
    return {image.begin(), image.end()};
}

std::size_t EntriesIn(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

// Caps the size of files this process may write, so that a write fails half
// way even for a privileged user.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit capped = m_old;
        capped.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~CFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

class ImageWriterTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir.Path() + "/" + name; }
    testkit::CScratchDir m_dir;
};

TEST_F(ImageWriterTest, ExportWritesTheCarriedImageExactly) {
    EXPECT_EQ(DefaultImageFileName(), "2.10e.bin");
    ASSERT_TRUE(ExportImageTo(Path("2.10e.bin")));
    const auto written = ReadBytes(Path("2.10e.bin"));
    EXPECT_EQ(written.size(), 12810U);
    EXPECT_EQ(written, Image());
    EXPECT_EQ(EntriesIn(m_dir.Path()), 1U);  // nothing left beside it
}

TEST_F(ImageWriterTest, ExistingLargerFileIsReplacedWholly) {
    WriteBytes(Path("old.bin"), diagtest::Pattern(50000));
    ASSERT_TRUE(ExportImageTo(Path("old.bin")));
    EXPECT_EQ(ReadBytes(Path("old.bin")), Image());
    EXPECT_EQ(EntriesIn(m_dir.Path()), 1U);
}

TEST_F(ImageWriterTest, NewFileFollowsTheUmaskAndReplacedFileKeepsItsPermissions) {
    const mode_t oldMask = ::umask(022);
    const bool created = ExportImageTo(Path("new.bin"));
    ::umask(oldMask);
    ASSERT_TRUE(created);
    EXPECT_EQ(std::filesystem::status(Path("new.bin")).permissions(), std::filesystem::perms(0644));

    WriteBytes(Path("kept.bin"), {1, 2, 3});
    ::chmod(Path("kept.bin").c_str(), 0640);
    ASSERT_TRUE(ExportImageTo(Path("kept.bin")));
    EXPECT_EQ(std::filesystem::status(Path("kept.bin")).permissions(),
              std::filesystem::perms(0640));
}

TEST_F(ImageWriterTest, SymbolicLinkStaysAndItsTargetIsReplaced) {
    WriteBytes(Path("target.bin"), {9, 9, 9});
    std::filesystem::create_symlink("target.bin", Path("link.bin"));
    ASSERT_TRUE(ExportImageTo(Path("link.bin")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.bin")));
    EXPECT_EQ(ReadBytes(Path("target.bin")), Image());
}

TEST_F(ImageWriterTest, FailedWriteLeavesTheOldFileIntactAndNothingBeside) {
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(Path("keep.bin"), old);
    platform::SetLastError(0);
    bool exported = true;
    {
        CFileSizeLimit limit(4096);
        exported = ExportImageTo(Path("keep.bin"));
    }
    EXPECT_FALSE(exported);
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(EFBIG));
    EXPECT_EQ(ReadBytes(Path("keep.bin")), old);
    EXPECT_EQ(EntriesIn(m_dir.Path()), 1U);
}

TEST_F(ImageWriterTest, UncreatableFileSetsTheSystemError) {
    platform::SetLastError(0);
    EXPECT_FALSE(ExportImageTo(Path("no/such/folder/2.10e.bin")));
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(ENOENT));

    std::filesystem::create_directory(Path("taken.bin"));
    EXPECT_FALSE(ExportImageTo(Path("taken.bin")));
    EXPECT_NE(platform::GetLastError(), 0U);
    EXPECT_TRUE(std::filesystem::is_directory(Path("taken.bin")));
    EXPECT_EQ(EntriesIn(m_dir.Path()), 1U);
}

}  // namespace
