// The simulated charger hearing any bytes: its firmware's command parser,
// the boot loader's XMODEM receiver and its check of the image received,
// all in virtual time. The first byte sets the charger up: bit 0 no
// firmware (start in the boot loader), bit 1 short time-outs, bit 2 faults
// in the upload, bits 3 to 7 the milliseconds between two bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "sim/BootLoader.h"
#include "sim/ChargerEngine.h"
#include "sim/CommandParser.h"
#include "sim/ImageCheck.h"

namespace {

constexpr int kMaxWakes = 64;  // the boot loader's prompt would wake it for ever

sim::SimOptions Options(std::uint8_t setup) {
    sim::SimOptions options;
    options.paceOutput = false;
    if ((setup & 1) != 0) {
        options.firmwareVersion.clear();
    }
    if ((setup & 2) != 0) {
        options.blockGapMs = 20;
        options.transferTimeoutMs = 100;
        options.startIntervalMs = 50;
    }
    if ((setup & 4) != 0) {
        options.nakFirstArrivals = {{1, 1}};
        options.cancelInsteadOfAckAtBlock = 3;
        options.resumeFirmwareAfterCancel = true;
    }
    return options;
}

void WakeUntil(sim::CChargerEngine& engine, std::int64_t nowMs) {
    for (int i = 0; i < kMaxWakes; ++i) {
        const std::int64_t wake = engine.NextWakeMs();
        if (wake < 0 || wake > nowMs) {
            return;
        }
        engine.OnTime(wake);
    }
}

void Heard(sim::CChargerEngine& engine, std::uint8_t byte, std::int64_t nowMs) {
    const std::string before = engine.FirmwareVersion();
    engine.OnByte(byte, nowMs);
    static_cast<void>(engine.TakeOutput(nowMs * 1000));
    if (engine.HangUpRequested()) {
        engine.MarkHungUp();
    }
    const std::size_t received = engine.ReceivedImage().size();
    fuzz::Require(received % sim::CXmodemReceiver::kBlockSize == 0 &&
                      received <= sim::CBootLoader::kMaxBlocks * sim::CXmodemReceiver::kBlockSize,
                  "the boot loader holds whole blocks, no more than it can");
    if (engine.FirmwareVersion() != before) {
        const sim::ImageVerdict verdict = sim::CheckImage(engine.ReceivedImage());
        fuzz::Require(verdict.sound && verdict.version == engine.FirmwareVersion(),
                      "only a sound image is installed, with the version it names");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    sim::CChargerEngine engine(Options(data[0]));
    sim::CCommandParser parser;
    const int stepMs = data[0] >> 3;
    std::int64_t nowMs = 0;
    engine.Begin(nowMs);
    for (std::size_t i = 1; i < size; ++i) {
        nowMs += stepMs;
        WakeUntil(engine, nowMs);
        Heard(engine, data[i], nowMs);
        if (const std::optional<std::string> command = parser.Feed(data[i])) {
            fuzz::Require(!command->empty() && command->size() <= sim::CCommandParser::kCapacity,
                          "a command is bounded and not empty");
            static_cast<void>(sim::ClassifyCommand(*command));
        }
    }
    WakeUntil(engine, nowMs + 60'000);
    return 0;
}
