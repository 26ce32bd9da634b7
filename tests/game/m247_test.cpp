// The 24/7 script's steps: the progress each result books, the levels by
// target position and override, the files each level names, and the bonus
// race's and gun course's set-ups.
#include "tests/game/missionsteps_support.h"

#include <cstring>

#include "game/explode_support.h"

#include "game/Levels/M247Desc.h"
#include "game/ShotEffects.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

class Steps247 : public Steps
{
protected:
    // A 24/7 target in the city at x.
    void Target(float x) { gc->vpSavedTargetPos = VectorPos(x, 0.0f, 5.0f); }
    static std::string Interior(const std::string& file)
    {
        return "CreateInteriorAt(\"KORVALIS\\DemoData\\Int\\" + file + "\", -1, 0)";
    }
};

TEST_F(Steps247, WonLevelsAreBookedOnceAndTheRaceLendsItsAbilityForTheRace)
{
    sPlayerStats& s = gc->stats;
    s.fightAbility = s.gunAbility = s.carAbility = 0;
    int r = 0;
    // A new dojo target is level 0: its file, then a win books it.
    Target(30.0f);
    Trace t = Call(M247_GXDojo_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(Has(t, Interior("DOJO24\\DOJO1.P2B")));
    EXPECT_TRUE(Has(t, "SetLevelNumber(13, 1)"));
    EXPECT_EQ(gc->iChallengeValue, 0);
    t = Call(M247_GXDojo_Main, 1, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(Has(t, "DestroyInterior(true)"));
    EXPECT_EQ(s.curFightChallenge, 1u);
    EXPECT_EQ(s.fightAbility, 0x1u);
    // The same target again is still level 0, already completed: a win
    // changes nothing but the set is released.
    Call(M247_GXDojo_Main, 0, 0, &r);
    EXPECT_EQ(gc->iChallengeValue, 0);
    t = Call(M247_GXDojo_Main, 1, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(Has(t, "DestroyInterior(true)"));
    EXPECT_EQ(s.curFightChallenge, 1u);
    // Another target takes the first empty entry: level 1, the second file.
    Target(60.0f);
    t = Call(M247_GXDojo_Main, 0, 0, &r);
    EXPECT_EQ(gc->iChallengeValue, 1);
    EXPECT_TRUE(Has(t, Interior("DOJO24\\DOJO2.P2B")));
    Call(M247_GXDojo_Main, 1, 1, &r);
    EXPECT_EQ(s.curFightChallenge, 2u);
    EXPECT_EQ(s.fightAbility & 0x3u, 0x3u);   // (the training mode grants its own moves too)
    Target(30.0f);
    Call(M247_GXDojo_Main, 0, 0, &r);
    EXPECT_EQ(gc->iChallengeValue, 0);   // recognised by its position

    // The race: the level's bit is lent at entry 0 and taken back after a
    // loss at a new level.
    Target(90.0f);
    t = Call(M247_Race_Main, 0, 0, &r);
    EXPECT_EQ(s.carAbility, 0x1u);
    EXPECT_TRUE(Has(t, "CreateExteriorAt(\"KORVALIS\\DemoData\\Int\\DRV24\\COURSE1.P2B\", -900, 0)"));
    EXPECT_TRUE(Has(t, "PutObjectInCar(-1, 65, 116, true)"));
    EXPECT_TRUE(Has(t, "SetRace247MissionMode(2, 0)"));
    t = Call(M247_Race_Main, 1, 2, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(s.carAbility, 0x0u);
    EXPECT_TRUE(Has(t, "DestroyMDLFile(205, true)"));
    EXPECT_EQ(t.back(), "DestroyInterior(true)");
    // Won, then lost again at the completed level: the bit stays.
    Call(M247_Race_Main, 0, 0, &r);
    Call(M247_Race_Main, 1, 1, &r);
    EXPECT_EQ(s.curCarChallenge, 1u);
    EXPECT_EQ(s.carAbility, 0x1u);
    Call(M247_Race_Main, 0, 0, &r);
    Call(M247_Race_Main, 1, 2, &r);
    EXPECT_EQ(s.carAbility, 0x1u);

    // Entry 2 of every row does nothing.
    const sPlayerStats before = s;
    for (GAMEDESCRIPTIONFUNCTION* f : {M247_ImpoundLot_Main, M247_GXDojo_Main, M247_FRange_Main, M247_Race_Main,
                                       M247_BonusRace_Main, M247_BonusFRange_Main, M247_BonusGXDojo_Main}) {
        gc->iFlags = 0;
        EXPECT_TRUE(Call(f, 2, 1, &r).empty());
        EXPECT_EQ(r, 0);
        EXPECT_EQ(gc->iFlags, 0);
    }
    EXPECT_EQ(std::memcmp(&before, &s, sizeof s), 0);
}

TEST_F(Steps247, OverridesAndUpgradesChooseTheBonusLevelsAndTheirFiles)
{
    sPlayerStats& s = gc->stats;
    s.fightAbility = s.gunAbility = s.carAbility = 0;
    int r = 0;
    // Override 3: the range plays level 2, and levels 0..2 are granted
    // before the entry is looked at.
    gc->iBonus247Override = 3;
    EXPECT_TRUE(Call(M247_FRange_Main, 7, 0, &r).empty());
    EXPECT_EQ(r, 0);
    EXPECT_EQ(s.gunAbility, 0x7u);
    const Trace range = Call(M247_FRange_Main, 0, 0, &r);
    EXPECT_TRUE(Has(range, Interior("FRANGE24\\FRANGE3.P2B")));
    EXPECT_EQ(gc->iChallengeValue, 2);
    gc->iBonus247Override = 0;

    // The gun course and the fight by their upgrade counters.
    const char* guns[3] = {"DACEGUN2", "DACEGUN3", "DACEGUN4"};
    const int fighters[3][2] = {{123, 10}, {166, 13}, {91, 12}};
    for (int level = 0; level < 3; level++) {
        s.curGunUpgrade = u32(level);
        Trace t = Call(M247_BonusFRange_Main, 0, 0, &r);
        EXPECT_TRUE(Has(t, "LoadMDLFile(\"KORVALIS\\DemoData\\Misc\\" + std::string(guns[level]) + ".P2B\", 128, 0, 0)"))
            << level;
        EXPECT_TRUE(Has(t, Interior("BONUS\\GUNCRSE" + std::to_string(level + 1) + ".P2B")));
        EXPECT_TRUE(Has(t, "SetGunCourseMissionMode(30)"));
        gc->iFlags = 0;
        Call(M247_BonusFRange_Main, 1, 1, &r);
        EXPECT_EQ(r, -1);
        EXPECT_EQ(gc->iFlags & GCF_SIDETRIP_FINISHED, GCF_SIDETRIP_FINISHED);
        EXPECT_EQ(s.curGunUpgrade, u32(level + 1));

        s.curFightUpgrade = u32(level);
        t = Call(M247_BonusGXDojo_Main, 0, 0, &r);
        EXPECT_TRUE(Has(t, "LoadMDLFile(null, 49, " + std::to_string(fighters[level][0]) + ", 0)"));
        EXPECT_TRUE(Has(t, "LoadAnimGroup(" + std::to_string(fighters[level][1]) + ")"));
        EXPECT_TRUE(Has(t, Interior("BONUS\\BNSGYM" + std::to_string(level + 1) + ".P2B")));
        gc->iFlags = 0;
        t = Call(M247_BonusGXDojo_Main, 1, 2, &r);
        EXPECT_TRUE(Has(t, "DestroyAnimGroup(" + std::to_string(fighters[level][1]) + ")"));
        EXPECT_EQ(gc->iFlags & GCF_SIDETRIP_FINISHED, GCF_SIDETRIP_FINISHED);
        EXPECT_EQ(s.curFightUpgrade, u32(level));   // lost: not booked
    }
    EXPECT_EQ(s.gunAbility, 0x387u);   // the override's three and the course's three

    // A bonus race won with three upgrades stays at three.
    s.curCarUpgrade = 3;
    const Trace race = Call(M247_BonusRace_Main, 0, 0, &r);
    EXPECT_TRUE(Has(race, "LoadMDLFile(null, 81, 399, 0)"));   // level 2's
    gc->iFlags = 0;
    Call(M247_BonusRace_Main, 1, 1, &r);
    EXPECT_EQ(s.curCarUpgrade, 3u);
    EXPECT_EQ(gc->iFlags & GCF_SIDETRIP_FINISHED, GCF_SIDETRIP_FINISHED);
}

// The rivals' cars stand off the start in their own axes, each driver sent
// to the finish; a car that cannot be made is left out and the race starts.
TEST_F(Steps247, TheBonusRaceLinesUpTheRivalsThatCanBeMadeAndMarksTheFinish)
{
    Object* start = new Object;
    start->id = -401;
    start->mat = RotY(1.5707964f);
    start->mat.SetTrans(VectorPos(10.0f, 0.0f, 20.0f));
    world.placeholderlist.AddTail(start);
    Object* finish = new Object;
    finish->id = -404;
    finish->mat = TransMatrix(VectorPos(90.0f, 0.0f, 20.0f));
    world.placeholderlist.AddTail(finish);
    explodetest::CarSlot own(0, 0), first(1, 0), third(3, 0);
    g_trace.clear();
    M247_BonusRace(*gc);
    const Trace t = g_trace;
    for (const char* line : {"CreateBadGuyGenerator({2, -401}, true)", "SetStreetRaceMissionMode(-51, -404, 0, 0)"})
        EXPECT_TRUE(Has(t, line)) << line;
    EXPECT_EQ(Only(t, {"CreateBadGuyGenerator"}).size(), 3u);
    EXPECT_TRUE(Has(t, "PutObjectInCar(-51, 66, 116, true)"));
    EXPECT_FALSE(Has(t, "PutObjectInCar(-52, 67, 116, true)"));
    EXPECT_TRUE(Has(t, "PutObjectInCar(-53, 68, 116, true)"));
    ASSERT_NE(gc->pMission, nullptr);
    const Matrix& m = start->mat;
    const VectorDir offs[3] = {VectorDir(-1.09375f, 0, 1.71875f), VectorDir(0, 0, 1.71875f), VectorDir(-1.09375f, 0, 0)};
    int targets = 0;
    for (int i : {0, 2}) {
        auto* car = static_cast<Vehicle*>(gc->FindById(66 + i));
        ASSERT_NE(car, nullptr) << i;
        const VectorPos want = m.GetTrans() + VectorDir(m.x.xyz()) * offs[i][0] + VectorDir(m.z.xyz()) * offs[i][2];
        EXPECT_NEAR(car->mat.w[0], want[0], 1e-3f) << i;
        EXPECT_NEAR(car->mat.w[2], want[2], 1e-3f) << i;
        auto* d = static_cast<CarDriver*>(car->rcoDriver.p);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->i16DriveMode, 3);
        for (Object* o : gc->rvpSubMissionTargets)
            targets += o == car ? 1 : 0;
    }
    EXPECT_EQ(targets, 2);
    EXPECT_EQ(gc->rvpSubMissionTargets[2], nullptr);
    EXPECT_EQ(gc->FindById(67), nullptr);
    EXPECT_TRUE(gc->pmd->flags & HUDF_STATICTARGET);
    EXPECT_FLOAT_EQ(gc->pmd->vpStaticTarget[0], 90.0f);
    gc->CleanupLevel();
    explodetest::DropCarDrivers();
}

// The course's weapon lies at the interior's drop node (0x8001) when it
// has one: of the level's type + 1, its gun from slot 128.
TEST_F(Steps247, TheGunCourseDropsItsWeaponOnlyWhereTheInteriorHasTheNode)
{
    tools::P2BFile gun;
    gun.models.push_back(explodetest::BareModel(0.2f));
    gun.AddNode(-1, tools::MakeNode(0));
    explodetest::SlotFile gunSlot(128, gun);
    g_GlobalMFI.rgmfi[128].i16Id = 0;
    auto pickups = [](int type) {
        int n = 0;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (l->data->messagehandler == &GunPickup::GunPickup_mh &&
                static_cast<GunPickup*>(static_cast<Object*>(l->data))->weapon.type == type)
                n++;
        return n;
    };
    for (bool withNode : {false, true}) {
        tools::P2BFile room;
        room.models.push_back(explodetest::BareModel(5.0f));
        room.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001));
        if (withNode)
            room.AddNode(-1, tools::MakeNode(0x8001, VectorPos(2.0f, 0.0f, 3.0f), VectorXYZ(0, 0, 0), 0x1000));
        explodetest::SlotFile interior(195, room);
        g_GlobalMFI.rgmfi[195].i16Id = 0;
        Bonus_FRange(*gc, 1);
        EXPECT_EQ(pickups(2), withNode ? 1 : 0) << withNode;
        if (withNode) {
            for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
                if (l->data->messagehandler == &GunPickup::GunPickup_mh) {
                    auto* p = static_cast<GunPickup*>(static_cast<Object*>(l->data));
                    if (p->weapon.type != 2)
                        continue;
                    EXPECT_EQ(p->weapon.iGunMFIndex, 128);
                    EXPECT_NEAR(p->mat.w[0], 2.0f + gc->matPH.w[0], 1e-4f);
                    EXPECT_NEAR(p->mat.w[2], 3.0f + gc->matPH.w[2], 1e-4f);
                }
        }
        gc->CleanupLevel();
        world.Clear();
        g_GlobalMFI.rgmfi[195].i16Id = -1;
    }
    g_GlobalMFI.rgmfi[128].i16Id = -1;
}

}  // namespace
