// Three pedestrians of three sets (a hobo, a senior and a young woman) a
// second into their walks side by side, seen from the pavement ahead of
// them: a golden picture.
#include <gtest/gtest.h>

#include "bystander_support.h"

#include "ZevEngine2/PS2/modeldraw_support.h"

namespace {

class PedPicture : public modeldraw::SceneTest
{
};

}  // namespace

TEST_F(PedPicture, AHoboASeniorAndAWomanWalkingTowardTheCamera)
{
    enemyrig::Scene s;
    pedrig::AddPedGroups(s);
    srand(39);
    world.time = 500;
    dace = nullptr;   // nobody to look at or react to
    Bystander* peds[3];
    const int chars[3] = {94, 116, 68};
    for (int i = 0; i < 3; i++) {
        peds[i] = pedrig::MakePed(chars[i], VectorPos(-0.28125f + 0.28125f * float(i), 0.28125f, 2.25f));
        Bystander* b = peds[i];
        b->mat = LookAlong(VectorDir(0.0f, 0.0f, -1.0f));
        b->mat.SetTrans(VectorPos(-0.28125f + 0.28125f * float(i), 0.28125f, 2.25f));
        b->fScale = 1.0f;
        b->walkanimspeed = 1.0f;
        // A straight walk toward the camera, no street under it.
        b->path = Bezier(Vector(b->mat.GetTrans(), 1.0f), Vector(b->mat.GetTrans(), 1.0f) - Vector(0, 0, 1, 0),
                         Vector(b->mat.GetTrans(), 1.0f) - Vector(0, 0, 2, 0),
                         Vector(b->mat.GetTrans(), 1.0f) - Vector(0, 0, 3, 0));
        b->endpath = false;
        b->action = Bystander::Action_WalkOnSidewalk;
    }
    EXPECT_EQ(peds[0]->pedanimbank, 20);
    EXPECT_EQ(peds[1]->pedanimbank, 21);
    EXPECT_EQ(peds[2]->pedanimbank, 18);
    for (int f = 0; f < 60; f++) {
        world.time++;
        for (Bystander* b : peds) {
            b->iLastDrawnTime = world.time;
            b->SendMessage(OM_FRAME, nullptr);
        }
    }
    // The hobo shuffles, the senior is slowest, the woman fastest.
    EXPECT_LT(peds[1]->mat.GetTrans()[2], 2.25f);
    EXPECT_GT(peds[1]->mat.GetTrans()[2], peds[0]->mat.GetTrans()[2]);
    EXPECT_GT(peds[0]->mat.GetTrans()[2], peds[2]->mat.GetTrans()[2]);
    Frame([&] {
        for (Bystander* b : peds)
            ::Draw(rc, b, b->GetWorldMatrix());
    });
    EXPECT_GT(scene.Covered(), 1500);
    scene.ExpectGolden("pedestrians_walking");
    world.Clear();
    pedrig::RemovePedGroups();
}
