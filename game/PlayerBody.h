// The player's procedural rig: the body parts found in his model, the two
// pistols, the badge and the siren in his hands, the limb solvers that aim
// the guns on foot, hold the steering wheel and shoot from a car, and the
// neck and eyes that turn toward a point of interest with a glancing rhythm.
#pragma once

#include "game/Limbs.h"
#include "game/PlayerAnim.h"

struct NODE;

class DaceBody : public DaceAnim
{
public:
    // How far the head may turn: which row of necklimits the neck uses.
    enum LookComfort
    {
        COMFORTABLE,
        SEMICOMFORTABLE,
        UNCOMFORTABLE,
        NUM_LOOKCOMFORTS,
    };
    // How often the head glances at the point of interest.
    enum LookMode : u8
    {
        NOT_LOOKING,
        SOMETIMES_LOOKING,
        ALMOST_ALWAYS_LOOKING,
        ALWAYS_LOOKING,
    };

    // Registry slots of the hand-held models.
    static constexpr int BadgeModelSlot = 145;
    static constexpr int SirenModelSlot = 159;
    static constexpr int GunModelSlot = 160;
    // Sub-object ids of the body's parts.
    enum : int
    {
        SUB_LHAND = 0,
        SUB_RHAND = 1,
        SUB_LARM = 2,
        SUB_RARM = 3,
        SUB_LFOOT = 6,
        SUB_RFOOT = 7,
        SUB_LEYE = 13,
        SUB_REYE = 14,
        SUB_HEAD = 15,
        SUB_TORSO = 20,
    };
    // Hand nodes the guns hang from.
    static constexpr u16 RightHandNode = 0x8001;
    static constexpr u16 LeftHandNode = 0x8002;

    DaceBody();
    explicit DaceBody(OBJMESSAGEHANDLER mh);

    // Builds the rig once the hierarchy exists and the player's animation
    // groups and the resident models are loaded.
    void Init();
    // The first of the parts the body works with (hands, arms, feet, head,
    // torso) that the model lacks, by name; null when it has them all.  A
    // model without them is not a character's: shots, blows and the camera
    // would find nothing of the player to hit or follow.
    const char* MissingPart() const;

    // Once a frame: head and eyes toward headpointloc by the look mode.
    void PointHead();
    // A knock to the head; nothing shows it.
    void HeadTrauma(VectorDir dir);

    // Hands on the wheel and guns out of the car window.
    void SetHandsToSteer(VectorDir wheelup, VectorPos wheelcenter);
    void UpdateDrivingArms(float steer, VectorPos wheelcenter);
    void InitGunsDriving();
    void FireGunDriving(Object* aimobj, VectorPos offset, VectorDir vel, Object* targetobj, int isPrecise);
    void UpdateGunsDriving(bool blendpose, float extrablend1, float extrablend2, float extrablend3,
                           float extrablend4, float extrablend5, float extrablend6);

    Object* lhand;
    Object* rhand;
    Object* larm;
    Object* rarm;
    Object* lgun;
    Object* rgun;
    Object* head;
    Object* leyeball;
    Object* reyeball;
    Object* lfoot;
    Object* rfoot;
    Object* torso;
    Object* badge;   // left hand, hidden until shown
    Object* siren;   // right hand, hidden until shown
    NODE* righthandattach;
    NODE* lefthandattach;
    GunArm leftgunarm;
    GunArm rightgunarm;
    SteerArm ten;   // left hand at ten o'clock
    SteerArm two;   // right hand at two o'clock
    BiaxialJoint lefteye;
    BiaxialJoint righteye;
    AngleArc necklimits[NUM_LOOKCOMFORTS][3];
    BallAndSocket neck;
    LookComfort lookcomfort;
    PresetGunArm leftdrivinggunarm;
    PresetGunArm rightdrivinggunarm;
    LookMode lookmode;
    bool pointhead;     // pointing at the target now
    bool controlhead;   // the neck is driven: pointing, or fading back
    float headtraumaamt;
    u32 lookstart;      // frame the current look began
    u32 lastlook;       // last frame the head pointed at the target
    Guy* headpointguy;
    VectorPos headpointloc;
    float aimrange[2][2];   // car-gun yaw sectors, left then right: start, end
    AngleArc usualarmlimits[3];
    AngleArc extremerolllimits;

private:
    void DecideLook(u32 now);
    void FadeHead();
    void EyesAt(VectorPos target, float weight);
};
// Hides or shows a prop (a gun, the badge, the siren); null is left alone.
inline void SetHidden(Object* o, bool hidden)
{
    if (o == nullptr)
        return;
    if (hidden)
        o->flags |= OBJF_HIDDEN;
    else
        o->flags &= ~OBJF_HIDDEN;
}

static_assert(sizeof(DaceBody::LookComfort) == 4 && sizeof(DaceBody::LookMode) == 1);
