// Shooting enemies: the animation tables and blending, the shooter made by
// name with its hibernation, aim error and laser sight, spotting, the wait,
// arrive and patrol states, the ends of animations, the dropped gun and the
// collision reactions, against answers worked out from the rules; and a run
// in which a shooter spots the player, fires, is killed and drops his gun.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "enemy_support.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/MAIN.h"
#include "game/NPCCombatAnims.h"
#include "game/NPCPistolAnims.h"
#include "game/ShotEffects.h"
#include "tools/lib/pedfiles.h"
#include "tools/lib/playerfiles.h"

using namespace enemyrig;
using BA = BadGuyAnims;

// ---------------------------------------------------------------------------
// Tables

TEST(EnemyAnims, TablesFromTheDefinitions)
{
    Scene s;
    // Without the Boxer and Male groups their style sets are empty.
    g_GlobalAGI.rgagi[AnimGroup_NPCBoxer].pag = nullptr;
    g_GlobalAGI.rgagi[AnimGroup_NPCMaleCombat].pag = nullptr;
    Enemy::BuildAnimTables();
    for (AnimChar* a : Enemy::BoxerOverlayAnims)
        EXPECT_EQ(a, nullptr);
    for (AnimChar* a : Enemy::MaleOverlayAnims)
        EXPECT_EQ(a, nullptr);
    // Slots: the combat list from 84 (slot 0) to 153 (57), the gun list from
    // 154 (0); the kept-apart ids have none.
    EXPECT_EQ(Enemy::CombatAnimOverlayIndex[84], 0);
    // The fight opener (147) takes slot 8 and the taunt (92) slot 9.
    EXPECT_EQ(Enemy::CombatAnimOverlayIndex[147], 8);
    EXPECT_EQ(Enemy::CombatAnimOverlayIndex[92], 9);
    EXPECT_EQ(Enemy::CombatAnimOverlayIndex[153], 57);
    EXPECT_EQ(Enemy::CombatAnimOverlayIndex[154], 0);
    EXPECT_EQ(Enemy::CombatAnimOverlayIndex[189], 33);
    EXPECT_EQ(Enemy::CombatAnimOverlayIndex[184], 34);
    ASSERT_NE(g_GlobalAGI.GetAG(AnimGroup_NPCKarate), nullptr);
    EXPECT_EQ(Enemy::KarateOverlayAnims[5], g_GlobalAGI.GetAG(AnimGroup_NPCKarate)->pChars[5]);
    for (int a : {135, 136, 137, 140, 141, 142, 143, 144, 183, 190, 264, 81})
        EXPECT_EQ(Enemy::CombatAnimOverlayIndex[a], -1) << a;
    int slotted = 0;
    for (s16 i : Enemy::CombatAnimOverlayIndex)
        slotted += i != -1;
    EXPECT_EQ(slotted, 58 + 35);
    // Attack bits as listed.
    EXPECT_EQ(Enemy::AttackFlags[94], 0x800000u);
    EXPECT_EQ(Enemy::AttackFlags[96], 0x800000u);
    for (int a = 99; a <= 103; a++)
        EXPECT_EQ(Enemy::AttackFlags[a], 0x2000000u) << a;
    EXPECT_EQ(Enemy::AttackFlags[104], 0x2800000u);
    EXPECT_EQ(Enemy::AttackFlags[93] | Enemy::AttackFlags[95] | Enemy::AttackFlags[97] | Enemy::AttackFlags[98], 0u);
    // The falls and their landings; the gun clips of the pistol group at
    // their pinned places.
    EXPECT_EQ(Enemy::AnimTransitions[+BA::GUN_KILLED_FALL_ANI], +BA::GUN_KILLED_FALL_INAIR_ANI);
    EXPECT_EQ(Enemy::AnimTransMorphLens[+BA::GUN_KILLED_FALL_INAIR_ANI], 3);
    EXPECT_EQ(Enemy::AnimTransitions[+BA::GUN_KILLED_FALL_INAIR_ANI], +BA::GUN_KILLED_FALL_LAND_ANI);
    EXPECT_EQ(Enemy::AnimTransitions[+BA::GUN_HOLDHOSTAGE_REACH_ANI], +BA::GUN_HOLDHOSTAGE_GRAB_ANI);
    EXPECT_EQ(Enemy::AnimTransitions[9], 1);
    const AnimGroup* pistol = g_GlobalAGI.GetAG(AnimGroup_NPCPistol);
    ASSERT_NE(pistol, nullptr);
    EXPECT_EQ(Enemy::Anims[+BA::GUN_KILLED_FALL_ANI], pistol->pChars[20]);
    EXPECT_EQ(Enemy::Anims[+BA::GUN_CARCASS_KILLED_INAIR_ANI], pistol->pChars[46]);
    EXPECT_EQ(Enemy::PistolOverlayAnims[0], pistol->pChars[15]);
    EXPECT_EQ(Enemy::PistolOverlayAnims[2], pistol->pChars[15]);
    EXPECT_EQ(Enemy::AnimBanks[+BA::GUN_IDLE_ANI], AnimGroup_NPCPistol);
    // 289 rows; every row of a group on the disc names a clip its file has.
    int rows[AnimGroup_NumNamed] = {};
    for (const Enemy::AnimDef& d : Enemy::AnimDefs) {
        rows[d.group]++;
        if (const AnimGroup* g = g_GlobalAGI.GetAG(d.group)) {
            EXPECT_LT(int(d.index), g->count) << d.anim;
        }
    }
    // Every row of every group the disc writes, the always-loaded pedestrian
    // and player groups included, names a clip that group's file holds.
    int clips[AnimGroup_NumNamed] = {};
    for (const auto* list : {&tools::NPCGroups(), &tools::PedGroups(), &tools::PlayerGroups()})
        for (const tools::PlayerGroup& g : *list)
            clips[g.group] = g.tableSize;
    for (const Enemy::AnimDef& d : Enemy::AnimDefs) {
        ASSERT_GT(clips[d.group], 0) << "group " << d.group << " of animation " << d.anim;
        EXPECT_LT(int(d.index), clips[d.group]) << "animation " << d.anim << " of group " << d.group;
    }
    EXPECT_EQ(rows[AnimGroup_NPCPistol], 51);
    EXPECT_EQ(rows[AnimGroup_NPCDefault], 48);
    EXPECT_EQ(rows[AnimGroup_NPCKungFu], 58);
    EXPECT_EQ(rows[AnimGroup_DaceCar], 68);
    // Boxer: the first entries and the shared grapple clips; Male and Female
    // alike with 22 empty slots.
    EXPECT_EQ(BoxerOverlayDefs[0], 22);
    EXPECT_EQ(BoxerOverlayDefs[9], 28);
    for (int k = 16; k < 22; k++)
        EXPECT_EQ(BoxerOverlayDefs[k], 18);
    for (int k = 22; k < 28; k++)
        EXPECT_EQ(BoxerOverlayDefs[k], 17);
    int empty = 0;
    for (int k = 0; k < 58; k++) {
        EXPECT_EQ(MaleOverlayDefs[k], FemaleOverlayDefs[k]);
        empty += MaleOverlayDefs[k] == -1;
    }
    EXPECT_EQ(empty, 22);
}

