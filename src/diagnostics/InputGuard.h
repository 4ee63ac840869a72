// Input guard: drops the user's input to a window while a command runs in it.
//
// Principles of operation
//   Read and Upgrade run synchronously in the main window, and the CRC check
//   reads its file synchronously in its own; while they work, they run the
//   event loop so the window keeps painting and can be moved. Input that reaches the window
//   meanwhile (mouse, keys, wheel, shortcuts, the close box) must not be carried out when the
//   command ends: a click on Exit would close the window over the command's
//   verdict, three clicks on Read would run three reads, a click on Select
//   File would start a second check inside the first. While a guard is
//   alive, it filters the application's events and discards those that
//   target its window. A message box shown by the command is a window of its
//   own and gets its input; so does any window on top of it.
//
//   Discard() runs the events that are waiting, so that input that arrived
//   after the command's last wait is dropped too, before the guard goes.
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>

class QWidget;

class CInputGuard : public QObject {
public:
    explicit CInputGuard(QWidget& window);
    ~CInputGuard() override;
    CInputGuard(const CInputGuard&) = delete;
    CInputGuard& operator=(const CInputGuard&) = delete;

    // Delivers the waiting events; input to the window among them is dropped.
    void Discard();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool TargetsWindow(QObject* receiver, int type) const;

    QWidget& m_window;
};
