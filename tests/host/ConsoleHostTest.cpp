#include <gtest/gtest.h>
#include <stdlib.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "TestPorts.h"
#include "host/Clock.h"
#include "host/ConsoleHost.h"

namespace qx {
namespace {

using testports::PipePort;
using testports::ScriptedPort;

// Captures what the host prints.
class Captured {
  public:
    Captured() : file_(std::tmpfile()) {}
    ~Captured() {
        if (file_) std::fclose(file_);
    }
    std::FILE* get() { return file_; }
    std::string Text() {
        std::fflush(file_);
        std::string out;
        std::rewind(file_);
        char buffer[256];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) out.append(buffer, n);
        return out;
    }

  private:
    std::FILE* file_;
};

TEST(ConsoleHostMessages, PrintedOnOneLineAndAnsweredCautiously) {
    Captured err;
    ConsoleHost host;
    host.SetErrorStream(err.get());
    EXPECT_EQ(host.MessageBox("Unable to Initialize Serial Port.", "Communications Error...",
                              MsgButtons::RetryCancel, MsgIcon::Error),
              MsgResult::Cancel);
    EXPECT_EQ(host.MessageBox("Upload?", "Quorvex I", MsgButtons::YesNo, MsgIcon::Question),
              MsgResult::No);
    EXPECT_EQ(host.MessageBox("Save?", "Quorvex I", MsgButtons::YesNoCancel, MsgIcon::Question),
              MsgResult::Cancel);
    EXPECT_EQ(host.MessageBox("Sure?", "Quorvex I", MsgButtons::OkCancel, MsgIcon::Question),
              MsgResult::Cancel);
    EXPECT_EQ(host.MessageBox("Connection to Module Successfully Established\nFirmware Version "
                              "No. 1.0",
                              "Communications Status...", MsgButtons::Ok, MsgIcon::None),
              MsgResult::Ok);
    EXPECT_EQ(err.Text(),
              "Communications Error...: Unable to Initialize Serial Port.\n"
              "Quorvex I: Upload?\n"
              "Quorvex I: Save?\n"
              "Quorvex I: Sure?\n"
              "Communications Status...: Connection to Module Successfully Established / "
              "Firmware Version No. 1.0\n");
    EXPECT_EQ(host.Shown().size(), 5u);

    ConsoleHost yes(true);
    yes.SetErrorStream(err.get());
    EXPECT_EQ(yes.MessageBox("Upload?", "Quorvex I", MsgButtons::YesNo, MsgIcon::Question),
              MsgResult::Yes);
    EXPECT_EQ(yes.MessageBox("Retry?", "x", MsgButtons::RetryCancel, MsgIcon::None),
              MsgResult::Cancel);
}

TEST(ConsoleHostOutput, TracesAlwaysLoggedAndPrintedOnlyWhenEnabled) {
    Captured err;
    ConsoleHost host;
    host.SetErrorStream(err.get());
    host.SetTraceToStream(false);
    host.Trace("\r\nRestart");
    host.ShowWaitWindow("Please wait...");
    host.Beep(BeepKind::Error);  // not a terminal: silent
    EXPECT_EQ(err.Text(), "");
    host.SetTraceToStream(true);
    host.SetVerbose(true);
    host.SetBeepEnabled(true);
    host.Trace("\r\nAgain");
    host.ShowWaitWindow("Please wait...");
    host.Beep(BeepKind::Error);
    EXPECT_EQ(err.Text(), "\r\nAgainPlease wait...\n");
    EXPECT_EQ(host.TraceLog(), "\r\nRestart\r\nAgain");
}

TEST(ConsoleHostOutput, TraceFollowsTheEnvironment) {
    Captured err;
    setenv("QUORVEXI_TRACE", "1", 1);
    ConsoleHost on;
    unsetenv("QUORVEXI_TRACE");
    ConsoleHost off;
    on.SetErrorStream(err.get());
    off.SetErrorStream(err.get());
    on.Trace("a");
    off.Trace("b");
    EXPECT_EQ(err.Text(), "a");
}

TEST(ConsoleHostEvents, PostedCallsAndCommands) {
    ConsoleHost host;
    std::vector<int> seen;
    host.SetCommandHandler([&](int id) { seen.push_back(id); });
    host.RouteCommand(57664);
    EXPECT_EQ(seen, std::vector<int>{57664});

    int ran = 0;
    host.Post([&] {
        ++ran;
        host.Post([&] { ++ran; });
    });
    EXPECT_TRUE(host.HasPendingEvent());
    EXPECT_EQ(host.Wait({nullptr, 0, 10000, true}), WaitOutcome::UiEvent);
    EXPECT_TRUE(host.DispatchPendingEvents());
    EXPECT_EQ(ran, 2);
    EXPECT_FALSE(host.HasPendingEvent());

    host.PostQuit(3);
    EXPECT_TRUE(host.IsQuitting());
    EXPECT_EQ(host.ExitCode(), 3);
    EXPECT_FALSE(host.DispatchOneEvent());
    EXPECT_EQ(host.Wait({nullptr, 0, 10000, true}), WaitOutcome::UiEvent);
}

class ConsoleHostSignals : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(ConsoleHost::InstallSignalHandlers()); }
    void TearDown() override {
        ConsoleHost::ClearSignalQuit();
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
};

