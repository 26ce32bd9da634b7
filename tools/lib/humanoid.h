// The humanoid rig: one 22-bone skeleton that every character model shares,
// dressed by a few parameters (height, build, clothes colours, skin, level
// of detail) into a model file.
//
// Bones are numbered in the order the animation walkers visit them (the
// object first, then depth first, children before later siblings).  Each
// bone's animation id (its node's animation word, and the bundle id of every
// clip that drives it) rises in that order too, but keeps the range 10..28
// for the face: the eyes take 10 and 11, the bones after them go on from 29,
// so the walk animates the body and leaves the face to the cinematics.  Sub-object ids (node extra): left/right hand 0/1, upper
// arm 2/3, lower arm 4/5, foot 6/7, thigh 8/9, shin 10/11, neck 12, eyes
// 13/14 (inside the head), head 15, toes 16/17, torso 20, pelvis 21, grab
// point 31.  The grab point is the root's first child, on the ground in front
// of the feet: the body's ground reference and where a grabbed character is
// put.  The pelvis is the root's second child (the body root the character
// code takes as the first child's sibling); the map icon (kind 11, extra =
// the portrait texture) follows, and is never made an object.  Locators 0x8001 (right) and
// 0x8002 (left) sit under the hands.  The optional seated driver copy is a
// kind-13 child of the root holding a copy of the pelvis's sub-tree with the
// legs bent for a car seat.  The geometry of each bone is a box on a child
// node half way along the limb, so the bones themselves carry no model.  The
// arm bones run along their own x axis, the upper arms turned at rest so that
// it points down: the arm solvers bend the elbow about the lower arm's y.
// Both upper arms hang from the shoulders' frame, a node of no animation
// under the torso (id 0x7FFE), in which the gun arms solve and measure their
// limits (see humanoid.cpp).  y points down, z forwards, the character's
// left is -x.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/p2b.h"

namespace tools {

constexpr int kHumanoidBones = 22;

enum HumanoidBone
{
    kBoneRoot,
    kBoneGrab,
    kBonePelvis,
    kBoneTorso,
    kBoneNeck,
    kBoneHead,
    kBoneLeftEye,
    kBoneRightEye,
    kBoneLeftUpperArm,
    kBoneLeftLowerArm,
    kBoneLeftHand,
    kBoneRightUpperArm,
    kBoneRightLowerArm,
    kBoneRightHand,
    kBoneLeftThigh,
    kBoneLeftShin,
    kBoneLeftFoot,
    kBoneLeftToe,
    kBoneRightThigh,
    kBoneRightShin,
    kBoneRightFoot,
    kBoneRightToe,
};

struct HumanoidBoneInfo
{
    const char* name;
    int parent;   // bone number, -1 for the root
    u16 subid;    // node extra (sub-object id)
};
// The skeleton's table, in bone order.
extern const HumanoidBoneInfo kHumanoidSkeleton[kHumanoidBones];

// The game measures 3.2 metres to a unit (a 1.8 m figure stands 0.5625
// high); a look gives its height in metres.
constexpr float kHumanoidUnitsPerMetre = 0.3125f;

struct HumanoidLook
{
    int charid = 64;          // the root node's extra
    float height = 1.8f;      // metres
    float build = 1.0f;       // width factor
    Colour skin{200, 160, 130, 128};
    Colour shirt{60, 70, 120, 128};
    Colour trousers{40, 40, 50, 128};
    Colour shoes{20, 20, 20, 128};
    bool lowDetail = false;   // no eye or toe geometry
    bool driverCopy = false;  // the seated copy under a kind-13 node
    bool playerGrip = false;  // the player's hold of what the hands carry (others' is turned the other way)
};

// The figure's height in the game's units.
float HumanoidStature(const HumanoidLook& look);
// The rest-pose offset of bone b from its parent for a look, and its rest
// turn (Euler angles; a clip's rotation keys include it).
VectorPos HumanoidBoneOffset(const HumanoidLook& look, int bone);
VectorXYZ HumanoidBoneRest(int bone);
// The animation id of bone b.
u16 HumanoidAnimId(int bone);
// The kind of body part bone b is, which bullets read to choose how a
// character falls: the head 9; the left upper arm 30, lower arm and hand
// 31; the right upper arm 49, lower arm and hand 50; the left thigh 62,
// shin and foot 63; the right thigh 67, shin and foot 68; 0 for the rest.
// The bone's node carries it in its extra2 word.
u32 HumanoidBoneKind(int bone);
// The model file description.
P2BFile HumanoidFile(const HumanoidLook& look);

struct HumanoidCharacter
{
    std::string path;   // on the disc, below the root
    HumanoidLook look;
};
// The player's model and the nine ambient pedestrians' low-detail models.
// The cast of the demo's bar and spa scenes, full detail under
// DemoData/Char/: the bar's barman and fighter (ids 71 and 74), the spa's
// people (86, 143, 148, 151, 162) and the test room's others (83, 156).
std::vector<HumanoidCharacter> SampleCastHumanoids();
std::vector<HumanoidCharacter> SampleHumanoids();

}  // namespace tools
