// Building cars and motorbikes from the sample vehicle group, their tuning
// and abilities, and the car's frame and messages.
#include "vehicle_support.h"

#include "game/Guy.h"
#include "game/particle_support.h"
#include "game/smoke.h"

namespace {

using namespace vehtest;

class VehicleBuild : public VehicleWorld
{
};

TEST_F(VehicleBuild, SedanStandsOnFourSprungWheelsWithItsRowsTuning)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0, VectorPos(3.0f, -2.0f, 4.0f));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, OBJT_VEHICLE);
    EXPECT_TRUE(v->flags & OBJF_FRAMECALL);
    EXPECT_FALSE(v->bCycle);
    // Every wheel: its mount's height as rest, the bump stop 0.1171875 above
    // it, steered fronts and driven rears, no collision of its own, and the
    // right-hand wheels turned half round.
    for (int i = 0; i < 4; i++) {
        Wheel* w = v->wheel[i];
        ASSERT_NE(w, nullptr) << i;
        EXPECT_EQ(w->parent, v);
        EXPECT_FLOAT_EQ(w->rest, -tools::kVehWheelRadius);
        EXPECT_EQ(w->yoffset, w->rest - 0.1171875f);
        EXPECT_EQ(w->flags & (WHEELF_STEERED | WHEELF_DRIVEN), i < 2 ? WHEELF_STEERED : WHEELF_DRIVEN);
        EXPECT_TRUE(w->flags & OBJF_NOCOLLISION);
        EXPECT_EQ(w->ang.z, (i & 1) ? 3.1415927f : 0.0f);
        EXPECT_FLOAT_EQ(w->radius, tools::kVehWheelRadius);
        EXPECT_EQ(w->iChan, -1);
        EXPECT_EQ(w->spring, rvi[0].rfK[i / 2]);
        EXPECT_EQ(w->damper, rvi[0].rfD[i / 2]);
        EXPECT_EQ(w->fSlip, rvi[0].rfSlip[i / 2]);
    }
    EXPECT_EQ(v->gear, 1);
    EXPECT_EQ(v->fBrake, 0.01f);
    EXPECT_EQ(v->strength, 100.0f);
    for (float p : v->rgpartstrength)
        EXPECT_EQ(p, 25.0f);
    EXPECT_EQ(v->fMaxCarSpeed, 0.23283331f);
    EXPECT_EQ(v->Cd, 0.0071f);
    EXPECT_EQ(v->rI[0], 4.1f);
    EXPECT_EQ(v->rI[2], 5.1f);
    EXPECT_EQ(v->enginesndchan[0], -1);
    EXPECT_EQ(v->iSndSiren, -1);
    EXPECT_NE(v->steeringwheel, nullptr);
    EXPECT_EQ(v->steeringwheel, v->FindSubObject(tools::kVehSteeringWheelId));
    // On the ground (no city: y 0) under its start.
    EXPECT_EQ(v->Pos(), VectorPos(3.0f, 0.0f, 4.0f));
    EXPECT_EQ(v->CalcBodyRestOffset(), v->wheel[0]->rest - 0.00023417956f / 0.015625f);
    int start = -1;
    EXPECT_EQ(v->iGetNumTintSets(&start), 1);
    EXPECT_EQ(start, 0);
}

TEST_F(VehicleBuild, MotorbikeHasTwoWheelsOnItsForkAndSwingArm)
{
    CarFile f(14);
    Vehicle* v = Make(f, 14);
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->bCycle);
    EXPECT_EQ(v->wheel[2], nullptr);
    EXPECT_EQ(v->wheel[3], nullptr);
    ASSERT_NE(v->pobjFork, nullptr);
    ASSERT_NE(v->pobjSlider, nullptr);
    ASSERT_NE(v->pobjSwingArm, nullptr);
    EXPECT_EQ(v->pobjSlider->parent, v->pobjFork);
    ASSERT_NE(v->wheel[0], nullptr);
    ASSERT_NE(v->wheel[1], nullptr);
    EXPECT_EQ(v->wheel[0]->parent, v->pobjSlider);
    EXPECT_EQ(v->wheel[1]->parent, v->pobjSwingArm);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(v->wheel[i]->yoffset, v->wheel[i]->rest - 0.078125f);
        EXPECT_EQ(v->wheel[i]->flags & (WHEELF_STEERED | WHEELF_DRIVEN), i == 0 ? WHEELF_STEERED : WHEELF_DRIVEN);
        EXPECT_EQ(v->wheel[i]->ang.z, 0.0f);
    }
    // The rear wheel's rest: its mount carried through the swing arm.
    EXPECT_FLOAT_EQ(v->wheel[1]->rest, -0.2f + 0.1f);
}

