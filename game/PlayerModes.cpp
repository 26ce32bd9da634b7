// The player's mode machine: entering a player mode, and following the game
// controller's mission mode with a task and a fitting mode.
#include "game/Player.h"

#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/reticle.h"

namespace {

// The prop the cinematic drive hangs in the player's right hand, and the id
// that lets a later mode change find it again.
constexpr int kCineDrivePropSlot = 205;
constexpr u16 kCineDrivePropNode = 0x8001;
constexpr s16 kCineDrivePropId = -99;

// The child of the player's hierarchy with the cinematic-drive prop's id.
Object* FindCineDriveProp(Object* player) { return player->FindSubObject(kCineDrivePropId); }

void DeleteCineDriveProp(Object* player)
{
    if (Object* prop = FindCineDriveProp(player)) {
        prop->Detach();
        prop->Delete();
    }
}

}  // namespace

void Dace::DeleteReticle(RCptr<Object>& r)
{
    if (r != nullptr && !r->IsDead())
        r->Delete();
    r = nullptr;
}

bool Dace::CarMovesBackwards() const
{
    if (car == nullptr)
        return false;
    const Vector& v = car->Vel();
    return Dot(VectorDir(v.xyz()), VectorDir(car->mat.z.xyz())) < 0.0f;
}

// The gun draw of a seated player: no mode change.
void Dace::DrawInCar()
{
    if (mode2 == CAR_IDLE_BRAKE_ANI || mode2 == BIKE_IDLE_BRAKE_ANI || mode2 == DRIVING_BRAKE_BACKWARDS_ANI ||
        mode2 == DRIVING_BRAKE_RECOIL_ANI)
        return;
    BlendToAnim(CarMovesBackwards() ? DRIVING_BRAKE_BACKWARDS_ANI : CAR_IDLE_BRAKE_ANI, 3);
}

void Dace::FaceAlong(VectorDir d)
{
    d[1] = 0.0f;
    if (d.LengthSq() <= 0.0f)
        return;
    d = Normalise(d);
    if (parent != nullptr) {
        // The turn is kept in the parent's frame.
        const Matrix pw = parent->GetWorldMatrix();
        d = VectorDir(Dot(d, VectorDir(pw.x.xyz())), Dot(d, VectorDir(pw.y.xyz())), Dot(d, VectorDir(pw.z.xyz())));
    }
    d[1] = 0.0f;
    if (d.LengthSq() <= 0.0f)
        return;
    d = Normalise(d);
    if (d.LengthSq() <= 0.01f)
        return;
    const Matrix m = LookAlong(d);
    mat.x = m.x;
    mat.y = m.y;
    mat.z = m.z;
}

void Dace::FaceTarget()
{
    if (target == nullptr)
        return;
    Object* root = target->GetRoot();
    FaceAlong(VectorDir(root->GetWorldPos() - GetWorldPos()));
}

