#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/sif/iop_test_util.h"
#include "core/png.h"
#include "host/host.h"
#include "ZevEngine2/PS2/sound_support.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "tools/lib/ipuenc.h"
#include "tools/lib/p2b.h"
#include "tools/lib/pak.h"
#include "tools/lib/sampledisc.h"
#include "tools/lib/samplesound.h"
#include "tools/lib/stillcards.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/IPUBitmap.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Bystander.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/RandCrimesGenerator.h"

namespace {

// The game's own names of the disc's files, as it asks for them.
const char* const kGamePaths[] = {
    "KORVALIS\\DemoData\\Vags\\SND_UI.SND",   "KORVALIS\\DemoData\\Vags\\CITYBUSY.VB",
    "KORVALIS\\DemoData\\Vags\\DRIVETO.VB",
    "KORVALIS\\DemoData\\Sample\\CUBE.P2B",   "KORVALIS\\DemoData\\Sample\\ARM.P2B",
    "KORVALIS\\DemoData\\Misc\\SKY.P2B",
    "KORVALIS\\DemoData\\Misc\\BULLSPRK.P2B", "KORVALIS\\DemoData\\Misc\\BULLPUFF.P2B",
    "KORVALIS\\DemoData\\Misc\\BULLETS.P2B",  "KORVALIS\\DemoData\\Misc\\BULLHOLE.P2B",
    "KORVALIS\\DemoData\\Misc\\BLOOD.P2B",    "KORVALIS\\DemoData\\Misc\\MUZZLEFL.P2B",
    "KORVALIS\\DemoData\\Misc\\LASRBEAM.P2B", "KORVALIS\\DemoData\\Misc\\RTCDEF.P2B",
    "KORVALIS\\DemoData\\Misc\\RTCENEMY.P2B", "KORVALIS\\DemoData\\Misc\\RTCPR.P2B",
    "KORVALIS\\DemoData\\Misc\\RTCPRON.P2B",  "KORVALIS\\DemoData\\Misc\\RTCPROFF.P2B",
    "KORVALIS\\DemoData\\Misc\\DACEGUN1.P2B", "KORVALIS\\DemoData\\Misc\\DACEGUN2.P2B",
    "KORVALIS\\DemoData\\Misc\\DACEGUN3.P2B", "KORVALIS\\DemoData\\Misc\\DACEGUN4.P2B",
    "KORVALIS\\DemoData\\Misc\\ENEMGUNS.P2B",
    "KORVALIS\\DemoData\\Misc\\BADGE.P2B",    "KORVALIS\\DemoData\\Misc\\WEAPONS.P2B",
    "KORVALIS\\DemoData\\Misc\\SIREN.P2B",    "KORVALIS\\DemoData\\Misc\\LITECONE.P2B",
    "KORVALIS\\DemoData\\Misc\\SHCARTOR.P2B",
    "KORVALIS\\DemoData\\Int\\DOJO24\\DOJO1.P2B", "KORVALIS\\DemoData\\Char\\Demon.P2B",
    "KORVALIS\\DemoData\\Misc\\FIREBALL.P2B",   "KORVALIS\\DemoData\\Int\\FRANGE24\\FRANGE1.P2B",
    "KORVALIS\\DemoData\\Char\\MUTANT.ANI", "KORVALIS\\DemoData\\Vags\\MUTANT.SND",
    "KORVALIS\\DemoData\\Char\\MUTANT.P2B",
    "KORVALIS\\DemoData\\Char\\DACE.P2B",       "KORVALIS\\DemoData\\Lreschar\\ASIANPOP.P2B",
    "KORVALIS\\DemoData\\Lreschar\\BUM.P2B",    "KORVALIS\\DemoData\\Lreschar\\BSNSMAN.P2B",
    "KORVALIS\\DemoData\\Lreschar\\GANGSTA.P2B", "KORVALIS\\DemoData\\Lreschar\\GARDDLVR.P2B",
    "KORVALIS\\DemoData\\Lreschar\\GRANDPA.P2B", "KORVALIS\\DemoData\\Lreschar\\HOOKER.P2B",
    "KORVALIS\\DemoData\\Lreschar\\MRKTNGGY.P2B", "KORVALIS\\DemoData\\Lreschar\\UPSCLWMN.P2B",
    "KORVALIS\\DemoData\\Misc\\SKIDSMKE.P2B", "KORVALIS\\DemoData\\Misc\\ENGFIRE.P2B",
    "KORVALIS\\DemoData\\Misc\\SMKPUFF.P2B",  "KORVALIS\\DemoData\\Misc\\SHROOM.P2B",
    "KORVALIS\\DemoData\\Misc\\GEYSER.P2B",   "KORVALIS\\DemoData\\Misc\\DUSTPUFF.P2B",
    "KORVALIS\\DemoData\\Misc\\SPLASH.P2B",   "KORVALIS\\DemoData\\Misc\\EXPLSPPF.P2B",
    "KORVALIS\\DemoData\\Misc\\EXPLMSHR.P2B", "KORVALIS\\DemoData\\Misc\\ATTNGLOW.P2B",
    "KORVALIS\\DemoData\\Misc\\PHONE.P2B",
    "KORVALIS\\DemoData\\Char\\CHR071.P2B",     "KORVALIS\\DemoData\\Char\\ASIANPOP.P2B",
    "KORVALIS\\DemoData\\Char\\CHR086.P2B",     "KORVALIS\\DemoData\\Char\\CHR143.P2B",
    "KORVALIS\\DemoData\\Char\\CHR148.P2B",     "KORVALIS\\DemoData\\Char\\CHR151.P2B",
    "KORVALIS\\DemoData\\Char\\CHR162.P2B",     "KORVALIS\\DemoData\\Char\\CHR083.P2B",
    "KORVALIS\\DemoData\\Char\\CHR156.P2B",
    "KORVALIS\\DemoData\\Char\\NPCDEF.ANI",     "KORVALIS\\DemoData\\Vags\\NPCDEF.SND",
    "KORVALIS\\DemoData\\Char\\NPCSPR.ANI", "KORVALIS\\DemoData\\Vags\\NPCSPR.SND",
    "KORVALIS\\DemoData\\Char\\NPCPSTL.ANI", "KORVALIS\\DemoData\\Vags\\NPCPSTL.SND",
    "KORVALIS\\DemoData\\Char\\NPCMGUN.ANI", "KORVALIS\\DemoData\\Vags\\NPCMGUN.SND",
    "KORVALIS\\DemoData\\Char\\NPCGUARD.ANI", "KORVALIS\\DemoData\\Vags\\NPCGUARD.SND",
    "KORVALIS\\DemoData\\Char\\NPCKNGFU.ANI", "KORVALIS\\DemoData\\Vags\\NPCKNGFU.SND",
    "KORVALIS\\DemoData\\Char\\NPCKARAT.ANI", "KORVALIS\\DemoData\\Vags\\NPCKARAT.SND",
    "KORVALIS\\DemoData\\Char\\NPCBOXER.ANI", "KORVALIS\\DemoData\\Vags\\NPCBOXER.SND",
    "KORVALIS\\DemoData\\Char\\NPCBRWLR.ANI", "KORVALIS\\DemoData\\Vags\\NPCBRWLR.SND",
    "KORVALIS\\DemoData\\Char\\NPCKNIFE.ANI", "KORVALIS\\DemoData\\Vags\\NPCKNIFE.SND",
    "KORVALIS\\DemoData\\Char\\NPCMCOMB.ANI", "KORVALIS\\DemoData\\Vags\\NPCMCOMB.SND",
    "KORVALIS\\DemoData\\Char\\NPCFCOMB.ANI", "KORVALIS\\DemoData\\Vags\\NPCFCOMB.SND",
    "KORVALIS\\DemoData\\Char\\NPCPDEF.ANI", "KORVALIS\\DemoData\\Vags\\NPCPDEF.SND",
    "KORVALIS\\DemoData\\Char\\NPCPFEM.ANI", "KORVALIS\\DemoData\\Vags\\NPCPFEM.SND",
    "KORVALIS\\DemoData\\Char\\NPCPHOBO.ANI", "KORVALIS\\DemoData\\Vags\\NPCPHOBO.SND",
    "KORVALIS\\DemoData\\Char\\NPCPHOM.ANI", "KORVALIS\\DemoData\\Vags\\NPCPHOM.SND",
    "KORVALIS\\DemoData\\Char\\NPCPSEN.ANI", "KORVALIS\\DemoData\\Vags\\NPCPSEN.SND",
    "KORVALIS\\DemoData\\Char\\NPCPSLUT.ANI", "KORVALIS\\DemoData\\Vags\\NPCPSLUT.SND",
    "KORVALIS\\DemoData\\Char\\DACEDEF.ANI",    "KORVALIS\\DemoData\\Vags\\DACEDEF.SND",
    "KORVALIS\\DemoData\\Char\\DACECOMB.ANI",   "KORVALIS\\DemoData\\Vags\\DACECOMB.SND",
    "KORVALIS\\DemoData\\Char\\DACEGUNS.ANI",   "KORVALIS\\DemoData\\Vags\\DACEGUNS.SND",
    "KORVALIS\\DemoData\\Char\\DACECAR.ANI",    "KORVALIS\\DemoData\\Vags\\DACECAR.SND",
    "KORVALIS\\DemoData\\Char\\DACESTL.ANI",    "KORVALIS\\DemoData\\Vags\\DACESTL.SND",
    "KORVALIS\\DemoData\\DEMTITLE.IPU",       "KORVALIS\\DemoData\\DEMOSCR1.IPU",
    "KORVALIS\\DemoData\\DEMOSCR2.IPU",       "KORVALIS\\DemoData\\DEMOSCR3.IPU",
    "KORVALIS\\DemoData\\DEMOEND1.IPU",       "KORVALIS\\DemoData\\DEMOEND2.IPU",
    "KORVALIS\\DemoData\\DEMOEND3.IPU",       "KORVALIS\\DemoData\\DEMOEND4.IPU",
    "KORVALIS\\DemoData\\DEMOEND5.IPU",       "KORVALIS\\DemoData\\ZEVWORKS.IPU",
    "KORVALIS\\DemoCity\\TEST.IDX",           "KORVALIS\\DemoCity\\TEST.EXP",
    "KORVALIS\\DemoCity\\TEST.MGD",           "KORVALIS\\DemoCity\\TEST.EXM",
    "KORVALIS\\DemoData\\Missions\\MISSION1.EXM", "KORVALIS\\DemoData\\Missions\\MISSION2.EXM",
    "KORVALIS\\DemoData\\Missions\\MISSION3.EXM", "KORVALIS\\MISSIONS\\MISSION1.EXM",
    "KORVALIS\\DemoData\\Missions\\MISSION4.EXM", "KORVALIS\\DemoData\\Missions\\MISSION5.EXM",
    "KORVALIS\\DemoData\\Missions\\MISSION6.EXM", "KORVALIS\\DemoData\\Missions\\MISSION7.EXM",
    "KORVALIS\\DemoData\\Missions\\MISSION8.EXM", "KORVALIS\\DemoData\\Missions\\MISSION9.EXM",
    "KORVALIS\\DemoData\\Missions\\MISION10.EXM", "KORVALIS\\DemoData\\Missions\\MISION11.EXM",
    "KORVALIS\\DemoData\\Missions\\MISION12.EXM", "KORVALIS\\DemoData\\Missions\\MISION99.EXM",
    "KORVALIS\\DemoData\\Vags\\DEMO.VB",      "KORVALIS\\DemoData\\Vags\\SND_COMB.SND",
    "KORVALIS\\DemoData\\Vags\\SND_DEST.SND", "KORVALIS\\DemoData\\Vags\\SND_VO.SND",
    "KORVALIS\\DemoData\\Vags\\SND_GUN.SND",  "KORVALIS\\DemoData\\Vags\\SND_CAR.SND",
    "KORVALIS\\DemoData\\Veh\\VEHICLES.EXP",  "KORVALIS\\DemoData\\Veh\\VEHICLES.EXM",
    "KORVALIS\\DemoData\\Vags\\CB_101A.VB",   "KORVALIS\\DemoData\\Vags\\CB_101B.VB",
    "KORVALIS\\DemoData\\Vags\\CB_OP_01.VB",  "KORVALIS\\DemoData\\Vags\\CB_OP_02.VB",
    "KORVALIS\\DemoData\\Vags\\CB_OP_03.VB",  "KORVALIS\\DemoData\\Vags\\CB_OP_04.VB",
    "KORVALIS\\DemoData\\Vags\\CB_GE_01.VB",  "KORVALIS\\DemoData\\Vags\\CB_GE_02.VB",
    "KORVALIS\\DemoData\\Vags\\CB_GE_03.VB",  "KORVALIS\\DemoData\\Vags\\CB_GE_04.VB",
    "KORVALIS\\DemoData\\Vags\\DV145.VB",     "KORVALIS\\DemoData\\Vags\\DV146.VB",
    "KORVALIS\\DemoData\\Vags\\DV147.VB",     "KORVALIS\\DemoData\\Vags\\DV148.VB",
    "KORVALIS\\DemoData\\Vags\\DV149.VB",     "KORVALIS\\DemoData\\Vags\\DV150.VB",
    "KORVALIS\\DemoData\\Vags\\DV151.VB",     "KORVALIS\\DemoData\\Vags\\DV152.VB",
    "KORVALIS\\DemoData\\Vags\\DV153.VB",     "KORVALIS\\DemoData\\Vags\\DV154.VB",
    "KORVALIS\\DemoData\\Vags\\DV155.VB",     "KORVALIS\\DemoData\\Vags\\DV156.VB",
    "KORVALIS\\DemoData\\Vags\\DV157.VB",     "KORVALIS\\DemoData\\Vags\\DV158.VB",
    "KORVALIS\\DemoData\\Vags\\DV159.VB",     "KORVALIS\\DemoData\\Vags\\DV160.VB",
    "KORVALIS\\DemoData\\Vags\\DV161.VB",     "KORVALIS\\DemoData\\Vags\\DV162.VB",
    "KORVALIS\\DemoData\\Vags\\DV163.VB",     "KORVALIS\\DemoData\\Vags\\DV164.VB",
    "KORVALIS\\DemoData\\Vags\\DV165.VB",     "KORVALIS\\DemoData\\Vags\\DV166.VB",
    "KORVALIS\\DemoData\\Vags\\DV167.VB",     "KORVALIS\\DemoData\\Vags\\DV168.VB",
    "KORVALIS\\DemoData\\Vags\\DV169.VB",     "KORVALIS\\DemoData\\Vags\\DV170.VB",
    "KORVALIS\\DemoData\\Vags\\DV171.VB",     "KORVALIS\\DemoData\\Vags\\DV172.VB",
    "KORVALIS\\DemoData\\Vags\\DV173.VB",     "KORVALIS\\DemoData\\Vags\\DV174.VB",
    "KORVALIS\\DemoData\\Vags\\DV175.VB",     "KORVALIS\\DemoData\\Vags\\DV176.VB",
    "KORVALIS\\DemoData\\Vags\\DV177.VB",     "KORVALIS\\DemoData\\Vags\\DV178.VB",
    "KORVALIS\\DemoData\\Vags\\DV179.VB",     "KORVALIS\\DemoData\\Vags\\DV180.VB",
    "KORVALIS\\DemoData\\Vags\\DV181.VB",     "KORVALIS\\DemoData\\Vags\\DV182.VB",
    "KORVALIS\\DemoData\\Vags\\DV183.VB",     "KORVALIS\\DemoData\\Vags\\DV184.VB",
    "KORVALIS\\DemoData\\Vags\\DV185.VB",     "KORVALIS\\DemoData\\Vags\\DV186.VB",
    "KORVALIS\\DemoData\\Vags\\DV187.VB",     "KORVALIS\\DemoData\\Vags\\DV188.VB",
    "KORVALIS\\DemoData\\Vags\\DV189.VB",     "KORVALIS\\DemoData\\Vags\\DV190.VB",
    "KORVALIS\\DemoData\\Vags\\DV191.VB",     "KORVALIS\\DemoData\\Vags\\DV192.VB",
    "KORVALIS\\DemoData\\Vags\\DV193.VB",     "KORVALIS\\DemoData\\Vags\\DV194.VB",
    "KORVALIS\\DemoData\\Vags\\DV195.VB",     "KORVALIS\\DemoData\\Vags\\DV196.VB",
    "KORVALIS\\DemoData\\Vags\\DV197.VB",     "KORVALIS\\DemoData\\Vags\\DV198.VB",
    "KORVALIS\\DemoData\\Vags\\DV199.VB",     "KORVALIS\\DemoData\\Vags\\DV200.VB",
    "KORVALIS\\DemoData\\Vags\\DV201.VB",     "KORVALIS\\DemoData\\Vags\\DV202.VB",
    "KORVALIS\\DemoData\\Vags\\DV203.VB",     "KORVALIS\\DemoData\\Vags\\DV204.VB",
    "KORVALIS\\DemoData\\Vags\\DV205.VB",     "KORVALIS\\DemoData\\Vags\\DV206.VB",
    "KORVALIS\\DemoData\\Vags\\DV207.VB",     "KORVALIS\\DemoData\\Vags\\DV208.VB",
    "KORVALIS\\DemoData\\Vags\\DV209.VB",     "KORVALIS\\DemoData\\Vags\\DV210.VB",
    "KORVALIS\\DemoData\\Vags\\DV211.VB",     "KORVALIS\\DemoData\\Vags\\DV212.VB",
    "KORVALIS\\DemoData\\Vags\\DV213.VB",     "KORVALIS\\DemoData\\Vags\\DV214.VB",
    "KORVALIS\\DemoData\\Vags\\DV215.VB",     "KORVALIS\\DemoData\\Vags\\DV216.VB",
    "KORVALIS\\DemoData\\Vags\\DV217.VB",     "KORVALIS\\DemoData\\Vags\\DV218.VB",
    "KORVALIS\\DemoData\\Vags\\DV219.VB",     "KORVALIS\\DemoData\\Vags\\DV220.VB",
    "KORVALIS\\DemoData\\Vags\\DV221.VB",     "KORVALIS\\DemoData\\Vags\\DV222.VB",
    "KORVALIS\\DemoData\\Vags\\DV223.VB",     "KORVALIS\\DemoData\\Vags\\DV224.VB",
    "KORVALIS\\DemoData\\Vags\\DV225.VB",     "KORVALIS\\DemoData\\Vags\\DV226.VB",
    "KORVALIS\\DemoData\\Vags\\DV227.VB",     "KORVALIS\\DemoData\\Vags\\DV228.VB",
    "KORVALIS\\DemoData\\Vags\\DV229.VB",     "KORVALIS\\DemoData\\Vags\\DV230.VB",
    "KORVALIS\\DemoData\\Vags\\DV231.VB",
    "KORVALIS\\DemoData\\Vags\\DV232.VB",     "KORVALIS\\DemoData\\Vags\\DV233.VB",
    "KORVALIS\\DemoData\\Vags\\DV234.VB",     "KORVALIS\\DemoData\\Vags\\DV235.VB",
    "KORVALIS\\DemoData\\Vags\\DV236.VB",     "KORVALIS\\DemoData\\Vags\\DV237.VB",
    "KORVALIS\\DemoData\\Vags\\DV238.VB",     "KORVALIS\\DemoData\\Vags\\DV239.VB",
    "KORVALIS\\DemoData\\Vags\\DV240.VB",     "KORVALIS\\DemoData\\Vags\\DV241.VB",
    "KORVALIS\\DemoData\\Vags\\DV242.VB",     "KORVALIS\\DemoData\\Vags\\DV243.VB",
    "KORVALIS\\DemoData\\Int\\LEVEL2\\BAR.P2B", "KORVALIS\\DemoData\\Int\\LEVEL3\\SPPLRMG7.P2B",
    "KORVALIS\\DemoData\\Int\\INTERIOR.P2B", "KORVALIS\\DemoData\\Int\\DRV24\\TESTDRV.P2B",
    "KORVALIS\\DemoData\\Int\\DRV24\\COURSE1.P2B",
    "KORVALIS\\DemoData\\Misc\\POO.P2B",
    // The sets the story's episodes 1 and 4 to 7 load.
    "KORVALIS\\DemoData\\Int\\LEVEL1\\FRANGEG2.P2B", "KORVALIS\\DemoData\\Int\\LEVEL1\\FRANGES3.P2B",
    "KORVALIS\\DemoData\\Int\\EOD.P2B", "KORVALIS\\DemoData\\Int\\LEVEL1\\BISTROG5.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL1\\BISTROS6.P2B", "KORVALIS\\DemoData\\Int\\LEVEL1\\MG6A.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL1\\MG6B.P2B", "KORVALIS\\DemoData\\Int\\LEVEL4\\NCLUBOG7.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL4\\AUTOSHG2.P2B", "KORVALIS\\DemoData\\Int\\LEVEL4\\MG5.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL4\\NCLUBG6.P2B", "KORVALIS\\DemoData\\Int\\LEVEL4\\DOJOG8.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL4\\MG9.P2B", "KORVALIS\\DemoData\\Int\\LEVEL5\\DOJOS1B.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL5\\RDHSEG2.P2B", "KORVALIS\\DemoData\\Int\\LEVEL5\\DINERS4.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL5\\BSHOPG5.P2B", "KORVALIS\\DemoData\\Int\\LEVEL5\\BSHOPBG6.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL5\\BFSHOPS7.P2B", "KORVALIS\\DemoData\\Int\\LEVEL5\\RDHSES8.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL6\\HALLG2.P2B", "KORVALIS\\DemoData\\Int\\LEVEL6\\PARLRG3.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL6\\LIBRYG4.P2B", "KORVALIS\\DemoData\\Int\\LEVEL6\\ALTARG5.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL6\\STUDYG6.P2B", "KORVALIS\\DemoData\\Int\\LEVEL6\\CELLRG7.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL6\\SEWERG8.P2B", "KORVALIS\\DemoData\\Int\\LEVEL7\\RDOBARG2.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL7\\MVSTRGG6.P2B", "KORVALIS\\DemoData\\Int\\LEVEL7\\MVSTRGG7.P2B",
    "KORVALIS\\DemoData\\Int\\LEVEL7\\MG8.P2B",
    "KORVALIS\\DemoData\\Cine\\M2\\M2_S4.CIN", "KORVALIS\\DemoData\\Cine\\M2\\M2_S4.VB",
    "KORVALIS\\DemoData\\Cine\\M2\\M2_S5.CIN", "KORVALIS\\DemoData\\Cine\\M2\\M2_S5.VB",
    "KORVALIS\\DemoData\\Cine\\M3\\M3_S7.CIN", "KORVALIS\\DemoData\\Cine\\M3\\M3_S7.VB",
};

const char* const kPictures[] = {"DEMTITLE", "DEMOSCR1", "DEMOSCR2", "DEMOSCR3", "DEMOEND1",
                                 "DEMOEND2", "DEMOEND3", "DEMOEND4", "DEMOEND5", "ZEVWORKS"};

// The disc's files, built once for the tests that only look at them.
const std::vector<tools::PakInputFile>& Files()
{
    static const std::vector<tools::PakInputFile> files = [] {
        std::vector<tools::PakInputFile> f;
        std::string error;
        EXPECT_TRUE(tools::SampleDiscFiles(f, error)) << error;
        return f;
    }();
    return files;
}

const tools::PakInputFile* FileNamed(const std::vector<tools::PakInputFile>& files, const std::string& path)
{
    for (const tools::PakInputFile& f : files)
        if (f.path == path)
            return &f;
    return nullptr;
}

// A copy on the game's heap, 64-byte aligned as the file loader places files.
struct HeapCopy
{
    void* block;
    explicit HeapCopy(const std::vector<u8>& bytes) : block(malloc_align(u32(bytes.size()), 64))
    {
        std::memcpy(block, bytes.data(), bytes.size());
    }
    ~HeapCopy() { free(block); }
};

}  // namespace

