// Upgrading from an image file in the window: the file's label offered for
// editing, what Upgrade sends and records, and the choice kept until the
// carried image is chosen again, under a comma-decimal desktop locale.
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <memory>

#include "AnsweredFileDialogs.h"
#include "TestKit.h"
#include "WindowKit.h"
#include "app/MainDialog.h"
#include "app/UtilityApp.h"
#include "sim/SimulatedCharger.h"

using windowtest::CarriedImageItemEnabled;
using windowtest::DrawnTexts;
using windowtest::MakeImage;
using windowtest::RecordLines;
using windowtest::Unpaced;

class ImageChoiceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_app = std::make_unique<CUtilityApp>(StartOptions{}); }
    void init() { m_scratch = std::make_unique<windowtest::CScratch>(); }
    void cleanup() { m_scratch.reset(); }

    // A file named 2.11a, without extension, becomes what Upgrade sends and
    // installs, under the label its whole name gives.
    void upgradeFromFileInstallsTheFilesLabel() {
        testkit::CScratchDir dir;
        CAnsweredFileDialogs dialogs;
        CFileDialogsOverride answering(dialogs);
        const QString made = MakeImage(dir.Path(), "2.11a");
        QVERIFY(!made.isEmpty());
        const QString file = made.chopped(4);
        QVERIFY(QFile::rename(made, file));
        dialogs.answers << file;
        testkit::CBoxRecorder boxes;
        sim::CSimulatedCharger charger(Unpaced("old-firmware"));
        QVERIFY(charger.Start());
        CMainDialog dialog;
        dialog.SetSimulatedDevice(charger.SlavePath());
        dialog.show();
        dialog.OnSysCommand(CMainDialog::kIdmUpgradeFromFile);
        QCOMPARE(dialogs.offered, QStringList{"2.11a"});
        QCOMPARE(dialog.m_panel.m_strUpgradeVersion, std::string("2.11a"));
        QVERIFY(DrawnTexts(dialog.m_panel).contains("2.11a"));
        dialog.OnUpgrade();
        QCOMPARE(charger.FirmwareVersion(), std::string("2.11a"));
        QVERIFY(DrawnTexts(dialog.m_panel).contains("Upgrade Successful"));
        QCOMPARE(boxes.Count(), std::size_t{0});
        const QStringList log = RecordLines();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].contains("\"before\":\"\",\"after\":\"2.11a\",\"image\":{\"label\":"
                                 "\"2.11a\",\"size\":12810,\"crc\":\"") &&
                     log[0].contains("\"path\":\"" + file + "\"}"),
                 qPrintable(log[0]));
        // Back on the carried image, which the charger no longer holds.
        QVERIFY(!dialog.m_btnUpgrade->isVisible());
        dialog.OnSysCommand(CMainDialog::kIdmUseCarriedImage);
        QVERIFY(dialog.m_btnUpgrade->isVisible());
        dialog.done(QDialog::Accepted);
    }

    // The label a name gives is only offered: the technician can correct it,
    // and cancelling the question keeps the choice as it was.
    void labelIsOfferedForEditing() {
        testkit::CScratchDir dir;
        const QString made = MakeImage(dir.Path(), "2.11a");
        const QString candidate = QString::fromStdString(dir.Path() + "/candidate.bin");
        QVERIFY(QFile::copy(made, candidate));
        CAnsweredFileDialogs dialogs;
        CFileDialogsOverride answering(dialogs);
        dialogs.answers << candidate << candidate;
        dialogs.texts << ""
                      << "2.11a";
        testkit::CBoxRecorder boxes;
        CMainDialog dialog;
        dialog.show();
        dialog.OnSysCommand(CMainDialog::kIdmUpgradeFromFile);
        QVERIFY(dialog.m_image.IsCarried());
        dialog.OnSysCommand(CMainDialog::kIdmUpgradeFromFile);
        QCOMPARE(dialogs.offered, QStringList({"candidate", "candidate"}));
        QCOMPARE(dialog.m_panel.m_strUpgradeVersion, std::string("2.11a"));
        QCOMPARE(dialog.m_image.Image().Path(), candidate.toStdString());
        QCOMPARE(boxes.Count(), std::size_t{0});
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
    std::unique_ptr<CUtilityApp> m_app;
    std::unique_ptr<windowtest::CScratch> m_scratch;
};

QTEST_MAIN(ImageChoiceTest)
#include "ImageChoiceTest.moc"
