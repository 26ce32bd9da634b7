#include "tests/demo/loop_script.h"

#include <iterator>
#include <sstream>

namespace demo_test {
namespace {

// Fields of the sample disc's demo, measured from the run hook's lines:
constexpr int kFirstPrompt = 600;    // the start-up and the drive's loading, to its continue prompt
constexpr int kPrompt = 450;         // a later run's start to its prompt
constexpr int kPromptMargin = 250;   // the prompt waits 1200 fields; presses come this far into it
constexpr int kDriveStart = 30;      // Cross on the prompt to the drive's first tick
constexpr int kTimeUp = 3700;        // the drive's first tick to the spa's record
constexpr int kInSpa = 200;          // into the spa's loading and scene
constexpr int kSelectToScreens = 70; // SELECT to the first closing screen
constexpr int kScreenStep = 70;      // between the Crosses that skip the closing screens
constexpr int kHandBack = 40;        // the last closing screen's Cross to the next run's start
constexpr int kMarkBefore = 8;       // a still's mark: this long before the Cross that ends it

}  // namespace

const char* LoopName(Loop loop)
{
    switch (loop) {
    case Loop::kSelectAtPrompt: return "SELECT on the continue prompt";
    case Loop::kSelectInDrive: return "SELECT in the drive";
    case Loop::kSelectInSpa: return "SELECT in the spa";
    case Loop::kSelectOnClosing: return "SELECT in the drive and on the closing screens";
    }
    return "?";
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
            out << "@" << prompt << " pad0 press CROSS for 2\n";
            mark(prompt, "DEMOSCR1");
            select = prompt + kDriveStart + 300;
            break;
        case Loop::kSelectInSpa:
            out << "@" << prompt << " pad0 press CROSS for 2\n";
            mark(prompt, "DEMOSCR1");
            select = prompt + kDriveStart + kTimeUp + kInSpa;
            break;
        case Loop::kSelectOnClosing:
            out << "@" << prompt << " pad0 press CROSS for 2\n";
            mark(prompt, "DEMOSCR1");
            select = prompt + kDriveStart + 300;
            break;
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
    // Mostly short runs, a long one now and then: a fixed sequence keeps the
    // script the same from run to run of the test.
    static const Loop kOrder[] = {Loop::kSelectAtPrompt, Loop::kSelectInDrive, Loop::kSelectOnClosing,
                                  Loop::kSelectAtPrompt, Loop::kSelectInDrive, Loop::kSelectInSpa};
    std::vector<Loop> loops;
    for (int i = 0; i < count; i++)
        loops.push_back(kOrder[i % std::size(kOrder)]);
    return loops;
}

}  // namespace demo_test
