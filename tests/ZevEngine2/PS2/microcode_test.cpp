// The vector-unit-1 microcode run on the VU1 stand-in: command blocks and
// vertex batches are written into VU1 data memory as the VIF would leave
// them, started with MSCAL/MSCNT, and the GIF packets the routines kick are
// read back from a recording GS.  Expected values are worked out here from
// the formulas of ZevEngine2/PS2/MC2/README.md, in double precision.
#include <gtest/gtest.h>

#include <vu/vu1.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/MC2/command_support.h"
#include "ZevEngine2/fresh_run.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "console/gif/gs_recorder.h"
#include "core/diag.h"
#include "ee/console_out.h"
#include "vu/machine.h"

using namespace mc2test;

namespace {

constexpr u32 kPrimStrip = 4, kPrimIIP = 8;
u128 Kick(u32 routine, u32 k, u32 prim) { return Cmd(routine, k, 0x30004000u | prim << 15, 0x412); }

// What one kicked packet drew, as the GIF turned it into register writes.
struct Vert {
    u32 x, y, z, f;
    bool adc;
    u32 rgba;
    float s, t, q;
};
struct Packet {
    u64 prim;
    std::vector<Vert> v;
};

std::vector<Packet> Packets(const giftest::GsRecorder& r)
{
    std::vector<Packet> out;
    float s = 0, t = 0;
    u32 rgba = 0;
    float q = 1;
    for (const auto& w : r.writes) {
        if (w.address == GS_PRIM) {
            out.push_back({w.value, {}});
        } else if (w.address == GS_ST) {
            u32 a = u32(w.value), b = u32(w.value >> 32);
            std::memcpy(&s, &a, 4);
            std::memcpy(&t, &b, 4);
        } else if (w.address == GS_RGBAQ) {
            rgba = u32(w.value);
            u32 qb = u32(w.value >> 32);
            std::memcpy(&q, &qb, 4);
        } else if ((w.address == GS_XYZF2 || w.address == GS_XYZF3) && !out.empty()) {
            out.back().v.push_back({u32(w.value & 0xFFFF), u32((w.value >> 16) & 0xFFFF),
                                    u32((w.value >> 32) & 0xFFFFFF), u32(w.value >> 56), w.address == GS_XYZF3,
                                    rgba, s, t, q});
        }
    }
    return out;
}

// The view every test draws with: camera at the origin looking along +z
// (y down), 640 x 512 at the GS offset, depth 1 .. 16,000,000, near 1, far
// 1000, zoom 1.
struct View {
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

// Screen position of a view-space point, as README section 4 states it.
struct Screen {
    double x, y, z;
};
Screen Project(double x, double y, double z)
{
    const double n = 1, f = 1000;
    const double ndcz = (f + n) / (f - n) - 2 * f * n / ((f - n) * z);
    const double sy = 1.0 * 320.0 / 256.0;   // ay2
    return {2368.0 + 320.0 * x / z, 2304.0 + 256.0 * sy * y / z, 8000000.5 - 7999999.5 * ndcz};
}

class Microcode : public ::testing::Test
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
        // What RenderContext::Begin and SetLights(identity) leave.
        Write(MC2_WORLDCULL, view.rc.world_cull);
        Write(MC2_LIGHTCOLOURS, view.rc.light_colour);
        vu.Q(MC2_CLIPSCALE) = Raw(view.rc.clip_scale);
        const Matrix dirs = Matrix(true) * view.rc.normal_light;
        for (u32 i = 0; i < 3; ++i)
            vu.Q(MC2_LIGHTDIRS + i) = dirs.Raw()[i];
        vu.Q(MC2_LIGHTCHAIN) = Cmd(mc2NoExtraLights);
        Block({Cmd(mc2SetBuffers, MC2_OUTBUF1, MC2_OUTBUF2), CmdF(mc2SetViewport, 320, 256, 7999999.5f, 0),
               Vec(2368, 2304, 8000000.5f, 0)});
    }

    static u128 Raw(const Vector& v)
    {
        u128 q;
        std::memcpy(&q, &v, 16);
        return q;
    }
    void Write(u32 addr, const Matrix& m)
    {
        for (u32 i = 0; i < 4; ++i)
            vu.Q(addr + i) = m.Raw()[i];
    }
    void Write(u32 addr, const std::vector<u128>& q)
    {
        for (size_t i = 0; i < q.size(); ++i)
            vu.Q(addr + u32(i)) = q[i];
    }
    // A command block at the first half, ended and run with MSCAL 0.
    void Block(std::vector<u128> q)
    {
        q.push_back(Cmd(mc2Stop));
        Write(kHalf0, q);
        console::vu::Mscal(0, kHalf0, 0);
    }
    // A material block: mc2SetMaterial {stride, n} and its program.
    void Material(u32 stride, const std::vector<u128>& program)
    {
        std::vector<u128> q{Cmd(mc2SetMaterial, stride, u32(program.size()) + 1)};
        q.insert(q.end(), program.begin(), program.end());
        Block(q);
    }
    void Batch(u32 half, const std::vector<u128>& verts, u32 n)
    {
        Write(half, verts);
        console::vu::Mscnt(half, n);
    }
};

// ----------------------------------------------------------- vocabulary

// The routine table as the interface fixes it: label and VU1 program address.
struct TableEntry {
    const char* label;
    u32 routine;   // the program's own constant
    u32 address;   // the address as the table writes it
};

