// The resident gun, shot and reticle models as the game reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "tools/lib/gunfiles.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/miscfiles.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/modelfile.h"

namespace {

// One written file loaded in place on the game's heap.
struct Loaded
{
    explicit Loaded(const tools::P2BFile& f)
    {
        std::string error;
        EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        block = malloc_align(u32(bytes.size()), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        char why[256] = "";
        EXPECT_TRUE(MDLFILE::Check(static_cast<const ModelHeader*>(block), u32(bytes.size()), why)) << why;
        mf.SetBuffer(block);
        EXPECT_TRUE(mf.Init(u32(bytes.size())));
    }
    ~Loaded() { free(block); }
    std::vector<u8> bytes;
    void* block = nullptr;
    MDLFILE mf{};
};

const CollBox* FirstBox(const MDLFILE& mf, int node)
{
    NODE* n = mf.GetNode(node);
    if (n == nullptr || n->collision == 0xFFFF)
        return nullptr;
    COLLISION* c = mf.GetCollision(n->collision);
    return c != nullptr && c->type == COLL_BOX ? reinterpret_cast<const CollBox*>(c) : nullptr;
}

}  // namespace

TEST(WeaponModels, NodesBoxesLocatorsAndAnimationsTheCodeReads)
{
    std::map<std::string, tools::P2BFile> files;
    for (auto& [path, f] : tools::WeaponModelFiles())
        files[path] = f;
    ASSERT_EQ(files.size(), 17u);

    {
        Loaded b(files.at("DemoData/Misc/BULLETS.P2B"));
        EXPECT_NE(b.mf.GetNode(0)->model & MDL_MODELMASK, MDL_NOGEOM);   // the case
        const CollBox* bullet = FirstBox(b.mf, 2);
        ASSERT_NE(bullet, nullptr);
        // One tick's flight (0.2083333 x 1.2) long on z, thin across.
        EXPECT_NEAR(bullet->box.max[2] - bullet->box.min[2], 0.25f, 1e-6f);
        EXPECT_LT(bullet->box.max[0] - bullet->box.min[0], 0.05f);
        EXPECT_NE(FirstBox(b.mf, 4), nullptr);   // the grenade
    }
    {
        Loaded b(files.at("DemoData/Misc/BLOOD.P2B"));
        EXPECT_NE(FirstBox(b.mf, 0), nullptr);
    }
    {
        // The beam: 20 units from its origin along z at scale 1.
        Loaded l(files.at("DemoData/Misc/LASRBEAM.P2B"));
        Object* o = l.mf.GetHierarchy(0, sizeof(Object), 0);
        ASSERT_NE(o, nullptr);
        ASSERT_NE(o->child, nullptr);
        EXPECT_EQ(o->child->mat.GetTrans()[2], 10.0f);
        EXPECT_NEAR(o->child->radius, 10.0f, 0.01f);
        o->Delete();
    }
    for (const char* anim : {"DemoData/Misc/BULLSPRK.P2B", "DemoData/Misc/BULLPUFF.P2B", "DemoData/Misc/MUZZLEFL.P2B"}) {
        Loaded a(files.at(anim));
        Object* o = a.mf.GetHierarchy(0, sizeof(Object), 8);
        ASSERT_NE(o, nullptr) << anim;
        EXPECT_NE(o->GetAnimRec(0), nullptr) << anim;
        o->Delete();
    }
    for (const char* ret : {"RTCDEF", "RTCENEMY", "RTCPR", "RTCPRON", "RTCPROFF"}) {
        Loaded r(files.at(std::string("DemoData/Misc/") + ret + ".P2B"));
        for (u16 h = 0; h < 2; h++) {
            Object* o = r.mf.GetHierarchy(h, sizeof(Object), 8);
            ASSERT_NE(o, nullptr) << ret << " " << h;
            for (int a = 0; a < 4; a++)
                EXPECT_NE(o->GetAnimRec(a), nullptr) << ret << " hierarchy " << h << " animation " << a;
            o->Delete();
        }
    }

    // Guns: each id a root, with its muzzle, chamber and pivot.
    auto guns = [](const tools::P2BFile& f, int lastId) {
        Loaded g(f);
        for (int id = 1; id <= lastId; id++) {
            NODE* n = g.mf.FindNodeById1(0, u16(id));
            ASSERT_NE(n, nullptr) << id;
            for (u16 loc : {0x8000, 0x8001, 0x8003}) {
                NODE* l = g.mf.FindNodeById1(n->child, loc);
                ASSERT_NE(l, nullptr) << id << " " << loc;
                EXPECT_EQ(l->model, loc);
            }
        }
        EXPECT_EQ(g.mf.FindNodeById1(0, u16(lastId + 1)), nullptr);
    };
    for (int i = 1; i <= 4; i++)
        guns(files.at("DemoData/Misc/DACEGUN" + std::to_string(i) + ".P2B"), 1);
    guns(files.at("DemoData/Misc/ENEMGUNS.P2B"), 17);

    // A handgun in the hand of the figures made for the disc is shorter
    // than the forearm holding it (wrist to elbow) and more than a third of
    // it, its muzzle at its front end.
    const tools::HumanoidLook look;
    const float forearm = Length(VectorDir(tools::HumanoidBoneOffset(look, tools::kBoneRightHand)));
    ASSERT_GT(forearm, 0.0f);
    for (const char* file : {"DACEGUN1", "DACEGUN3", "ENEMGUNS"}) {
        Loaded g(files.at(std::string("DemoData/Misc/") + file + ".P2B"));
        Object* o = g.mf.GetHierarchy(0, sizeof(Object), 0);
        ASSERT_NE(o, nullptr) << file;
        const float length = 2.0f * o->radius;
        EXPECT_LT(length, forearm) << file;
        EXPECT_GT(length, forearm / 3.0f) << file;
        o->Delete();
        NODE* gun = g.mf.FindNodeById1(0, 1);
        ASSERT_NE(gun, nullptr) << file;
        NODE* muzzle = g.mf.FindNodeById1(gun->child, 0x8000);
        ASSERT_NE(muzzle, nullptr) << file;
        EXPECT_GT(muzzle->Pos()[0], 0.8f * length / 2.0f) << file;
        EXPECT_LE(Length(VectorDir(muzzle->Pos())), length / 2.0f) << file;
    }
}

// The start-up's other resident models: each loads with a node 0 that has
// geometry; the siren's node 0 plays its light animation, a colour stream
// that swings from red to blue.
TEST(ResidentMiscModels, EachLoadsWithItsNodeAndTheSirenHasItsLightAnimation)
{
    std::map<std::string, tools::P2BFile> files;
    for (auto& [path, f] : tools::ResidentMiscFiles())
        files[path] = f;
    ASSERT_EQ(files.size(), 5u);
    for (const char* name : {"BADGE", "WEAPONS", "SIREN", "LITECONE", "SHCARTOR"}) {
        Loaded m(files.at(std::string("DemoData/Misc/") + name + ".P2B"));
        ASSERT_NE(m.mf.GetNode(0), nullptr) << name;
        EXPECT_NE(m.mf.GetNode(0)->model & MDL_MODELMASK, MDL_NOGEOM) << name;
    }
    Loaded siren(files.at("DemoData/Misc/SIREN.P2B"));
    Object* o = siren.mf.GetHierarchy(0, sizeof(Object), 8);
    ASSERT_NE(o, nullptr);
    EXPECT_NE(o->GetAnimRec(0), nullptr);
    const tools::P2BFile& f = files.at("DemoData/Misc/SIREN.P2B");
    ASSERT_EQ(f.anims.size(), 1u);
    ASSERT_EQ(f.anims[0].streams.size(), 1u);
    EXPECT_EQ(f.anims[0].streams[0].type, ANIM_TYPE_COLOUR);
    EXPECT_EQ(f.anims[0].length, 24);
    o->Delete();
}
