// The live RAM values: where each firmware keeps them and what they say.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

// The host's reading of the monitored values.
double Rpm(const Bytes& image, int offset) {
    return (image[offset] * 256 + image[offset + 1]) * 8250.0 / 512.0;
}
double Volts(uint8_t raw) {
    return raw * 16.0 / 255.0;
}

struct Addresses {
    uint8_t firmware;
    uint16_t blockStart, blockCount;
    uint16_t speed, accel, peak, front, rear, battery, voes;
};

// Both address sets, as the tuning tool reads them.
const Addresses kSets[] = {
    {0x10, 0x45, 57, 0x78, 0x7C, 0x7D, 0x4E, 0x4F, 0x45, 0x5C},
    {0x11, 0x40, 14, 0x48, 0x4A, 0x4B, 0x42, 0x43, 0x40, 0x4C},
    {0x20, 0x40, 14, 0x48, 0x4A, 0x4B, 0x42, 0x43, 0x40, 0x4C},
};

// Advance in degrees at rpm from 16 map bytes spaced 550 rpm apart.
double Lookup(const Bytes& map, double rpm) {
    const double x = std::clamp(rpm / 550.0, 0.0, 15.0);
    const int i = std::min(static_cast<int>(x), 14);
    return map[i] + (map[i + 1] - map[i]) * (x - i);
}

// Monitor packets over one whole sweep, every packet's image.
std::vector<Bytes> Sweep(Bench& bench, const Addresses& set) {
    bench.Send(MonitorStart(set.blockStart, set.blockCount), 0);
    std::vector<Bytes> images;
    Bytes pending;
    for (int step = 0; step < 70; ++step) {  // 7 s in 100 ms steps
        const Bytes out = bench.Wait(100'000);
        pending.insert(pending.end(), out.begin(), out.end());
        std::size_t at = 0;
        while (auto frame = ParseFrame(pending, at)) {
            images.push_back(frame->data);
            at += frame->data.size() + 6;
        }
        pending.erase(pending.begin(), pending.begin() + at);
    }
    bench.Send({0x18, 0x18}, 100'000);
    return images;
}

TEST(EmulatorLive, ValuesSitAtTheAddressesOfEachFirmware) {
    for (const Addresses& set : kSets) {
        SCOPED_TRACE(set.firmware);
        Bench bench(EmulatorConfig{.firmware = set.firmware});
        const Bytes front = ReadMemory(bench, 0xB600, 16);
        const Bytes rear = ReadMemory(bench, 0xB610, 16);
        const Bytes voes = ReadMemory(bench, 0xB620, 16);
        const std::vector<Bytes> images = Sweep(bench, set);
        ASSERT_GT(images.size(), 100u);
        double low = 1e9, high = 0;
        for (const Bytes& image : images) {
            ASSERT_EQ(image.size(), set.blockCount);
            auto at = [&](uint16_t address) { return image[address - set.blockStart]; };
            const double rpm = Rpm(image, set.speed - set.blockStart);
            low = std::min(low, rpm);
            high = std::max(high, rpm);
            EXPECT_NEAR(at(set.front), Lookup(front, rpm), 1.0);
            EXPECT_NEAR(at(set.rear), Lookup(rear, rpm), 1.0);
            EXPECT_NEAR(at(set.voes), std::min(Lookup(voes, rpm), 15.0), 1.0);
            EXPECT_NEAR(Volts(at(set.battery)), 13.8, 0.15);
            EXPECT_GE(at(set.peak), at(set.accel));
        }
        // From idle to just under the 6144 rpm rev limit and back.
        EXPECT_LT(low, 1100);
        EXPECT_GT(high, 5500);
        EXPECT_LT(high, 6144);
    }
}

TEST(EmulatorLive, AccelerationFollowsTheSweep) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    const std::vector<Bytes> images = Sweep(bench, kSets[2]);
    int rising = 0, falling = 0;
    uint8_t maxAccel = 0;
    for (std::size_t i = 1; i < images.size(); ++i) {
        const double before = Rpm(images[i - 1], 0x48 - 0x40);
        const double now = Rpm(images[i], 0x48 - 0x40);
        const uint8_t accel = images[i][0x4A - 0x40];
        maxAccel = std::max(maxAccel, accel);
        if (now > before + 20) {
            ++rising;
            EXPECT_GT(accel, 0) << "speeding up shows an acceleration";
        }
        if (now < before - 20) {
            ++falling;
            EXPECT_EQ(accel, 0) << "the byte holds no negative acceleration";
        }
    }
    EXPECT_GT(rising, 20);
    EXPECT_GT(falling, 20);
    // Peak acceleration in rpm/s: 16 per count, plausible for a bench sweep.
    EXPECT_GT(maxAccel * 16, 500);
    EXPECT_LT(maxAccel * 16, 4080);
}

TEST(EmulatorLive, WritingZeroResetsThePeakAcceleration) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    // Seen while speeding up, then read again once the engine slows down.
    ReadMemory(bench, 0x40, 14);
    bench.Wait(3'000'000);
    const EngineSample now =
        EngineModel(1).At(bench.now, EngineModel::TopRpm(bench.core.GetMemory()));
    ASSERT_LT(now.accelRpmPerSec, 0) << "the test expects the engine to be slowing here";
    const uint8_t peak = ReadMemory(bench, 0x4B, 1)[0];
    ASSERT_GT(peak, 0);
    EXPECT_EQ(bench.Send(Write(0x4B, 0)), (Bytes{0x06}));
    EXPECT_EQ(ReadMemory(bench, 0x4B, 1)[0], 0) << "no acceleration since the reset";
    // Once the engine speeds up again the peak climbs from zero.
    bench.Wait(3'000'000);
    const Bytes after = ReadMemory(bench, 0x4A, 2);  // acceleration, then its peak
    EXPECT_GT(after[1], 0);
    EXPECT_GE(after[1], after[0]);
}

