// The runner: the fleeing criminal of the streets.  Its handler and life
// (made by name, on the pedestrian list, asleep far from the player, gone
// with a word to its generator), the frame driver and the states that the
// frame runs: waiting, wandering, the flight (running and evading), hit by
// a car, surrendering, reacting, threatening, diving, pulling a driver out,
// gathering and walking to a point.  The car states, the steering, the
// look-backs, the messages and the ends of animations have files of their
// own.
#include "game/BadGuyRunnerShared.h"

#include <algorithm>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Player.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"

using namespace runner;

namespace {

Name nameRunnerEnemy("RunnerEnemy", int(reinterpret_cast<intptr_t>(&Enemy::RunnerEnemy_mh)));

constexpr float kHibernate2 = 2197.265625f;   // 46.875 squared
constexpr float kSeriousFrames = 7200.0f;

bool IsFireBackAni(u16 a) { return a == +BA::SPRINT_FIREBACK_L_ANI || a == +BA::SPRINT_FIREBACK_R_ANI; }

// Whether one of the player's arms fired within the last 120 frames.
bool PlayerShotLately()
{
    if (dace == nullptr || world.time < 121)
        return false;
    auto recent = [](auto& arm) {
        return arm.IsArmed() && arm.lastshot != 0x7FFFFFFFu && int(arm.lastshot) > world.time - 120;
    };
    if (dace->mode == 5)
        return recent(dace->leftdrivinggunarm) || recent(dace->rightdrivinggunarm);
    return recent(dace->leftgunarm) || recent(dace->rightgunarm);
}

}  // namespace

Object* runner::MakeHandGun(Object* owner, int slot, u16 nodeid, u16 at)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    NODE* n = mf->FindNodeById1(0, nodeid);
    if (n == nullptr)
        return nullptr;
    Object* gun = mf->GetHierarchy(u16(n - mf->nodes), 112, 8);
    if (gun == nullptr)
        return nullptr;
    NODE* attach = nullptr;
    Object* holder = owner->FindNodeHierarchy(at, attach);
    if (holder == nullptr) {
        gun->Delete();
        return nullptr;
    }
    holder->Attach(gun, attach);
    return gun;
}

// ---------------------------------------------------------------------------
// Handler

OBJMESSAGEHANDLER RunnerEnemyHandler = &Enemy::RunnerEnemy_mh;

int Enemy::RunnerEnemy_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        Enemy* e = new Enemy(RunnerEnemy_mh, nullptr, 0);
        return int(reinterpret_cast<intptr_t>(e));
    }
    return static_cast<Enemy*>(obj)->RunnerMh(msg, data);
}

