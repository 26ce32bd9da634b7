// The pedestrian's frame: the work of its mode, the body thrown or killed,
// ground following staggered over the crowd, the grow-in of a new walker,
// the movement step with its encounters, the leap out of a car's way and
// the head that turns to look.
#include "game/Bystander.h"

#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "game/GameAudio.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

constexpr float kGravity = 0.000851562f;

VectorDir FlatUnit(VectorXYZ v)
{
    VectorDir d(v[0], 0.0f, v[2]);
    const float l = d.Length();
    return l > 0.0f ? VectorDir(d / l) : d;
}

// Whether the crowd's full work is due for this pedestrian this frame.
bool Staggered(int lastdrawn, u8 offset) { return world.time - lastdrawn < 4 || (world.time & 3) == (offset & 3); }

}  // namespace

void Bystander::Frame()
{
    // 1. The soft push-out.
    mat.SetTrans(mat.GetTrans() + GetPopOut());
    ClearPopOut();
    flags &= ~0x20u;

    // 2. The mode's work.
    switch (mode) {
    case 0:
        if (Ragdoll()) {
            if (mode2 == SHOCKED_ANI && reactionobj != nullptr) {
                const VectorDir to = FlatUnit(reactionobj->GetWorldPos() - GetWorldPos());
                if (to.LengthSq() > 0.0f)
                    TurnToward(to, world.playbackSpeed * float(M_PI) / 6.0f);
            }
            UpdateAnimation();
        } else {
            flags |= 0x20u;
            if (!Diving() && ProcessThought() == -1)
                return;
            Move();
            LookAtStuff();
            UpdateAnimation();
        }
        break;
    case 1:
        if (dace != nullptr) {
            const VectorDir to = FlatUnit(dace->GetWorldPos() - GetWorldPos());
            if (to.LengthSq() > 0.0f)
                TurnToward(to, world.playbackSpeed * float(M_PI) / 60.0f);
        }
        break;
    case 2:
        if (mode2 == 75) {
            VectorPos p = mat.GetTrans();
            const float g = world.GroundHeight(p, nullptr, &ghc);
            const float t = float(world.time - int(inairtime));
            const float drop = t * t * kGravity;
            if (p[1] + drop < g) {
                p[1] += drop;
            } else {
                p[1] = g;
                if (flags & 0x20000u) {
                    flags &= ~0x20000u;
                    BlendToAnim(76, 3);
                }
            }
            mat.SetTrans(p);
        }
        AnimateHierarchy(1.0f);
        break;
    case 3: {
        const bool wasout = mode2 == 67 || mode2 == 68;
        if (car != nullptr)
            UpdateCarTransitionFront(car);
        if (wasout && (mode2 == 71 || mode2 == 72))
            DetachFromCar();
        AnimateHierarchy(1.0f);
        break;
    }
    case 4:
        if (victimdata != nullptr && grappler != nullptr) {
            Object* hold = grappler->FindSubObject(31);
            Matrix target = RotY(float(M_PI)) * (hold != nullptr ? hold->GetWorldMatrix() : grappler->GetWorldMatrix());
            const int morphlen = victimdata->morphlen;
            if (grappledframe != -8388608.0f && frame - grappledframe >= float(morphlen)) {
                flags &= ~0x100u;
                mat = target;
                SetAnim(victimdata->victimani, grapplebankoverride, grappleindexoverride);
                victimdata = nullptr;
            } else if (!victimdata->morphgrappler) {
                const float u = 1.0f - (grappledframe + float(morphlen) - frame) / float(morphlen + 1);
                mat.SetTrans(VectorPos(target.GetTrans() * u + grappledstartpos * (1.0f - u)));
                TurnToward(VectorDir(target.z[0], target.z[1], target.z[2]), world.playbackSpeed * grappleturnspeed);
            }
        }
        AnimateHierarchy(1.0f);
        break;
    case 5:
        if (grappler != nullptr) {
            Object* hold = grappler->FindSubObject(31);
            const Matrix h = hold != nullptr ? hold->GetWorldMatrix() : grappler->GetWorldMatrix();
            for (int r = 0; r < 3; r++) {
                VectorDir row(h[r][0], h[r][1], h[r][2]);
                const float l = row.Length();
                mat[r] = Vector(l > 0.0f ? VectorDir(row / l) : row, 0.0f);
            }
            mat.SetTrans(h.GetTrans());
            AnimateHierarchy(1.0f);
        } else {
            if (mode2 != RUN_ANI && mode2 != SHOCKED_ANI)
                BlendToAnim(SHOCKED_ANI, 10);
            if (mode2 == RUN_ANI && frame - firstanimframe > 600.0f)
                flags |= 0x1u;
            AnimateHierarchy(walkanimspeed);
        }
        break;
    default:
        break;
    }

    // 3. The body's physics.
    const bool physics = mode != 3 && mode != 4 && (mode != 2 || mode2 == 76);
    if (physics) {
        mat.SetTrans(mat.GetTrans() + hitvel * world.playbackSpeed);
        const bool falling = mode2 == CAR_BUMPED_ANI || mode2 == KNOCKED_AWAY_ANI || mode2 == KNOCKED_UP_ANI ||
                             mode2 == KILLED_ANI || mode2 == KILLED_FEMALE_ANI || mode2 == DUCK_KILLED_ANI;
        if (falling) {
            VectorPos p = mat.GetTrans();
            const float g = world.GroundHeight(p, nullptr, &ghc);
            Object* foot = FindSubObject(31);
            const float h = foot != nullptr ? foot->GetWorldPos()[1] : p[1];
            hitvel[1] += kGravity;
            if (g < 0.0f && g < h) {
                hitvel = VectorDir(0.0f, 0.0f, 0.0f);
                p[1] = g;
                mat.SetTrans(p);
                if (mode2 == KNOCKED_AWAY_ANI)
                    BlendToAnim(ROLL_ANI, 3);
                else if (mode2 == CAR_BUMPED_ANI || mode2 == KNOCKED_UP_ANI)
                    BlendToAnim(LYING_DOWN_ANI, 3);
            }
        } else {
            hitvel = VectorDir(0.0f, 0.0f, 0.0f);
            if (Staggered(iLastDrawnTime, timeoffset)) {
                VectorPos p = mat.GetTrans();
                const float g = world.GroundHeight(p, nullptr, &ghc);
                if (g < 0.0f) {
                    p[1] = g;
                    mat.SetTrans(p);
                }
            }
        }
    }

    // 4. A new walker grows in, faster in height than in width.
    if (fScale != 1.0f) {
        fScale = std::min(fScale + 0.02f, 1.0f);
        mat.SetScale(VectorXYZ(fScale, std::min(3.0f * fScale, 1.0f), fScale));
    }
}

