// Car contacts: the pushes between two cars shared by who drives them, the
// damage each takes, loose parts and interior floors that push nothing, the
// impact's sound and sparks, the player's pinning move, a character that
// rams the car, and a whole crash into a parked car in the running world.
#include "game/vehicle_support.h"

#include "ZevEngine2/Collision.h"
#include "game/TestPart.h"
#include "game/cardrivr.h"

using namespace vehtest;

namespace {

// A driver whose answer to the asleep query (code 4) is set.
struct Sleeper : public Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == SMSG_CD_QUERY_FLAG)
            return static_cast<Sleeper*>(o)->asleep;
        return 0;
    }
    Sleeper(int who, int a) : Object(mh), asleep(a) { id = s16(who); }
    int asleep;
};

// A character that answers the car's collision query with the next of its
// damages.
struct Rammer : public Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        Rammer* r = static_cast<Rammer*>(o);
        if (msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == SMSG_Q_COLLISION)
            return r->answers[r->asked++];
        if (msg == OM_DIE) {
            delete r;
            return -1;
        }
        return 0;
    }
    Rammer() : Object(mh) { type = OBJT_CHARACTER; }
    std::vector<int> answers;
    size_t asked = 0;
};

// Listens for its special messages and their first object.
struct Listener : public Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL) {
            auto* m = static_cast<SpecialMessage*>(data);
            static_cast<Listener*>(o)->heard.push_back({m->submsg, m->obj, m->param[0].p});
        }
        return 0;
    }
    explicit Listener(int who = 5) : Object(mh) { id = s16(who); }
    struct Heard
    {
        int code;
        Object* obj;
        void* p0;
    };
    std::vector<Heard> heard;
};

class CarContacts : public VehicleWorld
{
protected:
    CarFile file{0};
    GameController gc;

    void SetUp() override
    {
        VehicleWorld::SetUp();
        gc.bEnableAllCarMoves = true;
        g_pgcTest = &gc;
    }
    void TearDown() override
    {
        for (Vehicle* v : cars)
            v->rcoDriver = nullptr;
        world.Clear();
        VehicleWorld::TearDown();
    }

    // The record of a's body box touching b's, seen from a.
    static CollisionRecord Contact(Object* a, Object* b, Object* partA = nullptr)
    {
        CollisionRecord cr(a, b);
        cr.Set(a->GetCollision(), b->GetCollision(), partA != nullptr ? partA : a, b);
        cr.SaveMatrix(a->GetWorldMatrix(), b->GetWorldMatrix());
        return cr;
    }
    // Car a driving into the rear of b along +z at `speed`, their boxes
    // `overlap` into each other.
    std::pair<Vehicle*, Vehicle*> RearEnd(float speed, float overlap = 0.05f)
    {
        Vehicle* a = Make(file, 0, VectorPos(0.0f, 0.0f, 0.0f));
        const float len = 2.0f * tools::SampleVehicleHalfLength(0);
        Vehicle* b = Make(file, 0, VectorPos(0.0f, 0.0f, len - overlap));
        a->vel = Vector(0.0f, 0.0f, speed, 0.0f);
        return {a, b};
    }
    static int Started(u16 index)
    {
        int n = 0;
        for (int i = 0; i < SOUND_VCHANNELS; i++) {
            const vchannel* c = sound.GetChannel(i);
            n += (c->flags & VCHAN_START) && c->curbank == sndbank_car && c->bankindex == index ? 1 : 0;
        }
        return n;
    }
    static int Sparklers()
    {
        int n = 0;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            n += l->data->messagehandler == Sparkler::Sparkler_mh ? 1 : 0;
        return n;
    }
};

}  // namespace

