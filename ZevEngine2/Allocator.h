// The game's memory: one boundary-tag heap over all free main memory, and the
// size-class pools that serve small fixed-size records.
//
// The heap is allocated from both ends toward a free middle block: malloc and
// malloc_align take best-fit blocks from the top, calloc and the pool chunks
// take first-fit blocks from the bottom, so long-lived objects and pool chunks
// gather low while buffers come and go high.  Data pointers are 16-byte
// aligned.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Callback.h"

// The header of every heap block.  The data pointer handed out is the header's
// address + 8; the two list words exist only while the block is free and then
// overlay its first 8 data bytes.  A block is never smaller than this record,
// so that it can always be freed.
struct MallocRec {
    u32 prev_size;          // +0  size of the block just below
    u32 size;               // +4  bits 0..30 size incl. header; bit 31 in use
    MallocRec* next_free;   // +8  next block of the same free list
    MallocRec* prev_free;   // +12 previous block of the same list, or its sentinel
};
static_assert(sizeof(MallocRec) == 16, "heap block header layout");
static_assert(offsetof(MallocRec, next_free) == 8, "free-list links follow the 8-byte header");

constexpr u32 MALLOC_INUSE = 0x80000000u;
constexpr u32 MALLOC_SIZEMASK = 0x7FFFFFFFu;

// A heap block whose owner can follow it when the defragmenter moves it.  The
// defragmenter calls operator() with the block's new data address while data
// still holds the old one (the owner copies its contents, with memmove since
// the two may overlap, and fixes its pointers); then data is set to the new
// address.
class MovableMemory : public Callback {
public:
    void* data = nullptr;
};

// The boundary-tag heap.  Blocks tile the memory from start to end; two free
// blocks are never neighbours; a free block lies on free_lo below the middle
// block and on free_hi above it; the middle block is on neither.  When an
// allocation uses the whole middle block, nomansland designates that used
// block until it or a neighbour is freed: it then only marks the boundary
// between the two regions and is never carved from or counted.
class Malloc {
public:
    Callbacks callbacks;            // registered movable blocks (MovableMemory)
    MallocRec free_lo{};            // sentinel of the free blocks below the middle
    MallocRec free_hi{};            // sentinel of the free blocks above the middle
    MallocRec* nomansland = nullptr;   // the middle block
    MallocRec* start = nullptr;     // first block: 16 bytes, in use
    MallocRec* end = nullptr;       // end marker: in use, prev_size closes the last block

    // Builds an empty heap over [_start, _end).  A region too small to hold a
    // heap leaves it unbuilt: every allocation then fails.
    void Init(void* _start, void* _end);

    // Best fit from the top region (or the top of the middle block); size
    // counts the 8-byte header.  The data of the block is aligned to align (a
    // power of two).  Null when nothing fits.
    MallocRec* AllocMR(u32 size);
    MallocRec* AllocMR(u32 size, u32 align);

    // First fit from the bottom region (or the bottom of the middle block).
    MallocRec* AllocMRlow(u32 size, u32 align);

    // Releases a block, merging it with free neighbours.
    void Free(MallocRec* m);

    // The sum of the sizes of the blocks on both free lists (the middle block
    // is not counted) and, when biggest is given, the largest of them.
    u32 TotalFree(u32* biggest) const;

    // Packs the top region toward the top by moving registered movable
    // blocks into free blocks above them.
    void Defragment();

    // True when p is the data pointer of a block of this heap that is in use.
    bool IsAllocated(const void* p) const;

    // Block size, header included, of a top-end request for size data bytes:
    // the 8-byte header added and the sum rounded up to whole words.  0 for
    // none or more than 1 GiB, which can never be met.
    static u32 AdjustSize(u32 size);
    // Block size of a zero-filled request for num records of size bytes: the
    // data rounded up to 16 bytes, then the header.  0 past 1 GiB.
    static u32 AdjustTotal(u32 num, u32 size);
    // The data of a new top-end block of at least size bytes aligned to
    // align (a power of two): what malloc and malloc_align hand out.  Null
    // for size 0 or when nothing fits.
    void* Alloc(u32 size, u32 align = 16);
    // The data of a new bottom-end block of at least size bytes, 16-byte
    // aligned and not cleared: calloc without the zeroes.  Null when nothing
    // fits; a valid block for size 0.
    void* AllocLow(u32 size);
    // Checks both free lists against the boundary tags: every listed block
    // lies inside the heap on its own side of the middle block, is free, is
    // closed by the next block's prev_size, has no free neighbour but the
    // middle block and links back to the block before it; each list
    // ends within the number of blocks the heap can hold.  False at the first
    // fault.
    bool ValidateFree() const;

private:
    MallocRec* Carve(MallocRec* m, u32 size, u32 align);
    MallocRec* TakeLow(MallocRec* m, u32 size, u32 align);
    void Unlink(MallocRec* m);
    void PushFront(MallocRec* list, MallocRec* m);
    void Replace(MallocRec* old, MallocRec* now);
    bool DefragmentInto(MallocRec* f, MallocRec** next);
};

