// The cameras levels place: fixed cameras, cameras sliding along a path,
// cameras orbiting on a closed curve, group cameras, tunnel cameras and the
// animation-driven scene camera.  Each keeps its look point (the target's
// head, or between the player and the character he is locked on to) in the
// picture within the yaw and pitch ranges its level gave it.
#include <cmath>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Controller.h"
#include "game/Camera.h"
#include "game/CameraMaths.h"
#include "game/Player.h"
#include "game/QuadTree.h"

using namespace camera;

namespace {

constexpr float kLevelUnit = 0.3125f;
// Heights of the look point over the target's origin.
constexpr float kLookRaise = 0.390625f;
constexpr float kLookRaiseLow = 0.15625f;
constexpr float kPlaceRaise = 0.40625f;
constexpr float kBiasStep = 1.0f / 480.0f;
constexpr float kMaxAccel = 0.375f;
// The player's head sub-object.
constexpr int kHeadId = 20;

Spline* SplineOf(void* p)
{
    Spline* s = static_cast<Spline*>(p);
    return s != nullptr && s->NumSplines() > 0 ? s : nullptr;
}

VectorPos Raised(const VectorPos& p, float by)
{
    return VectorPos(p[0], p[1] - by, p[2]);
}

float LengthXZ(const VectorXYZ& v)
{
    return std::sqrt(v[0] * v[0] + v[2] * v[2]);
}

float DotXZ(const VectorXYZ& a, const VectorXYZ& b)
{
    return a[0] * b[0] + a[2] * b[2];
}

float CrossXZ(const VectorXYZ& a, const VectorXYZ& b)
{
    return a[0] * b[2] - a[2] * b[0];
}

// The look point of a character: its head height, lower for a player who
// crouches or lies.
VectorPos LookOf(Object* o)
{
    const VectorPos p = o->GetWorldPos();
    float raise = kLookRaise;
    if (o->id == -1) {
        Object* head = o->FindSubObject(kHeadId);
        if (head != nullptr && p[1] - head->GetWorldPos()[1] < 0.1875f)
            raise = kLookRaiseLow;
    }
    return Raised(p, raise);
}

// The character the player is locked on to, when the camera looks at the
// player and may keep that character in the picture too.
Object* SecondTarget(const Camera& c)
{
    if (!c.bTargetBias || c.target == nullptr || c.target != dace)
        return nullptr;
    Object* t = dace->target;
    return t != nullptr && !t->IsDead() ? t : nullptr;
}

// A block the camera was given is read as the mode's parameter block only
// when it is big enough for one (a task start camera is a fixed camera with
// a short block of another kind).
bool Holds(const void* p, size_t n)
{
    if (p == nullptr)
        return false;
    const MallocRec* r = reinterpret_cast<const MallocRec*>(static_cast<const u8*>(p) - 8);
    return (r->size & MALLOC_SIZEMASK) >= n + 8;
}

// v moves towards goal by at most step.
float Approach(float v, float goal, float step)
{
    return goal > v ? std::min(goal, v + step) : std::max(goal, v - step);
}

}  // namespace

float GetNewAngVel(float fAngVel, float fAngDelta, float)
{
    const float v = 0.1f * fAngDelta - 0.25f * fAngVel;
    return std::fabs(v) < 0.0001f ? 0.0f : v;
}

float GetNewDollyVel(float fDollyVel, float fLast, float fNew)
{
    constexpr float kLimit = 0.0046567f;
    const float d = fNew - fLast;
    if (fDollyVel * d >= 0.0f) {
        const float e = std::fabs(fDollyVel) - std::fabs(d / 16.0f);
        const float step = std::fabs(e) / 2.0f < kLimit ? std::min(kLimit, std::fabs(e) / 8.0f) : kLimit;
        const float sign = d != 0.0f ? (d > 0.0f ? 1.0f : -1.0f) : (fDollyVel >= 0.0f ? 1.0f : -1.0f);
        const float mag = e < 0.0f ? std::fabs(fDollyVel) + step : std::max(0.0f, std::fabs(fDollyVel) - step);
        return sign * mag;
    }
    return Clamp(d / 16.0f, -0.0023283f, 0.0023283f);
}

