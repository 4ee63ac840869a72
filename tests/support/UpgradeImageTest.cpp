#include "protocol/UpgradeImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

}  // namespace
