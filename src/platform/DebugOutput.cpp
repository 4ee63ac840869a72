#include "platform/DebugOutput.h"

#include <unistd.h>
#include <mutex>
#include <utility>

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
        WriteToStandardError(text);
    }
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> guard(SinkLock());
    DebugSink old = std::move(Sink());
    Sink() = std::move(sink);
    return old;
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
