// Cover along walls: the search for a wall spline at the player, backing
// onto it in gun mode, following it while he slides along, moving in cover,
// and the turn toward the target while firing.
#include <algorithm>
#include <cmath>

#include "ZevEngine2/World.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Road.h"

namespace {

// The whole part of a non-negative curve position.
float FloorF(float t) { return float(int(t)); }

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

constexpr u32 kButCross = BUT_CROSS;

// Animations during which no cover is entered.
bool BlocksEntry(int a)
{
    return In(a, 129, 137) || In(a, 183, 197) || In(a, 239, 247) || In(a, 284, 293);
}

const VectorXYZ kUp(0.0f, -1.0f, 0.0f);

// The horizontal unit direction across a wall with tangent t.
VectorDir Across(VectorDir t)
{
    VectorXYZ c = VectorXYZ(t) ^ kUp;
    c[1] = 0.0f;
    return VectorDir(Normalise(c));
}

bool Closed(const Spline& s)
{
    const int n = s.Count();
    return n >= 4 && s[0] == s[n - 1];
}

}  // namespace

bool Dace::CheckForSplineEntry(CheckSpline* out, float dist)
{
    const Matrix w = GetWorldMatrix();
    VectorPos p = w.GetTrans();
    if (!facemode) {
        p = p + VectorDir(w.z.xyz()) * dist;
    } else {
        VectorDir off(0.0f, 0.0f, 0.0f);
        bool any = true;
        if (mode2 == GUNS_WALK_FWD_ANI || mode2 == GUNS_RUN_FWD_ANI)
            off = VectorDir(0.0f, 0.0f, 1.0f);
        else if (mode2 == GUNS_WALK_BACK_ANI || mode2 == GUNS_RUN_BACK_ANI)
            off = VectorDir(0.0f, 0.0f, -1.0f);
        else if (mode2 == GUNS_WALK_SIDE_L_ANI || mode2 == GUNS_RUN_SIDE_L_ANI)
            off = VectorDir(1.0f, 0.0f, 0.0f);
        else if (mode2 == GUNS_WALK_SIDE_R_ANI || mode2 == GUNS_RUN_SIDE_R_ANI)
            off = VectorDir(-1.0f, 0.0f, 0.0f);
        else
            any = false;
        if (any) {
            const VectorDir l = (off + facemodemovedir) * dist;
            p = p + VectorDir(w.x.xyz()) * l[0] + VectorDir(w.y.xyz()) * l[1] + VectorDir(w.z.xyz()) * l[2];
        }
    }

    CheckSpline cand[24];
    int n = 0;
    for (Link<WallSpline>* l = world.spllist.Head(); !l->IsEOList() && n < 24; l = l->Next()) {
        const WallSpline* ws = l->data;
        if (ws == nullptr || ws->spline == nullptr)
            continue;
        const int segs = ws->spline->NumSplines();
        for (int k = 0; k < segs && n < 24; k++) {
            const Bezier& b = ws->spline->GetBezier(k);
            if (!ConvexHullCheck(b, VectorXZ(p[0], p[2]), 0.46875f))
                continue;
            cand[n].b = b;
            cand[n].s = ws->spline;
            cand[n].t = float(k);
            cand[n].i = ws->objindex;
            cand[n].c = ws->crouch ? 1 : 0;
            n++;
        }
    }
    if (n == 0)
        return false;

    float best = -0.15625f;
    int chosen = -1;
    for (int i = 0; i < n; i++) {
        Bezier flat = cand[i].b;
        for (int j = 0; j < 4; j++)
            flat[j][1] = p[1];
        VectorDir dir;
        const VectorXYZ q = flat.CalcParams(p, dir);
        cand[i].t += q[2];
        const float cy = cand[i].b.Evaluate(q[2])[1];
        if (!(std::fabs(p[1] - cy) < 0.3125f))
            continue;
        if (i == 0 || best < -0.15625f || std::fabs(q[0]) < std::fabs(best)) {
            best = q[0];
            chosen = i;
        }
    }
    if (chosen < 0 || !(best > -0.15625f))
        return false;
    if (out != nullptr)
        *out = cand[chosen];
    return true;
}

