// The command line of corvane-sim, the named scenarios and the JSON log. The
// fault options are also exercised through the engine's tests, which set
// them by their command-line words.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <sstream>
#include <tuple>

#include "SimTestSupport.h"
#include "sim/SimArguments.h"
#include "sim/SimulatedCharger.h"

namespace {

using sim::SimArguments;
using simtest::Words;

// The arguments parsed, or the reason they were refused.
std::pair<SimArguments, std::string> Parse(const std::vector<std::string>& args) {
    SimArguments parsed;
    std::string error;
    const bool accepted = sim::ParseSimArguments(args, parsed, error);
    EXPECT_EQ(accepted, error.empty()) << error;
    return {parsed, error};
}

TEST(SimArguments, EachSettingInBothSpellings) {
    const auto [a, error] = Parse(Words(
        "--link /tmp/x --run-seconds=7 --log=/tmp/l.json --boot-version 2.0 --firmware-version=1.99"
        " --device-id VC-1 --reply-delay 5 --no-pacing --block-gap 700 --seed=42 --report-fault "
        "non-hex --report-fault-every 2 --nak-block 3 --nak-block=9:4 --transfer-timeout 0"));
    ASSERT_EQ(error, "");
    const sim::SimOptions& o = a.options;
    using Texts = std::tuple<std::string, std::string, std::string, std::string, std::string>;
    EXPECT_EQ(std::tie(a.linkPath, a.logPath, o.bootVersion, o.firmwareVersion, o.deviceId),
              Texts("/tmp/x", "/tmp/l.json", "2.0", "1.99", "VC-1"));
    EXPECT_EQ(std::make_tuple(a.runSeconds, o.replyDelayMs, o.blockGapMs, o.seed,
                              o.reportFaultEvery, o.transferTimeoutMs),
              std::make_tuple(7, 5, 700, 42U, 2, 0));
    EXPECT_FALSE(o.paceOutput || a.help);
    EXPECT_EQ(o.reportFault, sim::ReportFault::NonHexField);
    ASSERT_EQ(o.nakFirstArrivals.size(), 2U);  // repeatable, count 1 unless given
    EXPECT_EQ(std::make_tuple(o.nakFirstArrivals[0].block, o.nakFirstArrivals[0].count,
                              o.nakFirstArrivals[1].block, o.nakFirstArrivals[1].count),
              std::make_tuple(3, 1, 9, 4));
    EXPECT_TRUE(Parse({"--help"}).first.help);
    EXPECT_TRUE(Parse({"--version"}).first.version);
    EXPECT_TRUE(Parse({}).first.options.paceOutput);  // paced unless asked
    EXPECT_EQ(Parse(Words("--report-fault adjacent-commas")).first.options.reportFault,
              sim::ReportFault::AdjacentCommas);
}

TEST(SimArguments, ScenarioComesFirstWhereverItStands) {
    const SimArguments a = Parse(Words("--firmware-version 1.00 --scenario no-firmware")).first;
    EXPECT_EQ(a.options.firmwareVersion, "1.00");
    const SimArguments b = Parse({"--garbage=0", "--scenario=noisy"}).first;
    EXPECT_EQ(b.options.garbageBetweenReplies, 0);
    EXPECT_FALSE(b.options.nakFirstArrivals.empty());
    EXPECT_EQ(Parse({"--scenario=current"}).first.options.firmwareVersion, CORVANE_VERSION_LABEL);
    EXPECT_TRUE(Parse({"--scenario=silent"}).first.options.neverSpeak);
    sim::SimOptions options;  // an unknown name changes nothing
    options.deviceId = "kept";
    EXPECT_FALSE(sim::ScenarioOptions("unknown", options));
    EXPECT_EQ(options.deviceId, "kept");
}

TEST(SimArguments, FaultyArgumentsAreRefusedWithAReason) {
    EXPECT_NE(Parse({"--bogus"}).second.find("--bogus"), std::string::npos);
    EXPECT_NE(Parse({"--reply-delay"}).second.find("needs"), std::string::npos);
    EXPECT_NE(Parse({"--no-pacing=1"}).second.find("no value"), std::string::npos);
    for (const char* bad :
         {"--reply-delay=-5", "--reply-delay=5ms", "--reply-delay=", "--reply-delay=99999999999",
          "--start-interval=0", "--nak-block=0", "--nak-block=3:", "--split-lines=x:1",
          "--report-fault=loud", "--scenario=nowhere", "--run-seconds=0", "--link="}) {
        EXPECT_NE(Parse({bad}).second.find("bad value"), std::string::npos) << bad;
    }
}

// A bench: each charger's options are the common ones, its own device ID and
// its own faults; faults that name no charger, or no option, are refused.
TEST(SimArguments, BenchChargersTakeTheirOwnFaults) {
    const auto [a, error] = Parse(Words(
        "--chargers 3 --link /tmp/b/charger-%d --reply-delay 5 --fault 3:--silent-after-block=40 "
        "--fault 2:never-speak"));
    ASSERT_TRUE(error.empty());
    std::string why;
    sim::SimOptions second;
    sim::SimOptions third;
    ASSERT_TRUE(sim::ChargerOptions(a, 2, second, why) && sim::ChargerOptions(a, 3, third, why));
    EXPECT_TRUE(second.neverSpeak);
    EXPECT_EQ(second.fallSilentAfterBlock, 0);
    EXPECT_EQ(third.fallSilentAfterBlock, 40);
    EXPECT_EQ(third.replyDelayMs, 5);
    EXPECT_EQ(sim::ChargerLink(a.linkPath, 3), "/tmp/b/charger-3");
    // Each tells itself apart by its number after the common device ID, as
    // corvane-cli --simulate bench numbers its own; a fault may name one.
    EXPECT_EQ(std::tie(second.deviceId, third.deviceId),
              std::make_tuple(std::string("VC-4017-0032-2"), std::string("VC-4017-0032-3")));
    sim::SimOptions first;
    const SimArguments b =
        Parse(Words("--chargers 2 --device-id CV-9 --fault 2:--device-id=X")).first;
    ASSERT_TRUE(sim::ChargerOptions(b, 1, first, why) && sim::ChargerOptions(b, 2, second, why));
    EXPECT_EQ(std::tie(first.deviceId, second.deviceId),
              std::make_tuple(std::string("CV-9-1"), std::string("X")));
    const SimArguments alone = Parse(Words("--chargers 1 --device-id CV-9")).first;
    ASSERT_TRUE(sim::ChargerOptions(alone, 1, first, why));
    EXPECT_EQ(first.deviceId, "CV-9");  // one charger keeps the ID it was given
    EXPECT_NE(Parse(Words("--chargers 2 --fault 3:never-speak")).second.find("only 2"),
              std::string::npos);
    EXPECT_NE(Parse(Words("--chargers 2 --fault 1:loud")).second.find("unknown option --loud"),
              std::string::npos);
    EXPECT_NE(Parse(Words("--chargers 2 --link /tmp/one")).second.find("%d"), std::string::npos);
    EXPECT_NE(Parse(Words("--fault 1:never-speak")).second.find("need --chargers"),
              std::string::npos);
}

TEST(SimArguments, UsageDocumentsEveryOptionAndEveryScenarioIsAWholeSetUp) {
    const std::string usage = sim::SimUsage();
    for (const std::string& option : Words(
             "--help --version --scenario --link --run-seconds --log --boot-version "
             "--firmware-version "
             "--no-firmware --device-id --reply-delay --start-interval --report-period --no-pacing "
             "--block-gap --transfer-timeout --resume-after-cancel --nak-block --cancel-at-block "
             "--silent-after-block --hang-up-after-block --ack-delay --never-speak --garbage "
             "--split-lines --no-boot-line --no-version-line --lower-case-version --long-lines "
             "--nak-replies --report-fault --report-fault-every --seed --chargers --fault "
             "--plug-every")) {
        EXPECT_NE(usage.find("  " + option + " "), std::string::npos) << option;
        // Each documented option is also known to the parser.
        EXPECT_EQ(Parse({option + "=?"}).second.find("unknown"), std::string::npos) << option;
    }
    // It reads in an 80-column terminal and becomes the manual page.
    std::istringstream lines(usage);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80U) << line;
    }
    EXPECT_EQ(sim::ScenarioNames().size(), 6U);
    for (const std::string& name : sim::ScenarioNames()) {
        EXPECT_NE(usage.find(name), std::string::npos) << name;
        sim::SimOptions options;
        options.bootVersion = "changed";
        EXPECT_TRUE(sim::ScenarioOptions(name, options)) << name;
        EXPECT_EQ(options.bootVersion, "1.3") << name;  // a whole set-up, not a patch
    }
}

