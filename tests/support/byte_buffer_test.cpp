#include "support/byte_buffer.h"

#include "support/memory.h"

#include <gtest/gtest.h>

#include <vector>

#include <cstring>
#include <string>
#include <utility>

namespace tessaly {
namespace {

std::string contents(const ByteBuffer& b) {
    return b.size() ? std::string(reinterpret_cast<const char*>(b.data()), b.size()) : std::string();
}

void put(ByteBuffer& b, const std::string& text) { ASSERT_TRUE(b.write(text.data(), uint32_t(text.size()))); }

TEST(ByteBuffer, ConstructionAndAllocation) {
    ByteBuffer plain;
    EXPECT_EQ(plain.data(), nullptr) << "nothing is allocated before allocate()";
    ASSERT_NE(plain.allocate(), nullptr);
    EXPECT_EQ(plain.capacity(), 32768u);
    EXPECT_EQ(plain.increment(), 32768u);
    EXPECT_EQ(plain.factor(), 1.0f);

    ByteBuffer sized(1000);
    ASSERT_NE(sized.allocate(), nullptr);
    EXPECT_EQ(sized.capacity(), 1000u);
    EXPECT_EQ(sized.increment(), 1000u);

    ByteBuffer custom(64, 16, 1.5f);
    ASSERT_NE(custom.allocate(), nullptr);
    EXPECT_EQ(custom.capacity(), 64u);
    EXPECT_EQ(custom.increment(), 16u);

    // A second allocate starts over.
    put(custom, "abcdef");
    ASSERT_NE(custom.allocate(8), nullptr);
    EXPECT_EQ(custom.position(), 0u);
    EXPECT_EQ(custom.size(), 0u);
    EXPECT_EQ(custom.capacity(), 8u);

    // Writing to a buffer that was never allocated allocates on the way.
    ByteBuffer lazy(10, 10, 1.0f);
    put(lazy, "xyz");
    EXPECT_EQ(contents(lazy), "xyz");
    EXPECT_GE(lazy.capacity(), 3u);
}

TEST(ByteBuffer, GrowsByWholeIncrements) {
    ByteBuffer b(100, 100, 1.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, std::string(100, 'a'));
    EXPECT_EQ(b.capacity(), 100u) << "an exact fit does not grow";
    put(b, std::string(250, 'b'));
    // 100 + 100 * (250 / 100 + 1)
    EXPECT_EQ(b.capacity(), 400u);
    EXPECT_EQ(b.size(), 350u);
    EXPECT_EQ(contents(b), std::string(100, 'a') + std::string(250, 'b'));
    put(b, std::string(50, 'c'));
    EXPECT_EQ(b.capacity(), 400u);
    put(b, "d");
    EXPECT_EQ(b.capacity(), 500u);
    EXPECT_EQ(b.increment(), 100u) << "factor 1.0 keeps the increment";
}

TEST(ByteBuffer, FactorScalesTheIncrementAfterEachGrowth) {
    ByteBuffer b(32768, 32768, 2.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, std::string(32768, 'x'));
    EXPECT_EQ(b.capacity(), 32768u);
    put(b, "y");
    EXPECT_EQ(b.capacity(), 65536u) << "one more byte grows by one increment";
    EXPECT_EQ(b.increment(), 65536u);
    put(b, std::string(65536 - 32769, 'z'));
    put(b, "w");
    EXPECT_EQ(b.capacity(), 131072u);
    EXPECT_EQ(b.increment(), 131072u);

    ByteBuffer odd(10, 10, 1.5f);
    ASSERT_NE(odd.allocate(), nullptr);
    put(odd, std::string(11, 'a'));
    EXPECT_EQ(odd.capacity(), 30u);  // 10 + 10 * (11 / 10 + 1)
    EXPECT_EQ(odd.increment(), 15u);
    put(odd, std::string(20, 'b'));
    EXPECT_EQ(odd.capacity(), 60u);  // 30 + 15 * (20 / 15 + 1)
    EXPECT_EQ(odd.increment(), 22u) << "the scaled increment is truncated";
}

TEST(ByteBuffer, FailedGrowthChangesNothing) {
    ByteBuffer b(16, 16, 1.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, "0123456789");
    b.seek(4);
    const uint8_t* block = b.data();
    const std::vector<uint8_t> source(1);
    // Room for this would pass 4 GiB.
    EXPECT_FALSE(b.ensureRoom(0xFFFFFFF0u));
    volatile uint32_t huge = 0xFFFFFFF0u;  // hidden from the compiler's bounds analysis
    EXPECT_FALSE(b.write(source.data(), huge));
    EXPECT_FALSE(b.insertGap(2, 0xFFFFFFF0u));
    EXPECT_EQ(b.position(), 4u);
    EXPECT_EQ(b.size(), 10u);
    EXPECT_EQ(b.capacity(), 16u);
    EXPECT_EQ(b.data(), block);
    EXPECT_EQ(contents(b), "0123456789");
    EXPECT_FALSE(b.moveBlock(0, 4, 11)) << "destination past the size";
    EXPECT_EQ(contents(b), "0123456789");
}

TEST(ByteBuffer, ReadSetsTheShortReadFlag) {
    ByteBuffer b(8);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, "abcdef");
    b.seek(0);
    char out[8] = {};
    EXPECT_EQ(b.read(out, 4), 4u);
    EXPECT_FALSE(b.shortRead());
    EXPECT_EQ(b.read(out, 4), 2u);
    EXPECT_TRUE(b.shortRead());
    EXPECT_EQ(std::string(out, 2), "ef");
    EXPECT_EQ(b.position(), 6u);
    EXPECT_EQ(b.read(out, 1), 0u);
    EXPECT_TRUE(b.shortRead());
    b.seek(0);
    EXPECT_EQ(b.read(out, 0), 0u);
    EXPECT_FALSE(b.shortRead()) << "a complete read clears the flag";

