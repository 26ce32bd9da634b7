// Direct drawing: vertex streams turned into VIF batches, material command
// blocks, and whole frames drawn through the stand-in (VIF1, the VU1
// microcode, the GS) and read back.
//
// The batch tests replay the chain through the stand-in's own VIF unpack
// engine into a model of VU1 data memory, so they check what the vector unit
// receives, however the data travelled (copied, referenced, split).
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/RenderDirect.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"
#include "console/dmac/dma_probe.h"
#include "ee/console_out.h"
#include "gs/gs.h"
#include "vif/unpack.h"
#include "game/ProgramImages.h"

using namespace render_test;

namespace {

u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}
float Float(u32 b)
{
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}
u32 Word(const u128& q, int k)
{
    u32 w[4];
    std::memcpy(w, &q, 16);
    return w[k];
}
float Lane(const u128& q, int k) { return Float(Word(q, k)); }

// ------------------------------------------------------------ VU1 model

// One VIF code with its data words.
struct Code
{
    u32 code;
    std::vector<u32> data;
    u32 Cmd() const { return (code >> 24) & 0x7F; }
};

// The VIF1 code stream of a source chain (tag transfer on), as VIF1 takes
// it: a tag's two words are codes, unless they arrive while a code still
// wants data, in which case they must be NOPs and are skipped.
struct Decoded
{
    std::vector<Code> codes;
    std::vector<u32> tags;    // tag ids (bits 4-6) in order
    std::string error;
};

Decoded DecodeChain(const void* start)
{
    Decoded d;
    Code cur{};
    u32 left = 0;    // data words the current code still wants
    u32 cycle = 0;
    auto word = [&](u32 w) {
        if (left) {
            cur.data.push_back(w);
            if (--left == 0)
                d.codes.push_back(cur);
            return;
        }
        cur = Code{w, {}};
        const u32 cmd = cur.Cmd();
        if (cmd == 0x20)
            left = 1;
        else if (cmd == 0x30 || cmd == 0x31)
            left = 4;
        else if (cmd == 0x4A)
            left = 2 * (((w >> 16) & 0xFF) ? (w >> 16) & 0xFF : 256);
        else if (cmd == 0x50 || cmd == 0x51)
            left = 4 * ((w & 0xFFFF) ? w & 0xFFFF : 65536);
        else if (cmd >= 0x60)
            left = console::vif::UnpackDataWords(w, cycle);
        if (cmd == 0x01)
            cycle = w & 0xFFFF;
        if (!left)
            d.codes.push_back(cur);
    };
    const u32* tag = static_cast<const u32*>(start);
    for (int n = 0; n < 200000 && d.error.empty(); n++) {
        const u32 qwc = tag[0] & 0xFFFF, id = (tag[0] >> 28) & 7;
        const u32* addr = reinterpret_cast<const u32*>(uintptr_t(tag[1]));
        d.tags.push_back(id << 4);
        if (left) {
            if ((tag[2] || tag[3]) && d.error.empty())
                d.error = "tag words inside a code's data";
        } else {
            word(tag[2]);
            word(tag[3]);
        }
        const u32* data = (id == 0 || id == 3) ? addr : tag + 4;
        for (u32 i = 0; i < 4 * qwc; i++)
            word(data[i]);
        if (id == 0 || id == 7)
            return d;
        if (id == 1)
            tag = data + 4 * qwc;
        else if (id == 2)
            tag = addr;
        else if (id == 3)
            tag += 4;
        else {
            d.error = "unexpected tag id " + std::to_string(id);
            break;
        }
    }
    if (d.error.empty())
        d.error = "chain without an end";
    return d;
}

// What VU1 saw: each command block (MSCAL) and the input memory at each
// MSCNT, as the stand-in's unpack engine writes it (addresses relative to
// TOPS, so every batch lands at 0).
struct VuBatch
{
    u32 count;                 // ITOP
    std::vector<u128> mem;     // input quadwords 0 .. 215
    bool fresh;                // data was unpacked since the previous run
    u32 mode;                  // STMOD when it ran
};
struct VuRun
{
    std::vector<std::vector<u128>> blocks;
    std::vector<VuBatch> batches;
    int strows = 0;
    std::vector<u32> tags;
};

VuRun RunVif(const void* chain)
{
    const Decoded d = DecodeChain(chain);
    EXPECT_EQ(d.error, "");
    VuRun run;
    run.tags = d.tags;
    console::vif::Registers regs{};
    std::vector<u128> mem(1024);
    auto stale = [&] { std::memset(mem.data(), 0xCD, mem.size() * 16); };
    stale();
    u32 itop = 0;
    bool fresh = false;
    const Code* last = nullptr;
    for (const Code& c : d.codes) {
        const u32 cmd = c.Cmd();
        if (cmd == 0x01) {
            regs.cycle = c.code & 0xFFFF;
        } else if (cmd == 0x05) {
            regs.mode = c.code & 3;
        } else if (cmd == 0x20) {
            regs.mask = c.data[0];
        } else if (cmd == 0x30) {
            ++run.strows;
            for (int k = 0; k < 4; k++)
                regs.row[k] = c.data[k];
        } else if (cmd == 0x04) {
            itop = c.code & 0x3FF;
        } else if (cmd >= 0x60) {
            console::vif::Unpack(c.code, c.data.data(), c.data.size(), 0, 0, regs, mem.data());
            last = &c;
            fresh = true;
        } else if (cmd == 0x14 && last) {
            std::vector<u128> block(last->data.size() / 4);
            std::memcpy(block.data(), last->data.data(), block.size() * 16);
            run.blocks.push_back(block);
            stale();
            fresh = false;
        } else if (cmd == 0x17) {
            run.batches.push_back({itop, std::vector<u128>(mem.begin(), mem.begin() + 216), fresh, regs.mode});
            stale();
            fresh = false;
        }
    }
    return run;
}

std::vector<u32> Counts(const VuRun& r)
{
    std::vector<u32> n;
    for (const VuBatch& b : r.batches)
        if (b.fresh)
            n.push_back(b.count);
    return n;
}

// The decodings the microcode applies (README section 3), written out here
// from the formats' definition.
float DecodeNormal(float v)
{
    return v - Float(Bits(v) & 0xFF800000u) - 1.0f;
}
float DecodeColour(float v)
{
    return v - Float(Bits(v) & 0xFF800000u);
}

// A packet of its own for the batch tests: the renderer's room checks do
// not apply to it.
alignas(16) u128 packetbuf[16384];

const void* Send(const _VertexStreams& vs, int buffersize, int flags, int passes = 2)
{
    VIFpacket vif(packetbuf);
    vs.SendStreams(vif, buffersize, flags, passes);
    vif.End();
    return packetbuf;
}

