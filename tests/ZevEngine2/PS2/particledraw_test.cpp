#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/World.h"
#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/ParticleDraw.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"
#include "gif/gif.h"

using namespace render_test;

namespace {

// ----------------------------------------------------------- known answers
// The default render context: a 640 x 512 window at the GS offset (centre
// 2368, 2304), depth range 1 .. 16,000,000, zoom 1 with aspect factors 1 (so
// x' = x / z and y' = 1.25 y / z), near 0.1, far 2000, camera at the origin
// looking along +z.
constexpr double kCx = 2368, kCy = 2304;

u32 X16(double px) { return u32(px * 16); }

// The depth the microcode gives a point at view depth z (nearer is larger).
double DepthAt(double z)
{
    const double n = 0.1, f = 2000, zmin = 1, zmax = 16000000;
    const double ndc = (f + n) / (f - n) - 2 * f * n / ((f - n) * z);
    return (zmax + zmin) / 2 - (zmax - zmin) / 2 * ndc;
}

struct Xyz
{
    u32 x, y, z;
};
Xyz XyzOf(u64 v)
{
    return Xyz{u32(v & 0xFFFF), u32(v >> 16 & 0xFFFF), u32(v >> 32 & 0xFFFFFF)};
}
u32 U(u64 uv) { return u32(uv & 0x3FFF); }
u32 V(u64 uv) { return u32(uv >> 16 & 0x3FFF); }

// A model file handle with a two-entry particle table and two textures.
struct PartFile
{
    alignas(16) u32 header[3];
    PS2Part parts[2] = {{0, 16, 16, 4}, {1, 8, 32, 2}};
    Texture textures[2];
    MDLFILE mf{};

    PartFile()
    {
        header[0] = 1;
        header[1] = u32(EX5_BLOCK_PARTICLE) | 2u << 16;
        header[2] = u32(reinterpret_cast<uintptr_t>(parts));
        mf.header = reinterpret_cast<ModelHeader*>(header);
        mf.parts = parts;
        mf.textures = textures;
        mf.nTextures = 2;
    }
};

// A register write seen by the GS, decoded from PACKED (A+D) and REGLIST
// packets the way the GIF reads them.
struct RegWrite
{
    u32 reg;
    u64 value;
};
struct GifPacket
{
    u32 nloop, nreg, flg;
    bool eop;
    u64 regs;
    std::vector<RegWrite> writes;
};

std::vector<GifPacket> DecodePackets(const std::vector<u128>& q)
{
    std::vector<GifPacket> out;
    size_t i = 0;
    while (i < q.size()) {
        GifPacket p;
        const u64 lo = q[i].lo;
        p.nloop = u32(lo & 0x7FFF);
        p.eop = (lo >> 15) & 1;
        p.flg = u32(lo >> 58) & 3;
        p.nreg = u32(lo >> 60) ? u32(lo >> 60) : 16;
        p.regs = q[i].hi;
        ++i;
        if (p.flg == 0) {
            for (u32 k = 0; k < p.nloop * p.nreg && i < q.size(); ++k, ++i) {
                const u32 d = u32(p.regs >> (4 * (k % p.nreg))) & 0xF;
                EXPECT_EQ(d, 0xEu) << "only A+D is written packed here";
                p.writes.push_back({u32(q[i].hi & 0xFF), q[i].lo});
            }
        } else if (p.flg == 1) {
            const u32 words = p.nloop * p.nreg;
            std::vector<u64> v;
            for (u32 k = 0; k < (words + 1) / 2 && i < q.size(); ++k, ++i) {
                v.push_back(q[i].lo);
                v.push_back(q[i].hi);
            }
            for (u32 k = 0; k < words && k < v.size(); ++k)
                p.writes.push_back({u32(p.regs >> (4 * (k % p.nreg))) & 0xF, v[k]});
        } else {
            ADD_FAILURE() << "unexpected IMAGE packet";
            break;
        }
        out.push_back(p);
    }
    return out;
}

// The GIF packets of the DIRECT blocks written from `from` on.
std::vector<GifPacket> PacketsAfter(const chain::Walk& w, const u32* from)
{
    std::vector<u128> q;
    for (const chain::VifCode* c : chain::Codes(w, 0x50)) {
        if (c->at < from)
            continue;
        for (size_t k = 0; k + 3 < c->data.size(); k += 4) {
            u128 x;
            std::memcpy(&x, &c->data[k], 16);
            q.push_back(x);
        }
    }
    return DecodePackets(q);
}

class ParticleDrawers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pm = new PartManager;
        ASSERT_NE(pm, nullptr);
        pm->mdlfile = &file.mf;
        pm->partRef.index = 0;
        p = pm->CreatePart(1.0f, 0, 0);
        ASSERT_NE(p, nullptr);
        p->w = p->h = 1.0f;
        p->rotZ = 0.0f;   // the creator's to set
        p->colour = Colour(10, 20, 30, 40);
        p->colour2 = Colour(50, 60, 70, 80);
    }
    void TearDown() override { pm->Delete(); }

    PartFile file;
    RenderContext rc;
    PartManager* pm = nullptr;
    Particle* p = nullptr;
    u64 buf[16] = {};
};

}  // namespace

