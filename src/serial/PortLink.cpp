#include "serial/PortLink.h"

#include "serial/ErrorReport.h"

CPortLink::CPortLink(std::shared_ptr<CReceiveRing> receive, TraceHook trace)
    : m_pReceive(std::move(receive)), m_trace(std::move(trace)) {}

void CPortLink::Shut() {
    m_pReceive->CloseGate(m_bOpen);
}

void CPortLink::ReportLost(const char* operation) {
    if (!m_bLost.exchange(true)) {
        ReportCommError(operation);
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
