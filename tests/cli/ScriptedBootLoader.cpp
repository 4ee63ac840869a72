#include "ScriptedBootLoader.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace clitest {

namespace {

constexpr char kSoh = 1;
constexpr char kAck = 6;
constexpr std::size_t kFrameSize = 133;  // SOH, number, complement, 128 data, CRC
constexpr auto kStartInterval = std::chrono::milliseconds(1000);

}  // namespace

CScriptedBootLoader::CScriptedBootLoader(int masterFd, int ackDelayMs)
    : m_master(masterFd), m_ackDelayMs(ackDelayMs), m_worker([this] { Run(); }) {}

CScriptedBootLoader::~CScriptedBootLoader() {
    m_stop = true;
    m_worker.join();
}

int CScriptedBootLoader::Frames() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_frames;
}

std::string CScriptedBootLoader::AfterLastFrame() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_afterLastFrame;
}

std::string CScriptedBootLoader::Everything() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_all;
}

void CScriptedBootLoader::Write(char byte) {
    if (::write(m_master, &byte, 1) != 1) {
        m_stop = true;  // the line is gone
    }
}

void CScriptedBootLoader::Run() {
    auto nextStart = std::chrono::steady_clock::now();
    while (!m_stop) {
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, 20) > 0 && (pfd.revents & POLLIN) != 0) {
            char buffer[256];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                OnByte(buffer[i]);
            }
        }
        bool waiting = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            waiting = m_bootLoader && m_frames == 0 && !m_inFrame;
        }
        if (waiting && std::chrono::steady_clock::now() >= nextStart) {
            Write('C');
            nextStart = std::chrono::steady_clock::now() + kStartInterval;
        }
    }
}

void CScriptedBootLoader::OnByte(char byte) {
    bool frameDone = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_all += byte;
        if (!m_bootLoader) {
            m_text += byte;
            m_bootLoader = m_text.find("/0842\r") != std::string::npos;
            return;
        }
        if (!m_inFrame && byte == kSoh) {
            m_inFrame = true;
            m_frame.clear();
        }
        if (!m_inFrame) {
            m_afterLastFrame += byte;
            return;
        }
        m_frame += byte;
        if (m_frame.size() == kFrameSize) {
            m_inFrame = false;
            ++m_frames;
            m_afterLastFrame.clear();
            frameDone = true;
        }
    }
    if (frameDone) {
        for (int waited = 0; waited < m_ackDelayMs && !m_stop; waited += 10) {
            ::usleep(10000);
        }
        Write(kAck);
    }
}

}  // namespace clitest