VectorPos Camera::ToView(const VectorPos& p) const
{
    return VectorPos(IntoRotation(mat, p - mat.GetTrans()));
}

namespace {

template <class Params>
bool ReadDolly(const void* block, float& dolly, float& distance)
{
    if (block == nullptr)
        return false;
    dolly = static_cast<const Params*>(block)->dolly * kLevelUnit;
    distance = static_cast<const Params*>(block)->distance * kLevelUnit;
    return true;
}

}  // namespace

bool Camera::DollyParams(float& dolly, float& distance) const
{
    switch (mode) {
    case CAMMODE_FIXED:
        return Holds(pvExtra, sizeof(FixedCamera_params)) && ReadDolly<FixedCamera_params>(pvExtra, dolly, distance);
    case CAMMODE_PATH:
        return ReadDolly<PathCamera_params>(pvExtra, dolly, distance);
    case CAMMODE_ORBITING:
        return ReadDolly<OrbitingCamera_params>(pvExtra, dolly, distance);
    case CAMMODE_GROUP:
        return ReadDolly<GroupCamera_params>(pvExtra, dolly, distance);
    default:
        return false;
    }
}

bool Camera::QueryOffEdge(VectorPos vpVTarget)
{
    const float ax = std::fabs(vpVTarget[0]), ay = std::fabs(vpVTarget[1]);
    const float h = ax <= 0.01f ? 10000000.0f : vpVTarget[2] / ax;
    const float v = ay <= 0.01f ? 10000000.0f : vpVTarget[2] / ay;
    return h > 1.5f * zoom && v > 2.0000002f * zoom && std::fabs(fYAngVel) < 0.0698132f &&
           std::fabs(fXAngVel) < 0.0046542f;
}

bool Camera::UpdateDollyPos(float fDollyDist, float fDistanceO, VectorDir& vdDiffMount, VectorPos& vpVTarget)
{
    if (fDollyDist <= 0.0f) {
        dist = 0.0f;
        return false;
    }
    dist = std::min(std::max(0.0f, vdDiffMount.Length() - fDistanceO), fDollyDist);
    // The target must stay inside the inner picture.
    const float m = vpVTarget[2] - std::max(1.2f * zoom * std::fabs(vpVTarget[0]),
                                            1.6000001f * zoom * std::fabs(vpVTarget[1]));
    if (m < dist) {
        if (m <= 0.0f) {
            dist = 0.0f;
            return true;
        }
        dist = m;
    }
    return false;
}

bool Camera::AdjustDollyPos(float fDollyDist, float fDistanceO, VectorDir& vdDiffMount, VectorPos& vpVTarget)
{
    dist = VectorDir(mat.GetTrans() - vpMount).Length();
    if (iInterp == 1)
        return false;
    const float len = vdDiffMount.Length();
    const VectorDir u = vdDiffMount * (1.0f / std::max(len, 0.0001f));
    const VectorPos& v = vpVTarget;
    const float need = std::max(1.2f * zoom * std::fabs(v[0]), 1.6000001f * zoom * std::fabs(v[1])) + len - v[2] - dist;
    if (fDollyDist <= 0.0f) {
        // No dolly: the camera stands on its mount.
        mat.SetTrans(vpMount);
        return fDistanceO < need;
    }
    bool forced = false;
    float wanted = len - std::max(fDistanceO, need);
    if (wanted < 0.0f) {
        forced = need > fDistanceO;
        wanted = 0.0f;
    }
    wanted = std::min(wanted, fDollyDist);
    fDollyVel = GetNewDollyVel(fDollyVel, dist, wanted);
    dist += fDollyVel;
    if (dist < 0.0f || std::fabs(fBiasFactor - 0.5f) > 0.01f)
        dist = fDollyVel = 0.0f;
    mat.SetTrans(vpMount + u * dist);
    return forced;
}

