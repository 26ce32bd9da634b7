// A peripheral that records what a DMA channel delivers and can stall, plus
// helpers that build source-chain tags through the public tag record.
#pragma once

#include <ee/dma.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

#include "core/scheduler.h"
#include "dmac/dmac.h"

namespace dmatest {

// One delivery: a tag's upper half (tag true, value in q.lo) or a quadword.
struct Delivery {
    bool tag;
    u128 q;

    bool operator==(const Delivery&) const = default;
};

inline Delivery TagUpper(uint32_t w0, uint32_t w1)
{
    return {true, {uint64_t{w0} | (uint64_t{w1} << 32), 0}};
}

inline Delivery Data(const u128& q)
{
    return {false, q};
}

class Probe : public console::dmac::Peripheral {
public:
    std::vector<Delivery> log;
    // Quadwords the probe still takes before it stalls.
    size_t budget = std::numeric_limits<size_t>::max();
    bool refuse_tags = false;
    // What Produce hands out (from-peripheral channels).
    std::deque<u128> source;

    const char* Name() const override { return "probe"; }

    bool AcceptTag(uint64_t upper) override
    {
        if (refuse_tags)
            return false;
        log.push_back({true, {upper, 0}});
        return true;
    }

    size_t Accept(const u128* data, size_t count) override
    {
        size_t n = std::min(count, budget);
        for (size_t i = 0; i < n; ++i)
            log.push_back({false, data[i]});
        budget -= n;
        return n;
    }

    size_t Produce(u128* out, size_t count) override
    {
        size_t n = std::min(count, source.size());
        for (size_t i = 0; i < n; ++i) {
            out[i] = source.front();
            source.pop_front();
        }
        return n;
    }
};

// Attaches a probe to a channel for the lifetime of the object.
class ScopedProbe {
public:
    explicit ScopedProbe(int channel) : channel_(channel), previous_(console::dmac::GetPeripheral(channel))
    {
        console::dmac::SetPeripheral(channel, &probe);
    }
    ~ScopedProbe() { console::dmac::SetPeripheral(channel_, previous_); }
    ScopedProbe(const ScopedProbe&) = delete;
    ScopedProbe& operator=(const ScopedProbe&) = delete;

    Probe probe;

private:
    int channel_;
    console::dmac::Peripheral* previous_;
};

// A source-chain tag written through sceDmaTag, as a game's packet writer
// would lay it out.
inline u128 Tag(uint8_t id, uint16_t qwc, const void* next = nullptr, uint32_t w0 = 0, uint32_t w1 = 0)
{
    sceDmaTag t{};
    t.qwc = qwc;
    t.id = id;
    t.next = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(next));
    t.p[0] = w0;
    t.p[1] = w1;
    u128 q;
    std::memcpy(&q, &t, sizeof q);
    return q;
}

// A recognisable data quadword.
inline u128 Q(uint32_t n)
{
    return {0xDA7A000000000000ull | n, 0x5EED000000000000ull | (uint64_t{n} << 8)};
}

// Fresh clock and DMA controller for each test.
inline void ResetMachine()
{
    console::dmac::EnsureRegistered();
    console::ResetScheduler();
    console::dmac::ResetDmac();
}

}  // namespace dmatest
