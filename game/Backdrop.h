// The sky behind the city: a hemisphere of graded colours around the camera,
// and a sky model whose sun, moon and star layer turn with the time of day,
// with a lens flare from the sun in daytime.  The world's lighting gives the
// dome its colours; the world draw draws it.  The one instance is `bd`.
#pragma once

#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/FogBlur.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/RenderDirect.h"

class Backdrop
{
public:
    // The graded hemisphere: triangle strips of unit-sphere points, one ring
    // of latitude each, with a colour per point.
    class SkyDome : public VertexStreams<2>
    {
    public:
        static constexpr int MAXVERTS = 544;   // 16 rings of 16 divisions

        // Rings from latitude lat0 to lat1 (y is down: -pi/2 is the zenith),
        // each a strip of 2 num_div + 2 points whose first two carry the
        // strip-start mark 0x8000 in their w word.  Sizes past MAXVERTS are
        // refused with a message and leave the dome empty.
        void Init(int num_div, int num_ring, float lat0, float lat1);
        // Every point's colour for the sun direction sun.
        void SetColours(VectorDir sun, Colour colsun, Colour col0, Colour col1, Colour col2, Colour col3);
        // The colour in direction dir: col0 at the horizon through col1 (10
        // degrees up) and col2 (20 degrees) to col3 overhead, blended toward
        // colsun around the sun.
        static Colour GetColour(VectorDir dir, VectorDir sun, Colour colsun, Colour col0, Colour col1, Colour col2,
                                Colour col3);

        Vector pts[MAXVERTS];
        Colour cols[MAXVERTS];
    };

    Backdrop();

    // Loads the sky model from the disc and builds the dome.
    void Init();
    // The same with the model file already loaded (the sky then owns the
    // buffer); a null or unusable file leaves a sky without sun, moon, stars
    // or flare, said once, and the dome is built all the same.
    void InitFrom(void* buffer, unsigned size);
    // Lets go of the sky model (objects and file); the dome stays.
    void Free();
    void SetColours(Colour colsun, Colour col0, Colour col1, Colour col2, Colour col3);
    Colour GetColour(VectorDir dir, Colour colsun, Colour col0, Colour col1, Colour col2, Colour col3) const;
    // The sky for the world's time of day around rc's camera.
    void Draw(RenderContext& rc);
    // The sun's direction from the camera (the z row of its matrix).
    VectorDir SunDirection() const;

    static constexpr int NFLAREPARTS = 13;
    static const LensFlarePart lfp[NFLAREPARTS];

    Object* sky = nullptr;
    Object* sun = nullptr;
    Object* moon = nullptr;
    Object* stars = nullptr;
    SkyDome skydome;
    MDLFILE mdlfile{};
    bool coloured = false;   // SetColours has been called
};

extern Backdrop bd;

// The lens flare's shapes, carried in the program.
extern Surface& LensFlare;

// The sky model's path on the disc.
constexpr char SKY_MODEL_PATH[] = "KORVALIS\\DemoData\\Misc\\SKY.P2B";
