// The sample city and the small test cities.
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "tools/lib/city.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

namespace {

// Carriageways lie at y = -1.0, pavements and the ground between roads 0.05
// higher (y points down).
constexpr float kRoadY = -1.0f;
constexpr float kPavementY = -1.05f;
constexpr float kStorey = 3.0f;

enum SampleTexture
{
    kTexStreetRoad,
    kTexPavement,
    kTexGrass,
    kTexPaving,
    kTexFacadeBrick,
    kTexFacadeGlass,
    kTexAvenueRoad,
    kTextures,
};

enum SampleName
{
    kNameHarbour,
    kNameMill,
    kNameQueen,
    kNameStation,
    kNameElm,
    kNameMarket,
    kNameCanal,
    kNameTower,
    kNameFoundry,
    kNameBridge,
    kNameStreet,
    kNameAvenue,
    kNameAlley,
};

void AddTextures(CityDescription& c)
{
    c.textures.resize(kTextures);
    c.textures[kTexPavement] = RuleTexture(32, 32, [](int x, int y) {
        const bool joint = x % 16 == 0 || y % 16 == 0;
        const u8 v = joint ? 110 : u8(150 + 4 * Speckle(x, y, 4));
        return std::array<u8, 3>{v, v, v};
    });
    c.textures[kTexGrass] = RuleTexture(32, 32, [](int x, int y) {
        const int s = Speckle(x, y, 6);
        return std::array<u8, 3>{u8(40 + 5 * s), u8(110 + 10 * s), u8(30 + 3 * s)};
    });
    c.textures[kTexPaving] = RuleTexture(32, 32, [](int x, int y) {
        const bool joint = y % 8 == 0 || (x + (y / 8 % 2) * 8) % 16 == 0;
        return joint ? std::array<u8, 3>{120, 110, 100} : std::array<u8, 3>{u8(170 + 4 * Speckle(x, y, 3)), 120, 90};
    });
    c.textures[kTexFacadeBrick] = RuleTexture(32, 32, [](int x, int y) {
        const bool window = x % 8 >= 2 && x % 8 <= 5 && y % 8 >= 2 && y % 8 <= 5;
        return window ? std::array<u8, 3>{60, 80, 110} : std::array<u8, 3>{150, 70, 50};
    });
    c.textures[kTexFacadeGlass] = RuleTexture(32, 32, [](int x, int y) {
        const bool frame = x % 8 == 0 || y % 8 == 0;
        return frame ? std::array<u8, 3>{200, 200, 200} : std::array<u8, 3>{90, 120, u8(160 + 10 * (y / 8))};
    });
}

// Road surfaces repeat every 16 units along the road: their textures are 64
// texels long (a quarter of a unit each) and 128 across the whole cross
// section, pavements included.
constexpr float kRoadRepeat = 16.0f;
constexpr int kSurfaceAcross = 128, kSurfaceAlong = 64;

// The surface of a road whose pavements reach `pavement` either side of the
// centre line and whose carriageway `carriageway`, its lanes' centres at
// `lanes` (left to right, negative ones running against the positive):
// paving slabs on the pavements with a kerbstone at their edge, asphalt
// between them, and the carriageway's markings painted on it.  A line 0.15
// wide: solid white 0.3 inside each kerb; between lanes running the same
// way, white dashes 4 long every 16; between the two directions a double
// solid yellow line (its lines 0.28 either side of the parting) where each
// way has two lanes or more, white dashes otherwise.
TextureImage RoadSurface(float pavement, float carriageway, const std::vector<float>& lanes)
{
    constexpr float kLine = 0.15f, kDash = 4.0f, kGap = 0.28f;
    struct Mark
    {
        float at;
        bool dashed;
        bool yellow;
    };
    std::vector<Mark> marks = {{-carriageway + 0.3f, false, false}, {carriageway - 0.3f, false, false}};
    int against = 0;
    for (float l : lanes)
        against += l < 0.0f;
    const bool divided = against >= 2 && int(lanes.size()) - against >= 2;
    for (size_t i = 1; i < lanes.size(); i++) {
        const float at = (lanes[i - 1] + lanes[i]) / 2.0f;
        const bool centre = lanes[i - 1] < 0.0f && lanes[i] >= 0.0f;
        if (centre && divided) {
            marks.push_back({at - kGap, false, true});
            marks.push_back({at + kGap, false, true});
        } else {
            marks.push_back({at, true, false});
        }
    }
    const float across = 2.0f * pavement / kSurfaceAcross, along = kRoadRepeat / kSurfaceAlong;
    return RuleTexture(kSurfaceAcross, kSurfaceAlong, [=](int x, int y) {
        // The texel covers offsets [o0, o1] from the centre line and
        // [d0, d1] along the road.
        const float o0 = -pavement + float(x) * across, o1 = o0 + across;
        const float d0 = float(y) * along, mid = (o0 + o1) / 2.0f;
        if (std::fabs(mid) > carriageway) {
            const float out = std::fabs(mid) - carriageway;
            if (out < 0.25f)
                return std::array<u8, 3>{175, 175, 170};
            // Slabs a unit across and 1.5 along, from the kerbstone out.
            const float slab = out - 0.25f + 1.0f;
            const bool joint = int(slab) != int(slab - across) || y % 6 == 0;
            const u8 v = joint ? 110 : u8(145 + 4 * Speckle(x, y, 4));
            return std::array<u8, 3>{v, v, v};
        }
        for (const Mark& m : marks)
            if (o1 > m.at - kLine / 2.0f && o0 < m.at + kLine / 2.0f && (!m.dashed || d0 < kDash))
                return m.yellow ? std::array<u8, 3>{215, 175, 40} : std::array<u8, 3>{225, 225, 220};
        const u8 v = u8(66 + 6 * Speckle(x, y, 5));
        return std::array<u8, 3>{v, v, u8(v + 4)};
    });
}

// A road kind's cross section from its pavement and carriageway half-widths;
// pavements lie `kerb` above the carriageway.  Heights are measured from the
// centre line, which runs at the carriageway's level.
CityRoadType RoadKind(const char* name, float pavement, float carriageway, float kerb, u16 abbrev, float speed,
                      std::vector<float> lanes, int texture)
{
    CityRoadType rt;
    rt.name = name;
    rt.abbrev = abbrev;
    rt.texture = u16(texture);
    rt.speed = speed;
    rt.fTexVScale = 1.0f / kRoadRepeat;
    rt.lanes = std::move(lanes);
    rt.num_rightlanes = u8(rt.lanes.size() / 2);
    const float top = -kerb;
    rt.full = {VectorXY(-pavement, top), VectorXY(-carriageway, top), VectorXY(-carriageway, 0.0f),
               VectorXY(carriageway, 0.0f), VectorXY(carriageway, top), VectorXY(pavement, top)};
    rt.iJuncLeft = 2;
    rt.iJunc = 3;
    rt.iRightEdge = 5;
    rt.low = {VectorXY(-pavement, top), VectorXY(-carriageway, 0.0f), VectorXY(carriageway, 0.0f),
              VectorXY(pavement, top)};
    rt.iJuncLeftLow = 1;
    rt.iJuncLow = 2;
    rt.iRightEdgeLow = 3;
    return rt;
}

}  // namespace

