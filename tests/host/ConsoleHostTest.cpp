#include <gtest/gtest.h>
#include <stdlib.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <tuple>

#include "TestPorts.h"
#include "core/host/Clock.h"
#include "core/host/CommandIds.h"
#include "core/host/ConsoleHost.h"
#include "support/MemoryLine.h"
#include "support/ScriptedDevice.h"

namespace qx {
namespace {

using testports::PipePort;

// Captures what the host prints.
class Captured {
  public:
    ~Captured() { std::fclose(file_); }
    std::FILE* get() { return file_; }
    std::string Text() {
        std::string out(static_cast<std::size_t>(std::ftell(file_)), '\0');
        std::rewind(file_);
        out.resize(std::fread(out.data(), 1, out.size(), file_));
        return out;
    }

  private:
    std::FILE* file_ = std::tmpfile();
};

TEST(ConsoleHostMessages, PrintedOnOneLineAndAnsweredCautiously) {
    Captured err;
    ConsoleHost host;
    ConsoleHost yes(true);
    host.SetErrorStream(err.get());
    yes.SetErrorStream(err.get());
    std::string expected;
    for (auto [h, buttons, answer] : {std::tuple{&host, MsgButtons::RetryCancel, MsgResult::Cancel},
                                      {&host, MsgButtons::YesNo, MsgResult::No},
                                      {&host, MsgButtons::YesNoCancel, MsgResult::Cancel},
                                      {&host, MsgButtons::OkCancel, MsgResult::Cancel},
                                      {&host, MsgButtons::Ok, MsgResult::Ok},
                                      {&yes, MsgButtons::YesNo, MsgResult::Yes},
                                      {&yes, MsgButtons::RetryCancel, MsgResult::Cancel}}) {
        EXPECT_EQ(h->MessageBox("Sure?", "Quorvex I", buttons, MsgIcon::Question), answer)
            << expected;
        expected += "Quorvex I: Sure?\n";
    }
    host.MessageBox("Connected\nFirmware 1.0", "Status", MsgButtons::Ok, MsgIcon::None);
    EXPECT_EQ(err.Text(), expected + "Status: Connected / Firmware 1.0\n");
    EXPECT_EQ(host.Shown().size(), 6u);
}

TEST(ConsoleHostEvents, PostedCallsCommandsAndQuit) {
    ConsoleHost host;
    std::vector<int> seen;
    host.SetCommandHandler([&](int id) { seen.push_back(id); });
    host.RouteCommand(cmd::kAppAbout);
    EXPECT_EQ(seen, std::vector<int>{cmd::kAppAbout});

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

TEST(ConsoleHostSignals, CtrlCBecomesAPendingQuitAndWakesASleepingWait) {
    ASSERT_TRUE(ConsoleHost::InstallSignalHandlers());
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    EXPECT_FALSE(host.IsQuitting());
    std::raise(SIGINT);
    EXPECT_TRUE(host.IsQuitting());
    EXPECT_FALSE(host.DispatchPendingEvents());
    // A wait that may not dispatch does not look at the quit.
    port.Send(2);
    EXPECT_EQ(host.Wait({&port, 2, 10000, false}), WaitOutcome::Ready);
    ConsoleHost::ClearSignalQuit();
    EXPECT_FALSE(host.IsQuitting());

    std::thread sender([] {
        RealClock().SleepMs(20);
        std::raise(SIGTERM);
    });
    const int64_t start = RealClock().NowMs();
    EXPECT_EQ(host.Wait({&port, 3, 20000, true}), WaitOutcome::UiEvent);
    sender.join();
    EXPECT_LT(RealClock().NowMs() - start, 20000);
    ConsoleHost::ClearSignalQuit();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

TEST(ConsoleHostWait, BytesThereAreReadyAndAHangUpIsDeviceGoneAtOnce) {
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    port.Send(5);
    EXPECT_EQ(host.Wait({&port, 5, 20000, true}), WaitOutcome::Ready);
    EXPECT_EQ(host.Wait({&port, 1, 20000, false}), WaitOutcome::Ready);
    port.CloseFarEnd();
    EXPECT_EQ(host.Wait({&port, 6, 20000, false}), WaitOutcome::DeviceGone);
    // A pure time wait on that port notices the hang-up too.
    EXPECT_EQ(host.Wait({&port, 0, 20000, true}), WaitOutcome::DeviceGone);
}

TEST(ConsoleHostWait, ReadableDataThatIsNotEnoughNeverMakesAWaitSpin) {
    ConsoleHost host;
    PipePort port;
    ASSERT_TRUE(port.Valid());
    port.SetByteTimeUs(40000);  // the missing bytes take longer than the wait
    port.Send(3);
    // The descriptor stays readable all along; a wait that polled it would look thousands of times.
    EXPECT_EQ(host.Wait({&port, 10, 60, false}), WaitOutcome::Timeout);
    EXPECT_LE(port.rxCountCalls, 4);
    EXPECT_EQ(host.Wait({&port, 0, 30, false}), WaitOutcome::Ready);
    EXPECT_LE(port.isGoneCalls, 4);
    EXPECT_EQ(host.Wait({nullptr, 0, 0, false}), WaitOutcome::Ready);
}

TEST(ConsoleHostWait, AnInMemoryLineWaitsOnItsOwnClock) {
    ConsoleHost host;
    VirtualClock lineClock;
    test::ScriptedDevice device;
    serial::MemoryLine line(lineClock, &device);
    const int64_t t0 = lineClock.NowMs();
    // With dispatch allowed it waits in slices, still only as long as asked.
    EXPECT_EQ(host.Wait({&line, 1, 320, true}), WaitOutcome::Timeout);
    EXPECT_EQ(lineClock.NowMs(), t0 + 320);

    device.SendAt(t0 + 330, {1, 2});
    EXPECT_EQ(host.Wait({&line, 2, 200, true}), WaitOutcome::Ready);
    EXPECT_EQ(lineClock.NowMs(), t0 + 330);
    line.SetGone(true);
    EXPECT_EQ(host.Wait({&line, 3, 200, false}), WaitOutcome::DeviceGone);
    EXPECT_EQ(lineClock.NowMs(), t0 + 330);
}

}  // namespace
}  // namespace qx
