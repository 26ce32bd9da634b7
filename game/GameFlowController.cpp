// The game controller: construction, progress, episode switching, game-mode
// switching, the small services and the message handler that turns the end
// of a game mode into the next run of the script.
#include "game/GameFlow.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/Rain.h"
#include "game/cine.h"
#include "game/userintf.h"

GameController* g_pgcTest;
bool GameController::iUILoading;

SubGamePlayInfo rsgpiTable[4] = {
    {0, -64, false, false},
    {0, -65, false, false},
    {0, -66, false, false},
    {0, -67, false, false},
};

namespace {

// Tasks per episode, M1..M12.
constexpr int kTasksPerEpisode[NUM_EPISODES] = {7, 11, 9, 10, 9, 9, 9, 8, 10, 8, 9, 7};

constexpr u32 kDayTicks = KVWorld::DAY_FRAMES;
constexpr int kTicksPerHour = 216000;
constexpr int kTicksPerMinute = 3600;
constexpr u32 kNoon = 2592000;

// The episode last loaded (its placement file is in the world), -1 none.
int g_iLastMissionLoaded = -1;
// The gun challenge the player's gun model was last chosen for, -1 before
// the first load.
int g_iLastGunChallenge = -1;

AnimTime Frames(int frames)
{
    return AnimTime(frames * 256);
}


void SendSelf(GameController* gc, int code)
{
    SpecialMessage m(code, nullptr);
    gc->SendMessage(OM_SPECIAL, &m);
}

}  // namespace

void Broadcast(const SpecialMessage& m)
{
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList();) {
        ObjectLink* next = l->Next();
        Object* o = l->data;
        if (o != nullptr && !o->IsDead())
            o->SendMessage(OM_SPECIAL, const_cast<SpecialMessage*>(&m));
        l = next;
    }
}

bool GameController::TaskNumberToEpisodeAndIndex(TaskNumbers t, int* episode, int* index)
{
    if (unsigned(t) >= unsigned(TNUM_NUMBER))
        return false;
    int first = 0;
    for (int e = 0; e < NUM_EPISODES; e++) {
        if (int(t) < first + kTasksPerEpisode[e]) {
            *episode = e;
            *index = int(t) - first;
            return true;
        }
        first += kTasksPerEpisode[e];
    }
    return false;
}

void GameController::ForgetMissionFile()
{
    g_iLastMissionLoaded = -1;
}

GameController::GameController(GamePlayRecord* script) : Object(staticmh)
{
    // The storage comes zero-filled (the object heap clears it, and a
    // controller in static or test storage starts from zero as well); the
    // steps below set what is not zero.
    pvScript = nullptr;
    rcoSource = nullptr;
    rcoTarget = nullptr;
    rcoIntExtSetup = nullptr;
    for (VectorPos& p : rvpSubGames)
        p = VectorPos(0.0f, 0.0f, 0.0f);
    iFlags = 0;
    iNumPeds = iNumVehs = 0;
    pCamInitScript = nullptr;

    ResetProgress();

    mat = Matrix(true);
    pcam = &g_DefaultCamera;
    pps = {nullptr, 0};
    pvs = {nullptr, 0};
    pPedGenCont = nullptr;
    pVehGenCont = nullptr;
    bNoAmbientVehs = bNoAmbientPeds = bEnableAllCarMoves = bEnableAllCars = bSuperDace = false;

    pmd = new MapDisplay(nullptr, nullptr);
    plb = new LetterBox();
    if (plb != nullptr) {
        plb->iMode = 1;
        plb->iOffset = 0;
    }
    pfs = new FadeScreen();
    if (pfs != nullptr) {
        pfs->mode = FADE_MODE_OFF;
        pfs->alpha = ALPHA_MODE(0x44);
    }
    pobjectlist = new ObjectList();

    bReticleOn = bHUDOn = true;
    pgprCurr = script;
    i16RCrimeOverride = -1;
    bInterior = bEnableImpoundLots = false;
    iTODVel = iGPREntryIndex = 0;
    i16RCrimeDifficultyLevel = i16CurrentDaceCar = 0;
    fGoodPoints = fBadPoints = 0.0f;
    psplMission = nullptr;
    iMainExitVal = iBonus247Override = 0;
    for (int i = 0; i < 8; i++)
        i16RCrimeCharRemap[i] = i16RCrimeVehRemap[i] = -1;
}

