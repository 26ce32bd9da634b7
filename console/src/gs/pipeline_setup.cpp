// The set-up stage for triangles: state records found or made for runs of
// triangles, and each triangle's plan (pipeline_setup.h).
#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <new>

#include "gs/drawthreads.h"
#include "gs/pipeline_setup.h"
#include "gs/simd.h"

namespace console::gs {

using namespace pipeline;

namespace pipeline {
namespace {

// The slot of the state record StateFor last found or made on this thread
// (whatever it holds now), or null.
thread_local const TriangleStateRef* t_last_state = nullptr;

// The state record for `key`: the calling thread keeps the last few.
const TriangleStateRef* StateFor(const TriangleState::Key& key, const DrawEnv& env, LocalMemory& memory,
                                 const ClutBuffer& clut, const LodChoice& lod)
{
    constexpr size_t kStates = 4;
    thread_local std::array<TriangleStateRef, kStates> cache;
    thread_local u32 next = 0;
    // Triangles come in runs of one state: the last one found is tried first.
    thread_local u32 last = 0;
    if (key.serial != 0) {
        if (cache[last] && cache[last]->key == key)
            return t_last_state = &cache[last];
        for (u32 i = 0; i < kStates; ++i)
            if (cache[i] && cache[i]->key == key) {
                last = i;
                return t_last_state = &cache[i];
            }
    }
    Writer writer;
    bool alpha_test = false;
    if (!MakeWriter(env, memory, writer, key.flat_alpha)) {
        // An alpha test whose outcome varies from pixel to pixel, failing
        // pixels left alone: the triangle is drawn as one without the test,
        // each piece's runs of passing pixels written once they are shaded.
        if (!env.ate || env.afail != AlphaFail::kKeep || (env.date && env.frame.has_alpha))
            return nullptr;
        DrawEnv untested = env;
        untested.ate = false;
        writer = Writer{};
        if (!MakeWriter(untested, memory, writer, key.flat_alpha))
            return nullptr;
        alpha_test = true;
    }
    auto st = std::make_shared<TriangleState>();
    TriangleState& p = *st;
    p.alpha_test = alpha_test;
    p.atst = env.atst;
    p.aref = env.aref;
    static std::atomic<u64> ids{0};
    p.id = ++ids;
    p.key = key;
    p.writer = writer;
    std::copy(&env.dimx[0][0], &env.dimx[0][0] + 16, &p.dimx[0][0]);
    p.writer.state.dimx = p.dimx;
    p.apart_state = p.writer.state;
    p.apart_state.disjoint = true;
    p.apart_write = p.writer.quads ? p.writer.quads : p.writer.write;
    p.apart_pieces_write = p.writer.quads ? p.writer.quad_pieces : nullptr;
    p.pieces_write = p.writer.quads && p.writer.write == p.writer.quads ? p.writer.quad_pieces : nullptr;
    p.frame_layout = &LayoutOf(env.frame.psm);
    p.depth_layout = &LayoutOf(env.depth.psm);
    p.frame_bp = env.frame.bp;
    p.depth_bp = env.depth.bp;
    p.bw = env.frame.bw;
    p.scanmsk = env.scanmsk;
    p.textured = env.prim.tme;
    p.uv = env.prim.fst;
    p.stq = p.textured && !p.uv;
    p.gouraud = !key.flat;
    Texturing& tex = p.tex;
    if (p.textured) {
        MakeTexturing(env.tex, memory, lod, tex, &clut);
        if (!tex.direct) {
            p.tex_env = env.tex;
            p.sampler.emplace(p.tex_env, memory, clut);
        } else if (key.decoded && tex.linear && key.decoded->level == lod.level) {
            tex.decoded = key.decoded;
        }
        // The palette is copied: the expanded palettes a thread keeps may be
        // replaced while the state is still in use.
        if (tex.expand.palette) {
            std::copy(tex.expand.palette, tex.expand.palette + 256, p.palette);
            tex.expand.palette = p.palette;
        }
    }
    p.texture_apart = !p.textured || tex.decoded;
    const int coords = !p.textured ? kNoTex : p.uv ? kUv : kStq;
    p.shade = PickTriangleShade(p.gouraud, coords, tex, env.tex.tfx, env.tex.tcc, env.prim.fge);
    p.rows = PickTriangleRows(p.gouraud, coords, env.prim.fge, ActiveSimdLevel() >= SimdLevel::kAvx2);
    if (ActiveSimdLevel() >= SimdLevel::kAvx2) {
        const bool repeat = tex.decoded && tex.decoded->u.repeat && tex.decoded->v.repeat;
        if (tex.decoded && coords != kNoTex && ActiveSimdLevel() >= SimdLevel::kAvx512)
            p.shade.finish = PickDecodedFinishAvx512(repeat, env.tex.tfx, env.tex.tcc, env.prim.fge);
        else if (tex.decoded && coords != kNoTex)
            p.shade.finish = PickDecodedFinishAvx2(repeat, env.tex.tfx, env.tex.tcc, env.prim.fge);
    }
    p.sc = ShadeContext{&p.tex, p.sampler ? &*p.sampler : nullptr, FogColor16(env.fogcol)};
    last = next++ % kStates;
    TriangleStateRef& slot = cache[last];
    slot = std::move(st);
    return t_last_state = &slot;
}

// The state record for a triangle drawn in `env` whose Q at the first vertex
// is q0 (constant over the triangle or not), flat or not and, when flat,
// of the colour `flat`; null when the pipelines leave the triangle to the
// general path.
// What follows from the state alone is kept for the run of triangles drawn
// in it: the level of detail, unless it follows Q, and whether the texture
// is indexed.
struct FixedForState {
    u64 serial = 0;
    LodChoice lod;
    bool indexed = false;
};
thread_local FixedForState t_fixed;

// TriangleStateFor once the record last found is not the triangle's.
[[gnu::noinline]] const TriangleStateRef* FindTriangleState(const DrawEnv& env, LocalMemory& memory,
                                                            const ClutBuffer& clut, const DecodedTexture* decoded,
                                                            float q0, bool flat, Color flat_color)
{
    const bool textured = env.prim.tme;
    const bool uv = env.prim.fst;
    FixedForState& fixed = t_fixed;
    const bool keep = env.serial != 0 && (uv || !env.tex.lod_matters);
    LodChoice lod;
    bool indexed = false;
    if (textured) {
        if (keep && fixed.serial == env.serial) {
            lod = fixed.lod;
            indexed = fixed.indexed;
        } else {
            lod = ChooseLodForQ(env.tex, uv ? 1.0f : q0);
            indexed = IsIndexed(env.tex.psm);
            if (keep)
                fixed = FixedForState{env.serial, lod, indexed};
        }
    }
    const TriangleState::Key key{env.serial,
                                 &memory,
                                 &clut,
                                 indexed ? clut.Generation() : 0,
                                 textured ? decoded : nullptr,
                                 !textured && flat ? flat_color.a : -1,
                                 flat,
                                 lod.level,
                                 lod.mix16,
                                 lod.linear,
                                 SimdGeneration()};
    return StateFor(key, env, memory, clut, lod);
}

inline __attribute__((always_inline)) const TriangleStateRef* TriangleStateFor(
    const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const DecodedTexture* decoded, float q0,
    bool q_constant, bool flat, Color flat_color)
{
    const bool textured = env.prim.tme;
    const bool uv = env.prim.fst;
    if (textured && env.tex.lod_matters && !uv && !q_constant)
        return nullptr;  // the level of detail follows each pixel's Q
    const FixedForState& fixed = t_fixed;
    const bool keep = env.serial != 0 && (uv || !env.tex.lod_matters);
    // The record last found, when it is this triangle's: its key's fields
    // are compared one by one with what they would be, rather than a key
    // being built for it.
    if (env.serial != 0 && (!textured || (keep && fixed.serial == env.serial))) {
        const TriangleStateRef* last = t_last_state;
        if (last && *last) {
            const TriangleState::Key& k = (*last)->key;
            const s32 flat_alpha = !textured && flat ? flat_color.a : -1;
            const u64 generation = textured && fixed.indexed ? clut.Generation() : 0;
            const LodChoice lod = textured ? fixed.lod : LodChoice{};
            if (k.serial == env.serial && k.memory == &memory && k.clut == &clut &&
                k.decoded == (textured ? decoded : nullptr) && k.flat_alpha == flat_alpha && k.flat == flat &&
                k.clut_generation == generation && k.level == lod.level && k.mix16 == lod.mix16 &&
                k.linear == lod.linear && k.simd == SimdGeneration())
                return last;
        }
    }
    return FindTriangleState(env, memory, clut, decoded, q0, flat, flat_color);
}

}  // namespace

inline void TrianglePlan::Fill(const DrawEnv& env, const TriangleState& st, Color flat_color, s32 px_begin,
                               s32 px_end, s32 py_begin, s32 py_end, const TargetBlocks& targets)
{
    state = &st;
    // The blocks the triangle writes are known: frame and Z lie apart when
    // those ranges do not meet.
    apart = !env.depth.used || (targets.known && (targets.frame_hi <= targets.depth_lo ||
                                                  targets.depth_hi <= targets.frame_lo));
    // Rows the walker's level edges leave empty are dropped here, so that
    // rows are drawn without looking at them again.
    this->px_begin = px_begin;
    this->px_end = px_end;
    this->py_begin = py_begin;
    this->py_end = std::min(py_end, walker.LastRow() + 1);
    for (; this->py_begin < walker.FirstRow() && this->py_begin < this->py_end; ++this->py_begin)
        walker.Next();
    const __m128d sixteen = _mm_set1_pd(16.0);
    TriangleSpan& sp = steps;
    if (st.gouraud) {
        sp.drg = _mm_mul_pd(sixteen, planes.rg.gx);
        sp.dba = _mm_mul_pd(sixteen, planes.ba.gx);
    }
    sp.dzf = _mm_mul_pd(sixteen, planes.zf.gx);
    if (st.textured)
        sp.dst = _mm_mul_pd(sixteen, planes.st.gx);
    if (st.stq) {
        sp.dq = _mm_mul_pd(sixteen, planes.q.gx);  // Q in both lanes: S/Q and T/Q in one division
        sp.scale_u = _mm_set1_pd(static_cast<double>(1 << env.tex.tw) * 16.0);
        sp.scale_v = _mm_set1_pd(static_cast<double>(1 << env.tex.th) * 16.0);
    }
    sp.flat = flat_color;
    batch_rows = st.texture_apart || TextureApartFromTargets(env, px_begin, px_end, py_begin, py_end);
}

}  // namespace pipeline

bool PrepareTriangle(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory, const ClutBuffer& clut,
                     const DecodedTexture* decoded, const TargetBlocks& targets, PreparedTriangle& out,
                     TriangleStateRef* keep)
{
    out.nothing = false;
    const TriangleStateRef* state = TriangleStateFor(env, memory, clut, decoded,
                                                     static_cast<float>(t.planes[kAttrQ].a0), t.q_constant, t.flat,
                                                     t.flat_color);
    if (!state)
        return false;
    const TriangleState& st = **state;
    if (st.writer.nothing) {
        out.nothing = true;
        return true;
    }
    TriangleRowWalker walker(t, t.py_begin);
    // A walker that settles rows alone reads the caller's set-up.
    if (keep && walker.SettlesRowsAlone())
        return false;
    // Copied only when it holds another record: the count of references is
    // one line every thread drawing in this state would take in turn.
    if (keep && keep->get() != state->get())
        *keep = *state;
    // The set-up's planes in pairs, as the rows step them.
    const bool uv = env.prim.fst;
    const int s_attr = uv ? kAttrU : kAttrS, t_attr = uv ? kAttrV : kAttrT;
    auto pair = [&](int a, int b) {
        const AttributePlane &pa = t.planes[a], &pb = t.planes[b];
        return PlanePair{_mm_set_pd(pb.a0, pa.a0), _mm_set_pd(pb.gx, pa.gx), _mm_set_pd(pb.gy, pa.gy)};
    };
    TrianglePlan& p = *new (out.room) TrianglePlan(walker);
    TrianglePlanes& planes = p.planes;
    planes.x0 = t.planes[kAttrZ].x0;
    planes.y0 = t.planes[kAttrZ].y0;
    if (st.gouraud) {
        planes.rg = pair(kAttrR, kAttrG);
        planes.ba = pair(kAttrB, kAttrA);
    }
    planes.zf = pair(kAttrZ, kAttrF);
    if (st.textured)
        planes.st = pair(s_attr, t_attr);
    if (st.stq)
        planes.q = pair(kAttrQ, kAttrQ);
    p.Fill(env, st, t.flat_color, t.px_begin, t.px_end, t.py_begin, t.py_end, targets);
    return true;
}

namespace pipeline {
namespace {

// PrepareTriangleVertices, also taken in line by the triangles drawn here.
inline __attribute__((always_inline)) bool PrepareVertices(const DrawEnv& env, const Vertex* v, s32 px_begin,
                                                           s32 px_end, s32 py_begin, s32 py_end,
                                                           LocalMemory& memory, const ClutBuffer& clut,
                                                           const DecodedTexture* decoded,
                                                           const TargetBlocks& targets, PreparedTriangle& out)
{
    out.nothing = false;
    const bool flat = !env.prim.iip;
    const Color flat_color = UnpackColor(v[2].rgba);
    const TriangleStateRef* state = TriangleStateFor(
        env, memory, clut, decoded, v[0].q, v[0].q == v[1].q && v[1].q == v[2].q, flat, flat_color);
    if (!state)
        return false;
    const TriangleState& st = **state;
    if (st.writer.nothing) {
        out.nothing = true;
        return true;
    }
    TrianglePlan& p = *new (out.room) TrianglePlan;
    if (!(ActiveSimdLevel() >= SimdLevel::kAvx2
              ? SetupTriangleWalkerAndPlanesAvx2(env, v, px_begin, px_end, py_begin, py_end, p.walker, p.planes)
              : SetupTriangleWalkerAndPlanes(env, v, px_begin, px_end, py_begin, py_end, p.walker, p.planes)))
        return false;
    // Rows settled alone need a whole set-up: left to PrepareTriangle.
    if (p.walker.SettlesRowsAlone())
        return false;
    p.Fill(env, st, flat_color, px_begin, px_end, py_begin, py_end, targets);
    return true;
}

}  // namespace
}  // namespace pipeline

bool PrepareTriangleVertices(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                             s32 py_end, LocalMemory& memory, const ClutBuffer& clut, const DecodedTexture* decoded,
                             const TargetBlocks& targets, PreparedTriangle& out)
{
    return PrepareVertices(env, v, px_begin, px_end, py_begin, py_end, memory, clut, decoded, targets, out);
}

bool DrawTriangleVerticesSpecialised(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                                     s32 py_end, LocalMemory& memory, const ClutBuffer& clut,
                                     const TargetBlocks& targets, const DecodedTexture*& decoded)
{
    const u32 pixels = static_cast<u32>(px_end - px_begin) * static_cast<u32>(py_end - py_begin);
    const DecodedTextureRef* d = FindDecodedTextureQuick(env, memory, clut, v[0].q, targets, pixels);
    decoded = d ? d->get() : nullptr;
    PreparedTriangle p;
    if (!PrepareVertices(env, v, px_begin, px_end, py_begin, py_end, memory, clut, decoded, targets, p))
        return false;
    if (!p.nothing) {
        const TrianglePlan& plan = *std::launder(reinterpret_cast<const TrianglePlan*>(p.room));
        plan.state->rows(plan, RowBands{});
    }
    return true;
}

void DrawPreparedTriangle(const PreparedTriangle& prepared, const RowBands& bands)
{
    if (prepared.nothing)
        return;
    const TrianglePlan& p = *std::launder(reinterpret_cast<const TrianglePlan*>(prepared.room));
    p.state->rows(p, bands);
}

bool DrawTriangleSpecialised(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory,
                             const ClutBuffer& clut, const TargetBlocks& targets, const DecodedTexture* decoded)
{
    PreparedTriangle p;
    if (!PrepareTriangle(env, t, memory, clut, decoded, targets, p, nullptr))
        return false;
    DrawPreparedTriangle(p, RowBands{});
    return true;
}

}  // namespace console::gs