// Data the DMA may read: host-heap memory, quadword aligned.
struct Buffer
{
    std::vector<u128> q;
    explicit Buffer(size_t bytes) : q(bytes / 16 + 2) { std::memset(q.data(), 0, q.size() * 16); }
    u8* at(size_t offset) { return reinterpret_cast<u8*>(q.data()) + offset; }
};

// Positions (i, 2i, -3i, 256.0) as four floats.
std::vector<Vector> Positions(int n)
{
    std::vector<Vector> p;
    for (int i = 0; i < n; i++)
        p.emplace_back(float(i), 2.0f * i, -3.0f * i, 256.0f);
    return p;
}

}  // namespace

// ------------------------------------------------------------- streams

TEST(VertexStreams, FixedPointFormatsDecodeThroughTheRow)
{
    VertexStreams<4> vs;
    vs.count = 3;
    vs.SetType(0, VSA_POS, VSD_POS16_ADC, 8);
    vs.SetType(1, VSA_UV, VSD_UV8S, 4);
    vs.SetType(2, VSA_NORMAL, VSD_NORMAL8, 0);   // normals always take 7 fraction bits
    vs.SetType(3, VSA_COLOUR, VSD_RGB, 0);
    EXPECT_EQ(vs.stride, 4);
    // 2^(23 - f), lifted by half the range when signed.
    EXPECT_EQ(vs.Stream(0).fill[0], 32768.0f + 128.0f);
    EXPECT_EQ(vs.Stream(0).fill.wcomponent(), 0x7FFF);
    EXPECT_EQ(vs.Stream(1).fill[0], 524288.0f + 8.0f);
    EXPECT_EQ(vs.Stream(1).fill[2], 1.0f);   // masked texture coordinates: z = 1
    EXPECT_EQ(vs.Stream(2).fill[0], 65536.0f + 1.0f);
    EXPECT_EQ(vs.Stream(3).fill[0], 65536.0f);
    EXPECT_EQ(vs.Stream(3).fill.wcomponent(), 0x47800080);

    static const s16 pos[3][4] = {{-300, 256, 0, 0}, {5, -32768 / 4, 77, 1}, {1000, 2, -2, 0}};
    static const s8 uv[3][2] = {{-16, 32}, {127, -128}, {0, 1}};
    static const s8 nrm[3][3] = {{127, -128, 0}, {-64, 64, 1}, {0, 0, -1}};
    static const u8 rgb[3][3] = {{0x80, 0x40, 0}, {255, 1, 2}, {3, 4, 5}};
    vs.SetData(0, pos);
    vs.SetData(1, uv);
    vs.SetData(2, nrm);
    vs.SetData(3, rgb);
    const VuRun run = RunVif(Send(vs, 72, 0));
    ASSERT_EQ(Counts(run), std::vector<u32>({3}));
    const VuBatch& b = run.batches[0];
    EXPECT_EQ(b.mode, 0u) << "offset mode must be off once the batch is sent";
    for (int i = 0; i < 3; i++) {
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(Lane(b.mem[4 * i], k) - vs.Stream(0).fill[k], pos[i][k] / 256.0f) << i << k;
        // The flag lands on bit 15 of w.
        EXPECT_EQ(Word(b.mem[4 * i], 3), 0x7FFFu + u32(pos[i][3]));
        for (int k = 0; k < 2; k++)
            EXPECT_EQ(Lane(b.mem[4 * i + 1], k) - vs.Stream(1).fill[k], uv[i][k] / 16.0f);
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(DecodeNormal(Lane(b.mem[4 * i + 2], k)), nrm[i][k] / 128.0f);
            EXPECT_EQ(DecodeColour(Lane(b.mem[4 * i + 3], k)), rgb[i][k] / 128.0f);
        }
        EXPECT_EQ(DecodeColour(Lane(b.mem[4 * i + 3], 3)), 1.0f);
    }
}

TEST(VertexStreams, GreyscaleFillsAllThreeChannels)
{
    VertexStreams<1> vs;
    vs.count = 2;
    vs.SetType(0, VSA_COLOURONLY, VSD_GREYSCALE, 0);
    alignas(16) static const u8 grey[4] = {0x40, 0x80};
    vs.SetData(0, grey);
    const VuRun run = RunVif(Send(vs, 72, 0));
    ASSERT_EQ(run.batches.size(), 1u);
    for (int i = 0; i < 2; i++) {
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(DecodeColour(Lane(run.batches[0].mem[2 * i + 1], k)), grey[i] / 128.0f) << i << k;
        EXPECT_EQ(DecodeColour(Lane(run.batches[0].mem[2 * i + 1], 3)), 1.0f);
    }
}

TEST(VertexStreams, StreamOutsideTheSetIsRefused)
{
    VertexStreams<2> vs;
    console::ClearConsoleText();
    vs.SetType(2, VSA_NORMAL, VSD_NORMALF, 0);
    vs.SetData(-1, nullptr);
    EXPECT_EQ(vs.stride, 0);
    EXPECT_NE(console::ConsoleText().find("SetType: stream 2 of a set of 2"), std::string::npos);
    EXPECT_NE(console::ConsoleText().find("SetData: stream -1"), std::string::npos);
}

TEST(SendStreams, HundredStripVerticesGoAsBatchesOfSeventyTwoAndThirty)
{
    const std::vector<Vector> pos = Positions(100);
    std::vector<float> uv;
    for (int i = 0; i < 100; i++)
        uv.insert(uv.end(), {0.5f * i, -1.0f * i});
    VertexStreams<2> vs;
    vs.count = 100;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs.SetType(1, VSA_UV, VSD_UVF, 0);
    vs.SetData(0, pos.data());
    vs.SetData(1, uv.data());
    const VuRun run = RunVif(Send(vs, 72, 2 << VS_OVERLAP_SHIFT));
    ASSERT_EQ(Counts(run), std::vector<u32>({72, 30}));
    // The second batch starts two vertices back, so the strip continues.
    for (int b = 0; b < 2; b++)
        for (u32 k = 0; k < run.batches[b].count; k++) {
            const int i = b * 70 + int(k);
            const u128* v = &run.batches[b].mem[2 * k];
            EXPECT_EQ(Lane(v[0], 0), float(i));
            EXPECT_EQ(Lane(v[0], 2), -3.0f * i);
            EXPECT_EQ(Lane(v[0], 3), 256.0f);
            EXPECT_EQ(Lane(v[1], 0), 0.5f * i);
            EXPECT_EQ(Lane(v[1], 1), -1.0f * i);
            EXPECT_EQ(Lane(v[1], 2), 1.0f);
            EXPECT_EQ(Lane(v[1], 3), 0.0f);
        }
}

