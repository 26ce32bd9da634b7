// Car doors: hinged parts that swing once their body section is damaged,
// may jam shut, and fall off as debris when the section is gone.
#include <gtest/gtest.h>

#include "ZevEngine2/Utilities.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/explosn.h"

namespace {

class CarDoors : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.playbackSpeed = 1.0f;
        srand(99);
        car = new Vehicle;
    }
    void TearDown() override
    {
        world.Clear();
        car->Delete();
    }

    // Part `id` at offset `at` under `under` (the car when null), made a door.
    CarDoor* Door(int id, Object* under = nullptr, VectorPos at = VectorPos(0.8f, 0.0f, 0.5f))
    {
        Object* part = new Object;
        part->id = s16(id);
        part->mat = TransMatrix(at);
        (under != nullptr ? under : car)->Attach(part);
        return static_cast<CarDoor*>(CarDoor_Create(part));
    }

    static int Links(const Object* o)
    {
        int n = 0;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            n += l->data == o ? 1 : 0;
        return n;
    }

    Vehicle* car = nullptr;
};

}  // namespace

TEST_F(CarDoors, ASectionWithNoStrengthLeftDropsItsDoorAtTheNextFrameStuckOrNot)
{
    for (int stuck = 0; stuck < 2; stuck++) {
        CarDoor* door = Door(16);
        ASSERT_NE(door, nullptr);
        EXPECT_EQ(door->parent, car);
        EXPECT_EQ(car->child, door);
        EXPECT_EQ(car->doors, 0x01);
        EXPECT_EQ(door->section, 1);
        door->mode = s8(stuck);
        car->vel = Vector(0.1f, 0.0f, 0.0f, 0.0f);
        car->rgpartstrength[1] = 0.0f;
        world.Update();
        EXPECT_EQ(door->parent, nullptr) << stuck;
        EXPECT_EQ(car->child, nullptr);
        EXPECT_EQ(car->doors, 0);
        EXPECT_EQ(door->messagehandler, Debris_mh);
        EXPECT_EQ(door->type, OBJT_DEBRIS);
        EXPECT_EQ(door->vel[0], 0.1f);
        EXPECT_EQ(door->mat.w[0], 0.8f);   // where it hung on the car
        EXPECT_EQ(Links(door), 1);
        car->rgpartstrength[1] = 100.0f;
    }
}

TEST_F(CarDoors, ADoorJamsOnlyWhileOtherPartsAreFreeAndNeverFromId41On)
{
    CarDoor* door = Door(16);
    auto slam = [&](CarDoor* d) {
        d->curAng = 0.05f;
        d->angSpd = 0.1f;
        d->MightGetStuck();
    };
    // Its own bit alone: a chance of 0.
    for (int i = 0; i < 1000; i++)
        slam(door);
    EXPECT_EQ(door->mode, 0);
    // Five other parts free: one chance in four each time.
    car->doors = 0x3F;
    int tries = 0;
    while (door->mode == 0 && tries < 200) {
        slam(door);
        tries++;
    }
    EXPECT_EQ(door->mode, 1);
    EXPECT_EQ(car->doors, 0x3E);
    // Too open or too slow: no jam.
    CarDoor* other = Door(18);
    car->doors = 0x3F;
    for (int i = 0; i < 200; i++) {
        other->curAng = 0.2f;
        other->angSpd = 0.1f;
        other->MightGetStuck();
        other->curAng = 0.05f;
        other->angSpd = 0.01f;
        other->MightGetStuck();
    }
    EXPECT_EQ(other->mode, 0);
    for (int id = 41; id <= 45; id++) {
        CarDoor* d = Door(id);
        car->doors = 0x3F;
        for (int i = 0; i < 200; i++)
            slam(d);
        EXPECT_EQ(d->mode, 0) << id;
    }
}

TEST_F(CarDoors, TheHoodOpensBackwardOnTypeTwoCarsAndForwardOnOthers)
{
    car->i16VehType = 2;
    CarDoor* hood = Door(40);
    EXPECT_EQ(hood->minAng, -1.0472f);
    EXPECT_EQ(hood->maxAng, 0.0f);
    EXPECT_EQ(hood->angSpd, -0.20944f);
    EXPECT_EQ(hood->grav, 0.002f);
    EXPECT_EQ(hood->axis, DOOR_AXIS_X);
    EXPECT_EQ(car->doors, 0x10);
    car->i16VehType = 1;
    CarDoor* hood2 = Door(40);
    EXPECT_EQ(hood2->minAng, 0.0f);
    EXPECT_EQ(hood2->maxAng, 1.0472f);
    EXPECT_EQ(hood2->angSpd, 0.20944f);
    EXPECT_EQ(hood2->grav, -0.002f);
    EXPECT_EQ(hood2->section, 0);
}

TEST_F(CarDoors, ADamagedCarShakesItsPartsWithinTheirStops)
{
    Object* rear = new Object;
    rear->id = 26;   // section 2
    car->Attach(rear);
    CarDoor* flap = Door(43, rear);
    CarDoor* left = Door(16);
    EXPECT_EQ(flap->section, 2);
    // Healthy sections hold them shut.
    for (int i = 0; i < 20; i++) {
        car->vel = Vector(0.0f, (i & 1) ? 0.2f : -0.2f, (i & 1) ? 0.3f : -0.3f, 0.0f);
        world.Update();
    }
    EXPECT_EQ(flap->curAng, 0.0f);
    EXPECT_EQ(left->curAng, 0.0f);
    car->rgpartstrength[1] = car->rgpartstrength[2] = 10.0f;   // level 0.4
    float flapMax = 0.0f, leftMin = 10.0f, leftMax = -10.0f;
    for (int i = 0; i < 300; i++) {
        car->vel = Vector(0.0f, (i & 4) ? 0.2f : -0.2f, (i & 8) ? 0.3f : -0.3f, 0.0f);
        car->angvel = Vector(0.0f, (i & 16) ? 0.05f : -0.05f, 0.0f, 0.0f);
        world.Update();
        flapMax = std::max(flapMax, std::fabs(flap->curAng));
        leftMin = std::min(leftMin, left->curAng);
        leftMax = std::max(leftMax, left->curAng);
        ASSERT_LE(std::fabs(flap->curAng), 0.174533f);
    }
    EXPECT_GT(flapMax, 0.1f);
    EXPECT_GE(leftMin, 0.0872665f);
    EXPECT_LE(leftMax, 1.0472f);
    EXPECT_GT(leftMax, 0.3f);
}
