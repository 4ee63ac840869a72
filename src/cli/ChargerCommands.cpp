// Read and Upgrade: the commands that talk to a charger about its versions.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/CliClock.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ConsoleView.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "protocol/FirmwareImageFile.h"
#include "protocol/Identification.h"
#include "protocol/UpgradeSequence.h"
#include "records/CommandRecord.h"
#include "serial/PortDiagnosis.h"
#include "serial/SerialPort.h"

namespace {

// Everything one charger command works with. The view compares the
// charger's version with the label of the image the command uses.
struct Session {
    Session(const CliOptions& o, const CFirmwareImage& i)
        : options(o),
          image(i),
          progress(stderr, !o.json && ::isatty(STDERR_FILENO) != 0),
          view(!o.json, progress, clock),
          record(port, clock, "cli", o.verbose ? ByteTrace() : CSerialPort::TraceHook()) {
        view.SetUpgradeVersion(image.Label());
    }
    const CliOptions& options;
    const CFirmwareImage& image;
    CCliClock clock;
    CProgressLine progress;
    CConsoleView view;
    CSerialPort port;
    records::CCommandRecord record;  // listens to the port (and traces it with -v)
};

bool HasStatus(const CConsoleView& view, const char* text) {
    const auto& all = view.Statuses();
    return std::find(all.begin(), all.end(), text) != all.end();
}

int ReadExitCode(const CConsoleView& view) {
    const std::string last = view.LastStatus();
    if (Interrupted()) {
        return StopExitCode(kExitInterrupted);
    }
    if (last == "Read Version Complete") {
        return kExitOk;
    }
    if (last == "No Communications With Charger") {
        return kExitPortOpen;
    }
    if (last == "Unable to get Version Information") {
        return kExitNoCharger;
    }
    return kExitFailed;
}

int UpgradeExitCode(const CConsoleView& view) {
    const std::string last = view.LastStatus();
    if (Interrupted()) {
        return StopExitCode(kExitInterrupted);
    }
    if (last == "Upgrade Successful") {
        return kExitOk;
    }
    if (last == "Unable to Open Comm Port") {
        return kExitPortOpen;
    }
    // Not one block accepted and no answer afterwards: nobody is listening.
    if (view.HighestBlock() <= 1 && HasStatus(view, "Unable to get Version Information")) {
        return kExitNoCharger;
    }
    return kExitFailed;
}

void ExplainOpenFailure(const PortChoice& port) {
    const PortDiagnosis diagnosis = DiagnosePort(port.device);
    std::fprintf(stderr, "%s\n", diagnosis.message.c_str());
}

CJson ImageJson(const CFirmwareImage& image) {
    CJson json = CJson::Object();
    json.Add("label", CJson::String(image.Label()))
        .Add("bytes", CJson::Number(static_cast<long long>(image.Size())))
        .Add("crc", CJson::String(CrcText(image.HeaderCrc())))
        .Add("path", image.IsBuiltIn() ? CJson::Null() : CJson::String(image.Path()));
    return json;
}

CJson ResultJson(const char* command, const Session& s, const PortChoice& port, int code) {
    CJson statuses = CJson::Array();
    for (const auto& status : s.view.Statuses()) {
        statuses.Push(CJson::String(status));
    }
    CJson result = CJson::Object();
    result.Add("command", CJson::String(command))
        .Add("port", CJson::String(port.name))
        .Add("device", CJson::String(port.device))
        .Add("bootCode", CJson::String(s.view.BootCodeText()))
        .Add("chargerCode", CJson::String(s.view.ChargerCodeText()))
        .Add("upgradeVersion", CJson::String(s.view.UpgradeVersion()))
        .Add("image", ImageJson(s.image))
        .Add("statuses", std::move(statuses))
        .Add("upgradeOffered", CJson::Bool(s.view.UpgradeOffered()))
        .Add("verdict", CJson::String(ExitVerdict(code)))
        .Add("exitCode", CJson::Number(code));
    return result;
}

void PrintJson(const CJson& json) {
    PrintOut("%s\n", json.Dump().c_str());
}

int Finish(const char* command, Session& s, const PortChoice& port, int code) {
    s.port.Close();
    if (code == kExitPortOpen) {
        ExplainOpenFailure(port);
    }
    if (s.options.json) {
        PrintJson(ResultJson(command, s, port, code));
    }
    return code;
}

// Where a stopped upgrade ended, in words for the technician and the log.
const char* StopOutcome(UpgradeEnd end) {
    switch (end) {
        case UpgradeEnd::StoppedBeforeHandOver:
            return "Stopped before the charger was touched";
        case UpgradeEnd::StoppedDuringCheck:
            return "Upload finished, version check interrupted";
        default:
            return "Interrupted";
    }
}

void ExplainStop(UpgradeEnd end) {
    switch (end) {
        case UpgradeEnd::StoppedBeforeHandOver:
            std::fprintf(stderr,
                         "Stopped before the charger was touched: nothing was sent to it.\n");
            break;
        case UpgradeEnd::StoppedDuringUpload:
            std::fprintf(stderr,
                         "The upload was interrupted and the boot loader told to cancel; "
                         "upgrade again before the charger is used.\n");
            break;
        case UpgradeEnd::StoppedDuringCheck:
            std::fprintf(stderr,
                         "The upload finished, but the version check after it was interrupted; "
                         "run 'corvane-cli read' to see what the charger now holds.\n");
            break;
        default:
            break;
    }
}

// The service record of the command (when the charger answered). A record
// that cannot be written is said at once; the command's result stands, but
// a command that succeeded then ends with kExitFile.
int Record(Session& s, const PortChoice& port, records::Outcome outcome, const std::string& before,
           const std::string& reason, int code) {
    records::ServiceRecord record;
    record.port = port.name;
    record.device = port.device;
    record.bootCode = s.view.BootCodeText();
    record.before = before;
    record.after = s.view.ChargerCodeText();
    record.image = records::ImageInfoOf(s.image);
    record.blocks = s.view.HighestBlock();
    record.resends = s.view.Resends();
    record.outcome = outcome;
    record.reason = reason;
    record.simulated = s.options.simulate.has_value();
    std::string problem;
    if (s.record.Write(std::move(record), problem)) {
        return code;
    }
    std::fprintf(stderr, "%s\n", problem.c_str());
    return code == kExitOk ? kExitFile : code;
}

std::string StatusOrStop(const CConsoleView& view) {
    return Interrupted() ? "Interrupted" : view.LastStatus();
}

// A read that identified the charger, one without firmware too.
bool ReadAnswered(const CConsoleView& view) {
    const std::string last = view.LastStatus();
    return !Interrupted() && (last == "Read Version Complete" || last == "No Software Detected");
}

int ReadWith(const CliOptions& options, const PortChoice& port, const CFirmwareImage& image) {
    Session s(options, image);
    s.port.SetPortName(port.device);
    ReadChargerVersions(s.port, s.view, s.clock);
    const records::Outcome outcome =
        ReadAnswered(s.view) ? records::Outcome::Read : records::Outcome::Failed;
    const int code = Record(s, port, outcome, s.view.ChargerCodeText(), StatusOrStop(s.view),
                            ReadExitCode(s.view));
    return Finish("read", s, port, code);
}

int UpgradeWith(const CliOptions& options, const PortChoice& port, const CFirmwareImage& image) {
    Session s(options, image);
    s.port.SetPortName(port.device);
    std::string before;
    if (options.ifNeeded) {
        ReadChargerVersions(s.port, s.view, s.clock);
        const int code = ReadExitCode(s.view);
        before = s.view.ChargerCode();
        if (code == kExitPortOpen || Interrupted() || !s.view.UpgradeOffered()) {
            const bool current = code == kExitOk && !Interrupted();
            return Finish(
                "upgrade", s, port,
                Record(s, port, current ? records::Outcome::Current : records::Outcome::Failed,
                       before, StatusOrStop(s.view), code));
        }
    }
    // The version read first is kept in before; from here on the view holds
    // only what the check after the upload reads, so an upload that was
    // stopped or lost its charger leaves the version after it unknown.
    s.view.ChargerCode().clear();
    // A stop request ends the upload with CAN twice and skips the rest (see
    // the view); before the hand-over it sends nothing at all.
    const UpgradeEnd end = RunUpgrade(s.port, s.view, s.clock, image);
    int code = UpgradeExitCode(s.view);
    if (Interrupted()) {
        ExplainStop(end);
    }
    const bool upgraded = end == UpgradeEnd::Succeeded;
    code = Record(s, port, upgraded ? records::Outcome::Upgraded : records::Outcome::Failed, before,
                  Interrupted() ? StopOutcome(end) : s.view.LastStatus(), code);
    return Finish("upgrade", s, port, code);
}

}  // namespace

