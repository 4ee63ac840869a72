// The slots file: its lines as a table of what each gives or why it is
// refused, the file's bounds, where it is looked for, and the labels it
// gives devices through a scratch folder of by-path links.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "bench/SlotNames.h"
#include "common/TestKit.h"

namespace {

namespace fs = std::filesystem;
using bench::CSlotMap;

// "label|name@line" for each slot, or "error: ..." when refused.
std::vector<std::string> Parsed(const std::string& text) {
    CSlotMap map;
    std::string error;
    if (!map.Parse(text, error)) {
        EXPECT_TRUE(map.Empty());
        return {"error: " + error};
    }
    std::vector<std::string> out;
    for (const auto& slot : map.Slots()) {
        out.push_back(slot.label + "|" + slot.name + "@" + std::to_string(slot.line));
    }
    return out;
}

std::string Lines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "Slot " + std::to_string(i) + " = port-" + std::to_string(i) + "\n";
    }
    return text;
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(SlotsFile, LinesGiveSlotsOrTheirLineAndWhy) {
    const std::string label24(24, 'L');
    const std::string name508(508, 'n');
    const struct {
        std::string text;
        std::vector<std::string> expected;
    } rows[] = {
        {"Slot 1 = pci-0000:00:14.0-usb-0:1.1:1.0-port0\n",
         {"Slot 1|pci-0000:00:14.0-usb-0:1.1:1.0-port0@1"}},
        {"# the left shelf\n\n  Slot 1=a\n\t# moved\n \nBay #2 = *-usb-0:1.[23]:*",
         {"Slot 1|a@3", "Bay #2|*-usb-0:1.[23]:*@6"}},
        {"Slot 1 = a\r\nSlot 2 = b\r\n", {"Slot 1|a@1", "Slot 2|b@2"}},
        {"", {}},
        {"# nothing yet\n", {}},
        {label24 + " = a", {label24 + "|a@1"}},
        {"A = " + name508, {"A|" + name508 + "@1"}},
        {"Slot 1 pci-0000:00:14.0", {"error: line 1: expected LABEL = BY-PATH NAME"}},
        {"# first\n = a", {"error: line 2: the label before '=' is empty"}},
        {"Slot 1 =  ", {"error: line 1: no by-path name after '='"}},
        {"A = a = b",
         {"error: line 1: more than one '=' (a line names one slot: LABEL = BY-PATH NAME)"}},
        {"A = /dev/serial/by-path/a",
         {"error: line 1: the by-path name holds a '/': give the link's name without its "
          "folder"}},
        {"A = a b",
         {"error: line 1: the by-path name holds a space or a character other than printable "
          "ASCII"}},
        {"A = a\x7f",
         {"error: line 1: the by-path name holds a space or a character other than printable "
          "ASCII"}},
        {"Sl\x1b]0;x\aot = a",
         {"error: line 1: the label holds a character other than printable ASCII"}},
        {"Pl\xc3\xa4tz = a",
         {"error: line 1: the label holds a character other than printable ASCII"}},
        {label24 + "L = a", {"error: line 1: the label is longer than 24 characters"}},
        {"A = " + name508 + "n", {"error: line 1: longer than 512 bytes"}},
        {"Slot 1 = a\n\nSlot 1 = b",
         {"error: line 3: the label 'Slot 1' is already given on line 1"}},
        {"A = a*\nB = a*", {"error: line 2: a* already has a label on line 1"}},
        {"Slot 1 = a\nnot a slot\nSlot 2 = b", {"error: line 2: expected LABEL = BY-PATH NAME"}},
        {Lines(257), {"error: line 257: more than 256 slots"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Parsed(row.text), row.expected) << row.text.substr(0, 60);
    }
    EXPECT_EQ(Parsed(Lines(256)).size(), 256u);
}

TEST(SlotsFile, ReadRefusesWhatIsNoSlotsFile) {
    testkit::CScratchDir dir;
    const std::string good = dir.Path() + "/good";
    Write(good, "Slot 1 = a\n");
    const std::string bad = dir.Path() + "/bad";
    Write(bad, "Slot 1 = a\nSlot 2\n");
    // Exactly 64 KiB, and one byte more.
    std::string text = "Slot 1 = a\n";
    while (text.size() < 64 * 1024) {
        text +=
            "#" + std::string(std::min<std::size_t>(126, 64 * 1024 - text.size() - 2), '-') + "\n";
    }
    ASSERT_EQ(text.size(), 64u * 1024);
    const std::string full = dir.Path() + "/full";
    Write(full, text);
    const std::string large = dir.Path() + "/large";
    Write(large, text + "#");
    const std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        std::string error;  // empty: read
    } rows[] = {
        {good, ""},
        {full, ""},
        {bad, bad + ", line 2: expected LABEL = BY-PATH NAME"},
        {large, large + ": larger than 64 KiB"},
        {fifo, fifo + ": not a regular file"},
        {dir.Path(), dir.Path() + ": not a regular file"},
        {dir.Path() + "/missing", dir.Path() + "/missing: No such file or directory"},
    };
    for (const auto& row : rows) {
        CSlotMap map;
        std::string error;
        EXPECT_EQ(map.Read(row.path, error), row.error.empty()) << row.path;
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(map.Slots().size(), row.error.empty() ? 1u : 0u) << row.path;
    }
}

