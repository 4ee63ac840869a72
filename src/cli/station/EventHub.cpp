#include "cli/station/EventHub.h"

#include <algorithm>

namespace station {
namespace {

// What one pull hands the server at most, so that a reader far behind
// does not build one huge chunk.
constexpr std::size_t kBatchBytes = 16 * 1024;  // mutate: equivalent (only moves chunk boundaries)

// The first bytes of every stream: the browser's reconnection delay, and a
// comment, so that the response starts (and EventSource opens) at once.
constexpr const char* kGreeting = "retry: 2000\n: corvane station\n\n";

}  // namespace

class CEventHub::CReader : public IEventStream {
public:
    CReader(CEventHub& hub, std::uint64_t start) : m_hub(hub), m_cursor(start) {}
    ~CReader() override {
        std::lock_guard<std::mutex> guard(m_hub.m_lock);
        auto& readers = m_hub.m_readers;
        readers.erase(std::remove(readers.begin(), readers.end(), this), readers.end());
    }

    void Attach(std::function<void()> wake) override {
        std::lock_guard<std::mutex> guard(m_hub.m_lock);
        m_wake = std::move(wake);
    }

    Pull Next(std::string& out, const std::function<void()>& suspend) override;

    void End() override {
        std::lock_guard<std::mutex> guard(m_hub.m_lock);
        m_ended = true;
        Wake();
    }

    // Lock held.
    void Wake() {
        if (m_waiting) {
            m_waiting = false;
            m_wake();
        }
    }

    bool m_heartbeat = false;

private:
    Pull Resync(std::string& out, std::unique_lock<std::mutex>& guard);

    CEventHub& m_hub;
    std::uint64_t m_cursor;
    std::function<void()> m_wake;
    bool m_greeted = false;
    bool m_waiting = false;
    bool m_ended = false;
};

// The snapshot is made without the hub's lock, so publishing never waits
// for it; messages published meanwhile follow it and repeat what it holds.
IEventStream::Pull CEventHub::CReader::Resync(std::string& out,
                                              std::unique_lock<std::mutex>& guard) {
    m_cursor = m_hub.m_next;
    ++m_hub.m_resyncs;
    const std::uint64_t id = m_cursor - 1;
    guard.unlock();
    out += Message(id, "snapshot", m_hub.m_snapshot());
    return Pull::Data;
}

IEventStream::Pull CEventHub::CReader::Next(std::string& out,
                                            const std::function<void()>& suspend) {
    std::unique_lock<std::mutex> guard(m_hub.m_lock);
    if (m_ended || m_hub.m_closed) {
        return Pull::End;
    }
    if (!m_greeted) {
        m_greeted = true;
        out += kGreeting;
        return Pull::Data;
    }
    const std::uint64_t first = m_hub.m_next - m_hub.m_ring.size();
    if (m_cursor < first) {
        return Resync(out, guard);
    }
    while (m_cursor < m_hub.m_next && out.size() < kBatchBytes) {
        out += m_hub.m_ring[static_cast<std::size_t>(m_cursor - first)];
        ++m_cursor;
    }
    if (!out.empty()) {
        return Pull::Data;
    }
    if (m_heartbeat) {
        m_heartbeat = false;
        out += ": keep-alive\n\n";
        return Pull::Data;
    }
    m_waiting = true;
    suspend();
    return Pull::Wait;
}

CEventHub::CEventHub(std::function<std::string()> snapshot, std::size_t capacity)
    : m_snapshot(std::move(snapshot)), m_capacity(std::max<std::size_t>(capacity, 1)) {}

CEventHub::~CEventHub() {
    Close();
}

std::string CEventHub::Message(std::uint64_t id, const std::string& kind, const std::string& data) {
    return "id: " + std::to_string(id) + "\nevent: " + kind + "\ndata: " + data + "\n\n";
}

std::uint64_t CEventHub::Publish(const std::string& kind, const std::string& data) {
    std::lock_guard<std::mutex> guard(m_lock);
    const std::uint64_t id = m_next;
    if (m_closed) {
        return id;
    }
    m_ring.push_back(Message(id, kind, data));
    ++m_next;
    if (m_ring.size() > m_capacity) {
        m_ring.pop_front();
    }
    for (CReader* reader : m_readers) {
        reader->Wake();
    }
    return id;
}

std::shared_ptr<IEventStream> CEventHub::Subscribe() {
    std::lock_guard<std::mutex> guard(m_lock);
    auto reader = std::make_shared<CReader>(*this, m_next);
    m_readers.push_back(reader.get());
    return reader;
}

void CEventHub::Heartbeat() {
    std::lock_guard<std::mutex> guard(m_lock);
    for (CReader* reader : m_readers) {
        reader->m_heartbeat = true;
        reader->Wake();
    }
}

void CEventHub::Close() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    for (CReader* reader : m_readers) {
        reader->Wake();
    }
}

std::size_t CEventHub::Readers() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_readers.size();
}

std::uint64_t CEventHub::Resyncs() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_resyncs;
}

}  // namespace station
