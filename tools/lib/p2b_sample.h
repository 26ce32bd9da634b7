// Sample model files built with the writer, for tests, benchmarks and the
// sample disc: a textured, lit cube with two levels of detail, a checker
// texture, a point light and a collision box; and a skinned arm bent by two
// bones.
//
// The materials follow the vector-unit-1 contract
// (ZevEngine2/PS2/MC2/README.md).  A call list is
//     mc2SetMaterial {stride, program length + 1}
//     the material program: [mc2Skin {3, 2}] mc2Transform, mc2BFCull {0},
//         mc2DoLighting {colour} or mc2FillColour {colour},
//         mc2KickFlip {1, GIF tag bits 32..63 of a triangle list, 0x412}
//     mc2Stop
// and the vertex data one VIF stream of batches, each
//     NOP, NOP, STCYCL 4/4, UNPACK V4-32 (relative to the double buffer, at
//     quadword 0) of count x stride quadwords, the vertices, ITOP count,
//     MSCNT.
// A vertex is stride quadwords: slot 0 the position (x, y, z and w = 256.0:
// drawn), slot 1 the texture coordinates (u, v), slot 2 the normal and, for
// skinned models, slot 3 the skinning weights (x, y, z) with their palette
// numbers in the bytes of w.  A material's descriptor is its stride.
#pragma once

#include "tools/lib/p2b.h"

namespace tools {

// Nodes and ids of the sample cube file.
enum SampleCube
{
    kCubeRootNode = 0,     // model 0 (textured, lit), collision 0
    kCubeLodNode = 1,      // level-of-detail node: model 1 beyond the default distance
    kCubeLightNode = 2,    // a point light above the cube
    kCubeRootId = 1,       // the root node's id (extra)
    kCubeLightId = 2,
    kCubeVertices = 36,    // 12 triangles
    kCubeStride = 3,
};

// Nodes and ids of the sample arm file: a bar along x from -2 to 2 whose
// left half follows bone 1 and right half bone 2, blended over the middle.
enum SampleArm
{
    kArmRootNode = 0,      // model 0 (skinned, textured, lit)
    kArmBone1Node = 1,     // at (-2, 0, 0) under the root: palette matrix 1
    kArmBone2Node = 2,     // at (2, 0, 0) under bone 1 (the arm's middle): palette matrix 2
    kArmRootId = 1,
    kArmBone1Id = 11,
    kArmBone2Id = 12,
    kArmStride = 4,
    kArmBatch = 48,        // vertices per batch: fits VU1 with palettes of up to 55 matrices
};

// GS primitive bits of a kick: triangle list, Gouraud shading, texturing.
constexpr u32 kPrimTriangles = 3;
constexpr u32 kPrimGouraud = 1 << 3;
constexpr u32 kPrimTextured = 1 << 4;

// A call-list command carrying a colour (1.0 = full intensity) in x, y, z and
// the top half of w, the token in the low half of w; slot goes in the low
// half of x (the vertex-colour slot of the Mult and pre-lit lightings).
u128 ColourCommand(Tok tok, float r, float g, float b, float a, u32 slot = 0);
// A kick command {k, GIF tag bits 32..63 for prim with ST, RGBAQ, XYZF2, 0x412}.
u128 KickCommand(Tok tok, u32 k, u32 prim);
// A float vector as a quadword.
u128 FloatQuad(float x, float y, float z, float w);
// The vertex data of vertices (stride quadwords each) in batches of at most
// perBatch vertices.
std::vector<u128> VertexStream(const std::vector<u128>& vertices, int stride, int perBatch);

// A flat four-cornered face for QuadMaterial: its corners in turn round the
// face, each with its texture coordinates, and the normal of the side it is
// seen from.
struct TexQuad
{
    VectorPos corner[4];
    float u[4], v[4];
    VectorDir normal;
};

// One opaque material drawing the quads, two triangles each, their backs
// culled: textured with texture `texid` (TEXID_NONE for none), lit when `lit`,
// else filled with `fill`.  With `repeat` the texture repeats beyond its
// edges, so that coordinates past 1 tile it across a large face.
P2BMaterial QuadMaterial(const std::vector<TexQuad>& quads, u16 texid, bool lit, Colour fill, bool repeat);

// A cube of half size `half` about the origin: one opaque material using
// texture `texid` (TEXID_NONE for none), lit when `lit`, else filled with
// `fill`; back faces culled.
P2BModel CubeModel(float half, u16 texid, bool lit, Colour fill = Colour(140, 115, 77, 128));
// The same for a box of half sizes hx, hy, hz.
P2BModel BoxModel(float hx, float hy, float hz, u16 texid, bool lit, Colour fill = Colour(140, 115, 77, 128));

// A sphere of `radius` about the origin whose texture coordinates come from
// the environment: `env` is tokReflection or tokRefraction, reading the view
// matrix the model set-up sends for reflective models (flagged so); one
// opaque, lit material using texture `texid`, back faces culled.
P2BModel EnvironmentSphere(float radius, u16 texid, Tok env);

// A size x size checker of two colours, 8-bit indexed.
TextureImage CheckerTexture(int size, Colour a, Colour b);

// The sample file description: the cube (half size 1) at the origin with its
// lower level (a cube of half size 1, untextured) and a point light 3 units
// above it (y down; warm white of about 1.5, range 10), a 16 x 16 checker
// texture and a box collision of the cube's size.
P2BFile SampleCubeFile();

// The arm's model: skinned (palette matrices 1 and 2), textured with texture
// `texid`, lit.
P2BModel ArmModel(u16 texid);
// The sample arm file: the arm, its two bones and a 16 x 16 checker texture.
P2BFile SampleArmFile();

}  // namespace tools
