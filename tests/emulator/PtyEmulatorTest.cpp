// The emulator served on a real pseudo-terminal, read with plain POSIX calls.
#include <gtest/gtest.h>

#include <cerrno>

#include "EmulatorTestUtil.h"
#include "emulator/PtyEmulator.h"
#include "support/Eventually.h"

namespace qx::emu::test {
namespace {

using qx::test::Eventually;

TEST(PtyEmulator, AnswersByteExactlyAndSurvivesTheHostReopening) {
    PtyEmulator emulator;
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    {
        HostEnd host(emulator.SlavePath());
        ASSERT_GE(host.fd, 0);
        host.Send(kIdentify);
        EXPECT_EQ(host.Receive(7), kIdentity10);
        host.Send(WriteRequest(0xB600, 0x2A));
        EXPECT_EQ(host.Receive(1), (Bytes{0x06}));
    }
    HostEnd again(emulator.SlavePath());
    ASSERT_GE(again.fd, 0);
    again.Send(ReadRequest(0xB600, 1));
    const auto frame = ParseFrame(again.Receive(7));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data, (Bytes{0x2A}));
    EXPECT_EQ(emulator.Counters().framesByCommand[1], 1);
    emulator.Stop();
    emulator.Stop();
}

TEST(PtyEmulator, AReaderThatDoesNotReadLosesWhatDoesNotFit) {
    // A host buffer of ten packets, well below any kernel's pty queue, so what is
    // kept does not depend on the kernel; a fast line fills it in 55 ms.
    constexpr std::size_t kBuffer = 10 * 63;
    PtyEmulator emulator(EmulatorConfig{.baud = 115200}, kBuffer);
    ASSERT_TRUE(emulator.Start());
    HostEnd host(emulator.SlavePath());
    host.Send(MonitorStartRequest(0x45, 57));
    ASSERT_TRUE(Eventually([&] { return emulator.DroppedBytes() > 0; }));
    // Bytes are dropped only once the buffer is full; it may hold a few more that
    // were on their way, but those follow in order.
    EXPECT_GE(host.Queued(), static_cast<int>(kBuffer));
    // What waits is the start of the stream: whole packets, oldest first.
    const Bytes kept = host.Receive(kBuffer);
    ASSERT_EQ(kept.size(), kBuffer);
    for (std::size_t at = 0; at < kept.size(); at += 63) ASSERT_TRUE(ParseFrame(kept, at)) << at;
    host.Send({0x18, 0x18});
    EXPECT_TRUE(Eventually([&] { return !emulator.IsStreaming(); }));
}

TEST(PtyEmulator, VanishingHangsUpTheHost) {
    for (bool byFault : {false, true}) {
        SCOPED_TRACE(byFault ? "vanish fault" : "Vanish()");
        PtyEmulator emulator;
        if (byFault) emulator.ArmFault(Fault::Vanish, 1);
        ASSERT_TRUE(emulator.Start());
        HostEnd host(emulator.SlavePath());
        if (byFault) {
            host.Send(ReadRequest(0xB600, 16));
            EXPECT_LT(host.Receive(22, 1000).size(), 22u) << "cut part way through the answer";
        } else {
            host.Send(kIdentify);
            ASSERT_EQ(host.Receive(7).size(), 7u);
            emulator.Vanish();
        }
        EXPECT_TRUE(host.HungUp());
        EXPECT_TRUE(emulator.IsGone());
        uint8_t byte = 0;
        const ssize_t n = read(host.fd, &byte, 1);
        EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n << " " << errno;
    }
}

}  // namespace
}  // namespace qx::emu::test