TEST_F(VehicleBuild, PoliceModelKeepsOnlyItsTypesOptionalParts)
{
    CarFile f(27);
    struct Want
    {
        int type;
        bool bar, push;
    };
    for (Want w : {Want{27, true, false}, Want{37, false, false}, Want{38, false, true}}) {
        Vehicle* v = Make(f, w.type);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->FindSubObject(tools::kVehLightBarId) != nullptr, w.bar) << w.type;
        EXPECT_EQ(v->FindSubObject(tools::kVehPushBarId) != nullptr, w.push) << w.type;
    }
    // Other types keep both.
    Vehicle* other = Make(f, 5);
    EXPECT_NE(other->FindSubObject(tools::kVehLightBarId), nullptr);
    EXPECT_NE(other->FindSubObject(tools::kVehPushBarId), nullptr);
}

TEST_F(VehicleBuild, NegativeNodesResolveThroughIdsZeroAndOne)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    EXPECT_EQ(v->i16OrigIndex, tools::kVehBodyNode);
    EXPECT_EQ(v->wheel[0]->index, 1);   // the front wheel model follows the body
    EXPECT_EQ(v->wheel[2]->index, 2);   // the rear one
    // A file with neither id: -1 for both, and the car is still made.
    tools::P2BFile bare;
    bare.models.push_back(tools::BoxModel(0.5f, 0.2f, 0.7f, TEXID_NONE, false));
    bare.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 9));
    CarFile b(bare);
    Vehicle* w = Make(b, 3);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->i16OrigIndex, -1);
    EXPECT_EQ(w->wheel[0]->radius, 0.0f);
    // Types outside the table make nothing.
    EXPECT_EQ(CreateVehicle(&f.mf, -1, -1, VectorPos(0, 0, 0), 60), nullptr);
}

TEST_F(VehicleBuild, NoMemoryForAWheelFreesTheHalfBuiltCar)
{
    CarFile f(0);
    // A hole the size of the car's own record, and nothing else free.
    void* hole = calloc(1, sizeof(Vehicle));
    ASSERT_NE(hole, nullptr);
    std::vector<void*> taken;
    for (size_t size = size_t(1) << 26; size >= 16; size /= 2)
        while (void* p = malloc(size))
            taken.push_back(p);
    // Blocks freed low in the heap by earlier work are left to calloc, which
    // objects are made with: those go too.
    for (size_t size = size_t(1) << 26; size >= 16; size /= 2)
        while (void* p = calloc(1, size))
            taken.push_back(p);
    free(hole);
    Vehicle* v = CreateVehicle(&f.mf, -1, -1, VectorPos(0, 0, 0), 0);
    // The record came back: the next record of its size goes where it was.
    void* again = calloc(1, sizeof(Vehicle));
    for (void* p : taken)
        free(p);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(again, hole);
    free(again);
    // With memory back it is made.
    EXPECT_NE(Make(f, 0), nullptr);
}

TEST_F(VehicleBuild, BurstTyresAndAbilities)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    Wheel* w = v->wheel[1];
    const float radius = w->radius, slip = w->fSlip, damper = w->damper;
    EXPECT_TRUE(w->CauseDamage());
    EXPECT_TRUE(w->CauseDamage());
    EXPECT_TRUE(w->bDamaged);
    EXPECT_EQ(w->radius, radius * 0.7f);
    EXPECT_EQ(w->fSlip, slip * 0.0125f);
    EXPECT_EQ(w->damper, damper * 0.25f);
    // A reload restores the whole tyres, not the burst one.
    v->wheel[0]->fSlip = 1.0f;
    v->fMaxCarSpeed = 9.0f;
    v->ReloadVehicleParams();
    EXPECT_EQ(v->wheel[0]->fSlip, rvi[0].rfSlip[0]);
    EXPECT_EQ(w->fSlip, slip * 0.0125f);
    EXPECT_EQ(v->fMaxCarSpeed, rvi[0].fMaxCarSpeed);

    // Abilities: none without a controller.
    EXPECT_FALSE(v->CarAbility(PEEL_OUT));
    Vehicle::SetCarAbility(PEEL_OUT, 1);   // nothing to write to: no crash
    GameController gc;
    g_pgcTest = &gc;
    gc.stats.carAbility = PEEL_OUT | NITRO_UPGRADE | TWOWHEEL_TRICK;
    EXPECT_TRUE(v->CarAbility(NITRO_UPGRADE));
    EXPECT_FALSE(v->CarAbility(EMERGENCY_STOP));
    Vehicle::SetCarAbility(PEEL_OUT | NITRO_UPGRADE, 0);
    EXPECT_EQ(gc.stats.carAbility, u32(TWOWHEEL_TRICK));
    Vehicle::SetCarAbility(EMERGENCY_STOP, 1);
    EXPECT_EQ(gc.stats.carAbility, u32(TWOWHEEL_TRICK | EMERGENCY_STOP));
    gc.bEnableAllCarMoves = true;
    EXPECT_TRUE(v->CarAbility(DOWNSHIFT_BOOST));
    for (int m = VSpecialMove_EmergencyStop; m <= VSpecialMove_PeelOutBurst; m++) {
        v->vSpecialMove = VSpecialMove(m);
        EXPECT_FALSE(v->CarAbility(DOWNSHIFT_BOOST)) << m;
    }
    g_pgcTest = nullptr;
}

