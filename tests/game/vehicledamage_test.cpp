// Car damage and drivers: the spread of a hit over the four body parts, the
// parts that break and the doors that swing free as a part weakens, the
// wreck, the repair; the mesh driver seated, thrown out as a pedestrian and
// counted once; the player pulled out of his car.
#include "game/vehicle_support.h"
#include "game/explode_support.h"

#include "tools/lib/humanoid.h"

#include <set>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Bystander.h"
#include "game/cardrivr.h"
#include "game/explosn.h"

using namespace vehtest;
using explodetest::SlotFile;

namespace {

// A character that notes every special message with its first parameter.
struct Character : public Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL) {
            auto* m = static_cast<SpecialMessage*>(data);
            static_cast<Character*>(o)->heard.push_back({m->submsg, m->param[0].i});
        }
        return 0;
    }
    explicit Character(int who) : Object(mh)
    {
        id = s16(who);
        type = OBJT_CHARACTER;
    }
    std::vector<std::pair<int, int>> heard;
};

constexpr int kDriverSlot = 120;

class VehicleDamage : public VehicleWorld
{
protected:
    CarFile file{0};

    void TearDown() override
    {
        world.Clear();
        VehicleWorld::TearDown();
    }

    // The explosion record under the node obj was last built from.
    static bool ShowsDamagedForm(Object* obj)
    {
        return obj != nullptr && obj->mdlfile != nullptr && (obj->mdlfile->nodes[obj->index].model >> 12) == 15;
    }
    static bool Swinging(Object* o) { return o != nullptr && o->messagehandler == &CarDoor::CarDoor_mh; }
    static int Count(OBJTYPE t)
    {
        int n = 0;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            n += l->data->type == t ? 1 : 0;
        return n;
    }
    // The car's child of id `id`, or the window `id` under its door.
    static Object* Part(Vehicle* v, int id)
    {
        for (Object* c = v->child; c != nullptr; c = c->sibling) {
            if (c->id == id)
                return c;
            for (Object* g = c->child; g != nullptr; g = g->sibling)
                if (g->id == id)
                    return g;
        }
        return nullptr;
    }
    // The tint sets of the models under first and its siblings.
    static std::set<int> Tints(Object* first)
    {
        std::set<int> t;
        for (Object* c = first; c != nullptr; c = c->sibling) {
            if (c->geom != nullptr)
                t.insert(c->geom->params[0]);
            const std::set<int> below = Tints(c->child);
            t.insert(below.begin(), below.end());
        }
        return t;
    }
    void Drop(Vehicle* v)
    {
        cars.erase(std::find(cars.begin(), cars.end(), v));
        v->Delete();
    }
};

}  // namespace

