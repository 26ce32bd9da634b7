// The sample vehicle group's designs: boxes for the body and its parts, the
// mounts and locators the game looks for, and the members that copy them.
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tools/lib/mdlgroup.h"

#include "tools/lib/aniwrite.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

namespace {

// Shared textures: the members name them as shared texture n.
enum : u16 { kTexPaint = 0, kTexGlass = 1, kTexTyre = 2, kTexLamp = 3, kTexLivery = 4 };

// An explosion record: a node whose model word names the part's damaged form.
constexpr u16 kExplosionRecord = 0xF000;

struct Design
{
    int type;
    float halfLength, halfWidth, height;   // body box; its floor 0.08 above the ground
    float wheelX, wheelZ;                  // wheel mounts at (+-x, -r, +-z)
    u16 paint;                             // body texture
    bool roofSign, pickupBed, tall;
};

// The designs, by the member that holds each.
const Design kDesigns[] = {
    {0, 0.725f, 0.28f, 0.45f, 0.25f, 0.45f, kTexPaint, false, false, false},     // unmarked sedan
    {10, 0.62f, 0.27f, 0.44f, 0.24f, 0.40f, kTexPaint, false, false, false},     // hatchback
    {17, 0.78f, 0.30f, 0.56f, 0.26f, 0.50f, kTexPaint, false, false, true},      // van
    {21, 0.73f, 0.28f, 0.46f, 0.25f, 0.45f, kTexPaint, true, false, false},      // taxi
    {23, 0.70f, 0.29f, 0.38f, 0.25f, 0.44f, kTexPaint, false, false, false},     // coupe
    {24, 0.76f, 0.29f, 0.48f, 0.26f, 0.48f, kTexPaint, false, true, false},      // pickup
    {33, 0.74f, 0.28f, 0.45f, 0.25f, 0.46f, kTexPaint, false, false, false},     // saloon
    {27, 0.735f, 0.28f, 0.45f, 0.25f, 0.45f, kTexLivery, false, false, false},   // police cruiser
    {14, 0.50f, 0.08f, 0.40f, 0.0f, 0.36f, kTexPaint, false, false, false},      // motorbike
};

const Design& DesignOf(int type)
{
    const int d = SampleVehicleDesign(type);
    for (const Design& k : kDesigns)
        if (k.type == d)
            return k;
    return kDesigns[0];
}

constexpr float kFloor = 0.08f;

// The paint's tint sets: set 0 leaves the paint as it is, the others colour
// it.  Every design carries all of them, enough for any member's range of
// sets (the widest ends at set 8).
constexpr u32 kPaintTints[kVehicleTintSets] = {
    Colour(128, 128, 128, 128).Word(), Colour(255, 70, 50, 128).Word(),   Colour(80, 200, 90, 128).Word(),
    Colour(230, 230, 230, 128).Word(), Colour(255, 220, 60, 128).Word(),  Colour(60, 60, 60, 128).Word(),
    Colour(200, 120, 60, 128).Word(),  Colour(150, 90, 220, 128).Word(),
};

// A lit painted model whose colour comes from the tint table: its lighting
// colour quadword takes the set's colour when drawn.
P2BModel Painted(P2BModel m)
{
    P2BMaterial& mt = m.opaque[0];
    const u128 white = ColourCommand(tokDoLighting, 1.0f, 1.0f, 1.0f, 1.0f);
    for (size_t q = 0; q < mt.callList.size(); q++)
        if (std::memcmp(&mt.callList[q], &white, sizeof white) == 0) {
            mt.callList[q] = ColourCommand(tokDoLighting, 0.0f, 0.0f, 0.0f, 0.0f);
            mt.flags |= MTL_TINT;
            mt.auxvuaddr = u16(q);
            mt.tints.assign(std::begin(kPaintTints), std::end(kPaintTints));
            break;
        }
    return m;
}

NODE Part(u16 model, VectorPos pos, u16 id = 0)
{
    return MakeNode(model, pos, VectorXYZ(0, 0, 0), id);
}

// A debris node: the piece's model; its position, a sixteenth of which is
// the velocity the piece flies off with.
constexpr u16 kDebrisRecord = 0xD000;

// A breakable part under parent: its model, and under it the explosion
// record naming its damaged form, with a piece of debris thrown up and away
// from the body's middle.
int AddBreakable(P2BFile& f, int parent, u16 model, u16 damaged, VectorPos pos, u16 id, u16 debris)
{
    const int n = f.AddNode(parent, Part(model, pos, id));
    const int rec = f.AddNode(n, Part(u16(kExplosionRecord | damaged), VectorPos(0, 0, 0)));
    const float out = pos[0] > 0.0f ? 0.4f : pos[0] < 0.0f ? -0.4f : 0.0f;
    const float along = pos[2] > 0.0f ? 0.3f : pos[2] < 0.0f ? -0.3f : 0.0f;
    f.AddNode(rec, Part(u16(kDebrisRecord | debris), VectorPos(out, -0.8f, along)));
    return n;
}

P2BFile CarFile(const Design& d)
{
    const float r = kVehWheelRadius;
    const float hl = d.halfLength, hw = d.halfWidth, h = d.height;
    const float midY = -(kFloor + (h - kFloor) * 0.5f);   // body box centre (y down)
    const float halfH = (h - kFloor) * 0.5f;
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    // Models.
    enum : u16 {
        mBody, mWheel, mDoor, mWindow, mSection, mFascia, mLamp, mPanel, mSteering, mLightBar, mPushBar, mDamaged,
        mLowBody, mCracked, mWreck, mChip, mCount
    };
    f.models.resize(mCount);
    f.models[mBody] = Painted(BoxModel(hw, halfH, hl, d.paint, true));
    f.models[mWheel] = BoxModel(0.045f, r, r, kTexTyre, true);
    f.models[mDoor] = Painted(BoxModel(0.01f, halfH * 0.7f, 0.16f, d.paint, true));
    f.models[mWindow] = BoxModel(0.005f, halfH * 0.35f, 0.14f, kTexGlass, true);
    f.models[mSection] = Painted(BoxModel(0.06f, halfH * 0.5f, 0.08f, d.paint, true));
    f.models[mFascia] = Painted(BoxModel(hw * 0.9f, halfH * 0.4f, 0.01f, d.paint, true));
    f.models[mLamp] = BoxModel(0.04f, 0.02f, 0.005f, kTexLamp, true);
    f.models[mPanel] = Painted(BoxModel(hw * 0.45f, 0.005f, hl * 0.25f, d.paint, true));
    f.models[mSteering] = BoxModel(0.04f, 0.04f, 0.005f, kTexTyre, true);
    f.models[mLightBar] = BoxModel(0.18f, 0.02f, 0.04f, kTexLamp, true);
    f.models[mPushBar] = BoxModel(hw * 0.8f, 0.04f, 0.02f, kTexTyre, true);
    f.models[mDamaged] = BoxModel(0.05f, 0.02f, 0.05f, kTexTyre, true);
    f.models[mLowBody] = BoxModel(hw, halfH, hl, d.paint, false, Colour(90, 90, 100, 128));
    // The damaged forms: a crazed window, the burnt-out body, and the chips
    // that fly off.
    f.models[mCracked] = BoxModel(0.005f, halfH * 0.35f, 0.14f, TEXID_NONE, true, Colour(200, 200, 205, 128));
    f.models[mWreck] = BoxModel(hw, halfH * 0.9f, hl, TEXID_NONE, true, Colour(35, 32, 30, 128));
    f.models[mChip] = BoxModel(0.03f, 0.01f, 0.03f, TEXID_NONE, true, Colour(120, 120, 125, 128));
    for (int n = 0; n < kVehicleSharedTextures; n++) {
        P2BTexture t;
        t.shared = n;
        f.textures.push_back(t);
    }
    // The body box, and the cabin's above it: solid, of the kind bullets,
    // sight lines and the other cars meet.
    CollisionChain boxes;
    boxes.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-hw, -h * 0.75f, -hl), VectorPos(hw, -kFloor, hl)));
    boxes.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-hw * 0.9f, -h, -hl * 0.5f), VectorPos(hw * 0.9f, -h * 0.75f, hl * 0.4f)));
    f.collisions.push_back(boxes);

    NODE body = Part(mBody, VectorPos(0, 0, 0), kVehBodyId);
    body.collision = 0;
    const int b = f.AddNode(-1, body);
    f.AddNode(-1, Part(mWheel, VectorPos(0, -r, 0), kVehFrontWheelId));
    f.AddNode(-1, Part(mWheel, VectorPos(0, -r, 0), kVehRearWheelId));
    if (d.type == 27)
        f.AddNode(-1, Part(mLightBar, VectorPos(0, 0, 0), kVehLightBarId));

    // Mounts and locators.
    for (int w = 0; w < 4; w++) {
        const float x = (w & 1) ? d.wheelX : -d.wheelX, z = w < 2 ? d.wheelZ : -d.wheelZ;
        f.AddNode(b, Part(u16(kVehWheelMount + w), VectorPos(x, -r, z)));
    }
    f.AddNode(b, Part(kVehGetInLeft, VectorPos(-kVehGetInX, 0, kVehGetInZ)));
    f.AddNode(b, Part(kVehGetInRight, VectorPos(kVehGetInX, 0, kVehGetInZ)));
    f.AddNode(b, Part(kVehSeatLeft, VectorPos(-0.12f, -0.2f, -0.05f)));
    f.AddNode(b, Part(kVehSeatRight, VectorPos(0.12f, -0.2f, -0.05f)));
    // The steering wheel's grip: the hands take the rim from here.
    f.AddNode(b, Part(0x8066, VectorPos(-0.05f, -0.315f, 0.15f)));
    f.AddNode(b, Part(kVehReticlePoint, VectorPos(0, -h, 0.05f)));
    // The lamps look back along the car (z toward its rear): a front lamp's
    // beam runs against its z, a rear lamp's glow along it.
    const VectorXYZ back(0, 3.1415927f, 0);
    f.AddNode(b, MakeNode(0x807C, VectorPos(-hw * 0.7f, -0.2f, hl), back));     // headlights
    f.AddNode(b, MakeNode(0x807D, VectorPos(hw * 0.7f, -0.2f, hl), back));
    f.AddNode(b, MakeNode(0x807E, VectorPos(-hw * 0.7f, -0.2f, -hl), back));    // rear lights
    f.AddNode(b, MakeNode(0x807F, VectorPos(hw * 0.7f, -0.2f, -hl), back));
    // The hood vault's markers: a vault takes off beside the hood on one side
    // and lands clear of the body on the other.
    const float vaultX = hw + kVehHoodMarkerOut, vaultZ = hl * kVehHoodMarkerAlong;
    f.AddNode(b, Part(kVehHoodMarkerLeft, VectorPos(-vaultX, 0, vaultZ)));
    f.AddNode(b, Part(kVehHoodMarkerRight, VectorPos(vaultX, 0, vaultZ)));
    if (d.type == 0)
        f.AddNode(b, Part(kVehSirenMount, VectorPos(-0.1f, -h, 0.05f)));
    if (d.type == 27)
        f.AddNode(b, Part(kVehLightBarMount, VectorPos(0, -h, 0)));

    // Parts.
    f.AddNode(b, Part(mSteering, VectorPos(-0.12f, -0.3f, 0.1f), kVehSteeringWheelId));
    const float doorZ[4] = {0.1f, 0.1f, -0.25f, -0.25f};
    for (int k = 0; k < 4; k++) {
        const float x = (k & 1) ? hw : -hw;
        const int door = AddBreakable(f, b, mDoor, mDamaged, VectorPos(x, midY, doorZ[k]), u16(16 + k), mChip);
        AddBreakable(f, door, mWindow, mCracked, VectorPos(0, -halfH * 0.4f, 0), u16(31 + k), mChip);
    }
    for (int k = 0; k < 4; k++) {
        const float x = (k & 1) ? hw * 0.8f : -hw * 0.8f, z = k < 2 ? hl * 0.8f : -hl * 0.8f;
        AddBreakable(f, b, mSection, mDamaged, VectorPos(x, midY, z), u16(24 + k), mChip);
    }
    AddBreakable(f, b, mFascia, mDamaged, VectorPos(0, midY, hl), 30, mChip);
    AddBreakable(f, b, mFascia, mDamaged, VectorPos(0, midY, -hl), 35, mChip);
    AddBreakable(f, b, mLamp, mDamaged, VectorPos(-hw * 0.7f, -0.2f, -hl), 20, mChip);
    AddBreakable(f, b, mLamp, mDamaged, VectorPos(hw * 0.7f, -0.2f, -hl), 21, mChip);
    for (int k = 0; k < 6; k++) {
        const float x = (k & 1) ? hw * 0.5f : -hw * 0.5f, z = (k / 2 - 1) * hl * 0.5f;
        AddBreakable(f, b, mPanel, mDamaged, VectorPos(x, -h, z), u16(40 + k), mChip);
    }
    if (d.type == 27) {
        f.AddNode(b, Part(mLightBar, VectorPos(0, -h - 0.02f, 0), kVehLightBarId));
        f.AddNode(b, Part(mPushBar, VectorPos(0, midY, hl + 0.03f), kVehPushBarId));
    }
    if (d.roofSign)
        f.AddNode(b, Part(mLamp, VectorPos(0, -h - 0.02f, 0)));
    if (d.pickupBed)
        f.AddNode(b, Part(mPanel, VectorPos(0, -h * 0.6f, -hl * 0.6f)));
    f.AddNode(b, MakeLodNode(mLowBody, 40));
    // The wreck: the burnt-out body keeps the car's collision.
    NODE wreck = Part(u16(kExplosionRecord | mWreck), VectorPos(0, 0, 0));
    wreck.collision = 0;
    f.AddNode(b, wreck);
    return f;
}

