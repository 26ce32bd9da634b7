// The sky model.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/skyfile.h"

#include "tools/lib/p2b_sample.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Render2D.h"

namespace tools {

namespace {

constexpr float kTwoPi = 6.2831853f;

u32 Bits(float f)
{
    u32 u;
    std::memcpy(&u, &f, 4);
    return u;
}

constexpr int kDiscSegments = 24;
constexpr int kBatch = 96;   // a whole number of star quads
// Position w: 256.0 draws; with bit 15 set the vertex completes no triangle
// (a strip starts again there).
constexpr float kDraw = 256.0f;
constexpr u32 kNoKick = 0x43808000u;
constexpr u32 kPrimStrip = 4;

// Vertices of `stride` quadwords: the position, then (stride 2) the texture
// coordinates.  The sky is unlit, so it needs no normals.
struct Verts
{
    int stride;
    std::vector<u128> q;

    void Add(float x, float y, float z, float u = 0.0f, float v = 0.0f)
    {
        q.push_back(FloatQuad(x, y, z, kDraw));
        if (stride > 1)
            q.push_back(FloatQuad(u, v, 1.0f, 0.0f));
    }
};

// One material of the given program: the call list (a register packet
// first: the depth test, so that the sky drawn after the city shows only
// where nothing nearer stands; when `alpha` is not 0 it is translucent, with
// the blend and colours clamped rather than wrapped, since the transparency
// pass leaves them wrapping and light added to a bright sky would turn dark)
// and its vertices.
P2BMaterial Material(const std::vector<u128>& program, const Verts& verts, u16 texid, u32 alpha)
{
    CallList cl;
    if (alpha != 0)
        cl.Registers({{kTestTranslucent, GS_TEST_1}, {alpha, GS_ALPHA_1}, {1, GS_COLCLAMP}});
    else
        cl.Registers({{kTestOpaque, GS_TEST_1}});
    cl.Cmd(tokSetMaterial, u32(verts.stride), u32(program.size() + 1));
    for (const u128& q : program)
        cl.Raw(q);
    cl.Cmd(tokStop);
    P2BMaterial m;
    m.desc = u16(verts.stride);
    m.texid = texid;
    m.callList = cl.qw;
    m.data = VertexStream(verts.q, verts.stride, kBatch);
    return m;
}

// A disc of `radius` in the x-y plane as a fan of triangles, texture
// coordinates across its square.
Verts Disc(float radius, int stride)
{
    Verts v{stride, {}};
    for (int i = 0; i < kDiscSegments; i++) {
        const float a0 = kTwoPi * float(i) / kDiscSegments, a1 = kTwoPi * float(i + 1) / kDiscSegments;
        v.Add(0.0f, 0.0f, 0.0f, 0.5f, 0.5f);
        for (const float a : {a0, a1})
            v.Add(radius * std::cos(a), radius * std::sin(a), 0.0f, 0.5f + 0.5f * std::cos(a),
                  0.5f + 0.5f * std::sin(a));
    }
    return v;
}

P2BModel Model(float radius, P2BMaterial mt, bool translucent)
{
    P2BModel m;
    m.sphere = Sphere(0.0f, 0.0f, 0.0f, radius);
    m.boxextent = Vector(radius, radius, radius, 0.0f);
    (translucent ? m.translucent : m.opaque).push_back(std::move(mt));
    return m;
}

P2BModel SunModel()
{
    const std::vector<u128> program = {
        Quad(0, 0, 0, tokTransform),
        ColourCommand(tokFillColour, 1.9f, 1.75f, 1.4f, 1.0f),
        KickCommand(tokKickFlip, 1, kPrimTriangles | kPrimGouraud | PRIM_ABE),
    };
    return Model(kSkySunRadius, Material(program, Disc(kSkySunRadius, 1), TEXID_NONE, ALPHA_ADD), true);
}

P2BModel MoonModel()
{
    const std::vector<u128> program = {
        Quad(0, 0, 0, tokTransform),
        ColourCommand(tokFillColour, 1.0f, 1.0f, 1.0f, 1.0f),
        KickCommand(tokKickFlip, 1, kPrimTriangles | kPrimGouraud | kPrimTextured),
    };
    return Model(kSkyMoonRadius, Material(program, Disc(kSkyMoonRadius, 2), 0, 0), false);
}

// Small quads facing the centre, spread over the sky above 5 degrees by a
// fixed sequence; each a strip of four whose first two complete nothing.
P2BModel StarsModel()
{
    Verts v{1, {}};
    u32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return float(seed >> 8) / 16777216.0f;
    };
    for (int i = 0; i < kSkyStarCount; i++) {
        const float yaw = kTwoPi * next();
        const float up = 0.09f + 0.91f * next();   // sine of the height
        const float flat = std::sqrt(1.0f - up * up);
        const float dx = flat * std::cos(yaw), dy = -up, dz = flat * std::sin(yaw);
        const float size = 1.0f + 1.5f * next();
        // Two axes across the direction.
        float ax = -dz, az = dx;
        const float al = std::sqrt(ax * ax + az * az);
        ax /= al;
        az /= al;
        const float bx = dy * az, by = dz * ax - dx * az, bz = -dy * ax;
        const float cx = dx * kSkyStarDistance, cy = dy * kSkyStarDistance, cz = dz * kSkyStarDistance;
        const float corner[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
        for (int k = 0; k < 4; k++) {
            const float* c = corner[k];
            const float x = cx + size * (c[0] * ax + c[1] * bx), y = cy + size * c[1] * by,
                        z = cz + size * (c[0] * az + c[1] * bz);
            v.q.push_back(k < 2 ? Quad(Bits(x), Bits(y), Bits(z), kNoKick) : FloatQuad(x, y, z, kDraw));
        }
    }
    const std::vector<u128> program = {
        Quad(0, 0, 0, tokTransform),
        ColourCommand(tokFillColour, 1.6f, 1.6f, 1.8f, 1.0f),
        ColourCommand(tokAlphaReg, 1.0f, 0.0f, 0.0f, 0.0f),   // alpha 1 x the fade
        KickCommand(tokKickFlip, 1, kPrimStrip | kPrimGouraud | PRIM_ABE),
    };
    return Model(kSkyStarDistance, Material(program, v, TEXID_NONE, ALPHA_BLEND), true);
}

// Grey with three darker seas; 8-bit.
TextureImage MoonTexture()
{
    constexpr int kSize = 32;
    RgbaImage img;
    img.width = img.height = kSize;
    const float seas[3][3] = {{0.35f, 0.4f, 0.22f}, {0.62f, 0.3f, 0.15f}, {0.55f, 0.68f, 0.18f}};
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const float u = (float(x) + 0.5f) / kSize, v = (float(y) + 0.5f) / kSize;
            float level = 0.85f;
            for (const auto& s : seas) {
                const float d = std::hypot(u - s[0], v - s[1]) / s[2];
                if (d < 1.0f)
                    level -= 0.25f * (1.0f - d * d);
            }
            const u8 g = u8(std::clamp(int(level * 255.0f) & ~3, 0, 255));
            img.rgba.insert(img.rgba.end(), {g, g, u8(std::min(255, g + 8)), 255});
        }
    TextureImage t;
    std::string error;
    ConvertTexture(img, TexFormat::kT8, t, error);   // at most 64 greys: always fits
    return t;
}

}  // namespace

P2BFile SkyModelFile()
{
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    f.models = {SunModel(), MoonModel(), StarsModel()};
    P2BTexture moon;
    moon.texture = MoonTexture();
    f.textures.push_back(moon);
    const int root = f.AddNode(-1, MakeNode(MDL_NOGEOM, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kSkyRootId));
    f.AddNode(root, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kSkySunId));
    f.AddNode(root, MakeNode(1, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kSkyMoonId));
    f.AddNode(root, MakeNode(2, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kSkyStarsId));
    return f;
}

}  // namespace tools
