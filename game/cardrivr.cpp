// The car driver's record on the road network (lanes, segment, direction,
// curve parameter), its message handler, and its sleep and activity states.
#include "ZevEngine2/Utilities.h"
#include "game/cardrivr.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "game/Bystander.h"
#include "game/CityObjects.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"

static Name nameCarDriver("CarDriver", int(reinterpret_cast<intptr_t>(&CarDriver::CarDriver_mh)));

namespace {

// The frames a driver waits before it takes a far, inactive car away.
constexpr int kTimerBase = 15;
// Beyond this squared view distance an inactive driver's car may go.
constexpr float kInactiveFar2 = 8789.0625f;
// A mode-3 driver sleeps beyond 203.125 (plus a random share of 31.25) from
// the player and wakes within 187.5.
constexpr float kSleepNear = 203.125f;
constexpr float kSleepSpread = 31.25f;
constexpr float kWakeDist2 = 35156.25f;

float PlayerDist2(const Vehicle* car)
{
    if (dace == nullptr)
        return 0.0f;
    const VectorXYZ d = dace->GetWorldPos() - car->GetWorldPos();
    return d.LengthSq();
}

int Random(int n)
{
    return int((long long)rand() * n >> 31);
}

}  // namespace

Vehicle* DriverCar(const Object* driver)
{
    Object* p = driver->parent;
    return p != nullptr && p->type == OBJT_VEHICLE && !p->IsDead() ? static_cast<Vehicle*>(p) : nullptr;
}

// ---------------------------------------------------------------------------
// Lanes and road state

void CarDriver::CalcRoadLaneOffsets()
{
    const RoadType* t = rs != nullptr ? rs->type : nullptr;
    const int n = t != nullptr ? t->num_lanes : 0;
    const int R = t != nullptr ? std::min<int>(t->num_rightlanes, n) : 0;
    const int L = n - R;
    rliLeft.iNumLanes = std::max(L, 1);
    rliRight.iNumLanes = R > 0 ? R : 1;
    auto lane = [&](int i) { return t != nullptr && t->lanes != nullptr && i >= 0 && i < n ? t->lanes[i] : 0.0f; };
    for (int i = 0; i < 12; i++) {
        // A side without lanes of its own drives in the nearest lane of the
        // other side rather than on the centre line or the pavement.
        if (L > 0)
            rliLeft.rgfLaneOffsets[i] = lane(i < rliLeft.iNumLanes ? L - 1 - i : L - rliLeft.iNumLanes);
        else
            rliLeft.rgfLaneOffsets[i] = lane(0);
        if (R > 0)
            rliRight.rgfLaneOffsets[i] = lane(L + std::min(i, rliRight.iNumLanes - 1));
        else
            rliRight.rgfLaneOffsets[i] = lane(n - 1);
    }
}

void CarDriver::InitCruiseToParams()
{
    if (rs == nullptr)
        return;
    CalcRoadLaneOffsets();
    const int n = std::max(Side(rsdir).iNumLanes, 1);
    i16CurrentLane = i16TransitionFromLane = s16(i16DefLane % n);
}

int CarDriver::GetMoveTowardsDefaultLane(int iCurLane, int iWantLane, int iStep)
{
    const int n = std::max(Side(rsdir).iNumLanes, 1);
    const int want = iWantLane == 100 ? n - 1 : iWantLane % n;
    return std::clamp(want, std::max(iCurLane - iStep, 0), std::max(std::min(iCurLane + iStep, n - 1), 0));
}

float CarDriver::GetLaneOffsetDist(int iLane, int* piLane, bool bSigned)
{
    // A driver that has not read a road yet has no lanes: the first entry.
    const RoadLaneInfo& side = Side(rsdir);
    const int n = std::max(side.iNumLanes, 1);
    const int i = iLane == 100 ? n - 1 : iLane % n;
    if (piLane != nullptr)
        *piLane = i;
    const float off = side.rgfLaneOffsets[i];
    return bSigned && !rsdir ? -off : off;
}

int CarDriver::GetCurrentLane(float fOffset, bool bSide)
{
    const RoadLaneInfo& side = Side(bSide);
    for (int i = 0; i < side.iNumLanes - 1; i++) {
        const float boundary = 0.5f * (side.rgfLaneOffsets[i] + side.rgfLaneOffsets[i + 1]);
        if (rsdir ? boundary > fOffset : boundary < fOffset)
            return i;
    }
    return side.iNumLanes - 1;
}