void AddSampleRoadKinds(CityDescription& c)
{
    AddTextures(c);
    c.roadnames = {"Harbour", "Mill", "Queen", "Station", "Elm", "Market", "Canal", "Tower", "Foundry", "Bridge",
                   "Street", "Avenue", "Alley"};
    // Health carts stand beside streets only.
    CityRoadType street = RoadKind("Street", 8.0f, 5.0f, 0.05f, kNameStreet, 8.4f, {-2.5f, 2.5f}, kTexStreetRoad);
    c.textures[kTexStreetRoad] = RoadSurface(8.0f, 5.0f, street.lanes);
    street.flags |= ROADTYPE_HEALTHCARTS;
    c.roadtypes.push_back(street);
    // Avenues carry a crown point on the centre line.
    CityRoadType avenue =
        RoadKind("Avenue", 12.0f, 8.0f, 0.05f, kNameAvenue, 10.5f, {-6.0f, -2.0f, 2.0f, 6.0f}, kTexAvenueRoad);
    c.textures[kTexAvenueRoad] = RoadSurface(12.0f, 8.0f, avenue.lanes);
    avenue.full.insert(avenue.full.begin() + 3, VectorXY(0.0f, 0.0f));
    avenue.iJunc = 4;
    avenue.iRightEdge = 6;
    c.roadtypes.push_back(avenue);
    // Alleys: eight full-detail points (a sloping strip each side) and four low ones.
    CityRoadType alley = RoadKind("Alley", 5.0f, 3.0f, 0.05f, kNameAlley, 4.2f, {0.0f}, kTexPaving);
    const float pave = kPavementY - kRoadY;
    // Its middle runs at the level of the other carriageways and its sides
    // rise 0.02 toward the kerbs, so no step on it is more than a kerb's.
    alley.full = {VectorXY(-5.0f, pave), VectorXY(-3.0f, pave), VectorXY(-3.0f, -0.02f), VectorXY(-1.0f, 0.0f),
                  VectorXY(1.0f, 0.0f), VectorXY(3.0f, -0.02f), VectorXY(3.0f, pave), VectorXY(5.0f, pave)};
    alley.iJuncLeft = 2;
    alley.iJunc = 5;
    alley.iRightEdge = 7;
    alley.texture = kTexPaving;
    c.roadtypes.push_back(alley);
    c.groundtypes = {kTexGrass, kTexPaving};
}

