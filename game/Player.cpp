// The player: construction, the message handler, Init, the frame and the
// tear-down, and the pad turned into movement directions.
#include "game/Player.h"

#include <cmath>
#include <cstring>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

Dace* dace = nullptr;
Controller disabledcontroller;

static Name nameDace("Dace", int(reinterpret_cast<intptr_t>(&Dace::Dace_mh)));

const VectorPos Dace::NPCLeftArrestPt(-0.350938f, 0.0f, -0.055312f);
const VectorPos Dace::NPCRightArrestPt(0.344062f, 0.0f, -0.064062f);
const float Dace::SlowMoAnimationSpeed = 0.2f;
const float Dace::SlowMoTransitionSpeed = 0.026666669f;
const float Dace::MaxCombatDist = 7.8125f;
const float Dace::CombatVicinity = 1.25f;
const float Dace::AttackRingOuter = 0.546875f;
const float Dace::RunThreshold = 0.35f;
const float Dace::SprintThreshold = 0.8f;
const float Dace::GunFaceRunThreshold = 0.8f;
// The bones the arm overlay may drive: the spine and both arms with their
// fingers.
const int Dace::cArmAnimIDs[29] = {5,  6,  7,  29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 42, 43,
                                   44, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 61, 62, 63};

namespace {

// The player's own camera sits above and behind him.
const VectorPos kDaceCamOffset(0.0f, -0.3125f, -1.25f);
// The weapon each gun arm holds until the rig gives it the player's pistol.
constexpr int kStartWeaponRow = 23;
// A near-miss remark needs the car to move faster than this (squared, per
// frame) and waits this long after the last one.
constexpr float kRemarkSpeed2 = 0.000542114f;
constexpr int kRemarkWait = 30;
constexpr int kVoiceWait = 600;

bool IsAirborneAnim(u16 a)
{
    return (a >= PED_JUMP_AIRBORNE_STANDING_ANI && a <= PED_JUMP_FALLING_SPRINTING_ANI) ||
           a == PED_CHASE_TACKLE_INAIR_ANI || (a >= PED_SPRINT_JUMPCAR_L_ANI && a <= PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI) ||
           a == GUNS_JUMP_FWD_INAIR_ANI || a == GUNS_JUMP_BACK_INAIR_ANI || a == GUNS_JUMP_SIDE_L_INAIR_ANI ||
           a == GUNS_JUMP_SIDE_R_INAIR_ANI || a == STEALTH_JUMP_INAIR_ANI || a == COMBAT_KNOCKDOWN_INAIR_ANI;
}

// The voice line of a type, when the voice is idle and the type has rested.
void Remark(int type)
{
    if (!DaceVO.IsStopped())
        return;
    const int since = DaceVO.GetTimeSincePlayed(type);
    if (since != NEVER && since <= kVoiceWait)
        return;
    DaceVO.Play(type, 0);
}

}  // namespace

// A stick byte around its centre, with the dead zone taken out so that the
// live range starts at 0 at its edge.
int Dace::StickAxis(u8 v)
{
    const int d = int(v) - 128;
    if (d > -40 && d < 40)
        return 0;
    return d >= 0 ? d - 40 : d + 40;
}

// ---------------------------------------------------------------------------
// Construction and tear-down.

Dace::Dace() : Dace(nullptr) {}

Dace::Dace(OBJMESSAGEHANDLER handler) : DaceBody(handler)
{
    Construct();
    // Only a player with a handler is a world object that follows itself
    // with a camera; a bare one (tests) has none.
    if (handler != nullptr)
        cam = dacecam = new Camera(this, kDaceCamOffset);
}