void CarDriver::CalcRoadEndTangent(VectorDir* pvd, bool bAtEnd)
{
    const bool e = bAtEnd == rsdir;
    const Bezier& b = rs->bezier;
    const VectorXYZ end = e ? b.c3.xyz() : b.c0.xyz();
    const Junction* j = rs->jtn[e ? 1 : 0];
    VectorDir d = j != nullptr ? VectorDir(j->pos - end) : VectorDir(0.0f, 0.0f, 0.0f);
    if (j == nullptr || d.Length() < 0.03125f)
        d = e ? VectorDir(b.c3.xyz() - b.c2.xyz()) : VectorDir(b.c0.xyz() - b.c1.xyz());
    d = Normalise(d);
    *pvd = bAtEnd ? d : -d;
}

void CarDriver::CalcRoadEndTVals()
{
    const Bezier& b = rs->bezier;
    auto flatLen = [](VectorDir t) { return std::sqrt(t[0] * t[0] + t[2] * t[2]); };
    // The segment's records keep where it leaves its start junction in c0.w
    // and one minus where it enters its end junction in c3.w.
    const float d0 = rs->jtn[0] != nullptr ? Length(VectorXYZ(rs->jtn[0]->pos - b.c0.xyz())) : 0.0f;
    frsT0 = b.c0[3];
    if (!(d0 - 4.0f > 0.0f)) {
        const float l = flatLen(b.EvaluateTangent(0.0f));
        frsT0 = b.c0[3] + (l > 0.0f ? d0 / l : 0.0f);
    }
    const float d1 = rs->jtn[1] != nullptr ? Length(VectorXYZ(rs->jtn[1]->pos - b.c3.xyz())) : 0.0f;
    frsT1 = 1.0f - b.c3[3];
    if (!(d1 - 4.0f > 0.0f)) {
        const float l = flatLen(b.EvaluateTangent(1.0f));
        frsT1 = 1.0f - (b.c3[3] + (l > 0.0f ? d1 / l : 0.0f));
    }
}

void CarDriver::SetCurrentRSInfo(bool bDir)
{
    rsdir = bDir;
    CalcRoadEndTVals();
    VectorDir chord;
    const VectorXYZ r = rs->bezier.CalcParams(CarPos(), chord);
    fT = r[2];
    fVelT = rs->bezier.EvaluateTangent(fT).Length();
    fIVelT = fVelT > 0.0f ? 1.0f / fVelT : 0.0f;
    CalcRoadLaneOffsets();
    i16CurrentLane = i16TransitionFromLane = s16(GetCurrentLane(r[0], rsdir));
}

void CarDriver::SetCurrentRS()
{
    bool along = false;
    rs = pveh != nullptr ? FindRoadSeg(pveh->GetWorldMatrix(), along) : nullptr;
    if (rs != nullptr)
        SetCurrentRSInfo(along);
}

void CarDriver::SetCurrentRS(RoadSeg* prs)
{
    rs = prs;
    if (rs == nullptr)
        return;
    const VectorDir f = CarForward();
    const VectorXYZ chord = rs->bezier.c3.xyz() - rs->bezier.c0.xyz();
    SetCurrentRSInfo(f[0] * chord[0] + f[2] * chord[2] > 0.0f);
}

VectorPos CarDriver::CarPos() const
{
    return pveh != nullptr ? pveh->mat.GetTrans() : GetWorldPos();
}

VectorDir CarDriver::CarForward() const
{
    const Matrix& m = pveh != nullptr ? pveh->mat : mat;
    return VectorDir(m.z.xyz());
}

VectorDir CarDriver::CarSide() const
{
    const Matrix& m = pveh != nullptr ? pveh->mat : mat;
    return VectorDir(m.x.xyz());
}

VectorPos CarDriver::EntryPoint(float L, bool bCrossHeight) const
{
    VectorDir normal;
    const Vector on = rs->bezier.EvaluateWithNormal(rsdir ? frsT0 : frsT1, normal);
    VectorPos p = VectorPos(on.xyz()) + normal * L;
    p[1] += (bCrossHeight && rs->type != nullptr ? rs->CrossSectHeight(L) : 0.0f) - fRestGroundOffset;
    return p;
}

