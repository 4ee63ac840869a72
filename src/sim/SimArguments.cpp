#include "sim/SimArguments.h"

#include <charconv>
#include <functional>
#include <limits>

#include "sim/Scenarios.h"
#include "support/WrapHelpText.h"

namespace sim {

namespace {

using Apply = std::function<bool(const std::string& value, SimArguments& out)>;

struct Option {
    const char* name;
    const char* value;  // the value's placeholder; nullptr for a switch
    const char* help;
    Apply apply;
};

bool ToInt(const std::string& text, int& out, int low = 0,
           int high = std::numeric_limits<int>::max()) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || at != end || text.empty() || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

// "N" or "N:K"
bool ToPair(const std::string& text, int& first, int& second, int defaultSecond) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        second = defaultSecond;
        return ToInt(text, first, 1);
    }
    return ToInt(text.substr(0, colon), first, 1) && ToInt(text.substr(colon + 1), second, 1);
}

Apply Number(int SimOptions::*field, int low = 0) {
    return [field, low](const std::string& v, SimArguments& a) {
        return ToInt(v, a.options.*field, low);
    };
}

Apply Text(std::string SimOptions::*field) {
    return [field](const std::string& v, SimArguments& a) {
        a.options.*field = v;
        return true;
    };
}

Apply Switch(bool SimOptions::*field, bool value = true) {
    return [field, value](const std::string&, SimArguments& a) {
        a.options.*field = value;
        return true;
    };
}

bool ApplyReportFault(const std::string& v, SimArguments& a) {
    if (v == "fewer-fields") {
        a.options.reportFault = ReportFault::FewerFields;
    } else if (v == "adjacent-commas") {
        a.options.reportFault = ReportFault::AdjacentCommas;
    } else if (v == "non-hex") {
        a.options.reportFault = ReportFault::NonHexField;
    } else {
        return false;
    }
    return true;
}

bool ApplySeed(const std::string& v, SimArguments& a) {
    int seed = 0;
    if (!ToInt(v, seed, 1)) {
        return false;
    }
    a.options.seed = static_cast<std::uint32_t>(seed);
    return true;
}

// "K:OPTION" with OPTION's leading dashes optional.
bool ApplyFault(const std::string& v, SimArguments& a) {
    const auto colon = v.find(':');
    ChargerFault fault;
    if (colon == std::string::npos || !ToInt(v.substr(0, colon), fault.charger, 1)) {
        return false;
    }
    fault.option = v.substr(colon + 1);
    if (fault.option.rfind("--", 0) != 0) {
        fault.option = "--" + fault.option;
    }
    a.faults.push_back(fault);
    return fault.option.size() > 2;
}

bool ApplyOne(const std::vector<std::string>& args, std::size_t& i, SimArguments& out,
              std::string& error);

