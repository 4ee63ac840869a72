#include "support/PortMappingStore.h"

#include <array>

#include "support/SettingsKey.h"

namespace {

constexpr const char* kMaker = "Veltra";
constexpr const char* kProgram = "Corvane";
const std::array<const char*, 4> kNames = {"COM1", "COM2", "COM3", "COM4"};

using Mappings = std::array<std::string, 4>;

// The four mappings as a fresh reader of the file finds them.
Mappings ReadBack() {
    CSettingsKey key;
    key.OpenKey(kMaker, kProgram);
    Mappings mappings;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        mappings[i] = key.ReadValue(kNames[i], nullptr);
    }
    return mappings;
}

}  // namespace

bool StorePortMapping(const std::string& name, const std::string& path, std::string& failure) {
    CSettingsKey key;
    if (key.OpenKey(kMaker, kProgram) != 0) {
        failure = key.FailureText();
        return false;
    }
    Mappings expected = ReadBack();
    const int status =
        path.empty() ? key.RemoveValue(name.c_str()) : key.WriteValue(name.c_str(), path);
    if (status != 0) {
        failure = key.FailureText();
        return false;
    }
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (name == kNames[i]) {
            expected[i] = path;
        }
    }
    const Mappings stored = ReadBack();
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (stored[i] != expected[i]) {
            failure = key.FilePath() + " does not give " + kNames[i] + " back as written";
            return false;
        }
    }
    return true;
}
