// The game cameras: the camera object (shake, collision, timers, dying), the
// chase camera of a car, the cameras that follow a character on foot, and
// the cameras levels place with their trigger volumes and transitions.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/game/levelcamera_support.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Controller.h"
#include "game/Camera.h"
#include "game/CameraMaths.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cine.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kDeg = kPi / 180.0f;

class CameraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.playbackSpeed = 1.0f;
        dace = nullptr;
        isCinemaRunning = 0;
        SetCurrentCam(nullptr);
        g_DefaultCamera.mat = Matrix(true);
        controller[0].rdata[4] = 128;
        srand(26);
    }
    void TearDown() override
    {
        SetCurrentCam(nullptr);
        world.Clear();
        dace = nullptr;
    }

    // A target standing at pos facing +z.
    static Object* Target(VectorPos pos, s16 id = 5)
    {
        Object* o = new Object;
        o->mat = Matrix(true);
        o->SetPos(pos);
        o->id = id;
        return o;
    }

    static VectorPos Pos(const Camera& c) { return c.mat.GetTrans(); }
    static float Yaw(const Camera& c) { return camera::Yaw(c.mat.z.xyz()); }
    static float Pitch(const Camera& c) { return camera::Pitch(c.mat.z.xyz()); }
};

using levelcam::LevelCamera;
using levelcam::MakeSpline;

// A straight spline of n segments from a to b.
Spline* Straight(VectorPos a, VectorPos b, int n)
{
    std::vector<VectorPos> pts;
    for (int i = 0; i <= 3 * n; i++)
        pts.push_back(a + VectorDir(b - a) * (float(i) / float(3 * n)));
    return MakeSpline(pts);
}

// A closed circle of radius r about c (y fixed), four segments.
Spline* Circle(VectorPos c, float r)
{
    const float k = 0.5522848f * r;
    std::vector<VectorPos> pts;
    const float dx[4] = {1, 0, -1, 0}, dz[4] = {0, 1, 0, -1};
    for (int q = 0; q < 4; q++) {
        const int n = (q + 1) % 4;
        const VectorPos p0 = c + VectorPos(dx[q] * r, 0, dz[q] * r), p1 = c + VectorPos(dx[n] * r, 0, dz[n] * r);
        pts.push_back(p0);
        pts.push_back(p0 + VectorPos(dx[n] * k, 0, dz[n] * k));
        pts.push_back(p1 + VectorPos(dx[q] * k, 0, dz[q] * k));
    }
    pts.push_back(pts[0]);
    return MakeSpline(pts);
}

// A trigger volume holding everything within 100 of the origin.
Extent Everywhere()
{
    return Extent(Cuboid(VectorPos(-100, -100, -100), VectorPos(100, 100, 100)).UnitMat());
}

}  // namespace

// ---------------------------------------------------------------------------
// The camera object.

TEST_F(CameraTest, ShakeIsTakenOffBeforeTheUpdateAndPutBackAfter)
{
    Object* t = Target(VectorPos(1, -2, 3));
    Camera c(t, VectorPos(0, 0, 0));
    c.mode = CAMMODE_CONTROLLED_ATTACH;
    c.Shake(true, true);
    c.Shake(false, false);
    // The mode copies its target's matrix each frame: a shake left in the
    // position would add up.
    for (int f = 0; f < 15; f++) {
        c.SendMessage(OM_FRAME, nullptr);
        const float v = f < 13 ? MajorShakeFrames[f] * CameraShakeFactor : 0.0f;
        const float h = f < 9 ? MinorShakeFrames[f] * CameraShakeFactor : 0.0f;
        EXPECT_NEAR(c.mat.w[0], 1.0f + h, 1e-6f) << f;
        EXPECT_NEAR(c.mat.w[1], -2.0f + v, 1e-6f) << f;
    }
    t->Delete();
}

TEST_F(CameraTest, OnlySolidThingsPushTheCamera)
{
    // A box that the camera's sphere pokes into from above-left.
    alignas(16) static u8 chain[sizeof(CollBox) + 16];
    CollBox* box = reinterpret_cast<CollBox*>(chain);
    box->type = COLL_BOX;
    box->SetID(0x01, 0x00);
    box->box = Cuboid(VectorPos(-1, -1, -1), VectorPos(1, 1, 1));
    box->Next()->type = COLL_END;
    Object wall;
    wall.mat = Matrix(true);
    wall.collision = box->Head();
    wall.radius = 2.0f;

    Object* t = Target(VectorPos(-5, 0, 0));
    const OBJTYPE ignored[] = {OBJT_VEHICLE, OBJT_ICON, OBJT_BONE, OBJT_LIGHT, OBJT_PROJECTILE, OBJT_PARTICLE};
    const OBJTYPE solid[] = {OBJT_STATIC, OBJT_CHARACTER, OBJT_PLACEHOLDER, OBJT_DEBRIS, OBJT_DYNAMIC};
    world.timePrecise = AnimTime(5 * 256);
    auto poke = [&](OBJTYPE type, s16 id) {
        Camera* c = new Camera(t, VectorPos(0, 0, 0));
        c->mode = CAMMODE_INCAR_IN;   // no rule of its own: only the push moves it
        c->SetPos(VectorPos(-1.05f, 0, 0));
        wall.type = u8(type);
        wall.id = id;
        Collide2Objects(c, &wall);
        const float x = c->mat.w[0];
        const u32 when = c->collideTime.t;
        c->Delete();
        return std::make_pair(x, when);
    };
    for (OBJTYPE type : ignored) {
        EXPECT_EQ(poke(type, 3), std::make_pair(-1.05f, 0u)) << int(type);
    }
    EXPECT_EQ(poke(OBJT_STATIC, -1), std::make_pair(-1.05f, 0u));
    for (OBJTYPE type : solid) {
        // Out through the face: the sphere of radius 0.1 ends touching it.
        const auto [x, when] = poke(type, 3);
        EXPECT_NEAR(x, -1.1f, 1e-5f) << int(type);
        EXPECT_EQ(when, 5u * 256u);
    }
    t->Delete();
}

