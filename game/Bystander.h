// Bystanders: the ambient pedestrians that walk the pavements, cross at the
// lights, think, react to the player, to shots, blows, bumps and cars, can be
// held, arrested or killed and may turn criminal; and the calls other parts
// of the game use to steer the crowd.
//
// Bystander.cpp holds the handler, creation, set-up, culling and death;
// BystanderAnim.cpp the modes, the animation table and the ends of
// animations, the car exits and the paired moves; BystanderTables.cpp the
// per-character tables; BystanderReact.cpp the reactions, steering and
// collisions; BystanderFrame.cpp the frame; BystanderPaths.cpp the street
// paths; BystanderThoughts.cpp the thought machine, the object actions and
// the changes into and out of a runner.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/BadGuy.h"
#include "game/Guy.h"
#include "game/Limbs.h"
#include "game/Road.h"
#include "game/Vehicle.h"

class PedGen;
class CollisionChecker;
struct AnimEventMessage;

// The bystander's own animation numbering; ids below 81 are the characters'
// shared ones.
enum BystanderAnims : u16
{
    ANGRY_ANI = 81,
    DUCK_ANI = 82,
    DUCK_IDLE_ANI = 83,
    IDLE_ANI = 84,
    IDLE_LOOKAROUND_ANI = 85,
    IDLE_SPECIAL_ANI = 86,
    RUN_ANI = 87,
    SHOCKED_ANI = 88,
    WALK_ANI = 89,
    KILLED_ANI = 90,
    KILLED_FEMALE_ANI = 91,
    DUCK_KILLED_ANI = 92,
    BUMPED_ANI = 93,
    JOG_ANI = 94,
    GAWK_FEMALE_ANI = 95,
    TALK_FEMALE_ANI = 96,
    GAWK_MALE_ANI = 97,
    TALK_MALE_ANI = 98,
    CARTRANS_CAR_JUMP_BACK_ANI = 99,
    CARTRANS_CAR_JUMP_FWD_ANI = 100,
    SHOVED_L_ANI = 101,
    SHOVED_R_ANI = 102,
    SHOVED_FRONT_L_ANI = 103,
    SHOVED_FRONT_R_ANI = 104,
    GETUP_ANI = 105,
    ROLL_ANI = 106,
    LYING_DOWN_ANI = 107,
    CAR_BUMPED_ANI = 108,
    KNOCKED_AWAY_ANI = 109,
    KNOCKED_UP_ANI = 110,
    GIVEUP_ANI = 111,
    ARRESTED_ANI = 112,
    ARRESTED_BUT_DOWN_ANI = 113,
    ARRESTED_RELEASE_ANI = 114,
    ARRESTED_LYINGDOWN_L_ANI = 115,
    ARRESTED_LYINGDOWN_R_ANI = 116,
    HOSTAGE_GRABBED_ANI = 117,
    HOSTAGE_IDLE_ANI = 118,
    HOSTAGE_WALK_BACK_ANI = 119,
    HOSTAGE_WALK_FWD_ANI = 120,
    HOSTAGE_WALK_LEFT_ANI = 121,
    HOSTAGE_WALK_RIGHT_ANI = 122,
    HOSTAGE_RELEASE_ANI = 123,
    ATTACK_RECOIL_FEMALE_HIGH_ANI = 124,
    ATTACK_RECOIL_FEMALE_LOW_ANI = 125,
    ATTACK_RECOIL_MALE_HIGH_ANI = 126,
    ATTACK_RECOIL_MALE_LOW_ANI = 127,
    BYSTANDER_NUM_ANIS = 128,
};

// The pedestrians' voice banks (NPCVOBank values 0..12 of the jukebox).
enum : u8
{
    PedVO_Male_A,
    PedVO_Male_B,
    PedVO_Male_C,
    PedVO_Female_A,
    PedVO_Female_B,
    PedVO_Female_C,
    PedVO_Asian,
    PedVO_Homie,
    PedVO_Punk,
    PedVO_Hobo,
    PedVO_Hooker,
    PedVO_Pimp,
    PedVO_Hispanic,
};

