#include "core/maps/CalibrationMaps.h"

namespace qx {

namespace {

struct LiveConstants {
    uint16_t address0;
    uint16_t address1;
    double max;
    int32_t maxInternal;
};

// The acceleration rate's internal top is 256 although its byte holds 255.
constexpr LiveConstants kEngineSpeed{0x78, 0x48, 8250.0, 512};
constexpr LiveConstants kAccelerationRate{0x7C, 0x4A, 4080.0, 256};
constexpr LiveConstants kBatteryVoltage{0x45, 0x40, 15.0, 255};

void SetupLive(ModuleValue& live, const LiveConstants& l) {
    live.Setup(l.address0, l.address1, 0.0, 0.0, l.max, 0, l.maxInternal, 0.0);
}

}  // namespace

CylinderOneSparkAdvanceMap::CylinderOneSparkAdvanceMap()
    : ModuleMap(MakeByteMirroredValue, &live_) {
    SetConstants({"Front Cylinder Spark Advance",
                  "Engine Speed",
                  "rpm",
                  "Advance",
                  "deg",
                  16,
                  0xB600,
                  {0, 0},
                  {512, 45},
                  {0.0, 0.0},
                  {8250.0, 45.0},
                  1.0,
                  {7, 6}});
    SetupLive(live_, kEngineSpeed);
}

CylinderTwoSparkAdvanceMap::CylinderTwoSparkAdvanceMap()
    : ModuleMap(MakeByteMirroredValue, &live_) {
    SetConstants({"Rear Cylinder Spark Advance",
                  "Engine Speed",
                  "rpm",
                  "Advance",
                  "deg",
                  16,
                  0xB610,
                  {0, 0},
                  {512, 45},
                  {0.0, 0.0},
                  {8250.0, 45.0},
                  1.0,
                  {7, 6}});
    SetupLive(live_, kEngineSpeed);
}

VOESMap::VOESMap() : ModuleMap(MakeByteValue, &live_) {
    SetConstants({"VOES Retard",
                  "Engine Speed",
                  "rpm",
                  "Retard",
                  "deg",
                  16,
                  0xB620,
                  {0, 0},
                  {512, 20},
                  {0.0, 0.0},
                  {8250.0, 20.0},
                  1.0,
                  {7, 6}});
    SetupLive(live_, kEngineSpeed);
}

AccelerationAdvanceMap::AccelerationAdvanceMap() : ModuleMap(MakeByteValue, &live_) {
    SetConstants({"Acceleration Correction",
                  "Engine Acceleration Rate",
                  "rpm / sec",
                  "Advance",
                  "deg",
                  16,
                  0xB630,
                  {0, 0},
                  {256, 15},
                  {0.0, 0.0},
                  {4080.0, 15.0},
                  1.0,
                  {7, 6}});
    SetupLive(live_, kAccelerationRate);
}

BaseDwellMap::BaseDwellMap() : ModuleMap(MakeByteValue, &live_) {
    SetConstants({"Base Dwell",
                  "Voltage",
                  "volts",
                  "Dwell",
                  "msec",
                  16,
                  0xB640,
                  {0, 0},
                  {16, 255},
                  {0.0, 0.0},
                  {16.0, 15.0},
                  0.5,
                  {9, 6}});
    SetupLive(live_, kBatteryVoltage);
}

AccelerationDwellMap::AccelerationDwellMap() : ModuleMap(MakeByteValue, &live_) {
    SetConstants({"Acceleration Dwell Correction",
                  "Engine Acceleration Rate",
                  "rpm / sec",
                  "Dwell",
                  "msec",
                  16,
                  0xB650,
                  {0, 0},
                  {256, 15},
                  {0.0, 0.0},
                  {4080.0, 15.0},
                  0.5,
                  {7, 6}});
    SetupLive(live_, kAccelerationRate);
}

std::unique_ptr<ModuleMap> MakeMap(int index) {
    switch (index) {
        case 0:
            return std::make_unique<CylinderOneSparkAdvanceMap>();
        case 1:
            return std::make_unique<CylinderTwoSparkAdvanceMap>();
        case 2:
            return std::make_unique<VOESMap>();
        case 3:
            return std::make_unique<AccelerationAdvanceMap>();
        case 4:
            return std::make_unique<BaseDwellMap>();
        case 5:
            return std::make_unique<AccelerationDwellMap>();
        default:
            return nullptr;
    }
}

}  // namespace qx
