// What others tell and ask a runner (its special messages), what it does
// when an animation ends, the choice a stopped runner makes between giving
// up, fighting and shooting, its collisions, and any enemy's reaction to a
// car that hits it.
#include "game/BadGuyRunnerShared.h"

#include <algorithm>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "game/Bystander.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/PlayerAnim.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"

using namespace runner;

namespace {

constexpr unsigned kDownOrDying = GUYF_DYING | GUYF_DEAD;

VectorPos ParamPos(const SpecialMessage* m)
{
    return VectorPos(float(m->param[0]), float(m->param[1]), float(m->param[2]));
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages

void Enemy::RunnerKill()
{
    strength = 0.0f;
    if (mode == 7 && car != nullptr && car->rcoDriver != nullptr && mode2 >= 55 && mode2 <= 62)
        Send(car->rcoDriver, SMSG_CD_RESUME, this);
    BlendToAnim(mode2 == +BA::GETUP_ANI || mode2 == +BA::LYING_DOWN_ANI ? +BA::LYING_DOWN_KILLED_ANI : +BA::KILLED_ANI, 3);
    flags |= GUYF_DYING;
}

int Enemy::RunnerSpecial(SpecialMessage* m)
{
    Object* obj = m->obj;
    const u16 a = mode2;
    auto idRule = [this](Object* v) {
        if (id >= -150 && id <= -101 && v != nullptr) {
            flags &= ~0x20u;
            v->flags |= 0x20;
        }
    };
    auto hurt = [this](float d) {
        if (d < strength) {
            strength -= d;
            if (mode == 2 || mode == 4)
                BlendToAnim(+BA::SPRINT_RECOIL_ANI, 3);
            else if (mode == 0)
                Start_Run_Evasion();
            return false;
        }
        return true;
    };
    switch (m->submsg) {
    case SMSG_HIBERNATE: Hibernate(); return 0;
    case SMSG_UNHIBERNATE: UnHibernate(); return 0;
    case SMSG_TACKLED:
        if (oblivious || mode == 7 || mode == 8 || mode == 11 || mode == 15 || a == +BA::SPRINT_TACKLED_ANI ||
            a == +BA::ROLL_ANI || a == +BA::ROLL_HURT_ANI || a == +BA::LYING_DOWN_ANI ||
            a == +BA::LYING_DOWN_KILLED_ANI || a == +BA::LYING_DOWN_DEAD_ANI)
            return 0;
        return 1;
    case SMSG_SHOT_AT:
        if (obj != nullptr && Dist2(obj->GetWorldPos(), GetWorldPos()) < 549.3164f)
            lastshotattime = world.time;
        return 0;
    case SMSG_PUT_IN_VEHICLE:
        PutIn(static_cast<Vehicle*>(obj), int(m->param[0]));
        idRule(obj);
        return 0;
    case SMSG_DAMAGE:
        if (strength == 0.0f || (flags & kDownOrDying))
            return 0;
        if (hurt(float(int(m->param[0]))))
            RunnerKill();
        return 0;
    case SMSG_GIVE_UP: GiveUp(); return 0;
    case SMSG_GRABBED: {
        if (a != +BA::GIVEUP_ANI || obj == nullptr)
            return 0;
        const VictimData* row = nullptr;
        for (const VictimData& v : VictimDataTable)
            if (v.enemyani == u16(int(m->param[0]))) {
                row = &v;
                break;
            }
        Object* hold = obj->FindSubObject(SUB_GRAB);
        Matrix gm = hold != nullptr ? hold->GetWorldMatrix() : obj->GetWorldMatrix();
        const Matrix turned = RotY(3.1415927f) * Matrix(gm.x, gm.y, gm.z, Vector(0.0f, 0.0f, 0.0f, 1.0f));
        gm = Matrix(turned.x, turned.y, turned.z, gm.w);
        gm.w = Vector(VectorPos(gm.w[0], mat.w[1], gm.w[2]), 1.0f);
        if (row == nullptr || row->victimani != +BA::ARRESTED_BUT_DOWN_ANI ||
            FlatDist2(gm.GetTrans(), GetWorldPos()) >= 1.25f)
            return 0;
        SetTarget(obj);
        currentvictimdata = *row;
        if (int(m->param[1]) != 0)
            currentvictimdata.morphlen = int(m->param[1]);
        victimdata = &currentvictimdata;
        grappledstartpos = mat.GetTrans();
        const VectorDir z = FlatUnit(VectorDir(gm.z.xyz()));
        if (z.LengthSq() > 0.0f) {
            const Matrix l = LookAlong(z);
            gm = Matrix(l.x, l.y, l.z, gm.w);
        }
        grappledmat = gm;
        grappledframe = frame;
        const float yawG = std::atan2(float(gm.z[0]), float(gm.z[2]));
        const float yawMe = std::atan2(float(mat.z[0]), float(mat.z[2]));
        grappleturnspeed = std::fabs(yawG - yawMe) / float(std::max(1, currentvictimdata.morphlen));
        flags &= ~ENEMYF_AIRBORNE;
        ReBlendToAnim(+BA::ARRESTED_BUT_DOWN_ANI, 5, -1, -1, false);
        flags |= ENEMYF_HOLDING;
        return 1;
    }
    case SMSG_RELEASED:
        flags &= ~ENEMYF_HOLDING;
        victimdata = nullptr;
        switch (mode) {
        case 11: Start_Run_Surrender(); break;
        case 2: Start_Run_Running(MOVE_SPRINT); break;
        case 4: Start_Run_Running(MOVE_RUN_NORMAL); break;
        case 1: Start_Run_Running(MOVE_WALK); break;
        default: Start_Run_Waiting(); break;
        }
        return 0;
    case SMSG_ATTACK_OBJECT: AttackObject(obj, int(m->param[0])); return 0;
    case SMSG_ATTACK_OBJECT_NODAMAGE: AttackObjectNoDamage(obj, int(m->param[0])); return 0;
    case SMSG_SHOOT_OBJECT: ShootObject(obj); return 0;
    case SMSG_SHOOT_OBJECT_NODAMAGE: ShootObjectNoDamage(obj); return 0;
    case SMSG_RUN_AWAY_FROM: RunAwayFromObject(obj); return 0;
    case SMSG_HARASS_OBJECT: HarassObject(obj); return 0;
    case SMSG_PED_WARNING_NEARBY:
    case SMSG_PED_SHOTS_A:
        if (!warnedbydace && dace != nullptr &&
            Dist2(dace->GetWorldPos(), GetWorldPos()) < OnFootActivationDist * OnFootActivationDist &&
            g_pgcTest != nullptr && g_pgcTest->bRandomMissionActive)
            warnedbydace = true;
        return 0;
    case SMSG_TAKE_HOSTAGE: TakeObjectHostage(obj); return 0;
    case SMSG_ALLY_WITH: AllyWithObject(obj); return 0;
    case SMSG_SEEK_OBJECT: SeekObject(obj); return 0;
    case SMSG_WANDER: Wander(); return 0;
    case SMSG_GET_IN_CAR:
        if (mode != 11) {
            GetInCar(static_cast<Vehicle*>(obj));
            idRule(obj);
        }
        return 0;
    case SMSG_CONGREGATE: Congregate(ParamPos(m)); return 0;
    case SMSG_SCOOT_OVER: ScootOver(); return 0;
    case SMSG_REACT_TO: ReactToObject(obj); return 0;
    case SMSG_THREATEN: ThreatenObject(obj, int(m->param[0])); return 0;
    case SMSG_MORPH_TO_BYSTANDER: MorphIntoBystander(obj); return -1;
    case SMSG_CHASE_OBJECT: ChaseObject(obj); return 0;
    case SMSG_QUERY_FEMALE: return IsFemaleChar(charid);
    case SMSG_QUERY_HOTTIE: return IsHottieChar(charid);
    case SMSG_QUERY_SHABBY: return IsShabbyChar(charid);
    case SMSG_STOP_CAR: StopCar(); return 0;
    case SMSG_TURN_INTO_HOSTAGE: TurnIntoHostage(); return 0;
    case SMSG_STRUGGLE_WITH: StruggleWithObject(obj); return 0;
    case SMSG_BAIL_OUT:
        if (car != nullptr && car->rcoDriver != nullptr) {
            VectorPos q = car->GetWorldPos();
            q = VectorPos(q[0] + randf() * 1005.84f - 502.92f, q[1], q[2] + randf() * 1005.84f - 502.92f);
            SpecialMessage drive(SMSG_CD_SET_DRIVE, nullptr, 4, &q);
            car->rcoDriver->SendMessage(OM_SPECIAL, &drive);
            Start_Run_Driving();
        }
        return 0;
    case SMSG_SPOTTED_QUERY: seenbydace = true; return 0;
    case SMSG_BODY_SNATCH:
        gEnemyCommandLog.last = "Enemy::BodySnatch";
        gEnemyCommandLog.count++;
        gEnemyCommandLog.obj = obj;
        gEnemyCommandLog.arg = 0;
        BodySnatch(obj != nullptr && obj->messagehandler == &Bystander::Bystander_mh ? static_cast<Bystander*>(obj)
                                                                                      : nullptr);
        return 0;
    case SMSG_SOFT_POPOUT:
        if (!(a >= 163 && a <= 167))
            AddToGeneralSoftPopOut(VectorDir(ParamPos(m)));
        return 0;
    case SMSG_CD_SEAT_TAKEN: PulloutObject(obj); return 0;
    case SMSG_CD_DRIVER_LEFT:
        if (issurrendering)
            RunAwayFromObject(PlayerObject());
        return 0;
    case SMSG_CD_PINNED: WalkTo(ParamPos(m)); return 0;
    case SMSG_PLAYER_RGUN_FLAG_OFF:
        if (rightgunarm.gun != nullptr)
            rightgunarm.gun->flags &= ~OBJF_HIDDEN;
        return 0;
    case SMSG_PLAYER_RGUN_FLAG_ON:
        if (rightgunarm.gun != nullptr)
            rightgunarm.gun->flags |= OBJF_HIDDEN;
        return 0;
    case SMSG_BULLET_HIT: {
        if (mode == 8 || strength == 0.0f || (flags & kDownOrDying))
            return 0;
        auto* b = static_cast<Bullet*>(obj);
        const float s = b != nullptr ? b->GetStrength() : 0.0f;
        if (s < strength && mode != 11) {
            hurt(s);
        } else {
            strength = 0.0f;
            if (mode == 11)
                flags &= ~ENEMYF_AIRBORNE;
            if (mode != 7 && mode != 8)
                BlendToAnim(a == +BA::GETUP_ANI || a == +BA::LYING_DOWN_ANI ? +BA::LYING_DOWN_KILLED_ANI
                                                                             : +BA::KILLED_ANI,
                            3);
            flags |= GUYF_DYING;
        }
        if (target == nullptr && b != nullptr)
            SetTarget(world.objectlist.Find(int(b->sourceid)));
        return 0;
    }
    case SMSG_EV_ARREST:
        if (a == +BA::ARRESTED_BUT_DOWN_ANI) {
            flags &= ~ENEMYF_AIRBORNE;
            const Matrix r = RotY(3.1415927f) * Matrix(mat.x, mat.y, mat.z, Vector(0.0f, 0.0f, 0.0f, 1.0f));
            mat.x = r.x;
            mat.y = r.y;
            mat.z = r.z;
            SetAnim(+BA::ARRESTED_ANI);
        }
        return 1;
    case SMSG_MODE_START:
        if (gameeventobj == nullptr)
            gameeventobj = obj;
        return 0;
    case SMSG_Q_SPOTTABLE: return iLastDrawnTime;
    case SMSG_Q_SHOOT_TARGET: return seenbydace;
    case SMSG_Q_29004: return warnedbydace;
    default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Animation ends

void Enemy::RunnerDeathReport()
{
    if (gameeventobj != nullptr && !(flags & GUYF_DEAD))
        Send(gameeventobj, SMSG_EV_CHARACTER_DIED, this);
}

int Enemy::RunnerAnimLoop(AnimEventMessage*)
{
    const u16 a = mode2;
    auto afterMorph = [this] { return morphed ? -2 : -1; };
    switch (a) {
    case 63:
    case 64:
    case 65:
    case 66:
    case +BA::ARRESTED_BUT_DOWN_ANI:
        flags |= ENEMYF_AIRBORNE;
        return -1;
    case 69: {
        Object* d = car != nullptr ? car->KickOutDriver(Vehicle::KICKOUT_PULLOUT, true, this) : nullptr;
        BlendToAnim(d != nullptr ? 73 : 63, 5);
        return -1;
    }
    case 70:
    case 73:
        if (mode == 7) {
            BlendToAnim(a == 70 ? 64 : 63, 5);
        } else if (mode == 15) {
            DetachW();
            AttackObject(target, 5);
        }
        return afterMorph();
    case 71:
    case 72: DetachFromCar(); return -1;
    case +BA::SPRINT_DART_L_ANI:
    case +BA::SPRINT_DART_R_ANI:
    case +BA::SPRINT_RECOIL_ANI:
    case +BA::SPRINT_SHOVE_L_ANI:
    case +BA::SPRINT_SHOVE_R_ANI:
    case +BA::SPRINT_TRIP_ANI:
    case +BA::SPRINT_YANK_L_ANI:
    case +BA::SPRINT_YANK_R_ANI:
    case +BA::DUCK_ANI: RestartPreviousMoveAnim(); return -1;
    case +BA::SPRINT_GETBEARINGS_ANI:
        RestartPreviousMoveAnim();
        End_StoppingAtCorner();
        return -1;
    case +BA::SPRINT_LOOKBACK_ANI:
    case +BA::WALK_LOOKBACK_ANI: EndLookBack(); return -1;
    case +BA::SPRINT_FIREBACK_L_ANI:
    case +BA::SPRINT_FIREBACK_R_ANI:
        if (numshotsleft == 0 || --numshotsleft == 0) {
            EndFireBack();
            RestartPreviousMoveAnim();
            return -1;
        }
        return 0;
    case +BA::SPRINT_TACKLED_ANI: SetAnim(+BA::SPRINT_TACKLED_GETUP_ANI); return -1;
    case +BA::SPRINT_TACKLED_GETUP_ANI: {
        const float d2 = target != nullptr ? Dist2(target->GetWorldPos(), GetWorldPos()) : 0.0f;
        if (pursuitserioustime != -1 && world.time < pursuitserioustime)
            SelectStoppedStrategy();
        else if (randf() < shootingchance && target != nullptr && d2 < 12.5f)
            MorphIntoShooter();
        else if (randf() < fightingchance && target != nullptr && d2 < 1.875f)
            MorphIntoFighter(5);
        else if (randf() < aggro * 0.5f)
            Start_Run_Evasion();
        else
            Start_Run_Surrender();
        return afterMorph();
    }
    case +BA::SPRINT_TAKECOVER_ANI:
        if (numtakecoverloops == 0) {
            EndTakeCover();
            return -1;
        }
        numtakecoverloops--;
        return 0;
    case +BA::ARRESTED_ANI:
        flags |= GUYF_BUSTED | ENEMYF_AIRBORNE;
        if (g_pgcTest != nullptr) {
            g_pgcTest->AddPoints(10, this);
            g_pgcTest->stats.nGoodDisposals++;
        }
        if (gameeventobj != nullptr)
            Send(gameeventobj, SMSG_EV_ENEMY_SUBDUED, this);
        return -1;
    case +BA::STRUGGLE_ATTACKER_GETUP_ANI:
        Send(gameeventobj, SMSG_EV_RUNNER_REACT, this);
        return afterMorph();
    case +BA::STRUGGLE_VICTIM_GETUP_ANI: MorphIntoBystander(target); return -2;
    case +BA::HARRASS_GUN_ASSUME_ANI:
    case +BA::HARRASS_KNIFE_ASSUME_ANI:
    case +BA::HARRASSED_FEMALE_ASSUME_ANI:
    case +BA::HARRASSED_MALE_ASSUME_ANI: BlendToAnim(u16(a + 1), 5); return -1;
    case +BA::GETUP_ANI:
        if (mode != 1)
            Start_Run_Evasion();
        return -1;
    case +BA::GETUP_HURT_ANI: Start_Run_Surrender(); return -1;
    case +BA::SHOCKED_ANI:
        if (mode == 12) {
            Send(gameeventobj, SMSG_EV_RUNNER_REACT, this);
            return afterMorph();
        }
        Start_Run_Evasion();
        return -1;
    case +BA::ROLL_ANI:
        if (strength <= 0.0f) {
            BlendToAnim(+BA::LYING_DOWN_KILLED_ANI, 5);
            strength = 0.0f;
        } else {
            SetAnim(+BA::GETUP_ANI);
        }
        return -1;
    case +BA::ROLL_HURT_ANI: SetAnim(+BA::GETUP_HURT_ANI); return -1;
    case +BA::LYING_DOWN_ANI:
    case +BA::RUN_OVER_ANI: SetAnim(+BA::GETUP_ANI); return -1;
    case +BA::KILLED_ANI:
    case +BA::LYING_DOWN_KILLED_ANI:
        RunnerDeathReport();
        flags |= GUYF_DEAD | OBJF_SELFANIMATING | OBJF_NOCOLLISION;
        return -1;
    case +BA::LYING_DOWN_DEAD_ANI:
    case +BA::RUN_OVER_DEAD_ANI:
        RunnerDeathReport();
        flags |= GUYF_DEAD | OBJF_SELFANIMATING;
        flags &= ~0x20u;
        return -1;
    case +BA::CARTRANS_CAR_JUMP_BACK_ANI:
        BlendToAnim(+BA::WALK_ANI, 15);
        Start_Run_Evasion();
        return -1;
    case +BA::CARTRANS_CAR_JUMP_FWD_ANI: BlendToAnim(+BA::GETUP_ANI, 15); return -1;
    case +BA::GIVEUP_ANI: return -1;
    default: return 0;
    }
}

int Enemy::SelectStoppedStrategy()
{
    const float d2 = target != nullptr ? Dist2(target->GetWorldPos(), GetWorldPos()) : 0.0f;
    auto willing = [this](float ch) { return randf() < 1.0f - fatigue || randf() < aggro || ch == 1.0f; };
    auto asShooter = [&] {
        if (willing(shootingchance) && target != nullptr && d2 < 12.5f) {
            MorphIntoShooter();
            return true;
        }
        return false;
    };
    auto asFighter = [&] {
        if (willing(fightingchance) && target != nullptr && d2 < 1.875f) {
            MorphIntoFighter(5);
            return true;
        }
        return false;
    };
    // An option whose chance is 0 is never taken, the first tried included:
    // a runner with no will to shoot or fight always gives up.
    bool done;
    if (shootingchance < fightingchance)
        done = asFighter() || (shootingchance > 0.0f && asShooter());
    else
        done = (shootingchance > 0.0f && asShooter()) || (fightingchance > 0.0f && asFighter());
    if (!done)
        Start_Run_Surrender();
    return 0;
}

void Enemy::Start_Runner_Mode(int m)
{
    switch (m) {
    case 0: Start_Run_Waiting(); break;
    case 1: Start_Run_Wander(); break;
    case 2: Start_Run_Evasion(); break;
    case 4: Start_Run_Running(MOVE_RUN_FAST); break;
    case 5: Start_Run_Tackled(); break;
    case 6: Start_Run_Hit(); break;
    case 7: Start_Run_Transition(); break;
    case 8: Start_Run_Driving(); break;
    case 9: Start_Run_Stopping(); break;
    case 10: Start_Run_Passenger(); break;
    case 11: Start_Run_Surrender(); break;
    case 12: Start_Run_React(); break;
    case 13: Start_Run_Threaten(); break;
    case 14: Start_Run_Dive(); break;
    case 15: Start_Run_Pullout(); break;
    case 16: Start_Run_Struggle(); break;
    case 17: Start_Run_StruggleGetUp(); break;
    case 18: Start_Run_Congregate(); break;
    case 19: Start_Run_WalkTo(); break;
    case 21: MorphIntoFighter(5); break;
    case 22:
    case 24: MorphIntoShooter(); break;
    default: SelectStoppedStrategy(); break;
    }
}

// ---------------------------------------------------------------------------
// Collisions

VectorDir Enemy::GetObjectVelocity(Object* o)
{
    if (o == nullptr)
        return VectorDir(0.0f, 0.0f, 0.0f);
    if (o->type == OBJT_CHARACTER)
        return VectorDir(o->mat.z.xyz()) * (1.0f / 384.0f);
    if (o->type == OBJT_VEHICLE)
        return VectorDir(static_cast<DynamicObject*>(o)->Vel().xyz());
    return VectorDir(0.0f, 0.0f, 0.0f);
}

VectorDir Enemy::CollideWithVehicleHit(CollisionRecord* cr)
{
    Object* other = cr->HitObj();
    const VectorDir v = GetObjectVelocity(other);
    const bool info = cr->GetInfo();
    VectorDir n = FlatUnit(info ? cr->Normal() : v);
    const float s = Dot(v, n);
    if (s < 0.0116417f)
        return info ? VectorDir(-n * cr->Dist()) : VectorDir(0.0f, 0.0f, 0.0f);
    if (n.LengthSq() > 0.0f) {
        const Matrix l = LookAlong(-n);
        mat.x = l.x;
        mat.y = l.y;
        mat.z = l.z;
    }
    u16 anim;
    float loss, kh, kl, cap;
    if (s >= 0.1397f) {
        anim = +BA::ROLL_ANI, loss = 16.0f, kh = 0.0f, kl = 0.1f, cap = 1.0f / 1920.0f;
    } else if (s >= 0.06985f) {
        anim = +BA::KNOCKED_UP_ANI, loss = 4.0f, kh = 0.2f, kl = 2.0f, cap = 1.0f / 38.4f;
    } else {
        anim = +BA::KNOCKED_AWAY_ANI, loss = 1.0f, kh = 0.25f, kl = 2.5f, cap = 1.0f / 48.0f;
    }
    if (s >= 0.06985f)
        DropHostage();
    else
        n = n + (n ^ VectorDir(0.0f, 1.0f, 0.0f)) * ((rand() & 1) ? 2.0f : -2.0f);
    BlendToAnim(anim, 3);
    strength -= loss;
    if (strength <= 0.0f) {
        strength = 0.0f;
        flags |= GUYF_DYING;
    }
    SetBlendFactorHierarchy(this, 1, 0.0f);
    const VectorDir hv = n * (s * kh) + VectorDir(0.0f, -std::min(cap, s * kl), 0.0f);
    if (hv.LengthSq() > hitvel.LengthSq())
        hitvel = hv;
    if (enemytype != ENEMYTYPE_RUNNER)
        MorphIntoRunner();
    Start_Run_Hit();
    return VectorDir(0.0f, 0.0f, 0.0f);
}

int Enemy::CollideWithVehicle(CollisionRecord* cr)
{
    const VectorDir push = CollideWithVehicleHit(cr);
    if (push.LengthSq() > 0.0f)
        AddToPopOut(push, true);
    return 0;
}

int Enemy::RunnerCollision(CollisionRecord* cr)
{
    Object* other = cr->HitObj();
    if (other == nullptr)
        return 0;
    Object* hispart = cr->HisPart();
    Object* mypart = cr->MyPart();
    VectorDir hard(0.0f, 0.0f, 0.0f), soft(0.0f, 0.0f, 0.0f), framepush(0.0f, 0.0f, 0.0f);
    const bool arrested = mode2 == +BA::ARRESTED_ANI || mode2 == +BA::ARRESTED_BUT_DOWN_ANI;
    auto turnWander = [this](int threshold) {
        if (mode != 1)
            return;
        const int r = RandomN(100);
        if (r < threshold)
            wanderdir = VectorDir((RotY(0.1745329f) * Vector(wanderdir, 0.0f)).xyz());
        else
            wanderdir = -wanderdir;
    };
    auto finish = [&] {
        if (framepush.LengthSq() > newpushoutvel.LengthSq())
            newpushoutvel = framepush;
        if (hard.LengthSq() > 0.0f)
            AddToPopOut(hard, true);
        if (soft.LengthSq() > 0.0f)
            AddToSoftPopOut(soft, other);
        return 0;
    };
    const bool character = other->type == OBJT_CHARACTER;
    if (character && hispart != nullptr && (hispart->flags & 0x1000)) {
        if (mode != 11 && mode != 8) {
            Start_Run_Tackled();
            return finish();
        }
    }
    if (mode == 7 || mode == 15 || mode == 8 || mode == 10)
        return 0;
    if (character && mypart != nullptr && (mypart->flags & 0x1000))
        return finish();
    if (other->type == OBJT_STATIC || other->type == OBJT_PLACEHOLDER || mode2 == +BA::SPRINT_TACKLED_ANI) {
        if (!cr->GetInfo())
            return finish();
        const VectorDir n = cr->Normal();
        if (n[1] < -0.703125f) {
            float h = groundterrainy;
            h = GetObjectGroundHeight(other->GetCollision(), other->GetWorldMatrix(), h, GetWorldPos(), nullptr);
            if (groundobj != nullptr && !(h < groundobjy))
                return finish();
            if (groundobj != nullptr && std::fabs(groundobjnormal[1]) < 0.95f)
                hard = Flat(-groundobjnormal * groundobjdist);
            groundobj = other;
            groundobjy = h;
            groundobjdist = cr->Dist();
            groundobjnormal = Normalise(n);
        } else if (std::fabs(n[1]) < 0.95f) {
            hard = Flat(-n * cr->Dist());
            if (arrested && target != nullptr)
                AddToPopOut(hard, true);
            turnWander(80);
        }
        return finish();
    }
    if (character) {
        if ((flags & kDownOrDying) || arrested)
            return 0;
        if (other->id >= 100 && mode2 == +BA::SPRINT_ANI) {
            const float x = Dot(other->GetWorldPos() - GetWorldPos(), VectorDir(mat.x.xyz()));
            BlendToAnim(x < 0.0f ? +BA::SPRINT_SHOVE_L_ANI : +BA::SPRINT_SHOVE_R_ANI, 3);
            return finish();
        }
        if (other->id == -1 && other->parent == nullptr) {
            const u16 pa = static_cast<Guy*>(other)->mode2;
            if (pa == PED_CHASE_TACKLE_ANI || pa == PED_CHASE_TACKLE_INAIR_ANI || pa == PED_CHASE_TACKLE_LAND_ANI)
                return 0;
        }
        Object* mine = FindSubObject(SUB_TORSO);
        Object* his = other->FindSubObject(SUB_TORSO);
        bool overlap = false;
        if (mine != nullptr && his != nullptr)
            overlap = PushOutCharacter(mine, his, &soft, &framepush, 1.0f, 1.25f);
        if (!overlap && cr->GetInfo())
            framepush = Flat(cr->Normal()) * -cr->Dist();
        if (mode2 == +BA::WALK_ANI || mode2 == +BA::GUN_WALK_FWD_ANI)
            turnWander(70);
        return finish();
    }
    if (other->type == OBJT_VEHICLE) {
        hard = CollideWithVehicleHit(cr);
        if (arrested && target != nullptr && hard.LengthSq() > 0.0f)
            AddToPopOut(hard, true);
        return finish();
    }
    if (cr->GetInfo()) {
        const VectorDir n = cr->Normal();
        if (Dot(n, Forward(this)) < 0.0f)
            framepush = n * -cr->Dist();
    }
    return finish();
}
