// The link's waits, recovery, establishing and breaking, on the virtual clock.
#include <gtest/gtest.h>

#include "link/LinkFixture.h"

namespace qx::test {
namespace {

using Texts = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
constexpr const char* kBroken = "Connection to Module Has Been Broken";
constexpr const char* kFill = "Receive Buffer Continuing to Fill!";
const Bytes kReadB661 = {2, 5, 0, 1, 0x61, 0xB6, 0x11, 0, 0xE3, 3};

class LinkTests : public LinkFixture {};

// Retries, Wait Retries and Timeout of the profile (0 = defaults 5, 10, 200), and
// the expected give-up times of a missing byte and a missing response.
struct Timing {
    int retries, waitRetries, timeout;
    int64_t readMs, waitMs;
};
class LinkTiming : public LinkFixture, public ::testing::WithParamInterface<Timing> {};

TEST_P(LinkTiming, GivesUpAfterOnePlusRetriesSleepingWaits) {
    const Timing& t = GetParam();
    if (t.timeout > 0) {
        SetProfile("Retries", t.retries);
        SetProfile("Wait Retries", t.waitRetries);
        SetProfile("Timeout", t.timeout);
    }
    Link();
    int64_t start = host->NowMs();
    uint8_t b = 0xEE;
    EXPECT_FALSE(Port().ReadByte(b));
    EXPECT_EQ(b, 0);
    EXPECT_EQ(host->NowMs() - start, t.readMs);
    host->ClearRecords();
    start = host->NowMs();
    EXPECT_FALSE(Port().WaitForResponse(false));
    EXPECT_EQ(host->NowMs() - start, t.waitMs);
    // It slept in the host: a handful of waits, not a polling loop.
    EXPECT_GE(host->Waits().calls, 1);
    EXPECT_LE(host->Waits().calls, 11);
    for (const auto& request : host->WaitRequests()) {
        EXPECT_TRUE(request.dispatch);
        EXPECT_EQ(request.port, line);
    }
}
INSTANTIATE_TEST_SUITE_P(Profiles, LinkTiming,
                         ::testing::Values(Timing{0, 0, 0, 6 * 200, 11 * 200},
                                           Timing{2, 3, 100, 3 * 100, 4 * 100}));

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
}

TEST_F(LinkTests, QuittingDuringAWaitFailsAtOnceAndPostsAQuit) {
    Link();
    host->SetQuitting();
    const int64_t start = host->NowMs();
    EXPECT_FALSE(Port().WaitForData());
    EXPECT_FALSE(Port().WaitForResponse(true));
    EXPECT_FALSE(Port().Pause(1000));
    EXPECT_EQ(host->NowMs(), start);
    EXPECT_EQ(host->QuitPosts().at(0), 0);
}

TEST_F(LinkTests, QueriesAreSafeWhileDown) {
    CommPort& port = Port();
    uint8_t b = 1;
    CommPort::CommError error = CommPort::CommError::EndByteError;
    EXPECT_FALSE(port.IsLinked());
    EXPECT_FALSE(port.ReadByte(b));
    EXPECT_FALSE(port.WriteByte(1));
    EXPECT_TRUE(port.ReceiveEmpty());
    EXPECT_TRUE(port.TransmitEmpty());
    EXPECT_EQ(port.ReceiveCount(), 0u);
    EXPECT_EQ(port.ReadAvailable(&b, 1), 0u);
    EXPECT_FALSE(port.WaitForData());
    EXPECT_TRUE(port.WaitForResponse(true));
    EXPECT_FALSE(port.Pause(10));
    EXPECT_TRUE(port.ResetError());
    EXPECT_FALSE(port.SendRequest(Request::Identify()));
    EXPECT_FALSE(port.ReadResponse(b, &b, 1, &error, true));
    EXPECT_EQ(error, CommPort::CommError::EndByteError);
    EXPECT_FALSE(port.ReadModuleMemoryBlock(&b, 0xB600, 1));
    EXPECT_FALSE(port.WriteModuleByte(0xB600, 1));
    EXPECT_EQ(port.FirmwareVersion(), 0xFF);
    EXPECT_EQ(port.Port(), nullptr);
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
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text, "Low Level Communications Error!");
    EXPECT_EQ(host->Messages()[0].caption, "Reset Error");
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(Port().IsLinked());
    EXPECT_EQ(Port().ReceiveCount(), 0u);
}

