// The fist fight's HUD: the knockdown and finishing meters read back from
// the 2-D packets they write, the HUD asking a real fighter for its hits,
// the enemies' strength list with its slides and the target car; and one
// golden picture of the meters and the list.
#include <gtest/gtest.h>

#include "enemy_support.h"
#include "game/hud_support.h"

#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

using hudtest::Prim;

namespace {

std::array<float, 2> XY(float x, float y)
{
    return {x, y};
}

// Sprites whose texture rectangle starts at (u, v).
std::vector<Prim> At(const std::vector<Prim>& all, float u, float v)
{
    std::vector<Prim> out;
    for (const Prim& p : all)
        if (!p.uv.empty() && p.uv[0] == XY(u, v))
            out.push_back(p);
    return out;
}

class HudCombat : public ::testing::Test
{
protected:
    hudtest::Packet pk;

    void SetUp() override
    {
        hudtest::SetUpScreen();
        hudtest::PinTextures(true);
        ScreenPoint::SetSafeZone(0, 0);
        world.time = 500;
    }
    void TearDown() override
    {
        hudtest::PinTextures(false);
        world.time = 0;
    }
};

// Finishing icon records: shown, with move types.
void Shown(FadeDispInfo* icons, std::initializer_list<int> types)
{
    int i = 0;
    for (int t : types)
        icons[i++] = FadeDispInfo{4, 0, t, 0};
}

}  // namespace

TEST_F(HudCombat, KnockdownSegmentsStandFromMinus92AndGoOutWithAFlash)
{
    FadeDispInfo icons[5]{};
    FadeDispInfo fade{FDI_STEADY, world.time, 0, 0};
    // At full size the first segment is 92 from the right edge whatever the
    // count; the row runs leftward at a pitch of 8, the lit ones first.
    for (int n : {3, 4}) {
        DispKnockdownMeter(pk.r, 2, n, fade, icons);
        const std::vector<Prim> p = pk.Take();
        ASSERT_EQ(p.size(), size_t(n));
        EXPECT_EQ(p[0].xy[0], XY(548.0f, 32.0f));
        EXPECT_EQ(p[0].xy[1], XY(560.0f, 50.0f));
        EXPECT_EQ(p[1].xy[0][0], 540.0f);
        EXPECT_EQ(p[size_t(n) - 1].xy[0][0], 548.0f - 8.0f * float(n - 1));
        EXPECT_EQ(p[1].uv[0], XY(64.0f, 232.0f));   // lit
        EXPECT_EQ(p[2].uv[0], XY(48.0f, 232.0f));   // dark
        EXPECT_EQ(p[0].colour, Colour(128, 128, 128, 128));
    }
    EXPECT_EQ(icons[1].flags, FDI_RISING);   // armed while lit
    EXPECT_EQ(icons[2].flags, 0u);

    // Without the shown bit nothing is drawn.
    for (u32 flags : {0u, 1u}) {
        FadeDispInfo hidden{flags, world.time, 0, 0};
        DispKnockdownMeter(pk.r, 2, 3, hidden, icons);
        EXPECT_TRUE(pk.Take().empty()) << flags;
    }
    // None lit: all dark and no record armed.
    FadeDispInfo none[5]{};
    DispKnockdownMeter(pk.r, 0, 3, fade, none);
    EXPECT_EQ(At(pk.Take(), 48.0f, 232.0f).size(), 3u);
    for (const FadeDispInfo& f : none)
        EXPECT_EQ(f.flags, 0u);

    // Segment 1 goes out: it flashes from lit to dark for 14 frames.
    int flashing = 0;
    for (int f = 1; f <= 20; f++) {
        world.time++;
        DispKnockdownMeter(pk.r, 1, 3, fade, icons);
        flashing += !At(pk.Take(), 80.0f, 232.0f).empty();
    }
    EXPECT_EQ(flashing, 14);
    EXPECT_EQ(icons[1].flags, 0u);
}

