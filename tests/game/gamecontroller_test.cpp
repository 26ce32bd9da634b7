// The game controller: its start values, progress tables and services, the
// mission scripts walked with fake step functions, and the message handler's
// hand-over from a game mode's end to the next run of the script.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

// The fake steps: what each record's step is asked, and what it answers.
struct FakeStep
{
    std::vector<int> results;   // answered in turn; the last one repeats
    std::vector<int> steps;     // the steps it was called with
};
std::map<const GamePlayRecord*, FakeStep> g_fakes;
GameController* g_gc;

int CallFake(const GamePlayRecord* rec, int step)
{
    FakeStep& f = g_fakes[rec];
    f.steps.push_back(step);
    const size_t i = std::min(f.steps.size() - 1, f.results.size() - 1);
    return f.results.empty() ? -1 : f.results[i];
}

// One step function for every faked record: it finds its record through the
// controller's current record.
int Fake(GameController& gc, int step, int)
{
    return CallFake(gc.pgprCurr, step);
}

// Replaces the step functions of every episode with the fake, restoring them
// afterwards; the jumps stay the real ones.
class Scripts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int m = 0; m < NUM_MISSIONS; m++)
            for (int r = 0; r < rgMissionRecordCounts[m]; r++) {
                GamePlayRecord& rec = rgMissions[m].pgpr[r];
                saved.push_back(rec);
                rec.pgdf = Fake;
            }
        g_fakes.clear();
        g_gc = new GameController(nullptr);
        ASSERT_NE(g_gc, nullptr);
    }
    void TearDown() override
    {
        size_t i = 0;
        for (int m = 0; m < NUM_MISSIONS; m++)
            for (int r = 0; r < rgMissionRecordCounts[m]; r++)
                rgMissions[m].pgpr[r] = saved[i++];
        g_gc->Delete();
        g_gc = nullptr;
    }
    static GamePlayRecord* Rec(int m, int r) { return &rgMissions[m].pgpr[r]; }
    static FakeStep& F(int m, int r) { return g_fakes[Rec(m, r)]; }

    std::vector<GamePlayRecord> saved;
};

TEST_F(Scripts, JumpsRunTheNextRecordInTheSameCallAndRerunFromStepZero)
{
    GameController& gc = *g_gc;
    // Record 0 of episode 2 jumps 0 both ways: record 1 starts at once.
    gc.SwitchToMission(2, 0, 0);
    F(2, 0).results = {-1};
    F(2, 1).results = {0};
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(2, 1));
    EXPECT_EQ(F(2, 1).steps, std::vector<int>({0}));
    // Keep: an unfinished step holds its record; its answer comes back as
    // the step next time.
    F(2, 1) = FakeStep{{3, -1, 0}, {}};
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(2, 1));
    EXPECT_EQ(gc.iGPREntryIndex, 3);
    // Lost (2): record 1's failure jump -1 runs it again from step 0.
    gc.iMissionRet = 2;
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(2, 1));
    EXPECT_EQ(F(2, 1).steps, std::vector<int>({0, 3, 0}));

    // Record 18 jumps -17 on success: back to record 2.
    gc.SwitchToMission(2, 18, 0);
    gc.iMissionRet = 1;
    F(2, 18).results = {-1};
    F(2, 2).results = {0};
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(2, 2));
}

TEST_F(Scripts, ResultsPickTheirJumpAndLoopRepeats)
{
    GameController& gc = *g_gc;
    // Distinct jumps on record 0: 1, 2, 3, 4 go to records 2, 3, 4, 5.
    GamePlayRecord& r0 = *Rec(2, 0);
    r0.iOffsetSuccess = 1;
    r0.iOffsetFailure = 2;
    r0.iOffsetSecondarySuccess = 3;
    r0.iOffsetSecondaryFailure = 4;
    for (int r = 2; r <= 5; r++)
        F(2, r).results = {0};
    F(2, 0).results = {-1};
    const struct
    {
        int ret, record;
    } cases[] = {{0, 2}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 5}, {-3, 5}};
    for (const auto& c : cases) {
        gc.SwitchToMission(2, 0, 0);
        gc.iGPREntryIndex = 0;
        gc.iMissionRet = c.ret;
        EXPECT_EQ(gc.ProcessGPRecord(), 1);
        EXPECT_EQ(gc.pgprCurr, Rec(2, c.record)) << "result " << c.ret;
    }

    // With the loop value set a finished record starts again, the result
    // cleared, whatever its jumps.
    gc.SwitchToMission(2, 0, 1);
    gc.iMissionRet = 2;
    F(2, 0).results = {-1, 0};
    F(2, 0).steps.clear();
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(2, 0));
    EXPECT_EQ(gc.iMissionRet, 0);
    EXPECT_EQ(F(2, 0).steps, std::vector<int>({0, 0}));
}

