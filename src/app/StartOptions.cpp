#include "app/StartOptions.h"

#include <QCommandLineParser>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "support/ProgramVersion.h"

namespace {

const QString kScreenshotOption = QStringLiteral("screenshot");

}  // namespace

StartOptions StartOptions::Parse(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return Parse(arguments);
}

// QCommandLineParser has no options with an optional value, so --simulate
// and --simulate=SCENARIO are taken out before it sees the rest.
static QStringList TakeSimulate(const QStringList& arguments, QString& scenario) {
    const QString name = QStringLiteral("--simulate");
    QStringList rest;
    for (const QString& argument : arguments) {
        if (argument == name) {
            scenario = QStringLiteral("old-firmware");
        } else if (argument.startsWith(name + QLatin1Char('='))) {
            scenario = argument.mid(name.size() + 1);
        } else {
            rest.append(argument);
        }
    }
    return rest;
}

// The options that the Qt application object takes for itself, with a value
// and without. Qt reads them from the arguments it is given; here they are
// only passed over.
const char* const kQtValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "style",         "stylesheet"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb",
                                      "dograb",  "sync",        "qmljsdebugger"};

// The name of an option written with one dash or two, without its "=value"
// (empty when the argument is no option).
static QString OptionName(const QString& argument, bool& hasValue) {
    if (!argument.startsWith(QLatin1Char('-'))) {
        return {};
    }
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    hasValue = equals >= 0;
    return hasValue ? name.left(equals) : name;
}

static QStringList SkipQtOptions(const QStringList& arguments) {
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        bool hasValue = false;
        const QString name = OptionName(arguments.at(i), hasValue);
        const auto named = [&name](const char* option) { return name == QLatin1String(option); };
        if (std::any_of(std::begin(kQtValueOptions), std::end(kQtValueOptions), named)) {
            i += hasValue ? 0 : 1;  // its value follows
        } else if (!std::any_of(std::begin(kQtFlagOptions), std::end(kQtFlagOptions), named)) {
            rest.append(arguments.at(i));
        }
    }
    return rest;
}

StartOptions StartOptions::Parse(const QStringList& allArguments) {
    StartOptions options;
    const QStringList arguments =
        SkipQtOptions(TakeSimulate(allArguments, options.simulateScenario));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption screenshot(kScreenshotOption, {}, QStringLiteral("FILE"));
    const QCommandLineOption bench(QStringLiteral("bench"), {});
    const QCommandLineOption portSetup(QStringLiteral("port-setup"), {});
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("PORT"));
    const QCommandLineOption debug(QStringLiteral("debug"), {});
    parser.addOptions({help, version, screenshot, bench, portSetup, port, debug});
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("Unexpected argument '%1'.")
                            .arg(parser.positionalArguments().constFirst());
        return options;
    }
    options.showHelp = parser.isSet(help);
    options.showVersion = parser.isSet(version);
    options.debug = parser.isSet(debug);
    options.screenshotFile = parser.value(screenshot);
    options.bench = parser.isSet(bench);
    options.portSetup = parser.isSet(portSetup);
    options.ports = parser.values(port);
    if (options.bench && options.portSetup) {
        options.error = QStringLiteral("--bench and --port-setup open different windows.");
    } else if ((options.bench || options.portSetup) && !options.simulateScenario.isEmpty()) {
        options.error = QStringLiteral(
            "--simulate is for the main window; point the bench at corvane-sim's links.");
    } else if (!options.ports.isEmpty() && !options.bench) {
        options.error = QStringLiteral("--port is for the bench window (--bench).");
    }
    if (parser.isSet(screenshot) && options.screenshotFile.isEmpty()) {
        options.error = QStringLiteral("--screenshot needs a file name.");
    }
    return options;
}

QString StartOptions::HelpText() {
    return QStringLiteral(
        "Usage: corvane [--simulate[=SCENARIO]] [--bench [--port PORT]...]\n"
        "               [--port-setup] [--screenshot FILE] [--debug]\n"
        "Reads a battery charger's versions and upgrades its firmware.\n"
        "\n"
        "  --simulate[=SCENARIO]  talk to a built-in simulated charger instead of a port:\n"
        "                     old-firmware (default), current, no-firmware, noisy,\n"
        "                     cancel, silent\n"
        "  --bench            open the bench window: several chargers at once\n"
        "  --port PORT        a port of the bench (a path, COM1..COM4 or a pattern such as\n"
        "                     /dev/serial/by-id/usb-FTDI_*); repeatable\n"
        "  --port-setup       open the port setup: which device COM1..COM4 stand for\n"
        "  --screenshot FILE  save a picture of the window as PNG and exit (a bench with\n"
        "                     ports serves them to the end first)\n"
        "  --debug            write debug texts to standard error (else the system log)\n"
        "  -h, --help         show this help and exit\n"
        "  -v, --version      show the version and exit\n");
}

bool StartOptions::EndsAtOnce(int& exitCode) const {
    if (!error.isEmpty()) {
        std::fprintf(stderr, "corvane: %s\n%s", qPrintable(error), qPrintable(HelpText()));
        exitCode = 2;
        return true;
    }
    if (showHelp) {
        std::fputs(qPrintable(HelpText()), stdout);
        exitCode = 0;
        return true;
    }
    if (showVersion) {
        std::printf("corvane %s\n", ProgramVersion());
        exitCode = 0;
        return true;
    }
    return false;
}
