// The link's waits, recovery, establishing and breaking, on the virtual clock.
#include <gtest/gtest.h>

#include "link/LinkFixture.h"

namespace qx::test {
namespace {

constexpr const char* kBroken = "Connection to Module Has Been Broken";

class LinkTests : public LinkFixture {};

TEST_F(LinkTests, GivesUpAMissingByteAfterOneReadPlusRetries) {
    Link();
    const int64_t start = host->NowMs();
    uint8_t b = 0xEE;
    EXPECT_FALSE(Port().ReadByte(b));
    EXPECT_EQ(b, 0);
    EXPECT_EQ(host->NowMs() - start, 6 * 200);
}

TEST_F(LinkTests, RetryCountsComeFromTheProfile) {
    SetProfile("Retries", 2);
    SetProfile("Wait Retries", 3);
    SetProfile("Timeout", 100);
    Link();
    int64_t start = host->NowMs();
    uint8_t b = 0;
    EXPECT_FALSE(Port().ReadByte(b));
    EXPECT_EQ(host->NowMs() - start, 3 * 100);
    start = host->NowMs();
    EXPECT_FALSE(Port().WaitForResponse(false));
    EXPECT_EQ(host->NowMs() - start, 4 * 100);
}

TEST_F(LinkTests, WaitForResponseGivesUpAfterElevenSleepingWaits) {
    Link();
    const int64_t start = host->NowMs();
    EXPECT_FALSE(Port().WaitForResponse(false));
    EXPECT_EQ(host->NowMs() - start, 11 * 200);
    // It slept in the host: a handful of waits, not a polling loop.
    EXPECT_LE(host->Waits().calls, 11);
    EXPECT_GE(host->Waits().calls, 1);
    for (const auto& request : host->WaitRequests()) {
        EXPECT_TRUE(request.dispatch);
        EXPECT_EQ(request.port, line);
    }
}

TEST_F(LinkTests, WaitsWakeForDataAndUiEvents) {
    Link();
    device.SendAt(host->NowMs() + 50, {0x42});
    int dispatched = 0;
    host->ScheduleEventIn(20, [&] { ++dispatched; });
    const int64_t start = host->NowMs();
    EXPECT_TRUE(Port().WaitForData());
    EXPECT_EQ(dispatched, 1);
    EXPECT_EQ(host->NowMs() - start, 50);
}

TEST_F(LinkTests, PauseInsideAPumpBlockIgnoresEventsAndTheStream) {
    Link();
    device.Stream(Frame(0x83, {1, 2}), host->NowMs() + 1, 5, false);
    int dispatched = 0;
    host->ScheduleEventIn(10, [&] { ++dispatched; });
    {
        PumpBlockScope block;
        const int64_t start = host->NowMs();
        EXPECT_TRUE(Port().Pause(150));
        EXPECT_EQ(host->NowMs() - start, 150);
    }
    EXPECT_EQ(dispatched, 0);
    for (const auto& request : host->WaitRequests()) {
        EXPECT_FALSE(request.dispatch);
        EXPECT_EQ(request.port, nullptr);
    }
    EXPECT_TRUE(Port().Pause(10));
    EXPECT_EQ(dispatched, 1);
}

TEST_F(LinkTests, QuittingDuringAWaitFailsAtOnceAndPostsAQuit) {
    Link();
    host->SetQuitting();
    const int64_t start = host->NowMs();
    EXPECT_FALSE(Port().WaitForData());
    EXPECT_FALSE(Port().WaitForResponse(true));
    EXPECT_FALSE(Port().Pause(1000));
    EXPECT_EQ(host->NowMs(), start);
    ASSERT_FALSE(host->QuitPosts().empty());
    EXPECT_EQ(host->QuitPosts().front(), 0);
}

TEST_F(LinkTests, QueriesAreSafeWhileDown) {
    CommPort& port = Port();
    uint8_t b = 1;
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
    EXPECT_FALSE(port.ReadModuleMemoryBlock(&b, 0xB600, 1));
    EXPECT_FALSE(port.WriteModuleByte(0xB600, 1));
    EXPECT_EQ(port.FirmwareVersion(), 0xFF);
    EXPECT_EQ(port.Port(), nullptr);
    EXPECT_TRUE(host->Messages().empty());
}

// ---- ResetError -------------------------------------------------------------

TEST_F(LinkTests, ResetErrorOnAQuietLineSucceedsAfterOneTimeout) {
    Link();
    const int64_t start = host->NowMs();
    EXPECT_TRUE(Port().ResetError());
    EXPECT_EQ(host->NowMs() - start, 200);
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(LinkTests, ResetErrorReportsAPendingLineErrorAndGoesOn) {
    Link();
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

TEST_F(LinkTests, ResetErrorBreaksTheLinkWhenTheBufferKeepsFilling) {
    Link();
    device.Stream(Frame(0x83, std::vector<uint8_t>(14, 1)), host->NowMs(), 20, false);
    const int64_t start = host->NowMs();
    EXPECT_FALSE(Port().ResetError());
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Receive Buffer Continuing to Fill!", kBroken}));
    EXPECT_EQ(host->Messages()[0].caption, "Reset Error");
    // Six flushes of at most six rounds each, never for ever.
    EXPECT_LE(host->NowMs() - start, 7 * 6 * 200 + 7 * 200);
}

TEST_F(LinkTests, AnEndlessFloodIsBoundedInFlushAndResetError) {
    Link();
    device.Flood(host->NowMs());
    int64_t start = host->NowMs();
    EXPECT_FALSE(Port().FlushBuffers());
    EXPECT_EQ(host->NowMs() - start, 6 * 200);
    start = host->NowMs();
    EXPECT_FALSE(Port().ResetError());
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Receive Buffer Continuing to Fill!", kBroken}));
    EXPECT_LE(host->NowMs() - start, 2 * 6 * 200);
}

TEST_F(LinkTests, AVanishedDeviceBreaksTheLinkWithOneMessage) {
    Link();
    line->SetGone(true);
    uint8_t block[17];
    EXPECT_FALSE(Port().ReadModuleMemoryBlock(block, 0xB661, 17));
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kBroken}));
    EXPECT_EQ(host->LinkIndicatorCalls(), (std::vector<bool>{false}));
    EXPECT_EQ(host->Beeps(), (std::vector<BeepKind>{BeepKind::Error}));
}

TEST_F(LinkTests, DeviceGoneMidExchangeIsFoundByRecovery) {
    Link();
    // The module starts answering and then the adapter is pulled.
    const std::vector<uint8_t> request = {2, 5, 0, 1, 0x61, 0xB6, 0x11, 0, 0xE3, 3};
    auto reply = Frame(0x81, std::vector<uint8_t>(17, 3));
    reply.resize(6);
    device.Expect(request, reply, 5);
    host->ScheduleEventIn(100, [&] { line->SetGone(true); });
    uint8_t block[17];
    EXPECT_FALSE(Port().ReadModuleMemoryBlock(block, 0xB661, 17));
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kBroken}));
    EXPECT_EQ(device.CountOf(request), 1u);
}

