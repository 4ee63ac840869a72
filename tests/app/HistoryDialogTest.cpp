// The window's history: the journals merged in the table, the filters
// (device ID as a search field), the summary, and Export CSV writing every
// matching record, beyond the rows shown. Enter applies a filter without
// closing the window, records written while it is open show, and journal
// text shows as characters, never as markup or control codes. The window
// stands beside the main window, and remembers the journals added to it.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>

#include "AnsweredFileDialogs.h"
#include "HistoryFixture.h"
#include "app/HistoryDialog.h"
#include "app/HistoryJournals.h"
#include "app/MainDialog.h"
#include "support/SettingsKey.h"

using namespace historytest;

namespace {

// The History windows open beside the window.
QList<CHistoryDialog*> Histories(const QWidget& window) {
    QList<CHistoryDialog*> found;
    for (QObject* child : window.children()) {
        if (auto* history = dynamic_cast<CHistoryDialog*>(child)) {
            found << history;
        }
    }
    return found;
}

}  // namespace

class HistoryDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_scratch = std::make_unique<CScratch>(); }
    void cleanup() { m_scratch.reset(); }

    void filtersNarrowTheMergedTable() {
        const std::string a = m_scratch->Path("a.jsonl");
        const std::string b = m_scratch->Path("b.jsonl");
        std::ofstream(a) << Record(0, "VC-4017-4711", "failed") << "{\"time\":\"2026-12\n"
                         << Record(20, "VC-4017-0032", "upgraded");
        std::ofstream(b) << Record(10, "VC-4017-4711", "upgraded");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({a});
        CAnsweredFileDialogs answering;
        answering.answers = {QString::fromStdString(b)};
        CFileDialogsOverride installed(answering);
        dialog.OnAddJournal();
        QVERIFY(results.Next());
        QCOMPARE(results.Count(), 1);  // the first read was superseded, not shown
        QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId),
                 QStringList({"VC-4017-0032", "VC-4017-4711", "VC-4017-4711"}));
        QVERIFY(dialog.SummaryText().contains("1 damaged line skipped"));

        dialog.m_editDevice->setText("4711");
        dialog.Reload();
        QVERIFY(results.Next());
        QCOMPARE(Column(dialog, CHistoryDialog::kOutcome), QStringList({"upgraded", "failed"}));
        dialog.m_comboOutcome->setCurrentText("failed");
        QVERIFY(results.Next());
        QCOMPARE(Column(dialog, CHistoryDialog::kReason), QStringList({"No answer."}));
        QVERIFY(
            dialog.SummaryText().startsWith("1 record: 0 upgraded, 0 current, 0 read, 1 failed"));
    }

    void enterAppliesTheFilterAndKeepsTheWindow() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-4017-4711", "read") << Record(1, "VC-1", "read");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        dialog.show();
        QVERIFY(results.Next());
        dialog.m_editDevice->setText("4711");
        const std::uint64_t reads = dialog.Reads();
        QTest::keyClick(dialog.m_editDevice, Qt::Key_Return);
        QCOMPARE(dialog.Reads(), reads + 1);  // at once, not after the pause
        QVERIFY(!dialog.ReloadTimer()->isActive());
        QVERIFY(dialog.isVisible());
        QVERIFY(results.Next());
        QCOMPARE(dialog.RowCount(), 1);
    }

    void recordsWrittenWhileOpenShow() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-1", "read");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        QVERIFY(results.Next());
        Append(journal, Record(1, "VC-2", "read"));
        QVERIFY(results.Next());
        QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId), QStringList({"VC-2", "VC-1"}));

        // Replaced by another file, it is still watched.
        const std::string next = m_scratch->Path("next.jsonl");
        std::ofstream(next) << Record(0, "VC-1", "read") << Record(2, "VC-3", "read");
        std::filesystem::rename(next, journal);
        QVERIFY(results.Next());
        QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId), QStringList({"VC-3", "VC-1"}));
        Append(journal, Record(3, "VC-4", "read"));
        QVERIFY(results.Next());
        QCOMPARE(dialog.RowCount(), 3);
    }

    void refreshReadsAtOnce() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-1", "read");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        QVERIFY(results.Next());
        dialog.show();  // in the row of buttons, after Add Journal
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.m_btnRefresh->y(), dialog.m_btnAddJournal->y());
        QVERIFY(dialog.m_btnRefresh->x() > dialog.m_btnAddJournal->geometry().right());
        const std::uint64_t reads = dialog.Reads();
        QTest::mouseClick(dialog.m_btnRefresh, Qt::LeftButton);
        QCOMPARE(dialog.Reads(), reads + 1);
    }

    // Until the first record, this PC's state folder holds no journal; the
    // first one written there shows.
    void noJournalYetIsSaidUntilTheFirstRecord() {
        const std::string folder = m_scratch->StateFolder();
        std::filesystem::create_directories(folder);
        CHistoryDialog dialog;
        CResults results(dialog);
        QCOMPARE(dialog.SummaryText(),
                 QString::fromStdString("No records yet: " + folder + " holds no journal."));
        QCOMPARE(dialog.RowCount(), 0);
        std::ofstream(folder + "records.jsonl") << Record(0, "VC-1", "read");
        QVERIFY(results.Next());
        QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId), QStringList({"VC-1"}));
    }

    void anUnreadableSinceEmptiesTheTable() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-1", "read");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        QVERIFY(results.Next());
        dialog.m_editSince->setText("soon");
        dialog.Reload();
        QCOMPARE(dialog.RowCount(), 0);
        QCOMPARE(dialog.SummaryText(),
                 QString("'soon' is neither a date like 2026-12-01 nor a span like 7d."));
    }

    void addedJournalsAreRememberedForTheNextWindow() {
        const std::string a = m_scratch->Path("a.jsonl");
        const std::string b = m_scratch->Path("b.jsonl");
        std::ofstream(a) << Record(0, "VC-1", "read");
        std::ofstream(b) << Record(1, "VC-2", "read");
        CAnsweredFileDialogs answering;
        answering.answers = {QString::fromStdString(b), QString::fromStdString(b)};
        CFileDialogsOverride installed(answering);
        {
            CHistoryDialog first;
            first.SetJournals({a});
            first.OnAddJournal();
            first.OnAddJournal();  // twice the same: once
        }
        CSettingsKey key;  // as HistoryJournals.h says
        key.OpenKey("Veltra", "Corvane");
        QCOMPARE(key.ReadValue(CHistoryJournals::kCountName, ""), std::string("1"));
        QCOMPARE(key.ReadValue("HistoryJournal1", ""), b);
        CHistoryDialog next;
        CResults results(next);
        next.SetJournals({a});
        QCOMPARE(next.Journals(), (std::vector<std::string>{a, b}));
        QVERIFY(results.Next());
        QCOMPARE(Column(next, CHistoryDialog::kDeviceId), QStringList({"VC-2", "VC-1"}));
    }

    // A reason is a journal's text: what looks like markup is shown as typed.
    void markupInAReasonShowsAsText() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-1", "failed", "<b>bold</b>")
                               << Record(1, "VC-2", "failed", "<img src=x>");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        QVERIFY(results.Next());
        QCOMPARE(dialog.m_labelSummary->textFormat(), Qt::PlainText);
        QVERIFY(dialog.SummaryText().contains("\"<b>bold</b>\" (1)"));
        QCOMPARE(dialog.CellText(0, CHistoryDialog::kReason), QString("<img src=x>"));
        QTextDocument tip;
        tip.setHtml(dialog.findChild<QTableView*>()
                        ->model()
                        ->index(0, CHistoryDialog::kReason)
                        .data(Qt::ToolTipRole)
                        .toString());
        QCOMPARE(tip.toPlainText(), QString("<img src=x>"));
    }

    // As in the command line's table: a terminal's or a layout's controls
    // in a journal show as escapes.
    void controlCharactersShowAsEscapes() {
        const std::string journal = m_scratch->Path("records.jsonl");
        std::ofstream(journal) << Record(0, "VC-\\u001b]0;x\\u0007", "failed",
                                         "No\\nanswer\\u202e.");
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        QVERIFY(results.Next());
        QCOMPARE(dialog.CellText(0, CHistoryDialog::kDeviceId), QString("VC-\\x1b]0;x\\x07"));
        QCOMPARE(dialog.CellText(0, CHistoryDialog::kReason), QString("No\\x0aanswer\\u202e."));
    }

    // The history reads no port: the main window stays usable beside it.
    void historyStandsBesideTheMainWindow() {
        CMainDialog window;
        window.show();
        QAction* open = nullptr;
        for (QAction* action : window.m_menuSystem->actions()) {
            open = action->text() == "&History..." ? action : open;
        }
        QVERIFY(open != nullptr);
        // Ends a modal run at once, so a modal history fails rather than hangs.
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
        open->trigger();
        QCOMPARE(Histories(window).size(), 1);
        QPointer<CHistoryDialog> history = Histories(window).front();
        QVERIFY(history->isVisible() && !history->isModal());
        open->trigger();  // raised, not a second one
        QCOMPARE(Histories(window).size(), 1);
        history->close();
        QTRY_VERIFY(history.isNull());
    }

    void exportWritesEveryMatchingRecord() {
        const std::string journal = m_scratch->Path("records.jsonl");
        {
            std::ofstream out(journal);
            for (int i = 0; i <= CHistoryDialog::kMaxRows; ++i) {
                out << Record(i, "VC-" + std::to_string(i), i % 2 == 0 ? "read" : "failed");
            }
        }
        CHistoryDialog dialog;
        CResults results(dialog);
        dialog.SetJournals({journal});
        QVERIFY(results.Next());
        QCOMPARE(dialog.RowCount(), CHistoryDialog::kMaxRows);
        QVERIFY(dialog.SummaryText().contains("The newest 5000 are shown"));
        QCOMPARE(dialog.CellText(0, CHistoryDialog::kDeviceId),
                 QString("VC-%1").arg(CHistoryDialog::kMaxRows));

        CAnsweredFileDialogs answering;
        answering.answers = {QString::fromStdString(m_scratch->Path("out.csv"))};
        CFileDialogsOverride installed(answering);
        dialog.m_comboOutcome->setCurrentText("read");
        QVERIFY(results.Next());
        dialog.OnExportCsv();
        std::ifstream in(m_scratch->Path("out.csv"));
        std::string line;
        std::vector<std::string> lines;
        while (std::getline(in, line)) {
            lines.push_back(line);
        }
        QCOMPARE(lines.size(), std::size_t{CHistoryDialog::kMaxRows / 2 + 2});
        QVERIFY(lines[0].rfind("time,host,tool,", 0) == 0);
        QVERIFY(lines[1].find(",VC-5000,") != std::string::npos);
        QVERIFY(dialog.SummaryText().contains("2501 records exported"));
    }

private:
    std::unique_ptr<historytest::CScratch> m_scratch;
};

QTEST_MAIN(HistoryDialogTest)
#include "HistoryDialogTest.moc"