TEST(SampleDisc, TwoBuildsGiveTheSameArchiveByteForByte)
{
    // Built twice over the same directory: the same file, nothing left
    // beside it.
    const std::string dir = testing::TempDir() + "sampledisc_twice_" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    struct Cleanup {
        std::string dir;
        ~Cleanup() { std::filesystem::remove_all(dir); }
    } cleanup{dir};
    std::string error;
    std::vector<u8> written[2];
    for (int pass = 0; pass < 2; pass++) {
        ASSERT_TRUE(tools::WriteSampleDisc(dir, error)) << error;
        ASSERT_TRUE(tools::ReadHostFile(dir + "/KORVALIS/KORVALIS.PAK", written[pass], error)) << error;
    }
    EXPECT_FALSE(written[0].empty());
    EXPECT_EQ(written[0], written[1]);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir + "/KORVALIS"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"IOPRP250.IMG", "KORVALIS.PAK"}));
    // The update image carries the stand-in's image header and its name.
    std::vector<u8> update;
    ASSERT_TRUE(tools::ReadHostFile(dir + "/KORVALIS/IOPRP250.IMG", update, error)) << error;
    ASSERT_EQ(update.size(), 64u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(update.data()), 5), "CSIRX");
    EXPECT_EQ(update[8], 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(update.data() + 12), "IOPRP250");
}

