#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ee/console_out.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"

namespace {

// ---------------------------------------------------------------------------
// A model file laid out byte by byte, independently of the tools' writer,
// with the offset of every record the tests look at.

u128 Q(u32 x, u32 y, u32 z, u32 w)
{
    u128 q;
    u32 words[4] = {x, y, z, w};
    std::memcpy(&q, words, 16);
    return q;
}

struct TestFile
{
    std::vector<u8> b;
    u32 dir = 0;
    u32 modelTable = 0, model0 = 0, cl0 = 0, data0 = 0, cl1 = 0, data1 = 0;
    u32 texArray = 0, image0 = 0;
    u32 collTable = 0, chain0 = 0;
    u32 animTable = 0, anim0 = 0, stream0 = 0, stream1 = 0;
    u32 nodes = 0, parts = 0, version = 0;
    u32 shadowTable = 0, shadow0 = 0, shadowData = 0;
    u32 occ = 0;

    u32 Align(u32 a = 16)
    {
        b.resize((b.size() + a - 1) / a * a, 0);
        return u32(b.size());
    }
    u32 Put(const void* p, size_t n)
    {
        u32 at = u32(b.size());
        b.insert(b.end(), (const u8*)p, (const u8*)p + n);
        return at;
    }
    u32 Reserve(size_t n)
    {
        u32 at = u32(b.size());
        b.resize(b.size() + n, 0);
        return at;
    }
    void Set32(u32 at, u32 v) { std::memcpy(&b[at], &v, 4); }
    u32 Get32(u32 at) const
    {
        u32 v;
        std::memcpy(&v, &b[at], 4);
        return v;
    }
    void SetBlock(int i, u16 type, u16 count, u32 data)
    {
        HeaderBlock h = {type, count, data};
        std::memcpy(&b[4 + 8 * i], &h, 8);
    }
    // Offset of descriptor i's data word.
    static u32 BlockData(int i) { return 4 + 8 * i + 4; }
};

enum TestTex
{
    TEX_OWN,       // an 8 x 8 32-bit image of its own
    TEX_SHARED0,   // data -1
    TEX_SHARED2,   // data -3
    TEX_EMPTY,     // data 0, no pixels
    TEX_COUNT,
};

// Blocks: version (51), nodes, models, textures, collisions, animations,
// particles, shadows, occluders.  With shadowFirst the shadow and version
// blocks change places, so that the shadows come before the version.
TestFile MakeFile(bool shadowFirst = false, u32 versionValue = 51)
{
    TestFile f;
    const int nblocks = 9;
    u32 count = nblocks;
    f.Put(&count, 4);
    f.Reserve(8 * nblocks);
    int vIdx = shadowFirst ? 7 : 0, sIdx = shadowFirst ? 0 : 7;

    f.version = f.Align();
    f.Put(&versionValue, 4);
    f.SetBlock(vIdx, EX5_BLOCK_VERSION, 1, f.version);

    // Nodes: 0 (model 0, collision 0, animation 0) with child 1 (no geometry).
    f.nodes = f.Align();
    NODE n[2] = {};
    n[0].model = 0;
    n[0].collision = 0;
    n[0].animation = 0;
    n[0].sibling = 0xFFFF;
    n[0].child = 1;
    n[0].extra = 7;
    n[1].model = 0x700;
    n[1].collision = 0xFFFF;
    n[1].animation = 0xFFFF;
    n[1].sibling = 0xFFFF;
    n[1].child = 0xFFFF;
    n[1].pos = Vector(0, 2, 0, 0);
    f.Put(n, sizeof n);
    f.SetBlock(1, EX5_BLOCK_NODE, 2, f.nodes);

    // One model with an opaque and a translucent material.
    f.modelTable = f.Align();
    f.Reserve(4);
    f.model0 = f.Align();
    f.Set32(f.modelTable, f.model0 - f.modelTable);
    alignas(16) u8 head[80] = {};
    MODEL* m = (MODEL*)head;
    m->sphere = Sphere(1, 0, 0, 2);
    m->boxextent = Vector(1, 1, 1, 0);
    m->nOpaque = 1;
    m->nTranslucent = 1;
    m->nMaterials = 2;
    f.Put(head, 80);
    u32 mats = f.Reserve(48);
    // Material 0: set material, a GIF tag with one data quadword that looks
    // like a command (and must be left alone), kick.
    f.cl0 = f.Align();
    u128 cl0[4] = {Q(1, 2, 3, tokSetMaterial), Q(1, 0, 0, tokGiftag), Q(0, 0, 0, 0x0800 | 5), Q(0, 0, 0, tokKick)};
    f.Put(cl0, sizeof cl0);
    f.data0 = f.Align();
    // Vertex data is a VIF stream: MARK codes with recognisable values, NOPs.
    u128 d0[2] = {Q(0x0700D0D0, 1, 2, 3), Q(4, 5, 6, 7)};
    f.Put(d0, sizeof d0);
    f.cl1 = f.Align();
    u128 cl1[2] = {Q(0, 0, 0, tokTransform), Q(0, 0, 0, tokStop)};
    f.Put(cl1, sizeof cl1);
    f.data1 = f.Align();
    u128 d1 = Q(0x0700D1D1, 0, 0, 0);
    f.Put(&d1, 16);
    MATERIAL mt[2] = {};
    mt[0] = {0, 0, 4, 2, f.cl0, f.data0, 0, TEXID_NONE, 0, 0};
    mt[1] = {0, 0, 2, 1, f.cl1, f.data1, 0, 0, 0, 0};
    std::memcpy(&f.b[mats], mt, sizeof mt);
    f.SetBlock(2, EX5_BLOCK_MODEL, 1, f.modelTable);

    // Textures.
    f.texArray = f.Align();
    u32 recs = f.Reserve(40 * TEX_COUNT);
    f.image0 = f.Align();
    std::vector<u8> pixels(8 * 8 * 4, 0xAB);
    f.Put(pixels.data(), pixels.size());
    Texture t[TEX_COUNT] = {};
    t[TEX_OWN].Set(PSMCT32 | TEXF_POINT, 8, 8, 0, (void*)(uintptr_t)(f.image0 - f.texArray));
    t[TEX_SHARED0].data = (void*)(intptr_t)-1;
    t[TEX_SHARED2].data = (void*)(intptr_t)-3;
    t[TEX_EMPTY].data = nullptr;
    std::memcpy(&f.b[recs], t, sizeof t);
    f.SetBlock(3, EX5_BLOCK_TEXTURE, TEX_COUNT, f.texArray);

    // One collision chain: a box.
    f.collTable = f.Align();
    f.Reserve(4);
    CollBoxEnd box(0x0101, Cuboid(VectorPos(-1, -2, -3), VectorPos(1, 2, 3)));
    f.chain0 = f.Align();
    f.Set32(f.collTable, f.chain0 - f.collTable);
    f.Put(&box, sizeof(CollBox) + 2);
    f.SetBlock(4, EX5_BLOCK_COLLISION, 1, f.collTable);

    // One node animation with a position stream (1 key) and a zoom stream
    // (2 keys).
    f.animTable = f.Align();
    f.Reserve(4);
    f.anim0 = f.Align();
    f.Set32(f.animTable, f.anim0 - f.animTable);
    u16 ahead[4] = {1, 30, 0, 2};
    f.Put(ahead, 8);
    u32 offs = f.Reserve(8);
    f.stream0 = f.Align(4);
    u16 s0[2] = {0, 1};
    f.Put(s0, 4);
    f.Reserve(14);
    f.stream1 = f.Align(4);
    u16 s1[2] = {4, 2};
    f.Put(s1, 4);
    f.Reserve(12);
    f.Set32(offs, f.stream0 - (f.anim0 + 4));
    f.Set32(offs + 4, f.stream1 - (f.anim0 + 4));
    f.SetBlock(5, EX5_BLOCK_ANIM, 1, f.animTable);

    f.parts = f.Align();
    PS2Part p[2] = {{0, 16, 16, 4}, {0, 8, 8, 1}};
    f.Put(p, sizeof p);
    f.SetBlock(6, EX5_BLOCK_PARTICLE, 2, f.parts);

    // One shadow model: one material with vertex data and no call list.
    f.shadowTable = f.Align();
    f.Reserve(4);
    f.shadow0 = f.Align();
    f.Set32(f.shadowTable, f.shadow0 - f.shadowTable);
    alignas(16) u8 shead[80] = {};
    ((MODEL*)shead)->nOpaque = 1;
    f.Put(shead, 80);
    u32 smat = f.Reserve(24);
    f.shadowData = f.Align();
    u128 sd = Q(0x07005A5A, 0, 0, 0);
    f.Put(&sd, 16);
    MATERIAL sm = {0, 0, 0, 1, 0, f.shadowData, 0, TEXID_NONE, 0, 0};
    std::memcpy(&f.b[smat], &sm, 24);
    f.SetBlock(sIdx, EX5_BLOCK_SHADOW, 1, f.shadowTable);

    // One occluder polygon of four corners.
    f.occ = f.Align();
    for (int c = 0; c < 4; c++)
    {
        float corner[4] = {float(c), 0, 0, 0};
        u32 nw = c == 0 ? 4 : 0;
        std::memcpy(&corner[3], &nw, 4);
        f.Put(corner, 16);
    }
    f.SetBlock(8, EX5_BLOCK_OCCLUDER, 1, f.occ);
    f.Align();
    return f;
}

// A 16-byte aligned copy of a file inside a larger buffer, so that it can be
// moved about; slack bytes on each side.
class Loaded
{
public:
    explicit Loaded(const std::vector<u8>& bytes, u32 slack = 0)
        : size(u32(bytes.size())), store((bytes.size() + 2 * slack + 15) / 16 + 1)
    {
        at = (u8*)store.data() + slack;
        std::memcpy(at, bytes.data(), bytes.size());
        mf = {};
        mf.SetBuffer(at);
    }
    bool Init(Texture* shared = nullptr, int nShared = 0) { return mf.Init(size, shared, nShared); }
    u32 Offset(const void* p) const { return u32((const u8*)p - at); }
    std::vector<u8> Bytes() const { return std::vector<u8>(at, at + size); }

