// Set-up files: the entity records as the writer lays them out and the game
// reads them back, the entities the loader makes of them, and the interiors
// and exteriors built from whole files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "game/explode_support.h"
#include "tools/lib/city.h"
#include "tools/lib/gunfiles.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/rooms.h"
#include "tools/lib/setupfile.h"
#include "tools/lib/sidegamefiles.h"
#include "tools/lib/storysets.h"

#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/Airplane.h"
#include "game/Camera.h"
#include "game/EntParams.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/SideGames.h"
#include "game/ShotEffects.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"
#include "game/cardrivr.h"
#include "game/Airplane.h"
#include "game/CityLights.h"
#include "game/SplineMover.h"
#include "game/Steam.h"
#include "game/TunnelGrate.h"
#include "game/Water.h"
#include "game/smoke.h"

namespace {

using explodetest::SlotFile;
constexpr int kSlot = 195;

std::vector<u8> Written(const tools::SetupFile& s)
{
    std::vector<u8> out;
    std::string error;
    EXPECT_TRUE(tools::WriteSetup(s, out, error)) << error;
    return out;
}

// A unit volume about a point, as a level designer places one.
Extent Volume(float x, float y, float z)
{
    Matrix m = TransMatrix(-x, -y, -z);
    return Extent(m);
}

int Count(const List<WallSpline>& l)
{
    int n = 0;
    for (auto* k = l.Head(); !k->IsEOList(); k = k->Next())
        n++;
    return n;
}

class Setups : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        while (world.spllist.RemoveHead() != nullptr) {
        }
        if (g_pgcTest == nullptr)
            g_pgcTest = new GameController;
        gc = g_pgcTest;
        gc->bCinematicOnly = false;
        gc->iFlags = 0;
        gc->pCamInitScript = nullptr;
        gc->fightparams = nullptr;
        SetCurrentCam(nullptr);
        // Loading an interior or exterior sets where the controller's set
        // stands; the next test finds it as this one did.
        wasInterior = gc->bInterior;
        wasDefLights = gc->bUseDefInteriorLights;
        wasHeight = gc->fInteriorHeight;
        wasPlace = gc->matPH;
        // A set-up cut short marks the controller's game refused.
        wasRefused = gc->pszDataRefused;
    }
    void TearDown() override
    {
        explodetest::DropCarDrivers();
        world.Clear();
        SetCurrentCam(nullptr);
        dace = nullptr;
        gc->bInterior = wasInterior;
        gc->bUseDefInteriorLights = wasDefLights;
        gc->fInteriorHeight = wasHeight;
        gc->matPH = wasPlace;
        gc->pszDataRefused = wasRefused;
    }
    // Loads node i of the file in the slot with P.
    Object* Load(int i, Matrix P = Matrix(true)) { return gc->LoadEntity(g_GlobalMFI.GetMF(kSlot, false), i, P, false); }

    GameController* gc = nullptr;
    bool wasInterior = false, wasDefLights = false;
    float wasHeight = 0.0f;
    Matrix wasPlace;
    const char* wasRefused = nullptr;
};

TEST(EntityRecords, SizesArePinnedAndTheWriterLaysRecordsAndSplinesOut)
{
    // The sizes of the 47 kinds, in kind order.
    const u16 sizes[ENT_NUMBER] = {288, 304, 304, 12, 208, 272, 80, 4,  32, 4,  4,  20, 144, 32, 20, 112,
                                   128, 96,  96,  14, 8,   112, 8,  272, 20, 6, 304, 12, 16,  16, 96, 2,
                                   80,  4,   4,   288, 4,  176, 96, 96, 96, 8,  2,  1,  4,   4,  80};
    for (int k = 0; k < ENT_NUMBER; k++)
        EXPECT_EQ(rgEntityParamSize[k], sizes[k]) << "kind " << k;

    tools::SetupFile s;
    const int cam = s.AddPlaceholder(-1, 0, VectorPos(1, 2, 3));
    const int veh = s.AddPlaceholder(-1, 0);
    const int shooter = s.AddPlaceholder(-1, 0);
    auto fc = tools::ZeroRecord<FixedCamera_params>();
    fc.trigger1 = Volume(1, 0, 0);
    fc.yaw_range = 45.0f;
    fc.target_bias = 1;
    Vehicle_params vp{3, 2, 77, 250};
    auto sp = tools::ZeroRecord<EnemyGenShooter_params>();
    sp.id = -120;
    sp.trigger_init2 = Volume(0, 5, 0);
    const int spline = s.AddSpline({VectorPos(0, 0, 0), VectorPos(1, 0, 0), VectorPos(2, 0, 0), VectorPos(3, 0, 0)});
    s.AddRecord(cam, ENT_FIXEDCAMERA, fc);
    s.AddRecord(veh, ENT_VEHICLE, vp);
    const int r = s.AddRecord(shooter, ENT_ENEMYGENSHOOTER, sp);
    s.SetSpline(r, offsetof(EnemyGenShooter_params, path_move), spline);
    const std::vector<u8> bytes = Written(s);
    EXPECT_EQ(Written(s), bytes);   // deterministic

    SlotFile f(kSlot, bytes);
    MDLFILE* mf = f.mf();
    const u8* base = reinterpret_cast<const u8*>(mf->header);
    ASSERT_EQ(mf->nodes[cam].extra, ENT_FIXEDCAMERA);
    ASSERT_EQ(mf->nodes[veh].extra, ENT_VEHICLE);
    for (int n : {cam, veh, shooter})
        EXPECT_EQ(mf->nodes[n].extra2 % 16, 0u);
    EXPECT_EQ(std::memcmp(base + mf->nodes[cam].extra2, &fc, sizeof fc), 0);
    EXPECT_EQ(std::memcmp(base + mf->nodes[veh].extra2, &vp, sizeof vp), 0);
    const auto* back = reinterpret_cast<const EnemyGenShooter_params*>(base + mf->nodes[shooter].extra2);
    EXPECT_EQ(back->id, -120);
    EXPECT_EQ(std::memcmp(&back->trigger_init2, &sp.trigger_init2, sizeof(Extent)), 0);
    // The spline reference holds the spline's offset; its first w the count.
    const s32 at = back->path_move.offset;
    ASSERT_GT(at, 0);
    const Spline* sp2 = reinterpret_cast<const Spline*>(base + at);
    EXPECT_EQ(sp2->Count(), 4);
    EXPECT_FLOAT_EQ((*sp2)[3][0], 3.0f);
    EXPECT_FLOAT_EQ((*sp2)[3][3], 1.0f);
    EXPECT_EQ(u64(at) + 4 * 16, bytes.size());

    // Refused: a record for a node the file lacks, a reference to no spline.
    std::vector<u8> out;
    std::string error;
    tools::SetupFile bad = s;
    bad.SetSpline(r, offsetof(EnemyGenShooter_params, path_arrive), 9);
    EXPECT_FALSE(tools::WriteSetup(bad, out, error));
    EXPECT_NE(error.find("spline 9"), std::string::npos) << error;
    bad = s;
    bad.AddRecord(40, ENT_VEHICLE, vp);
    EXPECT_FALSE(tools::WriteSetup(bad, out, error));
    EXPECT_NE(error.find("node 40"), std::string::npos) << error;
}

// A record is used in place, so it must lie on its type's boundary as well
// as in the file: a record moved off it is refused, with a line naming the
// file and the node, and its entity is not made.  The set-up then counts as
// refused: the game it sets cannot be played by its rules.
TEST_F(Setups, RecordsOffTheirBoundaryOrOutsideTheFileMakeNoEntity)
{
    tools::SetupFile s;
    const int veh = s.AddPlaceholder(-1, 0);
    const int torch = s.AddPlaceholder(-1, 0);
    const int cam = s.AddPlaceholder(-1, 0);
    const int last = s.AddPlaceholder(-1, 0);
    // Each record moved stays inside the file: another record follows it.
    s.AddRecord(cam, ENT_FIXEDCAMERA, tools::ZeroRecord<FixedCamera_params>());
    s.AddRecord(veh, ENT_VEHICLE, Vehicle_params{3, 2, 77, 250});
    s.AddRecord(torch, ENT_TORCH, Torch_params{1.0f, 1, {}});
    s.AddRecord(last, ENT_TORCH, Torch_params{1.0f, 1, {}});
    SlotFile f(kSlot, Written(s));
    MDLFILE* mf = f.mf();
    std::strcpy(static_cast<StreamMdlFile*>(mf)->name, "ROOMG2.P2B");
    struct Move {
        int node;
        u32 by;
        const char* line;
        int index, kind;
    };
    const char* off = "Setup: ROOMG2.P2B: node %d's record (entity kind %d) at 0x%%X is not on its boundary";
    const char* outside = "Setup: ROOMG2.P2B: node %d's record (entity kind %d) at 0x%%X does not lie in the file";
    for (const Move& m : {Move{veh, 1, off, 0, 25}, Move{torch, 2, off, 1, 20}, Move{cam, 8, off, 2, 0},
                          Move{cam, 0x100000, outside, 2, 0}}) {
        const u32 was = mf->nodes[m.node].extra2;
        mf->nodes[m.node].extra2 = was + m.by;
        char format[128], line[128];
        std::snprintf(format, sizeof format, m.line, m.index, m.kind);
        std::snprintf(line, sizeof line, format, was + m.by);
        gc->pszDataRefused = nullptr;
        testing::internal::CaptureStdout();
        EXPECT_EQ(Load(m.node), nullptr) << line;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(std::string(line) + "; the entity is not made\n"), std::string::npos) << out;
        EXPECT_STREQ(gc->pszDataRefused, "its set-up") << line;
        mf->nodes[m.node].extra2 = was;
    }
    EXPECT_TRUE(world.objectlist.IsEmpty());
}

