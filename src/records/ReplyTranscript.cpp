#include "records/ReplyTranscript.h"

namespace records {

namespace {

constexpr std::uint8_t kNak = 21;

}  // namespace

void CReplyTranscript::Listen(CSerialPort& port, CSerialPort::TraceHook next) {
    port.SetTraceHook(
        [this, next = std::move(next)](bool sent, const std::uint8_t* data, std::size_t length) {
            if (!sent) {
                Add(data, length);
            }
            if (next) {
                next(sent, data, length);
            }
        });
}

void CReplyTranscript::Add(const std::uint8_t* data, std::size_t length) {
    if (length > 0) {
        m_heard = true;
    }
    if (!m_recording) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = data[i];
        if (byte < 32 && byte != kNak) {
            EndLine();
        } else if (byte >= 32 && byte < 127 && m_current.size() < kMaxLine) {
            m_current.push_back(static_cast<char>(byte));
        }
    }
}

void CReplyTranscript::EndLine() {
    if (!m_current.empty() && m_lines.size() < kMaxLines) {
        m_lines.push_back(m_current);
    }
    m_current.clear();
}

std::vector<std::string> CReplyTranscript::Lines() const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> lines = m_lines;
    if (!m_current.empty() && lines.size() < kMaxLines) {
        lines.push_back(m_current);
    }
    return lines;
}

}  // namespace records
