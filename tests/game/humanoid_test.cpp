// The humanoid rig and its clips: the rig's numbering as the body code finds
// it, the player's model loaded through slot 48, every bundle of every
// generated clip bound to its bone after a round trip through the group
// builder and the animation registry, the builder's refusals, and damaged
// group files refused without a crash.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/soundstream_support.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/motion.h"
#include "tools/lib/p2b.h"
#include "tools/lib/sampledisc.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameFlow.h"
#include "game/Guy.h"
#include "game/BadGuy.h"
#include "game/DaceCombatAnims.h"
#include "game/Limbs.h"
#include "game/QuadTree.h"

namespace {

using namespace tools;

// A catalogue of its own: one clip of every generator.
std::vector<ClipRow> TestCatalogue()
{
    return {
        {0, kMotionIdle, {}, 60, true, {}, {}},
        {1, kMotionWalk, {0.02f, 1.0f, false}, 32, true, {}, {}},
        {2, kMotionRun, {0.06f, 1.0f, false}, 20, true, {}, {}},
        {3, kMotionStrike, {0.0f, 1.0f, true}, 30, false, {}, {}},
        {4, kMotionHit, {}, 15, false, {}, {}},
        {5, kMotionFall, {}, 40, false, {}, {}},
        {6, kMotionCarGetIn, {0.0f, 1.0f, true}, 45, false, {}, {}},
        {7, kMotionCarGetOut, {0.0f, 1.0f, true}, 45, false, {}, {}},
        {8, kMotionGunPose, {}, 10, true, {}, {}},
        {9, kMotionGesture, {0.0f, 1.0f, false}, 40, false, {{20, 7}}, {{5, kSoundCloth}}},
    };
}

AnimGroupFiles TestGroup()
{
    AnimGroupFiles g;
    std::string error;
    EXPECT_TRUE(BuildAnimGroup(TestCatalogue(), 10, HumanoidLook{}, g, error)) << error;
    return g;
}

// The sample disc's files, made once for the whole program.
const std::vector<PakInputFile>& Disc()
{
    static const std::vector<PakInputFile> files = [] {
        std::vector<PakInputFile> f;
        std::string error;
        EXPECT_TRUE(SampleDiscFiles(f, error)) << error;
        return f;
    }();
    return files;
}

std::vector<u8> DiscFile(const std::string& path)
{
    for (const PakInputFile& f : Disc())
        if (f.path == path)
            return f.data;
    ADD_FAILURE() << path << " is not on the sample disc";
    return {};
}

// Objects of a hierarchy in the animation walk's order (the object, then
// depth first, children before later siblings).
void Walk(Object* o, std::vector<Object*>& out)
{
    out.push_back(o);
    for (Object* c = o->child; c != nullptr; c = c->sibling)
        Walk(c, out);
}

int AnimId(Object* o)
{
    NODE* n = o->GetNode();
    return n != nullptr ? n->GetAnimID() : -1;
}

}  // namespace

