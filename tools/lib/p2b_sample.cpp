// Sample model files.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/MC2/Routines.h"

namespace tools {

namespace {

constexpr u32 VIF_STCYCL_4_4 = 0x01000404;
constexpr u32 VIF_UNPACK_RELATIVE = 0x8000;

u32 Bits(float f)
{
    u32 u;
    std::memcpy(&u, &f, 4);
    return u;
}

struct V3
{
    float x, y, z;
};

V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// One vertex: position (drawn), texture coordinates, normal and, when the
// model is skinned, its weights slot.
struct Vert
{
    V3 p;
    float u, v;
    u128 weights;
};

// Two triangles of the quad a, b, c, d, wound so that the microcode sees
// their front from the side the normal points to: (v1 - v0) x (v2 - v0)
// along n.  The quad's turn is read from its diagonals, which stay apart when
// two neighbouring corners meet (a sphere's poles).
void AddQuad(std::vector<Vert>& out, const Vert (&q)[4], V3 n)
{
    const bool along = Dot(Cross(Sub(q[2].p, q[0].p), Sub(q[3].p, q[1].p)), n) > 0.0f;
    const int order[2][6] = {{0, 3, 2, 0, 2, 1}, {0, 1, 2, 0, 2, 3}};
    for (int k : order[along ? 1 : 0])
        out.push_back(q[k]);
}

// The vertices as stride quadwords each; normals[i] is the normal of the
// quad whose two triangles are vertices 6i .. 6i + 5.
std::vector<u128> Pack(const std::vector<Vert>& verts, const std::vector<V3>& normals, int stride)
{
    std::vector<u128> out;
    for (size_t i = 0; i < verts.size(); ++i) {
        const Vert& v = verts[i];
        const V3& n = normals[i / 6];
        out.push_back(FloatQuad(v.p.x, v.p.y, v.p.z, 256.0f));
        out.push_back(FloatQuad(v.u, v.v, 1.0f, 0.0f));
        out.push_back(FloatQuad(n.x, n.y, n.z, 0.0f));
        if (stride > 3)
            out.push_back(v.weights);
    }
    return out;
}

u128 PlainCommand(Tok tok, u32 x = 0, u32 y = 0, u32 z = 0)
{
    return Quad(x, y, z, u32(tok));
}

// The call list of the samples' materials around the given program: the
// register writes (the opaque depth test), then the material.
std::vector<u128> CallListOf(int stride, const std::vector<u128>& program,
                             const GsRegs& regs = {{kTestOpaque, GS_TEST_1}})
{
    CallList cl;
    cl.Registers(regs);
    cl.Cmd(tokSetMaterial, u32(stride), u32(program.size() + 1));
    for (const u128& q : program)
        cl.Raw(q);
    cl.Cmd(tokStop);
    return cl.qw;
}

}  // namespace

u128 FloatQuad(float x, float y, float z, float w)
{
    return Quad(Bits(x), Bits(y), Bits(z), Bits(w));
}

u128 ColourCommand(Tok tok, float r, float g, float b, float a, u32 slot)
{
    return Quad(slot != 0 ? (Bits(r) & 0xFFFF0000u) | (slot & 0xFFFF) : Bits(r), Bits(g), Bits(b),
                (Bits(a) & 0xFFFF0000u) | u32(tok));
}

u128 KickCommand(Tok tok, u32 k, u32 prim)
{
    return Quad(k, 0x30004000u | (prim & 0x7FF) << 15, 0x412, u32(tok));
}

std::vector<u128> VertexStream(const std::vector<u128>& vertices, int stride, int perBatch)
{
    std::vector<u128> out;
    const size_t n = vertices.size() / size_t(stride);
    for (size_t first = 0; first < n; first += size_t(perBatch)) {
        const u32 count = u32(std::min(n - first, size_t(perBatch)));
        const u32 qwc = count * u32(stride);
        out.push_back(Quad(VIF_NOP, VIF_NOP, VIF_STCYCL_4_4, VIF_UNPACK_V4_32 | (qwc & 0xFF) << 16 | VIF_UNPACK_RELATIVE));
        out.insert(out.end(), vertices.begin() + long(first * size_t(stride)),
                   vertices.begin() + long((first + count) * size_t(stride)));
        out.push_back(Quad(VIF_ITOP(count), VIF_MSCNT, VIF_NOP, VIF_NOP));
    }
    return out;
}

P2BModel CubeModel(float half, u16 texid, bool lit, Colour fill)
{
    return BoxModel(half, half, half, texid, lit, fill);
}

P2BMaterial QuadMaterial(const std::vector<TexQuad>& quads, u16 texid, bool lit, Colour fill, bool repeat)
{
    std::vector<Vert> verts;
    std::vector<V3> normals;
    for (const TexQuad& tq : quads) {
        Vert q[4];
        for (int c = 0; c < 4; ++c)
            q[c] = Vert{{tq.corner[c][0], tq.corner[c][1], tq.corner[c][2]}, tq.u[c], tq.v[c], u128{}};
        const V3 n{tq.normal[0], tq.normal[1], tq.normal[2]};
        AddQuad(verts, q, n);
        normals.push_back(n);
    }
    const bool textured = texid != TEXID_NONE;
    const u32 prim = kPrimTriangles | kPrimGouraud | (textured ? kPrimTextured : 0);
    std::vector<u128> program = {PlainCommand(tokTransform), PlainCommand(tokBFCull)};
    if (lit)
        program.push_back(ColourCommand(tokDoLighting, 1.0f, 1.0f, 1.0f, 1.0f));
    else
        program.push_back(ColourCommand(tokFillColour, fill.r / 128.0f, fill.g / 128.0f, fill.b / 128.0f,
                                        fill.a / 128.0f));
    program.push_back(KickCommand(tokKickFlip, 1, prim));

    P2BMaterial mt;
    mt.desc = kCubeStride;
    mt.texid = texid;
    // A repeating texture says so (CLAMP's wrap modes 0 on both axes):
    // otherwise the wrap is whatever the last drawing left.
    mt.callList = CallListOf(kCubeStride, program,
                             repeat ? GsRegs{{kTestOpaque, GS_TEST_1}, {0, GS_CLAMP_1}} : GsRegs{{kTestOpaque, GS_TEST_1}});
    mt.data = VertexStream(Pack(verts, normals, kCubeStride), kCubeStride, kCubeVertices);
    return mt;
}

P2BModel BoxModel(float hx, float hy, float hz, u16 texid, bool lit, Colour fill)
{
    const float h[3] = {hx, hy, hz};
    P2BModel m;
    m.flags = lit ? MDL_LIT : 0;
    m.sphere = Sphere(0.0f, 0.0f, 0.0f, std::sqrt(hx * hx + hy * hy + hz * hz));
    m.boxextent = Vector(hx, hy, hz, 0.0f);

    // Six faces, each two triangles facing outwards.  Face f has its normal
    // along axis f / 2, positive for even f.
    std::vector<TexQuad> quads;
    for (int f = 0; f < 6; ++f) {
        const int axis = f / 2;
        const float s = (f & 1) ? -1.0f : 1.0f;
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        TexQuad q;
        for (int c = 0; c < 4; ++c) {
            float p[3];
            p[axis] = s * h[axis];
            p[u] = corner[c][0] * h[u];
            p[v] = corner[c][1] * h[v];
            q.corner[c] = VectorPos(p[0], p[1], p[2]);
            q.u[c] = (corner[c][0] + 1) * 0.5f;
            q.v[c] = (corner[c][1] + 1) * 0.5f;
        }
        float n[3] = {0, 0, 0};
        n[axis] = s;
        q.normal = VectorDir(n[0], n[1], n[2]);
        quads.push_back(q);
    }
    m.opaque.push_back(QuadMaterial(quads, texid, lit, fill, false));
    return m;
}

P2BModel EnvironmentSphere(float radius, u16 texid, Tok env)
{
    P2BModel m;
    m.flags = MDL_LIT | MDL_REFLECTION;
    m.sphere = Sphere(0.0f, 0.0f, 0.0f, radius);
    m.boxextent = Vector(radius, radius, radius, 0.0f);

    // Bands of latitude, each cut into quads of longitude; every vertex has
    // the sphere's own normal, so the environment slides smoothly over it.
    constexpr int kBands = 12, kSlices = 16;
    const float pi = 3.14159265f;
    auto at = [&](int band, int slice) {
        const float a = pi * float(band) / kBands, b = 2.0f * pi * float(slice) / kSlices;
        const V3 n{std::sin(a) * std::cos(b), -std::cos(a), std::sin(a) * std::sin(b)};
        return Vert{{n.x * radius, n.y * radius, n.z * radius}, float(slice) / kSlices, float(band) / kBands, u128{}};
    };
    std::vector<Vert> verts;
    for (int band = 0; band < kBands; ++band)
        for (int slice = 0; slice < kSlices; ++slice) {
            const Vert q[4] = {at(band, slice), at(band, slice + 1), at(band + 1, slice + 1), at(band + 1, slice)};
            const float mid = pi * (float(band) + 0.5f) / kBands, turn = 2.0f * pi * (float(slice) + 0.5f) / kSlices;
            AddQuad(verts, q, {std::sin(mid) * std::cos(turn), -std::cos(mid), std::sin(mid) * std::sin(turn)});
        }
    std::vector<u128> data;
    for (const Vert& v : verts) {
        data.push_back(FloatQuad(v.p.x, v.p.y, v.p.z, 256.0f));
        data.push_back(FloatQuad(v.u, v.v, 1.0f, 0.0f));
        data.push_back(FloatQuad(v.p.x / radius, v.p.y / radius, v.p.z / radius, 0.0f));
    }

    // Refraction bends the ray by an eighth of the normal.
    const float k = env == tokRefraction ? 8.0f : 0.0f;
    const std::vector<u128> program = {
        PlainCommand(tokTransform),
        PlainCommand(tokUnpackNormals, MC2_NORMAL_SLOT, MC2_NORMAL_SLOT, MC2_NORMAL_SLOT),
        PlainCommand(env, MC2_TEXMATRIX0, Bits(k), Bits(1.0f)),
        PlainCommand(tokBFCull),
        ColourCommand(tokDoLighting, 1.0f, 1.0f, 1.0f, 1.0f),
        KickCommand(tokKickFlip, 1, kPrimTriangles | kPrimGouraud | kPrimTextured),
    };
    P2BMaterial mt;
    mt.desc = kCubeStride;
    mt.texid = texid;
    mt.callList = CallListOf(kCubeStride, program);
    mt.data = VertexStream(data, kCubeStride, 72);
    m.opaque.push_back(mt);
    return m;
}

TextureImage CheckerTexture(int size, Colour a, Colour b)
{
    RgbaImage img;
    img.width = size;
    img.height = size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Colour& c = (((x / 4) + (y / 4)) & 1) ? b : a;
            img.rgba.insert(img.rgba.end(), {c.r, c.g, c.b, c.a});
        }
    }
    TextureImage t;
    std::string error;
    ConvertTexture(img, TexFormat::kT8, t, error);   // two colours always fit
    return t;
}