TEST(SendStreams, IndexWithTopBitCopiesElementAndMarksNoKick)
{
    const std::vector<Vector> pos = Positions(8);
    static const u16 indices[3] = {3, 0x8005, 1};
    VertexStreams<1> vs;
    vs.count = 3;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs.SetData(0, pos.data());
    vs.SetIndices(0, indices);
    const VuRun run = RunVif(Send(vs, 72, 0));
    ASSERT_EQ(Counts(run), std::vector<u32>({3}));
    const std::vector<u128>& m = run.batches[0].mem;
    EXPECT_EQ(Lane(m[0], 0), 3.0f);
    EXPECT_EQ(Word(m[0], 3), Bits(256.0f));
    EXPECT_EQ(Lane(m[1], 0), 5.0f);
    EXPECT_EQ(Lane(m[1], 1), 10.0f);
    EXPECT_EQ(Word(m[1], 3), Bits(256.0f) | 0x8000u);
    EXPECT_EQ(Lane(m[2], 0), 1.0f);
    EXPECT_EQ(Word(m[2], 3), Bits(256.0f));
    // The source is left as it was.
    EXPECT_EQ(pos[5].wcomponent(), int(Bits(256.0f)));
}

TEST(SendStreams, NoKickIndexOfBytePositionsSetsItsFlagOnly)
{
    // Four-byte positions: the flag is the fourth byte, and marking it must
    // not reach into the next element.
    static const s8 pos[4][4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 0}};
    static const u16 indices[2] = {0x8002, 3};
    VertexStreams<1> vs;
    vs.count = 2;
    vs.SetType(0, VSA_POS, VSD_POS8_ADC, 0);
    vs.SetData(0, pos);
    vs.SetIndices(0, indices);
    const VuRun run = RunVif(Send(vs, 72, 0));
    ASSERT_EQ(run.batches.size(), 1u);
    const std::vector<u128>& m = run.batches[0].mem;
    EXPECT_EQ(Lane(m[0], 0) - vs.Stream(0).fill[0], 7.0f);
    EXPECT_EQ(Word(m[0], 3), 0x8000u);
    EXPECT_EQ(Lane(m[1], 2) - vs.Stream(0).fill[2], 12.0f);
    EXPECT_EQ(Word(m[1], 3), 0x7FFFu);
}

TEST(SendStreams, ReferencedAndCopiedDataArriveAlike)
{
    // Texture coordinates (8 bytes), normals (3 bytes) and colours (4 bytes)
    // starting at every word offset within a quadword: the referencing path
    // splits off heads and tails, the copying path copies all.
    for (size_t offset : {0, 4, 8, 12}) {
        Buffer buf(4096);
        const int n = 60;
        float* uv = reinterpret_cast<float*>(buf.at(offset));
        s8* nrm = reinterpret_cast<s8*>(buf.at(1024 + offset));
        u8* col = buf.at(2048 + offset);
        for (int i = 0; i < 2 * n; i++)
            uv[i] = float(i) * 0.25f;
        for (int i = 0; i < 3 * n; i++)
            nrm[i] = s8(i * 7 - 100);
        for (int i = 0; i < 4 * n; i++)
            col[i] = u8(i * 3);
        const std::vector<Vector> pos = Positions(n);
        VertexStreams<4> vs;
        vs.count = n;
        vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
        vs.SetType(1, VSA_UV, VSD_UVF, 0);
        vs.SetType(2, VSA_NORMAL, VSD_NORMAL8, 7);
        vs.SetType(3, VSA_COLOUR, VSD_RGBA, 0);
        vs.SetData(0, pos.data());
        vs.SetData(1, uv);
        vs.SetData(2, nrm);
        vs.SetData(3, col);

        const VuRun a = RunVif(Send(vs, 25, 2 << VS_OVERLAP_SHIFT));
        const VuRun b = RunVif(Send(vs, 25, VS_COPY | 2 << VS_OVERLAP_SHIFT));
        // Referenced where it lies unless copying was asked for.
        EXPECT_GT(std::count(a.tags.begin(), a.tags.end(), 0x30u), 3) << offset;
        EXPECT_EQ(std::count(b.tags.begin(), b.tags.end(), 0x30u), 0) << offset;
        ASSERT_EQ(Counts(a), std::vector<u32>({25, 25, 14})) << offset;
        ASSERT_EQ(Counts(b), Counts(a));
        for (size_t k = 0; k < a.batches.size(); k++)
            for (u32 v = 0; v < a.batches[k].count; v++) {
                const int i = int(k) * 23 + int(v);
                const u128* q = &a.batches[k].mem[4 * v];
                const u128* c = &b.batches[k].mem[4 * v];
                for (int s = 0; s < 4; s++)
                    for (int l = 0; l < (s == 2 ? 3 : 4); l++)   // a V3 unpack's w is undefined
                        EXPECT_EQ(Word(q[s], l), Word(c[s], l)) << offset << " vertex " << i << " slot " << s;
                EXPECT_EQ(Lane(q[1], 0), uv[2 * i]);
                EXPECT_EQ(Lane(q[1], 1), uv[2 * i + 1]);
                for (int l = 0; l < 3; l++)
                    EXPECT_EQ(DecodeNormal(Lane(q[2], l)), nrm[3 * i + l] / 128.0f) << offset << " vertex " << i;
                for (int l = 0; l < 4; l++)
                    EXPECT_EQ(DecodeColour(Lane(q[3], l)), col[4 * i + l] / 128.0f);
            }
    }
}

TEST(SendStreams, RowIsSentOnceWhenOnlyOneStreamNeedsIt)
{
    const int n = 150;
    const std::vector<Vector> pos = Positions(n);
    std::vector<u16> uv16(2 * n);
    std::vector<s16> pos16(4 * n);
    for (int i = 0; i < 2 * n; i++)
        uv16[i] = u16(i * 11);
    for (int i = 0; i < 4 * n; i++)
        pos16[i] = s16((i & 3) == 3 ? 0 : i - 300);

    VertexStreams<2> one;
    one.count = n;
    one.SetType(0, VSA_POS, VSD_POSF_4, 0);
    one.SetType(1, VSA_UV, VSD_UV16, 8);
    one.SetData(0, pos.data());
    one.SetData(1, uv16.data());
    const VuRun a = RunVif(Send(one, 72, 2 << VS_OVERLAP_SHIFT));
    ASSERT_EQ(Counts(a), std::vector<u32>({72, 72, 10}));
    EXPECT_EQ(a.strows, 1);
    // Later batches still decode with the row the first one left.
    for (size_t k = 0; k < 3; k++)
        for (u32 v = 0; v < a.batches[k].count; v++) {
            const int i = int(k) * 70 + int(v);
            EXPECT_EQ(Lane(a.batches[k].mem[2 * v + 1], 1) - one.Stream(1).fill[1], uv16[2 * i + 1] / 256.0f);
        }

    VertexStreams<2> two;
    two.count = n;
    two.SetType(0, VSA_POS, VSD_POS16_ADC, 4);
    two.SetType(1, VSA_UV, VSD_UV16, 8);
    two.SetData(0, pos16.data());
    two.SetData(1, uv16.data());
    const VuRun b = RunVif(Send(two, 72, 2 << VS_OVERLAP_SHIFT));
    ASSERT_EQ(Counts(b), std::vector<u32>({72, 72, 10}));
    EXPECT_EQ(b.strows, 6);
    for (size_t k = 0; k < 3; k++) {
        EXPECT_EQ(b.batches[k].mode, 0u);
        for (u32 v = 0; v < b.batches[k].count; v++) {
            const int i = int(k) * 70 + int(v);
            EXPECT_EQ(Lane(b.batches[k].mem[2 * v], 0) - two.Stream(0).fill[0], pos16[4 * i] / 16.0f);
            EXPECT_EQ(Lane(b.batches[k].mem[2 * v + 1], 0) - two.Stream(1).fill[0], uv16[2 * i] / 256.0f);
        }
    }
}

