#pragma once
// Minimal ports for testing the hosts' waits on their own, without the serial layer.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Clock.h"
#include "serial/SerialPort.h"

namespace qx::testports {

// Base with every byte operation inert; the waits are what is tested.
class InertPort : public serial::SerialPort {
  public:
    int ReadByte(int) override { return serial::kReadTimeout; }
    int WriteByte(uint8_t) override { return 0; }
    std::size_t TXCount() override { return 0; }
    void RXFlush() override {}
    void TXFlush() override {}
    std::size_t GetBuffer(uint8_t*, std::size_t, int) override { return 0; }
    int GetCommError(uint16_t& status) override {
        status = 0;
        return 0;
    }
    std::string DevicePath() const override { return "test"; }
};

// Bytes arrive at scripted times of a virtual clock; waiting moves that clock.
class ScriptedPort final : public InertPort {
  public:
    explicit ScriptedPort(VirtualClock& clock) : clock_(clock) {}

    void ArriveAt(int64_t atMs, std::size_t count = 1) {
        for (std::size_t i = 0; i < count; ++i) arrivals_.push_back(atMs);
        std::sort(arrivals_.begin(), arrivals_.end());
    }
    void GoneAt(int64_t atMs) { goneAt_ = atMs; }

    std::size_t RXCount() override {
        ++rxCountCalls;
        return static_cast<std::size_t>(std::count_if(
            arrivals_.begin(), arrivals_.end(), [&](int64_t t) { return t <= clock_.NowMs(); }));
    }
    bool IsGone() override { return goneAt_ >= 0 && clock_.NowMs() >= goneAt_; }
    WaitOutcome WaitForBytes(std::size_t n, int timeoutMs) override {
        waitTimeouts.push_back(timeoutMs);
        const int64_t deadline = clock_.NowMs() + std::max(0, timeoutMs);
        int64_t readyAt = -1;
        if (n == 0) readyAt = clock_.NowMs();
        if (n > 0 && arrivals_.size() >= n) readyAt = std::max(clock_.NowMs(), arrivals_[n - 1]);
        int64_t goneAt = goneAt_ >= 0 ? std::max(clock_.NowMs(), goneAt_) : -1;
        if (goneAt >= 0 && goneAt <= deadline && (readyAt < 0 || goneAt <= readyAt)) {
            clock_.Advance(goneAt - clock_.NowMs());
            return WaitOutcome::DeviceGone;
        }
        if (readyAt >= 0 && readyAt <= deadline) {
            clock_.Advance(readyAt - clock_.NowMs());
            return WaitOutcome::Ready;
        }
        clock_.Advance(deadline - clock_.NowMs());
        return WaitOutcome::Timeout;
    }

    std::vector<int> waitTimeouts;  // the time-out of every WaitForBytes call
    int rxCountCalls = 0;

  private:
    VirtualClock& clock_;
    std::vector<int64_t> arrivals_;
    int64_t goneAt_ = -1;
};

// A pipe standing in for a serial device: what the test writes to the far end
// arrives at the port; closing the far end is a hang-up.
class PipePort final : public InertPort {
  public:
    PipePort() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) == 0) {
            readFd_ = fds[0];
            farFd_ = fds[1];
        }
    }
    ~PipePort() override {
        if (readFd_ >= 0) close(readFd_);
        CloseFarEnd();
    }

    bool Valid() const { return readFd_ >= 0; }
    void Send(std::size_t count) {
        std::string bytes(count, 'x');
        [[maybe_unused]] ssize_t n = write(farFd_, bytes.data(), bytes.size());
    }
    void CloseFarEnd() {
        if (farFd_ >= 0) close(farFd_);
        farFd_ = -1;
    }
    void SetByteTimeUs(int us) { byteTimeUs_ = us; }

    std::size_t RXCount() override {
        ++rxCountCalls;
        int n = 0;
        if (ioctl(readFd_, FIONREAD, &n) != 0) return 0;
        return static_cast<std::size_t>(n);
    }
    bool IsGone() override {
        ++isGoneCalls;
        return false;
    }
    int PollFd() const override { return readFd_; }
    WaitOutcome WaitForBytes(std::size_t, int) override { return WaitOutcome::Timeout; }
    int ByteTimeUs() const override { return byteTimeUs_; }

    int rxCountCalls = 0;
    int isGoneCalls = 0;

  private:
    int readFd_ = -1;
    int farFd_ = -1;
    int byteTimeUs_ = 1042;
};

}  // namespace qx::testports