// ------------------------------------------------------------------ drawers

TEST_F(ParticleDrawers, SpriteCoversItsHalfSizeAroundTheProjectedCentre)
{
    p->pos = VectorPos(0.5f, -1.0f, 10.0f);
    p->frame = 2;
    p->onScreen = false;
    u64* end = ParticleDrawSprite(p, rc, buf);
    ASSERT_EQ(end - buf, PARTDRAW_SPRITE_REGS);
    EXPECT_TRUE(p->onScreen);
    EXPECT_EQ(buf[0], 10u | 20u << 8 | 30u << 16 | 40u << 24);
    // Centre (2368 + 16, 2304 - 32), half extent 32 x 32 pixels at depth 10.
    const Xyz a = XyzOf(buf[2]), b = XyzOf(buf[4]);
    EXPECT_EQ(a.x, X16(kCx + 16 - 32));
    EXPECT_EQ(a.y, X16(kCy - 32 - 32));
    EXPECT_EQ(b.x, X16(kCx + 16 + 32));
    EXPECT_EQ(b.y, X16(kCy - 32 + 32));
    EXPECT_NEAR(double(a.z), DepthAt(10), 4.0);
    EXPECT_EQ(a.z, b.z);
    // Frame 2 of a 16 x 16 entry: u 8 .. 264, v 520 .. 776.
    EXPECT_EQ(U(buf[1]), 8u);
    EXPECT_EQ(V(buf[1]), 520u);
    EXPECT_EQ(U(buf[3]), 264u);
    EXPECT_EQ(V(buf[3]), 776u);
}

TEST_F(ParticleDrawers, SpriteSizeFollowsScaleAndDepth)
{
    p->pos = VectorPos(0.0f, 0.0f, 20.0f);
    p->scale = 2.0f;
    p->h = 0.5f;
    ASSERT_EQ(ParticleDrawSprite(p, rc, buf) - buf, PARTDRAW_SPRITE_REGS);
    // w x scale x 320 / 20 = 32, h x scale x 320 / 20 = 16.
    EXPECT_EQ(XyzOf(buf[2]).x, X16(kCx - 32));
    EXPECT_EQ(XyzOf(buf[2]).y, X16(kCy - 16));
    EXPECT_EQ(XyzOf(buf[4]).x, X16(kCx + 32));
    EXPECT_EQ(XyzOf(buf[4]).y, X16(kCy + 16));
}

TEST_F(ParticleDrawers, SpriteOutOfViewIsMarkedOffScreen)
{
    p->pos = VectorPos(100.0f, 0.0f, 10.0f);
    EXPECT_EQ(ParticleDrawSprite(p, rc, buf), buf);
    EXPECT_FALSE(p->onScreen);
    p->onScreen = true;
    EXPECT_EQ(ParticleDrawFlat(p, rc, buf), buf);
    EXPECT_FALSE(p->onScreen);
}