TEST_F(VehicleDamage, AHitSpreadsNearestPartFirstAndBreaksPartsAsTheyPassTheirThresholds)
{
    Vehicle* v = Make(file, 0);
    // A front hit of 8 on four parts of 10: three quarters from the front,
    // the rest from the side of the hit's x.
    for (float& p : v->rgpartstrength)
        p = 10.0f;
    VectorPos front(0.1f, 0.0f, v->radius);
    v->DamageVehicleAt(front, 8.0f);
    EXPECT_FLOAT_EQ(v->rgpartstrength[0], 4.0f);
    EXPECT_FLOAT_EQ(v->rgpartstrength[2], 8.0f);
    EXPECT_FLOAT_EQ(v->rgpartstrength[1], 10.0f);
    EXPECT_FLOAT_EQ(v->rgpartstrength[3], 10.0f);
    EXPECT_FLOAT_EQ(v->strength, 92.0f);
    EXPECT_FALSE(Swinging(Part(v, 16)));

    // What the parts in turn leave flows round them again: a front of 10
    // with the rest spent takes 6 and then the other 2 of a hit of 8.
    v->rgpartstrength[0] = 10.0f;
    v->rgpartstrength[1] = v->rgpartstrength[2] = v->rgpartstrength[3] = 0.0f;
    v->DamageVehicleAt(front, 8.0f);
    EXPECT_FLOAT_EQ(v->rgpartstrength[0], 2.0f);
    EXPECT_FLOAT_EQ(v->strength, 84.0f);
    // Once every part is spent the rest of the hit is lost (and the spread
    // ends): the rear's 3 of a hit of 8.
    v->rgpartstrength[0] = 0.0f;
    v->rgpartstrength[3] = 3.0f;
    v->DamageVehicleAt(front, 8.0f);
    for (float p : v->rgpartstrength)
        EXPECT_FLOAT_EQ(p, 0.0f);
    EXPECT_FLOAT_EQ(v->strength, 76.0f);
    v->DamageVehicleAt(front, 8.0f);
    EXPECT_FLOAT_EQ(v->strength, 68.0f);

    // The -x side from 97.6 % to 93 % of its full 25: 1.15 of a hit of
    // 1.15 / 0.75 on it (the rest to the rear), past 0.975 and 0.95 but not
    // 0.92: windows 31 and 33 break in this one call and door 16 swings.
    Vehicle* w = Make(file, 0, VectorPos(5.0f, 0.0f, 0.0f));
    for (float& p : w->rgpartstrength)
        p = 25.0f;
    w->rgpartstrength[1] = 24.4f;
    const int debris = Count(OBJT_DEBRIS);
    VectorPos side(-0.3f, 0.0f, 0.0f);
    w->DamageVehicleAt(side, 1.15f / 0.75f);
    EXPECT_NEAR(w->rgpartstrength[1], 23.25f, 1e-5f);
    EXPECT_NEAR(w->rgpartstrength[3], 25.0f - (1.15f / 0.75f - 1.15f), 1e-5f);
    EXPECT_TRUE(ShowsDamagedForm(Part(w, 31)));
    EXPECT_TRUE(ShowsDamagedForm(Part(w, 33)));
    EXPECT_FALSE(ShowsDamagedForm(Part(w, 16)));
    EXPECT_FALSE(ShowsDamagedForm(Part(w, 32)));
    EXPECT_TRUE(Swinging(Part(w, 16)));
    EXPECT_FALSE(Swinging(Part(w, 18)));
    EXPECT_EQ(Part(w, 31)->parent, Part(w, 16));   // the window swings with its door
    EXPECT_EQ(Count(OBJT_DEBRIS), debris + 2);
    // The next threshold breaks door 16 itself; the door is made only once.
    w->DamageVehicleAt(side, 0.5f / 0.75f);
    EXPECT_TRUE(ShowsDamagedForm(Part(w, 16)));
    EXPECT_TRUE(Swinging(Part(w, 16)));
}

TEST_F(VehicleDamage, TheLastHitTellsTheDriverThrowsHimOutAndExplodesTheCarOnce)
{
    Vehicle* v = Make(file, 0);
    Character* driver = new Character(7);
    v->Attach(driver);
    v->rcoDriver = driver;
    v->flags |= OBJF_DRAWSELF;
    VectorPos at(0.0f, 0.0f, -v->radius);
    v->DamageVehicleAt(at, 30.0f);
    ASSERT_EQ(driver->heard.size(), 1u);
    EXPECT_EQ(driver->heard[0], std::make_pair(int(SMSG_DAMAGE), 15));
    EXPECT_FALSE(ShowsDamagedForm(v));
    v->DamageVehicleAt(at, 500.0f);
    EXPECT_EQ(v->strength, 0.0f);
    ASSERT_EQ(driver->heard.size(), 2u);
    EXPECT_EQ(driver->heard[1], std::make_pair(int(SMSG_DAMAGE), 1000));
    EXPECT_TRUE(ShowsDamagedForm(v));   // the burnt-out body
    EXPECT_FALSE(v->flags & OBJF_DRAWSELF);
    EXPECT_TRUE(v->HasCollision());
    // Every part is spent: a further hit ends at once, and the wreck does
    // not blow up again.
    for (float p : v->rgpartstrength)
        EXPECT_EQ(p, 0.0f);
    v->flags |= OBJF_DRAWSELF;
    v->DamageVehicleAt(at, 50.0f);
    EXPECT_TRUE(v->flags & OBJF_DRAWSELF);
    EXPECT_EQ(v->strength, 0.0f);

    // No damage at all reaches the player's car while he is super-strong.
    GameController gc;
    gc.bSuperDace = true;
    g_pgcTest = &gc;
    Vehicle* p = Make(file, 0, VectorPos(5.0f, 0.0f, 0.0f));
    Character dace(-1);
    p->rcoDriver = &dace;
    p->DamageVehicleAt(at, 40.0f);
    EXPECT_EQ(p->strength, 100.0f);
    EXPECT_EQ(p->rgpartstrength[3], 25.0f);
    p->rcoDriver = nullptr;
    g_pgcTest = nullptr;
}