int Enemy::RunnerMh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        InitAsRunner();
        return 0;
    case OM_FRAME: {
        if (dace != nullptr) {
            const float d2 = Dist2(dace->GetWorldPos(), GetWorldPos());
            if (IsHibernating() && d2 < kHibernate2)
                UnHibernate();
            else if (!IsHibernating() && d2 >= kHibernate2)
                Hibernate();
        }
        if (IsHibernating())
            return 0;
        mat.w = Vector(mat.GetTrans() + GetPopOut(), 1.0f);
        ClearPopOut();
        if (world.ExistsAt(GetWorldPos()) && RunnerFrame() == -1)
            return 0;
        pushoutvel = (pushoutvel + newpushoutvel) * 0.5f;
        pushoutmovement = (pushoutmovement + pushoutvel) * 0.25f;
        mat.w = Vector(mat.GetTrans() + pushoutmovement, 1.0f);
        newpushoutvel = VectorDir(0.0f, 0.0f, 0.0f);
        if (updatebodycollframe <= frame) {
            UpdateBodyColl(runfootrootcollmask, runrootcollmask, runrootcollmask, 0.15625f);
            updatebodycollframe = frame + 1.0f + float(RandomN(3));
        }
        return 0;
    }
    case OM_COLLISION:
        return IsHibernating() ? 0 : RunnerCollision(static_cast<CollisionRecord*>(data));
    case OM_DIE:
        if (gameeventobj != nullptr)
            Send(gameeventobj, SMSG_EV_ENEMY_REMOVED, this);
        world.pedlist.Remove(this);
        if (mdlfile != nullptr)
            g_GlobalMFI.DecrementRef(mdlfile);
        RemoveAsRunner();
        delete this;
        return -1;
    case OM_ANIMLOOP: {
        auto* m = static_cast<AnimEventMessage*>(data);
        const int slot = m != nullptr ? m->slot : 0;
        if (slot == 0)
            return RunnerAnimLoop(m);
        return slot == 1 ? -1 : 0;
    }
    case OM_ANIMEVENT: {
        auto* m = static_cast<AnimEventMessage*>(data);
        if (m == nullptr || rightgunarm.gun == nullptr)
            return 0;
        if (m->event == 131)
            rightgunarm.ArmGun();
        else if (m->event == 133)
            rightgunarm.DisarmGun();
        return 0;
    }
    case OM_SPECIAL:
        return data != nullptr ? RunnerSpecial(static_cast<SpecialMessage*>(data)) : 0;
    case OM_WASDRAWN:
        iLastDrawnTime = int(reinterpret_cast<intptr_t>(data));
        return 0;
    case OM_RENDER:
        mat.w = Vector(mat.GetTrans() + GetPopOut(), 1.0f);
        ClearPopOut();
        return 0;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Life

void Enemy::InitAsRunner()
{
    type = OBJT_CHARACTER;
    deathtime = -1;
    flags |= 0x10060;
    morphed = false;
    mode = 2;
    biproot = child != nullptr ? child->sibling : nullptr;
    InitialiseChildCollisions();
    ModifyFlagsHierarchy(OBJF_NOCOLLISION, 0);
    if (biproot != nullptr)
        biproot->flags &= ~OBJF_NOCOLLISION;
    flags &= ~OBJF_NOCOLLISION;
    ClearPopOut();
    InitAnims();
    SetAnim(+BA::SPRINT_ANI);
    initialstrength = strength = 100.0f;
    takehostagechance = 0.0f;
    fatigue = 0.0f;
    shooting = false;
    carchaseonly = false;
    passenger = false;
    gotincartime = 0x7FFFFFFF;
    lhand = FindSubObject(SUB_LHAND);
    rhand = FindSubObject(SUB_RHAND);
    lfoot = FindSubObject(SUB_LFOOT);
    rfoot = FindSubObject(SUB_RFOOT);
    torso = FindSubObject(SUB_TORSO);
    head = FindSubObject(SUB_HEAD);
    eye = FindSubObject(SUB_EYE);
    if (eye == nullptr)
        eye = head;
    SetTarget(PlayerObject());
    world.pedlist.AddHead(this);
    ReinitAsRunner();
}

