// Row stage of the specialised pipelines for triangles: a triangle's rows
// walked span by span, each span's attributes stepped pixel by pixel into a
// batch that the finishing and writing stages then take whole.  The driver
// is shared by the row stages of every vector width: SSE2 in
// pipeline_rows.cpp, AVX2 and AVX-512 in pipeline_rows_avx2.cpp and _avx512.cpp.
#pragma once

#include <algorithm>
#include <array>
#include <new>
#include <type_traits>

#include "gs/pipeline_setup.h"

namespace console::gs::pipeline {

// The frame and Z rows of a state's rows, as the calling thread last made
// them: triangles drawn one after another in one state mostly cover the same
// rows.  Row y is kept in entry y mod kRows, so a batch of rows spanning fewer
// than kRows rows keeps each of its rows where it was found.
constexpr s32 kRows = 512;

struct RowEntry {
    // The state's id in two halves: two 32-bit compares on this target.
    u32 state_lo = 0, state_hi = 0;
    s32 y = -1;
    alignas(PixelRow) unsigned char room[sizeof(PixelRow)] = {};
};
static_assert(std::is_trivially_copyable_v<PixelRow> && std::is_trivially_destructible_v<PixelRow>);
// Constant-initialised, so that other files reach it without a check that
// the thread's copy was made.
extern thread_local constinit std::array<RowEntry, kRows> t_rows;

// Makes row y of `st` in entry `e`.
const PixelRow& MakeRow(const TriangleState& st, s32 y, RowEntry& e);

// The rows of one state as a triangle's row loop finds them: the calling
// thread's entries and the state's id looked up once.
struct RowFinder {
    RowEntry* rows;
    u32 id_lo, id_hi;
    const TriangleState& st;

    explicit RowFinder(const TriangleState& s)
        : rows(t_rows.data()), id_lo(static_cast<u32>(s.id)), id_hi(static_cast<u32>(s.id >> 32)), st(s)
    {
    }

    // Found inline; made out of line.
    const PixelRow& operator()(s32 y) const
    {
        RowEntry& e = rows[static_cast<u32>(y) % kRows];
        if (((e.state_lo ^ id_lo) | (e.state_hi ^ id_hi) | static_cast<u32>(e.y ^ y)) != 0) [[unlikely]]
            return MakeRow(st, y, e);
        return *std::launder(reinterpret_cast<const PixelRow*>(e.room));
    }
};

// The pieces of a batch whose pixels meet a varying alpha test, each run of
// passing pixels written by `write` (pixels failing it are kept as they are).
[[gnu::noinline]] void WritePassingRuns(const TriangleState& st, const WriterState& ws, WriteFn write,
                                        const SpanPiece* pieces, int count, const TriangleBatch& batch);

// A triangle's rows in `bands` through the row stage `Steps`, batched for
// the finishing and writing stages.
template <class Steps>
inline void DrawTriangleRows(const TrianglePlan& p, const RowBands& bands)
{
    const TriangleState& st = *p.state;
    const WriterState& ws = p.apart ? st.apart_state : st.writer.state;
    const WriteFn write = p.apart ? st.apart_write : st.writer.write;
    const PiecesFn write_pieces = p.apart ? st.apart_pieces_write : st.pieces_write;
    const TriangleFinishFn finish = st.shade.finish;
    TriangleBatch batch;
    // Rows are in RowFinder's entries, unchanged until the batch is written.
    s32 batch_first_row = 0;
    alignas(16) unsigned char piece_room[kBatch * sizeof(SpanPiece)];
    SpanPiece* const pieces = reinterpret_cast<SpanPiece*>(piece_room);
    int piece_count = 0;
    Steps steps(p);
    auto flush = [&] {
        if (!batch.count)
            return;
        steps.Convert(batch);
        finish(st.sc, batch);
        if (st.alpha_test) [[unlikely]] {
            WritePassingRuns(st, ws, write, pieces, piece_count, batch);
        } else if (write_pieces) {
            write_pieces(ws, pieces, piece_count, batch.colors, batch.depths);
        } else {
            for (int k = 0; k < piece_count; ++k) {
                const SpanPiece& pc = pieces[k];
                write(ws, *pc.row, static_cast<u32>(pc.px), pc.n, batch.colors + pc.at, batch.depths + pc.at);
            }
        }
        batch.count = 0;
        piece_count = 0;
    };

    TriangleRowWalker walker = p.walker;
    const bool batch_rows = p.batch_rows;
    const s32 x0 = p.planes.x0, y0 = p.planes.y0;
    // Rows of this parity are masked (SCANMSK); -1 when none are.
    const s32 masked_parity = st.scanmsk == 2 ? 0 : st.scanmsk == 3 ? 1 : -1;
    // Only a triangle taller than RowFinder's entries can hold a batch
    // whose rows share an entry.
    const bool tall = p.py_end - p.py_begin > kRows;
    const RowFinder row_of(st);
    // The common case, taken by a loop of its own with none of the checks
    // below: rows batched, none masked, every row in its own entry of
    // RowFinder and no wider than a piece.
    const bool lean = batch_rows && masked_parity < 0 && !tall && p.px_end - p.px_begin <= kChunk;
    // Only the band's stretches of rows are drawn; the walker steps over
    // the others' rows.  [py_begin, py_end) holds only rows the walker's
    // level edges let through (see PrepareTriangle).
    for (s32 py = p.py_begin; py < p.py_end;) {
        s32 first = py;
        const s32 stop = bands.Stretch(first, p.py_end);
        if (first >= p.py_end)
            break;
        for (; py < first; ++py)
            walker.Next();
        if (lean) {
            for (; py < stop; ++py, walker.Next()) {
                s32 begin, end;
                walker.SpanInRows(begin, end);
                const int n = end - begin;
                if (n <= 0)
                    continue;
                typename Steps::Values v = steps.Start(16 * begin - x0, 16 * py - y0);
                if (batch.count + n > kBatch)
                    flush();
                new (&pieces[piece_count++]) SpanPiece{&row_of(py), begin, n, batch.count};
                steps.Piece(v, n, batch);
            }
            continue;
        }
        for (; py < stop; ++py, walker.Next()) {
            if ((py & 1) == masked_parity)
                continue;
            s32 begin, end;
            walker.SpanInRows(begin, end);
            if (begin >= end)
                continue;
            // The offsets from the planes' origin, exact as doubles.
            typename Steps::Values v = steps.Start(16 * begin - x0, 16 * py - y0);
            // A batch keeps to rows whose entries in RowFinder differ.
            if (tall && piece_count && py - batch_first_row >= kRows)
                flush();
            if (!piece_count)
                batch_first_row = py;
            const PixelRow* const row = &row_of(py);
            for (s32 px = begin; px < end; px += kChunk) {
                const int n = std::min(kChunk, end - px);
                if (batch.count + n > kBatch)
                    flush();
                new (&pieces[piece_count++]) SpanPiece{row, px, n, batch.count};
                steps.Piece(v, n, batch);
                if (!batch_rows)
                    flush();
            }
        }
    }
    flush();
}

// The row drivers with 256- and 512-bit vectors (pipeline_rows_avx2.cpp,
// _avx512.cpp); the latter for states without fog.
TriangleRowsFn PickTriangleRowsAvx2(bool gouraud, int coords, bool fog);
TriangleRowsFn PickTriangleRowsAvx512(bool gouraud, int coords);

}  // namespace console::gs::pipeline