TEST_F(VehicleDamage, ARepairRebuildsTheCarKeepingItsDriversAndTyres)
{
    Vehicle* v = Make(file, 0);
    v->i8Tint = 3;
    Character* driver = new Character(7);
    v->Attach(driver);
    v->rcoDriver = driver;
    v->wheel[2]->CauseDamage();
    const float radius = v->wheel[2]->radius / 0.7f;
    VectorPos side(0.3f, 0.0f, 0.0f);
    v->DamageVehicleAt(side, 20.0f);
    ASSERT_TRUE(Swinging(Part(v, 17)));
    ASSERT_NE(v->doors, 0);
    v->UnDamage(100.0f);
    EXPECT_EQ(v->strength, 100.0f);
    for (float p : v->rgpartstrength)
        EXPECT_EQ(p, 25.0f);
    EXPECT_EQ(v->doors, 0);
    EXPECT_FALSE(Swinging(Part(v, 17)));
    EXPECT_FALSE(ShowsDamagedForm(Part(v, 34)));
    EXPECT_EQ(driver->parent, v);
    EXPECT_EQ(v->steeringwheel, v->FindSubObject(12));
    EXPECT_EQ(Part(v, 17)->geom->params[0], 3);   // the paint's tint again
    for (int i = 0; i < 4; i++) {
        Wheel* w = v->wheel[i];
        EXPECT_EQ(w->parent, v);
        EXPECT_FALSE(w->bDamaged);
        EXPECT_EQ(w->spring, rvi[0].rfK[i / 2]);
        EXPECT_EQ(w->damper, rvi[0].rfD[i / 2]);
        EXPECT_EQ(w->fKinGrip, rvi[0].rfKinGrip[i / 2]);
        EXPECT_EQ(w->fSlip, rvi[0].rfSlip[i / 2]);
        EXPECT_EQ(w->fStaticFact, rvi[0].rfStaticFact[i / 2]);
    }
    EXPECT_FLOAT_EQ(v->wheel[2]->radius, radius);
}