    u32 size;
    std::vector<u128> store;
    u8* at;
    MDLFILE mf;
};

Texture SharedTexture(int i)
{
    Texture t = {};
    t.format = PSMT8;
    t.width = u16(16 << i);
    t.height = 16;
    t.clutsize = 256;
    t.data = (void*)(uintptr_t)(0x100000 + 0x1000 * i);
    return t;
}

class ModelFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        console::ClearConsoleText();
        for (int i = 0; i < 3; i++)
            shared[i] = SharedTexture(i);
    }
    Texture shared[3];
};

// ---------------------------------------------------------------------------
// Fix-up

TEST_F(ModelFile, InitTurnsEveryOffsetIntoAPointerToTheSameBytes)
{
    TestFile f = MakeFile();
    Loaded l(f.b);
    ASSERT_TRUE(l.Init(shared, 3));
    MDLFILE& mf = l.mf;

    EXPECT_EQ(mf.nModels, 1);
    EXPECT_EQ(l.Offset(mf.models), f.modelTable);
    EXPECT_EQ(l.Offset(mf.models[0]), f.model0);
    const MODEL* m = mf.models[0];
    EXPECT_EQ(m->sphere[3], 2.0f);
    EXPECT_EQ(l.Offset(m->mtls[0].CallList()), f.cl0);
    EXPECT_EQ(l.Offset(m->mtls[0].Data()), f.data0);
    EXPECT_EQ(l.Offset(m->mtls[1].CallList()), f.cl1);
    EXPECT_EQ(l.Offset(m->mtls[1].Data()), f.data1);
    EXPECT_EQ(*(u32*)m->mtls[1].Data(), 0x0700D1D1u);

    EXPECT_EQ(mf.nTextures, TEX_COUNT);
    EXPECT_EQ(l.Offset(mf.textures), f.texArray);
    EXPECT_EQ(l.Offset(mf.textures[TEX_OWN].data), f.image0);
    EXPECT_EQ(l.Offset(mf.textures[TEX_EMPTY].data), f.texArray);   // data 0: the array's own start

    ASSERT_NE(mf.collisions, nullptr);
    EXPECT_EQ(l.Offset(mf.collisions), f.collTable);
    EXPECT_EQ(l.Offset(mf.collisions[0]), f.chain0);
    EXPECT_EQ(mf.collisions[0]->type, COLL_BOX);

    ASSERT_NE(mf.anmfile, nullptr);
    EXPECT_EQ(l.Offset(mf.anmfile[0]), f.anim0);
    EXPECT_EQ(mf.anmfile[0]->length, 30);
    EXPECT_EQ(l.Offset((void*)(uintptr_t)mf.anmfile[0]->streams[0]), f.stream0);
    EXPECT_EQ(l.Offset((void*)(uintptr_t)mf.anmfile[0]->streams[1]), f.stream1);

    EXPECT_EQ(mf.nNodes, 2);
    EXPECT_EQ(l.Offset(mf.nodes), f.nodes);
    EXPECT_EQ(l.Offset(mf.parts), f.parts);
    EXPECT_EQ(mf.GetParticle(1)->texWidth, 8);
    ASSERT_NE(mf.shadows, nullptr);
    EXPECT_EQ(l.Offset(mf.shadows[0]), f.shadow0);
    EXPECT_EQ(l.Offset(mf.shadows[0]->mtls[0].Data()), f.shadowData);
    EXPECT_EQ(mf.shadows[0]->mtls[0].callList, 0u);   // shadow call lists are not fixed up
    EXPECT_EQ(mf.nOccluders, 1);
    EXPECT_EQ(l.Offset(mf.occluders), f.occ);
    EXPECT_EQ(l.Offset(mf.header->block[0].Data()), f.version);
}

