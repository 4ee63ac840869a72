// Charger variables: the sixteen values of one variable-report line.
//
// Principles of operation
//   The charger's variable report is a line of at least 17 comma-separated
//   fields. ParseVariables converts sixteen of the first seventeen (field 14
//   is not used) with the C library's rules: atoi for decimal fields, sscanf
//   "%x" for hexadecimal ones (which keeps the old value when no hexadecimal
//   number is there) and atof for floating ones. FormatVariables gives the
//   sixteen rows, label and text, exactly as the monitor shows them. The
//   window and the command line both print through these. Both work in the
//   C locale whatever the process's locale is. VariableValue gives a row as
//   a number, for the trend chart.
//
// Threads: plain functions on a caller-owned record.
#pragma once

#include <array>
#include <string>

struct ChargerVariables {
    int batteryPresent = 0;
    int radioDetected = 0;
    int chargePhase = 0;
    int systemState = 0;
    int trimPotPosition = 0;
    int batteryTemp = 0;
    double averageTemp = 0.0;
    int gasGauge = 0;
    int nac = 0;
    double vsb = 0.0;
    double averageVsb = 0.0;
    int chargeTime = 0;
    double chargerTemp = 0.0;
    double chargeCurrent = 0.0;
    double batteryVoltage = 0.0;
    double supplyVoltage = 0.0;
};

constexpr int kVariableRows = 16;
constexpr int kVariableFields = 17;

struct VariableRow {
    const char* label;
    std::string text;
};

// Sets all sixteen values to zero.
void ResetVariables(ChargerVariables& vars);
// Splits a NUL-terminated line on commas and stores the values when it has
// at least 17 fields; returns whether it did.
bool ParseVariables(const char* line, ChargerVariables& vars);
// The sixteen rows in display order.
std::array<VariableRow, kVariableRows> FormatVariables(const ChargerVariables& vars);
// The label of row 0..15, in display order.
const char* VariableLabel(int row);
// Row 0..15 as a number: true and CV count as 1, false and CC as 0.
double VariableValue(const ChargerVariables& vars, int row);
