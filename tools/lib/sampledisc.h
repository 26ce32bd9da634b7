// The sample disc: a disc directory whose archive "KORVALIS\KORVALIS.PAK" is
// built entirely by our own writers, so that the game has something to load
// and show.  It holds
//   DemoData\Vags\SND_UI.SND     the interface sound bank: sample 0 a two-note chime
//   DemoData\Vags\CITYBUSY.VB    a streamed music piece (a tone sequence, 44,100 Hz)
//   DemoData\Vags\DEMO.VB        the demo's music piece, another phrase
//   DemoData\Vags\SND_COMB, SND_DEST, SND_VO, SND_GUN, SND_CAR (.SND)
//                                the effect banks (tools/lib/samplesound.h)
//   DemoData\Vags\CB_101A/B, CB_OP_01..04, CB_GE_01..04, DV145..DV170 (.VB)
//                                voice lines: a dispatcher's call with the
//                                radio's lead-ins and tails, the player's
//                                driving lines (22,050 Hz)
//   DemoData\Veh\VEHICLES.EXP/EXM the vehicle group (tools/lib/mdlgroup.h)
//   DemoData\Sample\CUBE.P2B     the sample cube model (tools/lib/p2b_sample.h)
//   DemoData\Sample\ARM.P2B      the sample skinned arm
//   DemoData\Misc\SKY.P2B        the sky's sun, moon and stars (tools/lib/skyfile.h)
//   DemoData\Misc\BULLSPRK, BULLPUFF, BULLETS, BULLHOLE, BLOOD, MUZZLEFL,
//                LASRBEAM, RTCDEF, RTCENEMY, RTCPR, RTCPRON, RTCPROFF,
//                DACEGUN1..4, ENEMGUNS (.P2B)
//                                guns, shots and reticles (tools/lib/gunfiles.h)
//   DemoData\Char\NPCDEF, DACEDEF, DACECOMB, DACEGUNS, DACECAR, DACESTL (.ANI)
//   DemoData\Char\NPCSPR, NPCPSTL, NPCMGUN, NPCGUARD, NPCKNGFU, NPCKARAT, NPCBOXER,
//     NPCBRWLR, NPCKNIFE, NPCMCOMB, NPCFCOMB (.ANI), the enemies' groups
//   DemoData\Vags\(the same names).SND
//                                the player's animation groups and their sound
//                                banks (tools/lib/playerfiles.h)
//   DemoData\Misc\BADGE, WEAPONS, SIREN, LITECONE, SHCARTOR (.P2B)
//                                the start-up's other resident models
//                                (tools/lib/miscfiles.h)
//   DemoData\Int\DOJO24\DOJO1.P2B, Char\Demon.P2B, Misc\FIREBALL.P2B
//                                the side games' dojo with its dummies and
//                                mannequin, the demon and the dragon's
//                                fireball (tools/lib/sidegamefiles.h)
//   DemoData\Int\FRANGE24\FRANGE1.P2B, Char\MUTANT.ANI, Vags\MUTANT.SND
//                                the firing range's set-up, the mutant's
//                                animation group and its bank
//   DemoCity\TEST.IDX, TEST.EXP, TEST.MGD, TEST.EXM
//                                the sample city (tools/lib/city.h): cell index,
//                                layout, cells and model archive
//   DemoData\Missions\MISSION1..3.EXM, MISSIONS\MISSION1.EXM
//                                mission placement files for the sample city
//   DemoData\Misc\SKIDSMKE.P2B, ENGFIRE.P2B, SMKPUFF.P2B, SHROOM.P2B,
//                GEYSER.P2B, DUSTPUFF.P2B
//                                the resident particle images (tools/lib/partfiles.h)
//   DemoData\Int\LEVEL2\BAR.P2B, Int\LEVEL3\SPPLRMG7.P2B, Int\INTERIOR.P2B,
//            Int\DRV24\TESTDRV.P2B, Misc\POO.P2B
//                                set-up files of rooms and courses (tools/lib/setupfile.h)
//   DemoData\RCRIMES\GENG101..GENG130.P2B (22 groups)
//                                the random crimes' set-up files and, under
//                                DemoData\Lreschar\, the low-detail characters
//                                the crimes and the police draw (tools/lib/crimesets.h)
//   DemoData\Char\MUTANT.P2B     the mutant's body (tools/lib/sidegamefiles.h)
//   DemoData\Missions\MISION99.EXM, Int\DRV24\COURSE1.P2B
//                                the 24/7 activities' placeholders and the lap
//                                race's course (tools/lib/drivecourse.h)
//   DemoData\Cine\M2\M2_S4.CIN, .VB, Cine\M3\M3_S7.CIN, .VB
//                                two scenes with their sound (tools/lib/cinefile.h)
//   DemoData\DEMTITLE.IPU, DEMOSCR1..3.IPU, DEMOEND1..5.IPU, ZEVWORKS.IPU
//                                still pictures (640 x 448) for the demo flow's
//                                title, loading and closing screens
// under the archive's root directory "KORVALIS", so "KORVALIS\DemoData\..."
// finds each one.  Every byte comes from code: the same build always gives
// the same archive.
#pragma once

