// Water patches and the ocean.
#include <cmath>
#include <cstring>

#include "game/Water.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Render.h"
#include "game/Player.h"
#include "game/ProgramImages.h"

// ---------------------------------------------------------------------------
// Water patches.

int WaterSurface::WaterSurface_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        // obj is the creation context here, not an object.
        WaterSurface* w = new WaterSurface;
        if (w != nullptr)
            w->messagehandler = WaterSurface_mh;
        return (int)(intptr_t)w;
    }
    return static_cast<WaterSurface*>(obj)->mh(msg, data);
}

int WaterSurface::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_INIT:
        flags |= 0x10042;
        fDampingFactor = 0.994f;
        radius = 100.0f;
        type = OBJT_STATIC;
        return 0;
    case OM_FRAME:
        if (pReadBuffer == nullptr)
            return 0;
        if (rand() % 100 < 5) {
            // The drips follow the player through the water.
            if (const Object* player = dace) {
                const VectorPos p = player->GetWorldPos();
                const VectorXYZ d = VectorXYZ(p - vpLastDrip);
                if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] > 0.03125f) {
                    MakeDrip(p, 10.0f);
                    vpLastDrip = p;
                }
            }
        }
        ProcessWater();
        return 0;
    case OM_SPECIAL:
        return -1;
    case OM_DIE:
        free(pReadBuffer);
        free(pWriteBuffer);
        pReadBuffer = pWriteBuffer = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}

void WaterSurface::InitWater(int, int, Extent& ext, Spline* spline, float width, float waveHeight)
{
    extBoundary = ext;
    pCenterSpline = spline;
    fSplinewidth = width;
    fWaveHeight = waveHeight;
    sizeX = GRID_X;
    sizeY = GRID_Y;
    const size_t bytes = sizeof(float) * GRID_X * GRID_Y;
    if (pReadBuffer == nullptr)
        pReadBuffer = (float*)malloc(bytes);
    if (pWriteBuffer == nullptr)
        pWriteBuffer = (float*)malloc(bytes);
    if (pReadBuffer == nullptr || pWriteBuffer == nullptr) {
        printf("Water: no memory for a patch's height grids; the patch stays flat\n");
        free(pReadBuffer);
        free(pWriteBuffer);
        pReadBuffer = pWriteBuffer = nullptr;
    } else {
        memset(pReadBuffer, 0, bytes);
        memset(pWriteBuffer, 0, bytes);
        // The first drip: index 20 x 40 + 40, which is row 21, column 0.
        pReadBuffer[20 * sizeX + 40] = 4.0f;
        pWriteBuffer[20 * sizeX + 40] = 4.0f;
    }
    fBaseHeight = spline != nullptr ? spline->Evaluate(0.0f)[1] : 0.0f;
}

void WaterSurface::MakeDrip(VectorPos p, float h)
{
    if (pCenterSpline == nullptr)
        return;
    float t = 0.0f;
    const Vector c = pCenterSpline->ClosestPoint(p, &t);
    if (!(t > 0.0f && t < 1.0f))
        return;
    const float dx = p[0] - c[0], dz = p[2] - c[2];
    float s = sqrtf(dx * dx + dz * dz) / (2.0f * fSplinewidth);
    if (!(s < 0.5f))
        return;
    const VectorDir tan = pCenterSpline->Tangent(t);
    float r = 0.5f;
    // The side of the spline: the y of d x tangent.
    if (dz * tan[0] - dx * tan[2] > 0.0f) {
        s = -s;
        r = -0.5f;
    }
    const int row = int(t * float(sizeY) - r), column = int((s + 0.5f) * float(sizeX) - r);
    MakeDripDirect(column, row, h);
}

void WaterSurface::MakeDripDirect(int x, int y, float h)
{
    // A drip close to the spline's end can round onto the row past the
    // grid; only cells of the grid take one.
    if (pReadBuffer == nullptr || x < 0 || x >= sizeX || y < 0 || y >= sizeY)
        return;
    pReadBuffer[y * sizeX + x] = h;
    pWriteBuffer[y * sizeX + x] = h;
}

