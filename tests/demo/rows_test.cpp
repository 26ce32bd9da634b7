// Every row of the story's twelve episodes and every 24/7 row played on the
// sample disc, each in a process of its own, headless without pixels, with
// nobody at the pad but for Cross on the continue prompts, and the pad pilot
// in drives to a marker, fist fights, infiltrations, escapes, free drives,
// the impound lot, at the side games' round screens and on the way to a
// task's exit door (row_watch.h).
// For each row: no file it asks for is missing or unreadable, its scene or
// its game starts, and within a bound of fields (row_watch.h: longer for a
// game on a clock, so that it can run out, for a game the pilot plays and
// for one left alone, such as a chase) its game ends (won, lost or
// timed out) or the run goes on to another row or ends.  The table of rows
// is printed with what each did; the rows listed below as playing through
// must do so, the others are reported (their rooms and streets are still
// to be made).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/demo/run_process.h"
#include "tests/demo/row_watch.h"

#include "game/GameFlow.h"

namespace fs = std::filesystem;

namespace {

using demo_test::kClockFields;
using demo_test::kRowFields;
// Fields of the start-up before the run starts (the studio and title cards).
constexpr int kStartUpFields = 200;

// The rows that play through on the sample disc as it is: each starts its
// scene or game, asks for no file the disc lacks and ends within the bound
// (the games against the clock among them by running out of time).
const std::set<std::string> kPlayThrough = {
    "1,0", "1,1", "1,2", "1,3", "1,4", "1,5", "1,6", "1,7", "1,8", "1,9", "1,10", "1,11", "1,12", "2,0", "2,1", "2,2",
    "2,3", "2,4", "2,5", "2,6", "2,7", "2,8", "2,9", "2,10", "2,11", "2,12", "2,13", "2,14", "2,15", "2,16", "2,17",
    "2,18", "2,19", "2,20", "3,0", "3,1", "3,2", "3,3", "3,4", "3,5", "3,6", "3,7", "3,8", "3,9", "3,10", "3,11",
    "3,12", "3,13", "3,14", "3,15", "4,0", "4,1", "4,2", "4,3", "4,4", "4,5", "4,6", "4,7", "4,8", "4,9", "4,10",
    "4,11", "4,12", "4,13", "4,14", "4,15", "4,16", "5,0", "5,1", "5,2", "5,3", "5,4", "5,5", "5,6", "5,7", "5,8",
    "5,9", "5,10", "5,11", "5,12", "5,13", "5,14", "5,15", "5,16", "6,0", "6,1", "6,2", "6,3", "6,4", "6,5", "6,6",
    "6,7", "6,8", "6,9", "6,10", "6,11", "6,12", "7,0", "7,1", "7,2", "7,3", "7,4", "7,5", "7,6", "7,7", "7,8", "7,9",
    "7,10", "7,11", "7,12", "7,13", "7,14", "8,0", "8,1", "8,2", "8,3", "8,4", "8,5", "8,6", "8,7", "8,8", "8,9",
    "8,10", "8,11", "8,12", "8,13", "8,14", "8,15", "8,16", "8,17", "9,0", "9,1", "9,2", "9,3", "9,4", "9,5", "9,6",
    "9,7", "9,8", "9,9", "9,10", "9,11", "9,12", "9,13", "10,0", "10,1", "10,2", "10,3", "10,4", "10,5", "10,6",
    "10,7", "10,8", "10,9", "10,10", "10,11", "10,12", "11,0", "11,1", "11,2", "11,3", "11,4", "11,5", "11,6", "11,7",
    "11,8", "11,9", "11,10", "11,11", "11,12", "11,13", "11,14", "11,15", "12,0", "12,1", "12,2", "12,3", "12,4",
    "12,5", "12,6", "12,7", "12,8", "12,9", "12,10", "12,11", "12,12", "12,13", "13,0", "13,1", "13,2", "13,3", "13,4",
    "13,5", "13,6",
};

using demo_test::Execute;
using demo_test::Outcome;
using demo_test::Self;

// The game's and the streamer's complaints about a file it could not have.
std::vector<std::string> MissingFiles(const std::string& output)
{
    static const std::regex kComplaint(R"((Failed to create stream for CD file (.*)\.|Unable to load bank (.*)\.|(\S+) cannot be (opened|read)|(\S+) is missing))");
    std::set<std::string> names;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, kComplaint))
            for (int g : {2, 3, 4, 6})
                if (m[g].matched)
                    names.insert(m[g]);
    }
    return {names.begin(), names.end()};
}

