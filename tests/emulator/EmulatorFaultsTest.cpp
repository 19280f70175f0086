// Each injected fault, deterministic from its random key.
#include <gtest/gtest.h>

#include <algorithm>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

bool IsSubsequence(const Bytes& small, const Bytes& big) {
    std::size_t i = 0;
    for (uint8_t b : big) i += i < small.size() && small[i] == b;
    return i == small.size();
}

TEST(EmulatorFaults, ArmedFaultsChangeTheAnswerToAWrite) {
    struct Case {
        Fault fault;
        int count;
        Bytes answer;
        bool stored;
    };
    const Case cases[] = {{Fault::Silent, 2, {}, false},
                          {Fault::Nak, 1, {0x15}, false},
                          {Fault::SwallowAck, 1, {}, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(FaultName(c.fault));
        Bench bench;
        bench.core.ArmFault(c.fault, c.count);
        // Only writes take a swallowed ACK: an identify before it is answered.
        if (c.fault == Fault::SwallowAck) {
            EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
        }
        for (int i = 0; i < c.count; ++i) EXPECT_EQ(bench.Send(WriteRequest(0xB600, 7)), c.answer);
        EXPECT_EQ(bench.core.Peek(0xB600) == 7, c.stored);
        EXPECT_EQ(bench.core.Counters().faultsFired[static_cast<int>(c.fault)], c.count);
        EXPECT_EQ(bench.Send(WriteRequest(0xB600, 8)), (Bytes{0x06})) << "one fault per arming";
    }
    // Armed to fire after two exchanges have passed untouched.
    Bench bench;
    bench.core.ArmFault(Fault::Nak, 1, 2);
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
    EXPECT_EQ(bench.Send(WriteRequest(0xB600, 7)), (Bytes{0x06}));
    EXPECT_EQ(bench.Send(WriteRequest(0xB601, 7)), (Bytes{0x15}));
    EXPECT_EQ(bench.Send(WriteRequest(0xB601, 7)), (Bytes{0x06}));
}

TEST(EmulatorFaults, CorruptDropAndGarbageSpoilOnlyTheirAnswer) {
    Bench bench;
    bench.core.ArmFault(Fault::CorruptChecksum, 1);
    Bytes bad = bench.Send(kIdentify);
    ASSERT_EQ(bad.size(), 7u);
    EXPECT_FALSE(ParseFrame(bad));
    bad[5] = 0x11;
    EXPECT_EQ(bad, kIdentity10) << "only the checksum changed";
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);

    const Bytes good = bench.Send(ReadRequest(0xB600, 16));
    bench.core.ArmFault(Fault::DropByte, 1);
    const Bytes shortened = bench.Send(ReadRequest(0xB600, 16));
    EXPECT_EQ(shortened.size(), good.size() - 1);
    EXPECT_TRUE(IsSubsequence(shortened, good));

    bench.core.ArmFault(Fault::Garbage, 1);
    const Bytes noisy = bench.Send(ReadRequest(0xB600, 16));
    EXPECT_GE(noisy.size(), good.size() + 1);
    EXPECT_LE(noisy.size(), good.size() + 4);
    EXPECT_TRUE(IsSubsequence(good, noisy));
    EXPECT_EQ(bench.Send(kIdentify), kIdentity10);
}

TEST(EmulatorFaults, FloodStreamsTheFirmwaresBlockAndIgnoresCancelUntilCleared) {
    Bench bench;
    bench.core.ArmFault(Fault::Flood, 1);
    const Bytes out = bench.Send(kIdentify, 100'000);
    ASSERT_GT(out.size(), 7u + 63u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 7), kIdentity10);
    const auto packet = ParseFrame(out, 7);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->code, 0x83);
    EXPECT_EQ(packet->data.size(), 57u);  // 0x45 to 0x7D for firmware 1.0

    bench.Send({0x18, 0x18}, 100'000);
    EXPECT_TRUE(bench.core.IsFlooding());
    EXPECT_GT(bench.Wait(100'000).size(), 80u);
    bench.core.ClearFaults();
    bench.Send({0x18, 0x18}, 100'000);
    EXPECT_FALSE(bench.core.IsStreaming());
    EXPECT_TRUE(bench.Wait(100'000).empty());
    EXPECT_EQ(bench.core.Counters().cancels, 2);
}

TEST(EmulatorFaults, VanishCutsTheAnswerAndTheDeviceIsGone) {
    Bench bench;
    const Bytes full = bench.Send(ReadRequest(0xB600, 32), 100'000);
    ASSERT_EQ(full.size(), 38u);
    bench.core.ArmFault(Fault::Vanish, 1);
    const int64_t sent = bench.now;
    const Bytes part = bench.Send(ReadRequest(0xB600, 32), 100'000);
    EXPECT_LT(part.size(), full.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin()));
    EXPECT_TRUE(bench.core.IsGone(bench.now));
    EXPECT_FALSE(bench.core.IsGone(sent));
    EXPECT_TRUE(bench.Send(kIdentify).empty());
    EXPECT_EQ(bench.core.NextByteUs(bench.now), -1);
}

// Which of 200 identify requests were answered well, with a fault at probability p.
Bytes Outcomes(uint32_t randomKey, Fault fault, double p, bool clear = false) {
    Bench bench(EmulatorConfig{.randomKey = randomKey});
    bench.core.SetFaultProbability(fault, p);
    if (clear) {
        bench.core.ArmFault(Fault::Silent, 5);
        bench.core.ClearFaults();
    }
    Bytes outcomes;
    for (int i = 0; i < 200; ++i) outcomes.push_back(bench.Send(kIdentify) == kIdentity10);
    return outcomes;
}

TEST(EmulatorFaults, ProbabilitiesAreDeterministicForARandomKeyAndCanBeCleared) {
    for (Fault fault :
         {Fault::Silent, Fault::Nak, Fault::CorruptChecksum, Fault::DropByte, Fault::Garbage}) {
        SCOPED_TRACE(FaultName(fault));
        const Bytes a = Outcomes(7, fault, 0.3);
        EXPECT_EQ(a, Outcomes(7, fault, 0.3));
        EXPECT_NE(a, Outcomes(8, fault, 0.3));
        const auto failed = std::count(a.begin(), a.end(), 0);
        EXPECT_GT(failed, 30);
        EXPECT_LT(failed, 90);
    }
    EXPECT_EQ(Outcomes(7, Fault::Nak, 0.0), Bytes(200, 1));
    EXPECT_EQ(Outcomes(7, Fault::Nak, 1.0, true), Bytes(200, 1));
}

}  // namespace
}  // namespace qx::emu::test
