// The jet on the airfield and the aircraft that follow it: put on its path,
// taxiing into its triggers, lifting off out of harm's way, shot down on
// the ground, and what each reports to the running mode.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/game/enemy_support.h"

#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Airplane.h"
#include "game/Camera.h"
#include "game/GameEvents.h"

namespace {

constexpr float kUnit = 0.002328333f;

class Aircraft : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gc = g_pgcTest;
        ASSERT_NE(gc, nullptr);
        saved = gc->pMission;
        gc->pMission = &mode;
        world.playbackSpeed = 1.0f;
    }
    void TearDown() override
    {
        world.Clear();
        gc->pMission = saved;
    }

    // A straight path of `segments` Beziers from the origin along z, rising
    // `rise` for every unit forward (y points down).
    Spline* Path(int segments, float rise)
    {
        std::vector<Vector> pts(size_t(3 * segments + 1));
        for (size_t i = 0; i < pts.size(); i++)
            pts[i] = Vector(0.0f, -rise * float(i), float(i), 1.0f);
        reinterpret_cast<Spline*>(pts.data())->SetCount(int(pts.size()));
        Matrix id(true);
        return gc->CreateSplineCopy(id, reinterpret_cast<Spline*>(pts.data()));
    }
    // The extent of the box centred at z = c (half its size h on every axis).
    static Extent Box(float c, float h)
    {
        Matrix m(true);
        m.x = Vector(1.0f / h, 0.0f, 0.0f, 0.0f);
        m.y = Vector(0.0f, 1.0f / h, 0.0f, 0.0f);
        m.z = Vector(0.0f, 0.0f, 1.0f / h, 0.0f);
        m.w = Vector(0.0f, 0.0f, -c / h, 1.0f);
        return Extent(m);
    }
    Airplane* Make(int planetype, int id, VectorPos at, Spline* path, int strength = 100)
    {
        auto* a = reinterpret_cast<Airplane*>(Airplane::staticmh(nullptr, OM_CREATE, nullptr));
        a->app.planetype = u8(planetype);
        a->app.id = s16(id);
        a->app.init_strength = strength;
        a->app.taxispeed = 50.0f;
        a->app.takeoffspeed = 150.0f;
        a->app.accel = 200.0f;
        a->id = s16(id);
        a->pSpline = path;
        a->mat = Matrix(true);
        a->mat.SetTrans(at);
        world.AddObject(a, nullptr);
        return a;
    }
    int Hit(Airplane* a)
    {
        SpecialMessage m(SMSG_BULLET_HIT, nullptr);
        return a->SendMessage(OM_SPECIAL, &m);
    }
    // Ticks until the mode hears code; the ticks taken, or -1.
    int TicksUntil(int code, int most)
    {
        for (int i = 1; i <= most; i++) {
            world.Update();
            if (mode.Count(code) > 0)
                return i;
        }
        return -1;
    }

    enemyrig::Scene scene;
    enemyrig::EventLog mode;
    GameController* gc = nullptr;
    Object* saved = nullptr;
};

TEST_F(Aircraft, PlacedMidPathItStartsAtTheNearestPointAndStandsStillWhenTimeDoes)
{
    Airplane* jet = Make(0, -107, VectorPos(0.3f, 0.0f, 4.0f), Path(3, 0.0f));
    EXPECT_EQ(jet->mode, Airplane::AM_TAXIING);
    EXPECT_EQ(jet->flags & 0x10020u, 0x10020u);
    EXPECT_EQ(jet->fLastT, -1.0f);
    world.playbackSpeed = 0.0f;
    jet->SendMessage(OM_FRAME, nullptr);
    // The nearest point is z = 4: a third into the second segment (each
    // segment three units long, its tangent 3 a unit of parameter).
    EXPECT_NEAR(jet->fLastT, 4.0f / 3.0f, 1e-4f);
    EXPECT_NEAR(jet->fLastTVel, 50.0f * kUnit / 3.0f, 1e-6f);
    EXPECT_NEAR(jet->mat.GetTrans()[2], 4.0f, 1e-4f);
    EXPECT_NEAR(jet->mat.GetTrans()[0], 0.0f, 1e-5f);
    // It faces along the path.
    EXPECT_NEAR(jet->mat.z[2], 1.0f, 1e-5f);
    world.playbackSpeed = 1.0f;
    jet->SendMessage(OM_FRAME, nullptr);
    EXPECT_NEAR(jet->mat.GetTrans()[2], 4.0f + 50.0f * kUnit, 1e-4f);
    // The engine's pitch: 0.5 plus the speed over the take-off speed (the
    // taxi speed is a third of it).
    ASSERT_TRUE(sound.ChannelValid(jet->iSound));
    EXPECT_NEAR(sound.GetChannel(jet->iSound)->pitch, (1.0f / 3.0f + 0.5f) * 256.0f, 1.0f);
}

