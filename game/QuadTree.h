// The city world: the game's one World, the streamed city it holds (a 3 x 3
// window of 256-unit cells around the camera, each a quad tree of placed
// models, roads, junctions, ground patches and occluders), the city files'
// records, and the lightweight screen objects drawn after the scene.
//
// City files are loaded into one buffer each and used in place: the records
// below are the file format and the in-memory format at once.  Every reader
// checks a file against its size before it changes a word of it.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/DynBsp.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/Utilities/Occlusion.h"
#include "game/Road.h"

class QuadTree;
class QuadNode;
class Instance;
class MdlfileCache;

// ---------------------------------------------------------------------------
// File paths.

constexpr const char CITY_INDEX_PATH[] = "KORVALIS\\DemoCity\\TEST.IDX";
constexpr const char CITY_LAYOUT_PATH[] = "KORVALIS\\DemoCity\\TEST.EXP";
constexpr const char CITY_CELLS_PATH[] = "KORVALIS\\DemoCity\\TEST.MGD";
constexpr const char CITY_MODELS_PATH[] = "KORVALIS\\DemoCity\\TEST.EXM";

// ---------------------------------------------------------------------------
// The cell index.  Cell numbers run from -64 up; the index stores them plus 64.

struct Span
{
    u8 minx;     // first column present in the row (cell x + 64)
    u8 maxx;     // last column present
    u16 index;   // 32-bit word where the row's (offset, size) pairs start
};
static_assert(sizeof(Span) == 4);

struct IndexTable
{
    u8 minz;     // lowest row present (cell z + 64)
    u8 maxz;
    u16 unused;
    Span span[];

    // True when the index fits in size bytes: rows, spans and every pair.
    static bool Check(const IndexTable* t, u32 size);
    // The cell record of cell (x, z): false when the index has no such cell;
    // size 0 is an empty cell.
    bool Find(int x, int z, u32& offset, u32& size) const;
};
static_assert(sizeof(IndexTable) == 4 && offsetof(IndexTable, span) == 4);

// ---------------------------------------------------------------------------
// Block heads of the layout file, the cell records and the mission files:
// the model file's directory, with a fixed number of blocks.

enum LAYOUT_BLOCK
{
    LAYOUT_ROADTYPES = 0,
    LAYOUT_GROUNDTYPES = 1,
    LAYOUT_TEXTURES = 2,
    LAYOUT_ROADNAMES = 3,
    LAYOUT_MODELDIR = 4,
    LAYOUT_CITIES = 5,
    LAYOUT_BLOCKS = 6,
};

// LayoutFile (ZevEngine2/modelfile.h) heads the layout file: a block count
// and LAYOUT_BLOCKS descriptors.
static_assert(sizeof(LayoutFile::block) / sizeof(HeaderBlock) == LAYOUT_BLOCKS);

enum GRID_BLOCK
{
    GRID_INSTANCES = 0,
    GRID_JUNCTIONS = 1,
    GRID_FAKEJUNCTIONS = 2,
    GRID_ROADSEGS = 3,
    GRID_GROUNDPATCHES = 4,
    GRID_OCCLUDERS = 5,
    GRID_QUADNODES = 6,
    GRID_MODELLIST = 7,
    GRID_RELOCATIONS = 8,
    GRID_BLOCKS = 9,
};

struct GridFile
{
    u32 blockCount;
    HeaderBlock block[GRID_BLOCKS];

    ModelHeader* Header() { return reinterpret_cast<ModelHeader*>(this); }
};
static_assert(sizeof(GridFile) == 76);

// A mission placement file: only the first block is read.
struct MissionFile
{
    u32 blockCount;
    HeaderBlock block[1];

    ModelHeader* Header() { return reinterpret_cast<ModelHeader*>(this); }
};
static_assert(sizeof(MissionFile) == 12);

// ---------------------------------------------------------------------------
// Placed models.

