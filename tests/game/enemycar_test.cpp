// An enemy walking up to a car to get in: which door, and when the car
// refuses him.
#include <gtest/gtest.h>

#include "vehicle_support.h"

#include "ZevEngine2/anim_support.h"

#include "game/BadGuy.h"

using namespace vehtest;

namespace {

// A driver that agrees to wait (non-zero reply) and records the asking.
struct WillingDriver : Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg != OM_SPECIAL)
            return 0;
        auto* self = static_cast<WillingDriver*>(o);
        const auto* m = static_cast<SpecialMessage*>(data);
        self->codes.push_back(m->submsg);
        self->param0 = int(m->param[0]);
        self->asker = m->obj;
        return self->answer;
    }
    WillingDriver() : Object(mh) {}
    std::vector<int> codes;
    int param0 = 0;
    Object* asker = nullptr;
    int answer = 1;
};

class EnemyGetsIn : public VehicleWorld
{
protected:
    Enemy* Walker(VectorPos at)
    {
        Enemy* e = reinterpret_cast<Enemy*>(intptr_t(Enemy::ShooterEnemy_mh(nullptr, OM_CREATE, nullptr)));
        e->mat = TransMatrix(at);
        Object* limb = new Object;
        limb->mat = Matrix(true);
        e->Attach(limb);
        e->AllocBlendAnimHierarchy(0);
        table[59] = table[60] = clips.Char(0);
        e->anims = table;
        e->animbanks = banks;
        walkers.push_back(e);
        return e;
    }
    void TearDown() override
    {
        for (Enemy* e : walkers)
            delete e;
        VehicleWorld::TearDown();
    }
    std::vector<Enemy*> walkers;
    animtest::LoadedGroup clips{animtest::OneBundle(
        {animtest::PosStream({{0, VectorXYZ(0, 0, 0)}, {30, VectorXYZ(0, 0, 1)}})}, 30, true)};
    AnimChar* table[TOTAL_BADGUY_ANIS] = {};
    u8 banks[TOTAL_BADGUY_ANIS] = {};
};

}  // namespace

TEST_F(EnemyGetsIn, RefusesAMovingOverturnedSpinningOrDriverlessCar)
{
    CarFile f(1);
    Vehicle* car = Make(f, 1);
    ASSERT_NE(car, nullptr);
    Enemy* e = Walker(VectorPos(-2.0f, 0.0f, 0.0f));
    EXPECT_FALSE(e->StartGettingIn(car));   // no driver
    WillingDriver d;
    car->rcoDriver = &d;
    // Just over the speed limit: 0.0117 a frame.
    car->vel = Vector(0.0117f, 0.0f, 0.0f, 0.0f);
    EXPECT_FALSE(e->StartGettingIn(car));
    car->vel = Vector(0.0116f, 0.0f, 0.0f, 0.0f);
    car->angvel = Vector(0.0f, 0.14f, 0.0f, 0.0f);   // 0.0196 squared: spinning
    EXPECT_FALSE(e->StartGettingIn(car));
    car->angvel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    car->mat.y = Vector(0.0f, -1.0f, 0.0f, 0.0f);   // on its roof (y points down)
    car->mat.x = Vector(-1.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_FALSE(e->StartGettingIn(car));
    EXPECT_TRUE(d.codes.empty());
    car->mat = Matrix(true);
    d.answer = 0;   // the driver will not wait
    EXPECT_FALSE(e->StartGettingIn(car));
    EXPECT_EQ(d.codes.size(), 1u);
    // Accepted: the nearer (left) door, 101 with param 1, the car marked.
    d.answer = 1;
    EXPECT_TRUE(e->StartGettingIn(car));
    EXPECT_EQ(d.codes.back(), SMSG_CD_SUSPEND);
    EXPECT_EQ(d.param0, 1);
    EXPECT_EQ(d.asker, e);
    EXPECT_EQ(e->car, car);
    EXPECT_TRUE(car->flags & 0x20);
    EXPECT_EQ(e->mode2, 59);
    car->rcoDriver = nullptr;
}

TEST_F(EnemyGetsIn, ACarWithOnlyARightDoorIsEnteredFromTheRight)
{
    tools::P2BFile file = tools::SampleVehicleFile(1);
    for (NODE& n : file.nodes)
        if (n.model == tools::kVehGetInLeft)
            n.model = 0x8070;   // no left door
    CarFile f(file);
    Vehicle* car = Make(f, 1);
    ASSERT_NE(car, nullptr);
    WillingDriver d;
    car->rcoDriver = &d;
    Enemy* e = Walker(VectorPos(-2.0f, 0.0f, 0.0f));   // standing on the left
    EXPECT_TRUE(e->StartGettingIn(car));
    EXPECT_EQ(e->mode2, 60);
    car->rcoDriver = nullptr;
}

TEST_F(EnemyGetsIn, PutInSeatsAtTheSeatNodeAndTellsTheEventObject)
{
    CarFile f(1);
    Vehicle* car = Make(f, 1);
    ASSERT_NE(car, nullptr);
    Enemy* e = Walker(VectorPos(-2.0f, 0.0f, 0.0f));
    struct Events : Object
    {
        static int mh(Object* o, OBJMESSAGE msg, void* data)
        {
            if (msg == OM_SPECIAL) {
                auto* self = static_cast<Events*>(o);
                self->code = static_cast<SpecialMessage*>(data)->submsg;
                self->param0 = static_cast<SpecialMessage*>(data)->param[0];
            }
            return 0;
        }
        Events() : Object(mh) {}
        int code = 0;
        Object* param0 = nullptr;
    } events;
    e->gameeventobj = &events;
    e->flags |= 0x80;
    e->PutIn(car, 0);
    EXPECT_EQ(e->parent, car);
    EXPECT_EQ(e->car, car);
    EXPECT_FALSE(e->flags & 0x80);
    NODE* seat = car->FindNode(0x8000);
    ASSERT_NE(seat, nullptr);
    EXPECT_EQ(e->mat.GetTrans(), VectorPos(seat->Pos() - car->vdCOGOffset));
    EXPECT_EQ(events.code, SMSG_EV_ENEMY_IN_CAR);
    EXPECT_EQ(events.param0, car);
    EXPECT_EQ(e->gotincartime, world.time);
    EXPECT_EQ(e->mode, 8);   // driving
    e->Detach();
}
