#include "ScriptedReceiver.h"

#include <algorithm>

#include "XmodemRecord.h"
#include "serial/SerialPort.h"

void CScriptedReceiver::Push(const std::string& bytes) {
    for (char c : bytes) {
        m_incoming.push_back(static_cast<std::uint8_t>(c));
    }
}

int CScriptedReceiver::ReadByte() {
    if (m_incoming.empty()) {
        return -1;
    }
    const int byte = m_incoming.front();
    m_incoming.pop_front();
    return byte;
}

bool CScriptedReceiver::QueueRequest(int kind, int length, std::uint8_t byte,
                                     const std::uint8_t* data) {
    ++m_requests;
    if (kind == WRITE_BYTE) {
        OnLineByte(byte);
    } else if (kind == WRITE_BLOCK) {
        const std::string copy(reinterpret_cast<const char*>(data),
                               static_cast<std::size_t>(length));
        m_borrowed.push_back({data, copy});
        for (char c : copy) {
            OnLineByte(static_cast<std::uint8_t>(c));
        }
    }
    return true;
}

void CScriptedReceiver::OnLineByte(std::uint8_t byte) {
    m_line += static_cast<char>(byte);
    if (m_pending.empty()) {
        if (byte == 1) {
            m_pending += static_cast<char>(byte);
        } else if (byte == 4) {
            ++m_eots;
        } else {
            ++m_stray;
        }
        return;
    }
    m_pending += static_cast<char>(byte);
    if (m_pending.size() == xmodem::kBlockOnLine) {
        OnBlockComplete();
    }
}

void CScriptedReceiver::OnBlockComplete() {
    ReceivedBlock block;
    const auto at = [this](std::size_t i) { return static_cast<std::uint8_t>(m_pending[i]); };
    block.index = static_cast<int>(m_blocks.size());
    block.number = at(1);
    block.complement = at(2);
    block.data = m_pending.substr(3, xmodem::kBlockSize);
    block.crc = static_cast<std::uint16_t>(at(131) << 8 | at(132));
    block.arrival = SendsOf(block.number);
    m_pending.clear();
    m_blocks.push_back(block);
    if (policy) {
        Push(policy(block));
    }
}

int CScriptedReceiver::SendsOf(int number) const {
    return static_cast<int>(std::count_if(m_blocks.begin(), m_blocks.end(),
                                          [number](const auto& b) { return b.number == number; }));
}
