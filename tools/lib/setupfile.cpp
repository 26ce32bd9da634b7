// Set-up file writer.
#include "tools/lib/setupfile.h"
#include "tools/lib/p2b_sample.h"

#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/EntParams.h"

namespace tools {

int SetupFile::AddSpline(const std::vector<VectorPos>& points)
{
    splines.push_back(points);
    return int(splines.size()) - 1;
}

int SetupFile::AddPlaceholder(int parent, u16 kind, VectorPos pos, VectorXYZ ang)
{
    return file.AddNode(parent, MakeNode(MDL_NOGEOM, pos, ang, kind));
}

namespace {

size_t Align16(size_t n)
{
    return (n + 15) & ~size_t(15);
}

}  // namespace

bool WriteSetup(const SetupFile& setup, std::vector<u8>& out, std::string& error)
{
    // The records and splines go after the model data; the nodes' offsets
    // do not change its size.
    P2BFile file = setup.file;
    std::vector<u8> plain;
    if (!WriteP2B(file, plain, error))
        return false;
    size_t at = Align16(plain.size());
    std::vector<size_t> recAt, splAt;
    for (const SetupFile::Record& r : setup.records) {
        if (r.node < 0 || size_t(r.node) >= file.nodes.size()) {
            error = "a record for node " + std::to_string(r.node) + ", which the file does not have";
            return false;
        }
        file.nodes[size_t(r.node)].extra = r.kind;
        file.nodes[size_t(r.node)].extra2 = u32(at);
        recAt.push_back(at);
        at = Align16(at + r.bytes.size());
    }
    for (const std::vector<VectorPos>& s : setup.splines) {
        if (s.empty()) {
            error = "a spline of no points";
            return false;
        }
        splAt.push_back(at);
        at += s.size() * sizeof(Vector);
    }
    if (!WriteP2B(file, out, error))
        return false;
    out.resize(at, 0);
    for (size_t i = 0; i < setup.records.size(); i++) {
        const SetupFile::Record& r = setup.records[i];
        std::vector<u8> bytes = r.bytes;
        for (const auto& [where, n] : r.splineRefs) {
            if (where < 0 || size_t(where) + 4 > bytes.size() || n < 0 || size_t(n) >= splAt.size()) {
                error = "record " + std::to_string(i) + " names spline " + std::to_string(n) + " at byte " +
                        std::to_string(where) + ", outside the record or the splines";
                return false;
            }
            const s32 off = s32(splAt[size_t(n)]);
            std::memcpy(bytes.data() + where, &off, 4);
        }
        std::memcpy(out.data() + recAt[i], bytes.data(), bytes.size());
    }
    for (size_t n = 0; n < setup.splines.size(); n++) {
        const std::vector<VectorPos>& s = setup.splines[n];
        for (size_t k = 0; k < s.size(); k++) {
            float v[4] = {s[k][0], s[k][1], s[k][2], 1.0f};
            if (k == 0) {
                const s32 count = s32(s.size());
                std::memcpy(&v[3], &count, 4);
            }
            std::memcpy(out.data() + splAt[n] + k * sizeof(Vector), v, sizeof v);
        }
    }
    return true;
}

}  // namespace tools

// ---------------------------------------------------------------------------
// The sample disc's set-ups

