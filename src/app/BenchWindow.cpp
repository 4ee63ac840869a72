#include "app/BenchWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "bench/Bench.h"
#include "bench/BenchJournal.h"
#include "bench/JsonLine.h"
#include "platform/PathWatch.h"
#include "serial/PortName.h"

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString StateText(const bench::BenchEvent& event) {
    if (event.kind == bench::EventKind::Gone) {
        return QStringLiteral("Unplugged");
    }
    QString text = QString::fromLatin1(bench::SlotStateName(event.slot.state));
    text[0] = text[0].toUpper();
    return text;
}

QString ResultText(const bench::RunResult& result) {
    switch (result.outcome) {
        case bench::Outcome::Upgraded:
            return QStringLiteral("Upgraded");
        case bench::Outcome::Current:
            return QStringLiteral("Already current, nothing sent");
        case bench::Outcome::Read:
            return QStringLiteral("Read");
        case bench::Outcome::Failed:
            break;
    }
    return QStringLiteral("Failed: ") + Q(result.reason);
}

// The same figure as the records and the command line, whatever the locale.
QString Seconds(double seconds) {
    return Q(bench::Fixed1(seconds) + " s");
}

}  // namespace

CBenchWindow::CBenchWindow(QWidget* parent, bench::ISystemLog* systemLog) : QDialog(parent) {
    if (systemLog == nullptr) {
        m_ownSystemLog = std::make_unique<bench::CSyslog>();
        systemLog = m_ownSystemLog.get();
    }
    m_journal = std::make_unique<bench::CBenchJournal>(bench::RecordsPath(), *systemLog);
    setWindowTitle(QStringLiteral("Bench"));
    BuildControls();
    ShowImage();
    SetRunning(false);
}

CBenchWindow::~CBenchWindow() {
    EndBench();
}

// Stops every job, the way a single upgrade stops, and waits for them.
void CBenchWindow::EndBench() {
    StopWatches();
    m_watching = false;
    delete m_changeNotifier;  // before the descriptor it watches goes
    m_changeNotifier = nullptr;
    m_bench.reset();
}

