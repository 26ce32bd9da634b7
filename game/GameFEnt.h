// The game flow's two screen overlays: the full-screen fade and the cinema
// bars.  Both are raw objects on the world's post-draw list, drawn after the
// scene, and take themselves off it when they are done.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"

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
// The objects set-up files and the mode setters make.  Their behaviour is
// their own and is not built yet: each kind's handler makes its object on
// OM_CREATE, says once that the kind was used, deletes it on OM_DIE and
// answers every other message with 0.  The mode controllers take the mode
// messages and never end their mode.  The fields are those the game flow
// fills.

#include "ZevEngine2/List.h"
#include "game/EntParams.h"
#include "game/Airplane.h"
#include "game/GameEvents.h"

class Spline;

// The handler every level-entity seam uses: OM_CREATE makes a zero-filled T
// with the handler mh (named what in the one-time report), OM_DIE deletes.
template <class T>
int EntitySeam(Object* o, OBJMESSAGE msg, const char* what, OBJMESSAGEHANDLER mh);
void EntitySeamUsed(const char* what);

#define ENTITY_SEAM_HANDLER static int staticmh(Object* o, OBJMESSAGE msg, void* data)

class EnemyGenRunner : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    EnemyGenRunner_params* pegrp;
    int iRunnerId;
    Object* gameeventobj;
};
class EnemyGenMutant : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    EnemyGenMutant_params* pegmp;
    Spline* pSplineArrive;
    Spline* pSplineMove;
    Object* gameeventobj;
};
class EnemyGenMannequin : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    MannequinShooter_params* pegsp;
    Spline* pSplineArrive;
    Object* gameeventobj;
};
class TargetMoving : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    TargetMoving_params* ptmp;
    TargetStatic_params* ptsp;
    int bIsMoving;
    Spline* pSpline;
};
class TargetInnocent : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    TargetInnocent_params* ptip;
};
class DrvCrseGate : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    DrvCrseGate_params* pdcgp;
};
class DrvCrsePed : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    DrvCrsePed_params* pdcpp;
    Spline* pSpline;
};
class DrvCrseProp : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    float fStrength;
    int iType;
};
class DrvCrseDrone : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    RaceCourseDroneCar_params* prcdc;
    Spline* pSpline;
    RCptr<Object> rcCar;
    float fSpeed;
};
// The ambient pedestrian and car generators' controllers.
class PedGenController : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    int iStartSlot, iMaxToSpawn, iNumSlots, iId;
    bool bNotFirst;
};
class VehGenController : public Object
{
public:
    ENTITY_SEAM_HANDLER;
    int iStartSlot, iMaxToSpawn, iNumSlots, iId;
    bool bNotFirst;
};
// A vehicle generator as its cars' drivers see it: the road its cars start
// cruising on, how many of its cars live, and the view distances beyond
// which a far car of the traffic is taken away (unseen, and in any case).
class RoadSeg;
class VehGen : public Object
{
public:
    RoadSeg* prs;
    s16 i16NumSpawned;
    static float f16VehZone1Dist;
    static float f16VehZone2Dist;
};
// Made and added to the world.
PedGenController* CreateRSPedGens(int iStartSlot, int iMaxToSpawn, int iNumSlots, int iId);
VehGenController* CreateRSVehGens(int iStartSlot, int iMaxToSpawn, int iNumSlots, int iId);
struct EscapeMissionParams;
struct PursuitMissionParams;
struct ShootoutMissionParams;
struct TailMissionParams;
struct InfiltrateMissionParams;

// The mode controllers.
class ModeControllerSeam : public Object
{
public:
    Object* gameeventobj;
    int iStage;   // the last SMSG_MODE_SET_STAGE
    int iLastModeMessage;
};
#define MODE_CONTROLLER(name, fields)          \
    class name : public ModeControllerSeam     \
    {                                          \
    public:                                    \
        ENTITY_SEAM_HANDLER;                   \
        fields                                 \
    };
MODE_CONTROLLER(EscapeMissionController, EscapeMissionParams* pemp;)
MODE_CONTROLLER(PursuitMissionController, PursuitMissionParams* ppmp; bool bFromOtherMission;)
MODE_CONTROLLER(ImpoundLotMissionController, )
MODE_CONTROLLER(WanderMissionController, )
MODE_CONTROLLER(DojoTrainingModeController, )
MODE_CONTROLLER(FRangeMissionController, )
MODE_CONTROLLER(GunCourseMissionController, )
MODE_CONTROLLER(DragonMissionController, )
MODE_CONTROLLER(DemonMissionController, ObjectList stages[4];)
MODE_CONTROLLER(TailMissionController, TailMissionParams* ptmp; bool bStarted;)
MODE_CONTROLLER(InfiltrateMissionController, InfiltrateMissionParams* pimp;)
MODE_CONTROLLER(LearJetChaseMissionController, RCptr<Object> rcTarget;)
MODE_CONTROLLER(RaceMissionController, RCptr<Object> rcTarget;)
MODE_CONTROLLER(StreetRaceMissionController, RCptr<Object> rcTarget; VectorPos vpFinishLine; VectorDir vdFinishDir;)
MODE_CONTROLLER(Race247MissionController, )

#include "game/GameModes.h"

// The random-mission spawner: starts random street crimes.
class RandomMissionSpawner : public Object
{
public:
    static int RandomMissionSpawner_mh(Object* o, OBJMESSAGE msg, void* data);
    void Init() {}
    void SetCurrentIndex(int i) { iCurrentIndex = i; }
    RCptr<Object> rcoCurrent;
    int iCurrentIndex;
};
