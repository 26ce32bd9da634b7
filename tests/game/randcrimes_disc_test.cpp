// A random crime on the sample disc, end to end: the drive to the dojo
// (episode 2, record 1) runs in the game's own loop without a window, with
// the parole violator (group 101) forced.  It breaks out after the spawner's
// first check, waits for its cast while the player walks on (the crowd he
// leaves behind gives up the character slot the crime was promised), its
// suspect is arrested, the outcome shows, the police come and leave, the
// crime ends and deletes itself without leaving its cast behind, and the
// next crime follows after the spawner's cool-down.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/game/disc_run_support.h"
#include "core/config.h"

#include "ZevEngine2/PS2/Platform.h"
#include "game/BadGuy.h"
#include "game/GameFEnt.h"
#include "game/GameFEntChase.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/Guy.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/RandCrimesGenerator.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

std::string CentreText()
{
    MapDisplay* md = g_pgcTest != nullptr ? g_pgcTest->pmd : nullptr;
    if (md == nullptr)
        return "";
    for (const ScreenText& t : md->screentext)
        if (t.stPos == STP_CENTER)
            return t.cText;
    return "";
}

// Runs the game's frames until pred holds or `ticks` logic ticks have
// passed; whether it held.
template <class Pred>
bool RunUntil(Pred pred, int ticks)
{
    const int start = world.time;
    while (!pred()) {
        if (world.time - start > ticks)
            return false;
        MainLoopFrame();
    }
    return true;
}

// The crime's generated suspects that are still there.
std::vector<Enemy*> Suspects(RandomMissionController* c)
{
    std::vector<Enemy*> out;
    for (int k = 0; k < c->i16numegi; k++)
        if (c->regi[k].pegr != nullptr && c->regi[k].pegr->enemy != nullptr)
            out.push_back(c->regi[k].pegr->enemy);
    return out;
}

// Objects of the world whose id names a crime role (suspects, allied
// officers, the victim, the crime's car).
int CrimeRolesInTheWorld()
{
    int n = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        n += o != nullptr && !o->IsDead() && ((o->id <= -101 && o->id >= -176) || o->id == -200);
    }
    return n;
}

// A pavement spot at least `far` from p (and not much farther) where the city
// is loaded, looked for in eight directions.
bool PavementAway(RandomMissionController* c, VectorPos p, float far, VectorPos* out)
{
    for (int k = 0; k < 8; k++) {
        const float a = 0.785398f * float(k);
        const VectorPos q(p[0] + 1.25f * far * std::cos(a), p[1], p[2] + 1.25f * far * std::sin(a));
        float t = -1.0f;
        RoadSeg* seg = FindNearestRoadSeg(q, &t, false);
        if (seg == nullptr)
            continue;
        const VectorPos at = c->GetRandCharacterSidewalkPosition(*seg, t, nullptr);
        const float dx = at[0] - p[0], dz = at[2] - p[2];
        if (dx * dx + dz * dz >= far * far && world.CompleteAt(at)) {
            *out = at;
            return true;
        }
    }
    return false;
}

class RandomCrimeOnTheDisc : public discrun::DiscRun
{
protected:
    RandomCrimeOnTheDisc() : DiscRun(false) {}
    // The disc is written on the host before the machine starts, so its
    // watchdog never times that work.
    void SetUp() override
    {
        std::filesystem::remove_all(dir);
        written = tools::WriteSampleDisc(dir.string(), writeError);
        DiscRun::SetUp();
    }
    void TearDown() override
    {
        console::ResetConfig();
        DiscRun::TearDown();
        std::filesystem::remove_all(dir);
    }

    // The whole sample disc as the disc maker writes it, and the program
    // configured for it as its command line would.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvalis-crime-" + std::to_string(getpid()));
    bool written = false;
    std::string writeError;
};

