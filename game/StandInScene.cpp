// The stand-in scene: the sample cube from the disc in the world, a fixed
// camera, and the world's drawing for what the world holds.
#include "game/StandInScene.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "game/QuadTree.h"

namespace {

// The model file stays loaded for the run: its objects draw from it.
MDLFILE standinfile;
Object* standincube;

// The camera's world matrix, set each frame.
Matrix standincamera;

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

void StandInDrawWorld(RenderContext& rc)
{
    // The view's block that Begin sends carries the ambient and directional
    // colours, so they are set up before it.
    SetUpLights(rc);
    rc.Begin();
    InitTransparencies(rc);
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* obj = l->data;
        if (obj->IsDead() || obj->parent != nullptr)
            continue;
        FindBestLights(rc, obj->GetWorldPos(), obj->radius, true);
        Draw(rc, obj, obj->mat);
    }
    DrawTransparencies(rc);
    rc.End();
}
