// History journals: the journals added to the History window, remembered
// for the next time it opens.
//
// Principles of operation
//   Journals gathered from other bench PCs are added once and read each
//   time. They are kept in the settings key beside the window's other
//   settings: "HistoryJournals" holds how many, "HistoryJournal1" and on
//   each one's path, one value each since a value holds at most 1023 bytes
//   (a longer path is not remembered). At most kMaxJournals; a count that
//   is unreadable reads as none. Saving is best effort, like the other
//   remembered settings: not remembered is no reason to stop the window.
//
// Threads: the user-interface thread.
#pragma once

#include <string>
#include <vector>

class CHistoryJournals {
public:
    static constexpr int kMaxJournals = 64;
    static constexpr const char* kCountName = "HistoryJournals";
    static constexpr const char* kPathName = "HistoryJournal";  // + 1, 2, ...

    static std::vector<std::string> Load();
    static void Save(const std::vector<std::string>& paths);
};
