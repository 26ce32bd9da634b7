// The gas station, the impound lot and the 24/7 activity spots.
#include "game/CityDriveIns.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/CityObjects.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

constexpr int NODE_PUMP = 0x8000;     // the gas station's first mark; a spot's mark
constexpr int NODE_TRIGGER = 0x8001;  // the trigger and the final mark
constexpr SCREEN_TEXT_POS TEXT_POS = SCREEN_TEXT_POS(3);

AnimTime Frames(u32 n) { return AnimTime(n << 8); }
void* TimerData(int d) { return reinterpret_cast<void*>(intptr_t(d)); }
int TimerKind(void* d) { return int(reinterpret_cast<intptr_t>(d)); }
VectorDir Row(const Vector& v) { return VectorDir(v[0], v[1], v[2]); }

// The player's car: a vehicle at the root of the player.
bool IsPlayersCar(Object* o)
{
    return o != nullptr && o->type == OBJT_VEHICLE && dace != nullptr && dace->GetRoot() == o;
}

}  // namespace

// ---------------------------------------------------------------------------
// What the drive-ins share

bool DriveIn::NodeMatrix(int node, Matrix& m)
{
    NODE* n = FindNodeById(node);
    if (n == nullptr)
        return false;
    m = n->GetMatrix() * GetWorldMatrix();
    return true;
}

bool DriveIn::Align(const Matrix& m, float headingTol, float distTol)
{
    Vehicle* car = pvehCurrent;
    const VectorDir cz = Row(car->mat.z);
    VectorDir t = Row(m.z);
    if (Dot(t, cz) < 0.0f)
        t = -t;   // either way along the mark
    VectorDir o = VectorDir(m.GetTrans() - car->mat.GetTrans());
    o = VectorDir(o[0], 0.0f, o[2]);
    const float dist = Length(o);
    const VectorXZ c = Normalise(VectorXZ(cz[0], cz[2]));
    const VectorXZ tn = Normalise(VectorXZ(t[0], t[2]));
    const float s = tn[0] * c[2] - c[0] * tn[2];
    if (std::fabs(s) < headingTol && dist < distTol)
        return true;
    const Vector w = car->mat.w;
    car->mat = RotY(0.25f * std::clamp(0.125f * s, -0.01309f, 0.01309f)) * car->mat;
    car->mat.w = w;
    if (dist > 0.001f) {
        const VectorPos p = car->mat.GetTrans() + o * (std::min(0.0232833f, 0.125f * dist) / dist);
        car->mat.SetTrans(p);
    }
    return false;
}

Object* DriveIn::AttachTargetIndicator()
{
    Object* trigger = Trigger();
    if (trigger == nullptr || FindNodeById(NODE_TRIGGER) == nullptr)
        return nullptr;
    VectorPos origin(0.0f, 0.0f, 0.0f);
    Object* t = ::CreateTargetObj(origin, g_GlobalMFI.GetMF(MARKER_MODEL_SLOT, false), 0);
    if (t == nullptr)
        return nullptr;
    t->id = DRIVEIN_MARKER_ID;
    t->mat = trigger->mat;
    Attach(t);
    return t;
}

bool DriveIn::RemoveTargetIndicator(bool effect)
{
    Object* t = FindSubObject(DRIVEIN_MARKER_ID);
    if (t == nullptr)
        return false;
    if (effect) {
        DoTargetEffectOnObject(t);
    } else {
        t->Detach();
        t->Delete();
    }
    return true;
}

void DriveIn::TakeCar(Vehicle* car)
{
    car->mode = 2;
    car->flags |= OBJF_NOCOLLISION;
    pvehCurrent = car;
    world.StopFrameCall(car);
    world.StartFrameCall(this);
}

void DriveIn::StartCamera()
{
    pcamSaved = GetCurrentCam();
    pcamNew = CreateFixedCameraFromCurrent(pcamSaved != nullptr ? pcamSaved->target : nullptr);
    if (pcamNew != nullptr) {
        SetCurrentCam(pcamNew);
        world.AddObject(pcamNew, nullptr);
    }
}

