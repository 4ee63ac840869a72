// The bench engine against simulated chargers in real time: every charger
// gets its own result whatever the others do, stops reach one job or all,
// and a slot serves the next charger once the last one is pulled out.
#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>

#include "BenchRig.h"

using bench::EventKind;
using benchtest::CBenchRig;
using benchtest::ResultOf;
using records::Outcome;

namespace {

constexpr int kBoundMs = 60000;

bool StartsWith(const std::string& text, const std::string& head) {
    return text.rfind(head, 0) == 0;
}

int Count(const std::vector<bench::BenchEvent>& events, EventKind kind) {
    int n = 0;
    for (const auto& event : events) {
        n += event.kind == kind ? 1 : 0;
    }
    return n;
}

}  // namespace

// Six chargers at once: a sound one, a current one and four faulty ones.
// Each result is its own; no box reaches the process, debug texts carry
// their port.
TEST(BenchEngine, FaultsStayWithTheirCharger) {
    CBenchRig rig;
    testkit::CBoxRecorder processBoxes;
    testkit::CDebugRecorder processDebug;
    const std::string sound = rig.AddCharger("");
    const std::string current = rig.AddCharger("--firmware-version 2.10e");
    const std::string silent = rig.AddCharger("--never-speak");
    const std::string refusing = rig.AddCharger("--nak-block 3:10");
    const std::string cancelling = rig.AddCharger("--cancel-at-block 5 --resume-after-cancel");
    const std::string vanishing = rig.AddCharger("--hang-up-after-block 7");

    const auto slots = rig.RunAll();

    const bench::RunResult ok = ResultOf(slots, sound);
    EXPECT_EQ(ok.outcome, Outcome::Upgraded);
    EXPECT_EQ(ok.before, "2.09");
    EXPECT_EQ(ok.after, "2.10e");
    EXPECT_EQ(ok.blocks, 101);
    EXPECT_EQ(ok.resends, 0);
    EXPECT_TRUE(ok.messages.empty());
    EXPECT_EQ(ok.identification, (std::vector<std::string>{"deviceid VC-4017-0032", "Boot 1.3",
                                                           "V2.09 Veltra charger"}));
    EXPECT_EQ(ok.deviceId, "VC-4017-0032");
    for (const auto& slot : slots) {
        EXPECT_EQ(slot.deviceId, slot.port == silent ? "" : "VC-4017-0032") << slot.port;
    }
    EXPECT_TRUE(ok.answered);
    EXPECT_EQ(rig.Charger(0).FirmwareVersion(), "2.10e");

    const bench::RunResult same = ResultOf(slots, current);
    EXPECT_EQ(same.outcome, Outcome::Current);
    EXPECT_EQ(same.blocks, 0);
    EXPECT_TRUE(rig.Charger(1).Log().blocks.empty());

    const bench::RunResult mute = ResultOf(slots, silent);
    EXPECT_EQ(mute.outcome, Outcome::Failed);
    EXPECT_TRUE(mute.portOpened);
    EXPECT_EQ(mute.reason,
              "Unable to get Version Information. Please unplug the charger for 5 seconds then "
              "plug it back in and try again.");

    const bench::RunResult naks = ResultOf(slots, refusing);
    EXPECT_EQ(naks.outcome, Outcome::Failed);
    EXPECT_EQ(naks.resends, 9);
    EXPECT_TRUE(StartsWith(naks.reason,
                           "The upload failed at block 3 of 101. Upgrade Process "
                           "Failed. Please unplug the charger"))
        << naks.reason;

    const bench::RunResult cancelled = ResultOf(slots, cancelling);
    EXPECT_EQ(cancelled.outcome, Outcome::Failed);
    EXPECT_EQ(cancelled.after, "2.09");
    EXPECT_TRUE(StartsWith(cancelled.reason, "The charger cancelled the upload at block 5 of 101."))
        << cancelled.reason;

    // A line that goes away, as a pulled adapter's does: said as such, with
    // no version check after it.
    const bench::RunResult gone = ResultOf(slots, vanishing);
    EXPECT_EQ(gone.outcome, Outcome::Failed);
    EXPECT_EQ(gone.reason,
              "The adapter was disconnected at block 7 of 101. Upgrade Process Failed. Plug the "
              "adapter back in, then start the upgrade again.");

    EXPECT_EQ(processBoxes.Count(), 0U);
    const std::string debug = processDebug.Text();
    EXPECT_NE(debug.find("[" + silent + "] Unable to get Version Information"), std::string::npos);
    EXPECT_EQ(debug.find("[" + sound + "]"), std::string::npos);
    // The silent charger answered nothing: counted, not recorded.
    EXPECT_FALSE(mute.answered);
    EXPECT_EQ(rig.records.Count(), 5U);
    EXPECT_EQ(rig.Bench().UnansweredJobs(), 1);
    for (const auto& port : rig.ports) {
        EXPECT_EQ(rig.events.Story(port),
                  (std::vector<std::string>{"appeared", "started", "finished"}))
            << port;
    }
}

