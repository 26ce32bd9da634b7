// The shooter: its handler and frame, spotting and move paths, the wait,
// arrive, see and patrol states, and what follows the end of each animation
// (recoils resume, falls land, the dead drop their guns).
#include "game/BadGuy.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/ShotEffects.h"

using BA = BadGuyAnims;

namespace {

constexpr unsigned kBusyFlags = 0x70000000;

bool In(u16 a, BA lo, BA hi) { return a >= +lo && a <= +hi; }

void SendEvent(Object* to, int code, Object* about, Variant p0 = 0, Variant p1 = 0)
{
    if (to == nullptr)
        return;
    SpecialMessage m(code, about, p0, p1);
    to->SendMessage(OM_SPECIAL, &m);
}

bool IsWalkAni(u16 a)
{
    return In(a, BA::GUN_WALK_BACK_ANI, BA::GUN_WALK_RIGHT_ANI) ||
           In(a, BA::GUN_HOLDHOSTAGE_WALK_BACK_ANI, BA::GUN_HOLDHOSTAGE_WALK_RIGHT_ANI);
}

bool IsDeathAni(u16 a)
{
    for (BA d : {BA::GUN_KILLED_ANI, BA::GUN_KILLED2_ANI, BA::GUN_KILLED_FALL_ANI, BA::GUN_KILLED_FALL_INAIR_ANI,
                 BA::GUN_KILLED_FALL_LAND_ANI, BA::GUN_CARCASS_KILLED_INAIR_ANI, BA::GUN_CARCASS_KILLED_LAND_ANI,
                 BA::KILLED_ANI, BA::LYING_DOWN_KILLED_ANI})
        if (a == +d)
            return true;
    return false;
}

VectorPos WorldPosOf(Object* o) { return o != nullptr ? o->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f); }

}  // namespace

// ---------------------------------------------------------------------------
// Handler

int Enemy::ShooterEnemy_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        Enemy* e = new Enemy(ShooterEnemy_mh, nullptr, 0);
        return int(reinterpret_cast<intptr_t>(e));
    }
    return static_cast<Enemy*>(obj)->ShooterMh(msg, data);
}

int Enemy::ShooterMh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_FRAME: {
        if (dace != nullptr) {
            const float d2 = (dace->GetWorldPos() - GetWorldPos()).LengthSq();
            if (IsHibernating() && d2 < 2197.265625f)
                UnHibernate();
            else if (!IsHibernating() && d2 >= 2197.265625f)
                Hibernate();
        }
        if (IsHibernating() || (flags & GUYF_DEAD))
            return 0;
        mat.w = Vector(mat.GetTrans() + GetPopOut(), 1.0f);
        ClearPopOut();
        if (ShooterFrame() == -1) {
            if (u32BGFlags & BGF_LEAVING)
                Delete();
            return 0;
        }
        const VectorDir v = (pushoutvel + newpushoutvel) * 0.5f;
        const VectorDir m = (pushoutmovement + v) * 0.25f;
        mat.w = Vector(mat.GetTrans() + m, 1.0f);
        pushoutvel = v;
        pushoutmovement = m;
        newpushoutvel = VectorDir(0.0f, 0.0f, 0.0f);
        if (timeleft != 0 && timeleft != -1)
            timeleft--;
        if (updatebodycollframe <= frame) {
            UpdateBodyColl(shootfootrootcollmask, shootrootcollmask, shootrootcollmask, 0.15625f);
            updatebodycollframe = frame + 1.0f + float(RandomN(3));
        }
        return 0;
    }
    case OM_INIT:
        InitAsShooter();
        return 0;
    case OM_COLLISION:
        return IsHibernating() ? 0 : ShooterCollision(static_cast<CollisionRecord*>(data));
    case OM_DIE:
        if (gameeventobj != nullptr)
            SendEvent(gameeventobj, SMSG_EV_ENEMY_REMOVED, this);
        world.pedlist.Remove(this);
        if (mdlfile != nullptr)
            g_GlobalMFI.DecrementRef(mdlfile);
        RemoveAsShooter();
        delete this;
        return -1;
    case OM_ANIMLOOP: {
        auto* m = static_cast<AnimEventMessage*>(data);
        if (m == nullptr || m->slot != 0)
            return 0;
        const int r = ShooterAnimLoop(m);
        if (mode2 == +BA::GUARD_IDLE_TURNAROUND_MARKTIME_ANI)
            flags |= ENEMYF_HOLDING;
        else
            flags &= ~ENEMYF_HOLDING;
        return r;
    }
    case OM_ANIMEVENT: {
        auto* m = static_cast<AnimEventMessage*>(data);
        if (m == nullptr)
            return 0;
        Camera* c = GetCurrentCam();
        switch (m->event) {
        case 131:
            if (rightgunarm.gun != nullptr)
                rightgunarm.ArmGun();
            break;
        case 133:
            if (rightgunarm.gun != nullptr)
                rightgunarm.DisarmGun();
            break;
        case 140: if (c) c->Shake(true, false); break;
        case 141: if (c) c->Shake(true, true); break;
        case 142: if (c) c->Shake(false, false); break;
        case 143: if (c) c->Shake(false, true); break;
        case 160: {
            // One draw chooses among the three hurt lines.
            const int r = RandomN(3);
            PlayVoice(r == 0 ? NPCVO_Hurt_3 : RandomN(2) == 0 ? NPCVO_Hurt_1 : NPCVO_Hurt_2);
            break;
        }
        case 161: PlayVoice(NPCVO_Knockdown); break;
        case 162: PlayVoice(NPCVO_Choke); break;
        case 163: PlayVoice(NPCVO_Killed); break;
        case 164: PlayVoice(NPCVO_BattleCry_Taunt); break;
        case 165: PlayVoice(RandomN(2) == 0 ? NPCVO_BattleCry_1 : NPCVO_BattleCry_2); break;
        case 166: PlayVoice(NPCVO_BattleCry_3); break;
        default: break;
        }
        return 0;
    }
    case OM_SPECIAL: {
        auto* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        if (m->submsg == SMSG_MODE_BODY_TIMEOUT) {
            fadedeath = true;
            flags |= OBJF_DRAWSELF;
            deathtime = int(m->param[0]);
            return 0;
        }
        if (m->submsg == SMSG_Q_RETICLE_POS) {
            VectorPos* out = m->param[0];
            Object* part = nullptr;
            bool known = true;
            switch (int(m->param[1])) {
            case 0: part = lhand != nullptr ? lhand->parent : nullptr; break;
            case 1: part = rhand != nullptr ? rhand->parent : nullptr; break;
            case 6: part = lfoot != nullptr ? lfoot->parent : nullptr; break;
            case 7: part = rfoot != nullptr ? rfoot->parent : nullptr; break;
            case 15: part = head; break;
            default: known = false; break;
            }
            if (out != nullptr) {
                if (!known)
                    *out = VectorPos(0.0f, 0.0f, 0.0f);
                else if (part != nullptr && torso != nullptr)
                    *out = part->GetWorldPos() - torso->GetWorldPos();
            }
            return 1;
        }
        const int code = m->submsg;
        const int r = ShooterSpecial(m);
        if (code == SMSG_MORPH_TO_BYSTANDER && r < 0)
            return r;
        if (mode2 == +BA::GUARD_IDLE_TURNAROUND_MARKTIME_ANI)
            flags |= ENEMYF_HOLDING;
        else
            flags &= ~ENEMYF_HOLDING;
        return r;
    }
    case OM_WASDRAWN:
        iLastDrawnTime = int(intptr_t(data));
        return 0;
    case OM_RENDER: {
        auto* rc = static_cast<RenderContext*>(data);
        if (Before(checkoffscreentime, world.time)) {
            checkoffscreentime = world.time + 5 + RandomN(5);
            isonscreen = rc != nullptr && torso != nullptr ? !rc->TestCull(torso->GetWorldPos()) : isonscreen;
        }
        if (Before(deathtime, world.time) && fadedeath) {
            const float f = std::min(1.0f, float(world.time - deathtime) * 0.00625f);
            flags &= ~OBJF_SHADOW;
            if (rc != nullptr)
                rc->SetGlobalTransparency(1.0f - f);
            if (f >= 1.0f) {
                flags |= OBJF_HIDDEN;
                flags &= ~OBJF_DRAWSELF;
            }
        }
        mat.w = Vector(mat.GetTrans() + GetPopOut(), 1.0f);
        ClearPopOut();
        return 0;
    }
    case OM_CINEMAOVER: {
        if (mode == 26) {
            BlendToAnim(+BA::GUN_IDLE_NOSHOOT_ANI, 0);
        } else if (mode == 0) {
            BlendToAnim(hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_IDLE_ANI : +BA::GUN_DUCK_ANI, 0);
        } else if (mode == 32 || mode == 35) {
            BlendToAnim(+BA::GUARD_IDLE_ANI, 0);
        } else if (mode2 != +BA::GUN_IDLE_ANI) {
            SetAnim(+BA::GUN_DUCK_ANI);
            BlendToAnim(+BA::GUN_IDLE_ANI, 3);
        }
        return 0;
    }
    default:
        return 0;
    }
}

