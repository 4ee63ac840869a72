#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

thread_local MessageBoxHook t_threadHook;

void WriteBoxToStandardError(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.empty() ? ApplicationName() : caption.c_str(),
                 text.c_str());
    std::fflush(stderr);
}

}  // namespace

const char* ApplicationName() {
    return "Corvane";
}

void ShowMessageBox(const std::string& text, const std::string& caption) {
    if (t_threadHook) {
        t_threadHook(text, caption);
        return;
    }
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = Hook();
    }
    if (hook) {
        hook(text, caption);
    } else {
        WriteBoxToStandardError(text, caption);
    }
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> guard(HookLock());
    MessageBoxHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

MessageBoxHook ThreadMessageBoxHook() {
    return t_threadHook;
}

CThreadMessageBoxes::CThreadMessageBoxes(MessageBoxHook hook)
    : m_old(std::exchange(t_threadHook, std::move(hook))) {}

CThreadMessageBoxes::~CThreadMessageBoxes() {
    t_threadHook = std::move(m_old);
}

}  // namespace platform
