// The window program: parse the options, create the Qt application, run the
// utility's one window.
#include <QApplication>

#include "app/StartOptions.h"
#include "app/UtilityApp.h"
#include "platform/ExclusiveHolds.h"

int main(int argc, char* argv[]) {
    const StartOptions options = StartOptions::Parse(argc, argv);
    int exitCode = 0;
    if (options.EndsAtOnce(exitCode)) {
        return exitCode;
    }
    // A port left open by exit() or std::terminate still loses its
    // exclusive-use mark.
    platform::InstallExclusiveRelease();
    CUtilityApp::PreparePlatform(options);
    QApplication qtApp(argc, argv);
    CUtilityApp theApp(options);  // puts back the C locale that QApplication replaced
    theApp.InitInstance();
    return theApp.ExitCode();
}
