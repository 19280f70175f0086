#include "emulator/EngineModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qx::emu {

namespace {

uint64_t SplitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

uint8_t ClampByte(double value, double max) {
    return static_cast<uint8_t>(std::clamp(value, 0.0, max));
}

}  // namespace

double EngineModel::TopRpm(const Memory& memory) {
    return std::clamp(DecodeRevLimit(memory) - 250.0, kIdleRpm + 500.0, 8000.0);
}

EngineSample EngineModel::At(int64_t timeUs, double topRpm) const {
    const double phase = 2.0 * std::numbers::pi *
                         static_cast<double>(((timeUs % kPeriodUs) + kPeriodUs) % kPeriodUs) /
                         static_cast<double>(kPeriodUs);
    const double half = (topRpm - kIdleRpm) / 2.0;
    const double periodSec = static_cast<double>(kPeriodUs) / 1e6;
    EngineSample sample;
    sample.rpm = kIdleRpm + half * (1.0 - std::cos(phase));
    sample.accelRpmPerSec = half * 2.0 * std::numbers::pi / periodSec * std::sin(phase);
    return sample;
}

double EngineModel::MapAt(const Memory& memory, int map, double x, double xStep) {
    const uint8_t* points = memory.data() + kMapsAddress + map * kMapPoints;
    const double position = std::clamp(x / xStep, 0.0, static_cast<double>(kMapPoints - 1));
    const int index = std::min(static_cast<int>(position), kMapPoints - 2);
    const double fraction = position - index;
    return points[index] + (points[index + 1] - points[index]) * fraction;
}

void EngineModel::Update(Memory& memory, const LiveLayout& layout, int64_t timeUs) const {
    const EngineSample engine = At(timeUs, TopRpm(memory));

    const auto speed = static_cast<uint16_t>(engine.rpm * 512.0 / 8250.0);
    memory[layout.engineSpeed] = static_cast<uint8_t>(speed >> 8);
    memory[layout.engineSpeed + 1] = static_cast<uint8_t>(speed & 0xFF);

    const uint8_t accel = ClampByte(engine.accelRpmPerSec / 16.0, 255.0);
    memory[layout.acceleration] = accel;
    // The peak only grows; the tuning tool starts it again by writing 0.
    memory[layout.peakAcceleration] = std::max(memory[layout.peakAcceleration], accel);

    memory[layout.frontAdvance] = ClampByte(std::round(MapAt(memory, 0, engine.rpm, 550.0)), 45.0);
    memory[layout.rearAdvance] = ClampByte(std::round(MapAt(memory, 1, engine.rpm, 550.0)), 45.0);
    memory[layout.voesRetard] = ClampByte(std::round(MapAt(memory, 2, engine.rpm, 550.0)), 15.0);

    // A little noise, fixed per 100 ms slot so that repeated samples agree.
    const int noise =
        static_cast<int>(SplitMix(randomKey_ ^ static_cast<uint64_t>(timeUs / 100'000)) % 3) - 1;
    const double nominal = std::round(kBatteryVolts * 255.0 / 16.0);
    memory[layout.battery] = static_cast<uint8_t>(nominal + noise);
}

}  // namespace qx::emu
