// The Read and Upgrade buttons end to end: the window's own command handlers
// against the simulated charger on a pseudo-terminal, through the real port
// and the window's clock, with the carried image or one chosen from a file.
// What the window shows afterwards is read back from the panel's drawings
// and the buttons.
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <memory>

#include "AnsweredFileDialogs.h"
#include "TestKit.h"
#include "app/MainDialog.h"
#include "sim/SimulatedCharger.h"

namespace {

// tools/make_image.py --label LABEL DIR/LABEL.bin; the file's path.
QString MakeImage(const std::string& dir, const QString& label) {
    const QString path = QString::fromStdString(dir) + "/" + label + ".bin";
    QProcess python;
    python.start("python3", {CORVANE_SOURCE_DIR "/tools/make_image.py", "--label", label, path});
    const bool made = python.waitForFinished(30000) && python.exitCode() == 0;
    return made ? path : QString();
}

bool CarriedImageItemEnabled(const CMainDialog& dialog) {
    for (QAction* action : dialog.m_menuSystem->actions()) {
        if (action->data().toUInt() == CMainDialog::kIdmUseCarriedImage) {
            return action->isEnabled();
        }
    }
    return false;
}

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

    // The file named 2.11a.bin, as make_image.py writes it, becomes what
    // Upgrade sends and installs.
    void upgradeFromFileInstallsTheFilesLabel() {
        testkit::CScratchDir dir;
        CAnsweredFileDialogs dialogs;
        CFileDialogsOverride answering(dialogs);
        dialogs.answers << MakeImage(dir.Path(), "2.11a");
        QVERIFY(!dialogs.answers.front().isEmpty());
        testkit::CBoxRecorder boxes;
        sim::CSimulatedCharger charger(Options("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        dialog.show();
        dialog.OnSysCommand(CMainDialog::kIdmUpgradeFromFile);
        QCOMPARE(dialog.m_panel.m_strUpgradeVersion, std::string("2.11a"));
        QVERIFY(DrawnTexts(dialog.m_panel).contains("2.11a"));
        dialog.OnUpgrade();
        QCOMPARE(charger.FirmwareVersion(), std::string("2.11a"));
        QVERIFY(DrawnTexts(dialog.m_panel).contains("Upgrade Successful"));
        QCOMPARE(boxes.Count(), std::size_t{0});
        // Back on the carried image, which the charger no longer holds.
        QVERIFY(!dialog.m_btnUpgrade->isVisible());
        dialog.OnSysCommand(CMainDialog::kIdmUseCarriedImage);
        QVERIFY(dialog.m_btnUpgrade->isVisible());
        dialog.done(QDialog::Accepted);
    }

    // A refused file and a cancelled dialog leave the choice as it was; the
    // carried image is chosen again from the menu; nothing is stored.
    void imageChoiceKeepsItsChoiceUntilTheCarriedImageIsChosen() {
        testkit::CScratchDir dir;
        const QString sound = MakeImage(dir.Path(), "2.11a");
        const QString cut = QString::fromStdString(dir.Path() + "/2.12.bin");
        std::ofstream(cut.toStdString(), std::ios::binary) << std::string(200, '\0');
        CAnsweredFileDialogs dialogs;
        CFileDialogsOverride answering(dialogs);
        dialogs.answers << sound << cut << "";
        testkit::CBoxRecorder boxes;
        CMainDialog dialog;
        dialog.show();
        QVERIFY(!CarriedImageItemEnabled(dialog));
        for (int choice = 0; choice < 3; ++choice) {
            dialog.OnSysCommand(CMainDialog::kIdmUpgradeFromFile);
            QCOMPARE(dialog.m_panel.m_strUpgradeVersion, std::string("2.11a"));
            QCOMPARE(dialog.m_image.Image().Path(), sound.toStdString());
        }
        QCOMPARE(boxes.Count(), std::size_t{1});
        QCOMPARE(boxes.Boxes().front().text,
                 "Cannot use the image file " + cut.toStdString() +
                     ": the header says 0 code bytes, the file holds 72.");
        QVERIFY(CarriedImageItemEnabled(dialog));
        dialog.OnSysCommand(CMainDialog::kIdmUseCarriedImage);
        QCOMPARE(dialog.m_panel.m_strUpgradeVersion, std::string("2.10e"));
        QVERIFY(dialog.m_image.IsCarried());
        QVERIFY(!CarriedImageItemEnabled(dialog));

        dialogs.answers << sound;
        dialog.OnSysCommand(CMainDialog::kIdmUpgradeFromFile);
        dialog.done(QDialog::Accepted);
        CMainDialog next;
        next.show();
        QCOMPARE(next.m_panel.m_strUpgradeVersion, std::string("2.10e"));
        next.done(QDialog::Accepted);
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
