// Message boxes: one replaceable hook that shows a text with a caption.
//
// Principles of operation
//   The error reports call ShowMessageBox; what a "box" is depends on who
//   installed the hook. The default writes caption and text to standard error.
//   The window installs a real box, the command line writes messages, tests
//   install a recorder.
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

// The caption used for boxes that have none of their own.
const char* ApplicationName();

}  // namespace platform
