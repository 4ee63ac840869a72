// Debugger output: where diagnostic texts of failed operations go.
//
// Principles of operation
//   Texts are passed on exactly as given, with nothing added: callers supply
//   their own line ends. By default each text is one entry of the system log
//   at debug priority under the ident "corvane-debug", apart from the
//   service records' "corvane" (journalctl -t corvane-debug), so that standard
//   error stays quiet: a technician's terminal shows nothing of the port
//   operations' names or of the boxes' texts. Tests and the command line
//   install a sink of their own; StandardErrorSink is the one for a user who
//   asks for the texts (corvane-cli -v, corvane --debug): "debug: <text>" on
//   a line of its own.
//
// Threads: callable from any thread; the sink is swapped under a lock and
// called outside it.
#pragma once

#include <functional>
#include <string>
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

// Installs a sink (an empty one restores the system log); returns the old one.
DebugSink SetDebugSink(DebugSink sink);

// Writes each text to standard error as "debug: <text>" and a line end, its
// own trailing line ends and carriage returns dropped.
DebugSink StandardErrorSink();

// The line StandardErrorSink writes for a text.
std::string StandardErrorLine(std::string_view text);

}  // namespace platform
