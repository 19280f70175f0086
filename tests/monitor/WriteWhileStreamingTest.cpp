// A write asked for while the module streams must reach the wire within about
// one packet's time: the stream is cancelled and the packet in flight read, and
// nothing more. Measured on the virtual clock against the module emulator, from
// the time of the edit to the time its request's first byte went on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/LinkFixture.h"
#include "support/EmulatorLine.h"

namespace qx::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The monitor start request of firmware 1.0: 0x45, 57 bytes; checksum
// 3 -> 06^45=43 -> 86^00=86 -> 0D^39=34 -> 68^00=68.
const Bytes kStartStream = {0x02, 0x05, 0x00, 0x03, 0x45, 0x00, 0x39, 0x00, 0x68, 0x03};

// The emulator, with every byte the host sent and the line's time it was sent.
class TimedModule final : public serial::LineDevice {
  public:
    explicit TimedModule(const emu::EmulatorConfig& config) : module(config) {}
    void OnHostByte(uint8_t byte, int64_t nowMs) override {
        sent.push_back(byte);
        sentAtMs.push_back(nowMs);
        module.OnHostByte(byte, nowMs);
        if (afterStreamRequest && sent.size() >= kStartStream.size() &&
            std::equal(kStartStream.begin(), kStartStream.end(), sent.end() - kStartStream.size()))
            std::exchange(afterStreamRequest, nullptr)();
    }
    void Produce(int64_t nowMs, std::vector<uint8_t>& out) override { module.Produce(nowMs, out); }
    int64_t NextOutputTime(int64_t nowMs) override { return module.NextOutputTime(nowMs); }

    // Where request begins among the bytes sent, searched from byte from; -1 when absent.
    std::ptrdiff_t IndexOf(const Bytes& request, std::size_t from = 0) const {
        const auto begin = sent.begin() + static_cast<std::ptrdiff_t>(from);
        const auto at = std::search(begin, sent.end(), request.begin(), request.end());
        return at == sent.end() ? -1 : at - sent.begin();
    }

    std::function<void()> afterStreamRequest;  // run once, when a stream request has been sent
    emu::EmulatorLine module;
    Bytes sent;
    std::vector<int64_t> sentAtMs;
};

using WriteWhileStreaming = LinkFixture;

TEST_F(WriteWhileStreaming, AnEditGoesOutWithinAboutOnePacketTime) {
    struct Case {
        int baud;
        int64_t editAtMs;  // after the stream was asked for
        bool twice;        // a second edit right after the stream was restarted
    };
    // Packets of 63 bytes: 65.6 ms at 9600 baud, 5.5 ms at 115200; the edit
    // falls at several places of a packet.
    const Case cases[] = {{9600, 200, false},  {9600, 231, false},  {9600, 262, false},
                          {9600, 200, true},   {115200, 50, false}, {115200, 52, false},
                          {115200, 54, false}, {115200, 50, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.baud) + " baud, edit at " + std::to_string(c.editAtMs) +
                     (c.twice ? ", twice" : ""));
        Fresh();
        emu::EmulatorConfig config;
        config.baud = c.baud;
        TimedModule far(config);
        OpenTo(far, [&far](serial::MemoryLine& l) { far.module.AttachLine(&l); });
        ASSERT_TRUE(Port().EstablishLink());
        host->ClearRecords();
        line->SetByteTimeUs(10'000'000 / c.baud);
        const int64_t packetMs = (63 * 10'000 + c.baud - 1) / c.baud;

        std::vector<int64_t> editsAt;
        auto edit = [&](uint8_t value) {
            editsAt.push_back(host->NowMs());
            CommandBusyScope busy(true);
            PumpBlockScope noPump;
            EXPECT_TRUE(Port().WriteModuleByte(0xB602, value));
        };
        host->ScheduleEventIn(c.editAtMs, [&] {
            edit(0x5A);
            // Pending as soon as the loop has asked for the stream again: it
            // cancels a stream whose first packet may not have begun.
            if (c.twice)
                far.afterStreamRequest = [this, &edit] {
                    host->QueueEvent([&edit] { edit(0x5A); });
                };
        });
        host->ScheduleEventIn(c.editAtMs + 1000, [] { RamMonitor::Instance().Stop(); });
        RamMonitor::Instance().Run();

        ASSERT_EQ(editsAt.size(), c.twice ? 2u : 1u);
        EXPECT_EQ(far.module.Core().Peek(0xB602), 0x5A);
        std::size_t from = 0;
        // The second edit's cancel follows the stream request still on the
        // wire (10 bytes) and the module's turnaround (1 ms).
        const int64_t requestMs = (10 * 10'000 + c.baud - 1) / c.baud + 1;
        for (std::size_t i = 0; i < editsAt.size(); ++i) {
            const std::ptrdiff_t index = far.IndexOf(kWriteB602, from);
            ASSERT_GE(index, 0);
            // One packet's time (or, where a packet is shorter, the 10 ms a module
            // may take to react to the cancel), and the line's rounding.
            EXPECT_LE(far.sentAtMs[static_cast<std::size_t>(index)] - editsAt[i],
                      std::max<int64_t>(packetMs, 10) + (i == 1 ? requestMs : 0) + 2);
            from = static_cast<std::size_t>(index) + 1;
        }
        // The stream went on after the edits, and nothing had to be resynchronised.
        std::size_t streamRequests = 0;
        for (std::ptrdiff_t i = 0;
             (i = far.IndexOf(kStartStream, static_cast<std::size_t>(i))) >= 0; ++i)
            ++streamRequests;
        EXPECT_EQ(streamRequests, c.twice ? 3u : 2u);
        EXPECT_EQ(far.module.Core().Counters().writes.size(), c.twice ? 2u : 1u);
        EXPECT_TRUE(host->Messages().empty());
    }
}

}  // namespace
}  // namespace qx::test
