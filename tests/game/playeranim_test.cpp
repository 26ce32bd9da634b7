// The player's animation table and fist-fighting move graph: the graph
// walked button by button, the table filled from the generated player
// groups (rows of groups not loaded keep what they had, short files are
// never read past), a census of every row against the generated files, and
// the events the handlers read sitting on the clips that need them.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/game/player_support.h"

#include "game/DaceCarAnims.h"
#include "game/DaceCombatAnims.h"
#include "game/DaceDefaultAnims.h"
#include "game/DaceGunsAnims.h"
#include "game/DaceStealthAnims.h"
#include "game/NPCDefaultAnims.h"
#include "game/PlayerAnim.h"

namespace {

using AI = DaceAnim::AttackInfo;

// What a chain of button presses reaches from the attack in progress: the
// link of the button, or nowhere.
const AI* Press(const AI* from, DaceAnim::AttackType b)
{
    switch (b) {
    case DaceAnim::ATTACK_PUNCH: return from->nextpunchattack;
    case DaceAnim::ATTACK_KICK: return from->nextkickattack;
    case DaceAnim::ATTACK_HIGHATTACK: return from->nexthighattack;
    case DaceAnim::ATTACK_GRAPPLE: return from->nextgrappleattack;
    default: return nullptr;
    }
}

// Every record of the graph.
std::vector<AI*> AllRecords()
{
    std::vector<AI*> v = {&DaceAnim::attackbase,        &DaceAnim::backattackbase, &DaceAnim::runningattackbase,
                          &DaceAnim::lyingdownattackbase, &DaceAnim::gunattackbase, &DaceAnim::gungrapple};
    auto add = [&](AI* a, int n) {
        for (int i = 0; i < n; i++)
            v.push_back(&a[i]);
    };
    add(DaceAnim::level1attacks, 3);
    add(DaceAnim::level2attacks, 3);
    add(DaceAnim::finishingattacks, 9);
    add(DaceAnim::combatgrapples, 8);
    add(DaceAnim::backattacks, 3);
    add(DaceAnim::runningattacks, 3);
    add(DaceAnim::lyingdownattacks, 3);
    add(DaceAnim::gunattacks, 2);
    return v;
}

}  // namespace

