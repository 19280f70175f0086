#pragma once
// A pipe standing in for a serial device, for testing the console host's waits on
// a real descriptor: what the test sends arrives at the port; closing the far end
// is a hang-up. It counts how often the wait looks at it, to prove that no wait spins.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "core/serial/SerialPort.h"

namespace qx::testports {

class PipePort final : public serial::SerialPort {
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
        const std::string bytes(count, 'x');
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
        return ioctl(readFd_, FIONREAD, &n) == 0 ? static_cast<std::size_t>(n) : 0;
    }
    bool IsGone() override {
        ++isGoneCalls;
        return false;
    }
    int PollFd() const override { return readFd_; }
    int ByteTimeUs() const override { return byteTimeUs_; }
    WaitOutcome WaitForBytes(std::size_t, int) override { return WaitOutcome::Timeout; }
    int ReadByte(int) override { return serial::kReadTimeout; }
    int WriteByte(uint8_t) override { return 0; }
    std::size_t TXCount() override { return 0; }
    void RXFlush() override {}
    void TXFlush() override {}
    std::size_t GetBuffer(uint8_t*, std::size_t, int) override { return 0; }
    int GetCommError(uint16_t& status) override { return status = 0; }
    std::string DevicePath() const override { return "pipe"; }

    int rxCountCalls = 0;
    int isGoneCalls = 0;

  private:
    int readFd_ = -1;
    int farFd_ = -1;
    int byteTimeUs_ = 1042;
};

}  // namespace qx::testports
