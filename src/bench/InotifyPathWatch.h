// Inotify path watch: the IPathWatch of links and files in one folder.
//
// Principles of operation
//   The pattern's folder is watched with inotify for entries created,
//   deleted or moved in and out; their names are matched with fnmatch
//   against the pattern's last part. udev makes the /dev/serial/by-id links
//   only once a device is ready for its users, and a simulated bench makes
//   its links itself, so a link's arrival means its charger can be opened.
//
//   A folder that does not exist yet (no adapter plugged in at all), or that
//   goes away, is waited for through its nearest existing parent; when the
//   watch moves, the folder is read again and the difference reported.
//   Several watches share one descriptor through CPathWatches.
//
// Threads: one owner thread.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/PathWatch.h"

namespace bench {

class CInotifyPathWatch : public IPathWatch {
public:
    explicit CInotifyPathWatch(std::vector<std::string> patterns);
    ~CInotifyPathWatch() override;
    CInotifyPathWatch(const CInotifyPathWatch&) = delete;
    CInotifyPathWatch& operator=(const CInotifyPathWatch&) = delete;

    int Fd() const override { return m_fd; }
    std::vector<std::string> Present() const override;
    std::vector<PathChange> Drain() override;

    // True when the pattern has wildcards only in its last part.
    static bool Watchable(const std::string& pattern);

private:
    struct Pattern {
        std::string folder;   // where matches live
        std::string name;     // the glob of their names
        int wd = -1;          // watch descriptor
        std::string watched;  // the folder watched (folder, or a parent)
    };

    void Arm(Pattern& pattern);
    void Rescan(std::vector<PathChange>& changes);
    std::set<std::string> Matches() const;
    void Note(const std::string& path, bool appeared, std::vector<PathChange>& changes);

    int m_fd = -1;
    std::vector<Pattern> m_patterns;
    std::set<std::string> m_known;
};

}  // namespace bench