void DriveIn::SetUp(int newId)
{
    Object* box = CreateDummyCollisionObj();
    if (box != nullptr) {
        box->id = DRIVEIN_TRIGGER_ID;
        if (NODE* n = FindNodeById(NODE_TRIGGER)) {
            Attach(box, n);
            AttachTargetIndicator();
        } else {
            Attach(box);
        }
    }
    id = s16(newId);
    InitialiseChildCollisions();
    CalcRadius();
}

// ---------------------------------------------------------------------------
// The gas station

float GasStation::ComputeRepairAmount(Vehicle* v)
{
    if (v == nullptr)
        return 0.0f;
    const float points = g_pgcTest != nullptr ? float(g_pgcTest->stats.nPoints) : 0.0f;
    return std::min(v->fBaseStrength - v->strength, 2.0f * points);
}

bool GasStation::AlignVehicleToMatrix(Matrix& m)
{
    return Align(m, 0.01f, 0.0390625f);
}

int GasStation::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        if (type == OBJT_PLACEHOLDER)
            return SendMessage(OM_CREATE, data);
        SetUp(258);
        return 0;
    case OM_COLLISION: {
        CollisionRecord* cr = static_cast<CollisionRecord*>(data);
        Object* part = cr->MyPart();
        if (mode != 0 || part == nullptr || part->id != DRIVEIN_TRIGGER_ID || !cr->GetInfo())
            return 0;
        Object* other = cr->HitObj();
        // Without both marks a car once taken could never leave.
        Matrix unused;
        if (!IsPlayersCar(other) || !NodeMatrix(NODE_PUMP, unused) || !NodeMatrix(NODE_TRIGGER, unused))
            return 0;
        Vehicle* car = static_cast<Vehicle*>(other);
        const Matrix box = part->GetWorldMatrix();
        const VectorDir off(car->mat.GetTrans() - box.GetTrans());
        if (off.LengthSq() >= 0.09765625f || std::fabs(Dot(Row(car->mat.z), Row(box.z))) <= 0.8f)
            return 0;
        const float amount = ComputeRepairAmount(car);
        if (amount > 0.0f || car->strength == car->fBaseStrength) {
            mode = 1;
            TakeCar(car);
            RemoveTargetIndicator(true);
            StartCamera();
        } else {
            world.StopFrameCall(this);
            RemoveTargetIndicator(false);
            mode = 3;
            world.SetTimer(this, Frames(120), TimerData(3));
            AddScreenText("POINTS REQUIRED TO REPAIR!", TEXT_POS);
            if (sndbank_ui != 0xFFFF) {
                const int chan = sound.AllocChannel(false);
                if (chan >= 0)
                    sound.Play(chan, sndbank_ui, 11);
            }
        }
        return 0;
    }
    case OM_FRAME: {
        Matrix m;
        if (mode == 1 && pvehCurrent != nullptr && NodeMatrix(NODE_PUMP, m) && AlignVehicleToMatrix(m)) {
            mode = 2;
            world.SetTimer(this, Frames(120), TimerData(2));
            world.StopFrameCall(this);
        } else if (mode == 2 && pvehCurrent != nullptr && NodeMatrix(NODE_TRIGGER, m) && AlignVehicleToMatrix(m)) {
            mode = 3;
            Vehicle* car = pvehCurrent;
            car->vel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
            car->fEngine = 0.01f;
            car->mode = 0;
            car->flags &= ~OBJF_NOCOLLISION;
            pvehCurrent = nullptr;
            world.SetTimer(this, Frames(1200), TimerData(3));
            world.StopFrameCall(this);
            if (pcamNew != nullptr) {
                pcamSaved->SetInCarSettingsFromCamera(pcamNew);
                SetCurrentCam(pcamSaved);
                pcamNew->Delete();
                pcamNew = nullptr;
            }
        }
        return 0;
    }
    case OM_TIMER:
        if (TimerKind(data) == 2) {
            Vehicle* car = pvehCurrent;
            if (car != nullptr) {
                const float amount = ComputeRepairAmount(car);
                const float repaired = car->strength + amount;
                if (repaired >= 0.5f * car->fBaseStrength)
                    car->UnDamage(repaired);
                else
                    car->strength = repaired;
                if (amount > 0.0f && g_pgcTest != nullptr)
                    g_pgcTest->AddPoints(-int(0.5f * amount), car);
                AddScreenText("VEHICLE REPAIRED!", TEXT_POS);
            }
            world.StartFrameCall(this);
        } else if (TimerKind(data) == 3) {
            Object* trigger = Trigger();
            float d2 = 31.25f * 31.25f;
            if (trigger != nullptr && dace != nullptr)
                d2 = VectorDir(trigger->GetWorldPos() - dace->GetWorldPos()).LengthSq();
            if (d2 > 9.765625f) {
                mode = 0;
                AttachTargetIndicator();
            } else {
                world.SetTimer(this, Frames(60), TimerData(3));
            }
        }
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

