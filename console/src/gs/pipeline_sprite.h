// The texel rows of sprites as their rows read them (pipeline_sprite_texels.cpp),
// for the sprite walk of pipeline_sprite.cpp.
#pragma once

#include <vector>

#include "gs/pipeline_finish.h"
#include "gs/setup.h"

namespace console::gs::pipeline {

// What stays fixed down a sprite's columns: the texel columns read one by
// one and their horizontal weights.  The bilinear mix is done as a
// horizontal then a vertical weighting, which is the reference's sum of four
// products regrouped: every partial sum is below 2^16 in the 16-bit lanes.
struct SpriteColumns {
    std::vector<TexLevel::Col> c0, c1;
    struct Weights {
        __m128i v;  // 16 - fu in lanes 0-3, fu in lanes 4-7
    };
    std::vector<Weights> wu;
};

struct SpriteRowArgs {
    const SpriteSetup* s;
    const s32* u16s;  // per column
    s32 v16;
    u32 fog;
    // Nearest: the texels of the row's columns, RGBA8.
    const u32* texels;
    // Bilinear: the two texel rows already weighted across (per column, the
    // four channels of t(u0) x (16 - fu) + t(u1) x fu in 16-bit lanes), and
    // the vertical weights 16 - fv and fv in every lane.
    const u64* h0;
    const u64* h1;
    __m128i wv0, wv1;
};

using RowFilterFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, const SpriteColumns&, int,
                            u64*);
using ColumnFilterFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, const SpriteColumns&, size_t,
                                u64*);

using ColumnReadFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, const TexLevel::Col*, int, u32*);

// How a run of consecutive texels of a row is read: a texel at a time, a
// column quad at a time (QuadColumns layouts) or sixteen 16-bit texels at a
// time (HalfColumns layouts).
enum RunRead { kRunTexels, kRunQuads, kRunHalves };

using RunReadFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, u32, int, u32*);

using WeightRunFn = void (*)(const u32*, int, __m128i, u64*);

// The readers of a texture class, picked once per sprite.
struct SpriteReaders {
    RunReadFn run;
    ColumnReadFn columns;
    RowFilterFn filter;
    ColumnFilterFn column_filter;
};

using SpriteShadeFn = void (*)(const ShadeContext&, const SpriteRowArgs&, s32 col0, int n, u32* out);

// The readers of texture class `tex_class` (TexClass) reading runs as `read`
// (RunRead) allows.
SpriteReaders PickReaders(int tex_class, int read);

// Columns 0 .. n - 1 of a bilinear run whose texels are t[0 .. n] weighted
// across with one weight `wu` (SpriteColumns::Weights), four columns at a
// time (t[n + 1 .. n + 3] are read and out[n .. n + 2] written too), or
// eight (seven past the end).
void WeightRun(const u32* t, int n, __m128i wu, u64* out);
void WeightRunAvx2(const u32* t, int n, __m128i wu, u64* out);

// The shading of a row's texels read as nearest reads them.
SpriteShadeFn PickNearestShade(u32 tfx, bool tcc, bool fog, bool avx2);
// The shading of a sprite's rows: texels read directly (nearest, or
// bilinear from weighted rows) or through the general sampler.
SpriteShadeFn PickSpriteShade(const Texturing& t, u32 tfx, bool tcc, bool fog, bool avx2);

}  // namespace console::gs::pipeline
