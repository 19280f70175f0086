// The emulator at the far end of an in-memory serial line on a virtual clock.
#include <gtest/gtest.h>

#include "EmulatorTestUtil.h"
#include "emulator/EmulatorLine.h"
#include "host/Clock.h"
#include "serial/MemoryLine.h"

namespace qx::emu::test {
namespace {

struct Linked {
    explicit Linked(const EmulatorConfig& config = {}) : device(config), line(clock, &device) {
        device.AttachLine(&line);
    }
    void Write(const Bytes& bytes) {
        for (uint8_t b : bytes) ASSERT_EQ(line.WriteByte(b), 0);
    }
    // Reads up to count bytes; last holds the final read's result.
    Bytes Read(std::size_t count, int* last = nullptr) {
        Bytes out;
        int b = 0;
        while (out.size() < count && (b = line.ReadByte(200)) >= 0) out.push_back(uint8_t(b));
        if (last) *last = b;
        return out;
    }
    VirtualClock clock;
    EmulatorLine device;
    serial::MemoryLine line;
};

TEST(EmulatorLineDevice, AnswersThroughTheLineInWireTime) {
    Linked link;
    const int64_t start = link.clock.NowMs();
    link.Write(kIdentify);
    EXPECT_EQ(link.Read(7), kIdentity10);
    // 6 bytes out, 1 ms turnaround, 7 bytes back: 14.5 ms, read on whole milliseconds.
    EXPECT_EQ(link.clock.NowMs() - start, 15);
    EXPECT_EQ(link.line.ReadByte(200), serial::kReadTimeout);
    EXPECT_EQ(link.clock.NowMs() - start, 215);
}

TEST(EmulatorLineDevice, AStreamThatIsNotReadFillsTheReceiveBuffer) {
    Linked link(EmulatorConfig{.firmware = 0x20});
    link.Write(MonitorStartRequest(0x40, 14));
    link.clock.Advance(10'000);
    EXPECT_EQ(link.line.RXCount(), 4096u);
    EXPECT_GT(link.line.BytesLost(), 5000u);
    // The oldest bytes were kept: the buffer starts with whole packets.
    const Bytes kept = link.Read(40);
    EXPECT_TRUE(ParseFrame(kept, 0));
    EXPECT_TRUE(ParseFrame(kept, 20));
    link.Write({0x18, 0x18});
    link.line.RXFlush();
    link.clock.Advance(100);
    link.line.RXFlush();
    link.clock.Advance(1000);
    EXPECT_EQ(link.line.RXCount(), 0u);
    EXPECT_FALSE(link.device.Core().IsStreaming());
}

TEST(EmulatorLineDevice, AVanishedModuleTakesTheLineDown) {
    Linked link;
    link.device.Core().ArmFault(Fault::Vanish, 1);
    link.Write(ReadRequest(0xB600, 16));
    int last = 0;
    EXPECT_LT(link.Read(22, &last).size(), 22u);
    EXPECT_EQ(last, serial::kDeviceGone);
    EXPECT_TRUE(link.line.IsGone());
}

}  // namespace
}  // namespace qx::emu::test
