// The RAM monitor engine against a scripted module on the virtual clock.
#include <gtest/gtest.h>

#include <cstring>

#include "link/LinkFixture.h"

namespace qx::test {
namespace {

using CE = CommPort::CommError;

const std::vector<uint8_t> kMonitorRequest = {2, 5, 0, 3, 0x40, 0, 0x0E, 0, 0x2E, 3};
constexpr const char* kBroken = "Connection to Module Has Been Broken";
constexpr const char* kFailedLine =
    "\r\nRamMonitor::UpdateRamImage, CommPort::CommError::CheckSumError";

std::vector<uint8_t> Packet(uint8_t first, std::size_t count = 14) {
    std::vector<uint8_t> data(count);
    for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(first + i);
    return Frame(0x83, data);
}

class Monitor : public LinkFixture {
  protected:
    RamMonitor& Mon() { return RamMonitor::Instance(); }
    // Links with firmware 1.10 (14-byte block) and a module that streams on request.
    void LinkStreaming(int periodMs = 20) {
        Link(0x1A);
        device.StreamOnRequest(kMonitorRequest, Packet(0x30), periodMs);
    }
    void StopAt(int64_t inMs) {
        host->ScheduleEventIn(inMs, [] { RamMonitor::Instance().Stop(); });
    }
    std::vector<bool> refreshes;
    void RecordRefreshes() {
        Mon().SetRefreshHook([this](bool first) { refreshes.push_back(first); });
    }
};

TEST_F(Monitor, BlockFollowsTheFirmwareVersion) {
    EXPECT_EQ(Mon().BlockStart(), 0x45);
    EXPECT_EQ(Mon().BlockCount(), 57);
    EXPECT_EQ(Mon().PacketLength(), 63u);
    Link(0x10);
    EXPECT_EQ(Mon().BlockStart(), 0x45);
    EXPECT_EQ(Mon().PacketLength(), 63u);
    Port().BreakLink();
    Link(0x1A);
    EXPECT_EQ(Mon().BlockStart(), 0x40);
    EXPECT_EQ(Mon().BlockCount(), 14);
    EXPECT_EQ(Mon().PacketLength(), 20u);
}

TEST_F(Monitor, PostponementQueueHoldsFourDistinctIds) {
    Port();
    EXPECT_FALSE(Mon().PostponeCommandIfBusy(1, true));  // nothing busy
    {
        CommandBusyScope busy(false);
        for (int id : {1, 2, 3, 2, 4, 5}) EXPECT_TRUE(Mon().PostponeCommandIfBusy(id, true));
        EXPECT_EQ(Mon().PostponedCommands(), (std::vector<int>{1, 2, 3, 4}));
    }
    EXPECT_NE(host->TraceText().find("\r\nRamMonitor::PostponeCommandIfBusy"), std::string::npos);
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(Mon().PostponedCommands().empty());
}

TEST_F(Monitor, CommandsPostponedWithMonitoringOffReplayOnceNothingIsNested) {
    Link(0x1A);
    device.AlwaysAnswer(Frame(0x01, {0x00, 0xB6, 4, 0}), Frame(0x81, {1, 2, 3, 4}), 50);
    bool postponed = false;
    host->ScheduleEventIn(10, [&] { postponed = Mon().PostponeCommandIfBusy(57, true); });
    {
        CommandBusyScope busy(true);
        uint8_t block[4];
        ASSERT_TRUE(Port().ReadModuleMemoryBlock(block, 0xB600, 4));
        EXPECT_EQ(host->WaitCursorDepth(), 1);
    }
    EXPECT_TRUE(postponed);
    EXPECT_TRUE(host->RoutedCommands().empty());
    // Delivered under a question box: it waits for the box to close.
    host->SetModalActive(true);
    host->RunPosted(5);
    EXPECT_TRUE(host->RoutedCommands().empty());
    host->SetModalActive(false);
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{57}));
    // Another command started meanwhile: its end replays, not the stale post.
    {
        CommandBusyScope busy(false);
        Mon().PostponeCommandIfBusy(58, false);
        host->RunPosted();
        EXPECT_EQ(host->RoutedCommands().size(), 1u);
    }
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{57, 58}));
}