bool Dace::UpdateWallSpline()
{
    if (collspline == nullptr)
        return false;
    const int n = collspline->NumSplines();
    int k = int(collsplinet);
    const VectorPos p = GetWorldPos();
    VectorDir tan;
    VectorXYZ q = collbezier.CalcParams(p, tan);
    bool wrapped = false;
    for (int tries = 0; q[2] <= 0.0f || q[2] >= 1.0f; tries++) {
        if (tries >= n || wrapped)
            return false;
        if (q[2] <= 0.0f) {
            if (--k < 0) {
                if (!Closed(*collspline))
                    return false;
                k = n - 1;
                wrapped = true;
            }
        } else if (++k >= n) {
            if (!Closed(*collspline))
                return false;
            k = 0;
            wrapped = true;
        }
        collbezier = collspline->GetBezier(k);
        q = collbezier.CalcParams(p, tan);
        if (wrapped && (q[2] <= 0.0f || q[2] >= 1.0f))
            return false;
    }
    const VectorDir t = Normalise(tan);
    collideplane = Plane(t, -Dot(VectorXYZ(p), VectorXYZ(t)));
    collideperp = Across(t);
    collsplinet = float(k) + q[2];
    collbezparams = q;
    return true;
}

bool Dace::GunCheckForWallSplineEntry(PlayerController&)
{
    if (collidestate == PUSH_STATIC) {
        if (BlocksEntry(mode2))
            collidestate = FREE;
        VectorDir dir;
        if (collbezier.CalcParams(GetWorldPos(), dir)[0] <= -0.15625f) {
            collidestate = FREE;
            return false;
        }
        if (frame - pushpullframe <= 1.0f)
            return true;
        float s = 1.0f;
        if (target != nullptr) {
            const VectorDir to = Normalise(VectorDir(target->GetWorldPos() - GetWorldPos()));
            s = (VectorXYZ(backmat.z.xyz()) ^ VectorXYZ(to))[1];
        }
        if (collideheightcrouch) {
            collidestate = TURNING_STATIC_HALF;
            BlendToAnim(GUNS_HWALL_IDLE_ANI, 20);
        } else {
            collidestate = TURNING_STATIC_FULL;
            BlendToAnim(s > 0.0f ? GUNS_FWALL_IDLE_L_ANI : GUNS_FWALL_IDLE_R_ANI, 20);
        }
        collideturntime = u32(world.time + 20);
        return true;
    }
    if (BlocksEntry(mode2) || shootmode == SHOOT_PRECISION || mode2 == GUNS_IDLE_PICKUP_ANI)
        return false;
    CheckSpline c;
    if (!CheckForSplineEntry(&c, 0.0f))
        return false;
    const float u = c.t - FloorF(c.t);
    if (target != nullptr) {
        if (Object* torso = target->FindSubObject(20)) {
            const VectorPos wallpt(c.b.Evaluate(u).xyz());
            if (world.CheckRay(torso->GetWorldPos(), wallpt, nullptr, nullptr, this, target.p, 0xFF00) == nullptr)
                return false;
        }
    }
    VectorDir tan = c.b.EvaluateTangent(u);
    tan[1] = 0.0f;
    VectorXYZ across = VectorXYZ(tan) ^ kUp;
    if (!(Dot(across, VectorXYZ(GetWorldMatrix().z.xyz())) < 0.0f))
        return false;
    collbezier = c.b;
    collideobjindex = c.i;
    collideheightcrouch = c.c != 0;
    pushpullframe = frame;
    collidestate = PUSH_STATIC;
    collspline = c.s;
    collsplinet = c.t;
    across[1] = 0.0f;
    backmat = LookAlong(VectorDir(Normalise(across)));
    if (collideheightcrouch)
        backmat.z = -backmat.z;
    return false;
}

bool Dace::GunReorient()
{
    const bool beginback = mode2 == 311 || mode2 == 312 || mode2 == 327 || mode2 == 328;
    if (!((facemode || beginback) && target != nullptr && collidestate == FREE))
        return facemode;
    Object* aim = target.p;
    if (target->type == OBJT_CHARACTER)
        if (Object* t = target->FindSubObject(20))
            aim = t;
    VectorDir d = VectorDir(aim->GetWorldPos() - GetWorldPos());
    d[1] = 0.0f;
    d = Normalise(d);
    if (target2 != nullptr && (mode2 == GUNS_IDLE_FIRE_ANI || mode2 == 309 || mode2 == 310 || mode2 == 329 ||
                               mode2 == 330)) {
        VectorDir f(GetWorldMatrix().z.xyz());
        f[1] = 0.0f;
        if (Dot(VectorXYZ(d), VectorXYZ(Normalise(f))) < 0.5f)
            BlendToAnim(GUNS_IDLE_RESTART_FIRE_ANI, 5);
    }
    if (beginback)
        d = -d;
    const bool quick = mode2 == GUNS_IDLE_BEGIN_FIRE_ANI || mode2 == GUNS_IDLE_RESTART_FIRE_ANI || beginback;
    TurnToward(d, world.playbackSpeed * (quick ? 0.261799f : 0.15708f));
    return facemode;
}

