#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/anim_support.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/object_support.h"
#include "ee/console_out.h"
#include "ZevEngine2/EntTypes.h"

using namespace animtest;

namespace {

float Bits(u32 b)
{
    float f;
    memcpy(&f, &b, 4);
    return f;
}

const float kO = Bits(0x3F3504F7);   // the compressed components' offset

// ---------------------------------------------------------------------------
// Compressed quaternions

TEST(CompressQuat, IdentityOmitsWAndCentresTheOthers)
{
    u32 expect = 0xC0000000u | (511u << 20) | (511u << 10) | 511u;
    EXPECT_EQ(CompressQuat(Quaternion(Vector(0, 0, 0, 1))), expect);
    // The omitted component is stored non-negative: -q is the same rotation.
    EXPECT_EQ(CompressQuat(Quaternion(Vector(0, 0, 0, -1))), expect);
}

TEST(CompressQuat, RangeEndsMapToFirstAndLastCodes)
{
    // w largest (0.8), then x = +O, y = -O: codes 1022 and 0.
    u32 w = CompressQuat(Quaternion(Vector(kO, -kO, 0.0f, 0.8f)));
    EXPECT_EQ(w >> 30, 3u);
    EXPECT_EQ((w >> 20) & 0x3FF, 1022u);
    EXPECT_EQ((w >> 10) & 0x3FF, 0u);
}

TEST(CompressQuat, TiesGoToTheLaterComponent)
{
    float h = 0.5f;
    EXPECT_EQ(CompressQuat(Quaternion(Vector(h, h, h, h))) >> 30, 3u);
    EXPECT_EQ(CompressQuat(Quaternion(Vector(0.6f, 0.6f, 0.0f, 0.5291503f))) >> 30, 1u);
    EXPECT_EQ(CompressQuat(Quaternion(Vector(0.0f, 0.0f, -0.8f, 0.6f))) >> 30, 2u);
}

TEST(CompressQuat, OutOfRangeComponentsStayInTheirField)
{
    // Not a unit quaternion: x would need a code above 1023; it must not
    // spill into the index bits.
    u32 w = CompressQuat(Quaternion(Vector(1.5f, 0.0f, 0.0f, 2.0f)));
    EXPECT_EQ(w >> 30, 3u);
    EXPECT_EQ((w >> 20) & 0x3FF, 1023u);
}

TEST(DecompressQuat, IdentityWordIsCloseToIdentity)
{
    Quaternion q = DecompressQuat(0xC0000000u | (511u << 20) | (511u << 10) | 511u);
    // 511 codes from -O fall just short of 0: the code does not hold 0 exactly.
    float c = 511.0f * Bits(0x3AB53251) - kO;
    EXPECT_FLOAT_EQ(q[0], c);
    EXPECT_FLOAT_EQ(q[1], c);
    EXPECT_FLOAT_EQ(q[2], c);
    // w is what makes the quaternion unit length.
    EXPECT_NEAR(q[3], std::sqrt(1.0f - 3.0f * c * c), 1e-6f);
}

TEST(DecompressQuat, BadWordGivesZeroNotNaN)
{
    // All three stored components at their extreme: their squares sum above 1.
    Quaternion q = DecompressQuat(0x3FFFFFFFu);
    EXPECT_EQ(q[0], 0.0f);
    EXPECT_FALSE(std::isnan(q[1]) || std::isnan(q[2]) || std::isnan(q[3]));
}

TEST(DecompressQuat, RoundTripKeepsTheRotation)
{
    for (int i = 0; i < 200; i++) {
        float a = 0.37f * i, b = 0.11f * i + 0.3f, c = 0.53f * i - 1.0f;
        Quaternion q(Vector(std::sin(a) * std::cos(b), std::sin(a) * std::sin(b), std::cos(a) * std::sin(c),
                            std::cos(a) * std::cos(c)));
        Quaternion r = DecompressQuat(CompressQuat(q));
        float d = std::fabs(Dot(q, r));   // q and -q are the same rotation
        EXPECT_GT(d, 0.99998f) << "quaternion " << i << ": " << Show(q) << " came back as " << Show(r);
    }
}

// ---------------------------------------------------------------------------
// Cursors

// The value x = time along a position stream.
float X(const VectorPos& p)
{
    return p[0];
}

TEST(AnimRtStream, FirstKeyLaterThanZeroHoldsItsValueBeforeIt)
{
    LoadedGroup g(OneBundle({PosStream({{5, {7, 8, 9}}, {15, {17, 8, 9}}})}, 20));
    AnimRtStreamPos c;
    c.Set(g.Stream(0, 0, 0));
    for (float t : {0.0f, 2.5f, 5.0f})
        EXPECT_TRUE(Near(c.Evaluate(t, 20), Vector(7, 8, 9, 1))) << "t " << t;
    EXPECT_FLOAT_EQ(X(c.Evaluate(10.0f, 20)), 12.0f);
}

TEST(AnimRtStream, LoopingStreamRunsBackToItsFirstKeyThenRestarts)
{
    LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}})}, 20, true));
    AnimRtStreamPos c;
    c.Set(g.Stream(0, 0, 0));
    // 15: halfway along the segment from the key at 10 back to the key at 0.
    EXPECT_FLOAT_EQ(X(c.Evaluate(15.0f, Loop(20))), 5.0f);
    // 25: one length on, the value at 5.
    EXPECT_FLOAT_EQ(X(c.Evaluate(25.0f, Loop(20))), 5.0f);
    // And from a fresh start too.
    c.Set(g.Stream(0, 0, 0));
    EXPECT_FLOAT_EQ(X(c.Evaluate(25.0f, Loop(20))), 5.0f);
}

