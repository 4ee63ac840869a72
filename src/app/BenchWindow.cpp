#include "app/BenchWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QScrollArea>
#include <QSocketNotifier>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "bench/Bench.h"
#include "bench/BenchJournal.h"
#include "platform/PathWatch.h"
#include "serial/PortName.h"
#include "support/SettingsKey.h"

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

constexpr const char* kPortsValue = "BenchPorts";
constexpr const char* kDefaultPorts = "/dev/serial/by-id/*";
constexpr int kReasonsShown = 3;  // under the table
// The summary's height in lines: it never needs more than the least, so the
// window's minimum size does not depend on its text, and asks for no more than
// the most; beyond what it is given, it scrolls.
constexpr int kSummaryLeastLines = 3;
constexpr int kSummaryMostLines = 10;

class CSummaryArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

    QSize minimumSizeHint() const override {
        return {QScrollArea::minimumSizeHint().width(), Lines(kSummaryLeastLines)};
    }
    QSize sizeHint() const override {
        const int text = widget() != nullptr ? widget()->heightForWidth(viewport()->width()) : 0;
        return {minimumSizeHint().width(),
                std::clamp(text, Lines(kSummaryLeastLines), Lines(kSummaryMostLines))};
    }

protected:
    // The text's height follows the width it is wrapped to.
    void resizeEvent(QResizeEvent* event) override {
        QScrollArea::resizeEvent(event);
        updateGeometry();
    }

private:
    int Lines(int count) const { return count * fontMetrics().lineSpacing(); }
};

CSettingsKey OpenSettings() {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    return key;
}

}  // namespace

CBenchWindow::CBenchWindow(QWidget* parent, records::ISystemLog* systemLog) : QDialog(parent) {
    if (systemLog == nullptr) {
        m_ownSystemLog = std::make_unique<records::CSyslog>();
        systemLog = m_ownSystemLog.get();
    }
    m_journal = std::make_unique<bench::CBenchJournal>(records::RecordsPath(), *systemLog);
    setWindowTitle(QStringLiteral("Bench"));
    BuildControls();
    ShowImage();
    SetRunning(false);
    resize(1000, 420);  // room for every column; the window may be made narrower
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

    m_editPorts = new QLineEdit(Q(OpenSettings().ReadValue(kPortsValue, kDefaultPorts)), this);
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

    m_rows = new CBenchWindowRows(this);
    layout->addWidget(m_rows, 1);

    m_labelSummary = new QLabel;
    m_labelSummary->setWordWrap(true);
    m_labelSummary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_summaryArea = new CSummaryArea(this);
    m_summaryArea->setFrameShape(QFrame::NoFrame);
    m_summaryArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_summaryArea->setWidgetResizable(true);
    m_summaryArea->setWidget(m_labelSummary);
    layout->addWidget(m_summaryArea);

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

QString CBenchWindow::Ports() const {
    return m_editPorts->text();
}

void CBenchWindow::SetMode(int mode) {
    m_comboMode->setCurrentIndex(mode);
}

void CBenchWindow::ShowImage() {
    // A file is named by its file name, so that a long path does not
    // widen the window; the tool tip has the whole path.
    const CFirmwareImage& image = m_image.Image();
    const QString path = Q(image.Path());
    m_labelImage->setText(m_image.IsCarried()
                              ? Q(image.Label()) + QStringLiteral(" (carried)")
                              : Q(image.Label()) + QStringLiteral(" (") +
                                    path.section(QLatin1Char('/'), -1) + QLatin1Char(')'));
    m_labelImage->setToolTip(m_image.IsCarried() ? QString() : path);
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
            SetSummary(QLatin1Char('\'') + word +
                       QStringLiteral("' is not a port: give COM1 to COM4, a device "
                                      "path or a pattern."));
            return false;
        }
        given.push_back(path);
    }
    bench::CSlotMap slotMap;  // the labels bench --slots reads by default
    if (std::string problem; !bench::LoadSlotMap({}, slotMap, problem)) {
        SetSummary(QStringLiteral("The slots file cannot be used: ") + Q(problem));
        return false;
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
            SetSummary(QStringLiteral("No port matches ") + m_editPorts->text() + QLatin1Char('.'));
            return false;
        }
    }

    OpenSettings().WriteValue(kPortsValue, m_editPorts->text().toStdString());
    m_rows->Clear();
    delete m_changeNotifier;
    m_changeNotifier = nullptr;
    m_bench.reset();  // the last run's, idle by now
    bench::BenchOptions options;
    options.mode = static_cast<bench::Mode>(m_comboMode->currentIndex());
    if (!m_image.IsCarried()) {
        options.image = std::make_shared<const CFirmwareImage>(m_image.Image());
    }
    options.recorder = m_journal.get();
    options.slotMap = std::move(slotMap);
    bench::IBenchObserver& observer = *this;
    m_bench = std::make_unique<bench::CBench>(std::move(options), observer);
    m_changeNotifier = new QSocketNotifier(m_bench->ChangeFd(), QSocketNotifier::Read, this);
    connect(m_changeNotifier, &QSocketNotifier::activated, this, [this] { OnChange(); });
    m_watching = watching;
    SetRunning(true);
    SetSummary(watching ? QStringLiteral("Watching for chargers...")
                        : QStringLiteral("Running..."));
    for (const std::string& port : ports) {
        m_bench->Plug(port);
    }
    return true;
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

