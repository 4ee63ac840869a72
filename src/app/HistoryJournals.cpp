#include "app/HistoryJournals.h"

#include <charconv>
#include <cstdio>
#include <system_error>

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
    // Read as the C locale writes it, whatever the desktop's locale.
    const std::string stored = key.ReadValue(kCountName, "0");
    int count = 0;
    if (std::from_chars(stored.data(), stored.data() + stored.size(), count).ec != std::errc()) {
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
