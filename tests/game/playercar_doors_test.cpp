// The player getting into cars and out of them: L1 beside a still car walks
// him to the nearer door, throws the driver out and seats him; a moving,
// tipped, spinning, wrecked, driverless or unwilling car is refused; L1
// while walking calls it off; L1 while driving brakes the car to a stop and
// he gets out by the left door; a car on its roof makes him crawl out.
#include "tests/game/playercar_support.h"

#include <cmath>

#include "ZevEngine2/PS2/Model.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/mdlgroup.h"

namespace {

using namespace cartest;

// A car's node in the car object's frame: the model's place less the
// centre-of-gravity shift.
VectorPos NodeInCar(Vehicle* v, u16 id)
{
    NODE* n = v->FindNode(id);
    EXPECT_NE(n, nullptr);
    return n != nullptr ? VectorPos(VectorXYZ(n->Pos()) - VectorXYZ(v->vdCOGOffset)) : VectorPos(0, 0, 0);
}

bool Heard(const Sink* s, int code, Object* obj)
{
    for (const SpecialMessage& m : s->heard)
        if (m.submsg == code && m.obj == obj)
            return true;
    return false;
}

bool IsIdentity(const Matrix& m)
{
    return m.x[0] == 1.0f && m.y[1] == 1.0f && m.z[2] == 1.0f && m.x[1] == 0.0f && m.x[2] == 0.0f && m.z[0] == 0.0f;
}

}  // namespace

TEST_F(PlayerCar, L1BesideAStillCarWalksHimToTheDoorThrowsTheDriverOutAndSeatsHim)
{
    Vehicle* v = Car(0, VectorPos(4.0f, 0.0f, 5.0f));
    ASSERT_NE(v, nullptr);
    // A driver drawn as part of the car: thrown out as a pedestrian.
    tools::HumanoidLook look;
    look.driverCopy = true;
    look.lowDetail = true;
    vehtest::CarFile person(tools::HumanoidFile(look));
    ASSERT_NE(v->AttachDriver(&person.mf), nullptr);
    Sink* driver = DriverOf(v);
    BesideLeftDoor(v);
    // Aiming in slow motion at someone: all of it is dropped.
    d->SetShootMode(Dace::SHOOT_NORMAL);
    d->target = new Sink;
    Object* aimed = d->target;
    world.playbackSpeed = 0.6f;

    Tick(kL1, kL1);
    ASSERT_EQ(d->mode, DACEMODE_CARTRANSITION);
    EXPECT_EQ(d->mode2, CAR_START_WALK_L_ANI);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NONE);
    EXPECT_EQ(world.playbackSpeed, 1.2f);
    EXPECT_EQ(d->target, nullptr);
    aimed->Delete();
    ASSERT_FALSE(driver->heard.empty());
    EXPECT_EQ(driver->heard[0].submsg, SMSG_CD_SUSPEND);
    EXPECT_EQ(driver->heard[0].obj, d);
    EXPECT_EQ(driver->heard[0].param[0].i, 1);
    // The car guns took his guns.
    EXPECT_EQ(d->leftdrivinggunarm.gun, d->lgun);
    EXPECT_EQ(d->rightdrivinggunarm.gun, d->rgun);

    // The start of the walk on the left ends with the driver thrown out,
    // and the commandeering line (the car is not 65).
    std::vector<u16> seen{d->mode2};
    auto watch = [&] {
        if (seen.back() != d->mode2)
            seen.push_back(d->mode2);
        return false;
    };
    TicksUntil(200, [&] { return watch() || d->mode2 != CAR_START_WALK_L_ANI; });
    EXPECT_EQ(v->FindMeshDriver(), nullptr);
    EXPECT_TRUE(Heard(driver, SMSG_CD_DRIVER_LEFT, v));
    EXPECT_EQ(DaceVO.GetCurrentType(), DaceVO_CarCommandeerStart);

    const int ticks = TicksUntil(900, [&] { return watch() || d->mode == DACEMODE_DRIVING; });
    ASSERT_GE(ticks, 0);
    // Walk, run, wait at the door, open it, get in: seated, then settled.
    const std::vector<u16> steps{CAR_START_WALK_L_ANI, CAR_WALK_TO_DOOR_L_ANI, CAR_RUN_TO_DOOR_L_ANI,
                                 CAR_WAIT_AT_DOOR_L_ANI, CAR_OPEN_L_ANI, CAR_ENTER_L_ANI};
    ASSERT_GE(seen.size(), steps.size());
    EXPECT_EQ(std::vector<u16>(seen.begin(), seen.begin() + long(steps.size())), steps);
    // Taking the door told the driver the seat is his.
    EXPECT_TRUE(Heard(driver, SMSG_CD_SEAT_TAKEN, d));

    // Seated by the put-in message: on the seat node, the body root on it.
    EXPECT_EQ(d->parent, v);
    EXPECT_EQ(d->car, v);
    EXPECT_EQ(v->rcoDriver, d);
    EXPECT_EQ(d->flags & Dace::OnFootFlag, 0u);
    EXPECT_EQ(v->steeringratio, 2.0f);
    const VectorPos seat = NodeInCar(v, tools::kVehSeatLeft);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(d->childpos[k], seat[k], 1e-4f) << k;
    EXPECT_EQ(d->i8SaveVehID, 0);
    EXPECT_EQ(d->i8SaveVehTint, v->i8Tint);
    EXPECT_EQ(music.Count(SoundEvent_EnterCar), 1);
    // The wheel's rim runs through both hands: the same radius each side.
    const float r0 = Length(VectorDir(d->ten.quarterturnoff)), r1 = Length(VectorDir(d->two.quarterturnoff));
    EXPECT_GT(r0, 0.01f);
    EXPECT_NEAR(r0, r1, 1e-4f);
    // The seat switch the entry ends with plays once; then he sits idle.
    EXPECT_GE(TicksUntil(200, [&] { return d->mode2 == CAR_IDLE_ANI; }), 0);
    EXPECT_EQ(d->mode, DACEMODE_DRIVING);
}

