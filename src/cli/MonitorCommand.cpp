// Monitor: the sixteen charger variables once a second, optionally recorded
// to a file, across unplugging and plugging in the adapter.
//
// Principles of operation
//   The report feed takes the charger's lines every 100 ms, so a charger that
//   reports many times a second never fills the port's ring; every report is
//   recorded as it is taken, and once a second the newest one is printed (a
//   refresh). A heading note says when the values are not fresh. When the
//   adapter goes away the monitor says so on standard error, writes the gap
//   into the record and waits for the device to come back; refreshes go on
//   counting meanwhile, so --count N always ends after N of them. With --json
//   every refresh is one object on its own line, printed as it happens, and a
//   last object sums the run up.
//
//   Exit codes: 0 when a report was read, 1 when lines came but none could be
//   read, 4 when none came at all, 3 when the port did not open, 5 when the
//   record or standard output could not be written, 130 on Ctrl-C (128 + the
//   signal for SIGTERM and SIGHUP).
//
// Threads: the main thread; the port's workers run beside it.
#include <cstdio>
#include <string>

#include "cli/CliClock.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "diagnostics/ChargerVariables.h"
#include "diagnostics/ReportFeed.h"
#include "diagnostics/ReportNotice.h"
#include "diagnostics/ReportRecorder.h"
#include "diagnostics/WallTime.h"
#include "serial/PortDiagnosis.h"
#include "serial/SerialPort.h"

namespace {

// A line that cannot be written (`monitor | head -3`) is a stop request.
void PrintLine(const std::string& text) {
    PrintOut("%s\n", text.c_str());
}

void Say(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

CJson RowsJson(const ChargerVariables& vars) {
    CJson rows = CJson::Object();
    for (const auto& row : FormatVariables(vars)) {
        rows.Add(row.label, CJson::String(row.text));
    }
    return rows;
}

class CMonitorRun {
public:
    CMonitorRun(const CliOptions& options, const PortChoice& port)
        : m_options(options), m_port(port), m_feed(m_serial, m_clock) {
        if (options.verbose) {
            InstallByteTrace(m_serial);
        }
        m_serial.SetPortName(port.device);
        m_feed.SetHandlers({[this](const ChargerVariables& vars) { OnReport(vars); },
                            [this] { OnLost(); }, [this] { OnBack(); }});
    }

    int Run() {
        if (!m_options.record.empty() && !m_recorder.Open(m_options.record)) {
            Say("corvane-cli: " + m_recorder.Error());
            return Summary(kExitFile);
        }
        if (!m_feed.Start(m_port.device)) {
            m_feed.Stop();
            Say(DiagnosePort(m_port.device).message);
            return Summary(kExitPortOpen);
        }
        Loop();
        m_feed.Stop();
        return Summary(ExitCode());
    }

private:
    void Loop() {
        const std::uint32_t start = m_clock.NowMs();
        for (int refresh = 1; m_options.count == 0 || refresh <= m_options.count; ++refresh) {
            const std::uint32_t due =
                start + static_cast<std::uint32_t>(refresh) *
                            static_cast<std::uint32_t>(CVariableReport::kTickMs);
            for (std::uint32_t now = m_clock.NowMs(); Before(now, due); now = m_clock.NowMs()) {
                m_clock.SleepMs(std::min(CReportFeed::kPollMs, due - now));
                if (Interrupted() || m_recordFailed) {
                    return;
                }
                m_feed.Poll();
            }
            Refresh(refresh);
        }
    }

    static bool Before(std::uint32_t now, std::uint32_t due) {
        return static_cast<std::int32_t>(now - due) < 0;
    }

    void Refresh(int refresh) {
        m_refreshes = refresh;
        const bool up = m_feed.State() == CReportFeed::Link::Up;
        const std::string notice =
            up ? m_notice.Text(m_clock.NowMs()) : "Link lost; waiting for " + m_port.device;
        if (m_options.json) {
            CJson object = CJson::Object();
            object.Add("command", CJson::String("monitor"))
                .Add("refresh", CJson::Number(refresh))
                .Add("time", CJson::String(IsoTimestamp(SystemWallTime())))
                .Add("link", CJson::String(up ? "up" : "lost"))
                .Add("notice", notice.empty() ? CJson::Null() : CJson::String(notice))
                .Add("values", RowsJson(m_feed.Variables()));
            PrintLine(object.Dump());
        } else {
            std::string text = "-- refresh " + std::to_string(refresh);
            if (!notice.empty()) {
                text += " (" + notice + ")";
            }
            for (const auto& row : FormatVariables(m_feed.Variables())) {
                char line[256];
                std::snprintf(line, sizeof line, "\n  %-22s %s", row.label, row.text.c_str());
                text += line;
            }
            PrintLine(text);
        }
        if (m_recorder.IsOpen() && !m_recorder.Sync()) {
            RecordFailed();
        }
    }

    void OnReport(const ChargerVariables& vars) {
        const WallTimePoint now = SystemWallTime();
        m_notice.OnReport(m_clock.NowMs(), now);
        if (m_recorder.IsOpen() && !m_recorder.Record(now, vars)) {
            RecordFailed();
        }
    }

    void OnLost() {
        const WallTimePoint now = SystemWallTime();
        ++m_linksLost;
        Say("The link to " + m_port.device + " was lost at " + ClockTime(now) +
            "; waiting for it to come back.");
        if (m_recorder.IsOpen() && !m_recorder.LinkLost(now)) {
            RecordFailed();
        }
    }

    void OnBack() {
        const WallTimePoint now = SystemWallTime();
        Say("The link to " + m_port.device + " is back at " + ClockTime(now) +
            "; asked for the report again.");
        if (m_recorder.IsOpen() && !m_recorder.LinkBack(now)) {
            RecordFailed();
        }
    }

    void RecordFailed() {
        if (!m_recordFailed) {
            Say("corvane-cli: " + m_recorder.Error());
        }
        m_recordFailed = true;
    }

    int ExitCode() const {
        if (Interrupted()) {
            return StopExitCode(kExitInterrupted);  // 128 + signal, or 5 for output
        }
        if (m_recordFailed) {
            return kExitFile;
        }
        if (m_feed.LinesReceived() == 0) {
            return kExitNoCharger;
        }
        return m_feed.ReportsRead() > 0 ? kExitOk : kExitFailed;
    }

    int Summary(int code) const {
        if (m_options.json) {
            CJson result = CJson::Object();
            result.Add("command", CJson::String("monitor"))
                .Add("port", CJson::String(m_port.name))
                .Add("device", CJson::String(m_port.device))
                .Add("record",
                     m_options.record.empty() ? CJson::Null() : CJson::String(m_options.record))
                .Add("refreshes", CJson::Number(m_refreshes))
                .Add("linesReceived", CJson::Number(m_feed.LinesReceived()))
                .Add("reportsRead", CJson::Number(m_feed.ReportsRead()))
                .Add("linksLost", CJson::Number(m_linksLost))
                .Add("verdict", CJson::String(ExitVerdict(code)))
                .Add("exitCode", CJson::Number(code));
            PrintLine(result.Dump());
        }
        return code;
    }

    const CliOptions& m_options;
    const PortChoice& m_port;
    CCliClock m_clock;
    CSerialPort m_serial;
    CReportFeed m_feed;
    CReportNotice m_notice;
    CReportRecorder m_recorder;
    int m_refreshes = 0;
    int m_linksLost = 0;
    bool m_recordFailed = false;
};

}  // namespace

int RunMonitor(const CliOptions& options, const PortChoice& port) {
    CMonitorRun run(options, port);
    return run.Run();
}
