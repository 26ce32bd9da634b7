// The street characters that are not the player: BadGuy, the base of enemies
// and bystanders (target, car, voice, ground cache, the obstacle scan and
// the walk to a car door), and Enemy, every hostile character.
//
// An enemy's kind is its handler together with enemytype: ShooterEnemy_mh
// runs shooters and guards (the mode byte holds the state), the fighter and
// runner handlers come with their own files.  A kind changes at run time by
// swapping handler and type and calling the kind's init routine.  Every
// animation change goes through Enemy::BlendToAnim / ReBlendToAnim / SetAnim,
// which map a BadGuyAnims number to a clip, its bank and its attack bits.
#pragma once

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Extent.h"
#include "game/BadGuyAnims.h"
#include "game/Guy.h"
#include "game/GameEvents.h"
#include "game/Limbs.h"
#include "game/Road.h"
#include "game/cardrivr.h"

class Vehicle;
class Bystander;
struct AnimEventMessage;

// Object flag bits of an enemy (beside the character body's GUYF_*).
enum : unsigned int
{
    ENEMYF_ACTIVE = 0x20,            // a shooter state that takes decisions
    ENEMYF_HOLDING = 0x100,          // a grab holds its victim / marking time
    ENEMYF_AIRBORNE = 0x20000,
    ENEMYF_ATTACKBITS = 0x07802000,  // replaced at every animation change (see ReBlendToAnim)
};

// Bits of Enemy::u32BGFlags.
enum : u32
{
    BGF_HIBERNATING = 1,
    BGF_LEAVING = 2,   // leaves the world when its frame is over
};

// Lines of the non-player voice banks (JBNPCVO kinds).
enum NPCVOType
{
    NPCVO_BattleCry_1,
    NPCVO_BattleCry_2,
    NPCVO_BattleCry_3,
    NPCVO_BattleCry_Taunt,
    NPCVO_Kata,
    NPCVO_Cheer,
    NPCVO_Hurt_1,
    NPCVO_Hurt_2,
    NPCVO_Hurt_3,
    NPCVO_Knockdown,
    NPCVO_Killed,
    NPCVO_Choke,
    NPCVO_Noticed,
    NPCVO_Spotted,
};

// Game events an enemy sends its event object (OM_SPECIAL codes), beside
// the shared ones of GameEvents.h.
enum
{
    SMSG_SHOT_AT = 25,
    SMSG_PLAYER_LOSE_SHIELD = 38,
    SMSG_SEEK_OBJECT = 62,
    SMSG_MORPH_TO_BYSTANDER = 82,
    SMSG_PATH_POINT_REACHED = 800,
    SMSG_EV_ENEMY_SURRENDERED = 23002,
    SMSG_EV_KNOCKED_DOWN = 23004,
    SMSG_EV_ATTACK_HIT = 23008,
    SMSG_EV_TARGET_BUSTED = 23010,
    SMSG_EV_ENEMY_IN_CAR = 23051,
};

// ---------------------------------------------------------------------------

class BadGuy : public Guy
{
public:
    struct ObstacleInfo
    {
        ObstacleInfo();

        RCptr<Object> obj;
        GHCache ghc;
        VectorPos leftside, rightside;
        float leftsideoffset, rightsideoffset;
        int closerside;   // -1 left, 1 right, 0 none (CalcObstacleSides)
    };

    struct ObstacleScanBox
    {
        static constexpr int MaxObjs = 128;
        bool valid;
        Cuboid box;
        int numobjs;
        RCptr<Object> objs[MaxObjs];
    };

    explicit BadGuy(OBJMESSAGEHANDLER mh);
    ~BadGuy();

    // The nearest obstacle ahead on the road into info->obj, or null.
    void ScanForObstacles(ObstacleInfo* info);
    void CalcObstacleSides(ObstacleInfo* info, VectorDir dir);
    const ObstacleScanBox& UpdateScanBox(VectorDir dir, float ahead, float halfwidth);
    void StartWalkingToDoor(bool left);
    bool StartGettingIn(Vehicle* car);

