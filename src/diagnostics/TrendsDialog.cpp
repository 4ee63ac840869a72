#include "diagnostics/TrendsDialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include "diagnostics/TrendSettings.h"
#include "diagnostics/TrendStrips.h"
#include "diagnostics/TrendsControls.h"
#include "serial/SerialPort.h"

CTrendsDialog::CTrendsDialog(QWidget* parent)
    : QDialog(parent), m_clock(&platform::SystemClock()), m_wallClock(SystemWallTime) {
    setWindowTitle(QStringLiteral("Charger Trends"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    BuildControls();
    LoadSettings();
    resize(960, 620);

    m_timer = new QTimer(this);
    m_timer->setInterval(static_cast<int>(CReportFeed::kPollMs));
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

CTrendsDialog::~CTrendsDialog() {
    OnDestroy();
}

void CTrendsDialog::BuildControls() {
    const CTrendsControls c = CTrendsControls::Build(*this);
    m_rows = c.values;
    m_strips = c.strips;
    m_scroll = c.scroll;
    m_span = c.span;
    m_btnPause = c.pause;
    m_btnRecord = c.record;
    m_status = c.status;
    m_spanSeconds = CTrendsControls::kDefaultSpanSeconds;
    connect(m_rows, &QListWidget::itemChanged, this, [this] { OnTicksChanged(); });
    connect(m_scroll, &QScrollBar::valueChanged, this, [this] { OnScrolled(); });
    connect(m_span, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetSpanSeconds(m_span->itemData(index).toInt()); });
    connect(m_btnPause, &QPushButton::clicked, this, [this] { SetPaused(!m_paused); });
    connect(m_btnRecord, &QPushButton::clicked, this, [this] { OnRecordClicked(); });
    connect(c.close, &QPushButton::clicked, this, &QDialog::reject);
}

// The ticks and the span stored last time; the defaults when none are.
void CTrendsDialog::LoadSettings() {
    // Unless told otherwise: the charge's own curve, Charge Current and
    // Battery Voltage, over ten minutes.
    const TrendChoice choice =
        CTrendSettings::Load({{13, 14}, CTrendsControls::kDefaultSpanSeconds});
    m_loading = true;
    for (const int row : choice.rows) {
        m_rows->item(row)->setCheckState(Qt::Checked);
    }
    const int index = m_span->findData(choice.spanSeconds);
    if (index >= 0) {
        m_span->setCurrentIndex(index);
        m_spanSeconds = choice.spanSeconds;
    }
    m_loading = false;
}

void CTrendsDialog::SaveSettings() const {
    if (m_loading) {
        return;
    }
    TrendChoice choice{{}, m_spanSeconds};
    for (int row = 0; row < kVariableRows; ++row) {
        if (IsPlotted(row)) {
            choice.rows.push_back(row);
        }
    }
    CTrendSettings::Save(choice);
}

void CTrendsDialog::OnTicksChanged() {
    SaveSettings();
    DrawChart();
}

void CTrendsDialog::OwnPort(std::unique_ptr<CSerialPort> port) {
    m_ownPort = std::move(port);
    m_pPort = m_ownPort.get();
}

void CTrendsDialog::SetClocks(platform::IClock& clock, WallClock wallClock) {
    m_clock = &clock;
    m_wallClock = std::move(wallClock);
}

void CTrendsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

void CTrendsDialog::OnInitDialog() {
    m_series.Clear();
    m_notice.Reset();
    m_linkText.clear();
    m_following = true;
    m_timer->start();
    if (m_pPort == nullptr) {
        UpdateStatus();
        return;
    }
    m_feed = std::make_unique<CReportFeed>(*m_pPort, *m_clock);
    m_feed->SetHandlers({[this](const ChargerVariables& vars) { OnReport(vars); },
                         [this] { OnLost(); }, [this] { OnBack(); }});
    // A port that does not open (reported by the port) counts as unplugged:
    // the window waits for the device like after losing it.
    if (!m_feed->Start(m_strDevicePath)) {
        m_linkText = QStringLiteral("Waiting for %1").arg(QString::fromStdString(m_strDevicePath));
    }
    m_lastRedrawMs = m_clock->NowMs();
    Redraw();
}

bool CTrendsDialog::IsTimerActive() const {
    return m_timer->isActive();
}

void CTrendsDialog::OnTimer() {
    // A box shown on this thread (a port that fails to reopen) runs its own
    // event loop, which delivers timer ticks: one poll at a time.
    if (m_inTimer || !m_feed) {
        return;
    }
    m_inTimer = true;
    m_feed->Poll();
    const std::uint32_t now = m_clock->NowMs();
    if (now - m_lastRedrawMs >= static_cast<std::uint32_t>(kRedrawMs)) {
        m_lastRedrawMs = now;
        if (m_changed && !m_paused) {
            m_changed = false;
            Redraw();
        }
        if (m_recorder.IsOpen() && !m_recorder.Sync()) {
            RecordFailed();
        }
    }
    UpdateStatus();
    m_inTimer = false;
}

void CTrendsDialog::OnReport(const ChargerVariables& vars) {
    const WallTimePoint when = m_wallClock();
    m_notice.OnReport(m_clock->NowMs(), when);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    m_series.Append(static_cast<double>(ms.count()), vars);
    m_changed = true;
    if (m_recorder.IsOpen() && !m_recorder.Record(when, vars)) {
        RecordFailed();
    }
}

void CTrendsDialog::OnLost() {
    const WallTimePoint when = m_wallClock();
    m_series.Break();
    m_linkText =
        QStringLiteral("Link lost at %1; waiting for %2 to come back")
            .arg(QString::fromStdString(ClockTime(when)), QString::fromStdString(m_strDevicePath));
    if (m_recorder.IsOpen() && !m_recorder.LinkLost(when)) {
        RecordFailed();
    }
    UpdateStatus();
}

void CTrendsDialog::OnBack() {
    m_linkText.clear();
    if (m_recorder.IsOpen() && !m_recorder.LinkBack(m_wallClock())) {
        RecordFailed();
    }
    UpdateStatus();
}

void CTrendsDialog::OnRecordClicked() {
    if (m_recorder.IsOpen()) {
        StopRecording();
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Record the Charger's Reports"), QStringLiteral("charger.csv"),
        QStringLiteral("CSV (*.csv);;JSON lines (*.jsonl);;All files (*)"));
    if (!path.isEmpty()) {
        StartRecording(path.toStdString());
    }
}

bool CTrendsDialog::StartRecording(const std::string& path) {
    if (!m_recorder.Open(path)) {
        m_recordText = QString::fromStdString(m_recorder.Error());
        UpdateStatus();
        return false;
    }
    m_recordText = QStringLiteral("Recording to %1").arg(QString::fromStdString(path));
    m_btnRecord->setText(QStringLiteral("Stop &Recording"));
    UpdateStatus();
    return true;
}

void CTrendsDialog::StopRecording() {
    m_recorder.Close();
    m_recordText.clear();
    m_btnRecord->setText(QStringLiteral("&Record..."));
    UpdateStatus();
}

void CTrendsDialog::RecordFailed() {
    const QString reason = QString::fromStdString(m_recorder.Error());
    StopRecording();
    m_recordText = QStringLiteral("Recording stopped: %1").arg(reason);
    UpdateStatus();
}

void CTrendsDialog::SetPaused(bool paused) {
    m_paused = paused;
    m_btnPause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    if (!paused) {
        m_following = true;
        Redraw();
    }
    UpdateStatus();
}

void CTrendsDialog::SetPlotted(int row, bool plotted) {
    m_rows->item(row)->setCheckState(plotted ? Qt::Checked : Qt::Unchecked);
}

bool CTrendsDialog::IsPlotted(int row) const {
    return m_rows->item(row)->checkState() == Qt::Checked;
}

void CTrendsDialog::SetSpanSeconds(int seconds) {
    m_spanSeconds = std::max(1, seconds);
    const int index = m_span->findData(m_spanSeconds);
    if (index >= 0 && index != m_span->currentIndex()) {
        m_span->setCurrentIndex(index);
    }
    SaveSettings();
    UpdateView();
    DrawChart();
}

void CTrendsDialog::OnScrolled() {
    if (m_scroll->signalsBlocked()) {
        return;
    }
    m_following = m_scroll->value() == m_scroll->maximum();
    UpdateView();
    DrawChart();
}

// The window of time on show: the newest span while following, else where
// the scroll bar stands (in whole seconds from the first report).
void CTrendsDialog::UpdateView() {
    const double spanMs = m_spanSeconds * 1000.0;
    if (m_series.Size() == 0) {
        const auto now =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_wallClock().time_since_epoch());
        m_viewToMs = static_cast<double>(now.count());
        m_viewFromMs = m_viewToMs - spanMs;
        UpdateScrollBar();
        return;
    }
    const double first = m_series.TimeAt(0);
    const double last = m_series.TimeAt(m_series.Size() - 1);
    UpdateScrollBar();
    // The view ends at the newest report while it follows, and also while
    // the reports span less than the view: the time axis never runs ahead
    // of the data into the future.
    if (m_following || last - first <= spanMs) {
        m_viewFromMs = last - spanMs;
    } else {
        m_viewFromMs = first + m_scroll->value() * 1000.0;
    }
    m_viewToMs = m_viewFromMs + spanMs;
}

void CTrendsDialog::UpdateScrollBar() {
    const QSignalBlocker quiet(m_scroll);
    const double spanMs = m_spanSeconds * 1000.0;
    const double total =
        m_series.Size() == 0 ? 0.0 : m_series.TimeAt(m_series.Size() - 1) - m_series.TimeAt(0);
    const int maximum = static_cast<int>(std::ceil(std::max(0.0, total - spanMs) / 1000.0));
    m_scroll->setRange(0, maximum);
    m_scroll->setPageStep(m_spanSeconds);
    if (m_following) {
        m_scroll->setValue(maximum);
    }
}

void CTrendsDialog::Redraw() {
    if (!m_paused) {
        UpdateView();
    }
    DrawChart();
}

void CTrendsDialog::DrawChart() {
    std::vector<int> rows;
    for (int row = 0; row < kVariableRows; ++row) {
        if (IsPlotted(row)) {
            rows.push_back(row);
        }
    }
    m_strips->SetData(m_series, rows, m_viewFromMs, m_viewToMs);
}

std::vector<QList<QPointF>> CTrendsDialog::Plotted(int row) const {
    return m_strips->Plotted(row);
}

void CTrendsDialog::UpdateStatus() {
    QStringList parts;
    if (m_paused) {
        parts << QStringLiteral("Paused");
    }
    const QString notice = QString::fromStdString(m_notice.Text(m_clock->NowMs()));
    if (!m_linkText.isEmpty()) {
        parts << m_linkText;
    } else if (!notice.isEmpty()) {
        parts << notice;
    }
    if (!m_recordText.isEmpty()) {
        parts << m_recordText;
    }
    parts << QStringLiteral("%1 reports").arg(m_series.Size());
    m_status->setText(parts.join(QStringLiteral("    ")));
}

QString CTrendsDialog::StatusText() const {
    return m_status->text();
}

void CTrendsDialog::done(int result) {
    OnDestroy();
    QDialog::done(result);
}

void CTrendsDialog::OnDestroy() {
    m_timer->stop();
    m_initialised = false;
    if (m_feed) {
        m_feed->Stop();
        m_feed.reset();
    }
    m_recorder.Close();
}
