// The player driving (player mode 5): the pad handed to his car, the in-car
// camera, looking back, braking to a stop to get out, aiming and shooting
// from the seat (precisely, in slow motion, when he may), the music and
// voice cues of his speed, remarks about people by the road while he is
// stopped, the rider's poses on a motorbike, and the seated animations'
// ends and events that carry his guns and the hand-held siren.
#include "game/Player.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/World.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"
#include "game/reticle.h"

namespace {

// The in-car camera of a big vehicle looks down at least this much from at
// least this far.
constexpr float kBigCarRadius = 1.4f;
constexpr float kBigCarPitch = -0.6f;
constexpr float kBigCarDist = 2.0f;
// The on-car camera's seat above the driver.
constexpr float kOnCarHeight = -0.15625f;

// Below this squared speed he remarks on people by the road, within this
// squared distance of him.
constexpr float kRemarkSpeed2 = 0.00664089f;
constexpr float kRemarkRange2 = 156.25f;
constexpr int kRemarkRest = 121;
constexpr int SMSG_QUERY_HOTTIE = 86, SMSG_QUERY_SHABBY = 87;

// Still enough to get out: squared speed, angular speed.
constexpr float kStill2 = 0.000135528f;
constexpr float kStillTurn = 0.00232833f;

// Aiming: frames of R1 before precision aiming may start; the gun warning
// rests this long.
constexpr float kPrecisionAfter = 30.0f;
constexpr int kGunWarningRest = 301;
constexpr u32 kPrecisionFireAbility = 1;

// Speed classes (forward speed per frame) and how long after a change the
// cue comes.
constexpr float kFast = 0.186267f, kSlow = 0.06985f, kZooming = 0.2794f;
constexpr int kFastCueAfter = 120, kSlowCueAfter = 240, kZoomCueAfter = 120, kZoomRest = 601;

// The motorbike's poses.
constexpr float kBikeStill = 0.00232833f, kBikeStraight = 0.0654498f, kBikeTuck = 0.151342f;
constexpr float kLeanPerSteer = 1.90986f;   // 6 / pi
constexpr float kPoseStep = 0.125f;

bool In(int a, int lo, int hi) { return a >= lo && a <= hi; }

bool Stopping(u16 a)
{
    return a == CAR_IDLE_BRAKE_ANI || a == DRIVING_BRAKE_BACKWARDS_ANI || a == DRIVING_BRAKE_RECOIL_ANI ||
           a == BIKE_IDLE_BRAKE_ANI;
}

bool Siren(u16 a) { return a == DRIVING_IDLE_SIREN_OFF_ANI || a == DRIVING_IDLE_SIREN_ON_ANI; }

// One chance in n, drawn as the game draws it.
bool OneIn(int n) { return ((s64(rand()) * n) >> 31) == 0; }

int Send(Object* to, int code, Object* obj)
{
    if (to == nullptr)
        return 0;
    SpecialMessage m(code, obj);
    return to->SendMessage(OM_SPECIAL, &m);
}

bool Rested(int since, int rest) { return since == NEVER || since >= rest; }

u32 Ability() { return g_pgcTest != nullptr ? g_pgcTest->stats.gunAbility : 0; }
float PrecisionSlow() { return g_pgcTest != nullptr ? g_pgcTest->stats.fPrecisionSlow : 1.0f; }

// The precise reticle's body part from the left stick.
int BodyPart(int x, int y)
{
    if (y < -50 && std::abs(x) < 20)
        return TARGET_HEADSHOT;
    if (std::abs(y) < 20) {
        if (x < -50)
            return TARGET_LEFTARM;
        if (x >= 51)
            return TARGET_RIGHTARM;
        return -1;
    }
    if (y >= 21)
        return x < 6 ? TARGET_LEFTLEG : TARGET_RIGHTLEG;
    return -1;
}

}  // namespace

