// --image FILE [--label VERSION]: an image file instead of the carried one.
// A sound file made by tools/make_image.py upgrades corvane-sim to its label;
// an unsound one is refused with its reason before the port is touched.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QJsonDocument>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "CliHarness.h"

namespace clitest {
namespace {

using Bytes = std::vector<char>;
using Strings = std::vector<std::string>;

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes CarriedImage() {
    return Read(CORVANE_SOURCE_DIR "/resources/upgrade-2.10e.bin");
}

void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
}

class ImageFile : public CCliTest {
protected:
    // Runs tools/make_image.py in the working folder.
    void MakeImage(const Strings& args) const {
        QStringList list{CORVANE_SOURCE_DIR "/tools/make_image.py"};
        for (const auto& arg : args) {
            list << QString::fromStdString(arg);
        }
        QProcess python;
        python.setWorkingDirectory(QString::fromStdString(m_work));
        python.start("python3", list);
        ASSERT_TRUE(python.waitForFinished(30000) && python.exitCode() == 0)
            << python.readAllStandardError().toStdString();
    }
};

// read and upgrade --if-needed compare with the label, upgrade sends the
// file, and the records name it. --label stands for a name that is no
// version.
TEST_F(ImageFile, SoundFileNamedAfterItsLabelUpgradesTheChargerToIt) {
    MakeImage({"--label", "2.11a", "2.11a.bin"});
    std::filesystem::copy_file(m_work + "/2.11a.bin", m_work + "/candidate.bin");
    const std::string device = StartSim("--no-pacing");

    const CliResult read = RunCli(
        {"--json", "--port", device, "read", "--image", "candidate.bin", "--label", "2.11a"});
    ASSERT_EQ(read.code, 0) << read;
    const QJsonObject json = ParseJsonLine(read.out);
    EXPECT_EQ(json["upgradeVersion"].toString(), "2.11a");
    EXPECT_TRUE(json["upgradeOffered"].toBool());
    EXPECT_EQ(json["image"]["path"].toString().toStdString(), m_work + "/candidate.bin");

    const CliResult upgrade = RunCli({"--port", device, "upgrade", "--image", "2.11a.bin"}, 45000);
    ASSERT_EQ(upgrade.code, 0) << upgrade;
    EXPECT_TRUE(std::regex_search(upgrade.out, std::regex("Charger Code: +2\\.11a\nUpgrade "
                                                          "Version\n +Charger Code: +2\\.11a\n"
                                                          "Upgrade Successful\n$")))
        << upgrade;

    const CliResult again = RunCli({"--port", device, "upgrade", "--if-needed", "--image",
                                    "candidate.bin", "--label", "2.11a"});
    ASSERT_EQ(again.code, 0) << again;
    EXPECT_FALSE(Contains(again.out, "Upgrading")) << again;

    const QJsonObject log = StopSim();
    EXPECT_EQ(log["installedVersion"].toString(), "2.11a");
    EXPECT_EQ(SimCommands(log), (Strings{"/01-", "/00", "/0842", "/01-", "/00", "/01-", "/00"}));
    const Bytes made = Read(m_work + "/2.11a.bin");
    ASSERT_EQ(made.size(), 12810u);
    char crc[8];
    std::snprintf(crc, sizeof crc, "%02X%02X", static_cast<unsigned char>(made[2]),
                  static_cast<unsigned char>(made[3]));
    // The read, the upgrade and the upgrade that found nothing to do.
    const auto lines = RecordLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(Contains(lines[0], "\"outcome\":\"read\"")) << lines[0];
    EXPECT_TRUE(Contains(lines[2], "\"before\":\"2.11a\",\"after\":\"2.11a\"") &&
                Contains(lines[2], "/candidate.bin\"}") &&
                Contains(lines[2], "\"outcome\":\"current\""))
        << lines[2];
    EXPECT_TRUE(Contains(lines[1], std::string("\"before\":\"\",\"after\":\"2.11a\","
                                               "\"image\":{\"label\":\"2.11a\",\"size\":12810,"
                                               "\"crc\":\"") +
                                       crc + "\",\"path\":\"" + m_work + "/2.11a.bin\"}"))
        << lines[1];
}

// The bench sends the file to every charger, and each record names it.
TEST_F(ImageFile, BenchSendsTheFileToEveryChargerAndItsRecordsNameIt) {
    MakeImage({"--label", "2.11a", "2.11a.bin"});
    const CliResult r =
        RunCli({"bench", "--simulate", "--chargers", "2", "--image", "2.11a.bin"}, 60000);
    ASSERT_EQ(r.code, 0) << r;
    std::ifstream journal(RecordsPath());
    int records = 0;
    std::set<QString> ids;
    for (std::string line; std::getline(journal, line); ++records) {
        const QJsonObject record =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        EXPECT_EQ(record["tool"].toString(), "bench") << line;
        EXPECT_TRUE(record["simulated"].toBool()) << line;
        ids.insert(record["deviceId"].toString());
        EXPECT_EQ(record["after"].toString(), "2.11a") << line;
        EXPECT_EQ(record["outcome"].toString(), "upgraded") << line;
        const QJsonObject image = record["image"].toObject();
        EXPECT_EQ(image["label"].toString(), "2.11a") << line;
        EXPECT_EQ(image["size"].toInt(), 12810) << line;
        EXPECT_EQ(image["path"].toString().toStdString(), m_work + "/2.11a.bin") << line;
    }
    EXPECT_EQ(records, 2);
    // Each simulated charger names itself.
    EXPECT_EQ(ids, (std::set<QString>{"VC-4017-0032-1", "VC-4017-0032-2"}));
}

struct Unsound {
    const char* name;
    const char* command;  // what is asked of corvane-cli, before --image FILE
    std::function<void(const std::string& path)> make;
    const char* reason;
};

Bytes Changed(std::size_t at, char value) {
    Bytes bytes = CarriedImage();
    bytes.at(at) = value;
    return bytes;
}

const Unsound kUnsound[] = {
    {"Missing", "upgrade", [](const std::string&) {},
     "it cannot be opened: No such file or directory"},
    {"Folder", "upgrade", [](const std::string& p) { std::filesystem::create_directory(p); },
     "it is not a regular file"},
    {"Fifo", "upgrade --if-needed", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); },
     "it is not a regular file"},
    {"NoCode", "upgrade", [](const std::string& p) { Write(p, Bytes(128, 0)); },
     "it holds no code"},
    {"ShorterThanTheHeader", "read", [](const std::string& p) { Write(p, Bytes(100, 0)); },
     "the file holds 100 bytes, less than the 128-byte header"},
    {"CodeCutShort", "upgrade",
     [](const std::string& p) {
         Bytes bytes = CarriedImage();
         bytes.resize(128 + 12000);
         Write(p, bytes);
     },
     "the header says 12682 code bytes, the file holds 12000"},
    {"ReservedByteSet", "upgrade --label 2.10e",
     [](const std::string& p) { Write(p, Changed(64, 1)); },
     "header bytes 4 to 127 are not all zero"},
    {"HeaderCrcWrong", "upgrade", [](const std::string& p) { Write(p, Changed(3, 0x34)); },
     "the header's CRC is 2034, the code's CRC is 20C5"},
    {"Bench", "bench", [](const std::string& p) { Write(p, Bytes(100, 0)); },
     "the file holds 100 bytes, less than the 128-byte header"},
    {"CodeOverLimit", "upgrade",
     [](const std::string& p) {
         Bytes bytes(128 + 65536, 0);
         bytes[0] = bytes[1] = static_cast<char>(0xFF);
         Write(p, bytes);
     },
     "the file holds more than 65663 bytes: an image's code is at most 65535 bytes"},
};

class UnsoundImageFile : public CCliTest, public ::testing::WithParamInterface<Unsound> {};

// Refused with the reason and exit 5 before the port is opened: the far end
// of the line receives nothing.
TEST_P(UnsoundImageFile, IsRefusedWithItsReasonAndNothingReachesThePort) {
    const Unsound& u = GetParam();
    const std::string file = "image.bin";
    u.make(m_work + "/" + file);
    testkit::CPtyPair line;
    Strings args = {"--port", line.SlavePath()};
    for (const auto& word : Words(u.command)) {
        args.push_back(word);
    }
    args.insert(args.end(), {"--image", file});
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.code, 5) << r;
    EXPECT_EQ(r.err, "Cannot use the image file " + file + ": " + u.reason + ".\n") << r;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(line.Receive(1, 50), "") << "sent to the port";
    EXPECT_FALSE(std::filesystem::exists(RecordsPath()));
}

INSTANTIATE_TEST_SUITE_P(Files, UnsoundImageFile, ::testing::ValuesIn(kUnsound),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace clitest
