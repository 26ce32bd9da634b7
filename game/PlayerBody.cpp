// The player's rig and head pointing (see PlayerBody.h).
#include "game/PlayerBody.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"

namespace {

constexpr float kDeg = kLimbPi / 180.0f;

AngleArc Arc(float startdeg, float lendeg) { return AngleArc(startdeg * kDeg, lendeg * kDeg); }

// Hand-held models: their own animated instances.
constexpr u32 kPropSize = 0x70;

// Head pointing: the blend weight moves this much a frame.
constexpr float kHeadBlendStep = 0.05f;
// The stepped turn of the neck toward its target, and where it stops.
constexpr float kNeckStep = 0.05f;
constexpr float kNeckAligned = 0.9975f;
// Glances at the target only while it is this near; an under-way look holds
// on a little farther.
constexpr float kLookStartRange = 29.6875f;
constexpr float kLookKeepRange = 32.8125f;

// The timing of glances for a look mode: a look ends at maxframes, may end
// by chance from randomfrom on (1 in randomspan - frames looked) and the
// next starts gap frames after the last one.
struct Glance
{
    u32 maxframes, randomfrom, randomspan, gap;
};
constexpr Glance kSometimes = {61, 31, 60, 180};
constexpr Glance kAlmostAlways = {181, 61, 180, 60};

float PoseWeight(const Object* o) { return o != nullptr && o->blendAnim != nullptr ? o->blendAnim->poseBlend : 0.0f; }

void SetPoseWeight(Object* o, float w)
{
    if (o != nullptr && o->blendAnim != nullptr)
        o->blendAnim->poseBlend = w;
}

// The node of this id under obj or any of its descendants, and the object
// that carries it.  Siblings of obj itself are not searched.
Object* FindHandNode(Object* obj, u16 id, NODE*& node)
{
    node = obj->FindNode(id);
    if (node != nullptr)
        return obj;
    return obj->child != nullptr ? obj->child->FindNodeHierarchy(id, node) : nullptr;
}

// A hand's node and the object that carries it.
struct Hand
{
    Object* obj;
    NODE* node;
};

Hand FindHand(Object* body, u16 id)
{
    Hand h{nullptr, nullptr};
    h.obj = FindHandNode(body, id, h.node);
    return h;
}

// Hangs a prop at a hand; a prop with no hand to hang from is dropped.
Object* HangAt(const Hand& hand, Object* prop)
{
    if (prop == nullptr)
        return nullptr;
    if (hand.obj == nullptr) {
        prop->Delete();
        return nullptr;
    }
    hand.obj->Attach(prop, hand.node);
    return prop;
}

// The body root: the root's second child object (the first is the grab
// point), as every character takes it.
Object* SecondChild(Object* root)
{
    Object* first = root->child;
    return first != nullptr ? first->sibling : nullptr;
}

int CurrentGunUpgrade() { return g_pgcTest != nullptr ? int(g_pgcTest->stats.curGunUpgrade) : 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Construction.

const char* DaceBody::MissingPart() const
{
    return FirstMissing({{torso, "torso"}, {head, "head"}, {lhand, "left hand"}, {rhand, "right hand"},
                         {larm, "left arm"}, {rarm, "right arm"}, {lfoot, "left foot"}, {rfoot, "right foot"}});
}

DaceBody::DaceBody() : DaceBody(nullptr) {}

DaceBody::DaceBody(OBJMESSAGEHANDLER mh)
    : DaceAnim(mh), lhand(nullptr), rhand(nullptr), larm(nullptr), rarm(nullptr), lgun(nullptr), rgun(nullptr),
      head(nullptr), leyeball(nullptr), reyeball(nullptr), lfoot(nullptr), rfoot(nullptr), torso(nullptr),
      badge(nullptr), siren(nullptr), righthandattach(nullptr), lefthandattach(nullptr), leftgunarm{},
      rightgunarm{}, ten{}, two{}, lefteye{}, righteye{}, neck{}, lookcomfort(COMFORTABLE), leftdrivinggunarm{},
      rightdrivinggunarm{}, lookmode(NOT_LOOKING), pointhead(false), controlhead(false), headtraumaamt(0.0f),
      lookstart(0x7FFFFFFF), lastlook(0x7FFFFFFF), headpointguy(nullptr), headpointloc(0.0f, 0.0f, 0.0f),
      aimrange{}
{
}

// ---------------------------------------------------------------------------
// The rig.

void DaceBody::Init()
{
    DaceAnim::Init();

    lhand = FindSubObject(SUB_LHAND);
    rhand = FindSubObject(SUB_RHAND);
    larm = FindSubObject(SUB_LARM);
    rarm = FindSubObject(SUB_RARM);
    head = FindSubObject(SUB_HEAD);
    leyeball = FindSubObject(SUB_LEYE);
    reyeball = FindSubObject(SUB_REYE);
    lfoot = FindSubObject(SUB_LFOOT);
    rfoot = FindSubObject(SUB_RFOOT);
    torso = FindSubObject(SUB_TORSO);

    // The pistols: the gun file's gun (id 1), or the whole file when it has
    // none.
    lgun = rgun = nullptr;
    if (MDLFILE* gunfile = g_GlobalMFI.GetMF(GunModelSlot, false)) {
        NODE* gunnode = gunfile->FindNodeById1(0, 1);
        u16 index = gunnode != nullptr ? u16(gunnode - gunfile->nodes) : 0;
        lgun = gunfile->GetHierarchy(index, kPropSize, GH_ANIMATE);
        rgun = gunfile->GetHierarchy(index, kPropSize, GH_ANIMATE);
    }
    // The hands are found before anything hangs from them: the props carry
    // locators of their own.
    const Hand right = FindHand(this, RightHandNode), left = FindHand(this, LeftHandNode);
    righthandattach = right.node;
    lefthandattach = left.node;
    rgun = HangAt(right, rgun);
    lgun = HangAt(left, lgun);

    badge = siren = nullptr;
    if (MDLFILE* f = g_GlobalMFI.GetMF(BadgeModelSlot, false))
        badge = HangAt(left, f->GetHierarchy(0, kPropSize, GH_ANIMATE));
    if (badge != nullptr)
        badge->flags |= OBJF_HIDDEN;
    if (MDLFILE* f = g_GlobalMFI.GetMF(SirenModelSlot, false))
        siren = HangAt(right, f->GetHierarchy(0, kPropSize, 0));
    if (siren != nullptr)
        siren->flags |= OBJF_HIDDEN;

    biproot = SecondChild(this);

    usualarmlimits[0] = Arc(-180.0f, 360.0f);
    usualarmlimits[1] = Arc(60.0f, 115.0f);
    usualarmlimits[2] = Arc(-60.0f, 140.0f);
    extremerolllimits = Arc(-80.0f, 180.0f);

    const int upgrade = CurrentGunUpgrade();
    const Matrix upperarmmat(Vector(0, 0, 1, 0), Vector(0, 1, 0, 0), Vector(-1, 0, 0, 0), Vector(0, 0, 0, 1));
    const Matrix handmat(Vector(-1, 0, 0, 0), Vector(0, -1, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1));
    struct Side
    {
        GunArm& arm;
        Object* upper;
        Object* hand;
        Object* gun;
        float wrist0;
        float sign;   // +1 left, -1 right
    };
    const Side sides[2] = {{leftgunarm, larm, lhand, lgun, -30.0f, 1.0f}, {rightgunarm, rarm, rhand, rgun, -120.0f, -1.0f}};
    for (const Side& s : sides) {
        GunArm& a = s.arm;
        a.lowerarm = s.hand != nullptr ? s.hand->parent : nullptr;
        a.upperarm = s.upper;
        a.hand = s.hand;
        a.gun = s.gun;
        // The left arm keeps the full circle on all three axes.
        for (int k = 0; k < 3; k++)
            a.ikupperarmlimits[k] = s.sign > 0.0f ? Arc(-180.0f, 360.0f) : usualarmlimits[k];
        a.ikelbowlimits = Arc(0.0f, 150.0f);
        a.ikwristlimits[0] = Arc(s.wrist0, 150.0f);
        a.ikwristlimits[1] = Arc(100.0f, 160.0f);
        a.ikwristlimits[2] = Arc(-40.0f, 80.0f);
        a.lockwrist = true;
        a.ikupperarmmat = upperarmmat;
        a.ikhandmat = handmat;
        a.primarywristdir = VectorDir(0.0f, -1.0f, 0.0f);
        a.alternatewristdir = Normalise(VectorDir(s.sign, -1.0f, 0.0f));
        a.aimupperarmdir = VectorPos(-0.8f, -0.6f * s.sign, 0.0f);
        a.aimhanddist = 0.0015625f;
        a.indirectaimhanddist = 0.015625f;
        a.recoillinearspeed = VectorDir(0.0f, -0.08f * s.sign, 0.002f);
        a.recoilangspeed = VectorXYZ(0.0f, 0.0f, 8.0f * kDeg * s.sign);
        // Keeps the gun out of the body: the torso's box in the frame the
        // arm solver works in.
        a.torsobox = Cuboid(VectorPos(0, 0, 0), VectorPos(0, 0, 0));
        if (torso != nullptr && s.upper != nullptr && s.upper->parent != nullptr) {
            // A torso bone without a model of its own wears it on a child:
            // that child's box, not the bone's bounding radius.
            Object* shape = torso;
            for (Object* c = torso->child; shape->geom == nullptr && c != nullptr; c = c->sibling)
                if (c->geom != nullptr && c->type != OBJT_BONE)
                    shape = c;
            a.torsobox = shape->GetRawBox().GetBox(shape->GetRelativeMatrix(s.upper->parent));
        }
        a.weapon.SetType(upgrade);
        a.weapon.bulletsLeft = a.weapon.magSize;
    }

    SteerArm* steer[2] = {&ten, &two};
    GunArm* guns[2] = {&leftgunarm, &rightgunarm};
    for (int k = 0; k < 2; k++) {
        steer[k]->lowerarm = guns[k]->lowerarm;
        steer[k]->upperarm = guns[k]->upperarm;
        steer[k]->hand = guns[k]->hand;
        steer[k]->ikelbowlimits = guns[k]->ikelbowlimits;
        steer[k]->ikupperarmmat = guns[k]->ikupperarmmat;
        for (AngleArc& l : steer[k]->ikupperarmlimits)
            l = Arc(-180.0f, 360.0f);
    }

    // The car's side-window poses: animation 7 for the left hand, 8 for the
    // right.
    PresetGunArm* car[2] = {&leftdrivinggunarm, &rightdrivinggunarm};
    Object* carupper[2] = {larm, rarm};
    Object* carhand[2] = {lhand, rhand};
    Object* cargun[2] = {lgun, rgun};
    for (int k = 0; k < 2; k++) {
        car[k]->upperarm = carupper[k];
        car[k]->hand = carhand[k];
        car[k]->gun = cargun[k];
        car[k]->root = biproot;
        car[k]->aimanimheader = Anims[CAR_GUNS_FIRE_L_ANI + k];
        car[k]->weapon.SetType(upgrade);
        car[k]->weapon.bulletsLeft = car[k]->weapon.magSize;
        car[k]->weapon.casingsfxbank = nullptr;
    }

    const Matrix eyemat(Vector(0, 1, 0, 0), Vector(1, 0, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1));
    lefteye.joint = leyeball;
    lefteye.ikjointlimits[0] = Arc(-10.0f, 25.0f);
    lefteye.ikjointlimits[1] = Arc(-10.0f, 20.0f);
    lefteye.ikjointmat = eyemat;
    righteye.joint = reyeball;
    righteye.ikjointlimits[0] = Arc(-15.0f, 25.0f);
    righteye.ikjointlimits[1] = Arc(-10.0f, 20.0f);
    righteye.ikjointmat = eyemat;

    const float necks[NUM_LOOKCOMFORTS][3][2] = {
        {{-50.0f, 100.0f}, {-20.0f, 80.0f}, {-35.0f, 70.0f}},
        {{-70.0f, 140.0f}, {-25.0f, 90.0f}, {-43.0f, 86.0f}},
        {{-90.0f, 180.0f}, {-30.0f, 100.0f}, {-50.0f, 100.0f}},
    };
    for (int c = 0; c < NUM_LOOKCOMFORTS; c++)
        for (int k = 0; k < 3; k++)
            necklimits[c][k] = Arc(necks[c][k][0], necks[c][k][1]);
    lookcomfort = COMFORTABLE;
    neck.joint = head;
    for (int k = 0; k < 3; k++)
        neck.ikjointlimits[k] = necklimits[UNCOMFORTABLE][k];
    neck.ikjointmat = Matrix(true);

    aimrange[0][0] = -135.0f * kDeg;
    aimrange[0][1] = 25.0f * kDeg;
    aimrange[1][0] = 5.0f * kDeg;
    aimrange[1][1] = 175.0f * kDeg;
    lookstart = lastlook = 0x7FFFFFFF;
    lookmode = NOT_LOOKING;
}

// ---------------------------------------------------------------------------
// Head pointing.

void DaceBody::DecideLook(u32 now)
{
    const bool lookaround = mode2 == PED_IDLE_LOOKAROUND_ANI || mode2 == COMBAT_IDLE_STRETCH_ANI;
    const Glance& g = lookmode == SOMETIMES_LOOKING ? kSometimes : kAlmostAlways;
    const float dist = (VectorXYZ(headpointloc) - VectorXYZ(GetWorldPos())).Length();
    if (pointhead) {
        const u32 looked = now - lookstart;
        if (looked >= g.maxframes || lookaround || dist > kLookKeepRange) {
            pointhead = false;
        } else if (looked >= g.randomfrom) {
            // One chance in (span - frames looked), drawn as an integer.
            const s64 n = s64(g.randomspan) - s64(looked);
            if ((s64(rand()) * n) >> 31 == 0)
                pointhead = false;
        }
    } else if (!lookaround && dist < kLookStartRange && now - lastlook >= g.gap) {
        pointhead = true;
        lookstart = lastlook = now;
    }
}

void DaceBody::EyesAt(VectorPos target, float weight)
{
    BiaxialJoint* eyes[2] = {&lefteye, &righteye};
    for (BiaxialJoint* e : eyes) {
        if (e->joint == nullptr)
            continue;
        const Matrix inv = e->joint->parent != nullptr ? e->joint->parent->GetWorldMatrix().Inverse() : Matrix(true);
        const VectorDir d(inv * target - inv * e->joint->GetWorldPos());
        if (VectorXYZ(d).LengthSq() > 0.0f)
            e->LookAlong(Normalise(d), true, false);
        SetPoseWeight(e->joint, weight);
    }
}

void DaceBody::FadeHead()
{
    float w = PoseWeight(neck.joint) - kHeadBlendStep;
    if (w < kHeadBlendStep) {
        w = 0.0f;
        controlhead = false;
    }
    SetPoseWeight(neck.joint, w);
    SetPoseWeight(lefteye.joint, w);
    SetPoseWeight(righteye.joint, w);
}

void DaceBody::PointHead()
{
    const u32 now = u32(world.time);
    switch (lookmode) {
    case SOMETIMES_LOOKING:
    case ALMOST_ALWAYS_LOOKING:
        DecideLook(now);
        controlhead = true;
        break;
    case ALWAYS_LOOKING: controlhead = true; break;
    default: break;
    }
    if (neck.joint == nullptr || !controlhead)
        return;
    if (!pointhead) {
        FadeHead();
        return;
    }

    for (int k = 0; k < 3; k++)
        neck.ikjointlimits[k] = necklimits[lookcomfort][k];
    Object* frame = neck.joint->parent;
    const Matrix inv = frame != nullptr ? frame->GetWorldMatrix().Inverse() : Matrix(true);
    VectorXYZ t = VectorXYZ(inv * headpointloc) - VectorXYZ(inv * neck.joint->GetWorldPos());
    // A target at the neck itself gives no direction: the head stays put.
    if (t.LengthSq() <= 0.0f)
        return;
    t = Normalise(t);
    lastlook = now;

    // The neck turns a little toward the target each frame.
    const VectorXYZ f(neck.joint->mat.z[0], neck.joint->mat.z[1], neck.joint->mat.z[2]);
    const float ft = Dot(f, t);
    VectorXYZ stepped = t;
    if (ft < kNeckAligned) {
        VectorXYZ a = t ^ f;
        if (ft <= 0.0f && a.LengthSq() > 0.0f)
            a = Normalise(a);
        const VectorXYZ s = f + (f ^ (a * kNeckStep));
        if (s.LengthSq() > 0.0f)
            stepped = Normalise(s);
    }
    // The joint takes the world's up in its parent's frame and turns it into
    // the side it keeps level.
    const VectorDir up(inv * VectorDir(0.0f, -1.0f, 0.0f));
    const float was = PoseWeight(neck.joint);
    const bool within = (t ^ VectorXYZ(up)).LengthSq() > 0.0f && neck.LookAlong(VectorDir(t), up);
    if (within) {
        float w = was + kHeadBlendStep;
        w = w > 1.0f ? 1.0f : w;
        EyesAt(headpointloc, 1.0f);
        if ((stepped[0] != t[0] || stepped[1] != t[1] || stepped[2] != t[2]) &&
            (stepped ^ VectorXYZ(up)).LengthSq() > 0.0f)
            neck.LookAlong(VectorDir(stepped), up);
        SetPoseWeight(neck.joint, w);
        SetPoseWeight(lefteye.joint, w);
        SetPoseWeight(righteye.joint, w);
    } else {
        float w = was - kHeadBlendStep;
        SetPoseWeight(neck.joint, w < kHeadBlendStep ? 0.0f : w);
        const float eyes = was + kHeadBlendStep;
        EyesAt(headpointloc, eyes > 1.0f ? 1.0f : eyes);
    }
}

void DaceBody::HeadTrauma(VectorDir) {}
