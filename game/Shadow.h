// Model shadows: a small object that lays a shadow model (a flat dark shape
// from a model file) on the ground under a client object.  Every frame it
// drops below the client, tilts to the ground's slope, turns with the
// client's heading and takes the size of the client's collision box.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Vector.h"

class Shadow : public Object
{
public:
    Object* client;   // counted: its refcount was raised when the shadow was made
    Vector scale;     // x, y, z: the client's box extents x 1.1
    float offset;     // height above the ground (y down): -0.05

    static int staticmh(Shadow* c, OBJMESSAGE msg, void* extra);

private:
    int Frame();
    int Die();
};

// A shadow of node `index` of mdlfile under _client, added to nothing: the
// caller puts it in the world.  Null when it cannot be made.  A client
// without a collision box is sized by its radius.
Object* CreateShadow(Object* _client, MDLFILE* mdlfile, int index);

// Rows x, y, z of mat scaled by scl.x, scl.y, scl.z in place; returns a copy.
Matrix PreScale(Matrix& mat, VectorXYZ scl);
