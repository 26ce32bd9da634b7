// The camera record and its shake, the car with its driver: what the game
// flow and the later character and traffic code build on.
#include <gtest/gtest.h>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Object.h"
#include "game/Camera.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

// One shake's offsets, frame by frame, until it has ended.
std::vector<float> ShakeRun(bool vertical, bool major)
{
    Camera c(nullptr, VectorPos(0.0f, 0.0f, 0.0f));
    c.Shake(vertical, major);
    std::vector<float> out;
    for (int i = 0; i < 20; i++) {
        c.UpdateShake();
        out.push_back(vertical ? c.fVertShake : c.fHorShake);
        EXPECT_EQ(vertical ? c.fHorShake : c.fVertShake, 0.0f);
    }
    return out;
}

TEST(GameCamera, ConstructionAndShakeTables)
{
    Object target;
    target.mat = Matrix(true);
    target.SetPos(VectorPos(3.0f, -2.0f, 7.0f));
    Camera c(&target, VectorPos(0.0f, -1.0f, 0.0f));
    EXPECT_EQ(c.type, OBJT_CAMERA);
    EXPECT_EQ(c.mode, CAMMODE_INCAR);
    EXPECT_EQ(c.flags, unsigned(OBJF_FRAMECALL));
    EXPECT_FLOAT_EQ(c.zoom, 1.6f);
    EXPECT_FLOAT_EQ(c.angx, 3.14159265f / 16.0f);
    EXPECT_FLOAT_EQ(c.mat.w[0], 3.0f);
    EXPECT_FLOAT_EQ(c.mat.w[2], 7.0f);
    EXPECT_FLOAT_EQ(c.mat.w[3], 1.0f);
    ASSERT_NE(c.collision, nullptr);
    EXPECT_EQ(reinterpret_cast<CollSphere*>(c.collision)->id, 0x1100);
    EXPECT_FLOAT_EQ(reinterpret_cast<CollSphere*>(c.collision)->sphere[3], 0.1f);

    // A major shake: 13 frames of the table times 1/640, the largest 40/640;
    // a minor one 9 frames, the largest 20/640; then nothing.
    std::vector<float> major = ShakeRun(true, true);
    for (int i = 0; i < 13; i++)
        EXPECT_FLOAT_EQ(major[i], MajorShakeFrames[i] / 640.0f) << i;
    EXPECT_FLOAT_EQ(major[0], 0.0625f);
    for (int i = 13; i < 20; i++)
        EXPECT_EQ(major[i], 0.0f);
    std::vector<float> minor = ShakeRun(false, false);
    EXPECT_FLOAT_EQ(minor[0], 0.03125f);
    EXPECT_FLOAT_EQ(minor[2], -14 / 640.0f);
    for (int i = 9; i < 20; i++)
        EXPECT_EQ(minor[i], 0.0f);

    // A running shake is not restarted or upgraded; the two axes run side by side.
    Camera s(nullptr, VectorPos(0.0f, 0.0f, 0.0f));
    s.Shake(true, false);
    s.UpdateShake();
    s.UpdateShake();
    s.UpdateShake();
    s.Shake(true, true);
    s.Shake(false, true);
    s.UpdateShake();
    EXPECT_FLOAT_EQ(s.fVertShake, MinorShakeFrames[3] / 640.0f);
    EXPECT_FLOAT_EQ(s.fHorShake, MajorShakeFrames[0] / 640.0f);
}

TEST(GameCamera, DyingCurrentCameraLeavesTheDefaultCurrent)
{
    Camera* c = new Camera(nullptr, VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(c, nullptr);
    SetCurrentCam(c);
    EXPECT_EQ(GetCurrentCam(), c);
    c->Delete();
    EXPECT_EQ(GetCurrentCam(), &g_DefaultCamera);
    SetCurrentCam(nullptr);
    EXPECT_EQ(cam, &g_DefaultCamera);
    EXPECT_FLOAT_EQ(g_DefaultCamera.zoom, 1.6f);
    EXPECT_EQ(g_DefaultCamera.type, OBJT_CAMERA);
}

TEST(GameVehicle, DriverTakesTheSeatAndHearsTheCar)
{
    auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(Name::Find("CarDriver"));
    ASSERT_NE(mh, nullptr);
    CarDriver* d = reinterpret_cast<CarDriver*>(mh(nullptr, OM_CREATE, nullptr));
    ASSERT_NE(d, nullptr);
    Vehicle* v = CreateVehicle(nullptr, 3, 0, VectorPos(1.0f, 2.0f, 3.0f), 7);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, OBJT_VEHICLE);
    EXPECT_EQ(v->i16OrigIndex, 3);

    SpecialMessage put(SMSG_PUT_IN_VEHICLE, v);
    d->SendMessage(OM_SPECIAL, &put);
    EXPECT_EQ(d->parent, v);
    EXPECT_EQ(static_cast<Object*>(v->rcoDriver), d);

    // What the car is told goes on to its driver: a hold with 1, a release
    // with 0.
    SpecialMessage hold(SMSG_CD_HOLD, nullptr, 1);
    v->SendMessage(OM_SPECIAL, &hold);
    EXPECT_TRUE(d->iCDFlags & CDF_HELD);
    hold.param[0] = 0;
    v->SendMessage(OM_SPECIAL, &hold);
    EXPECT_FALSE(d->iCDFlags & CDF_HELD);

    // A character taking the seat: the car's driver reference moves to it.
    Object passenger;
    SpecialMessage taken(SMSG_CD_SEAT_TAKEN, &passenger);
    d->SendMessage(OM_SPECIAL, &taken);
    EXPECT_EQ(static_cast<Object*>(v->rcoDriver), &passenger);
    EXPECT_TRUE(d->iCDFlags & CDF_SEATTAKEN);
    v->rcoDriver = nullptr;
    d->Detach();
    d->Delete();
    v->Delete();
}

}  // namespace
