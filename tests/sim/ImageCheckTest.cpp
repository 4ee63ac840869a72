// The boot loader's check of a received image: header length, the plain CRC
// over the code, and the version tag inside the code.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "protocol/UpgradeImage.h"
#include "sim/ImageCheck.h"

namespace {

// Sound images with a tag are installed with their version by the engine's
// upload tests; without one the version is unknown.
TEST(ImageCheck, SoundImageWithoutTagHasAnUnknownVersion) {
    const sim::ImageVerdict verdict =
        sim::CheckImage(ImageFile::Build(std::vector<std::uint8_t>(300, 0x55)));
    EXPECT_TRUE(verdict.sound);
    EXPECT_EQ(verdict.version, "unknown");
}

TEST(ImageCheck, DamagedEmptyOrShortImagesAreUnsound) {
    const std::vector<std::uint8_t> good = simtest::TestImage("3.01", 1000);
    auto flipped = [&good](std::size_t at) {
        std::vector<std::uint8_t> image = good;
        image[at] ^= 0x04;
        return image;
    };
    const std::vector<std::uint8_t> shortened(good.begin(), good.end() - 1);
    const std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 100);
    // Code, then the header's CRC, damaged; short; header alone; no code.
    for (const auto& image :
         {flipped(700), flipped(3), shortened, headerOnly, ImageFile::Build({})}) {
        EXPECT_FALSE(sim::CheckImage(image).sound) << image.size();
    }
}

TEST(ImageCheck, VersionTagNeedsItsNulAndPrintableText) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("xxVER:2.10e\0yy", 14), "2.10e"},
        {"xxVER:2.10e", ""},  // runs off the end
        {std::string("VER:\0", 5), ""},
        {std::string("VER:2 1\0", 8), ""},
        {std::string("VER:") + std::string(40, '9') + '\0', ""},
        {"no tag here", ""},
    };
    for (const auto& [text, tag] : cases) {
        EXPECT_EQ(sim::FindVersionTag(std::vector<std::uint8_t>(text.begin(), text.end())), tag)
            << text;
    }
}

}  // namespace