TEST(SendStreams, MultiPassBatchesComeInPairsWithARunPerFurtherPass)
{
    const std::vector<Vector> pos = Positions(200);
    VertexStreams<1> vs;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs.SetData(0, pos.data());
    vs.stride = 4;   // 54 vertices per batch

    // 100 vertices: a full batch, then the rest as the pair's second.
    vs.count = 100;
    VuRun r = RunVif(Send(vs, 54, VS_MULTIPASS | 2 << VS_OVERLAP_SHIFT));
    ASSERT_EQ(Counts(r), std::vector<u32>({54, 48}));
    ASSERT_EQ(r.batches.size(), 4u);
    EXPECT_FALSE(r.batches[2].fresh);
    EXPECT_FALSE(r.batches[3].fresh);

    // 30 vertices fit one batch: they are split so both halves get one.
    vs.count = 30;
    r = RunVif(Send(vs, 54, VS_MULTIPASS | 2 << VS_OVERLAP_SHIFT));
    ASSERT_EQ(Counts(r), std::vector<u32>({15, 17}));
    EXPECT_EQ(Lane(r.batches[1].mem[0], 0), 13.0f);
    EXPECT_EQ(Lane(r.batches[1].mem[4 * 16], 0), 29.0f);

    // 200 vertices, three passes: two pairs, each followed by four runs.
    vs.count = 200;
    r = RunVif(Send(vs, 54, VS_MULTIPASS | 2 << VS_OVERLAP_SHIFT, 3));
    ASSERT_EQ(Counts(r), std::vector<u32>({54, 54, 54, 44}));
    std::vector<bool> fresh;
    for (const VuBatch& b : r.batches)
        fresh.push_back(b.fresh);
    EXPECT_EQ(fresh, std::vector<bool>({true, true, false, false, false, false, true, true, false, false, false, false}));
    EXPECT_EQ(Lane(r.batches[7].mem[4 * 43], 0), 199.0f);

    // Two vertices still make a pair, and so do three sent without overlap.
    vs.count = 2;
    r = RunVif(Send(vs, 54, VS_MULTIPASS | 2 << VS_OVERLAP_SHIFT));
    EXPECT_EQ(Counts(r), std::vector<u32>({2, 2}));
    EXPECT_EQ(r.batches.size(), 4u);
    vs.count = 3;
    r = RunVif(Send(vs, 54, VS_MULTIPASS));
    EXPECT_EQ(Counts(r), std::vector<u32>({3, 1}));
    EXPECT_EQ(Lane(r.batches[1].mem[0], 0), 2.0f);
}

TEST(SendStreams, BatchesThatCannotAdvanceAreRefused)
{
    const std::vector<Vector> pos = Positions(100);
    VertexStreams<1> vs;
    vs.count = 100;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs.SetData(0, pos.data());
    console::ClearConsoleText();
    EXPECT_TRUE(RunVif(Send(vs, 2, 2 << VS_OVERLAP_SHIFT)).batches.empty());
    EXPECT_NE(console::ConsoleText().find("cannot advance"), std::string::npos);

    // A batch larger than an input half is cut to what VU1 takes.
    console::ClearConsoleText();
    vs.stride = 5;
    EXPECT_EQ(Counts(RunVif(Send(vs, 72, 2 << VS_OVERLAP_SHIFT))), std::vector<u32>({43, 43, 18}));
    EXPECT_NE(console::ConsoleText().find("cut to 43"), std::string::npos);

    // Streams without data, or more streams than the set holds.
    vs.stride = 1;
    vs.SetData(0, nullptr);
    EXPECT_TRUE(RunVif(Send(vs, 72, 0)).batches.empty());
    vs.SetData(0, pos.data());
    vs.nstreams = 2;
    EXPECT_TRUE(RunVif(Send(vs, 72, 0)).batches.empty());
}

// ------------------------------------------------------------ materials

namespace {

struct Block
{
    alignas(16) u128 q[96];
    int n = 0;
    u32 Routine(int i) const { return (Word(q[i], 3) & 0xFFFF) * 8; }
};

// The routine words of a block, skipping the data of register packets and
// of the set-material quadword's program (which are command quadwords too).
std::vector<u32> Walk(const Block& b)
{
    std::vector<u32> r;
    for (int i = 0; i < b.n; i++) {
        const u32 routine = b.Routine(i);
        r.push_back(routine);
        if (routine == mc2Giftag || routine == mc2GiftagCopy)
            i += int(Word(b.q[i], 0) & 0x7FFF);
    }
    return r;
}

struct TestTexture
{
    Buffer pixels{64 * 64 * 4 * 2};
    Texture tex;
    explicit TestTexture(int format = PSMCT32, int w = 32, int h = 32) { tex.Set(format, w, h, 0, pixels.at(0)); }
};

}  // namespace

TEST(MaterialBlock, PlainMaterialHasNoRegisterPacket)
{
    Material mat;
    mat.SetColour(Colour(0x80, 0x40, 0x20, 0x60));
    Block b;
    b.n = int(mat.Build(b.q, 3) - b.q);
    ASSERT_EQ(b.n, 4);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2Transform, mc2FillColour, mc2KickFlip}));
    EXPECT_EQ(Word(b.q[0], 0), 3u);
    EXPECT_EQ(Word(b.q[0], 1), 4u);   // counts itself to the end of the block
    EXPECT_EQ(Lane(b.q[2], 0), 1.0f);
    EXPECT_EQ(Lane(b.q[2], 1), 0.5f);
    EXPECT_EQ(Lane(b.q[2], 2), 0.25f);
    EXPECT_EQ(Word(b.q[2], 3) & 0xFFFF0000u, Bits(0.75f) & 0xFFFF0000u);
    // Gouraud strip, PACKED ST, RGBAQ, XYZF2.
    EXPECT_EQ(Word(b.q[3], 0), 1u);
    EXPECT_EQ(Word(b.q[3], 1), 0x30004000u | 12u << 15);
    EXPECT_EQ(Word(b.q[3], 2), 0x412u);
    EXPECT_EQ(mat.texaddr, nullptr);
}

