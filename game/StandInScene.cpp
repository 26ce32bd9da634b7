// The stand-in scene: the sample cube from the disc in the world, a fixed
// camera, and the world's drawing for what the world holds.
#include <algorithm>
#include <cstring>

#include "game/StandInScene.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "game/QuadTree.h"
#include "game/Rain.h"
#include "game/smoke.h"

namespace {

// The model file stays loaded for the run: its objects draw from it.
MDLFILE standinfile;
Object* standincube;

// The camera's world matrix, set each frame.
Matrix standincamera;

// The drive through the city: corners of the route on the road centre
// lines, from the start placeholder to the end one.  The camera rides
// STANDIN_EYE_HEIGHT above the ground it finds under the route, asked at the
// feet (the height found last) with its own ground cache.
constexpr float STANDIN_DRIVE_SPEED = 2.0f;
constexpr float STANDIN_EYE_HEIGHT = 1.5f;
VectorPos drive[5];
int driveCorners = 0;
Matrix drivecamera(true);
GHCache drivecache;
float driveground = 0.0f;
bool reportedNoGround = false;
RenderContext cityview;
int shownx = 64, shownz = 64;
bool shownComplete = false;

// Displayed frames per turn of the model about its own upright axis (about
// 12.5 seconds at 25 frames a second); that axis leans toward the camera by
// STANDIN_LEAN radians so that the top shows more.
constexpr int STANDIN_TURN_FRAMES = 314;
constexpr float STANDIN_LEAN = 0.25f;

// The model's matrix at `frame`: turned about its own y axis, then leant.
// The angle comes from the frame's place in its turn, so it stays exact
// however long the run.
Matrix StandInPose(int frame)
{
    const float turn = float(frame % STANDIN_TURN_FRAMES) / float(STANDIN_TURN_FRAMES);
    return RotY(FixAng(turn * 6.2831855f)) * RotX(STANDIN_LEAN);
}

void PlayChime(unsigned short bank)
{
    if (bank == 0xFFFF)
        return;
    const int chan = sound.AllocChannel(false);
    if (chan >= 0)
        sound.Play(chan, bank, 0);
}

// The model's light nodes became light objects inside its tree; they add
// their light on frame calls like the world's own light objects.
void StartLights(Object* root)
{
    ObjectHierarchyIterator it(root);
    for (Object* o = it.Next(); o != nullptr; o = it.Next())
        if (o->type == OBJT_LIGHT)
            world.StartFrameCall(o);
}

}  // namespace

void StandInOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; i++)
        if (argv[i] != nullptr && std::strcmp(argv[i], "rain") == 0) {
            gRain.SetDensity(1.0f);
            gRain.SetSplashColour(Colour(100, 110, 130, 128));
        }
}

bool StandInSceneStart(unsigned short chimebank)
{
    PlayChime(chimebank);

    standincube = nullptr;
    standinfile = MDLFILE{};
    unsigned len = 0;
    void* block = FileLoad(STANDIN_MODEL, &len);
    if (block == nullptr) {
        printf("Stand-in scene: no %s on the disc; the frames stay empty.\n", STANDIN_MODEL);
        return false;
    }
    standinfile.SetBuffer(block);
    if (!standinfile.Init(len)) {
        printf("Stand-in scene: %s is not a model file the game can use.\n", STANDIN_MODEL);
        standinfile = MDLFILE{};
        free(block);
        return false;
    }
    Object* cube = standinfile.GetHierarchy(0, sizeof(Object), 0);
    if (cube == nullptr) {
        printf("Stand-in scene: %s has no object to show.\n", STANDIN_MODEL);
        return false;
    }
    cube->SetLowresGeom(0.0f);
    cube->mat = StandInPose(0);
    if (!world.AddObject(cube, nullptr)) {
        cube->Delete();
        return false;
    }
    StartLights(cube);
    // A fire on the top face (y points down), turning with the cube.
    Flamer_Create(cube, VectorPos(0.0f, -1.0f, 0.0f), 0.0f, 2.0f, true);

    // A dim ambient light and a weak light from the upper left in front.
    LightObject* amb = new AmbLightObject(Colour(70, 70, 80, 0));
    LightObject* sun = new DirLightObject(Colour(200, 190, 165, 0), VectorDir(0.5f, 0.6f, 0.7f));
    world.AddObject(amb, nullptr);
    world.AddObject(sun, nullptr);

    standincube = cube;
    return true;
}

const Matrix& StandInSceneFrame(int frame)
{
    if (standincube != nullptr && !standincube->IsDead())
        standincube->mat = StandInPose(frame);
    // Above and in front of the model (y points down), looking at it.
    standincamera = LookatMatrix(VectorPos(0.0f, -2.6f, -7.5f), VectorPos(0.0f, 0.0f, 0.0f));
    return standincamera;
}