const std::vector<Option>& Options() {
    static const std::vector<Option> options = {
        {"--help", nullptr, "show this text and exit",
         [](const std::string&, SimArguments& a) { return a.help = true; }},
        {"--version", nullptr, "show the version and exit",
         [](const std::string&, SimArguments& a) { return a.version = true; }},
        {"--scenario", "NAME", "start from a named set-up (applied before the other options)",
         [](const std::string& v, SimArguments& a) { return ScenarioOptions(v, a.options); }},
        {"--link", "PATH", "also make PATH a symbolic link to the device (removed on exit)",
         [](const std::string& v, SimArguments& a) { return !(a.linkPath = v).empty(); }},
        {"--run-seconds", "N", "stop after N seconds (default: run until SIGINT or SIGTERM)",
         [](const std::string& v, SimArguments& a) { return ToInt(v, a.runSeconds, 1); }},
        {"--log", "FILE", "write a JSON record of the session to FILE at exit",
         [](const std::string& v, SimArguments& a) { return !(a.logPath = v).empty(); }},
        {"--chargers", "N", "play N chargers, each on its own pseudo-terminal (at most 64)",
         [](const std::string& v, SimArguments& a) { return ToInt(v, a.chargers, 1, 64); }},
        {"--fault", "K:OPTION",
         "with --chargers: give charger K one more option, e.g. 3:--silent-after-block=40 "
         "or 2:never-speak; repeatable",
         ApplyFault},
        {"--plug-every", "SECONDS",
         "with --chargers and --link: unplug every charger after SECONDS and plug in a fresh "
         "one SECONDS later, again and again",
         [](const std::string& v, SimArguments& a) { return ToInt(v, a.plugEverySeconds, 1); }},
        {"--boot-version", "TEXT", "boot-code version in the \"Boot\" line (default 1.3)",
         Text(&SimOptions::bootVersion)},
        {"--firmware-version", "TEXT", "firmware version in the \"V\" line (default 2.09)",
         Text(&SimOptions::firmwareVersion)},
        {"--no-firmware", nullptr, "hold no firmware: start in the boot loader, sending \"C\"",
         [](const std::string&, SimArguments& a) {
             a.options.firmwareVersion.clear();
             return true;
         }},
        {"--device-id", "TEXT",
         "text after \"deviceid\" in the identification reply (default VC-4017-0032; with "
         "--chargers, charger K adds \"-K\")",
         Text(&SimOptions::deviceId)},
        {"--reply-delay", "MS", "delay before each reply (default 20)",
         Number(&SimOptions::replyDelayMs)},
        {"--start-interval", "MS", "interval of the boot loader's \"C\" (default 1000)",
         Number(&SimOptions::startIntervalMs, 1)},
        {"--report-period", "MS", "period of the variable report (default 500)",
         Number(&SimOptions::reportPeriodMs, 1)},
        {"--no-pacing", nullptr, "send at once instead of at 38400 baud (about 0.26 ms a byte)",
         Switch(&SimOptions::paceOutput, false)},
        {"--block-gap", "MS", "gap inside a block that drops and NAKs it (default 1000)",
         Number(&SimOptions::blockGapMs, 1)},
        {"--transfer-timeout", "MS",
         "silence inside a transfer that draws a NAK; the tenth gives up with CAN CAN "
         "(default 10000, 0: never)",
         Number(&SimOptions::transferTimeoutMs)},
        {"--resume-after-cancel", nullptr,
         "after cancelling a transfer, run the old firmware again",
         Switch(&SimOptions::resumeFirmwareAfterCancel)},
        {"--nak-block", "N[:K]",
         "NAK the first K (default 1) arrivals of block N, however sound; repeatable",
         [](const std::string& v, SimArguments& a) {
             BlockNakFault fault;
             if (!ToPair(v, fault.block, fault.count, 1)) {
                 return false;
             }
             a.options.nakFirstArrivals.push_back(fault);
             return true;
         }},
        {"--cancel-at-block", "N", "send CAN CAN instead of the ACK of block N",
         Number(&SimOptions::cancelInsteadOfAckAtBlock, 1)},
        {"--silent-after-block", "N", "ACK block N, then never send anything again",
         Number(&SimOptions::fallSilentAfterBlock, 1)},
        {"--hang-up-after-block", "N",
         "when block N arrives, close the pseudo-terminal without a reply",
         Number(&SimOptions::hangUpAfterBlock, 1)},
        {"--ack-delay", "MS", "send every ACK this much later", Number(&SimOptions::ackDelayMs)},
        {"--never-speak", nullptr, "send nothing at all (a silent charger)",
         Switch(&SimOptions::neverSpeak)},
        {"--garbage", "N", "send N noise bytes (0x80-0xFF) before every reply",
         Number(&SimOptions::garbageBetweenReplies)},
        {"--split-lines", "SIZE:GAP", "write reply lines in pieces of SIZE bytes, GAP ms apart",
         [](const std::string& v, SimArguments& a) {
             return ToPair(v, a.options.splitReplyChunk, a.options.splitReplyGapMs, 10);
         }},
        {"--no-boot-line", nullptr, "leave the \"Boot\" line out of the identification reply",
         Switch(&SimOptions::omitBootLine)},
        {"--no-version-line", nullptr, "leave the \"V\" line out of the identification reply",
         Switch(&SimOptions::omitVersionLine)},
        {"--lower-case-version", nullptr, "begin the version line with \"v\" instead of \"V\"",
         Switch(&SimOptions::lowerCaseVersionLine)},
        {"--long-lines", nullptr, "pad identification and report lines to 300 characters",
         Switch(&SimOptions::longLines)},
        {"--nak-replies", nullptr, "answer every firmware command with NAK instead",
         Switch(&SimOptions::nakInsteadOfReplies)},
        {"--report-fault", "KIND",
         "spoil report lines: fewer-fields (16 fields), adjacent-commas (an empty field), "
         "non-hex (\"zz\" in the gas-gauge field)",
         ApplyReportFault},
        {"--report-fault-every", "N", "spoil only every N-th report line (default 1)",
         Number(&SimOptions::reportFaultEvery, 1)},
        {"--seed", "N", "seed of the noise bytes (default 1)", ApplySeed},
    };
    return options;
}

// An option's text in lines that end before column 80, the later ones
// indented to the text's column.
constexpr std::size_t kHelpColumn = 26;
std::string WrapHelp(const std::string& help) {
    std::string wrapped = WrapHelpText(help, 80 - kHelpColumn);
    for (auto at = wrapped.find('\n'); at != std::string::npos; at = wrapped.find('\n', at + 1)) {
        wrapped.insert(at + 1, kHelpColumn, ' ');
    }
    return wrapped;
}

