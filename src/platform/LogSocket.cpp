#include "platform/LogSocket.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// Month names as RFC 3164 spells them, whatever the locale.
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Closes the descriptor on every path out.
struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

std::string LogSocketPath() {
    const char* named = std::getenv("CORVANE_LOG_SOCKET");
    return named != nullptr && *named != '\0' ? named : "/dev/log";
}

std::string SystemLogLine(int priority, std::string_view ident, pid_t pid, std::time_t now,
                          std::string_view text) {
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d", kMonths[local.tm_mon % 12],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return "<" + std::to_string(priority) + ">" + stamp + " " + std::string(ident) + "[" +
           std::to_string(pid) + "]: " + std::string(text);
}

bool SendToSystemLog(int priority, std::string_view ident, std::string_view text) {
    const std::string path = LogSocketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    Socket socket;
    socket.fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket.fd < 0) {
        return false;
    }
    // A log whose queue stays full drops the line after a second.
    const timeval wait{1, 0};
    (void)::setsockopt(socket.fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    const std::string line = SystemLogLine(priority, ident, ::getpid(), std::time(nullptr), text);
    const auto sent = ::sendto(socket.fd, line.data(), line.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<ssize_t>(line.size());
}

}  // namespace platform
