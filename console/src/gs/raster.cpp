#include "gs/raster.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "gs/drawstats.h"
#include "gs/drawthreads.h"
#include "gs/pipeline.h"
#include "gs/pixel.h"
#include "gs/texsample.h"

namespace console::gs {
namespace {

constexpr double kTexelLimit16 = 1048576.0;

bool g_reference_path = false;
bool g_count_pixels = false;
u64 g_pixels_covered = 0;

// The colour of one pixel of a triangle, line or point from its attributes:
// the fragment colour (flat or interpolated), the texture sample through the
// texture function, then fog.
class FragmentShader {
public:
    FragmentShader(const DrawEnv& env, const LocalMemory& memory, const ClutBuffer& clut, bool q_constant, float q,
                   const PrimitiveSampler* sampler = nullptr)
        : env_(env), memory_(memory), clut_(clut), sampler_(sampler)
    {
        textured_ = env.prim.tme;
        uv_ = env.prim.fst;
        // UV coordinates have Q = 1 for the level of detail.
        lod_per_pixel_ = textured_ && env.tex.lod_matters && !uv_ && !q_constant;
        if (textured_ && !lod_per_pixel_)
            lod_ = ChooseLodForQ(env.tex, uv_ ? 1.0f : q);
    }

    bool NeedsTexture() const { return textured_; }

