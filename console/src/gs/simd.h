// Which vector instructions the pixel pipelines use.  SSE2 is the build's
// baseline; wider kernels are chosen at run time when the CPU has them, and
// each draws exactly the bytes of its SSE2 counterpart.  Tests lower the
// level to compare the two.
#pragma once

namespace console::gs {

// kAvx512: AVX-512 F, BW, DQ and VL together; every AVX2 kernel runs there
// too, so a level at or above kAvx2 picks the AVX2 kernels where there is
// no wider one.
enum class SimdLevel : int { kSse2 = 0, kAvx2 = 1, kAvx512 = 2 };

// The widest level this CPU runs.
SimdLevel HostSimdLevel();

// The level the pipelines use now: the host's, unless lowered.
SimdLevel ActiveSimdLevel();

// Caps the level at `level` (never above the host's).  Pipelines picked
// before the change are picked again; call it only while nothing draws.
void LimitSimdLevel(SimdLevel level);

// Bumped by every LimitSimdLevel, for caches of picked pipelines.
unsigned SimdGeneration();

}  // namespace console::gs