TEST_F(Aircraft, TaxiingIntoItsTriggersWakesTheFollowersOnceAndLiftsOff)
{
    // Rising an eighth a unit; the roll trigger covers z 1..2, the second
    // z 2.5..3.5.
    Airplane* jet = Make(0, -107, VectorPos(0.0f, 0.0f, 0.0f), Path(60, 0.125f));
    jet->app.trigger2 = Box(1.5f, 0.5f);
    jet->app.trigger3 = Box(3.0f, 0.5f);
    Airplane* second = Make(1, -169, VectorPos(3.0f, 0.0f, 0.0f), Path(60, 0.0f));
    Airplane* third = Make(2, -168, VectorPos(-3.0f, 0.0f, 0.0f), Path(60, 0.0f));
    // The airfield's fixed camera, not looking at the jet yet.
    auto* fixed = static_cast<Camera*>(calloc(1, sizeof(Camera)));
    fixed->type = OBJT_CAMERA;
    fixed->mode = s8(CAMMODE_FIXED);
    fixed->mat = Matrix(true);
    fixed->mat.SetTrans(VectorPos(10.0f, -2.0f, 5.0f));
    world.objectlist.AddTail(fixed);
    ASSERT_EQ(gc->FindFixedCamera(), fixed);
    world.Update();
    EXPECT_EQ(second->mode, Airplane::AM_FOLLOWER_WAITING);
    EXPECT_EQ(third->mode, Airplane::AM_FOLLOWER_WAITING);
    int ticks = 0;
    while (jet->mode == Airplane::AM_TAXIING && ticks++ < 100) {
        EXPECT_EQ(second->mode, Airplane::AM_FOLLOWER_WAITING);
        world.Update();
    }
    ASSERT_EQ(jet->mode, Airplane::AM_ROLLING);
    EXPECT_TRUE(jet->app.trigger2.Within(jet->mat.GetTrans()));
    EXPECT_EQ(second->mode, Airplane::AM_ROLLING);   // in the same frame
    EXPECT_EQ(third->mode, Airplane::AM_FOLLOWER_WAITING);
    EXPECT_FLOAT_EQ(jet->fGroundLevel, jet->mat.GetTrans()[1] - 0.3125f);
    const float groundLevel = jet->fGroundLevel;
    // Woken once: put back to waiting it stays so.
    second->mode = Airplane::AM_FOLLOWER_WAITING;
    world.Update();
    EXPECT_EQ(second->mode, Airplane::AM_FOLLOWER_WAITING);
    // A hit on the ground still hurts.
    EXPECT_EQ(Hit(jet), -1);
    EXPECT_EQ(jet->fStrength, 95.0f);
    // Climbing out: airborne the first frame it is 0.3125 above where the
    // roll began.
    float lastY = jet->mat.GetTrans()[1];
    for (ticks = 0; jet->mode == Airplane::AM_ROLLING && ticks < 200; ticks++) {
        lastY = jet->mat.GetTrans()[1];
        world.Update();
    }
    ASSERT_EQ(jet->mode, Airplane::AM_AIRBORNE);
    EXPECT_GE(lastY, groundLevel);
    EXPECT_LT(jet->mat.GetTrans()[1], groundLevel);
    EXPECT_EQ(third->mode, Airplane::AM_ROLLING);   // it passed the second trigger
    EXPECT_EQ(jet->flags & 0x20u, 0u);
    EXPECT_EQ(jet->fStrength, 1000.0f);
    EXPECT_EQ(fixed->target, static_cast<Object*>(jet));
    EXPECT_EQ(GetCurrentCam(), fixed);
    SetCurrentCam(&g_DefaultCamera);
    // Out of every list before its storage goes: a stopped frame call keeps
    // its link until the next frame's sweep, which would read it.
    // The lift-off restarts the camera's frame call, which can leave it two
    // links: every one goes.
    world.StopFrameCall(fixed);
    while (world.framecalllist.Remove(fixed)) {
    }
    world.objectlist.Remove(fixed);
    free(fixed);
    EXPECT_EQ(Hit(jet), 0);
    EXPECT_EQ(jet->fStrength, 1000.0f);
    // The game is lost 180 frames later.
    EXPECT_EQ(TicksUntil(SMSG_EV_TARGET_REACHED, 200), 180);
    EXPECT_EQ(mode.Count(SMSG_MODE_FINISHED), 0);
    // At its take-off speed, and no faster, the engine's pitch is 1.5.
    EXPECT_FLOAT_EQ(jet->fLastVel, 150.0f * kUnit);
    ASSERT_TRUE(sound.ChannelValid(jet->iSound));
    EXPECT_NEAR(sound.GetChannel(jet->iSound)->pitch, 1.5f * 256.0f, 1.0f);
}