TEST_F(HudCombat, KnockdownRowPopsFadesAndBlinks)
{
    FadeDispInfo icons[5]{};
    // A pop at t = 6: twice the size, about the row's middle, alpha 102.
    FadeDispInfo pop{16, world.time - 6, 0, 0};
    DispKnockdownMeter(pk.r, 1, 3, pop, icons);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].xy[0], XY(552.0f, 23.0f));
    EXPECT_EQ(p[0].xy[1], XY(576.0f, 59.0f));
    EXPECT_EQ(p[1].xy[0][0], 536.0f);
    EXPECT_EQ(p[0].colour.a, 102);
    pop.iFadeTime = world.time - 30;
    DispKnockdownMeter(pk.r, 1, 3, pop, icons);
    EXPECT_TRUE(pk.Take().empty());
    EXPECT_EQ(pop.flags, 0u);

    // The fade-out: alpha 64 half-way through its 60 frames.
    FadeDispInfo out{FDI_FALLING, world.time - 30, 0, 0};
    DispKnockdownMeter(pk.r, 1, 3, out, icons);
    EXPECT_EQ(pk.Take()[0].colour.a, 64);

    // Knocked down (41): the flash overlay rises over 12 frames, then falls.
    FadeDispInfo blink{41, world.time - 6, 0, 0}, dark[5]{};
    DispKnockdownMeter(pk.r, 0, 2, blink, dark);
    p = At(pk.Take(), 80.0f, 232.0f);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].colour.a, 64);
    blink.iFadeTime = world.time - 12;
    DispKnockdownMeter(pk.r, 0, 2, blink, dark);
    EXPECT_EQ(At(pk.Take(), 80.0f, 232.0f)[0].colour.a, 128);
    EXPECT_EQ(blink.flags, 42u);
    EXPECT_EQ(blink.iFadeTime, world.time);
}

TEST_F(HudCombat, FinishingRowIsCentredAndPopsAboutTheStreak)
{
    FadeDispInfo row{}, icons[8]{}, streak{};
    // Three icons span 48 either side of the centre, 72 to 40 from the bottom.
    Shown(icons, {1, 2, 4});
    DispFinishingAttackInfo(pk.r, 3, row, icons, streak);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(row.flags, 4u);
    EXPECT_EQ(p[0].xy[0], XY(272.0f, 440.0f));
    EXPECT_EQ(p[2].xy[1], XY(368.0f, 472.0f));
    EXPECT_EQ(p[0].uv[0], XY(0.0f, 32.0f));   // punch
    EXPECT_EQ(p[1].uv[0], XY(0.0f, 0.0f));    // kick
    EXPECT_EQ(p[2].uv[0], XY(0.0f, 64.0f));   // high attack
    // Five span 80 either side; types 3 and 0 draw nothing but keep places.
    Shown(icons, {1, 3, 2, 0, 4});
    DispFinishingAttackInfo(pk.r, 5, row, icons, streak);
    p = pk.Take();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].xy[0][0], 240.0f);
    EXPECT_EQ(p[1].xy[0][0], 304.0f);
    EXPECT_EQ(p[2].xy[1][0], 400.0f);

    // A pop at t = 6 over a streak on moves 0 and 1 of three: icons of 96
    // pixels centred on 56 from the bottom, the streak's ends outside the
    // matched moves.
    Shown(icons, {1, 2, 4});
    row = FadeDispInfo{16, world.time - 6, 0, 0};
    streak = FadeDispInfo{4, 0, 0, 2};
    DispFinishingAttackInfo(pk.r, 3, row, icons, streak);
    p = pk.Take();
    ASSERT_EQ(p.size(), 7u);
    // (Sprites wider than 32 pixels go out in strips.)
    EXPECT_EQ(p[0].xy.back()[0] - p[0].xy[0][0], 96.0f);
    EXPECT_EQ(p[0].xy[0][1], 408.0f);
    EXPECT_EQ(p[0].xy.back()[1], 504.0f);
    // The matched pair's middle (16 left of the centre) stays put.
    EXPECT_EQ(p[0].xy[0][0], 304.0f - 96.0f);
    EXPECT_EQ(p[1].xy[0][0], 304.0f);
    EXPECT_EQ(p[0].colour.a, 76);
    EXPECT_EQ(p[3].xy[0][0], 304.0f - 192.0f);   // the left end, one place before
    EXPECT_EQ(p[4].uv[0], XY(0.0f, 192.0f));
    EXPECT_EQ(p[6].uv[0], XY(0.0f, 224.0f));     // the right end after the pair
    EXPECT_EQ(p[6].xy[0][0], 304.0f + 96.0f);
    // After 15 frames of pop every record is cleared.
    row.iFadeTime = world.time - 15;
    DispFinishingAttackInfo(pk.r, 3, row, icons, streak);
    EXPECT_TRUE(pk.Take().empty());
    EXPECT_EQ(row.flags, 0u);
    EXPECT_EQ(streak.flags, 0u);
    EXPECT_EQ(icons[0].flags, 0u);
}