TEST_F(ModelFile, SharedTexturesAreNumberedMinusNMinusOne)
{
    TestFile f = MakeFile();
    Loaded l(f.b);
    ASSERT_TRUE(l.Init(shared, 3));
    const Texture* t = l.mf.textures;
    // -1 takes shared texture 0, -3 shared texture 2, as whole records.
    EXPECT_EQ(t[TEX_SHARED0].data, shared[0].data);
    EXPECT_EQ(t[TEX_SHARED0].width, shared[0].width);
    EXPECT_EQ(t[TEX_SHARED2].data, shared[2].data);
    EXPECT_EQ(t[TEX_SHARED2].width, shared[2].width);
    EXPECT_EQ(t[TEX_SHARED2].clutsize, 256);
    EXPECT_EQ(t[TEX_SHARED2].format, PSMT8 | 0x8000);
    EXPECT_EQ(t[TEX_OWN].format, PSMCT32 | TEXF_POINT);
}

TEST_F(ModelFile, SharedTexturesThatWereNotGivenAreLeftUndrawableAndReportedOnce)
{
    TestFile f = MakeFile();
    Loaded l(f.b);
    ASSERT_TRUE(l.Init(shared, 2));   // shared texture 2 is missing
    EXPECT_EQ(l.mf.textures[TEX_SHARED0].data, shared[0].data);
    EXPECT_EQ(l.mf.textures[TEX_SHARED2].format, 0);
    EXPECT_EQ((s32)(uintptr_t)l.mf.textures[TEX_SHARED2].data, -3);   // still resolvable later

    Loaded none(f.b);
    ASSERT_TRUE(none.Init());
    EXPECT_EQ(none.mf.textures[TEX_SHARED0].format, 0);
    // A later call with the array fills them in.
    none.mf.FixupSharedTextures(shared, 3);
    EXPECT_EQ(none.mf.textures[TEX_SHARED2].data, shared[2].data);
    EXPECT_EQ(none.mf.textures[TEX_SHARED2].format, PSMT8 | 0x8000);

    std::string text = console::ConsoleText();
    size_t first = text.find("shared textures that were not given");
    if (first != std::string::npos)
    {
        EXPECT_EQ(text.find("shared textures that were not given", first + 1), std::string::npos);
    }
}

