// The drive-to mode: the glowing marker at the destination (also the door of
// a side activity), the controller with its clock, the player brought back
// to his feet after a fall, and the ambulance siren meanwhile.
#include "game/GameFEnt.h"

#include <cmath>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Bystander.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Road.h"
#include "game/Vehicle.h"
#include "game/fbfx.h"
#include "game/userintf.h"

namespace {

constexpr u32 kCheckTime = 3840;     // 15 frames
constexpr u32 kDeathStep = 15360;    // 60 frames
constexpr int kMarkerSlot = 144;
constexpr float kArriveDist = 3.125f;
constexpr float kStepOnDist = 0.390625f;

void* TimerData(int d) { return reinterpret_cast<void*>(intptr_t(d)); }
AnimTime Frames(float f) { return AnimTime(u32(f * 256.0f)); }

Name nameDriveTo("DriveToMissionController", int(reinterpret_cast<intptr_t>(&DriveToMissionController::staticmh)));

float FlatDistance(VectorPos a, VectorPos b)
{
    const float dx = a[0] - b[0], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dz * dz);
}

VectorPos Raised(VectorPos p, float by)
{
    return VectorPos(p[0], p[1] - by, p[2]);
}

// The position on the ground below (or just above) p.
VectorPos OnGround(VectorPos p)
{
    Object probe;
    const float y = probe.GroundHeight(Raised(p, 0.625f), nullptr);
    return VectorPos(p[0], y, p[2]);
}

VectorDir Unit(VectorDir d)
{
    const float l = Length(d);
    return l > 0.0f ? d * (1.0f / l) : d;
}

VectorDir Flat(VectorDir d)
{
    return VectorDir(d[0], 0.0f, d[2]);
}

}  // namespace

// ---------------------------------------------------------------------------
// The marker

int CheckModeTarget(Object*)
{
    return 1;
}

int GameModeTarget::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<GameModeTarget>();
    return static_cast<GameModeTarget*>(o)->mh(msg, data);
}

int GameModeTarget::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_TIMER:
        return Timer();
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

Object* GameModeTarget::RemoveAndDoTargetEffectOnChild()
{
    return child != nullptr ? DoTargetEffectOnObject(child) : nullptr;
}