void Bystander::Move()
{
    prevloctype = loctype;
    loctype = GetGroundType(ghc);
    newarea = GetNewArea();
    if (!Diving()) {
        GetLost();
        WatchForVehicles();
        InteractWithPedestrians();
        InteractWithVehicles();
        AvoidObstacles();
    }
    WalkThePath();
    bored = false;
}

void Bystander::UpdateAnimation()
{
    const VectorPos before = mat.GetTrans();
    float speed = walkanimspeed * pivotmultiplier;
    pivotmultiplier = 1.0f;
    if (action == Action_CrossStreet)
        speed *= 1.25f;
    if (Staggered(iLastDrawnTime, timeoffset))
        AnimateHierarchy(speed);
    else
        AdvanceFrame(speed);
    movespeed = (mat.GetTrans() - before).Length();
}

bool Bystander::GetNewArea()
{
    prevarea = area;
    bool changed = false;
    if (ghc.pjunc != nullptr && (ghc.prs == nullptr || ghc.pjunc->nRoadsegs == 2)) {
        area = Area_Intersection;
        changed = prevarea != Area_Intersection || lastjunc != ghc.pjunc;
        lastjunc = ghc.pjunc;
    } else if (ghc.prs != nullptr) {
        area = Area_Road;
        changed = prevarea != Area_Road || lastrs != ghc.prs;
        lastrs = ghc.prs;
    } else if (ghc.pgp != nullptr) {
        area = Area_GroundPatch;
        changed = prevarea != Area_GroundPatch || lastgp != ghc.pgp;
        lastgp = ghc.pgp;
    }
    return changed;
}

void Bystander::AvoidObstacles()
{
    if ((world.time & 7) == (timeoffset & 7) && !StillStanding())
        CheckCurrentDirectionForObstacles();
}

