// The shell around the window: the About box and the version information it
// reads, the message boxes on and off the user-interface thread, the
// window's clock, the start options and the screenshot of the program.
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
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

struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Question;
    QMessageBox::StandardButtons buttons;
};

QMessageBox* VisibleBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

// Closes the first visible message box, remembering what it showed.
bool CloseVisibleBox(ShownBox& shown) {
    QMessageBox* box = VisibleBox();
    if (box == nullptr) {
        return false;
    }
    shown = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    box->accept();
    return true;
}

std::span<const char> Block(const char* data, std::size_t size) {
    return {data, size};
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void aboutBoxShowsTheProductVersion() {
        CAboutDialog about;
        QCOMPARE(about.windowTitle(), QString("About Corvane"));
        QCOMPARE(about.m_strVersion, QString("2.10e"));
        auto* label = about.findChild<QLabel*>(CAboutDialog::kVersionControlName);
        QVERIFY(label != nullptr);
        QCOMPARE(label->text(), QString("2.10e"));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(about.findChild<QPushButton*>()->isDefault());
    }

    void versionInformation_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("version");
        const QByteArray key = QByteArray(kProductVersionKey.data(), kProductVersionKey.size());
        QTest::newRow("commas") << QByteArray(key + '\0' + "2,10,e" + '\0' + '\0') << "2.10.e";
        QTest::newRow("after another value")
            << QByteArray(QByteArray("\\Other") + '\0' + "x,y" + '\0' + key + '\0' + "2.10e" + '\0')
            << "2.10e";
        QTest::newRow("no product version")
            << QByteArray(QByteArray("\\StringFileInfo\\040904b0\\FileVersion") + '\0' + "2.10e" +
                          '\0')
            << "";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("key cut short") << key.left(20) << "";
        QTest::newRow("value without its end") << QByteArray(key + '\0' + "2,1") << "2.1";
    }

    void versionInformation() {
        QFETCH(QByteArray, block);
        QFETCH(QString, version);
        QCOMPARE(CAboutDialog::VersionFrom(Block(block.constData(), block.size())), version);
        CAboutDialog about(Block(block.constData(), block.size()), nullptr);
        QCOMPARE(about.findChild<QLabel*>(CAboutDialog::kVersionControlName)->text(), version);
    }

    void executableCarriesItsVersions() {
        const auto info = ExecutableVersionInfo();
        QCOMPARE(QueryVersionValue(info, "\\StringFileInfo\\040904b0\\FileVersion"),
                 std::optional<std::string>("2.10e"));
        QCOMPARE(QueryVersionValue(info, "\\FixedFileInfo\\ProductVersion"),
                 std::optional<std::string>("2.1.0.0"));
    }

    void boxOnTheUserInterfaceThread_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("title");
        QTest::newRow("no caption") << ""
                                    << "Corvane";
        QTest::newRow("caption") << "ERROR"
                                 << "ERROR";
    }

    void boxOnTheUserInterfaceThread() {
        QFETCH(QString, caption);
        QFETCH(QString, title);
        const CMessageBoxPresenter presenter;
        ShownBox shown;
        QTimer closer;
        closer.setInterval(10);
        connect(&closer, &QTimer::timeout, [&] {
            if (CloseVisibleBox(shown)) {
                closer.stop();
            }
        });
        closer.start();
        platform::ShowMessageBox("Error 2: No such file.\n\rUnable To Open File\r\n",
                                 caption.toStdString());
        QCOMPARE(shown.title, title);
        QCOMPARE(shown.text, QString("Error 2: No such file.\nUnable To Open File\n"));
        QCOMPARE(shown.icon, QMessageBox::NoIcon);
        QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void boxFromAWorkerThreadDoesNotWait() {
        const CMessageBoxPresenter presenter;
        auto returned = std::make_shared<std::atomic<bool>>(false);
        std::thread([returned] {
            platform::ShowMessageBox("A communications error occurred.", "ERROR");
            returned->store(true);
        }).detach();
        // No events are processed here: a worker that waited for the window
        // would never return.
        for (int i = 0; i < 500 && !returned->load(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        QVERIFY(returned->load());
        ShownBox shown;
        QTRY_VERIFY_WITH_TIMEOUT(VisibleBox() != nullptr, 5000);
        QVERIFY(CloseVisibleBox(shown));
        QCOMPARE(shown.title, QString("ERROR"));
        QCOMPARE(shown.text, QString("A communications error occurred."));
    }

    void presenterRestoresThePreviousHook() {
        testkit::CBoxRecorder recorder;
        { const CMessageBoxPresenter presenter; }
        platform::ShowMessageBox("after", "");
        QCOMPARE(recorder.Count(), std::size_t(1));
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
        QVERIFY(posted);
        QVERIFY(timer);
    }

    void startOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("screenshot");
        QTest::addColumn<bool>("error");
        QTest::newRow("none") << QStringList({"corvane"}) << "" << false;
        QTest::newRow("screenshot")
            << QStringList({"corvane", "--screenshot", "a.png"}) << "a.png" << false;
        QTest::newRow("screenshot=")
            << QStringList({"corvane", "--screenshot=b.png"}) << "b.png" << false;
        QTest::newRow("no file") << QStringList({"corvane", "--screenshot"}) << "" << true;
        QTest::newRow("unknown") << QStringList({"corvane", "--bogus"}) << "" << true;
        QTest::newRow("stray") << QStringList({"corvane", "COM1"}) << "" << true;
    }

    void startOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, screenshot);
        QFETCH(bool, error);
        const StartOptions options = StartOptions::Parse(arguments);
        QCOMPARE(options.screenshotFile, screenshot);
        QCOMPARE(!options.error.isEmpty(), error);
    }

    void screenshotOfTheProgram() {
        const testkit::CScratchConfig config;
        const testkit::CScratchDir dir;
        const QString file = QString::fromStdString(dir.Path()) + "/window.png";
        QProcess program;
        program.start(qEnvironmentVariable("CORVANE_BIN_DIR") + "/corvane", {"--screenshot", file});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        const QImage picture(file);
        QVERIFY(!picture.isNull());
        CMainDialog dialog;
        QCOMPARE(picture.size(), dialog.size() * picture.devicePixelRatio());
        // The heading of the version panel is drawn below the menu bar.
        dialog.show();
        const auto& heading = dialog.m_panel.Drawings().front();
        QCOMPARE(heading.text, QString("Current Version"));
        const QRect rect = heading.rect.translated(dialog.contentsRect().topLeft());
        int ink = 0;
        for (int x = rect.left(); x <= rect.right(); ++x) {
            ink += qGray(picture.pixel(x, rect.center().y())) < 80 ? 1 : 0;
        }
        QVERIFY(ink > 0);
    }

    void screenshotThatCannotBeWritten() {
        const testkit::CScratchConfig config;
        QProcess program;
        program.start(qEnvironmentVariable("CORVANE_BIN_DIR") + "/corvane",
                      {"--screenshot", "/nonexistent-folder/window.png"});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 1);
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
