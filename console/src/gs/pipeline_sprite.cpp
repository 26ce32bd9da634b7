// Sprites through the specialised pipelines: a sprite's plan made once
// (its writing stage, its texel columns and weights, the fills it can make
// by whole blocks) and its rows walked band by band, each row's texels read
// once and reused by the rows below that share them (pipeline.h).
#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "gs/pipeline_fill.h"
#include "gs/pipeline_sprite.h"
#include "gs/pipeline_write.h"
#include "gs/simd.h"

namespace console::gs {

using namespace pipeline;

namespace pipeline {
namespace {

// Columns 0 .. n - 1 of a texel row weighted across, column i mixing texels
// t[k0[i]] and t[k1[i]] with its weights wu[i]: two columns a register
// (entry n of k0, k1 and wu is read, and out[n] written, when n is odd).
inline void WeightPicked(const u32* t, const s32* k0, const s32* k1, const SpriteColumns::Weights* wu, int n, u64* out)
{
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < n; i += 2) {
        const __m128i a = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t[k0[i]])),
                                             _mm_cvtsi32_si128(static_cast<int>(t[k1[i]])));
        const __m128i b = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t[k0[i + 1]])),
                                             _mm_cvtsi32_si128(static_cast<int>(t[k1[i + 1]])));
        const __m128i ha = _mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), wu[i].v);
        const __m128i hb = _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wu[i + 1].v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_add_epi16(_mm_unpacklo_epi64(ha, hb), _mm_unpackhi_epi64(ha, hb)));
    }
}

// StepUv at p, p + 1, p + 2, ... an addition each: the floor division's
// quotient and remainder carried from one to the next (spans of c1 <= c0 are
// left to StepUv itself).
class UvStepper {
public:
    UvStepper(s32 t0, s32 t1, s32 c0, s32 c1, s32 p) : t0_(t0), t1_(t1), c0_(c0), c1_(c1), p_(p), d_(s64{c1} - c0)
    {
        if (d_ <= 0)
            return;
        const s64 n = static_cast<s64>(t1 - t0) * (16 * static_cast<s64>(p) - c0);
        q_ = FloorDiv(n, d_);
        r_ = n - q_ * d_;
        const s64 step = 16 * static_cast<s64>(t1 - t0);
        qs_ = FloorDiv(step, d_);
        rs_ = step - qs_ * d_;
    }

    s32 Value() const { return d_ > 0 ? static_cast<s32>(t0_ + q_) : StepUv(t0_, t1_, c0_, c1_, p_); }

    void Next()
    {
        ++p_;
        if (d_ <= 0)
            return;
        q_ += qs_;
        r_ += rs_;
        if (r_ >= d_) {
            r_ -= d_;
            ++q_;
        }
    }

private:
    s32 t0_, t1_, c0_, c1_, p_;
    s64 d_, q_ = 0, r_ = 0, qs_ = 0, rs_ = 0;
};

// Room for a sprite's arrays per texel row and pixel row, kept by each
// thread from sprite to sprite (what stays fixed down the columns is the
// sprite's plan's).
struct SpriteScratch {
    std::vector<u32> texels, row, shaded;
    std::vector<u64> filtered[2];
    std::vector<u32> pair;
};

thread_local SpriteScratch scratch;

// Whether the texels a textured sprite reads (on the levels its Q picks)
// lie apart from the frame pixels it writes and, when it writes Z (`zwrite`),
// from its Z values: a sprite reading what it writes must see each pixel as drawn
// so far, pixel by pixel.  Its texture coordinates change monotonically
// along each axis, so the first and last column and row bound them.
bool SpriteTextureApart(const DrawEnv& env, const SpriteSetup& s, bool zwrite)
{
    const u32 x0 = static_cast<u32>(s.px_begin), x1 = static_cast<u32>(s.px_end);
    const u32 y0 = static_cast<u32>(s.py_begin), y1 = static_cast<u32>(s.py_end);
    u32 flo, fhi, zlo = 0, zhi = 0;
    if (!BlockRange(env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, flo, fhi))
        return false;
    if (zwrite && !BlockRange(env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, zlo, zhi))
        return false;
    const TextureEnv& tex = env.tex;
    SpriteTexels rects[2];
    const u32 count = SpriteTexelRects(env, s, rects);
    for (u32 i = 0; i < count; ++i) {
        const SpriteTexels& r = rects[i];
        // Pages follow one another along a row of pages and on to the next
        // row: texels past the buffer's width lie in the pages after the
        // row's, which the same bounds take in.
        const Layout& layout = LayoutOf(tex.psm);
        const u64 across = PagesAcross(layout, tex.level_tbw[r.level]);
        const u32 lo = tex.level_tbp[r.level] +
                       static_cast<u32>(((r.y0 >> layout.page_shift_y) * across + (r.x0 >> layout.page_shift_x)) *
                                        kPageBlocks);
        const u64 end = tex.level_tbp[r.level] +
                        ((r.y1 >> layout.page_shift_y) * across + (r.x1 >> layout.page_shift_x) + 1) * kPageBlocks;
        if (end > kBlockCount)
            return false;
        const u32 hi = static_cast<u32>(end);
        if ((lo < fhi && flo < hi) || (lo < zhi && zlo < hi))
            return false;
    }
    return true;
}

// The writes a sprite drawn in `env` may make, as the byte-exact check
// below weighs them: which bytes of each frame pixel (bits FBMSK keeps, and
// the alpha an RGB_ONLY failure keeps, are not written) and whether Z is
// written.  An alpha test whose outcome varies is taken as passing.
struct SpriteWrites {
    bool frame = true, depth = false;
    u32 frame_bytes = 0xF, depth_bytes = 0xF;  // written bytes of a pixel's unit
};

SpriteWrites WritesOf(const DrawEnv& env)
{
    SpriteWrites w;
    u32 keep = env.frame.fbmsk;
    w.depth = env.depth.used && env.depth.write;
    if (env.ate && env.atst == AlphaTest::kNever)
        switch (env.afail) {
        case AlphaFail::kKeep: w.frame = w.depth = false; break;
        case AlphaFail::kFbOnly: w.depth = false; break;
        case AlphaFail::kZbOnly: w.frame = false; break;
        case AlphaFail::kRgbOnly:
            w.depth = false;
            keep |= 0xFF000000u;
            break;
        }
    const int frame = FrameClassOf(env.frame.psm);
    if (frame == kFrame16)
        keep = Narrow16(keep) | 0xFFFF0000u;
    else if (frame == kFrame24)
        keep |= 0xFF000000u;
    w.frame_bytes = 0;
    for (u32 k = 0; k < 4; ++k)
        if (((keep >> (8 * k)) & 0xFF) != 0xFF)
            w.frame_bytes |= 1u << k;
    const int depth = DepthClassOf(env.depth);
    w.depth_bytes = depth == kDepth16 ? 0x3 : depth == kDepth24 ? 0x7 : 0xF;
    return w;
}