bool Enemy::IsBusy() const
{
    if (flags & kBusyFlags)
        return true;
    const u16 a = mode2;
    return a == +BA::GUN_RECOIL_ANI || a == +BA::GUN_DUCK_RECOIL_ANI || a == +BA::GUN_LYINGDOWN_RECOIL_ANI ||
           a == +BA::GUN_KNOCKDOWN_ANI || a == +BA::GUN_GETUP_ANI || In(a, BA::GUARD_DISARMED_ANI, BA::GUARD_DISARMED_P_ANI) ||
           In(a, BA::GUN_GRAPPLED_ANI, BA::GUN_GRAPPLED_RELEASE_ANI) || In(a, BA::ARRESTED_ANI, BA::ARRESTED_LYINGDOWN_R_ANI);
}

int Enemy::ShooterFrame()
{
    if (WatchForVehicles()) {
        DiveOutOfTheWay();
        return -1;
    }
    // 2. The hostage was lost.
    if (In(mode2, BA::GUN_HOLDHOSTAGE_IDLE_ANI, BA::GUN_HOLDHOSTAGE_FIRE_ANI) ||
        In(mode2, BA::GUN_HOLDHOSTAGE_WALK_BACK_ANI, BA::GUN_HOLDHOSTAGE_WALK_RIGHT_ANI)) {
        if (hostage != nullptr && (hostage->flags & (GUYF_DYING | GUYF_DEAD))) {
            BlendToAnim(+BA::GUN_RECOIL_ANI, 5);
            hostage = nullptr;
        }
    }
    bool toGround = false;
    if (victimdata != nullptr && (!InGuardMode() || (flags & GUYF_BUSTED))) {
        // 3. Held by the player's grab.
        const VictimData& v = *victimdata;
        if (grappledframe > -8388608.0f && frame - grappledframe >= float(v.morphlen)) {
            if (!v.morphgrappler)
                mat = grappledmat;
            flags &= ~ENEMYF_HOLDING;
            SetAnim(v.victimani, grapplebankoverride, grappleindexoverride);
            victimdata = nullptr;
        } else if (!v.morphgrappler) {
            const float u = 1.0f - (grappledframe + float(v.morphlen) - frame) / float(v.morphlen + 1);
            mat.w = Vector(grappledmat.GetTrans() * u + grappledstartpos * (1.0f - u), 1.0f);
            TurnToward(VectorDir(grappledmat.z.xyz()), grappleturnspeed * world.playbackSpeed);
        }
        groundheightoverride = true;
        ShooterAnimate(1.0f);
        toGround = true;
    } else if (mode2 == +BA::GUARD_DISARMED_IDLE_ANI || mode2 == +BA::GUARD_DISARMED_BACK_ANI ||
               In(mode2, BA::GUN_GRAPPLED_IDLE_ANI, BA::GUN_GRAPPLED_WALK_RIGHT_ANI)) {
        // 4. Held as a shield.
        if (target != nullptr) {
            const Matrix tm = target->GetWorldMatrix();
            Object* grab = target->FindSubObject(31);
            mat.x = tm.x;
            mat.y = tm.y;
            mat.z = tm.z;
            mat.w = Vector(grab != nullptr ? grab->GetWorldPos() : tm.GetTrans(), 1.0f);
        }
        if (!InGuardMode() && frame - grappledframe > (1.0f - aggro) * 120.0f + 60.0f) {
            if (!seektarget && !chasetarget && randf() < aggro / 3.0f) {
                SendEvent(target, SMSG_PLAYER_LOSE_SHIELD, this);
                BlendToAnim(+BA::GUN_RECOIL_ANI, 10);
            } else {
                grappledframe = frame;
            }
        }
        groundheightoverride = true;
        rightgunarm.Frame(VectorPos(0.0f, 0.0f, 0.0f));
        ShooterAnimate(1.0f);
        toGround = true;
    } else if (In(mode2, BA::KNOCKED_AWAY_ANI, BA::KNOCKED_UP_HURT_ANI)) {
        // 5. Knocked through the air.
        mat.w = Vector(mat.GetTrans() + hitvel * world.playbackSpeed, 1.0f);
        hitvel[1] += 0.000851562f;
        Object* ref = FindSubObject(31);
        const float refy = ref != nullptr ? ref->GetWorldPos()[1] : GetWorldPos()[1];
        if (groundy < 0.0f && groundy < refy) {
            mat.w[1] = groundy;
            hitvel = VectorDir(0.0f, 0.0f, 0.0f);
            static const BA lands[4] = {BA::ROLL_ANI, BA::ROLL_HURT_ANI, BA::RUN_OVER_ANI, BA::RUN_OVER_DEAD_ANI};
            BlendToAnim(+lands[mode2 - +BA::KNOCKED_AWAY_ANI], 3);
        }
        groundheightoverride = false;
        ShooterAnimate(1.0f);
        toGround = true;
    }
    if (!toGround) {
        rightgunarm.primarywristdir = VectorDir(mat.y.xyz()) * -1.0f;
        rightgunarm.alternatewristdir = VectorDir(mat.x.xyz()) * -1.0f;
        groundheightoverride = false;
        if (mode == 26)
            TargetSpotted();
        else if (!InGuardMode() && !targetspotted && TrySpottingTarget(4, 4, false))
            TargetSpotted();

        // 7. The state.
        auto active = [this] {
            if (flags & kBusyFlags)
                flags &= ~ENEMYF_ACTIVE;
            else
                flags |= ENEMYF_ACTIVE;
        };
        switch (mode) {
        case 0: active(); Frame_Shoot_Wait(); break;
        case 11: Frame_Shoot_Surrender(); break;
        case 22: active(); Frame_Shoot_Arrive(); break;
        case 23: active(); Frame_Shoot_See(); break;
        case 24:
            active();
            Frame_Shoot_Patrol();
            if (g_pgcTest != nullptr && g_pgcTest->bRandomMissionActive)
                groundheightoverride = (flags & ENEMYF_ACTIVE) != 0;
            break;
        case 25: active(); Frame_Shoot_TakeCover(); break;
        case 26: active(); Frame_Shoot_Sniping(); break;
        case 32: Frame_Guard(); break;
        case 33:
        case 34: Frame_Guard_Check(); break;
        case 35:
            Frame_Guard_Patrol();
            groundheightoverride = (flags & ENEMYF_ACTIVE) != 0;
            break;
        case 36: active(); Frame_Shoot_TakeCover_Sniping(); break;
        default: {
            mode = 24;
            const u16 a = mode2;
            if (a == +BA::SPRINT_TACKLED_ANI || a == +BA::COMBAT_KNOCKDOWN_ANI || a == +BA::GUN_LYINGDOWN_ANI ||
                a == +BA::ROLL_HURT_ANI || a == +BA::LYING_DOWN_ANI || a == +BA::RUN_OVER_ANI)
                BlendToAnim(+BA::GUN_GETUP_ANI, 10);
            else
                BlendToAnim(IdleAni(), 10);
            break;
        }
        }

        // 8. After the state.
        if (u32BGFlags & BGF_LEAVING)
            return -1;
        if (flags & OBJF_DEAD)
            return 0;
        if (morphed) {
            morphed = false;
            return -1;
        }
        if (target != nullptr && (target->IsDead() || (target->flags & GUYF_DEAD))) {
            target = nullptr;
            pTargetTorso = nullptr;
            targetspotted = false;
            if (chasetarget) {
                SpecialMessage m(SMSG_SEEK_OBJECT, nullptr);
                SendMessage(OM_SPECIAL, &m);
            }
            if (harasstarget) {
                SpecialMessage m(SMSG_SEEK_OBJECT, nullptr);
                SendMessage(OM_SPECIAL, &m);
            }
        }
        if (seektarget || harasstarget)
            flags &= ~ENEMYF_ACTIVE;

        // 9. Aim.
        if (target != nullptr && targetspotted) {
            if (pTargetTorso != nullptr) {
                VectorPos aim = pTargetTorso->GetWorldPos();
                if (mode == 26) {
                    CreateLaserSight();
                    aim = aim + GetShootingInaccuracy(target, 0.00005f, 0.0005f, 0.015625f, 0.078125f);
                } else {
                    DestroyLaserSight();
                    if (shootweapontype >= WEAP_SMG_G36 && shootweapontype <= WEAP_MG_SG550) {
                        VectorDir h = GetShootingInaccuracy(target, 0.0025f, 0.015f, 0.15625f, 0.9375f);
                        const VectorDir v = GetShootingInaccuracy(target, 0.00025f, 0.0015f, 0.078125f, 0.234375f);
                        h[1] = v[1];
                        aim = aim + h;
                    } else {
                        aim = aim + GetShootingInaccuracy(target, 0.00025f, 0.0015f, 0.078125f, 0.234375f);
                    }
                }
                rightgunarm.Frame(aim);
            } else {
                rightgunarm.Frame(VectorPos(0.0f, 0.0f, 0.0f));
            }
            if (sight != nullptr)
                sight->SendMessage(OM_FRAME, &world);
        }
    }

    // 10. Falls.
    if ((flags & GUYF_DYING) && !(flags & GUYF_BUSTED) &&
        (mode2 == +BA::GUN_KILLED_FALL_INAIR_ANI || mode2 == +BA::GUN_CARCASS_KILLED_INAIR_ANI)) {
        if (!KilledFallCheckGroundContact())
            groundheightoverride = true;
    }
    // 11. Ground: the feet are lifted to it, never pulled down.
    if (g_pgcTest != nullptr && g_pgcTest->bRandomMissionActive) {
        mat.w[1] = GetGroundHeight(GetWorldPos());
    } else if (parent == nullptr && !groundheightoverride) {
        const float h = GetGroundHeight(GetWorldPos());
        if (h < 0.0f && h < mat.w[1])
            mat.w[1] = h;
    }
    groundobj = nullptr;
    groundupdatetime = world.time;
    return 0;
}