TEST_F(Monitor, AHandshakeInterruptedByToggleMonitoringPostponesIt) {
    device.Expect(kIdentifyRequest, Frame(0x80, {0x1A}), 900);
    bool postponed = false;
    uint8_t firmwareThen = 0;
    host->ScheduleEventIn(800, [&] {
        firmwareThen = Port().FirmwareVersion();
        postponed = Mon().PostponeCommandIfBusy(32771, true);
    });
    ASSERT_TRUE(Port().EstablishLink());
    EXPECT_TRUE(postponed);
    EXPECT_EQ(firmwareThen, 0xFF);
    EXPECT_EQ(device.CountOf(kMonitorRequest), 0u);
    EXPECT_EQ(Port().BusyCount(), 0);
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{32771}));
}

TEST_F(Monitor, StartAndStopWithDrain) {
    LinkStreaming();
    EXPECT_TRUE(Mon().Stop());  // not running: nothing sent
    EXPECT_TRUE(line->Written().empty());
    ASSERT_TRUE(Mon().Start());
    EXPECT_EQ(line->Written(), kMonitorRequest);
    EXPECT_TRUE(Mon().IsRunning());
    EXPECT_TRUE(Mon().Start());  // already running
    EXPECT_EQ(device.CountOf(kMonitorRequest), 1u);
    host->AdvanceMs(300);
    EXPECT_GE(Port().ReceiveCount(), 200u);
    line->ClearWritten();
    ASSERT_TRUE(Mon().Stop());
    EXPECT_EQ(line->Written(), (std::vector<uint8_t>{0x18, 0x18}));
    EXPECT_EQ(Port().ReceiveCount(), 0u);
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsReading());
    EXPECT_TRUE(host->Messages().empty());
    const std::string trace = host->TraceText();
    EXPECT_NE(trace.find("\r\nRamMonitor::Start"), std::string::npos);
    EXPECT_NE(trace.find("\r\nRamMonitor::Stop"), std::string::npos);
}

TEST_F(Monitor, AFailedCancelWriteIsReportedAndStillStops) {
    LinkStreaming();
    ASSERT_TRUE(Mon().Start());
    line->SetRefuseWrites(true);
    EXPECT_FALSE(Mon().Suspend());
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsSuspended());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  "Unable to write cancel request to controller!\nRamMonitor::Stop"}));
    EXPECT_EQ(host->Messages()[0].caption, std::string(kAppTitle));
}

TEST_F(Monitor, AStartRequestThatCannotBeWrittenIsReported) {
    Link(0x1A);
    line->SetRefuseWrites(true);
    EXPECT_FALSE(Mon().Start());
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  "Unable to write monitor start request to controller!\nRamMonitor::Start"}));
}

// A port whose transmit queue never drains (a failing adapter).
class StuckTransmitPort final : public serial::SerialPort {
  public:
    explicit StuckTransmitPort(std::unique_ptr<serial::MemoryLine> line) : line_(std::move(line)) {}
    int ReadByte(int t) override { return line_->ReadByte(t); }
    int WriteByte(uint8_t b) override { return line_->WriteByte(b); }
    std::size_t RXCount() override { return line_->RXCount(); }
    std::size_t TXCount() override { return stuck ? 7 : 0; }
    void RXFlush() override { line_->RXFlush(); }
    void TXFlush() override {}
    std::size_t GetBuffer(uint8_t* b, std::size_t n, int t) override {
        return line_->GetBuffer(b, n, t);
    }
    int GetCommError(uint16_t& s) override { return line_->GetCommError(s); }
    bool IsGone() override { return line_->IsGone(); }
    WaitOutcome WaitForBytes(std::size_t n, int t) override { return line_->WaitForBytes(n, t); }
    std::string DevicePath() const override { return "stuck"; }
    bool stuck = false;

