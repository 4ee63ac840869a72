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

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/ChargerView.h"
#include "protocol/UpgradeImage.h"

class CRecordingView : public IChargerView {
public:
    std::string& BootCode() override { return m_bootCode; }
    std::string& ChargerCode() override { return m_chargerCode; }
    const std::string& UpgradeVersion() const override { return m_upgradeVersion; }

    void ShowStatus(const std::string& text) override {
        events.push_back("status:" + text);
        onStatus(text);
    }
    void SetProgress(int position, int total) override {
        progress.emplace_back(position, total);
        events.push_back("progress:" + std::to_string(position) + "/" + std::to_string(total));
    }
    void PaintVersions() override { events.emplace_back("paintVersions"); }
    void InvalidateWindow() override { events.emplace_back("invalidate"); }
    void PaintWindow() override { events.emplace_back("paintWindow"); }
    void ShowUpgradeButton(bool show) override {
        upgradeShown = show;
        events.push_back(show ? "upgrade:shown" : "upgrade:hidden");
    }
    void ShowReadButton(bool show) override {
        readShown = show;
        events.push_back(show ? "read:shown" : "read:hidden");
    }
    void OnBlockSent(int block, int /*totalBlocks*/, int /*resends*/) override {
        blocks.push_back(block);
        onBlockSent(block);
    }
    void OnUploadEnded(UploadState state) override {
        events.push_back(std::string("uploadEnded:") + UploadStateName(state));
    }
    bool CancelRequested() override { return cancelWhen(); }

    // The status texts alone, in order.
    std::vector<std::string> Statuses() const {
        std::vector<std::string> statuses;
        for (const auto& event : events) {
            if (event.rfind("status:", 0) == 0) {
                statuses.push_back(event.substr(7));
            }
        }
        return statuses;
    }
    std::string LastStatus() const {
        const auto statuses = Statuses();
        return statuses.empty() ? std::string() : statuses.back();
    }
    // Index of the first event equal to text, -1 when absent.
    int IndexOf(const std::string& text) const {
        const auto it = std::find(events.begin(), events.end(), text);
        return it == events.end() ? -1 : static_cast<int>(it - events.begin());
    }

    std::vector<std::string> events;
    std::vector<std::pair<int, int>> progress;
    std::vector<int> blocks;  // every block the upload queued, resends included
    bool upgradeShown = false;
    bool readShown = true;
    // Observers run as the call arrives, and the user's stop request.
    std::function<void(const std::string& text)> onStatus = [](const std::string&) {};
    std::function<void(int block)> onBlockSent = [](int) {};
    std::function<bool()> cancelWhen = [] { return false; };

private:
    std::string m_bootCode;
    std::string m_chargerCode;
    std::string m_upgradeVersion = ::UpgradeVersion();
};
