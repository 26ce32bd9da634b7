// GeneralLight2: one local light of the extra-lights chain, point or spot.
// Three quadwords, in the object's space:
//   {position x, y, z, w = brightness with this routine in its low 16 bits}
//   {-direction x, y, z (a spot's unit direction / sin of its half angle; 0
//    for a point light), cone term (1 - 1 / sin² of the half angle; 1 for a
//    point light)}
//   {colour r, g, b (1.0 = 0x80), fall-off k (19 / range²)}
// With L the unit vector from the vertex to the light at distance d and N the
// vertex normal (mc2UnpackNormals, negated by the Flip lighting forms):
//   light += colour * max(0, N . L) * brightness / (1 + k d²) * spot
// where spot = max(0, c² + cone term) with c = L . (-direction) when c >= 0,
// else 0; a point light's spot is 1 everywhere.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

u32 GeneralLight(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 3;
    const float* lp = vu.F(pc);
    const float bright = HighHalf(vu.I(pc)[3]);
    const float* nd = vu.F(pc + 1);
    const float* col = vu.F(pc + 2);
    const float k = col[3];
    for (u32 i = 0; i < st.n; ++i) {
        float p[3], n[3];
        Position(vu, st, i, p);
        Normal(vu, st, i, st.normalSlot, st.flip, n);
        float l[3] = {lp[0] - p[0], lp[1] - p[1], lp[2] - p[2]};
        const float d2 = l[0] * l[0] + l[1] * l[1] + l[2] * l[2];
        float ndl = 1.0f, spot = 1.0f;
        // A vertex at the light itself takes it full on.
        if (d2 > 1e-12f) {
            const float inv = 1.0f / std::sqrt(d2);
            for (float& c : l)
                c *= inv;
            ndl = n[0] * l[0] + n[1] * l[1] + n[2] * l[2];
            const float c = l[0] * nd[0] + l[1] * nd[1] + l[2] * nd[2];
            spot = c >= 0.0f ? c * c + nd[3] : 0.0f;
        }
        if (ndl <= 0.0f || spot <= 0.0f)
            continue;
        const float s = ndl * spot * bright / (1.0f + k * d2);
        for (int j = 0; j < 3; ++j)
            st.light[i][j] += s * col[j];
    }
    return pc + 3;
}

}  // namespace
}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2GeneralLight, "mc2GeneralLight", mc2::GeneralLight);