bool CarDriver::BackingOutDone(int iFrames, float fAccel)
{
    if (world.time - iLastMoveTime > iFrames) {
        iCDFlags &= ~CDF_REVERSING;
        iLastMoveTime = world.time;
        pveh->gear = 1;
        pveh->fAccel = 0.001f;
        return true;
    }
    pveh->steer = pveh->steer > 0.0f ? kCDReverseSteer : -kCDReverseSteer;
    pveh->gear = -1;
    pveh->fBrake = 0.0f;
    pveh->fHandBrake = 0.0f;
    pveh->fAccel = fAccel;
    return false;
}

bool CarDriver::FindMissionRoad(float fDestSpeedNoRoad)
{
    fDestSpeed = fDestSpeedNoRoad;
    bTrans = false;
    i16DriveSubMode = 0;
    i8NextCode = 0;
    SetCurrentRS();
    if (rs == nullptr)
        SetCurrEscapeJuncAndNextRS();
    if (rs == nullptr)
        return false;
    EscapeChooseNextRS();
    CalcRoadEndTVals();
    return true;
}

// ---------------------------------------------------------------------------
// Sleep and activity

void CarDriver::SleepWithCar()
{
    iCDFlags |= CDF_ASLEEP | CDF_ASLEEPORINACTIVE;
    if (pveh != nullptr) {
        pveh->mode = 1;
        pveh->fBrake = 0.01f;
        pveh->fAccel = 0.0f;
    }
    world.StopTimer(this);
    world.StopFrameCall(this);
}

void CarDriver::WakeupWithCar()
{
    iCDFlags &= ~(CDF_ASLEEP | CDF_ASLEEPORINACTIVE);
    if (pveh != nullptr) {
        pveh->mode = 0;
        pveh->vel = Vector::zeroes();
        pveh->angvel = Vector::zeroes();
    }
    i16MiscCount = 180;
    world.StopTimer(this);
    world.SetTimer(this, AnimTime(256), nullptr);
    world.StopFrameCall(this);
    world.StartFrameCall(this);
}

void CarDriver::DeActivate(bool bReleaseSeat)
{
    i16SaveMode = i16DriveMode;
    i16DriveMode = s16((i16DriveMode & 0xFF00) | 7);
    iCDFlags |= CDF_UNSEATED;
    if (pveh != nullptr) {
        pveh->fBrake = 0.01f;
        pveh->fAccel = 0.0f;
        if (bReleaseSeat)
            pveh->rcoDriver = nullptr;
    }
    i16MiscCount = 180;
}

void CarDriver::ReActivate()
{
    i16DriveMode = s16((i16DriveMode & 0xFF00) | (i16SaveMode & 0xFF));
}

void CarDriver::EndOfDrive()
{
    if (g_pgcTest == nullptr)
        return;
    SpecialMessage m;
    g_pgcTest->SendMessage(OM_SPECIAL, &m);
}

// ---------------------------------------------------------------------------
// The handler

int CarDriver::CarDriver_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        CarDriver* d = new CarDriver();
        if (d == nullptr)
            return 0;
        d->messagehandler = CarDriver_mh;
        d->mat = Matrix(true);
        d->fLastLaneModifier = 0.0f;
        d->pobjTarget = nullptr;
        d->i16CheckTime = 0;
        d->i16DefLane = s16(Random(100));
        d->fSpeedFact = 0.9f + 0.2f * randf();
        d->iForceReal = 0;
        d->iCreationTime = world.time;
        return int(reinterpret_cast<intptr_t>(d));
    }
    return static_cast<CarDriver*>(o)->mh(msg, data);
}

