// Writers of the city's props: model files whose nodes carry parameter
// blocks (explosion entities, sign texts) placed after the file's blocks.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/p2b.h"

#include "game/explosn.h"

namespace tools {

// A parameter block for node `node`: its offset from the start of the file
// goes into the node's extra2.
struct NodeParams
{
    int node;
    std::vector<u8> bytes;
};

// The file with each block appended, 16-byte aligned, after the file's own
// blocks.  False with a message as WriteP2B, or for a node it does not have.
bool WriteP2BWithParams(P2BFile file, const std::vector<NodeParams>& params, std::vector<u8>& out,
                        std::string& error);

// The bytes of an explosion entity's parameter block.
std::vector<u8> EntityParamBytes(u8 type, s32 delay, float force = 0.0f, u16 persist = 0, u8 persistas = 0);

// The bytes of a city prop's block: its lights and signs, a street light's
// lamp colour (the word 0xRRGGBBAA as a, b, g, r) and range, its strength.
std::vector<u8> ExteriorParamBytes(u16 exttype, u32 colourWord = 0, float radius = 0.0f, u16 strength = 0x5555);

// A prop model with the blocks of its nodes.
struct PropFile
{
    P2BFile file;
    std::vector<NodeParams> params;
};

// The city's props.  Each origin lies PropHalfHeight above the ground the
// prop stands on (a traffic light's well above its junction's centre, where
// it looks for its junction).
enum class PropKind
{
    kTrafficLight,   // kind 14: lamps on both faces, a street light, a name sign
    kStreetLight,    // kind 14: a lamp that glows at night
    kStreetSign,     // kind 14: a name board
    kHydrant,        // bursts into a geyser with a sound, leaving a stump
    kBin,            // breaks into flying pieces
    kMailbox,        // breaks into flying pieces
    kBench,          // kind 42: wears down
    kTree,           // kind 271: sways
};
PropFile MakeProp(PropKind kind);
float PropHalfHeight(PropKind kind);

// The resident explosion shapes (EXPLSPPF: puffs, EXPLMSHR: mushroom clouds),
// node i a plain shape of growing size, and the attention glow (ATTNGLOW)
// that marks targets and activity spots.
P2BFile ExplosionShapesFile(bool mushroom);
P2BFile AttentionGlowFile();

}  // namespace tools