// The rotation packed in an instance's loc.w: three signed 10-bit numbers a,
// b, c (bits 0-9, 10-19, 20-29) scaled by 0.0013824184, and in bits 30-31
// which quaternion lane the derived one, s = sqrt(1 - min(1, a² + b² + c²)),
// takes: (a, b, c, s), (b, c, s, a), (c, s, a, b) or (s, a, b, c).
Quaternion UnpackQuat(unsigned int packed);
constexpr float UNPACKQUAT_SCALE = 128.0f * 1.0800144e-05f;

struct InstanceFile
{
    Vector loc;           // x, y, z position; w the packed rotation word
    u16 mdlfileid;        // model number in the model archive
    u8 index;             // node the real object is built from
    s8 scale;             // uniform scale 1 + s/128; 0: none
    u16 id;               // instance id (0 none)
    u8 params[4];         // tint set, geometry parameter, -, draw state
    u16 dataoffset;       // parameter data from the cell record start; 0: the model's
    Object* obj;          // the real object once made; 0 in the file

    u32 Rotation() const { return LaneWord(loc[3]); }
    VectorPos Pos() const { return VectorPos(loc[0], loc[1], loc[2]); }
    // The scale factor (1 when the byte is 0).
    float Scale() const { return scale != 0 ? 1.0f + float(scale) / 128.0f : 1.0f; }
};
static_assert(sizeof(InstanceFile) == 32 && offsetof(InstanceFile, mdlfileid) == 16 &&
              offsetof(InstanceFile, params) == 22 && offsetof(InstanceFile, obj) == 28);

// Instance draw state (params[3]): 0 hidden, 1 shown, 2 out of view when last
// tested, 0x10..0xF0 fading (high nibble: opacity in sixteenths).
enum : u8
{
    INSTSTATE_HIDDEN = 0,
    INSTSTATE_SHOWN = 1,
    INSTSTATE_OUTOFVIEW = 2,
};

// Template-object flags of city models.
constexpr unsigned CITYMODEL_ALWAYSREAL = 0x00800000;   // every instance becomes a real object
constexpr unsigned CITYMODEL_SWAYS = 0x01000000;
constexpr unsigned OBJF_ASKWASDRAWN = 0x00100000;

class Instance : public InstanceFile
{
public:
    // Packed rotation, uniform scale, position (no sway).
    Matrix GetMatrix() const;
    // The matrix the instance is drawn and bound with: swaying models turn a
    // little about their own origin first, with the world clock.
    Matrix GetDrawMatrix(const MdlfileCache* mfc) const;
    void Draw(RenderContext& rc, MdlfileCache* mfc);
    u8& State() { return params[3]; }
};
static_assert(sizeof(Instance) == 32);

// An occluder: a run of top corners, the first corner's w (an integer) the
// run's length in vectors.
struct OccluderFile
{
    Vector rgvTopCorners[4];
};
static_assert(sizeof(OccluderFile) == 64);

// Quad-node content bits (the w word of ext.min).
enum : u32
{
    QN_INSTANCES = 0x04,
    QN_JUNCTIONS = 0x08,
    QN_ROADSEGS = 0x10,
    QN_GROUNDPATCHES = 0x20,
    QN_CULLED = 0x80,     // outside the view when last considered
    QN_TOOSMALL = 0x100,  // dropped by the size test when last considered
};

struct QuadNodeFile
{
    QuadNode* child[4];   // bit 0 of the index: +x half, bit 1: +z half
    Cuboid ext;           // everything below; min.w is the content mask
    u16 nObjects;
    u16 nJunctions;
    u16 nRoadSegs;
    u16 nGroundPatches;
    u16 nOccluders;
    u16 zone;
    Instance* objects;
    Junction* junctions;
    RoadSeg* roadsegs;
    GroundPatch* groundpatches;
    Occluder* occluders;

