// The ground of the streamed city: the sample city's roads, junctions and
// ground patches as closed ground, the test cities' surfaces and their
// caches.
#include "game/city_support.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "ZevEngine2/collision_support.h"

using citytest::CityWorld;
using colltest::ExpectNear;

class CityGround : public CityWorld
{
};

namespace {

// Inside the ring's outer pavement edges: at three corners the ring bends
// round an arc of radius 10 about (±86, ±86), so its outer edge there lies 18
// from that centre (the sample stays half a unit inside); at the fourth the
// alley (pavements 5 wide) leaves eastward from a junction of radius 10, and
// the corner pavement there narrows from the street's edge to the alley's.
bool InsideRing(float x, float z)
{
    if (std::fabs(x) <= 88.0f || std::fabs(z) <= 88.0f)
        return true;
    if (x > 0.0f && z < 0.0f)
        return x <= 96.0f || (std::hypot(x - 96.0f, z + 96.0f) < 10.0f && z > -100.5f);
    return std::hypot(std::fabs(x) - 86.0f, std::fabs(z) - 86.0f) < 17.5f;
}

}  // namespace

// Every 0.5 units over the area inside the ring's outer pavement edges there
// is ground, and neighbouring samples differ by no more than the designed
// kerb step of 0.05 and a margin: seams at mouths, cell borders and patches
// leave no holes and no ledges.
TEST_F(CityGround, SampleCityIsClosedGround)
{
    Load(tools::SampleCity());
    ASSERT_TRUE(SyncTo(VectorPos(0.0f, 0.0f, 0.0f)));
    constexpr int N = 416;   // -103.75 .. 103.75, inside the edges
    std::vector<float> h(size_t(N) * N);
    int holes = 0;
    for (int zi = 0; zi < N; zi++)
        for (int xi = 0; xi < N; xi++) {
            const VectorPos p(-103.75f + 0.5f * xi, -1.5f, -103.75f + 0.5f * zi);
            if (!InsideRing(p[0], p[2])) {
                h[size_t(zi) * N + xi] = NAN;
                continue;
            }
            VectorDir n;
            const float y = world.GroundHeight(p, &n, nullptr);
            h[size_t(zi) * N + xi] = y;
            if (!(y < 0.0f) && holes++ < 10)
                ADD_FAILURE() << "no ground at " << p[0] << ", " << p[2];
        }
    EXPECT_EQ(holes, 0);
    int ledges = 0;
    for (int zi = 0; zi < N; zi++)
        for (int xi = 0; xi < N; xi++) {
            const float y = h[size_t(zi) * N + xi];
            for (int d = 0; d < 2; d++) {
                const int x2 = xi + (d == 0), z2 = zi + (d == 1);
                if (x2 >= N || z2 >= N)
                    continue;
                const float y2 = h[size_t(z2) * N + x2];
                if (std::isnan(y) || std::isnan(y2))
                    continue;
                if (std::fabs(y - y2) > 0.06f && ledges++ < 10)
                    ADD_FAILURE() << "ledge of " << y2 - y << " from " << -103.75f + 0.5f * xi << ", "
                                  << -103.75f + 0.5f * zi << " (" << y << ")";
            }
        }
    EXPECT_EQ(ledges, 0);
}

