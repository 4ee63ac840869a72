// --json: one object per command on standard output, with the keys scripts
// rely on, also when the command fails.
#include <gtest/gtest.h>

#include "CliHarness.h"

namespace clitest {
namespace {

void ExpectKeys(const QJsonObject& object, const std::vector<const char*>& keys) {
    for (const char* key : keys) {
        EXPECT_TRUE(object.contains(key)) << "missing \"" << key << "\"";
    }
}

using JsonShape = CCliTest;

TEST_F(JsonShape, ReadReportsVersionsStatusesAndVerdict) {
    const std::string device = StartSim({"--no-pacing"});
    const CliResult r = RunCli({"--json", "--port", device, "read"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const QJsonObject json = ParseJsonLine(r.out);
    EXPECT_EQ(json["command"].toString(), "read");
    EXPECT_EQ(json["device"].toString().toStdString(), device);
    EXPECT_EQ(json["bootCode"].toString(), "1.3");
    EXPECT_EQ(json["chargerCode"].toString(), "2.09");
    EXPECT_EQ(json["upgradeVersion"].toString(), "2.10e");
    EXPECT_EQ(Strings(json["statuses"].toArray()),
              (std::vector<std::string>{"Starting Communications", "Reading Version Information",
                                        "Read Version Complete"}));
    EXPECT_TRUE(json["upgradeOffered"].toBool());
    EXPECT_EQ(json["verdict"].toString(), "ok");
    EXPECT_EQ(json["exitCode"].toInt(-1), 0);
}

TEST_F(JsonShape, MonitorReportsEveryRefreshAsLabelledRows) {
    const std::string device = StartSim({"--no-pacing"});
    const CliResult r = RunCli({"--json", "--port", device, "monitor", "--count", "2"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const QJsonObject json = ParseJsonLine(r.out);
    EXPECT_EQ(json["command"].toString(), "monitor");
    EXPECT_GE(json["linesReceived"].toInt(), 1);
    EXPECT_EQ(json["exitCode"].toInt(-1), 0);
    const QJsonArray refreshes = json["refreshes"].toArray();
    ASSERT_EQ(refreshes.size(), 2);
    for (const auto& refresh : refreshes) {
        const QJsonObject rows = refresh.toObject();
        EXPECT_EQ(rows.size(), 16);
        ExpectKeys(rows, {"Batt Present", "Charge Phase (CV/CC)", "NAC", "Supply Voltage"});
    }
    EXPECT_EQ(refreshes[1].toObject()["Batt Present"].toString(), "true");
}

TEST_F(JsonShape, FileCommandsReportTheirFigures) {
    const CliResult exported = RunCli({"--json", "export", "image.bin"});
    ASSERT_EQ(exported.code, 0) << Describe(exported);
    const QJsonObject e = ParseJsonLine(exported.out);
    EXPECT_EQ(e["command"].toString(), "export");
    EXPECT_EQ(e["file"].toString(), "image.bin");
    EXPECT_EQ(e["bytes"].toInt(), 12810);

    const CliResult checked = RunCli({"--json", "crc", "image.bin"});
    ASSERT_EQ(checked.code, 0) << Describe(checked);
    const QJsonObject c = ParseJsonLine(checked.out);
    EXPECT_EQ(c["command"].toString(), "crc");
    EXPECT_EQ(c["fileName"].toString(), "image.bin");
    EXPECT_EQ(c["fileSize"].toInt(), 12810);
    EXPECT_EQ(c["crcFromFile"].toString(), "20C5");
    EXPECT_EQ(c["lengthFromFile"].toString(), "12682");
    EXPECT_EQ(c["generatedCrc"].toString(), "20C5");
    EXPECT_TRUE(c["error"].isNull());

    const QJsonObject v = ParseJsonLine(RunCli({"--json", "version"}).out);
    EXPECT_EQ(v["command"].toString(), "version");
    EXPECT_EQ(v["version"].toString(), "2.10e");
    EXPECT_EQ(v["imageBytes"].toInt(), 12810);
    EXPECT_EQ(v["imageCrc"].toString(), "20C5");
}

TEST_F(JsonShape, PortsListsDevicesAndAllFourMappings) {
    ASSERT_EQ(RunCli({"ports", "--map", "COM4=/dev/ttyUSB7"}).code, 0);
    const CliResult r = RunCli({"--json", "ports"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const QJsonObject json = ParseJsonLine(r.out);
    EXPECT_EQ(json["command"].toString(), "ports");
    ASSERT_TRUE(json["devices"].isArray());
    for (const auto& device : json["devices"].toArray()) {
        ExpectKeys(device.toObject(), {"device", "byId", "description"});
        EXPECT_TRUE(device.toObject()["byId"].isArray());
    }
    const QJsonObject mappings = json["mappings"].toObject();
    EXPECT_EQ(mappings.keys(), (QStringList{"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(mappings["COM4"].toString(), "/dev/ttyUSB7");
}

// A script must still get its object, with the verdict, when things fail.
TEST_F(JsonShape, FailuresStillPrintOneObject) {
    const CliResult missing = RunCli({"--json", "--port", m_work + "/no-such-tty", "read"});
    EXPECT_EQ(missing.code, 3) << Describe(missing);
    const QJsonObject m = ParseJsonLine(missing.out);
    EXPECT_EQ(m["verdict"].toString(), "port-not-opened");
    EXPECT_EQ(m["exitCode"].toInt(-1), 3);
    const auto statuses = Strings(m["statuses"].toArray());
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), "No Communications With Charger");

    const CliResult crc = RunCli({"--json", "crc", "absent.bin"});
    EXPECT_EQ(crc.code, 5) << Describe(crc);
    const QJsonObject c = ParseJsonLine(crc.out);
    EXPECT_EQ(c["exitCode"].toInt(-1), 5);
    EXPECT_TRUE(c["error"].isString());
    EXPECT_TRUE(c["fileSize"].isNull());
}

}  // namespace
}  // namespace clitest
