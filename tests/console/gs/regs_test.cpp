// The GS register file and the vertex queue's drawing kicks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/gs/gs_draw_support.h"
#include "core/diag.h"
#include "gs/drawthreads.h"
#include "gs/gs.h"
#include "gs/regs.h"

using namespace gstest;
using console::gs::PrimType;
using console::gs::Psm;
using console::gs::ReadRegister;
using console::gs::ResetGs;
using console::gs::Vertex;
using console::gs::VertexQueue;
using console::gs::Vram;
using console::gs::WriteRegister;

namespace {

int LogCount(const std::string& needle)
{
    int n = 0;
    for (const std::string& line : console::DiagLog())
        if (line.find(needle) != std::string::npos)
            ++n;
    return n;
}

// Pushes vertices tagged x = 0, 1, 2, ... with the given kick flags and
// returns, per push, the tags of the primitive drawn (empty when none).
std::vector<std::vector<u32>> Assemble(PrimType type, const std::vector<bool>& kicks)
{
    VertexQueue queue;
    queue.Reset(type);
    std::vector<std::vector<u32>> drawn;
    for (u32 i = 0; i < kicks.size(); ++i) {
        Vertex v;
        v.x = i;
        const int n = queue.Push(v, kicks[i]);
        std::vector<u32> tags;
        for (int k = 0; k < n; ++k)
            tags.push_back(queue.Drawn()[k].x);
        drawn.push_back(tags);
    }
    return drawn;
}

using Draws = std::vector<std::vector<u32>>;
const std::vector<bool> kSixKicks(6, true);

}  // namespace

TEST(GsRegisters, AdWritesLandInTheirContextRegisters)
{
    ResetGs(true);
    const GsReg first_of_pair[] = {GsReg::TEX0_1,    GsReg::CLAMP_1,   GsReg::TEX1_1,    GsReg::XYOFFSET_1,
                                   GsReg::MIPTBP1_1, GsReg::MIPTBP2_1, GsReg::SCISSOR_1, GsReg::ALPHA_1,
                                   GsReg::TEST_1,    GsReg::FBA_1,     GsReg::FRAME_1,   GsReg::ZBUF_1};
    auto value = [](u32 address, u32 ctxt) { return (u64{address} << 40) | (u64{ctxt + 1} << 8) | 0x5; };
    for (u32 ctxt = 0; ctxt < 2; ++ctxt)
        for (GsReg r : first_of_pair)
            WriteRegister(static_cast<u32>(r) + ctxt, value(static_cast<u32>(r), ctxt));
    for (GsReg r : first_of_pair)
        for (u32 ctxt = 0; ctxt < 2; ++ctxt)
            EXPECT_EQ(ReadRegister(static_cast<u32>(r) + ctxt), value(static_cast<u32>(r), ctxt))
                << console::gs::RegisterName(static_cast<u32>(r) + ctxt);
    // The shared registers have one copy each.
    Write(GsReg::TEXA, 0x8000000080);
    Write(GsReg::DIMX, 0x1234);
    EXPECT_EQ(ReadRegister(0x3B), 0x8000000080u);
    EXPECT_EQ(ReadRegister(0x44), 0x1234u);
}

TEST(GsRegisters, ResetRestoresThePowerOnState)
{
    ResetGs(true);
    Write(GsReg::FRAME_1, 0x123);
    Write(GsReg::PRMODECONT, 0);
    Vram().WritePixel(Psm::kCT32, 0, 1, 0, 0, 0xCAFE);
    ResetGs(false);
    EXPECT_EQ(ReadRegister(static_cast<u32>(GsReg::FRAME_1)), 0u);
    EXPECT_EQ(ReadRegister(static_cast<u32>(GsReg::PRMODECONT)), 1u) << "attributes come from PRIM after reset";
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 0, 0), 0xCAFEu) << "memory kept";
    ResetGs(true);
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 0, 0), 0u);
}

TEST(GsRegisters, AddressWithoutARegisterIsAnErrorAndNopIsSilent)
{
    ResetGs(true);
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    WriteRegister(0x7F, 0x1234);
    EXPECT_EQ(console::DiagErrorCount(), 0);
    WriteRegister(0x0B, 1);
    WriteRegister(0x80, 1);
    EXPECT_EQ(LogCount("no GS general register"), 2);
}

TEST(GsVertexQueue, IndependentPrimitivesDrawEveryNthVertex)
{
    EXPECT_EQ(Assemble(PrimType::kPoint, kSixKicks), (Draws{{0}, {1}, {2}, {3}, {4}, {5}}));
    EXPECT_EQ(Assemble(PrimType::kLine, kSixKicks), (Draws{{}, {0, 1}, {}, {2, 3}, {}, {4, 5}}));
    EXPECT_EQ(Assemble(PrimType::kTriangle, kSixKicks), (Draws{{}, {}, {0, 1, 2}, {}, {}, {3, 4, 5}}));
    EXPECT_EQ(Assemble(PrimType::kSprite, kSixKicks), (Draws{{}, {0, 1}, {}, {2, 3}, {}, {4, 5}}));
}

