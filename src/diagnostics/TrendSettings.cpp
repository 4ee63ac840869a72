#include "diagnostics/TrendSettings.h"

#include <cstdio>
#include <sstream>
#include <string>

#include "diagnostics/ChargerVariables.h"
#include "support/SettingsKey.h"

namespace {

constexpr const char* kAbsent = "\x01";

CSettingsKey OpenSettings() {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    return key;
}

}  // namespace

TrendChoice CTrendSettings::Load(const TrendChoice& defaults) {
    const CSettingsKey key = OpenSettings();
    TrendChoice choice = defaults;
    const std::string rows = key.ReadValue(kValuesName, kAbsent);
    if (rows != kAbsent) {
        choice.rows.clear();
        std::istringstream fields(rows);
        for (std::string field; std::getline(fields, field, ',');) {
            int row = -1;
            if (std::sscanf(field.c_str(), "%d", &row) == 1 && row >= 0 && row < kVariableRows) {
                choice.rows.push_back(row);
            }
        }
    }
    int seconds = 0;
    if (std::sscanf(key.ReadValue(kSpanName, "").c_str(), "%d", &seconds) == 1 && seconds > 0) {
        choice.spanSeconds = seconds;
    }
    return choice;
}

void CTrendSettings::Save(const TrendChoice& choice) {
    std::string rows;
    for (const int row : choice.rows) {
        rows += (rows.empty() ? "" : ",") + std::to_string(row);
    }
    CSettingsKey key = OpenSettings();
    // Not remembered is no reason to bother the user: the window goes on.
    key.WriteValue(kValuesName, rows);
    key.WriteValue(kSpanName, std::to_string(choice.spanSeconds));
}
