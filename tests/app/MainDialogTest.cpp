// The main window: its start-up state, the system commands, the window
// during a command, and the commands run against a port that cannot open.
// Its port list and the saved port: MainDialogPortTest.cpp.
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <QFileInfo>
#include <QFontMetrics>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>

#include "AnsweredFileDialogs.h"
#include "TestKit.h"
#include "WindowKit.h"
#include "app/MainDialog.h"
#include "app/MainDialogView.h"
#include "app/PortComboBox.h"
#include "diagnostics/MonitorDialog.h"
#include "diagnostics/TrendsDialog.h"
#include "sim/SimulatedCharger.h"

using windowtest::Settings;
using windowtest::Stored;
using windowtest::StoredPort;

namespace {

bool HasText(const CVersionPanel& panel, const QString& text) {
    for (const auto& d : panel.Drawings()) {
        if (d.kind == CVersionPanel::Drawing::Kind::Text && d.text == text) {
            return true;
        }
    }
    return false;
}

// Records the system commands' dialogs instead of running them.
class CRecordingDialog : public CMainDialog {
public:
    QStringList titles;
    CSerialPort* monitorPort = nullptr;
    bool portOpenForMonitor = true;
    int imageWrites = 0;

    void WriteImage() override { ++imageWrites; }

protected:
    int RunModal(QDialog& dialog) override {
        titles << dialog.windowTitle();
        if (auto* monitor = dynamic_cast<CMonitorDialog*>(&dialog)) {
            monitorPort = monitor->m_pPort;
            portOpenForMonitor = monitorPort->IsOpen();
        }
        return QDialog::Rejected;
    }
};

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<testkit::CScratchConfig>(); }
    void cleanup() { m_config.reset(); }

    void startUpState() {
        CMainDialog dialog;
        QVERIFY(!dialog.m_pPort);  // no port object before the window initialises
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Corvane"));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!(dialog.windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!dialog.windowIcon().isNull());
        QVERIFY(dialog.m_btnRead->isVisible() && dialog.m_btnUpgrade->isVisible());
        QVERIFY(dialog.m_comboPort->isVisible() && !dialog.m_progress->isVisible());
        QVERIFY(dialog.m_btnExit->isDefault());
        QCOMPARE(dialog.focusWidget(), dialog.m_btnExit);
        QCOMPARE(dialog.m_comboPort->count(), 4);
        QCOMPARE(dialog.m_comboPort->itemText(3), QString("COM4"));
        QVERIFY(!dialog.m_pPort->IsOpen());
        for (const char* text : {"Current Version", "Boot Code:", "Upgrade Version", "2.10e"}) {
            QVERIFY2(HasText(dialog.m_panel, text), text);
        }
        QVERIFY(!StoredPort());  // starting saves nothing
    }

    void systemMenu() {
        CAnsweredFileDialogs cancelling;
        CFileDialogsOverride answering(cancelling);
        CRecordingDialog dialog;
        dialog.show();
        QStringList texts;
        for (QAction* action : dialog.m_menuSystem->actions()) {
            texts << action->text();
            action->trigger();
        }
        QCOMPARE(texts, QStringList({"", "&About Mirelda...", "", "M&onitor Charger", "C&RC Check",
                                     "&Write Image", "Charger &Trends...", "",
                                     "Upgrade from &File...", "Use &Carried Image", "",
                                     "&Port Setup...", "&Bench...", "&History..."}));
        // The trends and history windows are not run modally: they are shown
        // beside the window.
        QCOMPARE(dialog.titles, QStringList({"About Corvane", "Charger Variables", "File CRC Check",
                                             "Port Setup", "Bench"}));
        QVERIFY(dialog.m_trends && dialog.m_trends->isVisible());
        const auto histories = dialog.findChildren<QDialog*>();
        QVERIFY(std::any_of(histories.begin(), histories.end(), [](QDialog* d) {
            return d->windowTitle() == "History" && d->isVisible() && !d->isModal();
        }));
        QCOMPARE(dialog.m_trends->windowTitle(), QString("Charger Trends"));
        QCOMPARE(dialog.imageWrites, 1);
        // The low four bits of a command value are ignored; unknown values do nothing.
        dialog.OnSysCommand(0x1F);
        dialog.OnSysCommand(0x70);
        QCOMPARE(dialog.titles.size(), 6);
        QCOMPARE(dialog.titles.back(), QString("About Corvane"));
        // Without string 101 its item and the separator before it are left out.
        QMenu menu;
        CMainDialog::ExtendSystemMenu(
            menu, [](int id) { return id == 101 ? QString() : QString::number(id); },
            [](unsigned) {});
        QCOMPARE(menu.actions().size(), 8);
        QCOMPARE(menu.actions().at(1)->text(), QString("105"));
    }

    void monitorTakesOverTheClosedPort() {
        testkit::CPtyPair pty;
        Settings().WriteValue("COM1", pty.SlavePath());
        CRecordingDialog dialog;
        dialog.show();
        QVERIFY(dialog.m_pPort->Open());
        dialog.OnSysCommand(CMainDialog::kIdmMonitorCharger);
        QCOMPARE(dialog.monitorPort, dialog.m_pPort.get());
        QVERIFY(!dialog.portOpenForMonitor);
    }

    // Trends runs beside the window on a port object of its own: the main
    // window's port stays free, so Read works on another port meanwhile.
    void trendsLeaveTheWindowUsable() {
        testkit::CPtyPair trendsPty;
        testkit::CPtyPair readPty;
        Settings().WriteValue("COM1", trendsPty.SlavePath());
        Settings().WriteValue("COM2", readPty.SlavePath());
        CMainDialog dialog;
        dialog.show();
        dialog.OnSysCommand(CMainDialog::kIdmChargerTrends);
        auto* trends = dynamic_cast<CTrendsDialog*>(dialog.m_trends.data());
        QVERIFY(trends != nullptr);
        QVERIFY(!trends->isModal() && QApplication::activeModalWidget() == nullptr);
        QVERIFY(trends->m_pPort != dialog.m_pPort.get());
        QVERIFY(trends->m_pPort->IsOpen());
        dialog.OnSysCommand(CMainDialog::kIdmChargerTrends);  // raised, not a second one
        QCOMPARE(dialog.findChildren<CTrendsDialog*>().size(), 1);
        dialog.m_comboPort->setCurrentIndex(1);
        dialog.OnPortChange();
        QVERIFY(dialog.m_pPort->Open());
        QVERIFY(trends->m_pPort->IsOpen());
        dialog.m_pPort->Close();
        trends->reject();
        QTRY_VERIFY(dialog.m_trends.isNull());
    }

    void closeRequestDuringACommandIsRefused() {
        CMainDialog dialog;
        dialog.show();
        bool attempted = false;
        bool visibleAfterAttempts = false;
        dialog.RunCommand([&](platform::IClock& clock) {
            QTimer::singleShot(0, &dialog, [&] {
                dialog.close();
                dialog.reject();
                attempted = true;
            });
            clock.SleepMs(50);
            visibleAfterAttempts = dialog.isVisible();
        });
        QVERIFY(attempted && visibleAfterAttempts);
        QVERIFY(!StoredPort());
        QVERIFY(dialog.close());  // between commands the window ends
        QCOMPARE(StoredPort(), Stored("COM1"));
    }

    void repaintKeepsTheStatusShowingAfreshErasesIt() {
        CMainDialog dialog;
        dialog.show();
        CMainDialogView view(dialog);
        view.ShowStatus("Read Version Complete");
        const QRect status = dialog.m_panel.Drawings().back().rect;
        // The status line's cells are filled when drawn and empty when erased.
        const auto drawn = [&] { return qAlpha(dialog.m_panel.Surface().pixel(status.topLeft())); };
        view.InvalidateWindow();
        QCoreApplication::processEvents();
        QCOMPARE(drawn(), 255);
        dialog.hide();
        dialog.show();
        QCOMPARE(drawn(), 0);
        QVERIFY(HasText(dialog.m_panel, "Current Version"));
    }

    // A new Read empties the panel's versions on the screen at its start,
    // not only when it ends.
    void readStartClearsTheEarlierVersions() {
        CMainDialog dialog;
        dialog.show();
        dialog.m_panel.m_strChargerCode = "1.99z";
        dialog.m_panel.PaintVersions();
        const auto shown = [&](const QString& text) {
            for (const auto& d : dialog.m_panel.Drawings()) {
                if (d.kind == CVersionPanel::Drawing::Kind::Text && d.text == text) {
                    return d.rect;
                }
            }
            return QRect();
        };
        const QRect old = shown("1.99z");
        QVERIFY(!old.isEmpty());
        CMainDialogView view(dialog);
        view.ClearVersions();
        QVERIFY(dialog.m_panel.m_strChargerCode.empty());
        const QImage surface = dialog.m_panel.Surface();
        int ink = 0;
        for (int y = old.top(); y <= old.bottom(); ++y) {
            for (int x = old.left(); x <= old.right(); ++x) {
                ink += qAlpha(surface.pixel(x, y)) == 255 && qGray(surface.pixel(x, y)) < 100;
            }
        }
        QCOMPARE(ink, 0);
    }

    void commandsOnAPortThatCannotOpen() {
        testkit::CBoxRecorder boxes;
        testkit::CDebugRecorder debugOutput;
        Settings().WriteValue("Port", "LPT1");  // no entry: an empty port name
        CMainDialog dialog;
        dialog.show();
        dialog.OnRead();
        QVERIFY(HasText(dialog.m_panel, "No Communications With Charger"));
        QVERIFY(!dialog.m_btnUpgrade->isVisible());
        QVERIFY(boxes.Count() > 0);
        dialog.OnUpgrade();
        QVERIFY(HasText(dialog.m_panel, "Unable to Open Comm Port"));
        QVERIFY(dialog.m_btnRead->isVisible());
    }

    // The box keeps its fixed text and ends with the port and what is wrong
    // with its device, from the command line's own diagnosis.
    void openErrorBoxNamesThePortAndItsCause() {
        const std::string fixedText =
            "Communications Error! Verify the cable\n is connected properly and the correct\n"
            "communications port has been selected.\n\nIf communications errors continue "
            "please\nunplug the charger for 10 seconds\nand then plug it back in and try "
            "again.\n\nIf that fails please contact support.";
        testkit::CScratchDir dir;
        const std::string absent = dir.Path() + "/ttyUSB9";
        const std::string file = dir.Path() + "/passwd";
        std::ofstream(file) << "root:x:0:0\n";
        Settings().WriteValue("COM3", absent);
        Settings().WriteValue("COM4", file);
        const struct {
            const char* port;
            std::string cause;
        } rows[] = {{"COM3", absent + " is absent."}, {"COM4", file + " is not a serial device."}};
        for (const auto& row : rows) {
            testkit::CBoxRecorder boxes;
            testkit::CDebugRecorder debugOutput;
            Settings().WriteValue("Port", row.port);
            CMainDialog dialog;
            dialog.SetSaveSettings(false);
            dialog.show();
            dialog.OnRead();
            QVERIFY(boxes.Count() > 0);
            QCOMPARE(boxes.Boxes()[0].text, fixedText + "\n\n" + row.port + ": " + row.cause);
            QCOMPARE(boxes.Boxes()[0].caption, std::string("ERROR"));
        }
    }

    // A written image is no box: the status line says where it went.
    void writeImageSaysWhereItWroteInTheStatusLine() {
        testkit::CScratchDir dir;
        testkit::CBoxRecorder boxes;
        CAnsweredFileDialogs answering;
        CFileDialogsOverride dialogs(answering);
        const QString target = QString::fromStdString(dir.Path() + "/2.10e.bin");
        answering.answers << target;
        CMainDialog dialog;
        dialog.SetSaveSettings(false);
        dialog.show();
        dialog.WriteImage();
        QCOMPARE(boxes.Count(), 0u);
        QVERIFY(QFileInfo(target).size() == 12810);
        CVersionPanel::Drawing shown;
        for (const auto& d : dialog.m_panel.Drawings()) {
            shown = d.text.startsWith(QStringLiteral("Image w")) ? d : shown;
        }
        QVERIFY2(shown.text.endsWith(QStringLiteral("/2.10e.bin")), qPrintable(shown.text));
        // As drawn, in the panel's own font: within the 250 pixels that the
        // next status clears, so none of it outlives that status.
        QVERIFY2(shown.rect.width() <= 250, qPrintable(QString::number(shown.rect.width())));
    }

private:
    std::unique_ptr<testkit::CScratchConfig> m_config;
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
