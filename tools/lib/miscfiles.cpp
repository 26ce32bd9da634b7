// The other resident models (see miscfiles.h).
#include "tools/lib/miscfiles.h"

#include <cstring>

#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Packet.h"
#include "tools/lib/aniwrite.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/playerfiles.h"

namespace tools {

namespace {

P2BFile Box(float hx, float hy, float hz, Colour c)
{
    P2BFile f;
    f.models = {BoxModel(hx, hy, hz, TEXID_NONE, false, c)};
    f.AddNode(-1, MakeNode(0));
    return f;
}

P2BFile Siren()
{
    P2BFile f = Box(0.5f, 0.06f, 0.12f, Colour(200, 200, 200, 128));
    AniStream colour(ANIM_TYPE_COLOUR);
    colour.Vec(0, VectorXYZ(1.0f, 0.1f, 0.1f))
        .Vec(8, VectorXYZ(1.0f, 1.0f, 1.0f))
        .Vec(16, VectorXYZ(0.1f, 0.1f, 1.0f))
        .Vec(24, VectorXYZ(1.0f, 0.1f, 0.1f));
    f.nodes[0].animation = 0;
    f.anims.push_back(P2BAnimNode{0, 24, 1, {{ANIM_TYPE_COLOUR, u16(colour.Count()), colour.Keys()}}});
    return f;
}

// The health cart: a low wire box standing on its origin's ground, a box to
// collide with, and an explosion record that leaves nothing of it.
P2BFile HealthCart()
{
    constexpr float hx = 0.3f, hy = 0.25f, hz = 0.45f;
    P2BFile f = Box(hx, hy, hz, Colour(160, 165, 170, 128));
    f.nodes[0].pos = Vector(0.0f, -hy, 0.0f, 0.0f);
    CollisionChain box;
    box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-hx, -hy, -hz), VectorPos(hx, hy, hz)));
    f.collisions.push_back(box);
    f.nodes[0].collision = 0;
    f.AddNode(0, MakeNode(0xF000 | MDL_NOGEOM));
    return f;
}

// The lamps' light cones: nodes 1 and 2 the player's car's (lamp 0 and the
// others), 3 and 0 a computer driver's.  Each reaches 4 or 5 units along
// +z of its own frame, which the car turns to the lamp's beam.
P2BFile LightCones()
{
    // Light added to what lies behind.
    auto cone = [](float hx, float hz, Colour c) { return AddedLight(BoxModel(hx, 0.3f, hz, TEXID_NONE, false, c)); };
    P2BFile f;
    f.models = {cone(0.3f, 2.0f, Colour(200, 190, 140, 20)), cone(0.35f, 2.5f, Colour(240, 240, 230, 20))};
    f.AddNode(-1, MakeNode(0, VectorPos(0, 0, 2.0f)));
    f.AddNode(-1, MakeNode(1, VectorPos(0, 0, 2.5f)));
    f.AddNode(-1, MakeNode(1, VectorPos(0, 0, 2.5f)));
    f.AddNode(-1, MakeNode(0, VectorPos(0, 0, 2.0f)));
    return f;
}

// The hand-held weapons: hierarchies 0 to 11 the plain plate the file has
// always led with, 12 to 23 the fighters' melee weapons, each a bar of its
// own length and colour held along the hand's z axis.
P2BFile Weapons()
{
    P2BFile f;
    f.models = {BoxModel(0.2f, 0.2f, 0.005f, TEXID_NONE, false, Colour(90, 90, 95, 128))};
    struct Melee
    {
        float hx, hy, hz;
        Colour c;
    };
    static const Melee melee[12] = {
        {0.02f, 0.02f, 0.25f, Colour(120, 80, 40, 128)},   // 12
        {0.015f, 0.015f, 0.3f, Colour(150, 150, 160, 128)}, // 13
        {0.01f, 0.03f, 0.12f, Colour(200, 200, 210, 128)},  // 14
        {0.03f, 0.03f, 0.35f, Colour(110, 70, 30, 128)},    // 15
        {0.02f, 0.02f, 0.2f, Colour(60, 60, 60, 128)},      // 16
        {0.025f, 0.025f, 0.4f, Colour(130, 90, 50, 128)},   // 17
        {0.04f, 0.02f, 0.15f, Colour(170, 170, 180, 128)},  // 18
        {0.02f, 0.02f, 0.45f, Colour(100, 100, 110, 128)},  // 19
        {0.02f, 0.02f, 0.18f, Colour(140, 140, 140, 128)},  // 20: the one any other kind gets
        {0.05f, 0.05f, 0.05f, Colour(80, 80, 80, 128)},     // 21
        {0.008f, 0.025f, 0.1f, Colour(220, 220, 230, 128)}, // 22
        {0.03f, 0.01f, 0.3f, Colour(90, 60, 30, 128)},      // 23
    };
    for (const Melee& m : melee)
        f.models.push_back(BoxModel(m.hx, m.hy, m.hz, TEXID_NONE, false, m.c));
    for (int i = 0; i < 12; i++)
        f.AddNode(-1, MakeNode(0));
    for (int i = 0; i < 12; i++)
        f.AddNode(-1, MakeNode(1 + i, VectorPos(0.0f, 0.0f, melee[i].hz)));
    return f;
}

}  // namespace