    u32 Flags() const { return LaneWord(ext.min[3]); }
    void SetFlags(u32 f) { ext.min[3] = WordLane(f); }
};
static_assert(sizeof(QuadNodeFile) == 80 && offsetof(QuadNodeFile, ext) == 16 &&
              offsetof(QuadNodeFile, nObjects) == 48 && offsetof(QuadNodeFile, objects) == 60 &&
              offsetof(QuadNodeFile, occluders) == 76);

class QuadNode : public QuadNodeFile
{
public:
    // Instance k as an object: its real object, or a pooled temporary bound to
    // it (null when every temporary is referenced).
    Object* GetObject(int k);
    // Copies loc (with the rotation word) to pos; the object's id or the
    // instance's.
    int GetIDAndPosition(int k, VectorPos* pos);
};
static_assert(sizeof(QuadNode) == 80);

// A placeholder object made real: OM_CREATE with no data; null without a
// handler.  Other objects come back unchanged.
Object* EnsureReal(Object* o);

// ---------------------------------------------------------------------------
// Streaming services.  The real disc streamer and timer 0 by default; tests
// replace them.

struct CityIO
{
    int (*Create)(const char* path, int offset);
    int (*Transfer)(int handle, void* buffer, int size);
    int (*BytesPending)(int handle, bool wait);
    int (*Stop)(int handle);
    int (*Close)(int handle);
    u32 (*Clock)();   // timer 0's counter (16 bits used)
    // The opened file's length (-1 unknown); none: lengths are not checked.
    int (*TotalLength)(int handle) = nullptr;
};
extern CityIO cityio;
// The real services.
CityIO RealCityIO();

// Counter ticks of one frame: the unit of a streaming budget.
constexpr u32 CITY_TICKS_PER_FRAME = 9600;
// The per-frame budget of each slot.
constexpr float CITY_FRAME_BUDGET = 0.12f;

// ---------------------------------------------------------------------------
// The model-file cache: one entry per city model, shared by the cells that
// list it; its buffer may be moved by the defragmenter.

class MdlfileCache : public MDLFILE, public MovableMemory
{
public:
    MdlfileCache(u32 _offset, u32 _length);
    ~MdlfileCache() = default;

    // The heap moved the buffer.
    int operator()(void* newaddr) override;

    void AddRef();
    void Release();
    // Starts reading the model from the archive at path; false when the
    // stream cannot be opened or there is no buffer to read into.
    bool StartStreaming(const char* path);
    // The model has arrived: check and fix it up, build its template object.
    // A model the loader refuses keeps an empty template object.
    void Init(Texture* textures, int nTextures);
    // The arrived model's data cache flush, close and Init.
    void Arrive(Texture* textures, int nTextures);

    bool Resident() const { return streamnum == -2; }

    u32 offset;
    u32 length;
    u16 refs = 0;
    s16 streamnum = -1;
    bool registered = false;   // the buffer is on the movable-memory list
    Object obj;
    MdlfileCache* pNextWithInstances = nullptr;
    Instance* pFirstInstance = nullptr;

private:
    void FreeTemplate();
};

// The behaviour of a city model, chosen from the model (game/CityObjects).
OBJMESSAGEHANDLER GetGridMessageHandler(Object* obj);

// ---------------------------------------------------------------------------
// Temporary objects standing for instances.

class TempObject : public Object
{
public:
    Instance* inst = nullptr;
};

int TempObject_mh(Object* o, OBJMESSAGE msg, void* data);

class TempObjectPool
{
public:
    static constexpr int SIZE = 128;
    TempObjectPool();
    ~TempObjectPool();

    // The first slot at or after from whose refcount is 0; null past the end.
    TempObject* _Scan(TempObject* from);
    // A free slot bound to instance inst of the model mfc, or null when every
    // slot is referenced (reported once).
    TempObject* Bind(Instance* inst, MdlfileCache* mfc);

    TempObject pool[SIZE];
    bool reportedFull = false;
};

