#pragma once
// A running engine as the module's live RAM shows it: the speed sweeps from
// idle to just below the rev limit and back, and every live value is derived
// from the time and the current tune bytes, so it is the same however often
// it is sampled (the peak acceleration alone keeps a memory, in module RAM).
#include <cstdint>

#include "emulator/ModuleMemory.h"

namespace qx::emu {

struct EngineSample {
    double rpm = 0;
    double accelRpmPerSec = 0;  // negative while the engine slows down
};

class EngineModel {
  public:
    static constexpr double kIdleRpm = 1000.0;
    static constexpr int64_t kPeriodUs = 6'000'000;  // idle - top - idle
    static constexpr double kBatteryVolts = 13.8;

    explicit EngineModel(uint32_t randomKey) : randomKey_(randomKey) {}

    // The sweep's top: 250 rpm below the rev limit, kept within sensible bounds.
    static double TopRpm(const Memory& memory);
    EngineSample At(int64_t timeUs, double topRpm) const;

    // Writes the live values for timeUs at the addresses of layout.
    void Update(Memory& memory, const LiveLayout& layout, int64_t timeUs) const;

    // Degrees of a map at x, interpolated between its 16 points spaced xStep apart.
    static double MapAt(const Memory& memory, int map, double x, double xStep);

  private:
    uint32_t randomKey_;
};

}  // namespace qx::emu
