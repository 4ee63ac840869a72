#include "cli/CommandSupport.h"

#include <cstdio>
#include <string>

#include "cli/CommandLine.h"

const char* ExitVerdict(int code) {
    switch (code) {
        case kExitOk:
            return "ok";
        case kExitPortOpen:
            return "port-not-opened";
        case kExitNoCharger:
            return "no-communication";
        case kExitFile:
            return "file-error";
        default:
            return code > 128 ? "interrupted" : "failed";
    }
}

void InstallByteTrace(CSerialPort& port) {
    port.SetTraceHook(ByteTrace());
}

CSerialPort::TraceHook ByteTrace() {
    return [](bool sent, const std::uint8_t* data, std::size_t length) {
        std::string line = sent ? "> " : "< ";
        char hex[4];
        for (std::size_t i = 0; i < length; ++i) {
            std::snprintf(hex, sizeof hex, "%02x ", data[i]);
            line += hex;
        }
        line += '\n';
        std::fputs(line.c_str(), stderr);  // one call, so lines of two workers never mix
        std::fflush(stderr);
    };
}
