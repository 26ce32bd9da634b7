// The model-file and animation-group registries, and the game controller's
// services over them.
#include "game/GameFlow.h"

#include <cstdarg>
#include <cstdio>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "game/Bystander.h"
#include "game/GameFEnt.h"
#include "game/QuadTree.h"
#include "game/RandCrimesGenerator.h"

GlobalMFI g_GlobalMFI;

SERVICECALLHOOK* g_pfnServiceCall;
int ServiceCall::depth;

ServiceCall::ServiceCall(const char* fmt, ...)
{
    if (depth++ != 0 || g_pfnServiceCall == nullptr)
        return;
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    g_pfnServiceCall(line);
}

const char* TraceStr(const char* s)
{
    // Quoted into one of a few buffers, so that a line may hold several.
    static char buf[4][128];
    static int next;
    if (s == nullptr)
        return "null";
    char* b = buf[next++ & 3];
    snprintf(b, sizeof buf[0], "\"%s\"", s);
    return b;
}
GlobalAGI g_GlobalAGI;

const char szVehicleGroupDir[] = "KORVALIS\\DemoData\\Veh\\VEHICLES.EXP";
const char szVehicleGroupData[] = "KORVALIS\\DemoData\\Veh\\VEHICLES.EXM";

// Block kinds of the vehicle group's directory.
enum {
    MFG_BLOCK_TEXTURES = 2,   // the shared textures
    MFG_BLOCK_MEMBERS = 4,    // count + 1 ascending offsets into the data file
};

// ---------------------------------------------------------------------------
// The packed group

namespace {

bool GroupRefused(const char* what, const char* why)
{
    printf("%s: refused: %s\n", what, why);
    return false;
}

}  // namespace

bool MdlFileGroup::Check(const LayoutFile* file, u32 size, u32 dataSize, const char* what, const char* dataName)
{
    char why[256];
    if (size < sizeof(LayoutFile))
    {
        sprintf(why, "the %u-byte file is shorter than its directory", size);
        return GroupRefused(what, why);
    }
    if (!reinterpret_cast<const ModelHeader*>(file)->Check(size, what))
        return false;

    // The records the fix-up writes (the directory, the texture records) and
    // the member table it reads must not share a byte, or fixing one would
    // corrupt another.
    struct Range
    {
        u32 at, len;
    } ranges[7] = {{0, sizeof(LayoutFile)}};
    int nranges = 1;
    bool textures = false, members = false;
    const u8* base = reinterpret_cast<const u8*>(file);
    for (int k = 0; k < 6; k++)
    {
        const HeaderBlock& b = file->block[k];
        if (b.type != MFG_BLOCK_TEXTURES && b.type != MFG_BLOCK_MEMBERS)
            continue;
        if (b.count > 0x7FFF)
        {
            sprintf(why, "block %d (type %u) has %u items; at most 32767 are allowed", k, b.type, b.count);
            return GroupRefused(what, why);
        }
        if (b.type == MFG_BLOCK_TEXTURES)
        {
            if (textures)
                return GroupRefused(what, "it has two texture blocks");
            textures = true;
            if (b.count == 0)
                continue;
            if (b.data == 0 || b.data % 16 != 0)
            {
                sprintf(why, "the texture block at 0x%X is missing or not 16-byte aligned", b.data);
                return GroupRefused(what, why);
            }
            char texwhy[256];
            if (!MDLFILE::CheckTextures(base + b.data, size - b.data, b.count, texwhy))
            {
                sprintf(why, "shared textures: %s", texwhy);
                return GroupRefused(what, why);
            }
            ranges[nranges++] = {b.data, 40u * b.count};
        }
        else
        {
            if (members)
                return GroupRefused(what, "it has two member tables");
            members = true;
            const u64 len = 4 * (u64(b.count) + 1);
            if (b.data == 0 || b.data % 4 != 0 || b.data + len > size)
            {
                sprintf(why, "the member table at 0x%X (%u members) does not lie inside the file's %u bytes",
                        b.data, b.count, size);
                return GroupRefused(what, why);
            }
            const u32* offsets = reinterpret_cast<const u32*>(base + b.data);
            for (int i = 1; i <= b.count; i++)
            {
                if (offsets[i] <= offsets[i - 1])
                {
                    sprintf(why, "member %d starts at 0x%X, not after member %d at 0x%X", i, offsets[i], i - 1,
                            offsets[i - 1]);
                    return GroupRefused(what, why);
                }
            }
            if (offsets[b.count] > dataSize)
            {
                snprintf(why, sizeof why, "the members end at 0x%X, past the %u bytes of %s", offsets[b.count],
                         dataSize, dataName);
                return GroupRefused(what, why);
            }
            ranges[nranges++] = {b.data, u32(len)};
        }
    }
    if (!members)
        return GroupRefused(what, "it has no member table");
    for (int i = 0; i < nranges; i++)
    {
        for (int j = i + 1; j < nranges; j++)
        {
            if (ranges[i].at < ranges[j].at + ranges[j].len && ranges[j].at < ranges[i].at + ranges[i].len)
            {
                sprintf(why, "the records at 0x%X and 0x%X overlap", ranges[i].at, ranges[j].at);
                return GroupRefused(what, why);
            }
        }
    }
    return true;
}

MdlFileGroup::MdlFileGroup(LayoutFile* file_, const char* name)
    : file(file_), pszMdlfilesName(name), i16NumTextures(0), i16NumMdlfiles(0), textures(nullptr), rmfai(nullptr)
{
    file->Header()->Fix();
    for (const HeaderBlock& b : file->block)
    {
        if (b.type == MFG_BLOCK_TEXTURES)
        {
            i16NumTextures = s16(b.count);
            textures = static_cast<Texture*>(b.Data());
            // Image offsets are from the start of the texture block.
            for (int i = 0; i < b.count; i++)
                textures[i].data = (void*)((uintptr_t)textures[i].data + (uintptr_t)textures);
        }
        else if (b.type == MFG_BLOCK_MEMBERS && b.count > 0)
        {
            const u32* offsets = static_cast<const u32*>(b.Data());
            rmfai = static_cast<MdlFileAccessInfo*>(malloc_align(sizeof(MdlFileAccessInfo) * b.count, 16));
            if (rmfai == nullptr)
            {
                printf("MdlFileGroup: no memory for the %u members of %s\n", b.count, name);
                continue;
            }
            i16NumMdlfiles = s16(b.count);
            for (int i = 0; i < b.count; i++)
                rmfai[i] = {int(offsets[i]), int(offsets[i + 1] - offsets[i])};
        }
    }
}

