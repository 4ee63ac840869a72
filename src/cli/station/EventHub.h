// Event hub: the bench's events fanned out to every open event stream
// (Server-Sent Events) of the station's page.
//
// Principles of operation
//   Publish appends a message to one ring shared by every reader, dropping
//   the oldest past `capacity`, and wakes the readers that wait. Each
//   reader keeps only its place in the ring, so memory is bounded by the
//   ring whatever the number of readers, and publishing costs the same
//   whether a reader keeps up or not: the thread that publishes (a bench
//   job) never waits for a client.
//
//   A reader that fell behind the ring's start (its client too slow, its
//   socket full) is resynced: it gets a snapshot of every slot as it stands
//   now (the `snapshot` function, called on the server thread without the
//   hub's lock) and goes on from the newest message. A reader whose client
//   stops taking data altogether is closed by the server's idle timeout.
//
//   Heartbeat wakes every reader to send a comment line: it keeps proxies
//   from closing a quiet stream, and a connection asleep would never notice
//   its client went away.
//
//   Each message is an SSE message: "id: N", "event: KIND", "data: JSON"
//   and a blank line; N counts from 1 and is the message's place.
//
// Threads: Publish, Heartbeat and Close from any thread; a stream's Next
// on the server thread. One lock guards the ring and the readers; wake
// functions are called under it, as the server's contract asks.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/station/HttpServer.h"

namespace station {

class CEventHub {
public:
    // snapshot: the "snapshot" message's JSON data for a resynced reader.
    explicit CEventHub(std::function<std::string()> snapshot, std::size_t capacity = 4096);
    ~CEventHub();
    CEventHub(const CEventHub&) = delete;
    CEventHub& operator=(const CEventHub&) = delete;

    // Appends an event of kind with data (JSON on one line); returns its id.
    std::uint64_t Publish(const std::string& kind, const std::string& data);
    // A stream that starts after the newest message.
    std::shared_ptr<IEventStream> Subscribe();
    void Heartbeat();
    // Ends every stream; later subscribers end at once.
    void Close();

    std::size_t Readers() const;
    // Readers resynced so far (they fell behind the ring).
    std::uint64_t Resyncs() const;

    // "id: 7\nevent: kind\ndata: {...}\n\n"
    static std::string Message(std::uint64_t id, const std::string& kind, const std::string& data);

private:
    class CReader;
    friend class CReader;

    std::function<std::string()> m_snapshot;
    std::size_t m_capacity;
    mutable std::mutex m_lock;
    std::deque<std::string> m_ring;  // messages m_next - size .. m_next - 1
    std::uint64_t m_next = 1;
    std::vector<CReader*> m_readers;
    std::uint64_t m_resyncs = 0;
    bool m_closed = false;
};

}  // namespace station
