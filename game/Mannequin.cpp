// The mannequin: a shooting-practice figure that glides in (or swings its
// torso up), turns to the player, raises its gun arm and lobs tennis balls
// at him at a steady beat until its strength is shot away.
#include "game/Mannequin.h"

#include <cmath>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr u32 kShootable = 0x20;
constexpr u32 kBeaten = 0x40000000;
constexpr int kMuzzle = 0x8000;
constexpr int kBallSlot = 195;
constexpr u16 kBallNode = 6003;
constexpr int kBallLife = 80;
constexpr float kGlideStep = 0.02f;   // of the arrival path a frame: 50 frames
enum { M_ARRIVE, M_FIRE, M_DOWN };

Name nameMannequin("Mannequin", int(reinterpret_cast<intptr_t>(&Mannequin::Mannequin_mh)));

u16 Now16()
{
    return u16(ModeNow() & 0xFFFF);
}

// The sub-object's axes become RotX(a)'s; its place stays.
void SetAngle(Object* o, float a)
{
    if (o == nullptr)
        return;
    const Matrix r = RotX(a);
    o->mat.x = r.x;
    o->mat.y = r.y;
    o->mat.z = r.z;
}

}  // namespace

int Mannequin::Mannequin_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewCreatureReply<Mannequin>(Mannequin_mh);
    return static_cast<Mannequin*>(o)->mh(msg, data);
}

void Mannequin::Restart()
{
    stateFrame = Now16();
}

void Mannequin::BulletHit(Object* bullet)
{
    const float s = bullet != nullptr ? static_cast<Bullet*>(bullet)->GetStrength() : 0.0f;
    if (s < strength) {
        strength -= s;
    } else {
        state = M_DOWN;
        Restart();
        flags = (flags & ~kShootable) | kBeaten | OBJF_NOCOLLISION;
        strength = 0.0f;
        if (g_pgcTest != nullptr)
            g_pgcTest->ScreenFlash(18.0f, Colour(128, 0, 0, 128));
    }
    SendSpecial(gameeventobj, SMSG_EV_TARGET_DOWN, this, 0);
}

void Mannequin::Fire(float a)
{
    fArmAngle = a;
    SetAngle(pArm, a);
    NODE* muzzle = nullptr;
    Object* holder = pArm->FindNodeHierarchy(kMuzzle, muzzle);
    MDLFILE* balls = g_GlobalMFI.GetMF(kBallSlot, false);
    const NODE* ball = balls != nullptr && balls->HasData() ? balls->FindNodeById1(0, kBallNode) : nullptr;
    // Without its muzzle or its ball the shot waits: it is tried again next
    // frame.
    if (holder == nullptr || muzzle == nullptr || ball == nullptr)
        return;
    const Matrix armWorld = pArm->GetWorldMatrix();
    Matrix shot = LookatMatrix(pArm->GetWorldPos(), pTarget->GetWorldPos());
    shot.SetTrans(VectorPos(holder->GetWorldMatrix() * muzzle->Pos()));
    Weapon weapon = gWeapons[WEAP_TENNISBALL];
    ShootBullet(shot, VectorDir(0.0f, 0.0f, 0.0f), balls, unsigned(ball - balls->nodes), &weapon,
                id, kBallLife, false);
    Restart();
}