// Step 28 of the gun frame: following the wall, or looking for one.
void Dace::GunCover(PlayerController& pc)
{
    if (collidestate == BACK_STATIC_FULL || collidestate == BACK_STATIC_HALF) {
        if (UpdateWallSpline()) {
            const VectorDir to = collidestate == BACK_STATIC_FULL ? collideperp : -collideperp;
            TurnToward(to, 0.17453294f * world.playbackSpeed);
            return;
        }
        CheckSpline c;
        if (!CheckForSplineEntry(&c, 0.0f)) {
            collidestate = FREE;
            collspline = nullptr;
            BlendToAnim(GUNS_IDLE_ANI, 5);
            return;
        }
        const bool crouch = c.c != 0;
        if (crouch != collideheightcrouch)
            BlendToAnim(crouch ? GetHalfHeightAnim(mode2) : GetFullHeightAnim(mode2), 10);
        collideheightcrouch = crouch;
        collbezier = c.b;
        collspline = c.s;
        collideobjindex = c.i;
        collsplinet = c.t;
        collidestate = crouch ? BACK_STATIC_HALF : BACK_STATIC_FULL;
        VectorDir tan = c.b.EvaluateTangent(c.t - FloorF(c.t));
        backmat = LookAlong(Normalise(tan));
        TurnToward(collideperp, 0.10471976f * world.playbackSpeed);
        return;
    }
    if (collidestate == PUSH_STATIC || (collidestate == FREE && (pc.pad & kButCross) && NoShotFor(60)))
        GunCheckForWallSplineEntry(pc);
}

// ---------------------------------------------------------------------------
// Moving in cover.

namespace {

// The stick rests for the cover moves below 0.75 on both axes.
bool StickRests(const Dace::PlayerController& pc)
{
    return std::max(std::fabs(pc.cdir[0]), std::fabs(pc.cdir[2])) < 0.75f;
}

}  // namespace

void Dace::GunMoveBackFull(PlayerController& pc)
{
    u16 idleside = GUNS_FWALL_IDLE_L_ANI;
    if (target != nullptr) {
        const VectorDir to = Normalise(VectorDir(target->GetWorldPos() - GetWorldPos()));
        idleside = (VectorXYZ(backmat.z.xyz()) ^ VectorXYZ(to))[1] > 0.0f ? GUNS_FWALL_IDLE_L_ANI
                                                                          : GUNS_FWALL_IDLE_R_ANI;
    }
    const u16 idle = mode2 == GUNS_FWALL_WALK_L_ANI   ? u16(GUNS_FWALL_IDLE_L_ANI)
                     : mode2 == GUNS_FWALL_WALK_R_ANI ? u16(GUNS_FWALL_IDLE_R_ANI)
                                                      : idleside;
    facemode = false;
    if (StickRests(pc)) {
        speed = 0.0f;
        if (mode2 == GUNS_FWALL_IDLE_L_ANI || mode2 == GUNS_FWALL_IDLE_R_ANI || mode2 == GUNS_FWALL_FIREAHEAD_ANI ||
            In(mode2, COMBAT_FIRST_RECOIL_ANI, COMBAT_LAST_RECOIL_ANI) || In(mode2, 274, 276) || mode2 == 315 ||
            mode2 == 316 || mode2 == 317)
            return;
        BlendToAnim(idle, 5);
        return;
    }
    speed = Length(VectorXYZ(pc.cdir));
    const float a = Heading(pc.ldir);
    u16 want = idle;
    int morph = 5;
    if (a < -2.9670599f || a >= 2.9670599f) {
        want = idle;
    } else if (a < -1.0471976f) {
        want = GUNS_FWALL_WALK_L_ANI;
    } else if (a < 1.0471976f) {
        if (speed > RunThreshold) {
            collidestate = PULL_STATIC;
            pushpullframe = frame;
            BlendToAnim(GUNS_FWALL_WALK_L_ANI, 5);
            BlendToAnim(GUNS_IDLE_ANI, 10);
            speed = 0.0f;
            return;
        }
    } else {
        want = GUNS_FWALL_WALK_R_ANI;
    }
    if (want == mode2)
        return;
    if (want == GUNS_FWALL_IDLE_L_ANI && (mode2 == GUNS_FWALL_FIREAHEAD_ANI || mode2 == GUNS_FWALL_IDLE_R_ANI))
        return;
    BlendToAnim(want, morph);
}

