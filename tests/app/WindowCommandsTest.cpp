// The Read and Upgrade buttons end to end: the window's own command handlers
// against the simulated charger on a pseudo-terminal, through the real port
// and the window's clock, with the carried image (one chosen from a file:
// ImageChoiceTest.cpp), under a comma-decimal desktop locale. What the window shows afterwards is
// read back from the panel's drawings and the buttons; what it records, from
// its service records.
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <fstream>
#include <memory>
#include <thread>

#include "AnsweredFileDialogs.h"
#include "TestKit.h"
#include "WindowKit.h"
#include "app/MainDialog.h"
#include "app/PortComboBox.h"
#include "app/UtilityApp.h"
#include "diagnostics/MonitorDialog.h"
#include "platform/LastError.h"
#include "records/RecordJournal.h"
#include "serial/ErrorReport.h"
#include "sim/SimulatedCharger.h"

using windowtest::DrawnTexts;
using windowtest::RecordLines;
using windowtest::Unpaced;

namespace {

// A click posted to a widget's middle, as the desktop delivers it.
void PostClick(QWidget* widget) {
    const QPointF at(widget->rect().center());
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            widget,
            new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
    }
}

}  // namespace

class WindowCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_desktopDecimalPoint = std::localeconv()->decimal_point;
        m_app = std::make_unique<CUtilityApp>(StartOptions{});
    }
    void init() { m_scratch = std::make_unique<windowtest::CScratch>(); }
    void cleanup() { m_scratch.reset(); }

    // The Qt application took the desktop's comma locale; the charger's
    // numbers and the system's error texts are read and shown as in C.
    void numbersAndErrorTextsIgnoreTheDesktopLocale() {
        QCOMPARE(m_desktopDecimalPoint, std::string(","));
        sim::CSimulatedCharger charger(Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        CSerialPort port;
        port.SetPortName(charger.SlavePath());
        CMonitorDialog monitor;
        monitor.m_pPort = &port;
        monitor.show();
        QTRY_VERIFY_WITH_TIMEOUT((monitor.OnTimer(), monitor.Variables().supplyVoltage != 0.0),
                                 10000);
        // A report split at a decimal comma would put a voltage's decimals
        // under the next label; atof would drop them.
        const double voltage = monitor.Variables().batteryVoltage;
        QVERIFY2(voltage > 10.0 && voltage < 15.0, qPrintable(QString::number(voltage)));
        QVERIFY(DrawnTexts(monitor.Panel()).contains(QString::asprintf("%.2f", voltage)));
        QVERIFY(QString::asprintf("%.2f", voltage).contains('.'));
        monitor.close();

        testkit::CBoxRecorder boxes;
        platform::SetLastError(ENOENT);
        ReportError("Unable To Open File");
        QCOMPARE(boxes.Boxes().at(0).text,
                 std::string("Error 2: Unable To Open File.\n\rNo such file or directory\r\n"));
    }

    void readShowsTheVersionsAndOffersTheUpgrade() {
        sim::CSimulatedCharger charger(Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        QCOMPARE(dialog.windowTitle(), QString("Corvane - simulated charger"));
        dialog.show();
        dialog.OnRead();
        QCOMPARE(dialog.m_panel.m_strBootCode, std::string("1.3"));
        QCOMPARE(dialog.m_panel.m_strChargerCode, std::string("2.09"));
        const QStringList texts = DrawnTexts(dialog.m_panel);
        QVERIFY(texts.contains("Read Version Complete"));
        QVERIFY(texts.contains("2.09"));
        QVERIFY(dialog.m_btnUpgrade->isVisible());
        QVERIFY(!dialog.m_pPort->IsOpen());
        dialog.done(QDialog::Accepted);
    }

    // An adapter pulled while Read waits for the charger: the box says what
    // happened, the status line gives up, and no attempt follows on a line
    // that can no longer answer.
    void adapterPulledDuringReadEndsTheReadWithItsBox() {
        testkit::CBoxRecorder boxes;
        testkit::CPtyPair adapter;
        CMainDialog dialog;
        dialog.SetSimulatedDevice(adapter.SlavePath());
        dialog.show();
        bool openWhenPulled = false;
        bool lostSeen = false;
        // Runs at the command's first wait, the pause before the first request.
        QTimer::singleShot(0, &dialog, [&] {
            openWhenPulled = dialog.m_pPort->IsOpen();
            adapter.HangUp();
            for (int wait = 0; wait < 2500 && !dialog.m_pPort->IsLost(); ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the reader sees it go
            }
            lostSeen = dialog.m_pPort->IsLost();
        });
        dialog.OnRead();
        QVERIFY(openWhenPulled);
        QVERIFY(lostSeen);
        const auto shown = boxes.Boxes();
        QCOMPARE(shown.size(), std::size_t{1});  // one box says what happened
        QCOMPARE(shown.back().text, std::string("Unable to get Version Information\n"
                                                "The adapter was disconnected.\n"
                                                "Plug it back in and try again."));
        const QStringList drawn = DrawnTexts(dialog.m_panel);
        QCOMPARE(drawn.count("Reading Version Information"), 1);
        QCOMPARE(drawn.count("Retrying Identification"), 0);
        QCOMPARE(drawn.count("Unable to get Version Information"), 1);
        QVERIFY(!dialog.m_btnUpgrade->isVisible());
        QVERIFY(!dialog.m_pPort->IsOpen());
        dialog.done(QDialog::Accepted);
    }

    void upgradeInstallsTheCarriedImage() {
        testkit::CBoxRecorder boxes;
        sim::CSimulatedCharger charger(Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        dialog.show();
        dialog.OnUpgrade();
        QCOMPARE(charger.FirmwareVersion(), std::string("2.10e"));
        QCOMPARE(dialog.m_panel.m_strChargerCode, std::string("2.10e"));
        QVERIFY(DrawnTexts(dialog.m_panel).contains("Upgrade Successful"));
        QVERIFY(!dialog.m_btnUpgrade->isVisible());
        QVERIFY(dialog.m_btnRead->isVisible());
        QVERIFY(!dialog.m_progress->isVisible());
        QCOMPARE(boxes.Count(), std::size_t{0});
        QVERIFY(!dialog.m_pPort->IsOpen());
        const QStringList log = RecordLines();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].contains("\"before\":\"\",\"after\":\"2.10e\",") &&
                     log[0].contains("\"blocks\":101,"),
                 qPrintable(log[0]));
        dialog.done(QDialog::Accepted);
    }

    // The read and the upgrade each leave a service record; the upgrade's
    // has the version that the read showed before (after an upgrade without
    // one, "": see above).
    void readAndUpgradeAreRecorded() {
        sim::CSimulatedCharger charger(Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        dialog.show();
        dialog.OnRead();
        dialog.OnUpgrade();
        const QStringList lines = RecordLines();
        QCOMPARE(lines.size(), 2);
        const QString named =
            QString(
                "\"tool\":\"window\",\"port\":\"simulated\",\"device\":\"%1\",\"byId\":\"\","
                "\"deviceId\":\"VC-4017-0032\",\"bootCode\":\"1.3\",")
                .arg(QString::fromStdString(charger.SlavePath()));
        const QRegularExpression read(
            "^\\{\"time\":\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\",\"host\":\"[^\"]*\"," +
            QRegularExpression::escape(named) +
            "\"before\":\"2\\.09\",\"after\":\"2\\.09\",.*\"blocks\":0,\"resends\":0,"
            "\"seconds\":\\d+\\.\\d,\"outcome\":\"read\",\"reason\":\"\",\"identification\":"
            "\\[\"deviceid VC-4017-0032\",\"Boot 1\\.3\",\"V2\\.09 Veltra charger\"\\],"
            "\"simulated\":true\\}$");
        QVERIFY2(read.match(lines[0]).hasMatch(), qPrintable(lines[0]));
        const QString upgraded =
            named +
            "\"before\":\"2.09\",\"after\":\"2.10e\",\"image\":{\"label\":\"2.10e\","
            "\"size\":12810,\"crc\":\"20C5\",\"path\":\"\"},\"blocks\":101,\"resends\":0,";
        QVERIFY2(lines[1].contains(upgraded) &&
                     lines[1].contains("\"outcome\":\"upgraded\",\"reason\":\"\","),
                 qPrintable(lines[1]));
        dialog.done(QDialog::Accepted);
    }

    // A record that cannot be written (the state folder is a file, so its
    // folder cannot be made, even by root) changes no verdict: the status
    // line says so after the read, and the log says where and why.
    void unwrittenRecordIsSaidInTheStatusLine() {
        testkit::CDebugRecorder debugOutput;
        sim::CSimulatedCharger charger(Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        dialog.show();
        dialog.OnRead();
        // The status line is where the read's verdict was drawn; what it
        // shows is the last text drawn there.
        QPoint at;
        for (const auto& d : dialog.m_panel.Drawings()) {
            at = d.text == "Read Version Complete" ? d.rect.topLeft() : at;
        }
        const auto status = [&dialog, &at] {
            CVersionPanel::Drawing last;
            for (const auto& d : dialog.m_panel.Drawings()) {
                if (d.kind == CVersionPanel::Drawing::Kind::Text && d.rect.topLeft() == at) {
                    last = d;
                }
            }
            return last;
        };
        QCOMPARE(status().text, QString("Read Version Complete"));
        const std::string file = m_scratch->state.Path() + "/state";
        std::ofstream(file) << "not a folder\n";
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(file));
        dialog.OnRead();
        QCOMPARE(dialog.m_panel.m_strChargerCode, std::string("2.09"));
        QVERIFY(dialog.m_btnUpgrade->isVisible());
        const CVersionPanel::Drawing shown = status();
        QCOMPARE(shown.text, QString("Could not write the service record."));
        QVERIFY2(shown.rect.width() <= 250, qPrintable(QString::number(shown.rect.width())));
        const std::string why = "Could not write the service record " + file +
                                "/corvane/records.jsonl: Not a directory.";
        QVERIFY2(debugOutput.Text().find(why) != std::string::npos, debugOutput.Text().c_str());
        dialog.done(QDialog::Accepted);
    }

    // The adapter pulled mid-upload, after a read showed 2.09: the charger
    // sits in its boot loader, so neither the panel nor the record may keep
    // the old read as the version after the upgrade.
    void adapterPulledDuringUpgradeLeavesNoVersionAfter() {
        testkit::CBoxRecorder boxes;
        sim::SimOptions options = Unpaced("old-firmware");
        options.hangUpAfterBlock = 3;
        sim::CSimulatedCharger charger(options);
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        dialog.show();
        dialog.OnRead();
        QCOMPARE(dialog.m_panel.m_strChargerCode, std::string("2.09"));
        dialog.OnUpgrade();
        QCOMPARE(dialog.m_panel.m_strChargerCode, std::string(""));
        QVERIFY(DrawnTexts(dialog.m_panel).contains("Upgrade Process Failed"));
        const QStringList log = RecordLines();
        QCOMPARE(log.size(), 2);
        QVERIFY2(log[1].contains("\"before\":\"2.09\",\"after\":\"\","), qPrintable(log[1]));
        QVERIFY2(log[1].contains("\"outcome\":\"failed\""), qPrintable(log[1]));
        dialog.done(QDialog::Accepted);
    }

    // Clicks, keys, the wheel and the close box during an upgrade are
    // dropped: nothing of them happens then or after.
    void inputDuringAnUpgradeIsDropped() {
        testkit::CBoxRecorder boxes;
        sim::CSimulatedCharger charger(Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        dialog.show();
        const QString port = dialog.m_comboPort->currentText();
        bool posted = false;
        QTimer::singleShot(0, &dialog, [&] {
            posted = dialog.IsCommandRunning();
            PostClick(dialog.m_btnRead);
            PostClick(dialog.m_btnExit);
            PostClick(dialog.m_menuBar);
            const QPointF at(dialog.m_comboPort->rect().center());
            QCoreApplication::postEvent(
                dialog.m_comboPort,
                new QWheelEvent(at, dialog.m_comboPort->mapToGlobal(at), {}, {0, -120},
                                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false));
            QCoreApplication::postEvent(
                &dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            QCoreApplication::postEvent(&dialog, new QCloseEvent);
        });
        dialog.OnUpgrade();
        QVERIFY(posted);
        QCoreApplication::processEvents();
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.m_menuSystem->isVisible());
        QCOMPARE(dialog.m_comboPort->currentText(), port);
        const QStringList texts = DrawnTexts(dialog.m_panel);
        QVERIFY(texts.contains("Upgrade Successful"));
        QCOMPARE(texts.count("Starting Communications"), 0);  // no read ran
        QCOMPARE(RecordLines().size(), 1);
        QCOMPARE(boxes.Count(), std::size_t{0});
        dialog.done(QDialog::Accepted);
    }

private:
    std::string m_desktopDecimalPoint;
    std::unique_ptr<CUtilityApp> m_app;
    std::unique_ptr<windowtest::CScratch> m_scratch;
};

QTEST_MAIN(WindowCommandsTest)
#include "WindowCommandsTest.moc"
