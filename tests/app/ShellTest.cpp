// The shell around the window: the About box and the version information it
// reads, the message boxes on and off the user-interface thread, the
// window's clock, the start options and the program's screenshot.
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "TestKit.h"
#include "app/AboutDialog.h"
#include "app/MainDialog.h"
#include "app/MessageBoxPresenter.h"
#include "app/StartOptions.h"
#include "app/VersionInfo.h"
#include "app/WindowClock.h"

namespace {

QMessageBox* VisibleBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

// What a box showed: title, text, whether it had an icon, its buttons.
QStringList CloseBox(QMessageBox* box) {
    const QStringList shown = {box->windowTitle(), box->text(),
                               box->icon() == QMessageBox::NoIcon ? "no icon" : "icon",
                               box->standardButtons() == QMessageBox::Ok ? "OK" : "buttons"};
    box->accept();
    return shown;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void aboutBoxVersion_data() {
        QTest::addColumn<QByteArray>("block");  // empty: the executable's own
        QTest::addColumn<QString>("version");
        const QByteArray key(kProductVersionKey.data(), kProductVersionKey.size());
        QTest::newRow("executable") << QByteArray() << "2.10e";
        QTest::newRow("commas") << QByteArray(key + '\0' + "2,10,e" + '\0' + '\0') << "2.10.e";
        QTest::newRow("after another value")
            << QByteArray("\\Other" + QByteArray(1, '\0') + "x" + '\0' + key + '\0' + "2.1" + '\0')
            << "2.1";
        QTest::newRow("no product version")
            << QByteArray("\\StringFileInfo\\040904b0\\FileVersion" + QByteArray(1, '\0') + "2.1")
            << "";
        QTest::newRow("nothing") << QByteArray(1, '\0') << "";
        QTest::newRow("key cut short") << key.left(20) << "";
        QTest::newRow("value without its end") << QByteArray(key + '\0' + "2,1") << "2.1";
    }

    void aboutBoxVersion() {
        QFETCH(QByteArray, block);
        const auto about =
            block.isEmpty() ? std::make_unique<CAboutDialog>()
                            : std::make_unique<CAboutDialog>(std::span<const char>(block), nullptr);
        QCOMPARE(about->windowTitle(), QString("About Corvane"));
        QTEST(about->m_strVersion, "version");
        QTEST(about->findChild<QLabel*>(CAboutDialog::kVersionControlName)->text(), "version");
    }

    void boxOnTheUserInterfaceThread() {
        const CMessageBoxPresenter presenter;
        QStringList shown;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QMessageBox* box = VisibleBox()) {
                shown = CloseBox(box);
                closer.stop();
            }
        });
        closer.start(10);
        platform::ShowMessageBox("Error 2: No such file.\n\rUnable To Open File\r\n");
        QCOMPARE(shown, QStringList({"Corvane", "Error 2: No such file.\nUnable To Open File\n",
                                     "no icon", "OK"}));
    }

    void boxFromAWorkerThreadDoesNotWait() {
        const CMessageBoxPresenter presenter;
        auto returned = std::make_shared<std::atomic<bool>>(false);
        std::thread([returned] {
            platform::ShowMessageBox("A communications error occurred.", "ERROR");
            returned->store(true);
        }).detach();
        // No events are processed while waiting: a worker that waited for the
        // window would never return.
        for (int i = 0; i < 500 && !returned->load(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        QVERIFY(returned->load());
        QTRY_VERIFY_WITH_TIMEOUT(VisibleBox() != nullptr, 5000);
        QCOMPARE(CloseBox(VisibleBox()),
                 QStringList({"ERROR", "A communications error occurred.", "no icon", "OK"}));
    }

    // A box posted while a dialog runs modally belongs to that dialog and is
    // itself modal, so it stands on top and OK closes it.
    void boxDuringAModalDialogIsOwnedByItAndClosable() {
        const CMessageBoxPresenter presenter;
        QDialog dialog;
        QMessageBox* seen = nullptr;
        QWidget* owner = nullptr;
        bool modal = false;
        QTimer::singleShot(0, &dialog, [] {
            std::thread([] { platform::ShowMessageBox("Link lost.", "ERROR"); }).join();
        });
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QMessageBox* box = VisibleBox()) {
                seen = box;
                owner = box->parentWidget();
                modal = box->isModal();
                QTest::keyClick(box, Qt::Key_Return);
                closer.stop();
                dialog.reject();
            }
        });
        closer.start(10);
        QTimer::singleShot(5000, &dialog, &QDialog::reject);
        dialog.exec();
        QVERIFY(seen != nullptr);
        QCOMPARE(owner, &dialog);
        QVERIFY(modal);
    }

    void windowClockRunsTheWindowWhileItSleeps() {
        CWindowClock clock;
        bool posted = false;
        bool timer = false;
        QMetaObject::invokeMethod(
            qApp, [&] { posted = true; }, Qt::QueuedConnection);
        QTimer::singleShot(5, qApp, [&] { timer = true; });
        const std::uint32_t start = clock.NowMs();
        clock.SleepMs(30);
        QVERIFY(clock.NowMs() - start >= 30);
        QVERIFY(posted && timer);
    }

    void startOptions() {
        QCOMPARE(StartOptions::Parse({"corvane", "--screenshot=a.png"}).screenshotFile, "a.png");
        QVERIFY(!StartOptions::Parse({"corvane", "--screenshot"}).error.isEmpty());
        QVERIFY(!StartOptions::Parse({"corvane", "COM1"}).error.isEmpty());
        QVERIFY(StartOptions::Parse({"corvane"}).error.isEmpty());
        // Qt's own options are left to Qt.
        const StartOptions withQt =
            StartOptions::Parse({"corvane", "-platform", "offscreen", "-style=fusion", "--style",
                                 "fusion", "-reverse", "--screenshot", "a.png"});
        QCOMPARE(withQt.error, QString());
        QCOMPARE(withQt.screenshotFile, "a.png");
        const StartOptions bench =
            StartOptions::Parse({"corvane", "--bench", "--port", "COM2", "--port", "/tmp/c-*"});
        QVERIFY(bench.bench && bench.error.isEmpty());
        QCOMPARE(bench.ports, QStringList({"COM2", "/tmp/c-*"}));
        QVERIFY(StartOptions::Parse({"corvane", "--port-setup"}).portSetup);
        QVERIFY(StartOptions::Parse({"corvane", "--debug"}).debug);
        QVERIFY(!StartOptions::Parse({"corvane"}).debug);
        for (const QStringList& wrong : {QStringList{"corvane", "--port", "COM2"},
                                         QStringList{"corvane", "--bench", "--port-setup"},
                                         QStringList{"corvane", "--bench", "--simulate"}}) {
            QVERIFY2(!StartOptions::Parse(wrong).error.isEmpty(), qPrintable(wrong.join(' ')));
        }
    }

    void screenshotOfTheProgram() {
        const testkit::CScratchConfig config;
        const testkit::CScratchDir dir;
        const QString file = QString::fromStdString(dir.Path()) + "/window.png";
        QProcess program;
        program.start(qEnvironmentVariable("CORVANE_BIN_DIR") + "/corvane", {"--screenshot", file});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!QFile::exists(QString::fromStdString(config.Dir()) + "/Veltra/Corvane.ini"));

        const QImage picture(file);
        CMainDialog dialog;
        dialog.show();
        QCOMPARE(picture.size(), dialog.size());
        // The panel's heading is in the picture, below the menu bar.
        const auto& heading = dialog.m_panel.Drawings().front();
        QCOMPARE(heading.text, QString("Current Version"));
        const QRect rect = heading.rect.translated(dialog.contentsRect().topLeft());
        int ink = 0;
        for (int x = rect.left(); x <= rect.right(); ++x) {
            ink += qGray(picture.pixel(x, rect.center().y())) < 80 ? 1 : 0;
        }
        QVERIFY(ink > 0);
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