TEST_F(HudCombat, AFinishingIconFlashesInThenStandsAndAFadedOneIsRemoved)
{
    FadeDispInfo row{}, icons[8]{}, streak{};
    icons[0] = FadeDispInfo{0x40, world.time, 2, 0};
    icons[1] = FadeDispInfo{2, world.time, 1, 0};
    std::vector<int> flash, alpha, gone;
    for (int f = 0; f <= 31; f++) {
        DispFinishingAttackInfo(pk.r, 2, row, icons, streak);
        const std::vector<Prim> all = pk.Take();
        const std::vector<Prim> kick = At(all, 0.0f, 0.0f), kickFlash = At(all, 0.0f, 96.0f);
        alpha.push_back(kick.empty() ? -1 : kick[0].colour.a);
        flash.push_back(kickFlash.empty() ? 0 : kickFlash[0].colour.a);
        gone.push_back(int(At(all, 0.0f, 32.0f).size()));
        world.time++;
    }
    // The kick's flash rises over 15 frames with the icon unseen, then the
    // icon shows under a falling flash for 15 more.
    EXPECT_EQ(alpha[0], 0);
    EXPECT_EQ(flash[5], 42);
    EXPECT_EQ(alpha[14], 0);
    EXPECT_EQ(alpha[15], 128);
    EXPECT_EQ(flash[15], 128);
    EXPECT_EQ(flash[20], 85);
    EXPECT_EQ(flash[30], 0);
    EXPECT_EQ(icons[0].flags, 4u);
    // The punch fades over 15 frames, then it is removed and not drawn.
    EXPECT_EQ(gone[14], 1);
    EXPECT_EQ(gone[15], 1);   // drawn at alpha 0 the frame it goes
    EXPECT_EQ(gone[16], 0);
    EXPECT_TRUE(icons[1].flags & 0x100u);
}

namespace {

// The HUD over the player of a fight scene and fighters made by name.
class HudFight : public HudCombat
{
protected:
    enemyrig::Scene s;
    MapDisplay md;

    void SetUp() override
    {
        HudCombat::SetUp();
        md.Reset(s.player, nullptr);
        s.player->finishingstartcount = 0x7FFFFFFF;
        for (auto& a : s.player->finishingbuffer)
            a = DaceAnim::ATTACK_NONE;
    }
    void TearDown() override
    {
        md.Reset(nullptr, nullptr);
        s.player->target = nullptr;
        HudCombat::TearDown();
    }
    Enemy* Fighter(int id, float x)
    {
        char name[] = "FighterEnemy";
        Object* o = g_pgcTest->CreateCharacterAt(enemyrig::kEnemySlot, id, -1, name, false);
        if (o == nullptr)
            return nullptr;
        o->mat.SetTrans(VectorPos(x, 0.0f, 3.0f));
        static_cast<Enemy*>(o)->vobank = 255;
        return static_cast<Enemy*>(o);
    }
    std::vector<Prim> Frame()
    {
        md.DrawHUD(pk.r);
        world.time++;
        return pk.Take();
    }
};

}  // namespace

