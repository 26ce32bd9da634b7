// The player character: the body and rig of DaceBody with the player's own
// state, his message handler, the per-frame dispatch by player mode, the
// mode machine that follows the game controller's mission modes, the special
// messages the rest of the game steers him with, the pad turned into
// movement directions, target acquisition, and the animation, damage and
// ground services every mode uses.
//
// Player.cpp holds construction, the handler, Init and Frame; PlayerModes.cpp
// the mode machine; PlayerSpecial.cpp the special messages; PlayerTargets.cpp
// target acquisition; PlayerServices.cpp animation, damage, body collision and
// ground.  The per-mode movement code lives in PlayerPed.cpp (on foot, fists,
// cinematic walk), PlayerShootout.cpp and PlayerStealth.cpp (guns, stealth)
// and PlayerDrive.cpp (driving, car transitions, cinematic drive).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/Utilities/OverlayAnim.h"
#include "game/PlayerBody.h"
#include "game/Road.h"
#include "game/Weapons.h"

class Camera;
class CollisionRecord;
class GunPickup;
class Vehicle;
struct NODE;

// What the current mission asks of the player.
enum PlayerTask
{
    Task_None,
    Task_DriveTo,
    Task_Race,
    Task_Pursue,
    Task_Escape,
    Task_Tail,
    Task_Defeat,
    Task_Shootout,
    Task_Infiltrate,
};

// The player's modes (his Object::mode).
enum : s8
{
    DACEMODE_INACTIVE = 0,
    DACEMODE_ONFOOT = 1,
    DACEMODE_GUNS = 2,
    DACEMODE_FISTS = 3,
    DACEMODE_STEALTH = 4,
    DACEMODE_DRIVING = 5,
    DACEMODE_CARTRANSITION = 6,
    DACEMODE_CINEDRIVE = 7,
    DACEMODE_CINEWALK = 8,
};

class Dace : public DaceBody
{
public:
    // The pad of one frame with the left stick turned into directions: in
    // camera space, on the world's ground and in the player's own frame.
    class PlayerController : public Controller
    {
    public:
        PlayerController(const Controller& pad, const Matrix& playermat);

        VectorXY cxy;    // after the dead zone, length at most 1; x right, y toward the player
        VectorDir cdir;  // (cxy.x, 0, -cxy.y): stick up is +z of the camera
        VectorDir ldir;  // wdir in the player's frame
        VectorDir wdir;  // cdir turned by the current camera, flattened (not renormalised)
    };

    enum ShootMode
    {
        SHOOT_NONE,
        SHOOT_NORMAL,
        SHOOT_RELOAD,
        SHOOT_PRECISION,
        SHOOT_INAIR,
    };
    enum DrivingSpeed
    {
        DRIVESPEED_FAST,
        DRIVESPEED_SLOW,
        DRIVESPEED_MIDSPEED,
    };
    enum SfxDrivingSpeed
    {
        SFXDRIVESPEED_FAST,
        SFXDRIVESPEED_SLOW,
    };
    enum eCineWalkFlags
    {
        CINEWALK_FREE,
        CINEWALK_TOTARGET,
        CINEWALK_PATH,
    };
    // Wall contact: FULL a full-height wall, HALF half-height cover.
    enum CollState
    {
        FREE,
        PUSH_DYNAMIC,
        PUSH_STATIC,
        TURNING_STATIC_FULL,
        TURNING_STATIC_HALF,
        BACK_STATIC_FULL,
        BACK_STATIC_HALF,
        OUT_STATIC_FULL,
        OUT_STATIC_HALF,
        RETURNING_STATIC_FULL,
        RETURNING_STATIC_HALF,
        PULL_DYNAMIC,
        PULL_STATIC,
    };
    enum SubMode
    {
        PED_JUMPING_SPRINTING,
        PED_JUMPING_RUNNING,
        PED_JUMPING_STANDING,
        PED_JUMPING_OVERHOOD,
    };

