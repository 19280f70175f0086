// The module's answers to every request, byte for byte on the wire.
#include <gtest/gtest.h>

#include "EmulatorTestUtil.h"
#include "emulator/Protocol.h"

namespace qx::emu::test {
namespace {

TEST(EmulatorFrames, RequestFramesMatchTheWireExamples) {
    EXPECT_EQ(IdentifyRequest(), (Bytes{0x02, 0x01, 0x00, 0x00, 0x00, 0x03}));
    EXPECT_EQ(ReadRequest(0xB661, 17),
              (Bytes{0x02, 0x05, 0x00, 0x01, 0x61, 0xB6, 0x11, 0x00, 0xE3, 0x03}));
    EXPECT_EQ(MonitorStartRequest(0x40, 14),
              (Bytes{0x02, 0x05, 0x00, 0x03, 0x40, 0x00, 0x0E, 0x00, 0x2E, 0x03}));
    // The test's own frame builders agree with the examples too.
    EXPECT_EQ(Read(0xB661, 17), ReadRequest(0xB661, 17));
    EXPECT_EQ(MonitorStart(0x40, 14), MonitorStartRequest(0x40, 14));
    EXPECT_EQ(Write(0xB662, 0x85), WriteRequest(0xB662, 0x85));
}

TEST(EmulatorFrames, ChecksumRotatesBeforeEachDataByte) {
    EXPECT_EQ(FrameChecksum(0x80, {}), 0x80);
    const uint8_t one[] = {0x10};
    EXPECT_EQ(FrameChecksum(0x80, one), 0x11);  // 0x80 rotates to 0x01
    const uint8_t carry[] = {0x00, 0x00};
    EXPECT_EQ(FrameChecksum(0xC3, carry), 0x0F);  // bit 7 comes round to bit 0 twice
    const uint8_t length300[300] = {};
    const Bytes big = BuildFrame(0x81, length300);
    ASSERT_EQ(big.size(), 306u);
    EXPECT_EQ(big[1], 0x2D);  // 301 little-endian
    EXPECT_EQ(big[2], 0x01);
}

TEST(EmulatorAnswers, IdentifyGivesTheFirmwareByte) {
    Bench v10;
    EXPECT_EQ(v10.Send(kIdentify), (Bytes{0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03}));
    EXPECT_EQ(v10.core.Peek(0xFFD5), 0x10);

    Bench v20(EmulatorConfig{.firmware = 0x20});
    EXPECT_EQ(v20.Send(kIdentify), (Bytes{0x02, 0x02, 0x00, 0x80, 0x20, 0x21, 0x03}));
    EXPECT_EQ(v20.core.Peek(0xFFD5), 0x20);
    EXPECT_EQ(v20.core.Counters().framesByCommand[0x00], 1);
}

TEST(EmulatorAnswers, ReadReturnsTheBasicBlockWithDefaultSettings) {
    Bench bench;
    const Bytes answer = bench.Send(Read(0xB661, 17));
    const auto frame = ParseFrame(answer);
    ASSERT_TRUE(frame) << "not a sound frame";
    EXPECT_EQ(answer.size(), 23u);
    EXPECT_EQ(frame->code, 0x81);
    ASSERT_EQ(frame->data.size(), 17u);
    const Bytes& b = frame->data;
    auto at = [&](uint16_t address) { return b[address - 0xB661]; };
    EXPECT_EQ(at(0xB661), 2);     // dual fire
    EXPECT_EQ(at(0xB662), 0x01);  // rev limit 6144 rpm: internal 1
    EXPECT_EQ(at(0xB66D), 0x01);  // aux rev limit likewise
    EXPECT_EQ(at(0xB667), 7);     // NOS arming 4096 rpm truncates to 7 counts of 550
    EXPECT_EQ(at(0xB668), 1);     // cam sensor offset 8 ms at 8 ms per count
    EXPECT_EQ(at(0xB66B), 0x85);  // start mode enter 350 rpm: -5, sign-magnitude
    EXPECT_EQ(at(0xB66A), 0x00);  // start mode exit 512 rpm: internal 0
    EXPECT_EQ(at(0xB66C), 0x00);
    EXPECT_EQ(at(0xB669), 0x00);
    EXPECT_EQ(at(0xB66F), 0x00);
    EXPECT_EQ(at(0xB670), 0x00);  // switch lockout off
    EXPECT_EQ(at(0xB671), 4);
}

TEST(EmulatorAnswers, SerialNumberIsBigEndianAtB7FE) {
    Bench plain;
    EXPECT_EQ(ReadMemory(plain, 0xB7FE, 2), (Bytes{0x00, 42}));
    Bench other(EmulatorConfig{.serialNumber = 0x1234});
    EXPECT_EQ(ReadMemory(other, 0xB7FE, 2), (Bytes{0x12, 0x34}));
}

TEST(EmulatorAnswers, TheTuneHasRisingAdvanceCurvesWithinTheirRanges) {
    Bench bench;
    const Bytes maps = ReadMemory(bench, 0xB600, 96);
    ASSERT_EQ(maps.size(), 96u);
    const int maxima[6] = {45, 45, 20, 15, 255, 15};
    for (int m = 0; m < 6; ++m) {
        for (int i = 0; i < 16; ++i) EXPECT_LE(maps[m * 16 + i], maxima[m]) << m << "/" << i;
    }
    for (int m = 0; m < 2; ++m) {
        for (int i = 1; i < 16; ++i) EXPECT_GE(maps[m * 16 + i], maps[m * 16 + i - 1]);
        EXPECT_GT(maps[m * 16 + 15], maps[m * 16]) << "advance must rise with speed";
    }
}

TEST(EmulatorAnswers, WriteStoresTheByteAndAnswersAck) {
    Bench bench;
    EXPECT_EQ(bench.Send(Write(0xB605, 0x21)), (Bytes{0x06}));
    EXPECT_EQ(bench.core.Peek(0xB605), 0x21);
    EXPECT_EQ(ReadMemory(bench, 0xB604, 2)[1], 0x21);
    // A two-byte value goes as two writes, most significant byte first.
    EXPECT_EQ(bench.Send(Write(0xB7FE, 0x30)), (Bytes{0x06}));
    EXPECT_EQ(bench.Send(Write(0xB7FF, 0x39)), (Bytes{0x06}));
    EXPECT_EQ(ReadMemory(bench, 0xB7FE, 2), (Bytes{0x30, 0x39}));
    const std::vector<WriteRecord> expected = {{0xB605, 0x21}, {0xB7FE, 0x30}, {0xB7FF, 0x39}};
    EXPECT_EQ(bench.core.Counters().writes, expected);
    EXPECT_EQ(bench.core.Counters().acksSent, 3);
}

TEST(EmulatorAnswers, MalformedFramesAreRefusedWithNak) {
    struct Case {
        const char* what;
        Bytes frame;
    };
    Bytes badSum = Write(0xB605, 0x21);
    badSum[9] ^= 0x01;
    Bytes badEnd = kIdentify;
    badEnd[5] = 0x04;
    const uint8_t unknownData[] = {0x00};
    Bytes unknown = {0x02, 0x02, 0x00, 0x05, 0x00, ReferenceChecksum(0x05, unknownData, 1), 0x03};
    Bytes wideWrite = Write(0xB605, 0x21);  // count field 2
    wideWrite[6] = 2;
    wideWrite[9] = ReferenceChecksum(0x02, wideWrite.data() + 4, 5);
    const std::vector<Case> cases = {
        {"checksum", badSum},
        {"end byte", badEnd},
        {"unknown command", unknown},
        {"response type sent as request", {0x02, 0x01, 0x00, 0x81, 0x81, 0x03}},
        {"write of two bytes", wideWrite},
        {"read of nothing", Read(0xB600, 0)},
        {"read past the end of memory", Read(0xFFF0, 0x20)},
        {"length zero", {0x02, 0x00, 0x00}},
    };
    const uint8_t before = Bench().core.Peek(0xB605);
    for (const Case& c : cases) {
        Bench bench;
        EXPECT_EQ(bench.Send(c.frame), (Bytes{0x15})) << c.what;
        EXPECT_EQ(bench.core.Peek(0xB605), before) << c.what << ": memory must stay as it was";
        EXPECT_EQ(bench.core.Counters().naksSent, 1) << c.what;
        EXPECT_EQ(bench.core.Counters().badFrames, 1) << c.what;
        EXPECT_TRUE(bench.core.Counters().writes.empty()) << c.what;
        // The module is ready for the next request at once.
        EXPECT_EQ(bench.Send(kIdentify).size(), 7u) << c.what;
    }
}

TEST(EmulatorAnswers, WakeUpBytesAndNoiseOutsideFramesAreIgnored) {
    Bench bench;
    EXPECT_TRUE(bench.Send({0x18}).empty());
    EXPECT_TRUE(bench.Send({0x00, 0xFF, 0x06, 0x03}).empty());
    EXPECT_EQ(bench.Send(kIdentify), (Bytes{0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03}));
    // A data byte of 0x18 inside a frame is data, not a wake-up or cancel.
    EXPECT_EQ(bench.Send(Write(0x0018, 0x18)), (Bytes{0x06}));
    EXPECT_EQ(bench.core.Peek(0x0018), 0x18);
    EXPECT_EQ(bench.core.Counters().cancels, 0);
}

TEST(EmulatorAnswers, AFrameCutShortIsAbandonedAfterSilence) {
    Bench bench;
    const Bytes half(kIdentify.begin(), kIdentify.begin() + 3);
    EXPECT_TRUE(bench.Send(half, 200'000).empty());
    EXPECT_EQ(bench.Send(kIdentify), (Bytes{0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03}));
    EXPECT_EQ(bench.core.Counters().abandonedFrames, 1);
}

TEST(EmulatorAnswers, CountsWhatItReceives) {
    Bench bench;
    bench.Send(kIdentify);
    bench.Send(Read(0xB600, 16));
    bench.Send(Write(0xB600, 3));
    bench.Send({0x18, 0x18});
    const EmulatorCounters& c = bench.core.Counters();
    EXPECT_EQ(c.framesByCommand[0], 1);
    EXPECT_EQ(c.framesByCommand[1], 1);
    EXPECT_EQ(c.framesByCommand[2], 1);
    EXPECT_EQ(c.bytesReceived, 6u + 10u + 11u + 2u);
    EXPECT_EQ(c.bytesSent, 7u + 22u + 1u);
    EXPECT_EQ(c.cancels, 1);
}

}  // namespace
}  // namespace qx::emu::test
