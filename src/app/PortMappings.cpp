#include "app/PortMappings.h"

#include <sys/stat.h>

#include "support/PortMappingStore.h"
#include "support/SettingsKey.h"

namespace {

constexpr const char* kMaker = "Veltra";
constexpr const char* kProgram = "Corvane";

constexpr const char* kNotSerial = "not a serial device";

CSettingsKey OpenSettings() {
    CSettingsKey key;
    key.OpenKey(kMaker, kProgram);
    return key;
}

}  // namespace

std::vector<std::string> CPortMappings::Names() {
    return {"COM1", "COM2", "COM3", "COM4"};
}

std::string CPortMappings::StandardDevice(const std::string& name) {
    return "/dev/ttyS" + std::to_string(name.back() - '1');
}

std::string CPortMappings::CheckPath(const std::string& path) {
    if (path.size() < 2 || path.front() != '/') {
        return "A device path begins with / (for example /dev/ttyUSB0).";
    }
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return "A device path cannot hold control characters.";
        }
    }
    if (path.size() >= CSettingsKey::kValueLimit) {
        return "A device path must be shorter than " + std::to_string(CSettingsKey::kValueLimit) +
               " characters.";
    }
    if (State(path) == kNotSerial) {
        return path + " is not a serial device.";
    }
    return {};
}

std::string CPortMappings::State(const std::string& path) {
    // Links followed: a by-id name stands for the device it points to.
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return "absent";
    }
    return S_ISCHR(info.st_mode) ? "present" : kNotSerial;
}

std::string CPortMappings::Stored(const std::string& name) const {
    return OpenSettings().ReadValue(name.c_str(), nullptr);
}

std::string CPortMappings::Device(const std::string& name) const {
    const std::string stored = Stored(name);
    return stored.empty() ? StandardDevice(name) : stored;
}

bool CPortMappings::Store(const std::string& name, const std::string& path, std::string& error) {
    if (!path.empty()) {
        error = CheckPath(path);
        if (!error.empty()) {
            return false;
        }
    }
    // A cleared mapping is removed, as "ports --unmap" removes it.
    std::string failure;
    if (!StorePortMapping(name, path, failure)) {
        error = "The setting could not be stored: " + failure + ".";
        return false;
    }
    return true;
}
