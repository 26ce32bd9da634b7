// The player's special messages: what missions, level entities, enemies,
// bullets, vehicles, the HUD and cinematics ask of him, and his replies.
#include "game/Player.h"

#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/EntParams.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"
#include "game/smoke.h"

// Enemy grabs and what each does to the player: the enemy's grab animation,
// the player's answer, and how near the grab must reach.
const Guy::VictimData Dace::victimizations[8] = {
    {105, COMBAT_GRAPPLED_ANI, 0.078125f, 0, false},         {106, COMBAT_GRAPPLED_ANI, 0.078125f, 0, false},
    {107, COMBAT_GRAPPLED_ANI, 0.078125f, 0, false},         {108, COMBAT_GRAPPLED_ANI, 0.078125f, 0, false},
    {109, COMBAT_GRAPPLED_ANI, 0.078125f, 0, false},         {110, COMBAT_GRAPPLED_ANI, 0.078125f, 0, false},
    {117, COMBAT_GRAPPLE_BROKEN_1_ANI, 0.078125f, 0, false}, {118, COMBAT_GRAPPLE_BROKEN_2_ANI, 0.078125f, 0, false},
};

namespace {

constexpr int kGrappleFreezePeriod = 30;
constexpr int kRageWait = 600;
constexpr int kVisibleWait = 300;

bool IsSuperDace() { return g_pgcTest != nullptr && g_pgcTest->bSuperDace; }

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

// The horizontal squared distance between two points.
float FlatDist2(VectorPos a, VectorPos b)
{
    const float dx = a[0] - b[0], dz = a[2] - b[2];
    return dx * dx + dz * dz;
}

// A voice line of a type unless it played within the last `wait` frames.
void RestedRemark(int type, int wait)
{
    const int since = DaceVO.GetTimeSincePlayed(type);
    if (since != NEVER && since < wait)
        return;
    DaceVO.Play(type, 0);
}

}  // namespace

int Dace::SendEvent(int code, Object* to, Variant p0, Variant p1)
{
    if (to == nullptr)
        return 0;
    SpecialMessage m(code, this, p0, p1);
    return to->SendMessage(OM_SPECIAL, &m);
}