// The exit spots: where the player and his car come back out.  False while
// the city around the marker is not there yet.
bool GameModeTarget::FindExitSpots()
{
    VectorPos p = GetWorldPos();
    if (!world.CompleteAt(p))
        return false;
    RoadSeg* rs = bForceOntoObject ? nullptr : FindRoadSeg(p);
    Object* building = nullptr;
    Matrix door;
    bool haveDoor = false;
    if (rs == nullptr) {
        building = world.quadtree != nullptr ? world.FindClosestCityObject(p, 0.3125f) : nullptr;
        if (building != nullptr && FlatDistance(building->GetWorldPos(), p) > 0.3125f)
            building = nullptr;
        NODE* dn = building != nullptr ? building->FindNodeById(0x8000) : nullptr;
        if (dn == nullptr) {
            if (i16Flags & GMTF_TWOSTAGE)
                return false;
            mode = 1;
            return true;
        }
        door = dn->GetMatrix() * building->GetWorldMatrix();
        haveDoor = true;
        const VectorPos front = door.GetTrans() - VectorDir(door.z[0], door.z[1], door.z[2]) * 0.9375f;
        rs = FindRoadSeg(front);
        if (rs != nullptr && rs->type != nullptr) {
            VectorDir dir;
            const VectorXYZ sp = rs->bezier.CalcParams(door.GetTrans(), dir);
            const RoadType& t = *rs->type;
            const float kerb =
                sp[0] < 0.0f ? t.vXSect[t.iJuncLeft][0] + 0.546875f : t.vXSect[t.iJunc][0] - 0.546875f;
            const Vector at = RoadSegOffset(rs->bezier, kerb).Evaluate(sp[2]);
            p = VectorPos(at[0], at[1], at[2]);
            mat.SetTrans(p);
        } else {
            rs = nullptr;
        }
    }

    VectorDir n;
    VectorPos a, b;
    if (rs != nullptr) {
        VectorDir dir;
        const VectorXYZ sp = rs->bezier.CalcParams(p, dir);
        const float t = std::clamp(sp[2], 0.0f, 1.0f);
        n = rs->bezier.EvaluateNormal(t);
        if (sp[0] < 0.0f)
            n = -n;
        vpSrceVeh = OnGround(p);
        vdSrceVehDir = Unit(Flat(rs->bezier.EvaluateTangent(t)));
    } else {
        // A door with no road before it.
        n = VectorDir(door.z[0], door.z[1], door.z[2]);
        p = Raised(door.GetTrans() - n * 1.25f, 0.625f);
        mat.SetTrans(p);
        vpSrceVeh = OnGround(p);
        vdSrceVehDir = Unit(VectorDir(VectorXYZ(n) ^ VectorXYZ(0.0f, 1.0f, 0.0f)));
    }
    vdSrceCharDir = Unit(-n);
    const VectorPos c = Raised(p, 0.625f);
    a = c - n * 0.625f;
    b = c + n * 3.125f;
    if (!world.CompleteAt(b))
        return false;
    if (building == nullptr) {
        VectorPos hit;
        VectorDir hitn;
        building = world.quadtree != nullptr ? world.CheckRayCity(a, b, &hit, &hitn, 0xFF00, CheckModeTarget) : nullptr;
        NODE* dn = building != nullptr ? building->FindNodeById(0x8000) : nullptr;
        if (dn != nullptr) {
            door = dn->GetMatrix() * building->GetWorldMatrix();
            haveDoor = true;
        }
    }
    if (haveDoor) {
        mat.x = door.x;
        mat.y = door.y;
        const VectorDir z = Unit(n);
        mat.z = Vector(z[0], z[1], z[2], 0.0f);
        const VectorDir x = vdSrceVehDir;
        mat.x = Vector(x[0], x[1], x[2], 0.0f);
        vpSrceChar = door.GetTrans() + vdSrceCharDir * 0.3125f;
    } else {
        vpSrceChar = vpSrceVeh + n * 0.78125f;
    }
    vpSrceChar = OnGround(vpSrceChar);
    mode = 1;
    return true;
}

void GameModeTarget::Enter(Object* player)
{
    GameController* gc = g_pgcTest;
    if (i16Flags & GMTF_SIDETRIP) {
        GameSubModeTargetMsg t{};
        t.vpSrceChar = vpSrceChar;
        t.vdSrceCharDir = vdSrceCharDir;
        t.vpSrceVeh = vpSrceVeh;
        t.vdSrceVehDir = vdSrceVehDir;
        t.vpTargetPos = GetWorldPos();
        t.i16SubLevelNumberTrigger = i16SubLevelNumberTrigger;
        // Only the player has a car saved for the trip's return.
        const bool isdace = player != nullptr && player == dace;
        t.i8VehTypeId = isdace ? dace->i8SaveVehID : s8(-1);
        t.i8VehTintSet = isdace ? dace->i8SaveVehTint : s8(0);
        t.i16TableIndex = i16TableIndex;
        SendSpecial(gc, SMSG_GC_SIDE_TRIP, reinterpret_cast<Object*>(&t));
        return;
    }
    if (dace != nullptr)
        dace->target = this;
    if (gc != nullptr && gc->pMission != nullptr)
        SendSpecial(gc->pMission, SMSG_MODE_FINISHED, gc->pMission);
    else
        SendSpecial(gc, SMSG_GC_SUBGAME_WON);
}

