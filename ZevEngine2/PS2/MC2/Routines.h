// Entry addresses of the vector-unit-1 microcode's routines in VU1 program
// memory (bytes).  A command quadword names its routine by address / 8 in its
// w word (or in the low 16 bits of w when w carries a float); the interpreter
// jumps there.  Overlays share 0x3900: only one is loaded at a time.
#pragma once

enum MC2ROUTINE : unsigned {
    // The command interpreter: MSCAL 0 runs it over the block just unpacked.
    mc2Interpret = 0x0,
    mc2Nop = 0x28,
    mc2Stop = 0x50,
    mc2Break = 0x60,
    mc2SetViewport = 0x80,
    mc2SetLocal = 0x90,
    mc2SetClipping = 0x200,
    mc2SetBuffers = 0x210,
    mc2ProcessVerts = 0x238,
    // Where MSCNT continues after a block that set a material: the batch loop.
    mc2Process1 = 0x240,
    // The strip routine overlays call (the road generator): {count} at the
    // address it is given, then count vertices of the material's stride,
    // run through the material's first pass as mc2ProcessVerts does.
    mc2Process = 0x248,
    mc2SetMaterial = 0x268,
    mc2EndPass1 = 0x358,
    mc2EndPass = 0x390,
    mc2Instances = 0x438,
    mc2Giftag = 0x630,
    mc2GiftagCopy = 0x668,
    mc2Kick = 0x6C0,
    mc2KickFlipLong = 0x710,
    mc2KickFlip = 0x750,
    mc2KickClipHomo = 0x918,
    mc2SetGlobals = 0xB08,
    mc2UnpackADC = 0xBB8,
    mc2UnpackNormals = 0xC68,
    mc2BFCull = 0xD08,
    mc2TwoSided = 0xE88,
    mc2BFCullSwap = 0x1088,
    mc2SetUV = 0x1138,
    mc2TransformUVnorm = 0x11D0,
    mc2TransformUV = 0x1238,
    mc2RandomClamp = 0x1328,
    mc2AlphaReg = 0x1378,
    mc2Transform = 0x13A0,
    mc2TransformClipped = 0x1570,
    mc2TransformCompressed = 0x1800,
    mc2TransformCompressedClipped = 0x1988,
    mc2CopyColour = 0x1BD0,
    mc2FillColour = 0x1C38,
    // The lighting steps; the compressed pre-lit forms share the plain ones'
    // entries (pre-lit lighting reads no normals of its own).
    mc2DoLightingCompressedFlip = 0x1C80,
    mc2DoLightingFlip = 0x1CB8,
    mc2DoLightingCompressed = 0x1D08,
    mc2DoLighting = 0x1DB0,
    mc2DoLightingCompressedMultFlip = 0x1EA8,
    mc2DoLightingMultFlip = 0x1ED0,
    mc2DoLightingCompressedMult = 0x1F08,
    mc2DoLightingMult = 0x1F88,
    mc2DoLightingPreLitFlip = 0x20D0,
    mc2DoLightingCompressedPreLitFlip = 0x20D0,
    mc2DoLightingPreLit = 0x2108,
    mc2DoLightingCompressedPreLit = 0x2108,
    mc2NoExtraLights = 0x21A8,
    mc2ClampLights = 0x21B8,
    mc2GeneralLight = 0x2240,
    mc2Fog = 0x2420,
    mc2Reflection = 0x2598,
    mc2Refraction = 0x26C0,
    mc2Skin = 0x28E0,
    mc2BezierPatch = 0x2B20,
    // The triangle clipper the clipped transforms' kicks run (internal).
    mc2Clipper = 0x3170,
    // Overlays at 0x3900 (VIF immediate 0x720).
    mc2Extrude = 0x3900,
    mc2PartFlat = 0x3900,
    mc2PartSprite = 0x3A88,
    mc2PartLine = 0x3BB8,
    mcRoadGenerator = 0x3900,
};
