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
// UART, one UART placeholder without a driver, one with the 8250 driver but
// no UART (type 0), and ttys that are no ports.
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
    addTty("ttyS2", "devices/platform/serial8250/tty2", true);
    std::ofstream(sys + "/class/tty/ttyS1/type") << "4\n";  // a 16550A
    std::ofstream(sys + "/class/tty/ttyS2/type") << "0\n";  // nothing behind it
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

// ports --by-path: a slots file for the adapters plugged in, numbered in the
// order of the hub's ports (1.2 before 1.10, an adapter's second port after
// its first), which reads back as the slots it names.
TEST(PortList, ByPathSlotsFileIsInHubOrder) {
    testkit::CScratchDir root;
    const std::string dev = root.Path() + "/dev";
    const std::string byPath = dev + "/serial/by-path";
    fs::create_directories(byPath);
    const std::vector<std::pair<std::string, std::string>> links = {
        {"pci-0000:00:14.0-usb-0:1.10:1.0-port0", "ttyUSB0"},
        {"pci-0000:00:14.0-usb-0:1.2:1.1-port0", "ttyUSB2"},
        {"pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyACM0"},
        {"pci-0000:00:14.0-usb-0:1.2:1.0-port0", "ttyUSB1"},
    };
    for (const auto& [name, device] : links) {
        std::ofstream(dev + "/" + device);
        fs::create_symlink("../../" + device, byPath + "/" + name);
    }
    const std::string text = SlotsFileText(bench::ByPathLinks(byPath), "/home/t/slots");
    const std::string listed = text.substr(text.find("\n\n"));
    EXPECT_EQ(listed, "\n\n# now " + dev +
                          "/ttyUSB1\nSlot 1 = pci-0000:00:14.0-usb-0:1.2:1.0-port0\n"
                          "\n# now " +
                          dev +
                          "/ttyUSB2\nSlot 2 = pci-0000:00:14.0-usb-0:1.2:1.1-port0\n"
                          "\n# now " +
                          dev +
                          "/ttyUSB0\nSlot 3 = pci-0000:00:14.0-usb-0:1.10:1.0-port0\n"
                          "\n# now " +
                          dev + "/ttyACM0\nSlot 4 = pci-0000:00:14.0-usb-0:2:1.0-port0\n");
    EXPECT_TRUE(Contains(text, "\n# /home/t/slots\n")) << text;
    bench::CSlotMap map;
    std::string error;
    ASSERT_TRUE(map.Parse(text, error)) << error;
    EXPECT_EQ(map.LabelOfDevice(dev + "/ttyUSB0", byPath), "Slot 3");

    fs::remove_all(byPath);
    const std::string none = SlotsFileText(bench::ByPathLinks(byPath), "/home/t/slots");
    EXPECT_TRUE(Contains(none, "# No serial adapter has a by-path name now")) << none;
    ASSERT_TRUE(map.Parse(none, error)) << error;
    EXPECT_TRUE(map.Empty());
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
    ASSERT_EQ(MapPort("COM2=/dev/serial/by-id/usb-X", message), MapOutcome::Done) << message;
    for (const std::string& wrong : std::vector<std::string>{
             "COM5=/dev/ttyUSB0", "COM0=/dev/ttyUSB0", "COM2=", "COM2=ttyUSB0", "COM2",
             "=/dev/ttyUSB0", "COM2:/dev/ttyUSB0", " COM2=/dev/ttyUSB0", "COM12=/dev/ttyUSB0",
             // what the store cannot keep as given
             "COM3=/dev/tty\nUSB0", "COM3=/dev/ttyUSB0\x1b[2J", "COM3=/dev/tty\xffUSB0",
             "COM3=/dev/" + std::string(1019, 'x')}) {
        message.clear();
        EXPECT_EQ(MapPort(wrong, message), MapOutcome::Refused) << wrong;
        EXPECT_FALSE(message.empty()) << wrong;
    }
    EXPECT_EQ(Mapped(),
              "COM1=/dev/ttyS0 (default) COM2=/dev/serial/by-id/usb-X "
              "COM3=/dev/ttyS2 (default) COM4=/dev/ttyS3 (default) ");
    // The longest path the store holds.
    const std::string longest = "/dev/" + std::string(1018, 'y');
    ASSERT_EQ(MapPort("COM3=" + longest, message), MapOutcome::Done) << message;
    ASSERT_EQ(MapPort("COM2=/dev/ttyUSB1", message), MapOutcome::Done) << message;
    EXPECT_TRUE(Contains(Mapped(), " COM2=/dev/ttyUSB1 COM3=" + longest + " COM4")) << Mapped();

    ASSERT_EQ(UnmapPort("COM2", message), MapOutcome::Done) << message;
    EXPECT_EQ(message, "COM2 now resolves to /dev/ttyS1 (default).");
    EXPECT_TRUE(Contains(Mapped(), " COM2=/dev/ttyS1 (default) COM3")) << Mapped();
    EXPECT_EQ(UnmapPort("COM7", message), MapOutcome::Refused);
}

// A store that cannot be written says why in the system's words, and the
// mapping is not reported stored: a file where the folder should be, and a
// folder where the file should be.
TEST(MapPort, AStoreThatCannotBeWrittenSaysWhy) {
    testkit::CScratchConfig config;
    std::ofstream(config.Dir() + "/Veltra") << "in the way\n";
    std::string message;
    EXPECT_EQ(MapPort("COM2=/dev/ttyUSB1", message), MapOutcome::StoreFailed);
    EXPECT_EQ(message,
              "Could not store the mapping: " + config.Dir() + "/Veltra: Not a directory.");

    fs::remove(config.Dir() + "/Veltra");
    fs::create_directories(config.Dir() + "/Veltra/Corvane.ini");
    EXPECT_EQ(UnmapPort("COM2", message), MapOutcome::StoreFailed);
    EXPECT_EQ(message, "Could not remove the mapping: " + config.Dir() +
                           "/Veltra/Corvane.ini: Is a directory.");
    EXPECT_EQ(MapPort("COM2=/dev/ttyUSB1", message), MapOutcome::StoreFailed);
    EXPECT_TRUE(Contains(message, "Is a directory")) << message;
}

}  // namespace