void StandInCityStart()
{
    driveCorners = 0;
    if (world.quadtree == nullptr)
        return;
    if (!world.LoadMission(STANDIN_MISSION))
        return;
    const Object* from = world.FindPlaceholder(-4);
    const Object* to = world.FindPlaceholder(-5);
    if (from == nullptr || to == nullptr) {
        printf("Stand-in scene: the mission has no placeholders -4 and -5; no drive\n");
        return;
    }
    const VectorPos a = from->Pos(), b = to->Pos();
    // A burst hydrant beside the start and a sparkler over the road.
    Matrix hydrant(true);
    hydrant.SetTrans(VectorPos(a[0] + 2.0f, a[1], a[2] + 2.0f));
    Geyser_Create(nullptr, &hydrant, 0.0f, 1.0f);
    Sparkler_Create(nullptr, VectorPos(a[0] - 2.0f, a[1] - 1.0f, a[2] + 2.0f), 1.0f, 0.0f, 0.0f);
    // East along the start's road, south down the avenue at x = 32, east
    // along the end's road.
    drive[0] = VectorPos(a[0], 0.0f, 32.0f);
    drive[1] = VectorPos(32.0f, 0.0f, 32.0f);
    drive[2] = VectorPos(32.0f, 0.0f, -32.0f);
    drive[3] = VectorPos(b[0], 0.0f, -32.0f);
    driveCorners = 4;
    while (!world.SyncTo(a)) {
    }
    // A new drive: nothing remembered, the feet start at the placeholder's
    // height.
    std::memset(&drivecache, 0, sizeof drivecache);
    driveground = a[1];
    reportedNoGround = false;
    shownx = world.quadtree->gridx;
    shownz = world.quadtree->gridz;
    shownComplete = true;
    printf("City: window at (%d, %d) complete\n", shownx, shownz);
}

const Matrix& StandInCityFrame(const RenderContext& view, int frame)
{
    if (driveCorners == 0 || world.quadtree == nullptr)
        return drivecamera;
    // The point `frame` steps along the route, held at its end.
    float left = STANDIN_DRIVE_SPEED * float(frame);
    int leg = 0;
    for (; leg < driveCorners - 2; leg++) {
        const float len = Length(VectorXYZ(drive[leg + 1] - drive[leg]));
        if (left <= len)
            break;
        left -= len;
    }
    const VectorDir along = Normalise(VectorDir(drive[leg + 1] - drive[leg]));
    const float len = Length(VectorXYZ(drive[leg + 1] - drive[leg]));
    const VectorPos route = drive[leg] + along * std::min(left, len);
    VectorDir up;
    driveground = world.GroundHeight(VectorPos(route[0], driveground, route[2]), &up, &drivecache);
    if (drivecache.prs == nullptr && drivecache.pjunc == nullptr && drivecache.pgp == nullptr && !reportedNoGround) {
        printf("City: frame %d: no ground under the drive at (%.2f, %.2f)\n", frame, route[0], route[2]);
        reportedNoGround = true;
    }
    const VectorPos at(route[0], driveground - STANDIN_EYE_HEIGHT, route[2]);
    drivecamera = LookatMatrix(at, at + along * 10.0f);

    cityview = view;
    cityview.SetCameraMatrix(drivecamera);
    QuadTree* qt = world.quadtree;
    qt->ClearVisibility();
    qt->CalcSortedVisibility(cityview);
    if (qt->gridx != shownx || qt->gridz != shownz) {
        shownx = qt->gridx;
        shownz = qt->gridz;
        shownComplete = false;
        printf("City: frame %d: window moves to (%d, %d)\n", frame, shownx, shownz);
    }
    bool complete = true;
    for (const Grid& g : qt->grid)
        complete &= g.Complete();
    if (complete && !shownComplete) {
        int listed = 0;
        qt->stObjects.ForEach([&](Instance*, float) { listed++; });
        printf("City: frame %d: window at (%d, %d) complete; %d instances in view\n", frame, shownx, shownz,
               listed);
    }
    shownComplete = complete;
    return drivecamera;
}

bool StandInCityDriving() { return driveCorners != 0 && world.quadtree != nullptr; }

void StandInDrawWorld(RenderContext& rc)
{
    // The view's block that Begin sends carries the ambient and directional
    // colours, so they are set up before it.
    SetUpLights(rc);
    rc.Begin();
    InitTransparencies(rc);
    if (StandInCityDriving()) {
        world.quadtree->DrawRoads(rc);
        world.quadtree->DrawObjects(rc);
    }
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* obj = l->data;
        if (obj->IsDead() || obj->parent != nullptr)
            continue;
        FindBestLights(rc, obj->GetWorldPos(), obj->radius, true);
        Draw(rc, obj, obj->mat);
    }
    DrawTransparencies(rc);
    world.partList.Draw(rc);
    gRain.Draw(rc);
    // The particles leave their images' filtering and clamping set; the
    // models, which send only their images' base registers, are drawn with
    // point sampling and repeating images.
    Renderer& r = therenderer;
    r.EndCommands();
    static const u64 modelDefaults[2][2] = {{0, GS_TEX1_1}, {0, GS_CLAMP_1}};
    if (r.AllowFor(1 + 1 + 2)) {
        r.Put(VIF_FLUSH);
        r.AddGifRegs(&modelDefaults[0][0], 2);
    }
    rc.End();
}
