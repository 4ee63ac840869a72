// The Read and Upgrade buttons end to end: the window's own command handlers
// against the simulated charger on a pseudo-terminal, through the real port
// and the window's clock. What the window shows afterwards is read back from
// the panel's drawings and the buttons.
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "TestKit.h"
#include "app/MainDialog.h"
#include "sim/SimulatedCharger.h"

namespace {

QStringList DrawnTexts(const CVersionPanel& panel) {
    QStringList texts;
    for (const auto& d : panel.Drawings()) {
        if (d.kind == CVersionPanel::Drawing::Kind::Text) {
            texts << d.text;
        }
    }
    return texts;
}

}  // namespace

class WindowCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<testkit::CScratchConfig>(); }
    void cleanup() { m_config.reset(); }

    void readShowsTheVersionsAndOffersTheUpgrade() {
        sim::CSimulatedCharger charger(Options("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
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

    void upgradeInstallsTheCarriedImage() {
        testkit::CBoxRecorder boxes;
        sim::CSimulatedCharger charger(Options("old-firmware"));
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
        dialog.done(QDialog::Accepted);
    }

private:
    static sim::SimOptions Options(const char* scenario) {
        sim::SimOptions options;
        sim::ScenarioOptions(scenario, options);
        options.paceOutput = false;  // the window's own waits set the pace
        return options;
    }

    std::unique_ptr<testkit::CScratchConfig> m_config;
};

QTEST_MAIN(WindowCommandsTest)
#include "WindowCommandsTest.moc"
