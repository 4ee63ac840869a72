// corvane-cli as a technician runs it against corvane-sim in another
// process: what each command prints, what it leaves behind, and its exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "CliHarness.h"
#include "support/ProgramVersion.h"

namespace clitest {
namespace {

using Strings = std::vector<std::string>;
const std::string kImage = CORVANE_SOURCE_DIR "/resources/upgrade-2.10e.bin";

std::vector<char> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The value printed after a label at the start of a line ("Label   value"),
// looking from line `from` on.
std::string ValueAfter(const Strings& lines, const std::string& label, std::size_t from = 0) {
    const std::regex shape(" *" + label + " *(.*)");
    std::smatch match;
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (std::regex_match(lines[i], match, shape)) {
            return match[1];
        }
    }
    return "(no " + label + ")";
}

using CommandOutput = CCliTest;

// -v adds the bytes both ways in hexadecimal on stderr; stdout is as without.
TEST_F(CommandOutput, ReadPrintsStatusesInOrderThenTheChargersVersionsAndTracesTheBytes) {
    const std::string device = StartSim("--no-pacing --boot-version 1.7 --firmware-version 2.08");
    const CliResult r = RunCli({"-v", "--port", device, "read"});
    ASSERT_EQ(r.code, 0) << r;
    // The statuses in order, then the charger's two versions and the carried one.
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex("Starting Communications\nReading Version Information\n"
                          "Read Version Complete\nCurrent Version\n +Boot Code: +1\\.7\n"
                          " +Charger Code: +2\\.08\nUpgrade Version\n +Charger Code: +2\\.10e\n")))
        << r;
    EXPECT_EQ(SimCommands(StopSim()), (Strings{"/01-", "/00"}));

    std::string trace[2];  // sent, received
    for (const auto& line : Lines(r.err)) {
        const bool sent = line.rfind("> ", 0) == 0;
        EXPECT_TRUE(sent || line.rfind("< ", 0) == 0) << "a clean read shows no box: " << line;
        trace[sent ? 0 : 1] += line.substr(2);
    }
    EXPECT_TRUE(Contains(trace[0], "0d 2f 30 31 2d 0d 2f 30 30 0d")) << r;  // \r/01-\r/00\r
    EXPECT_TRUE(Contains(trace[1], "56 32 2e 30 38")) << r;                 // V2.08
}

// The whole job: boot loader, 101 blocks (three NAKed on the way), check,
// and one service record that agrees with what the charger saw.
TEST_F(CommandOutput, UpgradeInstallsASoundImageAndLogsTheSession) {
    const std::string device = StartSim("--no-pacing --nak-block 3 --nak-block 50:2");
    const CliResult r = RunCli({"--port", device, "upgrade"}, 45000);
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_TRUE(
        std::regex_match(r.out, std::regex("Upgrading\nReading Version Information\n"
                                           "Read Version Complete\n(.*\n)*Upgrade Successful\n")))
        << r;
    // stderr is a pipe here: a plain line every tenth block and the last,
    // once each, never redrawn.
    std::string shown;
    const std::regex progress("block (\\d+) of 101");
    for (std::sregex_iterator it(r.err.begin(), r.err.end(), progress), end; it != end; ++it) {
        shown += (*it)[1].str() + " ";
    }
    EXPECT_EQ(shown, "0 10 20 30 40 50 60 70 80 90 100 101 ") << r;
    EXPECT_FALSE(Contains(r.err, "\r") || Contains(r.err, "\033")) << r;

    const QJsonObject log = StopSim();
    EXPECT_TRUE(log["finalImageSound"].toBool());
    EXPECT_EQ(log["installedVersion"].toString(), "2.10e");
    EXPECT_EQ(log["eotReceived"].toInt(), 1);
    EXPECT_EQ(log["ackSent"].toInt(), 102) << "101 blocks and the end of the transfer";
    EXPECT_EQ(log["nakSent"].toInt(), 3);
    EXPECT_EQ(SimCommands(log), (Strings{"/0842", "/01-", "/00"}));

    const auto logLines = RecordLines();
    ASSERT_EQ(logLines.size(), 1u) << "in " << RecordsPath();
    const std::string quoted = "\"" + device + "\"";
    const std::regex line(
        "\\{\"time\":\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\",\"host\":\"[^\"]*\","
        "\"tool\":\"cli\",\"port\":" +
        quoted + ",\"device\":" + quoted +
        ",\"byId\":\"\",\"deviceId\":\"VC-4017-0032\",\"bootCode\":\"1\\.3\",\"before\":\"\","
        "\"after\":\"2\\.10e\",\"image\":\\{\"label\":\"2\\.10e\",\"size\":12810,\"crc\":\"20C5\","
        "\"path\":\"\"\\},\"blocks\":101,\"resends\":3,\"seconds\":\\d+\\.\\d,"
        "\"outcome\":\"upgraded\",\"reason\":\"\",\"identification\":\\[.*\\]\\}");
    EXPECT_TRUE(std::regex_match(logLines[0], line)) << logLines[0];
}

