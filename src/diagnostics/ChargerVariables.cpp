#include "diagnostics/ChargerVariables.h"

#include <locale.h>

#include <cstdio>
#include <cstdlib>

#include "support/FieldSplitter.h"

namespace {

// Report lines and everything made from them use the C locale, whatever the
// desktop's: under a comma-decimal locale atof would stop at the point and
// "%.2f" would write a comma. The switch is per thread and undone on exit.
class CCLocaleScope {
public:
    CCLocaleScope() : m_previous(::uselocale(CLocale())) {}
    ~CCLocaleScope() { ::uselocale(m_previous); }
    CCLocaleScope(const CCLocaleScope&) = delete;
    CCLocaleScope& operator=(const CCLocaleScope&) = delete;

private:
    static locale_t CLocale() {
        // Never freed: it serves every call for the life of the process.
        static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t{});
        return c;
    }
    locale_t m_previous;
};

// sscanf "%x" stores nothing when the text holds no hexadecimal number; the
// value then stays what it was.
void ScanHex(const char* text, int& value) {
    unsigned int scanned = 0;
    if (std::sscanf(text, "%x", &scanned) == 1) {
        value = static_cast<int>(scanned);
    }
}

void StoreFields(char** fields, ChargerVariables& vars) {
    vars.batteryPresent = std::atoi(fields[0]);
    vars.radioDetected = std::atoi(fields[1]);
    vars.chargePhase = std::atoi(fields[2]);
    ScanHex(fields[3], vars.systemState);
    ScanHex(fields[4], vars.trimPotPosition);
    vars.batteryTemp = std::atoi(fields[5]);
    vars.averageTemp = std::atof(fields[6]);
    ScanHex(fields[7], vars.gasGauge);
    ScanHex(fields[8], vars.nac);
    vars.vsb = std::atof(fields[9]);
    vars.averageVsb = std::atof(fields[10]);
    vars.chargeTime = std::atoi(fields[11]);
    vars.chargerTemp = std::atof(fields[12]);
    vars.chargeCurrent = std::atof(fields[13]);
    // Field 14 carries nothing the monitor shows.
    vars.batteryVoltage = std::atof(fields[15]);
    vars.supplyVoltage = std::atof(fields[16]);
}

// Large enough for any double in "%.2f", like the monitor's 1024-byte drawing buffer.
using TextBuffer = char[1024];

std::string Decimal(int value) {
    TextBuffer buffer;
    std::snprintf(buffer, sizeof buffer, "%d", value);
    return buffer;
}

std::string Fixed2(double value) {
    TextBuffer buffer;
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

std::string Hex(int value) {
    TextBuffer buffer;
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
    return buffer;
}

std::string Hex4(int value) {
    TextBuffer buffer;
    std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(value));
    return buffer;
}

const char* TrueFalse(int value) {
    return value != 0 ? "true" : "false";
}

}  // namespace

void ResetVariables(ChargerVariables& vars) {
    vars = ChargerVariables{};
}

bool ParseVariables(const char* line, ChargerVariables& vars) {
    const CCLocaleScope cLocale;
    char** fields = SplitFields(line, ",", 0);
    // No memory for the split counts as a line without fields.
    const bool complete = CountFields(fields) >= kVariableFields;
    if (complete) {
        StoreFields(fields, vars);
    }
    FreeFields(fields);
    return complete;
}

std::array<VariableRow, kVariableRows> FormatVariables(const ChargerVariables& vars) {
    const CCLocaleScope cLocale;
    return {{
        {"Batt Present", TrueFalse(vars.batteryPresent)},
        {"Radio Detected", TrueFalse(vars.radioDetected)},
        {"Charge Phase (CV/CC)", vars.chargePhase != 0 ? "CV" : "CC"},
        {"System State", Decimal(vars.systemState)},
        {"Trim Pot Pos", Decimal(vars.trimPotPosition)},
        {"Battery Temp", Decimal(vars.batteryTemp)},
        {"Average Temp", Fixed2(vars.averageTemp)},
        {"Gas Gauge", Hex(vars.gasGauge)},
        {"NAC", Hex4(vars.nac)},
        {"VSB", Fixed2(vars.vsb)},
        {"Average VSB", Fixed2(vars.averageVsb)},
        {"Charge Time", Decimal(vars.chargeTime)},
        {"Charger Temp", Fixed2(vars.chargerTemp)},
        {"Charge Current", Fixed2(vars.chargeCurrent)},
        {"Battery Voltage", Fixed2(vars.batteryVoltage)},
        {"Supply Voltage", Fixed2(vars.supplyVoltage)},
    }};
}

const char* VariableLabel(int row) {
    static const auto labels = FormatVariables(ChargerVariables{});
    return labels.at(static_cast<std::size_t>(row)).label;
}

double VariableValue(const ChargerVariables& vars, int row) {
    const auto number = [](int value) { return static_cast<double>(value); };
    const double values[kVariableRows] = {
        vars.batteryPresent != 0 ? 1.0 : 0.0,
        vars.radioDetected != 0 ? 1.0 : 0.0,
        vars.chargePhase != 0 ? 1.0 : 0.0,
        number(vars.systemState),
        number(vars.trimPotPosition),
        number(vars.batteryTemp),
        vars.averageTemp,
        number(vars.gasGauge),
        number(vars.nac),
        vars.vsb,
        vars.averageVsb,
        number(vars.chargeTime),
        vars.chargerTemp,
        vars.chargeCurrent,
        vars.batteryVoltage,
        vars.supplyVoltage,
    };
    return values[static_cast<std::size_t>(row)];
}
