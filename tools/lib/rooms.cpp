// Room generator.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tools/lib/rooms.h"

#include "tools/lib/humanoid.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/texconv.h"

namespace tools {

namespace {

using Rgb = std::array<u8, 3>;

// Collision of static scenery: solid to whatever listens for it.
const u16 kSolid = MakeCollisionID(1, 0);
// A breakable prop's damaged form is named by a node of this kind under it.
constexpr u16 kDamagedRecord = 0xF000;
// The walls' collision boxes are this thick, so that a body's spheres,
// which reach out ahead of it, never get past a wall's middle.
constexpr float kWallThickness = 0.5f;
// A door's leaf stands this far back from its wall's face.
constexpr float kDoorRecess = 0.05f;

Rgb Mix(Rgb a, Rgb b, int k, int n)
{
    Rgb c;
    for (int i = 0; i < 3; i++)
        c[size_t(i)] = u8((a[size_t(i)] * (n - k) + b[size_t(i)] * k) / n);
    return c;
}

Rgb Shade(Rgb a, int delta)
{
    Rgb c;
    for (int i = 0; i < 3; i++)
        c[size_t(i)] = u8(std::clamp(int(a[size_t(i)]) + delta, 0, 255));
    return c;
}

// A finish's picture and the floor or wall one copy covers (u across, v
// down); a size of 0 stretches one copy over the face.
struct FinishLook
{
    float tileU, tileV;
    TextureImage (*paint)();
};

TextureImage Planks()
{
    // Four boards across, their ends staggered, with a little grain.
    return RuleTexture(32, 32, [](int x, int y) {
        const int board = x / 8;
        const bool seam = x % 8 == 0 || (y + board * 11) % 32 == 0;
        const Rgb wood = board % 2 ? Rgb{132, 88, 52} : Rgb{120, 80, 46};
        return seam ? Rgb{60, 38, 22} : Shade(wood, 6 * Speckle(x / 2, y, 3) - 6 + ((x + 3 * y / 8) % 5 == 0 ? -10 : 0));
    });
}

TextureImage Wallpaper()
{
    // Deep green stripes with a thin gold line between them.
    return RuleTexture(32, 32, [](int x, int y) {
        if (x % 16 == 0)
            return Rgb{170, 140, 70};
        const Rgb stripe = (x / 8) % 2 ? Rgb{40, 78, 58} : Rgb{34, 66, 50};
        const bool motif = x % 16 == 8 && y % 16 >= 6 && y % 16 <= 9;
        return motif ? Rgb{70, 110, 80} : Shade(stripe, 3 * Speckle(x, y, 3));
    });
}

TextureImage Panelling()
{
    // Two raised panels in their frames, a rail along the top.
    return RuleTexture(32, 32, [](int x, int y) {
        const Rgb wood{88, 52, 30};
        if (y < 3)
            return y == 2 ? Shade(wood, -35) : Shade(wood, 20);
        const int px = x % 16;
        if (px < 2 || px > 13 || y < 6 || y > 28)
            return Shade(wood, -12 + 4 * Speckle(x, y, 2));
        if (px == 2 || y == 6)
            return Shade(wood, 25);
        if (px == 13 || y == 28)
            return Shade(wood, -35);
        return Shade(wood, 4 * Speckle(x / 2, y, 3));
    });
}

TextureImage Plaster()
{
    return RuleTexture(32, 32, [](int x, int y) { return Shade(Rgb{214, 206, 190}, -5 * Speckle(x, y, 4)); });
}

TextureImage DarkWood()
{
    return RuleTexture(32, 32, [](int x, int y) {
        const bool grain = (y + (x / 6) % 3) % 7 == 0;
        return Shade(Rgb{78, 44, 26}, (grain ? -14 : 0) + 5 * Speckle(x, y / 2, 3));
    });
}

TextureImage CounterTop()
{
    return RuleTexture(32, 32, [](int x, int y) {
        const bool grain = (x + (y / 5) % 4) % 9 == 0;
        return Shade(Rgb{150, 96, 50}, (grain ? -16 : 0) + 4 * Speckle(x / 2, y, 4));
    });
}

TextureImage Bottles()
{
    // Two shelves of bottles, each bottle a body and a neck, in three
    // colours, against a dark back; a board under each row.
    static const Rgb kGlass[4] = {{40, 120, 50}, {130, 70, 30}, {190, 200, 190}, {150, 40, 40}};
    return RuleTexture(32, 32, [](int x, int y) {
        const int row = y / 16, ry = y % 16;
        if (ry >= 14)
            return Rgb{110, 70, 40};
        const int slot = (x + row * 2) / 4, sx = (x + row * 2) % 4;
        const Rgb glass = kGlass[size_t((slot * 3 + row) % 4)];
        const bool body = ry >= 6 && sx >= 1 && sx <= 3;
        const bool neck = ry >= 2 && ry < 6 && sx == 2;
        if (body || neck)
            return Shade(glass, sx == 1 ? 40 : 0);
        return Rgb{30, 22, 18};
    });
}

TextureImage Door()
{
    // Four panels, a brass handle on the right at waist height.
    return RuleTexture(32, 64, [](int x, int y) {
        const Rgb wood{96, 58, 32};
        if (x >= 24 && x <= 26 && y >= 34 && y <= 36)
            return Rgb{210, 170, 70};
        const bool inPanel = x >= 5 && x <= 26 && ((y >= 5 && y <= 28) || (y >= 38 && y <= 59)) && (x <= 14 || x >= 17);
        if (!inPanel)
            return Shade(wood, 4 * Speckle(x, y / 3, 3));
        const bool lit = x == 5 || x == 17 || y == 5 || y == 38;
        const bool dark = x == 14 || x == 26 || y == 28 || y == 59;
        return Shade(wood, lit ? 22 : dark ? -30 : -8);
    });
}

TextureImage FloorTiles()
{
    return RuleTexture(32, 32, [](int x, int y) {
        if (x % 8 == 0 || y % 8 == 0)
            return Rgb{96, 102, 106};
        const bool blue = (x / 8 + y / 8) % 2 == 1;
        return Shade(blue ? Rgb{110, 135, 150} : Rgb{145, 148, 146}, -3 * Speckle(x, y, 3));
    });
}

TextureImage WallTiles()
{
    return RuleTexture(32, 32, [](int x, int y) {
        if (x % 8 == 0 || y % 8 == 0)
            return Rgb{150, 165, 160};
        return Shade(Rgb{60, 140, 130}, 10 * Speckle(x / 8, y / 8, 3) - 10 + 2 * Speckle(x, y, 2));
    });
}

TextureImage Water()
{
    // Blue with the bright wavering lines light makes on a pool.
    return RuleTexture(32, 32, [](int x, int y) {
        const int w = (x + int(3.0f * std::sin(float(y) * 0.8f))) % 16;
        const int v = (y + int(3.0f * std::sin(float(x) * 0.6f))) % 16;
        if (w == 0 || v == 0)
            return Rgb{150, 210, 235};
        return Mix(Rgb{30, 110, 170}, Rgb{50, 140, 190}, Speckle(x / 3, y / 3, 3), 2);
    });
}

TextureImage Slats()
{
    return RuleTexture(32, 32, [](int x, int y) {
        if (y % 8 == 7)
            return Rgb{70, 50, 30};
        return Shade(Rgb{190, 150, 100}, 5 * Speckle(x / 3, y, 3) - 5);
    });
}

TextureImage Locker()
{
    // A painted door: vents at the top, a handle, a dark seam round it.
    return RuleTexture(32, 64, [](int x, int y) {
        if (x == 0 || x == 31 || y == 0 || y == 63)
            return Rgb{40, 45, 55};
        if (x >= 8 && x <= 23 && y >= 6 && y <= 20 && y % 3 == 0)
            return Rgb{50, 58, 70};
        if (x >= 24 && x <= 26 && y >= 28 && y <= 36)
            return Rgb{190, 190, 195};
        return Shade(Rgb{110, 130, 160}, 3 * Speckle(x, y, 3));
    });
}

TextureImage Marble()
{
    return RuleTexture(32, 32, [](int x, int y) {
        const int vein = (x * 3 + y * 2 + 4 * Speckle(x / 8, y / 8, 3)) % 23;
        return Shade(Rgb{225, 220, 212}, vein == 0 ? -40 : vein == 1 ? -20 : -4 * Speckle(x, y, 3));
    });
}

// In Finish order.
const FinishLook kLooks[kFinishes] = {
    {0.25f, 0.25f, Planks},    {0.3f, 0.3f, Wallpaper}, {0.3f, 0.3f, Panelling},  {0.5f, 0.5f, Plaster},
    {0.25f, 0.25f, DarkWood},  {0.25f, 0.25f, CounterTop}, {0.25f, 0.25f, Bottles}, {0.0f, 0.0f, Door},
    {0.25f, 0.25f, FloorTiles}, {0.3f, 0.3f, WallTiles}, {0.5f, 0.5f, Water},    {0.2f, 0.2f, Slats},
    {0.0f, 0.0f, Locker},      {0.3f, 0.3f, Marble},
};

// The faces of one model, gathered by finish; its bounds.
struct Faces
{
    std::vector<TexQuad> by[kFinishes];
    VectorPos lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};

