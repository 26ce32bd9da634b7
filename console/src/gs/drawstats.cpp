#include "gs/drawstats.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <x86intrin.h>

#include "gs/drawenv.h"
#include "gs/regs.h"

namespace console::gs {

namespace drawstats_detail {
bool g_on = false;
thread_local DrawPath t_path = DrawPath::kPipelines;
}  // namespace drawstats_detail

namespace {

struct Account {
    u64 primitives[kDrawPaths] = {};
    u64 pixels[kDrawPaths] = {};
    u64 ticks[kDrawPaths] = {};
};

// Accounts by state description; each thread finds its state's entry once
// per state (by serial) rather than describing every primitive.
struct Accounts {
    std::mutex lock;
    std::map<std::string, Account> rows;
    u64 start_ticks = 0;
    std::chrono::steady_clock::time_point start_time;
    u64 generation = 0;
};

Accounts& TheAccounts()
{
    static Accounts a;
    return a;
}

struct LastState {
    u64 generation = ~u64{0};
    u64 serial = 0;
    PrimType type = PrimType::kReserved;
    Account* account = nullptr;
};
thread_local LastState t_last;

const char* TestName(AlphaTest t)
{
    static const char* const kNames[] = {"NEVER", "ALWAYS", "LESS", "LEQUAL", "EQUAL", "GEQUAL", "GREATER", "NOTEQUAL"};
    return kNames[static_cast<u32>(t) & 7];
}

const char* DepthName(DepthTest t)
{
    static const char* const kNames[] = {"NEVER", "ALWAYS", "GEQUAL", "GREATER"};
    return kNames[static_cast<u32>(t) & 3];
}

}  // namespace

void CollectDrawStats(bool on)
{
    Accounts& a = TheAccounts();
    std::lock_guard<std::mutex> hold(a.lock);
    if (on) {
        a.rows.clear();
        ++a.generation;
        a.start_ticks = __rdtsc();
        a.start_time = std::chrono::steady_clock::now();
    }
    drawstats_detail::g_on = on;
}

void StartDrawRecord()
{
    drawstats_detail::t_path = DrawPath::kPipelines;
}

void RecordDraw(PrimType type, const DrawEnv& env, u64 pixels, u64 ticks)
{
    Accounts& a = TheAccounts();
    LastState& last = t_last;
    // Strips, fans and lists of a kind are accounted together.
    const PrimType kind = type == PrimType::kLineStrip                                        ? PrimType::kLine
                          : type == PrimType::kTriangleStrip || type == PrimType::kTriangleFan ? PrimType::kTriangle
                                                                                               : type;
    if (last.generation != a.generation || env.serial == 0 || last.serial != env.serial || last.type != kind) {
        const std::string state = DescribeDrawState(kind, env);
        std::lock_guard<std::mutex> hold(a.lock);
        last = LastState{a.generation, env.serial, kind, &a.rows[state]};
    }
    const int path = static_cast<int>(drawstats_detail::t_path);
    Account& account = *last.account;
    ++account.primitives[path];
    account.pixels[path] += pixels;
    account.ticks[path] += ticks;
}

std::vector<DrawStatsRow> DrawStatsRows()
{
    Accounts& a = TheAccounts();
    std::lock_guard<std::mutex> hold(a.lock);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - a.start_time).count();
    const u64 ticks = __rdtsc() - a.start_ticks;
    const double per_tick = ticks > 0 ? elapsed / static_cast<double>(ticks) : 0.0;
    std::vector<DrawStatsRow> rows;
    for (const auto& [state, account] : a.rows) {
        DrawStatsRow r;
        r.state = state;
        for (int k = 0; k < kDrawPaths; ++k) {
            r.primitives[k] = account.primitives[k];
            r.pixels[k] = account.pixels[k];
            r.seconds[k] = static_cast<double>(account.ticks[k]) * per_tick;
        }
        rows.push_back(std::move(r));
    }
    std::sort(rows.begin(), rows.end(), [](const DrawStatsRow& x, const DrawStatsRow& y) {
        if (x.pixels[1] != y.pixels[1])
            return x.pixels[1] > y.pixels[1];
        if (x.pixels[0] + x.pixels[1] != y.pixels[0] + y.pixels[1])
            return x.pixels[0] + x.pixels[1] > y.pixels[0] + y.pixels[1];
        return x.state < y.state;
    });
    return rows;
}

std::string DescribeDrawState(PrimType type, const DrawEnv& env)
{
    std::string s = PrimTypeName(type);
    auto add = [&](const std::string& word) {
        s += ' ';
        s += word;
    };
    if (type != PrimType::kSprite && type != PrimType::kPoint)
        add(env.prim.iip ? "gouraud" : "flat");
    if (env.prim.tme) {
        const TextureEnv& t = env.tex;
        std::string tex = PsmName(t.psm);
        if (t.indexed)
            tex += std::string("/") + PsmName(static_cast<Psm>(t.cpsm));
        add(tex);
        add(env.prim.fst ? "uv" : "stq");
        add(t.mag_linear ? "bilinear" : "nearest");
        if (t.lod_matters)
            add("lod");
        static const char* const kWraps[] = {"repeat", "clamp", "region-clamp", "region-repeat"};
        if (t.wms != 0 || t.wmt != 0)
            add(std::string(kWraps[t.wms & 3]) + "/" + kWraps[t.wmt & 3]);
        static const char* const kFunctions[] = {"MODULATE", "DECAL", "HIGHLIGHT", "HIGHLIGHT2"};
        add(kFunctions[t.tfx & 3]);
        add(t.tcc ? "rgba" : "rgb");
    } else {
        add("untextured");
    }
    if (env.prim.fge)
        add("fog");
    if (env.blend) {
        static const char* const kColour[] = {"Cs", "Cd", "0", "0"};
        static const char* const kAlpha[] = {"As", "Ad", "FIX", "FIX"};
        std::string b = std::string(", blend ") + kColour[env.sel_a & 3] + " " + kColour[env.sel_b & 3] + " " +
                        kAlpha[env.sel_c & 3] + " " + kColour[env.sel_d & 3];
        s += b;
        if (env.pabe)
            add("pabe");
    }
    if (env.ate && env.atst != AlphaTest::kAlways) {
        static const char* const kFails[] = {"keep", "fb-only", "zb-only", "rgb-only"};
        s += std::string(", alpha ") + TestName(env.atst) + " " + std::to_string(env.aref) + " " +
             kFails[static_cast<u32>(env.afail) & 3];
    }
    if (env.date)
        add("date");
    s += std::string(", ") + PsmName(env.frame.psm);
    if (env.frame.fbmsk != 0) {
        char mask[24];
        std::snprintf(mask, sizeof mask, " fbmsk %08X", env.frame.fbmsk);
        s += mask;
    }
    if (env.dither)
        add("dither");
    if (!env.colclamp)
        add("wrap");
    if (env.fba)
        add("fba");
    if (env.scanmsk >= 2)
        add("scanmsk");
    if (env.depth.used) {
        s += std::string(", ") + PsmName(env.depth.psm);
        if (env.depth.test)
            add(DepthName(env.depth.method));
        if (env.depth.write)
            add("write");
    }
    return s;
}

}  // namespace console::gs
