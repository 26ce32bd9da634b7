#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ee/console_out.h"

#include "tools/lib/p2b_sample.h"
#include "tools/lib/texconv.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/World.h"

namespace {

using namespace tools;

// A written file in 16-byte aligned memory, loaded.
class Loaded
{
public:
    explicit Loaded(const std::vector<u8>& bytes) : size(u32(bytes.size())), store(bytes.size() / 16 + 1)
    {
        std::memcpy(store.data(), bytes.data(), bytes.size());
        mf = {};
        mf.SetBuffer(store.data());
    }
    bool Init(Texture* shared = nullptr, int n = 0) { return mf.Init(size, shared, n); }
    const u8* At() const { return (const u8*)store.data(); }

    u32 size;
    std::vector<u128> store;
    MDLFILE mf;
};

std::vector<u8> Write(const P2BFile& f)
{
    std::vector<u8> bytes;
    std::string error;
    EXPECT_TRUE(WriteP2B(f, bytes, error)) << error;
    return bytes;
}

u32 Word(const std::vector<u8>& b, size_t at)
{
    u32 v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

// ---------------------------------------------------------------------------
// The texture converter

RgbaImage Image(int w, int h, const std::vector<u32>& colours)
{
    RgbaImage img;
    img.width = w;
    img.height = h;
    for (int i = 0; i < w * h; i++)
    {
        u32 c = colours[size_t(i) % colours.size()];
        img.rgba.insert(img.rgba.end(), {u8(c), u8(c >> 8), u8(c >> 16), u8(c >> 24)});
    }
    return img;
}

TEST(TexConv, TrueColourKeepsRgbAndScalesAlphaToTheGsRange)
{
    TextureImage t;
    std::string error;
    ASSERT_TRUE(ConvertTexture(Image(8, 8, {0xFF102030, 0x00405060, 0x80000000}), TexFormat::kCT32, t, error));
    EXPECT_EQ(t.record.Psm(), PSMCT32);
    EXPECT_EQ(t.record.width, 8);
    EXPECT_EQ(t.record.clutsize, 0);
    ASSERT_EQ(t.image.size(), 8u * 8 * 4);
    EXPECT_EQ(Word(t.image, 0), 0x80102030u);   // alpha 255 is the GS's full 0x80
    EXPECT_EQ(Word(t.image, 4), 0x00405060u);
    EXPECT_EQ(Word(t.image, 8), 0x40000000u);   // 128 -> 64
    EXPECT_EQ(GsAlpha(255), 0x80);
    EXPECT_EQ(GsAlpha(0), 0);
}

// 16-bit texels: 5 bits of red, green, blue from the low bits up, the top
// bit set from half opacity (128) up.
TEST(TexConv, SixteenBitTexelsPackFiveBitsAColourAndTheAlphaBit)
{
    TextureImage t;
    std::string error;
    ASSERT_TRUE(ConvertTexture(Image(8, 8, {0xFF0000F8, 0x7F00F800, 0x80F80000, 0xFF070707}), TexFormat::kCT16, t,
                               error));
    EXPECT_EQ(t.record.Psm(), PSMCT16);
    EXPECT_NE(t.record.format, 0);   // models draw it: a record of format 0 has no texture
    ASSERT_EQ(t.image.size(), 8u * 8 * 2);
    auto texel = [&](size_t i) { return u16(t.image[2 * i] | t.image[2 * i + 1] << 8); };
    EXPECT_EQ(texel(0), 0x801Fu);   // red 31, opaque
    EXPECT_EQ(texel(1), 0x03E0u);   // green 31, alpha 127: clear
    EXPECT_EQ(texel(2), 0xFC00u);   // blue 31, alpha 128: set
    EXPECT_EQ(texel(3), 0x8000u);   // 7 is below one step of 8
}

TEST(TexConv, EightBitPalettesUseTheGsStorageOrder)
{
    // Entries 8..15 and 16..23 of each 32 trade places in the 16 x 16 palette.
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(ClutSlot256(i), i);
    EXPECT_EQ(ClutSlot256(8), 16);
    EXPECT_EQ(ClutSlot256(15), 23);
    EXPECT_EQ(ClutSlot256(16), 8);
    EXPECT_EQ(ClutSlot256(24), 24);
    EXPECT_EQ(ClutSlot256(40), 48);

    std::vector<u32> colours;
    for (u32 i = 0; i < 20; i++)
        colours.push_back(0xFF000000u | (i + 1));
    TextureImage t;
    std::string error;
    ASSERT_TRUE(ConvertTexture(Image(16, 8, colours), TexFormat::kT8, t, error));
    EXPECT_EQ(t.record.Psm(), PSMT8);
    EXPECT_EQ(t.record.clutsize, 256);
    ASSERT_EQ(t.image.size(), 1024u + 16 * 8);
    EXPECT_EQ(Word(t.image, 4 * 8), 0x80000000u | 17);    // colour 16 (first seen 17th) at slot 8
    EXPECT_EQ(Word(t.image, 4 * 16), 0x80000000u | 9);    // colour 8 at slot 16
    EXPECT_EQ(t.image[1024 + 0], 0);
    EXPECT_EQ(t.image[1024 + 19], 19);
    EXPECT_EQ(t.image[1024 + 20], 0);   // the pattern repeats
}

TEST(TexConv, FourBitPixelsPackTwoToAByteLowNibbleFirst)
{
    TextureImage t;
    std::string error;
    ASSERT_TRUE(ConvertTexture(Image(8, 8, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000}), TexFormat::kT4, t, error));
    EXPECT_EQ(t.record.Psm(), PSMT4);
    EXPECT_EQ(t.record.clutsize, 16);
    ASSERT_EQ(t.image.size(), 64u + 32);
    EXPECT_EQ(Word(t.image, 0), 0x800000FFu);
    EXPECT_EQ(Word(t.image, 8), 0x80FF0000u);
    EXPECT_EQ(t.image[64], 0x10);   // pixels 0, 1: indices 0, 1
    EXPECT_EQ(t.image[65], 0x02);   // pixels 2, 3: indices 2, 0
}

TEST(TexConv, RefusesWhatItCannotConvert)
{
    TextureImage t;
    std::string error;
    EXPECT_FALSE(ConvertTexture(Image(12, 8, {0}), TexFormat::kCT32, t, error));
    EXPECT_NE(error.find("power of two"), std::string::npos);
    EXPECT_FALSE(ConvertTexture(Image(2048, 8, {0}), TexFormat::kCT32, t, error));
    RgbaImage shortBuffer = Image(8, 8, {0});
    shortBuffer.rgba.pop_back();
    EXPECT_FALSE(ConvertTexture(shortBuffer, TexFormat::kCT32, t, error));
    std::vector<u32> many;
    for (u32 i = 0; i < 17; i++)
        many.push_back(i);
    EXPECT_FALSE(ConvertTexture(Image(8, 8, many), TexFormat::kT4, t, error));
    EXPECT_NE(error.find("more than 16 colours"), std::string::npos);
    EXPECT_TRUE(ConvertTexture(Image(8, 8, many), TexFormat::kT8, t, error));
}

// ---------------------------------------------------------------------------
// The sample cube

TEST(P2B, TheSameDescriptionGivesTheSameBytes)
{
    std::vector<u8> a = Write(SampleCubeFile());
    std::vector<u8> b = Write(SampleCubeFile());
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size() % 16, 0u);
}

