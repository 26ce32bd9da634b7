// The firing range's targets: pop-up and moving figures that run in waves
// and fall to five hits or one exact shot, and the no-shoot figures that
// come up beside them.
#include "game/GameFEnt.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/QuadTree.h"
#include "game/ShotEffects.h"
#include "game/explosn.h"

VectorDir FrangeHeadOffset(0.0f, -0.12f, 0.0f);
VectorDir FrangeRHandOffset(0.11f, 0.0f, 0.0f);
VectorDir FrangeLHandOffset(-0.11f, 0.0f, 0.0f);
VectorDir FrangeRFootOffset(0.0f, 0.1f, 0.0f);
VectorDir FrangeLFootOffset(0.0f, 0.1f, 0.0f);

namespace {

constexpr u32 kHiddenNoCollision = OBJF_HIDDEN | OBJF_NOCOLLISION;
constexpr u32 kShootable = 0x20;
constexpr s16 kTargetId = -121;
constexpr s16 kInnocentId = -200;
constexpr float kAboveRange = -32.4f;
constexpr float kTVelScale = 0.0023283f;
constexpr float kPopHeight = 0.8f;
constexpr float kExactSq = 0.0625f * 0.0625f;
constexpr int kDownHits = 5;
constexpr int kHoleSlot = 149;
constexpr int kHoleLife = 5000;
enum { T_IDLE, T_RUN, T_PAUSE, T_LEAVE, T_DONE };
enum { R_STILL, R_TILT, R_OVER, R_SPIN };
enum { I_HIDDEN, I_RISING, I_UP, I_LOWERING };

u16 Now16()
{
    return u16(ModeNow() & 0xFFFF);
}

float Speed()
{
    return world.playbackSpeed;
}

void MoveY(Object* o, float dy)
{
    VectorPos p = o->mat.GetTrans();
    p[1] += dy;
    o->mat.SetTrans(p);
}

float Ease(float from, float to, float rate)
{
    return from + (to - from) * std::min(rate, 1.0f);
}

bool Near(VectorPos a, VectorPos b)
{
    const VectorDir d = a - b;
    return Dot(d, d) < kExactSq;
}

}  // namespace

// ---------------------------------------------------------------------------
// Moving and pop-up targets

int TargetMoving::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<TargetMoving>();
    return static_cast<TargetMoving*>(o)->mh(msg, data);
}

// The range's controller, when the event object is one: the gun course
// shares the events but not these fields.
FRangeMissionController* TargetMoving::Range() const
{
    return gameeventobj != nullptr && gameeventobj->messagehandler == &FRangeMissionController::staticmh
               ? static_cast<FRangeMissionController*>(gameeventobj)
               : nullptr;
}

void TargetMoving::SetState(int s)
{
    state = s;
    stateFrame = Now16();
}

void TargetMoving::Activate()
{
    const int wave = bIsMoving ? (ptmp != nullptr ? ptmp->wave : 0) : (ptsp != nullptr ? ptsp->wave : 0);
    if (wave - 1 != round)
        return;
    flags = (flags & ~kHiddenNoCollision) | kShootable;
    SetState(T_RUN);
    if (FRangeMissionController* r = Range())
        r->waveObjects++;
    if (bIsMoving) {
        if (pSpline != nullptr)
            mat.SetTrans(VectorPos(pSpline->Evaluate(0.0f).v));
    } else {
        MoveY(this, -kPopHeight);
    }
    fLastT = 0.0f;
    fNextKnot = 1.0f;
}

void TargetMoving::Turn()
{
    const float pb = Speed();
    switch (bRecoil) {
    case R_TILT:
        fRotation = Ease(fRotation, 0.5236f, 0.8f * pb);
        if (u16(Now16() - recoilFrame) > 10)
            bRecoil = R_STILL;
        break;
    case R_OVER: fRotation = Ease(fRotation, 3.14159265f, 0.2f * pb); break;
    case R_SPIN: fRotation = Ease(fRotation, 31.4159f, 0.2f * pb); break;
    default: fRotation = Ease(fRotation, 0.0f, 0.4f * pb); break;
    }
    const VectorPos p = mat.GetTrans();
    const float a = std::fmod(fRotation, 6.2831853f);
    const float ang = a > 3.14159265f ? a - 6.2831853f : a;
    mat = bRecoil == R_TILT || bRecoil == R_STILL ? RotX(ang) : RotY(ang);
    mat.SetTrans(p);
}

