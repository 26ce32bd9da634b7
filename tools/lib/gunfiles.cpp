// The resident weapon and reticle models (see gunfiles.h).
#include "tools/lib/gunfiles.h"

#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Model.h"
#include "tools/lib/aniwrite.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

namespace {

constexpr u16 kMuzzle = 0x8000;
constexpr u16 kChamber = 0x8001;
constexpr u16 kPivot = 0x8003;
constexpr u16 kIsProjectile = 0x0101;   // the bullet code resets its ids

// A scale animation from `from` to `to` over `frames`.
P2BAnimNode ScaleAnim(u16 id, u16 frames, float from, float to)
{
    AniStream s(ANIM_TYPE_SCALE);
    s.Vec(0, VectorXYZ(from, from, from));
    s.Vec(frames, VectorXYZ(to, to, to));
    return P2BAnimNode{0, frames, id, {{ANIM_TYPE_SCALE, u16(s.Count()), s.Keys()}}};
}

// Node 0 of one box model, animated when frames > 0.
P2BFile OneBox(float hx, float hy, float hz, Colour c, u16 frames = 0)
{
    P2BFile f;
    f.models = {BoxModel(hx, hy, hz, TEXID_NONE, false, c)};
    NODE n = MakeNode(0);
    if (frames > 0) {
        n.animation = 0;
        f.anims.push_back(ScaleAnim(1, frames, 0.5f, 1.5f));
    }
    f.AddNode(-1, n);
    return f;
}

P2BFile Bullets()
{
    P2BFile f;
    const Colour brass(200, 160, 60, 128);
    f.models = {BoxModel(0.008f, 0.008f, 0.02f, TEXID_NONE, false, brass),
                BoxModel(0.01f, 0.01f, 0.125f, TEXID_NONE, false, Colour(240, 220, 120, 128)),
                BoxModel(0.04f, 0.04f, 0.04f, TEXID_NONE, false, Colour(60, 80, 40, 128))};
    CollisionChain bullet, grenade;
    bullet.Box(kIsProjectile, Cuboid(VectorPos(-0.01f, -0.01f, -0.125f), VectorPos(0.01f, 0.01f, 0.125f)));
    grenade.Box(kIsProjectile, Cuboid(VectorPos(-0.04f, -0.04f, -0.04f), VectorPos(0.04f, 0.04f, 0.04f)));
    f.collisions = {bullet, grenade};
    f.AddNode(-1, MakeNode(0));                        // 0: the case
    f.AddNode(-1, MakeNode(MDL_NOGEOM));               // 1: unused
    NODE b = MakeNode(1);
    b.collision = 0;
    f.AddNode(-1, b);                                  // 2: the bullet
    f.AddNode(-1, MakeNode(MDL_NOGEOM));               // 3: unused
    NODE g = MakeNode(2);
    g.collision = 1;
    f.AddNode(-1, g);                                  // 4: the grenade
    return f;
}

P2BFile Blood()
{
    P2BFile f = OneBox(0.02f, 0.02f, 0.005f, Colour(150, 10, 10, 128));
    CollisionChain drop;
    drop.Box(0x0101, Cuboid(VectorPos(-0.02f, -0.02f, -0.06f), VectorPos(0.02f, 0.02f, 0.06f)));
    f.collisions = {drop};
    f.nodes[0].collision = 0;
    return f;
}

P2BFile Beam()
{
    P2BFile f;
    f.models = {BoxModel(0.005f, 0.005f, 10.0f, TEXID_NONE, false, Colour(255, 20, 20, 128))};
    const int root = f.AddNode(-1, MakeNode(MDL_NOGEOM));
    f.AddNode(root, MakeNode(0, VectorPos(0.0f, 0.0f, 10.0f)));
    return f;
}

// Hierarchies 0 and 1 (squares of half width `half` and half that), each
// node 0's animations 0..3 a different swell.
P2BFile Reticle(Colour c, float half = 0.06f)
{
    P2BFile f;
    f.models = {BoxModel(half, half, 0.005f, TEXID_NONE, false, c),
                BoxModel(half * 0.5f, half * 0.5f, 0.005f, TEXID_NONE, false, c)};
    for (u16 h = 0; h < 2; h++) {
        NODE n = MakeNode(h);
        n.animation = u16(h * 4);
        f.AddNode(-1, n);
        for (u16 a = 0; a < 4; a++)
            f.anims.push_back(ScaleAnim(u16(h * 4 + a + 1), u16(8 + 4 * a), 1.5f - 0.1f * a, 1.0f));
    }
    return f;
}

// Guns of the given ids as root siblings, each with its three locators: a
// handgun's size in the figures' units, about 19 cm from the back of its
// grip to the muzzle (its x axis), 6 cm high and 3.5 cm wide.
P2BFile Guns(u16 firstId, u16 lastId)
{
    constexpr float m = kHumanoidUnitsPerMetre;
    P2BFile f;
    f.models = {BoxModel(0.095f * m, 0.03f * m, 0.0175f * m, TEXID_NONE, false, Colour(50, 50, 55, 128))};
    for (u16 id = firstId; id <= lastId; id++) {
        const int gun = f.AddNode(-1, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), id));
        f.AddNode(gun, MakeNode(kMuzzle, VectorPos(0.095f * m, -0.01f * m, 0.0f), VectorXYZ(0, 0, 0), kMuzzle));
        f.AddNode(gun, MakeNode(kChamber, VectorPos(0.02f * m, -0.02f * m, 0.0f), VectorXYZ(0, 0, 0), kChamber));
        f.AddNode(gun, MakeNode(kPivot, VectorPos(0.0f, 0.0f, 0.0f), VectorXYZ(0, 0, 0), kPivot));
    }
    return f;
}

}  // namespace

