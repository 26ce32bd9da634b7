// The random crime's police and wrap-up: the police car with its two
// officers, the suspects' cars let go, the outcome on the HUD, and the
// removal of the crime's characters.
#include "game/RandomCrimes.h"

#include <cstdio>
#include <cstring>

#include "ZevEngine2/PS2/Model.h"
#include "game/MAIN.h"
#include "game/GameModes.h"
#include "game/HUD.h"
#include "game/RandomCrimesLocal.h"

namespace msg = rcmsg;
using namespace rcrime;

namespace {

// The officers' models, the first of them loaded among the character
// slots; -1 when none is.
int OfficerSlot()
{
    for (int id : {396, 397, 356}) {
        const int slot = g_GlobalMFI.FindById(id, 80, 127);
        if (slot >= 0)
            return slot;
    }
    return -1;
}

// The police car's model among the vehicle-group slots.
constexpr int kPoliceCarModel = 27;
// The police car stands this far behind its chase target, or behind the
// camera when it comes to the player.
constexpr float kBehindTarget = 1.875f;
constexpr float kBehindCamera = 6.25f;
// The police come from the pavement this far behind the player.
constexpr float kPoliceFrom = 7.8125f;

// The car's driver as a crime driver: its own when it has one (the car
// service may give it one), else a new one.  Null when none could be made.
Object* CrimeDriverFor(Vehicle& car, Object* crime)
{
    Object* d = car.HasDriver() ? static_cast<Object*>(car.rcoDriver) : nullptr;
    if (d == nullptr) {
        auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("CarDriver")));
        if (mh == nullptr)
            return nullptr;
        d = reinterpret_cast<Object*>(intptr_t(mh(nullptr, OM_CREATE, nullptr)));
        if (d == nullptr)
            return nullptr;
        d->mat = Matrix(true);
        car.Attach(d);
        car.rcoDriver = d;
    }
    d->mat = Matrix(true);
    d->id = -201;
    if (CarDriver* cd = AsCarDriver(d)) {
        cd->iCDFlags |= kCDFCrimeDriver;
        cd->gameeventobj = crime;
    }
    return d;
}

// The car with rows from m, its position `back` behind m's position.
void StandBehind(Vehicle& car, const Matrix& m, float back)
{
    car.mat.x = m.x;
    car.mat.y = m.y;
    car.mat.z = m.z;
    car.mat.SetTrans(VectorPos(m.GetTrans() - VectorDir(m.z.v) * back));
}

// Appends the escaped, killed and custody lines' text for a count: one
// line for 1, the number for more, nothing for 0.
void CountLine(char* out, size_t size, int n, const char* one, const char* many)
{
    if (n <= 0)
        return;
    const size_t used = strlen(out);
    if (used >= size)
        return;
    if (n == 1)
        snprintf(out + used, size - used, "%s", one);
    else
        snprintf(out + used, size - used, many, n);
}

void Append(char* out, size_t size, const char* text)
{
    const size_t used = strlen(out);
    if (used < size)
        snprintf(out + used, size - used, "%s", text);
}

void AppendN(char* out, size_t size, const char* fmt, int n)
{
    const size_t used = strlen(out);
    if (used < size)
        snprintf(out + used, size - used, fmt, n);
}

}  // namespace