bool LoadCommandImage(const char* command, const CliOptions& options,
                      std::optional<CFirmwareImage>& image) {
    if (options.imageFile.empty()) {
        return true;
    }
    std::string reason;
    image = LoadFirmwareImage(options.imageFile, options.imageLabel, reason);
    if (image) {
        return true;
    }
    std::fprintf(stderr, "%s\n", ImageFileRefusal(options.imageFile, reason).c_str());
    if (options.json) {
        CJson result = CJson::Object();
        result.Add("command", CJson::String(command))
            .Add("imageFile", CJson::String(options.imageFile))
            .Add("error", CJson::String(reason))
            .Add("verdict", CJson::String("file-refused"))
            .Add("exitCode", CJson::Number(kExitFile));
        PrintJson(result);
    }
    return false;
}

int RunRead(const CliOptions& options, const PortChoice& port) {
    std::optional<CFirmwareImage> file;
    if (!LoadCommandImage("read", options, file)) {
        return kExitFile;
    }
    return ReadWith(options, port, file ? *file : CFirmwareImage::Carried());
}

int RunUpgrade(const CliOptions& options, const PortChoice& port) {
    std::optional<CFirmwareImage> file;
    if (!LoadCommandImage("upgrade", options, file)) {
        return kExitFile;
    }
    return UpgradeWith(options, port, file ? *file : CFirmwareImage::Carried());
}
