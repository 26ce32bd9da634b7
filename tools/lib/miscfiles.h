// The start-up's other resident models for the sample disc: the badge, the
// weapons sheet, the police car's siren, the light cone and the cart.  Plain
// coloured boxes; what matters to the game is that each loads into its slot
// with a node 0, and that the siren's node 0 carries its light animation.
//
//   BADGE     node 0: a dark wallet holding a gold shield (playerfiles.h)
//   WEAPONS   node 0: a grey sheet
//   SIREN     node 0: a light bar whose colour swings red, white, blue and
//             back over 24 frames (a colour animation)
//   LITECONE  node 0: a long pale beam along z
//   SHCARTOR  node 0: the health cart, a low wire box with a collision box
//             whose origin lies half its height above its base; node 1 its
//             explosion record, which leaves nothing
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/lib/p2b.h"

namespace tools {

// The files by their path under the archive root ("DemoData/Misc/...").
std::vector<std::pair<std::string, P2BFile>> ResidentMiscFiles();

// The phone the player holds in the cinematic drives ("Misc/PHONE.P2B",
// loaded by the mission steps, not at start-up): node 0, a small dark
// handset.
P2BFile PhoneFile();

// The props the story's steps load by name into slots of their own, by
// their path under the archive root: the binoculars, the note, the two
// carcasses and the body in ice (plain boxes of their own size and colour,
// node 0), and the helicopter: node 0 its body, with the main blade (sub-
// object 0) above it, the tail blade (sub-object 1) at the tail's end and
// the two gunners' seats (special nodes 0x8000 and 0x8001) in its open doors.
std::vector<std::pair<std::string, P2BFile>> StoryPropFiles();

}  // namespace tools
