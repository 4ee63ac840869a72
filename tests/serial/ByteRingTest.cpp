#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "serial/ByteRing.h"

namespace {

struct RingDeleter {
    void operator()(CByteRing* ring) const { RingDestroy(ring); }
};
using RingPtr = std::unique_ptr<CByteRing, RingDeleter>;

RingPtr MakeRing(std::uint32_t size, std::uint8_t* buffer = nullptr) {
    return RingPtr(RingCreate(size, buffer));
}

TEST(ByteRing, BytesComeOutOldestFirstAndHighBytesAreNotMinusOne) {
    RingPtr ring = MakeRing(4);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->ownsBuffer, 1U);
    EXPECT_EQ(RingGet(ring.get()), -1);
    EXPECT_EQ(RingPut(ring.get(), 0xFF), 0);
    EXPECT_EQ(RingPut(ring.get(), 0x00), 0);
    EXPECT_EQ(RingPut(ring.get(), 0x80), 0);
    EXPECT_EQ(ring->count, 3);
    EXPECT_EQ(RingGet(ring.get()), 255);
    EXPECT_EQ(RingGet(ring.get()), 0);
    EXPECT_EQ(RingGet(ring.get()), 128);
    EXPECT_EQ(RingGet(ring.get()), -1);
}

TEST(ByteRing, FullRingRefusesTheNewestByteAndChangesNothing) {
    RingPtr ring = MakeRing(3);
    for (std::uint8_t b : {1, 2, 3}) {
        ASSERT_EQ(RingPut(ring.get(), b), 0);
    }
    std::uint8_t* const writeBefore = ring->writePos;
    EXPECT_EQ(RingPut(ring.get(), 4), -1);
    EXPECT_EQ(ring->count, 3);
    EXPECT_EQ(ring->writePos, writeBefore);
    EXPECT_EQ(RingGet(ring.get()), 1);
    EXPECT_EQ(RingGet(ring.get()), 2);
    EXPECT_EQ(RingGet(ring.get()), 3);
}

TEST(ByteRing, BlockThatDoesNotFitKeepsItsFirstBytes) {
    RingPtr ring = MakeRing(1024);
    std::vector<std::uint8_t> fill(1023, 0x11);
    ASSERT_EQ(RingPutBlock(ring.get(), fill.data(), 1023), 0);
    const std::uint8_t read[4] = {0xA1, 0xA2, 0xA3, 0xA4};
    EXPECT_EQ(RingPutBlock(ring.get(), read, 4), -1);
    EXPECT_EQ(ring->count, 1024);
    for (int i = 0; i < 1023; ++i) {
        ASSERT_EQ(RingGet(ring.get()), 0x11);
    }
    EXPECT_EQ(RingGet(ring.get()), 0xA1);
    EXPECT_EQ(RingGet(ring.get()), -1);
    EXPECT_EQ(RingPutBlock(ring.get(), read, 0), 0);
    EXPECT_EQ(ring->count, 0);
}

TEST(ByteRing, WritePositionWrapsToBufferStart) {
    RingPtr ring = MakeRing(1024);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(RingPut(ring.get(), static_cast<std::uint8_t>(i)), 0);
    }
    EXPECT_EQ(ring->writePos, ring->bufferStart);
    EXPECT_EQ(RingGet(ring.get()), 0);
    EXPECT_EQ(RingPut(ring.get(), 0xEE), 0);
    EXPECT_EQ(ring->bufferStart[0], 0xEE);
    EXPECT_EQ(ring->writePos, ring->bufferStart + 1);
    // The wrapped byte comes out last, after the other 1023.
    for (int i = 1; i < 1024; ++i) {
        ASSERT_EQ(RingGet(ring.get()), i & 0xFF);
    }
    EXPECT_EQ(RingGet(ring.get()), 0xEE);
    EXPECT_EQ(ring->readPos, ring->bufferStart + 1);
}

TEST(ByteRing, ClearEmptiesWithoutErasingTheBuffer) {
    std::uint8_t buffer[4] = {};
    RingPtr ring = MakeRing(4, buffer);
    RingPut(ring.get(), 'x');
    RingPut(ring.get(), 'y');
    RingGet(ring.get());
    RingClear(ring.get());
    EXPECT_EQ(ring->count, 0);
    EXPECT_EQ(ring->readPos, ring->bufferStart);
    EXPECT_EQ(ring->writePos, ring->bufferStart);
    EXPECT_EQ(RingGet(ring.get()), -1);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(buffer[1], 'y');
    RingPut(ring.get(), 'z');
    EXPECT_EQ(RingGet(ring.get()), 'z');
}

TEST(ByteRing, CallersBufferIsUsedAndNotReleased) {
    // On the heap, so that a wrong release would be caught by the allocator
    // (and by AddressSanitizer) rather than pass unnoticed.
    auto buffer = std::make_unique<std::uint8_t[]>(16);
    CByteRing* ring = RingCreate(16, buffer.get());
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->ownsBuffer, 0U);
    EXPECT_EQ(ring->bufferStart, buffer.get());
    EXPECT_EQ(ring->bufferEnd, buffer.get() + 16);
    RingPut(ring, 0x5A);
    RingDestroy(ring);
    EXPECT_EQ(buffer[0], 0x5A);
    RingDestroy(nullptr);  // nothing for none
}

TEST(ByteRing, ZeroSizedRingRefusesEverything) {
    RingPtr ring = MakeRing(0);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(RingPut(ring.get(), 1), -1);
    EXPECT_EQ(RingGet(ring.get()), -1);
    const std::uint8_t byte = 7;
    EXPECT_EQ(RingPutBlock(ring.get(), &byte, 1), -1);
    EXPECT_EQ(ring->count, 0);

    std::uint8_t spare = 0;
    RingPtr borrowed = MakeRing(0, &spare);
    EXPECT_EQ(RingPut(borrowed.get(), 1), -1);
    EXPECT_EQ(spare, 0);
}

}  // namespace
