// What the GS fill-rate benchmarks share: register writes, the thread counts
// each workload runs at (the calling thread alone, and the default draw
// threads), real-time measurement with the queue drained inside the timed
// loop, and the summary table printed when the program ends.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "gs/drawthreads.h"
#include "gs/gs.h"
#include "gs/regs.h"

namespace gsbench {

inline void W(console::gs::GsReg reg, u64 value)
{
    console::gs::WriteRegister(static_cast<u32>(reg), value);
}

// Million pixels a second per workload: [0] on the calling thread, [1] with
// the default draw threads.
class Summary {
public:
    static Summary& Get()
    {
        static Summary s;
        return s;
    }

    void Record(const std::string& workload, bool threaded, double mpix)
    {
        auto& row = rows_[workload];
        row.mpix[threaded] = mpix;
        row.seen[threaded] = true;
        order_.emplace(workload, order_.size());
    }

    ~Summary()
    {
        if (rows_.empty())
            return;
        std::vector<std::pair<size_t, std::string>> sorted;
        for (const auto& [name, at] : order_)
            sorted.emplace_back(at, name);
        std::sort(sorted.begin(), sorted.end());
        std::printf("\nGS fill rate, million pixels a second (1 thread: the calling thread; %d: default draw threads)\n",
                    console::gs::DefaultDrawThreads());
        std::printf("%-48s %12s %12s\n", "workload", "1 thread", "default");
        for (const auto& [at, name] : sorted) {
            const Row& r = rows_.at(name);
            char a[32] = "-", b[32] = "-";
            if (r.seen[0])
                std::snprintf(a, sizeof a, "%.0f", r.mpix[0]);
            if (r.seen[1])
                std::snprintf(b, sizeof b, "%.0f", r.mpix[1]);
            std::printf("%-48s %12s %12s\n", name.c_str(), a, b);
        }
    }

private:
    struct Row {
        double mpix[2] = {};
        bool seen[2] = {};
    };
    std::map<std::string, Row> rows_;
    std::map<std::string, size_t> order_;
};

// The benchmark's second argument: 0 for the calling thread alone, 1 for the
// default draw threads.
inline void UseThreads(const benchmark::State& state, int arg_index)
{
    console::gs::SetDrawThreads(state.range(arg_index) ? console::gs::DefaultDrawThreads() : 0);
}

// Runs `draw` (which draws `pixels` pixels) as the timed loop, the queue
// drained each time, and records the rate.  The send_ms counter is how long
// the calling thread took to issue the drawing, before the drain: with the
// draw threads, a figure near the whole time means the sender, not the
// workers, holds the rate back.
template <typename Draw>
void Measure(benchmark::State& state, const std::string& workload, bool threaded, double pixels, Draw draw)
{
    const auto start = std::chrono::steady_clock::now();
    double send_s = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        draw();
        send_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        console::gs::DrainDrawQueue();
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["send_ms"] = send_s * 1e3 / state.iterations();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pixels));
    state.SetLabel(workload + (threaded ? ", default threads" : ", 1 thread"));
    if (seconds > 0)
        Summary::Get().Record(workload, threaded, state.iterations() * pixels / seconds / 1e6);
}

}  // namespace gsbench
