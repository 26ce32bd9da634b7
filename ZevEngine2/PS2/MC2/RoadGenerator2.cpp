// RoadGenerator2: the road overlay's one routine, mcRoadGenerator.  A road
// batch leaves in VU1 memory a family of cubic curves that run along the road
// (one per cross-section point, four control points each, their w words the
// shading and texture values across the road) and a list of slices, curve
// parameters with their texture coordinate along the road.  The routine
// evaluates every curve at every slice and hands each strip between two
// neighbouring curves to the main program's strip routine, which runs the
// current material over it.  The layout is in README.md beside this file.
#include <cmath>

#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

constexpr u32 kRecordQwc = 4;
constexpr u32 kVertexQwc = 3;   // position; s, v, 1; normal

// Each fault is reported once: a road pass would flood the log.
enum Fault { TOO_MANY_SLICES, TOO_MANY_RECORDS, NO_STRIP_ROUTINE, FAULTS };

void Report(Fault f, const char* what, u32 value)
{
    static bool reported[FAULTS];
    if (!reported[f])
        printf("VU1: mcRoadGenerator %s %u\n", what, value);
    reported[f] = true;
}

void Put(vu1::Machine& vu, u32 addr, float x, float y, float z, float w)
{
    float* q = vu.F(addr);
    q[0] = x;
    q[1] = y;
    q[2] = z;
    q[3] = w;
}

// Power form a t³ + b t² + c t + d of the curve whose control points start
// at addr.
void PowerForm(const vu1::Machine& vu, u32 addr, float a[3], float b[3], float c[3], float d[3])
{
    const float* p0 = vu.F(addr);
    const float* p1 = vu.F(addr + 1);
    const float* p2 = vu.F(addr + 2);
    const float* p3 = vu.F(addr + 3);
    for (int k = 0; k < 3; ++k) {
        a[k] = -p0[k] + 3.0f * p1[k] - 3.0f * p2[k] + p3[k];
        b[k] = 3.0f * p0[k] - 6.0f * p1[k] + 3.0f * p2[k];
        c[k] = 3.0f * (p1[k] - p0[k]);
        d[k] = p0[k];
    }
}

bool ZeroRecord(const vu1::Machine& vu, u32 addr)
{
    const u32* q = vu.I(addr);
    return (q[0] | q[1] | q[2] | q[3]) == 0;
}

// The direction frame of each slice from the first curve's tangent: the
// horizontal unit direction in x and z, minus the cosine of the pitch in y
// (y points down), its sine in w.
void Directions(vu1::Machine& vu, u32 n)
{
    float a[3], b[3], c[3], d[3];
    PowerForm(vu, 0, a, b, c, d);
    for (u32 k = 0; k < n; ++k) {
        const float t = vu.F(MC2_ROAD_SLICES + k)[2];
        float T[3];
        for (int i = 0; i < 3; ++i)
            T[i] = 3.0f * a[i] * t * t + 2.0f * b[i] * t + c[i];
        const float h = std::sqrt(T[0] * T[0] + T[2] * T[2]);
        const float len = std::sqrt(h * h + T[1] * T[1]);
        if (h > 0.0f)
            Put(vu, MC2_ROAD_DIRECTIONS + k, T[0] / h, -h / len, T[2] / h, T[1] / len);
        else if (len > 0.0f)
            // Straight up or down: no horizontal direction to lean the
            // normals across; they stay upright.
            Put(vu, MC2_ROAD_DIRECTIONS + k, 1.0f, 0.0f, 0.0f, T[1] / len);
        else
            Put(vu, MC2_ROAD_DIRECTIONS + k, 1.0f, -1.0f, 0.0f, 0.0f);
    }
}

u32 RoadGenerator(vu1::Machine& vu, u32)
{
    u32 n = vu.Itop();
    if (n > MC2_ROAD_MAXSLICES) {
        Report(TOO_MANY_SLICES, "slices cut to 32 from", n);
        n = MC2_ROAD_MAXSLICES;
    }
    const vu1::Entry* strip = vu1::Find(vu1::kProgramMicrocode2, "mc2Process");
    if (!strip) {
        Report(NO_STRIP_ROUTINE, "finds no strip routine; records", 0);
        return vu1::kNoResume;
    }
    Directions(vu, n);

    u32 r = 0;
    for (; r < MC2_ROAD_MAXRECORDS && !ZeroRecord(vu, kRecordQwc * r); ++r) {
        const u32 rec = kRecordQwc * r;
        float a[3], b[3], c[3], d[3];
        PowerForm(vu, rec, a, b, c, d);
        const float w0 = vu.F(rec)[3], w1 = vu.F(rec + 1)[3];
        const float s0 = vu.F(rec + 2)[3], s1 = vu.F(rec + 3)[3];
        const float c0 = std::sqrt(std::max(0.0f, 1.0f - w0 * w0));
        const float c1 = std::sqrt(std::max(0.0f, 1.0f - w1 * w1));
        const u32 own = (r & 1) * kVertexQwc;
        const u32 other = kVertexQwc - own;
        for (u32 k = 0; k < n; ++k) {
            const float* sl = vu.F(MC2_ROAD_SLICES + k);   // t³, v, t, t²
            const float* D = vu.F(MC2_ROAD_DIRECTIONS + k);
            const float S[3] = {-D[2], 0.0f, D[0]};
            const float U[3] = {D[0] * D[3], D[1], D[2] * D[3]};
            const u32 v = MC2_ROAD_STRIP + 1 + 2 * kVertexQwc * k;
            Put(vu, v + own, a[0] * sl[0] + b[0] * sl[3] + c[0] * sl[2] + d[0],
                a[1] * sl[0] + b[1] * sl[3] + c[1] * sl[2] + d[1], a[2] * sl[0] + b[2] * sl[3] + c[2] * sl[2] + d[2],
                0.0f);
            Put(vu, v + own + 1, s0, sl[1], 1.0f, 0.0f);
            Put(vu, v + own + 2, c0 * S[0] + w0 * U[0], c0 * S[1] + w0 * U[1], c0 * S[2] + w0 * U[2], 0.0f);
            Put(vu, v + other + 1, s1, sl[1], 1.0f, 0.0f);
            Put(vu, v + other + 2, c1 * S[0] + w1 * U[0], c1 * S[1] + w1 * U[1], c1 * S[2] + w1 * U[2], 0.0f);
        }
        if (r > 0 && n > 0) {
            u32* head = vu.I(MC2_ROAD_STRIP);
            head[0] = 2 * n;
            head[1] = head[2] = 0;
            head[3] = mc2Process / 8;
            strip->fn(vu, MC2_ROAD_STRIP);
        }
    }
    if (r == MC2_ROAD_MAXRECORDS && !ZeroRecord(vu, kRecordQwc * r))
        Report(TOO_MANY_RECORDS, "stops at the direction table after records:", r);
    vu.I(MC2_ROAD_MARK)[2] = 1941;
    return vu1::kNoResume;
}

}  // namespace
}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramRoadGenerator, mcRoadGenerator, "mcRoadGenerator", mc2::RoadGenerator);