TEST_F(CameraTest, TimersTestTriggersEvery15To18FramesAndLapseDuringACinematic)
{
    // A fixed camera whose trigger holds the origin (no player: the origin
    // is tested) takes over on its timer while another camera is current.
    FixedCamera_params* b = nullptr;
    Camera* fixed = LevelCamera(CAMMODE_FIXED, VectorPos(0, -1, -3), 0.0f, &b);
    b->trigger2 = Everywhere();
    b->transition_to = 1;
    Camera other(nullptr, VectorPos(0, 0, 0));
    SetCurrentCam(&other);
    std::vector<int> delays;
    for (int i = 0; i < 200; i++) {
        fixed->SendMessage(OM_TIMER, nullptr);
        ASSERT_FALSE(world.timerlist.IsEmpty());
        delays.push_back(int(world.timerlist.Head()->time.t / 256));
        world.StopTimer(fixed);
        if (i == 0) {
            // The trigger matched: the camera cut in.
            EXPECT_EQ(cam, fixed);
            SetCurrentCam(&other);
            b->trigger2 = Extent(Cuboid(VectorPos(5, 5, 5), VectorPos(6, 6, 6)).UnitMat());
        }
    }
    EXPECT_EQ(cam, &other);
    for (int d = 15; d <= 18; d++)
        EXPECT_NE(std::count(delays.begin(), delays.end(), d), 0) << d;
    EXPECT_EQ(std::count_if(delays.begin(), delays.end(), [](int d) { return d < 15 || d > 18; }), 0);

    // Kept as it was made: while a cinematic runs a camera's timer sets no
    // new one, and trigger tests start again only when other code sets one.
    b->trigger1 = Everywhere();
    isCinemaRunning = 1;
    fixed->SendMessage(OM_TIMER, nullptr);
    EXPECT_TRUE(world.timerlist.IsEmpty());
    EXPECT_EQ(cam, &other);
    isCinemaRunning = 0;
    fixed->Delete();
}

TEST_F(CameraTest, CinematicCarCameraNeverShowsTheSameShotTwiceInARow)
{
    Object* car = Target(VectorPos(0, -0.5f, 10));
    Camera* c = new Camera(car, VectorPos(0, 0, 0));
    c->mode = CAMMODE_EXTERIORCINEINCAR;
    SetCurrentCam(c);
    SpecialMessage look(SMSG_CAM_LOOK_AT, c, 0);
    c->SendMessage(OM_SPECIAL, &look);
    // Shot 0: a hard cut to its place and look point on the car, zoom 2.
    EXPECT_FLOAT_EQ(c->zoom, 2.0f);
    EXPECT_NEAR(c->mat.w[2], 10.483125f, 1e-5f);
    EXPECT_NEAR(c->vpLastTargetPos[1], -0.825f, 1e-6f);
    int counts[4] = {};
    int last = c->iTrack;
    for (int i = 0; i < 300; i++) {
        c->SendMessage(OM_TIMER, nullptr);
        EXPECT_NE(c->iTrack, last);
        counts[c->iTrack]++;
        last = c->iTrack;
        const int due = int(world.timerlist.Head()->time.t / 256);
        EXPECT_GE(due, 180);
        EXPECT_LE(due, 240);
        world.StopTimer(c);
    }
    for (int n : counts)
        EXPECT_GT(n, 50);
    // Code 1 outside the cinematic mode does nothing, nor do unknown codes.
    c->mode = CAMMODE_FIXED;
    const Matrix before = c->mat;
    look.param[0] = 3;
    c->SendMessage(OM_SPECIAL, &look);
    SpecialMessage other(77, c, 0);
    c->SendMessage(OM_SPECIAL, &other);
    EXPECT_EQ(std::memcmp(&before, &c->mat, sizeof(Matrix)), 0);
    c->Delete();
    car->Delete();
}

