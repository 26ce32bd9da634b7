// The commands missions, random crimes and other characters give an enemy,
// and the changes of kind they need: one Enemy object is a shooter, a
// fighter or a runner by its handler and enemytype, changed in place.  Each
// command is noted in gEnemyCommandLog (the last one given, with its object
// and number) for the debug displays and the tests.
#include "game/BadGuyRunnerShared.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "game/Bystander.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"

using namespace runner;

EnemyCommandLog gEnemyCommandLog;

namespace {

void Note(const char* what, Object* obj = nullptr, int arg = 0)
{
    gEnemyCommandLog.last = what;
    gEnemyCommandLog.count++;
    gEnemyCommandLog.obj = obj;
    gEnemyCommandLog.arg = arg;
}

}  // namespace

void Enemy::SetTarget(Object* obj)
{
    target = obj;
    pTargetTorso = obj != nullptr ? obj->FindSubObject(SUB_TORSO) : nullptr;
}

// ---------------------------------------------------------------------------
// Kind changes

bool Enemy::MorphIntoRunner()
{
    const EnemyType old = enemytype;
    if (old == ENEMYTYPE_SHOOTER)
        RemoveAsShooter();
    else if (old == ENEMYTYPE_FIGHTER)
        RemoveAsFighter();
    else
        return false;
    if (target != nullptr && static_cast<Object*>(target) != PlayerObject())
        SetTarget(nullptr);
    ReinitAsRunner();
    messagehandler = &Enemy::RunnerEnemy_mh;
    if (gameeventobj != nullptr)
        Send(gameeventobj, SMSG_EV_ENEMY_MORPHED, this, int(old), int(ENEMYTYPE_RUNNER));
    morphed = true;
    return true;
}

bool Enemy::MorphIntoFighter(int newstyle)
{
    const EnemyType old = enemytype;
    if (old == ENEMYTYPE_SHOOTER)
        RemoveAsShooter();
    else if (old == ENEMYTYPE_RUNNER)
        RemoveAsRunner();
    else
        return false;
    ReinitAsFighter();
    messagehandler = &Enemy::FighterEnemy_mh;
    SetFightingStyle(newstyle);
    BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 15);
    if (gameeventobj != nullptr)
        Send(gameeventobj, SMSG_EV_ENEMY_MORPHED, this, int(old), int(ENEMYTYPE_FIGHTER));
    morphed = true;
    return true;
}

bool Enemy::MorphIntoShooter()
{
    const EnemyType old = enemytype;
    if (old == ENEMYTYPE_FIGHTER)
        RemoveAsFighter();
    else if (old == ENEMYTYPE_RUNNER)
        RemoveAsRunner();
    else
        return false;
    if (mode == 1)
        mode = 22;
    ReinitAsShooter();
    messagehandler = &Enemy::ShooterEnemy_mh;
    if (gameeventobj != nullptr)
        Send(gameeventobj, SMSG_EV_ENEMY_MORPHED, this, int(old), int(ENEMYTYPE_SHOOTER));
    morphed = true;
    return true;
}

// The pedestrian that takes an enemy's place is the bystanders' to make;
// when it cannot be made the enemy stays what it is and null is the answer.
Bystander* Enemy::MorphIntoBystander(Object* obj)
{
    Note("Enemy::MorphIntoBystander", obj);
    return MorphEnemyIntoBystander(this, obj);
}

// ---------------------------------------------------------------------------
// Commands

void Enemy::AttackObject(Object* obj, int how)
{
    Note("Enemy::AttackObject", obj, how);
    MorphIntoFighter(how);
    mode = 21;
    SetTarget(obj);
    nodamage = false;
}

void Enemy::AttackObjectNoDamage(Object* obj, int how)
{
    Note("Enemy::AttackObjectNoDamage", obj, how);
    MorphIntoFighter(how);
    mode = 21;
    SetTarget(obj);
    nodamage = true;
}

void Enemy::PulloutObject(Object* obj)
{
    Note("Enemy::PulloutObject", obj);
    MorphIntoRunner();
    Start_Run_Pullout();
    SetTarget(PlayerObject());
}

void Enemy::ShootObject(Object* obj)
{
    Note("Enemy::ShootObject", obj);
    if (shootweapontype == -1)
        shootweapontype = 4;
    MorphIntoShooter();
    Start_Shoot_TakeCover();
    behavior = MOVING;
    SetTarget(obj);
    rightgunarm.weapon.SetWeaponHot();
    targetspotted = true;
}

void Enemy::ShootObjectNoDamage(Object* obj)
{
    Note("Enemy::ShootObjectNoDamage", obj);
    MorphIntoShooter();
    Start_Shoot_TakeCover();
    behavior = MOVING;
    SetTarget(obj);
    rightgunarm.weapon.SetWeaponCold();
    targetspotted = true;
}

void Enemy::RunAwayFromObject(Object* obj)
{
    Note("Enemy::RunAwayFromObject", obj);
    MorphIntoRunner();
    Start_Run_Running(MOVE_RUN_FAST);
}

void Enemy::ReactToObject(Object* obj)
{
    Note("Enemy::ReactToObject", obj);
    reactiontime = 0x7FFFFFFF;
    if (mode == 16) {
        MorphIntoRunner();
        Start_Run_StruggleGetUp();
        return;
    }
    if (iscop || ishostage)
        return;
    if (hostage != nullptr) {
        if (gameeventobj != nullptr)
            Send(gameeventobj, SMSG_EV_RUNNER_REACT, this);
        return;
    }
    MorphIntoRunner();
    Start_Run_React();
    SetTarget(obj);
}