TEST_F(VehicleBuild, TuningTableRowsAsGiven)
{
    EXPECT_EQ(rvi[14].rfSlip[1], 110.0f);
    EXPECT_EQ(rvi[14].fMass, 0.3f);
    EXPECT_EQ(rvi[26].fBrakeCoeff, 0.06f);
    EXPECT_EQ(rvi[37].i16StartTintOffset, 2);
    EXPECT_EQ(rvi[37].i16NumTintSets, 3);
    EXPECT_EQ(rvi[10].i8HornType, 0);
    EXPECT_EQ(rvi[4].i8HornType, 2);
    EXPECT_EQ(rvi[17].fMaxCarSpeed, 0.116416655f);
    for (int r = 40; r < NUM_VEHICLE_TYPES; r++)
        EXPECT_EQ(std::memcmp(&rvi[r], &rvi[39], sizeof(Vehicle_Info)), 0) << r;
    EXPECT_EQ(rvi[39].rfD[1], 0.070331f);
    for (const Vehicle_Info& i : rvi) {
        EXPECT_EQ(i.fStrength, 100.0f);
        EXPECT_GE(i.i8HornType, 0);
        EXPECT_LE(i.i8HornType, 2);
    }
    EXPECT_TRUE(Vehicle::bIsACycle(14) && Vehicle::bIsACycle(30) && Vehicle::bIsACycle(31));
    EXPECT_FALSE(Vehicle::bIsACycle(13) || Vehicle::bIsACycle(27));
}

TEST_F(VehicleBuild, CentreOfGravityMovesTheBodyNotTheCar)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    const VectorPos wheelWorld = v->wheel[2]->GetWorldPos();
    const float rest = v->wheel[2]->rest;
    v->AdjustCenterOfGravity(VectorDir(0.0f, 0.05f, 0.1f));
    EXPECT_NEAR(Length(v->wheel[2]->GetWorldPos() - wheelWorld), 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(v->wheel[2]->rest, rest - 0.05f);
    EXPECT_FLOAT_EQ(v->vdCOGOffset[2], 0.1f);
}

// The car's frame and messages.
class VehicleFrame : public VehicleWorld
{
protected:
    static int Live(PartManager* m)
    {
        int n = 0;
        if (m != nullptr)
            for (Particle* p = m->list.Head(); !p->IsEOList(); p = p->Next())
                n++;
        return n;
    }
    static void Frame(Vehicle* v)
    {
        Tick();
        v->SendMessage(OM_FRAME, &world);
    }
};

TEST_F(VehicleFrame, DamageShowsFireSmokeOrSteamByStrength)
{
    parttest::LoadResidentFiles();
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->gear = 0;   // no physics: only the frame's own steps
    struct Case
    {
        float strength;
        int fire, smoke, steam;
    };
    for (Case c : {Case{19.0f, 1, 0, 0}, Case{20.0f, 0, 1, 0}, Case{50.0f, 0, 0, 1}, Case{70.0f, 0, 0, 0}}) {
        const int fire = Live(EngineFire::manager), smoke = Live(EngineSmoke::manager),
                  steam = Live(EngineSteam::manager);
        v->strength = c.strength;
        Frame(v);
        EXPECT_EQ(Live(EngineFire::manager) - fire, c.fire) << c.strength;
        EXPECT_EQ(Live(EngineSmoke::manager) - smoke, c.smoke) << c.strength;
        EXPECT_EQ(Live(EngineSteam::manager) - steam, c.steam) << c.strength;
    }
    // Brakes on in a forward gear or neutral light the brake lights.
    v->fBrake = 0.01f;
    Frame(v);
    EXPECT_EQ(v->iLastBrakeLightTime, world.time);
    // The fade: full once past 16 frames.
    EXPECT_EQ(v->nFrames, 5);
    while (v->nFrames < 16)
        Frame(v);
    EXPECT_EQ(v->fFade, 0.0f);
    Frame(v);
    EXPECT_EQ(v->fFade, 1.0f);
}

