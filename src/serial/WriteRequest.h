// Write request: one item of the serial port's write queue.
//
// Principles of operation
//   The caller's thread fills a request and links it before the tail of the
//   queue; the writer thread carries requests out from the head, one after
//   another, and releases each when done. A block's bytes are borrowed from
//   the caller, not copied: they must stay unchanged until written.
//
// Threads: a request belongs to the queue once linked; its links change only
// under the queue lock.
#pragma once

#include <cstdint>

enum WriteRequestKind : int {
    WRITE_BYTE = 1,   // sends the request's own byte
    WRITE_ABORT = 5,  // drops every request queued behind it
    WRITE_BLOCK = 6,  // sends length bytes from data
};

struct WriteRequest {
    std::int32_t kind;
    std::int32_t length;
    std::uint8_t byte;
    const std::uint8_t* data;
    WriteRequest* next;  // towards the tail
    WriteRequest* prev;  // towards the head
};
