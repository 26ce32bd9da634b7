// Process entry of the game: the stand-in's options first, then the host
// front end (headless, or a window when the build has one and a display is
// there), then the game.  Every way the run ends goes through
// console::Terminate, which lets the front end flush its outputs.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "ZevEngine2/PS2/iop/IOPStream.h"
#include "cdvd/disc.h"
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

// The disc as a user gives it: a folder with the game's archive in it (the
// archive's folder may be a link to elsewhere).  A named disc that is not
// such a folder is a mistake, and running on would only show every load
// failing, field after field: it is refused with one line.  No disc at all
// is a run of its own.
bool DiscNamedIsThere()
{
    const std::string disc = console::GetString("disc");
    if (disc.empty())
        return true;
    std::error_code ec;
    const char* wrong = nullptr;
    if (!std::filesystem::exists(disc, ec))
        wrong = "no such folder or file";
    else if (!std::filesystem::is_directory(disc, ec))
        wrong = "a file, not a folder; the disc is a folder holding the KORVALIS folder";
    else if (console::cdvd::FindFile(PAK_DISC_PATH) == nullptr)
        wrong = "no KORVALIS/KORVALIS.PAK in this folder; it is not a disc of the game";
    if (wrong == nullptr)
        return true;
    std::fprintf(stderr, "korvalis: --disc %s: %s\n", disc.c_str(), wrong);
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
