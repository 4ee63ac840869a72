// Bench run: one charger's job on one slot of a bench.
//
// Principles of operation
//   The job reads the charger's versions, upgrades it when the mode asks
//   for it (a different or missing firmware, or always with Force), and
//   ends with a RunResult. It works with the same ReadChargerVersions and
//   RunUpgrade as the window, on a CSerialPort, clock and view of its own;
//   the verdict of an upgrade is the upgrade's own check ("Upgrade
//   Successful"). The job's message boxes (and those of its port's workers)
//   become its messages, and its debugger output is tagged with its port.
//
//   RequestStop may come from any thread: the job's clock wakes at once, the
//   commands see CancelRequested and wind down as a single upgrade does.
//
// Threads: Run on the job's own thread; RequestStop and StopRequested from
// any thread. Events go out through the emit function on the job's thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "bench/BenchTypes.h"
#include "platform/Event.h"

class CSerialPort;

namespace bench {

class CRunView;

class CBenchRun {
public:
    using Emit = std::function<void(EventKind kind, const SlotInfo& slot)>;

    CBenchRun(SlotInfo slot, std::shared_ptr<const CFirmwareImage> image, ImageInfo imageInfo,
              const BenchOptions& options, Emit emit);

    void Run();
    // gone: the charger went away, which the result then says.
    void RequestStop(bool gone = false);
    bool StopRequested() const;

private:
    void OnStatus(const std::string& status);
    void OnBlock(int block, int total, int resends);
    void Send(EventKind kind);
    void Work(CSerialPort& port, CRunView& view, platform::IClock& clock, RunResult& result);
    bool ShouldUpgrade(const CRunView& view) const;
    void Judge(CRunView& view, RunResult& result, bool upgraded) const;

    SlotInfo m_slot;
    std::shared_ptr<const CFirmwareImage> m_image;
    ImageInfo m_imageInfo;
    const BenchOptions& m_options;
    Emit m_emit;
    platform::CEvent m_stopEvent{platform::CEvent::Mode::ManualReset};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_gone{false};
    std::uint32_t m_startMs = 0;
    platform::IClock* m_pClock = nullptr;
};

}  // namespace bench
