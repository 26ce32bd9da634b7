// The particle overlay's routines run on the VU1 stand-in as batch steps of a
// material, dispatched through the registry like the real overlay: a test
// program with the overlay's entry addresses is made resident at 0x3900.
// The GIF packets they kick are read back from a recording GS; expected
// screen positions are worked out here from the projection, and the same
// particles drawn by the main processor's particle drawer must land on the
// same pixels and depths.
#include <gtest/gtest.h>

#include <vu/vu1.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/MC2/PartMicrocode.h"
#include "ZevEngine2/PS2/MC2/command_support.h"
#include "ZevEngine2/PS2/ParticleDraw.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "console/gif/gs_recorder.h"
#include "ee/console_out.h"
#include "vu/machine.h"

using namespace mc2test;

namespace {

// The overlay under test: the particle routines at their overlay addresses.
constexpr u16 kTestOverlay = 0x1A0;
CONSOLE_VU1_PROGRAM(kTestOverlay, "particle overlay under test", vu1::kOverlayAddress, vu1::kParticlesInstructions);
CONSOLE_VU1_ENTRY(kTestOverlay, mc2PartFlat, "mc2PartFlat", mc2::PartFlat);
CONSOLE_VU1_ENTRY(kTestOverlay, mc2PartSprite, "mc2PartSprite", mc2::PartSprite);
CONSOLE_VU1_ENTRY(kTestOverlay, mc2PartLine, "mc2PartLine", mc2::PartLine);

constexpr u32 kPrimSprite = 0x156, kPrimFlat = 0x154, kPrimLine = 0x41;

// A vertex as the GS received it.
struct Vert
{
    u32 x, y, z;
    bool noKick;
    u32 rgba;
    u32 u, v;
};
struct Prim
{
    u64 prim;
    std::vector<Vert> v;
};

std::vector<Prim> Prims(const giftest::GsRecorder& r)
{
    std::vector<Prim> out;
    u32 rgba = 0, u = 0, v = 0;
    for (const auto& w : r.writes) {
        if (w.address == GS_PRIM) {
            out.push_back({w.value, {}});
        } else if (w.address == GS_RGBAQ) {
            rgba = u32(w.value);
        } else if (w.address == GS_UV) {
            u = u32(w.value & 0x3FFF);
            v = u32(w.value >> 16 & 0x3FFF);
        } else if ((w.address == GS_XYZF2 || w.address == GS_XYZF3) && !out.empty()) {
            out.back().v.push_back({u32(w.value & 0xFFFF), u32(w.value >> 16 & 0xFFFF), u32(w.value >> 32 & 0xFFFFFF),
                                    w.address == GS_XYZF3, rgba, u, v});
        }
    }
    return out;
}

// Camera at the origin looking along +z, 640 x 512 at the GS offset, depth
// 1 .. 16,000,000, near 1, far 1000, zoom 1: x / z = 1 lies 320 pixels right
// of 2368 and y / z = 1 320 pixels below 2304.
struct View
{
    RenderContext rc;
    View()
    {
        rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
        rc.SetAspectRatio(1.0f, 1.0f);
        rc.SetZRange(1.0f, 1000.0f);
        rc.SetPerspective(1.0f);
        rc.SetCameraMatrix(Matrix(true));
    }
};

u32 X16(double px) { return u32(px * 16); }
double DepthAt(double z)
{
    const double n = 1, f = 1000;
    return 8000000.5 - 7999999.5 * ((f + n) / (f - n) - 2 * f * n / ((f - n) * z));
}

class PartOverlay : public ::testing::Test
{
protected:
    vu1::Machine& vu = vu1::Vu1();
    giftest::ScopedRecorder gs;
    View view;
    static constexpr u32 kHalf0 = 0, kHalf1 = MC2_INPUT_OFFSET;