VectorPos Camera::CalcTargetCameraPos(bool bIterative, float* pfT, float fRawYDelta)
{
    if (target == nullptr)
        return vpMount;
    VectorPos look = Raised(target->GetWorldPos(), kPlaceRaise);
    if (Spline* s = SplineOf(pvExtraSpl)) {
        if (mode == CAMMODE_PATH) {
            const float t = bIterative && pfT != nullptr ? PathCamTargetT(look, *pfT, fRawYDelta) : PathCamTargetT(look);
            if (pfT != nullptr)
                *pfT = t;
            vpMount = s->Evaluate(t).xyz();
        } else if (mode == CAMMODE_ORBITING) {
            const float t = OrbitCamTargetT(look);
            if (pfT != nullptr)
                *pfT = t;
            vpMount = s->Evaluate(t).xyz();
        }
    }
    if (Object* other = SecondTarget(*this)) {
        // Both points weighted by their nearness in the view.
        const VectorPos second = Raised(other->GetWorldPos(), kPlaceRaise);
        const float w1 = 0.5f / std::max(0.1f, ToView(look)[2]);
        const float w2 = 0.5f / std::max(0.1f, ToView(second)[2]);
        look = (look * w1 + second * w2) * (1.0f / (w1 + w2));
    }
    float dolly = 0.0f, distance = 0.0f;
    if (DollyParams(dolly, distance) && dolly != 0.0f) {
        VectorDir d = VectorDir(look - vpMount);
        VectorPos v = ToView(look);
        UpdateDollyPos(dolly, distance, d, v);
        return vpMount + d * (dist / std::max(d.Length(), 0.0001f));
    }
    return vpMount;
}

float Camera::PathCamTargetT(VectorPos vpPos)
{
    Spline* s = SplineOf(pvExtraSpl);
    if (s == nullptr)
        return 0.0f;
    float t0 = 0.0f;
    const VectorPos c = s->ClosestPoint(vpPos, &t0).xyz();
    const float hd = LengthXZ(vpPos - c);
    const float md = pvExtra != nullptr ? static_cast<const PathCamera_params*>(pvExtra)->mount_distance : 0.0f;
    if (hd <= md)
        return t0;
    // Off to the side by the mount distance: the mount moves along the path
    // so that the target stays that far from it.
    const float e = md * Cos(ArcSin(VectorX(md / hd)));
    const VectorDir g = Normalise(s->Tangent(t0));
    const bool back = fAngRangeY < kPi / 2.0f || DotXZ(vpMount - c, g) <= 0.0f;
    const VectorPos q = back ? VectorPos(c - g * e) : VectorPos(c + g * e);
    float t = t0;
    s->ClosestPoint(q, &t);
    return Clamp(t, 0.0f, float(s->NumSplines()));
}

float Camera::PathCamTargetT(VectorPos vpPos, float fTCurr, float fYawDelta)
{
    Spline* s = SplineOf(pvExtraSpl);
    if (s == nullptr)
        return fTCurr;
    const float n = float(s->NumSplines());
    float t = fTCurr;
    const VectorPos e = s->Evaluate(t).xyz();
    const VectorDir g = s->Tangent(t);
    const float gl = LengthXZ(g);
    float tc = t;
    const VectorPos c = s->ClosestPoint(vpPos, &tc).xyz();
    const float hd = LengthXZ(vpPos - c);
    const float md = pvExtra != nullptr ? static_cast<const PathCamera_params*>(pvExtra)->mount_distance : 0.0f;
    const VectorDir d = VectorDir(vpPos - e);
    // Where the sight line at yaw phi through the target crosses the
    // tangent line.
    auto along = [&](float phi, float minCross) {
        const VectorDir r(-Sin(FixAng(phi)), 0.0f, -Cos(FixAng(phi)));
        const float cross = CrossXZ(r, g);
        if (std::fabs(cross) > minCross)
            t += CrossXZ(r, d) / cross;
    };
    if (hd > md) {
        if (fAngRangeY > kPi / 2.0f) {
            t = tc;
        } else {
            const float delta = FixAng(Yaw(Raised(vpPos, kPlaceRaise) - e) - angy);
            along(delta < 0.0f ? angy - fAngRangeY : angy + fAngRangeY, 1e-6f);
        }
    } else if (hd > 0.46875f && std::fabs(fYawDelta) > fAngRangeY) {
        along(fYawDelta > 0.0f ? angy - fAngRangeY : angy + fAngRangeY, 0.125f);
    } else if (gl > 1e-6f) {
        const float step = (LengthXZ(d) - md) / gl;
        t += DotXZ(d, g) > 0.0f ? step : -step;
    }
    if (t <= 0.0f)
        t = fTCurr * 0.875f;
    else if (t >= n)
        t = fTCurr + (n - fTCurr) / 8.0f;
    return t;
}