// SpriteTextureApart to the byte, for a sprite whose texels and pixels share
// blocks (a buffer read through another layout, one part of each pixel
// written from another): true when no byte a texel read may lie in is one
// the sprite's frame pixels or Z values are written to.  Worked out only for
// sprites of few pixels and texels, where it costs little beside drawing
// them; false for the others.
bool FindSpriteTexelsApartByBytes(const DrawEnv& env, const SpriteSetup& s)
{
    constexpr u64 kMostUnits = 1 << 16;
    constexpr u32 kMostSharedBlocks = 1024;
    struct Area {
        Psm psm;
        u32 bp, bw, x0, x1, y0, y1;
        u32 bytes;  // of each unit, the ones that count
    };
    Area areas[4];
    int written = 0, read = 0;
    const u32 x0 = static_cast<u32>(s.px_begin), x1 = static_cast<u32>(s.px_end);
    const u32 y0 = static_cast<u32>(s.py_begin), y1 = static_cast<u32>(s.py_end);
    const SpriteWrites writes = WritesOf(env);
    if (writes.frame)
        areas[written++] = {env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, writes.frame_bytes};
    if (writes.depth)
        areas[written++] = {env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, writes.depth_bytes};
    SpriteTexels rects[2];
    const u32 count = SpriteTexelRects(env, s, rects);
    for (u32 i = 0; i < count; ++i) {
        const SpriteTexels& r = rects[i];
        areas[written + read++] = {env.tex.psm, env.tex.level_tbp[r.level], env.tex.level_tbw[r.level],
                                   r.x0, r.x1 + 1, r.y0, r.y1 + 1, 0xF};
    }
    u64 units = 0;
    for (int i = 0; i < written + read; ++i)
        units += static_cast<u64>(areas[i].x1 - areas[i].x0) * (areas[i].y1 - areas[i].y0);
    if (units > kMostUnits)
        return false;
    // Calls `f(block, first byte in the block, bytes)` for every unit of `a`
    // (the bytes of its unit that count, as a mask from that byte on).
    auto each_unit = [](const Area& a, auto&& f) {
        const Layout& layout = LayoutOf(a.psm);
        const u32 shift = layout.unit_shift;
        const u32 bytes = shift >= 8 ? 1 : 1u << (8 - shift);
        const u32 mask = a.bytes & ((1u << bytes) - 1);
        for (u32 y = a.y0; y < a.y1; ++y) {
            const RowCursor row(layout, a.bp, a.bw, y);
            for (u32 x = a.x0; x < a.x1; ++x) {
                const u32 offset = row.Offset(x);
                const u32 in_block = offset & ((1u << shift) - 1);
                if (!f(offset >> shift, shift >= 8 ? in_block >> (shift - 8) : in_block * bytes, mask))
                    return false;
            }
        }
        return true;
    };
    // The blocks both sides touch, each given a slot of 256 bits.
    thread_local std::vector<u16> slot_of(kBlockCount, 0);
    std::vector<u32> touched;
    for (int i = 0; i < written; ++i)
        each_unit(areas[i], [&](u32 block, u32, u32) {
            if (slot_of[block] == 0) {
                slot_of[block] = 0xFFFF;
                touched.push_back(block);
            }
            return true;
        });
    std::vector<u32> shared;
    for (int i = written; i < written + read; ++i)
        each_unit(areas[i], [&](u32 block, u32, u32) {
            if (slot_of[block] == 0xFFFF && shared.size() < kMostSharedBlocks) {
                shared.push_back(block);
                slot_of[block] = static_cast<u16>(shared.size());
            }
            return true;
        });
    bool apart = shared.size() < kMostSharedBlocks;
    std::vector<u64> bits(shared.size() * 4, 0);
    auto word = [&](u32 slot, u32 byte) -> u64& { return bits[(slot - 1) * 4 + (byte >> 6)]; };
    for (int i = 0; apart && i < written; ++i)
        each_unit(areas[i], [&](u32 block, u32 byte, u32 mask) {
            const u32 slot = slot_of[block];
            if (slot != 0 && slot != 0xFFFF)
                for (u32 k = 0; mask >> k; ++k)
                    if (mask >> k & 1)
                        word(slot, byte + k) |= u64{1} << ((byte + k) & 63);
            return true;
        });
    for (int i = written; apart && i < written + read; ++i)
        apart = each_unit(areas[i], [&](u32 block, u32 byte, u32 mask) {
            const u32 slot = slot_of[block];
            if (slot == 0 || slot == 0xFFFF)
                return true;
            for (u32 k = 0; mask >> k; ++k)
                if ((mask >> k & 1) && (word(slot, byte + k) & (u64{1} << ((byte + k) & 63))))
                    return false;
            return true;
        });
    for (u32 block : touched)
        slot_of[block] = 0;
    return apart;
}

}  // namespace
}  // namespace pipeline

bool SpriteTexelsApartByBytes(const DrawEnv& env, const SpriteSetup& s)
{
    struct Key {
        u32 frame_psm, frame_bp, frame_bw, fbmsk, depth_psm, depth_bp, depth_write, ate, atst, afail;
        u32 tex_psm, tbp[7], tbw[7], tw, th, wms, wmt, minu, maxu, minv, maxv;
        u32 mag, mmin, lcm, l, k, mxl;
        s32 x0, y0, x1, y1, px_begin, px_end, py_begin, py_end, u0, u1, v0, v1;
        float s0, s1, t0, t1, q;
        bool fst;
        bool operator==(const Key&) const = default;
    };
    const TextureEnv& t = env.tex;
    Key key{static_cast<u32>(env.frame.psm), env.frame.bp, env.frame.bw, env.frame.fbmsk,
            static_cast<u32>(env.depth.psm), env.depth.bp, env.depth.used && env.depth.write, env.ate,
            static_cast<u32>(env.atst), static_cast<u32>(env.afail), static_cast<u32>(t.psm), {}, {}, t.tw, t.th,
            t.wms, t.wmt, t.minu, t.maxu, t.minv, t.maxv, t.mag_linear, t.mmin, t.lcm, t.l, static_cast<u32>(t.k),
            t.mxl, s.x0, s.y0, s.x1, s.y1, s.px_begin, s.px_end, s.py_begin, s.py_end, 0, 0, 0, 0, 0, 0, 0, 0, 1,
            env.prim.fst};
    std::copy(t.level_tbp, t.level_tbp + 7, key.tbp);
    std::copy(t.level_tbw, t.level_tbw + 7, key.tbw);
    if (env.prim.fst) {
        key.u0 = s.u0, key.u1 = s.u1, key.v0 = s.v0, key.v1 = s.v1;
    } else {
        key.s0 = s.s0, key.s1 = s.s1, key.t0 = s.t0, key.t1 = s.t1, key.q = s.q;
    }
    // The passes that read a buffer through another layout draw the same
    // sprites field after field: the last answers are kept.
    struct Entry {
        Key key;
        bool apart = false;
        bool used = false;
    };
    thread_local std::array<Entry, 64> known;
    thread_local u32 next = 0;
    for (const Entry& e : known)
        if (e.used && e.key == key)
            return e.apart;
    Entry& e = known[next++ % known.size()];
    e = Entry{key, FindSpriteTexelsApartByBytes(env, s), true};
    return e.apart;
}

