// The road network of the city: road kinds (in the layout file), road
// segments, junctions and ground patches (in the cell files).  The files are
// loaded whole and fixed up in place, so each record here is at once the file
// format and the run-time object: a pointer field holds an offset or an index
// in the file and an address once the loader has fixed it up (the program is
// 32-bit, so both are one word).  Other subsystems name a place on the network
// with RoadInfo and RoadPos.
//
// Vectors are 16-byte aligned; y points down.
#pragma once

#include <bit>

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

static_assert(sizeof(void*) == 4, "city records keep offsets and pointers in the same word");

class RoadType;
class RoadSeg;
struct GHCache;
class Junction;
struct GroundType;
class Object;
class RenderContext;

// A stored offset or index word read from a pointer field before the fix-up,
// and the word that a writer stores there.
template <class T>
inline u32 FileWord(T* p)
{
    return std::bit_cast<u32>(p);
}
template <class T>
inline T* FileWordPtr(u32 w)
{
    return std::bit_cast<T*>(w);
}
// An integer punned into a float lane of a vector (w words carry offsets,
// counts and packed values).
inline u32 LaneWord(float f) { return std::bit_cast<u32>(f); }
inline float WordLane(u32 w) { return std::bit_cast<float>(w); }

// A road kind: a 32-byte head and its cross-section points, full-detail ones
// first, then the low-detail ones.  The file's record and the run-time class
// are one type (RoadTypeFile names it where the file is read): a record that
// ends in an open array may not be the base of another class.
class RoadType
{
public:
    u8 flags;             // 0x10: kerb walls block sideways movement on the ground
    u8 num_lanes;
    u8 num_rightlanes;
    u8 type;
    u8 iNumXSectPts;
    u8 iJunc;             // right carriageway edge: where junction kerbs attach
    u8 iJuncLeft;         // the same on the left
    u8 iRightEdge;        // outer edge of the right pavement
    u8 iNumXSectLowPts;
    u8 iJuncLow;
    u8 iJuncLeftLow;
    u8 iRightEdgeLow;
    u16 abbrev;           // road-name table index of the kind's suffix word
    u8 lflex;
    u8 rflex;
    float fTexVScale;
    Texture* ptex;        // file: int texture number (negative: none)
    float* lanes;         // file: offset of the lane table from this record
    float speed;          // file: stored speed; the loader scales it by 1/70
    Vector vXSect[];      // x lateral (left first), y height, z and w shading words

    int NumPoints() const { return iNumXSectPts + iNumXSectLowPts; }
    // Half-width: the larger of the right edge's x and minus the left edge's.
    float Radius() const;
    // The surface height of the cross-section at lateral distance x, x held
    // between the left and the right edge; at a vertical face the outer
    // point's height.
    float CrossSectHeight(float x) const;
};
using RoadTypeFile = RoadType;
static_assert(sizeof(RoadTypeFile) == 32 && offsetof(RoadTypeFile, vXSect) == 32);
static_assert(offsetof(RoadTypeFile, fTexVScale) == 16 && offsetof(RoadTypeFile, speed) == 28);

// Road-kind flag bits the traffic reads.
constexpr u8 ROADTYPE_PEDESTRIANS = 0x01;
constexpr u8 ROADTYPE_VEHICLES = 0x02;
constexpr u8 ROADTYPE_KERBWALLS = 0x10;
constexpr u8 ROADTYPE_HEALTHCARTS = 0x40;   // health carts stand beside it

// A road segment: its centre line and the junctions at its ends.  The w words
// of the control points carry data: c0.w the parameter where the segment
// leaves its start junction, c3.w one minus the parameter where it enters its
// end junction, c1.w and c2.w the handle scales of sideways offsets.
struct RoadSegFile
{
    Bezier bezier;
    Junction* jtn[2];     // file: cell offsets (0: none)
    u16 id;               // road id, and its name's index
    u16 flags;            // bit 0: hidden from the radar
    RoadType* type;       // file: road-kind index
};
static_assert(sizeof(RoadSegFile) == 80 && offsetof(RoadSegFile, jtn) == 64 && offsetof(RoadSegFile, type) == 76);

class RoadSeg : public RoadSegFile
{
public:
    Cuboid GetBox() const;
    // The next segment of the same road beyond the end `forward` names (true:
    // jtn[1]); forward then tells whether that segment starts there.  Null,
    // forward untouched, when nothing continues the road.
    const RoadSeg* Next(bool& forward) const;
    const Junction* Other(const Junction* j) const { return jtn[0] == j ? jtn[1] : jtn[0]; }
    // The centre line moved sideways by d (lane lines, pavement paths).
    Bezier Offset(float d) const;
    // The ground of the segment under pos when it wins over height by the
    // step rule: height (and *normal, and the cache's result) replaced, true.
    // With a cache and a road kind with ROADTYPE_KERBWALLS, a sideways move
    // into a kerb face stops at it (a horizontal normal and the push-back in
    // the cache when a normal is asked for).
    bool GetHeight(VectorPos pos, VectorDir* normal, float& height, GHCache* cache) const;
    float CrossSectHeight(float x) const { return type->CrossSectHeight(x); }
    // Draws the segment's surface between its junctions (in a road pass).
    void Draw(RenderContext& rc) const;
};
static_assert(sizeof(RoadSeg) == 80);