float Camera::OrbitCamTargetT(VectorPos vpPos)
{
    Spline* s = SplineOf(pvExtraSpl);
    if (s == nullptr)
        return 0.0f;
    const VectorPos c = relposgoal;
    VectorPos wanted;
    Object* fight = dace != nullptr ? static_cast<Object*>(dace->target) : nullptr;
    if (fight != nullptr && target != nullptr) {
        // To the side of the fight.
        const VectorDir a = Normalise(VectorDir(fight->GetWorldPos() - target->GetWorldPos()));
        VectorDir p(a[2], 0.0f, -a[0]);
        if (Dot(p, Normalise(VectorDir(vpPos - mat.GetTrans()))) > 0.2f)
            p = -p;
        wanted = c + p * fOrbRadius;
    } else {
        VectorDir h = VectorDir(c - vpPos);
        h[1] = 0.0f;
        h = Normalise(h);
        const bool near = pvExtra != nullptr && static_cast<const OrbitingCamera_params*>(pvExtra)->offset_type != 0;
        wanted = near ? VectorPos(c - h * fOrbRadius) : VectorPos(c + h * fOrbRadius);
    }
    float t = 0.0f;
    s->ClosestPoint(wanted, &t);
    return t;
}

float Camera::OrbitCamClosestCameraPosT(VectorPos vpPos)
{
    Spline* s = SplineOf(pvExtraSpl);
    if (s == nullptr)
        return 0.0f;
    VectorDir h = VectorDir(vpPos - relposgoal);
    h[1] = 0.0f;
    h = Normalise(h);
    float t = 0.0f;
    s->ClosestPoint(relposgoal + h * fOrbRadius, &t);
    return t;
}

VectorPos Camera::LevelLookPoint(bool& biased, VectorPos& main, VectorPos& other)
{
    biased = false;
    if (target == nullptr) {
        // Nothing to look at: straight ahead.
        main = other = mat.GetTrans() + VectorDir(mat.z.xyz());
        return main;
    }
    main = other = LookOf(target);
    vpLastMainTargetPos = main;
    if (Object* second = SecondTarget(*this)) {
        biased = true;
        other = LookOf(second);
        return other + VectorDir(main - other) * fBiasFactor;
    }
    return main;
}

bool Camera::PlayGlide(bool turn)
{
    fT += fdT;
    const bool done = fT >= 1.0f;
    if (done) {
        fT = 1.0f;
        iInterp = 0;
    }
    const float s = 3.0f * fT * fT - 2.0f * fT * fT * fT;
    const Vector p = bezPos.Evaluate(s);
    if (turn) {
        const Vector a = bezAng.Evaluate(s);
        mat = Orientation(a[1], a[0]);
    }
    mat.SetTrans(p.xyz());
    zoom = p[3];
    return !done;
}

void Camera::AimLevel(const VectorPos& look, float s, bool gliding)
{
    const VectorPos pos = mat.GetTrans();
    float wantY, wantX;
    if (iTrack == 2) {
        wantY = bezAng.c3[0];
        wantX = bezAng.c3[1];
    } else {
        const VectorDir u = Normalise(VectorDir(look - pos));
        wantY = Yaw(u);
        wantX = Pitch(u);
    }
    float rangeY = fAngRangeY, rangeX = fAngRangeX;
    if (gliding) {
        // The ranges close in as the glide ends.
        rangeY = (rangeY - kPi) * s + kPi;
        rangeX = (rangeX - kPi) * s + kPi;
    }
    wantY = angy + Clamp(FixAng(wantY - angy), -rangeY, rangeY);
    wantX = angx + Clamp(FixAng(wantX - angx), -rangeX, rangeX);
    const VectorDir z = VectorDir(mat.z.xyz());
    const float curY = Yaw(z), curX = Pitch(z);
    const float errY = FixAng(wantY - curY), errX = FixAng(wantX - curX);
    if (gliding && iInterp == 0) {
        // The glide has just ended: these are the angles it arrived with.
        angygoal = wantY;
        angxgoal = wantX;
    }

    bool turn = false;
    if (gliding || iInterp == 2 || iTrack == 1) {
        turn = true;
    } else if (iTrack == 0) {
        if (SecondTarget(*this) != nullptr) {
            turn = true;
        } else if (std::fabs(errY) > 0.2042035f || std::fabs(errX) > 0.1507965f) {
            iInterp = 2;
            turn = true;
        }
    }
    if (turn) {
        fYAngVel = GetNewAngVel(fYAngVel, errY, 0.0349066f);
        fXAngVel = GetNewAngVel(fXAngVel, errX, 0.0023271f);
        mat = Orientation(curX + fXAngVel, curY + fYAngVel);
        mat.SetTrans(pos);
    }
    if (iInterp == 2 && std::fabs(errY) < 0.025f && std::fabs(errX) < 0.025f) {
        angygoal = curY + fYAngVel;
        angxgoal = curX + fXAngVel;
        fXAngVel = fYAngVel = 0.0f;
        iInterp = 0;
    }
}

