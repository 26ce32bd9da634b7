// What the demo's tests and its damaged-disc trial share: where this program
// and the build's other programs are, and a command run to its end.
#pragma once

#include <filesystem>
#include <string>

namespace demo_test {

// This program, and the build directory it lies in (one level down).
std::filesystem::path Self();
std::filesystem::path BuildDir();
// The korvalis program beside this one in the build tree.
std::string Korvalis();

struct Outcome {
    int status = -1;   // the exit status; -1 ended by a signal
    std::string output;
};

// Runs `command` through the shell, its standard output and error together.
Outcome Execute(const std::string& command);

// A file's bytes as a string, empty when it cannot be read.
std::string Slurp(const std::filesystem::path& path);

}  // namespace demo_test