TEST_F(CameraTest, ModesWithoutARuleLeaveTheCameraAlone)
{
    Object* t = Target(VectorPos(3, -1, 4));
    for (int m : {1, 2, 21, 40, -1, -128}) {
        Camera c(t, VectorPos(0, 0, 0));
        c.mode = s8(m);
        c.mat = RotY(0.3f);
        c.SetPos(VectorPos(1, 2, 3));
        const Matrix before = c.mat;
        c.Update();
        c.SendMessage(OM_FRAME, nullptr);
        EXPECT_EQ(std::memcmp(&before, &c.mat, sizeof(Matrix)), 0) << m;
    }
    t->Delete();
}

TEST_F(CameraTest, DyingFreesOnlyWhatTheCameraOwns)
{
    const int before = heaptest::BlocksInUse();
    // Its own sphere and a path camera's block and spline go with it.
    Camera* c = new Camera(nullptr, VectorPos(0, 0, 0));
    c->mode = CAMMODE_PATH;
    c->pvExtra = calloc(1, sizeof(PathCamera_params));
    c->pvExtraSpl = Straight(VectorPos(0, 0, 0), VectorPos(1, 0, 0), 1);
    c->Delete();
    EXPECT_EQ(heaptest::BlocksInUse(), before);

    // A zero-filled level camera has no collision block; one given an index
    // into a model file's table or a model file's entry frees neither.
    alignas(16) static u8 entry[sizeof(CollSphere) + 16];
    for (uintptr_t coll : {uintptr_t(0), uintptr_t(3), reinterpret_cast<uintptr_t>(entry)}) {
        FixedCamera_params* b = nullptr;
        Camera* z = LevelCamera(CAMMODE_FIXED, VectorPos(0, 0, 0), 0.0f, &b);
        z->collision = reinterpret_cast<COLLISION*>(coll);
        z->Delete();
        EXPECT_EQ(heaptest::BlocksInUse(), before) << coll;
    }
    // Nor does a constructed camera whose collision was swapped for a model
    // file's entry: only its own sphere goes.
    Camera* s = new Camera(nullptr, VectorPos(0, 0, 0));
    s->collision = reinterpret_cast<COLLISION*>(entry);
    s->Delete();
    EXPECT_EQ(heaptest::BlocksInUse(), before);
}

// ---------------------------------------------------------------------------
// The chase camera.

class InCarCamera : public CameraTest
{
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        car = new Vehicle;
        car->mat = Matrix(true);
        car->SetPos(VectorPos(0, -0.5f, 10));
        c = new Camera(car, VectorPos(0, 0, 0));
        c->mode = CAMMODE_NORMAL;
        c->InitCarMode(car);
    }
    void TearDown() override
    {
        c->Delete();
        car->Delete();
        CameraTest::TearDown();
    }
    // Where a cut of setting s puts the camera behind a level car at p.
    static VectorPos CutEye(const CamCustomSettings& s, VectorPos p)
    {
        return p + VectorPos(0, s.fDistGoal * std::sin(s.fAngXGoal), -s.fDistGoal * std::cos(s.fAngXGoal));
    }
    Vehicle* car = nullptr;
    Camera* c = nullptr;
};

TEST_F(InCarCamera, ViewsCycleByCutsEasesAndARigidMount)
{
    EXPECT_EQ(c->mode, CAMMODE_INCAR);
    EXPECT_EQ(c->iCurrCCS, 0);
    // 0 -> 1 and 1 -> 2: no cut, only the pitch eases, 0.05 of the way a frame.
    for (int view = 1; view <= 2; view++) {
        const Matrix m = c->mat;
        const VectorPos relpos = c->relpos;
        const float angx = c->angx;
        c->AdvanceCamSettings(false);
        EXPECT_EQ(c->iCurrCCS, view);
        EXPECT_EQ(c->mode, CAMMODE_INCAR);
        EXPECT_EQ(std::memcmp(&m, &c->mat, sizeof(Matrix)), 0);
        EXPECT_EQ(relpos, c->relpos);
        c->Update();
        EXPECT_NEAR(c->angx, angx + (rgccs[view].fAngX - angx) * 0.05f, 1e-6f);
    }
    // 2 -> 3: rigid on the car at the current offset.
    c->AdvanceCamSettings(false);
    EXPECT_EQ(c->mode, CAMMODE_ONCAR);
    const VectorPos offset = c->relpos;
    car->mat = RotY(0.5f);
    car->SetPos(VectorPos(4, -0.5f, 2));
    c->Update();
    const VectorPos want = car->mat * offset;
    EXPECT_NEAR(Pos(*c)[0], want[0], 1e-5f);
    EXPECT_NEAR(Pos(*c)[2], want[2], 1e-5f);
    EXPECT_NEAR(Yaw(*c), 0.5f, 1e-4f);
    // 3 -> 0: a cut straight behind and above the car at setting 0's
    // distance, looking at it and pitched down by setting 0's angle.
    car->mat = Matrix(true);
    car->SetPos(VectorPos(0, -0.5f, 10));
    c->AdvanceCamSettings(false);
    EXPECT_EQ(c->mode, CAMMODE_INCAR);
    const VectorPos eye = CutEye(rgccs[0], car->Pos());
    EXPECT_NEAR(Pos(*c)[1], eye[1], 1e-5f);
    EXPECT_NEAR(Pos(*c)[2], eye[2], 1e-5f);
    const VectorDir toCar = Normalise(VectorDir(car->Pos() - eye));
    EXPECT_NEAR(Dot(VectorDir(c->mat.z.xyz()), toCar), std::cos(rgccs[0].fAngX), 1e-5f);
}

