// The player's targets: who he fights or shoots at, who his second gun
// aims at, which guards he spots, which car he gets into, and the test every
// kept target passes each frame.
#include "game/Player.h"

#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/BadGuy.h"
#include "game/Camera.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

constexpr u32 kObjTargetable = 0x20;
constexpr u32 kDyingOrDriven = GUYF_BUSTED | GUYF_DYING | GUYF_DEAD;
constexpr u16 kSightMask = 0x900;
// A confirmed sight of the current target holds this many frames.
constexpr int kSightHold = 61;
constexpr int kNewTargetHold = 181;
constexpr float kNoLimit = 1e38f;
constexpr float kMissionRange2 = 100.0f;
constexpr float kVehicleRange = 62.5f;

bool IsEnemyId(int id) { return id >= -150 && id <= -101; }
bool IsCivilianId(int id) { return id >= -100 && id <= 100 && id != -1; }
bool IsNeverShotId(int id) { return id >= -175 && id <= -151; }
bool IsCharacter(const Object* o) { return o->type == OBJT_CHARACTER; }
bool IsEnemy(const Object* o) { return IsCharacter(o) && IsEnemyId(o->id); }

// A sub-object by the first id of the list the character has; the object
// itself without any.
Object* Part(Object* o, std::initializer_list<int> ids)
{
    for (int id : ids)
        if (Object* p = o->FindSubObject(id))
            return p;
    return nullptr;
}

VectorPos BodyCentre(Object* o)
{
    if (IsCharacter(o))
        if (Object* p = o->FindSubObject(20))
            return p->GetWorldPos();
    return o->GetWorldPos();
}

float Dist2(VectorPos a, VectorPos b) { return VectorDir(a - b).LengthSq(); }

int RandomWait() { return int((long long)(rand()) * 3 / 0x80000000LL); }

bool Since(u32 stamp, int frames)
{
    return stamp != Dace::Never && int(u32(world.time) - stamp) < frames;
}

}  // namespace

Object* Dace::CheckRayFromHead(Object* obj, VectorPos to)
{
    Object* eye = Part(this, {14, 20});
    const VectorPos from = eye != nullptr ? eye->GetWorldPos() : GetWorldPos();
    return world.CheckRay(from, to, nullptr, nullptr, obj, GetRoot(), kSightMask);
}

bool Dace::IsTargetValid(Object* obj, float range)
{
    if (obj == nullptr || obj->IsDead())
        return false;
    if (IsCharacter(obj) && (obj->flags & (GUYF_DEAD | GUYF_DYING)))
        return false;
    if (obj == shieldTarget.p)
        return false;
    if (obj == target.p && (victimdata != nullptr || (mode2 >= COMBAT_GRAPPLED_ANI && mode2 <= COMBAT_GRAPPLE_BROKEN_2_ANI)))
        return false;
    if (task < Task_Defeat) {
        const bool current = obj == target.p;
        bool ok = current && Since(lasttargetsightchecktime, kSightHold);
        if (!ok) {
            const VectorPos p = BodyCentre(obj);
            if (Dist2(p, GetWorldPos()) <= range * range) {
                ok = true;
            } else if (CheckRayFromHead(obj, p) == nullptr) {
                ok = true;
            } else {
                const VectorPos eye = rc.view_world.GetTrans();
                ok = world.CheckRay(eye, p, nullptr, nullptr, obj, GetRoot(), kSightMask) == nullptr;
            }
        }
        if (!ok)
            return false;
        if (current)
            lasttargetsightchecktime = u32(world.time);
    }
    if (mode2 >= PED_ARREST_ANI && mode2 <= PED_ARREST_LYINGDOWN_R_ANI) {
        if (obj->IsDead() || (IsCharacter(obj) && (obj->flags & GUYF_DEAD)))
            return false;
    } else {
        if (!(obj->flags & kObjTargetable))
            return false;
        if (IsCharacter(obj) && (obj->flags & kDyingOrDriven))
            return false;
    }
    return true;
}