TEST(HumanoidRig, NumberingAsTheBodyCodeFindsIt)
{
    P2BFile f = HumanoidFile(HumanoidLook{});
    // Node 0 is the root; its first child the grab point, on the ground in
    // front of the feet, its second the pelvis (both objects: the body root
    // is the first child object's sibling), then the icon, never an object.
    const NODE& root = f.nodes[0];
    const NODE& grab = f.nodes[root.child];
    EXPECT_EQ(grab.extra, 31);
    EXPECT_EQ(grab.model & MDL_NOTOBJECT, 0);
    EXPECT_FLOAT_EQ(grab.pos[1], 0.0f);
    // Clear of the collision boxes of both bodies (0.2 deep each way for
    // every 1.8 of the figure's height in the table, 0.5625 units).
    EXPECT_GT(grab.pos[2], 2.0f * 0.2f * HumanoidStature(HumanoidLook{}) / 1.8f);
    // A 1.8 m figure stands 0.5625 high, the height the game's camera
    // frames: the root's collision box reaches from the ground to its head.
    EXPECT_FLOAT_EQ(HumanoidStature(HumanoidLook{}), 0.5625f);
    const NODE& pelvis = f.nodes[grab.sibling];
    EXPECT_EQ(pelvis.extra, 21);
    EXPECT_EQ(pelvis.animation, HumanoidAnimId(kBonePelvis));
    const NODE& icon = f.nodes[pelvis.sibling];
    EXPECT_EQ(icon.Type(), 11);
    EXPECT_EQ(icon.extra, 0);
    // Bones in walk order carry rising ids; only the eyes fall in the face
    // range 10..28, which a character's own walk does not animate.
    std::vector<int> order;
    for (const NODE& n : f.nodes)
        if (n.animation != 0xFFFF)
            order.push_back(n.animation);
    ASSERT_EQ(order.size(), size_t(kHumanoidBones));
    for (int b = 0; b < kHumanoidBones; b++) {
        EXPECT_EQ(order[size_t(b)], HumanoidAnimId(b));
        if (b > 0)
            EXPECT_GT(order[size_t(b)], order[size_t(b - 1)]);
        const bool face = order[size_t(b)] >= 10 && order[size_t(b)] <= 28;
        EXPECT_EQ(face, b == kBoneLeftEye || b == kBoneRightEye) << b;
    }
    // Body parts name their kind for the bullet rules in extra2: the head,
    // each arm's two segments and each leg's two segments.
    const struct
    {
        u16 sub;
        u32 kind;
    } kinds[] = {{15, 9},  {2, 30}, {4, 31}, {0, 31}, {3, 49}, {5, 50}, {1, 50}, {8, 62},
                 {10, 63}, {6, 63}, {9, 67}, {11, 68}, {7, 68}, {20, 0}, {21, 0}, {31, 0}};
    for (const auto& k : kinds) {
        int found = 0;
        for (const NODE& n : f.nodes)
            if (n.animation != 0xFFFF && n.extra == k.sub) {
                EXPECT_EQ(n.extra2, k.kind) << k.sub;
                found++;
            }
        EXPECT_EQ(found, 1) << k.sub;
    }
    // The driver copy repeats the pelvis's sub-tree under a kind-13 node.
    HumanoidLook driver;
    driver.driverCopy = true;
    P2BFile d = HumanoidFile(driver);
    int kind13 = 0;
    for (const NODE& n : d.nodes)
        kind13 += n.Type() == 13;
    EXPECT_EQ(kind13, 1);
    int copies = 0;
    for (const NODE& n : d.nodes)
        copies += n.animation == HumanoidAnimId(kBoneLeftShin);
    EXPECT_EQ(copies, 2);
}

TEST(HumanoidRig, BuiltBodyHasItsPartsLocatorsAndIcon)
{
    std::vector<u8> bytes = DiscFile("DemoData/Char/DACE.P2B");
    void* block = malloc_align(u32(bytes.size()), 64);
    std::memcpy(block, bytes.data(), bytes.size());
    MDLFILE mf{};
    mf.SetBuffer(block);
    ASSERT_TRUE(mf.Init(u32(bytes.size())));
    Object* root = mf.GetHierarchy(0, sizeof(Guy), 0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->id, 64);
    // The body's parts by sub-object id, and their bones.
    const struct
    {
        int id, bone;
    } parts[] = {{0, kBoneLeftHand}, {1, kBoneRightHand},     {2, kBoneLeftUpperArm}, {3, kBoneRightUpperArm},
                 {6, kBoneLeftFoot}, {7, kBoneRightFoot},     {13, kBoneLeftEye},     {14, kBoneRightEye},
                 {15, kBoneHead},    {20, kBoneTorso},        {31, kBoneGrab},        {21, kBonePelvis}};
    for (const auto& p : parts) {
        Object* o = root->FindSubObject(p.id);
        ASSERT_NE(o, nullptr) << p.id;
        EXPECT_EQ(AnimId(o), HumanoidAnimId(p.bone)) << p.id;
    }
    // The eye (14) lies inside the head (15).
    EXPECT_EQ(root->FindSubObject(14)->parent, root->FindSubObject(15));
    // Locators under the hands, found by the hand's node.
    EXPECT_NE(root->FindSubObject(1)->FindNode(0x8001), nullptr);
    EXPECT_NE(root->FindSubObject(0)->FindNode(0x8002), nullptr);
    // Every bone is an object, in walk order by its number.
    std::vector<Object*> walk;
    Walk(root, walk);
    int next = 0;
    for (Object* o : walk)
        if (AnimId(o) >= 0)
            EXPECT_EQ(AnimId(o), HumanoidAnimId(next++));
    EXPECT_EQ(next, kHumanoidBones);
    // The icon: the file's portrait texture; 0xAAAA means none.
    Guy* guy = static_cast<Guy*>(root);
    EXPECT_EQ(guy->GetIcon(), mf.GetTexture(0));
    guy->FindIcon()->extra = 0xAAAA;
    EXPECT_EQ(guy->GetIcon(), nullptr);
    // A root box and limb boxes.
    EXPECT_NE(root->GetCollision(), nullptr);
    EXPECT_NE(root->FindSubObject(3)->GetCollision(), nullptr);
    root->Delete();
    free(block);
}

