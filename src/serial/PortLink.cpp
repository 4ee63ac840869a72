#include "serial/PortLink.h"

#include "platform/DebugOutput.h"

CPortLink::CPortLink(std::shared_ptr<CReceiveRing> receive, TraceHook trace)
    : m_pReceive(std::move(receive)), m_trace(std::move(trace)) {}

void CPortLink::Shut() {
    m_pReceive->CloseGate(m_bOpen);
}

// Logged, not boxed: every command that uses the port looks at IsLost and
// says in its own box, or its own line, that the adapter went away. The
// communications box first would be a second word about the same unplug.
void CPortLink::ReportLost(const char* operation) {
    if (!m_bLost.exchange(true)) {
        platform::OutputDebugString(operation);
    }
}

void CPortLink::Deliver(const std::uint8_t* bytes, std::uint32_t length) {
    m_pReceive->Deliver(m_bOpen, bytes, length);
}

void CPortLink::Trace(bool sent, const std::uint8_t* data, std::size_t length) const {
    if (m_trace) {
        m_trace(sent, data, length);
    }
}