// --slots FILE must be there; of the defaults the first one there is read,
// and none there is no error.
TEST(SlotsFile, GivenFileOrFirstDefaultThere) {
    testkit::CScratchDir dir;
    const std::string user = dir.Path() + "/config/Veltra/slots";
    const std::string system = dir.Path() + "/etc/slots";
    const std::string missing = dir.Path() + "/nowhere/slots";
    fs::create_directories(dir.Path() + "/config/Veltra");
    fs::create_directories(dir.Path() + "/etc");
    Write(user, "User = a\n");
    Write(system, "System = a\n");
    const struct {
        std::string given;
        std::vector<std::string> defaults;
        bool ok;
        std::string used;
        std::string label;
    } rows[] = {
        {"", {user, system}, true, user, "User"},
        {"", {missing, system}, true, system, "System"},
        {"", {missing, user + "/under-a-file"}, true, "", ""},
        {system, {user}, true, system, "System"},
        {missing, {user}, false, missing, ""},
    };
    for (const auto& row : rows) {
        CSlotMap map;
        std::string used, error;
        EXPECT_EQ(bench::LoadSlotMap(row.given, row.defaults, map, used, error), row.ok)
            << row.given << error;
        EXPECT_EQ(used, row.used);
        EXPECT_EQ(map.LabelOf({"a"}), row.label);
    }
}

TEST(SlotsFile, UserFileFollowsXdgConfigHome) {
    testkit::CScratchConfig config;  // sets XDG_CONFIG_HOME
    EXPECT_EQ(bench::UserSlotsFile(), config.Dir() + "/Veltra/slots");
}

