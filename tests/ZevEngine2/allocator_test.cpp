#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ZevEngine2/Allocator.h"
#include "ee/console_out.h"
#include "heap_check.h"

using namespace heaptest;

namespace {

// What this file's static initialiser found: it runs after the heap's own but
// in another module, as every game module's initialisers do.
struct EarlyProbe {
    uintptr_t block = 0;
    bool allocated = false;

    EarlyProbe()
    {
        void* p = malloc(64);
        block = A(p);
        allocated = mal.IsAllocated(p);
        free(p);
    }
} gEarly;

int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

bool Within(const void* p, const MallocRec* block, u32 size)
{
    return A(p) >= A(block) && A(p) < A(block) + size;
}

// Free blocks whose slacks for a request of kRequest bytes are the given
// values, lying on free_hi in the given order.  The blocks are carved without
// alignment so their sizes are exact; used guards keep them apart.
constexpr u32 kRequest = 1000;

std::vector<MallocRec*> MakeHoles(Malloc& heap, std::initializer_list<u32> slacks)
{
    std::vector<MallocRec*> holes;
    for (u32 slack : slacks) {
        holes.push_back(heap.AllocMR(kRequest + slack));
        heap.AllocMR(64);
    }
    for (auto it = holes.rbegin(); it != holes.rend(); ++it)
        heap.Free(*it);   // lists take blocks at the front: free the last first
    MallocRec* b = heap.free_hi.next_free;
    for (MallocRec* h : holes) {
        EXPECT_EQ(b, h) << "free_hi is not in the intended order";
        b = b ? b->next_free : nullptr;
    }
    return holes;
}

TEST(Heap, BestFitScansPastLargeSlacks)
{
    auto lh = std::make_unique<LocalHeap<256 * 1024>>();
    auto holes = MakeHoles(lh->heap, {20000, 9000, 100});
    MallocRec* got = lh->heap.AllocMR(kRequest);
    EXPECT_TRUE(Within(got, holes[2], kRequest + 100));
    CheckHeap(lh->heap);
}

TEST(Heap, BestFitStopsAtFirstSlackUnder8192)
{
    auto lh = std::make_unique<LocalHeap<256 * 1024>>();
    auto holes = MakeHoles(lh->heap, {20000, 5000, 100});
    MallocRec* got = lh->heap.AllocMR(kRequest);
    EXPECT_TRUE(Within(got, holes[1], kRequest + 5000));
    CheckHeap(lh->heap);
}

TEST(Heap, BestFitKeepsEarlierBlockOfEqualSlack)
{
    auto lh = std::make_unique<LocalHeap<256 * 1024>>();
    auto holes = MakeHoles(lh->heap, {10000, 10000});
    EXPECT_TRUE(Within(lh->heap.AllocMR(kRequest), holes[0], kRequest + 10000));
}

TEST(Heap, TopAndBottomAllocationsLeaveTheMiddleBetween)
{
    auto lh = std::make_unique<LocalHeap<64 * 1024>>();
    Malloc& heap = lh->heap;
    MallocRec* hi = heap.AllocMR(1000, 16);
    MallocRec* lo = heap.AllocMRlow(1000, 16);
    ASSERT_TRUE(hi && lo);
    EXPECT_EQ(A(DataOf(hi)) % 16, 0u);
    EXPECT_EQ(A(DataOf(lo)) % 16, 0u);
    EXPECT_EQ(A(hi) + BlockSize(hi), A(heap.end));   // carved from the very top
    EXPECT_LT(A(lo), A(heap.nomansland));
    EXPECT_GT(A(hi), A(heap.nomansland));

    // Either neighbour of the middle block melts back into it when freed: the
    // free lists stay empty and the middle again spans the whole heap.
    heap.Free(hi);
    EXPECT_EQ(heap.TotalFree(nullptr), 0u);
    heap.Free(lo);
    EXPECT_EQ(heap.TotalFree(nullptr), 0u);
    EXPECT_EQ(A(heap.nomansland), A(heap.start) + BlockSize(heap.start));
    EXPECT_EQ(A(heap.nomansland) + BlockSize(heap.nomansland), A(heap.end));
    CheckHeap(heap);
}

TEST(Heap, FreeMergesWithFreeNeighbours)
{
    auto lh = std::make_unique<LocalHeap<64 * 1024>>();
    Malloc& heap = lh->heap;
    MallocRec* a = heap.AllocMR(512, 16);
    MallocRec* b = heap.AllocMR(256, 16);
    MallocRec* c = heap.AllocMR(1024, 16);
    heap.AllocMR(64, 16);   // keeps c off the middle
    heap.Free(a);
    heap.Free(c);
    EXPECT_EQ(CheckHeap(heap), 512u + 1024u);
    heap.Free(b);
    u32 biggest = 0;
    EXPECT_EQ(heap.TotalFree(&biggest), 512u + 256u + 1024u);
    EXPECT_EQ(biggest, 512u + 256u + 1024u);   // one block now
    CheckHeap(heap);
}

TEST(Heap, UsedUpMiddleIsNeverCarvedOrCounted)
{
    auto lh = std::make_unique<LocalHeap<8 * 1024>>();
    Malloc& heap = lh->heap;
    MallocRec* low = heap.AllocMRlow(1000, 16);
    MallocRec* mid = heap.nomansland;
    u32 midSize = BlockSize(mid);

    // Exactly the middle's size: the middle block itself becomes used.
    MallocRec* all = heap.AllocMR(midSize);
    EXPECT_EQ(all, mid);
    EXPECT_EQ(heap.nomansland, mid);
    EXPECT_TRUE(BlockInUse(mid));
    EXPECT_EQ(heap.AllocMR(16), nullptr);
    EXPECT_EQ(heap.AllocMRlow(16, 16), nullptr);
    EXPECT_EQ(heap.TotalFree(nullptr), 0u);
    CheckHeap(heap);

    // The block just below the used middle becomes the middle when freed.
    heap.Free(low);
    EXPECT_FALSE(BlockInUse(heap.nomansland));
    EXPECT_LT(A(heap.nomansland), A(mid));
    EXPECT_EQ(heap.TotalFree(nullptr), 0u);
    CheckHeap(heap);
    heap.Free(all);
    EXPECT_EQ(A(heap.nomansland) + BlockSize(heap.nomansland), A(heap.end));
    CheckHeap(heap);
}

TEST(Heap, SliverTooSmallToBeFreeGoesToTheBlockBelow)
{
    auto lh = std::make_unique<LocalHeap<8 * 1024>>();
    Malloc& heap = lh->heap;
    u32 startSize = BlockSize(heap.start);
    u32 midSize = BlockSize(heap.nomansland);
    MallocRec* most = heap.AllocMR(midSize - 8);
    ASSERT_NE(most, nullptr);
    EXPECT_EQ(BlockSize(heap.start), startSize + 8);
    EXPECT_EQ(heap.nomansland, most);
    CheckHeap(heap);
    heap.Free(most);
    EXPECT_FALSE(BlockInUse(heap.nomansland));
    CheckHeap(heap);
}

// Random traffic on a small heap (so it often runs full), with the heap's
// structure checked after every operation and every block's contents checked
// when it is freed.
TEST(Heap, RandomTrafficKeepsBlocksAndListsIntact)
{
    auto lh = std::make_unique<LocalHeap<48 * 1024>>();
    Malloc& heap = lh->heap;
    struct Live {
        MallocRec* m;
        u32 bytes;
        u8 fill;
    };
    std::vector<Live> live;
    std::mt19937 rng(12345);
    int failures = 0;
    int usedMiddle = 0;
    for (int op = 0; op < 6000; op++) {
        u32 kind = rng() % 10;
        if (kind < 4 || live.empty()) {
            u32 bytes = 1 + rng() % 3000;
            bool low = kind == 3;
            u32 align = low ? 16 : 16u << (rng() % 3);
            MallocRec* m;
            if (kind == 2 && !BlockInUse(heap.nomansland) && BlockSize(heap.nomansland) > 64) {
                // Near the whole middle block: exercises a used-up middle.
                u32 size = BlockSize(heap.nomansland) - 16 - rng() % 24;
                m = heap.AllocMR(size, 1);
                bytes = m ? size - 8 : 0;
            } else {
                m = low ? heap.AllocMRlow(((bytes + 15) & ~15u) + 8, 16) : heap.AllocMR((bytes + 11) & ~3u, align);
                align = low ? 16 : align;
                if (m) {
                    EXPECT_EQ(A(DataOf(m)) % align, 0u);
                }
            }
            if (!m) {
                failures++;
                continue;
            }
            ASSERT_GE(BlockSize(m), bytes + 8);
            u8 fill = static_cast<u8>(rng());
            memset(DataOf(m), fill, bytes);
            live.push_back({m, bytes, fill});
        } else {
            size_t i = rng() % live.size();
            const u8* d = static_cast<const u8*>(DataOf(live[i].m));
            for (u32 k = 0; k < live[i].bytes; k++)
                ASSERT_EQ(d[k], live[i].fill) << "block contents overwritten";
            heap.Free(live[i].m);
            live[i] = live.back();
            live.pop_back();
        }
        CheckHeap(heap);
        EXPECT_TRUE(heap.ValidateFree());   // the heap's own check agrees
        if (testing::Test::HasFailure())
            return;
        usedMiddle += BlockInUse(heap.nomansland);
    }
    EXPECT_GT(failures, 0);     // the heap did run full
    EXPECT_GT(usedMiddle, 0);   // and its middle block was used up at times
    for (const Live& l : live)
        heap.Free(l.m);
    EXPECT_EQ(heap.TotalFree(nullptr), 0u);
    EXPECT_EQ(A(heap.nomansland) + BlockSize(heap.nomansland), A(heap.end));
}

TEST(Heap, PublicWrappersSizeAndPlaceBlocksAsTheEntryPointsDo)
{
    // Header of 8 bytes, then whole words; zero-filled requests in 16s.
    EXPECT_EQ(Malloc::AdjustSize(1), 12u);
    EXPECT_EQ(Malloc::AdjustSize(4), 12u);
    EXPECT_EQ(Malloc::AdjustSize(5), 16u);
    EXPECT_EQ(Malloc::AdjustSize(100), 108u);
    EXPECT_EQ(Malloc::AdjustSize(0), 0u);
    EXPECT_EQ(Malloc::AdjustSize(0x40000001u), 0u);
    EXPECT_EQ(Malloc::AdjustTotal(3, 5), 24u);
    EXPECT_EQ(Malloc::AdjustTotal(0, 7), 8u);
    EXPECT_EQ(Malloc::AdjustTotal(4, 16), 72u);
    EXPECT_EQ(Malloc::AdjustTotal(0x10000, 0x10000), 0u);

    auto lh = std::make_unique<LocalHeap<64 * 1024>>();
    Malloc& heap = lh->heap;
    void* hi = heap.Alloc(100, 64);
    void* lo = heap.AllocLow(100);
    ASSERT_TRUE(hi && lo);
    EXPECT_EQ(A(hi) % 64, 0u);
    EXPECT_EQ(A(lo) % 16, 0u);
    EXPECT_GT(A(hi), A(heap.nomansland));   // from the top
    EXPECT_LT(A(lo), A(heap.nomansland));   // from the bottom
    EXPECT_GE(BlockSize(Header(hi)), 108u);
    EXPECT_EQ(BlockSize(Header(lo)), 120u);   // 112 data bytes and the header
    EXPECT_EQ(heap.Alloc(0), nullptr);
    EXPECT_EQ(heap.Alloc(16, 24), nullptr);   // not a power of two
    EXPECT_NE(heap.AllocLow(0), nullptr);
    CheckHeap(heap);
    EXPECT_TRUE(heap.ValidateFree());

    // Free blocks on both lists, then their links and tags damaged one at a
    // time.
    void* guardLo = heap.AllocLow(32);
    void* lo2 = heap.AllocLow(64);
    heap.AllocLow(32);
    void* hi2 = heap.Alloc(200);
    heap.Alloc(40);
    heap.Free(Header(lo2));
    heap.Free(Header(hi2));
    (void)guardLo;
    ASSERT_NE(heap.free_lo.next_free, nullptr);
    ASSERT_NE(heap.free_hi.next_free, nullptr);
    EXPECT_TRUE(heap.ValidateFree());
    MallocRec* f = heap.free_hi.next_free;
    f->prev_free = nullptr;
    EXPECT_FALSE(heap.ValidateFree());
    f->prev_free = &heap.free_hi;
    f->size += 16;   // no longer closed by the next block's prev_size
    EXPECT_FALSE(heap.ValidateFree());
    f->size -= 16;
    f->next_free = f;   // a list in a circle
    EXPECT_FALSE(heap.ValidateFree());
    f->next_free = nullptr;
    MallocRec* g = heap.free_lo.next_free;
    heap.free_lo.next_free = f;   // a block above the middle on the low list
    EXPECT_FALSE(heap.ValidateFree());
    heap.free_lo.next_free = g;
    EXPECT_TRUE(heap.ValidateFree());
}

// ---------------------------------------------------------------------------
// The C entry points, on the game's heap.  Each test gives back what it takes.

TEST(Heap, StaticInitialiserOfAnotherModuleFindsHeapReady)
{
    EXPECT_EQ(A(mal.start), A(ee_heap_arena_begin()));
    EXPECT_TRUE(gEarly.allocated);
    EXPECT_GE(gEarly.block, A(ee_heap_arena_begin()));
    EXPECT_LT(gEarly.block, A(ee_heap_arena_end()));
}

TEST(Heap, ZeroSizedRequests)
{
    EXPECT_EQ(malloc(0), nullptr);
    EXPECT_EQ(malloc_align(0, 64), nullptr);
    void* c = calloc(0, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(mal.IsAllocated(c));
    free(c);
    free(nullptr);
    CheckHeap(mal);
}

TEST(Heap, MallocFromTopCallocFromBottomAligned)
{
    u32 before = TotalFree();
    void* p = malloc(100);
    void* q = calloc(100, 1);
    void* r = malloc_align(100, 64);
    ASSERT_TRUE(p && q && r);
    EXPECT_EQ(A(p) % 16, 0u);
    EXPECT_EQ(A(q) % 16, 0u);
    EXPECT_EQ(A(r) % 64, 0u);
    EXPECT_GT(A(p), A(mal.nomansland));
    EXPECT_LT(A(q), A(mal.nomansland));
    EXPECT_GE(BlockSize(Header(p)), 108u);
    free(r);
    free(q);
    free(p);
    EXPECT_EQ(TotalFree(), before);
    CheckHeap(mal);
}

// The heap's whole free total counts the middle block that TotalFree leaves
// out, so it gives the same answer wherever a freed block went: a block
// freed away from the middle goes onto a free list, one freed beside it
// into the middle block.
TEST(Heap, HeapFreeIsTheSameWhereverABlockWasFreedTo)
{
    const u32 before = TotalHeapFree();
    const u32 listsBefore = TotalFree();
    void* outer = malloc(50000);
    const u32 withOuter = TotalHeapFree();
    void* inner = malloc(1000);   // below the first, next to the middle
    ASSERT_TRUE(outer && inner);
    ASSERT_GT(A(outer), A(inner));
    ASSERT_EQ(A(Header(inner)), A(mal.nomansland) + BlockSize(mal.nomansland));
    const u32 withBoth = TotalHeapFree();
    EXPECT_LT(withOuter, before);
    EXPECT_LT(withBoth, withOuter);
    // The outer block, not beside the middle, lands on a free list.
    free(outer);
    EXPECT_GT(TotalFree(), listsBefore);
    EXPECT_EQ(TotalHeapFree(), withBoth + (before - withOuter));
    // The inner one melts into the middle, and the outer with it.
    free(inner);
    EXPECT_EQ(TotalFree(), listsBefore);
    EXPECT_EQ(TotalHeapFree(), before);
    CheckHeap(mal);
}

TEST(Heap, CallocZeroFills)
{
    u8* c = static_cast<u8*>(calloc(4096, 1));
    ASSERT_NE(c, nullptr);
    memset(c, 0xAA, 4096);
    free(c);
    u8* d = static_cast<u8*>(calloc(1024, 4));
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 4096; i++)
        ASSERT_EQ(d[i], 0) << "at " << i;
    free(d);
}

TEST(Heap, ImpossibleRequestsFailCleanly)
{
    u32 before = TotalFree();
    EXPECT_EQ(malloc(0xFFFFFFF0u), nullptr);   // would wrap the size arithmetic
    EXPECT_EQ(calloc(0x10000, 0x10001), nullptr);   // the product overflows 32 bits
    EXPECT_EQ(malloc(A(ee_heap_arena_end()) - A(ee_heap_arena_begin())), nullptr);   // headers too
    EXPECT_EQ(malloc_align(64, 48), nullptr);
    EXPECT_EQ(malloc_align(64, 0), nullptr);
    EXPECT_EQ(TotalFree(), before);
    CheckHeap(mal);
}

TEST(Heap, FreeOfForeignOrFreedPointerIsReportedAndIgnored)
{
    u32 before = TotalFree();
    std::string text = console::ConsoleText();
    int local = 0;
    free(&local);
    void* p = malloc(64);
    free(p);
    free(p);
    EXPECT_EQ(CountOf(console::ConsoleText(), "is not an allocated heap block") -
                  CountOf(text, "is not an allocated heap block"),
              2);
    EXPECT_EQ(TotalFree(), before);
    CheckHeap(mal);
}

// ---------------------------------------------------------------------------
// Movable blocks and the defragmenter

// An owner that follows its block: it copies the contents (the regions may
// overlap) and records the move.
class Buffer : public MovableMemory {
public:
    explicit Buffer(MallocRec* m) : bytes(BlockSize(m) - 8)
    {
        data = DataOf(m);
        for (u32 i = 0; i < bytes; i++)
            static_cast<u8*>(data)[i] = static_cast<u8>(i * 7 + 3);
    }
    bool Intact() const
    {
        for (u32 i = 0; i < bytes; i++) {
            if (static_cast<const u8*>(data)[i] != static_cast<u8>(i * 7 + 3))
                return false;
        }
        return true;
    }
    int operator()(void* to) override
    {
        calls++;
        seenOld = data;
        memmove(to, data, bytes);
        return 0;
    }