  private:
    std::unique_ptr<serial::MemoryLine> line_;
};

TEST_F(Monitor, StopGivesUpOnATransmitQueueThatNeverDrains) {
    StuckTransmitPort* stuck = nullptr;
    Port().SetPortOpener([&](int, serial::OpenError*) {
        auto port = std::make_unique<StuckTransmitPort>(
            std::make_unique<serial::MemoryLine>(host->clock(), &device));
        stuck = port.get();
        return std::unique_ptr<serial::SerialPort>(std::move(port));
    });
    device.Expect(kIdentifyRequest, Frame(0x80, {0x1A}), 5);
    ASSERT_TRUE(Port().EstablishLink());
    ASSERT_TRUE(Mon().Start());
    stuck->stuck = true;
    const int64_t start = host->NowMs();
    EXPECT_FALSE(Mon().Stop());
    EXPECT_EQ(host->NowMs() - start, 200 * 6);
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsReading());
}

TEST_F(Monitor, AChecksumErrorDropsThePacketOtherErrorsSuspend) {
    Link(0x1A);
    ASSERT_TRUE(Mon().Start());
    line->Feed(Packet(0x10));
    CE error = CE::TimeoutError;
    ASSERT_TRUE(Mon().UpdateRamImage(&error));
    EXPECT_EQ(error, CE::NoError);
    EXPECT_TRUE(Mon().IsImageValid());
    uint8_t bytes[3] = {};
    EXPECT_TRUE(Mon().GetImageBytes(bytes, 0x41, 3));
    EXPECT_EQ(bytes[0], 0x11);
    EXPECT_EQ(bytes[2], 0x13);

    auto bad = Packet(0x20);
    bad[bad.size() - 2] ^= 0x5A;
    line->Feed(bad);
    EXPECT_FALSE(Mon().UpdateRamImage(&error));
    EXPECT_EQ(error, CE::CheckSumError);
    EXPECT_TRUE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsSuspended());
    EXPECT_FALSE(Mon().IsImageValid());
    EXPECT_EQ(host->TraceText().find(kFailedLine), std::string::npos);
    // The bytes as received stay in the image.
    EXPECT_FALSE(Mon().GetImageBytes(bytes, 0x40, 1));
    EXPECT_EQ(bytes[0], 0x20);

    line->Feed({0x41, 0x42});
    EXPECT_FALSE(Mon().UpdateRamImage(&error));
    EXPECT_EQ(error, CE::StartByteError);
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_TRUE(Mon().IsSuspended());
    EXPECT_NE(host->TraceText().find(kFailedLine), std::string::npos);
}

TEST_F(Monitor, ALengthErrorSuspendsLikeAMissingByte) {
    Link(0x1A);
    ASSERT_TRUE(Mon().Start());
    line->Feed({0x02, 0xC8, 0x00, 0x83, 1, 2, 3});
    CE error = CE::NoError;
    EXPECT_FALSE(Mon().UpdateRamImage(&error));
    EXPECT_EQ(error, CE::LengthError);
    EXPECT_TRUE(Mon().IsSuspended());
    EXPECT_FALSE(Mon().IsRunning());
}

TEST_F(Monitor, FailedPacketsBeepWhenAsked) {
    SetProfile("Monitor Beep On Failure", 1);
    Link(0x1A);
    ASSERT_TRUE(Mon().Start());
    line->Feed({0x41});
    EXPECT_FALSE(Mon().UpdateRamImage(nullptr));
    ASSERT_FALSE(host->Beeps().empty());
    EXPECT_EQ(host->Beeps().front(), BeepKind::Default);
}

