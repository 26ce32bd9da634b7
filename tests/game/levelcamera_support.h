// Level cameras and splines for tests, made as set-up files make them:
// zero-filled heap records the level owns.
#pragma once

#include <cstdlib>
#include <vector>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/Camera.h"
#include "game/CameraMaths.h"

namespace levelcam {

// A spline through pts (3n + 1 points for n segments); the caller frees it.
inline Spline* MakeSpline(const std::vector<VectorPos>& pts)
{
    Vector* v = static_cast<Vector*>(calloc(pts.size(), sizeof(Vector)));
    for (size_t i = 0; i < pts.size(); i++)
        v[i] = Vector(pts[i].xyz(), 1.0f);
    Spline* s = reinterpret_cast<Spline*>(v);
    s->SetCount(int(pts.size()));
    return s;
}

// A level camera at pos looking along yaw, with its parameter block.
template <class Params>
Camera* LevelCamera(CAMMODES mode, VectorPos pos, float yaw, Params** block)
{
    Camera* c = static_cast<Camera*>(calloc(1, sizeof(Camera)));
    c->messagehandler = Camera::staticmh;
    c->type = OBJT_CAMERA;
    c->mode = s8(mode);
    c->lookstep = c->absposstep = 1.0f;
    c->fBiasFactor = 0.5f;
    c->zoom = c->fTargetZoom = 1.6f;
    c->mat = RotY(yaw);
    c->mat.SetTrans(pos);
    c->angy = yaw;
    c->vpMount = pos;
    c->fAngRangeX = c->fAngRangeY = camera::kPi;
    c->iTrack = 1;
    *block = static_cast<Params*>(calloc(1, sizeof(Params)));
    c->pvExtra = *block;
    return c;
}

}  // namespace levelcam