TEST(EnemyAnims, BlendingBitsVolumesBanksAndChoosers)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    // Playing 104 sets its bits; blending to the playing id changes nothing.
    e->flags |= 0x01000000;
    e->SetAnim(104);
    EXPECT_EQ(e->flags & 0x07802000u, 0x02800000u);
    e->flags |= 0x2000;
    const float first = e->firstanimframe;
    e->BlendToAnim(104, 5);
    EXPECT_TRUE(e->flags & 0x2000);
    e->frame += 3.0f;
    e->ReBlendToAnim(104, 0, -1, -1, false);
    EXPECT_FALSE(e->flags & 0x2000);
    EXPECT_NE(e->firstanimframe, first);
    // Leaving an attack for another attack unbinds the volumes.
    e->offenseactive = true;
    e->flags |= ENEMYF_HOLDING;
    e->SetAnim(93);
    EXPECT_FALSE(e->offenseactive);
    EXPECT_FALSE(e->flags & ENEMYF_HOLDING);
    for (int left : {88, 123, 135, 144, 286, 287, 289, 296, 297}) {
        e->SetAnim(u16(left));
        e->offenseactive = true;
        e->SetAnim(+BA::GUN_IDLE_ANI);
        EXPECT_FALSE(e->offenseactive) << left;
    }
    e->SetAnim(+BA::GUN_RUN_ANI);
    e->offenseactive = true;
    e->SetAnim(+BA::GUN_IDLE_ANI);
    EXPECT_TRUE(e->offenseactive);
    // Leaving 143 clears the air-borne bit.
    e->SetAnim(143);
    e->flags |= ENEMYF_AIRBORNE;
    e->SetAnim(+BA::GUN_IDLE_ANI);
    EXPECT_FALSE(e->flags & ENEMYF_AIRBORNE);
    // A styled id plays the style's clip with base bank + style; 135 the base.
    e->combatoverlayanims = Enemy::PistolOverlayAnims;
    e->style = 1;
    e->SetAnim(+BA::GUN_KNOCKDOWN_ANI);
    EXPECT_EQ(e->mode2, +BA::GUN_KNOCKDOWN_ANI);
    EXPECT_EQ(e->anims[e->mode2], Enemy::Anims[+BA::GUN_KNOCKDOWN_ANI]);
    // Choosers.
    EXPECT_EQ(e->CalculateBlockAni(0x01800000), 121);
    EXPECT_EQ(e->CalculateBlockAni(0), 119);
    EXPECT_EQ(e->CalculateRecoilAni(0x800000u), 146);
    std::set<int> seen;
    for (int i = 0; i < 40; i++)
        seen.insert(e->CalculateRecoilAni(VectorPos(0.0f, -0.546875f, 0.0f)));
    EXPECT_EQ(seen, (std::set<int>{145, 146}));
    EXPECT_EQ(e->CalculateRecoilAni(VectorPos(0.0f, -0.1875f, 0.0f)), 146);
    EXPECT_EQ(e->CalculateRecoilAni(VectorPos(0.0f, -0.6f, 0.0f)), 145);
    e->strength = 5.0f;
    e->initialstrength = 20.0f;
    EXPECT_FLOAT_EQ(e->GetFatigue(), 0.75f);
    e->initialstrength = 0.0f;
    EXPECT_FLOAT_EQ(e->GetFatigue(), 1.0f);
}