TEST(MicrocodeVocabulary, EveryTableAddressIsAnEntryOfTheMainProgram)
{
    console::vu::ResetVu1();
    for (u32 i = 0; i < vu1::kMicrocode2Instructions; ++i)
        console::vu::WriteInstruction(i, vu1::Slot(vu1::kProgramMicrocode2, i));
    const TableEntry table[] = {
        {"mc2Nop", mc2Nop, 0x28}, {"mc2Break", mc2Break, 0x60}, {"mc2Stop", mc2Stop, 0x50},
        {"mc2SetViewport", mc2SetViewport, 0x80}, {"mc2SetLocal", mc2SetLocal, 0x90},
        {"mc2SetClipping", mc2SetClipping, 0x200}, {"mc2SetBuffers", mc2SetBuffers, 0x210},
        {"mc2ProcessVerts", mc2ProcessVerts, 0x238}, {"mc2SetMaterial", mc2SetMaterial, 0x268},
        {"mc2EndPass1", mc2EndPass1, 0x358}, {"mc2EndPass", mc2EndPass, 0x390},
        {"mc2Instances", mc2Instances, 0x438}, {"mc2Giftag", mc2Giftag, 0x630},
        {"mc2GiftagCopy", mc2GiftagCopy, 0x668}, {"mc2Kick", mc2Kick, 0x6C0},
        {"mc2KickFlipLong", mc2KickFlipLong, 0x710}, {"mc2KickFlip", mc2KickFlip, 0x750},
        {"mc2KickClipHomo", mc2KickClipHomo, 0x918}, {"mc2SetGlobals", mc2SetGlobals, 0xB08},
        {"mc2UnpackADC", mc2UnpackADC, 0xBB8}, {"mc2UnpackNormals", mc2UnpackNormals, 0xC68},
        {"mc2BFCull", mc2BFCull, 0xD08}, {"mc2BFCullSwap", mc2BFCullSwap, 0x1088},
        {"mc2TwoSided", mc2TwoSided, 0xE88}, {"mc2SetUV", mc2SetUV, 0x1138},
        {"mc2TransformUVnorm", mc2TransformUVnorm, 0x11D0}, {"mc2TransformUV", mc2TransformUV, 0x1238},
        {"mc2RandomClamp", mc2RandomClamp, 0x1328}, {"mc2AlphaReg", mc2AlphaReg, 0x1378},
        {"mc2Transform", mc2Transform, 0x13A0}, {"mc2TransformClipped", mc2TransformClipped, 0x1570},
        {"mc2TransformCompressed", mc2TransformCompressed, 0x1800},
        {"mc2TransformCompressedClipped", mc2TransformCompressedClipped, 0x1988},
        {"Clipper", mc2Clipper, 0x3170}, {"mc2CopyColour", mc2CopyColour, 0x1BD0},
        {"mc2FillColour", mc2FillColour, 0x1C38}, {"mc2NoExtraLights", mc2NoExtraLights, 0x21A8},
        {"mc2ClampLights", mc2ClampLights, 0x21B8}, {"mc2GeneralLight", mc2GeneralLight, 0x2240},
        {"mc2Fog", mc2Fog, 0x2420}, {"mc2Reflection", mc2Reflection, 0x2598},
        {"mc2Refraction", mc2Refraction, 0x26C0}, {"mc2Skin", mc2Skin, 0x28E0},
        {"mc2BezierPatch", mc2BezierPatch, 0x2B20},
    };
    for (const TableEntry& t : table) {
        EXPECT_EQ(t.routine, t.address) << t.label;
        const vu1::Entry* e = vu1::TryLookup(t.address);
        ASSERT_NE(e, nullptr) << t.label;
        EXPECT_EQ(e->program, vu1::kProgramMicrocode2) << t.label;
        EXPECT_STREQ(e->name, t.label);
    }
    // The lighting steps lie in 0x1C80 .. 0x2108; the pre-lit pairs share the
    // last two entries.
    const TableEntry lighting[] = {
        {"mc2DoLighting", mc2DoLighting, 0}, {"mc2DoLightingFlip", mc2DoLightingFlip, 0},
        {"mc2DoLightingCompressed", mc2DoLightingCompressed, 0},
        {"mc2DoLightingCompressedFlip", mc2DoLightingCompressedFlip, 0},
        {"mc2DoLightingMult", mc2DoLightingMult, 0}, {"mc2DoLightingMultFlip", mc2DoLightingMultFlip, 0},
        {"mc2DoLightingCompressedMult", mc2DoLightingCompressedMult, 0},
        {"mc2DoLightingCompressedMultFlip", mc2DoLightingCompressedMultFlip, 0},
    };
    for (const TableEntry& t : lighting) {
        EXPECT_GE(t.routine, 0x1C80u) << t.label;
        EXPECT_LE(t.routine, 0x2108u) << t.label;
        ASSERT_NE(vu1::TryLookup(t.routine), nullptr) << t.label;
        EXPECT_STREQ(vu1::TryLookup(t.routine)->name, t.label);
    }
    EXPECT_EQ(mc2DoLightingPreLitFlip, 0x20D0u);
    EXPECT_EQ(mc2DoLightingCompressedPreLitFlip, 0x20D0u);
    EXPECT_EQ(mc2DoLightingPreLit, 0x2108u);
    EXPECT_EQ(mc2DoLightingCompressedPreLit, 0x2108u);
    EXPECT_NE(vu1::TryLookup(0x20D0), nullptr);
    EXPECT_NE(vu1::TryLookup(0x2108), nullptr);
    // The overlays' entries (their images are checked resident below).
    EXPECT_EQ(mc2Extrude, 0x3900u);
    EXPECT_EQ(mc2PartFlat, 0x3900u);
    EXPECT_EQ(mc2PartSprite, 0x3A88u);
    EXPECT_EQ(mc2PartLine, 0x3BB8u);
    EXPECT_EQ(mcRoadGenerator, 0x3900u);
    EXPECT_EQ(MC2_OVERLAY_IMM * 8, 0x3900u);
    // Every call-list token patches to an entry (the two material markers to 0).
    for (int t = 0; t < TOK_COUNT; ++t) {
        const u32 a = MATERIAL::translate[t] * 8u;
        if (t + tokNop == tokNewMaterial || t + tokNop == tokEndMaterial) {
            EXPECT_EQ(a, 0u);
            continue;
        }
        EXPECT_NE(vu1::TryLookup(a), nullptr) << "token " << t + tokNop;
    }
    // Routine 135 of RenderInstances.
    EXPECT_EQ(vu1::TryLookup(135 * 8)->address, u32(mc2Instances));
}

TEST(MicrocodeVocabulary, OverlayEntriesAnswerOnlyWhileTheirImageIsResident)
{
    console::vu::ResetVu1();
    auto upload = [](const u64* image, u32 instructions) {
        for (u32 i = 0; i < instructions; ++i)
            console::vu::WriteInstruction(vu1::kOverlayAddress / 8 + i, image[i]);
    };
    upload(PartMicrocode, vu1::kParticlesInstructions);
    EXPECT_STREQ(vu1::TryLookup(0x3900)->name, "mc2PartFlat");
    EXPECT_STREQ(vu1::TryLookup(0x3A88)->name, "mc2PartSprite");
    EXPECT_STREQ(vu1::TryLookup(0x3BB8)->name, "mc2PartLine");
    upload(mc2ExtrudeEE, vu1::kExtrudeInstructions);
    EXPECT_STREQ(vu1::TryLookup(0x3900)->name, "mc2Extrude");
    upload(mcRoadGeneratorEE, vu1::kRoadGeneratorInstructions);
    EXPECT_STREQ(vu1::TryLookup(0x3900)->name, "mcRoadGenerator");
    // The odd image's spare half-quadword is zero.
    EXPECT_EQ(mc2ExtrudeEE[vu1::kExtrudeInstructions], 0u);
}

// ------------------------------------------------------------ transform

