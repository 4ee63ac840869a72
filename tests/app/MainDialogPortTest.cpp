// The main window's port: the list and its prefix search, the port shown
// being the port used (arrow keys, wheel), "Port" written when the window
// ends and never before, and the port closed when its name changes.
#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <memory>
#include <optional>
#include <string>

#include "TestKit.h"
#include "WindowKit.h"
#include "app/MainDialog.h"
#include "app/PortComboBox.h"
#include "sim/SimulatedCharger.h"

using windowtest::Settings;
using windowtest::Stored;
using windowtest::StoredPort;

class MainDialogPortTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<testkit::CScratchConfig>(); }
    void cleanup() { m_config.reset(); }

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
        QFETCH(QString, text);
        if (!stored.isEmpty()) {
            Settings().WriteValue("Port", stored.toStdString());
        }
        CMainDialog dialog;
        dialog.show();
        QTEST(dialog.m_comboPort->currentIndex(), "index");
        QCOMPARE(dialog.m_comboPort->currentText(), text);
        QCOMPARE(QString::fromStdString(dialog.m_pPort->GetPortName()), text);
        // Typed text does not stand: the field shows the selection again.
        QTest::keyClicks(dialog.m_comboPort->lineEdit(), "COM3");
        QCOMPARE(dialog.m_comboPort->currentText(), text);
        QCOMPARE(QString::fromStdString(dialog.m_pPort->GetPortName()), text);
    }

    void portPickedFromTheListIsSavedAtExit() {
        Settings().WriteValue("Port", "COM4");
        CMainDialog dialog;
        dialog.show();
        dialog.m_comboPort->showPopup();
        QAbstractItemView* list = dialog.m_comboPort->view();
        list->setCurrentIndex(dialog.m_comboPort->model()->index(1, 0));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.m_pPort->GetPortName(), std::string("COM2"), 5000);
        QCOMPARE(StoredPort(), Stored("COM4"));
        QTest::mouseClick(dialog.m_btnExit, Qt::LeftButton);
        QCOMPARE(StoredPort(), Stored("COM2"));
    }

    // Arrow keys and the mouse wheel change the port as well as the text:
    // Read talks to the port shown, and Exit saves it.
    void portShownIsThePortUsed() {
        testkit::CPtyPair silent;
        sim::CSimulatedCharger charger(windowtest::Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        Settings().WriteValue("COM2", silent.SlavePath());
        Settings().WriteValue("COM3", charger.SlavePath());
        Settings().WriteValue("Port", "COM2");
        CMainDialog dialog;
        dialog.show();
        const auto shownIsUsed = [&] {
            return dialog.m_comboPort->currentText().toStdString() == dialog.m_pPort->GetPortName();
        };
        QTest::keyClick(dialog.m_comboPort, Qt::Key_Down);
        QCOMPARE(dialog.m_comboPort->currentText(), QString("COM3"));
        QVERIFY(shownIsUsed());
        const auto wheel = [&](int delta) {
            const QPointF at(dialog.m_comboPort->rect().center());
            QWheelEvent event(at, dialog.m_comboPort->mapToGlobal(at), {}, {0, delta}, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(dialog.m_comboPort, &event);
        };
        wheel(120);  // up: the entry before
        QCOMPARE(dialog.m_comboPort->currentText(), QString("COM2"));
        QVERIFY(shownIsUsed());
        wheel(-120);
        QCOMPARE(dialog.m_comboPort->currentText(), QString("COM3"));
        QVERIFY(shownIsUsed());
        dialog.OnRead();
        QCOMPARE(dialog.m_panel.m_strChargerCode, std::string("2.09"));
        QTest::mouseClick(dialog.m_btnExit, Qt::LeftButton);
        QCOMPARE(StoredPort(), Stored("COM3"));
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
            Settings().WriteValue("Port", stored.toStdString());
        }
        const Stored before = StoredPort();
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
        QVERIFY(!dialog.isVisible() && !dialog.m_pPort);
        QVERIFY(dialog.m_panel.m_pOwner == nullptr);
        QCOMPARE(StoredPort(), Stored(saved.toStdString()));
    }

    void changingThePortClosesItWhenOpenUnderAnotherName() {
        testkit::CPtyPair second;
        testkit::CPtyPair third;
        Settings().WriteValue("COM2", second.SlavePath());
        Settings().WriteValue("COM3", third.SlavePath());
        Settings().WriteValue("Port", "COM2");
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

private:
    std::unique_ptr<testkit::CScratchConfig> m_config;
};

QTEST_MAIN(MainDialogPortTest)
#include "MainDialogPortTest.moc"