// ---- Block read and byte write ------------------------------------------------

TEST_F(LinkTests, ReadsABlockAndRecoversFromABadFrame) {
    Link();
    std::vector<uint8_t> values(17);
    for (int i = 0; i < 17; ++i) values[i] = static_cast<uint8_t>(i * 3);
    const std::vector<uint8_t> request = {2, 5, 0, 1, 0x61, 0xB6, 0x11, 0, 0xE3, 3};
    std::vector<uint8_t> bad = {0x02, 0x00, 0x00, 0x81, 0x55, 0x55};  // length 0
    device.Expect(request, bad, 5);
    device.Expect(request, Frame(0x81, values), 5);
    uint8_t block[17] = {};
    ASSERT_TRUE(Port().ReadModuleMemoryBlock(block, 0xB661, 17));
    EXPECT_EQ(std::vector<uint8_t>(block, block + 17), values);
    EXPECT_EQ(device.CountOf(request), 2u);
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(LinkTests, BlockReadGivesUpAfterOnePlusRetriesAttempts) {
    Link();
    uint8_t block[4] = {9, 9, 9, 9};
    EXPECT_FALSE(Port().ReadModuleMemoryBlock(block, 0xB600, 4));
    EXPECT_EQ(device.CountOf({2, 5, 0, 1, 0x00, 0xB6, 4, 0}), 6u);
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text,
              "Unable to Resync Communications with Module!\nCommPort::ReadModuleMemoryBlock");
    EXPECT_EQ(host->Messages()[0].caption, std::string(kAppTitle));
    EXPECT_EQ(std::vector<uint8_t>(block, block + 4), std::vector<uint8_t>(4, 0));
    EXPECT_TRUE(Port().IsLinked());
}

