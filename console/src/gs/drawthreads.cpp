#include "gs/drawthreads.h"

#include <cpuid.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <array>
#include <bitset>
#include <cstring>
#include <memory>
#include <thread>
#include <type_traits>
#include <emmintrin.h>
#include <vector>

#include "core/config.h"
#include "gs/raster.h"
#include "gs/texsample.h"

namespace console::gs {
namespace {

constexpr int kMaxThreads = 8;
// Rows per band: 2^4, two blocks of the 32- and 16-bit layouts, so that
// whole-block fills stay within one band.  Each band a triangle touches sets
// it up and finds its first row again, which costs about as much as drawing
// a few rows: shorter bands would set up most triangles more often.
constexpr u32 kBandShift = 4;
// Primitives whose bounding box has fewer pixels than this are drawn on the
// calling thread when the queue is empty: queuing one costs the sender about
// as much as drawing it.
constexpr s64 kSmallPixels = 128;
// Primitives the queue holds before the sender waits for the slowest band:
// enough for a stream of small triangles sent in screen order (a strip of
// them running along rows of one band) to reach every band.
constexpr u32 kQueueSize = 8192;
// Rooms for triangles the sender prepares (set-ups of states kept for no
// worker, which are few) and for sprites (see TriangleRoom).
constexpr u32 kTriangleRooms = 256;
constexpr u32 kSpriteRooms = 256;

// A queued sprite is prepared once by the first band that reaches it and
// drawn from that by every band (kSprite; the per-pixel path when the
// specialised pipelines leave it); a sprite reading what it writes is drawn
// whole by one band (kSpriteWhole), between fences.  A fence is queued to every band: no
// band goes past it before every band has reached it.
enum class JobKind : u8 { kSprite, kSpriteWhole, kTriangle, kVertices, kFence };
constexpr u32 kBandCount = 16;

// Whether the processor fetches a line for writing ahead of a store
// (PREFETCHW), taking it from the caches of the processors that read it
// last, where a plain prefetch leaves them a shared copy and the store still
// waits for them to give it up.
const bool g_prefetch_for_write = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(0x80000001u, &a, &b, &c, &d) != 0 && (c & bit_PRFCHW) != 0;
}();

// Sleeping and waking on a word, with no lock between the two: a sleeper
// sleeps only while the word still holds what it read before looking for
// work, and a waker changes the word first.
static_assert(sizeof(std::atomic<u32>) == sizeof(u32) && std::atomic<u32>::is_always_lock_free);

void SleepOn(std::atomic<u32>& word, u32 seen, long nanoseconds)
{
    timespec timeout{};
    timeout.tv_nsec = nanoseconds;
#ifdef SYS_futex_time64
    constexpr long kFutex = sizeof(timeout.tv_sec) == 8 ? SYS_futex_time64 : SYS_futex;
#else
    constexpr long kFutex = SYS_futex;
#endif
    syscall(kFutex, reinterpret_cast<u32*>(&word), FUTEX_WAIT_PRIVATE, seen, &timeout, nullptr, 0);
}

// Both give how many sleepers were woken.
long WakeSleepersOn(std::atomic<u32>& word, int count)
{
    return syscall(SYS_futex, reinterpret_cast<u32*>(&word), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

long Wake(std::atomic<u32>& word, int count)
{
    word.fetch_add(1, std::memory_order_seq_cst);
    return WakeSleepersOn(word, count);
}

inline void PrefetchForWrite(const void* p)
{
    if (g_prefetch_for_write)
        asm volatile("prefetchw %0" : : "m"(*static_cast<const char*>(p)));
    else
        __builtin_prefetch(p, 1);
}

// Records too large to keep for every queued primitive: a triangle prepared
// once for all the bands it touches, and a sprite's state and set-up.  The
// queue holds fewer of these than primitives; each is reused once the
// primitive that last took it is drawn (the sender keeps, apart from the
// rooms, the number of that primitive plus one: the workers write the rooms).
struct TriangleRoom {
    TriangleStateRef prepared_state;
    PreparedTriangle triangle;
};
struct SpriteRoom {
    DrawEnv env;
    SpriteSetup sprite;
    // The first band to draw the sprite prepares it here for all of them.
    enum : u32 { kUnprepared, kPreparing, kPrepared, kLeft };
    std::atomic<u32> prepared{kUnprepared};
    SpritePlanPtr plan;
};

// A queued primitive.  Triangles sent as vertices are set up and prepared by
// each band that draws them, so that the sender only finds their box and
// the workers only read the record (preparing one again costs a band less
// than fetching a plan another processor wrote);
// triangles prepared by the sender only have their rows walked; sprites
// carry their state and set-up in their room.
struct alignas(64) Job {
    JobKind kind;
    // Triangles queued as vertices right after this one to the same bands,
    // drawn with it: their own records follow this one's, and the bands
    // hold this one's number alone.
    u16 followers;
    s32 py_begin, py_end;  // rows the primitive may touch
    s32 px_begin, px_end;  // a triangle's columns, likewise
    LocalMemory* memory;
    const ClutBuffer* clut;
    // Vertices: the state (kept by the queue), the texture decoded for it
    // (likewise) and the blocks it writes.
    const DrawEnv* shared_env;
    const DecodedTexture* decoded;
    TriangleRoom* room;
    SpriteRoom* sprite_room;
    TargetBlocks targets;
    // A fence has no vertices: its entry in each band takes their place,
    // keeping the record three cache lines long.
    union Payload {
        Payload() : fence_at{} {}
        Vertex vertices[3];
        std::array<u32, kBandCount> fence_at;
    } body;
};
static_assert(sizeof(Job) == 192, "a queued primitive is three cache lines");
static_assert(std::is_trivially_copyable_v<Vertex>);

// Sets up and draws the rows of `rows` of a triangle queued as vertices.
void DrawVertices(const Job& j, const RowBands& rows)
{
    PreparedTriangle p;
    if (PrepareTriangleVertices(*j.shared_env, j.body.vertices, j.px_begin, j.px_end, j.py_begin, j.py_end, *j.memory,
                                *j.clut, j.decoded, j.targets, p)) {
        DrawPreparedTriangle(p, rows);
        return;
    }
    // Only triangles the pipelines take are queued (see raster.cpp); the
    // few whose rows need a whole set-up take one.
    TriangleSetup t;
    if (SetupTriangle(*j.shared_env, j.body.vertices[0], j.body.vertices[1], j.body.vertices[2], t) &&
        PrepareTriangle(*j.shared_env, t, *j.memory, *j.clut, j.decoded, j.targets, p, nullptr))
        DrawPreparedTriangle(p, rows);
}

// Draws the rows of `rows` of a queued sprite.  The first band to reach it
// prepares it for all, or finds that the specialised pipelines leave it to
// the per-pixel path; a band finding it being prepared elsewhere waits a
// little for it (preparing takes a few microseconds), then sets it up for
// itself.
void DrawQueuedSprite(SpriteRoom& room, LocalMemory& memory, const ClutBuffer& clut, const RowBands& rows)
{
    u32 state = room.prepared.load(std::memory_order_acquire);
    if (state == SpriteRoom::kUnprepared &&
        room.prepared.compare_exchange_strong(state, SpriteRoom::kPreparing, std::memory_order_acq_rel)) {
        if (!room.plan)
            room.plan = MakeSpritePlan();
        state = PrepareSprite(room.env, room.sprite, memory, clut, *room.plan) ? SpriteRoom::kPrepared
                                                                                : SpriteRoom::kLeft;
        room.prepared.store(state, std::memory_order_release);
    }
    constexpr int kSpins = 4096;
    for (int spin = 0; state == SpriteRoom::kPreparing && spin < kSpins; ++spin) {
        _mm_pause();
        state = room.prepared.load(std::memory_order_acquire);
    }
    if (state == SpriteRoom::kPrepared)
        DrawPreparedSprite(*room.plan, rows);
    else if (state == SpriteRoom::kLeft || !DrawSpriteSpecialised(room.env, room.sprite, memory, clut, rows))
        DrawSpriteRows(room.env, room.sprite, memory, clut, rows);
}

// One past the last row of `box` the triangle (v[0], v[1], v[2]) may cover.
// A last row lying exactly at the lowest vertex's height holds no pixel: its
// only samples in the triangle are that vertex or a level bottom edge, and
// of the edges meeting at the lowest vertex one is a level bottom edge or a
// right edge (the inside on its left), either of which drops the samples
// on it.  The band of such a row is spared the triangle.
inline s32 CoveredRowsEnd(const DrawEnv& env, const Vertex* v, const PixelBox& box)
{
    const s32 max_y = static_cast<s32>(std::max({v[0].y, v[1].y, v[2].y})) - static_cast<s32>(env.ofy);
    const bool on_row = (max_y & 15) == 0 && box.py_end == (max_y >> 4) + 1 && box.py_end - 1 > box.py_begin;
    return on_row ? box.py_end - 1 : box.py_end;
}

// ---------------------------------------------------------------------------
// Where a primitive's pixels and texels lie, in blocks.

// The largest coordinate a wrap mode gives on a level of 2^size texels.
u32 WrapLimit(u32 mode, u32 size_log2, u32 min, u32 max)
{
    switch (mode) {
    case kWrapRepeat:
    case kWrapClamp: return (1u << size_log2) - 1;
    case kWrapRegionClamp: return std::max(min, max);
    default: return min | max;
    }
}

struct Blocks {
    u32 lo = 0, hi = 0;
    bool Overlaps(const Blocks& o) const { return lo < o.hi && o.lo < hi; }
};

// The frame and Z buffer blocks of the box [px0, px1) x [py0, py1), and
// whether the rows of different bands are different memory there (see
// BlockRange).
bool WrittenBlocks(const DrawEnv& env, s32 px0, s32 px1, s32 py0, s32 py1, Blocks& frame, Blocks& depth)
{
    const u32 x0 = static_cast<u32>(px0), x1 = static_cast<u32>(px1);
    const u32 y0 = static_cast<u32>(py0), y1 = static_cast<u32>(py1);
    if (!BlockRange(env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, frame.lo, frame.hi))
        return false;
    depth = {};
    if (env.depth.used) {
        if (!BlockRange(env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, depth.lo, depth.hi))
            return false;
        if (depth.Overlaps(frame))
            return false;
    }
    return true;
}

// The blocks each mip level the texture may read can lie in; false when a
// level runs past the end of memory.
bool TextureBlocks(const TextureEnv& tex, Blocks* levels, u32& count)
{
    count = tex.mmin >= 2 ? std::min<u32>(tex.mxl, 6) + 1 : 1;
    const Layout& layout = LayoutOf(tex.psm);
    for (u32 n = 0; n < count; ++n) {
        const u32 tw = tex.tw > n ? tex.tw - n : 0, th = tex.th > n ? tex.th - n : 0;
        const u32 mu = WrapLimit(tex.wms, tw, tex.minu >> n, tex.maxu >> n);
        const u32 mv = WrapLimit(tex.wmt, th, tex.minv >> n, tex.maxv >> n);
        const u32 across = std::max<u32>(PagesAcross(layout, tex.level_tbw[n]), 1);
        const u64 end = tex.level_tbp[n] +
                        (static_cast<u64>(mv >> layout.page_shift_y) * across + (mu >> layout.page_shift_x) + 1) *
                            kPageBlocks;
        if (end > kBlockCount)
            return false;
        levels[n] = {tex.level_tbp[n], static_cast<u32>(end)};
    }
    return true;
}

// The blocks of the texels a sprite reads on each level it may use.  False
// when a level's texels do not lie in one stretch of memory (see BlockRange).
bool SpriteTextureBlocks(const DrawEnv& env, const SpriteSetup& s, Blocks* levels, u32& count)
{
    const TextureEnv& tex = env.tex;
    SpriteTexels rects[2];
    count = SpriteTexelRects(env, s, rects);
    for (u32 i = 0; i < count; ++i) {
        const SpriteTexels& r = rects[i];
        if (!BlockRange(tex.psm, tex.level_tbp[r.level], tex.level_tbw[r.level], r.x0, r.x1 + 1, r.y0, r.y1 + 1,
                        levels[i].lo, levels[i].hi))
            return false;
    }
    return true;
}

// Whether a textured sprite reads none of the blocks it writes, block by
// block: its texels then stay as they were while it is drawn, and its rows
// may be drawn in any order.  For a sprite whose texels and pixels share a
// stretch of memory, as one reading its own buffer through another layout.
bool SpriteReadsApartFromWrites(const DrawEnv& env, const SpriteSetup& s)
{
    // Every block holding a pixel of [x0, x1) x [y0, y1) goes in `set`; false
    // when there are more of them than memory has.
    auto add = [](std::bitset<kBlockCount>& set, Psm psm, u32 bp, u32 bw, u32 x0, u32 x1, u32 y0, u32 y1) {
        const Layout& layout = LayoutOf(psm);
        const u32 bx0 = x0 & ~(layout.block_width - 1u), by0 = y0 & ~(layout.block_height - 1u);
        if (static_cast<u64>((x1 - bx0 + layout.block_width - 1) / layout.block_width) *
                ((y1 - by0 + layout.block_height - 1) / layout.block_height) >
            kBlockCount)
            return false;
        for (u32 y = by0; y < y1; y += layout.block_height)
            for (u32 x = bx0; x < x1; x += layout.block_width)
                set.set(PixelBlock(layout, bp, bw, x, y));
        return true;
    };
    if (s.px_begin < 0 || s.py_begin < 0 || s.px_begin >= s.px_end || s.py_begin >= s.py_end)
        return false;
    const u32 x0 = static_cast<u32>(s.px_begin), x1 = static_cast<u32>(s.px_end);
    const u32 y0 = static_cast<u32>(s.py_begin), y1 = static_cast<u32>(s.py_end);
    std::bitset<kBlockCount> written, read;
    if (!add(written, env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1) ||
        (env.depth.used && !add(written, env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1)))
        return false;
    SpriteTexels rects[2];
    const u32 count = SpriteTexelRects(env, s, rects);
    for (u32 i = 0; i < count; ++i) {
        const SpriteTexels& r = rects[i];
        if (!add(read, env.tex.psm, env.tex.level_tbp[r.level], env.tex.level_tbw[r.level], r.x0, r.x1 + 1, r.y0,
                 r.y1 + 1))
            return false;
    }
    return (written & read).none();
}

// ---------------------------------------------------------------------------

class Queue {
public:
    explicit Queue(int workers)
        : workers_(workers), storage_(TakeStorage()), jobs_(storage_->jobs), rooms_(storage_->rooms),
          sprite_rooms_(storage_->sprite_rooms), bands_(storage_->bands)
    {
        for (int i = 0; i < workers_; ++i)
            threads_.emplace_back([this, i] { Work(i); });
    }

    ~Queue()
    {
        // The workers finish what is queued: the calling thread may be
        // leaving the process, its per-thread drawing caches already gone.
        Publish();
        while (!Idle()) {
            WakeAll();
            std::this_thread::yield();
        }
        stop_.store(true, std::memory_order_seq_cst);
        Wake(wake_word_, workers_);
        for (auto& t : threads_)
            t.join();
        // The records are kept for the next queue: the draw thread count
        // changes often in tests, and the records are megabytes.
        for (TriangleRoom& room : rooms_)
            room.prepared_state.reset();
        delete spare_;
        spare_ = storage_.release();
    }

    // True when `b` holds pages queued primitives write, through any buffer
    // (`mapping` 0), or through a buffer other than `mapping`.
    bool Dirty(const Blocks& b, u32 mapping = 0) const
    {
        if (b.hi <= b.lo)
            return false;
        for (u32 page = b.lo / kPageBlocks; page <= (b.hi - 1) / kPageBlocks && page < kPages; ++page)
            if (writer_[page] != 0 && (mapping == 0 || writer_[page] != mapping))
                return true;
        return false;
    }

    // Pages queued primitives may read as texels: a texel row may belong to
    // another band than the pixel reading it, so a write there drains first.
    bool Read(const Blocks& b) const
    {
        if (b.hi <= b.lo)
            return false;
        for (u32 page = b.lo / kPageBlocks; page <= (b.hi - 1) / kPageBlocks && page < kPages; ++page)
            if (read_[page])
                return true;
        return false;
    }

    // Both note the primitive about to be sent as the last to touch `b`.
    void MarkRead(const Blocks& b)
    {
        if (b.hi <= b.lo)
            return;
        for (u32 page = b.lo / kPageBlocks; page <= (b.hi - 1) / kPageBlocks && page < kPages; ++page) {
            read_[page] = true;
            last_read_[page] = sent_ + 1;
        }
    }

    void MarkDirty(const Blocks& b, u32 mapping)
    {
        if (b.hi <= b.lo)
            return;
        for (u32 page = b.lo / kPageBlocks; page <= (b.hi - 1) / kPageBlocks && page < kPages; ++page) {
            last_write_[page] = sent_ + 1;
            if (writer_[page] != mapping) {
                writer_[page] = mapping;
                ++marks_;
            }
        }
    }

    // The slot of the next primitive, once every band has drawn the one it
    // held; meanwhile the sender draws bands no worker is drawing.
    __attribute__((always_inline)) Job& Slot()
    {
        if (sent_ - oldest_ >= kQueueSize)
            WaitForSlot();
        // The record a few primitives on is fetched for writing meanwhile:
        // the bands last read it, on other processors.
        Prefetch<1>(jobs_[(sent_ + kPrefetchJobs) % kQueueSize]);
        Job& j = jobs_[sent_ % kQueueSize];
        j.followers = 0;
        return j;
    }

    static constexpr u64 kPrefetchJobs = 16;

    // The slot of the next primitive, for a record written whole by
    // StreamRecord: neither fetched nor touched here.
    __attribute__((always_inline)) Job& SlotToStream()
    {
        if (sent_ - oldest_ >= kQueueSize)
            WaitForSlot();
        return jobs_[sent_ % kQueueSize];
    }

    // Writes `record` to `slot` past the caches.  A slot was last read by
    // the workers, on other processors; storing to it through the cache
    // would first take its lines back from them, and the sender's stores
    // queue behind each such wait.  Publish orders these stores before the
    // counts that show them.
    static void StreamRecord(Job& slot, const Job& record)
    {
        static_assert(sizeof(Job) % 16 == 0 && alignof(Job) % 16 == 0);
        auto* to = reinterpret_cast<__m128i*>(&slot);
        const auto* from = reinterpret_cast<const __m128i*>(&record);
        for (size_t i = 0; i < sizeof(Job) / 16; ++i)
            _mm_stream_si128(to + i, _mm_load_si128(from + i));
    }
    template <int kWrite>
    static void Prefetch(const Job& j)
    {
        const char* record = reinterpret_cast<const char*>(&j);
        if constexpr (kWrite) {
            if (g_prefetch_for_write) {
                for (size_t at = 0; at < sizeof(Job); at += 64)
                    asm volatile("prefetchw %0" : : "m"(record[at]));
            } else {
                for (size_t at = 0; at < sizeof(Job); at += 64)
                    __builtin_prefetch(record + at, 1);
            }
        } else {
            for (size_t at = 0; at < sizeof(Job); at += 64)
                __builtin_prefetch(record + at, 0);
        }
    }

    // The next room, for the primitive about to be sent, once the primitive
    // that held it is drawn; meanwhile the sender draws as in Slot.
    TriangleRoom& TakeTriangleRoom() { return TakeRoom(rooms_, room_until_, rooms_taken_); }
    SpriteRoom& TakeSpriteRoom() { return TakeRoom(sprite_rooms_, sprite_room_until_, sprite_rooms_taken_); }

    // Gives back the triangle room just taken, the primitive not being sent.
    void ReturnTriangleRoom()
    {
        --rooms_taken_;
        room_until_[rooms_taken_ % kTriangleRooms] = 0;
    }

    // Whether rows [y0, y1) lie in more than one band.
    static bool SeveralBands(s32 y0, s32 y1)
    {
        return (static_cast<u32>(y0) >> kBandShift) != (static_cast<u32>(y1 - 1) >> kBandShift);
    }

    // Publishes the primitive in the slot to the bands of rows [y0, y1).
    // Sleeping workers are woken every few primitives rather than at each
    // (a wake is a system call); they also wake by themselves after a short
    // while, and a drain wakes them at once.
    // Pixels are the box's, clamped: only a count towards publishing.
    // `in_run`: a triangle of a run (see Sent).
    __attribute__((always_inline)) void Send(s32 y0, s32 y1, u32 pixels, bool in_run = false)
    {
        CloseBatch();
        if (y0 < y1) {
            // Each band once: all of them when the rows go round.
            const u32 first = static_cast<u32>(y0) >> kBandShift, last = static_cast<u32>(y1 - 1) >> kBandShift;
            const u32 count = std::min(last - first + 1, kBands);
            for (u32 i = 0, b = first % kBands; i < count; ++i, b = (b + 1) % kBands) {
                // The entries a few lines on are fetched for writing: the
                // band's drawer last read them.
                PrefetchForWrite(&bands_[b].entries[(tails_[b] + 32) % kQueueSize]);
                bands_[b].entries[tails_[b]++ % kQueueSize] = static_cast<u32>(sent_);
                unpublished_bands_ |= 1u << b;
            }
        }
        Sent(pixels, in_run);
    }

    // Sends the triangle in the slot (queued as vertices, touching rows
    // [y0, y1), y0 < y1) as a follower of the one before when that one is
    // not published yet and goes to the same bands; otherwise as Send, the
    // triangle then taking followers.
    __attribute__((always_inline)) void SendVertices(Job& j, s32 y0, s32 y1, u32 pixels)
    {
        const u32 first = static_cast<u32>(y0) >> kBandShift, last = static_cast<u32>(y1 - 1) >> kBandShift;
        if (batch_ && first == batch_first_ && last == batch_last_ && batch_followers_ < kMaxFollowers) {
            ++batch_followers_;
            Sent(pixels, true);
            return;
        }
        Send(y0, y1, pixels, true);
        if (published_ != sent_) {
            batch_ = &j;
            batch_followers_ = 0;
            batch_first_ = first;
            batch_last_ = last;
        }
    }

    // Triangles of a run cost the sender so little that it shows them
    // less often (see kRunPublishJobs).
    __attribute__((always_inline)) void Sent(u32 pixels, bool in_run = false)
    {
        ++sent_;
        unpublished_pixels_ += pixels;
        unwoken_pixels_ += pixels;
        if (sent_ - published_ >= (in_run ? kRunPublishJobs : kPublishJobs) ||
            unpublished_pixels_ >= (in_run ? kRunPublishPixels : kPublishPixels))
            Publish();
    }

    // Shows the workers what was queued since the last time.  Done for a
    // few primitives at once: the counts are read by every worker, and each
    // change takes their cache lines from them.
    void Publish()
    {
        if (published_ == sent_)
            return;
        // What the workers may see takes no more followers.
        CloseBatch();
        // The records streamed since the last time are seen before the counts.
        _mm_sfence();
        for (u32 bits = unpublished_bands_; bits != 0; bits &= bits - 1) {
            const u32 b = static_cast<u32>(__builtin_ctz(bits));
            bands_[b].tail.store(tails_[b], std::memory_order_release);
        }
        unpublished_bands_ = 0;
        unpublished_pixels_ = 0;
        published_ = sent_;
        produced_.store(static_cast<u32>(sent_), std::memory_order_release);
        // Whether a worker sleeps is looked at only every few dozen
        // primitives: seeing it takes a fence, which waits for every store
        // the sender has under way (the records, to lines the workers read).
        // A worker that goes to sleep just now sleeps until the next look,
        // or wakes by itself.  A few large primitives are as much work as
        // many small ones.
        if (sent_ - last_sleep_check_ >= kWakeEvery || unwoken_pixels_ >= kWakePixels) {
            last_sleep_check_ = sent_;
            unwoken_pixels_ = 0;
            WakeForWaitingBands();
        }
    }

    // The last triangle sent takes no more followers: their count goes in
    // its record.
    __attribute__((always_inline)) void CloseBatch()
    {
        if (batch_) {
            if (batch_followers_ != 0)
                batch_->followers = batch_followers_;
            batch_ = nullptr;
        }
    }

    bool Idle()
    {
        Advance();
        return oldest_ == sent_;
    }

    // Queues a fence: what is queued after it is drawn after everything
    // queued before it, in every band, without the sender waiting.  The
    // pages marked so far are forgotten for ordering queued work, and kept
    // for what the sender itself reads or writes (last_write_ ...) until
    // the work that touches them is drawn.
    void Fence()
    {
        FoldRun();
        Job& j = Slot();
        j.kind = JobKind::kFence;
        for (u32 b = 0; b < kBands; ++b)
            j.body.fence_at[b] = tails_[b];
        Send(0, static_cast<s32>(kBands * kBandRows), 0);
        writer_.fill(0);
        read_.fill(false);
        ++marks_;
    }

    // For what the sender reads or writes itself: the number of primitives
    // after which no queued one writes `b` (or reads it as texels) once
    // those are drawn; 0 when none does.
    u64 LastWrite(const Blocks& b) const
    {
        return LastOf(last_write_, b, run_.frame.Overlaps(b) || run_.depth.Overlaps(b));
    }
    u64 LastRead(const Blocks& b) const
    {
        bool run = false;
        for (u32 n = 0; n < run_.key.count; ++n)
            run = run || run_.key.levels[n].Overlaps(b);
        return LastOf(last_read_, b, run);
    }

    // Waits until the first `count` primitives are drawn (none when 0);
    // then pages no primitive still queued touches are unmarked, so that
    // what is queued next need not be ordered behind them.
    void WaitUntilDrawn(u64 count)
    {
        if (count == 0)
            return;
        WaitFor(count);
        FoldRun();
        for (u32 page = 0; page < kPages; ++page) {
            if (writer_[page] != 0 && last_write_[page] <= oldest_)
                writer_[page] = 0;
            if (read_[page] && last_read_[page] <= oldest_)
                read_[page] = false;
        }
        ++marks_;
    }

    // Waits until the first `count` primitives queued are drawn, drawing
    // bands nobody is drawing meanwhile.
    void WaitFor(u64 count)
    {
        Advance();
        if (oldest_ >= count)
            return;
        Publish();
        WakeAll();
        for (int spin = 0;; ++spin) {
            const u32 word = drawn_word_.load(std::memory_order_seq_cst);
            Advance();
            if (oldest_ >= count)
                return;
            if (!Help() && spin > kSpinsBeforeRest)
                Rest(word);
        }
    }

    void Drain()
    {
        Publish();
        if (!Idle())
            WakeAll();
        // A band whose worker is asleep, or is drawing other bands, is drawn
        // here; only a band being drawn elsewhere is waited for.
        for (int spin = 0;; ++spin) {
            const u32 word = drawn_word_.load(std::memory_order_seq_cst);
            bool pending = false, helped = false;
            for (Band& band : bands_) {
                if (band.head.load(std::memory_order_acquire) == tails_[&band - bands_.data()])
                    continue;
                pending = true;
                helped = TryDraw(band, kSender) || helped;
            }
            if (!pending)
                break;
            if (!helped && spin > kSpinsBeforeRest)
                Rest(word, false);
        }
        oldest_ = sent_;
        writer_.fill(0);
        read_.fill(false);
        ++marks_;
        pinned_.clear();
    }

    // Keeps `record` alive until the primitive being queued is drawn, so that
    // jobs may point to it without counting references from several threads.
    template <typename T>
    void Pin(const std::shared_ptr<T>& record)
    {
        if (!record)
            return;
        for (size_t i = pinned_.size(); i > 0 && i + 4 > pinned_.size(); --i)
            if (pinned_[i - 1].record.get() == record.get()) {
                pinned_[i - 1].until = sent_ + 1;
                return;
            }
        // Records every queued job is past are let go now and then.
        if (pinned_.size() >= 64) {
            Advance();
            std::erase_if(pinned_, [&](const PinnedRecord& p) { return p.until <= oldest_; });
        }
        pinned_.push_back({record, sent_ + 1});
    }

    // The CLUT buffer as queued primitives read it: a copy of `live`'s
    // entries, made again whenever they change, so that loading the buffer
    // need not wait for the primitives queued before.  Each copy is kept
    // until the primitives queued with it are drawn.
    __attribute__((always_inline)) const ClutBuffer& ClutFor(const ClutBuffer& live)
    {
        if (clut_source_ != &live || !clut_copy_ || clut_copy_->Generation() != live.Generation())
            CopyClut(live);
        return *clut_copy_;
    }

    __attribute__((noinline)) void CopyClut(const ClutBuffer& live)
    {
        Pin(clut_copy_);
        clut_copy_ = std::make_shared<const ClutBuffer>(live.EntriesCopy());
        clut_source_ = &live;
    }

    // Waits for the queued primitives that may write blocks [lo, hi).
    void WaitForWrites(const Blocks& b) { WaitUntilDrawn(LastWrite(b)); }

    // The state as queued primitives keep it: one copy per state, kept
    // alive until the primitives queued with it are drawn.
    const DrawEnv* SharedEnv(const DrawEnv& env)
    {
        Pin(SharedEnvRef(env));
        return shared_env_.get();
    }

    const std::shared_ptr<const DrawEnv>& SharedEnvRef(const DrawEnv& env)
    {
        if (!shared_env_ || shared_env_->serial != env.serial)
            shared_env_ = std::make_shared<const DrawEnv>(env);
        return shared_env_;
    }

    // A run of triangles sent as vertices in one state: the frame and Z
    // blocks of `box` (a union of their boxes) are noted as written, in
    // memory and here, and the texture was found apart from them and from
    // queued writes.  While nothing else notes a write or drains, a triangle
    // of the same state whose box lies inside is queued with no more checks.
    bool QueueInRun(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                    const ClutBuffer& clut);

    // Lets go of the run's records once the primitives queued with them are
    // drawn.
    void EndRun()
    {
        FoldRun();
        Pin(run_.env);
        Pin(run_.decoded);
        run_ = Run{};
    }

private:
    static constexpr u64 kWakeEvery = 64;
    static constexpr u32 kLooksWhileWaking = 4;
    static constexpr u32 kWakePixels = 1u << 14;
    // Queued work is shown to the workers after this many primitives or
    // pixels, or when the sender waits.
    static constexpr u64 kPublishJobs = 8;
    static constexpr u32 kPublishPixels = 4096;
    // The same for triangles queued in a run.  Each showing stores to lines
    // every idle worker keeps reading, and the sender waits for each store
    // to take them back; a few dozen such triangles are sent in a few
    // microseconds.
    static constexpr u64 kRunPublishJobs = 32;
    static constexpr u32 kRunPublishPixels = 16384;
    // How long an idle worker looks for more work before it sleeps (long
    // while work comes back soon, see Work), and sleeps before it looks
    // again unwoken.
    static constexpr int kSpinMicroseconds = 5;
    static constexpr int kLongSpinMicroseconds = 300;
    static constexpr long kSleepNanoseconds = 2'000'000;
    // How many times a waiting sender looks at the bands before it rests,
    // and how long it rests at most.
    static constexpr int kSpinsBeforeRest = 64;
    static constexpr long kRestNanoseconds = 50'000;
    // The screen is shared by a fixed number of interleaved bands of 2^4
    // rows, whatever the number of workers: any worker draws any band that
    // has work and nobody is drawing, so a worker that is slow or without a
    // processor holds up one band rather than a share of the screen.
    static constexpr u32 kBands = kBandCount;
    static constexpr u32 kBandRows = 1u << kBandShift;

    // The sender's number as a band's drawer; workers are numbered from 0.
    static constexpr u32 kSender = kMaxThreads;

    static u32 BandOf(s32 y) { return (static_cast<u32>(y) >> kBandShift) % kBands; }

    // One band: the numbers of the queued primitives that touch its rows,
    // appended by the sender and drawn in order by whoever holds `busy`.
    struct alignas(64) Band {
        std::atomic<u32> tail{0};  // entries published
        alignas(64) std::atomic<u32> head{0};  // entries drawn
        std::atomic<bool> busy{false};
        std::atomic<u32> drawer{kSender};  // the thread that drew it last
        alignas(64) u32 entries[kQueueSize];
    };

    struct Storage {
        std::array<Job, kQueueSize> jobs;
        std::array<TriangleRoom, kTriangleRooms> rooms;
        std::array<SpriteRoom, kSpriteRooms> sprite_rooms;
        std::array<Band, kBands> bands;
    };
    // The records the last queue left, ready for the next.
    static inline Storage* spare_ = nullptr;

    static std::unique_ptr<Storage> TakeStorage()
    {
        if (!spare_)
            return std::make_unique<Storage>();
        std::unique_ptr<Storage> storage(spare_);
        spare_ = nullptr;
        for (Band& band : storage->bands) {
            band.tail.store(0, std::memory_order_relaxed);
            band.head.store(0, std::memory_order_relaxed);
            band.busy.store(false, std::memory_order_relaxed);
            band.drawer.store(kSender, std::memory_order_relaxed);
        }
        return storage;
    }

    __attribute__((noinline)) void WaitForSlot()
    {
        Advance();
        // Workers asleep since the last look are woken: the sender sends no
        // more until they have drawn.
        if (sent_ - oldest_ >= kQueueSize) {
            Publish();
            WakeAll();
        }
        for (int spin = 0;; ++spin) {
            const u32 word = drawn_word_.load(std::memory_order_seq_cst);
            Advance();
            if (sent_ - oldest_ < kQueueSize)
                break;
            if (!Help() && spin > kSpinsBeforeRest)
                Rest(word);
        }
    }

    template <typename R, size_t N>
    R& TakeRoom(std::array<R, N>& rooms, std::array<u64, N>& until, u64& taken)
    {
        const size_t at = taken % N;
        if (until[at] > oldest_) {
            Advance();
            if (until[at] > oldest_) {
                Publish();
                WakeAll();
            }
            for (int spin = 0;; ++spin) {
                const u32 word = drawn_word_.load(std::memory_order_seq_cst);
                Advance();
                if (until[at] <= oldest_)
                    break;
                if (!Help() && spin > kSpinsBeforeRest)
                    Rest(word);
            }
        }
        ++taken;
        until[at] = sent_ + 1;
        return rooms[at];
    }

    // The sender, waiting for bands others draw, sleeps until a worker
    // draws a primitive (`each_primitive`) or finishes a band after it read
    // `word` (workers change it then), or a short while passes.  The first
    // worker to see it resting wakes it.  A drain waits for whole bands: a
    // wake for each primitive would only have it look at bands still being
    // drawn, and cost their drawers a system call each.
    void Rest(u32 word, bool each_primitive = true)
    {
        resting_.store(each_primitive ? kRestingForPrimitive : kRestingForBand, std::memory_order_seq_cst);
        SleepOn(drawn_word_, word, kRestNanoseconds);
        resting_.store(kAwake, std::memory_order_relaxed);
    }

    // Wakes every sleeping worker, for a wait or a drain: work published
    // before is seen.
    void WakeAll()
    {
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (sleepers_.load(std::memory_order_relaxed) != 0)
            Wake(wake_word_, workers_);
    }

    // Wakes a sleeping worker for each band holding work nobody is drawing,
    // as the sender goes on, unless a wake is under way: a wake is a system
    // call, more so for each thread it wakes, and the sender is the one
    // thread every band waits for.  A wake still under way at a few looks
    // in a row is taken as lost (the woken worker has no processor yet):
    // the sender wakes others.
    void WakeForWaitingBands()
    {
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (sleepers_.load(std::memory_order_relaxed) == 0)
            return;
        if (waking_.load(std::memory_order_relaxed) && ++looks_while_waking_ < kLooksWhileWaking)
            return;
        looks_while_waking_ = 0;
        if (const u32 waiting = BandsWaiting()) {
            // None woken (the sleepers were leaving): none to wait for.
            waking_.store(true, std::memory_order_relaxed);
            if (Wake(wake_word_, static_cast<int>(waiting)) <= 0)
                waking_.store(false, std::memory_order_relaxed);
        }
    }


    // Moves `oldest_` past the primitives every band has drawn: to the
    // first a band has yet to draw.  Workers count only what each band drew,
    // so that a primitive over several bands is no line they all write.
    void Advance()
    {
        u64 oldest = sent_;
        for (u32 b = 0; b < kBands; ++b) {
            const u32 head = bands_[b].head.load(std::memory_order_acquire);
            if (head != tails_[b]) {
                // Entries hold the primitives' numbers modulo 2^32.
                const u32 behind = static_cast<u32>(sent_) - bands_[b].entries[head % kQueueSize];
                oldest = std::min(oldest, sent_ - behind);
            }
        }
        oldest_ = oldest;
    }

    // Draws what band `band` has queued unless someone else is drawing it;
    // true when this call drew something.
    bool TryDraw(Band& band, u32 drawer)
    {
        if (band.busy.load(std::memory_order_relaxed) || band.busy.exchange(true, std::memory_order_acquire))
            return false;
        if (band.drawer.load(std::memory_order_relaxed) != drawer)
            band.drawer.store(drawer, std::memory_order_relaxed);
        const u32 index = static_cast<u32>(&band - bands_.data());
        const RowBands rows{kBandShift, kBands, index};
        u32 head = band.head.load(std::memory_order_relaxed);
        bool drew = false, fenced = false;
        for (u32 tail = band.tail.load(std::memory_order_acquire); head != tail && !fenced;
             tail = band.tail.load(std::memory_order_acquire)) {
            for (; head != tail; ++head) {
                Job& j = jobs_[band.entries[head % kQueueSize] % kQueueSize];
                // The sender wrote the next records, and another band may
                // have prepared the next triangle: they are fetched while
                // this one is drawn.
                if (head + 1 != tail) {
                    if (head + 2 != tail)
                        Prefetch<0>(jobs_[band.entries[(head + 2) % kQueueSize] % kQueueSize]);
                    PrefetchPrepared(jobs_[band.entries[(head + 1) % kQueueSize] % kQueueSize]);
                }
                if (j.kind == JobKind::kFence) {
                    // Two bands arriving at once each see the other's head:
                    // the last to arrive goes on.
                    std::atomic_thread_fence(std::memory_order_seq_cst);
                    if (!FenceReached(j)) {
                        fenced = true;
                        break;
                    }
                    // Bands waiting at it may go on: workers asleep look again.
                    released_.fetch_add(1, std::memory_order_seq_cst);
                    WakeAll();
                } else if (j.kind == JobKind::kVertices) {
                    DrawVertices(j, rows);
                    const u32 number = band.entries[head % kQueueSize];
                    for (u32 f = 1; f <= j.followers; ++f) {
                        if (f + 1 < j.followers)
                            Prefetch<0>(jobs_[(number + f + 2) % kQueueSize]);
                        DrawVertices(jobs_[(number + f) % kQueueSize], rows);
                    }
                } else if (j.kind == JobKind::kSprite) {
                    DrawQueuedSprite(*j.sprite_room, *j.memory, *j.clut, rows);
                } else if (j.kind == JobKind::kSpriteWhole) {
                    if (!DrawSpriteSpecialised(j.sprite_room->env, j.sprite_room->sprite, *j.memory, *j.clut, RowBands{}))
                        DrawSpriteRows(j.sprite_room->env, j.sprite_room->sprite, *j.memory, *j.clut, RowBands{});
                } else {
                    DrawPreparedTriangle(j.room->triangle, rows);
                }
                band.head.store(head + 1, std::memory_order_release);
                drew = true;
                // A sender waiting for this primitive looks again now
                // rather than when the band is done.
                if (resting_.load(std::memory_order_relaxed) == kRestingForPrimitive &&
                    resting_.exchange(kAwake) != kAwake)
                    Wake(drawn_word_, 1);
            }
        }
        band.busy.store(false, std::memory_order_release);
        if (drew) {
            drawn_word_.fetch_add(1, std::memory_order_seq_cst);
            if (resting_.load(std::memory_order_seq_cst) != kAwake && resting_.exchange(kAwake) != kAwake)
                WakeSleepersOn(drawn_word_, 1);
        }
        return drew;
    }

    // The triangle the sender prepared for `j`'s bands.
    static void PrefetchPrepared(const Job& j)
    {
        if (j.kind == JobKind::kTriangle) {
            const char* record = reinterpret_cast<const char*>(&j.room->triangle);
            for (size_t at = 0; at < sizeof(PreparedTriangle); at += 64)
                __builtin_prefetch(record + at, 0);
        }
    }

    // Whether every band has drawn all it holds before fence `j`.
    bool FenceReached(const Job& j) const
    {
        for (u32 b = 0; b < kBands; ++b)
            if (static_cast<s32>(bands_[b].head.load(std::memory_order_acquire) - j.body.fence_at[b]) < 0)
                return false;
        return true;
    }

    // The sender draws what is queued for bands nobody is drawing; false
    // when there was none.
    bool Help()
    {
        Publish();
        bool helped = false;
        for (Band& band : bands_)
            if (band.head.load(std::memory_order_relaxed) != band.tail.load(std::memory_order_relaxed))
                helped = TryDraw(band, kSender) || helped;
        return helped;
    }

    void Work(int index)
    {
        // A worker woken does not take the processor from the thread that
        // woke it (the sender, most often, which every band waits for) when
        // there are more threads to run than processors.
        const sched_param batch{};
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
        // Workers look at the bands from different places, so that they
        // rarely reach for the same one.
        const u32 first = static_cast<u32>(index) * kBands / static_cast<u32>(workers_);
        using Clock = std::chrono::steady_clock;
        // Since when nothing was found to draw, and whether to look for
        // long before sleeping: yes while work has come back soon after the
        // worker ran out of it (a frame drawn, drained, and the next begun),
        // so that it is not woken, late, for each; no once it has slept
        // long, so that idle spells between rarer work cost no processor.
        bool idle = false, look_long = false;
        Clock::time_point idle_since{};
        for (;;) {
            const u32 seen = Progress();
            bool drew = false;
            // The bands this worker drew last come first: their rows'
            // frame and Z lines may still be in its processor's cache.
            for (int pass = 0; pass < 2 && !drew; ++pass)
                for (u32 k = 0; k < kBands; ++k) {
                    Band& band = bands_[(first + k) % kBands];
                    if (band.head.load(std::memory_order_relaxed) != band.tail.load(std::memory_order_acquire) &&
                        (pass == 1 || band.drawer.load(std::memory_order_relaxed) == static_cast<u32>(index)))
                        drew = TryDraw(band, static_cast<u32>(index)) || drew;
                }
            if (drew) {
                idle = false;
                continue;
            }
            if (!idle) {
                idle = true;
                idle_since = Clock::now();
            }
            // Primitives usually come in runs: look again for a while before
            // sleeping.
            u32 available = seen;
            const auto until =
                idle_since + std::chrono::microseconds(look_long ? kLongSpinMicroseconds : kSpinMicroseconds);
            for (int spin = 1; available == seen; ++spin) {
                _mm_pause();
                available = Progress();
                if ((spin & 63) == 0 && Clock::now() > until)
                    break;
            }
            if (available != seen)
                continue;
            // Sleeps unless work came meanwhile; a sender that publishes
            // after this count is raised sees it and changes the word.
            const u32 word = wake_word_.load(std::memory_order_seq_cst);
            sleepers_.fetch_add(1, std::memory_order_seq_cst);
            if (Progress() == seen && !stop_.load(std::memory_order_seq_cst))
                SleepOn(wake_word_, word, kSleepNanoseconds);
            sleepers_.fetch_sub(1, std::memory_order_seq_cst);
            look_long = Clock::now() - idle_since < std::chrono::microseconds(kLongSpinMicroseconds);
            // A wake under way is over once a sleeper runs.
            if (waking_.load(std::memory_order_relaxed))
                waking_.store(false, std::memory_order_relaxed);
            PassWakeOn();
            if (stop_.load(std::memory_order_seq_cst))
                return;
        }
    }

    // A worker just woken wakes another sleeper when more bands wait than
    // it will take: workers wake one another as work spreads over the
    // bands, rather than the sender paying for each wake.
    void PassWakeOn()
    {
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (sleepers_.load(std::memory_order_relaxed) == 0 || waking_.load(std::memory_order_relaxed) ||
            BandsWaiting() < 2)
            return;
        waking_.store(true, std::memory_order_relaxed);
        if (Wake(wake_word_, 1) <= 0)
            waking_.store(false, std::memory_order_relaxed);
    }

    // Bands holding work that nobody is drawing.
    u32 BandsWaiting() const
    {
        u32 n = 0;
        for (const Band& band : bands_)
            n += band.head.load(std::memory_order_relaxed) != band.tail.load(std::memory_order_relaxed) &&
                 !band.busy.load(std::memory_order_relaxed);
        return n;
    }

    // Changes whenever workers may find more to draw: work published, or a
    // fence passed.  Both counts are kept modulo 2^32: a word this target
    // stores and loads whole, with no wait for the stores before it.
    u32 Progress() const
    {
        return produced_.load(std::memory_order_seq_cst) + released_.load(std::memory_order_seq_cst);
    }

    const int workers_;
    std::unique_ptr<Storage> storage_;
    std::array<Job, kQueueSize>& jobs_;
    std::array<TriangleRoom, kTriangleRooms>& rooms_;
    std::array<SpriteRoom, kSpriteRooms>& sprite_rooms_;
    std::array<Band, kBands>& bands_;
    // What follows is the sender's own: kept off the line above, which every
    // worker reads for each primitive it draws.
    alignas(64) u64 rooms_taken_ = 0;
    u64 sprite_rooms_taken_ = 0;
    // Per room, the number of the primitive that took it, plus one.
    std::array<u64, kTriangleRooms> room_until_{};
    std::array<u64, kSpriteRooms> sprite_room_until_{};
    std::vector<std::thread> threads_;
    u64 sent_ = 0;    // the sender's own count
    u64 oldest_ = 0;  // the first primitive not known to be drawn
    u64 last_sleep_check_ = 0;
    u32 looks_while_waking_ = 0;  // WakeForWaitingBands passed by, a wake under way
    u32 unwoken_pixels_ = 0;  // sent since then
    // The last triangle sent, while it may take followers, and its bands.
    Job* batch_ = nullptr;
    u16 batch_followers_ = 0;
    u32 batch_first_ = 0, batch_last_ = 0;
    static constexpr u16 kMaxFollowers = 0xFFFF;
    u64 published_ = 0;  // sent_ when last published
    u32 unpublished_pixels_ = 0;
    std::array<u32, kBands> tails_{};  // entries appended per band
    u32 unpublished_bands_ = 0;  // one bit a band
    static_assert(kBands <= 32);
    alignas(64) std::atomic<u32> produced_{0};
    alignas(64) std::atomic<int> sleepers_{0};
    alignas(64) std::atomic<u32> released_{0};  // fences passed
    // Decoded textures and triangle states queued jobs read, each with the
    // job count once the last job reading it is drawn.
    struct PinnedRecord {
        std::shared_ptr<const void> record;
        u64 until;
    };
    alignas(64) std::vector<PinnedRecord> pinned_;
    std::shared_ptr<const DrawEnv> shared_env_;
    const ClutBuffer* clut_source_ = nullptr;
    std::shared_ptr<const ClutBuffer> clut_copy_;
    // Changes to writer_ (and drains and waits).
    u64 marks_ = 1;
    alignas(64) std::atomic<u32> wake_word_{0};  // changed by each wake
    // A wake has been asked for and no sleeper has run since: the sender
    // does not ask again meanwhile.
    std::atomic<bool> waking_{false};
    alignas(64) std::atomic<u32> drawn_word_{0};  // changed as bands are drawn
    // Whether the sender sleeps on it, and for what.
    enum : u32 { kAwake, kRestingForBand, kRestingForPrimitive };
    std::atomic<u32> resting_{kAwake};
    std::atomic<bool> stop_{false};
    // Per page, the buffer through which queued primitives may write it since
    // the last drain (0: none).  Bands order the writes to one buffer row; the
    // same memory reached as a row of another buffer (another base, width or
    // layout) may belong to another band, so such a write drains first.
    static constexpr u32 kPages = kBlockCount / kPageBlocks;
    std::array<u32, kPages> writer_{};
    std::array<bool, kPages> read_{};
    // Per page, the number of primitives after which no queued one writes
    // it (reads it as texels), whatever fences came between; the run's
    // triangles are counted in when it ends or a fence or wait comes.
    std::array<u64, kPages> last_write_{};
    std::array<u64, kPages> last_read_{};
    u64 LastOf(const std::array<u64, kPages>& last, const Blocks& b, bool in_run) const
    {
        if (b.hi <= b.lo)
            return 0;
        u64 count = in_run ? run_last_ : 0;
        for (u32 page = b.lo / kPageBlocks; page <= (b.hi - 1) / kPageBlocks && page < kPages; ++page)
            count = std::max(count, last[page]);
        return count > oldest_ ? count : 0;
    }
    static void NoteLast(std::array<u64, kPages>& last, const Blocks& b, u64 count)
    {
        if (b.hi <= b.lo)
            return;
        for (u32 page = b.lo / kPageBlocks; page <= (b.hi - 1) / kPageBlocks && page < kPages; ++page)
            last[page] = std::max(last[page], count);
    }
    // Notes the run's triangles queued so far on the pages it touches.
    void FoldRun()
    {
        if (run_.serial == 0)
            return;
        NoteLast(last_write_, run_.frame, run_last_);
        NoteLast(last_write_, run_.depth, run_last_);
        for (u32 n = 0; n < run_.key.count; ++n)
            NoteLast(last_read_, run_.key.levels[n], run_last_);
    }

    // What a run's checks follow from in its state: the buffers it writes
    // and the blocks its texture may read.
    struct RunKey {
        u32 frame_mapping = 0, depth_mapping = 0;
        bool depth_used = false;
        u32 count = 0;
        Blocks levels[7] = {};
        bool operator==(const RunKey& o) const
        {
            if (frame_mapping != o.frame_mapping || depth_mapping != o.depth_mapping ||
                depth_used != o.depth_used || count != o.count)
                return false;
            for (u32 n = 0; n < count; ++n)
                if (levels[n].lo != o.levels[n].lo || levels[n].hi != o.levels[n].hi)
                    return false;
            return true;
        }
    };
    struct Run {
        u64 serial = 0;
        const LocalMemory* memory = nullptr;
        const ClutBuffer* clut = nullptr;
        u64 generation = 0;  // the CLUT's
        u32 q_bits = 0;      // Q, when the level of detail follows it
        u64 marks = 0;       // marks_ and memory's stamp when the box was noted
        u64 stamp = 0;
        RunKey key;
        PixelBox box{};
        Blocks frame, depth;  // of box
        TargetBlocks targets;
        std::shared_ptr<const DrawEnv> env;
        DecodedTextureRef decoded;
    };
    Run run_;
    u64 run_last_ = 0;  // sent_ once the run's last triangle was queued
    // The state last found unable to run (its texture lies in its targets,
    // or a buffer is not one stretch of memory): its triangles take the
    // checked path.
    u64 refused_serial_ = 0;

    // False when the state cannot run: a texture level runs past memory.
    static bool MakeRunKey(const DrawEnv& env, RunKey& key);
    // Takes in `box` (inside which the run's box must lie, for a run going
    // on) and notes the blocks it adds; false, with nothing noted, when the
    // checked path must drain first, or (`refused`) cannot queue in a run.
    bool Cover(const DrawEnv& env, const PixelBox& box, LocalMemory& memory, bool grow, bool& refused);
};

// A non-zero name for the way a buffer maps rows to memory: its layout, base
// and width.
u32 BufferMapping(Psm psm, u32 bp, u32 bw)
{
    // Per PSM code, the first mode with the same layout.
    static const auto families = [] {
        std::array<u8, 64> f{};
        for (Psm p : kAllPsms)
            for (u32 i = 0; i < kAllPsms.size(); ++i)
                if (&LayoutOf(kAllPsms[i]) == &LayoutOf(p)) {
                    f[static_cast<u32>(p) & 63] = static_cast<u8>(i + 1);
                    break;
                }
        return f;
    }();
    return (u32{families[static_cast<u32>(psm) & 63]} << 26) | ((bw & 63) << 20) | ((bp & 0x3FFF) << 2) | 1;
}

bool Queue::MakeRunKey(const DrawEnv& env, RunKey& key)
{
    key = RunKey{};
    key.frame_mapping = BufferMapping(env.frame.psm, env.frame.bp, env.frame.bw);
    key.depth_used = env.depth.used;
    if (env.depth.used)
        key.depth_mapping = BufferMapping(env.depth.psm, env.depth.bp, env.frame.bw);
    return !env.prim.tme || TextureBlocks(env.tex, key.levels, key.count);
}

bool Queue::Cover(const DrawEnv& env, const PixelBox& box, LocalMemory& memory, bool grow, bool& refused)
{
    refused = true;
    if (box.px_begin < 0 || box.py_begin < 0 || box.px_begin >= box.px_end || box.py_begin >= box.py_end)
        return false;
    Blocks frame, depth;
    if (!WrittenBlocks(env, box.px_begin, box.px_end, box.py_begin, box.py_end, frame, depth))
        return false;
    const RunKey& key = run_.key;
    for (u32 n = 0; n < key.count; ++n)
        if (key.levels[n].Overlaps(frame) || key.levels[n].Overlaps(depth))
            return false;
    refused = false;
    // Only the blocks not noted yet are checked and noted: a box inside
    // another has its blocks inside the other's.
    Blocks frame_new[2] = {frame, {}}, depth_new[2] = {depth, {}};
    grow = grow && frame.lo <= run_.frame.lo && frame.hi >= run_.frame.hi && depth.lo <= run_.depth.lo &&
           depth.hi >= run_.depth.hi;
    if (grow) {
        frame_new[0] = {frame.lo, std::min(frame.hi, run_.frame.lo)};
        frame_new[1] = {std::max(frame.lo, run_.frame.hi), frame.hi};
        depth_new[0] = {depth.lo, std::min(depth.hi, run_.depth.lo)};
        depth_new[1] = {std::max(depth.lo, run_.depth.hi), depth.hi};
    }
    // Work queued through other buffers, or reading these pages, is drained
    // by the checked path.
    for (int i = 0; i < 2; ++i)
        if (Dirty(frame_new[i], key.frame_mapping) || Dirty(depth_new[i], key.depth_mapping) || Read(frame_new[i]) ||
            Read(depth_new[i]))
            return false;
    if (!grow)
        for (u32 n = 0; n < key.count; ++n)
            if (Dirty(key.levels[n]) || LastWrite(key.levels[n]))
                return false;
    for (int i = 0; i < 2; ++i) {
        if (frame_new[i].lo < frame_new[i].hi)
            memory.NoteWrite(frame_new[i].lo, frame_new[i].hi);
        if (depth_new[i].lo < depth_new[i].hi)
            memory.NoteWrite(depth_new[i].lo, depth_new[i].hi);
        MarkDirty(frame_new[i], key.frame_mapping);
        MarkDirty(depth_new[i], key.depth_mapping);
    }
    if (!grow)
        for (u32 n = 0; n < key.count; ++n)
            MarkRead(key.levels[n]);
    run_.box = box;
    run_.frame = frame;
    run_.depth = depth;
    run_.targets = TargetBlocks{true, frame.lo, frame.hi, depth.lo, depth.hi};
    run_.marks = marks_;
    run_.stamp = memory.Stamp();
    return true;
}

namespace {

// Writes the record of a triangle queued as vertices to `slot` past the
// caches, as StreamRecord would the record made whole, each 16 bytes put
// together in registers: a record made on the stack first is read back in
// pieces that straddle the stores that made it, and each such read waits
// for them to leave the store buffer.
inline void StreamVerticesRecord(Job& slot, s32 py_begin, s32 py_end, s32 px_begin, s32 px_end, LocalMemory* memory,
                                 const ClutBuffer* clut, const DrawEnv* shared_env, const DecodedTexture* decoded,
                                 const TargetBlocks& targets, const Vertex* v)
{
    static_assert(offsetof(Job, kind) == 0 && offsetof(Job, followers) == 2 && offsetof(Job, py_begin) == 4 &&
                  offsetof(Job, py_end) == 8 && offsetof(Job, px_begin) == 12 && offsetof(Job, px_end) == 16 &&
                  offsetof(Job, memory) == 20 && offsetof(Job, clut) == 24 && offsetof(Job, shared_env) == 28 &&
                  offsetof(Job, decoded) == 32 && offsetof(Job, room) == 36 && offsetof(Job, sprite_room) == 40 &&
                  offsetof(Job, targets) == 44 && offsetof(TargetBlocks, frame_lo) == 4 &&
                  sizeof(TargetBlocks) == 20 && offsetof(Job, body) == 64 && sizeof(Vertex) * 3 == 120);
    static_assert(sizeof(JobKind) == 1 && std::is_trivially_copyable_v<TargetBlocks>);
    auto word = [](auto w) { return static_cast<int>(w); };
    auto address = [](const void* p) { return static_cast<int>(reinterpret_cast<uintptr_t>(p)); };
    auto* to = reinterpret_cast<__m128i*>(&slot);
    // The kind in the first byte and no followers; the padding byte zero.
    _mm_stream_si128(to, _mm_setr_epi32(word(JobKind::kVertices), py_begin, py_end, px_begin));
    _mm_stream_si128(to + 1, _mm_setr_epi32(px_end, address(memory), address(clut), address(shared_env)));
    _mm_stream_si128(to + 2, _mm_setr_epi32(address(decoded), 0, 0, word(targets.known)));
    _mm_stream_si128(to + 3, _mm_setr_epi32(word(targets.frame_lo), word(targets.frame_hi), word(targets.depth_lo),
                                            word(targets.depth_hi)));
    const auto* from = reinterpret_cast<const unsigned char*>(v);
    for (int i = 0; i < 7; ++i)
        _mm_stream_si128(to + 4 + i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * i)));
    _mm_stream_si128(to + 11, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + 112)));
}

}  // namespace

