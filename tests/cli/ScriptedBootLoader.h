// Scripted boot loader: the charger's side of an upload, reduced to what a
// cancellation test needs to see on the line.
//
// Principles of operation
//   Runs on the master side of a pseudo-terminal pair. When the firmware's
//   hand-over command "/0842" arrives it announces itself with "C" (again
//   each second until a block starts), takes every 133-byte XMODEM-CRC frame
//   and answers it with ACK after a delay, so an upload advances slowly
//   enough to be interrupted. It keeps every byte it received and, apart,
//   the bytes that came after the last complete frame: that is where a
//   sender's cancellation shows.
//
// Threads: one worker reads the master; a mutex guards what it recorded.
//   The destructor stops the worker within one poll slice plus one ACK delay.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace clitest {

class CScriptedBootLoader {
public:
    CScriptedBootLoader(int masterFd, int ackDelayMs);
    ~CScriptedBootLoader();
    CScriptedBootLoader(const CScriptedBootLoader&) = delete;
    CScriptedBootLoader& operator=(const CScriptedBootLoader&) = delete;

    int Frames() const;
    std::string AfterLastFrame() const;
    std::string Everything() const;

private:
    void Run();
    void OnByte(char byte);
    void Write(char byte);

    int m_master;
    int m_ackDelayMs;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::string m_all;
    std::string m_text;  // before the hand-over
    std::string m_frame;
    std::string m_afterLastFrame;
    bool m_bootLoader = false;
    bool m_inFrame = false;
    int m_frames = 0;
    std::thread m_worker;
};

}  // namespace clitest
