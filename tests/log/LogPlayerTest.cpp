// Playing a log back on the virtual clock, as the displays' source.
#include <gtest/gtest.h>

#include "core/log/LogFormat.h"
#include "core/log/LogPlayer.h"
#include "core/model/MonitoredQuantities.h"
#include "core/monitor/RamMonitor.h"
#include "support/FakeHost.h"

namespace qx::test {
namespace {

// Rows every 100 ms; engine speed steps 0, 1, 2 ... (module integers).
std::shared_ptr<EngineLog> Ramp(int rows) {
    std::string text = LogHeader({0, 5});
    for (int i = 0; i < rows; ++i)
        text += LogRow(100 * i, {0, 5}, {LogValueOf(0, i), LogValueOf(5, 200)});
    auto log = std::make_shared<EngineLog>();
    std::string error;
    EXPECT_TRUE(ReadEngineLog(text, *log, error)) << error;
    return log;
}

class Player : public ::testing::Test {
  protected:
    Player() : player(Ramp(11), host->clock(), samples) {
        observer = samples.Subscribe([this](LiveSource& s, bool first) {
            EXPECT_EQ(&s, &player);
            notes.push_back({player.Row(), first});
        });
    }
    ScopedFakeHost host;
    SampleChannel samples;
    LogPlayer player;
    SampleChannel::Hold observer;
    std::vector<std::pair<std::size_t, bool>> notes;
};

TEST_F(Player, FollowsTheClockAtEachSpeedAndPausesAtTheEnd) {
    player.Play();
    host->AdvanceMs(250);
    EXPECT_TRUE(player.Tick());
    EXPECT_EQ(player.Row(), 2u);
    EXPECT_EQ(player.MsUntilNextRow(), 50);
    EXPECT_FALSE(player.Tick());  // no time passed
    player.SetSpeed(8.0);
    EXPECT_EQ(player.MsUntilNextRow(), 7);  // 50 ms of log in 6.25 ms, rounded up
    host->AdvanceMs(50);                    // 400 ms of log
    player.Tick();
    EXPECT_EQ(player.PositionMs(), 650);
    EXPECT_EQ(player.Row(), 6u);
    player.SetSpeed(3.0);  // not offered: ignored
    EXPECT_EQ(player.Speed(), 8.0);
    host->AdvanceMs(1000);
    player.Tick();
    EXPECT_EQ(player.Row(), 10u);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.MsUntilNextRow(), -1);
    // Rows skipped between ticks are not announced one by one.
    EXPECT_EQ(notes,
              (std::vector<std::pair<std::size_t, bool>>{{2, false}, {6, false}, {10, false}}));
    player.Play();  // from the end: again from the start
    EXPECT_EQ(player.Row(), 0u);
    EXPECT_TRUE(player.IsPlaying());
    host->AdvanceMs(30);  // 240 ms of log at 8x
    player.Tick();
    EXPECT_EQ(player.Row(), 2u);
}

TEST_F(Player, PauseHoldsThePositionWhileTheClockRuns) {
    player.Play();
    host->AdvanceMs(330);
    player.Pause();
    host->AdvanceMs(5000);
    player.Tick();
    EXPECT_EQ(player.PositionMs(), 330);
    player.Play();
    host->AdvanceMs(70);
    player.Tick();
    EXPECT_EQ(player.Row(), 4u);
}

TEST_F(Player, StepsSeeksAndJumpsAreClampedAndMarkedFirst) {
    player.Play();
    player.Step(3);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Row(), 3u);
    player.Step(-10);
    EXPECT_EQ(player.Row(), 0u);
    player.ToEnd();
    EXPECT_EQ(player.Row(), 10u);
    player.Step(1);
    EXPECT_EQ(player.Row(), 10u);
    player.Seek(549);
    EXPECT_EQ(player.Row(), 5u);
    player.Seek(-100);
    EXPECT_EQ(player.Row(), 0u);
    player.Seek(99999);
    EXPECT_EQ(player.Row(), 10u);
    for (const auto& n : notes) EXPECT_TRUE(n.second);
    EXPECT_EQ(notes.size(), 7u);
}

TEST_F(Player, FeedsMonitoredValuesAsTheModuleImageWould) {
    // The values read the run's channel: the player goes in front of the monitor.
    SampleChannel& run = RamMonitor::Instance().Samples();
    const SampleChannel::Hold front = run.PutInFront(player);
    player.Seek(700);
    auto speed = MakeMonitoredValue(0);
    auto battery = MakeMonitoredValue(5);
    auto accel = MakeMonitoredValue(1);  // not in this log
    speed->Refresh();
    battery->Refresh();
    accel->Refresh();
    EXPECT_EQ(speed->FormatValue(), " 112.8");  // 7 steps of 16.11 rpm
    EXPECT_TRUE(speed->InSync());
    EXPECT_EQ(battery->FormatValue(), " 12.5");
    EXPECT_FALSE(accel->InSync());
    EXPECT_EQ(run.Active(), &player);
    RamMonitor::ResetInstance();
}

// Rides longer than 2^31 ms (about 25 days of log): seeking, stepping and
// playing keep the whole time.
TEST(LogPlayerLongTimes, SeekStepAndPlayPastTheIntRange) {
    ScopedFakeHost host;
    const int64_t far = (int64_t{1} << 31) + 1000;
    std::string text = LogHeader({0});
    for (int64_t t : {int64_t{0}, far, far + 100, 2 * far})
        text += LogRow(t, {0}, {LogValueOf(0, 10)});
    auto log = std::make_shared<EngineLog>();
    std::string error;
    ASSERT_TRUE(ReadEngineLog(text, *log, error)) << error;
    EXPECT_EQ(log->EndMs(), 2 * far);
    SampleChannel samples;
    LogPlayer player(log, host->clock(), samples);
    const struct {
        int64_t seek;
        std::size_t row;
    } seeks[] = {{far - 1, 0}, {far, 1}, {far + 150, 2}, {2 * far + 5, 3}};
    for (const auto& c : seeks) {
        player.Seek(c.seek);
        EXPECT_EQ(player.Row(), c.row) << c.seek;
        EXPECT_EQ(player.PositionMs(), std::min(c.seek, 2 * far)) << c.seek;
    }
    player.Seek(far);
    player.Play();
    host->AdvanceMs(120);
    player.Tick();
    EXPECT_EQ(player.PositionMs(), far + 120);
    EXPECT_EQ(player.Row(), 2u);
    player.Step(-2);
    EXPECT_EQ(player.PositionMs(), 0);
    player.ToEnd();
    EXPECT_EQ(player.PositionMs(), 2 * far);
}

}  // namespace
}  // namespace qx::test
