// What the station benchmarks share: the station's page served on a loopback
// port (board, event hub, control, API and HTTP server, with no journals),
// a way to open its event stream as a page does, and a system log that
// drops what it is told.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
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

// A socket that has asked for the event stream, as a page's EventSource
// does; its reader owns and closes it.
inline int OpenEventStream(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    const std::string request = "GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
}

}  // namespace benchstation