// Junction flag bits.
constexpr u8 JUNCTION_SIGNALMASK = 0x03;
constexpr u8 JUNCTION_FAKE = 0x04;       // only joins its segments; not drawn
constexpr u8 JUNCTION_THROUGHROAD = 0x08;

// A junction: variable length.  The kerb Beziers follow the slot array at the
// next 16-byte boundary from the record's start; kerb i runs from the road in
// slot i - 1 to the road in slot i.  As with road kinds, the file's record
// (JunctionFile) and the run-time class are one type.
class Junction
{
public:
    VectorPos pos;
    float radius;
    u16 u16TimeOffset;
    u8 u8Flags;
    u8 nRoadsegs;
    Bezier* pbezCurbs;    // file: offset of the kerbs from this record
    RoadSeg* roadsegs[];  // file: cell offsets (0: empty slot)

    // Bytes a junction of n slots takes: 28 + 4n raised to 16, plus its kerbs.
    static constexpr u32 Size(int n) { return ((28u + 4u * u32(n) + 15u) & ~15u) + 64u * u32(n); }
    static constexpr u32 KerbOffset(int n) { return (28u + 4u * u32(n) + 15u) & ~15u; }

    // The record after this one in its array.
    Junction* Next() { return (Junction*)((u8*)this + Size(nRoadsegs)); }
    const Junction* Next() const { return (const Junction*)((const u8*)this + Size(nRoadsegs)); }
    // The slot after (before) the one holding rs, wrapping; rs itself when that
    // slot is empty; null when rs is in no slot.
    const RoadSeg* Next(const RoadSeg* rs) const;
    const RoadSeg* Prev(const RoadSeg* rs) const;
    // Every slot must hold a segment.
    Cuboid GetBox() const;
    int GetTimeOffset() const { return u16TimeOffset; }
    int GetFlags(int mask) const { return u8Flags & mask; }
    // The slot holding rs, or -1.
    int Slot(const RoadSeg* rs) const;
    // The signal command for traffic arriving from rs at tick `time`: 0 when
    // rs is not at this junction.  With three slots, slots 0 and 1 form the
    // first group; otherwise the even slots do.
    int GetSignalCommand(const RoadSeg& rs, int time) const;
    // The junction's ground under pos (within its radius): a bend's swept
    // section, a through road with its corners and side mouths, or the road
    // mouths, kerb corners and flat middle of an ordinary junction.
    bool GetHeight(VectorPos pos, VectorDir* normal, float& height, GHCache* cache) const;
    const Bezier& Kerb(int i) const { return pbezCurbs[i]; }
    // Whether segment rs ends here (its far end), rather than starts.
    bool Ends(const RoadSeg* rs) const { return rs->jtn[1] == this; }
    // In a road pass: the caps, joins, kerbs and through road; then, after
    // every junction's Draw, the road ends and the filled middle.
    void Draw(RenderContext& rc) const;
    void DrawMiddle(RenderContext& rc) const;
};
using JunctionFile = Junction;
static_assert(offsetof(JunctionFile, radius) == 16 && offsetof(JunctionFile, nRoadsegs) == 23);
static_assert(offsetof(JunctionFile, roadsegs) == 28 && JunctionFile::Size(0) == 32);

// The corner pavement along kerb `kerb` of a junction.
bool GetHeightKerb(const Junction* j, VectorPos pos, VectorDir* normal, float& height, int kerb, GHCache* cache);
// The mouth of the road in `slot` where it joins a through road whose edge is
// ref moved sideways by v.x and down by v.y.
bool GetHeightJuncEnd(const Junction* j, VectorPos pos, VectorDir* normal, float& height, int slot, const Bezier& ref,
                      Vector v, GHCache* cache);

// Surface pieces the ground queries have tried, counted for profiling: whole
// surfaces (segments, junctions, patches), kerb corners and junction mouths.
struct GroundTestCounts
{
    u32 surfaces = 0;
    u32 kerbs = 0;
    u32 mouths = 0;
};
extern GroundTestCounts groundtests;

// How far a surface may stand above the feet and still be stepped onto.
constexpr float GROUND_STEP = 0.3125f;
// Whether a surface at height `surface` replaces the best so far (`best`)
// under feet at height `pos` (y down): a surface above the feet only within a
// step of them, and the highest reachable surface over lower ones.
bool GroundStepAccepts(float pos, float surface, float best);