TEST(P2B, TheSampleCubeLoadsAndBuildsItsObjectTree)
{
    Loaded l(Write(SampleCubeFile()));
    ASSERT_TRUE(l.Init());
    MDLFILE& mf = l.mf;
    EXPECT_EQ(mf.nModels, 2);
    EXPECT_EQ(mf.nTextures, 1);
    EXPECT_EQ(mf.nNodes, 3);
    ASSERT_TRUE(mf.HasCollision());

    // The texture: an 8-bit checker whose image is in the file.
    const Texture& tex = mf.textures[0];
    EXPECT_EQ(tex.Psm(), PSMT8);
    EXPECT_EQ(tex.width, 16);
    EXPECT_EQ(*(const u32*)tex.data, 0x80FFFFFFu);   // palette entry 0: white
    EXPECT_GT((const u8*)tex.data, l.At());
    EXPECT_LT((const u8*)tex.data, l.At() + l.size);

    // The cube's call list is patched: its first command is the register
    // packet (one register, end of packet) setting the scene's depth test,
    // greater or equal, then tokSetMaterial's routine.
    const MATERIAL& mt = mf.models[0]->mtls[0];
    EXPECT_EQ(mt.texid, 0);
    EXPECT_EQ(mt.Words(0)[6], MATERIAL::translate[tokGiftag - tokNop]);
    EXPECT_EQ(mt.Words(0)[0], 0x8001);
    EXPECT_EQ(*(const u64*)mt.Words(1), 0x50000u);   // TEST: ZTE on, ZTST 2 (GEQUAL)
    EXPECT_EQ(mt.Words(1)[4], GS_TEST_1);
    EXPECT_EQ(mt.Words(2)[6], MATERIAL::translate[tokSetMaterial - tokNop]);
    EXPECT_EQ(mt.Words(2)[0], kCubeStride);   // mc2SetMaterial {stride, ...}
    EXPECT_TRUE(mf.models[0]->flags & MDL_LIT);
    EXPECT_FALSE(mf.models[1]->flags & MDL_LIT);

    Object* cube = mf.GetHierarchy(kCubeRootNode, sizeof(Object), 0);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->id, kCubeRootId);
    ASSERT_NE(cube->geom, nullptr);
    EXPECT_EQ(cube->geom->index, 0);
    COLLISION* box = cube->GetCollision();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->type, COLL_BOX);
    EXPECT_EQ(((CollBox*)box)->box.max, VectorPos(1, 1, 1));
    // The level node is not an object: the light is the only child.
    Object* light = cube->child;
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->sibling, nullptr);
    EXPECT_EQ(light->type, OBJT_LIGHT);
    EXPECT_EQ(light->id, kCubeLightId);
    EXPECT_EQ(light->parent, cube);
    EXPECT_EQ(((LightObject*)light)->lightType, u32(ZEVLIGHT_POS));
    EXPECT_NEAR(((LightObject*)light)->range, 10.0f, 1.0f / 4096);
    EXPECT_EQ(light->Pos(), VectorPos(0, -3, 0));
    EXPECT_FLOAT_EQ(cube->radius, 3.0f);   // the light's offset exceeds the cube's sqrt(3)

    // Two levels of detail: the textured cube up to 10 x its radius.
    ASSERT_TRUE(cube->SetLowresGeom(0.0f));
    EXPECT_FLOAT_EQ(cube->geom->lowresdist, 10.0f * std::sqrt(3.0f));
    EXPECT_EQ(cube->geom->GetLowRes(10.0f), cube->geom);
    ASSERT_NE(cube->geom->GetLowRes(20.0f), nullptr);
    EXPECT_EQ(cube->geom->GetLowRes(20.0f)->index, 1);
    EXPECT_EQ(cube->geom->GetLowRes(1e6f)->index, 1);

    // Into the world; its light shines once the light is ticked.
    LightContext lc;
    SetLightContext(&lc);
    ClearLights();
    {
        World w;
        ASSERT_TRUE(w.AddObject(cube, nullptr));
        EXPECT_EQ(w.Find(kCubeRootId), cube);
        EXPECT_EQ(cube->FindSubObject(kCubeLightId), light);
        light->SendMessage(OM_FRAME, nullptr);
        ASSERT_EQ(lc.numTempLights, 1);
        EXPECT_EQ(lc.tempLights[0].GetPos(), VectorPos(0, -3, 0));
        w.Clear();
    }
    SetLightContext(nullptr);
}

