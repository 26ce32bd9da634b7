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
// The sample vehicle group: 48 vehicles made from nine designs (a sedan,
// hatchback, van, taxi, coupe, pickup, saloon, police cruiser and a
// motorbike) sharing five textures (paint, glass, tyres, lamps and the police
// livery); the other members are copies of a design.  A car is about
// 1.45 x 0.56 x 0.45 units with its origin at ground level, y down and z
// forwards.  Its roots are the body (id 0), the front wheel model (id 1,
// radius about 0.1, centred 0.1 above its origin) and the rear one (id 2);
// the police cruiser adds its flashing light bar (id 4).  Every mount,
// locator and part is a direct child of the body: the wheel mounts (model
// words 0x8000 front left, 0x8001 front right, 0x8002 rear left, 0x8003
// rear right), the get-in points and seats, the reticle and light mounts,
// the steering wheel (sub-object 12), doors 16..19 holding windows 31..34,
// sections 24..27, fascias 30 and 35, rear lamps 20 and 21 and panels
// 40..45, each breakable part carrying the explosion record that names its
// damaged form.  The body's collision is a chain of two boxes, and it has a
// low-detail level.  Vehicles 37 and 38 are byte copies of vehicle 27.
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
constexpr int kVehicleSharedTextures = 5;
// Paint tint sets every vehicle model carries (sets 0..7).
constexpr int kVehicleTintSets = 8;

enum SampleVehicle
{
    kVehBodyNode = 0,
    kVehBodyId = 0,
    kVehFrontWheelId = 1,
    kVehRearWheelId = 2,
    kVehLightBarId = 4,     // the police cruiser's optional parts
    kVehPushBarId = 5,
    kVehSteeringWheelId = 12,
    kVehForkId = 46,        // motorbike
    kVehSliderId = 47,
    kVehSwingArmId = 48,
    kVehDoorLeftId = 16,
    kVehDoorRightId = 17,
    kVehWheelMount = 0x8000,   // + wheel 0..3
    kVehGetInLeft = 0x8064,
    kVehGetInRight = 0x8065,
    kVehGetOnLeft = 0x806B,        // motorbike
    kVehGetOnRight = 0x806C,
    kVehSeatLeft = 0x8074,
    kVehSeatRight = 0x8075,
    kVehSirenMount = 0x8082,       // member 0's portable light
    kVehLightBarMount = 0x8079,    // the police cruiser's light bar
    kVehReticlePoint = 0x808C,
    kVehHoodMarkerLeft = 0x8339,   // a vault over the hood takes off and lands here
    kVehHoodMarkerRight = 0x833A,
};

// Where the get-in points stand: beside the front doors at ground level.
constexpr float kVehGetInX = 0.5f;
constexpr float kVehGetInZ = 0.05f;
// Where the hood vault's markers stand: beside the hood at ground level, this
// far out from the body's sides, and this far along the body's half length.
constexpr float kVehHoodMarkerOut = 0.15f;
constexpr float kVehHoodMarkerAlong = 0.65f;
// The wheels' radius.
constexpr float kVehWheelRadius = 0.1f;

// The design vehicle `type` copies (itself for a design), and its body's
// half length.
int SampleVehicleDesign(int type);
float SampleVehicleHalfLength(int type);
// Vehicle `type` as a model file description.
P2BFile SampleVehicleFile(int type);
// The sample vehicle group.
bool SampleVehicleGroup(ModelGroup& group, std::string& error);

}  // namespace tools