TEST_F(ConsoleHostSignals, CtrlCBecomesAPendingQuit) {
    ConsoleHost host;
    EXPECT_FALSE(host.IsQuitting());
    std::raise(SIGINT);
    EXPECT_TRUE(host.IsQuitting());
    EXPECT_TRUE(host.HasPendingEvent());
    EXPECT_FALSE(host.DispatchOneEvent());
    EXPECT_FALSE(host.DispatchPendingEvents());
    EXPECT_EQ(host.Wait({nullptr, 0, 10000, true}), WaitOutcome::UiEvent);

    // A wait that may not dispatch does not look at the quit.
    PipePort port;
    ASSERT_TRUE(port.Valid());
    port.Send(2);
    EXPECT_EQ(host.Wait({&port, 2, 10000, false}), WaitOutcome::Ready);

    ConsoleHost::ClearSignalQuit();
    EXPECT_FALSE(host.IsQuitting());
}

TEST_F(ConsoleHostSignals, ASignalWakesASleepingWait) {
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    std::thread sender([] {
        RealClock().SleepMs(20);
        std::raise(SIGTERM);
    });
    const int64_t start = RealClock().NowMs();
    WaitOutcome outcome = host.Wait({&port, 1, 20000, true});
    const int64_t took = RealClock().NowMs() - start;
    sender.join();
    EXPECT_EQ(outcome, WaitOutcome::UiEvent);
    EXPECT_LT(took, 20000);
}

TEST(ConsoleHostWait, BytesAlreadyThereAreReadyAtOnce) {
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    port.Send(5);
    EXPECT_EQ(host.Wait({&port, 5, 20000, true}), WaitOutcome::Ready);
    EXPECT_EQ(host.Wait({&port, 1, 20000, false}), WaitOutcome::Ready);
}

TEST(ConsoleHostWait, AHangUpEndsTheWaitAsDeviceGone) {
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    port.CloseFarEnd();
    EXPECT_EQ(host.Wait({&port, 1, 20000, false}), WaitOutcome::DeviceGone);
    // A pure time wait on that port notices the hang-up too.
    EXPECT_EQ(host.Wait({&port, 0, 20000, true}), WaitOutcome::DeviceGone);
}

TEST(ConsoleHostWait, FewerBytesThanWantedDoNotMakeTheWaitSpin) {
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    port.SetByteTimeUs(40000);  // the missing bytes take longer than the wait
    port.Send(3);
    EXPECT_EQ(host.Wait({&port, 10, 60, false}), WaitOutcome::Timeout);
    // The descriptor stays readable all along; a wait that polled it would
    // have looked thousands of times.
    EXPECT_LE(port.rxCountCalls, 4);
}

TEST(ConsoleHostWait, ATimeWaitIgnoresReadableData) {
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    port.Send(1);
    EXPECT_EQ(host.Wait({&port, 0, 30, false}), WaitOutcome::Ready);
    EXPECT_LE(port.isGoneCalls, 4);
    EXPECT_EQ(host.Wait({nullptr, 0, 0, false}), WaitOutcome::Ready);
}

TEST(ConsoleHostWait, AnInMemoryLineWaitsOnItsOwnClock) {
    ConsoleHost host;
    VirtualClock lineClock;
    ScriptedPort line(lineClock);
    const int64_t t0 = lineClock.NowMs();
    EXPECT_EQ(host.Wait({&line, 1, 200, false}), WaitOutcome::Timeout);
    EXPECT_EQ(line.waitTimeouts, std::vector<int>{200});
    EXPECT_EQ(lineClock.NowMs(), t0 + 200);

    // With dispatch allowed it waits in slices, still only as long as asked.
    line.waitTimeouts.clear();
    EXPECT_EQ(host.Wait({&line, 1, 120, true}), WaitOutcome::Timeout);
    EXPECT_EQ(line.waitTimeouts, (std::vector<int>{50, 50, 20}));
    EXPECT_EQ(lineClock.NowMs(), t0 + 320);

    line.ArriveAt(t0 + 330, 2);
    EXPECT_EQ(host.Wait({&line, 2, 200, true}), WaitOutcome::Ready);
    line.GoneAt(t0 + 340);
    EXPECT_EQ(host.Wait({&line, 3, 200, false}), WaitOutcome::DeviceGone);
}

TEST(CurrentHostTest, FallsBackToAConsoleHost) {
    Host* previous = SetCurrentHost(nullptr);
    Host& fallback = CurrentHost();
    EXPECT_NE(dynamic_cast<ConsoleHost*>(&fallback), nullptr);
    EXPECT_EQ(&CurrentHost(), &fallback);
    SetCurrentHost(previous);
}

}  // namespace
}  // namespace qx
