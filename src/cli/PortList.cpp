#include "cli/PortList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "serial/PortName.h"
#include "support/SettingsKey.h"

namespace {

namespace fs = std::filesystem;

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool HasDriver(const fs::path& sysTty) {
    std::error_code ec;
    return fs::exists(sysTty / "device" / "driver", ec);
}

// USB adapters describe themselves in the attributes of their USB device,
// one or two levels above the tty's interface.
std::string Describe(const fs::path& sysTty) {
    std::error_code ec;
    fs::path dir = fs::canonical(sysTty / "device", ec);
    for (int up = 0; !ec && up < 3 && !dir.empty(); ++up, dir = dir.parent_path()) {
        const std::string product = ReadLine(dir / "product");
        if (!product.empty()) {
            const std::string maker = ReadLine(dir / "manufacturer");
            return maker.empty() ? product : product + " (" + maker + ")";
        }
    }
    return {};
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// ttyUSB<n>, ttyACM<n> or ttyS<n>.
bool IsListedName(const std::string& name) {
    for (const std::string prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        if (name.rfind(prefix, 0) == 0 && AllDigits(name.substr(prefix.size()))) {
            return true;
        }
    }
    return false;
}

void AddByIdNames(std::vector<SerialDeviceInfo>& devices, const fs::path& byIdDir) {
    std::error_code ec;
    for (const auto& link : fs::directory_iterator(byIdDir, ec)) {
        std::error_code linkError;
        const fs::path target = fs::weakly_canonical(link.path().parent_path() /
                                                     fs::read_symlink(link.path(), linkError));
        for (auto& device : devices) {
            if (!linkError && fs::path(device.path).filename() == target.filename()) {
                device.byIdNames.push_back(link.path().string());
            }
        }
    }
}

}  // namespace

std::vector<SerialDeviceInfo> ListSerialDevices(const std::string& sysRoot,
                                                const std::string& devRoot) {
    std::vector<SerialDeviceInfo> devices;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class" / "tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsListedName(name) || !HasDriver(entry.path())) {
            continue;
        }
        devices.push_back({(fs::path(devRoot) / name).string(), {}, Describe(entry.path())});
    }
    std::sort(devices.begin(), devices.end(),
              [](const auto& a, const auto& b) { return a.path < b.path; });
    AddByIdNames(devices, fs::path(devRoot) / "serial" / "by-id");
    return devices;
}

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
