#include "app/HistoryDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

#include "app/HistoryJournals.h"
#include "diagnostics/FileDialogs.h"
#include "platform/MessageBox.h"
#include "records/HistoryCsv.h"
#include "records/HistoryReader.h"
#include "records/SafeText.h"
#include "support/SessionLog.h"

namespace {

constexpr char kTitle[] = "History";
constexpr int kFittedRows = 100;

QString Shown(const std::string& text) {
    return QString::fromStdString(records::ShownText(text));
}

QStringList Paths(const std::vector<std::string>& paths) {
    QStringList list;
    for (const std::string& path : paths) {
        list << QString::fromStdString(path);
    }
    return list;
}

}  // namespace

CHistoryDialog::CHistoryDialog(QWidget* parent)
    : QDialog(parent), m_added(CHistoryJournals::Load()) {
    setWindowTitle(QString::fromLatin1(kTitle));
    BuildLayout();
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(kReloadPauseMs);
    m_watcher = new QFileSystemWatcher(this);
    m_loader = new CHistoryLoader([this](CHistoryLoader::Result& part) { Show(part); }, this);
    Connect();
    Reload();
}

void CHistoryDialog::BuildLayout() {
    m_editDevice = new QLineEdit(this);
    m_editDevice->setPlaceholderText(QStringLiteral("Device ID"));
    m_editDevice->setClearButtonEnabled(true);
    m_editPort = new QLineEdit(this);
    m_editPort->setPlaceholderText(QStringLiteral("Port"));
    m_editSince = new QLineEdit(this);
    m_editSince->setPlaceholderText(QStringLiteral("Since (7d, 2026-12-01)"));
    m_comboOutcome = new QComboBox(this);
    m_comboOutcome->addItems({QStringLiteral("All outcomes"), QStringLiteral("upgraded"),
                              QStringLiteral("failed"), QStringLiteral("current"),
                              QStringLiteral("read")});
    auto* filters = new QHBoxLayout;
    filters->addWidget(m_editDevice, 2);
    filters->addWidget(m_editPort, 2);
    filters->addWidget(m_editSince, 1);
    filters->addWidget(m_comboOutcome);

    m_model = new CHistoryModel(this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // The columns are fitted to the first rows only: measuring thousands
    // stalled the window.
    m_table->horizontalHeader()->setResizeContentsPrecision(kFittedRows);
    m_labelSummary = new QLabel(this);
    m_labelSummary->setTextFormat(Qt::PlainText);  // reasons are journal text
    m_labelSummary->setWordWrap(true);
    m_labelSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_btnAddJournal = new QPushButton(QStringLiteral("&Add Journal..."), this);
    m_btnRefresh = new QPushButton(QStringLiteral("&Refresh"), this);
    m_btnExport = new QPushButton(QStringLiteral("Export CSV..."), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_btnAddJournal);
    buttons->addWidget(m_btnRefresh);
    buttons->addStretch();
    buttons->addWidget(m_btnExport);
    buttons->addWidget(close);
    // No default button: Enter in a filter applies it (keyPressEvent).
    for (QPushButton* button : {m_btnAddJournal, m_btnRefresh, m_btnExport, close}) {
        button->setAutoDefault(false);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_labelSummary);
    layout->addLayout(buttons);
    resize(900, 480);
}

void CHistoryDialog::Connect() {
    connect(m_reloadTimer, &QTimer::timeout, this, [this] { Reload(); });
    // Each key starts the pause again, so a word typed is read once.
    for (QLineEdit* edit : {m_editDevice, m_editPort, m_editSince}) {
        connect(edit, &QLineEdit::textChanged, m_reloadTimer, qOverload<>(&QTimer::start));
    }
    // A journal being written is read a pause after its first change, not
    // only once its writing pauses, so a busy bench cannot keep it from showing.
    const auto changed = [this] {
        if (!m_reloadTimer->isActive()) {
            m_reloadTimer->start();
        }
    };
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    connect(m_comboOutcome, &QComboBox::currentIndexChanged, this, [this] { Reload(); });
    connect(m_btnAddJournal, &QPushButton::clicked, this, [this] { OnAddJournal(); });
    connect(m_btnRefresh, &QPushButton::clicked, this, [this] { Reload(); });
    connect(m_btnExport, &QPushButton::clicked, this, [this] { OnExportCsv(); });
}

void CHistoryDialog::keyPressEvent(QKeyEvent* event) {
    // A filter field leaves Enter to the window, which would press its
    // default button; here it reads with the filters at once instead.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        Reload();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CHistoryDialog::SetJournals(std::vector<std::string> paths) {
    m_journals = std::move(paths);
    m_journalsSet = true;
    Reload();
}

std::vector<std::string> CHistoryDialog::Journals() const {
    std::vector<std::string> journals = m_journalsSet ? m_journals : records::LocalJournals();
    for (const std::string& path : m_added) {
        if (std::find(journals.begin(), journals.end(), path) == journals.end()) {
            journals.push_back(path);
        }
    }
    return journals;
}

bool CHistoryDialog::CurrentFilter(records::HistoryFilter& filter) const {
    filter.deviceId = m_editDevice->text().trimmed().toStdString();
    filter.port = m_editPort->text().trimmed().toStdString();
    if (m_comboOutcome->currentIndex() > 0) {
        filter.outcomes = {m_comboOutcome->currentText().toStdString()};
    }
    const std::string since = m_editSince->text().trimmed().toStdString();
    std::int64_t moment = 0;
    if (since.empty()) {
        return true;
    }
    if (!records::ParseSince(since, std::time(nullptr), moment)) {
        return false;
    }
    filter.since = moment;
    return true;
}

void CHistoryDialog::Reload() {
    m_reloadTimer->stop();
    const std::vector<std::string> journals = Journals();
    Watch(journals);
    records::HistoryFilter filter;
    if (journals.empty()) {
        ShowNothing(Shown("No records yet: " + StateFilePath("") + " holds no journal."));
    } else if (!CurrentFilter(filter)) {
        ShowNothing(QStringLiteral("'%1' is neither a date like 2026-12-01 nor a span like 7d.")
                        .arg(m_editSince->text().trimmed()));
    } else {
        m_reading = true;
        m_loader->Load({journals, filter});
    }
}

// The journals, and this PC's state folder where its first journal will
// appear. Watched afresh at each read: a journal replaced by another file
// (a rotation, a copy put in its place) drops out of the watch.
void CHistoryDialog::Watch(const std::vector<std::string>& journals) {
    QStringList paths = Paths(journals);
    const QString folder = QString::fromStdString(StateFilePath(""));
    if (!m_journalsSet && QFileInfo(folder).isDir()) {
        paths << QDir(folder).absolutePath();
    }
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty()) {
        m_watcher->removePaths(watched);
    }
    if (!paths.isEmpty()) {
        m_watcher->addPaths(paths);  // a journal that is gone is said in the summary
    }
}

