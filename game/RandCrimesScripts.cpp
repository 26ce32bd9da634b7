// The crime groups' scripts: where each crime happens (its placement
// script) and what its cast is told when it starts and, for the car crimes
// and the tail, as it goes on (its command script).  They work only through
// the crime's fields and services; an object a script needs and does not
// find is skipped with its order, and the script goes on.
#include "game/RandCrimesGenerator.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/BadGuy.h"
#include "game/BadGuyRunnerShared.h"
#include "game/Bystander.h"
#include "game/GameFEnt.h"
#include "game/GameFEntChase.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/HUD.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/RandomCrimesLocal.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

using RMC = RandomMissionController;
using namespace runner;

constexpr float kNear = 251.46f;   // half-width of a near random drive target
constexpr float kFar = 502.92f;    // ... of a far one

RMC* Crime(Object* o)
{
    return static_cast<RMC*>(o);
}

void Order(Object* to, int code, Object* obj, Variant p0 = 0, Variant p1 = 0, Variant p2 = 0)
{
    if (to == nullptr || to->messagehandler == nullptr)
        return;
    SpecialMessage m(code, obj, p0, p1, p2);
    to->messagehandler(to, OM_SPECIAL, &m);
}

// The order to come together at the crime's spot p.
void Congregate(Object* to, RMC* c, const VectorPos& p)
{
    Order(to, SMSG_CONGREGATE, c, float(p[0]), float(p[1]), float(p[2]));
}

// A suspect the player should go after: in the game controller's target
// list while it has room, and its arrow over it in any case.
void MarkAsTarget(RMC* c, Object* o)
{
    if (o == nullptr)
        return;
    if (g_pgcTest != nullptr) {
        for (Object*& slot : g_pgcTest->rvpSubMissionTargets) {
            if (slot == nullptr) {
                slot = o;
                break;
            }
        }
    }
    c->AttachTargetArrow(o);
}

// A point within h of p across the ground (x drawn first, then z).
VectorPos RandomAround(const VectorPos& p, float h)
{
    const float x = randf() * 2.0f * h - h;
    const float z = randf() * 2.0f * h - h;
    return VectorPos(p[0] + x, p[1], p[2] + z);
}

// The car's driver when it has one that is not the player.  Whoever sits
// there takes orders; only the traffic's own driver object has the flags
// and event object the scripts set (rcrime::AsCarDriver).
Object* DriverOf(Vehicle* car)
{
    if (car == nullptr || car->rcoDriver.p == nullptr || car->rcoDriver->IsDead() || car->rcoDriver->id == -1)
        return nullptr;
    return car->rcoDriver.p;
}

// Wakes a crime's driver and makes it report to crime c when asked.
void WakeDriver(Object* driver, RMC* c, bool report)
{
    if (CarDriver* d = rcrime::AsCarDriver(driver)) {
        if (report)
            d->gameeventobj = c;
        d->iCDFlags &= ~CDF_ASLEEPORINACTIVE;
    }
}

void DriveOrder(Object* driver, int mode, Object* obj, const VectorPos& target)
{
    Order(driver, SMSG_CD_SET_DRIVE, obj, mode, &target);
}

// A new driver of the crime's own for car C: it reports to the crime and
// sleeps with the car until the crime wakes it.
CarDriver* NewCrimeDriver(RMC* c, Vehicle* car)
{
    if (car == nullptr)
        return nullptr;
    auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("CarDriver")));
    if (mh == nullptr)
        return nullptr;
    auto* d = reinterpret_cast<CarDriver*>(intptr_t(mh(nullptr, OM_CREATE, nullptr)));
    if (d == nullptr)
        return nullptr;
    d->mat = Matrix(true);
    d->gameeventobj = c;
    d->iCDFlags |= CDF_ASLEEPORINACTIVE;
    d->id = -201;
    car->Attach(d);
    car->rcoDriver = d;
    return d;
}

// The generated suspect with id `id`, or null.
Enemy* GeneratedSuspect(RMC* c, int id)
{
    const int k = c->FindEnemyGenInfoIndex(id);
    if (k < 0 || c->regi[k].pegr == nullptr)
        return nullptr;
    return c->regi[k].pegr->enemy;
}

// The runner generator of the generated suspect with id `id`, or null.
EnemyGenRunner* GeneratedRunner(RMC* c, int id)
{
    const int k = c->FindEnemyGenInfoIndex(id);
    return k < 0 ? nullptr : c->regi[k].pegr;
}