TEST_F(ParticleDrawers, SpriteNearerThanHalfAUnitIsSkippedButNotDropped)
{
    p->w = p->h = 0.01f;
    p->pos = VectorPos(0.0f, 0.0f, 0.4f);
    EXPECT_EQ(ParticleDrawSprite(p, rc, buf), buf);
    EXPECT_TRUE(p->onScreen);
    p->onScreen = false;   // whatever the last draw found stays
    EXPECT_EQ(ParticleDrawSprite(p, rc, buf), buf);
    EXPECT_FALSE(p->onScreen);
    p->pos = VectorPos(0.0f, 0.0f, 0.6f);
    EXPECT_EQ(ParticleDrawSprite(p, rc, buf) - buf, PARTDRAW_SPRITE_REGS);
    EXPECT_TRUE(p->onScreen);
}

TEST_F(ParticleDrawers, UnturnedFlatIsAStripOverTheSpritesRectangle)
{
    pm->partType = PART_TYPE_FLAT;
    p->pos = VectorPos(0.0f, 0.0f, 10.0f);
    p->frame = 1;
    ASSERT_EQ(ParticleDrawFlat(p, rc, buf) - buf, PARTDRAW_FLAT_REGS);
    EXPECT_EQ(buf[0], p->colour.Word());
    // Corners right-top, left-top, right-bottom, left-bottom with their UVs.
    const double l = kCx - 32, r = kCx + 32, t = kCy - 32, b = kCy + 32;
    const double want[4][2] = {{r, t}, {l, t}, {r, b}, {l, b}};
    const u32 wantUV[4][2] = {{264, 264}, {8, 264}, {264, 520}, {8, 520}};
    for (int i = 0; i < 4; i++) {
        const Xyz v = XyzOf(buf[2 + 2 * i]);
        EXPECT_NEAR(v.x, X16(want[i][0]), 1) << "corner " << i;
        EXPECT_NEAR(v.y, X16(want[i][1]), 1) << "corner " << i;
        EXPECT_EQ(U(buf[1 + 2 * i]), wantUV[i][0]) << "corner " << i;
        EXPECT_EQ(V(buf[1 + 2 * i]), wantUV[i][1]) << "corner " << i;
    }
}

// A quarter turn moves each corner to the next one clockwise on the screen
// (y down); a whole turn more changes nothing.
TEST_F(ParticleDrawers, FlatTurnsByItsAngleEvenBeyondHalfATurn)
{
    pm->partType = PART_TYPE_FLAT;
    p->pos = VectorPos(0.0f, 0.0f, 10.0f);
    p->rotZ = float(M_PI / 2);
    ASSERT_EQ(ParticleDrawFlat(p, rc, buf) - buf, PARTDRAW_FLAT_REGS);
    const double l = kCx - 32, r = kCx + 32, t = kCy - 32, b = kCy + 32;
    const double want[4][2] = {{r, b}, {r, t}, {l, b}, {l, t}};
    for (int i = 0; i < 4; i++) {
        const Xyz v = XyzOf(buf[2 + 2 * i]);
        EXPECT_NEAR(v.x, X16(want[i][0]), 8) << "corner " << i;
        EXPECT_NEAR(v.y, X16(want[i][1]), 8) << "corner " << i;
    }
    u64 again[16];
    p->rotZ = float(M_PI / 2 + 2 * M_PI);
    ASSERT_EQ(ParticleDrawFlat(p, rc, again) - again, PARTDRAW_FLAT_REGS);
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(XyzOf(again[2 + 2 * i]).x, XyzOf(buf[2 + 2 * i]).x, 2) << "corner " << i;
        EXPECT_NEAR(XyzOf(again[2 + 2 * i]).y, XyzOf(buf[2 + 2 * i]).y, 2) << "corner " << i;
    }
}

TEST_F(ParticleDrawers, LineJoinsBothProjectedEndsWithTheirColours)
{
    p->pos = VectorPos(1.0f, 0.0f, 10.0f);
    p->pos2 = VectorPos(0.0f, 2.0f, 20.0f);
    p->onScreen = false;
    ASSERT_EQ(ParticleDrawLine(p, rc, buf) - buf, PARTDRAW_LINE_REGS);
    EXPECT_TRUE(p->onScreen);
    EXPECT_EQ(buf[0], p->colour.Word());
    EXPECT_EQ(buf[2], p->colour2.Word());
    EXPECT_EQ(XyzOf(buf[1]).x, X16(kCx + 32));
    EXPECT_EQ(XyzOf(buf[1]).y, X16(kCy));
    EXPECT_EQ(XyzOf(buf[3]).x, X16(kCx));
    EXPECT_EQ(XyzOf(buf[3]).y, X16(kCy + 32));
    EXPECT_NEAR(double(XyzOf(buf[1]).z), DepthAt(10), 4.0);
    EXPECT_NEAR(double(XyzOf(buf[3]).z), DepthAt(20), 4.0);
    EXPECT_GT(XyzOf(buf[1]).z, XyzOf(buf[3]).z) << "the nearer end is deeper in the GEQUAL sense";
}