void Dace::CheckOnFootTarget()
{
    if (target != nullptr && !IsTargetValid(target, 10.0f))
        target = nullptr;
}

void Dace::CheckShootingTargets()
{
    if (target != nullptr && !IsTargetValid(target, 10.0f))
        target = nullptr;
    if (target2 != nullptr && !IsTargetValid(target2, 10.0f))
        target2 = nullptr;
}

void Dace::CheckDrivingShootingTarget()
{
    if (target != nullptr && !IsTargetValid(target, kVehicleRange))
        target = nullptr;
}

void Dace::AcquireFightTarget(bool nearonly)
{
    const int foes = SendEvent(SMSG_EV_FIGHT_TARGET_QUERY, gameeventobj);
    if (target != nullptr) {
        if (foes < 2)
            return;
        if ((mode2 >= COMBAT_BACK_H_ANI && mode2 <= COMBAT_LYINGDOWN_H_GETUP_ANI) ||
            (mode2 >= GUNS_PUNCH_ANI && mode2 <= GUNS_GRAPPLE_RELEASE_ANI))
            return;
    }
    const VectorPos me = GetWorldPos();
    Object* best = nullptr;
    float bestd = 1e10f;
    for (ObjectIterator it = world.framecalllist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || !IsEnemy(o) || !IsTargetValid(o, 10.0f))
            continue;
        const float d = Dist2(o->GetWorldPos(), me);
        if (d < bestd) {
            bestd = d;
            best = o;
        }
    }
    if (best == nullptr)
        return;
    if (nearonly && !(bestd < CombatVicinity * CombatVicinity))
        return;
    target = best;
    newtargettime = u32(world.time);
}

bool Dace::IsTargetInView(Object* obj)
{
    const bool gunrun = mode2 == GUNS_RUN_INTERIOR_ANI || mode2 == GUNS_RUN_EXTERIOR_ANI ||
                        (mode2 >= GUNS_RUN_FWD_ANI && mode2 <= GUNS_RUN_SIDE_R_ANI);
    if (!gunrun && !IsCivilianId(obj->id))
        return true;
    const Matrix w = GetWorldMatrix();
    VectorDir to(BodyCentre(obj) - w.GetTrans());
    to[1] = 0.0f;
    VectorDir fwd(w.z[0], 0.0f, w.z[2]);
    if (to.LengthSq() <= 0.0f || fwd.LengthSq() <= 0.0f)
        return false;
    return Dot(Normalise(to), Normalise(fwd)) > 0.93f;
}

