// Sample model files.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Packet.h"

namespace tools {

namespace {

constexpr u32 VIF_NOP = 0x00000000;
constexpr u32 VIF_STCYCL_4_4 = 0x01000404;
constexpr u32 VIF_UNPACK_V4_32 = 0x6C000000;
constexpr u32 VIF_UNPACK_RELATIVE = 0x8000;
constexpr u32 VIF_MSCNT = 0x17000000;

u32 Bits(float f)
{
    u32 u;
    std::memcpy(&u, &f, 4);
    return u;
}

u128 FloatQuad(float x, float y, float z, float w)
{
    return Quad(Bits(x), Bits(y), Bits(z), Bits(w));
}

}  // namespace

P2BModel CubeModel(float half, u16 texid, bool lit)
{
    P2BModel m;
    m.flags = lit ? MDL_LIT : 0;
    m.sphere = Sphere(0.0f, 0.0f, 0.0f, half * std::sqrt(3.0f));
    m.boxextent = Vector(half, half, half, 0.0f);

    // Six faces, each two triangles, wound counter-clockwise seen from
    // outside.  Face f has normal axis f / 2, sign + for even f.
    std::vector<u128> verts;
    for (int f = 0; f < 6; ++f) {
        int axis = f / 2;
        float s = (f & 1) ? -1.0f : 1.0f;
        int u = (axis + 1) % 3, v = (axis + 2) % 3;
        float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        int order[6] = {0, 1, 2, 0, 2, 3};
        for (int k = 0; k < 6; ++k) {
            int c = order[s > 0 ? k : 5 - k];
            float p[3];
            p[axis] = s * half;
            p[u] = corner[c][0] * half;
            p[v] = corner[c][1] * half;
            float n[3] = {0, 0, 0};
            n[axis] = s;
            verts.push_back(FloatQuad(p[0], p[1], p[2], 1.0f));
            verts.push_back(FloatQuad(n[0], n[1], n[2], 0.0f));
            verts.push_back(FloatQuad((corner[c][0] + 1) * 0.5f, (corner[c][1] + 1) * 0.5f, 1.0f, 0.0f));
        }
    }

    // Triangles, Gouraud shaded, textured when there is a texture; the
    // registers ST, RGBAQ and XYZ2 per vertex.
    u32 prim = 3 | 1 << 3 | (texid != TEXID_NONE ? 1 << 4 : 0);
    sceGifTag tag = MakeGifTag(kCubeVertices, true, 0, 3, 0x512, true, prim);
    u128 tagq;
    std::memcpy(&tagq, &tag, 16);

    CallList cl;
    cl.Cmd(tokSetMaterial, kCubeVertices);
    cl.Giftag({tagq});
    cl.Cmd(tokTransform);
    if (lit)
        cl.Cmd(tokDoLighting);
    cl.Cmd(tokKick);
    cl.Cmd(tokStop);

    P2BMaterial mt;
    mt.texid = texid;
    mt.callList = cl.qw;
    mt.data.push_back(Quad(VIF_NOP, VIF_NOP, VIF_STCYCL_4_4,
                           VIF_UNPACK_V4_32 | u32(verts.size() & 0xFF) << 16 | VIF_UNPACK_RELATIVE));
    mt.data.insert(mt.data.end(), verts.begin(), verts.end());
    mt.data.push_back(Quad(VIF_MSCNT, VIF_NOP, VIF_NOP, VIF_NOP));
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
    MakeLightNode(ZEVLIGHT_POS, Colour(255, 240, 200, 128), 128.0f, 10.0f, 0.0f, VectorPos(0, -3, 0),
                  VectorXYZ(0, 0, 0), light, error);
    light.extra = kCubeLightId;
    f.AddNode(kCubeRootNode, light);
    return f;
}

}  // namespace tools
