// Device link: the --link symbolic link to the simulator's device.
//
// Principles of operation
//   A fixed path (say /tmp/charger) is easier to give the utility than the
//   pseudo-terminal's changing name. Create makes the link; a stale symbolic
//   link at that path is replaced, anything else there is left alone and
//   reported. The destructor removes the link it made, and only while it
//   still points at the device, so a newer simulator's link survives.
//
// Threads: main thread only.
#pragma once

#include <string>

namespace sim {

class CDeviceLink {
public:
    CDeviceLink() = default;
    ~CDeviceLink();
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;

    // False with the reason in error.
    bool Create(const std::string& linkPath, const std::string& target, std::string& error);
    void Remove();

private:
    std::string m_path;
    std::string m_target;
};

}  // namespace sim