TEST_F(Setups, CamerasAreSkippedForCinematicsButTheTaskStartCameraIsNot)
{
    tools::SetupFile s;
    const int fixed = s.AddPlaceholder(-1, 0, VectorPos(0, -2, 0), VectorXYZ(0, 1.5707964f, 0));
    s.file.nodes[size_t(fixed)].ang[3] = 1.25f;
    auto fc = tools::ZeroRecord<FixedCamera_params>();
    fc.yaw_range = 90.0f;
    fc.pitch_range = 180.0f;
    fc.tracking = 1;
    fc.target_bias = 1;
    fc.trigger1 = Volume(4, 0, 0);
    // Not in use: a w of 0 with other values that must stay as stored.
    fc.trigger2.x = Vector(5, 6, 7, 8);
    s.AddRecord(fixed, ENT_FIXEDCAMERA, fc);
    int task[4];
    for (int m = 0; m < 4; m++) {
        task[m] = s.AddPlaceholder(-1, 0);
        TaskInitCamera_params tc{0, u8(m), u8(m == 0 ? 1 : 0), {}, {0}};
        s.AddRecord(task[m], ENT_TASKINITCAMERA, tc);
    }
    SlotFile f(kSlot, Written(s));

    gc->bCinematicOnly = true;
    EXPECT_EQ(Load(fixed), nullptr);
    EXPECT_EQ(world.objectlist.Find(OBJT_CAMERA), nullptr);
    gc->bCinematicOnly = false;

    Matrix P = TransMatrix(10, 0, 0);
    Camera* c = static_cast<Camera*>(Load(fixed, P));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->mode, CAMMODE_FIXED);
    EXPECT_FLOAT_EQ(c->zoom, 1.25f);
    EXPECT_FLOAT_EQ(c->fTargetZoom, 1.25f);
    EXPECT_NEAR(c->fAngRangeY, 1.5707964f, 1e-6f);
    EXPECT_NEAR(c->fAngRangeX, 3.1415927f, 1e-6f);
    EXPECT_TRUE(c->bTargetBias);
    EXPECT_NEAR(c->vpMount[0], 10.0f, 1e-5f);
    // Turned a quarter about y: the z row points along x, heading pi/2.
    EXPECT_NEAR(c->angy, 1.5707964f, 1e-3f);
    const auto* kept = static_cast<FixedCamera_params*>(c->pvExtra);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(std::memcmp(&kept->trigger2, &fc.trigger2, sizeof(Extent)), 0);
    // A used volume follows P: the point 14 along x is its centre now.
    EXPECT_TRUE(kept->trigger1.Within(VectorPos(14, 0, 0)));
    EXPECT_FALSE(kept->trigger1.Within(VectorPos(4, 0, 0)));

    // The task start camera: made current, its walk by mode and pace.
    gc->bCinematicOnly = true;
    const int walks[4] = {91, 237, 160, 279};
    const int modes[4] = {7, 13, 4, 6};
    for (int m = 0; m < 4; m++) {
        Camera* t = static_cast<Camera*>(Load(task[m]));
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(GetCurrentCam(), t);
        EXPECT_FLOAT_EQ(t->fTargetZoom, 0.0f);
        ASSERT_EQ(gc->pCamInitScript, g_InitCamScript);
        EXPECT_EQ(g_InitCamScript[0].iData, walks[m]) << m;
        EXPECT_EQ(g_InitCamScript[1].iData, 0);   // offset 0: no walk-in path
        EXPECT_EQ(g_InitCamScript[3].iData, modes[m]) << m;
        EXPECT_EQ(g_InitCamScript[3].iTime, 56);
    }
}

TEST_F(Setups, OrbitsNeedACurveAndCentreOnItsSegmentEnds)
{
    tools::SetupFile s;
    const int good = s.AddPlaceholder(-1, 0);
    const int none = s.AddPlaceholder(-1, 0);
    const int shortOne = s.AddPlaceholder(-1, 0);
    // Two segments: points 3 and 6 end them.
    const int orbit = s.AddSpline({VectorPos(0, 0, 0), VectorPos(1, 1, 1), VectorPos(2, 2, 2), VectorPos(4, -2, 0),
                                   VectorPos(5, 0, 5), VectorPos(6, 0, 6), VectorPos(8, 4, 6)});
    const int tiny = s.AddSpline({VectorPos(0, 0, 0), VectorPos(1, 0, 0), VectorPos(2, 0, 0)});
    auto oc = tools::ZeroRecord<OrbitingCamera_params>();
    oc.cam_orbit.offset = -1;
    const int r = s.AddRecord(good, ENT_ORBITINGCAMERA, oc);
    s.SetSpline(r, offsetof(OrbitingCamera_params, cam_orbit), orbit);
    s.AddRecord(none, ENT_ORBITINGCAMERA, oc);
    const int r3 = s.AddRecord(shortOne, ENT_ORBITINGCAMERA, oc);
    s.SetSpline(r3, offsetof(OrbitingCamera_params, cam_orbit), tiny);
    SlotFile f(kSlot, Written(s));

    Camera* c = static_cast<Camera*>(Load(good, TransMatrix(0, 0, 100)));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->mode, CAMMODE_ORBITING);
    // Centre: the mean of (4, -2, 0) and (8, 4, 6), moved 100 along z.
    EXPECT_FLOAT_EQ(c->relposgoal[0], 6.0f);
    EXPECT_FLOAT_EQ(c->relposgoal[1], 1.0f);
    EXPECT_FLOAT_EQ(c->relposgoal[2], 103.0f);
    // Across the ground from point 0 (0, 0, 100): sqrt(36 + 9).
    EXPECT_FLOAT_EQ(c->fOrbRadius, sqrtf(45.0f));
    const Spline* copy = static_cast<Spline*>(c->pvExtraSpl);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Count(), 7);
    // Without an orbit, or with less than a segment: nothing.
    const int before = world.objectlist.Count();
    EXPECT_EQ(Load(none), nullptr);
    EXPECT_EQ(Load(shortOne), nullptr);
    EXPECT_EQ(world.objectlist.Count(), before);
}

TEST_F(Setups, RecordsReadOnceGiveTheirKnownAnswers)
{
    tools::SetupFile s;
    const int tod = s.AddPlaceholder(-1, 0);
    const int gun = s.AddPlaceholder(-1, 0, VectorPos(3, 0, 0));
    const int wall = s.AddPlaceholder(-1, 0);
    const int drone = s.AddPlaceholder(-1, 0);
    const int target = s.AddPlaceholder(-1, 0);
    const int furniture = s.AddPlaceholder(-1, 0);
    const int kind47 = s.AddPlaceholder(-1, 0);
    const int outside = s.AddPlaceholder(-1, 0);
    s.AddRecord(tod, ENT_TIMEOFDAY, TimeOfDay_params{13, 30});
    s.AddRecord(gun, ENT_GUNPICKUP, GunPickup_params{13, {}, 50});
    const int spl = s.AddSpline({VectorPos(0, 0, 0), VectorPos(0, 0, 1), VectorPos(0, 0, 2), VectorPos(0, 0, 3)});
    WallSpline_params wp{{-1}, {2}, 1, {}};
    s.SetSpline(s.AddRecord(wall, ENT_WALLSPLINE, wp), 0, spl);
    auto dp = tools::ZeroRecord<RaceCourseDroneCar_params>();
    dp.speed = 2.0f;
    dp.move_path.offset = -1;
    s.AddRecord(drone, ENT_RACECOURSEDRONECAR, dp);
    s.AddRecord(target, ENT_TARGETMOVING, TargetMoving_params{{-1}, 1, {}, 1.0f, 0.0f});
    ExteriorSpecific_params ep{};
    ep.exttype = 8;
    s.AddRecord(furniture, ENT_EXTERIORSPECIFIC, ep);
    s.AddRecord(kind47, ENT_TIMEOFDAY, TimeOfDay_params{1, 1});
    // A spline reference past the end of the file.
    WallSpline_params far{{0x100000}, {-1}, 0, {}};
    s.AddRecord(outside, ENT_WALLSPLINE, far);
    SlotFile f(kSlot, Written(s));
    f.mf()->nodes[kind47].extra = 47;

    world.time_of_day = 0;
    EXPECT_EQ(Load(tod), nullptr);
    EXPECT_EQ(world.time_of_day, 2916000u);

    // The pickup shows the gun of its weapon: a model in the gun's slot.
    Weapon four{};
    four.SetType(4);
    ASSERT_GE(four.iGunMFIndex, 0);
    tools::P2BFile gunFile;
    gunFile.models.push_back(explodetest::BareModel(0.2f));
    gunFile.AddNode(-1, tools::MakeNode(0));
    SlotFile gunSlot(four.iGunMFIndex, gunFile);
    EXPECT_EQ(Load(gun), nullptr);
    GunPickup* pickup = nullptr;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        pickup = static_cast<GunPickup*>(static_cast<Object*>(l->data));
    ASSERT_NE(pickup, nullptr);
    EXPECT_EQ(pickup->weapon.type, 4);   // type 13 - 9
    EXPECT_FLOAT_EQ(pickup->mat.w[0], 3.0f);
    bool timer2000 = false;
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        timer2000 |= t->obj.p == pickup && t->time == world.timePrecise + AnimTime(2000 * 256);
    EXPECT_TRUE(timer2000) << "the pickup lives 2000 frames whatever its record says";

    // One wall placed by two set-ups: two walls.
    EXPECT_EQ(Load(wall), nullptr);
    EXPECT_EQ(Load(wall, TransMatrix(5, 0, 0)), nullptr);
    ASSERT_EQ(Count(world.spllist), 2);
    const WallSpline* w2 = world.spllist.Tail()->data;
    EXPECT_TRUE(w2->crouch);
    EXPECT_EQ(w2->objindex, 2);
    EXPECT_FLOAT_EQ((*w2->spline)[3][0], 5.0f);
    EXPECT_EQ(w2->spline->Count(), 4);

    // Speed 2 is below 5: the floor speed.
    auto* d = static_cast<DrvCrseDrone*>(Load(drone));
    ASSERT_NE(d, nullptr);
    EXPECT_FLOAT_EQ(d->fSpeed, 0.0116416672f);

    // No node with extra 0x200 to make the target of; no furniture of kind
    // 8; no kind 47; no spline outside the file.
    const int before = world.objectlist.Count();
    EXPECT_EQ(Load(target), nullptr);
    EXPECT_EQ(Load(furniture), nullptr);
    EXPECT_EQ(Load(kind47), nullptr);
    EXPECT_EQ(Load(outside), nullptr);
    EXPECT_EQ(world.objectlist.Count(), before);
    EXPECT_EQ(Count(world.spllist), 2);
}

