// The sky model (DemoData\Misc\SKY.P2B): the sun, the moon and the star
// layer that the sky backdrop turns with the time of day.  Hierarchy 0 is a
// root without geometry whose children carry the ids the backdrop looks for:
//   id 0  the sun: an additive disc of warm white, facing along its z axis
//   id 1  the moon: a textured disc (grey with darker seas)
//   id 2  the stars: a few hundred small bright quads over the upper
//         hemisphere, whose alpha follows the object fade
// No other node has those ids.  The discs lie in their node's x-y plane
// around the origin; the backdrop places them 750 units out.
#pragma once

#include "tools/lib/p2b.h"

namespace tools {

enum SkyModel
{
    kSkyRootId = 100,
    kSkySunId = 0,
    kSkyMoonId = 1,
    kSkyStarsId = 2,
    kSkyStarCount = 300,
};
constexpr float kSkySunRadius = 30.0f;
constexpr float kSkyMoonRadius = 24.0f;
constexpr float kSkyStarDistance = 700.0f;

P2BFile SkyModelFile();

}  // namespace tools