TEST(AnimRtStream, NonLoopingStreamHoldsItsLastKeyAtAndPastItsLength)
{
    LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}})}, 20));
    AnimRtStreamPos c;
    c.Set(g.Stream(0, 0, 0));
    EXPECT_FLOAT_EQ(X(c.Evaluate(15.0f, 20)), 10.0f);
    EXPECT_FLOAT_EQ(X(c.Evaluate(20.0f, 20)), 10.0f);
    EXPECT_FLOAT_EQ(X(c.Evaluate(300.0f, 20)), 10.0f);
}

TEST(AnimRtStream, EarlierTimeStartsTheSearchAgain)
{
    // A time before the current segment (the blend's clock moving its offset
    // on after a loop) must give the right value and must not search forever.
    LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {50, {50, 0, 0}}, {100, {100, 0, 0}}})}, 100, true));
    AnimRtStreamPos c;
    c.Set(g.Stream(0, 0, 0));
    EXPECT_FLOAT_EQ(X(c.Evaluate(100.0f, Loop(100))), 100.0f);
    EXPECT_FLOAT_EQ(X(c.Evaluate(101.0f, Loop(100))), 1.0f);
    EXPECT_FLOAT_EQ(X(c.Evaluate(2.0f, Loop(100))), 2.0f);
    EXPECT_FLOAT_EQ(X(c.Evaluate(75.0f, Loop(100))), 75.0f);
    EXPECT_FLOAT_EQ(X(c.Evaluate(3.0f, Loop(100))), 3.0f);
}

TEST(AnimRtStream, FarPastTheLengthALoopInterpolatesWithinIt)
{
    // Times more than one length on (a long frame, a late first pass) land in
    // the right segment instead of running off the first one.
    LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}, {20, {30, 0, 0}}})}, 30, true));
    AnimRtStreamPos c;
    c.Set(g.Stream(0, 0, 0));
    EXPECT_FLOAT_EQ(X(c.Evaluate(45.0f, Loop(30))), 20.0f);    // 15: halfway from 10 to 30
    EXPECT_FLOAT_EQ(X(c.Evaluate(100.0f, Loop(30))), 10.0f);   // 10
}