TEST_F(Setups, VehiclesTakeTheirStrengthClampedAndCourseTriggersMoveOnce)
{
    tools::SetupFile s;
    const int weak = s.AddPlaceholder(-1, 0);
    const int strong = s.AddPlaceholder(-1, 0);
    const int gate = s.AddPlaceholder(-1, 0);
    s.AddRecord(weak, ENT_VEHICLE, Vehicle_params{0, 1, 70, 0});
    s.AddRecord(strong, ENT_VEHICLE, Vehicle_params{0, 1, 71, 250});
    auto gp = tools::ZeroRecord<DrvCrseGate_params>();
    gp.trigger = Volume(0, 0, 0);
    s.AddRecord(gate, ENT_DRVCRSEGATE, gp);
    SlotFile f(kSlot, Written(s));
    explodetest::CarSlot sampleCar(gc->RemapRCrimeVehIndex(0) + 1, 0);   // the record's vehicle 0

    auto* v0 = static_cast<Vehicle*>(Load(weak));
    auto* v1 = static_cast<Vehicle*>(Load(strong));
    ASSERT_NE(v0, nullptr);
    ASSERT_NE(v1, nullptr);
    EXPECT_FLOAT_EQ(v0->strength, 1.0f);
    EXPECT_FLOAT_EQ(v1->strength, 100.0f);
    EXPECT_FLOAT_EQ(v1->fBaseStrength, 100.0f);
    EXPECT_EQ(v1->id, 71);
    EXPECT_EQ(v1->mode, 1);
    EXPECT_EQ(v1->i8Tint, 1);
    ASSERT_NE(v1->rcoDriver.p, nullptr);
    EXPECT_EQ(static_cast<CarDriver*>(v1->rcoDriver.p)->gameeventobj, gc);

    // While a side trip is resumed, no car is made.
    gc->iFlags |= GCF_SIDETRIP_RUNNING;
    EXPECT_EQ(Load(weak), nullptr);
    gc->iFlags = 0;

    // The gate's trigger lies in the file and is moved there once, however
    // often the file's data is built.
    auto* g1 = static_cast<DrvCrseGate*>(Load(gate, TransMatrix(20, 0, 0)));
    auto* g2 = static_cast<DrvCrseGate*>(Load(gate, TransMatrix(20, 0, 0)));
    ASSERT_NE(g1, nullptr);
    ASSERT_NE(g2, nullptr);
    EXPECT_EQ(g1->pdcgp, g2->pdcgp);
    EXPECT_TRUE(g1->pdcgp->trigger.Within(VectorPos(20, 0, 0)));
    EXPECT_FALSE(g1->pdcgp->trigger.Within(VectorPos(40, 0, 0)));
}

// ---------------------------------------------------------------------------
// Interiors and exteriors

class IntExt : public Setups
{
protected:
    void SetUp() override
    {
        Setups::SetUp();
        player = new Dace;
        player->mat = Matrix(true);
        dace = player;
    }
    void TearDown() override
    {
        dace = nullptr;
        player->Delete();
        Setups::TearDown();
    }
    // Placeholder id at pos, turned a quarter about y.
    void Placeholder(int id, VectorPos pos)
    {
        Object* ph = new Object;
        ph->id = s16(id);
        ph->mat = RotMatrix(VectorXYZ(0, 1.5707964f, 0));
        ph->SetPos(pos);
        world.placeholderlist.AddTail(ph);
    }
    Dace* player = nullptr;
};

tools::P2BModel Box(float r)
{
    return explodetest::BareModel(r);
}

TEST_F(IntExt, PlacementFollowsAnInteriorsPlaceholderAndTheEntryPointPlacesThePlayer)
{
    tools::SetupFile s;
    s.file.models.push_back(Box(1.0f));
    NODE mainNode = tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001);
    const int main1 = s.file.AddNode(-1, mainNode);
    s.file.AddNode(main1, tools::MakeNode(MDL_NOGEOM, VectorPos(0, 0, 2), VectorXYZ(0, 0, 0), 0x8000));
    const int main2 = s.file.AddNode(-1, tools::MakeNode(0, VectorPos(9, 0, 0), VectorXYZ(0, 0, 0), 0x8002));
    SlotFile f(kSlot, Written(s));
    Placeholder(-50, VectorPos(100, -1, 0));

    Object* root = gc->LoadIntExtSetup(-50, f.mf(), true);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->index, main1);
    int mains = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        mains += l->data->index == main1 || l->data->index == main2 ? 1 : 0;
    EXPECT_EQ(mains, 2);
    EXPECT_TRUE(gc->bInterior);
    EXPECT_FLOAT_EQ(gc->fInteriorHeight, -1.0f);
    // The interior turns with its placeholder: the second main object's x
    // of 9 lies along -z now.
    Object* second = nullptr;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        if (l->data->index == main2)
            second = l->data;
    ASSERT_NE(second, nullptr);
    EXPECT_NEAR(second->mat.w[0], 100.0f, 1e-4f);
    EXPECT_NEAR(second->mat.w[2], -9.0f, 1e-4f);
    // The entry point (2 along the main object's z, now +x) places the
    // player, and the camera snaps behind him.
    EXPECT_NEAR(player->mat.w[0], 102.0f, 1e-4f);
    Camera* c = GetCurrentCam();
    EXPECT_FLOAT_EQ(c->zoom, 1.6f);
    EXPECT_EQ(c->target, player);
    const Vector expect = player->mat.w + (player->mat.y + player->mat.z) * -0.625f;
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(c->mat.w[k], expect[k], 1e-4f);

    // An exterior keeps its own orientation at the same placeholder.
    world.Clear();
    Placeholder(-50, VectorPos(100, -1, 0));
    gc->LoadIntExtSetup(-50, f.mf(), false);
    EXPECT_FALSE(gc->bInterior);
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        if (l->data->index == main2) {
            EXPECT_NEAR(l->data->mat.w[0], 109.0f, 1e-4f);
            EXPECT_NEAR(l->data->mat.w[2], 0.0f, 1e-4f);
        }
    // No such placeholder: the default spot.
    world.Clear();
    gc->LoadIntExtSetup(-51, f.mf(), true);
    EXPECT_FLOAT_EQ(gc->matPH.w[1], -31.25f);
    EXPECT_FLOAT_EQ(gc->matPH.w[0], 0.0f);
}

TEST_F(IntExt, APlayerStartUnderAFixedCameraMovesOnlyThePlayer)
{
    tools::SetupFile s;
    s.file.AddNode(-1, tools::MakeNode(0x8000, VectorPos(3, 0, 4), VectorXYZ(0, 0, 0), 0x8001));
    SlotFile f(kSlot, Written(s));
    Camera* fixed = CreateFixedCameraFromCurrent(player);
    ASSERT_NE(fixed, nullptr);
    fixed->mat = TransMatrix(50, 50, 50);
    SetCurrentCam(fixed);
    EXPECT_EQ(gc->LoadIntExtSetup(-1, f.mf(), true), nullptr);
    EXPECT_FLOAT_EQ(player->mat.w[0], 3.0f);
    EXPECT_FLOAT_EQ(player->mat.w[1], -31.25f);
    EXPECT_FLOAT_EQ(player->mat.w[2], 4.0f);
    EXPECT_FLOAT_EQ(fixed->mat.w[0], 50.0f);
    SetCurrentCam(nullptr);
    fixed->Delete();
}

