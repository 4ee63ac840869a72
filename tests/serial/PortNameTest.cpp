#include <gtest/gtest.h>

#include "TestKit.h"
#include "serial/PortName.h"
#include "support/SettingsKey.h"

namespace {

class PortNameTest : public ::testing::Test {
protected:
    void Store(const char* name, const std::string& path) {
        CSettingsKey key;
        ASSERT_EQ(key.OpenKey("Veltra", "Corvane"), 0);
        ASSERT_EQ(key.WriteValue(name, path), 0);
    }

    testkit::CScratchConfig m_config;
};

TEST_F(PortNameTest, DevicePathIsUsedAsItStands) {
    EXPECT_EQ(ResolvePortName("/dev/pts/17"), "/dev/pts/17");
    EXPECT_EQ(ResolvePortName("/tmp/some thing"), "/tmp/some thing");
}

TEST_F(PortNameTest, ComNamesDefaultToTheFirstFourSerialDevices) {
    EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortName("COM2"), "/dev/ttyS1");
    EXPECT_EQ(ResolvePortName("COM3"), "/dev/ttyS2");
    EXPECT_EQ(ResolvePortName("COM4"), "/dev/ttyS3");
}

TEST_F(PortNameTest, ComNamesResolveThroughTheSettings) {
    Store("COM2", "/dev/ttyUSB7");
    EXPECT_EQ(ResolvePortName("COM2"), "/dev/ttyUSB7");
    EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyS0");
}

TEST_F(PortNameTest, RelativeDeviceInTheSettingsMeansNoDevice) {
    Store("COM3", "ttyUSB0");
    EXPECT_EQ(ResolvePortName("COM3"), "");
}

TEST_F(PortNameTest, OtherNamesMeanNoDevice) {
    for (const char* name :
         {"", "COM", "COM0", "COM5", "COM9", "COM10", "com1", "COM1 ", "ttyS0", "garbage"}) {
        EXPECT_EQ(ResolvePortName(name), "") << '"' << name << '"';
    }
}

}  // namespace
