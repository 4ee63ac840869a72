// Bench run: what `bench` and `station` share to put a bench to work.
//
// Principles of operation
//   Both commands block the stop signals before any thread starts and take
//   them only in their own ppoll, resolve COM names, start --simulate's
//   chargers, watch port patterns and build the bench's options from the
//   command line the same way; only their waits differ.
//
// Threads: all of it on the command's main thread, before the bench starts.
#pragma once

#include <signal.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/SlotNames.h"
#include "cli/CommandLine.h"
#include "platform/PathWatch.h"
#include "protocol/FirmwareImage.h"
#include "sim/SimulatedCharger.h"

// Blocks SIGINT, SIGTERM and SIGHUP for this thread and every thread started
// after it; Waiting() is the mask to hand ppoll, which alone takes them.
class CStopSignals {
public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;
    const sigset_t& Waiting() const { return m_old; }

private:
    sigset_t m_signals{};
    sigset_t m_old{};
};

// COM names resolve as everywhere else; paths stay as given.
std::string PortPath(const std::string& name);

// The --port values (or the single port), each through PortPath.
std::vector<std::string> GivenPorts(const CliOptions& o);

// The chargers of --simulate, one pseudo-terminal each, each with a device
// ID of its own.
struct SimulatedBench {
    std::vector<std::unique_ptr<sim::CSimulatedCharger>> chargers;
    std::vector<std::string> ports;
};

// false once a charger cannot start, with the reason said on standard error
// after `said` ("corvane-cli: ", "corvane-cli station: ").
bool StartSimulated(const CliOptions& options, SimulatedBench& out, const char* said);

using Watches = std::vector<std::unique_ptr<platform::CPathWatch>>;

// One watch per pattern (udev's device events under /dev, inotify elsewhere),
// the ports present now added to `present`; false, with the reason said
// after `said`, when one cannot start.
bool StartWatches(const std::vector<std::string>& patterns, Watches& watches,
                  std::vector<std::string>& present, const char* said);

// The bench's options from the command line: mode, image, slots, the port
// diagnosis for an open that failed, and the stop signals as its stop.
bench::BenchOptions MakeOptions(const CliOptions& o, bench::IResultRecorder& recorder,
                                std::optional<CFirmwareImage>& file, bench::CSlotMap slots);