// The bystanders' voice lines (tracks of a bank).
enum : int
{
    PVO_Killed = 10,
    PVO_Bored_1 = 14,
    PVO_CarHit_1 = 20,
    PVO_Carjacked_1 = 22,
    PVO_Whine_1 = 26,
    PVO_CopResist_Fight = 28,
    PVO_CopResist_Shoot = 29,
    PVO_Scream = 34,
    PVO_Cool = 35,
    PVO_Bummer = 36,
    PVO_Surprise = 37,
    PVO_Mugger = 38,
    PVO_Greeting = 44,
    PVO_Chatter_1 = 45,
    PVO_RudeReaction_1 = 49,
    PVO_RudeReaction_2 = 50,
    PVO_PickFight = 51,
    PVO_Carjack = 52,
};

// Special-message codes the bystander answers or sends.
enum
{
    SMSG_PED_WARNING_NEARBY = 56,
    SMSG_PED_SHOTS_A = 57,
    SMSG_PED_SHOTS_B = 58,
    SMSG_PED_INTERESTED = 69,
    SMSG_PED_GREET = 81,
    SMSG_CHASE_OBJECT = 83,
    SMSG_QUERY_FEMALE = 85,
    SMSG_QUERY_HOTTIE = 86,
    SMSG_QUERY_SHABBY = 87,
    SMSG_PED_FLEE = 95,
    SMSG_PED_SWITCH_MODE_A = 7363,
    SMSG_PED_SETUP = 7777,
    SMSG_PED_SETUP_B = 7778,
    SMSG_PED_SWITCH_MODE_B = 7837,
    SMSG_EV_ARREST = 23017,
    SMSG_EV_ENABLE_RANDOM_CRIME = 23055,
    SMSG_Q_SPOTTABLE = 29002,
};

// A pedestrian's set-up record from its generator (SMSG_PED_SETUP's obj).
struct PedGenInitMsg
{
    int iMsgId;     // 7777
    int iTime;      // world frame at creation
    int iSide;      // 0 left pavement, 1 right
    s16 iCharID;    // character id, or negative for none
    RoadSeg* prs;
    PedGen* ppg;
};

class Bystander : public BadGuy
{
public:
    enum AreaType
    {
        Area_None,
        Area_Road,
        Area_Intersection,
        Area_GroundPatch,
    };
    enum ThoughtType
    {
        Thought_None,
        Thought_SlowDown,
        Thought_Lost,
        Thought_Wary,
        Thought_Scared,
        Thought_Terrified,
        Thought_Angry,
        Thought_Interested,
        Thought_Greet,
        Thought_Chase,
        Thought_Carjack,
        Thought_Fight,
        Thought_Rob,
        Thought_Mug,
        Thought_Deal,
        Thought_Prop,
        Thought_Surrender,
        Thought_StareDown,
    };
    enum ActionType
    {
        Action_Stand,
        Action_Rogue,
        Action_RogueChain,
        Action_Jaywalk,
        Action_WalkOnSidewalk,
        Action_WalkToKerb,
        Action_WaitForLight,
        Action_CrossStreet,
        Action_ExitCorner,
    };
    enum MorphState : u8
    {
        Morph_None,
        Morph_Pending_To_Provoked_Fighter,
        Morph_Pending_To_Provoked_Shooter,
        Morph_To_Provoked_Fighter,
        Morph_To_Provoked_Shooter,
        Morph_Pending_To_Fighter,
        Morph_Pending_To_Shooter,
        Morph_To_Fighter,
        Morph_To_Shooter,
    };

    Bystander();
    ~Bystander();

    static int Bystander_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void Create(MDLFILE* mf);
    void Init();

    // --- tables (BystanderTables.cpp)
    static u8 GetPedAnimBank(int charid);
    static float GetPedAggression(int charid);
    static u8 GetPedVOBank(int charid);

