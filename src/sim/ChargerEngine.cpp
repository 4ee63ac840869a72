#include "sim/ChargerEngine.h"

#include <algorithm>

#include "sim/ControlBytes.h"

namespace sim {

CChargerEngine::CChargerEngine(SimOptions options)
    : m_options(std::move(options)),
      m_faults(m_options),
      m_out(m_options, m_faults, m_log),
      m_firmware(m_options, m_out, m_log),
      m_bootLoader(m_options, m_out, m_faults, m_log),
      m_installed(m_options.firmwareVersion) {}

void CChargerEngine::Begin(std::int64_t nowMs) {
    if (m_installed.empty()) {
        EnterBootLoader(nowMs);
    } else {
        EnterFirmware(nowMs);
    }
}

void CChargerEngine::OnByte(std::uint8_t byte, std::int64_t nowMs) {
    if (m_hungUp || m_hangUpRequested) {
        return;
    }
    if (m_mode == ChargerMode::Firmware) {
        OnFirmwareByte(byte, nowMs);
    } else {
        OnBootOutcome(m_bootLoader.OnByte(byte, nowMs), nowMs);
    }
}

void CChargerEngine::OnTime(std::int64_t nowMs) {
    if (m_hungUp || m_hangUpRequested) {
        return;
    }
    if (m_mode == ChargerMode::Firmware) {
        m_firmware.OnTime(nowMs);
    } else {
        OnBootOutcome(m_bootLoader.OnTime(nowMs), nowMs);
    }
}

std::int64_t CChargerEngine::NextWakeMs() const {
    if (m_hungUp || m_hangUpRequested) {
        return -1;
    }
    return m_mode == ChargerMode::Firmware ? m_firmware.Deadline() : m_bootLoader.Deadline();
}

void CChargerEngine::MarkHungUp() {
    m_hungUp = true;
    m_log.hungUp = true;
}

void CChargerEngine::OnFirmwareByte(std::uint8_t byte, std::int64_t nowMs) {
    const auto command = m_parser.Feed(byte);
    if (!command) {
        return;
    }
    m_log.commands.push_back({nowMs, *command, ChargerMode::Firmware});
    if (m_options.nakInsteadOfReplies) {
        m_out.Byte(bytes::kNak, nowMs + m_options.replyDelayMs);
        return;
    }
    if (m_firmware.OnCommand(*command, nowMs)) {
        EnterBootLoader(nowMs);
    }
}

void CChargerEngine::OnBootOutcome(const BootOutcome& outcome, std::int64_t nowMs) {
    switch (outcome.kind) {
        case BootOutcome::Kind::None:
            return;
        case BootOutcome::Kind::Installed:
            m_installed = outcome.version;
            EnterFirmware(nowMs);
            return;
        case BootOutcome::Kind::ResumeFirmware:
            if (!m_installed.empty()) {
                EnterFirmware(nowMs);
            }
            return;
        case BootOutcome::Kind::HangUp:
            m_hangUpRequested = true;
            return;
    }
}

void CChargerEngine::EnterFirmware(std::int64_t nowMs) {
    m_mode = ChargerMode::Firmware;
    m_parser.Clear();
    m_firmware.Start(m_installed);
    LogMode(nowMs);
}

void CChargerEngine::EnterBootLoader(std::int64_t nowMs) {
    m_mode = ChargerMode::BootLoader;
    m_firmware.Stop();
    m_bootLoader.Start(nowMs);
    LogMode(nowMs);
}

void CChargerEngine::LogMode(std::int64_t nowMs) {
    m_log.modeChanges.push_back({nowMs, m_mode});
}

}  // namespace sim
