// --json: one object per command on standard output, with the keys scripts
// rely on, also when the command fails.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "CliHarness.h"

namespace clitest {
namespace {

// Whatever `expected` holds, `actual` holds too: objects key by key ("#" is
// their size), arrays element by element and of the same length. An empty
// string, array or object stands for any value of its type.
bool Covers(const QJsonValue& actual, const QJsonValue& expected) {
    if (actual.type() != expected.type()) {
        return false;
    }
    const QJsonObject object = expected.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonValue size(actual.toObject().size());
        if (!Covers(it.key() == "#" ? size : actual[it.key()], *it)) {
            return false;
        }
    }
    const QJsonArray array = expected.toArray();
    if (!array.isEmpty() && array.size() != actual.toArray().size()) {
        return false;
    }
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!Covers(actual[i], array[i])) {
            return false;
        }
    }
    return expected.isObject() || expected.isArray() || actual == expected ||
           (expected.isString() && expected.toString().isEmpty());
}

struct JsonCase {
    const char* name;
    const char* args;
    int code;
    const char* expected;
    const char* before = "";  // a command run first
};

const JsonCase kCases[] = {
    {"Read", "--simulate read", 0,
     R"({"command":"read","port":"simulated","device":"","bootCode":"1.3","chargerCode":"2.09",)"
     R"("upgradeVersion":"2.10e","upgradeOffered":true,"verdict":"ok","exitCode":0,)"
     R"("statuses":["Starting Communications","Reading Version Information",)"
     R"("Read Version Complete"]})"},
    {"ReadCurrent", "--simulate=current read", 0,
     R"({"chargerCode":"2.10e","upgradeOffered":false,"verdict":"ok"})"},
    {"Upgrade", "--simulate=old-firmware upgrade", 0,
     R"({"command":"upgrade","device":"","chargerCode":"2.10e","upgradeOffered":false,)"
     R"("verdict":"ok","exitCode":0,"statuses":["Upgrading","Reading Version Information",)"
     R"("Read Version Complete","Upgrade Successful"]})"},
    {"Export", "export image.bin", 0, R"({"command":"export","file":"image.bin","bytes":12810})"},
    {"Crc", "crc image.bin", 0,
     R"({"command":"crc","fileName":"image.bin","fileSize":12810,"crcFromFile":"20C5",)"
     R"("lengthFromFile":"12682","generatedCrc":"20C5","match":true,"sizeAgrees":true,)"
     R"("error":null})",
     "export image.bin"},
    {"Version", "version", 0,
     R"({"command":"version","version":"","imageVersion":"2.10e","imageBytes":12810,)"
     R"("imageCrc":"20C5"})"},
    {"Ports", "ports", 0,
     R"({"command":"ports","devices":[],"mappings":{"#":4,"COM1":"","COM2":"","COM3":"",)"
     R"("COM4":"/dev/ttyUSB7"}})",
     "ports --map COM4=/dev/ttyUSB7"},
    // A script must still get its object, with the verdict, when things fail.
    {"MissingPort", "--port /dev/corvane-no-such-tty read", 3,
     R"({"verdict":"port-not-opened","exitCode":3,)"
     R"("statuses":["Starting Communications","No Communications With Charger"]})"},
    {"SilentCharger", "--simulate=silent read", 4,
     R"({"verdict":"no-communication","exitCode":4,"statuses":["Starting Communications",)"
     R"("Reading Version Information","Retrying Identification","Retrying Identification",)"
     R"("Retrying Identification","Retrying Identification",)"
     R"("Unable to get Version Information"]})"},
    {"MissingFile", "crc absent.bin", 5,
     R"({"exitCode":5,"error":"","fileSize":null,"match":null,"sizeAgrees":null})"},
    {"RefusedImageFile", "upgrade --image absent.bin", 5,
     R"({"command":"upgrade","imageFile":"absent.bin","error":"","verdict":"file-refused",)"
     R"("exitCode":5})"},
};

class JsonShape : public CCliTest, public ::testing::WithParamInterface<JsonCase> {};

TEST_P(JsonShape, OneObjectWithTheKeysScriptsRelyOn) {
    const JsonCase& c = GetParam();
    if (*c.before != '\0') {
        ASSERT_EQ(RunCli(Words(c.before)).code, 0);
    }
    const CliResult r = RunCli(Words(std::string("--json ") + c.args), 45000);
    EXPECT_EQ(r.code, c.code) << r;
    const QJsonValue expected = QJsonDocument::fromJson(c.expected).object();
    ASSERT_FALSE(expected.toObject().isEmpty()) << "the table's own JSON is broken";
    EXPECT_TRUE(Covers(ParseJsonLine(r.out), expected))
        << "expected at least " << c.expected << "\n"
        << r;
}

INSTANTIATE_TEST_SUITE_P(Commands, JsonShape, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace clitest