    void Add(Finish f, const TexQuad& q)
    {
        by[int(f)].push_back(q);
        for (const VectorPos& c : q.corner)
            for (int k = 0; k < 3; k++) {
                lo[k] = std::min(lo[k], c[k]);
                hi[k] = std::max(hi[k], c[k]);
            }
    }

    // A rectangle spanned from `origin` by `a` and `b`, seen from the side
    // `normal` points to; its texture coordinates run from (u0, v0) at the
    // origin to (u1, v1) at the far corner.
    void Rect(Finish f, VectorPos origin, VectorDir a, VectorDir b, VectorDir normal, float u0, float v0, float u1,
              float v1)
    {
        TexQuad q;
        q.corner[0] = origin;
        q.corner[1] = origin + a;
        q.corner[2] = origin + a + b;
        q.corner[3] = origin + b;
        q.u[0] = q.u[3] = u0;
        q.u[1] = q.u[2] = u1;
        q.v[0] = q.v[1] = v0;
        q.v[2] = q.v[3] = v1;
        q.normal = normal;
        Add(f, q);
    }

    // An axis-aligned block from lo to hi: its four sides in `side`, its
    // top in `top`, no bottom (it stands on something).  Textures tile at
    // their own size from the block's top and left edges; a finish of one
    // picture to a face covers each side whole.
    void Block(VectorPos b0, VectorPos b1, Finish side, Finish top)
    {
        const FinishLook& ls = kLooks[int(side)];
        const FinishLook& lt = kLooks[int(top)];
        const float sx = b1[0] - b0[0], sy = b1[1] - b0[1], sz = b1[2] - b0[2];
        auto span = [](const FinishLook& l, float w, float h, float* u1, float* v1) {
            *u1 = l.tileU > 0.0f ? w / l.tileU : 1.0f;
            *v1 = l.tileV > 0.0f ? h / l.tileV : 1.0f;
        };
        float u1, v1;
        // Top (y = b0.y, seen from above).
        span(lt, sx, sz, &u1, &v1);
        Rect(top, b0, VectorDir(sx, 0, 0), VectorDir(0, 0, sz), VectorDir(0, -1, 0), 0, 0, u1, v1);
        // Front (-z) and back (+z), left (-x) and right (+x), each from its
        // top edge down.
        span(ls, sx, sy, &u1, &v1);
        Rect(side, b0, VectorDir(sx, 0, 0), VectorDir(0, sy, 0), VectorDir(0, 0, -1), 0, 0, u1, v1);
        Rect(side, VectorPos(b1[0], b0[1], b1[2]), VectorDir(-sx, 0, 0), VectorDir(0, sy, 0), VectorDir(0, 0, 1), 0, 0,
             u1, v1);
        span(ls, sz, sy, &u1, &v1);
        Rect(side, VectorPos(b0[0], b0[1], b1[2]), VectorDir(0, 0, -sz), VectorDir(0, sy, 0), VectorDir(-1, 0, 0), 0,
             0, u1, v1);
        Rect(side, VectorPos(b1[0], b0[1], b0[2]), VectorDir(0, 0, sz), VectorDir(0, sy, 0), VectorDir(1, 0, 0), 0, 0,
             u1, v1);
    }
};

// The file's textures for the finishes, each added on first use.
struct TextureTable
{
    P2BFile& file;
    int index[kFinishes];

