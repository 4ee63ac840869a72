// The serial devices of a machine, read from a scratch sysfs and /dev tree,
// and the COM name mappings stored with ports --map.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CliHarness.h"
#include "cli/PortList.h"
#include "common/TestKit.h"

namespace {

namespace fs = std::filesystem;
using clitest::Contains;

// One line per device: path, [description], by-id names.
std::vector<std::string> Shown(const std::vector<SerialDeviceInfo>& devices) {
    std::vector<std::string> out;
    for (const auto& d : devices) {
        out.push_back(d.path + " [" + d.description + "]");
        for (const auto& name : d.byIdNames) {
            out.back() += " " + name;
        }
    }
    return out;
}

// A machine with a USB adapter (with a by-id name), a CDC device, one real
// UART, one UART placeholder without a driver, and ttys that are no ports.
TEST(PortList, ListsPortsWithDriversTheirByIdNamesAndDescriptions) {
    testkit::CScratchDir root;
    const std::string sys = root.Path() + "/sys";
    const std::string dev = root.Path() + "/dev";
    const auto addTty = [&](const std::string& name, const std::string& device, bool driver) {
        fs::create_directories(sys + "/" + device + (driver ? "/driver" : ""));
        fs::create_directories(sys + "/class/tty/" + name);
        fs::create_directory_symlink(sys + "/" + device, sys + "/class/tty/" + name + "/device");
        std::ofstream(dev + "/" + name);
    };
    fs::create_directories(dev + "/serial/by-id");
    addTty("ttyUSB0", "devices/usb1/1-1/1-1:1.0/ttyUSB0", true);
    std::ofstream(sys + "/devices/usb1/1-1/product") << "FT232R USB UART\n";
    std::ofstream(sys + "/devices/usb1/1-1/manufacturer") << "FTDI\n";
    addTty("ttyACM0", "devices/usb1/1-2/1-2:1.0", true);
    std::ofstream(sys + "/devices/usb1/1-2/product") << "Charger CDC\n";
    addTty("ttyS1", "devices/platform/serial8250/tty1", true);
    addTty("ttyS5", "devices/platform/serial8250/tty5", false);
    addTty("tty0", "devices/virtual/tty0", true);
    fs::create_directories(sys + "/class/tty/console");
    const std::string ftdi = dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    const std::string cdc = dev + "/serial/by-id/usb-Veltra_Charger-if00";
    fs::create_symlink("../../ttyUSB0", ftdi);
    fs::create_symlink("../../ttyACM0", cdc);

    EXPECT_EQ(Shown(ListSerialDevices(sys, dev)),
              (std::vector<std::string>{dev + "/ttyACM0 [Charger CDC] " + cdc, dev + "/ttyS1 []",
                                        dev + "/ttyUSB0 [FT232R USB UART (FTDI)] " + ftdi}));
    fs::remove_all(dev + "/serial");
    EXPECT_EQ(Shown(ListSerialDevices(sys, dev)),
              (std::vector<std::string>{dev + "/ttyACM0 [Charger CDC]", dev + "/ttyS1 []",
                                        dev + "/ttyUSB0 [FT232R USB UART (FTDI)]"}));
    EXPECT_TRUE(ListSerialDevices(root.Path() + "/nosys", dev).empty());
}

// The four COM names as the list shows them.
std::string Mapped() {
    std::string out;
    for (const auto& m : ComMappings()) {
        out += m.name + "=" + m.device + (m.stored ? " " : " (default) ");
    }
    return out;
}

TEST(MapPort, StoresAWellFormedMappingAndOnlyThat) {
    testkit::CScratchConfig config;
    std::string message;
    ASSERT_TRUE(MapPort("COM2=/dev/serial/by-id/usb-X", message)) << message;
    for (const char* wrong :
         {"COM5=/dev/ttyUSB0", "COM0=/dev/ttyUSB0", "COM2=", "COM2=ttyUSB0", "COM2",
          "=/dev/ttyUSB0", "COM2:/dev/ttyUSB0", " COM2=/dev/ttyUSB0", "COM12=/dev/ttyUSB0"}) {
        message.clear();
        EXPECT_FALSE(MapPort(wrong, message)) << wrong;
        EXPECT_FALSE(message.empty()) << wrong;
    }
    EXPECT_EQ(Mapped(),
              "COM1=/dev/ttyS0 (default) COM2=/dev/serial/by-id/usb-X "
              "COM3=/dev/ttyS2 (default) COM4=/dev/ttyS3 (default) ");
    ASSERT_TRUE(MapPort("COM2=/dev/ttyUSB1", message)) << message;
    EXPECT_TRUE(Contains(Mapped(), " COM2=/dev/ttyUSB1 COM3")) << Mapped();
}

}  // namespace
