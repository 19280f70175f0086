// The link on the virtual clock: frames and responses byte for byte, its waits,
// recovery, establishing and breaking, against a scripted module and the emulator.
#include <gtest/gtest.h>

#include <cstring>

#include "link/LinkFixture.h"
#include "support/EmulatorLine.h"

namespace qx::test {
namespace {

using Bytes = std::vector<uint8_t>;
using CE = CommPort::CommError;
using Texts = std::vector<std::string>;
const std::string kBroken = "Communications Status...: Connection to Module Has Been Broken";
const std::string kFill =
    "Reset Error: Receive Buffer Continuing to Fill!\nConnection to Module Has Been Broken";
const Bytes kReadB661 = {2, 5, 0, 1, 0x61, 0xB6, 0x11, 0, 0xE3, 3};

// Accepts the wake-up bytes, then refuses every write (a failing adapter).
struct RefusesAfterWakeUp final : serial::LineDevice {
    void OnHostByte(uint8_t, int64_t) override {
        if (++bytes == 2) line->SetRefuseWrites(true);
    }
    void Produce(int64_t, std::vector<uint8_t>&) override {}
    int64_t NextOutputTime(int64_t) override { return -1; }
    serial::MemoryLine* line = nullptr;
    int bytes = 0;
};

class LinkTests : public LinkFixture {
  protected:
    emu::EmulatorLine module;
};

TEST_F(LinkTests, GivesUpAfterOnePlusRetriesSleepingWaits) {
    Link();
    int64_t start = host->NowMs();
    uint8_t b = 0xEE;
    EXPECT_FALSE(Port().ReadByte(b));
    EXPECT_EQ(b, 0);
    EXPECT_EQ(host->NowMs() - start, 6 * 200);
    host->ClearRecords();
    start = host->NowMs();
    EXPECT_FALSE(Port().WaitForResponse(false));
    EXPECT_EQ(host->NowMs() - start, 11 * 200);
    // It slept in the host: a handful of waits, not a polling loop.
    EXPECT_GE(host->Waits().calls, 1);
    EXPECT_LE(host->Waits().calls, 11);
}

TEST_F(LinkTests, WaitsWakeForDataAndUiEventsButNotInsideAPumpBlock) {
    Link();
    device.SendAt(host->NowMs() + 50, {0x42});
    int dispatched = 0;
    host->ScheduleEventIn(20, [&] { ++dispatched; });
    int64_t start = host->NowMs();
    EXPECT_TRUE(Port().WaitForData());
    EXPECT_EQ(dispatched, 1);
    EXPECT_EQ(host->NowMs() - start, 50);

    device.Stream(Frame(0x83, {1, 2}), host->NowMs() + 1, 5, false);
    host->ScheduleEventIn(10, [&] { ++dispatched; });
    host->ClearRecords();
    {
        PumpBlockScope block;
        start = host->NowMs();
        EXPECT_TRUE(Port().Pause(150));
        EXPECT_EQ(host->NowMs() - start, 150);
    }
    EXPECT_EQ(dispatched, 1);
    for (const auto& request : host->WaitRequests()) {
        EXPECT_FALSE(request.dispatch);
        EXPECT_EQ(request.port, nullptr);
    }
    EXPECT_TRUE(Port().Pause(10));
    EXPECT_EQ(dispatched, 2);

    device.GoSilent();
    line->RXFlush();
    host->SetQuitting();  // quitting: every wait fails at once and posts a quit
    start = host->NowMs();
    EXPECT_FALSE(Port().WaitForData());
    EXPECT_FALSE(Port().WaitForResponse(true));
    EXPECT_FALSE(Port().Pause(1000));
    EXPECT_EQ(host->NowMs(), start);
    EXPECT_EQ(host->QuitPosts().at(0), 0);
}

TEST_F(LinkTests, QueriesAreSafeWhileDown) {
    CommPort& port = Port();
    uint8_t b = 1;
    auto error = CommPort::CommError::EndByteError;
    EXPECT_EQ((std::vector<bool>{
                  port.IsLinked(), port.ReadByte(b), port.WriteByte(1), port.WaitForData(),
                  port.Pause(10), port.SendRequest(Request::Identify()),
                  port.ReadResponse(b, &b, 1, &error, true),
                  port.ReadModuleMemoryBlock(&b, 0xB600, 1), port.WriteModuleByte(0xB600, 1)}),
              std::vector<bool>(9, false));
    EXPECT_EQ((std::vector<bool>{port.ReceiveEmpty(), port.TransmitEmpty(),
                                 port.WaitForResponse(true), port.ResetError()}),
              std::vector<bool>(4, true));
    EXPECT_EQ(error, CommPort::CommError::EndByteError);
    EXPECT_EQ(port.ReceiveCount(), 0u);
    EXPECT_EQ(port.ReadAvailable(&b, 1), 0u);
    EXPECT_EQ(port.FirmwareVersion(), 0xFF);
    EXPECT_FALSE(port.HasOpenPort());
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(LinkTests, ResetErrorOnAQuietLineAndWithAPendingLineError) {
    Link();
    const int64_t start = host->NowMs();
    EXPECT_TRUE(Port().ResetError());
    EXPECT_EQ(host->NowMs() - start, 200);
    EXPECT_TRUE(host->Messages().empty());
    line->InjectLineError(0x0004);
    line->Feed({1, 2, 3});
    EXPECT_TRUE(Port().ResetError());
    EXPECT_EQ(Boxes(), (Texts{"Reset Error: Low Level Communications Error!"}));
    EXPECT_TRUE(Port().IsLinked());
    EXPECT_EQ(Port().ReceiveCount(), 0u);
}

TEST_F(LinkTests, OnALineThatNeverGoesQuietFlushAndResetErrorGiveUp) {
    Link();
    device.Stream(Frame(0x83, Bytes(14, 1)), host->NowMs(), 20, false);  // never cancelled
    const int64_t start = host->NowMs();
    EXPECT_FALSE(Port().FlushBuffers());
    EXPECT_EQ(host->NowMs() - start, 6 * 200);
    EXPECT_FALSE(Port().ResetError());
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(Boxes(), (Texts{kFill}));
    EXPECT_LE(host->NowMs() - start, 3 * 6 * 200);
}

TEST_F(LinkTests, ADeviceGoneBeforeOrDuringTheReplyBreaksTheLinkWithOneMessage) {
    for (int goneAtMs : {-1, 100}) {
        SCOPED_TRACE(goneAtMs);
        Fresh();
        Link();
        const Bytes reply = Frame(0x81, Bytes(17, 3));
        device.Expect(kReadB661, Bytes(reply.begin(), reply.begin() + 6), 5);
        if (goneAtMs < 0) line->SetGone(true);
        if (goneAtMs >= 0) host->ScheduleEventIn(goneAtMs, [&] { line->SetGone(true); });
        uint8_t block[17];
        EXPECT_FALSE(Port().ReadModuleMemoryBlock(block, 0xB661, 17));
        EXPECT_FALSE(Port().IsLinked());
        EXPECT_EQ(Boxes(), (Texts{kBroken}));
        EXPECT_EQ(host->LinkIndicatorCalls(), (std::vector<bool>{false}));
        EXPECT_EQ(host->Beeps(), (std::vector<BeepKind>{BeepKind::Error}));
        EXPECT_LE(device.CountOf(kReadB661), 1u);
    }
}

TEST_F(LinkTests, ReadsABlockRecoveringFromABadFrameAndGivesUpAfterTheRetries) {
    Link();
    Bytes values(17);
    for (int i = 0; i < 17; ++i) values[i] = static_cast<uint8_t>(i * 3);
    device.Expect(kReadB661, {0x02, 0x00, 0x00, 0x81, 0x55, 0x55}, 5);  // length 0
    device.Expect(kReadB661, Frame(0x81, values), 5);
    uint8_t block[17] = {};
    ASSERT_TRUE(Port().ReadModuleMemoryBlock(block, 0xB661, 17));
    EXPECT_EQ(Bytes(block, block + 17), values);
    EXPECT_EQ(device.CountOf(kReadB661), 2u);
    EXPECT_TRUE(host->Messages().empty());

    EXPECT_FALSE(Port().ReadModuleMemoryBlock(block, 0xB600, 4));  // never answered
    EXPECT_EQ(device.CountOf({2, 5, 0, 1, 0x00, 0xB6, 4, 0}), 6u);
    EXPECT_EQ(Boxes(), (Texts{"Quorvex I: Unable to Resync Communications with "
                              "Module!\nCommPort::ReadModuleMemoryBlock"}));
    EXPECT_EQ(Bytes(block, block + 4), Bytes(4, 0));
    EXPECT_TRUE(Port().IsLinked());
}

TEST_F(LinkTests, WritesBytesWaitingForAckAndGivesUpOnNak) {
    Link();
    const Bytes first = Frame(0x02, {0x10, 0xB6, 1, 0, 0x12});
    const Bytes second = Frame(0x02, {0x11, 0xB6, 1, 0, 0x34});
    const Bytes refused = Frame(0x02, {0x12, 0xB6, 1, 0, 0x56});
    device.AlwaysAnswer(first, {0x06}, 3);
    device.AlwaysAnswer(second, {0x06}, 3);
    device.AlwaysAnswer(refused, {0x15}, 3);
    EXPECT_TRUE(Port().WriteModuleByte(0xB610, 0x12));
    EXPECT_TRUE(Port().WriteModuleByte(0xB611, 0x34));
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(line->Written(), both);
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_FALSE(Port().WriteModuleByte(0xB612, 0x56));
    EXPECT_EQ(device.CountOf(refused), 6u);
    EXPECT_EQ(
        host->MessageTexts(),
        (Texts{"Unable to Resync Communication with Module!\nModuleValue::SyncModuleWithHost"}));
}

TEST_F(LinkTests, CountsTheTrafficItselfAndTellsTheObserver) {
    Link();
    const CommPort::Traffic base = Port().TrafficCount();
    std::vector<uint64_t> seen;
    Port().SetTrafficObserver(
        [&](const CommPort::Traffic& t) { seen.push_back(t.written + t.read); });
    device.Expect(kReadB661, Frame(0x81, Bytes(17, 9)), 5);
    uint8_t block[17];
    ASSERT_TRUE(Port().ReadModuleMemoryBlock(block, 0xB661, 17));
    line->Feed({1, 2, 3, 4});
    uint8_t two[2];
    EXPECT_EQ(Port().ReadAvailable(two, 2), 2u);
    EXPECT_TRUE(Port().FlushBuffers());  // the flushed bytes crossed the line as well
    line->SetRefuseWrites(true);
    EXPECT_FALSE(Port().WriteByte(0x18));  // a refused byte did not
    const CommPort::Traffic now = Port().TrafficCount();
    EXPECT_EQ(now.written - base.written, kReadB661.size());
    EXPECT_EQ(now.read - base.read, 6 + 17 + 4u);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), now.written + now.read);
    // The counts outlive the port: a break frees it, the counts stay readable.
    Port().BreakLink();
    EXPECT_EQ(Port().TrafficCount().read, now.read);
}

TEST_F(LinkTests, EstablishesReportsTheFirmwareVersionAndBreaks) {
    device.Expect(kIdentifyRequest, Frame(0x80, {0x1A}), 5);
    ASSERT_TRUE(Port().EstablishLink());
    EXPECT_TRUE(Port().IsLinked());
    EXPECT_EQ(Port().FirmwareVersion(), 0x1A);
    EXPECT_EQ(Boxes(), (Texts{"Communications Status...: Connection to Module Successfully "
                              "Established\nFirmware Version No. 1.10"}));
    EXPECT_EQ(host->Beeps(), (std::vector<BeepKind>{BeepKind::Error}));
    EXPECT_EQ(host->LinkIndicatorCalls(), (std::vector<bool>{true}));
    EXPECT_EQ(device.Received(), (Bytes{0x18, 0x18, 2, 1, 0, 0, 0, 3}));  // wake-up, IDENTIFY
    EXPECT_EQ(Port().BusyCount(), 0);
    Port().BreakLink();
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(Port().FirmwareVersion(), 0x1A);  // kept across a break
    EXPECT_EQ(Boxes().back(), kBroken);
}

TEST_F(LinkTests, EstablishFailuresOfferRetryWhereItCanHelp) {
    enum Fault { NoOpen, NoWakeUp, Silent, WrongAnswer, IdentifyUnwritable };
    const auto retry = [](const std::string& text) {
        const std::string box = "Communications Error...: " + text + " [Retry Cancel]";
        return Texts{box, box};  // Retry once, then Cancel; no second word on each break
    };
    const std::string noOpen = "Communications Error...: Unable to Initialize Serial Port.\n" +
                               openReason + " [Retry Cancel]";
    const std::vector<bool> upDown = {true, false, true, false};
    const struct {
        Fault fault;
        Texts boxes;
        std::vector<bool> indicator;
    } cases[] = {
        {NoOpen, {noOpen, noOpen}, {}},
        {NoWakeUp, {"Communications Error...: Unable to initialize serial port."}, {}},
        {Silent, retry("Unable to read from serial port"), upDown},
        {WrongAnswer, retry("Incorrect response to IDENTIFY request"), upDown},
        {IdentifyUnwritable, retry("Unable to write to serial port"), upDown},
    };
    RefusesAfterWakeUp refusing;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes[0]);
        Fresh();
        failOpen = c.fault == NoOpen;
        refuseWrites = c.fault == NoWakeUp;
        if (c.fault == Silent) device.GoSilent();
        if (c.fault == WrongAnswer) device.AlwaysAnswer(kIdentifyRequest, Frame(0x81, {0x10}), 5);
        if (c.fault == IdentifyUnwritable) {
            OpenTo(refusing,
                   [&](serial::MemoryLine& l) { refusing.line = &l, refusing.bytes = 0; });
        }
        host->QueueAnswer(MsgResult::Retry);  // later boxes take Cancel
        EXPECT_FALSE(Port().EstablishLink());
        EXPECT_EQ(Boxes(), c.boxes);
        EXPECT_EQ(host->LinkIndicatorCalls(), c.indicator);
        EXPECT_FALSE(Port().IsLinked());
        EXPECT_FALSE(Port().HasOpenPort());
    }
}