namespace {

// Boxy buildings (half sizes) and street props.
struct BoxSpec
{
    float hx, hy, hz;
    int facade;        // layout texture, -1 plain
    bool rooftop;      // a small plant room on the roof (a child node)
};

constexpr BoxSpec kBuildings[] = {
    {4, 3, 4, kTexFacadeBrick, false},    {6, 4.5f, 5, kTexFacadeBrick, false},  {5, 7.5f, 5, kTexFacadeGlass, false},
    {7, 9, 6, kTexFacadeGlass, false},    {4, 12, 4, kTexFacadeGlass, false},    {8, 3, 6, kTexFacadeBrick, false},
    {6, 6, 8, kTexFacadeBrick, false},    {5, 15, 5, kTexFacadeGlass, true},     {9, 4.5f, 9, kTexFacadeBrick, true},
    {3, 10.5f, 3, kTexFacadeGlass, false},
};
constexpr int kBuildingModels = int(std::size(kBuildings));
// The props' models follow the buildings', in PropKind order.
constexpr PropKind kPropKinds[] = {PropKind::kTrafficLight, PropKind::kStreetLight, PropKind::kStreetSign,
                                   PropKind::kHydrant,      PropKind::kBin,         PropKind::kMailbox,
                                   PropKind::kBench,        PropKind::kTree};

P2BFile BoxFile(const BoxSpec& b)
{
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    const bool textured = b.facade >= 0;
    f.models.push_back(BoxModel(b.hx, b.hy, b.hz, textured ? 0 : TEXID_NONE, true));
    f.models.push_back(BoxModel(b.hx, b.hy, b.hz, TEXID_NONE, false, Colour(110, 100, 95, 128)));
    if (textured) {
        P2BTexture t;
        t.shared = b.facade;
        f.textures.push_back(t);
    }
    CollisionChain box;
    box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-b.hx, -b.hy, -b.hz), VectorPos(b.hx, b.hy, b.hz)));
    f.collisions.push_back(box);
    NODE root = MakeNode(0);
    root.collision = 0;
    f.AddNode(-1, root);
    f.AddNode(0, MakeLodNode(1));
    if (b.rooftop) {
        f.models.push_back(BoxModel(b.hx * 0.3f, 1.0f, b.hz * 0.3f, TEXID_NONE, true, Colour(90, 90, 90, 128)));
        f.AddNode(0, MakeNode(2, VectorPos(0.0f, -b.hy - 1.0f, 0.0f)));
    }
    return f;
}

struct Placer
{
    CityDescription& c;
    u16 nextBuildingId = 100;
    u16 nextPropId = 500;

    // A building standing on the pavement at (x, z), its front toward face.
    void Building(int model, float x, float z, VectorXZ face)
    {
        const BoxSpec& b = kBuildings[model];
        CityInstance in;
        in.pos = VectorPos(x, kPavementY - b.hy, z);
        in.rot = Facing(face);
        in.model = u16(model);
        in.id = nextBuildingId++;
        c.instances.push_back(in);
        if (2.0f * b.hy <= 4.0f * kStorey)
            return;
        // Tall buildings hide what is behind them: a wall just inside each face.
        const bool turned = std::fabs(face[0]) > 0.5f;
        const float hx = turned ? b.hz : b.hx, hz = turned ? b.hx : b.hz;
        const float top = in.pos[1] - 0.9f * b.hy, bottom = kPavementY;
        const VectorDir normals[4] = {VectorDir(1, 0, 0), VectorDir(-1, 0, 0), VectorDir(0, 0, 1), VectorDir(0, 0, -1)};
        for (const VectorDir& n : normals) {
            const float depth = n[0] != 0.0f ? hx : hz, width = n[0] != 0.0f ? hz : hx;
            const VectorPos centre = VectorPos(x, 0.0f, z) + n * (0.9f * depth);
            const VectorDir right(-n[2], 0.0f, n[0]);
            const VectorPos l = centre - right * (0.9f * width), r = centre + right * (0.9f * width);
            CityOccluder o;
            o.corners[0] = VectorPos(l[0], top, l[2]);
            o.corners[1] = VectorPos(l[0], bottom, l[2]);
            o.corners[2] = VectorPos(r[0], bottom, r[2]);
            o.corners[3] = VectorPos(r[0], top, r[2]);
            c.occluders.push_back(o);
        }
    }

    void Prop(PropKind kind, float x, float z, VectorXZ face = VectorXZ(0.0f, 1.0f))
    {
        CityInstance in;
        in.pos = VectorPos(x, kPavementY - PropHalfHeight(kind), z);
        in.rot = Facing(face);
        in.model = u16(kBuildingModels + int(kind));
        in.id = nextPropId++;
        c.instances.push_back(in);
    }
};

// A flat ground patch over [x0, x1] x [z0, z1] at height y.
CityPatch FlatPatch(float x0, float x1, float z0, float z1, float y, int groundtype)
{
    CityPatch p;
    for (int r = 0; r < 4; r++)
        for (int k = 0; k < 4; k++)
            p.patch.p[4 * r + k] = Vector(x0 + (x1 - x0) * k / 3.0f, y, z0 + (z1 - z0) * r / 3.0f, 0.0f);
    p.texmat = Matrix(Vector(1.0f / 16, 0, 0, 0), Vector(0, 0, 0, 0), Vector(0, 1.0f / 16, 0, 0), Vector(0, 0, 0, 1));
    p.groundtype = groundtype;
    return p;
}

int AddJunction(CityDescription& c, float x, float z, float radius, u8 flags, u16 offset = 0)
{
    CityJunction j;
    j.pos = VectorPos(x, kRoadY, z);
    j.radius = radius;
    j.flags = flags;
    j.timeOffset = offset;
    c.junctions.push_back(j);
    return int(c.junctions.size()) - 1;
}