    explicit TextureTable(P2BFile& f) : file(f) { std::fill(std::begin(index), std::end(index), -1); }

    u16 Of(Finish f)
    {
        int& i = index[int(f)];
        if (i < 0) {
            P2BTexture t;
            t.texture = kLooks[int(f)].paint();
            file.textures.push_back(t);
            i = int(file.textures.size()) - 1;
        }
        return u16(i);
    }
};

// The model of the faces: lit, one material to a finish; its bounds a
// sphere and a box about their middle.
P2BModel ModelOf(const Faces& faces, TextureTable& textures)
{
    P2BModel m;
    m.flags = MDL_LIT;
    const VectorPos mid = (faces.lo + faces.hi) * 0.5f;
    const VectorDir half = (faces.hi - faces.lo) * 0.5f;
    m.sphere = Sphere(mid[0], mid[1], mid[2], Length(half));
    m.boxextent = Vector(half[0], half[1], half[2], 0.0f);
    for (int f = 0; f < kFinishes; f++)
        if (!faces.by[f].empty())
            m.opaque.push_back(QuadMaterial(faces.by[f], textures.Of(Finish(f)), true, Colour(128, 128, 128, 128), true));
    return m;
}

// Cuts of [a, b] at the given points inside it and every `step`.
std::vector<float> Cuts(float a, float b, float step, std::vector<float> at)
{
    for (float s = a + step; s < b - 0.01f; s += step)
        at.push_back(s);
    at.push_back(a);
    at.push_back(b);
    std::vector<float> out;
    for (float v : at)
        if (v >= a && v <= b)
            out.push_back(v);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end(), [](float p, float q) { return q - p < 0.005f; }), out.end());
    return out;
}