// ---------------------------------------------------------------------------
// Life

TEST(ShooterEnemy, MadeByNameAndArmed)
{
    Scene s;
    EXPECT_EQ(Name::Find("ShooterEnemy"), int(reinterpret_cast<intptr_t>(&Enemy::ShooterEnemy_mh)));
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->mode, 22);
    EXPECT_EQ(*world.pedlist.Begin(), e);
    EXPECT_EQ(e->mode2, +BA::GUN_IDLE_ANI);
    EXPECT_EQ(e->eye, e->FindSubObject(14));
    EXPECT_EQ(static_cast<Object*>(e->target), s.player);
    EXPECT_EQ(e->pTargetTorso, s.player->FindSubObject(20));
    ASSERT_NE(e->rightgunarm.gun, nullptr);
    EXPECT_EQ(e->rightgunarm.gun->parent, e->FindSubObject(1));
    EXPECT_FALSE(e->rightgunarm.twoHanded);
    EXPECT_EQ(e->combatoverlayanims, Enemy::PistolOverlayAnims);
    EXPECT_EQ(e->style, 0);
    // A machine gun: two hands, the machine-gun set, style 1.
    e->shootweapontype = WEAP_MG_AK47;
    e->ReinitAsShooter();
    EXPECT_TRUE(e->rightgunarm.twoHanded);
    EXPECT_EQ(e->combatoverlayanims, Enemy::MGunOverlayAnims);
    EXPECT_EQ(e->style, 1);
    // A guard re-armed is unarmed.
    e->mode = 33;
    e->ReinitAsShooter();
    EXPECT_EQ(e->shootweapontype, -1);
    EXPECT_TRUE(e->rightgunarm.ModeIs(GunArm::CARRYING_TO_UNARMED));
    EXPECT_EQ(e->rightgunarm.gun, nullptr);
    // Removal: 23020 once, off the pedestrians' list.
    EventLog events;
    e->gameeventobj = &events;
    world.RemoveObject(e);
    EXPECT_EQ(events.Count(SMSG_EV_ENEMY_REMOVED), 1);
    EXPECT_TRUE(world.pedlist.IsEmpty());
}

TEST(ShooterEnemy, HibernatesAtTheDistanceAimsAndHasNoSightWithoutItsKind)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(46.875f, 0.0f, 0.0f));
    ASSERT_NE(e, nullptr);
    s.Ticks(1);
    EXPECT_TRUE(e->IsHibernating());
    CollisionRecord cr(e, s.player);
    EXPECT_EQ(e->SendMessage(OM_COLLISION, &cr), 0);
    e->mat.SetTrans(VectorPos(46.8f, 0.0f, 0.0f));
    s.Ticks(1);
    EXPECT_FALSE(e->IsHibernating());

    // Aim error: min(a dist, c) at aggro 1, min(b dist, d) at aggro 0.
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 10.0f));
    e->aggro = 1.0f;
    EXPECT_NEAR(Length(e->GetShootingInaccuracy(s.player, 0.001f, 0.01f, 1.0f, 2.0f)), 0.01f, 2e-5f);
    EXPECT_NEAR(Length(e->GetShootingInaccuracy(s.player, 0.5f, 0.01f, 1.0f, 2.0f)), 1.0f, 2e-3f);
    e->aggro = 0.0f;
    EXPECT_NEAR(Length(e->GetShootingInaccuracy(s.player, 0.001f, 0.01f, 1.0f, 2.0f)), 0.1f, 2e-4f);
    EXPECT_NEAR(Length(e->GetShootingInaccuracy(s.player, 0.001f, 0.5f, 1.0f, 2.0f)), 2.0f, 2e-3f);

    // No "LaserSight" kind on the list here: no sight.
    if (Name::Find("LaserSight") == 0) {
        EXPECT_EQ(e->CreateLaserSight(), nullptr);
    }
}

TEST(ShooterEnemy, FadeAfterTheBodyTimeoutAndUnknownModes)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    SpecialMessage m(SMSG_MODE_BODY_TIMEOUT, nullptr, world.time);
    e->SendMessage(OM_SPECIAL, &m);
    EXPECT_EQ(e->deathtime, world.time);
    const int start = world.time;
    e->flags |= GUYF_DEAD;   // dead bodies run no frame, only the fade
    while (world.time < start + 159) {
        s.Ticks(1);
        e->SendMessage(OM_RENDER, nullptr);
        ASSERT_FALSE(e->flags & OBJF_HIDDEN) << world.time - start;
    }
    s.Ticks(1);
    e->SendMessage(OM_RENDER, nullptr);
    EXPECT_TRUE(e->flags & OBJF_HIDDEN);

    Enemy* f = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, 8);
    f->mode = 50;
    s.Ticks(1);
    EXPECT_EQ(f->mode, 24);
}

