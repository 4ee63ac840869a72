#include "PtyPeer.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

void CPtyPeer::Service() {
    for (;;) {
        pollfd pfd{m_pty.Master(), POLLIN, 0};
        if (::poll(&pfd, 1, 0) <= 0 || (pfd.revents & POLLIN) == 0) {
            break;
        }
        char buffer[512];
        const ssize_t got = ::read(m_pty.Master(), buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        m_received.append(buffer, static_cast<std::size_t>(got));
    }
    for (Rule& rule : m_rules) {
        while (rule.answered < Occurrences(rule.trigger)) {
            const auto index = static_cast<std::size_t>(rule.answered++);
            if (index < rule.replies.size() && !rule.replies[index].empty()) {
                Write(rule.replies[index]);
            }
        }
    }
}

void CPtyPeer::Write(const std::string& bytes) {
    const int before = m_port.BytesAvailable();
    m_pty.Send(bytes);
    const auto start = std::chrono::steady_clock::now();
    const int expected = before + static_cast<int>(bytes.size());
    while (m_port.BytesAvailable() < expected &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

int CPtyPeer::Occurrences(const std::string& text) const {
    int count = 0;
    for (std::size_t at = m_received.find(text); at != std::string::npos;
         at = m_received.find(text, at + text.size())) {
        ++count;
    }
    return count;
}