int GameModeTarget::Timer()
{
    Object* player = PlayerObject();
    bool again = true;
    bool extraCheck = false;
    if (mode == 0) {
        FindExitSpots();
    } else if (player != nullptr) {
        const float d = FlatDistance(GetWorldPos(), player->GetWorldPos());
        const bool onFoot = player->parent == nullptr;
        if (mode == 1 && (d < kArriveDist || (i16Flags & GMTF_ANYDIST))) {
            if (i16Flags & GMTF_ANYDIST) {
                if (child != nullptr)
                    child->Delete();
            } else {
                RemoveAndDoTargetEffectOnChild();
            }
            if (i16Flags & GMTF_TWOSTAGE) {
                MDLFILE* mf = g_GlobalMFI.GetMF(kMarkerSlot, false);
                if (mf != nullptr && mf->HasData())
                    if (Object* look = mf->GetHierarchy((i16Flags & GMTF_LOOK8) ? 8 : 10, 0x70, GH_ANIMATE)) {
                        look->mat = Matrix(true);
                        Attach(look);
                    }
                mode = 2;
                mat.SetTrans(Raised(vpSrceChar, 0.3125f));
            }
            if (!(i16Flags & GMTF_SIDETRIP) && g_pgcTest != nullptr && g_pgcTest->pMission != nullptr)
                SendSpecial(g_pgcTest->pMission, SMSG_EV_TARGET_REACHED, nullptr, int(id));
            if (!(i16Flags & GMTF_TWOSTAGE)) {
                Enter(player);
                again = false;
            }
        } else if (mode == 2 && onFoot && d < kStepOnDist) {
            bool refused = false;
            if (i16Flags & GMTF_SHIELD) {
                GameController* gc = g_pgcTest;
                if (gc == nullptr || gc->stats.nPoints < 100) {
                    refused = true;
                    mode = 3;
                    if (child != nullptr)
                        child->flags |= OBJF_HIDDEN;
                    AddScreenText("ONE SHIELD REQUIRED TO ENTER!", STP_CENTER);
                    if (sndbank_ui != 0xFFFF) {
                        const int chan = sound.AllocChannel(false);
                        if (chan >= 0)
                            sound.Play(chan, sndbank_ui, 11);
                    }
                    extraCheck = true;
                } else {
                    gc->AddPoints(-100, player);
                }
            }
            if (!refused) {
                RemoveAndDoTargetEffectOnChild();
                if (dace != nullptr)
                    dace->target = this;
                Enter(player);
                again = false;
            }
        } else if (mode == 3 && d > kArriveDist) {
            mode = 2;
            if (child != nullptr)
                child->flags &= ~OBJF_HIDDEN;
        }
    }
    if (again) {
        world.SetTimer(this, Frames(7.5f + float(rand() % 5)), nullptr);
        if (extraCheck)
            world.SetTimer(this, Frames(30.0f), nullptr);
    }
    return 0;
}

namespace {

// The holder of a collected marker's look: grows it, then both go.
int TargetEffectHolder(Object* obj, OBJMESSAGE msg, void* data)
{
    return TargetObjLoopProc(obj, msg, data);
}

}  // namespace

Object* DoTargetEffectOnObject(Object* pObj)
{
    if (pObj == nullptr)
        return nullptr;
    Object* holder = new Object(TargetEffectHolder);
    if (holder == nullptr)
        return pObj;
    Matrix m = pObj->GetWorldMatrix();
    m.w[1] -= 0.5f * pObj->radius;
    holder->mat = m;
    pObj->Detach();
    pObj->mat = TransMatrix(0.0f, 0.5f * pObj->radius, 0.0f);
    pObj->messagehandler = nullptr;
    holder->Attach(pObj);
    holder->flags |= OBJF_FRAMECALL;
    world.AddObject(holder, nullptr);
    world.SetTimer(holder, AnimTime(60 * 256), nullptr);
    return pObj;
}

