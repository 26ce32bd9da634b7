#include "ee/console_out.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "ee/kernel.h"

namespace console {
namespace {

std::mutex g_mutex;
std::string g_capture;
std::string g_pending;
bool g_echo = true;

// The capture keeps at most this much text, dropping the oldest half when full,
// so long runs do not grow without bound.
constexpr size_t kCaptureLimit = 4 * 1024 * 1024;

}  // namespace

void ConsoleWrite(std::string_view text)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_capture.size() + text.size() > kCaptureLimit)
        g_capture.erase(0, g_capture.size() / 2);
    g_capture.append(text);
    g_pending.append(text);
    size_t nl = g_pending.rfind('\n');
    if (nl != std::string::npos) {
        if (g_echo) {
            std::fwrite(g_pending.data(), 1, nl + 1, stdout);
            std::fflush(stdout);
        }
        g_pending.erase(0, nl + 1);
    }
}

std::string ConsoleText()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_capture;
}

void ClearConsoleText()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_capture.clear();
}

void FlushConsole()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_pending.empty() && g_echo) {
        std::fwrite(g_pending.data(), 1, g_pending.size(), stdout);
        std::fflush(stdout);
    }
    g_pending.clear();
}

void SetConsoleEcho(bool echo)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_echo = echo;
}

}  // namespace console

int scePrintf(const char* fmt, ...)
{
    char stack_buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(stack_buf, sizeof stack_buf, fmt, ap);
    va_end(ap);
    if (n < 0)
        return n;
    if (static_cast<size_t>(n) < sizeof stack_buf) {
        console::ConsoleWrite(std::string_view(stack_buf, n));
    } else {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        va_start(ap, fmt);
        std::vsnprintf(big.data(), big.size(), fmt, ap);
        va_end(ap);
        big.resize(n);
        console::ConsoleWrite(big);
    }
    return n;
}

void FlushCache(int)
{
    EE_SYNC();
}

void snDebugInit() {}
