// Model nodes, models and materials as they lie in a model file, and an
// object's model instance (GEOMETRY) with its level-of-detail chain.
//
// A model file's nodes form hierarchies; MDLFILE::GetHierarchy turns them
// into engine Objects (ZevEngine2/modelfile.h declares the builders).  Each
// drawable object gets a GEOMETRY naming its model, with the chain of lower
// levels of detail that the drawer picks by view depth.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

class RenderContext;

// The model word of a node: bits 0..10 the model number, bits 12..15 the node
// type.  Model numbers below MDL_NOGEOM index the model table.
constexpr u16 MDL_MODELMASK = 0x7FF;
constexpr u16 MDL_NOGEOM = 0x700;       // 0x700..0x7EF: no geometry
constexpr u16 MDL_LIGHT = 0x7F0;        // 0x7F0..0x7FC: a light, kind = number - 0x7F0
constexpr u16 MDL_LIGHT_LAST = 0x7FC;
constexpr u16 MDL_BONE = 0x7FD;         // a bone of a skinned model
constexpr u16 MDL_NOTOBJECT = 0x8000;   // node types 8..15: never made into an object

// Node types (model word >> 12).
enum
{
    NODETYPE_LOD = 12,        // a level of detail of its parent node
    NODETYPE_SPECIAL = 15,
};

// Flags of GetHierarchy / GetHierarchyTo; the whole word also goes to the
// animation's constructor.
enum : u32
{
    GH_SIBLINGS = 0x01,       // also build the node's siblings
    GH_NOCHILDREN = 0x02,
    GH_ANIMATE = 0x08,        // give the object a BlendAnimation for its node's animation
    GH_NODEMATRIX = 0x40,     // set the matrix from the node again after the animation was made
    GH_RELMOTION = 0x80,      // relative-motion animation; not passed to descendants
};

// MODEL::flags.
enum : u16
{
    MDL_LIT = 0x0002,         // lights are set for it
    MDL_FACECAMERA = 0x0004,
    MDL_SKINNED = 0x0040,     // drawn with a matrix palette
    MDL_REFLECTION = 0x0080,  // reflection texture matrix
    MDL_TEXMATRIX2 = 0x0100,  // second texture matrix
};

// MATERIAL::flags.
enum : u16
{
    MTL_DECAL = 0x0002,       // texture function decal
    MTL_TINT = 0x0004,        // colour from the file's tint table
};

// MATERIAL::texid: 0xFFFF no texture; bit 15 clear a texture of the file;
// bits 15 and 14 a global texture gtex[texid & 0xFFF]; bit 15 alone the
// object's choice params[2 + (texid & 0xFFF)].
enum : u16
{
    TEXID_NONE = 0xFFFF,
    TEXID_INDIRECT = 0x8000,
    TEXID_GLOBAL = 0x4000,
    TEXID_INDEX = 0x0FFF,
};

// The built-in textures model drawing uses (filled by the game's start-up).
enum GTEX_ENUM
{
    GTEX_SPECULAR,
    GTEX_REFLECTION,
    GTEX_TOTAL,
};
extern Texture gtex[GTEX_TOTAL];
// The program's start-up puts its linked-in highlight and reflection
// images in entries GTEX_SPECULAR and GTEX_REFLECTION.

// Call-list command tokens.  A call-list quadword whose u16 word w6 has bit
// 0x800 set is a command; MATERIAL::Patch replaces the token by its routine's
// entry (routine address / 8).
enum Tok : u16
{
    tokNop = 2048,
    tokStop,
    tokSetLocal,
    tokSetViewport,
    tokSetGlobals,
    tokSetBuffers,
    tokProcessVerts,
    tokSetMaterial,
    tokNewMaterial,
    tokEndMaterial,
    tokEndPass1,
    tokEndPass,
    tokGiftag,          // w0 & 0x7FFF data quadwords follow
    tokGiftagCopy,      // likewise
    tokKick,
    tokKickFlip,
    tokTransform,
    tokTransformCompressed,
    tokSetUV,
    tokDoLighting,
    tokDoLightingFlip,
    tokDoLightingCompressed,
    tokDoLightingCompressedFlip,
    tokDoLightingMult,
    tokDoLightingMultFlip,
    tokDoLightingCompressedMult,
    tokDoLightingCompressedMultFlip,
    tokDoLightingPreLit,
    tokDoLightingPreLitFlip,
    tokDoLightingCompressedPreLit,
    tokDoLightingCompressedPreLitFlip,
    tokCopyColour,
    tokFillColour,
    tokBFCull,
    tokTransformUV,
    tokUnpackNormals,
    tokReflection,
    tokRefraction,
    tokSkin,
    tokRandomClamp,
    tokAlphaReg,
    tokBFCullSwap,
    tokLast = tokBFCullSwap,
};
static_assert(tokLast == 2089);
constexpr int TOK_COUNT = tokLast - tokNop + 1;
constexpr u16 TOK_FLAG = 0x800;