void Dace::Construct()
{
    task = Task_None;
    speed = 0.0f;
    leftgunarm.weapon = gWeapons[kStartWeaponRow];
    rightgunarm.weapon = gWeapons[kStartWeaponRow];
    curattackhit = curattackblock = -1;
    for (WorldTime& t : firetimes)
        t = -1;
    for (CollSphere& s : bodycollspheres) {
        s.type = COLL_SPHERE;
        s.id = 0;
        s.child = 0;
        s.sphere = Sphere(0.0f, 0.0f, 0.0f, 0.0f);
    }
    ghc.Clear();
    ghc.obj = nullptr;
    cam = dacecam = nullptr;
    car = nullptr;
    cinewalkpath = carboxspline = collspline = nullptr;
    arrestguy = nullptr;
    npcsubject = nullptr;
    collideobj = prevcollideobj = nullptr;
    pLeftPUWeapon = pRightPUWeapon = nullptr;
    pCineScript = nullptr;
    overlayPlaying = -1;
    npcgrapplesoundchannel = -1;
    whizsfx = -1;
    inputdisabled = false;
    poppedoutinrender = false;
    pushoutmovement = pushoutvel = newpushoutvel = lastpopout = VectorDir(0.0f, 0.0f, 0.0f);
    groundupdatetime = 0;
    lastpassedcolltime = Never;
    // No car saved for a side trip's return yet.
    i8SaveVehID = -1;
    i8SaveVehTint = 0;
    lastshabbysighting = lasthottiesighting = int(Never);
    nextsightingtime = 0;
    drivingcuedone = sfxdrivingcuedone = true;
    type = OBJT_CHARACTER;
    flags = OBJF_FRAMECALL;
}

Dace::~Dace() = default;

void Dace::Init()
{
    DaceBody::Init();
    baseWeapon = leftgunarm.weapon;

    disabledcontroller.ZeroData();

    type = OBJT_CHARACTER;
    flags |= OBJF_FRAMECALL | OBJF_DRAWSELF;
    InitialiseChildCollisions();
    ModifyFlagsHierarchy(OBJF_NOCOLLISION, 0);
    flags &= ~OBJF_NOCOLLISION;
    if (biproot != nullptr)
        biproot->flags &= ~OBJF_NOCOLLISION;
    ClearPopOut();

    bCanReload = true;
    overlayPlaying = -1;
    drivingspeed = lastdrivingspeed = DRIVESPEED_MIDSPEED;
    sfxdrivingspeed = lastsfxdrivingspeed = SFXDRIVESPEED_SLOW;
    drivingspeedswitchtime = sfxdrivingspeedswitchtime = Never;
    strength = 100.0f;
    jumpframe = slideframe = jumpstartframe = pushpullframe = grappleframe = shootingframe = reloadframe = UnsetFrame;
    droptime = jumptime = attackedtime = hitbyattacktime = lastgrappleinputtime = dazedstarttime = dazecountertime =
        Never;
    lasttarget1checktime = lasttarget2checktime = lasttargetsightchecktime = lastspottingtime = Never;
    finishingstartcount = Never;
    curattack = &attackbase;
    task = Task_None;
    knockdownready = false;
    npcgrapplesoundchannel = -1;
    finishingbuffer[0] = ATTACK_NONE;
    collidestate = FREE;
    facemode = false;
    bHasLeftPickup = bHasRightPickup = false;
    pLeftPUWeapon = pRightPUWeapon = nullptr;
    mode = DACEMODE_INACTIVE;
    shootmode = SHOOT_NORMAL;
    curhitstodaze = totalhitstodaze = 3;
    mode2 = blendmode2 = PED_IDLE_ANI;

    InitGunsPedestrian();
    whizsfx = -1;
    Bullet::whizobj = this;

    cam = dacecam;
    if (cam != nullptr) {
        cam->mat = GetWorldMatrix();
        cam->InitPedestrianMode(this, true);
    }

    ptexIcon = GetIcon();
    rootcollmask = 0x2509;
    footrootcollmask = 0x2301;
    fightoffensivecollmask = 4;

    // The arm overlay leaves the spine to the body until an overlay asks.
    armOverlay.Init(this, cArmAnimIDs, cArmAnimIDcnt, 1.0f, 0.02f, 0.002f);
    for (int id : {5, 6, 7})
        armOverlay.AllowBoneID(id, 0);

    SetAnim(PED_IDLE_ANI);
    AnimateHierarchy(0.0f);
    UpdateBodyColl();

    world.pedlist.AddHead(this);
    iLastCyclePoseAnimIndex = -1;
}

