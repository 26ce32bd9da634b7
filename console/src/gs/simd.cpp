#include "gs/simd.h"

#include <algorithm>
#include <atomic>

namespace console::gs {

namespace {

SimdLevel DetectHost()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl"))
        return SimdLevel::kAvx512;
    return __builtin_cpu_supports("avx2") ? SimdLevel::kAvx2 : SimdLevel::kSse2;
}

}  // namespace

namespace simd_detail {
std::atomic<int> g_active{static_cast<int>(HostSimdLevel())};
std::atomic<unsigned> g_generation{0};
}  // namespace simd_detail

using simd_detail::g_active;
using simd_detail::g_generation;

SimdLevel HostSimdLevel()
{
    static const SimdLevel host = DetectHost();
    return host;
}

void LimitSimdLevel(SimdLevel level)
{
    const int capped = std::min(static_cast<int>(level), static_cast<int>(HostSimdLevel()));
    g_active.store(capped, std::memory_order_relaxed);
    g_generation.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace console::gs
