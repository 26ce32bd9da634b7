// Model files: the check and fix-up of MDLFILE::Init on the file as loaded,
// then every call list, vertex block, texture record and node the drawers
// would read, and a move of the whole block with the pointers re-based.
#include "fuzz_target.h"

#include "vif/unpack.h"

#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"

namespace {

// The vertex data of an accepted material, walked with VIF1's own sizing of
// UNPACK data: every code and its data must end inside the block, or VIF1
// would wait for words of the next transfer.  The write cycle starts as the
// drawer leaves it (4, 4).
void ExpectWholeVifCodes(const MATERIAL& mt)
{
    const u32* words = reinterpret_cast<const u32*>(mt.Data());
    const u32 n = 4u * mt.dataNumQw;
    u32 cycle = 0x0404;
    for (u32 at = 0; at < n;) {
        const u32 code = words[at];
        const u32 cmd = (code >> 24) & 0x7F;
        u32 data = 0;
        if (cmd >= 0x60)
            data = console::vif::UnpackDataWords(code, cycle);
        else if (cmd == 0x01)
            cycle = code & 0xFFFF;
        else if (cmd == 0x20)
            data = 1;
        else if (cmd == 0x30 || cmd == 0x31)
            data = 4;
        if (u64(at) + 1 + data > n)
            std::abort();
        at += 1 + data;
    }
}

// Reads what drawing reads of every model; a sum, so nothing is optimised
// away.
u32 Touch(const MDLFILE& mf)
{
    u32 sum = 0;
    const ModelHeader* h = mf.header;
    for (u32 k = 0; k < h->blockCount; k++) {
        const HeaderBlock& b = h->block[k];
        if (b.type != EX5_BLOCK_MODEL && b.type != EX5_BLOCK_SHADOW)
            continue;
        if (b.type == EX5_BLOCK_SHADOW && (mf.shadows == nullptr || (void*)mf.shadows != b.Data()))
            continue;
        MODEL** models = (MODEL**)b.Data();
        for (int i = 0; i < b.count; i++) {
            const MODEL* m = models[i];
            for (int j = 0; j < m->NumMaterials(); j++) {
                const MATERIAL& mt = m->mtls[j];
                if (b.type == EX5_BLOCK_MODEL)
                    for (int q = 0; q < mt.callListNumQw; q++)
                        sum += mt.Words(q)[6];
                for (int q = 0; q < mt.dataNumQw; q++)
                    sum += u32(mt.Data()[q].lo);
                ExpectWholeVifCodes(mt);
            }
        }
    }
    for (int i = 0; i < mf.nTextures && mf.textures != nullptr; i++)
        sum += mf.textures[i].format;
    for (int i = 0; i < mf.nNodes && mf.nodes != nullptr; i++)
        sum += mf.nodes[i].model;
    return sum;
}

// Every node made into an object as the game's builders make them: alone,
// and with what lies below it; then deleted.
void Build(MDLFILE& mf)
{
    for (int i = 0; i < mf.nNodes && mf.nodes != nullptr; i++) {
        if (Object* o = mf.ObjectFromNode(&mf.nodes[i], sizeof(Object)))
            o->Delete();
        if (Object* h = mf.GetHierarchy(u16(i), sizeof(Object), GH_ANIMATE))
            h->Delete();
        Object shell;
        mf.GetHierarchyTo(&shell, u16(i), GH_NOCHILDREN);
        if (shell.geom != nullptr)
            DeleteGeometry(shell.geom);
        shell.geom = nullptr;
    }
}

}  // namespace

FUZZ_TARGET(model)
{
    fuzz::Copy file(data, size, 16);
    MDLFILE mf = {};
    mf.SetBuffer(file.Bytes());
    if (!mf.Init(file.Size()))
        return false;
    Build(mf);
    const u32 before = Touch(mf);
    // The block moved elsewhere reads the same through the re-based pointers.
    fuzz::Copy moved(data, size, 16);
    mf.MoveBuffer(moved.Bytes(), int(moved.Size()));
    if (Touch(mf) != before)
        std::abort();
    return true;
}
