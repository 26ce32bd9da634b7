// The player sneaking: creeping, jumping, backing onto walls and sliding
// along them, and seizing guards from close by to disarm them.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ZevEngine2/World.h"
#include "game/Player.h"
#include "game/PlayerAnim.h"
#include "game/QuadTree.h"

namespace {

// The whole part of a non-negative curve position.
float FloorF(float t) { return float(int(t)); }

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

constexpr u32 kPunchHit = 0x00800000u, kKickHit = 0x00400000u, kGrappleHit = 0x00200000u, kJumpHit = 0x00100000u,
              kWarnHit = 0x00080000u, kWallHeld = 0x0040u, kCentreHeld = 0x0400u;
constexpr int SMSG_RELEASED = 32, SMSG_SHIELD_ANIM = 33;

bool IsHit(int a) { return In(a, 207, 209) || In(a, 214, 233) || In(a, 274, 276) || In(a, 315, 317) || In(a, 333, 335); }
bool IsAttack(int a) { return In(a, 162, 206) || In(a, 282, 293); }
bool IsAirborne(int a)
{
    return In(a, 94, 96) || In(a, 100, 109) || In(a, 111, 122) || In(a, 256, 258) || In(a, 338, 354);
}
bool IsCar(int a) { return In(a, 17, 19) || In(a, 55, 80); }
bool IsWarning(int a) { return a == 123 || In(a, 125, 128) || a == 267; }
bool IsDisarm(int a) { return In(a, 239, 247); }
bool IsStealthJump(int a) { return a == STEALTH_JUMP_ANI || a == STEALTH_JUMP_INAIR_ANI || a == STEALTH_JUMP_LAND_ANI; }
bool IsInAir(int a)
{
    return a == 95 || In(a, 103, 108) || In(a, 115, 122) || a == 229 || a == 257 || a == 339 || a == 342 ||
           a == 345 || a == 348;
}
bool IsIdle(int a)
{
    return a == GUNS_IDLE_ANI || a == GUNS_IDLE_2_ANI || a == PED_IDLE_ANI || a == PED_IDLE_LOOKAROUND_ANI ||
           a == PED_IDLE_FOOTWORK_ANI || a == PED_IDLE_CHECKTIME_ANI || a == PED_ARREST_FAIL_ANI ||
           a == STEALTH_IDLE_ANI || a == STEALTH_IDLE_CROUCH_ANI || a == STEALTH_IDLE_LOOKAROUND_ANI ||
           a == DETECTIVE_CONFUSED_ANI;
}
bool IsStealthGait(int a)
{
    return a == STEALTH_IDLE_ANI || a == STEALTH_IDLE_CROUCH_ANI || a == STEALTH_IDLE_LOOKAROUND_ANI ||
           a == STEALTH_WALK_ANI || a == STEALTH_RUN_ANI;
}

VectorDir Flat(VectorDir d)
{
    d[1] = 0.0f;
    return d;
}

const VectorXYZ kUp(0.0f, -1.0f, 0.0f);

}  // namespace

u16 Dace::GetHalfHeightAnim(u16 a)
{
    switch (a) {
    case STEALTH_FWALL_IDLE_L_ANI: return STEALTH_HWALL_IDLE_L_ANI;
    case STEALTH_FWALL_IDLE_R_ANI: return STEALTH_HWALL_IDLE_R_ANI;
    case STEALTH_FWALL_WALK_L_ANI: return STEALTH_HWALL_WALK_L_ANI;
    case STEALTH_FWALL_WALK_R_ANI: return STEALTH_HWALL_WALK_R_ANI;
    case GUNS_FWALL_IDLE_L_ANI:
    case GUNS_FWALL_IDLE_R_ANI: return GUNS_HWALL_IDLE_ANI;
    case GUNS_FWALL_IDLE_PEEK_L_ANI: return GUNS_HWALL_IDLE_PEEK_L_ANI;
    case GUNS_FWALL_IDLE_PEEK_R_ANI: return GUNS_HWALL_IDLE_PEEK_R_ANI;
    case GUNS_FWALL_WALK_L_ANI: return GUNS_HWALL_WALK_L_ANI;
    case GUNS_FWALL_WALK_R_ANI: return GUNS_HWALL_WALK_R_ANI;
    case GUNS_FWALL_FIREAHEAD_ANI: return GUNS_HWALL_FIREAHEAD_ASSUME_ANI;
    case GUNS_FWALL_RECOIL_ANI: return GUNS_HWALL_RECOIL_ANI;
    case GUNS_FWALL_KILLED_ANI: return GUNS_HWALL_KILLED_ANI;
    default: return a;
    }
}