// Two runs of the mkdisc program, each a process of its own, into two
// folders: the same bytes, told by their manifests, and each manifest line
// holds the size and CRC-32 of the archive member it names.
TEST(SampleDisc, TwoMkDiscRunsWriteTheSameBytesThatTheirManifestsDescribe)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    const std::filesystem::path mkdisc = std::filesystem::path(self).parent_path().parent_path() / "tools" / "mkdisc";
    const std::string dir = testing::TempDir() + "mkdisc_runs_" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    struct Cleanup {
        std::string dir;
        ~Cleanup() { std::filesystem::remove_all(dir); }
    } cleanup{dir};
    std::string error;
    std::vector<u8> manifest[2], pak[2];
    for (int run = 0; run < 2; run++) {
        const std::string out = dir + "/" + std::to_string(run);
        ASSERT_EQ(std::system((mkdisc.string() + " " + out + " >/dev/null").c_str()), 0);
        ASSERT_TRUE(tools::ReadHostFile(out + "/" + tools::kSampleDiscManifest, manifest[run], error)) << error;
        ASSERT_TRUE(tools::ReadHostFile(out + "/" + tools::kSampleDiscPak, pak[run], error)) << error;
    }
    EXPECT_EQ(std::string(manifest[0].begin(), manifest[0].end()), std::string(manifest[1].begin(), manifest[1].end()));
    EXPECT_TRUE(pak[0] == pak[1]);

    // Every member of the archive is listed with its own size and CRC, then
    // the archive itself.
    std::string root;
    std::vector<tools::PakEntry> entries;
    ASSERT_TRUE(tools::ReadPak(pak[0], "sample disc", root, entries, error)) << error;
    std::map<std::string, std::pair<u32, size_t>> listed;
    std::istringstream lines(std::string(manifest[0].begin(), manifest[0].end()));
    std::string crc, path;
    size_t size;
    // The manifest names files as the game does; the archive stores each name
    // in its look-up form, a long base name cut short.
    while (lines >> crc >> size >> path)
        listed[tools::PakStoredPath(path)] = {u32(std::stoul(crc, nullptr, 16)), size};
    ASSERT_EQ(listed.size(), entries.size() + 2);
    for (const tools::PakEntry& e : entries) {
        const std::span<const u8> bytes(pak[0].data() + size_t(e.start) * 2048, e.length);
        ASSERT_EQ(listed.count(e.path), 1u) << e.path;
        EXPECT_EQ(listed[e.path], std::make_pair(console::Crc32(bytes), size_t(e.length))) << e.path;
    }
    EXPECT_EQ(listed["KORVALIS\\KORVALIS.PAK"], std::make_pair(console::Crc32(pak[0]), pak[0].size()));
}

