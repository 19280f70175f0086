// The RAM monitor engine against a scripted module on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/host/CommandIds.h"
#include "link/LinkFixture.h"

namespace qx::test {
namespace {

using CE = CommPort::CommError;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

constexpr const char* kBroken = "Connection to Module Has Been Broken";
constexpr const char* kCancelFailed =
    "Unable to write cancel request to controller!\nRamMonitor::Stop";
constexpr const char* kFailedLine =
    "\r\nRamMonitor::UpdateRamImage, CommPort::CommError::CheckSumError";

// A packet of the 14-byte block of firmware 1.10 counting up from first.
Bytes Packet(uint8_t first) {
    Bytes data(14);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(first + i);
    return Frame(0x83, data);
}

class Monitor : public LinkFixture {
  protected:
    RamMonitor& Mon() { return RamMonitor::Instance(); }
    // Links with firmware 1.10 and a module that streams a packet every 20 ms on request.
    void LinkStreaming() {
        Link(0x1A);
        device.StreamOnRequest(kMonitorRequest, Packet(0x30), 20);
    }
    void StopAt(int64_t inMs) {
        host->ScheduleEventIn(inMs, [] { RamMonitor::Instance().Stop(); });
    }
    void RecordRefreshes() {
        recording = Mon().Samples().Subscribe([this](LiveSource& source, bool first) {
            EXPECT_EQ(&source, &Mon());
            refreshes.push_back(first);
        });
    }
    std::vector<bool> refreshes;
    SampleChannel::Hold recording;
};

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
    }
    EXPECT_TRUE(postponed);
    EXPECT_TRUE(host->RoutedCommands().empty());
    host->SetModalActive(true);  // delivered under a question box: it waits for the box
    host->RunPosted(5);
    EXPECT_TRUE(host->RoutedCommands().empty());
    host->SetModalActive(false);
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{57}));
    {
        // Another command started meanwhile: its end replays, not the stale post.
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
        postponed = Mon().PostponeCommandIfBusy(cmd::kUpload, true);
    });
    ASSERT_TRUE(Port().EstablishLink());
    EXPECT_TRUE(postponed);
    EXPECT_EQ(firmwareThen, 0xFF);
    EXPECT_EQ(device.CountOf(kMonitorRequest), 0u);
    EXPECT_EQ(Port().BusyCount(), 0);
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{cmd::kUpload}));
}

TEST_F(Monitor, StartAndStopWithDrain) {
    LinkStreaming();
    EXPECT_TRUE(Mon().Stop());     // not running: nothing sent
    EXPECT_TRUE(Mon().Suspend());  // nor suspended
    EXPECT_FALSE(Mon().IsSuspended());
    EXPECT_TRUE(line->Written().empty());
    ASSERT_TRUE(Mon().Start());
    EXPECT_TRUE(Mon().Start());  // already running
    EXPECT_EQ(line->Written(), kMonitorRequest);
    host->AdvanceMs(300);
    EXPECT_GE(Port().ReceiveCount(), 200u);
    line->ClearWritten();
    ASSERT_TRUE(Mon().Stop());
    EXPECT_EQ(line->Written(), (Bytes{0x18, 0x18}));
    EXPECT_EQ(Port().ReceiveCount(), 0u);
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsReading());
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_NE(host->TraceText().find("\r\nRamMonitor::Start"), std::string::npos);
    EXPECT_NE(host->TraceText().find("\r\nRamMonitor::Stop"), std::string::npos);
}

TEST_F(Monitor, RequestsThatCannotBeWrittenAreReported) {
    LinkStreaming();
    ASSERT_TRUE(Mon().Start());
    line->SetRefuseWrites(true);
    EXPECT_FALSE(Mon().Suspend());
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsSuspended());
    EXPECT_FALSE(Mon().Start());
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_EQ(host->MessageTexts(),
              (Texts{kCancelFailed,
                     "Unable to write monitor start request to controller!\nRamMonitor::Start"}));
    EXPECT_EQ(host->Messages()[0].caption, "Quorvex I");
}

// A memory line whose transmit queue can be made never to drain (a failing adapter).
class StuckTransmitPort final : public serial::InFrontOfLine {
  public:
    using InFrontOfLine::InFrontOfLine;
    std::size_t TXCount() override { return stuck ? 7 : 0; }
    void TXFlush() override {}
    bool stuck = false;
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
    EXPECT_EQ(host->NowMs() - start, 200 * 6);  // Timeout x (Retries + 1)
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsReading());
}