TEST(GsVertexQueue, StripsAndFansDrawWithEveryVertexAfterTheFirstPrimitive)
{
    EXPECT_EQ(Assemble(PrimType::kLineStrip, kSixKicks), (Draws{{}, {0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}}));
    EXPECT_EQ(Assemble(PrimType::kTriangleStrip, kSixKicks),
              (Draws{{}, {}, {0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {3, 4, 5}}));
    EXPECT_EQ(Assemble(PrimType::kTriangleFan, kSixKicks),
              (Draws{{}, {}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}}));
}

TEST(GsVertexQueue, VerticesWithoutAKickQueueButNeverDraw)
{
    // A strip restarted by two no-kick vertices draws no bridging triangle.
    EXPECT_EQ(Assemble(PrimType::kTriangleStrip, {true, true, true, false, false, true, true}),
              (Draws{{}, {}, {0, 1, 2}, {}, {}, {3, 4, 5}, {4, 5, 6}}));
    // An independent triangle completed by a no-kick vertex is dropped whole.
    EXPECT_EQ(Assemble(PrimType::kTriangle, {true, true, false, true, true, true}),
              (Draws{{}, {}, {}, {}, {}, {3, 4, 5}}));
}

TEST(GsVertexQueue, PrimWriteRestartsAssembly)
{
    ResetGs(true);
    SetUpContext(0, 0, 1, 0x00);
    Write(GsReg::PRIM, Prim({}));
    Write(GsReg::RGBAQ, Rgbaq(1, 1, 1, 1));
    Write(GsReg::XYZ2, Xyz(0, 0, 0));
    Write(GsReg::PRIM, Prim({}));
    Write(GsReg::XYZ2, Xyz(16 * 4, 16 * 4, 0));
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 2, 2), 0u) << "the first vertex was forgotten";
    Write(GsReg::XYZ2, Xyz(16 * 6, 16 * 6, 0));
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 2, 2), 0u);
    EXPECT_NE(Vram().ReadPixel(Psm::kCT32, 0, 1, 5, 5), 0u);
}

TEST(GsVertexQueue, Xyz3QueuesWithoutDrawing)
{
    ResetGs(true);
    SetUpContext(0, 0, 1, 0x00);
    Write(GsReg::PRIM, Prim({}));
    Write(GsReg::RGBAQ, Rgbaq(1, 1, 1, 1));
    Write(GsReg::XYZ2, Xyz(0, 0, 0));
    Write(GsReg::XYZ3, Xyz(16 * 4, 16 * 4, 0));
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 1, 1), 0u);
    Write(GsReg::XYZF3, Xyzf(0, 0, 0, 0));
    Write(GsReg::XYZF2, Xyzf(16 * 4, 16 * 4, 0, 0));
    EXPECT_NE(Vram().ReadPixel(Psm::kCT32, 0, 1, 1, 1), 0u);
}

// A strip's triangles are drawn in the state of their last vertex: a frame
// register written between vertices moves the next triangle to the new
// buffer, and writing it back moves the one after back, with the drawing
// on this thread and queued to draw threads alike.
TEST(GsVertexQueue, StateWrittenBetweenTheVerticesOfAStripHoldsForTheNextTriangle)
{
    const u32 first = 0, second = 8;  // frame pages, 64 pixels wide
    const int threads_before = console::gs::DrawThreads();
    for (const int threads : {0, 1, 2, 8}) {
        SCOPED_TRACE(threads);
        console::gs::SetDrawThreads(threads);
        ResetGs(true);
        SetUpContext(0, first, 1, 0x00);
        Write(GsReg::PRIM, Prim({.type = 4}));
        const u64 colours[3] = {Rgbaq(0x11, 0x22, 0x33, 0x44), Rgbaq(0x55, 0x66, 0x77, 0x08),
                                Rgbaq(0x99, 0xAA, 0xBB, 0x0C)};
        // Rows 0-64 cross several bands: the triangles are queued when
        // there are threads.
        Write(GsReg::RGBAQ, colours[0]);
        Write(GsReg::XYZ2, Xyz(0, 0, 0));
        Write(GsReg::XYZ2, Xyz(16 * 32, 0, 0));
        Write(GsReg::XYZ2, Xyz(0, 16 * 32, 0));  // upper left, to the first frame
        Write(GsReg::FRAME_1, Frame(second, 1, 0x00));
        Write(GsReg::RGBAQ, colours[1]);
        Write(GsReg::XYZ2, Xyz(16 * 32, 16 * 32, 0));  // lower right, to the second
        Write(GsReg::FRAME_1, Frame(first, 1, 0x00));
        Write(GsReg::RGBAQ, colours[2]);
        Write(GsReg::XYZ2, Xyz(0, 16 * 64, 0));  // below both, to the first again
        auto pixel = [](u32 page, u32 x, u32 y) { return Vram().ReadPixel(Psm::kCT32, page * 32, 1, x, y); };
        const u32 pixels[3][2] = {{2, 2}, {30, 30}, {2, 34}};
        const u32 pages[3] = {first, second, first};
        for (int k = 0; k < 3; ++k) {
            const auto [x, y] = pixels[k];
            EXPECT_EQ(pixel(pages[k], x, y), static_cast<u32>(colours[k])) << "triangle " << k;
            EXPECT_EQ(pixel(pages[k] == first ? second : first, x, y), 0u) << "triangle " << k;
        }
    }
    console::gs::SetDrawThreads(threads_before);
}