void Camera::BiasFixed(bool biased, bool collapsed, const VectorPos& viewMain)
{
    if (biased && collapsed)
        fBiasFactor = std::min(1.0f, fBiasFactor + kBiasStep);
    else if (!biased || QueryOffEdge(viewMain))
        fBiasFactor -= (fBiasFactor - 0.5f) / 8.0f;
}

void Camera::PlaceGroup(const VectorPos& look)
{
    if (pvExtra == nullptr)
        return;
    GroupCamera_params* b = static_cast<GroupCamera_params*>(pvExtra);
    const VectorPos pos = mat.GetTrans();
    const VectorPos place = bezPos.c3.xyz();
    if (CheckTriggers(&b->trigger1, 1)) {
        mat.SetTrans(pos + VectorDir(place - pos) * 0.03f);
        return;
    }
    // Outside its volume: the nearest of the alternative points that lies
    // towards the look point from the camera's own place.
    dist = 1000000.0f;
    bool found = false;
    VectorPos best = place;
    const Vector* alt = static_cast<const Vector*>(pvExtraSpl);
    for (int i = 0; alt != nullptr && i < 4; i++) {
        if (alt[i][3] == 0.0f)
            continue;
        const VectorPos a = alt[i].xyz();
        if (Dot(VectorDir(a - place), VectorDir(look - place)) <= 0.0f)
            continue;
        const float d2 = VectorDir(look - a).LengthSq();
        if (d2 < dist) {
            dist = d2;
            best = a;
            found = true;
        }
    }
    if (found)
        mat.SetTrans(pos + VectorDir(best - pos) * 0.05f);
}

void Camera::MovePathMount(const VectorPos& mainLook)
{
    Spline* s = SplineOf(pvExtraSpl);
    if (s == nullptr || pvExtra == nullptr)
        return;
    const PathCamera_params* b = static_cast<const PathCamera_params*>(pvExtra);
    const float n = float(s->NumSplines());
    // The bias along the path; pushed ahead of the target's motion when the
    // level asks for it.
    float bias = b->path_bias * kLevelUnit;
    if (b->camera_push != 0 && Dot(s->Tangent(fSplT), VectorDir(mainLook - vpLastTargetPos)) < 0.0f)
        bias = -bias;
    fPathBias += (bias - fPathBias) / 16.0f;

    // How far the target's direction lies from the camera's own yaw,
    // positive when it lies on the side of smaller yaws.
    const float yawDelta = FixAng(angy - Yaw(VectorDir(mainLook - mat.GetTrans())));
    const float w = PathCamTargetT(mainLook, fSplT, yawDelta);
    const float g = s->Tangent(w).Length();
    if (g < 1e-6f)
        return;
    const float d = Clamp(w + fPathBias / g, 0.0f, n) - fSplT;
    const float limit = 0.0031249998f / g;
    if (fSplVelT * d >= 0.0f)
        fSplVelT = Approach(fSplVelT, d / 8.0f, std::min(limit, std::fabs(std::fabs(fSplVelT) - std::fabs(d / 8.0f))));
    else
        fSplVelT = Clamp(d / 16.0f, -limit, limit);
    fSplT += fSplVelT;
    vpMount = s->Evaluate(fSplT).xyz();
}

