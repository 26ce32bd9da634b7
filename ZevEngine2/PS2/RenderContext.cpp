#include "ZevEngine2/PS2/RenderContext.h"

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Render.h"

namespace {

// Global constants the view sends, as their VU1 addresses count them.
constexpr u32 kLightDirsQwc = 3;
constexpr u32 kMaxChainQwc = 3 * RC_MAXLIGHTS + 6;

constexpr float kFogBase = 0.99609375f;   // 255 / 256: a fog value of "none"

u128 CommandQuad(u32 x, u32 y, u32 z, u32 routine)
{
    u128 q;
    u32 w[4] = {x, y, z, routine / 8};
    std::memcpy(&q, w, 16);
    return q;
}

u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}

// A float whose low 16 bits name a routine.
u32 WithRoutine(float f, u32 routine) { return (Bits(f) & 0xFFFF0000u) | (routine / 8 & 0xFFFF); }

u128 Quad(const Vector& v)
{
    u128 q;
    std::memcpy(&q, &v, 16);
    return q;
}

// The plane (as a column) in the frame M maps from: component i = row i . plane.
Vector PlaneThrough(const Matrix& m, const Vector& plane)
{
    return Vector(Dot(m.x, plane), Dot(m.y, plane), Dot(m.z, plane), Dot(m.w, plane));
}

}  // namespace

// ----------------------------------------------------------- RenderContext

RenderContext::RenderContext()
    : scrw(0), scrh(0), ax(1.0f), ay(1.0f), ay2(1.0f), guardband(1024.0f), guardmult(1.0f), nearz(0.1f),
      farz(2000.0f), normal_light(true), light_colour(true), view_clip(true), view_cull(true), cull_view(true),
      cull_scale(0, 0, 0, 0), clip_scale(0, 0, 0, 0), view_scale(0, 0, 0, 0), view_screen(true), viewport_mat(true),
      viewport_scale(0, 0, 0, 0), viewport_trans(0, 0, 0, 0), world_screen(true), world_view(true),
      world_clip(true), world_cull(true), view_world(true), cull_world(true), fog_mode(0), fog_min(0), fog_max(0),
      fog_colour(0x80, 0x80, 0x80, 0x80), fog_num(0, 0, 0, 0), fog_den(0, 0, 0, 1), mode(0), tesselation(8),
      lastperspectivecall(PERSPECTIVECALL_PERSPECTIVE), lastperspectivezoom(1.0f), nlights(0)
{
    SetViewport(2048.0f, 2048.0f + 640.0f, 2048.0f, 2048.0f + 512.0f, 1.0f, 16000000.0f);
    SetPerspective(1.0f);
    SetCameraMatrix(Matrix(true));
    SetFog(0, fog_colour, fog_num, fog_den, 0.0f, 0.0f);
    const VectorDir none(0.0f, 0.0f, 0.0f);
    const Vector black(0.0f, 0.0f, 0.0f, 0.0f);
    SetDirectionalLights(none, none, none, black, black, black, Vector(1.0f, 1.0f, 1.0f, 1.0f));
}

void RenderContext::SetViewport(float xmin, float xmax, float ymin, float ymax, float zmin, float zmax)
{
    viewport_scale = Vector((xmax - xmin) * 0.5f, (ymax - ymin) * 0.5f, (zmax - zmin) * 0.5f, 0.0f);
    viewport_trans = Vector((xmax + xmin) * 0.5f, (ymax + ymin) * 0.5f, (zmax + zmin) * 0.5f, 1.0f);
    scrw = xmax - xmin;
    scrh = ymax - ymin;
    viewport_mat = Matrix(Vector(viewport_scale[0], 0, 0, 0), Vector(0, viewport_scale[1], 0, 0),
                          Vector(0, 0, viewport_scale[2], 0), viewport_trans);
    ay2 = viewport_scale[1] != 0.0f ? ay * viewport_scale[0] / viewport_scale[1] : ay;
    guardmult = std::max(viewport_scale[0], viewport_scale[1]) * (1.0f / 1024.0f);
}