TEST(MaterialBlock, RegisterPacketCarriesTestAlphaAndTextureRegisters)
{
    TestTexture t;
    t.tex.SetVRAM(0x1234, 0);
    Material mat;
    mat.SetZTest(ZTEST_GEQUAL);
    mat.SetAlpha(ALPHA_ADD, 0x33);
    mat.SetTexture(&t.tex, TEXMODE_DECAL);
    mat.Enable(SM_CLAMP_V);
    Block b;
    b.n = int(mat.Build(b.q, 2) - b.q);
    ASSERT_EQ(b.n, 1 + 5 + 4);
    // NLOOP 5, EOP, NREG 1, A+D, copied to the side area before the kick.
    EXPECT_EQ(Word(b.q[0], 0), 5u | 0x8000u);
    EXPECT_EQ(Word(b.q[0], 1), 1u << 28);
    EXPECT_EQ(Word(b.q[0], 2), 0xEu);
    EXPECT_EQ(b.Routine(0), u32(mc2GiftagCopy));
    EXPECT_EQ(b.q[1].hi, u64(GS_TEST_1));
    EXPECT_EQ(b.q[1].lo, 0x00051000u | 0x10000u | 2u << 17);
    EXPECT_EQ(b.q[2].hi, u64(GS_ALPHA_1));
    EXPECT_EQ(b.q[2].lo, u64(ALPHA_ADD) | 0x33ull << 32);
    EXPECT_EQ(mat.texaddr, &b.q[3]);
    // Until the texture is resident its slots only flush the texture cache.
    for (int i = 3; i < 6; i++)
        EXPECT_EQ(b.q[i].hi, u64(GS_TEXFLUSH));
    mat.PutTextureRegs();
    EXPECT_EQ(b.q[3].hi, u64(GS_TEX0_1));
    EXPECT_EQ(b.q[3].lo, t.tex.tex0 | 1ull << 35);
    EXPECT_EQ(tex0::TBP0(b.q[3].lo), 0x1234u);
    EXPECT_EQ(b.q[4].hi, u64(GS_TEX1_1));
    EXPECT_EQ(b.q[4].lo, 0x60u);
    EXPECT_EQ(b.q[5].hi, u64(GS_CLAMP_1));
    EXPECT_EQ(b.q[5].lo, 4u);
    // The kick adds TME and the blend bit SetAlpha set.
    EXPECT_EQ(Word(b.q[9], 1), 0x30004000u | (12u | PRIM_ABE | PRIM_TME) << 15);
}

TEST(MaterialBlock, MipMappedTextureGetsMipBasesAndLevels)
{
    TestTexture t(PSMCT32 | 0x200, 64, 64);   // two mip levels
    t.tex.SetVRAM(0x400, 0);
    Material mat;
    mat.SetTexture(&t.tex);
    mat.SetMipKL(1, -1.5f);
    Block b;
    b.n = int(mat.Build(b.q, 2) - b.q);
    EXPECT_EQ(Word(b.q[0], 0) & 0x7FFF, 5u);
    mat.PutTextureRegs();
    const u64 base = 0x400ull | 0x400ull << 20 | 0x400ull << 40;
    EXPECT_EQ(b.q[2].hi, u64(GS_MIPTBP1_1));
    EXPECT_EQ(b.q[2].lo, t.tex.miptbp1 + base);
    EXPECT_EQ(b.q[3].lo, t.tex.miptbp2 + base);
    EXPECT_EQ(b.q[4].hi, u64(GS_TEX1_1));
    // MXL 2, linear magnification, MMIN 5, L 1, K -1.5 (-24 in 1/16).
    EXPECT_EQ(b.q[4].lo, 2u << 2 | 0x160u | 1u << 19 | u64(0xFE8) << 32);
    EXPECT_EQ(b.q[5].lo, 0u);   // repeat

    // A texture that grew mip levels after the block was built does not
    // overrun the two slots it was given.
    TestTexture plain;
    Material small;
    small.SetTexture(&plain.tex);
    b.n = int(small.Build(b.q, 2) - b.q);
    small.texture = &t.tex;
    console::ClearConsoleText();
    small.PutTextureRegs();
    EXPECT_EQ(b.q[1].hi, u64(GS_TEXFLUSH));
    EXPECT_NE(console::ConsoleText().find("texture changed"), std::string::npos);
}

TEST(MaterialBlock, StagesFollowTheStreamsAndFlags)
{
    VertexStreams<3> vs;
    vs.SetType(0, VSA_POS, VSD_POS16_ADC, 8);
    vs.SetType(1, VSA_UV, VSD_UV16, 10);
    vs.SetType(2, VSA_COLOUR, VSD_RGBA, 0);
    Material mat;
    mat.Enable(SM_LIGHTING | SM_BFCULL);
    mat.SetUV(4);
    Block b;
    b.n = int(mat.Build(b.q, vs) - b.q);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2TransformCompressed, mc2SetUV, mc2BFCull,
                                         mc2DoLightingMult, mc2KickFlip}));
    EXPECT_EQ(Word(b.q[0], 0), 4u);
    // Position offsets, and the texture-coordinate offset's top half.
    EXPECT_EQ(Lane(b.q[1], 0), 32896.0f);
    EXPECT_EQ(Word(b.q[1], 3) & 0xFFFF0000u, Bits(8192.0f) & 0xFFFF0000u);
    EXPECT_EQ(Word(b.q[2], 0), 4u);
    EXPECT_EQ(Lane(b.q[2], 1), 8192.0f);
    EXPECT_EQ(Word(b.q[3], 0), 0u);   // back faces
    // The colour slot in the low half of x.
    EXPECT_EQ(Word(b.q[4], 0), (Bits(1.0f) & 0xFFFF0000u) | 3u);

    // Compressed normals and front-face culling pick the compressed flip
    // form; a texture matrix takes the coordinates through it.
    VertexStreams<2> nv;
    nv.SetType(0, VSA_POS, VSD_POSF_4, 0);
    nv.SetType(1, VSA_NORMAL, VSD_NORMAL16, 0);
    Material lit;
    lit.Enable(SM_LIGHTING | SM_FFCULL);
    lit.texmat = MC2_TEXMATRIX1;
    lit.SetUV(1);
    b.n = int(lit.Build(b.q, nv) - b.q);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2TransformCompressed, mc2TransformUV, mc2BFCull,
                                         mc2DoLightingCompressedFlip, mc2KickFlip}));
    EXPECT_EQ(Word(b.q[2], 0), u32(MC2_TEXMATRIX1));
    EXPECT_EQ(Word(b.q[2], 1), 1u);
    EXPECT_EQ(Word(b.q[3], 0), 2u);   // front faces

    // Vertex colours without lighting are copied from their slot.
    VertexStreams<2> cv;
    cv.SetType(0, VSA_POS, VSD_POSF, 0);
    cv.SetType(1, VSA_COLOURONLY, VSD_RGB, 0);
    Material flat;
    b.n = int(flat.Build(b.q, cv) - b.q);
    EXPECT_EQ(b.Routine(2), u32(mc2CopyColour));
    EXPECT_EQ(Word(b.q[2], 0), 1u);
}