// Wall w of the room: where a point `along` it and `up` above the floor
// lies, its inward normal and the direction `along` grows.
struct Wall
{
    float a0, a1;   // its span
    VectorPos (*at)(const RoomDesign&, float along, float up);
    VectorDir inward, alongDir;
};

Wall WallOf(const RoomDesign& d, int w)
{
    switch (w) {
    case 0:
        return {d.x0, d.x1, [](const RoomDesign& r, float a, float up) { return VectorPos(a, -up, r.z0); },
                VectorDir(0, 0, 1), VectorDir(1, 0, 0)};
    case 1:
        return {d.z0, d.z1, [](const RoomDesign& r, float a, float up) { return VectorPos(r.x1, -up, a); },
                VectorDir(-1, 0, 0), VectorDir(0, 0, 1)};
    case 2:
        return {d.x0, d.x1, [](const RoomDesign& r, float a, float up) { return VectorPos(a, -up, r.z1); },
                VectorDir(0, 0, -1), VectorDir(1, 0, 0)};
    default:
        return {d.z0, d.z1, [](const RoomDesign& r, float a, float up) { return VectorPos(r.x0, -up, a); },
                VectorDir(1, 0, 0), VectorDir(0, 0, 1)};
    }
}

// Floor, ceiling, walls and doors.  Large faces are cut into cells about a
// unit wide, so that the lights, which shade the corners, fall across them.
void Shell(const RoomDesign& d, Faces& faces)
{
    const FinishLook& fl = kLooks[int(d.floor)];
    const FinishLook& cl = kLooks[int(d.ceiling)];
    const std::vector<float> xs = Cuts(d.x0, d.x1, 1.0f, {}), zs = Cuts(d.z0, d.z1, 1.0f, {});
    for (size_t i = 0; i + 1 < xs.size(); i++)
        for (size_t k = 0; k + 1 < zs.size(); k++) {
            const VectorDir a(xs[i + 1] - xs[i], 0, 0), b(0, 0, zs[k + 1] - zs[k]);
            faces.Rect(d.floor, VectorPos(xs[i], 0, zs[k]), a, b, VectorDir(0, -1, 0), xs[i] / fl.tileU,
                       zs[k] / fl.tileV, xs[i + 1] / fl.tileU, zs[k + 1] / fl.tileV);
            faces.Rect(d.ceiling, VectorPos(xs[i], -d.height, zs[k]), a, b, VectorDir(0, 1, 0), xs[i] / cl.tileU,
                       zs[k] / cl.tileV, xs[i + 1] / cl.tileU, zs[k + 1] / cl.tileV);
        }
    for (int w = 0; w < 4; w++) {
        const Wall wall = WallOf(d, w);
        std::vector<float> along, up = {d.bandHeight};
        for (const RoomDoor& door : d.doors)
            if (door.wall == w) {
                along.push_back(door.along - door.width * 0.5f);
                along.push_back(door.along + door.width * 0.5f);
                up.push_back(door.height);
            }
        const std::vector<float> as = Cuts(wall.a0, wall.a1, 1.0f, along), hs = Cuts(0.0f, d.height, 0.5f, up);
        for (size_t i = 0; i + 1 < as.size(); i++)
            for (size_t k = 0; k + 1 < hs.size(); k++) {
                const float am = (as[i] + as[i + 1]) * 0.5f, hm = (hs[k] + hs[k + 1]) * 0.5f;
                bool open = false;
                for (const RoomDoor& door : d.doors)
                    open |= door.wall == w && std::fabs(am - door.along) < door.width * 0.5f && hm < door.height;
                if (open)
                    continue;
                // The band's picture hangs from the band's top, the wall's
                // from the ceiling.
                const bool band = hm < d.bandHeight;
                const Finish f = band ? d.band : d.wall;
                const FinishLook& l = kLooks[int(f)];
                const float top = band ? d.bandHeight : d.height;
                faces.Rect(f, wall.at(d, as[i], hs[k + 1]), wall.alongDir * (as[i + 1] - as[i]),
                           VectorDir(0, hs[k + 1] - hs[k], 0), wall.inward, as[i] / l.tileU,
                           (top - hs[k + 1]) / l.tileV, as[i + 1] / l.tileU, (top - hs[k]) / l.tileV);
            }
        // Each door: its leaf set back in the opening, the opening's sides
        // and head in dark wood.
        for (const RoomDoor& door : d.doors) {
            if (door.wall != w)
                continue;
            const float l = door.along - door.width * 0.5f, r = door.along + door.width * 0.5f;
            const VectorDir back = wall.inward * -kDoorRecess;
            const VectorDir across = wall.alongDir * door.width, down(0, door.height, 0);
            faces.Rect(Finish::kDoor, wall.at(d, l, door.height) + back, across, down, wall.inward, 0, 0, 1, 1);
            const FinishLook& wood = kLooks[int(Finish::kDarkWood)];
            const float depth = kDoorRecess / wood.tileU, tall = door.height / wood.tileV;
            faces.Rect(Finish::kDarkWood, wall.at(d, l, door.height), back, down, wall.alongDir, 0, 0, depth, tall);
            faces.Rect(Finish::kDarkWood, wall.at(d, r, door.height), back, down, wall.alongDir * -1.0f, 0, 0, depth,
                       tall);
            faces.Rect(Finish::kDarkWood, wall.at(d, l, door.height), back, across, VectorDir(0, 1, 0), 0, 0, depth,
                       door.width / wood.tileU);
        }
    }
}

