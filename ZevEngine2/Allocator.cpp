// The game's heap and size-class pools.
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

Malloc mal;
FixedAllocator SmallAllocator::allocators1[16];
FixedAllocator SmallAllocator::allocators16[64];

namespace {

// A block must be able to hold its free-list links once it is freed.
constexpr u32 kMinBlock = sizeof(MallocRec);
// Best fit settles for the first block that wastes less than this.
constexpr s32 kGoodEnoughSlack = 8192;
// Larger requests can never be met and would wrap the size arithmetic.
constexpr u32 kMaxRequest = 0x40000000u;
// Data alignment of malloc, calloc and the pool chunks.
constexpr u32 kAlign = 16;
// Largest size class: allocators16 has 64 entries.
constexpr u32 kMaxSmall = 1008;

inline uintptr_t Addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }
inline MallocRec* Rec(uintptr_t a) { return reinterpret_cast<MallocRec*>(a); }
inline void* Data(MallocRec* m) { return reinterpret_cast<u8*>(m) + 8; }
inline u32 SizeOf(const MallocRec* m) { return m->size & MALLOC_SIZEMASK; }
inline bool InUse(const MallocRec* m) { return (m->size & MALLOC_INUSE) != 0; }
inline MallocRec* Below(const MallocRec* m) { return Rec(Addr(m) - m->prev_size); }
inline MallocRec* Above(const MallocRec* m) { return Rec(Addr(m) + SizeOf(m)); }
inline bool IsPow2(uintptr_t x) { return x != 0 && (x & (x - 1)) == 0; }

// Bytes needed to round the block's data address up to align.
inline u32 DataPad(const MallocRec* m, u32 align)
{
    uintptr_t d = Addr(m) + 8;
    return static_cast<u32>(((d + align - 1) & ~uintptr_t(align - 1)) - d);
}

// Header address of a block of size bytes carved from the top of m so that
// its data is aligned.
inline uintptr_t TopHeader(const MallocRec* m, u32 size, u32 align)
{
    uintptr_t top = Addr(m) + SizeOf(m);
    return ((top - size + 8) & ~uintptr_t(align - 1)) - 8;
}

// Under AddressSanitizer the heap tells the sanitizer which of its bytes may
// be touched, so that a use of a freed block is reported.  The 8-byte header
// of every block stays addressable; the data of a used block is addressable;
// a free block keeps its two list words addressable and the rest poisoned.  A
// free pool block keeps its first byte (the next free index) addressable and
// the rest poisoned.  The sanitizer tracks 8-byte granules, so a poisoned
// range that shares a granule with addressable bytes is poisoned only as far
// as it can be; nothing outside the range is ever poisoned.
#if defined(__SANITIZE_ADDRESS__)
inline void Poison(uintptr_t begin, uintptr_t end)
{
    if (end > begin)
        ASAN_POISON_MEMORY_REGION(reinterpret_cast<void*>(begin), end - begin);
}
inline void Unpoison(uintptr_t begin, uintptr_t end)
{
    if (end > begin)
        ASAN_UNPOISON_MEMORY_REGION(reinterpret_cast<void*>(begin), end - begin);
}
inline bool Poisoned(uintptr_t begin, size_t size)
{
    return __asan_region_is_poisoned(reinterpret_cast<void*>(begin), size) != nullptr;
}
#else
inline void Poison(uintptr_t, uintptr_t) {}
inline void Unpoison(uintptr_t, uintptr_t) {}
inline bool Poisoned(uintptr_t, size_t) { return false; }
#endif

// Set after a pool failed to get a chunk, so that a run of failures prints
// one message; cleared when a chunk is allocated again.
bool gReportedNoChunk = false;

}  // namespace

// ---------------------------------------------------------------------------
// Set-up

void Malloc::Init(void* _start, void* _end)
{
    callbacks.Clear();
    free_lo = MallocRec{};
    free_hi = MallocRec{};
    nomansland = start = end = nullptr;

    uintptr_t s = Addr(_start) & ~uintptr_t(3);
    uintptr_t e = Addr(_end) & ~uintptr_t(3);
    // The start block, one free block and the end marker must fit, and every
    // size must fit the header's 31 bits.
    if (e < s + 16 + kMinBlock + 8 || e - s > MALLOC_SIZEMASK)
        return;
    Unpoison(s, e);   // the region may have held an earlier heap
    e -= 8;

    start = Rec(s);
    start->prev_size = 0;
    start->size = 16 | MALLOC_INUSE;

    MallocRec* m = Rec(s + 16);
    m->prev_size = 16;
    m->size = static_cast<u32>(e - (s + 16));
    m->next_free = m->prev_free = nullptr;

    end = Rec(e);
    end->prev_size = m->size;
    end->size = MALLOC_INUSE;

    nomansland = m;
    Poison(Addr(m) + 16, e);
}

