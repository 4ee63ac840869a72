// Report recorder: the file that keeps every report the monitor takes.
//
// Principles of operation
//   The command line's monitor --record and the trends window's Record both
//   write through this class, so their files are alike. The format follows
//   the file's name: a name ending in ".jsonl" gives one JSON object a line,
//   anything else CSV. The CSV file starts with a header row ("Time" and the
//   sixteen labels, written only when the file is empty, so a second run
//   appends under the first run's header); each report is a row of its ISO
//   8601 time stamp and the sixteen values exactly as the monitor shows them.
//   A lost link and its return are rows of their own: the time stamp, then
//   "link lost" or "link back" under the first label, the other columns
//   empty, so the gap is plain to a reader and a blank to a plotting tool.
//   A JSON line holds "time" and the sixteen labelled values as texts, or
//   "time" and "event".
//
//   The file is opened for appending and every line goes out with one
//   write(2) as it is made: no buffer in this process, so a killed program
//   loses nothing. Sync hands what was written to the disk (fdatasync); the
//   callers do that once a refresh and at every gap line, so a power loss
//   costs at most about a second. Texts are built in the C locale.
//
// Threads: one owner thread; no locks.
#pragma once

#include <string>

#include "diagnostics/ChargerVariables.h"
#include "diagnostics/WallTime.h"

class CReportRecorder {
public:
    enum class Format { Csv, JsonLines };

    CReportRecorder() = default;
    ~CReportRecorder();
    CReportRecorder(const CReportRecorder&) = delete;
    CReportRecorder& operator=(const CReportRecorder&) = delete;

    // The format a file name asks for.
    static Format FormatFor(const std::string& path);

    // Opens (creating it when needed) for appending; false with the system's
    // reason in Error().
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    Format FileFormat() const { return m_format; }

    // Each writes one line; false with the reason in Error() when it could
    // not be written whole.
    bool Record(WallTimePoint when, const ChargerVariables& vars);
    bool LinkLost(WallTimePoint when);
    bool LinkBack(WallTimePoint when);
    // Hands what was written to the disk.
    bool Sync();

    const std::string& Error() const { return m_error; }
    // The lines as they would be written (without the line end), for callers
    // that show them and for tests.
    std::string HeaderLine() const;
    std::string ReportLine(WallTimePoint when, const ChargerVariables& vars) const;
    std::string EventLine(WallTimePoint when, const char* event) const;

private:
    bool WriteLine(const std::string& line);
    bool Fail(const std::string& what);

    int m_fd = -1;
    std::string m_path;
    Format m_format = Format::Csv;
    std::string m_error;
};