// The road lines of the sample city, west/north first.
constexpr float kLines[4] = {-96.0f, -32.0f, 32.0f, 96.0f};
constexpr u16 kNorthSouthNames[4] = {kNameHarbour, kNameMill, kNameQueen, kNameHarbour};
constexpr u16 kEastWestNames[4] = {kNameHarbour, kNameStation, kNameElm, kNameHarbour};

}  // namespace

CityDescription SampleCity()
{
    CityDescription c;
    AddSampleRoadKinds(c);
    for (const BoxSpec& b : kBuildings)
        c.models.push_back(BoxFile(b));
    c.modelParams.resize(c.models.size());
    for (PropKind k : kPropKinds) {
        PropFile p = MakeProp(k);
        c.models.push_back(std::move(p.file));
        c.modelParams.push_back(std::move(p.params));
    }
    c.cities = {1, 1, 1, 1};
    // Zones: the city block (between road lines) a quad node's centre lies in.
    c.zone = [](float x, float z) {
        int bx = 0, bz = 0;
        for (float l : kLines) {
            bx += x > l;
            bz += z > l;
        }
        return u16(0x8000 | (bz * 5 + bx));
    };

    // Junctions on the 4 x 4 grid of road lines: bends at the ring's corners,
    // T-junctions on its sides (the ring goes through, the side road yields),
    // crossings inside (staggered signal phases; Queen Avenue goes through).
    int grid[4][4];
    for (int zi = 0; zi < 4; zi++)
        for (int xi = 0; xi < 4; xi++) {
            const bool edgeX = xi == 0 || xi == 3, edgeZ = zi == 0 || zi == 3;
            u8 flags;
            float radius;
            u16 offset = 0;
            if (edgeX && edgeZ) {
                flags = 1;
                radius = 10.0f;
            } else if (edgeX || edgeZ) {
                flags = 3 | JUNCTION_THROUGHROAD;
                radius = 14.0f;
            } else {
                flags = 2 | (xi == 2 ? JUNCTION_THROUGHROAD : 0);
                radius = 14.0f;
                offset = u16(240 * ((zi - 1) * 2 + (xi - 1)));
            }
            grid[zi][xi] = AddJunction(c, kLines[xi], kLines[zi], radius, flags, offset);
        }
    for (int k = 0; k < 4; k++)
        for (int i = 0; i < 3; i++) {
            const int ns = (k == 1 || k == 2) ? kRoadAvenue : kRoadStreet;
            c.AddSegment(grid[i][k], grid[i + 1][k], kNorthSouthNames[k], ns);
            c.AddSegment(grid[k][i], grid[k][i + 1], kEastWestNames[k], kRoadStreet);
        }
    // The dead-end alley off the ring's south-east corner.
    const int end = AddJunction(c, 130.0f, kLines[0], 0.0f, 1);
    c.AddSegment(grid[0][3], end, kNameCanal, kRoadAlley);
    c.SortSlots();

    // Ground between the roads, split where a block crosses a cell border.
    const float bx[3][2] = {{-88.0f, -44.0f}, {-20.0f, 20.0f}, {44.0f, 88.0f}};
    const float bz[3][2] = {{-88.0f, -40.0f}, {-24.0f, 24.0f}, {40.0f, 88.0f}};
    for (int zi = 0; zi < 3; zi++)
        for (int xi = 0; xi < 3; xi++) {
            const int type = (xi == 1 && zi == 1) ? 0 : 1;   // a park in the middle
            std::vector<float> xs = {bx[xi][0], bx[xi][1]}, zs = {bz[zi][0], bz[zi][1]};
            if (xi == 1)
                xs.insert(xs.begin() + 1, 0.0f);
            if (zi == 1)
                zs.insert(zs.begin() + 1, 0.0f);
            for (size_t a = 0; a + 1 < zs.size(); a++)
                for (size_t b = 0; b + 1 < xs.size(); b++)
                    c.patches.push_back(FlatPatch(xs[b], xs[b + 1], zs[a], zs[a + 1], kPavementY, type));
        }

    // Buildings round the edges of the eight outer blocks, facing their
    // nearest road; props in the park and at the crossings.
    Placer place{c};
    int model = 0;
    for (int zi = 0; zi < 3; zi++)
        for (int xi = 0; xi < 3; xi++) {
            if (xi == 1 && zi == 1)
                continue;
            const float x0 = bx[xi][0], x1 = bx[xi][1], z0 = bz[zi][0], z1 = bz[zi][1];
            const float cx = 0.5f * (x0 + x1), cz = 0.5f * (z0 + z1);
            const float spots[5][2] = {{x0 + 10, z0 + 10}, {x1 - 10, z0 + 10}, {x0 + 10, z1 - 10}, {x1 - 10, z1 - 10},
                                       {cx, cz}};
            for (const auto& s : spots) {
                // Keep clear of the cell borders so no building straddles two cells.
                const BoxSpec& b = kBuildings[model];
                const float r = std::max(b.hx, b.hz) + 0.5f;
                if (std::fabs(s[0]) < r || std::fabs(s[1]) < r) {
                    model = (model + 1) % kBuildingModels;
                    continue;
                }
                const VectorXZ face = std::fabs(s[0] - cx) > std::fabs(s[1] - cz) ? VectorXZ(s[0] > cx ? 1.0f : -1.0f, 0.0f)
                                                                                   : VectorXZ(0.0f, s[1] > cz ? 1.0f : -1.0f);
                place.Building(model, s[0], s[1], VectorXZ(face[0], face[1]));
                model = (model + 1) % kBuildingModels;
            }
        }
    // The park: benches and bins along its paths, trees at its corners.
    for (float x : {-14.0f, 14.0f})
        for (float z : {-18.0f, 18.0f}) {
            place.Prop(PropKind::kBench, x, z);
            place.Prop(PropKind::kBin, x + 2.0f, z);
            place.Prop(PropKind::kTree, x * 1.15f, z * 0.6f);
        }
    // Traffic lights at the crossings' corners (on the avenues' pavements),
    // turned alternately to face each road, with a mailbox and a hydrant
    // beside two of them.
    for (int zi = 1; zi <= 2; zi++)
        for (int xi = 1; xi <= 2; xi++) {
            const float x = kLines[xi], z = kLines[zi];
            for (float sx : {-1.0f, 1.0f})
                for (float sz : {-1.0f, 1.0f}) {
                    const VectorXZ face = sx * sz > 0.0f ? VectorXZ(0.0f, 1.0f) : VectorXZ(1.0f, 0.0f);
                    place.Prop(PropKind::kTrafficLight, x + 9.5f * sx, z + 6.5f * sz, face);
                }
            place.Prop(PropKind::kMailbox, x + 10.5f, z - 9.5f);
            place.Prop(PropKind::kHydrant, x - 10.5f, z + 10.0f);
        }
    // Street signs at the T-junctions, on the side road's corner facing
    // along it.
    for (int zi = 0; zi < 4; zi++)
        for (int xi = 0; xi < 4; xi++) {
            const bool edgeX = xi == 0 || xi == 3, edgeZ = zi == 0 || zi == 3;
            if (edgeX == edgeZ)
                continue;
            const float x = kLines[xi], z = kLines[zi];
            const VectorXZ in = edgeX ? VectorXZ(x < 0 ? 1.0f : -1.0f, 0.0f) : VectorXZ(0.0f, z < 0 ? 1.0f : -1.0f);
            const VectorXZ side(-in[1], in[0]);
            const float out = edgeX ? 7.0f : 10.0f;   // side streets or side avenues
            place.Prop(PropKind::kStreetSign, x + 9.0f * in[0] + out * side[0], z + 9.0f * in[1] + out * side[1], in);
        }
    // Street lights along Elm and Station Streets' pavements, and a hydrant
    // on Elm Street by the ring, where the drive starts.
    for (float x : {-64.0f, 0.0f, 64.0f})
        for (float z : {kLines[1], kLines[2]})
            for (float side : {-6.5f, 6.5f})
                place.Prop(PropKind::kStreetLight, x + (side < 0 ? -8.0f : 8.0f), z + side);
    place.Prop(PropKind::kHydrant, -80.0f, kLines[2] + 6.5f);
    return c;
}

