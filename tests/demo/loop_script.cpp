#include "tests/demo/loop_script.h"

#include <iterator>
#include <sstream>
#include <stdexcept>

namespace demo_test {
namespace {

// Fields of the sample disc's demo, measured from the run hook's lines:
constexpr int kFirstPrompt = 600;    // the start-up and the drive's loading, to its continue prompt
constexpr int kPrompt = 450;         // a later run's start to its prompt
constexpr int kPromptMargin = 250;   // the prompt waits 1200 fields; presses come this far into it
constexpr int kDriveStart = 30;      // Cross on the prompt to the drive's first tick
constexpr int kSelectToScreens = 70; // SELECT to the first closing screen
constexpr int kScreenStep = 70;      // between the Crosses that skip the closing screens
constexpr int kHandBack = 40;        // the last closing screen's Cross to the next run's start
constexpr int kMarkBefore = 8;       // a still's mark: this long before the Cross that ends it

struct Kind {
    Loop loop;
    const char* word;
    const char* name;
};

constexpr Kind kKinds[] = {
    {Loop::kWin, "win", "the drive won, the bar's scene and fight played to their end"},
    {Loop::kLoss, "loss", "the drive lost, the spa's scene and shoot-out played to their end"},
    {Loop::kSelectAtPrompt, "prompt", "SELECT on the continue prompt"},
    {Loop::kSelectInDrive, "drive", "SELECT in the drive"},
    {Loop::kSelectInBarScene, "bar-scene", "SELECT in the bar's scene"},
    {Loop::kSelectInFight, "fight", "SELECT in the bar fight"},
    {Loop::kSelectInSpaScene, "spa-scene", "SELECT in the spa's scene"},
    {Loop::kSelectInShootOut, "shoot-out", "SELECT in the shoot-out"},
    {Loop::kSelectOnClosing, "closing", "SELECT in the drive and on the closing screens"},
};

const Kind& KindOf(Loop loop)
{
    for (const Kind& k : kKinds)
        if (k.loop == loop)
            return k;
    return kKinds[0];
}

}  // namespace

const char* LoopName(Loop loop)
{
    return KindOf(loop).name;
}

const char* LoopWord(Loop loop)
{
    return KindOf(loop).word;
}

std::optional<std::vector<Loop>> ParsePlan(const std::string& text)
{
    std::vector<Loop> loops;
    std::istringstream in(text);
    for (std::string word; std::getline(in, word, ',');) {
        const Kind* found = nullptr;
        for (const Kind& k : kKinds)
            if (word == k.word)
                found = &k;
        if (found == nullptr)
            return std::nullopt;
        loops.push_back(found->loop);
    }
    return loops;
}

std::string PlanText(const std::vector<Loop>& loops)
{
    std::string text;
    for (Loop loop : loops)
        text += (text.empty() ? "" : ",") + std::string(LoopWord(loop));
    return text;
}

bool Wins(Loop loop)
{
    return loop == Loop::kWin || loop == Loop::kSelectInBarScene || loop == Loop::kSelectInFight;
}

bool LeavesAScene(Loop loop)
{
    return loop == Loop::kSelectInBarScene || loop == Loop::kSelectInSpaScene;
}

std::string Records(Loop loop)
{
    if (Wins(loop))
        return "2,5 2,6";
    if (loop == Loop::kLoss || loop == Loop::kSelectInSpaScene || loop == Loop::kSelectInShootOut)
        return "2,5 3,12";
    return "2,5";
}

std::string LoopScript(const std::vector<Loop>& loops, std::vector<StillMark>* marks)
{
    static const char* const kClosing[5] = {"DEMOEND1", "DEMOEND2", "DEMOEND3", "DEMOEND4", "DEMOEND5"};
    auto mark = [&](int field, const char* still) {
        if (marks)
            marks->push_back({field - kMarkBefore, still});
    };
    std::ostringstream out;
    out << "# " << loops.size() << " runs of the demo, one after another\n";
    int t = 0;   // the run's start
    bool first = true;
    for (Loop loop : loops) {
        out << "# run: " << LoopName(loop) << "\n";
        const int prompt = t + (first ? kFirstPrompt : kPrompt) + kPromptMargin;
        first = false;
        int select = 0;
        switch (loop) {
        case Loop::kSelectAtPrompt: select = prompt; break;
        case Loop::kSelectInDrive:
        case Loop::kSelectOnClosing:
            out << "@" << prompt << " pad0 press CROSS for 2\n";
            mark(prompt, "DEMOSCR1");
            select = prompt + kDriveStart + 300;
            break;
        default:
            throw std::invalid_argument(std::string("a fixed-field script cannot play a run with ") + LoopName(loop));
        }
        out << "@" << select << " pad0 press SELECT for 2\n";
        int cross = select + kSelectToScreens;
        if (loop == Loop::kSelectOnClosing) {
            // The leave request ends every closing screen left at once.
            out << "@" << cross << " pad0 press SELECT for 2\n";
            mark(cross, kClosing[0]);
            t = cross + kHandBack;
            continue;
        }
        for (int screen = 0; screen < 5; screen++, cross += kScreenStep) {
            out << "@" << cross << " pad0 press CROSS for 2\n";
            mark(cross, kClosing[screen]);
        }
        t = cross - kScreenStep + kHandBack;
    }
    return out.str();
}

std::vector<Loop> LoopMix(int count)
{
    // The long runs (those that play the drive to its end) spread evenly
    // over the count, each kind once or more; the short ones in between.
    static const Loop kLong[] = {Loop::kWin,        Loop::kSelectInSpaScene, Loop::kSelectInFight,
                                 Loop::kLoss,       Loop::kSelectInBarScene, Loop::kSelectInShootOut};
    static const Loop kShort[] = {Loop::kSelectAtPrompt, Loop::kSelectInDrive,   Loop::kSelectAtPrompt,
                                  Loop::kSelectAtPrompt, Loop::kSelectOnClosing, Loop::kSelectAtPrompt};
    constexpr int kEvery = 16;   // one long run in so many
    std::vector<Loop> loops;
    size_t nextLong = 0, nextShort = 0;
    for (int i = 0; i < count; i++) {
        if (i % kEvery == kEvery / 2 || (count <= kEvery && i % 2 == 1))
            loops.push_back(kLong[nextLong++ % std::size(kLong)]);
        else
            loops.push_back(kShort[nextShort++ % std::size(kShort)]);
    }
    return loops;
}

}  // namespace demo_test