u16 Dace::GetFullHeightAnim(u16 a)
{
    switch (a) {
    case GUNS_HWALL_IDLE_ANI: return GUNS_FWALL_IDLE_R_ANI;
    case GUNS_HWALL_IDLE_PEEK_L_ANI: return GUNS_FWALL_IDLE_PEEK_L_ANI;
    case GUNS_HWALL_IDLE_PEEK_R_ANI: return GUNS_FWALL_IDLE_PEEK_R_ANI;
    case GUNS_HWALL_WALK_L_ANI: return GUNS_FWALL_WALK_L_ANI;
    case GUNS_HWALL_WALK_R_ANI: return GUNS_FWALL_WALK_R_ANI;
    case GUNS_HWALL_FIREAHEAD_ASSUME_ANI: return GUNS_FWALL_FIREAHEAD_ANI;
    case GUNS_HWALL_RECOIL_ANI: return GUNS_FWALL_RECOIL_ANI;
    case GUNS_HWALL_KILLED_ANI: return GUNS_FWALL_KILLED_ANI;
    default: return a;
    }
}

void Dace::WalkTo_Stealth(VectorDir dir, float rate)
{
    if (speed == 0.0f)
        return;
    TurnToward(dir, rate * world.playbackSpeed);
    idle = 0;
}