// A rear-end at 0.1 a frame: the push is the closing momentum over four
// masses (0.1 x 1.1 / 4.4 = 0.025) plus an eighth of the overlap on the
// striking car; shares from who drives; damage 50 per unit of push, four
// times on a computer's car hit by the player, none between two computers.
TEST_F(CarContacts, PushesAndDamageFollowWhoDrivesEachCar)
{
    Listener aiA(5), aiB(6);
    auto [a, b] = RearEnd(0.1f);
    a->rcoDriver = &aiA;
    b->rcoDriver = &aiB;
    CollisionRecord cr = Contact(a, b);
    EXPECT_EQ(a->Collide(cr), 2);
    EXPECT_LT(a->vel[2], 0.1f);
    EXPECT_GT(b->vel[2], 0.0f);
    EXPECT_EQ(a->strength, 100.0f);
    EXPECT_EQ(b->strength, 100.0f);
    EXPECT_EQ(a->iLastCollTime, world.time);
    EXPECT_EQ(b->iLastCollTime, world.time);
    // The other car's driver hears the contact from its own side.
    EXPECT_TRUE(aiB.heard.empty());

    Listener dace(-1), ai(5);
    auto [p, t] = RearEnd(0.1f);
    p->rcoDriver = &dace;
    t->rcoDriver = &ai;
    CollisionRecord cr2 = Contact(p, t);
    ASSERT_EQ(p->Collide(cr2), 2);
    const float c = 0.125f * std::max(-0.0625f, cr2.Dist());
    ASSERT_LT(c, 0.0f);
    const float push = 0.1f * 1.1f / (4.0f * 1.1f);
    // The player takes 0.75 against a computer; the computer 1.25 and four
    // times the damage.
    EXPECT_NEAR(p->strength, 100.0f - (push - c) * 0.75f * 50.0f, 1e-4f);
    EXPECT_NEAR(t->strength, 100.0f - push * 1.25f * 50.0f * 4.0f, 1e-4f);
    // Roles swapped: the player's car rammed by the computer's takes its
    // share without the factor.
    auto [q, u] = RearEnd(0.1f);
    q->rcoDriver = &ai;
    u->rcoDriver = &dace;
    CollisionRecord cr3 = Contact(q, u);
    ASSERT_EQ(q->Collide(cr3), 2);
    EXPECT_NEAR(u->strength, 100.0f - push * 0.75f * 50.0f, 1e-4f);
    EXPECT_NEAR(q->strength, 100.0f - (push - c) * 1.25f * 50.0f * 4.0f, 1e-4f);
}

TEST_F(CarContacts, ShareTableAndASleepingDriversCarTakesNoPush)
{
    Listener dace(-1), ai(5), stand(-2);
    Sleeper sleeping(-3, 1), awake(-3, 0);
    Vehicle* v = Make(file, 0);
    Vehicle* o = Make(file, 0, VectorPos(5.0f, 0.0f, 0.0f));
    auto share = [&](Object* mine, Object* his) {
        v->rcoDriver = mine;
        o->rcoDriver = his;
        return v->CalcCollisionScaleFactor(his == &ai || his == &dace || his == &stand || his == nullptr ? o : o);
    };
    EXPECT_EQ(share(&sleeping, &ai), 0.0f);
    EXPECT_EQ(share(&awake, nullptr), 1.0f);
    EXPECT_EQ(share(&dace, nullptr), 1.0f);
    EXPECT_EQ(share(&dace, &ai), 0.75f);
    EXPECT_EQ(share(&awake, &ai), 0.75f);
    EXPECT_EQ(share(&dace, &stand), 0.75f);
    EXPECT_EQ(share(&awake, &dace), 1.0f);
    EXPECT_EQ(share(&ai, &dace), 1.25f);
    EXPECT_EQ(share(nullptr, &stand), 1.25f);
    EXPECT_EQ(share(&ai, &ai), 1.0f);
    EXPECT_EQ(share(nullptr, nullptr), 1.0f);
    v->rcoDriver = nullptr;
    EXPECT_EQ(v->CalcCollisionScaleFactor(nullptr), 1.0f);

    // The sleeping driver's car is not moved by the contact.
    auto [a, b] = RearEnd(0.1f);
    a->rcoDriver = &dace;
    b->rcoDriver = &sleeping;
    CollisionRecord cr = Contact(a, b);
    a->Collide(cr);
    EXPECT_EQ(b->vel[2], 0.0f);
    EXPECT_EQ(b->angvel[0], 0.0f);
}