// ---------------------------------------------------------------------------
// Spotting, waiting, patrolling

TEST(ShooterEnemy, SpottingSendsTheEventOnceAndTheConeIsStrict)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    EventLog events;
    e->gameeventobj = &events;
    // Facing away along +z: the player behind is out of any cone.
    e->checktargettime = -1;
    EXPECT_FALSE(e->TrySpottingTarget(4, 4, true));
    EXPECT_GE(e->checktargettime, world.time + 4);
    EXPECT_LE(e->checktargettime, world.time + 7);
    EXPECT_FALSE(e->TrySpottingTarget(4, 4, false));   // throttled
    e->checktargettime = -1;
    EXPECT_TRUE(e->TrySpottingTarget(4, 4, false));
    // The torso exactly on the cone's edge (dot 0.707) is not seen.
    Object* torso = s.player->FindSubObject(20);
    const VectorPos t = torso->GetWorldPos();
    const float c = 0.707f, sn = std::sqrt(1.0f - c * c);
    e->mat = Matrix(true);
    e->mat.x = Vector(c, 0.0f, -sn, 0.0f);
    e->mat.z = Vector(sn, 0.0f, c, 0.0f);
    e->mat.SetTrans(VectorPos(t[0], 0.0f, t[2] - 3.0f));
    e->checktargettime = -1;
    EXPECT_FALSE(e->TrySpottingTarget(4, 4, true));
    e->TargetSpotted();
    e->TargetSpotted();
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_SPOTTED), 1);
    // A target other than the player: no event.
    Enemy* f = s.Shooter(VectorPos(0.0f, 0.0f, 5.0f), WEAP_PISTOL_RUGER, 8);
    f->gameeventobj = &events;
    f->target = e;
    f->TargetSpotted();
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_SPOTTED), 1);
}

TEST(ShooterEnemy, WaitHoldsItsPlaceAndFiresOnlyOnTheShotFrame)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    e->Start_Shoot_Wait();
    srand(5);
    std::vector<int> shots;
    int lastHeard = 0;
    int gapsChecked = 0;
    int planned = -1;
    for (int i = 0; i < 1500; i++) {
        if (e->mode2 == +BA::GUN_IDLE_NOSHOOT_ANI)
            e->SetAnim(+BA::GUN_IDLE_ANI);   // the idle that does not fire is left for the one that does
        e->rightgunarm.Reload();
        const VectorPos before = e->GetWorldPos();
        planned = e->nextshot;
        const int now = world.time + 1;
        s.Ticks(1);
        EXPECT_EQ(e->GetWorldPos(), before);
        if (heard.shotAt != lastHeard) {
            EXPECT_EQ(now, planned) << "a shot off its frame";
            shots.push_back(now);
            lastHeard = heard.shotAt;
        }
    }
    ASSERT_GE(shots.size(), 3u);
    for (size_t k = 1; k < shots.size(); k++) {
        const int gap = shots[k] - shots[k - 1];
        EXPECT_GE(gap, 60);
        EXPECT_LE(gap, 299);
        gapsChecked++;
    }
    EXPECT_GT(gapsChecked, 0);
    // In the idle that does not fire, never.
    const int was = heard.shotAt;
    e->SetAnim(+BA::GUN_IDLE_NOSHOOT_ANI);
    for (int i = 0; i < 400; i++) {
        e->nextshot = world.time + 1;
        s.Ticks(1);
    }
    EXPECT_EQ(heard.shotAt, was);
    // Nor does it plan a next shot there: an unset or a past shot frame
    // stays as it was.
    ASSERT_TRUE(e->targetspotted);
    ASSERT_EQ(e->mode2, +BA::GUN_IDLE_NOSHOOT_ANI);
    e->nextshot = -1;
    s.Ticks(1);
    EXPECT_EQ(e->nextshot, -1);
    const int past = world.time - 5;
    e->nextshot = past;
    s.Ticks(1);
    EXPECT_EQ(e->nextshot, past);
    // Back in the idle that fires, the next shot is planned 60..299 on.
    e->SetAnim(+BA::GUN_IDLE_ANI);
    s.Ticks(1);
    EXPECT_GE(e->nextshot, world.time + 60);
    EXPECT_LE(e->nextshot, world.time + 299);
}

