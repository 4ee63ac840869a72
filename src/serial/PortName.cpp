#include "serial/PortName.h"

#include "support/SettingsKey.h"

namespace {

const char* const kPortNames[] = {"COM1", "COM2", "COM3", "COM4"};
const char* const kDefaultDevices[] = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};

bool IsDevicePath(const std::string& name) {
    return !name.empty() && name.front() == '/';
}

}  // namespace

std::string ResolvePortName(const std::string& name) {
    if (IsDevicePath(name)) {
        return name;
    }
    for (std::size_t i = 0; i < std::size(kPortNames); ++i) {
        if (name != kPortNames[i]) {
            continue;
        }
        CSettingsKey key;
        key.OpenKey("Veltra", "Corvane");
        const std::string path = key.ReadValue(kPortNames[i], kDefaultDevices[i]);
        // A relative path would depend on the working folder: not a device.
        return IsDevicePath(path) ? path : std::string();
    }
    return {};
}