TEST(MaterialBlock, DescriptorFormsFollowTheDescriptor)
{
    Material mat;
    mat.Enable(SM_LIGHTING);
    Block b;
    // Stride 3, colour slot 3, compressed normals, multi-pass.
    const VS_DESCRIPTOR desc(u16(3 | 3 << 9 | 0x2000 | 0x4000));
    b.n = int(mat.Build(b.q, desc, Vector(1.0f, 2.0f, 3.0f, 4.0f)) - b.q);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2TransformCompressed, mc2DoLightingCompressedMult,
                                         mc2KickFlip}));
    EXPECT_EQ(Word(b.q[0], 0), 3u);
    EXPECT_EQ(Lane(b.q[1], 2), 3.0f);
    EXPECT_EQ(Word(b.q[1], 3) & 0xFFFF0000u, Bits(4.0f) & 0xFFFF0000u);
    EXPECT_EQ(Word(b.q[3], 0), 2u);   // a single pass over an interleaved stream
    b.n = int(mat.Build(b.q, VS_DESCRIPTOR(2), Vector(0, 0, 0, 0)) - b.q);
    EXPECT_EQ(b.Routine(1), u32(mc2Transform));
    EXPECT_EQ(Word(b.q[3], 0), 1u);
}

TEST(MultiMaterialBlock, PassesEndWithTheirKicksAndEndPasses)
{
    TestTexture t;
    MultiMaterial<3> mm;
    mm.m[0].SetTexture(&t.tex);
    mm.m[1].SetAlpha(ALPHA_ADD);
    mm.m[2].SetColour(Colour(0, 0, 0x80, 0x80));
    VertexStreams<1> vs;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    Block b;
    b.n = int(mm._Build(b.q, vs, 3) - b.q);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2Transform, mc2FillColour, mc2Giftag, mc2KickFlip,
                                         mc2EndPass1, mc2FillColour, mc2Giftag, mc2KickFlip, mc2EndPass,
                                         mc2FillColour, mc2KickFlip}));
    EXPECT_EQ(Word(b.q[0], 1), u32(b.n));
    EXPECT_EQ(mm.m[0].texaddr, &b.q[4]);
    EXPECT_EQ(Word(b.q[7], 0), 0u);
    EXPECT_EQ(Word(b.q[b.n - 1], 0), 1u);

    // Without interleaving every pass runs in one go, so the earlier passes
    // keep the buffer their positions were transformed into.
    b.n = int(mm._Build(b.q, 1, 2) - b.q);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2Transform, mc2FillColour, mc2Giftag, mc2Kick,
                                         mc2FillColour, mc2Giftag, mc2KickFlip}));
    b.n = int(mm._Build(b.q, VS_DESCRIPTOR(3), Vector(0, 0, 0, 0), 2) - b.q);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2Transform, mc2FillColour, mc2Giftag, mc2Kick,
                                         mc2Giftag, mc2FillColour, mc2KickFlip}));
    b.n = int(mm._Build(b.q, VS_DESCRIPTOR(3 | 0x4000), Vector(0, 0, 0, 0), 2) - b.q);
    EXPECT_EQ(Walk(b), std::vector<u32>({mc2SetMaterial, mc2Transform, mc2FillColour, mc2Giftag, mc2KickFlip,
                                         mc2EndPass1, mc2FillColour, mc2Giftag, mc2KickFlip}));

    console::ClearConsoleText();
    const u128* before = b.q;
    EXPECT_EQ(mm._Build(b.q, vs, 5), before);
    EXPECT_NE(console::ConsoleText().find("5 passes"), std::string::npos);
}

// ------------------------------------------------------ in the frame chain

namespace {

class DirectChain : public FrameTest
{
protected:
    // Closes the frame and replays its chain.
    VuRun Run()
    {
        therenderer.EndScene();
        return RunVif(therenderer.vifstart);
    }
};

}  // namespace

TEST_F(DirectChain, StrideOfTwoStillSendsSeventyTwoVerticesPerBatch)
{
    const std::vector<Vector> pos = Positions(100);
    std::vector<float> uv(200, 0.5f);
    VertexStreams<2> vs;
    vs.count = 100;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs.SetType(1, VSA_UV, VSD_UVF, 0);
    vs.SetData(0, pos.data());
    vs.SetData(1, uv.data());
    EXPECT_EQ(vs.stride, 2);
    Material mat;
    mat.Draw(vs, false);
    const VuRun run = Run();
    EXPECT_EQ(Counts(run), std::vector<u32>({72, 30}));
    ASSERT_FALSE(run.blocks.empty());
    const std::vector<u128>& block = run.blocks.back();
    EXPECT_EQ(Word(block[0], 3) * 8, u32(mc2SetMaterial));
    EXPECT_EQ(Word(block[0], 0), 2u);
    EXPECT_EQ(Word(block.back(), 3) * 8, u32(mc2Stop));
}

