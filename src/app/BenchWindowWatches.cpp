// The bench window's watches: one path watch per Ports pattern while the
// window watches, each read on the window's thread through a socket notifier;
// a charger that appears is plugged into the bench, one that goes is unplugged.
#include <QLabel>
#include <QSocketNotifier>

#include "app/BenchWindow.h"
#include "bench/Bench.h"
#include "platform/PathWatch.h"

bool CBenchWindow::StartWatches(const std::vector<std::string>& patterns,
                                std::vector<std::string>& present) {
    for (const std::string& pattern : patterns) {
        auto watch = std::make_unique<platform::CPathWatch>(pattern);
        std::string error;
        if (!watch->Start(error)) {
            StopWatches();
            m_labelSummary->setText(QString::fromStdString(error));
            return false;
        }
        const auto now = watch->Present();
        present.insert(present.end(), now.begin(), now.end());
        auto* notifier = new QSocketNotifier(watch->Fd(), QSocketNotifier::Read, this);
        platform::CPathWatch* watched = watch.get();
        connect(notifier, &QSocketNotifier::activated, this,
                [this, watched] { OnWatchEvents(*watched); });
        m_watchNotifiers.push_back(notifier);
        m_watches.push_back(std::move(watch));
    }
    return true;
}

void CBenchWindow::StopWatches() {
    for (QSocketNotifier* notifier : m_watchNotifiers) {
        delete notifier;
    }
    m_watchNotifiers.clear();
    m_watches.clear();
}

void CBenchWindow::OnWatchEvents(platform::CPathWatch& watch) {
    for (const auto& event : watch.Drain()) {
        if (!m_bench) {
            return;
        }
        if (event.kind == platform::PathEvent::Kind::Appeared) {
            m_bench->Plug(event.path);
        } else {
            m_bench->Unplug(event.path);
        }
    }
}
