// The gun gauges: what the player reports of his guns (a recording double
// answers the HUD's query) turned into one or two gauges that fade, slide,
// cross and leave.
#include <gtest/gtest.h>

#include "game/hud_support.h"

#include "game/controller_support.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/QuadTree.h"

namespace {

// The player as the HUD sees him: he answers the gun query from `guns` and
// counts the queries.
sDaceGunInfo guns{};
int queries = 0;

int PlayerDouble(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL)
        return 0;
    const SpecialMessage* m = static_cast<const SpecialMessage*>(data);
    if (m->submsg == SMSG_Q_HUD_PLAYER) {
        queries++;
        *static_cast<sDaceGunInfo*>(m->param[0].p) = guns;
    }
    return 0;
}

class HudGuns : public ::testing::Test
{
protected:
    Object player, pistol, shotgun, pistol2;
    MapDisplay md;
    hudtest::Packet pk;

    void SetUp() override
    {
        hudtest::SetUpScreen();
        hudtest::PinTextures(true);
        gametest::Controller()->bHUDOn = true;
        g_pgcTest->bInterior = true;
        player.messagehandler = PlayerDouble;
        md.Reset(&player, nullptr);
        md.flags = 0;
        gunGauges = HUD_GunGauges{};
        guns = sDaceGunInfo{};
        queries = 0;
        world.time = 500;
    }
    void TearDown() override
    {
        hudtest::PinTextures(false);
        gunGauges = HUD_GunGauges{};
        md.Reset(nullptr, nullptr);
        world.time = 0;
    }
    void Hold(int hand, int type, int ammo, Object* gun)
    {
        guns.gunType[hand] = u16(type);
        guns.curAmmo[hand] = u16(ammo);
        guns.maxAmmo[hand] = 32;
        guns.bAreActive[hand] = gun != nullptr;
        guns.gun[hand] = gun;
    }
    void Frames(int n)
    {
        for (int i = 0; i < n; i++) {
            world.time++;
            md.DrawHUD(pk.r);
            pk.Take();
        }
    }
    const HUD_GunGauges::Gauge& G(int i) { return gunGauges.gauges[i]; }
};

}  // namespace

TEST_F(HudGuns, ASecondGunSlidesTheFirstGaugeAsideWhileTheOtherFadesIn)
{
    Hold(0, 0, 12, &pistol);
    Frames(1);
    EXPECT_EQ(queries, 1);
    ASSERT_EQ(gunGauges.num, 1);
    Frames(30);
    EXPECT_EQ(G(0).curAlpha, 128);   // alone at full strength

    // A shotgun in the second hand: gauge 1 slides from A to B in 30 frames.
    Hold(1, 7, 6, &shotgun);
    Frames(1);
    ASSERT_EQ(gunGauges.num, 2);
    EXPECT_EQ(G(1).gun, &shotgun);
    EXPECT_EQ(G(1).flags & 8, 8);
    Frames(15);   // 15 frames in: half-way, straight
    EXPECT_EQ(G(1).curPos.x, 88);
    EXPECT_EQ(G(1).curPos.y, 24);
    Frames(15);
    EXPECT_EQ(G(1).curPos.x, 96);
    EXPECT_EQ(G(1).flags & 8, 0);
    EXPECT_EQ(G(1).curAlpha, 128);   // not the player's own: full strength
    EXPECT_EQ(G(0).curAlpha, 64);    // the own pistol, one of two

    // Swapped hands: the gauges cross, arcing up and down by 20 at mid-way.
    Hold(0, 7, 6, &shotgun);
    Hold(1, 0, 12, &pistol);
    Frames(1);
    Frames(15);
    EXPECT_EQ(G(0).curPos.x, 88);
    EXPECT_EQ(G(0).curPos.y, 4);
    EXPECT_EQ(G(1).curPos.y, 44);
    Frames(15);
    EXPECT_EQ(G(0).curPos.x, 80);
    EXPECT_EQ(G(1).curPos.x, 96);

    // Back to one gun: the second gauge grows to five times its size and
    // fades out over 30 frames, then drops out.
    Hold(1, 0, 0, nullptr);
    Frames(1);
    EXPECT_EQ(G(1).flags & 16, 16);
    Frames(15);
    EXPECT_NEAR(G(1).curScale, 1.0f + 4.0f * 15.0f / 30.0f, 1e-5f);
    EXPECT_EQ(G(1).curAlpha, 32);   // from 64 (own) to 0
    Frames(15);
    EXPECT_EQ(gunGauges.num, 1);
    EXPECT_EQ(G(1).curScale, 5.0f);
}

TEST_F(HudGuns, TwoOwnPistolsShowOneGaugeWithTheirAmmunitionSummed)
{
    Hold(0, 1, 10, &pistol);
    Hold(1, 2, 7, &pistol2);
    Frames(31);
    ASSERT_EQ(gunGauges.num, 1);
    EXPECT_EQ(G(0).curAmmo, 17);
    EXPECT_EQ(G(0).curAlpha, 128);
    // Without any gun the gauges go at once.
    Hold(0, 0, 0, nullptr);
    Hold(1, 0, 0, nullptr);
    Frames(1);
    EXPECT_EQ(gunGauges.num, 0);
    // A player who does not answer leaves the gauges as they are.
    player.messagehandler = nullptr;
    Frames(1);
    EXPECT_EQ(queries, 32);
}