TEST(HumanoidRig, AmbientPedestriansAreLowDetailDriversOnTheDisc)
{
    std::vector<HumanoidCharacter> chars = SampleHumanoids();
    ASSERT_EQ(chars.size(), 10u);
    // The ambient fills' pedestrian files, by their model ids.
    const int ids[] = {330, 350, 351, 365, 368, 372, 376, 382, 420};
    for (int id : ids) {
        char name[64];
        ASSERT_NE(GetModelFileName(id, name), nullptr);
        std::string path = std::string(name).substr(std::strlen("KORVALIS\\"));
        for (char& c : path)
            if (c == '\\')
                c = '/';
        bool found = false;
        for (const HumanoidCharacter& c : chars)
            if (c.path == path) {
                found = true;
                EXPECT_TRUE(c.look.lowDetail && c.look.driverCopy) << path;
                EXPECT_EQ(c.look.charid, id & 0xFF);
            }
        EXPECT_TRUE(found) << path;
        EXPECT_FALSE(DiscFile(path).empty()) << path;
    }
}

// ---------------------------------------------------------------------------

TEST(MotionLibrary, BuilderRefusesGapsDoublesAndStrangers)
{
    AnimGroupFiles g;
    std::string error;
    std::vector<ClipRow> rows = TestCatalogue();
    rows.erase(rows.begin() + 4);
    EXPECT_FALSE(BuildAnimGroup(rows, 10, HumanoidLook{}, g, error));
    EXPECT_NE(error.find("index 4"), std::string::npos) << error;
    rows = TestCatalogue();
    rows.push_back(rows[2]);
    EXPECT_FALSE(BuildAnimGroup(rows, 10, HumanoidLook{}, g, error));
    rows = TestCatalogue();
    EXPECT_FALSE(BuildAnimGroup(rows, 9, HumanoidLook{}, g, error));
    // The same catalogue always gives the same bytes.
    AnimGroupFiles a = TestGroup(), b = TestGroup();
    EXPECT_EQ(a.ani, b.ani);
    EXPECT_EQ(a.snd, b.snd);
}

TEST(MotionLibrary, StrikesCarryContactEventsAndWalksMoveTheRoot)
{
    AniChar strike = GenerateClip(TestCatalogue()[3], HumanoidLook{});
    ASSERT_EQ(strike.bundles.size(), size_t(kHumanoidBones));
    for (int b = 0; b < kHumanoidBones; b++)
        EXPECT_EQ(strike.bundles[size_t(b)].id, HumanoidAnimId(b));
    // Root bundle: position, rotation, then the instant keys (cloth at 0,
    // events 29 at 10 and 30 at 15 for a 30-frame strike).
    ASSERT_EQ(strike.bundles[0].streams.size(), 3u);
    const AniStream& inst = strike.bundles[0].streams[2];
    EXPECT_EQ(inst.Type(), ANIM_TYPE_INSTANT);
    EXPECT_EQ(inst.Count(), 3u);
    AniChar walk = GenerateClip(TestCatalogue()[1], HumanoidLook{});
    EXPECT_NEAR(walk.deltaZ, 0.02f * 32, 1e-5f);
    EXPECT_EQ(walk.flags, 1);
}

