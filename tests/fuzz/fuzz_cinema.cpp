// A cinema file (".CIN"): started as a scene starts (the header, the block
// and start-location tables, the first blocks streamed in and checked), its
// actors taken over (the scene camera and props with animated hierarchies
// of a sample model, by the ids scenes use) and played to the end, or cut
// short with Cross for the final poses, then everything handed back and
// cleared.  Accepted when the scene started.
#include "fuzz_target.h"

#include <string>
#include <vector>

#include "tools/lib/p2b.h"
#include "tools/lib/p2b_sample.h"

#include "fuzz_game.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/Utilities/CinCont.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/cine.h"

namespace {

constexpr int kScene = 15;   // M2\M2_S4
const char kScenePath[] = "KORVALIS\\DemoData\\Cine\\M2\\M2_S4.CIN";

const std::vector<u8>* g_file = nullptr;
std::vector<u32> g_pos;   // each handle's position

CinemaIO MemoryIO()
{
    return CinemaIO{
        [](const char* name, int) {
            if (std::string(name) != kScenePath)
                return -1;
            g_pos.push_back(0);
            return int(g_pos.size()) - 1;
        },
        [](int) { return int(g_file->size()); },
        [](int h, void* addr, int size) {
            const u32 at = g_pos.at(size_t(h));
            const u64 have = at < g_file->size() ? g_file->size() - at : 0;
            std::memcpy(addr, g_file->data() + (have ? at : 0), size_t(std::min<u64>(have, u64(size))));
            g_pos[size_t(h)] = at + u32(size);
            return size;
        },
        [](int h, int offset, int) {
            g_pos.at(size_t(h)) = u32(offset);
            return offset;
        },
        [](int, bool) { return 0; },
        [](int) { return 0; },
        [](int) { return 0; },
    };
}

// The arm of the sample model files, kept for the process: the props'
// hierarchies are made of it.
MDLFILE& Arm()
{
    static MDLFILE* mf = [] {
        std::vector<u8> bytes;
        std::string error;
        tools::WriteP2B(tools::SampleArmFile(), bytes, error);
        void* block = malloc_align(u32(bytes.size()) + 64, 64);
        std::memcpy(block, bytes.data(), bytes.size());
        auto* f = new MDLFILE{};
        f->SetBuffer(block);
        f->Init(u32(bytes.size()));
        return f;
    }();
    return *mf;
}

int Quiet_mh(Object*, OBJMESSAGE, void*)
{
    return 0;
}

}  // namespace

FUZZ_TARGET(cinema)
{
    const std::vector<u8> file(data, data + size);
    g_file = &file;
    g_pos.clear();
    cinemaio = MemoryIO();
    CineLoadWait = [] {};
    GameController* gc = fuzz::Controller();
    const OBJMESSAGEHANDLER was = gc->messagehandler;
    gc->messagehandler = Quiet_mh;
    world.mode = WORLD_MODE_NORMAL;
    for (int id : {-1, -2, -3, 71, 72}) {
        Object* o = Arm().GetHierarchy(0, sizeof(Object), GH_ANIMATE);
        if (o == nullptr)
            continue;
        o->id = s16(id);
        o->flags |= OBJF_FRAMECALL;
        world.AddObject(o, nullptr);
        o->AllocBlendAnimHierarchy(GH_ANIMATE);
    }
    ParseActorScript(kScene, nullptr);
    const bool started = pActor != nullptr && !g_CinCont.Failed();
    // Cut short part way when the file's last byte says so.
    const int cut = size > 0 && (data[size - 1] & 1) ? 3 : -1;
    for (int n = 0; pActor != nullptr && n < 300; n++) {
        controller[0].pad = n == cut ? 0x400000 : 0;
        world.Update();
    }
    controller[0].pad = 0;
    if (pActor != nullptr)
        pActor->SendMessage(OM_DIE, nullptr);
    g_CinCont.CloseUp();
    fuzz::ClearWorld();
    world.mode = WORLD_MODE_NORMAL;
    gc->messagehandler = was;
    cinemaio = RealCinemaIO();
    g_file = nullptr;
    return started;
}