void CBenchWindow::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    m_editPorts = new QLineEdit(QStringLiteral("/dev/serial/by-id/*"), this);
    m_editPorts->setToolTip(
        QStringLiteral("Device paths, COM1 to COM4, or patterns such as "
                       "/dev/serial/by-id/usb-FTDI_*, separated by spaces"));
    grid->addWidget(new QLabel(QStringLiteral("Ports:"), this), 0, 0);
    grid->addWidget(m_editPorts, 0, 1, 1, 3);

    m_comboMode = new QComboBox(this);
    m_comboMode->addItems({QStringLiteral("Upgrade when needed"),
                           QStringLiteral("Upgrade always (force)"), QStringLiteral("Read only")});
    grid->addWidget(new QLabel(QStringLiteral("Mode:"), this), 1, 0);
    grid->addWidget(m_comboMode, 1, 1);

    m_labelImage = new QLabel(this);
    m_btnImageFile = new QPushButton(QStringLiteral("Image &File..."), this);
    m_btnImageCarried = new QPushButton(QStringLiteral("&Carried Image"), this);
    grid->addWidget(new QLabel(QStringLiteral("Image:"), this), 2, 0);
    grid->addWidget(m_labelImage, 2, 1);
    grid->addWidget(m_btnImageFile, 2, 2);
    grid->addWidget(m_btnImageCarried, 2, 3);
    grid->setColumnStretch(1, 1);

    m_table = new QTableWidget(0, kColumns, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("State"),
                                        QStringLiteral("Progress"), QStringLiteral("Before"),
                                        QStringLiteral("After"), QStringLiteral("Result"),
                                        QStringLiteral("Time")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(kResult, QHeaderView::Stretch);
    m_table->setMinimumSize(900, 220);
    layout->addWidget(m_table, 1);

    m_labelSummary = new QLabel(this);
    m_labelSummary->setWordWrap(true);
    layout->addWidget(m_labelSummary);

    auto* buttons = new QHBoxLayout;
    m_btnStart = new QPushButton(QStringLiteral("&Start"), this);
    m_btnWatch = new QPushButton(QStringLiteral("&Watch"), this);
    m_btnStop = new QPushButton(QStringLiteral("S&top"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    m_btnStart->setToolTip(QStringLiteral("Serve the chargers on the ports now"));
    m_btnWatch->setToolTip(QStringLiteral("Serve each charger as it is plugged in, until Stop"));
    buttons->addWidget(m_btnStart);
    buttons->addWidget(m_btnWatch);
    buttons->addWidget(m_btnStop);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_btnStart, &QPushButton::clicked, this, [this] { Start(); });
    connect(m_btnWatch, &QPushButton::clicked, this, [this] { Watch(); });
    connect(m_btnStop, &QPushButton::clicked, this, [this] { Stop(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnImageFile, &QPushButton::clicked, this, [this] {
        m_image.ChooseFile(this);
        ShowImage();
    });
    connect(m_btnImageCarried, &QPushButton::clicked, this, [this] {
        m_image.UseCarried();
        ShowImage();
    });
}

void CBenchWindow::SetPorts(const QString& ports) {
    m_editPorts->setText(ports);
}

void CBenchWindow::SetMode(int mode) {
    m_comboMode->setCurrentIndex(mode);
}

void CBenchWindow::ShowImage() {
    const CFirmwareImage& image = m_image.Image();
    m_labelImage->setText(m_image.IsCarried() ? Q(image.Label()) + QStringLiteral(" (carried)")
                                              : Q(image.Label()) + QStringLiteral(" (") +
                                                    Q(image.Path()) + QLatin1Char(')'));
}

void CBenchWindow::SetRunning(bool running) {
    m_running = running;
    for (QWidget* idleOnly : std::initializer_list<QWidget*>{
             m_btnStart, m_btnWatch, m_editPorts, m_comboMode, m_btnImageFile, m_btnImageCarried}) {
        idleOnly->setEnabled(!running);
    }
    m_btnStop->setEnabled(running);
}

bool CBenchWindow::Start() {
    std::vector<std::string> ports;
    return Begin(false, ports);
}

bool CBenchWindow::Watch() {
    std::vector<std::string> ports;
    return Begin(true, ports);
}

bool CBenchWindow::Begin(bool watching, std::vector<std::string>& ports) {
    if (m_running) {
        return false;
    }
    m_problem.clear();
    m_recordProblem.clear();
    std::vector<std::string> given;
    for (const QString& word : m_editPorts->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const std::string path = ResolvePortName(word.toStdString());
        if (path.empty()) {
            m_labelSummary->setText(QLatin1Char('\'') + word +
                                    QStringLiteral("' is not a port: give COM1 to COM4, a device "
                                                   "path or a pattern."));
            return false;
        }
        given.push_back(path);
    }
    if (watching) {
        if (!StartWatches(given, ports)) {
            return false;
        }
    } else {
        for (const std::string& port : given) {
            const auto matched = platform::CPathWatch::HasWildcard(port)
                                     ? platform::CPathWatch::Matching(port)
                                     : std::vector<std::string>{port};
            ports.insert(ports.end(), matched.begin(), matched.end());
        }
        if (ports.empty()) {
            m_labelSummary->setText(QStringLiteral("No port matches ") + m_editPorts->text() +
                                    QLatin1Char('.'));
            return false;
        }
    }

    m_table->setRowCount(0);
    m_rows.clear();
    delete m_changeNotifier;
    m_changeNotifier = nullptr;
    m_bench.reset();  // the last run's, idle by now
    bench::BenchOptions options;
    options.mode = static_cast<bench::Mode>(m_comboMode->currentIndex());
    if (!m_image.IsCarried()) {
        options.image = std::make_shared<const CFirmwareImage>(m_image.Image());
    }
    options.recorder = m_journal.get();
    bench::IBenchObserver& observer = *this;
    m_bench = std::make_unique<bench::CBench>(std::move(options), observer);
    m_changeNotifier = new QSocketNotifier(m_bench->ChangeFd(), QSocketNotifier::Read, this);
    connect(m_changeNotifier, &QSocketNotifier::activated, this, [this] { OnChange(); });
    m_watching = watching;
    SetRunning(true);
    m_labelSummary->setText(watching ? QStringLiteral("Watching for chargers...")
                                     : QStringLiteral("Running..."));
    for (const std::string& port : ports) {
        m_bench->Plug(port);
    }
    return true;
}

bool CBenchWindow::StartWatches(const std::vector<std::string>& patterns,
                                std::vector<std::string>& present) {
    for (const std::string& pattern : patterns) {
        auto watch = std::make_unique<platform::CPathWatch>(pattern);
        std::string error;
        if (!watch->Start(error)) {
            StopWatches();
            m_labelSummary->setText(Q(error));
            return false;
        }
        const auto now = watch->Present();
        present.insert(present.end(), now.begin(), now.end());
        auto* notifier = new QSocketNotifier(watch->Fd(), QSocketNotifier::Read, this);
        platform::CPathWatch* watched = watch.get();
        connect(notifier, &QSocketNotifier::activated, this,
                [this, watched] { OnWatchEvents(*watched); });
        m_watchNotifiers.push_back(notifier);
        m_watches.push_back(std::move(watch));
    }
    return true;
}

void CBenchWindow::StopWatches() {
    for (QSocketNotifier* notifier : m_watchNotifiers) {
        delete notifier;
    }
    m_watchNotifiers.clear();
    m_watches.clear();
}

void CBenchWindow::OnWatchEvents(platform::CPathWatch& watch) {
    for (const auto& event : watch.Drain()) {
        if (!m_bench) {
            return;
        }
        if (event.kind == platform::PathEvent::Kind::Appeared) {
            m_bench->Plug(event.path);
        } else {
            m_bench->Unplug(event.path);
        }
    }
}

void CBenchWindow::Stop() {
    if (!m_running || m_finishing) {
        return;
    }
    if (m_watching) {
        StopWatches();
        m_watching = false;
    }
    if (m_bench) {
        m_bench->StopAll();
    }
    if (!m_bench || !m_bench->Busy()) {
        Finish();
    }
}

void CBenchWindow::OnChange() {
    if (!m_bench) {
        return;
    }
    m_bench->OnChange();
    if (m_running && !m_finishing && !m_watching && !m_bench->Busy()) {
        Finish();
    }
}

// The last jobs' events are already queued behind this point: the run is
// declared over only once they have been drawn.
void CBenchWindow::Finish() {
    if (std::exchange(m_finishing, true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_finishing = false;
            SetRunning(false);
            UpdateSummary();
            if (onRunEnded) {
                onRunEnded();
            }
        },
        Qt::QueuedConnection);
}

void CBenchWindow::OnBenchEvent(const bench::BenchEvent& event) {
    QMetaObject::invokeMethod(
        this, [this, event] { OnEvent(event); }, Qt::QueuedConnection);
}

int CBenchWindow::RowFor(const bench::SlotInfo& slot) {
    if (const auto found = m_rows.find(slot.slot); found != m_rows.end()) {
        return found->second;
    }
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    for (int column = 0; column < kColumns; ++column) {
        if (column != kProgress) {
            m_table->setItem(row, column, new QTableWidgetItem);
        }
    }
    auto* bar = new QProgressBar(m_table);
    bar->setRange(0, 1);
    bar->setValue(0);
    bar->setFormat(QString());
    m_table->setCellWidget(row, kProgress, bar);
    m_rows[slot.slot] = row;
    return row;
}

// Block n of all while uploading; at the end, how far the upload came. A job
// that sent nothing leaves the bar empty.
void CBenchWindow::ShowProgress(QProgressBar& bar, const bench::BenchEvent& event) {
    const bench::SlotInfo& slot = event.slot;
    if (event.kind == bench::EventKind::Started || slot.totalBlocks <= 0) {
        bar.setRange(0, 1);
        bar.setValue(0);
        bar.setFormat(QString());
        return;
    }
    const int block = slot.result ? slot.result->blocks : slot.block;
    bar.setFormat(QStringLiteral("%v/%m"));
    bar.setRange(0, slot.totalBlocks);
    bar.setValue(std::clamp(block, 0, slot.totalBlocks));
}

void CBenchWindow::OnEvent(const bench::BenchEvent& event) {
    if (event.kind == bench::EventKind::RecordFailed) {
        m_recordProblem = Q(event.problem);  // shown at once; the charger's result stands
        UpdateSummary();
        return;
    }
    const bench::SlotInfo& slot = event.slot;
    const int row = RowFor(slot);
    m_table->item(row, kPort)->setText(Q(slot.port));
    m_table->item(row, kPort)
        ->setToolTip(Q(slot.device) +
                     (slot.byIdName.empty() ? QString() : QLatin1Char('\n') + Q(slot.byIdName)));
    m_table->item(row, kState)->setText(StateText(event));
    m_table->item(row, kState)->setToolTip(Q(slot.status));
    m_table->item(row, kBefore)->setText(Q(slot.before));
    m_table->item(row, kAfter)->setText(Q(slot.after));
    m_table->item(row, kTime)->setText(Seconds(slot.seconds));
    ShowProgress(*static_cast<QProgressBar*>(m_table->cellWidget(row, kProgress)), event);
    QTableWidgetItem* result = m_table->item(row, kResult);
    if (event.kind == bench::EventKind::Started) {
        result->setText(QString());
        result->setForeground(palette().color(QPalette::Text));
    }
    if (event.kind == bench::EventKind::Finished && slot.result) {
        const bool failed = slot.result->outcome == bench::Outcome::Failed;
        result->setText(ResultText(*slot.result));
        result->setToolTip(result->text());
        result->setForeground(failed ? QColor(176, 0, 0) : QColor(0, 112, 0));
        m_table->resizeRowToContents(row);  // a reason may take several lines
        UpdateSummary();
    }
}

int CBenchWindow::RowCount() const {
    return m_table->rowCount();
}

QString CBenchWindow::CellText(int row, Column column) const {
    if (row < 0 || row >= m_table->rowCount()) {
        return {};
    }
    if (column == kProgress) {
        return static_cast<const QProgressBar*>(m_table->cellWidget(row, kProgress))->text();
    }
    return m_table->item(row, column)->text();
}

QString CBenchWindow::Summary() const {
    return m_labelSummary->text();
}

void CBenchWindow::UpdateSummary() {
    int counts[4] = {};
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QString result = m_table->item(row, kResult)->text();
        if (result.isEmpty()) {
            continue;
        }
        const int kind = result.startsWith(QStringLiteral("Failed"))     ? 3
                         : result.startsWith(QStringLiteral("Upgraded")) ? 0
                         : result.startsWith(QStringLiteral("Already"))  ? 1
                                                                         : 2;
        ++counts[kind];
    }
    QString text = QStringLiteral("Upgraded %1, already current %2, read %3, failed %4.")
                       .arg(counts[0])
                       .arg(counts[1])
                       .arg(counts[2])
                       .arg(counts[3]);
    if (m_running) {
        text += m_watching ? QStringLiteral(" Watching for chargers...")
                           : QStringLiteral(" Running...");
    }
    if (!m_recordProblem.isEmpty()) {
        text += QLatin1Char('\n') + m_recordProblem;
    }
    m_labelSummary->setText(text);
}

void CBenchWindow::reject() {
    EndBench();
    m_running = false;
    SetRunning(false);
    QDialog::reject();
}