TEST_F(Monitor, ImageReadsOutsideTheBlockCopyNothing) {
    Link(0x1A);
    ASSERT_TRUE(Mon().Start());
    line->Feed(Packet(0x50));
    ASSERT_TRUE(Mon().UpdateRamImage(nullptr));
    uint8_t bytes[60];
    std::memset(bytes, 0xEE, sizeof bytes);
    EXPECT_FALSE(Mon().GetImageBytes(bytes, 0x4D, 2));  // runs past the 14-byte block
    EXPECT_FALSE(Mon().GetImageBytes(bytes, 0x3F, 1));
    EXPECT_FALSE(Mon().GetImageBytes(bytes, 0x45, 57));  // the other firmware's block
    EXPECT_EQ(bytes[0], 0xEE);
    EXPECT_EQ(bytes[1], 0xEE);
    EXPECT_TRUE(Mon().GetImageBytes(bytes, 0x40, 14));
    EXPECT_EQ(bytes[13], 0x5D);
}

TEST_F(Monitor, SuspendWhenNotRunningChangesNothing) {
    Port();
    EXPECT_TRUE(Mon().Suspend());
    EXPECT_FALSE(Mon().IsSuspended());
}

// ---- The Run loop ---------------------------------------------------------------

TEST_F(Monitor, RunRefreshesAndSleepsBetweenPackets) {
    LinkStreaming(20);
    RecordRefreshes();
    StopAt(1000);
    Mon().Run();
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsRunActive());
    ASSERT_GE(refreshes.size(), 45u);
    EXPECT_TRUE(refreshes[0]);
    for (std::size_t i = 1; i < refreshes.size(); ++i) EXPECT_FALSE(refreshes[i]) << i;
    // One wake per packet or so, not a polling loop.
    EXPECT_LE(host->Waits().calls, static_cast<int>(2 * refreshes.size() + 20));
    const std::string trace = host->TraceText();
    EXPECT_EQ(trace.find("\r\nRamMonitor::Run\r\n+- Starting Monitor from RamMonitor::Run"), 0u);
    EXPECT_EQ(trace.find("Stopping Monitor"), std::string::npos);
}

TEST_F(Monitor, ABacklogOfExactlyTheThresholdIsRead) {
    Link(0x1A);
    RecordRefreshes();
    std::vector<uint8_t> backlog;
    for (int i = 0; i < 50; ++i) {
        auto p = Packet(static_cast<uint8_t>(i));
        backlog.insert(backlog.end(), p.begin(), p.end());
    }
    ASSERT_EQ(backlog.size(), 1000u);
    line->Feed(backlog);
    StopAt(100);
    Mon().Run();
    EXPECT_EQ(refreshes.size(), 50u);
    EXPECT_EQ(host->TraceText().find("Stopping Monitor"), std::string::npos);
    EXPECT_EQ(device.CountOf(kMonitorRequest), 1u);
}

TEST_F(Monitor, ABacklogBeyondTheThresholdRestartsTheStream) {
    Link(0x1A);
    RecordRefreshes();
    std::vector<uint8_t> backlog;
    for (int i = 0; i < 50; ++i) {
        auto p = Packet(static_cast<uint8_t>(i));
        backlog.insert(backlog.end(), p.begin(), p.end());
    }
    backlog.push_back(0x02);
    line->Feed(backlog);
    StopAt(100);
    Mon().Run();
    EXPECT_NE(host->TraceText().find("\r\n+- Stopping Monitor from RamMonitor::Run after 0 packet "
                                     "reads \r\nRamMonitor::Stop"),
              std::string::npos);
    EXPECT_EQ(device.CountOf(kMonitorRequest), 2u);
    EXPECT_TRUE(refreshes.empty());  // the backlog was discarded
}

