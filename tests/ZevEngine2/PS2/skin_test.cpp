// Skinned models: the matrix palette built from bone objects, the VU1
// skinning step that blends vertices through it, and a skinned arm that
// bends as its bone turns.
#include <gtest/gtest.h>

#include <vu/vu1.h>

#include <cmath>
#include <string>
#include <vector>

#include "vu/machine.h"

#include "ZevEngine2/PS2/modeldraw_support.h"
#include "ZevEngine2/fresh_run.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"

using namespace modeldraw;

namespace {

// ---------------------------------------------------------------------------
// mc2Skin on VU1

u128 Cmd(u32 routine, u32 x = 0, u32 y = 0, u32 z = 0)
{
    return tools::Quad(x, y, z, routine / 8);
}

class SkinStep : public ::testing::Test
{
protected:
    vu1::Machine& vu = vu1::Vu1();
    static constexpr u32 kBlock = 100, kBatch = 200;

    void SetUp() override
    {
        console::vu::ResetVu1();
        for (u32 i = 0; i < vu1::kMicrocode2Instructions; ++i)
            console::vu::WriteInstruction(i, vu1::Slot(vu1::kProgramMicrocode2, i));
        console::ClearConsoleText();
    }
    void Put(u32 addr, const Matrix& m)
    {
        for (u32 i = 0; i < 4; ++i)
            vu.Q(addr + i) = m.Raw()[i];
    }
    const float* F(u32 addr) { return vu.F(addr); }
    // A material of the skinning step alone, then one batch of n vertices.
    void Run(const std::vector<u128>& verts, u32 n)
    {
        const u128 block[] = {Cmd(mc2SetMaterial, 4, 2), Cmd(mc2Skin, 3, 2), Cmd(mc2Stop)};
        for (u32 i = 0; i < 3; ++i)
            vu.Q(kBlock + i) = block[i];
        console::vu::Mscal(0, kBlock, 0);
        for (size_t i = 0; i < verts.size(); ++i)
            vu.Q(kBatch + u32(i)) = verts[i];
        console::vu::Mscnt(kBatch, n);
    }
};

u128 Weights(float a, float b, u32 ia, u32 ib)
{
    u32 fa, fb;
    std::memcpy(&fa, &a, 4);
    std::memcpy(&fb, &b, 4);
    return tools::Quad(fa, fb, 0, ia | ib << 8);
}

TEST_F(SkinStep, PositionsAndNormalsAreBlendedThroughThePalette)
{
    // Palette: 0 identity, 1 a move by (0, 5, 0), 2 a quarter turn taking x
    // to y.
    Put(0, Matrix(true));
    Put(4, TransMatrix(0, 5, 0));
    Put(8, Matrix(Vector(0, 1, 0, 0), Vector(-1, 0, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1)));
    u128 noKick = tools::FloatQuad(1, 0, 0, 0);
    reinterpret_cast<u32*>(&noKick)[3] = 0x43808000;
    const std::vector<u128> verts = {
        // Bound to matrix 1 alone.
        tools::FloatQuad(1, 0, 0, 256), tools::FloatQuad(0, 0, 0, 0), tools::FloatQuad(1, 0, 0, 0),
        Weights(1, 0, 1, 0),
        // Half and half between 1 and 2; its no-kick flag is kept.
        noKick, tools::FloatQuad(0, 0, 0, 0), tools::FloatQuad(1, 0, 0, 0), Weights(0.5f, 0.5f, 1, 2),
        // No weights: left as it is.
        tools::FloatQuad(3, 4, 5, 256), tools::FloatQuad(0, 0, 0, 0), tools::FloatQuad(0, 0, 1, 0),
        Weights(0, 0, 1, 2),
    };
    Run(verts, 3);
    EXPECT_FLOAT_EQ(F(kBatch)[0], 1.0f);
    EXPECT_FLOAT_EQ(F(kBatch)[1], 5.0f);
    EXPECT_FLOAT_EQ(F(kBatch)[2], 0.0f);
    EXPECT_FLOAT_EQ(F(kBatch + 2)[0], 1.0f);   // a move leaves the normal

    EXPECT_FLOAT_EQ(F(kBatch + 4)[0], 0.5f);
    EXPECT_FLOAT_EQ(F(kBatch + 4)[1], 3.0f);
    EXPECT_EQ(vu.I(kBatch + 4)[3], 0x43808000u);
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(F(kBatch + 6)[0], h, 1e-6f);   // (1, 0) and (0, 1) blended, unit length
    EXPECT_NEAR(F(kBatch + 6)[1], h, 1e-6f);

    EXPECT_FLOAT_EQ(F(kBatch + 8)[0], 3.0f);
    EXPECT_FLOAT_EQ(F(kBatch + 8)[1], 4.0f);
    EXPECT_FLOAT_EQ(F(kBatch + 10)[2], 1.0f);
}

TEST_F(SkinStep, PaletteNumberReachingTheInputIsLeftOutAndReportedOnce)
{
    Put(4, TransMatrix(0, 5, 0));
    // Matrix 60 would be read from 240 .. 243, past the batch at 200.
    std::vector<u128> verts;
    for (int i = 0; i < 2; ++i) {
        verts.push_back(tools::FloatQuad(1, 2, 3, 256));
        verts.push_back(tools::FloatQuad(0, 0, 0, 0));
        verts.push_back(tools::FloatQuad(0, 1, 0, 0));
        verts.push_back(Weights(0.25f, 0.75f, 1, 60));
    }
    Run(verts, 2);
    Run(verts, 2);
    // Only matrix 1's share is applied.
    EXPECT_FLOAT_EQ(F(kBatch)[1], 0.25f * 7.0f);
    EXPECT_PRINTED_IN_FRESH_RUN("reaches past the palette", 1);
}

// ---------------------------------------------------------------------------
// The arm

class SkinnedArm : public SceneTest
{
protected:
    LoadedFile* file = nullptr;
    Object* arm = nullptr;
    Object* bone1 = nullptr;
    Object* bone2 = nullptr;