TEST(ShooterEnemy, PatrolBurstsAndHoldsFireAtABeatenTarget)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    e->behavior = Enemy::STATIONARY;   // stands and shoots
    e->aggro = 0.35f;
    s.Ticks(1);
    EXPECT_EQ(e->mode, 24);   // arrived with no paths: patrol at once
    ASSERT_TRUE(e->targetspotted);
    // A burst: max(1, trunc(10 aggro)) = 3 shots.
    int maxBurst = 0;
    for (int i = 0; i < 600; i++) {
        e->rightgunarm.Reload();
        s.Ticks(1);
        maxBurst = std::max(maxBurst, int(e->shotsleft));
    }
    EXPECT_EQ(maxBurst, 3);
    EXPECT_GT(heard.shotAt, 0);
    // A target flagged beaten is not fired at.
    s.player->flags |= GUYF_DEAD;
    const int was = heard.shotAt;
    e->target = s.player;   // kept: the dead-target drop is for the frame's end
    for (int i = 0; i < 300; i++) {
        e->target = s.player;
        e->targetspotted = true;
        s.Ticks(1);
    }
    EXPECT_EQ(heard.shotAt, was);
}

TEST(ShooterEnemy, ArriveSwingsTheLinkedDoorAndStartsTheSteam)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, 10);
    ASSERT_NE(e, nullptr);
    // A straight arrival path of one segment along +x.
    alignas(16) static Vector pts[4];
    pts[0] = Vector(0.0f, 0.0f, 3.0f, 4.0f);
    pts[1] = Vector(1.0f, 0.0f, 3.0f, 1.0f);
    pts[2] = Vector(2.0f, 0.0f, 3.0f, 1.0f);
    pts[3] = Vector(3.0f, 0.0f, 3.0f, 1.0f);
    e->arrivepath = reinterpret_cast<Spline*>(pts);
    e->arrivepath->SetCount(4);
    e->maxwander = 0.5f;
    Object* door = new Object;
    door->mat = TransMatrix(5.0f, 0.0f, 0.0f);
    door->id = 4000 - 10;
    world.objectlist.AddTail(door);
    EventLog* steam = EventLog::Make();
    steam->id = 4100 - 10;
    world.objectlist.AddTail(steam);
    const Matrix rest = door->mat;
    e->Start_Shoot_Arrive();
    s.Ticks(1);
    EXPECT_EQ(steam->Count(SMSG_PATH_POINT_REACHED), 1);
    EXPECT_EQ(e->door, door);
    // Walk it along by hand: open while below half way, shut after.
    float lastang = 0.0f;
    for (int i = 0; i < 6; i++) {
        e->mat.SetTrans(VectorPos(0.3f + 0.2f * float(i), 0.0f, 3.0f));
        s.Ticks(1);
        if (e->patht < 0.5f) {
            EXPECT_NEAR(e->doorang, std::min(lastang + 0.20944f, 2.0944f + 0.20944f), 1e-4f);
            lastang = e->doorang;
        }
    }
    // Past half way (the frame after the parameter passed it) it shuts.
    e->mat.SetTrans(VectorPos(2.5f, 0.0f, 3.0f));
    s.Ticks(1);
    const float top = e->doorang;
    s.Ticks(1);
    EXPECT_NEAR(e->doorang, top - 0.20944f, 1e-4f);
    // Busy: the door back at rest.
    e->SetAnim(+BA::GUN_RECOIL_ANI);
    s.Ticks(1);
    EXPECT_EQ(door->mat.GetTrans(), rest.GetTrans());
    EXPECT_EQ(VectorDir(door->mat.x.xyz()), VectorDir(rest.x.xyz()));
    EXPECT_EQ(steam->Count(SMSG_PATH_POINT_REACHED), 1);
}

// ---------------------------------------------------------------------------
// Ends of animations

TEST(ShooterEnemy, AnimationEnds)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    EventLog events;
    e->gameeventobj = &events;
    AnimEventMessage loop{e, 0, 0, 0};
    // Knocked down: gets up, cycles kept.
    e->cyclesleft = 3;
    e->SetAnim(+BA::GUN_KNOCKDOWN_ANI);
    EXPECT_EQ(e->ShooterAnimLoop(&loop), -1);
    EXPECT_EQ(e->mode2, +BA::GUN_GETUP_ANI);
    EXPECT_EQ(e->cyclesleft, 3);
    // A recoil resumes patrol through its restart.
    e->mode = 24;
    e->behavior = Enemy::MOVING;
    e->cyclesleft = 0;
    e->SetAnim(+BA::GUN_RECOIL_ANI);
    e->ShooterAnimLoop(&loop);
    EXPECT_EQ(e->mode2, +BA::GUN_IDLE_ANI);
    EXPECT_EQ(e->cyclesleft, 0);   // the restart's 1, less the end's count
    // Subdued: 23018 and 10 points once, nothing else.
    const int points = g_pgcTest->stats.nPoints;
    g_pgcTest->stats.nCivilUnrest = 1;
    e->flags |= GUYF_BUSTED;
    e->SetAnim(+BA::GUN_KNOCKDOWN_ANI);
    EXPECT_EQ(e->ShooterAnimLoop(&loop), -1);
    EXPECT_EQ(e->mode2, +BA::GUN_KNOCKDOWN_ANI);
    EXPECT_EQ(events.Count(SMSG_EV_ENEMY_SUBDUED), 1);
    EXPECT_EQ(g_pgcTest->stats.nCivilUnrest, 0u);   // lowered by 2, held at 0
    EXPECT_EQ(int(g_pgcTest->stats.nPoints) - points, 10);
    AnimEventMessage other{s.player, 0, 0, 0};
    EXPECT_EQ(e->ShooterAnimLoop(&other), 0);

    // The killed fall: no landing in its first 7 frames.
    Enemy* f = s.Shooter(VectorPos(0.0f, -0.1f, 6.0f), WEAP_PISTOL_RUGER, 8);
    f->groundy = -5.0f;   // above the body: contact as soon as it may land
    f->SetAnim(+BA::GUN_KILLED_FALL_INAIR_ANI);
    f->jumpframe = f->frame;
    int landed = -1;
    for (int t = 1; t <= 12 && landed < 0; t++) {
        f->frame += 1.0f;
        if (f->KilledFallCheckGroundContact())
            landed = t;
    }
    EXPECT_EQ(landed, 8);
    EXPECT_EQ(f->mode2, +BA::GUN_KILLED_FALL_LAND_ANI);
}

