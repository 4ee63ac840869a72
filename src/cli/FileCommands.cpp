// crc, export, ports and version: the commands that need no charger.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/PortList.h"
#include "diagnostics/FileCrc.h"
#include "diagnostics/ImageWriter.h"
#include "platform/LastError.h"
#include "protocol/UpgradeImage.h"
#include "support/Crc16.h"
#include "support/ProgramVersion.h"

namespace {

void PrintJson(std::FILE* stream, const CJson& json) {
    std::fprintf(stream, "%s\n", json.Dump().c_str());
    std::fflush(stream);
}

void PrintJson(const CJson& json) {
    PrintJson(stdout, json);
}

void PrintField(const char* label, const std::string& value) {
    std::printf("%-17s %s\n", label, value.c_str());
}

std::string SystemReason(std::uint32_t code = platform::GetLastError()) {
    const std::string text = platform::SystemErrorText(code);
    return text.empty() ? "" : ": " + text;
}

// The verdict's exit code: 1 when an image file's header and contents disagree.
int CrcExitCode(const CrcCheckResult& r) {
    switch (r.error) {
        case CrcCheckError::None:
            break;
        case CrcCheckError::Stopped:
            return StopExitCode(kExitInterrupted);  // 128 + the signal
        default:
            return kExitFile;
    }
    const CrcVerdict verdict = VerdictOf(r);
    return verdict == CrcVerdict::Sound || verdict == CrcVerdict::NotImage ? kExitOk : kExitFailed;
}

// true or false where an image file's whole header allows the comparison.
CJson Comparison(const CrcCheckResult& r, bool holds) {
    const bool comparable = r.valuesKnown && (VerdictOf(r) == CrcVerdict::Sound ||
                                              VerdictOf(r) == CrcVerdict::Mismatch);
    return comparable ? CJson::Bool(holds) : CJson::Null();
}

std::string CrcErrorLine(const CrcCheckResult& r, const std::string& file) {
    std::string line = CrcCheckErrorText(r.error);
    if (r.error == CrcCheckError::NotRegularFile) {
        line += ": " + file + " is " + r.fileKind + "; only regular files are checked";
    } else if (r.error != CrcCheckError::Stopped) {
        line += SystemReason(r.systemError);
    }
    return line;
}

// Whether path names what standard output is: the file, FIFO or terminal.
bool IsStandardOutput(const std::string& path) {
    struct stat target {
    }, out{};
    return ::stat(path.c_str(), &target) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
           target.st_dev == out.st_dev && target.st_ino == out.st_ino;
}

// Nobody reading a FIFO is a reason the system names only vaguely.
std::string ExportFailureReason(const std::string& path) {
    const std::uint32_t code = platform::GetLastError();
    struct stat info {};
    if (code == ENXIO && ::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
        return ": no program is reading from the FIFO";
    }
    return SystemReason(code);
}

}  // namespace

int RunCrc(const CliOptions& options) {
    CrcReadOptions readOptions;
    readOptions.stop = Interrupted;
    const CrcCheckResult r = CheckFileCrc(options.file, readOptions);
    const int code = CrcExitCode(r);
    if (options.json) {
        CJson json = CJson::Object();
        json.Add("command", CJson::String("crc"))
            .Add("fileName", CJson::String(options.file))
            .Add("fileSize",
                 r.sizeKnown ? CJson::Number(static_cast<long long>(r.fileSize)) : CJson::Null())
            .Add("crcFromFile", CJson::String(r.storedCrcText))
            .Add("lengthFromFile", CJson::String(r.lengthText))
            .Add("generatedCrc", CJson::String(r.generatedCrcText))
            .Add("match", Comparison(r, r.crcMatches))
            .Add("sizeAgrees", Comparison(r, r.sizeAgrees))
            .Add("error", r.Ok() ? CJson::Null() : CJson::String(CrcErrorLine(r, options.file)))
            .Add("exitCode", CJson::Number(code));
        PrintJson(json);
    } else {
        PrintField("File Name", options.file);
        PrintField("File Size", r.fileSizeText);
        PrintField("CRC From File", r.storedCrcText);
        PrintField("Length From File", r.lengthText);
        PrintField("Generated CRC", r.generatedCrcText);
        if (r.valuesKnown) {
            PrintField("Verdict", CrcVerdictText(r));
        }
    }
    if (!r.Ok()) {
        std::fprintf(stderr, "%s\n", CrcErrorLine(r, options.file).c_str());
    }
    return code;
}

