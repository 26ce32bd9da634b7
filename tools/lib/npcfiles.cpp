// The enemies' animation groups (see npcfiles.h).
#include "tools/lib/npcfiles.h"

#include <span>

#include "game/NPCCombatAnims.h"
#include "game/NPCDefaultAnims.h"
#include "game/NPCGuardAnims.h"
#include "game/NPCPistolAnims.h"
#include "game/NPCSprintAnims.h"

namespace tools {

namespace {

// Events of the enemies' animation handlers.
enum : u16
{
    kEvDraw = 131,
    kEvHolster = 133,
    kEvShakeVerticalMinor = 140,
    kEvShakeVerticalMajor = 141,
    kEvShakeHorizontalMinor = 142,
    kEvShakeHorizontalMajor = 143,
    kEvHurt = 160,
    kEvKnockdown = 161,
    kEvChoke = 162,
    kEvKilled = 163,
    kEvTaunt = 164,
    kEvBattleCry = 165,
    kEvBattleCryBig = 166,
    kEvSeparate = 150,
    kEvHurtPaired10 = 151,
    kEvHurtPaired4 = 152,
    kEvHurtPaired6 = 153,
};

// A fighter's blows and grapple moves, and so the held character's answer.
constexpr u16 kGrappleMoveLength = 24;

constexpr float kWalk = 0.02f, kRun = 0.06f, kSprint = 0.1f;
const MotionParams kLeft{0.0f, 1.0f, true};
const MotionParams kRight{0.0f, 1.0f, false};

std::vector<ClipRow> Sprint()
{
    Catalogue c(0, NPCSprintAnims_Count);
    c.Gait(Ani_NPC_Run, kMotionRun, kRun, 20)
        .Gait(Ani_NPC_Sprint, kMotionRun, kSprint, 16)
        .Once(Ani_NPC_Sprint_Getbearings, kMotionIdle, 40)
        .Gait(Ani_NPC_Sprint_Lookback, kMotionRun, kRun, 20, false)
        .Once(Ani_NPC_Sprint_Fireback_L, kMotionGunPose, 20, {}, kLeft)
        .Once(Ani_NPC_Sprint_Fireback_R, kMotionGunPose, 20, {}, kRight)
        .Once(Ani_NPC_Sprint_Recoil, kMotionHit, 15, {{2, kEvHurt}})
        .Once(Ani_NPC_Sprint_Recoil_Legs, kMotionHit, 15, {{2, kEvHurt}})
        .Once(Ani_NPC_Sprint_Shove_L, kMotionGesture, 20, {}, kLeft)
        .Once(Ani_NPC_Sprint_Shove_R, kMotionGesture, 20, {}, kRight)
        .Once(Ani_NPC_Sprint_Tackled, kMotionFall, 40, {{4, kEvKnockdown}, {20, kEvShakeVerticalMinor}})
        .Once(Ani_NPC_Sprint_Trip, kMotionFall, 40, {{20, kEvShakeVerticalMinor}})
        .Once(Ani_NPC_Sprint_Yank_L, kMotionGesture, 20, {}, kLeft)
        .Once(Ani_NPC_Sprint_Yank_R, kMotionGesture, 20, {}, kRight)
        .Gait(Ani_NPC_Sprint_Start_L, kMotionRun, kRun, 10, false)
        .Gait(Ani_NPC_Sprint_Start_R, kMotionRun, kRun, 10, false)
        .Gait(Ani_NPC_Walk, kMotionWalk, kWalk, 30)
        .Gait(Ani_NPC_Walk_Lookback, kMotionWalk, kWalk, 30, false);
    return c.Finish();
}

std::vector<ClipRow> Pistol()
{
    Catalogue c(0, NPCPistolAnims_Count);
    c.Once(Ani_NPC_Pistol_Gun_Duck, kMotionGunPose, 30, {}, {0.0f, 0.6f, false})
        .Once(Ani_NPC_Pistol_Gun_Recoil, kMotionHit, 15, {{2, kEvHurt}})
        .Once(Ani_NPC_Pistol_Gun_Duck_Recoil, kMotionHit, 15, {{2, kEvHurt}})
        .Once(Ani_NPC_Pistol_Gun_Duck_Reload, kMotionGesture, 40)
        .Once(Ani_NPC_Pistol_Gun_Knockdown, kMotionFall, 40, {{3, kEvKnockdown}, {20, kEvShakeVerticalMinor}})
        .Once(Ani_NPC_Pistol_Gun_Duck_Roll_L, kMotionFall, 30, {}, kLeft)
        .Once(Ani_NPC_Pistol_Gun_Duck_Roll_R, kMotionFall, 30, {}, kRight)
        .Once(Ani_NPC_Pistol_Gun_Getup, kMotionGesture, 30)
        .Once(Ani_NPC_Pistol_Gun_Grappled, kMotionHit, 20, {{2, kEvChoke}})
        .Loop(Ani_NPC_Pistol_Gun_Grappled_Idle, kMotionIdle, 30)
        .Gait(Ani_NPC_Pistol_Gun_Grappled_Walk_Back, kMotionWalk, -0.015f, 32, false)
        .Gait(Ani_NPC_Pistol_Gun_Grappled_Walk_Fwd, kMotionWalk, 0.015f, 32, false)
        .Once(Ani_NPC_Pistol_Gun_Grappled_Walk_Left, kMotionWalk, 32)
        .Once(Ani_NPC_Pistol_Gun_Grappled_Walk_Right, kMotionWalk, 32)
        .Once(Ani_NPC_Pistol_Gun_Grappled_Release, kMotionGesture, 20)
        .Loop(Ani_NPC_Pistol_Gun_Idle, kMotionGunPose, 30)
        .Loop(Ani_NPC_Pistol_Gun_Idle_Fire, kMotionGunPose, 10)
        .Once(Ani_NPC_Pistol_Gun_Killed, kMotionFall, 40, {{2, kEvKilled}, {30, kEvShakeHorizontalMinor}})
        .Once(Ani_NPC_Pistol_Gun_Killed2, kMotionFall, 40, {{2, kEvKilled}})
        .Once(Ani_NPC_Pistol_Gun_Neutralized_L, kMotionFall, 40, {}, kLeft)
        .Once(Ani_NPC_Pistol_Gun_Killed_Fall, kMotionFall, 12, {{2, kEvKilled}})
        .Loop(Ani_NPC_Pistol_Gun_Killed_Fall_Inair, kMotionIdle, 10)
        .Once(Ani_NPC_Pistol_Gun_Neutralized_Legs, kMotionFall, 40)
        .Once(Ani_NPC_Pistol_Gun_Neutralized_R, kMotionFall, 40, {}, kRight)
        .Once(Ani_NPC_Pistol_Gun_Killed_Fall_Land, kMotionFall, 20, {{1, kEvShakeVerticalMajor}})
        .Gait(Ani_NPC_Pistol_Gun_Run, kMotionRun, kRun, 20)
        .Loop(Ani_NPC_Pistol_Gun_Lyingdown, kMotionIdle, 30)
        .Once(Ani_NPC_Pistol_Gun_Lyingdown_Recoil, kMotionHit, 15, {{2, kEvHurt}})
        .Once(Ani_NPC_Pistol_Gun_Lyingdown_Killed, kMotionFall, 30, {{2, kEvKilled}})
        .Gait(Ani_NPC_Pistol_Gun_Walk_Back, kMotionWalk, -kWalk, 32)
        .Gait(Ani_NPC_Pistol_Gun_Walk_Fwd, kMotionWalk, kWalk, 32)
        .Loop(Ani_NPC_Pistol_Gun_Walk_Left, kMotionWalk, 32)
        .Loop(Ani_NPC_Pistol_Gun_Walk_Right, kMotionWalk, 32)
        .Once(Ani_NPC_Pistol_Gun_Reload, kMotionGesture, 40, {{5, kEvHolster}, {30, kEvDraw}})
        .Loop(Ani_NPC_Pistol_Gun_Carcass_Idle_L, kMotionIdle, 30)
        .Once(Ani_NPC_Pistol_Gun_Carcass_Recoil_L, kMotionHit, 15, {{2, kEvHurt}})
        .Loop(Ani_NPC_Pistol_Gun_Carcass_Idle_R, kMotionIdle, 30)
        .Once(Ani_NPC_Pistol_Gun_Carcass_Recoil_R, kMotionHit, 15, {{2, kEvHurt}})
        .Once(Ani_NPC_Pistol_Gun_Carcass_Killed_Land, kMotionFall, 20)
        .Loop(Ani_NPC_Pistol_Gun_Copter_Idle_L, kMotionGunPose, 30, kLeft)
        .Loop(Ani_NPC_Pistol_Gun_Copter_Fire_L, kMotionGunPose, 10, kLeft)
        .Loop(Ani_NPC_Pistol_Gun_Copter_Idle_R, kMotionGunPose, 30, kRight)
        .Loop(Ani_NPC_Pistol_Gun_Copter_Fire_R, kMotionGunPose, 10, kRight)
        .Loop(Ani_NPC_Pistol_Gun_Sunroof_Idle, kMotionGunPose, 30)
        .Loop(Ani_NPC_Pistol_Gun_Sunroof_Fire, kMotionGunPose, 10)
        .Once(Ani_NPC_Pistol_Gun_Sunroof_Recoil, kMotionHit, 15, {{2, kEvHurt}})
        .Loop(Ani_NPC_Pistol_Gun_Carcass_Killed_Inair, kMotionIdle, 10)
        .Once(Ani_NPC_Pistol_Gun_Sunroof_Killed, kMotionFall, 30, {{2, kEvKilled}})
        .Loop(Ani_NPC_Pistol_Gun_Movingtruck_Idle, kMotionGunPose, 30)
        .Once(Ani_NPC_Pistol_Lying_Down_Killed, kMotionFall, 30, {{2, kEvKilled}});
    return c.Finish();
}

std::vector<ClipRow> Guard()
{
    Catalogue c(0, NPCGuardAnims_Count);
    c.Once(Ani_NPC_Guard_Alarm_Pulloutgun, kMotionGesture, 30, {{10, kEvDraw}})
        .Once(Ani_NPC_Guard_Alarm_Vocal, kMotionGesture, 30)
        .Once(Ani_NPC_Guard_Bump_Pulloutgun, kMotionGesture, 30, {{10, kEvDraw}})
        .Once(Ani_NPC_Guard_Bump_Vocal, kMotionGesture, 30)
        .Once(Ani_NPC_Guard_Disarmed, kMotionHit, 20)
        .Loop(Ani_NPC_Guard_Disarmed_Idle, kMotionIdle, 30)
        .Gait(Ani_NPC_Guard_Disarmed_Back, kMotionWalk, -0.015f, 32, false)
        .Once(Ani_NPC_Guard_Disarmed_Drop, kMotionGesture, 30, {{10, kEvHolster}})
        .Once(Ani_NPC_Guard_Disarmed_K, kMotionHit, 20)
        .Once(Ani_NPC_Guard_Disarmed_P, kMotionHit, 20)
        .Loop(Ani_NPC_Guard_Idle, kMotionIdle, 60)
        .Once(Ani_NPC_Guard_Idle_Special_1, kMotionGesture, 60)
        .Once(Ani_NPC_Guard_Idle_Special_2, kMotionGesture, 60, {}, kLeft)
        .Once(Ani_NPC_Guard_Idle_Special_3, kMotionIdle, 60)
        .Loop(Ani_NPC_Guard_Idle_Celltalk, kMotionGesture, 60, kLeft)
        .Once(Ani_NPC_Guard_Idle_Celltalk_Stop, kMotionGesture, 20, {}, kLeft)
        .Loop(Ani_NPC_Guard_Idle_Dozingoff, kMotionIdle, 60, {0.0f, 0.3f, false})
        .Once(Ani_NPC_Guard_Idle_Dozingoff_Stop, kMotionIdle, 20)
        .Once(Ani_NPC_Guard_Idle_Lookaround, kMotionIdle, 60, {}, {0.0f, 2.0f, false})
        .Once(Ani_NPC_Guard_Idle_Check, kMotionIdle, 60, {}, {0.0f, 2.0f, false})
        .Loop(Ani_NPC_Guard_Idle_Turnaround_Marktime, kMotionWalk, 32)
        .Gait(Ani_NPC_Guard_Walk, kMotionWalk, kWalk, 32)
        .Once(Ani_NPC_Guard_Killed, kMotionFall, 40, {{2, kEvKilled}})
        .Once(Ani_NPC_Guard_Killed_Slow, kMotionFall, 60, {{2, kEvKilled}});
    return c.Finish();
}

// The fighters' moves by combat slot (walk, steps, back-aways, run): each
// carries the fighter the way the move is named, so the steering, which
// only turns, moves it sideways round its foe or back out of reach.  Loops
// are short: the move is chosen again at each loop's end, and a loop's
// travel stays within the ring the choice was made in.
void CombatGait(Catalogue& c, int slot, int k)
{
    constexpr u16 kStepLoop = 20;
    constexpr float kStep = 0.015f;
    switch (slot) {
    case 39: case 40: c.SideStep(k, -kStep, kStepLoop); break;           // left
    case 41: case 42: c.SideStep(k, kStep, kStepLoop); break;            // right
    case 43: case 44: case 46: c.Gait(k, kMotionWalk, -kStep, kStepLoop); break;   // back
    case 47: c.Gait(k, kMotionRun, kRun, 20); break;
    default: c.Gait(k, kMotionWalk, kWalk, kStepLoop); break;            // forward
    }
}

// A fighting group: slot k of the combat slots is a clip of the group (the
// overlay definitions say which); a blow where the slot is an attack.
std::vector<ClipRow> Fighting(int count, const s16* defs, float amount, std::span<const s16> grappled = {})
{
    Catalogue c(0, count);
    c.StrikeWithHands();
    std::vector<bool> done(size_t(count), false);
    // What the held character plays against the style's grapples: hurt as
    // the fighter's move strikes (a third of the way into its blow), free to
    // part from it three quarters in.
    for (size_t i = 0; i < grappled.size(); i++) {
        const int k = grappled[i];
        if (k < 0 || k >= count || done[size_t(k)])
            continue;
        done[size_t(k)] = true;
        std::vector<ClipEvent> ev;
        if (i % 3 == 0)
            ev = {{8, kEvHurtPaired4}, {12, kEvHurtPaired6}};
        else if (i % 3 == 1)
            ev = {{8, kEvHurtPaired10}};
        else
            ev = {{8, kEvHurtPaired6}, {12, kEvHurtPaired4}};
        ev.push_back({18, kEvSeparate});
        c.Once(k, kMotionHit, kGrappleMoveLength, ev);
    }
    for (int slot = 0; slot < NPCCombatSlots; slot++) {
        const int k = defs != nullptr ? defs[slot] : slot;
        if (k < 0 || k >= count || done[size_t(k)])
            continue;
        done[size_t(k)] = true;
        if (slot >= 10 && slot <= 33) {
            std::vector<ClipEvent> extra;
            if (slot == 10)
                extra.push_back({2, kEvBattleCry});
            if (slot >= 31)
                extra.push_back({2, kEvBattleCryBig});
            c.Blow(k, kGrappleMoveLength, (slot & 1) != 0, extra, amount);
        } else if (slot == 9) {
            // The taunt loops: a fighter that picks it again while taunting
            // keeps it, and only its loop brings the next choice.
            c.Clip(k, kMotionGesture, 40, true, {}, {{5, kEvTaunt}});
        } else if (slot >= 37 && slot <= 47) {
            CombatGait(c, slot, k);
        } else if (slot == 48 || slot == 49) {
            c.Once(k, kMotionGesture, 30);
        } else if (slot == 50 || slot == 51) {
            // A recoil lasts the 30 frames in which a fighter hit again does
            // not guard, so that blows may follow each other into a combo.
            c.Once(k, kMotionHit, 30, {{2, kEvHurt}, {3, kEvShakeHorizontalMinor}});
        } else {
            c.Loop(k, kMotionIdle, 40, {0.0f, amount, false});
        }
    }
    return c.Finish();
}

}  // namespace

void AddEnemyDefaultClips(Catalogue& c)
{
    c.Once(Ani_NPC_Arrested, kMotionGesture, 40)
        .Once(Ani_NPC_Combat_Grappled, kMotionHit, 30, {{2, kEvChoke}})
        .Once(Ani_NPC_Arrested_But_Down, kMotionGesture, 40)
        .Once(Ani_NPC_Arrested_Release, kMotionGesture, 30)
        .Once(Ani_NPC_Combat_Knockdown, kMotionFall, 40, {{3, kEvKnockdown}, {20, kEvShakeVerticalMajor}})
        .Once(Ani_NPC_Combat_Knockdown_Roll_L, kMotionFall, 30, {}, kLeft)
        .Once(Ani_NPC_Combat_Knockdown_Roll_R, kMotionFall, 30, {}, kRight)
        .Loop(Ani_NPC_Combat_Recoil_Inair, kMotionHit, 10)
        .Once(Ani_NPC_Combat_Recoil_Inair_Fall, kMotionFall, 30, {{1, kEvShakeVerticalMinor}})
        .Once(Ani_NPC_Combat_Recoil_Wall, kMotionHit, 20, {{1, kEvShakeHorizontalMajor}})
        .Once(Ani_NPC_Combat_Recoil_Wall_Fall, kMotionFall, 30)
        .Once(Ani_NPC_Combat_Recoil_Wall_Getup, kMotionGesture, 30)
        .Loop(Ani_NPC_Struggle_Attacker, kMotionGesture, 30)
        .Once(Ani_NPC_Struggle_Attacker_Getup, kMotionGesture, 30)
        .Loop(Ani_NPC_Struggle_Victim, kMotionHit, 30)
        .Once(Ani_NPC_Struggle_Victim_Getup, kMotionGesture, 30)
        .Once(Ani_NPC_Harrass_Gun_Assume, kMotionGunPose, 20)
        .Once(Ani_NPC_Giveup, kMotionGesture, 40)
        .Loop(Ani_NPC_Harrass_Gun_Idle, kMotionGunPose, 30)
        .Once(Ani_NPC_Harrass_Knife_Assume, kMotionGesture, 20)
        .Loop(Ani_NPC_Harrass_Knife_Idle, kMotionGesture, 30)
        .Once(Ani_NPC_Harrassed_Female_Assume, kMotionHit, 20)
        .Once(Ani_NPC_Killed, kMotionFall, 40, {{2, kEvKilled}})
        .Loop(Ani_NPC_Harrassed_Female_Idle, kMotionIdle, 30)
        .Once(Ani_NPC_Knocked_Away, kMotionFall, 30, {{1, kEvKnockdown}})
        .Once(Ani_NPC_Knocked_Up, kMotionFall, 30, {{1, kEvKnockdown}})
        .Loop(Ani_NPC_Lying_Down, kMotionIdle, 30, {0.0f, 0.2f, false})
        .Once(Ani_NPC_Harrassed_Male_Assume, kMotionHit, 20)
        .Loop(Ani_NPC_Harrassed_Male_Idle, kMotionIdle, 30)
        .Once(Ani_NPC_Sprint_Tackled_Getup, kMotionGesture, 30)
        .Gait(Ani_NPC_Sprint_Takecover, kMotionRun, kRun, 20, false)
        .Once(Ani_NPC_Getup, kMotionGesture, 30)
        .Once(Ani_NPC_Getup_Hurt, kMotionGesture, 45)
        .Once(Ani_NPC_Roll_Hurt, kMotionFall, 30, {{2, kEvHurt}})
        .Once(Ani_NPC_Lying_Down_Recoil, kMotionHit, 15, {{2, kEvHurt}})
        .Once(Ani_NPC_Lying_Down_Dead, kMotionFall, 30)
        .Once(Ani_NPC_Run_Over, kMotionFall, 40, {{1, kEvShakeVerticalMinor}})
        .Once(Ani_NPC_Run_Over_Dead, kMotionFall, 40, {{1, kEvKilled}})
        .Loop(Ani_NPC_Knocked_Away_Hurt, kMotionFall, 30)
        .Loop(Ani_NPC_Knocked_Up_Hurt, kMotionFall, 30)
        .Gait(Ani_NPC_Cartrans_Car_Jump_Back, kMotionRun, -kRun, 20, false)
        .Gait(Ani_NPC_Cartrans_Car_Jump_Fwd, kMotionRun, kRun, 20, false)
        .Loop(Ani_NPC_Idle_Stand, kMotionIdle, 60)
        .Once(Ani_NPC_Roll, kMotionFall, 30)
        .Once(Ani_NPC_Shoved_L, kMotionHit, 20, {}, kLeft)
        .Once(Ani_NPC_Shoved_R, kMotionHit, 20, {}, kRight);
}

const std::vector<PlayerGroup>& NPCGroups()
{
    static const std::vector<PlayerGroup> groups = {
        {1, "NPCSPR", NPCSprintAnims_Count},        {2, "NPCPSTL", NPCPistolAnims_Count},
        {3, "NPCMGUN", NPCPistolAnims_Count},       {4, "NPCGUARD", NPCGuardAnims_Count},
        {10, "NPCKNGFU", NPCKungFuAnims_Count},     {11, "NPCKARAT", NPCKarateAnims_Count},
        {12, "NPCBOXER", NPCBoxerAnims_Count},      {13, "NPCBRWLR", NPCBrawlerAnims_Count},
        {14, "NPCKNIFE", NPCKnifeAnims_Count},      {15, "NPCMCOMB", NPCMaleCombatAnims_Count},
        {16, "NPCFCOMB", NPCFemaleCombatAnims_Count},
    };
    return groups;
}

std::vector<ClipRow> NPCGroupCatalogue(int group)
{
    switch (group) {
    case 1: return Sprint();
    case 2: return Pistol();
    case 3: return Pistol();
    case 4: return Guard();
    case 10: return Fighting(NPCKungFuAnims_Count, nullptr, 1.0f);
    case 11: return Fighting(NPCKarateAnims_Count, KarateOverlayDefs, 1.2f, KarateGrappledClips);
    case 12: return Fighting(NPCBoxerAnims_Count, BoxerOverlayDefs, 0.9f, BoxerGrappledClips);
    case 13: return Fighting(NPCBrawlerAnims_Count, BrawlerOverlayDefs, 1.3f, BrawlerGrappledClips);
    case 14: return Fighting(NPCKnifeAnims_Count, KnifeOverlayDefs, 1.1f, KnifeGrappledClips);
    case 15: return Fighting(NPCMaleCombatAnims_Count, MaleOverlayDefs, 0.8f);
    case 16: return Fighting(NPCFemaleCombatAnims_Count, FemaleOverlayDefs, 0.7f);
    default: return {};
    }
}

HumanoidLook EnemyLook()
{
    HumanoidLook l;
    l.charid = 2;
    l.shirt = Colour(120, 40, 40, 128);
    return l;
}

bool BuildNPCGroup(const PlayerGroup& g, AnimGroupFiles& out, std::string& error)
{
    if (!BuildAnimGroup(NPCGroupCatalogue(g.group), g.tableSize, EnemyLook(), out, error)) {
        error = std::string(g.base) + ".ANI: " + error;
        return false;
    }
    return true;
}

}  // namespace tools