TEST_F(Monitor, AChecksumErrorDropsThePacketOtherErrorsSuspend) {
    SetProfile("Monitor Beep On Failure", 1);
    Link(0x1A);
    ASSERT_TRUE(Mon().Start());
    line->Feed(Packet(0x10));
    CE error = CE::TimeoutError;
    ASSERT_TRUE(Mon().UpdateRamImage(&error));
    EXPECT_EQ(error, CE::NoError);
    EXPECT_TRUE(Mon().IsImageValid());
    uint8_t bytes[60];
    std::memset(bytes, 0xEE, sizeof bytes);
    EXPECT_TRUE(Mon().GetImageBytes(bytes, 0x41, 3));
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x11, 0x12, 0x13, 0xEE}));
    // Reads outside the streamed block copy nothing.
    EXPECT_FALSE(Mon().GetImageBytes(bytes + 10, 0x4D, 2));  // runs past the 14-byte block
    EXPECT_FALSE(Mon().GetImageBytes(bytes + 10, 0x3F, 1));
    EXPECT_FALSE(Mon().GetImageBytes(bytes + 10, 0x45, 57));  // the other firmware's block
    EXPECT_EQ(Bytes(bytes + 10, bytes + 12), (Bytes{0xEE, 0xEE}));
    EXPECT_TRUE(host->Beeps().empty());

    auto bad = Packet(0x20);
    bad[bad.size() - 2] ^= 0x5A;
    line->Feed(bad);
    EXPECT_FALSE(Mon().UpdateRamImage(&error));
    EXPECT_EQ(error, CE::CheckSumError);
    EXPECT_TRUE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsImageValid());
    EXPECT_EQ(host->TraceText().find(kFailedLine), std::string::npos);
    EXPECT_FALSE(Mon().GetImageBytes(bytes, 0x40, 1));
    EXPECT_EQ(bytes[0], 0x20);  // the bytes as received stay in the image

    // A bad start byte and a length error lose the framing: the stream is suspended.
    for (const auto& [fed, expected] :
         {std::pair{Bytes{0x41, 0x42}, CE::StartByteError},
          std::pair{Bytes{2, 0xC8, 0, 0x83, 1, 2, 3}, CE::LengthError}}) {
        SCOPED_TRACE(static_cast<int>(expected));
        ASSERT_TRUE(Mon().Start());
        host->ClearRecords();
        line->Feed(fed);
        EXPECT_FALSE(Mon().UpdateRamImage(&error));
        EXPECT_EQ(error, expected);
        EXPECT_FALSE(Mon().IsRunning());
        EXPECT_TRUE(Mon().IsSuspended());
        EXPECT_NE(host->TraceText().find(kFailedLine), std::string::npos);
        EXPECT_EQ(host->Beeps().at(0), BeepKind::Default);
    }
}

// ---- The Run loop ---------------------------------------------------------------

TEST_F(Monitor, RunRefreshesAndSleepsBetweenPackets) {
    LinkStreaming();
    RecordRefreshes();
    StopAt(1000);
    Mon().Run();
    EXPECT_FALSE(Mon().IsRunning());
    EXPECT_FALSE(Mon().IsRunActive());
    ASSERT_GE(refreshes.size(), 45u);
    EXPECT_EQ(std::count(refreshes.begin(), refreshes.end(), true), 1);
    EXPECT_TRUE(refreshes[0]);
    // One wake per packet or so, not a polling loop.
    EXPECT_LE(host->Waits().calls, static_cast<int>(2 * refreshes.size() + 20));
    const std::string trace = host->TraceText();
    EXPECT_EQ(trace.find("\r\nRamMonitor::Run\r\n+- Starting Monitor from RamMonitor::Run"), 0u);
    EXPECT_EQ(trace.find("Stopping Monitor"), std::string::npos);
}

TEST_F(Monitor, ABacklogBeyondThresholdTimesPacketLengthRestartsTheStream) {
    for (bool beyond : {false, true}) {  // 50 packets of 20 bytes, then one byte more
        SCOPED_TRACE(beyond);
        Fresh();
        Link(0x1A);
        RecordRefreshes();
        refreshes.clear();
        Bytes backlog;
        for (int i = 0; i < 50; ++i) {
            const auto p = Packet(static_cast<uint8_t>(i));
            backlog.insert(backlog.end(), p.begin(), p.end());
        }
        backlog.resize(beyond ? 1001 : 1000, 0x02);
        line->Feed(backlog);
        StopAt(100);
        Mon().Run();
        EXPECT_EQ(refreshes.size(), beyond ? 0u : 50u);  // a discarded backlog is never shown
        EXPECT_EQ(device.CountOf(kMonitorRequest), beyond ? 2u : 1u);
        EXPECT_EQ(host->TraceText().find("\r\n+- Stopping Monitor from RamMonitor::Run after 0 "
                                         "packet reads \r\nRamMonitor::Stop") != std::string::npos,
                  beyond);
    }
}