TEST_F(InCarCamera, LookBackSteepCarsAndTheSpringAtRest)
{
    c->CutToInCarCameraSettings();
    const VectorPos behind = Pos(*c);
    // Look-back: in front of the car, looking back at it.
    c->SetReverseCamera(true);
    EXPECT_TRUE(c->bReverseCamera);
    EXPECT_NEAR(Pos(*c)[2], 10.0f + 2.5f * std::cos(ccsReverse.fAngXGoal), 1e-4f);
    EXPECT_LT(c->mat.z[2], 0.0f);
    c->SetReverseCamera(true);   // held: nothing more
    EXPECT_NEAR(Pos(*c)[2], 10.0f + 2.5f * std::cos(ccsReverse.fAngXGoal), 1e-4f);
    // Released: the current view reloaded and cut to.
    c->SetReverseCamera(false);
    EXPECT_FALSE(c->bReverseCamera);
    EXPECT_FLOAT_EQ(c->distgoal, rgccs[0].fDistGoal);
    EXPECT_NEAR(Pos(*c)[2], behind[2], 1e-5f);
    EXPECT_NEAR(Pos(*c)[1], behind[1], 1e-5f);

    // A car nosing up at 60 or 80 degrees gets the view of one at 45.
    auto viewAt = [&](float pitchUp) {
        car->mat = RotX(pitchUp);
        car->SetPos(VectorPos(0, -20, 10));
        c->CutToInCarCameraSettings();
        return c->mat;
    };
    const Matrix at45 = viewAt(45 * kDeg);
    for (float up : {60.0f, 80.0f}) {
        const Matrix m = viewAt(up * kDeg);
        for (int r = 0; r < 4; r++)
            for (int i = 0; i < 3; i++)
                EXPECT_NEAR(m[r][i], at45[r][i], 2e-4f) << up;
    }
    const Matrix at30 = viewAt(30 * kDeg);
    EXPECT_GT(std::fabs(at30.w[1] - at45.w[1]), 0.1f);

    // The position spring's pull from the same place: an eighth at rest,
    // full from speed 0.0232838 on; the damping does not change.
    car->mat = Matrix(true);
    car->SetPos(VectorPos(0, -0.5f, 10));
    auto pull = [&](float speed) {
        car->vel = Vector(0, 0, speed, 0);
        c->CutToInCarCameraSettings();
        c->SetPos(Pos(*c) + VectorPos(0.4f, 0, 0));
        c->dir = VectorDir(0, 0, 0);
        c->UpdateInCarCam();
        return c->dir[0];
    };
    const float rest = pull(0.0f), fast = pull(0.0232838f), faster = pull(0.1f);
    EXPECT_NEAR(fast, -0.4f * 0.05f, 1e-5f);
    EXPECT_NEAR(rest, fast * 0.125f, 1e-6f);
    EXPECT_FLOAT_EQ(faster, fast);
    EXPECT_LT(std::fabs(pull(0.0116419f)), std::fabs(fast));
}

TEST_F(InCarCamera, KeepsAboveTheGroundAndEnteringAgainChangesNothing)
{
    // A car sunk below the ground would pull the camera under it.
    car->SetPos(VectorPos(0, 1.5f, 10));
    for (int f = 0; f < 120; f++) {
        car->SetPos(car->Pos() + VectorPos(0.01f, 0, 0.05f));
        if (f == 0)
            c->CutToInCarCameraSettings();
        else
            c->Update();
        const VectorPos p = Pos(*c);
        EXPECT_LE(p[1], c->GroundHeight(p, nullptr) - 0.3125f + 1e-5f) << f;
    }
    Object other;
    std::vector<u8> image(sizeof(Camera));
    std::memcpy(image.data(), static_cast<void*>(c), sizeof(Camera));
    c->InitCarMode(&other);
    EXPECT_EQ(std::memcmp(image.data(), static_cast<void*>(c), sizeof(Camera)), 0);
}

// ---------------------------------------------------------------------------
// Following on foot.

