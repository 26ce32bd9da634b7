// The game flow: the model-file and animation-group registries every object
// takes its data from, and the game controller's services over them (model
// slots for the mission steps, the ambient car and pedestrian models, the
// 24/7 venue and health-cart position tables).
//
// Model files are asked for by slot number, not by file name: the registry
// g_GlobalMFI holds 256 slots, each a model file streamed in from the disc
// and fixed up in place, shared by its users through a reference count.
// Slots 0..47 are members of the packed vehicle group; from 48 on each slot
// is one named file.  g_GlobalAGI holds the 32 animation groups, each with
// the sound bank of the same name.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Vector.h"

// ---------------------------------------------------------------------------
// Model files

// Where one member of a packed group lies in the group's data file.
struct MdlFileAccessInfo
{
    int iOffset;
    int iLength;
};
static_assert(sizeof(MdlFileAccessInfo) == 8);

// A packed group of model files: a directory file loaded whole and kept (the
// shared textures and the members' offsets), and a data file from which each
// member is streamed.  Only the vehicle group exists.
struct MdlFileGroup
{
    // Takes a directory that Check accepted: fixes it up (block offsets,
    // texture image pointers) and lists the members.
    MdlFileGroup(LayoutFile* file, const char* name);

    // True when the size-byte directory (block count already 6) can be taken
    // with a data file of dataSize bytes: every block inside the file, the
    // texture records and their images inside it and apart from the member
    // table, member offsets ascending and inside the data file.  Otherwise
    // prints why, naming what, and returns false.
    static bool Check(const LayoutFile* file, u32 size, u32 dataSize, const char* what);

    LayoutFile* file;
    const char* pszMdlfilesName;
    s16 i16NumTextures;
    s16 i16NumMdlfiles;
    Texture* textures;
    MdlFileAccessInfo* rmfai;
};

// A model file that arrives through the disc streamer.  header is the loaded
// block, null while there is none.
class StreamMdlFile : public MDLFILE
{
public:
    StreamMdlFile();

    // Starts streaming the named file into a new block; with wait, also
    // waits for it and fixes it up.  0 started (done when waiting), -1 busy
    // or the file cannot be opened or used, -2 no memory for the block.
    int Get(const char* name, bool wait);
    // The same for member `member` of a group; its shared textures fill the
    // member's texture references.
    int Get(MdlFileGroup& group, int member, bool wait);
    // Polls a running transfer (with wait: waits for it, the loading
    // callbacks running).  When the data has all arrived the stream is closed
    // and the block fixed up with shared[0..nShared): 1.  A block the model
    // file check refuses is freed and reported (the file stays absent): 0,
    // as when nothing finished.
    int Update(bool wait, Texture* shared, int nShared);

    bool IsIdle() const { return streamnum < 0; }

    u32 length;      // bytes of the block being or having been loaded
    u16 refs;        // kept by the registry
    s16 streamnum;   // streamer handle while a transfer runs; -2 none

private:
    int Start(const char* name, int offset, int size, bool wait, Texture* shared, int nShared);
};

// One registry slot.  The slot's address is the MDLFILE* handed to users.
struct MdlFileInfo
{
    StreamMdlFile smf;
    s16 i16Id;       // model id of the content, -1 none
    s16 i16Flags;    // MFI_*
    s16 i16Extra;    // the caller's value kept with the slot
    s16 i16Mirror;   // slot whose data this one shares, -1 none
};

// MdlFileInfo::i16Flags
enum {
    MFI_DELETEABLE = 0x1,      // freed by the next ClearDeleteableMF
    MFI_DELETEONZERO = 0x4,    // freed when the reference count reaches 0
    MFI_RECYCLE = 0x8,         // reserved for recycling by the ambient services
};

constexpr int MFI_NUMSLOTS = 256;
constexpr int MFI_NUMVEHICLESLOTS = 48;   // slots 0..47 are vehicle-group members

class GlobalMFI
{
public:
    GlobalMFI();

