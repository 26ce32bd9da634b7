// Cars drawn through the whole stand-in: a player's car driven into a parked
// car in the running world (sparks, an impact, dents, doors and panels let
// go), and two cars at night with their front, brake and reversing lamps and
// light cones; compared with golden pictures.
#include "ZevEngine2/PS2/modeldraw_support.h"

#include <set>

#include "game/explode_support.h"

#include "tools/lib/mdlgroup.h"
#include "tools/lib/miscfiles.h"

#include "ZevEngine2/PS2/Sound.h"
#include "game/GameFlow.h"
#include "game/Headlights.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"
#include "game/Vehicle.h"
#include "game/explosn.h"

namespace {

using namespace modeldraw;

// A driver: id -1 is the player.
struct Seat : public Object
{
    explicit Seat(int who) : Object(nullptr) { id = s16(who); }
};

// The sample car's design with its shared textures made its own, so that
// it draws without the vehicle group.
tools::P2BFile SelfContained(int type)
{
    tools::P2BFile f = tools::SampleVehicleFile(type);
    const Colour colours[tools::kVehicleSharedTextures] = {
        Colour(40, 70, 160, 255), Colour(120, 160, 200, 255), Colour(25, 25, 25, 255), Colour(250, 240, 200, 255),
        Colour(230, 230, 235, 255)};
    for (int i = 0; i < int(f.textures.size()) && i < tools::kVehicleSharedTextures; i++)
        f.textures[size_t(i)] = Solid(colours[i]);
    return f;
}

class CarPicture : public SceneTest
{
protected:
    std::vector<Vehicle*> cars;
    LoadedFile body{SelfContained(0)};
    unsigned short savedBank = 0;

    void SetUp() override
    {
        SceneTest::SetUp();
        world.Clear();
        world.time = 1000;
        world.timePrecise = 1000 * 256;
        world.playbackSpeed = 1.0f;
        savedBank = sndbank_car;
        sndbank_car = 77;
        g_pgcTest = nullptr;
        // The cars are drawn through the game's context: a new context's
        // lights (none, a white ambient), whatever a program started
        // earlier in this process left in it.
        ::rc = RenderContext();
        srand(31);
        gsframe::SetFrameView(::rc, kW, kH);
    }
    void TearDown() override
    {
        for (Vehicle* v : cars)
            v->rcoDriver = nullptr;
        world.Clear();   // the cars are the world's
        cars.clear();
        world.RequestDestroyPostRaw();
        world.time_of_day = KVWorld::DAY_FRAMES / 2;
        nHeadlightNow = 0;
        sndbank_car = savedBank;
        SceneTest::TearDown();
    }
    Vehicle* Car(VectorPos at, float yaw)
    {
        Vehicle* v = CreateVehicle(&body.mf, -1, -1, at, 0);
        EXPECT_NE(v, nullptr);
        v->mat = RotY(yaw) * v->mat;
        v->mat.w = Vector(at[0], v->mat.w[1], at[2], 1.0f);
        world.AddObject(v, nullptr);
        cars.push_back(v);
        return v;
    }
    static void Tick()
    {
        world.Update();
        world.Collision();
    }
    // The camera at eye looking at `at` (y down).
    static void Camera(VectorPos eye, VectorPos at)
    {
        const VectorDir z = Normalise(VectorDir(at - eye));
        const VectorDir x = Normalise(VectorDir(0.0f, 1.0f, 0.0f) ^ z);
        const VectorDir y = z ^ x;
        Matrix m(true);
        m.x = Vector(x, 0.0f);
        m.y = Vector(y, 0.0f);
        m.z = Vector(z, 0.0f);
        m.SetTrans(eye);
        ::rc.SetCameraMatrix(m);
    }
    // One frame of the world's top-level objects, then the lamps.
    void Picture(bool lamps)
    {
        gsframe::BeginDepthFrame(scene.draw, scene.zbuf, kW, kH, Colour(20, 20, 20, 128));
        ::rc.Begin();
        InitTransparencies(::rc);
        ::rc.SetGlobalTransparency(1.0f);
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
            Object* o = l->data;
            if (o->parent == nullptr && !o->IsDead() && (o->type == OBJT_VEHICLE || o->type == OBJT_DEBRIS))
                ::Draw(::rc, o, o->GetWorldMatrix());
        }
        if (lamps) {
            for (Vehicle* v : cars)
                if (v->enginesndchan[0] >= 0)
                    v->DrawLightCone(&::rc);
            DrawTransparencies(::rc);
            DrawHeadlights();
        }
        gsframe::SendFrame();
    }
};

}  // namespace

