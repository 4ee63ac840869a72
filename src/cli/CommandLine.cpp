#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include <ctime>

#include "cli/HelpFormatter.h"
#include "cli/PortList.h"
#include "protocol/UpgradeImage.h"
#include "records/HistoryFilter.h"
#include "serial/PortName.h"
#include "support/ProgramVersion.h"

const char* const kExitCodeHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the charger answered but the command failed (no software, upgrade failed,\n"
    "     cancelled); crc: the image file's header disagrees with its contents\n"
    "  2  usage error\n"
    "  3  the port could not be opened\n"
    "  4  no communication with the charger\n"
    "  5  file error (also a settings file, or standard output, that cannot be\n"
    "     written)\n"
    "  130  interrupted with Ctrl-C (129: SIGHUP, 143: SIGTERM)\n";

namespace {

// --image FILE [--label VERSION]: the image a command compares with (and
// sends) instead of the carried one.
void AddImageOptions(CLI::App& command, CliOptions& o) {
    auto* image =
        command
            .add_option(
                "--image", o.imageFile,
                "An image file to use instead of the built-in image; it is checked before anything "
                "is sent")
            ->type_name("FILE");
    command
        .add_option("--label", o.imageLabel,
                    "The version the charger reports once the file's image is installed "
                    "(default: the file's name without a .bin extension)")
        ->type_name("VERSION")
        ->needs(image);
}

// --port as the commands want it: COM1..COM4 (in any case), or an absolute
// device path. Throws CLI11's validation error for anything else.
std::string PortArgument(std::string value) {
    if (value.empty()) {
        throw CLI::ValidationError("needs COM1 to COM4 or a device path");
    }
    if (LooksLikePortName(value)) {
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (!IsPortName(value)) {
            throw CLI::ValidationError(UnknownPortNameMessage(value));
        }
        return value;
    }
    return std::filesystem::absolute(value).lexically_normal().string();
}

// The options that hold for every command; the top level and each command
// get their own copy, all bound to the same fields.
void AddGlobalOptions(CLI::App& app, CliOptions& o, const std::string& group,
                      bool withPort = true) {
    if (withPort) {
        app.add_option("--port", o.port,
                       "COM1..COM4 (resolved through the settings) or a device path; "
                       "default: the port chosen last in the window")
            ->transform(PortArgument)
            ->type_name("PORT")
            ->group(group);
    }
    app.add_option("--simulate", o.simulate,
                   "Run against a built-in simulated charger; SCENARIO is old-firmware "
                   "(the default), current, no-firmware, noisy, cancel or silent")
        ->expected(0, 1)
        ->type_name("[SCENARIO]")
        ->group(group);
    app.add_flag("--json", o.json,
                 "Print JSON on standard output: one object at the end; monitor and bench "
                 "print one object per line as they go")
        ->group(group);
    app.add_flag("-v,--trace", o.verbose, "Show the bytes sent and received on standard error")
        ->group(group);
}

// A command with its copy of the global options; the caller adds its own.
CLI::App* AddCommand(CLI::App& app, CliOptions& o, const std::string& name,
                     const std::string& description) {
    CLI::App* command = app.add_subcommand(name, description);
    AddGlobalOptions(*command, o, "Global options");
    return command;
}

// bench has --port of its own (repeatable, patterns), so it takes the other
// global options only.
void AddBench(CLI::App& app, CliOptions& o) {
    auto* bench =
        app.add_subcommand("bench", "Read and upgrade several chargers at once, one job per port");
    AddGlobalOptions(*bench, o, "Global options", false);
    // Each port or pattern is taken as --port is everywhere: COM names
    // checked, relative paths made absolute from the working folder.
    bench
        ->add_option("--port", o.benchPorts,
                     "A charger's port, or a glob pattern such as "
                     "'/dev/serial/by-id/usb-FTDI_*'; repeatable")
        ->type_name("PORT")
        ->transform(PortArgument);
    bench->add_flag("--watch", o.watch, "Serve each charger as it is plugged in, until Ctrl-C");
    bench
        ->add_option("--slots", o.slotsFile,
                     "Label each charger by the USB port its adapter sits in, from FILE "
                     "(default ~/.config/Veltra/slots, else /etc/corvane/slots; make one with "
                     "'corvane-cli ports --by-path')")
        ->type_name("FILE");
    auto* force = bench->add_flag("--force", o.force, "Upgrade chargers that are already current");
    bench->add_flag("--read-only", o.readOnly, "Only read the versions")->excludes(force);
    bench
        ->add_option("--chargers", o.chargers,
                     "With --simulate: this many simulated chargers (1 to 64)")
        ->type_name("N")
        ->check(CLI::Range(1, 64).description(""));
    AddImageOptions(*bench, o);
}

// station is the bench with --watch for good, plus its page: the bench's
// options, and the page's.
void AddStation(CLI::App& app, CliOptions& o) {
    auto* station = app.add_subcommand(
        "station", "Serve every charger plugged in, with a live status page and guarded control");
    AddGlobalOptions(*station, o, "Global options", false);
    station
        ->add_option("--port", o.benchPorts,
                     "A charger's port, or a glob pattern such as "
                     "'/dev/serial/by-id/usb-FTDI_*'; repeatable")
        ->type_name("PORT")
        ->transform(PortArgument);
    station->add_flag("--watch", o.watch, "(always on: the station serves chargers as they come)");
    auto* force =
        station->add_flag("--force", o.force, "Upgrade chargers that are already current");
    station->add_flag("--read-only", o.readOnly, "Only read the versions")->excludes(force);
    station
        ->add_option("--chargers", o.chargers,
                     "With --simulate: this many simulated chargers (1 to 64)")
        ->type_name("N")
        ->check(CLI::Range(1, 64).description(""));
    AddImageOptions(*station, o);
    station
        ->add_option("--listen", o.listen,
                     "Where the page listens (default 127.0.0.1:8642); any other address than "
                     "loopback opens control to anyone on the network who has the token")
        ->type_name("ADDR:PORT");
    station->add_option("--slots", o.slotsFile, "A file of slot labels for the ports")
        ->type_name("FILE");
    station
        ->add_option("--config", o.configFile,
                     "Settings file (default /etc/corvane/station.conf when it exists); the "
                     "command line's options win")
        ->type_name("FILE");
    station->add_flag("--show-token", o.showToken,
                      "Print the token control requests need (made at the first start), and exit");
}

// history reads journals, not a port: --port is a filter there, and
// --simulate has nothing to simulate.
void AddHistory(CLI::App& app, CliOptions& o) {
    auto* history = app.add_subcommand(
        "history", "List what was done to which charger, newest first, with a summary");
    history
        ->add_option("--device", o.historyDevice,
                     "Only the charger whose device ID holds ID (any letter case)")
        ->type_name("ID");
    history
        ->add_option("--port", o.historyPort,
                     "Only records of this port (as given, its device, or its by-id name)")
        ->type_name("PORT");
    history
        ->add_option("--since", o.since,
                     "Only records from this moment on: a date (2026-12-01, 2026-12-01T08:00, "
                     "local time unless a zone is given) or a span back from now (30m, 12h, 7d, "
                     "2w)")
        ->type_name("DATE|DURATION")
        ->check(CLI::Validator(
            [](std::string& text) {
                std::int64_t since = 0;
                return records::ParseSince(text, std::time(nullptr), since)
                           ? std::string()
                           : "'" + text + "' is neither a date like 2026-12-01 nor a span like 7d";
            },
            ""));
    history
        ->add_option("--slot", o.historySlot,
                     "Only records of the bench slot with this label (exactly, as the slots "
                     "file gives it)")
        ->type_name("LABEL");
    history->add_option("--outcome", o.outcomes, "Only this outcome; repeatable")
        ->check(CLI::IsMember({"upgraded", "failed", "current", "read"}))
        ->type_name("OUTCOME");
    history
        ->add_option("--file", o.historyFiles,
                     "Read this journal instead of this PC's (records.jsonl, and the older "
                     "bench.jsonl and upgrade.log); repeatable, merged by time")
        ->type_name("PATH");
    auto* json = history->add_flag("--json", o.json, "One JSON line per record");
    history->add_flag("--csv", o.csv, "CSV with a header row")->excludes(json);
    history->add_flag("-v,--trace", o.verbose, "(no effect; accepted like the other commands)")
        ->group("");
}

void AddCommands(CLI::App& app, CliOptions& o) {
    auto* read = AddCommand(app, o, "read", "Read the charger's boot-code and firmware versions");
    AddImageOptions(*read, o);
    auto* upgrade = AddCommand(app, o, "upgrade",
                               "Hand the charger to its boot loader, send the built-in "
                               "image (or --image FILE), verify it");
    upgrade->add_flag("--if-needed", o.ifNeeded,
                      "Read first; upgrade only when the firmware differs or is missing");
    AddImageOptions(*upgrade, o);
    auto* monitor =
        AddCommand(app, o, "monitor", "Show the sixteen charger variables every second");
    monitor->add_option("--count", o.count, "Stop after N refreshes (default: until Ctrl-C)")
        ->type_name("N")
        ->check(CLI::Validator(CLI::NonNegativeNumber).description(""));
    monitor
        ->add_option("--record", o.record,
                     "Append every report to FILE as it arrives (CSV; JSON lines when the "
                     "name ends in .jsonl)")
        ->type_name("FILE");
    auto* crc = AddCommand(app, o, "crc", "Show an image file's stored and computed CRC-16");
    crc->add_option("FILE", o.file, "The file to check")->type_name("")->required();
    auto* exportImage = AddCommand(app, o, "export", "Write the built-in image to a file");
    exportImage
        ->add_option("FILE", o.file,
                     "Where to write it (default " + std::string(UpgradeVersion()) + ".bin)")
        ->type_name("");
    auto* ports = AddCommand(app, o, "ports", "List serial devices and where COM1..COM4 point");
    auto* map =
        ports->add_option("--map", o.mapping, "Store a mapping, e.g. COM2=/dev/serial/by-id/...")
            ->type_name("COMn=DEVICE");
    auto* unmap =
        ports->add_option("--unmap", o.unmap, "Remove the mapping of COMn: back to its default")
            ->type_name("COMn")
            ->excludes(map);
    ports
        ->add_flag("--by-path", o.byPath,
                   "Print a slots file for bench --slots: the USB port of each adapter plugged "
                   "in, in the hub's order")
        ->excludes(map)
        ->excludes(unmap);
    AddBench(app, o);
    AddStation(app, o);
    AddHistory(app, o);
    AddCommand(app, o, "version",
               "Show the version of the utility and of the built-in image it carries");
}

// Edits between two words, a swap of neighbours counting as one ("raed").
std::size_t Distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

int UnknownCommand(const CLI::App& app, const std::string& typed) {
    std::string nearest, all;
    std::size_t best = 0;
    for (const CLI::App* command : app.get_subcommands({})) {
        const std::string& name = command->get_name();
        all += (all.empty() ? "" : ", ") + name;
        // A prefix counts as close: "up" for "upgrade".
        const std::size_t distance = name.rfind(typed, 0) == 0 ? 1 : Distance(typed, name);
        if (nearest.empty() || distance < best) {
            nearest = name;
            best = distance;
        }
    }
    const bool close = best <= std::max<std::size_t>(2, typed.size() / 3);
    std::fprintf(
        stderr, "unknown command '%s'; %s\nRun with --help for more information.\n", typed.c_str(),
        (close ? "did you mean '" + nearest + "'?" : "the commands are " + all + ".").c_str());
    return kExitUsage;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, CliOptions& o) {
    CLI::App app{"Corvane: reads and upgrades a battery charger on a serial port.", "corvane-cli"};
    // Before the commands are added: each takes the top level's formatter.
    app.formatter(std::make_shared<CHelpFormatter>());
    app.footer(kExitCodeHelp);
    app.set_version_flag("--version", std::string("corvane-cli ") + ProgramVersion(),
                         "Show the utility's version and exit");
    AddGlobalOptions(app, o, "Options");
    AddCommands(app, o);
    // What is left over is sorted out below: an unknown command gets its
    // own message. The commands themselves take no extras.
    app.require_subcommand(0, 1);
    app.allow_extras();
    try {
        app.parse(argc, argv);
        const std::vector<std::string> extras = app.remaining();
        const bool noCommand = app.get_subcommands().empty();
        if (noCommand && !extras.empty() && extras.front().rfind('-', 0) != 0) {
            return UnknownCommand(app, extras.front());
        }
        if (!extras.empty()) {
            throw CLI::ExtrasError(extras);
        }
        if (noCommand) {
            throw CLI::RequiredError("A command");
        }
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitOk : kExitUsage;
    }
    o.command = app.get_subcommands().front()->get_name();
    return -1;
}