    void SetUp() override
    {
        SceneTest::SetUp();
        file = new LoadedFile(tools::SampleArmFile());
        arm = file->mf.GetHierarchy(tools::kArmRootNode, sizeof(Object), 0);
        ASSERT_NE(arm, nullptr);
        bone1 = arm->FindSubObject(tools::kArmBone1Id);
        bone2 = arm->FindSubObject(tools::kArmBone2Id);
        ASSERT_NE(bone1, nullptr);
        ASSERT_NE(bone2, nullptr);
        ASSERT_EQ(bone1->type, OBJT_BONE);
        arm->mat = Placed(VectorPos(-0.3f, 0.4f, 5), VectorXYZ(0.45f, 0.35f, 0));
        rc.SetDirectionalLights(VectorDir(0.3f, 0.8f, 0.5f), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                                Vector(0.8f, 0.75f, 0.65f, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                                Vector(0.45f, 0.45f, 0.5f, 1));
    }
    void TearDown() override
    {
        if (arm != nullptr)
            arm->Delete();
        delete file;
        SceneTest::TearDown();
    }
    // Turns bone 2 about its own z axis (the bone's matrix set directly).
    void Bend(float angle)
    {
        bone2->mat = Placed(VectorPos(2, 0, 0), VectorXYZ(0, 0, angle));
    }
    // Screen pixel of a point given in bone 2's frame.
    std::pair<int, int> OnScreen(const Matrix& frame, VectorPos p) const
    {
        const Vector w = (frame * arm->mat) * Vector(p, 1.0f);
        return {int(128.0f + 128.0f * w[0] / w[2]), int(64.0f + 128.0f * w[1] / w[2])};
    }
    Matrix Bone2Frame() const { return bone2->mat * bone1->mat; }
};

TEST_F(SkinnedArm, ArmBendsAsItsBoneTurns)
{
    Frame([&] { Draw(rc, arm, arm->mat); });
    const std::vector<u32> rest = scene.Picture();
    const auto restTip = OnScreen(Bone2Frame(), VectorPos(1.8f, 0, 0));
    const auto restRoot = OnScreen(bone1->mat, VectorPos(0.3f, 0, 0));
    EXPECT_NE(Pixel(restTip.first, restTip.second), kBackground);

    Bend(-0.9f);
    Frame([&] { Draw(rc, arm, arm->mat); });
    const auto bentTip = OnScreen(Bone2Frame(), VectorPos(1.8f, 0, 0));
    ASSERT_GT(std::abs(bentTip.second - restTip.second), 10);
    // The free end has moved with the bone; the end on bone 1 has not.
    EXPECT_NE(Pixel(bentTip.first, bentTip.second), kBackground);
    EXPECT_EQ(Pixel(restTip.first, restTip.second), kBackground);
    EXPECT_EQ(Pixel(restRoot.first, restRoot.second), rest[size_t(restRoot.second) * kW + size_t(restRoot.first)]);
    scene.ExpectGolden("skin_arm_bent");
}

TEST_F(SkinnedArm, PaletteHoldsEachBonesPoseAgainstItsRestPose)
{
    Bend(0.6f);
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    Draw(rc, arm, arm->mat);
    therenderer.EndScene();
    ASSERT_NE(therenderer.matpalette, nullptr);
    EXPECT_EQ(therenderer.nmats, 0);   // cleared after the model
    const Matrix* palette = reinterpret_cast<const Matrix*>(therenderer.matpalette);
    const Matrix want[3] = {Matrix(true), static_cast<BoneObject*>(bone1)->invinitmat * bone1->mat,
                            static_cast<BoneObject*>(bone2)->invinitmat * Bone2Frame()};
    for (int i = 0; i < 3; ++i)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(palette[i][r][c], want[i][r][c], 1e-5f) << i << " " << r << " " << c;
    // Bone 1 has not moved: its entry is the identity.
    EXPECT_NEAR(palette[1][0][0], 1.0f, 1e-5f);
    EXPECT_NEAR(palette[1][3][0], 0.0f, 1e-5f);
    // Bone 2's entry turns about the joint, which stays where it was.
    const Vector joint = palette[2] * Vector(0, 0, 0, 1);
    EXPECT_NEAR(joint[0], 0.0f, 1e-5f);
    EXPECT_NEAR(joint[1], 0.0f, 1e-5f);
}

TEST_F(SkinnedArm, ObjectCarriedByABoneMovesWithIt)
{
    LoadedFile cubes(tools::SampleCubeFile());
    Object* box = new Object();
    ASSERT_NE(box, nullptr);
    box->geom = new GEOMETRY(&cubes.mf, 1);
    box->mdlfile = &cubes.mf;
    box->mat = Placed(VectorPos(1.5f, 0, 0));
    box->mat.PreScale(VectorXYZ(0.4f, 0.4f, 0.4f));
    static_cast<Object*>(bone2)->Attach(box);
    Bend(-0.9f);
    Frame([&] { Draw(rc, arm, arm->mat); });
    const auto at = OnScreen(Bone2Frame(), VectorPos(1.5f, 0, 0));
    EXPECT_EQ(Pixel(at.first, at.second), 0x804D738Cu);   // the cube's plain colour
    // Where the cube would be had the bone not turned, there is no cube.
    const auto still = OnScreen(Placed(VectorPos(2, 0, 0)) * bone1->mat, VectorPos(1.5f, 0, 0));
    EXPECT_NE(Pixel(still.first, still.second), 0x804D738Cu);
    box->Detach();
    box->Delete();
}

// Bones made by code under a parent: identity rest and pose.
Object* NewBone(Object* parent)
{
    void* p = Object::operator new(sizeof(BoneObject));
    BoneObject* b = new (p) BoneObject();
    b->type = OBJT_BONE;
    b->mat = Matrix(true);
    b->invinitmat = Matrix(true);
    parent->Attach(b);
    return b;
}

TEST_F(SkinnedArm, PaletteAndBoneWalkAreBoundedAndReportedOnce)
{
    // 140 more bones beside the arm's: the palette keeps 128 matrices.
    for (int i = 0; i < 140; ++i)
        NewBone(arm);
    // A chain 40 deep whose every bone has a later sibling waiting.
    Object* at = NewBone(arm);
    for (int i = 0; i < 40; ++i) {
        Object* next = NewBone(at);
        NewBone(at);
        at = next;
    }
    for (int frame = 0; frame < 2; ++frame)
        Frame([&] { Draw(rc, arm, arm->mat); });
    EXPECT_PRINTED_IN_FRESH_RUN("more bones than its palette of 128", 1);
    EXPECT_PRINTED_IN_FRESH_RUN("deeper than 32 pending siblings", 1);
    // The arm's own bones are the first two entries: it is still drawn (in
    // part: with a palette of 128 matrices VU1 holds batches of 27 vertices
    // of its 48).
    EXPECT_GT(scene.Covered(), 300);
}

}  // namespace