TEST(AnimRtStream, MalformedKeysNeitherHangNorGiveNaN)
{
    // Keys out of order and two keys at one time: the file check refuses
    // the first, but a stream can be changed after its check, so playback
    // must still cope.  The writer refuses descending times: the last is
    // patched in.
    LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {1, 0, 0}}, {10, {2, 0, 0}}, {20, {3, 0, 0}}})}, 30, true));
    AnimStream* s = g.Stream(0, 0, 0);
    AnimKeyPos* keys = (AnimKeyPos*)s->pKeys;
    keys[3].time = 5;   // 0, 10, 10, 5
    AnimRtStreamPos c;
    c.Set(s);
    for (float t : {0.0f, 4.0f, 10.0f, 12.0f, 29.0f, 31.0f, 7.0f, 65000.0f}) {
        VectorPos p = c.Evaluate(t, Loop(30));
        EXPECT_FALSE(std::isnan(p[0]) || std::isinf(p[0])) << "t " << t;
    }
}

TEST(AnimRtStream, SingleKeyStreamsYieldTheirKeyAlways)
{
    AniStream zoom(ANIM_TYPE_ZOOM);
    zoom.Float(4, 1.25f);
    AniStream rot(ANIM_TYPE_QUAT);
    rot.Rot(0, RotYQuat(0.5f));
    LoadedGroup g(OneBundle({PosStream({{0, {1, 2, 3}}}), std::move(zoom), std::move(rot)}, 10));
    AnimRtStreamPos p;
    p.Set(g.Stream(0, 0, 0));
    AnimRtStreamFloat f;
    f.Set(g.Stream(0, 0, 1));
    AnimRtStreamQuat q;
    q.Set(g.Stream(0, 0, 2));
    EXPECT_FLOAT_EQ(f.curEval, 1.25f);   // readable before the first evaluation
    for (float t : {0.0f, 3.0f, 50.0f}) {
        EXPECT_TRUE(Near(p.Evaluate(t, 10), Vector(1, 2, 3, 1)));
        EXPECT_FLOAT_EQ(f.Evaluate(t, 10), 1.25f);
        EXPECT_TRUE(Near(q.Evaluate(t, 10), RotYQuat(0.5f)));
    }
}

TEST(AnimRtStream, QuaternionStreamsSlerpAndCompressedKeysDecompress)
{
    AniStream full(ANIM_TYPE_QUAT), packed(ANIM_TYPE_COMP_QUAT);
    full.Rot(0, RotYQuat(0.0f)).Rot(10, RotYQuat(1.0f));
    packed.Rot(0, RotYQuat(0.0f)).Rot(10, RotYQuat(1.0f));
    LoadedGroup g(OneBundle({std::move(full), std::move(packed)}, 10));
    AnimRtStreamQuat a, b;
    a.Set(g.Stream(0, 0, 0));
    b.Set(g.Stream(0, 0, 1));
    Quaternion qa = a.Evaluate(5.0f, 10);
    EXPECT_TRUE(Near(qa, SLERP(RotYQuat(0.0f), RotYQuat(1.0f), 0.5f)));
    Quaternion qb = b.Evaluate(5.0f, 10);
    // The same rotation, to the precision of the 10-bit components.
    EXPECT_TRUE(Near(qa, qb, 2e-3f)) << Show(qa) << " vs " << Show(qb);
}

TEST(AnimRtStream, FloatStreamKeepsItsLastValue)
{
    AniStream zoom(ANIM_TYPE_ZOOM);
    zoom.Float(2, 1.0f).Float(12, 3.0f);
    LoadedGroup g(OneBundle({std::move(zoom)}, 20));
    AnimRtStreamFloat f;
    f.Set(g.Stream(0, 0, 0));
    EXPECT_FLOAT_EQ(f.Evaluate(7.0f, 20), 2.0f);
    EXPECT_FLOAT_EQ(f.curEval, 2.0f);
    EXPECT_FLOAT_EQ(f.Evaluate(25.0f, 20), 3.0f);
    EXPECT_FLOAT_EQ(f.curEval, 3.0f);
}