// ---------------------------------------------------------------------------
// Missions.

namespace {

MissionPlaceholder At(s16 id, float x, float z, VectorXZ face = VectorXZ(1.0f, 0.0f))
{
    MissionPlaceholder p;
    p.id = id;
    p.pos = VectorPos(x, kPavementY, z);
    p.rot = Facing(face);
    return p;
}

// A spot on the pavement of Station Street (south, -1) or Elm Street
// (north, +1), on the side toward the park (+1) or away from it (-1), facing
// east: a car drawn up at the kerb, a marker by a door.  The spots at x -64,
// 0 and 64 are clear of the crossings.
MissionPlaceholder Kerb(s16 id, float x, int street, int side)
{
    const float line = street < 0 ? kLines[1] : kLines[2];
    const float toPark = street < 0 ? 1.0f : -1.0f;
    return At(id, x, line + 6.5f * toPark * float(side));
}

// The bonus street race of an episode's placement: its start (-401) in
// the eastbound lane of the east-west street at z = `street`, west of the
// middle, and its finish line (-404) across that lane 36 units east, both
// on the one stretch between the avenues' crossings: the rivals drive to
// the finish along the lane and need choose no way at a junction.  They
// take the place of any spots of those ids the placement has already (the
// game finds the first of an id).
void AddBonusRace(std::vector<MissionPlaceholder>& m, float street)
{
    std::erase_if(m, [](const MissionPlaceholder& p) { return p.id == -401 || p.id == -404; });
    m.push_back(At(-401, -18.0f, street + 3.0f));
    m.push_back(At(-404, 18.0f, street + 3.0f));
}

// The bonus drive of episodes 9 and 11: the start (-400) in Elm Street's
// eastbound lane west of Mill Avenue; the three bonus places on Station
// Street, the race's start (-401, as AddBonusRace) and two at the kerb
// (-402, -403), one past each avenue.
void AddBonusDrive(std::vector<MissionPlaceholder>& m)
{
    m.push_back(At(-400, -64.0f, kLines[2] + 3.0f));
    AddBonusRace(m, kLines[1]);
    m.push_back(At(-402, 0.0f, kLines[1] + 6.5f));
    m.push_back(At(-403, 64.0f, kLines[1] + 6.5f));
}

}  // namespace

