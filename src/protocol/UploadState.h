// Upload state: where one block upload stands.
//
// Principles of operation
//   The block upload moves through these states as received bytes arrive.
//   SendFirst, NextBlock and ResendBlock are passed through while one byte is
//   handled; between two bytes the state is Done, WaitForStart, WaitForReply,
//   Failed, Cancelled or Disconnected. An upload ends in Done, Failed,
//   Cancelled or Disconnected.
//
// Threads: a value.
#pragma once

#include <cstdint>

enum class UploadState : std::uint8_t {
    Done = 0,          // EOT has been queued; the transfer is finished
    WaitForStart = 1,  // waiting for the receiver's "C"
    SendFirst = 2,     // block 1 is prepared and about to be sent
    WaitForReply = 3,  // a block has been sent; waiting for ACK, NAK or CAN
    NextBlock = 4,     // the block was accepted; the next one follows
    ResendBlock = 5,   // the block was rejected with retries left
    Failed = 6,        // the tenth NAK, or the receiver stayed silent too long
    Cancelled = 7,     // the receiver sent CAN
    Disconnected = 8,  // the port's device went away (a pulled USB adapter)
};

inline bool UploadEnded(UploadState state) {
    return state == UploadState::Done || state == UploadState::Failed ||
           state == UploadState::Cancelled || state == UploadState::Disconnected;
}

inline const char* UploadStateName(UploadState state) {
    switch (state) {
        case UploadState::Done:
            return "Done";
        case UploadState::WaitForStart:
            return "WaitForStart";
        case UploadState::SendFirst:
            return "SendFirst";
        case UploadState::WaitForReply:
            return "WaitForReply";
        case UploadState::NextBlock:
            return "NextBlock";
        case UploadState::ResendBlock:
            return "ResendBlock";
        case UploadState::Failed:
            return "Failed";
        case UploadState::Cancelled:
            return "Cancelled";
        case UploadState::Disconnected:
            return "Disconnected";
    }
    return "?";
}