    u32 bytes;
    int calls = 0;
    void* seenOld = nullptr;
};

TEST(Defragment, MovesBlockIntoFreeBlockAbove)
{
    auto lh = std::make_unique<LocalHeap<64 * 1024>>();
    Malloc& heap = lh->heap;
    MallocRec* hole = heap.AllocMR(2048, 16);
    heap.AllocMR(64, 16);
    MallocRec* b = heap.AllocMR(1024, 16);
    heap.AllocMR(64, 16);
    Buffer buf(b);
    heap.callbacks.Add(&buf);
    heap.Free(hole);
    void* old = buf.data;

    heap.Defragment();
    EXPECT_EQ(buf.calls, 1);
    EXPECT_EQ(buf.seenOld, old);   // the owner saw the old address while copying
    EXPECT_EQ(A(buf.data) - 8 + 1024, A(hole) + 2048);   // packed against the top
    EXPECT_TRUE(heap.IsAllocated(buf.data));
    EXPECT_FALSE(heap.IsAllocated(old));
    EXPECT_TRUE(buf.Intact());
    EXPECT_EQ(CheckHeap(heap), 2048u);   // the hole's rest and the old place
}

TEST(Defragment, SlidesBlockUpKeepingItsFirstBytes)
{
    auto lh = std::make_unique<LocalHeap<64 * 1024>>();
    Malloc& heap = lh->heap;
    heap.AllocMR(64, 16);
    MallocRec* hole = heap.AllocMR(256, 16);
    MallocRec* b = heap.AllocMR(4096, 16);   // too big for the hole, just below it
    heap.AllocMR(64, 16);
    Buffer buf(b);
    heap.callbacks.Add(&buf);
    heap.Free(hole);
    void* old = buf.data;

    heap.Defragment();
    EXPECT_EQ(buf.calls, 1);
    EXPECT_EQ(A(buf.data), A(old) + 256);
    EXPECT_TRUE(buf.Intact());   // the first 8 bytes too: no list link landed on them
    u32 biggest = 0;
    EXPECT_EQ(heap.TotalFree(&biggest), 256u);
    EXPECT_EQ(A(heap.free_hi.next_free), A(b));   // the vacated bottom is the free block
    CheckHeap(heap);
}

TEST(Defragment, PicksTheBlockThatFitsBest)
{
    auto lh = std::make_unique<LocalHeap<64 * 1024>>();
    Malloc& heap = lh->heap;
    MallocRec* hole = heap.AllocMR(2048, 16);
    heap.AllocMR(64, 16);
    MallocRec* big = heap.AllocMR(1984, 16);
    heap.AllocMR(64, 16);
    MallocRec* small = heap.AllocMR(1024, 16);
    heap.AllocMR(64, 16);
    Buffer bigBuf(big), smallBuf(small);
    heap.callbacks.Add(&smallBuf);
    heap.callbacks.Add(&bigBuf);
    heap.Free(hole);

    heap.Defragment();
    // The closer fit fills the top hole; the other then fills the place it left.
    EXPECT_EQ(A(bigBuf.data) - 8 + 1984, A(hole) + 2048);
    EXPECT_EQ(A(smallBuf.data) - 8 + 1024, A(big) + 1984);
    EXPECT_TRUE(bigBuf.Intact());
    EXPECT_TRUE(smallBuf.Intact());
    CheckHeap(heap);
}

TEST(Defragment, GameHeapRegistryAddsAndRemoves)
{
    void* p = malloc(256);
    ASSERT_NE(p, nullptr);
    Buffer buf(Header(p));
    Add(&buf);
    EXPECT_EQ(mal.callbacks.First(), &buf);
    Remove(&buf);
    EXPECT_NE(mal.callbacks.First(), &buf);
    u32 before = TotalFree();
    DefragmentMemory();   // nothing registered: nothing moves
    EXPECT_EQ(buf.data, p);
    EXPECT_EQ(TotalFree(), before);
    free(p);
    CheckHeap(mal);
}

}  // namespace
