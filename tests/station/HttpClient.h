// HTTP client of the station tests: plain sockets on the loopback range,
// every read bounded, so that a test sees exactly what a browser's socket
// would and never hangs.
//
//   CConnection  one TCP connection, optionally from a given 127.x source
//                address; raw bytes out, bytes in until a text or an end.
//   Request      one whole request on a fresh connection, its response
//                parsed (status, headers, body with chunks joined).
#pragma once

#include <map>
#include <string>

namespace stationtest {

struct HttpReply {
    int status = 0;  // 0: no response (the connection was closed or timed out)
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    // The header's value, "" when there is none.
    std::string Header(const std::string& lowerName) const {
        const auto found = headers.find(lowerName);
        return found == headers.end() ? std::string() : found->second;
    }
};

class CConnection {
public:
    // Connects to 127.0.0.1:port from `from` (another 127.x address), with
    // a receive buffer of receiveBuffer bytes when not 0.
    explicit CConnection(int port, const std::string& from = "127.0.0.1", int receiveBuffer = 0);
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    bool Connected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    // Reads until the bytes read so far hold `text`, the peer closes, or
    // timeoutMs pass without it; all read so far.
    std::string ReadUntil(const std::string& text, int timeoutMs);
    // True when the peer closed (or reset) the connection within timeoutMs
    // without sending anything more than `sent` holds afterwards.
    bool ClosedWithin(int timeoutMs, std::string* sent = nullptr);
    const std::string& Received() const { return m_in; }
    void Close();

private:
    int m_fd = -1;
    std::string m_in;
    bool m_ended = false;
};

// method path HTTP/1.1 with the extra header lines (each ending in CRLF).
HttpReply Request(int port, const std::string& method, const std::string& path,
                  const std::string& headers = "", const std::string& body = "");
// A response's bytes parsed; status 0 when they hold none.
HttpReply Parse(const std::string& bytes);

}  // namespace stationtest