// ---------------------------------------------------------------------------
// Streamed model files

StreamMdlFile::StreamMdlFile() : MDLFILE{}, length(0), refs(0), streamnum(-2), refused(false), name{}
{
}

int StreamMdlFile::Start(const char* name, int offset, int size, bool wait, Texture* shared, int nShared)
{
    if (streamnum >= 0)
        return -1;
    refused = false;
    int handle = StreamerOpen(name, offset);
    if (handle < 0)
    {
        streamnum = -2;
        printf("StreamMdlFile: %s cannot be opened\n", name);
        return -1;
    }
    if (size < 0)
        size = StreamerTotalLength(handle);
    if (size <= 0)
    {
        StreamerClose(handle);
        streamnum = -2;
        refused = true;
        printf("StreamMdlFile: %s is empty\n", name);
        return -1;
    }
    // Whole quadwords: the streamer delivers to main memory in quadwords.
    void* buffer = malloc_align((u32(size) + 15) & ~15u, 64);
    if (buffer == nullptr)
    {
        // Nothing will arrive, so the stream is closed at once.
        StreamerClose(handle);
        streamnum = -2;
        return -2;
    }
    streamnum = s16(handle);
    length = u32(size);
    if (offset == 0)
        snprintf(this->name, sizeof this->name, "%s", name);
    else
        snprintf(this->name, sizeof this->name, "%s at 0x%x", name, unsigned(offset));
    SetBuffer(buffer);
    // No dirty cache line over the block may be written back over the data.
    FlushCache(0);
    StreamerTransfer(handle, buffer, size);
    if (wait)
        Update(true, shared, nShared);
    return 0;
}

int StreamMdlFile::Get(const char* name, bool wait)
{
    return Start(name, 0, -1, wait, nullptr, 0);
}

int StreamMdlFile::Get(MdlFileGroup& group, int member, bool wait)
{
    if (streamnum >= 0)
        return -1;
    if (member < 0 || member >= group.i16NumMdlfiles)
    {
        printf("StreamMdlFile: %s has no member %d (%d members)\n", group.pszMdlfilesName, member,
               group.i16NumMdlfiles);
        return -1;
    }
    const MdlFileAccessInfo& a = group.rmfai[member];
    return Start(group.pszMdlfilesName, a.iOffset, a.iLength, wait, group.textures, group.i16NumTextures);
}

int StreamMdlFile::Update(bool wait, Texture* shared, int nShared)
{
    if (streamnum < 0)
        return 0;
    if (StreamerBytesPending(streamnum, false) >= 1)
    {
        if (!wait)
            return 0;
        // The loading screen keeps drawing while the data arrives.
        LoadingCallback::Wait(streamnum);
    }
    StreamerClose(streamnum);
    streamnum = -2;
    FlushCache(0);
    // The check says why it refuses the file, unless that file's refusal
    // was said already this run ("" keeps it quiet).
    const bool said = RefusalSaid();
    if (!Init(length, shared, nShared, said ? "" : name, "it is dropped"))
    {
        NoteRefusal();
        free(header);
        header = nullptr;
        refused = true;
        return 0;
    }
    // A file of no blocks (zeroed) passes the check as an empty one, but
    // holds nothing any user of the registry could take: the character or
    // gun made from it would have no body.
    if (header->blockCount == 0)
    {
        if (!said)
            printf("StreamMdlFile: %s holds no blocks; it is dropped\n", name);
        NoteRefusal();
        free(header);
        header = nullptr;
        refused = true;
        return 0;
    }
    return 1;
}

namespace
{

// The files whose refusal has been said this run.  A damaged file that many
// loads read (a vehicle group whose members come and go with the traffic) is
// said once, not at every load.
constexpr int kRefusalsSaid = 16;
char g_rgszRefusalSaid[kRefusalsSaid][48];
int g_nRefusalsSaid;

}  // namespace

void StreamMdlFile::ForgetRefusals()
{
    g_nRefusalsSaid = 0;
}

namespace
{

// The length of the file's part of a slot's name: a group member's name is
// its group's file " at 0x...".
size_t FilePartOf(const char* name)
{
    const char* at = strstr(name, " at 0x");
    return at != nullptr ? size_t(at - name) : strlen(name);
}

}  // namespace

bool StreamMdlFile::RefusalSaid() const
{
    const size_t len = FilePartOf(name);
    for (int i = 0; i < g_nRefusalsSaid; i++)
        if (strlen(g_rgszRefusalSaid[i]) == len && strncmp(g_rgszRefusalSaid[i], name, len) == 0)
            return true;
    return false;
}

void StreamMdlFile::NoteRefusal() const
{
    if (g_nRefusalsSaid < kRefusalsSaid && !RefusalSaid())
    {
        snprintf(g_rgszRefusalSaid[g_nRefusalsSaid], sizeof g_rgszRefusalSaid[0], "%.*s", int(FilePartOf(name)), name);
        g_nRefusalsSaid++;
    }
}

// ---------------------------------------------------------------------------
// The model-file registry

GlobalMFI::GlobalMFI() : pmfgVehicles(nullptr)
{
    for (MdlFileInfo& m : rgmfi)
    {
        new (&m.smf) StreamMdlFile();
        m.i16Id = -1;
        m.i16Flags = 0;
        m.i16Extra = 0;
        m.i16Mirror = -1;
    }
}

// Polls the slot's transfer; vehicle members take the group's textures.
int GlobalMFI::Poll(int slot, bool wait)
{
    StreamMdlFile& smf = rgmfi[slot].smf;
    if (slot < MFI_NUMVEHICLESLOTS && pmfgVehicles != nullptr)
        return smf.Update(wait, pmfgVehicles->textures, pmfgVehicles->i16NumTextures);
    return smf.Update(wait, nullptr, 0);
}

