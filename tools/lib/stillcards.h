// The still pictures of the demo disc's screens, composed from the sample
// city and the game's own glyphs: the studio card, the title card, the three
// briefing cards with their route on a street map of the city, and the five
// closing cards.  The loading screen draws its own text ("loading...", the
// continue prompt) over them.  Output depends only on the name and size.
#pragma once

#include <string_view>

#include "tools/lib/ipuenc.h"

namespace tools {

// The still named by its file's stem ("ZEVWORKS", "DEMTITLE", "DEMOSCR1" to
// "DEMOSCR3", "DEMOEND1" to "DEMOEND5"); any other name gives the plain
// sample picture of that name.
IpuImage DiscStill(std::string_view name, int width, int height);

}  // namespace tools
