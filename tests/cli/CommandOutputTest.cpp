// corvane-cli as a technician runs it against corvane-sim in another
// process: what each command prints, what it leaves behind, and its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "CliHarness.h"

namespace clitest {
namespace {

constexpr int kUpgradeBoundMs = 45000;

const char* const kMonitorLabels[16] = {"Batt Present",  "Radio Detected", "Charge Phase (CV/CC)",
                                        "System State",  "Trim Pot Pos",   "Battery Temp",
                                        "Average Temp",  "Gas Gauge",      "NAC",
                                        "VSB",           "Average VSB",    "Charge Time",
                                        "Charger Temp",  "Charge Current", "Battery Voltage",
                                        "Supply Voltage"};

std::vector<char> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The value printed after a label at the start of a line ("Label   value").
std::string ValueAfter(const std::vector<std::string>& lines, const std::string& label,
                       std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        std::string line = lines[i];
        line.erase(0, line.find_first_not_of(' '));
        if (line.rfind(label, 0) == 0) {
            std::string rest = line.substr(label.size());
            rest.erase(0, rest.find_first_not_of(' '));
            return rest;
        }
    }
    return "(no " + label + ")";
}

int CountReplies(const QJsonObject& log, const char* reply) {
    const auto blocks = log["blocks"].toArray();
    return static_cast<int>(std::count_if(blocks.begin(), blocks.end(), [&](const auto& b) {
        return b.toObject()["reply"].toString() == reply;
    }));
}

using CommandOutput = CCliTest;

TEST_F(CommandOutput, ReadPrintsStatusesInOrderThenTheChargersVersions) {
    const std::string device =
        StartSim({"--no-pacing", "--boot-version", "1.7", "--firmware-version", "2.08"});
    const CliResult r = RunCli({"--port", device, "read"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const auto lines = Lines(r.out);
    ASSERT_GE(lines.size(), 3u) << r.out;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"Starting Communications", "Reading Version Information",
                                        "Read Version Complete"}));
    // The panel: the charger's two versions, then the carried one.
    const auto current = std::find(lines.begin(), lines.end(), "Current Version");
    const auto upgrade = std::find(lines.begin(), lines.end(), "Upgrade Version");
    ASSERT_TRUE(current != lines.end() && upgrade != lines.end() && current < upgrade) << r.out;
    const auto at = static_cast<std::size_t>(current - lines.begin());
    const auto up = static_cast<std::size_t>(upgrade - lines.begin());
    EXPECT_EQ(ValueAfter(lines, "Boot Code:", at), "1.7");
    EXPECT_EQ(ValueAfter(lines, "Charger Code:", at), "2.08");
    EXPECT_EQ(ValueAfter(lines, "Charger Code:", up), "2.10e");
    EXPECT_EQ(r.err, "") << "a clean read shows no box";
    EXPECT_EQ(SimCommands(m_sim.Stop()), (std::vector<std::string>{"/01-", "/00"}));
}