void Dace::Frame_Stealth(PlayerController& pc)
{
    const u32 pad = pc.pad;
    // 1.
    facemode = false;
    PedestrianMoveCamera(pc);
    attackbuffer = GetAttackType(pc);
    speed = Length(VectorXYZ(pc.cdir));
    bool skipmove = false, skipdisarm = false;

    // 2.
    if (IsStealthJump(mode2)) {
        skipmove = skipdisarm = true;
        speed = 0.0f;
        if (mode2 == STEALTH_JUMP_INAIR_ANI) {
            const VectorDir f = Normalise(Flat(VectorDir(GetWorldMatrix().z.xyz())));
            const float step =
                world.playbackSpeed * std::max(0.0116417f, 0.0162983f * Dot(VectorXYZ(pc.wdir), VectorXYZ(f)));
            mat.SetTrans(mat.GetTrans() + f * step);
        }
    } else {
        // 3. The warning-gun pose.
        if (mode2 == PED_WARN_GUN_IDLE_ANI) {
            GunArm& a = rightgunarm;
            const bool busy = a.mode == GunArm::DRAWING_TO_SHOOT || a.mode == GunArm::AIMING_TO_SHOOT ||
                              a.mode == GunArm::RECOIL_TO_SHOOT;
            if ((pad & kWarnHit) && !busy) {
                if (a.mode == GunArm::CARRYING)
                    a.mode = GunArm::DRAWING_TO_AIM;
                a.ShootGun();
            } else if (speed != 0.0f) {
                a.HolsterGun();
                BlendToAnim(PED_WARN_GUN_REVERT_ANI, 3);
            }
        }
        if (IsWarning(mode2) || IsDisarm(mode2) || IsDisarm(blendmode2))
            skipmove = skipdisarm = true;
    }

    // 4. Seizing a guard.
    if (!skipdisarm && (pad & (kPunchHit | kKickHit | kGrappleHit)) && !IsHit(mode2) && !IsAttack(mode2) &&
        !IsAirborne(mode2) && !IsCar(mode2)) {
        Object* guard = FindNearestObject(GetWorldPos(), 1, 0xD0000000u);
        if (guard != nullptr) {
            const float facing = Dot(VectorXYZ(Flat(VectorDir(guard->GetWorldMatrix().z.xyz()))),
                                     VectorXYZ(Flat(VectorDir(GetWorldMatrix().z.xyz()))));
            u16 anim;
            if (pad & kGrappleHit)
                anim = STEALTH_GRAPPLE_DISARM_START_ANI;
            else if (pad & kPunchHit)
                anim = facing < 0.0f ? STEALTH_GRAPPLE_DISARM_P_START_ANI : STEALTH_GRAPPLE_DISARM_K_START_ANI;
            else
                anim = facing > 0.0f ? STEALTH_GRAPPLE_DISARM_K_START_ANI : STEALTH_GRAPPLE_DISARM_P_START_ANI;
            const int guardanim = anim == STEALTH_GRAPPLE_DISARM_START_ANI   ? 2
                                  : anim == STEALTH_GRAPPLE_DISARM_K_START_ANI ? 6
                                                                                : 7;
            AnimChar* ac = DaceAnim::Anims[anim];
            PoseGrabNode(ac, false);
            const Matrix saved = mat;
            VectorDir to = Flat(VectorDir(guard->GetWorldPos() - GetWorldPos()));
            if (to.LengthSq() > 0.0f) {
                const VectorPos at = mat.GetTrans();
                mat = LookAlong(Normalise(to));
                mat.SetTrans(at);
            }
            const int len = ac != nullptr ? int(reinterpret_cast<const u16*>(ac)[1]) : 0;
            SpecialMessage m(SMSG_GRABBED, this, int(anim), len, 4, guardanim);
            const int answer = guard->SendMessage(OM_SPECIAL, &m);
            mat = saved;
            skipmove = true;
            if (answer != 0) {
                BlendToAnim(anim, 3);
                curattack = &DaceAnim::gungrapple;
                grappleframe = frame;
                collidestate = FREE;
                target = guard;
            }
        }
    }

    // 5. Movement by wall state.
    if (!skipmove) {
        if (collidestate == FREE || collidestate == PUSH_STATIC) {
            PedestrianMoveCamera(pc);
            StealthMoveFree(pc);
        } else if (IsStealthGait(mode2) && (pad & kJumpHit) && CanJump()) {
            jumpspeed = std::max(GetAnimVelocity()[2], 0.0f);
            if (jumpspeed < 0.00465667f)
                jumpspeed = 0.0f;
            submode = PED_JUMPING_RUNNING;
            BlendToAnim(STEALTH_JUMP_ANI, 3);
            collidestate = FREE;
        } else if (collidestate == TURNING_STATIC_FULL || collidestate == TURNING_STATIC_HALF) {
            StealthMoveTurning(pc);
        } else if (collidestate == BACK_STATIC_FULL || collidestate == BACK_STATIC_HALF) {
            if (!(mode2 == GUNS_IDLE_BEGIN_FIRE_ANI || mode2 == GUNS_IDLE_RESTART_FIRE_ANI || In(mode2, 311, 312) ||
                  In(mode2, 327, 328))) {
                if (pad & kWallHeld) {
                    if (collidestate == BACK_STATIC_FULL)
                        StealthMoveBackFull(pc);
                    else
                        StealthMoveBackHalf(pc);
                    lookcomfort = UNCOMFORTABLE;
                } else {
                    pushpullframe = frame;
                    collidestate = PULL_STATIC;
                    BlendToAnim(STEALTH_IDLE_ANI, 10);
                    speed = 0.0f;
                }
            }
        } else if (collidestate == PULL_STATIC) {
            if (frame > pushpullframe + 10.0f)
                collidestate = FREE;
            speed = 0.0f;
        }
    }

    // 6. A disarm in progress.
    if (mode2 == STEALTH_GRAPPLE_DISARM_START_ANI || mode2 == STEALTH_GRAPPLE_DISARM_K_START_ANI ||
        mode2 == STEALTH_GRAPPLE_DISARM_P_START_ANI) {
        if (target != nullptr) {
            const VectorDir to = VectorDir(target->GetRoot()->GetWorldPos() - GetWorldPos());
            if (to.LengthSq() < 2.44141f)
                TurnToward(to, 0.2617994f * world.playbackSpeed);
        }
    } else if (mode2 == STEALTH_GRAPPLE_DISARM_IDLE_ANI || mode2 == STEALTH_GRAPPLE_DISARM_BACK_ANI) {
        if (pad & kGrappleHit) {
            SetAnim(STEALTH_GRAPPLE_DISARM_DROP_ANI);
            if (target != nullptr)
                SendEvent(SMSG_RELEASED, target.p);
        } else if (speed != 0.0f) {
            collidestate = FREE;
            if (mode2 == STEALTH_GRAPPLE_DISARM_IDLE_ANI) {
                BlendToAnim(STEALTH_GRAPPLE_DISARM_BACK_ANI, 3);
                if (target != nullptr)
                    SendEvent(SMSG_SHIELD_ANIM, target.p);
            }
            WalkTo(Normalise(pc.wdir), 0.08726646f);
        }
    }

    // 7.
    if (speed == 0.0f) {
        idle++;
        if (idle == 1 && !IsWarning(mode2) && !IsAttack(mode2) && !IsAirborne(mode2) && !IsDisarm(mode2)) {
            if (!GoIdle() && !IsIdle(mode2))
                BlendToAnim(STEALTH_IDLE_ANI, 15);
            usercam = false;
        }
    }
    // 8.
    centercamera = (pad & kCentreHeld) != 0;

    // 9. Falling and landing.
    Object* ref = FindSubObject(31);
    if (IsInAir(mode2)) {
        const float fall = 0.000851562f * float(u32(world.time) - jumptime) * world.playbackSpeed;
        const VectorPos p = mat.GetTrans();
        mat.SetTrans(VectorPos(p[0], p[1] + fall, p[2]));
        const VectorPos at = ref != nullptr ? ref->GetWorldPos() : GetWorldPos();
        UpdateGroundAndLandableHeight(at, nullptr, &ghc);
        if (jumptime != Never && u32(world.time) - jumptime >= 8 && (groundy <= at[1] || groundobj != nullptr)) {
            flags &= ~0x20000u;
            BlendToAnim(STEALTH_JUMP_LAND_ANI, 2);
            jumpframe = UnsetFrame;
            droptime = jumptime = Never;
        }
    } else if (jumpframe != UnsetFrame && frame - jumpframe < 7.0f) {
        UpdateGroundAndLandableHeight(GetWorldPos(), nullptr, &ghc);
        const VectorPos p = mat.GetTrans();
        if (groundy < 0.0f && groundy < p[1] + 0.0625f)
            mat.SetTrans(VectorPos(p[0], groundy - (ref != nullptr ? ref->mat.GetTrans()[1] : 0.0f), p[2]));
    } else if (collidestate == FREE) {
        PedestrianCheckForFall();
    }

    // 10. Walls.
    const bool blendingdisarm = IsDisarm(blendmode2) && blendmode2 != mode2;
    if (!(flags & 0x60000000u) && !IsStealthJump(mode2) && !blendingdisarm) {
        if (collidestate == FREE || collidestate == PUSH_STATIC) {
            StealthCheckForWallSplineEntry(pc);
        } else if (collidestate == BACK_STATIC_FULL || collidestate == BACK_STATIC_HALF) {
            bool on = UpdateWallSpline();
            if (!on) {
                CheckSpline c;
                if (CheckForSplineEntry(&c, 0.1875f)) {
                    const bool crouch = c.c != 0;
                    if (crouch != collideheightcrouch)
                        BlendToAnim(collideheightcrouch ? GetFullHeightAnim(mode2) : GetHalfHeightAnim(mode2), 10);
                    collbezier = c.b;
                    collspline = c.s;
                    collsplinet = c.t;
                    collideobjindex = c.i;
                    collideheightcrouch = crouch;
                    collidestate = crouch ? BACK_STATIC_HALF : BACK_STATIC_FULL;
                    backmat = WallBackMatrix(c.b, c.t);
                    on = UpdateWallSpline();
                } else {
                    collidestate = FREE;
                    collspline = nullptr;
                    BlendToAnim(STEALTH_IDLE_ANI, 5);
                }
            }
            if (on)
                HoldToWall(0.05235988f);
        }
    }

    // 11.
    Animate();
}

