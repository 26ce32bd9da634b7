// Fog2: per-vertex fog.  {fog_max, fog_min, 0, routine} then the numerator and
// denominator planes in the object's space.  For a vertex at p (w = 1) the fog
// amount is t = (p . num) / (p . den); the GS fog value is
// F = 256 * clamp(255/256 - t, fog_max, fog_min), 255 meaning no fog, and
// the batch's kicks switch fogging on (FGE).
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

u32 Fog(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 3;
    const float lo = vu.F(pc)[0];
    const float hi = vu.F(pc)[1];
    const float* num = vu.F(pc + 1);
    const float* den = vu.F(pc + 2);
    for (u32 i = 0; i < st.n; ++i) {
        float p[3];
        Position(vu, st, i, p);
        const float np = p[0] * num[0] + p[1] * num[1] + p[2] * num[2] + num[3];
        float dp = p[0] * den[0] + p[1] * den[1] + p[2] * den[2] + den[3];
        if (std::fabs(dp) < 1e-30f)
            dp = dp < 0.0f ? -1e-30f : 1e-30f;
        float f = 0.99609375f - np / dp;
        if (!(f >= lo))
            f = lo;
        if (f > hi)
            f = hi;
        const float s = f * 256.0f;
        const u32 fog = !(s > 0.0f) ? 0u : s >= 255.0f ? 255u : u32(s);
        u32* w = &vu.I(OutVertex(st, i) + 2)[3];
        *w = (*w & ~0xFF0u) | fog << 4;
    }
    CurBatch(st).fogged = 1;
    return pc + 3;
}

}  // namespace
}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Fog, "mc2Fog", mc2::Fog);