TEST_F(ModelFile, PatchTranslatesTokensAndSkipsGiftagData)
{
    TestFile f = MakeFile();
    Loaded l(f.b);
    ASSERT_TRUE(l.Init());
    const MATERIAL& m0 = l.mf.models[0]->mtls[0];
    EXPECT_EQ(m0.Words(0)[6], 77);             // tokSetMaterial
    EXPECT_EQ(m0.Words(0)[0], 1);              // arguments untouched
    EXPECT_EQ(m0.Words(1)[6], 198);            // tokGiftag
    EXPECT_EQ(m0.Words(2)[6], 0x0800 | 5);     // GIF data, not a command
    EXPECT_EQ(m0.Words(3)[6], 216);            // tokKick
    const MATERIAL& m1 = l.mf.models[0]->mtls[1];
    EXPECT_EQ(m1.Words(0)[6], 628);            // tokTransform
    EXPECT_EQ(m1.Words(1)[6], 10);             // tokStop
}

TEST(ModelFilePatch, TokenTableMatchesTheMicrocodeEntries)
{
    // token - 2048 -> routine entry (address / 8) of each routine.
    const u16 expected[42] = {5,   10,  18,  16,  353, 66,  71,   77,   0,    0,    107,  114, 198, 205,
                              216, 234, 628, 768, 551, 950, 919,  929,  912,  1009, 986,  993, 981, 1057,
                              1050, 1057, 1050, 890, 903, 417, 583, 397, 1203, 1240, 1308, 613, 623, 529};
    for (int i = 0; i < 42; i++)
        EXPECT_EQ(MATERIAL::translate[i], expected[i]) << "token " << 2048 + i;
}

TEST_F(ModelFile, EmptyDirectoryLeavesTablesNullAndCountsAsTheyWere)
{
    alignas(16) u8 file[16] = {};
    MDLFILE mf = {};
    mf.nNodes = 5;
    mf.nModels = 6;
    mf.nTextures = 7;
    mf.nOccluders = 8;
    mf.models = (MODEL**)16;   // stale values from an earlier file
    mf.nodes = (NODE*)16;
    mf.SetBuffer(file);
    ASSERT_TRUE(mf.Init(sizeof file, shared, 3));
    EXPECT_EQ(mf.models, nullptr);
    EXPECT_EQ(mf.nodes, nullptr);
    EXPECT_EQ(mf.textures, nullptr);
    EXPECT_EQ(mf.collisions, nullptr);
    EXPECT_EQ(mf.anmfile, nullptr);
    EXPECT_EQ(mf.shadows, nullptr);
    EXPECT_EQ(mf.occluders, nullptr);
    EXPECT_EQ(mf.parts, nullptr);
    EXPECT_EQ(mf.nOccluders, 0);
    EXPECT_EQ(mf.nNodes, 5);
    EXPECT_EQ(mf.nModels, 6);
    EXPECT_EQ(mf.nTextures, 7);
}

TEST_F(ModelFile, ShadowsAreTakenOnlyAfterAVersionOf51OrMore)
{
    TestFile before = MakeFile(true, 51);
    Loaded a(before.b);
    ASSERT_TRUE(a.Init());
    EXPECT_EQ(a.mf.shadows, nullptr);
    // Not taken: its table keeps its offsets.
    EXPECT_EQ(*(u32*)(a.at + before.shadowTable), before.shadow0 - before.shadowTable);

    TestFile old = MakeFile(false, 50);
    Loaded b(old.b);
    ASSERT_TRUE(b.Init());
    EXPECT_EQ(b.mf.shadows, nullptr);

    TestFile now = MakeFile(false, 51);
    Loaded c(now.b);
    ASSERT_TRUE(c.Init());
    ASSERT_NE(c.mf.shadows, nullptr);
    EXPECT_EQ(*(u32*)c.mf.shadows[0]->mtls[0].Data(), 0x07005A5Au);
}

TEST_F(ModelFile, NullHeaderIsAWarning)
{
    MDLFILE mf = {};
    EXPECT_FALSE(mf.Init(100));
    EXPECT_NE(console::ConsoleText().find("Warning -- Modelfile::Setup() null header"), std::string::npos);
}

// ---------------------------------------------------------------------------
// MoveBuffer

