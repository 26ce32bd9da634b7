// Two small moving hazards: the grate that runs through a tunnel along its
// path, shoving and hurting the player it touches and blowing apart at the
// path's end, and the car lift, a platform that drops under a character who
// steps onto it, rests at the bottom and climbs back with its motor running.
#pragma once

#include "ZevEngine2/Object.h"
#include "game/EntParams.h"

class Spline;

// Set-up kind 28.
class TunnelGrate : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    TunnelGrate_params* ptgp;
    Spline* pSpline;     // its own copy of the path, freed with it
    float fLastT;        // where on the path; -1 before the first frame
    float fLastTVel;     // path parameter per frame
    int iLastTime;       // world frame of the last touch of the player
};
int TunnelGrate_mh(Object* o, OBJMESSAGE msg, void* data);

// Made by a mission script; mode 0 at the top, 1 falling, 2 at the bottom,
// 3 climbing.
class CarLift : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    float fOrigY;          // the top (y is down)
    float fYVel;           // per frame, positive downwards
    float fYAccel;
    int iLastTime;         // world frame of the last knock aside
    int iIdleTime;         // world frame at which it leaves the bottom
    int carliftsfxchan;    // the motor loop's channel, -1 none
};
int CarLift_mh(Object* o, OBJMESSAGE msg, void* data);
