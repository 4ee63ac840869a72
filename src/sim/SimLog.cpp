#include "sim/SimLog.h"

#include <cstdio>

#include "sim/ControlBytes.h"

namespace sim {

namespace {

// Quotes text for JSON; commands may hold any byte the line carried.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const char* Bool(bool value) {
    return value ? "true" : "false";
}

template <typename T, typename F>
std::string Array(const std::vector<T>& items, F render) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "\n    " : ",\n    ") + render(items[i]);
    }
    return out + (items.empty() ? "]" : "\n  ]");
}

}  // namespace

const char* ModeName(ChargerMode mode) {
    return mode == ChargerMode::Firmware ? "firmware" : "boot-loader";
}

const char* VerdictName(BlockVerdict verdict) {
    switch (verdict) {
        case BlockVerdict::Accepted:
            return "accepted";
        case BlockVerdict::Repeat:
            return "repeat";
        case BlockVerdict::WrongNumber:
            return "wrong-number";
        case BlockVerdict::WrongComplement:
            return "wrong-complement";
        case BlockVerdict::BadCrc:
            return "bad-crc";
        case BlockVerdict::CutShort:
            return "cut-short";
        case BlockVerdict::TooLarge:
            return "too-large";
    }
    return "?";
}

const char* ReplyName(std::uint8_t reply) {
    switch (reply) {
        case bytes::kAck:
            return "ACK";
        case bytes::kNak:
            return "NAK";
        case bytes::kCan:
            return "CAN";
        default:
            return "none";
    }
}

std::string SimLog::ToJson() const {
    const auto command = [](const CommandRecord& c) {
        return "{\"atMs\": " + std::to_string(c.atMs) + ", \"text\": " + Quoted(c.text) +
               ", \"mode\": \"" + ModeName(c.mode) + "\"}";
    };
    const auto block = [](const BlockRecord& b) {
        return "{\"atMs\": " + std::to_string(b.atMs) +
               ", \"number\": " + std::to_string(b.number) +
               ", \"lineNumber\": " + std::to_string(b.lineNumber) + ", \"verdict\": \"" +
               VerdictName(b.verdict) + "\", \"reply\": \"" + ReplyName(b.reply) +
               "\", \"faultInjected\": " + Bool(b.faultInjected) + "}";
    };
    const auto mode = [](const ModeChange& m) {
        return "{\"atMs\": " + std::to_string(m.atMs) + ", \"mode\": \"" + ModeName(m.mode) + "\"}";
    };
    std::string out = "{\n";
    out += "  \"commands\": " + Array(commands, command) + ",\n";
    out += "  \"blocks\": " + Array(blocks, block) + ",\n";
    out += "  \"modeChanges\": " + Array(modeChanges, mode) + ",\n";
    out += "  \"ackSent\": " + std::to_string(ackSent) + ",\n";
    out += "  \"nakSent\": " + std::to_string(nakSent) + ",\n";
    out += "  \"canSent\": " + std::to_string(canSent) + ",\n";
    out += "  \"startSent\": " + std::to_string(startSent) + ",\n";
    out += "  \"eotReceived\": " + std::to_string(eotReceived) + ",\n";
    out += "  \"reportLines\": " + std::to_string(reportLines) + ",\n";
    out += "  \"imagesChecked\": " + std::to_string(imagesChecked) + ",\n";
    out += "  \"finalImageSound\": " + std::string(Bool(finalImageSound)) + ",\n";
    out += "  \"installedVersion\": " + Quoted(installedVersion) + ",\n";
    out += "  \"hungUp\": " + std::string(Bool(hungUp)) + "\n";
    return out + "}\n";
}

}  // namespace sim