int Dace::Special(SpecialMessage* m)
{
    if (m == nullptr)
        return 0;
    const u32 now = u32(world.time);
    switch (m->submsg) {
    case SMSG_SHOT_AT:
        if (task < Task_Defeat && mode != DACEMODE_GUNS && mode != DACEMODE_DRIVING && mode != DACEMODE_CARTRANSITION &&
            target != nullptr && m->obj != nullptr && target->GetRoot() == m->obj->GetRoot())
            SwitchToOnFootShootingMode();
        return 0;
    case SMSG_PUT_IN_VEHICLE: {
        auto* v = static_cast<Vehicle*>(m->obj);
        if (v == nullptr || v->type != OBJT_VEHICLE)
            return 0;
        if (Object* driver = v->rcoDriver) {
            SendEvent(SMSG_CD_SUSPEND, driver, 1);
            SendEvent(SMSG_CD_SEAT_TAKEN, driver);
        }
        PutIn(v, m->param[0].i);
        return 0;
    }
    case SMSG_DAMAGE:
        TakeDamage(float(m->param[0].i), 0);
        return 0;
    case SMSG_PROJECTILE_DAMAGE:
        TakeProjectileDamage(float(m->param[0].i));
        return 0;
    case SMSG_GRABBED: {
        int reply = 0;
        Grabbed(m, reply);
        return reply;
    }
    case SMSG_PLAYER_LOSE_SHIELD:
        if (mode2 >= GUNS_GRAPPLE_IDLE_ANI && mode2 <= GUNS_GRAPPLE_WALK_SIDE_R_ANI) {
            BlendToAnim(GUNS_IDLE_RECOIL_R_ANI, 8);
            shieldTarget = nullptr;
            target = nullptr;
            curattack = &attackbase;
        }
        return 0;
    case SMSG_SET_ON_FIRE: {
        const VectorPos origin(0.0f, 0.0f, 0.0f);
        if (rarm != nullptr)
            Flamer_Create(rarm, origin, 120.0f, 0.6f, true);
        if (larm != nullptr)
            Flamer_Create(larm, origin, 120.0f, 0.6f, true);
        if (torso != nullptr)
            Flamer_Create(torso, origin, 240.0f, 0.4f, true);
        return 0;
    }
    case SMSG_KNOCKBACK:
        Knockback(m);
        return 0;
    case SMSG_SOFT_POPOUT:
        if (victimdata == nullptr && !InRange(mode2, COMBAT_GRAPPLED_ANI, COMBAT_GRAPPLE_BROKEN_2_ANI) &&
            !InRange(mode2, PED_ARREST_ANI, PED_ARREST_LYINGDOWN_R_ANI) &&
            !InRange(mode2, GUNS_GRAPPLE_FAIL_ANI, GUNS_GRAPPLE_RELEASE_ANI) &&
            !InRange(mode2, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_ANI) &&
            !InRange(mode2, STEALTH_GRAPPLE_DISARM_START_ANI, STEALTH_GRAPPLE_DISARM_P_FINISH_ANI))
            AddToGeneralSoftPopOut(VectorDir(m->param[0].f, m->param[1].f, m->param[2].f));
        return 0;
    case SMSG_CD_DRIVER_LEFT:
        if (car != nullptr && m->obj != nullptr && car->rcoDriver.p == m->obj)
            car->rcoDriver = nullptr;
        return 0;
    case SMSG_PLAYER_LGUN_FLAG_OFF: SetHidden(lgun, false); return 0;
    case SMSG_PLAYER_RGUN_FLAG_OFF: SetHidden(rgun, false); return 0;
    case SMSG_PLAYER_LGUN_FLAG_ON: SetHidden(lgun, true); return 0;
    case SMSG_PLAYER_RGUN_FLAG_ON: SetHidden(rgun, true); return 0;
    case SMSG_PLAYER_GUNS_FLAG_OFF:
        SetHidden(lgun, false);
        SetHidden(rgun, false);
        return 0;
    case SMSG_PLAYER_GUNS_FLAG_ON:
        SetHidden(lgun, true);
        SetHidden(rgun, true);
        return 0;
    case SMSG_PLAYER_KICKSTAND_UP:
    case SMSG_PLAYER_KICKSTAND_UP_2:
    case SMSG_PLAYER_KICKSTAND_DOWN:
    case SMSG_PLAYER_KICKSTAND_DOWN_2:
        if (parent != nullptr && parent->type == OBJT_VEHICLE)
            static_cast<Vehicle*>(parent)->bKickStand = m->submsg >= SMSG_PLAYER_KICKSTAND_DOWN;
        return 0;
    case SMSG_PLAYER_SET_MODE:
        SwitchToMode(s8(m->param[0].i), true);
        return 0;
    case SMSG_PLAYER_LEAVE_WALL:
        if (mode == DACEMODE_GUNS && collidestate != FREE && collidestate != PUSH_STATIC && m->obj != nullptr &&
            static_cast<void*>(collspline) == static_cast<void*>(m->obj)) {
            collidestate = FREE;
            BlendToAnim(GUNS_FIRST_ANI, 5);
            collspline = nullptr;
        }
        return 0;
    case SMSG_PLAYER_SET_CAMERA:
        SetCamera(m);
        return 0;
    case SMSG_PLAYER_CINE_WALK:
        pCineScript = m->param[0].p;
        iCineScriptTime = int(frame);
        SwitchGameplayMode(14, true);
        cineWalkFlags = CINEWALK_FREE;
        return 0;
    case SMSG_PLAYER_ANIM_A:
    case SMSG_PLAYER_ANIM_B: {
        const bool incar = InRange(mode2, CAR_IDLE_ANI, BIKE_WHEELIE_FIRE_R_ANI) ||
                           InRange(mode2, DRIVING_BRAKE_BACKWARDS_ANI, DRIVING_IDLE_SIREN_ON_ANI);
        const bool siren = mode2 == DRIVING_IDLE_SIREN_OFF_ANI || mode2 == DRIVING_IDLE_SIREN_ON_ANI;
        if (incar && !siren)
            BlendToAnim(m->submsg == SMSG_PLAYER_ANIM_A ? DRIVING_IDLE_SIREN_ON_ANI : DRIVING_IDLE_SIREN_OFF_ANI, 3);
        return 0;
    }
    case SMSG_PLAYER_REFRESH:
        strength = 100.0f;
        if (overlayPlaying != -1) {
            overlayPlaying = -1;
            armOverlay.Fadeout();
        }
        flags &= ~(GUYF_DEAD | GUYF_DYING | GUYF_BUSTED | OBJF_SELFANIMATING);
        SendEvent(SMSG_EV_PLAYER_REFRESHED, gameeventobj);
        return 0;
    case SMSG_PLAYER_STAND_UP:
        SetAnim(PED_GETUP_ANI);
        return 0;
    case SMSG_PLAYER_REGROUND: {
        groundupdatetime = 0;
        ghc.Clear();
        VectorPos p = mat.GetTrans();
        p[1] = -1000.0f;
        const float h = UpdateGroundAndLandableHeight(p, nullptr, &ghc);
        if (h < 0.0f) {
            VectorPos q = mat.GetTrans();
            q[1] = h;
            mat.SetTrans(q);
        }
        return 0;
    }
    case SMSG_BULLET_HIT:
        BulletHit(m);
        return 0;
    case SMSG_EV_KNOCKED_DOWN:
        RageRemark(m);
        return 0;
    case SMSG_EV_CHARACTER_DIED:
        if (m->obj != nullptr && m->obj->id >= -100 && m->obj->id <= 100 && m->obj->id != -1 && m->param[0].i == 1)
            DaceVO.Play(DaceVO_GunsKilledBystander, 0);
        return 0;
    case SMSG_EV_ATTACK_STARTED:
        attackedtime = now;
        return 0;
    case SMSG_EV_ATTACK_HIT:
        curattackhit = WorldTime(now);
        return 0;
    case SMSG_EV_ATTACK_BLOCKED:
        curattackblock = WorldTime(now);
        return 0;
    case SMSG_EV_TARGET_SPOTTED:
        if (task == Task_Infiltrate)
            RestedRemark(DaceVO_InfiltrateVisible, kVisibleWait);
        return 0;
    case SMSG_EV_BULLET_WHIZZ: {
        if (sound.NumFreeChannels() <= 0 || sndbank_gun < 0)
            return 0;
        const int ch = sound.AllocChannel(false);
        if (ch >= 0) {
            sound.Play(ch, u16(sndbank_gun), 20);
            sound.SetPitch(ch, 0.8f + 0.4f * randf(), 0.0f);
        }
        return 0;
    }
    case SMSG_MODE_START:
        gameeventobj = m->obj;
        SwitchGameplayMode(m->param[0].i, true);
        return 0;
    case SMSG_MODE_END:
        task = Task_None;
        if (gameeventobj == m->obj)
            gameeventobj = nullptr;
        return 0;
    case SMSG_MODE_FINISHED:
        ModeFinished(m);
        return 0;
    case SMSG_Q_COLLISION:
        if (curattack != &attackbase && curattack != nullptr)
            return curattack->strength;
        if (m->obj != nullptr && m->obj->type == OBJT_CHARACTER &&
            (mode2 == GUNS_JUMP_FWD_INAIR_ANI || mode2 == GUNS_JUMP_FWD_LAND_ANI))
            return -1;
        if (m->obj != nullptr && m->obj->type == OBJT_DYNAMIC)
            return 1;
        return 0;
    case SMSG_Q_HUD_PLAYER:
        HudQuery(m);
        return 0;
    case SMSG_PLAYER_GAMEPLAY_MODE:
        if (m->obj != nullptr)
            target = m->obj;
        SwitchGameplayMode(m->param[0].i, m->param[1].i != 0);
        return 0;
    default:
        return 0;
    }
}

