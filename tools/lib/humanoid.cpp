// The humanoid rig (see humanoid.h).
#include <cmath>
#include <string>
#include <vector>

#include "tools/lib/humanoid.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

const HumanoidBoneInfo kHumanoidSkeleton[kHumanoidBones] = {
    {"root", -1, 0},
    {"grab point", kBoneRoot, 31},
    {"pelvis", kBoneRoot, 21},
    {"torso", kBonePelvis, 20},
    {"neck", kBoneTorso, 12},
    {"head", kBoneNeck, 15},
    {"left eye", kBoneHead, 13},
    {"right eye", kBoneHead, 14},
    {"left upper arm", kBoneTorso, 2},
    {"left lower arm", kBoneLeftUpperArm, 4},
    {"left hand", kBoneLeftLowerArm, 0},
    {"right upper arm", kBoneTorso, 3},
    {"right lower arm", kBoneRightUpperArm, 5},
    {"right hand", kBoneRightLowerArm, 1},
    {"left thigh", kBonePelvis, 8},
    {"left shin", kBoneLeftThigh, 10},
    {"left foot", kBoneLeftShin, 6},
    {"left toe", kBoneLeftFoot, 16},
    {"right thigh", kBonePelvis, 9},
    {"right shin", kBoneRightThigh, 11},
    {"right foot", kBoneRightShin, 7},
    {"right toe", kBoneRightFoot, 17},
};

