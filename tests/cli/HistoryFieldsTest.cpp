// corvane-cli history keeps every field of a record as it was read and
// safe to show: --json writes each line back as the journal wrote it, and
// neither a NUL nor a terminal's control bytes pass through a listing.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CliHarness.h"

namespace clitest {
namespace {

using HistoryCommand = CCliTest;

// Each outcome comes back as itself, the failure with its reason; one the
// journal writer does not know stays as written, and a missing one missing.
TEST_F(HistoryCommand, JsonKeepsEveryOutcome) {
    std::filesystem::create_directories(m_state + "/corvane");
    std::ofstream(RecordsPath())
        << "{\"time\":\"2026-12-07T09:00:00Z\",\"deviceId\":\"A\",\"outcome\":\"read\"}\n"
        << "{\"time\":\"2026-12-07T09:01:00Z\",\"deviceId\":\"B\",\"outcome\":\"current\"}\n"
        << "{\"time\":\"2026-12-07T09:02:00Z\",\"deviceId\":\"C\",\"outcome\":\"upgraded\"}\n"
        << "{\"time\":\"2026-12-07T09:03:00Z\",\"deviceId\":\"D\",\"outcome\":\"failed\","
           "\"reason\":\"No answer.\"}\n"
        << "{\"time\":\"2026-12-07T09:04:00Z\",\"deviceId\":\"E\",\"outcome\":\"exploded\","
           "\"reason\":\"Smoke.\"}\n"
        << "{\"time\":\"2026-12-07T09:05:00Z\",\"deviceId\":\"F\"}\n";
    const CliResult r = RunCli({"history", "--json"});
    ASSERT_EQ(r.code, 0) << r;
    std::vector<std::string> shown;
    for (const std::string& line : Lines(r.out)) {
        const QJsonObject o = QJsonDocument::fromJson(line.c_str()).object();
        const QString outcome = o.contains("outcome") ? o["outcome"].toString() : "(none)";
        shown.push_back((o["deviceId"].toString() + " " + outcome + " " + o["reason"].toString())
                            .toStdString());
    }
    EXPECT_EQ(shown,
              (std::vector<std::string>{"F (none) ", "E exploded Smoke.", "D failed No answer.",
                                        "C upgraded ", "B current ", "A read "}))
        << r;
}

// history --json writes each record back with the journal's own writer: a
// line as the journal wrote it (the first as the bench writes it) comes out
// as it went in, with what only an odd line holds: an outcome the writer
// has no name for, none at all, a CRC that is no four hex digits, a size
// below zero, a reason beside a success.
TEST_F(HistoryCommand, JsonWritesEachLineBackAsItWasWritten) {
    const std::string rest =
        R"("device":"/dev/ttyUSB0","byId":"usb-FTDI_A1-if00-port0","deviceId":"VC-4017-0032",)"
        R"("bootCode":"1.3","before":"2.09","after":"",)";
    const std::vector<std::string> lines = {
        R"({"time":"2026-12-07T09:00:00Z","host":"benchpc","tool":"bench",)"
        R"("port":"/dev/serial/by-id/usb-FTDI_A1-if00-port0",)" +
            rest +
            R"("image":{"label":"2.10e","size":12810,"crc":"20C5","path":"/srv/images/2.10e.bin"},)"
            R"("blocks":41,"resends":2,"seconds":37.5,"outcome":"failed",)"
            R"("reason":"The upload failed at block 41 of 101. Say \"why\".",)"
            R"("identification":["Boot 1.3","V2.09 Veltra charger"]})",
        R"({"time":"2026-12-07T09:01:00Z","host":"pc1","tool":"cli","port":"COM1",)" + rest +
            R"("image":{"label":"","size":-1,"crc":"zz","path":""},"blocks":-3000000000,)"
            R"("resends":0,"seconds":0.0,"outcome":"exploded","reason":"Smoke.",)"
            R"("identification":[],"simulated":true})",
        R"({"time":"2026-12-07T09:02:00Z","host":"pc1","tool":"window","port":"COM1",)" + rest +
            R"("image":{"label":"2.10e","size":12810,"crc":"1D0F","path":""},"blocks":101,)"
            R"("resends":4,"seconds":41.2,"reason":"","identification":["deviceid \u0007"]})",
        R"({"time":"2026-12-07T09:03:00Z","host":"pc1","tool":"window","port":"COM1",)" + rest +
            R"("image":{"label":"2.10e","size":12810,"crc":"1D0F","path":""},"blocks":101,)"
            R"("resends":4,"seconds":41.2,"outcome":"upgraded","reason":"odd",)"
            R"("identification":[]})",
    };
    std::filesystem::create_directories(m_state + "/corvane");
    std::ofstream out(RecordsPath());
    for (const std::string& line : lines) {
        out << line << "\n";
    }
    out.close();
    const CliResult r = RunCli({"history", "--json"});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(Lines(r.out), std::vector<std::string>(lines.rbegin(), lines.rend())) << r;
}

// A NUL inside a text ends neither a row nor a line: every record keeps a
// row of its own with the header's columns, and --json keeps the text whole.
TEST_F(HistoryCommand, NulInATextKeepsTheRowsApart) {
    std::filesystem::create_directories(m_state + "/corvane");
    std::ofstream out(RecordsPath());
    for (int i = 0; i < 6; ++i) {
        out << "{\"time\":\"2026-12-07T09:0" << i << ":00Z\",\"deviceId\":\"A\\u0000B" << i
            << "\",\"outcome\":\"failed\",\"reason\":\"x\\u0000y\"}\n";
    }
    out.close();
    const CliResult csv = RunCli({"history", "--csv"});
    ASSERT_EQ(csv.code, 0) << csv;
    const std::vector<std::string> rows = Lines(csv.out);
    ASSERT_EQ(rows.size(), 7u) << csv;
    for (const std::string& row : rows) {
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 20) << row;
        EXPECT_EQ(row.back(), '\r') << row;
    }
    const CliResult table = RunCli({"history"});
    ASSERT_EQ(table.code, 0) << table;
    EXPECT_EQ(Lines(table.out).size(), 8u) << table;
    const CliResult json = RunCli({"history", "--json"});
    ASSERT_EQ(json.code, 0) << json;
    const std::vector<std::string> objects = Lines(json.out);
    ASSERT_EQ(objects.size(), 6u) << json;
    EXPECT_EQ(QJsonDocument::fromJson(objects[0].c_str()).object()["deviceId"].toString(),
              QString::fromUtf8("A\0B5", 4));
}