TEST_F(DirectChain, DebugShapesBoundTheirUnitShapes)
{
    Material mat;
    // A small box: its own extents would give a sphere too small for the
    // unit cube VU1 tests it with.
    DrawCuboid(mat, Matrix(true), Cuboid(VectorPos(-0.2f, -0.1f, -0.3f), VectorPos(0.2f, 0.1f, 0.3f)));
    DrawCuboid(mat, TransMatrix(0, 0, 5), Cuboid(VectorPos(-3, -1, -2), VectorPos(1, 1, 2)));
    DrawSphere(mat, Matrix(true), Sphere(1, 2, 3, 0.25f));
    const VuRun run = Run();
    ASSERT_EQ(run.blocks.size(), 3u);
    ASSERT_EQ(Counts(run), std::vector<u32>({24, 24, 72, 72, 72, 72, 72, 72, 72, 54}));
    // 544 sphere vertices, the first pair of each band starting its strip.
    EXPECT_EQ(Word(run.batches[2].mem[0], 3), 0x43808000u);
    EXPECT_EQ(Word(run.batches[2].mem[3 * 2], 3), Bits(256.0f));
    EXPECT_EQ(Word(run.batches[2].mem[3 * 34], 3), 0x43808000u);
    EXPECT_EQ(Lane(run.blocks[2][0], 0), 0.25f);
    EXPECT_EQ(Lane(run.blocks[2][4], 3), 1.0f);
    const std::vector<u128>& first = run.blocks[0];
    EXPECT_EQ(Word(first[0], 3) & 0xFFFF, u32(mc2SetLocal) / 8);
    EXPECT_EQ(Lane(first[0], 0), 0.2f);   // the unit cube scaled to the box
    EXPECT_EQ(Lane(first[4], 3), std::sqrt(3.0f));
    // Big enough: the box's own reach, sqrt(9 + 1 + 4).
    const std::vector<u128>& second = run.blocks[1];
    EXPECT_FLOAT_EQ(Lane(second[4], 3), std::sqrt(14.0f));
    EXPECT_EQ(Lane(second[3], 0), -1.0f);   // centre x
    EXPECT_EQ(Lane(second[3], 2), 5.0f);
    // Every face: a strip of four whose first two do not kick.
    const VuBatch& b = run.batches[0];
    for (int v = 0; v < 24; v++)
        EXPECT_EQ(Word(b.mem[3 * v], 3) >> 15, (v % 4) < 2 ? 1u : 0u) << v;
}

TEST_F(DirectChain, UnplaceableTextureDrawsNothing)
{
    therenderer.EndScene();
    ResetTexman(kTexStart, 256 + 32);   // 32 blocks besides the palette pool
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    TestTexture big(PSMCT32, 64, 64);
    const std::vector<Vector> pos = Positions(10);
    VertexStreams<1> vs;
    vs.count = 10;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs.SetData(0, pos.data());
    Material mat;
    mat.SetTexture(&big.tex);
    console::ClearConsoleText();
    mat.Draw(vs, false);
    EXPECT_EQ(big.tex.refcount, 0);
    const VuRun run = Run();
    EXPECT_TRUE(run.batches.empty());
    ASSERT_EQ(run.blocks.size(), 1u);
    EXPECT_EQ(run.blocks[0][1].hi, u64(GS_TEXFLUSH));
    EXPECT_NE(console::ConsoleText().find("no room"), std::string::npos);
}

TEST_F(DirectChain, DrawHoldsTheTextureOnlyWhileSending)
{
    TestTexture t;
    const std::vector<Vector> pos = Positions(10);
    VertexStreams<1> vs;
    vs.count = 10;
    vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs.SetData(0, pos.data());
    MultiMaterial<2> mm;
    mm.m[0].SetTexture(&t.tex);
    mm.m[1].SetTexture(&t.tex);
    mm.Draw(vs, true);
    EXPECT_EQ(t.tex.refcount, 0);
    EXPECT_TRUE(texman.IsResident(t.tex.data));
    const VuRun run = Run();
    EXPECT_EQ(Counts(run), std::vector<u32>({5, 7}));
    // Both passes' registers name where the texture was placed.
    const std::vector<u128>& block = run.blocks.back();
    int tex0 = 0;
    for (const u128& q : block)
        if (q.hi == GS_TEX0_1 && q.lo == t.tex.tex0)
            ++tex0;
    EXPECT_EQ(tex0, 2);
}

// ------------------------------------------------------------ pictures

namespace {

constexpr int kW = 256, kH = 128;

class DirectFrame : public ::testing::Test
{
protected:
    Surface draw, zbuf;
    RenderContext rc;

    void SetUp() override
    {
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        gsframe::SetFrameView(rc, kW, kH);
        rc.SetCameraMatrix(Matrix(true));
        // A light travelling away from the camera, and a dim ambient.
        rc.SetDirectionalLights(VectorDir(0, 0, 1), VectorDir(0, 0, 0), VectorDir(0, 0, 0), Vector(0.6f, 0.6f, 0.6f, 0),
                                Vector(0, 0, 0, 0), Vector(0, 0, 0, 0), Vector(0.2f, 0.2f, 0.2f, 1));
    }

    void TearDown() override { TexManOff(); }

    // Clears to `bg` at depth 1, depth test greater-or-equal, then `body`.
    void Frame(const std::function<void()>& body, Colour bg = Colour(20, 20, 20, 128))
    {
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, bg);
        rc.Begin();
        body();
        gsframe::SendFrame();
    }

    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }

    void ExpectGolden(const std::string& name) { golden::ExpectFrameBuffer(name, kW, kH); }

    // A horizontal band of n columns across the screen at depth 5 (two
    // vertices per column, y from -h to h), positions and texture
    // coordinates (u = column / 4, v = 0 or 1).
    struct Band
    {
        std::vector<Vector> pos;
        std::vector<float> uv;
        VertexStreams<2> vs;
        Band(int columns, float x0, float x1, float h)
        {
            for (int i = 0; i < columns; i++) {
                const float x = x0 + (x1 - x0) * float(i) / float(columns - 1);
                for (float y : {h, -h}) {
                    pos.emplace_back(x, y, 5.0f, 256.0f);
                    uv.insert(uv.end(), {float(i) / 4.0f, y > 0 ? 1.0f : 0.0f});
                }
            }
            vs.count = 2 * columns;
            vs.SetType(0, VSA_POS, VSD_POSF_4, 0);
            vs.SetType(1, VSA_UV, VSD_UVF, 0);
            vs.SetData(0, pos.data());
            vs.SetData(1, uv.data());
        }
    };
};

u8 R(u32 p) { return u8(p); }
u8 G(u32 p) { return u8(p >> 8); }
u8 B(u32 p) { return u8(p >> 16); }

}  // namespace

// Three additive passes over a long band: every pixel of it gets all three,
// across every batch boundary.
TEST_F(DirectFrame, EveryPassOfAMultiPassMaterialDrawsTheWholeBand)
{
    Band band(60, -3.0f, 3.0f, 0.4f);
    MultiMaterial<3> mm;
    const Colour c[3] = {Colour(40, 0, 0, 128), Colour(0, 50, 0, 128), Colour(0, 0, 60, 128)};
    for (int i = 0; i < 3; i++) {
        mm.m[i].SetColour(c[i]);
        mm.m[i].SetAlpha(ALPHA_ADD);
    }
    Frame(
        [&] {
            therenderer.SetLocal(Matrix(true), Sphere(0, 0, 0, 1e7f));
            mm.Draw(band.vs, false);
        },
        Colour(0, 0, 0, 128));
    // The band covers x = 128 +- 128 * 3/5 at depth 5, y = 64 +- 10.
    for (int x = 60; x < 196; x++)
        EXPECT_EQ(Pixel(x, 64) & 0xFFFFFF, 40u | 50u << 8 | 60u << 16) << x;
    EXPECT_EQ(Pixel(128, 40) & 0xFFFFFF, 0u);
}