TEST_F(VehicleDamage, TheMeshDriverSitsInTheSeatAndLeavesAsAPedestrianOnce)
{
    tools::HumanoidLook look;
    look.driverCopy = true;
    look.lowDetail = true;
    SlotFile person(kDriverSlot, tools::HumanoidFile(look));
    MdlFileInfo& slot = g_GlobalMFI.rgmfi[kDriverSlot];
    const s16 savedId = slot.i16Id, savedFlags = slot.i16Flags, savedMirror = slot.i16Mirror;
    slot.i16Id = s16(0x100 | 126);
    slot.i16Flags = 0;
    slot.i16Mirror = -1;
    g_GlobalMFI.IncrementRef(kDriverSlot);
    g_GlobalMFI.IncrementRef(kDriverSlot);
    g_GlobalMFI.IncrementRef(kDriverSlot);

    // Without a seated copy there is no driver.
    tools::HumanoidLook plain;
    CarFile standing(tools::HumanoidFile(plain));
    Vehicle* v = Make(file, 0);
    EXPECT_EQ(v->AttachDriver(&standing.mf), nullptr);
    EXPECT_EQ(v->FindMeshDriver(), nullptr);

    // Seated at the left seat, unmoved by a shifted centre of gravity.
    v->AdjustCenterOfGravity(VectorDir(0.0f, 0.05f, 0.02f));
    Object* mesh = v->AttachDriver(person.mf());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->id, 129);
    EXPECT_EQ(mesh->parent, v);
    EXPECT_EQ(v->FindMeshDriver(), mesh);
    const NODE* seat = file.mf.FindNode1(file.mf.nodes[v->i16OrigIndex].child, tools::kVehSeatLeft);
    ASSERT_NE(seat, nullptr);
    EXPECT_NEAR(mesh->mat.w[0], seat->pos[0], 1e-6f);
    EXPECT_NEAR(mesh->mat.w[1], seat->pos[1] - 0.05f, 1e-6f);
    EXPECT_NEAR(mesh->mat.w[2], seat->pos[2] - 0.02f, 1e-6f);
    EXPECT_NE(mesh->child, nullptr);
    mesh->mode = 2;   // the driver's tint

    Driver* ai = new Driver(5);
    v->Attach(ai);
    v->rcoDriver = ai;
    Object* jacker = new Character(-1);
    const int t0 = world.time;
    Object* out = v->KickOutDriver(Vehicle::KICKOUT_PULLOUT, true, jacker);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->messagehandler, &Bystander::Bystander_mh);
    Bystander* ped = static_cast<Bystander*>(out);
    EXPECT_EQ(ped->id, 100);
    EXPECT_EQ(ped->charid, 126);
    EXPECT_EQ(ped->fScale, 1.0f);
    EXPECT_EQ(ped->type, OBJT_CHARACTER);
    // Put in the seat, then pulled out (mode 2) by the jacker it now fears
    // or hates.
    EXPECT_EQ(ped->car, v);
    EXPECT_EQ(ped->parent, v);
    EXPECT_EQ(ped->mode, 2);
    EXPECT_EQ(ped->thoughtobj.p, jacker);
    EXPECT_TRUE(ped->thought == Bystander::Thought_Angry || ped->thought == Bystander::Thought_Scared);
    EXPECT_TRUE(ped->flags & 0x20000);
    EXPECT_NE(ped->child, nullptr);   // the whole character's body
    EXPECT_EQ(Tints(ped->child), std::set<int>{2});   // the driver's tint on every model
    EXPECT_EQ(v->FindMeshDriver(), nullptr);
    EXPECT_EQ(ai->heard, std::vector<int>{SMSG_CD_DRIVER_LEFT});
    // Its first timer falls 30 to 37 frames on.
    int due = -1;
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        if (t->obj == ped)
            due = int(u32(t->time) >> 8) - t0;
    EXPECT_GE(due, 30);
    EXPECT_LE(due, 37);
    // A second kick-out finds nobody and tells nobody.
    EXPECT_EQ(v->KickOutDriver(Vehicle::KICKOUT_PULLOUT, true, jacker), nullptr);
    EXPECT_EQ(ai->heard.size(), 1u);

    // The model's count: the car's mesh driver and the pedestrian each give
    // back the one they hold, once.
    // (With a real car driver in the seat, which goes with the car.)
    Vehicle* w = Make(file, 0, VectorPos(5.0f, 0.0f, 0.0f));
    ASSERT_NE(w->AttachDriver(person.mf()), nullptr);
    const auto make = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("CarDriver")));
    ASSERT_NE(make, nullptr);
    Object* cd = reinterpret_cast<Object*>(intptr_t(make(nullptr, OM_CREATE, nullptr)));
    ASSERT_NE(cd, nullptr);
    SpecialMessage putIn(SMSG_PUT_IN_VEHICLE, w);
    cd->SendMessage(OM_SPECIAL, &putIn);
    ASSERT_EQ(w->rcoDriver, cd);
    EXPECT_EQ(cd->refcount, 1);   // the car's seat reference
    EXPECT_EQ(slot.smf.refs, 3);
    {
        RCptr<Object> watch(cd);   // keeps the driver's storage to look at
        Drop(w);
        EXPECT_TRUE(cd->IsDead());
        // Destroyed, the watcher's reference is the last: a dead object's
        // count stands one below its holders.
        EXPECT_EQ(cd->refcount, 0);
    }
    EXPECT_EQ(slot.smf.refs, 2);
    ped->Delete();
    EXPECT_EQ(slot.smf.refs, 1);

    // A slot about to go names no character (not -1 with bit 8 cleared).
    Vehicle* x = Make(file, 0, VectorPos(10.0f, 0.0f, 0.0f));
    ASSERT_NE(x->AttachDriver(person.mf()), nullptr);
    slot.i16Flags = MFI_DELETEABLE;
    auto* ped2 = static_cast<Bystander*>(x->KickOutDriver(Vehicle::KICKOUT_NORMAL, false, nullptr));
    ASSERT_NE(ped2, nullptr);
    EXPECT_EQ(ped2->charid, -1);
    EXPECT_EQ(Bystander::GetPedAggression(ped2->charid), 0.5f);   // no row: the middle temper
    Drop(v);
    Drop(x);
    jacker->Delete();
    world.Clear();
    slot.i16Id = savedId;
    slot.i16Flags = savedFlags;
    slot.i16Mirror = savedMirror;
    slot.smf.refs = 0;
}