    float aggro;
    bool morphed;
    bool seektarget, chasetarget, harasstarget, targetspotted;
    RCptr<Object> target;
    bool iscivilian, ishostage, issurrendering, iscop;
    Vehicle* car;
    GHCache ghc;
    u8 vobank;
    float vopitch;
    int slipcounter;
    VectorPos lastworldpos;
    float lastworldtime;
    VectorDir divedir;
    int diveani;
    ObstacleInfo curobstacle;
    ObstacleScanBox scanbox;
};

// ---------------------------------------------------------------------------

class Enemy : public BadGuy
{
public:
    enum EnemyType
    {
        ENEMYTYPE_SHOOTER,
        ENEMYTYPE_FIGHTER,
        ENEMYTYPE_RUNNER,
    };
    enum Behavior
    {
        STATIONARY,
        STATIONARY_HANGING,
        STATIONARY_VEHICLE,
        STATIONARY_COPTER,
        MOVING,
        HIDING,
        SEE_MOVING,
        RUN_AWAY,
        AVOID_OBSTACLE,
    };
    enum HideBehavior
    {
        NO_HIDING,
        START_HIDING,
        START_END_HIDING,
    };
    enum AttackMode
    {
        AM_NONE,
        AM_PASSIVE,
        AM_ACTIVE,
        AM_FRONT,
    };
    enum CombatModes
    {
        CM_NEUTRAL,
        CM_STANDBY,
        CM_THREATEN,
        CM_BLOWNAWAY,
        CM_ATTACK,
        CM_POSTATTACK,
        CM_APPROACH,
        CM_POSTAPPROACH,
        CM_RETREAT,
        CM_POSTRETREAT,
        CM_SIDESTEP,
        CM_POSTSIDESTEP,
        CM_DEFEND,
        CM_DAZED,
        CM_RECOIL,
        CM_POSTRECOIL,
        CM_STUMBLING,
        CM_KNOCKED_DOWN,
        CM_NEUTRAL_GUARDUP,
        CM_BUSTED,
        CM_DEAD,
    };

    // A world frame stamp; -1 is unset and earlier than every frame.
    static bool Before(WorldTime t, int now) { return t == -1 || t < now; }

    Enemy(OBJMESSAGEHANDLER mh, MDLFILE* mf, int hierarchy);
    ~Enemy();

    // --- life (BadGuy.cpp)
    void InitAsShooter();
    void ReinitAsShooter();
    void RemoveAsShooter();
    void Hibernate();
    void UnHibernate();
    bool IsHibernating() const { return (u32BGFlags & 1) != 0; }
    void UpdateBodyColl(u16 footmask, u16 rootmask, u16 rootmask2, float lift);
    VectorDir GetShootingInaccuracy(Object* tgt, float a, float b, float c, float d);
    float GetGroundHeight(VectorPos pos, VectorDir* normal = nullptr);
    float UpdateGroundAndLandableHeight(VectorPos pos, VectorDir* normal, GHCache* cache);
    Object* CreateLaserSight();
    void DestroyLaserSight();
    bool InGuardMode() const { return mode >= 32 && mode <= 35; }
    void PlayVoice(int kind);

    // --- animation (BadGuyAnim.cpp)
    // Builds the class tables (BuildAnimTables) and points the body's
    // tables at them.
    void InitAnims();
    static void BuildAnimTables();
    void BlendToAnim(u16 nm2, int nframes, int bankoverride = -1, int indexoverride = -1);
    void ReBlendToAnim(u16 nm2, int nframes, int bankoverride, int indexoverride, bool noadvance);
    void SetAnim(u16 nm2, int bankoverride = -1, int indexoverride = -1);
    void LeaveAnim();
    int CalculateBlockAni(unsigned int attackerflags);
    int CalculateRecoilAni(unsigned int attackerflags);
    int CalculateRecoilAni(VectorPos localpt);
    float GetFatigue() const;