    // --- modes and animation (BystanderAnim.cpp)
    void SwitchToMode(u8 newmode, bool blend);
    void BlendToAnim(u16 id, int blendlen, int bank = -1, int index = -1);
    void SetAnim(u16 id, int bank = -1, int index = -1);
    int AnimLoop();
    void LeaveCar(Vehicle::KickOutMode kmode, bool flag);
    void DetachFromCar();
    // Says a line of its bank when the jukebox is free (always: also when
    // busy).
    void Say(int track, bool always = false);
    int Grabbed(const SpecialMessage& m);
    void Released(const SpecialMessage& m);
    void BulletHit(const SpecialMessage& m);

    // --- reactions, steering, collisions (BystanderReact.cpp)
    void ProvocationRoll(float k);
    bool Alarmed() const { return thought == Thought_Wary || thought == Thought_Scared || thought == Thought_Terrified; }
    bool Down() const { return (flags & (0x20000000u | 0x40000000u)) != 0; }
    void GetScaredOfObject(Object* obj, float time);
    void GetAngryAtObject(Object* obj, float time);
    void GetInterestedInObject(Object* obj, float time);
    void MakeScaredOrTerrifiedOfObject(Object* obj);
    void ReactToCarjacker(Object* jacker);
    void ReactToBadDriver(Object* driver);
    void ReactToDaceNearbyCombatOrCopWarning(Object* player);
    void ReactToDaceShots(Object* player);
    void ReactToDaceCombatHit(CollisionRecord* cr);
    void ReactToDaceBump(CollisionRecord* cr);
    int ReactToDanger(Object* obj, VectorPos pos, float k);
    VectorDir GetNextFrameDirection(VectorDir goal, float turnspeed);
    bool CheckDirectionForObstacles(VectorDir dir, float reach);
    void CheckCurrentDirectionForObstacles();
    void GetSteeringDirection(CollisionChecker& probe);
    int BystanderCollision(CollisionRecord* cr);
    VectorDir CollideWithVehicle(CollisionRecord* cr);
    VectorDir CollideWithPedestrian(CollisionRecord* cr);
    bool Ragdoll() const;
    void InteractWithObject(Object* obj);
    void GetLost();
    void InteractWithPedestrians();
    void InteractWithVehicles();

    // --- frame (BystanderFrame.cpp)
    void Frame();
    void Move();
    void UpdateAnimation();
    void LookAtStuff();
    bool GetNewArea();
    bool Diving() const { return mode2 == CARTRANS_CAR_JUMP_BACK_ANI || mode2 == CARTRANS_CAR_JUMP_FWD_ANI; }
    void AvoidObstacles();
    void WatchForVehicles();
    void SetStandAni(int ani) { standani = ani; }
    bool StillStanding() const { return mode2 == standani; }

    // --- street paths (BystanderPaths.cpp)
    bool WalkThePath();
    void FollowPath(Bezier* pathbez);
    bool ChooseNewStreetPath();
    bool ChooseNewRoguePath();
    void GetRoadPaths(const RoadSeg* rs);
    void GetIntersectionPaths(const Junction* jtn);
    bool EndOfPath();
    static bool BezierIsZero(const Bezier& b);
    bool SafeToCross();
    bool RunLights();
    void StartCrossing();
    // Keeps the old action in prevaction when it is worth coming back to.
    void SetAction(ActionType a);

    // --- thoughts and actions (BystanderThoughts.cpp)
    bool SetThought(ThoughtType newthought, Object* obj, VectorPos pos, float time);
    bool EndOfThought();
    int ProcessThought();
    static bool CriminalThought(int th) { return th >= Thought_Carjack && th <= Thought_Prop; }
    void AttemptCrime(bool ac);
    bool GreetObject(Object* obj);
    bool FleeObject(Object* obj);
    bool ChaseObject(Object* obj);
    bool FightObject(Object* obj);
    bool RobObject(Object* obj);
    bool MugObject(Object* obj);
    bool DealObject(Object* obj);
    bool PropObject(Object* obj);
    bool CarjackObject(Object* obj);
    bool RogueAction(ThoughtType t, Object* obj);
    Enemy* MorphIntoRunner(int newid, float shoot, float command, float fight, int enemymode, Object* newtarget,
                           bool provoked);