void RenderContext::SetAspectRatio(float _ax, float _ay)
{
    ax = _ax;
    ay = _ay;
    ay2 = viewport_scale[1] != 0.0f ? ay * viewport_scale[0] / viewport_scale[1] : ay;
}

void RenderContext::SetZRange(float _nearz, float _farz)
{
    nearz = _nearz;
    farz = _farz;
}

void RenderContext::ApplyProjection(PERSPECTIVECALL call, float zoom)
{
    const float n = nearz, f = farz;
    const float a = ax * zoom, b = ay2 * zoom;
    lastperspectivecall = call;
    lastperspectivezoom = zoom;
    Matrix p, q;
    switch (call) {
    case PERSPECTIVECALL_PARALLEL: {
        // z' = 2z/(f-n) - (f+n)/(f-n), w' = 1.
        const float s = 2.0f / (f - n), t = -(f + n) / (f - n);
        p = Matrix(Vector(a, 0, 0, 0), Vector(0, b, 0, 0), Vector(0, 0, s, 0), Vector(0, 0, t, 1));
        q = Matrix(Vector(1 / a, 0, 0, 0), Vector(0, 1 / b, 0, 0), Vector(0, 0, 1 / s, 0), Vector(0, 0, -t / s, 1));
        break;
    }
    case PERSPECTIVECALL_INFINITE:
        // z' = z - 2n, w' = z.
        p = Matrix(Vector(a, 0, 0, 0), Vector(0, b, 0, 0), Vector(0, 0, 1, 1), Vector(0, 0, -2 * n, 0));
        q = Matrix(Vector(1 / a, 0, 0, 0), Vector(0, 1 / b, 0, 0), Vector(0, 0, 0, -1 / (2 * n)),
                   Vector(0, 0, 1, 1 / (2 * n)));
        break;
    default: {
        // z' = A z + B, w' = z.
        const float A = (f + n) / (f - n), B = -2.0f * f * n / (f - n);
        p = Matrix(Vector(a, 0, 0, 0), Vector(0, b, 0, 0), Vector(0, 0, A, 1), Vector(0, 0, B, 0));
        q = Matrix(Vector(1 / a, 0, 0, 0), Vector(0, 1 / b, 0, 0), Vector(0, 0, 0, 1 / B), Vector(0, 0, 1, -A / B));
        break;
    }
    }
    SetProjection(p, q);
}

void RenderContext::SetPerspective(float zoom) { ApplyProjection(PERSPECTIVECALL_PERSPECTIVE, zoom); }
void RenderContext::SetParallel(float zoom) { ApplyProjection(PERSPECTIVECALL_PARALLEL, zoom); }
void RenderContext::SetPerspectiveInfinite(float zoom) { ApplyProjection(PERSPECTIVECALL_INFINITE, zoom); }

void RenderContext::SetProjection(const Matrix& proj, const Matrix& invproj)
{
    view_cull = proj;
    cull_view = invproj;
    view_screen = proj * viewport_mat;
    view_clip = proj;
    for (int i = 0; i < 4; ++i) {
        view_clip[i].mulx(guardmult);
        view_clip[i].muly(guardmult);
    }
    view_scale = Vector(viewport_scale[0] * proj.x[0], viewport_scale[1] * proj.y[1], viewport_scale[2],
                        viewport_scale[3]);
    // |column j + column w| over the rows x, y, z: how fast a plane's value
    // changes per unit of distance, for spheres.
    auto colw = [&proj](int j, float mult) {
        const VectorXYZ v(proj.x[j] * mult + proj.x[3], proj.y[j] * mult + proj.y[3], proj.z[j] * mult + proj.z[3]);
        return Length(v);
    };
    const float zw = proj.z[3];
    cull_scale = Vector(colw(0, 1.0f), colw(1, 1.0f), colw(2, 1.0f) - zw, zw);
    clip_scale = Vector(colw(0, guardmult), colw(1, guardmult), colw(2, 1.0f) - zw, guardmult);
}

void RenderContext::SetCameraMatrix(const Matrix& camera)
{
    view_world = camera;
    world_view = camera.Inverse();
    world_clip = world_view * view_clip;
    world_cull = world_view * view_cull;
    world_screen = world_cull * viewport_mat;
    cull_world = cull_view * view_world;
}