TEST_F(Microcode, TransformProjectsThroughTheViewportWithNearerDepthLarger)
{
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, {Vec(1, 1, 10, 1), Vec(-2, 0.5f, 50, 1), Vec(0, -1, 999, 1)}, 3);

    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].prim, kPrimStrip);
    ASSERT_EQ(p[0].v.size(), 3u);
    const double pts[3][3] = {{1, 1, 10}, {-2, 0.5, 50}, {0, -1, 999}};
    for (int i = 0; i < 3; ++i) {
        const Screen s = Project(pts[i][0], pts[i][1], pts[i][2]);
        EXPECT_NEAR(p[0].v[i].x, s.x * 16, 1.0) << i;
        EXPECT_NEAR(p[0].v[i].y, s.y * 16, 1.0) << i;
        EXPECT_NEAR(double(p[0].v[i].z), s.z, 2.0) << i;
        EXPECT_FLOAT_EQ(p[0].v[i].q, float(1.0 / pts[i][2]));
        EXPECT_EQ(p[0].v[i].f, 0xFFu);
        EXPECT_EQ(p[0].v[i].rgba, 0x80808080u);
        EXPECT_FALSE(p[0].v[i].adc);
    }
    EXPECT_GT(p[0].v[0].z, p[0].v[1].z);
    EXPECT_GT(p[0].v[1].z, p[0].v[2].z);
}

