#include "diagnostics/TrendsDialog.h"

#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QColor>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPen>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

#include "serial/SerialPort.h"

namespace {

// The rows ticked when the window opens: the charge's own curve.
constexpr int kDefaultRows[] = {13, 14};  // Charge Current, Battery Voltage

const struct {
    const char* text;
    int seconds;
} kSpans[] = {{"1 minute", 60},
              {"10 minutes", 600},
              {"1 hour", 3600},
              {"6 hours", 21600},
              {"24 hours", 86400}};
constexpr int kDefaultSpan = 1;  // 10 minutes

// Columns to decimate for while the chart has no size yet.
constexpr int kFallbackColumns = 800;

QColor RowColour(int row) {
    // Hues spread by the golden angle: neighbours in the list look different.
    const int hue = static_cast<int>(std::fmod(row * 137.508, 360.0));
    return QColor::fromHsv(hue, 200, row % 2 == 0 ? 200 : 150);
}

}  // namespace

CTrendsDialog::CTrendsDialog(QWidget* parent)
    : QDialog(parent), m_clock(&platform::SystemClock()), m_wallClock(SystemWallTime) {
    setWindowTitle(QStringLiteral("Charger Trends"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    BuildControls();
    resize(960, 560);

    m_timer = new QTimer(this);
    m_timer->setInterval(static_cast<int>(CReportFeed::kPollMs));
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

CTrendsDialog::~CTrendsDialog() {
    OnDestroy();
}

void CTrendsDialog::BuildControls() {
    m_rows = new QListWidget(this);
    m_rows->setObjectName(QStringLiteral("values"));
    for (int row = 0; row < kVariableRows; ++row) {
        auto* item = new QListWidgetItem(QString::fromLatin1(VariableLabel(row)), m_rows);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool ticked = std::find(std::begin(kDefaultRows), std::end(kDefaultRows), row) !=
                            std::end(kDefaultRows);
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        item->setForeground(RowColour(row));
    }
    m_rows->setFixedWidth(m_rows->sizeHintForColumn(0) + 40);
    connect(m_rows, &QListWidget::itemChanged, this, [this] { DrawChart(); });

    m_chart = new QChart();
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chartView = new QChartView(m_chart, this);
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_timeAxis = new QDateTimeAxis(m_chart);
    m_timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
    m_timeAxis->setTickCount(7);
    m_valueAxis = new QValueAxis(m_chart);

    m_scroll = new QScrollBar(Qt::Horizontal, this);
    m_scroll->setObjectName(QStringLiteral("timeScroll"));
    m_scroll->setRange(0, 0);
    connect(m_scroll, &QScrollBar::valueChanged, this, [this] { OnScrolled(); });

    m_span = new QComboBox(this);
    for (const auto& span : kSpans) {
        m_span->addItem(QString::fromLatin1(span.text), span.seconds);
    }
    m_span->setCurrentIndex(kDefaultSpan);
    m_spanSeconds = kSpans[kDefaultSpan].seconds;
    connect(m_span, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetSpanSeconds(m_span->itemData(index).toInt()); });

    m_btnPause = new QPushButton(QStringLiteral("&Pause"), this);
    connect(m_btnPause, &QPushButton::clicked, this, [this] { SetPaused(!m_paused); });
    m_btnRecord = new QPushButton(QStringLiteral("&Record..."), this);
    connect(m_btnRecord, &QPushButton::clicked, this, [this] { OnRecordClicked(); });
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton* button : {m_btnPause, m_btnRecord, close}) {
        button->setAutoDefault(false);
    }

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("Show the last"), this));
    buttons->addWidget(m_span);
    buttons->addWidget(m_btnPause);
    buttons->addWidget(m_btnRecord);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* right = new QVBoxLayout;
    right->addWidget(m_chartView, 1);
    right->addWidget(m_scroll);
    right->addLayout(buttons);
    right->addWidget(m_status);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_rows);
    layout->addLayout(right, 1);
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
    // The axes join the chart once the window has its size: a time axis laid
    // out at the view's size before the first showing keeps no room for its
    // labels.
    if (m_chart->axes().isEmpty()) {
        m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
        m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    }
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
    if (last - first <= spanMs) {
        m_viewFromMs = first;
    } else if (m_following) {
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
    if (m_chart->axes().isEmpty()) {
        return;  // not shown yet
    }
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int row = 0; row < kVariableRows; ++row) {
        DrawRow(row, low, high);
    }
    if (!(low <= high)) {
        low = 0.0;
        high = 1.0;
    }
    const double margin = high > low ? (high - low) * 0.05 : 1.0;
    m_valueAxis->setRange(low - margin, high + margin);
    // Before the first showing there is no view yet; an empty range would
    // leave the time axis undrawn for good.
    if (m_viewToMs > m_viewFromMs) {
        m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(m_viewFromMs)),
                             QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(m_viewToMs)));
    }
}

void CTrendsDialog::DrawRow(int row, double& low, double& high) {
    std::vector<CTrendSeries::Segment> segments;
    if (IsPlotted(row)) {
        const int width = static_cast<int>(m_chart->plotArea().width());
        segments =
            m_series.Decimate(row, m_viewFromMs, m_viewToMs, width > 0 ? width : kFallbackColumns);
    }
    for (std::size_t i = 0; i < segments.size(); ++i) {
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(segments[i].size()));
        for (const CTrendSeries::Point& point : segments[i]) {
            points.append(QPointF(point.timeMs, point.value));
            low = std::min(low, point.value);
            high = std::max(high, point.value);
        }
        QLineSeries* series = SegmentSeries(row, i);
        series->replace(points);
        series->setVisible(true);
        // One legend entry a value, whatever the number of segments.
        for (QLegendMarker* marker : m_chart->legend()->markers(series)) {
            marker->setVisible(i == 0);
        }
    }
    auto& lines = m_lines[static_cast<std::size_t>(row)];
    for (std::size_t i = segments.size(); i < lines.size(); ++i) {
        lines[i]->clear();
        lines[i]->setVisible(false);
        for (QLegendMarker* marker : m_chart->legend()->markers(lines[i])) {
            marker->setVisible(false);
        }
    }
}

QLineSeries* CTrendsDialog::SegmentSeries(int row, std::size_t segment) {
    auto& lines = m_lines[static_cast<std::size_t>(row)];
    while (lines.size() <= segment) {
        auto* series = new QLineSeries(m_chart);
        series->setName(QString::fromLatin1(VariableLabel(row)));
        series->setPen(QPen(RowColour(row), 2));
        m_chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_valueAxis);
        lines.push_back(series);
    }
    return lines[segment];
}

std::vector<QList<QPointF>> CTrendsDialog::Plotted(int row) const {
    std::vector<QList<QPointF>> segments;
    for (const QLineSeries* series : m_lines[static_cast<std::size_t>(row)]) {
        if (series->isVisible() && series->count() > 0) {
            segments.push_back(series->points());
        }
    }
    return segments;
}

void CTrendsDialog::UpdateStatus() {
    QStringList parts;
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
