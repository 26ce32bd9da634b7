// Cover and sniping: a shooter under pressure runs behind the nearest object
// between him and the player (or to a placed cover point) and fights from
// there; a sniper moves between the nodes of his path, takes one aimed shot
// from each and may hide at the path's ends.
#include "game/BadGuy.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/Player.h"
#include "game/QuadTree.h"

using BA = BadGuyAnims;

namespace {

constexpr int kCoverSlot = 195;       // the level's model file of placed cover points
constexpr u16 kCoverNode = 0x8063;
constexpr float kTurn = 0.10472f;
constexpr float kMaxCoverDist2 = 244.140625f;   // 15.625 squared

VectorDir Flat(VectorDir d)
{
    d[1] = 0.0f;
    return d.LengthSq() > 0.0f ? Normalise(d) : d;
}

s16 CoverCycles(float aggro) { return s16(std::max(1, int((1.0f - aggro) * 5.0f))); }

bool Arrived(float oldt, float t, float dest)
{
    return std::fabs(t - dest) < 0.025f || ((t - dest) < 0.0f) != ((oldt - dest) < 0.0f);
}

// The placed cover points in the world; false without the model file or its
// cover node.
bool PlacedCoverPoints(std::vector<VectorPos>& out)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(kCoverSlot, false);
    if (mf == nullptr)
        return false;
    const NODE* root = mf->FindNode1(0, kCoverNode);
    if (root == nullptr)
        return true;
    const Matrix place = g_pgcTest != nullptr ? g_pgcTest->matPH : Matrix(true);
    int guard = 0;
    for (u16 i = root->child; i != 0xFFFF && guard < 4096; guard++) {
        const NODE* n = mf->GetNode(i);
        if (n == nullptr)
            break;
        const VectorPos local = root->Pos() + VectorDir(n->Pos());
        out.push_back(place * local);
        i = n->sibling;
    }
    return true;
}

}  // namespace

int Enemy::CheckAreaForCover(VectorPos* out)
{
    if (dace == nullptr || out == nullptr)
        return 0;
    CollisionChecker probe;
    const Cuboid box(VectorPos(-0.9375f, -0.625f, 0.0f), VectorPos(0.9375f, 0.0f, 3.125f));
    probe.CheckBox(mat, box, 1, 0);
    const VectorPos player = dace->GetWorldPos();
    const VectorPos from = torso != nullptr ? torso->GetWorldPos() : GetWorldPos();
    bool accepted = false;
    const u8 passes[3] = {OBJT_VEHICLE, OBJT_STATIC, OBJT_PLACEHOLDER};
    for (int pass = 0; pass < 3 && !accepted; pass++) {
        for (int k = 0; k < probe.numcollobjs; k++) {
            Object* o = probe.collobjs[k];
            if (o == nullptr || o->type != passes[pass])
                continue;
            const VectorDir d = o->GetWorldPos() - player;
            const float len = Length(VectorXYZ(d));
            if (len <= 0.0f)
                continue;
            const float e = pass == 0 ? o->radius : 0.3125f;
            const VectorPos c = player + d * ((len + e) / len);
            if (!accepted && (c - from).LengthSq() < kMaxCoverDist2) {
                *out = c;
                accepted = true;
            } else if (o->radius > 0.0f) {
                *out = c;
            }
        }
    }
    return accepted ? 1 : 0;
}

void Enemy::Start_Shoot_TakeCover()
{
    const VectorPos from = torso != nullptr ? torso->GetWorldPos() : GetWorldPos();
    auto runTo = [this](VectorPos p) {
        takecoverPos = p;
        mode = 25;
        if (mode2 != RunAni())
            BlendToAnim(RunAni(), 5);
    };
    if (target != nullptr && targetspotted) {
        std::vector<VectorPos> points;
        const bool haveFile = PlacedCoverPoints(points);
        if (haveFile) {
            bool found = false;
            VectorPos best;
            float bestd = 0.0f;
            const VectorPos tp = target->GetWorldPos();
            for (VectorPos p : points) {
                VectorPos hit;
                VectorDir n;
                if (world.CheckRay(p, tp, &hit, &n, target->GetRoot(), nullptr, 0x900) == nullptr)
                    continue;
                if (std::fabs(p[1] - from[1]) >= 0.625f)
                    continue;
                if (movepath != nullptr && world.CheckRay(p, from, &hit, &n, GetRoot(), nullptr, 0x900) != nullptr)
                    p = VectorPos(movepath->Evaluate(GetNearestMovePathPos(p)).xyz());
                const float d2 = (p - from).LengthSq();
                if (!found || d2 < bestd) {
                    best = p;
                    bestd = d2;
                    found = true;
                }
            }
            if (found) {
                runTo(best);
                return;
            }
        } else {
            VectorPos c;
            if (CheckAreaForCover(&c)) {
                runTo(c);
                return;
            }
        }
    }
    // No cover: duck or reload where he stands.
    if (!rightgunarm.IsLoaded() && mode2 != +BA::GUN_RELOAD_ANI && mode2 != +BA::GUN_DUCK_RELOAD_ANI)
        BlendToAnim(+BA::GUN_RELOAD_ANI, 5);
    else if (hostage == nullptr && mode2 != +BA::GUN_DUCK_ANI)
        BlendToAnim(+BA::GUN_DUCK_ANI, 5);
    cyclesleft = CoverCycles(aggro);
}