void Dace::Grabbed(SpecialMessage* m, int& reply)
{
    reply = 0;
    Object* attacker = m->obj;
    if (IsSuperDace() || attacker == nullptr)
        return;
    const int anim = m->param[0].i;
    const bool fightready = mode == DACEMODE_FISTS &&
                            (InRange(mode2, COMBAT_IDLE_ANI, COMBAT_MOVE_RIGHT_ANI) ||
                             InRange(mode2, COMBAT_BLOCK_LOW_ANI, COMBAT_BLOCK_HIGH_2_ANI)) &&
                            finishingstartcount == Never;
    if (!fightready && anim != 117 && anim != 118) {
        const bool idle = mode2 == PED_IDLE_ANI || mode2 == PED_IDLE_LOOKAROUND_ANI || mode2 == PED_IDLE_FOOTWORK_ANI ||
                          mode2 == PED_IDLE_CHECKTIME_ANI || mode2 == PED_ARREST_FAIL_ANI;
        if (mode != DACEMODE_ONFOOT || !idle)
            return;
        const Matrix am = attacker->GetWorldMatrix();
        VectorDir to(GetWorldPos() - am.GetTrans());
        if (to.LengthSq() <= 0.0f)
            return;
        to = Normalise(to);
        if (Dot(VectorDir(am.z.xyz()), to) <= 0.707f)
            return;
    }
    const VictimData* row = nullptr;
    for (const VictimData& v : victimizations)
        if (v.enemyani == anim) {
            row = &v;
            break;
        }
    if (row == nullptr)
        return;
    if (row->victimani == COMBAT_GRAPPLED_ANI) {
        Object* reach = attacker->FindSubObject(20);
        if (reach == nullptr || torso == nullptr || FlatDist2(reach->GetWorldPos(), torso->GetWorldPos()) >= 0.46875f)
            return;
    } else if (row->victimani != COMBAT_GRAPPLE_BROKEN_1_ANI && row->victimani != COMBAT_GRAPPLE_BROKEN_2_ANI) {
        Object* reach = attacker->FindSubObject(31);
        if (reach == nullptr || FlatDist2(reach->GetWorldPos(), GetWorldPos()) > row->dist * row->dist)
            return;
    }
    victimdata = const_cast<VictimData*>(row);
    grappledstartpos = mat.GetTrans();
    grapplemorphlen = s16(m->param[1].i != 0 ? m->param[1].i : row->morphlen);
    grapplewaitlen = s16(anim == 117 || anim == 118 ? grapplemorphlen : grapplemorphlen + kGrappleFreezePeriod);
    grappledframe = frame;
    grappleseparation = false;
    target = attacker;
    if (m->param[2].i != 0 && m->param[3].i != 0) {
        grapplebankoverride = m->param[2].i;
        grappleindexoverride = m->param[3].i;
    } else {
        grapplebankoverride = grappleindexoverride = -1;
    }
    flags &= ~OBJF_SELFANIMATING;
    BreakFinishing();
    if (npcgrapplesoundchannel == -1)
        npcgrapplesoundchannel = sound.AllocChannel(true);
    if (npcgrapplesoundchannel != -1) {
        sound.Stop(npcgrapplesoundchannel);
        sound.Play(npcgrapplesoundchannel, sndbank_comb, 3);
    }
    npcgrapplebreakattempts = 0;
    BlendToAnim(row->victimani, grapplemorphlen, grapplebankoverride, grappleindexoverride, true);
    flags |= OBJF_NORELMOTION;
    reply = 1;
}