extern Malloc mal;

// The C entry points of the game's heap (link names zev_malloc etc., see Zev.h).
void* malloc(size_t size);                      // null for 0; 16-byte aligned
void* malloc_align(size_t size, size_t align);  // align a power of two; null for size 0
void* calloc(size_t num, size_t size);          // zero-filled, from the bottom; never null for 0 bytes
void free(void* p);                             // null is ignored

// Free bytes of the heap's free lists (the middle block excluded) and, when
// biggest is given, the largest free block.  ppvBiggest is not written.
unsigned TotalFree(unsigned* biggest = nullptr, void** ppvBiggest = nullptr);
// Every free byte of the heap: the free lists and the middle block.  Where
// a block was freed decides whether it joins a list or the middle block, so
// only this total compares between runs that load the same data in
// different orders or sizes.
unsigned TotalHeapFree();

// Movable blocks: register and withdraw a descriptor whose data is a heap
// block.  Nothing in the game runs the defragmenter.
void Add(MovableMemory* mm);
void Remove(MovableMemory* mm);
void DefragmentMemory();

// A chunk of a pool of size-s blocks: 256 × s bytes, block i at the chunk's
// address + i × s.  The blocks overlapping this 6-byte header are never used:
// the first usable index is (s + 5) / s.  A free block's first byte holds the
// index of the next free block; 0 ends the chain.
struct MemChunk {
    MemChunk* next;
    u8 first;     // first free block, 0 = none
    u8 count;     // blocks in use
    u8 data[2];   // the blocks start here (the array only marks the offset)
};
static_assert(offsetof(MemChunk, first) == 4 && offsetof(MemChunk, count) == 5, "pool chunk header");
static_assert(offsetof(MemChunk, data) == 6, "pool chunk header is 6 bytes");

// One size class: a list of chunks of blocks of one size.  A chunk is taken
// from the bottom of the heap when every chunk is full and given back as soon
// as its last block is freed.
class FixedAllocator {
public:
    MemChunk* first = nullptr;       // the chunks, newest first
    MemChunk* lastAlloc = nullptr;   // chunk that served the last allocation
    MemChunk* lastFree = nullptr;    // chunk that took the last free
    MemChunk* empty = nullptr;       // kept null

    // A block of size bytes, or null (reported once) when the heap cannot
    // give a new chunk.
    void* Alloc(u32 size);
    // Gives back p, which this allocator gave for the same size.
    void Free(void* p, u32 size);
    // Makes chunks for n blocks at once.
    void PreAllocate(u32 size, int n);

    // Usable blocks in a chunk of size-byte blocks.
    static u32 BlocksPerChunk(u32 size) { return 256 - (size + 5) / size; }

private:
    MemChunk* NewChunk(u32 size);
};
static_assert(sizeof(FixedAllocator) == 16, "pool descriptor");

// The size-class pools: exact sizes 1..15, and multiples of 16 up to 1008.
class SmallAllocator {
public:
    static FixedAllocator allocators1[16];    // index = size
    static FixedAllocator allocators16[64];   // index = size / 16

    // Sizes 1..1008; from 16 on the size is rounded up to a multiple of 16.
    // Free must be given the size given to Alloc.
    static void* Alloc(u32 size);
    static void Free(void* p, u32 size);
    static void PreAllocate(u32 size, int n);

    static void* Alloc1(u32 size);   // sizes 1..15
    static void Free1(void* p, u32 size);
    static void* Alloc16(u32 size);  // multiples of 16, 16..1008
    static void Free16(void* p, u32 size);
};

void* small_malloc(u32 size);
void small_free(void* p, u32 size);

// Gives a class pool allocation: its objects come from the size-class pool of
// their size, never from the heap's general blocks.  new yields null when the
// pool has no memory (the constructor is then not run).
template <class B>
class Small : public B {
public:
    using B::B;

    static void* operator new(size_t size) noexcept { return SmallAllocator::Alloc(size); }
    static void operator delete(void* p, size_t size) { SmallAllocator::Free(p, size); }
};
