// What the station benchmarks share: the station's page served on a loopback
// port (board, event hub, control, API and HTTP server, with no journals),
// a reader of its event stream as a page's would be, and a system log that
// drops what it is told.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli/station/HttpServer.h"
#include "cli/station/StationApi.h"
#include "records/SystemLog.h"

namespace benchstation {

class CNoSystemLog : public records::ISystemLog {
public:
    void Write(bool, const std::string&) override {}
};

// The station's page and its parts, started on a free loopback port.
struct CServedStation {
    CServedStation() {
        board.SetHub(&hub);
        none.journals = [] { return std::vector<std::string>(); };
    }
    bool Start(std::string& error) {
        station::ListenAddress address;
        return station::ParseListenAddress("127.0.0.1:0", address, error) &&
               server.Start(address, error);
    }
    int Port() const { return server.Port(); }

    station::CSlotNames names;
    station::CStationBoard board{names};
    station::CEventHub hub{[this] { return board.RowsJson(); }};
    station::CStationControl control;
    station::RecordSource none;
    station::CStationApi api{board, hub, control, "token", none};
    station::CHttpServer server{api};
};

// One page's event stream over a loopback socket, read on a thread of its
// own as fast as it comes; every piece read is handed to onBytes there.
class CEventStreamReader {
public:
    using OnBytes = std::function<void(const char* data, std::size_t size)>;

    CEventStreamReader(int port, OnBytes onBytes) : m_onBytes(std::move(onBytes)) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
        const std::string request = "GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n";
        ::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL);
        m_thread = std::thread([this] { Read(); });
    }
    ~CEventStreamReader() {
        Stop();
        ::close(m_fd);
    }
    CEventStreamReader(const CEventStreamReader&) = delete;
    CEventStreamReader& operator=(const CEventStreamReader&) = delete;

    // Ends the reading; what onBytes kept may be looked at after it.
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    void Read() {
        std::vector<char> buffer(65536);
        while (!m_stop) {
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                return;
            }
            m_onBytes(buffer.data(), static_cast<std::size_t>(n));
        }
    }

    OnBytes m_onBytes;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace benchstation
