#include "app/UtilityApp.h"

#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <utility>

#include "app/AppIcon.h"
#include "app/MainDialog.h"
#include "app/MessageBoxPresenter.h"
#include "platform/MessageBox.h"
#include "sim/SimulatedCharger.h"

CUtilityApp::CUtilityApp(StartOptions options) : m_options(std::move(options)) {}

void CUtilityApp::PreparePlatform(const StartOptions& options) {
    if (!options.screenshotFile.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

bool CUtilityApp::InitInstance() {
    QCoreApplication::setApplicationName(QString::fromLatin1(platform::ApplicationName()));
    QCoreApplication::setOrganizationName(QStringLiteral("Veltra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION_LABEL));
    QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));
    QApplication::setWindowIcon(AppIcon());

    const CMessageBoxPresenter boxes;
    std::unique_ptr<sim::CSimulatedCharger> simulation;
    if (!m_options.simulateScenario.isEmpty()) {
        simulation = StartSimulation(m_options.simulateScenario.toStdString());
        if (!simulation) {
            m_exitCode = 2;
            return false;
        }
    }
    CMainDialog dialog;
    if (simulation) {
        dialog.SetSimulatedDevice(simulation->SlavePath());
    }
    if (!m_options.screenshotFile.isEmpty()) {
        m_exitCode = SaveScreenshot(dialog) ? 0 : 1;
        return false;
    }
    dialog.exec();  // its result is not looked at
    return false;
}

std::unique_ptr<sim::CSimulatedCharger> CUtilityApp::StartSimulation(const std::string& scenario) {
    sim::SimOptions options;
    if (!sim::ScenarioOptions(scenario, options)) {
        std::fprintf(stderr, "corvane: unknown scenario '%s'\n", scenario.c_str());
        return nullptr;
    }
    auto charger = std::make_unique<sim::CSimulatedCharger>(options);
    if (!charger->Start()) {
        std::fprintf(stderr, "corvane: the simulated charger did not start: %s\n",
                     charger->ErrorText().c_str());
        return nullptr;
    }
    return charger;
}

bool CUtilityApp::SaveScreenshot(CMainDialog& dialog) const {
    dialog.show();
    QCoreApplication::processEvents();
    const QPixmap picture = dialog.grab();
    const bool saved = picture.save(m_options.screenshotFile, "PNG");
    if (!saved) {
        std::fprintf(stderr, "corvane: cannot write %s\n", qPrintable(m_options.screenshotFile));
    }
    dialog.done(QDialog::Accepted);
    return saved;
}
