// The resident models of guns and what shots leave behind, for the sample
// disc: bullet sparks and puffs, bullets with their cases and the grenade,
// the hole decal, the blood drop, the muzzle flash, the sniper's beam, the
// five reticle files and the gun files.  Plain coloured boxes; what matters
// to the game is their nodes, ids, collision boxes and animations.
//
//   BULLSPRK, BULLPUFF   node 0: a card, a short scale animation (not looping)
//   BULLETS              node 0 a case; node 2 a bullet (box 0.25 long on
//                        z, about one tick's flight); node 4 a grenade
//   BULLHOLE             node 0: a flat decal
//   BLOOD                node 0: a drop with a collision box
//   MUZZLEFL             node 0: a flash, a short scale animation
//   LASRBEAM             node 0: a beam running 20 units along z
//   RTCDEF, RTCENEMY, RTCPR, RTCPRON, RTCPROFF
//                        hierarchies 0 and 1, each with animations 0..3
//   DACEGUN1..4          the player's gun, id 1
//   ENEMGUNS             guns of ids 1..17
// Every gun carries locators 0x8000 (muzzle), 0x8001 (chamber) and 0x8003
// (the pivot of a dropped gun's turn), the value in both the model word and
// the id.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/lib/p2b.h"

namespace tools {

// The files by their path under the archive root ("DemoData/Misc/...").
std::vector<std::pair<std::string, P2BFile>> WeaponModelFiles();

}  // namespace tools
