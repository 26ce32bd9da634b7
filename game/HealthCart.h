// Health carts: roadside stations where the player, on foot, buys back lost
// health with points, and the one generator per level that keeps a few of
// them alive beside the roads around him and tells the game controller where
// they are, for the HUD.
#pragma once

#include "ZevEngine2/Object.h"

// Keeps up to 32 health carts about the level.
class HealthGenerator : public Object
{
public:
    static constexpr int iMaxGeneratorList = 32;

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    // A new cart beside a road near the player, not yet in the world; null
    // when there is no road that takes one there or no cart model.
    Object* CreateNewHealthObject();

    s16 i16MaxGenerators;
    s16 i16ActiveGenerators;
    RCptr<Object> rrcHealthObjects[iMaxGeneratorList];   // live entries first
};

// One cart.  Its mode: 0 ready, 1 used and recharging, 10 blown up, 11 blown
// up and off the controller's list.
class HealthCart : public Object
{
public:
    enum { HC_READY = 0, HC_USED = 1, HC_EXPLODED = 10, HC_EXPLODED_UNLISTED = 11 };
    // The player's message for full health and overlays.
    enum { SMSG_PLAYER_REFRESH = 8004 };
    static constexpr int kModelSlot = 136;
    static constexpr int kMarkerSlot = 144;
    static constexpr int kMarkerId = 101;

    // What the player would get: the health he lacks, at most two per point.
    float ComputeRepairAmount();
    Object* AttachTargetIndicator();
    bool DeleteTargetIndicator();
    bool ExplodeHC();

    int iStrength;
};
int HealthCart_mh(Object* obj, OBJMESSAGE msg, void* data);
