// The module's answers to every request, byte for byte on the wire.
#include <gtest/gtest.h>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

TEST(EmulatorFrames, RequestFramesAndChecksumMatchTheWireExamples) {
    EXPECT_EQ(IdentifyRequest(), kIdentify);
    EXPECT_EQ(ReadRequest(0xB661, 17),
              (Bytes{0x02, 0x05, 0x00, 0x01, 0x61, 0xB6, 0x11, 0x00, 0xE3, 0x03}));
    EXPECT_EQ(MonitorStartRequest(0x40, 14),
              (Bytes{0x02, 0x05, 0x00, 0x03, 0x40, 0x00, 0x0E, 0x00, 0x2E, 0x03}));
    EXPECT_EQ(WriteRequest(0xB600, 0xC8),
              (Bytes{0x02, 0x06, 0x00, 0x02, 0x00, 0xB6, 0x01, 0x00, 0xC8, 0x39, 0x03}));
    const uint8_t length300[300] = {};
    const Bytes big = BuildFrame(0x81, length300);
    ASSERT_EQ(big.size(), 306u);
    EXPECT_EQ(big[1], 0x2D);  // 301 little-endian
    EXPECT_EQ(big[2], 0x01);
}

TEST(EmulatorAnswers, IdentifyGivesTheFirmwareByte) {
    const uint8_t cases[][2] = {{0x10, 0x11}, {0x11, 0x10}, {0x20, 0x21}};  // firmware, sum
    for (const auto& [firmware, sum] : cases) {
        Bench bench(EmulatorConfig{.firmware = firmware});
        EXPECT_EQ(bench.Send(kIdentify), (Bytes{0x02, 0x02, 0x00, 0x80, firmware, sum, 0x03}));
        EXPECT_EQ(bench.core.Peek(0xFFD5), firmware);
    }
}

TEST(EmulatorAnswers, WriteStoresTheByteAndAnswersAck) {
    Bench bench;
    EXPECT_EQ(bench.Send(WriteRequest(0xB605, 0x21)), (Bytes{0x06}));
    EXPECT_EQ(ReadMemory(bench, 0xB604, 2)[1], 0x21);
    EXPECT_EQ(bench.Send(WriteRequest(0xB7FE, 0x30)), (Bytes{0x06}));
    const std::vector<WriteRecord> expected = {{0xB605, 0x21}, {0xB7FE, 0x30}};
    EXPECT_EQ(bench.core.Counters().writes, expected);
}

TEST(EmulatorAnswers, MalformedFramesAreRefusedWithNak) {
    Bytes badSum = WriteRequest(0xB605, 0x21);
    badSum[9] ^= 0x01;
    Bytes badEnd = kIdentify;
    badEnd[5] = 0x04;
    const uint8_t zero[] = {0x00};
    Bytes wideWrite = WriteRequest(0xB605, 0x21);  // count field 2
    wideWrite[6] = 2;
    wideWrite[9] = ReferenceChecksum(0x02, wideWrite.data() + 4, 5);
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"checksum", badSum},
        {"end byte", badEnd},
        {"unknown command", {0x02, 0x02, 0x00, 0x05, 0x00, ReferenceChecksum(0x05, zero, 1), 0x03}},
        {"write of two bytes", wideWrite},
        {"read past the end of memory", ReadRequest(0xFFF0, 0x20)},
        {"length zero", {0x02, 0x00, 0x00}},
    };
    const uint8_t before = Bench().core.Peek(0xB605);
    for (const auto& [what, frame] : cases) {
        SCOPED_TRACE(what);
        Bench bench;
        EXPECT_EQ(bench.Send(frame), (Bytes{0x15}));
        EXPECT_EQ(bench.core.Peek(0xB605), before) << "memory must stay as it was";
        EXPECT_EQ(bench.core.Counters().naksSent, 1);
        EXPECT_TRUE(bench.core.Counters().writes.empty());
        EXPECT_EQ(bench.Send(kIdentify), kIdentity10) << "ready for the next request at once";
    }
}

TEST(EmulatorAnswers, NoiseOutsideFramesAndFramesCutShortAreIgnored) {
    Bench bench;
    EXPECT_TRUE(bench.Send({0x18}).empty());
    EXPECT_TRUE(bench.Send({0x00, 0xFF, 0x06, 0x03}).empty());
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
    // A data byte of 0x18 inside a frame is data, not a wake-up or cancel.
    EXPECT_EQ(bench.Send(WriteRequest(0x0018, 0x18)), (Bytes{0x06}));
    EXPECT_EQ(bench.core.Peek(0x0018), 0x18);
    EXPECT_EQ(bench.core.Counters().cancels, 0);
    EXPECT_TRUE(bench.Send(Bytes(kIdentify.begin(), kIdentify.begin() + 3), 200'000).empty());
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
    EXPECT_EQ(bench.core.Counters().abandonedFrames, 1);
}

}  // namespace
}  // namespace qx::emu::test
