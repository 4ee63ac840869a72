#include "diagnostics/MonitorDialog.h"

#include <QPaintEvent>
#include <QShowEvent>
#include <QTimer>

#include "app/VersionPanel.h"
#include "diagnostics/DialogUnits.h"
#include "serial/SerialPort.h"

CMonitorDialog::CMonitorDialog(QWidget* parent)
    : QDialog(parent), m_panel(std::make_unique<CVersionPanel>()) {
    setWindowTitle(QStringLiteral("Charger Variables"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(CDialogUnits::DialogFont());
    setFixedSize(CDialogUnits(font()).Size(184, 220));

    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerPeriodMs);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

CMonitorDialog::~CMonitorDialog() {
    OnDestroy();
}

void CMonitorDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

bool CMonitorDialog::OnInitDialog() {
    // Open reports its own failures; the window then simply shows zeros.
    if (m_pPort != nullptr) {
        m_pPort->Open();
    }
    m_panel->AttachWindow(this);
    m_panel->ResetVariables();
    m_timer->start();
    if (m_pPort != nullptr && m_pPort->IsOpen()) {
        m_pPort->WriteString(CVariableReport::kRequest);
    }
    m_report.Clear();
    return true;
}

void CMonitorDialog::OnTimer() {
    // One line per tick: what follows its CR waits in the port's ring.
    if (m_pPort != nullptr && m_report.Tick(*m_pPort, m_panel->m_vars)) {
        m_panel->PaintVariables();
    }
}

const ChargerVariables& CMonitorDialog::Variables() const {
    return m_panel->m_vars;
}

bool CMonitorDialog::IsTimerActive() const {
    return m_timer->isActive();
}

void CMonitorDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    m_panel->PaintVariables();
}

void CMonitorDialog::done(int result) {
    OnDestroy();
    QDialog::done(result);
}

void CMonitorDialog::OnDestroy() {
    m_timer->stop();
    m_initialised = false;
    if (m_pPort != nullptr && m_pPort->IsOpen()) {
        m_pPort->Close();
    }
}