TEST(SampleDisc, MkDiscRefusesMissingOrExtraArguments)
{
    const char* none[] = {"mkdisc"};
    const char* two[] = {"a", "b"};
    const char* option[] = {"--list"};
    EXPECT_EQ(tools::RunMkDisc(std::span<const char* const>(none, 0)), 2);
    EXPECT_EQ(tools::RunMkDisc(two), 2);
    EXPECT_EQ(tools::RunMkDisc(option), 2);
}

TEST(SampleDisc, ArchiveListsEveryFileUnderTheGamesNames)
{
    std::vector<u8> pak;
    std::string error, root;
    std::vector<tools::PakEntry> entries;
    ASSERT_TRUE(tools::BuildPak(Files(), tools::kSampleDiscRoot, pak, error)) << error;
    ASSERT_TRUE(tools::ReadPak(pak, "sample disc", root, entries, error)) << error;
    EXPECT_EQ(root, "KORVALIS");

    // The stored names are the look-up's upper-case forms of the game's
    // paths, without the archive's own directory.
    std::set<std::string> want, got;
    std::vector<std::string> paths(std::begin(kGamePaths), std::end(kGamePaths));
    // The random crimes' set-up files as their asset lists name them, and
    // the low-detail characters of their groups, the commando and the
    // police call's officers.
    char name[128];
    for (int index = 0; index < RC_NUMINDEXES; index++)
        if (const RandMissParams* r = RandMissRow(index, 0))
            for (const AssetLoadParams* a = r->palp; a->i16MFID >= 0; a++)
                if (a->pFName != nullptr)
                    paths.push_back(a->pFName);
    std::vector<int> cast = {102, 396, 397, 356};
    for (const s16* list : rgpi16CharGroups)
        for (const s16* m = list; *m >= 0; m++)
            cast.push_back(*m);
    for (int id : cast)
        paths.push_back(GetModelFileName(id | 0x100, name));
    // The player's lines of the timed drive and of his death; the
    // pedestrians' banks.
    for (int type : {DaceVO_RaceToStart, DaceVO_RaceToOops, DaceVO_RaceToFinish, DaceVO_RaceToAbort, DaceVO_Death})
        for (int row = DaceVOJukebox::GetTrack(type); row < DaceVOJukebox::GetTrack(type + 1); row++)
            paths.push_back(DaceVOTrax[row].file);
    for (int bank = PedVO_Male_A; bank <= PedVO_Hispanic; bank++)
        for (const char* line : NPCVOSuffixes)
            paths.push_back(std::string("KORVALIS\\DemoData\\NPCVO\\") + NPCVOPrefixes[bank] + line + ".VB");
    for (const std::string& p : paths) {
        std::string s = p.substr(std::strlen("KORVALIS\\"));
        std::transform(s.begin(), s.end(), s.begin(), [](char c) { return char(std::toupper(c)); });
        want.insert(s);
    }
    for (const tools::PakEntry& e : entries) {
        got.insert(e.path);
        EXPECT_GT(e.length, 0u) << e.path;
    }
    // Every file the game names is there under its look-up name (the disc
    // carries more: what the story's rows ask for, which the disc catalogue
    // checks against the script).
    std::vector<std::string> lacking;
    std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::back_inserter(lacking));
    EXPECT_TRUE(lacking.empty()) << lacking.size() << " lacking, the first " << lacking.front();
    EXPECT_EQ(got.size(), entries.size());   // no name stored twice
}