// The signal command of one approach: flags holds the junction's signal kind
// (bits 0-1) and SIGNAL_FIRSTGROUP for the first group of roads.  Bits 2-3 of
// the command are the light state (0 go, 4, 8, 12 stop).
int GetGeneralSignalCommand(unsigned short flags, unsigned short timeoffset, int time);
constexpr unsigned short SIGNAL_FIRSTGROUP = 0x8000;

struct GroundTypeFile
{
    Texture* ptex;        // file: texture number
};
static_assert(sizeof(GroundTypeFile) == 4);
struct GroundType : GroundTypeFile
{
};

// A free-form piece of ground: a bicubic patch, its texture matrix and its
// bounding sphere.  p[0].w carries the ground type (file: number, -1 none);
// p[3].w, p[5].w, p[7].w and p[9].w carry cell offsets the loader fixes up.
struct GroundPatchFile
{
    BezierPatch patch;
    Matrix texmat;
    Vector centre;        // w: radius
};
static_assert(sizeof(GroundPatchFile) == 336 && offsetof(GroundPatchFile, texmat) == 256 &&
              offsetof(GroundPatchFile, centre) == 320);

class GroundPatch : public GroundPatchFile
{
public:
    Cuboid GetBox() const;
    VectorPos Centre() const { return VectorPos(centre.v); }
    float Radius() const { return centre[3]; }
    GroundType* Type() const { return FileWordPtr<GroundType>(LaneWord(patch.p[0][3])); }
    // The patch's ground under pos; a remembered patch is followed from its
    // last (u, v) while the position stays over it.
    bool GetHeight(VectorPos pos, VectorDir* normal, float& height, GHCache* cache) const;
    // Draws the patch in a patch pass, tessellated by its size on screen.
    void Draw(RenderContext& rc) const;
};
static_assert(sizeof(GroundPatch) == 336);

// ---------------------------------------------------------------------------
// Road geometry.  Sideways means along the horizontal normal of a direction t,
// unit(t.z, 0, -t.x); a positive distance moves to the side it points to.

// A centre line moved sideways by d.  The ends move along the end normals; the
// handles keep their directions and are scaled by the distance from the moved
// end to the moved third point times the scale kept in c1.w (c2.w).
Bezier RoadSegOffset(const Bezier& b, float d);
// The same by v.x sideways and v.y down; with v.x = 0 the curve is only
// lowered by v.y.
Bezier RoadSegOffset(const Bezier& b, Vector v);
// A kerb or junction curve moved sideways by d0 at its start and d1 at its
// end; each handle grows by its end's rate (c1.w, c2.w) per unit moved and
// never reverses.
Bezier JunctionOffset(const Bezier& b, float d0, float d1);
Bezier JunctionOffset(const Bezier& b, float d);
// The patch over a road's mouth, ground and drawn alike: row 0 straight
// across the mouth from the end of curve a to the start of curve b, row 1
// along their handles, row 3 the edge the mouth opens onto, row 2 between
// them.  Where the mouth meets a through road's edge (lean) row 2's outer
// points are pulled a fifth of the way sideways toward the edge's ends.
BezierPatch MouthPatch(const Bezier& a, const Bezier& b, const Bezier& edge, bool lean);

// The start of the cross-section segment of the n points from v0 that holds u
// (u within [first x, last x)).
VECTOR* GetXSect(float u, const VECTOR* v0, int n);
// The sideways move from the lateral position *pwall to u over the n points
// from v0, starting the search for the old position's segment at v (forward
// when dir).  A face rising more than KERB_WALL_RISE above where the move
// began, steeper than two in one, whose top lies above the relative height y,
// stops it: the result is the segment on the near side and *pwall the
// push-back (negative when moving right).  Otherwise *pwall is 0 and the
// result the segment that holds u.
VECTOR* GetXSect(float u, const VECTOR* v0, int n, float* pwall, float y, const VECTOR* v, bool dir);
constexpr float KERB_WALL_RISE = 0.09375f;

// Whether p (x and z) can lie within r of the curve: false when it lies
// outside the control points' box widened by r, behind the nearer end, or
// more than r outside the control polygon's hull.
bool ConvexHullCheck(const Bezier& b, VectorXZ p, float r);
// The row of the hull table ConvexHullCheck uses for the curve (1 to 8), from
// the turns of its control polygon.
int ConvexHullRow(const Bezier& b);