bool Queue::QueueInRun(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                       const ClutBuffer& clut)
{
    Run& r = run_;
    const ClutBuffer& queued_clut = ClutFor(clut);
    const u32 q_bits = env.prim.tme && env.tex.lod_matters && !env.prim.fst ? std::bit_cast<u32>(v[0].q) : 0u;
    // The CLUT's generation is read where it lies rather than kept: a 64-bit
    // value kept on the stack is stored as two words and read back whole,
    // which waits for every store before it to leave the store buffer (the
    // records just written, to lines the workers read).
    bool same = r.marks == marks_ && r.stamp == memory.Stamp() && r.memory == &memory && r.clut == &queued_clut &&
                r.generation == clut.Generation() && r.q_bits == q_bits;
    if (same && r.serial != env.serial) {
        // A new state writing the same buffers and reading the same blocks
        // goes on with the run; its texture is found again.
        if (env.serial == refused_serial_)
            return false;
        RunKey key;
        same = MakeRunKey(env, key) && key == r.key;
        if (same) {
            Pin(r.env);
            Pin(r.decoded);
            r.decoded.reset();
            r.env = SharedEnvRef(env);
            r.serial = env.serial;
        }
    }
    if (!same || box.px_begin < r.box.px_begin || box.px_end > r.box.px_end || box.py_begin < r.box.py_begin ||
        box.py_end > r.box.py_end) {
        bool refused = false;
        bool covered = false;
        if (same) {
            // The box grows to take this one in.
            const PixelBox grown{std::min(box.px_begin, r.box.px_begin), std::max(box.px_end, r.box.px_end),
                                 std::min(box.py_begin, r.box.py_begin), std::max(box.py_end, r.box.py_end)};
            covered = Cover(env, grown, memory, true, refused);
        }
        if (!covered) {
            // A new run, from this box alone.
            if (env.serial == refused_serial_)
                return false;
            EndRun();
            if (!MakeRunKey(env, r.key))
                refused = true;
            else
                covered = Cover(env, box, memory, false, refused);
            if (!covered) {
                if (refused)
                    refused_serial_ = env.serial;
                EndRun();
                return false;
            }
            r.serial = env.serial;
            r.memory = &memory;
            r.clut = &queued_clut;
            r.generation = clut.Generation();
            r.q_bits = q_bits;
            r.env = SharedEnvRef(env);
        }
    }
    const s64 pixels = static_cast<s64>(box.px_end - box.px_begin) * (box.py_end - box.py_begin);
    if (env.prim.tme && !r.decoded)
        r.decoded = DecodeTexture(env, memory, clut, v[0].q, r.targets, static_cast<u64>(pixels));
    const s32 py_end = CoveredRowsEnd(env, v, box);
    Job& j = SlotToStream();
    StreamVerticesRecord(j, box.py_begin, py_end, box.px_begin, box.px_end, &memory, &queued_clut, r.env.get(),
                         r.decoded.get(), r.targets, v);
    SendVertices(j, box.py_begin, py_end, static_cast<u32>(std::min<s64>(pixels, kRunPublishPixels)));
    run_last_ = sent_;
    return true;
}

