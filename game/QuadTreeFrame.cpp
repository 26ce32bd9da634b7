// One frame of the world, in its fixed order, and the post-draw list.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/FogBlur.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/StencilShadow.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "game/Backdrop.h"
#include "game/QuadTree.h"
#include "game/Rain.h"
#include "game/Water.h"
#include "game/fbfx.h"
#include "game/objblur.h"

VehicleLightCalls vehiclelights;
void (*KVWorld::drawtrace)(const char* step) = nullptr;

namespace {

// The fog is tinted with the sky 20 degrees above the horizon ahead.
constexpr float kFogSkyHeight = -0.342f;
// Shadow casters are looked for out to this view depth, and their shadows
// reach this far along the light.
constexpr float kShadowDistance = 31.25f;
constexpr float kShadowLength = 78.125f;
// City casters: the nearest ones only, their shadows cut off this far
// below their tops.
constexpr int kCityCasters = 20;
constexpr float kCityShadowDrop = 8.0f;
// Object flag: it or a descendant casts a shadow.
constexpr unsigned kCastsShadow = OBJF_SHADOW;

void Trace(const char* step)
{
    if (KVWorld::drawtrace != nullptr)
        KVWorld::drawtrace(step);
}

// A light's direction from its angles: the z row of its two turns.
VectorDir LightDirection(const LightAng& a)
{
    const Matrix m = RotX(FixAng(a.a0)) * RotY(FixAng(a.a1));
    return VectorDir(m.z[0], m.z[1], m.z[2]);
}

VectorXYZ ColourScale(Colour c)
{
    return VectorXYZ(float(c.r) / 256.0f, float(c.g) / 256.0f, float(c.b) / 256.0f);
}

Colour Scaled(Colour c, float s)
{
    return Colour(u8(float(c.r) * s), u8(float(c.g) * s), u8(float(c.b) * s), u8(float(c.a) * s));
}

// The box an object is tested for occlusion with, in its own frame: its
// collision box when that is one, else the cube of its radius.
Cuboid OcclusionBox(const Object* obj)
{
    const COLLISION* c = obj->GetCollision();
    if (c != nullptr && c->type == COLL_BOX)
        return reinterpret_cast<const CollBox*>(c)->box;
    return Cuboid(VectorPos(0.0f, 0.0f, 0.0f), obj->radius);
}

// Drawn live objects: the light choice, the model, the object told it was
// drawn, the fade put back.
void DrawLiveObject(RenderContext& rc, Object* obj, bool allLights)
{
    FindBestLights(rc, obj->mat.GetTrans(), obj->radius, allLights);
    Draw(rc, obj, obj->mat);
    obj->SendMessage(OM_WASDRAWN, reinterpret_cast<void*>(intptr_t(world.time)));
    rc.SetGlobalTransparency(1.0f);
}

// The light cones of vehicles with their lights on, added over the scene.
void DrawLightCones(RenderContext& rc)
{
    if (vehiclelights.DrawLightCone == nullptr)
        return;
    for (ObjectLink* l = world.vehlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* v = l->data;
        if (v->IsDead() || (vehiclelights.ShowsLights != nullptr && !vehiclelights.ShowsLights(v)))
            continue;
        vehiclelights.DrawLightCone(v, rc);
    }
}

// The particles leave their images' filtering and clamping set; the models,
// which send only their images' base registers, are drawn with point
// sampling and repeating images.
void RestoreModelTextureState()
{
    Renderer& r = therenderer;
    r.EndCommands();
    static const u64 modelDefaults[2][2] = {{0, GS_TEX1_1}, {0, GS_CLAMP_1}};
    if (r.AllowFor(1 + 1 + 2)) {
        r.Put(VIF_FLUSH);
        r.AddGifRegs(&modelDefaults[0][0], 2);
    }
}

}  // namespace

bool KVWorld::IsNight() const
{
    const u32 h = time_of_day / HOUR_FRAMES;
    return (h + 19) % 24 >= 13;
}