TEST(AnimRtStream, BlurScaleStepsWhileAlphaBlends)
{
    AniStream blur(ANIM_TYPE_BLUR);
    blur.Blur(0, 0, 10).Blur(10, 100, 20).Blur(20, 0, 30);
    LoadedGroup g(OneBundle({std::move(blur)}, 30));
    AnimRtStreamBlur b;
    b.Set(g.Stream(0, 0, 0));
    b.Evaluate(5.0f, 30);
    EXPECT_EQ(b.curAlpha, 50);
    EXPECT_EQ(b.scale[0], 10);   // the key at 0 opened the segment
    b.Evaluate(9.9f, 30);
    EXPECT_EQ(b.scale[0], 10);
    b.Evaluate(15.0f, 30);
    EXPECT_EQ(b.curAlpha, 50);
    EXPECT_EQ(b.scale[0], 20);   // never a blend of 10 and 20
    b.Evaluate(19.0f, 30);
    EXPECT_EQ(b.curAlpha, 10);
    EXPECT_EQ(b.scale[0], 20);
}

// ---------------------------------------------------------------------------
// The file check and fix-up

AniGroup TwoAnimations()
{
    AniGroup g;
    for (int i = 0; i < 2; i++) {
        AniChar c;
        c.length = u16(10 + i);
        for (u16 id : {2, 5}) {
            AniStream ev(ANIM_TYPE_INSTANT);
            tools::AniSound snd;
            snd.sound = 7;
            ev.Event(1, 3).Sound(2, snd).Flag(3, 1, 2).Texture(4, 1, 9);
            AniBundle b;
            b.id = id;
            b.streams.push_back(PosStream({{0, {1, 2, 3}}, {5, {4, 5, 6}}}));
            b.streams.push_back(std::move(ev));
            c.bundles.push_back(std::move(b));
        }
        g.chars.push_back(std::move(c));
    }
    return g;
}

u32 Word(const std::vector<u8>& f, size_t at)
{
    u32 v;
    memcpy(&v, f.data() + at, 4);
    return v;
}

void PutWord(std::vector<u8>& f, size_t at, u32 v)
{
    memcpy(f.data() + at, &v, 4);
}

std::string Refusal(const std::vector<u8>& f)
{
    char why[256] = "";
    EXPECT_FALSE(AnimGroup::Check(f.data(), u32(f.size()), why));
    return why;
}

TEST(AnimGroup, FixUpTurnsEveryOffsetIntoAPointer)
{
    LoadedGroup g(TwoAnimations());
    ASSERT_EQ(g.group->count, 2);
    AnimChar* c = g.Char(1);
    EXPECT_EQ(c->length, 11);
    EXPECT_EQ(c->GetCount(), 2);
    EXPECT_EQ(c->GetID(0), 2);
    EXPECT_EQ(c->GetID(1), 5);
    EXPECT_EQ(c->GetID(2), -1);
    EXPECT_EQ(c->GetBundle(2), nullptr);
    AnimStream* s = g.Stream(1, 1, 0);
    EXPECT_EQ(s->type, ANIM_TYPE_POS);
    EXPECT_EQ(s->numKeys, 2);
    EXPECT_TRUE(Near(Vector(((AnimKeyPos*)s->pKeys)[1].Value(), 1.0f), Vector(4, 5, 6, 1)));
    for (int i = 0; i < 2; i++)
        for (int b = 0; b < 2; b++)
            for (int k = 0; k < 2; k++) {
                uintptr_t p = (uintptr_t)g.Stream(i, b, k);
                EXPECT_GT(p, (uintptr_t)g.buffer);
                EXPECT_LT(p, (uintptr_t)g.buffer + 4096);
            }
}

TEST(AnimGroup, CheckAcceptsAnEmptyGroupAndRefusesNegativeCountsAndTooShortFiles)
{
    std::vector<u8> empty = {0, 0, 0, 0};
    EXPECT_TRUE(AnimGroup::Check(empty.data(), 4, nullptr));
    // A negative count would fix nothing up, but no group has one: the
    // word is damaged, and the file is refused rather than taken as empty.
    std::vector<u8> negative = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(AnimGroup::Check(negative.data(), 4, nullptr));
    EXPECT_NE(Refusal({0, 0}).find("too short"), std::string::npos);
}

