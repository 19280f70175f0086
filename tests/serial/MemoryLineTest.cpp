// The in-memory line on a virtual clock: time moves only through the line's
// waits, so every expectation on the clock is exact.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "host/Clock.h"
#include "serial/MemoryLine.h"

namespace qx::serial {
namespace {

using Bytes = std::vector<uint8_t>;

class MemoryLineTest : public ::testing::Test {
  protected:
    int64_t Elapsed() { return clock_.NowMs() - start_; }

    VirtualClock clock_;
    int64_t start_ = clock_.NowMs();
    ScriptedDevice device_;
    MemoryLine line_{clock_, &device_};
};

TEST_F(MemoryLineTest, SilentLineTimesOutByMovingTheClockExactly) {
    EXPECT_EQ(line_.ReadByte(200), kReadTimeout);
    EXPECT_EQ(Elapsed(), 200);
    // The link's default: one read and five retries of 200 ms.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(line_.ReadByte(200), kReadTimeout);
    EXPECT_EQ(Elapsed(), 1200);

    EXPECT_EQ(line_.WaitForBytes(1, 200), WaitOutcome::Timeout);
    EXPECT_EQ(Elapsed(), 1400);
    uint8_t buffer[4];
    EXPECT_EQ(line_.GetBuffer(buffer, 4, 150), 0u);
    EXPECT_EQ(Elapsed(), 1550);
    EXPECT_EQ(line_.ReadByte(0), kReadTimeout);
    EXPECT_EQ(line_.ReadByte(-5), kReadTimeout);
    EXPECT_EQ(Elapsed(), 1550);
    EXPECT_EQ(line_.WaitForBytes(0, 100), WaitOutcome::Ready);
    EXPECT_EQ(Elapsed(), 1550);
}

TEST_F(MemoryLineTest, WaitsEndWhenTheDeviceSends) {
    device_.SendAt(start_ + 50, {0x42});
    EXPECT_EQ(line_.ReadByte(200), 0x42);
    EXPECT_EQ(Elapsed(), 50);

    // Three bytes in two pieces: the wait ends with the last of them.
    device_.SendAt(start_ + 100, {1});
    device_.SendAt(start_ + 300, {2, 3});
    EXPECT_EQ(line_.WaitForBytes(3, 500), WaitOutcome::Ready);
    EXPECT_EQ(Elapsed(), 300);
    EXPECT_EQ(line_.RXCount(), 3u);

    // A piece after the deadline is not waited for, and arrives later.
    device_.SendAt(start_ + 600, {4});
    uint8_t buffer[8] = {};
    EXPECT_EQ(line_.GetBuffer(buffer, 8, 200), 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(Elapsed(), 500);
    EXPECT_EQ(line_.ReadByte(200), 4);
    EXPECT_EQ(Elapsed(), 600);
}

TEST_F(MemoryLineTest, ScriptedDeviceAnswersRequests) {
    const Bytes identify = {0x02, 0x01, 0x00, 0x80, 0x81, 0x03};
    const Bytes answer = {0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03};
    device_.Expect({0x18}, {});
    device_.Expect(identify, answer, 5);

    ASSERT_EQ(line_.WriteByte(0x18), 0);
    for (uint8_t b : identify) ASSERT_EQ(line_.WriteByte(b), 0);
    EXPECT_EQ(line_.RXCount(), 0u);  // the answer is not due yet
    EXPECT_EQ(line_.ReadByte(200), 0x02);
    EXPECT_EQ(Elapsed(), 5);
    uint8_t rest[6];
    EXPECT_EQ(line_.GetBuffer(rest, 6, 0), 6u);
    EXPECT_EQ(Bytes(rest, rest + 6), Bytes(answer.begin() + 1, answer.end()));

    Bytes all = {0x18};
    all.insert(all.end(), identify.begin(), identify.end());
    EXPECT_EQ(line_.Written(), all);
    EXPECT_EQ(line_.BytesWritten(), all.size());
    EXPECT_EQ(device_.Received(), all);
    EXPECT_EQ(device_.PendingRules(), 0u);
    EXPECT_EQ(device_.UnexpectedBytes(), 0u);

    // Nothing more is scripted: a further byte is noted, nothing answers.
    ASSERT_EQ(line_.WriteByte(0x55), 0);
    EXPECT_EQ(device_.UnexpectedBytes(), 1u);
    EXPECT_EQ(line_.ReadByte(200), kReadTimeout);
    line_.ClearWritten();
    EXPECT_TRUE(line_.Written().empty());
}

TEST_F(MemoryLineTest, WrongRequestGetsNoAnswer) {
    device_.Expect({0x02, 0x01}, {0x06});
    ASSERT_EQ(line_.WriteByte(0x02), 0);
    ASSERT_EQ(line_.WriteByte(0x07), 0);
    EXPECT_EQ(device_.UnexpectedBytes(), 2u);
    EXPECT_EQ(line_.ReadByte(100), kReadTimeout);
    // The rule still waits for its request.
    ASSERT_EQ(line_.WriteByte(0x02), 0);
    ASSERT_EQ(line_.WriteByte(0x01), 0);
    EXPECT_EQ(line_.ReadByte(100), 0x06);
}

TEST_F(MemoryLineTest, FullReceiveBufferLosesNewBytesAndReportsIt) {
    Bytes flood(5000);
    for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<uint8_t>(i);
    device_.SendAt(start_ + 10, flood);
    EXPECT_EQ(line_.WaitForBytes(4096, 100), WaitOutcome::Ready);
    EXPECT_EQ(line_.RXCount(), 4096u);
    EXPECT_EQ(line_.BytesLost(), 904u);
    EXPECT_EQ(line_.WaitForBytes(4097, 100), WaitOutcome::Timeout);

    uint16_t status = 0;
    EXPECT_NE(line_.GetCommError(status), 0);
    EXPECT_EQ(status, kLineRxOverflow);
    EXPECT_EQ(line_.GetCommError(status), 0);
    EXPECT_EQ(status, 0);

    // The oldest bytes were kept, the newest dropped.
    Bytes got(4096);
    EXPECT_EQ(line_.GetBuffer(got.data(), got.size(), 0), 4096u);
    EXPECT_EQ(got, Bytes(flood.begin(), flood.begin() + 4096));

    // Room again: bytes are kept.
    line_.Feed({7, 8});
    EXPECT_EQ(line_.RXCount(), 2u);
    EXPECT_EQ(line_.BytesLost(), 904u);
}

TEST_F(MemoryLineTest, VanishedDevice) {
    line_.Feed({0x11});
    device_.SendAt(start_ + 20, {0x22});
    line_.SetGone(true);
    EXPECT_TRUE(line_.IsGone());
    // What arrived before stays readable; then the line says gone, not time-out.
    EXPECT_EQ(line_.ReadByte(200), 0x11);
    EXPECT_EQ(line_.ReadByte(200), kDeviceGone);
    EXPECT_EQ(line_.WaitForBytes(1, 200), WaitOutcome::DeviceGone);
    uint8_t buffer[2];
    EXPECT_EQ(line_.GetBuffer(buffer, 2, 200), 0u);
    EXPECT_EQ(Elapsed(), 0);  // nothing waited
    EXPECT_NE(line_.WriteByte(0x18), 0);
    EXPECT_TRUE(device_.Received().empty());
    EXPECT_EQ(line_.BytesWritten(), 0u);

    uint16_t status = 0;
    EXPECT_NE(line_.GetCommError(status), 0);
    EXPECT_EQ(status, kLineDeviceGone);
    EXPECT_EQ(line_.GetCommError(status), 0);

    // Plugged in again: the line works.
    line_.SetGone(false);
    EXPECT_FALSE(line_.IsGone());
    EXPECT_EQ(line_.WriteByte(0x18), 0);
}

TEST_F(MemoryLineTest, InjectedErrorsAndRefusedWrites) {
    uint16_t status = 0xFFFF;
    EXPECT_EQ(line_.GetCommError(status), 0);
    EXPECT_EQ(status, 0);
    line_.InjectLineError(kLineFraming);
    line_.InjectLineError(kLineParity);
    EXPECT_NE(line_.GetCommError(status), 0);
    EXPECT_EQ(status, kLineFraming | kLineParity);
    EXPECT_EQ(line_.GetCommError(status), 0);

    device_.Expect({0x18}, {0x06});
    line_.SetRefuseWrites(true);
    EXPECT_NE(line_.WriteByte(0x18), 0);
    EXPECT_TRUE(device_.Received().empty());
    line_.SetRefuseWrites(false);
    EXPECT_EQ(line_.WriteByte(0x18), 0);
    EXPECT_EQ(line_.ReadByte(10), 0x06);
}

TEST_F(MemoryLineTest, FlushDropsWhatHasArrivedOnly) {
    device_.SendAt(start_, {1, 2});
    device_.SendAt(start_ + 40, {3});
    line_.RXFlush();
    EXPECT_EQ(line_.RXCount(), 0u);
    EXPECT_EQ(line_.ReadByte(100), 3);
    line_.TXFlush();
    EXPECT_EQ(line_.TXCount(), 0u);
}

// A far end that keeps promising output now and never sends any.
class StuckDevice final : public LineDevice {
  public:
    void OnHostByte(uint8_t, int64_t) override {}
    void Produce(int64_t, std::vector<uint8_t>&) override { ++produceCalls; }
    int64_t NextOutputTime(int64_t nowMs) override { return nowMs; }
    int produceCalls = 0;
};

TEST(MemoryLineRobustness, DeviceThatNeverDeliversCannotTrapAWait) {
    VirtualClock clock;
    StuckDevice device;
    MemoryLine line(clock, &device);
    int64_t start = clock.NowMs();
    EXPECT_EQ(line.ReadByte(50), kReadTimeout);
    EXPECT_EQ(clock.NowMs() - start, 50);
    EXPECT_EQ(line.WaitForBytes(2, 30), WaitOutcome::Timeout);
    EXPECT_EQ(clock.NowMs() - start, 80);
    EXPECT_LE(device.produceCalls, 100);
}

}  // namespace
}  // namespace qx::serial