    b.writeU16(0x0201);
    b.writeU32(0x06050403);
    b.seek(0);
    EXPECT_EQ(b.read(out, 6), 6u);
    EXPECT_EQ(std::memcmp(out, "\x01\x02\x03\x04\x05\x06", 6), 0) << "little-endian";
}

TEST(ByteBuffer, SeekAndTruncate) {
    ByteBuffer b(100);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, "0123456789");
    EXPECT_EQ(b.seek(4), 4u);
    EXPECT_EQ(b.size(), 10u);
    EXPECT_EQ(b.seek(40), 40u);
    EXPECT_EQ(b.size(), 40u) << "seeking past the size raises it";
    EXPECT_EQ(b.seek(1000), 100u) << "seeking stops at the capacity";
    EXPECT_EQ(b.size(), 100u);
    EXPECT_EQ(b.seekRelative(-30), 70u);
    EXPECT_EQ(b.seekRelative(-1000), 0u);
    EXPECT_EQ(b.seekToEnd(), 100u);

    EXPECT_EQ(b.truncate(6), 6u);
    EXPECT_EQ(b.position(), 6u);
    EXPECT_EQ(b.size(), 6u);
    EXPECT_EQ(contents(b), "012345");
    b.seek(2);
    EXPECT_EQ(b.truncate(20), 20u);
    EXPECT_EQ(b.size(), 20u);
}

TEST(ByteBuffer, WriteAtCopiesWithinTheBuffer) {
    ByteBuffer b(8, 8, 1.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, "abcdef");
    // Overlapping, forwards and backwards.
    ASSERT_TRUE(b.writeAt(2, 0, 4));
    EXPECT_EQ(contents(b), "ababcd");
    EXPECT_EQ(b.position(), 6u);
    ASSERT_TRUE(b.writeAt(0, 2, 4));
    EXPECT_EQ(contents(b), "abcdcd");
    // Past the end, with growth while the source lies in the old block.
    ASSERT_TRUE(b.writeAt(6, 0, 6));
    EXPECT_EQ(contents(b), "abcdcdabcdcd");
    EXPECT_EQ(b.position(), 12u);
    b.seek(3);
    EXPECT_FALSE(b.writeAt(0, 10, 3)) << "source beyond the valid bytes";
    EXPECT_EQ(b.position(), 3u);
}

