#include "protocol/UpgradeImage.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "TestKit.h"
#include "protocol/FirmwareImageFile.h"
#include "support/Crc16.h"

namespace {

TEST(UpgradeImage, HeaderDescribesTheCode) {
    const auto image = UpgradeImage();
    ASSERT_EQ(image.size(), 12810U);
    const ImageFile::Header header = ImageFile::ReadHeader(image);
    EXPECT_EQ(header.codeLength, 12682);
    EXPECT_EQ(header.codeLength + ImageFile::kHeaderSize, image.size());
    EXPECT_EQ(header.codeCrc, 0x20C5);
    EXPECT_EQ(image[0], 0x31);
    EXPECT_EQ(image[1], 0x8A);
    EXPECT_TRUE(std::all_of(image.begin() + 4, image.begin() + 128, [](auto b) { return b == 0; }));
}

TEST(UpgradeImage, CodeCrcInBothForms) {
    const auto image = UpgradeImage();
    EXPECT_EQ(Crc16Plain(image.data(), 128, image.size() - 128), 0x20C5);
    EXPECT_EQ(Crc16Xmodem(image.data() + 128, image.size() - 128), 0x8F0F);
}

TEST(UpgradeImage, CarriesItsVersionTagAndSlicesInto101Blocks) {
    const auto image = UpgradeImage();
    const std::string tag = std::string("VER:") + UpgradeVersion();
    EXPECT_EQ(std::string(UpgradeVersion()), "2.10e");
    EXPECT_NE(std::search(image.begin(), image.end(), tag.begin(), tag.end()), image.end());
    EXPECT_EQ((image.size() + 127) / 128, 101U);
    EXPECT_EQ(image.size() - 100 * 128, 10U);
}

TEST(ImageFile, BuildThenReadRoundTrips) {
    const std::vector<std::uint8_t> code = {'a', 'b', 'c'};
    const auto file = ImageFile::Build(code);
    ASSERT_EQ(file.size(), 131U);
    const auto header = ImageFile::ReadHeader(file);
    EXPECT_EQ(header.codeLength, 3);
    EXPECT_EQ(header.codeCrc, 0x1EE4);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), file.begin() + 128));
    // The carried image follows the same rule.
    const auto image = UpgradeImage();
    const std::vector<std::uint8_t> carriedCode(image.begin() + 128, image.end());
    const auto rebuilt = ImageFile::Build(carriedCode);
    EXPECT_TRUE(std::equal(rebuilt.begin(), rebuilt.end(), image.begin(), image.end()));
}

TEST(ImageFile, ShortFileReadsMissingHeaderBytesAsZero) {
    const std::vector<std::uint8_t> three = {0x12, 0x34, 0x56};
    const auto header = ImageFile::ReadHeader(three);
    EXPECT_EQ(header.codeLength, 0x1234);
    EXPECT_EQ(header.codeCrc, 0x5600);
}

// What an image file's bytes must be before anything is sent, at the edges
// of each rule.
TEST(ImageFile, ProblemsAtTheEdgesOfEachRule) {
    const auto largest = ImageFile::Build(std::vector<std::uint8_t>(65535, 0x5A));
    auto byte4 = ImageFile::Build(std::vector<std::uint8_t>{1, 2, 3});
    byte4[4] = 1;
    auto byte127 = ImageFile::Build(std::vector<std::uint8_t>{1, 2, 3});
    byte127[127] = 0x80;
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* problem;
    } cases[] = {
        {"LargestLegalCode", largest, ""},
        {"ReservedByte4Set", byte4, "header bytes 4 to 127 are not all zero"},
        {"ReservedByte127Set", byte127, "header bytes 4 to 127 are not all zero"},
        // Length 0 and CRC 0 agree with the empty code.
        {"NoCode", ImageFile::Build({}), "it holds no code"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ImageFileProblem(c.bytes), c.problem) << c.name;
    }
}

TEST(ImageFile, LabelIsTheNameWithoutABinExtension) {
    const struct {
        const char* path;
        const char* label;
    } cases[] = {
        {"/images/2.10e.bin", "2.10e"}, {"2.11a", "2.11a"},
        {"old/2.11A.BIN", "2.11A"},     {"2.12.Bin", "2.12"},
        {"fw-2.12.hex", "fw-2.12.hex"}, {".bin", ".bin"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LabelFromFileName(c.path), c.label) << c.path;
    }
}

// A port typed where the image was meant is refused by its type alone:
// opening it would move the charger's DTR line.
TEST(ImageFile, DeviceGivenAsTheImageIsNeverOpened) {
    testkit::CPtyPair pty;
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, pty.SlavePath().c_str(), IN_OPEN), 0);
    std::string reason;
    EXPECT_FALSE(LoadFirmwareImage(pty.SlavePath(), "2.10e", reason).has_value());
    EXPECT_EQ(reason, "it is not a regular file");
    alignas(inotify_event) char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "the device was opened";
    ::close(watch);
}

}  // namespace