TEST_F(LinkTests, WritesAByteAndWaitsForAck) {
    Link();
    device.AlwaysAnswer(Frame(0x02, {0x10, 0xB6, 1, 0, 0x12}), {0x06}, 3);
    device.AlwaysAnswer(Frame(0x02, {0x11, 0xB6, 1, 0, 0x34}), {0x06}, 3);
    EXPECT_TRUE(Port().WriteModuleByte(0xB610, 0x12));
    EXPECT_TRUE(Port().WriteModuleByte(0xB611, 0x34));
    EXPECT_EQ(line->Written(), [] {
        auto a = Frame(0x02, {0x10, 0xB6, 1, 0, 0x12});
        auto b = Frame(0x02, {0x11, 0xB6, 1, 0, 0x34});
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }());
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(LinkTests, AWriteAnsweredWithNakGivesUpWithItsMessage) {
    Link();
    device.AlwaysAnswer(Frame(0x02, {0x10, 0xB6, 1, 0, 0x12}), {0x15}, 3);
    EXPECT_FALSE(Port().WriteModuleByte(0xB610, 0x12));
    EXPECT_EQ(device.CountOf(Frame(0x02, {0x10, 0xB6, 1, 0, 0x12})), 6u);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  "Unable to Resync Communication with Module!\nModuleValue::SyncModuleWithHost"}));
}

// ---- Establishing and breaking --------------------------------------------------

TEST_F(LinkTests, EstablishesAndReportsTheFirmwareVersion) {
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
    EXPECT_EQ(device.Received(), (std::vector<uint8_t>{0x18, 0x18, 2, 1, 0, 0, 0, 3}));
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
    EXPECT_EQ(Port().Port(), nullptr);
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_TRUE(host->LinkIndicatorCalls().empty());
}

TEST_F(LinkTests, ARefusedWakeUpByteLeavesTheLinkDown) {
    refuseWrites = true;
    EXPECT_FALSE(Port().EstablishLink());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Unable to initialize serial port."}));
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(Port().Port(), nullptr);
}

TEST_F(LinkTests, HandshakeFailuresOfferRetryAndCancel) {
    // A silent module: Retry once, then Cancel.
    host->QueueAnswers({MsgResult::Retry, MsgResult::Ok, MsgResult::Cancel, MsgResult::Ok});
    device.GoSilent();
    EXPECT_FALSE(Port().EstablishLink());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Unable to read from serial port", kBroken,
                                        "Unable to read from serial port", kBroken}));
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(host->Messages()[0].caption, "Communications Error...");
    EXPECT_EQ(openedIndexes.size(), 2u);
    EXPECT_FALSE(Port().IsLinked());
}

TEST_F(LinkTests, AWrongIdentifyResponseIsReported) {
    device.Expect(kIdentifyRequest, Frame(0x81, {0x10}), 5);
    host->QueueAnswers({MsgResult::Cancel});
    EXPECT_FALSE(Port().EstablishLink());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Incorrect response to IDENTIFY request", kBroken}));
}

// Accepts the wake-up bytes, then refuses every write (a failing adapter).
class RefusesAfterWakeUp final : public serial::LineDevice {
  public:
    void OnHostByte(uint8_t, int64_t) override {
        if (++bytes == 2 && line) line->SetRefuseWrites(true);
    }
    void Produce(int64_t, std::vector<uint8_t>&) override {}
    int64_t NextOutputTime(int64_t) override { return -1; }
    serial::MemoryLine* line = nullptr;
    int bytes = 0;
};