    // --- shooter handler (BadGuyShooter.cpp)
    static int ShooterEnemy_mh(Object* obj, OBJMESSAGE msg, void* data);
    int ShooterMh(OBJMESSAGE msg, void* data);
    int ShooterFrame();
    int ShooterSpecial(SpecialMessage* m);
    void HearNoise(SpecialMessage* m);
    void BulletHit(SpecialMessage* m);
    int Grabbed(SpecialMessage* m);
    void Released(SpecialMessage* m);
    bool TrySpottingTarget(int base, int range, bool cone);
    void TargetSpotted();
    void TargetNoticed();
    void TargetBusted();
    void LookForTarget();
    float GetNearestMovePathPos(VectorPos pos);
    void UpdateMovePathPos();
    int ShooterAnimLoop(AnimEventMessage* msg);
    void ShooterAnimate(float dt);
    int KilledFallCheckGroundContact();
    VectorDir CalculateFallDir() const;
    Object* GetObstructionToTarget();
    void DropWeapon();
    void DropHostage();
    bool TakeHostage(Bystander* b);
    bool IsBusy() const;
    // Held, disarmed or arrested by the player: no popping out, no grab.
    bool InProtectedAnim() const;

    void Start_Shoot_Wait();
    void Restart_Shoot_Wait();
    void Frame_Shoot_Wait();
    void Start_Shoot_Arrive();
    void Restart_Shoot_Arrive();
    void Frame_Shoot_Arrive();
    void Frame_Shoot_Arrive_StartPath();
    void Frame_Shoot_Arrive_MidPath();
    void Frame_Shoot_Arrive_EndPath();
    void Start_Shoot_See();
    void Restart_Shoot_See();
    void Frame_Shoot_See();
    void Start_Shoot_Patrol();
    // The move path ends where it starts.
    bool MovePathIsCircular() const;
    void Restart_Shoot_Patrol();
    void Frame_Shoot_Patrol();
    // Cover and sniping (BadGuyCover.cpp).
    int CheckAreaForCover(VectorPos* out);
    void SetNextSnipingNode();
    void Start_Shoot_Sniping();
    void Start_Shoot_TakeCover_Sniping();
    void Start_Shoot_TakeCover();
    int Restart_Shoot_TakeCover();
    void Frame_Shoot_TakeCover();
    void Restart_Shoot_Sniping();
    void Frame_Shoot_Sniping();
    void Restart_Shoot_TakeCover_Sniping();
    void Frame_Shoot_TakeCover_Sniping();
    void Frame_Shoot_Surrender();
    // Guards (BadGuyGuard.cpp).
    void Start_Guard();
    void Restart_Guard_TurnAround();
    void Start_Guard_Check();
    void Start_Guard_Patrol();
    void Restart_Guard_Patrol_TurnAround();
    // The end of a guard idle; false for any other animation.
    bool GuardIdleEnded(u16 ended);
    void Restart_Guard();
    void Frame_Guard();
    void Restart_Guard_Check();
    void Frame_Guard_Check();
    void Restart_Guard_Patrol();
    void Frame_Guard_Patrol();

    // --- collisions (BadGuyCollide.cpp)
    int ShooterCollision(CollisionRecord* cr);
    int ShooterCollision_Blow(CollisionRecord* cr);
    void TakeFightingDamage(float amount);
    void ShooterRegisterUnblockedHit(Object* attacker, int s);
    VectorDir GetPopOut();
    void PlayCombatSfx(int sound, VectorPos local);
    void PutIn(Vehicle* v, int seat);