GameController::~GameController()
{
    if (pmd != nullptr) {
        world.RemovePostRawObj(pmd);
        delete pmd;
    }
    if (plb != nullptr) {
        world.RemovePostRawObj(plb);
        delete plb;
    }
    if (pfs != nullptr) {
        world.RemovePostRawObj(pfs);
        delete pfs;
    }
    while (!splRadarList.IsEmpty())
        free(splRadarList.RemoveHead());
    if (pobjectlist != nullptr) {
        pobjectlist->RemoveAll();
        delete pobjectlist;
    }
    rcoSource = nullptr;
    rcoTarget = nullptr;
    rcoIntExtSetup = nullptr;
}

// ---------------------------------------------------------------------------
// Progress

bool GameController::SetTaskState(TaskNumbers t, eTaskState s)
{
    GC_SERVICE("SetTaskState(%d, %d)", int(t), int(s));
    int e, i;
    if (!TaskNumberToEpisodeAndIndex(t, &e, &i))
        return false;
    rgtsStatus[e][i].tsValue = s;
    return true;
}

eTaskState GameController::GetTaskState(TaskNumbers t) const
{
    int e, i;
    if (!TaskNumberToEpisodeAndIndex(t, &e, &i))
        return TS_LOCKED;
    return rgtsStatus[e][i].tsValue;
}

bool GameController::SetEpisodeState(int episode, eEpisodeState s)
{
    if (unsigned(episode) >= unsigned(NUM_EPISODES))
        return false;
    rgesStatus[episode].esValue = s;
    return true;
}

eEpisodeState GameController::GetEpisodeState(int episode) const
{
    if (unsigned(episode) >= unsigned(NUM_EPISODES))
        return ES_LOCKED;
    return rgesStatus[episode].esValue;
}

void GameController::ResetProgress()
{
    ResetAllEpisodeAndTaskStates();
    for (Vector& v : rvHealthLocations)
        v = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    for (Vector& v : rvDojo247Status)
        v = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    for (Vector& v : rvFRange247Status)
        v = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    for (Vector& v : rvRace247Status)
        v = Vector(0.0f, 0.0f, 0.0f, 0.0f);

    memset(&stats, 0, sizeof stats);
    memcpy(stats.cLicense, "WHOOPASS", 8);
    stats.gunAbility |= 7;
    stats.fightAbility |= 0x2F;
    stats.curGunUpgrade = 2;
    stats.fDamageMultiplier = 1.0f;
    stats.fPrecisionZoom = 4.0f;
    stats.fPrecisionSlow = 0.3f;
}

bool GameController::ResetAllEpisodeAndTaskStates()
{
    for (sEpisodeStatus& e : rgesStatus)
        e = {ES_LOCKED, 0.0f};
    for (auto& row : rgtsStatus)
        for (sTaskStatus& t : row)
            t.tsValue = TS_LOCKED;
    return true;
}

int GameController::MissionRetToTaskState(int ret) const
{
    if (bForceLevel || (iFlags & (GCF_SIDETRIP_REQUESTED | GCF_SIDETRIP_RUNNING)) || unsigned(ret) >= 5u)
        return 0;
    switch (ret) {
    case 0:
    case 1: return TS_PASSED;
    case 2:
    case 4: return TS_FAILED;
    default: return TS_SECONDARYFAILED;
    }
}

// ---------------------------------------------------------------------------
// Episodes

