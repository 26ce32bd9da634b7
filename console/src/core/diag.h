// Diagnostics of the stand-in: every illegal or unsupported use of the
// simulated hardware is reported with its category and context.  Under
// --strict an error ends the run with status 3 after the message is printed.
#pragma once

#include <string>
#include <vector>

namespace console {

enum class Level { kInfo, kWarning, kError, kFatal };

// Reports one diagnostic.  kFatal always ends the run; kError ends it in
// strict mode.  The message is also kept in the diagnostic log.
void Diag(Level level, const char* category, const char* fmt, ...) __attribute__((format(__printf__, 3, 4)));

// The messages reported so far ("error [dma] ..."), oldest first (tests).
const std::vector<std::string>& DiagLog();
void ClearDiagLog();

// Counts of errors reported since start-up or the last ClearDiagLog.
int DiagErrorCount();

namespace diag_detail {
// -1 until the options are read, then whether any category is traced.
extern int g_tracing;
bool TraceOnSlow(const char* category);
}  // namespace diag_detail

// Trace output for categories selected with --trace (dma,vif,gif,gs,vu,sif,
// iop,cd,spu,pad,intc): one line each, to --trace-file or standard error.
// Asked for every register write: with nothing traced it costs a test.
inline bool TraceOn(const char* category)
{
    return diag_detail::g_tracing != 0 && diag_detail::TraceOnSlow(category);
}
void Trace(const char* category, const char* fmt, ...) __attribute__((format(__printf__, 2, 3)));

// Lets a test see errors without ending the run: while one is alive, errors
// are logged but never exit, whatever the strict setting.
class ScopedDiagCapture {
public:
    ScopedDiagCapture();
    ~ScopedDiagCapture();
    ScopedDiagCapture(const ScopedDiagCapture&) = delete;
    ScopedDiagCapture& operator=(const ScopedDiagCapture&) = delete;
};

// Called before the process ends because of a diagnostic; front ends register
// their flush (frame log, WAV) here.
using ShutdownHook = void (*)(int status);
void SetShutdownHook(ShutdownHook hook);
[[noreturn]] void Terminate(int status);

}  // namespace console
