// Models of the side games (see sidegamefiles.h).
#include "tools/lib/sidegamefiles.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/EntParams.h"
#include "tools/lib/npcfiles.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

namespace {

constexpr u16 kNoGeometry = 0xF000 | MDL_NOGEOM;

NODE IdNode(u16 model, u16 id, VectorPos pos = VectorPos(0, 0, 0))
{
    return MakeNode(model, pos, VectorXYZ(0, 0, 0), id);
}

}  // namespace

const VectorPos kDojoSpots[5] = {VectorPos(-1.5f, 0.0f, 1.0f), VectorPos(1.5f, 0.0f, 1.0f),
                                 VectorPos(-1.5f, 0.0f, 3.0f), VectorPos(1.5f, 0.0f, 3.0f),
                                 VectorPos(0.0f, 0.0f, 2.5f)};

P2BFile DojoInteriorFile()
{
    P2BFile f;
    f.models = {BoxModel(0.25f, 0.8f, 0.05f, TEXID_NONE, false, Colour(150, 110, 70, 128)),
                BoxModel(0.2f, 0.8f, 0.2f, TEXID_NONE, false, Colour(120, 80, 40, 128)),
                BoxModel(0.2f, 0.3f, 0.12f, TEXID_NONE, false, Colour(220, 210, 200, 128)),
                BoxModel(0.04f, 0.04f, 0.04f, TEXID_NONE, false, Colour(200, 230, 60, 128)),
                BoxModel(0.04f, 0.04f, 0.3f, TEXID_NONE, false, Colour(60, 60, 60, 128))};
    f.AddNode(-1, MakeNode(kNoGeometry));
    f.AddNode(-1, IdNode(0, 512));
    f.AddNode(-1, IdNode(1, 513));
    for (int i = 0; i < 5; i++)
        f.AddNode(-1, IdNode(kNoGeometry, u16(0x8001 + i), kDojoSpots[i]));
    const int mannequin = f.AddNode(-1, IdNode(2, 6000));
    f.AddNode(mannequin, IdNode(2, 1, VectorPos(0.0f, -0.6f, 0.0f)));
    const int arm = f.AddNode(mannequin, IdNode(4, 2, VectorPos(0.25f, -0.8f, 0.0f)));
    f.AddNode(arm, MakeNode(0x8000, VectorPos(0.0f, 0.0f, 0.4f)));
    f.AddNode(mannequin, IdNode(3, 20, VectorPos(0.0f, -0.9f, 0.0f)));
    f.AddNode(-1, IdNode(3, 6003));
    return f;
}

// The demon: a body that its swoop drives into the player (a collision box
// of the body's size) and its two glowing eyes.
P2BFile DemonFile()
{
    constexpr float hx = 0.4f, hy = 0.3f, hz = 0.6f;
    P2BFile f;
    f.models = {BoxModel(hx, hy, hz, TEXID_NONE, false, Colour(60, 20, 20, 128)),
                BoxModel(0.08f, 0.08f, 0.01f, TEXID_NONE, false, Colour(255, 120, 40, 128))};
    CollisionChain box;
    box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-hx, -hy, -hz), VectorPos(hx, hy, hz)));
    f.collisions.push_back(box);
    NODE root = MakeNode(0);
    root.collision = 0;
    const int body = f.AddNode(-1, root);
    f.AddNode(body, IdNode(1, 50, VectorPos(0.15f, -0.2f, 0.5f)));
    f.AddNode(body, IdNode(1, 51, VectorPos(-0.15f, -0.2f, 0.5f)));
    return f;
}

P2BFile DragonFile()
{
    P2BFile f;
    f.models = {BoxModel(0.5f, 0.4f, 1.2f, TEXID_NONE, false, Colour(40, 90, 50, 128)),
                BoxModel(0.25f, 0.2f, 0.35f, TEXID_NONE, false, Colour(50, 110, 60, 128)),
                BoxModel(0.2f, 0.05f, 0.3f, TEXID_NONE, false, Colour(120, 40, 30, 128))};
    const int body = f.AddNode(-1, MakeNode(0));
    const int head = f.AddNode(body, IdNode(1, 85, VectorPos(0.0f, -0.3f, 1.4f)));
    f.AddNode(head, IdNode(2, 86, VectorPos(0.0f, 0.2f, 0.1f)));
    f.AddNode(head, MakeNode(0x8064, VectorPos(0.08f, -0.05f, 0.35f)));
    f.AddNode(head, MakeNode(0x8065, VectorPos(-0.08f, -0.05f, 0.35f)));
    f.AddNode(head, MakeNode(0x8066, VectorPos(0.0f, 0.1f, 0.4f)));
    return f;
}

P2BFile FireballFile()
{
    P2BFile f;
    constexpr float h = 0.15f;
    f.models = {BoxModel(h, h, h, TEXID_NONE, false, Colour(255, 140, 20, 128))};
    // The ball's own box: without one the projectile meets nothing on its
    // way. The bullet code sets its collision ids when it is fired.
    CollisionChain ball;
    ball.Box(0x0101, Cuboid(VectorPos(-h, -h, -h), VectorPos(h, h, h)));
    f.collisions = {ball};
    NODE n = MakeNode(0);
    n.collision = 0;
    f.AddNode(-1, n);
    return f;
}