void TargetMoving::Frame()
{
    const float pb = Speed();
    const u16 elapsed = u16(Now16() - stateFrame);
    switch (state) {
    case T_IDLE:
        // Down until a game starts: a target up before the range that
        // counts it would leave its wave's count short, and the wave (and
        // with it the round) would never end.
        if (gameeventobj == nullptr)
            break;
        if (FRangeMissionController* r = Range())
            round = r->stats.wave;
        if (numHits == 0)
            Activate();
        break;
    case T_RUN:
        if (bIsMoving) {
            const int n = pSpline != nullptr ? pSpline->NumSplines() : 0;
            if (n == 0) {
                SetState(T_DONE);
                flags |= kHiddenNoCollision;
                break;
            }
            const VectorDir tan = pSpline->Tangent(fLastT);
            const float len = std::sqrt(Dot(tan, tan));
            fLastTVel = len > 0.0f ? fSpeed * kTVelScale / len : 0.0f;
            float step = fLastTVel * pb;
            const bool high = mat.GetTrans()[1] < kAboveRange;
            if (high) {
                step *= 2.0f;
                flags &= ~kShootable;
            } else {
                flags |= kShootable;
            }
            fLastT += step;
            if (fLastT >= float(n)) {
                SetState(T_DONE);
                flags |= kHiddenNoCollision;
                break;
            }
            mat.SetTrans(VectorPos(pSpline->Evaluate(fLastT).v));
            if (fLastT >= fNextKnot) {
                fNextKnot += 1.0f;
                if (mat.GetTrans()[1] >= kAboveRange)
                    SetState(T_PAUSE);
            }
        } else {
            MoveY(this, 0.01f * pb);
            fLastT += 0.01f * pb;
            if (fLastT >= kPopHeight)
                SetState(T_PAUSE);
        }
        break;
    case T_PAUSE:
        if (float(elapsed) > fDelay)
            SetState(bIsMoving ? T_RUN : T_LEAVE);
        break;
    case T_LEAVE:
        if (!bIsMoving && elapsed >= 6 && elapsed <= 20)
            MoveY(this, -0.05f * pb);
        if (elapsed >= 21) {
            flags &= ~kShootable;
            if (bIsMoving && pSpline != nullptr) {
                const int n = pSpline->NumSplines();
                fLastT = float(n - 2);
                fNextKnot = float(n - 1);
            }
            SetState(T_DONE);
        }
        break;
    case T_DONE:
        SendSpecial(gameeventobj, SMSG_EV_TARGET_DONE, this);
        SetState(T_IDLE);
        flags |= kHiddenNoCollision;
        break;
    default:
        break;
    }
    Turn();
}

void TargetMoving::BulletHit(const SpecialMessage& m)
{
    if (state == T_LEAVE || state == T_DONE || state == T_IDLE || !(flags & kShootable))
        return;
    const VectorPos* at = m.param[0];
    const VectorDir* normal = m.param[1];
    const bool precise = int(m.param[3]) != 0;
    if (at != nullptr && normal != nullptr) {
        MDLFILE* holes = g_GlobalMFI.GetMF(kHoleSlot, false);
        if (holes != nullptr && holes->HasData())
            CreateHole(this, LookFromMatrix(*at, VectorDir(-*normal)), holes, 0, kHoleLife);
    }
    if (bRecoil == R_STILL) {
        bRecoil = R_TILT;
        recoilFrame = Now16();
    }
    numHits++;
    Object* centre = FindSubObject(20);
    if (precise && at != nullptr && centre != nullptr) {
        const Matrix w = centre->GetWorldMatrix();
        auto point = [&](VectorDir off) { return VectorPos(w * VectorPos(off)); };
        if (Near(*at, point(FrangeHeadOffset))) {
            if (g_pgcTest != nullptr)
                g_pgcTest->ScreenFlash(18.0f, Colour(128, 0, 0, 128));
            bRecoil = R_SPIN;
            numHits = kDownHits;
            if (FRangeMissionController* r = Range())
                r->stats.numBullseyes++;
            Explode2(this);
            AddScreenText("HEAD SHOT!", STP_CENTER);
        } else if (Near(*at, point(FrangeLHandOffset)) || Near(*at, point(FrangeRHandOffset)) ||
                   Near(*at, point(FrangeLFootOffset))) {
            if (g_pgcTest != nullptr)
                g_pgcTest->ScreenFlash(18.0f, Colour(128, 128, 128, 128));
            bRecoil = R_SPIN;
            numHits = kDownHits;
            AddScreenText("NEUTRALIZING SHOT!", STP_CENTER);
        }
    }
    const bool down = numHits >= kDownHits;
    SendSpecial(gameeventobj, SMSG_EV_TARGET_DOWN, this, down ? 1 : 0);
    if (down) {
        if (bRecoil == R_TILT)
            bRecoil = R_OVER;
        SetState(T_LEAVE);
    }
}