// ---------------------------------------------------------------------------
// Collisions

TEST(ShooterEnemy, PopOutBlowsAndCarSeat)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    EventLog events;
    e->gameeventobj = &events;
    e->ClearPopOut();
    e->AddToPopOut(VectorDir(0.3f, 0.0f, 0.4f), true);
    EXPECT_NEAR(Length(e->GetPopOut()), 0.15625f, 1e-5f);
    e->ClearPopOut();
    e->AddToPopOut(VectorDir(0.03f, 0.0f, 0.04f), true);
    EXPECT_NEAR(Length(e->GetPopOut()), 0.05f, 1e-5f);

    // A blow answered -1: knocked down, no damage, no events.
    CollisionRecord cr(e, s.player);
    e->strength = e->initialstrength = 10.0f;
    heard.collisionAnswer = -1;
    const unsigned short bank = sndbank_comb;
    sndbank_comb = 0xFFFF;   // silent
    EXPECT_EQ(e->ShooterCollision_Blow(&cr), -1);
    EXPECT_EQ(e->strength, 10.0f);
    EXPECT_EQ(e->mode2, +BA::GUN_KNOCKDOWN_ANI);
    EXPECT_EQ(events.Count(SMSG_EV_ATTACK_HIT), 0);
    // A blow leaving exactly 0 kills.
    e->SetAnim(+BA::GUN_IDLE_ANI);
    heard.collisionAnswer = 10;
    EXPECT_EQ(e->ShooterCollision_Blow(&cr), -1);
    EXPECT_EQ(e->strength, 0.0f);
    EXPECT_EQ(e->mode2, +BA::GUN_KILLED_ANI);
    EXPECT_TRUE(e->flags & GUYF_DYING);
    EXPECT_EQ(events.Count(SMSG_EV_ATTACK_HIT), 1);
    EXPECT_EQ(events.Count(SMSG_EV_KNOCKED_DOWN), 1);
    sndbank_comb = bank;
    // Taking damage to exactly 0 alone sets nothing.
    Enemy* f = s.Shooter(VectorPos(0.0f, 0.0f, 5.0f), WEAP_PISTOL_RUGER, 8);
    f->strength = 4.0f;
    f->TakeFightingDamage(4.0f);
    EXPECT_EQ(f->strength, 0.0f);
    EXPECT_FALSE(f->flags & GUYF_DYING);
    f->TakeFightingDamage(1.0f);
    EXPECT_TRUE(f->flags & GUYF_DYING);
    EXPECT_EQ(f->strength, 0.0f);
}

// ---------------------------------------------------------------------------
// A whole encounter

TEST(ShooterEnemy, MadeNearThePlayerSpotsHimFiresIsKilledAndDropsHisGun)
{
    Scene s;
    srand(11);
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 4.0f));
    ASSERT_NE(e, nullptr);
    EventLog events;
    e->gameeventobj = &events;
    e->strength = e->initialstrength = 10.0f;
    e->aggro = 0.8f;
    // It turns to the player and fires within a few seconds.
    int firstShot = -1;
    for (int i = 0; i < 600 && firstShot < 0; i++) {
        e->rightgunarm.Reload();
        s.Ticks(1);
        if (heard.shotAt > 0)
            firstShot = i;
    }
    EXPECT_GE(firstShot, 0);
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_SPOTTED), 1);
    EXPECT_EQ(e->mode, 24);
    s.Ticks(40);   // 6 degrees a frame: turned round by now
    VectorDir facing(e->mat.z.xyz());
    VectorDir to = s.player->GetWorldPos() - e->GetWorldPos();
    facing[1] = to[1] = 0.0f;
    EXPECT_GT(Dot(Normalise(facing), Normalise(to)), 0.99f);

    // Struck down: the death plays out and is reported once.
    CollisionRecord cr(e, s.player);
    heard.collisionAnswer = 20;
    e->ShooterCollision_Blow(&cr);
    for (int i = 0; i < 120; i++)
        s.Ticks(1);
    EXPECT_TRUE(e->flags & GUYF_DEAD);
    EXPECT_EQ(events.Count(SMSG_EV_CHARACTER_DIED), 1);

    // The gun goes down full with its lifetime; the shooter is unarmed.
    const Object* gun = e->rightgunarm.gun;
    ASSERT_NE(gun, nullptr);
    e->rightgunarm.weapon.bulletsLeft = 1;
    e->DropWeapon();
    EXPECT_EQ(e->shootweapontype, -1);
    EXPECT_EQ(e->rightgunarm.gun, nullptr);
    GunPickup* pickup = nullptr;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
        if ((*it)->messagehandler == reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("GunPickup"))))
            pickup = static_cast<GunPickup*>(*it);
    ASSERT_NE(pickup, nullptr);
    EXPECT_EQ(pickup->weapon.bulletsLeft, pickup->weapon.magSize);
    EXPECT_EQ(pickup->weapon.type, WEAP_PISTOL_RUGER);
    int due = -1;
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        if (t->obj == pickup)
            due = int(t->time.t >> 8) - world.time;
    EXPECT_EQ(due, 2000);
}