namespace tools {

namespace {

// The model word of the node whose children are the placed cover points.
constexpr u16 kCoverNodeModel = 0x8063;

// A model with no materials: only its bounds matter to the set-up.
P2BModel Bounds(float r)
{
    P2BModel m;
    m.sphere = Sphere(VectorPos(0.0f, 0.0f, 0.0f), r);
    m.boxextent = Vector(r, r, r, 0.0f);
    return m;
}

// A volume of half-size h about c: the matrix mapping world points into the
// unit cube.
Extent Volume(VectorPos c, float h)
{
    Matrix m(true);
    m.x = Vector(1.0f / h, 0.0f, 0.0f, 0.0f);
    m.y = Vector(0.0f, 1.0f / h, 0.0f, 0.0f);
    m.z = Vector(0.0f, 0.0f, 1.0f / h, 0.0f);
    m.w = Vector(-c[0] / h, -c[1] / h, -c[2] / h, 1.0f);
    return Extent(m);
}

// A room: main object (model 0) with an entry point 3 in front of its
// centre; its index.
int Room(SetupFile& s, float size)
{
    s.file.models.push_back(Bounds(size));
    const int room = s.file.AddNode(-1, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001));
    s.file.AddNode(room, MakeNode(MDL_NOGEOM, VectorPos(0, 0, -3), VectorXYZ(0, 0, 0), 0x8000));
    return room;
}

FixedCamera_params FixedCamera(VectorPos zone)
{
    auto c = ZeroRecord<FixedCamera_params>();
    c.trigger1 = Volume(zone, 4.0f);
    c.yaw_range = 60.0f;
    c.pitch_range = 30.0f;
    c.tracking = 1;
    return c;
}

SetupFile Bar()
{
    SetupFile s;
    const int room = Room(s, 8.0f);
    s.file.models.push_back(Bounds(0.5f));
    // A stool that can be knocked about and a bottle shelf that breaks.
    const int stool = s.file.AddNode(room, MakeNode(1, VectorPos(2, 0, 1)));
    s.AddRecord(stool, ENT_INTERACTIVEOBJECT, InteractiveObject_params{20, 0, 1, 300, 0, {}, 0, 12, 30, {}, 10.0f});
    const int shelf = s.file.AddNode(room, MakeNode(1, VectorPos(-3, -1, 4), VectorXYZ(0, 0, 0), 0x1001));
    s.file.AddNode(shelf, MakeNode(0xF000));
    NODE light;
    std::string error;
    MakeLightNode(0, Colour(60, 50, 40, 255), 128.0f, 10.0f, 1.0f, VectorPos(0, -3, 0), VectorXYZ(0, 0, 0), light,
                  error);
    s.file.AddNode(room, light);
    MakeLightNode(1, Colour(255, 230, 200, 255), 128.0f, 10.0f, 1.0f, VectorPos(0, -3, 0),
                  VectorXYZ(1.2f, 0.3f, 0), light, error);
    s.file.AddNode(room, light);

    const int arrive = s.AddSpline({VectorPos(6, 0, 6), VectorPos(5, 0, 5), VectorPos(4, 0, 4), VectorPos(3, 0, 3)});
    // Three karate thugs in the bar's thug model (the first the step loads,
    // slot 49): two stand in the room from the start, the third comes in
    // along its path when they are down.
    for (int k = 0; k < 3; k++) {
        const int gen = s.AddPlaceholder(-1, 0, VectorPos(k == 2 ? 0.0f : k ? -5.0f : 5.0f, 0, k == 2 ? 7.0f : 5.0f));
        auto f = ZeroRecord<EnemyGenFighter_params>();
        f.character = 0;
        f.style = 1;
        f.init_wave = u8(k == 2 ? 2 : 1);
        f.spawn_num = 2;
        f.first_init = u8(k == 2 ? 0 : 1);
        f.init_strength = 10;
        f.badass = 0.5f;
        f.vo_bank = 255;   // the sample disc holds no voice sets for them
        f.id = s16(-110 - k);
        f.path_arrive.offset = -1;
        const int r = s.AddRecord(gen, ENT_ENEMYGENFIGHTER, f);
        if (k == 2)
            s.SetSpline(r, offsetof(EnemyGenFighter_params, path_arrive), arrive);
    }
    // One foe active at a time; each death brings one more into the ring.
    s.AddRecord(s.AddPlaceholder(-1, 0), ENT_CONTROLLERCOMBAT, ControllerCombat_params{2, 1, 0, 1});
    const int task = s.AddPlaceholder(-1, 0, VectorPos(0, -1.5f, -6));
    s.file.nodes[size_t(task)].ang[3] = 1.6f;
    s.AddRecord(task, ENT_TASKINITCAMERA, TaskInitCamera_params{0, 0, 0, {}, {-1}});
    const int fixed = s.AddPlaceholder(-1, 0, VectorPos(6, -2.5f, -6), VectorXYZ(0.3f, -0.7f, 0));
    s.file.nodes[size_t(fixed)].ang[3] = 1.4f;
    s.AddRecord(fixed, ENT_FIXEDCAMERA, FixedCamera(VectorPos(0, 0, 0)));
    return s;
}

SetupFile Spa()
{
    SetupFile s;
    const int room = Room(s, 10.0f);
    const int move = s.AddSpline({VectorPos(-4, 0, 8), VectorPos(-4, 0, 6), VectorPos(-4, 0, 4), VectorPos(-4, 0, 2)});
    // Four gunmen, two a wave.
    for (int k = 0; k < 4; k++) {
        const int gen = s.AddPlaceholder(-1, 0, VectorPos(k % 2 ? 6.0f : -6.0f, 0, k < 2 ? 8.0f : 4.0f));
        auto g = ZeroRecord<EnemyGenShooter_params>();
        g.character = 3;
        g.id = s16(-120 - k);
        g.weapon = 1;
        g.path_arrive.offset = -1;
        g.path_move.offset = -1;
        g.hostage_path.offset = -1;
        g.spawn_num = 1;
        g.trigger_init = Volume(VectorPos(0, 0, 2), 3.0f);
        g.init_strength = 50;
        g.init_wave = 1 + k / 2;
        const int r = s.AddRecord(gen, ENT_ENEMYGENSHOOTER, g);
        s.SetSpline(r, offsetof(EnemyGenShooter_params, path_move), move);
    }
    auto w = ZeroRecord<EnemyWaveTrigger_params>();
    w.trigger1 = Volume(VectorPos(0, 0, 5), 2.0f);
    w.wave = 2;
    w.delay = 2.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, 5)), ENT_ENEMYWAVETRIGGER, w);
    for (int k = 0; k < 2; k++) {
        const float x = k ? 3.0f : -3.0f;
        const int wall = s.AddSpline({VectorPos(x, 0, 0), VectorPos(x, 0, 1), VectorPos(x, 0, 2), VectorPos(x, 0, 3)});
        const int r = s.AddRecord(s.AddPlaceholder(-1, 0), ENT_WALLSPLINE, WallSpline_params{{-1}, {0}, u8(k), {}});
        s.SetSpline(r, 0, wall);
    }
    // Two pillars, solid to rays and bodies, and the places the gunmen take
    // cover at beside them: children of a cover node (model word 0x8063),
    // each placed relative to it at a standing man's chest height.
    s.file.models.push_back(Bounds(0.3f));
    CollisionChain pillar;
    pillar.Box(MakeCollisionID(1, 0), Cuboid(VectorPos(-0.25f, -2.5f, -0.25f), VectorPos(0.25f, 0.0f, 0.25f)));
    s.file.collisions.push_back(pillar);
    for (float x : {-3.0f, 3.0f}) {
        NODE n = MakeNode(u16(s.file.models.size() - 1), VectorPos(x, 0, 3.4f));
        n.collision = u16(s.file.collisions.size() - 1);
        s.file.AddNode(room, n);
    }
    const int cover = s.file.AddNode(-1, MakeNode(kCoverNodeModel, VectorPos(0, -0.375f, 4)));
    for (VectorPos p : {VectorPos(-3.5f, 0, 0), VectorPos(3.5f, 0, 0), VectorPos(-3.5f, 0, 2), VectorPos(3.5f, 0, 2)})
        s.file.AddNode(cover, MakeNode(MDL_NOGEOM, p));
    const int fixed = s.AddPlaceholder(-1, 0, VectorPos(0, -3, -8));
    s.file.nodes[size_t(fixed)].ang[3] = 1.5f;
    s.AddRecord(fixed, ENT_FIXEDCAMERA, FixedCamera(VectorPos(0, 0, 0)));
    return s;
}

