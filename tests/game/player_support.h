// The player's rig for tests and benchmarks: his model, the generated
// player animation groups and the hand-held models, put straight into the
// animation-group and model-file registries (no disc), and a body built on
// them.  Free of the test framework, so the benchmarks use it too.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/gunfiles.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/motion.h"
#include "tools/lib/p2b.h"
#include "tools/lib/miscfiles.h"
#include "tools/lib/playerfiles.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Object.h"
#include "game/Player.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/EntTypes.h"
#include "tests/ZevEngine2/kind_support.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameFlow.h"
#include "game/PlayerBody.h"
#include "game/Camera.h"
#include "game/QuadTree.h"
#include "tests/game/animtables_support.h"

namespace playerrig {

struct Files
{
    std::vector<u8> dace, gun, badge, siren;
    std::vector<std::pair<int, std::vector<u8>>> groups;   // group number, .ANI bytes
    std::string error;                                     // empty when all were made
};

// Made once per program: building the groups takes a moment.
inline const Files& PlayerFiles()
{
    static const Files files = [] {
        Files f;
        std::string& e = f.error;
        tools::WriteP2B(tools::HumanoidFile(tools::PlayerLook()), f.dace, e);
        for (const auto& [path, model] : tools::WeaponModelFiles())
            if (path == "DemoData/Misc/DACEGUN3.P2B")
                tools::WriteP2B(model, f.gun, e);
        for (const auto& [path, model] : tools::ResidentMiscFiles()) {
            if (path == "DemoData/Misc/BADGE.P2B")
                tools::WriteP2B(model, f.badge, e);
            if (path == "DemoData/Misc/SIREN.P2B")
                tools::WriteP2B(model, f.siren, e);
        }
        for (const tools::PlayerGroup& g : tools::PlayerGroups()) {
            tools::AnimGroupFiles out;
            if (tools::BuildPlayerGroup(g, out, e))
                f.groups.emplace_back(g.group, std::move(out.ani));
        }
        return f;
    }();
    return files;
}

// Registry contents put in place by a Rig and taken out by its destructor.
class Rig
{
public:
    Rig() = default;
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;
    ~Rig()
    {
        for (int slot : slots) {
            g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
            g_GlobalMFI.rgmfi[slot].i16Id = -1;
            g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
        }
        for (int g : groups)
            g_GlobalAGI.rgagi[g] = {nullptr, 0, 0, -1, false};
        gametest::ForgetClassAnimTables();
        for (void* b : blocks)
            free(b);
    }

    // A copy of bytes in a 64-byte aligned block the rig frees.
    void* Block(const std::vector<u8>& bytes, u32 slack = 0)
    {
        void* b = malloc_align(u32(bytes.size()) + slack, 64);
        std::memcpy(b, bytes.data(), bytes.size());
        blocks.push_back(b);
        return b;
    }
    // The group's file fixed up and registered; count clips kept when
    // positive (a shortened file).
    AnimGroup* Group(int group, int count = 0)
    {
        for (const auto& [g, ani] : PlayerFiles().groups) {
            if (g != group)
                continue;
            AnimGroup* ag = static_cast<AnimGroup*>(Block(ani, 64));
            ag->FixUp();
            if (count > 0 && count < ag->count) {
                // A file of fewer clips: the clip table ends where the block
                // ends, so a read past it is caught.
                const u32 bytes = u32(sizeof(AnimGroup) + sizeof(AnimChar*) * size_t(count));
                AnimGroup* shortened = static_cast<AnimGroup*>(malloc_align(bytes, 64));
                blocks.push_back(shortened);
                shortened->count = count;
                std::memcpy(shortened->pChars, ag->pChars, sizeof(AnimChar*) * size_t(count));
                ag = shortened;
            }
            g_GlobalAGI.rgagi[group] = {ag, AGI_PERMANENT, 0, -1, false};
            groups.push_back(group);
            return ag;
        }
        return nullptr;
    }
    MDLFILE* Model(int slot, const std::vector<u8>& bytes)
    {
        StreamMdlFile& smf = g_GlobalMFI.rgmfi[slot].smf;
        smf.SetBuffer(Block(bytes));
        if (!smf.Init(u32(bytes.size())))
            return nullptr;
        // As a load leaves the slot: the file's length known, no marks.
        smf.length = u32(bytes.size());
        smf.refs = 0;
        g_GlobalMFI.rgmfi[slot].i16Flags = 0;
        g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
        slots.push_back(slot);
        return &smf;
    }
    // The resident set the start-up loads: groups 0 and 5..8, the player's
    // model (slot 48), the gun file, the badge and the siren.
    void Resident()
    {
        for (int g : {0, 5, 6, 7, 8})
            Group(g);
        Model(48, PlayerFiles().dace);
        Model(DaceBody::GunModelSlot, PlayerFiles().gun);
        Model(DaceBody::BadgeModelSlot, PlayerFiles().badge);
        Model(DaceBody::SirenModelSlot, PlayerFiles().siren);
    }
    // A body dressed from the player's model, with its blend animations,
    // not yet Init'ed.
    DaceBody* Body()
    {
        DaceBody* b = new DaceBody;
        g_GlobalMFI.GetMF(48, false)->GetHierarchyTo(b, 0, 0);
        b->mat = Matrix(true);
        b->AllocBlendAnimHierarchy(0x80);
        return b;
    }

private:
    std::vector<void*> blocks;
    std::vector<int> slots, groups;
};

// The player made by his kind's handler from the rig's model (Resident),
// animated with his root motion, in the world and followed by his camera,
// on foot.
inline Dace* MakePlayer()
{
    MDLFILE* mf = g_GlobalMFI.GetMF(48, false);
    auto* d = reinterpret_cast<Dace*>(intptr_t(Dace::Dace_mh(reinterpret_cast<Object*>(mf), OM_CREATE, nullptr)));
    mf->GetHierarchyTo(d, 0, GH_RELMOTION | GH_ANIMATE);
    d->mat = Matrix(true);
    d->AllocBlendAnimHierarchy(GH_RELMOTION | GH_ANIMATE);
    world.AddObject(d, nullptr);
    dace = d;
    SetCurrentCam(d->cam);
    d->SwitchToMode(DACEMODE_ONFOOT, true);
    return d;
}

// The game's own player kind in front of any other registered under the
// name while a test runs.
struct PlayerKind : ScopedKind
{
    PlayerKind() : ScopedKind("Dace", &Dace::Dace_mh) {}
};

// Records the special messages it is sent; replies `reply`.  A plain object,
// or (CharacterSink) a character the player's searches may take for one.
template <class Base>
struct BasicMessageSink : Base
{
    std::vector<SpecialMessage> heard;
    int reply = 0;
    BasicMessageSink() : Base(MessageSink_mh) {}
    static int MessageSink_mh(Object* o, OBJMESSAGE msg, void* data)
    {
        auto* s = static_cast<BasicMessageSink*>(o);
        if (msg == OM_SPECIAL) {
            s->heard.push_back(*static_cast<SpecialMessage*>(data));
            return s->reply;
        }
        if (msg == OM_DIE) {
            delete s;
            return -1;
        }
        return 0;
    }
    int Count(int code) const
    {
        int n = 0;
        for (const SpecialMessage& m : heard)
            n += m.submsg == code;
        return n;
    }
};
using MessageSink = BasicMessageSink<Object>;
using CharacterSink = BasicMessageSink<Guy>;

}  // namespace playerrig