TEST_F(Microcode, CompressedPositionsAndCoordinatesLoseTheirOffsets)
{
    // 16-bit fixed point with 8 fraction bits as VIF offset mode leaves it:
    // row 2^15 + 2^7 plus the signed integer.
    const float fill = 32768.0f + 128.0f;
    auto enc = [fill](float v) { return fill + v; };
    const float uvfill = 65536.0f;
    Material(2, {CmdF(mc2TransformCompressed, fill, fill, fill, uvfill), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1,
          {Vec(enc(1), enc(1), enc(10), 0), Vec(uvfill + 0.25f, uvfill + 0.75f, 1, 0), Vec(enc(0), enc(0), enc(20), 0),
           Vec(uvfill, uvfill + 1, 1, 0), Vec(enc(-1), enc(1), enc(10), 0), Vec(uvfill + 1, uvfill, 1, 0)},
          3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    const Screen s = Project(1, 1, 10);
    EXPECT_NEAR(p[0].v[0].x, s.x * 16, 1.0);
    EXPECT_NEAR(p[0].v[0].y, s.y * 16, 1.0);
    EXPECT_FLOAT_EQ(p[0].v[0].s, 0.25f / 10);
    EXPECT_FLOAT_EQ(p[0].v[0].t, 0.75f / 10);
    EXPECT_FLOAT_EQ(p[0].v[1].t, 1.0f / 20);
}

TEST_F(Microcode, PositionBit15AndUnpackADCStopTheDrawingKick)
{
    // 256.0 kicks, 256.0 with bit 15 (0x43808000) does not.
    const float nokick = [] {
        u32 b = 0x43808000u;
        float f;
        std::memcpy(&f, &b, 4);
        return f;
    }();
    Material(2, {Cmd(mc2Transform), Cmd(mc2UnpackADC, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1,
          {Vec(0, 0, 10, nokick), Vec(0, 0, 0, 0), Vec(1, 0, 10, nokick), Vec(0, 0, 0, 0), Vec(0, 1, 10, 256),
           Vec(0, 0, 0, nokick), Vec(1, 1, 10, 256), Vec(0, 0, 0, 0)},
          4);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].v.size(), 4u);
    EXPECT_TRUE(p[0].v[0].adc);
    EXPECT_TRUE(p[0].v[1].adc);
    EXPECT_TRUE(p[0].v[2].adc);   // by its slot 1
    EXPECT_FALSE(p[0].v[3].adc);
}

// -------------------------------------------------------------- culling

namespace {

// A quad facing the camera as a strip: (v1 - v0) x (v2 - v0) points at the
// eye for the first triangle.
std::vector<u128> FacingQuad(float z)
{
    return {Vec(0, 0, z, 1), Vec(0, 1, z, 1), Vec(1, 0, z, 1), Vec(1, 1, z, 1)};
}
std::vector<u128> AwayQuad(float z)
{
    return {Vec(0, 0, z, 1), Vec(1, 0, z, 1), Vec(0, 1, z, 1), Vec(1, 1, z, 1)};
}

}  // namespace

TEST_F(Microcode, BackFaceCullingFollowsTheStripsAlternatingWinding)
{
    Material(1, {Cmd(mc2Transform), Cmd(mc2BFCull, 0, 0, 0), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, FacingQuad(10), 4);
    Batch(kHalf0, AwayQuad(10), 4);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_FALSE(p[0].v[2].adc);
    EXPECT_FALSE(p[0].v[3].adc);   // the second triangle runs the other way round: still front
    EXPECT_TRUE(p[1].v[2].adc);
    EXPECT_TRUE(p[1].v[3].adc);

    // Front-face culling (c = 2) and the swapped form turn it round.
    Material(1, {Cmd(mc2Transform), Cmd(mc2BFCull, 2, 2, 2), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, FacingQuad(10), 4);
    Material(1, {Cmd(mc2Transform), Cmd(mc2BFCullSwap, 0, 0, 0), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, FacingQuad(10), 4);
    const auto q = Packets(gs.recorder);
    ASSERT_EQ(q.size(), 4u);
    EXPECT_TRUE(q[2].v[2].adc && q[2].v[3].adc);
    EXPECT_TRUE(q[3].v[2].adc && q[3].v[3].adc);
}

TEST_F(Microcode, FacingIsRightForATriangleReachingBehindTheEye)
{
    // One corner behind the eye (w < 0), where the screen-space winding of
    // the projected corners says the opposite.  Clipping is off, so only
    // culling decides.
    Block({Cmd(mc2SetClipping, 0)});
    Material(1, {Cmd(mc2Transform), Cmd(mc2BFCull, 0, 0, 0), Kick(mc2KickFlip, 1, kPrimStrip)});
    // n = (v1 - v0) x (v2 - v0) = (5, 5, 15) x (-5, 5, 15) = (0, -150, 50);
    // n . (eye - v0) = 50 * 5 > 0: front-facing.  Then the reverse.
    Batch(kHalf1, {Vec(0, 0, -5, 1), Vec(5, 5, 10, 1), Vec(-5, 5, 10, 1)}, 3);
    Batch(kHalf0, {Vec(0, 0, -5, 1), Vec(-5, 5, 10, 1), Vec(5, 5, 10, 1)}, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_FALSE(p[0].v[2].adc);
    EXPECT_TRUE(p[1].v[2].adc);
}

// ------------------------------------------------------------- lighting

class MicrocodeLit : public Microcode
{
protected:
    void SetUp() override
    {
        // One directional light shining along +z, half red and a quarter
        // green; a quarter grey ambient.
        view.rc.SetDirectionalLights(VectorDir(0, 0, 1), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                                     Vector(0.5f, 0.25f, 0, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                                     Vector(0.25f, 0.25f, 0.25f, 1));
        Microcode::SetUp();
    }
    // A triangle at z = 10 facing the camera, normals (0, 0, -1) as floats.
    std::vector<u128> Tri()
    {
        return {Vec(0, 0, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, -1, 0), Vec(0, 1, 10, 1), Vec(0, 0, 0, 0),
                Vec(0, 0, -1, 0), Vec(1, 0, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, -1, 0)};
    }
    u32 Rgba(u32 r, u32 g, u32 b, u32 a) { return r | g << 8 | b << 16 | a << 24; }
};

TEST_F(MicrocodeLit, DirectionalLightAndAmbientTimesTheMaterialColour)
{
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLighting, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, Tri(), 3);
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLightingFlip, 1, 1, 1, 0.5f), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, Tri(), 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    // (0.25 + 0.5, 0.25 + 0.25, 0.25) x 128.
    EXPECT_EQ(p[0].v[1].rgba, Rgba(96, 64, 32, 128));
    // Flipped normals face away from the light: ambient only, half alpha.
    EXPECT_EQ(p[1].v[1].rgba, Rgba(32, 32, 32, 64));
}

TEST_F(MicrocodeLit, OffsetEncodedNormalsLightLikeFloats)
{
    // 8-bit signed normals: row 65,537 plus the byte / 128 (-128 for -1.0).
    const float z = 65537.0f - 1.0f;
    std::vector<u128> tri = Tri();
    for (int i = 0; i < 3; ++i)
        tri[3 * i + 2] = Vec(65537.0f, 65537.0f, z, 0);
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLightingCompressed, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, tri, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].v[0].rgba, Rgba(96, 64, 32, 128));
}

TEST_F(MicrocodeLit, MultFormTakesTheVertexColourFromItsSlot)
{
    // Vertex colour as offset-encoded bytes (row 65,536): (128, 64, 255, 64).
    std::vector<u128> tri;
    for (int i = 0; i < 3; ++i) {
        tri.push_back(Vec(float(i & 1), float(i >> 1), 10, 1));
        tri.push_back(Vec(0, 0, 0, 0));
        tri.push_back(Vec(0, 0, -1, 0));
        tri.push_back(Vec(65536.0f + 1.0f, 65536.0f + 0.5f, 65536.0f + 255.0f / 128, 65536.0f + 0.5f));
    }
    Material(4, {Cmd(mc2Transform), Q4((Bits(1.0f) & 0xFFFF0000u) | 3, Bits(1.0f), Bits(1.0f), mc2DoLightingMult / 8 | (Bits(1.0f) & 0xFFFF0000u)),
                 Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, tri, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    // light (0.75, 0.5, 0.25) x vertex colour (1, 0.5, 1.99): 96, 32, 63.
    EXPECT_EQ(p[0].v[0].rgba, Rgba(96, 32, 63, 64));
}

TEST_F(MicrocodeLit, PointLightOfTheChainFallsOffWithDistance)
{
    // A red point light at (0, 0, 5), range 10: k = 19 / 100.
    vu.Q(MC2_LIGHTCHAIN) = Cmd(mc2UnpackNormals, 2, 2, 2);
    vu.Q(MC2_LIGHTCHAIN + 1) = CmdF(mc2GeneralLight, 0, 0, 5, 1.0f);
    vu.Q(MC2_LIGHTCHAIN + 2) = Vec(0, 0, 0, 1);
    vu.Q(MC2_LIGHTCHAIN + 3) = Vec(1, 0, 0, 0.19f);
    vu.Q(MC2_LIGHTCHAIN + 4) = Cmd(mc2ClampLights);
    vu.Q(MC2_LIGHTCHAIN + 5) = Cmd(mc2NoExtraLights);
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLighting, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, Tri(), 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    for (int i = 0; i < 3; ++i) {
        const double px = i == 2 ? 1 : 0, py = i == 1 ? 1 : 0;
        const double d2 = px * px + py * py + 25;
        const double ndl = 5 / std::sqrt(d2);
        const double red = 0.75 + ndl / (1 + 0.19 * d2);
        EXPECT_EQ(p[0].v[i].rgba & 0xFF, u32(red * 128)) << i;
        EXPECT_EQ((p[0].v[i].rgba >> 8) & 0xFF, 64u);
    }
}

TEST_F(MicrocodeLit, SpotLightLightsInsideItsConeOnly)
{
    // A spot at (0, 0, 5) shining along +z with a half angle whose sine is
    // 0.1: direction / 0.1 and cone term 1 - 1 / 0.01.
    auto spot = [this](float dirz) {
        vu.Q(MC2_LIGHTCHAIN) = Cmd(mc2UnpackNormals, 2, 2, 2);
        vu.Q(MC2_LIGHTCHAIN + 1) = CmdF(mc2GeneralLight, 0, 0, 5, 1.0f);
        vu.Q(MC2_LIGHTCHAIN + 2) = Vec(0, 0, -dirz * 10, 1 - 100);
        vu.Q(MC2_LIGHTCHAIN + 3) = Vec(0, 0, 1, 0);
        vu.Q(MC2_LIGHTCHAIN + 4) = Cmd(mc2NoExtraLights);
    };
    // Vertices at distance 5 on the axis and 1 off it (outside a 5.7 degree cone).
    std::vector<u128> tri = Tri();
    spot(1);
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLighting, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, tri, 3);
    spot(-1);   // shining away
    Batch(kHalf0, tri, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    // On the axis: spot term 1, no fall-off (k = 0): 0.25 + 1.
    EXPECT_EQ((p[0].v[0].rgba >> 16) & 0xFF, u32(1.25 * 128));
    EXPECT_EQ((p[0].v[1].rgba >> 16) & 0xFF, 32u);
    EXPECT_EQ((p[1].v[0].rgba >> 16) & 0xFF, 32u);
}

TEST_F(MicrocodeLit, ChainCutShortStopsTheWalkWithTheLightsSoFar)
{
    vu.Q(MC2_LIGHTCHAIN) = Cmd(mc2UnpackNormals, 2, 2, 2);
    vu.Q(MC2_LIGHTCHAIN + 1) = CmdF(mc2GeneralLight, 0, 0, 5, 1.0f);
    vu.Q(MC2_LIGHTCHAIN + 2) = Vec(0, 0, 0, 1);
    vu.Q(MC2_LIGHTCHAIN + 3) = Vec(0, 0, 1, 0);
    vu.Q(MC2_LIGHTCHAIN + 4) = Vec(0.5f, 0, 0, 0);   // a texture matrix row, not a link
    console::ClearConsoleText();
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLighting, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, Tri(), 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ((p[0].v[0].rgba >> 16) & 0xFF, u32(1.25 * 128));
    EXPECT_NE(console::ConsoleText().find("extra-lights chain ends"), std::string::npos);
}

TEST_F(MicrocodeLit, FadeScalesEveryAlpha)
{
    vu.F(MC2_LIGHTCOLOURS + 3)[3] = 0.5f;
    Material(1, {Cmd(mc2Transform), CmdF(mc2FillColour, 1, 0.5f, 0.25f, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, {Vec(0, 0, 10, 1), Vec(0, 1, 10, 1), Vec(1, 0, 10, 1)}, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].v[0].rgba, Rgba(128, 64, 32, 64));
}

// ------------------------------------------------------------------ fog

TEST_F(MicrocodeLit, FogFromThePlanesSetsFAndFge)
{
    // t = z / 100: 0.1 at z = 10; no fog limits (max 1, min 0).
    vu.Q(MC2_LIGHTCHAIN) = Q4(Bits(0.99609375f - 1), Bits(0.99609375f), 0, mc2Fog / 8);
    vu.Q(MC2_LIGHTCHAIN + 1) = Vec(0, 0, 0.01f, 0);
    vu.Q(MC2_LIGHTCHAIN + 2) = Vec(0, 0, 0, 1);
    vu.Q(MC2_LIGHTCHAIN + 3) = Cmd(mc2NoExtraLights);
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLighting, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, Tri(), 3);
    // Unlit batches that follow have no fog.
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, {Vec(0, 0, 10, 1), Vec(0, 1, 10, 1), Vec(1, 0, 10, 1)}, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].prim, kPrimStrip | 0x20);
    EXPECT_EQ(p[0].v[0].f, u32((0.99609375 - 0.1) * 256));
    EXPECT_EQ(p[1].prim, kPrimStrip);
    EXPECT_EQ(p[1].v[0].f, 0xFFu);
}

TEST_F(MicrocodeLit, FogIsHeldBetweenItsLimits)
{
    // Limits: at most half fog (max 0.5), at least a quarter (min 0.25).
    vu.Q(MC2_LIGHTCHAIN) = Q4(Bits(0.99609375f - 0.5f), Bits(0.99609375f - 0.25f), 0, mc2Fog / 8);
    vu.Q(MC2_LIGHTCHAIN + 1) = Vec(0, 0, 0.1f, 0);    // t = 1 at z = 10
    vu.Q(MC2_LIGHTCHAIN + 2) = Vec(0, 0, 0, 1);
    vu.Q(MC2_LIGHTCHAIN + 3) = Cmd(mc2NoExtraLights);
    Material(3, {Cmd(mc2Transform), CmdF(mc2DoLighting, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, Tri(), 3);
    vu.Q(MC2_LIGHTCHAIN + 1) = Vec(0, 0, 0, 0);       // t = 0
    Batch(kHalf0, Tri(), 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].v[0].f, u32((0.99609375 - 0.5) * 256));
    EXPECT_EQ(p[1].v[0].f, u32((0.99609375 - 0.25) * 256));
}

// ------------------------------------------------------------- clipping

TEST_F(Microcode, TriangleCrossingTheNearPlaneIsClippedToIt)
{
    Block({Cmd(mc2SetClipping, 1)});
    Material(2, {Cmd(mc2Transform), CmdF(mc2FillColour, 1, 1, 1, 1), Kick(mc2KickFlip, 1, kPrimStrip | kPrimIIP)});
    // v0 lies behind the near plane (z = 1); u runs 0 .. 1 across.
    Batch(kHalf1, {Vec(0, -1, 0.5f, 1), Vec(0, 0, 0, 0), Vec(-1, 1, 5, 1), Vec(1, 0, 0, 0), Vec(1, 1, 5, 1), Vec(1, 1, 0, 0)},
          3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_TRUE(p[0].v[2].adc);   // not drawn as it stands
    EXPECT_EQ(p[1].prim, 5u | kPrimIIP);
    // Two edges cross the near plane: a quadrilateral.
    ASSERT_EQ(p[1].v.size(), 4u);
    int onNear = 0;
    const Screen far = Project(1, 1, 5);
    for (const Vert& v : p[1].v) {
        EXPECT_FALSE(v.adc);
        if (std::fabs(double(v.z) - 16000000.0) <= 16)
            ++onNear;
        else
            EXPECT_NEAR(double(v.z), far.z, 2.0);
        // Every corner is on screen and within the triangle's u range.
        EXPECT_GE(v.s / v.q, -1e-4f);
        EXPECT_LE(v.s / v.q, 1.0001f);
    }
    EXPECT_EQ(onNear, 2);
    // The cut of v0-v1 at z = 1: t = 0.5 / 4.5, x = -t, y = -1 + 2t, u = 0.
    const double t = 0.5 / 4.5;
    const Screen cut = Project(-t, -1 + 2 * t, 1);
    bool found = false;
    for (const Vert& v : p[1].v)
        if (std::fabs(v.x - cut.x * 16) <= 2 && std::fabs(v.y - cut.y * 16) <= 2)
            found = true;
    EXPECT_TRUE(found);
}

TEST_F(Microcode, ObjectInsideTheGuardBandIsNotClipped)
{
    // A unit sphere at z = 10 lies inside; the same triangle is then drawn as
    // it is (SetLocal decided), and a sphere reaching the near plane clips.
    auto local = [](float z, float r) {
        return std::vector<u128>{CmdF(mc2SetLocal, 1, 0, 0, 0), Vec(0, 1, 0, 0), Vec(0, 0, 1, 0), Vec(0, 0, 0, 1),
                                 Vec(0, 0, z, r)};
    };
    const std::vector<u128> tri = {Vec(0, -1, 0.5f, 1), Vec(-1, 1, 5, 1), Vec(1, 1, 5, 1)};
    std::vector<u128> b = local(10, 1);
    Block(b);
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, tri, 3);
    EXPECT_EQ(Packets(gs.recorder).size(), 1u);
    Block(local(3, 4));
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, tri, 3);
    EXPECT_EQ(Packets(gs.recorder).size(), 3u);
}

TEST_F(Microcode, TriangleWhollyOutsideOnePlaneIsDropped)
{
    Block({Cmd(mc2SetClipping, 1)});
    Material(1, {Cmd(mc2TransformClipped), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, {Vec(0, 0, 0.5f, 1), Vec(1, 0, 0.2f, 1), Vec(0, 1, 0.5f, 1)}, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_TRUE(p[0].v[2].adc);
}

// --------------------------------------------------- passes and batches

TEST_F(Microcode, InterleavedPassesRunPassZeroOnBothHalvesThenPassOne)
{
    const u32 red = 0, green = kPrimIIP;
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 0, kPrimStrip | red), Cmd(mc2EndPass1),
                 Kick(mc2KickFlip, 1, kPrimStrip | green)});
    const std::vector<u128> a = {Vec(0, 0, 10, 1), Vec(0, 1, 10, 1), Vec(1, 0, 10, 1)};
    const std::vector<u128> b = {Vec(0, 0, 20, 1), Vec(0, 1, 20, 1), Vec(1, 0, 20, 1), Vec(1, 1, 20, 1)};
    Batch(kHalf1, a, 3);
    Batch(kHalf0, b, 4);
    console::vu::Mscnt(kHalf1, 4);   // the extra runs latch the last ITOP
    console::vu::Mscnt(kHalf0, 4);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].prim, kPrimStrip | red);
    EXPECT_EQ(p[1].prim, kPrimStrip | red);
    EXPECT_EQ(p[2].prim, kPrimStrip | green);
    EXPECT_EQ(p[3].prim, kPrimStrip | green);
    ASSERT_EQ(p[2].v.size(), 3u);   // half 1's own count, not the latched 4
    EXPECT_EQ(p[3].v.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(p[2].v[i].x, p[0].v[i].x);
    EXPECT_EQ(p[3].v[3].y, p[1].v[3].y);
}

TEST_F(Microcode, KickTwoLetsTheNextRunOnTheHalfPass)
{
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 2, kPrimStrip)});
    const std::vector<u128> tri = {Vec(0, 0, 10, 1), Vec(0, 1, 10, 1), Vec(1, 0, 10, 1)};
    Batch(kHalf1, tri, 3);
    Batch(kHalf0, tri, 3);
    console::vu::Mscnt(kHalf1, 3);
    console::vu::Mscnt(kHalf0, 3);
    EXPECT_EQ(Packets(gs.recorder).size(), 2u);
    Batch(kHalf1, tri, 3);
    EXPECT_EQ(Packets(gs.recorder).size(), 3u);
}

