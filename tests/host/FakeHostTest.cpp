#include <gtest/gtest.h>

#include <filesystem>

#include "host/Profile.h"
#include "serial/MemoryLine.h"
#include "support/FakeHost.h"

namespace qx {
namespace {

TEST(FakeHostMessages, QueuedAnswersThenCautiousDefaults) {
    FakeHost host;
    host.QueueAnswers({MsgResult::Retry, MsgResult::Yes});
    bool modalInside = false;
    host.SetMessageBoxHandler([&](const RecordedMessage&) -> std::optional<MsgResult> {
        modalInside = host.IsModalActive();
        return std::nullopt;  // declined: the queue or the default answers
    });
    for (auto [buttons, answer] : {std::pair{MsgButtons::RetryCancel, MsgResult::Retry},
                                   {MsgButtons::YesNo, MsgResult::Yes},
                                   {MsgButtons::RetryCancel, MsgResult::Cancel},
                                   {MsgButtons::YesNo, MsgResult::No},
                                   {MsgButtons::Ok, MsgResult::Ok},
                                   {MsgButtons::YesNoCancel, MsgResult::Cancel}}) {
        const std::string text = "m" + std::to_string(host.Messages().size());
        EXPECT_EQ(host.MessageBox(text, "cap", buttons, MsgIcon::Error), answer) << text;
        EXPECT_EQ(host.LastMessage().text, text);
    }
    EXPECT_TRUE(modalInside);
    EXPECT_FALSE(host.IsModalActive());
    EXPECT_EQ(host.Messages().size(), 6u);
}

TEST(FakeHostRecords, WaitCursorScopesNestAndEndOnTheirOwnHost) {
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
    EXPECT_EQ(host.MaxWaitCursorDepth(), 2);
    EXPECT_EQ(host.WaitCursorBegins(), 2);
    SetCurrentHost(previous);
}

TEST(FakeHostEvents, ScheduledEventsBecomeDueWithVirtualTimeAndAQuitStopsThem) {
    FakeHost host;
    std::vector<int> ran;
    const int64_t t0 = host.NowMs();
    host.ScheduleEvent(t0 + 100, [&] { ran.push_back(2); });
    host.ScheduleEventIn(50, [&] { ran.push_back(1); });
    host.ScheduleEvent(t0 + 100, [&] { ran.push_back(3); });
    EXPECT_FALSE(host.HasPendingEvent());
    EXPECT_TRUE(host.DispatchOneEvent());  // nothing due: nothing runs
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(host.NextEventTime(), t0 + 50);
    host.AdvanceMs(100);
    EXPECT_TRUE(host.DispatchOneEvent());
    EXPECT_EQ(ran, std::vector<int>{1});
    EXPECT_TRUE(host.DispatchPendingEvents());
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));  // same time: in the order scheduled