namespace {

constexpr float M = 128.0f;   // the test cities' middle
constexpr float ROAD = -1.0f, PAVEMENT = -1.05f;

Junction* JunctionAt(QuadTree& qt, float x, float z)
{
    const VectorPos p(x, ROAD, z);
    Grid* g = qt.LoadedGrid(p);
    return g != nullptr ? g->FindJunction(p) : nullptr;
}

// Kerb i moved out to the carriageway edges of the roads beside it, and its
// midpoint, the corner of the junction's middle.
VectorPos Corner(const Junction* j, int i)
{
    const int n = j->nRoadsegs;
    const RoadSeg* a = j->roadsegs[(i + n - 1) % n];
    const RoadSeg* b = j->roadsegs[i];
    const float d0 = a->jtn[1] == j ? a->type->vXSect[a->type->iJunc][0] : -a->type->vXSect[a->type->iJuncLeft][0];
    const float d1 = b->jtn[1] == j ? -b->type->vXSect[b->type->iJuncLeft][0] : b->type->vXSect[b->type->iJunc][0];
    return VectorPos(JunctionOffset(j->pbezCurbs[i], d0, d1).Evaluate(0.5f).v);
}

// The height over (x, z) of the plane through three points.
float PlaneHeight(VectorPos a, VectorPos b, VectorPos c, float x, float z)
{
    const VectorXYZ n = VectorXYZ(b - a) ^ VectorXYZ(c - a);
    return a[1] - (n[0] * (x - a[0]) + n[2] * (z - a[2])) / n[1];
}

GHCache ZeroCache()
{
    GHCache c;
    std::memset(&c, 0, sizeof c);
    return c;
}

}  // namespace

TEST(GroundStep, SurfacesWithinAStepAndTheHighestReachable)
{
    const float P = -2.0f;
    // Best below the feet: a surface up to a step above is taken.
    EXPECT_TRUE(GroundStepAccepts(P, P - 0.3f, -1.0f));
    EXPECT_FALSE(GroundStepAccepts(P, P - 0.32f, -1.0f));
    // Best at or above the feet: the one above is taken when it lies below
    // the best (S > B).
    EXPECT_TRUE(GroundStepAccepts(P, P - 0.32f, P - 0.4f));
    EXPECT_FALSE(GroundStepAccepts(P, P - 0.32f, P - 0.1f));
    EXPECT_FALSE(GroundStepAccepts(P, P - 0.32f, P));
    // Below the feet: the higher of two, or anything when the best is out of
    // reach above.
    EXPECT_TRUE(GroundStepAccepts(P, -1.5f, -1.0f));
    EXPECT_FALSE(GroundStepAccepts(P, -0.5f, -1.0f));
    EXPECT_TRUE(GroundStepAccepts(P, -0.5f, P - 0.32f));
    EXPECT_FALSE(GroundStepAccepts(P, -0.5f, P - 0.3f));
    EXPECT_TRUE(GroundStepAccepts(P, -0.5f, -1e38f));
}

TEST_F(CityGround, BridgeOverARoad)
{
    Load(tools::TestCity(tools::TestCityKind::kBridge));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    // The bridge runs 8 above the road where they cross.
    EXPECT_NEAR(world.GroundHeight(VectorPos(M, ROAD - 0.1f, M), nullptr, nullptr), ROAD, 1e-4f);
    EXPECT_NEAR(world.GroundHeight(VectorPos(M, ROAD - 8.1f, M), nullptr, nullptr), ROAD - 8.0f, 1e-4f);
    // From high above, the bridge; from between, the road.
    EXPECT_NEAR(world.GroundHeight(VectorPos(M, -20.0f, M), nullptr, nullptr), ROAD - 8.0f, 1e-4f);
    EXPECT_NEAR(world.GroundHeight(VectorPos(M, ROAD - 7.0f, M), nullptr, nullptr), ROAD, 1e-4f);
}

