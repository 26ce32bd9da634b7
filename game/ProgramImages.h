// The pictures the program carries, drawn during the build by the image
// generators (tools/imagegen, tools/jctntex).  Each is a texture record whose
// data word holds the offset of its palette and pixels from the record until
// the start-up makes it an address.
#pragma once

#include "ZevEngine2/PS2/Image.h"

extern u8 Ocean_image[];
extern u8 LensFlare_image[];
extern u8 glow_image[];
extern u8 TPage_Jctn_Fill_image[];
extern u8 TPage_Jctn_Connect_Lines_image[];
extern u8 TPage_Jctn_Crosswalk_image[];
extern u8 SkidMark_image[];
extern u8 HUD_New_image[];
extern u8 Icons_Combat_image[];
extern u8 Icons_Map_image[];
extern u8 Icons_Buttons_image[];
extern u8 Specular_image[];
extern u8 ReflectionMap_Generic_image[];

// The record at the start of a linked-in image.
template <class T = Texture>
T& ProgramImageRecord(u8* image)
{
    return *reinterpret_cast<T*>(image);
}

// Makes the image's data offset an address and hands back its record; once
// per image.
template <class T = Texture>
T& FixProgramImage(u8* image)
{
    T& t = ProgramImageRecord<T>(image);
    t.data = image + reinterpret_cast<uintptr_t>(t.data);
    return t;
}

// The images the start-up makes absolute, each exactly once for the
// program's life: the junction pages, skid marks, the head-up display's
// sheets, the lamps' glow and flare, and the model drawer's highlight and
// reflection, which it then puts in the global texture table (entries 0 and
// 1).  Later calls do nothing, so code that may run before the start-up
// (the road, glow and flare drawers) calls it before touching an image.
void FixProgramImages();

extern Texture& TPage_Jctn_Connect_Lines;
extern Texture& SkidMark;
extern Texture& HUD_New;
extern Texture& Icons_Combat;
extern Texture& Icons_Map;
extern Texture& Icons_Buttons;
extern Texture& Specular;
extern Texture& ReflectionMap_Generic;
