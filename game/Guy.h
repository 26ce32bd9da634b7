// The body every animated character shares: its animation clock and
// switching, the motion-blur trail its animations ask for, the push-out
// record the collision handlers fill and the frame handler consumes, car
// entry through the front doors, and the character-id predicates.  Also the
// hit boxes of attacks and the street queries walking characters use.
//
// Guy has no handler of its own: each kind of character passes its handler to
// the constructor and calls these operations from it.
#pragma once

#include <initializer_list>
#include <utility>

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/Road.h"

struct AnimChar;
struct NODE;
class Texture;
class Vehicle;
class ObjectBlur;

// Object flag bits of a character that its attack and animation code sets.
enum : unsigned int
{
    GUYF_BUSTED = 0x10000000,   // held by an attacker or arrested: the animation drives the body
    GUYF_DYING = 0x20000000,    // killed, still falling
    GUYF_DEAD = 0x40000000,     // beaten: lying dead
};

// Animation ids of the front-door car transitions (left, right).
enum : u16
{
    CARTRANS_PULLEDOUT_1 = 17,
    CARTRANS_PULLEDOUT_2 = 18,
    CARTRANS_PULLEDOUT_3 = 19,
    CARTRANS_SEAT_L = 47,
    CARTRANS_SEAT_R = 48,
    CARTRANS_GETON_L = 49,
    CARTRANS_GETON_R = 50,
    CARTRANS_STARTMOVE_L = 55,
    CARTRANS_STARTMOVE_R = 56,
    CARTRANS_MOVE_L = 57,
    CARTRANS_MOVE_R = 58,
    CARTRANS_TURNENTRY_L = 59,
    CARTRANS_TURNENTRY_R = 60,
    CARTRANS_TURNDOOR_L = 61,
    CARTRANS_TURNDOOR_R = 62,
    CARTRANS_GETIN_L = 63,
    CARTRANS_GETIN_R = 64,
    CARTRANS_GETOUT_L = 65,
    CARTRANS_GETOUT_R = 66,
    CARTRANS_GETOUT2_L = 67,
    CARTRANS_GETOUT2_R = 68,
    CARTRANS_OPENIN_L = 69,
    CARTRANS_OPENIN_R = 70,
    CARTRANS_CLOSE_L = 71,
    CARTRANS_CLOSE_R = 72,
    CARTRANS_SCOOT_L = 77,
    CARTRANS_SCOOT_R = 78,
};

// A door swing: frames [range[0], range[1]] from the animation's start and
// four angle values.
struct DoorSwing
{
    float range[2];
    float spline[4];

    // The angle t frames into the animation: the four plain products of u
    // and 1 - u, without a Bezier curve's factors of 3.
    float Angle(float t) const;
};

class Guy : public Object
{
public:
    struct CollPopObject
    {
        VectorDir pop;
        Object* obj;   // null: slot free
    };

    struct VictimData
    {
        u16 enemyani;
        u16 victimani;
        float dist;
        int morphlen;
        bool morphgrappler;
    };
    static_assert(sizeof(VictimData) == 16);

    // A world frame stamp (World::time); the users say which value is unset.
    using WorldTime = int;

    Guy();
    explicit Guy(OBJMESSAGEHANDLER mh);
    ~Guy();

    static bool IsFemaleChar(int id);
    static bool IsHottieChar(int id);
    static bool IsShabbyChar(int id);
    static bool IsDealerChar(int id);
    static bool IsHookerChar(int id);
    // Set once the line about an animation without a clip has been printed:
    // it is said once a process, however many bodies meet one.
    static bool missingClipSaid;

    // Starts anim at the current frame with the group's sound bank, without
    // blending; a null record keeps the current animation.
    void SetAnim(u16 id, AnimChar* anim, u8 group);
    // The same over nframes of cross-fade (0: at once); blendmode2 stays.
    void BlendToAnim(u16 id, AnimChar* anim, u8 group, int nframes, bool morph);
    void SetAnim(u16 id);
    void BlendToAnim(u16 id, int nframes);
    void AdvanceFrame(float dt);
    // One animation step: the clock, the hierarchy (unless the world
    // animates it) and the blur trail.
    void AnimateHierarchy(float dt);

    void MoveToCarFront(Vehicle* car);
    void UpdateCarTransitionFront(Vehicle* car);
    void OpenCarDoor(Vehicle* car, bool leftside);
    void GetInCar(Vehicle* car, bool leftside);