namespace {

constexpr u16 kIconKind = 0xB000;         // node type 11
constexpr u16 kDriverCopyKind = 0xD000;   // node type 13
constexpr u16 kRightHandLocator = 0x8001;
constexpr u16 kLeftHandLocator = 0x8002;
// The geometry nodes' id: none of the body's sub-object numbers.
constexpr u16 kFleshId = 0x7FFF;

// How far in front of the feet the grab point lies on the ground (for a
// figure 1.8 of the table's units high): about where a held or grappled character stands, clear
// of the two bodies' collision boxes.
constexpr float kGrabReach = 0.45f;

// Rest-pose offsets for a figure 1.8 high and of build 1; x is scaled by the
// build, everything by the stature / 1.8.
const float kOffsets[kHumanoidBones][3] = {
    {0, 0, 0},          {0, 0, kGrabReach},  {0, -0.95f, 0},     {0, -0.1f, 0},      {0, -0.42f, 0},
    {0, -0.08f, 0},     {-0.035f, -0.1f, 0.11f}, {0.035f, -0.1f, 0.11f}, {-0.2f, -0.38f, 0}, {0.28f, 0, 0},
    {0.26f, 0, 0},      {0.2f, -0.38f, 0},   {0.28f, 0, 0},       {0.26f, 0, 0},      {-0.1f, 0.05f, 0},
    {0, 0.45f, 0},      {0, 0.43f, 0},       {0, 0.05f, 0.12f},  {0.1f, 0.05f, 0},   {0, 0.45f, 0},
    {0, 0.43f, 0},      {0, 0.05f, 0.12f},
};

// The arm bones run along their own x axis (the elbow bends about the lower
// arm's y, the way the arm solvers pose it); the upper arms' rest turn points
// that axis down the body.
bool AlongX(int bone)
{
    return bone == kBoneLeftLowerArm || bone == kBoneLeftHand || bone == kBoneRightLowerArm || bone == kBoneRightHand;
}

bool UpperArm(int bone) { return bone == kBoneLeftUpperArm || bone == kBoneRightUpperArm; }

// The shoulders' frame: a fixed node under the torso that both upper arms
// hang from.  The gun arms solve in their upper arm's parent frame and their
// shoulder limits are angles in that frame: its x points down, its y to the
// right and its z backwards, tipped back so that its -z looks up by
// kShoulderTilt (a right arm may then aim above the shoulders as well as
// below them).  In the torso's own frame (z forwards) a right arm held out in
// front would lie outside those limits.  The node carries no animation.
constexpr u16 kShoulderFrameId = 0x7FFE;
constexpr float kShoulderTilt = 0.34906586f;   // 20 degrees

Matrix ShoulderFrame()
{
    const Matrix turn(Vector(0, 1, 0, 0), Vector(1, 0, 0, 0), Vector(0, 0, -1, 0), Vector(0, 0, 0, 1));
    return turn * RotX(kShoulderTilt);
}

// A torso-frame offset in the shoulders' frame.
VectorXYZ IntoShoulderFrame(VectorXYZ o) { return VectorXYZ((ShoulderFrame().Transpose() * VectorDir(o)).xyz()); }

// Geometry of a bone: half sizes and where the box's centre lies from the
// joint (0 for no box).
struct Flesh
{
    float hx, hy, hz;
    float cx, cy, cz;
    int colour;   // 0 skin, 1 shirt, 2 trousers, 3 shoes
};

const Flesh kFlesh[kHumanoidBones] = {
    {0, 0, 0, 0, 0, 0, 0},                          // root
    {0, 0, 0, 0, 0, 0, 0},                          // grab point
    {0.16f, 0.08f, 0.1f, 0, 0, 0, 2},               // pelvis
    {0.18f, 0.22f, 0.11f, 0, -0.2f, 0, 1},          // torso
    {0.05f, 0.05f, 0.05f, 0, -0.03f, 0, 0},         // neck
    {0.1f, 0.12f, 0.11f, 0, -0.11f, 0, 0},          // head
    {0.015f, 0.015f, 0.01f, 0, 0, 0, 3},            // eyes
    {0.015f, 0.015f, 0.01f, 0, 0, 0, 3},
    {0.14f, 0.05f, 0.05f, 0.14f, 0, 0, 1},          // upper arms
    {0.13f, 0.045f, 0.045f, 0.13f, 0, 0, 0},        // lower arms
    {0.07f, 0.02f, 0.04f, 0.07f, 0, 0, 0},          // hands
    {0.14f, 0.05f, 0.05f, 0.14f, 0, 0, 1},
    {0.13f, 0.045f, 0.045f, 0.13f, 0, 0, 0},
    {0.07f, 0.02f, 0.04f, 0.07f, 0, 0, 0},
    {0.07f, 0.22f, 0.07f, 0, 0.22f, 0, 2},          // thighs
    {0.055f, 0.21f, 0.055f, 0, 0.21f, 0, 2},        // shins
    {0.05f, 0.03f, 0.1f, 0, 0.02f, 0.05f, 3},       // feet
    {0.05f, 0.02f, 0.03f, 0, 0, 0.02f, 3},          // toes
    {0.07f, 0.22f, 0.07f, 0, 0.22f, 0, 2},
    {0.055f, 0.21f, 0.055f, 0, 0.21f, 0, 2},
    {0.05f, 0.03f, 0.1f, 0, 0.02f, 0.05f, 3},
    {0.05f, 0.02f, 0.03f, 0, 0, 0.02f, 3},
};

bool LimbBox(int bone)
{
    switch (bone) {
    case kBoneHead:
    case kBoneLeftUpperArm:
    case kBoneLeftLowerArm:
    case kBoneLeftHand:
    case kBoneRightUpperArm:
    case kBoneRightLowerArm:
    case kBoneRightHand:
    case kBoneLeftThigh:
    case kBoneLeftShin:
    case kBoneLeftFoot:
    case kBoneRightThigh:
    case kBoneRightShin:
    case kBoneRightFoot: return true;
    default: return false;
    }
}

struct Builder
{
    const HumanoidLook& look;
    P2BFile& f;
    float s;        // height scale
    int fleshModel[kHumanoidBones];
    int limbChain[kHumanoidBones];

