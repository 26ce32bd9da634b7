// The pedestrians' animation groups (see pedfiles.h).
#include "tools/lib/pedfiles.h"

#include "game/Bystander.h"
#include "game/GameAudio.h"
#include "game/NPCPedAnims.h"
#include "tools/lib/npcfiles.h"

namespace tools {

namespace {

// The pace of a set: walk and run speeds (units per frame), stride lengths
// (frames) and how big its gestures are.
struct Pace
{
    float walk, run;
    u16 walkLen, runLen;
    float gesture;
};

Pace PaceOf(int group)
{
    switch (group) {
    case 18: return {0.019f, 0.055f, 30, 20, 0.8f};    // female
    case 19: return {0.021f, 0.062f, 34, 18, 1.3f};    // homie: a swagger
    case 20: return {0.012f, 0.040f, 40, 24, 0.6f};    // hobo: a shuffle
    case 21: return {0.010f, 0.030f, 44, 26, 0.5f};    // senior: slow and short
    case 22: return {0.018f, 0.050f, 28, 20, 1.1f};    // slut
    default: return {0.020f, 0.060f, 32, 20, 1.0f};    // default
    }
}

}  // namespace

const std::vector<PlayerGroup>& PedGroups()
{
    static const std::vector<PlayerGroup> groups = {
        {17, "NPCPDEF", NPCPedAnims_Count},  {18, "NPCPFEM", NPCPedAnims_Count}, {19, "NPCPHOBO", NPCPedAnims_Count},
        {20, "NPCPHOM", NPCPedAnims_Count},  {21, "NPCPSEN", NPCPedAnims_Count}, {22, "NPCPSLUT", NPCPedAnims_Count},
    };
    return groups;
}

std::vector<ClipRow> PedGroupCatalogue(int group)
{
    if (group < 17 || group > 22)
        return {};
    const Pace p = PaceOf(group);
    Catalogue c(0, NPCPedAnims_Count);
    c.Once(Ani_Ped_Angry, kMotionGesture, 40, {}, {0.0f, p.gesture, false})
        .Once(Ani_Ped_Duck, kMotionHit, 20, {}, {0.0f, 0.8f, false})
        .Loop(Ani_Ped_Duck_Idle, kMotionIdle, 30, {0.0f, 0.3f, false})
        .Loop(Ani_Ped_Idle, kMotionIdle, 60, {0.0f, 0.5f * p.gesture, false})
        .Once(Ani_Ped_Idle_LookAround, kMotionIdle, 50, {}, {0.0f, p.gesture, false})
        .Once(Ani_Ped_Idle_Special, kMotionGesture, 45, {}, {0.0f, 0.7f * p.gesture, true})
        .Gait(Ani_Ped_Run, kMotionRun, p.run, p.runLen)
        .Once(Ani_Ped_Shock, kMotionHit, 25, {}, {0.0f, 1.2f, false})
        .Gait(Ani_Ped_Walk, kMotionWalk, p.walk, p.walkLen);
    return c.Finish();
}

bool BuildPedGroup(const PlayerGroup& g, AnimGroupFiles& out, std::string& error)
{
    if (!BuildAnimGroup(PedGroupCatalogue(g.group), g.tableSize, EnemyLook(), out, error)) {
        error = std::string(g.base) + ".ANI: " + error;
        return false;
    }
    return true;
}

std::vector<std::string> PedVoiceFiles()
{
    std::vector<std::string> names;
    for (int bank = PedVO_Male_A; bank <= PedVO_Hispanic; bank++)
        for (const char* line : NPCVOSuffixes)
            names.push_back(std::string("NPCVO/") + NPCVOPrefixes[bank] + line);
    return names;
}

}  // namespace tools