// A shooting target is made from the file's template node (0x200 for the
// targets, 0x201 for the no-shoot figure).  A range whose file lost the
// target template says so once per target, naming the file, and the rest of
// the range is made.
TEST_F(IntExt, TargetsWithoutTheirTemplateAreRefusedByFileAndTheRestIsMade)
{
    std::vector<u8> bytes;
    std::string error;
    ASSERT_TRUE(tools::WriteSetup(tools::FiringRangeSetup(), bytes, error)) << error;
    SlotFile f(kSlot, bytes);
    MDLFILE* mf = f.mf();
    std::strcpy(static_cast<StreamMdlFile*>(mf)->name, "RANGE.P2B");
    int templates = 0;
    for (int i = 0; i < mf->nNodes; i++)
        if (mf->nodes[i].extra == 0x200) {
            mf->nodes[i].extra = 0x201;
            templates++;
        }
    ASSERT_EQ(templates, 1);
    Placeholder(-50, VectorPos(0, 0, 0));

    testing::internal::CaptureStdout();
    ASSERT_NE(gc->LoadIntExtSetup(-50, mf, true), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    int lines = 0;
    for (size_t at = out.find("Setup: RANGE.P2B: node "); at != std::string::npos;
         at = out.find("Setup: RANGE.P2B: node ", at + 1)) {
        const size_t end = out.find('\n', at);
        EXPECT_NE(out.substr(at, end - at).find("'s target has no model: the file holds no node 0x200 to make it from; "
                                                "the entity is not made"),
                  std::string::npos)
            << out;
        lines++;
    }
    // Three pop-up targets and two moving ones.
    EXPECT_EQ(lines, 5) << out;
    int targets = 0, innocents = 0, mains = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        targets += l->data->messagehandler == &TargetMoving::staticmh ? 1 : 0;
        innocents += l->data->messagehandler == &TargetInnocent::staticmh ? 1 : 0;
        mains += l->data->index == 0 ? 1 : 0;
    }
    EXPECT_EQ(targets, 0);
    EXPECT_EQ(innocents, 1);
    EXPECT_EQ(mains, 1) << "the range's room";
}

// The lighting an ambient light of the set-up chooses is seen in a drawn
// frame (the main loop's tests); here the shadows' light.
TEST_F(IntExt, TheFirstDirectionalLightSetsTheShadowLight)
{
    tools::SetupFile s;
    s.file.models.push_back(Box(1.0f));
    const int main = s.file.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001));
    // Two directional lights, the first turned a quarter about x.
    NODE light;
    std::string error;
    EXPECT_TRUE(tools::MakeLightNode(1, Colour(255, 255, 255, 255), 128, 10, 1, VectorPos(0, 0, 0),
                                     VectorXYZ(1.5707964f, 0, 0), light, error)) << error;
    s.file.AddNode(main, light);
    EXPECT_TRUE(tools::MakeLightNode(1, Colour(255, 255, 255, 255), 128, 10, 1, VectorPos(0, 0, 0),
                                     VectorXYZ(0, 0, 0), light, error)) << error;
    s.file.AddNode(main, light);
    SlotFile f(kSlot, Written(s));
    gc->LoadIntExtSetup(-1, f.mf(), true);
    // The first light's z row, negated: a quarter about x turns z to -y
    // (y down), so the shadows' light is toward +y.
    const Matrix first = RotMatrix(VectorXYZ(1.5707964f, 0, 0));
    for (int k = 0; k < 4; k++)
        EXPECT_NEAR(world.shadowlight[k], -first.z[k], 1e-5f) << k;
}

}  // namespace

namespace {

TEST_F(Setups, TheSampleBarBuildsItsGeneratorsCombatRecordAndCameras)
{
    const std::vector<tools::NamedSetup> files = tools::SampleSetupFiles();
    ASSERT_EQ(files[0].path, "Int/LEVEL2/BAR.P2B");
    for (const tools::NamedSetup& n : files) {
        SlotFile check(kSlot, Written(n.setup));   // each one passes the model-file check
        EXPECT_TRUE(check.mf()->HasData()) << n.path;
    }
    SlotFile f(kSlot, Written(files[0].setup));
    Object* room = gc->LoadIntExtSetup(-1, f.mf(), true);
    ASSERT_NE(room, nullptr);
    int fighters = 0, props = 0, fixedCams = 0;
    const InteriorDamageable* stool = nullptr;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        fighters += o->messagehandler == EnemyGenFighter::staticmh ? 1 : 0;
        if (o->messagehandler == InteriorDamageable::staticmh) {
            props++;
            if (o->id == 300)
                stool = static_cast<InteriorDamageable*>(o);
        }
        fixedCams += o->type == OBJT_CAMERA && o->mode == CAMMODE_FIXED ? 1 : 0;
    }
    EXPECT_EQ(fighters, 3);
    EXPECT_EQ(props, 2);
    ASSERT_NE(stool, nullptr);
    EXPECT_FLOAT_EQ(stool->fStrength, 20.0f);
    EXPECT_TRUE(stool->bSliding);
    EXPECT_EQ(stool->min_interval, 30);
    // The task start camera and the fixed camera; the task's is current.
    EXPECT_EQ(fixedCams, 2);
    EXPECT_NE(GetCurrentCam(), &g_DefaultCamera);
    EXPECT_FLOAT_EQ(GetCurrentCam()->zoom, 1.6f);
    ASSERT_NE(gc->fightparams, nullptr);
    EXPECT_EQ(gc->fightparams->active_ratio, 2);
    EXPECT_EQ(gc->fightparams->init_active, 0);
    EXPECT_EQ(gc->fightparams->act_change, 1);
    EXPECT_FALSE(gc->bUseDefInteriorLights);
}

}  // namespace

namespace {

// An object record places a plain object: the type it gives is kept, but a
// character's (1), a car's (2) or one past the list (13) would have the
// object read as what it is not, and is refused with a line.
TEST_F(Setups, APlainObjectIsNeverTypedAsACharacterOrACar)
{
    tools::SetupFile s;
    const int nodes[4] = {s.AddPlaceholder(-1, 0), s.AddPlaceholder(-1, 0), s.AddPlaceholder(-1, 0),
                          s.AddPlaceholder(-1, 0)};
    const u8 types[4] = {9, 1, 2, 13};
    for (int k = 0; k < 4; k++) {
        auto r = tools::ZeroRecord<ObjectInfo_params>();
        r.type = types[k];
        r.id = u16(40 + k);
        s.AddRecord(nodes[k], ENT_OBJECTINFO, r);
    }
    SlotFile f(kSlot, Written(s));
    Object* o = Load(nodes[0]);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->type, 9);
    EXPECT_EQ(o->id, 40);
    for (int k = 1; k < 4; k++) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(Load(nodes[k]), nullptr) << int(types[k]);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("gives type " + std::to_string(types[k]) + ", which a plain object cannot be"),
                  std::string::npos)
            << out;
    }
}

TEST_F(Setups, DamagedRecordsAndSplinesNeverCrashTheBuild)
{
    // The sample bar with bytes flipped in its records and splines (the
    // model data before them stays sound, so the file is taken): whatever
    // the records then say, the set-up is built or skipped piece by piece.
    const tools::SetupFile bar = tools::SampleSetupFiles()[0].setup;
    std::vector<u8> plain;
    std::string error;
    ASSERT_TRUE(tools::WriteP2B(bar.file, plain, error)) << error;
    const std::vector<u8> good = Written(bar);
    const size_t from = (plain.size() + 15) & ~size_t(15);
    ASSERT_LT(from, good.size());
    std::mt19937 rng(27);
    for (int k = 0; k < 40; k++) {
        std::vector<u8> bad = good;
        for (int f = 0; f < 12; f++)
            bad[from + rng() % (bad.size() - from)] ^= u8(1u << (rng() % 8));
        SlotFile f(kSlot, bad);
        gc->LoadIntExtSetup(-1, f.mf(), true);
        explodetest::DropCarDrivers();
        world.Clear();
        SetCurrentCam(nullptr);
        while (world.spllist.RemoveHead() != nullptr) {
        }
    }
    // A slot number past the registry makes no car.
    Matrix m(true);
    EXPECT_EQ(gc->CreateVehicleAt(m, 256, 1, false), nullptr);
}

}  // namespace

