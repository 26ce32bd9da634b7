// The dragon: it hovers on the vertical line through the arena centre,
// rising and sinking, and after most climbs dips its head, breathes flame
// and spits two fireballs at the player; bullets hurt it by a fifth.
#include "game/Mannequin.h"

#include <cmath>
#include <cstdlib>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"
#include "game/smoke.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr u32 kDown = 0x40000000;
constexpr float kLow = -44.0f;
constexpr float kTop = -48.0f;
constexpr float kSinkTo = -46.0f;
constexpr float kSpin = 0.00698132f;
constexpr float kBulletShare = 0.2f;
constexpr int kFireballLife = 80;
constexpr char kFireballFile[] = "KORVALIS\\DemoData\\Misc\\FIREBALL.P2B";
enum { NOSTRIL_R, NOSTRIL_L, MOUTH };
constexpr int kNodes[3] = {0x8064, 0x8065, 0x8066};

Name nameDragonKind("Dragon", int(reinterpret_cast<intptr_t>(&Dragon::Dragon_mh)));

void TurnOwn(Matrix& m, const Matrix& r)
{
    const Vector w = m.w;
    m = r * m;
    m.w = w;
}

}  // namespace

int Dragon::Dragon_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewCreatureReply<Dragon>(Dragon_mh);
    return static_cast<Dragon*>(o)->mh(msg, data);
}

VectorPos Dragon::MouthPos() const
{
    return pMouth != nullptr ? pMouth->Pos() : VectorPos(0.0f, 0.0f, 0.0f);
}

void Dragon::Init()
{
    mat.SetTrans(VectorPos(0.0f, kLow, 0.0f));
    flags = (flags & ~OBJF_NOCOLLISION) | 0x10020;
    strength = 100.0f;
    id = -121;
    InitialiseChildCollisions();
    ModifyCollisionMaskHierarchy(8, 0);
    state = DRAGON_UP;
    NODE** nodes[3] = {&pNostrilR, &pNostrilL, &pMouth};
    for (int i = 0; i < 3; i++)
        pNodeHolder[i] = FindNodeHierarchy(kNodes[i], *nodes[i]);
    pHead = FindSubObject(85);
    pJaw = FindSubObject(86);
    if (pHead != nullptr) {
        for (NODE* n : {pNostrilR, pNostrilL})
            if (n != nullptr)
                Flamer_Create(pHead, n->Pos(), 0.0f, 1.0f, true);
    }
    pmfFireball = LoadWholeModel(kFireballFile);
    frame = float(Animation::Time().t) / 256.0f;
}

void Dragon::Spin(float rate)
{
    TurnOwn(mat, RotY(-rate * world.playbackSpeed));
}

void Dragon::Frame()
{
    AnimateHierarchy(1.0f);
    float y = mat.GetTrans()[1];
    switch (state) {
    case DRAGON_UP:
        Spin(kSpin);
        y -= 0.01f;
        if (y < kTop) {
            if (int((s64(rand()) * 10) >> 31) < 2) {
                state = DRAGON_DOWN;
            } else {
                state = DRAGON_ATTACKING;
                if (pHead != nullptr)
                    Flamer_Create(pHead, VectorPos(MouthPos() + VectorDir(0.0f, -0.3f, 0.0f)), 120.0f, 0.8f, true);
                bCanFire = true;
            }
            stateFrame = frame;
        }
        break;
    case DRAGON_DOWN:
        Spin(kSpin);
        y += 0.01f;
        if (y > kSinkTo) {
            state = DRAGON_UP;
            stateFrame = frame;
        }
        break;
    case DRAGON_ATTACKING: {
        Spin(kSpin * 0.5f);
        const float t = frame - stateFrame;
        if (t > 180.0f) {
            state = DRAGON_DOWN;
            stateFrame = frame;
            break;
        }
        if (t > 85.0f && t < 95.0f) {
            if (bCanFire) {
                Object* player = PlayerObject();
                if (player != nullptr && pHead != nullptr && pmfFireball != nullptr) {
                    const VectorPos from = pHead->GetWorldPos();
                    Matrix m = LookatMatrix(from, player->GetWorldPos());
                    m.SetTrans(from);
                    Weapon weapon = gWeapons[WEAP_FIREBALL];
                    ShootBullet(m, VectorDir(0.0f, 0.0f, 0.0f), pmfFireball, 0, &weapon, id,
                                kFireballLife, false);
                }
                bCanFire = false;
            } else if ((int(floor(t)) - 85) % 8 == 0) {
                bCanFire = true;
            }
        }
        const float s = std::sin(t * kPi / 180.0f);
        if (pHead != nullptr)
            TurnOwn(pHead->mat, RotZ(-kPi / 2.0f * s));
        if (pJaw != nullptr)
            TurnOwn(pJaw->mat, RotY(-kPi / 4.0f * s));
        break;
    }
    case DRAGON_DYING:
        Spin(kSpin);
        y += 0.04f;
        if (y > kLow) {
            state = DRAGON_DEAD;
            SendSpecial(gameeventobj, SMSG_EV_CHARACTER_DIED, this);
        }
        break;
    default:
        break;
    }
    if (state != DRAGON_DEAD)
        mat.SetTrans(VectorPos(0.0f, y, 0.0f));
}

void Dragon::BulletHit(Object* bullet)
{
    const float d = (bullet != nullptr ? static_cast<Bullet*>(bullet)->GetStrength() : 0.0f) * kBulletShare;
    if (d < strength) {
        strength -= d;
        return;
    }
    flags |= kDown | OBJF_NOCOLLISION;
    state = DRAGON_DYING;
    strength = 0.0f;
    if (pHead != nullptr)
        MushroomCloud_Create(pHead, MouthPos(), 2.0f);
}

int Dragon::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        Frame();
        return 0;
    case OM_SPECIAL: {
        const auto& m = *static_cast<SpecialMessage*>(data);
        if (m.submsg == SMSG_MODE_START)
            gameeventobj = m.obj;
        else if (m.submsg == SMSG_BULLET_HIT)
            BulletHit(m.obj);
        return 0;
    }
    case OM_DIE:
        SendSpecial(gameeventobj, SMSG_EV_ENEMY_REMOVED, this);
        if (mdlfile != nullptr)
            g_GlobalMFI.DecrementRef(mdlfile);
        FreeLoadedModel(pmfFireball);
        delete this;
        return -1;
    default:
        return 0;
    }
}