void Enemy::ReinitAsRunner()
{
    enemytype = ENEMYTYPE_RUNNER;
    pushoutmovement = pushoutvel = newpushoutvel = VectorDir(0.0f, 0.0f, 0.0f);
    SetMoveMode(Move_DownSidewalk);
    panic = true;
    pursuitstarttime = pursuitserioustime = stoppedatcornertime = -1;
    loctype = GroundType_Invalid;
    knowspursuernear = false;
    calcrs = nullptr;

    GunArm& a = rightgunarm;
    a.ikupperarmlimits[0] = AngleArc(-3.1415927f, 6.2831855f);
    a.ikupperarmlimits[1] = AngleArc(0.5235988f, 3.1415927f);
    a.ikupperarmlimits[2] = AngleArc(2.0943952f, 2.7925270f);
    a.ikelbowlimits = AngleArc(0.0f, 2.6179941f);
    a.ikwristlimits[0] = AngleArc(-2.0943952f, 2.6179941f);
    a.ikwristlimits[1] = AngleArc(1.7453294f, 2.7925270f);
    a.ikwristlimits[2] = AngleArc(-0.6981317f, 1.3962635f);
    a.ikupperarmmat = Matrix(Vector(0, 0, 1, 0), Vector(1, 0, 0, 0), Vector(0, 1, 0, 0), Vector(0, 0, 0, 1));
    a.ikhandmat = Matrix(Vector(-1, 0, 0, 0), Vector(0, -1, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1));
    a.aimhanddist = 0.0015625f;
    a.indirectaimhanddist = 0.015625f;
    a.aimupperarmdir = VectorPos(0.0f, 0.6f, 0.8f);
    a.recoillinearspeed = VectorDir(0.0f, 0.08f, 0.002f);
    a.recoilangspeed = VectorXYZ(0.0f, 0.0f, -0.13962634f);
    a.lockwrist = true;
    a.twoHanded = false;
    a.primarywristdir = VectorDir(0.0f, -1.0f, 0.0f);
    a.alternatewristdir = VectorDir(0.70710677f, -0.70710677f, 0.0f);
    if (a.gun != nullptr) {
        a.gun->Detach();
        a.gun->Delete();
    }
    a.gun = nullptr;
    a.hand = FindSubObject(SUB_RHAND);
    a.lowerarm = a.hand != nullptr ? a.hand->parent : nullptr;
    a.upperarm = a.lowerarm != nullptr ? a.lowerarm->parent : nullptr;
    a.weapon = gWeapons[WEAP_PISTOL_RUGER];
    a.weapon.SetType(shootweapontype >= 0 ? shootweapontype : WEAP_PISTOL_RUGER);
    a.weapon.casingsfxbank = nullptr;
    a.weapon.bulletsLeft = a.weapon.magSize;
    if (shootweapontype >= 0 && a.weapon.iGunMFIndex >= 0)
        a.gun = MakeHandGun(this, a.weapon.iGunMFIndex, u16(a.weapon.gunmdlindex), 0x8001);

    auto drivingArm = [this](PresetGunArm& d, int sub, int anim) {
        d.gun = nullptr;
        d.upperarm = FindSubObject(sub);
        d.root = biproot;
        d.aimanimheader = anims != nullptr ? anims[anim] : nullptr;
        d.weapon = gWeapons[WEAP_PISTOL_RUGER];
        d.weapon.SetType(4);
        d.weapon.casingsfxbank = nullptr;
    };
    drivingArm(leftdrivinggunarm, SUB_LARM, 7);
    drivingArm(rightdrivinggunarm, SUB_RARM, 8);

    loctype = prevloctype = GroundType_Invalid;
    driveaimrange[0] = -2.3561945f;
    driveaimrange[1] = 0.43633232f;
    driveaimrange[2] = 0.087266468f;
    driveaimrange[3] = 3.0543261f;
    drivingshootperiod = 20;
    ptexIcon = GetIcon();
    movespeed = MOVE_SPRINT;
    movesubmode = MoveSub_Normal;
    animspeed = 1.0f;
    runrootcollmask = 0x2509;
    runfootrootcollmask = 0x2301;
    SetAnim(+BA::SPRINT_ANI);
    AnimateHierarchy(0.0f);
    UpdateBodyColl(runfootrootcollmask, runrootcollmask, runrootcollmask, 0.0625f);
    collision = nullptr;
    const VectorPos p = GetWorldPos();
    world.GroundHeight(VectorPos(p[0], p[1] - 0.15625f, p[2]), nullptr, &ghc);
}

void Enemy::RemoveAsRunner()
{
    if (Object* g = rightgunarm.gun) {
        rightgunarm.gun = nullptr;
        g->Detach();
        g->Delete();
    }
}

// ---------------------------------------------------------------------------
// The frame