namespace {

// The spa's four gunmen in two waves with the trigger of the second, and the
// test interior's task exit, camera zone and guard.
TEST_F(Setups, TheSampleSpaAndTestInteriorBuildTheirGameEntities)
{
    const std::vector<tools::NamedSetup> files = tools::SampleSetupFiles();
    ASSERT_EQ(files[1].path, "Int/LEVEL3/SPPLRMG7.P2B");
    ASSERT_EQ(files[2].path, "Int/INTERIOR.P2B");
    {
        SlotFile f(kSlot, Written(files[1].setup));
        ASSERT_NE(gc->LoadIntExtSetup(-1, f.mf(), true), nullptr);
        int waves[3] = {}, triggers = 0;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
            Object* o = l->data;
            if (o->messagehandler == EnemyGenShooter::staticmh) {
                const int w = static_cast<EnemyGenShooter*>(o)->pegsp->init_wave;
                ASSERT_TRUE(w >= 0 && w <= 2);
                waves[w]++;
            }
            if (o->messagehandler == EnemyWaveTrigger::staticmh) {
                triggers++;
                EXPECT_EQ(static_cast<EnemyWaveTrigger*>(o)->ewtp.wave, 2);
            }
        }
        EXPECT_EQ(waves[1], 2);
        EXPECT_EQ(waves[2], 2);
        EXPECT_EQ(triggers, 1);
        // The placed cover points: the cover node's four children, beside
        // the pillars at x = +-1.4, 1.35 and 2.2 deep, at chest height.
        const NODE* cover = f.mf()->FindNode1(0, 0x8063);
        ASSERT_NE(cover, nullptr);
        int points = 0;
        for (u16 c = cover->child; c != 0xFFFF; c = f.mf()->nodes[c].sibling, points++) {
            const VectorPos at = cover->Pos() + VectorDir(f.mf()->nodes[c].Pos());
            EXPECT_FLOAT_EQ(std::fabs(at[0]), 1.4f);
            EXPECT_FLOAT_EQ(at[1], -0.375f);   // 1.2 m up, at 0.3125 units a metre
            EXPECT_TRUE(at[2] == 1.35f || at[2] == 2.2f) << at[2];
        }
        EXPECT_EQ(points, 4);
        world.Clear();
        SetCurrentCam(nullptr);
        while (world.spllist.RemoveHead() != nullptr) {
        }
    }
    SlotFile f(kSlot, Written(files[2].setup));
    gc->iFlags = 0;
    ASSERT_NE(gc->LoadIntExtSetup(-1, f.mf(), true), nullptr);
    int modes = 0, cams = 0, guards = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        modes += l->data->messagehandler == DaceModeTrigger::staticmh ? 1 : 0;
        cams += l->data->messagehandler == DaceCamTrigger::staticmh ? 1 : 0;
        guards += l->data->messagehandler == EnemyGenGuard::staticmh ? 1 : 0;
    }
    EXPECT_EQ(modes, 1);
    EXPECT_EQ(cams, 1);
    EXPECT_EQ(guards, 1);
    // Its two cover walls, one of each height.
    int crouch = 0;
    for (auto* l = world.spllist.Head(); !l->IsEOList(); l = l->Next())
        crouch += l->data->crouch ? 1 : 0;
    EXPECT_EQ(Count(world.spllist), 2);
    EXPECT_EQ(crouch, 1);
    // Its task exit leaves the end of the mode to the trigger.
    EXPECT_NE(gc->iFlags & GCF_PLACEMENT, 0);
    gc->iFlags = 0;
}

}  // namespace

namespace {

// The player's height, from his model's look.
float PlayerStature()
{
    return tools::HumanoidStature(tools::SampleHumanoids()[0].look);
}

// A small room from the generator: a door in the front wall and one in the
// left, a counter at the back, a table with a stool and a lamp over it, an
// ambient, a directional and a point light.
tools::RoomDesign SmallRoom()
{
    using F = tools::Furniture;
    tools::RoomDesign d;
    d.x0 = -2.0f;
    d.x1 = 1.5f;
    d.z0 = -1.0f;
    d.z1 = 2.5f;
    d.height = 1.0f;
    d.bandHeight = 0.3f;
    d.doors = {{0, 0.5f, 0.4f, 0.7f}, {3, 1.0f, 0.4f, 0.7f}};
    d.furniture = {{F::kCounter, VectorPos(0.2f, 0, 2.1f), 0.0f, 1.4f},
                   {F::kTable, VectorPos(-1.3f, 0, 0.0f)},
                   {F::kStool, VectorPos(-0.9f, 0, 0.0f)},
                   {F::kLamp, VectorPos(-1.3f, 0, 0.0f)}};
    d.lights = {{ZEVLIGHT_AMB, Colour(40, 40, 40, 255), 0.5f, 0.0f, VectorPos(0, -0.9f, 0)},
                {ZEVLIGHT_DIR, Colour(60, 60, 60, 255), 0.5f, 0.0f, VectorPos(0, -0.9f, 0), VectorXYZ(1.2f, 0.3f, 0)},
                {ZEVLIGHT_POS, Colour(150, 120, 90, 255), 0.5f, 2.0f, VectorPos(-1.3f, -0.8f, 0.0f)}};
    d.entry = VectorPos(0.5f, 0, -0.6f);
    return d;
}

// Where a ray from a to b (the room's own frame, y up from the floor
// negative) first meets something solid, built at the default spot.
Object* Ray(VectorPos a, VectorPos b, VectorPos* hit)
{
    const VectorDir spot(0.0f, -31.25f, 0.0f);
    VectorDir n;
    Object* o = world.CheckRay(a + spot, b + spot, hit, &n, nullptr, nullptr, 0x100);
    if (o != nullptr)
        *hit = *hit - spot;
    return o;
}

}  // namespace

namespace {

// Doors the player walks through upright, furniture, lights and the entry
// inside the room: the designs the sample disc's rooms are built from pass,
// and each way of getting them wrong is named.
TEST(RoomDesigns, DoorsFitTheFigureAndEverythingStandsInsideTheRoom)
{
    EXPECT_EQ(tools::CheckRoom(SmallRoom()), "");
    for (const tools::NamedRoom& r : tools::SampleRooms())
        EXPECT_EQ(tools::CheckRoom(r.design), "") << r.path;
    const float man = PlayerStature();
    auto fault = [](auto change) {
        tools::RoomDesign d = SmallRoom();
        change(d);
        return tools::CheckRoom(d);
    };
    EXPECT_NE(fault([&](tools::RoomDesign& d) { d.doors[0].height = man; }).find("too small"), std::string::npos);
    EXPECT_NE(fault([&](tools::RoomDesign& d) { d.doors[0].width = 0.4f * man; }).find("too small"), std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.doors[1].along = 2.4f; }).find("does not fit"), std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.doors[0].height = 1.0f; }).find("does not fit"), std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.doors.push_back({0, 0.7f, 0.4f, 0.7f}); }).find("overlap"),
              std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.doors[0].wall = 4; }).find("no wall"), std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.furniture[1].at = VectorPos(3, 0, 0); }).find("furniture 1"),
              std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.lights[2].at = VectorPos(0, -1.2f, 0); }).find("light 2"),
              std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.entry = VectorPos(0, 0, -1.5f); }).find("entry"), std::string::npos);
    EXPECT_NE(fault([](tools::RoomDesign& d) { d.height = 0.0f; }).find("no height"), std::string::npos);
    // The bar's counter comes to a standing man's waist.
    const float top = tools::FurnitureTop(tools::Furniture::kCounter, 1.0f);
    EXPECT_GT(top, 0.5f * man);
    EXPECT_LT(top, 0.65f * man);
}

// The generated room built as the level loader builds an interior: shots
// and bodies fired or walking at any wall, doorways included, are stopped at
// the wall's face, nothing stands in the way across the open floor, the
// counter stops what comes at it below a man's waist and not above it; its
// lights are the set-up's lights; the same design writes the same bytes.
TEST_F(Setups, AGeneratedRoomKeepsEverythingInside)
{
    const tools::RoomDesign d = SmallRoom();
    tools::SetupFile s;
    const tools::BuiltRoom built = tools::AddRoom(s, d);
    ASSERT_EQ(built.furniture.size(), d.furniture.size());
    const std::vector<u8> bytes = Written(s);
    {
        tools::SetupFile again;
        tools::AddRoom(again, d);
        EXPECT_EQ(Written(again), bytes);
    }
    SlotFile f(kSlot, bytes);
    ASSERT_NE(gc->LoadIntExtSetup(-1, f.mf(), true), nullptr);

    VectorPos hit;
    // Out through each wall at knee and shoulder height, and out through the
    // middle of each doorway.
    struct Out
    {
        VectorPos from, to;
        int axis;
        float face;
    };
    const VectorPos mid(-0.25f, -0.3f, 0.75f);
    std::vector<Out> outs;
    for (float y : {-0.15f, -0.45f}) {
        outs.push_back({mid, VectorPos(0.0f, y, d.z0 - 1.0f), 2, d.z0});
        outs.push_back({mid, VectorPos(d.x1 + 1.0f, y, 0.0f), 0, d.x1});
        outs.push_back({mid, VectorPos(-1.5f, y, d.z1 + 1.0f), 2, d.z1});
        outs.push_back({mid, VectorPos(d.x0 - 1.0f, y, 0.5f), 0, d.x0});
    }
    outs.push_back({VectorPos(0.5f, -0.3f, 0.5f), VectorPos(0.5f, -0.3f, d.z0 - 1.0f), 2, d.z0});
    outs.push_back({VectorPos(-0.5f, -0.3f, 1.0f), VectorPos(d.x0 - 1.0f, -0.3f, 1.0f), 0, d.x0});
    for (const Out& o : outs) {
        ASSERT_NE(Ray(o.from, o.to, &hit), nullptr) << o.to[0] << ", " << o.to[1] << ", " << o.to[2];
        EXPECT_NEAR(hit[o.axis], o.face, 0.01f) << o.to[0] << ", " << o.to[1] << ", " << o.to[2];
    }
    // Across the open floor from the entry.
    EXPECT_EQ(Ray(d.entry + VectorDir(0, -0.3f, 0), VectorPos(-0.5f, -0.3f, 1.2f), &hit), nullptr);
    // The counter (its front at z = 2.1 - 0.13) below and above a man's waist.
    const float man = PlayerStature();
    ASSERT_NE(Ray(VectorPos(0.2f, -0.45f * man, 1.5f), VectorPos(0.2f, -0.45f * man, 2.4f), &hit), nullptr);
    EXPECT_LT(hit[2], 2.1f);
    EXPECT_EQ(Ray(VectorPos(0.2f, -0.7f * man, 1.5f), VectorPos(0.2f, -0.7f * man, 2.4f), &hit), nullptr);

    int lights = 0;
    for (ObjectLink* l = world.framecalllist.Head(); !l->IsEOList(); l = l->Next())
        lights += l->data != nullptr && l->data->type == OBJT_LIGHT ? 1 : 0;
    EXPECT_EQ(lights, 3);
    EXPECT_FALSE(gc->bUseDefInteriorLights);
}

}  // namespace