namespace pipeline {
namespace {

// A flat sprite filled buffer by buffer with frame values `frame` (in the
// frame's format: FBA applied, 16-bit ones narrowed), Z written when it is
// written; false when the frame and Z buffer could share memory or rows are
// masked, where the pixel order matters.
bool FillSpriteByBlocks(const DrawEnv& env, const WriterState& ws, const SpriteSetup& s, LocalMemory& memory,
                        const FillPattern& frame, const RowBands& bands)
{
    if (env.scanmsk >= 2)
        return false;
    const u32 x0 = static_cast<u32>(s.px_begin), x1 = static_cast<u32>(s.px_end);
    const u32 y0 = static_cast<u32>(s.py_begin), y1 = static_cast<u32>(s.py_end);
    const bool zwrite = env.depth.used && ws.zwrite;
    u32 flo, fhi, zlo, zhi;
    if (!BlockRange(env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, flo, fhi))
        return false;
    if (zwrite) {
        if (!BlockRange(env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, zlo, zhi))
            return false;
        if (zlo < fhi && flo < zhi)
            return false;
        const u32 zs = std::min(s.z, env.depth.max);
        const int zc = DepthClassOf(env.depth);
        FillRect(memory, env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, FillPattern(zs),
                 zc == kDepth24 ? 0xFFFFFFu : 0xFFFFFFFFu, bands);
    }
    const int fc = FrameClassOf(env.frame.psm);
    FillRect(memory, env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, frame,
             ~ws.keep & (fc == kFrame24 ? 0xFFFFFFu : fc == kFrame16 ? 0xFFFFu : 0xFFFFFFFFu), bands);
    return true;
}

// The frame values of a flat colour `flat` as the writing stage leaves them
// without blending: dithered (16-bit frames with DTHE), clamped or wrapped,
// FBA applied and narrowed to the frame's format.
FillPattern FlatFramePattern(const DrawEnv& env, const Color& flat)
{
    FillPattern p;
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 4; ++x) {
            Color c = flat;
            DitherAndClamp(env.dither ? env.dimx[y][x] : 0, env.colclamp, c);
            if (env.fba)
                c.a |= 0x80;
            const u32 rgba = PackColor(c);
            p.value[y * 4 + x] = env.frame.is16 ? Narrow16(rgba) : rgba;
        }
    return p;
}

}  // namespace
}  // namespace pipeline

// A sprite made ready for the specialised pipelines once (PrepareSprite):
// its writing stage, its texture's reads and what stays fixed down its
// columns, then drawn band by band (DrawPreparedSprite), by several threads
// at once.  It points at the state, set-up, memory and CLUT it was prepared
// from, which stay as they are until it is drawn; what it keeps of its own
// (columns, palette) it keeps from sprite to sprite, for its room.
struct SpritePlan {
    const DrawEnv* given = nullptr;
    const SpriteSetup* s = nullptr;
    LocalMemory* memory = nullptr;
    // The state drawn: `given`, or one of these made from it.
    std::optional<DrawEnv> untested, without_depth;
    const DrawEnv* env = nullptr;
    Writer writer;
    bool alpha_test = false;
    bool nothing = false;  // nothing is drawn at all
    bool fill_depth = false;  // Z is filled by blocks first...
    bool draws = false;  // ...and then the frame drawn
    // Flat sprites: the colour, and whether it is filled by blocks.
    u32 rgba = 0;
    bool fill = false;
    FillPattern pattern;
    // Textured ones.
    bool uv = false;
    Texturing tex;
    alignas(16) u32 palette[256];
    std::optional<PrimitiveSampler> sampler;
    ShadeContext sc{};
    u32 tfx = 0;
    bool tcc = false, fog = false, avx2 = false;
    SpriteShadeFn shade = nullptr;
    int n = 0;
    std::vector<s32> u16s, ua, ub, fu;
    SpriteRowArgs args{};
    bool whole_rows = false;
    // Rows written two at a time (WriteSpriteRowPair32) by the walk of
    // one-texel-a-pixel sprites.
    bool row_pairs = false;
    std::vector<u32> depth_row_room;
    const u32* row_depths = nullptr;
    // The texel columns read: a run of consecutive texels, a window of
    // them, or each column on its own (see PrepareSprite).
    s32 lo = 0, hi = 0;
    bool run = false, window = false;
    int run_begin = 0, run_end = 0;
    SpriteReaders readers{};
    SpriteColumns cols;
    bool as_is = false, centred = false;
};

void SpritePlanDelete::operator()(SpritePlan* p) const
{
    delete p;
}

SpritePlanPtr MakeSpritePlan()
{
    return SpritePlanPtr(new SpritePlan);
}

namespace pipeline {
namespace {

// The horizontal weights of a column whose texels mix with fraction f.
__m128i SpriteWeights(s32 f)
{
    const s16 a = static_cast<s16>(16 - f), b = static_cast<s16>(f);
    return _mm_set_epi16(b, b, b, b, a, a, a, a);
}

}  // namespace
}  // namespace pipeline