TEST(SampleDisc, ModelsPassTheLoadersCheckAndBuildTheCube)
{
    const std::vector<tools::PakInputFile>& files = Files();
    for (const char* path : {"DemoData/Sample/CUBE.P2B", "DemoData/Sample/ARM.P2B"}) {
        const tools::PakInputFile* f = FileNamed(files, path);
        ASSERT_NE(f, nullptr) << path;
        HeapCopy copy(f->data);
        char why[256] = "";
        EXPECT_TRUE(MDLFILE::Check(static_cast<const ModelHeader*>(copy.block), u32(f->data.size()), why))
            << path << ": " << why;
        // The same length of zeros: a directory of no blocks over a model's bytes.
        HeapCopy zeros(std::vector<u8>(f->data.size(), 0));
        EXPECT_FALSE(MDLFILE::Check(static_cast<const ModelHeader*>(zeros.block), u32(f->data.size()), why)) << path;
        EXPECT_NE(std::string(why).find("block directory names no data"), std::string::npos) << why;
    }

    // The cube becomes an object with geometry, lit by its own light node.
    const tools::PakInputFile* cube = FileNamed(files, "DemoData/Sample/CUBE.P2B");
    ASSERT_NE(cube, nullptr);
    HeapCopy copy(cube->data);
    MDLFILE mf{};
    mf.SetBuffer(copy.block);
    ASSERT_TRUE(mf.Init(u32(cube->data.size())));
    Object* obj = mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(obj, nullptr);
    EXPECT_NE(obj->geom, nullptr);
    int lights = 0;
    ObjectHierarchyIterator it(obj);
    for (Object* o = it.Next(); o != nullptr; o = it.Next())
        lights += o->type == OBJT_LIGHT;
    EXPECT_EQ(lights, 1);
    obj->Delete();
}

