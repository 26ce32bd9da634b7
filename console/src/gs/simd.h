// Which vector instructions the pixel pipelines use.  SSE2 is the build's
// baseline; wider kernels are chosen at run time when the CPU has them, and
// each draws exactly the bytes of its SSE2 counterpart.  Tests lower the
// level to compare the two.
#pragma once

#include <atomic>

namespace console::gs {

// kAvx512: AVX-512 F, BW, DQ and VL together; every AVX2 kernel runs there
// too, so a level at or above kAvx2 picks the AVX2 kernels where there is
// no wider one.
enum class SimdLevel : int { kSse2 = 0, kAvx2 = 1, kAvx512 = 2 };

// The widest level this CPU runs.
SimdLevel HostSimdLevel();

namespace simd_detail {
// Read inline by the accessors below, which every primitive drawn asks.
extern std::atomic<int> g_active;
extern std::atomic<unsigned> g_generation;
}  // namespace simd_detail

// The level the pipelines use now: the host's, unless lowered.
inline SimdLevel ActiveSimdLevel()
{
    return static_cast<SimdLevel>(simd_detail::g_active.load(std::memory_order_relaxed));
}

// Caps the level at `level` (never above the host's).  Pipelines picked
// before the change are picked again; call it only while nothing draws.
void LimitSimdLevel(SimdLevel level);

// Bumped by every LimitSimdLevel, for caches of picked pipelines.
inline unsigned SimdGeneration()
{
    return simd_detail::g_generation.load(std::memory_order_relaxed);
}

}  // namespace console::gs
