// Packed model groups and the sample vehicles.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/mdlgroup.h"

#include "tools/lib/p2b_sample.h"

namespace tools {

namespace {

// The game's directory head and texture records are written as they are.
static_assert(sizeof(LayoutFile) == 52 && sizeof(HeaderBlock) == 8 && sizeof(Texture) == 40);

constexpr u16 kBlockTextures = 2;
constexpr u16 kBlockMembers = 4;

void PadTo16(std::vector<u8>& v)
{
    v.resize((v.size() + 15) & ~size_t(15), 0);
}

}  // namespace

bool WriteModelGroup(const ModelGroup& group, std::vector<u8>& dir, std::vector<u8>& data, std::string& error)
{
    if (group.shared.size() > 0x7FFF || group.members.size() > 0x7FFF) {
        error = "a model group holds at most 32767 textures and 32767 members";
        return false;
    }
    dir.assign(sizeof(LayoutFile), 0);
    PadTo16(dir);
    LayoutFile head{};
    head.blockCount = 6;
    for (HeaderBlock& b : head.block)
        b = {0xFFFF, 0, 0};

    // Texture records, then their images.
    const size_t texAt = dir.size();
    head.block[0] = {kBlockTextures, u16(group.shared.size()), u32(texAt)};
    dir.resize(texAt + sizeof(Texture) * group.shared.size(), 0);
    for (size_t i = 0; i < group.shared.size(); i++) {
        PadTo16(dir);
        Texture rec = group.shared[i].record;
        rec.refcount = 0;
        rec.data = reinterpret_cast<void*>(uintptr_t(dir.size() - texAt));
        std::memcpy(dir.data() + texAt + sizeof(Texture) * i, &rec, sizeof rec);
        dir.insert(dir.end(), group.shared[i].image.begin(), group.shared[i].image.end());
    }

    // The members, each padded to whole quadwords, and their offsets.
    data.clear();
    std::vector<u32> offsets;
    for (size_t i = 0; i < group.members.size(); i++) {
        if (group.members[i].empty()) {
            error = "member " + std::to_string(i) + " is empty";
            return false;
        }
        offsets.push_back(u32(data.size()));
        data.insert(data.end(), group.members[i].begin(), group.members[i].end());
        PadTo16(data);
        if (data.size() > 0xFFFFFFF0u) {
            error = "the data file grows beyond 4 GiB";
            return false;
        }
    }
    offsets.push_back(u32(data.size()));
    PadTo16(dir);
    head.block[1] = {kBlockMembers, u16(group.members.size()), u32(dir.size())};
    const size_t at = dir.size();
    dir.resize(at + 4 * offsets.size());
    std::memcpy(dir.data() + at, offsets.data(), 4 * offsets.size());
    PadTo16(dir);
    std::memcpy(dir.data(), &head, sizeof head);
    return true;
}

float SampleVehicleHalfLength(int type)
{
    return 2.0f + 0.025f * float(type);
}

P2BFile SampleVehicleFile(int type)
{
    constexpr float kHalfWidth = 0.9f, kHalfHeight = 0.6f;
    const float halfLength = SampleVehicleHalfLength(type);
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    f.models.push_back(BoxModel(kHalfWidth, kHalfHeight, halfLength, 0, true));   // body
    f.models.push_back(BoxModel(0.05f, 0.4f, 0.5f, 1, true));                     // door
    for (int n = 0; n < kVehicleSharedTextures; n++) {
        P2BTexture t;
        t.shared = n;
        f.textures.push_back(t);
    }
    CollisionChain box;
    box.Box(MakeCollisionID(2, 2), Cuboid(VectorPos(-kHalfWidth, -kHalfHeight, -halfLength),
                                          VectorPos(kHalfWidth, kHalfHeight, halfLength)));
    f.collisions.push_back(box);

    NODE body = MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kVehBodyId);
    body.collision = 0;
    f.AddNode(-1, body);
    const float axle = halfLength - 0.5f;
    const VectorPos wheels[4] = {VectorPos(-0.85f, 0.5f, axle), VectorPos(0.85f, 0.5f, axle),
                                 VectorPos(-0.85f, 0.5f, -axle), VectorPos(0.85f, 0.5f, -axle)};
    for (int w = 0; w < 4; w++)
        f.AddNode(kVehBodyNode, MakeNode(u16(kVehWheelMount + w), wheels[w]));
    f.AddNode(kVehBodyNode, MakeNode(1, VectorPos(-kHalfWidth, 0, 0.5f), VectorXYZ(0, 0, 0), kVehDoorLeftId));
    f.AddNode(kVehBodyNode, MakeNode(1, VectorPos(kHalfWidth, 0, 0.5f), VectorXYZ(0, 0, 0), kVehDoorRightId));
    f.AddNode(kVehBodyNode, MakeNode(kVehGetInLeft, VectorPos(-1.5f, 0.3f, 0.5f)));
    f.AddNode(kVehBodyNode, MakeNode(kVehGetInRight, VectorPos(1.5f, 0.3f, 0.5f)));
    f.AddNode(kVehBodyNode, MakeNode(kVehSeatLeft, VectorPos(-0.4f, 0, 0.2f)));
    f.AddNode(kVehBodyNode, MakeNode(kVehSeatRight, VectorPos(0.4f, 0, 0.2f)));
    return f;
}

bool SampleVehicleGroup(ModelGroup& group, std::string& error)
{
    group = ModelGroup{};
    group.shared.push_back(CheckerTexture(16, Colour(40, 70, 160, 255), Colour(220, 220, 230, 255)));   // body
    group.shared.push_back(CheckerTexture(16, Colour(30, 30, 30, 255), Colour(120, 160, 200, 255)));    // door
    for (int type = 0; type < kVehicleCount; type++) {
        std::vector<u8> file;
        if (type == 37 || type == 38) {
            // These two share vehicle 27's model.
            file = group.members[27];
        } else if (!WriteP2B(SampleVehicleFile(type), file, error)) {
            error = "vehicle " + std::to_string(type) + ": " + error;
            return false;
        }
        group.members.push_back(std::move(file));
    }
    return true;
}

}  // namespace tools