int RandomMissionController::CallTheCops(Vehicle* chaseme)
{
    iCallTheCopsTime = world.time;
    const EnemyGenRunner_params& p = DefaultCopParams;
    for (int k = 0; k < 2; k++) {
        const int slot = OfficerSlot();
        if (slot < 0)
            return 0;
        Enemy* cop = MakeEnemy("RunnerEnemy", slot, this, s16(-196 - k), p.badass);
        if (cop != nullptr) {
            SetUpRunner(cop, p);
            cop->mat = Matrix(true);
            // The officers answer to nobody: the crime does not count them.
            cop->gameeventobj = nullptr;
        }
        lastcop[k] = cop;
    }

    Vehicle* car = nullptr;
    const int carslot = g_GlobalMFI.FindById(kPoliceCarModel, 0, MFI_NUMVEHICLESLOTS - 1);
    if (carslot >= 0 && g_pgcTest != nullptr) {
        Matrix m(true);
        car = AsVehicle(g_pgcTest->CreateVehicleAt(m, carslot, DefaultCopCarParams.id, true));
    }
    if (car != nullptr) {
        g_GlobalMFI.IncrementRef(carslot);
        car->i8Tint = s8(DefaultCopCarParams.tint);
        SetTintSet(car, DefaultCopCarParams.tint, true);
        car->mode = 0;
        int strength = DefaultCopCarParams.init_strength;
        if (strength == 0)
            strength = 1;
        if (strength > 100)
            strength = 100;
        car->strength = car->fBaseStrength = float(strength);
    }
    lastcopcar = car;
    if (lastcop[0] != nullptr && lastcop[1] != nullptr && car != nullptr) {
        PutGuyInCar(car, lastcop[0], RC_SEAT_DRIVER);
        PutGuyInCar(car, lastcop[1], RC_SEAT_PASSENGER);
    }
    const VectorPos q = CreateGeneratedRSBehindPosition(kPoliceFrom).GetTrans();
    Object* driver = nullptr;
    if (car != nullptr) {
        PlaceCarOnRoadNear(*car, q);
        driver = CrimeDriverFor(*car, this);
    }

    if (car == nullptr)
        return 1;
    if (chaseme != nullptr) {
        // Without its driver the car can chase nobody: no orders, no siren.
        if (driver == nullptr)
            return 1;
        StandBehind(*car, chaseme->GetWorldMatrix(), kBehindTarget);
        car->mode = 0;
        Send(driver, msg::SMSG_CD_HOLD, nullptr, 0);
        DriveOrder(driver, 10, chaseme, PointAround(car->GetWorldPos(), kDriveSpreadWide));
    } else if (driver != nullptr && driver->id != -1) {
        StandBehind(*car, rc.view_world, kBehindCamera);
        AlignVehicleToStreet2(car);
        car->mode = 0;
        Send(driver, msg::SMSG_CD_HOLD, nullptr, 0);
        Object* player = PlayerObject();
        DriveOrder(driver, 10, dace, player != nullptr ? player->GetWorldPos() : car->GetWorldPos());
        if (CarDriver* cd = AsCarDriver(driver))
            cd->WakeupWithCar();
    }
    Send(car, msg::SMSG_CD_SUSPEND);
    return 1;
}

void RandomMissionController::LoseTheCops()
{
    Vehicle* car = AsVehicle(lastcopcar);
    if (lastcop[0] == nullptr || lastcop[1] == nullptr || car == nullptr)
        return;
    if (!car->IsDead())
        ShutDownCar(car, 0);
    lastcopcar = nullptr;
    lastcop[0] = lastcop[1] = nullptr;
    const int slot = OfficerSlot();
    if (slot >= 0)
        g_GlobalMFI.SetDeleteOnZeroFlag(slot);
}

void RandomMissionController::ShutDownCar(Vehicle* car, int open)
{
    Object* d = OrderableDriver(car);
    if (d == nullptr)
        return;
    Send(d, msg::SMSG_CD_HOLD, nullptr, open);
    car->mode = 0;
    DriveOrder(d, 7, nullptr, PointAround(car->GetWorldPos(), kDriveSpread));
    Send(d, msg::SMSG_CD_DEACTIVATE, nullptr, 0);
    if (CarDriver* cd = AsCarDriver(d))
        cd->WakeupWithCar();
}

void RandomMissionController::UnlockMissionCars()
{
    if (!enemyengaged)
        return;
    if (pobjectlist != nullptr) {
        for (ObjectLink* l = pobjectlist->Head(); !l->IsEOList(); l = l->Next()) {
            Vehicle* v = AsVehicle(l->data);
            if (v != nullptr && !v->IsDead())
                ShutDownCar(v, 1);
        }
    }
    for (RCptr<Object>& c : emCar) {
        Vehicle* v = AsVehicle(c);
        if (v != nullptr && !v->IsDead())
            ShutDownCar(v, 1);
    }
}