// ---------------------------------------------------------------------------
// Sorted draw lists: at most N entries keeping the N smallest keys offered.

template <class T>
struct SortedTreeNode
{
    float fValue;
    s16 i16Left;
    s16 i16Right;
    s16 i16Parent;
    T* item;
};

template <class T, int N>
class SortedTree
{
public:
    s16 i16Head = -1;
    s16 i16PoolEnd = 0;
    SortedTreeNode<T> rstnList[N];
    s16 worst_index = -1;

    void Clear()
    {
        i16Head = -1;
        i16PoolEnd = 0;
    }
    int Head() const { return i16Head; }
    int Left(int i) const { return rstnList[i].i16Left; }
    int Right(int i) const { return rstnList[i].i16Right; }
    T* Item(int i) const { return rstnList[i].item; }
    int Count() const { return i16PoolEnd; }
    const SortedTreeNode<T>& operator[](int i) const { return rstnList[i]; }
    bool ShouldAdd(float f) const { return i16PoolEnd < N || f < rstnList[worst_index].fValue; }

    // Offers item with key fVal: the item that does not fit (the new one or
    // the evicted worst), with its key through pRetVal; null when nothing fell
    // out.
    T* Add(T* _item, float fVal, float* pRetVal);

    // In ascending key order (a fixed stack: the tree's depth is at most N).
    template <class F>
    void ForEach(F f) const
    {
        s16 stack[N];
        int sp = 0;
        int i = i16Head;
        while (i >= 0 || sp > 0) {
            while (i >= 0) {
                stack[sp++] = s16(i);
                i = rstnList[i].i16Left;
            }
            i = stack[--sp];
            f(rstnList[i].item, rstnList[i].fValue);
            i = rstnList[i].i16Right;
        }
    }
};

template <class T, int N>
T* SortedTree<T, N>::Add(T* _item, float fVal, float* pRetVal)
{
    T* out = nullptr;
    int e;
    if (i16PoolEnd >= N) {
        const int w = worst_index;
        SortedTreeNode<T>& wn = rstnList[w];
        if (wn.fValue <= fVal) {
            if (pRetVal)
                *pRetVal = fVal;
            return _item;
        }
        out = wn.item;
        if (pRetVal)
            *pRetVal = wn.fValue;
        // The worst entry is the rightmost: it has no right child.
        if (wn.i16Left < 0) {
            if (wn.i16Parent >= 0) {
                rstnList[wn.i16Parent].i16Right = -1;
                worst_index = wn.i16Parent;
            } else {
                i16Head = -1;
            }
        } else {
            const int l = wn.i16Left;
            rstnList[l].i16Parent = wn.i16Parent;
            if (wn.i16Parent >= 0)
                rstnList[wn.i16Parent].i16Right = s16(l);
            else
                i16Head = s16(l);
            int r = l;
            while (rstnList[r].i16Right >= 0)
                r = rstnList[r].i16Right;
            worst_index = s16(r);
        }
        e = w;
    } else {
        e = i16PoolEnd++;
    }
    SortedTreeNode<T>& n = rstnList[e];
    n.item = _item;
    n.fValue = fVal;
    n.i16Left = n.i16Right = -1;
    if (i16Head < 0) {
        i16Head = s16(e);
        n.i16Parent = -1;
        worst_index = s16(e);
        return out;
    }
    int at = i16Head;
    bool wentLeft = false;
    for (;;) {
        SortedTreeNode<T>& a = rstnList[at];
        if (fVal <= a.fValue) {
            wentLeft = true;
            if (a.i16Left < 0) {
                a.i16Left = s16(e);
                break;
            }
            at = a.i16Left;
        } else {
            if (a.i16Right < 0) {
                a.i16Right = s16(e);
                break;
            }
            at = a.i16Right;
        }
    }
    n.i16Parent = s16(at);
    if (!wentLeft)
        worst_index = s16(e);
    return out;
}