TEST_F(Microcode, KickZeroWithoutFlipRunsTheNextPassInTheSameRun)
{
    Material(1, {Cmd(mc2Transform), CmdF(mc2FillColour, 1, 0, 0, 1), Kick(mc2Kick, 0, kPrimStrip),
                 CmdF(mc2FillColour, 0, 1, 0, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, {Vec(0, 0, 10, 1), Vec(0, 1, 10, 1), Vec(1, 0, 10, 1)}, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].v[0].rgba, 0x80000080u);
    EXPECT_EQ(p[1].v[0].rgba, 0x80008000u);
    EXPECT_EQ(p[1].v[0].x, p[0].v[0].x);
}

TEST_F(Microcode, ProcessVertsDrawsVerticesThatFollowTheCommand)
{
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 1, kPrimStrip)});
    Block({Cmd(mc2ProcessVerts, 3), Vec(0, 0, 10, 1), Vec(0, 1, 10, 1), Vec(1, 0, 10, 1), Cmd(mc2Nop)});
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].v.size(), 3u);
}

TEST_F(Microcode, RegisterPacketsGoToTheGsAsTheyAre)
{
    const u64 nloop = 2;
    u128 tag = {nloop | 1ull << 15 | 1ull << 60, 0xE | u64(mc2GiftagCopy / 8) << 32};
    u128 tag2 = {1 | 1ull << 15 | 1ull << 60, 0xE | u64(mc2Giftag / 8) << 32};
    Block({tag, u128{0x30000, GS_TEST_1}, u128{0x44, GS_ALPHA_1}, tag2, u128{7, GS_FOGCOL}});
    EXPECT_EQ(gs.recorder.writes, (std::vector<giftest::RegWrite>{{GS_TEST_1, 0x30000}, {GS_ALPHA_1, 0x44}, {GS_FOGCOL, 7}}));
}