TEST_F(RandomCrimeOnTheDisc, AForcedParoleViolatorBreaksOutIsArrestedAndTheNextFollowsItsCoolDown)
{
    ASSERT_TRUE(written) << writeError;
    // The run needs the program's logic, not its pictures: the GS draws no
    // pixels (what is drawn, and so seen, is the program's own business).
    std::string program = "randcrimes_disc_test", option = "--disc", disc = dir.string();
    std::string nopixels = "--gs-no-pixels";
    char* args[] = {program.data(), option.data(), disc.data(), nopixels.data(), nullptr};
    int argc = 4;
    console::Configure(argc, args, console::ConfigureMode::kTest);
    StartUp(0, nullptr);
    GameController* gc = g_pgcTest;
    StartRun(2, 1);
    gc->i16RCrimeOverride = 1;
    auto* spawner = static_cast<RandomMissionSpawner*>(gc->prms);
    ASSERT_NE(spawner, nullptr);
    const int created = world.time;

    // The first check, 720 frames on, starts the forced crime.
    ASSERT_TRUE(RunUntil([&] { return spawner->rcoCurrent.p != nullptr; }, 800));
    EXPECT_GE(world.time - created, 720);
    EXPECT_LE(world.time - created, 724);
    const int made = world.time;
    EXPECT_TRUE(gc->bRandomMissionActive);
    auto* c = static_cast<RandomMissionController*>(spawner->rcoCurrent.p);
    RCptr<Object> hold = c;
    EXPECT_EQ(c->prmp, &rgg101rmp[0]);

    // After 300 frames it asks for its cast: its characters are found among
    // the walkers' models or promised a walkers' slot, which no new walker
    // or driver takes from now on.
    ASSERT_TRUE(RunUntil([&] { return c->iNumAssets > 0; }, 320));
    EXPECT_GE(world.time - made, 300);
    std::vector<int> promised;
    for (int k = 0; k < c->iNumAssets; k++) {
        const AssetLoadParams& a = c->ralp[k];
        if (a.atype != AT_AMBCHAR || a.i16Index < 0)
            continue;
        ASSERT_GE(a.i16Index, 80);
        ASSERT_LE(a.i16Index, 84);
        EXPECT_TRUE(g_GlobalMFI.GetMFI(a.i16Index).i16Flags & MFI_RECYCLE);
        if (g_GlobalMFI.GetID(a.i16Index) != a.i16MFID)
            promised.push_back(k);
    }
    // The officers' model is no walker's: it is always promised a slot.
    EXPECT_FALSE(promised.empty());
    EXPECT_EQ(c->mode, 1);

    // The player walks on to another street; the walkers and cars he
    // leaves behind go, and with the last of them the promised slot empties
    // and the cast streams in.  After its wait the crime becomes active, the
    // start text centred, and its suspect appears.
    ASSERT_NE(dace, nullptr);
    VectorPos away;
    ASSERT_TRUE(PavementAway(c, dace->GetWorldPos(), 100.0f, &away));
    dace->mat.SetTrans(away);
    ASSERT_TRUE(RunUntil([&] { return c->mode == RCM_ACTIVE; }, 600)) << int(c->mode);
    for (int k : promised)
        EXPECT_EQ(g_GlobalMFI.GetID(c->ralp[k].i16Index), c->ralp[k].i16MFID) << k;
    EXPECT_EQ(CentreText(), "PAROLE VIOLATOR");
    ASSERT_TRUE(RunUntil([&] { return !Suspects(c).empty(); }, 120));
    ASSERT_EQ(Suspects(c).size(), 1u);
    Enemy* suspect = Suspects(c)[0];
    EXPECT_EQ(suspect->id, -101);
    // The start text holds the centre of the screen for its 300 frames (a
    // text posted there meanwhile is not shown).
    ASSERT_TRUE(RunUntil([&] { return CentreText().empty(); }, 320));

    // Met by the player: engaged.
    ASSERT_NE(dace, nullptr);
    const VectorPos at = dace->GetWorldPos();
    suspect->mat.SetTrans(VectorPos(at[0] + 0.5f, at[1], at[2]));
    ASSERT_TRUE(RunUntil([&] { return c->mode == RCM_ENGAGED; }, 30)) << int(c->mode);

    // Arrested, as the end of the arrest does it: out of play, and the
    // news to its event object.
    for (Enemy* e : Suspects(c)) {
        e->flags |= GUYF_BUSTED | ENEMYF_AIRBORNE;
        SpecialMessage busted(SMSG_EV_ENEMY_SUBDUED, e);
        e->gameeventobj->messagehandler(e->gameeventobj, OM_SPECIAL, &busted);
    }
    ASSERT_TRUE(RunUntil([&] { return c->mode == RCM_WRAPUP; }, 30)) << int(c->mode);
    EXPECT_EQ(CentreText(), "CRIME FULLY RESOLVED!\nSuspect in custody...\n");
    EXPECT_EQ(c->iNumEnemiesBusted, 1);
    // The police come, and drive off again 301 frames after the call.
    ASSERT_NE(c->lastcopcar.p, nullptr);
    ASSERT_NE(c->lastcop[0].p, nullptr);
    ASSERT_NE(c->lastcop[1].p, nullptr);
    auto* police = static_cast<Vehicle*>(c->lastcopcar.p);
    RCptr<Object> policeHold = police;
    ASSERT_NE(police->rcoDriver.p, nullptr);
    auto* copDriver = static_cast<CarDriver*>(police->rcoDriver.p);
    EXPECT_EQ(copDriver->i16DriveMode, 10);
    ASSERT_TRUE(RunUntil([&] { return copDriver->i16DriveMode == 6; }, 320));
    EXPECT_GE(world.time - c->iCallTheCopsTime, 301);

    // The player walks off: the arrested suspect is left behind and the
    // crime, unseen for 181 frames, goes inactive, ends and deletes itself
    // 180 frames later, with none of its cast left.
    suspect->mat.SetTrans(VectorPos(at[0] + 40.0f, at[1], at[2]));
    ASSERT_TRUE(RunUntil([&] { return c->IsDead(); }, 1000)) << int(c->mode);
    EXPECT_EQ(CrimeRolesInTheWorld(), 0);
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(gc->i16RCrimeCharRemap[k], -1);
        EXPECT_EQ(gc->i16RCrimeVehRemap[k], -1);
    }
    EXPECT_EQ(gc->pMission, dace->gameeventobj);

    // The spawner sees it at its next check; its next check, which starts
    // the next crime, comes 900 to 1740 frames after that.  (A crime a
    // walker reports to it may start before then: the walkers' thoughts
    // follow the random numbers.)
    ASSERT_TRUE(RunUntil([&] { return spawner->rcoCurrent.p == nullptr; }, 200));
    EXPECT_FALSE(gc->bRandomMissionActive);
    const unsigned reaped = unsigned(world.timePrecise);
    const Timer* next = nullptr;
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        if (t->obj == spawner)
            next = t;
    ASSERT_NE(next, nullptr);
    const unsigned wait = (unsigned(next->time) - reaped) >> 8;
    EXPECT_GE(wait, 900u - 4);
    EXPECT_LE(wait, 1740u + 4);
    ASSERT_TRUE(RunUntil([&] { return spawner->rcoCurrent.p != nullptr; }, 1800));

    hold = nullptr;
    policeHold = nullptr;
    gc->CleanupLevel();
    gc->pMission = nullptr;
    gc->prms = nullptr;
    world.Reset();
}

}  // namespace