TEST_F(CarContacts, LoosePartsAndInteriorFloorsPushNothing)
{
    for (int id : {16, 19, 21, 15, 22}) {
        auto [a, b] = RearEnd(0.1f);
        Object* part = a->FindSubObject(id == 15 ? 16 : id == 22 ? 17 : id);
        if (id == 15 || id == 22)
            part = a;   // the body itself always counts
        ASSERT_NE(part, nullptr) << id;
        CollisionRecord cr = Contact(a, b, part);
        const int answer = a->Collide(cr);
        if (part == a) {
            EXPECT_EQ(answer, 2) << id;
            EXPECT_NE(a->vel[2], 0.1f) << id;
        } else {
            EXPECT_EQ(answer, 0) << id;
            EXPECT_EQ(a->vel[2], 0.1f) << id;
            EXPECT_EQ(b->vel[2], 0.0f) << id;
        }
    }
    // A car resting on an interior's static floor: no reaction; outdoors, or
    // against a wall, it pushes (and, the other having a wreck record, tells
    // of a breakable contact).
    for (int interior = 0; interior < 2; interior++) {
        gc.bInterior = interior != 0;
        Vehicle* car = Make(file, 0, VectorPos(20.0f, 0.0f, 0.0f));
        Vehicle* floor = Make(file, 0, VectorPos(20.0f, 0.4f, 0.0f));
        floor->type = OBJT_STATIC;
        car->vel = Vector(0.0f, 0.01f, 0.0f, 0.0f);
        CollisionRecord cr = Contact(car, floor);
        EXPECT_EQ(car->Collide(cr), interior ? 0 : 2) << interior;
        if (interior)
            EXPECT_EQ(car->vel[1], 0.01f);
        else
            EXPECT_LT(car->vel[1], 0.01f);
    }
    Vehicle* car = Make(file, 0, VectorPos(30.0f, 0.0f, 0.0f));
    const float len = 2.0f * tools::SampleVehicleHalfLength(0);
    Vehicle* wall = Make(file, 0, VectorPos(30.0f, 0.0f, len - 0.05f));
    wall->type = OBJT_STATIC;
    car->vel = Vector(0.0f, 0.0f, 0.1f, 0.0f);
    CollisionRecord cr = Contact(car, wall);
    gc.bInterior = true;
    EXPECT_EQ(car->Collide(cr), 2);
    EXPECT_LT(car->vel[2], 0.1f);
    gc.bInterior = false;
}

// The player's impacts sound by speed (6 or 7 below two speed steps, 4 or
// 5 below five, 8 or 9 above), throw sparks, and then rest 15 to 22.5
// frames; slower than a step, nothing.
TEST_F(CarContacts, ImpactSoundAndSparksOncePerBurst)
{
    Listener dace(-1);
    const float step = 0.0232833f;
    struct Case
    {
        float steps;
        int sample;
    };
    int sparks = Sparklers();
    for (const Case k : {Case{0.9f, -1}, Case{1.5f, 6}, Case{3.0f, 4}, Case{6.0f, 8}}) {
        auto [a, b] = RearEnd(k.steps * step);
        a->rcoDriver = &dace;
        Tick();   // a new car makes no impact effect in its first frame
        const int before = Started(u16(std::max(k.sample, 0))) + Started(u16(std::max(k.sample, 0) + 1));
        CollisionRecord cr = Contact(a, b);
        a->Collide(cr);
        if (k.sample < 0) {
            EXPECT_EQ(Sparklers(), sparks);
            continue;
        }
        EXPECT_EQ(Started(u16(k.sample)) + Started(u16(k.sample + 1)), before + 1) << k.steps;
        EXPECT_EQ(Sparklers(), ++sparks) << k.steps;
        EXPECT_GE(a->iNextCollEffectTime, world.time + 15) << k.steps;
        EXPECT_LE(a->iNextCollEffectTime, world.time + 22) << k.steps;
        EXPECT_EQ(b->iNextCollEffectTime, a->iNextCollEffectTime);
        // At once again: silence.
        CollisionRecord again = Contact(a, b);
        a->Collide(again);
        EXPECT_EQ(Started(u16(k.sample)) + Started(u16(k.sample + 1)), before + 1) << k.steps;
        EXPECT_EQ(Sparklers(), sparks);
    }
}