TEST_F(CityGround, KerbWallsStopASidewaysWalk)
{
    Load(tools::TestCity(tools::TestCityKind::kKerb));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    // The road runs along +x, so lateral offset u lies at z = M - u; the
    // carriageway ends at u = 5 and the kerb top, 0.15 up, starts at 5.05.
    GHCache cache = ZeroCache();
    VectorDir n;
    EXPECT_NEAR(world.GroundHeight(VectorPos(M, ROAD, M - 4.9f), &n, &cache), ROAD, 1e-4f);
    ASSERT_NE(cache.prs, nullptr);
    EXPECT_NEAR(cache.rsres[0], 4.9f, 1e-3f);
    EXPECT_EQ(cache.GetIndex(), GHC_CARRIAGEWAY);
    // Into the face: held at the carriageway's height, facing back across.
    EXPECT_NEAR(world.GroundHeight(VectorPos(M + 0.5f, ROAD, M - 5.5f), &n, &cache), ROAD, 1e-4f);
    EXPECT_NEAR(n[1], 0.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(n[2]), 1.0f, 1e-5f);
    EXPECT_NEAR(cache.GetPenetration(), 5.0f - 5.5f, 1e-3f);
    // Without a cache nothing remembers where the walk came from: the kerb top.
    EXPECT_NEAR(world.GroundHeight(VectorPos(M + 0.5f, ROAD, M - 5.5f), &n, nullptr), ROAD - 0.15f, 1e-4f);
    // Feet above the kerb top walk onto it.
    GHCache high = ZeroCache();
    world.GroundHeight(VectorPos(M, ROAD - 0.2f, M - 4.9f), nullptr, &high);
    EXPECT_NEAR(world.GroundHeight(VectorPos(M + 0.5f, ROAD - 0.2f, M - 5.5f), &n, &high), ROAD - 0.15f, 1e-4f);
    EXPECT_EQ(high.GetIndex(), GHC_RIGHTPAVEMENT);
    // Without walls, beside the right edge is off the road.
    const RoadSeg* rs = cache.prs;
    float h = -1e38f;
    EXPECT_FALSE(rs->GetHeight(VectorPos(M, ROAD, M - 8.5f), &n, h, nullptr));
    EXPECT_TRUE(rs->GetHeight(VectorPos(M, ROAD, M - 7.5f), &n, h, nullptr));
    EXPECT_NEAR(h, ROAD - 0.15f, 1e-4f);
}

TEST_F(CityGround, ThroughCrossingAndTJunction)
{
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    const Junction* j = JunctionAt(qt(), M, M);
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->nRoadsegs, 4);
    ASSERT_TRUE(j->u8Flags & JUNCTION_THROUGHROAD);
    VectorDir n;
    // At exactly the radius (along the through road, on its centre line)
    // the query goes on; just beyond it fails.
    float z = j->pos[2] + j->radius;
    while (z - j->pos[2] > j->radius)
        z = std::nextafter(z, 0.0f);
    while (z - j->pos[2] < j->radius)
        z = std::nextafter(z, 1e9f);
    const float x = j->pos[0];
    float h = -1e38f;
    EXPECT_TRUE(j->GetHeight(VectorPos(x, ROAD - 0.5f, z), &n, h, nullptr));
    EXPECT_NEAR(h, ROAD, 1e-3f);
    h = -1e38f;
    EXPECT_FALSE(j->GetHeight(VectorPos(x, ROAD - 0.5f, std::nextafter(z, 1e9f)), &n, h, nullptr));

    // The through road runs from slot 0 to slot 2; beside its carriageway on a
    // side road the four kerb corners are tried, then slot 1's mouth, then
    // slot 3's.
    const VectorPos c = j->pos;
    auto onSide = [&](int slot) {
        const RoadSeg* rs = j->roadsegs[slot];
        const VectorPos far(rs->jtn[0] == j ? rs->bezier.c3.v : rs->bezier.c0.v);
        return VectorPos(c + Normalise(VectorDir(far - c)) * 8.0f);
    };
    for (int slot : {1, 3}) {
        const VectorPos p = onSide(slot) + VectorDir(0.0f, -0.5f, 0.0f);
        groundtests = {};
        h = -1e38f;
        EXPECT_TRUE(j->GetHeight(p, &n, h, nullptr)) << slot;
        EXPECT_NEAR(h, ROAD, 1e-3f) << slot;
        EXPECT_EQ(groundtests.kerbs, 4u) << slot;
        EXPECT_EQ(groundtests.mouths, slot == 1 ? 1u : 2u) << slot;
        // A cache that last recorded slot 3's mouth here tries it first.
        GHCache cache = ZeroCache();
        cache.pjunc = const_cast<Junction*>(j);
        cache.SetIndex(3);
        cache.rsres = Vector(0.0f, ROAD, 0.5f, 0.0f);
        groundtests = {};
        h = -1e38f;
        EXPECT_TRUE(j->GetHeight(p, &n, h, &cache)) << slot;
        EXPECT_NEAR(h, ROAD, 1e-3f) << slot;
        EXPECT_EQ(groundtests.mouths, slot == 3 ? 1u : 2u) << slot;
        EXPECT_EQ(cache.GetIndex(), slot);
    }

    // A T-junction: on the through road a surface more than a step above the
    // feet is refused at once, without trying the corners.
    Load(tools::TestCity(tools::TestCityKind::kTJunction));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    j = JunctionAt(qt(), M, M);
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->nRoadsegs, 3);
    const VectorPos feet(M + 1.0f, ROAD + 1.0f, M + 0.5f);
    groundtests = {};
    h = feet[1];
    EXPECT_FALSE(j->GetHeight(feet, &n, h, nullptr));
    EXPECT_EQ(groundtests.kerbs + groundtests.mouths, 0u);
    h = -1e38f;
    EXPECT_TRUE(j->GetHeight(feet, &n, h, nullptr));
    EXPECT_NEAR(h, ROAD, 1e-3f);
    // The side road's mouth, beside the through road's carriageway.
    h = -1e38f;
    EXPECT_TRUE(j->GetHeight(onSide(2) + VectorDir(0.0f, -0.5f, 0.0f), &n, h, nullptr));
    EXPECT_NEAR(h, ROAD, 1e-3f);
}