void Camera::UpdateLevelCamera()
{
    bool biased = false;
    VectorPos main, other;
    const VectorPos look = LevelLookPoint(biased, main, other);
    if (vpLastTargetPos[0] < -100000.0f)
        vpLastTargetPos = look;
    else
        vpLastTargetPos += VectorDir(look - vpLastTargetPos) * 0.1f;

    if (iInterp == 1) {
        // The end of the glide follows the target.
        float t = fSplT;
        if (mode != CAMMODE_LOCKEDAT) {
            const Vector offset = bezPos.c2 - bezPos.c3;
            bezPos.c3 = Vector(CalcTargetCameraPos(mode == CAMMODE_PATH, &t, 0.0f), bezPos.c3[3]);
            bezPos.c2 = bezPos.c3 + offset;
        }
        PlayGlide(false);
        const float s = 3.0f * fT * fT - 2.0f * fT * fT * fT;
        AimLevel(vpLastTargetPos, s, true);
        if (iInterp == 0 && mode == CAMMODE_PATH)
            fSplT = t;
        return;
    }
    AimLevel(vpLastTargetPos, 1.0f, false);

    float dolly = 0.0f, distance = 0.0f;
    const bool hasDolly = DollyParams(dolly, distance);
    switch (mode) {
    case CAMMODE_PATH:
        MovePathMount(main);
        [[fallthrough]];
    case CAMMODE_FIXED: {
        if (!hasDolly && mode == CAMMODE_FIXED)
            break;
        VectorDir d = VectorDir(vpLastTargetPos - vpMount);
        VectorPos v = ToView(vpLastTargetPos);
        const bool collapsed = AdjustDollyPos(dolly, distance, d, v);
        BiasFixed(biased, collapsed, ToView(main));
        break;
    }
    case CAMMODE_GROUP:
        PlaceGroup(vpLastTargetPos);
        break;
    default:
        break;
    }
}

void Camera::UpdateOrbitCamera()
{
    fZoomVel = 0.05f * (fTargetZoom - zoom);
    zoom += fZoomVel;

    VectorPos look;
    if (target == nullptr) {
        look = mat.GetTrans() + VectorDir(mat.z.xyz());
    } else if (Object* second = SecondTarget(*this)) {
        const VectorPos main = LookOf(target), other = LookOf(second);
        vpLastMainTargetPos = main;
        // The player comes first; the other character joins him in the
        // picture while there is room.
        if (!QueryOffEdge(ToView(main)))
            fBiasFactor = std::min(1.0f, fBiasFactor + kBiasStep);
        else if (!QueryOffEdge(ToView(other)))
            fBiasFactor = std::max(0.0f, fBiasFactor - kBiasStep);
        else
            fBiasFactor += (0.5f - fBiasFactor) / 480.0f;
        look = other + VectorDir(main - other) * fBiasFactor;
    } else {
        look = vpLastMainTargetPos = LookOf(target);
        fBiasFactor = 1.0f;
        fBiasVel = 0.0f;
    }

    VectorPos wanted = mat.GetTrans();
    if (Spline* s = SplineOf(pvExtraSpl)) {
        // The mount runs round the orbit the shorter way towards the point
        // that suits the look point.
        const float n = float(s->NumSplines());
        const float w = OrbitCamTargetT(look);
        float d = w - fSplT;
        if (std::fabs(d) > n / 2.0f)
            d += d > 0.0f ? -n : n;
        const float g = std::max(s->Tangent(w).Length(), 1e-6f);
        const float limit = 0.000031249998f / g;
        if (fSplVelT * d >= 0.0f)
            fSplVelT = Approach(fSplVelT, d / 16.0f, std::min(limit, std::fabs(std::fabs(fSplVelT) - std::fabs(d / 16.0f))));
        else
            fSplVelT = Clamp(d / 16.0f, -limit, limit);
        fSplT += fSplVelT;
        // The right stick swings the orbit.
        const int stick = controller[0].rdata[4];
        if (stick > 128 + 40)
            fSplT += float(stick - 128 - 40) * 0.0002f;
        else if (stick < 128 - 40)
            fSplT += float(stick - 128 + 40) * 0.0002f;
        fSplT = std::fmod(fSplT, n);
        if (fSplT < 0.0f)
            fSplT += n;
        fSplT += fSplVelT;
        vpMount = s->Evaluate(fSplT).xyz();
        wanted = vpMount;
        float dolly = 0.0f, distance = 0.0f;
        if (DollyParams(dolly, distance)) {
            VectorDir dm = VectorDir(look - vpMount);
            VectorPos v = ToView(look);
            UpdateDollyPos(dolly, distance, dm, v);
            wanted = vpMount + dm * (dist / std::max(dm.Length(), 0.0001f));
        }
    }

    const VectorPos pos = mat.GetTrans();
    vdVel = (VectorDir(wanted - pos) * fAccel - vdVel * 0.125f) * 0.333f;
    const VectorPos p = pos + vdVel;
    if (fAccel < kMaxAccel)
        fAccel = std::min(kMaxAccel, fAccel + 0.001875f);

    const VectorDir u = Normalise(VectorDir(look - p));
    fXAngVel = GetNewAngVel(fXAngVel, FixAng(Pitch(u) - angx), 0.0023271f);
    fYAngVel = GetNewAngVel(fYAngVel, FixAng(Yaw(u) - angy), 0.0349066f);
    angy = FixAng(angy + fYAngVel);
    angx = FixAng(angx + fXAngVel);
    mat = Orientation(angx, angy);
    mat.SetTrans(p);
    vpLastTargetPos = look;
}

