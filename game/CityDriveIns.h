// City places the player drives or walks into: the gas station that repairs
// the car for points, the impound lot that starts its side mission, and the
// 24/7 activity spots that put up their entry markers.
#pragma once

#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"

class Vehicle;
class Camera;

// Sub-objects of a drive-in.
constexpr int DRIVEIN_TRIGGER_ID = 100;
constexpr int DRIVEIN_MARKER_ID = 101;
constexpr int MARKER_MODEL_SLOT = 144;

// What the gas station and the impound lot share: the car they hold, the
// fixed camera of the scene and the camera it replaced.
class DriveIn : public Object
{
public:
    Vehicle* pvehCurrent;
    Camera* pcamNew;
    Camera* pcamSaved;

    // One frame of steering the car onto m within the tolerances; true when
    // it is there.
    bool Align(const Matrix& m, float headingTol, float distTol);
    Object* AttachTargetIndicator();
    // With effect the marker vanishes with it, else it goes at once; false
    // when there is none.
    bool RemoveTargetIndicator(bool effect);
    // The car handed over: steered by the place, no collision, no frame calls.
    void TakeCar(Vehicle* car);
    // The scene's fixed camera made current (the old one kept).
    void StartCamera();
    // The trigger box, null when the place has none.
    Object* Trigger() { return FindSubObject(DRIVEIN_TRIGGER_ID); }
    // The world matrix of node `node`, false when the model has none.
    bool NodeMatrix(int node, Matrix& m);
    // OM_INIT of a real place: the trigger box and its marker.
    void SetUp(int newId);
};

class GasStation : public DriveIn
{
public:
    float ComputeRepairAmount(Vehicle* v);
    bool AlignVehicleToMatrix(Matrix& m);
    Object* AttachTargetIndicator() { return DriveIn::AttachTargetIndicator(); }
    bool DeleteTargetIndicator(bool effect) { return RemoveTargetIndicator(effect); }
    int mh(OBJMESSAGE msg, void* data);
};
int GasStation_mh(Object* obj, OBJMESSAGE msg, void* data);

class ImpoundLot : public DriveIn
{
public:
    bool AlignVehicleToMatrix(Matrix& m);
    Object* AttachTargetIndicator() { return DriveIn::AttachTargetIndicator(); }
    bool DeleteTargetIndicator() { return RemoveTargetIndicator(true); }
    void TransitionToMission(Matrix& m);
    int mh(OBJMESSAGE msg, void* data);
};
int ImpoundLot_mh(Object* obj, OBJMESSAGE msg, void* data);

// The 24/7 spots: each puts up its activity's entry marker once the player
// is away from it.
class Spot247 : public Object
{
public:
    RCptr<Object> rcoTarget;

    int mh(OBJMESSAGE msg, void* data, int kind);
    Object* CreateTargetObj(int kind);
};

class Dojo247 : public Spot247
{
public:
    Object* CreateTargetObj() { return Spot247::CreateTargetObj(268); }
};
class FRange247 : public Spot247
{
public:
    Object* CreateTargetObj() { return Spot247::CreateTargetObj(267); }
};
class Race247 : public Spot247
{
public:
    Object* CreateTargetObj() { return Spot247::CreateTargetObj(266); }
};
int Dojo247_mh(Object* obj, OBJMESSAGE msg, void* data);
int FRange247_mh(Object* obj, OBJMESSAGE msg, void* data);
int Race247_mh(Object* obj, OBJMESSAGE msg, void* data);
