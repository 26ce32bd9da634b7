// Process entry of the game: the stand-in's options first, then the host
// front end (headless, or a window when the build has one and a display is
// there), then the game.  Every way the run ends goes through
// console::Terminate, which lets the front end flush its outputs.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"
#include "ee/crt0.h"
#include "headless/registry.h"

namespace {

bool AskedForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; i++)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

// A disc that is named but not there is a mistyped path: running on would
// only show every load failing.  No disc at all is a run of its own.
bool DiscNamedIsThere()
{
    const std::string disc = console::GetString("disc");
    std::error_code ec;
    if (disc.empty() || std::filesystem::exists(disc, ec))
        return true;
    std::fprintf(stderr, "korvalis: --disc %s: no such folder or file\n", disc.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    console::Configure(argc, argv);
    if (AskedForHelp(argc, argv)) {
        std::printf("usage: %s [options]\n%s", argc > 0 ? argv[0] : "korvalis", console::Usage().c_str());
        return 0;
    }
    if (!DiscNamedIsThere())
        return 2;
    if (!console::host::StartFrontEnd())
        return 2;
    int status = ee_main(argc, argv);
    console::FlushConsole();
    console::Terminate(status);
}