bool bGetExitBuildingPos(VectorPos pos, VectorPos* pvpDest, VectorDir* pvdDest)
{
    if (!world.CompleteAt(pos))
        return false;
    RoadSeg* rs = FindRoadSeg(pos);
    if (rs == nullptr)
        return false;
    VectorDir dir;
    const VectorXYZ sp = rs->bezier.CalcParams(pos, dir);
    VectorDir n = rs->bezier.EvaluateNormal(std::clamp(sp[2], 0.0f, 1.0f));
    if (sp[0] < 0.0f)
        n = -n;
    *pvdDest = Unit(-n);
    const VectorPos ground = OnGround(pos);
    const VectorPos end = Raised(pos, 0.625f) + n * 6.25f;
    if (!world.CompleteAt(end))
        return false;
    VectorPos hit;
    VectorDir hitn;
    Object* building = world.quadtree != nullptr ? world.CheckRayCity(ground, end, &hit, &hitn, 0xFF00, CheckModeTarget) : nullptr;
    NODE* dn = building != nullptr ? building->FindNodeById(0x8000) : nullptr;
    if (dn != nullptr) {
        const Matrix door = dn->GetMatrix() * building->GetWorldMatrix();
        *pvpDest = door.GetTrans() + *pvdDest * 0.3125f;
    } else {
        *pvpDest = ground + n * 0.78125f;
    }
    *pvpDest = OnGround(*pvpDest);
    return true;
}

// ---------------------------------------------------------------------------
// The controller

int DriveToMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<DriveToMissionController>();
    return static_cast<DriveToMissionController*>(o)->mh(msg, data);
}

GameModeTarget* DriveToMissionController::CreateDriveToModeTargetObj(VectorPos& pos, bool, int id)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(kMarkerSlot, false);
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    auto* t = new GameModeTarget;
    if (t == nullptr)
        return nullptr;
    t->messagehandler = GameModeTarget::staticmh;
    t->i16SubLevelNumberTrigger = s16(bBonusDriveTo ? 13 : 0);
    t->i16TableIndex = s16(bBonusDriveTo ? -id - 397 : 0);
    t->bForceOntoObject = 0;
    if (Object* look = mf->GetHierarchy(24, sizeof(Object), GH_ANIMATE))
        t->Attach(look);
    t->mat = TransMatrix(pos);
    t->flags |= OBJF_SELFANIMATING | OBJF_NOCOLLISION;
    t->id = s16(id);
    if (bBonusDriveTo) {
        t->i16Flags |= GMTF_SIDETRIP | 0x4;
        if (id == -402 || id == -403)
            bEnableWalkTo = true;
        else if (id == -401)
            bEnableWalkTo = false;
    }
    if (bEnableWalkTo)
        t->i16Flags |= GMTF_TWOSTAGE;
    return t;
}

void DriveToMissionController::StartMission()
{
    GameController* gc = g_pgcTest;
    MapDisplay* md = gc != nullptr ? gc->pmd : nullptr;
    const int n = bBonusDriveTo ? 3 : 1;
    const int base = pdtmp != nullptr ? pdtmp->placeholderid : 0;
    for (int i = 0; i < n && pdtmp != nullptr; i++) {
        Object* ph = world.FindPlaceholder(base - i);
        if (ph == nullptr)
            continue;
        location = ph;
        VectorPos P = ph->GetWorldPos();
        if (md != nullptr) {
            if (bBonusDriveTo) {
                md->SetOtherStaticTarget(Vector(P[0], P[1], P[2], float(i + 1)), i);
                md->flags |= 0x10;
            } else {
                md->SetStaticTarget(P);
            }
        }
        target = CreateDriveToModeTargetObj(P, Timed(), bBonusDriveTo ? base - i : 0);
        if (target != nullptr) {
            world.AddObject(target, nullptr);
            world.StopTimer(target);
            world.SetTimer(target, Frames(float(rand() % 3) + 7.5f), nullptr);
        }
    }
    AddScreenText("RACE TO BAR", STP_MISSION);
    if (Timed()) {
        if (md != nullptr)
            md->flags |= 2;
        DaceVO.Play(DaceVO_RaceToStart, 150);
    } else {
        DaceVO.Play(DaceVO_DriveToStart, 150);
    }
    world.StopTimer(this);
    world.SetTimer(this, AnimTime(kCheckTime), TimerData(0));
    iTimeCounter = 0;
}