// The player's car at six speed steps into the back of a parked car three
// units ahead, in the running world: the contact throws sparks, sounds an
// impact, dents both, and the parked car's rear lets go of its panels.
TEST_F(CarPicture, ACarDrivenIntoAParkedCarDentsItAndItsRearPanelsComeOff)
{
    Vehicle* parked = Car(VectorPos(0.0f, 0.0f, 5.0f), 0.0f);
    Vehicle* player = Car(VectorPos(0.0f, 0.0f, 2.2f - 2.0f * tools::SampleVehicleHalfLength(0)), 0.0f);
    Seat dace(-1);
    player->rcoDriver = &dace;
    player->SetInitialSpeed(6.0f * 0.0232833f);
    player->fAccel = 0.3f;
    player->fBrake = 0.0f;
    std::set<Object*> sparks;
    int impacts = 0, hitFrame = -1;
    for (int t = 0; t < 120; t++) {
        Tick();
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (l->data->messagehandler == Sparkler::Sparkler_mh && l->data->parent == nullptr)
                sparks.insert(l->data);
        if (hitFrame < 0 && parked->strength < 100.0f)
            hitFrame = t;
        for (int i = 0; i < SOUND_VCHANNELS; i++) {
            vchannel* c = sound.GetChannel(i);
            if ((c->flags & VCHAN_START) && c->curbank == 77 && c->bankindex >= 4 && c->bankindex <= 9) {
                impacts++;
                c->flags &= ~VCHAN_START;
            }
        }
    }
    ASSERT_GE(hitFrame, 0);
    EXPECT_GE(sparks.size(), 1u);
    EXPECT_GE(impacts, 1);
    EXPECT_LT(player->strength, 100.0f);
    EXPECT_LT(parked->strength, 100.0f);
    EXPECT_GT(parked->mat.w[2], 5.0f);   // shoved forward
    EXPECT_LT(parked->rgpartstrength[3], parked->rgpartstrength[0]);
    EXPECT_LT(player->rgpartstrength[0], player->rgpartstrength[3]);
    // Close on where they met.
    const VectorPos meet(0.0f, -0.25f, parked->mat.w[2] - tools::SampleVehicleHalfLength(0));
    Camera(meet + VectorDir(-1.3f, -0.8f, -0.9f), meet);
    Picture(false);
    EXPECT_GT(scene.Covered(), 2000);
    scene.ExpectGolden("car_crash_dented");
}

// At 20:00: a car facing the camera with its engine running and a computer
// driver shows both front lamps with their glows, flare and the computer's
// cones; a car driving away shows its red brake lamps just after braking.
TEST_F(CarPicture, TwoCarsAtNightWithTheirLamps)
{
    const std::vector<std::pair<std::string, tools::P2BFile>> misc = tools::ResidentMiscFiles();
    const tools::P2BFile* cones = nullptr;
    for (const auto& m : misc)
        if (m.first.find("LITECONE") != std::string::npos)
            cones = &m.second;
    ASSERT_NE(cones, nullptr);
    explodetest::SlotFile coneSlot(162, *cones);
    world.time_of_day = 20 * KVWorld::HOUR_FRAMES;
    Seat ai(5), dace(-1);
    Vehicle* toward = Car(VectorPos(-0.9f, 0.0f, 5.0f), 3.1415927f);
    Vehicle* away = Car(VectorPos(1.0f, 0.0f, 4.0f), 0.3f);
    toward->rcoDriver = &ai;
    away->rcoDriver = &dace;
    toward->enginesndchan[0] = away->enginesndchan[0] = 1;   // engines running
    for (int t = 0; t < 20; t++)   // settled on their wheels, faded in
        Tick();
    away->iLastBrakeLightTime = world.time - 3;
    Camera(VectorPos(0.0f, -0.9f, 1.2f), VectorPos(0.0f, -0.2f, 4.8f));
    Picture(true);
    EXPECT_EQ(nHeadlightNow, 0);   // the queue is drawn and emptied
    toward->enginesndchan[0] = away->enginesndchan[0] = -1;
    scene.ExpectGolden("cars_at_night");
}