int Enemy::Restart_Shoot_TakeCover()
{
    BlendToAnim(hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_IDLE_ANI : +BA::GUN_DUCK_ANI, 5);
    cyclesleft = CoverCycles(aggro);
    return cyclesleft > 1;
}

void Enemy::Frame_Shoot_TakeCover()
{
    const bool spotted = target != nullptr && targetspotted;
    if (IsBusy()) {
        if (spotted && mode2 == +BA::GUN_GETUP_ANI)
            TurnTowardFlat(target->GetWorldPos() - GetWorldPos());
    } else if (target == nullptr) {
        // Nothing to hide from: he holds where he is.
    } else if (mode2 == RunAni()) {
        const VectorDir to = takecoverPos - GetWorldPos();
        FaceAlong(to);
        if (Length(VectorXYZ(VectorDir(to[0], 0.0f, to[2]))) < 0.15625f) {
            if (rightgunarm.gun != nullptr)
                BlendToAnim(hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_IDLE_ANI : +BA::GUN_DUCK_ANI, 5);
            else
                BlendToAnim(+BA::GIVEUP_ANI, 5);
            cyclesleft = CoverCycles(aggro);
        }
    } else {
        TurnTowardFlat(target->GetWorldPos() - GetWorldPos());
        const bool armed = rightgunarm.gun != nullptr;
        if (cyclesleft != 0) {
            if (armed && !rightgunarm.IsLoaded() && mode2 != +BA::GUN_RELOAD_ANI &&
                mode2 != +BA::GUN_DUCK_RELOAD_ANI) {
                BlendToAnim(+BA::GUN_DUCK_RELOAD_ANI, 5);
                cyclesleft = 1;
            }
        } else if (!armed) {
            BlendToAnim(RandomN(4) != 0 ? +BA::GIVEUP_ANI : +BA::ANGRY_ANI, 5);
            cyclesleft = 2;
        } else if (hostage != nullptr ||
                   (mode2 != +BA::GUN_DUCK_ANI && mode2 != +BA::GUN_DUCK_RELOAD_ANI)) {
            mode = 24;
        } else {
            // Peek round the right side first, then the left.
            const VectorPos here = GetWorldPos();
            const VectorDir side(mat.x.xyz());
            const VectorPos tp = target->GetWorldPos();
            auto clear = [&](VectorPos p) {
                VectorPos hit;
                VectorDir n;
                // His own body is no cover.
                return world.CheckRay(p, tp, &hit, &n, target->GetRoot(), GetRoot(), 0x900) == nullptr;
            };
            // Steps out half the time, else rolls.
            auto peek = [this](BA walk, BA roll) {
                if (RandomN(100) < 50) {
                    BlendToAnim(+walk, 5);
                    cyclesleft = 1;
                } else {
                    BlendToAnim(+roll, 5);
                    cyclesleft = 2;
                }
            };
            if (clear(here + side * 0.2f)) {
                peek(BA::GUN_WALK_RIGHT_ANI, BA::GUN_DUCK_ROLL_R_ANI);
            } else if (clear(here - side * 0.2f)) {
                peek(BA::GUN_WALK_LEFT_ANI, BA::GUN_DUCK_ROLL_L_ANI);
            } else {
                Start_Shoot_Patrol();
            }
        }
    }
    ShooterAnimate(1.0f);
}

// ---------------------------------------------------------------------------
// Sniping

void Enemy::SetNextSnipingNode()
{
    const int nseg = movepath != nullptr ? movepath->NumSplines() : 0;
    const int n = int(patht + 0.49f);
    int next;
    if (n < nseg && n > 0) {
        positivedir = (rand() & 1) != 0;
        next = positivedir ? n + 1 : n - 1;
    } else if (n <= 0) {
        next = n + 1;
        positivedir = true;
    } else {
        next = n - 1;
        positivedir = false;
    }
    destpatht = float(next);
}

void Enemy::Start_Shoot_Sniping()
{
    BlendToAnim(IdleAni(), 10);
    timeleft = 40;
    mode = 26;
    UpdateMovePathPos();
}

void Enemy::Restart_Shoot_Sniping()
{
    if (behavior >= MOVING) {
        SetNextSnipingNode();
        BlendToAnim(+BA::GUN_RUN_ANI, 10);
    } else {
        BlendToAnim(IdleAni(), 10);
    }
}

void Enemy::Start_Shoot_TakeCover_Sniping()
{
    BlendToAnim(hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_IDLE_ANI : +BA::GUN_DUCK_ANI, 5);
    mode = 36;
    cyclesleft = CoverCycles(aggro);
    UpdateMovePathPos();
}