// A frame begins with the depth test always passing, so every material of
// every model on the disc sets its own before its vertices: opaque ones the
// scene's test (on, greater or equal), translucent ones the same without
// writing depth.  Read from the files' bytes as the loader finds them.
TEST(SampleDisc, EveryModelMaterialSetsItsDepthTest)
{
    auto u16At = [](const std::vector<u8>& b, size_t at) { return u16(b[at] | b[at + 1] << 8); };
    auto u32At = [](const std::vector<u8>& b, size_t at) {
        u32 v;
        std::memcpy(&v, &b[at], 4);
        return v;
    };
    int files = 0, materials = 0;
    for (const tools::PakInputFile& f : Files()) {
        if (f.path.size() < 4 || f.path.compare(f.path.size() - 4, 4, ".P2B") != 0)
            continue;
        ++files;
        const std::vector<u8>& b = f.data;
        const u32 blocks = u32At(b, 0);
        for (u32 k = 0; k < blocks; k++) {
            const size_t d = 4 + 8 * k;
            if (u16At(b, d) != EX5_BLOCK_MODEL)
                continue;
            const u32 table = u32At(b, d + 4), count = u16At(b, d + 2);
            for (u32 m = 0; m < count; m++) {
                const size_t model = table + u32At(b, table + 4 * m);
                const int nOpaque = b[model + offsetof(MODEL, nOpaque)];
                const int n = nOpaque + b[model + offsetof(MODEL, nTranslucent)];
                for (int i = 0; i < n; i++) {
                    const size_t mt = model + sizeof(MODEL) + sizeof(MATERIAL) * size_t(i);
                    std::vector<u128> callList(u16At(b, mt + offsetof(MATERIAL, callListNumQw)));
                    std::memcpy(callList.data(), &b[u32At(b, mt + offsetof(MATERIAL, callList))], 16 * callList.size());
                    const std::optional<u64> test = tools::RegisterIn(callList, GS_TEST_1);
                    ASSERT_TRUE(test.has_value()) << f.path << " model " << m << " material " << i;
                    EXPECT_EQ(*test, i < nOpaque ? 0x50000u : 0x51001u) << f.path << " model " << m << " material " << i;
                    ++materials;
                }
            }
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_GT(materials, 500);
}

TEST(SampleDisc, PicturesAreDistinctStillsOfTheLoadingScreensSize)
{
    const std::vector<tools::PakInputFile>& files = Files();
    std::vector<tools::IpuImage> decoded;
    for (const char* name : kPictures) {
        const std::string path = std::string("DemoData/") + name + ".IPU";
        const tools::PakInputFile* f = FileNamed(files, path);
        ASSERT_NE(f, nullptr) << path;
        ASSERT_GE(f->data.size(), sizeof(IPUBitmap));
        const IPUBitmap* bm = reinterpret_cast<const IPUBitmap*>(f->data.data());
        EXPECT_TRUE(bm->Check("sample disc", u32(f->data.size()))) << path;
        EXPECT_EQ(bm->Width(), 640) << path;
        EXPECT_EQ(bm->Height(), 512) << path;   // the whole frame, under the texts
        EXPECT_EQ(bm->NumFrames(), 1) << path;
        EXPECT_EQ(f->data.size() % 16, 0u) << path;   // sent to the decoder in whole quadwords

        tools::IpuImage img;
        std::string error;
        ASSERT_TRUE(tools::DecodeIpu(f->data, img, error)) << path << ": " << error;
        decoded.push_back(img);
    }
    // No two screens show the same picture.
    for (size_t i = 0; i < decoded.size(); i++)
        for (size_t j = i + 1; j < decoded.size(); j++)
            EXPECT_LT(tools::IpuPsnr(decoded[i], decoded[j]), 30.0) << kPictures[i] << " " << kPictures[j];
}

// The title picture is linked into the program from generated source: it
// must be what the encoder makes of the generated title now.
TEST(SampleDisc, TitleInTheProgramIsTheEncodedGeneratedTitle)
{
    std::vector<u8> want;
    std::string error;
    ASSERT_TRUE(tools::EncodeIpu(tools::SamplePicture("title", 640, 512), tools::IpuEncodeOptions{}, want, error))
        << error;
    const IPUBitmap* title = reinterpret_cast<const IPUBitmap*>(Title);
    ASSERT_TRUE(title->Check("title", TitleSize));
    EXPECT_EQ(TitleSize, want.size());
    EXPECT_EQ(title->Width(), 640);
    EXPECT_EQ(title->Height(), 512);
    ASSERT_EQ(sizeof(IPUBitmap) + title->length, want.size());
    EXPECT_EQ(std::memcmp(Title, want.data(), want.size()), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Title) % 16, 0u);   // the decoder reads it by DMA
}

// The loading screen's picture: one 640 x 448 picture stored row by row
// (flags 0), the encoder's loading picture, which decodes back to that size.
TEST(SampleDisc, LoadingPictureInTheProgramDecodesTo640By448)
{
    const IPUBitmap* pic = reinterpret_cast<const IPUBitmap*>(LoadScrn);
    ASSERT_TRUE(pic->Check("loading screen", LoadScrnSize));
    EXPECT_EQ(pic->Width(), 640);
    EXPECT_EQ(pic->Height(), 448);
    EXPECT_EQ(pic->NumFrames(), 1);
    EXPECT_EQ(LoadScrn[sizeof(IPUBitmap)], 0);   // the flags byte
    EXPECT_EQ(reinterpret_cast<uintptr_t>(LoadScrn) % 16, 0u);

    const tools::IpuImage want = tools::SamplePicture("loading", 640, 448);
    std::vector<u8> encoded;
    std::string error;
    ASSERT_TRUE(tools::EncodeIpu(want, tools::IpuEncodeOptions{}, encoded, error)) << error;
    ASSERT_EQ(sizeof(IPUBitmap) + pic->length, encoded.size());
    EXPECT_EQ(std::memcmp(LoadScrn, encoded.data(), encoded.size()), 0);

    tools::IpuImage got;
    ASSERT_TRUE(tools::DecodeIpu(std::span<const u8>(LoadScrn, encoded.size()), got, error)) << error;
    EXPECT_EQ(got.width, 640);
    EXPECT_EQ(got.height, 448);
    EXPECT_GE(tools::IpuPsnr(want, got), 35.0);
    // Not the title's picture.
    EXPECT_LT(tools::IpuPsnr(tools::SamplePicture("title", 640, 448), got), 30.0);
}

TEST(SampleDisc, MusicIsUnmarkedStreamDataOfTheGeneratedPiece)
{
    const std::vector<tools::PakInputFile>& files = Files();
    const tools::PakInputFile* vb = FileNamed(files, "DemoData/Vags/CITYBUSY.VB");
    ASSERT_NE(vb, nullptr);
    const std::vector<int16_t> music = tools::SampleMusic();
    const size_t blocks = (music.size() + 27) / 28;
    ASSERT_EQ(vb->data.size(), blocks * 16);
    // The streaming module writes the loop markers into the ring buffer; the
    // file itself carries none that could stop or loop the voice.
    for (size_t b = 0; b < blocks; b++)
        ASSERT_EQ(vb->data[b * 16 + 1], 0) << "block " << b;

    // It decodes to the piece: eight seconds at the music rate, close to the
    // samples it was made from.
    EXPECT_EQ(music.size(), size_t(8 * tools::kMusicRate));
    std::vector<int16_t> out(blocks * 28);
    console::spu2::DecodeAdpcm(vb->data, out.data());
    double signal = 0, noise = 0;
    for (size_t i = 0; i < music.size(); i++) {
        signal += double(music[i]) * music[i];
        noise += (double(out[i]) - music[i]) * (double(out[i]) - music[i]);
    }
    EXPECT_GT(signal, 0.0);
    EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 20.0);
}

