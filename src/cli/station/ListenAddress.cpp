#include "cli/station/ListenAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

namespace station {
namespace {

bool ParsePort(const std::string& text, int& port) {
    int value = -1;
    const char* end = text.data() + text.size();
    const auto [at, problem] = std::from_chars(text.data(), end, value);
    if (text.empty() || problem != std::errc() || at != end || value < 0 || value > 65535) {
        return false;
    }
    port = value;
    return true;
}

bool IPv4(const std::string& host, int port, ListenAddress& a) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &in.sin_addr) != 1) {
        return false;
    }
    std::memcpy(&a.socket, &in, sizeof in);
    a.loopback = (ntohl(in.sin_addr.s_addr) >> 24) == 127;
    a.host = host;
    return true;
}

bool IPv6(const std::string& host, int port, ListenAddress& a) {
    sockaddr_in6 in{};
    in.sin6_family = AF_INET6;
    in.sin6_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET6, host.c_str(), &in.sin6_addr) != 1) {
        return false;
    }
    std::memcpy(&a.socket, &in, sizeof in);
    a.ipv6 = true;
    a.loopback = IN6_IS_ADDR_LOOPBACK(&in.sin6_addr);
    a.host = "[" + host + "]";
    return true;
}

}  // namespace

bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error) {
    error = "'" + text + "' is no ADDR:PORT such as 127.0.0.1:8642 or [::1]:8642";
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    ListenAddress a;
    if (!ParsePort(text.substr(colon + 1), a.port)) {
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host == "localhost") {
        host = "127.0.0.1";
    }
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    if (bracketed ? !IPv6(host.substr(1, host.size() - 2), a.port, a) : !IPv4(host, a.port, a)) {
        return false;
    }
    address = a;
    error.clear();
    return true;
}

}  // namespace station
