// The player character.
//
// Until the player's body, modes and input exist, this holds only the
// object the game flow reaches through `dace`, which stays null: no level
// makes a player yet, and the target it is locked on to, which the cameras
// read.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"

class Camera;
class Spline;

class Dace : public Object
{
public:
    // The character the player is locked on to (fight or gun target); the
    // level cameras keep it in the picture beside the player.
    RCptr<Object> target;
    Camera* cam;            // his own camera
    Spline* cinewalkpath;   // the path of a scripted walk, null none
};

// The player while a level runs; null otherwise.
extern Dace* dace;
