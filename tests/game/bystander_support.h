// Pedestrians for tests and benchmarks: the six pedestrian sets registered
// beside the shooters' scene, and pedestrians made by name and set up as a
// generator sets them up.  Free of the test framework.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "tests/game/enemy_support.h"

#include "tools/lib/pedfiles.h"

#include "ZevEngine2/EntTypes.h"
#include "game/Bystander.h"

namespace pedrig {

inline const std::vector<std::pair<int, std::vector<u8>>>& PedGroupFiles()
{
    static const auto files = [] {
        std::vector<std::pair<int, std::vector<u8>>> f;
        std::string error;
        for (const tools::PlayerGroup& g : tools::PedGroups()) {
            tools::AnimGroupFiles out;
            if (tools::BuildPedGroup(g, out, error))
                f.emplace_back(g.group, std::move(out.ani));
        }
        return f;
    }();
    return files;
}

// Groups 17..22 in the scene's registry; the pedestrians' class tables
// emptied so that they point into this scene's groups.
inline void AddPedGroups(enemyrig::Scene& scene)
{
    for (const auto& [g, ani] : PedGroupFiles()) {
        AnimGroup* ag = static_cast<AnimGroup*>(scene.rig.Block(ani, 64));
        ag->FixUp();
        g_GlobalAGI.rgagi[g] = {ag, AGI_PERMANENT, 0, -1, false};
    }
    std::memset(Bystander::Anims, 0, sizeof Bystander::Anims);
    Bystander::CrimeBeingAttempted = false;
}

inline void RemovePedGroups()
{
    for (int g = 17; g <= 22; g++)
        g_GlobalAGI.rgagi[g] = {nullptr, 0, 0, -1, false};
    std::memset(Bystander::Anims, 0, sizeof Bystander::Anims);
}

// A pedestrian of character id at pos facing +z (the shooters' figure), set
// up as a generator would, initialised and silent.
inline Bystander* MakePed(int charid, VectorPos pos, PedGen* gen = nullptr)
{
    auto make = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Bystander")));
    Bystander* b = reinterpret_cast<Bystander*>(intptr_t(make(nullptr, OM_CREATE, nullptr)));
    g_GlobalMFI.GetMF(enemyrig::kEnemySlot, false)->GetHierarchyTo(b, 0, 0x88);
    b->AllocBlendAnimHierarchy(0x88);
    PedGenInitMsg init{SMSG_PED_SETUP, world.time, 0, s16(charid), nullptr, gen};
    SpecialMessage m(SMSG_PED_SETUP, reinterpret_cast<Object*>(&init));
    b->SendMessage(OM_SPECIAL, &m);
    b->mat = TransMatrix(pos);
    world.AddObject(b, nullptr);
    b->vobank = 255;
    return b;
}

}  // namespace pedrig
