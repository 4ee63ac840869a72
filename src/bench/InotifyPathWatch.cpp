#include "bench/InotifyPathWatch.h"

#include <fnmatch.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace bench {
namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::string Folder(const std::string& pattern) {
    const auto slash = pattern.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : pattern.substr(0, slash);
}

std::string Name(const std::string& pattern) {
    const auto slash = pattern.rfind('/');
    return slash == std::string::npos ? pattern : pattern.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool HasWildcard(const std::string& text) {
    return text.find_first_of("*?[") != std::string::npos;
}

}  // namespace

bool CInotifyPathWatch::Watchable(const std::string& pattern) {
    return !HasWildcard(Folder(pattern));
}

CInotifyPathWatch::CInotifyPathWatch(std::vector<std::string> patterns)
    : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    for (const auto& text : patterns) {
        m_patterns.push_back({Folder(text), Name(text), -1, {}});
    }
    for (auto& pattern : m_patterns) {
        Arm(pattern);
    }
    m_known = Matches();
}

CInotifyPathWatch::~CInotifyPathWatch() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

// Watches the folder, or while it does not exist, its nearest parent.
void CInotifyPathWatch::Arm(Pattern& pattern) {
    if (m_fd < 0) {
        return;
    }
    // A parent watched before stays (patterns may share it); its events are
    // told apart by their watch descriptor.
    pattern.wd = -1;
    std::filesystem::path at = pattern.folder;
    for (;;) {
        pattern.wd = ::inotify_add_watch(m_fd, at.c_str(), kFolderEvents);
        if (pattern.wd >= 0 || !at.has_parent_path() || at == at.parent_path()) {
            break;
        }
        at = at.parent_path();
    }
    pattern.watched = at.string();
}

std::set<std::string> CInotifyPathWatch::Matches() const {
    std::set<std::string> found;
    for (const auto& pattern : m_patterns) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(pattern.folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (::fnmatch(pattern.name.c_str(), name.c_str(), FNM_PERIOD) == 0) {
                found.insert(Join(pattern.folder, name));
            }
        }
    }
    return found;
}

std::vector<std::string> CInotifyPathWatch::Present() const {
    return {m_known.begin(), m_known.end()};
}

void CInotifyPathWatch::Note(const std::string& path, bool appeared,
                             std::vector<PathChange>& changes) {
    const bool known = m_known.count(path) != 0;
    if (appeared && !known) {
        m_known.insert(path);
        changes.push_back({path, true});
    } else if (!appeared && known) {
        m_known.erase(path);
        changes.push_back({path, false});
    }
}

// After the watch moved: whatever differs from what was known.
void CInotifyPathWatch::Rescan(std::vector<PathChange>& changes) {
    const std::set<std::string> now = Matches();
    for (const auto& path : std::set<std::string>(m_known)) {
        if (now.count(path) == 0) {
            Note(path, false, changes);
        }
    }
    for (const auto& path : now) {
        Note(path, true, changes);
    }
}

std::vector<PathChange> CInotifyPathWatch::Drain() {
    std::vector<PathChange> changes;
    alignas(inotify_event) char buffer[4096];
    bool rearm = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0) {
            break;  // EAGAIN: all read
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            for (auto& pattern : m_patterns) {
                if (event->wd != pattern.wd) {
                    continue;
                }
                if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0 ||
                    pattern.watched != pattern.folder) {
                    rearm = true;  // the folder went, or a parent changed
                    continue;
                }
                const std::string name = event->len > 0 ? event->name : "";
                if (name.empty() ||
                    ::fnmatch(pattern.name.c_str(), name.c_str(), FNM_PERIOD) != 0) {
                    continue;
                }
                const bool appeared = (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0;
                Note(Join(pattern.folder, name), appeared, changes);
            }
        }
    }
    if (rearm) {
        for (auto& pattern : m_patterns) {
            Arm(pattern);
        }
        Rescan(changes);
    }
    return changes;
}

}  // namespace bench