// A port whose written bytes wait in a transmit queue until the line is next
// looked at, as a UART's do; TXFlush discards them.
class QueuedTransmitPort final : public serial::InFrontOfLine {
  public:
    using InFrontOfLine::InFrontOfLine;
    int WriteByte(uint8_t b) override { return queue_.push_back(b), 0; }
    std::size_t TXCount() override { return queue_.size(); }
    void TXFlush() override { queue_.clear(); }

  private:
    void Look() override {
        for (uint8_t b : queue_) Line().WriteByte(b);
        queue_.clear();
    }
    std::vector<uint8_t> queue_;
};

TEST_F(LinkTests, LinkingStopsAStreamLeftRunningAndPassesOverALateAnswer) {
    // A stream a program left running: the wake-up CANs must reach the module
    // before the line is flushed.
    Port().SetPortOpener([this](int, serial::OpenError*) {
        return std::make_unique<QueuedTransmitPort>(
            std::make_unique<serial::MemoryLine>(host->clock(), &device));
    });
    device.Stream(Frame(0x83, Bytes(14, 7)), host->NowMs(), 20);
    device.Expect(kIdentifyRequest, Frame(0x80, {0x1A}), 5);
    EXPECT_TRUE(Port().EstablishLink()) << testing::PrintToString(Boxes());
    Port().BreakLink(CommPort::BreakNotice::Quiet);

    // The answer to a read made before the link broke comes first.
    Fresh();
    Bytes late = Frame(0x81, Bytes(17, 3));
    const Bytes answer = Frame(0x80, {0x10});
    late.insert(late.end(), answer.begin(), answer.end());
    device.Expect(kIdentifyRequest, late, 5);
    EXPECT_TRUE(Port().EstablishLink()) << testing::PrintToString(Boxes());
    EXPECT_EQ(Port().FirmwareVersion(), 0x10);
}