    // Fields, in order.
    PedGen* ppg;
    int iLastDrawnTime;
    Vehicle* car;
    GHCache ghc;
    u8 preinterruptmode;
    bool lane;
    float laneswitchtime;
    float turnaroundtime;
    bool inpossession;
    u8 timeoffset;
    s16 charid;
    CollBoxEnd cb;
    Object* pcollobj;
    Object collobj;
    Matrix grappledmat;
    float grappledframe;
    u8 grappleseparation;
    float grappleturnspeed;
    VectorPos grappledstartpos;
    Spline* leavepath;
    float leavepatht;
    RoadSeg* lastrs;
    Junction* lastjunc;
    GroundPatch* lastgp;
    float leftsideleftlane, leftsiderightlane, rightsideleftlane, rightsiderightlane;
    u32 stoppedatcornertime;
    u32 inairtime;
    u32 lastcollsoundtime;
    Object* plookat;
    u32 lookattime;
    float aggro;
    float pivotmultiplier, walkanimspeed;
    float movespeed;
    VectorDir hitvel;
    Bezier path, prevpath;
    bool stuck;
    VectorDir steerdir, steervec;
    bool steering;
    Bezier sidewalk[4];
    const RoadSeg* rs[6];
    const RoadType* rt[6];
    bool end[6];
    float k1[6], k0[6];
    Bezier kerb[6], crosswalk[6];
    int kerbnum, lastkerbnum, roadnum, crossnum, sidecrossnum;
    AreaType area, prevarea;
    bool newarea;
    int standani;
    int energy;
    ThoughtType thought;
    RCptr<Object> thoughtobj;
    VectorPos thoughtpos;
    float thoughttime;
    RCptr<Object> reactionobj;
    bool attemptingcrime, commitcrime;
    float crimetime;
    bool bored;
    bool engagedincrime;
    bool tolddacetogetout;
    ActionType action, prevaction;
    bool actionset;
    GROUNDTYPE loctype, prevloctype;
    bool shovedfrombehind;
    u8 pedanimbank;
    RCptr<Object> grappler;
    int grapplebankoverride, grappleindexoverride;
    BallAndSocket neck;
    float fScale;
    bool endpath;
    MorphState morphstate;
    Cuboid pedboundingbox;
    // The row of the paired move it is in, as this grab plays it.
    VictimData grabvictimdata;

    // Class statics.
    struct AnimDef
    {
        s16 id, group, index;
    };
    static constexpr int NUM_ANIMDEFS = 123;
    static const AnimDef AnimDefs[NUM_ANIMDEFS];
    static u8 AnimBanks[BYSTANDER_NUM_ANIS];
    static AnimChar* Anims[BYSTANDER_NUM_ANIS];
    static const VictimData VictimDataTable[10];
    static float walkturnspeed, runturnspeed, maxturnspeed;
    static u8 DefaultPedAnimBank;
    static bool CrimeBeingAttempted;
    // The frame stamp of a thought that never runs out.
    static constexpr float kNever = 2147483648.0f;
};

// The per-character tables, rows by character id - 64 (ids 64..166).
struct NPCPedAnimSet
{
    u8 s0, s1, s2, pad;
    float c1, c2;
};
struct NPCAggroRow
{
    float base, range;
};
constexpr int kNumPedChars = 103;
extern const NPCPedAnimSet NPCPedAnimSets[kNumPedChars];
extern const NPCAggroRow NPCAggro[kNumPedChars];
extern const u8 NPCVOTypes[kNumPedChars];
int choose2(int a, int b, float p);
int choose3(int a, int b, int c, float p, float q);

// The runner's start values for a runner made from a pedestrian.
struct EnemyGenRunner_params;
extern const EnemyGenRunner_params& DefaultRunnerParams();

// Sends OM_SPECIAL {msg, what} to every pedestrian of the world's list, in
// list order, straight to its handler; answers are dropped.
void MessagePedestrians(int msg, Object* what);

// Replaces an enemy by a pedestrian (scared of scarer for 1200 frames when
// given) and deletes the enemy; null, the enemy kept, when none can be made.
Bystander* MorphEnemyIntoBystander(Enemy* e, Object* scarer);

// Whether random crimes can be started now.
bool RandomCrimesPossible();