int g_threads = -1;  // not chosen yet
std::unique_ptr<Queue> g_queue;

// What Queue1 works out from a state alone.
struct StateBlocks {
    u64 serial = 0;
    u32 frame_mapping = 0, depth_mapping = 0;
    bool texture_known = false;
    Blocks levels[7];
    u32 count = 0;
};

struct TriangleVertices {
    const Vertex* v;
};

// Checks and queues one primitive of box [px0, px1) x [py0, py1).
template <typename Setup>
bool Queue1(JobKind kind, const DrawEnv& env, const Setup& setup, s32 px0, s32 px1, s32 py0, s32 py1,
            LocalMemory& memory, const ClutBuffer& clut, const TargetBlocks* targets = nullptr)
{
    if (DrawThreads() == 0)
        return false;
    // Anything larger is queued, so that a stream of model triangles spreads
    // over the bands; a small one behind queued work is queued too, which
    // costs less than draining.
    // Triangles sent as vertices cost the sender less than drawing the
    // smallest of them.
    if constexpr (!std::is_same_v<Setup, TriangleVertices>)
        if (static_cast<s64>(px1 - px0) * (py1 - py0) < kSmallPixels && g_queue->Idle())
            return false;
    // A flat sprite costs little more per pixel than storing it: split over
    // workers it gains nothing and waits for them; with nothing queued it is
    // drawn here.
    if constexpr (std::is_same_v<Setup, SpriteSetup>)
        if (!env.prim.tme && g_queue->Idle())
            return false;
    Blocks frame, depth;
    if (targets) {
        // Worked out already when the triangle's writes were noted.
        if (!targets->known)
            return false;
        frame = {targets->frame_lo, targets->frame_hi};
        depth = {targets->depth_lo, targets->depth_hi};
        if (env.depth.used && depth.Overlaps(frame))
            return false;
    } else if (!WrittenBlocks(env, px0, px1, py0, py1, frame, depth)) {
        return false;
    }
    // What follows from the state alone is worked out once per state.
    thread_local StateBlocks cached;
    if (env.serial == 0 || cached.serial != env.serial) {
        cached.serial = env.serial;
        cached.frame_mapping = BufferMapping(env.frame.psm, env.frame.bp, env.frame.bw);
        cached.depth_mapping = BufferMapping(env.depth.psm, env.depth.bp, env.frame.bw);
        cached.texture_known = env.prim.tme && TextureBlocks(env.tex, cached.levels, cached.count);
    }
    const u32 frame_mapping = cached.frame_mapping, depth_mapping = cached.depth_mapping;
    const ClutBuffer& queued_clut = g_queue->ClutFor(clut);
    // Queued work writing these pages through other buffers, or reading them,
    // is drawn first: a fence orders it before this primitive.
    if (g_queue->Dirty(frame, frame_mapping) || g_queue->Dirty(depth, depth_mapping) || g_queue->Read(frame) ||
        g_queue->Read(depth))
        g_queue->Fence();
    bool whole = false;
    Blocks sprite_levels[7];
    const Blocks* levels = sprite_levels;
    u32 count = 0;
    if (env.prim.tme) {
        if constexpr (std::is_same_v<Setup, SpriteSetup>) {
            if (!SpriteTextureBlocks(env, setup, sprite_levels, count))
                return false;
        } else {
            if (!cached.texture_known)
                return false;
            levels = cached.levels;
            count = cached.count;
        }
        // Reading its own pixels depends on the order rows are drawn in.
        bool overlap = false;
        for (u32 n = 0; n < count; ++n)
            overlap = overlap || levels[n].Overlaps(frame) || levels[n].Overlaps(depth);
        bool apart = !overlap;
        if constexpr (std::is_same_v<Setup, SpriteSetup>)
            apart = apart || SpriteReadsApartFromWrites(env, setup) || SpriteTexelsApartByBytes(env, setup);
        // One that does is drawn whole, in order, by one band between fences,
        // unless nothing is queued (then here).
        if (!apart) {
            if (!std::is_same_v<Setup, SpriteSetup> || g_queue->Idle())
                return false;
            whole = true;
        }
        for (u32 n = 0; n < count && !whole; ++n) {
            // Texels queued work may write: a sprite reads them once that work
            // is drawn (behind a fence); a triangle's texture may be decoded
            // here, once that work is drawn.
            if constexpr (std::is_same_v<Setup, SpriteSetup>) {
                if (g_queue->Dirty(levels[n]))
                    g_queue->Fence();
            } else {
                g_queue->WaitUntilDrawn(g_queue->LastWrite(levels[n]));
            }
        }
    }
    if (whole)
        g_queue->Fence();
    Job* job;
    if constexpr (std::is_same_v<Setup, TriangleVertices>) {
        DecodedTextureRef decoded;
        if (env.prim.tme)
            decoded = DecodeTexture(env, memory, clut, setup.v[0].q, *targets,
                                    static_cast<u64>(px1 - px0) * static_cast<u64>(py1 - py0));
        py1 = CoveredRowsEnd(env, setup.v, PixelBox{px0, px1, py0, py1});
        job = &g_queue->Slot();
        job->shared_env = g_queue->SharedEnv(env);
        job->px_begin = px0;
        job->px_end = px1;
        job->decoded = decoded.get();
        job->targets = *targets;
        std::memcpy(job->body.vertices, setup.v, sizeof job->body.vertices);
        g_queue->Pin(std::move(decoded));
    } else if constexpr (std::is_same_v<Setup, TriangleSetup>) {
        DecodedTextureRef decoded;
        if (env.prim.tme)
            decoded = DecodeTexture(env, memory, clut, static_cast<float>(setup.planes[kAttrQ].a0), *targets,
                                    static_cast<u64>(px1 - px0) * static_cast<u64>(py1 - py0));
        job = &g_queue->Slot();
        // Prepared in its room: the record is large.
        TriangleRoom& room = g_queue->TakeTriangleRoom();
        job->room = &room;
        TriangleStateRef state;
        if (!PrepareTriangle(env, setup, memory, queued_clut, decoded.get(), *targets, room.triangle, &state)) {
            g_queue->ReturnTriangleRoom();
            return false;
        }
        g_queue->Pin(std::move(decoded));
        g_queue->Pin(std::move(state));
    } else {
        job = &g_queue->Slot();
        SpriteRoom& room = g_queue->TakeSpriteRoom();
        job->sprite_room = &room;
        room.env = env;
        room.sprite = setup;
        room.prepared.store(SpriteRoom::kUnprepared, std::memory_order_relaxed);
    }
    Job& j = *job;
    j.kind = whole ? JobKind::kSpriteWhole : kind;
    j.py_begin = py0;
    j.py_end = py1;
    j.memory = &memory;
    j.clut = &queued_clut;
    for (u32 n = 0; n < count; ++n)
        g_queue->MarkRead(levels[n]);
    g_queue->MarkDirty(frame, frame_mapping);
    g_queue->MarkDirty(depth, depth_mapping);
    g_queue->Send(py0, whole ? py0 + 1 : py1,
                  static_cast<u32>(std::min<s64>(static_cast<s64>(px1 - px0) * (py1 - py0), 1 << 20)));
    if (whole)
        g_queue->Fence();
    return true;
}

}  // namespace

