// Render contexts: one view each.  A RenderContext holds the screen window and
// depth range, the projection, the camera and every matrix derived from them,
// the culling and clipping tests, the directional lights, fog and up to eight
// local lights.  Drawers test objects against it and call SetLights per
// object; Begin starts the view's work on vector unit 1 each frame by sending
// the microcode again with the view's global constants (the memory plan is in
// ZevEngine2/PS2/MC2/README.md).  The game's main view is the global `rc`.
//
// Conventions: vectors multiply matrices as rows (p * M), so "M x p" below
// means the row vector p mapped through M.  Cull space is the projection's
// homogeneous space: a point is inside the view when -w <= x, y, z <= w.
// Clip space is cull space with x and y scaled by `guardmult`: inside it the
// screen coordinates stay within the GS's +-1024-pixel guard band, so only
// geometry leaving clip space (or crossing the near plane) needs clipping.
//
// Defaults chosen for a new context (the game sets what it uses): a 640 x 512
// window at the GS offset with the game's depth range 1 .. 16,000,000, aspect
// factors 1, depth range of the projection 0.1 .. 2000, a perspective
// projection of zoom 1, the camera at the origin looking along +z, guard band
// 1024 pixels, mode 0, tessellation 8 (8 x 8 points per Bezier patch), no fog
// (mode 0, grey, planes that give no fog), no directional light with a white
// ambient of full opacity (unlit geometry shows its own colours), no local
// lights.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

// Which projection set-up ran last (repeated by ZOffset).
enum PERSPECTIVECALL {
    PERSPECTIVECALL_PERSPECTIVE = 0,
    PERSPECTIVECALL_PARALLEL = 1,
    PERSPECTIVECALL_INFINITE = 2,
};

constexpr int RC_MAXLIGHTS = 8;

class RenderContext
{
public:
    float scrw, scrh;           // viewport width and height
    float ax, ay;               // aspect factors
    float ay2;                  // ay * viewport scale x / viewport scale y
    float guardband;            // guard band half-width in pixels (stored for callers)
    float guardmult;            // max(viewport scale x, y) / 1024
    float nearz, farz;          // depth range of the projection
    Matrix normal_light;        // transposed negated directions of the three directional lights
    Matrix light_colour;        // rows: directional colours 1, 2, 3, ambient (its w: the object fade)
    Matrix view_clip;           // view_cull with x and y scaled by guardmult
    Matrix view_cull;           // the projection
    Matrix cull_view;           // its inverse
    Vector cull_scale, clip_scale;   // radius factors for sphere tests in cull and clip space
    Vector view_scale;          // viewport scale x, y times the projection's x.x and y.y
    Matrix view_screen;         // projection * viewport
    Matrix viewport_mat;        // scale by viewport_scale, translate by viewport_trans
    Vector viewport_scale, viewport_trans;
    Matrix world_screen, world_view, world_clip, world_cull, view_world, cull_world;
    int fog_mode;               // 0 off, 1 planes relative to the camera, else planes in world space
    float fog_min, fog_max;     // 0.99609375 - the caller's min and max
    Colour fog_colour;
    Vector fog_num, fog_den;    // fog amount = (p . num) / (p . den)
    int mode;
    int tesselation;
    PERSPECTIVECALL lastperspectivecall;
    float lastperspectivezoom;
    int nlights;
    Light lights[RC_MAXLIGHTS];

    RenderContext();

    // ------------------------------------------------------------- set-up
    // Screen window in GS primitive coordinates (with the 2048 offset) and
    // the depth range the projection's -1 .. 1 maps to.
    void SetViewport(float xmin, float xmax, float ymin, float ymax, float zmin, float zmax);
    void SetAspectRatio(float _ax, float _ay);
    void SetZRange(float _nearz, float _farz);
    void SetPerspective(float zoom);
    void SetParallel(float zoom);
    void SetPerspectiveInfinite(float zoom);
    void SetProjection(const Matrix& proj, const Matrix& invproj);
    // The camera's world matrix.
    void SetCameraMatrix(const Matrix& camera);
    // Moves the depth range by vOffset and repeats the projection and camera
    // set-up (a depth bias for decals and the like).
    void ZOffset(float vOffset);
    void SetGuardBand(float g) { guardband = g; }
    void SetMode(int m) { mode = m; }
    void SetFog(int _mode, Colour colour, Vector num, Vector den, float max, float min);
    void SetDirectionalLights(VectorDir d0, VectorDir d1, VectorDir d2, Vector col1, Vector col2, Vector col3,
                              Vector amb);
    // Clamped to 0 .. 8.
    void SetNumLights(int n);
    // Light i, i clamped to 0 .. 7.
    Light& GetLight(int i);
    // The current object fade: the ambient colour's w, which vector unit 1
    // multiplies into every vertex alpha.
    void SetGlobalTransparency(float a) { light_colour.w.setw(a); }
    float GetGlobalTransparency() const { return light_colour.w[3]; }
    // The world-to-view matrix.
    const Matrix& GetView() const { return world_view; }

    // -------------------------------------------------------------- tests
    // The six clip flags (CLIP_*, Extent.h) of the point: x, y, z against
    // +-w; 0 = inside.  A point behind the eye is outside (CLIP_NEGZ).
    int TestCull(VectorPos pos) const;
    // The flags (CLIP_*) of the planes the sphere lies wholly outside of; 0
    // when any part of it may be in view (CLIP_POSZ: beyond the far plane,
    // CLIP_NEGZ: nearer than the near plane).
    int TestCull(VectorPos pos, float radius) const;
    // 1 when all eight corners lie outside one and the same plane of the cull
    // volume (the box is out of view), else 0.
    int TestCull(const Cuboid& box) const;
    int TestCull(const Cuboid& box, const Matrix& mat) const;
    // True when the sphere is not wholly inside the guard band and in front
    // of the near plane: its geometry needs clipping.
    bool TestClip(VectorPos pos, float radius) const;
    // Mip level term for a sphere: about 16 * log2(depth of its nearest
    // point) + mipK; 0 when that point lies behind the eye.
    int MipTest(VectorPos pos, float radius, int mipK) const;
    // The GS depth of a point for 2-D drawing that meets the scene's depth:
    // `screen` is the point by world_screen (x, y, z, w).  The vector unit
    // writes depth the other way from the projection's z (nearer pixels carry
    // larger Z, so the scene tests greater or equal), so the depth is the
    // viewport's z mirrored about its middle, held within its range.
    u32 ScreenDepth(const Vector& screen) const;

    // ------------------------------------------------- per frame, per object
    // Sends the microcode and the view's constants (once per frame per view,
    // before any of its drawing).
    void Begin();
    void End() {}
    // Object at world matrix `mat`: its light directions and the extra-lights
    // chain (local lights, fog) in the object's space.
    void SetLights(const Matrix& mat);
    // The local lights as they are (world space), no fog, written straight
    // into vector-unit memory (no command block).
    void SetLightsDirect();

private:
    void ApplyProjection(PERSPECTIVECALL call, float zoom);
    // Writes the extra-lights chain for object matrix `mat` (null: as the
    // lights are, no fog) into q; returns its length in quadwords.
    int BuildLightChain(u128* q, const Matrix* mat) const;
};