void Dace::TearDown()
{
    for (OffensiveCollision& o : offcollobjs)
        o.Unbind();
    if (npcgrapplesoundchannel != -1)
        sound.FreeChannel(npcgrapplesoundchannel);
    npcgrapplesoundchannel = -1;
    world.pedlist.Remove(this);
    if (cam != nullptr && GetCurrentCam() == cam)
        SetCurrentCam(nullptr);
    if (dacecam != nullptr) {
        if (GetCurrentCam() == dacecam)
            SetCurrentCam(nullptr);
        Camera* c = dacecam;
        if (cam == dacecam)
            cam = nullptr;
        dacecam = nullptr;
        c->Delete();
    }
    for (Object** g : {&lgun, &rgun}) {
        if (*g != nullptr) {
            (*g)->Detach();
            (*g)->Delete();
        }
        *g = nullptr;
    }
    if (Bullet::whizobj.p == this)
        Bullet::whizobj = nullptr;
    if (whizsfx != -1 && sound.IsPlaying(whizsfx))
        sound.Stop(whizsfx);
    whizsfx = -1;
    if (dace == this)
        dace = nullptr;
}

// ---------------------------------------------------------------------------
// The handler.

int Dace::Dace_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        // obj is the model file the creator names, not a player yet.
        Dace* d = new Dace(Dace_mh);
        return int(reinterpret_cast<intptr_t>(d));
    }
    return static_cast<Dace*>(obj)->mh(msg, data);
}

int Dace::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME: {
        PlayerController pc(inputdisabled ? disabledcontroller : controller[0], mat);
        Frame(pc);
        return 0;
    }
    case OM_ANIMLOOP: {
        auto* am = static_cast<AnimEventMessage*>(data);
        Object* o = am != nullptr ? am->obj : nullptr;
        const int slot = am != nullptr ? am->slot : 0;
        if (slot == 0 && o == this) {
            if (mode2 == loopmode2) {
                numloops++;
            } else {
                loopmode2 = mode2;
                numloops = 1;
            }
        }
        if (mode == DACEMODE_DRIVING)
            return Loop_DriverMode(o, slot);
        if (mode == DACEMODE_CARTRANSITION)
            return Loop_TransitionMode(o, slot);
        return Loop_PedestrianMode(o, slot, false);
    }
    case OM_ANIMEVENT: {
        auto* am = static_cast<AnimEventMessage*>(data);
        Object* o = am != nullptr ? am->obj : nullptr;
        const int ev = am != nullptr ? am->event : 0;
        const int slot = am != nullptr ? am->slot : 0;
        if (mode == DACEMODE_DRIVING)
            return AnimEvent_DriverMode(o, ev, slot);
        if (mode == DACEMODE_CARTRANSITION)
            return AnimEvent_TransitionMode(o, ev, slot);
        return AnimEvent_PedestrianMode(o, ev, slot);
    }
    case OM_COLLISION:
        if (mode >= DACEMODE_ONFOOT && mode <= DACEMODE_STEALTH)
            return Collision_Pedestrian(static_cast<CollisionRecord*>(data));
        return 0;
    case OM_PASSEDCOLL:
        return PassedCollision(static_cast<CollisionRecord*>(data));
    case OM_RENDER:
        if (!poppedoutinrender) {
            ApplyPopOut();
            poppedoutinrender = true;
        }
        return 0;
    case OM_SPECIAL:
        return Special(static_cast<SpecialMessage*>(data));
    case OM_CINEMAOVER:
        SetAnim(PED_IDLE_ANI);
        return 0;
    case OM_DIE:
        TearDown();
        delete this;
        return -1;
    default:
        return 0;
    }
}

