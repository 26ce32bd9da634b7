// The interior walker: the left stick of the first pad moves it through a
// building in the camera's frame, it turns toward where it goes, and its
// collision box keeps it out of the walls.
#include "game/GameModes.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/Utilities.h"
#include "game/MAIN.h"

namespace {

Name nameInteriorChar("InteriorChar", int(reinterpret_cast<intptr_t>(&InteriorChar::InteriorChar_mh)));

constexpr float kStepPerUnit = 0.000236220f;   // world units per stick unit and frame
constexpr float kMaxTurn = 0.125f;             // radians a frame

// A stick byte as a deflection: 24 either side of the centre is rest, the
// rest counts from there.
int Deflection(u8 v)
{
    if (v >= 152)
        return v - 152;
    if (v <= 104)
        return v - 104;
    return 0;
}

}  // namespace

InteriorChar::InteriorChar()
    : cbTemp(MakeCollisionID(1, 1), Cuboid(VectorPos(-0.09375f, -0.625f, -0.09375f), VectorPos(0.09375f, 0.0f, 0.09375f))),
      vdLastDelta(0.0f, 0.0f, 0.0f), matLast(true), fLastCYAng(100.0f), iLastCntrlX(0xFFFF), iLastCntrlY(0xFFFF)
{
    messagehandler = InteriorChar_mh;
    mat = Matrix(true);
}

int InteriorChar::InteriorChar_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return int(reinterpret_cast<intptr_t>(new InteriorChar));
    return static_cast<InteriorChar*>(o)->mh(msg, data);
}

int InteriorChar::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        flags &= ~(OBJF_NOCOLLISION | OBJF_CHILDCOLLISION);
        collision = cbTemp.Chain();
        return 0;
    case OM_FRAME: {
        const int x = Deflection(controller[0].rdata[4 + ANA_LX]);
        const int y = Deflection(controller[0].rdata[4 + ANA_LY]);
        if (x == 0 && y == 0) {
            fLastCYAng = 100.0f;
            return 0;
        }
        // The frame is taken when the stick leaves rest and kept while it is
        // held, so a camera swinging round does not steer the walk.
        if (fLastCYAng >= 10.0f)
            matLast = rc.view_world;
        fLastCYAng = std::atan2(float(x), float(y));
        const VectorDir ax(matLast.x[0], matLast.x[1], matLast.x[2]);
        const VectorDir az(matLast.z[0], matLast.z[1], matLast.z[2]);
        const VectorDir step = ax * (float(x) * kStepPerUnit) + az * (float(-y) * kStepPerUnit);
        VectorDir d(step[0], 0.0f, step[2]);
        if (d.LengthSq() > 0.0f) {
            d = Normalise(d);
            // The signed sine from the facing to the step: positive turns
            // toward +x.
            const float sine = mat.z[2] * d[0] - mat.z[0] * d[2];
            const float turn = std::clamp(kMaxTurn * sine, -kMaxTurn, kMaxTurn);
            mat.RotateBy(VectorXYZ(0.0f, turn, 0.0f));
            mat.Normalise();
        }
        vdLastDelta = step;
        mat.SetTrans(mat.GetTrans() + step);
        return 0;
    }
    case OM_COLLISION: {
        auto* cr = static_cast<CollisionRecord*>(data);
        if (cr == nullptr || !cr->GetInfo())
            return 0;
        const float dist = cr->Dist();
        if (dist > -1.0f && dist < 0.0f) {
            const VectorDir n = cr->Normal();
            mat.SetTrans(mat.GetTrans() + VectorDir(n[0], 0.0f, n[2]) * -dist);
        }
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}
