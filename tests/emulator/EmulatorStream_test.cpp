// Monitor streaming, cancellation and the line's timing, on virtual time.
#include <gtest/gtest.h>

#include <cmath>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

constexpr double kByteUs9600 = 10.0 * 1e6 / 9600.0;

int64_t Bytes9600(double n) {
    return std::llround(n * kByteUs9600);
}

TEST(EmulatorLine, BytesTakeTheirWireTimeBothWays) {
    Bench bench(EmulatorConfig{.turnaroundUs = 3000});
    EXPECT_DOUBLE_EQ(bench.core.ByteTimeUs(), kByteUs9600);
    const int64_t sent = bench.now;
    bench.core.HostSends(kIdentify, sent);
    // Six request bytes in, turnaround, then the first of seven answer bytes.
    const int64_t first = sent + Bytes9600(6) + 3000 + Bytes9600(1);
    EXPECT_EQ(bench.core.NextByteUs(sent), first);
    Bytes out;
    bench.core.Collect(first - 1, out);
    EXPECT_TRUE(out.empty());
    bench.core.Collect(first, out);
    EXPECT_EQ(out.size(), 1u);
    const int64_t last = sent + Bytes9600(6) + 3000 + Bytes9600(7);
    bench.core.Collect(last - 1, out);
    EXPECT_EQ(out.size(), 6u);
    bench.core.Collect(last, out);
    EXPECT_EQ(out, kIdentity10);
    EXPECT_EQ(bench.core.NextByteUs(last), -1);
}

TEST(EmulatorStreaming, PacketsOfTheRequestedBlockFollowBackToBackAtTheLineRate) {
    Bench bench(EmulatorConfig{.firmware = 0x20, .turnaroundUs = 0});
    const int64_t streamStart = bench.now + Bytes9600(10);
    bench.core.HostSends(MonitorStartRequest(0x40, 14), bench.now);
    // One second later the wire has carried exactly as many bytes as fit.
    bench.now = streamStart + 1'000'500;
    Bytes out;
    bench.core.Collect(bench.now, out);
    ASSERT_EQ(out.size(), 960u);
    for (std::size_t at = 0; at + 20 <= out.size(); at += 20) {
        const auto frame = ParseFrame(out, at);
        ASSERT_TRUE(frame) << at;
        EXPECT_EQ(frame->code, 0x83);
        EXPECT_EQ(frame->data.size(), 14u);
    }
    EXPECT_TRUE(bench.core.IsStreaming());
    EXPECT_EQ(bench.core.Counters().monitorStarts, 1);
    // Over a long run the pacing does not drift: byte n arrives at n byte times.
    bench.now = streamStart + 600'000'500;
    bench.core.Collect(bench.now, out);
    EXPECT_EQ(bench.core.Counters().bytesSent, 576'000u);

    Bench block;
    block.core.Poke(0x0100, 0xAB);
    block.core.Poke(0x0102, 0xCD);
    const auto frame = ParseFrame(block.Send(MonitorStartRequest(0x0100, 3), 30'000));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data, (Bytes{0xAB, 0x00, 0xCD}));
}

TEST(EmulatorStreaming, RequestsAreIgnoredAndTheCancelEndsTheStreamAfterThePacket) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    bench.Send(MonitorStartRequest(0x40, 14), 55'000);  // a couple of packets under way
    bench.core.HostSends(kIdentify, bench.now);
    bench.core.HostSends(WriteRequest(0xB600, 1), bench.now);
    bench.core.HostSends(uint8_t{0x18}, bench.now);
    bench.Wait(100'000);
    EXPECT_TRUE(bench.core.IsStreaming()) << "one CAN is only a wake-up";
    EXPECT_NE(bench.core.Peek(0xB600), 1) << "requests while streaming are not acted on";
    bench.core.HostSends(Bytes{0x18, 0x18}, bench.now);
    EXPECT_LE(bench.Wait(100'000).size(), 20u + 3u) << "at most the packet on the wire completes";
    EXPECT_FALSE(bench.core.IsStreaming());
    EXPECT_TRUE(bench.Wait(500'000).empty());
    EXPECT_EQ(bench.core.Counters().cancels, 1);
    EXPECT_EQ(bench.core.Counters().bytesSent % 20, 0u) << "everything streamed was whole packets";
    EXPECT_EQ(bench.Send(kIdentify), (Bytes{0x02, 0x02, 0x00, 0x80, 0x20, 0x21, 0x03}));
}

}  // namespace
}  // namespace qx::emu::test