// The walls' collision: a thick box behind each wall, reaching past the
// corners.
CollisionChain WallBoxes(const RoomDesign& d)
{
    const float t = kWallThickness, h = d.height;
    CollisionChain c;
    c.Box(kSolid, Cuboid(VectorPos(d.x0 - t, -h, d.z0 - t), VectorPos(d.x1 + t, 0, d.z0)));
    c.Box(kSolid, Cuboid(VectorPos(d.x1, -h, d.z0 - t), VectorPos(d.x1 + t, 0, d.z1 + t)));
    c.Box(kSolid, Cuboid(VectorPos(d.x0 - t, -h, d.z1), VectorPos(d.x1 + t, 0, d.z1 + t)));
    c.Box(kSolid, Cuboid(VectorPos(d.x0 - t, -h, d.z0 - t), VectorPos(d.x0, 0, d.z1 + t)));
    return c;
}

// Furniture sizes (the piece's own frame, y down from the floor).
constexpr float kCounterTop = 0.33f;       // 1.05 m: a standing man's waist
constexpr float kCounterDepth = 0.2f;
constexpr float kSeat = 0.24f;             // 0.75 m: stool seats and table tops
constexpr float kTableHalf = 0.2f;
constexpr float kStoolHalf = 0.055f;
constexpr float kBenchTop = 0.14f;         // 0.45 m
constexpr float kBenchDepth = 0.13f;
constexpr float kLockerTop = 0.6f;         // 1.9 m
constexpr float kLockerDepth = 0.15f;
constexpr float kShelfTop = 0.75f;
constexpr float kShelfDepth = 0.15f;
constexpr float kPillarHalf = 0.12f;
constexpr float kRim = 0.08f;              // a pool rim's width
constexpr float kRimTop = 0.05f;
constexpr float kPoolWall = 0.15f;         // how high a pool's collision stands