// A confirmation never goes into the image: when the image goes to standard
// output, the confirmation goes to standard error.
int RunExport(const CliOptions& options) {
    const std::string path = options.file.empty() ? DefaultImageFileName() : options.file;
    std::FILE* report = IsStandardOutput(path) ? stderr : stdout;
    const bool ok = ExportImageTo(path);
    if (!ok) {
        std::fprintf(stderr, "Unable To Create the File %s%s\n", path.c_str(),
                     ExportFailureReason(path).c_str());
    }
    if (options.json) {
        CJson json = CJson::Object();
        json.Add("command", CJson::String("export"))
            .Add("file", CJson::String(path))
            .Add("bytes", CJson::Number(ok ? static_cast<long long>(UpgradeImage().size()) : 0))
            .Add("exitCode", CJson::Number(ok ? kExitOk : kExitFile));
        PrintJson(report, json);
    } else if (ok) {
        std::fprintf(report, "Wrote %zu bytes to %s\n", UpgradeImage().size(), path.c_str());
    }
    return ok ? kExitOk : kExitFile;
}

int RunVersion(const CliOptions& options) {
    const auto image = UpgradeImage();
    const auto header = ImageFile::ReadHeader(image);
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", header.codeCrc);
    if (options.json) {
        CJson json = CJson::Object();
        json.Add("command", CJson::String("version"))
            .Add("version", CJson::String(ProgramVersion()))
            .Add("imageVersion", CJson::String(UpgradeVersion()))
            .Add("imageBytes", CJson::Number(static_cast<long long>(image.size())))
            .Add("imageCrc", CJson::String(crc));
        PrintJson(json);
    } else {
        std::printf("corvane-cli %s\nbuilt-in image %s: %zu bytes, code CRC %s\n", ProgramVersion(),
                    UpgradeVersion(), image.size(), crc);
    }
    return kExitOk;
}

int RunPorts(const CliOptions& options) {
    if (!options.mapping.empty() || !options.unmap.empty()) {
        std::string message;
        const MapOutcome outcome = options.mapping.empty() ? UnmapPort(options.unmap, message)
                                                           : MapPort(options.mapping, message);
        const bool done = outcome == MapOutcome::Done;
        std::fprintf(done ? stdout : stderr, "%s\n", message.c_str());
        return done ? kExitOk : outcome == MapOutcome::Refused ? kExitUsage : kExitFile;
    }
    if (options.byPath && options.json) {
        std::fprintf(stderr, "corvane-cli ports: --by-path prints a slots file, not JSON\n");
        return kExitUsage;
    }
    if (options.byPath) {
        std::fputs(SlotsFileText(bench::ByPathLinks(), bench::UserSlotsFile()).c_str(), stdout);
        return kExitOk;
    }
    const auto devices = ListSerialDevices();
    const auto mappings = ComMappings();
    if (options.json) {
        CJson list = CJson::Array();
        for (const auto& d : devices) {
            CJson names = CJson::Array();
            for (const auto& n : d.byIdNames) {
                names.Push(CJson::String(n));
            }
            list.Push(CJson::Object()
                          .Add("device", CJson::String(d.path))
                          .Add("byId", std::move(names))
                          .Add("description", CJson::String(d.description)));
        }
        CJson map = CJson::Object();
        for (const auto& m : mappings) {
            map.Add(m.name, CJson::String(m.device));
        }
        PrintJson(CJson::Object()
                      .Add("command", CJson::String("ports"))
                      .Add("devices", std::move(list))
                      .Add("mappings", std::move(map)));
        return kExitOk;
    }
    std::printf("Serial devices:\n");
    if (devices.empty()) {
        std::printf("  (none found)\n");
    }
    for (const auto& d : devices) {
        std::printf("  %-14s %s\n", d.path.c_str(), d.description.c_str());
        for (const auto& n : d.byIdNames) {
            std::printf("  %-14s   %s\n", "", n.c_str());
        }
    }
    std::printf("Port names:\n");
    for (const auto& m : mappings) {
        std::printf("  %s -> %s%s\n", m.name.c_str(), m.device.c_str(),
                    m.stored ? "" : " (default)");
    }
    return kExitOk;
}
