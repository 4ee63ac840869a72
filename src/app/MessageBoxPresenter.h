// Message box presenter: the window's hook for the error reports' boxes.
//
// Principles of operation
//   While it lives, the presenter is the message-box hook of the platform
//   layer (the previous hook comes back when it ends). A box is a Qt message
//   box with the given caption ("Corvane" when none is given), the text as
//   plain text, an OK button and no icon.
//
//   Every box has an owner: the window that blocks the others at the time
//   (a dialog run modally), else the active window, else the first visible
//   window. It stands on top of that owner and takes input even while the
//   owner runs modally; a box without one sat behind the window, blocked by
//   its modality, with OK, Enter and its close button dead.
//
//   On the user-interface thread the box is shown modally and the call
//   returns when the user closes it, as the reports there expect. A worker
//   thread of the serial port must never wait for the user: its box is posted
//   to the user-interface thread and the call returns at once. The posted box
//   is shown modal to the application but without blocking that thread, so a
//   command that is running goes on; it is the topmost modal window, so the
//   user can always close it. It goes away with its owner.
//
// Threads: Show from any thread; construction and destruction on the
// user-interface thread, after every serial port is closed.
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "platform/MessageBox.h"

class QMessageBox;
class QWidget;

class CMessageBoxPresenter {
public:
    CMessageBoxPresenter();
    ~CMessageBoxPresenter();
    CMessageBoxPresenter(const CMessageBoxPresenter&) = delete;
    CMessageBoxPresenter& operator=(const CMessageBoxPresenter&) = delete;

    void Show(const std::string& text, const std::string& caption);

    // The box for a text and caption, not yet shown, owned by `owner`.
    static std::unique_ptr<QMessageBox> BuildBox(const std::string& text,
                                                 const std::string& caption,
                                                 QWidget* owner = nullptr);
    // The window a box shown now belongs to (null when none is shown).
    static QWidget* BoxOwner();

private:
    QObject m_anchor;  // lives on the user-interface thread; posted boxes go to it
    platform::MessageBoxHook m_previous;
};
