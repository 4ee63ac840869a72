// Port combo box: the port list with an edit field, which reports the
// closing of its dropped list.
//
// Principles of operation
//   The main window rewrites the port field, and takes its text as the port,
//   whenever the selected entry changes (list, arrow keys, wheel), whenever
//   the user types into it and whenever the dropped list closes up. The widget kit closes the list
//   before it applies the entry the user picked, so the close-up is reported
//   a moment later, from the event queue, when the pick has been applied.
//   Typed text is never inserted as a new entry and is not completed.
//
// Threads: user-interface thread only.
#pragma once

#include <QComboBox>

#include <functional>

class CPortComboBox : public QComboBox {
public:
    explicit CPortComboBox(QWidget* parent = nullptr);

    // Runs after the dropped list has closed up (whether or not anything was picked).
    std::function<void()> onCloseUp;

    void hidePopup() override;
};
