// The player beside real cars of the sample vehicle group: the player made
// by his kind name from the rig, cars and a motorbike put in the world and
// marked drawn (so that the player's car search takes them), each with a
// driver that hears what it is told and answers as the test scripts it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "tests/game/explode_support.h"
#include "tests/game/player_support.h"
#include "tests/game/vehicle_support.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/World.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace cartest {

// The music's events as the playing song hears them.
struct MusicEars : KVJukebox::Song
{
    std::vector<int> events;
    int GetNextSample(int) override { return -1; }
    bool GetEventSample(int event, int*) override
    {
        events.push_back(event);
        return false;
    }
    int Count(int e) const { return int(std::count(events.begin(), events.end(), e)); }
};

using Sink = playerrig::MessageSink;

constexpr u32 kL1 = BUT_TRIGGER_L, kR1 = BUT_TRIGGER_R, kR2 = BUT_TRIGGER_R2, kL3 = BUT_THUMB_L;
constexpr u32 kTriangle = BUT_TRIANGLE, kDown = BUT_PAD_DOWN, kCross = BUT_CROSS;

class PlayerCar : public ::testing::Test
{
protected:
    playerrig::Rig rig;
    playerrig::PlayerKind kind;
    FadeScreen fade;
    GameController* gc = nullptr;
    ObjectList* savedList = nullptr;
    FadeScreen* savedFade = nullptr;
    Dace* d = nullptr;
    std::map<int, std::unique_ptr<vehtest::CarFile>> files;
    std::vector<Vehicle*> cars;
    u32 voTracks = 0;
    MusicEars music;
    KVJukebox::Song* savedSong = nullptr;
    std::vector<std::unique_ptr<vehtest::CarFile>> oddfiles;

    void SetUp() override
    {
        ASSERT_EQ(playerrig::PlayerFiles().error, "");
        world.Clear();
        world.playbackSpeed = 1.2f;
        world.time = 1000;
        world.timePrecise = AnimTime(1000 * 256);
        srand(33);
        gc = gametest::Controller();
        gc->iFlags = 0;
        // The controller's own list and fade are put back afterwards: it
        // deletes them itself when the run ends.
        savedList = gc->pobjectlist;
        savedFade = gc->pfs;
        gc->pobjectlist = nullptr;
        gc->pfs = &fade;
        gc->bSuperDace = false;
        gc->bInterior = false;
        gc->stats.gunAbility = 0;
        gc->stats.fPrecisionSlow = 0.3f;
        gc->stats.nPrecisionShots = 0;
        fade.mode = FADE_MODE_OFF;
        controller[0].ZeroData();
        SetCurrentCam(nullptr);
        // Voice lines are chosen and noted but not streamed.
        voTracks = DaceVO.numtracks;
        DaceVO.numtracks = 0;
        DaceVO.votype = 0;
        DaceVO.state = StreamJukebox::STOPPED;
        for (int& t : DaceVO.lastplaytime)
            t = NEVER;
        savedSong = bgm.cursong;
        bgm.cursong = &music;
        rig.Resident();
        // The reticles: one bare model for each kind.
        tools::P2BFile ret;
        ret.models = {explodetest::BareModel(0.5f)};
        ret.AddNode(-1, tools::MakeNode(0));
        ret.AddNode(-1, tools::MakeNode(0));
        std::vector<u8> bytes;
        std::string err;
        tools::WriteP2B(ret, bytes, err);
        for (int slot : {153, 154, 155, 156, 157})
            rig.Model(slot, bytes);
        Object* ph = new Object;
        ph->id = -77;
        ph->mat = TransMatrix(2.0f, 0.0f, 5.0f);
        world.placeholderlist.AddTail(ph);
        char name[] = "Dace";
        gc->CreateCharacterAt(48, -1, -77, name, false);
        d = dace;
        ASSERT_NE(d, nullptr);
        d->mat = Matrix(true);
        d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
        d->SwitchToMode(DACEMODE_ONFOOT, true);
    }
    void TearDown() override
    {
        if (dace != nullptr)
            dace->Delete();
        dace = nullptr;
        for (Vehicle* v : cars)
            if (!v->IsDead())
                v->Delete();
        cars.clear();
        world.placeholderlist.RemoveAll();
        world.Clear();
        SetCurrentCam(nullptr);
        fade.Disable();
        gc->pfs = savedFade;
        gc->pobjectlist = savedList;
        gc->stats.gunAbility = 0;
        world.playbackSpeed = 1.2f;
        DaceVO.numtracks = voTracks;
        DaceVO.votype = 0;
        bgm.cursong = savedSong;
    }