HumanoidLook MutantLook()
{
    // The proportions of the figure the group's clips are made for; only
    // the colours are its own: grey-green skin, rags.
    HumanoidLook l = EnemyLook();
    l.charid = 135;
    l.skin = Colour(110, 135, 95, 128);
    l.shirt = Colour(70, 60, 45, 128);
    l.trousers = Colour(55, 50, 40, 128);
    l.shoes = Colour(90, 110, 80, 128);
    return l;
}

P2BFile MutantFile()
{
    return HumanoidFile(MutantLook());
}

std::vector<std::pair<std::string, P2BFile>> SideGameFiles()
{
    std::vector<std::pair<std::string, P2BFile>> v;
    v.emplace_back("DemoData/Int/DOJO24/DOJO1.P2B", DojoInteriorFile());
    v.emplace_back("DemoData/Char/Demon.P2B", DemonFile());
    v.emplace_back("DemoData/Misc/FIREBALL.P2B", FireballFile());
    v.emplace_back("DemoData/Char/DRAGON.P2B", DragonFile());
    return v;
}

SetupFile FiringRangeSetup()
{
    SetupFile s;
    s.file.models = {BoxModel(8.0f, 0.05f, 12.0f, TEXID_NONE, false, Colour(90, 90, 80, 128)),
                     BoxModel(0.3f, 0.8f, 0.02f, TEXID_NONE, false, Colour(200, 190, 170, 128)),
                     BoxModel(0.3f, 0.8f, 0.02f, TEXID_NONE, false, Colour(90, 160, 90, 128)),
                     BoxModel(0.05f, 0.05f, 0.05f, TEXID_NONE, false, Colour(200, 40, 40, 128))};
    const int room = s.file.AddNode(-1, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001));
    s.file.AddNode(room, MakeNode(MDL_NOGEOM, VectorPos(0, 0, -3), VectorXYZ(0, 0, 0), 0x8000));
    const int figure = s.file.AddNode(-1, IdNode(1, 0x200, VectorPos(0, 0, -20)));
    s.file.AddNode(figure, IdNode(3, 20, VectorPos(0, -0.6f, 0)));
    const int innocent = s.file.AddNode(-1, IdNode(2, 0x201, VectorPos(2, 0, -20)));
    s.file.AddNode(innocent, IdNode(3, 20, VectorPos(0, -0.6f, 0)));
    for (int k = 0; k < 3; k++) {
        auto t = ZeroRecord<TargetStatic_params>();
        t.wave = 1;
        t.delay = 2.0f;
        s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(float(k - 1) * 2.0f, 0.8f, 8.0f)), ENT_TARGETSTATIC, t);
    }
    const int path = s.AddSpline({VectorPos(-5, 0, 10), VectorPos(-2, 0, 10), VectorPos(2, 0, 10), VectorPos(5, 0, 10)});
    for (int k = 0; k < 2; k++) {
        auto t = ZeroRecord<TargetMoving_params>();
        t.wave = 2;
        t.speed = 1.0f + float(k);
        t.delay = 1.0f;
        const int r = s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, 10)), ENT_TARGETMOVING, t);
        s.SetSpline(r, offsetof(TargetMoving_params, move_path), path);
    }
    auto inno = ZeroRecord<TargetInnocent_params>();
    inno.wave = 1;
    inno.proximity = 8.0f;
    inno.delay = 1.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(-1.0f, 0.8f, 8.0f)), ENT_TARGETINNOCENT, inno);
    return s;
}

bool BuildMutantGroup(AnimGroupFiles& out, std::string& error)
{
    // The take-off springs forward (no blow in it): its speed is what
    // carries a leap on.
    constexpr int kClips = 13;
    Catalogue c(0, kClips);
    c.Blow(0, 24, false)
        .Blow(1, 24, true)
        .Gait(2, kMotionWalk, 0.02f, 24)
        .Loop(3, kMotionIdle, 40)
        .Loop(4, kMotionIdle, 40, {0.0f, 0.5f, false})
        .Once(5, kMotionGesture, 20)
        .Once(6, kMotionHit, 15)
        .Once(7, kMotionGesture, 30)
        .Once(8, kMotionLeap, 20, {}, {kMutantLeapSpeed, 1.0f, false})
        .Loop(9, kMotionIdle, 10)
        .Blow(10, 20, false)
        .Once(11, kMotionFall, 40);
    if (!BuildAnimGroup(c.Finish(), kClips, EnemyLook(), out, error)) {
        error = "MUTANT.ANI: " + error;
        return false;
    }
    return true;
}

std::vector<NamedSetup> SideGameSetups()
{
    return {{"Int/FRANGE24/FRANGE1.P2B", FiringRangeSetup()}};
}

}  // namespace tools