// ---------------------------------------------------------------------------
// Free lists

void Malloc::Unlink(MallocRec* m)
{
    m->prev_free->next_free = m->next_free;
    if (m->next_free)
        m->next_free->prev_free = m->prev_free;
}

void Malloc::PushFront(MallocRec* list, MallocRec* m)
{
    m->next_free = list->next_free;
    m->prev_free = list;
    if (list->next_free)
        list->next_free->prev_free = m;
    list->next_free = m;
}

// Puts now in the place old had: on old's list, or as the middle block.  The
// caller passes old's links, since now's header may already overlay them.
static void TakePlace(Malloc& heap, bool wasMiddle, MallocRec* next, MallocRec* prev, MallocRec* now)
{
    if (wasMiddle) {
        heap.nomansland = now;
        now->next_free = now->prev_free = nullptr;
        return;
    }
    now->next_free = next;
    now->prev_free = prev;
    prev->next_free = now;
    if (next)
        next->prev_free = now;
}

void Malloc::Replace(MallocRec* old, MallocRec* now)
{
    TakePlace(*this, old == nomansland, old->next_free, old->prev_free, now);
}

// ---------------------------------------------------------------------------
// Top-end allocation

MallocRec* Malloc::AllocMR(u32 size)
{
    return AllocMR(size, 1);
}

MallocRec* Malloc::AllocMR(u32 size, u32 align)
{
    if (!nomansland || size > kMaxRequest || !IsPow2(align) || align > kMaxRequest)
        return nullptr;
    size = std::max(size, kMinBlock);

    MallocRec* best = nullptr;
    s64 bestSlack = 0x7FFFFFFF;
    for (MallocRec* b = free_hi.next_free; b; b = b->next_free) {
        s64 slack = s64(b->size) - DataPad(b, align) - size;
        if (slack < 0)
            continue;
        if (slack < bestSlack) {
            best = b;
            bestSlack = slack;
            if (slack < kGoodEnoughSlack)
                break;
        }
    }
    if (!best) {
        MallocRec* m = nomansland;
        if (InUse(m) || s64(m->size) - DataPad(m, align) < size)
            return nullptr;
        best = m;
    }
    return Carve(best, size, align);
}

// Allocates size bytes (header included) from the top of the free block m,
// which must have room for them with the data aligned.
MallocRec* Malloc::Carve(MallocRec* m, u32 size, u32 align)
{
    uintptr_t top = Addr(m) + SizeOf(m);
    MallocRec* n = Rec(TopHeader(m, size, align));
    u32 c = static_cast<u32>(top - Addr(n));   // size plus the padding after the data
    u32 remaining = SizeOf(m) - c;
    // The new block, and the rest of m when the block below absorbs it.
    Unpoison(remaining < kMinBlock ? Addr(m) : Addr(n), top);

    if (remaining == 0) {
        // All of m.  When m is the middle block it stays the boundary between
        // the regions, now a used block.
        if (m != nomansland)
            Unlink(m);
        m->size = c | MALLOC_INUSE;
        return m;
    }
    if (remaining < kMinBlock) {
        // Too little is left for a free block: the used block below takes it.
        MallocRec* below = Below(m);
        below->size += remaining;
        if (m == nomansland)
            nomansland = n;
        else
            Unlink(m);
        n->prev_size = SizeOf(below);
    } else {
        m->size = remaining;
        n->prev_size = remaining;
    }
    n->size = c | MALLOC_INUSE;
    Rec(top)->prev_size = c;
    return n;
}

// ---------------------------------------------------------------------------
// Bottom-end allocation