    // A vehicle of the sample group standing still at `at`, facing +z, in
    // the world and drawn this frame, driven by `driver` (a sink answering
    // 1 when none is given), or driverless without `withdriver`.
    Vehicle* Car(int type, VectorPos at, Object* driver = nullptr, bool withdriver = true)
    {
        auto& f = files[type];
        if (f == nullptr)
            f = std::make_unique<vehtest::CarFile>(type);
        return Place(&f->mf, type, at, driver, withdriver);
    }
    Vehicle* Place(MDLFILE* mf, int type, VectorPos at, Object* driver, bool withdriver)
    {
        Vehicle* v = CreateVehicle(mf, -1, -1, at, type);
        EXPECT_NE(v, nullptr);
        if (v == nullptr)
            return nullptr;
        v->mat.SetTrans(at);
        v->strength = v->fBaseStrength = 100.0f;
        world.AddObject(v, nullptr);
        v->iLastDrawnTime = world.time;
        cars.push_back(v);
        if (withdriver) {
            if (driver == nullptr) {
                auto* s = new Sink;
                s->reply = 1;
                driver = s;
            }
            v->Attach(driver);
            v->rcoDriver = driver;
        }
        return v;
    }
    // A car of type 0 whose model lacks the locator `node` (renamed out of
    // the way).
    Vehicle* CarWithout(u16 node, VectorPos at)
    {
        tools::P2BFile f = tools::SampleVehicleFile(0);
        for (NODE& n : f.nodes)
            if (n.model == node)
                n.model = 0x80F0;
        oddfiles.push_back(std::make_unique<vehtest::CarFile>(f));
        return Place(&oddfiles.back()->mf, 0, at, nullptr, true);
    }
    // The player put in the car's driving seat by the game's message.
    void Seat(Vehicle* v)
    {
        SpecialMessage m(SMSG_PUT_IN_VEHICLE, v, 116);
        d->SendMessage(OM_SPECIAL, &m);
    }
    static Sink* DriverOf(Vehicle* v) { return static_cast<Sink*>(static_cast<Object*>(v->rcoDriver)); }

    // One tick with the pad given: the buttons held and those newly down.
    void Tick(u32 held = 0, u32 hit = 0)
    {
        controller[0].pad = held | (hit << 16);
        world.time++;
        world.timePrecise = AnimTime(u32(world.time) << 8);
        for (Vehicle* v : cars)
            v->iLastDrawnTime = world.time;
        d->SendMessage(OM_FRAME, &world);
        controller[0].pad = 0;
    }
    // Ticks until done() or n ticks; the ticks taken, -1 when it never was.
    template <class F>
    int TicksUntil(int n, F done, u32 held = 0)
    {
        for (int i = 0; i < n; i++) {
            if (done())
                return i;
            Tick(held);
        }
        return done() ? n : -1;
    }
    // The player on the left door's side of car v, a unit out, facing it.
    void BesideLeftDoor(Vehicle* v)
    {
        const VectorPos c = v->GetWorldPos();
        d->mat = Matrix(true);
        d->SetPos(VectorPos(c[0] - 1.0f, 0.0f, c[2]));
    }
};

}  // namespace cartest