TEST_F(CommandOutput, MonitorPrintsTheSixteenRowsForEachRefresh) {
    const Strings labels = {"Batt Present",  "Radio Detected", "Charge Phase (CV/CC)",
                            "System State",  "Trim Pot Pos",   "Battery Temp",
                            "Average Temp",  "Gas Gauge",      "NAC",
                            "VSB",           "Average VSB",    "Charge Time",
                            "Charger Temp",  "Charge Current", "Battery Voltage",
                            "Supply Voltage"};
    const std::string device = StartSim("--no-pacing");
    const CliResult r = RunCli({"--port", device, "monitor", "--count", "2"});
    ASSERT_EQ(r.code, 0) << r;
    const auto lines = Lines(r.out);
    // Each refresh: a heading line, then the sixteen rows in the window's order.
    ASSERT_EQ(lines.size(), 2u * 17u) << r;
    for (std::size_t row = 0; row < 2 * 16; ++row) {
        const std::string& line = lines[row / 16 * 17 + 1 + row % 16];
        EXPECT_TRUE(Contains(line, labels[row % 16])) << line;
    }
    // The healthy charger reports a battery: its report, not a zeroed record.
    EXPECT_EQ(ValueAfter(lines, "Batt Present", 17), "true") << r;
    EXPECT_EQ(SimCommands(StopSim()), (Strings{"/011"}));
}

TEST_F(CommandOutput, ExportWritesTheCarriedImageAndCrcChecksItOrADamagedCopy) {
    const CliResult exported = RunCli({"export"});
    ASSERT_EQ(exported.code, 0) << exported;
    EXPECT_EQ(FileBytes(m_work + "/2.10e.bin"), FileBytes(kImage)) << "default name 2.10e.bin";

    auto bytes = FileBytes(kImage);
    ASSERT_EQ(bytes.size(), 12810u);
    bytes[5000] = static_cast<char>(bytes[5000] ^ 0x40);
    std::ofstream(m_work + "/damaged.bin", std::ios::binary).write(bytes.data(), 12810);
    // The damaged copy fails its check with a verdict, in text and in JSON.
    for (const std::string file : {"2.10e.bin", "damaged.bin"}) {
        const bool sound = file == "2.10e.bin";
        const CliResult r = RunCli({"crc", file});
        ASSERT_EQ(r.code, sound ? 0 : 1) << r;
        const auto lines = Lines(r.out);
        EXPECT_EQ(ValueAfter(lines, "File Name"), file);
        EXPECT_EQ(ValueAfter(lines, "File Size"), "12810");
        EXPECT_EQ(ValueAfter(lines, "CRC From File"), "20C5");
        EXPECT_EQ(ValueAfter(lines, "Length From File"), "12682");
        EXPECT_EQ(ValueAfter(lines, "Generated CRC") == "20C5", sound) << r;
        EXPECT_EQ(ValueAfter(lines, "Verdict"),
                  sound ? "CRC matches; size agrees with length"
                        : "CRC does not match; size agrees with length");
        const CliResult json = RunCli({"crc", file, "--json"});
        EXPECT_EQ(json.code, r.code) << json;
        const QJsonObject object = ParseJsonLine(json.out);
        EXPECT_EQ(object["match"], sound) << json;
        EXPECT_EQ(object["sizeAgrees"], true) << json;
    }
}