// ---------------------------------------------------------------------------
// A flat walk over the window's quad trees: the nodes whose box, flattened
// in y, meets a given box, descending only into children with a wanted
// content bit.
class Visible2D
{
public:
    static constexpr int STACK = 32;
    QuadNode* stack[STACK];
    QuadNode** sp;
    Matrix matCull;
    int flags;

    Visible2D(const Cuboid& box, int mask);
    void Init();
    bool operator++();
    QuadNode* operator*() const { return sp > stack ? sp[-1] : nullptr; }
    explicit operator bool() const { return sp > stack; }

private:
    void Push(QuadNode* n);
};

// One batch of instances of one model, drawn with one model set-up (the
// matrices go to the vector unit together) or singly when the model cannot
// be instanced.
struct GEOMETRY0;
struct MODEL;
struct InstanceDraw
{
    static const int nMaxMatrices = 6;
    Matrix InstMat[nMaxMatrices];
    int nMatNow = 0;
    MdlfileCache* mfc = nullptr;
    MODEL* model = nullptr;     // null: nothing is drawn
    float radius = 0.0f;
    bool can_instance = false;
    u8* params = nullptr;

    // For the model of geometry g (null: none) with these parameter bytes.
    void Prepare(MdlfileCache* mfc, GEOMETRY0* g, u8* params);
    // Adds one instance, flushing when the batch is full or the model
    // cannot be instanced.
    void Draw(RenderContext& rc, const Matrix& mat);
    void Flush(RenderContext& rc);
};

// Non-zero: every opaque instance is drawn singly.
extern int instancing_off;

// An instance's fade into view: the opacity to draw it with this frame, 0
// meaning opaque (the fade is over, or it was not fading).
float FadeIn(Instance* inst);
// Its fade out of view: the opacity, 0 meaning the fade is over (draw
// nothing).
float FadeOut(Instance* inst);

// The far distance of the city walk.
extern float g_fClipTest;

// ---------------------------------------------------------------------------
// One slot of the 3 x 3 window.

struct Grid
{
    GridFile* file = nullptr;
    int streamnum = -1;       // -1 nothing to read; -2 arrived and fixed up; else reading
    QuadNode* root = nullptr;
    Instance* instances = nullptr;
    int iInstances = 0, nInstances = 0;
    s16* mdlfiles = nullptr;
    int iMdlfiles = 0, nMdlfiles = 0;
    Junction* fakejunctions = nullptr;
    int nFake = 0;
    u32 size = 0;             // bytes of the cell record
    int cellx = 0, cellz = 0; // the cell asked for (valid while file is set)

    void Load(QuadTree* qt, int x, int z);
    bool Update(QuadTree* qt, float maxtime);
    // The arrived record checked and fixed up; total is the cells file's
    // length (-1 unknown), which the record must lie inside.
    void Init(QuadTree* qt, int total = -1);
    void Clear(QuadTree* qt);
    Junction* FindJunction(VectorPos p) const;
    bool Complete() const { return streamnum < 0 && iMdlfiles == nMdlfiles && iInstances == nInstances; }

    // True when the record fits its size and every stored offset and count
    // lies inside it (against the layout's tables); otherwise says why.
    static bool Check(const GridFile* f, u32 size, const QuadTree* qt, char* why);
};

// ---------------------------------------------------------------------------
// The city container.

class QuadTree
{
public:
    // Reads the layout (already checked by Load): tables and fix-ups.
    explicit QuadTree(LayoutFile* layout);
    ~QuadTree();
    QuadTree(const QuadTree&) = delete;
    QuadTree& operator=(const QuadTree&) = delete;

    // A checked layout of size bytes; false (the layout untouched) when it is
    // not one the city can use, saying why.
    static bool CheckLayout(const LayoutFile* f, u32 size, char* why);

