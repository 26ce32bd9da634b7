// Lights and signs of the city's streets: traffic lights that show their
// junction's signal, street lights that glow and light at night, and street
// signs that carry their street's name.  A prop of node kind 14 combines up
// to three of them by the bits of its block's exttype.
#pragma once

#include "ZevEngine2/light.h"
#include "game/CityObjects.h"
#include "game/Road.h"
#include "game/fbfx.h"

class RenderContext;
class Font;
class Render2D;

// Street lights glow and light only while this is set (by the lighting in
// force: at night).
extern int streetLight;

// Lamp nodes of a traffic light under the prop's node, each up to twice (one
// per face): red, amber, green.
constexpr int LAMP_RED_ID = 0x8001;
constexpr int LAMP_NODES = 6;   // kept in the model file's user area

class StopLightPart
{
public:
    Glow glow[2];          // one per face
    u16 u16Flags;          // the approach's signal word; 0 until bound to a junction
    u16 u16TimeOffset;     // the junction's phase offset
    int iLastCmd;          // the lamp state shown (command & 0xC); -1 at first

    void Init(Object* obj);
    void WasDrawn(Object* obj, bool freeway);
    void Timer(Object* obj);
};

class StreetLightPart
{
public:
    Colour colour;   // the lamp's
    Glow glow;
    Light light;     // a static point light

    void Init(Object* obj, const ExteriorSpecific_params* params);
    void WasDrawn(Object* obj);
};

class StreetSignPart
{
public:
    RoadInfo ri;     // the street; id -1 until found

    void Init(Object* obj);
    // 1 when it drew the sign, 0 when the engine draws it as usual.
    int Render(Object* obj, RenderContext* rc);
};

class FreewayStopLight : public DamageableObject, public StopLightPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};
class StopLight : public DamageableObject, public StopLightPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};
class StreetLight : public DamageableObject, public StreetLightPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};
class StopLightStreetLight : public DamageableObject, public StopLightPart, public StreetLightPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};
class StreetSign : public DamageableObject, public StreetSignPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};
class StopLightStreetSign : public DamageableObject, public StopLightPart, public StreetSignPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};
class StreetLightStreetSign : public DamageableObject, public StreetLightPart, public StreetSignPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};
class StopLightStreetLightStreetSign : public DamageableObject,
                                       public StopLightPart,
                                       public StreetLightPart,
                                       public StreetSignPart
{
public:
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};

// A freeway sign: a fixed text written into its model's texture.
struct FreewaySign_params
{
    u32 text;   // offset of the text from the start of the model file
};
static_assert(sizeof(FreewaySign_params) == 4);

class FreewaySign : public Object
{
public:
    FreewaySign_params* params;
    const char* text;   // inside the model file; null: drawn as it is

    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};

// Writes text into the first texture of obj's model (fitted to it when fit,
// else from its top-left) and draws obj; 1 when drawn, 0 when the engine is
// to draw it as usual.
int DrawSignWithText(Object* obj, RenderContext* rc, const char* text, bool fit);

// By exttype: bit 0 a traffic light, bit 1 a street light, bit 2 a sign; 0
// is the freeway's traffic light.
constexpr int EXTTYPES = 8;
extern const OBJMESSAGEHANDLER mhExteriorSpecific[EXTTYPES];

// The font of the street signs, made over the program's sign font at its
// first use.
extern Font* g_pfontStreetSign;
Font& StreetSignFont();

// Draws up to n characters of str (n < 0: up to its end) as glyph quads of
// font placed through m, which takes text pixels (x right, y down, from the
// pen's start at the top of the line) to screen space before the division
// by w.  Appended to r's open DIRECT block, one GIF packet a glyph; leaves
// the font's texture selected in r.  Codes outside the font, and every byte
// from 0x80 up, draw nothing and leave the pen, but count toward n.
void FontPrint3D(Font& font, Render2D& r, const Matrix& m, const char* str, int n);

// Where a sign's name of w pixels goes on a texture W pixels wide: its left
// x and its horizontal scale (1 when it fits with 4 pixels either side,
// else squeezed to W - 8 and starting 4 pixels in).
struct SignText
{
    int x;
    float scale;
};
SignText FitSignText(int w, int W);

// The street's name, and after one blank its kind's suffix word when it has
// a kind.
void GetRoadName(char* out, const RoadInfo& road);