int Enemy::RunnerFrame()
{
    if (WatchForVehicles()) {
        DiveOutOfTheWay();
        return -1;
    }
    SlipAndFall();
    if (target != nullptr && target->IsDead()) {
        target = nullptr;
        pTargetTorso = nullptr;
        targetspotted = false;
        if (chasetarget)
            Send(this, SMSG_SEEK_OBJECT);
        if (harasstarget)
            Send(this, SMSG_SEEK_OBJECT);
    }
    {
        const Matrix wm = GetWorldMatrix();
        const Matrix inv = Matrix(wm.x, wm.y, wm.z, Vector(0.0f, 0.0f, 0.0f, 1.0f)).Transpose();
        rightgunarm.primarywristdir = inv * VectorDir(0.0f, -1.0f, 0.0f);
        rightgunarm.alternatewristdir = inv * VectorDir(0.70710677f, -0.70710677f, 0.0f);
    }
    if (victimdata != nullptr) {
        if (grappledframe != -8388608.0f && frame - grappledframe >= float(victimdata->morphlen)) {
            flags &= ~ENEMYF_HOLDING;
            mat = grappledmat;
            SetAnim(victimdata->victimani);
            victimdata = nullptr;
        } else if (!victimdata->morphgrappler) {
            const float len = float(victimdata->morphlen);
            const float t = 1.0f - (grappledframe + len - frame) / (len + 1.0f);
            mat.w = Vector(grappledmat.GetTrans() * t + grappledstartpos * (1.0f - t), 1.0f);
            TurnToward(VectorDir(grappledmat.z.xyz()), grappleturnspeed * world.playbackSpeed);
        }
        return 1;
    }
    const bool down = (flags & (GUYF_DYING | GUYF_DEAD)) != 0;
    if (frame == 0.0f && !down) {
        // Never animated: nothing to steer yet.
    } else {
        if (!down || (mode >= 6 && mode <= 19)) {
            switch (mode) {
            case 0: Frame_Run_Waiting(); break;
            case 1: Frame_Run_Wander(); break;
            case 2:
            case 4: Frame_Run_Running(); break;
            case 6: Frame_Run_Hit(); break;
            case 7: Frame_Run_Transition(); break;
            case 8: Frame_Run_Driving(); break;
            case 9: Frame_Run_Stopping(); break;
            case 10: Frame_Run_Passenger(); break;
            case 11:
                if (mode2 == +BA::GIVEUP_ANI && dace != nullptr)
                    TurnTowardFlat(dace->GetWorldPos() - GetWorldPos());
                break;
            case 12:
                if (dace != nullptr)
                    TurnTowardFlat(dace->GetWorldPos() - GetWorldPos());
                break;
            case 13: Frame_Run_Threaten(); break;
            case 14:
                divedir[1] = 0.0f;
                TurnTowardFlat(divedir);
                break;
            case 15:
                if (car != nullptr)
                    MoveToCarFront(car);
                break;
            case 18: {
                const VectorDir d = FlatUnit(congregatepos - GetWorldPos());
                if (d.LengthSq() > 0.0f)
                    TurnToward(d, maxturnspeed);
                break;
            }
            case 19: {
                const VectorDir d = FlatUnit(walktopos - GetWorldPos());
                if (d.LengthSq() > 0.0f)
                    TurnToward(d, maxturnspeed);
                if (Length(VectorDir(walktopos - GetWorldPos())) < 0.3125f)
                    Congregate(walktopos);
                break;
            }
            default: break;
            }
        }
        animspeed = 1.0f;
    }
    if (morphed) {
        morphed = false;
        return -1;
    }
    fatigue = initialstrength > 0.0f ? 1.0f - strength / initialstrength : 0.0f;
    {
        const VectorDir z = FlatUnit(Forward(this));
        if (z.LengthSq() > 0.0f) {
            const Matrix l = LookAlong(z);
            mat.x = l.x;
            mat.y = l.y;
            mat.z = l.z;
        }
    }
    AnimateHierarchy(animspeed);
    if (mode != 6 && mode != 8) {
        const GHCache before = ghc;
        const float h = world.GroundHeight(GetWorldPos(), nullptr, &ghc);
        if (h < 0.0f)
            mat.w = Vector(VectorPos(mat.w[0], h, mat.w[2]), 1.0f);
        else
            ghc = before;
    }
    groundobj = nullptr;
    groundupdatetime = world.time;
    Object* tt = target != nullptr ? target->FindSubObject(SUB_TORSO) : nullptr;
    if (tt != nullptr)
        rightgunarm.Frame(tt->GetWorldPos() + GetShootingInaccuracy(target, 0.00025f, 0.0015f, 0.078125f, 0.234375f));
    else
        rightgunarm.Frame(VectorPos(0.0f, 0.0f, 0.0f));
    return 1;
}

