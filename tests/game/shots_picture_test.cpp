// What a gunfight leaves, drawn on the stand-in's GS with the sample disc's
// own models: holes shot into a wall, cases lying on the floor, a muzzle
// flash at a gun's muzzle and an aiming reticle locked onto its target with
// the target's indicator; compared with a golden picture.
#include "game/explode_support.h"

#include <cmath>
#include <string>

#include "tools/lib/gunfiles.h"
#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/ShotEffects.h"
#include "game/Weapons.h"
#include "game/reticle.h"

using namespace explodetest;

namespace {

constexpr int kW = 256, kH = 128;
const Colour kBackground(24, 28, 40, 128);
constexpr float kFloor = 0.4f;   // the room's floor, below the eye (y grows downward)
constexpr float kWallZ = 1.5f;   // the wall's face

// The sample disc's file of that name.
tools::P2BFile DiscFile(const std::string& name)
{
    for (auto& [path, file] : tools::WeaponModelFiles())
        if (path == "DemoData/Misc/" + name)
            return file;
    ADD_FAILURE() << name << " is not among the weapon files";
    return {};
}

// A grey wall 2 x 1.2 x 0.1 with its collision box, and a brown floor
// board (drawn only: the room's floor is the controller's height).
tools::P2BFile WallFile()
{
    tools::P2BFile f;
    f.models = {tools::BoxModel(1.0f, 0.6f, 0.05f, TEXID_NONE, false, Colour(150, 150, 140, 128))};
    tools::CollisionChain slab;
    slab.Box(0x0101, Cuboid(VectorPos(-1.0f, -0.6f, -0.05f), VectorPos(1.0f, 0.6f, 0.05f)));
    f.collisions.push_back(slab);
    NODE n = tools::MakeNode(0);
    n.collision = 0;
    f.AddNode(-1, n);
    return f;
}

tools::P2BFile FloorFile()
{
    tools::P2BFile f;
    f.models = {tools::BoxModel(1.2f, 0.01f, 1.0f, TEXID_NONE, false, Colour(110, 90, 70, 128))};
    f.AddNode(-1, tools::MakeNode(0));
    return f;
}

Matrix At(float x, float y, float z)
{
    Matrix m(true);
    m.SetTrans(VectorPos(x, y, z));
    return m;
}

class ShotsPicture : public ::testing::Test
{
protected:
    Surface draw, zbuf, savedDraw, savedZ;
    RenderContext view;
    GameController* gc = nullptr;
    int savedGunBank = -1;

    void SetUp() override
    {
        world.Clear();
        world.SetPlaybackSpeed(1.2f);
        srand(99);
        // No gun bank: a ricochet's pitch would take a draw of its own.
        savedGunBank = sndbank_gun;
        sndbank_gun = -1;
        gc = gametest::Controller();
        gc->bInterior = true;
        gc->fInteriorHeight = kFloor;
        gc->bReticleOn = true;
        gc->stats.fRecticleSpeed = 0.0f;
        cam->mat = Matrix(true);
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        savedDraw = Platform::GetDrawBuffer();
        savedZ = Platform::GetZBuffer();
        view.SetViewport(2048.0f, 2048.0f + kW, 2048.0f, 2048.0f + kH, 1.0f, 16000000.0f);
        view.SetPerspective(1.0f);
        view.SetCameraMatrix(Matrix(true));
        rc.SetCameraMatrix(Matrix(true));
    }
    void TearDown() override
    {
        world.Clear();
        gc->bInterior = false;
        therenderer.ClearTexture();
        TexManOff();
        Platform::GetDrawBuffer() = savedDraw;
        Platform::GetZBuffer() = savedZ;
        sndbank_gun = savedGunBank;
    }

    // A tick and a frame of the main loop: animations play.
    static void Tick()
    {
        world.Update();
        world.Collision();
        world.Animate();
    }

