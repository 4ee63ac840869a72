// One charger's bench events as the report is told them, for the tests of
// the command line's lines and table.
#pragma once

#include "bench/BenchObserver.h"

namespace benchtest {

// An event of the charger on /tmp/bench/charger-3 at the given block.
inline bench::BenchEvent Event(bench::EventKind kind, int block = 0, int resends = 0) {
    bench::BenchEvent event;
    event.kind = kind;
    event.slot.port = "/tmp/bench/charger-3";
    event.slot.device = "/dev/pts/7";
    event.slot.deviceId = "CV-004711";
    event.slot.block = block;
    event.slot.totalBlocks = 101;
    event.slot.resends = resends;
    return event;
}

// Its finished event: upgraded, read or failed at block 41 of 101.
inline bench::BenchEvent Finished(records::Outcome outcome) {
    bench::BenchEvent event = Event(bench::EventKind::Finished);
    bench::RunResult r;
    r.outcome = outcome;
    r.before = "2.09";
    r.after = outcome == records::Outcome::Upgraded ? "2.10e" : "";
    r.reason = outcome == records::Outcome::Failed ? "The upload failed at block 41 of 101." : "";
    r.blocks = 41;
    r.resends = 1;
    r.seconds = 37.46;
    event.slot.result = r;
    return event;
}

}  // namespace benchtest