// ---------------------------------------------------------------------------
// Start routines

void Enemy::Start_Run_Waiting()
{
    mode = 0;
    BlendToAnim(+BA::IDLE_ANI, 10);
}

void Enemy::Start_Run_Wander()
{
    mode = 1;
    BlendToAnim(+BA::WALK_ANI, 10);
    movespeed = MOVE_WALK;
    movesubmode = MoveSub_Normal;
}

void Enemy::Start_Run_Evasion()
{
    mode = 2;
    BlendToAnim(+BA::SPRINT_ANI, 10);
    movespeed = MOVE_SPRINT;
    movesubmode = MoveSub_Normal;
}

void Enemy::Start_Run_Running(int speed)
{
    mode = 4;
    BlendToAnim(speed == MOVE_WALK ? +BA::WALK_ANI : +BA::SPRINT_ANI, 10);
    movespeed = speed;
    movesubmode = MoveSub_Normal;
}

void Enemy::Start_Run_Tackled()
{
    mode = 5;
    if (mode2 != +BA::SPRINT_TACKLED_ANI)
        BlendToAnim(+BA::SPRINT_TACKLED_ANI, 3);
    car = nullptr;
}

void Enemy::Start_Run_Hit() { mode = 6; }

void Enemy::Start_Run_Transition()
{
    mode = 7;
    ghc.Clear();
}

void Enemy::Start_Run_Driving()
{
    mode = 8;
    ghc.Clear();
    carstoppedframe = 0.0f;
    leavingcar = false;
    InitGunsDriving();
}

void Enemy::Start_Run_Stopping()
{
    mode = 9;
    leavingcar = true;
}

void Enemy::Start_Run_Passenger()
{
    mode = 10;
    ghc.Clear();
    carstoppedframe = 0.0f;
    leavingcar = false;
    InitGunsDriving();
}

void Enemy::Start_Run_Surrender() { Surrender(); }

void Enemy::Start_Run_React()
{
    mode = 12;
    BlendToAnim(+BA::SHOCKED_ANI, 10);
}

void Enemy::Start_Run_Threaten()
{
    mode = 13;
    u16 a;
    if (ishostage)
        a = IsFemaleChar(charid) ? +BA::HARRASSED_FEMALE_ASSUME_ANI : +BA::HARRASSED_MALE_ASSUME_ANI;
    else
        a = shootweapontype == -1 ? +BA::HARRASS_KNIFE_ASSUME_ANI : +BA::HARRASS_GUN_ASSUME_ANI;
    BlendToAnim(a, 5);
}

void Enemy::Start_Run_Dive()
{
    mode = 14;
    BlendToAnim(u16(diveani), 5);
}

void Enemy::Start_Run_Pullout()
{
    StartWalkingToDoor(true);
    mode = 15;
    car = dace != nullptr && dace->parent != nullptr && dace->parent->type == OBJT_VEHICLE
              ? static_cast<Vehicle*>(dace->parent)
              : nullptr;
}

void Enemy::Start_Run_Struggle()
{
    mode = 16;
    BlendToAnim(ishostage ? +BA::STRUGGLE_VICTIM_ANI : +BA::STRUGGLE_ATTACKER_ANI, 5);
    flags |= OBJF_NOCOLLISION;
}

void Enemy::Start_Run_StruggleGetUp()
{
    mode = 17;
    BlendToAnim(ishostage ? +BA::STRUGGLE_VICTIM_GETUP_ANI : +BA::STRUGGLE_ATTACKER_GETUP_ANI, 5);
    flags &= ~OBJF_NOCOLLISION;
}