// ---------------------------------------------------------------------------
// Spotting and move paths

bool Enemy::TrySpottingTarget(int base, int range, bool cone)
{
    if (target == nullptr)
        return false;
    if (checktargettime != -1 && world.time < checktargettime)
        return false;
    if (cone) {
        const Matrix wm = GetWorldMatrix();
        VectorDir f(wm.z.xyz());
        f[1] = 0.0f;
        VectorDir to = WorldPosOf(pTargetTorso) - wm.GetTrans();
        to[1] = 0.0f;
        if (f.LengthSq() <= 0.0f || to.LengthSq() <= 0.0f || Dot(Normalise(f), Normalise(to)) <= 0.707f) {
            checktargettime = world.time + base + RandomN(range);
            return false;
        }
    }
    if (GetObstructionToTarget() == nullptr)
        return true;
    checktargettime = world.time + base + RandomN(range);
    return false;
}

void Enemy::TargetSpotted()
{
    if (targetspotted)
        return;
    targetspotted = true;
    if (gameeventobj != nullptr && target != nullptr && target == static_cast<Object*>(dace))
        SendEvent(gameeventobj, SMSG_EV_TARGET_SPOTTED, this);
    if (InGuardMode()) {
        PlayVoice(NPCVO_Noticed);
        BlendToAnim(iscivilian ? +BA::NPC_SHOCKED_ANI : +BA::GUARD_IDLE_LOOKAROUND_ANI, 15);
        timeleft = int(((1.0f - aggro) * 2.0f + 1.0f) * 60.0f);
    }
}

void Enemy::TargetNoticed()
{
    if (targetspotted)
        return;
    if (gameeventobj != nullptr && target != nullptr && target == static_cast<Object*>(dace))
        SendEvent(gameeventobj, SMSG_EV_TARGET_SPOTTED, this);
    if (InGuardMode()) {
        PlayVoice(NPCVO_Noticed);
        BlendToAnim(shootweapontype != -1 ? +BA::GUARD_BUMP_PULLOUTGUN_ANI : +BA::GUARD_BUMP_VOCAL_ANI, 5);
        timeleft = 60;
    }
    targetspotted = true;
}

void Enemy::TargetBusted()
{
    if (gameeventobj != nullptr && target != nullptr && target == static_cast<Object*>(dace))
        SendEvent(gameeventobj, SMSG_EV_TARGET_BUSTED, this);
    if (JBNPCVO.state == StreamJukebox::STOPPED || JBNPCVO.GetCurrentTrack() == NPCVO_Noticed)
        JBNPCVO.PlayBankTrack(vobank, NPCVO_Spotted, eye, 0.5f);
    if (InGuardMode())
        BlendToAnim(shootweapontype != -1 ? +BA::GUARD_ALARM_PULLOUTGUN_ANI : +BA::GUARD_ALARM_VOCAL_ANI, 5);
}