void Dace::ApplyPopOut()
{
    const VectorDir pop = GetPopOut();
    mat.SetTrans(mat.GetTrans() + pop);
    lastpopout = pop;
    ClearPopOut();
}

int Dace::PassedCollision(CollisionRecord* cr)
{
    if (cr == nullptr || car == nullptr || car->Speed2() <= kRemarkSpeed2)
        return 0;
    const u32 now = u32(world.time);
    if (lastpassedcolltime != Never && now - lastpassedcolltime <= u32(kRemarkWait))
        return 0;
    Object* other = cr->HitObj();
    if (other == nullptr)
        return 0;
    int voice = -1;
    int chance = 0;
    if (other->type == OBJT_VEHICLE) {
        voice = DaceVO_CarCrash;
        chance = 8;
    } else if (other->type == OBJT_CHARACTER && other->id > 0) {
        voice = DaceVO_CarHitPerson;
        chance = 4;
    } else if (other->type == OBJT_STATIC && other->FindSpecialIndex(15) >= 0) {
        voice = DaceVO_CarCityDamage;
        chance = 4;
    } else {
        return 0;
    }
    if (rand() % chance == 0)
        Remark(voice);
    lastpassedcolltime = now;
    return 0;
}

// ---------------------------------------------------------------------------
// The frame.

void Dace::QuitAiming(GunArm& arm) { arm.HolsterGun(); }

void Dace::FinishOverlay()
{
    if (flags & (GUYF_DYING | GUYF_DEAD)) {
        overlayPlaying = -1;
    } else {
        switch (overlayPlaying) {
        case PED_WARN_GUN_ASSUME_ANI:
        case PED_WARN_GUN_RUN_ANI: {
            rightgunarm.DrawGun();
            if (!rightgunarm.ModeIs(GunArm::JUST_SHOT) && !rightgunarm.ModeIs(GunArm::RECOIL) &&
                !rightgunarm.ModeIs(GunArm::RECOIL_TO_AIM) && !rightgunarm.ModeIs(GunArm::RECOIL_TO_SHOOT) &&
                !rightgunarm.ModeIs(GunArm::RECOIL_TO_QUIT_AIMING))
                rightgunarm.DischargeGun();
            SendEvent(SMSG_EV_PLAYER_SHOTS_B, gameeventobj);
            AcquirePrimaryShootTarget(false, 0);
            if (overlayPlaying == PED_WARN_GUN_RUN_ANI) {
                overlayPlaying = -1;
            } else if (target != nullptr) {
                SwitchToOnFootShootingMode();
                overlayPlaying = -1;
            } else {
                if (anims != nullptr)
                    armOverlay.PlayAnim(anims[PED_WARN_GUN_IDLE_ANI], frame);
                overlayPlaying = PED_WARN_GUN_IDLE_ANI;
            }
            break;
        }
        case PED_WARN_GUN_IDLE_ANI: {
            for (int id = 48; id <= 51; id++)
                armOverlay.AllowBoneID(id, 1);
            const u32 now = u32(world.time);
            bool shotlately = false;
            auto recent = [&](auto& arm) {
                shotlately |= arm.IsArmed() && arm.lastshot != Never && now - arm.lastshot < 30u;
            };
            if (mode == DACEMODE_DRIVING) {
                recent(leftdrivinggunarm);
                recent(rightdrivinggunarm);
            } else {
                recent(leftgunarm);
                recent(rightgunarm);
            }
            if (shotlately) {
                if (anims != nullptr)
                    armOverlay.PlayAnim(anims[PED_WARN_GUN_IDLE_ANI], frame);
            } else {
                QuitAiming(rightgunarm);
                rightgunarm.Reload();
                if (anims != nullptr)
                    armOverlay.PlayAnim(anims[PED_WARN_GUN_REVERT_ANI], frame);
                overlayPlaying = PED_WARN_GUN_REVERT_ANI;
            }
            break;
        }
        case CAR_GUNS_WARN_ANI:
            AcquirePrimaryShootTarget(false, 0);
            for (int id = 48; id <= 51; id++)
                armOverlay.AllowBoneID(id, 1);
            overlayPlaying = -1;
            break;
        case GUNS_IDLE_DRAWGUNS_ANI:
            if (task <= Task_Defeat)
                SwitchToOnFootShootingMode();
            overlayPlaying = -1;
            break;
        case GUNS_IDLE_RELOAD_ANI:
            // Own guns put back by the reload were hidden until it ends.
            for (Object* g : {lgun, rgun})
                if (g != nullptr)
                    g->flags &= ~OBJF_HIDDEN;
            for (GunArm* a : {&leftgunarm, &rightgunarm})
                if (a->IsArmed())
                    a->Reload();
            shootingframe = UnsetFrame;
            SetShootMode(SHOOT_NORMAL);
            overlayPlaying = -1;
            break;
        default:
            overlayPlaying = -1;
            break;
        }
    }
    if (overlayPlaying == -1)
        armOverlay.Fadeout();
}

