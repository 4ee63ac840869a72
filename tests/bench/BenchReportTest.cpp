// The lines corvane-cli bench prints for the bench's events: JSON, plain
// lines and the closing summary.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchEvents.h"
#include "cli/BenchReport.h"

using bench::EventKind;
using benchtest::Event;
using benchtest::Finished;

// Progress every 10 blocks (a resend of one already shown is not repeated),
// the last block, and the finished event's figures; status events are not
// printed.
TEST(BenchReport, JsonLinesPerEvent) {
    CBenchReport report(CBenchReport::Form::Json, stdout);
    EXPECT_EQ(report.JsonLine(Event(EventKind::Appeared)),
              "{\"event\":\"appeared\",\"port\":\"/tmp/bench/charger-3\","
              "\"device\":\"/dev/pts/7\",\"byId\":\"\"}");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Started)),
              "{\"event\":\"started\",\"port\":\"/tmp/bench/charger-3\"}");
    std::vector<std::string> shown;
    for (const auto& [block, resends] :
         std::vector<std::pair<int, int>>{{9, 0}, {10, 0}, {10, 1}, {11, 1}, {20, 1}, {101, 1}}) {
        const std::string line = report.JsonLine(Event(EventKind::Progress, block, resends));
        if (!line.empty()) {
            shown.push_back(line);
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "{\"event\":\"progress\",\"port\":\"/tmp/bench/charger-3\",\"block\":10,"
                         "\"blocks\":101,\"resends\":0}",
                         "{\"event\":\"progress\",\"port\":\"/tmp/bench/charger-3\",\"block\":20,"
                         "\"blocks\":101,\"resends\":1}",
                         "{\"event\":\"progress\",\"port\":\"/tmp/bench/charger-3\",\"block\":101,"
                         "\"blocks\":101,\"resends\":1}"}));
    EXPECT_EQ(report.JsonLine(Finished(records::Outcome::Failed)),
              "{\"event\":\"finished\",\"port\":\"/tmp/bench/charger-3\",\"outcome\":\"failed\","
              "\"reason\":\"The upload failed at block 41 of 101.\",\"deviceId\":\"CV-004711\","
              "\"before\":\"2.09\","
              "\"after\":\"\",\"blocks\":41,\"resends\":1,\"seconds\":37.5}");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Status)), "");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Gone)),
              "{\"event\":\"gone\",\"port\":\"/tmp/bench/charger-3\"}");
}

TEST(BenchReport, PlainLinesAndSummary) {
    CBenchReport report(CBenchReport::Form::Lines, stdout);
    EXPECT_EQ(report.PlainLine(Finished(records::Outcome::Upgraded)),
              "/tmp/bench/charger-3: upgraded 2.09 -> 2.10e in 37.5 s (41 blocks, 1 resends)");
    EXPECT_EQ(report.PlainLine(Finished(records::Outcome::Failed)),
              "/tmp/bench/charger-3: failed after 37.5 s: The upload failed at block 41 of 101.");
    std::vector<bench::SlotInfo> slots;
    for (const auto outcome :
         {records::Outcome::Upgraded, records::Outcome::Failed, records::Outcome::Upgraded}) {
        slots.push_back(Finished(outcome).slot);
    }
    slots.push_back(Event(EventKind::Gone).slot);  // an empty slot counts for nothing
    EXPECT_EQ(CBenchReport::Summary(slots), "3 chargers: 2 upgraded, 1 failed");
    // Records lost (a full disk) are said in the summary too, not only
    // beside the chargers whose records they were.
    EXPECT_EQ(CBenchReport::Summary(slots, 1),
              "3 chargers: 2 upgraded, 1 failed; 1 record could not be written");
    EXPECT_EQ(CBenchReport::Summary(slots, 2),
              "3 chargers: 2 upgraded, 1 failed; 2 records could not be written");
}

// A slot with a label is named by it: "slot" follows "port" in every JSON
// event, and heads the plain lines, whose "appeared" says the port once.
TEST(BenchReport, LinesNameALabelledSlot) {
    CBenchReport json(CBenchReport::Form::Json, stdout);
    CBenchReport plain(CBenchReport::Form::Lines, stdout);
    bench::BenchEvent appeared = Event(EventKind::Appeared);
    appeared.slot.label = "Slot 1";
    EXPECT_EQ(json.JsonLine(appeared),
              "{\"event\":\"appeared\",\"port\":\"/tmp/bench/charger-3\",\"slot\":\"Slot 1\","
              "\"device\":\"/dev/pts/7\",\"byId\":\"\"}");
    EXPECT_EQ(plain.PlainLine(appeared), "Slot 1: appeared (/tmp/bench/charger-3, /dev/pts/7)");
    bench::BenchEvent finished = Finished(records::Outcome::Upgraded);
    finished.slot.label = "Slot 1";
    EXPECT_EQ(json.JsonLine(finished).rfind(
                  "{\"event\":\"finished\",\"port\":\"/tmp/bench/charger-3\",\"slot\":\"Slot 1\","
                  "\"outcome\":\"upgraded\",",
                  0),
              0u)
        << json.JsonLine(finished);
    EXPECT_EQ(plain.PlainLine(finished),
              "Slot 1: upgraded 2.09 -> 2.10e in 37.5 s (41 blocks, 1 resends)");
    appeared.slot.port = appeared.slot.device;
    EXPECT_EQ(plain.PlainLine(appeared), "Slot 1: appeared (/dev/pts/7)");
}
