// Path watch: tells when paths matching a pattern appear and disappear.
//
// Principles of operation
//   A bench serves whatever charger is plugged in under a pattern such as
//   /dev/serial/by-id/usb-FTDI_*, /dev/ttyUSB* or, for simulated chargers,
//   DIR/charger-*. Only the last part of the pattern may hold wildcards
//   (fnmatch: * ? [...]); a pattern without any watches one path.
//
//   Nothing polls. Two sources of wake-ups sit in one epoll set, whose
//   descriptor (Fd) the owner waits on (poll, a QSocketNotifier):
//     - udev's device events (subsystem tty) for folders under /dev while
//       udevd runs: udev announces a device once its rules have run, so its
//       node has its group and permissions and its by-id links exist. Each
//       event makes the watch read the folder again and compare.
//     - inotify on the pattern's folder for everything else (links made by
//       a simulator, and /dev on a machine without udevd). Its events are
//       taken name by name, in order. While the folder does not exist, the
//       nearest existing folder above it is watched and the watch moves down
//       as folders are created.
//   Drain reads whatever is pending and returns what changed as Appeared and
//   Gone events, each path reported once per change; Present is the set of
//   matching paths as of the last Drain (or Start).
//
// Threads: one owner thread calls everything; the descriptor may be waited on
// by that thread only.
#pragma once

#include <set>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace platform {

struct PathEvent {
    enum class Kind { Appeared, Gone };
    Kind kind;
    std::string path;
    bool operator==(const PathEvent&) const = default;
};

class CPathWatch {
public:
    explicit CPathWatch(std::string pattern);
    ~CPathWatch();
    CPathWatch(const CPathWatch&) = delete;
    CPathWatch& operator=(const CPathWatch&) = delete;

    // False with a reason when the pattern is unusable or the system refuses
    // the watch.
    bool Start(std::string& error);
    // Readable when Drain has something to read; -1 before Start.
    int Fd() const { return m_epoll; }
    std::vector<PathEvent> Drain();
    std::vector<std::string> Present() const;
    const std::string& Pattern() const { return m_pattern; }
    // Whether udev device events drive this watch (otherwise inotify does).
    bool UsesDeviceEvents() const { return m_monitor != nullptr; }

    // True when text holds a wildcard of fnmatch.
    static bool HasWildcard(const std::string& text);
    // The paths a pattern matches now, in order (glob).
    static std::vector<std::string> Matching(const std::string& pattern);

private:
    bool StartDeviceEvents();
    bool StartInotify(std::string& error);
    void ArmFolderWatch();
    bool Matches(const std::string& name) const;
    std::set<std::string> Scan() const;
    void Note(PathEvent::Kind kind, const std::string& path, std::vector<PathEvent>& events);
    void Rescan(std::vector<PathEvent>& events);
    bool DrainInotify(std::vector<PathEvent>& events);
    bool DrainDeviceEvents();

    std::string m_pattern;
    std::string m_folder;
    std::string m_namePattern;
    std::set<std::string> m_present;
    int m_epoll = -1;
    int m_inotify = -1;
    int m_folderWatch = -1;
    std::string m_watchedFolder;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
};

}  // namespace platform
