// Sample model files built with the writer, for tests and for the sample
// disc: a textured, lit cube with two levels of detail, a checker texture, a
// point light and a collision box.
//
// The cube's materials follow one simple stream layout, which the model
// drawer is to read: the call list sets the material (tokSetMaterial with the
// vertex count in x), sends the GIF tag of a textured, Gouraud-shaded
// triangle list (tokGiftag and one tag quadword), transforms, lights when the
// model is lit, kicks and stops; the vertex data is one VIF stream, STCYCL
// 4/4 and an UNPACK V4-32 into the input buffer's other half (relative, at
// quadword 0) of three quadwords per vertex (position x, y, z, 1; normal x,
// y, z, 0; texture s, t, 1, 0), then MSCNT.
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
};

// A cube of half size `half` about the origin: one opaque material using
// texture `texid` (TEXID_NONE for none), lit when `lit`.
P2BModel CubeModel(float half, u16 texid, bool lit);

// A size x size checker of two colours, 8-bit indexed.
TextureImage CheckerTexture(int size, Colour a, Colour b);

// The sample file description: the cube (half size 1) at the origin with its
// lower level (a cube of half size 1, untextured) and a point light 3 units
// above it (y down), a 16 x 16 checker texture and a box collision of the
// cube's size.
P2BFile SampleCubeFile();

}  // namespace tools