// ---------------------------------------------------------------------------
// Obstacles

TEST(ShooterEnemy, ObstacleScanLooksUpTheLevelsObjectsAndNeedsARoad)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    // Things standing just ahead that are only in the world's list, not among
    // the level's objects, are not looked up; the scan keeps none of them.
    std::vector<Object*> things;
    for (int i = 0; i < 20; i++) {
        Object* o = new Object;
        o->mat = TransMatrix(0.0f, 0.0f, 3.1f + 0.001f * float(i));
        world.objectlist.AddTail(o);
        things.push_back(o);
    }
    BadGuy::ObstacleInfo info;
    e->ScanForObstacles(&info);
    EXPECT_EQ(e->scanbox.numobjs, 0);
    // No road under him: no obstacle.
    EXPECT_EQ(static_cast<Object*>(info.obj), nullptr);
}

// ---------------------------------------------------------------------------
// Ground, falls through the air, a lost target and the patrol path

TEST(ShooterEnemy, GroundLiftsNeverPullsAndAKnockedBodyLandsRolling)
{
    Scene s;
    g_pgcTest->bInterior = true;   // a floor at -0.5 everywhere (y down)
    g_pgcTest->fInteriorHeight = -0.5f;
    Enemy* low = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    Enemy* high = s.Shooter(VectorPos(1.0f, -1.0f, 3.0f), WEAP_PISTOL_RUGER, 8);
    ASSERT_NE(low, nullptr);
    s.Ticks(1);
    EXPECT_FLOAT_EQ(low->GetWorldPos()[1], -0.5f);    // lifted to the floor
    EXPECT_FLOAT_EQ(high->GetWorldPos()[1], -1.0f);   // left in the air
    // Knocked away: flies, falls by 0.000851562 a frame more each frame, and
    // lands on the floor rolling.
    high->SetAnim(+BA::KNOCKED_AWAY_ANI);
    high->hitvel = VectorDir(0.0f, 0.0f, 0.01f);
    int frames = 0;
    while (high->mode2 == +BA::KNOCKED_AWAY_ANI && frames < 200) {
        s.Ticks(1);
        frames++;
    }
    EXPECT_EQ(high->mode2, +BA::ROLL_ANI);
    EXPECT_FLOAT_EQ(high->GetWorldPos()[1], -0.5f);
    EXPECT_EQ(high->hitvel, VectorDir(0.0f, 0.0f, 0.0f));
    g_pgcTest->bInterior = false;
    g_pgcTest->fInteriorHeight = 0.0f;
}

TEST(ShooterEnemy, AChaserWhoseTargetDiesSeeksAgainOnce)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    s.Ticks(1);
    e->chasetarget = true;
    s.player->flags |= GUYF_DEAD;
    const int before = gEnemyCommandLog.count;
    s.Ticks(1);
    EXPECT_EQ(gEnemyCommandLog.count - before, 1);   // 62 to itself, through the commands
    EXPECT_EQ(static_cast<Object*>(e->target), nullptr);
    EXPECT_EQ(e->pTargetTorso, nullptr);
    EXPECT_FALSE(e->targetspotted);
    s.Ticks(3);
    EXPECT_EQ(gEnemyCommandLog.count - before, 1);
}

TEST(ShooterEnemy, MovePathPositionIsTakenAgainWhenOutsideThePath)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(1.5f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    // Two straight segments along +x from (0, 0, 3) to (6, 0, 3).
    alignas(16) static Vector pts[7];
    for (int i = 0; i < 7; i++)
        pts[i] = Vector(float(i), 0.0f, 3.0f, i == 0 ? 7.0f : 1.0f);
    e->movepath = reinterpret_cast<Spline*>(pts);
    e->movepath->SetCount(7);
    e->behavior = Enemy::MOVING;
    e->maxwander = 1.0f;
    ASSERT_EQ(e->movepath->NumSplines(), 2);
    e->patht = 5.0f;   // past the last segment
    e->UpdateMovePathPos();
    EXPECT_NEAR(e->patht, 0.5f, 0.01f);
    e->patht = -1.0f;
    e->mat.SetTrans(VectorPos(4.5f, 0.0f, 3.0f));
    e->UpdateMovePathPos();
    EXPECT_NEAR(e->patht, 1.5f, 0.01f);
    // A stationary enemy keeps its place on no path.
    e->behavior = Enemy::STATIONARY;
    e->patht = 7.0f;
    e->UpdateMovePathPos();
    EXPECT_EQ(e->patht, 7.0f);
    EXPECT_EQ(e->GetNearestMovePathPos(e->GetWorldPos()), 0.0f);
}