TEST(EmulatorLive, AdvanceFollowsTheMapsAsWritten) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    for (int i = 0; i < 16; ++i) bench.Send(Write(static_cast<uint16_t>(0xB600 + i), 40));
    for (int i = 0; i < 16; ++i) bench.Send(Write(static_cast<uint16_t>(0xB620 + i), 20));
    for (int i = 0; i < 10; ++i) {
        const Bytes image = ReadMemory(bench, 0x40, 14);
        EXPECT_EQ(image[0x42 - 0x40], 40);
        EXPECT_LT(image[0x43 - 0x40], 40) << "the rear map is untouched";
        EXPECT_EQ(image[0x4C - 0x40], 15) << "the retard display holds 15 at most";
        bench.Wait(300'000);
    }
}

TEST(EmulatorLive, ALowerRevLimitLowersTheSweep) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    bench.Send(Write(0xB662, 0x85));  // internal -5: 1904 + 128 * 27 = 5360 rpm
    double high = 0;
    for (const Bytes& image : Sweep(bench, kSets[2])) high = std::max(high, Rpm(image, 8));
    EXPECT_LT(high, 5360);
    EXPECT_GT(high, 4800);
}

TEST(EmulatorLive, BatteryNoiseIsSmallAndRepeatableForARandomKey) {
    auto batteries = [](uint32_t randomKey) {
        Bench bench(EmulatorConfig{.firmware = 0x20, .randomKey = randomKey});
        Bytes values;
        for (int i = 0; i < 50; ++i) {
            values.push_back(ReadMemory(bench, 0x40, 1)[0]);
            bench.Wait(100'000);
        }
        return values;
    };
    const Bytes a = batteries(3);
    EXPECT_EQ(a, batteries(3));
    EXPECT_NE(*std::min_element(a.begin(), a.end()), *std::max_element(a.begin(), a.end()))
        << "a little noise";
    for (uint8_t raw : a) EXPECT_NEAR(Volts(raw), 13.8, 0.15);
}

}  // namespace
}  // namespace qx::emu::test
