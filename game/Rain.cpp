// Rain and its splashes.
#include "game/Rain.h"

#include <cmath>
#include <cstring>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/MC2/Routines.h"
#include "ZevEngine2/PS2/ParticleDraw.h"
#include "ZevEngine2/PS2/Render.h"
#include "game/QuadTree.h"

namespace {

constexpr float kTwoPi = 6.2831855f;

// The drop image: a soft white dot, 8 x 8.
constexpr int kDropSize = 8;
alignas(16) u32 droppixels[kDropSize * kDropSize];

Texture MakeDrop()
{
    for (int y = 0; y < kDropSize; y++)
        for (int x = 0; x < kDropSize; x++) {
            const float dx = (float(x) + 0.5f) / kDropSize * 2.0f - 1.0f;
            const float dy = (float(y) + 0.5f) / kDropSize * 2.0f - 1.0f;
            const float a = std::max(0.0f, 1.0f - (dx * dx + dy * dy));
            droppixels[y * kDropSize + x] = 0x00FFFFFFu | u32(a * 128.0f) << 24;
        }
    Texture t{};
    t.Set(PSMCT32, kDropSize, kDropSize, 0, droppixels);
    return t;
}

// Every drop has the same colour: the line command's.
const Colour kDropColour(64, 64, 64, 64);
// GS PRIM of the streaks: lines, blended.
constexpr u32 kDropPrim = 0x41;

// The grid of cubes around the camera, on x, y and z alike.
constexpr float kGridFrom = -5.0f, kGridTo = 5.0f, kGridStep = 1.5f;
// A column's cache is forgotten when its last answer lies farther than this
// (squared, horizontally) from the new splash.
constexpr float kCacheReach2 = 250.0f;

// VIF codes of a packet block.
constexpr u32 kStcycl = VIF_STCYCL(4, 4);
constexpr u32 kUnpackRelative = VIF_UNPACK_V4_32 | VIF_UNPACK_TOPS;

void PutQuad(u64*& q, u32 a, u32 b, u32 c, u32 d)
{
    q[0] = u64(a) | u64(b) << 32;
    q[1] = u64(c) | u64(d) << 32;
    q += 2;
}

void PutPoint(u64*& q, VectorPos p, float w)
{
    u32 v[4];
    const float f[4] = {p[0], p[1], p[2], w};
    std::memcpy(v, f, 16);
    PutQuad(q, v[0], v[1], v[2], v[3]);
}

// The cube at origin o, culled against the view.
bool CubeCulled(const RenderContext& rc, VectorPos o, float lo, float hi)
{
    const Cuboid box(VectorPos(o[0], o[1] + lo, o[2]), VectorPos(o[0] + Rain::CUBE, o[1] + hi, o[2] + Rain::CUBE));
    return box.TestCull(rc.world_cull) != 0;
}

}  // namespace

Texture Drop = MakeDrop();
Rain gRain;
int Rain::nRain = 0;
WindGenerator windgenerator;
Weather gWeather;

Rain::Rain() : density(0.0f), SplashColour(0, 0, 0, 0), prevCamera(0.0f, 0.0f, 0.0f)
{
    for (VectorPos& p : aPos)
        p = VectorPos(randf() * CUBE, randf() * CUBE, randf() * CUBE);
    for (VectorPos& p : aPos2)
        p = VectorPos(0.0f, 0.0f, 0.0f);
    std::memset(aData, 0, sizeof aData);
    ClearGHC();
}

void Rain::ClearGHC()
{
    for (GHCache& c : aGHCache)
        c.Clear();
}

u32 Rain::FillPacket(int buffer, int n)
{
    n = std::min(std::max(n, 0), NDROPS);
    const int blocks = (n + DROPS_PER_BLOCK - 1) / DROPS_PER_BLOCK;
    // Each block: its unpack code, two quadwords a drop, its batch start.
    const u32 qwc = u32(2 * blocks + 2 * n);
    if (qwc * 2 > u32(PACKET_WORDS))
        return 0;
    u64* q = aData[buffer];
    for (int first = 0; first < n; first += DROPS_PER_BLOCK) {
        const int count = std::min(DROPS_PER_BLOCK, n - first);
        PutQuad(q, VIF_NOP, VIF_NOP, kStcycl, kUnpackRelative | u32(2 * count) << 16);
        for (int i = first; i < first + count; i++) {
            PutPoint(q, aPos[i], randf());
            PutPoint(q, aPos2[i], randf());
        }
        PutQuad(q, VIF_ITOP(u32(count)), VIF_MSCNT, VIF_NOP, VIF_NOP);
    }
    return qwc;
}

void Rain::MoveDrops(VectorDir w, VectorPos from, VectorPos to)
{
    const VectorDir trail = VectorDir(from - to);
    for (int i = 0; i < NDROPS; i++) {
        VectorPos& p = aPos[i];
        p.setxyz(p + w);
        for (int k = 0; k < 3; k++) {
            float v = p[k];
            while (v > CUBE)
                v -= CUBE;
            while (v < 0.0f)
                v += CUBE;
            p[k] = v;
        }
        aPos2[i].setxyz(p + w * 1.5f + trail);
    }
}

