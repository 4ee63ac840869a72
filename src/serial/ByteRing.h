// Byte ring: a fixed-size ring buffer of bytes, a plain record with free
// functions.
//
// Principles of operation
//   RingCreate makes a ring of a given size, either over a buffer the caller
//   supplies (which RingDestroy then leaves alone) or over one of its own.
//   RingPut stores at the write position and RingGet takes from the read
//   position; both positions wrap at the end of the buffer. When count equals
//   size the ring is full and RingPut refuses the byte: a full ring keeps its
//   oldest bytes and drops the newest. count alone tells empty from full,
//   since the two positions coincide in both cases.
//
//   The serial port keeps its receive ring in one of these (1024 bytes).
//
// Threads: a ring has no lock of its own; whoever shares one guards it.
#pragma once

#include <cstdint>

struct CByteRing {
    std::uint32_t ownsBuffer;  // 1 when RingDestroy must release the buffer
    std::int32_t size;
    std::int32_t count;
    std::uint8_t* bufferStart;
    std::uint8_t* bufferEnd;  // bufferStart + size
    std::uint8_t* writePos;
    std::uint8_t* readPos;  // the oldest byte held
};

// A ring of size bytes over buffer, or over a buffer of its own when buffer is
// null; null when memory runs out.
CByteRing* RingCreate(std::uint32_t size, std::uint8_t* buffer);
void RingDestroy(CByteRing* ring);
// 0, or -1 when the ring is full (nothing changes).
int RingPut(CByteRing* ring, std::uint8_t byte);
// 0 when every byte went in; -1 at the first that did not: the bytes before it
// stay, it and the rest are dropped.
int RingPutBlock(CByteRing* ring, const std::uint8_t* bytes, std::uint32_t length);
// The oldest byte as 0..255, or -1 when the ring is empty.
int RingGet(CByteRing* ring);
// Empties the ring; the buffer's contents stay as they are.
void RingClear(CByteRing* ring);
