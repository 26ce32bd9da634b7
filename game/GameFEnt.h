// The game flow's two screen overlays: the full-screen fade and the cinema
// bars.  Both are raw objects on the world's post-draw list, drawn after the
// scene, and take themselves off it when they are done.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Extent.h"
#include "game/Road.h"

enum FadeMode {
    FADE_MODE_OFF,
    FADE_MODE_FADE,
    FADE_MODE_FLASH,
};

class FadeScreen : public RawObj
{
public:
    FadeScreen();

    // Starts a fade of time frames from alpha fromAlpha to toAlpha (0..128,
    // 128 opaque) in colour, reaching it 4 frames before the time runs out;
    // with hold the last alpha stays on screen until Disable.
    void Enable(u16 time, Colour colour, u16 fromAlpha, u16 toAlpha, bool hold);
    // Off the post-draw list at once; the fields keep their values.
    void Disable();

    // ROM_DRAW comes with the render context and, third, the tick count.
    static int mh(RawObj* ro, RAWOBJMESSAGE msg, void* rc, void*, void* ticks);
    // One draw after n ticks: the alpha step and the rectangle.
    void Draw(int n);

    FadeMode mode;
    ALPHA_MODE alpha;
    Colour colFade;
    float f16DeltaAlpha;
    float f16LastAlpha;
    u16 u16DeltaTime;
    bool bHold;
};

class LetterBox : public RawObj
{
public:
    LetterBox();

    static int mh(RawObj* ro, RAWOBJMESSAGE msg, void* rc, void* ticks, void*);
    // One draw: a pixel more (slide in) or less (slide out) of each bar.
    void Draw();

    int iMode;     // 0 hold, 1 slide in, 2 slide out
    int iOffset;   // bar height in pixels
};

// The full-screen rectangle the overlays draw, over everything; separate so
// a test can watch what is drawn.
void DrawScreenRect(int x0, int y0, int x1, int y1, Colour c, ALPHA_MODE alpha);

// ---------------------------------------------------------------------------
// Level entities and game-mode controllers.
//
// The objects set-up files and the mode setters make: the ambient walkers'
// and cars' generators, the random-mission spawner, and through the headers
// below the game modes, the side games, the chases and the level's props,
// each kind with its own handler.

#include "ZevEngine2/List.h"
#include "game/EntParams.h"
#include "game/Airplane.h"
#include "game/GameEvents.h"

class Spline;

#include "game/DriveCourse.h"

// The ambient walkers and cars: a controller per level keeps a generator on
// every suitable road segment near the camera; each generator puts walkers
// on its pavements (cars in its lanes) within the population caps, and a
// generator that finds no room waits as the pending spawn for the next place
// a leaver frees (GameFEntPeds.cpp, GameFEntVehs.cpp).
class RoadSeg;
class PedGen;
class VehGen;

// The special codes of a generator.
enum
{
    SMSG_GEN_SPAWN = 0,
    SMSG_GEN_SPAWN_FILL = 1,
    SMSG_GEN_RETIRE = 2,
};

class PedGenController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    int GetCloseRSList(RoadSeg** pprs, int iMaxRS);

    s16 i16NumPedgens;
    PedGen* rgpPedGen[32];
    int iStartMFIndex;
    int iMaxToSpawn;
    int iMaxMDLFileIndex;
    int iId;
    bool bNotFirst;

    static float f16PedGenDist;
    static constexpr int iMaxPedgenList = 32;
};

class PedGen : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    int iGenScore(float* pfDist, bool bSkipVis);
    int CreateRandomPedIndex();
    Object* CreatePedAmb(bool bSkipVis);

    s16 i16Delay;
    s16 i16NumSpawned;
    s16 i16MaxToSpawn;
    Cuboid cub;
    RoadSeg* prs;
    VectorPos vRoadEnds[2];
    int iMdlIndex;
    int iStartMFIndex;
    int iNumMFS;
    OBJMESSAGEHANDLER pedmh;

    static float f16PedZone1Dist;
    static float f16PedZone2Dist;
    static float f16PedMaximumDist;
};

// The standing figure a generator makes when no pedestrian can be.
class PedAmb : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    GHCache ghc;
    RoadSeg* prs;
    PedGen* ppg;
    int iLastDrawnTime;
};

