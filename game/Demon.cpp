// The demon: hidden above the arena until its stage starts, then it climbs,
// circles the centre on a wobbling orbit, and swoops at the player from in
// front of the camera; bullets wear it down until it tumbles out of the sky.
#include "game/Mannequin.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "game/Camera.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"
#include "game/smoke.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr u32 kShootable = 0x20;
constexpr u32 kDown = 0x40000000;
constexpr float kRadius = 3.0f;
constexpr float kWaitHeight = -44.0f;
constexpr float kFlyHeight = -48.0f;
constexpr float kPush = 0.0116417f;
constexpr int kSwoopDamage = 20;
constexpr int kProjectileDamage = 28;

Name nameDemonKind("Demon", int(reinterpret_cast<intptr_t>(&Demon::Demon_mh)));

int Draw(int n)
{
    return int((s64(rand()) * n) >> 31);
}

VectorDir FlatUnit(VectorDir d)
{
    d[1] = 0.0f;
    const float l = std::sqrt(Dot(d, d));
    return l > 0.0f ? VectorDir(d * (1.0f / l)) : d;
}

// The axes of r x m (r turns the object in its own frame); the place stays.
void TurnOwn(Matrix& m, const Matrix& r)
{
    const Vector w = m.w;
    m = r * m;
    m.w = w;
}

}  // namespace

MDLFILE* LoadWholeModel(const char* path)
{
    unsigned size = 0;
    void* block = FileLoad(path, &size);
    MDLFILE* mf = block != nullptr ? new MDLFILE{} : nullptr;
    if (mf != nullptr) {
        mf->SetBuffer(block);
        if (mf->Init(size))
            return mf;
        mf->SetBuffer(nullptr);
        delete mf;
    }
    free(block);
    // Said once per file: a fight asks again each time it starts.
    static const char* said[8];
    static int nSaid = 0;
    for (int i = 0; i < nSaid; i++)
        if (std::strcmp(said[i], path) == 0)
            return nullptr;
    if (nSaid < 8)
        said[nSaid++] = path;
    printf("%s is missing or is not a model file; what needs it is left out\n", path);
    return nullptr;
}

void FreeLoadedModel(MDLFILE*& mf)
{
    if (mf == nullptr)
        return;
    // The frames still to be drawn may send its models by reference.
    g_GlobalMFI.Retire(mf->header);
    delete mf;
    mf = nullptr;
}

int Demon::Demon_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewCreatureReply<Demon>(Demon_mh);
    return static_cast<Demon*>(o)->mh(msg, data);
}

void Demon::Init()
{
    flags = (flags & ~OBJF_NOCOLLISION) | 0x11001;
    strength = 100.0f;
    id = -121;
    InitialiseChildCollisions();
    ModifyCollisionMaskHierarchy(0x908, 0);
    state = DEMON_WAIT;
    ptexIcon = GetIcon();
    curAngle = float(Draw(360)) * (kPi / 180.0f);
    curRadius = kRadius;
    mat = Matrix(true);
    mat.SetTrans(VectorPos(kRadius * std::cos(curAngle), kWaitHeight, kRadius * std::sin(curAngle)));
    deltaAngle = deltaRadius = 0.0f;
    pGlow1 = FindSubObject(50);
    pGlow2 = FindSubObject(51);
    frame = float(Animation::Time().t) / 256.0f;
}

void Demon::Fly()
{
    Object* player = PlayerObject();
    const float t = (frame - stateFrame) * 0.5f;
    deltaAngle = 0.005f * (0.6f * std::sin(0.0523599f * t) + std::sin(0.00698132f * (8.0f * t + 20.0f)));
    const float h = 0.5f * (0.6f * std::sin(0.0698132f * t) + std::sin(0.00698132f * (7.0f * t + 30.0f))) - 48.5f;
    const VectorPos o(curRadius * std::cos(curAngle), h, curRadius * std::sin(curAngle));
    const VectorPos p = mat.GetTrans();
    mat.SetTrans(VectorPos(p + VectorDir(o - p) * 0.01f));
    if (frame - stateFrame >= 120.0f) {
        stateFrame = frame;
        Camera* cam = GetCurrentCam();
        if (player != nullptr && cam != nullptr) {
            const VectorDir toDemon = FlatUnit(GetWorldPos() - player->GetWorldPos());
            const VectorDir look = FlatUnit(VectorDir(cam->mat.z[0], cam->mat.z[1], cam->mat.z[2]));
            if (Dot(toDemon, look) > 0.6f && Draw(100) >= 61) {
                state = DEMON_ATTACK;
                vpTarget = VectorPos(player->GetWorldPos() + VectorDir(0.0f, -0.5f, 0.0f));
                vpAccel = VectorPos(VectorDir(vpTarget - mat.GetTrans()) * 0.01f);
            }
        }
    }
    if (player != nullptr)
        TurnToward(VectorDir(player->GetWorldPos() - GetWorldPos()), 0.1f * world.playbackSpeed);
}