    void SetUp() override
    {
        console::vu::ResetVu1();
        for (u32 i = 0; i < vu1::kMicrocode2Instructions; ++i)
            console::vu::WriteInstruction(i, vu1::Slot(vu1::kProgramMicrocode2, i));
        for (u32 i = 0; i < vu1::kParticlesInstructions; ++i)
            console::vu::WriteInstruction(vu1::kOverlayAddress / 8 + i, vu1::Slot(kTestOverlay, i));
        for (u32 i = 0; i < 4; ++i)
            vu.Q(MC2_WORLDCULL + i) = view.rc.world_cull.Raw()[i];
        std::memcpy(&vu.Q(MC2_CLIPSCALE), &view.rc.clip_scale, 16);
        Block({Cmd(mc2SetBuffers, MC2_OUTBUF1, MC2_OUTBUF2), CmdF(mc2SetViewport, 320, 256, 7999999.5f, 0),
               Vec(2368, 2304, 8000000.5f, 0)});
        console::ClearConsoleText();
    }

    void Write(u32 addr, const std::vector<u128>& q)
    {
        for (size_t i = 0; i < q.size(); ++i)
            vu.Q(addr + u32(i)) = q[i];
    }
    void Block(std::vector<u128> q)
    {
        q.push_back(Cmd(mc2Stop));
        Write(kHalf0, q);
        console::vu::Mscal(0, kHalf0, 0);
    }
    void Material(u32 stride, u128 step) { Block({Cmd(mc2SetMaterial, stride, 2), step}); }
    void Batch(const std::vector<u128>& records, u32 n)
    {
        Write(kHalf1, records);
        console::vu::Mscnt(kHalf1, n);
    }

    // A sprite or flat record: centre, size (and angle), colour, UV rectangle.
    static std::vector<u128> Quad(VectorPos c, float w, float h, float rot, u32 rgba, u32 u0 = 8, u32 v0 = 8,
                                  u32 u1 = 264, u32 v1 = 264)
    {
        return {Vec(c[0], c[1], c[2]), Vec(w, h, rot), Q4(rgba & 0xFF, rgba >> 8 & 0xFF, rgba >> 16 & 0xFF, rgba >> 24),
                Q4(u0, v0, u1, v1)};
    }
};

}  // namespace

TEST_F(PartOverlay, SpriteRecordsBecomeSpritesAroundTheirProjectedCentres)
{
    Material(4, Cmd(mc2PartSprite, kPrimSprite));
    std::vector<u128> r = Quad(VectorPos(1, -2, 10), 1, 0.5f, 0, 0x40302010, 8, 520, 264, 776);
    const std::vector<u128> r2 = Quad(VectorPos(0, 0, 20), 2, 2, 0, 0x80808080);
    r.insert(r.end(), r2.begin(), r2.end());
    Batch(r, 2);

    const auto p = Prims(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].prim, kPrimSprite);
    ASSERT_EQ(p[0].v.size(), 4u);
    const Vert& a = p[0].v[0];
    const Vert& b = p[0].v[1];
    // Centre (2368 + 32, 2304 - 64), half size 32 x 16 pixels.
    EXPECT_TRUE(a.noKick);
    EXPECT_FALSE(b.noKick);
    EXPECT_EQ(a.x, X16(2368 + 32 - 32));
    EXPECT_EQ(a.y, X16(2304 - 64 - 16));
    EXPECT_EQ(b.x, X16(2368 + 32 + 32));
    EXPECT_EQ(b.y, X16(2304 - 64 + 16));
    EXPECT_NEAR(a.z, DepthAt(10), 4.0);
    EXPECT_EQ(a.rgba, 0x40302010u);
    EXPECT_EQ(a.u, 8u);
    EXPECT_EQ(a.v, 520u);
    EXPECT_EQ(b.u, 264u);
    EXPECT_EQ(b.v, 776u);
    EXPECT_EQ(p[0].v[2].x, X16(2368 - 32));
    EXPECT_EQ(p[0].v[3].y, X16(2304 + 32));
}

