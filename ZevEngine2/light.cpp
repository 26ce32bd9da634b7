// Lights: the light context, light selection and light objects.
#include "ZevEngine2/light.h"

#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"

LightContext* gLC;

// ---------------------------------------------------------------------------
// Light

void Light::SetDirLight(VectorDir d)
{
    SetType(ZEVLIGHT_DIR);
    dir = Vector(d, 0.0f);
}

void Light::SetPointLight(float range, bool isStatic)
{
    params = Vector(range, 1.0f, 19.0f / (range * range), 1.0f);
    SetType(isStatic ? ZEVLIGHT_POS_STATIC : ZEVLIGHT_POS);
    dir = Vector(0.0f, 0.0f, 0.0f, 0.0f);
}

void Light::SetSpotLight(float ang, float range, VectorDir d, bool isStatic)
{
    float c = Cos(ang);
    float k = 1.0f / (1.0f - c * c);
    params = Vector(range, 1.0f, 19.0f / (range * range), 1.0f - k);
    dir = Vector(d * sqrtf(k), 0.0f);
    SetType(isStatic ? ZEVLIGHT_SPOT_STATIC : ZEVLIGHT_SPOT);
}

// ---------------------------------------------------------------------------
// LightContext

void LightContext::Clear()
{
    ambient = VectorXYZ::zero();
    numTempLights = 0;
    numDirLights = 0;
    for (VectorXYZ& c : dirLightCol)
        c = VectorXYZ::zero();
}

void LightContext::Add(const Light& light)
{
    switch (light.Kind())
    {
    case ZEVLIGHT_AMB:
        ambient.setxyz(ambient + light.GetColour());
        return;
    case ZEVLIGHT_DIR:
    {
        float b = light.GetColour().LengthSq();
        for (int i = 0; i < 3; i++)
        {
            if (dirLightCol[i].LengthSq() < b)
            {
                for (int j = 2; j > i; j--)
                {
                    dirLightCol[j] = dirLightCol[j - 1];
                    dirLightDir[j] = dirLightDir[j - 1];
                }
                dirLightCol[i] = light.GetColour();
                dirLightDir[i] = light.GetDir();
                return;
            }
        }
        return;   // no brighter than any held one
    }
    default:
        if (numTempLights < MAX_TEMP_LIGHTS)
            tempLights[numTempLights++] = light;
        return;
    }
}

int LightContext::Choose(VectorPos pos, float radius, bool all, Light* out) const
{
    const Light* held[LIGHTS_PER_OBJECT];
    float score[LIGHTS_PER_OBJECT];
    int n = 0;
    for (int i = 0; i < numTempLights; i++)
    {
        const Light& l = tempLights[i];
        int kind = l.Kind();
        bool local = kind == ZEVLIGHT_POS || kind == ZEVLIGHT_SPOT;
        bool isStatic = kind == ZEVLIGHT_POS_STATIC || kind == ZEVLIGHT_SPOT_STATIC;
        if (!local && !(isStatic && all))
            continue;
        float d2 = VectorXYZ(pos - l.GetPos()).LengthSq();
        float range = l.Range();
        float reach = range + radius;
        if (d2 == 0.0f || d2 >= reach * reach)
            continue;
        // Spot lights score like point lights: the cone is not considered.
        float s = std::max(std::max(l.colour[0], l.colour[1]), l.colour[2]) * range / d2;
        if (!(s > 0.0f))
            continue;
        // Before every held light that scores no more: the later of equals first.
        int at = 0;
        while (at < n && score[at] > s)
            at++;
        if (at == LIGHTS_PER_OBJECT)
            continue;
        for (int m = std::min(n, LIGHTS_PER_OBJECT - 1); m > at; m--)
        {
            held[m] = held[m - 1];
            score[m] = score[m - 1];
        }
        held[at] = &l;
        score[at] = s;
        if (n < LIGHTS_PER_OBJECT)
            n++;
    }
    for (int i = 0; i < n; i++)
        out[i] = *held[i];
    return n;
}

void SetLightContext(LightContext* lc)
{
    gLC = lc;
}

void AddLight(const Light& light)
{
    if (gLC != nullptr)
        gLC->Add(light);
}