void Enemy::Start_Run_Congregate()
{
    mode = 18;
    BlendToAnim(+BA::IDLE_ANI, 5);
}

void Enemy::Start_Run_WalkTo()
{
    mode = 19;
    BlendToAnim(+BA::WALK_ANI, 5);
}

// ---------------------------------------------------------------------------
// Frame routines

void Enemy::Frame_Run_Waiting()
{
    if (mode2 == +BA::SHOCKED_ANI && target != nullptr) {
        TurnTowardFlat(target->GetWorldPos() - GetWorldPos());
        return;
    }
    Object* player = PlayerObject();
    if (player != nullptr && Dist2(player->GetWorldPos(), GetWorldPos()) < 39.0625f) {
        BlendToAnim(+BA::SHOCKED_ANI, 5);
        SetTarget(player);
    }
}

void Enemy::UpdateLocType()
{
    const int t = GetGroundType(ghc);
    if (t != loctype) {
        prevloctype = loctype;
        loctype = t;
    }
}

void Enemy::Frame_Run_Wander()
{
    UpdateLocType();
    const VectorPos me = GetWorldPos();
    if (chasetarget && target != nullptr) {
        wanderdir = FlatUnit(target->GetWorldPos() - me);
        if (mode2 != +BA::SPRINT_ANI)
            BlendToAnim(+BA::SPRINT_ANI, 10);
    } else {
        if (wandertime == -1 || wandertime <= world.time) {
            if (wandertime == -1) {
                wanderstartpos = VectorPos(me[0], 0.0f, me[2]);
                SetMoveMode(Move_DownSidewalk);
                movesubmode = MoveSub_Wander;
                BlendToAnim(+BA::WALK_ANI, 10);
            }
            Object* friendobj = nullptr;
            Object* walker = nullptr;
            for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
                Object* o = *it;
                if (o == nullptr || o->IsDead() || o == this || FlatDist2(o->GetWorldPos(), me) >= 0.87890625f)
                    continue;
                if (o->id >= -100 && o->id <= 100 && o->id != -1)
                    friendobj = o;
                else if (o->id >= -1999 && o->id != -1)
                    walker = o;
            }
            if (friendobj != nullptr && RandomN(5) != 0) {
                wanderdir = FlatUnit(friendobj->GetWorldPos() - me);
                BlendToAnim(+BA::WALK_ANI, 10);
                SetTarget(friendobj);
            } else if (walker != nullptr && RandomN(5) != 0) {
                wanderdir = FlatUnit(walker->GetWorldPos() - me);
                BlendToAnim(+BA::WALK_ANI, 10);
            } else {
                if (rand() & 1)
                    wanderdir = FlatUnit(ghc.GetDir());
                BlendToAnim(+BA::WALK_ANI, 10);
            }
            wandertime = world.time + 180;
        }
        if (mode2 == +BA::WALK_ANI) {
            const VectorPos flatme(me[0], 0.0f, me[2]);
            if (FlatDist2(flatme, wanderstartpos) < 39.0625f) {
                VectorDir d = FlatUnit(ghc.GetDir());
                const bool against = Dot(d, Forward(this)) < 0.0f;
                if (against)
                    d = -d;
                UpdateRoadType(ghc.prs);
                const float x = ghc.rsres[0];
                const float lo = x < 0.0f ? SidewalkMinWalkWidth_L : SidewalkMinWalkWidth_R;
                const float hi = x < 0.0f ? SidewalkMaxWalkWidth_L : SidewalkMaxWalkWidth_R;
                float e = 0.0f;
                if (x - lo < -0.03125f)
                    e = x - lo;
                else if (x - hi > 0.03125f)
                    e = x - hi;
                if (e != 0.0f) {
                    if (against)
                        e = -e;
                    wanderdir = FlatUnit(d - VectorDir(d[2], 0.0f, -d[0]) * e);
                }
            } else if (Dot(wanderdir, flatme - wanderstartpos) > 0.0f) {
                wanderdir = FlatUnit(wanderstartpos - flatme);
            }
        }
    }
    if (seektarget) {
        for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o != nullptr && !o->IsDead() && o != this && o->id >= -100 && o->id <= 100 && o->id != -1 &&
                FlatDist2(o->GetWorldPos(), me) < 39.0625f)
                Send(this, SMSG_CHASE_OBJECT, o);
        }
    }
    if (target != nullptr && chasetarget) {
        wanderdir = FlatUnit(target->GetWorldPos() - me);
        if (Dist2(target->GetWorldPos(), me) < CombatVicinity * CombatVicinity)
            Send(this, SMSG_HARASS_OBJECT, target);
    }
    Move();
}

