#include "core/diag.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "core/config.h"

namespace console {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_log;
int g_errors = 0;
int g_capture_depth = 0;
ShutdownHook g_shutdown = nullptr;

const char* LevelName(Level level)
{
    switch (level) {
    case Level::kInfo: return "info";
    case Level::kWarning: return "warning";
    case Level::kError: return "error";
    case Level::kFatal: return "fatal";
    }
    return "?";
}

}  // namespace

// The answer for most TraceOn calls without a look at the state.
int diag_detail::g_tracing = -1;

namespace {

using diag_detail::g_tracing;

struct TraceState {
    bool parsed = false;
    bool all = false;
    bool any = false;  // some category is traced
    std::set<std::string, std::less<>> categories;
    FILE* out = nullptr;
};

TraceState& Traces()
{
    static TraceState state;
    if (!state.parsed) {
        state.parsed = true;
        std::string list = GetString("trace");
        size_t start = 0;
        while (start <= list.size() && !list.empty()) {
            size_t comma = list.find(',', start);
            std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (item == "all")
                state.all = true;
            else if (!item.empty())
                state.categories.insert(item);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        state.any = state.all || !state.categories.empty();
        g_tracing = state.any ? 1 : 0;
        std::string file = GetString("trace-file");
        state.out = file.empty() ? stderr : std::fopen(file.c_str(), "w");
        if (!state.out)
            state.out = stderr;
    }
    return state;
}

}  // namespace

void Diag(Level level, const char* category, const char* fmt, ...)
{
    char body[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(body, sizeof body, fmt, ap);
    va_end(ap);

    std::string line = std::string(LevelName(level)) + " [" + category + "] " + body;
    bool end_run = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_log.push_back(line);
        if (level >= Level::kError)
            ++g_errors;
        end_run = level == Level::kFatal || (level == Level::kError && Strict() && g_capture_depth == 0);
    }
    std::fprintf(stderr, "console: %s\n", line.c_str());
    if (end_run) {
        std::fprintf(stderr, "console: stopping after this %s\n", LevelName(level));
        Terminate(3);
    }
}

const std::vector<std::string>& DiagLog()
{
    return g_log;
}

void ClearDiagLog()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_log.clear();
    g_errors = 0;
}

int DiagErrorCount()
{
    return g_errors;
}

bool diag_detail::TraceOnSlow(const char* category)
{
    if (g_tracing == 0)
        return false;
    TraceState& t = Traces();
    if (!t.any)
        return false;
    return t.all || t.categories.find(std::string_view(category)) != t.categories.end();
}

void Trace(const char* category, const char* fmt, ...)
{
    if (!TraceOn(category))
        return;
    char body[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(body, sizeof body, fmt, ap);
    va_end(ap);
    std::fprintf(Traces().out, "[%s] %s\n", category, body);
}

ScopedDiagCapture::ScopedDiagCapture()
{
    ++g_capture_depth;
}

ScopedDiagCapture::~ScopedDiagCapture()
{
    --g_capture_depth;
}

void SetShutdownHook(ShutdownHook hook)
{
    g_shutdown = hook;
}

void Terminate(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    if (g_shutdown) {
        ShutdownHook hook = g_shutdown;
        g_shutdown = nullptr;
        hook(status);
    }
    // Every open stream (the trace file among them) is flushed: _Exit skips
    // the C library's own clean-up.
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace console
