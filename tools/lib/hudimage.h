// The HUD's pictures, drawn as flat bevelled shapes: `HUD_New` (256 x 256)
// holds every sprite of the on-screen display at its texture rectangle, and
// `Icons_Combat` (32 x 256) the finishing-move icons and the streak pieces.
// 8-bit images whose palette carries the alpha; output depends only on the
// code.
#pragma once

#include "tools/lib/imagegen.h"

namespace tools {

ProgramImage HudNewImage();
ProgramImage IconsCombatImage();
// The GPS map's symbols (128 x 128) and the pad-button glyphs (32 x 256).
ProgramImage IconsMapImage();
ProgramImage IconsButtonsImage();

}  // namespace tools