std::vector<MissionPlaceholder> SampleMission1()
{
    // The drives: along Station Street to the range, up Queen Avenue and
    // along Elm Street to the second building, on along Elm Street to the
    // restaurant; the bonus drive's start and its three places.
    return {Kerb(-200, -64.0f, -1, 1),  Kerb(-201, 64.0f, -1, 1),  Kerb(-250, 0.0f, 1, -1),
            Kerb(-206, 64.0f, 1, -1),   Kerb(-400, -64.0f, 1, -1), Kerb(-401, 0.0f, -1, -1),
            Kerb(-402, 64.0f, -1, -1),  Kerb(-403, -64.0f, -1, -1)};
}

std::vector<MissionPlaceholder> SampleMissionTest()
{
    // The test episode's quick drive starts at the default spot (id -1): in
    // Elm Street's eastbound lane, half way between Mill and Queen.  Its
    // driving course (-900) lies on the parallel street south of it.
    std::vector<MissionPlaceholder> m = SampleMission1();
    m.push_back(At(-1, 0.0f, kLines[2] + 3.0f));
    m.push_back(At(-900, 0.0f, kLines[1] + 3.0f));
    AddBonusRace(m, kLines[2]);
    return m;
}

std::vector<MissionPlaceholder> SampleMission2()
{
    // The drive: from the kerb of Elm Street by the ring, east, south down
    // Queen Avenue, east along Station Street.
    std::vector<MissionPlaceholder> m = {At(-4, -84.0f, 38.5f), At(-5, 70.0f, -25.5f)};
    const s16 ids[] = {-2, -3, -6, -7, -8, -9, -10, -11, -12, -24, -25, -32, -400, -401, -402, -403};
    for (size_t i = 0; i < std::size(ids); i++)
        m.push_back(At(ids[i], -80.0f + 10.0f * float(i), i % 2 ? 42.0f : -42.0f, VectorXZ(0.0f, 1.0f)));
    // The chase on foot: the player (-6) on an Elm Street pavement,
    // the thug (-7) eight units ahead of him, both facing east toward the
    // corner of Mill Street.
    // The drives to the dojo from the start by the kerb and from the end
    // of the ride to it; the thug's car makes for the far corner of Station
    // Street; the free drives and the bonus drive start at the kerb, and its
    // places stand by the kerb.
    for (MissionPlaceholder& p : m) {
        switch (p.id) {
        case -6: p = At(-6, -60.0f, kLines[2] + 4.5f, VectorXZ(1.0f, 0.0f)); break;
        case -7: p = At(-7, -52.0f, kLines[2] + 4.5f, VectorXZ(1.0f, 0.0f)); break;
        case -2: p = Kerb(-2, -64.0f, 1, -1); break;
        case -3: p = Kerb(-3, 0.0f, 1, -1); break;
        case -11: p = Kerb(-11, -64.0f, 1, -1); break;
        case -12: p = Kerb(-12, -64.0f, -1, -1); break;
        case -24: p = Kerb(-24, 0.0f, -1, 1); break;
        case -25: p = Kerb(-25, 64.0f, -1, 1); break;
        case -400: p = Kerb(-400, -64.0f, 1, -1); break;
        case -401: p = Kerb(-401, 64.0f, -1, -1); break;
        case -402: p = Kerb(-402, 0.0f, -1, -1); break;
        case -403: p = Kerb(-403, 0.0f, 1, 1); break;
        default: break;
        }
    }
    return m;
}

std::vector<MissionPlaceholder> SampleMission3()
{
    std::vector<MissionPlaceholder> m;
    for (s16 id = -2; id >= -11; id--)
        m.push_back(At(id, 10.0f * id, 60.0f));
    for (s16 id = -100; id >= -104; id--)
        m.push_back(At(id, 60.0f, float(id + 102) * 10.0f, VectorXZ(0.0f, -1.0f)));
    for (s16 id = -400; id >= -403; id--)
        m.push_back(At(id, float(id + 401) * 20.0f, -60.0f));
    // The tail starts by the kerb of Elm Street, east, and the suspect makes
    // for the far end of Station Street; the ambush waits in Station Street
    // by the park, beside the yard it came out of, where both cars can drive
    // off; the rides to the spa start by the kerb of Elm and Station
    // Streets; the spa stands by Station Street; the bonus drive starts and
    // ends by the kerb.
    for (MissionPlaceholder& p : m) {
        switch (p.id) {
        case -100: p = Kerb(-100, 64.0f, 1, 1); break;
        case -101: p = At(-101, 0.0f, kLines[1] + 3.0f); break;
        case -6: p = Kerb(-6, 64.0f, 1, 1); break;
        case -7: p = Kerb(-7, -64.0f, -1, -1); break;
        case -8: p = Kerb(-8, -64.0f, 1, -1); break;
        case -9: p = Kerb(-9, -64.0f, -1, 1); break;
        case -11: p = Kerb(-11, 64.0f, -1, 1); break;
        case -104: p = Kerb(-104, 0.0f, -1, 1); break;
        case -400: p = Kerb(-400, 0.0f, 1, -1); break;
        case -401: p = Kerb(-401, 64.0f, 1, -1); break;
        case -402: p = Kerb(-402, -64.0f, -1, -1); break;
        case -403: p = Kerb(-403, 64.0f, 1, 1); break;
        default: break;
        }
    }
    return m;
}

