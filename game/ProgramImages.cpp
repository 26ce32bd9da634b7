// The linked-in images' one fix-up.
#include "game/ProgramImages.h"

#include "ZevEngine2/PS2/Model.h"

Texture& TPage_Jctn_Connect_Lines = ProgramImageRecord(TPage_Jctn_Connect_Lines_image);
Texture& SkidMark = ProgramImageRecord(SkidMark_image);
Texture& HUD_New = ProgramImageRecord(HUD_New_image);
Texture& Icons_Combat = ProgramImageRecord(Icons_Combat_image);
Texture& Icons_Map = ProgramImageRecord(Icons_Map_image);
Texture& Icons_Buttons = ProgramImageRecord(Icons_Buttons_image);
Texture& Specular = ProgramImageRecord(Specular_image);
Texture& ReflectionMap_Generic = ProgramImageRecord(ReflectionMap_Generic_image);

void FixProgramImages()
{
    static bool fixed;
    if (fixed)
        return;
    fixed = true;
    u8* const images[] = {TPage_Jctn_Fill_image, TPage_Jctn_Connect_Lines_image, TPage_Jctn_Crosswalk_image,
                          SkidMark_image,        HUD_New_image,                  Icons_Combat_image,
                          glow_image,            LensFlare_image,                Specular_image,
                          ReflectionMap_Generic_image, Icons_Map_image,     Icons_Buttons_image};
    for (u8* image : images)
        FixProgramImage(image);
    gtex[GTEX_SPECULAR] = Specular;
    gtex[GTEX_REFLECTION] = ReflectionMap_Generic;
}
