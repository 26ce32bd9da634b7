#include <gtest/gtest.h>

// Only an AddressSanitizer build tells the sanitizer about the game's heap.
#if defined(__SANITIZE_ADDRESS__)

#include <sanitizer/asan_interface.h>

#include "ZevEngine2/Allocator.h"
#include "heap_check.h"

using namespace heaptest;

namespace {

bool Poisoned(const void* p)
{
    return __asan_address_is_poisoned(p) != 0;
}

// The first poisoned byte of [p, p + n), or null.
const void* FirstPoisoned(const void* p, size_t n)
{
    return __asan_region_is_poisoned(const_cast<void*>(p), n);
}

}  // namespace

TEST(HeapSanitizer, FreedDataIsPoisonedAndReusedDataIsNot)
{
    LocalHeap<4096> h;
    MallocRec* a = h.heap.AllocMR(200, 16);
    MallocRec* b = h.heap.AllocMR(200, 16);   // keeps a from merging upward
    ASSERT_TRUE(a && b);
    u8* data = static_cast<u8*>(DataOf(a));
    EXPECT_EQ(FirstPoisoned(data, 192), nullptr);

    h.heap.Free(a);
    // The list words stay for the heap; the rest of the data is poisoned.
    EXPECT_EQ(FirstPoisoned(a, 16), nullptr);
    EXPECT_TRUE(Poisoned(data + 8));
    EXPECT_TRUE(Poisoned(data + 191));
    CheckHeap(h.heap);

    // The same bytes handed out again are addressable once more.
    MallocRec* c = h.heap.AllocMR(200, 16);
    ASSERT_EQ(c, a);
    EXPECT_EQ(FirstPoisoned(DataOf(c), 192), nullptr);
    h.heap.Free(c);
    h.heap.Free(b);
    CheckHeap(h.heap);
}

TEST(HeapSanitizer, MergedHeadersArePoisonedAndCarvedHeadersAreNot)
{
    LocalHeap<4096> h;
    MallocRec* lo = h.heap.AllocMRlow(64, 16);
    MallocRec* a = h.heap.AllocMRlow(64, 16);
    MallocRec* keep = h.heap.AllocMRlow(64, 16);
    ASSERT_TRUE(lo && a && keep);
    h.heap.Free(lo);
    h.heap.Free(a);   // merges into lo: a's header is now data of a free block
    EXPECT_TRUE(Poisoned(a));
    EXPECT_EQ(FirstPoisoned(lo, 16), nullptr);
    CheckHeap(h.heap);

    // A block carved from the merged one gets an addressable header and data.
    MallocRec* again = h.heap.AllocMRlow(64, 16);
    ASSERT_TRUE(again);
    EXPECT_EQ(FirstPoisoned(again, BlockSize(again)), nullptr);
    h.heap.Free(again);
    h.heap.Free(keep);
    CheckHeap(h.heap);
}

TEST(HeapSanitizer, DoubleFreeOfAMergedBlockIsRefusedWithoutTouchingPoison)
{
    void* a = malloc(100);
    void* b = malloc(100);
    ASSERT_TRUE(a && b);
    free(a);
    free(b);   // b merges with the block below or the middle
    EXPECT_FALSE(mal.IsAllocated(a));
    EXPECT_FALSE(mal.IsAllocated(b));
}

TEST(PoolSanitizer, FreedPoolBlockIsPoisonedPastItsLink)
{
    void* keep = SmallAllocator::Alloc(32);
    void* p = SmallAllocator::Alloc(32);
    ASSERT_TRUE(keep && p);
    EXPECT_EQ(FirstPoisoned(p, 32), nullptr);
    SmallAllocator::Free(p, 32);
    EXPECT_FALSE(Poisoned(p));   // the next-free index
    EXPECT_TRUE(Poisoned(static_cast<u8*>(p) + 1));
    EXPECT_TRUE(Poisoned(static_cast<u8*>(p) + 31));

    void* q = SmallAllocator::Alloc(32);
    EXPECT_EQ(q, p);
    EXPECT_EQ(FirstPoisoned(q, 32), nullptr);
    SmallAllocator::Free(q, 32);
    SmallAllocator::Free(keep, 32);
}

TEST(PoolSanitizerDeathTest, ReadOfAFreedPoolBlockIsReported)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            void* keep = SmallAllocator::Alloc(64);
            auto* p = static_cast<volatile u32*>(SmallAllocator::Alloc(64));
            SmallAllocator::Free(const_cast<u32*>(p), 64);
            u32 v = p[4];
            (void)v;
            (void)keep;
        },
        "use-after-poison");
}

TEST(HeapSanitizerDeathTest, WriteToAFreedHeapBlockIsReported)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto* p = static_cast<volatile u32*>(malloc(256));
            free(const_cast<u32*>(p));
            p[10] = 1;
        },
        "use-after-poison");
}

#endif  // __SANITIZE_ADDRESS__
