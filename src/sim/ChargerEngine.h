// Charger engine: the whole simulated charger, free of I/O and clocks.
//
// Principles of operation
//   The engine is the charger's behaviour as a state machine: the loop that
//   owns the line feeds it each received byte with its arrival time and
//   calls OnTime when NextWakeMs comes; the engine queues what it sends on
//   its transmitter, from which the loop takes the bytes that are due. Tests
//   drive it in virtual time.
//
//   The charger is in one of two modes. In firmware mode the command parser
//   cuts the received bytes into commands for the firmware; "/0842" switches
//   to the boot loader. In boot-loader mode every byte goes to the boot
//   loader; a sound upload installs the image's version and the firmware
//   starts again. A charger without firmware starts in its boot loader.
//   After a hang-up the engine ignores everything.
//
// Threads: not thread-safe; CSimulatedCharger calls it under its lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/BootLoader.h"
#include "sim/CommandParser.h"
#include "sim/FaultPlan.h"
#include "sim/Firmware.h"
#include "sim/SimLog.h"
#include "sim/SimOptions.h"
#include "sim/Transmitter.h"

namespace sim {

class CChargerEngine {
public:
    explicit CChargerEngine(SimOptions options);
    CChargerEngine(const CChargerEngine&) = delete;
    CChargerEngine& operator=(const CChargerEngine&) = delete;

    // The charger is switched on at nowMs.
    void Begin(std::int64_t nowMs);
    void OnByte(std::uint8_t byte, std::int64_t nowMs);
    void OnTime(std::int64_t nowMs);
    // When OnTime next has something to do; -1 when nothing is planned.
    std::int64_t NextWakeMs() const;

    std::string TakeOutput(std::int64_t nowUs) { return m_out.TakeDue(nowUs); }
    std::int64_t NextOutputUs() const { return m_out.NextDueUs(); }

    // A fault asked for the line to be closed; the owner closes it and
    // confirms with MarkHungUp.
    bool HangUpRequested() const { return m_hangUpRequested; }
    void MarkHungUp();

    const SimLog& Log() const { return m_log; }
    ChargerMode Mode() const { return m_mode; }
    const std::string& FirmwareVersion() const { return m_installed; }
    const std::vector<std::uint8_t>& ReceivedImage() const { return m_bootLoader.ReceivedImage(); }

private:
    void OnFirmwareByte(std::uint8_t byte, std::int64_t nowMs);
    void OnBootOutcome(const BootOutcome& outcome, std::int64_t nowMs);
    void EnterFirmware(std::int64_t nowMs);
    void EnterBootLoader(std::int64_t nowMs);
    void LogMode(std::int64_t nowMs);

    SimOptions m_options;
    SimLog m_log;
    CFaultPlan m_faults;
    CTransmitter m_out;
    CFirmware m_firmware;
    CBootLoader m_bootLoader;
    CCommandParser m_parser;
    ChargerMode m_mode = ChargerMode::Firmware;
    std::string m_installed;
    bool m_hangUpRequested = false;
    bool m_hungUp = false;
};

}  // namespace sim