int TargetMoving::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL | kHiddenNoCollision;
        type = OBJT_DYNAMIC;
        id = kTargetId;
        fLastT = -1.0f;
        fLastTVel = 0.0f;
        if (bIsMoving) {
            fSpeed = ptmp != nullptr ? ptmp->speed : 0.0f;
            fDelay = ptmp != nullptr ? ptmp->delay * 60.0f : 0.0f;
        } else {
            fDelay = ptsp != nullptr ? ptsp->delay * 60.0f : 0.0f;
        }
        round = state = 0;
        numHits = bRecoil = 0;
        fRotation = 0.0f;
        fNextKnot = 1.0f;
        stateFrame = recoilFrame = Now16();
        return 0;
    case OM_FRAME:
        Frame();
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        free(pSpline);
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_MODE_START:
        gameeventobj = m.obj;
        if (FRangeMissionController* r = Range())
            r->stats.numTargets = r->stats.numTargets < 0 ? 1 : r->stats.numTargets + 1;
        // A start that names no game (a scene's) brings no target up.
        if (state == T_IDLE && gameeventobj != nullptr)
            Activate();
        return 0;
    case SMSG_MODE_FINISHED:
        if (state == T_RUN || state == T_PAUSE)
            SetState(T_LEAVE);
        return 0;
    case SMSG_BULLET_HIT:
        BulletHit(m);
        return 0;
    case SMSG_Q_RETICLE_POS: {
        VectorPos* out = m.param[0];
        if (out == nullptr)
            return 1;
        switch (int(m.param[1])) {
        case 0: *out = VectorPos(FrangeLHandOffset); break;
        case 1: *out = VectorPos(FrangeRHandOffset); break;
        case 6: *out = VectorPos(FrangeLFootOffset); break;
        case 7: *out = VectorPos(FrangeRFootOffset); break;
        case 15: *out = VectorPos(FrangeHeadOffset); break;
        default: *out = VectorPos(0.0f, 0.0f, 0.0f); break;
        }
        return 1;
    }
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// No-shoot targets

int TargetInnocent::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<TargetInnocent>();
    return static_cast<TargetInnocent*>(o)->mh(msg, data);
}

void TargetInnocent::SetState(int s)
{
    state = s;
    stateFrame = Now16();
}

int TargetInnocent::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL | OBJF_NOCOLLISION;
        id = kInnocentId;
        type = OBJT_STATIC;
        fDelay = ptip != nullptr ? ptip->delay * 60.0f : 0.0f;
        SetState(I_HIDDEN);
        pMovingTarget = world.objectlist.Find(kTargetId);
        return 0;
    case OM_FRAME: {
        const float pb = Speed();
        const u16 elapsed = u16(Now16() - stateFrame);
        switch (state) {
        case I_HIDDEN: {
            const float reach = ptip != nullptr ? ptip->proximity * 0.3125f : 0.0f;
            const VectorPos here = GetWorldPos();
            for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
                Object* o = l->data;
                if (o->IsDead() || o->type != OBJT_DYNAMIC || o->id != kTargetId || (o->flags & OBJF_HIDDEN))
                    continue;
                VectorDir d = o->GetWorldPos() - here;
                d[1] = 0.0f;
                if (Dot(d, d) < reach * reach) {
                    pMovingTarget = o;
                    SetState(I_RISING);
                    flags &= ~OBJF_NOCOLLISION;
                    flags &= ~OBJF_HIDDEN;
                    break;
                }
            }
            break;
        }
        case I_RISING:
            MoveY(this, 0.025f * pb);
            if (elapsed >= 30)
                SetState(I_UP);
            break;
        case I_UP:
            flags |= kShootable;
            if (float(elapsed) > fDelay)
                SetState(I_LOWERING);
            break;
        case I_LOWERING:
            flags &= ~kShootable;
            MoveY(this, -0.025f * pb);
            if (elapsed >= 30) {
                SetState(I_HIDDEN);
                flags |= OBJF_HIDDEN;
            }
            break;
        default:
            break;
        }
        return 0;
    }
    case OM_SPECIAL: {
        const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
        if (m.submsg == SMSG_MODE_START) {
            gameeventobj = m.obj;
        } else if (m.submsg == SMSG_BULLET_HIT && state == I_UP) {
            SetState(I_LOWERING);
            if (g_pgcTest != nullptr)
                g_pgcTest->ScreenFlash(18.0f, Colour(0, 128, 0, 128));
            SendSpecial(gameeventobj, SMSG_EV_INNOCENT_HIT, this);
        }
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}