std::vector<std::pair<std::string, P2BFile>> ResidentMiscFiles()
{
    const std::string misc = "DemoData/Misc/";
    std::vector<std::pair<std::string, P2BFile>> v;
    v.emplace_back(misc + "BADGE.P2B", BadgeFile());
    v.emplace_back(misc + "WEAPONS.P2B", Weapons());
    v.emplace_back(misc + "SIREN.P2B", Siren());
    v.emplace_back(misc + "LITECONE.P2B", LightCones());
    v.emplace_back(misc + "SHCARTOR.P2B", HealthCart());
    return v;
}

P2BFile PhoneFile()
{
    return Box(0.025f, 0.1f, 0.05f, Colour(30, 30, 35, 128));
}

namespace {

// The helicopter, nose along +z, y down: a body, a tail boom, the blades
// as thin slabs, each blade a node of its own that the game spins.
P2BFile Helicopter()
{
    P2BFile f;
    // Olive drab, light enough to stand out against the night sky.
    f.models = {BoxModel(0.45f, 0.35f, 0.9f, TEXID_NONE, false, Colour(105, 120, 80, 128)),
                BoxModel(0.08f, 0.08f, 0.8f, TEXID_NONE, false, Colour(105, 120, 80, 128)),
                BoxModel(1.6f, 0.02f, 0.08f, TEXID_NONE, false, Colour(25, 25, 25, 128)),
                BoxModel(0.02f, 0.35f, 0.05f, TEXID_NONE, false, Colour(25, 25, 25, 128))};
    const int body = f.AddNode(-1, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 100));
    f.AddNode(body, MakeNode(1, VectorPos(0, -0.1f, -1.6f), VectorXYZ(0, 0, 0), 101));
    f.AddNode(body, MakeNode(2, VectorPos(0, -0.45f, 0), VectorXYZ(0, 0, 0), 0));
    f.AddNode(body, MakeNode(3, VectorPos(0.1f, -0.15f, -2.35f), VectorXYZ(0, 0, 0), 1));
    f.AddNode(body, MakeNode(0x8000, VectorPos(-0.45f, 0.05f, 0.1f)));
    f.AddNode(body, MakeNode(0x8001, VectorPos(0.45f, 0.05f, 0.1f)));
    return f;
}

}  // namespace

std::vector<std::pair<std::string, P2BFile>> StoryPropFiles()
{
    const std::string misc = "DemoData/Misc/";
    std::vector<std::pair<std::string, P2BFile>> v;
    v.emplace_back(misc + "BINOCULR.P2B", Box(0.06f, 0.03f, 0.05f, Colour(20, 20, 20, 128)));
    v.emplace_back(misc + "NOTE.P2B", Box(0.05f, 0.002f, 0.07f, Colour(235, 230, 200, 128)));
    v.emplace_back(misc + "CARCASSA.P2B", Box(0.15f, 0.5f, 0.12f, Colour(150, 60, 60, 128)));
    v.emplace_back(misc + "CARCASSB.P2B", Box(0.14f, 0.45f, 0.11f, Colour(170, 80, 70, 128)));
    v.emplace_back(misc + "ICEBODY.P2B", Box(0.2f, 0.1f, 0.6f, Colour(180, 210, 230, 128)));
    v.emplace_back(misc + "HELICPTR.P2B", Helicopter());
    return v;
}

}  // namespace tools
