// Model files (".P2B"): the block directory, the loaded-file handle MDLFILE,
// the one-time fix-up that turns stored offsets into pointers, and the move
// that re-bases them when the heap relocates the block.
//
// A model file is read whole into one 16-byte aligned block and used in
// place.  It starts with a ModelHeader: a count and that many HeaderBlock
// descriptors, each naming a block by kind, its item count and the
// file-relative offset of its data.  MDLFILE::Init checks the whole file
// against its size first (every offset, count and reference, and that no two
// records that the fix-up writes overlap each other or anything else it
// reads), so a truncated or corrupted file is refused before a single word is
// changed; only then are the offsets fixed up and the material call lists
// patched.  The nodes, models and materials the file holds are in
// ZevEngine2/PS2/Model.h.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"

struct NODE;
struct MODEL;
struct COLLISION;
struct Occluder;
struct AnimBundle;
class Object;

enum _BLOCK_ENUM
{
    EX5_BLOCK_MODEL = 0,
    EX5_BLOCK_COLLISION = 1,
    EX5_BLOCK_TEXTURE = 2,
    EX5_BLOCK_ANIM = 3,
    EX5_BLOCK_NODE = 4,
    EX5_BLOCK_PARTICLE = 5,
    EX5_BLOCK_VERSION = 6,
    EX5_BLOCK_SHADOW = 7,
    EX5_BLOCK_OCCLUDER = 8,
    EX5_BLOCK_TOTAL = 9,
};

// Shadow models are taken only from files of this format version on, and only
// when the version block comes before the shadow block.
constexpr u32 MDL_SHADOW_VERSION = 51;

// One block descriptor.  data is a file-relative offset (0: no data) until
// ModelHeader::Fix makes it a pointer.
struct HeaderBlock
{
    u16 type;    // _BLOCK_ENUM; any other value is skipped
    u16 count;   // items in the block
    u32 data;

    void* Data() const { return (void*)(uintptr_t)data; }
};
static_assert(sizeof(HeaderBlock) == 8);

// The block directory at offset 0 of a model file (and of the city's layout
// and grid files).
struct ModelHeader
{
    u32 blockCount;
    HeaderBlock block[];

    // Adds the header's own address to every non-zero data offset.  Runs once
    // per loaded block.
    void Fix();
    // Every descriptor becomes type 0xFFFF, count 0, data 0.
    void Clear();
    // True when the directory fits in size bytes and every non-zero data
    // offset lies inside them; otherwise prints why (naming what) and returns
    // false.  For loaders of files that share the directory.
    bool Check(u32 size, const char* what) const;
};
static_assert(sizeof(ModelHeader) == 4 && offsetof(ModelHeader, block) == 4);

// The directory of the city's layout file and of the vehicle model group: a
// block count and always six descriptors (readers store 6 in blockCount
// after loading, whatever the file says).
struct LayoutFile
{
    u32 blockCount;
    HeaderBlock block[6];

    ModelHeader* Header() { return reinterpret_cast<ModelHeader*>(this); }
};
static_assert(sizeof(LayoutFile) == 52);

// A built-in animation of a node: flags and length, then an AnimBundle (id,
// stream count, stream offsets relative to the bundle; pointers after the
// fix-up).
struct AnimNode
{
    u16 flags;
    u16 length;
    u16 id;          // the bundle's head
    u16 numStreams;
    u32 streams[];   // offsets from the bundle (this + 4), pointers once fixed

    AnimBundle* Bundle() { return (AnimBundle*)((u8*)this + 4); }
};
static_assert(sizeof(AnimNode) == 8 && offsetof(AnimNode, streams) == 8);

// A particle texture entry: the frames lie one under another in the texture.
struct PS2Part
{
    u16 texIndex;
    u16 texWidth;
    u16 texHeight;
    u16 numFrames;
};
static_assert(sizeof(PS2Part) == 8);

// The handle of a loaded model file (52 bytes).  The owner loads the file,
// sets header (SetBuffer) and calls Init once; objects and drawers then read
// the file through it.
struct MDLFILE
{
    ModelHeader* header;
    NODE* nodes;
    MODEL** models;
    COLLISION** collisions;
    Texture* textures;
    Occluder* occluders;
    MODEL** shadows;
    AnimNode** anmfile;
    PS2Part* parts;
    void* user;
    s16 nNodes;
    s16 nModels;
    s16 nTextures;
    s16 nOccluders;
    int soundbank;

