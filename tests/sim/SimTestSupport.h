// Helpers of the simulated charger's tests: XMODEM frames and images as a
// sender builds them, a rig that runs the charger engine in virtual time, and
// a serial program's and a shell's view of the device, with bounded waits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/ChargerEngine.h"

namespace simtest {

constexpr char kEot = 4;
constexpr char kAck = 6;
constexpr char kNak = 21;
constexpr char kCan = 24;

// One block on the line: SOH, n, 255 - n, 128 bytes (filler 0x1A past the
// end of data), CRC high, CRC low.
std::string Frame(std::size_t number, const std::vector<std::uint8_t>& data);
// An image file whose code carries "VER:<version>" and a NUL amid other bytes.
std::vector<std::uint8_t> TestImage(const std::string& version, std::size_t codeSize);
std::vector<std::uint8_t> CarriedImage();
// A command line's words, split at spaces.
std::vector<std::string> Words(const std::string& line);
// The charger options that command line gives.
sim::SimOptions Options(const std::string& line);

// The charger engine with the options those words give, switched on at
// virtual time 0, unpaced unless asked.
class CEngineRig {
public:
    explicit CEngineRig(const std::string& options = "", bool paced = false);
    void Send(const std::string& bytes);
    // Lets ms of virtual time pass in 1 ms steps; returns what was sent.
    std::string Run(int ms);
    // Sends "/0842" and lets the hand-over happen; returns what was sent.
    std::string HandOver();
    // Sends the image block by block as the utility does, resending on NAK;
    // returns the replies as letters A, N, C (ACK, NAK, CAN), one per block
    // sent, then the EOT's reply.
    std::string Upload(const std::vector<std::uint8_t>& image);

    sim::CChargerEngine engine;
    std::int64_t nowMs = 0;
    std::vector<std::int64_t> sentAt;  // when each output byte left, in ms

private:
    std::string NextReply();  // A, N or C; empty after 5 s of nothing
};

// The device opened as a serial program opens it: raw, no controlling tty.
class CSerialClient {
public:
    explicit CSerialClient(const std::string& path);
    ~CSerialClient();
    bool Send(const std::string& bytes);
    // Reads until the text holds `until`, timeoutMs passes without a byte or
    // the far end hangs up (then hungUp is set).
    std::string ReadUntil(const std::string& until, int timeoutMs);
    bool hungUp = false;

private:
    int m_fd;
};

// A shell command line run with its stdout on a pipe. Callers bound each one
// with timeout(1), so that neither a read nor the wait at the end can hang.
class CCommand {
public:
    explicit CCommand(const std::string& line);
    ~CCommand() { Close(); }
    // The next line of its output without the line end; empty at the end.
    std::string ReadLine();
    // Waits for it; its exit code, or -1 when it did not exit normally.
    int Close();

private:
    FILE* m_pipe;
};

}  // namespace simtest
