#include "RecordingView.h"

#include <algorithm>

#include "protocol/UpgradeImage.h"

CRecordingView::CRecordingView() : m_upgradeVersion(::UpgradeVersion()) {}

void CRecordingView::ShowStatus(const std::string& text) {
    m_events.push_back("status:" + text);
    if (onStatus) {
        onStatus(text);
    }
}

void CRecordingView::SetProgress(int position, int total) {
    m_progress.emplace_back(position, total);
    m_events.push_back("progress:" + std::to_string(position) + "/" + std::to_string(total));
}

void CRecordingView::PaintVersions() {
    m_events.emplace_back("paintVersions");
}

void CRecordingView::InvalidateWindow() {
    m_events.emplace_back("invalidate");
}

void CRecordingView::PaintWindow() {
    m_events.emplace_back("paintWindow");
}

void CRecordingView::ShowUpgradeButton(bool show) {
    m_upgradeShown = show;
    m_events.push_back(show ? "upgrade:shown" : "upgrade:hidden");
}

void CRecordingView::ShowReadButton(bool show) {
    m_readShown = show;
    m_events.push_back(show ? "read:shown" : "read:hidden");
}

void CRecordingView::OnBlockSent(int block, int /*totalBlocks*/, int resends) {
    m_blocks.emplace_back(block, resends);
    if (onBlockSent) {
        onBlockSent(block);
    }
}

void CRecordingView::OnUploadEnded(UploadState state) {
    m_events.push_back(std::string("uploadEnded:") + UploadStateName(state));
}

std::vector<std::string> CRecordingView::Statuses() const {
    std::vector<std::string> statuses;
    for (const auto& event : m_events) {
        if (event.rfind("status:", 0) == 0) {
            statuses.push_back(event.substr(7));
        }
    }
    return statuses;
}

std::string CRecordingView::LastStatus() const {
    const auto statuses = Statuses();
    return statuses.empty() ? std::string() : statuses.back();
}

int CRecordingView::ButtonCalls(bool upgradeButton) const {
    const std::string prefix = upgradeButton ? "upgrade:" : "read:";
    return static_cast<int>(std::count_if(m_events.begin(), m_events.end(),
                                          [&](const auto& e) { return e.rfind(prefix, 0) == 0; }));
}

int CRecordingView::IndexOf(const std::string& text) const {
    const auto it = std::find(m_events.begin(), m_events.end(), text);
    return it == m_events.end() ? -1 : static_cast<int>(it - m_events.begin());
}