    // --- fist fighter (BadGuyFighter*.cpp)
    static int FighterEnemy_mh(Object* obj, OBJMESSAGE msg, void* data);
    int FighterMh(OBJMESSAGE msg, void* data);
    void InitAsFighter();
    void ReinitAsFighter();
    void RemoveAsFighter();
    void SetFightingStyle(int newstyle);
    static int GetFightWeaponIndex(int type);
    int FighterFrame();
    float FighterSetGroundHeight();
    void Frame_Fight_Ride();
    void Frame_Fight_Arrive();
    void Frame_Fight_Idle();
    void Frame_Fight_Waiting();
    void Frame_Fight_WalkToTarget();
    void Frame_Fight_Escape();
    void Frame_Fight_RunFromTarget();
    void Frame_Fight_Combat();
    void Frame_Fight_Surrender();
    void Frame_Fight_Combat_Surround();
    void Frame_Fight_Combat_Front();
    void Frame_Fight_Combat_Dazed();
    void StartFighting();
    float FrameWalkTo(VectorPos pos);
    float FrameWalkTo(VectorPos pos, VectorDir vel);
    float FrameCombatWalkTo(VectorPos pos);
    float FrameCombatRunTo(VectorPos pos);
    float FrameCombatBackAway(VectorPos pos);
    float FrameCombatSideStep(VectorPos pos);
    float FrameRunFrom(VectorPos pos);
    float FrameRunDownRoadFrom(VectorPos pos);
    float FrameCombatWalkAroundTo(VectorPos pos, VectorPos walkaroundpos, bool low);
    int FrameCombatShuffleTo(VectorPos pos, VectorPos facepos, bool low);
    int FrameCombatSideShuffleTo(VectorPos pos, VectorPos facepos, bool low);
    void SelectActiveAnim();
    void SelectPassiveAnim();
    void SelectFrontAnim(bool grappleallowed);
    void SelectAttackAnim(bool grappleallowed);
    int FighterCollision(CollisionRecord* cr);
    int FighterCollision_Blow(CollisionRecord* cr);
    void TakeGround(CollisionRecord* cr, Object* other);
    int ReactToAttack(int attackstrength, int type, int height, int side, bool finishing);
    void FighterRegisterUnblockedHit(Object* hitobj, int stren, bool finishing);
    void FighterRegisterBlockedHit(Object* hitobj, int stren);
    void UpdateDazeHits();
    void FighterAnimate();
    int FighterAnimLoop(AnimEventMessage* loopmsg);
    void ChainAttack(int attackanim);
    int FighterSpecial(SpecialMessage* m);
    // The fighter's style set holds a clip for id (every id without a set).
    bool StyleHas(u16 id) const;
    // The clip id plays: the style's own, else the shared one.
    AnimChar* StyleClip(u16 id) const;
    // Poses the fighter's probe node (sub-object 31) on id's clip at the
    // current frame, so that where the move would carry it can be tested
    // before the move plays; the probe, null without one.
    Object* PoseProbe(u16 id);

    static const u16 AttackComboStarts[3];
    static const u16 AttackGrappleStarts[6];
    static const float GrappleFrequency[7];
    static const u8 CombatAnimStyleBanks[7];
    static const u8 GrappleVictimAnimInfo[5][6];
    static const u8 EnemyCollStrengths[7][12];

