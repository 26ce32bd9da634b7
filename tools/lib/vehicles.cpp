// The sample vehicle group's designs: boxes for the body and its parts, the
// mounts and locators the game looks for, and the members that copy them.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tools/lib/mdlgroup.h"

#include "tools/lib/aniwrite.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/texconv.h"

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
// A seated figure (1.8 m, 0.5625 high): its crown stands this far above its
// hips; the seats' hips are at most kSeatHeight above the ground, and a
// roof leaves kHeadRoom over the crown.
constexpr float kSeatedCrown = 0.26f;
constexpr float kSeatHeight = 0.16f;
constexpr float kHeadRoom = 0.02f;

// The body's skin: one 128 x 128 picture whose parts the body's boxes show
// face by face (MappedBoxModel's u and v: on a side, u down and v from the
// rear to the front; on an end, u across and v down; on top, u from the
// rear to the front and v across).
constexpr int kSkin = 128;
struct SkinPart
{
    int x0, y0, x1, y1;   // pixels
    UvRect Uv() const
    {
        return {float(x0) / kSkin, float(y0) / kSkin, float(x1) / kSkin, float(y1) / kSkin};
    }
};
constexpr SkinPart kSkinSide{0, 0, 32, 128};         // the lower body's sides: sill, wheel arches, indicator
constexpr SkinPart kSkinFront{32, 0, 80, 24};        // its nose: headlights, bumper
constexpr SkinPart kSkinRear{80, 0, 128, 24};        // its tail: tail lights, bumper
constexpr SkinPart kSkinGrille{32, 24, 80, 40};      // the front fascia
constexpr SkinPart kSkinPlate{80, 24, 128, 40};      // the rear fascia: the number plate
constexpr SkinPart kSkinTop{32, 40, 64, 72};         // bonnet, boot and roof
constexpr SkinPart kSkinCabinSide{64, 40, 96, 104};  // the cabin's sides: two windows each
constexpr SkinPart kSkinCabinEnd{96, 40, 128, 72};   // windscreen and rear window
constexpr SkinPart kSkinUnder{32, 72, 64, 104};      // the underside
constexpr SkinPart kSkinDoor{32, 104, 64, 128};      // a door: its seams and handle
constexpr SkinPart kSkinPaint{64, 104, 96, 128};     // plain paint

// Every face of a box showing one part.
void AllFaces(UvRect (&faces)[6], const SkinPart& part)
{
    for (UvRect& f : faces)
        f = part.Uv();
}

struct SkinColours
{
    std::array<u8, 3> paint, lower;   // the body above and below the waist of its sides
};