bool PrepareSprite(const DrawEnv& given, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut,
                   SpritePlan& p)
{
    p.given = &given;
    p.s = &s;
    p.memory = &memory;
    p.untested.reset();
    p.without_depth.reset();
    p.sampler.reset();
    p.nothing = p.fill_depth = p.draws = false;
    Writer& writer = p.writer;
    writer = Writer{};
    const s32 alpha = given.prim.tme ? -1 : s.color.a;
    // An alpha test whose outcome varies from texel to texel, failing pixels
    // left alone: the sprite is drawn as one without the test, each row's
    // runs of passing pixels written once they are shaded.
    if (!MakeWriter(given, memory, writer, alpha)) {
        if (!given.prim.tme || !given.ate || given.afail != AlphaFail::kKeep || (given.date && given.frame.has_alpha))
            return false;
        p.untested.emplace(given);
        p.untested->ate = false;
        writer = Writer{};
        if (!MakeWriter(*p.untested, memory, writer, alpha))
            return false;
    }
    const bool alpha_test = p.untested.has_value();
    p.alpha_test = alpha_test;
    const DrawEnv& tested = p.untested ? *p.untested : given;
    // Rows are read whole before they are written: a sprite reading what it
    // writes is left to the general path, which keeps the pixel order.
    if (tested.prim.tme && !writer.nothing && !SpriteTextureApart(tested, s, writer.state.zwrite) &&
        !SpriteTexelsApartByBytes(given, s))
        return false;
    if (writer.nothing) {
        p.nothing = true;
        return true;
    }
    // A depth test that always passes, with no Z write (ZMSK, or the fail
    // action of an alpha test that always fails), leaves the Z buffer alone
    // and every pixel drawn, as no Z buffer would: the blur and brighten
    // passes' state.
    // A flat sprite whose depth test always passes and whose Z is written
    // apart from its frame pixels: Z is one value, filled by blocks first
    // (nothing of the sprite reads it), then the frame drawn likewise.
    // A textured one likewise: its texels lie apart from what it writes.
    p.fill_depth = !alpha_test && tested.depth.used && writer.state.zall != 0 && writer.state.zwrite &&
                   tested.scanmsk < 2 && FrameAndDepthApart(tested, s.px_begin, s.px_end, s.py_begin, s.py_end);
    if (tested.depth.used && writer.state.zall != 0 && (!writer.state.zwrite || p.fill_depth)) {
        p.without_depth.emplace(tested);
        p.without_depth->depth.used = p.without_depth->depth.test = p.without_depth->depth.write = false;
        writer = Writer{};
        if (!MakeWriter(*p.without_depth, memory, writer, alpha))
            return false;
        if (writer.nothing)
            return true;
    }
    p.draws = true;
    const DrawEnv& env = p.without_depth ? *p.without_depth : tested;
    p.env = &env;
    writer.state.disjoint = FrameAndDepthApart(env, s.px_begin, s.px_end, s.py_begin, s.py_end);
    if (writer.state.disjoint && writer.quads)
        writer.write = writer.quads;
    const WriterState& ws = writer.state;

    if (!env.prim.tme) {
        Color flat = s.color;
        if (env.prim.fge)
            flat = ApplyFog(flat, s.fog, env.fogcol);
        p.rgba = PackColor(flat);
        // Without blending or a depth test every pixel's value is known
        // beforehand, dithered or not.
        p.fill = writer.flat_fill ||
                 (env.dither && !env.blend && writer.frame_write && (!env.depth.used || ws.zall != 0));
        if (p.fill)
            p.pattern = FlatFramePattern(env, flat);
        return true;
    }

    const bool uv = env.prim.fst;
    p.uv = uv;
    const LodChoice lod = ChooseLodForQ(env.tex, uv ? 1.0f : s.q);
    Texturing& tex = p.tex;
    tex = Texturing{};
    MakeTexturing(env.tex, memory, lod, tex, &clut);
    // The palette is this thread's: the plan keeps its own copy.
    if (tex.expand.palette) {
        std::memcpy(p.palette, tex.expand.palette, sizeof p.palette);
        tex.expand.palette = p.palette;
    }
    if (!tex.direct)
        p.sampler.emplace(env.tex, memory, clut);
    p.sc = ShadeContext{&tex, p.sampler ? &*p.sampler : nullptr, FogColor16(env.fogcol)};
    // MODULATE by 0x80 in every channel taking the texel's alpha leaves the
    // texel as it is, as DECAL taking its alpha does.
    u32 tfx = env.tex.tfx;
    const bool tcc = env.tex.tcc, fog = env.prim.fge;
    if (tfx == 0 && tcc && !fog && PackColor(s.color) == 0x80808080u)
        tfx = 1;
    p.tfx = tfx;
    p.tcc = tcc;
    p.fog = fog;
    p.avx2 = ActiveSimdLevel() >= SimdLevel::kAvx2;
    p.shade = PickSpriteShade(tex, tfx, tcc, fog, p.avx2);

    const int n = s.px_end - s.px_begin;
    p.n = n;
    std::vector<s32>& u16s = p.u16s;
    u16s.resize(static_cast<size_t>(n));
    if (uv) {
        UvStepper u(s.u0, s.u1, s.x0, s.x1, s.px_begin);
        for (int i = 0; i < n; ++i, u.Next())
            u16s[static_cast<size_t>(i)] = u.Value();
    } else {
        for (s32 px = s.px_begin; px < s.px_end; ++px)
            u16s[static_cast<size_t>(px - s.px_begin)] = StepStq(s.s0, s.s1, s.q, env.tex.tw, s.x0, s.x1, px);
    }
    p.args = SpriteRowArgs{&s, u16s.data(), 0, s.fog, nullptr, nullptr, nullptr, {}, {}};
    // Rows whose colours are ready are written whole when the writing stage
    // goes by quads, which takes spans of any length (the others take
    // kChunk pixels at most).
    p.whole_rows = writer.quads && writer.write == writer.quads;
    // 16-bit frames with no depth stage or blending take their rows a group
    // of sixteen pixels at a time.
    if (p.whole_rows && env.frame.is16 && HalfColumns(env.frame.psm) && !env.blend && writer.frame_write &&
        (!env.depth.used || (ws.zall != 0 && !ws.zwrite)))
        writer.write = PickSpriteRowHalves(env.dither, ws.keep != 0, p.avx2);
    // Every row of a stretch drawn (no scan mask), the plain quad writer on
    // a CT32 frame: rows may be written in pairs.
    p.row_pairs = p.whole_rows && !alpha_test && env.frame.psm == Psm::kCT32 && env.scanmsk < 2 &&
                  writer.write == PlainQuadWrite32();
    p.row_depths = nullptr;
    if (p.whole_rows) {
        p.depth_row_room.assign(static_cast<size_t>(n) + 8, s.z);
        p.row_depths = p.depth_row_room.data() + 4;
    }
    if (!tex.direct)
        return true;

    // The texel columns (wrapped) of every pixel column, and the horizontal
    // weights.
    const TexLevel& l = tex.level;
    const bool linear = tex.linear;
    std::vector<s32>& ua = p.ua;
    std::vector<s32>& ub = p.ub;
    std::vector<s32>& fu = p.fu;
    // One entry of room past the last column for the reads two at a time.
    ua.resize(static_cast<size_t>(n) + 1);
    ub.resize(ua.size());
    fu.resize(ua.size());
    s32 lo = INT_MAX, hi = INT_MIN;
    for (int i = 0; i < n; ++i) {
        const s32 un = u16s[static_cast<size_t>(i)] >> l.n;
        if (!linear) {
            ua[i] = ub[i] = l.wu(un >> 4);
        } else {
            const s32 us = un - 8;
            fu[i] = us & 15;
            ua[i] = l.wu(us >> 4);
            ub[i] = l.wu((us >> 4) + 1);
        }
        lo = std::min({lo, ua[i], ub[i]});
        hi = std::max({hi, ua[i], ub[i]});
    }
    ua[n] = ub[n] = lo;
    fu[n] = 0;
    // Columns [run_begin, run_end) may be a run of consecutive texels (with
    // one weight when bilinear), read as a run; a first and a last column
    // held by a clamp at the texture's edge are not.
    auto is_run = [&](int b, int e) {
        if (e - b < 8)
            return false;
        for (int i = b; i < e; ++i)
            if (ua[i] != ua[b] + (i - b) || (linear && (ub[i] != ua[i] + 1 || fu[i] != fu[b])))
                return false;
        return true;
    };
    bool run = false;
    int run_begin = 0, run_end = 0;
    for (const auto& [b, e] : {std::pair{0, n}, std::pair{1, n}, std::pair{0, n - 1}, std::pair{1, n - 1}})
        if (is_run(b, e)) {
            run = true;
            run_begin = b;
            run_end = e;
            break;
        }
    // Otherwise, when the texels the columns read lie close together (a
    // magnified or halved texture), the texels lo .. hi are read as a run
    // and each column picks its own out of them; else each column is read
    // on its own.
    const bool window = !run && n > 0 && hi - lo < 2 * n + 16;
    const Psm tpsm = env.tex.psm;
    const int read = tex.tex_class == kTex16 && HalfColumns(tpsm)                                   ? kRunHalves
                     : (tex.tex_class == kTex32 || tex.tex_class == kTex24) && QuadColumns(tpsm) ? kRunQuads
                                                                                                  : kRunTexels;
    p.readers = PickReaders(tex.tex_class, read);
    // The columns read one by one: all of them, or the two outside a run;
    // with a window, the horizontal weights of every column.
    SpriteColumns& cols = p.cols;
    cols.c0.resize(ua.size());
    if (linear) {
        cols.c1.resize(ua.size());
        cols.wu.resize(ua.size());
    }
    for (int i = 0; i < n; ++i) {
        if (run && i >= run_begin && i < run_end)
            continue;
        if (linear)
            cols.wu[i].v = SpriteWeights(fu[i]);
        if (window)
            continue;
        cols.c0[i] = l.ColFor(static_cast<u32>(ua[i]));
        if (linear)
            cols.c1[i] = l.ColFor(static_cast<u32>(ub[i]));
    }
    if (linear)
        cols.wu[n].v = SpriteWeights(0);
    if (window)
        for (int i = 0; i <= n; ++i) {
            ua[i] -= lo;
            ub[i] -= lo;
        }
    p.lo = lo;
    p.hi = hi;
    p.run = run;
    p.window = window;
    p.run_begin = run_begin;
    p.run_end = run_end;
    // DECAL taking the texel's alpha, without fog: the texels are the colours.
    p.as_is = tfx == 1 && tcc && !fog;
    // Texel centres on the pixel centres across (every fu 0) and down (fv
    // 0): the weights are 16 x 16 on the first texel and 0 on the others, so
    // each pixel is that texel, as nearest reads it.
    bool centred = linear;
    for (int i = 0; i < n && centred; ++i)
        centred = fu[i] == 0;
    p.centred = centred;
    return true;
}