bool GameController::LoadMissionFile(int mission)
{
    GC_SERVICE("LoadMissionFile(%d)", mission);
    // The player's gun follows the gun challenge, even within one episode.
    static const char* const guns[4] = {
        "KORVALIS\\DemoData\\Misc\\DACEGUN1.P2B",
        "KORVALIS\\DemoData\\Misc\\DACEGUN2.P2B",
        "KORVALIS\\DemoData\\Misc\\DACEGUN3.P2B",
        "KORVALIS\\DemoData\\Misc\\DACEGUN4.P2B",
    };
    const int challenge = int(stats.curGunChallenge);
    if (g_iLastGunChallenge < 0) {
        g_iLastGunChallenge = challenge;
    } else if (challenge != g_iLastGunChallenge) {
        g_GlobalMFI.DeleteMF(160, true);
        if (unsigned(challenge) < 4u)
            g_GlobalMFI.LoadMF(160, guns[challenge], 0, 0);
        g_iLastGunChallenge = challenge;
    }

    if (mission == g_iLastMissionLoaded)
        return false;
    if (unsigned(mission) < unsigned(NUM_MISSIONS) && rgMissions[mission].pMissionFile != nullptr) {
        world.LoadMission(rgMissions[mission].pMissionFile);
    } else {
        for (ObjectLink* l = world.placeholderlist.Head(); !l->IsEOList();) {
            ObjectLink* next = l->Next();
            RCptr<Object> hold(l->data);
            Object* o = l->Remove();
            if (o != nullptr && !o->IsDead())
                o->Delete();
            l = next;
        }
    }
    g_iLastMissionLoaded = mission;
    return true;
}

bool GameController::SwitchToMission(int mission, int task, signed char loop)
{
    LoadMissionFile(mission);
    if (unsigned(mission) >= unsigned(NUM_MISSIONS)) {
        // An episode the table does not have: the script stays where it is.
        printf("GameController: there is no episode %d\n", mission);
        return false;
    }
    i8Loop = loop;
    iMission = mission;
    pgprMissionStart = rgMissions[mission].pgpr;
    const int count = rgMissionRecordCounts[mission];
    if (unsigned(task) >= unsigned(count)) {
        printf("GameController: episode %d has no record %d; record 0 starts\n", mission, task);
        task = 0;
    }
    pgprCurr = pgprMissionStart + task;
    if (mission < NUM_EPISODES && GetEpisodeState(mission) == ES_LOCKED)
        SetEpisodeState(mission, ES_OPEN);
    return true;
}

// ---------------------------------------------------------------------------
// Small services

Object* GameController::FindFixedCamera()
{
    for (ObjectList* list : {pobjectlist, static_cast<ObjectList*>(&world.objectlist)}) {
        if (list == nullptr)
            continue;
        for (ObjectLink* l = list->Head(); !l->IsEOList(); l = l->Next()) {
            Object* o = l->data;
            if (o != nullptr && !o->IsDead() && o->type == OBJT_CAMERA && o->mode == CAMMODE_FIXED)
                return o;
        }
    }
    return nullptr;
}

Object* GameController::FindById(int id)
{
    if (pobjectlist != nullptr)
        if (Object* o = pobjectlist->Find(id))
            return o;
    return world.objectlist.Find(id);
}

int GameController::ReplaceCharacterID(int iOld, int iNew)
{
    Object* o = FindById(iOld);
    if (o == nullptr || o->type != OBJT_CHARACTER)
        return 0;
    o->id = s16(iNew);
    return iNew;
}

int GameController::ReplaceObjectID(int iOld, int iNew)
{
    Object* o = FindById(iOld);
    if (o == nullptr)
        return 0;
    o->id = s16(iNew);
    return iNew;
}

int GameController::GetPlatformCount()
{
    return int(Platform::Count());
}

int GameController::ResetTime()
{
    GC_SERVICE("ResetTime()");
    ResetFrameCnts();
    return 0;
}

bool GameController::ReEnable24_7()
{
    // Rows 0..2 only: the fourth row's part in 24/7 play is the 24/7 code's.
    for (int i = 0; i < 3; i++)
        if (!rsgpiTable[i].bAlive)
            rsgpiTable[i].bDisabled = false;
    return true;
}