void DriveToMissionController::AbortMission()
{
    if (location != nullptr && Timed())
        DaceVO.Play(DaceVO_RaceToAbort, 0);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

void DriveToMissionController::FinishMission()
{
    if (location != nullptr) {
        DaceVO.Play(DaceVO_RaceToFinish, 0);
        world.StopTimer(this);
    }
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
}

// The 15-frame check of the clock.
void DriveToMissionController::Check()
{
    GameController* gc = g_pgcTest;
    Object* player = PlayerObject();
    if (Timed() && location != nullptr && gc != nullptr) {
        const VectorPos goal = target != nullptr ? target->GetWorldPos() : location->GetWorldPos();
        const float d = player != nullptr ? FlatDistance(goal, player->GetWorldPos()) : 0.0f;
        float s = 0.0f;
        // The player's speed is his car's: the vehicle at the root of his
        // hierarchy, when he sits in one.
        Object* root = player != nullptr ? player->GetRoot() : nullptr;
        if (root != nullptr && root->type == OBJT_VEHICLE) {
            const Vehicle* car = static_cast<const Vehicle*>(root);
            s = Length(Flat(VectorDir(car->vel[0], car->vel[1], car->vel[2])));
        }
        gc->UpdateDisplayParams(d, 15, s, 1);
        if (gc->iTimeDisplay <= 0) {
            AbortMission();
            gc->iTimeDisplay = 0;
            return;
        }
        iTimeCounter += 15;
        if (iTimeCounter >= 1200) {
            iTimeCounter = 0;
            if (gc->fAveSpeed * float(gc->iTimeDisplay) < gc->fTargDist) {
                gc->iFlags |= 0x4;
                if (player != nullptr && player->mode == 5)
                    DaceVO.Play(DaceVO_RaceToOops, 0);
            }
        }
    }
    world.SetTimer(this, AnimTime(kCheckTime), TimerData(0));
}

int DriveToMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_TIMER:
        switch (int(reinterpret_cast<intptr_t>(data))) {
        case 0:
            Check();
            break;
        case 1:
            UI_EnableDisableAutoBlurFade(false);
            gMotionBlurSmoothBrighten.level = 0.885f;
            world.SetTimer(this, AnimTime(kDeathStep), TimerData(2));
            break;
        case 2:
            UI_EnableDisableAutoBlurFade(true);
            if (g_pgcTest != nullptr)
                g_pgcTest->FadeOut(54, true);
            world.SetTimer(this, AnimTime(kDeathStep), TimerData(3));
            break;
        case 3:
            ResurrectDace();
            if (g_pgcTest != nullptr)
                g_pgcTest->FadeIn(60);
            world.SetTimer(this, AnimTime(kDeathStep), TimerData(4));
            break;
        default:
            break;
        }
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    case OM_SPECIAL:
        break;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_MODE_START:
        if (ModeMayStart())
            StartMission();
        break;
    case SMSG_MODE_END:
        AbortMission();
        break;
    case SMSG_MODE_FINISHED:
        FinishMission();
        break;
    case SMSG_EV_CHARACTER_DIED:
        if (m.obj == nullptr || m.obj->id != -1)
            break;
        if (Timed()) {
            AbortMission();
        } else {
            if (Object* a = reinterpret_cast<Object*>(intptr_t(AmbulanceSound::AmbulanceSound_mh(nullptr, OM_CREATE,
                                                                                                   nullptr))))
                world.AddObject(a, nullptr);
            world.StopTimer(this);
            world.SetTimer(this, AnimTime(kDeathStep), TimerData(1));
        }
        break;
    case SMSG_EV_TARGET_REACHED:
        if (!Timed() && DaceVO.GetCurrentType() != DaceVO_DriveToFinish)
            DaceVO.Play(DaceVO_DriveToFinish, 0);
        break;
    case SMSG_EV_PLAYER_WARNING:
    case SMSG_EV_PLAYER_SHOTS_A:
    case SMSG_EV_PLAYER_SHOTS_B:
    case SMSG_EV_PLAYER_COMBAT: {
        static const int kPedCodes[4] = {56, 57, 58, 102};
        MessagePedestrians(kPedCodes[m.submsg - SMSG_EV_PLAYER_WARNING], m.obj);
        break;
    }
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// Back on his feet

void ResurrectDace()
{
    Object* player = PlayerObject();
    if (player == nullptr)
        return;
    if (Object* car = player->parent) {
        player->DetachW();
        player->flags |= OBJF_SHADOW;
        if (car->type == OBJT_VEHICLE)
            car->Delete();
    }
    float t = 0.0f;
    const VectorPos pos = player->GetWorldPos();
    if (RoadSeg* rs = FindNearestRoadSeg(pos, &t, true)) {
        VectorDir dir;
        const VectorXYZ sp = rs->bezier.CalcParams(pos, dir);
        if (rs->type != nullptr) {
            const RoadType& rt = *rs->type;
            const float w = sp[0] >= 0.0f ? rt.vXSect[rt.iJunc][0] + rt.vXSect[rt.iRightEdge][0]
                                          : rt.vXSect[rt.iJuncLeft][0] + rt.vXSect[0][0];
            VectorDir normal;
            const Vector at = RoadSegOffset(rs->bezier, w * 0.5f).EvaluateWithNormal(sp[2], normal);
            Matrix m = LookAlong(sp[0] >= 0.0f ? VectorDir(-normal) : normal);
            m.SetTrans(VectorPos(at[0], at[1], at[2]));
            player->mat = m;
        }
    }
    SendSpecial(player, SMSG_PLAYER_REFRESH);
    SendSpecial(player, SMSG_PLAYER_SET_MODE, nullptr, 1);
    SendSpecial(player, SMSG_PLAYER_REGROUND);
    SendSpecial(player, SMSG_PLAYER_STAND_UP);
    if (dace != nullptr && dace == player) {
        // His event object hears that he is back: the mode's controller, or a
        // street crime that has taken his events over from it (and passes
        // them on).
        if (dace->gameeventobj != nullptr)
            SendSpecial(dace->gameeventobj, SMSG_EV_PLAYER_RESURRECTED, player);
        if (Camera* cam = dace->cam) {
            cam->mat = player->mat;
            cam->mat.w[1] -= 0.46875f;
            cam->InitPedestrianMode(player, true);
        }
    }
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList();) {
        ObjectLink* next = l->Next();
        Object* o = l->data;
        if (o != nullptr && !o->IsDead() && o->type == OBJT_CHARACTER && o->id >= -150 && o->id <= -101)
            o->Delete();
        l = next;
    }
}

