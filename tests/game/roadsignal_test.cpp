// Traffic-signal phases of junctions.
#include <gtest/gtest.h>

#include "game/Road.h"

TEST(RoadSignals, PhasesOfEachKindAndGroup)
{
    const u16 first = SIGNAL_FIRSTGROUP;
    // Kind 2: 901 ticks of green, 150 of the first warning, 149 of the
    // second, then the other group's 1200.
    const int kind2[][2] = {{900, 1}, {901, 4}, {1050, 4}, {1051, 8}, {1199, 8}, {1200, 12}, {2399, 12}, {2400, 1}};
    for (const auto& [t, c] : kind2)
        EXPECT_EQ(GetGeneralSignalCommand(first | 2, 0, t), c) << t;
    EXPECT_EQ(GetGeneralSignalCommand(2, 0, 0), 12);
    EXPECT_EQ(GetGeneralSignalCommand(2, 0, 1200), 1);
    // The junction's offset is added to the time.
    EXPECT_EQ(GetGeneralSignalCommand(first | 2, 1000, 51), 8);
    // Kind 0: quarters of 480 ticks.
    EXPECT_EQ(GetGeneralSignalCommand(first | 0, 0, 479), 13);
    EXPECT_EQ(GetGeneralSignalCommand(first | 0, 0, 480), 14);
    EXPECT_EQ(GetGeneralSignalCommand(first | 0, 0, 960), 12);
    EXPECT_EQ(GetGeneralSignalCommand(0, 0, 960), 13);
    EXPECT_EQ(GetGeneralSignalCommand(0, 0, 1440), 14);
    EXPECT_EQ(GetGeneralSignalCommand(0, 0, 1920), 12);
    // Negative times: kind 2's remainder keeps the sign, so both groups stop
    // unless the time is a whole number of cycles; kind 0 truncates toward
    // zero (-479 is quarter 0, -480 quarter -1, that is 3).
    for (int t : {-1, -900, -1199, -1200, -1201, -2399, -2401, -100000})
        for (u16 g : {u16(0), first}) {
            EXPECT_EQ(GetGeneralSignalCommand(g | 2, 0, t), 12) << t;
        }
    EXPECT_EQ(GetGeneralSignalCommand(first | 2, 0, -2400), 1);
    EXPECT_EQ(GetGeneralSignalCommand(first | 0, 0, -479), 13);
    EXPECT_EQ(GetGeneralSignalCommand(first | 0, 0, -480), 12);
    EXPECT_EQ(GetGeneralSignalCommand(0, 0, -480), 14);
    // Kinds 1 and 3.
    EXPECT_EQ(GetGeneralSignalCommand(1, 0, 12345), 1);
    EXPECT_EQ(GetGeneralSignalCommand(first | 3, 0, 7), 1);
    EXPECT_EQ(GetGeneralSignalCommand(3, 0, 7), 15);
}

TEST(RoadSignals, JunctionGroupsBySlot)
{
    // Junction records with three and four slots (kind 3 shows the group).
    alignas(16) u8 bytes[2][JunctionFile::Size(4)] = {};
    RoadSeg segs[5] = {};
    Junction* three = reinterpret_cast<Junction*>(bytes[0]);
    Junction* four = reinterpret_cast<Junction*>(bytes[1]);
    three->nRoadsegs = 3;
    three->u8Flags = 3;
    four->nRoadsegs = 4;
    four->u8Flags = 3;
    for (int k = 0; k < 3; k++)
        three->roadsegs[k] = &segs[k];
    for (int k = 0; k < 4; k++)
        four->roadsegs[k] = &segs[k];
    EXPECT_EQ(three->GetSignalCommand(segs[0], 0), 1);
    EXPECT_EQ(three->GetSignalCommand(segs[1], 0), 1);
    EXPECT_EQ(three->GetSignalCommand(segs[2], 0), 15);
    EXPECT_EQ(four->GetSignalCommand(segs[0], 0), 1);
    EXPECT_EQ(four->GetSignalCommand(segs[1], 0), 15);
    EXPECT_EQ(four->GetSignalCommand(segs[2], 0), 1);
    EXPECT_EQ(four->GetSignalCommand(segs[3], 0), 15);
    // A segment that is not there, and a junction without slots.
    for (int t : {0, 1200, -7})
        EXPECT_EQ(four->GetSignalCommand(segs[4], t), 0);
    four->nRoadsegs = 0;
    EXPECT_EQ(four->GetSignalCommand(segs[0], 0), 0);
    // The offset is the junction's: kind 2, first group, 1000 + 51 ticks.
    four->nRoadsegs = 4;
    four->u8Flags = 2;
    four->u16TimeOffset = 1000;
    EXPECT_EQ(four->GetSignalCommand(segs[2], 51), 8);
    EXPECT_EQ(four->GetSignalCommand(segs[1], 51), 12);
}