// Every pointer the fix-up made, as an offset from the file's start (or, for
// shared textures, the pointer itself).
std::vector<uintptr_t> Pointers(const MDLFILE& mf)
{
    uintptr_t base = (uintptr_t)mf.header;
    std::vector<uintptr_t> p;
    for (u32 k = 0; k < mf.header->blockCount; k++)
        p.push_back(mf.header->block[k].data - base);
    p.push_back((uintptr_t)mf.models - base);
    for (int j = 0; j < mf.models[0]->NumMaterials(); j++)
    {
        p.push_back((uintptr_t)mf.models[0] - base);
        p.push_back(mf.models[0]->mtls[j].callList - base);
        p.push_back(mf.models[0]->mtls[j].data - base);
    }
    p.push_back((uintptr_t)mf.collisions - base);
    p.push_back((uintptr_t)mf.collisions[0] - base);
    p.push_back((uintptr_t)mf.textures - base);
    for (int i = 0; i < mf.nTextures; i++)
    {
        uintptr_t d = (uintptr_t)mf.textures[i].data;
        p.push_back(d - base < 0x10000 ? d - base : d);
    }
    p.push_back((uintptr_t)mf.anmfile - base);
    p.push_back((uintptr_t)mf.anmfile[0] - base);
    p.push_back(mf.anmfile[0]->streams[0] - base);
    p.push_back(mf.anmfile[0]->streams[1] - base);
    p.push_back((uintptr_t)mf.nodes - base);
    p.push_back((uintptr_t)mf.parts - base);
    p.push_back((uintptr_t)mf.shadows - base);
    p.push_back((uintptr_t)mf.shadows[0] - base);
    p.push_back(mf.shadows[0]->mtls[0].data - base);
    p.push_back((uintptr_t)mf.occluders - base);
    return p;
}

TEST_F(ModelFile, MoveBufferKeepsEveryPointerOnTheSameBytes)
{
    TestFile f = MakeFile();
    const u32 slack = 8192;
    for (int delta : {16, -16, 48, -4096, 4096, 8192, -8192, 1024 + 16 * 7})
    {
        Loaded l(f.b, slack);
        ASSERT_TRUE(l.Init(shared, 3));
        std::vector<uintptr_t> before = Pointers(l.mf);
        std::vector<u8> bytes = l.Bytes();

        u8* dest = l.at + delta;
        l.mf.MoveBuffer(dest, l.size);
        EXPECT_EQ((u8*)l.mf.header, dest);
        EXPECT_EQ(Pointers(l.mf), before) << "delta " << delta;
        EXPECT_EQ(l.mf.textures[TEX_SHARED0].data, shared[0].data);
        EXPECT_EQ(l.mf.textures[TEX_SHARED2].data, shared[2].data);
        // The bytes reached through the pointers are the same.
        EXPECT_EQ(*(u32*)l.mf.models[0]->mtls[1].Data(), 0x0700D1D1u);
        EXPECT_EQ(*(u8*)l.mf.textures[TEX_OWN].data, 0xAB);
        EXPECT_EQ(l.mf.collisions[0]->type, COLL_BOX);
        EXPECT_EQ(l.mf.nodes[0].extra, 7);
        EXPECT_EQ(l.mf.models[0]->mtls[0].Words(3)[6], 216);   // patched words are moved, not re-patched
        EXPECT_EQ(l.mf.nModels, 1);
        EXPECT_EQ(l.mf.nTextures, TEX_COUNT);
    }
}

TEST_F(ModelFile, MoveBufferLeavesEmptyBlocksEmpty)
{
    TestFile f = MakeFile();
    // An empty particle block without data.
    f.SetBlock(6, EX5_BLOCK_PARTICLE, 0, 0);
    Loaded l(f.b, 256);
    ASSERT_TRUE(l.Init(shared, 3));
    EXPECT_EQ(l.mf.parts, nullptr);
    l.mf.MoveBuffer(l.at + 64, l.size);
    EXPECT_EQ(l.mf.header->block[6].data, 0u);
    EXPECT_EQ(l.mf.parts, nullptr);
}

// ---------------------------------------------------------------------------
// Refusing malformed files

// Loads bytes and expects a refusal naming `reason`, with nothing changed.
void ExpectRefused(const std::vector<u8>& bytes, const char* reason, int size = -1)
{
    console::ClearConsoleText();
    Loaded l(bytes);
    if (size >= 0)
        l.size = u32(size);
    MDLFILE before = l.mf;
    EXPECT_FALSE(l.Init());
    EXPECT_EQ(l.Bytes(), std::vector<u8>(bytes.begin(), bytes.begin() + l.size));
    EXPECT_EQ(std::memcmp(&before, &l.mf, sizeof before), 0);
    std::string text = console::ConsoleText();
    EXPECT_NE(text.find("Modelfile: refused"), std::string::npos) << text;
    EXPECT_NE(text.find(reason), std::string::npos) << text;
}

TEST_F(ModelFile, EveryTruncationIsRefusedBeforeAnyFixUp)
{
    TestFile f = MakeFile();
    for (u32 size = 0; size < f.b.size(); size += (size < 64 ? 1 : 13))
    {
        SCOPED_TRACE(size);
        ExpectRefused(f.b, "", int(size));
    }
}