namespace {

// Where a set-up is built without its placeholder.
const VectorDir kSpot(0.0f, -31.25f, 0.0f);

// What a loaded set places: every spot a character starts from or makes
// for (the entry, the generators, the points of their paths, the gunmen's
// cover points), the foes' own spots, the fixed cameras and the camera
// zones; a camera standing outside the room fails the test.
struct Placed
{
    std::vector<VectorPos> people, foes;
    std::vector<const Camera*> fixed;
    std::vector<const DaceCamTrigger*> zones;
};

Placed Gather(const tools::RoomDesign& d, const MDLFILE* mf)
{
    Placed out;
    out.people.push_back(VectorPos(d.entry) + kSpot);
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        std::vector<const Spline*> paths;
        if (o->messagehandler == EnemyGenFighter::staticmh) {
            out.foes.push_back(o->mat.GetTrans());
            paths.push_back(static_cast<EnemyGenFighter*>(o)->pSpline);
        } else if (o->messagehandler == EnemyGenShooter::staticmh) {
            out.foes.push_back(o->mat.GetTrans());
            paths.push_back(static_cast<EnemyGenShooter*>(o)->pSplineArrive);
            paths.push_back(static_cast<EnemyGenShooter*>(o)->pSplineMove);
        } else if (o->messagehandler == EnemyGenGuard::staticmh) {
            out.foes.push_back(o->mat.GetTrans());
            paths.push_back(static_cast<EnemyGenGuard*>(o)->pSpline);
        } else if (o->messagehandler == DaceCamTrigger::staticmh) {
            out.zones.push_back(static_cast<DaceCamTrigger*>(o));
        } else if (o->type == OBJT_CAMERA) {
            const VectorPos p = o->mat.GetTrans() - kSpot;
            EXPECT_TRUE(p[0] > d.x0 && p[0] < d.x1 && p[2] > d.z0 && p[2] < d.z1) << "a camera outside the room";
            EXPECT_LT(p[1], 0.0f);
            EXPECT_GT(p[1], -d.height);
            if (o->mode == CAMMODE_FIXED && o != GetCurrentCam())
                out.fixed.push_back(static_cast<Camera*>(o));
        }
        for (const Spline* s : paths)
            for (int i = 0; s != nullptr && i < s->Count(); i++)
                out.people.push_back(VectorPos((*s)[i].xyz()));
    }
    const NODE* cover = mf->FindNode1(0, 0x8063);
    for (u16 c = cover != nullptr ? cover->child : 0xFFFF; c != 0xFFFF; c = mf->nodes[c].sibling)
        out.people.push_back(cover->Pos() + VectorDir(mf->nodes[c].Pos()) + kSpot);
    out.people.insert(out.people.end(), out.foes.begin(), out.foes.end());
    return out;
}

// Every spot of `placed` lies on the room's floor clear of its furniture.
void ExpectOnTheFloor(const tools::RoomDesign& d, const Placed& placed)
{
    for (VectorPos p : placed.people) {
        p = p - kSpot;
        EXPECT_TRUE(p[0] > d.x0 + 0.1f && p[0] < d.x1 - 0.1f && p[2] > d.z0 + 0.1f && p[2] < d.z1 - 0.1f)
            << p[0] << ", " << p[2] << " is not on the floor";
        VectorPos hit;
        bool clear = true;
        for (VectorDir off : {VectorDir(0, 0, 0), VectorDir(0.1f, 0, 0), VectorDir(-0.1f, 0, 0), VectorDir(0, 0, 0.1f),
                              VectorDir(0, 0, -0.1f)})
            clear &= Ray(VectorPos(p[0], -0.45f, p[2]) + off, VectorPos(p[0], -0.02f, p[2]) + off, &hit) == nullptr;
        EXPECT_TRUE(clear) << p[0] << ", " << p[2] << " is taken by furniture";
    }
}

void ClearWorld()
{
    world.Clear();
    SetCurrentCam(nullptr);
    while (world.spllist.RemoveHead() != nullptr) {
    }
}

// The sample bar and spa as their set-up files build them.  Every spot a
// character starts from or makes for lies on the room's floor clear of its
// furniture, and every camera stands inside the room: the fights are
// fought in the room and seen from inside it.  In the bar the fighters'
// spots are in a zone that gives the view to the player's own camera (which
// frames both fighters) and in no fixed camera's zone; in the spa the
// shoot-out's camera takes the view wherever the player stands.
TEST_F(Setups, TheSampleRoomsHoldTheirFightsAndTheirCameras)
{
    const std::vector<tools::NamedSetup> files = tools::SampleSetupFiles();
    const std::vector<tools::NamedRoom> rooms = tools::SampleRooms();
    ASSERT_GE(rooms.size(), 2u);
    for (size_t k = 0; k < 2; k++) {
        SCOPED_TRACE(rooms[k].path);
        ASSERT_EQ(files[k].path, rooms[k].path);
        const tools::RoomDesign& d = rooms[k].design;
        SlotFile f(kSlot, Written(files[k].setup));
        ASSERT_NE(gc->LoadIntExtSetup(-1, f.mf(), true), nullptr);
        const Placed placed = Gather(d, f.mf());
        const std::vector<VectorPos>& fighters = placed.foes;
        const std::vector<const Camera*>& fixed = placed.fixed;
        const std::vector<const DaceCamTrigger*>& zones = placed.zones;
        ASSERT_FALSE(fighters.empty());
        ExpectOnTheFloor(d, placed);
        ASSERT_FALSE(fixed.empty());
        for (const VectorPos& p : fighters) {
            bool players = false, fixedCam = false;
            for (const DaceCamTrigger* z : zones)
                players |= z->dctp.cammode == 0 && z->dctp.trigger1.Within(p);
            for (const Camera* c : fixed)
                fixedCam |= static_cast<const FixedCamera_params*>(c->pvExtra)->trigger1.Within(p);
            if (k == 0) {
                EXPECT_TRUE(players) << p[0] << ", " << p[2];
                EXPECT_FALSE(fixedCam) << p[0] << ", " << p[2];
            }
        }
        if (k == 1) {
            bool shootout = false;
            for (const Camera* c : fixed)
                shootout |= static_cast<const FixedCamera_params*>(c->pvExtra)->trigger1.Within(kSpot);
            EXPECT_TRUE(shootout);
        }
        ClearWorld();
    }
}