    // --- runner (BadGuyRunner*.cpp, BadGuyCommands.cpp)
    enum MoveSpeed
    {
        MOVE_SPRINT,
        MOVE_RUN_FAST,
        MOVE_RUN_NORMAL,
        MOVE_RUN_SLOW,
        MOVE_WALK,
    };
    enum MoveMode
    {
        Move_Start,
        Move_DownSidewalk,
        Move_AroundCorner,
        Move_AcrossCrosswalk,
        Move_AcrossIntersection,
        Move_AcrossStreet,
        Move_DownStreet,
        Move_OntoSidewalk,
        Move_IntoIntersection,
        Move_AtCorner,
        Move_InStreet,
    };
    enum MoveSubMode
    {
        MoveSub_Normal,
        MoveSub_EvadeObstacle,
        MoveSub_TurnAround,
        MoveSub_Wander,
    };
    static int RunnerEnemy_mh(Object* obj, OBJMESSAGE msg, void* data);
    int RunnerMh(OBJMESSAGE msg, void* data);
    void InitAsRunner();
    void ReinitAsRunner();
    void RemoveAsRunner();
    int RunnerFrame();
    void Start_Run_Waiting();
    void Start_Run_Wander();
    void Start_Run_Evasion();
    void Start_Run_Running(int speed);
    void Start_Run_Tackled();
    void Start_Run_Hit();
    void Start_Run_Transition();
    void Start_Run_Driving();
    void Start_Run_Stopping();
    void Start_Run_Passenger();
    void Start_Run_Surrender();
    void Start_Run_React();
    void Start_Run_Threaten();
    void Start_Run_Dive();
    void Start_Run_Pullout();
    void Start_Run_Struggle();
    void Start_Run_StruggleGetUp();
    void Start_Run_Congregate();
    void Start_Run_WalkTo();
    void Frame_Run_Waiting();
    void Frame_Run_Wander();
    void Frame_Run_Running();
    void Frame_Run_Hit();
    void Frame_Run_Transition();
    void Frame_Run_Driving();
    void Frame_Run_Stopping();
    void Frame_Run_Passenger();
    void Frame_Run_Threaten();
    // Look-back, fire-back, take-cover, the vehicle watch (BadGuyRunnerLook.cpp).
    void BeginLookBack();
    void LookBack();
    void EndLookBack();
    void BeginFireBack();
    int FireBack();
    void EndFireBack();
    void BeginTakeCover();
    void TakeCover();
    void EndTakeCover();
    bool WatchForVehicles();
    void SlipAndFall();
    // Street navigation (BadGuyRunnerNav.cpp).
    void Move();
    void SetMoveMode(int m);
    void UpdateRoadType(const RoadSeg* rs);
    void RestartPreviousMoveAnim();
    void Start_StoppingAtCorner();
    void MoveStoppingAtCorner();
    void End_StoppingAtCorner();
    void MoveDownSidewalk();
    void MoveBackOntoSidewalk();
    void MoveBackIntoIntersection();
    void MoveAlongPath(bool pullback);
    void MoveBackToRoad(bool intersection);
    void ChooseIntersectionMode(GROUNDTYPE, VectorDir, bool, VectorDir);
    void UpdatePathSpline(const RoadPos& rp);
    void UpdateLocType();
    // Cars (BadGuyRunnerCar.cpp).
    void DetachFromCar();
    void OutOfCar();
    int StopCar();
    int GetOut();
    void BodySnatch(Bystander* b);
    void InitGunsDriving();
    void FireGunDriving(Object* aimobj, VectorPos aimpos, VectorDir aimvel);
    // Messages, anim ends and collisions (BadGuyRunnerSpecial.cpp).
    int RunnerSpecial(SpecialMessage* m);
    int RunnerAnimLoop(AnimEventMessage* m);
    int SelectStoppedStrategy();
    void Start_Runner_Mode(int m);
    int RunnerCollision(CollisionRecord* cr);
    VectorDir CollideWithVehicleHit(CollisionRecord* cr);
    static VectorDir GetObjectVelocity(Object* o);
    void RunnerKill();
    void RunnerDeathReport();
    // Kind changes and commands (BadGuyCommands.cpp): a morph answers true
    // when the kind changed.
    void SetTarget(Object* obj);
    bool MorphIntoRunner();
    bool MorphIntoFighter(int style);
    bool MorphIntoShooter();
    void DiveOutOfTheWay();
    int CollideWithVehicle(CollisionRecord* cr);
    Bystander* MorphIntoBystander(Object* obj);
    // The commands other characters and controllers give an enemy.
    void AttackObject(Object* obj, int style);
    void AttackObjectNoDamage(Object* obj, int style);
    void ShootObject(Object* obj);
    void ShootObjectNoDamage(Object* obj);
    void RunAwayFromObject(Object* obj);
    void HarassObject(Object* obj);
    void TakeObjectHostage(Object* obj);
    void AllyWithObject(Object* obj);
    void SeekObject(Object* obj);
    void Wander();
    void GetInCar(Vehicle* v);
    void ReactToObject(Object* obj);
    void ThreatenObject(Object* obj, int how);
    void ChaseObject(Object* obj);
    void TurnIntoHostage();
    void StruggleWithObject(Object* obj);
    void PulloutObject(Object* obj);
    void GiveUp();
    void Surrender();
    void Congregate(VectorPos pos);
    void WalkTo(VectorPos pos);
    void ScootOver();

    // Turns toward d's horizontal part at 6 degrees a frame of play.
    void TurnTowardFlat(VectorDir d);
    // Looks along d's horizontal part (rotation rows only).
    void FaceAlong(VectorDir d);
    u16 IdleAni() const;
    u16 RunAni() const;