TEST_F(CameraTest, PedestrianEntryJumpsOnlyFromFarAndItsSpringsRampUp)
{
    Object* t = Target(VectorPos(10, -1, 10));
    const VectorPos q = t->mat * VectorPos(2.5f, -0.46875f, -2.5f);
    for (float away : {6.2f, 6.3f}) {
        Camera c(t, VectorPos(0, 0, 0));
        c.SetPos(q + VectorPos(away, 0, 0));
        c.InitPedestrianMode(t, true);
        EXPECT_EQ(c.mode, CAMMODE_PEDESTRIAN);
        EXPECT_FLOAT_EQ(c.angx, 0.0872665f);
        EXPECT_FLOAT_EQ(c.distgoal, 1.0f);
        // One update ran from where the camera stood (or jumped to).
        const float from = away < 6.25f ? away : 0.0f;
        EXPECT_NEAR(VectorDir(Pos(c) - q).Length(), from, 0.15f) << away;
    }
    Camera c(t, VectorPos(0, 0, 0));
    c.InitPedestrianMode(t, false);
    EXPECT_NEAR(c.fAccel, 0.0375f + 0.001875f, 1e-7f);
    for (int i = 1; i < 179; i++)
        c.Update();
    EXPECT_LT(c.fAccel, 0.375f);
    EXPECT_NEAR(c.fAccel, 0.375f, 0.002f);
    c.Update();
    EXPECT_NEAR(c.fAccel, 0.375f, 1e-6f);
    for (int i = 0; i < 20; i++)
        c.Update();
    EXPECT_FLOAT_EQ(c.fAccel, 0.375f);
    t->Delete();
}

TEST_F(CameraTest, CombatHeadingClosesWithoutOvershoot)
{
    Object* t = Target(VectorPos(0, -1, 0));
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> ang(-kPi, kPi);
    for (int run = 0; run < 40; run++) {
        Camera c(t, VectorPos(0, 0, 0));
        c.InitCombatMode(t);
        c.SetPos(VectorPos(0, -1.5f, -1.4f));
        c.dir = VectorDir(std::sin(ang(rng)), 0.25f, std::cos(ang(rng)));
        c.diranggoal = ang(rng);
        c.dirangaccel = run % 2 ? Camera::AngleDirAccelSprinting : Camera::AngleDirAccelMoving;
        for (int f = 0; f < 60; f++) {
            const float d = FixAng(c.GetDirAngle(c.dir) - c.diranggoal);
            c.Update();
            const float after = FixAng(c.dirang - c.diranggoal);
            // Never across the goal, never further than it.
            EXPECT_LE(std::fabs(after), std::fabs(d) + 1e-5f);
            EXPECT_FALSE(after * d < 0.0f && std::fabs(after) > 1e-5f) << run << " " << f;
        }
    }
    t->Delete();
}

TEST_F(CameraTest, CloseFollowersLookAlongTheirFacingAndViewsHandBack)
{
    // Too close to look at the anchor: the view runs along dir.
    Object* t = Target(VectorPos(2, -1, 5));
    Camera c(t, VectorPos(0.3f, 0, 0));
    c.mode = CAMMODE_NORMAL;
    c.angx = c.angy = 0.0f;
    c.absposstep = 0.1f;
    c.dir = Normalise(VectorDir(0.2f, 0.1f, 1));
    c.dist = 0.005f;
    c.Update();
    EXPECT_NEAR(Dot(VectorDir(c.mat.z.xyz()), c.dir), 1.0f, 1e-5f);
    c.dist = 0.5f;
    c.Update();
    EXPECT_LT(Dot(VectorDir(c.mat.z.xyz()), c.dir), 0.999f);

    // ResetCam acts in the pedestrian mode only.
    c.mode = CAMMODE_COMBAT;
    const Matrix before = c.mat;
    c.ResetCam();
    EXPECT_EQ(std::memcmp(&before, &c.mat, sizeof(Matrix)), 0);
    c.InitPedestrianMode(t, true);
    c.ResetCam();
    // Behind the target at the goal distance, at the eye height, 5 degrees down.
    const VectorPos look = t->Pos() + VectorPos(0, -0.46875f, 0);
    EXPECT_NEAR(VectorDir(Pos(c) - look).Length(), 1.0f, 1e-5f);
    EXPECT_NEAR(c.mat.z[1], std::sin(0.0872665f), 1e-4f);

    // A view handed back keeps its direction on the next frame.
    for (float yaw : {0.4f, -2.0f, 3.0f}) {
        const VectorDir z(std::sin(yaw) * std::cos(0.3f), std::sin(0.3f), std::cos(yaw) * std::cos(0.3f));
        const VectorPos anchor = t->mat * c.relpos;
        Matrix m = LookatMatrix(anchor - z * 1.3f, anchor);
        c.fAccel = 0.375f;
        c.SetCamToMatrix(m);
        c.Update();
        EXPECT_NEAR(Dot(VectorDir(c.mat.z.xyz()), z), 1.0f, 1e-4f) << yaw;
        EXPECT_NEAR(VectorDir(Pos(c) - m.GetTrans()).Length(), 0.0f, 2e-3f) << yaw;
    }
    t->Delete();
}

// ---------------------------------------------------------------------------
// Level cameras.