// The faces of a piece of furniture, in its own frame; `whole` false gives
// a breakable piece's damaged form.
Faces FurnitureFaces(const Furniture& f, float roomHeight, bool whole)
{
    Faces s;
    const float hl = f.length * 0.5f;
    auto block = [&](float x0, float y0, float z0, float x1, float y1, float z1, Finish side, Finish top) {
        s.Block(VectorPos(x0, -y1, z0), VectorPos(x1, -y0, z1), side, top);
    };
    switch (f.kind) {
    case Furniture::kCounter:
        block(-hl, 0, -kCounterDepth * 0.5f, hl, kCounterTop - 0.02f, kCounterDepth * 0.5f, Finish::kPanelling,
              Finish::kDarkWood);
        block(-hl - 0.02f, kCounterTop - 0.02f, -kCounterDepth * 0.5f - 0.03f, hl + 0.02f, kCounterTop,
              kCounterDepth * 0.5f + 0.01f, Finish::kCounterTop, Finish::kCounterTop);
        break;
    case Furniture::kShelf:
        // A cupboard, and shelves of bottles above it.
        block(-hl, 0, -kShelfDepth * 0.5f, hl, 0.3f, kShelfDepth * 0.5f, Finish::kDarkWood, Finish::kCounterTop);
        if (whole)
            s.Rect(Finish::kBottles, VectorPos(-hl, -kShelfTop, 0.0f), VectorDir(f.length, 0, 0),
                   VectorDir(0, kShelfTop - 0.3f, 0), VectorDir(0, 0, -1), 0, 0, f.length / 0.25f, 1.0f);
        block(-hl, 0.3f, 0.0f, hl, kShelfTop, kShelfDepth * 0.5f, Finish::kDarkWood, Finish::kDarkWood);
        break;
    case Furniture::kTable:
        block(-0.1f, 0, -0.1f, 0.1f, 0.01f, 0.1f, Finish::kDarkWood, Finish::kDarkWood);
        block(-0.02f, 0.01f, -0.02f, 0.02f, kSeat - 0.02f, 0.02f, Finish::kDarkWood, Finish::kDarkWood);
        block(-kTableHalf, kSeat - 0.02f, -kTableHalf, kTableHalf, kSeat, kTableHalf, Finish::kDarkWood,
              Finish::kCounterTop);
        break;
    case Furniture::kStool:
        block(-0.05f, 0, -0.05f, 0.05f, 0.01f, 0.05f, Finish::kDarkWood, Finish::kDarkWood);
        block(-0.012f, 0.01f, -0.012f, 0.012f, kSeat - 0.025f, 0.012f, Finish::kDarkWood, Finish::kDarkWood);
        block(-kStoolHalf, kSeat - 0.025f, -kStoolHalf, kStoolHalf, kSeat, kStoolHalf, Finish::kDarkWood,
              Finish::kCounterTop);
        break;
    case Furniture::kBench:
        for (float x : {-hl + 0.04f, hl - 0.04f})
            block(x - 0.02f, 0, -kBenchDepth * 0.4f, x + 0.02f, kBenchTop - 0.02f, kBenchDepth * 0.4f,
                  Finish::kDarkWood, Finish::kDarkWood);
        block(-hl, kBenchTop - 0.02f, -kBenchDepth * 0.5f, hl, kBenchTop, kBenchDepth * 0.5f, Finish::kSlats,
              Finish::kSlats);
        break;
    case Furniture::kLockers: {
        // One picture to a door, the doors side by side along the front.
        const int doors = std::max(1, int(f.length / 0.16f + 0.5f));
        const float w = f.length / float(doors);
        for (int k = 0; k < doors; k++)
            s.Rect(Finish::kLocker, VectorPos(-hl + w * float(k), -kLockerTop, -kLockerDepth * 0.5f),
                   VectorDir(w, 0, 0), VectorDir(0, kLockerTop, 0), VectorDir(0, 0, -1), 0, 0, 1, 1);
        s.Rect(Finish::kMarble, VectorPos(-hl, -kLockerTop, -kLockerDepth * 0.5f), VectorDir(f.length, 0, 0),
               VectorDir(0, 0, kLockerDepth), VectorDir(0, -1, 0), 0, 0, f.length / 0.3f, 0.5f);
        for (float x : {-hl, hl})
            s.Rect(Finish::kMarble, VectorPos(x, -kLockerTop, -kLockerDepth * 0.5f), VectorDir(0, 0, kLockerDepth),
                   VectorDir(0, kLockerTop, 0), VectorDir(x < 0 ? -1.0f : 1.0f, 0, 0), 0, 0, 0.5f, 2.0f);
        break;
    }
    case Furniture::kPillar:
        block(-kPillarHalf, 0, -kPillarHalf, kPillarHalf, roomHeight, kPillarHalf, Finish::kMarble, Finish::kMarble);
        break;
    case Furniture::kPool: {
        const float hd = f.depth * 0.5f;
        block(-hl, 0, -hd, hl, kRimTop, -hd + kRim, Finish::kMarble, Finish::kMarble);
        block(-hl, 0, hd - kRim, hl, kRimTop, hd, Finish::kMarble, Finish::kMarble);
        block(-hl, 0, -hd + kRim, -hl + kRim, kRimTop, hd - kRim, Finish::kMarble, Finish::kMarble);
        block(hl - kRim, 0, -hd + kRim, hl, kRimTop, hd - kRim, Finish::kMarble, Finish::kMarble);
        const float w = f.length - 2 * kRim, dd = f.depth - 2 * kRim;
        const FinishLook& l = kLooks[int(Finish::kWater)];
        s.Rect(Finish::kWater, VectorPos(-hl + kRim, -kRimTop * 0.6f, -hd + kRim), VectorDir(w, 0, 0),
               VectorDir(0, 0, dd), VectorDir(0, -1, 0), 0, 0, w / l.tileU, dd / l.tileV);
        break;
    }
    case Furniture::kLamp:
        break;   // unlit: made by LampModel
    }
    return s;
}