TEST_F(ParticleDrawers, LineIsCulledByItsNearEndOnly)
{
    p->pos = VectorPos(100.0f, 0.0f, 10.0f);
    p->pos2 = VectorPos(0.0f, 0.0f, 10.0f);
    EXPECT_EQ(ParticleDrawLine(p, rc, buf), buf);
    EXPECT_FALSE(p->onScreen);

    // A far end behind the eye is drawn as far as the GS range goes: its
    // coordinates are held to 16 bits, never wrapped.
    p->pos = VectorPos(0.0f, 0.0f, 10.0f);
    p->pos2 = VectorPos(1.0f, 1.0f, 0.0f);
    ASSERT_EQ(ParticleDrawLine(p, rc, buf) - buf, PARTDRAW_LINE_REGS);
    EXPECT_TRUE(p->onScreen);
    EXPECT_EQ(XyzOf(buf[3]).x, 0xFFFFu);
    EXPECT_EQ(XyzOf(buf[3]).y, 0xFFFFu);
}

TEST(ParticleClamp, RegionCoversEveryFrame)
{
    const PS2Part part{0, 16, 16, 4};
    const u64 c = ParticleClamp(&part);
    EXPECT_EQ(c & 3, 2u);              // WMS region clamp
    EXPECT_EQ(c >> 2 & 3, 2u);         // WMT region clamp
    EXPECT_EQ(c >> 4 & 0x3FF, 0u);     // MINU
    EXPECT_EQ(c >> 14 & 0x3FF, 15u);   // MAXU
    EXPECT_EQ(c >> 24 & 0x3FF, 0u);    // MINV
    EXPECT_EQ(c >> 34 & 0x3FF, 63u);   // MAXV
    EXPECT_EQ(ParticleClamp(nullptr), 0u);
}

// ------------------------------------------------------------ the packet

namespace {

class ParticlePackets : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        for (Texture& t : file.textures)
            t.Set(PSMCT32, 16, 64, 0, pixels.data());
        pm = new PartManager;
        ASSERT_NE(pm, nullptr);
        pm->mdlfile = &file.mf;
        pm->partRef.index = 0;
        pm->alpha = ALPHA_ADD;
        pm->dither = true;
        pm->w = pm->h = 0.5f;
    }
    void TearDown() override
    {
        if (pm)
            pm->Delete();
        therenderer.ClearTexture();
    }

    Particle* Add(VectorPos pos)
    {
        Particle* q = pm->CreatePart(1.0f, 0, 0);
        EXPECT_NE(q, nullptr);
        q->pos = pos;
        q->pos2 = pos + VectorPos(0.0f, 1.0f, 0.0f);
        q->colour = Colour(1, 2, 3, 4);
        return q;
    }

    Pixels pixels{16 * 64 * 4};
    PartFile file;
    RenderContext rc;
    PartManager* pm = nullptr;
};

}  // namespace