// ---------------------------------------------------------------------------
// The other blocks

TEST(P2B, EveryBlockKindRoundTrips)
{
    P2BFile f = SampleCubeFile();
    P2BAnimNode an;
    an.flags = 1;
    an.length = 40;
    an.id = 3;
    P2BAnimStream pos;
    pos.type = 0;
    pos.numKeys = 2;
    pos.keys.assign(28, 0x11);
    an.streams.push_back(pos);
    f.anims.push_back(an);
    f.nodes[kCubeRootNode].animation = 0;
    f.parts.push_back(PS2Part{0, 16, 16, 4});
    f.shadows.push_back(CubeModel(1.0f, TEXID_NONE, false));
    f.occluders.push_back({VectorPos(0, 0, 0), VectorPos(1, 0, 0), VectorPos(1, 1, 0)});
    P2BTexture shared;
    shared.shared = 1;
    f.textures.push_back(shared);

    Texture sharedTextures[2] = {};
    sharedTextures[1].format = PSMCT16;
    sharedTextures[1].data = (void*)0x123450;
    Loaded l(Write(f));
    ASSERT_TRUE(l.Init(sharedTextures, 2));
    const MDLFILE& mf = l.mf;
    ASSERT_NE(mf.anmfile, nullptr);
    EXPECT_EQ(mf.anmfile[0]->length, 40);
    const u16* stream = (const u16*)(uintptr_t)mf.anmfile[0]->streams[0];
    EXPECT_EQ(stream[0], 0);
    EXPECT_EQ(stream[1], 2);
    EXPECT_EQ(((const u8*)stream)[4], 0x11);
    EXPECT_EQ(mf.GetParticle(0)->numFrames, 4);
    ASSERT_NE(mf.shadows, nullptr);
    EXPECT_EQ(mf.shadows[0]->mtls[0].dataNumQw, mf.models[1]->mtls[0].dataNumQw);
    EXPECT_EQ(mf.nOccluders, 1);
    s32 corners;
    std::memcpy(&corners, (const u8*)mf.occluders + 12, 4);
    EXPECT_EQ(corners, 3);
    EXPECT_EQ(mf.textures[1].data, (void*)0x123450);
    EXPECT_EQ(mf.textures[1].format, PSMCT16 | 0x8000);
}