// Lit with the light behind the camera: faces turned to the camera are
// bright (0.2 + 0.6 of the colour), faces turned away get the ambient only.
// With back faces culled what shows must be the front.
TEST_F(DirectFrame, DebugShapesShowTheirFrontFaces)
{
    Material mat;
    mat.SetColour(Colour(128, 64, 32, 128));
    mat.Enable(SM_LIGHTING | SM_BFCULL);
    const Matrix boxAt = TransMatrix(-1.5f, 0, 5);
    const Cuboid box(VectorPos(-0.5f, -0.5f, -0.5f), VectorPos(0.5f, 0.5f, 0.5f));
    const Sphere ball(0, 0, 0, 0.7f);
    const Matrix ballAt = TransMatrix(1.5f, 0, 5);
    Frame([&] {
        // Rotation-free placements: the lights keep their directions.
        rc.SetLights(boxAt);
        DrawCuboid(mat, boxAt, box);
        rc.SetLights(ballAt);
        DrawSphere(mat, ballAt, ball);
    });
    const int boxX = 128 - int(128 * 1.5f / 5), ballX = 128 + int(128 * 1.5f / 5);
    EXPECT_NEAR(R(Pixel(boxX, 64)), 102, 2);
    EXPECT_NEAR(G(Pixel(boxX, 64)), 51, 2);
    // The ball's middle faces the camera (about 17 degrees off the light).
    EXPECT_NEAR(R(Pixel(ballX, 64)), 98, 4);
    EXPECT_NEAR(B(Pixel(ballX, 64)), 24, 2);
    // Its rim turns away from the light.
    EXPECT_LT(R(Pixel(ballX + 16, 64)), R(Pixel(ballX, 64)) - 5);
    EXPECT_GT(R(Pixel(ballX + 16, 64)), 25);
    EXPECT_EQ(Pixel(128, 64), 0x80141414u);
}

// Texture coordinates from the environment (sources 6 and 7) through the
// view matrix at 927: the reflective ball mirrors the sky above and the ground
// below; the refractive one shows the middle of the picture, the horizon.
TEST_F(DirectFrame, EnvironmentMappedBallsDraw)
{
    FixProgramImages();
    const Sphere ball(0, 0, 0, 1.0f);
    const Matrix ballAt = TransMatrix(0, 0, 4);
    const Matrix view = ball.InvUnitMat() * ballAt * rc.world_view;
    for (const int source : {6, 7}) {
        Material mat;
        mat.SetColour(Colour(128, 128, 128, 128));
        mat.Enable(SM_TEXTURE | SM_BFCULL);
        mat.SetTexture(&gtex[GTEX_REFLECTION]);
        mat.texmat = MC2_TEXMATRIX0;
        mat.SetUV(source);
        console::ClearConsoleText();
        Frame([&] {
            therenderer.BeginCommands();
            therenderer.SetGlobals(MC2_TEXMATRIX0, 4, reinterpret_cast<const u64*>(view.Raw()));
            DrawSphere(mat, ballAt, ball);
        });
        EXPECT_EQ(console::ConsoleText().find("not built"), std::string::npos);
        const u32 top = Pixel(128, 40), middle = Pixel(128, 64), bottom = Pixel(128, 88);
        for (u32 p : {top, middle, bottom})
            EXPECT_NE(p, 0x80141414u) << source;
        if (source == 6) {
            EXPECT_GT(B(top), R(top) + 20);
            EXPECT_GT(R(bottom), B(bottom));
        } else {
            // The horizon's band of light, where the map's two middle rows
            // (sky 245, 255, 255 and ground 150, 140, 120) blend half and half.
            EXPECT_NEAR(R(middle), 197, 3) << std::hex << middle;
            EXPECT_NEAR(G(middle), 197, 3) << std::hex << middle;
            EXPECT_NEAR(B(middle), 187, 3) << std::hex << middle;
        }
    }
}

// A turned, lit box and ball, and a textured band given a second additive
// pass with its texture coordinates from the positions.
TEST_F(DirectFrame, SceneMatchesTheGoldenPicture)
{
    TestTexture checker;
    u32* texels = reinterpret_cast<u32*>(checker.pixels.at(0));
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            texels[32 * y + x] = ((x / 8 + y / 8) & 1) ? 0x80E0E0E0u : 0x80303030u;

    Material box;
    box.SetColour(Colour(120, 70, 40, 128));
    box.Enable(SM_LIGHTING | SM_BFCULL);
    Material ball;
    ball.SetColour(Colour(60, 120, 80, 128));
    ball.Enable(SM_LIGHTING | SM_BFCULL);

    Band band(40, -2.4f, 2.4f, 0.35f);
    for (Vector& p : band.pos)
        p.addy(1.3f);
    MultiMaterial<2> layers;
    layers.m[0].SetTexture(&checker.tex);
    layers.m[1].SetColour(Colour(0, 30, 60, 128));
    layers.m[1].SetAlpha(ALPHA_ADD);

    const Cuboid cube(VectorPos(-0.6f, -0.4f, -0.5f), VectorPos(0.6f, 0.4f, 0.5f));
    const Matrix cubeAt = RotY(0.7f) * RotX(-0.5f) * TransMatrix(-1.3f, -0.3f, 5.0f);
    const Sphere sphere(0.2f, 0, 0, 0.8f);
    const Matrix sphereAt = RotY(1.0f) * TransMatrix(1.2f, -0.3f, 5.0f);
    // Light from the upper left, behind the camera.
    rc.SetDirectionalLights(VectorDir(0.572f, 0.477f, 0.667f), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                            Vector(0.7f, 0.7f, 0.7f, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                            Vector(0.25f, 0.25f, 0.25f, 1));
    Frame([&] {
        rc.SetLights(cubeAt);
        DrawCuboid(box, cubeAt, cube);
        rc.SetLights(sphereAt);
        DrawSphere(ball, sphereAt, sphere);
        therenderer.SetLocal(Matrix(true), Sphere(0, 0, 0, 1e7f));
        layers.Draw(band.vs, false);
    });
    // Hand-worked: every pixel of the band's middle row has the texture
    // (grey levels, unit colour) plus the second pass's (0, 30, 60).
    for (int x = 72; x < 184; x++) {
        const u32 p = Pixel(x, 97);
        EXPECT_NEAR(G(p) - R(p), 30, 1) << x;
        EXPECT_NEAR(std::min(int(B(p)) - R(p), 255 - R(p)), std::min(60, 255 - R(p)), 1) << x;
    }
    const u32 ballMiddle = Pixel(128 + int(128 * 1.2f / 5), 56);
    EXPECT_GT(G(ballMiddle), R(ballMiddle) + 20);
    EXPECT_EQ(Pixel(128, 4), 0x80141414u);
    ExpectGolden("direct_scene");
}
