#include <gtest/gtest.h>

#include "support/FakeHost.h"
#include "support/MemoryLine.h"
#include "support/ScriptedDevice.h"

namespace qx {
namespace {

TEST(WaitCursorScopeTest, ScopesNestAndEndOnTheirOwnHost) {
    FakeHost host;
    Host* previous = SetCurrentHost(&host);
    {
        WaitCursorScope outer;
        {
            WaitCursorScope inner;
            WaitCursorScope hidden(false);
            EXPECT_EQ(host.WaitCursorDepth(), 2);
        }
        EXPECT_EQ(host.WaitCursorDepth(), 1);
        // Another host installed meanwhile must not receive the end.
        FakeHost other;
        SetCurrentHost(&other);
        { WaitCursorScope ignored(false); }
        SetCurrentHost(&host);
    }
    EXPECT_EQ(host.WaitCursorDepth(), 0);
    SetCurrentHost(previous);
}

// The other folders' time-outs rest on these waits of the fake.
TEST(FakeHostWait, WaitsMoveTheVirtualClockAndStopAtAnEventOnlyWhenDispatching) {
    FakeHost host;
    test::ScriptedDevice device;
    serial::MemoryLine line(host.clock(), &device);
    const int64_t t0 = host.NowMs();
    EXPECT_EQ(host.Wait({nullptr, 0, 200, false}), WaitOutcome::Ready);
    EXPECT_EQ(host.NowMs(), t0 + 200);
    device.SendAt(t0 + 350, {1, 2, 3});
    host.ScheduleEventIn(40, [] {});
    EXPECT_EQ(host.Wait({&line, 3, 200, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.NowMs(), t0 + 240);
    EXPECT_EQ(host.Wait({&line, 3, 200, true}), WaitOutcome::UiEvent);  // not yet dispatched
    EXPECT_EQ(host.NowMs(), t0 + 240);
    EXPECT_EQ(host.Wait({&line, 3, 200, false}), WaitOutcome::Ready);
    EXPECT_EQ(host.NowMs(), t0 + 350);
    EXPECT_EQ(host.Wait({&line, 4, 200, false}), WaitOutcome::Timeout);  // the 4th never comes
    EXPECT_EQ(host.NowMs(), t0 + 550);

    // A line that does not share the host's clock still takes the host's time.
    VirtualClock lineClock;
    serial::MemoryLine other(lineClock, &device);
    EXPECT_EQ(host.Wait({&other, 1, 200, false}), WaitOutcome::Timeout);
    EXPECT_EQ(host.NowMs(), t0 + 750);

    // Once gone, no time passes; a quit ends a dispatching wait at once.
    line.SetGone(true);
    EXPECT_EQ(host.Wait({&line, 0, 200, false}), WaitOutcome::DeviceGone);
    host.PostQuit(0);
    EXPECT_EQ(host.Wait({nullptr, 0, 500, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.NowMs(), t0 + 750);
    EXPECT_EQ(host.Waits().calls, 8);
}

}  // namespace
}  // namespace qx