// The glow sprites face the player's camera.
void Demon::Glows()
{
    Object* player = PlayerObject();
    Camera* cam = dace != nullptr ? dace->cam : nullptr;
    if (player == nullptr || cam == nullptr)
        return;
    const Matrix m = LookatMatrix(GetWorldPos(), cam->GetWorldPos());
    for (Object* g : {pGlow1, pGlow2}) {
        if (g == nullptr || g->parent == nullptr)
            continue;
        const Matrix r = m * g->parent->GetWorldMatrix().Inverse();
        g->mat.x = r.x;
        g->mat.y = r.y;
        g->mat.z = r.z;
    }
}

void Demon::Frame()
{
    AnimateHierarchy(1.0f);
    curAngle += deltaAngle;
    curRadius += deltaRadius;
    const float y0 = mat.GetTrans()[1];
    const float pb = world.playbackSpeed;
    VectorPos p = mat.GetTrans();
    switch (state) {
    case DEMON_ACTIVATE:
        flags &= ~OBJF_HIDDEN;
        if (y0 < kFlyHeight) {
            flags |= kShootable;
            state = DEMON_FLY;
            stateFrame = frame;
        } else {
            p[1] = y0 - 0.02f;
            mat.SetTrans(p);
        }
        if (Object* player = PlayerObject()) {
            const Matrix look = LookatMatrix(GetWorldPos(), player->GetWorldPos());
            mat.x = look.x;
            mat.y = look.y;
            mat.z = look.z;
        }
        break;
    case DEMON_FLY:
        Fly();
        break;
    case DEMON_ATTACK: {
        p = VectorPos(p + VectorDir(vpAccel) * pb);
        mat.SetTrans(p);
        const VectorDir left = vpTarget - p;
        if (Dot(left, left) < 0.01f) {
            curAngle += kPi;
            vpAccel = VectorPos(VectorDir(vpAccel) * 2.0f);
            state = DEMON_RETURN;
            stateFrame = frame;
        }
        break;
    }
    case DEMON_RETURN:
        p[0] += vpAccel[0] * pb;
        p[2] += vpAccel[2] * pb;
        p[1] = y0 >= kFlyHeight ? y0 - 0.01f : y0;
        mat.SetTrans(p);
        if (std::sqrt(p[0] * p[0] + p[2] * p[2]) >= curRadius) {
            state = DEMON_FLY;
            stateFrame = frame;
        }
        break;
    case DEMON_DYING:
        TurnOwn(mat, RotY(-0.174533f));
        TurnOwn(mat, RotX(-0.0872665f));
        p[1] = y0 + 0.04f;
        mat.SetTrans(p);
        if (p[1] > kWaitHeight) {
            state = DEMON_DEAD;
            SendSpecial(gameeventobj, SMSG_EV_CHARACTER_DIED, this);
        }
        break;
    default:
        break;
    }
    Glows();
}

void Demon::BulletHit(Object* bullet)
{
    const float s = bullet != nullptr ? static_cast<Bullet*>(bullet)->GetStrength() : 0.0f;
    if (s < strength) {
        strength -= s;
        return;
    }
    flags |= kDown | OBJF_NOCOLLISION;
    state = DEMON_DYING;
    strength = 0.0f;
    MushroomCloud_Create(this, VectorPos(0.0f, 0.0f, 0.0f), 1.0f);
}

void Demon::Collision(CollisionRecord* rec)
{
    Object* other = rec->HitObj();
    if (other == nullptr || other->type != OBJT_CHARACTER || other->id != -1 || state != DEMON_ATTACK)
        return;
    const VectorDir u = FlatUnit(other->GetWorldPos() - GetWorldPos());
    SpecialMessage knock(SMSG_KNOCKBACK, this, u[0] * kPush, -0.2f * kPush, u[2] * kPush);
    other->SendMessage(OM_SPECIAL, &knock);
    SendSpecial(other, kProjectileDamage, this, kSwoopDamage);
    state = DEMON_RETURN;
    stateFrame = frame;
    curAngle += kPi;
}

int Demon::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        Frame();
        return 0;
    case OM_COLLISION:
        Collision(static_cast<CollisionRecord*>(data));
        return 0;
    case OM_SPECIAL: {
        const auto& m = *static_cast<SpecialMessage*>(data);
        if (m.submsg == SMSG_MODE_START) {
            state = DEMON_ACTIVATE;
            gameeventobj = m.obj;
        } else if (m.submsg == SMSG_BULLET_HIT) {
            BulletHit(m.obj);
        }
        return 0;
    }
    case OM_DIE:
        SendSpecial(gameeventobj, SMSG_EV_ENEMY_REMOVED, this);
        if (mdlfile != nullptr)
            g_GlobalMFI.DecrementRef(mdlfile);
        delete this;
        return -1;
    default:
        return 0;
    }
}