    SlotFile bullets{148, DiscFile("BULLETS.P2B")};
    SlotFile holes{149, DiscFile("BULLHOLE.P2B")};
    SlotFile blood{150, DiscFile("BLOOD.P2B")};
    SlotFile flash{151, DiscFile("MUZZLEFL.P2B")};
    SlotFile aim{153, DiscFile("RTCDEF.P2B")};
    SlotFile indicator{154, DiscFile("RTCENEMY.P2B")};
    SlotFile gunFile{160, DiscFile("DACEGUN3.P2B")};
    SlotFile wallFile{245, WallFile()};
    SlotFile floorFile{244, FloorFile()};
};

}  // namespace

// Three pistol shots into the wall 1.5 ahead leave three dark holes on its
// face; four cases ejected to the right lie on the floor; a flash swells at
// the muzzle of the gun at the lower right; the aiming reticle has slid out
// to the target standing before the wall and locked onto it, the target's
// indicator on it.
TEST_F(ShotsPicture, HolesCasesAFlashAndALockedReticle)
{
    Object* wall = wallFile.mf()->GetHierarchy(0, sizeof(Object), 0);
    wall->mat = At(0.0f, 0.0f, kWallZ + 0.05f);
    wall->type = OBJT_STATIC;
    wall->id = 40;
    ASSERT_TRUE(world.AddObject(wall, nullptr));
    Object* floor = floorFile.mf()->GetHierarchy(0, sizeof(Object), 0);
    floor->mat = At(0.0f, kFloor + 0.018f, 1.0f);   // its top just under the cases

    Object* target = new Object;
    RCptr<Object> holdTarget(target);
    target->mat = At(-0.45f, 0.15f, kWallZ - 0.2f);
    Object parent;
    parent.mat = Matrix(true);
    AimingReticle* r = static_cast<AimingReticle*>(AimingReticle::Create(&parent));
    ASSERT_NE(r, nullptr);
    r->Target(target);

    Weapon pistol = gWeapons[WEAP_PISTOL_RUGER];
    for (const VectorPos at : {VectorPos(-0.3f, -0.2f, 0.0f), VectorPos(0.15f, -0.3f, 0.0f),
                               VectorPos(0.45f, 0.05f, 0.0f)})
        ASSERT_TRUE(ShootBullet(TransMatrix(VectorXYZ(at)), VectorDir(0, 0, 0), bullets.mf(), 2, &pistol, 7, 77,
                                false));
    for (int i = 0; i < 4; i++)
        ASSERT_TRUE(EjectCasing(At(0.0f + 0.12f * float(i), 0.1f, 1.0f + 0.08f * float(i)),
                                VectorDir(0.004f, 0.0f, 0.0f), bullets.mf(), 0, 5000, 0xFFFF, 0xFFFF));
    for (int t = 0; t < 130; t++)
        Tick();

    // Every shot struck: a hole on the wall's face for each.
    EXPECT_EQ(world.Find(OBJT_PROJECTILE), nullptr);
    int holesOnWall = 0;
    for (Object* h = wall->child; h != nullptr; h = h->sibling)
        holesOnWall++;
    EXPECT_EQ(holesOnWall, 3);
    // The cases rest on the floor.
    int resting = 0;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
        if (it->type == OBJT_PARTICLE && (it->flags & OBJF_NOCOLLISION))
            resting += std::fabs(it->Pos()[1] - kFloor) < 0.03f;
    EXPECT_EQ(resting, 4);
    EXPECT_EQ(r->mode, TARGET_MODE_LOCKED);

    Object* gun = gunFile.mf()->GetHierarchy(0, sizeof(Object), 0);
    gun->mat = RotY(0.6f) * At(0.5f, 0.25f, 0.9f);
    ASSERT_TRUE(MuzzleFlash(gun, At(0.09f, -0.01f, 0.0f), flash.mf(), 0));
    world.Animate();
    world.Update();
    world.Animate();

    gsframe::BeginDepthFrame(draw, zbuf, kW, kH, kBackground);
    view.Begin();
    Draw(view, floor, floor->mat);
    Draw(view, gun, gun->mat);
    // The locked reticle last, over its indicator.
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
        if (it->parent == nullptr && !it->IsDead() && *it != r)
            Draw(view, *it, it->mat);
    Draw(view, r, r->mat);
    gsframe::SendFrame();
    golden::ExpectFrameBuffer("shots_holes_cases_flash_reticle", kW, kH);

    gun->Delete();
    floor->Delete();
}