    // What a hand holds (its locator) is turned a quarter turn about the hand's
    // length, its up along the hand's z and its side across the palm (the
    // hand's y), so that a gun aimed level sits inside the wrist's limits.  The
    // player's arms aim with the elbows below the line of aim, the other
    // characters' shooting arm with its elbow above it (its shoulder's twist
    // limits lie half a turn from his), which turns their hands half a turn
    // about the arm: their hold is the other quarter turn.
    VectorXYZ Grip() const { return VectorXYZ(look.playerGrip ? -1.5707964f : 1.5707964f, 0, 0); }

    VectorXYZ Scaled(const Flesh& fl, bool half) const
    {
        // Limbs keep their length whatever the build; their width follows it.
        const bool arm = fl.hx > fl.hy && fl.cx > 0.0f;
        const float bx = arm ? 1.0f : look.build;
        const float by = arm ? look.build : 1.0f;
        return half ? VectorXYZ(fl.hx * s * bx, fl.hy * s * by, fl.hz * s)
                    : VectorXYZ(fl.cx * s * bx, fl.cy * s, fl.cz * s);
    }

    // Bone b under node parent, then its sub-tree; seated bends the legs.
    void AddBone(int parentNode, int b, bool seated)
    {
        VectorXYZ ang = HumanoidBoneRest(b);
        if (seated && (b == kBoneLeftThigh || b == kBoneRightThigh))
            ang = VectorXYZ(-1.5707964f, 0, 0);
        if (seated && (b == kBoneLeftShin || b == kBoneRightShin))
            ang = VectorXYZ(1.5707964f, 0, 0);
        NODE n = MakeNode(MDL_NOGEOM, HumanoidBoneOffset(look, b), ang, kHumanoidSkeleton[b].subid);
        n.animation = HumanoidAnimId(b);
        n.extra2 = HumanoidBoneKind(b);
        if (limbChain[b] >= 0)
            n.collision = u16(limbChain[b]);
        int node = f.AddNode(parentNode, n);
        if (fleshModel[b] >= 0)
            f.AddNode(node, MakeNode(u16(fleshModel[b]), VectorPos(Scaled(kFlesh[b], false)), VectorXYZ(0, 0, 0),
                                     kFleshId));
        if (b == kBoneRightHand)
            f.AddNode(node, MakeNode(kRightHandLocator, VectorPos(0.08f * s, 0, 0.02f * s), Grip()));
        if (b == kBoneLeftHand)
            f.AddNode(node, MakeNode(kLeftHandLocator, VectorPos(0.08f * s, 0, 0.02f * s), Grip()));
        int shoulders = -1;
        for (int c = b + 1; c < kHumanoidBones; c++) {
            if (kHumanoidSkeleton[c].parent != b)
                continue;
            if (!UpperArm(c)) {
                AddBone(node, c, seated);
                continue;
            }
            if (shoulders < 0)
                shoulders = f.AddNode(node, MakeNode(MDL_NOGEOM, VectorPos(0, 0, 0), ShoulderFrame().GetEuler(),
                                                     kShoulderFrameId));
            AddBone(shoulders, c, seated);
        }
    }
};

}  // namespace

float HumanoidStature(const HumanoidLook& look) { return look.height * kHumanoidUnitsPerMetre; }

VectorPos HumanoidBoneOffset(const HumanoidLook& look, int bone)
{
    float s = HumanoidStature(look) / 1.8f;
    const float* o = kOffsets[bone];
    const VectorXYZ off(o[0] * s * (AlongX(bone) ? 1.0f : look.build), o[1] * s, o[2] * s);
    return VectorPos(UpperArm(bone) ? IntoShoulderFrame(off) : off);
}

u16 HumanoidAnimId(int bone)
{
    if (bone < kBoneLeftEye)
        return u16(bone);
    if (bone <= kBoneRightEye)
        return u16(10 + bone - kBoneLeftEye);
    return u16(29 + bone - kBoneLeftUpperArm);
}

