#include <gtest/gtest.h>

#include <filesystem>

#include "TestPorts.h"
#include "host/Profile.h"
#include "support/FakeHost.h"

namespace qx {
namespace {

using testports::ScriptedPort;

TEST(FakeHostMessages, QueuedAnswersThenCautiousDefaults) {
    FakeHost host;
    host.QueueAnswers({MsgResult::Retry, MsgResult::Yes});
    EXPECT_EQ(host.MessageBox("a", "c1", MsgButtons::RetryCancel, MsgIcon::Error),
              MsgResult::Retry);
    EXPECT_EQ(host.MessageBox("b", "c2", MsgButtons::YesNo, MsgIcon::Question), MsgResult::Yes);
    EXPECT_EQ(host.MessageBox("c", "c3", MsgButtons::RetryCancel, MsgIcon::None),
              MsgResult::Cancel);
    EXPECT_EQ(host.MessageBox("d", "c4", MsgButtons::YesNo, MsgIcon::None), MsgResult::No);
    EXPECT_EQ(host.MessageBox("e", "c5", MsgButtons::Ok, MsgIcon::None), MsgResult::Ok);
    EXPECT_EQ(host.MessageBox("f", "c6", MsgButtons::YesNoCancel, MsgIcon::None),
              MsgResult::Cancel);

    ASSERT_EQ(host.Messages().size(), 6u);
    EXPECT_EQ(host.Messages()[0].text, "a");
    EXPECT_EQ(host.Messages()[0].caption, "c1");
    EXPECT_EQ(host.Messages()[0].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(host.Messages()[0].icon, MsgIcon::Error);
    EXPECT_EQ(host.Messages()[3].answer, MsgResult::No);
    EXPECT_EQ(host.LastMessage().text, "f");
    EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST(FakeHostMessages, HandlerRunsWhileTheBoxIsModal) {
    FakeHost host;
    host.QueueAnswer(MsgResult::Retry);
    bool modalInside = false;
    host.SetMessageBoxHandler([&](const RecordedMessage& m) -> std::optional<MsgResult> {
        modalInside = host.IsModalActive();
        if (m.text == "chosen") return MsgResult::Yes;
        return std::nullopt;
    });
    EXPECT_EQ(host.MessageBox("chosen", "", MsgButtons::YesNo, MsgIcon::None), MsgResult::Yes);
    EXPECT_TRUE(modalInside);
    EXPECT_FALSE(host.IsModalActive());
    // The handler declined: the queue answers.
    EXPECT_EQ(host.MessageBox("other", "", MsgButtons::RetryCancel, MsgIcon::None),
              MsgResult::Retry);
}

TEST(FakeHostRecords, EverythingTheCoreAsksIsRecorded) {
    FakeHost host;
    host.Beep(BeepKind::Error);
    host.Beep(BeepKind::Question);
    host.Trace("\r\none");
    host.Trace("\r\ntwo");
    host.RouteCommand(32771);
    host.ShowWaitWindow("Please wait...");
    EXPECT_TRUE(host.WaitWindowOpen());
    EXPECT_EQ(host.WaitWindowText(), "Please wait...");
    host.CloseWaitWindow();
    host.SetLinkIndicator(true);
    host.SetLinkIndicator(false);
    host.RepaintMainWindow();
    host.Idle();

    EXPECT_EQ(host.Beeps(), (std::vector<BeepKind>{BeepKind::Error, BeepKind::Question}));
    EXPECT_EQ(host.TraceText(), "\r\none\r\ntwo");
    EXPECT_EQ(host.Traces().size(), 2u);
    EXPECT_EQ(host.RoutedCommands(), std::vector<int>{32771});
    ASSERT_EQ(host.WaitWindowCalls().size(), 2u);
    EXPECT_TRUE(host.WaitWindowCalls()[0].shown);
    EXPECT_FALSE(host.WaitWindowCalls()[1].shown);
    EXPECT_FALSE(host.WaitWindowOpen());
    EXPECT_EQ(host.LinkIndicatorCalls(), (std::vector<bool>{true, false}));
    EXPECT_EQ(host.Repaints(), 1);
    EXPECT_EQ(host.IdleCalls(), 1);

    host.ClearRecords();
    EXPECT_TRUE(host.Beeps().empty());
    EXPECT_TRUE(host.TraceText().empty());
    EXPECT_EQ(host.Repaints(), 0);
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

TEST(FakeHostEvents, ScheduledEventsBecomeDueWithVirtualTime) {
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
    EXPECT_TRUE(host.HasPendingEvent());
    EXPECT_TRUE(host.DispatchOneEvent());
    EXPECT_EQ(ran, std::vector<int>{1});
    EXPECT_TRUE(host.DispatchPendingEvents());
    // Same time: in the order scheduled.
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(host.HasPendingEvent());
    EXPECT_EQ(host.DispatchedEvents(), 3);
}

TEST(FakeHostEvents, AnEventThatQuitsStopsDispatch) {
    FakeHost host;
    int later = 0;
    host.QueueEvent([&] { host.SetQuitting(); });
    host.QueueEvent([&] { ++later; });
    EXPECT_FALSE(host.DispatchPendingEvents());
    EXPECT_EQ(later, 0);
    EXPECT_TRUE(host.IsQuitting());
    // A pending quit keeps reporting itself.
    EXPECT_TRUE(host.HasPendingEvent());
    EXPECT_FALSE(host.DispatchOneEvent());
}

TEST(FakeHostEvents, PostQuitIsRecordedAndQuits) {
    FakeHost host;
    host.PostQuit(0);
    EXPECT_TRUE(host.IsQuitting());
    EXPECT_EQ(host.QuitPosts(), std::vector<int>{0});
    EXPECT_EQ(host.Wait({nullptr, 0, 500, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.Waits().virtualMsWaited, 0);
}

TEST(FakeHostPosted, RunPostedRunsWhatPostedCallsPost) {
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

TEST(FakeHostPosted, DispatchCanRunPostedCallsLikeAMainLoop) {
    FakeHost host;
    host.SetDispatchRunsPosted(true);
    int ran = 0;
    host.Post([&] { ++ran; });
    EXPECT_TRUE(host.HasPendingEvent());
    EXPECT_EQ(host.Wait({nullptr, 0, 100, true}), WaitOutcome::UiEvent);
    EXPECT_TRUE(host.DispatchOneEvent());
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(host.HasPendingEvent());
}

TEST(FakeHostWait, TimeWaitsMoveTheVirtualClock) {
    FakeHost host;
    const int64_t t0 = host.NowMs();
    EXPECT_EQ(host.Wait({nullptr, 0, 200, false}), WaitOutcome::Ready);
    EXPECT_EQ(host.NowMs(), t0 + 200);
    EXPECT_EQ(host.ElapsedSysTime(), static_cast<int32_t>(t0 + 200));
    host.Sleep(50);
    EXPECT_EQ(host.NowMs(), t0 + 250);

    // A negative time-out is no time at all.
    EXPECT_EQ(host.Wait({nullptr, 0, -5, false}), WaitOutcome::Ready);
    EXPECT_EQ(host.NowMs(), t0 + 250);
    EXPECT_EQ(host.Waits().calls, 2);
    EXPECT_EQ(host.Waits().virtualMsWaited, 200);
}

TEST(FakeHostWait, DispatchingWaitStopsAtTheNextEventOnlyWhenAllowed) {
    FakeHost host;
    const int64_t t0 = host.NowMs();
    host.ScheduleEventIn(70, [] {});
    // Dispatch blocked: the event is not looked at.
    EXPECT_EQ(host.Wait({nullptr, 0, 100, false}), WaitOutcome::Ready);
    EXPECT_EQ(host.NowMs(), t0 + 100);
    EXPECT_TRUE(host.HasPendingEvent());
    EXPECT_TRUE(host.DispatchOneEvent());

    host.ScheduleEventIn(30, [] {});
    EXPECT_EQ(host.Wait({nullptr, 0, 100, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.NowMs(), t0 + 130);
    EXPECT_EQ(host.Waits().uiEvents, 1);
}

TEST(FakeHostWait, PortWaitsNeverPassTheNextEventWhenDispatching) {
    FakeHost host;
    ScriptedPort port(host.clock());
    const int64_t t0 = host.NowMs();
    port.ArriveAt(t0 + 150, 3);
    host.ScheduleEventIn(40, [] {});

    EXPECT_EQ(host.Wait({&port, 3, 200, true}), WaitOutcome::UiEvent);
    EXPECT_EQ(host.NowMs(), t0 + 40);
    ASSERT_EQ(port.waitTimeouts.size(), 1u);
    EXPECT_EQ(port.waitTimeouts[0], 40);
    host.DispatchOneEvent();

    EXPECT_EQ(host.Wait({&port, 3, 200, true}), WaitOutcome::Ready);
    EXPECT_EQ(host.NowMs(), t0 + 150);
    // Four bytes never come: a time-out after the whole time.
    EXPECT_EQ(host.Wait({&port, 4, 200, false}), WaitOutcome::Timeout);
    EXPECT_EQ(host.NowMs(), t0 + 350);
    EXPECT_EQ(host.Waits().virtualMsWaited, 350);
    EXPECT_EQ(host.Waits().timeouts, 1);
    EXPECT_EQ(host.Waits().ready, 1);
}

TEST(FakeHostWait, AGonePortEndsTheWaitAtOnce) {
    FakeHost host;
    ScriptedPort port(host.clock());
    port.GoneAt(host.NowMs() + 20);
    EXPECT_EQ(host.Wait({&port, 1, 200, false}), WaitOutcome::DeviceGone);
    const int64_t after = host.NowMs();
    // Once gone, no time passes in later waits.
    EXPECT_EQ(host.Wait({&port, 1, 200, false}), WaitOutcome::DeviceGone);
    EXPECT_EQ(host.Wait({&port, 0, 200, false}), WaitOutcome::DeviceGone);
    EXPECT_EQ(host.NowMs(), after);
    EXPECT_EQ(host.Waits().deviceGone, 3);
}

TEST(FakeHostWait, APortOnAnotherClockStillTakesItsTime) {
    FakeHost host;
    VirtualClock lineClock;  // a line that does not share the host's clock
    ScriptedPort port(lineClock);
    const int64_t t0 = host.NowMs();
    EXPECT_EQ(host.Wait({&port, 1, 200, false}), WaitOutcome::Timeout);
    EXPECT_EQ(host.NowMs(), t0 + 200);
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
        EXPECT_FALSE(std::filesystem::exists(scoped.ProfilePath()));
        ASSERT_TRUE(AppProfile().WriteInt("Settings", "Port", 2));
        EXPECT_TRUE(std::filesystem::exists(scoped.ProfilePath()));
        CurrentHost().Beep(BeepKind::Default);
        EXPECT_EQ(scoped->Beeps().size(), 1u);
    }
    EXPECT_EQ(&CurrentHost(), &outer);
    EXPECT_EQ(&AppProfile(), profileBefore);
    EXPECT_FALSE(std::filesystem::exists(dir));
    EXPECT_TRUE(outer.Beeps().empty());
    SetCurrentHost(before);
}

}  // namespace
}  // namespace qx
