#include "support/SettingsKey.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/TestKit.h"

namespace {

class SettingsKeyTest : public ::testing::Test {
protected:
    testkit::CScratchConfig m_config;
};

TEST_F(SettingsKeyTest, CleanMachineGivesDefaultsAndCreatesTheFolder) {
    CSettingsKey key;
    EXPECT_EQ(key.OpenKey("Veltra", "Corvane"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(m_config.Dir() + "/Veltra"));
    EXPECT_EQ(key.ReadValue("Port", "COM1"), "COM1");
    EXPECT_EQ(key.ReadValue("Missing", nullptr), "");
}

TEST_F(SettingsKeyTest, ValuesSurviveIntoANewKey) {
    {
        CSettingsKey key;
        key.OpenKey("Veltra", "Corvane");
        EXPECT_EQ(key.WriteValue("Port", "COM3"), 0);
        EXPECT_EQ(key.WriteValue("CRCFileDir", ""), 0);
    }
    CSettingsKey again;
    again.OpenKey("Veltra", "Corvane");
    EXPECT_EQ(again.ReadValue("Port", "COM1"), "COM3");
    // A stored empty value is returned as empty; the default is for missing values only.
    EXPECT_EQ(again.ReadValue("CRCFileDir", "/home"), "");
    EXPECT_EQ(again.FilePath(), m_config.Dir() + "/Veltra/Corvane.ini");
}

TEST_F(SettingsKeyTest, TwoKeysOnOneFileSeeEachOthersWrites) {
    CSettingsKey window, tool;
    window.OpenKey("Veltra", "Corvane");
    tool.OpenKey("Veltra", "Corvane");
    tool.WriteValue("CRCFileDir", "/tmp/images");
    window.WriteValue("Port", "COM2");
    EXPECT_EQ(window.ReadValue("CRCFileDir", nullptr), "/tmp/images");
    EXPECT_EQ(tool.ReadValue("Port", nullptr), "COM2");
}

TEST_F(SettingsKeyTest, ValueLimitIsTheBufferOf1024BytesWithItsNul) {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    const std::string fits(1023, 'x');
    const std::string tooLong(1024, 'y');
    key.WriteValue("Fits", fits);
    key.WriteValue("TooLong", tooLong);
    EXPECT_EQ(key.ReadValue("Fits", "default"), fits);
    EXPECT_EQ(key.ReadValue("TooLong", "default"), "default");
}

TEST_F(SettingsKeyTest, CorruptFileMeansDefaultsAndHealsOnTheNextWrite) {
    std::filesystem::create_directories(m_config.Dir() + "/Veltra");
    const std::string path = m_config.Dir() + "/Veltra/Corvane.ini";
    std::string garbage = "[General\n\x01\x02=\xff\xfe garbage\n=\n[[[Port";
    garbage += std::string("\0\0\x80Port=COM3", 12);
    std::ofstream(path, std::ios::binary) << garbage;
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    EXPECT_EQ(key.ReadValue("Port", "COM1"), "COM1");
    EXPECT_EQ(key.WriteValue("Port", "COM4"), 0);
    CSettingsKey again;
    again.OpenKey("Veltra", "Corvane");
    EXPECT_EQ(again.ReadValue("Port", "COM1"), "COM4");
}

TEST_F(SettingsKeyTest, KeyThatCannotBeOpenedReadsDefaultsAndRefusesWrites) {
    // A plain file where the maker's folder should be makes the key path impossible.
    std::ofstream(m_config.Dir() + "/Veltra") << "not a folder";
    CSettingsKey key;
    EXPECT_NE(key.OpenKey("Veltra", "Corvane"), 0);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.ReadValue("Port", "COM1"), "COM1");
    EXPECT_NE(key.WriteValue("Port", "COM2"), 0);
}

// Root writes through file permissions, so this runs as an unprivileged user
// only (tests/user/run-as-user.sh).
using SettingsKeyAsUserTest = SettingsKeyTest;

TEST_F(SettingsKeyAsUserTest, UnwritableFileReportsFailure) {
    ASSERT_NE(::geteuid(), 0U) << "root writes through file permissions";
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    key.WriteValue("Port", "COM1");
    ::chmod((m_config.Dir() + "/Veltra").c_str(), 0500);
    ::chmod(key.FilePath().c_str(), 0400);
    EXPECT_NE(key.WriteValue("Port", "COM2"), 0);
    EXPECT_EQ(key.ReadValue("Port", nullptr), "COM1");
    ::chmod((m_config.Dir() + "/Veltra").c_str(), 0700);
}

}  // namespace