void Dace::GunMoveBackHalf(PlayerController& pc)
{
    facemode = false;
    if (StickRests(pc)) {
        speed = 0.0f;
        if (mode2 == GUNS_HWALL_IDLE_ANI || In(mode2, GUNS_IDLE_FIRE_ANI, GUNS_IDLE_RESTART_FIRE_ANI) ||
            In(mode2, 309, 312) || In(mode2, 327, 330) || mode2 == GUNS_FWALL_FIREAHEAD_ANI ||
            mode2 == GUNS_HWALL_FIREAHEAD_ASSUME_ANI || mode2 == GUNS_HWALL_FIREAHEAD_REVERT_ANI ||
            In(mode2, COMBAT_FIRST_RECOIL_ANI, COMBAT_LAST_RECOIL_ANI) || In(mode2, 274, 276) || mode2 == 315 ||
            mode2 == 316 || mode2 == 317 || mode2 == 333 || mode2 == 334 || mode2 == 335)
            return;
        BlendToAnim(GUNS_HWALL_IDLE_ANI, 5);
        return;
    }
    speed = Length(VectorXYZ(pc.cdir));
    const float a = Heading(pc.ldir);
    u16 want = GUNS_HWALL_IDLE_ANI;
    if (a < -2.9670599f) {
        if (speed > RunThreshold) {
            collidestate = PULL_STATIC;
            pushpullframe = frame;
            BlendToAnim(GUNS_HWALL_WALK_L_ANI, 5);
            BlendToAnim(GUNS_IDLE_ANI, 10);
            speed = 0.0f;
            return;
        }
    } else if (a < -1.0471976f) {
        want = GUNS_HWALL_WALK_L_ANI;
    } else if (a < 1.0471976f) {
        want = GUNS_HWALL_IDLE_ANI;
    } else if (a < 2.9670599f) {
        want = GUNS_HWALL_WALK_R_ANI;
    }
    if (speed == 0.0f)
        want = GUNS_HWALL_IDLE_ANI;
    if (want != mode2)
        BlendToAnim(want, 5);
}

// The body root follows the body through a turn onto or off the wall.
void Dace::RootAlongBody()
{
    if (biproot == nullptr)
        return;
    const VectorPos at = biproot->mat.GetTrans();
    const Matrix look = LookAlong(VectorDir(0.0f, 0.0f, 1.0f));
    biproot->mat.x = look.x;
    biproot->mat.y = look.y;
    biproot->mat.z = look.z;
    biproot->mat.SetTrans(at);
}

void Dace::GunMoveTurning(PlayerController&)
{
    TurnToward(VectorDir(backmat.z.xyz()), 0.17453294f * world.playbackSpeed);
    RootAlongBody();
    UpdateWallSpline();
    if (u32(world.time) > collideturntime) {
        if (collidestate == TURNING_STATIC_FULL)
            collidestate = BACK_STATIC_FULL;
        else if (collidestate == TURNING_STATIC_HALF)
            collidestate = BACK_STATIC_HALF;
    }
    facemode = false;
}

void Dace::GunMoveReturning(PlayerController&)
{
    TurnToward(-VectorDir(backmat.z.xyz()), 0.17453294f * world.playbackSpeed);
    RootAlongBody();
    // Straight back to the cover point, a 48th of a unit a frame, stopping
    // on it rather than passing it.
    const VectorPos at = mat.GetTrans();
    const VectorDir to = VectorDir(backmat.GetTrans() - at);
    const float left = Length(VectorXYZ(to));
    if (left > 0.0f)
        mat.SetTrans(at + to * (std::min(0.0208333f, left) / left));
    facemode = false;
}
