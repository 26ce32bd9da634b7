// Reflection2: environment mapping.  The texture coordinates of a reflective
// material come from the ray from the eye mirrored by the surface at each
// vertex, looked up in a sphere map whose centre is the direction back at the
// eye; the refractive form (Refraction2.cpp) bends the ray into the surface
// instead.  Both work in view space through the matrix the model set-up sends
// (927 for reflective models), and read the normal slot mc2UnpackNormals named.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {

u32 EnvironmentStep(vu1::Machine& vu, u32 pc, bool refract)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 mat = vu.I(pc)[0];
    const float k = vu.F(pc)[1];
    const float w = vu.F(pc)[2];
    const float* m[4] = {vu.F(mat), vu.F(mat + 1), vu.F(mat + 2), vu.F(mat + 3)};
    for (u32 i = 0; i < st.n; ++i) {
        const float* s = vu.F(InVertex(st, i, 0));
        float e[3], n[3], nm[3];
        for (int c = 0; c < 3; ++c)
            e[c] = s[0] * m[0][c] + s[1] * m[1][c] + s[2] * m[2][c] + w * m[3][c];
        const float el = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        if (el > 0.0f) {
            for (float& c : e)
                c /= el;
        } else {
            e[0] = e[1] = 0.0f;
            e[2] = 1.0f;
        }
        Normal(vu, st, i, st.normalSlot, false, nm);
        for (int c = 0; c < 3; ++c)
            n[c] = nm[0] * m[0][c] + nm[1] * m[1][c] + nm[2] * m[2][c];
        const float nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (float& c : n)
            c = nl > 0.0f ? c / nl : 0.0f;

        float d[3];
        if (refract) {
            for (int c = 0; c < 3; ++c)
                d[c] = k * e[c] - n[c];
            const float dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int c = 0; c < 3; ++c)
                d[c] = dl > 0.0f ? d[c] / dl : e[c];
        } else {
            const float ne = n[0] * e[0] + n[1] * e[1] + n[2] * e[2];
            for (int c = 0; c < 3; ++c)
                d[c] = e[c] - 2.0f * ne * n[c];
        }
        // The sphere map: centred on the ray back at the eye (reflection) or
        // straight ahead (refraction).
        const float dz = refract ? d[2] + 1.0f : d[2] - 1.0f;
        const float mm = std::max(2.0f * std::sqrt(d[0] * d[0] + d[1] * d[1] + dz * dz), 1e-6f);
        PutUV(vu, st, i, 0.5f + d[0] / mm, 0.5f + d[1] / mm);
    }
    return pc + 1;
}

namespace {

// {matrix address, unused, w}.
u32 Reflection(vu1::Machine& vu, u32 pc) { return EnvironmentStep(vu, pc, false); }

}  // namespace
}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Reflection, "mc2Reflection", mc2::Reflection);
