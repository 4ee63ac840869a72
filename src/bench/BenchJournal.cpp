#include "bench/BenchJournal.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "bench/JsonLine.h"
#include "support/SessionLog.h"

namespace bench {
namespace {

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string ImageJson(const ImageInfo& image) {
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", image.crc);
    return CJsonLine()
        .Add("label", image.label)
        .Add("size", static_cast<long long>(image.size))
        .Add("crc", crc)
        .Add("path", image.path)
        .Text();
}

bool AppendLine(const std::string& path, const std::string& line, std::string& problem) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        problem = "Could not write the bench record " + path + ": " + std::strerror(errno) + ".";
        return false;
    }
    const std::string text = line + "\n";
    const ssize_t written = ::write(fd, text.data(), text.size());  // one write: never interleaved
    const int error = errno;
    ::close(fd);
    if (written != static_cast<ssize_t>(text.size())) {
        problem = "Could not write the bench record " + path + ": " +
                  (written < 0 ? std::strerror(error) : "short write") + ".";
        return false;
    }
    return true;
}

}  // namespace

CSyslog::CSyslog() {
    ::openlog("corvane", LOG_PID, LOG_USER);
}

CSyslog::~CSyslog() {
    ::closelog();
}

void CSyslog::Write(bool failed, const std::string& line) {
    ::syslog(failed ? LOG_WARNING : LOG_INFO, "%s", line.c_str());
}

std::string BenchJournalPath() {
    return StateFilePath("bench.jsonl");
}

std::string RecordLine(const SlotInfo& slot, const RunResult& result, const std::string& isoTime) {
    CJsonLine line;
    line.Add("time", isoTime)
        .Add("port", slot.port)
        .Add("device", slot.device)
        .Add("byId", slot.byIdName)
        .Add("identification", result.identification)
        .Add("bootCode", result.bootCode)
        .Add("before", result.before)
        .Add("after", result.after)
        .Add("blocks", result.blocks)
        .Add("resends", result.resends)
        .AddFixed1("seconds", result.seconds)
        .Add("outcome", OutcomeName(result.outcome));
    if (result.outcome == Outcome::Failed) {
        line.Add("reason", result.reason);
    }
    line.AddRaw("image", ImageJson(result.image));
    return line.Text();
}

CBenchJournal::CBenchJournal(std::string path, ISystemLog& systemLog)
    : m_path(std::move(path)), m_systemLog(systemLog) {}

void CBenchJournal::Record(const SlotInfo& slot, const RunResult& result) {
    const std::string line = RecordLine(slot, result, UtcNow());
    std::lock_guard<std::mutex> guard(m_lock);
    std::string problem;
    if (!AppendLine(m_path, line, problem) && m_problem.empty()) {
        m_problem = problem;
    }
    m_systemLog.Write(result.outcome == Outcome::Failed, line);
}

std::string CBenchJournal::Problem() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_problem;
}

}  // namespace bench
