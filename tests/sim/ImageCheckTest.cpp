#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/ImageCheck.h"

namespace {

using simtest::CodeWithVersion;
using simtest::MakeImage;

TEST(ImageCheck, CarriedImageIsSoundAndReportsItsLabel) {
    const sim::ImageVerdict verdict = sim::CheckImage(simtest::CarriedImage());
    EXPECT_TRUE(verdict.sound);
    EXPECT_EQ(verdict.version, CORVANE_VERSION_LABEL);
}

TEST(ImageCheck, SenderFillerAfterTheCodeDoesNotCount) {
    std::vector<std::uint8_t> image = MakeImage(CodeWithVersion("3.01", 1000));
    image.resize(((image.size() + 127) / 128) * 128, 0x1A);
    const sim::ImageVerdict verdict = sim::CheckImage(image);
    EXPECT_TRUE(verdict.sound);
    EXPECT_EQ(verdict.version, "3.01");
}

TEST(ImageCheck, DamagedCodeOrHeaderIsUnsound) {
    const std::vector<std::uint8_t> good = MakeImage(CodeWithVersion("3.01", 1000));
    std::vector<std::uint8_t> damagedCode = good;
    damagedCode[700] ^= 0x04;
    std::vector<std::uint8_t> damagedCrc = good;
    damagedCrc[3] ^= 0x01;
    std::vector<std::uint8_t> shortened(good.begin(), good.end() - 1);
    std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 100);
    for (const auto& image : {damagedCode, damagedCrc, shortened, headerOnly}) {
        EXPECT_FALSE(sim::CheckImage(image).sound);
    }
}

TEST(ImageCheck, EmptyCodeIsUnsound) {
    EXPECT_FALSE(sim::CheckImage(MakeImage({})).sound);
}

TEST(ImageCheck, SoundImageWithoutTagReportsUnknown) {
    std::vector<std::uint8_t> code(300, 0x55);
    const sim::ImageVerdict verdict = sim::CheckImage(MakeImage(code));
    EXPECT_TRUE(verdict.sound);
    EXPECT_EQ(verdict.version, "unknown");
}

TEST(ImageCheck, VersionTagNeedsItsNulAndPrintableText) {
    auto bytes = [](const std::string& text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    EXPECT_EQ(sim::FindVersionTag(bytes(std::string("xxVER:2.10e\0yy", 14))), "2.10e");
    EXPECT_EQ(sim::FindVersionTag(bytes("xxVER:2.10e")), "");  // runs off the end
    EXPECT_EQ(sim::FindVersionTag(bytes(std::string("VER:\0", 5))), "");
    EXPECT_EQ(sim::FindVersionTag(bytes(std::string("VER:2 1\0", 8))), "");
    EXPECT_EQ(sim::FindVersionTag(bytes(std::string("VER:") + std::string(40, '9') + '\0')), "");
    EXPECT_EQ(sim::FindVersionTag(bytes("no tag here")), "");
}

}  // namespace
