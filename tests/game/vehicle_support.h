// Test support for the vehicles: a member of the sample vehicle group loaded
// as the game loads it (its textures shared), a driver that records what it
// is told, and the world's clock and sound bank set for the car.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"
#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/PS2/Sound.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/SkidMarks.h"
#include "game/Vehicle.h"
#include "tests/ZevEngine2/PS2/fresh_sound.h"

namespace vehtest {

// The sample group's design for `type`, loaded.
struct CarFile
{
    MDLFILE mf{};
    void* block = nullptr;
    Texture shared[tools::kVehicleSharedTextures]{};

    explicit CarFile(int type) : CarFile(tools::SampleVehicleFile(type)) {}
    explicit CarFile(const tools::P2BFile& f)
    {
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        block = malloc_align(u32(bytes.size()), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        mf.SetBuffer(block);
        EXPECT_TRUE(mf.Init(u32(bytes.size()), shared, tools::kVehicleSharedTextures));
    }
    ~CarFile() { free(block); }
    CarFile(const CarFile&) = delete;
    CarFile& operator=(const CarFile&) = delete;
};

// A driver: hears special messages; id -1 is the player.
struct Driver : public Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        auto* d = static_cast<Driver*>(o);
        // One made with new goes whole when it is deleted with its car, its
        // list with it; others are locals of the tests.
        if (msg == OM_DIE && d->owned) {
            delete d;
            return -1;
        }
        if (msg != OM_SPECIAL)
            return 0;
        d->heard.push_back(static_cast<SpecialMessage*>(data)->submsg);
        return d->reply;
    }
    explicit Driver(int who = 5) : Object(mh) { id = s16(who); }
    static Driver* Make(int who)
    {
        Driver* d = new Driver(who);
        d->owned = true;
        return d;
    }
    bool owned = false;
    std::vector<int> heard;
    int reply = 0;   // the answer to every special message
};

// Vehicle tests start at frame 1000 at normal speed, with the car bank as
// bank 77 and no game controller.
class VehicleWorld : public ::testing::Test
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
        // Every channel free at the start, whatever ran before.
        soundtest::FreshSoundSystem();
        freeChannels = sound.NumFreeChannels();
    }
    void TearDown() override
    {
        for (Vehicle* v : cars)
            v->Delete();
        cars.clear();
        world.RequestDestroyPostRaw();
        world.Clear();
        soundtest::FreshSoundSystem();
        sndbank_car = savedBank;
        g_pgcTest = savedGC;
        world.playbackSpeed = 1.0f;
    }
    // A car of `type` from design `type`'s file (kept by the fixture).
    Vehicle* Make(CarFile& f, int type, VectorPos at = VectorPos(0.0f, 0.0f, 0.0f))
    {
        Vehicle* v = CreateVehicle(&f.mf, -1, -1, at, type);
        EXPECT_NE(v, nullptr);
        if (v != nullptr)
            cars.push_back(v);
        return v;
    }
    // One tick of the world's clock.
    static void Tick()
    {
        world.time++;
        world.timePrecise = world.time * 256;
    }

    std::vector<Vehicle*> cars;
    unsigned short savedBank = 0;
    GameController* savedGC = nullptr;
    int freeChannels = 0;
};

}  // namespace vehtest