// The skin's picture.  Lights and glass are drawn in the skin itself so
// that they read from any side at any distance.
RgbaImage SkinPicture(const SkinColours& c)
{
    using C = std::array<u8, 3>;
    const C glass{35, 45, 60}, glint{95, 110, 130}, dark{25, 25, 28}, seam{0, 0, 0}, chrome{170, 172, 178},
        head{250, 246, 220}, tail{210, 30, 25}, amber{240, 150, 30}, plate{235, 235, 225};
    auto shade = [](C k, int d) {
        C out;
        for (int i = 0; i < 3; i++)
            out[i] = u8(std::clamp(int(k[i]) + d, 0, 255));
        return out;
    };
    RgbaImage img;
    img.width = img.height = kSkin;
    img.rgba.assign(size_t(kSkin) * kSkin * 4, 255);
    auto in = [](const SkinPart& p, int x, int y) { return x >= p.x0 && x < p.x1 && y >= p.y0 && y < p.y1; };
    // A point of a part as fractions (u, v) of its width and height.
    auto frac = [](const SkinPart& p, int x, int y) {
        return std::array<float, 2>{(x - p.x0 + 0.5f) / float(p.x1 - p.x0), (y - p.y0 + 0.5f) / float(p.y1 - p.y0)};
    };
    auto box = [](float a, float b, float a0, float a1, float b0, float b1) {
        return a >= a0 && a < a1 && b >= b0 && b < b1;
    };
    for (int y = 0; y < kSkin; y++)
        for (int x = 0; x < kSkin; x++) {
            C k = c.paint;
            if (in(kSkinSide, x, y)) {
                const auto [down, along] = frac(kSkinSide, x, y);
                k = down > 0.55f ? c.lower : c.paint;
                if (down < 0.06f)
                    k = shade(c.paint, 40);                        // the waist's highlight
                if (down > 0.85f)
                    k = dark;                                      // the sill
                for (float w : {0.19f, 0.81f}) {                   // wheel arches
                    const float da = (along - w) / 0.11f, dd = (down - 1.0f) / 0.75f;
                    if (da * da + dd * dd < 1.0f)
                        k = da * da + dd * dd > 0.8f ? seam : dark;
                }
                if (box(down, along, 0.15f, 0.3f, 0.9f, 0.96f))
                    k = amber;                                     // the side indicator
            } else if (in(kSkinFront, x, y) || in(kSkinRear, x, y)) {
                const bool front = in(kSkinFront, x, y);
                const auto [across, down] = frac(front ? kSkinFront : kSkinRear, x, y);
                const float edge = std::min(across, 1.0f - across);
                if (down > 0.75f)
                    k = down > 0.8f ? dark : chrome;               // the bumper
                else if (box(edge, down, 0.04f, 0.26f, 0.08f, 0.32f))
                    k = front ? (edge < 0.08f || down > 0.28f ? chrome : head) : tail;
                else if (!front && box(edge, down, 0.04f, 0.26f, 0.32f, 0.4f))
                    k = amber;
                if (down < 0.05f)
                    k = shade(c.paint, 40);
            } else if (in(kSkinGrille, x, y)) {
                const auto [across, down] = frac(kSkinGrille, x, y);
                k = int(down * 8.0f) % 2 == 0 ? chrome : dark;
                if (across < 0.06f || across > 0.94f)
                    k = chrome;
            } else if (in(kSkinPlate, x, y)) {
                const auto [across, down] = frac(kSkinPlate, x, y);
                k = c.lower;
                if (box(across, down, 0.3f, 0.7f, 0.15f, 0.85f))
                    k = (box(across, down, 0.36f, 0.64f, 0.4f, 0.6f) && x % 3 == 0) ? dark : plate;
            } else if (in(kSkinTop, x, y)) {
                const auto [along, across] = frac(kSkinTop, x, y);
                k = std::fabs(across - 0.5f) < 0.3f ? shade(c.paint, 18) : c.paint;
                if (along < 0.03f || along > 0.97f)
                    k = seam;
            } else if (in(kSkinCabinSide, x, y)) {
                const auto [down, along] = frac(kSkinCabinSide, x, y);
                // Two windows split by the middle pillar, their outer ends
                // raked like the screens.
                const float rake = 0.12f * (1.0f - down);
                const bool window = down > 0.12f && down < 0.92f &&
                                    ((along > 0.06f + rake && along < 0.45f) || (along > 0.53f && along < 0.94f - rake));
                if (window)
                    k = std::fabs(along - down * 0.4f - 0.3f) < 0.05f ? glint : glass;
            } else if (in(kSkinCabinEnd, x, y)) {
                const auto [across, down] = frac(kSkinCabinEnd, x, y);
                if (box(across, down, 0.08f, 0.92f, 0.12f, 0.92f))
                    k = std::fabs(across - down * 0.5f - 0.35f) < 0.06f ? glint : glass;
            } else if (in(kSkinUnder, x, y)) {
                k = dark;
            } else if (in(kSkinDoor, x, y)) {
                const auto [down, along] = frac(kSkinDoor, x, y);
                k = down > 0.55f ? c.lower : c.paint;
                if (along < 0.04f || along > 0.96f)
                    k = seam;
                if (box(down, along, 0.15f, 0.28f, 0.7f, 0.85f))
                    k = chrome;                                    // the handle
            }
            u8* px = &img.rgba[(size_t(y) * kSkin + size_t(x)) * 4];
            px[0] = k[0];
            px[1] = k[1];
            px[2] = k[2];
        }
    return img;
}

// A 16 x 16 picture of one colour with a lighter streak across it: glass
// with its glint, a lamp's lens with its bright middle.
TextureImage PlainTexture(std::array<u8, 3> base, std::array<u8, 3> light)
{
    RgbaImage img;
    img.width = img.height = 16;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            const std::array<u8, 3>& k = std::abs(x - y) < 3 ? light : base;
            img.rgba.insert(img.rgba.end(), {k[0], k[1], k[2], 255});
        }
    TextureImage t;
    std::string error;
    ConvertTexture(img, TexFormat::kT8, t, error);
    return t;
}