void RenderContext::ZOffset(float vOffset)
{
    nearz += vOffset;
    farz += vOffset;
    ApplyProjection(lastperspectivecall, lastperspectivezoom);
    SetCameraMatrix(view_world);
}

void RenderContext::SetFog(int _mode, Colour colour, Vector num, Vector den, float max, float min)
{
    fog_mode = _mode;
    fog_colour = colour;
    fog_num = num;
    fog_den = den;
    fog_max = kFogBase - max;
    fog_min = kFogBase - min;
}

void RenderContext::SetDirectionalLights(VectorDir d0, VectorDir d1, VectorDir d2, Vector col1, Vector col2,
                                         Vector col3, Vector amb)
{
    const Matrix rows(Vector(-Normalise(d0), 0.0f), Vector(-Normalise(d1), 0.0f), Vector(-Normalise(d2), 0.0f),
                      Vector(0.0f, 0.0f, 0.0f, 1.0f));
    normal_light = rows.Transpose();
    light_colour = Matrix(col1, col2, col3, amb);
}

void RenderContext::SetNumLights(int n) { nlights = std::clamp(n, 0, RC_MAXLIGHTS); }

Light& RenderContext::GetLight(int i) { return lights[std::clamp(i, 0, RC_MAXLIGHTS - 1)]; }

// --------------------------------------------------------------- tests

// Against w itself, not |w|: a point behind the eye (w < 0) then lies
// outside the near plane instead of seeming to be in view, mirrored.
int RenderContext::TestCull(VectorPos pos) const
{
    return ClipFlags(world_cull * Vector(pos));
}

// Each plane of the cull volume as a value that is positive outside (for the
// right plane x - w); cull_scale x radius is by how much that value can fall
// across the sphere.  A sphere is outside a plane only when all of it is.
int RenderContext::TestCull(VectorPos pos, float radius) const
{
    const Vector c = world_cull * Vector(pos);
    const Vector s = cull_scale * radius;
    int flags = 0;
    if (c[0] - s[0] > c[3])
        flags |= CLIP_POSX;
    if (c[0] + s[0] < -c[3])
        flags |= CLIP_NEGX;
    if (c[1] - s[1] > c[3])
        flags |= CLIP_POSY;
    if (c[1] + s[1] < -c[3])
        flags |= CLIP_NEGY;
    if (c[2] - s[2] > c[3] - s[3])
        flags |= CLIP_POSZ;
    if (c[2] + s[2] < -(c[3] + s[3]))
        flags |= CLIP_NEGZ;
    return flags;
}

int RenderContext::TestCull(const Cuboid& box) const { return box.TestCull(world_cull); }

int RenderContext::TestCull(const Cuboid& box, const Matrix& mat) const { return box.TestCull(mat * world_cull); }

bool RenderContext::TestClip(VectorPos pos, float radius) const
{
    const Vector c = world_clip * Vector(pos);
    const Vector s = clip_scale * radius;
    const Vector sc = cull_scale * radius;
    return c[0] + s[0] > c[3] || c[0] - s[0] < -c[3] || c[1] + s[1] > c[3] || c[1] - s[1] < -c[3] ||
           c[2] - sc[2] < -(c[3] - sc[3]);
}

u32 RenderContext::ScreenDepth(const Vector& screen) const
{
    const float t = viewport_trans[2], s = viewport_scale[2];
    const float lo = std::min(t - s, t + s), hi = std::max(t - s, t + s);
    float z = screen[3] != 0.0f ? 2.0f * t - screen[2] / screen[3] : lo;
    if (!(z >= lo))
        z = lo;
    if (z > hi)
        z = hi;
    return u32(s32(z)) & 0xFFFFFFu;
}

int RenderContext::MipTest(VectorPos pos, float radius, int mipK) const
{
    const Vector c = world_cull * Vector(pos);
    const float d = c[3] - cull_scale[3] * radius;
    if (d < 0.0f)
        return 0;
    return int(Bits(d) >> 19) - 0x7F0 + mipK;
}