TEST_F(ParticlePackets, ManagerSetsItsRegistersThenOneRecordPerVisibleParticle)
{
    Add(VectorPos(0.0f, 0.0f, 10.0f));
    Add(VectorPos(0.0f, 0.0f, 12.0f))->Kill();
    Particle* away = Add(VectorPos(100.0f, 0.0f, 10.0f));
    Add(VectorPos(1.0f, 0.0f, 10.0f));
    const u32* from = therenderer.GetPtr();
    pm->Draw(rc);
    EXPECT_FALSE(away->onScreen);
    EXPECT_EQ(therenderer.texture, &file.textures[0]);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;

    std::vector<GifPacket> packets = PacketsAfter(w, from);
    ASSERT_GE(packets.size(), 2u);
    const GifPacket& regs = packets[packets.size() - 2];
    const GifPacket& recs = packets.back();
    ASSERT_EQ(regs.writes.size(), 5u);
    EXPECT_FALSE(regs.eop);
    EXPECT_EQ(regs.writes[0].reg, u32(GS_TEST_1));
    EXPECT_EQ(regs.writes[0].value, 0x51001u);
    EXPECT_EQ(regs.writes[1].reg, u32(GS_CLAMP_1));
    EXPECT_EQ(regs.writes[1].value, ParticleClamp(&file.parts[0]));
    EXPECT_EQ(regs.writes[2].reg, u32(GS_ALPHA_1));
    EXPECT_EQ(regs.writes[2].value, u64(ALPHA_ADD));
    EXPECT_EQ(regs.writes[3].reg, u32(GS_DTHE));
    EXPECT_EQ(regs.writes[3].value, 1u);
    EXPECT_EQ(regs.writes[4].reg, u32(GS_PRIM));
    EXPECT_EQ(regs.writes[4].value, 0x156u);

    EXPECT_EQ(recs.flg, 1u);
    EXPECT_TRUE(recs.eop);
    EXPECT_EQ(recs.nloop, 2u) << "the dead and the culled particle write nothing";
    ASSERT_EQ(recs.writes.size(), 10u);
    const u32 order[5] = {GS_RGBAQ, GS_UV, GS_XYZF3, GS_UV, GS_XYZF2};
    for (size_t k = 0; k < recs.writes.size(); k++)
        EXPECT_EQ(recs.writes[k].reg, order[k % 5]) << "register " << k;
    EXPECT_LT(XyzOf(recs.writes[2].value).x, XyzOf(recs.writes[7].value).x) << "list order";
}

TEST_F(ParticlePackets, LinesUseNoTextureAndNoClamp)
{
    pm->partType = PART_TYPE_LINE;
    Add(VectorPos(0.0f, 0.0f, 10.0f));
    const u32* from = therenderer.GetPtr();
    pm->Draw(rc);
    EXPECT_EQ(therenderer.texture, nullptr);
    chain::Walk w = Finish();
    std::vector<GifPacket> packets = PacketsAfter(w, from);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].writes[1].value, 0u);
    EXPECT_EQ(packets[0].writes[4].value, 0x141u);
    EXPECT_EQ(packets[1].nloop, 1u);
    EXPECT_EQ(packets[1].regs, PARTDRAW_LINE_REGLIST);
}

TEST_F(ParticlePackets, EmptyManagerWritesNothing)
{
    const u32* from = therenderer.GetPtr();
    pm->Draw(rc);
    EXPECT_EQ(therenderer.GetPtr(), from);
}

TEST_F(ParticlePackets, ManagerIsSkippedWhenLessThan0x800BytesRemain)
{
    Particle* a = Add(VectorPos(0.0f, 0.0f, 10.0f));
    Particle* b = Add(VectorPos(100.0f, 0.0f, 10.0f));
    a->onScreen = false;
    b->onScreen = true;
    // Leave 0x7F0 bytes before the renderer's limit.
    therenderer.vifend = therenderer.GetPtr() + 0x7F0 / 4 + 4 * RENDER_CHAIN_RESERVE_QWC;
    const u32* from = therenderer.GetPtr();
    pm->Draw(rc);
    EXPECT_EQ(therenderer.GetPtr(), from);
    EXPECT_FALSE(a->onScreen);
    EXPECT_TRUE(b->onScreen);
    EXPECT_FALSE(therenderer.bFull);
}

// More particles than the room left: the records stop at the renderer's
// limit, the frame is reported full and the particles not reached keep their
// last onScreen.
TEST_F(ParticlePackets, LongListIsBoundedByTheRoomLeft)
{
    pm->partType = PART_TYPE_LINE;
    std::vector<Particle*> all;
    for (int i = 0; i < 200; i++) {
        all.push_back(Add(VectorPos(0.0f, 0.0f, 10.0f + i * 0.01f)));
        all.back()->onScreen = false;
    }
    therenderer.vifend = therenderer.GetPtr() + 0x900 / 4 + 4 * RENDER_CHAIN_RESERVE_QWC;
    const u32* limit = therenderer.Limit();
    const u32* from = therenderer.GetPtr();
    pm->Draw(rc);
    EXPECT_LE(therenderer.GetPtr(), limit);
    EXPECT_TRUE(therenderer.bFull);
    int drawn = 0;
    while (drawn < 200 && all[drawn]->onScreen)
        drawn++;
    EXPECT_GT(drawn, 40);
    EXPECT_LT(drawn, 200);
    for (int i = drawn; i < 200; i++)
        EXPECT_FALSE(all[i]->onScreen) << i;

    therenderer.vifend = reinterpret_cast<u32*>(dmabuff[0] + RENDER_CHAIN_QWC);
    therenderer.bFull = false;
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    std::vector<GifPacket> packets = PacketsAfter(w, from);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1].nloop, u32(drawn));
}