    // Checks and fixes up the size-byte block in header.  shared, when given,
    // is an array of nShared textures that the file's records with a negative
    // data word (-n - 1 names shared texture n) are filled from.  False, with
    // a message saying what is wrong and where, when the header is null or
    // the file is malformed: then nothing in the block or the handle has been
    // changed.  Must run once per loaded block (a second run is refused, as
    // the fixed-up pointers no longer read as offsets into the file).  The
    // message names the file by `name` when given, and says what becomes of
    // it (`then`, e.g. "it is dropped"); an empty name says nothing, for
    // files whose fault has been told once already.
    bool Init(u32 size, Texture* shared = nullptr, int nShared = 0, const char* name = nullptr,
              const char* then = nullptr);

    // The check Init makes, alone, changing nothing: true when the size-byte
    // file would be accepted; otherwise why (256 bytes) says what is wrong.
    static bool Check(const ModelHeader* file, u32 size, char* why);
    // The same check for a bare array of count texture records at the start
    // of a size-byte block, whose images lie at offsets from the array (the
    // shared textures of a model group).
    static bool CheckTextures(const void* array, u32 size, int count, char* why);

    // A shared texture array's owners count it in 16 bits: a record's data
    // word names one from -1 to -kMostSharedTextures, and the check refuses
    // a word below.
    static constexpr s32 kMostSharedTextures = 32768;

    // Fills the records that name a shared texture from shared[0..nShared):
    // the whole 40-byte record is copied, then format bit 0x8000 is set.  A
    // record whose texture is not in the array is left unresolved with format
    // 0, which drawers skip; it is reported once.
    void FixupSharedTextures(Texture* shared, int nShared);

    // Moves the size-byte block to dest (the areas may overlap) and re-bases
    // every pointer the fix-up made; shared-texture pointers are kept.  The
    // move callback of movable heap blocks.
    void MoveBuffer(void* dest, int size);

    // Owner's data.
    void* GetUser() const { return user; }
    void* CreateUser(int size);
    void FreeUser();
    void SetSoundBank(int bank) { soundbank = bank; }

    MODEL* GetModel(int i) const { return models[i]; }
    COLLISION* GetCollision(int i) const { return collisions != nullptr ? collisions[i] : nullptr; }
    Texture* GetTexture(int i) const { return &textures[i]; }
    NODE* GetNode(int i) const;
    PS2Part* GetParticle(int i) const { return &parts[i]; }
    MODEL* GetShadow(int i) const { return shadows[i]; }
    Occluder* GetOccluders() const { return occluders; }
    int NumNodes() const { return nNodes; }
    bool HasCollision() const { return collisions != nullptr; }
    bool HasData() const { return header != nullptr; }
    void SetBuffer(void* buffer) { header = (ModelHeader*)buffer; }

    // Objects from nodes (ZevEngine2/PS2/Model.cpp).
    //
    // The model an object made from node is drawn with: the node's model
    // number when it names one of the file's models, -1 for none.  Only the
    // drawn kinds of node have their number checked with the file, yet the
    // builders make objects of markers too; a number past the model table is
    // then said (once) and taken as none.
    int NodeGeometry(const NODE& node) const;
    //
    // One object for one node, without links: a light object for a light
    // node, a bone (at least 176 bytes) for a special node, otherwise size
    // bytes with the node's model as its GEOMETRY.
    Object* ObjectFromNode(NODE* node, u32 size);
    // Builds node index and, by flags, its siblings (each size bytes) and
    // descendants (plain 112-byte objects); see GETHIERARCHY_*.  Null for a
    // node that is not made into an object, an index outside the node block,
    // or no memory.
    Object* GetHierarchy(u16 index, u32 size, u32 flags);
    // Re-dresses obj from node index (geometry, collision, animation, radius)
    // and builds its children.
    Object* GetHierarchyTo(Object* obj, u16 index, u32 flags);

    // Node searches along sibling chains (0xFFFF ends a chain): the first
    // node from index on whose whole model word is model / whose extra is id;
    // null when none or index is 0xFFFF.
    NODE* FindNode1(u16 index, u16 model) const;
    NODE* FindNodeById1(u16 index, u16 id) const;
    // The same among the children of parent.
    NODE* FindNode(const NODE* parent, u16 model) const;
    NODE* FindNodeById(const NODE* parent, u16 id) const;
    // The index of the first child of node index whose type (model >> 12) is
    // type, or 0.
    int FindSpecialIndex(int index, int type) const;
};
static_assert(sizeof(MDLFILE) == 52);
static_assert(sizeof(Texture) == 40, "texture records are stored in model files");
static_assert(offsetof(MDLFILE, nNodes) == 40 && offsetof(MDLFILE, soundbank) == 48);
