// The damaged-disc trial: the sample disc built again and again with one of
// the files a demo run reads damaged (cut to half its length, its first
// bytes inverted, bytes inverted through its body, or every byte zero), the
// demo played headless without pixels on each to its first hand-back under a
// field bound (12,000 fields for the losing branch, 20,000 for the winning
// branch whose fist fight the pad pilot fights), and each case reported as
// the game met it:
//   refused  a line of the game's output names the file, and the run hands back
//   used     nothing names the file, and the run hands back (as the undamaged
//            disc's run does, or with what differs: the records entered, the
//            hand-back's field, the sound, the heap left at the hand-back)
//   stalled  no hand-back within the bound
//   crashed  the game ended otherwise (a signal, a non-zero status)
// "demo_tests --damage-trial DIR [--sample] [--jobs N] [--only NAME,...]"
// runs it in DIR (every file a run reads, four damages each; the sample is
// the fixed few that the tests run); it prints the table and ends 0 when no
// case stalled or crashed.  "--replace NAME=FILE,..." plays instead one case
// per pair, the disc's file NAME replaced by the bytes of the host's FILE (a
// fuzzer's finding put on the disc that carries its kind of file).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace demo_test {

// kRemoved leaves the file off the disc altogether, for "--damaged-disc"
// only: the trial's table plays the four damages.
enum class Damage { kTruncated, kHeaderFlipped, kBodyFlipped, kZeroed, kRemoved };

const char* DamageName(Damage d);

// The file's bytes with the damage done: cut to half its length; its first
// 64 bytes (or all, if fewer) inverted; 16 bytes inverted at each quarter
// past the first 64 bytes (nothing for a file of 64 bytes or fewer); every
// byte zero, the length kept; for kRemoved, the bytes as they are.
std::vector<uint8_t> Damaged(std::span<const uint8_t> data, Damage d);

// One case of the trial: a file below the archive's root ("DemoData/Char/
// DACE.P2B") and its damage.
struct DamageCase {
    std::string path;
    Damage damage;
    std::string with;   // a host file whose bytes replace the file's (the damage then unused)
};

// The sample the tests run: a few files of each kind that a losing run reads
// (the mission file, a cinematic, the player's model, a room's set-up, a
// sound bank, a voice stream, the title picture, two animation groups, the
// city's cells), each with a damage that reaches its reader's checks, and a
// well-formed model that is no character's in place of three models the
// fights need.
std::vector<DamageCase> DamageSample();

// "demo_tests --damaged-disc DIR NAME DAMAGE|FILE": the sample disc written
// to DIR with the file NAME (its path or its name) damaged, or replaced by
// the bytes of the host's FILE, for a case to be played again by hand; the
// exit status.
int WriteDamagedDisc(int argc, char** argv);

// The trial's command line after "--damage-trial"; the exit status.
int RunDamageTrial(int argc, char** argv);

}  // namespace demo_test