void Dace::SwitchToMode(s8 newmode, bool setanim)
{
    if (newmode != mode)
        LeaveCurrentMode();
    switch (newmode) {
    case DACEMODE_ONFOOT:
        QuitAiming(leftgunarm);
        QuitAiming(rightgunarm);
        DeleteReticle(reticle);
        mode = DACEMODE_ONFOOT;
        if (setanim) {
            mode2 = blendmode2 = PED_IDLE_ANI;
            SetAnim(PED_IDLE_ANI);
        }
        InitGunsPedestrian();
        break;
    case DACEMODE_GUNS:
        mode = DACEMODE_GUNS;
        if (setanim) {
            mode2 = blendmode2 = GUNS_FIRST_ANI;
            SetAnim(GUNS_FIRST_ANI);
        }
        InitGunsPedestrian();
        for (WorldTime& t : firetimes)
            t = -1;
        leftgunarm.lastshot = rightgunarm.lastshot = Never;
        jumpstartframe = UnsetFrame;
        facemode = false;
        break;
    case DACEMODE_FISTS:
        if (setanim) {
            if (cam != nullptr)
                cam->absposstep = Camera::CombatAbsPosStep;
            mode2 = blendmode2 = COMBAT_IDLE_ENTER_FIGHT_ANI;
            SetAnim(COMBAT_IDLE_ENTER_FIGHT_ANI);
        }
        mode = DACEMODE_FISTS;
        InitGunsPedestrian();
        break;
    case DACEMODE_STEALTH:
        InitGunsPedestrian();
        mode = DACEMODE_STEALTH;
        if (setanim) {
            mode2 = blendmode2 = STEALTH_FIRST_ANI;
            SetAnim(STEALTH_FIRST_ANI);
        }
        break;
    case DACEMODE_DRIVING:
        if (setanim) {
            const u16 seated = car != nullptr && car->bCycle ? BIKE_IDLE_STOPPED_ANI : CAR_IDLE_ANI;
            mode2 = blendmode2 = seated;
            SetAnim(seated);
        }
        mode = DACEMODE_DRIVING;
        leftdrivinggunarm.lastshot = rightdrivinggunarm.lastshot = Never;
        InitGunsDriving();
        if (cam != nullptr)
            cam->InitCarMode(car);
        break;
    case DACEMODE_CARTRANSITION:
        if (mode == DACEMODE_DRIVING) {
            leftdrivinggunarm.DisarmGun(true);
            rightdrivinggunarm.DisarmGun(true);
        }
        mode = DACEMODE_CARTRANSITION;
        break;
    case DACEMODE_CINEDRIVE: {
        MDLFILE* prop = g_GlobalMFI.GetMF(kCineDrivePropSlot, true);
        InitGunsDriving();
        mode = DACEMODE_CINEDRIVE;
        mode2 = blendmode2 = CAR_IDLE_CRASH_ANI;
        SetAnim(CAR_IDLE_CRASH_ANI);
        if (cam != nullptr) {
            cam->relangx = -0.41991f;
            cam->angygoal = 1.994f;
            cam->distgoal = 0.7f;
            const Matrix r = RotY(cam->angygoal) * RotX(cam->relangx);
            cam->relpos = VectorPos(VectorDir(r.z.xyz()) * -cam->distgoal);
            cam->mat.SetTrans(GetWorldMatrix() * cam->relpos);
        }
        NODE* node = FindNode(kCineDrivePropNode);
        Object* owner = node != nullptr ? this : nullptr;
        if (owner == nullptr && child != nullptr)
            owner = child->FindNodeHierarchy(kCineDrivePropNode, node);
        if (owner != nullptr && node != nullptr && prop != nullptr && prop->HasData()) {
            if (Object* h = prop->GetHierarchy(0, sizeof(Object), 0)) {
                owner->Attach(h, node);
                h->id = kCineDrivePropId;
            }
        }
        break;
    }
    default:
        mode = newmode;
        break;
    }
}

