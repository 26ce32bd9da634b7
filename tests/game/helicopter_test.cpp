// The gunship: following the player on its ring, the heights it holds, its
// speed limit, its strength and rotors, and its two gunners.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/game/enemy_support.h"
#include "tests/game/explode_support.h"

#include "tools/lib/p2b.h"

#include "game/BadGuyAnims.h"
#include "game/Helicopter.h"

namespace {

constexpr int kSlot = 128;

class Chopper : public ::testing::Test
{
protected:
    // A helicopter at pos, its velocity zero, its rotors sub-objects 0 and 1
    // unless left out.
    Helicopter* Make(VectorPos pos, bool rotors = true)
    {
        auto* h = reinterpret_cast<Helicopter*>(Helicopter::staticmh(nullptr, OM_CREATE, nullptr));
        h->mat = Matrix(true);
        h->mat.SetTrans(pos);
        if (rotors)
            for (int id : {0, 1}) {
                auto* r = new Object;
                r->id = s16(id);
                r->mat = Matrix(true);
                r->mat.SetTrans(VectorPos(0.0f, -0.5f, float(id)));
                h->Attach(r);
            }
        world.AddObject(h, nullptr);
        return h;
    }
    int Hit(Helicopter* h)
    {
        SpecialMessage m(SMSG_BULLET_HIT, nullptr);
        return h->SendMessage(OM_SPECIAL, &m);
    }

