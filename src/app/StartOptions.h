// Start options: what the command line asks of the window program.
//
// Principles of operation
//   The window takes no command of its own; the options only serve around
//   it: --screenshot FILE saves a picture of the main window in its start-up
//   state as PNG and ends (it renders off screen, so it needs no desktop),
//   --help and --version print and end. --bench opens the bench window
//   (on the --port ports given) and --port-setup the port setup instead of
//   the main window; with --screenshot, the bench first serves its ports to
//   the end, so that the picture shows the results. --simulate[=SCENARIO]
//   runs the window against the built-in simulated charger for this run
//   only. --debug writes the debug texts (the names of failed port
//   operations, the texts of the boxes) to standard error, which otherwise
//   stays quiet: they go to the system log. Qt's own options (-platform,
//   -style and the like) are passed over here and left to the Qt
//   application object. Parsing needs no application object, so main() can
//   decide on the platform before it creates one.
//
// Threads: any.
#pragma once

#include <QString>
#include <QStringList>

struct StartOptions {
    QString screenshotFile;    // empty: run the window
    QString simulateScenario;  // empty: a real charger; else --simulate[=SCENARIO]
    bool bench = false;        // --bench: the bench window instead of the main window
    bool portSetup = false;    // --port-setup: the port setup instead of the main window
    QStringList ports;         // --port, for the bench window
    bool debug = false;        // --debug: debug texts on standard error
    bool showHelp = false;
    bool showVersion = false;
    QString error;  // not empty: the arguments were not understood

    static StartOptions Parse(const QStringList& arguments);
    static StartOptions Parse(int argc, char* argv[]);
    static QString HelpText();

    // Prints help, version or error as asked; returns whether main should end
    // now, and with which code.
    bool EndsAtOnce(int& exitCode) const;
};