    // The special-message codes the player answers and sends that no other
    // module names.
    enum : int
    {
        SMSG_SPOTTED_QUERY = 93,
        SMSG_SHOT_AT = 25,
        SMSG_PROJECTILE_DAMAGE = 28,
        SMSG_GRABBED = 31,
        SMSG_PLAYER_LOSE_SHIELD = 38,
        SMSG_SOFT_POPOUT = 99,
        SMSG_CD_DRIVER_LEFT = 106,
        SMSG_PLAYER_LGUN_FLAG_OFF = 130,
        SMSG_PLAYER_RGUN_FLAG_OFF = 131,
        SMSG_PLAYER_LGUN_FLAG_ON = 132,
        SMSG_PLAYER_RGUN_FLAG_ON = 133,
        SMSG_PLAYER_GUNS_FLAG_OFF = 134,
        SMSG_PLAYER_GUNS_FLAG_ON = 135,
        SMSG_PLAYER_KICKSTAND_UP = 194,
        SMSG_PLAYER_KICKSTAND_UP_2 = 195,
        SMSG_PLAYER_KICKSTAND_DOWN = 196,
        SMSG_PLAYER_KICKSTAND_DOWN_2 = 197,
        SMSG_PLAYER_SET_MODE = 4701,
        SMSG_PLAYER_LEAVE_WALL = 7754,
        SMSG_PLAYER_SET_CAMERA = 8000,
        SMSG_PLAYER_CINE_WALK = 8001,
        SMSG_PLAYER_REFRESH = 8004,
        SMSG_PLAYER_STAND_UP = 8005,
        SMSG_PLAYER_REGROUND = 8006,
        SMSG_EV_23001 = 23001,
        SMSG_EV_KNOCKED_DOWN = 23004,
        SMSG_EV_CHARACTER_DIED = 23006,
        SMSG_EV_ATTACK_STARTED = 23007,
        SMSG_EV_ATTACK_HIT = 23008,
        SMSG_EV_ATTACK_BLOCKED = 23009,
        SMSG_EV_TARGET_SPOTTED = 23012,
        SMSG_EV_FIGHT_TARGET_QUERY = 23015,
        SMSG_EV_PLAYER_REFRESHED = 23026,
        SMSG_EV_PLAYER_SHOTS_B = 23046,
        SMSG_MODE_FINISHED = 28003,
        SMSG_Q_SPOTTABLE = 29002,
        SMSG_Q_SHOOT_TARGET = 29003,
    };

    static constexpr u32 Never = 0x7FFFFFFF;
    // Object flag: set while he stands on his own feet, clear while seated.
    static constexpr unsigned OnFootFlag = 0x80;
    static constexpr float UnsetFrame = -8388608.0f;

    Dace();
    explicit Dace(OBJMESSAGEHANDLER mh);
    ~Dace();