void Enemy::Frame_Run_Running()
{
    const VectorPos me = GetWorldPos();
    bool nearby = false;
    float d2 = 0.0f;
    if (target != nullptr) {
        const VectorDir to = target->GetWorldPos() - me;
        d2 = Dot(to, to);
        nearby = Dot(Forward(this), to) >= 0.0f ? d2 < kNear2Ahead : d2 < kNear2Behind;
    }
    bool begunnow = false;
    if (pursuitstarttime == -1) {
        pursuitstarttime = world.time;
        const int n = int((1.0f - aggro) * 120.0f);
        pursuitserioustime = world.time + int(kSeriousFrames) + 60 * RandomN(n);
        begunnow = true;
    }
    if (nearby && oblivious) {
        if (gameeventobj != nullptr)
            Send(gameeventobj, SMSG_EV_TARGET_BUSTED, this);
        oblivious = false;
    }
    if (nearby && !panic) {
        panic = true;
        if (mode != 2) {
            knowspursuernear = true;
            Start_Run_Evasion();
        }
        movesubmode = MoveSub_Normal;
        BeginLookBack();
    }
    UpdateLocType();
    if (loctype >= GroundType_OnCornerSidewalk_LL && loctype <= GroundType_InIntersection) {
        if (movemode == Move_DownSidewalk || movemode == Move_OntoSidewalk) {
            const bool rested = stoppedatcornertime == -1 || world.time - stoppedatcornertime >= 300;
            if (!panic && rested && ghc.pjunc != nullptr && ghc.pjunc->nRoadsegs >= 4 &&
                randf() < (1.0f - aggro) * 0.5f) {
                Start_StoppingAtCorner();
            } else {
                const VectorDir away = target != nullptr ? FlatUnit(me - target->GetWorldPos()) : lastmovedir;
                ChooseIntersectionMode(GROUNDTYPE(prevloctype), away, false, VectorDir(0.0f, 0.0f, 0.0f));
            }
        } else if (movemode == Move_IntoIntersection) {
            SetMoveMode(lastmovemode);
        }
    } else if (loctype == GroundType_OnStreetSidewalk_L || loctype == GroundType_OnStreetSidewalk_R) {
        if (movemode == Move_AtCorner || movemode == Move_AroundCorner || movemode == Move_AcrossStreet ||
            movemode == Move_AcrossCrosswalk || movemode == Move_AcrossIntersection) {
            RestartPreviousMoveAnim();
            SetMoveMode(Move_DownSidewalk);
        }
    } else if (movemode != Move_OntoSidewalk && movemode != Move_IntoIntersection) {
        const bool crossing = movemode == Move_AtCorner || movemode == Move_AroundCorner ||
                              movemode == Move_AcrossStreet || movemode == Move_AcrossCrosswalk ||
                              movemode == Move_AcrossIntersection;
        if (loctype == GroundType_InStreet) {
            if (!(movemode == Move_DownSidewalk && movesubmode == MoveSub_TurnAround))
                SetMoveMode(Move_OntoSidewalk);
        } else {
            SetMoveMode(crossing ? Move_IntoIntersection : Move_OntoSidewalk);
        }
    }
    Move();
    if (morphed || mode != 2 && mode != 4)
        return;
    if (mode2 == +BA::SPRINT_LOOKBACK_ANI || mode2 == +BA::WALK_LOOKBACK_ANI || mode2 == +BA::SPRINT_TAKECOVER_ANI)
        LookBack();
    else if (IsFireBackAni(mode2))
        FireBack();
    if (!nearby) {
        // The pursuer was near a moment ago: look back soon, whether or not
        // a look-back was planned (an unplanned one counts as the latest).
        if (knowspursuernear) {
            const WorldTime soon = world.time + RandomN(120);
            nextlookbacktime = nextlookbacktime == -1 ? soon : std::min(nextlookbacktime, soon);
        }
        if (nextlookbacktime == -1) {
            nextlookbacktime = world.time + 360 + RandomN(240);
        } else if (nextlookbacktime <= world.time && movesubmode == MoveSub_Normal) {
            nextlookbacktime = world.time + 360 + RandomN(240);
            if (!begunnow)
                BeginLookBack();
        }
    }
    if (target != nullptr && target == PlayerObject() && shootingchance > 0.0f &&
        rightgunarm.weapon.bulletsLeft > 0 && movesubmode == MoveSub_Normal && numshotsleft == 0 &&
        frame > 150.0f && !IsFireBackAni(mode2) && d2 < 156.25f) {
        const float dist = std::sqrt(d2);
        if (randf() < (1.0f - 0.08f * dist + shootingchance) * 0.5f || PlayerShotLately()) {
            numshotsleft = std::max(1, int(shootingchance * 3.0f));
            BeginFireBack();
        }
    }
    knowspursuernear = nearby;
}