    bool SyncGrid(int x, int z, bool streaming);
    void ClearAllGrids();
    Grid* LoadedGrid(VectorPos p);
    void Stitch(Junction* fake);
    void UnStitch(Junction* fake);

    void ClearVisibility();
    void CalcSortedVisibility(const RenderContext& rc);
    // After CalcSortedVisibility: the road pass over the visible segments
    // and junctions; then the kept instances nearest first, batched by
    // model, the fading-out ones and the visible ground patches.
    void DrawRoads(RenderContext& rc);
    void DrawObjects(RenderContext& rc);
    void AddVisible(const RenderContext& rc, QuadNode* node, int nFadeOveride);
    Cuboid CurrentMaxCuboid() const;

    // The slot of cell (cx, cz).
    static int Slot(int cx, int cz) { return ((cz + 64) % 3) * 3 + (cx + 64) % 3; }
    // The cell of coordinate v on an axis whose window centre is `centre`:
    // the centre while v lies within 4 units of its cell, else v's own cell.
    static int CentreCell(float v, int centre);

    LayoutFile* file;
    RoadType** roadtypes = nullptr;
    GroundType** groundtypes = nullptr;
    Texture* textures = nullptr;
    MdlfileCache* mdlfiles = nullptr;
    char** roadnames = nullptr;
    u16* cities = nullptr;
    int num_roadnames = 0;
    int gridx = 64, gridz = 64;
    int iMdlfiles = 0;
    int nMdlfiles = 0;
    Grid grid[9];
    List<Junction> visjtnlist;
    List<RoadSeg> visrslist;
    SortedTree<Instance, 30> stFadeOut;
    SortedTree<Instance, 212> stObjects;
    SortedTree<GroundPatch, 64> stPatches;

    // The best of sofar and every road, junction and ground patch of the
    // window under p (the step rule decides); a cache remembers the surface
    // that gave it unless it lies more than a step below p.
    float GetHeight(float sofar, VectorPos p, VectorDir* normal, GHCache* cache);
    // obj against the city's model instances (live ones and pooled
    // temporaries for the rest): the first non-zero pair result, else 0.
    int Collide(Object* obj);
    // The first instance whose shapes the segment p0-p1 meets and pcch (when
    // given) accepts; a plain instance answers with a pooled temporary that
    // stays valid until the pool hands its slot out again.
    Object* CheckRay(VectorPos p0, VectorPos p1, VectorPos* point, VectorDir* normal, unsigned short mask,
                     int (*pcch)(Object*), Object* exclude1, Object* exclude2);

    // Table sizes the checks use.
    int nRoadtypes = 0, nGroundtypes = 0, nTextures = 0, nCities = 0;
    bool reportedStack = false;
    bool reportedQueryStack = false;
};

// Node stacks of the window's query walks: nine roots and three more entries
// for each level below.
constexpr int QUADTREE_QUERY_STACK = 32;

// Whether two boxes meet (touching counts) on every axis.
bool Overlaps(const Cuboid& a, const Cuboid& b);

// The cell of a world coordinate: trunc((v + 16384) / 256) - 64.  Cells
// below -64 do not exist: the window's centre stays at -63 or above.
int CellOf(float v);

// City number i, 0 without the table.
int CityIndex(int i);

// ---------------------------------------------------------------------------
// The world.

// One directional light's angles: turned a0 about x, then a1 about y.
struct LightAng
{
    float a0, a1;
};

// The world's lighting for a time of day: three directional lights, the
// fog's clear [0] and foggy [1] figures, and its colours: 0..2 the
// directional lights, 3 ambient, 4..8 the sky's (the sky takes them as
// 8, 7, 6, 5, 4), 10 the live objects' shadows, 11 the city's shadows, 12
// the rain's splashes.
struct LightSet
{
    LightAng lightang[3];
    float fognear[2], fogfar[2], fogsat[2];
    Colour colours[13];
};
static_assert(sizeof(LightSet) == 100);

