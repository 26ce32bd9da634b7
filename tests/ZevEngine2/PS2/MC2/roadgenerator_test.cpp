// The road overlay's generator run on the VU1 stand-in: curve records and
// slices are written where a road batch leaves them, the overlay's image is
// made resident at 0x3900 and started with MSCAL as the batch does.  The
// vertices it hands to the strip routine are checked against the curves
// evaluated here in Bernstein form, in double precision, and the tilted
// normals against the direction frame worked out from the first curve.
#include <gtest/gtest.h>

#include <vu/vu1.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/MC2/command_support.h"
#include "ZevEngine2/PS2/Packet.h"
#include "console/gif/gs_recorder.h"
#include "ee/console_out.h"
#include "vu/machine.h"

using namespace mc2test;

namespace {

struct Rec
{
    double p[4][4];   // control points; w: w0 .. w3
};

double Bern(const Rec& r, int k, double t, bool deriv)
{
    const double s = 1 - t;
    if (!deriv)
        return s * s * s * r.p[0][k] + 3 * s * s * t * r.p[1][k] + 3 * s * t * t * r.p[2][k] + t * t * t * r.p[3][k];
    return 3 * (s * s * (r.p[1][k] - r.p[0][k]) + 2 * s * t * (r.p[2][k] - r.p[1][k]) + t * t * (r.p[3][k] - r.p[2][k]));
}

class RoadGenerator : public ::testing::Test
{
protected:
    vu1::Machine& vu = vu1::Vu1();
    giftest::ScopedRecorder gs;

    void SetUp() override
    {
        console::vu::ResetVu1();
        for (u32 i = 0; i < vu1::kMicrocode2Instructions; ++i)
            console::vu::WriteInstruction(i, vu1::Slot(vu1::kProgramMicrocode2, i));
        for (u32 i = 0; i < vu1::kRoadGeneratorInstructions; ++i)
            console::vu::WriteInstruction(vu1::kOverlayAddress / 8 + i, mcRoadGeneratorEE[i]);
        // A cull space that holds the test road well inside the guard band,
        // a plain viewport, no lights: only the vertices the generator hands
        // over matter here.
        for (u32 i = 0; i < 4; ++i)
            vu.Q(MC2_WORLDCULL + i) = Vec(0.01f * (i == 0), 0.01f * (i == 1), 0.01f * (i == 2), i == 3);
        vu.Q(MC2_CLIPSCALE) = Vec(1, 1, 1, 4);
        std::vector<u128> block{Cmd(mc2SetBuffers, MC2_ROAD_OUTBUF1, MC2_ROAD_OUTBUF2),
                                CmdF(mc2SetViewport, 320, 256, 1000, 0), Vec(2368, 2304, 1000, 0),
                                Cmd(mc2SetMaterial, 3, 3), Cmd(mc2Transform),
                                Cmd(mc2KickFlip, 1, 0x30004000u | 4u << 15, 0x412), Cmd(mc2Stop)};
        for (size_t i = 0; i < block.size(); ++i)
            vu.Q(u32(i)) = block[i];
        console::vu::Mscal(0, 0, 0);
    }
};

// Three curves of a rising, bending road over four slices: two strips are
// drawn, each of eight vertices; what is left in the strip area is the last
// strip, curve 2 in the first slot (an even record's own) and curve 1 in the
// second, with the texture coordinates and normals record 2 gives them.
TEST_F(RoadGenerator, StripVerticesAreTheCurvesAtTheSlicesWithTiltedNormals)
{
    const double w0s[3] = {0.3, 1.0, 0.0}, w1s[3] = {-0.4, 0.0, 0.5};
    Rec recs[3];
    for (int r = 0; r < 3; ++r) {
        const double x = -2.0 + 2.0 * r;
        const double pts[4][3] = {{x, -0.1 * r, 0}, {x + 1.0, -1.0, 4}, {x + 3.0, -2.0, 8}, {x + 6.0, -2.5, 11}};
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 3; ++k)
                recs[r].p[i][k] = pts[i][k];
        recs[r].p[0][3] = w0s[r];
        recs[r].p[1][3] = w1s[r];
        recs[r].p[2][3] = 0.25 * r;
        recs[r].p[3][3] = 0.25 * r + 0.125;
        for (int i = 0; i < 4; ++i)
            vu.Q(u32(4 * r + i)) = Vec(float(recs[r].p[i][0]), float(recs[r].p[i][1]), float(recs[r].p[i][2]),
                                       float(recs[r].p[i][3]));
    }
    vu.Q(12) = Q4(0, 0, 0, 0);
    const double ts[4] = {-0.01, 0.3, 0.75, 1.02};
    for (u32 k = 0; k < 4; ++k)
        vu.Q(MC2_ROAD_SLICES + k) = Vec(float(ts[k] * ts[k] * ts[k]), float(2.5 * ts[k]), float(ts[k]), float(ts[k] * ts[k]));

