// Message box presenter: the window's hook for the error reports' boxes.
//
// Principles of operation
//   While it lives, the presenter is the message-box hook of the platform
//   layer (the previous hook comes back when it ends). A box is a Qt message
//   box with the given caption ("Corvane" when none is given), the text as
//   plain text, an OK button and no icon.
//
//   On the user-interface thread the box is shown modally and the call
//   returns when the user closes it, as the reports there expect. A worker
//   thread of the serial port must never wait for the user: its box is posted
//   to the user-interface thread and the call returns at once. The posted box
//   is shown without blocking that thread, so a command that is running goes
//   on; the user closes the box when the window takes input again.
//
// Threads: Show from any thread; construction and destruction on the
// user-interface thread, after every serial port is closed.
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "platform/MessageBox.h"

class QMessageBox;

class CMessageBoxPresenter {
public:
    CMessageBoxPresenter();
    ~CMessageBoxPresenter();
    CMessageBoxPresenter(const CMessageBoxPresenter&) = delete;
    CMessageBoxPresenter& operator=(const CMessageBoxPresenter&) = delete;

    void Show(const std::string& text, const std::string& caption);

    // The box for a text and caption, not yet shown.
    static std::unique_ptr<QMessageBox> BuildBox(const std::string& text,
                                                 const std::string& caption);

private:
    QObject m_anchor;  // lives on the user-interface thread; posted boxes go to it
    platform::MessageBoxHook m_previous;
};