TEST_F(Monitor, ACommandInsideRunSuspendsAndRestartsWithAFirstUpdate) {
    LinkStreaming(20);
    device.AlwaysAnswer(Frame(0x01, {0x00, 0xB6, 4, 0}), Frame(0x81, {1, 2, 3, 4}), 5);
    RecordRefreshes();
    bool suspendedInside = false, readOk = false;
    std::size_t refreshesBefore = 0;
    host->ScheduleEventIn(205, [&] {
        refreshesBefore = refreshes.size();
        CommandBusyScope busy(true);
        suspendedInside = Mon().IsSuspended() && !Mon().IsRunning();
        uint8_t block[4];
        readOk = Port().ReadModuleMemoryBlock(block, 0xB600, 4);
    });
    // The cancelled stream sends no last packet: Stop waits out its response.
    StopAt(4000);
    Mon().Run();
    EXPECT_TRUE(suspendedInside);
    EXPECT_TRUE(readOk);
    EXPECT_EQ(device.CountOf(kMonitorRequest), 2u);
    ASSERT_GT(refreshes.size(), refreshesBefore + 2);
    EXPECT_TRUE(refreshes[refreshesBefore]);
    EXPECT_FALSE(refreshes[refreshesBefore + 1]);
    EXPECT_EQ(std::count(refreshes.begin(), refreshes.end(), true), 2);
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(Monitor, RunReplaysCommandsPostponedInsideIt) {
    LinkStreaming(20);
    bool postponed = false;
    host->ScheduleEventIn(105, [&] {
        CommandBusyScope busy(false);
        postponed = Mon().PostponeCommandIfBusy(77, true);
    });
    StopAt(4000);
    Mon().Run();
    EXPECT_TRUE(postponed);
    // Replayed by the loop itself, nothing left for the main loop.
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{77}));
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{77}));
}

TEST_F(Monitor, CommandsLeftWhenRunEndsReplayFromTheMainLoop) {
    LinkStreaming(20);
    host->ScheduleEventIn(105, [&] {
        CommandBusyScope busy(false);
        Mon().PostponeCommandIfBusy(78, true);
        Mon().Stop();  // monitoring toggled off while the command runs
    });
    Mon().Run();
    EXPECT_TRUE(host->RoutedCommands().empty());
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{78}));
}

TEST_F(Monitor, BreakingTheLinkInsideRunEndsIt) {
    LinkStreaming(20);
    std::size_t receivedAtBreak = 0;
    host->ScheduleEventIn(105, [&] {
        Port().BreakLink();
        receivedAtBreak = device.Received().size();
    });
    Mon().Run();
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsSuspended());
    EXPECT_EQ(device.Received().size(), receivedAtBreak);
    EXPECT_EQ(device.CountOf(kMonitorRequest), 1u);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kBroken}));
    // A later Run on the dead link does nothing.
    Mon().Run();
    EXPECT_EQ(device.CountOf(kMonitorRequest), 1u);
}

TEST_F(Monitor, AVanishedDeviceInsideRunShowsOneMessage) {
    LinkStreaming(20);
    host->ScheduleEventIn(105, [&] { line->SetGone(true); });
    Mon().Run();
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kBroken}));
}

TEST_F(Monitor, AFailedCancelInsideRunEndsRun) {
    LinkStreaming(20);
    host->ScheduleEventIn(105, [&] {
        line->SetRefuseWrites(true);
        Mon().Stop();
    });
    Mon().Run();
    EXPECT_FALSE(Mon().IsRunActive());
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_EQ(host->Messages().size(), 1u);
}

TEST_F(Monitor, QuittingInsideRunEndsItWithAQuit) {
    LinkStreaming(20);
    host->ScheduleEventIn(105, [&] { host->SetQuitting(); });
    Mon().Run();
    EXPECT_FALSE(Mon().IsRunActive());
    ASSERT_FALSE(host->QuitPosts().empty());
    EXPECT_EQ(host->QuitPosts().front(), 0);
}

TEST_F(Monitor, StoppingWhileSuspendedEndsMonitoring) {
    LinkStreaming(20);
    host->ScheduleEventIn(105, [&] {
        CommandBusyScope busy(false);
        Mon().Stop();  // Toggle Monitoring while a command holds the stream
    });
    Mon().Run();
    EXPECT_FALSE(Mon().IsSuspended());
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_EQ(device.CountOf(kMonitorRequest), 1u);
}

}  // namespace
}  // namespace qx::test