TEST_F(Microcode, BatchLargerThanAnOutputBufferIsCut)
{
    console::ClearConsoleText();
    Material(1, {Cmd(mc2Transform), Kick(mc2KickFlip, 1, kPrimStrip)});
    std::vector<u128> v;
    for (int i = 0; i < 80; ++i)
        v.push_back(Vec(float(i & 1), float(i / 2) * 0.05f, 10, 1));
    Batch(kHalf1, v, 80);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].v.size(), size_t(MC2_MAXBATCH));
    EXPECT_NE(console::ConsoleText().find("cut to 72"), std::string::npos);
}

TEST_F(Microcode, MaterialLongerThanItsAreaIsRefused)
{
    console::ClearConsoleText();
    std::vector<u128> program(MC2_PROGRAM_QWC + 1, Cmd(mc2Nop));
    Material(1, program);
    EXPECT_EQ(console::vu::Tpc(), vu1::kNoResume);
    EXPECT_NE(console::ConsoleText().find("refused"), std::string::npos);
}

// ------------------------------------------------ environment mapping

// The sphere-map coordinates README section 5 gives, in double precision:
// reflection mirrors the eye ray e by the unit normal n and centres the map on
// the ray back at the eye; refraction bends it to unit(k e - n) and centres
// the map straight ahead.
void SphereMap(const double e0[3], const double n[3], bool refract, double k, double& u, double& v)
{
    const double el = std::sqrt(e0[0] * e0[0] + e0[1] * e0[1] + e0[2] * e0[2]);
    const double e[3] = {e0[0] / el, e0[1] / el, e0[2] / el};
    double d[3];
    if (refract) {
        for (int c = 0; c < 3; ++c)
            d[c] = k * e[c] - n[c];
        const double l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (double& c : d)
            c /= l;
    } else {
        const double ne = n[0] * e[0] + n[1] * e[1] + n[2] * e[2];
        for (int c = 0; c < 3; ++c)
            d[c] = e[c] - 2 * ne * n[c];
    }
    const double dz = refract ? d[2] + 1 : d[2] - 1;
    const double m = 2 * std::sqrt(d[0] * d[0] + d[1] * d[1] + dz * dz);
    u = 0.5 + d[0] / m;
    v = 0.5 + d[1] / m;
}

TEST_F(Microcode, ReflectionAndRefractionGiveSphereMapCoordinatesInViewSpace)
{
    // The view matrix at 927 moves the model 2 along z and doubles it (the
    // normals are made unit again).
    Write(MC2_TEXMATRIX0, {Vec(2, 0, 0, 0), Vec(0, 2, 0, 0), Vec(0, 0, 2, 0), Vec(0, 0, 2, 1)});
    const double r = std::sqrt(0.5);
    // Vertex 0 faces the eye head on: its reflection comes straight back to
    // the map's centre.  Vertex 1 is tilted up by 45 degrees: the mirrored
    // ray goes straight up (-y), to the top.  Vertex 2 is off-centre.
    const double pos[3][3] = {{0, 0, 4}, {0, 0, 5}, {-1, 0.5, 3}};
    const double nrm[3][3] = {{0, 0, -1}, {0, -r, -r}, {r, 0, -r}};
    std::vector<u128> verts;
    for (int i = 0; i < 3; ++i) {
        verts.push_back(Vec(float(pos[i][0]), float(pos[i][1]), float(pos[i][2]), 1));
        verts.push_back(Vec(0, 0, 0, 0));
        verts.push_back(Vec(float(nrm[i][0]), float(nrm[i][1]), float(nrm[i][2]), 0));
    }
    for (const bool refract : {false, true}) {
        gs.recorder.writes.clear();
        const float k = refract ? 8.0f : 0.0f;
        Material(3, {Cmd(mc2Transform), Cmd(mc2UnpackNormals, 2, 2, 2),
                     Cmd(refract ? mc2Refraction : mc2Reflection, MC2_TEXMATRIX0, Bits(k), Bits(1.0f)),
                     Kick(mc2KickFlip, 1, kPrimStrip)});
        Batch(kHalf1, verts, 3);
        const auto p = Packets(gs.recorder);
        ASSERT_EQ(p.size(), 1u);
        ASSERT_EQ(p[0].v.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const double e[3] = {2 * pos[i][0], 2 * pos[i][1], 2 * pos[i][2] + 2};
            double u, v;
            SphereMap(e, nrm[i], refract, k, u, v);
            EXPECT_NEAR(p[0].v[i].s / p[0].v[i].q, u, 1e-5) << refract << i;
            EXPECT_NEAR(p[0].v[i].t / p[0].v[i].q, v, 1e-5) << refract << i;
        }
        if (!refract) {
            EXPECT_NEAR(p[0].v[0].s / p[0].v[0].q, 0.5, 1e-6);
            EXPECT_NEAR(p[0].v[0].t / p[0].v[0].q, 0.5, 1e-6);
            EXPECT_NEAR(p[0].v[1].t / p[0].v[1].q, 0.5 - 1 / (2 * std::sqrt(2.0)), 1e-5);
        }
    }
}

