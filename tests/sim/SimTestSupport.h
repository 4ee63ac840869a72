// Helpers of the simulated charger's tests: XMODEM frames as a sender builds
// them, test images, and a rig that runs the charger engine in virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/ChargerEngine.h"
#include "sim/SimOptions.h"

namespace simtest {

constexpr char kSoh = 1;
constexpr char kEot = 4;
constexpr char kAck = 6;
constexpr char kNak = 21;
constexpr char kCan = 24;

// One block on the line: SOH, n, 255 - n, 128 bytes (filler 0x1A past the
// end of data), CRC high, CRC low.
std::string Frame(std::uint8_t number, const std::vector<std::uint8_t>& data,
                  std::size_t offset = 0);
// An image file with the given code (header: length, plain CRC).
std::vector<std::uint8_t> MakeImage(const std::vector<std::uint8_t>& code);
// Code that carries the version tag "VER:<version>" and a NUL amid other bytes.
std::vector<std::uint8_t> CodeWithVersion(const std::string& version, std::size_t size);
// The image the utility carries, read from the source tree.
std::vector<std::uint8_t> CarriedImage();

// The charger engine, switched on at virtual time 0, output unpaced unless
// the options say otherwise.
class CEngineRig {
public:
    explicit CEngineRig(sim::SimOptions options);

    void Send(const std::string& bytes);
    // Lets ms of virtual time pass in 1 ms steps; returns what was sent.
    std::string Run(int ms);
    // Runs until the charger sent one of the given bytes (at most limitMs);
    // returns everything sent meanwhile.
    std::string RunUntilAny(const std::string& bytes, int limitMs);
    // Sends the image as the utility's upload does, block by block, resending
    // on NAK; returns the replies, one per block sent, then the EOT's reply.
    std::string Upload(const std::vector<std::uint8_t>& image);

    sim::CChargerEngine engine;
    std::int64_t nowMs = 0;
    // When each byte of the output left, in virtual ms, in order.
    std::vector<std::int64_t> sentAt;
};

sim::SimOptions FastOptions();

}  // namespace simtest