void RandomMissionController::ShowMissionStats()
{
    char text[256];
    text[0] = 0;
    const size_t size = sizeof text;
    const int n = iNumMissionEnemies, e = iNumEnemiesEscaped, b = iNumEnemiesBusted, k = iNumEnemiesKilled;
    if (e == 0) {
        Append(text, size, "CRIME FULLY RESOLVED!\n");
        if (n == 1) {
            if (b == 1)
                Append(text, size, "Suspect in custody...\n");
            else if (k == 1)
                Append(text, size, "Suspect killed...\n");
        } else if (n == 2) {
            if (b == 2)
                Append(text, size, "Both suspects in custody...\n");
            else if (k == 2)
                Append(text, size, "Both suspects killed...\n");
            else if (b == 1 && k == 1)
                Append(text, size, "One suspect killed...\nOne suspect in custody...\n");
        } else if (n >= 3) {
            if (b == n) {
                AppendN(text, size, "All %d suspects in custody...\n", b);
            } else if (k == n) {
                AppendN(text, size, "All %d suspects killed...\n", k);
            } else {
                CountLine(text, size, b, "One suspect in custody...\n", "%d suspects in custody...\n");
                CountLine(text, size, k, "One suspect killed...\n", "%d suspects killed...\n");
            }
        }
    } else if (e == n) {
        Append(text, size, "CRIME UNRESOLVED.\n");
        if (n == 1)
            Append(text, size, "Suspect escaped...\n");
        else if (n == 2)
            Append(text, size, "Both suspects escaped...\n");
        else
            AppendN(text, size, "All %d suspects escaped...\n", e);
    } else {
        Append(text, size, "CRIME PARTIALLY RESOLVED.\n");
        CountLine(text, size, k, "One suspect killed...\n", "%d suspects killed...\n");
        CountLine(text, size, b, "One suspect in custody...\n", "%d suspects in custody...\n");
        CountLine(text, size, e, "One suspect escaped...\n", "%d suspects escaped...\n");
    }
    CountLine(text, size, iNumHostagesFreed, "Hostage freed...\n", "%d hostages freed...\n");
    CountLine(text, size, iNumHostagesKilled, "Hostage killed...\n", "%d hostages killed...\n");
    CountLine(text, size, iNumCopsKilled, "Cop killed...\n", "%d cops killed...\n");
    AddScreenText(text, STP_CENTER);
}

void RandomMissionController::DestroyEnemies()
{
    DestroyEnemiesEmergent();
    DestroyEnemiesGenerated();
}

void RandomMissionController::DestroyEnemiesEmergent()
{
    for (int k = 0; k < 16; k++) {
        RemoveEnemy(AsEnemy(emEnemy[k]));
        emEnemy[k] = nullptr;
        RemoveBystander(AsBystander(emBystander[k]));
        emBystander[k] = nullptr;
    }
}

void RandomMissionController::DestroyEnemiesGenerated()
{
    for (int k = 0; k < i16numegi; k++) {
        EnemyGenRunner* g = regi[k].pegr;
        if (g == nullptr)
            continue;
        RemoveEnemy(g->enemy);
        g->enemy = nullptr;
    }
    for (int k = 0; k < i16numegi; k++) {
        if (regi[k].pegr != nullptr)
            regi[k].pegr->Delete();
        regi[k] = EnemyGenInfo{};
    }
    i16numegi = 0;
    pegiEngaged = nullptr;
}

void RandomMissionController::RemoveEnemy(Enemy* e)
{
    if (e == nullptr || (e->flags & OBJF_DEAD))
        return;
    ReleasePlayerTarget(e);
    RemoveEnemyTarget(e);
    RemoveFromSubMissionTargets(e);
    if (e->parent != nullptr)
        e->Detach();
    e->Delete();
}

void RandomMissionController::RemoveBystander(Bystander* b)
{
    if (b != nullptr)
        b->engagedincrime = false;
}