TEST(DaceMoveGraph, CombosAlternateAndGrapplesChainFromTheStance)
{
    EXPECT_EQ(sizeof(AI), 24u);
    DaceAnim body;
    ASSERT_EQ(body.curattack, &DaceAnim::attackbase);
    EXPECT_EQ(body.curattackhit, -1);
    EXPECT_EQ(body.curattackblock, -1);

    // Punch, punch, punch: P, PP, P, each of strength 1.
    body.StartAttack(DaceAnim::ATTACK_PUNCH);
    const AI* a = body.curattack;
    std::vector<int> anims = {a->anim}, strengths = {a->strength};
    for (int i = 0; i < 2; i++) {
        a = Press(a, DaceAnim::ATTACK_PUNCH);
        anims.push_back(a->anim);
        strengths.push_back(a->strength);
    }
    EXPECT_EQ(anims, (std::vector<int>{COMBAT_P_ANI, COMBAT_PP_ANI, COMBAT_P_ANI}));
    EXPECT_EQ(anims, (std::vector<int>{165, 169, 165}));
    EXPECT_EQ(strengths, (std::vector<int>{1, 1, 1}));

    // Kick, kick: low from the left, then low from the right, strength 2.
    body.curattack = &DaceAnim::attackbase;
    body.StartAttack(DaceAnim::ATTACK_KICK);
    a = body.curattack;
    EXPECT_EQ(a->anim, 166);
    EXPECT_EQ(a->height, AI::HEIGHT_LOW);
    EXPECT_EQ(a->side, AI::SIDE_LEFT);
    EXPECT_EQ(a->strength, 2);
    a = Press(a, DaceAnim::ATTACK_KICK);
    EXPECT_EQ(a->anim, 170);
    EXPECT_EQ(a->height, AI::HEIGHT_LOW);
    EXPECT_EQ(a->side, AI::SIDE_RIGHT);
    EXPECT_EQ(a->strength, 2);

    // Punch then kick: the first-level kick, never the second.
    body.curattack = &DaceAnim::attackbase;
    body.StartAttack(DaceAnim::ATTACK_PUNCH);
    EXPECT_EQ(Press(body.curattack, DaceAnim::ATTACK_KICK)->anim, COMBAT_K_ANI);

    // A grapple anticipates; any button throws from the hip, from which a
    // kick breaks the arm and a high attack twists it.
    body.curattack = &DaceAnim::attackbase;
    body.StartAttack(DaceAnim::ATTACK_GRAPPLE);
    ASSERT_EQ(body.curattack->anim, 183);
    for (DaceAnim::AttackType b : {DaceAnim::ATTACK_PUNCH, DaceAnim::ATTACK_KICK, DaceAnim::ATTACK_HIGHATTACK,
                                   DaceAnim::ATTACK_GRAPPLE})
        EXPECT_EQ(Press(body.curattack, b)->anim, 187) << b;
    const AI* hip = Press(body.curattack, DaceAnim::ATTACK_PUNCH);
    EXPECT_EQ(Press(hip, DaceAnim::ATTACK_KICK)->anim, 184);
    EXPECT_EQ(Press(hip, DaceAnim::ATTACK_HIGHATTACK)->anim, 185);
    EXPECT_EQ(Press(hip, DaceAnim::ATTACK_PUNCH), nullptr);
    // The grapple links start only from the stance: no combo level has one.
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(DaceAnim::level1attacks[i].nextgrappleattack, nullptr);
        EXPECT_EQ(DaceAnim::level2attacks[i].nextgrappleattack, nullptr);
    }
    // The leg throw, fireman's toss and trip have no way in.
    for (const AI* r : AllRecords())
        for (DaceAnim::AttackType b : {DaceAnim::ATTACK_PUNCH, DaceAnim::ATTACK_KICK, DaceAnim::ATTACK_HIGHATTACK,
                                       DaceAnim::ATTACK_GRAPPLE})
            for (int k = 2; k <= 4; k++)
                EXPECT_NE(Press(r, b), &DaceAnim::combatgrapples[k]) << r->anim;
}

TEST(DaceMoveGraph, TablesLackingAButtonLeaveTheAttackAndFlagsFollowTheBlow)
{
    DaceAnim body;
    body.StartGunAttack(DaceAnim::ATTACK_HIGHATTACK);
    EXPECT_EQ(body.curattack, &DaceAnim::attackbase);
    body.StartBackAttack(DaceAnim::ATTACK_GRAPPLE);
    EXPECT_EQ(body.curattack, &DaceAnim::attackbase);
    body.StartRunningAttack(DaceAnim::ATTACK_NONE);
    EXPECT_EQ(body.curattack, &DaceAnim::attackbase);
    body.StartGunAttack(DaceAnim::ATTACK_KICK);
    EXPECT_EQ(body.curattack->anim, GUNS_KICK_ANI);
    body.StartLyingDownAttack(DaceAnim::ATTACK_HIGHATTACK);
    EXPECT_EQ(body.curattack->anim, COMBAT_LYINGDOWN_H_ANI);
    EXPECT_EQ(body.curattack->strength, 4);
    body.StartRunningAttack(DaceAnim::ATTACK_KICK);
    EXPECT_EQ(body.curattack->anim, COMBAT_RUNNING_K_ANI);
    body.StartBackAttack(DaceAnim::ATTACK_PUNCH);
    EXPECT_EQ(body.curattack->anim, COMBAT_BACK_P_ANI);
    body.StartFinishingAttack(DaceAnim::FINISH_WINDMILLKICK);
    EXPECT_EQ(body.curattack->anim, COMBAT_FINISH_WINDMILLKICK_ANI);
    EXPECT_EQ(body.curattack->strength, 12);

    // A high blow sets no height bit; a blow at someone lying down is low
    // and on the ground; a finishing kick low and finishing, a finishing
    // punch high (no bit) and finishing; a mid punch its mid bit.
    EXPECT_EQ(DaceAnim::level1attacks[2].GetFlags(), 0u);
    EXPECT_EQ(DaceAnim::lyingdownattacks[0].GetFlags(), 0x04800000u);
    EXPECT_EQ(DaceAnim::finishingattacks[DaceAnim::FINISH_KICK].GetFlags(), 0x02800000u);
    EXPECT_EQ(DaceAnim::finishingattacks[DaceAnim::FINISH_PUNCH].GetFlags(), 0x02000000u);
    EXPECT_EQ(DaceAnim::level1attacks[0].GetFlags(), 0x01000000u);
    for (const AI* r : AllRecords())
        EXPECT_EQ(r->GetFlags() & ~DaceAnim::ATTACK_FLAG_MASK, 0u);
}

