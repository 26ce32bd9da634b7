// Lights and light selection.
//
// Lighting is gathered afresh every logic tick into the current LightContext:
// an ambient colour, up to three directional lights kept brightest first, and
// up to 64 local lights (point and spot).  Light sources are engine objects
// (LightObject) that add their light on each frame message; other code adds
// temporary lights with AddLight.  When the world is drawn, the context's
// ambient and directional lights go to the render context once
// (SetUpLights), and for each object drawn the four local lights that matter
// most at its position are chosen into the render context (FindBestLights).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

struct NODE;

enum ZEVLIGHT_TYPE
{
    ZEVLIGHT_AMB = 0,
    ZEVLIGHT_DIR = 1,
    ZEVLIGHT_POS = 2,
    ZEVLIGHT_SPOT = 3,
    ZEVLIGHT_POS_STATIC = 4,
    ZEVLIGHT_SPOT_STATIC = 5,
    ZEVLIGHT_BG = 11,
    ZEVLIGHT_FOG = 12,
};

// One light as the render context and vector unit 1 take it.  The colour's
// w word holds the kind as an integer.
class Light
{
public:
    Vector colour;   // r, g, b; w: ZEVLIGHT_TYPE
    Vector params;   // x: range; y, z, w: attenuation and cone terms
    Vector dir;
    Vector pos;

    // Directional: kind 1, dir = d.
    void SetDirLight(VectorDir d);
    // Point: params (range, 1, 19 / range², 1), no direction; kind 4 when
    // static, else 2.
    void SetPointLight(float range, bool isStatic);
    // Spot: params as a point light with w = 1 - 1 / (1 - cos²(ang)), and dir
    // scaled by sqrt(1 / (1 - cos²(ang))); kind 5 when static, else 3.
    void SetSpotLight(float ang, float range, VectorDir d, bool isStatic);

    void SetColour(const VectorXYZ& c) { colour.setxyz(c); }
    void SetPos(const VectorPos& p) { pos = Vector(p, 1.0f); }
    void SetDir(const VectorDir& d) { dir = Vector(d, 0.0f); }
    void SetType(int type) { colour.setwcomponent(type); }
    int GetType() const { return colour.wcomponent(); }
    // The kind as the light context reads it: the low byte of the w word.
    int Kind() const { return colour.wcomponent() & 0xFF; }
    float Range() const { return params[0]; }
    VectorXYZ GetColour() const { return VectorXYZ(colour.v); }
    VectorPos GetPos() const { return VectorPos(pos.v[0], pos.v[1], pos.v[2]); }
    VectorDir GetDir() const { return VectorDir(dir.v[0], dir.v[1], dir.v[2]); }
};
static_assert(sizeof(Light) == 64);

// Local lights chosen per object.
constexpr int LIGHTS_PER_OBJECT = 4;
constexpr int MAX_TEMP_LIGHTS = 64;

class LightContext
{
public:
    Light tempLights[MAX_TEMP_LIGHTS];
    u16 numTempLights;
    u16 numDirLights;          // cleared, not otherwise used
    VectorXYZ ambient;
    VectorDir dirLightDir[3];
    VectorXYZ dirLightCol[3];  // brightest first

    // Black ambient and directional colours, no local lights.
    void Clear();
    // Ambient lights add to the ambient colour; a directional light takes its
    // place among the three by brightness (|colour|², a tie going after the
    // held one) or is dropped; other lights are kept while fewer than 64 are
    // held.
    void Add(const Light& light);

    // Up to LIGHTS_PER_OBJECT local lights for the sphere (pos, radius), best
    // first, copied to out; returns how many.  Point and spot lights always
    // take part, static ones only when all is set.  A light scores
    // max(r, g, b) × range / distance²; one at distance 0 or beyond range +
    // radius is skipped; among equal scores the later light ranks first.
    int Choose(VectorPos pos, float radius, bool all, Light* out) const;

    // Sends the ambient and directional lights to a render context and
    // clears its local lights.  RC is the render context type (a template so
    // that this header does not depend on it).
    template <class RC>
    void SetUp(RC& rc) const
    {
        rc.nlights = 0;
        rc.SetDirectionalLights(dirLightDir[0], dirLightDir[1], dirLightDir[2], Vector(dirLightCol[0], 0.0f),
                                Vector(dirLightCol[1], 0.0f), Vector(dirLightCol[2], 0.0f), Vector(ambient, 1.0f));
    }
    // The chosen local lights become the render context's lights.
    template <class RC>
    void FindBest(RC& rc, VectorPos pos, float radius, bool all) const
    {
        rc.nlights = Choose(pos, radius, all, rc.lights);
    }
};

// The current light context.
extern LightContext* gLC;

void SetLightContext(LightContext* lc);
void AddLight(const Light& light);
void ClearLights();

template <class RC>
void SetUpLights(RC& rc)
{
    if (gLC != nullptr)
        gLC->SetUp(rc);
}

template <class RC>
void FindBestLights(RC& rc, VectorPos pos, float radius, bool all)
{
    if (gLC != nullptr)
        gLC->FindBest(rc, pos, radius, all);
    else
        rc.nlights = 0;
}

// A light source object (160 bytes), made from a light node of a model file
// or by code.  Each frame it adds its light to the current context.
class LightObject : public Object
{
public:
    static int LightObject_mh(Object* obj, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    // Type OBJT_LIGHT, the light handler, and flags: not drawn, no collision,
    // frame calls, also during cinematics.
    void Init();
    // Defaults: black, identity matrix, no node, ambient.
    void SetUp();
    // From a light node: colour (R, G, B) × intensity / 128 with A as the 4th
    // value, range and cone from extra2, the node's matrix and kind.
    void SetUp(const NODE* node);
    // Adds this frame's light.
    void Update();

    bool setUp;          // set from a node
    VectorXYZ colour;    // r, g, b and a 4th value
    u32 lightType;       // ZEVLIGHT_TYPE
    float range;
    float angRange;
};
static_assert(sizeof(LightObject) == 160);

// Light objects made by code; colours are bytes / 256.
class AmbLightObject : public LightObject
{
public:
    explicit AmbLightObject(Colour c);
};

class DirLightObject : public LightObject
{
public:
    DirLightObject(Colour c, VectorDir dir);
};

class PointLightObject : public LightObject
{
public:
    PointLightObject(Colour c, VectorPos pos, float range);
};

class SpotLightObject : public LightObject
{
public:
    SpotLightObject(Colour c, VectorPos pos, VectorDir dir, float range, float angRange);
};
