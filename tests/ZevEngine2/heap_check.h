// Test helpers for the game's heap: an independent walk of a heap's blocks
// that checks its boundary tags and free lists against each other.
#pragma once

#include <gtest/gtest.h>

#include <set>

#include <sanitizer/asan_interface.h>

#include "ZevEngine2/Allocator.h"

namespace heaptest {

inline u32 BlockSize(const MallocRec* m) { return m->size & MALLOC_SIZEMASK; }
inline bool BlockInUse(const MallocRec* m) { return (m->size & MALLOC_INUSE) != 0; }
inline MallocRec* Header(void* data) { return reinterpret_cast<MallocRec*>(static_cast<u8*>(data) - 8); }
inline void* DataOf(MallocRec* m) { return reinterpret_cast<u8*>(m) + 8; }
inline uintptr_t A(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Checks that the blocks tile the heap from start to end with matching
// prev_size words, that no two free blocks touch, that every free block but
// the middle one is on the list of its side, and that the lists are well
// linked.  Returns the bytes on the free lists.
inline u32 CheckHeap(const Malloc& h)
{
    std::set<const MallocRec*> listed;
    u32 listedBytes = 0;
    for (const MallocRec* list : {&h.free_lo, &h.free_hi}) {
        const MallocRec* prev = list;
        for (const MallocRec* b = list->next_free; b; b = b->next_free) {
            EXPECT_EQ(b->prev_free, prev) << "broken back link at " << b;
            EXPECT_FALSE(BlockInUse(b)) << "used block on a free list at " << b;
            if (list == &h.free_lo)
                EXPECT_LT(A(b), A(h.nomansland)) << "free_lo block above the middle";
            else
                EXPECT_GT(A(b), A(h.nomansland)) << "free_hi block below the middle";
            if (!listed.insert(b).second || listed.size() > 100000) {
                ADD_FAILURE() << "free list loops";
                return listedBytes;
            }
            listedBytes += BlockSize(b);
            prev = b;
        }
    }

    size_t freeBlocks = 0;
    bool prevFree = false;
    bool middleSeen = false;
    for (const MallocRec* m = h.start; m != h.end;) {
        u32 size = BlockSize(m);
        const MallocRec* next = reinterpret_cast<const MallocRec*>(A(m) + size);
        if (size < 16 || A(next) > A(h.end)) {
            ADD_FAILURE() << "bad block size " << size << " at " << m;
            return listedBytes;
        }
        EXPECT_EQ(next->prev_size, size) << "prev_size of the block above " << m;
        bool isFree = !BlockInUse(m);
        if (isFree) {
            EXPECT_FALSE(prevFree) << "two free blocks touch at " << m;
            if (m != h.nomansland) {
                EXPECT_TRUE(listed.count(m)) << "free block not on a list at " << m;
                freeBlocks++;
            }
        }
        middleSeen |= (m == h.nomansland);
        prevFree = isFree;
        m = next;
    }
    EXPECT_TRUE(middleSeen) << "the middle block is not a block of the heap";
    EXPECT_EQ(freeBlocks, listed.size());
    return listedBytes;
}

// The game heap's free total: both free lists and the middle block, which
// TotalFree leaves out, so that a test sees every byte a run or an object
// gave back.
inline u32 GameHeapFree()
{
    return TotalHeapFree();
}

// The number of blocks of the heap in use, its start block and end marker
// left out.  Unlike the free bytes it does not depend on where a block was
// carved: a free block too small to split gives its spare bytes to the used
// block below it, and they come back only when that block goes.
inline int BlocksInUse(const Malloc& h = mal)
{
    int n = 0;
    for (const MallocRec* m = h.start; m != nullptr && m != h.end;) {
        const u32 size = BlockSize(m);
        if (size < 16)
            break;
        n += BlockInUse(m) && m != h.start ? 1 : 0;
        m = reinterpret_cast<const MallocRec*>(A(m) + size);
    }
    return n;
}

// A heap of its own over a static buffer, so tests can shape it freely
// without touching the game's heap.
template <size_t N>
struct LocalHeap {
    alignas(16) u8 arena[N];
    Malloc heap;

    LocalHeap() { heap.Init(arena, arena + N); }
    // The heap poisons its free blocks for the sanitizer; a heap on the
    // stack hands its bytes back addressable for the frames that follow.
    ~LocalHeap() { ASAN_UNPOISON_MEMORY_REGION(arena, N); }
};

}  // namespace heaptest