namespace {

void SetDrive(CarDriver& d, const SpecialMessage& m)
{
    Vehicle* car = DriverCar(&d);
    d.pveh = car;
    if (car != nullptr)
        d.fRestGroundOffset = car->CalcBodyRestOffset() + (car->wheel[0] != nullptr ? car->wheel[0]->radius : 0.0f);
    d.iCDFlags &= ~CDF_REVERSING;
    if (car != nullptr && car->gear < 0)
        car->gear = 1;
    d.iLastMoveTime = world.time;
    d.i16DriveMode = s16(int(m.param[0]));
    const int whole = d.i16DriveMode;
    if (whole == 5) {
        d.InitCruiseToParams();
        if (car != nullptr)
            car->fEngine = 0.01f;
    } else if ((whole == 3 || whole == 4) && car != nullptr) {
        car->mode = 0;
    } else if (whole == 11) {
        d.pSpline = g_pgcTest != nullptr && g_pgcTest->psplMission != nullptr ? g_pgcTest->psplMission : d.pSpline;
        d.fT = -1.0f;
    } else if (whole == 12) {
        d.pSpline = m.param[2];
        d.iCDFlags |= CDF_HELD;
        d.fT = -1.0f;
    }
    if (whole != 5 && whole != 6 && whole != 7)
        d.iCDFlags &= ~CDF_UNSEATED;
    if (whole == 6)
        return;
    if (whole != 7) {
        d.pobjTarget = m.obj;
        const VectorPos* at = m.param[1];
        if (d.pobjTarget == nullptr && d.Mode() != 5 && at != nullptr) {
            d.vpTarget = *at;
            d.prsTarget = FindRoadSeg(d.vpTarget);
        }
        if (d.i16DriveMode & 0x100)
            d.pi8RouteOrig = d.pi8Route = reinterpret_cast<s8*>(m.obj);
        else
            d.pi8RouteOrig = d.pi8Route = nullptr;
    }
    d.rs = nullptr;
    world.StopFrameCall(&d);
    world.StartFrameCall(&d);
}

// The receiver of the driver's game events; a tail's driver without one
// reports to the running mode controller.
Object* EventReceiver(CarDriver& d)
{
    if (d.gameeventobj == nullptr && d.Mode() == 8 && g_pgcTest != nullptr)
        d.gameeventobj = g_pgcTest->pMission;
    return d.gameeventobj;
}

void DriverShot(CarDriver& d)
{
    if (Object* r = EventReceiver(d)) {
        SpecialMessage ev(SMSG_EV_DRIVER_SHOT, nullptr);
        r->SendMessage(OM_SPECIAL, &ev);
    }
}

}  // namespace