// A transfer still running on the slot is finished before its block is
// freed or replaced: the streamer would go on writing into it.
void GlobalMFI::Settle(int slot)
{
    Poll(slot, true);
}

// The frame chains send a model's call lists and vertex data by reference:
// a block drawn this frame or the last is still read by DMA after the game
// has given it up, so it is freed only once those chains have been drawn (a
// block freed at once was soon written over, and the chain sent the new
// contents to the vector unit as commands).
void GlobalMFI::FreeData(int slot)
{
    StreamMdlFile& smf = rgmfi[slot].smf;
    Settle(slot);
    Retire(smf.header);
    smf.header = nullptr;
}

void GlobalMFI::Retire(void* block)
{
    ReleaseRetired();
    if (block == nullptr)
        return;
    const DrawFence fence = Platform::PlaceFence();
    if (Platform::FencePassed(fence))
        free(block);
    else
        retired.push_back(Retired{block, fence});
}

int GlobalMFI::ReleaseRetired()
{
    size_t kept = 0;
    for (const Retired& r : retired)
    {
        if (Platform::FencePassed(r.fence))
            free(r.block);
        else
            retired[kept++] = r;
    }
    retired.resize(kept);
    return int(kept);
}

int GlobalMFI::StartLoad(int slot, int id, const char* name, bool wait)
{
    StreamMdlFile& smf = rgmfi[slot].smf;
    ReleaseRetired();
    if (slot < MFI_NUMVEHICLESLOTS)
    {
        if (pmfgVehicles == nullptr)
        {
            printf("GlobalMFI: vehicle %d cannot be loaded: there is no vehicle group\n", id);
            return -1;
        }
        return smf.Get(*pmfgVehicles, id, wait);
    }
    char path[64];
    if (name == nullptr)
        name = GetModelFileName(id, path);
    if (name == nullptr)
    {
        printf("GlobalMFI: model id %d names no file\n", id);
        return -1;
    }
    return smf.Get(name, wait);
}

MDLFILE* GlobalMFI::LoadMF(int slot, const char* name, int id, int flags)
{
    MdlFileInfo& m = rgmfi[slot];
    Settle(slot);
    if (!(m.smf.HasData() && m.i16Id == s16(id)))
    {
        if (m.smf.HasData())
        {
            FreeData(slot);
            m.i16Id = -1;
        }
        m.i16Mirror = -1;
        if (slot < MFI_NUMVEHICLESLOTS && (id == 37 || id == 38))
            // These two vehicles share the model of vehicle 27.
            m.i16Mirror = s16(FindById(27, 0, MFI_NUMVEHICLESLOTS - 1));
        else
            StartLoad(slot, id, name, true);
    }
    m.i16Id = s16(id);
    m.i16Flags = s16(flags);
    m.smf.refs = 0;
    return m.i16Mirror >= 0 ? &rgmfi[m.i16Mirror].smf : &m.smf;
}

MDLFILE* GlobalMFI::GetMF(int slot, bool addRef)
{
    MdlFileInfo& m = rgmfi[slot];
    // A block still arriving is not fixed up yet: it is not handed out.
    const bool loaded = m.smf.HasData() && m.smf.IsIdle();
    if (m.i16Mirror < 0 && !loaded)
        return nullptr;
    if (addRef)
        m.smf.refs++;
    return loaded ? &m.smf : &rgmfi[m.i16Mirror].smf;
}

u32 GlobalMFI::GetMFSize(int slot)
{
    const StreamMdlFile* smf = static_cast<StreamMdlFile*>(GetMF(slot, false));
    // A mirror of a slot since emptied hands out a file without data.
    return smf != nullptr && smf->HasData() ? smf->length : 0;
}

int GlobalMFI::DeleteMF(int slot, bool now)
{
    MdlFileInfo& m = rgmfi[slot];
    if (!now)
    {
        m.i16Flags |= MFI_DELETEABLE;
        return 0;
    }
    if (m.i16Mirror < 0)
        FreeData(slot);
    m.i16Flags &= MFI_RECYCLE;
    m.i16Mirror = -1;
    m.i16Id = -1;
    return 0;
}

int GlobalMFI::ClearDeleteableMF()
{
    for (int slot = 0; slot < MFI_NUMSLOTS; slot++)
    {
        MdlFileInfo& m = rgmfi[slot];
        if (m.smf.HasData() && (m.i16Flags & MFI_DELETEABLE))
        {
            FreeData(slot);
            m.i16Flags = 0;
            m.i16Id = -1;
            m.i16Mirror = -1;
        }
    }
    return 0;
}

bool GlobalMFI::SetDeleteOnZeroFlag(int slot)
{
    if (slot < 0)
        return true;
    MdlFileInfo& m = rgmfi[slot];
    if (m.smf.refs == 0 && m.smf.HasData())
        DeleteMF(slot, true);
    else
        m.i16Flags |= MFI_DELETEONZERO;
    return true;
}

int GlobalMFI::IncrementRef(int slot)
{
    StreamMdlFile& smf = rgmfi[slot].smf;
    if (!smf.HasData())
        return -1;
    return ++smf.refs;
}

int GlobalMFI::DecrementRef(int slot)
{
    MdlFileInfo& m = rgmfi[slot];
    if (!m.smf.HasData())
        return -1;
    // A release of an unreferenced slot changes nothing: the count does not
    // wrap round to 65535 and keep the slot for ever.
    if (m.smf.refs > 0)
        m.smf.refs--;
    if (m.smf.refs == 0 && (m.i16Flags & MFI_DELETEONZERO))
        DeleteMF(slot, true);
    return m.smf.refs;
}

int GlobalMFI::IncrementRef(const MDLFILE* mf)
{
    int slot = GetIndex(mf);
    return slot < 0 ? -1 : IncrementRef(slot);
}

int GlobalMFI::DecrementRef(const MDLFILE* mf)
{
    int slot = GetIndex(mf);
    return slot < 0 ? -1 : DecrementRef(slot);
}

