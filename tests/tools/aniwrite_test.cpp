#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tools/lib/aniwrite.h"

using tools::AniBundle;
using tools::AniChar;
using tools::AniGroup;
using tools::AniStream;

namespace {

AniGroup One(AniStream s, u16 length = 10, u16 id = 0)
{
    AniGroup g;
    AniChar c;
    c.length = length;
    c.bundles.push_back(AniBundle{id, {std::move(s)}});
    g.chars.push_back(std::move(c));
    return g;
}

std::string Refused(const AniGroup& g)
{
    std::vector<u8> out;
    std::string error;
    EXPECT_FALSE(tools::WriteAni(g, out, error));
    EXPECT_TRUE(out.empty());
    return error;
}

void Put32(std::vector<u8>& v, u32 x)
{
    for (int i = 0; i < 4; i++)
        v.push_back(u8(x >> (8 * i)));
}
void Put16(std::vector<u8>& v, u16 x)
{
    v.push_back(u8(x));
    v.push_back(u8(x >> 8));
}
void PutF(std::vector<u8>& v, float f)
{
    u32 x;
    memcpy(&x, &f, 4);
    Put32(v, x);
}

TEST(AniWrite, SmallestFileHasTheDocumentedLayout)
{
    AniStream s(ANIM_TYPE_POS);
    s.Vec(3, VectorXYZ(1, 2, 3));
    AniGroup g = One(s, 10, 7);
    g.chars[0].flags = 1;
    g.chars[0].deltaZ = 0.5f;
    std::vector<u8> out;
    std::string error;
    ASSERT_TRUE(tools::WriteAni(g, out, error)) << error;

    std::vector<u8> expect;
    Put32(expect, 1);      // count
    Put32(expect, 8);      // the animation, from the file's start
    Put16(expect, 1);      // flags: loops
    Put16(expect, 10);     // length
    PutF(expect, 0.0f);
    PutF(expect, 0.0f);
    PutF(expect, 0.5f);
    Put32(expect, 1);      // bundles
    Put32(expect, 24);     // the bundle, from the animation (8 + 20 + 4 = 32)
    Put16(expect, 7);      // id
    Put16(expect, 1);      // streams
    Put32(expect, 8);      // the stream, from the bundle
    Put16(expect, ANIM_TYPE_POS);
    Put16(expect, 1);
    Put16(expect, 3);      // the key: time, then three raw floats
    PutF(expect, 1.0f);
    PutF(expect, 2.0f);
    PutF(expect, 3.0f);
    EXPECT_EQ(out, expect);
}

AniGroup Everything()
{
    AniGroup g;
    for (int i = 0; i < 3; i++) {
        AniChar c;
        c.length = u16(20 + i);
        c.deltaX = float(i);
        for (u16 id : {1, 4, 30}) {
            AniBundle b;
            b.id = id;
            AniStream pos(ANIM_TYPE_POS), rot(ANIM_TYPE_COMP_QUAT), zoom(ANIM_TYPE_ZOOM), blur(ANIM_TYPE_BLUR),
                fx(ANIM_TYPE_CAMFX), ev(ANIM_TYPE_INSTANT);
            pos.Vec(0, VectorXYZ(1, 2, 3)).Vec(5, VectorXYZ(id, 0, 0));
            rot.Rot(0, Quaternion(true)).Rot(7, Quaternion(Vector(0.0f, 0.6f, 0.0f, 0.8f)));
            zoom.Float(1, 1.5f);
            blur.Blur(0, 10, 20).Blur(3, 30, 40);
            fx.CamFX(2, 1.0f, 2.0f, 3, 4);
            tools::AniSound snd;
            snd.sound = 99;
            snd.pitch = 120.0f;
            ev.Event(1, 5).Sound(1, snd).Flag(2, 1, 2).Texture(3, 0x8002, 6);
            for (AniStream* s : {&pos, &rot, &zoom, &blur, &fx, &ev})
                b.streams.push_back(*s);
            c.bundles.push_back(std::move(b));
        }
        g.chars.push_back(std::move(c));
    }
    return g;
}

TEST(AniWrite, SameDescriptionSameBytes)
{
    std::vector<u8> a, b;
    std::string error;
    ASSERT_TRUE(tools::WriteAni(Everything(), a, error)) << error;
    ASSERT_TRUE(tools::WriteAni(Everything(), b, error)) << error;
    EXPECT_EQ(a, b);
}

TEST(AniWrite, WrittenFileLoadsAndReadsBack)
{
    std::vector<u8> bytes;
    std::string error;
    ASSERT_TRUE(tools::WriteAni(Everything(), bytes, error)) << error;
    char why[256] = "";
    ASSERT_TRUE(AnimGroup::Check(bytes.data(), u32(bytes.size()), why)) << why;

    std::vector<u32> words((bytes.size() + 3) / 4);   // a 4-byte aligned copy
    memcpy(words.data(), bytes.data(), bytes.size());
    AnimGroup* g = reinterpret_cast<AnimGroup*>(words.data());
    g->FixUp();
    ASSERT_EQ(g->count, 3);
    AnimChar* c = g->pChars[2];
    EXPECT_EQ(c->length, 22);
    EXPECT_EQ(c->deltaX, 2.0f);
    EXPECT_EQ(c->GetID(2), 30);
    AnimBundle* b = c->GetBundle(1);
    ASSERT_EQ(b->numStreams, 6);
    for (int k = 0; k < 6; k++)
        EXPECT_EQ((uintptr_t)b->pStreams[k] % 2, 0u);
    EXPECT_EQ((uintptr_t)b % 4, 0u);

    const AnimKeyPos* pos = (const AnimKeyPos*)b->pStreams[0]->pKeys;
    EXPECT_EQ(pos[1].time, 5);
    EXPECT_EQ(KeyFloat(pos[1].x), 4.0f);

    const AnimKeyCompQuat* rot = (const AnimKeyCompQuat*)b->pStreams[1]->pKeys;
    Quaternion q = DecompressQuat(KeyConv32(rot[1].x).u32);
    EXPECT_NEAR(q[1], 0.6f, 2e-3f);
    EXPECT_NEAR(q[3], 0.8f, 2e-3f);

    const char* ev = b->pStreams[5]->pKeys;
    EXPECT_EQ(b->pStreams[5]->numKeys, 4);
    EXPECT_EQ(((const AnimKeyEvent*)ev)->event, 5);
    const AnimKeySound* snd = (const AnimKeySound*)(ev + sizeof(AnimKeyEvent));
    EXPECT_EQ(snd->type, ANIM_INSTANT_SOUND);
    EXPECT_EQ(snd->sound, 99);
    EXPECT_EQ(KeyFloat(snd->pitch), 120.0f);
    const AnimKeyFlag* flag = (const AnimKeyFlag*)(ev + sizeof(AnimKeyEvent) + sizeof(AnimKeySound));
    EXPECT_EQ(flag->xor_, 2);
    const AnimKeyTexture* tex = (const AnimKeyTexture*)(flag + 1);
    EXPECT_EQ(tex->index, 0x8002);
    EXPECT_EQ(tex->value, 6);
}

TEST(AniWrite, RefusesKeysThatDoNotFitTheStream)
{
    AniStream s(ANIM_TYPE_QUAT);
    s.Rot(0, Quaternion(true)).Vec(1, VectorXYZ(0, 0, 0));
    std::string e = Refused(One(s));
    EXPECT_NE(e.find("animation 0, bundle 0 (id 0), stream 0 (rotation), key 1"), std::string::npos) << e;
    EXPECT_NE(e.find("vector key does not belong"), std::string::npos) << e;

    AniStream ev(ANIM_TYPE_POS);
    ev.Event(0, 1);
    EXPECT_NE(Refused(One(ev)).find("event key does not belong"), std::string::npos);
}

TEST(AniWrite, RefusesBadValuesAndOrder)
{
    AniStream late(ANIM_TYPE_POS);
    late.Vec(5, VectorXYZ(0, 0, 0)).Vec(4, VectorXYZ(0, 0, 0));
    EXPECT_NE(Refused(One(late)).find("time is before the previous key's 5"), std::string::npos);

    AniStream same(ANIM_TYPE_POS);   // equal times are allowed
    same.Vec(5, VectorXYZ(0, 0, 0)).Vec(5, VectorXYZ(1, 0, 0));
    EXPECT_TRUE(same.Fault().empty());

    AniStream nan(ANIM_TYPE_ZOOM);
    nan.Float(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_NE(Refused(One(nan)).find("not finite"), std::string::npos);

    AniStream skew(ANIM_TYPE_COMP_QUAT);
    skew.Rot(0, Quaternion(Vector(0.0f, 0.0f, 0.0f, 2.0f)));
    EXPECT_NE(Refused(One(skew)).find("not of unit length"), std::string::npos);

    AniStream tex(ANIM_TYPE_INSTANT);
    tex.Texture(0, 14, 1);
    EXPECT_NE(Refused(One(tex)).find("not below 14"), std::string::npos);
}

TEST(AniWrite, RefusesBadAnimationsAndBundles)
{
    AniStream s(ANIM_TYPE_POS);
    s.Vec(0, VectorXYZ(0, 0, 0));
    EXPECT_NE(Refused(One(s, 0x8000)).find("animation 0: length 32768"), std::string::npos);

    AniGroup g = One(s, 10, 4);
    g.chars[0].bundles.push_back(AniBundle{4, {}});
    EXPECT_NE(Refused(g).find("bundle 1: id 4 does not follow"), std::string::npos);
    g.chars[0].bundles[1].id = 3;
    EXPECT_NE(Refused(g).find("ids must ascend"), std::string::npos);
    g.chars[0].bundles[1].id = 5;
    std::vector<u8> out;
    std::string error;
    EXPECT_TRUE(tools::WriteAni(g, out, error)) << error;

    AniGroup unknown = One(AniStream(AnimType(12)));
    EXPECT_NE(Refused(unknown).find("unknown type 12"), std::string::npos);
}

}  // namespace