    // 1. Kind and life
    EnemyType enemytype;
    u32 u32BGFlags;
    s16 shootweapontype;
    bool fadedeath;
    bool offenseactive;
    WorldTime lastoffenseactivetime, deathtime, droptime;
    float animspeed;
    // 2. Path following
    VectorDir pathdir;
    float patht;
    // 3. Push-out
    VectorDir pushoutmovement, pushoutvel, newpushoutvel;
    VectorPos childpos;
    // 4. Arms
    GunArm rightgunarm;
    SimpleLimb leftIKarm;
    // 5. Hostage and player awareness
    RCptr<Object> hostage;
    WorldTime lastevent;
    int iLastDrawnTime;
    bool seenbydace, warnedbydace, shooting, bDuck_fire;
    // 6. Grappled by the player
    float grappledframe;
    bool grappleseparation;
    float grappleturnspeed;
    Matrix grappledmat;
    VectorPos grappledstartpos;
    int grapplebankoverride, grappleindexoverride;
    // 7. Hearing
    bool bHeardNoise;
    VectorDir vdNoiseDir;
    // 8. Ground
    float groundy;
    VectorDir groundnormal;
    float groundterrainy;
    VectorDir groundterrainnormal;
    RCptr<Object> groundobj;
    float groundobjy, groundobjdist;
    VectorDir groundobjnormal;
    int groundupdatetime;
    bool groundheightoverride;
    // 9. Body parts
    s16 charid;
    Object *head, *eye, *lhand, *rhand, *lfoot, *rfoot, *torso;
    // The first of the parts shots and blows test (head, torso, hands,
    // feet, the body root) the model lacks, by name; null when it has them.
    const char* MissingPart() const;
    VictimData currentvictimdata;
    // 10. Shooting state
    s8 shotsleft;
    s16 cyclesleft;
    WorldTime checkoffscreentime, checktargettime, timeleft, nextshot;
    u32 delay;
    VectorPos takecoverPos;
    Matrix startmat;
    Spline *arrivepath, *movepath;
    float destpatht, maxwander, jumpframe;
    bool movepathcircular, positivedir, isonscreen, usefalldeath;
    Object* pTargetTorso;
    Object* sight;
    Object* door;
    float doorang, doorgoalang, doorangspeed;
    Matrix doormat;
    Object* steam;
    // 11. Collision sets
    u16 shootrootcollmask, shootfootrootcollmask;
    Cuboid shootboundingbox;
    Sphere shootboundingspheres[3];
    CollSphere shootrootcollspheres[4];
    u16 fightrootcollmask, fightfootrootcollmask, fightoffensivecollmask;
    Cuboid fightboundingbox;
    Sphere fightboundingspheres[3];
    CollSphere fightrootcollspheres[4];
    u16 runrootcollmask, runfootrootcollmask;
    Cuboid runboundingbox;
    Sphere runboundingspheres[3];
    CollSphere runrootcollspheres[4];
    Object offensiveobjects[4];
    CollSphere inaircollspheres[2];
    CollSphere bodycollspheres[9];
    float updatebodycollframe;
    // 12. Movement style
    Behavior behavior;
    HideBehavior hidebehavior;
    // 13. Melee
    int prevattackmode;
    WorldTime lastattackhit, lastattackblock, lastenemyattack, lastenemyattackhit, lastenemyattackblock;
    WorldTime dazedstarttime, dazecountertime;
    bool ishigh, isboss;
    int enemycombohit;
    u16 loopmode2;
    int numloops, totalhitstodaze, curhitstodaze;
    AttackMode attackmode;
    bool nodamage;
    s16 fightweapontype;
    Object* fightweapon;
    VectorPos fightpos;
    VectorDir inAirSpeed;
    AnimChar** combatoverlayanims;
    OffensiveCollision offcollobjs[4];
    CombatModes combatmode;
    bool provoked;
    u8 style;
    // 14. Kind-change chances
    float shootingchance, fightingchance, commandeeringchance, takehostagechance;
    bool caronly;
    // 15. Running and driving
    VectorDir lastmovedir, hitvel;
    const RoadSeg* lastrs;
    RoadPos nextroadpos;
    VectorPos destpos;
    bool hasdest, carchaseonly, oblivious;
    int numshotsleft, numtakecoverloops;
    const RoadSeg* calcrs;
    float SidewalkMinWalkWidth_L, SidewalkMaxWalkWidth_L, SidewalkMinWalkWidth_R, SidewalkMaxWalkWidth_R;
    WorldTime lastlookbacktime, nextlookbacktime, lastfirebacktime, lastshotattime, pursuitstarttime,
        pursuitserioustime, stoppedatcornertime;
    float carstoppedframe;
    bool leavingcar;
    WorldTime gotincartime;
    float lookbacktargetdist;
    bool fleeing, gettingout;
    VectorPos wanderstartpos;
    WorldTime wandertime;
    VectorDir wanderdir;
    VectorPos congregatepos, walktopos;
    WorldTime reactiontime;
    float fatigue;
    bool panic;
    int movespeed;   // MoveSpeed
    Bezier pathspline;
    float speeds[5];
    bool knowspursuernear;
    PresetGunArm leftdrivinggunarm, rightdrivinggunarm;
    float driveaimrange[4];
    int drivingshootperiod;
    int movemode, lastmovemode, movesubmode, loctype, prevloctype;

