// The HUD's map display: the raw object the game controller makes once and
// puts on the post-draw list while a game mode runs.
//
// A shell so far: it keeps what the game flow gives it (the objects it is
// bound to, its display switches, the points queued), and its first draw
// says once that the HUD is not built; it draws nothing.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"

class MapDisplay : public RawObj
{
public:
    MapDisplay(Object* main, Object* target);

    static int mh(RawObj* ro, RAWOBJMESSAGE msg, void*, void*, void*);
    // Rebinds the display and clears its state.
    void Reset(Object* main, Object* target);
    // Queues a floating score pop-up at `at`.
    void AddPoints(int points, const VectorPos& at);

    Object* pobjMain;
    Object* pobjTarget;
    unsigned int flags;   // display switches, written by the game-mode setters
    int iPointsQueued;    // points handed over since the last Reset
};
