// The console's text output: what scePrintf and the I/O processor's printf
// write.  Lines go to standard output as they complete, and everything is
// kept in a capture buffer that tests read.
#pragma once

#include <string>
#include <string_view>

namespace console {

// Appends text to the console; complete lines are written out at once.
void ConsoleWrite(std::string_view text);

// Everything written since start-up or the last ClearConsoleText.
std::string ConsoleText();
void ClearConsoleText();

// Writes out a pending partial line (at exit).
void FlushConsole();

// Silences standard output (the capture still records); tests that print a lot.
void SetConsoleEcho(bool echo);

}  // namespace console
