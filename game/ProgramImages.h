// The pictures the program carries for its sky, sea, lamps and HUD, drawn during the
// build by tools/imagegen.  Each is a texture record whose data word holds
// the offset of its palette and pixels from the record until it is fixed.
#pragma once

#include "ZevEngine2/PS2/Image.h"

extern u8 Ocean_image[];
extern u8 LensFlare_image[];
extern u8 glow_image[];
extern u8 HUD_New_image[];
extern u8 Icons_Combat_image[];

// Makes the image's data offset an address and hands back its record; once
// per image, from the static initialiser of the one module that owns it.
template <class T = Texture>
T& FixProgramImage(u8* image)
{
    T* t = reinterpret_cast<T*>(image);
    t->data = image + reinterpret_cast<uintptr_t>(t->data);
    return *t;
}