bool Dace::AcquirePrimaryShootTarget(bool allowcivilians, int forceddir)
{
    if (forceddir > -20 && forceddir < 20) {
        forceddir = 0;
        lastForceTargetDir = 0;
    }
    VectorPos targetview(0.0f, 0.0f, 0.0f);
    if (target != nullptr) {
        if (forceddir > 0 && lastForceTargetDir == 1)
            forceddir = 0;
        if (forceddir < 0 && lastForceTargetDir == -1)
            forceddir = 0;
        targetview = rc.world_view * target->GetWorldPos();
    }
    const u32 now = u32(world.time);
    if (forceddir == 0) {
        if (Since(lasttarget1checktime, 3 + RandomWait()))
            return false;
        if (target != nullptr && Since(newtargettime, kNewTargetHold))
            return false;
    }

    float limit = task <= Task_Defeat ? kMissionRange2 : kNoLimit;
    float bestd = limit;
    Object* best = nullptr;
    bool bestcivilian = true;
    bool enemiesonly = !allowcivilians;
    const VectorPos me = GetWorldPos();
    const Matrix w = GetWorldMatrix();
    Object* myroot = GetRoot();

    for (ObjectIterator it = world.framecalllist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o == this)
            continue;
        if (IsCharacter(o)) {
            const bool enemy = IsEnemyId(o->id);
            if (IsNeverShotId(o->id))
                continue;
            if (!enemy && enemiesonly)
                continue;
            if (enemy && !enemiesonly) {
                // The first enemy ends the bystanders' turn.
                enemiesonly = true;
                best = nullptr;
                bestd = limit;
                bestcivilian = true;
            }
            if (!enemy && !IsCivilianId(o->id))
                continue;
            if (!IsTargetValid(o, 10.0f) || !IsTargetInView(o))
                continue;
            if (forceddir != 0 && target != nullptr) {
                if (o == target.p)
                    continue;
                const VectorPos v = rc.world_view * o->GetWorldPos();
                if (forceddir < 0 ? v[0] > targetview[0] : v[0] < targetview[0])
                    continue;
            }
            const float d = Dist2(o->GetWorldPos(), me);
            if (!(d < bestd))
                continue;
            if (task > Task_Defeat) {
                SpecialMessage q(SMSG_Q_SHOOT_TARGET, nullptr);
                bool seen = o->SendMessage(OM_SPECIAL, &q) != 0;
                if (!seen) {
                    Object* chest = Part(o, {15, 20});
                    const VectorPos c = chest != nullptr ? chest->GetWorldPos() : o->GetWorldPos();
                    Object* eye = Part(this, {14, 20});
                    const VectorPos from = eye != nullptr ? eye->GetWorldPos() : me;
                    Object* hit = world.CheckRay(from, c, nullptr, nullptr, this, myroot, kSightMask);
                    seen = hit == nullptr || hit->GetRoot() == o;
                    if (!seen) {
                        hit = world.CheckRay(GetCurrentCam()->mat.GetTrans(), c, nullptr, nullptr, this, myroot,
                                             kSightMask);
                        seen = hit == nullptr || hit->GetRoot() == o;
                    }
                }
                if (!seen)
                    continue;
            }
            best = o;
            bestd = d;
            bestcivilian = IsCivilianId(o->id);
        } else if (o->type == OBJT_VEHICLE || o->type == OBJT_DYNAMIC) {
            if (!(o->flags & kObjTargetable) || o == myroot)
                continue;
            if (forceddir != 0 && o == target.p)
                continue;
            const VectorDir to(o->GetWorldPos() - me);
            const float dist = Length(to);
            if (!(dist < kVehicleRange))
                continue;
            const float lx = Dot(to, VectorDir(w.x.xyz())), lz = Dot(to, VectorDir(w.z.xyz()));
            const float bearing = ArcTan2(lx, lz);
            if (!(bearing > -0.7853982f && bearing < 0.7853982f))
                continue;
            const float d = to.LengthSq();
            if (!(d < bestd))
                continue;
            best = o;
            bestd = d;
        }
    }
    (void)bestcivilian;

    lasttarget1checktime = newtargettime = now;
    if (forceddir != 0)
        target = nullptr;
    if (best != nullptr && best != target.p) {
        target = best;
        if (forceddir != 0)
            lastForceTargetDir = s16(forceddir > 0 ? 1 : -1);
        return true;
    }
    return false;
}

void Dace::AcquireSecondaryShootTarget()
{
    if (Since(lasttarget2checktime, 3 + RandomWait()))
        return;
    if (target == nullptr)
        return;
    const VectorPos me = GetWorldPos();
    VectorDir t(target->GetWorldPos() - me);
    if (t.LengthSq() <= 0.0f)
        return;
    t = Normalise(t);
    Object* best = nullptr;
    float bestdot = 0.0707f;
    for (ObjectIterator it = world.framecalllist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o == target.p || !IsEnemy(o))
            continue;
        if (!IsTargetValid(o, 10.0f) || !IsTargetInView(o))
            continue;
        VectorDir u(o->GetWorldPos() - me);
        if (task <= Task_Defeat && u.LengthSq() > kMissionRange2)
            continue;
        if (u.LengthSq() <= 0.0f)
            continue;
        u = Normalise(u);
        const float dot = Dot(u, t);
        if (!(dot > bestdot))
            continue;
        Object* hit = CheckRayFromHead(this, BodyCentre(o));
        if (hit == nullptr || hit->GetRoot() != o)
            continue;
        best = o;
        bestdot = dot;
    }
    lasttarget2checktime = u32(world.time);
    if (best != nullptr && best != target2.p) {
        target2 = best;
        newtargettime = u32(world.time);
    }
}