// ----------------------------------------------------- two-sided steps

TEST_F(Microcode, TwoSidedLightsEachVertexFromTheSideItIsSeenFrom)
{
    // One white light travelling along +z (from the eye into the scene), no
    // ambient: a face turned towards the eye is lit fully, one turned away
    // only when its normals are turned round.
    Write(MC2_LIGHTDIRS, {Vec(0, 0, 0, 0), Vec(0, 0, 0, 0), Vec(-1, 0, 0, 0)});
    Write(MC2_LIGHTCOLOURS, {Vec(1, 1, 1, 0), Vec(0, 0, 0, 0), Vec(0, 0, 0, 0), Vec(0, 0, 0, 1)});
    // A triangle whose normals point away from the eye, wound as a back face.
    const std::vector<u128> away = {Vec(0, 0, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, 1, 0),
                                    Vec(1, 0, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, 1, 0),
                                    Vec(0, 1, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, 1, 0)};
    auto run = [&](std::vector<u128> steps) {
        gs.recorder.writes.clear();
        std::vector<u128> program{Cmd(mc2Transform)};
        program.insert(program.end(), steps.begin(), steps.end());
        program.push_back(CmdF(mc2DoLighting, 1, 1, 1, 1));
        program.push_back(Kick(mc2KickFlip, 1, kPrimStrip));
        Material(3, program);
        Batch(kHalf1, away, 3);
        return Packets(gs.recorder);
    };
    // Unturned: drawn dark.  Culled: not drawn.
    auto p = run({});
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].v[2].rgba & 0xFFFFFF, 0u);
    p = run({Cmd(mc2BFCull)});
    ASSERT_EQ(p.size(), 1u);
    EXPECT_TRUE(p[0].v[2].adc);
    // Two-sided after the cull step: drawn, and lit as seen.
    p = run({Cmd(mc2BFCull), Cmd(mc2TwoSided, 2, 2, 2)});
    ASSERT_EQ(p.size(), 1u);
    EXPECT_FALSE(p[0].v[2].adc);
    for (const Vert& v : p[0].v)
        EXPECT_EQ(v.rgba, 0x80808080u);
    // The normals were turned in place, as unit floats.
    EXPECT_FLOAT_EQ(vu.F(kHalf1 + 2)[2], -1.0f);
}

// ------------------------------------- texture-coordinate and alpha steps

TEST_F(Microcode, RandomClampHoldsCoordinatesAndAlphaRegSetsTheAlpha)
{
    vu.F(MC2_LIGHTCOLOURS + 3)[3] = 0.5f;   // object fade
    const std::vector<u128> verts = {Vec(0, 0, 10, 1), Vec(-1, 2, 0, 0), Vec(1, 0, 10, 1), Vec(0.5f, 0.5f, 0, 0),
                                     Vec(0, 1, 10, 1), Vec(0.5f, 0.5f, 0, 0)};
    auto run = [&](float jitter) {
        gs.recorder.writes.clear();
        Material(2, {Cmd(mc2Transform), CmdF(mc2FillColour, 1, 0.5f, 0.25f, 1),
                     Cmd(mc2RandomClamp, Bits(0.25f), Bits(0.75f), Bits(jitter)), Cmd(mc2AlphaReg, Bits(1.0f)),
                     Kick(mc2KickFlip, 1, kPrimStrip)});
        Batch(kHalf1, verts, 3);
        return Packets(gs.recorder);
    };
    auto p = run(0.0f);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_FLOAT_EQ(p[0].v[0].s / p[0].v[0].q, 0.25f);
    EXPECT_FLOAT_EQ(p[0].v[0].t / p[0].v[0].q, 0.75f);
    EXPECT_FLOAT_EQ(p[0].v[1].s / p[0].v[1].q, 0.5f);
    // Alpha 1.0 x fade 0.5; the filled colour stays.
    EXPECT_EQ(p[0].v[0].rgba, 0x40204080u);
    // With jitter the coordinates move by at most that, the same way again
    // the next time, and differently for different vertices.
    p = run(0.1f);
    const auto again = run(0.1f);
    ASSERT_EQ(p.size(), 1u);
    for (int i = 1; i < 3; ++i) {
        EXPECT_NEAR(p[0].v[i].s / p[0].v[i].q, 0.5f, 0.1f + 1e-6f);
        EXPECT_NEAR(p[0].v[i].t / p[0].v[i].q, 0.5f, 0.1f + 1e-6f);
        EXPECT_EQ(p[0].v[i].s, again[0].v[i].s);
    }
    EXPECT_NE(p[0].v[1].s, p[0].v[2].s);
}

// ------------------------------------------------------------ long kick

TEST_F(Microcode, LongKickTakesItsWholeTagFromTheNextQuadword)
{
    // k = 0: the program goes on after the tag with a second kick.
    Material(1, {Cmd(mc2Transform), Cmd(mc2KickFlipLong, 0), Q4(0, 0x30004000u | kPrimStrip << 15, 0x412, 0),
                 CmdF(mc2FillColour, 0.5f, 0.5f, 0.5f, 1), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, {Vec(0, 0, 10, 1), Vec(1, 0, 10, 1), Vec(0, 1, 10, 1)}, 3);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].prim, kPrimStrip);
    ASSERT_EQ(p[0].v.size(), 3u);
    EXPECT_EQ(p[0].v[0].rgba, 0x80808080u);
    EXPECT_EQ(p[1].v[0].rgba, 0x80404040u);
    // The two kicks used the two output buffers in turn.
    EXPECT_EQ(vu.I(MC2_OUTBUF1)[0], 0x8003u);
    EXPECT_EQ(vu.I(MC2_OUTBUF2)[0], 0x8003u);
}

