// Debugger output: where diagnostic texts of failed operations go.
//
// Principles of operation
//   Texts are written exactly as given, with nothing added: callers supply
//   their own line ends. By default they go to standard error; tests and the
//   command line may install a sink of their own.
//
// Threads: callable from any thread; the sink is swapped under a lock and
// called outside it.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

using DebugSink = std::function<void(std::string_view text)>;

void OutputDebugString(std::string_view text);

// The process-wide sink, whatever the calling thread's own sink is.
void OutputProcessDebugString(std::string_view text);

// The calling thread's own sink, empty when it has none.
DebugSink ThreadDebugSink();

// While alive, texts written on the constructing thread go to `sink` (an
// empty one: to the process-wide sink). Scopes nest.
class CThreadDebugSink {
public:
    explicit CThreadDebugSink(DebugSink sink);
    ~CThreadDebugSink();
    CThreadDebugSink(const CThreadDebugSink&) = delete;
    CThreadDebugSink& operator=(const CThreadDebugSink&) = delete;

private:
    DebugSink m_old;
};

// Installs a sink (an empty one restores standard error); returns the old one.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace platform