// What is not a regular file is written where it is and never replaced:
// standard output gets the image (and the confirmation goes to stderr), and
// a device stays a device.
TEST_F(CommandOutput, ExportWritesInPlaceWhatIsNotARegularFile) {
    const CliResult r = RunCli({"export", "/dev/stdout"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::vector<char>(r.out.begin(), r.out.end()), FileBytes(kImage));
    EXPECT_EQ(r.err, "Wrote 12810 bytes to /dev/stdout\n");

    ASSERT_EQ(RunCli({"export", "/dev/null"}).code, 0);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

// Global options also after the command, and a device path relative to the
// working folder.
TEST_F(CommandOutput, OptionsAfterTheCommandAndARelativeDevicePath) {
    const std::string device = StartSim("--no-pacing");
    std::filesystem::create_symlink(device, m_work + "/charger");
    const CliResult r = RunCli({"read", "--json", "--port", "charger"});
    ASSERT_EQ(r.code, 0) << r;
    const QJsonObject object = ParseJsonLine(r.out);
    EXPECT_EQ(object["device"].toString().toStdString(), m_work + "/charger");
    EXPECT_EQ(object["chargerCode"], "2.09");
}

// A mapping stored with --map shows in the list and is what --port COMn
// opens from then on.
TEST_F(CommandOutput, PortsMapIsListedAndUsedByLaterCommands) {
    const std::string byId = "/dev/serial/by-id/usb-Test_Adapter_A1-if00-port0";
    ASSERT_EQ(RunCli({"ports", "--map", "COM2=" + byId}).code, 0);
    const CliResult listed = RunCli({"ports"});
    ASSERT_EQ(listed.code, 0) << listed;
    for (const std::string com : {"COM1", "COM2", "COM3", "COM4"}) {
        std::smatch line;
        ASSERT_TRUE(std::regex_search(listed.out, line, std::regex(com + ".*"))) << listed;
        EXPECT_EQ(Contains(line[0], byId), com == "COM2") << line[0];
        EXPECT_EQ(Contains(line[0], "(default)"), com != "COM2") << line[0];
    }
    const std::string device = StartSim("--no-pacing");
    ASSERT_EQ(RunCli({"ports", "--map", "COM3=" + device}).code, 0);
    const CliResult read = RunCli({"--port", "COM3", "read"});
    EXPECT_EQ(read.code, 0) << read;
    EXPECT_TRUE(Contains(read.out, "Read Version Complete")) << read;

    const CliResult unmapped = RunCli({"ports", "--unmap", "COM3"});
    EXPECT_EQ(unmapped.code, 0) << unmapped;
    EXPECT_EQ(unmapped.out, "COM3 now resolves to /dev/ttyS2 (default).\n");
    EXPECT_TRUE(Contains(RunCli({"ports"}).out, "COM3 -> /dev/ttyS2 (default)"));
}

TEST_F(CommandOutput, HelpNamesEveryCommandOptionAndExitCodeAndVersionTheImage) {
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"read", ""},    {"upgrade", "--if-needed"}, {"monitor", "--count"},
        {"crc", "FILE"}, {"export", "FILE"},         {"ports", "--map"},
        {"version", ""}, {"bench", "--chargers"}};
    // Every line fits an 80-column terminal, and values are named for what
    // they are (FILE, N), not by the parser's types (TEXT, INT:NONNEGATIVE).
    const auto expectReadable = [](const std::string& help) {
        const std::regex parserType(R"(\b(TEXT|INT|UINT|FLOAT)\b)");
        std::istringstream lines(help);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 80U) << line;
            EXPECT_FALSE(std::regex_search(line, parserType)) << line;
        }
    };
    const CliResult top = RunCli({"--help"});
    ASSERT_EQ(top.code, 0) << top;
    expectReadable(top.out);
    for (const auto& [command, option] : commands) {
        EXPECT_TRUE(Contains(top.out, command)) << command;
        const CliResult r = RunCli({command, "--help"});
        EXPECT_EQ(r.code, 0) << command << "\n" << r;
        EXPECT_TRUE(Contains(r.out, option)) << command << "\n" << r;
        expectReadable(r.out);
        for (const char* global : {"--port", "--simulate", "--json", "--trace"}) {
            EXPECT_TRUE(Contains(r.out, global)) << command << " " << global << "\n" << r;
        }
    }
    // history reads files only, so it takes none of the charger options.
    EXPECT_TRUE(Contains(top.out, "history"));
    const CliResult history = RunCli({"history", "--help"});
    EXPECT_TRUE(Contains(history.out, "--device")) << history;
    expectReadable(history.out);
    // The exit codes are the contract with scripts.
    for (const char* code : {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 "}) {
        EXPECT_TRUE(Contains(top.out, code)) << code << top;
    }
    // The utility's release first, then the image it carries.
    const CliResult version = RunCli({"version"});
    ASSERT_EQ(version.code, 0) << version;
    const std::string release = std::string("corvane-cli ") + ProgramVersion() + "\n";
    EXPECT_EQ(version.out.rfind(release, 0), 0U) << version;
    for (const char* part : {"built-in image 2.10e", "12810", "20C5"}) {
        EXPECT_TRUE(Contains(version.out, part)) << part << "\n" << version;
    }
    const CliResult flag = RunCli({"--version"});
    EXPECT_EQ(flag.code, 0) << flag;
    EXPECT_EQ(flag.out, release) << flag;
}

}  // namespace
}  // namespace clitest