TEST_F(CameraTest, TriggerVolumesMatchTheirBoxOnly)
{
    Camera c(nullptr, VectorPos(0, 0, 0));
    Extent e[2];
    e[0] = Extent(Cuboid(VectorPos(4, -2, 4), VectorPos(6, 0, 6)).UnitMat());
    e[1] = e[0];
    e[1].w[3] = 0.0f;   // an empty slot
    Dace player;
    dace = &player;
    player.mat = Matrix(true);
    player.SetPos(VectorPos(5, -1, 5));
    EXPECT_TRUE(c.CheckTriggers(e, 1));
    EXPECT_FALSE(c.CheckTriggers(e + 1, 1));   // even with the player at its centre
    EXPECT_FALSE(c.CheckTriggers(e, 0));
    player.SetPos(VectorPos(6.2f, -1, 5));
    EXPECT_FALSE(c.CheckTriggers(e, 2));
    // Without a player, the origin.
    dace = nullptr;
    EXPECT_FALSE(c.CheckTriggers(e, 1));
    e[0] = Extent(Cuboid(VectorPos(-1, -1, -1), VectorPos(0.5f, 0.5f, 0.5f)).UnitMat());
    EXPECT_TRUE(c.CheckTriggers(e, 1));
}

TEST_F(CameraTest, AutomaticTransitionsCutAReversalAndGlideATurn)
{
    Object* t = Target(VectorPos(0, -1, 8));
    Camera current(t, VectorPos(0, 0, 0));
    current.mat = Matrix(true);
    current.SetPos(VectorPos(0, -1, 0));
    current.zoom = 1.6f;
    // A camera 2 away whose view is turned by 180 degrees: a cut.
    FixedCamera_params* b = nullptr;
    Camera* back = LevelCamera(CAMMODE_FIXED, VectorPos(2, -1, 0), kPi, &b);
    back->zoom = 1.2f;
    SetCurrentCam(&current);
    back->SetupFixedCameraTransition(0);
    EXPECT_EQ(cam, back);
    EXPECT_EQ(back->iInterp, 0);
    EXPECT_EQ(Pos(*back), VectorPos(2, -1, 0));
    EXPECT_FLOAT_EQ(back->zoom, 1.2f);

    // One turned by 100 degrees: a 90-frame glide in position and zoom along
    // s = 3t^2 - 2t^3.
    FixedCamera_params* b2 = nullptr;
    Camera* side = LevelCamera(CAMMODE_FIXED, VectorPos(2, -1, 0), 100 * kDeg, &b2);
    side->zoom = 2.0f;
    side->target = t;
    t->SetPos(VectorPos(3, -1, 8));   // on the side the glide turns to
    SetCurrentCam(&current);
    side->SetupFixedCameraTransition(0);
    EXPECT_EQ(cam, side);
    EXPECT_EQ(side->iInterp, 1);
    EXPECT_EQ(std::memcmp(&side->mat, &current.mat, sizeof(Matrix)), 0);
    int frames = 0;
    while (side->iInterp == 1 && frames < 200) {
        side->Update();
        frames++;
        const float tt = std::min(1.0f, frames / 90.0f);
        const float s = 3 * tt * tt - 2 * tt * tt * tt;
        EXPECT_NEAR(Pos(*side)[0], 2.0f * s, 2e-4f) << frames;
        EXPECT_NEAR(side->zoom, 1.6f + 0.4f * s, 1e-4f) << frames;
    }
    EXPECT_GE(frames, 90);
    EXPECT_LE(frames, 91);
    EXPECT_NEAR(Pos(*side)[0], 2.0f, 1e-5f);
    EXPECT_NEAR(Pos(*side)[2], 0.0f, 1e-5f);
    back->Delete();
    side->Delete();
    t->Delete();
}

TEST_F(CameraTest, ACutStaysInItsRangesAndANoDollyCameraStaysOnItsMount)
{
    // The target far to the right; the camera may turn 0.3 and tilt 0.1.
    Object* t = Target(VectorPos(20, -5, 1));
    FixedCamera_params* b = nullptr;
    Camera* c = LevelCamera(CAMMODE_FIXED, VectorPos(0, -1, 0), 0.0f, &b);
    c->target = t;
    c->fAngRangeY = 0.3f;
    c->fAngRangeX = 0.1f;
    c->iTrack = 0;
    c->ForceCutTo();
    EXPECT_EQ(c->iInterp, 0);
    EXPECT_NEAR(Yaw(*c), 0.3f, 1e-4f);
    EXPECT_NEAR(Pitch(*c), 0.1f, 1e-3f);
    // Following on: the aim never leaves the ranges either.
    for (int f = 0; f < 200; f++) {
        t->SetPos(t->Pos() + VectorPos(-0.2f, 0, 0.1f));
        c->Update();
        EXPECT_LE(std::fabs(Yaw(*c)), 0.3f + 0.01f) << f;
        EXPECT_LE(std::fabs(Pitch(*c)), 0.1f + 0.01f) << f;
        // A dolly of 0: on its mount throughout.
        EXPECT_EQ(Pos(*c), VectorPos(0, -1, 0));
    }
    // With a dolly it slides towards a distant target, up to the dolly.
    t->SetPos(VectorPos(0, -1, 8));
    b->dolly = 8.0f;      // 2.5 in the world
    b->distance = 4.0f;   // 1.25
    c->fAngRangeY = c->fAngRangeX = kPi;
    for (int f = 0; f < 600; f++)
        c->Update();
    EXPECT_NEAR(Pos(*c)[2], 2.5f, 0.05f);
    EXPECT_NEAR(Pos(*c)[0], 0.0f, 1e-3f);
    c->Delete();
    t->Delete();
}

