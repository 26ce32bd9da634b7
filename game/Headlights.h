// Car lamps: front lamps at night, brake lamps just after braking and white
// reversing lamps.  While a car is drawn it queues its lit lamps; after the
// world is drawn the queue is drawn as rows of glowing sprites along each
// lamp's direction (a lens flare on front lamps facing the eye) and emptied.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

class RenderContext;
class Object;

enum HeadLightType {
    HEADLIGHT_FRONT = 0,
    HEADLIGHT_BREAK = 1,
    HEADLIGHT_REVERSE = 2,
};

struct HeadLightPosition
{
    VectorPos vPos;        // the lamp, world space
    VectorDir vDir;        // its direction
    HeadLightType Type;
};

// One sprite of a lamp's row: its distance along the lamp's direction, its
// size in world units and its colour.
struct HeadlightSegment
{
    float vDistance;
    float vSize;
    Colour Col;
};
static_assert(sizeof(HeadlightSegment) == 12);

constexpr int MAX_HEADLIGHTS = 40;
extern HeadLightPosition Headlights[MAX_HEADLIGHTS];
extern int nHeadlightNow;

extern HeadlightSegment aSegmentsFront[10];
extern HeadlightSegment aSegmentsBreak[3];
extern HeadlightSegment aSegmentsReverse[3];

// The next free entry of this frame's queue, null once it is full.
HeadLightPosition* GetNewHeadlightPos();
// Where a row of lamp h draws through world_screen: the sprite's centre
// (x, y, z in GS units) and its half size; false for a row at or behind
// depth 0.5, which is not drawn.
bool HeadlightRowOnScreen(const Matrix& world_screen, const HeadLightPosition& h, const HeadlightSegment& row,
                          float out[4]);
// Draws the queue over the scene and empties it.
void DrawHeadlights();
// The node of the light-cone model a lamp takes: the player's (or an empty
// seat's) cones are nodes 1 and 2, a computer driver's 3 and 0.
int LightConeNode(int lamp, bool computerDriver);
// Hands the world draw the vehicles' light calls.
void InstallVehicleLights();
