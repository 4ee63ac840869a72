// Slot names: the bench's places, named by the USB port each adapter sits in.
//
// Principles of operation
//   A by-id name (usb-FTDI_FT232R_USB_UART_A10K3C21-if00-port0) names the
//   adapter: swap two adapters and their names swap with them. A
//   /dev/serial/by-path name (pci-0000:00:14.0-usb-0:1.1:1.0-port0) names
//   the USB port the adapter sits in, which stays where it is on the bench.
//   A slots file gives those places the labels the bench is marked with:
//       # the left shelf
//       Slot 1 = pci-0000:00:14.0-usb-0:1.1:1.0-port0
//       Slot 2 = pci-0000:00:14.0-usb-0:1.2:*
//   one label and one by-path name or fnmatch pattern a line, '#' comment
//   lines and blank lines. A device gets the label of the first line whose
//   name equals or matches one of the by-path links that resolve to it; a
//   device on no labelled port has no label, and is shown by its port.
//
//   The file comes from the bench PC's configuration, which anyone with a
//   text editor may have changed: it is bounded (kMaxFileBytes, kMaxLineBytes,
//   kMaxSlots), and a bad line refuses the whole file with the line's number
//   and what is wrong with it, so no bench runs with half its labels. Labels
//   are printable ASCII of at most kMaxLabelBytes, so they fit a terminal
//   table and carry nothing a terminal would obey; one label names one place.
//
//   The file is --slots FILE when given (it must be there), else the user's
//   $XDG_CONFIG_HOME/Veltra/slots (~/.config when the variable is unset or
//   not an absolute path), else /etc/corvane/slots; a default that is not
//   there just means no labels.
//
// Threads: values and plain functions over the file system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

inline constexpr const char* kByPathFolder = "/dev/serial/by-path";
inline constexpr const char* kSystemSlotsFile = "/etc/corvane/slots";

struct SlotName {
    std::string label;  // "Slot 1"
    std::string name;   // a by-path name, or an fnmatch pattern
    int line = 0;       // where the file says so; mutate: equivalent (Parse sets it)
};

class CSlotMap {
public:
    static constexpr std::size_t kMaxFileBytes = 64 * 1024;
    static constexpr std::size_t kMaxLineBytes = 512;
    static constexpr std::size_t kMaxSlots = 256;
    static constexpr std::size_t kMaxLabelBytes = 24;

    // The slots of a file's text; false, with "line N: why" in error and
    // the map left empty, when a line is bad.
    bool Parse(std::string_view text, std::string& error);
    // Reads and parses a file; false with "FILE: why" or "FILE, line N: why".
    bool Read(const std::string& path, std::string& error);

    const std::vector<SlotName>& Slots() const { return m_slots; }
    bool Empty() const { return m_slots.empty(); }
    // The label of the first slot whose name equals or matches one of
    // these by-path names; "" when none does.
    std::string LabelOf(const std::vector<std::string>& byPathNames) const;
    // The label of a device by the links in folder; "" when none, without
    // looking at the folder when there are no slots.
    std::string LabelOfDevice(const std::string& device,
                              const std::string& folder = kByPathFolder) const;

private:
    std::vector<SlotName> m_slots;
};

// The names in folder of the links that resolve to device, in NaturalLess
// order (at most the first 1024 entries of the folder are looked at).
std::vector<std::string> ByPathNamesOf(const std::string& device,
                                       const std::string& folder = kByPathFolder);

// Every link in folder with the device it resolves to, in NaturalLess order
// of the names (bounded as above).
struct ByPathLink {
    std::string name;
    std::string device;
};
std::vector<ByPathLink> ByPathLinks(const std::string& folder = kByPathFolder);

// Runs of digits compare by their value, so usb-0:1.2 comes before
// usb-0:1.10: the order of a hub's ports.
bool NaturalLess(std::string_view a, std::string_view b);

// $XDG_CONFIG_HOME/Veltra/slots, with ~/.config when the variable is unset
// or not an absolute path.
std::string UserSlotsFile();

// The slots of `given` when not empty (a missing file is an error), else of
// the first of `defaults` that is there; none there leaves the map empty.
// `used` names the file read, "" when none. False with error as Read says.
bool LoadSlotMap(const std::string& given, const std::vector<std::string>& defaults, CSlotMap& map,
                 std::string& used, std::string& error);
// The same with the defaults UserSlotsFile() and kSystemSlotsFile.
bool LoadSlotMap(const std::string& given, CSlotMap& map, std::string& error);

}  // namespace bench
