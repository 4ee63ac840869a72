// Port entry notes: beside each entry of the main window's port list, what
// it stands for and whether that device is there.
//
// Principles of operation
//   The list keeps its entries "COM1" to "COM4", and the window keeps
//   storing the chosen name; only the dropped list shows more: each entry's
//   device and "present" or "absent" ("COM2  (/dev/ttyUSB0, present)"), or
//   "simulated charger" when the run talks to the built-in simulation. The
//   notes are taken afresh each time the list drops down and whenever
//   Refresh is called (after the port setup), so they follow plugging
//   without watching. The field's tool tip tells the same of the chosen
//   entry.
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>

#include <string>

class QComboBox;

class CPortEntryNotes : public QObject {
public:
    // Installs itself on the list; the list owns it.
    explicit CPortEntryNotes(QComboBox& list);

    // Every port talks to the simulated charger in this run.
    void SetSimulated(bool simulated);
    void Refresh();

    // What an entry stands for, as its note shows it.
    QString NoteFor(const QString& entry) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateToolTip();

    QComboBox& m_list;
    bool m_simulated = false;
};
