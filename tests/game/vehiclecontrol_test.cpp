// The player's pad driving a car: taps, horn and siren, the turn from
// forward to reverse, the peel-out and the boost.
#include "vehicle_support.h"

namespace {

using namespace vehtest;

class CarControls : public VehicleWorld
{
protected:
    Controller pad{};
    GameController gc;
    Driver player{-1};

    void SetUp() override
    {
        VehicleWorld::SetUp();
        pad.ZeroData();
        pad.pad_type = PADT_DUALSHOCK;
        g_pgcTest = &gc;
    }
    // One frame holding `held`, those not held last frame counting as new.
    void Frame(Vehicle* v, u32 held)
    {
        const u32 was = pad.pad & 0xFFFF;
        pad.pad = held | ((held & ~was) << 16);
        Tick();
        v->ControlVehicle(pad);
    }
};

TEST(ButtonTaps, PressesFourTo29FramesApartDoubleAThirdTriples)
{
    const int saved = world.time;
    auto press = [](ButtonTapInfo& b, int at) {
        world.time = at;
        return b.DownUpdate();
    };
    for (int gap : {3, 4, 29, 30}) {
        ButtonTapInfo b{};
        EXPECT_EQ(press(b, 1000), 0);
        const int r = press(b, 1000 + gap);
        EXPECT_EQ(r, gap >= 4 && gap < 30 ? 1 : 0) << gap;
    }
    ButtonTapInfo b{};
    press(b, 1000);
    EXPECT_EQ(press(b, 1010), 1);
    EXPECT_EQ(press(b, 1030), 3);
    EXPECT_TRUE(b.Hit());
    // Held every frame: nothing after the first press.
    ButtonTapInfo h{};
    for (int t = 2000; t < 2100; t++)
        EXPECT_EQ(press(h, t), 0) << t;
    world.time = saved;
}

TEST_F(CarControls, HornOutlastsATapAndDPadLeftSwitchesTheSiren)
{
    CarFile f(0), police(27);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &player;
    Frame(v, BUT_PAD_RIGHT);
    EXPECT_TRUE(v->bHorn);
    const int start = world.time;
    while (world.time < start + 15) {
        Frame(v, 0);
        EXPECT_TRUE(v->bHorn) << world.time - start;
    }
    Frame(v, 0);
    EXPECT_FALSE(v->bHorn);
    // Type 0 carries no siren of its own: the driver is asked to put the
    // light up (8002) or take it in (8003).
    Frame(v, BUT_PAD_LEFT);
    Frame(v, 0);
    v->bSiren = true;
    Frame(v, BUT_PAD_LEFT);
    EXPECT_EQ(player.heard, (std::vector<int>{SMSG_PLAYER_ANIM_A, SMSG_PLAYER_ANIM_B}));
    // The police cruiser switches its own.
    Vehicle* p = Make(police, 27);
    p->rcoDriver = &player;
    Frame(p, 0);
    Frame(p, BUT_PAD_LEFT);
    EXPECT_TRUE(p->bSiren);
    EXPECT_EQ(p->iSirenType(), 30);
    Frame(p, 0);
    Frame(p, BUT_PAD_LEFT);
    EXPECT_FALSE(p->bSiren);
    // A type without a siren does nothing.
    Vehicle* van = Make(f, 17);
    van->rcoDriver = &player;
    Frame(van, BUT_PAD_LEFT);
    EXPECT_FALSE(van->bSiren);
    p->rcoDriver = nullptr;
    van->rcoDriver = nullptr;
}

TEST_F(CarControls, BrakingNearlyStoppedTurnsToReverseUnlessCrossIsHeld)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &player;
    v->vel = Vector(0.0f, 0.0f, 0.005f, 0.0f);   // below 0.00520833 forward
    Frame(v, BUT_SQUARE | BUT_CROSS);
    EXPECT_EQ(v->gear, 1);
    EXPECT_EQ(v->vel[2], 0.005f);
    Frame(v, BUT_SQUARE);
    EXPECT_EQ(v->gear, -2);
    EXPECT_EQ(v->vel[2], 0.0f);
    EXPECT_EQ(v->fEngine, 0.25f);
    // In reverse square accelerates and cross brakes: braking rolling back
    // slowly turns it forward again.
    v->vel = Vector(0.0f, 0.0f, -0.01f, 0.0f);
    Frame(v, BUT_CROSS);
    EXPECT_EQ(v->gear, 1);
    // Faster than that forward, braking only brakes.
    v->vel = Vector(0.0f, 0.0f, 0.05f, 0.0f);
    Frame(v, 0);
    Frame(v, BUT_SQUARE);
    EXPECT_EQ(v->gear, 1);
    EXPECT_GT(v->fBrake, 0.0f);
    v->rcoDriver = nullptr;
}

