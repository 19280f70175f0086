// Each injected fault, deterministic from its random key.
#include <gtest/gtest.h>

#include <algorithm>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

const Bytes kIdentity10 = {0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03};

bool IsSubsequence(const Bytes& small, const Bytes& big) {
    std::size_t i = 0;
    for (uint8_t b : big) {
        if (i < small.size() && small[i] == b) ++i;
    }
    return i == small.size();
}

TEST(EmulatorFaults, NamesRoundTrip) {
    for (int i = 0; i < kFaultCount; ++i) {
        const auto fault = static_cast<Fault>(i);
        EXPECT_EQ(FaultFromName(FaultName(fault)), fault);
    }
    EXPECT_EQ(FaultFromName("swallow-ack"), Fault::SwallowAck);
    EXPECT_FALSE(FaultFromName("gremlins"));
}

TEST(EmulatorFaults, SilentLeavesTheNextRequestsUnanswered) {
    Bench bench;
    bench.core.ArmFault(Fault::Silent, 2);
    EXPECT_TRUE(bench.Send(kIdentify).empty());
    EXPECT_TRUE(bench.Send(Write(0xB600, 7)).empty());
    EXPECT_NE(bench.core.Peek(0xB600), 7) << "a module that did not answer did not store";
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
    EXPECT_EQ(bench.core.Counters().faultsFired[static_cast<int>(Fault::Silent)], 2);
}

TEST(EmulatorFaults, NakAnswersInsteadOfActing) {
    Bench bench;
    bench.core.ArmFault(Fault::Nak, 1);
    EXPECT_EQ(bench.Send(Write(0xB600, 7)), (Bytes{0x15}));
    EXPECT_NE(bench.core.Peek(0xB600), 7);
    EXPECT_EQ(bench.Send(Write(0xB600, 7)), (Bytes{0x06}));
    EXPECT_EQ(bench.core.Peek(0xB600), 7);
    EXPECT_EQ(bench.core.Counters().naksSent, 1);
}

TEST(EmulatorFaults, CorruptChecksumChangesOnlyTheChecksum) {
    Bench bench;
    bench.core.ArmFault(Fault::CorruptChecksum, 1);
    const Bytes bad = bench.Send(kIdentify);
    ASSERT_EQ(bad.size(), 7u);
    EXPECT_NE(bad[5], 0x11);
    Bytes mended = bad;
    mended[5] = 0x11;
    EXPECT_EQ(mended, kIdentity10);
    EXPECT_FALSE(ParseFrame(bad));
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
}

TEST(EmulatorFaults, DropByteLosesExactlyOneByte) {
    Bench bench;
    const Bytes good = bench.Send(Read(0xB600, 16));
    bench.core.ArmFault(Fault::DropByte, 1);
    const Bytes short1 = bench.Send(Read(0xB600, 16));
    EXPECT_EQ(short1.size(), good.size() - 1);
    EXPECT_TRUE(IsSubsequence(short1, good));
}

TEST(EmulatorFaults, GarbageAddsOneToFourBytes) {
    Bench bench;
    bench.core.ArmFault(Fault::Garbage, 3);
    for (const Bytes& request : {kIdentify, Write(0xB600, 9), Read(0xB7FE, 2)}) {
        Bench clean;
        clean.Send(Write(0xB600, 9));
        const Bytes expected = request == kIdentify ? kIdentity10 : clean.Send(request);
        const Bytes noisy = bench.Send(request);
        EXPECT_GE(noisy.size(), expected.size() + 1);
        EXPECT_LE(noisy.size(), expected.size() + 4);
        EXPECT_TRUE(IsSubsequence(expected, noisy));
    }
}

TEST(EmulatorFaults, SwallowAckStoresTheWriteButSendsNothing) {
    Bench bench;
    bench.core.ArmFault(Fault::SwallowAck, 1);
    // Only writes take this fault: the identify is answered and the count is kept.
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
    EXPECT_TRUE(bench.Send(Write(0xB600, 5)).empty());
    EXPECT_EQ(bench.core.Peek(0xB600), 5);
    EXPECT_EQ(bench.Send(Write(0xB600, 6)), (Bytes{0x06}));
    EXPECT_EQ(bench.core.Counters().writes.size(), 2u);
}

