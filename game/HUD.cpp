// The map display's shell.
#include "game/HUD.h"

#include "ZevEngine2/Utilities.h"

MapDisplay::MapDisplay(Object* main, Object* target)
    : RawObj(mh), pobjMain(main), pobjTarget(target), flags(0), iPointsQueued(0)
{
}

int MapDisplay::mh(RawObj*, RAWOBJMESSAGE msg, void*, void*, void*)
{
    if (msg == ROM_DRAW) {
        // The HUD's map, markers and score pop-ups replace this.
        static bool said;
        if (!said) {
            said = true;
            printf("HUD: the map display is not built yet\n");
        }
    }
    return 0;
}

void MapDisplay::Reset(Object* main, Object* target)
{
    pobjMain = main;
    pobjTarget = target;
    iPointsQueued = 0;
}

void MapDisplay::AddPoints(int points, const VectorPos&)
{
    iPointsQueued += points;
}