void Enemy::ThreatenObject(Object* obj, int withgun)
{
    Note("Enemy::ThreatenObject", obj, withgun);
    if (ishostage)
        return;
    if (withgun != 0)
        shootweapontype = 4;
    else
        fightweapontype = 1;
    MorphIntoRunner();
    Start_Run_Threaten();
    SetTarget(obj);
}

void Enemy::DiveOutOfTheWay()
{
    MorphIntoRunner();
    Start_Run_Dive();
}

void Enemy::GiveUp()
{
    Note("Enemy::GiveUp");
    MorphIntoRunner();
    const bool alreadyDone = (flags & GUYF_DYING) && (flags & GUYF_DEAD) && mode == 11;
    if (RandomCrimeRunning()) {
        if (!alreadyDone)
            Start_Run_Surrender();
        return;
    }
    if (mode == 8) {
        gettingout = true;
        caronly = true;
    } else if (mode == 7) {
        caronly = true;
    } else if (!alreadyDone) {
        Start_Run_Surrender();
    }
}

void Enemy::SeekObject(Object* obj)
{
    Note("Enemy::SeekObject", obj);
    MorphIntoRunner();
    mode = 1;
    SetTarget(nullptr);
    seektarget = true;
    chasetarget = harasstarget = false;
}

void Enemy::ChaseObject(Object* obj)
{
    Note("Enemy::ChaseObject", obj);
    MorphIntoRunner();
    mode = 1;
    SetTarget(obj);
    chasetarget = true;
    seektarget = harasstarget = false;
}

void Enemy::HarassObject(Object* obj)
{
    Note("Enemy::HarassObject", obj);
    MorphIntoFighter(5);
    mode = 21;
    SetTarget(obj);
    harasstarget = true;
    seektarget = chasetarget = false;
}

void Enemy::AllyWithObject(Object* obj)
{
    Note("Enemy::AllyWithObject", obj);
    if (obj != nullptr && obj == PlayerObject())
        iscop = true;
}

void Enemy::Surrender()
{
    if (iscop || ishostage)
        return;
    issurrendering = true;
    SetTarget(nullptr);
    if (biproot != nullptr) {
        const VectorDir z = FlatUnit(VectorDir(biproot->mat.z.xyz()));
        if (z.LengthSq() > 0.0f) {
            const Matrix l = LookAlong(z);
            biproot->mat.x = l.x;
            biproot->mat.y = l.y;
            biproot->mat.z = l.z;
        }
    }
    BlendToAnim(+BA::GIVEUP_ANI, 5);
    if (gameeventobj != nullptr)
        Send(gameeventobj, SMSG_EV_ENEMY_SURRENDERED, this);
    mode = 11;
}

void Enemy::TurnIntoHostage()
{
    Note("Enemy::TurnIntoHostage");
    ishostage = true;
    MorphIntoShooter();
    mode = 23;
    if (Object* g = rightgunarm.gun) {
        rightgunarm.gun = nullptr;
        g->Detach();
        g->Delete();
    }
    rightgunarm.weapon.SetWeaponCold();
}

void Enemy::TakeObjectHostage(Object* obj)
{
    Note("Enemy::TakeObjectHostage", obj);
    MorphIntoShooter();
    mode = 23;
    if (obj == nullptr)
        return;
    if (Object* hold = FindSubObject(SUB_GRAB))
        hold->mat.w = Vector(obj->GetRelativePos(hold), 1.0f);
    const int reach = +BA::GUN_HOLDHOSTAGE_REACH_ANI;
    AnimChar* a = nullptr;
    if (combatoverlayanims != nullptr && CombatAnimOverlayIndex[reach] != -1)
        a = combatoverlayanims[CombatAnimOverlayIndex[reach]];
    else if (anims != nullptr)
        a = anims[reach];
    const int n = a != nullptr ? int(a->length) : 0;
    SpecialMessage m(SMSG_GRABBED, this, reach, n);
    m.param[2] = 2;
    m.param[3] = 8;
    if (obj->messagehandler != nullptr && obj->SendMessage(OM_SPECIAL, &m) != 0) {
        BlendToAnim(u16(reach), 5);
        hostage = obj;
    }
}

void Enemy::StruggleWithObject(Object* obj)
{
    Note("Enemy::StruggleWithObject", obj);
    MorphIntoRunner();
    Start_Run_Struggle();
}

void Enemy::Wander()
{
    Note("Enemy::Wander");
    if (ishostage)
        return;
    MorphIntoRunner();
    mode = 1;
}

void Enemy::Congregate(VectorPos pos)
{
    MorphIntoRunner();
    congregatepos = pos;
    Start_Run_Congregate();
}

void Enemy::WalkTo(VectorPos pos)
{
    MorphIntoRunner();
    walktopos = pos;
    Start_Run_WalkTo();
}

void Enemy::GetInCar(Vehicle* v)
{
    Note("Enemy::GetInCar", v);
    if (mode == 7)
        return;
    MorphIntoRunner();
    StartGettingIn(v);
    if (v != nullptr)
        v->flags |= 0x20;
    Start_Run_Transition();
}

void Enemy::ScootOver()
{
    if (passenger)
        return;
    passenger = true;
    Start_Run_Transition();
    BlendToAnim(CARTRANS_SCOOT_R, 5);
}