void Dace::Knockback(SpecialMessage* m)
{
    if (mode == DACEMODE_DRIVING || mode == DACEMODE_CARTRANSITION)
        return;
    const VectorDir d(m->param[0].f, m->param[1].f, m->param[2].f);
    if (m->param[3].p != nullptr) {
        const Matrix w = GetWorldMatrix();
        if (d[0] * w.z[0] + d[2] * w.z[2] >= 0.0f)
            return;
    }
    FaceAlong(VectorDir(-d[0], 0.0f, -d[2]));
    if (jumptime == Never)
        jumptime = u32(world.time);
    if (mode == DACEMODE_FISTS || strength > 0.0f) {
        if (!InRange(mode2, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_LAND_ANI))
            BlendToAnim(COMBAT_KNOCKDOWN_ANI, 5);
        airvelocity = VectorDir(0.0f, d[1], std::sqrt(d[0] * d[0] + d[2] * d[2]));
    } else {
        SetShootMode(SHOOT_NONE);
        if (cam != nullptr) {
            cam->zoom = 1.6f;
            cam->relposgoal = cam->relpos = VectorPos(0.0f, -0.46875f, 0.0f);
        }
        BlendToAnim(GUNS_KILLED_ANI, 5);
    }
}

void Dace::BulletHit(SpecialMessage* m)
{
    if (IsSuperDace() || mode == DACEMODE_DRIVING)
        return;
    if (task <= Task_Defeat && (mode2 == PED_WARN_PHYSICAL_ANI || InRange(mode2, PED_WARN_GUN_ASSUME_ANI, PED_WARN_GUN_RUN_ANI) ||
                                mode2 == GUNS_IDLE_DRAWGUNS_ANI))
        return;
    auto* b = static_cast<Bullet*>(m->obj);
    if (g_pgcTest != nullptr)
        g_pgcTest->stats.nHitByBullet++;
    if (b != nullptr && b->type == OBJT_PROJECTILE)
        TakeProjectileDamage(b->GetStrength() * 0.25f);
    if (mode2 == GUNS_KILLED_ANI || mode2 == GUNS_FWALL_KILLED_ANI || mode2 == GUNS_HWALL_KILLED_ANI)
        return;
    if (b == nullptr || b->type != OBJT_PROJECTILE || b->sourceid == id)
        return;
    if (mode == DACEMODE_ONFOOT || mode == DACEMODE_FISTS) {
        if (overlayPlaying == -1) {
            for (int bone : {5, 6, 7})
                armOverlay.AllowBoneID(bone, 1);
            if (anims != nullptr)
                armOverlay.PlayAnim(anims[COMBAT_RECOIL_HIGH_ANI], frame);
            overlayPlaying = COMBAT_RECOIL_HIGH_ANI;
        }
        return;
    }
    if (mode != DACEMODE_GUNS || (flags & (GUYF_DYING | GUYF_DEAD)))
        return;
    static const u16 wallrecoils[] = {274, 275, 276, 315, 316, 317, 333, 334, 335};
    if (InRange(mode2, COMBAT_RECOIL_LOW_L_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI))
        return;
    for (u16 w : wallrecoils)
        if (mode2 == w)
            return;
    u16 recoil = 0;
    switch (collidestate) {
    case BACK_STATIC_HALF: recoil = GUNS_HWALL_RECOIL_ANI; break;
    case BACK_STATIC_FULL: recoil = GUNS_FWALL_RECOIL_ANI; break;
    case OUT_STATIC_HALF:
        if (mode2 == GUNS_HWALL_FIREBACK_R_ANI)
            recoil = GUNS_HWALL_FIREBACK_RECOIL_R_ANI;
        else if (mode2 != GUNS_HWALL_BEGIN_FIREBACK_R_ANI)
            recoil = GUNS_HWALL_FIREBACK_RECOIL_L_ANI;
        break;
    case OUT_STATIC_FULL:
        if (mode2 == GUNS_FWALL_FIREBACK_R_ANI)
            recoil = GUNS_FWALL_FIREBACK_RECOIL_R_ANI;
        else if (mode2 != GUNS_FWALL_BEGIN_FIREBACK_R_ANI)
            recoil = GUNS_FWALL_FIREBACK_RECOIL_L_ANI;
        break;
    case FREE:
        if (shieldTarget == nullptr &&
            (mode2 == GUNS_IDLE_ANI || mode2 == GUNS_IDLE_2_ANI || mode2 == GUNS_IDLE_FIRE_ANI ||
             mode2 == GUNS_IDLE_BEGIN_FIRE_ANI || mode2 == GUNS_IDLE_RESTART_FIRE_ANI))
            recoil = GUNS_IDLE_RECOIL_L_ANI;
        break;
    default: break;
    }
    if (recoil != 0)
        BlendToAnim(recoil, 3);
}