void SetDrawThreads(int n)
{
    // A forked child (a death test) has none of the workers: the queue is
    // drained before the fork and forgotten in the child, which starts its
    // own when it draws.
    static const bool at_fork = pthread_atfork(
        [] { DrainDrawQueue(); }, nullptr,
        [] {
            (void)g_queue.release();
            g_threads = -1;
        }) == 0;
    (void)at_fork;
    n = std::clamp(n, 0, kMaxThreads);
    if (n == g_threads)
        return;
    g_queue.reset();
    g_threads = n;
    if (n > 0)
        g_queue = std::make_unique<Queue>(n);
}

int DefaultDrawThreads()
{
    if (HasOption("gs-threads"))
        return std::clamp(static_cast<int>(GetInt("gs-threads", 0)), 0, kMaxThreads);
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()) - 1, 0, kMaxThreads);
}

int DrawThreads()
{
    if (g_threads < 0)
        SetDrawThreads(DefaultDrawThreads());
    return g_threads;
}

void DrainDrawQueue()
{
    if (g_queue)
        g_queue->Drain();
}

namespace {

// Drains the queue unless a primitive writing `targets` and reading `levels`
// may be drawn on the calling thread while the queued ones are drawn.
void WaitToDrawHere(const TargetBlocks& targets, const Blocks* levels, u32 count)
{
    if (!g_queue || g_queue->Idle())
        return;
    if (!targets.known) {
        g_queue->Drain();
        return;
    }
    // The queued work that touches them is waited for.
    const Blocks frame{targets.frame_lo, targets.frame_hi}, depth{targets.depth_lo, targets.depth_hi};
    u64 last = std::max({g_queue->LastWrite(frame), g_queue->LastWrite(depth), g_queue->LastRead(frame),
                         g_queue->LastRead(depth)});
    for (u32 n = 0; n < count; ++n)
        last = std::max(last, g_queue->LastWrite(levels[n]));
    g_queue->WaitUntilDrawn(last);
}

}  // namespace