TEST_F(LinkTests, SetPortAndSetTimeoutWriteTheProfileOnlyOnAChange) {
    Link();
    EXPECT_TRUE(Port().SetPort(0));
    EXPECT_FALSE(AppProfile().HasKey("Settings", "Port"));
    EXPECT_FALSE(Port().SetPort(4));
    EXPECT_FALSE(Port().SetPort(-1));
    device.Expect(kIdentifyRequest, Frame(0x80, {0x10}), 5);
    EXPECT_TRUE(Port().SetPort(2));
    EXPECT_EQ(AppProfile().GetInt("Settings", "Port", -1), 2);
    EXPECT_EQ(openedIndexes, (std::vector<int>{0, 2}));
    EXPECT_EQ(Port().FirmwareVersion(), 0x10);
    EXPECT_TRUE(Port().SetTimeout(200));
    EXPECT_FALSE(AppProfile().HasKey("Settings", "Timeout"));
    EXPECT_TRUE(Port().SetTimeout(300));
    EXPECT_EQ(AppProfile().GetInt("Settings", "Timeout", 0), 300);
    EXPECT_EQ(Port().Timeout(), 300);
    EXPECT_FALSE(Port().SetTimeout(0));
}

TEST_F(LinkTests, ProfileValuesOutOfRangeFallBackToDefaultsWithATrace) {
    using Get = int (*)();
    const Get port = [] { return CommPort::Instance().PortNumber(); };
    const Get delay = [] { return CommPort::Instance().Delay(); };
    const Get threshold = [] { return RamMonitor::Instance().RestartThreshold(); };
    const struct {
        const char* key;
        int value;
        Get get;
        int used;
    } cases[] = {
        {"Port", 7, port, 0},
        {"Port", 3, port, 3},
        {"Retries", -1, [] { return CommPort::Instance().Retries(); }, 5},
        {"Wait Retries", 1000, [] { return CommPort::Instance().WaitRetries(); }, 10},
        {"Timeout", 0, [] { return CommPort::Instance().Timeout(); }, 200},
        {"Delay", 99999999, delay, 150},
        {"Delay", 2001, delay, 150},
        {"Retries", 11, [] { return CommPort::Instance().Retries(); }, 5},
        {"Timeout", 2001, [] { return CommPort::Instance().Timeout(); }, 200},
        {"Delay", 0, delay, 0},
        {"Restart Threshold", 0, threshold, 50},
        {"Restart Threshold", 1000, threshold, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " = " << c.value);
        Fresh();
        SetProfile(c.key, c.value);
        EXPECT_EQ(c.get(), c.used);
        const std::string quoted = '"' + std::string(c.key) + '"';
        EXPECT_EQ(host->TraceText().find(quoted) != std::string::npos, c.value != c.used);
    }
}

