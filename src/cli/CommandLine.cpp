#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include "protocol/UpgradeImage.h"

const char* const kExitCodeHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the charger answered but the command failed (no software, upgrade failed, cancelled)\n"
    "  2  usage error\n"
    "  3  the port could not be opened\n"
    "  4  no communication with the charger\n"
    "  5  file error\n"
    "  130  interrupted with Ctrl-C\n";

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
                    "(default: the file's name without extension)")
        ->type_name("VERSION")
        ->needs(image);
}

void AddCommands(CLI::App& app, CliOptions& o) {
    auto* read = app.add_subcommand("read", "Read the charger's boot-code and firmware versions");
    AddImageOptions(*read, o);
    auto* upgrade = app.add_subcommand("upgrade",
                                       "Hand the charger to its boot loader, send the built-in "
                                       "image (or --image FILE), verify it");
    upgrade->add_flag("--if-needed", o.ifNeeded,
                      "Read first; upgrade only when the firmware differs or is missing");
    AddImageOptions(*upgrade, o);
    auto* monitor =
        app.add_subcommand("monitor", "Show the sixteen charger variables every second");
    monitor->add_option("--count", o.count, "Stop after N refreshes (default: until Ctrl-C)")
        ->check(CLI::NonNegativeNumber);
    auto* crc = app.add_subcommand("crc", "Show an image file's stored and computed CRC-16");
    crc->add_option("FILE", o.file, "The file to check")->required();
    auto* exportImage = app.add_subcommand("export", "Write the built-in image to a file");
    exportImage->add_option(
        "FILE", o.file, "Where to write it (default " + std::string(UpgradeVersion()) + ".bin)");
    auto* ports = app.add_subcommand("ports", "List serial devices and where COM1..COM4 point");
    ports->add_option("--map", o.mapping, "Store a mapping, e.g. COM2=/dev/serial/by-id/...");
    app.add_subcommand("version", "Show the version of the utility and of its built-in image");
    app.require_subcommand(1, 1);
}

}  // namespace

int ParseCommandLine(int argc, char** argv, CliOptions& o) {
    CLI::App app{"Corvane: reads and upgrades a battery charger on a serial port.", "corvane-cli"};
    app.footer(kExitCodeHelp);
    app.add_option("--port", o.port,
                   "COM1..COM4 (resolved through the settings) or a device path; "
                   "default: the port chosen last in the window");
    app.add_option("--simulate", o.simulate,
                   "Run against a built-in simulated charger (scenario: old-firmware, current, "
                   "no-firmware, noisy, cancel, silent)")
        ->expected(0, 1)
        ->default_str("old-firmware");
    app.add_flag("--json", o.json, "Print one JSON object on standard output");
    app.add_flag("-v,--trace", o.verbose, "Show the bytes sent and received on standard error");
    AddCommands(app, o);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitOk : kExitUsage;
    }
    o.command = app.get_subcommands().front()->get_name();
    return -1;
}