// ---------------------------------------------------------------------------
// The disc in the machine: the streaming module reads the archive, the
// game's loaders take each file.

namespace {

constexpr u32 kFieldCycles = 2949120;  // one PAL field

class CaptureSink final : public console::host::AudioSink {
public:
    void Write(const int16_t* stereo, size_t frames) override
    {
        samples.insert(samples.end(), stereo, stereo + 2 * frames);
    }
    std::vector<int16_t> samples;
};

class SampleDiscMachine : public streamtest::StreamerTest {
protected:
    void SetUp() override
    {
        StreamerTest::SetUp();
        console::host::Backend backend;
        backend.audio = &sink_;
        console::host::SetBackend(backend);
        ASSERT_GT(iop_test::LoadIrx(libsd, 28573), 0);
        StartWith(Files());
    }
    void TearDown() override
    {
        sound = SoundSystem(98304, 4, true);
        console::host::SetBackend(console::host::Backend{});
        StreamerTest::TearDown();
    }

    // The left channel of n output samples from `from`.
    std::vector<double> Left(size_t from, size_t n) const
    {
        std::vector<double> out;
        for (size_t i = from; i < from + n && 2 * i < sink_.samples.size(); i++)
            out.push_back(sink_.samples[2 * i]);
        return out;
    }

    CaptureSink sink_;
};

}  // namespace

TEST_F(SampleDiscMachine, EveryFileLoadsThroughTheStreamerByTheGamesPath)
{
    const std::vector<tools::PakInputFile>& files = Files();
    for (const char* path : kGamePaths) {
        unsigned len = 0;
        void* block = FileLoad(path, &len);
        ASSERT_NE(block, nullptr) << path;
        const std::string name = std::string(path).substr(std::strlen("KORVALIS\\"));
        std::string key = name;
        std::replace(key.begin(), key.end(), '\\', '/');
        const tools::PakInputFile* f = FileNamed(files, key);
        ASSERT_NE(f, nullptr) << key;
        ASSERT_EQ(len, f->data.size()) << path;
        EXPECT_EQ(std::memcmp(block, f->data.data(), len), 0) << path;
        if (name.ends_with(".P2B")) {
            MDLFILE mf{};
            mf.SetBuffer(block);
            EXPECT_TRUE(mf.Init(len)) << path;
        } else if (name.ends_with(".IPU")) {
            EXPECT_TRUE(static_cast<IPUBitmap*>(block)->Check("sample disc", u32(len))) << path;
        }
        free(block);
    }
}

TEST_F(SampleDiscMachine, InterfaceBankLoadsAndItsChimeStrikesE6ThenC6)
{
    sound = SoundSystem(98304, 4, true);
    ASSERT_EQ(SoundInit(), 1);
    const u16 bank = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_UI.SND", true);
    ASSERT_NE(bank, 0xFFFF);
    EXPECT_EQ(sound.GetNumBanksLoaded(), 5);   // after the four pre-made stream banks

    const int c = sound.AllocChannel(false);
    sound.Play(c, bank, 0);
    const size_t update = size_t(console::Now() / console::kSpuSample);
    // 1.5 s of frames: the chime is 1.2 s long.
    for (int frame = 0; frame < 75; frame++) {
        sound.Update(1, Matrix(true));
        for (int i = 0; i < 20; i++)
            ee_spin(kFieldCycles / 20);
    }
    console::spu2::FlushAudio();
    size_t start = update;
    while (2 * start < sink_.samples.size() && sink_.samples[2 * start] == 0)
        start++;
    ASSERT_LT(start - update, 96u) << "the chime did not start";

    // 0.1 s windows (bin k is k x 10 Hz): E6 (1318.5 Hz) alone at first, at
    // about its struck amplitude of 7000 (decayed by a third at most), C6
    // (1046.5 Hz) on top once it has been struck 0.3 s in.
    const std::vector<double> first = Left(start + 480, 4800);
    const std::vector<double> later = Left(start + 21600, 4800);
    ASSERT_EQ(first.size(), 4800u);
    ASSERT_EQ(later.size(), 4800u);
    EXPECT_GT(soundtest::Amplitude(first, 132), 3500.0);
    EXPECT_LT(soundtest::Amplitude(first, 105), soundtest::Amplitude(first, 132) / 5);
    EXPECT_GT(soundtest::Amplitude(later, 105), soundtest::Amplitude(later, 132));

    // Played once: silence after its 1.2 seconds.
    double tail = 0;
    for (double v : Left(start + 57600 + 96, 2400))
        tail = std::max(tail, std::abs(v));
    EXPECT_EQ(tail, 0.0);
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS);
}