// A lamp: a cord from the ceiling and a shade glowing warm (drawn in its
// own colour, not lit).
P2BModel LampModel(float roomHeight)
{
    const float hang = roomHeight - 0.2f;   // the shade's underside above the floor
    P2BModel m;
    m.sphere = Sphere(0.0f, -(hang + roomHeight) * 0.5f, 0.0f, (roomHeight - hang) * 0.5f + 0.1f);
    m.boxextent = Vector(0.07f, (roomHeight - hang) * 0.5f, 0.07f, 0.0f);
    auto box = [](float x0, float y0, float z0, float x1, float y1, float z1, Colour c) {
        Faces f;
        f.Block(VectorPos(x0, y0, z0), VectorPos(x1, y1, z1), Finish::kDarkWood, Finish::kDarkWood);
        std::vector<TexQuad> all = f.by[int(Finish::kDarkWood)];
        // Its underside too: it is seen from below.
        TexQuad under = all[0];
        for (VectorPos& p : under.corner)
            p[1] = y1;
        under.normal = VectorDir(0, 1, 0);
        all.push_back(under);
        return QuadMaterial(all, TEXID_NONE, false, c, false);
    };
    m.opaque.push_back(box(-0.006f, -roomHeight, -0.006f, 0.006f, -hang - 0.04f, 0.006f, Colour(30, 30, 30, 128)));
    m.opaque.push_back(box(-0.07f, -hang - 0.04f, -0.07f, 0.07f, -hang, 0.07f, Colour(255, 220, 150, 128)));
    return m;
}

}  // namespace

float FurnitureTop(Furniture::Kind kind, float roomHeight)
{
    switch (kind) {
    case Furniture::kCounter: return kCounterTop;
    case Furniture::kShelf: return kShelfTop;
    case Furniture::kTable:
    case Furniture::kStool: return kSeat;
    case Furniture::kBench: return kBenchTop;
    case Furniture::kLockers: return kLockerTop;
    case Furniture::kPillar: return roomHeight;
    case Furniture::kPool: return kRimTop;
    case Furniture::kLamp: return 0.0f;
    }
    return 0.0f;
}

Cuboid FurnitureBox(const Furniture& f, float roomHeight)
{
    const float hl = f.length * 0.5f, top = FurnitureTop(f.kind, roomHeight);
    auto box = [&](float hx, float hz, float h) { return Cuboid(VectorPos(-hx, -h, -hz), VectorPos(hx, 0, hz)); };
    switch (f.kind) {
    case Furniture::kCounter: return box(hl, kCounterDepth * 0.5f + 0.03f, top);
    case Furniture::kShelf: return box(hl, kShelfDepth * 0.5f, top);
    case Furniture::kTable: return box(kTableHalf, kTableHalf, top);
    case Furniture::kStool: return box(kStoolHalf, kStoolHalf, top);
    case Furniture::kBench: return box(hl, kBenchDepth * 0.5f, top);
    case Furniture::kLockers: return box(hl, kLockerDepth * 0.5f, top);
    case Furniture::kPillar: return box(kPillarHalf, kPillarHalf, top);
    case Furniture::kPool: return box(hl, f.depth * 0.5f, kPoolWall);
    case Furniture::kLamp: break;
    }
    return Cuboid(VectorPos(0, 0, 0), VectorPos(0, 0, 0));
}

