// --json: one object per command on standard output, with the keys scripts
// rely on, also when the command fails.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "CliHarness.h"

namespace clitest {
namespace {

// A value by its path ("refreshes.1.Batt Present"); "#" is the size of an
// array or object.
QJsonValue At(QJsonValue value, const QString& path) {
    for (const QString& key : path.split('.')) {
        if (key == "#") {
            return value.isArray() ? value.toArray().size() : value.toObject().size();
        }
        value = value.isArray() ? value[key.toInt()] : value[key];
    }
    return value;
}

// An empty string, array or object stands for any value of its type.
bool Matches(const QJsonValue& actual, const QJsonValue& expected) {
    const bool any = (expected.isString() && expected.toString().isEmpty()) ||
                     (expected.isArray() && expected.toArray().isEmpty()) ||
                     (expected.isObject() && expected.toObject().isEmpty());
    return any ? actual.type() == expected.type() : actual == expected;
}

struct JsonCase {
    const char* name;
    std::vector<std::string> args;
    int code;
    std::vector<std::pair<QString, QJsonValue>> expect;
    std::vector<std::string> before = {};  // a command run first
};

const QJsonArray kReadStatuses = {"Starting Communications", "Reading Version Information",
                                  "Read Version Complete"};

const JsonCase kCases[] = {
    {"Read",
     {"--simulate", "read"},
     0,
     {{"command", "read"},
      {"device", ""},
      {"bootCode", "1.3"},
      {"chargerCode", "2.09"},
      {"upgradeVersion", "2.10e"},
      {"statuses", kReadStatuses},
      {"upgradeOffered", true},
      {"verdict", "ok"},
      {"exitCode", 0}}},
    {"ReadCurrent",
     {"--simulate=current", "read"},
     0,
     {{"chargerCode", "2.10e"}, {"upgradeOffered", false}, {"verdict", "ok"}}},
    {"Upgrade",
     {"--simulate=old-firmware", "upgrade"},
     0,
     {{"command", "upgrade"},
      {"device", ""},
      {"statuses", QJsonArray{"Upgrading", "Reading Version Information", "Read Version Complete",
                              "Upgrade Successful"}},
      {"chargerCode", "2.10e"},
      {"upgradeOffered", false},
      {"verdict", "ok"},
      {"exitCode", 0}}},
    {"Monitor",
     {"--simulate", "monitor", "--count", "2"},
     0,
     {{"command", "monitor"},
      {"exitCode", 0},
      {"refreshes.#", 2},
      {"refreshes.0.#", 16},
      {"refreshes.1.#", 16},
      {"refreshes.0.Charge Phase (CV/CC)", ""},
      {"refreshes.0.NAC", ""},
      {"refreshes.0.Supply Voltage", ""},
      {"refreshes.1.Batt Present", "true"}}},
    {"Export",
     {"export", "image.bin"},
     0,
     {{"command", "export"}, {"file", "image.bin"}, {"bytes", 12810}}},
    {"Crc",
     {"crc", "image.bin"},
     0,
     {{"command", "crc"},
      {"fileName", "image.bin"},
      {"fileSize", 12810},
      {"crcFromFile", "20C5"},
      {"lengthFromFile", "12682"},
      {"generatedCrc", "20C5"},
      {"error", QJsonValue::Null}},
     {"export", "image.bin"}},
    {"Version",
     {"version"},
     0,
     {{"command", "version"}, {"version", "2.10e"}, {"imageBytes", 12810}, {"imageCrc", "20C5"}}},
    {"Ports",
     {"ports"},
     0,
     {{"command", "ports"},
      {"devices", QJsonArray{}},
      {"mappings.#", 4},
      {"mappings.COM1", ""},
      {"mappings.COM2", ""},
      {"mappings.COM3", ""},
      {"mappings.COM4", "/dev/ttyUSB7"}},
     {"ports", "--map", "COM4=/dev/ttyUSB7"}},
    // A script must still get its object, with the verdict, when things fail.
    {"MissingPort",
     {"--port", "/dev/corvane-no-such-tty", "read"},
     3,
     {{"verdict", "port-not-opened"},
      {"exitCode", 3},
      {"statuses", QJsonArray{"Starting Communications", "No Communications With Charger"}}}},
    {"SilentCharger",
     {"--simulate=silent", "read"},
     4,
     {{"verdict", "no-communication"},
      {"exitCode", 4},
      {"statuses",
       QJsonArray{"Starting Communications", "Reading Version Information",
                  "Retrying Identification", "Retrying Identification", "Retrying Identification",
                  "Retrying Identification", "Unable to get Version Information"}}}},
    {"MissingFile",
     {"crc", "absent.bin"},
     5,
     {{"exitCode", 5}, {"error", ""}, {"fileSize", QJsonValue::Null}}},
};

void PrintTo(const JsonCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonShape : public CCliTest, public ::testing::WithParamInterface<JsonCase> {};

TEST_P(JsonShape, OneObjectWithTheKeysScriptsRelyOn) {
    const JsonCase& c = GetParam();
    if (!c.before.empty()) {
        ASSERT_EQ(RunCli(c.before).code, 0);
    }
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult r = RunCli(args, 45000);
    EXPECT_EQ(r.code, c.code) << r;
    const QJsonObject json = ParseJsonLine(r.out);
    for (const auto& [path, expected] : c.expect) {
        EXPECT_TRUE(Matches(At(json, path), expected)) << path.toStdString() << ": " << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, JsonShape, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace clitest
