#include "app/WindowTools.h"

#include <QMenu>

#include "app/BenchWindow.h"
#include "app/HistoryDialog.h"
#include "app/MainDialog.h"
#include "app/PortComboBox.h"
#include "app/PortEntryNotes.h"
#include "app/PortSetupDialog.h"

CWindowTools* CWindowTools::Install(CMainDialog& window) {
    return new CWindowTools(window);
}

CWindowTools::CWindowTools(CMainDialog& window) : QObject(&window), m_window(window) {
    m_notes = new CPortEntryNotes(*m_window.m_comboPort);
    m_notes->SetSimulated(!m_window.m_strSimulatedDevice.empty());
    m_window.m_menuSystem->addSeparator();
    m_portSetup = m_window.m_menuSystem->addAction(QStringLiteral("&Port Setup..."));
    connect(m_portSetup, &QAction::triggered, this, [this] { OnPortSetup(); });
    m_bench = m_window.m_menuSystem->addAction(QStringLiteral("&Bench..."));
    connect(m_bench, &QAction::triggered, this, [this] { OnBench(); });
    m_history = m_window.m_menuSystem->addAction(QStringLiteral("&History..."));
    connect(m_history, &QAction::triggered, this, [this] { OnHistory(); });
}

void CWindowTools::OnPortSetup() {
    CPortSetupDialog setup(&m_window);
    m_window.RunModal(setup);
    m_notes->Refresh();
}

void CWindowTools::OnBench() {
    CBenchWindow bench(&m_window);
    m_window.RunModal(bench);
}

void CWindowTools::OnHistory() {
    // Beside the window rather than modal: it reads no port, and it shows
    // the records the window writes while it is open. One at a time.
    for (QObject* child : m_window.children()) {
        if (auto* open = dynamic_cast<CHistoryDialog*>(child)) {
            open->raise();
            open->activateWindow();
            return;
        }
    }
    auto* history = new CHistoryDialog(&m_window);
    history->setAttribute(Qt::WA_DeleteOnClose);
    history->show();
}