TEST_F(ParticlePackets, VeryLongListIsSplitIntoSeveralRecordBlocks)
{
    pm->partType = PART_TYPE_LINE;
    for (int i = 0; i < 5000; i++)
        Add(VectorPos(0.0f, 0.0f, 10.0f));
    const u32* from = therenderer.GetPtr();
    pm->Draw(rc);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    std::vector<GifPacket> packets = PacketsAfter(w, from);
    u32 records = 0, blocks = 0;
    for (const GifPacket& g : packets) {
        if (g.flg != 1)
            continue;
        EXPECT_TRUE(g.eop);
        EXPECT_LE(g.nloop, 0x7FFFu);
        records += g.nloop;
        blocks++;
    }
    EXPECT_EQ(records, 5000u);
    EXPECT_GT(blocks, 1u);
}

TEST_F(ParticlePackets, PartListDrawsLiveManagersAndDropsDestroyedOnes)
{
    PartList list;
    PartManager* other = new PartManager;
    ASSERT_NE(other, nullptr);
    Particle* mine = Add(VectorPos(0.0f, 0.0f, 10.0f));
    Particle* theirs = other->CreatePart(1.0f, 0, 0);
    theirs->pos = VectorPos(0.0f, 0.0f, 10.0f);
    mine->onScreen = theirs->onScreen = false;
    list.AddTail(other);
    list.AddTail(pm);
    other->Delete();   // the list's counted reference keeps it readable
    list.Draw(rc);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Head()->data.p, pm);
    EXPECT_TRUE(mine->onScreen);
    list.RemoveAll();
}

// ------------------------------------------------------------ on the GS

namespace {

// A 256 x 128 32-bit draw buffer at block 0, its Z buffer after it, textures
// from block 1024.
constexpr int kW = 256, kH = 128;

// Two 16 x 16 frames one under the other: frame 0 red rising to the right,
// frame 1 green rising downward; both fully opaque.  Static: the DMA reads it.
alignas(16) u32 g_frames[16 * 32];

class ParticleScene : public ::testing::Test
{
protected:
    Surface draw, zbuf;
    PartFile file;
    RenderContext rc;
    PartManager* managers[3] = {};

    void SetUp() override
    {
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 16; x++)
                g_frames[y * 16 + x] = y < 16 ? Colour(u8(64 + 12 * x), 0, 0, 0x80).Word()
                                               : Colour(0, u8(64 + 12 * (y - 16)), 0, 0x80).Word();
        file.parts[0] = PS2Part{0, 16, 16, 2};
        file.textures[0].Set(PSMCT32 | TEXF_POINT, 16, 32, 0, g_frames);
        rc.SetViewport(2048.0f, 2048.0f + kW, 2048.0f, 2048.0f + kH, 1.0f, 16000000.0f);
        rc.SetPerspective(1.0f);
        rc.SetCameraMatrix(Matrix(true));
        for (PartManager*& m : managers) {
            m = new PartManager;
            ASSERT_NE(m, nullptr);
            m->mdlfile = &file.mf;
            m->partRef.index = 0;
            m->alpha = ALPHA_BLEND;
        }
    }

    void TearDown() override
    {
        for (PartManager* m : managers)
            if (m)
                m->Delete();
        TexManOff();
    }

    // One frame: clear to (64, 64, 64) with depth 1, then the managers.
    void Frame()
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(64, 64, 64, 128));
        r.Close(therenderer);
        for (PartManager* m : managers)
            m->Draw(rc);
        gsframe::SendFrame();
    }

    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }
    static u8 R(u32 c) { return u8(c); }
    static u8 G(u32 c) { return u8(c >> 8); }
    static u8 B(u32 c) { return u8(c >> 16); }
};

}  // namespace