int GasStation_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return CreateProp<GasStation>(GasStation_mh);
    return static_cast<GasStation*>(obj)->mh(msg, data);
}

// ---------------------------------------------------------------------------
// The impound lot

bool ImpoundLot::AlignVehicleToMatrix(Matrix& m)
{
    return Align(m, 0.1f, 0.078125f);
}

void ImpoundLot::TransitionToMission(Matrix& m)
{
    mode = 2;
    world.StopFrameCall(this);
    // The controller reads the record when it gets the message and keeps
    // what it needs.
    static GameSubModeTargetMsg rec;
    const VectorDir z = Row(m.z);
    const VectorPos p = m.GetTrans() - z * 0.3125f;
    rec.vpSrceChar = p;
    rec.vdSrceCharDir = -z;
    rec.vpSrceVeh = p;
    rec.vdSrceVehDir = -z;
    rec.vpTargetPos = mat.GetTrans();
    rec.i16SubLevelNumberTrigger = 13;
    rec.i8VehTypeId = -1;
    rec.i8VehTintSet = 0;
    rec.i16TableIndex = 0;
    if (g_pgcTest != nullptr) {
        SpecialMessage sm(SMSG_GC_SIDE_TRIP, reinterpret_cast<Object*>(&rec));
        g_pgcTest->SendMessage(OM_SPECIAL, &sm);
    }
}

int ImpoundLot::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        if (type == OBJT_PLACEHOLDER)
            return SendMessage(OM_CREATE, data);
        SetUp(269);
        return 0;
    case OM_COLLISION: {
        CollisionRecord* cr = static_cast<CollisionRecord*>(data);
        Object* part = cr->MyPart();
        Matrix mark;
        // Without its mark a car once taken could never leave.
        if (mode != 0 || part == nullptr || part->id != DRIVEIN_TRIGGER_ID || !NodeMatrix(NODE_TRIGGER, mark) ||
            !cr->GetInfo())
            return 0;
        Object* other = cr->HitObj();
        Matrix box = part->GetWorldMatrix();
        const VectorDir bz = Row(box.z);
        if (other != nullptr && other->id == -1) {
            // On foot, walking in along the box's z.
            const VectorDir d(other->GetWorldPos() - box.GetTrans());
            if (Dot(d, bz) < 0.3125f && Dot(Row(other->GetWorldMatrix().z), bz) > 0.0f) {
                RemoveTargetIndicator(true);
                StartCamera();
                TransitionToMission(box);
            }
        } else if (IsPlayersCar(other) && Dot(Row(other->mat.z), bz) > 0.8f) {
            mode = 1;
            TakeCar(static_cast<Vehicle*>(other));
            RemoveTargetIndicator(true);
            StartCamera();
        }
        return 0;
    }
    case OM_FRAME: {
        Matrix m;
        if (mode == 1 && pvehCurrent != nullptr && NodeMatrix(NODE_TRIGGER, m) && AlignVehicleToMatrix(m))
            TransitionToMission(m);
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

int ImpoundLot_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return CreateProp<ImpoundLot>(ImpoundLot_mh);
    return static_cast<ImpoundLot*>(obj)->mh(msg, data);
}