class VehGenController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    int GetCloseRSList(RoadSeg** pprs, int iMaxRS);

    s16 i16NumVehGens;
    VehGen* rgpVehGen[32];
    int iStartMFIndex;
    int iMaxToSpawn;
    int iMaxMDLFileIndex;
    int iId;
    bool bNotFirst;

    static float f16VehGenDist;
    static constexpr int iMaxVehGenList = 32;
};

class CarDriver;
class Vehicle;
class VehGen : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    int iGenScore(float* pfDist, bool bSkipVis);
    CarDriver* CreateVehAmb(bool bSkipVis);
    bool TryRoadSegFT(RoadSeg& rseg, float* pft, VectorPos* pvp, VectorDir* pvd, bool bAgainstRoadDir);
    float FindClosestVehs(VectorPos& vPos, RoadSeg* prs, float _fT, bool bDirection, float* pfTBefore,
                          float* pfTAfter);
    bool CheckVehSpawnOverlap(Vehicle& veh);
    int CreateRandomVehIndex();
    int CreateRandomAmbDriverIndex(int* pITint);

    s16 i16Delay;
    s16 i16NumSpawned;
    s16 i16MaxToSpawn;
    Cuboid cub;
    RoadSeg* prs;
    VectorPos vRoadEnds[2];
    int iMdlIndex;

    static float f16VehZone1Dist;
    static float f16VehZone2Dist;
};

float fRSClosestDist(RoadSeg* prs);
PedGen* CreatePedGen(RoadSeg& rs, int iMFIndex, int iMaxToSpawn, int iMaxMDLFileIndex, int iId, bool bFirst);
PedGen* ppgCreatePedGen(RoadSeg& rs, int iMFIndex, int iMaxToSpawn, int iMaxMDLFileIndex, int iId);
VehGen* CreateVehGen(RoadSeg& rs, int iMFIndex, int iMaxToSpawn, int iMaxMDLFileIndex, int iId, bool bFirst);
VehGen* pvgCreateVehGen(RoadSeg& rs, int iMFIndex, int iMaxToSpawn, int iMaxMDLFileIndex, int iId);
float GetLaneOffsetDist(const RoadSeg& rs, int iLaneVal, bool bAgainst);
// The most ambient cars at once: 7 in the tail mode, else 10.
int AmbientCarLimit();
// Made and added to the world.
PedGenController* CreateRSPedGens(int _iStartMFIndex, int _iMaxToSpawn, int _iMaxMDLFileIndex, int _iId);
VehGenController* CreateRSVehGens(int _iStartMFIndex, int _iMaxToSpawn, int _iMaxMDLFileIndex, int _iId);
struct EscapeMissionParams;
struct PursuitMissionParams;
struct ShootoutMissionParams;
struct TailMissionParams;
struct InfiltrateMissionParams;

#include "game/GameModes.h"
#include "game/GameFEntChase.h"
#include "game/SideGames.h"
#include "game/Race247.h"

// The random-mission spawner: one object in the world that starts the random
// street crimes, one at a time.  Its timer picks the next of the crimes it
// may start itself (a stride through the crime indexes, each once a cycle)
// and waits a cool-down after each; bystanders ask it for the crimes they
// begin (SMSG_EV_ENABLE_RANDOM_CRIME).  Made zero-filled by
// GameController::SetupGeneratedRandMission.
class RandomMissionSpawner : public Object
{
public:
    static int RandomMissionSpawner_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    // Whether the timer may choose crime index i (scripted crimes start
    // only when a bystander asks).
    static bool IsGenerated(int i);
    // A new cycle: every timer-spawnable crime free again, a new stride.
    void Init();
    // The next crime index of the cycle, or -1 when the cycle is used up.
    int ChooseNextMissionIndex();
    // Creates crime iIndex with the objects a bystander hands over; false
    // when it could not start.
    bool EnableNextMission(int iIndex, Object* obj1, Object* obj2);
    // The crime the next choice starts from (-1: none).
    void SetCurrentIndex(int i);

    int iCurrentIndex;
    int iDelta;
    int iCurrentEnabledMax;
    int iAvailable;
    s8 ri8Status[256];   // per crime index: 0 free, 1 used this cycle, -1 never the timer's
    RCptr<Object> rcoCurrent;
    int iDifficultyLevel;
};