// ------------------------------------------------------ vector unit 1

void RenderContext::Begin()
{
    Renderer& r = therenderer;
    r.EndCommands();
    if (!r.AllowFor(3))
        return;
    // The microcode's own MPG codes load it; FLUSHE first lets the program
    // still running finish.
    r._Ref(DMA_REF, Microcode2, MICROCODE2_QWC, VIF_FLUSHE, VIF_NOP, false);
    r.SetInputBuffers(0, MC2_INPUT_OFFSET);
    // The layout without a palette is back: the next palette sends its own.
    r.nmats = 0;

    r._BeginCommands();
    r.SetOutputBuffers(MC2_OUTBUF1, MC2_OUTBUF2);
    r.SetViewport(viewport_scale.xyz(), viewport_trans.xyz());
    r.SetGlobals(MC2_LIGHTCOLOURS, 4, reinterpret_cast<const u64*>(light_colour.Raw()));
    r.SetGlobals(MC2_WORLDCULL, 4, reinterpret_cast<const u64*>(world_cull.Raw()));
    r.SetGlobals(MC2_CLIPSCALE, 1, reinterpret_cast<const u64*>(&clip_scale));
    const u128 end = CommandQuad(0, 0, 0, mc2NoExtraLights);
    r.SetGlobals(MC2_LIGHTCHAIN, 1, reinterpret_cast<const u64*>(&end));
    r._EndCommands();
}

int RenderContext::BuildLightChain(u128* q, const Matrix* mat) const
{
    int n = 0;
    const int count = std::clamp(nlights, 0, RC_MAXLIGHTS);
    if (count > 0) {
        q[n++] = CommandQuad(2, 2, 2, mc2UnpackNormals);
        const Matrix inv = mat ? mat->Inverse() : Matrix(true);
        for (int i = count - 1; i >= 0; --i) {
            const Light& l = lights[i];
            const Vector p = inv * Vector(l.pos.xyz(), 1.0f);
            const Vector d = inv * Vector(l.dir.xyz(), 0.0f);
            Vector q0(p.xyz(), 0.0f), q1(-d.xyz(), l.params[3]), q2(l.colour.xyz(), l.params[2]);
            q0.setwcomponent(int(WithRoutine(l.params[1], mc2GeneralLight)));
            q[n++] = Quad(q0);
            q[n++] = Quad(q1);
            q[n++] = Quad(q2);
        }
        q[n++] = CommandQuad(0, 0, 0, mc2ClampLights);
    }
    if (mat && fog_mode != 0) {
        q[n++] = CommandQuad(Bits(fog_max), Bits(fog_min), 0, mc2Fog);
        const Matrix m = fog_mode == 1 ? *mat * world_view : *mat;
        q[n++] = Quad(PlaneThrough(m, fog_num));
        q[n++] = Quad(PlaneThrough(m, fog_den));
    }
    q[n++] = CommandQuad(0, 0, 0, mc2NoExtraLights);
    return n;
}

void RenderContext::SetLights(const Matrix& mat)
{
    Renderer& r = therenderer;
    r.BeginCommands();
    const Matrix dirs = mat * normal_light;
    r.SetGlobals(MC2_LIGHTDIRS, kLightDirsQwc, reinterpret_cast<const u64*>(dirs.Raw()));
    alignas(16) u128 chain[kMaxChainQwc];
    const int n = BuildLightChain(chain, &mat);
    r.SetGlobals(MC2_LIGHTCHAIN, u32(n), reinterpret_cast<const u64*>(chain));
}

void RenderContext::SetLightsDirect()
{
    Renderer& r = therenderer;
    alignas(16) u128 chain[kMaxChainQwc];
    const int n = BuildLightChain(chain, nullptr);
    // An UNPACK of its own: it must not land inside an open block's data.
    r.EndCommands();
    if (!r.AllowFor(u32(n) + 1))
        return;
    r.Align(2, 2);
    r.Put(RENDER_STCYCL);
    r.OpenUnpack(VIF_UNPACK_V4_32 | MC2_LIGHTCHAIN);
    r.AddN(chain, n);
    r.CloseUnpack();
}
