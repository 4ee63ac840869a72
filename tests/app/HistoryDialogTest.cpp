// The window's history: the journals merged in the table, the filters
// (device ID as a search field), the summary, and Export CSV writing every
// matching record, beyond the rows shown.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <fstream>
#include <sstream>

#include "TestKit.h"
#include "app/HistoryDialog.h"
#include "diagnostics/FileDialogs.h"

namespace {

std::string Record(int minute, const std::string& id, const std::string& outcome) {
    char time[32];
    std::snprintf(time, sizeof time, "2026-12-%02d%s%02d:%02d:00Z", 1 + minute / 1440, "T",
                  minute / 60 % 24, minute % 60);
    return std::string("{\"time\":\"") + time + "\",\"host\":\"pc1\",\"tool\":\"bench\"," +
           "\"port\":\"/dev/ttyUSB0\",\"deviceId\":\"" + id + "\",\"outcome\":\"" + outcome +
           "\",\"reason\":\"" + (outcome == "failed" ? "No answer." : "") + "\"}\n";
}

struct CSavingFileDialogs : IFileDialogs {
    QString path;
    QString AskOpenFile(QWidget*, const QString&, const QString&, const QStringList&) override {
        return path;
    }
    QString AskSaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return path;
    }
    QString AskText(QWidget*, const QString&, const QString&, const QString& proposed) override {
        return proposed;
    }
};

QStringList Column(const CHistoryDialog& dialog, int column) {
    QStringList texts;
    for (int row = 0; row < dialog.RowCount(); ++row) {
        texts << dialog.CellText(row, column);
    }
    return texts;
}

}  // namespace

class HistoryDialogTest : public QObject {
    Q_OBJECT

private slots:
    void filtersNarrowTheMergedTable() {
        testkit::CScratchDir dir;
        const std::string a = dir.Path() + "/a.jsonl";
        const std::string b = dir.Path() + "/b.jsonl";
        std::ofstream(a) << Record(0, "VC-4017-4711", "failed") << "{\"time\":\"2026-12\n"
                         << Record(20, "VC-4017-0032", "upgraded");
        std::ofstream(b) << Record(10, "VC-4017-4711", "upgraded");
        CHistoryDialog dialog;
        dialog.SetJournals({a});
        CSavingFileDialogs answering;
        answering.path = QString::fromStdString(b);
        CFileDialogsOverride installed(answering);
        dialog.OnAddJournal();
        QCOMPARE(Column(dialog, CHistoryDialog::kDeviceId),
                 QStringList({"VC-4017-0032", "VC-4017-4711", "VC-4017-4711"}));
        QVERIFY(dialog.SummaryText().contains("1 damaged line skipped"));

        dialog.m_editDevice->setText("4711");
        dialog.Reload();
        QCOMPARE(Column(dialog, CHistoryDialog::kOutcome), QStringList({"upgraded", "failed"}));
        dialog.m_comboOutcome->setCurrentText("failed");
        QCOMPARE(Column(dialog, CHistoryDialog::kReason), QStringList({"No answer."}));
        QVERIFY(
            dialog.SummaryText().startsWith("1 record: 0 upgraded, 0 current, 0 read, 1 failed"));

        dialog.m_editSince->setText("soon");
        dialog.Reload();
        QVERIFY(dialog.SummaryText().contains("neither a date"));
    }

    void exportWritesEveryMatchingRecord() {
        testkit::CScratchDir dir;
        const std::string journal = dir.Path() + "/records.jsonl";
        {
            std::ofstream out(journal);
            for (int i = 0; i <= CHistoryDialog::kMaxRows; ++i) {
                out << Record(i, "VC-" + std::to_string(i), i % 2 == 0 ? "read" : "failed");
            }
        }
        CHistoryDialog dialog;
        dialog.SetJournals({journal});
        QCOMPARE(dialog.RowCount(), CHistoryDialog::kMaxRows);
        QVERIFY(dialog.SummaryText().contains("The newest 5000 are shown"));
        QCOMPARE(dialog.CellText(0, CHistoryDialog::kDeviceId),
                 QString("VC-%1").arg(CHistoryDialog::kMaxRows));

        CSavingFileDialogs answering;
        answering.path = QString::fromStdString(dir.Path() + "/out.csv");
        CFileDialogsOverride installed(answering);
        dialog.m_comboOutcome->setCurrentText("read");
        dialog.OnExportCsv();
        std::ifstream in(answering.path.toStdString());
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
};

QTEST_MAIN(HistoryDialogTest)
#include "HistoryDialogTest.moc"
