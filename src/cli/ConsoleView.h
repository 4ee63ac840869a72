// Console view: the command line's face of the Read and Upgrade commands.
//
// Principles of operation
//   The commands write to the same view seam as the window. Here each status
//   text becomes one line on standard output, the version panel becomes the
//   window's labels and values, the progress bar becomes a CProgressLine on
//   standard error, and the buttons become flags the command reads to decide
//   its exit code. With --json nothing is printed as it happens; the command
//   prints one object at the end from what was recorded. Standard output
//   that can no longer be written stops the command like Ctrl-C does.
//
// Threads: the command line's main thread.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/ProgressLine.h"
#include "platform/Clock.h"
#include "protocol/ChargerView.h"

class CConsoleView : public IChargerView {
public:
    CConsoleView(bool printAsItHappens, CProgressLine& progress, platform::IClock& clock);

    std::string& BootCode() override { return m_bootCode; }
    std::string& ChargerCode() override { return m_chargerCode; }
    const std::string& UpgradeVersion() const override { return m_upgradeVersion; }
    // The label of the image the command compares with (the carried one's
    // unless set).
    void SetUpgradeVersion(const std::string& label) { m_upgradeVersion = label; }

    void ShowStatus(const std::string& text) override;
    void SetProgress(int position, int total) override;
    void PaintVersions() override;
    void InvalidateWindow() override {}
    void PaintWindow() override {}
    void ShowUpgradeButton(bool show) override { m_upgradeOffered = show; }
    void ShowReadButton(bool) override {}  // the command line has no buttons to hide
    void OnBlockSent(int, int, int resends) override { m_resends = resends; }
    bool CancelRequested() override;

    const std::string& BootCodeText() const { return m_bootCode; }
    const std::string& ChargerCodeText() const { return m_chargerCode; }
    const std::vector<std::string>& Statuses() const { return m_statuses; }
    std::string LastStatus() const { return m_statuses.empty() ? "" : m_statuses.back(); }
    bool UpgradeOffered() const { return m_upgradeOffered; }
    int HighestBlock() const { return m_highestBlock; }
    int Resends() const { return m_resends; }

    // The version panel as the window shows it, one label and value a line.
    std::string VersionsText() const;

private:
    bool m_print;
    CProgressLine& m_progress;
    platform::IClock& m_clock;
    std::string m_bootCode;
    std::string m_chargerCode;
    std::string m_upgradeVersion;
    std::vector<std::string> m_statuses;
    bool m_upgradeOffered = false;
    int m_total = 0;
    int m_highestBlock = 0;
    int m_resends = 0;
    std::uint32_t m_uploadStart = 0;
};
