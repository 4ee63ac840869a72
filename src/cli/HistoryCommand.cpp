// history: the service records of this PC's journals (or of --file), newest
// first, as a table with a summary, as JSON lines or as CSV.
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "cli/Commands.h"
#include "cli/HistoryTable.h"
#include "cli/Interrupt.h"
#include "records/HistoryCsv.h"
#include "records/HistoryReader.h"
#include "records/HistoryTally.h"
#include "support/SessionLog.h"

namespace {

constexpr int kFlushEvery = 256;  // rows; also how often a closed output is noticed

records::HistoryFilter FilterOf(const CliOptions& o) {
    records::HistoryFilter filter;
    filter.deviceId = o.historyDevice;
    filter.port = o.historyPort.empty() ? o.port : o.historyPort;
    filter.outcomes = o.outcomes;
    filter.slot = o.historySlot;
    std::int64_t since = 0;
    if (!o.since.empty() && records::ParseSince(o.since, std::time(nullptr), since)) {
        filter.since = since;
    }
    return filter;
}

// Opens the journals; a named one that cannot be read is a file error, but
// the others are still listed.
int OpenJournals(const CliOptions& o, records::CHistoryReader& reader) {
    const bool named = !o.historyFiles.empty();
    const std::vector<std::string> paths = named ? o.historyFiles : records::LocalJournals();
    if (paths.empty()) {
        std::fprintf(stderr, "No records yet: %s holds no journal.\n", StateFilePath("").c_str());
    }
    int code = kExitOk;
    for (const std::string& path : paths) {
        std::string error;
        if (!reader.AddFile(path, error) && !Interrupted()) {  // a stopped pipe is no fault
            std::fprintf(stderr, "corvane-cli: cannot read %s\n", error.c_str());
            code = kExitFile;
        }
    }
    return code;
}

// Standard output for the listing. Rows are appended to Buffer() and
// written out in pieces of many rows. A reader that has had enough closes
// its end (`history | head -1`), and that ends a listing quietly; any other
// failed write (a full disk) fails the run as for every command.
class CListing {
public:
    static constexpr std::size_t kPiece = 64 * 1024;  // bytes written at once, at most a row more

    std::string& Buffer() { return m_buffer; }
    bool Full() const { return m_buffer.size() >= kPiece; }
    // By its length: a journal's text may hold a NUL, which would end a C
    // string there and glue the next row onto what is left of this one.
    void Flush() {
        if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout) != m_buffer.size()) {
            Failed(errno);  // mutate: equivalent (the flush fails too; this stops sooner)
        }
        m_buffer.clear();
        if (std::fflush(stdout) != 0) {
            Failed(errno);
        }
    }
    bool ReaderGone() const { return m_readerGone; }

private:
    // glibc has dropped what it could not write, so once the error is
    // cleared no later flush fails on the closed pipe.
    void Failed(int error) {
        if (error == EPIPE) {
            m_readerGone = true;  // mutate: equivalent (it only stops the reading sooner)
            std::clearerr(stdout);
        } else {
            // Records it, with its errno, for the exit code and the message.
            FlushOut();  // mutate: equivalent (main's last flush records it too, only later)
        }
    }

    std::string m_buffer;
    bool m_readerGone = false;
};

}  // namespace

int RunHistory(const CliOptions& options) {
    // Ctrl-C, SIGTERM and SIGHUP end even the read of a huge journal.
    records::CHistoryReader reader(FilterOf(options), [] { return Interrupted(); });
    int code = OpenJournals(options, reader);
    const bool table = !options.json && !options.csv;
    const CHistoryTable layout(StdoutColumns());
    CListing out;
    std::string& rows = out.Buffer();
    rows += options.csv ? records::CsvHeader() : table ? layout.Header() : "";
    records::CHistoryTally tally;
    const records::ServiceRecord* record = nullptr;
    for (long long n = 1; !Interrupted() && !out.ReaderGone() && (record = reader.Next()); ++n) {
        tally.Add(*record);
        if (options.csv) {
            records::AppendCsvRow(*record, rows);
        } else if (options.json) {
            rows += records::ServiceRecordLine(*record);
            rows += '\n';
        } else {
            layout.AppendRow(*record, rows);
        }
        // This sets when rows reach the reader, not which; the memory it
        // bounds is bench_history's to judge.
        if (n % kFlushEvery == 0 || out.Full()) {  // mutate: equivalent (timing only)
            out.Flush();  // mutate: equivalent (when rows reach the reader, not which)
        }
    }
    tally.SetDamagedLines(reader.DamagedLines());
    // The summary belongs under the table; a file for a program gets only
    // its rows, and what was skipped is said on standard error.
    // A stopped listing is not all of it: no summary counts it as if it were.
    if (table && StopSignal() == 0) {
        rows += tally.Summary() + "\n";
    } else if (reader.DamagedLines() > 0) {
        std::fprintf(stderr, "corvane-cli: %lld damaged line(s) skipped.\n", reader.DamagedLines());
    }
    out.Flush();
    for (const std::string& problem : reader.Problems()) {
        std::fprintf(stderr, "corvane-cli: cannot read %s\n", problem.c_str());
        code = kExitFile;
    }
    return StopExitCode(code);
}