// A wall piece seen and solid to bullets and bodies: a box of half sizes h
// standing on the floor with its middle at (x, z).
void WallPiece(SetupFile& s, int room, float x, float z, VectorXYZ h, Colour c)
{
    s.file.models.push_back(BoxModel(h[0], h[1], h[2], TEXID_NONE, false, c));
    CollisionChain box;
    box.Box(MakeCollisionID(1, 0), Cuboid(VectorPos(-h[0], -h[1], -h[2]), VectorPos(h[0], h[1], h[2])));
    s.file.collisions.push_back(box);
    NODE n = MakeNode(u16(s.file.models.size() - 1), VectorPos(x, -h[1], z));
    n.collision = u16(s.file.collisions.size() - 1);
    s.file.AddNode(room, n);
}

SetupFile BareRoom()
{
    SetupFile s;
    const int room = Room(s, 6.0f);
    // A doorway that ends the task, a camera zone by the far wall and a
    // guard who patrols nothing and wakes when the player comes near.
    auto mode = ZeroRecord<DaceModeTrigger_params>();
    mode.trigger1 = Volume(VectorPos(0, 0, -5), 1.0f);
    mode.teleport_to.index = -1;
    mode.task_exit = 1;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, -5)), ENT_DACEMODETRIGGER, mode);
    auto cam = ZeroRecord<DaceCamTrigger_params>();
    cam.trigger1 = Volume(VectorPos(0, 0, 4), 2.0f);
    cam.cammode = 1;
    cam.distance = 3.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, 4)), ENT_DACECAMTRIGGER, cam);
    auto guard = ZeroRecord<EnemyGenGuard_params>();
    guard.character = 3;
    guard.id = -130;
    guard.gun = 1;
    guard.move_path.offset = -1;
    guard.init_distance = 16.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(3, 0, 3)), ENT_ENEMYGENGUARD, guard);
    // Cover along two walls: a standing-height one on the left, a
    // crouching-height one on the right (height 1).
    // Each runs so that its open side faces the middle of the room, the
    // wall itself just behind its line; a third wall across the far end
    // takes the shots fired down the room.
    // The standing-height wall reaches back past the entry, so that a
    // player walking in and turning left faces it.
    // The walls are thick: a body's spheres reach out ahead of it (arms
    // held out with the guns, a foot in its stride), and one that passed a
    // thin wall's middle would be pushed on through it.
    constexpr float thick = 0.25f;   // half the thickness
    for (int k = 0; k < 2; k++) {
        const float x = k ? 2.5f : -2.5f, z0 = k ? 2.0f : -4.0f, dz = k ? -1.0f : 1.0f;
        std::vector<VectorPos> points;
        for (int i = 0; i < (k ? 4 : 7); i++)
            points.push_back(VectorPos(x, 0, z0 + float(i) * dz));
        const int wall = s.AddSpline(points);
        const int r = s.AddRecord(s.AddPlaceholder(-1, 0), ENT_WALLSPLINE, WallSpline_params{{-1}, {-1}, u8(k), {}});
        s.SetSpline(r, 0, wall);
        const float h = k ? 0.15f : 0.4f, l = k ? 1.5f : 3.0f;
        WallPiece(s, room, x + (k ? thick : -thick), k ? 0.5f : -1.0f, VectorXYZ(thick, h, l),
                  Colour(150, 130, 100, 128));
    }
    WallPiece(s, room, 0.0f, 6.0f + thick, VectorXYZ(6.0f, 0.6f, thick), Colour(120, 120, 130, 128));
    return s;
}