void Rain::Draw(RenderContext& rc)
{
    Renderer& r = therenderer;

    // The packet of this frame's drops, in the buffer the vector unit is not
    // reading.
    nFlip ^= 1;
    dropsDrawn = int(density * float(NDROPS));
    packetQwc = dropsDrawn > 0 ? FillPacket(nFlip, dropsDrawn) : 0;
    cubesDrawn = 0;

    // The wind.
    WindGenerator& wg = windgenerator;
    wg.vSpeed = std::min(std::max(wg.vSpeed + wg.vSpeedDelta * (2.0f * randf() - 1.0f), wg.vSpeedMin), wg.vSpeedMax);
    wg.vDir = FixAng(wg.vDir + wg.vDirJitter * (2.0f * randf() - 1.0f));
    const float heading = ArcCos(VectorX(rc.world_view.x[0]));
    const VectorDir w(sinf(wg.vDir + heading) * wg.vSpeed, wg.vSpeedMax, cosf(wg.vDir + heading) * wg.vSpeed);

    // The drawing state: the image, the streaks' blending, the overlay and
    // the line routine for two-quadword records.
    const bool drawing = packetQwc > 0 && r.p != nullptr && !r.bFull;
    if (drawing) {
        r.Use(&Drop, TEXMODE_MODULATE, 0, 0);
        r.EndCommands();
        if (r.AllowFor(5)) {
            r.Put(VIF_FLUSH);
            r.OpenDirect();
            u64* out = reinterpret_cast<u64*>(r.p);
            const sceGifTag head = MakeGifTag(2, true, 0, 1, GS_AD);
            std::memcpy(out, &head, 16);
            out += 2;
            *out++ = PARTDRAW_TEST;
            *out++ = GS_TEST_1;
            *out++ = u64(ALPHA_BLEND);
            *out++ = GS_ALPHA_1;
            r.p = reinterpret_cast<u32*>(out);
            r.CloseDirect();
        }
        if (r.AllowFor(2))
            r.RefMpg(MC2_OVERLAY_IMM, PartMicrocode, PARTMICROCODE_QWC);
    }

    const VectorPos c = rc.view_world.w.xyz();
    int column = 0;
    for (float x = kGridFrom; x < kGridTo; x += kGridStep)
        for (float z = kGridFrom; z < kGridTo; z += kGridStep, column++) {
            const VectorPos base(c[0] + x, c[1], c[2] + z);
            if (CubeCulled(rc, base, kGridFrom, kGridTo))
                continue;
            // A splash on the ground somewhere in the column.
            if (49.0f * randf() < 10.0f * density) {
                VectorPos p(c[0] + x + kGridStep * randf(), c[1], c[2] + z + kGridStep * randf());
                if (rc.TestCull(p) == 0) {
                    GHCache& cache = aGHCache[column];
                    const VectorPos last = cache.GetPos();
                    const float dx = p[0] - last[0], dz = p[2] - last[2];
                    if (dx * dx + dz * dz > kCacheReach2)
                        cache.Clear();
                    p.sety(world.GroundHeight(p, nullptr, &cache));
                    Splash_Spawn(p, 0.2f, 1.0f);
                }
            }
            for (float y = kGridFrom; y < kGridTo; y += kGridStep) {
                const VectorPos o(c[0] + x + 0.1f * randf(), c[1] + y + 0.1f * randf(), c[2] + z + 0.1f * randf());
                if (CubeCulled(rc, o, 0.0f, CUBE) || !drawing)
                    continue;
                Matrix at(true);
                at.SetTrans(o);
                r.SetLocal(at, Sphere(VectorPos(o[0] + 0.85f, o[1] + 0.85f, o[2] + 0.85f), 1.5f));
                r.call(mc2SetMaterial, 2, 2);
                r.call(mc2PartLine, kDropPrim, kDropColour.Word(), 0u);
                r.EndCommands();
                if (!r.AllowFor(1))
                    continue;
                r.Ref(aData[nFlip], packetQwc);
                cubesDrawn++;
            }
        }

    MoveDrops(w, prevCamera, c);
    prevCamera = c;
}

// ------------------------------------------------------------------ splashes

void Rain::Splash_Spawn(VectorPos _pos, float _size, float _a)
{
    if (!(_size > 0.1f))
        return;
    SpawnParticle(PartManagerFor<Splash>(Splash::Splash_mh, PARTFILE_SPLASH_SLOT, 0), _size, &_pos, _a);
}

int Splash::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.1f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

void Splash::MyInit(Particle* p, Variant a, Variant b, float)
{
    p->colour = gRain.SplashColour;
    p->w = 0.015625f + 0.03125f * randf();
    p->h = 0.015625f + 0.03125f * randf();
    if (a.p != nullptr)
        p->pos = *static_cast<VectorPos*>(a.p);
    p->extra = b;
    p->vel = RandSphere(0.00520833f);
    p->rotZ = kTwoPi * randf();
    p->rotSpd = 0.0523599f * randf() - 0.0261799f;
}

void Splash::MyUpdate(Particle* p)
{
    const float t = p->timer, k = 2.13333f * p->extra.f;
    p->colour.a = u8(int(t <= 11.25f ? t * k : (22.5f - t) * k));
    p->vel = Drag(p->vel, _drag);
    p->vel.sety(p->vel[1] - _float);
    p->w += _expand;
    p->h += _expand;
    p->rotZ = kTwoPi * randf();
}

int Splash::Splash_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<Splash>(obj, msg, data);
}
