// Trends controls: the widgets of the trends window and their layout.
//
// Principles of operation
//   Build makes the window's controls, as children of the window, and lays
//   them out: the value list on the left (every name in full, ticked values
//   drawn), the strips in a scroll area above the time band and the time
//   scroll bar, the row of buttons and the
//   status line under them. It connects nothing: the window wires the
//   controls to its own handlers.
//
// Threads: user-interface thread only.
#pragma once

class CTrendStrips;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollBar;
class QWidget;

struct CTrendsControls {
    // The span shown when none is stored, in seconds.
    static constexpr int kDefaultSpanSeconds = 600;

    QListWidget* values = nullptr;
    CTrendStrips* strips = nullptr;
    QScrollBar* scroll = nullptr;
    QComboBox* span = nullptr;
    QPushButton* pause = nullptr;
    QPushButton* record = nullptr;
    QPushButton* close = nullptr;
    QLabel* status = nullptr;

    static CTrendsControls Build(QWidget& window);
};