TEST_F(Scripts, TheDemoRunEndsOnSuccessAndGoesOnToEpisodeThreeOnFailure)
{
    GameController& gc = *g_gc;
    // Success of record 5 runs record 6, whose jumps solve episode 2, whose
    // solved row ends the run.
    gc.SwitchToMission(2, 5, 0);
    EXPECT_EQ(gc.GetEpisodeState(2), ES_OPEN);
    F(2, 5).results = {-1};
    F(2, 6).results = {-1};
    EXPECT_EQ(gc.ProcessGPRecord(), -1);
    EXPECT_EQ(gc.GetEpisodeState(2), ES_SOLVED);   // set even though the run ends
    EXPECT_EQ(gc.pgprCurr, Rec(2, 6));             // the current record is left alone

    // Failure leaves episode 2 unsolved and starts episode 3 at record 12.
    gc.SwitchToMission(2, 5, 0);
    gc.iGPREntryIndex = 0;
    gc.iMissionRet = 2;
    F(3, 12).results = {0};
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.GetEpisodeState(2), ES_UNSOLVED);
    EXPECT_EQ(gc.iMission, 3);
    EXPECT_EQ(gc.pgprCurr, Rec(3, 12));
    EXPECT_EQ(gc.GetEpisodeState(3), ES_OPEN);
}

TEST_F(Scripts, ForcedJumpsWinOverSideTripsAndATripReturnsToTheSavedRecord)
{
    GameController& gc = *g_gc;
    // A side trip requested and a forced jump pending: the jump wins and
    // both trip flags go.
    gc.SwitchToMission(2, 0, 0);
    gc.iFlags |= GCF_SIDETRIP_REQUESTED;
    gc.bForceLevel = true;
    gc.i16ChooseMission = 3;
    gc.i16ChooseTask = 4;
    F(2, 0).results = {-1};
    F(3, 4).results = {0};
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(3, 4));
    EXPECT_EQ(gc.iFlags & (GCF_SIDETRIP_REQUESTED | GCF_SIDETRIP_RUNNING), 0);
    EXPECT_FALSE(gc.bForceLevel);

    // A side trip from episode 2 record 8 to the 24/7 activity 13/1.
    gc.SwitchToMission(2, 8, 0);
    gc.iGPREntryIndex = 0;
    gc.SetLevelNumber(2, 8);
    gc.i16SavedMission = 13;
    gc.i16SavedTask = 1;
    gc.iFlags |= GCF_SIDETRIP_REQUESTED;
    F(2, 8).results = {-1};
    F(13, 1).results = {-1};
    F(13, 1).results = {0};
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(13, 1));
    EXPECT_EQ(gc.iFlags & GCF_SIDETRIP_RUNNING, GCF_SIDETRIP_RUNNING);
    EXPECT_EQ(gc.i16SavedMission, 2);
    EXPECT_EQ(gc.i16SavedTask, 8);
    EXPECT_EQ(gc.MissionRetToTaskState(1), 0);   // a trip never changes task states

    // The activity finishes (its bonus step sets 0x800): back to record 8,
    // whose success jump (0) goes on to record 9 without running 8 again.
    F(13, 1).results = {-1};
    gc.iFlags |= GCF_SIDETRIP_FINISHED;
    F(2, 9).results = {0};
    const size_t runsOf8 = F(2, 8).steps.size();
    EXPECT_EQ(gc.ProcessGPRecord(), 1);
    EXPECT_EQ(gc.pgprCurr, Rec(2, 9));
    EXPECT_EQ(F(2, 8).steps.size(), runsOf8);
    EXPECT_EQ(gc.iFlags & (GCF_SIDETRIP_RUNNING | GCF_SIDETRIP_FINISHED), 0);
}