TEST(EmulatorFaults, FloodIgnoresCancelUntilCleared) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    bench.core.ArmFault(Fault::Flood, 1);
    bench.Send(MonitorStart(0x40, 14), 100'000);
    bench.Send({0x18, 0x18}, 100'000);
    EXPECT_TRUE(bench.core.IsFlooding());
    EXPECT_GT(bench.Wait(100'000).size(), 80u);
    bench.core.ClearFaults();
    bench.Send({0x18, 0x18}, 100'000);
    EXPECT_FALSE(bench.core.IsStreaming());
    EXPECT_TRUE(bench.Wait(100'000).empty());
    EXPECT_EQ(bench.core.Counters().cancels, 2);
}

TEST(EmulatorFaults, FloodAfterAnOrdinaryAnswerStreamsTheFirmwaresBlock) {
    Bench bench;
    bench.core.ArmFault(Fault::Flood, 1);
    const Bytes out = bench.Send(kIdentify, 100'000);
    ASSERT_GT(out.size(), 7u + 63u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 7), kIdentity10);
    const auto packet = ParseFrame(out, 7);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->code, 0x83);
    EXPECT_EQ(packet->data.size(), 57u);  // 0x45 to 0x7D for firmware 1.0
}

TEST(EmulatorFaults, VanishCutsTheAnswerAndTheDeviceIsGone) {
    Bench bench;
    const Bytes full = bench.Send(Read(0xB600, 32), 100'000);
    ASSERT_EQ(full.size(), 38u);
    bench.core.ArmFault(Fault::Vanish, 1);
    const int64_t sent = bench.now;
    const Bytes part = bench.Send(Read(0xB600, 32), 100'000);
    EXPECT_LT(part.size(), full.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin()));
    EXPECT_TRUE(bench.core.IsGone(bench.now));
    EXPECT_FALSE(bench.core.IsGone(sent));
    EXPECT_TRUE(bench.Send(kIdentify).empty());
    EXPECT_EQ(bench.core.NextByteUs(bench.now), -1);
}

TEST(EmulatorFaults, FaultsHitSingleMonitorPackets) {
    Bench bench(EmulatorConfig{.firmware = 0x20});
    bench.Send(MonitorStart(0x40, 14), 10'000);
    bench.core.ArmFault(Fault::CorruptChecksum, 2);
    const Bytes out = bench.Wait(20 * 20 * 1042 + 50'000);
    int bad = 0;
    int good = 0;
    for (std::size_t at = 0; at + 20 <= out.size(); at += 20) {
        (ParseFrame(out, at) ? good : bad)++;
    }
    EXPECT_EQ(bad, 2);
    EXPECT_GE(good, 18);
    EXPECT_FALSE(ParseFrame(out, 0)) << "the packets right after arming take the fault";
}

// The outcome of 200 identify requests with a fault at probability p.
Bytes Outcomes(uint32_t randomKey, Fault fault, double p) {
    Bench bench(EmulatorConfig{.randomKey = randomKey});
    bench.core.SetFaultProbability(fault, p);
    Bytes outcomes;
    for (int i = 0; i < 200; ++i) {
        const Bytes answer = bench.Send(kIdentify);
        outcomes.push_back(answer == kIdentity10 ? 1 : 0);
    }
    return outcomes;
}

TEST(EmulatorFaults, ProbabilitiesAreDeterministicForARandomKey) {
    for (Fault fault :
         {Fault::Silent, Fault::Nak, Fault::CorruptChecksum, Fault::DropByte, Fault::Garbage}) {
        const Bytes a = Outcomes(7, fault, 0.3);
        EXPECT_EQ(a, Outcomes(7, fault, 0.3)) << FaultName(fault);
        EXPECT_NE(a, Outcomes(8, fault, 0.3)) << FaultName(fault);
        const auto failed = std::count(a.begin(), a.end(), 0);
        EXPECT_GT(failed, 30) << FaultName(fault);
        EXPECT_LT(failed, 90) << FaultName(fault);
    }
    const Bytes never = Outcomes(7, Fault::Nak, 0.0);
    EXPECT_EQ(std::count(never.begin(), never.end(), 0), 0);
}

TEST(EmulatorFaults, ClearFaultsDisarmsEverything) {
    Bench bench;
    bench.core.ArmFault(Fault::Silent, 5);
    bench.core.SetFaultProbability(Fault::Nak, 1.0);
    bench.core.ClearFaults();
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
}

}  // namespace
}  // namespace qx::emu::test