P2BFile BikeFile(const Design& d)
{
    const float r = kVehWheelRadius;
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    enum : u16 { mBody, mWheel, mFork, mArm, mCount };
    f.models.resize(mCount);
    f.models[mBody] = Painted(BoxModel(d.halfWidth, 0.12f, d.halfLength * 0.7f, d.paint, true));
    f.models[mWheel] = BoxModel(0.03f, r, r, kTexTyre, true);
    f.models[mFork] = BoxModel(0.03f, 0.12f, 0.02f, kTexTyre, true);
    f.models[mArm] = BoxModel(0.03f, 0.02f, 0.15f, kTexTyre, true);
    for (int n = 0; n < kVehicleSharedTextures; n++) {
        P2BTexture t;
        t.shared = n;
        f.textures.push_back(t);
    }
    CollisionChain boxes;
    boxes.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-d.halfWidth, -d.height, -d.halfLength),
                                            VectorPos(d.halfWidth, -kFloor, d.halfLength)));
    f.collisions.push_back(boxes);
    NODE body = Part(mBody, VectorPos(0, 0, 0), kVehBodyId);
    body.collision = 0;
    const int b = f.AddNode(-1, body);
    f.AddNode(-1, Part(mWheel, VectorPos(0, -r, 0), kVehFrontWheelId));
    f.AddNode(-1, Part(mWheel, VectorPos(0, -r, 0), kVehRearWheelId));
    // The fork leans back a little; its slider carries the front wheel mount.
    const int fork = f.AddNode(b, MakeNode(mFork, VectorPos(0, -0.3f, d.wheelZ), VectorXYZ(-0.3f, 0, 0), kVehForkId));
    const int slider = f.AddNode(fork, Part(mFork, VectorPos(0, 0.12f, 0), kVehSliderId));
    f.AddNode(slider, Part(u16(kVehWheelMount + 0), VectorPos(0, 0.08f, 0)));
    const int arm = f.AddNode(b, Part(mArm, VectorPos(0, -0.2f, -0.15f), kVehSwingArmId));
    f.AddNode(arm, Part(u16(kVehWheelMount + 1), VectorPos(0, 0.1f, -0.21f)));
    f.AddNode(b, Part(kVehGetInLeft, VectorPos(-kVehGetInX, 0, 0)));
    f.AddNode(b, Part(kVehGetInRight, VectorPos(kVehGetInX, 0, 0)));
    // Where a rider walks up to the bike and steps off it: beside the seat.
    f.AddNode(b, Part(kVehGetOnLeft, VectorPos(-kVehGetInX, 0, -0.05f)));
    f.AddNode(b, Part(kVehGetOnRight, VectorPos(kVehGetInX, 0, -0.05f)));
    f.AddNode(b, Part(kVehSeatLeft, VectorPos(0, -0.35f, -0.05f)));
    f.AddNode(b, Part(kVehSeatRight, VectorPos(0, -0.35f, -0.05f)));
    f.AddNode(b, Part(kVehReticlePoint, VectorPos(0, -d.height, 0)));
    return f;
}

}  // namespace

