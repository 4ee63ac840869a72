// The serial devices of a machine, read from a scratch sysfs and /dev tree,
// and the COM name mappings stored with ports --map.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/PortList.h"
#include "common/TestKit.h"

namespace {

namespace fs = std::filesystem;

// A machine with a USB adapter (with a by-id name), a CDC device, one real
// UART, one UART placeholder without a driver, and ttys that are no ports.
class PortListTree : public ::testing::Test {
protected:
    PortListTree() : m_sys(m_root.Path() + "/sys"), m_dev(m_root.Path() + "/dev") {
        AddTty("ttyUSB0", "devices/usb1/1-1/1-1:1.0/ttyUSB0", true);
        Write("devices/usb1/1-1/product", "FT232R USB UART");
        Write("devices/usb1/1-1/manufacturer", "FTDI");
        AddTty("ttyACM0", "devices/usb1/1-2/1-2:1.0", true);
        Write("devices/usb1/1-2/product", "Charger CDC");
        AddTty("ttyS1", "devices/platform/serial8250/tty1", true);
        AddTty("ttyS5", "devices/platform/serial8250/tty5", false);
        AddTty("tty0", "devices/virtual/tty0", true);
        fs::create_directories(m_sys + "/class/tty/console");

        fs::create_directories(m_dev + "/serial/by-id");
        for (const char* name : {"ttyUSB0", "ttyACM0", "ttyS1", "ttyS5", "tty0"}) {
            std::ofstream(m_dev + "/" + name);
        }
        fs::create_symlink("../../ttyUSB0",
                           m_dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
        fs::create_symlink("../../ttyACM0", m_dev + "/serial/by-id/usb-Veltra_Charger-if00");
    }

    void AddTty(const std::string& name, const std::string& device, bool driver) {
        const std::string deviceDir = m_sys + "/" + device;
        fs::create_directories(deviceDir);
        if (driver) {
            fs::create_directories(deviceDir + "/driver");
        }
        fs::create_directories(m_sys + "/class/tty/" + name);
        fs::create_directory_symlink(deviceDir, m_sys + "/class/tty/" + name + "/device");
    }

    void Write(const std::string& file, const std::string& text) {
        std::ofstream(m_sys + "/" + file) << text << "\n";
    }

    testkit::CScratchDir m_root;
    std::string m_sys;
    std::string m_dev;
};

TEST_F(PortListTree, ListsPortsWithDriversTheirByIdNamesAndDescriptions) {
    const auto devices = ListSerialDevices(m_sys, m_dev);
    ASSERT_EQ(devices.size(), 3u);

    EXPECT_EQ(devices[0].path, m_dev + "/ttyACM0");
    EXPECT_EQ(devices[0].description, "Charger CDC");
    EXPECT_EQ(devices[0].byIdNames,
              std::vector<std::string>{m_dev + "/serial/by-id/usb-Veltra_Charger-if00"});

    EXPECT_EQ(devices[1].path, m_dev + "/ttyS1");
    EXPECT_EQ(devices[1].description, "");
    EXPECT_TRUE(devices[1].byIdNames.empty());

    EXPECT_EQ(devices[2].path, m_dev + "/ttyUSB0");
    EXPECT_EQ(devices[2].description, "FT232R USB UART (FTDI)");
    EXPECT_EQ(
        devices[2].byIdNames,
        std::vector<std::string>{m_dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0"});
}

TEST_F(PortListTree, MissingTreesListNothing) {
    EXPECT_TRUE(ListSerialDevices(m_root.Path() + "/nosys", m_dev).empty());
    fs::remove_all(m_dev + "/serial");
    const auto devices = ListSerialDevices(m_sys, m_dev);
    ASSERT_EQ(devices.size(), 3u);
    for (const auto& d : devices) {
        EXPECT_TRUE(d.byIdNames.empty()) << d.path;
    }
}

std::string Resolved(const std::vector<ComMapping>& mappings, const std::string& name) {
    for (const auto& m : mappings) {
        if (m.name == name) {
            return m.device + (m.stored ? "" : " (default)");
        }
    }
    return "(absent)";
}

TEST(MapPort, StoresAWellFormedMappingAndOnlyThat) {
    testkit::CScratchConfig config;
    std::string message;
    ASSERT_TRUE(MapPort("COM2=/dev/serial/by-id/usb-X", message)) << message;
    auto mappings = ComMappings();
    ASSERT_EQ(mappings.size(), 4u);
    EXPECT_EQ(Resolved(mappings, "COM2"), "/dev/serial/by-id/usb-X");
    EXPECT_EQ(Resolved(mappings, "COM1"), "/dev/ttyS0 (default)");

    for (const char* wrong :
         {"COM5=/dev/ttyUSB0", "COM0=/dev/ttyUSB0", "COM2=", "COM2=ttyUSB0", "COM2",
          "=/dev/ttyUSB0", "COM2:/dev/ttyUSB0", " COM2=/dev/ttyUSB0", "COM12=/dev/ttyUSB0"}) {
        message.clear();
        EXPECT_FALSE(MapPort(wrong, message)) << wrong;
        EXPECT_FALSE(message.empty()) << wrong;
    }
    mappings = ComMappings();
    EXPECT_EQ(Resolved(mappings, "COM2"), "/dev/serial/by-id/usb-X");
    EXPECT_EQ(Resolved(mappings, "COM1"), "/dev/ttyS0 (default)");

    ASSERT_TRUE(MapPort("COM2=/dev/ttyUSB1", message)) << message;
    EXPECT_EQ(Resolved(ComMappings(), "COM2"), "/dev/ttyUSB1");
}

}  // namespace