TEST_F(Monitor, ACommandInsideRunSuspendsAndRestartsWithAFirstUpdate) {
    LinkStreaming();
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
        EXPECT_TRUE(Mon().PostponeCommandIfBusy(77, true));
    });
    StopAt(4000);  // the cancelled stream sends no last packet: Stop waits out its response
    Mon().Run();
    EXPECT_TRUE(suspendedInside);
    EXPECT_TRUE(readOk);
    EXPECT_EQ(device.CountOf(kMonitorRequest), 2u);
    ASSERT_GT(refreshes.size(), refreshesBefore + 2);
    EXPECT_TRUE(refreshes[refreshesBefore]);
    EXPECT_FALSE(refreshes[refreshesBefore + 1]);
    EXPECT_EQ(std::count(refreshes.begin(), refreshes.end(), true), 2);
    EXPECT_TRUE(host->Messages().empty());
    // A command postponed inside Run is replayed by the loop itself, none by the main loop.
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{77}));
    host->RunPosted();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{77}));
}

TEST_F(Monitor, CommandsQueuedBehindToggleMonitoringRunInsideTheMonitorLoop) {
    LinkStreaming();
    constexpr int kToggle = 1, kDownload = 2, kUpload = 3;
    std::vector<std::pair<int, bool>> ran;  // id, and whether monitoring was on then
    host->SetCommandHandler([&](int id) {
        ran.emplace_back(id, Mon().IsRunActive());
        if (id == kToggle) Mon().Run();
    });
    {
        CommandBusyScope busy(false);
        for (int id : {kToggle, kDownload, kUpload}) Mon().PostponeCommandIfBusy(id, true);
    }
    StopAt(500);  // the user stops monitoring
    host->RunPosted();
    EXPECT_EQ(ran, (std::vector<std::pair<int, bool>>{
                       {kToggle, false}, {kDownload, true}, {kUpload, true}}));
    EXPECT_TRUE(Mon().PostponedCommands().empty());
}

// What happens inside Run, 105 ms after it started the stream.
enum class Inside { BreakLink, DeviceGone, FailedCancel, Quit, StopWhileSuspended };

TEST_F(Monitor, RunEndsOnWhatHappensInsideItAndNeverRestartsTheStream) {
    for (Inside what : {Inside::BreakLink, Inside::DeviceGone, Inside::FailedCancel, Inside::Quit,
                        Inside::StopWhileSuspended}) {
        SCOPED_TRACE(static_cast<int>(what));
        Fresh();
        host->SetQuitting(false);
        LinkStreaming();
        std::size_t receivedThen = 0;
        host->ScheduleEventIn(105, [&] {
            if (what == Inside::BreakLink) Port().BreakLink();
            if (what == Inside::DeviceGone) line->SetGone(true);
            if (what == Inside::FailedCancel) line->SetRefuseWrites(true);
            if (what == Inside::Quit) host->SetQuitting();
            if (what == Inside::StopWhileSuspended) {
                CommandBusyScope busy(false);
                Mon().PostponeCommandIfBusy(78, true);
                Mon().Stop();  // Toggle Monitoring while a command holds the stream
            } else if (what == Inside::FailedCancel) {
                Mon().Stop();
            }
            receivedThen = device.Received().size();
        });
        Mon().Run();
        const bool broken = what == Inside::BreakLink || what == Inside::DeviceGone;
        EXPECT_EQ(Port().IsLinked(), !broken);
        EXPECT_FALSE(Mon().IsRunActive());
        EXPECT_FALSE(Mon().IsSuspended());
        EXPECT_EQ(Mon().IsRunning(), what == Inside::Quit);
        EXPECT_EQ(host->MessageTexts(), broken                         ? Texts{kBroken}
                                        : what == Inside::FailedCancel ? Texts{kCancelFailed}
                                                                       : Texts{});
        if (what != Inside::Quit) {
            EXPECT_EQ(device.Received().size(), receivedThen);
        }
        EXPECT_EQ(host->QuitPosts(),
                  what == Inside::Quit ? std::vector<int>{0} : std::vector<int>{});
        // A command left when Run ends is replayed from the main loop.
        EXPECT_TRUE(host->RoutedCommands().empty());
        host->RunPosted();
        EXPECT_EQ(host->RoutedCommands().size(), what == Inside::StopWhileSuspended ? 1u : 0u);
        if (!broken) continue;
        Mon().Run();  // a later Run on the dead link does nothing
        EXPECT_EQ(device.CountOf(kMonitorRequest), 1u);
    }
}

// ---- The sample channel -----------------------------------------------------------