// The whole job: boot loader, 101 blocks (three NAKed on the way), check,
// and one line in the session log that agrees with what the charger saw.
TEST_F(CommandOutput, UpgradeInstallsASoundImageAndLogsTheSession) {
    const std::string device = StartSim({"--no-pacing", "--nak-block", "3", "--nak-block", "50:2"});
    const CliResult r = RunCli({"--port", device, "upgrade"}, kUpgradeBoundMs);
    ASSERT_EQ(r.code, 0) << Describe(r);
    const auto lines = Lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Upgrading");
    EXPECT_EQ(lines.back(), "Upgrade Successful");
    EXPECT_TRUE(Contains(r.out, "Reading Version Information\nRead Version Complete\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "block ")) << "the progress belongs on stderr";
    // stderr is a pipe here: plain lines every 10 blocks, never redrawn.
    EXPECT_TRUE(Contains(r.err, "block 10 of 101")) << r.err;
    EXPECT_TRUE(Contains(r.err, "block 101 of 101")) << r.err;
    EXPECT_FALSE(Contains(r.err, "block 11 of 101")) << r.err;
    EXPECT_FALSE(Contains(r.err, "\r")) << r.err;

    const QJsonObject log = m_sim.Stop();
    EXPECT_TRUE(log["finalImageSound"].toBool());
    EXPECT_EQ(log["installedVersion"].toString(), "2.10e");
    EXPECT_EQ(log["eotReceived"].toInt(), 1);
    EXPECT_EQ(CountReplies(log, "ACK"), 101);
    const int naks = CountReplies(log, "NAK");
    EXPECT_EQ(naks, 3);
    const auto commands = SimCommands(log);
    EXPECT_NE(std::find(commands.begin(), commands.end(), "/0842"), commands.end());

    const auto logLines = SessionLogLines();
    ASSERT_EQ(logLines.size(), 1u) << "in " << SessionLogPath();
    const std::string quoted = "\"" + device + "\"";
    const std::regex line("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\S* port=" + quoted +
                          " device=" + quoted + " before=\\S+ after=2\\.10e blocks=101 resends=" +
                          std::to_string(naks) + " outcome=\"Upgrade Successful\"");
    EXPECT_TRUE(std::regex_match(logLines[0], line)) << logLines[0];
}

// -v: the bytes both ways in hexadecimal on stderr; stdout stays the same.
TEST_F(CommandOutput, TraceShowsTheBytesSentAndReceived) {
    const std::string device = StartSim({"--no-pacing"});
    const CliResult r = RunCli({"-v", "--port", device, "read"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    std::string sent;
    std::string received;
    for (const auto& line : Lines(r.err)) {
        if (line.rfind("> ", 0) == 0) {
            sent += line.substr(2);
        } else if (line.rfind("< ", 0) == 0) {
            received += line.substr(2);
        }
    }
    EXPECT_TRUE(Contains(sent, "0d 2f 30 31 2d 0d 2f 30 30 0d")) << r.err;  // \r/01-\r/00\r
    EXPECT_TRUE(Contains(received, "56 32 2e 30 39")) << r.err;             // V2.09
    EXPECT_TRUE(Contains(r.out, "Read Version Complete\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "2f 30 31")) << r.out;
}

TEST_F(CommandOutput, UpgradeIfNeededLeavesACurrentChargerAlone) {
    const std::string device = StartSim({"--scenario", "current", "--no-pacing"});
    const CliResult r = RunCli({"--port", device, "upgrade", "--if-needed"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_TRUE(Contains(r.out, "Read Version Complete")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Upgrading")) << r.out;
    const QJsonObject log = m_sim.Stop();
    const auto commands = SimCommands(log);
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "/0842"), commands.end());
    EXPECT_TRUE(log["blocks"].toArray().isEmpty());
}

TEST_F(CommandOutput, MonitorPrintsTheSixteenRowsForEachRefresh) {
    const std::string device = StartSim({"--no-pacing"});
    const CliResult r = RunCli({"--port", device, "monitor", "--count", "2"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const auto lines = Lines(r.out);
    // Each refresh: a heading line, then the sixteen rows in the window's order.
    ASSERT_EQ(lines.size(), 2u * 17u) << r.out;
    for (std::size_t refresh = 0; refresh < 2; ++refresh) {
        for (std::size_t row = 0; row < 16; ++row) {
            const std::string& line = lines[refresh * 17 + 1 + row];
            EXPECT_TRUE(Contains(line, kMonitorLabels[row])) << line;
        }
    }
    // The healthy charger reports a battery: the rows hold its report, not
    // the zeroed record.
    EXPECT_EQ(ValueAfter(lines, "Batt Present", 17), "true") << r.out;
    EXPECT_EQ(SimCommands(m_sim.Stop()), (std::vector<std::string>{"/011"}));
}

TEST_F(CommandOutput, ExportWritesTheCarriedImageUnderItsDefaultNameAndCrcChecksIt) {
    const CliResult exported = RunCli({"export"});
    ASSERT_EQ(exported.code, 0) << Describe(exported);
    const std::string path = m_work + "/2.10e.bin";
    ASSERT_TRUE(std::filesystem::exists(path)) << exported.out;
    EXPECT_EQ(FileBytes(path),
              FileBytes(std::string(CORVANE_SOURCE_DIR) + "/resources/upgrade-2.10e.bin"));

    const CliResult r = RunCli({"crc", "2.10e.bin"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const auto lines = Lines(r.out);
    EXPECT_EQ(ValueAfter(lines, "File Name"), "2.10e.bin");
    EXPECT_EQ(ValueAfter(lines, "File Size"), "12810");
    EXPECT_EQ(ValueAfter(lines, "CRC From File"), "20C5");
    EXPECT_EQ(ValueAfter(lines, "Length From File"), "12682");
    EXPECT_EQ(ValueAfter(lines, "Generated CRC"), "20C5");
}

TEST_F(CommandOutput, CrcShowsADamagedFileAsSuch) {
    auto bytes = FileBytes(std::string(CORVANE_SOURCE_DIR) + "/resources/upgrade-2.10e.bin");
    ASSERT_EQ(bytes.size(), 12810u);
    bytes[5000] = static_cast<char>(bytes[5000] ^ 0x40);
    std::ofstream(m_work + "/damaged.bin", std::ios::binary).write(bytes.data(), 12810);
    const CliResult r = RunCli({"crc", "damaged.bin"});
    const auto lines = Lines(r.out);
    EXPECT_EQ(ValueAfter(lines, "CRC From File"), "20C5") << Describe(r);
    EXPECT_NE(ValueAfter(lines, "Generated CRC"), "20C5") << Describe(r);
}

TEST_F(CommandOutput, VersionNamesTheUtilityAndItsImage) {
    const CliResult r = RunCli({"version"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_TRUE(Contains(r.out, "2.10e")) << r.out;
    EXPECT_TRUE(Contains(r.out, "12810")) << r.out;
    EXPECT_TRUE(Contains(r.out, "20C5")) << r.out;
}

// A mapping stored with --map shows in the list and is what --port COMn
// opens from then on.
TEST_F(CommandOutput, PortsMapIsListedAndUsedByLaterCommands) {
    const std::string byId = "/dev/serial/by-id/usb-Test_Adapter_A1-if00-port0";
    const CliResult mapped = RunCli({"ports", "--map", "COM2=" + byId});
    ASSERT_EQ(mapped.code, 0) << Describe(mapped);

    const CliResult listed = RunCli({"ports"});
    ASSERT_EQ(listed.code, 0) << Describe(listed);
    const auto lines = Lines(listed.out);
    const auto com2 =
        std::find_if(lines.begin(), lines.end(), [](const auto& l) { return Contains(l, "COM2"); });
    ASSERT_NE(com2, lines.end()) << listed.out;
    EXPECT_TRUE(Contains(*com2, byId)) << *com2;
    EXPECT_FALSE(Contains(*com2, "(default)")) << *com2;
    for (const char* other : {"COM1", "COM3", "COM4"}) {
        const auto it = std::find_if(lines.begin(), lines.end(),
                                     [&](const auto& l) { return Contains(l, other); });
        ASSERT_NE(it, lines.end()) << listed.out;
        EXPECT_TRUE(Contains(*it, "(default)")) << *it;
    }

    const std::string device = StartSim({"--no-pacing"});
    ASSERT_EQ(RunCli({"ports", "--map", "COM3=" + device}).code, 0);
    const CliResult read = RunCli({"--port", "COM3", "read"});
    EXPECT_EQ(read.code, 0) << Describe(read);
    EXPECT_TRUE(Contains(read.out, "Read Version Complete")) << read.out;
}

TEST_F(CommandOutput, HelpOfEveryCommandExitsZeroAndNamesItsOptions) {
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"read", ""},       {"upgrade", "--if-needed"}, {"monitor", "--count"}, {"crc", "FILE"},
        {"export", "FILE"}, {"ports", "--map"},         {"version", ""}};
    const CliResult top = RunCli({"--help"});
    ASSERT_EQ(top.code, 0) << Describe(top);
    for (const auto& [command, option] : commands) {
        EXPECT_TRUE(Contains(top.out, command)) << command;
        const CliResult r = RunCli({command, "--help"});
        EXPECT_EQ(r.code, 0) << command << "\n" << Describe(r);
        EXPECT_TRUE(Contains(r.out, option)) << command << ":\n" << r.out;
    }
    // The exit codes are the contract with scripts.
    for (const char* code : {"0 ", "1 ", "2 ", "3 ", "4 ", "5 "}) {
        EXPECT_TRUE(Contains(top.out, std::string("  ") + code)) << code << top.out;
    }
}

}  // namespace
}  // namespace clitest