const Option* Find(const std::string& name) {
    for (const Option& option : Options()) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

// Splits "--name=value" and takes a separate value from the next argument.
bool ApplyOne(const std::vector<std::string>& args, std::size_t& i, SimArguments& out,
              std::string& error) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (const auto eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
        hasValue = true;
    }
    const Option* option = Find(name);
    if (option == nullptr) {
        error = "unknown option " + name;
        return false;
    }
    if (option->value == nullptr && hasValue) {
        error = name + " takes no value";
        return false;
    }
    if (option->value != nullptr && !hasValue) {
        if (i + 1 >= args.size()) {
            error = name + " needs " + option->value;
            return false;
        }
        value = args[++i];
    }
    if (!option->apply(value, out)) {
        error = "bad value for " + name + ": \"" + value + "\"";
        return false;
    }
    return true;
}

bool CheckBench(const SimArguments& a, std::string& error) {
    if (a.chargers == 0) {
        if (!a.faults.empty() || a.plugEverySeconds > 0) {
            error = "--fault and --plug-every need --chargers";
            return false;
        }
        return true;
    }
    if (!a.linkPath.empty() && a.linkPath.find("%d") == std::string::npos) {
        error = "with --chargers, --link needs a pattern with %d";
        return false;
    }
    if (a.plugEverySeconds > 0 && a.linkPath.empty()) {
        error = "--plug-every needs --link";
        return false;
    }
    for (const ChargerFault& fault : a.faults) {
        SimOptions unused;
        if (fault.charger > a.chargers) {
            error = "--fault " + std::to_string(fault.charger) + ": there are only " +
                    std::to_string(a.chargers) + " chargers";
            return false;
        }
        if (!ChargerOptions(a, fault.charger, unused, error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseSimArguments(const std::vector<std::string>& args, SimArguments& out,
                       std::string& error) {
    SimArguments result;
    // The scenario first, so the other options refine it.
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--scenario" || args[i].rfind("--scenario=", 0) == 0) {
            if (!ApplyOne(args, i, result, error)) {
                return false;
            }
        }
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--scenario" || args[i].rfind("--scenario=", 0) == 0) {
            i += args[i] == "--scenario" ? 1 : 0;
            continue;
        }
        if (!ApplyOne(args, i, result, error)) {
            return false;
        }
    }
    if (!CheckBench(result, error)) {
        return false;
    }
    out = result;
    return true;
}

bool ChargerOptions(const SimArguments& args, int k, SimOptions& out, std::string& error) {
    SimArguments charger;
    charger.options = args.options;
    charger.options.deviceId = ChargerDeviceId(args.options.deviceId, k, args.chargers);
    for (const ChargerFault& fault : args.faults) {
        if (fault.charger != k) {
            continue;
        }
        // An option's value comes after "=", so the fault is one word.
        std::vector<std::string> words = {fault.option};
        std::size_t i = 0;
        if (!ApplyOne(words, i, charger, error)) {
            error = "--fault " + std::to_string(k) + ":" + fault.option.substr(2) + ": " + error;
            return false;
        }
    }
    out = charger.options;
    return true;
}

std::string ChargerDeviceId(const std::string& common, int k, int count) {
    return count > 1 ? common + "-" + std::to_string(k) : common;
}

std::string ChargerLink(const std::string& pattern, int k) {
    const auto at = pattern.find("%d");
    if (at == std::string::npos) {
        return {};
    }
    return pattern.substr(0, at) + std::to_string(k) + pattern.substr(at + 2);
}

std::string SimUsage() {
    std::string text =
        "Usage: corvane-sim [OPTION]...\n"
        "A simulated charger on a pseudo-terminal. The first line on standard output is\n"
        "\"PTY <device path>\"; point the utility or any serial program at that path.\n"
        "Runs until SIGINT or SIGTERM (or --run-seconds).\n\nOptions:\n";
    for (const Option& option : Options()) {
        std::string head = std::string("  ") + option.name;
        if (option.value != nullptr) {
            head += std::string(" ") + option.value;
        }
        text += head + (head.size() < kHelpColumn ? std::string(kHelpColumn - head.size(), ' ')
                                                  : "\n" + std::string(kHelpColumn, ' '));
        text += WrapHelp(option.help) + "\n";
    }
    text += "\nScenarios:";
    for (const std::string& name : ScenarioNames()) {
        text += " " + name;
    }
    return text + "\n";
}

}  // namespace sim