namespace {

// The placeholders ids, each in the eastbound lane of Station or Elm Street
// (in turn, so that one spot and the next lie a block apart), along the
// streets' stretches clear of the crossings; then the bonus drive's start
// (-400) and its three destinations.  A spot in a street is a place a car
// can start from and a drive's marker can stand at the kerb of.
std::vector<MissionPlaceholder> Spread(std::initializer_list<s16> ids)
{
    static const float kAlong[] = {-76.0f, -8.0f, 52.0f, -64.0f, 8.0f, 64.0f, -52.0f, 76.0f};
    std::vector<MissionPlaceholder> m;
    auto spot = [](size_t i) {
        const float z = (i % 2 ? kLines[2] : kLines[1]) + 3.0f;
        return std::pair(kAlong[(i / 2) % std::size(kAlong)], z);
    };
    size_t i = 0;
    for (s16 id : ids) {
        const auto [x, z] = spot(i++);
        m.push_back(At(id, x, z));
    }
    for (s16 id = -400; id >= -403; id--) {
        const auto [x, z] = spot(i++);
        m.push_back(At(id, x, z));
    }
    return m;
}

}  // namespace

std::vector<MissionPlaceholder> SampleMission4()
{
    return Spread({-201, -202, -203, -205, -206, -207, -210, -211});
}

std::vector<MissionPlaceholder> SampleMission5()
{
    return Spread({-200, -201, -202, -203, -205, -206, -207, -208, -209, -210});
}

std::vector<MissionPlaceholder> SampleMission6()
{
    // The drive in the rain starts with the car drawn up at Station
    // Street's kerb, on the eastbound side it faces: a car left facing the
    // oncoming traffic in its lane holds that traffic up nose to nose.
    // The house's rooms (-1) stand high over the park, so that the dragon,
    // which flies 44 to 48 above the city's ground over the spot, hovers
    // just above the player's head in the cellar.
    std::vector<MissionPlaceholder> m = Spread({-200, -201});
    m[0] = Kerb(-200, -64.0f, -1, -1);
    MissionPlaceholder rooms;
    rooms.id = -1;
    rooms.pos = VectorPos(0.0f, -41.5f, 0.0f);
    m.push_back(rooms);
    return m;
}

std::vector<MissionPlaceholder> SampleMission7()
{
    return Spread({-6, -200, -201, -202, -204, -205, -206, -207, -208, -209, -211});
}

std::vector<MissionPlaceholder> SampleMission(int episode)
{
    static const std::vector<s16> ids[] = {
        {-6, -200, -201, -202, -204, -206, -207, -209, -211, -213, -215, -600, -601, -602},
        {-200, -201, -203, -204, -205, -207, -209, -210},
        {-200, -201, -202, -205, -206},
        {-101, -200, -201, -204, -206, -207, -208, -209, -210, -211},
        {-200, -201, -202, -203, -204, -208},
    };
    std::vector<MissionPlaceholder> m;
    if (episode < 8 || episode > 12)
        return m;
    float x = -60.0f;
    for (s16 id : ids[episode - 8]) {
        // The hover spots stand above the street.
        MissionPlaceholder p = At(id, x, 40.0f);
        if (id <= -600)
            p.pos = VectorPos(x, kPavementY - 6.0f, 40.0f);
        // Episode 8's airfield fills the park, its car in the middle facing
        // the runway; episode 9's street race starts in Elm Street's
        // eastbound lane half way between Mill and Queen Avenues.
        // (The airfield's tarmac lies a little above the park's grass.)
        if (episode == 8 && id == -209) {
            p.pos = VectorPos(0.0f, kPavementY - 0.03f, 0.0f);
            p.rot = Facing(VectorXZ(1.0f, 0.0f));
        }
        if (episode == 9 && id == -210)
            p = At(id, 0.0f, kLines[2] + 3.0f);
        m.push_back(p);
        x += 10.0f;
    }
    // The drives' starts in a lane or on a pavement clear of the crossings
    // and their ends at a kerb a few blocks on: episode 9's call on the
    // road and the strip club; episode 11's three ways to the restaurant
    // (the yard of its fight on the way) and the drive to the airport.
    struct Spot
    {
        int episode;
        s16 id;
        float x, z;
    };
    static const Spot kDrives[] = {
        {9, -200, -70.0f, kLines[2] + 3.0f},  {9, -201, 56.0f, kLines[1] + 6.5f},
        {11, -204, 0.0f, kLines[2] + 6.5f},   {11, -206, -10.0f, kLines[2] + 3.0f},
        {11, -207, -70.0f, kLines[2] + 3.0f},
        {11, -208, 56.0f, kLines[1] + 6.5f},  {11, -209, 10.0f, kLines[1] + 3.0f},
        {11, -210, -56.0f, kLines[2] - 6.5f},
    };
    for (MissionPlaceholder& p : m)
        for (const Spot& d : kDrives)
            if (d.episode == episode && d.id == p.id)
                p = At(p.id, d.x, d.z);
    if (episode == 9 || episode == 11)
        AddBonusDrive(m);
    return m;
}