// The player's car at 40 degrees to a traffic car doing 5 speed steps, its
// front on the other's rear side, pins it; 13 steps, 20 degrees or the
// other's front half do not.
TEST_F(CarContacts, ThePlayerPinsATrafficCarFromItsRearQuarter)
{
    const float deg = 3.1415927f / 180.0f, step = 0.0232833f;
    Listener dace(-1);
    Listener mission(0);
    gc.pMission = &mission;
    struct Case
    {
        float speedSteps, angle, rearZ;
        bool pins;
    };
    for (const Case k : {Case{5, 40, -0.5f, true}, Case{13, 40, -0.5f, false}, Case{5, 20, -0.5f, false},
                         Case{5, 40, 0.3f, false}}) {
        Vehicle* me = Make(file, 0);
        Vehicle* it = Make(file, 0, VectorPos(3.0f, 0.0f, 0.0f));
        Listener driver(5);
        me->rcoDriver = &dace;
        it->rcoDriver = &driver;
        me->mat = RotY(k.angle * deg);
        it->vel = Vector(0.0f, 0.0f, k.speedSteps * step, 0.0f);
        mission.heard.clear();
        const int r = me->CheckPinMove(it, VectorPos(0.0f, 0.0f, 0.7f), VectorDir(0.0f, 0.0f, -1.0f),
                                       VectorPos(-0.28f, 0.0f, k.rearZ), VectorDir(-1.0f, 0.0f, 0.0f));
        EXPECT_EQ(r, k.pins ? 1 : 0) << k.speedSteps << " " << k.angle;
        if (k.pins) {
            EXPECT_EQ(it->vSpecialMove, VSpecialMove_BeingPinned);
            EXPECT_LE(it->iBurstTimeLeft, 90);
            ASSERT_EQ(driver.heard.size(), 1u);
            EXPECT_EQ(driver.heard[0].code, SMSG_CD_PINNED);
            EXPECT_EQ(driver.heard[0].obj, me);
            ASSERT_EQ(mission.heard.size(), 1u);
            EXPECT_EQ(mission.heard[0].code, SMSG_EV_CAR_PINNED);
            EXPECT_EQ(mission.heard[0].obj, it);
            EXPECT_EQ(mission.heard[0].p0, me);
            // Already pinned: not again.
            EXPECT_EQ(me->CheckPinMove(it, VectorPos(0.0f, 0.0f, 0.7f), VectorDir(0.0f, 0.0f, -1.0f),
                                       VectorPos(-0.28f, 0.0f, k.rearZ), VectorDir(-1.0f, 0.0f, 0.0f)),
                      0);
        } else {
            EXPECT_EQ(it->vSpecialMove, VSpecialMove_None);
            EXPECT_TRUE(driver.heard.empty());
            EXPECT_TRUE(mission.heard.empty());
        }
        me->rcoDriver = it->rcoDriver = nullptr;
    }
    // Without the move learned nothing happens.
    gc.bEnableAllCarMoves = false;
    gc.stats.carAbility = 0;
    Vehicle* me = Make(file, 0);
    Vehicle* it = Make(file, 0, VectorPos(3.0f, 0.0f, 0.0f));
    me->rcoDriver = &dace;
    me->mat = RotY(40.0f * deg);
    it->vel = Vector(0.0f, 0.0f, 5.0f * step, 0.0f);
    EXPECT_EQ(me->CheckPinMove(it, VectorPos(0.0f, 0.0f, 0.7f), VectorDir(0.0f, 0.0f, -1.0f),
                               VectorPos(-0.28f, 0.0f, -0.5f), VectorDir(-1.0f, 0.0f, 0.0f)),
              0);
    gc.pMission = nullptr;
}

// A character answering 2.0 and then 3.0 within 30 frames deals 2 and then
// 1; after a longer pause its answer counts whole again.
TEST_F(CarContacts, ACharacterRammingTheCarDealsOnlyTheGrowthOfItsDamage)
{
    Vehicle* car = Make(file, 0);
    Rammer* r = new Rammer;
    r->mdlfile = &file.mf;
    r->index = u16(car->i16OrigIndex);
    r->collision = car->collision;
    r->mat = TransMatrix(VectorPos(0.0f, 0.0f, 1.4f));
    r->flags |= 0x1000;
    r->answers = {2, 3, 3, 1};
    Listener driver(5);
    car->rcoDriver = &driver;
    auto ram = [&] {
        CollisionRecord cr = Contact(car, r);
        return car->Collide(cr);
    };
    EXPECT_EQ(ram(), 0);
    EXPECT_FLOAT_EQ(car->strength, 98.0f);
    for (int i = 0; i < 20; i++)
        Tick();
    EXPECT_EQ(ram(), 0);
    EXPECT_FLOAT_EQ(car->strength, 97.0f);
    for (int i = 0; i < 31; i++)
        Tick();
    EXPECT_EQ(ram(), 0);
    EXPECT_FLOAT_EQ(car->strength, 94.0f);
    // Less than the running total deals nothing.
    EXPECT_EQ(ram(), 0);
    EXPECT_FLOAT_EQ(car->strength, 94.0f);
    // A part without the flag is not asked.
    r->flags &= ~0x1000u;
    EXPECT_EQ(ram(), 0);
    EXPECT_EQ(r->asked, 4u);
    r->Delete();
}