TEST_F(CameraTest, VelocityLawsSettle)
{
    EXPECT_EQ(GetNewAngVel(0.0f, 0.00099f, 1.0f), 0.0f);
    EXPECT_NEAR(GetNewAngVel(0.0f, 0.0011f, 1.0f), 0.00011f, 1e-9f);
    EXPECT_NEAR(GetNewAngVel(0.4f, 1.0f, 0.0f), 0.0f, 1e-9f);
    EXPECT_NEAR(GetNewAngVel(0.2f, -1.0f, 0.0f), -0.15f, 1e-7f);
    // The dolly velocity: towards a sixteenth of the change, by at most
    // 0.0046567 a frame; a reversal restarts it small.
    EXPECT_NEAR(GetNewDollyVel(0.0f, 0.0f, 1.0f), 0.0046567f, 1e-9f);
    EXPECT_NEAR(GetNewDollyVel(0.06f, 0.0f, 1.0f), 0.06f + 0.0025f / 8.0f, 1e-7f);
    EXPECT_NEAR(GetNewDollyVel(0.07f, 0.0f, 1.0f), 0.07f - 0.0075f / 8.0f, 1e-7f);
    EXPECT_NEAR(GetNewDollyVel(0.01f, 0.0f, -1.0f), -0.0023283f, 1e-9f);
    float v = 0.0f;
    for (int i = 0; i < 400; i++)
        v = GetNewDollyVel(v, 0.0f, 0.32f);
    EXPECT_NEAR(v, 0.02f, 1e-4f);
}

TEST_F(CameraTest, TunnelCameraStaysBetweenTheGrateAndTheEnd)
{
    TunnelCamera_params* b = nullptr;
    Camera* c = LevelCamera(CAMMODE_TUNNEL, VectorPos(0.5f, -1, 3), 0.3f, &b);
    b->distance_param = 2.0f;
    b->grate_id = 77;
    c->pvExtraSpl = Straight(VectorPos(0, -1, 0), VectorPos(0, -1, 30), 3);
    Object* grate = Target(VectorPos(0, -1, 1), 77);
    world.AddObject(grate, nullptr);
    Dace player;
    player.mat = Matrix(true);
    player.SetPos(VectorPos(0, -1, 6));
    dace = &player;
    ASSERT_TRUE(world.AddObject(c, nullptr));
    // Made current on joining, on the tunnel at its nearest point facing
    // along it; its own facing is kept in the tunnel's frame for the updates.
    EXPECT_EQ(cam, c);
    EXPECT_TRUE(c->flags & OBJF_FRAMECALL);
    EXPECT_NEAR(Pos(*c)[0], 0.0f, 1e-5f);
    EXPECT_NEAR(Pos(*c)[2], 3.0f, 1e-3f);
    EXPECT_NEAR(Yaw(*c), 0.0f, 1e-5f);
    EXPECT_EQ(c->target, nullptr);
    for (int f = 0; f < 900; f++) {
        // The grate creeps on; the player runs ahead, stops, runs past the end.
        grate->SetPos(grate->Pos() + VectorPos(0, 0, 0.02f));
        if (f < 200 || f > 400)
            player.SetPos(player.Pos() + VectorPos(0, 0, 0.08f));
        if (f == 300)
            player.SetPos(VectorPos(0, -1, 2));   // behind the grate
        c->Update();
        EXPECT_GE(c->fT, c->fSplT - 1e-5f) << f;
        EXPECT_LE(c->fT, 3.0f) << f;
        EXPECT_GE(Pos(*c)[2], grate->Pos()[2] - 0.2f) << f;
        if (f == 299) {
            EXPECT_NEAR(player.Pos()[2] - Pos(*c)[2], 2.0f, 0.1f);
            EXPECT_NEAR(Yaw(*c), 0.3f, 1e-3f);
        }
    }
    EXPECT_NEAR(Pos(*c)[2], 30.0f, 1e-3f);
    dace = nullptr;
    world.Clear();
    SetCurrentCam(nullptr);
}