std::string CheckRoom(const RoomDesign& d)
{
    // A doorway the player walks through upright with his head clear, and
    // wider than his shoulders with room to spare.
    const float stature = HumanoidStature(SampleHumanoids()[0].look);
    auto inside = [&](VectorPos p) { return p[0] >= d.x0 && p[0] <= d.x1 && p[2] >= d.z0 && p[2] <= d.z1; };
    if (!(d.x1 > d.x0 && d.z1 > d.z0 && d.height > 0.0f))
        return "the room has no floor or no height";
    for (size_t i = 0; i < d.doors.size(); i++) {
        const RoomDoor& door = d.doors[i];
        if (door.wall < 0 || door.wall > 3)
            return "door " + std::to_string(i) + " is in no wall";
        const Wall w = WallOf(d, door.wall);
        if (door.along - door.width * 0.5f < w.a0 || door.along + door.width * 0.5f > w.a1 ||
            door.height >= d.height)
            return "door " + std::to_string(i) + " does not fit its wall";
        if (door.height < 1.1f * stature || door.width < 0.45f * stature)
            return "door " + std::to_string(i) + " is too small for the player to walk through";
        for (size_t k = 0; k < i; k++)
            if (d.doors[k].wall == door.wall &&
                std::fabs(d.doors[k].along - door.along) < (d.doors[k].width + door.width) * 0.5f)
                return "doors " + std::to_string(k) + " and " + std::to_string(i) + " overlap";
    }
    for (size_t i = 0; i < d.furniture.size(); i++)
        if (!inside(d.furniture[i].at))
            return "furniture " + std::to_string(i) + " stands outside the room";
    for (size_t i = 0; i < d.lights.size(); i++)
        if (!inside(d.lights[i].at) || -d.lights[i].at[1] > d.height)
            return "light " + std::to_string(i) + " is outside the room";
    if (!inside(d.entry))
        return "the entry point is outside the room";
    return {};
}

BuiltRoom AddRoom(SetupFile& setup, const RoomDesign& d)
{
    P2BFile& file = setup.file;
    TextureTable textures(file);
    BuiltRoom built;

    Faces shell;
    Shell(d, shell);
    file.models.push_back(ModelOf(shell, textures));
    built.shell = int(file.models.size()) - 1;
    built.main = file.AddNode(-1, MakeNode(u16(built.shell), VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), d.id));
    file.AddNode(built.main, MakeNode(MDL_NOGEOM, d.entry, VectorXYZ(0, 0, 0), 0x8000));
    file.collisions.push_back(WallBoxes(d));
    NODE walls = MakeNode(MDL_NOGEOM);
    walls.collision = u16(file.collisions.size() - 1);
    file.AddNode(built.main, walls);

    // Pieces of the same kind and size share their model.
    std::map<std::tuple<int, float, float, bool>, u16> models;
    auto model = [&](const Furniture& f, bool whole) {
        const auto key = std::make_tuple(int(f.kind), f.length, f.depth, whole);
        auto it = models.find(key);
        if (it != models.end())
            return it->second;
        file.models.push_back(f.kind == Furniture::kLamp ? LampModel(d.height)
                                                         : ModelOf(FurnitureFaces(f, d.height, whole), textures));
        return models[key] = u16(file.models.size() - 1);
    };
    for (const Furniture& f : d.furniture) {
        NODE n = MakeNode(model(f, true), f.at, VectorXYZ(0.0f, f.turn, 0.0f), f.extra);
        if (f.kind != Furniture::kLamp) {
            CollisionChain c;
            c.Box(kSolid, FurnitureBox(f, d.height));
            file.collisions.push_back(c);
            n.collision = u16(file.collisions.size() - 1);
        }
        const int node = file.AddNode(built.main, n);
        built.furniture.push_back(node);
        if (f.extra >= 0x1000)
            file.AddNode(node, MakeNode(u16(kDamagedRecord | model(f, false))));
    }
    for (const RoomLight& l : d.lights) {
        NODE n;
        std::string error;
        if (MakeLightNode(l.kind, l.colour, l.intensity, l.range, 0.0f, l.at, l.ang, n, error))
            file.AddNode(built.main, n);
    }
    return built;
}

}  // namespace tools