SetupFile DrivingCourse()
{
    SetupFile s;
    s.file.models.push_back(Bounds(40.0f));
    s.file.AddNode(-1, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001));
    s.AddRecord(s.AddPlaceholder(-1, 0), ENT_TIMEOFDAY, TimeOfDay_params{12, 0});
    return s;
}

// The test prop: a crate standing on its origin's ground, solid to bodies,
// whose explosion record leaves nothing of it.
SetupFile TestProp()
{
    constexpr float h = 0.2f;
    SetupFile s;
    s.file.models.push_back(BoxModel(h, h, h, TEXID_NONE, false, Colour(170, 120, 60, 128)));
    CollisionChain box;
    box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-h, -h, -h), VectorPos(h, h, h)));
    s.file.collisions.push_back(box);
    NODE crate = MakeNode(0, VectorPos(0, -h, 0));
    crate.collision = 0;
    const int root = s.file.AddNode(-1, crate);
    s.file.AddNode(root, MakeNode(0xF000 | MDL_NOGEOM));
    return s;
}

}  // namespace

std::vector<NamedSetup> SampleSetupFiles()
{
    return {{"Int/LEVEL2/BAR.P2B", Bar()},
            {"Int/LEVEL3/SPPLRMG7.P2B", Spa()},
            {"Int/INTERIOR.P2B", BareRoom()},
            {"Int/DRV24/TESTDRV.P2B", DrivingCourse()},
            {"Misc/POO.P2B", TestProp()}};
}

}  // namespace tools
