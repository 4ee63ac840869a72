// --simulate: every named scenario of the built-in charger, with the
// commands that mean something for it, ends with the right status and code.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "CliHarness.h"

namespace clitest {
namespace {

constexpr int kUpgradeBoundMs = 45000;

std::string LastLine(const std::string& text) {
    const auto lines = Lines(text);
    return lines.empty() ? "" : lines.back();
}

// The statuses are the lines before the version panel.
std::string LastStatusBeforePanel(const std::string& out) {
    std::string last;
    for (const auto& line : Lines(out)) {
        if (line == "Current Version") {
            break;
        }
        last = line;
    }
    return last;
}

using Simulate = CCliTest;

TEST_F(Simulate, DefaultIsOldFirmwareThatReads) {
    const CliResult r = RunCli({"--simulate", "read"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(LastStatusBeforePanel(r.out), "Read Version Complete");
    EXPECT_TRUE(std::regex_search(r.out, std::regex("Charger Code: +2\\.09\n"))) << r.out;
}

// The scenario lives for this run only: nothing about it is stored.
TEST_F(Simulate, OldFirmwareUpgradesAndReportsItAsJson) {
    const CliResult r = RunCli({"--simulate=old-firmware", "--json", "upgrade"}, kUpgradeBoundMs);
    ASSERT_EQ(r.code, 0) << Describe(r);
    const QJsonObject json = ParseJsonLine(r.out);
    EXPECT_EQ(json["command"].toString(), "upgrade");
    EXPECT_EQ(Strings(json["statuses"].toArray()),
              (std::vector<std::string>{"Upgrading", "Reading Version Information",
                                        "Read Version Complete", "Upgrade Successful"}));
    EXPECT_EQ(json["chargerCode"].toString(), "2.10e");
    EXPECT_FALSE(json["upgradeOffered"].toBool());
    EXPECT_EQ(json["verdict"].toString(), "ok");
    EXPECT_EQ(json["exitCode"].toInt(-1), 0);
    EXPECT_TRUE(json["device"].toString().startsWith("/dev/"));

    const auto log = SessionLogLines();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(Contains(log[0], " after=2.10e blocks=101 ")) << log[0];
    std::ifstream settings(m_config + "/Veltra/Corvane.ini");
    const std::string stored((std::istreambuf_iterator<char>(settings)),
                             std::istreambuf_iterator<char>());
    EXPECT_FALSE(Contains(stored, json["device"].toString().toStdString()))
        << "the simulated port is for this run only:\n"
        << stored;
}

TEST_F(Simulate, CurrentReadsWithoutOfferingAnUpgradeAndIfNeededDoesNothing) {
    const CliResult read = RunCli({"--simulate=current", "--json", "read"});
    ASSERT_EQ(read.code, 0) << Describe(read);
    const QJsonObject json = ParseJsonLine(read.out);
    EXPECT_EQ(json["chargerCode"].toString(), "2.10e");
    EXPECT_FALSE(json["upgradeOffered"].toBool());

    const CliResult upgrade = RunCli({"--simulate=current", "upgrade", "--if-needed"});
    ASSERT_EQ(upgrade.code, 0) << Describe(upgrade);
    EXPECT_FALSE(Contains(upgrade.out, "Upgrading")) << upgrade.out;
    EXPECT_EQ(LastStatusBeforePanel(upgrade.out), "Read Version Complete");
}

TEST_F(Simulate, NoFirmwareReadsAsNoSoftwareAndIfNeededInstallsIt) {
    const CliResult read = RunCli({"--simulate=no-firmware", "read"});
    EXPECT_EQ(read.code, 1) << Describe(read);
    EXPECT_EQ(LastStatusBeforePanel(read.out), "No Software Detected");

    const CliResult upgrade =
        RunCli({"--simulate=no-firmware", "upgrade", "--if-needed"}, kUpgradeBoundMs);
    EXPECT_EQ(upgrade.code, 0) << Describe(upgrade);
    EXPECT_TRUE(Contains(upgrade.out, "Upgrading\n")) << upgrade.out;
    EXPECT_EQ(LastLine(upgrade.out), "Upgrade Successful");
}

// NAKs on the way are resent, counted, and still end in success.
TEST_F(Simulate, NoisyReadsAndUpgradesDespiteTheNoise) {
    const CliResult read = RunCli({"--simulate=noisy", "read"});
    EXPECT_EQ(read.code, 0) << Describe(read);
    EXPECT_EQ(LastStatusBeforePanel(read.out), "Read Version Complete");

    const CliResult upgrade = RunCli({"--simulate=noisy", "upgrade"}, kUpgradeBoundMs);
    ASSERT_EQ(upgrade.code, 0) << Describe(upgrade);
    EXPECT_EQ(LastLine(upgrade.out), "Upgrade Successful");
    const auto log = SessionLogLines();
    ASSERT_EQ(log.size(), 1u);
    std::smatch resends;
    ASSERT_TRUE(std::regex_search(log[0], resends, std::regex(" resends=(\\d+) "))) << log[0];
    EXPECT_GT(std::stoi(resends[1]), 0) << log[0];
}

TEST_F(Simulate, CancelledUploadFailsWithOne) {
    const CliResult r = RunCli({"--simulate=cancel", "upgrade"}, kUpgradeBoundMs);
    EXPECT_EQ(r.code, 1) << Describe(r);
    EXPECT_EQ(LastLine(r.out), "Upgrade Process Failed");
    EXPECT_TRUE(Contains(r.err, "Upgrade Process Failed\nPlease unplug the charger for 10 seconds"))
        << r.err;
    const auto log = SessionLogLines();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(Contains(log[0], " after=2.09 ")) << log[0];
    EXPECT_FALSE(Contains(log[0], "Upgrade Successful")) << log[0];
}

TEST_F(Simulate, SilentIsNoCommunicationWithFour) {
    const CliResult r = RunCli({"--simulate=silent", "read"});
    EXPECT_EQ(r.code, 4) << Describe(r);
    EXPECT_EQ(LastStatusBeforePanel(r.out), "Unable to get Version Information");
}

}  // namespace
}  // namespace clitest