TEST(P2B, CollisionChainsNestAndSoupsLoad)
{
    CollisionChain inner;
    inner.Ball(MakeCollisionID(2, 0), Sphere(0, 0, 0, 0.5f));
    inner.Soup(7, {VectorPos(0, 0, 0), VectorPos(1, 0, 0), VectorPos(0, 1, 0)}, {{0, 1, 2}});
    CollisionChain outer;
    outer.Box(MakeCollisionID(1, 0), Cuboid(VectorPos(-2, -2, -2), VectorPos(2, 2, 2)), &inner);
    outer.Planes({Plane(1, 0, 0, -1), Plane(-1, 0, 0, -1)});
    outer.Ball(MakeCollisionID(4, 0), Sphere(0, 5, 0, 1));

    P2BFile f = SampleCubeFile();
    f.collisions.push_back(outer);
    Loaded l(Write(f));
    ASSERT_TRUE(l.Init());
    COLLISION* c = l.mf.GetCollision(1);
    EXPECT_FLOAT_EQ(CalcCollisionRadius(c), 6.0f);   // the sphere at 5 with radius 1
    // The nested chain's ids are gathered into the box's.
    EXPECT_EQ(ModifyCollisionMask(c, 0, 0), 1 | 2 | 4);
    CollBox* box = (CollBox*)c;
    ASSERT_NE(box->child, 0u);
    COLLISION* soup = box->Child()->Next();
    ASSERT_EQ(soup->type, COLL_SOUP);
    CollSoup* s = (CollSoup*)soup;
    EXPECT_EQ(s->count, 3);
    EXPECT_EQ(s->Faces()[0].v[2], 2);
    EXPECT_EQ(s->Verts()[1], VectorPos(1, 0, 0));
    EXPECT_TRUE(s->root.IsLeaf());
    EXPECT_EQ(s->Next()->type, COLL_END);

    // A soup face naming a missing vertex is not written.
    CollisionChain bad;
    bad.Soup(0, {VectorPos(0, 0, 0)}, {{0, 0, 1}});
    std::vector<u8> out;
    std::string error;
    EXPECT_FALSE(bad.Bytes(out, error));
    EXPECT_NE(error.find("names a vertex"), std::string::npos);
}

