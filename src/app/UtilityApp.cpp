#include "app/UtilityApp.h"

#include <QApplication>
#include <QEventLoop>
#include <QPixmap>

#include <clocale>
#include <cstdio>
#include <utility>

#include "app/AppIcon.h"
#include "app/BenchWindow.h"
#include "app/MainDialog.h"
#include "app/MessageBoxPresenter.h"
#include "app/PortSetupDialog.h"
#include "platform/DebugOutput.h"
#include "platform/MessageBox.h"
#include "sim/SimulatedCharger.h"
#include "support/ProgramVersion.h"

CUtilityApp::CUtilityApp(StartOptions options) : m_options(std::move(options)) {
    RestoreCLocale();
}

void CUtilityApp::RestoreCLocale() {
    // The Qt application object took the C library's locale from the desktop.
    // Numbers read from and written to the charger, files and logs go through
    // atof and printf and must keep the decimal point; the error reports
    // quote the system's own texts, which stay in US English. Character
    // handling keeps the desktop's, so file names stay readable.
    std::setlocale(LC_NUMERIC, "C");
    std::setlocale(LC_MESSAGES, "C");
}

void CUtilityApp::PreparePlatform(const StartOptions& options) {
    if (!options.screenshotFile.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

bool CUtilityApp::InitInstance() {
    QCoreApplication::setApplicationName(QString::fromLatin1(platform::ApplicationName()));
    QCoreApplication::setOrganizationName(QStringLiteral("Veltra"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(ProgramVersion()));
    QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));
    QApplication::setWindowIcon(AppIcon());

    const CMessageBoxPresenter boxes;
    if (m_options.debug) {
        platform::SetDebugSink(platform::StandardErrorSink());
    }
    if (m_options.bench || m_options.portSetup) {
        RunToolWindow();
        return false;
    }
    std::unique_ptr<sim::CSimulatedCharger> simulation;
    if (!m_options.simulateScenario.isEmpty()) {
        std::string error;
        simulation = sim::StartScenario(m_options.simulateScenario.toStdString(), error);
        if (!simulation) {
            std::fprintf(stderr, "corvane: %s\n", error.c_str());
            m_exitCode = 2;
            return false;
        }
    }
    CMainDialog dialog;
    if (simulation) {
        dialog.SetSimulatedDevice(simulation->SlavePath());
    }
    if (!m_options.screenshotFile.isEmpty()) {
        dialog.SetSaveSettings(false);  // a picture changes nothing
        m_exitCode = SaveScreenshot(dialog) ? 0 : 1;
        return false;
    }
    dialog.exec();  // its result is not looked at
    return false;
}

bool CUtilityApp::SaveScreenshot(CMainDialog& dialog) const {
    dialog.show();
    const bool saved = SavePicture(dialog);
    dialog.done(QDialog::Accepted);
    return saved;
}

bool CUtilityApp::SavePicture(QWidget& window) const {
    QCoreApplication::processEvents();
    const QPixmap picture = window.grab();
    const bool saved = picture.save(m_options.screenshotFile, "PNG");
    if (!saved) {
        std::fprintf(stderr, "corvane: cannot write %s\n", qPrintable(m_options.screenshotFile));
    }
    return saved;
}

void CUtilityApp::RunToolWindow() {
    std::unique_ptr<QDialog> window;
    if (m_options.portSetup) {
        window = std::make_unique<CPortSetupDialog>();
    } else {
        auto bench = std::make_unique<CBenchWindow>();
        if (!m_options.ports.isEmpty()) {
            bench->SetPorts(m_options.ports.join(QLatin1Char(' ')));
        }
        if (!m_options.screenshotFile.isEmpty() && !m_options.ports.isEmpty()) {
            // The picture shows the bench once it has served its ports.
            QEventLoop served;
            bench->onRunEnded = [&served] { served.quit(); };
            bench->show();
            if (bench->Start()) {
                served.exec();
            }
        }
        window = std::move(bench);
    }
    if (m_options.screenshotFile.isEmpty()) {
        window->exec();
        return;
    }
    window->show();
    m_exitCode = SavePicture(*window) ? 0 : 1;
    window->reject();
}
