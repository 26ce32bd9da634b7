// A car driven by a cinematic: the cinematic sets its matrix each frame and
// the car makes it look driven (level body, wheels rolling and steering with
// the movement, the body riding its springs); at the end it is put upright on
// the ground and handed back to its own handler.  Also the start at a speed.
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/VehicleFrame.h"

namespace {

// The steering follows the turn of the path at most this far (30 degrees).
constexpr float kMaxCineSteer = 0.523599f;
// Pulls on the body: with no wheel on the ground, and with one or more.
constexpr float kFallPull = 0.0068125f;
constexpr float kRestPull = 0.000851562f;
// The change-up point as a share of a gear's top speed.
constexpr float kShiftShare = 0.6f;

bool Interior()
{
    return g_pgcTest != nullptr && g_pgcTest->bInterior;
}

}  // namespace

int Vehicle::staticcinemh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<Vehicle*>(o)->cinemh(msg, data);
}

int Vehicle::cinemh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_FRAME:
        if (mode == 0)
            MoveCineVehicle();
        return 0;
    case OM_INIT:
        world.vehlist.AddTail(this);
        return 0;
    case OM_COLLISION:
        if (data == nullptr)
            return 0;
        if (HasDriver())
            rcoDriver->SendMessage(OM_PASSEDCOLL, data);
        return Collide(*static_cast<CollisionRecord*>(data));
    case OM_DIE:
        // No model-file count is released here, unlike the car's own
        // handler.
        rcoDriver = nullptr;
        StopEngineSFX();
        ClearFX();
        world.vehlist.Remove(this);
        delete this;
        return -1;
    case OM_ANIMLOOP:
        world.StopAnimating(this);
        return -1;
    case OM_CINEMAOVER:
        ForceEndCineFrame();
        messagehandler = staticmh;
        return 0;
    default:
        return 0;
    }
}

void Vehicle::MoveCineVehicle()
{
    // 1.
    const Matrix C = mat;
    if (matCinePrev.w[1] == 0.0f) {
        // The first frame only learns where the cinematic starts.
        fSaveY = mat.w[1];
        matCinePrev = C;
        return;
    }
    // 2.  Level with the last frame, at the height the springs reached.
    const bool interior = Interior();
    if (!interior)
        mat.w[1] = fSaveY;
    const VectorDir prevUp(matCinePrev.y.xyz());
    const VectorDir z(mat.z.xyz());
    const VectorDir x = Normalise(prevUp ^ z);
    const VectorDir zl = x ^ prevUp;
    const VectorDir y = zl ^ x;
    mat.x = Vector(x, 0.0f);
    mat.y = Vector(y, 0.0f);
    mat.z = Vector(zl, 0.0f);
    const VectorDir prevFwd = ToCar(mat, matCinePrev.z.xyz());
    const float delta = std::clamp(-10.0f * atan2f(prevFwd[0], prevFwd[2]), -kMaxCineSteer, kMaxCineSteer);
    // 3.
    VectorDir F(0.0f, 0.0f, 0.0f), T(0.0f, 0.0f, 0.0f), normals(0.0f, 0.0f, 0.0f);
    int touching = 0;
    for (Wheel* w : wheel) {
        if (w == nullptr)
            continue;
        const VectorPos p = w->mat.GetTrans() + VectorDir(0.0f, w->radius, 0.0f);
        const VectorPos pw = PointToWorld(mat, p);
        const VectorDir moved = ToCar(mat, pw - PointToWorld(matCinePrev, p));
        w->speed = moved[2];
        if (w->flags & WHEELF_STEERED)
            w->ang.y += (delta - w->ang.y) * 0.125f;
        if (!interior) {
            VectorDir n;
            const float g = world.GroundHeight(pw, &n, &w->ghc);
            const float h = ToCar(mat, VectorPos(pw[0], g, pw[2]) - mat.GetTrans())[1] - w->radius;
            if (h < w->rest) {
                float f = (std::max(h, w->yoffset) - w->rest) * w->spring;
                const float prev = w->mat.w[1];
                if (h > w->yoffset) {
                    f += (h - prev) * w->damper;
                    w->mat.w[1] = h;
                } else {
                    w->mat.w[1] = w->yoffset;
                }
                const VectorDir force(0.0f, f, 0.0f);
                const VectorPos at(p[0], p[1] * 0.6f, p[2]);
                F += force;
                T += VectorDir(at) ^ force;
                normals += n;
                touching++;
            } else {
                w->mat.w[1] = w->rest;
            }
        }
        if (w->radius != 0.0f)
            w->ang.x = FixAng(w->ang.x - w->speed / w->radius);
        w->mat.SetRot(VectorXYZ(w->ang));
    }
    // 4.
    if (!interior) {
        const float x0 = mat.w[0], z0 = mat.w[2];
        VectorDir Fw = ToWorld(mat, F);
        Fw[1] += touching == 0 ? kFallPull : kRestPull;
        TimeScaledMoveDynamicObject2(Fw, T);
        mat.w[0] = x0;
        mat.w[2] = z0;
        if (touching >= 1 && touching <= 2 && mat.y[1] > 0.0f) {
            const VectorDir d = -Normalise(normals);
            if (Dot(d, VectorDir(mat.y.xyz())) < 0.9875f) {
                const VectorDir r = ToCar(mat, d ^ VectorDir(mat.y.xyz())) * 0.01f;
                angvel[0] -= r[0];
                angvel[1] -= r[1];
                angvel[2] -= r[2];
            }
        }
        const float damp = fAngVelDamp * world.playbackSpeed;
        angvel[0] -= angvel[0] * damp;
        angvel[1] -= angvel[1] * damp;
        angvel[2] -= angvel[2] * damp;
    }
    // 5.
    fSaveY = mat.w[1];
    matCinePrev = C;
}

void Vehicle::ForceEndCineFrame()
{
    VectorDir n;
    const float g = world.GroundHeight(mat.GetTrans(), &n, wheel[0] != nullptr ? &wheel[0]->ghc : nullptr);
    if (wheel[0] != nullptr)
        mat.w[1] = g - wheel[0]->rest - wheel[0]->radius;
    const VectorDir y = -n;
    const VectorDir x = Normalise(y ^ VectorDir(mat.z.xyz()));
    const VectorDir z = x ^ y;
    mat.x = Vector(x, 0.0f);
    mat.y = Vector(y, 0.0f);
    mat.z = Vector(z, 0.0f);
    for (Wheel* w : wheel) {
        if (w == nullptr)
            continue;
        w->ang.y = 0.0f;
        w->mat.w[1] = w->rest;
        w->mat.SetRot(VectorXYZ(w->ang));
    }
    // A later cinematic starts afresh rather than from where this one ended.
    matCinePrev.w[1] = 0.0f;
}

void Vehicle::SetInitialSpeed(float v)
{
    // 1.
    vel = Vector(mat.z[0] * v, mat.z[1] * v, mat.z[2] * v, 0.0f);
    // 2.
    auto L = [&](int g) { return fRatios[g] * kRatioSpeed * fMaxCarSpeed * kShiftShare; };
    int g = 1;
    while (g < 5 && !(v < L(g)))
        g++;
    const float lower = g == 1 ? 0.0f : L(g - 1);
    gear = s8(v - lower < L(g) - v ? g - 1 : g);
    // 3.
    fEngine = v / (fRatios[std::abs(int(gear))] * kRatioSpeed * fMaxCarSpeed);
    // 4.
    for (int i = 0; i < NumWheels(); i++)
        if (wheel[i] != nullptr)
            wheel[i]->speed = v;
}