void Mannequin::Frame()
{
    const u16 elapsed = u16(Now16() - stateFrame);
    switch (state) {
    case M_ARRIVE:
        if (arrivepath != nullptr) {
            mat.SetTrans(VectorPos(arrivepath->Evaluate(fCurPathT).v));
            if (fCurPathT >= 1.0f) {
                state = M_FIRE;
                Restart();
            } else {
                // Fifty steps of a fiftieth: the sum's rounding must not
                // leave it a hair short of the end, a step too many.
                fCurPathT += kGlideStep;
                if (fCurPathT > 1.0f - kGlideStep * 0.5f)
                    fCurPathT = 1.0f;
            }
        } else {
            fTorsoAngle = kHalfPi;
            SetAngle(pTorso, kHalfPi);
            state = M_FIRE;
            Restart();
        }
        break;
    case M_FIRE: {
        if (pTarget == nullptr)
            break;
        if (pTorso != nullptr && fTorsoAngle > 0.1f) {
            fTorsoAngle -= fTorsoAngle * 0.1f;
            SetAngle(pTorso, fTorsoAngle);
            break;
        }
        if (pArm == nullptr)
            break;
        const VectorPos from = pArm->GetWorldPos();
        VectorDir u = pTarget->GetWorldPos() - from;
        VectorDir flat(u[0], 0.0f, u[2]);
        const float fl = std::sqrt(Dot(flat, flat));
        if (fl > 0.0f)
            TurnToward(VectorDir(flat * (1.0f / fl)), 0.2f * world.playbackSpeed);
        const float len = std::sqrt(Dot(u, u));
        if (len <= 0.0f)
            break;
        const float a = kHalfPi - std::asin(std::clamp(u[1] / len, -1.0f, 1.0f));
        if (std::fabs(fArmAngle - a) > 0.1f) {
            fArmAngle += (a - fArmAngle) * 0.1f;
            SetAngle(pArm, fArmAngle);
            break;
        }
        if (elapsed > 30 + int(floor(aggro * 30.0f)))
            Fire(a);
        break;
    }
    case M_DOWN:
        if (fArmAngle > 0.0f) {
            fArmAngle -= fArmAngle * 0.1f;
            SetAngle(pArm, fArmAngle);
        }
        if (arrivepath != nullptr) {
            mat.SetTrans(VectorPos(arrivepath->Evaluate(fCurPathT).v));
            fCurPathT = std::max(fCurPathT - 0.04f, 0.0f);
        } else {
            fTorsoAngle += (kHalfPi - fTorsoAngle) * 0.2f;
            SetAngle(pTorso, fTorsoAngle);
        }
        break;
    default:
        break;
    }
}

int Mannequin::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT: {
        flags = (flags & ~OBJF_NOCOLLISION) | OBJF_FRAMECALL | kShootable;
        type = OBJT_DYNAMIC;
        round = state = 0;
        fCurPathT = fTorsoAngle = fArmAngle = 0.0f;
        arrivepath = nullptr;
        stateFrame = recoilFrame = Now16();
        Object* player = world.objectlist.Find(-1);
        if (player == nullptr)
            player = PlayerObject();
        pTarget = player != nullptr ? player->FindSubObject(20) : nullptr;
        pTorso = FindSubObject(1);
        pArm = FindSubObject(2);
        InitialiseChildCollisions();
        return 0;
    }
    case OM_FRAME:
        Frame();
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_MODE_START:
        flags |= kShootable;
        state = M_ARRIVE;
        gameeventobj = m.obj;
        return -1;
    case SMSG_MODE_FINISHED:
        state = M_DOWN;
        Restart();
        return -1;
    case SMSG_BULLET_HIT:
        BulletHit(m.obj);
        return -1;
    case SMSG_Q_RETICLE_POS: {
        VectorPos* out = m.param[0];
        if (out == nullptr)
            return 1;
        switch (int(m.param[1])) {
        case 0: *out = VectorPos(0.1f, 0.0f, 0.0f); break;
        case 1: *out = VectorPos(-0.1f, 0.0f, 0.0f); break;
        case 6: *out = VectorPos(0.05f, 0.15f, 0.0f); break;
        case 7: *out = VectorPos(-0.05f, 0.15f, 0.0f); break;
        case 15: *out = VectorPos(0.0f, -0.2f, 0.0f); break;
        default:
            // The "no point" answer: a position at the origin.
            *out = VectorPos(0.0f, 0.0f, 0.0f);
            break;
        }
        return 1;
    }
    default:
        return 0;
    }
}
