// The lines corvane-cli bench prints for the bench's events.
#include <gtest/gtest.h>

#include "cli/BenchReport.h"

using bench::EventKind;

namespace {

bench::BenchEvent Event(EventKind kind, int block = 0, int resends = 0) {
    bench::BenchEvent event;
    event.kind = kind;
    event.slot.port = "/tmp/bench/charger-3";
    event.slot.device = "/dev/pts/7";
    event.slot.block = block;
    event.slot.totalBlocks = 101;
    event.slot.resends = resends;
    return event;
}

bench::BenchEvent Finished(bench::Outcome outcome) {
    bench::BenchEvent event = Event(EventKind::Finished);
    bench::RunResult r;
    r.outcome = outcome;
    r.before = "2.09";
    r.after = outcome == bench::Outcome::Upgraded ? "2.10e" : "";
    r.reason = outcome == bench::Outcome::Failed ? "The upload failed at block 41 of 101." : "";
    r.blocks = 41;
    r.resends = 1;
    r.seconds = 37.46;
    event.slot.result = r;
    return event;
}

}  // namespace

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
    EXPECT_EQ(report.JsonLine(Finished(bench::Outcome::Failed)),
              "{\"event\":\"finished\",\"port\":\"/tmp/bench/charger-3\",\"outcome\":\"failed\","
              "\"reason\":\"The upload failed at block 41 of 101.\",\"before\":\"2.09\","
              "\"after\":\"\",\"blocks\":41,\"resends\":1,\"seconds\":37.5}");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Status)), "");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Gone)),
              "{\"event\":\"gone\",\"port\":\"/tmp/bench/charger-3\"}");
}

TEST(BenchReport, PlainLinesAndSummary) {
    CBenchReport report(CBenchReport::Form::Lines, stdout);
    EXPECT_EQ(report.PlainLine(Finished(bench::Outcome::Upgraded)),
              "/tmp/bench/charger-3: upgraded 2.09 -> 2.10e in 37.5 s (41 blocks, 1 resends)");
    EXPECT_EQ(report.PlainLine(Finished(bench::Outcome::Failed)),
              "/tmp/bench/charger-3: failed after 37.5 s: The upload failed at block 41 of 101.");
    std::vector<bench::SlotInfo> slots;
    for (const auto outcome :
         {bench::Outcome::Upgraded, bench::Outcome::Failed, bench::Outcome::Upgraded}) {
        slots.push_back(Finished(outcome).slot);
    }
    slots.push_back(Event(EventKind::Gone).slot);  // an empty slot counts for nothing
    EXPECT_EQ(CBenchReport::Summary(slots), "3 chargers: 2 upgraded, 1 failed");
}
