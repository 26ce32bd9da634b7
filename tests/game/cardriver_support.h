// Test support for the car drivers: a city built by the writer and loaded
// as the game loads it, sample cars with real drivers put on its roads, a
// stand-in player and a camera the test places, and the world's clock.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "game/city_support.h"
#include "game/vehicle_support.h"

#include "ZevEngine2/EntTypes.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/cardrivr.h"
#include "tests/ZevEngine2/PS2/fresh_sound.h"

namespace drivetest {

// A player stand-in: only his place in the world is read.
struct PlayerStandIn : public Object
{
    PlayerStandIn() : Object(nullptr) { mat = Matrix(true); }
    Dace* AsDace() { return static_cast<Dace*>(static_cast<Object*>(this)); }
};

// A road kind copied from the sample street with other flags, lanes and
// speed (as the game reads it).
inline int AddRoadKind(tools::CityDescription& c, u8 flags, std::vector<float> lanes, int right, float speed)
{
    tools::CityRoadType rt = c.roadtypes[tools::kRoadStreet];
    rt.flags = flags;
    rt.lanes = std::move(lanes);
    rt.num_rightlanes = u8(right);
    rt.speed = speed * 70.0f;
    c.roadtypes.push_back(rt);
    return int(c.roadtypes.size()) - 1;
}

inline int AddJunction(tools::CityDescription& c, float x, float z, float radius, u8 flags, u16 offset = 0)
{
    tools::CityJunction j;
    j.pos = VectorPos(x, -1.0f, z);
    j.radius = radius;
    j.flags = flags;
    j.timeOffset = offset;
    c.junctions.push_back(j);
    return int(c.junctions.size()) - 1;
}

// A junction at (128, 128) with `flags` and its arms to dead ends `arm`
// away: Mill Street (id 1) west to east of kind `we`, Elm Street (id 4)
// south to north of kind `sn` (without its north arm for a T).
inline void AddCrossing(tools::CityDescription& c, u8 flags, int we, int sn, float arm = 60.0f, float radius = 12.0f,
                        bool tee = false)
{
    const int j = AddJunction(c, 128, 128, radius, flags);
    c.AddSegment(AddJunction(c, 128 - arm, 128, 0, 1), j, 1, we);
    c.AddSegment(j, AddJunction(c, 128 + arm, 128, 0, 1), 1, we);
    c.AddSegment(AddJunction(c, 128, 128 - arm, 0, 1), j, 4, sn);
    if (!tee)
        c.AddSegment(j, AddJunction(c, 128, 128 + arm, 0, 1), 4, sn);
    c.SortSlots();
}

class DriverWorld : public citytest::CityWorld
{
protected:
    void SetUp() override
    {
        world.time = 1000;
        world.timePrecise = 1000 * 256;
        world.playbackSpeed = 1.0f;
        savedBank = sndbank_car;
        sndbank_car = 77;
        savedGC = g_pgcTest;
        g_pgcTest = nullptr;
        savedDace = dace;
        dace = nullptr;
        savedView = rc.world_view;
        srand(12345);
    }
    void TearDown() override
    {
        for (Vehicle* v : cars)
            if (!v->IsDead())
                v->Delete();
        cars.clear();
        // Skid marks free themselves when asked; the sounds go with the
        // sound system.
        world.RequestDestroyPostRaw();
        world.Clear();
        soundtest::FreshSoundSystem();
        sndbank_car = savedBank;
        g_pgcTest = savedGC;
        dace = savedDace;
        rc.world_view = savedView;
        world.playbackSpeed = 1.0f;
        citytest::CityWorld::TearDown();
    }

    // A car of the sample sedan on the road at (x, z), facing along
    // (dx, dz), standing on its wheels, with a driver given mode (no drive
    // command when mode is 0).
    CarDriver* Car(float x, float z, float dx, float dz, int mode, Vehicle** out = nullptr)
    {
        Vehicle* v = CreateVehicle(&file.mf, -1, -1, VectorPos(x, 0.0f, z), 0);
        EXPECT_NE(v, nullptr);
        const VectorDir fz = Normalise(VectorDir(dx, 0.0f, dz));
        const VectorDir fy(0.0f, 1.0f, 0.0f);
        const VectorDir fx = fy ^ fz;
        v->mat = Matrix(Vector(fx, 0.0f), Vector(fy, 0.0f), Vector(fz, 0.0f),
                        Vector(x, -1.0f - (v->CalcBodyRestOffset() + v->wheel[0]->radius), z, 1.0f));
        v->flags |= OBJF_FRAMECALL;
        v->iLastCollTime = -1000;
        v->strength = v->fBaseStrength = 100.0f;
        world.AddObject(v, nullptr);
        cars.push_back(v);
        auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(Name::Find("CarDriver"));
        CarDriver* d = reinterpret_cast<CarDriver*>(mh(nullptr, OM_CREATE, nullptr));
        SpecialMessage put(SMSG_PUT_IN_VEHICLE, v);
        d->SendMessage(OM_SPECIAL, &put);
        d->id = s16(20 + int(cars.size()));
        if (mode != 0)
            Drive(d, mode);
        if (out != nullptr)
            *out = v;
        return d;
    }
    static void Drive(CarDriver* d, int mode, Object* target = nullptr, const VectorPos* at = nullptr)
    {
        SpecialMessage m(SMSG_CD_SET_DRIVE, target, mode, at);
        d->SendMessage(OM_SPECIAL, &m);
    }
    // The camera at p looking along +z, or following a car from just above.
    static void CameraAt(VectorPos p) { rc.world_view = TransMatrix(-p[0], -p[1], -p[2]); }
    // One world tick (frame calls and timers), the camera optionally kept on
    // a car.
    void Tick(Vehicle* follow = nullptr)
    {
        if (follow != nullptr)
            CameraAt(follow->mat.GetTrans());
        world.Update();
    }
    static Vehicle* CarOf(CarDriver* d) { return d->pveh; }
    // A car the test deleted itself.
    void Forget(Vehicle* v) { cars.erase(std::remove(cars.begin(), cars.end(), v), cars.end()); }

    vehtest::CarFile file{0};
    std::vector<Vehicle*> cars;
    unsigned short savedBank = 0;
    GameController* savedGC = nullptr;
    Dace* savedDace = nullptr;
    Matrix savedView;
};

}  // namespace drivetest
