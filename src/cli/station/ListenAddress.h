// Listen address: where the station's HTTP server listens, as given with
// --listen ADDR:PORT.
//
// Principles of operation
//   ADDR is a numeric IPv4 address, an IPv6 address in brackets
//   ([::1]:8642) or "localhost"; PORT is 0 to 65535 (0: any free port). No
//   name is looked up: a station must not listen somewhere a resolver
//   decided. Loopback means 127.0.0.0/8 or ::1; anything else is reachable
//   from the network, which the command warns about.
//
// Threads: value types and pure functions.
#pragma once

#include <sys/socket.h>

#include <string>

namespace station {

struct ListenAddress {
    sockaddr_storage socket{};
    bool ipv6 = false;
    bool loopback = false;
    std::string host;  // as it goes into a URL: 127.0.0.1, [::1]
    int port = 0;
};

// false, with the reason in error, when text is no ADDR:PORT.
bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error);

}  // namespace station