TEST(ByteBuffer, InsertGapAndRemoveRange) {
    ByteBuffer b(8, 4, 1.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, "abcdef");
    ASSERT_TRUE(b.insertGap(2, 5));
    EXPECT_EQ(b.size(), 11u);
    EXPECT_EQ(b.position(), 11u);
    const std::string grown = contents(b);
    EXPECT_EQ(grown.substr(0, 2), "ab");
    EXPECT_EQ(grown.substr(7), "cdef");
    std::memcpy(b.data() + 2, "12345", 5);

    ASSERT_TRUE(b.removeRange(3, 6));
    EXPECT_EQ(contents(b), "ab15cdef");
    EXPECT_EQ(b.position(), 8u) << "pulled back to the new size";
    b.seek(1);
    ASSERT_TRUE(b.removeRange(6, 8));
    EXPECT_EQ(b.position(), 1u) << "a position inside stays";
    EXPECT_FALSE(b.removeRange(4, 3));
    EXPECT_FALSE(b.removeRange(2, 7));
    EXPECT_FALSE(b.insertGap(7, 1));
    ASSERT_TRUE(b.insertGap(6, 0));
    EXPECT_EQ(contents(b), "ab15cd");

    ByteBuffer empty(4);
    EXPECT_TRUE(empty.removeRange(0, 0));
    EXPECT_TRUE(empty.moveBlock(0, 0, 0));
}

TEST(ByteBuffer, MoveBlockKeepsTheTotalSize) {
    ByteBuffer b(16, 16, 1.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, "0123456789");
    b.seek(3);
    ASSERT_TRUE(b.moveBlock(6, 8, 2));  // towards the start
    EXPECT_EQ(contents(b), "0167234589");
    EXPECT_EQ(b.position(), 3u);

    ASSERT_TRUE(b.moveBlock(2, 4, 10));  // to the very end
    EXPECT_EQ(contents(b), "0123458967");

    b.truncate(0);
    put(b, "0123456789");
    // Towards the end: the block lands just before the byte that stood at dest.
    ASSERT_TRUE(b.moveBlock(1, 3, 7));
    EXPECT_EQ(contents(b), "0345612789");
    EXPECT_EQ(b.size(), 10u);

    // The font definitions go in front of the tags that use them.
    ByteBuffer tags(4, 4, 2.0f);
    ASSERT_NE(tags.allocate(), nullptr);
    put(tags, "HEADERshape|text|FONT");
    ASSERT_TRUE(tags.moveBlock(17, 21, 6));
    EXPECT_EQ(contents(tags), "HEADERFONTshape|text|");

    ASSERT_TRUE(b.moveBlock(2, 5, 4)) << "a destination inside the block is already in place";
    EXPECT_EQ(contents(b), "0345612789");
}

TEST(ByteBuffer, U32Set) {
    ByteBuffer b(8, 8, 1.0f);
    ASSERT_NE(b.allocate(), nullptr);
    EXPECT_EQ(b.pushU32Unique(5), 1);
    EXPECT_EQ(b.pushU32Unique(7), 1);
    EXPECT_EQ(b.pushU32Unique(5), 0);
    EXPECT_EQ(b.pushU32Unique(9), 1);  // grows past 8 bytes
    ASSERT_EQ(b.countU32(), 3u);
    EXPECT_EQ(b.removeU32(7), 1);
    EXPECT_EQ(b.removeU32(7), 0);
    ASSERT_EQ(b.countU32(), 2u);
    EXPECT_EQ(b.u32At(0), 5u);
    EXPECT_EQ(b.u32At(1), 9u);
    EXPECT_EQ(b.pushU32Unique(7), 1);
    EXPECT_EQ(b.u32At(2), 7u);
    EXPECT_EQ(b.removeU32(5), 1);
    EXPECT_EQ(b.u32At(0), 9u);
    EXPECT_EQ(b.u32At(1), 7u);
}