// The through road across a crossing runs on a curve between the two
// roads' mouths, where their centre lines leave the junction (radius 12
// here; the centre lines themselves end at its centre).  Along that
// straight 24-unit curve the centre is half way, and 6 from the centre
// toward slot 0's road is a quarter of the way from that road's mouth: the
// curve runs in slot 0's road's direction.
TEST_F(CityGround, ThroughRoadAcrossACrossingRunsBetweenTheMouths)
{
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    const Junction* j = JunctionAt(qt(), M, M);
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->radius, 12.0f);
    const RoadSeg* r0 = j->roadsegs[0];
    const bool ends = r0->jtn[1] == j;
    const VectorPos far(ends ? r0->bezier.c0.v : r0->bezier.c3.v);
    const VectorDir toward0 = Normalise(VectorDir(far - j->pos));
    const struct
    {
        float along, t;
    } at[] = {{0.0f, 0.5f}, {6.0f, ends ? 0.25f : 0.75f}, {-6.0f, ends ? 0.75f : 0.25f}};
    for (const auto& a : at) {
        const VectorPos p(j->pos + toward0 * a.along + VectorDir(0.0f, -0.5f, 0.0f));
        GHCache cache = ZeroCache();
        VectorDir n;
        float h = -1e38f;
        EXPECT_TRUE(j->GetHeight(p, &n, h, &cache)) << a.along;
        EXPECT_NEAR(h, ROAD, 1e-3f) << a.along;
        EXPECT_EQ(cache.GetIndex(), 0) << a.along;   // the carriageway, not a corner or a mouth
        EXPECT_NEAR(cache.rsres[2], a.t, 1e-3f) << a.along;
    }
}

namespace {

// A crossing (or a T-junction) without a through road whose roads climb
// away from it at different rates, the eastern one turned off square, so
// that the corners of its middle do not lie in one plane.
tools::CityDescription Sloped(tools::TestCityKind kind)
{
    tools::CityDescription c = tools::TestCity(kind);
    for (tools::CityJunction& j : c.junctions) {
        j.flags &= u8(~JUNCTION_THROUGHROAD);
        if (j.pos[2] > M + 1.0f) {
            j.pos[1] = ROAD - 6.0f;
        } else if (j.pos[0] > M + 1.0f) {
            j.pos[1] = ROAD - 1.0f;
            j.pos[2] = M + 30.0f;
        }
    }
    c.SortSlots();
    return c;
}

}  // namespace

