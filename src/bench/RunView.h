// Run view: what one bench job's commands show, kept for that job.
//
// Principles of operation
//   Read and Upgrade write their versions, status texts and progress to a
//   view. A bench job gives them this one: status texts and blocks are
//   passed on to the job (which tells the bench's observer), the Upgrade
//   button becomes a flag the job reads, and the message boxes of the job's
//   threads are collected as the job's messages. CancelRequested answers the
//   job's own stop request.
//
// Threads: the job's thread calls the view's commands; AddMessage may also
// come from the job's port workers and takes a lock.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/ChargerView.h"

namespace bench {

class CRunView : public IChargerView {
public:
    struct Listener {
        std::function<void(const std::string& status)> onStatus;
        std::function<void(int block, int total, int resends)> onBlock;
        std::function<bool()> stopRequested;
    };

    CRunView(std::string upgradeVersion, Listener listener);

    std::string& BootCode() override { return m_bootCode; }
    std::string& ChargerCode() override { return m_chargerCode; }
    const std::string& UpgradeVersion() const override { return m_upgradeVersion; }

    void ShowStatus(const std::string& text) override;
    void SetProgress(int, int) override {}
    void PaintVersions() override {}
    void InvalidateWindow() override {}
    void PaintWindow() override {}
    void ShowUpgradeButton(bool show) override { m_upgradeOffered = show; }
    void ShowReadButton(bool) override {}
    void OnBlockSent(int block, int totalBlocks, int resends) override;
    void OnUploadEnded(UploadState state) override { m_uploadState = state; }
    bool CancelRequested() override;

    // A message box of the job, from any of its threads.
    void AddMessage(const std::string& text);
    std::vector<std::string> Messages() const;

    const std::string& LastStatus() const { return m_lastStatus; }
    bool UpgradeOffered() const { return m_upgradeOffered; }
    int HighestBlock() const { return m_highestBlock; }
    int TotalBlocks() const { return m_totalBlocks; }
    int Resends() const { return m_resends; }
    // WaitForStart until an upload ended.
    UploadState UploadEnd() const { return m_uploadState; }

private:
    std::string m_upgradeVersion;
    Listener m_listener;
    std::string m_bootCode;
    std::string m_chargerCode;
    std::string m_lastStatus;
    bool m_upgradeOffered = false;
    int m_highestBlock = 0;
    int m_totalBlocks = 0;
    int m_resends = 0;
    UploadState m_uploadState = UploadState::WaitForStart;
    mutable std::mutex m_messageLock;
    std::vector<std::string> m_messages;
};

}  // namespace bench