TEST(GameControllerState, StartValuesProgressAndSmallServices)
{
    GameController* gc = new GameController(nullptr);
    ASSERT_NE(gc, nullptr);
    EXPECT_EQ(std::string(gc->stats.cLicense, 8), "WHOOPASS");
    EXPECT_FLOAT_EQ(gc->stats.fPrecisionZoom, 4.0f);
    EXPECT_FLOAT_EQ(gc->stats.fPrecisionSlow, 0.3f);
    EXPECT_EQ(gc->stats.gunAbility, 7u);
    EXPECT_EQ(gc->stats.fightAbility, 0x2Fu);
    EXPECT_EQ(gc->i16RCrimeOverride, -1);
    EXPECT_EQ(gc->i16RCrimeVehRemap[7], -1);
    EXPECT_TRUE(gc->bHUDOn && gc->bReticleOn);
    ASSERT_NE(gc->plb, nullptr);
    EXPECT_EQ(gc->plb->iMode, 1);

    // Tasks numbered episode by episode: 7 tasks in M1, 11 in M2, ..., 7 in M12.
    int e = -1, i = -1;
    EXPECT_TRUE(GameController::TaskNumberToEpisodeAndIndex(TaskNumbers(7), &e, &i));
    EXPECT_EQ(e, 1);
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(GameController::TaskNumberToEpisodeAndIndex(TaskNumbers(105), &e, &i));
    EXPECT_EQ(e, 11);
    EXPECT_EQ(i, 6);
    EXPECT_FALSE(GameController::TaskNumberToEpisodeAndIndex(TaskNumbers(106), &e, &i));
    EXPECT_FALSE(GameController::TaskNumberToEpisodeAndIndex(TaskNumbers(-1), &e, &i));
    EXPECT_TRUE(gc->SetTaskState(TNUM_M2_G3, TS_PASSED));
    EXPECT_EQ(gc->rgtsStatus[1][2].tsValue, TS_PASSED);
    EXPECT_EQ(gc->GetTaskState(TaskNumbers(200)), TS_LOCKED);
    EXPECT_FALSE(gc->SetEpisodeState(12, ES_OPEN));

    EXPECT_EQ(gc->MissionRetToTaskState(0), TS_PASSED);
    EXPECT_EQ(gc->MissionRetToTaskState(2), TS_FAILED);
    EXPECT_EQ(gc->MissionRetToTaskState(3), TS_SECONDARYFAILED);
    EXPECT_EQ(gc->MissionRetToTaskState(4), TS_FAILED);
    EXPECT_EQ(gc->MissionRetToTaskState(5), 0);
    EXPECT_EQ(gc->MissionRetToTaskState(-1), 0);
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    EXPECT_EQ(gc->MissionRetToTaskState(1), 0);
    gc->iFlags = 0;

    // The drive values: published on calls 1, 5, 9; a count-down never
    // below 0; the estimate is the distance over the mean speed.
    gc->iTimeDisplay = 10;
    gc->UpdateDisplayParams(100.0f, 4, 1.0f, 1);   // call 1
    EXPECT_FLOAT_EQ(gc->fTargDistOutput, 140.0f);
    EXPECT_EQ(gc->iTimeDisplayOutput, 6);
    gc->UpdateDisplayParams(10.0f, 9, 3.0f, 1);    // call 2
    EXPECT_EQ(gc->iTimeDisplay, 0);
    EXPECT_FLOAT_EQ(gc->fTargDistOutput, 140.0f);
    EXPECT_FLOAT_EQ(gc->fAveSpeed, 2.0f);
    gc->UpdateDisplayParams(10.0f, 0, 2.0f, 0);    // call 3
    gc->UpdateDisplayParams(10.0f, 0, 2.0f, 2);    // call 4: 14 / 2
    EXPECT_EQ(gc->iTimeDisplay, 7);
    EXPECT_FLOAT_EQ(gc->fTargDistOutput, 140.0f);
    gc->UpdateDisplayParams(20.0f, 1, 2.0f, 0);    // call 5
    EXPECT_FLOAT_EQ(gc->fTargDistOutput, 28.0f);
    EXPECT_EQ(gc->iTimeDisplayOutput, 8);

    gc->SetTimeOfDay(13, 30);
    EXPECT_EQ(world.time_of_day, 2916000u);

    // Keep: only the first three 24/7 rows are enabled again.
    for (SubGamePlayInfo& r : rsgpiTable)
        r.bDisabled = true;
    rsgpiTable[1].bAlive = true;
    EXPECT_TRUE(gc->ReEnable24_7());
    EXPECT_FALSE(rsgpiTable[0].bDisabled);
    EXPECT_TRUE(rsgpiTable[1].bDisabled);   // alive rows keep theirs
    EXPECT_FALSE(rsgpiTable[2].bDisabled);
    EXPECT_TRUE(rsgpiTable[3].bDisabled);
    for (SubGamePlayInfo& r : rsgpiTable)
        r = {0, r.i16PlaceHolderID, false, false};
    gc->Delete();
}