void Enemy::LookForTarget()
{
    if (target != nullptr && GetObstructionToTarget() == nullptr) {
        TargetBusted();
        return;
    }
    targetspotted = false;
    if (gameeventobj != nullptr && target != nullptr && target == static_cast<Object*>(dace))
        SendEvent(gameeventobj, SMSG_EV_TARGET_LOST, this);
    if (mode == 35)
        Restart_Guard_Patrol();
    else if (mode == 33 || mode == 34)
        Restart_Guard_Check();
    else
        Restart_Guard();
}

float Enemy::GetNearestMovePathPos(VectorPos pos)
{
    if (movepath == nullptr || behavior < MOVING)
        return 0.0f;
    float t = 0.0f;
    movepath->ClosestPoint(pos, &t);
    return t;
}

void Enemy::UpdateMovePathPos()
{
    if (movepath == nullptr || behavior < MOVING)
        return;
    const int n = movepath->NumSplines();
    if (n <= 0)
        return;
    const VectorPos pos = GetWorldPos();
    // A place off the path is found again; one that is no number (a path or
    // a position that is none) starts from the path's first segment.
    if (!(patht >= 0.0f && patht < float(n))) {
        patht = GetNearestMovePathPos(pos);
        if (!std::isfinite(patht))
            patht = 0.0f;
    }
    int i = int(std::clamp(patht, 0.0f, float(n - 1)));
    auto param = [&](int seg) { return movepath->GetBezier(seg).CalcParams(pos, pathdir)[2]; };
    float u = param(i);
    VectorPos p = VectorPos(movepath->GetBezier(i).Evaluate(u).xyz());
    bool atEnd = false;
    for (int step = 0; step <= n; step++) {
        if (u <= 0.0f) {
            if (i > 0) {
                i--;
                u = param(i);
                p = VectorPos(movepath->GetBezier(i).Evaluate(u).xyz());
                continue;
            }
            VectorDir keep = pathdir;
            const float last = movepathcircular ? movepath->GetBezier(n - 1).CalcParams(pos, keep)[2] : -1.0f;
            if (movepathcircular && last > 0.0f && last < 1.0f) {
                pathdir = keep;
                i = n - 1;
                u = last;
                continue;
            }
            i = 0;
            u = 0.0001f;
            p = VectorPos((*movepath)[0].xyz());
            atEnd = true;
            break;
        }
        if (u >= 1.0f) {
            if (i < n - 1) {
                i++;
                u = param(i);
                p = VectorPos(movepath->GetBezier(i).Evaluate(u).xyz());
                continue;
            }
            VectorDir keep = pathdir;
            const float first = movepathcircular ? movepath->GetBezier(0).CalcParams(pos, keep)[2] : -1.0f;
            if (movepathcircular && first > 0.0f && first < 1.0f) {
                pathdir = keep;
                i = 0;
                u = first;
                continue;
            }
            i = n - 1;
            u = 0.9999f;
            p = VectorPos((*movepath)[movepath->Count() - 1].xyz());
            atEnd = true;
            break;
        }
        break;
    }
    if (atEnd) {
        const VectorDir off = pos - p;
        const float len = Length(VectorXYZ(off));
        if (len > maxwander && len > 0.0f) {
            VectorDir dummy;
            const VectorPos q = p + off * (maxwander / len);
            u = movepath->GetBezier(i).CalcParams(q, dummy)[2];
            if (mode < 32 && mode != 26) {
                BlendToAnim(IdleAni(), 10);
                behavior = MOVING;
                cyclesleft = s16(1 + RandomN(4));
            }
        }
    }
    patht = float(i) + u;
}

// ---------------------------------------------------------------------------
// States

void Enemy::Start_Shoot_Wait()
{
    cyclesleft = 0;
    if (!(behavior >= STATIONARY_HANGING && behavior <= STATIONARY_COPTER)) {
        if (mode2 == +BA::RUN_ANI)
            SetAnim(+BA::GUN_IDLE_NOSHOOT_ANI);
        else
            BlendToAnim(+BA::GUN_IDLE_NOSHOOT_ANI, 5);
    }
    if (arrivepath != nullptr)
        mat.w = Vector(arrivepath->Evaluate(0.0f).xyz(), 1.0f);
    mode = 0;
}

void Enemy::Restart_Shoot_Wait() { BlendToAnim(+BA::GUN_IDLE_NOSHOOT_ANI, 5); }

void Enemy::Start_Shoot_Arrive()
{
    if (arrivepath != nullptr)
        mat.w = Vector(arrivepath->Evaluate(0.0f).xyz(), 1.0f);
    mode = 22;
}

void Enemy::Restart_Shoot_Arrive() { BlendToAnim(RunAni(), 5); }

void Enemy::Start_Shoot_See()
{
    BlendToAnim(IdleAni(), 5);
    mode = 23;
    cyclesleft = 1;
}

void Enemy::Restart_Shoot_See()
{
    BlendToAnim(IdleAni(), 5);
    cyclesleft = 1;
}

