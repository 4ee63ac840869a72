#include "app/WindowClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>

std::uint32_t CWindowClock::NowMs() {
    return platform::ProcessMilliseconds();
}

void CWindowClock::SleepMs(std::uint32_t milliseconds) {
    const std::uint32_t start = NowMs();
    if (QCoreApplication::instance() != nullptr) {
        if (milliseconds == 0) {
            QCoreApplication::processEvents();
            return;
        }
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(milliseconds));
        loop.exec();
    }
    // Whatever ended the loop, the caller gets the whole sleep.
    for (std::uint32_t elapsed = NowMs() - start; elapsed < milliseconds;
         elapsed = NowMs() - start) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds - elapsed));
    }
}