    // Loads and waits.  The id the slot already holds reloads nothing, but
    // flags replace the old ones and the count restarts at 0.  Vehicle ids
    // 37 and 38 load nothing: the slot mirrors the slot holding vehicle 27.
    // Returns the model file (the mirrored one for a mirror); it has no data
    // when the file could not be loaded.
    MDLFILE* LoadMF(int slot, const char* name, int id, int flags);
    // The slot's model file (the mirrored one for a mirror), null when it has
    // none; with addRef the slot's own count goes up.
    MDLFILE* GetMF(int slot, bool addRef);
    // The size in bytes of the model file GetMF hands out, 0 when none: the
    // bound of what a user may read from its header.
    u32 GetMFSize(int slot);
    // now: frees the slot's own block (a mirror frees nothing) and forgets
    // its content, keeping only MFI_RECYCLE; otherwise marks it deleteable.
    int DeleteMF(int slot, bool now);
    // Frees every loaded slot marked deleteable.
    int ClearDeleteableMF();
    // Frees an unreferenced loaded slot at once, else marks it to be freed
    // by the release that brings its count to 0.  Always true.
    bool SetDeleteOnZeroFlag(int slot);
    // The new count, -1 when the slot has no data; a release at 0 leaves 0.
    int IncrementRef(int slot);
    int DecrementRef(int slot);
    int IncrementRef(const MDLFILE* mf);
    int DecrementRef(const MDLFILE* mf);
    // The slot whose model file mf is, -1 for any other pointer.
    int GetIndex(const MDLFILE* mf) const;
    // The first loaded slot in first..last holding id that is neither
    // deleteable nor both delete-on-zero and reserved; -1 when none.
    int FindById(int id, int first, int last) const;
    // Asynchronous load and poll: the first call for an id starts the
    // transfer (name null: the character file GetModelFileName names) and
    // answers false; later calls answer true once the data is there.
    bool CheckAssetLoaded(int slot, int id, const char* name);
    // Polls the running transfers (every fourth world frame).
    void Update();
    // Once at start-up: loads the vehicle group's directory.  A missing or
    // malformed directory is reported and leaves no group.
    void LoadVehicleMdlFileGroup();

    MdlFileInfo& GetMFI(int slot) { return rgmfi[slot]; }
    int GetID(int slot) const { return rgmfi[slot].i16Id; }
    int GetExtra(int slot) const { return rgmfi[slot].i16Extra; }
    void SetExtra(int slot, int value) { rgmfi[slot].i16Extra = s16(value); }
    bool HasData(int slot) const { return rgmfi[slot].smf.HasData(); }

    MdlFileGroup* pmfgVehicles;
    MdlFileInfo rgmfi[MFI_NUMSLOTS];

private:
    int StartLoad(int slot, int id, const char* name, bool wait);
    int Poll(int slot, bool wait);
    void Settle(int slot);
    void FreeData(int slot);
};

extern GlobalMFI g_GlobalMFI;

// Files of the vehicle group.
extern const char szVehicleGroupDir[];
extern const char szVehicleGroupData[];

// One character model file: ids 64..166.
struct MdlFNInfo
{
    int iID;
    const char* pfName;
    int iFlags;
};

constexpr int NUM_MDLFNINFO = 103;
extern const MdlFNInfo rmfniMain[NUM_MDLFNINFO];

// The path of a character model id's file into buffer (bit 0x100 of the id:
// the low-detail version); null when the id's low byte names no character.
char* GetModelFileName(int id, char* buffer);

// ---------------------------------------------------------------------------
// Animation groups

enum AnimGroups {
    AnimGroup_NPCDefault,
    AnimGroup_NPCSprint,
    AnimGroup_NPCPistol,
    AnimGroup_NPCMGun,
    AnimGroup_NPCGuard,
    AnimGroup_DaceDefault,
    AnimGroup_DaceCombat,
    AnimGroup_DaceGuns,
    AnimGroup_DaceCar,
    AnimGroup_DaceStealth,
    AnimGroup_NPCKungFu,
    AnimGroup_NPCKarate,
    AnimGroup_NPCBoxer,
    AnimGroup_NPCBrawler,
    AnimGroup_NPCKnife,
    AnimGroup_NPCMaleCombat,
    AnimGroup_NPCFemaleCombat,
    AnimGroup_NPCPedDefault,
    AnimGroup_NPCPedFemale,
    AnimGroup_NPCPedHomie,
    AnimGroup_NPCPedHobo,
    AnimGroup_NPCPedSenior,
    AnimGroup_NPCPedSlut,
    AnimGroup_Mutant,
    AnimGroup_NumNamed,
};

constexpr int AGI_NUMSLOTS = 32;

// AnimGroupInfo::i16Flags
enum {
    AGI_DELETEABLE = 0x1,
    AGI_PERMANENT = 0x2,       // survives level teardown; its sound bank is permanent
    AGI_DELETEONZERO = 0x4,
};

struct AnimGroupInfo
{
    AnimGroup* pag;   // null: not loaded
    u16 i16Flags;
    u16 refs;         // loads beyond the first
    s16 sndbank;      // the group's sound bank, -1 none loaded yet
};