void WaitToDrawSpriteHere(const DrawEnv& env, const SpriteSetup& sprite, const TargetBlocks& targets)
{
    if (!g_queue)
        return;
    Blocks levels[7];
    u32 count = 0;
    if (env.prim.tme && !SpriteTextureBlocks(env, sprite, levels, count)) {
        g_queue->Drain();
        return;
    }
    WaitToDrawHere(targets, levels, count);
}

void WaitToDrawTriangleHere(const DrawEnv& env, const TargetBlocks& targets)
{
    if (!g_queue)
        return;
    Blocks levels[7];
    u32 count = 0;
    if (env.prim.tme && !TextureBlocks(env.tex, levels, count)) {
        g_queue->Drain();
        return;
    }
    WaitToDrawHere(targets, levels, count);
}

namespace {

// What the open image transfer reads and writes, as found when it started;
// `known` false when either is not one stretch of memory.
struct TransferRegion {
    bool known = false;
    Blocks read, written;
} g_transfer;

// The blocks of a transfer rectangle; false when they are not one stretch of
// memory or the mode is none.
bool TransferBlocks(u32 psm_code, u32 bp, u32 bw, u32 x, u32 y, u32 w, u32 h, Blocks& b)
{
    b = {};
    const std::optional<Psm> psm = PsmFromCode(psm_code);
    if (!psm)
        return false;
    return w == 0 || h == 0 || BlockRange(*psm, bp, bw, x, x + w, y, y + h, b.lo, b.hi);
}

}  // namespace

