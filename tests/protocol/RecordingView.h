// Recording view: a charger view that remembers everything shown on it.
//
// Principles of operation
//   The commands write their results through IChargerView; this one keeps
//   the version strings like the window's panel does and records every other
//   call, in order, as a short text ("status:Upgrading", "upgrade:shown",
//   "progress:57/101", "paint", ...), so a test can check both the final
//   picture and the order in which it was drawn.
//
// Threads: used on the thread that runs the command.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "protocol/ChargerView.h"

class CRecordingView : public IChargerView {
public:
    CRecordingView();

    std::string& BootCode() override { return m_bootCode; }
    std::string& ChargerCode() override { return m_chargerCode; }
    const std::string& UpgradeVersion() const override { return m_upgradeVersion; }

    void ShowStatus(const std::string& text) override;
    void SetProgress(int position, int total) override;
    void PaintVersions() override;
    void InvalidateWindow() override;
    void PaintWindow() override;
    void ShowUpgradeButton(bool show) override;
    void ShowReadButton(bool show) override;
    void OnBlockSent(int block, int totalBlocks, int resends) override;
    void OnUploadEnded(UploadState state) override;
    bool CancelRequested() override { return cancelWhen && cancelWhen(); }

    const std::vector<std::string>& Events() const { return m_events; }
    // The status texts alone, in order.
    std::vector<std::string> Statuses() const;
    // The last status shown, "" when none.
    std::string LastStatus() const;
    std::vector<std::pair<int, int>> ProgressCalls() const { return m_progress; }
    bool UpgradeShown() const { return m_upgradeShown; }
    bool ReadShown() const { return m_readShown; }
    int ButtonCalls(bool upgradeButton) const;
    // (block, resends) of every block the upload queued.
    const std::vector<std::pair<int, int>>& BlocksSent() const { return m_blocks; }
    // Index of the first event equal to text, -1 when absent.
    int IndexOf(const std::string& text) const;

    void SetUpgradeVersion(std::string version) { m_upgradeVersion = std::move(version); }

    // Optional observers, run as the call arrives (e.g. to count boxes shown
    // so far, or sleeps taken so far).
    std::function<void(const std::string& text)> onStatus;
    std::function<void(int block)> onBlockSent;
    // The user's stop request, asked between the command's waits.
    std::function<bool()> cancelWhen;

private:
    std::string m_bootCode;
    std::string m_chargerCode;
    std::string m_upgradeVersion;
    std::vector<std::string> m_events;
    std::vector<std::pair<int, int>> m_progress;
    std::vector<std::pair<int, int>> m_blocks;
    bool m_upgradeShown = false;
    bool m_readShown = true;
};

// Lets the test framework print states by name.
inline void PrintTo(UploadState state, std::ostream* os) {
    *os << UploadStateName(state);
}