TEST(AnimGroup, CheckRefusesOffsetsOutsideTheFile)
{
    std::vector<u8> good = Bytes(TwoAnimations());
    ASSERT_TRUE(AnimGroup::Check(good.data(), u32(good.size()), nullptr));

    // Cut anywhere short of the end: refused, never read past the cut.
    for (size_t cut = 0; cut < good.size(); cut += 3) {
        std::vector<u8> f(good.begin(), good.begin() + cut);
        char why[256];
        EXPECT_FALSE(AnimGroup::Check(f.data(), u32(f.size()), why)) << "cut at " << cut;
    }

    std::vector<u8> f = good;
    PutWord(f, 0, 0x40000000);   // animation count
    EXPECT_NE(Refusal(f).find("table of 1073741824 animations"), std::string::npos);

    f = good;
    PutWord(f, 4, u32(good.size()));   // first animation
    EXPECT_NE(Refusal(f).find("animation 0 at"), std::string::npos);

    f = good;
    u32 c0 = Word(f, 4);
    PutWord(f, c0 + 16, 0xFFFFFFFFu);   // bundle count
    EXPECT_NE(Refusal(f).find("bundles runs past the end"), std::string::npos);

    f = good;
    PutWord(f, c0 + 20, 0xFFFFFF00u);   // bundle offset pointing far before the file
    EXPECT_NE(Refusal(f).find("bundle 0"), std::string::npos);

    f = good;
    u32 b0 = c0 + Word(f, c0 + 20);
    PutWord(f, b0 + 4, 0x10000);   // stream offset
    EXPECT_NE(Refusal(f).find("stream 0"), std::string::npos);

    f = good;
    u32 s0 = b0 + Word(f, b0 + 4);
    f[s0 + 2] = 0xFF;   // 255 position keys
    EXPECT_NE(Refusal(f).find("stream 0 at 0x" ), std::string::npos);
    EXPECT_NE(Refusal(f).find("runs past the end"), std::string::npos);
}

TEST(AnimGroup, CheckRefusesMisalignedRecordsAndUnknownTypes)
{
    std::vector<u8> good = Bytes(TwoAnimations());
    u32 c0 = Word(good, 4);
    u32 b0 = c0 + Word(good, c0 + 20);
    u32 s0 = b0 + Word(good, b0 + 4);

    std::vector<u8> f = good;
    PutWord(f, 4, c0 + 2);
    EXPECT_NE(Refusal(f).find("not 4-byte aligned"), std::string::npos);

    f = good;
    PutWord(f, b0 + 4, Word(f, b0 + 4) + 1);
    EXPECT_NE(Refusal(f).find("not 2-byte aligned"), std::string::npos);

    f = good;
    f[s0] = 10;
    EXPECT_NE(Refusal(f).find("unknown type 10"), std::string::npos);
}

TEST(AnimGroup, CheckWalksInstantKeysBySize)
{
    std::vector<u8> good = Bytes(TwoAnimations());
    u32 c1 = Word(good, 8);
    u32 b1 = c1 + Word(good, c1 + 24);   // the last bundle of the last animation
    u32 s1 = b1 + Word(good, b1 + 8);    // its instant stream, the last bytes of the file
    ASSERT_EQ(s1 + 4 + 6 + 34 + 8 + 8, good.size());
    std::vector<u8> f = good;
    f[s1 + 2] = 5;   // a fifth key would start at the end of the file
    EXPECT_NE(Refusal(f).find("instant key 4"), std::string::npos);

}

TEST(AnimGroup, CheckStopsAtAnInstantKeyOfUnknownType)
{
    // A key of an unknown instant type is never stepped over: the keys after
    // it read the same four bytes, so they need not be in the file.
    AniStream ev(ANIM_TYPE_INSTANT);
    ev.Event(1, 1).Event(2, 2).Event(3, 3);
    std::vector<u8> f = Bytes(OneBundle({std::move(ev)}, 10));
    u32 c0 = Word(f, 4);
    u32 b0 = c0 + Word(f, c0 + 20);
    u32 s0 = b0 + Word(f, b0 + 4);
    ASSERT_EQ(s0 + 4 + 18, f.size());
    f[s0 + 4 + 6 + 2] = 9;   // key 1 of an unknown type
    f[s0 + 2] = 200;         // and 200 keys
    char why[256] = "";
    EXPECT_TRUE(AnimGroup::Check(f.data(), u32(f.size()), why)) << why;
    f.resize(s0 + 4 + 6 + 3);   // key 1's head cut
    EXPECT_NE(Refusal(f).find("instant key 1"), std::string::npos);
}

