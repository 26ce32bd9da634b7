// Closed shadow meshes for tests: a cube's corners and outward-wound
// triangles, and the VIF stream of a shadow model built from them (every
// triangle a strip, every shared edge a zero-area quad), as the extrusion
// microcode reads it.
#pragma once

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include <ee/types.h>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Render.h"

namespace shadowmodel {

inline u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}
inline u128 Quad(u32 x, u32 y, u32 z, u32 w)
{
    const u32 v[4] = {x, y, z, w};
    u128 q;
    std::memcpy(&q, v, 16);
    return q;
}
inline u128 FQuad(float x, float y, float z, float w) { return Quad(Bits(x), Bits(y), Bits(z), Bits(w)); }
inline u128 Cmd(u32 routine, u32 x = 0, u32 y = 0, u32 z = 0) { return Quad(x, y, z, routine / 8); }
inline u128 ColourCmd(u32 routine, float r, float g, float b, float a)
{
    return Quad(Bits(r), Bits(g), Bits(b), (Bits(a) & 0xFFFF0000u) | routine / 8);
}

struct V3
{
    float x, y, z;
};
inline V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline V3 Unit(V3 a)
{
    const float l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return {a.x / l, a.y / l, a.z / l};
}

// A cube's corners and its twelve triangles, wound so that (v1 - v0) x (v2 -
// v0) points outwards.
inline std::vector<V3> CubeCorners(float h)
{
    std::vector<V3> p;
    for (int i = 0; i < 8; i++)
        p.push_back({(i & 1) ? h : -h, (i & 2) ? h : -h, (i & 4) ? h : -h});
    return p;
}
inline std::vector<std::array<int, 3>> CubeTriangles(const std::vector<V3>& p)
{
    // Each face as two triangles; the winding is fixed up from the face's
    // outward direction.
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    std::vector<std::array<int, 3>> tris;
    for (const auto& f : faces)
    {
        V3 c{0, 0, 0};
        for (int k : f)
            c = {c.x + p[k].x / 4, c.y + p[k].y / 4, c.z + p[k].z / 4};
        for (const std::array<int, 3> t : {std::array<int, 3>{f[0], f[1], f[2]}, std::array<int, 3>{f[0], f[2], f[3]}})
        {
            const V3 n = Cross(Sub(p[t[1]], p[t[0]]), Sub(p[t[2]], p[t[0]]));
            const bool out = n.x * c.x + n.y * c.y + n.z * c.z > 0;
            tris.push_back(out ? t : std::array<int, 3>{t[0], t[2], t[1]});
        }
    }
    return tris;
}

// The shadow model's VIF stream for a closed mesh: every triangle as a strip
// of its own, every shared edge as a zero-area quad (b_A, a_A, b_B, a_B), each
// vertex (position, unused, normal) with its triangle's normal; whole strips
// packed into batches of at most 72 vertices.  With `twoPass` every pair of
// batches is followed by two more MSCNTs, as an interleaved two-pass stream
// has.
inline std::vector<u128> ShadowStream(const std::vector<V3>& p, const std::vector<std::array<int, 3>>& tris,
                               bool twoPass = false)
{
    struct Vert
    {
        V3 pos, n;
        bool restart;
    };
    std::vector<std::vector<Vert>> strips;
    std::vector<V3> normals;
    for (const auto& t : tris)
    {
        const V3 n = Unit(Cross(Sub(p[t[1]], p[t[0]]), Sub(p[t[2]], p[t[0]])));
        normals.push_back(n);
        strips.push_back({{p[t[0]], n, true}, {p[t[1]], n, true}, {p[t[2]], n, false}});
    }
    std::map<std::pair<int, int>, std::pair<int, int>> edges;   // (a, b) -> (triangle, -)
    for (size_t i = 0; i < tris.size(); i++)
        for (int k = 0; k < 3; k++)
            edges[{tris[i][k], tris[i][(k + 1) % 3]}] = {int(i), 0};
    for (const auto& [ab, ta] : edges)
    {
        const auto [a, b] = ab;
        if (a > b)
            continue;   // each edge once, from the triangle that runs a -> b
        const auto other = edges.find({b, a});
        if (other == edges.end())
            continue;
        const V3 na = normals[size_t(ta.first)], nb = normals[size_t(other->second.first)];
        strips.push_back({{p[b], na, true}, {p[a], na, true}, {p[b], nb, false}, {p[a], nb, false}});
    }
    std::vector<u128> out;
    std::vector<Vert> batch;
    int batches = 0;
    auto flush = [&] {
        if (batch.empty())
            return;
        const u32 qwc = 3 * u32(batch.size());
        out.push_back(Quad(VIF_NOP, VIF_NOP, VIF_STCYCL(4, 4), VIF_UNPACK_V4_32 | qwc << 16 | VIF_UNPACK_TOPS));
        for (const Vert& v : batch)
        {
            out.push_back(Quad(Bits(v.pos.x), Bits(v.pos.y), Bits(v.pos.z), v.restart ? 0x43808000u : 0x43800000u));
            out.push_back(FQuad(0, 0, 0, 0));
            out.push_back(FQuad(v.n.x, v.n.y, v.n.z, 0));
        }
        out.push_back(Quad(VIF_ITOP(u32(batch.size())), VIF_MSCNT, VIF_NOP, VIF_NOP));
        // The second pass of a pair of batches runs on the two input halves
        // in turn.
        if (twoPass && ++batches % 2 == 0)
            out.push_back(Quad(VIF_MSCNT, VIF_MSCNT, VIF_NOP, VIF_NOP));
        batch.clear();
    };
    for (const auto& s : strips)
    {
        if (batch.size() + s.size() > MC2_MAXBATCH)
            flush();
        batch.insert(batch.end(), s.begin(), s.end());
    }
    flush();
    return out;
}

}  // namespace shadowmodel
