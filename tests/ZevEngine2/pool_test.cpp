#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZevEngine2/Allocator.h"
#include "ee/console_out.h"
#include "heap_check.h"

using namespace heaptest;

namespace {

int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

int Chunks(const FixedAllocator& fa)
{
    int n = 0;
    for (MemChunk* c = fa.first; c; c = c->next)
        n++;
    return n;
}

bool InPool(const FixedAllocator& fa, const void* p, u32 size)
{
    for (MemChunk* c = fa.first; c; c = c->next) {
        if (A(p) >= A(c) && A(p) < A(c) + 256 * size)
            return (A(p) - A(c)) % size == 0;
    }
    return false;
}

// A chunk's blocks are those of its 256 that lie wholly after the 6-byte
// header, handed out in ascending order.
TEST(FixedAllocator, ChunkHoldsTheBlocksPastItsHeader)
{
    for (u32 size : {1u, 2u, 5u, 12u, 16u}) {
        SCOPED_TRACE(size);
        u32 firstIndex = 0;
        while (firstIndex * size < 6)
            firstIndex++;
        FixedAllocator fa;
        std::vector<u8*> blocks;
        for (u32 i = firstIndex; i < 256; i++)
            blocks.push_back(static_cast<u8*>(fa.Alloc(size)));
        ASSERT_EQ(Chunks(fa), 1);
        u8* chunk = reinterpret_cast<u8*>(fa.first);
        for (u32 i = 0; i < blocks.size(); i++)
            ASSERT_EQ(blocks[i], chunk + (firstIndex + i) * size);
        EXPECT_EQ(fa.first->count, blocks.size());

        // The next block needs a second chunk.
        blocks.push_back(static_cast<u8*>(fa.Alloc(size)));
        EXPECT_EQ(Chunks(fa), 2);
        for (u8* p : blocks)
            fa.Free(p, size);
        EXPECT_EQ(fa.first, nullptr);
        EXPECT_EQ(fa.lastAlloc, nullptr);
        EXPECT_EQ(fa.lastFree, nullptr);
    }
}

TEST(FixedAllocator, FreeFindsTheChunkOfAnyBlock)
{
    FixedAllocator fa;
    std::vector<void*> blocks;
    for (int i = 0; i < 600; i++)   // three chunks of 16-byte blocks
        blocks.push_back(fa.Alloc(16));
    ASSERT_EQ(Chunks(fa), 3);
    // Alternate between the oldest and the newest chunk so the hint misses.
    for (int i = 0; i < 300; i++) {
        fa.Free(blocks[i], 16);
        fa.Free(blocks[599 - i], 16);
    }
    EXPECT_EQ(fa.first, nullptr);
}

TEST(FixedAllocator, EmptyChunkGoesBackToTheHeapAtOnce)
{
    // A free block at the front of the low list, so that the chunk comes from
    // a counted free block rather than the uncounted middle.
    void* room = calloc(64 * 1024, 1);
    void* guard = calloc(16, 1);
    free(room);
    u32 start = TotalFree();

    FixedAllocator fa;
    void* p = fa.Alloc(12);
    ASSERT_NE(p, nullptr);
    EXPECT_LE(TotalFree(), start - 256 * 12);
    fa.Free(p, 12);
    EXPECT_EQ(fa.first, nullptr);
    EXPECT_EQ(TotalFree(), start);
    free(guard);
    CheckHeap(mal);
}

TEST(FixedAllocator, ChunkFailureGivesNullAndReportsOnce)
{
    const std::string kMessage = "no memory for a chunk";
    FixedAllocator ok;
    void* p = ok.Alloc(12);   // a chunk that succeeds ends any earlier run of failures
    ASSERT_NE(p, nullptr);

    const u32 kHuge = 1u << 20;   // a 256 MiB chunk
    FixedAllocator fa;
    std::string before = console::ConsoleText();
    EXPECT_EQ(fa.Alloc(kHuge), nullptr);
    EXPECT_EQ(fa.Alloc(kHuge), nullptr);
    EXPECT_EQ(fa.first, nullptr);
    EXPECT_EQ(CountOf(console::ConsoleText(), kMessage) - CountOf(before, kMessage), 1);

    // After memory is found again, a new failure is worth a new report.
    ok.Free(p, 12);
    p = ok.Alloc(12);
    EXPECT_EQ(fa.Alloc(kHuge), nullptr);
    EXPECT_EQ(CountOf(console::ConsoleText(), kMessage) - CountOf(before, kMessage), 2);
    ok.Free(p, 12);
}

TEST(FixedAllocator, PreAllocateMakesChunksForNBlocks)
{
    FixedAllocator fa;
    fa.PreAllocate(12, 256);   // one more than a chunk holds
    EXPECT_EQ(Chunks(fa), 2);
    fa.PreAllocate(12, 0);
    EXPECT_EQ(Chunks(fa), 2);
    std::vector<void*> blocks;
    for (int i = 0; i < 510; i++)
        blocks.push_back(fa.Alloc(12));
    EXPECT_EQ(Chunks(fa), 2);
    for (void* p : blocks)
        fa.Free(p, 12);
    EXPECT_EQ(fa.first, nullptr);
}

TEST(FixedAllocator, ForeignPointerIsReportedAndIgnored)
{
    FixedAllocator fa;
    u8* p = static_cast<u8*>(fa.Alloc(12));
    std::string before = console::ConsoleText();
    int local = 0;
    fa.Free(&local, 12);
    fa.Free(p + 1, 12);   // not on a block boundary
    EXPECT_EQ(CountOf(console::ConsoleText(), "pool block") - CountOf(before, "pool block"), 2);
    EXPECT_EQ(fa.first->count, 1);
    fa.Free(p, 12);
    EXPECT_EQ(fa.first, nullptr);
}

TEST(SmallAllocator, SizesPickTheirPools)
{
    void* p12 = SmallAllocator::Alloc(12);
    void* p17 = SmallAllocator::Alloc(17);
    void* a1 = SmallAllocator::Alloc1(3);
    void* a16 = SmallAllocator::Alloc16(64);
    void* top = small_malloc(1008);
    EXPECT_TRUE(InPool(SmallAllocator::allocators1[12], p12, 12));
    EXPECT_TRUE(InPool(SmallAllocator::allocators16[2], p17, 32));
    EXPECT_TRUE(InPool(SmallAllocator::allocators1[3], a1, 3));
    EXPECT_TRUE(InPool(SmallAllocator::allocators16[4], a16, 64));
    EXPECT_TRUE(InPool(SmallAllocator::allocators16[63], top, 1008));
    SmallAllocator::Free(p12, 12);
    SmallAllocator::Free(p17, 17);
    SmallAllocator::Free1(a1, 3);
    SmallAllocator::Free16(a16, 64);
    small_free(top, 1008);
}

TEST(SmallAllocator, SizesWithoutPoolGiveNull)
{
    std::string before = console::ConsoleText();
    EXPECT_EQ(SmallAllocator::Alloc(0), nullptr);
    EXPECT_EQ(SmallAllocator::Alloc(1009), nullptr);
    EXPECT_EQ(SmallAllocator::Alloc1(16), nullptr);
    EXPECT_EQ(SmallAllocator::Alloc16(20), nullptr);
    EXPECT_EQ(CountOf(console::ConsoleText(), "no pool for") - CountOf(before, "no pool for"), 4);
}

struct Record {
    int a, b, c;
};
struct PooledRecord : Small<Record> {};

TEST(Small, ObjectsLiveInThePoolOfTheirSize)
{
    const FixedAllocator& pool = SmallAllocator::allocators1[sizeof(PooledRecord)];
    auto used = [&] {
        int n = 0;
        for (MemChunk* c = pool.first; c; c = c->next)
            n += c->count;
        return n;
    };
    int before = used();
    PooledRecord* r = new PooledRecord;
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(InPool(pool, r, sizeof(PooledRecord)));
    EXPECT_EQ(used(), before + 1);
    delete r;
    EXPECT_EQ(used(), before);
}

}  // namespace