float KVWorld::ShadowStrength() const
{
    return std::clamp(-8.0f * shadowlight[1] - 1.0f, 0.0f, 1.0f);
}

void KVWorld::SetColours(const LightSet& ls)
{
    const VectorDir d = LightDirection(ls.lightang[0]);
    shadowlight = Vector(-d[0], -d[1], -d[2], 0.0f);
    if (std::memcmp(&ls.colours[4], &lightset.colours[4], 5 * sizeof(Colour)) != 0)
        bd.SetColours(ls.colours[8], ls.colours[7], ls.colours[6], ls.colours[5], ls.colours[4]);
    for (int i = 0; i < 2; i++) {
        gWeather.vFogNear[i] = ls.fognear[i];
        gWeather.vFogFar[i] = ls.fogfar[i];
        gWeather.vFogSat[i] = ls.fogsat[i];
    }
    gRain.SplashColour = ls.colours[12];
    lightset = ls;
}

// ---------------------------------------------------------------------------
// The post-draw list.

namespace {

template <class F>
void WalkPostRaw(List<RawObj>& list, F call)
{
    for (Link<RawObj>* l = list.Head(); !l->IsEOList();) {
        Link<RawObj>* next = l->Next();
        RawObj* ro = l->data;
        if (ro != nullptr && ro->messagehandler != nullptr)
            call(ro);
        l = next;
    }
}

void FlushWord()
{
    therenderer.EndCommands();
    if (therenderer.GetPtr() != nullptr && therenderer.AllowFor(1))
        therenderer.Put(VIF_FLUSH);
}

}  // namespace

void KVWorld::UpdatePostRaw(int iFrames)
{
    WalkPostRaw(rawobjPostList, [&](RawObj* ro) {
        ro->messagehandler(ro, ROM_FRAME, reinterpret_cast<void*>(intptr_t(iFrames)), nullptr, nullptr);
    });
}

void KVWorld::DrawPreTransRaw(RenderContext& rc, int iSpeed)
{
    FlushWord();
    WalkPostRaw(rawobjPostList, [&](RawObj* ro) {
        ro->messagehandler(ro, ROM_PREDRAW, &rc, nullptr, reinterpret_cast<void*>(intptr_t(iSpeed)));
    });
}

void KVWorld::DrawPostRaw(RenderContext& rc, int iSpeed)
{
    FlushWord();
    WalkPostRaw(rawobjPostList, [&](RawObj* ro) {
        ro->messagehandler(ro, ROM_DRAW, &rc, nullptr, reinterpret_cast<void*>(intptr_t(iSpeed)));
    });
}

void KVWorld::RequestDestroyPostRaw()
{
    for (Link<RawObj>* l = rawobjPostList.Head(); !l->IsEOList();) {
        Link<RawObj>* next = l->Next();
        RawObj* ro = l->data;
        if (ro != nullptr && ro->messagehandler != nullptr &&
            ro->messagehandler(ro, ROM_DESTROY, nullptr, nullptr, nullptr) != 0)
            l->Remove();
        l = next;
    }
}

// ---------------------------------------------------------------------------
// The frame.