void WaitForTransfer(const RegisterFile& regs, u32 xdir)
{
    const GsBitbltbuf buf{regs.Get(GsReg::BITBLTBUF)};
    const GsTrxpos pos{regs.Get(GsReg::TRXPOS)};
    const GsTrxreg size{regs.Get(GsReg::TRXREG)};
    TransferRegion& t = g_transfer;
    t = TransferRegion{};
    t.known = true;
    xdir &= 3;
    if (xdir == 1 || xdir == 2)
        t.known = TransferBlocks(buf.SPSM(), buf.SBP(), buf.SBW(), pos.SSAX(), pos.SSAY(), size.RRW(), size.RRH(),
                                 t.read);
    if (t.known && (xdir == 0 || xdir == 2))
        t.known = TransferBlocks(buf.DPSM(), buf.DBP(), buf.DBW(), pos.DSAX(), pos.DSAY(), size.RRW(), size.RRH(),
                                 t.written);
    WaitForOpenTransfer();
}

void WaitForOpenTransfer()
{
    if (!g_queue || g_queue->Idle())
        return;
    const TransferRegion& t = g_transfer;
    if (!t.known) {
        g_queue->Drain();
        return;
    }
    // The queued work that touches them is waited for.
    g_queue->WaitUntilDrawn(std::max(
        {g_queue->LastWrite(t.read), g_queue->LastWrite(t.written), g_queue->LastRead(t.written)}));
}

