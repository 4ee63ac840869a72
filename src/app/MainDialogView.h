// Main dialog view: the window as the Read and Upgrade commands see it.
//
// Principles of operation
//   The commands write their results through IChargerView; this adapter
//   hands them to the main window: the version strings and the status line
//   and progress bar of its panel, the visibility of its Read and Upgrade
//   buttons, its own painting (OnPaint) and its invalidation. Invalidating
//   does not erase: a repaint shows the panel's surface as it is, status line
//   included. It also keeps what the service records keep: the last status,
//   the highest block sent and the resends.
//
// Threads: user-interface thread only, for the duration of one command.
#pragma once

#include <string>

#include "protocol/ChargerView.h"

class CMainDialog;

class CMainDialogView : public IChargerView {
public:
    explicit CMainDialogView(CMainDialog& dialog) : m_dialog(dialog) {}

    std::string& BootCode() override;
    std::string& ChargerCode() override;
    const std::string& UpgradeVersion() const override;
    void ShowStatus(const std::string& text) override;
    void SetProgress(int position, int total) override;
    void PaintVersions() override;
    void ClearVersions() override;
    void InvalidateWindow() override;
    void PaintWindow() override;
    void ShowUpgradeButton(bool show) override;
    void ShowReadButton(bool show) override;
    void OnBlockSent(int /*block*/, int /*totalBlocks*/, int resends) override {
        m_resends = resends;
    }

    // What the service record keeps of the command.
    const std::string& LastStatus() const { return m_lastStatus; }
    int HighestBlock() const { return m_highestBlock; }
    int Resends() const { return m_resends; }

private:
    CMainDialog& m_dialog;
    std::string m_lastStatus;
    int m_highestBlock = 0;
    int m_resends = 0;
};
