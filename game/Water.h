// Water: the patches of water that missions place (a height grid along a
// centre spline, into which the player's movement drops drips) and the
// ocean, a sum of four travelling waves laid over the sea plane y = 0 around
// the camera and drawn as one strip with a reflection layer.
#pragma once

#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/RenderDirect.h"

// The parameter block of a placed water patch.
struct WaterPatch_params
{
    Extent boundRect;    // the patch's bounds
    u32 boundSpline;     // the centre spline's reference in the placement file
    float width;         // of the water across the spline
    float waveHeight;
    u16 sizeX, sizeY;    // grid columns and rows asked for (the grid is always 40 x 80)
};
static_assert(sizeof(WaterPatch_params) == 80, "placement files store this block");

class WaterSurface : public Object
{
public:
    static constexpr int GRID_X = 40;   // columns across the spline
    static constexpr int GRID_Y = 80;   // rows along it

    static int WaterSurface_mh(Object* obj, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    // The grid is 40 x 80 whatever sizes are asked for; both buffers zeroed
    // but for one drip of height 4.
    void InitWater(int sizeX, int sizeY, Extent& ext, Spline* spline, float width, float waveHeight);
    // Sets the cell under p to height h in both buffers; a point beyond the
    // spline's ends, or more than half the width from it, makes no drip.
    void MakeDrip(VectorPos p, float h);
    void MakeDripDirect(int x, int y, float h);
    // The grid's step per frame: the grid keeps its heights.
    void ProcessWater();

    float fDampingFactor;
    VectorPos vpLastDrip;
    int sizeX, sizeY;
    Extent extBoundary;
    Spline* pCenterSpline;
    float fSplinewidth;
    float fBaseHeight;
    float fWaveHeight;
    float* pReadBuffer;
    float* pWriteBuffer;
};

// One travelling wave over the sea plane (its x and y are world x and z).
class Wave
{
public:
    VectorXY k;        // wave vector; its length is the wavenumber K
    float length;      // after Set: amplitude / K
    float amplitude;
    float frequency;   // radians per unit of wave time
    float phase;

    void Set(const VectorXY& dir, float length, float amplitude, float phase);
};

// The ocean's four waves and the factors MakeWave reads, rebuilt each frame.
class Waves
{
public:
    Wave w[4];
    float vT;           // the wave time of the last frame
    Vector alpha;       // phase angle of wave i in lane i
    VectorXYZ k[4];     // (kx L, A, ky L)
    VectorXYZ kfixx[4]; // (kx L kx, -A kx, ky L kx)
    VectorXYZ kfixy[4]; // (kx L ky, -A ky, ky L ky)
};

extern Waves waves;

// The ocean's vertex streams: positions, normals, colours and texture
// coordinates of 512 vertices, the strip of 16 pairs of grid rows.
class MC2Water : public VertexStreams<4>
{
};

constexpr int OCEAN_VERTICES = 512;
extern MC2Water mc2water;
extern Vector MC2Water_Pos[OCEAN_VERTICES];
extern float MC2Water_Normal[OCEAN_VERTICES * 3];
extern u8 MC2Water_Col[OCEAN_VERTICES * 4];
extern float MC2Water_ST[OCEAN_VERTICES * 2];

// The tiling sea picture both ocean layers draw (carried in the program).
extern Texture& Ocean;

// The sea surface above the plane point (world x, world z) = (x, y), with
// its unit normal; reads `waves` only.
Vector MakeWave(float x, float y, VectorDir* pNorm);
// Advances the waves and draws the ocean for the view rc.
void MC2TestWater(RenderContext& rc);
// Stores d in the low 16 bits of v's w word (its bit pattern).
void SetUint16(Vector* v, unsigned short a, unsigned short b, unsigned short c, unsigned short d);