void ClearLights()
{
    if (gLC != nullptr)
        gLC->Clear();
}

// ---------------------------------------------------------------------------
// LightObject

int LightObject::LightObject_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
    {
        // obj is the creation context here, not an object.
        LightObject* l = new LightObject;
        if (l != nullptr)
            l->SetUp();
        return (int)(intptr_t)l;
    }
    return static_cast<LightObject*>(obj)->mh(msg, data);
}

int LightObject::mh(OBJMESSAGE msg, void*)
{
    switch (msg)
    {
    case OM_FRAME:
        Update();
        return 0;
    case OM_INIT:
        if (mdlfile != nullptr && !setUp && index < mdlfile->nNodes)
            SetUp(mdlfile->GetNode(index));
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

void LightObject::Init()
{
    flags |= OBJF_HIDDEN | OBJF_NOCOLLISION | OBJF_FRAMECALL | OBJF_CINEMAFRAME;
    type = OBJT_LIGHT;
    messagehandler = LightObject_mh;
}

void LightObject::SetUp()
{
    Init();
    colour = VectorXYZ::zero();
    mat = Matrix(true);
    index = 0xFFFF;
    setUp = false;
    lightType = ZEVLIGHT_AMB;
}

void LightObject::SetUp(const NODE* node)
{
    Init();
    // pos.w holds the colour bytes R, G, B, A; ang.w the intensity.
    u32 rgba = (u32)node->pos.wcomponent();
    float k = node->ang[3] / 128.0f;
    colour = VectorXYZ((rgba & 0xFF) * k, ((rgba >> 8) & 0xFF) * k, ((rgba >> 16) & 0xFF) * k);
    colour.setw((float)(rgba >> 24));
    range = (node->extra2 & 0xFFFF) / 4096.0f;
    angRange = (node->extra2 >> 16) / 32768.0f;
    mat = node->GetMatrix();
    setUp = true;
    lightType = node->Model() - MDL_LIGHT;
}

void LightObject::Update()
{
    Light light;
    memset(&light, 0, sizeof light);
    light.SetColour(colour);
    Matrix world = GetWorldMatrix();
    VectorDir z(world.z[0], world.z[1], world.z[2]);
    switch (lightType)
    {
    case ZEVLIGHT_AMB:
        light.SetType(ZEVLIGHT_AMB);
        break;
    case ZEVLIGHT_DIR:
        light.SetDirLight(z);
        break;
    case ZEVLIGHT_POS:
    case ZEVLIGHT_POS_STATIC:
        light.SetPos(world.GetTrans());
        light.SetPointLight(range, lightType == ZEVLIGHT_POS_STATIC);
        break;
    case ZEVLIGHT_SPOT:
    case ZEVLIGHT_SPOT_STATIC:
        light.SetPos(world.GetTrans());
        light.SetSpotLight(angRange, range, z, lightType == ZEVLIGHT_SPOT_STATIC);
        break;
    default:
        return;   // background and fog kinds give no light here
    }
    AddLight(light);
}

namespace {

VectorXYZ ColourOf(Colour c)
{
    VectorXYZ v(c.r / 256.0f, c.g / 256.0f, c.b / 256.0f);
    v.setw(c.a / 256.0f);
    return v;
}

}  // namespace

AmbLightObject::AmbLightObject(Colour c)
{
    SetUp();
    Init();
    colour = ColourOf(c);
    mat = Matrix(true);
    lightType = ZEVLIGHT_AMB;
}

DirLightObject::DirLightObject(Colour c, VectorDir dir)
{
    SetUp();
    Init();
    colour = ColourOf(c);
    lightType = ZEVLIGHT_DIR;
    mat = LookAlong(dir);
}

PointLightObject::PointLightObject(Colour c, VectorPos pos, float r)
{
    SetUp();
    Init();
    colour = ColourOf(c);
    lightType = ZEVLIGHT_POS;
    mat = TransMatrix(pos);
    range = r;
}

SpotLightObject::SpotLightObject(Colour c, VectorPos pos, VectorDir dir, float r, float ang)
{
    SetUp();
    Init();
    colour = ColourOf(c);
    lightType = ZEVLIGHT_SPOT;
    mat = LookFromMatrix(pos, dir);
    range = r;
    angRange = ang;
}
