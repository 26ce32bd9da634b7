// Shots at the sample vehicles: the disc's own bullet, fired across the
// world at a car and a motorbike from the sample group, strikes its body and
// the hit reaches whoever drives it.
#include <gtest/gtest.h>

#include <vector>

#include "explode_support.h"
#include "vehicle_support.h"

#include "game/Weapons.h"
#include "tools/lib/gunfiles.h"

namespace {

constexpr int kBulletSlot = 248;

tools::P2BFile DiscBullets()
{
    for (auto& [path, file] : tools::WeaponModelFiles())
        if (path.find("BULLETS") != std::string::npos)
            return file;
    ADD_FAILURE() << "no bullets file";
    return {};
}

class SampleVehicleShots : public vehtest::VehicleWorld
{
protected:
    void SetUp() override
    {
        VehicleWorld::SetUp();
        world.Clear();
        world.SetPlaybackSpeed(1.2f);
    }

    explodetest::SlotFile bullets{kBulletSlot, DiscBullets()};
};

TEST_F(SampleVehicleShots, APistolBulletStrikesTheBodyOfACarAndOfAMotorbike)
{
    for (int type : {0, 27, 14}) {
        vehtest::CarFile file(type);
        // Broadside on, three units ahead of the muzzle.
        Vehicle* car = CreateVehicle(&file.mf, -1, -1, VectorPos(0.0f, 0.0f, 3.0f), type);
        ASSERT_NE(car, nullptr);
        car->mat = RotY(1.5707964f) * car->mat;
        ASSERT_TRUE(world.AddObject(car, nullptr));
        vehtest::Driver driver;
        car->rcoDriver = &driver;

        // Level with the middle of the body's side, from 0.2 up.
        Matrix muzzle(true);
        muzzle.SetTrans(VectorPos(0.0f, car->GetWorldPos()[1] - 0.2f, 0.0f));
        Weapon w = gWeapons[WEAP_PISTOL_RUGER];
        ASSERT_TRUE(ShootBullet(muzzle, VectorDir(0.0f, 0.0f, 0.0f), bullets.mf(), 2, &w, 7, 77, false));
        for (int i = 0; i < 30; i++) {
            world.Update();
            world.Collision();
        }
        int hits = 0;
        for (int m : driver.heard)
            hits += m == SMSG_BULLET_HIT;
        EXPECT_EQ(hits, 1) << "vehicle " << type;
        // The bullet stopped at the car: none flies on past it.
        EXPECT_EQ(world.Find(OBJT_PROJECTILE), nullptr) << "vehicle " << type;
        car->rcoDriver = nullptr;
        world.Clear();   // the car with it
    }
}

}  // namespace