void Dace::Frame(PlayerController& pc)
{
    // 1. The arm overlay.
    if (overlayPlaying >= 0 || armOverlay.InFadeout()) {
        if (armOverlay.Animate(frame) != 0) {
            if (overlayPlaying == -1 && !armOverlay.InFadeout())
                for (int id : {5, 6, 7})
                    armOverlay.AllowBoneID(id, 0);
        } else if (overlayPlaying >= 0) {
            FinishOverlay();
        }
    }

    // 2. Where passing bullets are heard.
    if (torso != nullptr)
        Bullet::whizpos = torso->GetWorldPos();

    // 3. The wrists keep the gun upright in the frame the body stands in.
    {
        Matrix m = GetWorldMatrix();
        if (biproot != nullptr) {
            const Matrix b = biproot->GetWorldMatrix();
            if (b.y[1] > 0.707f)
                m = b;
        }
        auto inframe = [&](VectorDir d) {
            return VectorDir(Dot(d, VectorDir(m.x.xyz())), Dot(d, VectorDir(m.y.xyz())), Dot(d, VectorDir(m.z.xyz())));
        };
        const VectorDir primary = inframe(VectorDir(0.0f, -1.0f, 0.0f));
        const VectorDir alternate = inframe(VectorDir(-0.707107f, -0.707107f, 0.0f));
        for (GunArm* a : {&leftgunarm, &rightgunarm}) {
            a->primarywristdir = primary;
            a->alternatewristdir = alternate;
        }
    }

    // 4. The push-out, unless drawing applied it already.
    if (!poppedoutinrender)
        ApplyPopOut();
    poppedoutinrender = false;

    if (flags & (GUYF_DYING | GUYF_DEAD)) {
        // 5. The animation drives the body.
        if (mode2 == COMBAT_GRAPPLED_ANI || mode2 == COMBAT_GRAPPLE_BROKEN_1_ANI || mode2 == COMBAT_GRAPPLE_BROKEN_2_ANI)
            VictimUpdate(pc);
        Animate();
        if (mode == DACEMODE_DRIVING) {
            if (biproot != nullptr) {
                const VectorDir off = VectorDir(biproot->mat.GetTrans());
                const VectorDir turned = VectorDir(mat.x.xyz()) * off[0] + VectorDir(mat.y.xyz()) * off[1] +
                                         VectorDir(mat.z.xyz()) * off[2];
                mat.SetTrans(childpos - turned);
            }
        } else if (IsAirborneAnim(mode2)) {
            if (mode2 == COMBAT_KNOCKDOWN_INAIR_ANI)
                CombatKnockdownCheckGroundContact();
        } else {
            PedestrianCheckForFall();
        }
        pointhead = false;
    } else {
        // 6. The mode's own frame.
        switch (mode) {
        case DACEMODE_INACTIVE: SetLookMode(NOT_LOOKING); break;
        case DACEMODE_ONFOOT:
        case DACEMODE_FISTS: Frame_PedestrianMode(pc); break;
        case DACEMODE_GUNS: Frame_GunMode(pc); break;
        case DACEMODE_STEALTH: Frame_Stealth(pc); break;
        case DACEMODE_DRIVING:
            SetLookMode(NOT_LOOKING);
            Frame_DriverMode(pc);
            break;
        case DACEMODE_CARTRANSITION:
            SetLookMode(NOT_LOOKING);
            Frame_TransitionMode(pc);
            break;
        case DACEMODE_CINEDRIVE:
            SetLookMode(NOT_LOOKING);
            Frame_CineDriverMode(pc);
            break;
        case DACEMODE_CINEWALK:
            SetLookMode(NOT_LOOKING);
            Frame_CineWalkMode(pc);
            break;
        default: Frame_PedestrianMode(pc); break;
        }
        if ((mode2 >= COMBAT_BACK_H_ANI && mode2 <= COMBAT_LYINGDOWN_H_GETUP_ANI) ||
            (mode2 >= GUNS_PUNCH_ANI && mode2 <= GUNS_GRAPPLE_RELEASE_ANI))
            attackidle = 0;
        else
            attackidle++;
    }

    // 7. Push-out integration: pushes fade over a few frames, and never
    // against the hard push-out just applied.
    pushoutvel = (pushoutvel + newpushoutvel) * 0.6f;
    pushoutmovement = (pushoutmovement + pushoutvel) * 0.3f;
    newpushoutvel = VectorDir(0.0f, 0.0f, 0.0f);
    groundobj = nullptr;
    groundobjy = 0.0f;
    groundupdatetime = u32(world.time);
    VectorPos p = mat.GetTrans();
    for (int i = 0; i < 3; i++)
        if (pushoutmovement[i] * lastpopout[i] >= 0.0f)
            p[i] += pushoutmovement[i];
    mat.SetTrans(p);

    // 8. Head, body spheres, camera.
    PointHead();
    UpdateBodyColl();
    collision = nullptr;
    if (cam != nullptr)
        cam->Update();
}