void Dace::Frame_DriverMode(PlayerController& pc)
{
    const u32 held = pc.pad & 0xFFFF;
    const u32 hit = pc.Hit();

    // 1. Targets by task.
    if (task == Task_Pursue || task == Task_Escape || task == Task_Tail) {
        CheckDrivingShootingTarget();
        if (task == Task_Pursue)
            AcquireTarget();
    }

    // 2. The world's speed: back to normal, or toward precision's slowness.
    const float s = world.playbackSpeed * 0.833333f;
    if (shootmode == SHOOT_PRECISION) {
        world.playbackSpeed = (s + (PrecisionSlow() - s) * 0.1f) * 1.2f;
    } else if (s < 1.0f) {
        world.playbackSpeed = std::min(s + SlowMoTransitionSpeed, 1.0f) * 1.2f;
    }

    // 3. Looking back, and the camera settings.
    if (cam != nullptr) {
        if (held & BUT_TRIANGLE) {
            cam->SetReverseCamera(true);
        } else {
            cam->SetReverseCamera(false);
            if (hit & BUT_PAD_DOWN)
                cam->AdvanceCamSettings(false);
        }
    }

    // 4. The in-car camera's place.
    if (cam != nullptr) {
        if (car != nullptr && car->radius > kBigCarRadius && cam->mode == CAMMODE_INCAR) {
            cam->relangx = std::min(cam->relangx, kBigCarPitch);
            cam->distgoal = std::max(car->radius, kBigCarDist);
        }
        if (cam->mode == CAMMODE_INCAR) {
            float d = cam->distgoal;
            if (shootmode == SHOOT_PRECISION)
                d = parent != nullptr ? parent->radius : cam->distgoal * 0.5f;
            PlaceCarCamera(d);
        } else if (cam->mode == CAMMODE_ONCAR) {
            cam->relpos = VectorPos(0.0f, kOnCarHeight, parent != nullptr ? parent->radius : 0.0f);
        }
    }

    // 5. Someone else at the wheel keeps it until the player takes it.
    if (car != nullptr && car->rcoDriver.p != this) {
        const bool stick = StickAxis(pc.Analog(ANA_RY)) != 0;
        if (!stick && !(held & (BUT_TRIGGER_L2 | BUT_CIRCLE | BUT_CROSS | BUT_SQUARE)))
            return;
        if (Object* other = car->rcoDriver.p) {
            other->Detach();
            other->Delete();
        }
        car->rcoDriver = this;
    }

    // 6. Remarks on people by the road.
    if (car != nullptr)
        DrivingRemarks();

    // 7. The other half of a commandeering line.
    if (DaceVO.GetCurrentType() == DaceVO_CarCommandeerStart && DaceVO.IsStopped())
        DaceVO.Play(DaceVO_CarCommandeerFinish, 0);

    bool braking = false;
    if (car != nullptr) {
        // 8. L1 brakes to a stop to get out.
        if (!Stopping(mode2) && (hit & BUT_TRIGGER_L) && overlayPlaying == -1 && mode2 != CAR_GUNS_WARN_ANI &&
            !Siren(mode2)) {
            if (car->bCycle) {
                BlendToAnim(BIKE_IDLE_BRAKE_ANI, 3);
            } else if (car->FindNode(0x8064) != nullptr) {
                const bool back = Dot(VectorDir(car->vel.xyz()), VectorDir(car->mat.z.xyz())) < 0.0f;
                BlendToAnim(back ? DRIVING_BRAKE_BACKWARDS_ANI : CAR_IDLE_BRAKE_ANI, 3);
            }
        }
        // 9. Out once still; until then the brakes hold and the pad is cut off.
        if (Stopping(mode2)) {
            const bool twowheels =
                car->vSpecialMove == VSpecialMove_TwoWheels_Left || car->vSpecialMove == VSpecialMove_TwoWheels_Right;
            if (car->Speed2() < kStill2 && Length(VectorDir(car->angvel.xyz())) < kStillTurn && !twowheels) {
                fLastCyclePoseBlendAmount = 0.0f;
                SetPoseBlendHierarchy(0.0f, false);
                flags &= ~OBJF_SELFANIMATING;
                BlendToAnim(car->bCycle ? BIKE_IDLE_ANI : CAR_IDLE_ANI, 5);
                GetOut();
                return;
            }
            car->fBrake = 0.01f;
            car->fEngine = 0.0f;
            car->steer = 0.0f;
            car->fAccel = 0.0f;
            braking = true;
        }
    }

    if (!braking) {
        // 10. The target and the reticle on it.
        CheckDrivingShootingTarget();
        if (target != nullptr) {
            UpdateReticle(true);
            SetLookMode(SOMETIMES_LOOKING);
            lookcomfort = UNCOMFORTABLE;
            if (target->type == OBJT_CHARACTER) {
                headpointguy = static_cast<Guy*>(target.p);
                Object* head = target->FindSubObject(SUB_TORSO);
                headpointloc = head != nullptr ? head->GetWorldPos() : target->GetWorldPos();
            } else {
                headpointguy = nullptr;
                headpointloc = target->GetRoot()->GetWorldPos();
            }
            AcquirePrimaryShootTarget(false, StickAxis(pc.Analog(ANA_RX)));
        } else {
            SetLookMode(NOT_LOOKING);
        }
        // 11.
        if (mode2 != CAR_GUNS_WARN_ANI)
            DrivingGuns(pc);
    }

    // 12. The pad drives the car.
    if (car != nullptr && car->rcoDriver.p == this && !(flags & (GUYF_DYING | GUYF_DEAD)) && !braking)
        car->ControlVehicle(pc);

    // 13. The rider's arms.
    if (car != nullptr && car->bCycle) {
        if (mode2 == BIKE_TUCK_ANI)
            UpdateGunsDriving(true, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
        else
            UpdateGunsDriving(true, std::max(-cycleblendlean, 0.0f), std::max(cycleblendlean, 0.0f),
                              std::max(-cycleblendtip, 0.0f), std::max(cycleblendtip, 0.0f), 0.0f, 0.0f);
    } else {
        UpdateGunsDriving(false, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    }

    // 14.
    if (car != nullptr)
        DrivingCues();

    // 15.
    SeatBody();
}

void Dace::SeatBody()
{
    AnimateHierarchy(1.0f);
    const VectorDir root = biproot != nullptr ? VectorDir(biproot->mat.GetTrans()) : VectorDir(0.0f, 0.0f, 0.0f);
    const VectorDir turned =
        VectorDir(mat.x.xyz()) * root[0] + VectorDir(mat.y.xyz()) * root[1] + VectorDir(mat.z.xyz()) * root[2];
    mat.SetTrans(childpos - turned);
}

void Dace::DrivingRemarks()
{
    const int now = world.time;
    if (now < nextsightingtime || task != Task_None || car->Speed2() >= kRemarkSpeed2)
        return;
    Object* shabby = nullptr;
    Object* hottie = nullptr;
    const VectorPos here = GetWorldPos();
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* p = *it;
        if (p == nullptr || p == this || (shabby != nullptr && hottie != nullptr))
            continue;
        const bool near = VectorDir(p->GetWorldPos() - here).LengthSq() < kRemarkRange2;
        if (shabby == nullptr && Send(p, SMSG_QUERY_SHABBY, this) != 0 && near)
            shabby = p;
        if (hottie == nullptr && Send(p, SMSG_QUERY_HOTTIE, this) != 0 && near)
            hottie = p;
    }
    const Matrix me = GetWorldMatrix();
    auto remark = [&](Object* p, int last, int type) {
        if (!OneIn(10) || (last != int(Never) && now - last < kRemarkRest))
            return;
        const Matrix pm = p->GetWorldMatrix();
        const VectorDir pz(pm.z.xyz());
        const bool facesme = Dot(VectorDir(pm.GetTrans() - me.GetTrans()), pz) < 0.0f;
        const bool facedbyme = Dot(VectorDir(me.z.xyz()), pz) < 0.0f;
        if (facesme && facedbyme && DaceVO.IsStopped())
            DaceVO.Play(type, 0);
    };
    if (shabby != nullptr) {
        remark(shabby, lastshabbysighting, DaceVO_Random_Male);
        lastshabbysighting = now;
    }
    if (hottie != nullptr) {
        remark(hottie, lasthottiesighting, DaceVO_Random_Female);
        lasthottiesighting = now;
    }
    nextsightingtime = now + 12 + int((s64(rand()) * 6) >> 31);
}

void Dace::DrivingGuns(PlayerController& pc)
{
    const u32 held = pc.pad & 0xFFFF;
    const bool reversing = mode2 == BIKE_WALK_BACK_ANI;
    if ((held & BUT_TRIGGER_R) && !reversing) {
        if (held & BUT_TRIGGER_R2) {
            // The gun warning out of the window.
            if (overlayPlaying == -1) {
                for (int bone = 48; bone <= 51; bone++)
                    armOverlay.AllowBoneID(bone, 0);
                if (Anims[CAR_GUNS_WARN_ANI] != nullptr)
                    armOverlay.PlayAnim(Anims[CAR_GUNS_WARN_ANI], frame);
                overlayPlaying = CAR_GUNS_WARN_ANI;
                Send(gameeventobj, SMSG_EV_PLAYER_SHOTS_A, this);
                if (Rested(DaceVO.GetTimeSincePlayed(DaceVO_GunWarning), kGunWarningRest))
                    DaceVO.Play(DaceVO_GunWarning, 0);
            }
            return;
        }
        // Aiming.
        AcquirePrimaryShootTarget(false, 0);
        if (shootingframe == UnsetFrame) {
            shootingframe = frame;
        } else if ((Ability() & kPrecisionFireAbility) && reticle != nullptr && !(reticle->flags & OBJF_DEAD) &&
                   shootmode != SHOOT_PRECISION && frame - shootingframe > kPrecisionAfter) {
            SetShootMode(SHOOT_PRECISION);
        }
        if (shootmode == SHOOT_PRECISION && target != nullptr && reticlePr != nullptr)
            static_cast<PreciseReticle*>(reticlePr.p)->iBodyTarget =
                BodyPart(StickAxis(pc.Analog(ANA_LX)), StickAxis(pc.Analog(ANA_LY)));
        return;
    }
    // Released (or reversing a motorbike, which counts as released).
    if (shootingframe == UnsetFrame || reversing) {
        if (car != nullptr && car->bCycle)
            Frame_CycleSub(pc);
        return;
    }
    if (!Siren(mode2)) {
        const bool precise = shootmode == SHOOT_PRECISION && reticlePr != nullptr;
        const VectorDir vel = parent != nullptr && parent->type == OBJT_VEHICLE
                                  ? VectorDir(static_cast<Vehicle*>(parent)->vel.xyz())
                                  : VectorDir(0.0f, 0.0f, 0.0f);
        FireGunDriving(precise ? reticlePr.p : reticle.p, VectorPos(0.0f, 0.0f, 0.0f), vel, target, precise ? 1 : 0);
        if (target != nullptr)
            Send(target, SMSG_SHOT_AT, this);
    }
    shootingframe = UnsetFrame;
    SetShootMode(SHOOT_NORMAL);
}

void Dace::DrivingCues()
{
    const float v = Dot(VectorDir(car->vel.xyz()), VectorDir(car->GetWorldMatrix().z.xyz()));
    const u32 now = u32(world.time);
    // The music class.
    const DrivingSpeed cls = v > kFast ? DRIVESPEED_FAST : v < kSlow ? DRIVESPEED_SLOW : DRIVESPEED_MIDSPEED;
    if (drivingspeedswitchtime == Never) {
        drivingspeed = lastdrivingspeed = cls;
        drivingspeedswitchtime = now;
        drivingcuedone = true;
    } else if (cls != drivingspeed) {
        lastdrivingspeed = drivingspeed;
        drivingspeed = cls;
        drivingspeedswitchtime = now;
        drivingcuedone = false;
    }
    // The sound class.
    const SfxDrivingSpeed sfx = v > kZooming ? SFXDRIVESPEED_FAST : SFXDRIVESPEED_SLOW;
    if (sfxdrivingspeedswitchtime == Never) {
        sfxdrivingspeed = lastsfxdrivingspeed = sfx;
        sfxdrivingspeedswitchtime = now;
        sfxdrivingcuedone = true;
    } else if (sfx != sfxdrivingspeed) {
        lastsfxdrivingspeed = sfxdrivingspeed;
        sfxdrivingspeed = sfx;
        sfxdrivingspeedswitchtime = now;
        sfxdrivingcuedone = false;
    }

    // World time moves by more than a frame a tick at normal speed, so a cue
    // is given on the tick its delay is reached or passed, once per change.
    if (!sfxdrivingcuedone && now - sfxdrivingspeedswitchtime >= u32(kZoomCueAfter)) {
        sfxdrivingcuedone = true;
        if (sfxdrivingspeed == SFXDRIVESPEED_FAST && lastsfxdrivingspeed == SFXDRIVESPEED_SLOW && (rand() & 3) == 0 &&
            Rested(DaceVO.GetTimeSincePlayed(DaceVO_CarZooming), kZoomRest))
            DaceVO.Play(DaceVO_CarZooming, 0);
    }
    if (drivingcuedone)
        return;
    const u32 since = now - drivingspeedswitchtime;
    int event = -1;
    switch (drivingspeed) {
    case DRIVESPEED_FAST:
        if (since >= u32(kFastCueAfter))
            event = SoundEvent_StartFastDriving;
        break;
    case DRIVESPEED_SLOW:
        if (since >= u32(kSlowCueAfter))
            event = SoundEvent_StartSlowDriving;
        break;
    case DRIVESPEED_MIDSPEED:
        if (lastdrivingspeed == DRIVESPEED_SLOW && since >= u32(kSlowCueAfter))
            event = SoundEvent_StopSlowDriving;
        else if (lastdrivingspeed == DRIVESPEED_FAST && since >= u32(kFastCueAfter))
            event = SoundEvent_StopFastDriving;
        break;
    }
    if (event >= 0) {
        drivingcuedone = true;
        bgm.Event(event);
    }
}

int Dace::Frame_CycleSub(PlayerController&)
{
    if (car == nullptr)
        return 0;
    // 1.
    const float speedv = Length(VectorDir(car->vel.xyz()));
    const bool gunposed = leftdrivinggunarm.poseblend != 0.0f;
    // 2.
    u16 anim;
    bool turnposes = false;
    float lean = 0.0f;
    if (speedv < kBikeStill && std::fabs(car->steer) < kBikeStraight) {
        anim = BIKE_IDLE_STOPPED_ANI;
    } else if (speedv >= kBikeTuck) {
        anim = BIKE_TUCK_ANI;
    } else if (car->gear < 0) {
        anim = BIKE_WALK_BACK_ANI;
    } else {
        anim = BIKE_IDLE_ANI;
        turnposes = true;
        lean = car->steer * kLeanPerSteer;
    }
    // 3.
    float weight = fLastCyclePoseBlendAmount;
    if (mode2 != anim) {
        if (gunposed || fLastCyclePoseBlendAmount < 0.05f) {
            BlendToAnim(anim, 15);
            if (!turnposes && !gunposed)
                SetPoseBlendHierarchy(0.0f, false);
        } else {
            weight = fLastCyclePoseBlendAmount * kPoseStep;
        }
    } else if (turnposes) {
        weight = std::min(weight + kPoseStep, 1.0f);
    } else {
        weight = std::max(weight - kPoseStep, 0.0f);
    }
    // 4. The lean over the base pose.
    if (turnposes && mode2 == anim) {
        if (Anims[anim] != nullptr)
            PoseAnimHierarchyToFrame(Anims[anim], 0.0f, false, 1.0f);
        cycleblendlean = lean == 0.0f ? 0.0f : std::clamp(lean, -1.0f, 1.0f);
        const u16 turn = cycleblendlean > 0.0f ? BIKE_TURN_R_ANI : BIKE_TURN_L_ANI;
        if (cycleblendlean != 0.0f && Anims[turn] != nullptr)
            PoseAnimHierarchyToFrame(Anims[turn], 0.0f, false, std::fabs(cycleblendlean));
        cycleblendtip = 0.0f;
        SetPoseBlendHierarchy(weight, false);
    }
    // 5.
    fLastCyclePoseBlendAmount = weight;
    return 0;
}

int Dace::Loop_DriverMode(Object*, int)
{
    if (Stopping(mode2)) {
        // Held at its end while the car comes to a stop.
        flags |= OBJF_SELFANIMATING;
        return 0;
    }
    const u16 next = AnimTransitions[mode2];
    if (next != 0) {
        if (AnimTransMorphLens[mode2] != 0)
            BlendToAnim(next, AnimTransMorphLens[mode2]);
        else
            SetAnim(next);
        return -1;
    }
    // The seat switch that ends a car entry plays once; then he sits.
    if (mode2 == CAR_SEATSWITCH_L_ANI || mode2 == CAR_SEATSWITCH_R_ANI) {
        BlendToAnim(CAR_IDLE_ANI, 5);
        return -1;
    }
    return 0;
}

int Dace::AnimEvent_DriverMode(Object*, int event, int)
{
    switch (event) {
    case 45: leftdrivinggunarm.FakeShot(); break;
    case 46: rightdrivinggunarm.FakeShot(); break;
    case 130:
        SetHidden(lgun, false);
        if (unsigned(leftdrivinggunarm.mode) < unsigned(PresetGunArm::CARRYING))
            leftdrivinggunarm.mode = PresetGunArm::CARRYING;
        rightdrivinggunarm.mode = PresetGunArm::UNARMED;
        break;
    case 131:
        SetHidden(rgun, false);
        if (unsigned(rightdrivinggunarm.mode) < unsigned(PresetGunArm::CARRYING))
            rightdrivinggunarm.mode = PresetGunArm::CARRYING;
        leftdrivinggunarm.mode = PresetGunArm::UNARMED;
        break;
    case 132: SetHidden(lgun, true); break;
    case 133: SetHidden(rgun, true); break;
    case 190: SetHidden(siren, false); break;
    case 191:
        Send(car, SMSG_CD_SUSPEND, nullptr);
        SetHidden(siren, true);
        break;
    case 192:
        Send(car, SMSG_CD_RESUME, nullptr);
        SetHidden(siren, false);
        break;
    case 193: SetHidden(siren, true); break;
    default: break;
    }
    return 0;
}
