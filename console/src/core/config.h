// Stand-in configuration: command-line options and CONSOLE_* environment
// variables.  An option --foo-bar VALUE may also be given as CONSOLE_FOO_BAR;
// the command line wins.  Unknown options are refused with a message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace console {

enum class ConfigureMode {
    kProgram,  // the game: strict only when asked for
    kTest,     // test programs: strict by default, unknown options left to the test framework
};

// Parses argv and the environment.  In program mode the stand-in's own options
// are removed from argv (argc updated) and an unknown --option ends the run
// with status 2.
void Configure(int& argc, char** argv, ConfigureMode mode = ConfigureMode::kProgram);

// Restores every option to its default (tests).
void ResetConfig();

// Typed reads of an option by name without dashes ("disc", "exit-after-runs").
bool HasOption(std::string_view name);
std::string GetString(std::string_view name, std::string_view fallback = "");
int64_t GetInt(std::string_view name, int64_t fallback = 0);
bool GetFlag(std::string_view name);

// Sets an option as if given on the command line (tests, front ends).
void SetOption(std::string_view name, std::string_view value);

// True when errors end the run (--strict, CONSOLE_STRICT=1, tests).
bool Strict();

// The usage text listing every option.
std::string Usage();

}  // namespace console
