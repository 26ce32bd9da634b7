// Explosions and what they leave behind.  For now: the light flash, a short
// coloured point light that rides on an object (an explosion's fireball, a
// muzzle) and fades to black over its time-out.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Image.h"

class LightFlash : public Object
{
public:
    RCptr<Object> followObj;   // where the light is
    float range;
    float timer;               // frames shown
    float timeOut;             // frames until gone; 0 or less: no fading, no end
    Colour colour;             // bytes, 0x40 = 1.0 of light

    int Init();
    int Update();
    static int LightFlash_mh(Object* obj, OBJMESSAGE msg, void* data);
};

// A flash of `_colour` and `_range` on _followObj for _timeOut frames, added
// to the world; null when it cannot be made.  Without an object to follow it
// never lights anything.
Object* LightFlash_Create(Colour _colour, float _range, Object* _followObj, float _timeOut);
