// The enemies' animation groups on the sample disc: sprinting (NPCSPR), the
// pistol and machine-gun stances (NPCPSTL, NPCMGUN), the guards (NPCGUARD),
// the generic fighting clips (NPCKNGFU) and the six fighting styles
// (NPCKARAT, NPCBOXER, NPCBRWLR, NPCKNIFE, NPCMCOMB, NPCFCOMB), and the
// enemies' clips of the shared default group (NPCDEF).
//
// Each group has one row for every clip its game header names
// (game/NPC*Anims.h), built for the enemies' figure with the loop flags,
// root motion and events the enemies' handlers act on: draw (131) and
// holster (133), camera shakes (140..143) and voice lines (160..166).
#pragma once

#include <string>
#include <vector>

#include "tools/lib/motion.h"
#include "tools/lib/playerfiles.h"

namespace tools {

// Groups 1..4 and 10..16, in that order (group 0 is built with the player's).
const std::vector<PlayerGroup>& NPCGroups();
std::vector<ClipRow> NPCGroupCatalogue(int group);
bool BuildNPCGroup(const PlayerGroup& g, AnimGroupFiles& out, std::string& error);

// The enemies' rows of the default group NPCDEF.
void AddEnemyDefaultClips(Catalogue& c);

// The figure the enemies' clips are made for.
HumanoidLook EnemyLook();

}  // namespace tools
