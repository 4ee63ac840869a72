// The main window: its start-up state, the port list and its prefix search,
// "Port" written when the window ends and never before, the port closed when
// its name changes, the system commands, the window during a command, and
// the commands' view of the window.
#include <QAbstractItemView>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

#include "TestKit.h"
#include "app/MainDialog.h"
#include "app/MainDialogView.h"
#include "app/PortComboBox.h"
#include "diagnostics/MonitorDialog.h"
#include "protocol/UpgradeImage.h"

namespace {

constexpr const char* kAbsent = "\x01(absent)";

CSettingsKey OpenSettings() {
    CSettingsKey key;
    key.OpenKey("Veltra", "Corvane");
    return key;
}

std::optional<std::string> StoredPort() {
    const std::string value = OpenSettings().ReadValue("Port", kAbsent);
    return value == kAbsent ? std::nullopt : std::optional<std::string>(value);
}

void Store(const char* name, const std::string& value) {
    OpenSettings().WriteValue(name, value);
}

bool HasText(const CVersionPanel& panel, const QString& text) {
    for (const auto& d : panel.Drawings()) {
        if (d.kind == CVersionPanel::Drawing::Kind::Text && d.text == text) {
            return true;
        }
    }
    return false;
}

// Picks an entry from the dropped list as the user does.
void PickFromList(CMainDialog& dialog, int index) {
    dialog.m_comboPort->showPopup();
    QAbstractItemView* view = dialog.m_comboPort->view();
    view->setCurrentIndex(dialog.m_comboPort->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
}

// Records the system commands' dialogs instead of running them.
class CRecordingDialog : public CMainDialog {
public:
    QStringList titles;
    CSerialPort* monitorPort = nullptr;
    bool portOpenWhenMonitorRan = false;
    int imageWrites = 0;

    void WriteImage() override { ++imageWrites; }

protected:
    int RunModal(QDialog& dialog) override {
        titles << dialog.windowTitle();
        if (auto* monitor = dynamic_cast<CMonitorDialog*>(&dialog)) {
            monitorPort = monitor->m_pPort;
            portOpenWhenMonitorRan = monitor->m_pPort->IsOpen();
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
        QVERIFY(!dialog.m_pPort);  // no port object until the window initialises
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Corvane"));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!dialog.windowIcon().isNull());
        QVERIFY(dialog.m_btnRead->isVisible());
        QVERIFY(dialog.m_btnUpgrade->isVisible());
        QVERIFY(dialog.m_btnExit->isVisible());
        QVERIFY(dialog.m_btnExit->isDefault());
        QCOMPARE(dialog.focusWidget(), dialog.m_btnExit);
        QVERIFY(dialog.m_comboPort->isVisible());
        QVERIFY(!dialog.m_progress->isVisible());
        QCOMPARE(dialog.m_progress->value(), 0);
        QStringList entries;
        for (int i = 0; i < dialog.m_comboPort->count(); ++i) {
            entries << dialog.m_comboPort->itemText(i);
        }
        QCOMPARE(entries, QStringList({"COM1", "COM2", "COM3", "COM4"}));
        QVERIFY(dialog.m_pPort);
        QVERIFY(!dialog.m_pPort->IsOpen());
        QCOMPARE(dialog.m_pPort->GetPortName(), std::string("COM1"));
        // The panel before the first identification.
        QCOMPARE(dialog.m_panel.m_strUpgradeVersion, std::string(UpgradeVersion()));
        QVERIFY(dialog.m_panel.m_strBootCode.empty());
        QVERIFY(dialog.m_panel.m_strChargerCode.empty());
        for (const char* text :
             {"Current Version", "Boot Code:", "Charger Code:", "Upgrade Version", "2.10e"}) {
            QVERIFY2(HasText(dialog.m_panel, text), text);
        }
        // Nothing is saved by starting.
        QVERIFY(!StoredPort());
    }

    void portSelection_data() {
        QTest::addColumn<QString>("stored");  // empty: no setting
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::newRow("absent") << QString() << 0 << "COM1";
        QTest::newRow("COM1") << "COM1" << 0 << "COM1";
        QTest::newRow("COM4") << "COM4" << 3 << "COM4";
        QTest::newRow("prefix COM") << "COM" << 1 << "COM2";
        QTest::newRow("lower case") << "com4" << 3 << "COM4";
        QTest::newRow("unknown") << "LPT1" << -1 << "";
    }

    void portSelection() {
        QFETCH(QString, stored);
        QFETCH(int, index);
        QFETCH(QString, text);
        if (!stored.isEmpty()) {
            Store("Port", stored.toStdString());
        }
        CMainDialog dialog;
        dialog.show();
        QCOMPARE(dialog.m_comboPort->currentIndex(), index);
        QCOMPARE(dialog.m_comboPort->currentText(), text);
        QCOMPARE(QString::fromStdString(dialog.m_pPort->GetPortName()), text);
    }

    void typedTextNeverStands_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");
        QTest::newRow("selection") << "COM4"
                                   << "COM4";
        QTest::newRow("no selection") << "LPT1"
                                      << "";
    }

    void typedTextNeverStands() {
        QFETCH(QString, stored);
        QFETCH(QString, text);
        Store("Port", stored.toStdString());
        CMainDialog dialog;
        dialog.show();
        QTest::keyClicks(dialog.m_comboPort->lineEdit(), "COM3");
        QCOMPARE(dialog.m_comboPort->currentText(), text);
        QCOMPARE(QString::fromStdString(dialog.m_pPort->GetPortName()), text);
    }

    void portPickedFromTheListIsSavedAtExit() {
        Store("Port", "COM4");
        CMainDialog dialog;
        dialog.show();
        PickFromList(dialog, 1);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.m_pPort->GetPortName(), std::string("COM2"), 5000);
        QCOMPARE(dialog.m_comboPort->currentText(), QString("COM2"));
        QCOMPARE(StoredPort(), std::optional<std::string>("COM4"));
        QTest::mouseClick(dialog.m_btnExit, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(StoredPort(), std::optional<std::string>("COM2"));
    }

    void portSavedOnEachWayOut_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("saved");
        for (const char* way : {"exit", "enter", "enter in port field", "escape", "close box"}) {
            QTest::addRow("%s, absent", way) << QString() << way << "COM1";
            QTest::addRow("%s, changed", way) << "COM3" << way << "COM2";
            QTest::addRow("%s, no selection", way) << "LPT1" << way << "";
        }
    }

    void portSavedOnEachWayOut() {
        QFETCH(QString, stored);
        QFETCH(QString, way);
        QFETCH(QString, saved);
        if (!stored.isEmpty()) {
            Store("Port", stored.toStdString());
        }
        const std::optional<std::string> before = StoredPort();
        CMainDialog dialog;
        dialog.show();
        if (stored == "COM3") {
            dialog.m_comboPort->setCurrentIndex(1);
            dialog.OnPortChange();
        }
        QCOMPARE(StoredPort(), before);  // changing the choice saves nothing

        if (way == "exit") {
            QTest::mouseClick(dialog.m_btnExit, Qt::LeftButton);
        } else if (way == "enter") {
            QTest::keyClick(&dialog, Qt::Key_Return);
        } else if (way == "enter in port field") {
            dialog.m_comboPort->setFocus();
            QTest::keyClick(dialog.m_comboPort->lineEdit(), Qt::Key_Return);
        } else if (way == "escape") {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        } else {
            QVERIFY(dialog.close());
        }
        QVERIFY(!dialog.isVisible());
        QVERIFY(!dialog.m_pPort);
        QCOMPARE(StoredPort(), std::optional<std::string>(saved.toStdString()));
        // The panel is detached: the window is not drawn into any more.
        QVERIFY(dialog.m_panel.m_pOwner == nullptr);
    }

    void changingThePortClosesItWhenOpenUnderAnotherName() {
        testkit::CPtyPair second;
        testkit::CPtyPair third;
        Store("COM2", second.SlavePath());
        Store("COM3", third.SlavePath());
        Store("Port", "COM2");
        CMainDialog dialog;
        dialog.show();
        QVERIFY(dialog.m_pPort->Open());

        dialog.m_comboPort->setCurrentIndex(1);
        dialog.OnPortChange();
        QVERIFY(dialog.m_pPort->IsOpen());  // the same name again

        dialog.m_comboPort->setCurrentIndex(2);
        dialog.OnPortChange();
        QVERIFY(!dialog.m_pPort->IsOpen());
        QCOMPARE(dialog.m_pPort->GetPortName(), std::string("COM3"));
    }

    void systemMenuTexts() {
        CMainDialog dialog;
        dialog.show();
        const QList<QAction*> actions = dialog.m_menuSystem->actions();
        QCOMPARE(actions.size(), 6);
        const QStringList texts = {"",           "&About Mirelda...", "", "M&onitor Charger",
                                   "C&RC Check", "&Write Image"};
        const QList<unsigned> values = {0, 0x10, 0, 0x20, 0x30, 0x40};
        for (int i = 0; i < actions.size(); ++i) {
            QCOMPARE(actions[i]->isSeparator(), texts[i].isEmpty());
            QCOMPARE(actions[i]->text(), texts[i]);
            if (!texts[i].isEmpty()) {
                QCOMPARE(actions[i]->data().toUInt(), values[i]);
            }
        }
    }

    void missingStringsLeaveTheirItemsOut_data() {
        QTest::addColumn<int>("missing");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("101") << 101
                             << QStringList({"", "M&onitor Charger", "C&RC Check", "&Write Image"});
        QTest::newRow("106") << 106
                             << QStringList({"", "&About Mirelda...", "", "M&onitor Charger",
                                             "&Write Image"});
    }

    void missingStringsLeaveTheirItemsOut() {
        QFETCH(int, missing);
        QFETCH(QStringList, texts);
        const QMap<int, QString> table = {{101, "&About Mirelda..."},
                                          {105, "M&onitor Charger"},
                                          {106, "C&RC Check"},
                                          {107, "&Write Image"}};
        QMenu menu;
        CMainDialog::ExtendSystemMenu(
            menu, [&](int id) { return id == missing ? QString() : table.value(id); },
            [](unsigned) {});
        QStringList shown;
        for (QAction* action : menu.actions()) {
            shown << action->text();
        }
        QCOMPARE(shown, texts);
    }

    void systemCommandDispatch_data() {
        QTest::addColumn<unsigned>("value");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("writes");
        QTest::newRow("0x10") << 0x10u << "About Corvane" << 0;
        QTest::newRow("0x1F") << 0x1Fu << "About Corvane" << 0;
        QTest::newRow("0x20") << 0x20u << "Charger Variables" << 0;
        QTest::newRow("0x30") << 0x30u << "File CRC Check" << 0;
        QTest::newRow("0x4F") << 0x4Fu << "" << 1;
        QTest::newRow("0x50") << 0x50u << "" << 0;
    }

    void systemCommandDispatch() {
        QFETCH(unsigned, value);
        QFETCH(QString, title);
        QFETCH(int, writes);
        CRecordingDialog dialog;
        dialog.show();
        dialog.OnSysCommand(value);
        QCOMPARE(dialog.titles, title.isEmpty() ? QStringList() : QStringList({title}));
        QCOMPARE(dialog.imageWrites, writes);
        QVERIFY(dialog.isVisible());
    }

    void menuItemsRunTheirCommands() {
        CRecordingDialog dialog;
        dialog.show();
        for (QAction* action : dialog.m_menuSystem->actions()) {
            action->trigger();
        }
        QCOMPARE(dialog.titles,
                 QStringList({"About Corvane", "Charger Variables", "File CRC Check"}));
        QCOMPARE(dialog.imageWrites, 1);
    }

    void monitorTakesOverTheClosedPort() {
        testkit::CPtyPair pty;
        Store("COM1", pty.SlavePath());
        CRecordingDialog dialog;
        dialog.show();
        QVERIFY(dialog.m_pPort->Open());
        dialog.OnSysCommand(CMainDialog::kIdmMonitorCharger);
        QCOMPARE(dialog.monitorPort, dialog.m_pPort.get());
        QVERIFY(!dialog.portOpenWhenMonitorRan);
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
                dialog.done(QDialog::Accepted);
                attempted = true;
            });
            clock.SleepMs(50);
            visibleAfterAttempts = dialog.isVisible();
        });
        QVERIFY(attempted);
        QVERIFY(visibleAfterAttempts);
        QVERIFY(dialog.isVisible());
        QVERIFY(!StoredPort());
        QVERIFY(dialog.close());  // between commands the window ends
        QCOMPARE(StoredPort(), std::optional<std::string>("COM1"));
    }

    void repaintKeepsTheStatusShowingAfreshErasesIt() {
        CMainDialog dialog;
        dialog.show();
        CMainDialogView view(dialog);
        view.ShowStatus("Read Version Complete");
        const QRect status = dialog.m_panel.Drawings().back().rect;
        const auto ink = [&](const QRect& rect) {
            const QImage surface = dialog.m_panel.Surface();
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    if (qAlpha(surface.pixel(x, y)) == 255 && qGray(surface.pixel(x, y)) < 100) {
                        return true;
                    }
                }
            }
            return false;
        };
        view.InvalidateWindow();
        QCoreApplication::processEvents();
        QVERIFY(ink(status));
        dialog.hide();
        dialog.show();
        QVERIFY(!ink(status));
        QVERIFY(HasText(dialog.m_panel, "Current Version"));
    }

    void viewDrivesTheWindow() {
        CMainDialog dialog;
        dialog.show();
        CMainDialogView view(dialog);
        view.ShowUpgradeButton(false);
        view.ShowReadButton(false);
        QVERIFY(!dialog.m_btnUpgrade->isVisible());
        QVERIFY(!dialog.m_btnRead->isVisible());
        view.ShowReadButton(true);
        QVERIFY(dialog.m_btnRead->isVisible());
        view.SetProgress(0, 101);
        QVERIFY(dialog.m_progress->isVisible());
        QCOMPARE(dialog.m_progress->maximum(), 101);
        view.BootCode() = "1.3";
        dialog.m_panel.ClearDrawings();
        view.PaintWindow();
        QVERIFY(HasText(dialog.m_panel, "1.3"));
        QCOMPARE(&view.UpgradeVersion(), &dialog.m_panel.m_strUpgradeVersion);
    }

    void commandsOnAPortThatCannotOpen() {
        testkit::CBoxRecorder boxes;
        testkit::CDebugRecorder debugOutput;
        Store("Port", "LPT1");  // no entry: an empty port name
        CMainDialog dialog;
        dialog.show();
        dialog.OnRead();
        QVERIFY(HasText(dialog.m_panel, "No Communications With Charger"));
        QVERIFY(!dialog.m_btnUpgrade->isVisible());
        QVERIFY(boxes.Count() > 0);
        dialog.OnUpgrade();
        QVERIFY(HasText(dialog.m_panel, "Unable to Open Comm Port"));
        QVERIFY(dialog.m_btnRead->isVisible());
        QVERIFY(!dialog.m_pPort->IsOpen());
    }

private:
    std::unique_ptr<testkit::CScratchConfig> m_config;
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
