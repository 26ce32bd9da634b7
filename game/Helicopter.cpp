// The gunship of the night escape.
#include "game/Helicopter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ZevEngine2/PS2/Sound.h"
#include "game/BadGuy.h"
#include "game/BadGuyAnims.h"
#include "game/GameEvents.h"
#include "game/LevelEntity.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Road.h"

namespace {

constexpr u32 kStartFlags = 0x10020;
constexpr u32 kCollisionMask = 0x500;
constexpr float kBulletDamage = 5.0f;
constexpr float kInvulnerable = 1000.0f;
constexpr float kRingTolerance = 0.001f;
constexpr float kSpotRadiusSq = 100.0f;             // 10 units
constexpr float kMaxSpeedSq = 0.0542114f;
constexpr u32 kDownedTimer = 15;
constexpr int kDownedTimerData = 100;
constexpr int kGunnerNode = 0x8000;
// The hover spots' placeholders and how far above each the helicopter holds
// (y points down).
constexpr int kSpotIds[Helicopter::kHoverSpots] = {-600, -601, -602};
constexpr float kSpotRaise[Helicopter::kHoverSpots] = {-1.09375f, -0.46875f, 0.0f};
// Where a gun aims at it, in its own frame.
const VectorPos kReticle(0.0f, -0.78125f, 0.0f);

float HorizontalDistSq(const VectorPos& a, const VectorPos& b)
{
    const float dx = a[0] - b[0], dz = a[2] - b[2];
    return dx * dx + dz * dz;
}

// The rotor's rotation rows from r, its place kept.
void Spin(Object* rotor, const Matrix& r)
{
    if (rotor == nullptr)
        return;
    rotor->mat.x = r.x;
    rotor->mat.y = r.y;
    rotor->mat.z = r.z;
}

}  // namespace

int Helicopter::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<Helicopter>();
    return static_cast<Helicopter*>(o)->mh(msg, data);
}

int Helicopter_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return Helicopter::staticmh(obj, msg, data);
}

int Helicopter::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        Frame();
        return 0;
    case OM_SPECIAL:
        return Special(static_cast<SpecialMessage*>(data));
    case OM_DIE:
        if (iSound >= 0) {
            sound.Stop(iSound);
            sound.FreeChannel(iSound);
        }
        delete this;
        return -1;
    default:
        // Its timer (armed when it is downed) and collisions ask nothing of it.
        return 0;
    }
}

void Helicopter::Init()
{
    flags |= kStartFlags;
    type = OBJT_DYNAMIC;
    mode = HM_FOLLOWING;
    vdVel = VectorDir(0.0f, 0.0f, 0.0f);
    vdVel[3] = 1.0f;
    fStrength = 100.0f;
    iSound = -1;
    ModifyCollisionMaskHierarchy(kCollisionMask, 0);
    pobjMainBlade = FindSubObject(0);
    pobjTailBlade = FindSubObject(1);
    for (int i = 0; i < kHoverSpots; i++) {
        rvpPHLocs[i] = VectorPos(0.0f, 0.0f, 0.0f);
        if (Object* ph = world.FindPlaceholder(kSpotIds[i])) {
            rvpPHLocs[i] = ph->GetWorldPos();
            rvpPHLocs[i][1] += kSpotRaise[i];
        }
    }
}

float Helicopter::GetDesiredHeight()
{
    const VectorPos pos = mat.GetTrans();
    const float ground = world.GroundHeight(pos, nullptr, &ghc);
    const float player = dace != nullptr ? dace->GetWorldPos()[1] : ground;
    for (const VectorPos& spot : rvpPHLocs)
        if (HorizontalDistSq(spot, pos) < kSpotRadiusSq)
            return spot[1];
    return std::min(ground, player) - kAboveGround;
}

void Helicopter::Frame()
{
    fMainBladeAng = FixAng(fMainBladeAng + kRotorStep);
    fTailBladeAng = FixAng(fTailBladeAng + kRotorStep);
    Spin(pobjMainBlade, RotY(fMainBladeAng));
    Spin(pobjTailBlade, RotX(fTailBladeAng));
    if (mode != HM_FOLLOWING || dace == nullptr)
        return;

    const VectorPos player = dace->GetWorldPos();
    VectorPos pos = mat.GetTrans();
    const float h = GetDesiredHeight();
    float g[3] = {player[0] - pos[0], player[1] - pos[1], player[2] - pos[2]};
    const float l = std::sqrt(g[0] * g[0] + g[2] * g[2]);
    // Toward the ring around the player, not onto him.  Right over him (as
    // when made at his spot) there is no way toward him: it backs away
    // along its own heading (the world's x when it looks straight down).
    float toRing = std::fabs(l - kRing) > kRingTolerance ? (l - kRing) / l : 0.0f;
    if (l < kRingTolerance) {
        const float fx = mat.z[0], fz = mat.z[2], fl = std::sqrt(fx * fx + fz * fz);
        g[0] = fl > kRingTolerance ? fx / fl : 1.0f;
        g[2] = fl > kRingTolerance ? fz / fl : 0.0f;
        toRing = -kRing;
    }
    g[0] *= toRing;
    g[2] *= toRing;
    g[1] = std::clamp(h - pos[1], -kMaxClimb, kMaxClimb);
    const float pull[3] = {0.05f, 0.0125f, 0.05f};
    const float damp[3] = {0.125f, 0.25f, 0.125f};
    for (int i = 0; i < 3; i++)
        vdVel[i] += g[i] * pull[i] - vdVel[i] * damp[i];
    const float speedSq = vdVel.LengthSq();
    if (speedSq > kMaxSpeedSq) {
        const float s = kMaxSpeed / std::sqrt(speedSq);
        for (int i = 0; i < 3; i++)
            vdVel[i] *= s;
    }
    for (int i = 0; i < 3; i++)
        pos[i] += vdVel[i];
    mat = LookatMatrix(pos, player);
    mat.SetTrans(pos);
}

int Helicopter::Special(SpecialMessage* m)
{
    switch (m->submsg) {
    case SMSG_BULLET_HIT:
        if (fStrength == 0.0f || fStrength >= kInvulnerable)
            return 0;
        fStrength = std::max(0.0f, fStrength - kBulletDamage);
        if (fStrength == 0.0f) {
            mode = HM_DOWNED;
            world.SetTimer(this, AnimTime(kDownedTimer << 8), reinterpret_cast<void*>(intptr_t(kDownedTimerData)));
        }
        return -1;
    case SMSG_Q_RETICLE_POS: {
        VectorPos* out = m->param[0];
        if (out != nullptr)
            *out = kReticle;
        return 1;
    }
    default:
        return 0;
    }
}

int AttachEnemyToHelicopter(Enemy* enemy, Object* pobjCopter, int iAttachNum, bool)
{
    if (enemy == nullptr || pobjCopter == nullptr)
        return 0;
    enemy->behavior = Enemy::STATIONARY_COPTER;
    enemy->Start_Shoot_Patrol();
    enemy->SetAnim(u16(BadGuyAnims::GUN_COPTER_IDLE_R_ANI), -1, -1);
    enemy->target = dace;
    enemy->targetspotted = true;
    // Moved off his list onto the seat; a model without the seat leaves him
    // where he stands.
    if (NODE* seat = pobjCopter->FindNode(kGunnerNode | (iAttachNum & 0x7FF))) {
        enemy->Detach();
        pobjCopter->Attach(enemy, seat);
    }
    return 0;
}