namespace {

class DaceAnimTable : public ::testing::Test
{
protected:
    playerrig::Rig rig;

    void SetUp() override { ASSERT_EQ(playerrig::PlayerFiles().error, ""); }
    // The tests plant stand-in records in the shared table: none outlives
    // its test.
    void TearDown() override
    {
        std::fill(std::begin(DaceAnim::Anims), std::end(DaceAnim::Anims), nullptr);
        std::fill(std::begin(DaceAnim::AnimBanks), std::end(DaceAnim::AnimBanks), u8(0));
        std::fill(std::begin(DaceAnim::AnimTransitions), std::end(DaceAnim::AnimTransitions), u16(0));
        std::fill(std::begin(DaceAnim::AnimTransMorphLens), std::end(DaceAnim::AnimTransMorphLens), u16(0));
    }

    static AnimChar* Clip(int group, int index) { return g_GlobalAGI.GetAG(group)->pChars[index]; }
};

}  // namespace

TEST_F(DaceAnimTable, InitFillsTheLoadedGroupsAndKeepsTheRowsOfTheOthers)
{
    for (int g : {0, 5, 6, 7, 8})
        ASSERT_NE(rig.Group(g), nullptr);
    // What the stealth numbers held before stays: their group is absent.
    AnimChar sentinel{};
    for (int a = STEALTH_FIRST_ANI; a <= STEALTH_LAST_ANI; a++) {
        DaceAnim::Anims[a] = &sentinel;
        DaceAnim::AnimBanks[a] = 77;
        DaceAnim::AnimTransitions[a] = 1234;
    }
    DaceBody body;
    body.DaceAnim::Init();
    EXPECT_EQ(body.anims, DaceAnim::Anims);
    EXPECT_EQ(body.animbanks, DaceAnim::AnimBanks);

    auto Expect = [](int a, int group, int index, int morph, int next) {
        EXPECT_EQ(DaceAnim::Anims[a], Clip(group, index)) << a;
        EXPECT_EQ(DaceAnim::AnimBanks[a], group) << a;
        EXPECT_EQ(DaceAnim::AnimTransMorphLens[a], morph) << a;
        EXPECT_EQ(DaceAnim::AnimTransitions[a], next) << a;
    };
    Expect(354, 7, Ani_Dace_Guns_Dive_Side_R, 3, 348);
    Expect(228, 6, Ani_Dace_Combat_Knockdown, 0, 229);
    Expect(229, 6, Ani_Dace_Combat_Knockdown_InAir, 10, 230);
    for (int a = 103; a <= 105; a++)
        EXPECT_TRUE(DaceAnim::AnimTransitions[a] == 0 && DaceAnim::AnimTransMorphLens[a] == 45) << a;
    for (int a = 59; a <= 62; a++)
        Expect(a, 5, 9, 0, 0);
    Expect(281, 5, 26, 0, 0);
    Expect(1, 8, 44, 0, 0);
    Expect(20, 8, 10, 0, 0);
    Expect(21, 8, 10, 0, 0);
    Expect(73, 0, 11, 5, 63);
    Expect(9, 8, Ani_Dace_Car_Guns_Warn, 0, 1);
    Expect(165, 6, 9, 0, 0);
    Expect(208, 6, 31, 0, 0);
    Expect(209, 6, 31, 0, 0);
    Expect(147, 6, 50, 0, 0);
    Expect(153, 6, 47, 0, 0);
    for (int a : {274, 275, 276})
        Expect(a, 7, 68, 0, 0);
    for (int a : {106, 107, 108})
        Expect(a, 5, Ani_Dace_Normal_Falling, 0, 0);
    Expect(55, 5, 43, 0, 0);
    Expect(57, 5, 26, 0, 0);
    Expect(183, 6, Ani_Dace_Combat_Grapple_Anticipate, 0, 187);
    Expect(141, 6, 47, 10, 0);
    for (int a = STEALTH_FIRST_ANI; a <= STEALTH_LAST_ANI; a++) {
        EXPECT_EQ(DaceAnim::Anims[a], &sentinel) << a;
        EXPECT_EQ(DaceAnim::AnimBanks[a], 77) << a;
        EXPECT_EQ(DaceAnim::AnimTransitions[a], 1234) << a;
    }
    for (int a : {74, 75, 76, 88, 138, 139, 140, 207, 211, 214, 215, 216, 217, 218, 219, 220, 221, 222, 321, 322})
        EXPECT_EQ(DaceAnim::Anims[a], nullptr) << a;

    // The stealth group arrives: the next Init fills its numbers.
    ASSERT_NE(rig.Group(9), nullptr);
    body.DaceAnim::Init();
    Expect(234, 9, 17, 10, 0);
    Expect(239, 9, Ani_Dace_Stealth_Disarm_Default, 15, 243);
    Expect(256, 9, Ani_Dace_Stealth_Jump, 3, 257);
}