// The HUD asks the player's fighter for his hits with the two queries and
// shows one segment fewer than the hits that daze him; knocked down the row
// blinks; the finishing row follows the player's buffer, its streak and pop.
TEST_F(HudFight, TheFightersHitsAndThePlayersFinishingMoves)
{
    Enemy* e = Fighter(9, 0.0f);
    ASSERT_NE(e, nullptr);
    s.player->target = e;
    md.flags = HUDF_PLAYER;
    e->totalhitstodaze = 4;
    e->curhitstodaze = 2;
    std::vector<Prim> p = Frame();
    EXPECT_EQ(md.fdiKDFade.flags, FDI_STEADY);
    EXPECT_EQ(At(p, 64.0f, 232.0f).size(), 2u);
    EXPECT_EQ(At(p, 48.0f, 232.0f).size(), 1u);
    EXPECT_EQ(At(p, 64.0f, 232.0f)[0].xy[0], XY(548.0f, 32.0f));
    // All hits taken: the row fades; a fresh count of 0 blinks.
    e->curhitstodaze = 4;
    Frame();
    EXPECT_EQ(md.fdiKDFade.flags, FDI_FALLING);
    e->curhitstodaze = 0;
    Frame();
    EXPECT_EQ(md.fdiKDFade.flags, 41u);
    // Not a fighter: no meter.
    md.fdiKDFade.flags = FDI_STEADY;
    s.player->target = nullptr;
    EXPECT_TRUE(At(Frame(), 48.0f, 232.0f).empty());
    s.player->target = e;

    // The window opens with punch, kick, high attack in the buffer: each
    // icon flashes in.
    Dace& d = *s.player;
    d.finishingstartcount = 100;
    d.finishingbuffer[0] = DaceAnim::ATTACK_PUNCH;
    d.finishingbuffer[1] = DaceAnim::ATTACK_KICK;
    d.finishingbuffer[2] = DaceAnim::ATTACK_HIGHATTACK;
    p = Frame();
    EXPECT_EQ(md.fdiFinishing.flags, 4u);
    EXPECT_EQ(md.rfdiFinishingIcon[1].flags, 0x40u);
    EXPECT_EQ(md.rfdiFinishingIcon[1].iRate, 2);
    ASSERT_EQ(At(p, 0.0f, 0.0f).size(), 1u);    // the kick, in the middle
    EXPECT_EQ(At(p, 0.0f, 0.0f)[0].xy[0], XY(304.0f, 440.0f));
    // He finishes with the first two: they stay, the third fades, the
    // streak grows for 30 frames, then the row pops for 15 and is gone.
    d.mode2 = 175;
    d.finishingbuffermatchindex = 0;
    d.finishingbuffermatchlen = 2;
    const int start = world.time;
    Frame();
    EXPECT_EQ(md.rfdiFinishingIcon[0].flags, 0x20u);
    EXPECT_EQ(md.rfdiFinishingIcon[2].flags, 2u);
    EXPECT_EQ(md.fdiStreak.flags, 0x40u);
    EXPECT_EQ(md.fdiStreak.iCount, 2);
    while (md.fdiFinishing.flags != 16 && world.time < start + 100)
        Frame();
    EXPECT_EQ(world.time - 1 - start, 30);
    while (md.fdiFinishing.flags != 0 && world.time < start + 100)
        Frame();
    EXPECT_EQ(world.time - 1 - start, 45);
    EXPECT_EQ(md.fdiStreak.flags, 0u);
    EXPECT_TRUE(At(Frame(), 0.0f, 192.0f).empty());

    // A row left standing when the window closes fades out over 30 frames.
    d.mode2 = 0;
    Frame();
    d.finishingstartcount = 0x7FFFFFFF;
    Frame();
    EXPECT_EQ(md.fdiFinishing.flags, 2u);
    for (int f = 0; f < 30; f++)
        Frame();
    EXPECT_EQ(md.fdiFinishing.flags, 0u);
}

// The enemies about the player: listed in the world's order, the target
// promoted to the first slot in 18 frames arcing past the others, an
// enemy that is no longer a valid target ballooning out over the first slot
// in 18 frames while the ones behind it move up; twelve at most.
TEST_F(HudFight, TheEnemyListPromotesTheTargetAndLetsALeaverBalloonOut)
{
    Enemy* a = Fighter(-101, -2.0f);
    Enemy* b = Fighter(-102, 0.0f);
    Enemy* c = Fighter(-103, 2.0f);
    ASSERT_NE(c, nullptr);
    md.flags = HUDF_ENEMIES;
    // No target and an empty list: nothing.
    Frame();
    EXPECT_EQ(enemies.num, 0);
    s.player->target = b;
    Frame();
    ASSERT_EQ(enemies.num, 3);
    EXPECT_EQ(enemies.enemies[0].enemy.p, a);
    EXPECT_EQ(enemies.enemies[1].curPos.y, 92);
    EXPECT_EQ(enemies.enemies[1].curScale, 0.5f);
    EXPECT_EQ(enemies.enemies[1].curAlpha, 64);

    // The next frame the target swaps with the first: half-way it is 30
    // right of the straight line (x -68 + 30), at the end on slot 0.
    Frame();
    EXPECT_EQ(enemies.enemies[0].enemy.p, b);
    EXPECT_EQ(enemies.enemies[0].flags & 0x7F, 2);
    EXPECT_EQ(enemies.enemies[1].flags & 0x7F, 4);
    for (int t = 1; t <= 9; t++)
        Frame();
    EXPECT_EQ(enemies.enemies[0].curPos.x, -38);
    EXPECT_EQ(enemies.enemies[1].curPos.x, -68 - 30);
    for (int t = 10; t < 18; t++)
        Frame();
    EXPECT_NE(enemies.enemies[0].flags & 2, 0);
    Frame();   // t = 18
    EXPECT_EQ(enemies.enemies[0].flags & 0x7F, 0);
    EXPECT_EQ(enemies.enemies[0].curPos.x, -80);
    EXPECT_EQ(enemies.enemies[0].curPos.y, 32);
    EXPECT_EQ(enemies.enemies[0].curScale, 1.0f);
    EXPECT_EQ(enemies.enemies[1].curPos.x, -56);
    // Drawn: the target's bar right of its 40-wide icon place at 560.
    std::vector<Prim> p = Frame();
    bool bar = false;
    for (const Prim& q : p)
        bar |= !q.xy.empty() && q.xy[0][0] == 600.0f;
    EXPECT_TRUE(bar);

    // a (now second) is beaten: it leaves from slot 0, c moves up.
    a->flags |= GUYF_DEAD;
    Frame();
    ASSERT_EQ(enemies.num, 3);
    EXPECT_EQ(enemies.enemies[1].enemy.p, c);
    EXPECT_EQ(enemies.enemies[1].flags & 0x7F, 8);
    const HUD_Enemies::Enemy& gone = enemies.enemies[2];
    EXPECT_EQ(gone.enemy.p, a);
    EXPECT_EQ(gone.startPos.x, -80);
    EXPECT_EQ(gone.endPos.x, -160);
    EXPECT_EQ(gone.endPos.y, -64);
    EXPECT_EQ(gone.endScale, 5.0f);
    for (int f = 1; f < 18; f++)
        Frame();
    EXPECT_EQ(enemies.num, 3);
    Frame();
    EXPECT_EQ(enemies.num, 2);
    EXPECT_EQ(enemies.enemies[1].enemy.p, c);

    // Thirteen valid enemies: twelve are listed.
    for (int i = 0; i < 12; i++)
        ASSERT_NE(Fighter(-110 - i, -6.0f + float(i)), nullptr);
    Frame();
    EXPECT_EQ(enemies.num, 12);
}