    // Turns to look along dir's horizontal part (in the parent's frame when
    // there is one); toward an object's position.
    void Face(VectorDir dir);
    void Face(Object* obj);
    void SetMode2(u16 m) { mode2 = m; }
    // A cross-fade to another animation is running.
    bool IsBlending() const;
    NODE* FindIcon();
    Texture* GetIcon();
    bool IsDying() const { return (flags & GUYF_DYING) != 0; }
    bool IsDead() const { return (flags & (unsigned(GUYF_DEAD) | unsigned(OBJF_DEAD))) != 0; }
    bool IsBusted() const { return (flags & GUYF_BUSTED) != 0; }

    void AddToPopOut(VectorDir push, bool hard);
    void AddToSoftPopOut(VectorDir push, Object* from);
    void AddToGeneralSoftPopOut(VectorDir push);
    VectorDir GetPopOut();
    void ClearPopOut();

    bool IsInCarTransDoorOpenAni() const { return Is(CARTRANS_OPENIN_L, CARTRANS_OPENIN_R); }
    bool IsInCarTransDoorCloseAni() const { return Is(CARTRANS_CLOSE_L, CARTRANS_CLOSE_R); }
    bool IsInCarTransEnterAni() const { return IsInCarTransGettingInLAni() || IsInCarTransGettingInRAni(); }
    bool IsInCarTransTurnTowardEntryAni() const { return Is(CARTRANS_TURNENTRY_L, CARTRANS_TURNENTRY_R); }
    bool IsInCarTransTurnTowardDoorAni() const { return Is(CARTRANS_TURNDOOR_L, CARTRANS_TURNDOOR_R); }
    bool IsInCarTransWalkToDoorAni() const { return Is(CARTRANS_MOVE_L, CARTRANS_MOVE_R); }
    bool IsInCarTransRunToDoorAni() const { return Is(CARTRANS_STARTMOVE_L, CARTRANS_STARTMOVE_R); }
    bool IsInCarTransMoveToDoorLAni() const
    {
        return Is(CARTRANS_STARTMOVE_L, CARTRANS_MOVE_L, CARTRANS_TURNENTRY_L, CARTRANS_TURNDOOR_L);
    }
    bool IsInCarTransMoveToDoorRAni() const
    {
        return Is(CARTRANS_STARTMOVE_R, CARTRANS_MOVE_R, CARTRANS_TURNENTRY_R, CARTRANS_TURNDOOR_R);
    }
    bool IsInCarTransMoveToDoorAni() const { return IsInCarTransMoveToDoorLAni() || IsInCarTransMoveToDoorRAni(); }
    bool IsInCarTransGettingInLAni() const
    {
        return Is(CARTRANS_GETIN_L, CARTRANS_OPENIN_L, CARTRANS_GETON_L, CARTRANS_SEAT_L, CARTRANS_SCOOT_L);
    }
    bool IsInCarTransGettingInRAni() const
    {
        return Is(CARTRANS_GETIN_R, CARTRANS_OPENIN_R, CARTRANS_GETON_R, CARTRANS_SEAT_R, CARTRANS_SCOOT_R);
    }
    bool IsInCarTransExitAni() const
    {
        return IsInCarTransGettingOutLAni() || IsInCarTransGettingOutRAni() || IsInCarTransPulledOutAni() ||
               IsInCarTransDoorCloseAni();
    }
    bool IsInCarTransScootAni() const { return Is(CARTRANS_SCOOT_L, CARTRANS_SCOOT_R); }
    bool IsInCarTransGettingOutLAni() const { return Is(CARTRANS_GETOUT_L, CARTRANS_GETOUT2_L); }
    bool IsInCarTransGettingOutRAni() const { return Is(CARTRANS_GETOUT_R, CARTRANS_GETOUT2_R); }
    bool IsInCarTransLAni() const
    {
        return IsInCarTransMoveToDoorLAni() || IsInCarTransGettingInLAni() || IsInCarTransGettingOutLAni() ||
               mode2 == CARTRANS_CLOSE_L;
    }
    bool IsInCarTransRAni() const
    {
        return IsInCarTransMoveToDoorRAni() || IsInCarTransGettingInRAni() || IsInCarTransGettingOutRAni() ||
               mode2 == CARTRANS_CLOSE_R;
    }
    bool IsInCarTransPulledOutAni() const
    {
        return Is(CARTRANS_PULLEDOUT_1, CARTRANS_PULLEDOUT_2, CARTRANS_PULLEDOUT_3);
    }
    // Riding in a vehicle with no transition running.
    bool IsInDrivingAni() const
    {
        return parent != nullptr && parent->type == OBJT_VEHICLE && !IsInCarTransLAni() && !IsInCarTransRAni() &&
               !IsInCarTransPulledOutAni();
    }
    // Sight rays start at the eye (inside the head), speech at the head.
    Object* GetEye();
    Object* GetMouth();
    // The name of the first of `parts` (an object and its name) the model
    // gave no object, else of the body root when it has none; null when the
    // body is whole.
    const char* FirstMissing(std::initializer_list<std::pair<const Object*, const char*>> parts) const;

