#include "cli/Interrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/CommandLine.h"

namespace {

// Lock-free atomics: written by the handler, read by any thread (a bench's
// jobs look at Interrupted too).
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<bool> g_outputFailed{false};
int g_outputError = 0;  // main thread only
bool g_explained = false;

extern "C" void OnStopSignal(int number) {
    int none = 0;
    g_signal.compare_exchange_strong(none, number);  // the first one decides the exit code
}

void RecordOutputFailure() {
    if (!g_outputFailed.load()) {
        g_outputError = errno;
        g_outputFailed.store(true);
    }
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking call in our own code returns early with EINTR.
    action.sa_flags = 0;
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() {
    return g_signal != 0 || g_outputFailed;
}

int StopSignal() {
    return g_signal;
}

bool OutputFailed() {
    return g_outputFailed;
}

bool FlushOut() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        RecordOutputFailure();
        return false;
    }
    return true;
}

bool PrintOut(const char* format, ...) {
    if (g_outputFailed) {
        return false;  // nobody reads it any more
    }
    va_list args;
    va_start(args, format);
    const int written = std::vprintf(format, args);
    va_end(args);
    if (written < 0) {
        RecordOutputFailure();
        return false;
    }
    return FlushOut();
}

int StopExitCode(int fallback) {
    if (g_signal != 0) {
        return 128 + g_signal;
    }
    if (g_outputFailed) {
        return kExitFile;
    }
    return fallback;
}

void ExplainOutputFailure() {
    if (!g_outputFailed || g_explained) {
        return;
    }
    g_explained = true;
    std::fprintf(stderr, "corvane-cli: cannot write to standard output: %s\n",
                 std::strerror(g_outputError != 0 ? g_outputError : EIO));
}
