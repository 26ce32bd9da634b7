// Packed model groups: a directory file (".EXP") holding the textures the
// members share and where each member lies, and a data file (".EXM") that is
// the members, complete model files, one after another.  The game keeps the
// directory and streams each member on its own.
//
// Directory layout: the layout head (block count 6 and six HeaderBlocks),
// then the texture block (type 2: the Texture records, each record's data
// word the offset of its image from the start of the block, then the
// images), then the member block (type 4: count + 1 ascending offsets into
// the data file, member i occupying [offset i, offset i + 1)).  Unused
// descriptors are type 0xFFFF, count 0, data 0.  Every block and image
// starts on a 16-byte boundary and every member is padded with zeros to
// whole quadwords, so each is streamed in whole quadwords.
//
// The sample vehicle group: 48 box cars sharing two textures.  Each is one
// body (a lit box of its own length, the body texture, a collision box)
// whose direct children are the four wheel mounts (model words 0x8000 front
// left, 0x8001 front right, 0x8002 rear left, 0x8003 rear right), the front
// doors (sub-objects with ids 16, left, and 17, right, the door texture) and
// the locators of the left and right get-in points (0x8064, 0x8065) and
// seats (0x8074, 0x8075).  Vehicles 37 and 38 are byte copies of vehicle 27.
// y points down, z forwards.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/p2b.h"

namespace tools {

struct ModelGroup
{
    std::vector<TextureImage> shared;        // the textures members name as shared texture n
    std::vector<std::vector<u8>> members;    // complete model files
};

// Writes the directory and the data file.  False with a message for more
// than 32,767 textures or members, an empty member, or files beyond 4 GiB.
bool WriteModelGroup(const ModelGroup& group, std::vector<u8>& dir, std::vector<u8>& data, std::string& error);

constexpr int kVehicleCount = 48;
constexpr int kVehicleSharedTextures = 2;

enum SampleVehicle
{
    kVehBodyNode = 0,
    kVehBodyId = 1,
    kVehDoorLeftId = 16,
    kVehDoorRightId = 17,
    kVehWheelMount = 0x8000,   // + wheel 0..3
    kVehGetInLeft = 0x8064,
    kVehGetInRight = 0x8065,
    kVehSeatLeft = 0x8074,
    kVehSeatRight = 0x8075,
};

// The body's half length of vehicle `type`: 2.0 + 0.025 x type, so that the
// members can be told apart.
float SampleVehicleHalfLength(int type);
// Vehicle `type` as a model file description.
P2BFile SampleVehicleFile(int type);
// The sample vehicle group.
bool SampleVehicleGroup(ModelGroup& group, std::string& error);

}  // namespace tools