TEST_F(Aircraft, ShotDownItBrakesExplodesAndReportsTheWin)
{
    for (int strength : {10, 7}) {
        mode.codes.clear();
        Airplane* jet = Make(0, -107, VectorPos(0.0f, 0.0f, 0.0f), Path(60, 0.0f), strength);
        world.Update();
        EXPECT_EQ(Hit(jet), -1);
        EXPECT_EQ(jet->mode, Airplane::AM_TAXIING);
        EXPECT_EQ(Hit(jet), -1);
        EXPECT_EQ(jet->mode, Airplane::AM_SHOT_DOWN) << strength;
        EXPECT_EQ(jet->fStrength, 0.0f);
        EXPECT_EQ(Hit(jet), 0);
        const float v = jet->fLastVel;
        world.Update();
        EXPECT_NEAR(jet->fLastVel, v - 200.0f * 0.00015522221f, 1e-7f);
        // 15 frames from the hit to the explosion (one gone already), 180
        // more to the report.
        EXPECT_EQ(TicksUntil(SMSG_MODE_FINISHED, 300), 14 + 180);
        EXPECT_EQ(mode.Count(SMSG_EV_TARGET_REACHED), 0);
        world.Clear();
    }
}

TEST_F(Aircraft, FollowersReportOnlyTheirShootDownAndPathlessAircraftStandStill)
{
    // A follower woken from outside runs to its path's end and goes quietly.
    Airplane* f = Make(1, -169, VectorPos(0.0f, 0.0f, 0.0f), Path(1, 0.0f));
    world.Update();
    f->mode = Airplane::AM_ROLLING;
    for (int i = 0; i < 400 && world.Find(-169) != nullptr; i++)
        world.Update();
    EXPECT_EQ(world.Find(-169), nullptr);
    EXPECT_TRUE(mode.codes.empty());
    // Shot down, it reports like the jet.
    Airplane* g = Make(1, -168, VectorPos(0.0f, 0.0f, 0.0f), Path(60, 0.0f), 5);
    world.Update();
    EXPECT_EQ(Hit(g), -1);
    EXPECT_EQ(g->mode, Airplane::AM_SHOT_DOWN);
    EXPECT_EQ(TicksUntil(SMSG_MODE_FINISHED, 300), 15 + 180);

    // Without a path: no movement, no trigger, no report.
    mode.codes.clear();
    Airplane* lost = Make(0, -107, VectorPos(0.0f, 0.0f, 1.5f), nullptr);
    lost->app.trigger2 = Box(1.5f, 0.5f);
    for (int i = 0; i < 10; i++)
        world.Update();
    EXPECT_EQ(lost->mode, Airplane::AM_TAXIING);
    EXPECT_EQ(lost->mat.GetTrans()[2], 1.5f);
    EXPECT_TRUE(mode.codes.empty());
}

}  // namespace
