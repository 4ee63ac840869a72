#include "bench/Bench.h"

#include <signal.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "bench/BenchRun.h"
#include "platform/Event.h"
#include "records/DeviceNames.h"
#include "records/ServiceRecord.h"

namespace bench {
namespace {

// The owner's thread takes the stop signals; a job never does, so a
// command line waiting in ppoll is woken by them.
void BlockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

std::shared_ptr<const CFirmwareImage> ImageOrCarried(std::shared_ptr<const CFirmwareImage> image) {
    if (image) {
        return image;
    }
    // The carried image is a constant: nothing to own.
    return std::shared_ptr<const CFirmwareImage>(std::shared_ptr<void>(),
                                                 &CFirmwareImage::Carried());
}

}  // namespace

struct CBench::Impl {
    struct Slot {
        SlotInfo info;
        std::unique_ptr<CBenchRun> run;
        std::thread thread;
        bool busy = false;
        bool goneAfterRun = false;  // unplugged while its job wound down
        bool plugAfterRun = false;  // plugged in again meanwhile
        unsigned long long deviceNumber = 0;
    };

    Impl(BenchOptions o, IBenchObserver& obs)
        : options(std::move(o)),
          observer(obs),
          image(ImageOrCarried(options.image)),
          imageInfo(records::ImageInfoOf(*image)) {}

    void Notify(EventKind kind, const SlotInfo& info, std::string problem = {});
    void OnRunEvent(EventKind kind, const SlotInfo& info);
    void OnRunEnded(Slot& slot);
    void StartJob(Slot& slot);            // lock held
    Slot* Find(const std::string& path);  // lock held
    // A slot of another path whose charger on the same device is still
    // being served or shown (lock held).
    Slot* ServingDevice(const std::string& path, unsigned long long deviceNumber);
    void JoinEnded();

    BenchOptions options;
    IBenchObserver& observer;
    std::shared_ptr<const CFirmwareImage> image;
    ImageInfo imageInfo;
    mutable std::mutex lock;  // the slots
    std::condition_variable idle;
    std::vector<std::unique_ptr<Slot>> slots;
    int unanswered = 0;       // jobs that heard no byte
    int recordsFailed = 0;    // records the recorder could not write
    std::mutex observerLock;  // one observer call at a time
    platform::CEvent change{platform::CEvent::Mode::ManualReset};
};

void CBench::Impl::Notify(EventKind kind, const SlotInfo& info, std::string problem) {
    std::lock_guard<std::mutex> guard(observerLock);
    observer.OnBenchEvent({kind, info, std::move(problem)});
}

// A job that never heard a byte reached no charger (an empty socket, a
// bouncing connector): it is counted, not recorded. A record that fails is
// told at once, after the job's result.
void CBench::Impl::OnRunEvent(EventKind kind, const SlotInfo& info) {
    {
        std::lock_guard<std::mutex> guard(lock);
        slots[static_cast<std::size_t>(info.slot)]->info = info;
    }
    std::string problem;
    bool recordFailed = false;
    if (kind == EventKind::Finished && info.result) {
        if (!info.result->answered) {
            std::lock_guard<std::mutex> guard(lock);
            ++unanswered;
        } else if (options.recorder != nullptr &&
                   !options.recorder->Record(info, *info.result, problem)) {
            recordFailed = true;
            std::lock_guard<std::mutex> guard(lock);
            ++recordsFailed;
        }
    }
    Notify(kind, info);
    if (recordFailed) {
        Notify(EventKind::RecordFailed, info, std::move(problem));
    }
}

void CBench::Impl::OnRunEnded(Slot& slot) {
    bool gone = false;
    SlotInfo info;
    {
        std::lock_guard<std::mutex> guard(lock);
        gone = std::exchange(slot.goneAfterRun, false);
        if (gone) {
            slot.info.state = SlotState::Empty;
        }
        info = slot.info;
    }
    if (gone) {
        Notify(EventKind::Gone, info);
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        slot.busy = false;
    }
    idle.notify_all();
    change.Set();
}

void CBench::Impl::StartJob(Slot& slot) {
    if (slot.thread.joinable()) {
        // Its job has ended (busy is clear) and needs no lock to finish.
        slot.thread.join();
    }
    slot.busy = true;
    slot.plugAfterRun = false;
    slot.info.state = SlotState::Waiting;
    slot.info.status.clear();
    slot.info.bootCode.clear();
    slot.info.before.clear();
    slot.info.after.clear();
    slot.info.deviceId.clear();
    slot.info.block = slot.info.totalBlocks = slot.info.resends = 0;
    slot.info.seconds = 0;
    slot.info.result.reset();
    slot.run = std::make_unique<CBenchRun>(
        slot.info, image, imageInfo, options,
        [this](EventKind kind, const SlotInfo& info) { OnRunEvent(kind, info); });
    slot.thread = std::thread([this, &slot] {
        BlockStopSignals();
        slot.run->Run();
        OnRunEnded(slot);
    });
}

CBench::Impl::Slot* CBench::Impl::Find(const std::string& path) {
    for (auto& slot : slots) {
        if (slot->info.port == path) {
            return slot.get();
        }
    }
    return nullptr;
}

CBench::Impl::Slot* CBench::Impl::ServingDevice(const std::string& path,
                                                unsigned long long deviceNumber) {
    if (deviceNumber == 0) {
        return nullptr;
    }
    for (auto& slot : slots) {
        if (slot->info.port != path && slot->deviceNumber == deviceNumber &&
            slot->info.state != SlotState::Empty) {
            return slot.get();
        }
    }
    return nullptr;
}

// Threads of ended jobs are joined by the owner, never under the lock.
void CBench::Impl::JoinEnded() {
    std::vector<std::thread> ended;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto& slot : slots) {
            if (!slot->busy && slot->thread.joinable()) {
                ended.push_back(std::move(slot->thread));
            }
        }
    }
    for (auto& thread : ended) {
        thread.join();
    }
}