void Dace::SetCamera(SpecialMessage* m)
{
    auto* zone = static_cast<DaceCamTrigger_params*>(static_cast<void*>(m->obj));
    if (zone == nullptr || cam == nullptr)
        return;
    if (zone->cammode == 0) {
        if (GetCurrentCam() != cam) {
            if (Camera* cur = GetCurrentCam())
                cam->mat = cur->mat;
            if (cam->mode == CAMMODE_PEDESTRIAN)
                cam->InitPedestrianMode(this, false);
            SetCurrentCam(cam);
        }
    } else if (zone->cammode == 1) {
        cam->iTrack = 1;
        cam->distgoal = zone->distance;
    }
    cam->fT = frame;
}

void Dace::RageRemark(SpecialMessage* m)
{
    if (mode != DACEMODE_GUNS || m->obj == nullptr || m->param[0].i != 1 || m->obj->id < -150 || m->obj->id > -101)
        return;
    const int mags = leftgunarm.weapon.magSize + rightgunarm.weapon.magSize;
    const int left = leftgunarm.weapon.bulletsLeft + rightgunarm.weapon.bulletsLeft;
    if (!(mags < 3 * left))
        return;
    const int since = DaceVO.GetTimeSincePlayed(DaceVO_GunsRage);
    if (since != NEVER && since < kRageWait)
        return;
    int newest = firetimes[0], oldest = firetimes[0];
    for (WorldTime t : firetimes) {
        if (t == -1)
            return;
        newest = std::max(newest, t);
        oldest = std::min(oldest, t);
    }
    if (newest - oldest >= 48)
        return;
    DaceVO.Play(DaceVO_GunsRage, 0);
}