// Standing off the wall by the kept distance, turning the back to it.
void Dace::HoldToWall(float rate)
{
    VectorDir dir;
    const VectorXYZ q = collbezier.CalcParams(GetWorldPos(), dir);
    const VectorPos p = mat.GetTrans();
    mat.SetTrans(p + collideperp * (collbezparams[0] - q[0]));
    TurnToward(collideperp, rate * world.playbackSpeed);
}

Matrix Dace::WallBackMatrix(const Bezier& b, float t)
{
    VectorXYZ across = VectorXYZ(b.EvaluateTangent(t - FloorF(t))) ^ kUp;
    across[1] = 0.0f;
    return LookAlong(VectorDir(Normalise(across)));
}

void Dace::StealthMoveFree(PlayerController& pc)
{
    if (IsHit(mode2) || IsAirborne(mode2)) {
        speed = 0.0f;
        return;
    }
    speed = Length(VectorXYZ(pc.cdir));
    if (pc.pad & kJumpHit) {
        BlendToAnim(STEALTH_JUMP_ANI, 1);
        submode = PED_JUMPING_STANDING;
    } else if (speed != 0.0f) {
        WalkTo(Normalise(pc.wdir), 0.08726646f);
    }
}

bool Dace::StealthCheckForWallSplineEntry(PlayerController& pc)
{
    if (collidestate == PUSH_STATIC) {
        if (frame - pushpullframe <= 1.0f)
            return true;
        Object* guard = FindNearestObject(GetWorldPos(), 1, 0xD0000000u);
        target = guard;
        float side = 1.0f;
        if (guard != nullptr) {
            const VectorDir to = Normalise(VectorDir(guard->GetWorldPos() - GetWorldPos()));
            side = (VectorXYZ(backmat.z.xyz()) ^ VectorXYZ(to))[1];
        }
        if (collideheightcrouch) {
            collidestate = TURNING_STATIC_HALF;
            BlendToAnim(side > 0.0f ? STEALTH_HWALL_IDLE_L_ANI : STEALTH_HWALL_IDLE_R_ANI, 20);
        } else {
            collidestate = TURNING_STATIC_FULL;
            BlendToAnim(side > 0.0f ? STEALTH_FWALL_IDLE_L_ANI : STEALTH_FWALL_IDLE_R_ANI, 20);
        }
        idle = 1;
        collideturntime = u32(world.time + 20);
        return true;
    }
    if (collidestate != FREE || In(mode2, 129, 137) || In(mode2, 286, 293) || IsDisarm(mode2) ||
        !(pc.pad & kWallHeld))
        return false;
    CheckSpline c;
    if (!CheckForSplineEntry(&c, 0.0f))
        return false;
    collbezier = c.b;
    const Matrix w = GetWorldMatrix();
    VectorDir dir;
    const VectorPos ahead = w.GetTrans() + VectorDir(w.z.xyz()) * 0.0625f;
    if (collbezier.CalcParams(ahead, dir)[0] > -0.09375f) {
        collideheightcrouch = c.c != 0;
        collspline = c.s;
        collideobjindex = c.i;
        collsplinet = c.t;
        pushpullframe = frame;
        collidestate = PUSH_STATIC;
        backmat = WallBackMatrix(c.b, c.t);
    }
    return true;
}