void DrawPreparedSprite(const SpritePlan& p, const RowBands& bands)
{
    if (p.nothing)
        return;
    const DrawEnv& given = *p.given;
    const SpriteSetup& s = *p.s;
    LocalMemory& memory = *p.memory;
    if (p.fill_depth) {
        const DrawEnv& tested = p.untested ? *p.untested : given;
        FillRect(memory, tested.depth.psm, tested.depth.bp, tested.frame.bw, static_cast<u32>(s.px_begin),
                 static_cast<u32>(s.px_end), static_cast<u32>(s.py_begin), static_cast<u32>(s.py_end),
                 FillPattern(std::min(s.z, tested.depth.max)),
                 DepthClassOf(tested.depth) == kDepth24 ? 0xFFFFFFu : 0xFFFFFFFFu, bands);
    }
    if (!p.draws)
        return;
    const DrawEnv& env = *p.env;
    const Writer& writer = p.writer;
    const WriterState& ws = writer.state;
    const bool alpha_test = p.alpha_test;
    const Layout& frame_layout = LayoutOf(env.frame.psm);
    const Layout& depth_layout = LayoutOf(env.depth.psm);
    // Room of a quad on either side of the span for the writing stage.
    alignas(16) u32 color_room[4 + kChunk + 4];
    alignas(16) u32 depth_room[4 + kChunk + 4];
    u32* const colors = color_room + 4;
    u32* const depths = depth_room + 4;
    for (u32& d : depth_room)
        d = s.z;

    if (!env.prim.tme) {
        const u32 rgba = p.rgba;
        if (p.fill && FillSpriteByBlocks(env, ws, s, memory, p.pattern, bands))
            return;
        for (u32& c : color_room)
            c = rgba;
        const BlocksAhead frame_ahead(frame_layout, env.frame.bp, env.frame.bw, static_cast<u32>(s.px_begin),
                                      static_cast<u32>(s.px_end));
        for (s32 y = s.py_begin; y < s.py_end;) {
            const s32 end = bands.Stretch(y, s.py_end);
            PixelRow row(frame_layout, depth_layout, env, static_cast<u32>(y));
            for (s32 py = y; py < end; ++py, row.Down(frame_layout, depth_layout, env)) {
                if (RowMasked(env.scanmsk, py))
                    continue;
                frame_ahead.Row(ws.words, py, s.py_end, bands);
                if (writer.flat_fill) {
                    writer.fill(ws, row, static_cast<u32>(s.px_begin), s.px_end - s.px_begin, rgba, s.z);
                    continue;
                }
                for (s32 px = s.px_begin; px < s.px_end; px += kChunk)
                    writer.write(ws, row, static_cast<u32>(px), std::min(kChunk, s.px_end - px), colors, depths);
            }
            y = std::max(y, end);
        }
        return;
    }

    const bool uv = p.uv;
    const Texturing& tex = p.tex;
    const ShadeContext& sc = p.sc;
    const u32 tfx = p.tfx;
    const bool tcc = p.tcc, fog = p.fog, avx2 = p.avx2;
    const SpriteShadeFn shade = p.shade;
    const int n = p.n;
    SpriteRowArgs args = p.args;
    const bool whole_rows = p.whole_rows;
    const u32* const row_depths = p.row_depths;
    // The span's pixels, or with the alpha test its runs of passing ones.
    auto write_span = [&](const PixelRow& row, u32 x, int k, const u32* c, const u32* d) {
        if (!alpha_test) {
            writer.write(ws, row, x, k, c, d);
            return;
        }
        for (int i = 0; i < k;) {
            while (i < k && !AlphaPasses(given.atst, static_cast<s32>(c[i] >> 24), given.aref))
                ++i;
            int j = i;
            while (j < k && AlphaPasses(given.atst, static_cast<s32>(c[j] >> 24), given.aref))
                ++j;
            if (j > i)
                writer.write(ws, row, x + static_cast<u32>(i), j - i, c + i, d + i);
            i = j;
        }
    };
    // Rows in pairs: an even row's colours wait here (with the writing
    // stage's room around them) for the row below, and the two are written
    // together; the quads the span only partly covers are written row by
    // row.
    const bool pairs = p.row_pairs && n >= 8;
    const u32 x_begin = static_cast<u32>(s.px_begin), x_end = static_cast<u32>(s.px_end);
    const u32 pair_begin = (x_begin + 3) & ~3u, pair_end = x_end & ~3u;
    std::vector<u32>& pair_room = scratch.pair;
    if (pairs)
        pair_room.resize(static_cast<size_t>(n) + 16);
    u32* const waiting = pair_room.data() + 4;
    std::optional<PixelRow> waiting_row;
    // Row py (of the stretch of rows y .. end - 1) in whole.
    auto write_row = [&](const PixelRow& row, s32 py, s32 y, s32 end, const u32* row_colors) {
        if (pairs && (py & 1) == 0 && py + 1 < end) {
            std::memcpy(waiting, row_colors, static_cast<size_t>(n) * sizeof(u32));
            waiting_row.emplace(row);
            return;
        }
        if (pairs && (py & 1) != 0 && py > y) {
            const PixelRow& above = *waiting_row;
            for (const auto& [r, c] : {std::pair<const PixelRow&, const u32*>{above, waiting},
                                       std::pair<const PixelRow&, const u32*>{row, row_colors}}) {
                writer.write(ws, r, x_begin, static_cast<int>(pair_begin - x_begin), c, row_depths);
                writer.write(ws, r, pair_end, static_cast<int>(x_end - pair_end), c + (pair_end - x_begin),
                             row_depths);
            }
            WriteSpriteRowPair32(ws, above, pair_begin, pair_end, waiting + (pair_begin - x_begin),
                                 row_colors + (pair_begin - x_begin));
            return;
        }
        writer.write(ws, row, x_begin, n, row_colors, row_depths);
    };
    // The band's rows only, a stretch of them at a time, each stretch
    // stepping v from its first row.
    const BlocksAhead frame_ahead(frame_layout, env.frame.bp, env.frame.bw, x_begin, x_end);
    auto each_row = [&](auto&& row_work) {
        for (s32 y = s.py_begin; y < s.py_end;) {
            const s32 end = bands.Stretch(y, s.py_end);
            UvStepper v(s.v0, s.v1, s.y0, s.y1, y);
            PixelRow row(frame_layout, depth_layout, env, static_cast<u32>(y));
            for (s32 py = y; py < end; ++py, v.Next(), row.Down(frame_layout, depth_layout, env)) {
                if (RowMasked(env.scanmsk, py))
                    continue;
                frame_ahead.Row(ws.words, py, s.py_end, bands);
                args.v16 = uv ? v.Value() : StepStq(s.t0, s.t1, s.q, env.tex.th, s.y0, s.y1, py);
                const u32* row_colors = row_work();
                if (row_colors && whole_rows && !alpha_test) {
                    write_row(row, py, y, end, row_colors);
                    continue;
                }
                if (row_colors && whole_rows) {
                    write_span(row, static_cast<u32>(s.px_begin), n, row_colors, row_depths);
                    continue;
                }
                for (s32 px = s.px_begin; px < s.px_end; px += kChunk) {
                    const int k = std::min(kChunk, s.px_end - px);
                    const u32* c = colors;
                    if (row_colors)
                        c = row_colors + (px - s.px_begin);
                    else
                        shade(sc, args, px - s.px_begin, k, colors);
                    write_span(row, static_cast<u32>(px), k, c, depths);
                }
            }
            y = std::max(y, end);
        }
    };
    if (!tex.direct) {
        each_row([] { return static_cast<const u32*>(nullptr); });
        return;
    }

    const TexLevel& l = tex.level;
    const bool linear = tex.linear;
    const std::vector<s32>& ua = p.ua;
    const std::vector<s32>& ub = p.ub;
    const std::vector<s32>& fu = p.fu;
    const s32 lo = p.lo, hi = p.hi;
    const bool run = p.run, window = p.window;
    const int run_begin = p.run_begin, run_end = p.run_end;
    const SpriteReaders& readers = p.readers;
    const SpriteColumns& cols = p.cols;
    // Texels of a run (with a texel after it when bilinear) or a window, and
    // room for the reads' overrun on either side; nearest keeps the row's
    // texels here too.
    std::vector<u32>& texel_room = scratch.texels;
    texel_room.resize(static_cast<size_t>(std::max(n, window ? hi - lo + 1 : 0)) + 64);
    u32* const run_texels = texel_room.data() + 16;
    std::vector<u32>& row_room = scratch.row;
    row_room.resize(static_cast<size_t>(n) + 64);
    u32* const row_texels = row_room.data() + 16;

    // The texels of texel row v at columns ua (nearest, or the first texels
    // of a bilinear sprite's), kept while the texel row stays.
    s32 texels_v = -1;
    auto texel_row = [&](s32 v) {
        if (v != texels_v) {
            const TexLevel::Row r = l.RowFor(static_cast<u32>(v));
            if (run) {
                readers.run(l, tex.expand, r, static_cast<u32>(ua[run_begin]), run_end - run_begin,
                            row_texels + run_begin);
                if (run_begin > 0)
                    readers.columns(l, tex.expand, r, cols.c0.data(), 1, row_texels);
                if (run_end < n)
                    readers.columns(l, tex.expand, r, cols.c0.data() + n - 1, 1, row_texels + n - 1);
            } else if (window) {
                readers.run(l, tex.expand, r, static_cast<u32>(lo), hi - lo + 1, run_texels);
                for (int i = 0; i < n; ++i)
                    row_texels[i] = run_texels[ua[i]];
            } else {
                readers.columns(l, tex.expand, r, cols.c0.data(), n, row_texels);
            }
            texels_v = v;
        }
        return row_texels;
    };
    // DECAL taking the texel's alpha, without fog: the texels are the colours.
    const bool as_is = p.as_is;
    // A row's colours, shaded whole (with room for the writing stage's
    // reads around them), and what they were shaded from: rows with the
    // same texel rows and vertical weight have the same colours.
    std::vector<u32>& shaded_room = scratch.shaded;
    shaded_room.resize(static_cast<size_t>(n) + 16);
    u32* const shaded = shaded_room.data() + 4;
    struct ShadedFrom {
        s32 v0 = -1, v1 = -1, fv = -1;
        bool operator==(const ShadedFrom&) const = default;
    } shaded_from;
    auto shade_row = [&](const ShadedFrom& from, SpriteShadeFn fn) -> const u32* {
        if (!(from == shaded_from)) {
            fn(sc, args, 0, n, shaded);
            shaded_from = from;
        }
        return shaded;
    };
    const bool centred = p.centred;
    // Every column one texel of a run (bilinear: with one horizontal
    // weight), no alpha test, rows written whole: the copy and brighten
    // passes.  The rows are walked here with their texel rows read, weighted
    // and shaded straight, as the general walk below does them: a bilinear
    // row with its texel centres on the pixel centres across and down as
    // nearest reads it.
    if (run && run_begin == 0 && run_end == n && !alpha_test && whole_rows) {
        const SpriteShadeFn plain_shade = linear ? PickNearestShade(tfx, tcc, fog, avx2) : shade;
        const u32 first_texel = static_cast<u32>(ua[0]);
        s32 read_v = -1;  // the texel row in row_texels
        // Bilinear: the texel rows weighted across in filtered[0] and [1].
        s32 slot_v[2] = {-1, -1};
        for (std::vector<u64>& f : scratch.filtered)
            f.resize(ua.size() + 8);
        u64* const slot[2] = {scratch.filtered[0].data(), scratch.filtered[1].data()};
        const __m128i wu = SpriteWeights(fu[0]);
        const WeightRunFn weigh = avx2 ? WeightRunAvx2 : WeightRun;
        // What `shaded` holds: texel rows v0 and v1 mixed with weight fv, or
        // (fv -2) texel row v0 as it is.
        s32 shaded_v0 = -1, shaded_v1 = -1, shaded_fv = -1;
        // The texel rows read go down (or up) with the rows drawn.
        const Layout& texel_layout = LayoutOf(env.tex.psm);
        const u32 level = tex.lod.level;
        const RowBands all_rows;
        const BlocksAhead texels_ahead(texel_layout, env.tex.level_tbp[level], env.tex.level_tbw[level], first_texel,
                                       first_texel + static_cast<u32>(n) + 1);
        const s32 texel_block_rows = texel_layout.block_height;
        const bool texels_down = uv ? s.v1 >= s.v0 : s.t1 >= s.t0;
        auto texels_read = [&](s32 tv) __attribute__((always_inline)) {
            if (texels_down)
                texels_ahead.Row(l.words, tv, INT_MAX, all_rows);
            else if ((tv & (texel_block_rows - 1)) == 0 && tv >= texel_block_rows)
                texels_ahead.Row(l.words, tv - texel_block_rows, INT_MAX, all_rows);
        };
        for (s32 y = s.py_begin; y < s.py_end;) {
            const s32 end = bands.Stretch(y, s.py_end);
            UvStepper v(s.v0, s.v1, s.y0, s.y1, y);
            PixelRow row(frame_layout, depth_layout, env, static_cast<u32>(y));
            for (s32 py = y; py < end; ++py, v.Next(), row.Down(frame_layout, depth_layout, env)) {
                if (RowMasked(env.scanmsk, py))
                    continue;
                frame_ahead.Row(ws.words, py, s.py_end, bands);
                const s32 v16 = uv ? v.Value() : StepStq(s.t0, s.t1, s.q, env.tex.th, s.y0, s.y1, py);
                s32 v0, v1, fv;
                if (!linear) {
                    v0 = v1 = l.wv((v16 >> l.n) >> 4);
                    fv = -2;
                } else {
                    const s32 vs = (v16 >> l.n) - 8;
                    fv = vs & 15;
                    v0 = l.wv(vs >> 4);
                    v1 = l.wv((vs >> 4) + 1);
                    if (centred && fv == 0) {
                        v1 = v0;
                        fv = -2;
                    }
                }
                const u32* row_colors = shaded;
                if (fv == -2) {
                    if (v0 != read_v) {
                        texels_read(v0);
                        readers.run(l, tex.expand, l.RowFor(static_cast<u32>(v0)), first_texel, n, row_texels);
                        read_v = v0;
                    }
                    if (as_is) {
                        row_colors = row_texels;
                    } else if (v0 != shaded_v0 || fv != shaded_fv) {
                        args.texels = row_texels;
                        plain_shade(sc, args, 0, n, shaded);
                        shaded_v0 = shaded_v1 = v0;
                        shaded_fv = fv;
                    }
                } else if (v0 != shaded_v0 || v1 != shaded_v1 || fv != shaded_fv) {
                    // The weighted row of texel row tv, kept in the slot not
                    // holding `keep`.
                    auto weighted = [&](s32 tv, s32 keep) __attribute__((always_inline)) {
                        if (slot_v[0] == tv)
                            return slot[0];
                        if (slot_v[1] == tv)
                            return slot[1];
                        const int k = slot_v[0] == keep ? 1 : 0;
                        texels_read(tv);
                        readers.run(l, tex.expand, l.RowFor(static_cast<u32>(tv)), first_texel, n + 1, run_texels);
                        weigh(run_texels, n, wu, slot[k]);
                        slot_v[k] = tv;
                        return slot[k];
                    };
                    args.h0 = weighted(v0, v1);
                    args.h1 = fv == 0 ? args.h0 : weighted(v1, v0);
                    args.wv0 = _mm_set1_epi16(static_cast<s16>(16 - fv));
                    args.wv1 = _mm_set1_epi16(static_cast<s16>(fv));
                    shade(sc, args, 0, n, shaded);
                    shaded_v0 = v0;
                    shaded_v1 = v1;
                    shaded_fv = fv;
                }
                write_row(row, py, y, end, row_colors);
            }
            y = std::max(y, end);
        }
        return;
    }
    if (!linear) {
        each_row([&]() -> const u32* {
            const s32 v = l.wv((args.v16 >> l.n) >> 4);
            args.texels = texel_row(v);
            return as_is ? args.texels : shade_row({v, v, 0}, shade);
        });
        return;
    }
    const SpriteShadeFn centred_shade = PickNearestShade(tfx, tcc, fog, avx2);

    // Two weighted texel rows, tagged with their row; a row below reuses the
    // one it shares with the row above.
    std::vector<u64>* const filtered = scratch.filtered;
    s32 filtered_v[2] = {-1, -1};
    for (int k = 0; k < 2; ++k)
        filtered[k].resize(ua.size() + 8);
    const __m128i run_weights = run ? SpriteWeights(fu[run_begin]) : _mm_setzero_si128();
    const WeightRunFn weight_run = avx2 ? WeightRunAvx2 : WeightRun;
    auto filtered_row = [&](s32 v, s32 keep) -> const u64* {
        for (int k = 0; k < 2; ++k)
            if (filtered_v[k] == v)
                return filtered[k].data();
        const int k = filtered_v[0] == keep ? 1 : 0;
        u64* out = filtered[k].data();
        const TexLevel::Row r = l.RowFor(static_cast<u32>(v));
        if (run) {
            readers.run(l, tex.expand, r, static_cast<u32>(ua[run_begin]), run_end - run_begin + 1, run_texels);
            weight_run(run_texels, run_end - run_begin, run_weights, out + run_begin);
            if (run_begin > 0)
                readers.column_filter(l, tex.expand, r, cols, 0, out);
            if (run_end < n)
                readers.column_filter(l, tex.expand, r, cols, static_cast<size_t>(n - 1), out);
        } else if (window) {
            readers.run(l, tex.expand, r, static_cast<u32>(lo), hi - lo + 1, run_texels);
            WeightPicked(run_texels, ua.data(), ub.data(), cols.wu.data(), n, out);
        } else {
            readers.filter(l, tex.expand, r, cols, n, out);
        }
        filtered_v[k] = v;
        return out;
    };
    each_row([&]() -> const u32* {
        const s32 vs = (args.v16 >> l.n) - 8, fv = vs & 15;
        const s32 v0 = l.wv(vs >> 4), v1 = l.wv((vs >> 4) + 1);
        if (centred && fv == 0) {
            args.texels = texel_row(v0);
            // Tagged apart from the mixed rows (fv -2).
            return as_is ? args.texels : shade_row({v0, v0, -2}, centred_shade);
        }
        if (ShadedFrom{v0, v1, fv} == shaded_from)
            return shaded;
        args.h0 = filtered_row(v0, v1);
        // A row with no weight below reads the one above twice: its
        // products with the zero weight are zero all the same.
        args.h1 = fv == 0 ? args.h0 : filtered_row(v1, v0);
        args.wv0 = _mm_set1_epi16(static_cast<s16>(16 - fv));
        args.wv1 = _mm_set1_epi16(static_cast<s16>(fv));
        return shade_row({v0, v1, fv}, shade);
    });
}