    Color Shade(const double* a, const Color* flat) const
    {
        const Color f = flat ? *flat
                             : Color{ToChannel(a[kAttrR], 255.0), ToChannel(a[kAttrG], 255.0),
                                     ToChannel(a[kAttrB], 255.0), ToChannel(a[kAttrA], 255.0)};
        Color c = f;
        if (textured_) {
            s32 u16, v16;
            LodChoice lod = lod_;
            if (uv_) {
                u16 = FloorToInt(std::clamp(a[kAttrU], -kTexelLimit16, kTexelLimit16));
                v16 = FloorToInt(std::clamp(a[kAttrV], -kTexelLimit16, kTexelLimit16));
            } else {
                const double q = a[kAttrQ];
                u16 = TexelCoordinate16(a[kAttrS] / q, env_.tex.tw);
                v16 = TexelCoordinate16(a[kAttrT] / q, env_.tex.th);
                if (lod_per_pixel_)
                    lod = ChooseLod(env_.tex, LevelOfDetail16(env_.tex, static_cast<float>(q)));
            }
            const Color t =
                sampler_ ? sampler_->Sample(lod, u16, v16) : SampleTexture(env_.tex, memory_, clut_, lod, u16, v16);
            c = ApplyTextureFunction(env_.tex.tfx, env_.tex.tcc, f, t);
        }
        if (env_.prim.fge)
            c = ApplyFog(c, static_cast<u32>(ToChannel(a[kAttrF], 255.0)), env_.fogcol);
        return c;
    }

private:
    const DrawEnv& env_;
    const LocalMemory& memory_;
    const ClutBuffer& clut_;
    const PrimitiveSampler* sampler_;
    bool textured_ = false;
    bool uv_ = false;
    bool lod_per_pixel_ = false;
    LodChoice lod_;
};

// The sprite with the per-pixel work that does not change along a row or
// down a column taken out of the loops: U depends only on the column and V
// only on the row, so both are stepped exactly once each, texels are read
// through the primitive's sampler and pixels written through a PixelWriter.
void RasterizeSpriteFast(const DrawEnv& env, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut,
                         const RowBands& rows = RowBands{})
{
    const bool textured = env.prim.tme;
    const bool uv = env.prim.fst;
    const PixelWriter writer(env, memory);
    Color flat = s.color;
    if (!textured) {
        if (env.prim.fge)
            flat = ApplyFog(flat, s.fog, env.fogcol);
        for (s32 py = s.py_begin; py < s.py_end; ++py) {
            if (RowMasked(env.scanmsk, py) || !rows.Has(py))
                continue;
            const PixelRow row(env, static_cast<u32>(py));
            for (s32 px = s.px_begin; px < s.px_end; ++px)
                writer.Write(row, static_cast<u32>(px), flat, s.z);
        }
        return;
    }

    const LodChoice lod = ChooseLodForQ(env.tex, uv ? 1.0f : s.q);
    const PrimitiveSampler sampler(env.tex, memory, clut);
    std::vector<s32> u16s(static_cast<size_t>(s.px_end - s.px_begin));
    for (s32 px = s.px_begin; px < s.px_end; ++px)
        u16s[static_cast<size_t>(px - s.px_begin)] =
            uv ? StepUv(s.u0, s.u1, s.x0, s.x1, px) : StepStq(s.s0, s.s1, s.q, env.tex.tw, s.x0, s.x1, px);
    const u32 tfx = env.tex.tfx;
    const bool tcc = env.tex.tcc;
    const bool fge = env.prim.fge;
    for (s32 py = s.py_begin; py < s.py_end; ++py) {
        if (RowMasked(env.scanmsk, py) || !rows.Has(py))
            continue;
        const PixelRow row(env, static_cast<u32>(py));
        const s32 v16 = uv ? StepUv(s.v0, s.v1, s.y0, s.y1, py) : StepStq(s.t0, s.t1, s.q, env.tex.th, s.y0, s.y1, py);
        for (s32 px = s.px_begin; px < s.px_end; ++px) {
            const Color t = sampler.Sample(lod, u16s[static_cast<size_t>(px - s.px_begin)], v16);
            Color c = ApplyTextureFunction(tfx, tcc, s.color, t);
            if (fge)
                c = ApplyFog(c, s.fog, env.fogcol);
            writer.Write(row, static_cast<u32>(px), c, s.z);
        }
    }
}

// Marks the frame and Z blocks of the box [x0, x1) x [y0, y1) as written
// (all memory when a buffer there is not one stretch of it), before the
// primitive is drawn or queued; the blocks marked.  The buffers' grids are
// kept for the state last seen.
TargetBlocks NoteTargets(const DrawEnv& env, LocalMemory& memory, s32 x0, s32 x1, s32 y0, s32 y1)
{
    TargetBlocks b;
    if (x0 >= x1 || y0 >= y1 || x0 < 0 || y0 < 0) {
        b.known = true;
        return b;
    }
    // The blocks of the last box found whole, by the pages it spans: the
    // next primitive mostly lies in the same ones.  Kept only while both
    // buffers have pages of one size, which the frame's grid then names.
    struct Grids {
        u64 serial = 0;
        PageGrid frame, depth;
        bool same_pages = false;
        u32 page_box[4] = {~0u, ~0u, ~0u, ~0u};
        u32 frame_lo = 0, frame_hi = 0, depth_lo = 0, depth_hi = 0;
    };
    thread_local Grids grids;
    if (env.serial == 0 || grids.serial != env.serial) {
        grids.serial = env.serial;
        grids.frame = GridOf(env.frame.psm, env.frame.bp, env.frame.bw);
        grids.depth = GridOf(env.depth.psm, env.depth.bp, env.frame.bw);
        grids.same_pages = grids.frame.shift_x == grids.depth.shift_x && grids.frame.shift_y == grids.depth.shift_y;
        grids.page_box[0] = ~0u;
    }
    const u32 ux0 = static_cast<u32>(x0), ux1 = static_cast<u32>(x1);
    const u32 uy0 = static_cast<u32>(y0), uy1 = static_cast<u32>(y1);
    const u32 page_box[4] = {ux0 >> grids.frame.shift_x, (ux1 - 1) >> grids.frame.shift_x,
                             uy0 >> grids.frame.shift_y, (uy1 - 1) >> grids.frame.shift_y};
    // Kept in locals, not read back from `b`.
    u32 frame_lo, frame_hi, depth_lo = 0, depth_hi = 0;
    if (page_box[0] == grids.page_box[0] && page_box[1] == grids.page_box[1] && page_box[2] == grids.page_box[2] &&
        page_box[3] == grids.page_box[3]) {
        frame_lo = grids.frame_lo;
        frame_hi = grids.frame_hi;
        depth_lo = grids.depth_lo;
        depth_hi = grids.depth_hi;
    } else {
        if (!GridRange(grids.frame, ux0, ux1, uy0, uy1, frame_lo, frame_hi) ||
            (env.depth.used && !GridRange(grids.depth, ux0, ux1, uy0, uy1, depth_lo, depth_hi))) {
            memory.NoteWriteAnywhere();
            return b;
        }
        if (grids.same_pages && env.serial != 0) {
            std::copy(page_box, page_box + 4, grids.page_box);
            grids.frame_lo = frame_lo;
            grids.frame_hi = frame_hi;
            grids.depth_lo = depth_lo;
            grids.depth_hi = depth_hi;
        }
    }
    b.known = true;
    b.frame_lo = frame_lo;
    b.frame_hi = frame_hi;
    b.depth_lo = depth_lo;
    b.depth_hi = depth_hi;
    memory.NoteWrite(frame_lo, frame_hi);
    if (env.depth.used)
        memory.NoteWrite(depth_lo, depth_hi);
    return b;
}

void NoteScissor(const DrawEnv& env, LocalMemory& memory)
{
    NoteTargets(env, memory, env.scax0, env.scax1 + 1, env.scay0, env.scay1 + 1);
}

}  // namespace

void DrawSpriteRows(const DrawEnv& env, const SpriteSetup& sprite, LocalMemory& memory, const ClutBuffer& clut,
                    const RowBands& rows)
{
    RasterizeSpriteFast(env, sprite, memory, clut, rows);
}

void CountPixels(bool on)
{
    g_count_pixels = on;
    g_pixels_covered = 0;
}

u64 PixelsCovered()
{
    return g_pixels_covered;
}

void SetReferencePath(bool on)
{
    DrainDrawQueue();
    g_reference_path = on;
}

bool ReferencePath()
{
    return g_reference_path;
}

s32 TexelCoordinate16(double st_over_q, u32 size_log2)
{
    const double texels16 = st_over_q * static_cast<double>(1 << size_log2) * 16.0;
    if (std::isnan(texels16))
        return 0;
    return FloorToInt(std::clamp(texels16, -kTexelLimit16, kTexelLimit16));
}

void RasterizeSprite(const DrawEnv& env, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut)
{
    if (g_count_pixels)
        g_pixels_covered += static_cast<u64>(s.px_end - s.px_begin) * static_cast<u64>(s.py_end - s.py_begin);
    const TargetBlocks targets = NoteTargets(env, memory, s.px_begin, s.px_end, s.py_begin, s.py_end);
    if (!g_reference_path) {
        if (QueueSprite(env, s, memory, clut))
            return;
        WaitToDrawSpriteHere(env, s, targets);
        if (!DrawSpriteSpecialised(env, s, memory, clut, RowBands{})) {
            NotePerPixelPath();
            RasterizeSpriteFast(env, s, memory, clut);
        }
        return;
    }
    NotePerPixelPath();
    const bool textured = env.prim.tme;
    const bool uv = env.prim.fst;
    LodChoice lod;
    if (textured)
        lod = ChooseLodForQ(env.tex, uv ? 1.0f : s.q);
    Color flat = s.color;
    if (!textured && env.prim.fge)
        flat = ApplyFog(flat, s.fog, env.fogcol);

    for (s32 py = s.py_begin; py < s.py_end; ++py) {
        if (RowMasked(env.scanmsk, py))
            continue;
        const PixelRow row(env, static_cast<u32>(py));
        s32 v16 = 0;
        if (textured)
            v16 = uv ? StepUv(s.v0, s.v1, s.y0, s.y1, py) : StepStq(s.t0, s.t1, s.q, env.tex.th, s.y0, s.y1, py);
        for (s32 px = s.px_begin; px < s.px_end; ++px) {
            Color c = flat;
            if (textured) {
                const s32 u16 =
                    uv ? StepUv(s.u0, s.u1, s.x0, s.x1, px) : StepStq(s.s0, s.s1, s.q, env.tex.tw, s.x0, s.x1, px);
                const Color t = SampleTexture(env.tex, memory, clut, lod, u16, v16);
                c = ApplyTextureFunction(env.tex.tfx, env.tex.tcc, s.color, t);
                if (env.prim.fge)
                    c = ApplyFog(c, s.fog, env.fogcol);
            }
            WritePixel(env, memory, row, static_cast<u32>(px), c, s.z);
        }
    }
}

namespace {

// The per-pixel path: the reference pipeline, or (`fast`) the same pixels
// through the primitive's sampler and a PixelWriter.
void DrawTriangleGeneral(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory, const ClutBuffer& clut,
                         bool fast)
{
    NotePerPixelPath();
    std::optional<PrimitiveSampler> sampler;
    if (fast && env.prim.tme)
        sampler.emplace(env.tex, memory, clut);
    const FragmentShader shader(env, memory, clut, t.q_constant, static_cast<float>(t.planes[kAttrQ].a0),
                                sampler ? &*sampler : nullptr);
    const PixelWriter writer(env, memory);
    const Color* flat = t.flat ? &t.flat_color : nullptr;

    // The attributes this primitive's pixels use; each is evaluated at the
    // first pixel of a span and stepped by its x gradient along it.
    int used[kAttributeCount];
    int n_used = 0;
    if (!flat)
        for (int k = kAttrR; k <= kAttrA; ++k)
            used[n_used++] = k;
    used[n_used++] = kAttrZ;
    if (env.prim.fge)
        used[n_used++] = kAttrF;
    if (shader.NeedsTexture()) {
        if (env.prim.fst) {
            used[n_used++] = kAttrU;
            used[n_used++] = kAttrV;
        } else {
            used[n_used++] = kAttrS;
            used[n_used++] = kAttrT;
            used[n_used++] = kAttrQ;
        }
    }
    double step[kAttributeCount] = {};
    for (int i = 0; i < n_used; ++i)
        step[i] = 16.0 * t.planes[used[i]].gx;
    double a[kAttributeCount] = {};

    for (s32 py = t.py_begin; py < t.py_end; ++py) {
        if (RowMasked(env.scanmsk, py))
            continue;
        s32 begin, end;
        TriangleRowSpan(t, py, begin, end);
        if (begin >= end)
            continue;
        const PixelRow row(env, static_cast<u32>(py));
        for (int i = 0; i < n_used; ++i)
            a[used[i]] = t.planes[used[i]].At(begin, py);
        for (s32 px = begin;;) {
            if (fast)
                writer.Write(row, static_cast<u32>(px), shader.Shade(a, flat), ToDepth(a[kAttrZ]));
            else
                WritePixel(env, memory, row, static_cast<u32>(px), shader.Shade(a, flat), ToDepth(a[kAttrZ]));
            if (++px == end)
                break;
            for (int i = 0; i < n_used; ++i)
                a[used[i]] += step[i];
        }
    }
}

// A triangle whose writes are noted as `targets`, drawn on the calling
// thread once no queued primitive touches what it does.
void DrawTriangleHere(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory, const ClutBuffer& clut,
                      const TargetBlocks& targets)
{
    WaitToDrawTriangleHere(env, targets);
    const bool fast = !g_reference_path;
    if (fast) {
        const u32 pixels = static_cast<u32>(t.px_end - t.px_begin) * static_cast<u32>(t.py_end - t.py_begin);
        const DecodedTexture* decoded =
            DecodeTextureHere(env, memory, clut, static_cast<float>(t.planes[kAttrQ].a0), targets, pixels);
        if (DrawTriangleSpecialised(env, t, memory, clut, targets, decoded))
            return;
    }
    DrawTriangleGeneral(env, t, memory, clut, fast);
}

// The triangle (v[0], v[1], v[2]) the pipelines leave to a whole set-up,
// reading `decoded`.
[[gnu::noinline]] void DrawTriangleVerticesSetUp(const DrawEnv& env, const Vertex* v, LocalMemory& memory,
                                                 const ClutBuffer& clut, const TargetBlocks& targets,
                                                 const DecodedTexture* decoded)
{
    TriangleSetup t;
    if (!SetupTriangle(env, v[0], v[1], v[2], t))
        return;
    if (!DrawTriangleSpecialised(env, t, memory, clut, targets, decoded))
        DrawTriangleGeneral(env, t, memory, clut, true);
}

// Whether the specialised pipelines take the triangle (v[0], v[1], v[2]),
// which covers pixels: only those may be drawn by the draw threads, the
// per-pixel path keeping memory's write stamps as it goes.  They take or
// leave a state as a whole, save that a per-pixel level of detail follows
// the vertices' Q and an untextured flat triangle's writing stage its
// alpha: the answer is kept per state and alpha.
[[gnu::noinline]] bool PipelinesPrepare(const DrawEnv& env, const Vertex* v, LocalMemory& memory,
                                        const ClutBuffer& clut)
{
    TriangleSetup t;
    PreparedTriangle p;
    return SetupTriangle(env, v[0], v[1], v[2], t) &&
           PrepareTriangle(env, t, memory, clut, nullptr, TargetBlocks{}, p, nullptr);
}

bool PipelinesTake(const DrawEnv& env, const Vertex* v, LocalMemory& memory, const ClutBuffer& clut)
{
    if (env.prim.tme && env.tex.lod_matters && !env.prim.fst && !(v[0].q == v[1].q && v[1].q == v[2].q))
        return false;
    struct Known {
        u64 serial = 0;
        const LocalMemory* memory = nullptr;
        u8 take[257] = {};  // per alpha (256: any): 0 not known, 1 taken, 2 left
    };
    thread_local Known known;
    if (known.serial != env.serial || known.memory != &memory) {
        known = Known{};
        known.serial = env.serial;
        known.memory = &memory;
    }
    const u32 alpha = !env.prim.tme && !env.prim.iip ? v[2].rgba >> 24 : 256;
    if (known.take[alpha] == 0)
        known.take[alpha] = PipelinesPrepare(env, v, memory, clut) ? 1 : 2;
    return known.take[alpha] == 1;
}

// Adds the pixels the triangle covers to the count.
void CountTrianglePixels(const TriangleSetup& t)
{
    for (s32 py = t.py_begin; py < t.py_end; ++py) {
        s32 begin, end;
        TriangleRowSpan(t, py, begin, end);
        g_pixels_covered += static_cast<u64>(std::max(0, end - begin));
    }
}

}  // namespace

void RasterizeTriangle(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory, const ClutBuffer& clut)
{
    if (g_count_pixels)
        CountTrianglePixels(t);
    const TargetBlocks targets = NoteTargets(env, memory, t.px_begin, t.px_end, t.py_begin, t.py_end);
    if (!g_reference_path && QueueTriangle(env, t, memory, clut, targets))
        return;
    DrawTriangleHere(env, t, memory, clut, targets);
}

namespace {

// The triangle (v[0], v[1], v[2]) set up whole and rasterized.
[[gnu::noinline]] void SetUpAndRasterizeTriangle(const DrawEnv& env, const Vertex* v, LocalMemory& memory,
                                                 const ClutBuffer& clut)
{
    TriangleSetup t;
    if (SetupTriangle(env, v[0], v[1], v[2], t))
        RasterizeTriangle(env, t, memory, clut);
}

[[gnu::noinline]] void CountTriangleVerticesPixels(const DrawEnv& env, const Vertex* v)
{
    TriangleSetup t;
    if (SetupTriangle(env, v[0], v[1], v[2], t))
        CountTrianglePixels(t);
}

}  // namespace

void RasterizeTriangleVertices(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                               const ClutBuffer& clut)
{
    // A state without a serial cannot be kept for the workers: set up here.
    if (g_reference_path || env.serial == 0) {
        SetUpAndRasterizeTriangle(env, v, memory, clut);
        return;
    }
    // Counting covered pixels needs every row's span, which only a set-up
    // gives; the triangle is still queued as its vertices.
    if (g_count_pixels)
        CountTriangleVerticesPixels(env, v);
    const bool threads = DrawThreads() > 0;
    const bool queue = threads && PipelinesTake(env, v, memory, clut);
    if (queue && QueueTriangleInRun(env, v, box, memory, clut))
        return;
    const TargetBlocks targets = NoteTargets(env, memory, box.px_begin, box.px_end, box.py_begin, box.py_end);
    if (queue && QueueTriangleVertices(env, v, box, memory, clut, targets))
        return;
    // Drawn here, set up straight into the pipelines' plan when they take
    // it, once no queued primitive touches what it does (without draw
    // threads nothing is queued).
    if (threads)
        WaitToDrawTriangleHere(env, targets);
    const DecodedTexture* decoded;
    if (!DrawTriangleVerticesSpecialised(env, v, box.px_begin, box.px_end, box.py_begin, box.py_end, memory, clut,
                                         targets, decoded))
        DrawTriangleVerticesSetUp(env, v, memory, clut, targets, decoded);
}

void RasterizeLine(const DrawEnv& env, const LineSetup& l, LocalMemory& memory, const ClutBuffer& clut)
{
    NotePerPixelPath();
    DrainDrawQueue();
    NoteScissor(env, memory);
    const bool q_constant = l.a0[kAttrQ] == l.a1[kAttrQ];
    const FragmentShader shader(env, memory, clut, q_constant, static_cast<float>(l.a1[kAttrQ]));
    const Color* flat = l.flat ? &l.flat_color : nullptr;
    const s32 major0 = l.x_major ? l.x0 : l.y0, major1 = l.x_major ? l.x1 : l.y1;
    const s32 minor0 = l.x_major ? l.y0 : l.x0, minor1 = l.x_major ? l.y1 : l.x1;
    const s32 step = l.last > l.first ? 1 : -1;
    double a[kAttributeCount];

    // The major axis runs over d = major1 - major0 (made positive).
    s64 d = static_cast<s64>(major1) - major0;
    const s64 sign = d < 0 ? -1 : 1;
    d *= sign;
    for (s32 m = l.first; m != l.last; m += step) {
        // How far along the segment this pixel's sample position on the
        // major axis lies, clamped to the segment for the end pixels, and the
        // pixel nearest the line there on the minor axis, in exact integers.
        const s64 along = std::clamp<s64>((16 * static_cast<s64>(m) - major0) * sign, 0, d);
        const s64 minor16 = static_cast<s64>(minor0) * d + (static_cast<s64>(minor1) - minor0) * along;
        const s32 n = static_cast<s32>(FloorDiv(minor16 + 8 * d, 16 * d));
        const double t = static_cast<double>(along) / static_cast<double>(d);
        const s32 px = l.x_major ? m : n, py = l.x_major ? n : m;
        if (px < env.scax0 || px > env.scax1 || py < env.scay0 || py > env.scay1 || RowMasked(env.scanmsk, py))
            continue;
        for (int k = 0; k < kAttributeCount; ++k)
            a[k] = l.a0[k] + t * (l.a1[k] - l.a0[k]);
        const PixelRow row(env, static_cast<u32>(py));
        WritePixel(env, memory, row, static_cast<u32>(px), shader.Shade(a, flat), ToDepth(a[kAttrZ]));
    }
}

void RasterizePoint(const DrawEnv& env, s32 px, s32 py, const double* attributes, LocalMemory& memory,
                    const ClutBuffer& clut)
{
    NotePerPixelPath();
    DrainDrawQueue();
    NoteScissor(env, memory);
    if (RowMasked(env.scanmsk, py))
        return;
    const FragmentShader shader(env, memory, clut, true, static_cast<float>(attributes[kAttrQ]));
    const PixelRow row(env, static_cast<u32>(py));
    WritePixel(env, memory, row, static_cast<u32>(px), shader.Shade(attributes, nullptr), ToDepth(attributes[kAttrZ]));
}

}  // namespace console::gs