// The first line whose name equals or matches one of the device's names.
TEST(SlotsFile, LabelOfTheFirstMatchingLine) {
    CSlotMap map;
    std::string error;
    ASSERT_TRUE(
        map.Parse("Exact = pci-0:00:14.0-usb-0:1.1:1.0-port0\n"
                  "Hub 2 = pci-0:00:14.0-usb-0:2.[12]:*\n"
                  "Any = *-usb-0:*\n",
                  error))
        << error;
    const struct {
        std::vector<std::string> names;
        std::string label;
    } rows[] = {
        {{"pci-0:00:14.0-usb-0:1.1:1.0-port0"}, "Exact"},
        {{"pci-0:00:14.0-usb-0:2.2:1.0-port0"}, "Hub 2"},
        {{"pci-0:00:14.0-usb-0:2.3:1.0-port0"}, "Any"},
        {{"pci-0:00:14.0-usb-0:1.1:1.0-port0x"}, "Any"},
        {{"pci-0:00:14.0-usb-0:2.3:1.0-port0", "pci-0:00:14.0-usb-0:2.1:1.0-port0"}, "Hub 2"},
        {{"platform-serial8250"}, ""},
        {{}, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(map.LabelOf(row.names), row.label) << (row.names.empty() ? "" : row.names[0]);
    }
}

TEST(SlotsFile, NaturalOrderIsTheHubsOrder) {
    std::vector<std::string> names = {
        "pci-0000:00:14.0-usb-0:1.10:1.0-port0", "pci-0000:00:14.0-usb-0:2:1.0-port0",
        "pci-0000:00:14.0-usb-0:1.2:1.0-port0",  "pci-0000:00:14.0-usb-0:1.3.2:1.0-port0",
        "pci-0000:00:14.0-usb-0:1.02:1.1-port0", "pci-0000:00:14.0-usb-0:1.1:1.0-port0",
    };
    std::sort(names.begin(), names.end(), bench::NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "pci-0000:00:14.0-usb-0:1.1:1.0-port0",
                         "pci-0000:00:14.0-usb-0:1.2:1.0-port0",
                         "pci-0000:00:14.0-usb-0:1.02:1.1-port0",
                         "pci-0000:00:14.0-usb-0:1.3.2:1.0-port0",
                         "pci-0000:00:14.0-usb-0:1.10:1.0-port0",
                         "pci-0000:00:14.0-usb-0:2:1.0-port0",
                     }));
    EXPECT_FALSE(bench::NaturalLess("a1", "a1"));
    EXPECT_TRUE(bench::NaturalLess("a01", "a1"));  // alike but for a zero: a fixed order
    EXPECT_FALSE(bench::NaturalLess("a1", "a01"));
    EXPECT_TRUE(bench::NaturalLess("a", "a0"));
    EXPECT_FALSE(bench::NaturalLess("a0", "a"));
}

// A folder of links as udev makes them: relative, to the device; a device
// reached through a link of its own finds the same names.
TEST(SlotsFile, DeviceNamesAreTheLinksThatResolveToIt) {
    testkit::CScratchDir dir;
    const std::string dev = dir.Path() + "/dev";
    const std::string byPath = dev + "/serial/by-path";
    fs::create_directories(byPath);
    Write(dev + "/ttyUSB0", "");
    Write(dev + "/ttyUSB1", "");
    fs::create_symlink("../../ttyUSB0", byPath + "/pci-0-usb-0:1.10:1.0-port0");
    fs::create_symlink("../../ttyUSB0", byPath + "/pci-0-usb-0:1.9:1.0-port0");
    fs::create_symlink(dev + "/ttyUSB1", byPath + "/pci-0-usb-0:1.2:1.0-port0");
    fs::create_symlink("../../ttyUSB7", byPath + "/pci-0-usb-0:1.3:1.0-port0");  // gone
    fs::create_symlink(dev + "/ttyUSB0", dir.Path() + "/charger");

    EXPECT_EQ(
        bench::ByPathNamesOf(dev + "/ttyUSB0", byPath),
        (std::vector<std::string>{"pci-0-usb-0:1.9:1.0-port0", "pci-0-usb-0:1.10:1.0-port0"}));
    EXPECT_EQ(bench::ByPathNamesOf(dir.Path() + "/charger", byPath),
              bench::ByPathNamesOf(dev + "/ttyUSB0", byPath));
    EXPECT_EQ(bench::ByPathNamesOf(dev + "/ttyUSB7", byPath), std::vector<std::string>{});
    EXPECT_EQ(bench::ByPathNamesOf(dev + "/ttyUSB0", dir.Path() + "/none"),
              std::vector<std::string>{});

    CSlotMap map;
    std::string error;
    ASSERT_TRUE(map.Parse("Left = pci-0-usb-0:1.2:1.0-port0\nRight = *:1.10:*\n", error));
    EXPECT_EQ(map.LabelOfDevice(dev + "/ttyUSB0", byPath), "Right");
    EXPECT_EQ(map.LabelOfDevice(dev + "/ttyUSB1", byPath), "Left");
    EXPECT_EQ(map.LabelOfDevice(dev + "/ttyS0", byPath), "");
}
