#include "serial/PortName.h"

#include <strings.h>

#include <algorithm>
#include <iterator>

#include "support/SettingsKey.h"

namespace {

const char* const kPortNames[] = {"COM1", "COM2", "COM3", "COM4"};
const char* const kDefaultDevices[] = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};

bool IsDevicePath(const std::string& name) {
    return !name.empty() && name.front() == '/';
}

}  // namespace

std::vector<std::string> PortNames() {
    return {std::begin(kPortNames), std::end(kPortNames)};
}

bool LooksLikePortName(const std::string& name) {
    return name.size() > 3 && ::strncasecmp(name.c_str(), "COM", 3) == 0 &&
           name.find_first_not_of("0123456789", 3) == std::string::npos;
}

bool IsPortName(const std::string& name) {
    return std::find(std::begin(kPortNames), std::end(kPortNames), name) != std::end(kPortNames);
}

std::string ResolvePortName(const std::string& name) {
    if (IsDevicePath(name)) {
        return name;
    }
    const auto found = std::find(std::begin(kPortNames), std::end(kPortNames), name);
    if (found == std::end(kPortNames)) {
        return {};
    }
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    const std::string path = key.ReadValue(*found, kDefaultDevices[found - std::begin(kPortNames)]);
    // A relative path would depend on the working folder: not a device.
    return IsDevicePath(path) ? path : std::string();
}
