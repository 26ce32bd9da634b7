// The resident particle model files: each a few nodes without geometry, node
// i drawing entry i of the file's particle table (its image frames stacked
// top to bottom in one texture) through the parameter block its extra2
// points at (GenericParticle_params, game/TestPart.h).  The images are soft
// white shapes: the particles' own colours tint them.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/p2b.h"
#include "tools/lib/texconv.h"

namespace tools {

// One particle look: its frames, each size x size, stacked in one picture.
struct ParticleLook
{
    RgbaImage frames;
    int size = 0;
};

// A file of looks, node i (no geometry) drawing look i.  False with a
// message when a picture cannot be converted or the file not written.
bool WriteParticleFile(const std::vector<ParticleLook>& looks, std::vector<u8>& out, std::string& error);

// The shapes: a soft round puff (of the given grey, its alpha peak times
// full at the centre), a ragged flame, a small sharp drop, and a burst
// growing over `frames` frames.
ParticleLook PuffLook(int size, u8 grey = 255, double peak = 1.0);
ParticleLook FlameLook(int size);
ParticleLook DropLook(int size);
ParticleLook BurstLook(int size, int frames);

struct NamedFile
{
    std::string name;   // e.g. "SKIDSMKE.P2B"
    std::vector<u8> data;
};

// The tyre smoke's puff: its grey and its alpha at the centre.
constexpr u8 kTyreSmokeGrey = 100;
constexpr double kTyreSmokePeak = 0.4;

// The six resident files, slots 212 to 217 in order: SKIDSMKE (puff),
// ENGFIRE (steam puff, smoke puff, flame), SMKPUFF (puff), SHROOM (flame,
// four-frame burst), GEYSER (drop), DUSTPUFF (puff).
bool ResidentParticleFiles(std::vector<NamedFile>& files, std::string& error);
// The rain's splash file, slot 219: SPLASH (a small puff).
bool SplashParticleFile(NamedFile& file, std::string& error);

}  // namespace tools