void WaterSurface::ProcessWater()
{
}

// ---------------------------------------------------------------------------
// The ocean.

Waves waves;

alignas(16) Vector MC2Water_Pos[OCEAN_VERTICES];
alignas(16) float MC2Water_Normal[OCEAN_VERTICES * 3];
alignas(16) u8 MC2Water_Col[OCEAN_VERTICES * 4];
alignas(16) float MC2Water_ST[OCEAN_VERTICES * 2];

Texture& Ocean = FixProgramImage(Ocean_image);

namespace {

MC2Water MakeOceanStreams()
{
    MC2Water s;
    s.SetType(0, VSA_POS, VSD_POSF_ADC, 0);
    s.SetType(1, VSA_NORMAL, VSD_NORMALF, 0);
    s.SetType(2, VSA_COLOUR, VSD_RGBA, 8);
    s.SetType(3, VSA_UV, VSD_UVF, 0);
    s.SetData(0, MC2Water_Pos);
    s.SetData(1, MC2Water_Normal);
    s.SetData(2, MC2Water_Col);
    s.SetData(3, MC2Water_ST);
    s.count = OCEAN_VERTICES;
    s.stride = 4;
    s.nstreams = 4;
    return s;
}

// The waves' base figures; every frame halves them and turns their
// directions by the same angle before rebuilding the waves.
struct WaveBase
{
    float dx, dy, length, amplitude, phase;
};
constexpr WaveBase kWaveBase[4] = {
    {1.0f, 1.0f, 5.0f, 0.1f, 1.0f},
    {2.0f, 1.0f, 20.0f, 0.8f, 3.0f},
    {3.0f, 2.0f, 10.0f, 0.3f, 2.0f},
    {2.0f, 1.0f, 40.0f, 1.4f, 9.0f},
};
constexpr float kWaveDiv = 2.0f;
constexpr float kWaveTurn = 2.7488937f;   // the quaternion's half angle about z

// Grid of 16 columns by 17 rows (15 down to -1) projected from the screen.
constexpr int kColumns = 16;
constexpr float kColumnStep = 0.1428571f;
constexpr float kFadeStart = 96.0f;       // alpha right below the camera
constexpr float kFadePerDist2 = 0.01f;    // alpha lost per unit of squared distance

}  // namespace

MC2Water mc2water = MakeOceanStreams();

void SetUint16(Vector* v, unsigned short, unsigned short, unsigned short, unsigned short d)
{
    u32 bits;
    float w = (*v)[3];
    memcpy(&bits, &w, 4);
    bits = (bits & 0xFFFF0000u) | d;
    memcpy(&w, &bits, 4);
    v->setw(w);
}

void Wave::Set(const VectorXY& dir, float _length, float _amplitude, float _phase)
{
    const float K = 6.2831855f / _length;
    const float len = sqrtf(dir[0] * dir[0] + dir[1] * dir[1]);
    k = VectorXY(dir[0] / len * K, dir[1] / len * K);
    frequency = sqrtf(0.7664063f * K);
    amplitude = 0.2f * _amplitude;
    phase = _phase;
    length = amplitude / K;
}

Vector MakeWave(float x, float y, VectorDir* pNorm)
{
    Vector theta;
    for (int i = 0; i < 4; i++)
        theta[i] = FixAng(waves.alpha[i] - waves.w[i].k[0] * x + waves.w[i].k[1] * y);
    const Vector c = VU0Cos(theta), s = VU0Sin(theta);
    float h = 0.3125f;
    float tx[3] = {1.0f, 0.0f, 0.0f}, tz[3] = {0.0f, 0.0f, 1.0f};
    for (int i = 0; i < 4; i++) {
        const VectorXYZ &K = waves.k[i], &X = waves.kfixx[i], &Y = waves.kfixy[i];
        h += c[i] * K[1];
        tx[0] += c[i] * X[0];
        tx[1] += s[i] * X[1];
        tx[2] += c[i] * X[2];
        tz[0] += c[i] * Y[0];
        tz[1] += s[i] * Y[1];
        tz[2] += c[i] * Y[2];
    }
    const float n[3] = {tx[1] * tz[2] - tx[2] * tz[1], tx[2] * tz[0] - tx[0] * tz[2], tx[0] * tz[1] - tx[1] * tz[0]};
    const float inv = 1.0f / sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    *pNorm = VectorDir(n[0] * inv, n[1] * inv, n[2] * inv);
    return Vector(x, h, y, 0.0f);
}

