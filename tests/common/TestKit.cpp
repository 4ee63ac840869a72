#include "TestKit.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/DebugOutput.h"
#include "platform/MessageBox.h"

namespace testkit {

void CFakeClock::SleepMs(std::uint32_t milliseconds) {
    m_now += milliseconds;
    totalSleptMs += milliseconds;
    ++sleeps;
    if (onSleep) {
        onSleep(m_now);
    }
}

CBoxRecorder::CBoxRecorder() {
    platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_boxes.push_back({text, caption});
    });
}

CBoxRecorder::~CBoxRecorder() {
    platform::SetMessageBoxHook({});
}

std::vector<Box> CBoxRecorder::Boxes() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_boxes;
}

std::size_t CBoxRecorder::Count() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_boxes.size();
}

CDebugRecorder::CDebugRecorder() {
    platform::SetDebugSink([this](std::string_view text) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_text.append(text);
    });
}

CDebugRecorder::~CDebugRecorder() {
    platform::SetDebugSink({});
}

std::string CDebugRecorder::Text() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_text;
}

CScratchDir::CScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

CScratchDir::~CScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

CScratchConfig::CScratchConfig() {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    m_hadOld = old != nullptr;
    if (m_hadOld) {
        m_oldValue = old;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-cfg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_dir = pattern;
    ::setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
}

CScratchConfig::~CScratchConfig() {
    if (m_hadOld) {
        ::setenv("XDG_CONFIG_HOME", m_oldValue.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

CPtyPair::CPtyPair() {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    m_slavePath = name;
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

CPtyPair::~CPtyPair() {
    HangUp();
    if (m_slave >= 0) {
        ::close(m_slave);
    }
}

void CPtyPair::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            throw std::runtime_error("write to pty master failed");
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string CPtyPair::Receive(std::size_t count, int timeoutMs) {
    std::string out;
    while (out.size() < count) {
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0 || (pfd.revents & POLLIN) == 0) {
            break;
        }
        char buffer[512];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

void CPtyPair::HangUp() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

}  // namespace testkit