// The overlay and the main processor's drawer put the same particle on the
// same pixels at the same depth.
TEST_F(PartOverlay, OverlayAndMainProcessorDrawTheSameParticles)
{
    PartManager* pm = new PartManager;
    ASSERT_NE(pm, nullptr);
    Particle* q = pm->CreatePart(1.5f, 0, 0);
    q->pos = VectorPos(-2.0f, 1.0f, 12.0f);
    q->w = 0.75f;
    q->h = 0.5f;
    q->rotZ = 0.6f;
    q->colour = Colour(1, 2, 3, 4);
    u64 ee[2][16];
    ASSERT_EQ(ParticleDrawSprite(q, view.rc, ee[0]) - ee[0], PARTDRAW_SPRITE_REGS);
    ASSERT_EQ(ParticleDrawFlat(q, view.rc, ee[1]) - ee[1], PARTDRAW_FLAT_REGS);

    const std::vector<u128> rec = Quad(q->pos, q->w * q->scale, q->h * q->scale, q->rotZ, q->colour.Word());
    Material(4, Cmd(mc2PartSprite, kPrimSprite));
    Batch(rec, 1);
    Material(4, Cmd(mc2PartFlat, kPrimFlat));
    Batch(rec, 1);
    const auto p = Prims(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    const int xyz[2][4] = {{2, 4, -1, -1}, {2, 4, 6, 8}};
    for (int s = 0; s < 2; ++s) {
        for (int k = 0; k < 4 && xyz[s][k] >= 0; ++k) {
            ASSERT_LT(size_t(k), p[s].v.size());
            const u64 e = ee[s][xyz[s][k]];
            EXPECT_NEAR(p[s].v[k].x, u32(e & 0xFFFF), 1) << s << " corner " << k;
            EXPECT_NEAR(p[s].v[k].y, u32(e >> 16 & 0xFFFF), 1) << s << " corner " << k;
            EXPECT_NEAR(p[s].v[k].z, u32(e >> 32 & 0xFFFFFF), 2) << s << " corner " << k;
        }
    }
    pm->Delete();
}

TEST_F(PartOverlay, FlatCornersTurnWithTheAngle)
{
    Material(4, Cmd(mc2PartFlat, kPrimFlat));
    Batch(Quad(VectorPos(0, 0, 10), 1, 1, float(M_PI / 2), 0x80808080), 1);
    const auto p = Prims(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].v.size(), 4u);
    // A quarter turn: right-top goes to right-bottom, left-top to right-top...
    const double l = 2368 - 32, r = 2368 + 32, t = 2304 - 32, b = 2304 + 32;
    const double want[4][2] = {{r, b}, {r, t}, {l, b}, {l, t}};
    const bool noKick[4] = {true, true, false, false};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(p[0].v[i].x, X16(want[i][0]), 8) << i;
        EXPECT_NEAR(p[0].v[i].y, X16(want[i][1]), 8) << i;
        EXPECT_EQ(p[0].v[i].noKick, noKick[i]) << i;
    }
    // The texture stays on the corners: (u1, v0), (u0, v0), (u1, v1), (u0, v1).
    EXPECT_EQ(p[0].v[0].u, 264u);
    EXPECT_EQ(p[0].v[0].v, 8u);
    EXPECT_EQ(p[0].v[3].u, 8u);
    EXPECT_EQ(p[0].v[3].v, 264u);
}