// A stop for one job ends its upload with CAN (the boot loader goes back to
// asking with "C" at once) and leaves the other job alone.
TEST(BenchEngine, StopReachesOneJob) {
    CBenchRig rig;
    const std::string stopped = rig.AddCharger("");
    const std::string other = rig.AddCharger("");
    bench::CBench& bench = rig.MakeBench();
    int promptsAtStop = -1;
    rig.events.onEvent = [&](const bench::BenchEvent& event) {
        if (event.kind == EventKind::Progress && event.slot.port == stopped &&
            event.slot.block == 20 && promptsAtStop < 0) {
            promptsAtStop = rig.Charger(0).Log().startSent;
            bench.Stop(event.slot.slot);
        }
    };
    bench.Plug(stopped);
    bench.Plug(other);
    bench.WaitIdle();
    const auto slots = bench.Slots();

    const bench::RunResult cut = ResultOf(slots, stopped);
    EXPECT_EQ(cut.outcome, Outcome::Failed);
    EXPECT_TRUE(cut.stopped);
    EXPECT_EQ(cut.reason,
              "Stopped during the upload at block 20 of 101; the charger needs a new upgrade.");
    EXPECT_EQ(cut.before, "2.09");
    EXPECT_EQ(cut.after, "");  // left in its boot loader: no version was read after
    EXPECT_EQ(ResultOf(slots, stopped).deviceId, "VC-4017-0032");
    EXPECT_TRUE(rig.Charger(0).WaitUntil(
        [&](const sim::SimLog& log) { return log.startSent > promptsAtStop; }, 5000));
    EXPECT_EQ(rig.Charger(0).Log().eotReceived, 0);
    EXPECT_EQ(ResultOf(slots, other).outcome, Outcome::Upgraded);
}

// StopAll while the chargers are being read: every job ends without a verdict.
TEST(BenchEngine, StopAllEndsEveryJob) {
    CBenchRig rig;
    rig.AddCharger("--never-speak");
    rig.AddCharger("--never-speak");
    bench::CBench& bench = rig.MakeBench();
    for (const auto& port : rig.ports) {
        bench.Plug(port);
    }
    ASSERT_TRUE(rig.events.WaitFor(
        [](const auto& events) { return Count(events, EventKind::Started) == 2; }, kBoundMs));
    bench.StopAll();
    bench.WaitIdle();
    for (const auto& port : rig.ports) {
        const bench::RunResult result = ResultOf(bench.Slots(), port);
        EXPECT_TRUE(result.stopped);
        EXPECT_EQ(result.reason, "Stopped before the job ended.");
        EXPECT_TRUE(result.messages.empty());
    }
}

// Pulled out during its job and plugged in again at once: the job ends as
// unplugged, the slot is told gone, and the next charger's job starts on
// the same slot once the last one has wound down.
TEST(BenchEngine, SlotServesTheNextChargerAfterAnUnplug) {
    CBenchRig rig;
    const std::string port = rig.AddCharger("--firmware-version 2.10e");
    bench::CBench& bench = rig.MakeBench();
    bench.Plug(port);
    ASSERT_TRUE(rig.events.WaitFor(
        [](const auto& events) { return Count(events, EventKind::Started) == 1; }, kBoundMs));
    bench.Unplug(port);
    EXPECT_EQ(bench.Plug(port), 0);
    while (Count(rig.events.Events(), EventKind::Finished) < 2) {
        pollfd change{bench.ChangeFd(), POLLIN, 0};
        ASSERT_EQ(::poll(&change, 1, kBoundMs), 1);
        bench.OnChange();
    }
    EXPECT_EQ(rig.events.Story(port),
              (std::vector<std::string>{"appeared", "started", "finished", "gone", "appeared",
                                        "started", "finished"}));
    const auto events = rig.events.Events();
    std::vector<bench::RunResult> results;
    for (const auto& event : events) {
        if (event.kind == EventKind::Finished) {
            results.push_back(*event.slot.result);
        }
    }
    EXPECT_EQ(results[0].reason, "The charger was unplugged before its job ended.");
    EXPECT_EQ(results[1].outcome, Outcome::Current);
    EXPECT_EQ(bench.Slots().size(), 1U);
}