// Texture lists inside call lists are held with this many references while a
// material is drawn; the loader cuts longer lists to this length.
constexpr int MTL_MAX_TEXLIST = 3;

// One material of a model (24 bytes).  The call list and the vertex data are
// file-relative offsets in the file and addresses once the file is fixed up.
struct MATERIAL
{
    u16 desc;            // vertex stream descriptor
    u16 flags;           // MTL_*
    u16 callListNumQw;
    u16 dataNumQw;
    u32 callList;
    u32 data;
    u16 auxvuaddr;       // call-list quadword of the tint colour (MTL_TINT)
    u16 texid;           // TEXID_*
    u16 texvuaddr;       // 0: one texture; else the call-list quadword of the texture list's first entry
    s16 mipmapk;

    u128* CallList() const { return (u128*)(uintptr_t)callList; }
    u128* Data() const { return (u128*)(uintptr_t)data; }
    // The call list's words w0..w7 of quadword i.
    u16* Words(int i) const { return (u16*)(CallList() + i); }

    // Replaces every command token of the call list by its routine entry.
    // Runs once per material, at load.
    void Patch() const;

    // Routine entry of each token (index token - tokNop), in 8-byte units of
    // vector-unit program memory.
    static const u16 translate[TOK_COUNT];
};
static_assert(sizeof(MATERIAL) == 24);
static_assert(offsetof(MATERIAL, callList) == 8 && offsetof(MATERIAL, auxvuaddr) == 16 && offsetof(MATERIAL, mipmapk) == 22);

// A model: an 80-byte head, then nOpaque opaque and nTranslucent translucent
// materials.
struct MODEL
{
    u16 flags;           // MDL_*
    u8 nAnimtex;
    u8 nMaterials;       // not used by the loader: it walks nOpaque + nTranslucent
    u8 pad0[12];
    Sphere sphere;       // bounding sphere in model space
    Vector boxextent;    // half extents of the bounding box about the sphere's centre
    Vector compressionOffset;
    u8 nOpaque;
    u8 nTranslucent;
    u8 pad1[14];
    MATERIAL mtls[];

    int NumMaterials() const { return nOpaque + nTranslucent; }
    // |sphere centre| + sphere radius.
    float Radius() const;

    // Drawing (defined with the model drawer).
    void Setup(RenderContext& rc, const Matrix& m) const;
    void Render(const MDLFILE* mf, const u8* params, int first, int count) const;
};
static_assert(sizeof(MODEL) == 80);
static_assert(offsetof(MODEL, sphere) == 16 && offsetof(MODEL, compressionOffset) == 48 && offsetof(MODEL, nOpaque) == 64);

// One node (48 bytes).
struct NODE
{
    u16 model;       // model word: number in bits 0..10, type in bits 12..15
    u16 collision;   // collision table index; 0xFFFF none
    u16 animation;   // animation table index / animation id; bit 15 set: none
    u16 sibling;     // next node under the same parent; 0xFFFF none
    u16 child;       // first child; 0xFFFF none
    u16 extra;       // id; switch distance of a level of detail; entity kind of a placement
    u32 extra2;      // placement data of level files; range and cone of a light
    Vector pos;      // position in the parent's frame; w: shadow index / light colour
    Vector ang;      // rotation angles x, y, z; w: light intensity

    // Rows x, y, z from RotMatrix(ang), row w the position.
    Matrix GetMatrix() const;
    int Type() const { return model >> 12; }
    int Model() const { return model & MDL_MODELMASK; }
    VectorPos Pos() const { return VectorPos(pos.v[0], pos.v[1], pos.v[2]); }
    // The id animation files match: the word without bit 15, or -1 for none.
    int GetAnimID() const { return animation == 0xFFFF ? -1 : animation & 0x7FFF; }
    // The index into the file's own animation table, or -1.
    int GetAnimIndex() const { return animation < 0x8000 ? animation : -1; }
    // The low 16 bits of pos.w.
    int GetShadowIndex() const { return pos.wcomponent() & 0xFFFF; }
};
static_assert(sizeof(NODE) == 48);
static_assert(offsetof(NODE, extra2) == 12 && offsetof(NODE, pos) == 16 && offsetof(NODE, ang) == 32);