void CBenchWindow::OnEvent(const bench::BenchEvent& event) {
    if (event.kind == bench::EventKind::RecordFailed) {
        m_recordProblem = Q(event.problem);  // shown at once; the charger's result stands
        UpdateSummary();
        return;
    }
    m_rows->Show(event);
    if (event.kind == bench::EventKind::Finished) {
        UpdateSummary();
    }
}

void CBenchWindow::SetSummary(const QString& text) {
    m_labelSummary->setText(text);
    m_summaryArea->updateGeometry();  // its wanted height follows the text
}

QString CBenchWindow::Summary() const {
    return m_labelSummary->text();
}

void CBenchWindow::UpdateSummary() {
    QString text = m_rows->TallyLine();
    if (m_running) {
        text += m_watching ? QStringLiteral(" Watching for chargers...")
                           : QStringLiteral(" Running...");
    }
    // The reasons read whole here, as the rows keep to one line each.
    const QStringList failures = m_rows->FailureLines();
    for (int i = 0; i < std::min<int>(failures.size(), kReasonsShown); ++i) {
        text += QLatin1Char('\n') + failures[i];
    }
    if (failures.size() > kReasonsShown) {
        text += QStringLiteral("\n... and %1 more; each failed row's tool tip has its reason.")
                    .arg(failures.size() - kReasonsShown);
    }
    if (!m_recordProblem.isEmpty()) {
        text += QLatin1Char('\n') + m_recordProblem;
    }
    SetSummary(text);
}

// While jobs run, closing stops them; a charger stopped in its upload stays
// in its boot loader. So the window asks, and keeps them running unless told.
bool CBenchWindow::ConfirmClose() {
    if (!m_bench || !m_bench->Busy()) {
        return true;
    }
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    QStringLiteral("Chargers are still being served."), QMessageBox::NoButton,
                    this);
    box.setInformativeText(
        QStringLiteral("Closing the bench stops them. A charger stopped during its upload stays "
                       "in its boot loader until it is upgraded again."));
    QPushButton* keep = box.addButton(QStringLiteral("&Keep Running"), QMessageBox::RejectRole);
    QPushButton* stop =
        box.addButton(QStringLiteral("&Stop Them and Close"), QMessageBox::DestructiveRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == stop;
}

// Escape, Close, the close button and Alt+F4 all come here.
void CBenchWindow::reject() {
    if (!ConfirmClose()) {
        return;
    }
    EndBench();
    m_running = false;
    SetRunning(false);
    QDialog::reject();
}