TEST_F(CityGround, OrdinaryJunctionMiddleMouthsAndCache)
{
    Load(Sloped(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    const Junction* j = JunctionAt(qt(), M, M);
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->nRoadsegs, 4);
    const VectorPos C[4] = {Corner(j, 0), Corner(j, 1), Corner(j, 2), Corner(j, 3)};
    VectorDir n;
    // Either side of the diagonal C(1) - C(3): the plane of C(1), C(3), C(0)
    // on the side where the turn is positive, of C(1), C(2), C(3) on the other.
    const VectorPos mid = (C[1] + C[3]) * 0.5f;
    const VectorDir across = Normalise(VectorDir(C[0] - C[2]));
    for (float side : {-1.0f, 1.0f}) {
        const VectorPos p = mid + across * (3.0f * side);
        const float ex = C[3][0] - C[1][0], ez = C[3][2] - C[1][2];
        const float wx = p[0] - C[1][0], wz = p[2] - C[1][2];
        const bool first = ex * wz - wx * ez > 0.0f;
        const float want = first ? PlaneHeight(C[1], C[3], C[0], p[0], p[2]) : PlaneHeight(C[1], C[2], C[3], p[0], p[2]);
        const float other = first ? PlaneHeight(C[1], C[2], C[3], p[0], p[2]) : PlaneHeight(C[1], C[3], C[0], p[0], p[2]);
        ASSERT_GT(std::fabs(want - other), 0.01f);
        float h = -1e38f;
        EXPECT_TRUE(j->GetHeight(VectorPos(p[0], want - 1.0f, p[2]), &n, h, nullptr));
        EXPECT_NEAR(h, want, 1e-4f) << side;
        EXPECT_LT(n[1], 0.0f);
    }

    // A mouth: on slot k - 1's road just beyond the middle's edge.  Feet a
    // unit under it refuse it by the step rule, and no corner is tried; a
    // cache naming this mouth takes it without the rule.
    const int k = 2, slot = 1;
    const RoadSeg* rs = j->roadsegs[slot];
    const VectorPos far(rs->jtn[0] == j ? rs->bezier.c3.v : rs->bezier.c0.v);
    VectorPos p = j->pos + Normalise(VectorDir(far - j->pos)) * 9.0f;
    float h = -1e38f;
    ASSERT_TRUE(j->GetHeight(VectorPos(p[0], p[1] - 2.0f, p[2]), &n, h, nullptr));
    const float surface = h;
    p = VectorPos(p[0], surface + 1.0f, p[2]);
    groundtests = {};
    h = p[1];
    EXPECT_FALSE(j->GetHeight(p, &n, h, nullptr));
    EXPECT_EQ(groundtests.mouths, 1u);
    EXPECT_EQ(groundtests.kerbs, 0u);
    GHCache cache = ZeroCache();
    cache.pjunc = const_cast<Junction*>(j);
    cache.SetIndex(k - 1);
    cache.rsres = Vector(0.0f, surface, 0.5f, 0.0f);
    h = p[1];
    EXPECT_TRUE(j->GetHeight(p, &n, h, &cache));
    EXPECT_NEAR(h, surface, 1e-3f);
    EXPECT_EQ(cache.GetIndex(), k - 1);
    // Any other index word goes by the rule.
    cache.SetIndex(k);
    h = p[1];
    EXPECT_FALSE(j->GetHeight(p, &n, h, &cache));

    // Three roads: the middle is the one triangle C(1), C(2), C(0).
    Load(Sloped(tools::TestCityKind::kTJunction));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    j = JunctionAt(qt(), M, M);
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->nRoadsegs, 3);
    const VectorPos T[3] = {Corner(j, 0), Corner(j, 1), Corner(j, 2)};
    const VectorPos centroid = (T[0] + T[1] + T[2]) / 3.0f;
    const float want = PlaneHeight(T[1], T[2], T[0], centroid[0], centroid[2]);
    h = -1e38f;
    EXPECT_TRUE(j->GetHeight(VectorPos(centroid[0], want - 1.0f, centroid[2]), &n, h, nullptr));
    EXPECT_NEAR(h, want, 1e-4f);
}