// Calls f(enemy) for every generated suspect with id `id`.
template <class F>
void ForEachGenerated(RMC* c, int id, F f)
{
    for (int k = 0; k < c->i16numegi; k++) {
        EnemyGenRunner* r = c->regi[k].pegr;
        if (r != nullptr && r->enemy != nullptr && r->enemy->id == id)
            f(r->enemy);
    }
}

// The car's suspects -101 and -102 take its two seats.
void SeatSuspects(RMC* c, Vehicle* car)
{
    if (Enemy* e = GeneratedSuspect(c, -101))
        c->PutGuyInCar(car, e, 116);
    if (Enemy* e = GeneratedSuspect(c, -102))
        c->PutGuyInCar(car, e, 117);
}

// The tailed suspect is no longer the HUD's tail target, only a target.
void ReleaseTailTarget(RMC* c, Enemy* e)
{
    RemoveEnemyTarget(e);
    if (g_pgcTest != nullptr && g_pgcTest->pmd != nullptr) {
        MapDisplay* pmd = g_pgcTest->pmd;
        pmd->flags &= ~(1u << 25);
        pmd->rcoTarget = nullptr;
        pmd->flags &= ~1u;
    }
    c->AttachTargetArrow(e);
}

// The first handed-over object of a list, or null.
Object* Handed(const RCptr<Object>* list, int n, int k)
{
    return k < n && k < 16 ? list[k].p : nullptr;
}

// ---------------------------------------------------------------------------
// Placement

void PavementNearPlayer(Object* o)
{
    RMC* c = Crime(o);
    c->matLoc = c->CreateGeneratedRSRandomPosition(nullptr);
}

void PavementAndAcross(Object* o)
{
    RMC* c = Crime(o);
    c->matLoc = c->CreateGeneratedRSRandomPosition(&c->acrossstreetpos);
}

void InTheStreet(Object* o)
{
    RMC* c = Crime(o);
    c->matLoc = c->CreateGeneratedRSInStreetPosition();
}

// Where the spawner's objects are: nothing to choose.
void WhereTheyAre(Object*) {}

void BehindThePlayer106(Object* o)
{
    RMC* c = Crime(o);
    c->matLoc = c->CreateGeneratedRSBehindPosition(1.5625f);
}

void BehindThePlayer129(Object* o)
{
    RMC* c = Crime(o);
    c->matLoc = c->CreateGeneratedRSBehindPosition(9.375f);
}