// The vehicles' lights, drawn by the world draw through calls the vehicles
// provide: whether a vehicle shows its lights (its engine is running), its
// light cone (at night) and every vehicle's headlights (at the end of the
// frame).  Until the vehicles register them nothing is drawn.
struct VehicleLightCalls
{
    bool (*ShowsLights)(Object* vehicle) = nullptr;
    void (*DrawLightCone)(Object* vehicle, RenderContext& rc) = nullptr;
    void (*DrawHeadlights)() = nullptr;
};
extern VehicleLightCalls vehiclelights;

// Walls the characters take cover at and obstacles the drivers steer round,
// placed by set-up files: a world-space spline and the node it belongs to.
class Spline;
struct WallSpline
{
    Spline* spline;
    u16 objindex;
    bool crouch;   // a low wall: cover is taken crouching
};
using WallSplineList = List<WallSpline>;
struct AvoidObstacle
{
    Spline* spline;
    u16 objindex;
};

class KVWorld : public World
{
public:
    KVWorld() = default;
    ~KVWorld();

    // Start-up: the cell index and the layout.  Without them (missing or
    // malformed) the world has no city, said once.
    void Init();
    // The same from loaded buffers, which the world then owns.
    void InitCity(void* index, u32 indexsize, void* layout, u32 layoutsize);
    // Loads a mission's placeholders; false (none made, the old ones gone)
    // when the file is missing or malformed.
    bool LoadMission(const char* name);
    // name is the file's, for the message.
    bool LoadMissionData(void* buffer, u32 size, const char* name = "in memory");
    // End of a run: objects, placeholders and timers go; the city stays but
    // its window is unloaded.
    void Reset();
    // Level torn down: the window is unloaded.
    void Clean();
    // Blocking window sync at p; repeated until true.
    bool SyncTo(VectorPos p);
    bool ExistsAt(VectorPos p);
    bool CompleteAt(VectorPos p);
    bool CompleteAt(const Cuboid& box);
    Cuboid LoadedExtent() const;
    char* GetRoadName(int& len, int i) const;
    u32 GetRealtimeCount() const;
    Object* FindCityObject(int id, const Cuboid& box);
    Object* FindClosestCityObject(VectorPos p, float radius);
    // Frees the city (index, layout, tree).
    void FreeCity();

    // Puts pro on the post-draw list, at the tail (bTail) or the head; an item
    // already there is moved, never listed twice.  False only when no list
    // link could be had.
    bool AddPostRawObj(RawObj* pro, bool bTail);
    // Takes pro off the post-draw list; nothing happens when it is not there.
    void RemovePostRawObj(RawObj* pro);
    // The post-draw list's walks, front to back; items without a handler
    // are passed over, and a handler must not unlink other items.
    // ROM_FRAME with iFrames.
    void UpdatePostRaw(int iFrames);
    // ROM_PREDRAW / ROM_DRAW with rc and iSpeed, after a FLUSH in the frame.
    void DrawPreTransRaw(RenderContext& rc, int iSpeed);
    void DrawPostRaw(RenderContext& rc, int iSpeed);
    // ROM_DESTROY to each item; those that answer non-zero leave the list.
    void RequestDestroyPostRaw();

    // One frame of the world: sky-tinted fog, the light set's lights, the
    // city (drawcity), the live objects, shadows and light cones, the sky,
    // water, blurs, transparencies, particles, rain, glows and headlights.
    // uselightset false lights it by the world's light objects alone.
    void Draw(RenderContext& rc, bool drawcity, bool uselightset);
    // Installs a light set: the shadow light, the sky's colours when they
    // changed, the weather's fog figures and the rain's splash colour.
    void SetColours(const LightSet& ls);
    // Whether time_of_day falls in the night of lights and shadows (hours
    // 18 to 4).
    bool IsNight() const;
    // The stencil shadows' strength from the shadow light's height: 0 for a
    // sun within about 7 degrees of the horizon, 1 from about 14.
    float ShadowStrength() const;