TEST_F(DaceAnimTable, CensusEveryRowOfTheGeneratedGroupsFindsItsClip)
{
    for (int g : {0, 5, 6, 7, 8, 9})
        ASSERT_NE(rig.Group(g), nullptr);
    DaceBody body;
    body.DaceAnim::Init();
    std::set<int> numbers;
    int rows = 0;
    for (const DaceAnim::AnimDef& d : DaceAnim::AnimDefs) {
        rows++;
        numbers.insert(d.anim);
        const AnimGroup* g = g_GlobalAGI.GetAG(d.group);
        ASSERT_NE(g, nullptr) << d.anim;
        ASSERT_LT(int(d.index), g->count) << d.anim;
        EXPECT_NE(DaceAnim::Anims[d.anim], nullptr) << d.anim;
        EXPECT_EQ(DaceAnim::Anims[d.anim], g->pChars[d.index]) << d.anim;
        EXPECT_EQ(DaceAnim::AnimBanks[d.anim], d.group) << d.anim;
        // Groups by number: on foot, fists, stealth, guns, driving.
        const int a = d.anim;
        const int want = a >= 264 && a <= 354 ? (a == 281 ? 5 : 7)
                         : a >= 234 && a <= 263 ? 9
                         : a >= 141 && a <= 233 ? 6
                         : a >= 81 && a <= 137 ? 5
                         : a >= 355          ? 8
                         : a == 73           ? 0
                         : a >= 55 && a <= 62 ? 5
                                              : 8;
        EXPECT_EQ(d.group, want) << a;
    }
    EXPECT_EQ(rows, 339);
    EXPECT_EQ(numbers.size(), 338u);
    for (int a = 1; a < TOTAL_NUM_ANIS; a++) {
        const bool rowless = (a >= 74 && a <= 76) || a == 88 || (a >= 138 && a <= 140) || a == 207 || a == 211 ||
                             (a >= 214 && a <= 222) || a == 321 || a == 322;
        EXPECT_EQ(numbers.count(a) == 0, rowless) << a;
    }
    // The characters' tables read these clips of the player's groups: the
    // grabbed victims' clips, the hostage hold and the shared recoil, the
    // car clips up to the gun warning.
    EXPECT_EQ(g_GlobalAGI.GetAG(6)->count, 89);
    EXPECT_EQ(g_GlobalAGI.GetAG(7)->count, 96);
    EXPECT_EQ(g_GlobalAGI.GetAG(8)->count, 67);
    EXPECT_EQ(g_GlobalAGI.GetAG(9)->count, 30);
    EXPECT_EQ(g_GlobalAGI.GetAG(0)->count, 54);

    // Loops by use, and root motion where the game reads the clip's speed.
    auto clip = [](int a) { return DaceAnim::Anims[a]; };
    for (int a : {PED_IDLE_ANI, PED_WALK_ANI, PED_RUN_ANI, PED_SPRINT_ANI, COMBAT_IDLE_ANI, GUNS_IDLE_ANI,
                  GUNS_WALK_FWD_ANI, STEALTH_IDLE_ANI, STEALTH_WALK_ANI, CAR_IDLE_ANI, BIKE_IDLE_ANI})
        EXPECT_EQ(clip(a)->flags & 1, 1) << a;
    for (int a : {PED_JUMP_TAKEOFF_RUNNING_ANI, COMBAT_P_ANI, GUNS_DIVE_FWD_ANI, CAR_ENTER_L_ANI, PED_GETUP_ANI})
        EXPECT_EQ(clip(a)->flags & 1, 0) << a;
    // Faster gaits carry the body farther each frame.
    auto speed = [&](int a) { return clip(a)->deltaZ / float(clip(a)->length); };
    EXPECT_GT(speed(PED_WALK_ANI), 0.0f);
    EXPECT_LT(speed(PED_WALK_ANI), speed(PED_RUN_ANI));
    EXPECT_LT(speed(PED_RUN_ANI), speed(PED_SPRINT_ANI));
    EXPECT_NEAR(speed(PED_WALK_ANI), 0.02f, 1e-5f);
    for (int a : {PED_JUMP_TAKEOFF_STANDING_ANI, PED_JUMP_TAKEOFF_SPRINTING_ANI, PED_CHASE_TACKLE_ANI,
                  GUNS_DIVE_FWD_ANI, GUNS_JUMP_FWD_ANI, STEALTH_RUN_ANI})
        EXPECT_GT(speed(a), 0.0f) << a;
    EXPECT_LT(speed(GUNS_DIVE_BACK_ANI), 0.0f);
    EXPECT_EQ(clip(PED_IDLE_ANI)->deltaZ, 0.0f);
}

