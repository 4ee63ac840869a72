// The bench window against simulated chargers: four at once with one that
// refuses a block, chargers plugged in and pulled out under Watch, a Stop in
// the middle of an upload, and closing while jobs run. The records get every
// result and the summary counts them. Its rows alone, with events made by
// hand on a clock of the test's own. (The summary at the window's minimum
// size: BenchWindowSummaryTest.cpp.)
#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "BenchWindowKit.h"
#include "TestKit.h"
#include "app/BenchWindow.h"
#include "app/BenchWindowRows.h"
#include "bench/BenchJournal.h"
#include "sim/SimulatedCharger.h"

using benchwindowtest::RecordCount;
using benchwindowtest::RunEnds;

namespace {

namespace fs = std::filesystem;
using Row = QStringList;

// Counts the lines handed to the system log, and those marked failed.
class CRecordingSystemLog : public records::ISystemLog {
public:
    void Write(bool failed, const std::string& /*line*/) override {
        ++lines;
        failures += failed ? 1 : 0;
    }
    std::atomic<int> lines{0};
    std::atomic<int> failures{0};
};

std::unique_ptr<sim::CSimulatedCharger> StartCharger(sim::SimOptions options) {
    auto charger = std::make_unique<sim::CSimulatedCharger>(std::move(options));
    if (!charger->Start()) {
        qFatal("the simulated charger did not start: %s", charger->ErrorText().c_str());
    }
    return charger;
}

sim::SimOptions Fast(const std::string& firmware = "2.09") {
    sim::SimOptions options;
    options.firmwareVersion = firmware;
    options.paceOutput = false;
    return options;
}

// Port, state, before, after, result, as the row shows them.
Row Shown(const CBenchWindow& window, int row) {
    return {window.CellText(row, CBenchWindowRows::kPort),
            window.CellText(row, CBenchWindowRows::kState),
            window.CellText(row, CBenchWindowRows::kBefore),
            window.CellText(row, CBenchWindowRows::kAfter),
            window.CellText(row, CBenchWindowRows::kResult)};
}

// Answers the next modal box with a button, named by its text (empty: the
// Return key, for the default button); the box's default button's text goes
// to defaultText.
void AnswerNextBox(const QString& button, QString& defaultText) {
    QTimer::singleShot(0, [button, &defaultText] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            qFatal("no box is open");
        }
        defaultText = box->defaultButton() != nullptr ? box->defaultButton()->text() : QString();
        if (button.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Return);
            return;
        }
        for (QAbstractButton* each : box->buttons()) {
            if (each->text() == button) {
                each->click();
            }
        }
    });
}

bench::BenchEvent Event(bench::EventKind kind, bench::SlotState state, int block = 0) {
    bench::BenchEvent event;
    event.kind = kind;
    event.slot.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2B-if00-port0";
    event.slot.deviceId = "CV-004711";
    event.slot.state = state;
    event.slot.before = "2.09";
    event.slot.block = block;
    event.slot.totalBlocks = 101;
    event.slot.resends = block / 20;
    return event;
}

bench::BenchEvent Ended(records::Outcome outcome, const std::string& before, int slot = 0) {
    bench::BenchEvent event = Event(bench::EventKind::Finished, bench::SlotState::Finished);
    event.slot.slot = slot;
    event.slot.before = before;
    bench::RunResult result;
    result.outcome = outcome;
    result.before = before;
    result.blocks = outcome == records::Outcome::Upgraded ? 101 : 0;
    result.resends = 3;
    result.seconds = 37.46;
    result.answered = true;
    event.slot.result = result;
    return event;
}

// Starts a forced upgrade of the charger; true once its row says at least five
// blocks were sent (not one exact "n/N", which a loaded machine may draw over).
bool UploadUnderWay(CBenchWindow& window, const sim::CSimulatedCharger& charger) {
    window.show();
    window.SetMode(1);  // force
    window.SetPorts(QString::fromStdString(charger.SlavePath()));
    const auto sent = [&window] {
        return window.CellText(0, CBenchWindowRows::kProgress).section('/', 0, 0).toInt();
    };
    return window.Start() && QTest::qWaitFor([&] { return sent() >= 5; }, 20000);
}

}  // namespace

class BenchWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_config = std::make_unique<testkit::CScratchConfig>();
        ::setenv("XDG_STATE_HOME", m_state.Path().c_str(), 1);
        fs::remove(records::RecordsPath());  // each test counts its own records
    }
    void cleanup() { m_config.reset(); }

    void fourChargersOneRefusingABlockEachGetTheirResult() {
        std::vector<std::unique_ptr<sim::CSimulatedCharger>> chargers;
        QString ports;
        for (int i = 0; i < 4; ++i) {
            sim::SimOptions options = Fast();
            if (i == 2) {
                options.nakFirstArrivals.push_back({10, 20});  // block 10 never accepted
            }
            chargers.push_back(StartCharger(options));
            ports += QString::fromStdString(chargers.back()->SlavePath()) + ' ';
        }
        CRecordingSystemLog systemLog;
        CBenchWindow window(nullptr, &systemLog);
        window.show();
        window.SetPorts(m_state.Path().c_str() + QStringLiteral("/none-*"));
        QVERIFY(!window.Start());
        QCOMPARE(window.Summary(),
                 "No port matches " + QString(m_state.Path().c_str()) + "/none-*.");

        window.SetPorts(ports);
        QVERIFY(window.Start());
        QVERIFY(window.IsRunning());
        QVERIFY(RunEnds(window, 60000));
        QCOMPARE(window.RowCount(), 4);
        for (int row = 0; row < 4; ++row) {
            const QString port = QString::fromStdString(chargers[row]->SlavePath());
            if (row == 2) {
                const Row shown = Shown(window, row);
                QCOMPARE(shown.mid(0, 4), (Row{port, "Finished", "2.09", ""}));
                QVERIFY2(shown[4].startsWith("Failed: ") && shown[4].contains("block 10"),
                         qPrintable(shown[4]));
                QCOMPARE(window.CellText(row, CBenchWindowRows::kProgress),
                         QStringLiteral("10/101"));
                QVERIFY(chargers[row]->FirmwareVersion() != "2.10e");
            } else {
                QCOMPARE(Shown(window, row), (Row{port, "Finished", "2.09", "2.10e", "Upgraded"}));
                QCOMPARE(window.CellText(row, CBenchWindowRows::kProgress),
                         QStringLiteral("101/101"));
                QCOMPARE(chargers[row]->FirmwareVersion(), std::string("2.10e"));
            }
        }
        // The long reason keeps its row to one line; it is whole in the tool
        // tip and under the table. The window may be made narrow.
        const QString reason = window.Rows()
                                   .CellToolTip(2, CBenchWindowRows::kResult)
                                   .mid(QStringLiteral("Failed: ").size());
        QVERIFY(reason.endsWith("try again."));
        QCOMPARE(window.Summary(), QStringLiteral("Upgraded 3, already current 0, read 0, failed "
                                                  "1.\n") +
                                       ports.split(' ')[2].section('/', -1) + ": " + reason);
        window.resize(640, 420);
        QTRY_COMPARE(window.width(), 640);
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(window.Rows().rowHeight(row),
                     window.Rows().verticalHeader()->defaultSectionSize());
        }
        QCOMPARE(CBenchWindow(nullptr, &systemLog).Ports(), ports);  // remembered

        // The same records as the command line's bench.
        QCOMPARE(RecordCount(), 4);
        QCOMPARE(systemLog.lines.load(), 4);
        QCOMPARE(systemLog.failures.load(), 1);
    }

    void watchServesEachChargerAsItIsPluggedIn() {
        testkit::CScratchDir links;
        const std::string link = links.Path() + "/charger-1";
        auto old = StartCharger(Fast("2.09"));
        auto current = StartCharger(Fast("2.10e"));
        CRecordingSystemLog systemLog;
        CBenchWindow window(nullptr, &systemLog);
        window.show();
        window.SetMode(2);  // read only
        window.SetPorts(QString::fromStdString(links.Path() + "/charger-*"));
        QVERIFY(window.Watch());
        QCOMPARE(window.RowCount(), 0);

        fs::create_symlink(old->SlavePath(), link);
        const QString port = QString::fromStdString(link);
        QTRY_COMPARE_WITH_TIMEOUT(Shown(window, 0), (Row{port, "Finished", "2.09", "2.09", "Read"}),
                                  20000);
        fs::remove(link);
        QTRY_COMPARE(window.CellText(0, CBenchWindowRows::kState), QStringLiteral("Unplugged"));
        fs::create_symlink(current->SlavePath(), link);
        QTRY_COMPARE_WITH_TIMEOUT(Shown(window, 0),
                                  (Row{port, "Finished", "2.10e", "2.10e", "Read"}), 20000);
        QCOMPARE(window.RowCount(), 1);  // the same slot served the next charger
        QVERIFY(window.IsRunning());     // watching until Stop

        window.Stop();
        QVERIFY(RunEnds(window, 20000));
        QVERIFY(!window.IsRunning());
        // Two jobs in one row: both counted, as both were recorded.
        QCOMPARE(window.Summary(), QString("Upgraded 0, already current 0, read 2, failed 0."));
        QCOMPARE(RecordCount(), 2);
    }

    void stopEndsAnUploadInTheMiddle() {
        auto charger = StartCharger(sim::SimOptions{});  // paced: about 14 s of upload
        CRecordingSystemLog systemLog;
        CBenchWindow window(nullptr, &systemLog);
        QVERIFY(UploadUnderWay(window, *charger));
        window.Stop();
        QVERIFY(RunEnds(window, 30000));
        const QString result = window.CellText(0, CBenchWindowRows::kResult);
        QVERIFY2(result.startsWith("Failed: Stopped"), qPrintable(result));
        QVERIFY(charger->InBootLoader());
        QVERIFY(charger->FirmwareVersion() != "2.10e");
    }

    // Escape asks first and keeps the jobs by default; the close button
    // (as Alt+F4) stops them when told to.
    void closingWhileJobsRunAsksFirst() {
        auto charger = StartCharger(sim::SimOptions{});  // paced: about 14 s of upload
        CRecordingSystemLog systemLog;
        CBenchWindow window(nullptr, &systemLog);
        QVERIFY(UploadUnderWay(window, *charger));
        QString defaultButton;
        AnswerNextBox(QString(), defaultButton);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(defaultButton, QStringLiteral("&Keep Running"));
        QVERIFY(window.isVisible());
        QVERIFY(window.IsRunning());

        AnswerNextBox(QStringLiteral("&Stop Them and Close"), defaultButton);
        window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.IsRunning());
        QVERIFY(charger->InBootLoader());  // stopped mid-upload
        QVERIFY(charger->FirmwareVersion() != "2.10e");
    }

    // The bar stays where the upload left it while the versions are read
    // again; the time runs on between events and stops at the end; a charger
    // that answered without firmware stands out from a read one.
    void rowsKeepProgressRunTheTimeAndMarkNoFirmware() {
        qint64 now = 0;
        CBenchWindowRows rows(nullptr, [&now] { return now; });
        using bench::EventKind;
        using bench::SlotState;
        rows.Show(Event(EventKind::Started, SlotState::Reading));
        now = 2500;  // no event while the charger is slow to answer
        rows.Tick();
        QCOMPARE(rows.CellText(0, CBenchWindowRows::kTime), QStringLiteral("2.5 s"));
        rows.Show(Event(EventKind::Progress, SlotState::Upgrading, 101));
        QCOMPARE(rows.CellText(0, CBenchWindowRows::kResends), QStringLiteral("5"));
        rows.Show(Event(EventKind::Status, SlotState::Checking, 0));
        QCOMPARE(rows.CellText(0, CBenchWindowRows::kProgress), QStringLiteral("101/101"));
        QCOMPARE(rows.CellText(0, CBenchWindowRows::kDeviceId), QStringLiteral("CV-004711"));

        rows.Show(Ended(records::Outcome::Upgraded, "2.09"));
        now = 90000;
        rows.Tick();
        QCOMPARE(rows.CellText(0, CBenchWindowRows::kTime), QStringLiteral("37.5 s"));
        QCOMPARE(rows.CellText(0, CBenchWindowRows::kResends), QStringLiteral("3"));
        QVERIFY(rows.CellToolTip(0, CBenchWindowRows::kPort)
                    .startsWith("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2B-if00-port0"));

        rows.Show(Ended(records::Outcome::Read, "2.09", 1));
        rows.Show(Ended(records::Outcome::Read, "", 2));
        QCOMPARE(rows.CellText(1, CBenchWindowRows::kResult), QStringLiteral("Read"));
        QCOMPARE(rows.CellText(2, CBenchWindowRows::kResult), QStringLiteral("No firmware"));
        const QColor read = rows.item(1, CBenchWindowRows::kResult)->foreground().color();
        QVERIFY(rows.item(2, CBenchWindowRows::kResult)->foreground().color() != read);
        QCOMPARE(rows.TallyLine(), QStringLiteral("Upgraded 1, already current 0, read 2 (1 with "
                                                  "no firmware), failed 0."));
        rows.Clear();
        QCOMPARE(rows.Count().read, 0);
    }

private:
    std::unique_ptr<testkit::CScratchConfig> m_config;
    testkit::CScratchDir m_state;
};

QTEST_MAIN(BenchWindowTest)
#include "BenchWindowTest.moc"
