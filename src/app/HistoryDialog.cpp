#include "app/HistoryDialog.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

#include "diagnostics/FileDialogs.h"
#include "platform/MessageBox.h"
#include "records/HistoryCsv.h"
#include "records/HistoryReader.h"
#include "records/HistoryTally.h"

namespace {

constexpr char kTitle[] = "History";
constexpr int kReloadPauseMs = 300;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Opens the journals into the reader; what cannot be opened is said in the
// summary line instead of a box, since the other journals still count.
std::string OpenAll(records::CHistoryReader& reader, const std::vector<std::string>& paths) {
    std::string problems;
    for (const std::string& path : paths) {
        std::string error;
        if (!reader.AddFile(path, error)) {
            problems += " Cannot read " + error + ".";
        }
    }
    return problems;
}

}  // namespace

CHistoryDialog::CHistoryDialog(QWidget* parent)
    : QDialog(parent), m_journals(records::LocalJournals()) {
    setWindowTitle(QString::fromLatin1(kTitle));
    BuildLayout();
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(kReloadPauseMs);
    connect(m_reloadTimer, &QTimer::timeout, this, [this] { Reload(); });
    const auto later = [this] { m_reloadTimer->start(); };
    for (QLineEdit* edit : {m_editDevice, m_editPort, m_editSince}) {
        connect(edit, &QLineEdit::textChanged, this, later);
    }
    connect(m_comboOutcome, &QComboBox::currentIndexChanged, this, [this] { Reload(); });
    connect(m_btnAddJournal, &QPushButton::clicked, this, [this] { OnAddJournal(); });
    connect(m_btnExport, &QPushButton::clicked, this, [this] { OnExportCsv(); });
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

    m_table = new QTableWidget(0, kColumns, this);
    m_table->setHorizontalHeaderLabels(
        {"Time", "Device ID", "Outcome", "Versions", "Port", "Host", "Tool", "Reason"});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_labelSummary = new QLabel(this);
    m_labelSummary->setWordWrap(true);
    m_labelSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_btnAddJournal = new QPushButton(QStringLiteral("&Add Journal..."), this);
    m_btnExport = new QPushButton(QStringLiteral("Export CSV..."), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_btnAddJournal);
    buttons->addStretch();
    buttons->addWidget(m_btnExport);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_labelSummary);
    layout->addLayout(buttons);
    resize(900, 480);
}

void CHistoryDialog::SetJournals(std::vector<std::string> paths) {
    m_journals = std::move(paths);
    Reload();
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
    records::HistoryFilter filter;
    if (!CurrentFilter(filter)) {
        m_labelSummary->setText(QStringLiteral("'%1' is neither a date like 2026-12-01 nor a span "
                                               "like 7d.")
                                    .arg(m_editSince->text().trimmed()));
        return;
    }
    records::CHistoryReader reader(filter);
    const std::string problems = OpenAll(reader, m_journals);
    records::CHistoryTally tally;
    records::ServiceRecord r;
    long long matching = 0;
    m_table->setUpdatesEnabled(false);
    m_table->setRowCount(0);
    while (reader.Next(r)) {
        tally.Add(r);
        if (++matching > kMaxRows) {
            continue;  // counted, not shown
        }
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const std::string cells[kColumns] = {records::LocalMinuteText(r.when),
                                             r.deviceId,
                                             r.outcomeText.value_or("") + (r.simulated ? "*" : ""),
                                             records::VersionsText(r),
                                             r.port,
                                             r.host,
                                             r.tool,
                                             r.reason};
        for (int column = 0; column < kColumns; ++column) {
            auto* item = new QTableWidgetItem(Text(cells[column]));
            item->setToolTip(column == kReason || column == kPort ? item->text() : QString());
            m_table->setItem(row, column, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->setUpdatesEnabled(true);
    tally.SetDamagedLines(reader.DamagedLines());
    std::string summary = tally.Summary();
    if (matching > kMaxRows) {
        summary += " The newest " + std::to_string(kMaxRows) +
                   " are shown; narrow the filters "
                   "or export them all.";
    }
    m_labelSummary->setText(Text(summary + problems));
}

void CHistoryDialog::OnAddJournal() {
    const QString path = FileDialogs().AskOpenFile(
        this, QStringLiteral("Add Journal"), QDir::homePath(),
        {QStringLiteral("Journals (*.jsonl *.log)"), QStringLiteral("All files (*)")});
    if (!path.isEmpty()) {
        m_journals.push_back(path.toStdString());
        Reload();
    }
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
    OpenAll(reader, m_journals);
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
    return m_table->rowCount();
}

QString CHistoryDialog::CellText(int row, int column) const {
    const QTableWidgetItem* item = m_table->item(row, column);
    return item != nullptr ? item->text() : QString();
}

QString CHistoryDialog::SummaryText() const {
    return m_labelSummary->text();
}
