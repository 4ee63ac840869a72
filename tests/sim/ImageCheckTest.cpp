// The boot loader's check of a received image: header length, the plain CRC
// over the code, and the version tag inside the code.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "protocol/UpgradeImage.h"
#include "sim/ImageCheck.h"

namespace {

TEST(ImageCheck, SoundImagesReportTheirVersion) {
    std::vector<std::uint8_t> padded = simtest::TestImage("3.01", 1000);
    padded.resize(((padded.size() + 127) / 128) * 128, 0x1A);  // a sender's filler
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {simtest::CarriedImage(), CORVANE_VERSION_LABEL},
        {padded, "3.01"},
        {ImageFile::Build(std::vector<std::uint8_t>(300, 0x55)), "unknown"},  // no tag
    };
    for (const auto& [image, version] : cases) {
        const sim::ImageVerdict verdict = sim::CheckImage(image);
        EXPECT_TRUE(verdict.sound) << version;
        EXPECT_EQ(verdict.version, version);
    }
}

TEST(ImageCheck, DamagedEmptyOrShortImagesAreUnsound) {
    const std::vector<std::uint8_t> good = simtest::TestImage("3.01", 1000);
    std::vector<std::uint8_t> damagedCode = good;
    damagedCode[700] ^= 0x04;
    std::vector<std::uint8_t> damagedCrc = good;
    damagedCrc[3] ^= 0x01;
    const std::vector<std::uint8_t> shortened(good.begin(), good.end() - 1);
    const std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 100);
    const std::vector<std::uint8_t> noCode = ImageFile::Build({});
    for (const auto& image : {damagedCode, damagedCrc, shortened, headerOnly, noCode}) {
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