CBench::CBench(BenchOptions options, IBenchObserver& observer)
    : m_impl(std::make_unique<Impl>(std::move(options), observer)) {}

CBench::~CBench() {
    StopAll();
    WaitIdle();
    m_impl->JoinEnded();
}

int CBench::Plug(const std::string& path) {
    m_impl->JoinEnded();
    // Looked up before the lock: the file system is not asked under it.
    const std::string device = records::ResolvedDevice(path);
    const unsigned long long deviceNumber = records::DeviceNumberOf(path);
    const std::string byId =
        m_impl->options.byIdName ? m_impl->options.byIdName(device) : records::ByIdNameOf(device);
    // Looked up at each plug: the path may reach an adapter in another place.
    const std::string label =
        m_impl->options.slotMap.LabelOfDevice(device, m_impl->options.byPathFolder);
    SlotInfo announced;
    Impl::Slot* slot = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        // One charger under two names (a by-id link and its device, a path
        // and a pattern) is served once: a second job could only fail on
        // the first one's exclusive hold.
        if (Impl::Slot* serving = m_impl->ServingDevice(path, deviceNumber)) {
            return serving->info.slot;
        }
        slot = m_impl->Find(path);
        if (slot == nullptr) {
            m_impl->slots.push_back(std::make_unique<Impl::Slot>());
            slot = m_impl->slots.back().get();
            slot->info.slot = static_cast<int>(m_impl->slots.size()) - 1;
            slot->info.port = path;
        }
        slot->info.device = device;
        slot->info.byIdName = byId;
        slot->info.label = label;
        slot->deviceNumber = deviceNumber;
        if (slot->busy) {
            slot->plugAfterRun = true;
            return slot->info.slot;
        }
        slot->info.state = SlotState::Waiting;
        slot->info.result.reset();
        announced = slot->info;
    }
    m_impl->Notify(EventKind::Appeared, announced);
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->StartJob(*slot);
    return slot->info.slot;
}

void CBench::Unplug(const std::string& path) {
    SlotInfo info;
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        Impl::Slot* slot = m_impl->Find(path);
        if (slot == nullptr || slot->info.state == SlotState::Empty) {
            return;
        }
        slot->plugAfterRun = false;
        if (slot->busy) {
            slot->goneAfterRun = true;  // told once the job has ended
            slot->run->RequestStop(true);
            return;
        }
        slot->info.state = SlotState::Empty;
        info = slot->info;
    }
    m_impl->Notify(EventKind::Gone, info);
}

void CBench::Stop(int slot) {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    if (slot >= 0 && static_cast<std::size_t>(slot) < m_impl->slots.size()) {
        Impl::Slot& s = *m_impl->slots[static_cast<std::size_t>(slot)];
        s.plugAfterRun = false;
        if (s.busy) {
            s.run->RequestStop();
        }
    }
}

void CBench::StopAll() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    for (auto& slot : m_impl->slots) {
        slot->plugAfterRun = false;
        if (slot->busy) {
            slot->run->RequestStop();
        }
    }
}

bool CBench::Busy() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    for (const auto& slot : m_impl->slots) {
        if (slot->busy) {
            return true;
        }
    }
    return false;
}

void CBench::WaitIdle() {
    std::unique_lock<std::mutex> guard(m_impl->lock);
    m_impl->idle.wait(guard, [this] {
        for (const auto& slot : m_impl->slots) {
            if (slot->busy) {
                return false;
            }
        }
        return true;
    });
}

int CBench::ChangeFd() const {
    return m_impl->change.Fd();
}

void CBench::OnChange() {
    m_impl->change.Reset();
    m_impl->JoinEnded();
    std::vector<std::string> replugged;
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        for (auto& slot : m_impl->slots) {
            if (!slot->busy && slot->plugAfterRun) {
                slot->plugAfterRun = false;
                replugged.push_back(slot->info.port);
            }
        }
    }
    for (const auto& path : replugged) {
        Plug(path);
    }
}

std::vector<SlotInfo> CBench::Slots() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    std::vector<SlotInfo> infos;
    for (const auto& slot : m_impl->slots) {
        infos.push_back(slot->info);
    }
    return infos;
}

int CBench::UnansweredJobs() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return m_impl->unanswered;
}

int CBench::RecordsFailed() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return m_impl->recordsFailed;
}

const ImageInfo& CBench::Image() const {
    return m_impl->imageInfo;
}

}  // namespace bench