    static int Dace_mh(Object* obj, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    void Init();
    void Frame(PlayerController& pc);

    // Mode machine.
    void SwitchToMode(s8 newmode, bool setanim);
    void SwitchGameplayMode(int g, bool init);
    void SwitchToOnFootShootingMode();
    void SwitchToOnFootCombatMode();
    void SwitchToOnFootPedestrianMode();

    // Special messages: the reply to the sender.
    int Special(SpecialMessage* m);

    // Pad.
    static DaceAnim::AttackType GetAttackType(const Controller& pad);
    // A stick byte as -88..87, 0 in the dead zone around its centre.
    static int StickAxis(u8 v);
    // The heading of a direction seen in its own frame: 0 straight ahead,
    // positive to the right.
    static float Heading(VectorDir d) { return ArcTan2(d[0], d[2]); }
    static float Turn(float current, float goal, float maxstep);
    static bool CanJump() { return true; }

    // Target acquisition.
    bool IsTargetValid(Object* obj, float range);
    void AcquireFightTarget(bool nearonly);
    bool AcquirePrimaryShootTarget(bool allowcivilians, int forceddir);
    void AcquireSecondaryShootTarget();
    void AcquireTarget();
    void CheckOnFootTarget();
    void CheckShootingTargets();
    void CheckDrivingShootingTarget();
    bool IsTargetInView(Object* obj);
    void TrySpottingEnemy(Object* obj);
    Object* GetLoneEnemyInRadius(float radius2);
    Vehicle* FindCar(bool drawnonly);
    Object* FindNearestObject(VectorPos pos, u16 type, u32 excludedflags);
    bool IsTargetedByShooter();
    const RoadSeg* GetCurrentRS() const;

    // Animation, damage, body collision and ground.
    void SetAnim(u16 anim, int group = -1, int index = -1);
    void BlendToAnim(u16 anim, int morph, int group = -1, int index = -1, bool flag = false);
    bool ChainAttack(DaceAnim::AttackType type, int morph);
    bool GoIdle();
    void Animate();
    void SetLookMode(LookMode m);
    void SetShootMode(ShootMode s);
    void UpdateReticle(bool incar);
    void TakeDamage(float amount, int unused);
    void TakeFightingDamage(float amount);
    void UpdateBodyColl();
    float UpdateGroundAndLandableHeight(VectorPos pos, VectorDir* normal, GHCache* cache);
    void SetCollidePlaneAndExtent(const Matrix& wallmat, const Cuboid& box, VectorDir dir);
    VectorDir GetAnimVelocity() const;
    void PlayCombatSfx(int sample, VectorPos pos, float pitch);
    void PlayVOSfx(int sample, VectorPos pos);
    void PlayFoleySfx(int base, int offset, VectorPos pos);
    void PedestrianModeNormal();
    void PedestrianModeWalk();
    void PedestrianModeRun();

    // The movement code of the modes (PlayerPed, PlayerShootout,
    // PlayerStealth, PlayerDrive).
    void Frame_PedestrianMode(PlayerController& pc);
    void Frame_GunMode(PlayerController& pc);
    void Frame_Stealth(PlayerController& pc);
    void Frame_DriverMode(PlayerController& pc);
    void Frame_TransitionMode(PlayerController& pc);
    void Frame_CineDriverMode(PlayerController& pc);
    void Frame_CineWalkMode(PlayerController& pc);
    int Loop_PedestrianMode(Object* obj, int slot, bool fromoverlay);
    int Loop_DriverMode(Object* obj, int slot);
    int Loop_TransitionMode(Object* obj, int slot);
    int AnimEvent_PedestrianMode(Object* obj, int event, int slot);
    int AnimEvent_DriverMode(Object* obj, int event, int slot);
    int AnimEvent_TransitionMode(Object* obj, int event, int slot);
    int Collision_Pedestrian(CollisionRecord* cr);
    void LeaveCurrentMode();
    // Arrests, tackles and hood vaults (PlayerPedArrest.cpp): each true when
    // it started the move.
    bool TryStandingUpArrest(Guy* guy, bool dofailanim);
    bool TryLyingDownArrest(Guy* guy);
    bool TryTackle(Guy* guy);
    bool TryJumpingHood(Vehicle* jumpcar);
    // One frame of a vault over `car`'s hood.
    void HoodJumpFrame();
    void InitGunsPedestrian();
    void BreakFinishing();
    int Collision_Pedestrian_Blow(CollisionRecord* cr);
    void UpdateDazeState();
    static int CalculateBlockAni(unsigned int attackflags);
    static int CalculateRecoilAni(VectorPos localpt);
    static int CalculateBackRecoilAni(VectorPos localpt);
    static int CalculateKnockdownAni(VectorPos localpt);
    void CombatPerformAttacks(PlayerController& pc);
    void StartCombatAttack(int attacktype, bool finishing);
    bool ChainCombatAttack(int blendamount);
    void StartCombatFinishingAttack();
    void WalkTo_Combat(VectorDir dir, float turnspeed);
    void VictimUpdate(PlayerController& pc);
    void PedestrianMovement(PlayerController& pc);
    void PedestrianMoveCamera(PlayerController& pc);
    void WalkTo(VectorDir dir, float turnspeed);
    void PedestrianCheckForFall();
    void PedestrianCheckGroundContact();
    VectorPos GroundReference();
    void CombatKnockdownCheckGroundContact();
    void GunReloadGuns();
    void TakeProjectileDamage(float amount);

    // Gun mode (PlayerShootout.cpp).
    void GunMoveFree(PlayerController& pc);
    void StartGunJump(PlayerController& pc);
    void StartGunDive(PlayerController& pc);
    void WalkTo_Gun(VectorDir dir);
    void GunMoveBackFull(PlayerController& pc);
    void GunMoveBackHalf(PlayerController& pc);
    void GunMoveTurning(PlayerController& pc);
    void GunMoveReturning(PlayerController& pc);
    void GunMoveHumanShield(PlayerController& pc);
    bool GunReorient();

    // Cover along wall splines (PlayerCover.cpp).  A wall segment found near
    // the player.
    struct CheckSpline
    {
        Bezier b;
        Spline* s;
        float t;   // segment index plus the parameter on it
        u16 i;     // the wall's object index
        u16 c;     // a half-height wall
    };
    bool CheckForSplineEntry(CheckSpline* out, float dist);
    bool GunCheckForWallSplineEntry(PlayerController& pc);
    bool UpdateWallSpline();
    // The cover animation of the same kind at the other wall height.
    static u16 GetHalfHeightAnim(u16 anim);
    static u16 GetFullHeightAnim(u16 anim);

    // Stealth (PlayerStealth.cpp).
    void StealthMoveFree(PlayerController& pc);
    void StealthMoveTurning(PlayerController& pc);
    void StealthMoveBackFull(PlayerController& pc);
    void StealthMoveBackHalf(PlayerController& pc);
    bool StealthCheckForWallSplineEntry(PlayerController& pc);
    void WalkTo_Stealth(VectorDir dir, float rate);
    void ShootoutTargetGuns(PlayerController& pc);
    bool PedestrianSelectShot();
    void PedestrianShootActiveGun();
    void LogShot();
    // No shot in the last n world frames (or none ever).
    bool NoShotFor(int n) const;

    // Cars: getting in and out (PlayerCarDoors.cpp), driving
    // (PlayerDrive.cpp), the cinematic drive (PlayerCarCine.cpp).
    bool TryGettingIn(Vehicle* v);
    void StartWalkingToDoor(bool left, Vehicle* v);
    void PutIn(Vehicle* v, int seat);
    void GetOut();
    bool CancelGetIn();
    void CancelCarTransition();
    void DetachFromCar();
    void ExitTransitionMode();
    int Frame_CycleSub(PlayerController& pc);

    // Class constants.
    static const VectorPos NPCLeftArrestPt, NPCRightArrestPt;
    static const float SlowMoAnimationSpeed, SlowMoTransitionSpeed, MaxCombatDist, CombatVicinity, AttackRingOuter,
        RunThreshold, SprintThreshold, GunFaceRunThreshold;
    static const int cArmAnimIDs[29];
    static const int cArmAnimIDcnt = 29;
    static const Guy::VictimData victimizations[8];

    PlayerTask task;
    float speed;
    RCptr<Object> target;        // fight or gun target
    RCptr<Object> target2;       // secondary gun target
    RCptr<Object> shieldTarget;  // held as a human shield
    float lookvely, maxturnspeed;
    u32 idle;
    u32 attackidle;
    float jumpframe, slideframe, jumpstartframe, pushpullframe, grappleframe, shootingframe, reloadframe;
    u32 droptime, jumptime, attacktime, attackedtime, hitbyattacktime, newtargettime, dazedstarttime,
        dazecountertime, finishingstartcount, lastgrappleinputtime;
    u32 lasttarget1checktime, lasttarget2checktime, lasttargetsightchecktime, lastspottingtime;
    u32 lastpassedcolltime;
    s16 lastForceTargetDir;
    RCptr<Object> hitbyattackguy;
    bool usercam, centercamera, firstperson, facemode, combatuntilidleloop, poppedoutinrender;
    DaceAnim::AttackType finishingbuffer[8];
    s16 finishingbuffermatchindex, finishingbuffermatchlen;
    VectorDir pushoutmovement, pushoutvel, newpushoutvel, lastpopout;
    VectorPos lastpos;
    VectorDir facemodemovedir, lastrelativecontrollerdir;
    int npcgrapplesoundchannel;
    int npcgrapplebreakattempts;
    float jumpspeed;
    Matrix backmat, lyingdownarrestmat, grappledmat;
    float grappledframe;
    bool grappleseparation;
    s16 grapplemorphlen, grapplewaitlen;
    VectorPos grappledstartpos;
    int grapplebankoverride, grappleindexoverride;
    ShootMode shootmode;
    Weapon baseWeapon;
    bool bHasLeftPickup, bHasRightPickup;
    GunPickup* pLeftPUWeapon;
    GunPickup* pRightPUWeapon;
    bool aimingweapon, shootrightgunnext, knockdownready, shootatsecondary, lastshotsecondary, norunning;
    WorldTime firetimes[4];
    bool inputdisabled;
    bool bCanReload, offenseactive;
    int exclusiveshots;
    OverlayAnim armOverlay;
    s16 overlayPlaying;
    float animspeed;
    u16 loopmode2;
    u32 numloops;
    s16 totalhitstodaze, curhitstodaze;
    Camera* cam;       // the camera following the player now
    Camera* dacecam;   // his own, made with him
    Guy* arrestguy;
    u16 rootcollmask, footrootcollmask, fightoffensivecollmask;
    CollSphere bodycollspheres[9];
    OffensiveCollision offcollobjs[4];
    RCptr<Object> reticle, reticle2, reticlePr;
    int whizsfx;
    Vehicle* car;
    VectorPos targetoffset, childpos;
    float cycleblendlean, cycleblendtip;
    Object* npcsubject;
    u32 drivingspeedswitchtime;
    DrivingSpeed drivingspeed, lastdrivingspeed;
    u32 sfxdrivingspeedswitchtime;
    SfxDrivingSpeed sfxdrivingspeed, lastsfxdrivingspeed;
    int lastshabbysighting, lasthottiesighting, nextsightingtime;
    // The cue of the current speed class (music, voice) has been given.
    bool drivingcuedone, sfxdrivingcuedone;
    GHCache ghc;
    eCineWalkFlags cineWalkFlags;
    s8 iCineScriptData;
    void* pCineScript;
    int iCineScriptTime;
    Spline* cinewalkpath;
    Spline* carboxspline;
    Vector carboxsplinevectors[32];
    DaceAnim::AttackType attackbuffer;
    CollState collidestate;
    Object* prevcollideobj;
    Object* collideobj;
    u16 collideobjindex;
    bool collideheightcrouch;
    Plane collideplane;
    VectorDir collideperp;
    Vector collidexyextent;
    u32 collideturntime;
    VectorDir backfacenorm;
    float verticaljumpspeed;
    Spline* collspline;
    float collsplinet;
    Bezier collbezier;
    VectorXYZ collbezparams;
    bool walkfoleyalternate, runfoleyalternate;
    float groundy;
    VectorDir groundnormal;
    float groundterrainy;
    VectorDir groundterrainnormal;
    RCptr<Object> groundobj;
    float groundobjy;
    float groundobjdist;
    VectorDir groundobjnormal;
    u32 groundupdatetime;
    s8 i8SaveVehID, i8SaveVehTint;
    VectorDir airvelocity;
    int iLastCameraToggleControlLeadEdge;
    bool rbLastCameraToggleControlDownState[2];
    int iLastCyclePoseAnimIndex;
    float fLastCyclePoseBlendAmount;
    SubMode submode;

private:
    void Construct();
    void ApplyPopOut();
    int PassedCollision(CollisionRecord* cr);
    void TearDown();
    void FinishOverlay();
    void QuitAiming(GunArm& arm);
    void FaceAlong(VectorDir d);
    // The on-foot frame's paired-move step, remarks on passers-by, and the
    // gun arms' aim.
    void PairedMoveStep();
    void PasserByRemarks();
    void AimGunArms();
    // On foot: a shot into the air from a gun held up in warning, on R1.
    void WarningShot(const PlayerController& pc);
    // The right gun drawn and fired unless it is still in its last shot.
    void ShotIntoTheAir();
    // A random-crime fighter busy fighting him, not at his side, holds off
    // an arrest.
    bool ArrestHeldOff();
    // The grab node (sub-object 31) posed on a clip as it starts at his
    // frame, where a grabbed character reads the hands; turned to face
    // straight ahead when faceAhead is set (the arrests).
    void PoseGrabNode(AnimChar* clip, bool faceAhead = true);
    // Faces the character's torso, flat; not when it is almost underfoot.
    void FaceGuy(Guy* guy);
    void FaceTarget();
    void DrawInCar();
    // The driving frame's steps (PlayerDrive.cpp) and the seat shared by the
    // driven and the cinematic drive.
    void DrivingRemarks();
    void DrivingGuns(PlayerController& pc);
    void DrivingCues();
    void SeatBody();
    void PlaceCarCamera(float dist);
    void KeepFeetOnGround();
    bool CarMovesBackwards() const;
    void DeleteReticle(RCptr<Object>& r);
    void Grabbed(SpecialMessage* m, int& reply);
    void Knockback(SpecialMessage* m);
    void BulletHit(SpecialMessage* m);
    void SetCamera(SpecialMessage* m);
    void RageRemark(SpecialMessage* m);
    void ModeFinished(SpecialMessage* m);
    void HudQuery(SpecialMessage* m);
    int SendEvent(int code, Object* to, Variant p0 = 0, Variant p1 = 0);
    void StartAnim(u16 anim, int morph, int group, int index, bool flag, bool blend);
    float LocomotionFactor(bool& again);
    Object* CheckRayFromHead(Object* obj, VectorPos to);
    // Gun mode's own steps.
    bool GunInput(PlayerController& pc, DaceAnim::AttackType type);
    void GunCover(PlayerController& pc);
    void AimGuns();
    void EmptyGuns();
    bool FireAllowed(bool newpress) const;
    void StartPress(PlayerController& pc, bool automatic);
    void PrecisionStep(PlayerController& pc);
    bool TryShieldGrab();
    void TryGunPickup();
    Object* OwnGunInHand(bool right);
    void RootAlongBody();
    void StealthMoveBack(PlayerController& pc, bool half);
    void HoldToWall(float rate);
    static Matrix WallBackMatrix(const Bezier& b, float t);

public:
};

// Gun mode's aim with nothing to shoot at, in the player's frame; and the
// extra pitch of free precision aiming.
extern const VectorDir GunAimOffset;
extern float PrecisionFirePitch;

// The footstep sound bank.
extern unsigned short sndbank_foley;

// The disabled pad: centred sticks, nothing pressed.
extern Controller disabledcontroller;

// The player while a level runs; null otherwise.
extern Dace* dace;