bool DrawSpriteSpecialised(const DrawEnv& given, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut,
                           const RowBands& bands)
{
    thread_local const SpritePlanPtr plan = MakeSpritePlan();
    if (!PrepareSprite(given, s, memory, clut, *plan))
        return false;
    DrawPreparedSprite(*plan, bands);
    return true;
}

namespace pipeline {
namespace {

// The texels a run of raw coordinates [a, b] reads after a wrap mode, as
// [lo, hi].
void WrapRange(s32 a, s32 b, u32 mode, u32 size_log2, u32 min, u32 max, u32& lo, u32& hi)
{
    const s32 top = (1 << size_log2) - 1;
    switch (mode) {
    case kWrapRepeat:
        if (static_cast<s64>(b) - a >= top || (a & top) > (b & top)) {
            lo = 0;
            hi = static_cast<u32>(top);
        } else {
            lo = static_cast<u32>(a & top);
            hi = static_cast<u32>(b & top);
        }
        return;
    case kWrapClamp:
        lo = static_cast<u32>(std::clamp(a, 0, top));
        hi = static_cast<u32>(std::clamp(b, 0, top));
        return;
    case kWrapRegionClamp:
        lo = static_cast<u32>(std::max(static_cast<s32>(min), std::min(a, static_cast<s32>(max))));
        hi = static_cast<u32>(std::max(static_cast<s32>(min), std::min(b, static_cast<s32>(max))));
        return;
    default:
        lo = max;
        hi = min | max;
        return;
    }
}

}  // namespace
}  // namespace pipeline