    static const DoorSwing door_getinopen, door_getinclose, door_getoutopen, door_getoutclose;

    u16 mode2;
    u16 blendmode2;
    float blendspeed;
    float blendamt;
    float firstanimframe;
    float frame;
    s8 tintset;
    int prevhardsettime;
    int prevhardchecktime;
    u32 hardpopmask;
    u32 prevhardpopmask;
    VectorPos prevhardpoppos;
    Matrix prevhardpopout;
    Matrix hardpopout;
    CollPopObject objsoftpops[4];
    VectorDir generalsoftpop;
    AnimChar** anims;
    u8* animbanks;
    Object* gameeventobj;
    float initialstrength;
    float strength;
    Object* biproot;
    Texture* ptexIcon;
    ObjectBlur* blur;
    VictimData* victimdata;
    bool passenger;

private:
    template <class... T>
    bool Is(T... ids) const
    {
        return ((mode2 == ids) || ...);
    }
    void StartAnim(u16 id, AnimChar* anim, u8 group, int nframes, bool morph, bool blend);
    bool Approach(Vehicle* car, bool getin);
    bool Seating(Vehicle* car);
    bool GettingOut(Vehicle* car);
    void AttachAtDoor(Vehicle* car, bool leftside);
    VectorDir TrimSoft(VectorDir push) const;
};

// The push of character a away from b from their collision boxes: outA with
// factor fa (zero when they do not overlap by it), outB with fb; true when
// they overlap by fb.
bool PushOutCharacter(Object* a, Object* b, VectorDir* outA, VectorDir* outB, float fa, float fb);

// The kind of body part a character's part is, from its model node's extra2
// word, which bullets read to choose how the character falls: the head 9;
// the left upper arm 30, lower arm and hand 31; the right upper arm 49, lower
// arm and hand 50; the left thigh 62, shin and foot 63; the right thigh 67,
// shin and foot 68.  0 for any other part and for a part without a node.
int BodyPartKind(const Object* part);

// ---------------------------------------------------------------------------
// The damaging volume of a punch or kick, bound beside the striking limb
// while the attack is live.  Binding is queued and done by Update, so that
// animation events never rearrange the tree inside an animation step.

class OffensiveCollision : public Object
{
public:
    OffensiveCollision();
    ~OffensiveCollision();

    bool IsBound() const { return boundobj != nullptr && isbindactive != 0; }
    Object* BoundObj() const { return boundobj; }
    bool Bind(Object* limb, u16 nodeid);
    void Unbind();
    void QueueBind(Object* limb, u16 nodeid);
    void QueueUnbind();
    void Update();

    CollBoxEnd collbox;
    Object* boundobj;
    int isbindactive;

private:
    bool Acceptable(const Object* limb) const;
};

// ---------------------------------------------------------------------------
// Street queries for walking characters.

enum GROUNDTYPE
{
    GroundType_Invalid,
    GroundType_OnStreetSidewalk_L,
    GroundType_OnStreetSidewalk_R,
    GroundType_OnCornerSidewalk_LL,
    GroundType_OnCornerSidewalk_LR,
    GroundType_OnCornerSidewalk_UR,
    GroundType_OnCornerSidewalk_UL,
    GroundType_InIntersection,
    GroundType_InStreet,
    GroundType_Offroad,
};

GROUNDTYPE GetGroundType(const GHCache& cache);
// The segment leaving j closest to dir; endshere: whether it ends at j.
// Null at a junction without segments.
const RoadSeg* GetRoadSegmentInDirection(const Junction* j, VectorDir dir, bool* endshere);
// The neighbour of rs at j on the side its normal points to (side true) or
// the other; null when rs is not at j or j has no segments.
const RoadSeg* GetSideStreet(const Junction* j, const RoadSeg* rs, bool side);
void SetAroundCornerPos(RoadPos& pos, const Junction* j, const RoadSeg* rs, bool side);
void SetAcrossStreetPos(RoadPos& pos, const Junction* j, const RoadSeg* rs, bool side);
// A horizontal curve from p0 along d0 to p1 arriving along d1; b untouched
// when the headings are equal.
void GetPathSpline(Bezier* b, VectorPos p0, VectorDir d0, VectorPos p1, VectorDir d1);
