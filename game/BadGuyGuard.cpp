// Guards: shooters with the gun lowered who stand at a post (mode 32), walk
// to a check point through a door and back (33, 34) or walk a patrol path
// (35); a sighting makes them look round and either bust the target or go
// back to their round.
#include "game/BadGuy.h"

#include <cmath>

#include "game/Player.h"
#include "game/QuadTree.h"

using BA = BadGuyAnims;

namespace {

constexpr unsigned kBusyFlags = 0x70000000;
constexpr float kFaceTurn = 0.10472f;      // to a post, a noise, or the target while getting up
constexpr float kAlertTurn = 0.139626f;    // tracking a spotted target
constexpr float kPathTurn = 0.0829031f;    // steering along a path
constexpr float kDoorSpeed = 0.0523599f;
constexpr float kDoorOpen = 2.0944f;

enum { SMSG_EV_GUARD_14 = 23014 };

void Send(Object* to, int code, Object* about)
{
    if (to == nullptr)
        return;
    SpecialMessage m(code, about);
    to->SendMessage(OM_SPECIAL, &m);
}

bool Live(const Object* o) { return o != nullptr && !(o->flags & 0x80000000u); }

VectorDir Flat(VectorDir d)
{
    d[1] = 0.0f;
    return d.LengthSq() > 0.0f ? Normalise(d) : d;
}

}  // namespace

// ---------------------------------------------------------------------------
// Common pieces

namespace {

// The frames at a post: 60 at full aggression, 300 at none.
int PostTime(float aggro) { return int(((1.0f - aggro) * 4.0f + 1.0f) * 60.0f); }

}  // namespace

// Spotting check: a sighting starts the look-around.
static void SpotCheck(Enemy* e, int base, int range)
{
    if (e->TrySpottingTarget(base, range, true))
        e->TargetSpotted();
}

static void AlertTrack(Enemy* e)
{
    if (e->target != nullptr && e->targetspotted && e->GetObstructionToTarget() == nullptr && e->pTargetTorso != nullptr) {
        const VectorDir d = Flat(e->pTargetTorso->GetWorldPos() - e->GetWorldPos());
        if (d.LengthSq() > 0.0f)
            e->TurnToward(d, kAlertTurn * world.playbackSpeed);
    }
}

// Alarm, bump and look-around; false when mode2 is none of them.
static bool AlertStates(Enemy* e)
{
    const u16 a = e->mode2;
    if (a == +BA::NPC_SHOCKED_ANI || a == +BA::GUARD_IDLE_LOOKAROUND_ANI) {
        if (e->timeleft == 0)
            e->LookForTarget();
        else
            AlertTrack(e);
        return true;
    }
    if (a == +BA::GUARD_BUMP_PULLOUTGUN_ANI || a == +BA::GUARD_BUMP_VOCAL_ANI) {
        if (e->timeleft == 0) {
            Send(e->gameeventobj, SMSG_EV_TARGET_BUSTED, e);
            // Rewritten so that the report goes out once.
            auto vocal = [](u16& m) {
                if (m == +BA::GUARD_BUMP_PULLOUTGUN_ANI || m == +BA::GUARD_BUMP_VOCAL_ANI)
                    m = +BA::GUARD_ALARM_VOCAL_ANI;
            };
            vocal(e->mode2);
            vocal(e->blendmode2);
        }
        AlertTrack(e);
        return true;
    }
    if (a == +BA::GUARD_ALARM_PULLOUTGUN_ANI || a == +BA::GUARD_ALARM_VOCAL_ANI) {
        AlertTrack(e);
        return true;
    }
    return false;
}

// Busy: only getting up turns to the target; true when the frame ends here.
static bool BusyFrame(Enemy* e)
{
    if (!e->IsBusy())
        return false;
    if (e->mode2 == +BA::GUN_GETUP_ANI && e->target != nullptr && e->targetspotted) {
        const VectorDir d = Flat(e->target->GetWorldPos() - e->GetWorldPos());
        if (d.LengthSq() > 0.0f)
            e->TurnToward(d, kFaceTurn * world.playbackSpeed);
    }
    e->ShooterAnimate(1.0f);
    return true;
}

static VectorDir PathHeading(const Enemy* e)
{
    return Flat(e->positivedir ? e->pathdir : e->pathdir * -1.0f);
}

