// Utility application: the process's start-up and its one modal window.
//
// Principles of operation
//   main() creates the Qt application object and then this one, and calls
//   InitInstance once. Construction puts the C library's numbers and
//   messages back in the C locale, which the Qt application object had set
//   from the desktop's. It names the application, installs the window's
//   message boxes as the hook of the error reports, builds the main dialog
//   and runs it modally; when the modal run ends, InitInstance returns false
//   and the process ends. There is no main event loop of the program's own.
//   Nothing else is set up: no network start-up and no toolkit switches are
//   needed on this platform.
//
//   With a screenshot file in the options, the window is shown off screen,
//   rendered into the file and ended instead of run; it stores no settings.
//   --bench and --port-setup run those windows instead of the main window.
//
// Threads: user-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "app/StartOptions.h"

class CMainDialog;
class QWidget;
namespace sim {
class CSimulatedCharger;
}

class CUtilityApp {
public:
    explicit CUtilityApp(StartOptions options);

    // Always false: the process ends when it returns.
    bool InitInstance();
    // What the process ends with: 0, or 1 when the screenshot failed.
    int ExitCode() const { return m_exitCode; }

    // Sets the platform so that a screenshot needs no desktop; call before
    // the Qt application object exists.
    static void PreparePlatform(const StartOptions& options);
    // Numbers and system messages of the C library in the C locale; done by
    // the constructor, right after the Qt application object exists.
    static void RestoreCLocale();

private:
    bool SaveScreenshot(CMainDialog& dialog) const;
    bool SavePicture(QWidget& window) const;
    // The bench window or the port setup on its own.
    void RunToolWindow();

    StartOptions m_options;
    int m_exitCode = 0;
};