TEST_F(VehicleFrame, HornAndSirenReachPedestriansAndDriversWithinReach)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0, VectorPos(10.0f, 0.0f, 10.0f));
    Vehicle* other = Make(f, 5, VectorPos(25.0f, 0.0f, 10.0f));   // 15 away
    Driver mine(3), theirs(4);
    v->rcoDriver = &mine;
    other->rcoDriver = &theirs;
    v->SendMessage(OM_INIT, nullptr);
    other->SendMessage(OM_INIT, nullptr);
    EXPECT_TRUE(v->flags & 0x40);
    Driver nearPed(20), abovePed(21), farPed(22);
    nearPed.SetPos(VectorPos(17.0f, 0.0f, 10.0f));
    abovePed.SetPos(VectorPos(10.0f, -30.0f, 10.0f));   // straight above
    farPed.SetPos(VectorPos(10.0f, 0.0f, 31.0f));
    for (Object* p : {static_cast<Object*>(&nearPed), static_cast<Object*>(&abovePed), static_cast<Object*>(&farPed)})
        world.pedlist.AddTail(p);
    v->gear = 0;
    v->bHorn = true;
    v->bSiren = true;
    // Only on frames with (time + 2) % 4 == 0.
    while ((world.time + 3) % 4 != 0)
        Tick();
    Frame(v);
    Frame(v);
    Frame(v);
    // Siren (20) before horn (10): the near ones hear both, the other
    // driver at 15 only the siren; the car's own driver both.
    const std::vector<int> both{SMSG_EV_CAR_NEAR_20, SMSG_EV_CAR_NEAR_10};
    EXPECT_EQ(nearPed.heard, both);
    EXPECT_EQ(abovePed.heard, both);
    EXPECT_TRUE(farPed.heard.empty());
    EXPECT_EQ(mine.heard, both);
    EXPECT_EQ(theirs.heard, std::vector<int>{SMSG_EV_CAR_NEAR_20});
    world.pedlist.RemoveAll();
    // Driven by the player, the player's events hear it too.
    Guy* player = new Guy;
    player->id = -1;
    Driver events(30);
    player->gameeventobj = &events;
    v->rcoDriver = player;
    Frame(v);
    Frame(v);
    Frame(v);
    Frame(v);
    EXPECT_EQ(events.heard, both);
    v->rcoDriver = &mine;
    player->Delete();
    // A motorbike's frame sends nothing and plays nothing.
    CarFile bike(14);
    Vehicle* b = Make(bike, 14, VectorPos(12.0f, 0.0f, 10.0f));
    b->rcoDriver = &mine;
    b->bHorn = true;
    b->fEngine = 0.5f;
    mine.heard.clear();
    for (int i = 0; i < 8; i++)
        Frame(b);
    EXPECT_TRUE(mine.heard.empty());
    EXPECT_EQ(b->enginesndchan[0], -1);
    // A car in neutral plays its engine.
    v->fEngine = 0.5f;
    for (int i = 0; i < 4; i++)
        Frame(v);
    EXPECT_GE(v->enginesndchan[0], 0);
    b->rcoDriver = nullptr;
    v->rcoDriver = nullptr;
    other->rcoDriver = nullptr;
    world.vehlist.RemoveAll();
}