TEST(SimLogJson, EmptyAndFullRecordsParseAndCarryEveryPart) {
    QJsonParseError error{};
    QJsonDocument::fromJson(QByteArray::fromStdString(sim::SimLog{}.ToJson()), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError);

    sim::SimLog log;
    log.commands.push_back({12, "/00", sim::ChargerMode::Firmware});
    log.commands.push_back({40, std::string("a\"b\\c\x01\xff", 7), sim::ChargerMode::BootLoader});
    log.blocks.push_back({100, 1, 1, sim::BlockVerdict::Accepted, 6, false});
    log.blocks.push_back({150, 2, 2, sim::BlockVerdict::BadCrc, 21, false});
    log.blocks.push_back({200, 2, 2, sim::BlockVerdict::Accepted, 21, true});
    log.modeChanges.push_back({30, sim::ChargerMode::BootLoader});
    log.nakSent = 2;
    log.eotReceived = 1;
    log.finalImageSound = true;
    log.installedVersion = "2.10e";
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(log.ToJson()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc["commands"].toArray().size(), 2);
    EXPECT_EQ(doc["commands"][0]["text"].toString(), "/00");
    EXPECT_EQ(doc["commands"][0]["atMs"].toInt(), 12);
    EXPECT_EQ(doc["commands"][1]["text"].toString(), QString("a\"b\\c\x01\u00ff"));
    EXPECT_EQ(doc["commands"][1]["mode"].toString(), "boot-loader");
    EXPECT_EQ(doc["blocks"].toArray().size(), 3);
    EXPECT_EQ(doc["blocks"][1]["verdict"].toString(), "bad-crc");
    EXPECT_EQ(doc["blocks"][1]["reply"].toString(), "NAK");
    EXPECT_TRUE(doc["blocks"][2]["faultInjected"].toBool());
    EXPECT_EQ(doc["modeChanges"][0]["mode"].toString(), "boot-loader");
    EXPECT_EQ(doc["nakSent"].toInt(), 2);
    EXPECT_EQ(doc["eotReceived"].toInt(), 1);
    EXPECT_TRUE(doc["finalImageSound"].toBool());
    EXPECT_EQ(doc["installedVersion"].toString(), "2.10e");
    EXPECT_FALSE(doc["hungUp"].toBool());
}

}  // namespace
