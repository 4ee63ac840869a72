#include "diagnostics/MonitorDialog.h"

#include <QLabel>
#include <QPaintEvent>
#include <QShowEvent>
#include <QTimer>

#include "app/VersionPanel.h"
#include "diagnostics/DialogUnits.h"
#include "serial/SerialPort.h"

namespace {

// The notice sits in the band under the sixteen rows.
constexpr int kNoticeMarginPx = 10;
constexpr int kNoticeHeightPx = 20;

}  // namespace

CMonitorDialog::CMonitorDialog(QWidget* parent)
    : QDialog(parent),
      m_panel(std::make_unique<CVersionPanel>()),
      m_clock(&platform::SystemClock()),
      m_wallClock(SystemWallTime) {
    setWindowTitle(QStringLiteral("Charger Variables"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(CDialogUnits::DialogFont());
    setFixedSize(CDialogUnits(font()).Size(184, 220));

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setGeometry(kNoticeMarginPx, height() - kNoticeMarginPx - kNoticeHeightPx,
                          width() - 2 * kNoticeMarginPx, kNoticeHeightPx);

    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerPeriodMs);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

CMonitorDialog::~CMonitorDialog() {
    OnDestroy();
}

void CMonitorDialog::SetClocks(platform::IClock& clock, WallClock wallClock) {
    m_clock = &clock;
    m_wallClock = std::move(wallClock);
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
    m_reportNotice.Reset();
    UpdateNotice();
    return true;
}

void CMonitorDialog::OnTimer() {
    if (m_pPort != nullptr) {
        const auto onReport = [this](const ChargerVariables&) {
            m_reportNotice.OnReport(m_clock->NowMs(), m_wallClock());
        };
        // Every complete line is taken; the rows end up showing the newest.
        if (m_report.Tick(*m_pPort, m_panel->m_vars, onReport).lines > 0) {
            m_panel->PaintVariables();
        }
    }
    UpdateNotice();
}

void CMonitorDialog::UpdateNotice() {
    m_notice->setText(QString::fromStdString(m_reportNotice.Text(m_clock->NowMs())));
}

QString CMonitorDialog::NoticeText() const {
    return m_notice->text();
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