// ---------------------------------------------------------------------------
// The pad.

Dace::PlayerController::PlayerController(const Controller& pad, const Matrix& playermat) : Controller(pad)
{
    const int x = StickAxis(rdata[4 + ANA_LX]);
    const int y = StickAxis(rdata[4 + ANA_LY]);
    float cx = float(x) * 0.0114943f, cy = float(y) * 0.0114943f;
    const float l2 = cx * cx + cy * cy;
    if (l2 > 1.0f) {
        const float inv = 1.0f / std::sqrt(l2);
        cx *= inv;
        cy *= inv;
    }
    cxy = VectorXY(cx, cy);
    cdir = VectorDir(cx, 0.0f, -cy);
    const Matrix& cm = GetCurrentCam()->mat;
    wdir = VectorDir(cm.x.xyz()) * cdir[0] + VectorDir(cm.y.xyz()) * cdir[1] + VectorDir(cm.z.xyz()) * cdir[2];
    wdir[1] = 0.0f;
    ldir = VectorDir(Dot(wdir, VectorDir(playermat.x.xyz())), Dot(wdir, VectorDir(playermat.y.xyz())),
                     Dot(wdir, VectorDir(playermat.z.xyz())));
}

DaceAnim::AttackType Dace::GetAttackType(const Controller& pad)
{
    const u32 hit = pad.Hit();
    if (hit & BUT_SQUARE)
        return ATTACK_PUNCH;
    if (hit & BUT_CROSS)
        return ATTACK_KICK;
    if (hit & BUT_TRIANGLE)
        return ATTACK_HIGHATTACK;
    if (hit & BUT_CIRCLE)
        return ATTACK_GRAPPLE;
    return ATTACK_NONE;
}

float Dace::Turn(float current, float goal, float maxstep)
{
    float delta = FixAng(goal - current);
    if (delta > maxstep)
        delta = maxstep;
    if (delta < -maxstep)
        delta = -maxstep;
    return FixAng(current + delta);
}
