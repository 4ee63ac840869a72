#include "platform/DebugOutput.h"

#include <syslog.h>
#include <unistd.h>

#include <mutex>
#include <utility>

#include "platform/LogSocket.h"

namespace platform {
namespace {

std::mutex& SinkLock() {
    static std::mutex lock;
    return lock;
}

DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

// The system log takes one entry per call; an empty text is no entry. The
// ident is the debug texts' own: "corvane" is the service records', and a
// service centre gathers the records by it.
void WriteToSystemLog(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);  // the log ends each entry itself
    }
    if (text.empty()) {
        return;
    }
    (void)SendToSystemLog(LOG_USER | LOG_DEBUG, "corvane-debug", text);
}

void WriteToStandardError(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

thread_local DebugSink t_threadSink;

}  // namespace

void OutputDebugString(std::string_view text) {
    if (t_threadSink) {
        t_threadSink(text);
        return;
    }
    OutputProcessDebugString(text);
}

void OutputProcessDebugString(std::string_view text) {
    DebugSink sink;
    {
        std::lock_guard<std::mutex> guard(SinkLock());
        sink = Sink();
    }
    if (sink) {
        sink(text);
    } else {
        WriteToSystemLog(text);
    }
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> guard(SinkLock());
    DebugSink old = std::move(Sink());
    Sink() = std::move(sink);
    return old;
}

std::string StandardErrorLine(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return "debug: " + std::string(text) + "\n";
}

DebugSink StandardErrorSink() {
    return [](std::string_view text) { WriteToStandardError(StandardErrorLine(text)); };
}

DebugSink ThreadDebugSink() {
    return t_threadSink;
}

CThreadDebugSink::CThreadDebugSink(DebugSink sink)
    : m_old(std::exchange(t_threadSink, std::move(sink))) {}

CThreadDebugSink::~CThreadDebugSink() {
    t_threadSink = std::move(m_old);
}

}  // namespace platform