TEST(AnimGroup, CheckRefusesKeysOutOfTimeOrderAndValuesThatAreNoNumbers)
{
    // Position keys of 14 bytes (a time and three floats), at 0, 10, 10, 20:
    // two keys at one time are in order.
    std::vector<u8> good =
        Bytes(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {1, 0, 0}}, {10, {2, 0, 0}}, {20, {3, 0, 0}}})}, 30));
    char why[256] = "";
    ASSERT_TRUE(AnimGroup::Check(good.data(), u32(good.size()), why)) << why;
    u32 c0 = Word(good, 4);
    u32 b0 = c0 + Word(good, c0 + 20);
    u32 keys = b0 + Word(good, b0 + 4) + 4;

    // The last key's time inverted in place runs far ahead: still in order.
    std::vector<u8> f = good;
    f[keys + 14 * 3] = 0xEB;
    f[keys + 14 * 3 + 1] = 0xFF;   // 65515
    EXPECT_TRUE(AnimGroup::Check(f.data(), u32(f.size()), why)) << why;
    // The third's runs back before the second's.
    f = good;
    f[keys + 14 * 2] = 5;
    EXPECT_NE(Refusal(f).find("key 2 at time 5 comes before the key ahead of it (time 10)"), std::string::npos)
        << Refusal(f);

    // A value that is no number, or infinite, in any of the three places.
    for (u32 bits : {0x7FC00000u, 0xFF800000u}) {
        for (u32 field = 0; field < 3; field++) {
            f = good;
            PutWord(f, keys + 14 * 1 + 2 + 4 * field, bits);
            EXPECT_NE(Refusal(f).find("key 1 at time 10 holds a value that is not a number"), std::string::npos)
                << std::hex << bits << " in field " << field;
        }
    }

    // A compressed quaternion's word is no float: any bits are taken.
    AniStream comp(ANIM_TYPE_COMP_QUAT);
    comp.Rot(0, Quaternion(true)).Rot(4, Quaternion(true));
    f = Bytes(OneBundle({std::move(comp)}, 10));
    c0 = Word(f, 4);
    keys = c0 + Word(f, c0 + 20);
    keys += Word(f, keys + 4) + 4;
    PutWord(f, keys + 2, 0xFFFFFFFFu);
    PutWord(f, keys + 6 + 2, 0x7FC00000u);
    EXPECT_TRUE(AnimGroup::Check(f.data(), u32(f.size()), why)) << why;
}

TEST(AnimGroup, CheckRefusesTablesThatShareBytes)
{
    std::vector<u8> good = Bytes(TwoAnimations());
    u32 c0 = Word(good, 4), c1 = Word(good, 8);

    // Both animations naming one record: its table would be fixed up twice.
    std::vector<u8> f = good;
    PutWord(f, 8, c0);
    EXPECT_NE(Refusal(f).find("offset table"), std::string::npos);

    // A bundle of the second animation naming the first's bundle.
    f = good;
    u32 b0 = c0 + Word(f, c0 + 20);
    PutWord(f, c1 + 20, b0 - c1);
    EXPECT_NE(Refusal(f).find("shares bytes"), std::string::npos);

    // A stream laid over a table.
    f = good;
    PutWord(f, b0 + 4, 4);   // the stream would be the bundle's own table
    EXPECT_NE(Refusal(f).find("shares bytes"), std::string::npos);

    // Two bundles sharing a stream only read it: accepted.
    f = good;
    u32 b1 = c0 + Word(f, c0 + 24);
    u32 s0 = b0 + Word(f, b0 + 4);
    PutWord(f, b1 + 4, s0 - b1);
    char why[256] = "";
    EXPECT_TRUE(AnimGroup::Check(f.data(), u32(f.size()), why)) << why;
}

// ---------------------------------------------------------------------------
// Loading from the disc

class AnimLoadTest : public streamtest::StreamerTest
{
protected:
    void TearDown() override
    {
        LoadingCallback::cbs.Clear();
        StreamerTest::TearDown();
    }
};

