// Placed steam: a vent that lets fog puffs rise steadily from a box, and a
// burst that blows steam puffs along its own forward axis for a while once
// an enemy reaching a check point tells it to.
#pragma once

#include "ZevEngine2/Object.h"
#include "game/EntParams.h"

// Set-up kind 17.
class SteamGenerator : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    SteamGenerator_params sgp;
    float rate;    // frames per puff; 0 emits nothing
    float timer;   // frames gathered toward the next puff
};

// Set-up kind 18.
class SteamBurst : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    // What an enemy at a check point sends the burst linked to it.
    enum { SMSG_PATH_POINT_REACHED = 800 };

    SteamBurst_params sbp;
    int rate;       // whole frames between puffs
    float timer;    // frames of burst left
    bool pending;   // a puff's timer is set
};