// ---------------------------------------------------------------------------
// Test cities, inside cell (0, 0).

CityDescription TestCity(TestCityKind kind)
{
    CityDescription c;
    AddSampleRoadKinds(c);
    c.models.push_back(BoxFile(kBuildings[0]));
    const float m = 128.0f;
    auto deadEnd = [&](float x, float z) { return AddJunction(c, x, z, 0.0f, 1); };
    switch (kind) {
    case TestCityKind::kCrossing: {
        const int j = AddJunction(c, m, m, 12.0f, 2 | JUNCTION_THROUGHROAD);
        c.AddSegment(deadEnd(m - 60, m), j, kNameMill, kRoadStreet);
        c.AddSegment(j, deadEnd(m + 60, m), kNameMill, kRoadStreet);
        c.AddSegment(deadEnd(m, m - 60), j, kNameElm, kRoadStreet);
        c.AddSegment(j, deadEnd(m, m + 60), kNameElm, kRoadStreet);
        CityInstance in;
        in.pos = VectorPos(m + 30, kPavementY - 3.0f, m + 30);
        in.id = 7;
        c.instances.push_back(in);
        break;
    }
    case TestCityKind::kTJunction: {
        const int j = AddJunction(c, m, m, 12.0f, 3 | JUNCTION_THROUGHROAD);
        c.AddSegment(deadEnd(m - 60, m), j, kNameMill, kRoadStreet);
        c.AddSegment(j, deadEnd(m + 60, m), kNameMill, kRoadStreet);
        c.AddSegment(j, deadEnd(m, m + 60), kNameElm, kRoadAlley);
        break;
    }
    case TestCityKind::kBend: {
        const int j = AddJunction(c, m, m, 10.0f, 1);
        c.AddSegment(deadEnd(m - 60, m), j, kNameMill, kRoadStreet);
        c.AddSegment(j, deadEnd(m, m + 60), kNameMill, kRoadStreet);
        break;
    }
    case TestCityKind::kDeadEnd:
        c.AddSegment(deadEnd(m - 40, m), deadEnd(m + 40, m), kNameCanal, kRoadAlley);
        break;
    case TestCityKind::kGroundPatch:
        c.patches.push_back(FlatPatch(m - 20, m + 20, m - 20, m + 20, kPavementY, 0));
        break;
    case TestCityKind::kBridge: {
        c.AddSegment(deadEnd(m - 60, m), deadEnd(m + 60, m), kNameMill, kRoadStreet);
        const int a = AddJunction(c, m, m - 60, 0.0f, 1), b = AddJunction(c, m, m + 60, 0.0f, 1);
        c.junctions[size_t(a)].pos = VectorPos(m, kRoadY - 8.0f, m - 60);
        c.junctions[size_t(b)].pos = VectorPos(m, kRoadY - 8.0f, m + 60);
        c.AddSegment(a, b, kNameBridge, kRoadStreet);
        break;
    }
    case TestCityKind::kKerb: {
        // A tall kerb whose face rises 0.15 over 0.05 and stops sideways
        // movement.
        CityRoadType kerb = RoadKind("Kerb", 8.0f, 5.0f, 0.15f, kNameStreet, 8.4f, {-2.5f, 2.5f}, kTexStreetRoad);
        kerb.flags |= ROADTYPE_KERBWALLS;
        kerb.full[1].v[0] = -5.05f;
        kerb.full[4].v[0] = 5.05f;
        c.roadtypes.push_back(kerb);
        c.AddSegment(deadEnd(m - 40, m), deadEnd(m + 40, m), kNameMarket, int(c.roadtypes.size()) - 1);
        break;
    }
    case TestCityKind::kQuay: {
        // The street runs along x at z = m + 10; its pavement ends at
        // z = m + 2, where the quay's paved top begins, level with it, and at
        // z = m + 18, where grass begins.  The quay's face, at z = m - 10,
        // goes down to y = 4.95 under the sea.
        c.AddSegment(deadEnd(m - 60, m + 10), deadEnd(m + 60, m + 10), kNameHarbour, kRoadStreet);
        constexpr BoxSpec quay = {60.0f, 3.0f, 6.0f, kTexPavement, false};
        c.models.push_back(BoxFile(quay));
        CityInstance in;
        in.pos = VectorPos(m, kPavementY + quay.hy, m - 4);
        in.model = 1;
        in.id = 100;
        c.instances.push_back(in);
        Placer{c, 101}.Building(0, m - 30, m - 4, VectorXZ(0.0f, 1.0f));
        c.patches.push_back(FlatPatch(m - 60, m + 60, m + 18, m + 60, kPavementY, 0));   // grass behind the street
        break;
    }
    }
    c.SortSlots();
    return c;
}

}  // namespace tools
