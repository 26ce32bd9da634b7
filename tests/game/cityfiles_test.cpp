#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "game/city_support.h"

using namespace citytest;

namespace {

// Where a fixed-up pointer may land: the record starts of every loaded cell.
struct Records
{
    std::set<const void*> junctions, segments, instances, patches, nodes;
};

Records LoadedRecords(QuadTree& qt)
{
    Records r;
    for (Grid& g : qt.grid) {
        if (g.file == nullptr || g.streamnum != -2)
            continue;
        for (u32 b = 0; b < g.file->blockCount; b++) {
            const HeaderBlock& hb = g.file->block[b];
            if (hb.data == 0)
                continue;
            u8* p = (u8*)hb.Data();
            for (int i = 0; i < hb.count; i++) {
                switch (hb.type) {
                case GRID_INSTANCES:
                    r.instances.insert(p + 32 * i);
                    break;
                case GRID_JUNCTIONS:
                case GRID_FAKEJUNCTIONS:
                    r.junctions.insert(p);
                    p = (u8*)((Junction*)p)->Next();
                    break;
                case GRID_ROADSEGS:
                    r.segments.insert(p + 80 * i);
                    break;
                case GRID_GROUNDPATCHES:
                    r.patches.insert(p + 336 * i);
                    break;
                case GRID_QUADNODES:
                    r.nodes.insert(p + 80 * i);
                    break;
                default:
                    break;
                }
            }
        }
    }
    return r;
}

class CityFiles : public CityWorld
{
};

// Every pointer the loader made lands on a record of its kind; the layout's
// tables read back as written.
TEST_F(CityFiles, SampleCityRoundTripsThroughTheLoader)
{
    tools::CityDescription city = tools::SampleCity();
    // A cross section with two coincident points, for the shading rule.
    city.roadtypes[tools::kRoadAlley].low.insert(city.roadtypes[tools::kRoadAlley].low.begin() + 1,
                                                 city.roadtypes[tools::kRoadAlley].low[1]);
    city.roadtypes[tools::kRoadAlley].iJuncLeftLow = 2;
    city.roadtypes[tools::kRoadAlley].iJuncLow = 3;
    city.roadtypes[tools::kRoadAlley].iRightEdgeLow = 4;
    Load(city);
    ASSERT_NE(world.quadtree, nullptr);
    ASSERT_TRUE(SyncTo(VectorPos(-10.0f, 0.0f, -10.0f)));

    // Layout: road kinds, speeds, lanes, shading, textures, names.
    ASSERT_EQ(qt().nRoadtypes, 3);
    const RoadType* street = qt().roadtypes[tools::kRoadStreet];
    EXPECT_FLOAT_EQ(street->speed, 0.12f);   // 8.4 stored
    EXPECT_EQ(street->lanes, (const float*)((const u8*)street + 32 + 16 * 10));
    EXPECT_EQ(street->lanes[0], -2.5f);
    EXPECT_EQ(street->ptex, &qt().textures[0]);
    EXPECT_FLOAT_EQ(street->Radius(), 8.0f);
    // Points 1 -> 2 drop vertically (the kerb face), 2 -> 3 run flat.
    EXPECT_EQ(LaneWord(street->vXSect[2][2]) & 0xFFFF, 0u);
    EXPECT_EQ(LaneWord(street->vXSect[3][2]) & 0xFFFF, 32767u);
    EXPECT_EQ(LaneWord(street->vXSect[3][3]) & 0xFFFF, 32767u);
    EXPECT_EQ(LaneWord(street->vXSect[0][2]), 0u);   // point 0 is not shaded; texture s 0
    // Texture s across the road: the strip to the right edge runs from 13/16 to 1.
    EXPECT_EQ(LaneWord(street->vXSect[5][2]) >> 16, LaneWord(13.0f / 16.0f) >> 16);
    EXPECT_EQ(LaneWord(street->vXSect[5][3]) >> 16, LaneWord(1.0f) >> 16);
    const RoadType* alley = qt().roadtypes[tools::kRoadAlley];
    EXPECT_EQ(LaneWord(alley->vXSect[8 + 2][2]) & 0xFFFF, 0u);   // coincident with the point before
    // The alley's crown rises 0.02 over 2 units: 32767 c³, c the step's x share.
    const float dy = alley->vXSect[3][1] - alley->vXSect[2][1];
    const float c = 2.0f / std::sqrt(4.0f + dy * dy);
    EXPECT_NEAR(dy, 0.02f, 1e-6f);
    EXPECT_EQ(LaneWord(alley->vXSect[3][3]) & 0xFFFF, u32(int(32767.0f * c * c * c)));
    EXPECT_LT(LaneWord(alley->vXSect[3][3]) & 0xFFFF, 32767u);
    EXPECT_EQ(qt().groundtypes[1]->ptex, &qt().textures[3]);
    EXPECT_EQ(qt().nMdlfiles, 18);   // ten buildings and eight props
    int len = 0;
    const int n = qt().num_roadnames;
    ASSERT_EQ(n, int(city.roadnames.size()));
    char* last = world.GetRoadName(len, n - 1);
    EXPECT_EQ(std::string(last, size_t(len)), "Alley");
    EXPECT_EQ(last + len, qt().roadnames[n]);
    const char* first = world.GetRoadName(len, 0);
    EXPECT_EQ(std::string(first, size_t(len)), "Harbour");
    EXPECT_EQ(world.GetRoadName(len, n), nullptr);
    EXPECT_EQ(len, 0);
    len = 5;
    EXPECT_EQ(world.GetRoadName(len, -1), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(CityIndex(2), 1);
    EXPECT_EQ(CityIndex(4), 0);

    // Cells: every pointer lands on a record of its kind.
    const Records r = LoadedRecords(qt());
    EXPECT_EQ(r.junctions.size(), 17u + 16u);   // 17 real, a fake per cell and far junction of each border road
    EXPECT_EQ(r.segments.size(), 25u + 8u);     // the 8 border roads twice
    EXPECT_EQ(r.patches.size(), 16u);
    EXPECT_EQ(r.instances.size(), city.instances.size());
    int nodes = 0, junctions = 0, fakes = 0, instances = 0, occluders = 0;
    for (Grid& g : qt().grid) {
        if (g.root == nullptr)
            continue;
        Junction* f = g.fakejunctions;
        for (int i = 0; i < g.nFake; i++, f = f->Next()) {
            fakes++;
            EXPECT_EQ(f->u8Flags, JUNCTION_FAKE);
            int held = 0;
            for (int k = 0; k < f->nRoadsegs; k++)
                held += f->roadsegs[k] != nullptr;
            EXPECT_GE(held, 1);
        }
        for (QuadNode* qn : {g.root}) {
            std::vector<QuadNode*> stack{qn};
            while (!stack.empty()) {
                QuadNode* node = stack.back();
                stack.pop_back();
                nodes++;
                EXPECT_TRUE(r.nodes.count(node));
                u32 below = 0;
                for (QuadNode* ch : node->child)
                    if (ch != nullptr) {
                        EXPECT_TRUE(r.nodes.count(ch));
                        below |= ch->Flags();
                        stack.push_back(ch);
                    }
                const u32 own = (node->nObjects ? u32(QN_INSTANCES) : 0u) | (node->nJunctions ? u32(QN_JUNCTIONS) : 0u) |
                                (node->nRoadSegs ? u32(QN_ROADSEGS) : 0u) |
                                (node->nGroundPatches ? u32(QN_GROUNDPATCHES) : 0u);
                EXPECT_EQ(node->Flags(), own | below);   // exact for the subtree
                EXPECT_EQ(node->zone & 0x8000, 0x8000);
                for (int k = 0; k < node->nObjects; k++) {
                    instances++;
                    EXPECT_TRUE(r.instances.count(&node->objects[k]));
                    // Lights and signs (kind 14) become real as their cell arrives; the rest wait.
                    const MdlfileCache& m = qt().mdlfiles[node->objects[k].mdlfileid];
                    EXPECT_EQ(node->objects[k].obj != nullptr, m.nodes[0].extra == 14);
                }
                for (int k = 0; k < node->nRoadSegs; k++) {
                    const RoadSeg& rs = node->roadsegs[k];
                    EXPECT_TRUE(r.segments.count(&rs));
                    EXPECT_TRUE(rs.type == qt().roadtypes[0] || rs.type == qt().roadtypes[1] ||
                                rs.type == qt().roadtypes[2]);
                    for (Junction* j : rs.jtn)
                        EXPECT_TRUE(r.junctions.count(j));
                    EXPECT_EQ(rs.flags & 1, 0);
                }
                for (int k = 0; k < node->nGroundPatches; k++) {
                    const GroundPatch& gp = node->groundpatches[k];
                    EXPECT_TRUE(r.patches.count(&gp));
                    EXPECT_TRUE(gp.Type() == qt().groundtypes[0] || gp.Type() == qt().groundtypes[1]);
                    EXPECT_EQ(gp.texmat.w[2], 1.0f);
                    EXPECT_EQ(gp.texmat.y[2], 0.0f);
                    EXPECT_EQ(FileWordPtr<void>(LaneWord(gp.patch.p[3][3])), (const void*)&gp);
                }
                Junction* j = node->junctions;
                for (int k = 0; k < node->nJunctions; k++, j = j->Next()) {
                    junctions++;
                    EXPECT_TRUE(r.junctions.count(j));
                    EXPECT_EQ((u8*)j->pbezCurbs, (u8*)j + JunctionFile::KerbOffset(j->nRoadsegs));
                    for (int s = 0; s < j->nRoadsegs; s++) {
                        EXPECT_TRUE(r.segments.count(j->roadsegs[s]));
                        EXPECT_EQ(j->pbezCurbs[s].c3[3], 0.0f);
                    }
                    EXPECT_LT(j->radius, 100.0f);
                }
                Occluder* o = node->occluders;
                for (int k = 0; k < node->nOccluders; k++, o = o->Next()) {
                    occluders++;
                    EXPECT_EQ(o->Count(), 4);
                }
            }
        }
    }
    EXPECT_EQ(junctions, 17);
    EXPECT_EQ(fakes, 16);
    EXPECT_EQ(instances, int(city.instances.size()));
    EXPECT_EQ(occluders, int(city.occluders.size()));
    EXPECT_GT(nodes, 4);
    // Every model listed by a cell is resident and counted once per cell.
    for (int m = 0; m < qt().nMdlfiles; m++)
        if (qt().mdlfiles[m].refs > 0) {
            EXPECT_TRUE(qt().mdlfiles[m].Resident()) << m;
        }
}

namespace {

// A road kind's surface as the writer makes it, read back texel by texel
// (an 8-bit picture: its palette in the 16 x 16 storage order, then the
// indices), by offset from the centre line and texel row along the road.
struct Surface
{
    const tools::TextureImage& tex;
    float pavement;

    int Width() const { return tex.record.width; }
    int Height() const { return tex.record.height; }
    std::array<int, 3> At(int x, int y) const
    {
        const u8 i = tex.image[1024 + size_t(y) * size_t(Width()) + size_t(x)];
        const u8* c = &tex.image[4 * size_t(tools::ClutSlot256(i))];
        return {c[0], c[1], c[2]};
    }
    // The texel columns covering offsets from..to.
    std::pair<int, int> Columns(float from, float to) const
    {
        auto col = [&](float off) { return std::clamp(int((off + pavement) / (2 * pavement) * Width()), 0, Width() - 1); };
        return {col(from), col(to)};
    }
    static bool White(const std::array<int, 3>& c) { return c[0] > 190 && c[1] > 190 && c[2] > 190; }
    static bool Yellow(const std::array<int, 3>& c) { return c[0] > 180 && c[1] > 130 && c[2] < 100; }
    // How many rows show a texel `paint` says yes to between offsets from..to.
    template <class F>
    int RowsWith(float from, float to, F paint) const
    {
        const auto [x0, x1] = Columns(from, to);
        int rows = 0;
        for (int y = 0; y < Height(); y++) {
            bool any = false;
            for (int x = x0; x <= x1; x++)
                any = any || paint(At(x, y));
            rows += any;
        }
        return rows;
    }
    // The mean brightness between offsets from..to over every row.
    double Mean(float from, float to) const
    {
        const auto [x0, x1] = Columns(from, to);
        double sum = 0;
        for (int y = 0; y < Height(); y++)
            for (int x = x0; x <= x1; x++)
                sum += (At(x, y)[0] + At(x, y)[1] + At(x, y)[2]) / 3.0;
        return sum / (double(x1 - x0 + 1) * Height());
    }
};

}  // namespace

// The sample city's streets and avenues are asphalt with lane markings,
// their pavements paved.  Read from the writer's own cross sections: a
// solid white line just inside each kerb; the street's two ways parted by
// white dashes (painted over a fifth to a half of the road's length); the
// avenue's two ways by a solid double yellow line and its lanes running
// the same way by white dashes; nothing painted where the wheels run (half
// a unit about each lane's centre); the pavements lighter than the asphalt.
TEST(CitySurfaces, StreetsAndAvenuesShowTheirLaneMarkings)
{
    const tools::CityDescription city = tools::SampleCity();
    for (int kind : {tools::kRoadStreet, tools::kRoadAvenue}) {
        const tools::CityRoadType& rt = city.roadtypes[size_t(kind)];
        SCOPED_TRACE(rt.name);
        const float pavement = rt.full.back().v[0], carriageway = rt.full[size_t(rt.iRightEdge) - 1].v[0];
        ASSERT_LT(size_t(rt.texture), city.textures.size());
        const Surface s{city.textures[rt.texture], pavement};
        ASSERT_GE(s.Width(), 64);
        ASSERT_EQ(s.tex.image.size(), 1024 + size_t(s.Width() * s.Height()));
        const int all = s.Height();
        // The edge lines, solid.
        EXPECT_EQ(s.RowsWith(-carriageway, -carriageway + 0.5f, Surface::White), all);
        EXPECT_EQ(s.RowsWith(carriageway - 0.5f, carriageway, Surface::White), all);
        // Clear where the wheels run.
        for (float lane : rt.lanes) {
            EXPECT_EQ(s.RowsWith(lane - 0.5f, lane + 0.5f, Surface::White), 0) << lane;
            EXPECT_EQ(s.RowsWith(lane - 0.5f, lane + 0.5f, Surface::Yellow), 0) << lane;
            EXPECT_LT(s.Mean(lane - 0.5f, lane + 0.5f), 100.0) << lane;
        }
        // Between lanes.
        for (size_t i = 1; i < rt.lanes.size(); i++) {
            const float at = (rt.lanes[i - 1] + rt.lanes[i]) / 2.0f;
            const bool centre = rt.lanes[i - 1] < 0.0f && rt.lanes[i] >= 0.0f;
            if (centre && rt.lanes.size() >= 4) {
                EXPECT_EQ(s.RowsWith(at - 0.3f, at, Surface::Yellow), all) << at;
                EXPECT_EQ(s.RowsWith(at, at + 0.3f, Surface::Yellow), all) << at;
                EXPECT_EQ(s.RowsWith(at - 0.04f, at + 0.04f, Surface::Yellow), 0) << at;
            } else {
                const int dashed = s.RowsWith(at - 0.15f, at + 0.15f, Surface::White);
                EXPECT_GE(dashed, all / 5) << at;
                EXPECT_LE(dashed, all / 2) << at;
            }
        }
        // Paving either side.
        const double asphalt = s.Mean(rt.lanes.front() - 0.5f, rt.lanes.front() + 0.5f);
        EXPECT_GT(s.Mean(-pavement, -carriageway - 0.5f), asphalt + 40.0);
        EXPECT_GT(s.Mean(carriageway + 0.5f, pavement), asphalt + 40.0);
    }
}

TEST_F(CityFiles, JunctionShapesOfTheTestCitiesFollowTheSlotRules)
{
    // A T: the through road in slots 0/1, flag 8; a crossing: 0/2.
    for (tools::TestCityKind kind : {tools::TestCityKind::kTJunction, tools::TestCityKind::kCrossing}) {
        const tools::CityDescription c = tools::TestCity(kind);
        const tools::CityJunction& j = c.junctions[0];
        const size_t other = kind == tools::TestCityKind::kTJunction ? 1 : 2;
        EXPECT_EQ(c.segments[size_t(j.slots[0])].id, c.segments[size_t(j.slots[other])].id);
        std::string error;
        EXPECT_TRUE(tools::CheckCity(c, error)) << error;
    }
    // The writer refuses what the game cannot use.
    std::string error;
    tools::CityDescription bad = tools::TestCity(tools::TestCityKind::kTJunction);
    std::swap(bad.junctions[0].slots[1], bad.junctions[0].slots[2]);
    EXPECT_FALSE(tools::CheckCity(bad, error));
    EXPECT_NE(error.find("slots 0/1"), std::string::npos) << error;
    bad = tools::TestCity(tools::TestCityKind::kCrossing);
    bad.junctions[0].radius = 100.0f;
    EXPECT_FALSE(tools::CheckCity(bad, error));
    bad = tools::TestCity(tools::TestCityKind::kCrossing);
    bad.roadtypes[0].full.resize(53, VectorXY(9.0f, -1.0f));
    EXPECT_FALSE(tools::CheckCity(bad, error));
    bad = tools::TestCity(tools::TestCityKind::kCrossing);
    bad.segments[0].flags = 1;
    EXPECT_FALSE(tools::CheckCity(bad, error));

    // Each test city loads and completes; the kerb city's pavement stands 0.15 up.
    for (tools::TestCityKind kind : {tools::TestCityKind::kBend, tools::TestCityKind::kDeadEnd,
                                     tools::TestCityKind::kGroundPatch, tools::TestCityKind::kBridge,
                                     tools::TestCityKind::kKerb}) {
        tools::CityFiles f;
        ASSERT_TRUE(tools::WriteCity(tools::TestCity(kind), f, error)) << error;
    }
    Load(tools::TestCity(tools::TestCityKind::kKerb));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    const RoadType* kerb = qt().roadtypes[3];
    EXPECT_FLOAT_EQ(kerb->vXSect[2][1] - kerb->vXSect[1][1], 0.15f);
}

// Records and their edge cases.
TEST(CityRecords, IndexRowsUnpackedRotationsJunctionSizesAndTraversal)
{
    // Rows 62 and 63; row 63 holds columns 64 .. 65, row 62 only column 64.
    u32 idx[] = {62u | 63u << 8, 64u | 64u << 8 | 3u << 16, 64u | 65u << 8 | 5u << 16, 100, 76, 200, 0, 300, 80};
    IndexTable* t = (IndexTable*)idx;
    ASSERT_TRUE(IndexTable::Check(t, sizeof idx));
    EXPECT_FALSE(IndexTable::Check(t, sizeof idx - 4));
    // Every word is a head, a span or a pair: a pair table that does not start
    // where the last ended, a word past the last pair, or the file zeroed or
    // its head inverted in place (one row of one cell at word 0) is refused.
    u32 moved[std::size(idx) + 2] = {};
    std::copy(std::begin(idx), std::end(idx), moved);
    moved[2] += 2u << 16;
    EXPECT_FALSE(IndexTable::Check((IndexTable*)moved, sizeof moved));
    u32 longer[std::size(idx) + 1] = {};
    std::copy(std::begin(idx), std::end(idx), longer);
    EXPECT_FALSE(IndexTable::Check((IndexTable*)longer, sizeof longer));
    u32 zeroed[std::size(idx)] = {};
    EXPECT_FALSE(IndexTable::Check((IndexTable*)zeroed, sizeof zeroed));
    u32 inverted[std::size(idx)];
    for (size_t i = 0; i < std::size(idx); i++)
        inverted[i] = ~idx[i];
    EXPECT_FALSE(IndexTable::Check((IndexTable*)inverted, sizeof inverted));
    // A city without cells is its head alone.
    const u32 none[2] = {1, 0};
    EXPECT_TRUE(IndexTable::Check((const IndexTable*)none, 4));
    EXPECT_FALSE(IndexTable::Check((const IndexTable*)none, 8));
    u32 off = 0, size = 0;
    EXPECT_TRUE(t->Find(0, -2, off, size));
    EXPECT_EQ(off, 100u);
    EXPECT_FALSE(t->Find(1, -2, off, size));   // inside the rows, outside the row's span
    EXPECT_FALSE(t->Find(-1, -1, off, size));
    EXPECT_TRUE(t->Find(0, -1, off, size));
    EXPECT_EQ(size, 0u);                        // present but empty
    EXPECT_TRUE(t->Find(1, -1, off, size));
    EXPECT_EQ(off, 300u);
    EXPECT_FALSE(t->Find(0, 0, off, size));

    // Packed rotations: ±511 is ±0.70642; an over-long vector leaves s = 0.
    const Quaternion q511 = UnpackQuat(511u | (0x3FFu - 510u) << 10 | 511u << 20);
    EXPECT_NEAR(q511[0], 0.70642f, 1e-5f);
    EXPECT_NEAR(q511[1], -0.70642f, 1e-5f);
    EXPECT_EQ(q511[3], 0.0f);
    for (u32 n = 0; n < 4; n++) {
        const Quaternion q = UnpackQuat(100u | 200u << 10 | (0x3FFu - 49u) << 20 | n << 30);
        const float a = 100 * UNPACKQUAT_SCALE, b = 200 * UNPACKQUAT_SCALE, c = -50 * UNPACKQUAT_SCALE;
        const float s = std::sqrt(1.0f - (a * a + b * b + c * c));
        const float want[4][4] = {{a, b, c, s}, {b, c, s, a}, {c, s, a, b}, {s, a, b, c}};
        for (int i = 0; i < 4; i++)
            EXPECT_NEAR(q[i], want[n][i], 1e-6f) << n;
        // The matrix is orthonormal and matches the reference rows.
        const Matrix m = Matrix(q);
        const float x = q[0], y = q[1], z = q[2], w = q[3];
        EXPECT_NEAR(m.x[0], 1 - 2 * (y * y + z * z), 1e-5f);
        EXPECT_NEAR(m.x[1], 2 * (x * y - z * w), 1e-5f);
        EXPECT_NEAR(m.z[1], 2 * (y * z + x * w), 1e-5f);
        EXPECT_NEAR(Dot(m.x.xyz(), m.y.xyz()), 0.0f, 1e-5f);
        EXPECT_NEAR(Dot(m.z.xyz(), m.z.xyz()), 1.0f, 1e-5f);
        // The writer packs it back to the same word.
        EXPECT_EQ(tools::PackQuat(q), 100u | 200u << 10 | (0x3FFu - 49u) << 20 | n << 30);
    }
    Instance in{};
    in.loc = Vector(1, 2, 3, WordLane(0));
    in.scale = -128;
    EXPECT_EQ(in.GetMatrix().x[0], 0.0f);
    in.scale = 127;
    EXPECT_FLOAT_EQ(in.GetMatrix().y[1], 1.9921875f);
    in.scale = 0;
    EXPECT_EQ(in.GetMatrix().z[2], 1.0f);
    EXPECT_EQ(in.GetMatrix().w, Vector(1, 2, 3, 1));

    // Junction sizes: 28 + 4n raised to 16, then the kerbs.
    EXPECT_EQ(JunctionFile::Size(0), 32u);
    EXPECT_EQ(JunctionFile::Size(1), 32u + 64u);
    EXPECT_EQ(JunctionFile::Size(2), 48u + 128u);
    EXPECT_EQ(JunctionFile::Size(4), 48u + 256u);

    // Traversal: segments a, b, c meet at j; a and c share an id.
    alignas(16) u8 jbuf[JunctionFile::Size(4)] = {};
    Junction* j = (Junction*)jbuf;
    RoadSeg a{}, b{}, c{}, d{};
    a.id = 5;
    b.id = 6;
    c.id = 5;
    d.id = 5;
    j->nRoadsegs = 3;
    j->roadsegs[0] = &a;
    j->roadsegs[1] = &b;
    j->roadsegs[2] = &c;
    a.jtn[1] = j;
    c.jtn[1] = j;   // c ends here too
    bool forward = true;
    EXPECT_EQ(a.Next(forward), &c);
    EXPECT_FALSE(forward);
    forward = false;
    EXPECT_EQ(a.Next(forward), nullptr);   // no junction at a's start
    EXPECT_FALSE(forward);
    // Two others share the id: the first in slot order.
    j->nRoadsegs = 4;
    j->roadsegs[3] = &d;
    d.jtn[0] = j;
    forward = true;
    EXPECT_EQ(b.Next(forward), nullptr);   // b does not name j at its end
    forward = true;
    EXPECT_EQ(d.Next(forward = false), &a);
    EXPECT_FALSE(forward);
    EXPECT_EQ(j->Next(&d), &a);            // after the last comes the first
    EXPECT_EQ(j->Prev(&a), &d);
    j->roadsegs[1] = nullptr;
    EXPECT_EQ(j->Next(&a), &a);            // an empty following slot
    EXPECT_EQ(j->Next(&b), nullptr);       // b is in no slot
    j->nRoadsegs = 0;
    EXPECT_EQ(j->Next(&a), nullptr);
    forward = true;
    EXPECT_EQ(a.Next(forward), nullptr);

    // A flat patch's box has no height.
    GroundPatch gp{};
    for (int i = 0; i < 16; i++)
        gp.patch.p[i] = Vector(float(i % 4), -1.05f, float(i / 4), 0.0f);
    const Cuboid box = gp.GetBox();
    EXPECT_EQ(box.min[1], box.max[1]);
    EXPECT_EQ(box.max[0], 3.0f);
}

// Malformed files are refused before anything is changed.
TEST_F(CityFiles, CorruptedFilesLeaveNoCityOrAnEmptyCell)
{
    std::string error;
    ASSERT_TRUE(tools::WriteCity(tools::SampleCity(), files, error)) << error;
    testing::internal::CaptureStdout();
    // A truncated index, a layout whose road kind lies outside it.
    std::vector<u8> idx = files.idx;
    world.InitCity(HeapCopy(idx), 6, HeapCopy(files.exp), u32(files.exp.size()));
    EXPECT_EQ(world.quadtree, nullptr);
    std::vector<u8> exp = files.exp;
    const LayoutFile* lf = (const LayoutFile*)exp.data();
    u32 table = 0;
    for (const HeaderBlock& b : lf->block)
        if (b.type == LAYOUT_ROADTYPES)
            table = b.data;
    const u32 bad = u32(exp.size()) + 16;
    std::memcpy(exp.data() + table + 4, &bad, 4);
    world.InitCity(HeapCopy(files.idx), u32(files.idx.size()), HeapCopy(exp), u32(exp.size()));
    EXPECT_EQ(world.quadtree, nullptr);
    // Two road kinds naming one record, whose lane offset would be made a
    // pointer twice.
    exp = files.exp;
    std::memcpy(exp.data() + table + 4, exp.data() + table, 4);
    world.InitCity(HeapCopy(files.idx), u32(files.idx.size()), HeapCopy(exp), u32(exp.size()));
    EXPECT_EQ(world.quadtree, nullptr);
    // The layout zeroed in place: a directory of no blocks over its length.
    const std::vector<u8> zexp(files.exp.size(), 0);
    world.InitCity(HeapCopy(files.idx), u32(files.idx.size()), HeapCopy(zexp), u32(zexp.size()));
    EXPECT_EQ(world.quadtree, nullptr);
    // Without a city the world waits for nothing and finds nothing.
    EXPECT_TRUE(world.SyncTo(VectorPos(0, 0, 0)));
    EXPECT_TRUE(world.ExistsAt(VectorPos(0, 0, 0)));
    EXPECT_TRUE(world.CompleteAt(VectorPos(0, 0, 0)));
    EXPECT_EQ(world.FindClosestCityObject(VectorPos(0, 0, 0), 10.0f), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("City: the cell index is malformed (KORVALIS\\DemoCity\\TEST.IDX); the world has no city"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("road type 1 lies outside the file"), std::string::npos) << out;
    EXPECT_NE(out.find("road type 1 shares words with another record or table"), std::string::npos) << out;
    EXPECT_NE(out.find("City: the layout is malformed (KORVALIS\\DemoCity\\TEST.EXP): its block directory names no "
                       "data, yet it holds " + std::to_string(zexp.size()) + " bytes"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("nothing streams"), std::string::npos) << out;   // said once, with the cause

    // A world that never had a city says so once, on its first use.
    world.reportedNoCity = false;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(world.SyncTo(VectorPos(0, 0, 0)));
    EXPECT_TRUE(world.SyncTo(VectorPos(0, 0, 0)));
    EXPECT_TRUE(world.ExistsAt(VectorPos(0, 0, 0)));
    int len = 3;
    EXPECT_EQ(world.GetRoadName(len, 0), nullptr);
    EXPECT_EQ(world.FindCityObject(1, Cuboid(VectorPos(-9, -9, -9), VectorPos(9, 9, 9))), nullptr);
    const std::string once = testing::internal::GetCapturedStdout();
    EXPECT_EQ(once, "City: the world has no city; nothing streams\n");

    // A cell whose road segment names a junction that is not there: that cell
    // stays empty (said once), the others load.
    std::vector<u8>& mgd = files.mgd;
    u32 offset = 0, size = 0;
    ((IndexTable*)files.idx.data())->Find(0, 0, offset, size);
    GridFile* cell = (GridFile*)(mgd.data() + offset);
    u32 segs = 0;
    for (u32 b = 0; b < cell->blockCount; b++)
        if (cell->block[b].type == GRID_ROADSEGS)
            segs = cell->block[b].data;
    const u32 wrong = 8;
    std::memcpy(mgd.data() + offset + segs + 64, &wrong, 4);
    testing::internal::CaptureStdout();
    LoadFiles();
    ASSERT_NE(world.quadtree, nullptr);
    ASSERT_TRUE(SyncTo(VectorPos(10, 0, 10)));
    const std::string cells = testing::internal::GetCapturedStdout();
    EXPECT_NE(cells.find("City: cell (0, 0) is malformed (road segment 0 ends at 0x8, not a junction)"),
              std::string::npos)
        << cells;
    EXPECT_EQ(qt().grid[QuadTree::Slot(0, 0)].root, nullptr);
    EXPECT_NE(qt().grid[QuadTree::Slot(-1, 0)].root, nullptr);
    EXPECT_TRUE(world.CompleteAt(VectorPos(10, 0, 10)));

    // A cell naming one block twice: its second copy would go unchecked.
    std::vector<u8> twice = std::vector<u8>(mgd.begin() + offset, mgd.begin() + offset + size);
    GridFile* tw = (GridFile*)twice.data();
    for (u32 b = 0; b < tw->blockCount; b++)
        if (tw->block[b].type == GRID_RELOCATIONS)
            tw->block[b] = tw->block[0];
    char why[256] = "";
    EXPECT_FALSE(Grid::Check(tw, size, &qt(), why));
    EXPECT_STREQ(why, "block type 0 appears twice");
    // A cell zeroed in place names no block, yet has the cell's length.
    std::vector<u8> zcell(size, 0);
    EXPECT_FALSE(Grid::Check((const GridFile*)zcell.data(), size, &qt(), why));
    EXPECT_EQ(std::string(why), "its block directory names no data, yet it holds " + std::to_string(size) + " bytes");

    // A mission file shorter than its head.
    void* m = malloc_align(64, 64);
    std::memset(m, 0, 64);
    ((MissionFile*)m)->block[0] = HeaderBlock{0, 3, 16};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(world.LoadMissionData(m, 40));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(world.placeholderlist.IsEmpty());
}

// A cell's words that become pointers must stay what the check saw: a
// relocation may not name one (or a block's word at all, or a word twice),
// nor add a base outside the cell; an instance's object word, which the
// game reads as its real object, must be 0; and a quad node may have one
// parent only, or the walks would visit its subtree once per path.  Each
// is refused with the reason; the cell as written and a relocation of a
// word outside the blocks are taken.
TEST_F(CityFiles, CellsWhoseWordsWouldBecomeWildPointersAreRefused)
{
    Load(tools::SampleCity());
    u32 offset = 0, size = 0;
    ASSERT_TRUE(indextable->Find(0, 0, offset, size));
    const std::vector<u8> cell(files.mgd.begin() + offset, files.mgd.begin() + offset + size);
    auto block = [&](const std::vector<u8>& c, u16 type) {
        const GridFile* g = (const GridFile*)c.data();
        for (u32 b = 0; b < g->blockCount; b++)
            if (g->block[b].type == type)
                return g->block[b];
        return HeaderBlock{0xFFFF, 0, 0};
    };
    auto put = [](std::vector<u8>& c, u32 at, u32 value) { std::memcpy(&c[at], &value, 4); };
    auto word = [](const std::vector<u8>& c, u32 at) {
        u32 w;
        std::memcpy(&w, &c[at], 4);
        return w;
    };
    auto check = [&](const std::vector<u8>& c, std::string& why) {
        std::vector<u8> copy = c;   // 16-byte aligned by the allocator
        char text[256] = "";
        const bool ok = Grid::Check((const GridFile*)copy.data(), u32(copy.size()), &qt(), text);
        why = text;
        return ok;
    };
    std::string why;
    ASSERT_TRUE(check(cell, why)) << why;

    // The relocation table moved to the end of the cell with room for one
    // relocation, and a spare word after it (a word no block holds).
    const HeaderBlock nodes = block(cell, GRID_QUADNODES), segs = block(cell, GRID_ROADSEGS),
                      juncs = block(cell, GRID_JUNCTIONS), inst = block(cell, GRID_INSTANCES);
    ASSERT_GT(nodes.count, 1);
    ASSERT_GT(segs.count, 0);
    ASSERT_GT(juncs.count, 0);
    ASSERT_GT(inst.count, 0);
    std::vector<u8> reloc = cell;
    const u32 table = u32(reloc.size()), spare = table + 8;
    reloc.resize(reloc.size() + 16, 0);
    GridFile* g = (GridFile*)reloc.data();
    for (u32 b = 0; b < g->blockCount; b++)
        if (g->block[b].type == GRID_RELOCATIONS)
            g->block[b] = HeaderBlock{GRID_RELOCATIONS, 2, table};
    auto relocating = [&](u32 base, u32 at) {
        std::vector<u8> c = reloc;
        put(c, table, base);
        put(c, table + 4, at);
        return c;
    };
    EXPECT_TRUE(check(relocating(0, spare), why)) << why;
    struct Case {
        u32 base, at;
        std::string reason;
    };
    char hex[128];
    auto names = [&](u32 at) {
        std::snprintf(hex, sizeof hex, "relocation 1 names 0x%X, a word of a block or relocated already", at);
        return std::string(hex);
    };
    for (const Case& k : {Case{0, nodes.data + 4, names(nodes.data + 4)},             // a quad node's child
                          Case{0, juncs.data + 28, names(juncs.data + 28)},           // a junction's first slot
                          Case{0, segs.data + 64, names(segs.data + 64)},             // a segment's junction
                          Case{0, inst.data + 28, names(inst.data + 28)},             // an instance's object
                          Case{0, 8, names(8)},                                       // the block directory
                          Case{0, table + 4, names(table + 4)},                       // the table itself
                          Case{u32(reloc.size()), spare, ""}}) {   // a base past the cell's end
        std::string reason = k.reason;
        if (reason.empty()) {
            std::snprintf(hex, sizeof hex, "the relocation base 0x%X lies outside the cell", k.base);
            reason = hex;
        }
        EXPECT_FALSE(check(relocating(k.base, k.at), why)) << reason;
        EXPECT_EQ(why, reason);
    }

    // An instance's object word set.
    std::vector<u8> obj = cell;
    put(obj, inst.data + 28, 0x1234);
    EXPECT_FALSE(check(obj, why));
    EXPECT_EQ(why, "instance 0's object word is 0x1234, not 0");

    // A node that is also the child of a second, earlier node: the root
    // takes a grandchild in a slot of its own.  The root is checked first,
    // so the grandchild's own parent is the one refused.
    std::vector<u8> shared = cell;
    u32 parent = 0, slot = 0, child = 0;
    for (u32 n = 1; n < nodes.count && child == 0; n++)
        for (u32 c = 0; c < 4 && child == 0; c++)
            if (word(cell, nodes.data + 80 * n + 4 * c) != 0) {
                parent = n;
                slot = c;
                child = word(cell, nodes.data + 80 * n + 4 * c);
            }
    ASSERT_NE(child, 0u) << "no node below the root's children";
    put(shared, nodes.data + 12, child);
    EXPECT_FALSE(check(shared, why));
    char reason[128];
    std::snprintf(reason, sizeof reason, "quad node %u's child %u, node %u, has another parent", parent, slot,
                  (child - nodes.data) / 80);
    EXPECT_EQ(why, reason);
}

}  // namespace
