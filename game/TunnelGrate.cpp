// The tunnel grate and the car lift.
#include "game/TunnelGrate.h"

#include <algorithm>
#include <cstdlib>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/explosn.h"

namespace {

// Characters that are beaten or held take no shoves.
constexpr u32 kBeatenOrHeld = 0x40000000 | 0x10000000;
// Frames the player must be clear of a hazard before it flashes again.
constexpr int kClearFrames = 45;
constexpr float kFlashFrames = 18.0f;
const Colour kFlash(128, 128, 128, 128);

// World units per frame for one unit of a grate's speed.
constexpr float kGrateSpeedScale = 0.0023283f;
constexpr float kGrateShove = 0.0232833f;
constexpr float kGrateDamage = 10.0f;

constexpr float kLiftDrop = 0.3125f;
constexpr float kLiftAccel = 0.0007814063f;
constexpr float kLiftKick = -0.0078125f;     // the start of a fall: a little up first
constexpr float kLiftClimb = -0.001734375f;
constexpr float kLiftShove = 0.0465667f;
enum { LIFT_TOP, LIFT_FALLING, LIFT_BOTTOM, LIFT_CLIMBING };
// Car-bank sounds of the lift.
enum { SND_LIFT_START = 19, SND_LIFT_MOTOR = 20, SND_LIFT_TOP = 21, SND_LIFT_STEP = 22, SND_LIFT_BOTTOM = 23 };

void Flash()
{
    if (g_pgcTest != nullptr)
        g_pgcTest->ScreenFlash(kFlashFrames, kFlash);
}

// A character that is up and whose contact gives a point.
Object* TouchingCharacter(CollisionRecord* cr)
{
    Object* other = cr->HitObj();
    if (other == nullptr || other->type != OBJT_CHARACTER || (other->flags & kBeatenOrHeld) != 0 || !cr->GetInfo())
        return nullptr;
    return other;
}

// A sound of the car bank on a fresh channel placed at at.
void PlayAt(int snd, VectorPos at, float volume = -1.0f)
{
    if (sndbank_car == 0xFFFF)
        return;
    const int ch = sound.AllocChannel(false);
    if (ch < 0)
        return;
    sound.Play(ch, sndbank_car, u16(snd));
    if (volume >= 0.0f)
        sound.SetVolume(ch, volume, 0.0f);
    sound.SetPosition(ch, at);
}

}  // namespace

// ---------------------------------------------------------------------------
// The grate

int TunnelGrate::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<TunnelGrate>();
    return static_cast<TunnelGrate*>(o)->mh(msg, data);
}

int TunnelGrate_mh(Object* o, OBJMESSAGE msg, void* data)
{
    return TunnelGrate::staticmh(o, msg, data);
}

int TunnelGrate::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        fLastTVel = 0.0f;
        fLastT = -1.0f;
        ModifyCollisionMaskHierarchy(0x0101, 0);
        return 0;
    case OM_FRAME: {
        // Without a path it has nowhere to go.
        if (pSpline == nullptr || pSpline->NumSplines() == 0 || ptgp == nullptr) {
            world.StopFrameCall(this);
            return 0;
        }
        const float speed = ptgp->speed * kGrateSpeedScale;
        if (fLastT < 0.0f) {
            pSpline->ClosestPoint(GetWorldPos(), &fLastT);
            const float l = Length(pSpline->Tangent(fLastT));
            fLastTVel = l > 0.0f ? speed / l : 0.0f;
        }
        fLastT += fLastTVel * world.playbackSpeed;
        const VectorDir t = pSpline->Tangent(fLastT);
        const float l = Length(t);
        fLastTVel = l > 0.0f ? speed / l : 0.0f;
        if (l > 0.0f)
            mat = LookAlong(t * (1.0f / l));
        const Vector p = pSpline->Evaluate(fLastT);
        mat.SetTrans(VectorPos(p[0], p[1], p[2]));
        if (fLastT >= float(pSpline->NumSplines())) {
            world.StopFrameCall(this);
            Explode2(this);
        }
        return 0;
    }
    case OM_COLLISION: {
        auto* cr = static_cast<CollisionRecord*>(data);
        Object* other = cr->HitObj();
        if (other == nullptr || other->type != OBJT_CHARACTER || other->GetRoot()->id != -1)
            return 0;
        if (TouchingCharacter(cr) == nullptr)
            return 0;
        VectorDir n(mat.z[0], 0.0f, mat.z[2]);
        if (Length(n) > 0.0f)
            n = Normalise(n);
        if (world.time - iLastTime > kClearFrames) {
            SpecialMessage shove(SMSG_KNOCKBACK, this, n[0] * kGrateShove, 0.2f * kGrateShove, n[2] * kGrateShove);
            other->SendMessage(OM_SPECIAL, &shove);
            SpecialMessage hurt(SMSG_DAMAGE, this, kGrateDamage);
            other->SendMessage(OM_SPECIAL, &hurt);
            Flash();
        }
        iLastTime = world.time;
        return 0;
    }
    case OM_DIE:
        free(pSpline);
        pSpline = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// The car lift