// The kinds of entity the world holds after a set has loaded, into `made`,
// each checked for what makes it work: a steam burst blows for the gunman
// whose id is 4100 less its own, who comes in by a path through the door
// whose id is 4000 less his; a tunnel camera follows a grate of the set; a
// mannequin generator's set holds the figure (node 6000, its arm's muzzle
// 0x8000) and the ball (node 6003) it makes them of; a street light has its
// lamp; a camera with zones of its own is handed the view by a step.
void Made(const MDLFILE* mf, std::set<int>& made)
{
    auto find = [](int id) -> Object* {
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (l->data->id == id)
                return l->data;
        return nullptr;
    };
    if (!world.obslist.IsEmpty())
        made.insert(ENT_AVOIDOBSTACLE);
    if (!g_pgcTest->splRadarList.IsEmpty())
        made.insert(ENT_RADARSPLINE);
    while (Spline* sp = g_pgcTest->splRadarList.RemoveHead())
        free(sp);
    while (world.obslist.RemoveHead() != nullptr) {
    }
    const OBJMESSAGEHANDLER pickup = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("GunPickup")));
    std::vector<const Extent*> zoned;
    std::vector<VectorPos> landings;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        const OBJMESSAGEHANDLER h = o->messagehandler;
        if (o->type == OBJT_CAMERA && o->mode == CAMMODE_TUNNEL) {
            made.insert(ENT_TUNNELCAMERA);
            const auto* t = static_cast<const TunnelCamera_params*>(static_cast<Camera*>(o)->pvExtra);
            ASSERT_NE(t, nullptr);
            const Object* grate = find(t->grate_id);
            ASSERT_NE(grate, nullptr);
            EXPECT_EQ(grate->messagehandler, TunnelGrate::staticmh);
        } else if (o->type == OBJT_CAMERA) {
            made.insert(o->mode == CAMMODE_PATH ? ENT_PATHCAMERA : o->mode == CAMMODE_ORBITING ? ENT_ORBITINGCAMERA
                        : o->mode == CAMMODE_GROUP  ? ENT_GROUPCAMERA : ENT_FIXEDCAMERA);
            if (o->mode == CAMMODE_PATH || o->mode == CAMMODE_ORBITING || o->mode == CAMMODE_GROUP)
                zoned.push_back(static_cast<const Extent*>(static_cast<Camera*>(o)->pvExtra));
        } else if (h == DaceModeTrigger::staticmh && static_cast<DaceModeTrigger*>(o)->dmtp.task_exit == 0) {
            // A step that moves the player out of its own volume.
            const DaceModeTrigger* t = static_cast<DaceModeTrigger*>(o);
            EXPECT_FALSE(t->dmtp.trigger1.Within(t->mat.GetTrans()));
            landings.push_back(t->mat.GetTrans());
        } else if (h == SteamBurst::staticmh) {
            made.insert(ENT_STEAMBURST);
            const EnemyGenShooter* gunman = nullptr;
            for (ObjectLink* g = world.objectlist.Head(); !g->IsEOList(); g = g->Next())
                if (g->data->messagehandler == EnemyGenShooter::staticmh &&
                    static_cast<EnemyGenShooter*>(g->data.p)->pegsp->id == 4100 - o->id)
                    gunman = static_cast<EnemyGenShooter*>(g->data.p);
            ASSERT_NE(gunman, nullptr);
            EXPECT_NE(gunman->pSplineArrive, nullptr);
            const Object* door = find(4000 - gunman->pegsp->id);
            ASSERT_NE(door, nullptr);
            made.insert(ENT_OBJECTINFO);
            EXPECT_NE(door->mdlfile, nullptr);
        } else if (h == EnemyGenMannequin::staticmh) {
            made.insert(ENT_MANNEQUINSHOOTER);
            const NODE* figure = mf->FindNodeById1(0, 6000);
            ASSERT_NE(figure, nullptr);
            const NODE* body = mf->FindNodeById(figure, 1);
            const NODE* arm = mf->FindNodeById(body, 2);
            EXPECT_NE(mf->FindNodeById(arm, 0x8000), nullptr);
            EXPECT_NE(mf->FindNodeById1(0, 6003), nullptr);
        } else if (h == StreetLight::_mh) {
            made.insert(ENT_EXTERIORSPECIFIC);
            EXPECT_NE(o->FindNodeById(LAMP_RED_ID), nullptr);
        } else {
            const std::pair<OBJMESSAGEHANDLER, int> kinds[] = {
                {EnemyGenMutant::staticmh, ENT_ENEMYGENMUTANT},   {SteamGenerator::staticmh, ENT_STEAMGENERATOR},
                {SplineObjectMover::staticmh, ENT_SPLINEOBJECTMOVER}, {TunnelGrate::staticmh, ENT_TUNNELGRATE},
                {WaterSurface::WaterSurface_mh, ENT_WATERPATCH},  {pickup, ENT_GUNPICKUP},
                {Airplane::staticmh, ENT_AIRPLANE},               {Flamer::Flamer_mh, ENT_TORCH},
                {EnemyGenGuard::staticmh, ENT_ENEMYGENGUARD},     {DaceModeTrigger::staticmh, ENT_DACEMODETRIGGER},
            };
            for (const auto& [handler, kind] : kinds)
                if (h == handler)
                    made.insert(kind);
        }
    }
    // Each camera that takes the view in a zone of its own is handed it by
    // a step that lands the player in that zone (its own timer lapses
    // during the row's scene).
    for (const Extent* zone : zoned) {
        ASSERT_NE(zone, nullptr);
        EXPECT_TRUE(std::any_of(landings.begin(), landings.end(), [&](VectorPos p) { return zone->Within(p); }));
    }
}