bool Enemy::MovePathIsCircular() const
{
    if (movepath == nullptr || movepath->Count() <= 0)
        return false;
    const VectorXYZ a = (*movepath)[0].xyz(), b = (*movepath)[movepath->Count() - 1].xyz();
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

void Enemy::Start_Shoot_Patrol()
{
    movepathcircular = MovePathIsCircular();
    mode = 24;
    cyclesleft = 0;
    UpdateMovePathPos();
}

void Enemy::Restart_Shoot_Patrol()
{
    if (behavior >= STATIONARY_HANGING && behavior <= STATIONARY_COPTER) {
        cyclesleft = 1;
    } else if (rightgunarm.gun != nullptr) {
        BlendToAnim(IdleAni(), 5);
        cyclesleft = 1;
    } else {
        mode = 25;
        BlendToAnim(RunAni(), 5);
        cyclesleft = 1;
    }
}

void Enemy::Frame_Shoot_Wait()
{
    const Vector saved = mat.w;
    if (target != nullptr && targetspotted) {
        VectorDir d = target->GetWorldPos() - GetWorldPos();
        if (IsBusy()) {
            if (mode2 == +BA::GUN_GETUP_ANI)
                TurnTowardFlat(d);
        } else {
            if (!(behavior >= STATIONARY_HANGING && behavior <= STATIONARY_COPTER)) {
                TurnTowardFlat(d);
                d[1] = 0.0f;
            }
            // The idle that does not shoot waits out its turn: no shot and
            // no next shot planned while it lasts.
            const bool holdsFire = mode2 == +BA::GUN_IDLE_NOSHOOT_ANI;
            if (!holdsFire && nextshot == world.time) {
                const VectorPos aim = WorldPosOf(pTargetTorso);
                if (rightgunarm.CanAimAt(aim)) {
                    Object* ob = GetObstructionToTarget();
                    bool accept = ob == nullptr;
                    if (!accept && ob->FindSpecialIndex(15) != 0)
                        accept = RandomN(2) != 0;
                    if (!accept && ob->type == OBJT_CHARACTER && randf() * 2.0f < aggro)
                        accept = true;
                    if (!accept) {
                        nextshot = world.time + 10;
                    } else if (rightgunarm.ShootGun()) {
                        SendEvent(target, SMSG_SHOT_AT, rightgunarm.gun);
                    } else {
                        if (behavior >= STATIONARY_HANGING && behavior <= STATIONARY_COPTER) {
                            rightgunarm.Reload();
                        } else {
                            BlendToAnim(+BA::GUN_RELOAD_ANI, 5);
                            rightgunarm.DeactivateGun();
                        }
                        nextshot = world.time + 10;
                    }
                }
            }
            if (!holdsFire && (nextshot == -1 || nextshot < world.time)) {
                if (hostage != nullptr) {
                    const float d2 = std::min(d.LengthSq(), 9.765625f);
                    nextshot = world.time + int(d2 * float(RandomN(240)) / 9.765625f);
                } else {
                    nextshot = world.time + 60 + RandomN(240);
                }
            }
        }
    }
    ShooterAnimate(1.0f);
    mat.w = Vector(saved.xyz(), 1.0f);
}

void Enemy::Frame_Shoot_Arrive()
{
    if (IsBusy()) {
        if (door != nullptr)
            door->mat = doormat;
        ShooterAnimate(1.0f);
        return;
    }
    if (arrivepath != nullptr) {
        // A place off the path (or no number) walks it again from its start.
        if (!(patht >= 0.0f && patht <= float(arrivepath->NumSplines())))
            patht = 0.0f;
        if (patht == 0.0f)
            Frame_Shoot_Arrive_StartPath();
        else if (int(patht) == arrivepath->NumSplines())
            Frame_Shoot_Arrive_EndPath();
        else
            Frame_Shoot_Arrive_MidPath();
        return;
    }
    if (movepath == nullptr) {
        if (behavior == SEE_MOVING) {
            Start_Shoot_See();
            Frame_Shoot_See();
        } else {
            Start_Shoot_Patrol();
            Frame_Shoot_Patrol();
        }
        return;
    }
    const VectorPos start = VectorPos(movepath->Evaluate(0.0f).xyz());
    if (patht == 0.0f) {
        SetAnim(RunAni());
        patht = 0.001f;
        FaceAlong(start - GetWorldPos());
    } else if ((start - GetWorldPos()).LengthSq() < radius * radius) {
        patht = GetNearestMovePathPos(GetWorldPos());
        if (behavior == SEE_MOVING)
            Start_Shoot_See();
        else
            Start_Shoot_Patrol();
    } else {
        FaceAlong(start - GetWorldPos());
    }
    ShooterAnimate(1.0f);
}

void Enemy::Frame_Shoot_Arrive_StartPath()
{
    SetAnim(RunAni());
    pathdir = arrivepath->Tangent(0.0f);
    FaceAlong(pathdir);
    patht = 0.001f;
    destpatht = -1.0f;
    door = steam = nullptr;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead())
            continue;
        if (o->id == 4000 - id)
            door = o;
        else if (o->id == 4100 - id)
            steam = o;
    }
    if (door != nullptr) {
        doormat = door->mat;
        doorgoalang = 2.0944f;
        doorangspeed = 0.20944f;
        doorang = 0.0f;
    }
    if (steam != nullptr)
        SendEvent(steam, SMSG_PATH_POINT_REACHED, nullptr);
    ShooterAnimate(1.0f);
}

void Enemy::Frame_Shoot_Arrive_MidPath()
{
    int seg = int(patht);
    ShooterAnimate(1.0f);
    const int n = arrivepath->NumSplines();
    VectorXYZ r = arrivepath->GetBezier(seg).CalcParams(GetWorldPos(), pathdir);
    while (r[2] >= 1.0f) {
        seg++;
        if (seg < n) {
            r = arrivepath->GetBezier(seg).CalcParams(GetWorldPos(), pathdir);
            continue;
        }
        patht = float(seg);
        if (movepath != nullptr) {
            Frame_Shoot_Arrive_EndPath();
            return;
        }
        mat.w = Vector(arrivepath->GetBezier(n - 1).Evaluate(1.0f).xyz(), 1.0f);
        FaceAlong(arrivepath->GetBezier(n - 1).EvaluateTangent(1.0f));
        patht = 0.0f;
        if (behavior == SEE_MOVING)
            Start_Shoot_See();
        else
            Start_Shoot_Patrol();
        return;
    }
    const float t = r[2], side = r[0];
    // The linked door swings open in the first half of the way and shuts.
    if (patht < 0.5f) {
        doorgoalang = 2.0944f;
        doorangspeed = 0.20944f;
    } else {
        doorgoalang = 0.0f;
        doorangspeed = -0.20944f;
    }
    if (door != nullptr && !door->IsDead()) {
        if ((doorangspeed > 0.0f && doorang < doorgoalang) || (doorangspeed <= 0.0f && doorang > doorgoalang)) {
            doorang += doorangspeed;
            door->mat = RotY(doorang) * doormat;
        }
    }
    patht = float(seg) + t;
    pathdir = Normalise(pathdir);
    if (std::fabs(side) > maxwander) {
        const float excess = std::fabs(side) - maxwander;
        VectorDir push = VectorDir(0.0f, side > 0.0f ? excess : -excess, 0.0f) ^ pathdir;
        push[1] = 0.0f;
        mat.w = Vector(mat.GetTrans() + push, 1.0f);
    }
    FaceAlong(pathdir);
}

void Enemy::Frame_Shoot_Arrive_EndPath()
{
    // With no path to move on, the arrival path's end is where he stays.
    if (movepath == nullptr) {
        if (behavior == SEE_MOVING)
            Start_Shoot_See();
        else
            Start_Shoot_Patrol();
        return;
    }
    if (destpatht == -1.0f)
        destpatht = GetNearestMovePathPos(GetWorldPos());
    const VectorPos dest = VectorPos(movepath->Evaluate(destpatht).xyz());
    VectorDir d = dest - GetWorldPos();
    d[1] = 0.0f;
    if (door != nullptr)
        door->mat = doormat;
    ShooterAnimate(1.0f);
    const float d2 = d.LengthSq();
    const float near1 = std::max(maxwander, 0.078125f), near2 = std::max(maxwander, 0.3125f);
    bool arrived = d2 < near1 * near1;
    if (!arrived && d2 < near2 * near2 && d2 > 0.0f)
        arrived = Dot(Normalise(d), VectorDir(mat.z.xyz())) < -0.707f;
    if (arrived) {
        patht = destpatht;
        if (behavior == SEE_MOVING)
            Start_Shoot_See();
        else
            Start_Shoot_Patrol();
        return;
    }
    FaceAlong(d);
}

void Enemy::Frame_Shoot_See()
{
    if (!ishostage && target != nullptr && targetspotted)
        Start_Shoot_Patrol();
    ShooterAnimate(1.0f);
}

