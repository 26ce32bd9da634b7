// The lighting-sets text the game carries: nine sections ([Night] and its
// rainy variant, [Dawn], [Day], [Evening] likewise, then [Interior]), each
// with three lights, ambient, fog, five sky colours (none indoors), the two
// shadow colours and the rain splash.
#pragma once

#include <string>

namespace tools {

// The text, as the game's lighting reader takes it.
std::string LightingSetsText();
// The text as C++ source defining Korvalis_new and Korvalis_newSize.
std::string LightingSetsSource();

}  // namespace tools
