// Rig characters drawn through the whole stand-in: a walk seen from the side
// at four moments of its cycle, and the rig's right arm aiming a gun.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZevEngine2/PS2/modeldraw_support.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/motion.h"

#include "ZevEngine2/AnimFile.h"
#include "game/Guy.h"
#include "game/Limbs.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

using namespace modeldraw;

// The figure drawn 1.8 units high (5.76 m), the size these cameras frame.
tools::HumanoidLook TallLook()
{
    tools::HumanoidLook look;
    look.height = 1.8f / tools::kHumanoidUnitsPerMetre;
    return look;
}

class RigPicture : public SceneTest
{
protected:
    LoadedFile rig{tools::HumanoidFile(TallLook())};
    std::vector<u8> aniBytes;
    void* aniBlock = nullptr;
    AnimGroup* group = nullptr;
    std::vector<Object*> stands;

    void SetUp() override
    {
        SceneTest::SetUp();
        tools::AnimGroupFiles files;
        std::string error;
        ASSERT_TRUE(tools::BuildAnimGroup(
            {{0, tools::kMotionWalk, {0.02f, 1.0f, false}, 32, true, {}, {{0, 0}}},
             {1, tools::kMotionIdle, {}, 60, true, {}, {{0, 0}}}},
            2, TallLook(), files, error))
            << error;
        aniBlock = malloc_align(u32(files.ani.size()) + 64, 64);
        std::memcpy(aniBlock, files.ani.data(), files.ani.size());
        group = static_cast<AnimGroup*>(aniBlock);
        group->FixUp();
    }
    void TearDown() override
    {
        for (Object* s : stands)
            s->Delete();
        free(aniBlock);
        SceneTest::TearDown();
    }

    // A rig character on a stand at pos turned by yaw, playing clip `clip`
    // at `frame` of its clock.
    Guy* Figure(VectorPos pos, float yaw, int clip, float frame)
    {
        Object* stand = new Object;
        stand->mat = RotY(yaw);
        stand->SetPos(pos);
        Guy* g = new Guy;
        rig.mf.GetHierarchyTo(g, 0, 0);
        g->mat = Matrix(true);
        stand->Attach(g);
        g->AllocBlendAnimHierarchy(0x80);
        g->SetAnim(u16(clip), group->pChars[clip], 0);
        g->frame = frame;
        g->AnimateHierarchy(0.0f);
        stands.push_back(stand);
        return g;
    }

    void DrawAll()
    {
        Frame([&] {
            for (Object* s : stands)
                ::Draw(rc, s, s->GetWorldMatrix());
        });
    }
};

}  // namespace

TEST_F(RigPicture, WalkCycleFromTheSideMatchesTheGoldenStrip)
{
    const float xs[4] = {-1.5f, -0.5f, 0.5f, 1.5f};
    for (int i = 0; i < 4; i++)
        Figure(VectorPos(xs[i], 0.9f, 3.2f), 1.5707964f, 0, 8.0f * float(i));
    DrawAll();
    EXPECT_GT(scene.Covered(), 2500);
    scene.ExpectGolden("rig_walk_strip");
}

TEST_F(RigPicture, AimingRightArmMatchesTheGoldenPicture)
{
    Guy* g = Figure(VectorPos(0.0f, 0.9f, 3.5f), 2.6f, 1, 0.0f);
    GunArm arm{};
    arm.upperarm = g->FindSubObject(3);
    arm.hand = g->FindSubObject(1);
    arm.lowerarm = arm.hand->parent;
    arm.gun = nullptr;
    arm.weapon = gWeapons[WEAP_BLANK];
    arm.ikupperarmmat = Matrix(Vector(0, 0, 1, 0), Vector(0, 1, 0, 0), Vector(-1, 0, 0, 0), Vector(0, 0, 0, 1));
    arm.ikhandmat = Matrix(Vector(-1, 0, 0, 0), Vector(0, -1, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1));
    arm.primarywristdir = VectorDir(0, -1, 0);
    arm.aimupperarmdir = VectorPos(-0.8f, -0.6f, 0);
    arm.aimhanddist = 0.0015625f;
    arm.indirectaimhanddist = 0.015625f;
    arm.torsobox = Cuboid(VectorPos(0, 0, 0), VectorPos(0, 0, 0));
    // A point off to the figure's right and a little up, toward the camera.
    const VectorPos target(-1.5f, -0.2f, 0.0f);
    int frames = 0;
    while (!arm.AimAt(target) && frames < 10)
        frames++;
    EXPECT_EQ(frames, 4);
    g->AnimateHierarchy(0.0f);
    DrawAll();
    scene.ExpectGolden("rig_aiming_arm");
}

TEST_F(RigPicture, CarDoorSwingsOpenAlongItsCurve)
{
    // Four left doors, each on a car at its own moment of the get-in
    // opening: before the swing, a third and two thirds through it, and
    // after it (70 degrees).
    tools::P2BFile doorFile;
    doorFile.models.push_back(tools::BoxModel(0.05f, 0.4f, 0.5f, TEXID_NONE, false, Colour(200, 180, 60, 128)));
    doorFile.AddNode(-1, tools::MakeNode(0));
    LoadedFile door(doorFile);
    const float xs[4] = {-1.5f, -0.5f, 0.5f, 1.5f};
    const float times[4] = {0.0f, 19.67f, 27.33f, 40.0f};
    Guy guy;
    for (int i = 0; i < 4; i++) {
        Vehicle* car = new Vehicle;
        car->SetPos(VectorPos(xs[i], 0.0f, 4.0f));
        Object* d = door.mf.GetHierarchy(0, sizeof(Object), 0);
        d->id = 16;
        d->mat = Matrix(true);
        car->Attach(d);
        guy.SetMode2(CARTRANS_OPENIN_L);
        guy.firstanimframe = 0.0f;
        guy.frame = times[i];
        guy.UpdateCarTransitionFront(car);
        stands.push_back(car);
    }
    const float deg = 3.1415927f / 180.0f;
    Object* last = stands[3]->FindSubObject(16);
    EXPECT_NEAR(ArcTan2(last->mat.z[0], last->mat.z[2]), 70.0f * deg, 2e-3f);
    DrawAll();
    scene.ExpectGolden("car_door_swing");
}