void Dace::StealthMoveTurning(PlayerController&)
{
    TurnToward(VectorDir(backmat.z.xyz()), 0.20943952f * world.playbackSpeed);
    if (biproot != nullptr) {
        VectorDir f(biproot->mat.z.xyz());
        f[1] = 0.0f;
        if (f.LengthSq() > 0.0f) {
            const VectorPos at = biproot->mat.GetTrans();
            biproot->mat = LookAlong(Normalise(f));
            biproot->mat.SetTrans(at);
        }
    }
    if (UpdateWallSpline()) {
        const VectorPos p = mat.GetTrans();
        VectorDir dir;
        const VectorXYZ q = collbezier.CalcParams(p, dir);
        VectorPos to = p + collideperp * (collbezparams[0] - q[0]);
        mat.SetTrans(VectorPos(to[0], collbezparams[1], to[2]));
    }
    if (u32(world.time) > collideturntime) {
        if (collidestate == TURNING_STATIC_FULL)
            collidestate = BACK_STATIC_FULL;
        else if (collidestate == TURNING_STATIC_HALF)
            collidestate = BACK_STATIC_HALF;
    }
}

void Dace::StealthMoveBack(PlayerController& pc, bool half)
{
    const u16 idleL = half ? STEALTH_HWALL_IDLE_L_ANI : STEALTH_FWALL_IDLE_L_ANI;
    const u16 idleR = half ? STEALTH_HWALL_IDLE_R_ANI : STEALTH_FWALL_IDLE_R_ANI;
    const u16 walkL = half ? STEALTH_HWALL_WALK_L_ANI : STEALTH_FWALL_WALK_L_ANI;
    const u16 walkR = half ? STEALTH_HWALL_WALK_R_ANI : STEALTH_FWALL_WALK_R_ANI;
    auto stop = [&] {
        u16 to;
        if (mode2 == walkL)
            to = idleL;
        else if (mode2 == walkR)
            to = idleR;
        else if (mode2 == idleL || mode2 == idleR)
            return;
        else
            to = (u32(rand()) >> 30) & 1 ? idleL : idleR;
        BlendToAnim(to, 5);
    };
    if (std::max(std::fabs(pc.cdir[0]), std::fabs(pc.cdir[2])) < 0.75f) {
        stop();
        speed = 0.0f;
        return;
    }
    speed = Length(VectorXYZ(pc.cdir));
    const float a = pc.ldir.LengthSq() > 0.0f ? Heading(pc.ldir) : 0.0f;
    if (a < -2.9670599f) {
        stop();
    } else if (a < -1.0471976f) {
        if (mode2 != walkL)
            BlendToAnim(walkL, 5);
    } else if (a < 2.9670599f) {
        if (mode2 != walkR)
            BlendToAnim(walkR, 5);
    }
}

void Dace::StealthMoveBackFull(PlayerController& pc) { StealthMoveBack(pc, false); }
void Dace::StealthMoveBackHalf(PlayerController& pc) { StealthMoveBack(pc, true); }
