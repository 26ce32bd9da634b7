// The pedestrians' six animation groups on the sample disc (groups 17 to
// 22: default, female, homie, hobo, senior, slut), each the nine clips of
// game/NPCPedAnims.h with its own gait: the sets walk and run at their own
// pace and stride, so a hobo and a senior never share a walk.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/motion.h"
#include "tools/lib/playerfiles.h"

namespace tools {

// Groups 17..22, in that order.
const std::vector<PlayerGroup>& PedGroups();
std::vector<ClipRow> PedGroupCatalogue(int group);
bool BuildPedGroup(const PlayerGroup& g, AnimGroupFiles& out, std::string& error);

// The pedestrians' voice lines: every line of each of the thirteen banks a
// pedestrian can be given, as paths under "DemoData/" without ".VB"
// ("NPCVO/MaABCRY1"), bank by bank.
std::vector<std::string> PedVoiceFiles();

}  // namespace tools
