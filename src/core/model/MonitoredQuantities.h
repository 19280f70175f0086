#pragma once
// The seven live engine quantities the monitor window and the command-line tool
// can show, in display order (index = bit number in the "Monitors" mask).
#include <array>
#include <cstdint>
#include <memory>

#include "core/model/ModuleValue.h"

namespace qx {

struct MonitoredQuantity {
    const char* label;
    const char* unit;
    bool word;          // two bytes, most significant first; else one byte
    uint16_t address0;  // firmware byte 0x10 or 0xFF
    uint16_t address1;  // any other firmware
    double min;
    double max;
    int32_t minInternal;
    int32_t maxInternal;  // the step is (max - min) / (maxInternal - minInternal)
};

inline constexpr int kMonitoredQuantityCount = 7;
inline constexpr int kPeakAccelerationIndex = 2;

inline constexpr std::array<MonitoredQuantity, kMonitoredQuantityCount> kMonitoredQuantities = {{
    {"Engine Speed", "rpm", true, 0x78, 0x48, 0.0, 8250.0, 0, 512},
    {"Engine Accel.", "rpm / sec", false, 0x7C, 0x4A, 0.0, 4080.0, 0, 255},
    {"Peak Accel.", "rpm / sec", false, 0x7D, 0x4B, 0.0, 4080.0, 0, 255},
    {"Front Cyl. Spark Adv.", "deg", false, 0x4E, 0x42, 0.0, 45.0, 0, 45},
    {"Rear Cyl. Spark Adv.", "deg", false, 0x4F, 0x43, 0.0, 45.0, 0, 45},
    {"Battery Voltage", "volts", false, 0x45, 0x40, 0.0, 16.0, 0, 255},
    {"VOES Retard", "deg", false, 0x5C, 0x4C, 0.0, 15.0, 0, 15},
}};

// A monitored value of quantity index (0 .. 6), set up with initial value 0.
// Null for any other index. The caller owns it.
std::unique_ptr<MonitoredModuleValue> MakeMonitoredValue(int index);

}  // namespace qx
