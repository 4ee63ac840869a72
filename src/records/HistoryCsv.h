// History CSV: service records as a spreadsheet-ready file.
//
// Principles of operation
//   One header row, then one row per record, fields in the order of the
//   header, rows ended by CR LF as RFC 4180 asks. A column added later (the
//   bench slot's label) comes last, so the others keep their places. A
//   field with a comma, a quote or a line break is quoted. A text field a
//   spreadsheet would take for a formula (it starts with =, +, -, @, tab or
//   CR and is no number; a charger's device ID is whatever the charger sent)
//   gets a leading apostrophe. Control characters other than tab and line breaks are
//   written as escapes (see SafeText.h), so a cell holds nothing a terminal
//   showing the file would obey. Numbers are written in the C locale. Used
//   by corvane-cli history --csv and the window's Export CSV.
//
// Threads: pure functions.
#pragma once

#include <string>

#include "records/ServiceRecord.h"

namespace records {

// The header row with its line end.
std::string CsvHeader();
// The record's row with its line end.
std::string CsvRow(const ServiceRecord& record);
// The same, appended to `out` (a listing's buffer).
void AppendCsvRow(const ServiceRecord& record, std::string& out);

}  // namespace records