void CHistoryDialog::Show(CHistoryLoader::Result& part) {
    if (part.first) {
        m_model->SetRows(std::move(part.rows));
    } else {
        m_model->AppendRows(std::move(part.rows));
    }
    if (!m_sized && m_model->rowCount() > 0) {
        // Once: columns that jumped at every key would be hard to read.
        m_table->resizeColumnsToContents();
        m_sized = true;
    }
    m_reading = !part.complete;
    m_labelSummary->setText(part.summary);
    if (onShown) {
        onShown();
    }
}

// The old result is not what the journals or filters say any more.
void CHistoryDialog::ShowNothing(const QString& why) {
    m_loader->Cancel();
    CHistoryLoader::Result nothing;
    nothing.complete = true;
    nothing.summary = why;
    Show(nothing);
}

void CHistoryDialog::OnAddJournal() {
    const QString path = FileDialogs().AskOpenFile(
        this, QStringLiteral("Add Journal"), QDir::homePath(),
        {QStringLiteral("Journals (*.jsonl *.log)"), QStringLiteral("All files (*)")});
    if (path.isEmpty()) {
        return;
    }
    const std::string added = path.toStdString();
    if (std::find(m_added.begin(), m_added.end(), added) == m_added.end()) {
        m_added.push_back(added);
        CHistoryJournals::Save(m_added);
    }
    Reload();
}

void CHistoryDialog::OnExportCsv() {
    records::HistoryFilter filter;
    if (!CurrentFilter(filter)) {
        return;  // the summary line says why
    }
    const QString path = FileDialogs().AskSaveFile(this, QStringLiteral("Export CSV"),
                                                   QDir::homePath(), "corvane-history.csv");
    if (path.isEmpty()) {
        return;
    }
    records::CHistoryReader reader(filter);
    for (const std::string& journal : Journals()) {
        std::string error;
        reader.AddFile(journal, error);  // the summary line says which cannot be read
    }
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    out << records::CsvHeader();
    records::ServiceRecord r;
    long long rows = 0;
    while (out && reader.Next(r)) {
        out << records::CsvRow(r);
        ++rows;
    }
    out.close();
    if (!out) {
        platform::ShowMessageBox("Could not write " + path.toStdString() + ": " +
                                     std::strerror(errno != 0 ? errno : EIO) + ".",
                                 kTitle);
        return;
    }
    m_labelSummary->setText(m_labelSummary->text() +
                            QStringLiteral(" %1 records exported to %2.").arg(rows).arg(path));
}

int CHistoryDialog::RowCount() const {
    return m_model->rowCount();
}

QString CHistoryDialog::CellText(int row, int column) const {
    return m_model->Text(row, column);
}

QString CHistoryDialog::SummaryText() const {
    return m_labelSummary->text();
}
