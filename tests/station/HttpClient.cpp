#include "HttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace stationtest {
namespace {

constexpr int kRequestMs = 10000;

sockaddr_in Loopback(const std::string& address, int port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &in.sin_addr);
    return in;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Unchunk(const std::string& body) {
    std::string joined;
    std::size_t at = 0;
    while (at < body.size()) {
        const std::size_t line = body.find("\r\n", at);
        if (line == std::string::npos) {
            break;
        }
        const std::size_t size = std::stoul(body.substr(at, line - at), nullptr, 16);
        if (size == 0) {
            break;
        }
        joined += body.substr(line + 2, size);
        at = line + 2 + size + 2;
    }
    return joined;
}

}  // namespace

CConnection::CConnection(int port, const std::string& from, int receiveBuffer) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const sockaddr_in source = Loopback(from, 0);
    const sockaddr_in target = Loopback("127.0.0.1", port);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0 ||
        ::connect(m_fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        Close();
    }
}

CConnection::~CConnection() {
    Close();
}

void CConnection::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CConnection::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return m_fd >= 0;
}

std::string CConnection::ReadUntil(const std::string& text, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_fd >= 0 && !m_ended && (text.empty() || m_in.find(text) == std::string::npos)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd fd{m_fd, POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            m_ended = true;
            break;
        }
        m_in.append(buffer, static_cast<std::size_t>(n));
    }
    return m_in;
}

bool CConnection::ClosedWithin(int timeoutMs, std::string* sent) {
    const std::size_t before = m_in.size();
    ReadUntil("", timeoutMs);
    if (sent != nullptr) {
        *sent = m_in.substr(before);
    }
    return m_ended;
}

HttpReply Parse(const std::string& bytes) {
    HttpReply reply;
    const std::size_t head = bytes.find("\r\n\r\n");
    if (bytes.rfind("HTTP/1.", 0) != 0 || head == std::string::npos) {
        return reply;
    }
    reply.status = std::stoi(bytes.substr(9, 3));
    std::size_t at = bytes.find("\r\n") + 2;
    while (at < head) {
        const std::size_t end = bytes.find("\r\n", at);
        const std::string line = bytes.substr(at, end - at);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            reply.headers[Lower(line.substr(0, colon))] =
                value == std::string::npos ? "" : line.substr(value);
        }
        at = end + 2;
    }
    reply.body = bytes.substr(head + 4);
    if (Lower(reply.Header("transfer-encoding")) == "chunked") {
        reply.body = Unchunk(reply.body);
    }
    return reply;
}

HttpReply Request(int port, const std::string& method, const std::string& path,
                  const std::string& headers, const std::string& body) {
    CConnection connection(port);
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                          "Connection: close\r\n" + headers;
    if (!body.empty()) {
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    connection.Send(request + "\r\n" + body);
    connection.ReadUntil("", kRequestMs);  // to the server's close
    return Parse(connection.Received());
}

}  // namespace stationtest