int SampleVehicleDesign(int type)
{
    switch (type) {
    case 0: case 10: case 14: case 17: case 21: case 23: case 24: case 27: case 33:
        return type;
    case 30: case 31:
        return 14;
    case 37: case 38:
        return 27;
    default: {
        // The rest take turns among the car designs.
        static const int cars[] = {0, 10, 17, 21, 23, 24, 33};
        return cars[type % 7];
    }
    }
}

float SampleVehicleHalfLength(int type)
{
    return DesignOf(type).halfLength * (DesignOf(type).type == 14 ? 0.7f : 1.0f);
}

P2BFile SampleVehicleFile(int type)
{
    const Design& d = DesignOf(type);
    return d.type == 14 ? BikeFile(d) : CarFile(d);
}

bool SampleVehicleGroup(ModelGroup& group, std::string& error)
{
    group = ModelGroup{};
    group.shared.push_back(CheckerTexture(16, Colour(40, 70, 160, 255), Colour(60, 90, 180, 255)));     // paint
    group.shared.push_back(CheckerTexture(16, Colour(120, 160, 200, 255), Colour(140, 180, 220, 255)));  // glass
    group.shared.push_back(CheckerTexture(16, Colour(20, 20, 20, 255), Colour(45, 45, 45, 255)));        // tyres
    group.shared.push_back(CheckerTexture(16, Colour(250, 240, 200, 255), Colour(220, 40, 30, 255)));    // lamps
    group.shared.push_back(CheckerTexture(16, Colour(20, 20, 30, 255), Colour(230, 230, 235, 255)));     // livery
    std::vector<u8> designs[kVehicleCount];
    for (int type = 0; type < kVehicleCount; type++) {
        const int d = SampleVehicleDesign(type);
        if (designs[d].empty() && !WriteP2B(SampleVehicleFile(d), designs[d], error)) {
            error = "vehicle " + std::to_string(type) + ": " + error;
            return false;
        }
        group.members.push_back(designs[d]);
    }
    return true;
}

}  // namespace tools