TEST(ByteBuffer, ExternalPointerFollowsTheBlock) {
    uint8_t* seen = reinterpret_cast<uint8_t*>(&seen);
    {
        ByteBuffer b(4, 4, 1.0f);
        b.setExternalPointer(&seen);
        EXPECT_EQ(seen, nullptr);
        ASSERT_NE(b.allocate(), nullptr);
        EXPECT_EQ(seen, b.data());
        for (int i = 0; i < 100; ++i) {
            put(b, std::string(1000, char('a' + i % 26)));
            ASSERT_EQ(seen, b.data());
        }
        ByteBuffer moved(std::move(b));
        EXPECT_EQ(seen, moved.data());
        EXPECT_EQ(moved.size(), 100000u);
        EXPECT_EQ(seen[99999], 'a' + 99 % 26);
        moved.release();
        EXPECT_EQ(seen, nullptr);
        ASSERT_NE(moved.allocate(16), nullptr);
        EXPECT_EQ(seen, moved.data());
    }
}

TEST(ByteBuffer, AFailedGrowthIsRememberedUntilTheBufferStartsAnew) {
    ByteBuffer b(8, 8, 1.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, "abcdef");
    {
        ScopedAllocationFailure failure;
        failure.failAfter(0);  // the next allocation only
        EXPECT_FALSE(b.write("ghijkl", 6));
        EXPECT_EQ(allocation_failure::failuresInjected(), 1u);
    }
    // The failed write left everything as it was ...
    EXPECT_EQ(contents(b), "abcdef");
    EXPECT_EQ(b.position(), 6u);
    EXPECT_EQ(b.capacity(), 8u);
    EXPECT_TRUE(b.failed());
    // ... and later writes succeed without hiding the loss.
    EXPECT_TRUE(b.write("gh", 2));
    EXPECT_TRUE(b.write("ijklmnop", 8));
    EXPECT_TRUE(b.failed());
    ByteBuffer moved(std::move(b));
    EXPECT_TRUE(moved.failed());
    EXPECT_FALSE(b.failed());
    ASSERT_NE(moved.allocate(), nullptr);
    EXPECT_FALSE(moved.failed());
}

TEST(ByteBuffer, FailuresOfEveryKindAreSticky) {
    ScopedAllocationFailure failure;
    failure.failAbove(64);
    ByteBuffer tooLarge(128);
    EXPECT_EQ(tooLarge.allocate(), nullptr);
    EXPECT_TRUE(tooLarge.failed());

    ByteBuffer b(16, 16, 2.0f);
    ASSERT_NE(b.allocate(), nullptr);
    put(b, std::string(40, 'x'));  // grows to 48 within the limit
    EXPECT_FALSE(b.failed());
    EXPECT_FALSE(b.insertGap(0, 40));  // would need 80 bytes
    EXPECT_TRUE(b.failed());
    EXPECT_EQ(b.size(), 40u);

    ByteBuffer c(16);
    ASSERT_NE(c.allocate(), nullptr);
    put(c, "abc");
    EXPECT_FALSE(c.writeAt(0, 2, 4));  // the source runs past the valid bytes
    EXPECT_TRUE(c.failed());
    c.release();
    EXPECT_FALSE(c.failed());
}

TEST(AllocationFailure, FailsOnceOrFromThenOnAndCountsWhatItSaw) {
    {
        ScopedAllocationFailure failure;
        failure.failAfter(2);
        HeapBlock a(static_cast<uint8_t*>(allocateMemory(4)));
        HeapBlock b(static_cast<uint8_t*>(allocateMemory(4)));
        HeapBlock c(static_cast<uint8_t*>(allocateMemory(4)));
        HeapBlock d(static_cast<uint8_t*>(allocateZeroed(4)));
        EXPECT_TRUE(a && b && d);
        EXPECT_FALSE(c);
        EXPECT_EQ(allocation_failure::allocationsSeen(), 4u);
        failure.failAfter(1, true);
        HeapBlock e(static_cast<uint8_t*>(allocateMemory(4)));
        EXPECT_TRUE(e);
        void* f = reallocateMemory(e.get(), 8);
        EXPECT_EQ(f, nullptr);  // the old block stays with e
        EXPECT_EQ(allocateMemory(1), nullptr);
        EXPECT_EQ(allocation_failure::failuresInjected(), 2u);
    }
    HeapBlock after(static_cast<uint8_t*>(allocateMemory(4)));
    EXPECT_TRUE(after);
}

}  // namespace
}  // namespace tessaly