int GameController::InitNewGameMode(int mode, int track, bool keep)
{
    iMissionRet = 0;
    fAveSpeed = 0.0f;
    iFlags &= ~0xFF;
    fTargDist = 0.0f;
    iTimeDisplay = 0;
    iIntervals = 0;
    world.SetPlaybackSpeed(1.2f);
    // Volume 0.42 and no loop length: the reading in which the music sounds.
    if (track >= 0 && track <= KVJukebox::numtracks)
        bgm.PlayTrack(track, 0.42f, 0);
    if (!keep && pMission != nullptr) {
        // The ending controller answers the end with a loss: the script has
        // already moved on, so no result is taken while it is told.
        Object* old = pMission;
        this->mode = s8(GCM_MODE_ENDED);
        iMissionRet = -1;
        Broadcast(SpecialMessage(SMSG_MODE_END, old));
        iMissionRet = 0;
        old->Delete();
        pMission = nullptr;
    }
    this->mode = s8(mode);
    return 0;
}

void GameController::EpilogueNewGameMode(bool epilogue)
{
    if (epilogue) {
        if (pMission != nullptr)
            Broadcast(SpecialMessage(SMSG_MODE_EPILOGUE, pMission, int(mode)));
        return;
    }
    StartCurrentMission();
}

void GameController::StartCurrentMission()
{
    GC_SERVICE("StartCurrentMission()");
    // A game whose data was refused ends as lost at its start, so that the
    // script goes on by the record's failure jump instead of waiting on a
    // game that cannot end: without the player (his model refused) nobody
    // can win or lose it, and without its opening scene the actors are not
    // where the scene leaves them (the spa's gunmen wait for a player who
    // never walks into their room).
    if (pMission != nullptr && pszDataRefused != nullptr) {
        printf("GameController: %s was refused; the game is lost\n", pszDataRefused);
        SendSelf(this, SMSG_GC_SUBGAME_LOST);
        return;
    }
    if (Object* player = FindById(-1)) {
        if (pmd != nullptr) {
            pmd->Reset(player, nullptr);
            // At the front of the post-draw list, not the end: the overlays
            // already there (the letterbox, a fade still running) and those
            // added later draw after the HUD, over it, never under it.
            world.AddPostRawObj(pmd, false);
        }
    }
    if (pMission != nullptr || mode == 7)
        Broadcast(SpecialMessage(SMSG_MODE_START, pMission, int(mode)));
}

void GameController::SetLevelNumber(int mission, int task)
{
    GC_SERVICE("SetLevelNumber(%d, %d)", mission, task);
    i16CurrMission = s16(mission);
    i16CurrTask = s16(task);
}

void GameController::SetTimeOfDay(int hours, int minutes, bool)
{
    GC_SERVICE("SetTimeOfDay(%d, %d)", hours, minutes);
    world.time_of_day = u32(hours * kTicksPerHour + minutes * kTicksPerMinute);
}

bool GameController::SetVehicleInitialSpeed(int id, float speed)
{
    GC_SERVICE("SetVehicleInitialSpeed(%d, %g)", id, double(speed));
    Object* o = FindById(id);
    if (o != nullptr && o->type == OBJT_VEHICLE)
        static_cast<Vehicle*>(o)->SetInitialSpeed(speed);
    return true;
}

void GameController::StartLoading()
{
    GC_SERVICE("StartLoading()");
    if (!iUILoading) {
        iUILoading = true;
        StartUILoadScreen();
    }
}

void GameController::EndLoading()
{
    GC_SERVICE("EndLoading()");
    iUILoading = false;
    StopUILoadScreen();
}

void GameController::UpdateDisplayParams(float dist, int time, float speed, int how)
{
    fTargDist = dist * 1.4f;
    fAveSpeed = (fAveSpeed * float(iIntervals) + speed) / float(iIntervals + 1);
    iIntervals += 1;
    switch (how) {
    case 0: iTimeDisplay += time; break;
    case 1: iTimeDisplay = std::max(0, iTimeDisplay - time); break;
    case 2: iTimeDisplay = int(fTargDist / std::max(fAveSpeed, 0.002328333f)); break;
    default: break;
    }
    if ((iIntervals & 3) == 1) {
        fTargDistOutput = fTargDist;
        iTimeDisplayOutput = iTimeDisplay;
    }
}

