#include "platform/SerialDevices.h"

#include <libudev.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

namespace platform {

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

// The 8250 driver keeps a tty, with its driver, for every port number it was
// set up for, UART or not; serial core shows the missing UART as type 0
// (unknown). Such a tty opens and then answers everything with EIO. A tty
// without the attribute (a USB adapter) is a port.
bool HasHardware(const fs::path& sysTty) {
    std::ifstream in(sysTty / "type");
    int type = -1;
    return !(in >> type) || type != 0;
}

struct UsbStrings {
    std::string product;
    std::string manufacturer;
};

// USB adapters describe themselves in the attributes of their USB device,
// one or two levels above the tty's interface.
UsbStrings ReadUsbStrings(const fs::path& sysTty) {
    std::error_code ec;
    fs::path dir = fs::canonical(sysTty / "device", ec);
    for (int up = 0; !ec && up < 3 && !dir.empty(); ++up, dir = dir.parent_path()) {
        const std::string product = ReadLine(dir / "product");
        if (!product.empty()) {
            return {product, ReadLine(dir / "manufacturer")};
        }
    }
    return {};
}

std::string Describe(const UsbStrings& strings) {
    if (strings.manufacturer.empty()) {
        return strings.product;
    }
    return strings.product + " (" + strings.manufacturer + ")";
}

// udev's ID_VENDOR and ID_MODEL stand for spaces with underscores.
std::string Spaced(std::string text) {
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

std::string FirstOf(const DeviceProperties& properties, const char* fromDatabase, const char* own,
                    const std::string& fallback) {
    if (auto it = properties.find(fromDatabase); it != properties.end() && !it->second.empty()) {
        return it->second;
    }
    if (auto it = properties.find(own); it != properties.end() && !it->second.empty()) {
        return Spaced(it->second);
    }
    return fallback;
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

SerialDeviceInfo Describe(const fs::path& sysTty, const fs::path& devRoot,
                          const PropertyLookup& lookup) {
    const UsbStrings strings = ReadUsbStrings(sysTty);
    std::error_code ec;
    const fs::path canonical = fs::canonical(sysTty, ec);
    const DeviceProperties properties =
        lookup ? lookup((ec ? sysTty : canonical).string()) : DeviceProperties{};
    SerialDeviceInfo info;
    info.path = (devRoot / sysTty.filename()).string();
    info.description = Describe(strings);
    info.vendor = FirstOf(properties, "ID_VENDOR_FROM_DATABASE", "ID_VENDOR", strings.manufacturer);
    info.model = FirstOf(properties, "ID_MODEL_FROM_DATABASE", "ID_MODEL", strings.product);
    return info;
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
    for (auto& device : devices) {
        std::sort(device.byIdNames.begin(), device.byIdNames.end());
    }
}

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

}  // namespace

DeviceProperties UdevProperties(const std::string& sysPath) {
    std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context) {
        return {};
    }
    std::unique_ptr<udev_device, UdevDeleter> device(
        udev_device_new_from_syspath(context.get(), sysPath.c_str()));
    if (!device) {
        return {};
    }
    DeviceProperties properties;
    for (const char* name :
         {"ID_VENDOR_FROM_DATABASE", "ID_VENDOR", "ID_MODEL_FROM_DATABASE", "ID_MODEL"}) {
        if (const char* value = udev_device_get_property_value(device.get(), name)) {
            properties[name] = value;
        }
    }
    return properties;
}

std::vector<SerialDeviceInfo> ListSerialDevices(const std::string& sysRoot,
                                                const std::string& devRoot,
                                                const PropertyLookup& lookup) {
    std::vector<SerialDeviceInfo> devices;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class" / "tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (IsListedName(name) && HasDriver(entry.path()) && HasHardware(entry.path())) {
            devices.push_back(Describe(entry.path(), devRoot, lookup));
        }
    }
    std::sort(devices.begin(), devices.end(),
              [](const auto& a, const auto& b) { return a.path < b.path; });
    AddByIdNames(devices, fs::path(devRoot) / "serial" / "by-id");
    return devices;
}

bool DevicePresent(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

}  // namespace platform
