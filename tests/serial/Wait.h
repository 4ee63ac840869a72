// Bounded waiting for the serial tests: every wait ends, whatever the code
// under test does.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "serial/SerialPort.h"

namespace serialtest {

// Polls the condition every 2 ms until it holds or timeoutMs passed; returns
// whether it held.
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Takes count bytes out of the port's ring, waiting at most timeoutMs for them.
inline std::string ReadBytes(CSerialPort& port, std::size_t count, int timeoutMs = 5000) {
    std::string got;
    WaitUntil(
        [&] {
            for (int byte = port.ReadByte(); byte >= 0; byte = port.ReadByte()) {
                got.push_back(static_cast<char>(byte));
                if (got.size() == count) {
                    break;
                }
            }
            return got.size() >= count;
        },
        timeoutMs);
    return got;
}

}  // namespace serialtest