TEST_F(CameraTest, AMovingTargetStaysInThePictureOfFixedPathAndOrbitingCameras)
{
    // Without a player the origin is inside each camera's volume, so each
    // takes over through its trigger test.
    std::mt19937 rng(26);
    std::uniform_real_distribution<float> turn(-0.08f, 0.08f);
    for (int kind = 0; kind < 3; kind++) {
        for (int track = 0; track < 2; track++) {
            Object* t = Target(VectorPos(0, -1, 0));
            Camera start(t, VectorPos(0, 0, 0));
            start.mat = LookatMatrix(VectorPos(0, -3, -10), VectorPos(0, -1, 0));
            SetCurrentCam(&start);
            Camera* c = nullptr;
            if (kind == 0) {
                FixedCamera_params* b = nullptr;
                c = LevelCamera(CAMMODE_FIXED, VectorPos(1, -2.5f, -9), 0.0f, &b);
                b->trigger1 = Everywhere();
                b->dolly = 12.0f;
                b->distance = 16.0f;
            } else if (kind == 1) {
                PathCamera_params* b = nullptr;
                c = LevelCamera(CAMMODE_PATH, VectorPos(-10, -2, -8), 0.0f, &b);
                b->trigger1 = Everywhere();
                b->mount_distance = 6.0f;
                b->path_bias = 1.0f;
                c->pvExtraSpl = Straight(VectorPos(-12, -2, -8), VectorPos(12, -2, -8), 4);
            } else {
                OrbitingCamera_params* b = nullptr;
                c = LevelCamera(CAMMODE_ORBITING, VectorPos(9, -2, 0), -kPi / 2, &b);
                b->trigger1 = Everywhere();
                c->pvExtraSpl = Circle(VectorPos(0, -2, 0), 9.0f);
                c->relposgoal = VectorPos(0, -2, 0);
                c->fOrbRadius = 9.0f;
            }
            c->target = t;
            c->iTrack = track;
            c->CheckCameraTriggers();
            ASSERT_EQ(cam, c) << kind;
            float heading = 0.0f;
            int outside = 0;
            for (int f = 0; f < 1500; f++) {
                // A walk that wanders but stays in the yard.
                const VectorPos p = t->Pos();
                heading += turn(rng);
                if (std::sqrt(p[0] * p[0] + p[2] * p[2]) > 5.0f)
                    heading = std::atan2(-p[0], -p[2]);
                t->SetPos(p + VectorPos(std::sin(heading), 0, std::cos(heading)) * 0.03f);
                c->Update();
                if (f < 100)
                    continue;
                for (float raise : {0.0f, 0.390625f}) {
                    const VectorPos v = VectorPos(
                        camera::IntoRotation(c->mat, t->Pos() - VectorPos(0, raise, 0) - Pos(*c)));
                    const bool in = v[2] > 0.1f && std::fabs(v[0]) * c->zoom < v[2] && std::fabs(v[1]) * c->zoom < v[2];
                    outside += in ? 0 : 1;
                }
            }
            EXPECT_EQ(outside, 0) << "kind " << kind << " tracking " << track;
            c->Delete();
            t->Delete();
            world.Clear();
        }
    }
}

TEST_F(CameraTest, GroupCameraEasesToItsPlaceOrAnAlternativeAndATaskBlockNeverTriggers)
{
    Object* t = Target(VectorPos(0, -1, 6));
    Dace player;
    player.mat = Matrix(true);
    player.SetPos(VectorPos(0, -1, 0));
    dace = &player;
    GroupCamera_params* b = nullptr;
    Camera* g = LevelCamera(CAMMODE_GROUP, VectorPos(0, -2, -4), 0.0f, &b);
    g->target = t;
    b->trigger1 = Extent(Cuboid(VectorPos(-1, -2, -1), VectorPos(1, 0, 1)).UnitMat());
    // Two alternative points: one towards the target, one away from it.
    Vector* alt = static_cast<Vector*>(calloc(4, sizeof(Vector)));
    alt[0] = Vector(6, -2, 2, 1);
    alt[1] = Vector(-6, -2, -9, 1);
    g->pvExtraSpl = alt;
    Camera current(t, VectorPos(0, 0, 0));
    current.mat = Matrix(true);
    current.SetPos(VectorPos(0, -2, -8));
    SetCurrentCam(&current);
    g->CheckCameraTriggers();
    ASSERT_EQ(cam, g);
    // It starts at the old view and eases 0.03 of the way a frame to its place.
    EXPECT_EQ(Pos(*g), Pos(current));
    g->Update();
    EXPECT_NEAR(Pos(*g)[2], -8.0f + 4.0f * 0.03f, 1e-5f);
    for (int f = 0; f < 300; f++)
        g->Update();
    EXPECT_NEAR(Pos(*g)[2], -4.0f, 1e-3f);
    // The player out of its volume: towards the alternative on the target's
    // side, 0.05 of the way a frame.
    player.SetPos(VectorPos(5, -1, 5));
    const VectorPos from = Pos(*g);
    g->Update();
    EXPECT_NEAR(Pos(*g)[0], from[0] + (6.0f - from[0]) * 0.05f, 1e-4f);
    for (int f = 0; f < 300; f++)
        g->Update();
    EXPECT_NEAR(Pos(*g)[0], 6.0f, 1e-3f);
    EXPECT_NEAR(Pos(*g)[2], 2.0f, 1e-3f);
    g->Delete();

    // A task start camera is a fixed camera with a short block of its own
    // kind: it is never read as a fixed camera's triggers.
    Camera* task = static_cast<Camera*>(calloc(1, sizeof(Camera)));
    task->messagehandler = Camera::staticmh;
    task->type = OBJT_CAMERA;
    task->mode = CAMMODE_FIXED;
    task->zoom = 1.6f;
    task->pvExtra = calloc(1, 8);
    SetCurrentCam(&current);
    for (int i = 0; i < 50; i++)
        task->SendMessage(OM_TIMER, nullptr);
    EXPECT_EQ(cam, &current);
    task->Delete();
    t->Delete();
}