// A clip placed in a scene: a walk starting at (1, 0, 2) and turned a
// quarter turn (RotY's forward is then +x) goes 0.02 × 32 along +x and its
// root faces +x all the way; the clip's own travel stays its forward one.
TEST(MotionLibrary, APlacedWalkStartsWhereItIsPutAndGoesTheWayItFaces)
{
    ClipRow row = TestCatalogue()[1];
    row.params.from = VectorXYZ(1.0f, 0.0f, 2.0f);
    row.params.facing = 1.5707964f;
    const AniChar walk = GenerateClip(row, HumanoidLook{});
    EXPECT_NEAR(walk.deltaZ, 0.02f * 32, 1e-5f);
    EXPECT_NEAR(walk.deltaX, 0.0f, 1e-5f);
    const AniStream& pos = walk.bundles[0].streams[0];
    const AniStream& rot = walk.bundles[0].streams[1];
    ASSERT_EQ(pos.Type(), ANIM_TYPE_POS);
    ASSERT_GE(pos.Count(), 2u);
    auto place = [&](size_t k) {
        const char* key = reinterpret_cast<const char*>(pos.Keys().data()) + k * sizeof(AnimKeyF3);
        return VectorXYZ(KeyFloat(key + 2), KeyFloat(key + 6), KeyFloat(key + 10));
    };
    const VectorXYZ first = place(0), last = place(pos.Count() - 1);
    EXPECT_NEAR(first[0], 1.0f, 1e-5f);
    EXPECT_NEAR(first[2], 2.0f, 1e-5f);
    EXPECT_NEAR(last[0], 1.0f + 0.02f * 32, 1e-4f);
    EXPECT_NEAR(last[2], 2.0f, 1e-4f);
    for (size_t k = 0; k < rot.Count(); k++) {
        const char* key = reinterpret_cast<const char*>(rot.Keys().data()) + k * sizeof(AnimKeyF4);
        const Matrix m(Quaternion(Vector(KeyFloat(key + 2), KeyFloat(key + 6), KeyFloat(key + 10), KeyFloat(key + 14))));
        EXPECT_NEAR(m.z[0], 1.0f, 1e-3f) << k;
        EXPECT_NEAR(m.z[2], 0.0f, 1e-3f) << k;
    }
}

namespace {

class RigOnDisc : public streamsound::StreamSoundTest
{
protected:
    void SetUp() override
    {
        // The disc's files are made on the host before the machine starts,
        // so its watchdog never times that work.
        Disc();
        StreamSoundTest::SetUp();
    }
    void TearDown() override
    {
        for (int slot = 0; slot < MFI_NUMSLOTS; slot++) {
            g_GlobalMFI.DeleteMF(slot, true);
            g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
            g_GlobalMFI.rgmfi[slot].i16Id = -1;
            g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
        }
        for (int i = 0; i < AGI_NUMSLOTS; i++) {
            g_GlobalAGI.DeleteAG(i);
            g_GlobalAGI.rgagi[i] = {nullptr, 0, 0, -1, false};
        }
        StreamSoundTest::TearDown();
    }
};

}  // namespace

TEST_F(RigOnDisc, PlayerModelLoadsThroughSlot48AndEveryClipBindsToItsBones)
{
    AnimGroupFiles g = TestGroup();
    Start({{"DemoData/Char/DACE.P2B", DiscFile("DemoData/Char/DACE.P2B"), ""},
           {"DemoData/Char/DACEDEF.ANI", g.ani, ""},
           {"DemoData/Vags/DACEDEF.SND", g.snd, ""}});
    vbcallbacks.vsynccount = 0;
    MDLFILE* mf = g_GlobalMFI.LoadMF(48, "KORVALIS\\DemoData\\Char\\DACE.P2B", 0, 0);
    ASSERT_NE(mf, nullptr);
    ASSERT_TRUE(mf->HasData());
    AnimGroup* pag = g_GlobalAGI.LoadAG(AnimGroup_DaceDefault, 0);
    ASSERT_NE(pag, nullptr);
    ASSERT_EQ(pag->count, 10);
    EXPECT_GE(g_GlobalAGI.GetSoundBank(AnimGroup_DaceDefault), 0);

    Object* root = mf->GetHierarchy(0, sizeof(Guy), 0);
    ASSERT_NE(root, nullptr);
    root->AllocBlendAnimHierarchy(0);
    std::vector<Object*> walk;
    Walk(root, walk);
    for (int c = 0; c < pag->count; c++) {
        root->SetAnimFileHierarchy(pag->pChars[c], 0, true, 1.0f, 0);
        int bound = 0;
        for (Object* o : walk) {
            int id = AnimId(o);
            if (id < 0)
                continue;
            ASSERT_NE(o->blendAnim, nullptr);
            AnimBundle* b = o->blendAnim->data;
            ASSERT_NE(b, nullptr) << "clip " << c << " bone " << id;
            EXPECT_EQ(int(b->id), id) << "clip " << c;
            bound++;
        }
        EXPECT_EQ(bound, kHumanoidBones) << "clip " << c;
    }
    root->Delete();
}

namespace {

// The attack events a posed body hears: the limb of each 29 (hurting from)
// and 30 (no longer).
std::vector<std::pair<Object*, int>> g_strikeEvents;

int StrikeEvents_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_ANIMEVENT) {
        const auto* m = static_cast<AnimEventMessage*>(data);
        if (m->event == kEventStrikeOn || m->event == kEventStrikeOff)
            g_strikeEvents.push_back({m->obj, m->event});
    }
    return 0;
}

}  // namespace