TEST_F(LinkTests, WithTheLargestSettingsNoStretchWithoutDispatchPassesTheBudget) {
    enum What { OneByte, TricklingFrame, UnacknowledgedWrite, NeverEndingStop };
    for (What what : {OneByte, TricklingFrame, UnacknowledgedWrite, NeverEndingStop}) {
        SCOPED_TRACE(what);
        Fresh();
        for (const auto& [key, value] : {std::pair{"Timeout", CommPort::kMaxTimeout},
                                         {"Retries", CommPort::kMaxRetries},
                                         {"Wait Retries", CommPort::kMaxWaitRetries},
                                         {"Delay", CommPort::kMaxDelay}}) {
            SetProfile(key, value);
        }
        Link();
        const int64_t start = host->NowMs();
        if (what == OneByte) {
            uint8_t b = 0;
            EXPECT_FALSE(Port().ReadByte(b));
            EXPECT_EQ(host->NowMs() - start, 11 * 2000);  // (Retries + 1) x Timeout
            continue;
        }
        if (what == TricklingFrame) {
            // Each byte comes just before its read would give up.
            const Bytes reply = Frame(0x81, Bytes(17, 3));
            for (std::size_t i = 0; i < reply.size(); ++i)
                device.SendAt(start + 1900 * (i + 1), {reply[i]});
        }
        if (what == NeverEndingStop) {
            device.Stream(Frame(0x83, Bytes(57, 1)), start, 2000, false);
            ASSERT_TRUE(RamMonitor::Instance().Start());
        }
        bool ok = what == NeverEndingStop;
        {
            PumpBlockScope block;
            uint8_t data[17];
            if (what == TricklingFrame) ok = Port().ReadModuleMemoryBlock(data, 0xB661, 17);
            if (what == UnacknowledgedWrite) ok = Port().WriteModuleByte(0xB600, 1);
            if (what == NeverEndingStop) RamMonitor::Instance().Stop();
        }
        EXPECT_EQ(ok, what == NeverEndingStop);
        EXPECT_LE(host->NowMs() - start, CommPort::kMaxBlockedMs + 200);
        EXPECT_LT(host->NowMs() - start, 30'000);
    }
}

TEST_F(LinkTests, EmulatorFaultsAreRecoveredAndItsEndlessFloodBreaksTheLink) {
    OpenTo(module, [this](serial::MemoryLine& l) { module.AttachLine(&l); });
    ASSERT_TRUE(Port().EstablishLink());
    EXPECT_EQ(Port().FirmwareVersion(), emu::kFirmware10);
    host->ClearRecords();
    uint8_t basic[17];
    for (emu::Fault fault : {emu::Fault::Silent, emu::Fault::Nak, emu::Fault::CorruptChecksum,
                             emu::Fault::DropByte, emu::Fault::Garbage}) {
        SCOPED_TRACE(emu::FaultName(fault));
        module.Core().ArmFault(fault, 1);
        ASSERT_TRUE(Port().ReadModuleMemoryBlock(basic, 0xB661, 17));
        for (int i = 0; i < 17; ++i) EXPECT_EQ(basic[i], module.Core().Peek(0xB661 + i));
    }
    module.Core().ArmFault(emu::Fault::SwallowAck, 1);
    EXPECT_TRUE(Port().WriteModuleByte(0xB602, 0x11));
    EXPECT_EQ(module.Core().Peek(0xB602), 0x11);
    EXPECT_TRUE(host->Messages().empty());

    module.Core().ArmFault(emu::Fault::Flood, 1);
    const int64_t start = host->NowMs();
    // The answer may still be read; the flood then makes the next recovery give up.
    if (Port().ReadModuleMemoryBlock(basic, 0xB661, 17)) {
        EXPECT_FALSE(Port().ResetError());
    }
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(Boxes(), (Texts{kFill}));
    EXPECT_LT(host->NowMs() - start, 60'000);
}

// ---- Frames and the response reader, byte for byte -------------------------------

Bytes FrameOf(const Request& r) {
    Bytes out(r.FrameLength());
    out.resize(r.BuildFrame(out.data()));
    return out;
}

TEST_F(LinkTests, FramesMatchTheWireExamples) {
    Link();
    EXPECT_EQ(FrameOf(Request::Identify()), (Bytes{2, 1, 0, 0, 0, 3}));
    EXPECT_EQ(FrameOf(Request::Read(0xB661, 17)), kReadB661);
    EXPECT_EQ(FrameOf(Request::MonitorStart(0x40, 14)), kMonitorRequest);
    EXPECT_EQ(FrameOf(Request::Write(0xB600, 0xC8)),
              (Bytes{2, 6, 0, 2, 0, 0xB6, 1, 0, 0xC8, 0x39, 3}));
    EXPECT_EQ(Frame(0x80, {0x10}), (Bytes{2, 2, 0, 0x80, 0x10, 0x11, 3}));  // IDENTIFY reply, 1.0
    const uint8_t zeros[] = {0, 0};
    EXPECT_EQ(wire::Checksum(0x81, zeros, 2), 0x06);  // bit 7 rotates into bit 0: 0x03, 0x06
    ASSERT_TRUE(Port().SendRequest(Request::Read(0xB661, 17)));
    EXPECT_EQ(line->Written(), kReadB661);
}

TEST_F(LinkTests, ResponsesReportEveryErrorAndNeverStoreBeyondTheirCapacity) {
    Link();
    uint8_t buffer[16];  // the destination sits at offset 4, between guard bytes
    uint8_t type = 0;
    const Bytes good = Frame(0x81, {1, 2, 3});
    Bytes badSum = good, badEnd = good;
    badSum[7] ^= 0xFF;
    badEnd[8] = 0x04;
    struct Case {
        Bytes bytes;
        CE error;
        int left = -1;      // bytes left on the line, when it matters
        Bytes stored = {};  // the start of the destination afterwards
        std::size_t capacity = 8;
        bool wait = true;
    };
    const Case cases[] = {
        {{0x15, 0x02, 0x02}, CE::NakError, 2},
        {{0x41, 0x02}, CE::StartByteError, 1},
        {Frame(0x82, {1, 2}), CE::ResponseTypeError},
        {badSum, CE::CheckSumError, 0, {1, 2, 3}},  // stored as received all the same
        {badEnd, CE::EndByteError},
        {Bytes(good.begin(), good.begin() + 5), CE::TimeoutError},
        {{}, CE::NoResponseError},
        {{}, CE::TimeoutError, 0, {}, 8, false},
        {{0x02, 0x00, 0x00, 0x81, 1, 2, 3}, CE::LengthError, 4},  // the rest is for ResetError
        {Frame(0x81, Bytes(129, 0x77)), CE::LengthError},
        {Frame(0x81, Bytes(128, 0x66)), CE::NoError, 0, {0x66}},
        {Frame(0x81, {9, 8, 7, 6, 5, 4}), CE::NoError, 0, {9, 8, 7}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "error " << static_cast<int>(c.error) << ", "
                                        << c.bytes.size() << " bytes");
        line->Feed(c.bytes);
        std::memset(buffer, 0xA5, sizeof buffer);
        CE error = CE::NoError;
        EXPECT_EQ(Port().ReadResponse(type, buffer + 4, c.capacity, &error, c.wait),
                  c.error == CE::NoError);
        EXPECT_EQ(error, c.error);
        if (c.error == CE::ResponseTypeError) {
            EXPECT_EQ(type, 0x82);
        }
        if (c.left >= 0) {
            EXPECT_EQ(Port().ReceiveCount(), static_cast<std::size_t>(c.left));
        }
        EXPECT_EQ(Bytes(buffer + 4, buffer + 4 + c.stored.size()), c.stored);
        for (std::size_t i = 0; i < sizeof buffer; ++i) {
            const bool guard = i < 4 || i >= 4 + c.capacity;
            EXPECT_TRUE(!guard || buffer[i] == 0xA5) << "guard byte " << i;
        }
        line->RXFlush();
    }
}

TEST_F(LinkTests, WholeMonitorPacketsBeforeAnAnswerArePassedOverWithoutARetry) {
    // The read of two bytes there: 01 -> 00 -> B6 -> 6F -> DE.
    const Bytes read = {0x02, 0x05, 0x00, 0x01, 0x02, 0xB6, 0x02, 0x00, 0xDE, 0x03};
    const Bytes packet = Frame(0x83, Bytes(14, 0x33));
    const Bytes readAnswer = Frame(0x81, {0x12, 0x34});
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Case {
        const char* what;
        bool isWrite;
        Bytes answer;       // to the first request
        std::size_t sends;  // requests the host sent
    };
    const Case cases[] = {
        {"a write after a packet", true, join({packet, {0x06}}), 1},
        {"a write after two packets", true, join({packet, packet, {0x06}}), 1},
        {"a read after a packet", false, join({packet, readAnswer}), 1},
        // Only the stream's packets: any other frame before the ACK is a fault.
        {"a write after another frame", true, join({readAnswer, {0x06}}), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        Link(0x1A);
        const Bytes& request = c.isWrite ? kWriteB602 : read;
        device.Expect(request, c.answer, 3);
        device.AlwaysAnswer(request, c.isWrite ? Bytes{0x06} : readAnswer, 3);
        if (c.isWrite) {
            EXPECT_TRUE(Port().WriteModuleByte(0xB602, 0x5A));
        } else {
            uint8_t got[2] = {};
            EXPECT_TRUE(Port().ReadModuleMemoryBlock(got, 0xB602, 2));
            EXPECT_EQ(Bytes(got, got + 2), (Bytes{0x12, 0x34}));
        }
        EXPECT_EQ(device.CountOf(request), c.sends);
        EXPECT_TRUE(host->Messages().empty());
    }
}

}  // namespace
}  // namespace qx::test