void Enemy::Frame_Run_Hit()
{
    mat.w = Vector(mat.GetTrans() + hitvel * world.playbackSpeed, 1.0f);
    const u16 a = mode2;
    if (a == +BA::KNOCKED_AWAY_ANI || a == +BA::KNOCKED_AWAY_HURT_ANI || a == +BA::KNOCKED_UP_ANI ||
        a == +BA::KNOCKED_UP_HURT_ANI) {
        const float h = world.GroundHeight(GetWorldPos(), nullptr, &ghc);
        hitvel[1] += 0.00085156f;
        Object* low = FindSubObject(SUB_GRAB);
        const float lowy = low != nullptr ? low->GetWorldPos()[1] : 0.0f;
        if (h < 0.0f && h < lowy) {
            mat.w = Vector(VectorPos(mat.w[0], h, mat.w[2]), 1.0f);
            hitvel = VectorDir(0.0f, 0.0f, 0.0f);
            u16 next = +BA::ROLL_ANI;
            if (a == +BA::KNOCKED_AWAY_HURT_ANI)
                next = +BA::ROLL_HURT_ANI;
            else if (a == +BA::KNOCKED_UP_ANI)
                next = +BA::RUN_OVER_ANI;
            else if (a == +BA::KNOCKED_UP_HURT_ANI)
                next = +BA::RUN_OVER_DEAD_ANI;
            BlendToAnim(next, 3);
        }
    } else {
        hitvel = VectorDir(0.0f, 0.0f, 0.0f);
    }
}

void Enemy::Frame_Run_Threaten()
{
    if (target == nullptr)
        return;
    TurnTowardFlat(target->GetWorldPos() - GetWorldPos());
    const OBJMESSAGEHANDLER kind = target->messagehandler;
    if (ishostage && (kind == &Enemy::RunnerEnemy_mh || kind == &Enemy::ShooterEnemy_mh ||
                      kind == &Enemy::FighterEnemy_mh)) {
        auto* taker = static_cast<Enemy*>(static_cast<Object*>(target));
        if (static_cast<Object*>(taker->target) != this) {
            ishostage = false;
            if (gameeventobj != nullptr)
                Send(gameeventobj, SMSG_EV_THREATENED, this, taker);
            MorphIntoBystander(taker);
        }
    }
}
