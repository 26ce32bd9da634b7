// Skid marks: building the strip point by point and drawing it fading.
#include "ZevEngine2/PS2/Render.h"
#include "game/ProgramImages.h"
#include "game/QuadTree.h"
#include "game/SkidMarks.h"

namespace {

// Both streams are set up once, before any mark exists: positions as four
// floats, texture coordinates as two.
VertexStreams<2> MakeStreams()
{
    VertexStreams<2> v;
    v.stride = 2;
    v.SetType(0, VSA_POS, VSD_POSF_4, 0);
    v.SetType(1, VSA_UV, VSD_UVF, 0);
    return v;
}

// The strip is lifted 1/32 above the ground so that it draws over the road,
// and is 1/8 wide.
constexpr float kLift = 0.03125f;
constexpr float kHalfWidth = 0.0625f;
// The level of a fading mark: 127 at its full 600 frames.
constexpr float kFadeLevel = 0.21166667f;

}  // namespace

VertexStreams<2> SkidDraw::vs = MakeStreams();
int SkidDraw::total = 0;

SkidDraw* SkidDraw::Create()
{
    void* p = calloc(1, sizeof(SkidDraw));
    if (p == nullptr)
        return nullptr;
    SkidDraw* s = static_cast<SkidDraw*>(p);
    s->messagehandler = staticmh;
    total++;
    world.AddPostRawObj(s, false);
    return s;
}

int SkidDraw::AddPos(const VectorPos& pos, const VectorDir& normal, bool finish)
{
    const VectorPos p = pos + VectorDir(0.0f, -kLift, 0.0f);
    if (iNumVerts == 0) {
        vpLast = Vector(p, 1.0f);
        iNumVerts = 2;
        return 0;
    }
    const VectorPos last(vpLast.xyz());
    const VectorDir d = p - last;
    const float len = Length(d);
    // A point on the last one gives no direction: a zero-width pair.
    const VectorDir side = len != 0.0f ? VectorDir((d / len) ^ normal) : VectorDir(0.0f, 0.0f, 0.0f);
    const VectorDir h = side * kHalfWidth;
    if (iNumVerts == 2) {
        rgpos[0] = last - h;
        rgpos[1] = last + h;
        rguvs[0][0] = 0.0f;
        rguvs[0][1] = 0.0f;
        rguvs[1][0] = 1.0f;
        rguvs[1][1] = 0.0f;
        vpMinext = vpMaxext = Vector(p, 1.0f);
        fvLast = 0.0f;
    }
    for (int i = 0; i < 3; i++) {
        vpMinext[i] = std::min(vpMinext[i], p[i]);
        vpMaxext[i] = std::max(vpMaxext[i], p[i]);
    }
    const int n = iNumVerts;
    iNumVerts += 2;
    vpLast = Vector(p, 1.0f);
    rgpos[n] = p - h;
    rgpos[n + 1] = p + h;
    rguvs[n][0] = 0.0f;
    rguvs[n + 1][0] = 1.0f;
    if (n == MAX_VERTS - 2 || finish) {
        // The strip's last stretch of length 1 fades out to its end.
        rguvs[n][1] = rguvs[n + 1][1] = 0.0f;
        fvLast = 0.0f;
        for (int k = n - 2; k >= 0 && rguvs[k][1] > fvLast; k -= 2) {
            fvLast = std::min(1.0f, fvLast + Length(rgpos[k + 2] - rgpos[k]));
            rguvs[k][1] = rguvs[k + 1][1] = fvLast;
        }
        iFadeCount = FADE_FRAMES;
        return 1;
    }
    // ... and its first stretch fades in from its start.
    fvLast = std::min(1.0f, fvLast + len);
    rguvs[n][1] = rguvs[n + 1][1] = fvLast;
    return 0;
}

int SkidDraw::staticmh(RawObj* ro, RAWOBJMESSAGE msg, void* a, void* b, void* c)
{
    return static_cast<SkidDraw*>(ro)->mh(msg, a, b, c);
}

int SkidDraw::mh(RAWOBJMESSAGE msg, void*, void*, void* c)
{
    switch (msg) {
    case ROM_PREDRAW:
        Draw(int(reinterpret_cast<intptr_t>(c)));
        return 0;
    case ROM_DESTROY:
        Free();
        return 1;
    default:
        return 0;
    }
}

void SkidDraw::Draw(int frames)
{
    if (iNumVerts < 3)
        return;
    const int level = (flags & SKID_FINISHED) ? int(float(iFadeCount) * kFadeLevel) : 127;
    const VectorPos centre = VectorPos(((vpMinext + vpMaxext) * 0.5f).xyz());
    const float radius = Length(VectorXYZ(vpMaxext.xyz()) - centre) + 1.0f;
    iFadeCount = std::max(iFadeCount - frames, 0);

    vs.count = iNumVerts;
    vs.SetData(0, rgpos);
    vs.SetData(1, rguvs);
    therenderer.BeginCommands();
    therenderer.SetLocal(Matrix(true), Sphere(centre[0], centre[1], centre[2], radius));

    FixProgramImages();   // a mark may be drawn before the start-up fixed the images
    Material m;
    const bool textured = SkidMark.data != nullptr;
    m.flags = textured ? 0x1C : 0x0C;
    m.prim_reg = 0x4C;
    m.texmat = 0;
    m.alpha_mode = 0x44;
    m.alpha_fix = 0;
    m.test_reg = 0x53001;
    m.clamp_reg = 0;
    m.mip_reg = 0;
    m.colour = Colour(u8(level), u8(level), u8(level), u8(level));
    m.texture = textured ? &SkidMark : nullptr;
    m.Draw(vs, true);

    if (level == 0) {
        world.RemovePostRawObj(this);
        Free();
    }
}

void SkidDraw::Free()
{
    total--;
    free(this);
}
