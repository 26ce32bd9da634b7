// Set-up file writer.  A set-up file is a model file whose top-level nodes
// also stand for level entities: a node's extra word is the entity kind and
// its extra2 the offset of the entity's parameter record, which lies in the
// same file after the model data.  Splines that records name lie there too,
// their point count in the first point's w.
//
// Layout: the model file as WriteP2B makes it, then each record in the
// order given, then each spline, every one starting on a 16-byte boundary;
// the padding is zero, so the same description gives the same bytes.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/p2b.h"

namespace tools {

// A record with every byte zero: no volume in use, no spline, no node.
// (Brace-initialising one leaves its volumes' matrices undefined.)
template <class T>
T ZeroRecord()
{
    T r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    return r;
}

struct SetupFile
{
    // A record for node `node`, of kind `kind` (the node's extra is set to
    // it).  Spline references inside are written by SetSpline.
    struct Record
    {
        int node;
        u16 kind;
        std::vector<u8> bytes;
        std::vector<std::pair<int, int>> splineRefs;   // (byte offset in the record, spline number)
    };

    P2BFile file;
    std::vector<Record> records;
    std::vector<std::vector<VectorPos>> splines;

    // Adds a spline of points (w 1.0 but the first, which holds the count);
    // its number.
    int AddSpline(const std::vector<VectorPos>& points);
    // Adds the record of node `node`; its index in records.
    template <class T>
    int AddRecord(int node, u16 kind, const T& rec)
    {
        Record r{node, kind, std::vector<u8>(sizeof(T)), {}};
        std::memcpy(r.bytes.data(), &rec, sizeof(T));
        records.push_back(std::move(r));
        return int(records.size()) - 1;
    }
    // The record's SplineRef at byte offset `at` will hold spline n's offset.
    void SetSpline(int record, int at, int n) { records[size_t(record)].splineRefs.push_back({at, n}); }
    // A placeholder node of kind `kind` at pos turned by ang, among the top
    // level nodes (parent < 0) or under parent; its index.
    int AddPlaceholder(int parent, u16 kind, VectorPos pos = VectorPos(0, 0, 0),
                       VectorXYZ ang = VectorXYZ(0, 0, 0));
};

// Writes the set-up file.  False with a message for a record of a node the
// file does not have, a spline reference outside its record or naming no
// spline, a spline of no points, or as WriteP2B.
bool WriteSetup(const SetupFile& setup, std::vector<u8>& out, std::string& error);


}  // namespace tools

namespace tools {

// A set-up file of the sample disc and its path under "KORVALIS\DemoData\".
struct NamedSetup
{
    std::string path;
    SetupFile setup;
};

// The sample disc's set-up files:
//   Int/LEVEL2/BAR.P2B      the Red Lantern bar, a furnished room (rooms.h):
//                           counter, bottle shelves that break, a stool that
//                           can be knocked about, tables, lamps and its own
//                           lights; three fighter generators, the fight's
//                           combat record, a task start camera, a fixed
//                           camera by the front door and a zone over the
//                           floor that gives the player's camera the fight
//   Int/LEVEL3/SPPLRMG7.P2B the spa's pool room (rooms.h): pool, pillars,
//                           lockers and benches; four shooter generators in
//                           two waves, a wave trigger, two cover walls, four
//                           placed cover points by the pillars and the
//                           shoot-out's fixed camera
//   Int/INTERIOR.P2B        a bare room with a guard and two cover walls,
//                           one standing height, one crouching height
//   Int/DRV24/TESTDRV.P2B   a driving course's ground and its time of day
//   Misc/POO.P2B            a small test prop
std::vector<NamedSetup> SampleSetupFiles();

}  // namespace tools