TEST_F(ModelFile, OffsetsOutsideTheFileAreRefused)
{
    TestFile f = MakeFile();
    TestFile g = f;
    g.Set32(TestFile::BlockData(2), u32(f.b.size()) + 64);   // the model table
    ExpectRefused(g.b, "model table 2 at");

    g = f;
    g.Set32(g.modelTable, 0x7FFFFFF0);   // model table entry
    ExpectRefused(g.b, "model 0");

    g = f;
    g.Set32(g.model0 + 80 + 12, u32(f.b.size()));   // material 0's vertex data
    ExpectRefused(g.b, "vertex data of model 0");

    g = f;
    g.Set32(g.texArray + 12, u32(f.b.size()));   // the image of texture 0
    ExpectRefused(g.b, "image of texture 0");

    g = f;
    g.Set32(g.anim0 + 8, 0xFFFFFF00);   // stream 0
    ExpectRefused(g.b, "key stream of animation node 0");

    g = f;
    g.Set32(g.collTable, 0x10000);
    ExpectRefused(g.b, "collision entry of chain 0");
}

TEST_F(ModelFile, RecordsTheFixUpWouldWriteTwiceAreRefused)
{
    TestFile f = MakeFile();
    // Two model table entries naming one model would fix its materials twice
    // (the second entry lies in the table's padding).
    TestFile g = f;
    g.b[4 + 8 * 2 + 2] = 2;   // the model block's count
    g.Set32(g.modelTable + 4, g.model0 - g.modelTable);
    ExpectRefused(g.b, "overlaps");

    // A collision table laid over a material record.
    g = f;
    g.Set32(TestFile::BlockData(4), g.model0 + 80);
    ExpectRefused(g.b, "overlaps");

    // Vertex data laid over the model record: fixing the record up would
    // change data already checked.
    g = f;
    g.Set32(g.model0 + 80 + 24 + 12, g.model0);
    ExpectRefused(g.b, "vertex data of model 0 at");
    EXPECT_NE(console::ConsoleText().find("overlaps a record that is fixed up"), std::string::npos);
}

TEST_F(ModelFile, BrokenNodeLinksAreRefused)
{
    TestFile f = MakeFile();
    NODE* n = (NODE*)&f.b[f.nodes];
    TestFile g = f;
    n = (NODE*)&g.b[g.nodes];
    n[1].child = 0;   // a loop: 0 -> 1 -> 0
    ExpectRefused(g.b, "2 nodes lie on a loop of links");

    g = f;
    n = (NODE*)&g.b[g.nodes];
    n[1].sibling = 1;   // a loop on itself
    ExpectRefused(g.b, "linked from two places");

    g = f;
    n = (NODE*)&g.b[g.nodes];
    n[0].sibling = 1;   // 1 is the child and the sibling of 0
    ExpectRefused(g.b, "linked from two places");

    g = f;
    n = (NODE*)&g.b[g.nodes];
    n[0].child = 9;
    ExpectRefused(g.b, "outside the 2-node block");

    g = f;
    n = (NODE*)&g.b[g.nodes];
    n[1].model = 3;
    ExpectRefused(g.b, "names model 3 of 1");

    g = f;
    n = (NODE*)&g.b[g.nodes];
    n[1].collision = 1;
    ExpectRefused(g.b, "names collision 1 of 1");

    g = f;
    n = (NODE*)&g.b[g.nodes];
    n[1].animation = 4;
    ExpectRefused(g.b, "names animation 4 of 1");
}

// A marker node whose model word names no model of its file passes the
// check; the one line about making its object without a model names the file.
TEST_F(ModelFile, AMarkerNamingNoModelIsToldOnceWithItsFilesName)
{
    TestFile f = MakeFile();
    NODE* n = (NODE*)&f.b[f.nodes];
    n[1].model = u16(0x8000 | 3);   // a marker (type 8) naming model 3 of 1
    Loaded l(f.b);
    ASSERT_TRUE(l.mf.Init(l.size, nullptr, 0, "DemoData/Char/MARKED.P2B"));
    console::ClearConsoleText();
    EXPECT_EQ(l.mf.NodeGeometry(l.mf.nodes[1]), -1);
    EXPECT_EQ(l.mf.NodeGeometry(l.mf.nodes[1]), -1);
    EXPECT_EQ(console::ConsoleText(),
              "Model: DemoData/Char/MARKED.P2B: node 1 names model 3 of 1; its object is made without one\n");
}

TEST_F(ModelFile, UnknownTokensAndMissingTexturesAreRefused)
{
    TestFile f = MakeFile();
    TestFile g = f;
    u16 bad = 2090;
    std::memcpy(&g.b[g.cl1 + 12], &bad, 2);
    ExpectRefused(g.b, "unknown command token 2090");

    g = f;
    u16 texid = TEX_COUNT;
    std::memcpy(&g.b[g.model0 + 80 + 24 + 18], &texid, 2);
    ExpectRefused(g.b, "names texture 0x0004");

    g = f;
    g.b[g.texArray] = 0x3F;   // pixel format 0x3F
    ExpectRefused(g.b, "unknown pixel format");

    // The GS words go to the GS as they lie: a palette format that is not
    // one (TEX0 bits 51-54), mip pointers of a texture without mip levels,
    // a block count short of the image's page.
    const u32 own = f.texArray + 40 * TEX_OWN;
    auto with = [&](u32 at, u64 value, size_t bytes) {
        std::vector<u8> b = f.b;
        std::memcpy(&b[own + at], &value, bytes);
        return b;
    };
    u64 tex0;
    std::memcpy(&tex0, &f.b[own + 16], 8);
    const char* reason = "texture 0's GS words are not those of its 8 x 8 format 0x800";
    ExpectRefused(with(16, tex0 | u64(5) << 51, 8), reason);
    ExpectRefused(with(24, 1, 8), reason);
    ExpectRefused(with(8, 0, 2), reason);
}

