// The live RAM values: where each firmware keeps them and what they say.
#include <gtest/gtest.h>

#include <algorithm>

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
const Addresses& k20 = kSets[2];

// Advance in degrees at rpm from 16 map bytes spaced 550 rpm apart.
double Lookup(const Bytes& map, double rpm) {
    const double x = std::clamp(rpm / 550.0, 0.0, 15.0);
    const int i = std::min(static_cast<int>(x), 14);
    return map[i] + (map[i + 1] - map[i]) * (x - i);
}

// Monitor packets over one whole sweep (7 s), every packet's image.
std::vector<Bytes> Sweep(Bench& bench, const Addresses& set) {
    bench.Send(MonitorStartRequest(set.blockStart, set.blockCount), 0);
    std::vector<Bytes> images;
    Bytes pending;
    for (int step = 0; step < 70; ++step) {
        const Bytes out = bench.Wait(100'000);
        pending.insert(pending.end(), out.begin(), out.end());
        std::size_t at = 0;
        for (auto frame = ParseFrame(pending); frame; frame = ParseFrame(pending, at)) {
            images.push_back(frame->data);
            at += frame->data.size() + 6;
        }
        pending.erase(pending.begin(), pending.begin() + at);
    }
    bench.Send({0x18, 0x18}, 100'000);
    return images;
}

TEST(EmulatorLive, ValuesSitAtTheAddressesOfEachFirmwareAndFollowTheSweep) {
    for (const Addresses& set : kSets) {
        SCOPED_TRACE(set.firmware);
        Bench bench(EmulatorConfig{.firmware = set.firmware, .randomKey = 3});
        const Bytes front = ReadMemory(bench, 0xB600, 16);
        const Bytes rear = ReadMemory(bench, 0xB610, 16);
        const Bytes voes = ReadMemory(bench, 0xB620, 16);
        const std::vector<Bytes> images = Sweep(bench, set);
        ASSERT_GT(images.size(), 100u);
        double low = 1e9, high = 0, before = 0;
        int rising = 0, falling = 0, maxAccel = 0;
        uint8_t minBattery = 255, maxBattery = 0;
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
            minBattery = std::min(minBattery, at(set.battery));
            maxBattery = std::max(maxBattery, at(set.battery));
            EXPECT_GE(at(set.peak), at(set.accel));
            maxAccel = std::max<int>(maxAccel, at(set.accel));
            if (&image != &images.front() && rpm > before + 20) {
                ++rising;
                EXPECT_GT(at(set.accel), 0) << "speeding up shows an acceleration";
            }
            if (&image != &images.front() && rpm < before - 20) {
                ++falling;
                EXPECT_EQ(at(set.accel), 0) << "the byte holds no negative acceleration";
            }
            before = rpm;
        }
        // From idle to just under the 6144 rpm rev limit and back.
        EXPECT_LT(low, 1100);
        EXPECT_GT(high, 5500);
        EXPECT_LT(high, 6144);
        EXPECT_GT(rising, 20);
        EXPECT_GT(falling, 20);
        // Peak acceleration in rpm/s: 16 per count, plausible for a bench sweep.
        EXPECT_GT(maxAccel * 16, 500);
        EXPECT_LT(maxAccel * 16, 4080);
        EXPECT_NE(minBattery, maxBattery) << "a little noise";
    }
}

TEST(EmulatorLive, WritingZeroResetsThePeakAcceleration) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    // Seen while speeding up, then read again once the engine slows down.
    ReadMemory(bench, 0x40, 14);
    bench.Wait(3'000'000);
    const EngineSample now =
        EngineModel(1).At(bench.now, EngineModel::TopRpm(bench.core.GetMemory()));
    ASSERT_LT(now.accelRpmPerSec, 0) << "the test expects the engine to be slowing here";
    ASSERT_GT(ReadMemory(bench, 0x4B, 1)[0], 0);
    EXPECT_EQ(bench.Send(WriteRequest(0x4B, 0)), (Bytes{0x06}));
    EXPECT_EQ(ReadMemory(bench, 0x4B, 1)[0], 0) << "no acceleration since the reset";
    // Once the engine speeds up again the peak climbs from zero.
    bench.Wait(3'000'000);
    const Bytes after = ReadMemory(bench, 0x4A, 2);  // acceleration, then its peak
    EXPECT_GT(after[1], 0);
    EXPECT_GE(after[1], after[0]);
}

TEST(EmulatorLive, AdvanceAndSweepFollowTheTuneAsWritten) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    for (int i = 0; i < 16; ++i) bench.Send(WriteRequest(static_cast<uint16_t>(0xB600 + i), 40));
    for (int i = 0; i < 16; ++i) bench.Send(WriteRequest(static_cast<uint16_t>(0xB620 + i), 20));
    bench.Send(WriteRequest(0xB662, 0x85));  // rev limit internal -5: 1904 + 128 * 27 = 5360 rpm
    double high = 0;
    for (const Bytes& image : Sweep(bench, k20)) {
        EXPECT_EQ(image[0x42 - 0x40], 40);
        EXPECT_LT(image[0x43 - 0x40], 40) << "the rear map is untouched";
        EXPECT_EQ(image[0x4C - 0x40], 15) << "the retard display holds 15 at most";
        high = std::max(high, Rpm(image, 8));
    }
    EXPECT_LT(high, 5360);
    EXPECT_GT(high, 4800);
}

}  // namespace
}  // namespace qx::emu::test
