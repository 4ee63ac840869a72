// The bench window against simulated chargers: four at once with one that
// refuses a block, chargers plugged in and pulled out under Watch, and a
// Stop in the middle of an upload. Every result also reaches the records.
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "TestKit.h"
#include "app/BenchWindow.h"
#include "bench/BenchJournal.h"
#include "sim/SimulatedCharger.h"

namespace {

namespace fs = std::filesystem;
using Row = QStringList;

class CRecordingSystemLog : public bench::ISystemLog {
public:
    void Write(bool failed, const std::string& line) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back((failed ? "failed " : "ok ") + line);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
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
    return {window.CellText(row, CBenchWindow::kPort), window.CellText(row, CBenchWindow::kState),
            window.CellText(row, CBenchWindow::kBefore), window.CellText(row, CBenchWindow::kAfter),
            window.CellText(row, CBenchWindow::kResult)};
}

// Waits for the run to end, as onRunEnded tells it.
bool RunEnds(CBenchWindow& window, int timeoutMs) {
    bool ended = false;
    window.onRunEnded = [&ended] { ended = true; };
    return QTest::qWaitFor([&] { return ended; }, timeoutMs);
}

}  // namespace

class BenchWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_config = std::make_unique<testkit::CScratchConfig>();
        ::setenv("XDG_STATE_HOME", m_state.Path().c_str(), 1);
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
                QCOMPARE(window.CellText(row, CBenchWindow::kProgress), QStringLiteral("10/101"));
                QVERIFY(chargers[row]->FirmwareVersion() != "2.10e");
            } else {
                QCOMPARE(Shown(window, row), (Row{port, "Finished", "2.09", "2.10e", "Upgraded"}));
                QCOMPARE(window.CellText(row, CBenchWindow::kProgress), QStringLiteral("101/101"));
                QCOMPARE(chargers[row]->FirmwareVersion(), std::string("2.10e"));
            }
        }
        QCOMPARE(window.Summary(),
                 QStringLiteral("Upgraded 3, already current 0, read 0, failed 1."));

        // The same records as the command line's bench.
        std::ifstream journal(bench::RecordsPath());
        int lines = 0;
        for (std::string line; std::getline(journal, line);) {
            ++lines;
        }
        QCOMPARE(lines, 4);
        int failed = 0;
        for (const auto& line : systemLog.Lines()) {
            failed += line.rfind("failed ", 0) == 0 ? 1 : 0;
        }
        QCOMPARE(systemLog.Lines().size(), std::size_t(4));
        QCOMPARE(failed, 1);
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
        QTRY_COMPARE(window.CellText(0, CBenchWindow::kState), QStringLiteral("Unplugged"));
        fs::create_symlink(current->SlavePath(), link);
        QTRY_COMPARE_WITH_TIMEOUT(Shown(window, 0),
                                  (Row{port, "Finished", "2.10e", "2.10e", "Read"}), 20000);
        QCOMPARE(window.RowCount(), 1);  // the same slot served the next charger
        QVERIFY(window.IsRunning());     // watching until Stop

        window.Stop();
        QVERIFY(RunEnds(window, 20000));
        QVERIFY(!window.IsRunning());
    }

    void stopEndsAnUploadInTheMiddle() {
        auto charger = StartCharger(sim::SimOptions{});  // paced: about 14 s of upload
        CRecordingSystemLog systemLog;
        CBenchWindow window(nullptr, &systemLog);
        window.show();
        window.SetMode(1);  // force
        window.SetPorts(QString::fromStdString(charger->SlavePath()));
        QVERIFY(window.Start());
        QTRY_VERIFY_WITH_TIMEOUT(window.CellText(0, CBenchWindow::kProgress).startsWith("5/"),
                                 20000);
        window.Stop();
        QVERIFY(RunEnds(window, 30000));
        const QString result = window.CellText(0, CBenchWindow::kResult);
        QVERIFY2(result.startsWith("Failed: Stopped"), qPrintable(result));
        QVERIFY(charger->InBootLoader());
        QVERIFY(charger->FirmwareVersion() != "2.10e");
    }

private:
    std::unique_ptr<testkit::CScratchConfig> m_config;
    testkit::CScratchDir m_state;
};

QTEST_MAIN(BenchWindowTest)
#include "BenchWindowTest.moc"
