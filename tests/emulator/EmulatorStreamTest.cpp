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

TEST(EmulatorLine, DeliveryWaitsForAFifoOrTheEndOfABurstNeverLongerThanTheWire) {
    Bench bench(EmulatorConfig{.turnaroundUs = 3000});
    const int64_t sent = bench.now;
    bench.core.HostSends(kIdentify, sent);
    const int64_t answered = sent + Bytes9600(6) + 3000;
    // A seven-byte answer is a burst shorter than the FIFO: it is handed
    // over when its last byte has arrived, not a byte later.
    EXPECT_EQ(bench.core.NextDeliveryUs(sent, 16), answered + Bytes9600(7));
    EXPECT_EQ(bench.core.NextDeliveryUs(sent, 4), answered + Bytes9600(4));
    EXPECT_EQ(bench.core.NextDeliveryUs(sent, 1), bench.core.NextByteUs(sent));
    Bytes out;
    bench.core.Collect(answered + Bytes9600(4), out);
    EXPECT_EQ(bench.core.NextDeliveryUs(answered + Bytes9600(4), 16), answered + Bytes9600(7))
        << "the rest of the burst";
    bench.core.Collect(answered + Bytes9600(7), out);
    EXPECT_EQ(out, kIdentity10);
    EXPECT_EQ(bench.core.NextDeliveryUs(answered + Bytes9600(7), 16), -1);

    // A stream is handed over a FIFO at a time or where a packet ends,
    // each byte no later than it came off the wire.
    Bench stream(EmulatorConfig{.firmware = 0x20, .turnaroundUs = 0});
    stream.core.HostSends(MonitorStartRequest(0x40, 14), stream.now);
    int64_t now = stream.now;
    const int64_t firstByte = stream.core.NextByteUs(now);
    std::size_t total = 0;
    int wakes = 0;
    while (total < 20 * 50) {
        const int64_t due = stream.core.NextDeliveryUs(now, 16);
        out.clear();
        stream.core.Collect(due, out);
        ++wakes;
        total += out.size();
        ASSERT_NEAR(static_cast<double>(due - firstByte),
                    (static_cast<double>(total) - 1) * kByteUs9600, 1.0)
            << total;
        ASSERT_LE(out.size(), 16u);
        ASSERT_TRUE(out.size() == 16 || total % 20 == 0) << total;
        now = due;
    }
    EXPECT_EQ(wakes, 100) << "two hand-overs a 20-byte packet";
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

// What a modelled USB adapter hands the host: when, and how many bytes.
struct Handover {
    int64_t atUs;
    std::size_t bytes;
    bool operator==(const Handover&) const = default;
};

std::vector<Handover> Handovers(EmulatorCore& core, int64_t fromUs, std::size_t count) {
    std::vector<Handover> got;
    int64_t now = fromUs;
    for (int wakes = 0; got.size() < count && wakes < 1000; ++wakes) {
        const int64_t due = core.NextDeliveryUs(now, 64);
        if (due < 0) break;
        Bytes out;
        core.Collect(due, out);
        if (!out.empty()) got.push_back({due - fromUs, out.size()});
        now = due;
    }
    return got;
}

TEST(EmulatorAdapter, HoldsBytesUntilItsTimerRunsOutOrAPacketIsFull) {
    struct Case {
        const char* what;
        int baud;
        int64_t holdUs;
        Bytes request;
        std::vector<Handover> expected;  // from the request, worked out by hand
    };
    // 9600 baud: 1041.7 us a byte; 115200: 86.806 us. No turnaround.
    const Case cases[] = {
        // Six bytes in (6250 us), the seven-byte answer's first byte at 7292
        // and its last at 13542: a plain line hands the burst over as it ends.
        {"plain line", 9600, 0, kIdentify, {{13542, 7}}},
        // The usual timer: 16 ms after the first byte, the whole answer.
        {"16 ms adapter, an answer", 9600, 16'000, kIdentify, {{23292, 7}}},
        // Low latency: each byte a millisecond late, the next not yet in.
        {"1 ms adapter, an answer", 9600, 1'000, kIdentify, {{8292, 1}, {9333, 1}}},
        // A stream at 9600: 16 ms of bytes at a time. Request 10 bytes
        // (10417 us); byte k of the stream in at 10417 + k x 1041.7.
        // Byte 1 at 11459 + 16000 = 27459 passes bytes 1..16 (27084);
        // byte 17 at 28125 + 16000 = 44125 passes 17..32 (43750).
        {"16 ms adapter, a stream at 9600",
         9600,
         16'000,
         MonitorStartRequest(0x40, 14),
         {{27459, 16}, {44125, 16}}},
        // At 115200 a full packet comes first: byte 62 at 868 + 5382,
        // byte 124 at 868 + 10764, byte 186 at 868 + 16146.
        {"16 ms adapter, a stream at 115200",
         115200,
         16'000,
         MonitorStartRequest(0x40, 14),
         {{6250, 62}, {11632, 62}, {17014, 62}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench bench(EmulatorConfig{
            .firmware = 0x20, .baud = c.baud, .turnaroundUs = 0, .adapterHoldUs = c.holdUs});
        bench.core.HostSends(c.request, bench.now);
        EXPECT_EQ(Handovers(bench.core, bench.now, c.expected.size()), c.expected);
    }
}

}  // namespace
}  // namespace qx::emu::test
