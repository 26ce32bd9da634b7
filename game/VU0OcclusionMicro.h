// The vector-unit-0 routine of the occlusion test: is any part of a
// screen-space edge hidden by none of the occluder edges stored in VU0 data
// memory?  Occlusion::Init uploads its program image (VU0MicrocodeOcclusion)
// to VU0 micro memory at VU0Custom every frame; Occlusion keeps the edge data
// in VU0 data memory (layout in ZevEngine2/Utilities/Occlusion.h) and calls
// the routine once per silhouette edge of a box it tests.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"

// Program id of the routine's placeholder instructions in VU0 micro memory.
constexpr u32 VU0OCCLUSION_PROGRAM_ID = 0x11;
constexpr int VU0OCCLUSION_INSTRUCTIONS = 96;
// The placeholder image for VU0::UploadCustomMicrocode.
extern u64 VU0MicrocodeOcclusion[VU0OCCLUSION_INSTRUCTIONS];

// VU0 data memory the routine reads: the edge count (2 x edges) in quadword
// 0's w word, edge k's rows at quadwords 2k and 2k + 1; the stack of pieces
// still to test grows down from quadword VU0OCCLUSION_STACKTOP.
constexpr u32 VU0OCCLUSION_STACKTOP = 256;

// left and right are the edge's ends in occlusion-screen space (left.x <=
// right.x, both within x -1 .. 1).  Returns 1 when some part of the edge is
// hidden by no stored edge, 0 when all of it is hidden.  The edges are tried
// in their stored order (sorted by left end); a piece set aside where an edge
// hides the middle of another is tried against the edges after that one.
// Answers 1 (visible) when the routine is not resident at VU0Custom or its
// stack of pieces runs out, so that nothing is ever hidden wrongly.
int VU0OcclusionMicro(const Vector& left, const Vector& right);
