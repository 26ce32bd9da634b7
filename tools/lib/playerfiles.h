// The player's data on the sample disc: his five animation groups (on foot,
// fist fighting, guns, car and motorbike, stealth), the clips of the
// characters' default group that his table plays too, and the badge and
// siren he holds.
//
// Each group is a catalogue of the motion library (motion.h) with one row
// for every clip of the group's enum (game/Dace*Anims.h), built by the group
// builder into Char\<base>.ANI and Vags\<base>.SND.  The rows carry what the
// player's code reads from them: loop flags by use, forward root motion on
// the gaits, take-offs, tackles and dives, the car clips between the sample
// cars' get-in points and seats, and the events his handlers act on.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/motion.h"
#include "tools/lib/p2b.h"

namespace tools {

struct PlayerGroup
{
    int group;          // the game's animation group number
    const char* base;   // file base name
    int tableSize;      // clips the game's tables may name
};
// Groups 0 and 5..9, in that order.
const std::vector<PlayerGroup>& PlayerGroups();

// The catalogue of one of those groups (empty for any other).
std::vector<ClipRow> PlayerGroupCatalogue(int group);

// The group's files, built from its catalogue for the player's figure.
bool BuildPlayerGroup(const PlayerGroup& g, AnimGroupFiles& out, std::string& error);

// The figure the player's clips are made for.
HumanoidLook PlayerLook();

// Misc\BADGE.P2B: a dark wallet (node 0) holding a gold shield (node 1).
P2BFile BadgeFile();

}  // namespace tools