    // Once per tick, outdoors: every live top-level object against the later
    // ones of the object list (and the city).  A pair result with bit 0 set
    // ends the object's turn against further objects; a negative one (the
    // object was changed by the contact) tests it again from its first
    // partner, at most COLLISION_RETESTS times in one pass.
    void Collision();
    // Once per tick, indoors: the static interior objects (flag 0x80000) form
    // the dynamic BSP, built on the first call after a rebuild; the other
    // objects are tested against it and against each other.
    void InteriorCollision();
    // Collides one live top-level object with every other one now.
    void CollideObject(Object* obj1);
    // The first live object of the list (other than the two excluded ones)
    // whose shapes the segment p0-p1 meets, with the hit point and normal;
    // null when the segment is clear.
    Object* CheckRay(VectorPos p0, VectorPos p1, VectorPos* point, VectorDir* normal, Object* exclude1,
                     Object* exclude2, unsigned short mask);
    // The city's instances alone on the segment (no excluded objects).
    Object* CheckRayCity(VectorPos p0, VectorPos p1, VectorPos* point, VectorDir* normal, unsigned short mask,
                         int (*pcch)(Object*));
    // The ground height under p: the remembered surfaces of the cache first
    // (a segment's end junctions, and through a joining junction the next
    // segment, before a search), then the window's.  0 with the up normal
    // (0, -1, 0) where there is no ground.
    float GroundHeight(VectorPos p, VectorDir* normal, GHCache* cache);

    static constexpr int COLLISION_RETESTS = 16;
    static constexpr u32 DAY_FRAMES = 5184000;
    static constexpr u32 HOUR_FRAMES = 216000;
    // A time in seconds read from a file, as whole frames held between none
    // and a day (a value that is no number counts as none).
    static u32 RecordFrames(float seconds)
    {
        const float f = seconds * 60.0f;
        return f > 0.0f ? u32(f < float(DAY_FRAMES) ? f : float(DAY_FRAMES)) : 0u;
    }
    // Told the name of each step of Draw as it starts (for tests and
    // profiling); null in the game.
    static void (*drawtrace)(const char* step);

    QuadTree* quadtree = nullptr;
    List<RawObj> rawobjPostList;   // post-draw lightweight objects (HUD, fades)
    ObjectList pedlist;            // pedestrians
    ObjectList vehlist;            // vehicles
    u32 time_of_day = 0;           // frames, wrapping at DAY_FRAMES
    LightSet lightset{};           // the installed lighting
    Vector shadowlight = Vector(0.0f, 0.0f, 0.0f, 0.0f);   // toward the shadows' light (y down), w 0
    bool oceanenable = false;
    WallSplineList spllist;      // cover walls of the set-ups built
    List<AvoidObstacle> obslist;   // obstacles of the set-ups built
    bool bRebuildDynBSP = false;   // set by contact handlers: rebuild the tree next tick
    DynBspTree dynbsp;             // interior collision tree
    bool reportedNoCity = false;
    // No mission file has been read: the last one asked for is not on the
    // disc, or none was asked for yet (as against one that is there but
    // malformed or empty).
    bool missionFileMissing = true;

private:
    bool HasCity();
    void ClearPlaceholders();
};

// The city's ground under a point (roads, junctions and ground patches), the
// one ground checker of the game.
class RoadGroundChecker : public GroundChecker
{
public:
    float Check(const Object& obj, float best, VectorPos pos, VectorDir* normal) override;
};

extern KVWorld world;
extern TempObjectPool tempobjpool;
extern Occlusion occlusion;
extern RoadGroundChecker roadgroundchecker;
// The loaded cell index (null without a city) and its size.
extern IndexTable* indextable;
extern u32 indextablesize;

// The global occlusion test for a box.
bool bIsOccluded(const Cuboid& box, bool bAllEdges);