    console::vu::Mscal(mcRoadGenerator, 289, 4);

    // Two strips kicked: curves 0-1 and 1-2.
    u32 prims = 0, verts = 0;
    for (const auto& w : gs.recorder.writes) {
        prims += w.address == GS_PRIM;
        verts += w.address == GS_XYZF2 || w.address == GS_XYZF3;
    }
    EXPECT_EQ(prims, 2u);
    EXPECT_EQ(verts, 16u);
    EXPECT_EQ(vu.I(MC2_ROAD_STRIP)[0], 8u);
    EXPECT_EQ(vu.I(MC2_ROAD_MARK)[2], 1941u);

    for (u32 k = 0; k < 4; ++k) {
        const double t = ts[k];
        double T[3];
        for (int i = 0; i < 3; ++i)
            T[i] = Bern(recs[0], i, t, true);
        const double h = std::hypot(T[0], T[2]), len = std::sqrt(T[0] * T[0] + T[1] * T[1] + T[2] * T[2]);
        const double D[4] = {T[0] / h, -h / len, T[2] / h, T[1] / len};
        const double S[3] = {-D[2], 0, D[0]}, U[3] = {D[0] * D[3], D[1], D[2] * D[3]};
        // Slot 0: record 2's own vertex; slot 1: record 1's position, record
        // 2's second texture coordinate and w1-tilted normal.
        for (int slot = 0; slot < 2; ++slot) {
            const u32 v = 289 + 6 * k + 3 * u32(slot);
            const Rec& pos = recs[2 - slot];
            const double w = slot == 0 ? recs[2].p[0][3] : recs[2].p[1][3];
            const double c = std::sqrt(1 - w * w);
            for (int i = 0; i < 3; ++i) {
                EXPECT_NEAR(vu.F(v)[i], Bern(pos, i, t, false), 1e-5) << k << " " << slot;
                EXPECT_NEAR(vu.F(v + 2)[i], c * S[i] + w * U[i], 1e-5) << k << " " << slot;
            }
            EXPECT_EQ(vu.F(v)[3], 0.0f);
            EXPECT_NEAR(vu.F(v + 1)[0], slot == 0 ? 0.5 : 0.625, 1e-7);
            EXPECT_NEAR(vu.F(v + 1)[1], 2.5 * t, 1e-6);
            EXPECT_EQ(vu.F(v + 1)[2], 1.0f);
        }
    }
    // A w of 1 gives a normal straight up from the road (record 1's w0 was
    // 1 while its strip was drawn: its own slot then held U), 0 one along
    // the side: record 2's w0 = 0 gave slot 0 the side vector, checked above.
}

// One record draws no strip; the batch still ends with its mark.
TEST_F(RoadGenerator, OneCurveDrawsNothing)
{
    vu.Q(0) = Vec(0, 0, 0, 1);
    vu.Q(1) = Vec(1, 0, 0, 1);
    vu.Q(2) = Vec(2, 0, 0, 1);
    vu.Q(3) = Vec(3, 0, 0, 1);
    vu.Q(4) = Q4(0, 0, 0, 0);
    vu.Q(MC2_ROAD_SLICES) = Vec(0, 0, 0, 0);
    vu.Q(MC2_ROAD_SLICES + 1) = Vec(1, 1, 1, 1);
    console::vu::Mscal(mcRoadGenerator, 289, 2);
    EXPECT_TRUE(gs.recorder.writes.empty());
    EXPECT_EQ(vu.I(MC2_ROAD_MARK)[2], 1941u);
}

}  // namespace
