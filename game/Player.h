// The player character.
//
// Until the player's body, modes and input exist, this holds only the
// object the game flow reaches through `dace`, which stays null: no level
// makes a player yet.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"

class Camera;
class Spline;

class Dace : public Object
{
public:
    Camera* cam;            // his own camera
    Spline* cinewalkpath;   // the path of a scripted walk, null none
};

// The player while a level runs; null otherwise.
extern Dace* dace;
