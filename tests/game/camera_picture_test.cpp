// The chase camera's view of a car drawn through the whole stand-in.
#include <gtest/gtest.h>

#include "ZevEngine2/PS2/modeldraw_support.h"

#include "game/Camera.h"
#include "game/Vehicle.h"

namespace {

using namespace modeldraw;

}  // namespace

// A car-sized stand-in (a body 1.45 long, 0.56 wide and 0.45 high with its
// origin on the ground, a cabin on top) on a ground slab, climbing a slight
// slope and turned a little, seen by the chase camera of the first view
// after it has followed the car for two seconds.
TEST(ChaseCameraPicture, FirstViewFollowingACarMatchesTheGoldenPicture)
{
    dmatest::ResetMachine();
    Scene scene;
    scene.SetUp();
    InitTransparencies(scene.rc);

    tools::P2BFile f;
    f.models.push_back(tools::BoxModel(0.28f, 0.15f, 0.725f, TEXID_NONE, false, Colour(40, 70, 160, 128)));
    f.models.push_back(tools::BoxModel(0.24f, 0.09f, 0.35f, TEXID_NONE, false, Colour(120, 160, 200, 128)));
    f.models.push_back(tools::BoxModel(6.0f, 0.05f, 12.0f, TEXID_NONE, false, Colour(70, 90, 60, 128)));
    f.AddNode(-1, tools::MakeNode(0, VectorPos(0, -0.3f, 0)));
    f.AddNode(0, tools::MakeNode(1, VectorPos(0, -0.24f, -0.1f)));
    f.AddNode(-1, tools::MakeNode(2, VectorPos(0, 0.05f, 0)));
    LoadedFile file(f);
    ASSERT_TRUE(file.ok);

    Vehicle* car = new Vehicle;
    Object* body = file.mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(body, nullptr);
    car->Attach(body);
    Object* ground = file.mf.GetHierarchy(2, sizeof(Object), 0);
    ASSERT_NE(ground, nullptr);
    ground->mat = Matrix(true);

    // Starting at rest, then 0.03 a frame along its heading.
    const float heading = 0.25f;
    car->mat = RotX(-0.05f) * RotY(heading);
    car->SetPos(VectorPos(-1.0f, -0.1f, -3.0f));
    Camera* c = new Camera(car, VectorPos(0, 0, 0));
    c->mode = CAMMODE_NORMAL;
    c->InitCarMode(car);
    c->CutToInCarCameraSettings();
    for (int f = 0; f < 100; f++) {
        car->vel = Vector(VectorXYZ(car->mat.z.xyz()) * 0.03f, 0.0f);
        car->SetPos(car->Pos() + car->vel.xyz());
        c->Update();
    }
    // Behind the car, above it, looking at it.
    const VectorDir back = VectorDir(c->mat.GetTrans() - car->Pos());
    EXPECT_LT(Dot(back, VectorDir(car->mat.z.xyz())), -1.0f);
    EXPECT_LT(back[1], -0.4f);

    scene.rc.SetZRange(0.1f, 100.0f);
    scene.rc.SetPerspective(c->zoom);
    scene.rc.SetCameraMatrix(c->mat);
    scene.Frame([&] {
        ::Draw(scene.rc, ground, ground->GetWorldMatrix());
        ::Draw(scene.rc, car, car->GetWorldMatrix());
    });
    EXPECT_GT(scene.Covered(), 20000);
    scene.ExpectGolden("chase_camera_car");

    c->Delete();
    car->Delete();
    ground->Delete();
    scene.TearDown();
}
