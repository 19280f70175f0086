// The emulator served on a real pseudo-terminal, read with plain POSIX calls.
#include "emulator/PtyEmulator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

using Clock = std::chrono::steady_clock;

// The host's end: the slave opened raw, as a serial port would be.
class HostEnd {
  public:
    explicit HostEnd(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~HostEnd() { Close(); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until count bytes came or the deadline passed.
    Bytes Receive(std::size_t count, int deadlineMs = 3000) {
        Bytes out;
        const auto end = Clock::now() + std::chrono::milliseconds(deadlineMs);
        while (out.size() < count && Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) break;
            uint8_t buffer[4096];
            const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
            if (n > 0) out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }
    int Queued() const {
        int n = 0;
        ioctl(fd_, FIONREAD, &n);
        return n;
    }
    // Waits for a hangup; true when it came.
    bool AwaitHangup(int deadlineMs = 3000) {
        const auto end = Clock::now() + std::chrono::milliseconds(deadlineMs);
        while (Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) > 0 && (p.revents & POLLHUP)) return true;
        }
        return false;
    }

  private:
    int fd_ = -1;
};

// Polls a condition for a bounded time: the emulator runs in real time.
template <class F>
bool Eventually(F condition, int deadlineMs = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(deadlineMs);
    while (!condition()) {
        if (Clock::now() >= end) return false;
        pollfd none{-1, 0, 0};
        poll(&none, 0, 10);
    }
    return true;
}

TEST(PtyEmulator, AnswersByteExactlyAndSurvivesTheHostReopening) {
    PtyEmulator emulator;
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    ASSERT_FALSE(emulator.SlavePath().empty());
    {
        HostEnd host(emulator.SlavePath());
        ASSERT_TRUE(host.ok());
        host.Send(kIdentify);
        EXPECT_EQ(host.Receive(7), (Bytes{0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03}));
        host.Send(Write(0xB600, 0x2A));
        EXPECT_EQ(host.Receive(1), (Bytes{0x06}));
    }
    // The host closed the device; it opens it again and carries on.
    HostEnd again(emulator.SlavePath());
    ASSERT_TRUE(again.ok());
    again.Send(Read(0xB600, 1));
    const auto frame = ParseFrame(again.Receive(7));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data, (Bytes{0x2A}));
    EXPECT_EQ(emulator.Peek(0xB600), 0x2A);
    const EmulatorCounters counters = emulator.Counters();
    EXPECT_EQ(counters.framesByCommand[0], 1);
    EXPECT_EQ(counters.framesByCommand[1], 1);
    EXPECT_EQ(counters.writes.size(), 1u);
    emulator.Stop();
    emulator.Stop();
}

TEST(PtyEmulator, NeverSendsFasterThanTheLine) {
    PtyEmulator emulator(EmulatorConfig{.firmware = 0x20});
    ASSERT_TRUE(emulator.Start());
    HostEnd host(emulator.SlavePath());
    ASSERT_TRUE(host.ok());
    const auto start = Clock::now();
    host.Send(MonitorStart(0x40, 14));
    const Bytes got = host.Receive(100'000, 600);
    const double elapsedUs =
        std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    const double byteUs = 10.0 * 1e6 / 9600.0;
    EXPECT_LE(got.size(), elapsedUs / byteUs + 1);
    EXPECT_GE(got.size(), 0.1 * elapsedUs / byteUs) << "the stream must keep going";
    EXPECT_TRUE(ParseFrame(got, 0));
    host.Send({0x18, 0x18});
    EXPECT_TRUE(Eventually([&] { return !emulator.IsStreaming(); }));
}

TEST(PtyEmulator, AReaderThatDoesNotReadLosesWhatDoesNotFit) {
    // Fast line, 63-byte packets: the host's queue fills in about a third of a second.
    PtyEmulator emulator(EmulatorConfig{.baud = 115200});
    ASSERT_TRUE(emulator.Start());
    HostEnd host(emulator.SlavePath());
    ASSERT_TRUE(host.ok());
    host.Send(MonitorStart(0x45, 57));
    ASSERT_TRUE(Eventually([&] { return emulator.DroppedBytes() > 2000; }));
    const int queued = host.Queued();
    EXPECT_LE(queued, static_cast<int>(PtyEmulator::kPtyQueueLimit));
    EXPECT_GE(queued, 4000);
    const uint64_t droppedBefore = emulator.DroppedBytes();
    ASSERT_TRUE(Eventually([&] { return emulator.DroppedBytes() > droppedBefore + 1000; }));
    EXPECT_LE(host.Queued(), static_cast<int>(PtyEmulator::kPtyQueueLimit));
    // What waits is the start of the stream: 65 whole packets, oldest first.
    const Bytes kept = host.Receive(PtyEmulator::kPtyQueueLimit);
    ASSERT_EQ(kept.size(), PtyEmulator::kPtyQueueLimit);
    for (std::size_t at = 0; at < kept.size(); at += 63) {
        const auto frame = ParseFrame(kept, at);
        ASSERT_TRUE(frame) << "packet at " << at;
        EXPECT_EQ(frame->code, 0x83);
    }
    host.Send({0x18, 0x18});
    EXPECT_TRUE(Eventually([&] { return !emulator.IsStreaming(); }));
}

TEST(PtyEmulator, VanishingHangsUpTheHost) {
    PtyEmulator emulator;
    ASSERT_TRUE(emulator.Start());
    HostEnd host(emulator.SlavePath());
    ASSERT_TRUE(host.ok());
    host.Send(kIdentify);
    ASSERT_EQ(host.Receive(7).size(), 7u);
    emulator.Vanish();
    EXPECT_TRUE(host.AwaitHangup());
    EXPECT_TRUE(emulator.IsGone());
    uint8_t byte = 0;
    const ssize_t n = read(host.fd(), &byte, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n << " " << errno;
}

TEST(PtyEmulator, AVanishFaultHangsUpPartWayThroughAnAnswer) {
    PtyEmulator emulator(EmulatorConfig{.randomKey = 11});
    emulator.ArmFault(Fault::Vanish, 1);
    ASSERT_TRUE(emulator.Start());
    HostEnd host(emulator.SlavePath());
    ASSERT_TRUE(host.ok());
    host.Send(Read(0xB600, 16));
    const Bytes part = host.Receive(22, 1000);
    EXPECT_LT(part.size(), 22u);
    EXPECT_TRUE(host.AwaitHangup());
    EXPECT_TRUE(emulator.IsGone());
    EXPECT_EQ(emulator.Counters().faultsFired[static_cast<int>(Fault::Vanish)], 1);
}

}  // namespace
}  // namespace qx::emu::test
