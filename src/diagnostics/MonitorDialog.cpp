#include "diagnostics/MonitorDialog.h"

#include <QLabel>
#include <QPaintEvent>
#include <QShowEvent>
#include <QTimer>

#include "diagnostics/DialogUnits.h"
#include "diagnostics/VersionPanel.h"
#include "serial/PortName.h"
#include "serial/SerialPort.h"

namespace {

// The notice has a band of its own under the sixteen rows.
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
    // The template's size, made taller where the rows and the notice's band
    // would not fit in it.
    const QSize templateSize = CDialogUnits(font()).Size(184, 220);
    const int noticeTop = CVersionPanel::VariableRowsBottom() + kNoticeMarginPx / 2;
    setFixedSize(templateSize.width(),
                 std::max(templateSize.height(), noticeTop + kNoticeHeightPx + kNoticeMarginPx));

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setGeometry(kNoticeMarginPx, noticeTop, width() - 2 * kNoticeMarginPx,
                          kNoticeHeightPx);

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
    m_panel->AttachWindow(this);
    m_panel->ResetVariables();
    m_reportNotice.Reset();
    m_linkText.clear();
    m_timer->start();
    if (m_pPort != nullptr) {
        const std::string device =
            m_strDevicePath.empty() ? ResolvePortName(m_pPort->GetPortName()) : m_strDevicePath;
        m_feed = std::make_unique<CReportFeed>(*m_pPort, *m_clock);
        m_feed->SetHandlers(
            {[this](const ChargerVariables&) {
                 m_reportNotice.OnReport(m_clock->NowMs(), m_wallClock());
             },
             [this] { m_linkText = QStringLiteral("Link lost; waiting for the charger"); },
             [this] { m_linkText.clear(); }});
        // A port that does not open was reported once by the feed; the window
        // shows zeros and waits for the device as after an unplug.
        if (!m_feed->Start(device)) {
            m_linkText = QStringLiteral("Waiting for the charger");
        }
    }
    UpdateNotice();
    return true;
}

void CMonitorDialog::OnTimer() {
    if (m_feed) {
        const int before = m_feed->LinesReceived();
        m_feed->Poll();
        // Every complete line is taken; the rows end up showing the newest.
        if (m_feed->LinesReceived() != before) {
            m_panel->m_vars = m_feed->Variables();
            m_panel->PaintVariables();
        }
    }
    UpdateNotice();
}

void CMonitorDialog::UpdateNotice() {
    const QString notice = QString::fromStdString(m_reportNotice.Text(m_clock->NowMs()));
    m_notice->setText(m_linkText.isEmpty() ? notice : m_linkText);
}

QRect CMonitorDialog::NoticeRect() const {
    return m_notice->geometry();
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
    if (m_feed) {
        m_feed->Stop();
        m_feed.reset();
    }
    if (m_pPort != nullptr && m_pPort->IsOpen()) {
        m_pPort->Close();
    }
}
