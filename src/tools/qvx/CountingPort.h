#pragma once
// A serial port that counts the bytes crossing it in each direction and tells an
// observer after each change. It lets the program draw progress and lets the
// benchmarks count what actually crossed the line, without touching the link.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "serial/SerialPort.h"

namespace qx::qvx {

class CountingPort final : public serial::SerialPort {
  public:
    // Takes ownership of the wrapped port.
    explicit CountingPort(std::unique_ptr<serial::SerialPort> inner);

    // Called after every counted byte or buffer; may be empty.
    void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }
    std::uint64_t BytesWritten() const { return written_; }
    std::uint64_t BytesRead() const { return read_; }
    void ResetCounts() { written_ = read_ = 0; }
    serial::SerialPort& Inner() { return *inner_; }

    int ReadByte(int timeoutMs) override;
    int WriteByte(uint8_t byte) override;
    std::size_t RXCount() override { return inner_->RXCount(); }
    std::size_t TXCount() override { return inner_->TXCount(); }
    // Flushed bytes crossed the line too; they are counted as read.
    void RXFlush() override;
    void TXFlush() override { inner_->TXFlush(); }
    std::size_t GetBuffer(uint8_t* buffer, std::size_t count, int timeoutMs) override;
    int GetCommError(uint16_t& status) override { return inner_->GetCommError(status); }
    bool IsGone() override { return inner_->IsGone(); }
    int PollFd() const override { return inner_->PollFd(); }
    WaitOutcome WaitForBytes(std::size_t n, int timeoutMs) override {
        return inner_->WaitForBytes(n, timeoutMs);
    }
    int ByteTimeUs() const override { return inner_->ByteTimeUs(); }
    std::string DevicePath() const override { return inner_->DevicePath(); }

  private:
    void Notify() {
        if (observer_) observer_();
    }

    std::unique_ptr<serial::SerialPort> inner_;
    std::function<void()> observer_;
    std::uint64_t written_ = 0;
    std::uint64_t read_ = 0;
};

}  // namespace qx::qvx
