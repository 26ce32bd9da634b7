// fuzz_seeds DIR: writes each target's seeds from our writers into
// DIR/<target>/, the starting corpus of a fuzzing run.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/fuzz_target.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    for (const std::string& target : fuzz::SeededTargets()) {
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / target;
        std::filesystem::create_directories(dir);
        for (const fuzz::Seed& s : fuzz::Seeds(target)) {
            std::ofstream out(dir / s.name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(s.bytes.data()), std::streamsize(s.bytes.size()));
            if (!out) {
                std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", (dir / s.name).c_str());
                return 1;
            }
        }
    }
    return 0;
}
