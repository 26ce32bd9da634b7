// The city targets' run ends as a frame does with the glows of the lamps it
// saw drawn: the list starts empty and nothing of it outlives the run, whose
// reset deletes the lamps.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/fuzz_target.h"
#include "game/fbfx.h"

namespace {

TEST(CityRun, TheWalksGlowsNeitherFollowAGoneLampsLinkNorOutliveTheRun)
{
    // A cell whose traffic lights the visibility walk finds drawn beside a
    // junction: they link their glows.
    const std::filesystem::path path = std::filesystem::path(KORVALIS_SOURCE_DIR) / "tests" / "fuzz" / "corpus" /
                                       "citycell" / "lamps-glowing-then-reset-1.mgd";
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> cell((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(cell.empty()) << path;
    const std::vector<fuzz::Entry>& targets = fuzz::Targets();
    const auto citycell =
        std::find_if(targets.begin(), targets.end(), [](const fuzz::Entry& e) { return e.name == "citycell"; });
    ASSERT_NE(citycell, targets.end());

    // The last link of the list is the glow of a lamp an earlier run or
    // frame has deleted since: appending after it writes into its storage.
    Glow gone;
    gGlows.Clear();
    gGlows.AddTail(&gone);
    const _Link* const next = gone.next;

    EXPECT_TRUE(citycell->target(cell.data(), cell.size()));
    EXPECT_EQ(gone.next, next) << "the walk linked a glow after a lamp of an earlier frame";
    EXPECT_TRUE(gGlows.IsEmpty()) << "a glow of a lamp the run deleted is still linked";
    gGlows.Clear();
}

}  // namespace