std::vector<std::pair<std::string, P2BFile>> WeaponModelFiles()
{
    const std::string misc = "DemoData/Misc/";
    std::vector<std::pair<std::string, P2BFile>> v;
    v.emplace_back(misc + "BULLSPRK.P2B", OneBox(0.05f, 0.05f, 0.001f, Colour(255, 230, 120, 128), 6));
    v.emplace_back(misc + "BULLPUFF.P2B", OneBox(0.05f, 0.05f, 0.001f, Colour(170, 20, 20, 128), 6));
    v.emplace_back(misc + "BULLETS.P2B", Bullets());
    v.emplace_back(misc + "BULLHOLE.P2B", OneBox(0.02f, 0.02f, 0.002f, Colour(20, 20, 20, 128)));
    v.emplace_back(misc + "BLOOD.P2B", Blood());
    v.emplace_back(misc + "MUZZLEFL.P2B", OneBox(0.04f, 0.04f, 0.06f, Colour(255, 240, 130, 128), 4));
    v.emplace_back(misc + "LASRBEAM.P2B", Beam());
    v.emplace_back(misc + "RTCDEF.P2B", Reticle(Colour(40, 240, 40, 128)));
    // The target's indicator stands out around the aiming reticle locked
    // onto it.
    v.emplace_back(misc + "RTCENEMY.P2B", Reticle(Colour(240, 40, 40, 128), 0.09f));
    v.emplace_back(misc + "RTCPR.P2B", Reticle(Colour(240, 240, 40, 128)));
    v.emplace_back(misc + "RTCPRON.P2B", Reticle(Colour(240, 200, 40, 128)));
    v.emplace_back(misc + "RTCPROFF.P2B", Reticle(Colour(200, 160, 40, 128)));
    for (int i = 1; i <= 4; i++)
        v.emplace_back(misc + "DACEGUN" + std::to_string(i) + ".P2B", Guns(1, 1));
    v.emplace_back(misc + "ENEMGUNS.P2B", Guns(1, 17));
    return v;
}

}  // namespace tools
