#include "diagnostics/ReportRecorder.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/JsonQuote.h"

namespace {

const char* const kTimeColumn = "Time";

// The system's reason in US English, whatever the desktop's language.
std::string SystemReason(int code) {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return c != locale_t{} ? ::strerror_l(code, c) : std::strerror(code);
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

CReportRecorder::~CReportRecorder() {
    Close();
}

CReportRecorder::Format CReportRecorder::FormatFor(const std::string& path) {
    return EndsWith(path, ".jsonl") ? Format::JsonLines : Format::Csv;
}

bool CReportRecorder::Open(const std::string& path) {
    Close();
    m_error.clear();
    m_path = path;
    m_format = FormatFor(path);
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    if (m_fd < 0) {
        return Fail("cannot open " + path);
    }
    struct stat status {};
    const bool empty =
        ::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0;
    if (empty && m_format == Format::Csv && !WriteLine(HeaderLine())) {
        Close();
        return false;
    }
    return true;
}

void CReportRecorder::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CReportRecorder::Record(WallTimePoint when, const ChargerVariables& vars) {
    return WriteLine(ReportLine(when, vars));
}

bool CReportRecorder::LinkLost(WallTimePoint when) {
    return WriteLine(EventLine(when, "link lost")) && Sync();
}

bool CReportRecorder::LinkBack(WallTimePoint when) {
    return WriteLine(EventLine(when, "link back")) && Sync();
}

bool CReportRecorder::Sync() {
    if (m_fd < 0) {
        return false;
    }
    // Devices, pipes and terminals have nothing to sync: not a failure.
    if (::fdatasync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
        return Fail("cannot sync " + m_path);
    }
    return true;
}

std::string CReportRecorder::HeaderLine() const {
    if (m_format == Format::JsonLines) {
        return {};
    }
    std::string line = kTimeColumn;
    for (int row = 0; row < kVariableRows; ++row) {
        line += ',';
        line += VariableLabel(row);
    }
    return line;
}

std::string CReportRecorder::ReportLine(WallTimePoint when, const ChargerVariables& vars) const {
    const auto rows = FormatVariables(vars);
    if (m_format == Format::JsonLines) {
        std::string line = "{" + JsonQuote("time") + ":" + JsonQuote(IsoTimestamp(when));
        for (const auto& row : rows) {
            line += "," + JsonQuote(row.label) + ":" + JsonQuote(row.text);
        }
        return line + "}";
    }
    std::string line = IsoTimestamp(when);
    for (const auto& row : rows) {
        line += ',';
        line += row.text;
    }
    return line;
}

std::string CReportRecorder::EventLine(WallTimePoint when, const char* event) const {
    if (m_format == Format::JsonLines) {
        return "{" + JsonQuote("time") + ":" + JsonQuote(IsoTimestamp(when)) + "," +
               JsonQuote("event") + ":" + JsonQuote(event) + "}";
    }
    // The event stands under the first value's label; the other values are empty.
    return IsoTimestamp(when) + "," + event + std::string(kVariableRows - 1, ',');
}

bool CReportRecorder::WriteLine(const std::string& text) {
    if (m_fd < 0) {
        return false;
    }
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t wrote = ::write(m_fd, line.data() + done, line.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return Fail("cannot write to " + m_path);
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool CReportRecorder::Fail(const std::string& what) {
    const int code = errno;
    m_error = what + ": " + SystemReason(code);
    return false;
}