static void Steer(Enemy* e, VectorDir m)
{
    if (m.LengthSq() > 0.0f)
        e->TurnToward(m, kPathTurn * world.playbackSpeed);
    e->UpdateMovePathPos();
}

static bool Arrived(float oldt, float t, float dest)
{
    return std::fabs(t - dest) < 0.025f || ((t - dest) < 0.0f) != ((oldt - dest) < 0.0f);
}

// ---------------------------------------------------------------------------
// Starts and restarts

void Enemy::Start_Guard()
{
    BlendToAnim(+BA::GUARD_IDLE_ANI, 5);
    rightgunarm.DisarmGun();
    cyclesleft = 1;
    mode = 32;
    timeleft = PostTime(aggro);
    UpdateMovePathPos();
}

void Enemy::Restart_Guard()
{
    BlendToAnim(+BA::GUARD_IDLE_ANI, 5);
    cyclesleft = 1;
    timeleft = PostTime(aggro);
}

void Enemy::Restart_Guard_TurnAround()
{
    positivedir = !positivedir;
    BlendToAnim(+BA::GUARD_IDLE_TURNAROUND_MARKTIME_ANI, 5);
    cyclesleft = 1;
    timeleft = PostTime(aggro);
}

void Enemy::Start_Guard_Check()
{
    door = world.objectlist.Find(4000 - id);
    steam = world.objectlist.Find(4100 - id);
    if (Live(door)) {
        doormat = door->mat;
        doorgoalang = kDoorOpen;
        doorangspeed = kDoorSpeed;
        doorang = 0.0f;
    }
    if (Live(steam))
        Send(steam, SMSG_PATH_POINT_REACHED, nullptr);
    timeleft = int(delay);
    BlendToAnim(delay != 0 ? +BA::GUARD_IDLE_ANI : +BA::GUARD_WALK_ANI, 5);
    cyclesleft = 1;
    rightgunarm.DisarmGun();
    UpdateMovePathPos();
    mode = 33;
}

void Enemy::Restart_Guard_Check()
{
    if (mode == 33)
        BlendToAnim(+BA::GUARD_WALK_ANI, 10);
    else if (mode == 34)
        BlendToAnim(+BA::GUARD_IDLE_CHECK_ANI, 10);
    cyclesleft = 1;
}

void Enemy::Start_Guard_Patrol()
{
    movepathcircular = MovePathIsCircular();
    BlendToAnim(+BA::GUARD_WALK_ANI, 5);
    rightgunarm.DisarmGun();
    mode = 35;
    positivedir = true;
    cyclesleft = delay == 0 ? 2 : 0;
    timeleft = int(delay);
    UpdateMovePathPos();
}

void Enemy::Restart_Guard_Patrol()
{
    flags &= ~ENEMYF_HOLDING;
    BlendToAnim(+BA::GUARD_WALK_ANI, 40);
    cyclesleft = 1;
}

void Enemy::Restart_Guard_Patrol_TurnAround()
{
    flags &= ~ENEMYF_HOLDING;
    positivedir = !positivedir;
    destpatht = 1.0f - destpatht;
    BlendToAnim(+BA::GUARD_WALK_ANI, 40);
    cyclesleft = 1;
}

// ---------------------------------------------------------------------------
// Frames

void Enemy::Frame_Guard()
{
    if (BusyFrame(this))
        return;
    if (!AlertStates(this)) {
        switch (static_cast<BA>(mode2)) {
        case BA::GUARD_IDLE_DOZINGOFF_ANI:
            if (timeleft == 0)
                BlendToAnim(+BA::GUARD_IDLE_DOZINGOFF_STOP_ANI, 5);
            break;
        case BA::GUARD_IDLE_CELLTALK_ANI:
            if (timeleft == 0)
                BlendToAnim(+BA::GUARD_IDLE_CELLTALK_STOP_ANI, 5);
            break;
        case BA::GUARD_IDLE_TURNAROUND_MARKTIME_ANI: {
            VectorDir post = Flat(VectorDir(startmat.z.xyz()));
            if (!positivedir)
                post = post * -1.0f;
            if (post.LengthSq() > 0.0f && TurnToward(post, kFaceTurn * world.playbackSpeed))
                BlendToAnim(+BA::GUARD_IDLE_ANI, 5);
            break;
        }
        default: break;
        }
        SpotCheck(this, 6, 4);
    }
    ShooterAnimate(1.0f);
    UpdateMovePathPos();
}