P2BFile SampleCubeFile()
{
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    f.models.push_back(CubeModel(1.0f, 0, true));
    f.models.push_back(CubeModel(1.0f, TEXID_NONE, false));
    P2BTexture tex;
    tex.texture = CheckerTexture(16, Colour(255, 255, 255, 255), Colour(200, 40, 40, 255));
    f.textures.push_back(tex);
    CollisionChain box;
    box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-1, -1, -1), VectorPos(1, 1, 1)));
    f.collisions.push_back(box);

    NODE root = MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kCubeRootId);
    root.collision = 0;
    f.AddNode(-1, root);
    f.AddNode(kCubeRootNode, MakeLodNode(1));
    NODE light;
    std::string error;
    // Node colours are bytes scaled by intensity / 128: about 1.5 here.
    MakeLightNode(ZEVLIGHT_POS, Colour(255, 240, 200, 128), 0.75f, 10.0f, 0.0f, VectorPos(0, -3, 0),
                  VectorXYZ(0, 0, 0), light, error);
    light.extra = kCubeLightId;
    f.AddNode(kCubeRootNode, light);
    return f;
}

P2BModel ArmModel(u16 texid)
{
    constexpr float kHalfLength = 2.0f, kHalfWidth = 0.35f;
    constexpr int kSegments = 8;
    P2BModel m;
    m.flags = MDL_LIT | MDL_SKINNED;
    m.sphere = Sphere(0.0f, 0.0f, 0.0f, std::sqrt(kHalfLength * kHalfLength + 2 * kHalfWidth * kHalfWidth));
    m.boxextent = Vector(kHalfLength, kHalfWidth, kHalfWidth, 0.0f);

    // Bone 2 takes over from bone 1 between x = -0.5 and 0.5.
    auto weights = [](float x) {
        const float w2 = std::clamp(x + 0.5f, 0.0f, 1.0f);
        return Quad(Bits(1.0f - w2), Bits(w2), 0, 1 | 2 << 8);
    };
    auto vert = [&](float x, float y, float z, float u, float v) {
        return Vert{{x, y, z}, u, v, weights(x)};
    };
    std::vector<Vert> verts;
    std::vector<V3> normals;
    const float t = kHalfWidth;
    for (int s = 0; s < kSegments; ++s) {
        const float x0 = -kHalfLength + 2 * kHalfLength * float(s) / kSegments;
        const float x1 = -kHalfLength + 2 * kHalfLength * float(s + 1) / kSegments;
        const float u0 = (x0 + kHalfLength) * 0.5f, u1 = (x1 + kHalfLength) * 0.5f;
        for (int side = 0; side < 4; ++side) {
            const float sg = (side & 1) ? -1.0f : 1.0f;
            Vert q[4];
            V3 n;
            if (side < 2) {   // +y, -y
                q[0] = vert(x0, sg * t, -t, u0, 0);
                q[1] = vert(x1, sg * t, -t, u1, 0);
                q[2] = vert(x1, sg * t, t, u1, 1);
                q[3] = vert(x0, sg * t, t, u0, 1);
                n = {0, sg, 0};
            } else {          // +z, -z
                q[0] = vert(x0, -t, sg * t, u0, 0);
                q[1] = vert(x1, -t, sg * t, u1, 0);
                q[2] = vert(x1, t, sg * t, u1, 1);
                q[3] = vert(x0, t, sg * t, u0, 1);
                n = {0, 0, sg};
            }
            AddQuad(verts, q, n);
            normals.push_back(n);
        }
    }
    for (float sg : {-1.0f, 1.0f}) {
        const float x = sg * kHalfLength;
        Vert q[4] = {vert(x, -t, -t, 0, 0), vert(x, t, -t, 1, 0), vert(x, t, t, 1, 1), vert(x, -t, t, 0, 1)};
        AddQuad(verts, q, {sg, 0, 0});
        normals.push_back({sg, 0, 0});
    }

    const u32 prim = kPrimTriangles | kPrimGouraud | (texid != TEXID_NONE ? kPrimTextured : 0);
    const std::vector<u128> program = {
        PlainCommand(tokSkin, 3, 2),
        PlainCommand(tokTransform),
        PlainCommand(tokBFCull),
        ColourCommand(tokDoLighting, 1.0f, 1.0f, 1.0f, 1.0f),
        KickCommand(tokKickFlip, 1, prim),
    };
    P2BMaterial mt;
    mt.desc = kArmStride;
    mt.texid = texid;
    mt.callList = CallListOf(kArmStride, program);
    mt.data = VertexStream(Pack(verts, normals, kArmStride), kArmStride, kArmBatch);
    m.opaque.push_back(mt);
    return m;
}

P2BFile SampleArmFile()
{
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    f.models.push_back(ArmModel(0));
    P2BTexture tex;
    tex.texture = CheckerTexture(16, Colour(230, 230, 210, 255), Colour(40, 90, 170, 255));
    f.textures.push_back(tex);
    f.AddNode(-1, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kArmRootId));
    f.AddNode(kArmRootNode, MakeNode(MDL_BONE, VectorPos(-2, 0, 0), VectorXYZ(0, 0, 0), kArmBone1Id));
    f.AddNode(kArmBone1Node, MakeNode(MDL_BONE, VectorPos(2, 0, 0), VectorXYZ(0, 0, 0), kArmBone2Id));
    return f;
}

}  // namespace tools