// Shared numbers are what a 16-bit count can name; a fixed-up image that lies
// above 2 GB (as a 32-bit process may place it) keeps its pointer and format.
TEST_F(ModelFile, OnlyNumbersDownToMinus32768NameSharedTextures)
{
    TestFile f = MakeFile();
    Loaded l(f.b);
    ASSERT_TRUE(l.Init(shared, 3));
    Texture& own = l.mf.textures[TEX_OWN];
    void* const high = (void*)(uintptr_t)0x90000000u;
    own.data = high;
    l.mf.FixupSharedTextures(shared, 3);
    EXPECT_EQ(own.data, high);
    EXPECT_EQ(own.format, PSMCT32 | TEXF_POINT);

    TestFile g = f;
    const s32 beyond = -32769;
    std::memcpy(&g.b[g.texArray + 40 * TEX_SHARED0 + 12], &beyond, 4);
    ExpectRefused(g.b, "names shared texture 32768");
}

// The vertex data goes to VIF1 as it lies: a code whose data would run past
// the block leaves VIF1 waiting for the next transfer's words, and codes that
// do not lay out vertex batches do not belong in it.  Register packets of a
// call list must end inside it.
TEST_F(ModelFile, VertexDataAndCallListsThatWouldDesynchroniseVif1AreRefused)
{
    TestFile f = MakeFile();
    // Material 0's data: 2 quadwords, 8 words.  A V4-32 UNPACK of 2 vectors
    // takes 8 words after its code.
    auto words = [](TestFile g, u32 at, std::vector<u32> w) {
        for (size_t i = 0; i < w.size(); i++)
            g.Set32(at + 4 * u32(i), w[i]);
        return g;
    };
    ExpectRefused(words(f, f.data0, {0x6C020000}).b,
                  "model 0 material 0: the vertex data's VIF code 0x6C020000 at word 0 takes 8 data words, past the "
                  "end of its 2 quadwords");
    // The same in a shadow model's data (1 quadword): S-32 of 4 vectors.
    ExpectRefused(words(f, f.shadowData, {0x60040000}).b, "takes 4 data words, past the end of its 1 quadwords");
    // A program upload and a DIRECT block.
    ExpectRefused(words(f, f.data1, {0x4A010000}).b,
                  "model 0 material 1: the vertex data holds VIF code 0x4A010000 at word 0, which does not belong");
    ExpectRefused(words(f, f.data0, {0, 0x50000001}).b, "VIF code 0x50000001 at word 1");
    // An interrupt bit, and V2-5, which has no format.
    ExpectRefused(words(f, f.data0, {0x80000000}).b, "asks for an interrupt");
    ExpectRefused(words(f, f.data0, {0x67010000}).b, "has no defined format");
    // A register packet counting 3 quadwords after quadword 1 of a
    // 4-quadword call list.
    ExpectRefused(words(f, f.cl0 + 16, {3}).b, "the register packet at call-list quadword 1 counts 3 quadwords");

    // Filling write cycle (WL 2, CL 1): 2 vectors of which 1 reads data; a
    // mask word and a row.  Exactly fills the two blocks, so it loads.
    TestFile g = words(f, f.data0, {0x01000201, 0x6C020000, 1, 2, 3, 4, 0x04000002, 0x17000000});
    g = words(g, f.data1, {0x20000000, 0x55, 0x30000000, 1});
    ExpectRefused(g.b, "the vertex data's VIF code 0x30000000 at word 2 takes 4 data words");
    g = words(g, f.data1, {0x20000000, 0x55, 0x17000000, 0});
    Loaded l(g.b);
    EXPECT_TRUE(l.Init());
}

TEST_F(ModelFile, MisalignedFileIsRefused)
{
    TestFile f = MakeFile();
    std::vector<u128> store(f.b.size() / 16 + 2);
    u8* at = (u8*)store.data() + 4;
    std::memcpy(at, f.b.data(), f.b.size());
    MDLFILE mf = {};
    mf.SetBuffer(at);
    EXPECT_FALSE(mf.Init(u32(f.b.size())));
    EXPECT_NE(console::ConsoleText().find("not 16-byte aligned"), std::string::npos);
}

TEST_F(ModelFile, ASecondInitIsRefused)
{
    TestFile f = MakeFile();
    Loaded l(f.b);
    ASSERT_TRUE(l.Init(shared, 3));
    std::vector<u8> fixed = l.Bytes();
    MDLFILE first = l.mf;
    EXPECT_FALSE(l.Init(shared, 3));
    EXPECT_EQ(l.Bytes(), fixed);
    EXPECT_EQ(std::memcmp(&first, &l.mf, sizeof first), 0);
}