void Dace::ModeFinished(SpecialMessage* m)
{
    const bool free = !(flags & (GUYF_DYING | GUYF_DEAD)) && !InRange(mode2, PED_ARREST_ANI, PED_ARREST_LYINGDOWN_R_ANI);
    if (task == Task_Defeat && free && mode == DACEMODE_FISTS) {
        inputdisabled = true;
        if (!InRange(mode2, COMBAT_IDLE_VICTORY_1_ANI, COMBAT_IDLE_VICTORY_3_ANI))
            BlendToAnim(COMBAT_IDLE_VICTORY_1_ANI, 10);
    } else if (task == Task_Shootout && free) {
        inputdisabled = true;
        if (bHasLeftPickup || bHasRightPickup)
            GunReloadGuns();
        else if (mode2 != GUNS_IDLE_PUTAWAY_ANI)
            BlendToAnim(GUNS_IDLE_PUTAWAY_ANI, 10);
    }
    if (mode == DACEMODE_GUNS) {
        target = nullptr;
        UpdateReticle(false);
    }
    task = Task_None;
    if (gameeventobj == m->obj)
        gameeventobj = nullptr;
}

void Dace::HudQuery(SpecialMessage* m)
{
    auto* info = static_cast<sDaceGunInfo*>(m->param[0].p);
    if (info == nullptr)
        return;
    const bool driving = mode == DACEMODE_DRIVING;
    const Weapon& lw = driving ? leftdrivinggunarm.weapon : leftgunarm.weapon;
    const Weapon& rw = driving ? rightdrivinggunarm.weapon : rightgunarm.weapon;
    info->gunType[0] = lw.type;
    info->gunType[1] = rw.type;
    info->curAmmo[0] = u16(lw.bulletsLeft);
    info->curAmmo[1] = u16(rw.bulletsLeft);
    info->maxAmmo[0] = u16(lw.magSize);
    info->maxAmmo[1] = u16(rw.magSize);
    const bool raised = mode == DACEMODE_GUNS || (driving && target != nullptr) ||
                        InRange(mode2, PED_WARN_GUN_ASSUME_ANI, PED_WARN_GUN_RUN_ANI) || mode2 == CAR_GUNS_WARN_ANI;
    const bool out = raised || overlayPlaying == CAR_GUNS_WARN_ANI || overlayPlaying == PED_WARN_GUN_ASSUME_ANI ||
                     overlayPlaying == PED_WARN_GUN_RUN_ANI;
    info->bAreActive[0] = out ? 1 : 0;
    info->bAreActive[1] = raised ? 1 : 0;
    info->gun[0] = lgun;
    info->gun[1] = rgun;
}