// One charger under three names (its link, the link through "./" and the
// device itself) is served once.
TEST(BenchEngine, OneDeviceUnderSeveralNamesIsServedOnce) {
    CBenchRig rig;
    const std::string link = rig.AddCharger("--firmware-version 2.10e");
    bench::CBench& bench = rig.MakeBench();
    const std::string dotted = rig.scratch.Path() + "/./charger-1";
    EXPECT_EQ(bench.Plug(link), 0);
    EXPECT_EQ(bench.Plug(dotted), 0);
    EXPECT_EQ(bench.Plug(rig.Charger(0).SlavePath()), 0);
    bench.WaitIdle();
    ASSERT_EQ(bench.Slots().size(), 1U);
    EXPECT_EQ(ResultOf(bench.Slots(), link).outcome, Outcome::Current);
    EXPECT_EQ(rig.records.Count(), 1U);
}

// A charger takes the label of the place its device's by-path link names,
// in every event of its job; one on a port without a slot has none.
TEST(BenchEngine, SlotsTakeTheLabelOfTheirByPathLink) {
    CBenchRig rig;
    const std::string left = rig.AddCharger("--firmware-version 2.10e");
    const std::string other = rig.AddCharger("--firmware-version 2.10e");
    const std::string byPath = rig.scratch.Path() + "/by-path";
    std::filesystem::create_directories(byPath);
    std::filesystem::create_symlink(rig.Charger(0).SlavePath(),
                                    byPath + "/pci-0000:00:14.0-usb-0:1.1:1.0-port0");
    std::string error;
    ASSERT_TRUE(rig.options.slotMap.Parse("Right = *-usb-0:1.2:*\nLeft = *-usb-0:1.1:*\n", error))
        << error;
    rig.options.byPathFolder = byPath;

    const auto slots = rig.RunAll();
    ASSERT_EQ(slots.size(), 2u);
    for (const auto& slot : slots) {
        EXPECT_EQ(slot.label, slot.port == left ? "Left" : "") << slot.port;
    }
    int labelled = 0;
    for (const auto& event : rig.events.Events()) {
        EXPECT_EQ(event.slot.label, event.slot.port == left ? "Left" : "")
            << bench::EventName(event.kind);
        labelled += event.slot.label.empty() ? 0 : 1;
    }
    EXPECT_GE(labelled, 3);  // appeared, started, finished at least
}

// What each mode does with a current charger and one without firmware.
TEST(BenchEngine, ModeDecidesWhatIsSent) {
    const struct {
        const char* name;
        bench::Mode mode;
        const char* charger;
        Outcome outcome;
        const char* before;
        int blocks;
    } cases[] = {
        {"ForceOnACurrentCharger", bench::Mode::Force, "--firmware-version 2.10e",
         Outcome::Upgraded, "2.10e", 101},
        {"ReadOnlyWithoutFirmware", bench::Mode::ReadOnly, "--no-firmware", Outcome::Read, "", 0},
    };
    for (const auto& c : cases) {
        CBenchRig rig;
        rig.options.mode = c.mode;
        const std::string port = rig.AddCharger(c.charger);
        const bench::RunResult result = ResultOf(rig.RunAll(), port);
        EXPECT_EQ(result.outcome, c.outcome) << c.name << ": " << result.reason;
        EXPECT_EQ(result.before, c.before) << c.name;
        EXPECT_EQ(result.blocks, c.blocks) << c.name;
        EXPECT_EQ(rig.Charger(0).Log().blocks.size(), static_cast<std::size_t>(c.blocks)) << c.name;
    }
}

// A record that cannot be written is told as its own event right after the
// job's result, which stands.
TEST(BenchEngine, FailedRecordIsAnEventOfItsOwn) {
    CBenchRig rig;
    const std::string port = rig.AddCharger("--firmware-version 2.10e");
    rig.records.failWith = "Could not write the service record /x: No space left on device.";
    const auto slots = rig.RunAll();
    EXPECT_EQ(ResultOf(slots, port).outcome, Outcome::Current);
    EXPECT_EQ(rig.events.Story(port),
              (std::vector<std::string>{"appeared", "started", "finished", "record-failed"}));
    const auto events = rig.events.Events();
    EXPECT_EQ(events.back().problem, rig.records.failWith);
    EXPECT_EQ(rig.Bench().RecordsFailed(), 1);
}