void WaitForWritesTo(u32 block_lo, u32 block_hi)
{
    if (!g_queue)
        return;
    if (block_hi > kBlockCount) {
        g_queue->WaitForWrites({0, block_hi - kBlockCount});
        block_hi = kBlockCount;
    }
    g_queue->WaitForWrites({block_lo, block_hi});
}

bool QueueSprite(const DrawEnv& env, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut)
{
    // Whether the specialised pipelines take it is found by the band that
    // prepares it (DrawQueuedSprite), not here.
    return Queue1(JobKind::kSprite, env, s, s.px_begin, s.px_end, s.py_begin, s.py_end, memory, clut);
}

bool QueueTriangle(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory, const ClutBuffer& clut,
                   const TargetBlocks& targets)
{
    return Queue1(JobKind::kTriangle, env, t, t.px_begin, t.px_end, t.py_begin, t.py_end, memory, clut, &targets);
}

bool QueueTriangleVertices(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                           const ClutBuffer& clut, const TargetBlocks& targets)
{
    return Queue1(JobKind::kVertices, env, TriangleVertices{v}, box.px_begin, box.px_end, box.py_begin, box.py_end,
                  memory, clut, &targets);
}

bool QueueTriangleInRun(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                        const ClutBuffer& clut)
{
    return g_queue && g_queue->QueueInRun(env, v, box, memory, clut);
}

bool TextureApartFromTargets(const DrawEnv& env, s32 px0, s32 px1, s32 py0, s32 py1)
{
    Blocks frame, depth, levels[7];
    u32 count;
    if (!WrittenBlocks(env, px0, px1, py0, py1, frame, depth) || !TextureBlocks(env.tex, levels, count))
        return false;
    for (u32 n = 0; n < count; ++n)
        if (levels[n].Overlaps(frame) || levels[n].Overlaps(depth))
            return false;
    return true;
}

}  // namespace console::gs
