// Message boxes: one replaceable hook that shows a text with a caption.
//
// Principles of operation
//   The error reports call ShowMessageBox; what a "box" is depends on who
//   installed the hook. The default writes caption and text to standard error.
//   The window installs a real box, the command line writes messages, tests
//   install a recorder.
//
//   A thread may have a hook of its own (CThreadMessageBoxes), which takes
//   its boxes instead of the process-wide one: concurrent runs of a bench
//   each turn their boxes into their own result text. The serial port hands
//   the opening thread's hook on to its workers, so their reports reach the
//   same run.
//
//   A hook may be called on a worker thread of the serial port. It must not
//   block that thread on the user-interface thread: a window that can show
//   boxes only on its own thread posts the box there and returns.
//
// Threads: callable from any thread; the hook is swapped under a lock and
// called outside it.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// The caption is empty when the caller gave none: the hook then uses the
// application's name.
using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption)>;

void ShowMessageBox(const std::string& text, const std::string& caption = {});

// Installs a hook (an empty one restores the default); returns the old one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The calling thread's own hook, empty when it has none.
MessageBoxHook ThreadMessageBoxHook();

// While alive, boxes shown on the constructing thread go to `hook` (an empty
// one: back to the process-wide hook). Scopes nest; each restores the hook it
// found.
class CThreadMessageBoxes {
public:
    explicit CThreadMessageBoxes(MessageBoxHook hook);
    ~CThreadMessageBoxes();
    CThreadMessageBoxes(const CThreadMessageBoxes&) = delete;
    CThreadMessageBoxes& operator=(const CThreadMessageBoxes&) = delete;

private:
    MessageBoxHook m_old;
};

// The caption used for boxes that have none of their own.
const char* ApplicationName();

}  // namespace platform