TEST_F(CityGround, QueriesAndTheirCache)
{
    Load(tools::TestCity(tools::TestCityKind::kBend));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    Junction* j = JunctionAt(qt(), M, M);
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->nRoadsegs, 2);
    RoadSeg* west = j->roadsegs[0]->bezier.c0[0] < M - 1.0f || j->roadsegs[0]->bezier.c3[0] < M - 1.0f
                        ? j->roadsegs[0]
                        : j->roadsegs[1];
    RoadSeg* other = west == j->roadsegs[0] ? j->roadsegs[1] : j->roadsegs[0];
    VectorDir n(9, 9, 9);

    // Outside the window: the plane y = 0, facing up.
    EXPECT_EQ(world.GroundHeight(VectorPos(2000.0f, -3.0f, 2000.0f), &n, nullptr), 0.0f);
    ExpectNear(n, VectorDir(0, -1, 0));
    GHCache cache = ZeroCache();
    EXPECT_EQ(world.GroundHeight(VectorPos(2000.0f, -3.0f, 2000.0f), &n, &cache), 0.0f);
    EXPECT_EQ(cache.prs, nullptr);

    // Two units above the road: the road, not remembered.
    cache = ZeroCache();
    EXPECT_NEAR(world.GroundHeight(VectorPos(M - 20.0f, ROAD - 2.0f, M + 1.0f), &n, &cache), ROAD, 1e-4f);
    EXPECT_EQ(cache.prs, nullptr);
    EXPECT_EQ(cache.pjunc, nullptr);
    ExpectNear(cache.GetPos(), VectorPos(M - 20.0f, ROAD - 2.0f, M + 1.0f));
    // Standing on it: remembered, and the next step along it is one test.
    EXPECT_NEAR(world.GroundHeight(VectorPos(M - 20.0f, ROAD, M + 1.0f), &n, &cache), ROAD, 1e-4f);
    EXPECT_EQ(cache.prs, west);
    groundtests = {};
    EXPECT_NEAR(world.GroundHeight(VectorPos(M - 19.8f, ROAD, M + 1.1f), &n, &cache), ROAD, 1e-4f);
    EXPECT_EQ(groundtests.surfaces, 1u);
    EXPECT_EQ(cache.prs, west);

    // Off the end of the remembered segment, inside the bend: its junctions
    // answer before any search (the segment, its dead end at the start, of
    // radius 0, then the bend).
    const VectorPos inBend(M + 3.0f, ROAD, M + 7.0f);
    groundtests = {};
    EXPECT_NEAR(world.GroundHeight(inBend, &n, &cache), ROAD, 1e-3f);
    EXPECT_EQ(groundtests.surfaces, 3u);
    EXPECT_EQ(cache.pjunc, j);
    EXPECT_EQ(cache.prs, nullptr);
    // A junction that only joins its two segments is looked through to the
    // other one.
    j->u8Flags |= JUNCTION_FAKE;
    cache = ZeroCache();
    world.GroundHeight(VectorPos(M - 20.0f, ROAD, M + 1.0f), &n, &cache);
    ASSERT_EQ(cache.prs, west);
    groundtests = {};
    EXPECT_NEAR(world.GroundHeight(inBend, &n, &cache), ROAD, 1e-3f);
    EXPECT_EQ(groundtests.surfaces, 3u);
    EXPECT_EQ(cache.prs, other);
    EXPECT_EQ(cache.pjunc, nullptr);
    j->u8Flags &= u8(~JUNCTION_FAKE);

    // A segment without a junction at an end is retried at the other end only.
    cache = ZeroCache();
    world.GroundHeight(VectorPos(M - 20.0f, ROAD, M + 1.0f), &n, &cache);
    Junction* deadend = west->jtn[0] == j ? west->jtn[1] : west->jtn[0];
    Junction** slot = west->jtn[0] == j ? &west->jtn[1] : &west->jtn[0];
    *slot = nullptr;
    EXPECT_NEAR(world.GroundHeight(inBend, &n, &cache), ROAD, 1e-3f);
    EXPECT_EQ(cache.pjunc, j);
    *slot = deadend;

    // The engine's ground checker reaches the city.
    Object o;
    EXPECT_NEAR(o.GroundHeight(VectorPos(M - 20.0f, ROAD - 0.5f, M), &n), ROAD, 1e-4f);
    EXPECT_NEAR(n[1], -1.0f, 1e-4f);
}