// The crime's spot, then the tail's destination.
void TailPositions(Object* o)
{
    RMC* c = Crime(o);
    c->matLoc = c->CreateGeneratedRSRandomPosition(nullptr);
    c->tailMatLoc = c->CreateGeneratedRSRandomPosition(nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------
// Commands

static int Commands101(Object* o, int)
{
    SpecialMessage m(SMSG_WANDER, nullptr);
    Crime(o)->SendMessageToAllEnemies(&m);
    return 0;
}

// The assailant and his victim struggle; alone, he wanders.
static int Commands103(Object* o, int)
{
    RMC* c = Crime(o);
    ForEachGenerated(c, -101, [&](Enemy* e) {
        Enemy* victim = GeneratedSuspect(c, -176);
        if (victim == nullptr) {
            Order(e, SMSG_WANDER, nullptr);
            return;
        }
        GeneratedRunner(c, -176)->ishostage = true;
        victim->ishostage = true;
        Order(victim, SMSG_STRUGGLE_WITH, e);
        Order(e, SMSG_STRUGGLE_WITH, victim);
    });
    return 0;
}

// The mugger threatens his victim; alone, he wanders.
static int Commands104(Object* o, int)
{
    RMC* c = Crime(o);
    Object* victim = nullptr;
    for (int k = 0; k < c->iNumEmergentEnemies && k < 16; k++)
        if (c->emEnemy[k].p != nullptr && c->emEnemy[k]->id == -176)
            victim = c->emEnemy[k].p;
    for (int k = 0; k < c->iNumEmergentEnemies && k < 16; k++) {
        Object* e = c->emEnemy[k].p;
        if (e == nullptr || e->id != -101)
            continue;
        MarkAsTarget(c, e);
        if (victim != nullptr) {
            static_cast<BadGuy*>(victim)->ishostage = true;
            Order(victim, SMSG_THREATEN, e, int(c->gunfight));
            Order(e, SMSG_THREATEN, victim, int(c->gunfight));
        } else {
            Order(e, SMSG_WANDER, nullptr);
        }
    }
    return 0;
}

static int Commands106(Object* o, int)
{
    Crime(o)->GroupSingleMessage(SMSG_CHASE_OBJECT, 0, -101, -151);
    return 0;
}

// The carjacker takes the car.
static int Commands107(Object* o, int)
{
    RMC* c = Crime(o);
    Object* e = Handed(c->emEnemy, c->iNumEmergentEnemies, 0);
    if (e == nullptr)
        return 0;
    if (Object* car = Handed(c->emCar, c->iNumEmergentCars, 0))
        Order(e, SMSG_GET_IN_CAR, car);
    MarkAsTarget(c, e);
    return 0;
}

// The kidnapper takes his hostage; then the car is set on the street.
static int Commands110(Object* o, int)
{
    RMC* c = Crime(o);
    ForEachGenerated(c, -101, [&](Enemy* e) {
        Enemy* victim = GeneratedSuspect(c, -176);
        if (victim == nullptr) {
            Order(e, SMSG_WANDER, nullptr);
            return;
        }
        GeneratedRunner(c, -176)->ishostage = true;
        Order(victim, SMSG_TURN_INTO_HOSTAGE, e);
        Order(e, SMSG_TAKE_HOSTAGE, victim);
    });
    c->AlignVehicleToStreet(-200);
    return 0;
}

// The dealer and the hooker are only marked.
static int Commands111(Object* o, int)
{
    RMC* c = Crime(o);
    MarkAsTarget(c, Handed(c->emEnemy, c->iNumEmergentEnemies, 0));
    return 0;
}

static int Commands113(Object* o, int)
{
    RMC* c = Crime(o);
    c->GroupMutualMessage(SMSG_ATTACK_OBJECT, c->fightstyle, -101, -126);
    return 0;
}

// The runaways gather at the crime's spot.
static int Commands114(Object* o, int)
{
    RMC* c = Crime(o);
    const VectorPos at = c->matLoc.GetTrans();
    for (int k = 0; k < c->i16numegi; k++)
        if (c->regi[k].pegr != nullptr && c->regi[k].pegr->enemy != nullptr)
            Congregate(c->regi[k].pegr->enemy, c, at);
    return 0;
}

static int Commands117(Object* o, int)
{
    RMC* c = Crime(o);
    c->GroupSingleMessage(SMSG_ATTACK_OBJECT_NODAMAGE, c->fightstyle, -101, -151);
    c->GroupSingleMessage(SMSG_ATTACK_OBJECT_NODAMAGE, c->fightstyle, -151, -101);
    return 0;
}

static int Commands118(Object* o, int)
{
    RMC* c = Crime(o);
    c->GroupMutualMessage(SMSG_ATTACK_OBJECT_NODAMAGE, c->fightstyle, -101, -126);
    return 0;
}

// The suspects shoot at the officers from across the street.
static int Commands121(Object* o, int)
{
    RMC* c = Crime(o);
    c->GroupSingleMessage(SMSG_SHOOT_OBJECT_NODAMAGE, c->fightstyle, -101, -151);
    c->MoveRange(VectorDir(c->acrossstreetpos - c->matLoc.GetTrans()), -110, -101);
    c->GroupSingleMessage(SMSG_SHOOT_OBJECT_NODAMAGE, c->fightstyle, -151, -101);
    return 0;
}

// Two gangs shoot at each other across the street.
static int Commands122(Object* o, int)
{
    RMC* c = Crime(o);
    c->GroupMutualMessage(SMSG_SHOOT_OBJECT_NODAMAGE, c->fightstyle, -101, -126);
    c->MoveRange(VectorDir(c->acrossstreetpos - c->matLoc.GetTrans()), -110, -101);
    return 0;
}

// The robbers' car waits parked by its own driver; the robbers look around.
static int Commands123(Object* o, int)
{
    RMC* c = Crime(o);
    Vehicle* car = c->GetVehicle(-200);
    if (Object* d = DriverOf(car)) {
        d->id = -201;
        DriveOrder(d, 6, nullptr, RandomAround(car->mat.GetTrans(), kNear));
    }
    c->AlignVehicleToStreet(-200);
    SpecialMessage seek(SMSG_SEEK_OBJECT, nullptr);
    c->SendMessageToRange(&seek, -150, -101);
    return 0;
}

namespace {

// The car crimes 124..127 and the drive-by 129.  Entry 0 seats the
// suspects under a new driver of the crime's and puts the crime to sleep
// until the player comes; entry 1 (the pursuit) sends the car off and the
// police after it.
int CarCrime(RMC* c, int iEntry, int group)
{
    if (iEntry == 0 || group == 129) {
        Vehicle* car = c->GetVehicle(-200);
        if (car != nullptr) {
            SeatSuspects(c, car);
            if (CarDriver* d = NewCrimeDriver(c, car)) {
                const VectorPos target = RandomAround(car->mat.GetTrans(), kNear);
                if (group == 129)
                    DriveOrder(d, 9, dace, target);
                else
                    DriveOrder(d, 8, nullptr, target);
            }
            if (group != 129 && c->policechase)
                c->CallTheCops(car);
        }
        c->mode = RCM_HIBERNATE;
        return 0;
    }
    if (iEntry != 1)
        return 0;
    Vehicle* car = c->GetVehicle(-200);
    if (Object* d = DriverOf(car)) {
        WakeDriver(d, c, group == 126);
        DriveOrder(d, 4, nullptr, RandomAround(car->GetWorldPos(), kFar));
    }
    auto* police = static_cast<Vehicle*>(c->lastcopcar.p);
    if (Object* d = DriverOf(police)) {
        WakeDriver(d, c, group == 126);
        DriveOrder(d, 10, car, RandomAround(police->GetWorldPos(), kFar));
    }
    return 0;
}

}  // namespace

static int Commands124(Object* o, int iEntry) { return CarCrime(Crime(o), iEntry, 124); }
static int Commands126(Object* o, int iEntry) { return CarCrime(Crime(o), iEntry, 126); }
static int Commands129(Object* o, int iEntry) { return CarCrime(Crime(o), iEntry, 129); }

// Tailing a drug dealer: he drives to his destination, where three more
// suspects wait; the player follows unseen.
static int Commands130(Object* o, int iEntry)
{
    RMC* c = Crime(o);
    switch (iEntry) {
    case 0: {
        Vehicle* car = c->GetVehicle(-200);
        Enemy* dealer = GeneratedSuspect(c, -101);
        if (car != nullptr && dealer != nullptr)
            c->PutGuyInCar(car, dealer, 116);
        const VectorPos dest = c->tailMatLoc.GetTrans();
        if (CarDriver* d = NewCrimeDriver(c, car))
            DriveOrder(d, 8, nullptr, dest);
        const Matrix& t = c->tailMatLoc;
        const VectorDir side(t.x[0], t.x[1], t.x[2]), ahead(t.z[0], t.z[1], t.z[2]);
        const VectorDir offsets[3] = {side * 0.3125f, side * -0.3125f, ahead * 0.3125f};
        for (const VectorDir& off : offsets) {
            Matrix m = c->tailMatLoc;
            m.SetTrans(dest + off);
            if (Enemy* e = c->AddEnemy(m))
                Congregate(e, c, dest);
        }
        if (dealer != nullptr)
            c->SetTailMissionMode(nullptr, dealer);
        c->mode = RCM_HIBERNATE;
        return 0;
    }
    case 1:
        ForEachGenerated(c, -101, [&](Enemy* e) { ReleaseTailTarget(c, e); });
        c->EndMission();
        return 0;
    case 2: {
        c->tailspooked = true;
        Vehicle* car = c->GetVehicle(-200);
        if (Object* d = DriverOf(car)) {
            WakeDriver(d, c, false);
            DriveOrder(d, 4, nullptr, RandomAround(car->GetWorldPos(), kFar));
        }
        ForEachGenerated(c, -101, [&](Enemy* e) {
            e->gotincartime = world.time;
            ReleaseTailTarget(c, e);
        });
        if (c->pTailMissionController != nullptr)
            reinterpret_cast<Object*>(c->pTailMissionController)->Delete();
        c->pTailMissionController = nullptr;
        return 0;
    }
    case 3:
        ForEachGenerated(c, -101, [&](Enemy* e) {
            Order(e, SMSG_STOP_CAR, nullptr);
            ReleaseTailTarget(c, e);
        });
        if (c->pTailMissionController != nullptr)
            reinterpret_cast<Object*>(c->pTailMissionController)->Delete();
        c->pTailMissionController = nullptr;
        c->MakeAddedEnemiesTargettable();
        return 0;
    default:
        return 0;
    }
}

// The purse snatcher runs from his victim, who runs after him.
static int Commands138(Object* o, int)
{
    RMC* c = Crime(o);
    Object* e = Handed(c->emEnemy, c->iNumEmergentEnemies, 0);
    Object* victim = Handed(c->emBystander, c->iNumEmergentBystanders, 0);
    if (e == nullptr)
        return 0;
    if (victim != nullptr) {
        Order(e, SMSG_RUN_AWAY_FROM, victim);
        Order(victim, SMSG_CHASE_OBJECT, e);
    }
    MarkAsTarget(c, e);
    return 0;
}

// Two street fighters at each other.
static int Commands139(Object* o, int)
{
    RMC* c = Crime(o);
    Object* a = Handed(c->emEnemy, c->iNumEmergentEnemies, 0);
    Object* b = Handed(c->emEnemy, c->iNumEmergentEnemies, 1);
    if (a != nullptr && b != nullptr) {
        Order(a, SMSG_ATTACK_OBJECT, b, 5);
        Order(b, SMSG_ATTACK_OBJECT, a, 5);
    }
    MarkAsTarget(c, a);
    MarkAsTarget(c, b);
    return 0;
}

// ---------------------------------------------------------------------------
// Each group's pair of scripts

void GetMissionPositionRMGenG101(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG102(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG103(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG104(Object* crime) { WhereTheyAre(crime); }
void GetMissionPositionRMGenG105(Object* crime) { WhereTheyAre(crime); }
void GetMissionPositionRMGenG106(Object* crime) { BehindThePlayer106(crime); }
void GetMissionPositionRMGenG107(Object* crime) { WhereTheyAre(crime); }
void GetMissionPositionRMGenG108(Object* crime) { WhereTheyAre(crime); }
void GetMissionPositionRMGenG109(Object* crime) { WhereTheyAre(crime); }
void GetMissionPositionRMGenG110(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG111(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG112(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG113(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG114(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG117(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG118(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG121(Object* crime) { PavementAndAcross(crime); }
void GetMissionPositionRMGenG122(Object* crime) { PavementAndAcross(crime); }
void GetMissionPositionRMGenG123(Object* crime) { PavementNearPlayer(crime); }
void GetMissionPositionRMGenG124(Object* crime) { InTheStreet(crime); }
void GetMissionPositionRMGenG125(Object* crime) { InTheStreet(crime); }
void GetMissionPositionRMGenG126(Object* crime) { InTheStreet(crime); }
void GetMissionPositionRMGenG127(Object* crime) { InTheStreet(crime); }
void GetMissionPositionRMGenG129(Object* crime) { BehindThePlayer129(crime); }
void GetMissionPositionRMGenG130(Object* crime) { TailPositions(crime); }
void GetMissionPositionRMGenG138(Object* crime) { WhereTheyAre(crime); }
void GetMissionPositionRMGenG139(Object* crime) { WhereTheyAre(crime); }

int MissionCommanderRMGenG101(Object* crime, int iEntry) { return Commands101(crime, iEntry); }
int MissionCommanderRMGenG102(Object* crime, int iEntry) { return Commands101(crime, iEntry); }
int MissionCommanderRMGenG103(Object* crime, int iEntry) { return Commands103(crime, iEntry); }
int MissionCommanderRMGenG104(Object* crime, int iEntry) { return Commands104(crime, iEntry); }
int MissionCommanderRMGenG105(Object* crime, int iEntry) { return Commands104(crime, iEntry); }
int MissionCommanderRMGenG106(Object* crime, int iEntry) { return Commands106(crime, iEntry); }
int MissionCommanderRMGenG107(Object* crime, int iEntry) { return Commands107(crime, iEntry); }
int MissionCommanderRMGenG108(Object* crime, int iEntry) { return Commands107(crime, iEntry); }
int MissionCommanderRMGenG109(Object* crime, int iEntry) { return Commands107(crime, iEntry); }
int MissionCommanderRMGenG110(Object* crime, int iEntry) { return Commands110(crime, iEntry); }
int MissionCommanderRMGenG111(Object* crime, int iEntry) { return Commands111(crime, iEntry); }
int MissionCommanderRMGenG112(Object* crime, int iEntry) { return Commands111(crime, iEntry); }
int MissionCommanderRMGenG113(Object* crime, int iEntry) { return Commands113(crime, iEntry); }
int MissionCommanderRMGenG114(Object* crime, int iEntry) { return Commands114(crime, iEntry); }
int MissionCommanderRMGenG117(Object* crime, int iEntry) { return Commands117(crime, iEntry); }
int MissionCommanderRMGenG118(Object* crime, int iEntry) { return Commands118(crime, iEntry); }
int MissionCommanderRMGenG121(Object* crime, int iEntry) { return Commands121(crime, iEntry); }
int MissionCommanderRMGenG122(Object* crime, int iEntry) { return Commands122(crime, iEntry); }
int MissionCommanderRMGenG123(Object* crime, int iEntry) { return Commands123(crime, iEntry); }
int MissionCommanderRMGenG124(Object* crime, int iEntry) { return Commands124(crime, iEntry); }
int MissionCommanderRMGenG125(Object* crime, int iEntry) { return Commands124(crime, iEntry); }
int MissionCommanderRMGenG126(Object* crime, int iEntry) { return Commands126(crime, iEntry); }
int MissionCommanderRMGenG127(Object* crime, int iEntry) { return Commands124(crime, iEntry); }
int MissionCommanderRMGenG129(Object* crime, int iEntry) { return Commands129(crime, iEntry); }
int MissionCommanderRMGenG130(Object* crime, int iEntry) { return Commands130(crime, iEntry); }
int MissionCommanderRMGenG138(Object* crime, int iEntry) { return Commands138(crime, iEntry); }
int MissionCommanderRMGenG139(Object* crime, int iEntry) { return Commands139(crime, iEntry); }

// ---------------------------------------------------------------------------
// Dispatch by crime index

GETMISSIONPOSITIONHANDLER rprmchGetMissionPosition[RC_NUMINDEXES] = {
    nullptr, GetMissionPositionRMGenG101, GetMissionPositionRMGenG102, GetMissionPositionRMGenG103,
    GetMissionPositionRMGenG104, GetMissionPositionRMGenG105, GetMissionPositionRMGenG106, GetMissionPositionRMGenG107,
    GetMissionPositionRMGenG108, GetMissionPositionRMGenG109, GetMissionPositionRMGenG110, GetMissionPositionRMGenG111,
    GetMissionPositionRMGenG112, GetMissionPositionRMGenG113, GetMissionPositionRMGenG114, nullptr,
    nullptr, GetMissionPositionRMGenG117, GetMissionPositionRMGenG118, nullptr,
    nullptr, GetMissionPositionRMGenG121, GetMissionPositionRMGenG122, GetMissionPositionRMGenG123,
    GetMissionPositionRMGenG124, GetMissionPositionRMGenG125, GetMissionPositionRMGenG126, GetMissionPositionRMGenG127,
    nullptr, GetMissionPositionRMGenG129, GetMissionPositionRMGenG130, nullptr,
    nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, GetMissionPositionRMGenG138, GetMissionPositionRMGenG139,
};

RANDMISSIONCOMMANDERHANDLER rprmchRandomMissionCommander[RC_NUMINDEXES] = {
    nullptr, MissionCommanderRMGenG101, MissionCommanderRMGenG102, MissionCommanderRMGenG103,
    MissionCommanderRMGenG104, MissionCommanderRMGenG105, MissionCommanderRMGenG106, MissionCommanderRMGenG107,
    MissionCommanderRMGenG108, MissionCommanderRMGenG109, MissionCommanderRMGenG110, MissionCommanderRMGenG111,
    MissionCommanderRMGenG112, MissionCommanderRMGenG113, MissionCommanderRMGenG114, nullptr,
    nullptr, MissionCommanderRMGenG117, MissionCommanderRMGenG118, nullptr,
    nullptr, MissionCommanderRMGenG121, MissionCommanderRMGenG122, MissionCommanderRMGenG123,
    MissionCommanderRMGenG124, MissionCommanderRMGenG125, MissionCommanderRMGenG126, MissionCommanderRMGenG127,
    nullptr, MissionCommanderRMGenG129, MissionCommanderRMGenG130, nullptr,
    nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, MissionCommanderRMGenG138, MissionCommanderRMGenG139,
};