void Enemy::Frame_Shoot_Patrol()
{
    const bool spotted = target != nullptr && targetspotted;
    VectorDir d(0.0f, 0.0f, 0.0f);
    if (spotted)
        d = target->GetWorldPos() - GetWorldPos();
    if ((flags & 0x60000000) && mode2 == +BA::GUN_DUCK_ANI)
        BlendToAnim(+BA::GUN_KILLED_ANI, 5);
    const bool stationaryRig = behavior >= STATIONARY_HANGING && behavior <= STATIONARY_COPTER;
    if (IsBusy()) {
        if (mode2 == +BA::GUN_GETUP_ANI && spotted)
            TurnTowardFlat(d);
    } else {
        // 4. Decision.
        if (cyclesleft == 0) {
            if (stationaryRig) {
                if (spotted) {
                    if (mode2 == +BA::GUN_COPTER_IDLE_L_ANI && randf() < aggro)
                        BlendToAnim(+BA::GUN_COPTER_FIRE_L_ANI, 5);
                    else if (mode2 == +BA::GUN_COPTER_IDLE_R_ANI && randf() < aggro)
                        BlendToAnim(+BA::GUN_COPTER_FIRE_R_ANI, 5);
                    else if (mode2 == +BA::GUN_COPTER_FIRE_L_ANI && randf() < 1.0f - aggro)
                        BlendToAnim(+BA::GUN_COPTER_IDLE_L_ANI, 5);
                    else if (mode2 == +BA::GUN_COPTER_FIRE_R_ANI && randf() < 1.0f - aggro)
                        BlendToAnim(+BA::GUN_COPTER_IDLE_R_ANI, 5);
                }
                cyclesleft = 1;
            } else if (behavior == STATIONARY) {
                if (mode2 != IdleAni()) {
                    const int nf = mode2 == +BA::GUN_DUCK_ANI ? 15 : 5;
                    if (isonscreen || RandomN(4) == 0)
                        BlendToAnim(IdleAni(), nf);
                    else
                        BlendToAnim(+BA::GUN_IDLE_NOSHOOT_ANI, nf);
                }
                cyclesleft = 1;
            } else if (spotted) {
                const float h = initialstrength > 0.0f ? strength / initialstrength : 0.0f;
                const float r = Length(VectorXYZ(d));
                if (h > 0.75f && aggro >= 0.5f && RandomN(100) < aggro * 100.0f && r > 1.5625f) {
                    behavior = MOVING;
                    VectorPos hit;
                    VectorDir nrm;
                    Object* blocker = world.CheckRay(GetWorldPos(), target->GetWorldPos(), &hit, &nrm, target,
                                                     this, 0x900);
                    if (blocker == nullptr) {
                        BlendToAnim(RunAni(), 10);
                        cyclesleft = 1;
                    } else if (movepath != nullptr) {
                        const float tp = GetNearestMovePathPos(target->GetWorldPos());
                        positivedir = tp < patht;
                        if (movepathcircular) {
                            const float half = float(movepath->NumSplines()) * 0.5f, diff = patht - tp;
                            if (diff > half || diff < -half)
                                positivedir = !positivedir;
                        }
                        BlendToAnim(hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_WALK_FWD_ANI : +BA::GUN_WALK_FWD_ANI, 10);
                        cyclesleft = 2;
                    }
                } else if (rightgunarm.gun == nullptr ||
                           (h < 0.25f && RandomN(100) < (1.0f - aggro) * 25.0f && r < 3.125f)) {
                    BlendToAnim(RunAni(), 10);
                    behavior = RUN_AWAY;
                    cyclesleft = 2;
                } else if (RandomN(100) < aggro * 50.0f && r > 3.125f) {
                    Start_Shoot_TakeCover();
                } else if (movepath != nullptr && RandomN(100) < 50 &&
                           (movepathcircular || float(movepath->NumSplines()) - patht > 0.05f)) {
                    if (!IsWalkAni(mode2))
                        BlendToAnim(hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_WALK_FWD_ANI : +BA::GUN_WALK_FWD_ANI, 10);
                    positivedir = 1 - (rand() & 1);
                    cyclesleft = s16(RandomN(4) + 1);
                    behavior = MOVING;
                } else {
                    if (behavior == MOVING) {
                        if (mode2 == +BA::GUN_RUN_ANI && r <= 1.5625f)
                            BlendToAnim(IdleAni(), 10);
                        else if (mode2 == +BA::GUN_IDLE_ANI && RandomN(100) < 20)
                            BlendToAnim(+BA::GUN_DUCK_ANI, 5);
                        else if (mode2 == +BA::GUN_DUCK_ANI && RandomN(4) != 0)
                            BlendToAnim(IdleAni(), 5);
                    } else if (behavior == RUN_AWAY && r >= 3.125f) {
                        behavior = MOVING;
                    }
                    cyclesleft = s16((rand() & 1) + 1);
                }
            }
        }
        // 5. Facing.
        if (spotted) {
            if (behavior == RUN_AWAY) {
                TurnTowardFlat(d * -1.0f);
            } else if (behavior == STATIONARY_HANGING && parent != nullptr) {
                VectorDir local = parent->GetWorldMatrix().Inverse() * d;
                TurnTowardFlat(local);
            } else if (((behavior == STATIONARY_VEHICLE || behavior == STATIONARY_COPTER) && parent != nullptr) ||
                       behavior == AVOID_OBSTACLE) {
            } else {
                TurnTowardFlat(d);
            }
        }
        // 6. Walking along the path.
        UpdateMovePathPos();
        if (IsWalkAni(mode2) || mode2 == +BA::GUN_RUN_ANI) {
            VectorDir m = positivedir ? pathdir : pathdir * -1.0f;
            m[1] = 0.0f;
            if (m.LengthSq() > 0.0f) {
                m = Normalise(m);
                VectorDir fd = d;
                fd[1] = 0.0f;
                const Matrix frame_ = spotted && fd.LengthSq() > 0.0f ? LookAlong(Normalise(fd)) : mat;
                const float a = ArcTan2(Dot(m, VectorDir(frame_.x.xyz())), Dot(m, VectorDir(frame_.z.xyz())));
                const bool hh = hostage != nullptr;
                enum { BACK, LEFT, FWD, RIGHT };
                const int pick = a < -2.35619f ? BACK : a < -0.785398f ? LEFT : a < 0.785398f ? FWD : a < 2.35619f ? RIGHT : BACK;
                static const BA gunWalks[4] = {BA::GUN_WALK_BACK_ANI, BA::GUN_WALK_LEFT_ANI, BA::GUN_WALK_FWD_ANI, BA::GUN_WALK_RIGHT_ANI};
                static const BA hostWalks[4] = {BA::GUN_HOLDHOSTAGE_WALK_BACK_ANI, BA::GUN_HOLDHOSTAGE_WALK_LEFT_ANI,
                                                BA::GUN_HOLDHOSTAGE_WALK_FWD_ANI, BA::GUN_HOLDHOSTAGE_WALK_RIGHT_ANI};
                const u16 want = +(hh ? hostWalks[pick] : gunWalks[pick]);
                const bool blendLocked = blendAnim != nullptr && (blendAnim->flags & 0x10);
                if (mode2 != want && !blendLocked) {
                    const u16 old = mode2;
                    auto kind = [&](u16 x) {
                        for (int k = 0; k < 4; k++)
                            if (x == +gunWalks[k] || x == +hostWalks[k])
                                return k;
                        return -1;
                    };
                    const int ok = kind(old);
                    const bool swap = (ok == BACK && pick == FWD) || (ok == FWD && pick == BACK) ||
                                      (ok == LEFT && pick == RIGHT) || (ok == RIGHT && pick == LEFT);
                    BlendToAnim(want, swap ? 15 : 5);
                    if (hh) {
                        static const int tell[4] = {33, 36, 35, 37};
                        SendEvent(hostage, tell[pick], this);
                    }
                }
            }
        }
        // 7. Firing.
        const u16 a = mode2;
        const bool mayFire = spotted && !(target->flags & (GUYF_DEAD | GUYF_DYING)) &&
                             (a != +BA::GUN_DUCK_ANI || bDuck_fire) && a != +BA::GUN_COPTER_IDLE_L_ANI &&
                             a != +BA::GUN_COPTER_IDLE_R_ANI && a != +BA::GUN_IDLE_NOSHOOT_ANI &&
                             a != +BA::GUN_RELOAD_ANI && a != +BA::GUN_DUCK_RELOAD_ANI;
        if (mayFire) {
            const bool eager = randf() * 10.0f < aggro;
            const int since = world.time - int(rightgunarm.lastshot);
            if (!shooting && shotsleft > 0) {
                if (float(since) > 2.0f * rightgunarm.weapon.framespershot) {
                    if (rightgunarm.CanAimAt(WorldPosOf(target->FindSubObject(20)))) {
                        rightgunarm.DrawGun();
                        shooting = true;
                        shotsleft--;
                    } else {
                        shotsleft = 0;
                    }
                }
            } else if (!shooting && shotsleft == 0) {
                const int base = int(3.0f * (1.0f - aggro)) > 0 ? 1 : 0;
                if (base * 60 + RandomN(180) < since) {
                    if (hostage != nullptr && mode2 != +BA::GUN_HOLDHOSTAGE_FIRE_ANI)
                        BlendToAnim(+BA::GUN_HOLDHOSTAGE_FIRE_ANI, 5);
                    rightgunarm.DrawGun();
                    shooting = true;
                    shotsleft = s8(std::max(1, int(aggro * 10.0f)));
                }
            } else if (shooting && (checktargettime == -1 || checktargettime <= world.time || eager)) {
                Object* ob = GetObstructionToTarget();
                bool accept = ob == nullptr;
                if (!accept && ob->type == OBJT_STATIC && ob->FindSpecialIndex(15) != 0)
                    accept = RandomN(2) != 0;
                else if (!accept && ob->type == OBJT_CHARACTER)
                    accept = randf() * 2.0f < aggro;
                if (!accept && eager)
                    accept = true;
                if (accept) {
                    if (rightgunarm.ShootGun()) {
                        SendEvent(target, SMSG_SHOT_AT, rightgunarm.gun);
                    } else {
                        if (hostage != nullptr)
                            rightgunarm.Reload();
                        else if (behavior >= MOVING && aggro < randf())
                            Start_Shoot_TakeCover();
                        else if (stationaryRig)
                            rightgunarm.Reload();
                        else {
                            BlendToAnim(+BA::GUN_RELOAD_ANI, 5);
                            rightgunarm.DeactivateGun();
                        }
                        checktargettime = world.time + RandomN(4) + 6;
                    }
                    shooting = false;
                } else {
                    checktargettime = world.time + RandomN(4) + 6;
                }
            }
        }
    }
    ShooterAnimate(1.0f);
    if (!IsDeathAni(mode2))
        UpdateMovePathPos();
}

