#include "app/HistoryJournals.h"

#include <cstdio>

#include "support/SettingsKey.h"

namespace {

CSettingsKey OpenSettings() {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    return key;
}

std::string PathName(int number) {
    return CHistoryJournals::kPathName + std::to_string(number);
}

}  // namespace

std::vector<std::string> CHistoryJournals::Load() {
    const CSettingsKey key = OpenSettings();
    int count = 0;
    if (std::sscanf(key.ReadValue(kCountName, "0").c_str(), "%d", &count) != 1) {
        count = 0;
    }
    std::vector<std::string> paths;
    for (int number = 1; number <= count && number <= kMaxJournals; ++number) {
        const std::string path = key.ReadValue(PathName(number).c_str(), "");
        if (!path.empty()) {
            paths.push_back(path);
        }
    }
    return paths;
}

void CHistoryJournals::Save(const std::vector<std::string>& paths) {
    CSettingsKey key = OpenSettings();
    int count = 0;
    for (const std::string& path : paths) {
        if (count < kMaxJournals && path.size() < CSettingsKey::kValueLimit) {
            key.WriteValue(PathName(++count).c_str(), path);
        }
    }
    key.WriteValue(kCountName, std::to_string(count));
}