// One level of detail: a model and the next level.  Levels below the first
// are 12-byte blocks of the size-class pools.
struct GEOMETRY0
{
    int index;               // model number
    GEOMETRY0* lowresgeom;   // next level; may point at this level itself
    float lowresdist;        // drawn up to this view depth; 0: no limit

    GEOMETRY0(int i) : index(i), lowresgeom(nullptr), lowresdist(0.0f) {}
    // Deletes the lower levels (stopping at a level that points at itself).
    ~GEOMETRY0();

    static void* operator new(size_t size) noexcept { return SmallAllocator::Alloc(size); }
    static void operator delete(void* p, size_t size) { SmallAllocator::Free(p, size); }

    MODEL* GetModel(const MDLFILE* mf) const { return mf->models[index]; }
    void DeleteLowRes();
};
static_assert(sizeof(GEOMETRY0) == 12);

// An object's model instance (36 bytes, from the size-class pools).
struct GEOMETRY : GEOMETRY0
{
    float radius;    // |sphere centre| + sphere radius of the model
    u8* pparams;     // the parameters drawn with: params, or an instance's
    u8 params[16];   // byte 0 tint set; bytes 2.. texture choices

    GEOMETRY(const MDLFILE* mf, int index);

    static void* operator new(size_t size) noexcept { return SmallAllocator::Alloc(size); }
    static void operator delete(void* p, size_t size) { SmallAllocator::Free(p, size); }

    // Builds the level-of-detail chain from the level nodes (type 12) below
    // node nodeIndex: each level switches at the distance in its node's
    // extra, or by default at 10 x the model's radius (5 x for radii of
    // 4.6875 and more; overrideDist instead when non-zero), doubling level by
    // level.  A chain built before is deleted first.
    void SetLowRes(MDLFILE* mf, int nodeIndex, float overrideDist);
    // The level to draw at view depth depth, or null beyond the last level's
    // limit.
    GEOMETRY0* GetLowRes(float depth);
    float Radius() const { return radius; }
    void SetParam(int i, int value) { params[i] = (u8)value; }
};
static_assert(sizeof(GEOMETRY) == 36);

// Sets the tint set (params[0]) of obj's geometry and of its descendants'
// and, unless firstLevel, of its later siblings' and theirs.
void SetTintSet(Object* obj, int set, bool firstLevel);

// The blend animation's side of object creation: a new BlendAnimation for obj
// running bundle (defined with blend animation; null until it is linked).
BlendAnimation* NewBlendAnimation(Object* obj, AnimBundle* bundle, u32 flags, int length, int animflags, int start);

// Model drawing (defined with the model drawer, ModelDraw.cpp).
//
// A skinned model's palette holds at most this many matrices (the first the
// identity), and its bone walk keeps at most this many pending siblings;
// larger hierarchies are cut, reported once.
constexpr int MDL_MAX_PALETTE = 128;
constexpr int MDL_MAX_BONE_STACK = 32;

// One model at mat: its opaque materials now when the current fade
// (rc.light_colour.w.w) is 1, nothing at fade 0, else the whole model is
// queued for the transparency pass; translucent materials are always queued.
void Draw(RenderContext& rc, MDLFILE* mf, MODEL* model, const Matrix& mat, const u8* params);
// The sibling chain from first under parent: hidden and culled objects are
// passed over; levels of detail by the top object's depth.
void DrawSubObj(RenderContext& rc, Object* first, const Matrix& parent, float depth);
// A skinned model: its palette from the bone objects below obj, the objects
// its bones carry drawn on the way.
void DrawSkinned(RenderContext& rc, Object* obj, GEOMETRY0* g, const Matrix& mat, float depth);
// The model's opaque shape into the depth buffer only.
void DrawToZBuff(const MODEL* model);
// Instanced drawing: the n matrices (object to world) go to vector-unit
// memory with SendInstanceMatrices in the open command block, then
// RenderInstances(n) makes the next MODEL::Render draw the model once per
// matrix.  At most MC2_MAX_INSTANCES (7); more are dropped, reported once.
void SendInstanceMatrices(const Matrix* mats, int n);
void RenderInstances(int n);