// The story's sets as the disc holds them: each is on the disc under the
// name its step loads, its foes and every spot they and the player use lie
// on its floor clear of its furniture, and every foe's spot is in a zone
// that gives the view to the player's camera; the sets of fights hold
// fighters and the fight's record, those of shoot-outs gunmen and cover,
// those of sneak-ins guards and a way out that ends the task, the range its
// targets.
TEST_F(Setups, TheStorySetsHoldWhatTheirGamesPlayWith)
{
    const std::vector<tools::NamedSetup> all = tools::SampleSetupFiles();
    const std::vector<tools::NamedRoom> rooms = tools::StoryRooms();
    const std::vector<tools::NamedSetup> files = tools::StorySetups();
    ASSERT_EQ(rooms.size(), files.size());
    // The sets the story's steps and the 24/7 rooms name, and the kinds of
    // foe each holds (f fighters, s shooters, g guards, t targets; i the
    // impound lot's car places; a the jet and the two light aircraft).
    const std::map<std::string, char> named = {
        {"Int/LEVEL1/FRANGEG2.P2B", 't'}, {"Int/LEVEL1/FRANGES3.P2B", 0},  {"Int/EOD.P2B", 0},
        {"Int/LEVEL1/BISTROG5.P2B", 'f'}, {"Int/LEVEL1/BISTROS6.P2B", 0},  {"Int/LEVEL1/MG6A.P2B", 's'},
        {"Int/LEVEL1/MG6B.P2B", 's'},     {"Int/LEVEL4/NCLUBOG7.P2B", 0},  {"Int/LEVEL4/AUTOSHG2.P2B", 'f'},
        {"Int/LEVEL4/MG5.P2B", 'g'},      {"Int/LEVEL4/NCLUBG6.P2B", 's'}, {"Int/LEVEL4/DOJOG8.P2B", 'f'},
        {"Int/LEVEL4/MG9.P2B", 'f'},      {"Int/LEVEL5/DOJOS1B.P2B", 0},   {"Int/LEVEL5/RDHSEG2.P2B", 'f'},
        {"Int/LEVEL5/DINERS4.P2B", 0},    {"Int/LEVEL5/BSHOPG5.P2B", 'f'}, {"Int/LEVEL5/BSHOPBG6.P2B", 's'},
        {"Int/LEVEL5/BFSHOPS7.P2B", 0},   {"Int/LEVEL5/RDHSES8.P2B", 0},   {"Int/LEVEL6/HALLG2.P2B", 'g'},
        {"Int/LEVEL6/PARLRG3.P2B", 'f'},  {"Int/LEVEL6/LIBRYG4.P2B", 's'}, {"Int/LEVEL6/ALTARG5.P2B", 0},
        {"Int/LEVEL6/STUDYG6.P2B", 0},    {"Int/LEVEL6/CELLRG7.P2B", 0},   {"Int/LEVEL6/SEWERG8.P2B", 's'},
        {"Int/LEVEL7/RDOBARG2.P2B", 'f'}, {"Int/LEVEL7/MVSTRGG6.P2B", 'g'}, {"Int/LEVEL7/MVSTRGG7.P2B", 's'},
        {"Int/LEVEL7/MG8.P2B", 0},
        {"Int/LEVEL2/DOJO.P2B", 'f'},     {"Int/DOJO247.P2B", 'f'},        {"Int/LEVEL2/WAREHSE.P2B", 's'},
        {"Int/LEVEL2/WARE_SNP.P2B", 's'}, {"Int/LEVEL2/WARE_STL.P2B", 'g'}, {"Int/LEVEL3/SPSHRMG6.P2B", 'f'},
        {"Int/LEVEL3/SPSHRMG8.P2B", 'f'}, {"Int/LEVEL3/SPASROOM.P2B", 'g'}, {"Int/LEVEL8/GCLUBG3.P2B", 'f'},
        {"Int/LEVEL8/AHANGG5.P2B", 's'},  {"Int/LEVEL9/SCLUBG2.P2B", 'f'},  {"Int/LEVEL9/MG6.P2B", 'f'},
        {"Int/LEVEL9/MG7.P2B", 's'},      {"Int/LEVEL10/G4.P2B", 's'},      {"Int/LEVEL10/BLOBBYG5.P2B", 's'},
        {"Int/LEVEL10/BHALOFG6.P2B", 's'}, {"Int/LEVEL10/BHALOFG9.P2B", 's'}, {"Int/LEVEL10/OFHELIG7.P2B", 'f'},
        {"Int/LEVEL11/G3.P2B", 'f'},      {"Int/LEVEL11/HSWUG5.P2B", 's'},  {"Int/LEVEL12/MNSNG2.P2B", 'g'},
        {"Int/LEVEL12/MMRMG3.P2B", 'f'},  {"Int/LEVEL12/G6.P2B", 's'},      {"Int/LEVEL12/G7.P2B", 'f'},
        {"Int/BONUS/BNSGYM1.P2B", 'f'},   {"Int/BONUS/GUNCRSE3.P2B", 't'},  {"Int/LEVEL3/WARE3S1B.P2B", 0},
        {"Int/LEVEL3/CYPRS3.P2B", 0},     {"Int/LEVEL8/MVSTRGS1.P2B", 0},   {"Int/LEVEL8/DINERS2.P2B", 0},
        {"Int/LEVEL8/GCLUBS4A.P2B", 0},   {"Int/LEVEL8/HANGS601.P2B", 0},   {"Int/LEVEL8/MG6.P2B", 'a'},
        {"Int/LEVEL8/MG7.P2B", 0},        {"Int/LEVEL9/SCLUBS3.P2B", 0},    {"Int/LEVEL9/SPOTS4.P2B", 0},
        {"Int/LEVEL10/OFHELIS8.P2B", 0},  {"Int/LEVEL11/GCLUBS4C.P2B", 0},
        {"Int/LEVEL11/HSWUS6.P2B", 0},    {"Int/LEVEL11/HSWUCHS7.P2B", 0},  {"Int/LEVEL12/RDHSES1A.P2B", 0},
        {"Int/LEVEL12/MMRMS4.P2B", 0},    {"Int/IMPOUND.P2B", 'i'},
    };
    std::set<std::string> seen;
    std::set<int> made;
    // The gun a set drops is drawn from the resident file of guns.
    Weapon gun{};
    gun.SetType(WEAP_SMG_UZI);
    ASSERT_GE(gun.iGunMFIndex, 0);
    std::unique_ptr<SlotFile> guns;
    for (const auto& [name, file] : tools::WeaponModelFiles())
        if (name.find("ENEMGUNS") != std::string::npos)
            guns = std::make_unique<SlotFile>(gun.iGunMFIndex, file);
    ASSERT_NE(guns, nullptr);
    for (size_t k = 0; k < files.size(); k++) {
        const std::string& path = files[k].path;
        SCOPED_TRACE(path);
        ASSERT_EQ(rooms[k].path, path);
        ASSERT_EQ(named.count(path), 1u);
        seen.insert(path);
        EXPECT_EQ(std::count_if(all.begin(), all.end(), [&](const tools::NamedSetup& n) { return n.path == path; }), 1);
        const tools::RoomDesign& d = rooms[k].design;
        SlotFile f(kSlot, Written(files[k].setup));
        Object* setup = gc->LoadIntExtSetup(-1, f.mf(), true);
        ASSERT_NE(setup, nullptr);
        const Placed placed = Gather(d, f.mf());
        ExpectOnTheFloor(d, placed);
        // The impound lot offers a car for each of the three bonus races
        // won and one more, car i at the set's node 0x8001 + i, each on the
        // floor with room for a car (a unit and a half) from the next.
        Placed cars;
        for (int i = 0; i < 4; i++) {
            NODE* n = setup->FindNodeById(0x8001 + i);
            if (n == nullptr || n == &f.mf()->nodes[0])
                break;
            cars.people.push_back(VectorPos((n->GetMatrix() * setup->GetWorldMatrix()).GetTrans()));
        }
        ExpectOnTheFloor(d, cars);
        for (size_t i = 1; i < cars.people.size(); i++)
            EXPECT_GE((cars.people[i] - cars.people[i - 1]).Length(), 1.5f);
        for (const VectorPos& p : placed.foes) {
            bool players = false;
            for (const DaceCamTrigger* z : placed.zones)
                players |= z->dctp.cammode == 0 && z->dctp.trigger1.Within(p);
            EXPECT_TRUE(players) << p[0] << ", " << p[2];
        }
        int fighters = 0, shooters = 0, guards = 0, exits = 0, targets = 0, walls = 0;
        std::set<int> aircraft;
        bool jetFliesOff = false;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
            const Object* o = l->data;
            if (o->messagehandler == Airplane::staticmh) {
                // The jet taxis into the volume that starts its roll, passes
                // the one that wakes -168 and climbs above the height that
                // makes it airborne; the light aircraft stand on the floor.
                const auto* a = static_cast<const Airplane*>(o);
                aircraft.insert(a->id * 10 - a->app.planetype);
                const VectorPos at = VectorPos(a->mat.GetTrans());
                EXPECT_TRUE(at[0] > d.x0 && at[0] < d.x1 && at[2] > d.z0 && at[2] < d.z1) << a->id;
                if (named.at(path) == 'a')
                    EXPECT_NEAR(at[1], VectorPos(setup->GetWorldMatrix().GetTrans())[1], 1e-4f) << a->id;
                if (a->app.planetype == 0 && a->pSpline != nullptr) {
                    bool rolls = false, wakes = false;
                    const float n = float(a->pSpline->NumSplines());
                    for (float t = 0.0f; t <= n; t += 0.01f) {
                        const VectorPos p(a->pSpline->Evaluate(t).xyz());
                        rolls |= a->app.trigger2.Within(p);
                        wakes |= rolls && a->app.trigger3.Within(p);
                    }
                    const float top = a->pSpline->Evaluate(n)[1];
                    jetFliesOff = rolls && wakes && top < at[1] - 0.3125f;
                }
            }
            fighters += o->messagehandler == EnemyGenFighter::staticmh;
            // A fighter's moves are in group 10 plus his style: a group his
            // room's step loads, or one loaded from start-up (15, 16).  The
            // 24/7 dojo's step loads none; the first bonus gym's loads 10.
            if (o->messagehandler == EnemyGenFighter::staticmh) {
                const int group = 10 + static_cast<const EnemyGenFighter*>(o)->pegfp->style;
                if (path == "Int/DOJO247.P2B")
                    EXPECT_TRUE(group == 15 || group == 16) << group;
                if (path == "Int/BONUS/BNSGYM1.P2B")
                    EXPECT_EQ(group, 10);
            }
            shooters += o->messagehandler == EnemyGenShooter::staticmh;
            guards += o->messagehandler == EnemyGenGuard::staticmh;
            exits += o->messagehandler == DaceModeTrigger::staticmh &&
                     static_cast<const DaceModeTrigger*>(o)->dmtp.task_exit != 0;
            targets += o->messagehandler == TargetMoving::staticmh || o->messagehandler == TargetInnocent::staticmh;
        }
        for (Link<WallSpline>* l = world.spllist.Head(); !l->IsEOList(); l = l->Next())
            walls++;
        const bool combat = gc->fightparams != nullptr;
        gc->fightparams = nullptr;
        const char kind = named.at(path);
        EXPECT_EQ(fighters > 0 && combat, kind == 'f');
        EXPECT_EQ(shooters >= 4 && walls > 0 && f.mf()->FindNode1(0, 0x8063) != nullptr, kind == 's');
        EXPECT_EQ(guards > 0 && exits == 1, kind == 'g');
        EXPECT_EQ(targets >= 4, kind == 't');
        EXPECT_EQ(cars.people.size() == 4, kind == 'i');
        Made(f.mf(), made);
        EXPECT_EQ(aircraft == std::set<int>({-1670, -1681, -1691}) && jetFliesOff, kind == 'a');
        ClearWorld();
    }
    // Every kind the loader builds something of is built by some set: the
    // cameras the steps never make themselves, the mutants, the mannequins,
    // steam, the props' rail, the tunnel's grate, water, a gun to pick up, a
    // radar outline, a line cars keep off, street furniture, a parked plane,
    // torches and a door that a gunman opens.
    for (int kind : {ENT_PATHCAMERA, ENT_ORBITINGCAMERA, ENT_GROUPCAMERA, ENT_TUNNELCAMERA, ENT_ENEMYGENMUTANT,
                     ENT_MANNEQUINSHOOTER, ENT_STEAMGENERATOR, ENT_STEAMBURST, ENT_SPLINEOBJECTMOVER, ENT_TUNNELGRATE,
                     ENT_WATERPATCH, ENT_GUNPICKUP, ENT_RADARSPLINE, ENT_AVOIDOBSTACLE, ENT_EXTERIORSPECIFIC,
                     ENT_AIRPLANE, ENT_TORCH, ENT_OBJECTINFO, ENT_ENEMYGENGUARD, ENT_DACEMODETRIGGER})
        EXPECT_EQ(made.count(kind), 1u) << "no set makes an entity of kind " << kind;
    EXPECT_EQ(seen.size(), named.size());
}

// The dragon's cellar as its episode places it: the dragon hovers on the
// line through the middle of the room between 44 and 48 above the city's
// ground and its fireballs fly 80 frames at 0.1041667 a frame from its head
// (a little off that line); the player, whom the scene leaves in the
// middle of the floor, stands under it within their reach at both ends of
// its hover, the dragon clear of his head and the ceiling clear of it.
TEST_F(Setups, TheDragonsCellarPutsThePlayerWithinReachOfItsFireballs)
{
    float floor = 0.0f;
    bool placed = false;
    for (const tools::MissionPlaceholder& p : tools::SampleMission6())
        if (p.id == -1) {
            floor = p.pos[1];
            placed = true;
        }
    ASSERT_TRUE(placed);
    const std::vector<tools::NamedRoom> rooms = tools::StoryRooms();
    const auto cellar = std::find_if(rooms.begin(), rooms.end(),
                                     [](const tools::NamedRoom& r) { return r.path == "Int/LEVEL6/CELLRG7.P2B"; });
    ASSERT_NE(cellar, rooms.end());
    const float reach = 80.0f * 0.1041667f, head = 1.75f;
    for (float height : {44.0f, 48.0f})
        EXPECT_LT(std::fabs(floor + height) + head, reach) << height;
    EXPECT_LT(-44.0f, floor - PlayerStature());
    EXPECT_LT(floor - cellar->design.height, -48.0f - 0.5f);
}

}  // namespace
