// A GS stand-in for GIF tests: records every register write and every IMAGE
// quadword the GIF emits, in order.
#pragma once

#include <ee/types.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "gif/gif.h"

namespace giftest {

struct RegWrite {
    u32 address;
    u64 value;

    bool operator==(const RegWrite&) const = default;
};

class GsRecorder : public console::gif::GsSink {
public:
    std::vector<RegWrite> writes;
    std::vector<u128> image;
    // IMAGE quadwords the recorder still takes (a GS transfer's remaining size).
    size_t image_budget = std::numeric_limits<size_t>::max();

    void WriteRegister(u32 address, u64 value) override { writes.push_back({address, value}); }

    size_t WriteImageData(const u128* data, size_t qwc) override
    {
        size_t n = std::min(qwc, image_budget);
        image.insert(image.end(), data, data + n);
        image_budget -= n;
        return n;
    }

    // The writes to one register address, in order.
    std::vector<u64> ValuesOf(u32 address) const
    {
        std::vector<u64> out;
        for (const RegWrite& w : writes)
            if (w.address == address)
                out.push_back(w.value);
        return out;
    }
};

// Installs a fresh recorder as the GIF's sink for the lifetime of the object.
class ScopedRecorder {
public:
    ScopedRecorder() : scope_(recorder) {}

    GsRecorder recorder;

private:
    console::gif::ScopedSink scope_;
};

// A GIF tag quadword from its fields.
inline u128 GifTag(uint32_t nloop, bool eop, uint32_t flg, uint32_t nreg, uint64_t regs, bool pre = false,
                   uint32_t prim = 0)
{
    uint64_t lo = (nloop & 0x7FFF) | uint64_t{eop} << 15 | uint64_t{pre} << 46 | uint64_t{prim & 0x7FF} << 47 |
                  uint64_t{flg & 3} << 58 | uint64_t{nreg & 15} << 60;
    return {lo, regs};
}

// An A+D quadword: `value` to GS register `address`.
inline u128 Ad(uint32_t address, uint64_t value)
{
    return {value, address};
}

}  // namespace giftest
