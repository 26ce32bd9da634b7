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

}  // namespace tools