void GameController::FadeOut(float frames, bool hold)
{
    if (pfs != nullptr)
        pfs->Enable(u16(frames), Colour(255, 255, 255, 0), 0, 128, hold);
}

void GameController::FadeIn(float frames)
{
    if (pfs != nullptr)
        pfs->Enable(u16(frames), Colour(255, 255, 255, 0), 128, 0, false);
}

void GameController::ScreenFlash(float frames, Colour c)
{
    if (pfs == nullptr || pfs->mode == FADE_MODE_FADE)
        return;
    pfs->Enable(u16(frames), c, c.a, 0, false);
    pfs->mode = FADE_MODE_FLASH;
    pfs->alpha = ALPHA_MODE(72);
}

void GameController::AddPoints(int points, const Object* at)
{
    stats.nPoints += u32(points);
    if (pmd != nullptr && at != nullptr)
        pmd->AddPoints(points, at->GetWorldPos());
}

int GameController::CheckMemory()
{
    GC_SERVICE("CheckMemory()");
    return 0;
}

void GameController::SetCinematicOnly()
{
    GC_SERVICE("SetCinematicOnly()");
    bCinematicOnly = true;
}

void GameController::LoadInteriorAnimGroups()
{
    GC_SERVICE("LoadInteriorAnimGroups()");
}

void GameController::FreeInteriorAnimGroups()
{
    GC_SERVICE("FreeInteriorAnimGroups()");
}

void GameController::EnableRain(float density)
{
    GC_SERVICE("EnableRain(%g)", double(density));
    gRain.SetDensity(std::clamp(density, 0.0f, 1.0f));
}

// ---------------------------------------------------------------------------
// The message handler

int GameController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<GameController*>(o)->mh(msg, data);
}

int GameController::CleanupLevel()
{
    GC_SERVICE("CleanupLevel()");
    SendSelf(this, SMSG_GC_CLEANUP_LEVEL);
    return 0;
}

int GameController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_FRAME:
        if (iTODVel != 0)
            world.time_of_day = u32((u64(world.time_of_day) + u32(iTODVel)) % kDayTicks);
        if ((world.time & 3) == 0)
            g_GlobalMFI.Update();
        return 0;
    case OM_TIMER:
        return Timer(int(reinterpret_cast<intptr_t>(data)));
    case OM_DIE:
        delete this;
        return -1;
    case OM_SPECIAL:
        return data != nullptr ? Special(*static_cast<SpecialMessage*>(data)) : 0;
    default:
        return 0;
    }
}

int GameController::Timer(int data)
{
    iTimerRet = 0;
    if ((iFlags & GCF_WAITTIMER) && data == iValue) {
        iValue = 0;
        iFlags &= ~GCF_WAITTIMER;
        SendSelf(this, SMSG_GC_RUN_SCRIPT);
        return iTimerRet;
    }
    switch (mode) {
    case GCM_MODE_ENDED:
        if (data == GCM_MODE_ENDED) {
            if (pfs != nullptr)
                pfs->Enable(60, Colour(255, 255, 255, 0), 0, 128, true);
            mode = s8(GCM_TEARDOWN);
            world.SetTimer(this, Frames(60), reinterpret_cast<void*>(intptr_t(GCM_TEARDOWN)));
        }
        break;
    case GCM_TEARDOWN:
        if (data == GCM_TEARDOWN) {
            if (!DaceVO.IsStopped()) {
                world.SetTimer(this, Frames(15), reinterpret_cast<void*>(intptr_t(GCM_TEARDOWN)));
            } else {
                CleanupLevel();
                SendSelf(this, SMSG_GC_RUN_SCRIPT);
                return -2;
            }
        }
        break;
    case GCM_CINEMATIC_ENDED:
        if (data == GCM_CINEMATIC_ENDED)
            SendSelf(this, SMSG_GC_RUN_SCRIPT);
        break;
    case GCM_CINEDRIVE: {
        const bool cross = (controller[0].pad & 0x0040) != 0;
        if (cross) {
            DaceVO.Stop();
        } else if (!DaceVO.IsStopped()) {
            world.SetTimer(this, Frames(15), nullptr);
            break;
        }
        // The drive ends: the controller's own camera takes over from the
        // cinematic one where it stands.
        Camera* cine = cam;
        if (pcam != nullptr && cine != nullptr && cine != pcam) {
            pcam->mat = cine->mat;
            if (cine != &g_DefaultCamera && cine != &CinemaCamera)
                cine->Delete();
        }
        SetCurrentCam(pcam);
        if (pcam != nullptr) {
            pcam->mode = CAMMODE_EXTERIORCINEINCAR;
            pcam->InitCarMode(pcam->target);
        }
        if (plb != nullptr)
            plb->iMode = 2;
        SendSelf(this, SMSG_GC_RUN_SCRIPT);
        break;
    }
    case GCM_CINEWALK:
        CineWalkDone();
        break;
    default:
        break;
    }
    return iTimerRet;
}