// ---------------------------------------------------------------------------
// The siren

int AmbulanceSound::AmbulanceSound_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        if (o != nullptr)
            return 0;
        auto* a = new AmbulanceSound;
        if (a != nullptr)
            a->messagehandler = AmbulanceSound_mh;
        return int(reinterpret_cast<intptr_t>(a));
    }
    return static_cast<AmbulanceSound*>(o)->mh(msg, data);
}

int AmbulanceSound::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_INIT:
        iSoundChan = sound.AllocChannel(false);
        if (iSoundChan >= 0) {
            sound.Play(iSoundChan, sndbank_car, 27);
            sound.SetVolume(iSoundChan, 0.0f, 0.0f);
        }
        iTimeLeft = 120;
        mode = 0;
        world.SetTimer(this, AnimTime(1792), nullptr);
        return 0;
    case OM_TIMER:
        iTimeLeft -= 7;
        if (iTimeLeft > 0) {
            const float f = float(iTimeLeft) / 120.0f;
            if (iSoundChan >= 0)
                sound.SetVolume(iSoundChan, mode == 0 ? 1.0f - f : f, 0.0f);
        } else if (mode == 0) {
            mode = 1;
            iTimeLeft = 120;
            if (iSoundChan >= 0)
                sound.SetVolume(iSoundChan, 1.0f, 0.0f);
        } else {
            Delete();
            return 0;
        }
        world.SetTimer(this, AnimTime(1792), nullptr);
        return 0;
    case OM_DIE:
        // Stop frees a channel that is not held.
        if (iSoundChan >= 0)
            sound.Stop(iSoundChan);
        delete this;
        return -1;
    default:
        return 0;
    }
}
