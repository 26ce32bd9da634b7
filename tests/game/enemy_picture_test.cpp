// A shooter made by name, seen from where the player stands after he has
// spotted him, turned to him and raised his gun: a golden picture.
#include <gtest/gtest.h>

#include "enemy_support.h"

#include "ZevEngine2/PS2/modeldraw_support.h"

namespace {

class ShooterPicture : public modeldraw::SceneTest
{
};

}  // namespace

TEST_F(ShooterPicture, ShooterTurnedToThePlayerWithHisGunRaised)
{
    enemyrig::Scene s;
    srand(21);
    // Placed for the figure's 0.5625 height: the camera at the origin sees his
    // whole body.
    s.player->mat.SetTrans(VectorPos(0.0f, 0.28125f, 0.0f));
    Enemy* e = s.Shooter(VectorPos(0.15625f, 0.28125f, 0.75f));
    ASSERT_NE(e, nullptr);
    e->behavior = Enemy::STATIONARY;
    // Until his first shot, and a few frames of the arm coming up after it.
    int ticks = 0;
    while (enemyrig::heard.shotAt == 0 && ticks < 400) {
        s.Ticks(1);
        ticks++;
    }
    EXPECT_GT(enemyrig::heard.shotAt, 0);
    s.Ticks(8);
    EXPECT_TRUE(e->targetspotted);
    EXPECT_EQ(e->mode, 24);
    ASSERT_NE(e->rightgunarm.gun, nullptr);
    Frame([&] { ::Draw(rc, e, e->GetWorldMatrix()); });
    EXPECT_GT(scene.Covered(), 1500);
    scene.ExpectGolden("shooter_facing_player");
}