void Enemy::Frame_Guard_Check()
{
    const VectorDir m = PathHeading(this);
    const float oldt = patht;
    if (IsBusy()) {
        if (Live(door))
            door->mat = doormat;
        BusyFrame(this);
        return;
    }
    if (Live(door) && ((doorangspeed > 0.0f && doorang < doorgoalang) ||
                       (doorangspeed <= 0.0f && doorang > doorgoalang))) {
        doorang += doorangspeed;
        door->mat = RotY(doorang) * doormat;
    }
    if (!AlertStates(this)) {
        if (mode2 == +BA::GUARD_IDLE_CHECK_ANI) {
            SpotCheck(this, 2, 2);
        } else if (mode2 == +BA::GUARD_IDLE_ANI) {
            if ((timeleft <= 1 || timeleft == -1) && cyclesleft < 2)
                BlendToAnim(+BA::GUARD_WALK_ANI, 5);
        } else {
            Steer(this, m);
            if (destpatht == 0.0f && patht < 0.5f) {
                doorgoalang = 0.0f;
                doorangspeed = -kDoorSpeed;
            }
            if (Arrived(oldt, patht, destpatht)) {
                if (destpatht == 0.0f) {
                    // Back from the round: report, shut the door, leave.
                    Send(gameeventobj, SMSG_EV_GUARD_14, this);
                    if (Live(door))
                        door->mat = doormat;
                    // Deleted by the handler once this frame is over.
                    u32BGFlags |= BGF_LEAVING;
                    return;
                }
                BlendToAnim(+BA::GUARD_IDLE_CHECK_ANI, 10);
            }
        }
    }
    ShooterAnimate(1.0f);
    UpdateMovePathPos();
}

void Enemy::Frame_Guard_Patrol()
{
    if (BusyFrame(this))
        return;
    if (!AlertStates(this)) {
        if (mode2 == +BA::GUARD_IDLE_ANI) {
            SpotCheck(this, 6, 4);
            UpdateMovePathPos();
        } else if (bHeardNoise) {
            SpotCheck(this, 6, 4);
        } else {
            const float oldt = patht;
            Steer(this, PathHeading(this));
            if (!movepathcircular && mode2 == +BA::GUARD_WALK_ANI && Arrived(oldt, patht, destpatht)) {
                BlendToAnim(+BA::GUARD_IDLE_ANI, 40);
                timeleft = int(delay);
                cyclesleft = delay == 0 ? 2 : 0;
            }
            SpotCheck(this, 6, 4);
        }
    }
    ShooterAnimate(1.0f);
    UpdateMovePathPos();
    if (!targetspotted && bHeardNoise) {
        if (timeleft != 0) {
            const VectorDir d = Flat(vdNoiseDir);
            if (d.LengthSq() > 0.0f)
                TurnToward(d, kFaceTurn * world.playbackSpeed);
        } else {
            bHeardNoise = false;
        }
    }
}

// The ends of the guards' idles (from the shooter's animation-end handler).
bool Enemy::GuardIdleEnded(u16 ended)
{
    Enemy* e = this;
    const bool idle = ended == +BA::GUARD_IDLE_ANI || (ended >= +BA::GUARD_IDLE_SPECIAL_1_ANI &&
                                                       ended <= +BA::GUARD_IDLE_SPECIAL_3_ANI);
    if (!idle)
        return false;
    auto special = [e] {
        if (RandomN(5) == 0)
            e->BlendToAnim(+BA::GUARD_IDLE_SPECIAL_1_ANI, 5);
        else
            e->ReBlendToAnim(+BA::GUARD_IDLE_ANI, 5, -1, -1, false);
    };
    if (e->mode == 32 && ended == +BA::GUARD_IDLE_ANI)
        special();
    else if (e->mode == 35 && e->timeleft == 0 && e->cyclesleft < 2)
        e->Restart_Guard_Patrol_TurnAround();
    else if (e->mode == 35 && ended == +BA::GUARD_IDLE_ANI && e->cyclesleft >= 2)
        special();
    else
        e->ReBlendToAnim(+BA::GUARD_IDLE_ANI, 5, -1, -1, false);
    return true;
}