void GameController::CineWalkDone()
{
    if (iNextMode != 0) {
        if (plb != nullptr)
            plb->iMode = 2;
        mode = s8(iNextMode);
    }
    if (rcoSource != nullptr) {
        SpecialMessage m(SMSG_PLAYER_GAMEPLAY_MODE, nullptr, iNextMode);
        rcoSource->SendMessage(OM_SPECIAL, &m);
    }
}

void GameController::ModeEnded(int extraWait)
{
    mode = s8(GCM_MODE_ENDED);
    world.SetTimer(this, Frames(extraWait + 120), reinterpret_cast<void*>(intptr_t(GCM_MODE_ENDED)));
}

int GameController::Special(const SpecialMessage& m)
{
    switch (m.submsg) {
    case SMSG_GC_RUN_SCRIPT: {
        const int r = ProcessGPRecord();
        if (r < 0)
            iMainExitVal = r;
        EndLoading();
        if (pfs != nullptr)
            pfs->Disable();
        return 0;
    }
    case SMSG_GC_SUBGAME_WON: {
        if (iMissionRet != 0)
            return 0;
        pvScript = nullptr;
        pMission = nullptr;
        iMissionRet = 1;
        bgm.Stop();
        const int extra = mode == 4 ? 150 : mode == 10 ? 120 : 0;
        // A door mode (9, 10) won on foot would walk the player out through
        // the door under the letterbox, but no door has a walk of its own:
        // started without one the player would stand still under growing
        // bars until the fade.  Every win slides the bars out instead, and
        // the player keeps his own moves until the level goes.
        if (plb != nullptr)
            plb->iMode = 2;
        ModeEnded(extra);
        return 0;
    }
    case SMSG_GC_SUBGAME_LOST:
    case SMSG_GC_SUBGAME_LOST_ALT: {
        if (mode == s8(GCM_MODE_ENDED) || mode == s8(GCM_TEARDOWN))
            return 0;
        pvScript = nullptr;
        iMissionRet = 2;
        pMission = nullptr;
        const int extra = mode == 4 ? 360 : mode == 10 ? 120 : 0;
        ModeEnded(extra);
        return 0;
    }
    case SMSG_GC_SUBGAME_WON_ALT:
        pvScript = nullptr;
        iMissionRet = 1;
        mode = s8(GCM_TEARDOWN);
        world.SetTimer(this, Frames(1), reinterpret_cast<void*>(intptr_t(GCM_TEARDOWN)));
        bgm.Stop();
        if (pMission != nullptr) {
            Broadcast(SpecialMessage(SMSG_MODE_END, pMission));
            pMission = nullptr;
        }
        DaceVO.Stop();
        return 0;
    case SMSG_GC_SIDE_TRIP: {
        const GameSubModeTargetMsg* t = reinterpret_cast<const GameSubModeTargetMsg*>(m.obj);
        if (t == nullptr)
            return 0;
        pvScript = nullptr;
        pMission = nullptr;
        bgm.Stop();
        iMissionRet = 1;
        i16SavedMission = t->i16SubLevelNumberTrigger;
        i16SavedTask = t->i16TableIndex;
        i8VehTypeId = t->i8VehTypeId;
        i8VehTintSet = t->i8VehTintSet;
        vpCharRestorePos = t->vpSrceChar;
        vdCharRestoreDir = t->vdSrceCharDir;
        vpVehRestorePos = t->vpSrceVeh;
        vdVehRestoreDir = t->vdSrceVehDir;
        vpSavedTargetPos = t->vpTargetPos;
        bRestoreInCar = false;
        iFlags |= GCF_SIDETRIP_REQUESTED;
        mode = s8(GCM_MODE_ENDED);
        world.SetTimer(this, Frames(1), reinterpret_cast<void*>(intptr_t(GCM_MODE_ENDED)));
        return 0;
    }
    case SMSG_GC_CINEMATIC_DONE:
        mode = s8(GCM_CINEMATIC_ENDED);
        bCinematic = false;
        if (int(m.param[0]) != 0)
            pszDataRefused = "its scene";
        if (plb != nullptr)
            plb->iMode = 2;
        SendSelf(this, SMSG_GC_RUN_SCRIPT);
        return 0;
    case SMSG_GC_RESTORE_GAMEPLAY: {
        if (dace != nullptr) {
            SpecialMessage p(SMSG_PLAYER_GAMEPLAY_MODE, nullptr, 4, 1);
            dace->SendMessage(OM_SPECIAL, &p);
        }
        world.StopTimer(this);
        world.SetTimer(this, Frames(15), nullptr);
        mode = 4;
        return 4;
    }
    case SMSG_GC_RESTORE_GAMEPLAY_ALT: {
        if (dace != nullptr) {
            SpecialMessage p(SMSG_PLAYER_GAMEPLAY_MODE, m.obj, m.param[0], 1);
            dace->SendMessage(OM_SPECIAL, &p);
        }
        world.StopTimer(this);
        world.SetTimer(this, Frames(15), nullptr);
        rcoSource = static_cast<Object*>(m.param[1]);
        rcoTarget = static_cast<Object*>(m.param[2]);
        mode = s8(int(m.param[0]) & 0xFF);
        return mode;
    }
    case SMSG_GC_FORCE_LEVEL:
        bForceLevel = true;
        i16ChooseMission = s16(int(m.param[0]) + 1);
        i16ChooseTask = s16(int(m.param[1]));
        world.StopTimer(this);
        if (bCinematic)
            AbortCinematic();
        else
            SendSelf(this, SMSG_GC_SUBGAME_WON_ALT);
        return 0;
    case SMSG_GC_CINE_WALK_DONE:
        CineWalkDone();
        return 0;
    case SMSG_GC_CLEANUP_LEVEL:
        Teardown();
        return 0;
    default:
        return 0;
    }
}

