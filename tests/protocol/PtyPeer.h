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

#include <string>
#include <utility>
#include <vector>

#include "TestKit.h"
#include "serial/SerialPort.h"

class CPtyPeer {
public:
    explicit CPtyPeer(CSerialPort& port) : m_port(port) {}

    const std::string& Path() const { return m_pty.SlavePath(); }
    // Answers the n-th occurrence of trigger with replies[n]; later ones get
    // nothing. Several triggers may be scripted.
    void Answer(std::string trigger, std::vector<std::string> replies) {
        m_rules.push_back({std::move(trigger), std::move(replies), 0});
    }
    // Reads what arrived and answers triggers.
    void Service();
    // Writes bytes as the far end and waits until the port has received them.
    void Write(const std::string& bytes);
    // Everything the port has written to the far end that Service has read.
    const std::string& Received() const { return m_received; }
    int Occurrences(const std::string& text) const;

private:
    CSerialPort& m_port;
    testkit::CPtyPair m_pty;
    std::string m_received;
    struct Rule {
        std::string trigger;
        std::vector<std::string> replies;
        int answered = 0;
    };
    std::vector<Rule> m_rules;
};
