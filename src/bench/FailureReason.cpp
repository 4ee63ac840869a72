#include "bench/FailureReason.h"

#include <cctype>
#include <cstdio>

namespace bench {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool EndsSentence(const std::string& line) {
    const char last = line.back();
    return last == '.' || last == '!' || last == '?' || last == ':' || last == ',';
}

std::string UploadPlace(const FailureFacts& facts) {
    char text[80];
    std::snprintf(text, sizeof text, "at block %d of %d", facts.block, facts.totalBlocks);
    return text;
}

std::string UploadPart(const FailureFacts& facts) {
    if (facts.uploadEnd == UploadState::Disconnected) {
        // The upgrade's own box says where; said once is enough.
        return facts.messages.empty() ? "The adapter was disconnected." : "";
    }
    if (facts.block == 0) {
        return "The boot loader never asked for the first block.";
    }
    const std::string where = UploadPlace(facts);
    if (facts.uploadEnd == UploadState::Cancelled) {
        return "The charger cancelled the upload " + where + ".";
    }
    return "The upload failed " + where + ".";
}

}  // namespace

std::string BoxTextAsLine(const std::string& text) {
    std::string line;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string piece = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (piece.empty()) {
            continue;
        }
        if (!line.empty()) {
            const bool capital = std::isupper(static_cast<unsigned char>(piece[0])) != 0;
            line += capital && !EndsSentence(line) ? ". " : " ";
        }
        line += piece;
    }
    if (!line.empty() && !EndsSentence(line)) {
        line += '.';
    }
    return line;
}

std::string FailureReason(const FailureFacts& facts) {
    if (facts.gone) {
        return "The charger was unplugged before its job ended.";
    }
    const bool uploaded = facts.uploadEnd != UploadState::WaitForStart;
    if (facts.stopped) {
        if (uploaded && facts.block > 0) {
            return "Stopped during the upload " + UploadPlace(facts) +
                   "; the charger needs a new upgrade.";
        }
        return "Stopped before the job ended.";
    }
    std::string reason;
    if (uploaded && facts.uploadEnd != UploadState::Done) {
        reason = UploadPart(facts);
    }
    const std::string last = facts.messages.empty() ? BoxTextAsLine(facts.lastStatus)
                                                    : BoxTextAsLine(facts.messages.back());
    if (!last.empty()) {
        reason += (reason.empty() ? "" : " ") + last;
    }
    return reason;
}

}  // namespace bench