namespace {

// The wave step at the start of each ocean draw: phase angles from the waves
// as the last frame left them, then the waves rebuilt and their factors.
void UpdateWaves(float vT)
{
    waves.vT = vT;
    for (int i = 0; i < 4; i++)
        waves.alpha[i] = waves.w[i].frequency * vT + waves.w[i].phase;

    const Vector cs = VU0CosSin(kWaveTurn);
    Matrix rot(true);
    VU0Quat2Mat(rot, Quaternion(Vector(0.0f, 0.0f, -cs[1], cs[0])));
    for (int i = 0; i < 4; i++) {
        const WaveBase& b = kWaveBase[i];
        const float len = sqrtf(b.dx * b.dx + b.dy * b.dy);
        const Vector d = rot * Vector(b.dx / len, b.dy / len, 0.0f, 0.0f);
        waves.w[i].Set(VectorXY(d[0], d[1]), b.length / kWaveDiv, b.amplitude / kWaveDiv, b.phase / kWaveDiv);
    }
    for (int i = 0; i < 4; i++) {
        const Wave& w = waves.w[i];
        const float L = w.length, A = w.amplitude, kx = w.k[0], ky = w.k[1];
        waves.k[i] = VectorXYZ(kx * L, A, ky * L);
        waves.kfixx[i] = VectorXYZ(kx * L * kx, -A * kx, ky * L * kx);
        waves.kfixy[i] = VectorXYZ(kx * L * ky, -A * ky, ky * L * ky);
    }
}

void MarkSlot(int slot)
{
    SetUint16(&MC2Water_Pos[slot], 0, 0, 0, 0x8000);
}

void CopySlot(int to, int from)
{
    MC2Water_Pos[to] = MC2Water_Pos[from];
    memcpy(&MC2Water_Normal[3 * to], &MC2Water_Normal[3 * from], 12);
    memcpy(&MC2Water_Col[4 * to], &MC2Water_Col[4 * from], 4);
    memcpy(&MC2Water_ST[2 * to], &MC2Water_ST[2 * from], 8);
}

}  // namespace