#include <ee/types.h>

#include <span>
#include <string>
#include <vector>

#include "tools/lib/pak.h"

namespace tools {

// The archive's root directory and where the archive lies on the disc.
constexpr char kSampleDiscRoot[] = "KORVALIS";
constexpr char kSampleDiscPak[] = "KORVALIS/KORVALIS.PAK";
// The I/O processor's update image the start-up reboots with.  The stand-in
// needs only to find it on the disc; its contents are a placeholder header.
constexpr char kSampleDiscUpdateImage[] = "KORVALIS/IOPRP250.IMG";

// Beside the disc's folder, not read by the game: one line per file, the
// archive's members by path and then the two disc files, each with its
// CRC-32 (as PNG files use it) and size, so two discs compare by their lists.
constexpr char kSampleDiscManifest[] = "MANIFEST.TXT";

// The placeholder update image: the stand-in's image header naming IOPRP250.
std::vector<u8> SampleUpdateImage();

// The manifest's text for the archive's members, the archive and the update
// image.
std::string DiscManifest(const std::vector<PakInputFile>& files, std::span<const u8> archive,
                         std::span<const u8> update);

// Sample rates of the generated sounds: the chime plays at the sound
// processor's own rate, the music at the rate every jukebox song is played at.
constexpr u32 kChimeRate = 48000;
// Sounds of the interface bank SND_UI: the chime first.
constexpr int kInterfaceSamples = 11;
constexpr u32 kMusicRate = 44100;

// The two-note chime: a bell-like strike of E6, then C6 0.3 s later, dying
// away over a second.
std::vector<int16_t> SampleChime();

// The music piece: an eight-second phrase of plucked notes over a pentatonic
// scale, quiet at both ends so that it can be played back to back with itself.
std::vector<int16_t> SampleMusic();
// The demo's piece: the same kind of phrase over another melody.
std::vector<int16_t> SampleDemoMusic();
// The drive-to piece (free driving and the timed drives' first tracks):
// the same kind of phrase, climbing in D.
std::vector<int16_t> SampleDriveToMusic();
// A music piece of the table that the demo's own three do not cover: a
// two-second phrase of its own (eight notes over a held bass note), quiet
// at both ends so that it loops; `piece` is its row in the music table.
std::vector<int16_t> StoryMusic(int piece);

// The voice lines' file names (without ".VB"), in the order they are stored.
std::vector<std::string> SampleVoiceFiles();

// The sample disc's files, paths below the archive's root, in the order
// listed above.  False with a message when a writer refuses its input.
bool SampleDiscFiles(std::vector<PakInputFile>& files, std::string& error);

// The archive of those files.
bool BuildSampleDisc(std::vector<u8>& archive, std::string& error);

// Builds the archive and writes it to dir/KORVALIS/KORVALIS.PAK with the
// update image beside it and the manifest in dir, creating the directories;
// each file is replaced in one step (written beside, then renamed), so an
// interrupted build never leaves half an archive behind.
bool WriteSampleDisc(const std::string& dir, std::string& error);

// The mkdisc command: "mkdisc DIR" writes the sample disc into DIR.  Returns
// the exit status (0 done, 2 bad arguments, 1 a failure, reported on stderr).
int RunMkDisc(std::span<const char* const> args);

}  // namespace tools