struct Row
{
    int episode, record;
    std::string Name() const { return std::to_string(episode) + "," + std::to_string(record); }
};

struct Played
{
    demo_test::RowOutcome outcome;
    std::vector<std::string> missing;
    int status = -1;
    bool Passes() const
    {
        return status == 0 && missing.empty() && (outcome.scene || outcome.game) && outcome.Ended();
    }
    std::string Says() const
    {
        std::string s;
        if (status != 0)
            s += " exit status " + std::to_string(status) + ";";
        if (!outcome.started)
            s += " never started;";
        if (!outcome.scene && !outcome.game)
            s += " no scene or game;";
        if (!outcome.Ended())
            s += " no end within the bound;";
        if (!missing.empty()) {
            s += " " + std::to_string(missing.size()) + " missing:";
            for (const std::string& f : missing)
                s += " " + f;
        }
        return s;
    }
};

TEST(StoryRows, EveryRowStartsItsSceneOrGameAndEndsWithEveryFileOnTheDisc)
{
    const fs::path dir = fs::temp_directory_path() / ("korvalis-rows-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const Outcome made =
        Execute((Self().parent_path().parent_path() / "tools" / "mkdisc").string() + " " + (dir / "disc").string());
    ASSERT_EQ(made.status, 0) << made.output;

    std::vector<Row> rows;
    for (int episode = 1; episode < NUM_MISSIONS; episode++)
        for (int record = 0; record < rgMissionRecordCounts[episode]; record++)
            rows.push_back({episode, record});
    ASSERT_EQ(rows.size(), 194u);

    // The rows run side by side, a process each.
    std::vector<Played> played(rows.size());
    std::atomic<size_t> next{0};
    const unsigned workers = std::clamp(std::thread::hardware_concurrency() / 2, 2u, 4u);
    const auto began = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (unsigned w = 0; w < workers; w++)
        pool.emplace_back([&] {
            for (size_t i = next++; i < rows.size(); i = next++) {
                const std::string log = (dir / ("row-" + std::to_string(i) + ".log")).string();
                const Outcome r = Execute(Self().string() + " --row " + log + " --headless --gs-no-pixels --disc " +
                                          (dir / "disc").string() + " --start " + rows[i].Name() +
                                          " --exit-after-runs 1 --exit-after-vblanks " +
                                          std::to_string(kStartUpFields + kClockFields + 100));
                played[i].status = r.status;
                played[i].missing = MissingFiles(r.output);
                played[i].outcome = demo_test::ReadRowLog(log);
            }
        });
    for (std::thread& t : pool)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    long long fields = 0;
    int passing = 0;
    std::string table;
    for (size_t i = 0; i < rows.size(); i++) {
        const Played& p = played[i];
        const demo_test::RowOutcome& o = p.outcome;
        const long long used = o.endField >= 0 && o.startField >= 0 ? o.endField - o.startField
                               : o.boundField >= 0 && o.startField >= 0 ? o.boundField - o.startField
                                                                        : kRowFields;
        fields += used;
        passing += p.Passes();
        char line[160];
        const std::string game =
            o.game ? "mode " + std::to_string(o.mode) + (o.clock ? " clock" : "") + (o.piloted ? " pilot" : "") +
                             (o.alone ? " alone" : "") : "no";
        std::snprintf(line, sizeof line, "row %-5s %-4s scene %-3s game %-13s %-9s %5lld fields%s", rows[i].Name().c_str(),
                      p.Passes() ? "pass" : "FAIL", o.scene ? "yes" : "no", game.c_str(),
                      o.result != 0   ? ("result " + std::to_string(o.result)).c_str()
                      : o.next        ? "next row"
                      : o.handback    ? "run ended"
                                      : "no end",
                      used, kPlayThrough.count(rows[i].Name()) ? " (expected to pass)" : "");
        table += line + p.Says() + "\n";
    }
    std::fprintf(stdout, "%s%d of %zu rows play through; %lld fields of play in %.1f s on %u processes at a time\n",
                 table.c_str(), passing, rows.size(), fields, seconds, workers);
    std::ofstream(Self().parent_path() / "story-rows.txt") << table;

    for (size_t i = 0; i < rows.size(); i++) {
        if (kPlayThrough.count(rows[i].Name()) != 0) {
            EXPECT_TRUE(played[i].Passes()) << "row " << rows[i].Name() << ":" << played[i].Says();
        }
    }
    fs::remove_all(dir);
}

}  // namespace
