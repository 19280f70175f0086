// The in-memory line on a virtual clock: time moves only through the line's
// waits, so every expectation on the clock is exact.
#include <gtest/gtest.h>

#include <vector>

#include "core/host/Clock.h"
#include "support/MemoryLine.h"
#include "support/ScriptedDevice.h"

namespace qx::serial {
namespace {

using Bytes = std::vector<uint8_t>;

class MemoryLineTest : public ::testing::Test {
  protected:
    int64_t Elapsed() { return clock_.NowMs() - start_; }
    Bytes Take(std::size_t count) {
        Bytes got(count);
        got.resize(line_.GetBuffer(got.data(), count, 0));
        return got;
    }
    uint16_t CommError() {
        uint16_t status = 0xFFFF;
        const int error = line_.GetCommError(status);
        EXPECT_EQ(error != 0, status != 0);
        return status;
    }

    VirtualClock clock_;
    int64_t start_ = clock_.NowMs();
    test::ScriptedDevice device_;
    MemoryLine line_{clock_, &device_};
};

TEST_F(MemoryLineTest, SilentLineTimesOutByMovingTheClockExactly) {
    // The link's default: one read and five retries of 200 ms.
    for (int i = 0; i < 6; ++i) EXPECT_EQ(line_.ReadByte(200), kReadTimeout);
    EXPECT_EQ(Elapsed(), 1200);
    EXPECT_EQ(line_.WaitForBytes(1, 200), WaitOutcome::Timeout);
    uint8_t buffer[4];
    EXPECT_EQ(line_.GetBuffer(buffer, 4, 150), 0u);
    EXPECT_EQ(Elapsed(), 1550);
    EXPECT_EQ(line_.ReadByte(0), kReadTimeout);
    EXPECT_EQ(line_.ReadByte(-5), kReadTimeout);
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

TEST_F(MemoryLineTest, WrittenBytesReachTheDeviceWhichAnswersItsRequestLater) {
    const Bytes identify = {0x02, 0x01, 0x00, 0x80, 0x81, 0x03};
    device_.Expect(identify, {0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03}, 5);
    Bytes sent = {0x02, 0x07};  // a wrong request first
    sent.insert(sent.end(), identify.begin(), identify.end());
    for (uint8_t b : sent) ASSERT_EQ(line_.WriteByte(b), 0);
    EXPECT_EQ(line_.RXCount(), 0u);  // the answer is not due yet
    EXPECT_EQ(line_.WaitForBytes(7, 200), WaitOutcome::Ready);
    EXPECT_EQ(Elapsed(), 5);
    EXPECT_EQ(line_.Written(), sent);
    EXPECT_EQ(device_.Received(), sent);
}

TEST_F(MemoryLineTest, FullReceiveBufferLosesNewBytesAndReportsIt) {
    Bytes flood(5000);
    for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<uint8_t>(i);
    device_.SendAt(start_ + 10, flood);
    EXPECT_EQ(line_.WaitForBytes(4096, 100), WaitOutcome::Ready);
    EXPECT_EQ(line_.RXCount(), 4096u);
    EXPECT_EQ(line_.BytesLost(), 904u);
    EXPECT_EQ(line_.WaitForBytes(4097, 100), WaitOutcome::Timeout);
    EXPECT_EQ(CommError(), kLineRxOverflow);
    EXPECT_EQ(CommError(), 0);
    // The oldest bytes were kept, the newest dropped.
    EXPECT_EQ(Take(4096), Bytes(flood.begin(), flood.begin() + 4096));
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
    EXPECT_EQ(CommError(), kLineDeviceGone);
    EXPECT_EQ(CommError(), 0);

    line_.SetGone(false);  // plugged in again: the line works
    EXPECT_FALSE(line_.IsGone());
    EXPECT_EQ(line_.WriteByte(0x18), 0);
}

TEST_F(MemoryLineTest, InjectedErrorsRefusedWritesAndFlush) {
    EXPECT_EQ(CommError(), 0);
    line_.InjectLineError(kLineFraming);
    line_.InjectLineError(kLineParity);
    EXPECT_EQ(CommError(), kLineFraming | kLineParity);
    EXPECT_EQ(CommError(), 0);

    device_.Expect({0x18}, {0x06});
    line_.SetRefuseWrites(true);
    EXPECT_NE(line_.WriteByte(0x18), 0);
    EXPECT_TRUE(device_.Received().empty());
    line_.SetRefuseWrites(false);
    EXPECT_EQ(line_.WriteByte(0x18), 0);
    EXPECT_EQ(line_.ReadByte(10), 0x06);

    // A flush drops what has arrived only.
    device_.SendAt(clock_.NowMs(), {1, 2});
    device_.SendAt(clock_.NowMs() + 40, {3});
    line_.RXFlush();
    EXPECT_EQ(line_.RXCount(), 0u);
    EXPECT_EQ(line_.ReadByte(100), 3);
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
    const int64_t start = clock.NowMs();
    EXPECT_EQ(line.ReadByte(50), kReadTimeout);
    EXPECT_EQ(line.WaitForBytes(2, 30), WaitOutcome::Timeout);
    EXPECT_EQ(clock.NowMs() - start, 80);
    EXPECT_LE(device.produceCalls, 100);
}

}  // namespace
}  // namespace qx::serial
