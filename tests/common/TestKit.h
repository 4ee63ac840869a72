// Test kit: fakes and fixtures shared by the tests.
//
//   CFakeClock         virtual time: SleepMs advances the clock at once, and
//                      an optional callback runs on every sleep so a test can
//                      feed bytes at given moments.
//   CBoxRecorder       records message boxes (text, caption) while alive.
//   CDebugRecorder     records debugger output while alive.
//   CScratchConfig     points XDG_CONFIG_HOME at a fresh temporary folder.
//   CPtyPair           an open pseudo-terminal pair in raw mode: the slave's
//                      path for the code under test, the master for the test.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"

namespace testkit {

class CFakeClock : public platform::IClock {
public:
    explicit CFakeClock(std::uint32_t start = 0) : m_now(start) {}
    std::uint32_t NowMs() override { return m_now; }
    void SleepMs(std::uint32_t milliseconds) override;
    void Advance(std::uint32_t milliseconds) { m_now += milliseconds; }
    // Runs after every sleep with the new time.
    std::function<void(std::uint32_t now)> onSleep;
    std::uint64_t totalSleptMs = 0;
    int sleeps = 0;

private:
    std::uint32_t m_now;
};

struct Box {
    std::string text;
    std::string caption;
};

class CBoxRecorder {
public:
    CBoxRecorder();
    ~CBoxRecorder();
    std::vector<Box> Boxes() const;
    std::size_t Count() const;

private:
    mutable std::mutex m_lock;
    std::vector<Box> m_boxes;
};

class CDebugRecorder {
public:
    CDebugRecorder();
    ~CDebugRecorder();
    std::string Text() const;

private:
    mutable std::mutex m_lock;
    std::string m_text;
};

class CScratchConfig {
public:
    CScratchConfig();
    ~CScratchConfig();
    const std::string& Dir() const { return m_dir; }

private:
    std::string m_dir;
    std::string m_oldValue;
    bool m_hadOld = false;
};

class CPtyPair {
public:
    CPtyPair();
    ~CPtyPair();
    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }
    // Writes all bytes to the master side.
    void Send(const std::string& bytes);
    // Reads what the master side receives until count bytes arrived or
    // timeoutMs passed without any byte.
    std::string Receive(std::size_t count, int timeoutMs);
    // Closes the master side (the far end hangs up).
    void HangUp();

private:
    int m_master = -1;
    int m_slave = -1;  // kept open so the slave stays usable between opens
    std::string m_slavePath;
};

// A fresh temporary folder, removed with everything in it at the end.
class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace testkit