// Each packet of a stream reaches every subscriber once, in the order they
// subscribed and the packets came, and none reaches one that has left.
TEST_F(Monitor, EachPacketReachesEverySubscriberOnceInOrderUntilItLeaves) {
    LinkStreaming();
    std::vector<std::pair<char, int64_t>> got;
    SampleChannel& samples = Mon().Samples();
    SampleChannel::Hold a = samples.Subscribe([&](LiveSource& s, bool) {
        got.push_back({'a', s.SampleTimeMs()});
        if (got.size() == 9) a.Reset();  // a leaves at its fifth packet
    });
    const SampleChannel::Hold b = samples.Subscribe([&](LiveSource& s, bool) {
        got.push_back({'b', s.SampleTimeMs()});
    });
    StopAt(500);
    Mon().Run();
    ASSERT_GE(got.size(), 20u);
    int64_t last = -1;
    std::size_t i = 0;
    for (int packet = 0; i < got.size(); ++packet) {
        SCOPED_TRACE(packet);
        const int64_t t = got[i].second;
        EXPECT_GT(t, last);  // a later packet, never one told before
        last = t;
        const std::string expected = packet < 5 ? "ab" : "b";
        for (char who : expected) {
            ASSERT_LT(i, got.size());
            EXPECT_EQ(got[i].first, who);
            EXPECT_EQ(got[i].second, t);
            ++i;
        }
    }
    EXPECT_EQ(samples.SubscriberCount(), 1u);
}

class StillSource final : public LiveSource {
  public:
    bool GetImageBytes(uint8_t*, uint16_t, std::size_t) override { return false; }
    bool BacksValues() const override { return false; }
    bool ShowsLiveBar() const override { return false; }
    int64_t SampleTimeMs() const override { return 0; }
};

// What one subscriber does to the others while it is told of the first
// sample: the rest of that delivery and the next one follow the change.
// Each subscriber is an object of its own on the heap, destroyed (and its
// memory freed) where a case says: a sanitizer sees any later use.
struct Subscriber {
    SampleChannel::Hold hold;
    std::string name;
};
using Subscribers = std::vector<std::unique_ptr<Subscriber>>;
using AddSubscriber = std::function<void(const char*, std::function<void()>)>;

TEST(SampleChannel, SubscribersChangedDuringADeliveryAreToldExactlyOnce) {
    struct Case {
        const char* name;
        void (*act)(Subscribers&, const AddSubscriber&);  // done by b during sample 1
        const char* told;
    };
    const Case cases[] = {
        {"nothing changes", [](Subscribers&, const AddSubscriber&) {}, "1a 1b 1c 2a 2b 2c"},
        {"b leaves", [](Subscribers& s, const AddSubscriber&) { s[1].reset(); }, "1a 1b 1c 2a 2c"},
        {"b drops c", [](Subscribers& s, const AddSubscriber&) { s[2].reset(); }, "1a 1b 2a 2b"},
        {"b drops a", [](Subscribers& s, const AddSubscriber&) { s[0].reset(); }, "1a 1b 1c 2b 2c"},
        {"b adds d", [](Subscribers&, const AddSubscriber& add) { add("d", {}); },
         "1a 1b 1c 2a 2b 2c 2d"},
        {"b ends every subscriber", [](Subscribers& s, const AddSubscriber&) { s.clear(); },
         "1a 1b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StillSource source;
        SampleChannel channel(&source);
        std::string told;
        int sample = 1;
        Subscribers subs;
        AddSubscriber add = [&](const char* name, std::function<void()> act) {
            auto sub = std::make_unique<Subscriber>();
            sub->name = name;
            Subscriber* self = sub.get();
            sub->hold = channel.Subscribe([&, self, act](LiveSource& s, bool first) {
                EXPECT_EQ(&s, &source);
                EXPECT_EQ(first, sample == 1);
                told += (told.empty() ? "" : " ") + std::to_string(sample) + self->name;
                if (sample == 1 && act) act();
            });
            subs.push_back(std::move(sub));
        };
        add("a", {});
        add("b", [&] { c.act(subs, add); });
        add("c", {});
        channel.Publish(source, true);
        sample = 2;
        channel.Publish(source, false);
        EXPECT_EQ(told, c.told);
    }
}

// A source put in front is the one read until its hold goes; holds of a
// channel that has gone do nothing.
TEST(SampleChannel, TheSourceInFrontLastsAsLongAsItsHold) {
    StillSource monitor, player, other;
    SampleChannel::Hold late;
    {
        SampleChannel channel(&monitor);
        EXPECT_EQ(channel.Active(), &monitor);
        {
            const SampleChannel::Hold front = channel.PutInFront(player);
            EXPECT_EQ(channel.Active(), &player);
            EXPECT_EQ(channel.Front(), &player);
        }
        EXPECT_EQ(channel.Active(), &monitor);
        EXPECT_EQ(channel.Front(), nullptr);
        late = channel.PutInFront(other);
        EXPECT_EQ(channel.Active(), &other);
    }
    late.Reset();  // after the channel: nothing to undo
    EXPECT_FALSE(late);
}

}  // namespace
}  // namespace qx::test
