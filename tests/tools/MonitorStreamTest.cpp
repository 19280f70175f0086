// The live-value stream on the module emulator over an in-memory line, on the
// virtual clock: every packet the line carries is read, bad packets are counted
// and the stream goes on, and however it ends the module is left quiet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/LinkedTestSupport.h"
#include "tools/qvx/MonitorStream.h"

namespace qx::qvx {
namespace {

class QvxMonitorStream : public ::qx::test::LinkedTest {
  protected:
    // Firmware 1.0: 57-byte block, 63-byte packets.
    void SetUp() override { LinkEmulator(emu::EmulatorConfig{.firmware = 0x10}); }
    emu::EmulatorCore& Module() { return emulator->Core(); }
    // The stream on this test's host, link and monitor.
    MonitorStats Stream(double seconds, const std::function<void(int64_t)>& onPacket) {
        return RunMonitorStream(*host, CommPort::Instance(), RamMonitor::Instance(), seconds,
                                onPacket);
    }
    // After any ending the stream is stopped and the module quiet.
    void ExpectQuiet(const MonitorStats& stats) {
        EXPECT_TRUE(stats.stopped);
        EXPECT_FALSE(Module().IsStreaming());
        EXPECT_GE(Module().Counters().cancels, 1);
        EXPECT_FALSE(RamMonitor::Instance().IsRunning());
    }
};

TEST_F(QvxMonitorStream, ReadsEveryPacketTheLineCarriesAndEndsQuiet) {
    int packets = 0;
    int64_t lastMs = -1;
    MonitorStats stats = Stream(10.0, [&](int64_t ms) {
        ++packets;
        EXPECT_GT(ms, lastMs);
        lastMs = ms;
    });
    EXPECT_EQ(stats.goodPackets, packets);
    // 63 bytes of 10 bits at 9600 baud: 65.6 ms a packet, 152 in 10 s.
    EXPECT_GE(stats.goodPackets, 150);
    EXPECT_LE(stats.goodPackets, 153);
    EXPECT_EQ(stats.badPackets + stats.restarts, 0);
    EXPECT_GE(stats.elapsedMs, 10000);
    EXPECT_LT(stats.elapsedMs, 10400);
    EXPECT_FALSE(stats.interrupted || stats.commFailure);
    ExpectQuiet(stats);
    EXPECT_EQ(Module().Counters().monitorStarts, 1);
    EXPECT_TRUE(CommPort::Instance().IsLinked());
}

TEST_F(QvxMonitorStream, BadPacketsAreCountedAndTheStreamGoesOn) {
    Module().ArmFault(emu::Fault::CorruptChecksum, 3);
    MonitorStats checksum = Stream(2.0, {});
    EXPECT_EQ(checksum.badPackets, 3);
    EXPECT_EQ(checksum.restarts, 0);  // a checksum error only drops the packet
    EXPECT_GT(checksum.goodPackets, 20);
    ExpectQuiet(checksum);

    Module().ArmFault(emu::Fault::DropByte, 1);
    MonitorStats dropped = Stream(2.0, {});
    EXPECT_GE(dropped.restarts, 1);  // the stream was started again
    EXPECT_GT(dropped.goodPackets, 10);
    ExpectQuiet(dropped);
}

TEST_F(QvxMonitorStream, AQuitSilenceAndABrokenLinkEndOnTime) {
    host->ScheduleEventIn(3000, [this] { host->SetQuitting(); });
    MonitorStats quit = Stream(0.0, {});  // no time limit
    EXPECT_TRUE(quit.interrupted);
    EXPECT_GE(quit.elapsedMs, 3000);
    EXPECT_LT(quit.elapsedMs, 3300);
    ExpectQuiet(quit);

    host->SetQuitting(false);
    Module().SetFaultProbability(emu::Fault::Silent, 1.0);
    MonitorStats silent = Stream(1.0, {});
    EXPECT_EQ(silent.goodPackets, 0);
    EXPECT_LT(silent.elapsedMs, 4000);

    Module().ClearFaults();
    ASSERT_TRUE(CommPort::Instance().IsLinked() || CommPort::Instance().EstablishLink());
    host->ScheduleEventIn(500, [] { CommPort::Instance().BreakLink(); });
    MonitorStats broken = Stream(5.0, {});
    EXPECT_TRUE(broken.commFailure);
    EXPECT_LT(broken.elapsedMs, 1500);
}

// The module's process stopped (SIGSTOP) from stopAtMs on: it sends nothing more.
class StoppedModule final : public serial::LineDevice {
  public:
    explicit StoppedModule(emu::EmulatorLine& module) : module_(module) {}
    void StopAt(int64_t ms) { stopAtMs_ = ms; }
    void OnHostByte(uint8_t byte, int64_t nowMs) override { module_.OnHostByte(byte, nowMs); }
    void Produce(int64_t nowMs, std::vector<uint8_t>& out) override {
        module_.Produce(std::min(nowMs, stopAtMs_), out);
    }
    int64_t NextOutputTime(int64_t nowMs) override {
        const int64_t next = nowMs < stopAtMs_ ? module_.NextOutputTime(nowMs) : -1;
        return next >= stopAtMs_ ? -1 : next;
    }

  private:
    emu::EmulatorLine& module_;
    int64_t stopAtMs_ = INT64_MAX;
};

TEST_F(QvxMonitorStream, AModuleThatFallsSilentIsToldOnceAndMeasured) {
    ResetLink();
    StoppedModule stopped(*emulator);
    Open(&stopped);
    stopped.StopAt(host->clock().NowMs() + 2000);
    int64_t lastPacket = -1;
    std::vector<int64_t> told;
    const MonitorStats stats = RunMonitorStream(
        *host, CommPort::Instance(), RamMonitor::Instance(), 6.0,
        [&](int64_t ms) { lastPacket = ms; }, {}, [&](int64_t since) { told.push_back(since); });
    // Packets for about two seconds, 65.6 ms apart, then none until the end at 6 s.
    EXPECT_GE(stats.goodPackets, 25);
    ASSERT_GT(lastPacket, 1800);
    EXPECT_LT(lastPacket, 2100);
    EXPECT_EQ(told, std::vector<int64_t>{lastPacket});  // once, naming the last packet
    EXPECT_EQ(stats.silenceFromMs, lastPacket);
    EXPECT_EQ(stats.longestSilenceMs, stats.elapsedMs - lastPacket);
    EXPECT_GT(stats.longestSilenceMs, 3800);
}

TEST_F(QvxMonitorStream, PacketsAtTheirPaceAreNoSilence) {
    std::vector<int64_t> told;
    const MonitorStats stats =
        RunMonitorStream(*host, CommPort::Instance(), RamMonitor::Instance(), 5.0, {}, {},
                         [&](int64_t since) { told.push_back(since); });
    EXPECT_TRUE(told.empty());
    // One packet time (65.6 ms) apart; the first after the start request's own
    // frame and the module's turnaround as well.
    EXPECT_LE(stats.longestSilenceMs, 100);
    EXPECT_GE(stats.longestSilenceMs, 65);
}

}  // namespace
}  // namespace qx::qvx
