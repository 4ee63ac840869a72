#include "sim/CommandParser.h"

#include "sim/ControlBytes.h"

namespace sim {

FirmwareCommand ClassifyCommand(const std::string& text) {
    if (text == "/01-") {
        return FirmwareCommand::StopReport;
    }
    if (text == "/00") {
        return FirmwareCommand::Identify;
    }
    if (text == "/011") {
        return FirmwareCommand::StartReport;
    }
    if (text == "/0842") {
        return FirmwareCommand::EnterBootLoader;
    }
    return FirmwareCommand::Unknown;
}

std::optional<std::string> CCommandParser::Feed(std::uint8_t byte) {
    if (byte == bytes::kCr) {
        if (m_text.empty()) {
            return std::nullopt;
        }
        std::string command;
        command.swap(m_text);
        return command;
    }
    const bool printable = byte >= 0x20 && byte < 0x7F;
    if (printable && m_text.size() < kCapacity) {
        m_text += static_cast<char>(byte);
    }
    return std::nullopt;
}

}  // namespace sim