TEST_F(CityGround, RememberedPatchLeftBehindAndDeepTreesGuarded)
{
    Load(tools::TestCity(tools::TestCityKind::kGroundPatch));
    ASSERT_TRUE(SyncTo(VectorPos(M, 0, M)));
    // The patch covers [108, 148] in x and z at the pavement's height.
    GHCache cache = ZeroCache();
    VectorDir n;
    EXPECT_NEAR(world.GroundHeight(VectorPos(147.0f, PAVEMENT, M), &n, &cache), PAVEMENT, 1e-4f);
    ASSERT_NE(cache.pgp, nullptr);
    float h = -1e38f;
    EXPECT_FALSE(cache.pgp->GetHeight(VectorPos(149.0f, PAVEMENT, M), &n, h, &cache));
    EXPECT_EQ(world.GroundHeight(VectorPos(149.0f, PAVEMENT, M), &n, &cache), 0.0f);
    EXPECT_EQ(cache.pgp, nullptr);

    // A quad tree deeper than the query walks' stacks hold: each level keeps
    // three siblings waiting while the fourth goes on down.  The walks skip
    // what does not fit, say so once, and go on.
    constexpr int DEPTH = 16;
    std::vector<QuadNode> nodes(size_t(DEPTH) * 4);
    std::memset(nodes.data(), 0, nodes.size() * sizeof(QuadNode));
    for (QuadNode& q : nodes) {
        q.ext = Cuboid(VectorPos(-1e6f, -1e6f, -1e6f), VectorPos(1e6f, 1e6f, 1e6f));
        q.SetFlags(QN_INSTANCES | QN_JUNCTIONS | QN_ROADSEGS | QN_GROUNDPATCHES);
    }
    for (int d = 0; d + 1 < DEPTH; d++)
        for (int c = 0; c < 4; c++)
            nodes[size_t(d) * 4].child[c] = &nodes[size_t(d + 1) * 4 + (c == 3 ? 0 : size_t(c) + 1)];
    Grid& g = qt().grid[0];
    QuadNode* saved = g.root;
    g.root = &nodes[0];
    qt().reportedQueryStack = false;
    EXPECT_NEAR(world.GroundHeight(VectorPos(M, PAVEMENT, M), &n, nullptr), PAVEMENT, 1e-4f);
    EXPECT_TRUE(qt().reportedQueryStack);
    qt().reportedQueryStack = false;
    Object o;
    o.mat = Matrix(true);
    o.radius = 1.0f;
    EXPECT_EQ(qt().Collide(&o), 0);
    EXPECT_TRUE(qt().reportedQueryStack);
    qt().reportedQueryStack = false;
    EXPECT_EQ(qt().CheckRay(VectorPos(0, 0, 0), VectorPos(1, 0, 1), nullptr, nullptr, 0xFFFF, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_TRUE(qt().reportedQueryStack);
    g.root = saved;
}
