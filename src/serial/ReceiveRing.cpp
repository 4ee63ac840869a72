#include "serial/ReceiveRing.h"

CReceiveRing::CReceiveRing(std::uint32_t size) : m_pRing(RingCreate(size, nullptr)) {}

CReceiveRing::~CReceiveRing() {
    RingDestroy(m_pRing);
}

void CReceiveRing::Deliver(const std::atomic<bool>& gate, const std::uint8_t* bytes,
                           std::uint32_t length) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pRing != nullptr && gate.load()) {
        RingPutBlock(m_pRing, bytes, length);
    }
}

void CReceiveRing::CloseGate(std::atomic<bool>& gate) {
    std::lock_guard<std::mutex> guard(m_lock);
    gate.store(false);
}

int CReceiveRing::Get() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pRing != nullptr ? RingGet(m_pRing) : -1;
}

int CReceiveRing::Count() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pRing != nullptr ? m_pRing->count : 0;
}

void CReceiveRing::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pRing != nullptr) {
        RingClear(m_pRing);
    }
}