// ---------------------------------------------------------------------------
// Animation ends, the animation step, falls and the dropped gun

int Enemy::ShooterAnimLoop(AnimEventMessage* msg)
{
    if (msg->obj != this)
        return 0;
    const u16 ended = mode2;
    if ((flags & GUYF_BUSTED) && ended != +BA::GUARD_DISARMED_ANI && ended != +BA::GUARD_DISARMED_IDLE_ANI &&
        ended != +BA::GUARD_DISARMED_BACK_ANI) {
        flags |= 0x50020002;
        flags &= ~ENEMYF_ACTIVE;
        if (g_pgcTest != nullptr) {
            g_pgcTest->AddPoints(10, this);
            LowerStat(g_pgcTest->stats.nCivilUnrest, 2);
            g_pgcTest->stats.nGoodDisposals++;
        }
        SendEvent(gameeventobj, SMSG_EV_ENEMY_SUBDUED, this);
        return -1;
    }
    auto died = [this] {
        flags |= 0x40020002;
        groundheightoverride = true;
        SendEvent(gameeventobj, SMSG_EV_CHARACTER_DIED, this);
    };
    switch (static_cast<BA>(ended)) {
    case BA::GUN_KNOCKDOWN_ANI:
    case BA::GUN_LYINGDOWN_RECOIL_ANI:
        BlendToAnim(+BA::GUN_GETUP_ANI, 5);
        cyclesleft++;
        break;
    case BA::GUN_GRAPPLED_ANI:
        if (ishostage || issurrendering) {
            SetAnim(target != nullptr && target == static_cast<Object*>(dace) ? +BA::ARRESTED_ANI
                                                                              : +BA::GUN_GRAPPLED_IDLE_ANI);
        } else {
            SetAnim(+BA::GUN_GRAPPLED_IDLE_ANI);
            TakeFightingDamage(4.0f);
        }
        break;
    case BA::GUN_GRAPPLED_RELEASE_ANI: {
        const Matrix r = RotY(3.1415927f);
        const Matrix m3 = r * Matrix(mat.x, mat.y, mat.z, Vector(0.0f, 0.0f, 0.0f, 1.0f));
        mat.x = m3.x;
        mat.y = m3.y;
        mat.z = m3.z;
        SetAnim((flags & GUYF_DYING) ? +BA::GUN_LYINGDOWN_KILLED_ANI : +BA::GUN_GETUP_ANI);
        cyclesleft++;
        break;
    }
    case BA::GUN_GRAPPLED_WALK_BACK_ANI:
    case BA::GUN_GRAPPLED_WALK_FWD_ANI:
    case BA::GUN_GRAPPLED_WALK_LEFT_ANI:
    case BA::GUN_GRAPPLED_WALK_RIGHT_ANI:
        SetAnim(+BA::GUN_GRAPPLED_IDLE_ANI);
        break;
    case BA::GUN_RECOIL_ANI:
        switch (mode) {
        case 22: Restart_Shoot_Arrive(); break;
        case 24:
        case 25: Restart_Shoot_Patrol(); break;
        case 26: Restart_Shoot_Sniping(); break;
        case 36: Restart_Shoot_TakeCover_Sniping(); break;
        default: BlendToAnim(+BA::GUN_IDLE_NOSHOOT_ANI, 5); break;
        }
        break;
    case BA::GUN_RELOAD_ANI:
        rightgunarm.Reload();
        if (mode == 26)
            Restart_Shoot_Sniping();
        else
            BlendToAnim(IdleAni(), 5);
        break;
    case BA::GUN_DUCK_RELOAD_ANI:
        if (rightgunarm.gun != nullptr) {
            rightgunarm.Reload();
            BlendToAnim(+BA::GUN_DUCK_ANI, 5);
        } else if (mode == 24 || mode == 25) {
            Restart_Shoot_Patrol();
        }
        break;
    case BA::GUARD_IDLE_ANI:
    case BA::GUARD_IDLE_SPECIAL_1_ANI:
    case BA::GUARD_IDLE_SPECIAL_2_ANI:
    case BA::GUARD_IDLE_SPECIAL_3_ANI:
        GuardIdleEnded(ended);
        break;
    case BA::GUARD_IDLE_CHECK_ANI:
        positivedir = !positivedir;
        destpatht = 1.0f - destpatht;
        Restart_Guard_Check();
        break;
    case BA::GUARD_IDLE_CELLTALK_STOP_ANI:
    case BA::GUARD_IDLE_DOZINGOFF_STOP_ANI:
        BlendToAnim(+BA::GUARD_IDLE_ANI, 5);
        cyclesleft = 2;
        break;
    case BA::GUARD_DISARMED_DROP_ANI:
        SendEvent(gameeventobj, SMSG_EV_ENEMY_SURRENDERED, this);
        flags |= 0x50020000;
        if (g_pgcTest != nullptr) {
            g_pgcTest->AddPoints(10, this);
            g_pgcTest->stats.nGoodDisposals++;
        }
        break;
    case BA::GUARD_DISARMED_ANI:
        SetAnim(+BA::GUARD_DISARMED_IDLE_ANI);
        break;
    case BA::GUARD_DISARMED_BACK_ANI:
        SetAnim(+BA::GUARD_DISARMED_IDLE_ANI);
        return -1;
    case BA::GUN_KILLED_FALL_ANI:
        flags &= ~OBJF_NOCOLLISION;
        jumpframe = frame;
        SetAnim(AnimTransitions[ended]);
        break;
    case BA::GUN_KILLED_FALL_INAIR_ANI:
    case BA::GUN_CARCASS_KILLED_INAIR_ANI:
    case BA::GUARD_ALARM_PULLOUTGUN_ANI:
    case BA::GUARD_ALARM_VOCAL_ANI:
        flags |= ENEMYF_AIRBORNE;
        break;
    case BA::GUN_LYINGDOWN_KILLED_ANI:
    case BA::GUN_KILLED_ANI:
    case BA::GUN_KILLED2_ANI:
    case BA::GUN_NEUTRALIZED_L_ANI:
    case BA::GUN_NEUTRALIZED_R_ANI:
    case BA::GUN_NEUTRALIZED_LEGS_ANI:
    case BA::GUN_KILLED_FALL_LAND_ANI:
    case BA::GUN_CARCASS_KILLED_LAND_ANI:
        died();
        break;
    case BA::GUN_DUCK_RECOIL_ANI:
        BlendToAnim(+BA::GUN_DUCK_ANI, 5);
        break;
    case BA::GUN_GETUP_ANI:
        BlendToAnim(IdleAni(), 5);
        break;
    case BA::GUN_DUCK_ANI:
        mode2 = 0;
        BlendToAnim(+BA::GUN_DUCK_ANI, 5);
        mode = 24;
        break;
    case BA::GUN_DUCK_ROLL_L_ANI:
    case BA::GUN_DUCK_ROLL_R_ANI:
        BlendToAnim(+BA::GUN_DUCK_ANI, 5);
        mode = 24;
        break;
    case BA::GUN_CARCASS_RECOIL_L_ANI:
        BlendToAnim(+BA::GUN_CARCASS_IDLE_L_ANI, 5);
        break;
    case BA::GUN_CARCASS_RECOIL_R_ANI:
        BlendToAnim(+BA::GUN_CARCASS_IDLE_R_ANI, 5);
        break;
    case BA::LYING_DOWN_ANI:
    case BA::RUN_OVER_ANI:
        SetAnim(+BA::GUN_GETUP_ANI);
        return -1;
    case BA::ROLL_ANI:
        SetAnim(+BA::GUN_GETUP_ANI);
        break;
    case BA::ROLL_HURT_ANI:
        SetAnim(+BA::LYING_DOWN_ANI);
        break;
    case BA::LYING_DOWN_DEAD_ANI:
    case BA::RUN_OVER_DEAD_ANI:
        if (!(flags & GUYF_DEAD))
            SendEvent(gameeventobj, SMSG_EV_CHARACTER_DIED, this);
        flags |= 0x40020000;
        return -1;
    default:
        break;
    }
    if (cyclesleft != 0)
        cyclesleft--;
    return mode2 != ended ? -1 : 0;
}