// The controller in the world, sent its messages.
class Handler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The teardown waits for a vertical blank.
        platform_test::PowerOff();
        Platform::Init();
        world.Clear();
        gc = new GameController(nullptr);
        ASSERT_NE(gc, nullptr);
    }
    void TearDown() override
    {
        world.StopTimer(gc);
        gc->Delete();
        world.Clear();
        platform_test::PowerOff();
    }
    int Send(int code, Object* obj = nullptr, Variant p0 = 0, Variant p1 = 0)
    {
        SpecialMessage m(code, obj, p0, p1);
        return gc->SendMessage(OM_SPECIAL, &m);
    }
    // The controller's one pending timer: frames from now and its data.
    std::pair<int, int> PendingTimer()
    {
        int n = 0;
        std::pair<int, int> found{-1, 0};
        for (::Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
            if (static_cast<Object*>(t->obj) == gc) {
                n++;
                found = {int((t->time.t - world.timePrecise.t) / 256), int(reinterpret_cast<intptr_t>(t->extra))};
            }
        EXPECT_LE(n, 1);
        return found;
    }

    GameController* gc = nullptr;
};

TEST_F(Handler, AModeEndWaitsByModeAndIgnoresASecondEnd)
{
    // Won in a fight: 150 + 120 frames before the fade; lost: 360 + 120;
    // mode 10 either way 120 + 120; other modes 120.
    const struct
    {
        int mode, code, frames;
    } cases[] = {{4, SMSG_GC_SUBGAME_WON, 270},  {4, SMSG_GC_SUBGAME_LOST, 480},
                 {10, SMSG_GC_SUBGAME_WON, 240}, {10, SMSG_GC_SUBGAME_LOST_ALT, 240},
                 {6, SMSG_GC_SUBGAME_WON, 120}};
    for (const auto& c : cases) {
        world.StopTimer(gc);
        gc->iMissionRet = 0;
        gc->mode = s8(c.mode);
        Send(c.code);
        EXPECT_EQ(gc->mode, GCM_MODE_ENDED);
        EXPECT_EQ(PendingTimer(), std::make_pair(c.frames, int(GCM_MODE_ENDED))) << c.mode << " " << c.code;
        EXPECT_EQ(gc->iMissionRet, c.code == SMSG_GC_SUBGAME_WON ? 1 : 2);
    }
    // A second win, or a loss while the mode has ended, changes nothing.
    Send(SMSG_GC_SUBGAME_WON);
    Send(SMSG_GC_SUBGAME_LOST);
    EXPECT_EQ(gc->iMissionRet, 1);
    EXPECT_EQ(PendingTimer().first, 120);
    gc->mode = s8(GCM_TEARDOWN);
    Send(SMSG_GC_SUBGAME_LOST_ALT);
    EXPECT_EQ(gc->iMissionRet, 1);
    EXPECT_EQ(gc->mode, GCM_TEARDOWN);

    // Codes the handler does not know do nothing.
    gc->mode = 6;
    for (int code : {4, 8, 11, -97}) {
        EXPECT_EQ(Send(code), 0);
        EXPECT_EQ(gc->mode, 6);
    }
}

// A door mode (9, 10) won by a player on foot: nothing walks him out, so
// the bars slide out as after any win (no bars are put on the screen) and
// the fade follows the mode's wait.
TEST_F(Handler, ADoorModeWonOnFootSlidesTheLetterboxOut)
{
    Dace player;
    player.mat = Matrix(true);
    player.id = -1;
    dace = &player;
    ASSERT_NE(gc->plb, nullptr);
    for (int door : {9, 10}) {
        world.StopTimer(gc);
        world.RemovePostRawObj(gc->plb);
        gc->iMissionRet = 0;
        gc->bForceLevel = false;
        gc->plb->iMode = 2;   // the bars are out, as while a game plays
        gc->plb->iOffset = 0;
        gc->mode = s8(door);
        Send(SMSG_GC_SUBGAME_WON);
        EXPECT_EQ(gc->plb->iMode, 2) << door;
        EXPECT_EQ(world.rawobjPostList.Find(gc->plb), nullptr) << door;
        EXPECT_EQ(gc->mode, GCM_MODE_ENDED) << door;
        EXPECT_EQ(PendingTimer(), std::make_pair(door == 10 ? 240 : 120, int(GCM_MODE_ENDED))) << door;
        // Bars still shown when the game was won slide out too.
        world.StopTimer(gc);
        gc->iMissionRet = 0;
        gc->plb->iMode = 0;
        gc->plb->iOffset = 50;
        gc->mode = s8(door);
        Send(SMSG_GC_SUBGAME_WON);
        EXPECT_EQ(gc->plb->iMode, 2) << door;
    }
    dace = nullptr;
}

