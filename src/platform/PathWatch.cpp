#include "platform/PathWatch.h"

#include <dirent.h>
#include <fnmatch.h>
#include <glob.h>
#include <libudev.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// udevd leaves its control socket here while it runs; without it no device
// event would ever come.
constexpr const char* kUdevControl = "/run/udev/control";

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string Parent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool UnderDev(const std::string& folder) {
    return folder == "/dev" || folder.rfind("/dev/", 0) == 0;
}

bool AddToEpoll(int epoll, int fd) {
    epoll_event item{};
    item.events = EPOLLIN;
    item.data.fd = fd;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &item) == 0;
}

}  // namespace

CPathWatch::CPathWatch(std::string pattern) : m_pattern(std::move(pattern)) {}

CPathWatch::~CPathWatch() {
    if (m_monitor) {
        udev_monitor_unref(m_monitor);
    }
    if (m_udev) {
        udev_unref(m_udev);
    }
    if (m_inotify >= 0) {
        ::close(m_inotify);
    }
    if (m_epoll >= 0) {
        ::close(m_epoll);
    }
}

std::vector<std::string> CPathWatch::Matching(const std::string& pattern) {
    std::vector<std::string> paths;
    glob_t found{};
    if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i) {
            paths.emplace_back(found.gl_pathv[i]);
        }
    }
    ::globfree(&found);
    return paths;
}

bool CPathWatch::HasWildcard(const std::string& text) {
    return text.find_first_of("*?[") != std::string::npos;
}

bool CPathWatch::Start(std::string& error) {
    const std::size_t slash = m_pattern.find_last_of('/');
    if (m_pattern.empty() || m_pattern.front() != '/' || slash + 1 == m_pattern.size()) {
        error = "The pattern '" + m_pattern + "' is not an absolute path to a file.";
        return false;
    }
    m_folder = Parent(m_pattern);
    m_namePattern = m_pattern.substr(slash + 1);
    if (HasWildcard(m_folder)) {
        error = "Only the last part of the pattern '" + m_pattern + "' may hold wildcards.";
        return false;
    }
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        error = std::string("Cannot watch for devices: ") + std::strerror(errno) + ".";
        return false;
    }
    const bool deviceEvents =
        UnderDev(m_folder) && ::access(kUdevControl, F_OK) == 0 && StartDeviceEvents();
    if (!deviceEvents && !StartInotify(error)) {
        return false;
    }
    m_present = Scan();
    return true;
}

bool CPathWatch::StartDeviceEvents() {
    m_udev = udev_new();
    m_monitor = m_udev ? udev_monitor_new_from_netlink(m_udev, "udev") : nullptr;
    const bool ok =
        m_monitor &&
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr) == 0 &&
        udev_monitor_enable_receiving(m_monitor) == 0 &&
        AddToEpoll(m_epoll, udev_monitor_get_fd(m_monitor));
    if (!ok && m_monitor) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
    }
    return ok;
}

bool CPathWatch::StartInotify(std::string& error) {
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0 || !AddToEpoll(m_epoll, m_inotify)) {
        error = std::string("Cannot watch ") + m_folder + ": " + std::strerror(errno) + ".";
        return false;
    }
    ArmFolderWatch();
    if (m_folderWatch < 0) {
        error = std::string("Cannot watch ") + m_folder + ": " + std::strerror(errno) + ".";
        return false;
    }
    return true;
}

// Watches the pattern's folder, or the nearest existing folder above it
// until the folder exists.
void CPathWatch::ArmFolderWatch() {
    std::string target = m_folder;
    while (target != "/" && !IsFolder(target)) {
        target = Parent(target);
    }
    if (m_folderWatch >= 0 && target == m_watchedFolder) {
        return;
    }
    if (m_folderWatch >= 0) {
        ::inotify_rm_watch(m_inotify, m_folderWatch);
    }
    std::uint32_t mask = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (target == m_folder) {
        mask |= IN_DELETE | IN_MOVED_FROM;
    }
    m_folderWatch = ::inotify_add_watch(m_inotify, target.c_str(), mask);
    m_watchedFolder = m_folderWatch >= 0 ? target : std::string();
}

bool CPathWatch::Matches(const std::string& name) const {
    return ::fnmatch(m_namePattern.c_str(), name.c_str(), FNM_PERIOD) == 0;
}

std::set<std::string> CPathWatch::Scan() const {
    std::set<std::string> found;
    DIR* dir = ::opendir(m_folder.c_str());
    if (!dir) {
        return found;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && Matches(name)) {
            found.insert(Join(m_folder, name));
        }
    }
    ::closedir(dir);
    return found;
}

void CPathWatch::Note(PathEvent::Kind kind, const std::string& path,
                      std::vector<PathEvent>& events) {
    const bool changed = kind == PathEvent::Kind::Appeared ? m_present.insert(path).second
                                                           : m_present.erase(path) > 0;
    if (changed) {
        events.push_back({kind, path});
    }
}

void CPathWatch::Rescan(std::vector<PathEvent>& events) {
    const std::set<std::string> now = Scan();
    const std::set<std::string> before = m_present;
    for (const auto& path : before) {
        if (!now.count(path)) {
            Note(PathEvent::Kind::Gone, path, events);
        }
    }
    for (const auto& path : now) {
        Note(PathEvent::Kind::Appeared, path, events);
    }
}

// Takes the folder's events name by name; returns true when the folder itself
// changed (created, removed, moved, or the queue overflowed), which calls for
// a fresh look.
bool CPathWatch::DrainInotify(std::vector<PathEvent>& events) {
    bool rescan = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(m_inotify, buffer, sizeof buffer);
        if (got <= 0) {
            return rescan;
        }
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            at += static_cast<ssize_t>(sizeof event + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                rescan = true;
            } else if (event.wd != m_folderWatch) {
                continue;  // a watch given up earlier
            } else if (m_watchedFolder != m_folder ||
                       (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))) {
                rescan = true;
                if (event.mask & IN_IGNORED) {
                    m_folderWatch = -1;
                }
            } else if (event.len > 0 && Matches(name)) {
                const bool appeared = event.mask & (IN_CREATE | IN_MOVED_TO);
                Note(appeared ? PathEvent::Kind::Appeared : PathEvent::Kind::Gone,
                     Join(m_folder, name), events);
            }
        }
    }
}

bool CPathWatch::DrainDeviceEvents() {
    bool any = false;
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        udev_device_unref(device);
        any = true;
    }
    return any;
}

std::vector<PathEvent> CPathWatch::Drain() {
    std::vector<PathEvent> events;
    bool rescan = false;
    if (m_inotify >= 0 && DrainInotify(events)) {
        ArmFolderWatch();
        rescan = true;
    }
    if (m_monitor && DrainDeviceEvents()) {
        rescan = true;
    }
    if (rescan) {
        Rescan(events);
    }
    return events;
}

std::vector<std::string> CPathWatch::Present() const {
    return {m_present.begin(), m_present.end()};
}

}  // namespace platform
