#include "serial/ErrorReport.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/DebugOutput.h"
#include "platform/LastError.h"
#include "platform/MessageBox.h"

const char* const kCommErrorText =
    "Communications Error! Verify the cable\n is connected properly and the correct\n"
    "communications port has been selected.\n\nIf communications errors continue please\n"
    "unplug the charger for 10 seconds\nand then plug it back in and try again.\n\n"
    "If that fails please contact support.";
const char* const kCommErrorCaption = "ERROR";

namespace {

const char* const kFallbackText = "Cannot properly report error.";
const char* const kFallbackCaption = "Fatal Error";

// Room for "Error : .\n\r\r\n", the longest signed 32-bit number and the NUL.
constexpr std::size_t kComposedOverhead = 30;

// The button every box answers with: OK is the only one it has.
constexpr int kIdOk = 1;

}  // namespace

std::size_t FormatSystemMessage(std::uint32_t code, std::string& text) {
    text = platform::SystemErrorText(code);
    if (text.empty()) {
        return 1;
    }
    return text.size();
}

void ReportError(const char* text) {
    // Read before anything else can record a code of its own.
    const std::uint32_t code = platform::GetLastError();
    if (text == nullptr) {
        text = "";
    }
    if (code == 0) {
        platform::OutputDebugString(text);
        platform::ShowMessageBox(text);
        return;
    }
    std::string systemText;
    const std::size_t systemLength = FormatSystemMessage(code, systemText);
    const std::size_t size = std::strlen(text) + systemLength + kComposedOverhead;
    std::unique_ptr<char[]> composed(new (std::nothrow) char[size]());
    if (!composed) {
        platform::OutputDebugString(kFallbackText);
        platform::OutputDebugString(text);
        platform::ShowMessageBox(kFallbackText, kFallbackCaption);
        return;
    }
    // The code is shown as a signed 32-bit value, so large codes read negative.
    std::snprintf(composed.get(), size, "Error %d: %s.\n\r%s\r\n", static_cast<std::int32_t>(code),
                  text, systemText.c_str());
    platform::OutputDebugString(composed.get());
    platform::ShowMessageBox(composed.get());
}

int ReportCommError(const char* text) {
    return ReportCommError(text, std::string());
}

int ReportCommError(const char* text, const std::string& cause) {
    platform::OutputDebugString(text == nullptr ? "" : text);
    platform::ShowMessageBox(CommErrorText(cause), kCommErrorCaption);
    return kIdOk;
}

std::string CommErrorText(const std::string& cause) {
    std::string composed = kCommErrorText;
    if (!cause.empty()) {
        composed += "\n\n" + cause;
    }
    return composed;
}
