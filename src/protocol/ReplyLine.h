// Reply line: builds the charger's reply lines and takes the versions out.
//
// Principles of operation
//   Identification hands every received byte to Handle. Printable bytes (32
//   to 126) build the line, at most 127 of them; further ones are dropped up
//   to the carriage return, which completes the line. A NAK is reported to
//   the caller and leaves the line as it is, so a NAK inside a line does not
//   break it. Any other byte, the line feed among them, is dropped.
//
//   A complete, non-empty line is split on spaces and tested in this order:
//     - first character "V" (upper case only): the charger-code version is
//       the first field without its "V";
//     - first four characters "Boot" in any letter case: the boot-code
//       version is the second field, empty when there is none;
//     - anything else (the "deviceid" line among them) is ignored.
//
// Threads: a value owned by one identification run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CReplyLine {
public:
    static constexpr std::size_t kCapacity = 127;
    static constexpr std::uint8_t kLineEnd = 13;
    static constexpr std::uint8_t kNak = 21;

    void Clear();
    // Handles one received byte; true when it was a NAK.
    bool Handle(std::uint8_t byte, std::string& bootCode, std::string& chargerCode);
    std::string_view Text() const { return {m_text, m_length}; }

    // The reply-line tests on one complete line.
    static void TakeVersions(const char* line, std::string& bootCode, std::string& chargerCode);

private:
    char m_text[kCapacity + 1] = {};
    std::size_t m_length = 0;
};