TEST(DaceAnimData, TheBuilderRefusesAPlayerGroupMissingAClip)
{
    for (const tools::PlayerGroup& g : tools::PlayerGroups()) {
        std::vector<tools::ClipRow> rows = tools::PlayerGroupCatalogue(g.group);
        ASSERT_EQ(int(rows.size()), g.tableSize) << g.base;
        // Drop the clip a telling row of the table plays.
        const int gone = g.group == 5 ? 26 : g.group == 6 ? 88 : g.group == 7 ? 68 : g.group == 8 ? 44 : g.group == 9 ? 17 : 11;
        rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const tools::ClipRow& r) { return r.index == gone; }),
                   rows.end());
        tools::AnimGroupFiles out;
        std::string error;
        EXPECT_FALSE(tools::BuildAnimGroup(rows, g.tableSize, tools::PlayerLook(), out, error)) << g.base;
        EXPECT_EQ(error, "no clip for index " + std::to_string(gone) + " of the table") << g.base;
    }
}

TEST_F(DaceAnimTable, AShortGroupFileLeavesItsLaterRowsOutAndSaysSoOnce)
{
    // The fists group cut after its first 40 clips.
    for (int g : {0, 5, 7, 8})
        ASSERT_NE(rig.Group(g), nullptr);
    const AnimGroup* shortfile = rig.Group(6, 40);
    ASSERT_EQ(shortfile->count, 40);
    AnimChar before{};
    for (int a = COMBAT_FIRST_ANI; a <= COMBAT_LAST_ANI; a++)
        DaceAnim::Anims[a] = &before;
    DaceBody body;
    testing::internal::CaptureStdout();
    body.DaceAnim::Init();
    const std::string first = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    body.DaceAnim::Init();
    const std::string second = testing::internal::GetCapturedStdout();

    int left = 0;
    for (const DaceAnim::AnimDef& d : DaceAnim::AnimDefs) {
        if (d.group != 6)
            continue;
        if (d.index < 40) {
            EXPECT_EQ(DaceAnim::Anims[d.anim], shortfile->pChars[d.index]) << d.anim;
            continue;
        }
        left++;
        EXPECT_EQ(DaceAnim::Anims[d.anim], &before) << d.anim;
        const std::string line = "DaceAnim: animation " + std::to_string(d.anim) + " wants clip " +
                                 std::to_string(d.index) + " of group 6, which has 40; left out\n";
        EXPECT_NE(first.find(line), std::string::npos) << line;
    }
    // COMBAT_IDLE_ANI (47) and the kata (50) are among them.
    EXPECT_GT(left, 20);
    EXPECT_EQ(DaceAnim::Anims[COMBAT_IDLE_ANI], &before);
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), left);
    EXPECT_EQ(second, "");
}