void Enemy::ShooterAnimate(float dt)
{
    if (mode2 == +BA::GUARD_IDLE_TURNAROUND_MARKTIME_ANI)
        flags |= ENEMYF_HOLDING;
    else
        flags &= ~ENEMYF_HOLDING;
    AnimateHierarchy(dt);
    if (mode2 == +BA::GUN_CARCASS_IDLE_R_ANI && rhand != nullptr && rhand->parent != nullptr &&
        rhand->parent->parent != nullptr && rhand->parent->parent->parent != nullptr) {
        Object* n = rhand->parent->parent->parent;
        const VectorDir axis = Normalise(VectorDir(-3.0f, -2.0f, 0.0f));
        const float h = 1.0472f * 0.5f;
        const float s = std::sin(h);
        const Matrix q = Matrix(Quaternion(Vector(axis[0] * s, axis[1] * s, axis[2] * s, std::cos(h))));
        n->mat.x = q.x;
        n->mat.y = q.y;
        n->mat.z = q.z;
    }
}

int Enemy::KilledFallCheckGroundContact()
{
    Object* ref = FindSubObject(31);
    const float t = frame - jumpframe;
    float v = mode2 == +BA::GUN_CARCASS_KILLED_INAIR_ANI ? 0.000851562f * t : 0.0244475f + 0.000851562f * t;
    v *= world.playbackSpeed;
    mat.w[1] = mat.w[1] + v;
    const VectorPos p = ref != nullptr ? ref->GetWorldPos() : GetWorldPos();
    if (t > 7.0f && groundy <= p[1]) {
        flags &= ~ENEMYF_AIRBORNE;
        const u16 next = AnimTransitions[mode2];
        if (mode2 == +BA::GUN_CARCASS_KILLED_INAIR_ANI) {
            // Set at once from the tables: the transition's morph length is
            // a frame count, not an animation group.
            mat.w = Vector(p, 1.0f);
            SetAnim(next);
        } else {
            BlendToAnim(next, AnimTransMorphLens[mode2]);
        }
        jumpframe = -8388608.0f;
        return 1;
    }
    return 0;
}

VectorDir Enemy::CalculateFallDir() const
{
    if (movepath != nullptr && movepath->NumSplines() > 0) {
        const float pt = behavior >= MOVING ? patht : 0.0f;
        const int seg = std::min(std::max(int(pt), 0), movepath->NumSplines() - 1);
        VectorDir n = movepath->GetBezier(seg).EvaluateNormal(pt - float(int(pt)));
        n[1] = 0.0f;
        return n.LengthSq() > 0.0f ? Normalise(n) : VectorDir(mat.z.xyz());
    }
    return VectorDir(mat.z.xyz());
}

Object* Enemy::GetObstructionToTarget()
{
    if (target == nullptr || pTargetTorso == nullptr)
        return nullptr;
    Object* from = eye != nullptr ? eye : this;
    VectorPos hit;
    VectorDir n;
    return world.CheckRay(from->GetWorldPos(), pTargetTorso->GetWorldPos(), &hit, &n, target->GetRoot(), GetRoot(),
                          0x900);
}

void Enemy::DropWeapon()
{
    GunArm& a = rightgunarm;
    a.Reload();
    if (a.gun != nullptr)
        CreateGunPickup(a.gun->GetWorldMatrix(), VectorDir(0.0f, 0.0f, 0.0f), &a.weapon, 2000);
    DestroyLaserSight();
    a.DisarmGun();
    if (Object* g = a.gun) {
        a.gun = nullptr;
        g->Detach();
        g->Delete();
    }
    shootweapontype = -1;
}