MallocRec* Malloc::AllocMRlow(u32 size, u32 align)
{
    if (!nomansland || size > kMaxRequest || !IsPow2(align) || align > kMaxRequest)
        return nullptr;
    size = std::max(size, kMinBlock);

    MallocRec* m = nullptr;
    for (MallocRec* b = free_lo.next_free; b; b = b->next_free) {
        if (s64(b->size) - DataPad(b, align) >= size) {
            m = b;
            break;
        }
    }
    if (!m) {
        MallocRec* mid = nomansland;
        u32 pad = DataPad(mid, align);
        if (InUse(mid) || s64(mid->size) - pad < size)
            return nullptr;
        u32 take = size + pad;
        m = mid;
        if (mid->size - take >= kMinBlock) {
            // The lowest bytes of the middle block become a free block of the
            // low region; the middle block starts after it.
            MallocRec* rest = Rec(Addr(mid) + take);
            Unpoison(Addr(rest), Addr(rest) + 16);
            rest->prev_size = take;
            rest->size = mid->size - take;
            rest->next_free = rest->prev_free = nullptr;
            Above(rest)->prev_size = rest->size;
            nomansland = rest;
            m->size = take;
            PushFront(&free_lo, m);
        }
        // Otherwise the whole middle block is used.
    }
    return TakeLow(m, size, align);
}

// Allocates size bytes from the bottom of the free block m.
MallocRec* Malloc::TakeLow(MallocRec* m, u32 size, u32 align)
{
    u32 pad = DataPad(m, align);
    if (pad) {
        // Move m up so its data is aligned; the used block below takes the
        // padding.
        bool wasMiddle = (m == nomansland);
        MallocRec* next = m->next_free;
        MallocRec* prev = m->prev_free;
        u32 msize = m->size - pad;
        MallocRec* below = Below(m);
        below->size += pad;
        MallocRec* moved = Rec(Addr(m) + pad);
        Unpoison(Addr(moved), Addr(moved) + 16);
        moved->prev_size = SizeOf(below);
        moved->size = msize;
        TakePlace(*this, wasMiddle, next, prev, moved);
        Above(moved)->prev_size = msize;
        m = moved;
    }
    if (m->size - size < kMinBlock) {
        Unpoison(Addr(m), Addr(m) + m->size);
        if (m != nomansland)
            Unlink(m);
        m->size |= MALLOC_INUSE;
    } else {
        // The block's data and the header and links of the rest.
        Unpoison(Addr(m), Addr(m) + size + 16);
        MallocRec* rest = Rec(Addr(m) + size);
        rest->prev_size = size;
        rest->size = m->size - size;
        Replace(m, rest);
        Above(rest)->prev_size = rest->size;
        m->size = size | MALLOC_INUSE;
    }
    return m;
}

// ---------------------------------------------------------------------------
// Release

void Malloc::Free(MallocRec* m)
{
    bool middle = (m == nomansland);
    m->size &= MALLOC_SIZEMASK;
    // What becomes poisoned: the block's data past the list words, its
    // header too when it merges into the block below, and the header and
    // links of a free block above that merges into it.
    uintptr_t poisonFrom = Addr(m) + 16;
    uintptr_t poisonTo = Addr(m) + m->size;

    MallocRec* below = Below(m);
    if (!InUse(below)) {
        if (below == nomansland)
            middle = true;
        else
            Unlink(below);
        below->size += m->size;
        poisonFrom = Addr(m);
        m = below;
    }
    MallocRec* above = Above(m);
    if (above == nomansland)
        middle = true;   // also when the middle is a used block: m is the boundary now
    if (!InUse(above)) {
        if (above != nomansland)
            Unlink(above);
        m->size += above->size;
        poisonTo = Addr(above) + 16;
    }
    Above(m)->prev_size = m->size;
    Poison(poisonFrom, poisonTo);

    if (middle) {
        nomansland = m;
        m->next_free = m->prev_free = nullptr;
    } else {
        PushFront(Addr(m) < Addr(nomansland) ? &free_lo : &free_hi, m);
    }
}

bool Malloc::IsAllocated(const void* p) const
{
    if (!nomansland || Addr(p) < 8)
        return false;
    uintptr_t a = Addr(p) - 8;
    if (a < Addr(start) + 16 || a >= Addr(end) || (a & 3) != 0)
        return false;
    // A used block's header is never poisoned: a poisoned word is no header.
    if (Poisoned(a, 8))
        return false;
    const MallocRec* m = Rec(a);
    u32 size = SizeOf(m);
    return InUse(m) && size >= kMinBlock && size <= Addr(end) - a && !Poisoned(a + size, 8) &&
           Above(m)->prev_size == size;
}

u32 Malloc::TotalFree(u32* biggest) const
{
    u32 total = 0;
    u32 big = 0;
    for (const MallocRec* list : {&free_lo, &free_hi}) {
        for (const MallocRec* b = list->next_free; b; b = b->next_free) {
            total += b->size;
            big = std::max(big, b->size);
        }
    }
    if (biggest)
        *biggest = big;
    return total;
}