TEST_F(PlayerCar, MovingTippedSpinningWreckedDriverlessOrUnwillingCarsAreRefused)
{
    // Each case on a fresh car beside him; he stays on foot.
    struct Case
    {
        const char* what;
        void (*spoil)(Vehicle*, Dace*);
        bool refused;
    } cases[] = {
        {"still", [](Vehicle*, Dace*) {}, false},
        {"creeping", [](Vehicle* v, Dace*) { v->vel = Vector(0.0f, 0.0f, 0.0116f, 0.0f); }, false},
        {"moving", [](Vehicle* v, Dace*) { v->vel = Vector(0.0f, 0.0f, 0.01165f, 0.0f); }, true},
        {"tipped", [](Vehicle* v, Dace*) { v->mat.y = Vector(0.0f, -0.01f, 1.0f, 0.0f); }, true},
        {"turning", [](Vehicle* v, Dace*) { v->angvel = Vector(0.0f, 0.132f, 0.0f, 0.0f); }, false},
        {"spinning", [](Vehicle* v, Dace*) { v->angvel = Vector(0.0f, 0.1322f, 0.0f, 0.0f); }, true},
        {"wrecked", [](Vehicle* v, Dace*) { v->strength = 0.0f; }, true},
        {"driverless", [](Vehicle* v, Dace*) { v->rcoDriver = nullptr; }, true},
        {"the target's", [](Vehicle* v, Dace* p) { p->target = v->rcoDriver; }, true},
        {"unwilling", [](Vehicle* v, Dace*) { static_cast<Sink*>(static_cast<Object*>(v->rcoDriver))->reply = 0; },
         true},
    };
    float x = 10.0f;
    for (const Case& c : cases) {
        Vehicle* v = Car(0, VectorPos(x, 0.0f, 5.0f));
        x += 10.0f;
        BesideLeftDoor(v);
        d->SwitchToMode(DACEMODE_ONFOOT, true);
        d->target = nullptr;
        c.spoil(v, d);
        d->leftdrivinggunarm.gun = nullptr;
        EXPECT_EQ(d->TryGettingIn(v), !c.refused) << c.what;
        EXPECT_EQ(d->mode, c.refused ? DACEMODE_ONFOOT : DACEMODE_CARTRANSITION) << c.what;
        // The car guns take his guns before any check.
        EXPECT_EQ(d->leftdrivinggunarm.gun, d->lgun) << c.what;
        d->CancelGetIn();
        d->target = nullptr;
    }

    // By the pad: refused, he shrugs.
    Vehicle* wreck = Car(0, VectorPos(x, 0.0f, 5.0f));
    wreck->strength = 0.0f;
    BesideLeftDoor(wreck);
    d->SwitchToMode(DACEMODE_ONFOOT, true);
    for (int i = 0; i < 3; i++)
        Tick();
    Tick(kL1, kL1);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    EXPECT_EQ(d->mode2, PED_IDLE_COMMANDEER_FAIL_ANI);
}

