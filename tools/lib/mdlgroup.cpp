// Packed model groups.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/mdlgroup.h"


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

}  // namespace tools
