// Pty peer: a scripted far end on a pseudo-terminal.
//
// Principles of operation
//   For cases the simulated charger does not play, the test itself acts as
//   the charger on the master side of a pseudo-terminal. Service reads what
//   the port has written so far and answers the n-th occurrence of a trigger
//   text with the n-th scripted reply. Write puts bytes on the line and waits
//   (bounded) until the port's receive ring holds them, so the command sees
//   them at its next look. Everything runs on the test's thread, inside the
//   line clock's sleeps; the port's own threads carry the bytes.
//
// Threads: the test's thread only.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TestKit.h"
#include "serial/SerialPort.h"

class CPtyPeer {
public:
    explicit CPtyPeer(CSerialPort& port) : m_port(port) {}

    const std::string& Path() const { return m_pty.SlavePath(); }
    // Everything the port has written to the far end that Service has read.
    const std::string& Received() const { return m_received; }

    // Answers the n-th occurrence of trigger with replies[n] ("" or none:
    // nothing). Several triggers may be scripted.
    void Answer(std::string trigger, std::vector<std::string> replies) {
        m_rules.push_back({std::move(trigger), std::move(replies), 0});
    }

    // Reads what arrived and answers triggers.
    void Service() {
        char buffer[512];
        pollfd pfd{m_pty.Master(), POLLIN, 0};
        while (::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0) {
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

    // Writes bytes as the far end and waits until the port has received them.
    void Write(const std::string& bytes) {
        const int expected = m_port.BytesAvailable() + static_cast<int>(bytes.size());
        m_pty.Send(bytes);
        const auto start = std::chrono::steady_clock::now();
        while (m_port.BytesAvailable() < expected &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // The far end goes away, as a pulled adapter does; waits (bounded) until
    // the port's reader has seen the line fail, so the command meets a lost
    // port at its next look.
    void HangUp() {
        m_pty.HangUp();
        const auto start = std::chrono::steady_clock::now();
        while (!m_port.IsLost() &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    int Occurrences(const std::string& text) const {
        int count = 0;
        for (auto at = m_received.find(text); at != std::string::npos;
             at = m_received.find(text, at + text.size())) {
            ++count;
        }
        return count;
    }

private:
    struct Rule {
        std::string trigger;
        std::vector<std::string> replies;
        int answered = 0;
    };
    CSerialPort& m_port;
    testkit::CPtyPair m_pty;
    std::string m_received;
    std::vector<Rule> m_rules;
};