// The target car's icon stands where the enemies' bars would: the list is
// neither updated nor drawn while it shows.
TEST_F(HudFight, TheTargetCarTakesThePlaceOfTheEnemyList)
{
    Enemy* e = Fighter(-101, 0.0f);
    ASSERT_NE(e, nullptr);
    Vehicle car;
    car.type = OBJT_VEHICLE;
    for (float& part : car.rgpartstrength)
        part = 25.0f;
    s.player->target = &car;
    md.flags = HUDF_ENEMIES | HUDF_TARGETCAR;
    std::vector<Prim> p = Frame();
    ASSERT_EQ(At(p, 216.0f, 0.0f).size(), 1u);
    EXPECT_EQ(At(p, 216.0f, 0.0f)[0].xy[0], XY(560.0f, 24.0f));
    EXPECT_EQ(enemies.num, 0);
    s.player->target = e;
    Frame();
    EXPECT_EQ(enemies.num, 1);
    s.player->target = nullptr;
}

// One frame of the fight's HUD drawn by the GS over a flat background: the
// knockdown row with its last lit segment going out, the finishing row with
// the streak half grown over its first two moves, and three enemies listed,
// the target first, one hurt and one that started below full strength.
TEST_F(HudFight, MetersAndEnemyListPicture)
{
    hudtest::PinTextures(false);
    Enemy* a = Fighter(-101, -2.0f);
    Enemy* b = Fighter(-102, 0.0f);
    Enemy* c = Fighter(-103, 2.0f);
    ASSERT_NE(c, nullptr);
    a->strength = 40.0f;
    c->initialstrength = 80.0f;
    c->strength = 60.0f;
    s.player->target = b;
    b->totalhitstodaze = 4;
    b->curhitstodaze = 3;
    md.flags = HUDF_PLAYER | HUDF_ENEMIES;
    Dace& d = *s.player;
    d.finishingstartcount = 100;
    d.finishingbuffer[0] = DaceAnim::ATTACK_PUNCH;
    d.finishingbuffer[1] = DaceAnim::ATTACK_KICK;
    d.finishingbuffer[2] = DaceAnim::ATTACK_HIGHATTACK;
    // The list settles and the icons flash in (packets thrown away).
    hudtest::PinTextures(true);
    for (int f = 0; f < 40; f++)
        Frame();
    d.mode2 = 175;
    d.finishingbuffermatchindex = 0;
    d.finishingbuffermatchlen = 2;
    for (int f = 0; f < 7; f++)
        Frame();
    b->curhitstodaze = 2;
    for (int f = 0; f < 8; f++)
        Frame();
    hudtest::PinTextures(false);
    ASSERT_EQ(enemies.num, 3);
    ASSERT_EQ(enemies.enemies[0].enemy.p, b);

    Surface draw, zbuf;
    gsframe::ResetForFrames(10240, 6144);
    gsframe::PlaceBuffers(draw, zbuf, 640, 512);
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    Render2D r;
    r.Open(therenderer);
    gsframe::ClearBuffers(r, draw, zbuf, 640, 512, Colour(40, 52, 60, 128));
    md.DrawHUD(r);
    r.Close(therenderer);
    gsframe::SendFrame();
    TexManOff();
    golden::ExpectFrameBuffer("hud_fight_meters", 640, 512);
}