// A stream that is never cancelled (false) or an endless flood (true).
class LineNeverQuiet : public LinkFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(LineNeverQuiet, FlushAndResetErrorGiveUpAndBreakTheLink) {
    Link();
    if (GetParam()) {
        device.Flood(host->NowMs());
    } else {
        device.Stream(Frame(0x83, Bytes(14, 1)), host->NowMs(), 20, false);
    }
    int64_t start = host->NowMs();
    EXPECT_FALSE(Port().FlushBuffers());
    EXPECT_EQ(host->NowMs() - start, 6 * 200);
    start = host->NowMs();
    EXPECT_FALSE(Port().ResetError());
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(), (Texts{kFill, kBroken}));
    EXPECT_EQ(host->Messages()[0].caption, "Reset Error");
    EXPECT_LE(host->NowMs() - start, 2 * 6 * 200);
}
INSTANTIATE_TEST_SUITE_P(StreamOrFlood, LineNeverQuiet, ::testing::Bool());

// The adapter is pulled before the exchange (-1) or at the given time during the reply.
class DeviceGone : public LinkFixture, public ::testing::WithParamInterface<int> {};

TEST_P(DeviceGone, BreaksTheLinkWithOneMessage) {
    Link();
    if (GetParam() < 0) {
        line->SetGone(true);
    } else {
        const Bytes reply = Frame(0x81, Bytes(17, 3));
        device.Expect(kReadB661, Bytes(reply.begin(), reply.begin() + 6), 5);
        host->ScheduleEventIn(GetParam(), [&] { line->SetGone(true); });
    }
    uint8_t block[17];
    EXPECT_FALSE(Port().ReadModuleMemoryBlock(block, 0xB661, 17));
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(), (Texts{kBroken}));
    EXPECT_EQ(host->LinkIndicatorCalls(), (std::vector<bool>{false}));
    EXPECT_EQ(host->Beeps(), (std::vector<BeepKind>{BeepKind::Error}));
    EXPECT_LE(device.CountOf(kReadB661), 1u);
}
INSTANTIATE_TEST_SUITE_P(BeforeOrDuringTheReply, DeviceGone, ::testing::Values(-1, 100));

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
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text,
              "Unable to Resync Communications with Module!\nCommPort::ReadModuleMemoryBlock");
    EXPECT_EQ(host->Messages()[0].caption, std::string(kAppTitle));
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
        MessageTexts(),
        (Texts{"Unable to Resync Communication with Module!\nModuleValue::SyncModuleWithHost"}));
}

TEST_F(LinkTests, EstablishesReportsTheFirmwareVersionAndBreaks) {
    device.Expect(kIdentifyRequest, Frame(0x80, {0x1A}), 5);
    ASSERT_TRUE(Port().EstablishLink());
    EXPECT_TRUE(Port().IsLinked());
    EXPECT_EQ(Port().FirmwareVersion(), 0x1A);
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text,
              "Connection to Module Successfully Established\nFirmware Version No. 1.10");
    EXPECT_EQ(host->Messages()[0].caption, "Communications Status...");
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(host->Beeps(), (std::vector<BeepKind>{BeepKind::Error}));
    EXPECT_EQ(host->LinkIndicatorCalls(), (std::vector<bool>{true}));
    // Wake-up twice, then IDENTIFY.
    EXPECT_EQ(device.Received(), (Bytes{0x18, 0x18, 2, 1, 0, 0, 0, 3}));
    EXPECT_EQ(Port().BusyCount(), 0);

    Port().BreakLink();
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(Port().FirmwareVersion(), 0x1A);  // kept across a break
    EXPECT_EQ(host->Messages().back().text, kBroken);
    EXPECT_EQ(host->Messages().back().caption, "Communications Status...");
}

TEST_F(LinkTests, APortThatWillNotOpenOffersRetryWithTheReason) {
    failOpen = true;
    openReason = "permission denied: join the group dialout that owns /dev/ttyS0";
    host->QueueAnswers({MsgResult::Retry, MsgResult::Cancel});
    EXPECT_FALSE(Port().EstablishLink());
    EXPECT_EQ(openedIndexes.size(), 2u);
    ASSERT_EQ(host->Messages().size(), 2u);
    EXPECT_EQ(host->Messages()[0].text, "Unable to Initialize Serial Port.\n" + openReason);
    EXPECT_EQ(host->Messages()[0].caption, "Communications Error...");
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::RetryCancel);
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_TRUE(host->LinkIndicatorCalls().empty());
}