// ---------------------------------------------------------------------------
// The 24/7 spots

namespace {

struct SpotKind
{
    int kind;
    int task;
    bool force;
    float away2;   // the player's squared distance before the marker goes up
};
constexpr SpotKind spotKinds[3] = {{268, 1, false, 4.6875f}, {267, 2, false, 4.6875f}, {266, 3, true, 9.375f}};

const SpotKind& KindOf(int kind)
{
    return kind == 268 ? spotKinds[0] : kind == 267 ? spotKinds[1] : spotKinds[2];
}

// 0 to 7 frames: the top three bits of a 31-bit random number.
u32 Jitter() { return u32((rand() & 0x7FFFFFFF) >> 28); }

bool NearXZ(const VectorXYZ& a, const VectorXYZ& b)
{
    const float dx = a[0] - b[0], dz = a[2] - b[2];
    return dx * dx + dz * dz < 21.97265625f;
}

// The HUD map shows a target at spot.
bool MapTargetAt(VectorPos spot)
{
    const MapDisplay* md = g_pgcTest != nullptr ? g_pgcTest->pmd : nullptr;
    if (md == nullptr)
        return false;
    if (md->flags & 1)
        return NearXZ(md->vpStaticTarget, spot);
    if (md->flags & 0x10)
        for (const Vector& t : md->rvOtherStaticTarget)
            if (t[3] != 0.0f && NearXZ(VectorXYZ(t[0], t[1], t[2]), spot))
                return true;
    return false;
}

}  // namespace

Object* Spot247::CreateTargetObj(int kind)
{
    const SpotKind& k = KindOf(kind);
    MDLFILE* mf = g_GlobalMFI.GetMF(MARKER_MODEL_SLOT, false);
    if (mf == nullptr)
        return nullptr;
    VectorPos pos = mat.GetTrans();
    GameModeTarget* t = CreateGameSubModeTargetObj(pos, mf, 8, 13, k.task);
    if (t == nullptr)
        return nullptr;
    t->i16Flags |= 0x38;
    if (k.force)
        t->bForceOntoObject = 1;
    world.AddObject(t, nullptr);
    world.SetTimer(t, Frames(15), nullptr);
    return t;
}

int Spot247::mh(OBJMESSAGE msg, void* data, int kind)
{
    switch (msg) {
    case OM_INIT:
        if (type == OBJT_PLACEHOLDER)
            return SendMessage(OM_CREATE, data);
        id = s16(kind);
        InitialiseChildCollisions();
        CalcRadius();
        world.SetTimer(this, Frames(8 + Jitter()), nullptr);
        return 0;
    case OM_TIMER: {
        NODE* n = FindNodeById(0x8000);
        if (n == nullptr)
            return 0;
        const VectorPos spot = (n->GetMatrix() * GetWorldMatrix()).GetTrans();
        if (MapTargetAt(spot)) {
            id = 0;
            return 0;
        }
        if (dace != nullptr && VectorDir(dace->GetWorldPos() - spot).LengthSq() > KindOf(kind).away2) {
            Object* t = CreateTargetObj(kind);
            if (t != rcoTarget)
                rcoTarget = t;
            return 0;
        }
        world.SetTimer(this, Frames(30 + Jitter()), nullptr);
        return 0;
    }
    case OM_DIE:
        if (rcoTarget != nullptr && !rcoTarget->IsDead())
            rcoTarget->Delete();
        rcoTarget = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}

int Dojo247_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return CreateProp<Dojo247>(Dojo247_mh);
    return static_cast<Dojo247*>(obj)->mh(msg, data, 268);
}

int FRange247_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return CreateProp<FRange247>(FRange247_mh);
    return static_cast<FRange247*>(obj)->mh(msg, data, 267);
}

int Race247_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return CreateProp<Race247>(Race247_mh);
    return static_cast<Race247*>(obj)->mh(msg, data, 266);
}
