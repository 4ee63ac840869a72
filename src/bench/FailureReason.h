// Failure reason: why a bench job failed, as one line a technician can act on.
//
// Principles of operation
//   The commands explain their failures in message boxes written for a
//   window: several short lines ("Upgrade Process Failed\nPlease unplug the
//   charger..."). A bench prints and records one line per charger, so the
//   box texts are joined into sentences, and what the job itself knows (the
//   upload stopped at block 40, a stop request, the charger pulled out) is
//   put in front.
//
// Threads: pure functions.
#pragma once

#include <string>
#include <vector>

#include "protocol/UploadState.h"

namespace bench {

// A box's lines as one line: a line that ends a sentence's words before a
// capital starts the next gets a full stop; blank lines go.
std::string BoxTextAsLine(const std::string& text);

struct FailureFacts {
    std::vector<std::string> messages;  // the job's boxes, in order
    std::string lastStatus;
    UploadState uploadEnd = UploadState::WaitForStart;  // WaitForStart: no upload
    int block = 0;
    int totalBlocks = 0;
    bool stopped = false;
    bool gone = false;
};

std::string FailureReason(const FailureFacts& facts);

}  // namespace bench