// Two-quadword records (the rain's streaks) take the command's colour; four
// quadwords carry a colour for each end.
TEST_F(PartOverlay, LinesTakeTheCommandColourUnlessTheyCarryTheirOwn)
{
    Material(2, Cmd(mc2PartLine, kPrimLine, Colour(64, 64, 64, 64).Word()));
    Batch({Vec(1, 0, 10, 0.3f), Vec(0, 1, 20, 0.7f)}, 1);
    Material(4, Cmd(mc2PartLine, kPrimLine, Colour(64, 64, 64, 64).Word()));
    Batch({Vec(1, 0, 10), Vec(0, 1, 20), Q4(255, 0, 0, 128), Q4(0, 255, 0, 300)}, 1);

    const auto p = Prims(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    ASSERT_EQ(p[0].v.size(), 2u);
    EXPECT_EQ(p[0].prim, kPrimLine);
    EXPECT_EQ(p[0].v[0].rgba, Colour(64, 64, 64, 64).Word());
    EXPECT_EQ(p[0].v[1].rgba, Colour(64, 64, 64, 64).Word());
    EXPECT_EQ(p[0].v[0].x, X16(2368 + 32));
    EXPECT_EQ(p[0].v[0].y, X16(2304));
    EXPECT_EQ(p[0].v[1].x, X16(2368));
    EXPECT_EQ(p[0].v[1].y, X16(2304 + 16));
    EXPECT_TRUE(p[0].v[0].noKick);
    EXPECT_FALSE(p[0].v[1].noKick);
    ASSERT_EQ(p[1].v.size(), 2u);
    EXPECT_EQ(p[1].v[0].rgba, Colour(255, 0, 0, 128).Word());
    EXPECT_EQ(p[1].v[1].rgba, Colour(0, 255, 0, 255).Word()) << "a component above 255 is held there";
}

TEST_F(PartOverlay, LinesMoveWithTheObjectMatrix)
{
    // The rain stamps one cube of drops at many origins through mc2SetLocal.
    Block({CmdF(mc2SetLocal, 1, 0, 0, 0), Vec(0, 1, 0, 0), Vec(0, 0, 1, 0), Vec(0, 0, 10, 1), Vec(0, 0, 0, 100)});
    Material(2, Cmd(mc2PartLine, kPrimLine, 0x80808080));
    Batch({Vec(1, 0, 0), Vec(0, 1, 10)}, 1);
    const auto p = Prims(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].v.size(), 2u);
    EXPECT_EQ(p[0].v[0].x, X16(2368 + 32));
    EXPECT_EQ(p[0].v[1].y, X16(2304 + 16));
}

TEST_F(PartOverlay, RecordsThatCannotBeDrawnAreLeftOut)
{
    Material(2, Cmd(mc2PartLine, kPrimLine, 0x80808080));
    Batch({Vec(0, 0, 10), Vec(0, 0, -5),       // far end behind the eye
           Vec(0, 0, 0.5f), Vec(0, 0, 10),     // near end nearer than the near plane
           Vec(5000, 0, 10), Vec(0, 0, 10),    // outside the guard band
           Vec(0, 0, 10), Vec(1, 1, 10)},      // drawn
          4);
    const auto p = Prims(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].v.size(), 2u);
    EXPECT_EQ(p[0].v[1].x, X16(2368 + 32));
}

// 54 flats of nine output quadwords each: 24 fit one output buffer, so three
// packets go out, each with its own PRIM.
TEST_F(PartOverlay, BatchLargerThanAnOutputBufferGoesOutInSeveralPackets)
{
    Material(4, Cmd(mc2PartFlat, kPrimFlat));
    std::vector<u128> r;
    for (int i = 0; i < 54; ++i) {
        const std::vector<u128> q = Quad(VectorPos(float(i % 9) - 4, float(i / 9) - 3, 20), 0.25f, 0.25f, 0, 0x80808080);
        r.insert(r.end(), q.begin(), q.end());
    }
    Batch(r, 54);
    const auto p = Prims(gs.recorder);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].v.size(), 24u * 4);
    EXPECT_EQ(p[1].v.size(), 24u * 4);
    EXPECT_EQ(p[2].v.size(), 6u * 4);
}

TEST_F(PartOverlay, OutsideABatchNothingIsDrawn)
{
    Block({Cmd(mc2PartLine, kPrimLine), Cmd(mc2PartSprite, kPrimSprite), Cmd(mc2PartFlat, kPrimFlat)});
    EXPECT_TRUE(gs.recorder.writes.empty());
}

TEST_F(PartOverlay, RecordsShorterThanTheRoutineNeedsAreRefused)
{
    Material(2, Cmd(mc2PartSprite, kPrimSprite));
    Batch({Vec(0, 0, 10), Vec(1, 1, 0)}, 1);
    Batch({Vec(0, 0, 10), Vec(1, 1, 0)}, 1);
    Material(1, Cmd(mc2PartLine, kPrimLine));
    Batch({Vec(0, 0, 10)}, 1);
    EXPECT_TRUE(gs.recorder.writes.empty());
    // Said once per routine at most, not once per batch.
    const std::string text = console::ConsoleText();
    const std::string what = "mc2PartSprite records need 4 quadwords";
    const size_t first = text.find(what);
    EXPECT_TRUE(first == std::string::npos || text.find(what, first + 1) == std::string::npos);
}