TEST(SampleDisc, EffectBanksHoldTheirCountsAndTheWhizFalls)
{
    const std::vector<tools::PakInputFile>& files = Files();
    for (const tools::EffectBank& b : tools::kEffectBanks) {
        const tools::PakInputFile* f = FileNamed(files, std::string("DemoData/Vags/") + b.file);
        ASSERT_NE(f, nullptr) << b.file;
        ASSERT_GE(f->data.size(), sizeof(SOUNDFILE));
        const SOUNDFILE* head = reinterpret_cast<const SOUNDFILE*>(f->data.data());
        EXPECT_EQ(head->nSamples, b.samples) << b.file;
    }
    // The whiz falls: more zero crossings in its first quarter than in its
    // last.
    const std::vector<int16_t> whiz = tools::SampleWhiz();
    auto crossings = [&](size_t from, size_t to) {
        int n = 0;
        for (size_t i = from + 1; i < to; i++)
            n += (whiz[i - 1] < 0) != (whiz[i] < 0);
        return n;
    };
    const size_t q = whiz.size() / 4;
    EXPECT_GT(crossings(0, q), 2 * crossings(3 * q, 4 * q));
    // Each voice line differs from the others.
    const std::vector<int16_t> a = tools::SampleVoiceLine(0), b = tools::SampleVoiceLine(1);
    EXPECT_NE(a, b);
}

namespace {

// Zero crossings a second over a stretch of a sound: how high it sounds.
double CrossingRate(const std::vector<int16_t>& s, size_t from, size_t to)
{
    int n = 0;
    to = std::min(to, s.size());
    for (size_t i = from + 1; i < to; i++)
        n += (s[i - 1] < 0) != (s[i] < 0);
    return to > from ? n * double(tools::kEffectRate) / double(to - from) : 0.0;
}

int PeakOf(const std::vector<int16_t>& s)
{
    int peak = 0;
    for (int16_t v : s)
        peak = std::max(peak, std::abs(int(v)));
    return peak;
}

}  // namespace

// The gun bank is what the bank file holds at every index the guns and
// bullets play, and each kind of sound is told apart by ear: ricochets fall
// in pitch, a bullet into something soft sounds lower than one into a wall,
// a case's clink is high and quiet beside a shot, the shotgun is longer and
// lower than an automatic.
TEST(SampleDisc, GunBankSoundsFitWhatTheGunsPlay)
{
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15, 16, 17, 19, 20, 21, 22}) {
        EXPECT_EQ(tools::SampleEffect(tools::kGunBank, i), tools::SampleGunSound(i)) << i;
        EXPECT_FALSE(tools::SampleGunSound(i).empty()) << i;
    }
    EXPECT_EQ(std::string(tools::kEffectBanks[tools::kGunBank].file), "SND_GUN.SND");
    EXPECT_GE(tools::kEffectBanks[tools::kGunBank].samples, 23);

    for (int i = 0; i < 4; i++) {
        const std::vector<int16_t> r = tools::SampleGunSound(i);
        const size_t q = r.size() / 4;
        EXPECT_GT(CrossingRate(r, q / 2, q), 1.5 * CrossingRate(r, 3 * q, 4 * q)) << "ricochet " << i;
    }
    const std::vector<int16_t> soft = tools::SampleGunSound(4), hard = tools::SampleGunSound(5);
    EXPECT_LT(2 * CrossingRate(soft, 0, soft.size()), CrossingRate(hard, 0, hard.size()));

    const std::vector<int16_t> pistol = tools::SampleGunSound(6), clink = tools::SampleGunSound(19);
    EXPECT_GT(CrossingRate(clink, 0, clink.size() / 3), 4000.0);
    EXPECT_LT(2 * PeakOf(clink), PeakOf(pistol));
    EXPECT_GT(PeakOf(pistol), 10000);

    const std::vector<int16_t> automatic = tools::SampleGunSound(12), shotgun = tools::SampleGunSound(16);
    EXPECT_GT(shotgun.size(), 2 * automatic.size());
    EXPECT_LT(CrossingRate(shotgun, 0, shotgun.size()), CrossingRate(automatic, 0, automatic.size()));
    EXPECT_NE(tools::SampleGunSound(6), tools::SampleGunSound(7));   // each pistol its own
    EXPECT_TRUE(tools::SampleGunSound(10).empty());                // no gun plays 10
}

// The interface bank: the chime, then the menus' and the film look's
// sounds, each one of its own.
TEST(SampleDisc, InterfaceBankHoldsTheMenuAndProjectorSounds)
{
    const tools::PakInputFile* f = FileNamed(Files(), "DemoData/Vags/SND_UI.SND");
    ASSERT_NE(f, nullptr);
    ASSERT_GE(f->data.size(), sizeof(SOUNDFILE));
    EXPECT_EQ(reinterpret_cast<const SOUNDFILE*>(f->data.data())->nSamples, 11u);
    for (int a : {1, 2, 3, 7, 8, 9, 10}) {
        const std::vector<int16_t> s = tools::SampleInterface(a);
        EXPECT_GT(*std::max_element(s.begin(), s.end()), 1000) << a;
        for (int b : {1, 2, 3, 7, 8, 9, 10})
            if (a < b)
                EXPECT_NE(s, tools::SampleInterface(b)) << a << " " << b;
    }
}

// The disc's still cards are composed the same way every time; the
// briefing shows the route in red on the street map, the title card the
// city's dark skyline along its bottom.
TEST(SampleDisc, StillCardsAreComposedAlikeEachTime)
{
    const tools::IpuImage a = tools::DiscStill("DEMOSCR1", 640, 448), b = tools::DiscStill("DEMOSCR1", 640, 448);
    EXPECT_EQ(a.rgba, b.rgba);
    int red = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        red += a.rgba[i] > 150 && a.rgba[i + 1] < 60 && a.rgba[i + 2] < 60;
    EXPECT_GT(red, 1000);
    const tools::IpuImage title = tools::DiscStill("DEMTITLE", 640, 448);
    int dark = 0;
    for (size_t x = 0; x < 640; x++) {
        const u8* p = &title.rgba[(size_t(440) * 640 + x) * 4];
        dark += p[0] < 40 && p[1] < 40 && p[2] < 40;
    }
    EXPECT_EQ(dark, 640);
}