TEST(P2B, TintTablesAreLinkedFromTheCallList)
{
    P2BFile f = SampleCubeFile();
    P2BMaterial& mt = f.models[0].opaque[0];
    mt.flags |= MTL_TINT;
    mt.auxvuaddr = 2;   // the GIF tag's data quadword holds the colour
    mt.tints = {0x80808080u, 0x80004080u};
    Loaded l(Write(f));
    ASSERT_TRUE(l.Init());
    const MATERIAL& m = l.mf.models[0]->mtls[0];
    u32 table;
    std::memcpy(&table, (const u8*)m.CallList() + 16 * 2 + 8, 4);
    ASSERT_LT(table + 8, l.size);
    EXPECT_EQ(*(const u32*)(l.At() + table + 4), 0x80004080u);

    mt.tints.clear();
    std::vector<u8> bytes;
    std::string error;
    EXPECT_FALSE(WriteP2B(f, bytes, error));
    EXPECT_NE(error.find("tint"), std::string::npos);
}

TEST(P2B, BadDescriptionsAreRefusedWithAReason)
{
    NODE n;
    std::string error;
    EXPECT_FALSE(MakeLightNode(ZEVLIGHT_POS, Colour(1, 1, 1, 1), 128, 20.0f, 0, VectorPos(0, 0, 0),
                               VectorXYZ(0, 0, 0), n, error));
    EXPECT_NE(error.find("range"), std::string::npos);
    EXPECT_FALSE(MakeLightNode(13, Colour(1, 1, 1, 1), 128, 1.0f, 0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), n, error));

    P2BFile f = SampleCubeFile();
    f.nodes[kCubeRootNode].model = 5;   // there are two models
    std::vector<u8> bytes;
    EXPECT_FALSE(WriteP2B(f, bytes, error));
    EXPECT_NE(error.find("refused by the loader"), std::string::npos);
    EXPECT_NE(error.find("names model 5 of 2"), std::string::npos);

    f = SampleCubeFile();
    f.occluders.push_back({});
    EXPECT_FALSE(WriteP2B(f, bytes, error));
    EXPECT_NE(error.find("occluder 0 has no corners"), std::string::npos);

    f = SampleCubeFile();
    P2BTexture both;
    both.shared = 0;
    both.texture.image.assign(16, 0);
    f.textures.push_back(both);
    EXPECT_FALSE(WriteP2B(f, bytes, error));
}

// ---------------------------------------------------------------------------
// Truncated copies of a written file (corruption in general is tested with
// the loader)

TEST(P2B, TruncatedCopiesOfTheSampleAreRefused)
{
    std::vector<u8> good = Write(SampleCubeFile());
    // The file ends with the collision chain's 2-byte end mark, padded to a
    // quadword; cutting the padding alone loses nothing.
    for (u32 size = 0; size < good.size() - 14; size += 7)
    {
        std::vector<u8> cut(good.begin(), good.begin() + size);
        Loaded l(cut);
        EXPECT_FALSE(l.Init()) << "truncated to " << size;
    }
    console::ClearConsoleText();
}

}  // namespace