TEST_F(CarControls, AcceleratorDoubleTapBoostsForThirtyFramesAndNothingElseStarts)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &player;
    gc.stats.carAbility = DOWNSHIFT_BOOST | EMERGENCY_STOP;
    v->vel = Vector(0.0f, 0.0f, 0.08f, 0.0f);   // between 0.06985 and half the top speed
    Frame(v, BUT_CROSS);
    for (int i = 0; i < 5; i++)
        Frame(v, 0);
    Frame(v, BUT_CROSS);
    EXPECT_EQ(v->vSpecialMove, VSpecialMove_Boost);
    EXPECT_EQ(v->iBurstTimeLeft, 30);
    EXPECT_EQ(v->iLastPropelTime, world.time);
    // Held, it pushes each frame; a brake double tap in a hard turn starts
    // nothing meanwhile.
    const float z0 = v->vel[2];
    Frame(v, BUT_CROSS);
    EXPECT_FLOAT_EQ(v->vel[2], z0 + 2.0f * 0.00116417f);
    EXPECT_EQ(v->iBurstTimeLeft, 29);
    v->steer = 0.3f;
    Frame(v, BUT_CROSS | BUT_SQUARE);
    Frame(v, BUT_CROSS);
    Frame(v, BUT_CROSS);
    Frame(v, BUT_CROSS);
    Frame(v, BUT_CROSS);
    Frame(v, BUT_CROSS | BUT_SQUARE);
    EXPECT_EQ(v->vSpecialMove, VSpecialMove_Boost);
    // Letting go of the accelerator ends it.
    Frame(v, 0);
    EXPECT_EQ(v->vSpecialMove, VSpecialMove_None);
    EXPECT_EQ(v->iBurstTimeLeft, 0);
    // Too fast for a boost.
    v->steer = 0.0f;
    v->vel = Vector(0.0f, 0.0f, 0.2f, 0.0f);
    Frame(v, BUT_CROSS);
    Frame(v, 0);
    Frame(v, 0);
    Frame(v, 0);
    Frame(v, 0);
    Frame(v, BUT_CROSS);
    EXPECT_EQ(v->vSpecialMove, VSpecialMove_None);
    v->rcoDriver = nullptr;
}

TEST_F(CarControls, PeelOutArmsOnBothButtonsAndBurstsWhenSquareIsLetGo)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &player;
    gc.stats.carAbility = PEEL_OUT;
    // Armed from reverse (square accelerates there): first gear at once.
    v->gear = -1;
    Frame(v, BUT_SQUARE);
    EXPECT_EQ(v->gear, -1);
    Frame(v, BUT_CROSS | BUT_SQUARE);
    EXPECT_TRUE(v->bPeelOut);
    EXPECT_EQ(v->gear, 1);
    EXPECT_EQ(v->fEngine, 0.25f);
    Frame(v, BUT_CROSS | BUT_SQUARE);
    EXPECT_TRUE(v->bPeelOut);
    EXPECT_EQ(v->fHandBrake, 0.0f);
    Frame(v, BUT_CROSS);
    EXPECT_FALSE(v->bPeelOut);
    EXPECT_EQ(v->vSpecialMove, VSpecialMove_PeelOutBurst);
    EXPECT_EQ(v->iBurstTimeLeft, 15);
    EXPECT_EQ(v->iTotalBurstTime, 15);
    EXPECT_EQ(v->fBurstAccelValue, 0.00931333f);
    // Without the ability nothing arms.
    Vehicle* w = Make(f, 0);
    w->rcoDriver = &player;
    gc.stats.carAbility = 0;
    Frame(w, BUT_CROSS);
    Frame(w, BUT_CROSS | BUT_SQUARE);
    EXPECT_FALSE(w->bPeelOut);
    v->rcoDriver = nullptr;
    w->rcoDriver = nullptr;
}

TEST_F(CarControls, NegConPedalsSetThrottleAndBrakeWithoutTaps)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &player;
    pad.pad_type = PADT_NEGCON;
    pad.rdata[5] = 128 + 100;
    pad.rdata[6] = 128 + 50;
    pad.rdata[4 + ANA_RX] = 128 + 48;   // 40 past its dead zone of 8
    for (int i = 0; i < 3; i++) {
        Frame(v, BUT_CROSS);
        Frame(v, BUT_SQUARE);
    }
    EXPECT_FLOAT_EQ(v->fAccel, 100.0f / 255000.0f);
    EXPECT_FLOAT_EQ(v->fBrake, 50.0f / 255000.0f);
    EXPECT_FLOAT_EQ(v->steer, 40.0f * 0.00436332f);
    EXPECT_EQ(v->btiAccel.iLastDownTime, 0);
    EXPECT_EQ(v->btiBrake.iLastDownTime, 0);
    v->rcoDriver = nullptr;
}

TEST_F(CarControls, StickSteersAtItsRateAndTheDebugWheelBursts)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &player;
    pad.rdata[4 + ANA_LX] = 255;   // full right: 87 past the dead zone
    Frame(v, 0);
    EXPECT_FLOAT_EQ(v->steer, 0.0392699f);
    for (int i = 0; i < 20; i++)
        Frame(v, 0);
    EXPECT_FLOAT_EQ(v->steer, 87.0f * 0.00594999f);
    EXPECT_EQ(v->btiSteerRight.iLastDownTime, world.time);
    pad.rdata[4 + ANA_LX] = 128;
    const float s = v->steer;
    Frame(v, 0);
    EXPECT_FLOAT_EQ(v->steer, s - s * 0.0465667f);
    g_iDamageWheel = 7;
    Frame(v, 0);
    EXPECT_TRUE(v->wheel[3]->bDamaged);
    EXPECT_EQ(g_iDamageWheel, -1);
    // Pinned from the side: the reference direction 135 degrees round.
    EXPECT_EQ(v->PinVehicle(false), 0);
    EXPECT_EQ(v->vSpecialMove, VSpecialMove_BeingPinned);
    EXPECT_EQ(v->iBurstTimeLeft, 90);
    EXPECT_NEAR(v->vMiscSpecial[0], std::sin(2.35619f), 1e-5f);
    EXPECT_NEAR(v->vMiscSpecial[2], std::cos(2.35619f), 1e-5f);
    EXPECT_EQ(v->vMiscSpecial[3], 1.0f);
    v->rcoDriver = nullptr;
}

}  // namespace