u32 SpriteTexelRects(const DrawEnv& env, const SpriteSetup& s, SpriteTexels (&rects)[2])
{
    const TextureEnv& tex = env.tex;
    const bool uv = env.prim.fst;
    auto u16_at = [&](s32 px) {
        return uv ? StepUv(s.u0, s.u1, s.x0, s.x1, px) : StepStq(s.s0, s.s1, s.q, tex.tw, s.x0, s.x1, px);
    };
    auto v16_at = [&](s32 py) {
        return uv ? StepUv(s.v0, s.v1, s.y0, s.y1, py) : StepStq(s.t0, s.t1, s.q, tex.th, s.y0, s.y1, py);
    };
    const s32 ua = u16_at(s.px_begin), ub = u16_at(s.px_end - 1);
    const s32 va = v16_at(s.py_begin), vb = v16_at(s.py_end - 1);
    const LodChoice lod = ChooseLodForQ(tex, uv ? 1.0f : s.q);
    u32 count = 0;
    for (u32 n = lod.level; n <= lod.level + (lod.mix16 != 0 ? 1u : 0u) && n < 7; ++n) {
        const u32 tw = tex.tw > n ? tex.tw - n : 0, th = tex.th > n ? tex.th - n : 0;
        // Raw texel coordinates: the one holding each end, or the two
        // around it for the bilinear filter.
        const s32 bias = lod.linear ? 8 : 0;
        const s32 u_lo = ((std::min(ua, ub) >> n) - bias) >> 4, u_hi = (((std::max(ua, ub) >> n) - bias) >> 4) + lod.linear;
        const s32 v_lo = ((std::min(va, vb) >> n) - bias) >> 4, v_hi = (((std::max(va, vb) >> n) - bias) >> 4) + lod.linear;
        SpriteTexels& r = rects[count++];
        r.level = n;
        WrapRange(u_lo, u_hi, tex.wms, tw, tex.minu >> n, tex.maxu >> n, r.x0, r.x1);
        WrapRange(v_lo, v_hi, tex.wmt, th, tex.minv >> n, tex.maxv >> n, r.y0, r.y1);
    }
    return count;
}

}  // namespace console::gs