    enemyrig::Scene scene;
};

TEST_F(Chopper, OnItsRingOnlyDampingActsAcrossAndItsClimbIsBounded)
{
    Helicopter* h = Make(VectorPos(6.25f, -5.0f, 0.0f));
    EXPECT_EQ(h->mode, Helicopter::HM_FOLLOWING);
    EXPECT_EQ(h->flags & 0x10020u, 0x10020u);
    EXPECT_EQ(h->fStrength, 100.0f);
    h->vdVel[0] = 0.1f;
    h->SendMessage(OM_FRAME, nullptr);
    // Across: 0.1 less an eighth; no pull toward the ring it sits on.
    EXPECT_FLOAT_EQ(h->vdVel[0], 0.0875f);
    EXPECT_FLOAT_EQ(h->vdVel[2], 0.0f);
    // Down is positive: the wanted height -0.9375 lies 4.0625 above; the
    // goal is bound to 0.625 and pulls at 0.0125.
    EXPECT_FLOAT_EQ(h->vdVel[1], 0.625f * 0.0125f);
    EXPECT_NEAR(h->mat.GetTrans()[1], -5.0f + 0.0078125f, 1e-6f);
    // It faces the player.
    const VectorPos p = h->mat.GetTrans();
    const Matrix look = LookatMatrix(p, scene.player->GetWorldPos());
    EXPECT_NEAR(h->mat.z[0], look.z[0], 1e-5f);
    EXPECT_NEAR(h->mat.z[2], look.z[2], 1e-5f);
}

TEST_F(Chopper, ItHoldsAboveTheRoofOrTheGroundUnlessNearAHoverSpot)
{
    // Its hover spots come from the placeholders -600 and -601 (the third
    // is missing), raised by their own offsets.
    Object spots[2];
    for (int i = 0; i < 2; i++) {
        spots[i].id = s16(-600 - i);
        spots[i].mat = Matrix(true);
        spots[i].mat.SetTrans(VectorPos(50.0f + 10.0f * i, -2.0f, 0.0f));
        world.placeholderlist.AddTail(&spots[i]);
    }
    Helicopter* h = Make(VectorPos(20.0f, -4.0f, 0.0f));
    for (int i = 0; i < 2; i++)
        world.placeholderlist.Remove(&spots[i]);
    EXPECT_FLOAT_EQ(h->rvpPHLocs[0][1], -2.0f - 1.09375f);
    EXPECT_FLOAT_EQ(h->rvpPHLocs[1][1], -2.0f - 0.46875f);
    EXPECT_FLOAT_EQ(h->rvpPHLocs[1][0], 60.0f);
    EXPECT_FLOAT_EQ(h->rvpPHLocs[2][0], 0.0f);
    // Over flat ground at 0 with the player on it.
    EXPECT_FLOAT_EQ(h->GetDesiredHeight(), -0.9375f);
    // The player on a roof 3 up.
    scene.player->mat.SetTrans(VectorPos(0.0f, -3.0f, 0.0f));
    EXPECT_FLOAT_EQ(h->GetDesiredHeight(), -3.9375f);
    // A spot 9.9 away wins, even below the ground; one 10.1 away does not.
    h->rvpPHLocs[2] = VectorPos(20.0f, 2.0f, 9.9f);
    EXPECT_FLOAT_EQ(h->GetDesiredHeight(), 2.0f);
    h->rvpPHLocs[2] = VectorPos(20.0f, 2.0f, 10.1f);
    EXPECT_FLOAT_EQ(h->GetDesiredHeight(), -3.9375f);
}

TEST_F(Chopper, FromAfarItNeverFliesFasterThanItsLimit)
{
    Helicopter* h = Make(VectorPos(200.0f, -40.0f, 150.0f));
    float fastest = 0.0f;
    for (int i = 0; i < 300; i++) {
        h->SendMessage(OM_FRAME, nullptr);
        fastest = std::max(fastest, std::sqrt(h->vdVel.LengthSq()));
    }
    EXPECT_LE(fastest, 0.232833f + 1e-5f);
    EXPECT_GT(fastest, 0.232f);
}

// Made at the player's own spot (as the escape makes it) it has no way
// toward him to fly along: it backs away to its ring, 6.25 from him.
TEST_F(Chopper, MadeRightOverThePlayerItBacksAwayToItsRing)
{
    const VectorPos player = scene.player->GetWorldPos();
    Helicopter* h = Make(VectorPos(player[0], player[1] - 1.0f, player[2]));
    for (int i = 0; i < 600; i++)
        h->SendMessage(OM_FRAME, nullptr);
    const VectorPos p = h->mat.GetTrans();
    ASSERT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    EXPECT_NEAR(std::hypot(p[0] - player[0], p[2] - player[2]), 6.25f, 0.05f);
}

TEST_F(Chopper, TwentyHitsStopItWhileItsRotorsTurnOn)
{
    Helicopter* h = Make(VectorPos(10.0f, -3.0f, 0.0f));
    ASSERT_NE(h->pobjMainBlade, nullptr);
    ASSERT_NE(h->pobjTailBlade, nullptr);
    for (int i = 0; i < 19; i++)
        EXPECT_EQ(Hit(h), -1);
    EXPECT_EQ(h->mode, Helicopter::HM_FOLLOWING);
    EXPECT_EQ(Hit(h), -1);
    EXPECT_EQ(h->mode, Helicopter::HM_DOWNED);
    EXPECT_EQ(h->fStrength, 0.0f);
    EXPECT_EQ(Hit(h), 0);
    // Downed: still, but the rotors still turn 24 degrees a frame.
    const VectorPos before = h->mat.GetTrans();
    const float main = h->fMainBladeAng;
    h->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(h->mat.GetTrans()[0], before[0]);
    EXPECT_EQ(h->mat.GetTrans()[1], before[1]);
    EXPECT_NEAR(h->fMainBladeAng, FixAng(main + 0.418879f), 1e-6f);
    const Matrix spun = RotY(h->fMainBladeAng);
    EXPECT_FLOAT_EQ(h->pobjMainBlade->mat.x[0], spun.x[0]);
    EXPECT_FLOAT_EQ(h->pobjMainBlade->mat.x[2], spun.x[2]);
    EXPECT_FLOAT_EQ(h->pobjMainBlade->mat.GetTrans()[1], -0.5f);
    const Matrix tail = RotX(h->fTailBladeAng);
    EXPECT_FLOAT_EQ(h->pobjTailBlade->mat.y[1], tail.y[1]);
    EXPECT_FLOAT_EQ(h->pobjTailBlade->mat.GetTrans()[2], 1.0f);
    // Invulnerable at 1000: a hit answers 0 and takes nothing.
    h->fStrength = 1000.0f;
    EXPECT_EQ(Hit(h), 0);
    EXPECT_EQ(h->fStrength, 1000.0f);
    // Where a gun aims at it.
    VectorPos aim(1.0f, 1.0f, 1.0f);
    SpecialMessage q(SMSG_Q_RETICLE_POS, nullptr, &aim);
    EXPECT_EQ(h->SendMessage(OM_SPECIAL, &q), 1);
    EXPECT_EQ(aim[1], -0.78125f);
    EXPECT_EQ(aim[0], 0.0f);
}

TEST_F(Chopper, WithoutRotorsOnlyTheirMatricesAreSkipped)
{
    Helicopter* h = Make(VectorPos(10.0f, -3.0f, 0.0f), false);
    EXPECT_EQ(h->pobjMainBlade, nullptr);
    h->SendMessage(OM_FRAME, nullptr);
    EXPECT_NEAR(h->fTailBladeAng, 0.418879f, 1e-6f);
    EXPECT_NE(h->vdVel[1], 0.0f);
}

// The gunners sit at nodes 0x8000 and 0x8001 of its model, shooting at the
// player; a model without the seats leaves them where they stand.
TEST_F(Chopper, GunnersTakeTheirSeatsAndAimAtThePlayer)
{
    tools::P2BFile f;
    f.models = {explodetest::BareModel(1.0f)};
    f.AddNode(-1, tools::MakeNode(0));
    f.AddNode(0, tools::MakeNode(0x8000, VectorPos(-0.5f, 0.25f, 0.0f)));
    f.AddNode(0, tools::MakeNode(0x8001, VectorPos(0.5f, 0.25f, 0.0f)));
    explodetest::SlotFile file(kSlot, f);
    Object* o = g_pgcTest->CreateObjectAt(kSlot, -213, &Helicopter_mh);
    ASSERT_NE(o, nullptr);
    Enemy* g0 = scene.Shooter(VectorPos(3.0f, 0.0f, 0.0f), WEAP_PISTOL_RUGER, -101);
    Enemy* g1 = scene.Shooter(VectorPos(4.0f, 0.0f, 0.0f), WEAP_PISTOL_RUGER, -102);
    ASSERT_NE(g0, nullptr);
    ASSERT_NE(g1, nullptr);
    EXPECT_EQ(AttachEnemyToHelicopter(g0, o, 0, false), 0);
    EXPECT_EQ(AttachEnemyToHelicopter(g1, o, 1, true), 0);
    for (Enemy* g : {g0, g1}) {
        EXPECT_EQ(g->parent, o);
        EXPECT_EQ(g->behavior, Enemy::STATIONARY_COPTER);
        EXPECT_EQ(g->target.p, static_cast<Object*>(scene.player));
        EXPECT_TRUE(g->targetspotted);
    }
    EXPECT_FLOAT_EQ(g0->mat.GetTrans()[0], -0.5f);
    EXPECT_FLOAT_EQ(g1->mat.GetTrans()[0], 0.5f);

    // Without the seats.
    Helicopter* bare = Make(VectorPos(0.0f, -3.0f, 0.0f));
    Enemy* g2 = scene.Shooter(VectorPos(5.0f, 0.0f, 0.0f), WEAP_PISTOL_RUGER, -103);
    ASSERT_NE(g2, nullptr);
    Object* home = g2->parent;
    EXPECT_EQ(AttachEnemyToHelicopter(g2, bare, 0, false), 0);
    EXPECT_EQ(g2->parent, home);
    EXPECT_EQ(g2->behavior, Enemy::STATIONARY_COPTER);
}

}  // namespace
