#include "cli/ConsoleView.h"

#include "cli/Interrupt.h"
#include "protocol/UpgradeImage.h"

CConsoleView::CConsoleView(bool printAsItHappens, CProgressLine& progress, platform::IClock& clock)
    : m_print(printAsItHappens),
      m_progress(progress),
      m_clock(clock),
      m_upgradeVersion(::UpgradeVersion()) {}

void CConsoleView::ShowStatus(const std::string& text) {
    m_statuses.push_back(text);
    if (m_print) {
        PrintOut("%s\n", text.c_str());  // a failure is a stop request
    }
}

// The upload moves the bar to its block number on every pass; resends are
// counted by OnBlockSent.
void CConsoleView::SetProgress(int position, int total) {
    if (position == 0 && total != 0) {
        m_total = total;
        m_uploadStart = m_clock.NowMs();
        m_progress.Update(0, total, m_resends, 0);
        return;
    }
    if (position == 0) {
        m_progress.Finish();
        return;
    }
    m_highestBlock = std::max(m_highestBlock, position);
    m_progress.Update(position, m_total, m_resends, m_clock.NowMs() - m_uploadStart);
}

bool CConsoleView::CancelRequested() {
    return Interrupted();
}

void CConsoleView::PaintVersions() {
    if (m_print) {
        PrintOut("%s", VersionsText().c_str());
    }
}

std::string CConsoleView::VersionsText() const {
    return "Current Version\n  Boot Code:     " + m_bootCode +
           "\n  Charger Code:  " + m_chargerCode +
           "\nUpgrade Version\n  Charger Code:  " + m_upgradeVersion + "\n";
}
