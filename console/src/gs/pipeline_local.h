// What the stages of the specialised pipelines share (pipeline.h): the
// pixels shaded before they are written, the vector helpers every stage
// uses, and the attributes that mark a function for the wider vector
// levels (simd.h).  The stages, each in files of its own:
//   pipeline_setup     a triangle's state record and plan, made once per state and per triangle
//   pipeline_rows      a triangle's rows stepped pixel by pixel into batches (and _avx2, _avx512)
//   pipeline_sample    texel addressing and reads, decoded copies of textures
//   pipeline_finish    texture function and fog of a batch (and _avx2, _avx512)
//   pipeline_write     depth test, blending, dithering and the stores (and _avx2, _avx512, _sprite)
//   pipeline_fill      whole blocks of one value
//   pipeline_sprite    sprites: plan and row walk; pipeline_sprite_texels their texel rows
#pragma once

#include <ee/types.h>

// GCC 12's AVX-512 intrinsics fill their unused operands with undefined
// vectors that its own uninitialised-value checks then report.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <emmintrin.h>
#include <immintrin.h>
#pragma GCC diagnostic pop

namespace console::gs {
namespace pipeline {

constexpr double kTexelLimit16 = 1048576.0;
// Pixels shaded before they are written.
constexpr int kChunk = 64;

// Signed 32-bit minimum and maximum, which SSE2 lacks.
inline __m128i Min32(__m128i a, __m128i b)
{
    const __m128i gt = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(gt, b), _mm_andnot_si128(gt, a));
}

inline __m128i Max32(__m128i a, __m128i b)
{
    const __m128i gt = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(gt, a), _mm_andnot_si128(gt, b));
}

// Zeroes entries n .. of the last quad of a 16-byte aligned array that n
// does not fill (a few stores, where a loop would become a library call).
inline void ZeroTail(u32* a, int n)
{
    if ((n & 3) == 0)
        return;
    __m128i* q = reinterpret_cast<__m128i*>(a + (n & ~3));
    const __m128i keep = _mm_cmpgt_epi32(_mm_set1_epi32(n & 3), _mm_set_epi32(3, 2, 1, 0));
    _mm_store_si128(q, _mm_and_si128(_mm_load_si128(q), keep));
}

// The words of the quad whose first pixel is at offset o, in pixel order.
__attribute__((always_inline)) inline __m128i LoadQuad(const u32* words, u32 o)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(words + o)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(words + o + 4)));
}

__attribute__((always_inline)) inline void StoreQuad(u32* words, u32 o, __m128i v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(words + o), v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(words + o + 4), _mm_unpackhi_epi64(v, v));
}

// How a triangle carries texture coordinates: none, U and V, or S, T and Q.
enum TexCoords { kNoTex, kUv, kStq };

// Helpers of the AVX2 and AVX-512 kernels, inlined into them.
#define GS_AVX2 __attribute__((target("avx2"), always_inline)) inline

GS_AVX2 void Store4(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

GS_AVX2 __m256d JoinPairs(__m128d lo, __m128d hi)
{
    return _mm256_set_m128d(hi, lo);
}

#define GS_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"), always_inline)) inline
// 512-bit values pass only between functions inlined into the AVX-512
// kernels, never through an out-of-line call, so the compiler's note that
// such a call's ABI would differ without AVX-512 does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

GS_AVX2 __m256i Load8(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

}  // namespace pipeline
}  // namespace console::gs