// The mode controller goes with the level's other objects; pMission must not
// outlive it, or the next mode setter would end (and delete) whatever object
// later takes its storage.
void GameController::DeleteLevelObject(Object* o)
{
    if (o == pMission)
        pMission = nullptr;
    o->Delete();
}

void GameController::Teardown()
{
    Platform::Reset();
    rcoIntExtSetup = nullptr;

    bEnableImpoundLots = false;
    world.oceanenable = true;
    EnableRain(0.0f);

    iTODVel = 0;
    iFlags &= ~GCF_PLACEMENT;
    iTimerRet = -2;
    mode = 0;
    bCinematicOnly = false;
    pps = {nullptr, 0};
    pvs = {nullptr, 0};
    for (int i = 0; i < 8; i++) {
        rvpSubGames[i] = VectorPos(0.0f, 0.0f, 0.0f);
        rvpSubMissionTargets[i] = nullptr;
    }

    pcam = &g_DefaultCamera;
    SetCurrentCam(&g_DefaultCamera);

    // The level's objects; those marked to outlive levels (bit 31 of their
    // flags: also what marks a dead object, which is left alone) stay.
    if (pobjectlist != nullptr) {
        for (ObjectLink* l = pobjectlist->Head(); !l->IsEOList(); l = l->Next()) {
            Object* o = l->data;
            if (o != nullptr && o->parent != nullptr && !(o->flags & 0x80000000u))
                o->Detach();
        }
        while (!pobjectlist->IsEmpty()) {
            ObjectLink* l = static_cast<ObjectLink*>(pobjectlist->Head());
            Object* o = l->data;
            const bool keep = o == nullptr || (o->flags & 0x80000000u);
            RCptr<Object> hold(o);
            l->Remove();
            if (!keep)
                DeleteLevelObject(o);
        }
    }

    if (pmd != nullptr) {
        world.RemovePostRawObj(pmd);
        pmd->Reset(nullptr, nullptr);
    }
    rcoSource = nullptr;
    rcoTarget = nullptr;

    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList();) {
        ObjectLink* next = l->Next();
        Object* o = l->data;
        if (o != nullptr && o != this && !(o->flags & 0x80000000u)) {
            RCptr<Object> hold(o);
            if (o->parent != nullptr)
                o->Detach();
            l->Remove();
            DeleteLevelObject(o);
        }
        l = next;
    }
    // The post-draw items go once the level's cars are gone: a car lets go
    // of the skid marks its wheels are laying only when it goes itself (a
    // mark asked to go frees itself).
    RequestDestroyPostRaw();
    // Timers of everything but the controller go.
    for (::Timer* t = world.timerlist.Head(); !t->IsEOList();) {
        ::Timer* next = t->Next();
        if (static_cast<Object*>(t->obj) != this) {
            if (world.timerlist.cursor == t)
                world.timerlist.cursor = next;
            t->UnLink();
            delete t;
        }
        t = next;
    }

    world.Clean();
    // The cover walls and obstacles of the set-ups built: the player lets go
    // of a wall he is against before it goes.
    while (!world.spllist.IsEmpty()) {
        WallSpline* w = world.spllist.RemoveHead();
        if (w == nullptr)
            continue;
        SendSpecial(PlayerObject(), SMSG_PLAYER_LEAVE_WALL, reinterpret_cast<Object*>(w->spline));
        free(w->spline);
        free(w);
    }
    while (!world.obslist.IsEmpty()) {
        AvoidObstacle* a = world.obslist.RemoveHead();
        if (a == nullptr)
            continue;
        free(a->spline);
        free(a);
    }
    g_GlobalAGI.ClearNonPermanentAG();
    SetGlobalLights(0);

    bgm.Stop();
    JBNPCVO.Stop(false);
    DaceVO.Stop();
    sound.StopAll();

    world.time_of_day = kNoon;
    pCamInitScript = nullptr;
    world.SetPlaybackSpeed(1.2f);

    while (!splRadarList.IsEmpty())
        free(splRadarList.RemoveHead());
    free(psplMission);
    psplMission = nullptr;
}

void GameController::RequestDestroyPostRaw()
{
    // The post-draw list keeps the controller's own overlays only; the
    // others belong to the level, which goes now.  Each is asked to go
    // first: those that answer (skid marks) free themselves, the rest are
    // their owners' to free.
    for (Link<RawObj>* l = world.rawobjPostList.Head(); !l->IsEOList();) {
        Link<RawObj>* next = l->Next();
        RawObj* ro = l->data;
        if (ro != pmd && ro != plb && ro != pfs) {
            if (ro != nullptr && ro->messagehandler != nullptr)
                ro->messagehandler(ro, ROM_DESTROY, nullptr, nullptr, nullptr);
            l->Remove();
        }
        l = next;
    }
    // Cinema bars on their way out go at once, as at the end of their
    // drawing: the level they framed is gone (a scene left with SELECT ends
    // the run before they are drawn away).
    if (plb != nullptr && plb->iMode == 2) {
        world.RemovePostRawObj(plb);
        plb->iOffset = 0;
    }
}
