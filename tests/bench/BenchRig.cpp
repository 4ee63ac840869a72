#include "BenchRig.h"

#include <gtest/gtest.h>

#include <chrono>

#include "sim/SimTestSupport.h"

namespace benchtest {

void CEventLog::OnBenchEvent(const bench::BenchEvent& event) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(event);
    }
    m_changed.notify_all();
    if (onEvent) {
        onEvent(event);
    }
}

std::vector<bench::BenchEvent> CEventLog::Events() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

std::vector<std::string> CEventLog::Story(const std::string& port) const {
    std::vector<std::string> kinds;
    for (const auto& event : Events()) {
        if (event.slot.port == port && event.kind != bench::EventKind::Status &&
            event.kind != bench::EventKind::Progress) {
            kinds.emplace_back(bench::EventName(event.kind));
        }
    }
    return kinds;
}

bool CEventLog::WaitFor(const std::function<bool(const std::vector<bench::BenchEvent>&)>& done,
                        int timeoutMs) const {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return done(m_events); });
}

bool CRecordSink::Record(const bench::SlotInfo&, const bench::RunResult& result,
                         std::string& problem) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_results.push_back(result);
    problem = failWith;
    return failWith.empty();
}

std::size_t CRecordSink::Count() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_results.size();
}

CBenchRig::CBenchRig() {
    options.recorder = &records;
    options.portStopTimeoutMs = 2000;
    options.byIdName = [](const std::string&) { return std::string(); };
}

std::string CBenchRig::AddCharger(const std::string& simOptions) {
    auto charger = std::make_unique<sim::CSimulatedCharger>(simtest::Options(simOptions));
    EXPECT_TRUE(charger->Start()) << charger->ErrorText();
    const std::string link = scratch.Path() + "/charger-" + std::to_string(m_chargers.size() + 1);
    auto made = std::make_unique<sim::CDeviceLink>();
    std::string error;
    EXPECT_TRUE(made->Create(link, charger->SlavePath(), error)) << error;
    m_chargers.push_back(std::move(charger));
    m_links.push_back(std::move(made));
    ports.push_back(link);
    return link;
}

bench::CBench& CBenchRig::MakeBench() {
    m_bench = std::make_unique<bench::CBench>(options, events);
    return *m_bench;
}

std::vector<bench::SlotInfo> CBenchRig::RunAll() {
    bench::CBench& bench = MakeBench();
    for (const auto& port : ports) {
        bench.Plug(port);
    }
    bench.WaitIdle();
    return bench.Slots();
}

bench::RunResult ResultOf(const std::vector<bench::SlotInfo>& slots, const std::string& port) {
    for (const auto& slot : slots) {
        if (slot.port == port && slot.result) {
            return *slot.result;
        }
    }
    ADD_FAILURE() << "no result for " << port;
    return {};
}

}  // namespace benchtest