    // Tuning.
    static float OnFootActivationDist, maxturnspeed, CombatVicinity, AttackRingInner, AttackRingOuter,
        SurroundRingInner, SurroundRingOuter, SidelineRingInner, SidelineRingOuter, DefenseRadius,
        CombatHitHighThreshold, CombatHitLowThreshold, CombatHitSideThreshold, PassiveGoalDistance,
        SurroundGoalDistance, AttackChanceInfluence, MaxAttackChance, InitialRunnerStrength;
    static int CombatMinimumBlockTime, CombatMaximumBlockTime, CombatMinimumApproachTime;

    // Animation tables (BadGuyAnim.cpp).
    struct AnimDef
    {
        u16 anim, group, index, morph, next;
    };
    struct AttackFlagDef
    {
        int anim;
        u32 flags;
    };
    static constexpr int NUM_ANIMDEFS = 289;
    static const AnimDef AnimDefs[NUM_ANIMDEFS];
    static const AttackFlagDef AttackFlagDefs[12];
    static const s16 CombatOverlayReplacements[58];
    static const s16 GunOverlayReplacements[35];
    static AnimChar* Anims[TOTAL_BADGUY_ANIS];
    static u8 AnimBanks[TOTAL_BADGUY_ANIS];
    static u16 AnimTransMorphLens[TOTAL_BADGUY_ANIS];
    static u16 AnimTransitions[TOTAL_BADGUY_ANIS];
    static u32 AttackFlags[TOTAL_BADGUY_ANIS];
    static s16 CombatAnimOverlayIndex[TOTAL_BADGUY_ANIS];
    static AnimChar *BoxerOverlayAnims[58], *BrawlerOverlayAnims[58], *KarateOverlayAnims[58],
        *KnifeOverlayAnims[58], *FemaleOverlayAnims[58], *MaleOverlayAnims[58], *PistolOverlayAnims[35],
        *MGunOverlayAnims[35];

    // The grabs the player opens and how the grabbed enemy answers.
    static const VictimData VictimDataTable[14];
    static bool IsGrabOpener(u16 playeranim);

    // A guard stands and startles with the guards' own clips: the shared
    // idle and shocked entries play clips 8 and 1 of animation group 4
    // until the next enemy rebuilds the tables.
    static void UseGuardIdles();
};

// The enemy o is, told by its handler (a shooter, fighter or runner); null
// for any other object.
Enemy* AsEnemy(Object* o);
// A fist fighter engaged in its fight (arriving, closing in or fighting):
// the player's arrest waits while it is not yet at hand.  False for
// anything that is not a fighter.
bool FighterBusyInFight(const Object* o);
// The handler by which the player knows a runner he may tackle or arrest
// (the runners' own; tests may point it at a runner of their own).
extern OBJMESSAGEHANDLER RunnerEnemyHandler;
// True when o is one of the player's foes by its handler: a shooter, a
// fighter, or a runner as RunnerEnemyHandler names it.
bool HasEnemyHandler(const Object* o);

// random(N): an integer in [0, N) from one rand() draw.
inline int RandomN(int n)
{
    return int((long long)rand() * n >> 31);
}

// Lowers a statistic by n without passing below 0.
void LowerStat(u32& stat, u32 n);

// The commands given to enemies, for the debug displays: the last one's
// name, object and number, and how many there were.
struct EnemyCommandLog
{
    const char* last = nullptr;
    int count = 0;
    Object* obj = nullptr;   // the last call's object and number
    int arg = 0;
};
extern EnemyCommandLog gEnemyCommandLog;
