#include "bench/RunView.h"

#include <algorithm>
#include <utility>

namespace bench {

CRunView::CRunView(std::string upgradeVersion, Listener listener)
    : m_upgradeVersion(std::move(upgradeVersion)), m_listener(std::move(listener)) {}

void CRunView::ShowStatus(const std::string& text) {
    m_lastStatus = text;
    if (m_listener.onStatus) {
        m_listener.onStatus(text);
    }
}

void CRunView::OnBlockSent(int block, int totalBlocks, int resends) {
    m_highestBlock = std::max(m_highestBlock, block);
    m_totalBlocks = totalBlocks;
    m_resends = resends;
    if (m_listener.onBlock) {
        m_listener.onBlock(block, totalBlocks, resends);
    }
}

bool CRunView::CancelRequested() {
    return m_listener.stopRequested && m_listener.stopRequested();
}

void CRunView::AddMessage(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_messageLock);
    m_messages.push_back(text);
}

std::vector<std::string> CRunView::Messages() const {
    std::lock_guard<std::mutex> guard(m_messageLock);
    return m_messages;
}

}  // namespace bench
