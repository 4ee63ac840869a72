#include "serial/ByteRing.h"

#include <cstdlib>
#include <new>

namespace {

std::uint8_t* Advance(const CByteRing* ring, std::uint8_t* position) {
    ++position;
    return position == ring->bufferEnd ? ring->bufferStart : position;
}

}  // namespace

CByteRing* RingCreate(std::uint32_t size, std::uint8_t* buffer) {
    // The size field is signed; a ring that could not count its own bytes is refused.
    if (size > 0x7FFFFFFFU) {
        return nullptr;
    }
    auto* ring = new (std::nothrow) CByteRing{};
    if (ring == nullptr) {
        return nullptr;
    }
    if (buffer == nullptr) {
        // One byte at least, so that a ring of size 0 still has a valid start.
        buffer = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
        if (buffer == nullptr) {
            delete ring;
            return nullptr;
        }
        ring->ownsBuffer = 1;
    }
    ring->size = static_cast<std::int32_t>(size);
    ring->count = 0;
    ring->bufferStart = buffer;
    ring->bufferEnd = buffer + size;
    ring->writePos = buffer;
    ring->readPos = buffer;
    return ring;
}

void RingDestroy(CByteRing* ring) {
    if (ring == nullptr) {
        return;
    }
    if (ring->ownsBuffer != 0) {
        std::free(ring->bufferStart);
    }
    delete ring;
}

int RingPut(CByteRing* ring, std::uint8_t byte) {
    if (ring->count >= ring->size) {
        return -1;
    }
    *ring->writePos = byte;
    ring->writePos = Advance(ring, ring->writePos);
    ++ring->count;
    return 0;
}

int RingPutBlock(CByteRing* ring, const std::uint8_t* bytes, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
        if (RingPut(ring, bytes[i]) != 0) {
            return -1;
        }
    }
    return 0;
}

int RingGet(CByteRing* ring) {
    if (ring->count == 0) {
        return -1;
    }
    const int byte = *ring->readPos;
    --ring->count;
    ring->readPos = Advance(ring, ring->readPos);
    return byte;
}

void RingClear(CByteRing* ring) {
    ring->count = 0;
    ring->readPos = ring->bufferStart;
    ring->writePos = ring->bufferStart;
}