void Enemy::Restart_Shoot_TakeCover_Sniping()
{
    BlendToAnim(hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_IDLE_ANI : +BA::GUN_DUCK_ANI, 5);
    cyclesleft = CoverCycles(aggro);
}

namespace {

// The wait after a try that found no shot: up to 179 frames at no
// aggression, up to 59 at full.
int SniperWait(float aggro) { return RandomN(int((1.0f - aggro) * 2.0f * 60.0f) + 60); }

}  // namespace

void Enemy::Frame_Shoot_Sniping()
{
    const bool spotted = target != nullptr && targetspotted;
    auto faceTarget = [&] {
        if (spotted)
            TurnTowardFlat(target->GetWorldPos() - GetWorldPos());
    };
    const u16 a = mode2;
    if (IsBusy()) {
        if (a == +BA::GUN_GETUP_ANI)
            faceTarget();
    } else if (a == +BA::GUN_RUN_ANI) {
        const float oldt = patht;
        const VectorDir m = Flat(positivedir ? pathdir : pathdir * -1.0f);
        if (m.LengthSq() > 0.0f)
            TurnToward(m, kTurn * world.playbackSpeed);
        UpdateMovePathPos();
        if (Arrived(oldt, patht, destpatht)) {
            const int nseg = movepath != nullptr ? movepath->NumSplines() : 0;
            if ((hidebehavior != NO_HIDING && destpatht == 0.0f) ||
                (hidebehavior == START_END_HIDING && destpatht == float(nseg)))
                Start_Shoot_TakeCover_Sniping();
            else
                Start_Shoot_Sniping();
        }
    } else if (a == +BA::GUN_IDLE_FIRE_ANI) {
        faceTarget();
        const int gm = rightgunarm.GetMode();
        if (sight != nullptr && (gm == GunArm::JUST_SHOT || gm == GunArm::RECOIL || gm == GunArm::RECOIL_TO_AIM ||
                                 gm == GunArm::RECOIL_TO_SHOOT || gm == GunArm::RECOIL_TO_QUIT_AIMING))
            sight->flags |= 1u;
        if (timeleft == 0) {
            if (sight != nullptr)
                sight->flags |= 1u;
            timeleft = SniperWait(aggro);
            Restart_Shoot_Sniping();
        }
    } else if (a == IdleAni() || a == +BA::GUN_IDLE_NOSHOOT_ANI || a == +BA::GUN_IDLE_ANI) {
        faceTarget();
        if (timeleft == 0) {
            bool shot = false;
            if (spotted && pTargetTorso != nullptr && rightgunarm.CanAimAt(pTargetTorso->GetWorldPos())) {
                VectorPos hit;
                VectorDir n;
                Object* from = rightgunarm.hand != nullptr ? rightgunarm.hand : this;
                Object* aim = dace != nullptr && dace->GetRoot() != nullptr ? dace->GetRoot() : target->GetRoot();
                Object* in = world.CheckRay(from->GetWorldPos(), pTargetTorso->GetWorldPos(), &hit, &n,
                                            aim, GetRoot(), 0x900);
                if (in == nullptr || in->FindSpecialIndex(15) != 0) {
                    shot = true;
                    if (rightgunarm.ShootGun()) {
                        SpecialMessage m(SMSG_SHOT_AT, rightgunarm.gun);
                        target->SendMessage(OM_SPECIAL, &m);
                        BlendToAnim(+BA::GUN_IDLE_FIRE_ANI, 10);
                    } else {
                        BlendToAnim(+BA::GUN_RELOAD_ANI, 5);
                        rightgunarm.DeactivateGun();
                    }
                    timeleft = 40;
                }
            }
            if (!shot) {
                timeleft = SniperWait(aggro);
                if (behavior >= MOVING) {
                    SetNextSnipingNode();
                    BlendToAnim(+BA::GUN_RUN_ANI, 10);
                }
            }
        }
    }
    ShooterAnimate(1.0f);
    UpdateMovePathPos();
}

void Enemy::Frame_Shoot_TakeCover_Sniping()
{
    const bool spotted = target != nullptr && targetspotted;
    if (IsBusy()) {
        if (spotted && mode2 == +BA::GUN_GETUP_ANI)
            TurnTowardFlat(target->GetWorldPos() - GetWorldPos());
    } else if (mode2 == +BA::GUN_RUN_ANI) {
        const float oldt = patht;
        const VectorDir m = Flat(positivedir ? pathdir : pathdir * -1.0f);
        if (m.LengthSq() > 0.0f)
            TurnToward(m, kTurn * world.playbackSpeed);
        UpdateMovePathPos();
        if (Arrived(oldt, patht, destpatht))
            mode = 26;
    } else if (cyclesleft == 0) {
        positivedir = patht < 0.5f;
        const int n = int(patht + 0.49f);
        destpatht = float(positivedir ? n + 1 : n - 1);
        BlendToAnim(+BA::GUN_RUN_ANI, 10);
    } else if (spotted) {
        TurnTowardFlat(target->GetWorldPos() - GetWorldPos());
    }
    ShooterAnimate(1.0f);
}