TEST_F(VehicleFrame, PreciseShotsNearAWheelBurstItReticlePointsAnswerAndTheRestGoToTheDriver)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0, VectorPos(0.0f, 0.0f, 5.0f));
    Driver d(9);
    v->rcoDriver = &d;
    const VectorPos wheel = v->wheel[1]->GetWorldPos();
    auto shoot = [&](VectorPos at, int precise) {
        SpecialMessage m(SMSG_BULLET_HIT, nullptr, &at, nullptr, nullptr, precise);
        return v->SendMessage(OM_SPECIAL, &m);
    };
    const int free = sound.NumFreeChannels();
    // Imprecise next to it: nothing.
    shoot(wheel, 0);
    EXPECT_FALSE(v->wheel[1]->bDamaged);
    // Precise but farther than twice the radius: nothing.
    shoot(wheel + VectorDir(0.0f, 0.0f, 0.21f), 1);
    EXPECT_FALSE(v->wheel[1]->bDamaged);
    shoot(wheel + VectorDir(0.0f, 0.0f, 0.19f), 1);
    EXPECT_TRUE(v->wheel[1]->bDamaged);
    EXPECT_FALSE(v->wheel[0]->bDamaged);
    EXPECT_EQ(sound.NumFreeChannels(), free - 1);
    EXPECT_EQ(d.heard, (std::vector<int>{SMSG_BULLET_HIT, SMSG_BULLET_HIT, SMSG_BULLET_HIT}));
    // Reticle points: wheel offsets, the roof point, and (0, 0, 0, 1).
    Vector out;
    SpecialMessage q(SMSG_Q_RETICLE_POS, nullptr, &out, 2);
    EXPECT_EQ(v->SendMessage(OM_SPECIAL, &q), 1);
    EXPECT_EQ(out, Vector(0.0f, 0.0f, 0.0f, 1.0f));
    q.param[1] = 6;
    v->SendMessage(OM_SPECIAL, &q);
    EXPECT_EQ(VectorXYZ(out.xyz()), VectorXYZ(v->wheel[2]->GetWorldPos() - v->GetWorldPos()));
    q.param[1] = 20;
    v->SendMessage(OM_SPECIAL, &q);
    const NODE* roof = f.mf.FindNode1(f.mf.nodes[0].child, tools::kVehReticlePoint);
    ASSERT_NE(roof, nullptr);
    EXPECT_EQ(VectorXYZ(out.xyz()), VectorXYZ(roof->Pos() - VectorDir(0.0f, 0.0f, 0.15f)));
    Vehicle* bare = new Vehicle;
    bare->SendMessage(OM_SPECIAL, &q);
    bare->Delete();
    EXPECT_EQ(VectorXYZ(out.xyz()), VectorXYZ(0.0f, -0.2f, 0.0f));
    SpecialMessage query(SMSG_Q_29001, nullptr);
    EXPECT_EQ(v->SendMessage(OM_SPECIAL, &query), 25);
    // Any other message is the driver's: it goes on to him and his answer
    // is the car's; a car without a driver answers 0.
    d.reply = 3;
    SpecialMessage other(7777, nullptr);
    EXPECT_EQ(v->SendMessage(OM_SPECIAL, &other), 3);
    EXPECT_EQ(d.heard.back(), 7777);
    v->rcoDriver = nullptr;
    EXPECT_EQ(v->SendMessage(OM_SPECIAL, &other), 0);
}

}  // namespace

// Every member's painted parts take their colour from the file's tint
// table, which holds a distinct colour for each set of the member's row
// (the drawer reads the set's entry through the call list's tint quadword).
TEST(VehicleModels, EveryMemberPaintsEachTintSetOfItsRowDifferently)
{
    for (int type = 0; type < tools::kVehicleCount; type++) {
        const tools::P2BFile file = tools::SampleVehicleFile(type);
        std::vector<u8> bytes;
        std::string error;
        ASSERT_TRUE(tools::WriteP2B(file, bytes, error)) << error;
        CarFile f(file);
        const MATERIAL& body = f.mf.models[tools::kVehBodyNode]->mtls[0];
        ASSERT_TRUE(body.flags & MTL_TINT) << type;
        ASSERT_LT(body.auxvuaddr, body.callListNumQw) << type;
        u32 table;
        std::memcpy(&table, (const u8*)body.CallList() + 16 * body.auxvuaddr + 8, 4);
        const int start = rvi[type].i16StartTintOffset, count = rvi[type].i16NumTintSets;
        ASSERT_GE(count, 1) << type;
        ASSERT_LE(table + 4 * u32(start + count), bytes.size()) << type;
        std::vector<u32> seen;
        for (int s = start; s < start + count; s++) {
            u32 c;
            std::memcpy(&c, (const u8*)f.mf.header + table + 4 * s, 4);
            EXPECT_EQ(std::count(seen.begin(), seen.end(), c), 0) << "type " << type << " set " << s;
            seen.push_back(c);
        }
    }
}