// ---------------------------------------------------------------------------
// Defragmentation

void Malloc::Defragment()
{
    if (!nomansland)
        return;
    MallocRec* cur = Below(end);
    while (Addr(cur) > Addr(nomansland)) {
        MallocRec* next;
        if (InUse(cur) || !DefragmentInto(cur, &next))
            next = Below(cur);
        cur = next;
    }
}

// Fills the free block f (above the middle) with a movable block from below
// it; on success *next is the block where the downward walk goes on.
bool Malloc::DefragmentInto(MallocRec* f, MallocRec** next)
{
    u32 fsize = f->size;
    MovableMemory* best = nullptr;
    u32 bestSlack = fsize;
    MovableMemory* adjacent = nullptr;
    for (Callback* c = callbacks.First(); c; c = c->next) {
        MovableMemory* mm = static_cast<MovableMemory*>(c);
        if (!IsAllocated(mm->data))
            continue;
        MallocRec* b = Rec(Addr(mm->data) - 8);
        if (Addr(b) > Addr(f))
            continue;
        u32 bsize = SizeOf(b);
        if (Addr(b) + bsize == Addr(f))
            adjacent = mm;
        u32 need = static_cast<u32>(Addr(f) + fsize - TopHeader(f, bsize, kAlign));
        if (need <= fsize && fsize - need < bestSlack) {
            best = mm;
            bestSlack = fsize - need;
        }
    }

    if (best) {
        // Copy the block into the top of f, then release its old place.
        MallocRec* b = Rec(Addr(best->data) - 8);
        MallocRec* n = Carve(f, SizeOf(b), kAlign);
        void* to = Data(n);
        (*best)(to);
        best->data = to;
        Free(b);
        *next = Below(n);
        return true;
    }

    if (adjacent) {
        // Slide the block below f up to f's top.  The owner moves its
        // contents first; only then are the headers rewritten and the low
        // part released, so no list link lands on data not yet moved.
        MallocRec* b = Rec(Addr(adjacent->data) - 8);
        u32 bsize = SizeOf(b);
        uintptr_t top = Addr(f) + fsize;
        uintptr_t h = ((top - bsize + 8) & ~uintptr_t(kAlign - 1)) - 8;
        if (h < Addr(b) + kMinBlock)
            return false;   // the slide would leave no room for a free block
        u32 c = static_cast<u32>(top - h);
        u32 r = static_cast<u32>(h - Addr(b));
        Unlink(f);
        Unpoison(Addr(f), top);
        void* to = reinterpret_cast<void*>(h + 8);
        (*adjacent)(to);
        adjacent->data = to;
        MallocRec* n = Rec(h);
        n->prev_size = r;
        n->size = c | MALLOC_INUSE;
        Rec(top)->prev_size = c;
        b->size = r | MALLOC_INUSE;
        Free(b);
        *next = Below(n);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The C entry points

// Builds the heap over the arena before any ordinary static initialiser runs
// (the arena itself is mapped at priority 101), so initialisers in every
// module can allocate.
__attribute__((constructor(102))) static void InitHeap()
{
    mal.Init(ee_heap_arena_begin(), ee_heap_arena_end());
    for (FixedAllocator& a : SmallAllocator::allocators1)
        a = FixedAllocator{};
    for (FixedAllocator& a : SmallAllocator::allocators16)
        a = FixedAllocator{};
}

u32 Malloc::AdjustSize(u32 size)
{
    if (size == 0 || size > kMaxRequest)
        return 0;
    return (size + 11) & ~3u;
}

u32 Malloc::AdjustTotal(u32 num, u32 size)
{
    u64 total = u64(num) * size;
    if (total > kMaxRequest)
        return 0;
    return static_cast<u32>((total + 15) & ~u64(15)) + 8;
}

void* Malloc::Alloc(u32 size, u32 align)
{
    u32 block = AdjustSize(size);
    if (block == 0 || !IsPow2(align) || align > kMaxRequest)
        return nullptr;
    MallocRec* m = AllocMR(block, align);
    return m ? Data(m) : nullptr;
}

void* Malloc::AllocLow(u32 size)
{
    u32 block = AdjustTotal(1, size);
    MallocRec* m = block ? AllocMRlow(block, kAlign) : nullptr;
    return m ? Data(m) : nullptr;
}

bool Malloc::ValidateFree() const
{
    if (!nomansland)
        return free_lo.next_free == nullptr && free_hi.next_free == nullptr;
    const u32 maxBlocks = static_cast<u32>((Addr(end) - Addr(start)) / kMinBlock);
    for (const MallocRec* list : {&free_lo, &free_hi}) {
        const bool low = list == &free_lo;
        const MallocRec* prev = list;
        u32 n = 0;
        for (const MallocRec* b = list->next_free; b; prev = b, b = b->next_free) {
            if (++n > maxBlocks)
                return false;   // the list runs in a circle
            uintptr_t a = Addr(b);
            if (a < Addr(start) + 16 || a >= Addr(end))
                return false;
            if (low ? a >= Addr(nomansland) : a <= Addr(nomansland))
                return false;
            u32 size = b->size;   // no in-use bit on a free block
            if (size < kMinBlock || size > Addr(end) - a || b->prev_free != prev ||
                b->prev_size < kMinBlock || b->prev_size > a - Addr(start))
                return false;
            // Free neighbours are merged, except the middle block, which a
            // bottom-end allocation may leave touching a listed block.
            const MallocRec* above = Above(b);
            const MallocRec* below = Below(b);
            if (above->prev_size != size || (!InUse(above) && above != nomansland) ||
                (!InUse(below) && below != nomansland))
                return false;
        }
    }
    return true;
}

void* malloc(size_t size)
{
    if (size > kMaxRequest)
        return nullptr;
    return mal.Alloc(static_cast<u32>(size), kAlign);
}

void* malloc_align(size_t size, size_t align)
{
    if (size == 0 || size > kMaxRequest)
        return nullptr;
    if (!IsPow2(align) || align > kMaxRequest) {
        printf("malloc_align: alignment %u is not a power of two\n", unsigned(align));
        return nullptr;
    }
    u32 rounded = static_cast<u32>((size + align - 1) & ~(align - 1));
    return mal.Alloc(rounded, static_cast<u32>(align));
}

void* calloc(size_t num, size_t size)
{
    if (u64(num) * size > kMaxRequest)
        return nullptr;
    u32 s = static_cast<u32>(u64(num) * size);
    void* p = mal.AllocLow(s);
    if (p)
        memset(p, 0, (s + 15) & ~15u);
    return p;
}

void free(void* p)
{
    if (!p)
        return;
    if (!mal.IsAllocated(p)) {
        printf("free: 0x%08X is not an allocated heap block\n", unsigned(Addr(p)));
        return;
    }
    mal.Free(Rec(Addr(p) - 8));
}

unsigned TotalFree(unsigned* biggest, void** /*ppvBiggest*/)
{
    return mal.TotalFree(biggest);
}

unsigned TotalHeapFree()
{
    u32 total = mal.TotalFree(nullptr);
    const MallocRec* middle = mal.nomansland;
    if (middle != nullptr && !(middle->size & MALLOC_INUSE))
        total += middle->size & MALLOC_SIZEMASK;
    return total;
}

void Add(MovableMemory* mm)
{
    mal.callbacks.Add(mm);
}

void Remove(MovableMemory* mm)
{
    mal.callbacks.Remove(mm);
}

void DefragmentMemory()
{
    mal.Defragment();
}

// ---------------------------------------------------------------------------
// Pools

MemChunk* FixedAllocator::NewChunk(u32 size)
{
    MallocRec* m = nullptr;
    if (size > 0 && size <= (kMaxRequest - 8) / 256)
        m = mal.AllocMRlow(256 * size + 8, kAlign);
    if (!m) {
        if (!gReportedNoChunk)
            printf("FixedAllocator: no memory for a chunk of %u-byte blocks\n", size);
        gReportedNoChunk = true;
        return nullptr;
    }
    gReportedNoChunk = false;

    MemChunk* c = static_cast<MemChunk*>(Data(m));
    u8* base = reinterpret_cast<u8*>(c);
    u32 i0 = (size + 5) / size;
    for (u32 i = i0; i < 256; i++) {
        base[i * size] = static_cast<u8>(i == 255 ? 0 : i + 1);
        Poison(Addr(base) + i * size + 1, Addr(base) + (i + 1) * size);
    }
    c->first = static_cast<u8>(i0);
    c->count = 0;
    c->next = first;
    first = c;
    return c;
}

void* FixedAllocator::Alloc(u32 size)
{
    if (size == 0)
        return nullptr;
    MemChunk* c = lastAlloc;
    if (!c || !c->first) {
        for (c = first; c && !c->first; c = c->next) {
        }
        if (!c)
            c = NewChunk(size);
        if (!c)
            return nullptr;
        lastAlloc = c;
    }
    u8* p = reinterpret_cast<u8*>(c) + c->first * size;
    c->first = *p;
    c->count++;
    Unpoison(Addr(p), Addr(p) + size);
    return p;
}

void FixedAllocator::Free(void* p, u32 size)
{
    if (!p || size == 0)
        return;
    uintptr_t span = uintptr_t(256) * size;
    auto holds = [&](const MemChunk* c) { return Addr(p) >= Addr(c) && Addr(p) - Addr(c) < span; };

    MemChunk* c = lastFree;
    if (!c || !holds(c)) {
        for (c = first; c && !holds(c); c = c->next) {
        }
        if (c)
            lastFree = c;
    }
    uintptr_t off = c ? Addr(p) - Addr(c) : 0;
    if (!c || off % size != 0 || off / size < (size + 5) / size || c->count == 0) {
        printf("FixedAllocator: 0x%08X is not a used %u-byte pool block\n", unsigned(Addr(p)), size);
        return;
    }

    *static_cast<u8*>(p) = c->first;
    Poison(Addr(p) + 1, Addr(p) + size);
    c->first = static_cast<u8>(off / size);
    if (--c->count == 0) {
        // Give the empty chunk back to the heap at once.
        for (MemChunk** link = &first; *link; link = &(*link)->next) {
            if (*link == c) {
                *link = c->next;
                break;
            }
        }
        if (lastAlloc == c)
            lastAlloc = nullptr;
        lastFree = nullptr;
        // The heap block goes back whole, its data addressable as for any
        // used block.
        Unpoison(Addr(c), Addr(c) + span);
        mal.Free(Rec(Addr(c) - 8));
    }
}

void FixedAllocator::PreAllocate(u32 size, int n)
{
    if (n <= 0 || size == 0)
        return;
    u32 per = BlocksPerChunk(size);
    for (u32 k = (u32(n) + per - 1) / per; k > 0; k--) {
        if (!NewChunk(size))
            return;
    }
}

// The pool for size and the block size it serves; null for sizes outside
// 1..1008.
static FixedAllocator* PoolFor(u32 size, u32* blockSize)
{
    if (size == 0 || size > kMaxSmall)
        return nullptr;
    if (size >= 16) {
        *blockSize = (size + 15) & ~15u;
        return &SmallAllocator::allocators16[(size + 15) / 16];
    }
    *blockSize = size;
    return &SmallAllocator::allocators1[size];
}

static void ReportSize(const char* what, u32 size)
{
    printf("SmallAllocator::%s: no pool for %u-byte blocks\n", what, size);
}

void* SmallAllocator::Alloc(u32 size)
{
    u32 bs;
    FixedAllocator* a = PoolFor(size, &bs);
    if (!a) {
        ReportSize("Alloc", size);
        return nullptr;
    }
    return a->Alloc(bs);
}

void SmallAllocator::Free(void* p, u32 size)
{
    u32 bs;
    FixedAllocator* a = PoolFor(size, &bs);
    if (!a) {
        if (p)
            ReportSize("Free", size);
        return;
    }
    a->Free(p, bs);
}

void SmallAllocator::PreAllocate(u32 size, int n)
{
    u32 bs;
    FixedAllocator* a = PoolFor(size, &bs);
    if (!a) {
        ReportSize("PreAllocate", size);
        return;
    }
    a->PreAllocate(bs, n);
}

void* SmallAllocator::Alloc1(u32 size)
{
    if (size == 0 || size >= 16) {
        ReportSize("Alloc1", size);
        return nullptr;
    }
    return allocators1[size].Alloc(size);
}

void SmallAllocator::Free1(void* p, u32 size)
{
    if (size == 0 || size >= 16) {
        if (p)
            ReportSize("Free1", size);
        return;
    }
    allocators1[size].Free(p, size);
}

void* SmallAllocator::Alloc16(u32 size)
{
    if (size == 0 || size > kMaxSmall || size % 16 != 0) {
        ReportSize("Alloc16", size);
        return nullptr;
    }
    return allocators16[size / 16].Alloc(size);
}

void SmallAllocator::Free16(void* p, u32 size)
{
    if (size == 0 || size > kMaxSmall || size % 16 != 0) {
        if (p)
            ReportSize("Free16", size);
        return;
    }
    allocators16[size / 16].Free(p, size);
}

void* small_malloc(u32 size)
{
    return SmallAllocator::Alloc(size);
}

void small_free(void* p, u32 size)
{
    SmallAllocator::Free(p, size);
}