// The player's punches and kicks as the disc has them, played on his model
// from the disc: each hurts through the striking hand or foot (29 and 30
// on that limb's bone), and while it hurts that limb's box meets the body
// box of a foe in front of him anywhere from close up to the foes' attack
// ring, and never one a step beyond.
TEST_F(RigOnDisc, APunchsFistAndAKicksFootReachAFoeInFront)
{
    Start({{"DemoData/Char/DACE.P2B", DiscFile("DemoData/Char/DACE.P2B"), ""},
           {"DemoData/Char/DACECOMB.ANI", DiscFile("DemoData/Char/DACECOMB.ANI"), ""},
           {"DemoData/Vags/DACECOMB.SND", DiscFile("DemoData/Vags/DACECOMB.SND"), ""}});
    vbcallbacks.vsynccount = 0;
    MDLFILE* mf = g_GlobalMFI.LoadMF(48, "KORVALIS\\DemoData\\Char\\DACE.P2B", 0, 0);
    ASSERT_NE(mf, nullptr);
    AnimGroup* pag = g_GlobalAGI.LoadAG(AnimGroup_DaceCombat, 0);
    ASSERT_NE(pag, nullptr);
    Object* body = mf->GetHierarchy(0, sizeof(Guy), 0);
    ASSERT_NE(body, nullptr);
    body->AllocBlendAnimHierarchy(0);
    body->messagehandler = StrikeEvents_mh;
    const COLLISION* bodyColl = body->GetCollision();
    ASSERT_TRUE(bodyColl != nullptr && bodyColl->type == COLL_BOX);
    const Cuboid foeBox = reinterpret_cast<const CollBox*>(bodyColl)->box;

    struct Blow
    {
        int clip;
        u16 limb;   // the striking limb's sub-object id
    };
    const Blow blows[] = {{Ani_Dace_Combat_Attack_Punch_P1, 1}, {Ani_Dace_Combat_Attack_Punch_P2, 0},
                          {Ani_Dace_Combat_Attack_Kick_K1, 6},  {Ani_Dace_Combat_Attack_Kick_K2, 7},
                          {Ani_Dace_Combat_Attack_High_H1, 0}};
    // On the ring the foes attack from, and a step beyond it.
    const float reached[] = {Enemy::AttackRingInner, Enemy::AttackRingOuter};
    const float beyond = 1.0f;
    for (const Blow& b : blows) {
        AnimChar* clip = pag->pChars[b.clip];
        const int length = clip->length & ANIM_LEN_MASK;
        body->mat = Matrix(true);
        body->SetAnimFileHierarchy(clip, 0, true, 1.0f, 0);
        g_strikeEvents.clear();
        Object* limb = nullptr;
        bool hurting = false;
        int hurtFrames = 0;
        std::vector<bool> met(std::size(reached) + 1, false);
        for (int t = 0; t <= length; t++) {
            float times[2] = {float(t), float(t)};
            BlendAnimateHierarchy(body, times, t == 0 ? 0.0f : 1.0f);
            for (const auto& [obj, event] : g_strikeEvents) {
                hurting = event == kEventStrikeOn;
                if (hurting)
                    limb = obj;
            }
            g_strikeEvents.clear();
            if (!hurting || limb == nullptr)
                continue;
            hurtFrames++;
            const Matrix limbMat = limb->GetWorldMatrix();
            for (size_t k = 0; k <= std::size(reached); k++) {
                const float d = k < std::size(reached) ? reached[k] : beyond;
                // The foe faces the player, d in front of him.
                const Matrix foe = RotY(3.1415927f) * TransMatrix(0.0f, 0.0f, d);
                if (limb->GetRawBox().Test(limbMat, foeBox, foe))
                    met[k] = true;
            }
        }
        ASSERT_NE(limb, nullptr) << "clip " << b.clip;
        const NODE* node = limb->GetNode();
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->extra, b.limb) << "clip " << b.clip;
        EXPECT_GE(hurtFrames, 2) << "clip " << b.clip;
        for (size_t k = 0; k < std::size(reached); k++)
            EXPECT_TRUE(met[k]) << "clip " << b.clip << " misses a foe " << reached[k] << " in front";
        EXPECT_FALSE(met.back()) << "clip " << b.clip << " reaches a foe " << beyond << " in front";
    }
    body->Delete();
}

