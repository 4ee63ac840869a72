// What a charger sends back, byte by byte: the reply lines identification
// builds and takes the versions from, the transcript the bench keeps for its
// records, and the device ID named in either.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "protocol/DeviceIdLine.h"
#include "protocol/ReplyLine.h"
#include "records/ReplyTranscript.h"

namespace {

bool Printable(const std::string& text) {
    for (const char c : text) {
        if (c < 32 || c > 126) {
            return false;
        }
    }
    return true;
}

void CheckDeviceId(const std::string& id) {
    fuzz::Require(Printable(id) && id.find(' ') == std::string::npos,
                  "a device ID is one word of printable ASCII");
}

void ReplyLines(const std::uint8_t* data, std::size_t size) {
    CReplyLine line;
    std::string bootCode, chargerCode;
    for (std::size_t i = 0; i < size; ++i) {
        line.Handle(data[i], bootCode, chargerCode);
        fuzz::Require(line.Text().size() <= CReplyLine::kCapacity, "a reply line stays bounded");
    }
    fuzz::Require(bootCode.size() < CReplyLine::kCapacity, "the boot code fits a line");
    fuzz::Require(chargerCode.size() < CReplyLine::kCapacity, "the version fits a line");
    fuzz::Require(Printable(bootCode) && Printable(chargerCode), "versions are printable");
    // The versions of one line as it is, NUL and all.
    const std::string text(reinterpret_cast<const char*>(data), size);
    CReplyLine::TakeVersions(text.c_str(), bootCode, chargerCode);
}

void Transcript(const std::uint8_t* data, std::size_t size) {
    records::CReplyTranscript transcript;
    transcript.SetRecording(true);
    // In two reads, as the port's reader may hand them over.
    transcript.Add(data, size / 2);
    transcript.Add(data + size / 2, size - size / 2);
    fuzz::Require(transcript.Heard() == (size > 0), "any byte is heard");
    const std::vector<std::string> lines = transcript.Lines();
    fuzz::Require(lines.size() <= records::CReplyTranscript::kMaxLines,
                  "the transcript is bounded");
    for (const std::string& line : lines) {
        fuzz::Require(!line.empty() && line.size() <= records::CReplyTranscript::kMaxLine,
                      "a transcript line is bounded and not empty");
        fuzz::Require(Printable(line), "a transcript line is printable");
        CheckDeviceId(DeviceIdOf(line));
    }
    CheckDeviceId(DeviceIdFrom(lines));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReplyLines(data, size);
    Transcript(data, size);
    CheckDeviceId(DeviceIdOf({reinterpret_cast<const char*>(data), size}));
    return 0;
}
