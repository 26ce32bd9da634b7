// The free screenshot camera, worked from the second pad: SELECT frees the
// current camera from the player and parks a private target where the player
// (or his car) stands, the sticks fly and turn it, CROSS lets the target
// follow the player or stay put, SELECT again hands the view back.
#include <cmath>
#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Controller.h"
#include "game/Camera.h"
#include "game/CameraMaths.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"

namespace {

constexpr int kStickCentre = 128;
constexpr int kStickDeadZone = 40;
constexpr float kMoveStep = 0.0052083335f;
constexpr float kMoveStepInterior = 0.0010416667f;
constexpr float kTurnStep = 0.0005f;

struct ScreenshotState
{
    Camera* cam = nullptr;          // the camera made free, null while normal
    Object* target = nullptr;       // its private target, owned
    Object* oldTarget = nullptr;    // what the camera looked at before
    void* oldExtra = nullptr;       // its own block, given back on return
    u8 oldMode = 0;
    bool follow = false;            // the target keeps to the player
};
ScreenshotState ss;

// The player's car while he drives or rides (modes 5..7), else the player.
Object* Followed()
{
    if (dace == nullptr)
        return nullptr;
    if (dace->mode >= 5 && dace->mode <= 7)
        return dace->GetRoot();
    return dace;
}

int Deflection(const Controller& pad, int axis)
{
    const int d = int(pad.Analog(axis)) - kStickCentre;
    return std::abs(d) > kStickDeadZone ? d : 0;
}

void Free(Camera* c)
{
    Object* on = Followed();
    if (c == nullptr || on == nullptr)
        return;
    auto* t = new Object;
    t->type = OBJT_ICON;
    t->mat = on->GetWorldMatrix();
    auto* p = static_cast<FixedCamera_params*>(malloc_align(sizeof(FixedCamera_params), 16));
    if (p == nullptr) {
        t->Delete();
        return;
    }
    std::memset(static_cast<void*>(p), 0, sizeof(*p));
    p->dolly = 0.0f;
    p->distance = 0.0f;

    ss.cam = c;
    ss.target = t;
    ss.oldTarget = c->target;
    ss.oldExtra = c->pvExtra;
    ss.oldMode = c->mode;
    c->mode = CAMMODE_LOCKEDAT;
    c->target = t;
    c->pvExtra = p;
    c->fAngRangeX = 2.0f * camera::kPi;
    c->fAngRangeY = camera::kPi;
    c->bTargetBias = false;
    c->iTrack = ss.follow ? 1 : 0;
    ss.follow = true;
    c->dist = VectorDir(t->GetWorldPos() - c->mat.GetTrans()).Length();
}

void Return()
{
    Camera* c = ss.cam;
    free(c->pvExtra);
    c->pvExtra = ss.oldExtra;
    c->target = ss.oldTarget;
    ss.target->Delete();
    ss.cam = nullptr;
    ss.target = nullptr;
    ss.oldExtra = nullptr;
    ss.oldTarget = nullptr;
    if (dace == nullptr) {
        // The player left while the camera was free: it goes back as it was.
        c->mode = ss.oldMode;
        return;
    }
    if (dace->mode >= 5 && dace->mode <= 7) {
        c->InitCarMode(dace->GetRoot());
        return;
    }
    // Turned to face the player, so the follow camera picks him up from where
    // the free flight left it.
    const VectorPos at = c->mat.GetTrans();
    const VectorDir toPlayer(dace->GetWorldPos() - at);
    if (toPlayer.LengthSq() > 0.0f) {
        c->mat = LookAlong(Normalise(toPlayer));
        c->mat.SetTrans(at);
    }
    c->InitPedestrianMode(dace, false);
}

void Fly(Camera* c)
{
    const Controller& pad = controller[1];
    const bool interior = g_pgcTest != nullptr && g_pgcTest->bInterior;
    const float step = interior ? kMoveStepInterior : kMoveStep;
    const int lx = Deflection(pad, ANA_LX), ly = Deflection(pad, ANA_LY);
    const int rx = Deflection(pad, ANA_RX), ry = Deflection(pad, ANA_RY);
    // Left stick: across and along the view (up is forward); right stick:
    // heading and pitch (up looks up).
    VectorPos p = c->mat.GetTrans();
    p = p + VectorDir(c->mat.x.xyz()) * (float(lx) * step) - VectorDir(c->mat.z.xyz()) * (float(ly) * step);
    c->SetPos(p);
    c->angy = c->angygoal = c->angy + float(rx) * kTurnStep;
    c->angx = c->angxgoal = c->angx - float(ry) * kTurnStep;
    if (ss.follow) {
        if (Object* on = Followed())
            ss.target->mat = on->GetWorldMatrix();
    }
    c->Update();
}

}  // namespace

void UpdateScreenshotCamera()
{
    const Controller& pad = controller[1];
    if (pad.Hit(BUT_SELECT)) {
        if (ss.cam == nullptr)
            Free(GetCurrentCam());
        else
            Return();
    }
    if (ss.cam == nullptr)
        return;
    if (pad.Hit(BUT_CROSS))
        ss.follow = !ss.follow;
    Fly(ss.cam);
}

bool ScreenshotCameraFree()
{
    return ss.cam != nullptr;
}