int CarLift::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<CarLift>();
    return static_cast<CarLift*>(o)->mh(msg, data);
}

int CarLift_mh(Object* o, OBJMESSAGE msg, void* data)
{
    return CarLift::staticmh(o, msg, data);
}

int CarLift::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        carliftsfxchan = -1;
        fOrigY = mat.w[1];
        return 0;
    case OM_FRAME:
        switch (mode) {
        case LIFT_TOP:
            fYAccel = kLiftAccel;
            break;
        case LIFT_FALLING:
            fYVel += fYAccel;
            mat.w[1] += std::max(0.0f, fYVel);
            if (mat.w[1] >= fOrigY + kLiftDrop) {
                PlayAt(SND_LIFT_BOTTOM, GetWorldPos(), 2.0f);
                mode = LIFT_BOTTOM;
                mat.w[1] = fOrigY + kLiftDrop;
                iIdleTime = world.time + 180 + rand() % 120;
                fYVel = 0.0f;
                if (Camera* c = GetCurrentCam())
                    c->Shake(true, true);
            }
            break;
        case LIFT_BOTTOM:
            if (world.time >= iIdleTime) {
                PlayAt(SND_LIFT_START, GetWorldPos());
                mode = LIFT_CLIMBING;
                Vehicle::StopSFX(&carliftsfxchan);
                if (sndbank_car != 0xFFFF && (carliftsfxchan = sound.AllocChannel(true)) >= 0) {
                    sound.Play(carliftsfxchan, sndbank_car, SND_LIFT_MOTOR);
                    sound.SetPosition(carliftsfxchan, GetWorldPos());
                }
                fYVel = kLiftClimb;
            }
            break;
        case LIFT_CLIMBING:
            mat.w[1] += fYVel;
            if (mat.w[1] <= fOrigY) {
                PlayAt(SND_LIFT_TOP, GetWorldPos());
                Vehicle::StopSFX(&carliftsfxchan);
                fYVel = 0.0f;
                mat.w[1] = fOrigY;
                mode = LIFT_TOP;
            }
            break;
        default:
            break;
        }
        return 0;
    case OM_COLLISION: {
        Object* other = TouchingCharacter(static_cast<CollisionRecord*>(data));
        if (other == nullptr)
            return 0;
        const VectorPos op = other->GetWorldPos(), lp = GetWorldPos();
        const VectorDir d(op[0] - lp[0], 0.0f, op[2] - lp[2]);
        if (mode == LIFT_TOP) {
            const Matrix om = other->GetWorldMatrix();
            if (om.z[0] * d[0] + om.z[2] * d[2] > 0.0f) {
                mode = LIFT_FALLING;
                fYVel = kLiftKick;
                PlayAt(SND_LIFT_STEP, lp);
                Vehicle::StopSFX(&carliftsfxchan);
            }
        } else if (mode == LIFT_FALLING) {
            const VectorDir n = Length(d) > 0.0f ? Normalise(d) : d;
            SpecialMessage shove(SMSG_KNOCKBACK, this, n[0] * kLiftShove, -2.0f * kLiftShove, n[2] * kLiftShove, 1);
            other->SendMessage(OM_SPECIAL, &shove);
            if (world.time - iLastTime > kClearFrames)
                Flash();
            iLastTime = world.time;
        }
        return 0;
    }
    case OM_DIE:
        Vehicle::StopSFX(&carliftsfxchan);
        delete this;
        return -1;
    default:
        return 0;
    }
}
