// The IOP's console output.  IOP text shares the console with the main
// processor's; each line the IOP starts is tagged "IOP: " so a reader can
// tell the two apart.
#include <cstdarg>
#include <cstdio>
#include <string>

#include <iop/kernel.h>

#include "ee/console_out.h"

namespace {

bool g_at_line_start = true;

void WriteTagged(const char* text, size_t n)
{
    std::string out;
    out.reserve(n + 8);
    for (size_t i = 0; i < n; ++i) {
        if (g_at_line_start)
            out += "IOP: ";
        out += text[i];
        g_at_line_start = text[i] == '\n';
    }
    console::ConsoleWrite(out);
}

}  // namespace

int iop_printf(const char* fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0)
        return n;
    if (static_cast<size_t>(n) < sizeof buf) {
        WriteTagged(buf, static_cast<size_t>(n));
    } else {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        va_start(ap, fmt);
        std::vsnprintf(big.data(), big.size(), fmt, ap);
        va_end(ap);
        WriteTagged(big.data(), static_cast<size_t>(n));
    }
    return n;
}