class GlobalAGI
{
public:
    GlobalAGI();

    // Loads the group (and, the first time, its sound bank); a loaded group
    // counts one more load.  The flags replace the old ones.  Null when the
    // file cannot be loaded, or the index names no group.
    AnimGroup* LoadAG(int index, short flags);
    // Frees the group; flags, count and sound bank stay.
    int DeleteAG(int index);
    int ClearDeleteableAG();
    // Frees every loaded group without AGI_PERMANENT (level teardown).
    int ClearNonPermanentAG();
    // The new count (0 stays 0), -1 when not loaded; the release to 0 of a
    // group marked AGI_DELETEONZERO frees it.
    int DecrementRef(int index);
    int DecrementRef(const AnimGroup* pag);
    int GetIndex(const AnimGroup* pag) const;
    // The base file name of a group, null for the unnamed slots.
    static const char* GetAnimGroupBaseFileName(int index);

    AnimGroupInfo& GetAGI(int index) { return rgagi[index]; }
    AnimGroup* GetAG(int index) const { return rgagi[index].pag; }
    int GetSoundBank(int index) const { return rgagi[index].sndbank; }

    AnimGroupInfo rgagi[AGI_NUMSLOTS];
};

extern GlobalAGI g_GlobalAGI;
extern const char* const AnimGroupFileNames[AnimGroup_NumNamed];

// ---------------------------------------------------------------------------
// The game controller

// A model id and the value kept with its slot.
struct ModelFileLoadInfo
{
    s16 i16ModelID;
    s16 i16Extra;
};

constexpr int NUM_AMBCARS = 6;
constexpr int NUM_AMBPEDS = 9;
extern const ModelFileLoadInfo rgmfliAmbCarsBase[NUM_AMBCARS];
extern const ModelFileLoadInfo rgmfliAmbPedsBase[NUM_AMBPEDS];

constexpr int iMaxHealthLocations = 12;
constexpr int iMaxDojo247Levels = 10;
constexpr int iMaxFRange247Levels = 7;
constexpr int iMaxRace247Levels = 9;

// The controller that carries the story.  Only the fields its model-slot and
// position-table services use are here so far, in their order among the
// controller's fields; the whole controller, an Object with its message
// handler and the story fields before and between these, lands with the game
// flow.
class GameController
{
public:
    GameController();

    // Model-file slots for the mission steps.  pFName null: the character
    // file of iMFID.
    int LoadMDLFile(const char* pFName, int iMFIndex, int iMFID, int iExtra);
    // As LoadMDLFile, but the player's current car model when there is one.
    int LoadDaceCarMDLFile(const char* pFName, int iMFIndex, int iMFID, int iExtra);
    int DestroyMDLFile(int iMFIndex, bool bImmediate);
    int LoadAnimGroup(int iAGIndex);
    int DestroyAnimGroup(int iAGIndex);

    // Fill the free ambient slots (cars 1..4, pedestrians 80..84) with
    // models chosen at random among those not already present.
    int LoadFillAmbientCars(int iStartMFIndex = 0, int iZone = 0);
    int LoadFillAmbientPeds(int iStartMFIndex = 0, int iZone = 0);
    // Gives up the least-used ambient slot (an empty one first): it is freed
    // when its last user lets go, and reserved meanwhile.  The slot, or -1.
    int FreeUpAmbientVehicleSlot();
    int FreeUpAmbientPedSlot();

    // Health-cart spots: the index used or freed, -1 when full / not found.
    int AddHealthLocation(VectorPos& vpPos);
    int RemoveHealthLocation(VectorPos& vpPos);
    // 24/7 venues: the level a venue position gave (the first free entry for
    // a new venue), and recording a venue at a level.
    int GetDojo247LevelNumber(VectorPos& vpPos);
    int SetDojo247LevelNumber(VectorPos& vpPos, int iLevelNumber);
    int GetFRange247LevelNumber(VectorPos& vpPos);
    int SetFRange247LevelNumber(VectorPos& vpPos, int iLevelNumber);
    int GetRace247LevelNumber(VectorPos& vpPos);
    int SetRace247LevelNumber(VectorPos& vpPos, int iLevelNumber);

    s16 i16CurrentDaceCar;                           // the player's current car type, -1 none
    Vector rvHealthLocations[iMaxHealthLocations];   // w 1.0: in use
    Vector rvDojo247Status[iMaxDojo247Levels];
    Vector rvFRange247Status[iMaxFRange247Levels];
    Vector rvRace247Status[iMaxRace247Levels];
};
