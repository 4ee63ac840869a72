#include "app/VersionInfo.h"

#include <cstring>

#ifndef CORVANE_NUMERIC_VERSION
#error "CORVANE_NUMERIC_VERSION must name the numeric version, e.g. 2.1.0.0"
#endif

namespace {

// Separate literals keep each "\0" from running into the digits after it.
__attribute__((section(".corvane_version"), used)) const char kVersionBlock[] =
    "\\StringFileInfo\\040904b0\\ProductVersion\0" CORVANE_VERSION_LABEL
    "\0"
    "\\StringFileInfo\\040904b0\\FileVersion\0" CORVANE_VERSION_LABEL
    "\0"
    "\\FixedFileInfo\\ProductVersion\0" CORVANE_NUMERIC_VERSION
    "\0"
    "\\FixedFileInfo\\FileVersion\0" CORVANE_NUMERIC_VERSION "\0";

// The text at offset, up to its NUL or the block's end.
std::string_view TextAt(std::span<const char> block, std::size_t offset) {
    const char* start = block.data() + offset;
    const std::size_t room = block.size() - offset;
    const void* end = std::memchr(start, '\0', room);
    const std::size_t length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - start) : room;
    return {start, length};
}

}  // namespace

std::span<const char> ExecutableVersionInfo() {
    // The literal's own terminating NUL is the empty key that ends the block.
    return {kVersionBlock, sizeof kVersionBlock};
}

std::optional<std::string> QueryVersionValue(std::span<const char> block, std::string_view key) {
    std::size_t offset = 0;
    while (offset < block.size()) {
        const std::string_view name = TextAt(block, offset);
        if (name.empty()) {
            break;
        }
        offset += name.size() + 1;
        if (offset > block.size()) {
            break;  // a key without a value
        }
        const std::string_view value =
            offset < block.size() ? TextAt(block, offset) : std::string_view();
        if (name == key) {
            return std::string(value);
        }
        offset += value.size() + 1;
    }
    return std::nullopt;
}