TEST(ShooterEnemy, InACarOnlyProjectilesCountAndBlowsWithoutTheBankAreSilent)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    // Riding: a wall touching him is nothing to him.
    Object car;
    car.type = OBJT_VEHICLE;
    car.mat = Matrix(true);
    car.Attach(e);
    Object wall;
    wall.type = OBJT_STATIC;
    wall.mat = Matrix(true);
    e->ClearPopOut();
    e->behavior = Enemy::MOVING;
    e->mode = 24;
    CollisionRecord cr(e, &wall);
    EXPECT_EQ(e->ShooterCollision(&cr), 0);
    EXPECT_EQ(e->GetPopOut(), VectorDir(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(static_cast<Object*>(e->groundobj), nullptr);
    e->Detach();
    // Without the combat bank a blow knocks down and takes no channel.
    const unsigned short bank = sndbank_comb;
    sndbank_comb = 0xFFFF;
    const int free = sound.NumFreeChannels();
    heard.collisionAnswer = 2;
    e->strength = e->initialstrength = 10.0f;
    CollisionRecord blow(e, s.player);
    EXPECT_EQ(e->ShooterCollision_Blow(&blow), -1);
    EXPECT_EQ(e->mode2, +BA::GUN_KNOCKDOWN_ANI);
    EXPECT_EQ(e->cyclesleft, 1);
    EXPECT_FLOAT_EQ(e->strength, 8.0f);
    EXPECT_EQ(sound.NumFreeChannels(), free);
    sndbank_comb = bank;
}

// ---------------------------------------------------------------------------
// The disc's figure as a shooter's body

TEST(ShooterEnemy, TheDiscFigureGivesAShooterItsBodyRootAndAGroundedGrabPoint)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    // The body root is the pelvis, the root's second child object, and it
    // keeps taking collisions while the rest of the body is switched off.
    ASSERT_NE(e->biproot, nullptr);
    EXPECT_EQ(e->biproot->id, 21);
    EXPECT_EQ(e->biproot->flags & OBJF_NOCOLLISION, 0u);
    EXPECT_NE(e->FindSubObject(20)->flags & OBJF_NOCOLLISION, 0u);
    // The grab point stands on the ground in front of the feet, where a
    // grabbed character's feet are measured against it.
    s.Ticks(1);
    Object* grab = e->FindSubObject(31);
    ASSERT_NE(grab, nullptr);
    const VectorPos g = grab->GetRelativePos(e);
    EXPECT_NEAR(g[1], 0.0f, 0.02f);
    // Beyond the front of both bodies' boxes (0.0625 deep each for the
    // 1.8 m figure), within two grab reaches of it.
    EXPECT_GT(g[2], 0.125f);
    EXPECT_LT(g[2], 0.125f + 2.0f * Enemy::VictimDataTable[0].dist);
}

TEST(ShooterEnemy, HisGunArmPointsTheMuzzleAtTargetsAheadAndToEitherSide)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(e, nullptr);
    e->SetAnim(+BA::GUN_IDLE_ANI);
    e->AnimateHierarchy(0.0f);
    GunArm& a = e->rightgunarm;
    ASSERT_NE(a.gun, nullptr);
    // The chest height 3 ahead, and 40 degrees to either side.
    const VectorPos chest = e->torso->GetWorldPos();
    for (float yaw : {0.0f, -40.0f, 40.0f}) {
        const float r = yaw * 3.1415927f / 180.0f;
        const VectorPos target(chest[0] + 3.0f * std::sin(r), chest[1], chest[2] + 3.0f * std::cos(r));
        a.ImmediateRelaxArm();
        a.DrawGun();
        for (int f = 0; f < 6; f++) {
            world.time++;
            a.Frame(target);
            e->AnimateHierarchy(0.0f);
        }
        EXPECT_TRUE(a.ModeIs(GunArm::AIMING)) << yaw;
        const Matrix m = RotY(1.5707964f) * a.gun->GetWorldMatrix();
        const VectorXYZ muzzle = VectorXYZ(m.GetTrans()) + VectorXYZ(m * VectorDir(GunArm::GunMuzzleOffs));
        const float c = Dot(Normalise(VectorXYZ(m.z.v)), Normalise(VectorXYZ(target) - muzzle));
        EXPECT_GT(c, std::cos(2.0f * 3.1415927f / 180.0f)) << yaw;
    }
}
