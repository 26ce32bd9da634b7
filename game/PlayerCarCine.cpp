// The player in a car driven for him by a scene (player mode 7): he sits as
// he does when driving, and the pad only orbits and zooms the camera around
// him while the left stick is pressed in.
#include "game/Player.h"

#include <algorithm>

#include "game/Camera.h"

namespace {

// Radians of orbit, and units of distance, per step of stick or pressure.
constexpr float kOrbitRate = 0.00078125f;
constexpr float kNearest = 0.3125f, kFarthest = 31.25f;

float ClampDist(float d) { return std::clamp(d, kNearest, kFarthest); }

}  // namespace

void Dace::Frame_CineDriverMode(PlayerController& pc)
{
    const u32 held = pc.pad & 0xFFFF;
    if (cam != nullptr) {
        if (held & BUT_THUMB_L) {
            // 1. The right stick orbits; R1's pressure pulls the camera out,
            // R2's pushes it in, R1 first.
            cam->relangx = FixAng(cam->relangx - float(StickAxis(pc.Analog(ANA_RY))) * kOrbitRate);
            cam->angygoal = FixAng(cam->angygoal - float(StickAxis(pc.Analog(ANA_RX))) * kOrbitRate);
            if (held & BUT_TRIGGER_R)
                cam->distgoal = ClampDist(cam->distgoal + float(StickAxis(pc.Analog(ANA_R1))) * kOrbitRate);
            else if (held & BUT_TRIGGER_R2)
                cam->distgoal = ClampDist(cam->distgoal - float(StickAxis(pc.Analog(ANA_R2))) * kOrbitRate);
        } else {
            // 2. Left where he put it.
            cam->relangx = FixAng(cam->relangx);
            cam->angygoal = FixAng(cam->angygoal);
            cam->distgoal = ClampDist(cam->distgoal);
        }
        // 3.
        PlaceCarCamera(cam->distgoal);
    }
    // 4., 5.
    SetLookMode(NOT_LOOKING);
    SeatBody();
}
