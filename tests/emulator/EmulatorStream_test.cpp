// Monitor streaming, cancellation and the line's timing, on virtual time.
#include <gtest/gtest.h>

#include <cmath>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

constexpr double kByteUs9600 = 10.0 * 1e6 / 9600.0;

// Splits a stream into frames; false if anything but whole sound frames is found.
bool SplitPackets(const Bytes& bytes, std::vector<Frame>& frames, std::size_t* rest = nullptr) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto frame = ParseFrame(bytes, at);
        if (!frame) break;
        at += frame->data.size() + 6;
        frames.push_back(*frame);
    }
    if (rest) *rest = bytes.size() - at;
    return rest ? true : at == bytes.size();
}

TEST(EmulatorLine, BytesTakeTheirWireTimeBothWays) {
    Bench bench(EmulatorConfig{.turnaroundUs = 3000});
    EXPECT_DOUBLE_EQ(bench.core.ByteTimeUs(), kByteUs9600);
    const int64_t sent = bench.now;
    bench.core.HostSends(kIdentify, sent);
    // Six request bytes in, turnaround, then the first of seven answer bytes.
    const int64_t requestDone = sent + std::llround(6 * kByteUs9600);
    const int64_t first = requestDone + 3000 + std::llround(kByteUs9600);
    EXPECT_EQ(bench.core.NextByteUs(sent), first);
    Bytes out;
    bench.core.Collect(first - 1, out);
    EXPECT_TRUE(out.empty());
    bench.core.Collect(first, out);
    EXPECT_EQ(out.size(), 1u);
    const int64_t last = requestDone + 3000 + std::llround(7 * kByteUs9600);
    bench.core.Collect(last - 1, out);
    EXPECT_EQ(out.size(), 6u);
    bench.core.Collect(last, out);
    EXPECT_EQ(out, (Bytes{0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03}));
    EXPECT_EQ(bench.core.NextByteUs(last), -1);
}

TEST(EmulatorLine, SpeedAndTurnaroundCanBeChanged) {
    Bench bench(EmulatorConfig{.baud = 19200, .turnaroundUs = 0});
    const int64_t sent = bench.now;
    bench.core.HostSends(kIdentify, sent);
    EXPECT_EQ(bench.core.NextByteUs(sent), sent + std::llround(7 * kByteUs9600 / 2));
    bench.Wait(100'000);

    bench.core.SetTurnaroundUs(20'000);
    const int64_t later = bench.now;
    bench.core.HostSends(kIdentify, later);
    EXPECT_EQ(bench.core.NextByteUs(later), later + 20'000 + std::llround(7 * kByteUs9600 / 2));
}

TEST(EmulatorLine, HostBytesQueueBehindEachOther) {
    Bench bench(EmulatorConfig{.turnaroundUs = 0});
    const int64_t sent = bench.now;
    // Three bytes handed over at once, the rest 100 ms later: the later ones
    // start when handed over, not when the line would first have been free.
    bench.core.HostSends(Bytes(kIdentify.begin(), kIdentify.begin() + 3), sent);
    bench.core.HostSends(Bytes(kIdentify.begin() + 3, kIdentify.end()), sent + 10'000);
    const int64_t requestDone = sent + 10'000 + std::llround(3 * kByteUs9600);
    EXPECT_EQ(bench.core.NextByteUs(sent), requestDone + std::llround(kByteUs9600));
}

TEST(EmulatorStreaming, PacketsFollowBackToBackAtTheLineRate) {
    Bench bench(EmulatorConfig{.firmware = 0x20, .turnaroundUs = 0});
    const int64_t sent = bench.now;
    bench.core.HostSends(MonitorStart(0x40, 14), sent);
    const int64_t streamStart = sent + std::llround(10 * kByteUs9600);

    // One second later the wire has carried exactly as many bytes as fit.
    bench.now = streamStart + 1'000'500;
    Bytes out;
    bench.core.Collect(bench.now, out);
    EXPECT_EQ(out.size(), 960u);
    std::vector<Frame> frames;
    std::size_t rest = 0;
    SplitPackets(out, frames, &rest);
    EXPECT_EQ(frames.size(), out.size() / 20);
    EXPECT_EQ(rest, out.size() % 20);
    for (const Frame& f : frames) {
        EXPECT_EQ(f.code, 0x83);
        EXPECT_EQ(f.data.size(), 14u);
    }
    EXPECT_TRUE(bench.core.IsStreaming());
    EXPECT_EQ(bench.core.Counters().monitorStarts, 1);

    // Over a long run the pacing does not drift: byte n arrives at n byte times.
    bench.now = streamStart + 600'000'500;
    out.clear();
    bench.core.Collect(bench.now, out);
    EXPECT_EQ(bench.core.Counters().bytesSent, 576'000u);
}

TEST(EmulatorStreaming, TheCancelRequestEndsTheStreamAfterTheCurrentPacket) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    bench.Send(MonitorStart(0x40, 14), 55'000);  // a couple of packets under way
    bench.core.HostSends(uint8_t{0x18}, bench.now);
    Bytes more = bench.Wait(50'000);
    EXPECT_TRUE(bench.core.IsStreaming()) << "one CAN is only a wake-up";
    bench.core.HostSends(Bytes{0x18, 0x18}, bench.now);
    const Bytes tail = bench.Wait(100'000);
    EXPECT_FALSE(bench.core.IsStreaming());
    EXPECT_LE(tail.size(), 20u + 3u) << "at most the packet on the wire completes";
    EXPECT_TRUE(bench.Wait(500'000).empty());
    EXPECT_EQ(bench.core.Counters().cancels, 1);
    // Everything streamed was whole packets.
    EXPECT_EQ(bench.core.Counters().bytesSent % 20, 0u);
    // And the module answers requests again.
    EXPECT_EQ(bench.Send(kIdentify).size(), 7u);
}

TEST(EmulatorStreaming, RequestsWhileStreamingAreNotAnswered) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    bench.Send(MonitorStart(0x40, 14), 30'000);
    bench.core.HostSends(kIdentify, bench.now);
    bench.core.HostSends(Write(0xB600, 1), bench.now);
    const Bytes out = bench.Wait(200'000);
    std::vector<Frame> frames;
    std::size_t rest = 0;
    SplitPackets(out, frames, &rest);
    for (const Frame& f : frames) EXPECT_EQ(f.code, 0x83);
    EXPECT_NE(bench.core.Peek(0xB600), 1);
}

TEST(EmulatorStreaming, ThePacketCarriesTheRequestedBlock) {
    Bench bench;
    bench.core.Poke(0x0100, 0xAB);
    bench.core.Poke(0x0102, 0xCD);
    const Bytes out = bench.Send(MonitorStart(0x0100, 3), 30'000);
    const auto frame = ParseFrame(out);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data, (Bytes{0xAB, 0x00, 0xCD}));
}

}  // namespace
}  // namespace qx::emu::test
