// The step functions of the script rgprM2.  Each not yet built is a
// link stub that says so once and finishes its record.
#include "game/Levels/Levels.h"

#include "ZevEngine2/Utilities.h"
#include "game/Camera.h"
#include "game/QuadTree.h"

MISSION_STEP_STUB(M2_S1A_Main)
MISSION_STEP_STUB(M2_G1_Main)
MISSION_STEP_STUB(M2_S2G2_Main)
MISSION_STEP_STUB(M2_G2Repeat_Main)
MISSION_STEP_STUB(M2_S3_Main)
MISSION_STEP_STUB(M2_S4G4_Main)
MISSION_STEP_STUB(M2_S5_Main)
MISSION_STEP_STUB(M2_G5_Main)
MISSION_STEP_STUB(M2_G6A_Main)
MISSION_STEP_STUB(M2_G6B_Main)
MISSION_STEP_STUB(M2_S7A_Main)
MISSION_STEP_STUB(M2_S8_Main)
MISSION_STEP_STUB(M2_S9_Main)
MISSION_STEP_STUB(M2_JumpTo24_Main)
MISSION_STEP_STUB(M2_JumpTo25_Main)
MISSION_STEP_STUB(M2_GXDojo_Main)
MISSION_STEP_STUB(M2_S1BG1_Main)
MISSION_STEP_STUB(BDriveToM2_Main)
MISSION_STEP_STUB(M2_S7_Main)

void M2_Driving_Load(GameController& gc)
{
    gc.StartLoading();
    gc.FreeInteriorAnimGroups();
    gc.CheckMemory();
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    gc.LoadFillAmbientCars(1, -1);
    gc.LoadFillAmbientPeds(80, -1);
    gc.ResetTime();
}

void M2_Driving_Destroy(GameController& gc)
{
    for (int slot = 0; slot <= 7; slot++)
        gc.DestroyMDLFile(slot, true);
    for (int slot = 80; slot <= 84; slot++)
        gc.DestroyMDLFile(slot, true);
    gc.DestroyMDLFile(205, true);
    gc.CheckMemory();
}

// Until the episode's drive is built, its first step keeps the city on
// screen: a camera 1.5 above the ground at the drive's start (placeholder
// -4) turns slowly for 600 blanks, then the step finishes.
namespace {

constexpr int kStartPlaceholder = -4;
constexpr int kLookBlanks = 600;
constexpr int kWaitToken = 0x4D3;
constexpr float kEyeHeight = 1.5f;

// The camera's mount: turns about the vertical a full turn in 600 ticks.
int TurningMount_mh(Object* o, OBJMESSAGE msg, void*)
{
    if (msg == OM_FRAME) {
        const VectorPos at = o->mat.GetTrans();
        o->mat = o->mat * RotY(6.2831853f / float(kLookBlanks));
        o->SetPos(at);
    } else if (msg == OM_DIE) {
        delete o;
        return -1;
    }
    return 0;
}

}  // namespace

int M2_G3_Main(GameController& gc, int step, int)
{
    if (step == 0) {
        MissionStepNotBuilt("M2_G3_Main");
        Object* ph = world.FindPlaceholder(kStartPlaceholder);
        if (ph == nullptr) {
            printf("M2_G3_Main: the mission has no drive start (placeholder %d)\n", kStartPlaceholder);
            return -1;
        }
        Object* mount = new Object(TurningMount_mh);
        if (mount == nullptr)
            return -1;
        mount->mat = Matrix(true);
        VectorPos p = ph->GetWorldPos();
        // The city around the start is streamed in before the first look.
        if (world.quadtree != nullptr)
            while (!world.SyncTo(p)) {
            }
        const float ground = world.GroundHeight(p, nullptr, nullptr);
        mount->SetPos(VectorPos(p[0], ground - kEyeHeight, p[2]));
        mount->flags |= OBJF_FRAMECALL | OBJF_NOCOLLISION;
        world.AddObject(mount, nullptr);
        gc.pobjectlist->AddTail(mount);
        Camera* c = new Camera(mount, VectorPos(0.0f, 0.0f, 0.0f));
        if (c != nullptr) {
            c->mode = CAMMODE_CONTROLLED_ATTACH;
            c->flags |= OBJF_NOCOLLISION;
            world.AddObject(c, nullptr);
            gc.pobjectlist->AddTail(c);
            SetCurrentCam(c);
        }
        // Wake up once the look is over: a timer of the controller's own.
        gc.iFlags |= GCF_WAITTIMER;
        gc.iValue = kWaitToken;
        world.SetTimer(&gc, AnimTime(kLookBlanks * int(world.GetPlaybackSpeed() * 256.0f)),
                       reinterpret_cast<void*>(intptr_t(kWaitToken)));
        return 1;
    }
    // The look is over: the step's camera and mount go.
    SetCurrentCam(nullptr);
    for (ObjectLink* l = gc.pobjectlist->Head(); !l->IsEOList();) {
        ObjectLink* next = l->Next();
        Object* o = l->data;
        if (o != nullptr && (o->messagehandler == TurningMount_mh || o->type == OBJT_CAMERA)) {
            world.RemoveObject(o);
            l->Remove();
        }
        l = next;
    }
    return -1;
}
