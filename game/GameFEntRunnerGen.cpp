// The runner generator: placed by a level or made by a chase, it makes one
// runner when its mode starts (near enough to the player), then follows it,
// puts it to sleep while it is far from the camera and wakes it when it
// comes back, and passes the runner's game events on.
#include "game/GameFEnt.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/BadGuy.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"

namespace {

Name nameRunnerGen("EnemyGenRunner", int(reinterpret_cast<intptr_t>(&EnemyGenRunner::staticmh)));

constexpr int SMSG_HIBERNATE = 22;
constexpr int SMSG_UNHIBERNATE = 23;
constexpr int SMSG_Q_29001 = 29001;
constexpr float kNearCamera2 = 15625.0f;   // 125 squared

}  // namespace

int EnemyGenRunner::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<EnemyGenRunner>();
    return static_cast<EnemyGenRunner*>(o)->mh(msg, data);
}

int EnemyGenRunner::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= 0x80000 | OBJF_NOCOLLISION | OBJF_FRAMECALL;
        enemy = nullptr;
        started = false;
        enemyescaped = enemybusted = enemysubdued = enemykilled = false;
        return 0;
    case OM_FRAME: {
        if ((g_pgcTest != nullptr && g_pgcTest->bCinematicOnly) || enemy == nullptr)
            return 0;
        mat = enemy->GetWorldMatrix();
        const VectorPos p = enemy->GetWorldPos();
        const VectorDir toCam = p - rc.view_world.GetTrans();
        if (world.ExistsAt(p) && Dot(toCam, toCam) < kNearCamera2) {
            if (enemy->IsHibernating()) {
                SpecialMessage m(SMSG_UNHIBERNATE, this);
                enemy->SendMessage(OM_SPECIAL, &m);
            }
        } else {
            SpecialMessage m(SMSG_HIBERNATE, this);
            enemy->SendMessage(OM_SPECIAL, &m);
        }
        if (enemy != nullptr && !enemykilled && (enemy->flags & (GUYF_DEAD | GUYF_BUSTED)))
            enemykilled = true;
        return 0;
    }
    case OM_SPECIAL: {
        auto* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        switch (m->submsg) {
        case SMSG_MODE_START:
        case SMSG_MODE_EPILOGUE:
            gameeventobj = m->obj;
            if (!started)
                TryGeneratingRunner();
            started = true;
            return 0;
        case SMSG_Q_29001:
            return 13;
        case SMSG_EV_ENEMY_REMOVED:
            if (m->obj != nullptr && m->obj == enemy)
                enemy = nullptr;
            break;
        default:
            break;
        }
        ForwardGameEvent(gameeventobj, *m);
        return 0;
    }
    case OM_DIE:
        if (pegrp != nullptr)
            free(pegrp);
        pegrp = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}

void EnemyGenRunner::TryGeneratingRunner()
{
    Object* player = PlayerObject();
    if (gendist != 0.0f &&
        (player == nullptr || Length(VectorDir(player->GetWorldPos() - GetWorldPos())) > gendist))
        return;
    if (!world.ExistsAt(GetWorldPos()))
        return;
    GenerateRunner();
}

void EnemyGenRunner::GenerateRunner()
{
    if (pegrp == nullptr)
        return;
    const EnemyGenRunner_params& p = *pegrp;
    const int slot = EnemyModelSlot(p.character, 49);
    if (slot < 0)
        return;
    Enemy* e = MakeEnemy("RunnerEnemy", slot, this, s16(iRunnerId), p.badass);
    if (e == nullptr)
        return;
    e->ishostage = ishostage;
    e->iscop = iscop;
    SetUpRunner(e, p);
    enemy = e;
}

void SetUpRunner(Enemy* e, const EnemyGenRunner_params& p)
{
    if (p.weapon != 0) {
        e->shootweapontype = s16(p.weapon + 3);
        e->fightweapontype = 0;
    } else if (p.handweapon != 0) {
        e->shootweapontype = -1;
        e->fightweapontype = p.handweapon;
    }
    e->flags |= 0x20;
    e->strength = e->initialstrength = float(p.init_strength);
    if (p.walking != 0) {
        e->mode = 4;
        if (p.oblivious != 0) {
            e->SetAnim(+BadGuyAnims::WALK_ANI);
            e->movespeed = Enemy::MOVE_WALK;
        } else {
            e->SetAnim(+BadGuyAnims::SPRINT_ANI);
            e->movespeed = Enemy::MOVE_SPRINT;
        }
    } else {
        e->mode = 0;
        e->SetAnim(+BadGuyAnims::IDLE_ANI);
        e->movespeed = Enemy::MOVE_WALK;
    }
    e->caronly = p.caronly != 0;
    e->oblivious = p.oblivious != 0;
    e->shootingchance = p.shoot;
    e->fightingchance = p.fight;
    e->commandeeringchance = p.command;
    if (p.first_tint != 0)
        SetTintSet(e, p.first_tint, false);
    else
        e->tintset = -1;
}

void EnemyGenRunner::DestroyRunner()
{
    if (enemy != nullptr)
        enemy->Delete();
    enemy = nullptr;
}
