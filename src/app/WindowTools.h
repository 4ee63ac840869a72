// Window tools: the port setup, the bench and the history, as the main
// window offers them.
//
// Principles of operation
//   The main window hands itself over once it has initialised. The tools
//   then add their items to the window's menu ("&Port Setup...",
//   "&Bench...", "&History..."), and put the notes beside the port list's
//   entries. The port setup and the bench run modally when chosen, so that
//   the main window's port stays closed while they work; the history touches
//   no port and is shown beside the window (chosen again, it is raised).
//   After the port setup the notes are taken afresh, as a mapping may have
//   changed.
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>

class CMainDialog;
class CPortEntryNotes;
class QAction;

class CWindowTools : public QObject {
public:
    // Installs the tools into the window, which owns them.
    static CWindowTools* Install(CMainDialog& window);

    QAction* PortSetupAction() const { return m_portSetup; }
    QAction* BenchAction() const { return m_bench; }
    QAction* HistoryAction() const { return m_history; }
    CPortEntryNotes* Notes() const { return m_notes; }

    void OnPortSetup();
    void OnBench();
    void OnHistory();

private:
    explicit CWindowTools(CMainDialog& window);

    CMainDialog& m_window;
    CPortEntryNotes* m_notes = nullptr;
    QAction* m_portSetup = nullptr;
    QAction* m_bench = nullptr;
    QAction* m_history = nullptr;
};