    host.QueueEvent([&] { host.PostQuit(0); });
    host.QueueEvent([&] { ran.push_back(4); });
    EXPECT_FALSE(host.DispatchPendingEvents());
    EXPECT_EQ(ran.size(), 3u);
    EXPECT_EQ(host.QuitPosts(), std::vector<int>{0});
    // A pending quit keeps reporting itself, and a dispatching wait ends at once.
    EXPECT_TRUE(host.HasPendingEvent());
    EXPECT_FALSE(host.DispatchOneEvent());
    EXPECT_EQ(host.Wait({nullptr, 0, 500, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.Waits().virtualMsWaited, 0);
}

TEST(FakeHostPosted, PostedCallsRunInOrderAndABoundStopsAnEndlessChain) {
    FakeHost host;
    std::vector<int> order;
    host.Post([&] {
        order.push_back(1);
        host.Post([&] { order.push_back(3); });
    });
    host.Post([&] { order.push_back(2); });
    EXPECT_EQ(host.PostedCount(), 2u);
    EXPECT_FALSE(host.HasPendingEvent());  // posted calls are not UI events by default
    EXPECT_EQ(host.RunPosted(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

    // A call that posts itself forever is stopped at the bound.
    std::function<void()> again = [&] { host.Post(again); };
    host.Post(again);
    EXPECT_EQ(host.RunPosted(10), 10u);
    EXPECT_EQ(host.PostedCount(), 1u);
}

TEST(FakeHostWait, TimeWaitsMoveTheVirtualClockAndStopAtAnEventOnlyWhenAllowed) {
    FakeHost host;
    const int64_t t0 = host.NowMs();
    EXPECT_EQ(host.Wait({nullptr, 0, 200, false}), WaitOutcome::Ready);
    EXPECT_EQ(host.ElapsedSysTime(), static_cast<int32_t>(t0 + 200));
    host.Sleep(50);
    EXPECT_EQ(host.Wait({nullptr, 0, -5, false}), WaitOutcome::Ready);  // no time at all
    EXPECT_EQ(host.NowMs(), t0 + 250);

    host.ScheduleEventIn(70, [] {});
    EXPECT_EQ(host.Wait({nullptr, 0, 100, false}), WaitOutcome::Ready);  // event not looked at
    EXPECT_EQ(host.NowMs(), t0 + 350);
    EXPECT_TRUE(host.DispatchOneEvent());
    host.ScheduleEventIn(30, [] {});
    EXPECT_EQ(host.Wait({nullptr, 0, 100, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.NowMs(), t0 + 380);
    EXPECT_EQ(host.Waits().virtualMsWaited, 330);
}

TEST(FakeHostWait, PortWaitsNeverPassTheNextEventWhenDispatching) {
    FakeHost host;
    serial::ScriptedDevice device;
    serial::MemoryLine line(host.clock(), &device);
    const int64_t t0 = host.NowMs();
    device.SendAt(t0 + 150, {1, 2, 3});
    host.ScheduleEventIn(40, [] {});
    EXPECT_EQ(host.Wait({&line, 3, 200, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.NowMs(), t0 + 40);
    host.DispatchOneEvent();
    EXPECT_EQ(host.Wait({&line, 3, 200, true}), WaitOutcome::Ready);
    EXPECT_EQ(host.NowMs(), t0 + 150);
    EXPECT_EQ(host.Wait({&line, 4, 200, false}), WaitOutcome::Timeout);  // the 4th never comes
    EXPECT_EQ(host.NowMs(), t0 + 350);

    // Once gone, no time passes in any wait.
    line.SetGone(true);
    EXPECT_EQ(host.Wait({&line, 1, 200, false}), WaitOutcome::DeviceGone);
    EXPECT_EQ(host.Wait({&line, 0, 200, false}), WaitOutcome::DeviceGone);
    EXPECT_EQ(host.NowMs(), t0 + 350);

    // A line that does not share the host's clock still takes the host's time.
    VirtualClock lineClock;
    serial::ScriptedDevice silent;
    serial::MemoryLine other(lineClock, &silent);
    EXPECT_EQ(host.Wait({&other, 1, 200, false}), WaitOutcome::Timeout);
    EXPECT_EQ(host.NowMs(), t0 + 550);
}

TEST(ScopedFakeHostTest, InstallsHostAndTemporaryProfileAndRestoresBoth) {
    FakeHost outer;
    Host* before = SetCurrentHost(&outer);
    const Profile* profileBefore = &AppProfile();
    std::string dir;
    {
        ScopedFakeHost scoped;
        dir = scoped.TempDir();
        EXPECT_EQ(&CurrentHost(), &scoped.host());
        EXPECT_EQ(AppProfile().Path(), scoped.ProfilePath());
        ASSERT_TRUE(AppProfile().WriteInt("Settings", "Port", 2));
        EXPECT_TRUE(std::filesystem::exists(scoped.ProfilePath()));
    }
    EXPECT_EQ(&CurrentHost(), &outer);
    EXPECT_EQ(&AppProfile(), profileBefore);
    EXPECT_FALSE(std::filesystem::exists(dir));
    SetCurrentHost(before);
}

}  // namespace
}  // namespace qx