u32 HumanoidBoneKind(int bone)
{
    switch (bone) {
    case kBoneHead: return 9;
    case kBoneLeftUpperArm: return 30;
    case kBoneLeftLowerArm:
    case kBoneLeftHand: return 31;
    case kBoneRightUpperArm: return 49;
    case kBoneRightLowerArm:
    case kBoneRightHand: return 50;
    case kBoneLeftThigh: return 62;
    case kBoneLeftShin:
    case kBoneLeftFoot: return 63;
    case kBoneRightThigh: return 67;
    case kBoneRightShin:
    case kBoneRightFoot: return 68;
    default: return 0;
    }
}

VectorXYZ HumanoidBoneRest(int bone)
{
    // The arm's x down the body and its z forwards, as in the torso.
    if (UpperArm(bone))
        return (RotZ(1.5707964f) * ShoulderFrame().Transpose()).GetEuler();
    return VectorXYZ(0, 0, 0);
}

P2BFile HumanoidFile(const HumanoidLook& look)
{
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    Builder b{look, f, HumanoidStature(look) / 1.8f, {}, {}};
    const Colour colours[4] = {look.skin, look.shirt, look.trousers, look.shoes};

    // The portrait: texture 0.
    P2BTexture portrait;
    portrait.texture = CheckerTexture(16, look.skin, look.shirt);
    f.textures.push_back(portrait);

    CollisionChain body;
    float hw = 0.25f * b.s * look.build;
    body.Box(MakeCollisionID(1, 3), Cuboid(VectorPos(-hw, -HumanoidStature(look), -0.2f * b.s), VectorPos(hw, 0, 0.2f * b.s)));
    f.collisions.push_back(body);

    for (int k = 0; k < kHumanoidBones; k++) {
        const Flesh& fl = kFlesh[k];
        b.fleshModel[k] = -1;
        b.limbChain[k] = -1;
        bool small = k == kBoneLeftEye || k == kBoneRightEye || k == kBoneLeftToe || k == kBoneRightToe;
        if (fl.hx > 0 && !(look.lowDetail && small)) {
            VectorXYZ h = b.Scaled(fl, true);
            b.fleshModel[k] = int(f.models.size());
            f.models.push_back(BoxModel(h[0], h[1], h[2], TEXID_NONE, false, colours[fl.colour]));
        }
        if (LimbBox(k)) {
            VectorXYZ h = b.Scaled(fl, true), c = b.Scaled(fl, false);
            CollisionChain limb;
            limb.Box(MakeCollisionID(0x10, 0), Cuboid(VectorPos(c - h), VectorPos(c + h)));
            b.limbChain[k] = int(f.collisions.size());
            f.collisions.push_back(limb);
        }
    }

    NODE root = MakeNode(MDL_NOGEOM, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), u16(look.charid));
    root.animation = HumanoidAnimId(kBoneRoot);
    root.collision = 0;
    int rootNode = f.AddNode(-1, root);
    // The grab point first and the pelvis second, both objects: the body
    // code takes the root's second object as the body root.  The icon node
    // is never an object, so it may follow them.
    b.AddBone(rootNode, kBoneGrab, false);
    b.AddBone(rootNode, kBonePelvis, false);
    f.AddNode(rootNode, MakeNode(kIconKind, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0));
    if (look.driverCopy) {
        int copy = f.AddNode(rootNode, MakeNode(kDriverCopyKind));
        b.AddBone(copy, kBonePelvis, true);
    }
    return f;
}

namespace {

// A character of the sample disc: its file, model id and figure.
struct SampleFigure
{
    const char* file;
    int id;
    float height, build;
    Colour shirt, trousers;
};

// Low-detail figures come with the driver copy, so each can also sit in a
// car.
HumanoidCharacter Figure(const char* dir, const SampleFigure& f, bool lowDetail)
{
    HumanoidLook s;
    s.charid = f.id;
    s.height = f.height;
    s.build = f.build;
    s.shirt = f.shirt;
    s.trousers = f.trousers;
    s.lowDetail = lowDetail;
    s.driverCopy = lowDetail;
    return {std::string(dir) + f.file, s};
}

}  // namespace

