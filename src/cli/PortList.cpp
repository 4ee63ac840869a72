#include "cli/PortList.h"

#include "serial/PortName.h"
#include "support/SettingsKey.h"

std::vector<ComMapping> ComMappings() {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    std::vector<ComMapping> mappings;
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"}) {
        const std::string stored = key.ReadValue(name, nullptr);
        mappings.push_back({name, ResolvePortName(name), !stored.empty()});
    }
    return mappings;
}

bool MapPort(const std::string& assignment, std::string& message) {
    const std::size_t equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    const std::string device = equals == std::string::npos ? "" : assignment.substr(equals + 1);
    const bool comName =
        name.size() == 4 && name.rfind("COM", 0) == 0 && name[3] >= '1' && name[3] <= '4';
    if (!comName || device.size() < 2 || device[0] != '/') {
        message = "Expected COMn=/dev/... with n from 1 to 4, got '" + assignment + "'.";
        return false;
    }
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    if (key.WriteValue(name.c_str(), device) != 0) {
        message = "Could not store the mapping in " + key.FilePath() + ".";
        return false;
    }
    message = name + " now resolves to " + device + ".";
    return true;
}