// Two sprites (frames 0 and 1), a half-transparent flat turned by 45 degrees
// and a line, over a grey background, compared with a picture kept with the
// tests.  The 256 x 128 view puts x / z = 1 at 128 pixels right of the
// centre (128, 64) and y / z = 1 at 128 pixels below it.
TEST_F(ParticleScene, SpritesFlatsAndLinesMatchTheGoldenPicture)
{
    PartManager* sprites = managers[0];
    PartManager* flats = managers[1];
    PartManager* lines = managers[2];
    flats->partType = PART_TYPE_FLAT;
    lines->partType = PART_TYPE_LINE;

    Particle* s0 = sprites->CreatePart(1.0f, 0, 0);
    Particle* s1 = sprites->CreatePart(1.0f, 0, 0);
    Particle* f = flats->CreatePart(1.0f, 0, 0);
    Particle* l = lines->CreatePart(1.0f, 0, 0);
    ASSERT_TRUE(s0 && s1 && f && l);
    for (Particle* p : {s0, s1, f}) {
        p->w = p->h = 1.0f;
        p->rotZ = 0.0f;
    }
    s0->pos = VectorPos(-4.0f, 0.0f, 10.0f);   // centre (76.8, 64), half size 12.8
    s1->pos = VectorPos(-1.5f, 0.0f, 10.0f);   // centre (108.8, 64)
    s1->frame = 1;
    s0->colour = s1->colour = Colour(128, 128, 128, 128);
    f->pos = VectorPos(1.5f, 0.0f, 10.0f);     // centre (147.2, 64)
    f->rotZ = float(M_PI / 4);
    f->colour = Colour(128, 128, 128, 64);
    l->pos = VectorPos(3.0f, -2.0f, 10.0f);    // (166.4, 38.4)
    l->pos2 = VectorPos(5.0f, 2.0f, 10.0f);    // (192, 89.6)
    l->colour = Colour(200, 0, 0, 128);
    l->colour2 = Colour(0, 200, 0, 128);

    Frame();

    // Spot checks worked out by hand.
    const u32 grey = Colour(64, 64, 64, 128).Word();
    EXPECT_EQ(Pixel(10, 10), grey);
    // Frame 0 is red only, frame 1 green only; both cover their 25.6 pixels.
    EXPECT_GT(R(Pixel(77, 64)), 64);
    EXPECT_EQ(G(Pixel(77, 64)), 0);
    EXPECT_EQ(R(Pixel(109, 64)), 0);
    EXPECT_GT(G(Pixel(109, 64)), 64);
    EXPECT_EQ(Pixel(77, 48), grey);
    EXPECT_NE(Pixel(77, 53), grey);
    EXPECT_NE(Pixel(77, 75), grey);
    EXPECT_EQ(Pixel(77, 80), grey);
    // Frame 0 rises to the right: its left edge is darker than its right.
    EXPECT_LT(R(Pixel(66, 64)), R(Pixel(88, 64)));
    // Frame 1 rises downward.
    EXPECT_LT(G(Pixel(109, 54)), G(Pixel(109, 74)));
    // The flat at half alpha over grey: red between the two, blue halved.
    const u32 mid = Pixel(147, 64);
    EXPECT_GT(R(mid), 64);
    EXPECT_LT(R(mid), 200);
    EXPECT_EQ(B(mid), 32);
    // Turned by 45 degrees it is a diamond: the corners of its box stay grey,
    // the tips of the diamond (18 pixels out along the axes) are covered.
    EXPECT_EQ(Pixel(147 - 11, 64 - 11), grey);
    EXPECT_EQ(Pixel(147 + 11, 64 + 11), grey);
    EXPECT_NE(Pixel(147 + 16, 64), grey);
    EXPECT_NE(Pixel(147, 64 - 16), grey);
    // The line is flat-shaded with its second colour, fully opaque.
    bool lineSeen = false;
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
            lineSeen |= Pixel(179 + dx, 64 + dy) == Colour(0, 200, 0, 128).Word();
    EXPECT_TRUE(lineSeen);

    golden::ExpectFrameBuffer("particle_scene", kW, kH);
}
