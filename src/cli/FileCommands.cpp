// crc, export, ports and version: the commands that need no charger.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/PortList.h"
#include "diagnostics/FileCrc.h"
#include "diagnostics/ImageWriter.h"
#include "platform/LastError.h"
#include "protocol/UpgradeImage.h"
#include "support/Crc16.h"

namespace {

void PrintJson(const CJson& json) {
    std::printf("%s\n", json.Dump().c_str());
    std::fflush(stdout);
}

void PrintField(const char* label, const std::string& value) {
    std::printf("%-17s %s\n", label, value.c_str());
}

std::string SystemReason() {
    const std::string text = platform::SystemErrorText(platform::GetLastError());
    return text.empty() ? "" : ": " + text;
}

}  // namespace

int RunCrc(const CliOptions& options) {
    const CrcCheckResult r = CheckFileCrc(options.file);
    const int code = r.Ok() ? kExitOk : kExitFile;
    if (options.json) {
        CJson json = CJson::Object();
        json.Add("command", CJson::String("crc"))
            .Add("fileName", CJson::String(options.file))
            .Add("fileSize",
                 r.sizeKnown ? CJson::Number(static_cast<long long>(r.fileSize)) : CJson::Null())
            .Add("crcFromFile", CJson::String(r.storedCrcText))
            .Add("lengthFromFile", CJson::String(r.lengthText))
            .Add("generatedCrc", CJson::String(r.generatedCrcText))
            .Add("error", r.Ok() ? CJson::Null() : CJson::String(CrcCheckErrorText(r.error)))
            .Add("exitCode", CJson::Number(code));
        PrintJson(json);
    } else {
        PrintField("File Name", options.file);
        PrintField("File Size", r.fileSizeText);
        PrintField("CRC From File", r.storedCrcText);
        PrintField("Length From File", r.lengthText);
        PrintField("Generated CRC", r.generatedCrcText);
    }
    if (!r.Ok()) {
        std::fprintf(stderr, "%s%s\n", CrcCheckErrorText(r.error), SystemReason().c_str());
    }
    return code;
}

int RunExport(const CliOptions& options) {
    const std::string path = options.file.empty() ? DefaultImageFileName() : options.file;
    const bool ok = ExportImageTo(path);
    if (!ok) {
        std::fprintf(stderr, "Unable To Create the File %s%s\n", path.c_str(),
                     SystemReason().c_str());
    }
    if (options.json) {
        CJson json = CJson::Object();
        json.Add("command", CJson::String("export"))
            .Add("file", CJson::String(path))
            .Add("bytes", CJson::Number(ok ? static_cast<long long>(UpgradeImage().size()) : 0))
            .Add("exitCode", CJson::Number(ok ? kExitOk : kExitFile));
        PrintJson(json);
    } else if (ok) {
        std::printf("Wrote %zu bytes to %s\n", UpgradeImage().size(), path.c_str());
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
            .Add("version", CJson::String(UpgradeVersion()))
            .Add("imageVersion", CJson::String(UpgradeVersion()))
            .Add("imageBytes", CJson::Number(static_cast<long long>(image.size())))
            .Add("imageCrc", CJson::String(crc));
        PrintJson(json);
    } else {
        std::printf("corvane-cli %s\nbuilt-in image %s: %zu bytes, code CRC %s\n", UpgradeVersion(),
                    UpgradeVersion(), image.size(), crc);
    }
    return kExitOk;
}

int RunPorts(const CliOptions& options) {
    if (!options.mapping.empty()) {
        std::string message;
        const bool ok = MapPort(options.mapping, message);
        std::fprintf(ok ? stdout : stderr, "%s\n", message.c_str());
        return ok ? kExitOk : kExitUsage;
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