TEST(MotionLibrary, DamagedGroupFilesAreRefusedWithoutACrash)
{
    AnimGroupFiles g = TestGroup();
    std::mt19937 rng(23);
    void* buffer = malloc_align(u32(g.ani.size()) + 64, 64);
    int refused = 0;
    for (int trial = 0; trial < 300; trial++) {
        std::vector<u8> bytes = g.ani;
        for (int k = 0; k < 4; k++)
            bytes[rng() % bytes.size()] ^= u8(1u << (rng() % 8));
        if (trial % 3 == 0)
            bytes.resize(rng() % bytes.size());
        std::memcpy(buffer, bytes.data(), bytes.size());
        char why[256] = "";
        if (!AnimGroup::Check(buffer, u32(bytes.size()), why)) {
            refused++;
            continue;
        }
        // A file the check lets through is safe to fix up and walk.
        AnimGroup* grp = static_cast<AnimGroup*>(buffer);
        grp->FixUp();
        for (int c = 0; c < grp->count; c++)
            for (int b = 0; b < grp->pChars[c]->GetCount(); b++)
                (void)grp->pChars[c]->GetID(b);
    }
    EXPECT_GT(refused, 100);
    free(buffer);
}

// ---------------------------------------------------------------------------

namespace {

class RigGunArm : public GunArm
{
public:
    using GunArm::ChangeMode;
};

}  // namespace

TEST(HumanoidRig, RightGunArmAimsTheHandDownTheLineToTheTarget)
{
    std::vector<u8> bytes;
    std::string error;
    ASSERT_TRUE(WriteP2B(HumanoidFile(HumanoidLook{}), bytes, error)) << error;
    void* block = malloc_align(u32(bytes.size()), 64);
    std::memcpy(block, bytes.data(), bytes.size());
    MDLFILE mf{};
    mf.SetBuffer(block);
    ASSERT_TRUE(mf.Init(u32(bytes.size())));
    Object* root = mf.GetHierarchy(0, sizeof(Guy), 0);
    ASSERT_NE(root, nullptr);
    root->AllocBlendAnimHierarchy(0);
    Object* gun = new Object;
    gun->mat = Matrix(true);
    root->FindSubObject(1)->Attach(gun);

    // The right arm as the player's body sets it up, its joints left free.
    RigGunArm g{};
    g.upperarm = root->FindSubObject(3);
    g.hand = root->FindSubObject(1);
    g.lowerarm = g.hand->parent;
    g.gun = gun;
    g.weapon = gWeapons[WEAP_BLANK];
    g.ikupperarmmat = Matrix(Vector(0, 0, 1, 0), Vector(0, 1, 0, 0), Vector(-1, 0, 0, 0), Vector(0, 0, 0, 1));
    g.ikhandmat = Matrix(Vector(-1, 0, 0, 0), Vector(0, -1, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1));
    g.primarywristdir = VectorDir(0, -1, 0);
    g.alternatewristdir = VectorDir(0.70710677f, -0.70710677f, 0);
    g.aimupperarmdir = VectorPos(-0.8f, -0.6f, 0);
    g.aimhanddist = 0.0015625f;
    g.indirectaimhanddist = 0.015625f;
    g.torsobox = Cuboid(VectorPos(0, 0, 0), VectorPos(0, 0, 0));
    g.ChangeMode(GunArm::CARRYING);

    const VectorXYZ S = g.upperarm->mat.GetTrans();
    const Matrix torso = g.upperarm->parent->GetWorldMatrix();
    const VectorPos target = torso * VectorPos(S + VectorXYZ(0, 0, 5));
    ASSERT_EQ(g.ShootGun(), 1);
    int frames = 0;
    while (!g.ModeIs(GunArm::JUST_SHOT) && frames < 10) {
        world.time = 700 + frames++;
        g.Frame(target);
    }
    EXPECT_EQ(frames, 5);
    // The posed hand joint: full reach less 0.0015625 straight ahead.
    Matrix u = Matrix(g.upperarm->blendAnim->pose.ang);
    u.w = g.upperarm->mat.w;
    Matrix l = Matrix(g.lowerarm->blendAnim->pose.ang);
    l.w = g.lowerarm->mat.w;
    const VectorXYZ hand = u * (l * g.hand->mat.GetTrans());
    const float reach = VectorXYZ(g.lowerarm->mat.GetTrans()).Length() + VectorXYZ(g.hand->mat.GetTrans()).Length();
    const VectorXYZ want = S + VectorXYZ(0, 0, reach - 0.0015625f);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(hand[i], want[i], 5e-4f) << i;
    root->Delete();
    free(block);
}