TEST_F(VehicleDamage, AJackedPlayerGetsOutOnlyWhenSomeoneElseTakesHisCar)
{
    // A stand-in body with the player's id: it is named as the one thrown
    // out, but only the real player is made to leave (the player's own tests
    // see him get out).
    Vehicle* v = Make(file, 0);
    Character* dace = new Character(-1);
    v->Attach(dace);
    v->rcoDriver = dace;
    Character thief(12);
    EXPECT_EQ(v->KickOutDriver(Vehicle::KICKOUT_NORMAL, false, dace), nullptr);
    EXPECT_EQ(v->KickOutDriver(Vehicle::KICKOUT_NORMAL, false, nullptr), nullptr);
    EXPECT_EQ(v->KickOutDriver(Vehicle::KICKOUT_ANGRY_FIGHT, true, &thief), dace);
    EXPECT_EQ(dace->parent, v);
    // A character other than the player is only named.
    Character* other = new Character(9);
    Vehicle* w = Make(file, 0, VectorPos(5.0f, 0.0f, 0.0f));
    w->Attach(other);
    EXPECT_EQ(w->KickOutDriver(Vehicle::KICKOUT_NORMAL, false, &thief), other);
    v->rcoDriver = nullptr;
}

TEST_F(VehicleDamage, AWreckedCarHasEveryPartBrokenAndItsDriverOut)
{
    Vehicle* v = Make(file, 0);
    v->i8Tint = 4;
    Driver* ai = new Driver(5);
    v->Attach(ai);
    v->rcoDriver = ai;
    tools::HumanoidLook look;
    look.driverCopy = true;
    CarFile person(tools::HumanoidFile(look));
    ASSERT_NE(v->AttachDriver(&person.mf), nullptr);
    EXPECT_EQ(v->DamageTotal(), 0);
    for (int id : {16, 17, 18, 19, 24, 27, 30, 35, 20, 21, 40, 45})
        EXPECT_TRUE(ShowsDamagedForm(Part(v, id))) << id;
    EXPECT_TRUE(ShowsDamagedForm(v));
    EXPECT_TRUE(v->HasCollision());
    EXPECT_FALSE(v->flags & OBJF_NOCOLLISION);
    EXPECT_EQ(v->FindMeshDriver(), nullptr);   // thrown out
    EXPECT_EQ(ai->heard, std::vector<int>{SMSG_CD_DRIVER_LEFT});
    EXPECT_EQ(Part(v, 30)->geom != nullptr ? Part(v, 30)->geom->params[0] : -1, 4);
    EXPECT_EQ(ai->parent, v);   // the car's children are kept
    world.Clear();
}