void Dace::TrySpottingEnemy(Object* obj)
{
    if (obj == nullptr || Dist2(BodyCentre(obj), GetWorldPos()) > 10.0f)
        return;
    SpecialMessage q(SMSG_Q_SPOTTABLE, nullptr);
    const int when = obj->SendMessage(OM_SPECIAL, &q);
    const int ago = world.time - when;
    if (ago >= 0 && ago < 9) {
        SpecialMessage s(SMSG_SPOTTED_QUERY, nullptr);
        obj->SendMessage(OM_SPECIAL, &s);
    }
}

void Dace::AcquireTarget()
{
    Object* myroot = GetRoot();
    for (ObjectIterator it = world.framecalllist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o == myroot || !(o->flags & kObjTargetable))
            continue;
        if (IsEnemy(o) || o->type == OBJT_VEHICLE || o->type == OBJT_DYNAMIC) {
            target = o;
            return;
        }
    }
}

Object* Dace::GetLoneEnemyInRadius(float radius2)
{
    const VectorPos me = GetWorldPos();
    Object* first = nullptr;
    float limit = radius2;
    for (ObjectIterator it = world.framecalllist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || !IsEnemy(o) || !IsTargetValid(o, 10.0f))
            continue;
        const float d = Dist2(o->GetWorldPos(), me);
        if (!(d < limit))
            continue;
        if (first != nullptr)
            return nullptr;
        first = o;
        limit = d;
    }
    return first;
}

Vehicle* Dace::FindCar(bool drawnonly)
{
    const Matrix w = GetWorldMatrix();
    const VectorDir fwd(w.z.xyz());
    Vehicle* best = nullptr;
    float bestscore = 1e6f;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o->type != OBJT_VEHICLE)
            continue;
        auto* v = static_cast<Vehicle*>(o);
        // Drawn in the last frame: world time moves 1.2 frames a tick, so a
        // tick may fall two frames after the drawing.
        if (drawnonly && !(world.time - v->iLastDrawnTime <= 2))
            continue;
        const VectorDir to(v->GetWorldPos() - w.GetTrans());
        const float d = Length(to);
        const float c = d > 0.0f ? Dot(to, fwd) / d : 1.0f;
        const float score = d * (1.0f - 0.5f * c);
        if (score < bestscore) {
            bestscore = score;
            best = v;
        }
    }
    return best;
}

Object* Dace::FindNearestObject(VectorPos pos, u16 objtype, u32 excludedflags)
{
    Object* best = nullptr;
    float bestd = 1e38f;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->type != objtype || o->id == id || (o->flags & excludedflags))
            continue;
        const float d = Dist2(o->GetWorldPos(), pos);
        if (d < bestd) {
            bestd = d;
            best = o;
        }
    }
    return best;
}

bool Dace::IsTargetedByShooter()
{
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || !IsEnemyId(o->id))
            continue;
        if (o->messagehandler == &Enemy::ShooterEnemy_mh &&
            static_cast<Enemy*>(o)->target == this)
            return true;
    }
    return false;
}

const RoadSeg* Dace::GetCurrentRS() const
{
    if (parent == nullptr)
        return ghc.prs;
    if (parent->type == OBJT_VEHICLE) {
        const auto* v = static_cast<const Vehicle*>(parent);
        return v->wheel[0] != nullptr ? v->wheel[0]->ghc.prs : nullptr;
    }
    return nullptr;
}
