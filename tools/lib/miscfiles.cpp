// The other resident models (see miscfiles.h).
#include "tools/lib/miscfiles.h"

#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/PS2/Model.h"
#include "tools/lib/aniwrite.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/playerfiles.h"

namespace tools {

namespace {

P2BFile Box(float hx, float hy, float hz, Colour c)
{
    P2BFile f;
    f.models = {BoxModel(hx, hy, hz, TEXID_NONE, false, c)};
    f.AddNode(-1, MakeNode(0));
    return f;
}

P2BFile Siren()
{
    P2BFile f = Box(0.5f, 0.06f, 0.12f, Colour(200, 200, 200, 128));
    AniStream colour(ANIM_TYPE_COLOUR);
    colour.Vec(0, VectorXYZ(1.0f, 0.1f, 0.1f))
        .Vec(8, VectorXYZ(1.0f, 1.0f, 1.0f))
        .Vec(16, VectorXYZ(0.1f, 0.1f, 1.0f))
        .Vec(24, VectorXYZ(1.0f, 0.1f, 0.1f));
    f.nodes[0].animation = 0;
    f.anims.push_back(P2BAnimNode{0, 24, 1, {{ANIM_TYPE_COLOUR, u16(colour.Count()), colour.Keys()}}});
    return f;
}

}  // namespace

std::vector<std::pair<std::string, P2BFile>> ResidentMiscFiles()
{
    const std::string misc = "DemoData/Misc/";
    std::vector<std::pair<std::string, P2BFile>> v;
    v.emplace_back(misc + "BADGE.P2B", BadgeFile());
    v.emplace_back(misc + "WEAPONS.P2B", Box(0.2f, 0.2f, 0.005f, Colour(90, 90, 95, 128)));
    v.emplace_back(misc + "SIREN.P2B", Siren());
    v.emplace_back(misc + "LITECONE.P2B", Box(0.3f, 0.3f, 4.0f, Colour(240, 235, 200, 128)));
    v.emplace_back(misc + "SHCARTOR.P2B", Box(0.3f, 0.25f, 0.45f, Colour(160, 165, 170, 128)));
    return v;
}

P2BFile PhoneFile()
{
    return Box(0.025f, 0.1f, 0.05f, Colour(30, 30, 35, 128));
}

}  // namespace tools