// -------------------------------------------------------- Bezier patches

TEST_F(Microcode, BezierPatchesAreTessellatedFromEachSlotInTurn)
{
    const u32 t = 4;
    CalcBezierBlends(reinterpret_cast<Vector*>(&vu.Q(0)), int(t));
    // Flat patches 1 below the eye (y down), rows along +x, columns along
    // +z: patch k spans x from 4k - 6 to 4k - 3 and z from 10 to 13.
    auto patch = [&](u32 slot, float x0) {
        for (u32 r = 0; r < 4; ++r)
            for (u32 c = 0; c < 4; ++c)
                vu.Q(slot + 4 * r + c) = Vec(x0 + float(c), 1, 10 + float(r), 1);
    };
    // A light from above (travelling +y), white, no ambient; the patch
    // colour 0x40 in each channel, alpha 0x80.
    Write(MC2_LIGHTDIRS, {Vec(0, 0, 0, 0), Vec(-1, 0, 0, 0), Vec(0, 0, 0, 0)});
    Write(MC2_LIGHTCOLOURS, {Vec(1, 1, 1, 0), Vec(0, 0, 0, 0), Vec(0, 0, 0, 0), Vec(0, 0, 0, 1)});
    Write(MC2_TEXMATRIX0, {Vec(0.5f, 0, 0, 0), Vec(0, 0, 0, 0), Vec(0, 0.25f, 0, 0), Vec(0, 0, 0, 1)});
    vu.Q(MC2_PATCHSETUP) = Q4(0x30004000u | (kPrimStrip | kPrimIIP) << 15, 0x412, 0x80404040u, 0);

    patch(MC2_PATCHSLOT0, -6);
    console::vu::Mscal(mc2BezierPatch, kHalf0, t);
    patch(MC2_PATCHSLOT1, -2);
    console::vu::Mscnt(kHalf1, t);
    patch(MC2_PATCHSLOT0, 2);
    console::vu::Mscnt(kHalf0, t);
    const auto p = Packets(gs.recorder);
    ASSERT_EQ(p.size(), 3 * (t - 1));
    for (u32 k = 0; k < 3; ++k)
        for (u32 j = 0; j + 1 < t; ++j) {
            const Packet& strip = p[k * (t - 1) + j];
            EXPECT_EQ(strip.prim, kPrimStrip | kPrimIIP);
            ASSERT_EQ(strip.v.size(), 2 * t);
            for (u32 i = 0; i < t; ++i)
                for (u32 side = 0; side < 2; ++side) {
                    const Vert& v = strip.v[2 * i + side];
                    const double x = 4.0 * k - 6 + 3.0 * i / (t - 1), z = 10 + 3.0 * (j + side) / (t - 1);
                    const Screen s = Project(x, 1, z);
                    EXPECT_NEAR(v.x, s.x * 16, 1.0) << k << j << i;
                    EXPECT_NEAR(v.y, s.y * 16, 1.0) << k << j << i;
                    // Lit from straight above: light 1.0 x colour 0x40.
                    EXPECT_EQ(v.rgba, 0x80404040u);
                    EXPECT_NEAR(v.s / v.q, 0.5 * x, 1e-4);
                    EXPECT_NEAR(v.t / v.q, 0.25 * z, 1e-4);
                }
        }
    EXPECT_EQ(console::vu::Tpc(), u32(mc2BezierPatch) + 8);
}

TEST_F(Microcode, BezierPatchWithoutItsSetUpOrBeyondItsTessellationDrawsNothing)
{
    console::ClearConsoleText();
    CalcBezierBlends(reinterpret_cast<Vector*>(&vu.Q(0)), 4);
    console::vu::Mscal(mc2BezierPatch, kHalf0, 4);
    EXPECT_TRUE(Packets(gs.recorder).empty());
    EXPECT_PRINTED_IN_FRESH_RUN("set-up at 935", 1);
    vu.Q(MC2_PATCHSETUP) = Q4(0x30004000u | kPrimStrip << 15, 0x412, 0x80808080u, 0);
    console::vu::Mscal(mc2BezierPatch, kHalf0, MC2_MAXTESSELATION + 1);
    EXPECT_TRUE(Packets(gs.recorder).empty());
}

// Every routine of the main program runs as itself, without a fault; a
// command naming an address where no routine lives is one: reported as an
// error, and the block ends there with nothing drawn.
TEST_F(Microcode, EveryRoutineRunsAndACommandNamingNoRoutineIsAFault)
{
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    console::ClearConsoleText();
    vu.Q(MC2_PATCHSETUP) = Q4(0x30004000u | kPrimStrip << 15, 0x412, 0x80808080u, 0);
    CalcBezierBlends(reinterpret_cast<Vector*>(&vu.Q(0)), 3);
    console::vu::Mscal(mc2BezierPatch, kHalf0, 3);
    Material(3, {Cmd(mc2Transform), Cmd(mc2TwoSided), Cmd(mc2UnpackNormals, 2, 2, 2),
                 Cmd(mc2Reflection, MC2_TEXMATRIX0, 0, Bits(1.0f)), Cmd(mc2Refraction, MC2_TEXMATRIX0, Bits(8.0f), Bits(1.0f)),
                 Cmd(mc2RandomClamp, 0, Bits(1.0f)), Cmd(mc2AlphaReg, Bits(1.0f)), Cmd(mc2KickFlipLong, 1),
                 Q4(0, 0x30004000u | kPrimStrip << 15, 0x412, 0)});
    Batch(kHalf1, {Vec(0, 0, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, -1, 0), Vec(1, 0, 10, 1), Vec(0, 0, 0, 0),
                   Vec(0, 0, -1, 0), Vec(0, 1, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, -1, 0)},
          3);
    const size_t drawn = Packets(gs.recorder).size();
    EXPECT_GT(drawn, 0u);
    EXPECT_EQ(console::DiagErrorCount(), 0);

    Material(3, {Cmd(mc2Transform), Cmd(0x3FF0), Kick(mc2KickFlip, 1, kPrimStrip)});
    Batch(kHalf1, {Vec(0, 0, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, -1, 0), Vec(1, 0, 10, 1), Vec(0, 0, 0, 0),
                   Vec(0, 0, -1, 0), Vec(0, 1, 10, 1), Vec(0, 0, 0, 0), Vec(0, 0, -1, 0)},
          3);
    EXPECT_EQ(Packets(gs.recorder).size(), drawn);
    EXPECT_EQ(console::DiagErrorCount(), 1);
    ASSERT_FALSE(console::DiagLog().empty());
    EXPECT_NE(console::DiagLog().back().find("no VU1 routine at 0x3FF0"), std::string::npos) << console::DiagLog().back();
}

}  // namespace