void Dace::SwitchGameplayMode(int g, bool init)
{
    if (g == 0)
        return;
    // Keeps the on-foot and driving modes; a cinematic drive goes on as a
    // drive, anything else stands the player on his feet.
    auto onFootOrDriving = [&](bool keepinvehicle, bool cinedrivetodriving) {
        if (init) {
            if (mode == DACEMODE_ONFOOT || mode == DACEMODE_DRIVING)
                return;
            SwitchToMode(mode == DACEMODE_CINEDRIVE ? DACEMODE_DRIVING : DACEMODE_ONFOOT, true);
            return;
        }
        if (mode == DACEMODE_ONFOOT || mode == DACEMODE_DRIVING || mode == DACEMODE_CARTRANSITION)
            return;
        if (keepinvehicle && parent != nullptr)
            return;
        if (cinedrivetodriving && mode == DACEMODE_CINEDRIVE)
            SwitchToMode(DACEMODE_DRIVING, false);
        else
            SwitchToMode(DACEMODE_ONFOOT, false);
    };

    switch (g) {
    case 1:
        task = Task_Tail;
        onFootOrDriving(true, false);
        break;
    case 2:
    case 5:
        task = Task_Pursue;
        onFootOrDriving(false, true);
        break;
    case 3:
    case 9:
    case 10:
    case 16:
        task = Task_DriveTo;
        DeleteCineDriveProp(this);
        if (init)
            onFootOrDriving(true, false);
        else
            target = nullptr;
        break;
    case 4:
        task = Task_Defeat;
        if (init) {
            if (!(flags & (GUYF_DYING | GUYF_DEAD))) {
                DeleteReticle(reticle);
                DeleteReticle(reticle2);
                DeleteReticle(reticlePr);
            }
            reticle = reticle2 = reticlePr = nullptr;
            if (target == nullptr)
                AcquireFightTarget(false);
            BlendToAnim(COMBAT_IDLE_BEGIN_FIGHT_ANI, 10);
            if (target != nullptr) {
                facemode = true;
                FaceTarget();
            }
            if (mode != DACEMODE_FISTS)
                SwitchToMode(DACEMODE_FISTS, false);
        } else {
            DeleteReticle(reticle);
            DeleteReticle(reticle2);
            DeleteReticle(reticlePr);
            if (target == nullptr)
                AcquireFightTarget(false);
        }
        break;
    case 6:
        task = Task_Shootout;
        if (init) {
            if (mode != DACEMODE_GUNS && mode != DACEMODE_DRIVING)
                SwitchToMode(DACEMODE_GUNS, true);
        } else if (mode == DACEMODE_DRIVING) {
            DrawInCar();
        } else if (mode == DACEMODE_CARTRANSITION) {
            CancelGetIn();
        } else {
            BlendToAnim(GUNS_FIRST_ANI, 10);
            SwitchToMode(DACEMODE_GUNS, false);
        }
        facemode = false;
        break;
    case 7:
    case 15:
    case 99:
        task = Task_None;
        if (init)
            onFootOrDriving(true, false);
        else
            target = nullptr;
        break;
    case 11:
        task = Task_None;
        SwitchToMode(DACEMODE_CINEDRIVE, true);
        break;
    case 12:
        task = Task_Escape;
        if (init)
            onFootOrDriving(true, false);
        break;
    case 13:
        task = Task_Infiltrate;
        if (mode != DACEMODE_STEALTH)
            SwitchToMode(DACEMODE_STEALTH, init);
        facemode = false;
        break;
    case 14:
        task = Task_None;
        SwitchToMode(DACEMODE_CINEWALK, true);
        break;
    default:
        break;
    }
    norunning = g == 15;
    if (badge != nullptr)
        badge->flags |= OBJF_HIDDEN;
}

void Dace::SwitchToOnFootShootingMode()
{
    if (mode == DACEMODE_DRIVING) {
        DrawInCar();
    } else if (mode == DACEMODE_CARTRANSITION) {
        CancelGetIn();
    } else {
        BlendToAnim(GUNS_IDLE_FIRE_ANI, 10);
        SwitchToMode(DACEMODE_GUNS, false);
    }
}

void Dace::SwitchToOnFootCombatMode()
{
    if (target == nullptr)
        AcquireFightTarget(false);
    DeleteReticle(reticle);
    if (mode == DACEMODE_DRIVING) {
        DrawInCar();
    } else if (mode == DACEMODE_CARTRANSITION) {
        CancelGetIn();
    } else {
        if (task >= Task_Defeat && mode2 != COMBAT_FIRST_ANI)
            BlendToAnim(COMBAT_IDLE_ENTER_FIGHT_ANI, 10);
        if (target != nullptr) {
            facemode = true;
            FaceTarget();
        }
        SwitchToMode(DACEMODE_FISTS, false);
    }
}

void Dace::SwitchToOnFootPedestrianMode()
{
    if (mode != DACEMODE_DRIVING && parent == nullptr)
        SwitchToMode(DACEMODE_ONFOOT, false);
}