void Camera::InitTunnel()
{
    Spline* s = SplineOf(pvExtraSpl);
    if (s == nullptr)
        return;
    const VectorDir oldFacing = VectorDir(mat.z.xyz());
    float t = 0.0f;
    const VectorPos c = s->ClosestPoint(mat.GetTrans(), &t).xyz();
    fT = t;
    mat = LookAlong(s->Tangent(fT));
    mat.SetTrans(c);
    flags |= OBJF_FRAMECALL;
    // The facing is kept in the tunnel's own frame from now on.
    dir = IntoRotation(mat, oldFacing);
    target = nullptr;
    fdT = 0.0f;
    SetCurrentCam(this);
}

void Camera::UpdateTunnel()
{
    Spline* s = SplineOf(pvExtraSpl);
    if (s == nullptr || pvExtra == nullptr)
        return;
    const TunnelCamera_params* b = static_cast<const TunnelCamera_params*>(pvExtra);
    const float n = float(s->NumSplines());
    if (target == nullptr) {
        target = world.Find(b->grate_id);
        if (target != nullptr)
            s->ClosestPoint(target->GetWorldPos(), &fSplT);
    }
    // The grate's point only moves forward.
    if (target != nullptr) {
        const VectorDir tg = s->Tangent(fSplT);
        const float tl = tg.Length();
        if (tl > 1e-6f) {
            const VectorDir o = VectorDir(target->GetWorldPos() - s->Evaluate(fSplT).xyz());
            fSplT += std::max(Dot(o, tg) / tl, 0.0f) / tl;
        }
    }
    // Where the camera stands distance_param behind the player along the
    // tunnel.
    const VectorPos player = dace != nullptr ? dace->GetWorldPos()
                                             : (target != nullptr ? target->GetWorldPos() : mat.GetTrans());
    float t = fT;
    for (int i = 0; i < 4; i++) {
        const VectorDir tg = s->Tangent(t);
        const float tl = tg.Length();
        if (tl < 1e-6f)
            break;
        VectorDir o = VectorDir(player - s->Evaluate(t).xyz());
        o[1] = 0.0f;
        t = std::max(0.0f, t + (Dot(o, tg) / tl - b->distance_param) / tl);
    }
    fdT = 0.25f * (t - fT) - 0.0625f * fdT;
    const float next = std::min(std::max(fT + fdT, fSplT), n);
    fdT = next - fT;
    fT = next;
    const Matrix f = LookAlong(s->Tangent(fT));
    mat = LookAlong(f * dir);
    mat.SetTrans(s->Evaluate(fT).xyz());
}

void Camera::UpdateAnimControlled()
{
    if (blendAnim == nullptr)
        return;
    zoom = blendAnim->GetFloat(ANIM_TYPE_ZOOM, 1.6f);
    nearz = blendAnim->GetFloat(ANIM_TYPE_NEARZ, 0.0f);
}