TEST_F(PlayerCar, TheNearerDoorIsTakenTheLeftOnATieAndTheOtherWhenItsSeatIsMissing)
{
    Vehicle* v = Car(0, VectorPos(4.0f, 0.0f, 5.0f));
    const Matrix w = v->GetWorldMatrix();
    // Right in front of the car, as far from either door: the left.
    d->SetPos(w * VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_TRUE(d->TryGettingIn(v));
    EXPECT_EQ(d->mode2, CAR_START_WALK_L_ANI);
    d->CancelGetIn();
    // Nearer the right door: the right.
    d->SetPos(w * VectorPos(1.0f, 0.0f, 0.0f));
    ASSERT_TRUE(d->TryGettingIn(v));
    EXPECT_EQ(d->mode2, CAR_START_WALK_R_ANI);
    d->CancelGetIn();
    // A car without the right seat: from the right he goes round to the left.
    Vehicle* odd = CarWithout(tools::kVehSeatRight, VectorPos(20.0f, 0.0f, 5.0f));
    d->SetPos(odd->GetWorldMatrix() * VectorPos(1.0f, 0.0f, 0.0f));
    ASSERT_TRUE(d->TryGettingIn(odd));
    EXPECT_EQ(d->mode2, CAR_START_WALK_L_ANI);
}

TEST_F(PlayerCar, L1OrAnUnwillingDriverCallsOffTheWalkToTheDoor)
{
    Vehicle* v = Car(0, VectorPos(4.0f, 0.0f, 5.0f));
    Sink* driver = DriverOf(v);
    BesideLeftDoor(v);
    Tick(kL1, kL1);
    ASSERT_EQ(d->mode, DACEMODE_CARTRANSITION);
    // On his way the door has moved.
    Object* door = v->FindSubObject(VEHICLE_LEFT_DOOR);
    ASSERT_NE(door, nullptr);
    const Vector at = door->mat.w;
    door->mat = RotY(0.5f);
    door->mat.w = at;
    ASSERT_GE(TicksUntil(100, [&] { return d->mode2 == CAR_WALK_TO_DOOR_L_ANI; }), 0);
    driver->heard.clear();
    Tick(kL1, kL1);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
    EXPECT_TRUE(Heard(driver, SMSG_CD_RESUME, d));
    EXPECT_TRUE(IsIdentity(door->mat));
    EXPECT_EQ(door->mat.w[0], at[0]);
    EXPECT_EQ(d->flags & Dace::OnFootFlag, Dace::OnFootFlag);

    // Again; this time the driver will not wait when asked again.
    Tick(kL1, kL1);
    ASSERT_EQ(d->mode, DACEMODE_CARTRANSITION);
    Tick();
    EXPECT_EQ(d->mode, DACEMODE_CARTRANSITION);
    driver->reply = 0;
    Tick();
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    // Cancelling once the walk is over does nothing.
    EXPECT_FALSE(d->CancelGetIn());
}

TEST_F(PlayerCar, L1WhileDrivingBrakesToAStopThenHeGetsOutByTheLeftDoorAndStandsIdle)
{
    Vehicle* v = Car(0, VectorPos(4.0f, 0.0f, 5.0f));
    Seat(v);
    ASSERT_EQ(d->mode, DACEMODE_DRIVING);
    ASSERT_EQ(v->rcoDriver, d);
    Tick();
    // Moving forward fast: L1 brakes, the pad no longer reaches the car.
    v->vel = Vector(0.0f, 0.0f, 0.3f, 0.0f);
    Tick(kL1, kL1);
    EXPECT_EQ(d->mode2, CAR_IDLE_BRAKE_ANI);
    for (int i = 0; i < 5; i++) {
        Tick(kCross);
        EXPECT_EQ(v->fBrake, 0.01f);
        EXPECT_EQ(v->fAccel, 0.0f);
        EXPECT_EQ(v->steer, 0.0f);
        EXPECT_EQ(d->mode, DACEMODE_DRIVING);
    }
    // Nearly still but up on two wheels: he stays in.
    v->vel = Vector(0.0f, 0.0f, 0.01f, 0.0f);
    v->vSpecialMove = VSpecialMove_TwoWheels_Left;
    Tick();
    EXPECT_EQ(d->mode, DACEMODE_DRIVING);
    // Still turning: he stays in.
    v->vSpecialMove = VSpecialMove_None;
    v->angvel = Vector(0.0f, 0.0024f, 0.0f, 0.0f);
    Tick();
    EXPECT_EQ(d->mode, DACEMODE_DRIVING);
    // Still: out by the left door.
    v->angvel = Vector(0.0f, 0.0023f, 0.0f, 0.0f);
    Tick();
    ASSERT_EQ(d->mode, DACEMODE_CARTRANSITION);
    EXPECT_EQ(d->mode2, CAR_EXIT_L_ANI);
    EXPECT_EQ(v->id, 71);
    EXPECT_EQ(v->fHandBrake, 0.01f);
    EXPECT_EQ(d->flags & Dace::OnFootFlag, Dace::OnFootFlag);
    EXPECT_NEAR(d->mat.w[0], 0.0f, 0.02f);   // on the car's centre line, stepping out
    // Out, the door closes and he stands on his own feet.
    ASSERT_GE(TicksUntil(600, [&] { return d->mode == DACEMODE_ONFOOT; }), 0);
    EXPECT_EQ(d->parent, nullptr);
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
    EXPECT_EQ(v->brakeaccel, -0.01f);
    EXPECT_EQ(v->rcoDriver, nullptr);   // the player let go of it
    EXPECT_EQ(music.Count(SoundEvent_ExitCar), 1);
    EXPECT_EQ(d->car, nullptr);
    // Beside the car's left side.
    const VectorPos rel = v->GetWorldMatrix().Inverse() * d->GetWorldPos();
    EXPECT_LT(rel[0], -0.3f);

    // Reversing: the backward brake; car 65 keeps its id.
    Vehicle* w = Car(0, VectorPos(20.0f, 0.0f, 5.0f));
    w->id = 65;
    Seat(w);
    w->vel = Vector(0.0f, 0.0f, -0.2f, 0.0f);
    Tick(kL1, kL1);
    EXPECT_EQ(d->mode2, DRIVING_BRAKE_BACKWARDS_ANI);
    w->vel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    Tick();
    EXPECT_EQ(d->mode, DACEMODE_CARTRANSITION);
    EXPECT_EQ(w->id, 65);

    // A car without its left get-in point ignores L1.
    Vehicle* odd = CarWithout(tools::kVehGetInLeft, VectorPos(40.0f, 0.0f, 5.0f));
    Seat(odd);
    Tick(kL1, kL1);
    EXPECT_NE(d->mode2, CAR_IDLE_BRAKE_ANI);
    EXPECT_EQ(d->mode, DACEMODE_DRIVING);
}

TEST_F(PlayerCar, FromACarOnItsRoofHeCrawlsOutWithHisFeetOnTheGround)
{
    Vehicle* v = Car(0, VectorPos(4.0f, -0.8f, 5.0f));
    Seat(v);
    // Rolled over onto its roof.
    v->mat.x = Vector(-1.0f, 0.0f, 0.0f, 0.0f);
    v->mat.y = Vector(0.0f, -1.0f, 0.0f, 0.0f);
    Tick(kL1, kL1);
    Tick();
    ASSERT_EQ(d->mode, DACEMODE_CARTRANSITION);
    EXPECT_EQ(d->mode2, CAR_CRAWLOUT_ANI);
    EXPECT_NEAR(d->GetWorldPos()[1], 0.0f, 1e-4f);   // the ground here is at 0
    ASSERT_GE(TicksUntil(300, [&] { return d->mode2 != CAR_CRAWLOUT_ANI; }), 0);
    EXPECT_EQ(d->mode2, CAR_CRAWLOUT_GETUP_ANI);
    ASSERT_GE(TicksUntil(300, [&] { return d->mode == DACEMODE_ONFOOT; }), 0);
    EXPECT_EQ(d->parent, nullptr);
    EXPECT_NEAR(d->GetWorldPos()[1], 0.0f, 0.01f);
}

TEST_F(PlayerCar, KilledInHisCarHeIsTakenOffItAndAThiefThrowsHimOut)
{
    Vehicle* v = Car(0, VectorPos(4.0f, 0.0f, 5.0f));
    Seat(v);
    SpecialMessage kill(Dace::SMSG_PROJECTILE_DAMAGE, nullptr, 150);
    d->SendMessage(OM_SPECIAL, &kill);
    EXPECT_EQ(d->parent, nullptr);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    EXPECT_EQ(d->mode2, GUNS_KILLED_ANI);

    // Killed on the way to the door: the walk is called off.
    d->strength = 100.0f;
    d->flags &= ~(GUYF_DYING | GUYF_DEAD);
    Vehicle* w = Car(0, VectorPos(20.0f, 0.0f, 5.0f));
    BesideLeftDoor(w);
    ASSERT_TRUE(d->TryGettingIn(w));
    d->SendMessage(OM_SPECIAL, &kill);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    EXPECT_TRUE(Heard(DriverOf(w), SMSG_CD_RESUME, d));

    // Alive in his seat, a character takes his car: he gets out.
    d->strength = 100.0f;
    d->flags &= ~(GUYF_DYING | GUYF_DEAD);
    Vehicle* x = Car(0, VectorPos(40.0f, 0.0f, 5.0f));
    Seat(x);
    Sink thief;
    thief.id = 12;
    EXPECT_EQ(x->KickOutDriver(Vehicle::KICKOUT_ANGRY_FIGHT, true, &thief), d);
    EXPECT_EQ(d->mode, DACEMODE_CARTRANSITION);
    EXPECT_EQ(d->mode2, CAR_EXIT_L_ANI);
}

// The sample vehicle group's police cruiser (0) and patrol car (27) carry
// what getting in needs: both get-in points, both seats, the wheel's grip
// and the two front doors; and the hood vault's two markers.
TEST(PlayerCarCensus, TheSampleCarsCarryTheirDoorsSeatsAndGripPoints)
{
    for (int type : {0, 27}) {
        vehtest::CarFile f(type);
        Vehicle* v = CreateVehicle(&f.mf, -1, -1, VectorPos(0, 0, 0), type);
        ASSERT_NE(v, nullptr);
        for (u16 node : {0x8064, 0x8065, 0x8074, 0x8075, 0x8066, 0x8339, 0x833A})
            EXPECT_NE(v->FindNode(node), nullptr) << type << " " << std::hex << node;
        for (int door : {VEHICLE_LEFT_DOOR, VEHICLE_RIGHT_DOOR})
            EXPECT_NE(v->FindSubObject(door), nullptr) << type << " " << door;
        // The grip is at the steering wheel, in the front half of the cabin.
        const VectorPos grip = v->FindNode(0x8066)->Pos();
        const VectorPos seat = v->FindNode(0x8074)->Pos();
        EXPECT_GT(grip[2], seat[2]);
        EXPECT_LT(std::fabs(grip[0] - seat[0]), 0.2f);
        v->Delete();
    }
}