// Bytes a terminal obeys: C0 controls other than those allowed, DEL and the
// C1 controls (U+0080 to U+009F, C2 80 to C2 9F in UTF-8).
bool HoldsControls(const std::string& text, const std::string& allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if ((c < 0x20 && allowed.find(text[i]) == std::string::npos) || c == 0x7F || c1) {
            return true;
        }
    }
    return false;
}

// Every text of a gathered journal may be hostile: in the table, its
// summary and the CSV, what a terminal would obey shows as an escape.
TEST_F(HistoryCommand, ControlCharactersReachNoTerminal) {
    std::filesystem::create_directories(m_state + "/corvane");
    std::ofstream(RecordsPath())
        << "{\"time\":\"2026-12-07T09:00:00Z\",\"host\":\"h\\u009b1\",\"tool\":\"t\\u007f\","
           "\"port\":\"p\\r\",\"device\":\"/dev/\\u001bx\",\"byId\":\"b\\u0007\","
           "\"deviceId\":\"X\\u001b]0;OWNED\\u0007\",\"bootCode\":\"\\u00001\","
           "\"before\":\"2.\\u001b09\",\"after\":\"2.10\\u0085\",\"image\":{\"label\":\"l\\t\","
           "\"size\":1,\"crc\":\"\\u001b\",\"path\":\"/p\\u009b\"},\"outcome\":\"failed\","
           "\"reason\":\"\\u001b[2J\\u001b[31mred\\nnext\",\"slot\":\"S\\u001b1\"}\n";
    const CliResult table = RunCli({"history"});
    ASSERT_EQ(table.code, 0) << table;
    EXPECT_FALSE(HoldsControls(table.out, "\n")) << table;
    const std::vector<std::string> lines = Lines(table.out);
    ASSERT_EQ(lines.size(), 3u) << table;
    for (const char* shown : {"X\\x1b]0;OWNED\\x07", "2.\\x1b09 > 2.10\\x85", "p\\x0d", "h\\x9b1",
                              "t\\x7f", "\\x1b[2J\\x1b[31mred\\x0anext", "S\\x1b1"}) {
        EXPECT_TRUE(Contains(lines[1], shown)) << shown << "\n" << table;
    }
    EXPECT_TRUE(Contains(lines[2], "failures: \"\\x1b[2J\\x1b[31mred\\x0anext\" (1)")) << table;

    const CliResult csv = RunCli({"history", "--csv"});
    ASSERT_EQ(csv.code, 0) << csv;
    EXPECT_FALSE(HoldsControls(csv.out, "\t\r\n")) << csv;
    EXPECT_TRUE(Contains(csv.out,
                         "\r\n2026-12-07T09:00:00Z,h\\x9b1,t\\x7f,\"p\r\",/dev/\\x1bx,"
                         "b\\x07,X\\x1b]0;OWNED\\x07,\\x001,2.\\x1b09,2.10\\x85,l\t,1,"
                         "\\x1b,/p\\x9b,0,0,0.0,failed,"
                         "\"\\x1b[2J\\x1b[31mred\nnext\",no,S\\x1b1\r\n"))
        << csv;
}

}  // namespace
}  // namespace clitest