TextureImage SkinTexture(const SkinColours& c)
{
    TextureImage t;
    std::string error;
    ConvertTexture(SkinPicture(c), TexFormat::kT8, t, error);   // a few dozen colours
    return t;
}

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
    // The lower body runs from the floor to the waist; the cabin stands on
    // it from the waist to the roof, narrower, over the seats.
    const float waist = kFloor + (h - kFloor) * 0.5f;
    const float midY = -(kFloor + waist) * 0.5f;   // lower body's centre (y down)
    const float halfH = (waist - kFloor) * 0.5f;
    const float cabinHalfH = (h - waist) * 0.5f, cabinY = -(waist + cabinHalfH);
    const float cabinHW = hw * 0.85f, cabinFront = hl * 0.3f, cabinRear = -hl * 0.5f;
    const float cabinHL = (cabinFront - cabinRear) * 0.5f, cabinZ = (cabinFront + cabinRear) * 0.5f;
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    // Models.
    enum : u16 {
        mBody, mWheel, mDoor, mWindow, mSection, mFascia, mLamp, mPanel, mSteering, mLightBar, mPushBar, mDamaged,
        mLowBody, mCracked, mWreck, mChip, mCabin, mRearFascia, mCount
    };
    f.models.resize(mCount);
    UvRect faces[6];
    // +x, -x sides; +y underside, -y top; +z nose, -z tail.
    const UvRect bodyFaces[6] = {kSkinSide.Uv(), kSkinSide.Uv(), kSkinUnder.Uv(),
                                 kSkinTop.Uv(),  kSkinFront.Uv(), kSkinRear.Uv()};
    std::copy(std::begin(bodyFaces), std::end(bodyFaces), std::begin(faces));
    // The car's origin is on the ground below its middle (where its wheels
    // stand): the lower body is drawn above it.
    f.models[mBody] = Painted(MappedBoxModel(hw, halfH, hl, d.paint, true, faces, Colour(), VectorXYZ(0, midY, 0)));
    const UvRect cabinFaces[6] = {kSkinCabinSide.Uv(), kSkinCabinSide.Uv(), kSkinUnder.Uv(),
                                  kSkinTop.Uv(),       kSkinCabinEnd.Uv(),  kSkinCabinEnd.Uv()};
    std::copy(std::begin(cabinFaces), std::end(cabinFaces), std::begin(faces));
    f.models[mCabin] = Painted(MappedBoxModel(cabinHW, cabinHalfH, cabinHL, d.paint, true, faces));
    f.models[mWheel] = BoxModel(0.045f, r, r, kTexTyre, true);
    AllFaces(faces, kSkinDoor);
    f.models[mDoor] = Painted(MappedBoxModel(0.01f, halfH * 0.85f, 0.16f, d.paint, true, faces));
    f.models[mWindow] = BoxModel(0.005f, cabinHalfH * 0.7f, 0.14f, kTexGlass, true);
    AllFaces(faces, kSkinPaint);
    f.models[mSection] = Painted(MappedBoxModel(0.06f, halfH * 0.5f, 0.08f, d.paint, true, faces));
    AllFaces(faces, kSkinGrille);
    f.models[mFascia] = Painted(MappedBoxModel(hw * 0.6f, halfH * 0.3f, 0.01f, d.paint, true, faces));
    AllFaces(faces, kSkinPlate);
    f.models[mRearFascia] = Painted(MappedBoxModel(hw * 0.6f, halfH * 0.3f, 0.01f, d.paint, true, faces));
    f.models[mLamp] = BoxModel(0.05f, 0.025f, 0.005f, kTexLamp, true);
    AllFaces(faces, kSkinTop);
    f.models[mPanel] = Painted(MappedBoxModel(hw * 0.4f, 0.005f, hl * 0.14f, d.paint, true, faces));
    f.models[mSteering] = BoxModel(0.04f, 0.04f, 0.005f, kTexTyre, true);
    f.models[mLightBar] = BoxModel(0.18f, 0.02f, 0.04f, kTexLamp, true);
    f.models[mPushBar] = BoxModel(hw * 0.8f, 0.04f, 0.02f, kTexTyre, true);
    f.models[mDamaged] = BoxModel(0.05f, 0.02f, 0.05f, kTexTyre, true);
    AllFaces(faces, kSkinPaint);
    f.models[mLowBody] = MappedBoxModel(hw, (h - kFloor) * 0.5f, hl, TEXID_NONE, false, faces, Colour(60, 80, 150, 128),
                                        VectorXYZ(0, -(h + kFloor) * 0.5f, 0));
    // The damaged forms: a crazed window, the burnt-out body, and the chips
    // that fly off.
    f.models[mCracked] = BoxModel(0.005f, cabinHalfH * 0.7f, 0.14f, TEXID_NONE, true, Colour(200, 200, 205, 128));
    f.models[mWreck] = MappedBoxModel(hw, (h - kFloor) * 0.45f, hl, TEXID_NONE, true, faces, Colour(35, 32, 30, 128),
                                      VectorXYZ(0, -(h + kFloor) * 0.45f, 0));
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
    f.AddNode(b, Part(mCabin, VectorPos(0, cabinY, cabinZ)));

    // Mounts and locators.
    for (int w = 0; w < 4; w++) {
        const float x = (w & 1) ? d.wheelX : -d.wheelX, z = w < 2 ? d.wheelZ : -d.wheelZ;
        f.AddNode(b, Part(u16(kVehWheelMount + w), VectorPos(x, -r, z)));
    }
    f.AddNode(b, Part(kVehGetInLeft, VectorPos(-kVehGetInX, 0, kVehGetInZ)));
    f.AddNode(b, Part(kVehGetInRight, VectorPos(kVehGetInX, 0, kVehGetInZ)));
    // The seats: where a sitter's hips go, low enough that his head stays
    // under the roof (a seated figure's crown is kSeatedCrown above them).
    const float seat = std::min(kSeatHeight, h - kSeatedCrown - kHeadRoom);
    f.AddNode(b, Part(kVehSeatLeft, VectorPos(-0.12f, -seat, -0.05f)));
    f.AddNode(b, Part(kVehSeatRight, VectorPos(0.12f, -seat, -0.05f)));
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
        // The door's window, on the cabin's side above it.
        const float in = (k & 1) ? cabinHW + 0.006f - hw : hw - cabinHW - 0.006f;
        AddBreakable(f, door, mWindow, mCracked, VectorPos(in, cabinY - midY, 0), u16(31 + k), mChip);
    }
    for (int k = 0; k < 4; k++) {
        const float x = (k & 1) ? hw * 0.8f : -hw * 0.8f, z = k < 2 ? hl * 0.8f : -hl * 0.8f;
        AddBreakable(f, b, mSection, mDamaged, VectorPos(x, midY, z), u16(24 + k), mChip);
    }
    AddBreakable(f, b, mFascia, mDamaged, VectorPos(0, midY, hl), 30, mChip);
    AddBreakable(f, b, mRearFascia, mDamaged, VectorPos(0, midY, -hl), 35, mChip);
    // The tail lights' lenses over the skin's, at the tail's upper corners.
    const float lampY = -(waist - halfH * 0.4f);
    AddBreakable(f, b, mLamp, mDamaged, VectorPos(-hw * 0.7f, lampY, -hl), 20, mChip);
    AddBreakable(f, b, mLamp, mDamaged, VectorPos(hw * 0.7f, lampY, -hl), 21, mChip);
    // Panels on the boot, the roof and the bonnet.
    const float panelZ[3] = {-hl * 0.75f, cabinZ, hl * 0.65f}, panelY[3] = {-waist, -h, -waist};
    for (int k = 0; k < 6; k++) {
        const float x = (k & 1) ? hw * 0.45f : -hw * 0.45f;
        AddBreakable(f, b, mPanel, mDamaged, VectorPos(x, panelY[k / 2], panelZ[k / 2]), u16(40 + k), mChip);
    }
    if (d.type == 27) {
        f.AddNode(b, Part(mLightBar, VectorPos(0, -h - 0.02f, 0), kVehLightBarId));
        f.AddNode(b, Part(mPushBar, VectorPos(0, midY, hl + 0.03f), kVehPushBarId));
    }
    if (d.roofSign)
        f.AddNode(b, Part(mLamp, VectorPos(0, -h - 0.02f, 0)));
    if (d.pickupBed)
        f.AddNode(b, Part(mPanel, VectorPos(0, -waist - 0.01f, -hl * 0.75f)));
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
    UvRect paint[6];
    AllFaces(paint, kSkinPaint);
    f.models[mBody] = Painted(MappedBoxModel(d.halfWidth, 0.12f, d.halfLength * 0.7f, d.paint, true, paint));
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
    group.shared.push_back(SkinTexture({{{50, 80, 170}}, {{40, 64, 140}}}));                            // paint
    group.shared.push_back(PlainTexture({35, 45, 60}, {95, 110, 130}));                                 // glass
    group.shared.push_back(CheckerTexture(16, Colour(20, 20, 20, 255), Colour(45, 45, 45, 255)));        // tyres
    group.shared.push_back(PlainTexture({200, 30, 25}, {255, 120, 90}));                                 // lamps
    group.shared.push_back(SkinTexture({{{235, 235, 240}}, {{25, 25, 30}}}));                           // livery
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