void MC2TestWater(RenderContext& rc)
{
    static Matrix cull_world;
    static VectorPos CameraPos;

    // The wave time is the one `waves` keeps: 0 until the first call, then
    // advanced by every call and never reset.  Kept there alone, the ocean's
    // whole state is `waves` and the vertex arrays.
    const float vT = waves.vT + 0.05f;
    UpdateWaves(vT);

    CameraPos = VectorPos(rc.view_world.w[0], rc.view_world.w[1], rc.view_world.w[2]);
    cull_world = rc.cull_view * rc.view_world;
    const float cx = CameraPos[0], cy = CameraPos[1], cz = CameraPos[2];
    const float vDist = -cy;

    const float s0 = fmodf(0.005f * vT, 10.0f);
    const float vAddS = float(int(-0.2f * cz)) - s0;
    const float vAddT = float(int(-0.2f * cx)) - s0;

    // Where the sea's horizon crosses the view, in cull-space y.
    Vector F = cull_world * Vector(-1.0f, 0.0f, 1.0f, 1.0f);
    F = F * (1.0f / F[3]);
    const Vector G = rc.world_cull.x * F[0] + rc.world_cull.z * F[2];
    const float vHorizon = G[1] / G[3] + 1.0f - 0.001f;

    for (int y = 15; y >= -1; y--) {
        int nDraw = 0;
        // Row y fills the first slots of block 15 - y; row -1 the second
        // slots of row 0's block.
        const int first = y >= 0 ? 32 * (15 - y) : 32 * 15 + 1;
        for (int x = 0; x < kColumns; x++) {
            const int slot = first + 2 * x;
            const float vX = float(x - 8) * kColumnStep;
            const float fy = float(y) * 0.0625f;
            const float vY = 2.0f * fy * fy - 1.0f + vHorizon;
            Vector P = cull_world * Vector(vX, vY, 1.0f, 1.0f);
            P = P * (1.0f / P[3]);

            VectorDir Normal(1.0f, 1.0f, 1.0f);
            Vector NewPos(P[0], P[1], P[2], 1.0f);
            const float dx = P[0] - cx, dy = P[1] - cy, dz = P[2] - cz;
            const float lambda = vDist / -dy;
            const float hx = cx - lambda * dx, hz = cz - lambda * dz;
            const float d2 = (hx - cx) * (hx - cx) + (hz - cz) * (hz - cz);
            // A line along the sea plane meets it nowhere: as behind.
            if (lambda > 0.0f || !std::isfinite(lambda) || vY > 1.1f) {
                nDraw = 3;
            } else {
                NewPos = MakeWave(hx, hz, &Normal);
                const float a = kFadeStart - kFadePerDist2 * d2;
                u8* col = &MC2Water_Col[4 * slot];
                col[0] = col[1] = col[2] = 128;
                col[3] = u8(a > 0.0f ? int(a) : 0);
            }
            MC2Water_ST[2 * slot] = vAddS + 0.2f * hz;
            MC2Water_ST[2 * slot + 1] = vAddT + 0.2f * hx;
            if (x == 0)
                SetUint16(&NewPos, 0, 0, 0, 0x8000);
            MC2Water_Normal[3 * slot] = Normal[0];
            MC2Water_Normal[3 * slot + 1] = Normal[1];
            MC2Water_Normal[3 * slot + 2] = Normal[2];
            MC2Water_Pos[slot] = NewPos;
            if (nDraw > 0) {
                MarkSlot(slot);
                nDraw--;
            }
            if (y >= 0 && y <= 14)
                CopySlot(slot - 31, slot);
        }
    }

    // The strip's local frame is the world; the reflection layer reads its
    // view matrix at the first texture matrix, the light directions at 903.
    therenderer.BeginCommands();
    therenderer.SetLocal(Matrix(true), Sphere(0.0f, 0.0f, 0.0f, 10000000.0f));
    Matrix ReflectionMat(true);
    ReflectionMat.w = Vector(-cx, -cy, -cz, 1.0f);
    therenderer.SetGlobals(MC2_TEXMATRIX0, 4, reinterpret_cast<const u64*>(ReflectionMat.Raw()));
    therenderer.SetGlobals(MC2_LIGHTDIRS, 3, reinterpret_cast<const u64*>(rc.normal_light.Raw()));

    MultiMaterial<2> mtl;
    for (int i = 0; i < 2; i++) {
        SubMaterial& m = mtl.m[i];
        m.SetAlpha(i == 0 ? ALPHA_BLEND : ALPHA_ADD);
        m.SetTexture(&Ocean, TEXMODE_MODULATE);
        m.Enable(SM_LIGHTING);
        // The sea lies under the city: it sends its own greater-or-equal
        // depth test rather than drawing with whatever test the pass before
        // it left behind (a 2-D pass leaves it always passing).
        m.Enable(SM_TEST);
    }
    mtl.m[0].SetColour(Colour(0x80, 0x80, 0x80, 0x80));
    mtl.m[1].SetColour(Colour(0x80, 0x80, 0x80, 0x40));
    mtl.m[1].SetUV(6);
    mtl.m[1].texmat = MC2_TEXMATRIX0;
    mtl._Draw(mc2water, 2, true);
}
