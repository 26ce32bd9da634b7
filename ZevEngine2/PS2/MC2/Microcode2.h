// The vector-unit-1 programs as the EE sends them, and the VU1 data-memory
// plan the EE side relies on.  The routines themselves and the layouts they
// read and write are described in ZevEngine2/PS2/MC2/README.md.
//
// `Microcode2` is the main program's VIF upload stream (eight MPG codes, 910
// quadwords), sent by reference at the start of every view.  The overlays
// are raw program images for VIFpacket::RefMpg at VU1 address 0x3900
// (immediate MC2_OVERLAY_IMM); each replaces the previous one.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/MC2/Routines.h"

constexpr u32 MICROCODE2_QWC = 910;
constexpr u32 MC2_OVERLAY_IMM = 0x720;   // 0x3900 / 8
// Overlay images in quadwords (an odd instruction count is padded).
constexpr u32 MC2EXTRUDE_QWC = 41;       // 81 instructions, 648 bytes
constexpr u32 PARTMICROCODE_QWC = 67;    // 133 instructions, 1,064 bytes
constexpr u32 MCROADGENERATOR_QWC = 60;  // 119 instructions, 952 bytes

extern u_long128 Microcode2[MICROCODE2_QWC];
extern u64 mc2ExtrudeEE[2 * MC2EXTRUDE_QWC];
extern u64 PartMicrocode[2 * PARTMICROCODE_QWC];
extern u64 mcRoadGeneratorEE[2 * MCROADGENERATOR_QWC];

// VU1 data memory (quadword addresses).
enum : u32 {
    MC2_INPUT_OFFSET = 216,    // OFFSET of the input double buffer without a palette
    MC2_OUTBUF1 = 432,         // the two output buffers without a palette
    MC2_OUTBUF2 = 649,
    MC2_MAXBATCH = 72,         // vertices of one batch at most
    MC2_PATCHSLOT0 = 0x40,     // the two Bezier patch slots, 16 quadwords each
    MC2_PATCHSLOT1 = 0x50,
    MC2_PATCHWORK = 96,        // 96..291 the patch routine's vertices and steps
    MC2_MAXTESSELATION = 32,   // blends (2t quadwords) stay below the patch slots
    // The road generator's areas (while the road pass has set BASE 289):
    // curve records from 0 (four quadwords each, ended by a zero quadword),
    // the direction table at 217, the slices at 256 (ITOP of them), the
    // strip header at 288 and the strip's vertices from 289 (two slots of
    // three quadwords per slice); its output buffers lie above them.
    MC2_ROAD_DIRECTIONS = 217,
    MC2_ROAD_SLICES = 256,
    MC2_ROAD_STRIP = 288,
    MC2_ROAD_MAXSLICES = 32,
    MC2_ROAD_MAXRECORDS = 54,  // 4 x 54 + 1 quadwords end below the directions
    MC2_ROAD_OUTBUF1 = 481,    // 64 vertices each, below the instance matrices
    MC2_ROAD_OUTBUF2 = 674,
    MC2_ROAD_MARK = 896,       // z word: 1941 once a batch's strips are done
    MC2_INSTANCES = 870,       // 870..897 instance matrices (mc2Instances)
    MC2_MAX_INSTANCES = 7,
    MC2_CLIPSCALE = 898,       // clip_scale (its w: the guard-band factor)
    MC2_WORLDCULL = 899,       // 899..902 world to cull space
    MC2_LIGHTDIRS = 903,       // 903..905 directional light directions in object space
    MC2_LIGHTCOLOURS = 906,    // 906..909 directional colours, ambient (w: object fade)
    MC2_LIGHTCHAIN = 910,      // the extra-lights chain
    MC2_CAMERAPOS = 926,
    MC2_TEXMATRIX0 = 927,      // 927..930
    MC2_TEXMATRIX1 = 931,      // 931..934
    MC2_PATCHSETUP = 935,      // patch drawing: GIF tag bits 32..63, register list, colour
    MC2_PROGRAM = 940,         // 940..1003 the material program kept for the batches
    MC2_PROGRAM_QWC = 64,
    MC2_SIDEPACKET = 1004,     // 1004..1023 clipped polygons and copied register packets
    MC2_SIDEPACKET_QWC = 20,
};

// The normal slot of a vertex (VSA_NORMAL) that lighting reads.
constexpr u32 MC2_NORMAL_SLOT = 2;