// Everything an accepted file's handle leads to lies inside the file (or is a
// shared texture).
void ExpectInside(const Loaded& l)
{
    const MDLFILE& mf = l.mf;
    auto in = [&](const void* p, u32 len) {
        uintptr_t a = (uintptr_t)p, b = (uintptr_t)l.at;
        return a >= b && a + len <= b + l.size;
    };
    for (int i = 0; mf.models != nullptr && i < mf.nModels; i++)
    {
        const MODEL* m = mf.models[i];
        ASSERT_TRUE(in(m, 80 + 24 * m->NumMaterials()));
        for (int j = 0; j < m->NumMaterials(); j++)
        {
            EXPECT_TRUE(in(m->mtls[j].CallList(), 16 * m->mtls[j].callListNumQw));
            EXPECT_TRUE(in(m->mtls[j].Data(), 16 * m->mtls[j].dataNumQw));
        }
    }
    for (int i = 0; mf.textures != nullptr && i < mf.nTextures; i++)
    {
        const Texture& t = mf.textures[i];
        if ((s32)(uintptr_t)t.data >= 0 && t.format != 0 && !(t.format & 0x8000))
        {
            EXPECT_TRUE(in(t.data, 0));
        }
    }
    for (int i = 0; mf.nodes != nullptr && i < mf.nNodes; i++)
    {
        const NODE& n = mf.nodes[i];
        EXPECT_TRUE(n.sibling == 0xFFFF || n.sibling < mf.nNodes);
        EXPECT_TRUE(n.child == 0xFFFF || n.child < mf.nNodes);
        // Marker nodes (wheel mounts, locators) name no model.
        const bool drawn = !(n.model & MDL_NOTOBJECT) || n.Type() == NODETYPE_LOD;
        if (drawn && n.Model() < MDL_NOGEOM)
        {
            EXPECT_LT(n.Model(), mf.nModels);
        }
    }
}

TEST_F(ModelFile, CorruptedFilesAreRefusedOrLoadSafely)
{
    TestFile f = MakeFile();
    u32 seed = 12345;
    auto next = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int refused = 0, accepted = 0;
    for (int round = 0; round < 3000; round++)
    {
        std::vector<u8> bytes = f.b;
        int changes = 1 + next() % 4;
        for (int c = 0; c < changes; c++)
        {
            u32 at = next() % u32(bytes.size());
            switch (next() % 3)
            {
            case 0:
                bytes[at] = u8(next());
                break;
            case 1:   // a plausible offset into or just past the file
                at &= ~3u;
                {
                    u32 v = next() % (u32(bytes.size()) + 64);
                    std::memcpy(&bytes[at], &v, 4);
                }
                break;
            default:
                bytes[at] ^= u8(1u << (next() % 8));
                break;
            }
        }
        Loaded l(bytes);
        std::vector<u8> copy = l.Bytes();
        if (l.Init(shared, 3))
        {
            accepted++;
            ExpectInside(l);
            // Build and delete what node 0 makes.
            if (l.mf.nodes != nullptr && l.mf.nNodes > 0)
            {
                Object* o = l.mf.GetHierarchy(0, sizeof(Object), 0x01);
                while (o != nullptr)
                {
                    Object* s = o->sibling;
                    o->Delete();
                    o = s;
                }
            }
        }
        else
        {
            refused++;
            ASSERT_EQ(l.Bytes(), copy) << "a refused file was changed (round " << round << ")";
        }
        if (round % 200 == 0)
            console::ClearConsoleText();
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(accepted, 0);
}

// ---------------------------------------------------------------------------
// Texture lists

TEST_F(ModelFile, TextureListsLongerThanThreeAreCutAndReportedOncePerFile)
{
    TestFile f = MakeFile();
    // Material 1 gets a call list of 7 quadwords: a GIF tag command whose
    // data holds a list of five entries (quadwords 2..6).
    TestFile g = f;
    g.Align();
    u32 cl = g.Align();
    u128 q[7];
    q[0] = Q(0, 0, 0, tokTransform);
    q[1] = Q(5, 0, 0, tokGiftag);
    for (int e = 0; e < 5; e++)
    {
        u32 nextAddr = e < 4 ? 2 + e + 1 : 0;
        q[2 + e] = Q(0, 0, 0, nextAddr | (u32(TEX_OWN) << 16));
    }
    g.Put(q, sizeof q);
    MATERIAL* m1 = (MATERIAL*)&g.b[g.model0 + 80 + 24];
    m1->callList = cl;
    m1->callListNumQw = 7;
    m1->texvuaddr = 2;
    m1->texid = TEX_OWN;

    Loaded l(g.b);
    ASSERT_TRUE(l.Init(shared, 3));
    const MATERIAL& mt = l.mf.models[0]->mtls[1];
    int length = 0;
    for (int a = mt.texvuaddr; a != 0; a = mt.Words(a)[6])
        length++;
    EXPECT_EQ(length, 3);
    EXPECT_EQ(mt.Words(2)[7], TEX_OWN);

    // One report for the file, however many lists it cuts.
    std::string text = console::ConsoleText();
    size_t first = text.find("1 texture lists longer than 3 entries cut to 3");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("texture lists longer", first + 10), std::string::npos);

    // A list that runs in a circle is refused.
    TestFile h = g;
    u16 back = 2;
    std::memcpy(&h.b[cl + 16 * 6 + 12], &back, 2);
    ExpectRefused(h.b, "the texture list does not end");
}

}  // namespace
