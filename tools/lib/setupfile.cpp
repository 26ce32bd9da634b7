// Set-up file writer.
#include "tools/lib/setupfile.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/rooms.h"
#include "tools/lib/storysets.h"

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

// A model with no materials: only its bounds matter to the set-up.
P2BModel Bounds(float r)
{
    P2BModel m;
    m.sphere = Sphere(VectorPos(0.0f, 0.0f, 0.0f), r);
    m.boxextent = Vector(r, r, r, 0.0f);
    return m;
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

}  // namespace

// A volume of half-sizes h about c: the matrix mapping world points into the
// unit cube.
Extent Zone(VectorPos c, VectorXYZ h)
{
    Matrix m(true);
    m.x = Vector(1.0f / h[0], 0.0f, 0.0f, 0.0f);
    m.y = Vector(0.0f, 1.0f / h[1], 0.0f, 0.0f);
    m.z = Vector(0.0f, 0.0f, 1.0f / h[2], 0.0f);
    m.w = Vector(-c[0] / h[0], -c[1] / h[1], -c[2] / h[2], 1.0f);
    return Extent(m);
}

// A cube of half-size h about c.
Extent Volume(VectorPos c, float h)
{
    return Zone(c, VectorXYZ(h, h, h));
}

// A fixed camera at `mount` turned by `aim` that takes the view while the
// player stands in `zone` (a volume, half-sizes `half`), sliding towards
// what it looks at until it is `distance` away (both in level units, 3.2 to
// a game unit); with `bias` it keeps the character the player is locked on
// to in the picture with him.
void FixedCamera(SetupFile& s, VectorPos mount, VectorXYZ aim, VectorPos zone, VectorXYZ half, float dolly,
                 float distance, bool bias)
{
    const int fixed = s.AddPlaceholder(-1, 0, mount, aim);
    s.file.nodes[size_t(fixed)].ang[3] = 1.6f;
    auto c = ZeroRecord<FixedCamera_params>();
    c.trigger1 = Zone(zone, half);
    c.yaw_range = 60.0f;
    c.pitch_range = 30.0f;
    c.tracking = 1;
    c.dolly = dolly;
    c.distance = distance;
    c.target_bias = bias ? 1 : 0;
    s.AddRecord(fixed, ENT_FIXEDCAMERA, c);
}

// A camera zone that hands the view back to the player's own camera while
// he stands in it: on foot it follows him, in a fist fight it frames both
// fighters close up.
void PlayerCameraZone(SetupFile& s, VectorPos zone, VectorXYZ half)
{
    auto z = ZeroRecord<DaceCamTrigger_params>();
    z.trigger1 = Zone(zone, half);
    s.AddRecord(s.AddPlaceholder(-1, 0, zone), ENT_DACECAMTRIGGER, z);
}

