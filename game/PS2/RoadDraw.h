// The road strip renderer and the ground-patch pass.  A road piece (a lane
// surface, a kerb, a junction end) is a family of cubic curves along the road,
// one per cross-section point, written into the frame's packet as one VU1
// upload; the renderer then cuts the piece's centre curve into slices by its
// flatness and size on screen, and the road generator on VU1 fills the strips
// between neighbouring curves at those slices.  Ground patches go to the
// Bezier-patch microcode, tessellated by their size on screen.
//
// A road pass is bracketed by BeginDrawRoads and EndDrawRoads, a patch pass
// by BeginDrawPatches and EndDrawPatches; nothing else may be drawn between.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/RenderDirect.h"
#include "ZevEngine2/PS2/Vector.h"

// The road pass's own VU1 program and memory.
constexpr u32 ROAD_BASE = 289;             // input double buffer while roads draw
constexpr u32 ROAD_OFFSET = 96;
constexpr u32 ROAD_SLICEADDR = 0x100;      // slices unpack here
constexpr u32 ROAD_MAXSLICES = 32;
constexpr int ROAD_MAXRECORDS = 54;        // curve records of one batch
constexpr int ROAD_STACKDEPTH = 204;       // subdivision records in the scratchpad
constexpr u32 ROAD_BATCH_STCYCL = 0x01000404;
constexpr u32 ROAD_BATCH_UNPACK = 0x6C000000;
constexpr u32 ROAD_SLICE_UNPACK = 0x6C000100;
constexpr u32 ROAD_MIDDLE_UNPACK = 0x6C008000;

// Junction middles: world to texture, one repeat every 4 units.
extern Matrix matJunc;
// Subdivision limits: flatness against depth, size against depth.
extern float g_fDebug;
extern float g_fDebug2;

class RoadRender
{
public:
    // One slice: the strip's parameter t in the powers the generator wants,
    // and the texture coordinate along the road.
    struct RoadSlice
    {
        float txtxt;   // t³
        float v;
        float t;
        float txt;     // t²
    };
    static_assert(sizeof(RoadSlice) == 16);

    // A piece of curve on the subdivision stack: its control points in view
    // space (w: the texture coordinate there), its parameter range on the
    // whole curve and its two handle lengths.
    struct DRSInfo
    {
        Vector bez[4];
        float t0, t1;
        float fl01, fl23;
    };
    static_assert(sizeof(DRSInfo) == 80);

    // The open batch's first word (STCYCL), or null.
    u32* open = nullptr;

    static Texture* prevtex;
    static int projective;      // 0 plain, 1 junction middle, 2 two-layer projective
    static u16 vd;
    static Material mtlNormal;
    static Material mtlProject;
    static MultiMaterial<2> mtlDouble;

    // Opens a batch of curve records for `points` cross-section points at
    // the packet's write position; false (nothing written) when the frame
    // has no room for them.
    bool Open(int points);
    // Ends the records with a zero quadword and patches the count.  A batch
    // of more records than the generator takes is taken out again (reported
    // once) and false returned: the caller then draws nothing of it.
    bool Close();

    static void Begin(RenderContext& rc);
    static void End();
    static void SetProjective(Texture* tex0, Texture* tex1, const Matrix& mat);
    static RoadSlice* NewBatch();
    static void KickBatch(RoadSlice* end);
    static void RoadSplineSubdivide(const RenderContext& rc, const Bezier& bezier, float left, float right,
                                    float texscale, float tilelimit, bool clip, bool lowres);
    static void RoadSplineSubdivide(const RenderContext& rc, const Bezier& bezier, const Bezier& bezleft,
                                    const Bezier& bezright, float texscale, float tilelimit);
    static void DrawJunctionMiddle(RenderContext& rc, VectorPos* pts, int n);
};

void BeginDrawRoads(RenderContext& rc);
void EndDrawRoads();

// The junction surface and the crosswalk stripes (64 x 64 pictures the
// program carries).
Texture& TPage_Jctn_Fill();
Texture& TPage_Jctn_Crosswalk();

// The mip settings road textures are selected with (Renderer::Use): the
// road bias, as many levels as the texture has.
int RoadMipKL(const Texture* tex);

// Selects a road texture unless it is the one selected last: closes any open
// command block first.
void SelectRoadTexture(Texture* tex);
// The tile limit of the selected road texture: 2048 texels along v.
float RoadTileLimit();

// ---------------------------------------------------------------------------
// Ground patches.

struct GroundType;
class GroundPatch;

extern GroundType* prevgtype;
extern int gpmip;

// The ground's world-planar texture mapping the patch pass sets up: u = x /
// 16, v = z / 16.  The city writer gives every patch this texmat.
Matrix GroundPatchTexMat();

void BeginDrawPatches(RenderContext& rc);
void EndDrawPatches();
// Cut a curve into 2^(depth+1) pieces of equal parameter.  SplitBezierH:
// piece i's four points at out + i * stride, one after another (a row of
// pieces).  SplitBezierV: piece j's point k at out + j * stride + 4 * k (down
// a column of 4 x 4 patches, each piece one patch further on).
void SplitBezierH(const Bezier& bez, Vector* out, int stride, int depth);
void SplitBezierV(const Bezier& bez, Vector* out, int stride, int depth);
// The patch's tessellation for the view: its screen size, 3 to 24.
int PatchTessellation(const RenderContext& rc, const GroundPatch& gp);
