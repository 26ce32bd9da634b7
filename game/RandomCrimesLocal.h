// What the random-crime controller's files share.  Internal to them.
#pragma once

#include <cstdint>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "game/BadGuy.h"
#include "game/Bystander.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/RandomCrimes.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace rcrime {

// The crime roles by object id.
inline bool IsSuspectId(int id) { return id >= -150 && id <= -101; }
inline bool IsAlliedCopId(int id) { return id >= -175 && id <= -151; }

// A character is out of play while held, dying or dead (the wider mask adds
// the dying bit to the two the per-frame count looks at).
constexpr u32 kOutOfPlay = 0x50000000;
constexpr u32 kOutOfPlayWide = 0x70000000;

// The half-width of the random point a driver is sent to when it is only to
// drive away somewhere (about 251 units either way), and the wider one.
constexpr float kDriveSpread = 251.46f;
constexpr float kDriveSpreadWide = 502.92f;

// The driver flag a crime sets on the drivers it makes and clears when their
// chase begins: the driver's asleep-or-inactive bit, which the driver's own
// frame keeps up to date once it drives.
constexpr int kCDFCrimeDriver = CDF_ASLEEPORINACTIVE;

// A world timer of the crime after `frames` frames, with its id as data.
inline void SetCrimeTimer(Object* o, int frames, int id)
{
    world.SetTimer(o, AnimTime(u32(frames) << 8), reinterpret_cast<void*>(intptr_t(id)));
}

// OM_SPECIAL {code, obj, p0, p1} to `to` (nothing when null); its reply.
inline int Send(Object* to, int code, Object* obj = nullptr, Variant p0 = 0, Variant p1 = 0)
{
    if (to == nullptr)
        return 0;
    SpecialMessage m(code, obj, p0, p1);
    return to->SendMessage(OM_SPECIAL, &m);
}

// p moved on the ground plane by x then z, each drawn in -h..h.
inline VectorPos PointAround(VectorPos p, float h)
{
    const float x = randf() * (h + h) - h;
    const float z = randf() * (h + h) - h;
    return VectorPos(p[0] + x, p[1], p[2] + z);
}

// The car's driver when it may be given orders: present, alive and not the
// player.
inline Object* OrderableDriver(const Vehicle* v)
{
    if (v == nullptr || !v->HasDriver() || v->rcoDriver->id == -1)
        return nullptr;
    return v->rcoDriver;
}

// A bystander, else null.
inline Bystander* AsBystander(Object* o)
{
    return o != nullptr && o->messagehandler == Bystander::Bystander_mh ? static_cast<Bystander*>(o) : nullptr;
}

// A car driver (the traffic's driver object), else null.
inline CarDriver* AsCarDriver(Object* o)
{
    return o != nullptr && o->messagehandler == CarDriver::CarDriver_mh ? static_cast<CarDriver*>(o) : nullptr;
}

// A drive order: mode and a target point (read when the order arrives).
inline void DriveOrder(Object* driver, int mode, Object* target, VectorPos at)
{
    Send(driver, rcmsg::SMSG_CD_SET_DRIVE, target, mode, &at);
}

// The car set down on the near carriageway of the road beside p, facing
// along it, its wheels on the ground; only where p is within 93.75 of the
// player, the city there is loaded and a road is found (false otherwise).
bool PlaceCarOnRoadNear(Vehicle& v, VectorPos p);
// Every suspect reacts within the next 60 frames.
void DrawReactionTimes(RandomMissionController& c);
// Takes o out of the game controller's sub-mission targets (its first
// occurrence).
void RemoveFromSubMissionTargets(Object* o);
// Puts o into the first free sub-mission target entry; false when all 16 are
// taken.
bool AddToSubMissionTargets(Object* o);
// The player's target is dropped when it is o.
void ReleasePlayerTarget(Object* o);

}  // namespace rcrime
