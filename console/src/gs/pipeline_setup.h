// Set-up stage of the specialised pipelines for triangles: the record of
// what a state's triangles share (its writing and finishing stages, its
// texture's reads), kept for a run of triangles, and each triangle's plan
// (its steps, planes and row walker), made from its set-up or straight from
// its vertices (pipeline_setup.cpp).
#pragma once

#include <optional>
#include <type_traits>

#include "gs/pipeline_finish.h"
#include "gs/pipeline_write.h"
#include "gs/setup.h"

namespace console::gs {
namespace pipeline {

// A triangle's steps from one pixel to the next: R G, B A, Z F, S T (or U
// V), Q Q.
struct TriangleSpan {
    __m128d drg, dba, dzf, dst, dq;
    // STQ: the level's size in 1/16 texel, S/Q and T/Q's scales, in both
    // lanes each.
    __m128d scale_u, scale_v;
    Color flat;
};

struct TrianglePlan;

// Draws a prepared triangle's rows in `bands`: one call per triangle, picked
// once per state (PickTriangleRows, pipeline_rows.cpp) for its shading and
// vector level.
using TriangleRowsFn = void (*)(const TrianglePlan&, const RowBands&);
TriangleRowsFn PickTriangleRows(bool gouraud, int coords, bool fog, bool avx2);

}  // namespace pipeline

// What a triangle's rows need that follows from its state alone: the
// writing and shading stages and the texture's addressing.  Made once for a
// run of triangles drawn in one state; built in place (the sampler and the
// writer point into it) and never moved.
struct alignas(64) TriangleState {
    struct Key {
        u64 serial = 0;
        const LocalMemory* memory = nullptr;
        const ClutBuffer* clut = nullptr;
        u64 clut_generation = 0;
        const DecodedTexture* decoded = nullptr;
        s32 flat_alpha = -1;  // untextured flat triangles: their alpha
        bool flat = false;
        u32 level = 0, mix16 = 0;
        bool linear = false;
        unsigned simd = 0;  // the vector level's generation it was picked in
        bool operator==(const Key&) const = default;
    };
    Key key;
    pipeline::Writer writer;
    // The writing stage for triangles whose frame pixels and Z values lie
    // apart (the quads, when their layouts allow them).
    pipeline::WriterState apart_state;
    pipeline::WriteFn apart_write = nullptr;
    // The writes of several row pieces at once, when the writer has them.
    pipeline::PiecesFn pieces_write = nullptr, apart_pieces_write = nullptr;
    pipeline::Texturing tex;
    TextureEnv tex_env;  // what the general sampler reads
    std::optional<PrimitiveSampler> sampler;
    pipeline::TriangleShadeFns shade{};
    pipeline::TriangleRowsFn rows = nullptr;
    pipeline::ShadeContext sc{};
    const Layout* frame_layout = nullptr;
    const Layout* depth_layout = nullptr;
    u32 frame_bp = 0, depth_bp = 0, bw = 0;
    u32 scanmsk = 0;
    bool gouraud = false, textured = false, uv = false, stq = false;
    bool texture_apart = true;  // no texture, or a decoded one
    // An alpha test the writer leaves out: only the runs of pixels passing
    // it are written (its fail action keeps the others as they are).
    bool alpha_test = false;
    AlphaTest atst = AlphaTest::kAlways;
    u32 aref = 0;
    s32 dimx[4][4] = {};
    u32 palette[256];  // an indexed texture's colours, kept with the state
    u64 id = 0;        // unique among the states made: names its rows in RowFinder
};

namespace pipeline {

// The x steps and row-start planes of a triangle's attributes, and the row
// walker placed on its first row.
struct TrianglePlan {
    const TriangleState* state;
    // The plane pairs and their origin, set up in place: those the state
    // does not read are left unset.
    TrianglePlanes planes;
    TriangleSpan steps;  // the x steps and the flat colour
    TriangleRowWalker walker;
    s32 px_begin, px_end, py_begin, py_end;  // the box's columns, and the rows with pixels
    bool apart;  // frame and Z apart
    // Rows are shaded ahead of writing the ones before them only when the
    // texture cannot be what this primitive writes.
    bool batch_rows;

    // Members are filled in by PrepareTriangle.
    explicit TrianglePlan(const TriangleRowWalker& w) : walker(w) {}
    // The walker too, by PrepareTriangleVertices.
    TrianglePlan() = default;

    // Fills in the other members for a triangle of `st` whose planes and
    // walker are in place, its bounding box [px_begin, px_end) x [py_begin,
    // py_end) inside the scissor, writing `targets`; the walker is on row
    // py_begin.
    void Fill(const DrawEnv& env, const TriangleState& st, Color flat, s32 px_begin, s32 px_end, s32 py_begin,
              s32 py_end, const TargetBlocks& targets);
};
static_assert(sizeof(TrianglePlan) <= sizeof(PreparedTriangle::room) && alignof(TrianglePlan) <= 16);
static_assert(std::is_trivially_destructible_v<TrianglePlan>);

}  // namespace pipeline
}  // namespace console::gs