int GlobalMFI::GetIndex(const MDLFILE* mf) const
{
    const uintptr_t d = (uintptr_t)mf - (uintptr_t)&rgmfi[0].smf;
    if (d % sizeof(MdlFileInfo) != 0 || d / sizeof(MdlFileInfo) >= MFI_NUMSLOTS)
        return -1;
    return int(d / sizeof(MdlFileInfo));
}

int GlobalMFI::FindById(int id, int first, int last) const
{
    for (int slot = first; slot <= last; slot++)
    {
        const MdlFileInfo& m = rgmfi[slot];
        if (m.smf.HasData() && m.smf.IsIdle() && m.i16Id == s16(id) && !(m.i16Flags & MFI_DELETEABLE) &&
            (m.i16Flags & (MFI_DELETEONZERO | MFI_RECYCLE)) != (MFI_DELETEONZERO | MFI_RECYCLE))
            return slot;
    }
    return -1;
}

bool GlobalMFI::CheckAssetLoaded(int slot, int id, const char* name)
{
    if (slot < 0)
        return true;
    MdlFileInfo& m = rgmfi[slot];
    if (m.i16Id != s16(id))
    {
        // A busy or occupied slot is left alone.
        if (m.smf.IsIdle() && !m.smf.HasData())
        {
            m.i16Id = s16(id);
            m.i16Extra = 0;
            StartLoad(slot, id, name, false);
        }
        return false;
    }
    const StreamMdlFile& smf = rgmfi[m.i16Mirror >= 0 ? m.i16Mirror : slot].smf;
    return smf.IsIdle() && smf.HasData();
}

void GlobalMFI::Update()
{
    ReleaseRetired();
    for (int slot = 0; slot < MFI_NUMSLOTS; slot++)
    {
        if (rgmfi[slot].smf.streamnum >= 0)
            Poll(slot, false);
    }
}

void GlobalMFI::LoadVehicleMdlFileGroup()
{
    if (pmfgVehicles != nullptr)
        return;
    unsigned size = 0;
    LayoutFile* file = static_cast<LayoutFile*>(FileLoad(szVehicleGroupDir, &size));
    if (file == nullptr)
    {
        printf("GlobalMFI: %s cannot be loaded; there are no vehicles\n", szVehicleGroupDir);
        return;
    }
    const int data = StreamerOpen(szVehicleGroupData, 0);
    if (data < 0)
    {
        printf("GlobalMFI: %s cannot be opened; there are no vehicles\n", szVehicleGroupData);
        free(file);
        return;
    }
    const u32 dataSize = u32(StreamerTotalLength(data));
    StreamerClose(data);
    if (size >= sizeof(LayoutFile))
        file->blockCount = 6;
    void* group = malloc_align(sizeof(MdlFileGroup), 16);
    if (!MdlFileGroup::Check(file, size, dataSize, szVehicleGroupDir, szVehicleGroupData) || group == nullptr)
    {
        printf("GlobalMFI: there are no vehicles\n");
        free(group);
        free(file);
        return;
    }
    pmfgVehicles = new (group) MdlFileGroup(file, szVehicleGroupData);
}

// ---------------------------------------------------------------------------
// Character model files

const MdlFNInfo rmfniMain[NUM_MDLFNINFO] = {
    {64, "DACE.P2B", 0}, {65, "CHR065.P2B", 0}, {66, "CHR066.P2B", 0}, {67, "CHR067.P2B", 0},
    {68, "ASIABGRL.P2B", 0}, {69, "CHR069.P2B", 0}, {70, "CHR070.P2B", 0}, {71, "CHR071.P2B", 0},
    {72, "ASIANMOM.P2B", 0}, {73, "CHR073.P2B", 0}, {74, "ASIANPOP.P2B", 0}, {75, "CHR075.P2B", 0},
    {76, "CHR076.P2B", 0}, {77, "APOPOLD.P2B", 0}, {78, "CHR078.P2B", 0}, {79, "ASIANTHG.P2B", 0},
    {80, "CHR080.P2B", 0}, {81, "CHR081.P2B", 0}, {82, "CHR082.P2B", 0}, {83, "CHR083.P2B", 0},
    {84, "CHR084.P2B", 0}, {85, "BCHVNSKT.P2B", 0}, {86, "CHR086.P2B", 0}, {87, "BIKER.P2B", 0},
    {88, "CHR088.P2B", 0}, {89, "CHR089.P2B", 0}, {90, "CHR090.P2B", 0}, {91, "BOXER.P2B", 0},
    {92, "CHR092.P2B", 0}, {93, "CHR093.P2B", 0}, {94, "BUM.P2B", 0}, {95, "BSNSMAN.P2B", 0},
    {96, "CHR096.P2B", 0}, {97, "CHR097.P2B", 0}, {98, "CHR098.P2B", 0}, {99, "CHR099.P2B", 0},
    {100, "CHBBYCOP.P2B", 0}, {101, "CHR101.P2B", 0}, {102, "COMMANDO.P2B", 0}, {103, "CHR103.P2B", 0},
    {104, "CHR104.P2B", 0}, {105, "DEMON.P2B", 0}, {106, "CHR106.P2B", 0}, {107, "DRAGON.P2B", 0},
    {108, "CHR108.P2B", 0}, {109, "GANGSTA.P2B", 0}, {110, "CHR110.P2B", 0}, {111, "GARDENER.P2B", 0},
    {112, "GARDDLVR.P2B", 0}, {113, "CHR113.P2B", 0}, {114, "GIRLFRND.P2B", 0}, {115, "GRLFHOOK.P2B", 0},
    {116, "GRANDPA.P2B", 0}, {117, "CHR117.P2B", 0}, {118, "HIPSTER.P2B", 0}, {119, "CHR119.P2B", 0},
    {120, "HOOKER.P2B", 0}, {121, "HOOKLATN.P2B", 0}, {122, "CHR122.P2B", 0}, {123, "CHR123.P2B", 0},
    {124, "CHR124.P2B", 0}, {125, "CHR125.P2B", 0}, {126, "MRKTNGGY.P2B", 0}, {127, "CHR127.P2B", 0},
    {128, "CHR128.P2B", 0}, {129, "MECHANIC.P2B", 0}, {130, "CHR130.P2B", 0}, {131, "CHR131.P2B", 0},
    {132, "CHR132.P2B", 0}, {133, "CHR133.P2B", 0}, {134, "CHR134.P2B", 0}, {135, "MUTANT.P2B", 0},
    {136, "PARAMEDC.P2B", 0}, {137, "CHR137.P2B", 0}, {138, "PIMP.P2B", 0}, {139, "CHR139.P2B", 0},
    {140, "POLICEMN.P2B", 0}, {141, "PLCMNHIS.P2B", 0}, {142, "CHR142.P2B", 0}, {143, "CHR143.P2B", 0},
    {144, "CHR144.P2B", 0}, {145, "CHR145.P2B", 0}, {146, "CHR146.P2B", 0}, {147, "CHR147.P2B", 0},
    {148, "CHR148.P2B", 0}, {149, "CHR149.P2B", 0}, {150, "CHR150.P2B", 0}, {151, "CHR151.P2B", 0},
    {152, "CHR152.P2B", 0}, {153, "STRETPNK.P2B", 0}, {154, "STPNKBLK.P2B", 0}, {155, "STPNKHIS.P2B", 0},
    {156, "CHR156.P2B", 0}, {157, "CHR157.P2B", 0}, {158, "SUPERMDL.P2B", 0}, {159, "SPRMDLWT.P2B", 0},
    {160, "SWAT.P2B", 0}, {161, "SWATMLTA.P2B", 0}, {162, "CHR162.P2B", 0}, {163, "TGUYBLCK.P2B", 0},
    {164, "UPSCLWMN.P2B", 0}, {165, "CHR165.P2B", 0}, {166, "WRESTLER.P2B", 0},
};

