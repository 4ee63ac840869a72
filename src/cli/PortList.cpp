#include "cli/PortList.h"

#include <algorithm>

#include <QString>

#include "serial/PortName.h"
#include "support/PortMappingStore.h"
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

std::string UnknownPortNameMessage(const std::string& name) {
    std::string list;
    const auto mappings = ComMappings();
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        list += i == 0 ? "" : i + 1 == mappings.size() ? " and " : ", ";
        list += mappings[i].name + " (" + mappings[i].device + ")";
    }
    return "There is no port " + name + ": the ports are " + list +
           ". Map one to your adapter with 'corvane-cli ports --map', or give a device path.";
}

namespace {

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// The store keeps UTF-8 text: anything else would come back changed.
bool IsUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString() ==
           text;
}

// Why a device path cannot be stored as given; empty when it can.
std::string DeviceProblem(const std::string& device) {
    if (device.size() < 2 || device[0] != '/') {
        return "the device must be an absolute path such as /dev/ttyUSB0";
    }
    if (HasControlCharacter(device)) {
        return "the device path holds a control character";
    }
    if (!IsUtf8(device)) {
        return "the device path is not UTF-8 text, which the settings store keeps";
    }
    if (device.size() + 1 > CSettingsKey::kValueLimit) {
        return "the device path is longer than the settings store holds (" +
               std::to_string(CSettingsKey::kValueLimit - 1) + " bytes)";
    }
    return {};
}

// Whether name is one of COM1..COM4; otherwise the message says so.
bool CheckPortName(const std::string& name, const std::string& shown, std::string& message) {
    if (IsPortName(name)) {
        return true;
    }
    message = LooksLikePortName(name)
                  ? UnknownPortNameMessage(name)
                  : "Expected COMn=/dev/... with n from 1 to 4, got '" + shown + "'.";
    return false;
}

}  // namespace

MapOutcome MapPort(const std::string& assignment, std::string& message) {
    const std::size_t equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    const std::string device = equals == std::string::npos ? "" : assignment.substr(equals + 1);
    if (!CheckPortName(name, assignment, message)) {
        return MapOutcome::Refused;
    }
    if (const std::string problem = DeviceProblem(device); !problem.empty()) {
        message = "Cannot map " + name + ": " + problem + ".";
        return MapOutcome::Refused;
    }
    std::string failure;
    if (!StorePortMapping(name, device, failure)) {
        message = "Could not store the mapping: " + failure + ".";
        return MapOutcome::StoreFailed;
    }
    message = name + " now resolves to " + device + ".";
    return MapOutcome::Done;
}

MapOutcome UnmapPort(const std::string& name, std::string& message) {
    if (!CheckPortName(name, name, message)) {
        return MapOutcome::Refused;
    }
    std::string failure;
    if (!StorePortMapping(name, std::string(), failure)) {
        message = "Could not remove the mapping: " + failure + ".";
        return MapOutcome::StoreFailed;
    }
    message = name + " now resolves to " + ResolvePortName(name) + " (default).";
    return MapOutcome::Done;
}

std::string SlotsFileText(const std::vector<bench::ByPathLink>& links,
                          const std::string& userFile) {
    std::string text =
        "# Slots for corvane-cli bench: LABEL = BY-PATH NAME, one a line.\n"
        "# Each name is the USB port an adapter sits in (/dev/serial/by-path), so a\n"
        "# label stays with its place on the bench when adapters are swapped.\n"
        "# A name may be a pattern: *-usb-0:1.4.* is every port of a hub in port 1.4.\n"
        "# Change the labels to what the bench is marked with, then save this as\n";
    text += "# " + userFile + "\n";
    text += "# (or as " + std::string(bench::kSystemSlotsFile) + " for every user of this PC),\n";
    text += "# or give it to corvane-cli bench --slots FILE.\n";
    if (links.empty()) {
        return text +
               "# No serial adapter has a by-path name now: plug them in and run\n"
               "# corvane-cli ports --by-path again.\n";
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        text += "\n# now " + links[i].device + "\nSlot " + std::to_string(i + 1) + " = " +
                links[i].name + "\n";
    }
    return text;
}
