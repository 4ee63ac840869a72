// Bench rig: a bench over simulated chargers in this process, with its
// events and records kept for the test to look at.
//
//   CEventLog    the observer: every event in order; waits with a bound.
//   CRecordSink  the recorder: every result recorded (or refused, when told).
//   CBenchRig    simulated chargers on links in a scratch folder, and a bench
//                (made by MakeBench with the options the test set) serving
//                them in real time, as the chargers are paced like the line.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "common/TestKit.h"
#include "sim/DeviceLink.h"
#include "sim/SimulatedCharger.h"

namespace benchtest {

class CEventLog : public bench::IBenchObserver {
public:
    void OnBenchEvent(const bench::BenchEvent& event) override;
    std::vector<bench::BenchEvent> Events() const;
    // The kinds of one port's events, thinned of status and progress.
    std::vector<std::string> Story(const std::string& port) const;
    // Waits until done(events) holds, at most timeoutMs; true when it held.
    bool WaitFor(const std::function<bool(const std::vector<bench::BenchEvent>&)>& done,
                 int timeoutMs) const;
    // Runs on every event, on the bench's thread, after it is kept.
    std::function<void(const bench::BenchEvent&)> onEvent;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<bench::BenchEvent> m_events;
};

class CRecordSink : public bench::IResultRecorder {
public:
    bool Record(const bench::SlotInfo& slot, const bench::RunResult& result,
                std::string& problem) override;
    std::size_t Count() const;
    std::string failWith;  // set: every record fails with this problem

private:
    mutable std::mutex m_lock;
    std::vector<bench::RunResult> m_results;
};

class CBenchRig {
public:
    CBenchRig();
    // A charger with the simulator's command-line options; its link's path.
    std::string AddCharger(const std::string& options);
    sim::CSimulatedCharger& Charger(std::size_t i) { return *m_chargers[i]; }
    // The link goes, as when the charger is pulled out.
    void RemoveLink(std::size_t i) { m_links[i]->Remove(); }
    bench::CBench& MakeBench();
    bench::CBench& Bench() { return *m_bench; }  // the one MakeBench made
    // Plugs every charger in and waits until the bench is idle.
    std::vector<bench::SlotInfo> RunAll();

    testkit::CScratchDir scratch;
    bench::BenchOptions options;
    CEventLog events;
    CRecordSink records;
    std::vector<std::string> ports;

private:
    std::vector<std::unique_ptr<sim::CSimulatedCharger>> m_chargers;
    std::vector<std::unique_ptr<sim::CDeviceLink>> m_links;
    std::unique_ptr<bench::CBench> m_bench;
};

// The result of the slot serving port, or a failure recorded and a blank one.
bench::RunResult ResultOf(const std::vector<bench::SlotInfo>& slots, const std::string& port);

}  // namespace benchtest