// Road drawing's curve families (in a road pass, between RoadRender::Open and
// Close): one record of four control points per cross-section point.
class RoadRender;
void _DrawRoadSpline(RoadRender& rr, const Vector* pvXSect, int iNumXSectPts, const Bezier& bezier, bool bDrawLow);
void _DrawJuncSpline(RoadRender& rr, const Vector* pvXSect, int iNumXSectPts, const Bezier& bezier, bool bDrawLow);
void _DrawJuncSplineExtend(RoadRender& rr, const Vector* pvXSect, int iNumXSectPts, const Bezier& bezier,
                           bool bDrawLow, int nExtend);
void _DrawPatchSpline(RoadRender& rr, const Vector* pvXSect, int iNumXSectPts, const BezierPatch& patch, float xoff,
                      float xscale, int flags);
// A whole kerb piece along bezKerb, each point's offset mapped by (xscale0,
// xoff0) at the start and (xscale1, xoff1) at the end.
void DrawKerbSpline(const RoadType& rt, const Vector* pvXSect, int iNumXSectPts, const Bezier& bezKerb,
                    float xscale0, float xoff0, float xscale1, float xoff1, bool bDrawLow, RenderContext& rc);
// One road's paved end at a junction, between its two kerbs and bezEnd.
void DrawJuncEndSpline(const RoadType& rt, const Bezier& bezLeft, const Bezier& bezRight, const Bezier& bezEnd,
                       float xe, float ye, bool flip, RenderContext& rc);
// The crosswalk texture frame.
extern Matrix matCrossWalk;

// A road by id and kind, naming what something is on.
struct RoadInfo
{
    int id = -1;
    RoadType* type = nullptr;

    RoadInfo& operator=(const RoadSeg* rs)
    {
        id = rs->id;
        type = rs->type;
        return *this;
    }
    bool operator==(const RoadSeg* rs) const { return id == rs->id && type == rs->type; }
    bool operator!=(const RoadSeg* rs) const { return !(*this == rs); }
    void Invalidate()
    {
        id = -1;
        type = nullptr;
    }
    bool IsValid() const { return type != nullptr; }
};

// A place along a segment.
struct RoadPos
{
    RoadSeg* rs = nullptr;
    float t = 0.0f;
    bool positiveoff = false;
};

// A moving object's ground-height cache: the surface that gave its last
// height and where on it.  Owned and zeroed by the object.  The world never
// clears caches, and the surfaces they point at live in the streamed cells:
// owners clear theirs after KVWorld::Clean, after a teleport and after any
// move long enough for the window to have moved on.
//
// The index word (rsdir.w) names the piece of the surface: on a segment
// GHC_LEFTPAVEMENT, GHC_CARRIAGEWAY or GHC_RIGHTPAVEMENT; on a junction
// GHC_LEFTPAVEMENT + i for the corner pavement along kerb i, or the slot of
// the road whose mouth it was (0 also for a through road).
struct GHCache
{
    RoadSeg* prs;         // road segment of the last height, or null
    GroundPatch* pgp;     // ground patch of the last height, or null
    Junction* pjunc;      // junction of the last height, or null
    Object* obj;          // object of the last height
    Vector rsres;         // last result on that surface
    Vector rsdir;         // tangent there; w: the index word naming the piece
    VectorPos prevpos;    // position of the previous query

    void Clear()
    {
        prs = nullptr;
        pgp = nullptr;
        pjunc = nullptr;
        rsres = Vector(0.0f, 0.0f, 0.0f, 0.0f);
        prevpos = VectorPos(v128f{0.0f, 0.0f, 0.0f, 1.0f});
    }
    bool Was(const RoadSeg* rs) const { return prs == rs; }
    bool Was(const Junction* j) const { return pjunc == j; }
    bool Was(const GroundPatch* gp) const { return pgp == gp; }
    void SetPos(VectorPos p) { prevpos = p; }
    VectorPos GetPos() const { return prevpos; }
    void SetDir(VectorDir d) { rsdir.setxyz(d); }
    VectorDir GetDir() const { return VectorDir(rsdir[0], rsdir[1], rsdir[2]); }
    void SetIndex(int i) { rsdir.setwcomponent(i); }
    int GetIndex() const { return rsdir.wcomponent(); }
    void SetPenetration(float d) { rsres.setw(d); }
    float GetPenetration() const { return rsres[3]; }
    float GetPrevT() const { return rsres[2]; }
    // The lateral offset the object had before, on a new segment whose result
    // here is res (u, height, t) with tangent dir: the old position measured
    // across it, a little further out, or the old push-back carried over.
    float GetPrevU(VectorPos pos, VectorXYZ res, VectorDir dir) const;
};

constexpr int GHC_CARRIAGEWAY = 0;
constexpr int GHC_LEFTPAVEMENT = 0x8000;
constexpr int GHC_RIGHTPAVEMENT = 0x8001;
static_assert(offsetof(GHCache, rsres) == 16 && sizeof(GHCache) == 64);