TEST_F(LinkTests, ARefusedWakeUpByteLeavesTheLinkDown) {
    refuseWrites = true;
    EXPECT_FALSE(Port().EstablishLink());
    EXPECT_EQ(MessageTexts(), (Texts{"Unable to initialize serial port."}));
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(Port().Port(), nullptr);
}

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

enum class Handshake { Silent, WrongAnswer, WriteRefused };
struct HandshakeCase {
    Handshake fault;
    const char* text;
};
class HandshakeFailure : public LinkFixture, public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(HandshakeFailure, OffersRetryAndCancel) {
    RefusesAfterWakeUp refusing;
    if (GetParam().fault == Handshake::Silent) device.GoSilent();
    if (GetParam().fault == Handshake::WrongAnswer) {
        device.AlwaysAnswer(kIdentifyRequest, Frame(0x81, {0x10}), 5);
    }
    if (GetParam().fault == Handshake::WriteRefused) {
        Port().SetPortOpener([&](int, serial::OpenError*) {
            auto opened = std::make_unique<serial::MemoryLine>(host->clock(), &refusing);
            refusing.line = opened.get();
            refusing.bytes = 0;
            return std::unique_ptr<serial::SerialPort>(std::move(opened));
        });
    }
    host->QueueAnswers({MsgResult::Retry, MsgResult::Ok, MsgResult::Cancel, MsgResult::Ok});
    EXPECT_FALSE(Port().EstablishLink());
    const std::string text = GetParam().text;
    EXPECT_EQ(MessageTexts(), (Texts{text, kBroken, text, kBroken}));
    EXPECT_EQ(host->Messages()[0].caption, "Communications Error...");
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(host->LinkIndicatorCalls(), (std::vector<bool>{true, false, true, false}));
    EXPECT_FALSE(Port().IsLinked());
}
INSTANTIATE_TEST_SUITE_P(
    Faults, HandshakeFailure,
    ::testing::Values(HandshakeCase{Handshake::Silent, "Unable to read from serial port"},
                      HandshakeCase{Handshake::WrongAnswer,
                                    "Incorrect response to IDENTIFY request"},
                      HandshakeCase{Handshake::WriteRefused, "Unable to write to serial port"}));

TEST_F(LinkTests, SetPortAndSetTimeoutWriteTheProfileOnlyOnAChange) {
    Link();
    EXPECT_TRUE(Port().SetPort(0));
    EXPECT_FALSE(AppProfile().HasKey("Settings", "Port"));
    EXPECT_EQ(openedIndexes, (std::vector<int>{0}));
    EXPECT_FALSE(Port().SetPort(4));
    EXPECT_FALSE(Port().SetPort(-1));
    device.Expect(kIdentifyRequest, Frame(0x80, {0x10}), 5);
    EXPECT_TRUE(Port().SetPort(2));
    EXPECT_EQ(AppProfile().GetInt("Settings", "Port", -1), 2);
    EXPECT_EQ(openedIndexes, (std::vector<int>{0, 2}));
    EXPECT_TRUE(Port().IsLinked());
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
    const Get retries = [] { return CommPort::Instance().Retries(); };
    const Get waitRetries = [] { return CommPort::Instance().WaitRetries(); };
    const Get timeout = [] { return CommPort::Instance().Timeout(); };
    const Get delay = [] { return CommPort::Instance().Delay(); };
    const Get threshold = [] { return RamMonitor::Instance().RestartThreshold(); };
    struct Case {
        const char* key;
        int value;
        Get get;
        int used;
    };
    for (const Case& c :
         {Case{"Port", 7, port, 0}, Case{"Port", 3, port, 3}, Case{"Retries", -1, retries, 5},
          Case{"Retries", 0, retries, 0}, Case{"Wait Retries", 1000, waitRetries, 10},
          Case{"Timeout", 0, timeout, 200}, Case{"Delay", 99999999, delay, 150},
          Case{"Delay", 0, delay, 0}, Case{"Restart Threshold", 0, threshold, 50},
          Case{"Restart Threshold", 1000, threshold, 1000}}) {
        SCOPED_TRACE(testing::Message() << c.key << " = " << c.value);
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
        host->ClearRecords();
        SetProfile(c.key, c.value);
        EXPECT_EQ(c.get(), c.used);
        const bool traced =
            host->TraceText().find('"' + std::string(c.key) + '"') != std::string::npos;
        EXPECT_EQ(traced, c.value != c.used);
    }
}

}  // namespace
}  // namespace qx::test