void Bystander::WatchForVehicles()
{
    if (dace == nullptr)
        return;
    const VectorPos own = GetWorldPos();
    const VectorDir fz = FlatUnit(VectorXYZ(mat.z.v));
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->type != OBJT_VEHICLE || (o->flags & 0x80000000u))
            continue;
        Vehicle* car = static_cast<Vehicle*>(o);
        if (car->rcoDriver.p != dace)
            continue;
        const VectorDir rel(car->GetWorldPos()[0] - own[0], 0.0f, car->GetWorldPos()[2] - own[2]);
        const VectorDir v(car->vel[0], 0.0f, car->vel[2]);
        const float speed = v.Length();
        if (speed <= 0.0f)
            continue;
        const VectorDir d = v / speed;
        const VectorDir side = d ^ VectorDir(0.0f, -1.0f, 0.0f);
        const bool approaching = Dot(rel, d) < 0.0f;
        const bool facing = Dot(fz, d) < 0.0f;
        const float r2 = rel.LengthSq();
        if (!((r2 < 21.97265625f && speed >= 0.0582083f) || (r2 < 119.62890625f && speed >= 0.1397f)))
            continue;
        const VectorDir off = d * Dot(d, rel) - rel;
        if (!approaching || off.LengthSq() >= 0.09765625f)
            continue;
        const float chance = thoughtobj.p == dace ? (facing ? 0.1f : 0.05f) : (facing ? 0.05f : 0.01f);
        if (!(randf() < chance))
            continue;
        const float a = Dot(rel, side), b = Dot(fz, side);
        Say((rand() & 1) ? PVO_Surprise : PVO_Scream);
        const VectorDir e = b > 0.0f ? side : VectorDir(-side);
        BlendToAnim((a > 0.0f) == (b > 0.0f) ? CARTRANS_CAR_JUMP_BACK_ANI : CARTRANS_CAR_JUMP_FWD_ANI, 5);
        prevpath = path;
        const VectorPos p = mat.GetTrans();
        path = Bezier(Vector(p, 1.0f), Vector(VectorPos(p + e * 0.78125f), 1.0f),
                      Vector(VectorPos(p + e * 2.34375f), 1.0f), Vector(VectorPos(p + e * 3.125f), 1.0f));
        SetAction(Action_Rogue);
        return;
    }
}

void Bystander::LookAtStuff()
{
    Object* j = neck.joint;
    if (j == nullptr || j->blendAnim == nullptr)
        return;
    BlendAnimation* ba = j->blendAnim;
    auto fade = [ba]() {
        float b = ba->GetPoseBlend() - 0.05f;
        ba->SetPoseBlend(b < 0.05f ? 0.0f : b);
    };
    if (thought == Thought_Lost) {
        fade();
        return;
    }
    VectorPos target;
    if (thought == Thought_None) {
        if (dace == nullptr) {
            fade();
            return;
        }
        target = dace->GetWorldPos();
        target[1] -= 0.46875f;
    } else if (thoughtobj != nullptr) {
        target = thoughtobj->GetWorldPos();
        target[1] -= 0.46875f;
    } else {
        target = thoughtpos;
    }
    const Object* jp = j->parent != nullptr ? j->parent : this;
    const VectorDir toTarget = target - jp->GetWorldPos();
    const bool near = Dot(toTarget, VectorXYZ(mat.z.v)) > 0.0f && toTarget.LengthSq() < 2.44140625f;
    if (!near && mode2 != RUN_ANI && mode2 != DUCK_ANI) {
        fade();
        return;
    }
    const Matrix inv = jp->GetWorldMatrix().Inverse();
    VectorDir w = inv * VectorDir(target - j->GetWorldPos());
    const float wl = w.Length();
    if (wl <= 0.0f) {
        fade();
        return;
    }
    w = w / wl;
    VectorDir p(j->mat.z[0], j->mat.z[1], j->mat.z[2]);
    VectorDir next;
    const float c = Dot(w, p);
    if (c < 0.9975f) {
        VectorDir axis = p ^ w;
        if (c <= 0.0f && axis.LengthSq() > 0.0f)
            axis = axis / axis.Length();
        next = p + (axis ^ p) * 0.05f;
        const float nl = next.Length();
        next = nl > 0.0f ? VectorDir(next / nl) : w;
    } else {
        next = w;
    }
    // The joint is handed the world's up in its parent's frame: it makes the
    // level side from it itself.  Handing it that side instead would read as
    // a head rolled a quarter turn, beyond the neck's limits, and the head
    // would never turn.
    const VectorDir up = inv * VectorDir(0.0f, -1.0f, 0.0f);
    // Setting the pose puts its weight at full; the look weighs in a step a
    // frame from the weight it had.
    const float was = ba->GetPoseBlend();
    if ((VectorXYZ(next) ^ VectorXYZ(up)).LengthSq() > 0.0f && neck.LookAlong(next, up))
        ba->SetPoseBlend(std::min(was + 0.05f, 1.0f));
    else
        fade();
}
