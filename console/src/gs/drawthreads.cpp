#include "gs/drawthreads.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/config.h"

namespace console::gs {
namespace {

constexpr int kMaxThreads = 8;
// Rows per band: 2^3.  Eight rows keep neighbouring bands on different
// cache lines of every layout's page rows while sharing the work evenly.
constexpr u32 kBandShift = 3;

class Pool {
public:
    explicit Pool(int threads) : threads_(threads)
    {
        for (int i = 1; i < threads_; ++i)
            workers_.emplace_back([this, i] { Work(i); });
    }

    ~Pool()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        start_.notify_all();
        for (auto& w : workers_)
            w.join();
    }

    int Threads() const { return threads_; }

    void Run(BandDraw draw, const void* context)
    {
        {
            std::lock_guard lock(mutex_);
            draw_ = draw;
            context_ = context;
            pending_.store(threads_ - 1, std::memory_order_relaxed);
            ++generation_;
        }
        start_.notify_all();
        draw(context, RowBands{kBandShift, static_cast<u32>(threads_), 0});
        // The other bands are usually close behind: spin a little before
        // sleeping.
        for (int spin = 0; pending_.load(std::memory_order_acquire) != 0; ++spin) {
            if (spin < 2000)
                continue;
            std::unique_lock lock(mutex_);
            done_.wait(lock, [this] { return pending_.load(std::memory_order_acquire) == 0; });
        }
    }

private:
    void Work(int index)
    {
        u64 seen = 0;
        for (;;) {
            BandDraw draw;
            const void* context;
            {
                std::unique_lock lock(mutex_);
                start_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_)
                    return;
                seen = generation_;
                draw = draw_;
                context = context_;
            }
            draw(context, RowBands{kBandShift, static_cast<u32>(threads_), static_cast<u32>(index)});
            if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                std::lock_guard lock(mutex_);
                done_.notify_one();
            }
        }
    }

    const int threads_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable start_;
    std::condition_variable done_;
    bool stop_ = false;
    u64 generation_ = 0;
    BandDraw draw_ = nullptr;
    const void* context_ = nullptr;
    std::atomic<int> pending_{0};
};

int g_threads = -1;  // not chosen yet
std::unique_ptr<Pool> g_pool;

int DefaultThreads()
{
    if (HasOption("gs-threads"))
        return static_cast<int>(GetInt("gs-threads", 0));
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return cores - 1;
}

}  // namespace

void SetDrawThreads(int n)
{
    n = n < 1 ? 1 : n > kMaxThreads ? kMaxThreads : n;
    if (n == g_threads)
        return;
    g_pool.reset();
    g_threads = n;
    if (n > 1)
        g_pool = std::make_unique<Pool>(n);
}

int DrawThreads()
{
    if (g_threads < 0)
        SetDrawThreads(DefaultThreads());
    return g_threads;
}

void DrawInBands(BandDraw draw, const void* context)
{
    if (DrawThreads() <= 1) {
        draw(context, RowBands{});
        return;
    }
    g_pool->Run(draw, context);
}

}  // namespace console::gs