std::vector<HumanoidCharacter> SampleHumanoids()
{
    std::vector<HumanoidCharacter> out;
    HumanoidLook dace;
    dace.charid = 64;
    dace.playerGrip = true;
    dace.height = 1.85f;
    dace.shirt = Colour(30, 30, 35, 128);
    dace.trousers = Colour(25, 25, 30, 128);
    out.push_back({"DemoData/Char/DACE.P2B", dace});

    // The ambient pedestrians: low detail with the driver copy, so each can
    // also sit in a car.
    const SampleFigure peds[] = {
        {"ASIANPOP.P2B", 74, 1.7f, 0.95f, Colour(180, 40, 40, 128), Colour(30, 30, 60, 128)},
        {"BUM.P2B", 94, 1.75f, 1.05f, Colour(90, 80, 60, 128), Colour(70, 60, 50, 128)},
        {"BSNSMAN.P2B", 95, 1.82f, 1.0f, Colour(200, 200, 210, 128), Colour(40, 40, 45, 128)},
        {"GANGSTA.P2B", 109, 1.8f, 1.1f, Colour(40, 40, 40, 128), Colour(50, 60, 110, 128)},
        {"GARDDLVR.P2B", 112, 1.78f, 1.05f, Colour(150, 110, 40, 128), Colour(60, 50, 30, 128)},
        {"GRANDPA.P2B", 116, 1.68f, 0.95f, Colour(150, 150, 130, 128), Colour(90, 80, 70, 128)},
        {"HOOKER.P2B", 120, 1.7f, 0.85f, Colour(200, 40, 140, 128), Colour(20, 20, 20, 128)},
        {"MRKTNGGY.P2B", 126, 1.8f, 1.0f, Colour(60, 120, 180, 128), Colour(120, 110, 90, 128)},
        {"UPSCLWMN.P2B", 164, 1.72f, 0.85f, Colour(120, 30, 50, 128), Colour(30, 30, 30, 128)},
    };
    for (const SampleFigure& p : peds)
        out.push_back(Figure("DemoData/Lreschar/", p, true));
    return out;
}

std::vector<HumanoidCharacter> SampleCastHumanoids()
{
    const SampleFigure cast[] = {
        {"CHR071.P2B", 71, 1.78f, 1.1f, Colour(230, 230, 230, 128), Colour(20, 20, 20, 128)},
        {"ASIANPOP.P2B", 74, 1.7f, 0.95f, Colour(180, 40, 40, 128), Colour(30, 30, 60, 128)},
        {"CHR086.P2B", 86, 1.83f, 1.15f, Colour(20, 20, 20, 128), Colour(20, 20, 20, 128)},
        {"CHR143.P2B", 143, 1.8f, 1.05f, Colour(110, 20, 20, 128), Colour(35, 35, 35, 128)},
        {"CHR148.P2B", 148, 1.75f, 1.0f, Colour(240, 240, 240, 128), Colour(240, 240, 240, 128)},
        {"CHR151.P2B", 151, 1.86f, 1.2f, Colour(50, 50, 55, 128), Colour(50, 50, 55, 128)},
        {"CHR162.P2B", 162, 1.79f, 1.1f, Colour(30, 80, 40, 128), Colour(30, 30, 30, 128)},
        // The test room's knife fighter and its brawler, boxer and guard.
        {"CHR083.P2B", 83, 1.76f, 1.0f, Colour(70, 50, 30, 128), Colour(45, 45, 50, 128)},
        {"CHR156.P2B", 156, 1.84f, 1.15f, Colour(90, 95, 100, 128), Colour(35, 40, 60, 128)},
    };
    std::vector<HumanoidCharacter> out;
    for (const SampleFigure& c : cast)
        out.push_back(Figure("DemoData/Char/", c, false));
    return out;
}

}  // namespace tools