namespace {

// The Red Lantern: a long bar room entered from the street at its front,
// the counter down its right side with the bottle shelves behind it and its
// stools before it, tables with stools down the left, a door at the back to
// the back rooms.  The fight has the middle of the floor.
RoomDesign BarRoom()
{
    RoomDesign d{.x0 = -2.5f,
                 .x1 = 2.5f,
                 .z0 = -3.4f,
                 .z1 = 2.6f,
                 .height = 1.0f,
                 .floor = Finish::kPlanks,
                 .wall = Finish::kWallpaper,
                 .band = Finish::kPanelling,
                 .ceiling = Finish::kPlaster,
                 .bandHeight = 0.3f,
                 .doors = {{0, 0.0f, 0.4f, 0.7f}, {2, -1.6f, 0.36f, 0.68f}},
                 .furniture = {},
                 .lights = {},
                 .entry = VectorPos(0.0f, 0.0f, -3.0f)};
    using F = Furniture;
    d.furniture.push_back({F::kCounter, VectorPos(1.75f, 0, 0.3f), kQuarterTurn, 3.2f});
    d.furniture.push_back({F::kShelf, VectorPos(2.42f, 0, 0.3f), kQuarterTurn, 3.0f, 0.0f, 0x1001});
    for (float z : {-1.0f, -0.4f, 0.2f, 0.8f, 1.4f})
        d.furniture.push_back({F::kStool, VectorPos(1.42f, 0, z)});
    for (float z : {-2.1f, -0.6f, 0.9f}) {
        d.furniture.push_back({F::kTable, VectorPos(-1.8f, 0, z)});
        d.furniture.push_back({F::kStool, VectorPos(-2.2f, 0, z + 0.05f)});
        d.furniture.push_back({F::kStool, VectorPos(-1.4f, 0, z - 0.05f)});
        d.furniture.push_back({F::kLamp, VectorPos(-1.8f, 0, z)});
    }
    for (float z : {-0.7f, 1.3f})
        d.furniture.push_back({F::kLamp, VectorPos(1.75f, 0, z)});
    // Warm: an ambient glow, a light from above, and the lamps over the
    // counter, the tables and the floor (colour bytes at half intensity: 256
    // is full light).  An interior is lit by its own lights alone, so these
    // carry the whole room.
    d.lights.push_back({ZEVLIGHT_AMB, Colour(120, 100, 84, 255), 0.5f, 0.0f, VectorPos(0, -0.9f, 0)});
    d.lights.push_back({ZEVLIGHT_DIR, Colour(100, 90, 80, 255), 0.5f, 0.0f, VectorPos(0, -0.9f, 0),
                        VectorXYZ(1.2f, 0.3f, 0)});
    d.lights.push_back({ZEVLIGHT_POS, Colour(160, 110, 60, 255), 0.5f, 2.0f, VectorPos(1.6f, -0.75f, 0.3f)});
    d.lights.push_back({ZEVLIGHT_POS, Colour(160, 115, 70, 255), 0.5f, 2.0f, VectorPos(-1.7f, -0.75f, -0.6f)});
    d.lights.push_back({ZEVLIGHT_POS, Colour(120, 100, 80, 255), 0.5f, 2.5f, VectorPos(0.0f, -0.85f, -0.3f)});
    return d;
}

SetupFile Bar()
{
    SetupFile s;
    const BuiltRoom room = AddRoom(s, BarRoom());
    // The stool nearest the fight can be knocked about.
    s.AddRecord(room.furniture[4], ENT_INTERACTIVEOBJECT,
                InteractiveObject_params{20, 0, 1, 300, 0, {}, 0, 12, 30, {}, 10.0f});

    // The third thug comes in by the back door.
    const int arrive = s.AddSpline({VectorPos(-1.6f, 0, 2.4f), VectorPos(-1.4f, 0, 1.9f), VectorPos(-1.0f, 0, 1.4f),
                                    VectorPos(-0.6f, 0, 1.0f)});
    // Three karate thugs in the bar's thug model (the first the step loads,
    // slot 49): two stand in the room from the start, the third comes in
    // along its path when they are down.
    const VectorPos at[3] = {VectorPos(0.9f, 0, 1.3f), VectorPos(-0.9f, 0, 1.5f), VectorPos(-1.6f, 0, 2.4f)};
    for (int k = 0; k < 3; k++) {
        const int gen = s.AddPlaceholder(-1, 0, at[k]);
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
    // The task's camera by the front door, looking down the room.
    const int task = s.AddPlaceholder(-1, 0, VectorPos(-2.1f, -0.8f, -3.1f), VectorXYZ(0.14f, 0.6f, 0));
    s.file.nodes[size_t(task)].ang[3] = 1.6f;
    s.AddRecord(task, ENT_TASKINITCAMERA, TaskInitCamera_params{0, 0, 0, {}, {-1}});
    // By the front door a camera high by the counter's end looks at the
    // door; the rest of the floor is the player's camera's.  The two zones
    // do not meet.
    FixedCamera(s, VectorPos(1.3f, -0.85f, -1.6f), VectorXYZ(0.35f, -2.5f, 0), VectorPos(0, 0, -2.95f),
                VectorXYZ(1.2f, 1.0f, 0.45f), 6.0f, 4.8f, false);
    PlayerCameraZone(s, VectorPos(0, 0, 0.1f), VectorXYZ(2.5f, 1.0f, 2.5f));
    return s;
}

// The spa: a tiled pool room entered at its front, the pool at its back
// between two pillars, lockers down the left wall and a bench down the
// right, doors at the back to the changing rooms.
RoomDesign SpaRoom()
{
    RoomDesign d{.x0 = -2.6f,
                 .x1 = 2.6f,
                 .z0 = -1.8f,
                 .z1 = 4.4f,
                 .height = 1.1f,
                 .floor = Finish::kFloorTiles,
                 .wall = Finish::kWallTiles,
                 .band = Finish::kMarble,
                 .ceiling = Finish::kPlaster,
                 .bandHeight = 0.25f,
                 .doors = {{0, 0.0f, 0.4f, 0.7f}, {2, -1.9f, 0.36f, 0.68f}, {2, 1.9f, 0.36f, 0.68f}},
                 .furniture = {},
                 .lights = {},
                 .entry = VectorPos(0.0f, 0.0f, -1.3f)};
    using F = Furniture;
    d.furniture.push_back({F::kPool, VectorPos(0, 0, 2.7f), 0.0f, 1.8f, 1.7f});
    d.furniture.push_back({F::kPillar, VectorPos(-1.2f, 0, 1.15f)});
    d.furniture.push_back({F::kPillar, VectorPos(1.2f, 0, 1.15f)});
    d.furniture.push_back({F::kLockers, VectorPos(-2.52f, 0, -0.5f), -kQuarterTurn, 1.6f});
    d.furniture.push_back({F::kBench, VectorPos(2.5f, 0, -0.5f), kQuarterTurn, 1.6f});
    d.furniture.push_back({F::kBench, VectorPos(0, 0, 4.3f), 0.0f, 1.6f});
    d.furniture.push_back({F::kLamp, VectorPos(0, 0, 2.7f)});
    // Cool and bright: an ambient fill, a light from above, a lamp over the
    // pool and a light over the entrance; the room's own lights are all it has.
    d.lights.push_back({ZEVLIGHT_AMB, Colour(124, 134, 144, 255), 0.5f, 0.0f, VectorPos(0, -1.0f, 1.3f)});
    d.lights.push_back({ZEVLIGHT_DIR, Colour(110, 116, 122, 255), 0.5f, 0.0f, VectorPos(0, -1.0f, 1.3f),
                        VectorXYZ(1.2f, 0.3f, 0)});
    d.lights.push_back({ZEVLIGHT_POS, Colour(90, 120, 140, 255), 0.5f, 2.5f, VectorPos(0, -0.85f, 2.7f)});
    d.lights.push_back({ZEVLIGHT_POS, Colour(110, 100, 90, 255), 0.5f, 2.5f, VectorPos(0, -1.0f, -0.5f)});
    return d;
}

SetupFile Spa()
{
    SetupFile s;
    AddRoom(s, SpaRoom());
    // Each gunman makes for the start of his side's path along the front of
    // the pool, between the pillar and the water, and keeps to it.
    int move[2];
    for (int side = 0; side < 2; side++) {
        const float x = side ? 1.0f : -1.0f;
        move[side] = s.AddSpline({VectorPos(0.6f * x, 0, 1.0f), VectorPos(0.8f * x, 0, 1.45f),
                                  VectorPos(1.1f * x, 0, 1.75f), VectorPos(1.5f * x, 0, 1.9f)});
    }
    // Four gunmen, two a wave: the first two come out from behind the
    // pillars, the second two in by the back doors.
    for (int k = 0; k < 4; k++) {
        const int gen = s.AddPlaceholder(-1, 0, k < 2 ? VectorPos(k % 2 ? 1.2f : -1.2f, 0, 1.5f)
                                                      : VectorPos(k % 2 ? 1.9f : -1.9f, 0, 3.9f));
        auto g = ZeroRecord<EnemyGenShooter_params>();
        g.character = 3;
        g.id = s16(-120 - k);
        g.weapon = 1;
        g.path_arrive.offset = -1;
        g.path_move.offset = -1;
        g.hostage_path.offset = -1;
        g.spawn_num = 1;
        g.trigger_init = Zone(VectorPos(0, 0, 1.3f), VectorXYZ(2.6f, 1.0f, 3.1f));
        g.init_strength = 50;
        g.init_wave = 1 + k / 2;
        const int r = s.AddRecord(gen, ENT_ENEMYGENSHOOTER, g);
        s.SetSpline(r, offsetof(EnemyGenShooter_params, path_move), move[k % 2]);
    }
    // Walking up to the pool brings the second wave.
    auto w = ZeroRecord<EnemyWaveTrigger_params>();
    w.trigger1 = Zone(VectorPos(0, 0, 1.6f), VectorXYZ(1.0f, 1.0f, 0.4f));
    w.wave = 2;
    w.delay = 2.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, 1.6f)), ENT_ENEMYWAVETRIGGER, w);
    // Cover for the player along the lockers (standing height) and along
    // the bench (crouching height, height 1), each line just in front of
    // them.
    for (int k = 0; k < 2; k++) {
        const float x = k ? 2.36f : -2.36f;
        const int wall = s.AddSpline({VectorPos(x, 0, -1.2f), VectorPos(x, 0, -0.7f), VectorPos(x, 0, -0.3f),
                                      VectorPos(x, 0, 0.2f)});
        const int r = s.AddRecord(s.AddPlaceholder(-1, 0), ENT_WALLSPLINE, WallSpline_params{{-1}, {0}, u8(k), {}});
        s.SetSpline(r, 0, wall);
    }
    // The places the gunmen take cover at beside the pillars: children of a
    // cover node (model word 0x8063), each placed relative to it at a
    // standing man's chest height; the nearer two are hidden from the
    // entrance by the pillars, the farther two are not.
    const int cover = s.file.AddNode(-1, MakeNode(kCoverNodeModel, VectorPos(0, -0.375f, 1.35f)));
    for (VectorPos p : {VectorPos(-1.4f, 0, 0), VectorPos(1.4f, 0, 0), VectorPos(-1.4f, 0, 0.85f), VectorPos(1.4f, 0, 0.85f)})
        s.file.AddNode(cover, MakeNode(MDL_NOGEOM, p));
    // The shoot-out's camera: high behind the player's spot, it looks over
    // his shoulder at the gunmen by the pillars, turning to keep him in the
    // picture.
    FixedCamera(s, VectorPos(0.2f, -0.75f, -1.1f), VectorXYZ(0.35f, -0.1f, 0), VectorPos(0, 0, 1.3f),
                VectorXYZ(2.6f, 1.0f, 3.1f), 0.0f, 0.0f, false);
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

std::vector<NamedRoom> SampleRooms()
{
    std::vector<NamedRoom> rooms = {{"Int/LEVEL2/BAR.P2B", BarRoom()}, {"Int/LEVEL3/SPPLRMG7.P2B", SpaRoom()}};
    for (NamedRoom& r : StoryRooms())
        rooms.push_back(std::move(r));
    return rooms;
}

std::vector<NamedSetup> SampleSetupFiles()
{
    std::vector<NamedSetup> setups = {{"Int/LEVEL2/BAR.P2B", Bar()},
                                      {"Int/LEVEL3/SPPLRMG7.P2B", Spa()},
                                      {"Int/INTERIOR.P2B", BareRoom()},
                                      {"Int/DRV24/TESTDRV.P2B", DrivingCourse()},
                                      {"Misc/POO.P2B", TestProp()}};
    for (NamedSetup& n : StorySetups())
        setups.push_back(std::move(n));
    for (NamedSetup& n : StoryCourses())
        setups.push_back(std::move(n));
    return setups;
}

}  // namespace tools
