// Finding serial devices and noticing paths that come and go: the device
// names from udev's database or the device's own strings, and the path watch
// over links in a scratch folder (the way simulated chargers are plugged in).
// udev's device events cannot be raised from a test; the watch's handling of
// them is the same fresh look at the folder as the folder cases below take.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/TestKit.h"
#include "platform/PathWatch.h"
#include "platform/SerialDevices.h"

namespace {

namespace fs = std::filesystem;
using platform::CPathWatch;
using platform::PathEvent;
using Kind = platform::PathEvent::Kind;

TEST(SerialDevices, NamesComeFromTheDatabaseThenTheDeviceThenSysfs) {
    testkit::CScratchDir root;
    const std::string sys = root.Path() + "/sys";
    const std::string usb = sys + "/devices/usb1/1-1";
    fs::create_directories(usb + "/1-1:1.0/ttyUSB0/driver");
    fs::create_directories(sys + "/class/tty/ttyUSB0");
    fs::create_directory_symlink(usb + "/1-1:1.0/ttyUSB0", sys + "/class/tty/ttyUSB0/device");
    std::ofstream(usb + "/product") << "FT232R USB UART\n";
    std::ofstream(usb + "/manufacturer") << "FTDI\n";

    platform::DeviceProperties properties;
    std::string askedFor;
    const auto lookup = [&](const std::string& sysPath) {
        askedFor = sysPath;
        return properties;
    };
    const auto first = [&] {
        const auto devices = platform::ListSerialDevices(sys, root.Path() + "/dev", lookup);
        EXPECT_EQ(devices.size(), 1u);
        return devices.empty() ? platform::SerialDeviceInfo{} : devices.front();
    };
    EXPECT_EQ(first().vendor + "|" + first().model, "FTDI|FT232R USB UART");
    EXPECT_EQ(askedFor, fs::canonical(sys + "/class/tty/ttyUSB0").string());
    properties = {{"ID_VENDOR", "Veltra_Ltd"}, {"ID_MODEL", "Charger_Link"}};
    EXPECT_EQ(first().vendor + "|" + first().model, "Veltra Ltd|Charger Link");
    properties["ID_VENDOR_FROM_DATABASE"] = "Future Technology Devices International, Ltd";
    properties["ID_MODEL_FROM_DATABASE"] = "FT232 Serial (UART) IC";
    const auto device = first();
    EXPECT_EQ(device.vendor + "|" + device.model,
              "Future Technology Devices International, Ltd|FT232 Serial (UART) IC");
    EXPECT_EQ(device.description, "FT232R USB UART (FTDI)");
    EXPECT_EQ(device.path, root.Path() + "/dev/ttyUSB0");
}

bool Readable(int fd) {
    pollfd item{fd, POLLIN, 0};
    return ::poll(&item, 1, 0) == 1;
}

// Links in a folder, the way simulated chargers are plugged in. inotify
// queues each event as the call that causes it returns, so nothing waits.
TEST(PathWatch, ReportsMatchingLinksAsTheyAppearAndGo) {
    testkit::CScratchDir dir;
    const std::string one = dir.Path() + "/charger-1";
    const std::string two = dir.Path() + "/charger-2";
    const std::string three = dir.Path() + "/charger-3";
    fs::create_symlink("/dev/null", one);
    CPathWatch watch(dir.Path() + "/charger-*");
    std::string error;
    ASSERT_TRUE(watch.Start(error)) << error;
    EXPECT_EQ(watch.Present(), std::vector<std::string>{one});
    EXPECT_FALSE(Readable(watch.Fd()));

    fs::create_symlink("/dev/null", two);
    std::ofstream(dir.Path() + "/other-1");
    std::ofstream(dir.Path() + "/.charger-4");
    ASSERT_TRUE(Readable(watch.Fd()));
    EXPECT_EQ(watch.Drain(), (std::vector<PathEvent>{{Kind::Appeared, two}}));
    EXPECT_FALSE(Readable(watch.Fd()));
    EXPECT_TRUE(watch.Drain().empty());

    fs::remove(one);
    fs::rename(two, three);
    EXPECT_EQ(watch.Drain(), (std::vector<PathEvent>{
                                 {Kind::Gone, one}, {Kind::Gone, two}, {Kind::Appeared, three}}));
    EXPECT_EQ(watch.Present(), std::vector<std::string>{three});
}

TEST(PathWatch, FollowsItsFolderBeingCreatedAndRemoved) {
    testkit::CScratchDir dir;
    const std::string folder = dir.Path() + "/links/by-id";
    const std::string link = folder + "/usb-FTDI_A1";
    CPathWatch watch(folder + "/usb-FTDI_*");
    std::string error;
    ASSERT_TRUE(watch.Start(error)) << error;
    EXPECT_TRUE(watch.Present().empty());

    for (int round = 0; round < 2; ++round) {
        fs::create_directories(folder);
        fs::create_symlink("/dev/null", link);
        EXPECT_EQ(watch.Drain(), (std::vector<PathEvent>{{Kind::Appeared, link}})) << round;
        fs::create_symlink("/dev/null", folder + "/usb-Prolific_B2");
        fs::remove_all(dir.Path() + "/links");
        EXPECT_EQ(watch.Drain(), (std::vector<PathEvent>{{Kind::Gone, link}})) << round;
        EXPECT_TRUE(watch.Present().empty());
    }
}

// The folder goes and comes back before anyone looks: what it holds now is
// reported, and so is what is put into it afterwards.
TEST(PathWatch, FollowsItsFolderRemovedAndMadeAgainBetweenTwoLooks) {
    testkit::CScratchDir dir;
    const std::string folder = dir.Path() + "/by-id";
    fs::create_directories(folder);
    fs::create_symlink("/dev/null", folder + "/usb-FTDI_A1");
    CPathWatch watch(folder + "/usb-FTDI_*");
    std::string error;
    ASSERT_TRUE(watch.Start(error)) << error;
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::create_symlink("/dev/null", folder + "/usb-FTDI_B2");
    EXPECT_EQ(watch.Drain(), (std::vector<PathEvent>{{Kind::Gone, folder + "/usb-FTDI_A1"},
                                                     {Kind::Appeared, folder + "/usb-FTDI_B2"}}));
    fs::create_symlink("/dev/null", folder + "/usb-FTDI_C3");
    EXPECT_EQ(watch.Drain(), (std::vector<PathEvent>{{Kind::Appeared, folder + "/usb-FTDI_C3"}}));
}

TEST(PathWatch, RefusesPatternsItCannotWatch) {
    for (const std::string pattern : {"", "dev/ttyUSB*", "/dev/serial/*/usb-*", "/tmp/links/"}) {
        CPathWatch watch(pattern);
        std::string error;
        EXPECT_FALSE(watch.Start(error)) << pattern;
        EXPECT_NE(error.find("pattern"), std::string::npos) << pattern << ": " << error;
    }
}

}  // namespace
