// Skid marks: the dark strips a sliding car wheel leaves on the road.  Each
// mark is a raw object on the world's post-draw list holding one triangle
// strip of up to 64 vertices in world coordinates; the wheel step feeds it
// ground points while the wheel slides, then lets it go, and the mark fades
// out over 600 drawn frames and frees itself.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/RenderDirect.h"

// SkidDraw::flags
enum {
    SKID_FINISHED = 1,   // no more points; fading
};

class SkidDraw : public RawObj
{
public:
    static constexpr int MAX_VERTS = 64;
    static constexpr int FADE_FRAMES = 600;
    // No new mark starts while this many live (more for the player's car).
    static constexpr int MAX_MARKS = 64;
    static constexpr int MAX_MARKS_PLAYER = 80;

    // A new mark on the front of the post-draw list, counted; null (nothing
    // counted) when memory runs out.
    static SkidDraw* Create();

    // Adds a ground point; 1 when the strip is finished (full, or finish
    // set): the caller then marks it finished and forgets it.
    int AddPos(const VectorPos& pos, const VectorDir& normal, bool finish);

    static int staticmh(RawObj* ro, RAWOBJMESSAGE msg, void* a, void* b, void* c);
    int mh(RAWOBJMESSAGE msg, void* a, void* b, void* c);

    int flags;
    int iNumVerts;
    int iFadeCount;   // while laid: the hold count; once finished: fade frames left
    float fvLast;
    VectorPos rgpos[MAX_VERTS + 2];
    float rguvs[MAX_VERTS + 2][2];
    Vector vpLast;
    Vector vpMinext;
    Vector vpMaxext;

    static VertexStreams<2> vs;
    static int total;

private:
    void Draw(int frames);
    void Free();
};

