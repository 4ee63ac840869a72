// What the bench writes down: the record line of a result, the journal's
// file and system-log lines, and message boxes turned into one line.
#include <gtest/gtest.h>

#include <fstream>

#include "bench/BenchJournal.h"
#include "bench/FailureReason.h"
#include "common/TestKit.h"
#include "serial/ErrorReport.h"

namespace {

bench::SlotInfo Slot() {
    bench::SlotInfo slot;
    slot.port = "/dev/serial/by-id/usb-FTDI_A1-if00-port0";
    slot.device = "/dev/ttyUSB0";
    slot.byIdName = "usb-FTDI_A1-if00-port0";
    return slot;
}

bench::RunResult Failed() {
    bench::RunResult r;
    r.outcome = bench::Outcome::Failed;
    r.reason = "The upload failed at block 41 of 101. Say \"why\".";
    r.bootCode = "1.3";
    r.before = "2.09";
    r.identification = {"Boot 1.3", "V2.09 Veltra charger"};
    r.blocks = 41;
    r.resends = 2;
    r.seconds = 37.46;
    r.image = {"2.10e", "/srv/images/2.10e.bin", 12810, 0x20C5};
    return r;
}

class CSystemLogRecorder : public bench::ISystemLog {
public:
    void Write(bool failed, const std::string& line) override {
        lines.push_back((failed ? "warning " : "info ") + line);
    }
    std::vector<std::string> lines;
};

}  // namespace

TEST(BenchRecord, LineNamesChargerVersionsFiguresAndImage) {
    EXPECT_EQ(bench::RecordLine(Slot(), Failed(), "2026-12-07T16:00:00Z"),
              "{\"time\":\"2026-12-07T16:00:00Z\","
              "\"port\":\"/dev/serial/by-id/usb-FTDI_A1-if00-port0\",\"device\":\"/dev/ttyUSB0\","
              "\"byId\":\"usb-FTDI_A1-if00-port0\","
              "\"identification\":[\"Boot 1.3\",\"V2.09 Veltra charger\"],"
              "\"bootCode\":\"1.3\",\"before\":\"2.09\",\"after\":\"\",\"blocks\":41,"
              "\"resends\":2,\"seconds\":37.5,\"outcome\":\"failed\","
              "\"reason\":\"The upload failed at block 41 of 101. Say \\\"why\\\".\","
              "\"image\":{\"label\":\"2.10e\",\"size\":12810,\"crc\":\"20C5\","
              "\"path\":\"/srv/images/2.10e.bin\"}}");
}

// One line appended per result, the same one to the system log, a failure
// as a warning; a file that cannot be written is said once, never thrown.
TEST(BenchRecord, JournalAppendsToFileAndSystemLog) {
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/state/corvane/bench.jsonl";
    CSystemLogRecorder systemLog;
    bench::CBenchJournal journal(path, systemLog);
    bench::RunResult ok = Failed();
    ok.outcome = bench::Outcome::Upgraded;
    journal.Record(Slot(), Failed());
    journal.Record(Slot(), ok);

    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2U);
    ASSERT_EQ(systemLog.lines.size(), 2U);
    EXPECT_EQ(systemLog.lines[0], "warning " + lines[0]);
    EXPECT_EQ(systemLog.lines[1], "info " + lines[1]);
    EXPECT_EQ(lines[1].find("\"reason\""), std::string::npos);
    EXPECT_TRUE(journal.Problem().empty());

    bench::CBenchJournal blocked(dir.Path() + "/state/corvane/bench.jsonl/x", systemLog);
    blocked.Record(Slot(), ok);
    EXPECT_EQ(blocked.Problem().rfind("Could not write the bench record ", 0), 0U);
    EXPECT_EQ(systemLog.lines.size(), 3U);
}

// Window boxes become one line: a capital after words gets a full stop, a
// line broken mid-sentence is joined with a space.
TEST(BenchRecord, BoxTextsBecomeOneLine) {
    EXPECT_EQ(bench::BoxTextAsLine("Upgrade Process Failed\nPlease unplug the charger for 10 "
                                   "seconds\nthen plug it back in and try again."),
              "Upgrade Process Failed. Please unplug the charger for 10 seconds then plug it back "
              "in and try again.");
    EXPECT_EQ(bench::BoxTextAsLine(kCommErrorText),
              "Communications Error! Verify the cable is connected properly and the correct "
              "communications port has been selected. If communications errors continue please "
              "unplug the charger for 10 seconds and then plug it back in and try again. If "
              "that fails please contact support.");
}

// Where an upload ended says what went wrong: before the first block was
// asked for, or at a block.
TEST(BenchRecord, FailedUploadIsPlacedAtItsBlock) {
    const struct {
        int block;
        UploadState end;
        const char* reason;
    } cases[] = {
        {0, UploadState::Failed, "The boot loader never asked for the first block."},
        {1, UploadState::Failed, "The upload failed at block 1 of 101."},
        {1, UploadState::Cancelled, "The charger cancelled the upload at block 1 of 101."},
    };
    for (const auto& c : cases) {
        bench::FailureFacts facts;
        facts.uploadEnd = c.end;
        facts.block = c.block;
        facts.totalBlocks = 101;
        EXPECT_EQ(bench::FailureReason(facts), c.reason) << c.block;
    }
}