void KVWorld::Draw(RenderContext& rc, bool drawcity, bool uselightset)
{
    Surface& draw = Platform::GetDrawBuffer();
    Surface& zbuf = Platform::GetZBuffer();
    const Colour* col = lightset.colours;

    // 1. Fog tinted with the sky ahead, 20 degrees up.
    Trace("fog");
    {
        VectorDir ahead(rc.view_world.z[0], 0.0f, rc.view_world.z[2]);
        ahead.Normalise();
        ahead.sety(kFogSkyHeight);
        ahead.Normalise();
        const Colour fogcol = bd.GetColour(ahead, col[8], col[7], col[6], col[5], col[4]);
        const float f = gWeather.vFog;
        auto mix = [f](const float* s) { return s[0] * (1.0f - f) + s[1] * f; };
        gFog.SetUp(fogcol, mix(gWeather.vFogNear), mix(gWeather.vFogFar), mix(gWeather.vFogSat));
        gFog.MakePalette(rc);
    }

    // 2. This frame's glows and visibility start empty.  Without a city
    // there is nothing of it to clear, draw or look at for water.
    Trace("clear");
    gGlows.Clear();
    if (quadtree != nullptr)
        quadtree->ClearVisibility();

    // 3. The light set's lights join those the world's light objects added
    // this tick.  Without them (an interior that brings its own ambient
    // light) the frame is lit by the light objects alone: they are still
    // installed, so that no light of an earlier frame stays on.
    Trace("lights");
    if (uselightset) {
        for (int i = 0; i < 3; i++) {
            Light l{};
            l.SetDirLight(LightDirection(lightset.lightang[i]));
            l.SetColour(ColourScale(col[i]));
            AddLight(l);
        }
        Light amb{};
        amb.SetType(ZEVLIGHT_AMB);
        amb.SetColour(ColourScale(col[3]));
        AddLight(amb);
    }
    SetUpLights(rc);

    // 4. The view's block and the transparencies.
    Trace("begin");
    rc.Begin();
    InitTransparencies(rc);
    // The vertex fog the palette installs gives every vertex the full fog
    // amount (its two planes are the same), which would paint fading and
    // transparent models in the fog colour; they are fogged by the fog pass
    // over the frame's depth like the rest of the scene instead.
    SetFogTransparencies(0);

    // 5, 6. The city: what is visible, its roads, the glows' reflections
    // in them, its objects.
    if (drawcity && quadtree != nullptr) {
        Trace("visibility");
        quadtree->CalcSortedVisibility(rc);
    }
    if (quadtree != nullptr) {
        Trace("roads");
        quadtree->DrawRoads(rc);
    }
    Trace("reflections");
    gGlows.DrawRefl(rc);
    if (quadtree != nullptr) {
        Trace("cityobjects");
        quadtree->DrawObjects(rc);
    }

    // 7. The live objects; characters wait until after the shadows.
    Trace("liveobjects");
    const bool occlude = drawcity && mode != WORLD_MODE_CINEMA && quadtree != nullptr;
    std::vector<Object*> characters;
    for (ObjectLink* l = objectlist.Head(); !l->IsEOList();) {
        ObjectLink* next = l->Next();
        Object* obj = l->data;
        if (obj->IsDead()) {
            l->Remove();
            l = next;
            continue;
        }
        l = next;
        if (obj->parent != nullptr || rc.TestCull(obj->mat.GetTrans(), obj->radius) != 0)
            continue;
        if (occlude && Occlusion::bIsOccluded(obj->mat, OcclusionBox(obj), false))
            continue;
        if (obj->type == OBJT_CHARACTER) {
            obj->refcount++;
            characters.push_back(obj);
            continue;
        }
        DrawLiveObject(rc, obj, obj->type != OBJT_STATIC);
    }

    // 8.
    Trace("cleartexture");
    therenderer.ClearTexture();

    // 9. Shadows of live and city objects, and at night the light cones.
    const bool night = IsNight();
    const float s = ShadowStrength();
    if (s > 0.0f) {
        Trace("shadows");
        // shadowlight points toward the light; the volumes run the way its
        // light travels, away from it.
        const VectorDir light(-shadowlight[0], -shadowlight[1], -shadowlight[2]);
        const Vector lightv(light[0], light[1], light[2], 0.0f);
        const Cuboid extent = ShadowExtent(rc, light, kShadowDistance, kShadowLength);
        StencilShadows ss(rc, draw, zbuf, draw.width, draw.height);
        ss.InitRender();
        for (ObjectLink* l = objectlist.Head(); !l->IsEOList(); l = l->Next()) {
            Object* obj = l->data;
            if (obj->IsDead() || !(obj->flags & kCastsShadow) ||
                (obj->parent != nullptr && (obj->parent->flags & kCastsShadow)))
                continue;
            if (!Overlaps(obj->GetBox(), extent))
                continue;
            const float y = obj->mat.w[1];
            ss.Extrude(obj, lightv, Plane(0.0f, -1.0f, 0.0f, y + 1.0f));
        }
        ss.ExitRender(Scaled(col[10], s));
        if (night) {
            Trace("cones");
            DrawLightCones(rc);
        }
        if (quadtree != nullptr) {
            // The nearest city casters within the extent.
            SortedTree<Instance, kCityCasters> nearest;
            nearest.Clear();
            const VectorPos eye(rc.view_world.w[0], rc.view_world.w[1], rc.view_world.w[2]);
            for (Visible2D v(extent, QN_INSTANCES); *v; ++v) {
                QuadNode* n = *v;
                for (int k = 0; k < n->nObjects; k++) {
                    Instance& in = n->objects[k];
                    bool casts;
                    if (in.obj != nullptr) {
                        casts = (in.obj->flags & kCastsShadow) && in.obj->mdlfile != nullptr &&
                                in.obj->mdlfile->shadows != nullptr;
                    } else {
                        const MdlfileCache& m = quadtree->mdlfiles[in.mdlfileid];
                        casts = m.Resident() && (m.obj.flags & kCastsShadow);
                    }
                    if (!casts)
                        continue;
                    const float d = (in.Pos() - eye).LengthSq();
                    if (nearest.ShouldAdd(d)) {
                        float out;
                        nearest.Add(&in, d, &out);
                    }
                }
            }
            ss.InitRender();
            nearest.ForEach([&](Instance* in, float) {
                if (in->obj != nullptr) {
                    const Object* o = in->obj;
                    ss.Extrude(o, lightv, Plane(0.0f, -1.0f, 0.0f, o->mat.w[1] + o->radius + kCityShadowDrop));
                    return;
                }
                const MdlfileCache& m = quadtree->mdlfiles[in->mdlfileid];
                const float r = m.obj.radius;
                ss.Extrude(&m.obj, in->GetDrawMatrix(&m), lightv,
                           Plane(0.0f, -1.0f, 0.0f, in->loc[1] + r + kCityShadowDrop));
            });
            ss.ExitRender(Scaled(col[11], s));
        }
    } else if (night) {
        Trace("cones");
        DrawLightCones(rc);
    }

    // 10. The characters held back.
    Trace("characters");
    for (Object* obj : characters) {
        DrawLiveObject(rc, obj, true);
        ReleaseObjectRef(obj);
    }
    characters.clear();

    // 11. No lights from here on.
    Trace("lightsoff");
    rc.nlights = 0;
    rc.SetLights(Matrix(true));
    therenderer.EndCommands();

    // 12.
    Trace("predraw");
    DrawPreTransRaw(rc, 1);

    // 13. Fog over the scene, then the sky behind it.
    Trace("fogdraw");
    gFog.Draw(draw, zbuf);
    Trace("sky");
    bd.Draw(rc);

    // 14. Water, when a cell of the window reaches below sea level in view.
    if (oceanenable && quadtree != nullptr) {
        for (int i = 0; i < 9; i++) {
            const QuadNode* root = quadtree->grid[i].root;
            if (root != nullptr && root->ext.max[1] > 0.0f && !root->ext.TestCull(rc.world_cull)) {
                Trace("water");
                MC2TestWater(rc);
                break;
            }
        }
    }

    // 15. The effects over the scene.
    Trace("blur");
    gBlur.Draw(rc, draw);
    Trace("motionblur");
    gMotionBlur.Draw(draw);
    Trace("blurtrails");
    RenderObjectBlurs(rc);
    Trace("transparencies");
    DrawTransparencies(rc);
    Trace("particles");
    partList.Draw(rc);
    Trace("rain");
    gRain.Draw(rc);
    RestoreModelTextureState();
    Trace("glows");
    gGlows.DrawReal(rc);
    Trace("headlights");
    if (vehiclelights.DrawHeadlights != nullptr)
        vehiclelights.DrawHeadlights();
    rc.End();
}
