// The finish of a triangle's batch through the SSE2 pipelines: texels read
// or sampled, then the texture function and fog (pipeline_finish.h).
#include "gs/pipeline_finish.h"

namespace console::gs::pipeline {

namespace {

template <bool kGouraud, int kCoords, int kClass, bool kBilinear, bool kDirect, u32 kTfx, bool kTcc, bool kFog>
struct TriangleShader {
static void Finish(const ShadeContext& sc, TriangleBatch& b)
{
    constexpr bool kTex = kCoords != kNoTex;
    const int n = b.count;
    u32* const frag = b.frag;
    s32* const us = b.us;
    s32* const vs = b.vs;
    u32* const fogs = b.fogs;
    u32* const colors = b.colors;
    // The lanes past the end of the last quad are worked on and left unused:
    // bilinear samples of them at coordinate 0 (direct reads stay inside
    // memory).
    const int quads = (n + 3) & ~3;
    ZeroTail(frag, n);
    if constexpr (kFog)
        ZeroTail(fogs, n);
    if constexpr (kTex && kDirect && kBilinear) {
        ZeroTail(reinterpret_cast<u32*>(us), n);
        ZeroTail(reinterpret_cast<u32*>(vs), n);
    } else if constexpr (kTex) {
        ZeroTail(colors, n);
    }
    // The texture function and fog of pixels i .. i + 3 whose texels are t.
    auto combine = [&](int i, __m128i t) __attribute__((always_inline)) {
        _mm_store_si128(reinterpret_cast<__m128i*>(colors + i),
                        CombineFour<kTex, kTfx, kTcc, kFog>(_mm_load_si128(reinterpret_cast<const __m128i*>(frag + i)), t,
                                                            _mm_load_si128(reinterpret_cast<const __m128i*>(fogs + i)),
                                                            sc.fogcol16));
    };
    if constexpr (kTex) {
        int sampled = 0;
        if constexpr (kDirect && kBilinear) {
            // Decoded textures are sampled and combined in one pass.
            const DecodedTexture* d = sc.tex->decoded;
            static_assert(kBatch + 4 <= kDecodedSpanMost);
            if (d && d->u.repeat && d->v.repeat) {
                SampleDecodedSpan<true>(*d, us, vs, quads, combine);
                return;
            }
            if (d) {
                SampleDecodedSpan<false>(*d, us, vs, quads, combine);
                return;
            }
            if (sc.tex->level4.mask_only)
                SampleBilinearSpan<kClass, true>(sc.tex->level, sc.tex->level4, sc.tex->expand, us, vs, quads, colors);
            else
                SampleBilinearSpan<kClass, false>(sc.tex->level, sc.tex->level4, sc.tex->expand, us, vs, quads, colors);
            sampled = quads;
        }
        for (int i = sampled; i < n; ++i)
            colors[i] = Sample<kClass, kBilinear, kDirect>(sc, us[i], vs[i]);
    }
    if constexpr (kTex || kFog) {
        for (int i = 0; i < quads; i += 4)
            combine(i, _mm_load_si128(reinterpret_cast<const __m128i*>(colors + i)));
    } else {
        for (int i = 0; i < quads; i += 4)
            _mm_store_si128(reinterpret_cast<__m128i*>(colors + i),
                            _mm_load_si128(reinterpret_cast<const __m128i*>(frag + i)));
    }
}
};

template <class Shader>
constexpr TriangleShadeFns ShadeFnsOf()
{
    return {&Shader::Finish};
}

template <bool kGouraud, int kCoords, int kClass, bool kBilinear, bool kDirect>
TriangleShadeFns PickTriangleShade(u32 tfx, bool tcc, bool fog)
{
#define GS_SHADE(tfx_, tcc_)                                                                        \
    fog ? ShadeFnsOf<TriangleShader<kGouraud, kCoords, kClass, kBilinear, kDirect, tfx_, tcc_, true>>()  \
        : ShadeFnsOf<TriangleShader<kGouraud, kCoords, kClass, kBilinear, kDirect, tfx_, tcc_, false>>()
    switch ((tfx & 3) * 2 + tcc) {
    case 0: return GS_SHADE(0, false);
    case 1: return GS_SHADE(0, true);
    case 2: return GS_SHADE(1, false);
    case 3: return GS_SHADE(1, true);
    case 4: return GS_SHADE(2, false);
    case 5: return GS_SHADE(2, true);
    case 6: return GS_SHADE(3, false);
    default: return GS_SHADE(3, true);
    }
#undef GS_SHADE
}

template <bool kGouraud, int kCoords>
TriangleShadeFns PickTriangleShade(const Texturing& t, u32 tfx, bool tcc, bool fog)
{
    if (!t.direct)
        return PickTriangleShade<kGouraud, kCoords, kTex32, false, false>(tfx, tcc, fog);
    switch (t.tex_class * 2 + t.linear) {
    case 0: return PickTriangleShade<kGouraud, kCoords, kTex32, false, true>(tfx, tcc, fog);
    case 1: return PickTriangleShade<kGouraud, kCoords, kTex32, true, true>(tfx, tcc, fog);
    case 2: return PickTriangleShade<kGouraud, kCoords, kTex24, false, true>(tfx, tcc, fog);
    case 3: return PickTriangleShade<kGouraud, kCoords, kTex24, true, true>(tfx, tcc, fog);
    case 4: return PickTriangleShade<kGouraud, kCoords, kTex16, false, true>(tfx, tcc, fog);
    case 5: return PickTriangleShade<kGouraud, kCoords, kTex16, true, true>(tfx, tcc, fog);
    case 6: return PickTriangleShade<kGouraud, kCoords, kTexIndexed, false, true>(tfx, tcc, fog);
    default: return PickTriangleShade<kGouraud, kCoords, kTexIndexed, true, true>(tfx, tcc, fog);
    }
}

template <bool kGouraud>
TriangleShadeFns PickTriangleShade(int coords, const Texturing& t, u32 tfx, bool tcc, bool fog)
{
    switch (coords) {
    case kUv: return PickTriangleShade<kGouraud, kUv>(t, tfx, tcc, fog);
    case kStq: return PickTriangleShade<kGouraud, kStq>(t, tfx, tcc, fog);
    default:
        return fog ? ShadeFnsOf<TriangleShader<kGouraud, kNoTex, kTex32, false, true, 0, false, true>>()
                   : ShadeFnsOf<TriangleShader<kGouraud, kNoTex, kTex32, false, true, 0, false, false>>();
    }
}

}  // namespace

TriangleShadeFns PickTriangleShade(bool gouraud, int coords, const Texturing& t, u32 tfx, bool tcc, bool fog)
{
    return gouraud ? PickTriangleShade<true>(coords, t, tfx, tcc, fog) : PickTriangleShade<false>(coords, t, tfx, tcc, fog);
}

}  // namespace console::gs::pipeline