char* GetModelFileName(int id, char* buffer)
{
    const int key = id & 0xFF;
    int low = 0, high = NUM_MDLFNINFO - 1;
    while (low <= high)
    {
        const int mid = (low + high) / 2;
        if (rmfniMain[mid].iID == key)
        {
            strcpy(buffer, (id & 0x100) ? "KORVALIS\\DemoData\\Lreschar\\" : "KORVALIS\\DemoData\\Char\\");
            strcat(buffer, rmfniMain[mid].pfName);
            return buffer;
        }
        if (rmfniMain[mid].iID < key)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// The animation-group registry

const char* const AnimGroupFileNames[AnimGroup_NumNamed] = {
    "NPCDEF",   "NPCSPR",   "NPCPSTL",  "NPCMGUN",  "NPCGUARD", "DACEDEF",  "DACECOMB", "DACEGUNS",
    "DACECAR",  "DACESTL",  "NPCKNGFU", "NPCKARAT", "NPCBOXER", "NPCBRWLR", "NPCKNIFE", "NPCMCOMB",
    "NPCFCOMB", "NPCPDEF",  "NPCPFEM",  "NPCPHOBO", "NPCPHOM",  "NPCPSEN",  "NPCPSLUT", "MUTANT",
};

GlobalAGI::GlobalAGI()
{
    for (AnimGroupInfo& a : rgagi)
        a = {nullptr, 0, 0, -1, false};
}

const char* GlobalAGI::GetAnimGroupBaseFileName(int index)
{
    return index >= 0 && index < AnimGroup_NumNamed ? AnimGroupFileNames[index] : nullptr;
}

AnimGroup* GlobalAGI::LoadAG(int index, short flags)
{
    const char* base = GetAnimGroupBaseFileName(index);
    if (base == nullptr)
    {
        printf("GlobalAGI: animation group %d has no file\n", index);
        return nullptr;
    }
    AnimGroupInfo& a = rgagi[index];
    if (a.pag != nullptr)
    {
        a.i16Flags = u16(flags);
        a.refs++;
        return a.pag;
    }
    static char path[64];
    sprintf(path, "KORVALIS\\DemoData\\Char\\%s.ANI", base);
    a.pag = LoadAndFixUpAnimGroup(path, &a.refused);
    // A named group is a character's moves: one of no animations (its
    // file zeroed) would leave every move its users ask for out, each said
    // without the file's name.  It is refused here, once, by that name.
    if (a.pag != nullptr && a.pag->count == 0)
    {
        printf("GlobalAGI: %s holds no animations; it is dropped\n", path);
        free(a.pag);
        a.pag = nullptr;
        a.refused = true;
    }
    // The bank is loaded once: a group loaded again later keeps it.
    if (a.sndbank == -1)
    {
        sprintf(path, "KORVALIS\\DemoData\\Vags\\%s.SND", base);
        a.sndbank = s16(sound.LoadSoundBank(path, (flags & AGI_PERMANENT) != 0));
    }
    a.i16Flags = u16(flags);
    a.refs = 0;
    return a.pag;
}

int GlobalAGI::DeleteAG(int index)
{
    free(rgagi[index].pag);
    rgagi[index].pag = nullptr;
    return 0;
}

int GlobalAGI::ClearDeleteableAG()
{
    for (AnimGroupInfo& a : rgagi)
    {
        if (a.pag != nullptr && (a.i16Flags & AGI_DELETEABLE))
        {
            free(a.pag);
            a.pag = nullptr;
            a.i16Flags = 0;
        }
    }
    return 0;
}

int GlobalAGI::ClearNonPermanentAG()
{
    for (AnimGroupInfo& a : rgagi)
    {
        if (a.pag != nullptr && !(a.i16Flags & AGI_PERMANENT))
        {
            free(a.pag);
            a.pag = nullptr;
            a.i16Flags = 0;
        }
    }
    return 0;
}

int GlobalAGI::DecrementRef(int index)
{
    AnimGroupInfo& a = rgagi[index];
    if (a.pag == nullptr)
        return -1;
    if (a.refs > 0)
        a.refs--;
    if (a.refs == 0 && (a.i16Flags & AGI_DELETEONZERO))
        DeleteAG(index);
    return a.refs;
}

int GlobalAGI::DecrementRef(const AnimGroup* pag)
{
    int index = GetIndex(pag);
    return index < 0 ? -1 : DecrementRef(index);
}

int GlobalAGI::GetIndex(const AnimGroup* pag) const
{
    if (pag == nullptr)
        return -1;
    for (int i = 0; i < AGI_NUMSLOTS; i++)
    {
        if (rgagi[i].pag == pag)
            return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// The game controller: model-file slots and ambient models

const ModelFileLoadInfo rgmfliAmbCarsBase[NUM_AMBCARS] = {
    {10, 10}, {17, 5}, {21, 7}, {23, 10}, {24, 10}, {33, 10},
};

const ModelFileLoadInfo rgmfliAmbPedsBase[NUM_AMBPEDS] = {
    {330, 10}, {350, 10}, {351, 10}, {365, 10}, {368, 10}, {372, 10}, {376, 10}, {382, 10}, {420, 10},
};

int GameController::LoadMDLFile(const char* pFName, int iMFIndex, int iMFID, int iExtra)
{
    GC_SERVICE("LoadMDLFile(%s, %d, %d, %d)", TraceStr(pFName), iMFIndex, iMFID, iExtra);
    char path[64];
    const char* name = pFName != nullptr ? pFName : GetModelFileName(iMFID, path);
    g_GlobalMFI.LoadMF(iMFIndex, name, iMFID, 0);
    g_GlobalMFI.SetExtra(iMFIndex, iExtra);
    if (g_GlobalMFI.IsRefused(iMFIndex))
        pszDataRefused = "a model of its cast";
    return 0;
}

int GameController::LoadDaceCarMDLFile(const char* pFName, int iMFIndex, int iMFID, int iExtra)
{
    GC_SERVICE("LoadDaceCarMDLFile(%s, %d, %d, %d)", TraceStr(pFName), iMFIndex, iMFID, iExtra);
    return LoadMDLFile(pFName, iMFIndex, i16CurrentDaceCar >= 0 ? i16CurrentDaceCar : iMFID, iExtra);
}

int GameController::DestroyMDLFile(int iMFIndex, bool bImmediate)
{
    GC_SERVICE("DestroyMDLFile(%d, %s)", iMFIndex, TraceBool(bImmediate));
    return g_GlobalMFI.DeleteMF(iMFIndex & 255, bImmediate);
}

int GameController::LoadAnimGroup(int iAGIndex)
{
    GC_SERVICE("LoadAnimGroup(%d)", iAGIndex);
    g_GlobalAGI.LoadAG(iAGIndex, 0);
    if (g_GlobalAGI.IsRefused(iAGIndex))
        pszDataRefused = "an animation group";
    return 0;
}

int GameController::DestroyAnimGroup(int iAGIndex)
{
    GC_SERVICE("DestroyAnimGroup(%d)", iAGIndex);
    return g_GlobalAGI.DeleteAG(iAGIndex);
}

namespace {

// The ambient slots of one kind and the models they take.
struct AmbientSlots
{
    int firstSeen, lastSeen;   // slots looked at for models already present
    int first, last;           // slots filled and given up
    const ModelFileLoadInfo* rows;
    int nrows;
    bool peds;
};

constexpr AmbientSlots kAmbientCars = {1, 7, 1, 4, rgmfliAmbCarsBase, NUM_AMBCARS, false};
constexpr AmbientSlots kAmbientPeds = {80, 84, 80, 84, rgmfliAmbPedsBase, NUM_AMBPEDS, true};

}  // namespace

int SlotModelId(int slot)
{
    const MdlFileInfo& m = g_GlobalMFI.GetMFI(slot);
    if ((m.i16Flags & MFI_DELETEABLE) || (m.i16Mirror < 0 && !m.smf.HasData()))
        return -1;
    return m.i16Id;
}

namespace {

// What two models are told apart by: a car's model id, a pedestrian's index
// (the low byte of its id less 64); -1 for none.
int ModelKey(int id, bool peds)
{
    if (id < 0)
        return -1;
    if (!peds)
        return id;
    const int index = (id & 0xFF) - 64;
    return index >= 0 && index < 128 ? index : -1;
}

int FillAmbientSlots(GameController& gc, const AmbientSlots& a)
{
    // Marks over every key that can occur (16-bit ids).
    static u32 inuse[0x8000 / 32];
    memset(inuse, 0, sizeof inuse);
    bool holds[8] = {};
    for (int slot = a.firstSeen; slot <= a.lastSeen; slot++)
    {
        const int key = ModelKey(SlotModelId(slot), a.peds);
        if (key >= 0)
            inuse[key / 32] |= 1u << (key % 32);
        if (slot >= a.first && slot <= a.last)
            holds[slot - a.first] = key >= 0;
    }
    bool taken[NUM_AMBPEDS] = {};
    int available = a.nrows;
    for (int r = 0; r < a.nrows; r++)
    {
        const int key = ModelKey(a.rows[r].i16ModelID, a.peds);
        if (inuse[key / 32] & (1u << (key % 32)))
        {
            taken[r] = true;
            available--;
        }
    }
    for (int slot = a.first; slot <= a.last && available > 0; slot++)
    {
        if (holds[slot - a.first] || (g_GlobalMFI.GetMFI(slot).i16Flags & (MFI_DELETEONZERO | MFI_RECYCLE)))
            continue;
        int r = int((s64(rand()) * a.nrows) >> 31);
        while (taken[r])
            r = (r + 1) % a.nrows;
        gc.LoadMDLFile(nullptr, slot, a.rows[r].i16ModelID, a.rows[r].i16Extra);
        taken[r] = true;
        available--;
    }
    return 0;
}

int FreeUpAmbientSlot(const AmbientSlots& a)
{
    int choice = -1, lowest = 32767;
    for (int slot = a.first; slot <= a.last; slot++)
    {
        const MdlFileInfo& m = g_GlobalMFI.GetMFI(slot);
        if (m.smf.HasData())
        {
            if (!(m.i16Flags & (MFI_DELETEONZERO | MFI_RECYCLE)) && m.smf.refs < lowest)
            {
                choice = slot;
                lowest = m.smf.refs;
            }
        }
        else if (!(m.i16Flags & MFI_RECYCLE))
        {
            // An empty slot beats every loaded one after it.
            choice = slot;
            lowest = 0;
        }
    }
    if (choice < 0)
        return -1;
    g_GlobalMFI.SetDeleteOnZeroFlag(choice);
    g_GlobalMFI.GetMFI(choice).i16Flags |= MFI_RECYCLE;
    return choice;
}

}  // namespace

int GameController::LoadFillAmbientCars(int iStartMFIndex, int iZone)
{
    GC_SERVICE("LoadFillAmbientCars(%d, %d)", iStartMFIndex, iZone);
    return FillAmbientSlots(*this, kAmbientCars);
}

int GameController::LoadFillAmbientPeds(int iStartMFIndex, int iZone)
{
    GC_SERVICE("LoadFillAmbientPeds(%d, %d)", iStartMFIndex, iZone);
    return FillAmbientSlots(*this, kAmbientPeds);
}

int GameController::FreeUpAmbientVehicleSlot()
{
    return FreeUpAmbientSlot(kAmbientCars);
}

int GameController::FreeUpAmbientPedSlot()
{
    return FreeUpAmbientSlot(kAmbientPeds);
}

// ---------------------------------------------------------------------------
// The game controller: health-cart spots and 24/7 venues

namespace {

// Two positions closer than about 0.039 units are the same spot.
constexpr float kSameSpotSq = 0.00152587890625f;

bool SameSpot(const Vector& v, const VectorPos& p)
{
    const float dx = v.v[0] - p.v[0], dy = v.v[1] - p.v[1], dz = v.v[2] - p.v[2];
    return dx * dx + dy * dy + dz * dz < kSameSpotSq;
}

bool InUse(const Vector& v)
{
    return v.v[3] != 0.0f;
}

int GetLevelNumber(const Vector* table, int count, const VectorPos& p)
{
    for (int i = 0; i < count; i++)
    {
        if (!InUse(table[i]) || SameSpot(table[i], p))
            return i;
    }
    return count - 1;
}

int SetVenueLevelNumber(Vector* table, int count, const VectorPos& p, int level)
{
    // Levels come from the scripts; one outside the table is not written.
    if (level < 0 || level >= count)
    {
        printf("GameController: 24/7 level %d is outside the table of %d\n", level, count);
        return -1;
    }
    table[level] = Vector(p, 1.0f);
    return 0;
}

}  // namespace

int GameController::AddHealthLocation(VectorPos& vpPos)
{
    for (int i = 0; i < iMaxHealthLocations; i++)
    {
        if (!InUse(rvHealthLocations[i]))
        {
            rvHealthLocations[i] = Vector(vpPos, 1.0f);
            return i;
        }
    }
    return -1;
}

int GameController::RemoveHealthLocation(VectorPos& vpPos)
{
    // The used entries form a block at the start: the last one fills the gap.
    for (int i = 0; i < iMaxHealthLocations; i++)
    {
        if (!InUse(rvHealthLocations[i]))
            return -1;
        if (SameSpot(rvHealthLocations[i], vpPos))
        {
            int last = i;
            while (last + 1 < iMaxHealthLocations && InUse(rvHealthLocations[last + 1]))
                last++;
            if (last != i)
                rvHealthLocations[i] = rvHealthLocations[last];
            rvHealthLocations[last].v[3] = 0.0f;
            return i;
        }
    }
    return -1;
}

int GameController::GetDojo247LevelNumber(VectorPos& vpPos)
{
    return GetLevelNumber(rvDojo247Status, iMaxDojo247Levels, vpPos);
}

int GameController::SetDojo247LevelNumber(VectorPos& vpPos, int iLevelNumber)
{
    return ::SetVenueLevelNumber(rvDojo247Status, iMaxDojo247Levels, vpPos, iLevelNumber);
}

int GameController::GetFRange247LevelNumber(VectorPos& vpPos)
{
    return GetLevelNumber(rvFRange247Status, iMaxFRange247Levels, vpPos);
}

int GameController::SetFRange247LevelNumber(VectorPos& vpPos, int iLevelNumber)
{
    return ::SetVenueLevelNumber(rvFRange247Status, iMaxFRange247Levels, vpPos, iLevelNumber);
}

int GameController::GetRace247LevelNumber(VectorPos& vpPos)
{
    return GetLevelNumber(rvRace247Status, iMaxRace247Levels, vpPos);
}

int GameController::SetRace247LevelNumber(VectorPos& vpPos, int iLevelNumber)
{
    return ::SetVenueLevelNumber(rvRace247Status, iMaxRace247Levels, vpPos, iLevelNumber);
}

// ---------------------------------------------------------------------------
// The random-mission spawner

RANDMISSIONSPAWNHANDLER rprmchRandomMissionSpawner[RC_NUMINDEXES] = {
    nullptr,         CreateRMGenG101, CreateRMGenG102, CreateRMGenG103, CreateRMGenG104,
    CreateRMGenG105, CreateRMGenG106, CreateRMGenG107, CreateRMGenG108, CreateRMGenG109,
    CreateRMGenG110, CreateRMGenG111, CreateRMGenG112, CreateRMGenG113, CreateRMGenG114,
    nullptr,         nullptr,         CreateRMGenG117, CreateRMGenG118, nullptr,
    nullptr,         CreateRMGenG121, CreateRMGenG122, CreateRMGenG123, CreateRMGenG124,
    CreateRMGenG125, CreateRMGenG126, CreateRMGenG127, nullptr,         CreateRMGenG129,
    CreateRMGenG130, nullptr,         nullptr,         nullptr,         nullptr,
    nullptr,         nullptr,         nullptr,         CreateRMGenG138, CreateRMGenG139,
};

namespace {

// Crime indexes that have a group.
bool HasCreator(int i)
{
    return i >= 0 && i < RC_NUMINDEXES && rprmchRandomMissionSpawner[i] != nullptr;
}

// A random integer 0..n-1 from the program's generator.
int RandBelow(int n)
{
    return int((s64(rand()) * n) >> 31);
}

// Who a scripted crime's handed-over objects become: the message to the
// crime and the id it gives the object, for the first and second object.
struct HandOver
{
    int code;
    int id;
};

void HandOvers(int index, HandOver& first, HandOver& second)
{
    first = {SMSG_EV_RC_ASSIGN, -101};
    second = {0, 0};
    switch (index) {
    case 4:
    case 5:   // a mugging of another character: the victim
        second = {SMSG_EV_RC_ASSIGN, -176};
        break;
    case 7:
    case 8:
    case 9:   // a carjacking: the car
        second = {SMSG_EV_RC_ASSIGN_C, -200};
        break;
    case 38:  // a purse snatching: the victim stays a bystander
        second = {SMSG_EV_RC_ASSIGN_B, 100};
        break;
    case 39:  // a street fight: the other fighter
        second = {SMSG_EV_RC_ASSIGN, -102};
        break;
    case 6:
    case 11:
    case 12:
        break;
    default:  // a crime of the timer's: nothing to hand over
        first = {0, 0};
        break;
    }
}

}  // namespace

int RandomMissionSpawner::RandomMissionSpawner_mh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<RandomMissionSpawner*>(o)->mh(msg, data);
}

bool RandomMissionSpawner::IsGenerated(int i)
{
    switch (i) {
    case 4: case 5: case 6: case 7: case 8: case 9: case 11: case 12: case 38: case 39:
        return false;
    default:
        return true;
    }
}

void RandomMissionSpawner::Init()
{
    if (g_pgcTest != nullptr)
        g_pgcTest->bRandomMissionActive = false;
    memset(ri8Status, 0, sizeof ri8Status);
    iCurrentEnabledMax = RC_NUMINDEXES;
    iDelta = 1 + RandBelow(39);
    iAvailable = 0;
    iDifficultyLevel = 0;
    for (int i = 0; i < RC_NUMINDEXES; i++) {
        if (IsGenerated(i) && HasCreator(i))
            iAvailable++;
        else
            ri8Status[i] = -1;
    }
}

int RandomMissionSpawner::ChooseNextMissionIndex()
{
    if (iAvailable <= 0)
        return -1;
    if (g_pgcTest != nullptr) {
        iDifficultyLevel = g_pgcTest->i16RCrimeDifficultyLevel;
        // A forced crime, even one used in this cycle; only a crime the
        // timer may start.
        const int forced = g_pgcTest->i16RCrimeOverride;
        if (forced >= 0 && forced < RC_NUMINDEXES && ri8Status[forced] != -1)
            return forced;
    }
    int candidate;
    if (iCurrentIndex >= 0 && iCurrentIndex < RC_NUMINDEXES && ri8Status[iCurrentIndex] == 0) {
        candidate = iCurrentIndex;
    } else {
        candidate = iCurrentIndex + iDelta;
        if (candidate >= iCurrentEnabledMax)
            candidate -= iCurrentEnabledMax;
        if (candidate < 0 || candidate >= RC_NUMINDEXES)
            candidate = 0;
    }
    // iAvailable counts free entries, so the probe ends on one.
    while (ri8Status[candidate] != 0)
        candidate = candidate == RC_NUMINDEXES - 1 ? 0 : candidate + 1;
    iCurrentIndex = candidate;
    return candidate;
}

bool RandomMissionSpawner::EnableNextMission(int iIndex, Object* obj1, Object* obj2)
{
    // Only crimes that have a group start.
    if (!HasCreator(iIndex))
        return false;
    const bool generated = IsGenerated(iIndex);
    if (!generated && (obj1 == nullptr || obj2 == nullptr))
        return false;
    Object* parent = g_pgcTest != nullptr && g_pgcTest->pMission != nullptr ? g_pgcTest->pMission
                                                                            : static_cast<Object*>(g_pgcTest);
    Object* crime = rprmchRandomMissionSpawner[iIndex](parent, iDifficultyLevel);
    if (crime == nullptr)
        return false;
    if (generated) {
        ri8Status[iIndex] = 1;
        iAvailable--;
    }
    rcoCurrent = crime;
    if (g_pgcTest != nullptr)
        g_pgcTest->bRandomMissionActive = true;
    world.AddObject(crime, nullptr);
    HandOver first, second;
    HandOvers(iIndex, first, second);
    Object* objs[2] = {obj1, obj2};
    const HandOver* h[2] = {&first, &second};
    for (int k = 0; k < 2; k++) {
        if (h[k]->code == 0 || crime->messagehandler == nullptr)
            continue;
        SpecialMessage m(h[k]->code, objs[k], h[k]->id);
        crime->messagehandler(crime, OM_SPECIAL, &m);
    }
    return true;
}

void RandomMissionSpawner::SetCurrentIndex(int i)
{
    // -1 (none) or a crime that has a group; anything else would be read
    // past the tables.
    if (i == -1 || HasCreator(i))
        iCurrentIndex = i;
}

int RandomMissionSpawner::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_TIMER: {
        int next = 180;
        if (rcoCurrent.p != nullptr && rcoCurrent->IsDead()) {
            rcoCurrent = nullptr;
            if (g_pgcTest != nullptr)
                g_pgcTest->bRandomMissionActive = false;
            next = 900 + 60 * RandBelow(15);
        } else if (rcoCurrent.p == nullptr) {
            const int index = ChooseNextMissionIndex();
            if (index == -1)
                Init();
            else
                EnableNextMission(index, nullptr, nullptr);
        }
        world.SetTimer(this, AnimTime(next * 256), nullptr);
        return 0;
    }
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<SpecialMessage*>(data);
        if (m != nullptr && m->submsg == SMSG_EV_ENABLE_RANDOM_CRIME)
            EnableNextMission(int(m->param[1]), m->obj, static_cast<Object*>(m->param[0]));
        return 0;
    }
    case OM_DIE:
        rcoCurrent = nullptr;
        if (g_pgcTest != nullptr) {
            g_pgcTest->bRandomMissionActive = false;
            if (g_pgcTest->prms == this)
                g_pgcTest->prms = nullptr;
        }
        delete this;
        return -1;
    default:
        return 0;
    }
}