TEST(DaceAnimData, TheClipsCarryTheEventsTheHandlersRead)
{
    // The clip row an animation number plays, through the table.
    auto row = [](int a) {
        for (const DaceAnim::AnimDef& d : DaceAnim::AnimDefs)
            if (d.anim == a)
                for (const tools::ClipRow& r : tools::PlayerGroupCatalogue(d.group))
                    if (r.index == d.index)
                        return r;
        ADD_FAILURE() << a << " has no clip";
        return tools::ClipRow{};
    };
    auto events = [&](int a) {
        std::vector<int> e;
        for (const tools::ClipEvent& ev : row(a).events)
            e.push_back(ev.event);
        return e;
    };
    auto has = [&](int a, int ev) {
        const std::vector<int> e = events(a);
        return std::find(e.begin(), e.end(), ev) != e.end();
    };
    // Every blow of the move graph switches its hit volume on and then off,
    // and marks the moment for the mission.
    for (const AI* r : AllRecords()) {
        if (r->strength == 0 || r->type == AI::TYPE_GRAPPLE || (r->anim >= 183 && r->anim <= 190))
            continue;
        const tools::ClipRow c = row(r->anim);
        int on = -1, off = -1;
        for (const tools::ClipEvent& e : c.events) {
            if (e.event == 29)
                on = e.time;
            if (e.event == 30)
                off = e.time;
        }
        EXPECT_GE(on, 0) << r->anim;
        EXPECT_GT(off, on) << r->anim;
        EXPECT_LT(off, int(c.length)) << r->anim;
        EXPECT_TRUE(has(r->anim, 183)) << r->anim;
    }
    EXPECT_TRUE(has(GUNS_IDLE_DRAWGUNS_ANI, 130) && has(GUNS_IDLE_DRAWGUNS_ANI, 131));
    EXPECT_TRUE(has(GUNS_IDLE_PUTAWAY_ANI, 132) && has(GUNS_IDLE_PUTAWAY_ANI, 133));
    EXPECT_TRUE(has(PED_WARN_PHYSICAL_ANI, 136) && has(PED_WARN_PHYSICAL_ANI, 137));
    EXPECT_TRUE(has(GUNS_IDLE_PICKUP_ANI, 144) && has(COMBAT_IDLE_PICKUP_ANI, 144));
    EXPECT_TRUE(has(PED_WARN_GUN_ASSUME_ANI, 45) && has(PED_WARN_GUN_ASSUME_ANI, 46));
    EXPECT_TRUE(has(PED_JUMP_LAND_FALLING_HIGH_ANI, 141) && has(COMBAT_KNOCKDOWN_LAND_ANI, 142));
    EXPECT_TRUE(has(COMBAT_GRAPPLE_HIPTHROW_ANI, 150) && has(COMBAT_GRAPPLE_BROKEN_1_ANI, 151));
    EXPECT_TRUE(has(COMBAT_P_ANI, 170) && has(COMBAT_K_ANI, 171) && has(GUNS_KILLED_ANI, 174));
    // The hand-held siren onto the roof and back (358 puts it on, 357 takes
    // it off), the kick-stand up when mounting and down when getting off.
    EXPECT_EQ(events(DRIVING_IDLE_SIREN_ON_ANI), (std::vector<int>{190, 191}));
    EXPECT_EQ(events(DRIVING_IDLE_SIREN_OFF_ANI), (std::vector<int>{192, 193}));
    EXPECT_TRUE(has(BIKE_UPRIGHT_GETON_KICKSTAND_ANI, 194) && has(BIKE_UPRIGHT_GETON_BACK_ANI, 195));
    EXPECT_TRUE(has(BIKE_GETOFF_L_ANI, 196) && has(BIKE_GETOFF_R_ANI, 197));
}