TEST_F(LinkTests, AnIdentifyRequestThatCannotBeWrittenOffersRetry) {
    RefusesAfterWakeUp refusing;
    Port().SetPortOpener([&](int, serial::OpenError*) {
        auto opened = std::make_unique<serial::MemoryLine>(host->clock(), &refusing);
        refusing.line = opened.get();
        refusing.bytes = 0;
        return std::unique_ptr<serial::SerialPort>(std::move(opened));
    });
    host->QueueAnswers({MsgResult::Retry, MsgResult::Ok, MsgResult::Cancel, MsgResult::Ok});
    EXPECT_FALSE(Port().EstablishLink());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Unable to write to serial port", kBroken,
                                        "Unable to write to serial port", kBroken}));
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(host->LinkIndicatorCalls(), (std::vector<bool>{true, false, true, false}));
    EXPECT_FALSE(Port().IsLinked());
}

TEST_F(LinkTests, SetPortWithTheSameIndexTouchesNothing) {
    Link();
    EXPECT_TRUE(Port().SetPort(0));
    EXPECT_FALSE(AppProfile().HasKey("Settings", "Port"));
    EXPECT_TRUE(Port().IsLinked());
    EXPECT_EQ(openedIndexes, (std::vector<int>{0}));
    EXPECT_FALSE(Port().SetPort(4));
    EXPECT_FALSE(Port().SetPort(-1));
}

TEST_F(LinkTests, SetPortWithANewIndexRelinksOnIt) {
    Link();
    device.Expect(kIdentifyRequest, Frame(0x80, {0x10}), 5);
    EXPECT_TRUE(Port().SetPort(2));
    EXPECT_EQ(AppProfile().GetInt("Settings", "Port", -1), 2);
    EXPECT_EQ(openedIndexes, (std::vector<int>{0, 2}));
    EXPECT_TRUE(Port().IsLinked());
    EXPECT_EQ(Port().FirmwareVersion(), 0x10);
}

TEST_F(LinkTests, SetTimeoutWritesOnlyAChange) {
    EXPECT_TRUE(Port().SetTimeout(200));
    EXPECT_FALSE(AppProfile().HasKey("Settings", "Timeout"));
    EXPECT_TRUE(Port().SetTimeout(300));
    EXPECT_EQ(AppProfile().GetInt("Settings", "Timeout", 0), 300);
    EXPECT_EQ(Port().Timeout(), 300);
    EXPECT_FALSE(Port().SetTimeout(0));
}

TEST_F(LinkTests, OutOfRangeProfileValuesFallBackToDefaults) {
    SetProfile("Port", 7);
    SetProfile("Retries", -1);
    SetProfile("Wait Retries", 1000);
    SetProfile("Timeout", 0);
    SetProfile("Delay", 99999999);
    SetProfile("Restart Threshold", 0);
    CommPort& port = Port();
    EXPECT_EQ(port.PortNumber(), 0);
    EXPECT_EQ(port.Retries(), 5);
    EXPECT_EQ(port.WaitRetries(), 10);
    EXPECT_EQ(port.Timeout(), 200);
    EXPECT_EQ(port.Delay(), 150);
    EXPECT_EQ(RamMonitor::Instance().RestartThreshold(), 50);
    const std::string trace = host->TraceText();
    for (const char* key : {"\"Port\"", "\"Retries\"", "\"Wait Retries\"", "\"Timeout\"",
                            "\"Delay\"", "\"Restart Threshold\""}) {
        EXPECT_NE(trace.find(key), std::string::npos) << key;
    }
}

TEST_F(LinkTests, InRangeProfileValuesAreUsed) {
    SetProfile("Port", 3);
    SetProfile("Retries", 0);
    SetProfile("Delay", 0);
    SetProfile("Restart Threshold", 1000);
    EXPECT_EQ(Port().PortNumber(), 3);
    EXPECT_EQ(Port().Retries(), 0);
    EXPECT_EQ(Port().Delay(), 0);
    EXPECT_EQ(RamMonitor::Instance().RestartThreshold(), 1000);
    EXPECT_TRUE(host->Traces().empty());
}

}  // namespace
}  // namespace qx::test