// A mode's start puts the HUD at the front of the post-draw list, so the
// overlays already on it (the letterbox, a fade) draw after it, over it.
TEST_F(Handler, AModesStartPutsTheHudBeforeTheOverlays)
{
    Object* player = new Object;
    player->id = -1;
    world.AddObject(player, nullptr);
    world.AddPostRawObj(gc->plb, true);
    gc->pfs->Enable(60, Colour(255, 255, 255, 0), 128, 0, false);
    ASSERT_EQ(world.rawobjPostList.Count(), 2);
    for (int start = 0; start < 2; start++) {
        gc->StartCurrentMission();
        ASSERT_EQ(world.rawobjPostList.Count(), 3);
        Link<RawObj>* l = world.rawobjPostList.Head();
        EXPECT_EQ(l->data, gc->pmd);
        EXPECT_EQ(l->Next()->data, gc->plb);
        EXPECT_EQ(l->Next()->Next()->data, gc->pfs);
    }
    world.rawobjPostList.RemoveAll();
}

TEST_F(Handler, TheEndOfAModeFadesWaitsForTheVoiceThenTearsDown)
{
    gc->mode = s8(GCM_MODE_ENDED);
    EXPECT_EQ(gc->SendMessage(OM_TIMER, reinterpret_cast<void*>(intptr_t(GCM_MODE_ENDED))), 0);
    EXPECT_EQ(gc->mode, GCM_TEARDOWN);
    EXPECT_EQ(PendingTimer(), std::make_pair(60, int(GCM_TEARDOWN)));
    EXPECT_EQ(gc->pfs->mode, FADE_MODE_FADE);

    // While the player's voice plays, the teardown waits 15 frames at a time.
    world.StopTimer(gc);
    const auto voice = DaceVO.state;
    DaceVO.state = StreamJukebox::PLAYING;
    EXPECT_EQ(gc->SendMessage(OM_TIMER, reinterpret_cast<void*>(intptr_t(GCM_TEARDOWN))), 0);
    EXPECT_EQ(PendingTimer(), std::make_pair(15, int(GCM_TEARDOWN)));
    DaceVO.state = voice;

    // Teardown: the level's objects go (bit 31, which spares an object, is
    // in this engine the mark of one already destroyed); the controller's
    // timer stays, the others go; noon; the answer -2.
    world.StopTimer(gc);
    Object* gone = new Object();
    gone->id = 12;
    world.AddObject(gone, nullptr);
    world.SetTimer(gone, AnimTime(256 * 5), nullptr);
    world.SetTimer(gc, AnimTime(256 * 7), nullptr);
    // The script it runs next ends the run here: no record is current.
    gc->pgprCurr = nullptr;
    gc->iTODVel = 5;
    EXPECT_EQ(gc->SendMessage(OM_TIMER, reinterpret_cast<void*>(intptr_t(GCM_TEARDOWN))), -2);
    EXPECT_EQ(gc->mode, 0);
    EXPECT_EQ(gc->iTODVel, 0);
    EXPECT_EQ(world.time_of_day, 2592000u);
    EXPECT_EQ(world.Find(12), nullptr);
    EXPECT_EQ(PendingTimer().first, 7);
    int others = 0;
    for (::Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        others += static_cast<Object*>(t->obj) != gc;
    EXPECT_EQ(others, 0);
    EXPECT_EQ(gc->iMainExitVal, -1);
}

TEST_F(Handler, TheClockWrapsBelowADay)
{
    gc->iTODVel = 7;
    world.time_of_day = 5183999;
    gc->SendMessage(OM_FRAME, &world);
    EXPECT_EQ(world.time_of_day, 6u);
    gc->iTODVel = 0;
    gc->SendMessage(OM_FRAME, &world);
    EXPECT_EQ(world.time_of_day, 6u);
}

}  // namespace