int CarDriver::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_FRAME: {
        if ((flags & 0x80000000u) != 0)
            return 0;
        Vehicle* car = DriverCar(this);
        if (car == nullptr)
            return 0;
        pveh = car;
        if (car->rcoDriver.p != this) {
            if (Mode() == 7 && (iCDFlags & CDF_SEATTAKEN) && car->rcoDriver.p == nullptr) {
                car->rcoDriver = this;
                car->StopEngineSFX();
                iCDFlags &= ~(CDF_SEATTAKEN | CDF_HELD);
            }
            return 0;
        }
        switch (Mode()) {
        case 5:
            CruiseTo();
            break;
        case 2:
        case 3:
        case 4:
        case 8:
            if (iCDFlags & CDF_ASLEEP) {
                if (PlayerDist2(car) < kWakeDist2)
                    WakeupWithCar();
                break;
            }
            if ((iCDFlags & CDF_NOSTABILIZER) && world.time - iDisableStabilizerTime > 60)
                iCDFlags &= ~CDF_NOSTABILIZER;
            if (DriveTo() == 1)
                EndOfDrive();
            if (i16DriveMode == 3 && dace != nullptr) {
                const float d2 = PlayerDist2(car);
                if (d2 > kSleepNear * kSleepNear) {
                    const float r = kSleepNear + kSleepSpread * randf();
                    if (r * r < d2) {
                        SleepWithCar();
                        world.StopFrameCall(this);
                        world.StartFrameCall(this);
                    }
                }
            }
            break;
        case 9:
        case 10:
            if (Chase() == 1)
                EndOfDrive();
            break;
        case 11:
        case 12:
            switch (i16DriveSubMode) {
            case 0:
                if (Race() == 1 && i16DriveMode == 11)
                    EndOfDrive();
                break;
            case 1:
                car->fBrake = 0.01f;
                car->fAccel = 0.0f;
                if ((world.time & 63) < 32)
                    car->fEngine = std::min(1.0f, car->fEngine + 0.03125f + 0.03125f * randf());
                else
                    car->fEngine = std::max(0.01f, car->fEngine - (0.03125f + 0.03125f * randf()));
                break;
            case 2:
                car->fAccel = 0.001f;
                car->bPeelOut = true;
                break;
            default:
                break;
            }
            break;
        case 6:
            car->fBrake = 0.01f;
            car->fAccel = 0.0f;
            break;
        default:
            break;
        }
        return 0;
    }
    case OM_TIMER: {
        Vehicle* car = DriverCar(this);
        if (car == nullptr)
            return 0;
        const VectorPos p = rc.world_view * car->GetWorldPos();
        Object* seat = car->rcoDriver.p;
        if (seat == nullptr ||
            (i16DriveMode == 7 && !(iCDFlags & CDF_ASLEEP) && p[0] * p[0] + p[2] * p[2] > kInactiveFar2))
            iCDFlags |= CDF_UNSEATED;
        if ((iCDFlags & CDF_UNSEATED) && (seat == this || seat == nullptr)) {
            bool check = true;
            if (i16DriveMode == 7) {
                i16MiscCount = s16(std::max(i16MiscCount - 15, 0));
                check = i16MiscCount <= 0;
            }
            if (check) {
                float d = std::sqrt(4.0f * p[0] * p[0] + p[2] * p[2]);
                if (p[2] < 0.0f)
                    d *= 1.25f;
                if (car->i16VehType == 2)
                    d = std::max(0.0f, d - 62.5f);
                if (seat == nullptr)
                    d *= 0.25f;
                if ((world.time - car->iLastDrawnTime > 15 && d > VehGen::f16VehZone1Dist) ||
                    d > VehGen::f16VehZone2Dist) {
                    // The car goes, and this driver with it: a counted
                    // reference keeps the storage until the handler is done.
                    RCptr<Object> self(this);
                    car->Delete();
                    if (g_pgcTest != nullptr && g_pgcTest->pvs.pvg != nullptr) {
                        SpecialMessage m;
                        reinterpret_cast<Object*>(g_pgcTest->pvs.pvg)->SendMessage(OM_SPECIAL, &m);
                        g_pgcTest->pvs.pvg = nullptr;
                    }
                    return -2;
                }
            }
        } else if (i16DriveMode == 7 && seat != nullptr && seat != this && seat->type == OBJT_CHARACTER &&
                   seat->id < -1) {
            car->rcoDriver = this;
            car->mode = 0;
            car->vel = Vector::zeroes();
            car->angvel = Vector::zeroes();
        }
        world.SetTimer(this, AnimTime(u32(kTimerBase + rand() % 6) << 8), nullptr);
        return 0;
    }
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<const SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        Vehicle* car = DriverCar(this);
        const bool ignoreMode4 = Mode() == 4;
        const bool held = (iCDFlags & CDF_HELD) != 0;
        switch (m->submsg) {
        case SMSG_CD_SET_DRIVE:
            SetDrive(*this, *m);
            return 0;
        case SMSG_CD_MAKE_WAY:
            if (Mode() == 5) {
                iForceReal = 30;
                iForceCommand = m->param[0];
            }
            return 0;
        case SMSG_CD_DEACTIVATE:
            if (ignoreMode4 || held)
                return 0;
            pveh = car;
            DeActivate(int(m->param[0]) != 0);
            return 1;
        case SMSG_CD_QUERY_FLAG:
            return (iCDFlags & CDF_ASLEEPORINACTIVE) ? 1 : 0;
        case SMSG_CD_HOLD:
            // A non-zero parameter holds the driver and 0 lets it go: every
            // sender (a runner taking a car, a bystander at the wheel, a
            // street crime) asks for the hold with 1, and the level's cars
            // and the police are set free with 0; the opposite sense would
            // free each car they mean to keep and hold the others.
            if (int(m->param[0]) != 0)
                iCDFlags |= CDF_HELD;
            else
                iCDFlags &= ~CDF_HELD;
            return 0;
        case SMSG_PUT_IN_VEHICLE:
            if (m->obj == nullptr || m->obj->type != OBJT_VEHICLE)
                return 0;
            if (parent != nullptr)
                Detach();
            SetPos(VectorPos(0.0f, 0.0f, 0.0f));
            m->obj->Attach(this);
            pveh = static_cast<Vehicle*>(m->obj);
            pveh->rcoDriver = this;
            iCDFlags &= ~CDF_UNSEATED;
            return 0;
        case SMSG_CD_SUSPEND:
            if (ignoreMode4 || held)
                return 0;
            if (int(m->param[0]) != 0 && ++iRefCount == 1) {
                pveh = car;
                DeActivate(false);
            }
            return 1;
        case SMSG_CD_RESUME:
            if (ignoreMode4 || iRefCount == 0)
                return 0;
            if (--iRefCount == 0)
                ReActivate();
            return 0;
        case SMSG_CD_SEAT_TAKEN:
            if (held)
                return 0;
            iRefCount = 0;
            if (car != nullptr)
                car->rcoDriver = m->obj;
            iCDFlags |= CDF_SEATTAKEN | CDF_HELD;
            return 0;
        case SMSG_CD_LOCK:
            if (held || car == nullptr || car->maxoccupancy != 1)
                return 0;
            iRefCount = 0;
            iCDFlags = (iCDFlags & ~CDF_UNSEATED) | CDF_HELD;
            return 0;
        case SMSG_CD_DRIVER_LEFT:
            iCDFlags &= ~CDF_HELD;
            pveh = car;
            DeActivate(false);
            return 0;
        case SMSG_CD_PINNED:
            if (i16DriveMode != 11)
                iCDFlags |= CDF_PINNED;
            return 0;
        case SMSG_BULLET_HIT: {
            if (id >= 0 || m->obj == nullptr)
                return 0;
            // The bullet is the message's object; it names who fired it.
            const int source = static_cast<const Bullet*>(m->obj)->sourceid;
            Vehicle* pc = dace != nullptr ? dace->car : nullptr;
            if (source == -1 || (pc != nullptr && source == pc->id))
                DriverShot(*this);
            return 0;
        }
        default:
            return 0;
        }
    }
    case OM_PASSEDCOLL: {
        CollisionRecord* cr = static_cast<CollisionRecord*>(data);
        Vehicle* car = DriverCar(this);
        if (cr == nullptr || car == nullptr)
            return 0;
        Object* other = cr->HitObj();
        Object* part = cr->HisPart();
        if (other == nullptr)
            return 0;
        if (other->type == OBJT_VEHICLE) {
            if (!(iCDFlags & CDF_ASLEEPORINACTIVE))
                iForceReal = 60;
            Object* od = static_cast<Vehicle*>(other)->rcoDriver.p;
            if (od != nullptr && od->id < 0) {
                iCDFlags |= CDF_NOSTABILIZER;
                iDisableStabilizerTime = world.time;
                if (od->id == -1)
                    DriverShot(*this);
            }
        } else if (other->type == OBJT_CHARACTER && other->id == -1 && part != nullptr && (part->flags & 0x1000)) {
            SpecialMessage q(SMSG_Q_COLLISION, nullptr);
            if (other->SendMessage(OM_SPECIAL, &q) == 0)
                return 0;
            if (world.time - iLastDamageCollTime <= 30 && world.time >= iLastDamageCollTime)
                return 0;
            const float v2 = car->vel.xyz().LengthSq();
            if ((bForceStopped || (iCDFlags & CDF_STOPPED)) && v2 < 4.87902e-05f) {
                Object* mesh = car->FindMeshDriver();
                int index = -1;
                if (mesh != nullptr) {
                    const int slot = g_GlobalMFI.GetIndex(mesh->mdlfile);
                    if (slot >= 0 && !(g_GlobalMFI.rgmfi[slot].i16Flags & MFI_DELETEABLE))
                        index = g_GlobalMFI.rgmfi[slot].i16Id & ~0x100;
                }
                // A driver without a character of its own has no temper.
                if (index > 0 && 3.0f * randf() < Bystander::GetPedAggression(index)) {
                    const VectorPos rel = car->GetRelativePos(other);
                    car->KickOutDriver(Vehicle::KICKOUT_ANGRY_FIGHT, rel[0] < 0.0f, other);
                }
            }
            iLastDamageCollTime = world.time;
        }
        return 0;
    }
    case OM_DIE: {
        if (iCDFlags & CDF_COUNTED) {
            if (g_pgcTest != nullptr)
                g_pgcTest->iNumVehs--;
            if (pvg != nullptr)
                pvg->i16NumSpawned--;
        }
        if (parent != nullptr && !parent->IsDead() && parent->type == OBJT_VEHICLE) {
            Vehicle* car = static_cast<Vehicle*>(parent);
            if (car->rcoDriver.p == this)
                car->rcoDriver = nullptr;
        }
        world.StopTimer(this);
        world.StopFrameCall(this);
        delete this;
        return -1;
    }
    default:
        return 0;
    }
}
