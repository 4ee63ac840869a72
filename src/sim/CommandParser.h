// Command parser: the firmware's line discipline.
//
// Principles of operation
//   The charger takes commands as text ended by a carriage return. The parser
//   collects printable bytes, drops line feeds and other control bytes, and
//   hands over each non-empty command at its carriage return; an empty line
//   (the request "\r/01-\r/00\r" starts with one) is no command. Text beyond
//   the capacity is dropped up to the carriage return, so a flood of bytes
//   cannot grow the buffer. ClassifyCommand names the commands the firmware
//   knows.
//
//   The firmware feeds it every byte; the boot loader feeds it the bytes
//   that are not part of a transfer, to answer stray requests with NAK.
//
// Threads: used by the simulator's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace sim {

enum class FirmwareCommand {
    StopReport,       // "/01-"
    Identify,         // "/00"
    StartReport,      // "/011"
    EnterBootLoader,  // "/0842"
    Unknown,
};

FirmwareCommand ClassifyCommand(const std::string& text);

class CCommandParser {
public:
    static constexpr std::size_t kCapacity = 64;

    // A complete command when this byte was the carriage return ending one.
    std::optional<std::string> Feed(std::uint8_t byte);
    void Clear() { m_text.clear(); }
    bool Empty() const { return m_text.empty(); }

private:
    std::string m_text;
};

}  // namespace sim