TEST_F(AnimLoadTest, LoadsAndFixesUpAGroup)
{
    std::vector<u8> bytes = Bytes(TwoAnimations());
    std::vector<u8> empty = {0, 0, 0, 0};
    StartWith({{"anims/walk.ani", bytes, ""}, {"anims/none.ani", empty, ""}});

    AnimGroup* g = LoadAndFixUpAnimGroup("ANIMS\\WALK.ANI");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->count, 2);
    EXPECT_EQ(g->pChars[1]->GetBundle(1)->pStreams[0]->numKeys, 2);
    free(g);

    // A group of no animations comes back as it is.
    AnimGroup* none = LoadAndFixUpAnimGroup("ANIMS\\NONE.ANI");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(memcmp(none, empty.data(), 4), 0);
    free(none);

    EXPECT_EQ(LoadAndFixUpAnimGroup("ANIMS\\MISSING.ANI"), nullptr);
}

TEST_F(AnimLoadTest, RefusedFileIsReportedAndFreed)
{
    std::vector<u8> bytes = Bytes(TwoAnimations());
    bytes.resize(bytes.size() - 10);
    // A count word with its bytes inverted (2 becomes -3): no count at all,
    // where the fix-up would see an empty group.
    std::vector<u8> negative = Bytes(TwoAnimations());
    for (int i = 0; i < 4; i++)
        negative[size_t(i)] ^= 0xFF;
    StartWith({{"anims/cut.ani", bytes, ""}, {"anims/neg.ani", negative, ""}});
    console::ClearConsoleText();
    unsigned before = TotalFree();
    bool refused = false;
    EXPECT_EQ(LoadAndFixUpAnimGroup("ANIMS\\CUT.ANI", &refused), nullptr);
    EXPECT_TRUE(refused);
    EXPECT_EQ(TotalFree(), before);
    EXPECT_NE(console::ConsoleText().find("ANIMS\\CUT.ANI refused"), std::string::npos) << console::ConsoleText();
    EXPECT_EQ(LoadAndFixUpAnimGroup("ANIMS\\NEG.ANI", &refused), nullptr);
    EXPECT_TRUE(refused);
    EXPECT_NE(console::ConsoleText().find("ANIMS\\NEG.ANI refused: its animation count -3 is negative"),
              std::string::npos)
        << console::ConsoleText();
    // A file the disc does not have is missing, not refused.
    EXPECT_EQ(LoadAndFixUpAnimGroup("ANIMS\\MISSING.ANI", &refused), nullptr);
    EXPECT_FALSE(refused);
}

}  // namespace

namespace {

TEST(AnimStreamBytes, MeasuresStreamsWithinTheirBounds)
{
    AniStream pos(ANIM_TYPE_POS);
    pos.Vec(0, {1, 2, 3}).Vec(1, {1, 2, 3});
    std::vector<u8> s = {0, 0, 2, 0};
    s.insert(s.end(), pos.Keys().begin(), pos.Keys().end());
    int bad = 99;
    EXPECT_EQ(AnimStreamBytes(s.data(), u32(s.size()), &bad), 4u + 28u);
    EXPECT_EQ(AnimStreamBytes(s.data(), u32(s.size() - 1), &bad), 0u);
    EXPECT_EQ(bad, 1);

    AniStream ev(ANIM_TYPE_INSTANT);
    tools::AniSound snd;
    ev.Event(0, 1).Sound(0, snd).Flag(0, 1, 1);
    std::vector<u8> e = {8, 0, 3, 0};
    e.insert(e.end(), ev.Keys().begin(), ev.Keys().end());
    EXPECT_EQ(AnimStreamBytes(e.data(), u32(e.size()), &bad), 4u + 6u + 34u + 8u);
    EXPECT_EQ(AnimStreamBytes(e.data(), 4 + 6 + 33, &bad), 0u);
    EXPECT_EQ(bad, 1);

    std::vector<u8> unknown = {10, 0, 0, 0};
    EXPECT_EQ(AnimStreamBytes(unknown.data(), 4, &bad), 0u);
    EXPECT_EQ(bad, -1);
}

}  // namespace
