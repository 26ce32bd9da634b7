// City writer.  Standard headers come before the game's, whose common header
// renames the C library's heap and printing functions for game code.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/lib/city.h"

namespace tools {

namespace {

constexpr int kMaxCrossSection = 52;
constexpr int kMaxDepth = 3;   // quad levels below the root

// The file being laid out.
class Bytes
{
public:
    u32 Align(u32 a = 16)
    {
        b.resize((b.size() + a - 1) / a * a, 0);
        return Here();
    }
    u32 Reserve(size_t n)
    {
        const u32 at = Here();
        b.resize(b.size() + n, 0);
        return at;
    }
    u32 Put(const void* p, size_t n)
    {
        const u32 at = Here();
        b.insert(b.end(), (const u8*)p, (const u8*)p + n);
        return at;
    }
    template <class T>
    T* At(u32 off)
    {
        return reinterpret_cast<T*>(b.data() + off);
    }
    void Set32(u32 at, u32 v) { std::memcpy(b.data() + at, &v, 4); }
    u32 Here() const { return u32(b.size()); }

    std::vector<u8> b;
};

std::string N(long v)
{
    return std::to_string(v);
}

VectorPos XYZ(const Vector& v)
{
    return VectorPos(v[0], v[1], v[2]);
}

float Dist(VectorPos a, VectorPos b)
{
    return Length(VectorXYZ(a - b));
}

VectorDir Across(VectorDir t)
{
    return Normalise(VectorDir(t[2], 0.0f, -t[0]));
}

float RoadRadius(const CityRoadType& rt)
{
    return std::max(rt.full[rt.iRightEdge].v[0], -rt.full[0].v[0]);
}

struct CellKey
{
    int x, z;
    bool operator<(const CellKey& o) const { return z != o.z ? z < o.z : x < o.x; }
};

CellKey CellAt(VectorPos p)
{
    return {CellOf(p[0]), CellOf(p[2])};
}

// A segment's centre line with its data words, and where it meets its
// junctions.
struct SegGeo
{
    Bezier b;
    float tEnd[2];   // parameter at the start junction's edge and at the end one's
};

float EdgeParam(const Bezier& b, VectorPos centre, float radius, bool fromStart)
{
    if (radius <= 0.0f)
        return fromStart ? 0.0f : 1.0f;
    float lo = fromStart ? 0.0f : 0.5f, hi = fromStart ? 0.5f : 1.0f;
    for (int i = 0; i < 40; i++) {
        const float mid = 0.5f * (lo + hi);
        const VectorPos p = XYZ(b.Evaluate(mid));
        const float d = Length(VectorXZ(p[0] - centre[0], p[2] - centre[2]));
        const bool inside = d < radius;
        if (inside == fromStart)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5f * (lo + hi);
}

// 1 / |a - b|, 0 for coincident points.
float HandleScale(VectorPos a, VectorPos b)
{
    const float d = Dist(a, b);
    return d > 0.0f ? 1.0f / d : 0.0f;
}

void SetHandleScales(Bezier& b)
{
    b.c1[3] = HandleScale(XYZ(b.c0), XYZ(b.Evaluate(1.0f / 3.0f)));
    b.c2[3] = HandleScale(XYZ(b.c3), XYZ(b.Evaluate(2.0f / 3.0f)));
}

SegGeo SegmentGeometry(const CityDescription& c, const CitySegment& s)
{
    const VectorPos p0 = c.junctions[s.jtn[0]].pos, p3 = c.junctions[s.jtn[1]].pos;
    const VectorPos p1 = s.straight ? VectorPos(p0 + (p3 - p0) * (1.0f / 3.0f)) : s.c1;
    const VectorPos p2 = s.straight ? VectorPos(p0 + (p3 - p0) * (2.0f / 3.0f)) : s.c2;
    SegGeo g;
    g.b = Bezier(Vector(p0, 0.0f), Vector(p1, 0.0f), Vector(p2, 0.0f), Vector(p3, 0.0f));
    g.tEnd[0] = EdgeParam(g.b, p0, c.junctions[s.jtn[0]].radius, true);
    g.tEnd[1] = EdgeParam(g.b, p3, c.junctions[s.jtn[1]].radius, false);
    g.b.c0[3] = g.tEnd[0];
    g.b.c3[3] = 1.0f - g.tEnd[1];
    SetHandleScales(g.b);
    return g;
}

// Where segment s meets junction j: the point, the direction away from the
// junction and the road's sideways normal there.
struct Mouth
{
    VectorPos p;
    VectorDir out;
    VectorDir across;   // the cross section's +x
    const CityRoadType* rt;
};

Mouth MouthOf(const CityDescription& c, const std::vector<SegGeo>& geo, int seg, int j)
{
    const CitySegment& s = c.segments[seg];
    const bool start = s.jtn[0] == j;
    const float t = start ? geo[seg].tEnd[0] : geo[seg].tEnd[1];
    VectorDir tangent;
    const VectorPos p = XYZ(geo[seg].b.EvaluateWithTangent(t, tangent));
    tangent = Normalise(tangent);
    return {p, start ? tangent : VectorDir(-tangent), Across(tangent), &c.roadtypes[s.type]};
}

// The carriageway edge of a mouth on the side `side` points to.
VectorPos EdgeToward(const Mouth& m, VectorDir side)
{
    const float x = Dot(side, m.across) > 0.0f ? m.rt->full[m.rt->iJunc].v[0] : m.rt->full[m.rt->iJuncLeft].v[0];
    return m.p + m.across * x;
}

Bezier Kerb(VectorPos a, VectorDir outA, VectorPos b, VectorDir outB)
{
    const float k = 0.39f * Dist(a, b) + 0.5f;
    Bezier kb(Vector(a, 0.0f), Vector(a - outA * k, 0.0f), Vector(b - outB * k, 0.0f), Vector(b, 0.0f));
    SetHandleScales(kb);
    kb.c0[3] = 0.0f;
    kb.c3[3] = 0.0f;
    return kb;
}

std::vector<Bezier> Kerbs(const CityDescription& c, const std::vector<SegGeo>& geo, int j)
{
    const CityJunction& jn = c.junctions[j];
    const int n = int(jn.slots.size());
    std::vector<Mouth> m;
    for (int s : jn.slots)
        m.push_back(MouthOf(c, geo, s, j));
    std::vector<Bezier> kerbs;
    for (int i = 0; i < n; i++) {
        const Mouth& a = m[(i + n - 1) % n];
        const Mouth& b = m[i];
        if (n == 1) {
            kerbs.push_back(Kerb(EdgeToward(a, -a.across), a.out * -1.0f, EdgeToward(a, a.across), a.out * -1.0f));
        } else if (n == 2 && i == 1) {
            kerbs.push_back(Kerb(a.p, a.out, b.p, b.out));   // the centre curve of a bend
        } else {
            if (n == 2) {
                // The outer kerb of a bend: the sides away from the other road.
                const VectorDir toA = Normalise(VectorDir(b.p - a.p));
                kerbs.push_back(Kerb(EdgeToward(a, -toA), a.out, EdgeToward(b, toA), b.out));
                continue;
            }
            // Between the two mouths' centre points: the game moves it out to
            // each road's carriageway edge, and its handles shrink as it moves
            // in toward the corner, as an arc's would.  Gap 1 of a T with a
            // through road is so the through road's centre curve, which its
            // straight side is drawn along (a straight one keeps its handles).
            Bezier kb = Kerb(a.p, a.out, b.p, b.out);
            const float turn = std::acos(std::clamp(Dot(-a.out, b.out), -1.0f, 1.0f));
            const float chord = Dist(a.p, b.p);
            const float rate = chord > 0.0f ? -2.0f * std::sin(0.5f * turn) / chord : 0.0f;
            kb.c1[3] = rate;
            kb.c2[3] = rate;
            kerbs.push_back(kb);
        }
    }
    return kerbs;
}

}  // namespace

// ---------------------------------------------------------------------------
// Building a description.

int CityDescription::AddSegment(int j0, int j1, u16 id, int type)
{
    CitySegment s;
    s.jtn[0] = j0;
    s.jtn[1] = j1;
    s.id = id;
    s.type = type;
    segments.push_back(s);
    const int i = int(segments.size()) - 1;
    junctions[size_t(j0)].slots.push_back(i);
    junctions[size_t(j1)].slots.push_back(i);
    return i;
}

void CityDescription::SortSlots()
{
    for (size_t j = 0; j < junctions.size(); j++) {
        CityJunction& jn = junctions[j];
        auto angle = [&](int s) {
            const CitySegment& seg = segments[size_t(s)];
            const VectorPos other = junctions[size_t(seg.jtn[0] == int(j) ? seg.jtn[1] : seg.jtn[0])].pos;
            return std::atan2(other[2] - jn.pos[2], other[0] - jn.pos[0]);
        };
        std::stable_sort(jn.slots.begin(), jn.slots.end(), [&](int a, int b) { return angle(a) < angle(b); });
        if (!(jn.flags & JUNCTION_THROUGHROAD))
            continue;
        const int n = int(jn.slots.size());
        const int gap = n == 4 ? 2 : 1;
        for (int r = 0; r < n; r++) {
            if (segments[size_t(jn.slots[0])].id == segments[size_t(jn.slots[size_t(gap)])].id)
                break;
            std::rotate(jn.slots.begin(), jn.slots.begin() + 1, jn.slots.end());
        }
    }
}

// ---------------------------------------------------------------------------
// Checks.

bool CheckCity(const CityDescription& c, std::string& error)
{
    for (size_t i = 0; i < c.roadtypes.size(); i++) {
        const CityRoadType& rt = c.roadtypes[i];
        const std::string what = "road kind " + N(long(i)) + " (" + rt.name + ")";
        if (rt.full.empty() || rt.full.size() > kMaxCrossSection || rt.low.size() > kMaxCrossSection) {
            error = what + ": 1 to " + N(kMaxCrossSection) + " cross-section points per level of detail";
            return false;
        }
        if (rt.iJunc >= rt.full.size() || rt.iJuncLeft >= rt.full.size() || rt.iRightEdge >= rt.full.size() ||
            (!rt.low.empty() && (rt.iJuncLow >= rt.low.size() || rt.iJuncLeftLow >= rt.low.size() ||
                                 rt.iRightEdgeLow >= rt.low.size()))) {
            error = what + ": names a cross-section point it does not have";
            return false;
        }
        if (rt.texture >= int(c.textures.size()) || rt.abbrev >= c.roadnames.size()) {
            error = what + ": texture or suffix word out of range";
            return false;
        }
    }
    for (int t : c.groundtypes)
        if (t < 0 || t >= int(c.textures.size())) {
            error = "a ground type names texture " + N(t) + " of " + N(long(c.textures.size()));
            return false;
        }
    for (size_t i = 0; i < c.segments.size(); i++) {
        const CitySegment& s = c.segments[i];
        if (s.jtn[0] < 0 || s.jtn[1] < 0 || s.jtn[0] >= int(c.junctions.size()) ||
            s.jtn[1] >= int(c.junctions.size()) || s.type < 0 || s.type >= int(c.roadtypes.size()) ||
            s.id >= c.roadnames.size()) {
            error = "segment " + N(long(i)) + ": a junction, road kind or name out of range";
            return false;
        }
        if (s.flags & 1) {
            error = "segment " + N(long(i)) + ": flag bit 0 hides it from the radar";
            return false;
        }
        const CellKey a = CellAt(c.junctions[size_t(s.jtn[0])].pos), b = CellAt(c.junctions[size_t(s.jtn[1])].pos);
        if (std::abs(a.x - b.x) + std::abs(a.z - b.z) > 1) {
            error = "segment " + N(long(i)) + ": its junctions lie in cells that are not side by side";
            return false;
        }
    }
    for (size_t j = 0; j < c.junctions.size(); j++) {
        const CityJunction& jn = c.junctions[j];
        const std::string what = "junction " + N(long(j));
        const int n = int(jn.slots.size());
        if (n < 1 || n > 16 || jn.radius >= 100.0f || jn.radius < 0.0f) {
            error = what + ": 1 to 16 roads and a radius below 100";
            return false;
        }
        for (int s : jn.slots)
            if (s < 0 || s >= int(c.segments.size()) ||
                (c.segments[size_t(s)].jtn[0] != int(j) && c.segments[size_t(s)].jtn[1] != int(j))) {
                error = what + ": a slot holds a segment that does not end there";
                return false;
            }
        if (jn.flags & JUNCTION_FAKE) {
            error = what + ": fake junctions are made by the writer, at cell borders";
            return false;
        }
        if (jn.flags & JUNCTION_THROUGHROAD) {
            const int other = n == 3 ? 1 : n == 4 ? 2 : -1;
            if (other < 0 || c.segments[size_t(jn.slots[0])].id != c.segments[size_t(jn.slots[size_t(other)])].id) {
                error = what + ": a through road goes in slots 0/1 of three roads or 0/2 of four";
                return false;
            }
        }
    }
    for (size_t i = 0; i < c.instances.size(); i++) {
        const CityInstance& in = c.instances[i];
        if (in.model >= c.models.size() || in.node >= c.models[in.model].nodes.size()) {
            error = "instance " + N(long(i)) + ": model or node out of range";
            return false;
        }
    }
    for (size_t i = 0; i < c.patches.size(); i++)
        if (c.patches[i].groundtype < -1 || c.patches[i].groundtype >= int(c.groundtypes.size())) {
            error = "ground patch " + N(long(i)) + ": ground type out of range";
            return false;
        }
    return true;
}

// ---------------------------------------------------------------------------
// Rotations and missions.

u32 PackQuat(Quaternion q)
{
    int big = 0;
    for (int i = 1; i < 4; i++)
        if (std::fabs(q[i]) > std::fabs(q[big]))
            big = i;
    if (q[big] < 0.0f)
        q = Quaternion(Vector(-q[0], -q[1], -q[2], -q[3]));
    // The derived lane of n = 0, 1, 2, 3 is w, z, y, x; a, b, c follow it
    // cyclically.
    static constexpr int kN[4] = {3, 2, 1, 0};   // by derived lane x, y, z, w
    const u32 n = u32(kN[big]);
    auto field = [&](int lane) {
        const int v = std::clamp(int(std::lround(q[lane] / UNPACKQUAT_SCALE)), -511, 511);
        return u32(v) & 0x3FF;
    };
    const int a = (big + 1) % 4, b = (big + 2) % 4, cc = (big + 3) % 4;
    return field(a) | field(b) << 10 | field(cc) << 20 | n << 30;
}

Quaternion Facing(VectorXZ dir)
{
    const VectorDir z = Normalise(VectorDir(dir[0], 0.0f, dir[2]));
    const VectorDir y(0.0f, 1.0f, 0.0f);
    const VectorDir x = y ^ z;
    return Quaternion(Matrix(Vector(x, 0.0f), Vector(y, 0.0f), Vector(z, 0.0f), Vector(0.0f, 0.0f, 0.0f, 1.0f)));
}

std::vector<u8> WriteMission(const std::vector<MissionPlaceholder>& placeholders)
{
    Bytes out;
    out.Reserve(sizeof(MissionFile));
    const u32 data = out.Align();
    for (const MissionPlaceholder& p : placeholders) {
        InstanceFile in{};
        in.loc = Vector(p.pos[0], p.pos[1], p.pos[2], WordLane(PackQuat(p.rot)));
        in.scale = p.scale;
        in.id = u16(p.id);
        out.Put(&in, sizeof in);
    }
    MissionFile* m = out.At<MissionFile>(0);
    m->blockCount = 1;
    m->block[0] = HeaderBlock{0, u16(placeholders.size()), placeholders.empty() ? 0 : data};
    return out.b;
}

// ---------------------------------------------------------------------------
// The files.

namespace {

// An item of a cell's quad tree.
enum ItemKind
{
    kInstance,
    kJunction,
    kSegment,
    kPatch,
    kOccluder,
    kKinds,
};

constexpr u32 kKindBit[kKinds] = {QN_INSTANCES, QN_JUNCTIONS, QN_ROADSEGS, QN_GROUNDPATCHES, 0};

struct Item
{
    ItemKind kind;
    int index;   // into the description
    Cuboid box;
};

struct Node
{
    float x0, z0, size;
    std::vector<Item> items;
    int child[4] = {-1, -1, -1, -1};
    Cuboid ext;
    u32 mask = 0;
};

struct Cell
{
    CellKey key;
    std::vector<Item> items;
    // Fake junctions: real junction -> the segments it holds here.
    std::map<int, std::vector<int>> fakes;
};

Cuboid Empty()
{
    return Cuboid(VectorPos(1e38f, 1e38f, 1e38f), VectorPos(-1e38f, -1e38f, -1e38f));
}

Cuboid Union(const Cuboid& a, const Cuboid& b)
{
    return Cuboid(VectorPos(std::min(a.min[0], b.min[0]), std::min(a.min[1], b.min[1]), std::min(a.min[2], b.min[2])),
                  VectorPos(std::max(a.max[0], b.max[0]), std::max(a.max[1], b.max[1]), std::max(a.max[2], b.max[2])));
}

int BuildNode(std::vector<Node>& nodes, float x0, float z0, float size, int depth, std::vector<Item> items)
{
    const int me = int(nodes.size());
    nodes.push_back(Node{x0, z0, size, {}, {-1, -1, -1, -1}, Empty(), 0});
    std::vector<Item> sub[4];
    const float h = size * 0.5f;
    for (const Item& it : items) {
        int q = -1;
        if (depth < kMaxDepth) {
            const int qx = it.box.min[0] >= x0 + h ? 1 : it.box.max[0] < x0 + h ? 0 : -1;
            const int qz = it.box.min[2] >= z0 + h ? 1 : it.box.max[2] < z0 + h ? 0 : -1;
            if (qx >= 0 && qz >= 0 && it.box.min[0] >= x0 && it.box.max[0] < x0 + size && it.box.min[2] >= z0 &&
                it.box.max[2] < z0 + size)
                q = qx | qz << 1;
        }
        if (q < 0)
            nodes[size_t(me)].items.push_back(it);
        else
            sub[q].push_back(it);
    }
    Cuboid ext = Empty();
    u32 mask = 0;
    for (const Item& it : nodes[size_t(me)].items) {
        ext = Union(ext, it.box);
        mask |= kKindBit[it.kind];
    }
    for (int q = 0; q < 4; q++) {
        if (sub[q].empty())
            continue;
        const int c = BuildNode(nodes, x0 + ((q & 1) ? h : 0.0f), z0 + ((q & 2) ? h : 0.0f), h, depth + 1, sub[q]);
        nodes[size_t(me)].child[q] = c;
        ext = Union(ext, nodes[size_t(c)].ext);
        mask |= nodes[size_t(c)].mask;
    }
    nodes[size_t(me)].ext = ext;
    nodes[size_t(me)].mask = mask;
    return me;
}

// Nodes in preorder (BuildNode already numbers them so) and, per kind, the
// items in node order.
void ItemsInNodeOrder(const std::vector<Node>& nodes, std::vector<Item> (&order)[kKinds])
{
    for (const Node& n : nodes)
        for (const Item& it : n.items)
            order[it.kind].push_back(it);
}

float ModelRadius(const P2BFile& f, int node)
{
    const int m = f.nodes[size_t(node)].Model();
    if (m >= int(f.models.size()))
        return 1.0f;
    return Length(VectorXYZ(f.models[size_t(m)].boxextent.xyz())) + Length(VectorXYZ(f.models[size_t(m)].sphere.xyz()));
}

bool WriteLayout(const CityDescription& c, const std::vector<u32>& modelOffsets, std::vector<u8>& out,
                 std::string& error)
{
    Bytes o;
    o.Reserve(sizeof(LayoutFile));
    HeaderBlock blocks[LAYOUT_BLOCKS] = {};

    // Textures first: road and ground types name them by number.
    const u32 texAt = o.Align();
    o.Reserve(sizeof(Texture) * c.textures.size());
    for (size_t i = 0; i < c.textures.size(); i++) {
        const u32 img = o.Align();
        o.Put(c.textures[i].image.data(), c.textures[i].image.size());
        Texture rec = c.textures[i].record;
        rec.data = FileWordPtr<void>(img - texAt);
        std::memcpy(o.At<u8>(texAt + u32(i * sizeof(Texture))), &rec, sizeof rec);
    }
    blocks[2] = {LAYOUT_TEXTURES, u16(c.textures.size()), c.textures.empty() ? 0u : texAt};

    const u32 rtTable = o.Align();
    o.Reserve(4 * c.roadtypes.size());
    for (size_t i = 0; i < c.roadtypes.size(); i++) {
        const CityRoadType& rt = c.roadtypes[i];
        const u32 at = o.Align();
        o.Set32(rtTable + u32(4 * i), at);
        alignas(16) u8 headBytes[sizeof(RoadTypeFile)] = {};
        RoadTypeFile& head = *reinterpret_cast<RoadTypeFile*>(headBytes);
        head.flags = rt.flags;
        head.num_lanes = u8(rt.lanes.size());
        head.num_rightlanes = rt.num_rightlanes;
        head.type = rt.type;
        head.iNumXSectPts = u8(rt.full.size());
        head.iJunc = rt.iJunc;
        head.iJuncLeft = rt.iJuncLeft;
        head.iRightEdge = rt.iRightEdge;
        head.iNumXSectLowPts = u8(rt.low.size());
        head.iJuncLow = rt.iJuncLow;
        head.iJuncLeftLow = rt.iJuncLeftLow;
        head.iRightEdgeLow = rt.iRightEdgeLow;
        head.abbrev = rt.abbrev;
        head.lflex = rt.lflex;
        head.rflex = rt.rflex;
        head.fTexVScale = rt.fTexVScale;
        head.ptex = FileWordPtr<Texture>(u32(rt.texture));
        head.lanes = FileWordPtr<float>(u32(32 + 16 * (rt.full.size() + rt.low.size())));
        head.speed = rt.speed;
        o.Put(headBytes, sizeof headBytes);
        for (const std::vector<VectorXY>* set : {&rt.full, &rt.low}) {
            if (set->empty())
                continue;
            const float x0 = set->front().v[0], x1 = set->back().v[0];
            float prev = 0.0f;
            for (const VectorXY& p : *set) {
                // Texture s across the road (0 at the left edge, 1 at the
                // right) in the shading words' high halves, read by road
                // drawing as floats: the strip from the previous point to
                // this one runs from z's s to w's.  The loader fills the low
                // halves with the point's shading.
                const float s = x1 > x0 ? (p.v[0] - x0) / (x1 - x0) : 0.0f;
                const Vector v(p.v[0], p.v[1], WordLane(LaneWord(prev) & 0xFFFF0000u),
                               WordLane(LaneWord(s) & 0xFFFF0000u));
                o.Put(&v, sizeof v);
                prev = s;
            }
        }
        o.Put(rt.lanes.data(), 4 * rt.lanes.size());
    }
    blocks[0] = {LAYOUT_ROADTYPES, u16(c.roadtypes.size()), c.roadtypes.empty() ? 0u : rtTable};

    const u32 gtTable = o.Align();
    o.Reserve(4 * c.groundtypes.size());
    for (size_t i = 0; i < c.groundtypes.size(); i++) {
        const u32 at = o.Align(4);
        o.Set32(gtTable + u32(4 * i), at);
        const u32 t = u32(c.groundtypes[i]);
        o.Put(&t, 4);
    }
    blocks[1] = {LAYOUT_GROUNDTYPES, u16(c.groundtypes.size()), c.groundtypes.empty() ? 0u : gtTable};

    const u32 names = o.Align();
    o.Reserve(4 * (c.roadnames.size() + 1));
    for (size_t i = 0; i <= c.roadnames.size(); i++) {
        o.Set32(names + u32(4 * i), o.Here());
        if (i < c.roadnames.size())
            o.Put(c.roadnames[i].data(), c.roadnames[i].size());
    }
    blocks[3] = {LAYOUT_ROADNAMES, u16(c.roadnames.size()), names};

    const u32 dir = o.Align();
    for (u32 off : modelOffsets)
        o.Put(&off, 4);
    blocks[4] = {LAYOUT_MODELDIR, u16(modelOffsets.size() - 1), dir};

    if (!c.cities.empty()) {
        const u32 at = o.Align();
        o.Put(c.cities.data(), 2 * c.cities.size());
        blocks[5] = {LAYOUT_CITIES, u16(c.cities.size()), at};
    } else {
        blocks[5] = {LAYOUT_CITIES, 0, 0};
    }
    o.Align(16);
    LayoutFile* head = o.At<LayoutFile>(0);
    head->blockCount = LAYOUT_BLOCKS;
    std::memcpy(head->block, blocks, sizeof blocks);
    char why[256] = "";
    if (!QuadTree::CheckLayout(head, o.Here(), why)) {
        error = std::string("the layout would be refused: ") + why;
        return false;
    }
    out = std::move(o.b);
    return true;
}

}  // namespace

bool WriteCity(const CityDescription& c, CityFiles& files, std::string& error)
{
    if (!CheckCity(c, error))
        return false;
    files = CityFiles{};

    // The model archive.
    std::vector<u32> modelOffsets;
    for (size_t i = 0; i < c.models.size(); i++) {
        std::vector<u8> bytes;
        if (!WriteP2B(c.models[i], bytes, error)) {
            error = "model " + N(long(i)) + ": " + error;
            return false;
        }
        files.exm.resize((files.exm.size() + 63) / 64 * 64, 0);
        modelOffsets.push_back(u32(files.exm.size()));
        files.exm.insert(files.exm.end(), bytes.begin(), bytes.end());
    }
    files.exm.resize((files.exm.size() + 63) / 64 * 64, 0);
    modelOffsets.push_back(u32(files.exm.size()));

    if (!WriteLayout(c, modelOffsets, files.exp, error))
        return false;

    // Geometry the cells share.
    std::vector<SegGeo> geo;
    for (const CitySegment& s : c.segments)
        geo.push_back(SegmentGeometry(c, s));
    std::vector<std::vector<Bezier>> kerbs;
    for (size_t j = 0; j < c.junctions.size(); j++) {
        kerbs.push_back(Kerbs(c, geo, int(j)));
        const CityJunction& jn = c.junctions[j];
        const int n = int(jn.slots.size());
        // Kerb i joins the mouths of slots i - 1 and i.
        for (int i = 0; i < n && n > 2; i++) {
            const Mouth a = MouthOf(c, geo, jn.slots[size_t((i + n - 1) % n)], int(j));
            const Mouth b = MouthOf(c, geo, jn.slots[size_t(i)], int(j));
            if (Dist(XYZ(kerbs[j][size_t(i)].c0), a.p) > RoadRadius(*a.rt) + 0.5f ||
                Dist(XYZ(kerbs[j][size_t(i)].c3), b.p) > RoadRadius(*b.rt) + 0.5f) {
                error = "junction " + N(long(j)) + ": kerb " + N(i) + " does not join slots " + N((i + n - 1) % n) +
                        " and " + N(i);
                return false;
            }
        }
    }

    // Items by cell.
    std::map<CellKey, Cell> cells;
    auto cell = [&](CellKey k) -> Cell& {
        Cell& ce = cells[k];
        ce.key = k;
        return ce;
    };
    for (size_t i = 0; i < c.instances.size(); i++) {
        const CityInstance& in = c.instances[i];
        const float r = ModelRadius(c.models[in.model], in.node) * (in.scale ? 1.0f + in.scale / 128.0f : 1.0f);
        cell(CellAt(in.pos)).items.push_back({kInstance, int(i), Cuboid(in.pos, r)});
    }
    for (size_t j = 0; j < c.junctions.size(); j++) {
        const CityJunction& jn = c.junctions[j];
        float R = 0.0f;
        for (int s : jn.slots)
            R = std::max(R, RoadRadius(c.roadtypes[size_t(c.segments[size_t(s)].type)]));
        cell(CellAt(jn.pos)).items.push_back({kJunction, int(j), Cuboid(jn.pos, jn.radius + R)});
    }
    for (size_t i = 0; i < c.segments.size(); i++) {
        const CitySegment& s = c.segments[i];
        Cuboid box = Empty();
        for (int k = 0; k < 4; k++)
            box = Union(box, Cuboid(XYZ(geo[i].b[k]), XYZ(geo[i].b[k])));
        const float r = RoadRadius(c.roadtypes[size_t(s.type)]);
        box = Cuboid(box.min - VectorDir(r, r, r), box.max + VectorDir(r, r, r));
        const CellKey a = CellAt(c.junctions[size_t(s.jtn[0])].pos), b = CellAt(c.junctions[size_t(s.jtn[1])].pos);
        cell(a).items.push_back({kSegment, int(i), box});
        if (a.x != b.x || a.z != b.z) {
            cell(b).items.push_back({kSegment, int(i), box});
            cell(a).fakes[s.jtn[1]].push_back(int(i));
            cell(b).fakes[s.jtn[0]].push_back(int(i));
        }
    }
    for (size_t i = 0; i < c.patches.size(); i++) {
        Cuboid box = Empty();
        for (const Vector& p : c.patches[i].patch.p)
            box = Union(box, Cuboid(XYZ(p), XYZ(p)));
        cell(CellAt(box.Centre())).items.push_back({kPatch, int(i), box});
    }
    for (size_t i = 0; i < c.occluders.size(); i++) {
        Cuboid box = Empty();
        for (const VectorPos& p : c.occluders[i].corners)
            box = Union(box, Cuboid(p, p));
        cell(CellAt(box.Centre())).items.push_back({kOccluder, int(i), box});
    }

    // Cell records.
    std::map<CellKey, std::pair<u32, u32>> placed;
    for (auto& [key, ce] : cells) {
        std::vector<Node> nodes;
        BuildNode(nodes, 256.0f * key.x, 256.0f * key.z, 256.0f, 0, ce.items);
        std::vector<Item> order[kKinds];
        ItemsInNodeOrder(nodes, order);

        Bytes o;
        o.Reserve(sizeof(GridFile));
        HeaderBlock blocks[GRID_BLOCKS] = {};
        std::map<int, u32> instAt, juncAt, fakeAt, segAt, patchAt, occAt;
        std::vector<u32> nodeAt(nodes.size());

        // Instances.
        const u32 instances = o.Align();
        std::set<u16> models;
        for (const Item& it : order[kInstance]) {
            const CityInstance& in = c.instances[size_t(it.index)];
            InstanceFile rec{};
            rec.loc = Vector(in.pos[0], in.pos[1], in.pos[2], WordLane(PackQuat(in.rot)));
            rec.mdlfileid = in.model;
            rec.index = in.node;
            rec.scale = in.scale;
            rec.id = in.id;
            std::memcpy(rec.params, in.params, 3);
            instAt[it.index] = o.Put(&rec, sizeof rec);
            models.insert(in.model);
        }
        blocks[0] = {GRID_INSTANCES, u16(order[kInstance].size()), order[kInstance].empty() ? 0u : instances};

        // Junctions, real then fake; slots and ends are patched once the
        // segments are placed.
        auto putJunction = [&](int j, u8 flags, const std::vector<int>* only) {
            const CityJunction& jn = c.junctions[size_t(j)];
            const int n = int(jn.slots.size());
            const u32 at = o.Align();
            o.Reserve(JunctionFile::Size(n));
            JunctionFile* rec = o.At<JunctionFile>(at);
            rec->pos = jn.pos;
            rec->radius = jn.radius;
            rec->u16TimeOffset = jn.timeOffset;
            rec->u8Flags = flags;
            rec->nRoadsegs = u8(n);
            rec->pbezCurbs = FileWordPtr<Bezier>(JunctionFile::KerbOffset(n));
            if (only == nullptr)
                for (int k = 0; k < n; k++)
                    std::memcpy(o.At<u8>(at + JunctionFile::KerbOffset(n) + 64 * u32(k)), &kerbs[size_t(j)][size_t(k)],
                                64);
            return at;
        };
        const u32 junctions = o.Align();
        for (const Item& it : order[kJunction])
            juncAt[it.index] = putJunction(it.index, c.junctions[size_t(it.index)].flags, nullptr);
        blocks[1] = {GRID_JUNCTIONS, u16(order[kJunction].size()), order[kJunction].empty() ? 0u : junctions};
        const u32 fakes = o.Align();
        for (const auto& [j, segs] : ce.fakes)
            fakeAt[j] = putJunction(j, JUNCTION_FAKE, &segs);
        blocks[2] = {GRID_FAKEJUNCTIONS, u16(ce.fakes.size()), ce.fakes.empty() ? 0u : fakes};

        const u32 segs = o.Align();
        for (const Item& it : order[kSegment]) {
            const CitySegment& s = c.segments[size_t(it.index)];
            RoadSegFile rec{};
            rec.bezier = geo[size_t(it.index)].b;
            for (int e = 0; e < 2; e++) {
                const int j = s.jtn[e];
                rec.jtn[e] = FileWordPtr<Junction>(juncAt.count(j) ? juncAt[j] : fakeAt.at(j));
            }
            rec.id = s.id;
            rec.flags = s.flags;
            rec.type = FileWordPtr<RoadType>(u32(s.type));
            segAt[it.index] = o.Put(&rec, sizeof rec);
        }
        blocks[3] = {GRID_ROADSEGS, u16(order[kSegment].size()), order[kSegment].empty() ? 0u : segs};
        for (const auto& [j, at] : juncAt) {
            JunctionFile* rec = o.At<JunctionFile>(at);
            for (size_t k = 0; k < c.junctions[size_t(j)].slots.size(); k++)
                rec->roadsegs[k] = FileWordPtr<RoadSeg>(segAt.at(c.junctions[size_t(j)].slots[k]));
        }
        for (const auto& [j, held] : ce.fakes) {
            JunctionFile* rec = o.At<JunctionFile>(fakeAt[j]);
            for (size_t k = 0; k < c.junctions[size_t(j)].slots.size(); k++) {
                const int s = c.junctions[size_t(j)].slots[k];
                if (std::find(held.begin(), held.end(), s) != held.end())
                    rec->roadsegs[k] = FileWordPtr<RoadSeg>(segAt.at(s));
            }
        }

        const u32 patches = o.Align();
        for (const Item& it : order[kPatch]) {
            const CityPatch& p = c.patches[size_t(it.index)];
            GroundPatchFile rec{};
            rec.patch = p.patch;
            rec.texmat = p.texmat;
            const u32 at = o.Here();
            rec.patch.p[0][3] = WordLane(u32(p.groundtype));
            for (int k : {3, 5, 7, 9})
                rec.patch.p[k][3] = WordLane(at);
            const Cuboid& b = it.box;
            rec.centre = Vector(b.Centre(), 0.5f * Length(VectorXYZ(b.max - b.min)));
            patchAt[it.index] = o.Put(&rec, sizeof rec);
        }
        blocks[4] = {GRID_GROUNDPATCHES, u16(order[kPatch].size()), order[kPatch].empty() ? 0u : patches};

        const u32 occluders = o.Align();
        for (const Item& it : order[kOccluder]) {
            OccluderFile rec{};
            for (int k = 0; k < 4; k++)
                rec.rgvTopCorners[k] = Vector(c.occluders[size_t(it.index)].corners[k], 0.0f);
            rec.rgvTopCorners[0].setwcomponent(4);
            occAt[it.index] = o.Put(&rec, sizeof rec);
        }
        blocks[5] = {GRID_OCCLUDERS, u16(order[kOccluder].size()), order[kOccluder].empty() ? 0u : occluders};

        const u32 qnodes = o.Align();
        for (size_t i = 0; i < nodes.size(); i++)
            nodeAt[i] = o.Reserve(sizeof(QuadNodeFile));
        for (size_t i = 0; i < nodes.size(); i++) {
            const Node& nd = nodes[i];
            QuadNodeFile* rec = o.At<QuadNodeFile>(nodeAt[i]);
            for (int q = 0; q < 4; q++)
                rec->child[q] = FileWordPtr<QuadNode>(nd.child[q] >= 0 ? nodeAt[size_t(nd.child[q])] : 0u);
            rec->ext = nd.ext;
            rec->SetFlags(nd.mask);
            rec->ext.max[3] = 0.0f;
            rec->zone = c.zone ? c.zone(nd.x0 + nd.size * 0.5f, nd.z0 + nd.size * 0.5f) : 0x8000;
            int count[kKinds] = {};
            int first[kKinds];
            std::fill(first, first + kKinds, -1);
            for (const Item& it : nd.items) {
                if (first[it.kind] < 0)
                    first[it.kind] = it.index;
                count[it.kind]++;
            }
            rec->nObjects = u16(count[kInstance]);
            rec->nJunctions = u16(count[kJunction]);
            rec->nRoadSegs = u16(count[kSegment]);
            rec->nGroundPatches = u16(count[kPatch]);
            rec->nOccluders = u16(count[kOccluder]);
            rec->objects = FileWordPtr<Instance>(count[kInstance] ? instAt[first[kInstance]] : 0u);
            rec->junctions = FileWordPtr<Junction>(count[kJunction] ? juncAt[first[kJunction]] : 0u);
            rec->roadsegs = FileWordPtr<RoadSeg>(count[kSegment] ? segAt[first[kSegment]] : 0u);
            rec->groundpatches = FileWordPtr<GroundPatch>(count[kPatch] ? patchAt[first[kPatch]] : 0u);
            rec->occluders = FileWordPtr<Occluder>(count[kOccluder] ? occAt[first[kOccluder]] : 0u);
        }
        blocks[6] = {GRID_QUADNODES, u16(nodes.size()), qnodes};

        const u32 list = o.Align();
        for (u16 m : models) {
            const s16 v = s16(m);
            o.Put(&v, 2);
        }
        blocks[7] = {GRID_MODELLIST, u16(models.size()), models.empty() ? 0u : list};

        // No word of the record needs relocating beyond the block fix-ups: the
        // table holds only its base.
        const u32 relocs = o.Align();
        const u32 base = 0;
        o.Put(&base, 4);
        blocks[8] = {GRID_RELOCATIONS, 1, relocs};
        o.Align(64);

        GridFile* head = o.At<GridFile>(0);
        head->blockCount = GRID_BLOCKS;
        std::memcpy(head->block, blocks, sizeof blocks);

        files.mgd.resize((files.mgd.size() + 63) / 64 * 64, 0);
        placed[key] = {u32(files.mgd.size()), o.Here()};
        files.mgd.insert(files.mgd.end(), o.b.begin(), o.b.end());
    }

    // The index.
    if (!placed.empty()) {
        int minz = 1 << 30, maxz = -(1 << 30);
        for (const auto& [k, v] : placed) {
            minz = std::min(minz, k.z);
            maxz = std::max(maxz, k.z);
        }
        if (minz < -64 || maxz > 191) {
            error = "cells lie outside the index's range";
            return false;
        }
        const int rows = maxz - minz + 1;
        std::vector<u32> words(1 + size_t(rows), 0);
        reinterpret_cast<IndexTable*>(words.data())->minz = u8(minz + 64);
        reinterpret_cast<IndexTable*>(words.data())->maxz = u8(maxz + 64);
        for (int z = minz; z <= maxz; z++) {
            int minx = 1 << 30, maxx = -(1 << 30);
            for (const auto& [k, v] : placed)
                if (k.z == z) {
                    minx = std::min(minx, k.x);
                    maxx = std::max(maxx, k.x);
                }
            Span& sp = reinterpret_cast<IndexTable*>(words.data())->span[z - minz];
            if (minx > maxx) {
                sp = Span{1, 0, 0};
                continue;
            }
            if (minx < -64 || maxx > 191) {
                error = "cells lie outside the index's range";
                return false;
            }
            sp = Span{u8(minx + 64), u8(maxx + 64), u16(words.size())};
            for (int x = minx; x <= maxx; x++) {
                auto it = placed.find({x, z});
                words.push_back(it != placed.end() ? it->second.first : 0u);
                words.push_back(it != placed.end() ? it->second.second : 0u);
            }
        }
        files.idx.resize(4 * words.size());
        std::memcpy(files.idx.data(), words.data(), files.idx.size());
    } else {
        files.idx = {1, 0, 0, 0};
    }
    return true;
}

}  // namespace tools
