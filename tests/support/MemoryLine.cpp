#include "support/MemoryLine.h"

#include <algorithm>
#include <limits>

namespace qx::serial {

MemoryLine::MemoryLine(Clock& clock, LineDevice* device, std::size_t rxCapacity)
    : clock_(clock), device_(device), capacity_(rxCapacity) {}

void MemoryLine::Receive(uint8_t byte) {
    // Like a UART whose buffer is full: the new byte is dropped and noted.
    if (rx_.size() >= capacity_) {
        ++lost_;
        pendingStatus_ |= kLineRxOverflow;
        return;
    }
    rx_.push_back(byte);
}

void MemoryLine::Pump() {
    if (device_ == nullptr) return;
    produced_.clear();
    device_->Produce(clock_.NowMs(), produced_);
    // A vanished device sends nothing more.
    if (gone_) return;
    for (uint8_t byte : produced_) Receive(byte);
}

bool MemoryLine::AdvanceTowards(int64_t deadline) {
    int64_t now = clock_.NowMs();
    if (now >= deadline) return false;
    int64_t target = deadline;
    if (device_ != nullptr && !gone_) {
        int64_t next = device_->NextOutputTime(now);
        // A device that claims output now but produced none still lets time move.
        if (next >= 0) target = std::min(target, std::max(next, now + 1));
    }
    int64_t step = std::min<int64_t>(target - now, std::numeric_limits<int>::max());
    clock_.SleepMs(static_cast<int>(step));
    // A clock that does not move (a frozen fake) must not trap the caller.
    if (clock_.NowMs() <= now) return false;
    Pump();
    return true;
}

int MemoryLine::ReadByte(int timeoutMs) {
    int64_t deadline = clock_.NowMs() + std::max(timeoutMs, 0);
    Pump();
    for (;;) {
        if (!rx_.empty()) {
            uint8_t byte = rx_.front();
            rx_.pop_front();
            return byte;
        }
        if (gone_) return kDeviceGone;
        if (!AdvanceTowards(deadline)) return kReadTimeout;
    }
}

int MemoryLine::WriteByte(uint8_t byte) {
    if (gone_) return kDeviceGone;
    if (refuseWrites_) return -1;
    Pump();
    written_.push_back(byte);
    if (device_ != nullptr) device_->OnHostByte(byte, clock_.NowMs());
    return 0;
}

std::size_t MemoryLine::RXCount() {
    Pump();
    return rx_.size();
}

void MemoryLine::RXFlush() {
    Pump();
    rx_.clear();
}

std::size_t MemoryLine::GetBuffer(uint8_t* buffer, std::size_t count, int timeoutMs) {
    if (buffer == nullptr) return 0;
    int64_t deadline = clock_.NowMs() + std::max(timeoutMs, 0);
    std::size_t placed = 0;
    Pump();
    for (;;) {
        while (placed < count && !rx_.empty()) {
            buffer[placed++] = rx_.front();
            rx_.pop_front();
        }
        if (placed == count || gone_) return placed;
        if (!AdvanceTowards(deadline)) return placed;
    }
}

int MemoryLine::GetCommError(uint16_t& status) {
    status = pendingStatus_;
    pendingStatus_ = 0;
    if (gone_ && !goneReported_) {
        goneReported_ = true;
        status |= kLineDeviceGone;
    }
    return status;
}

WaitOutcome MemoryLine::WaitForBytes(std::size_t n, int timeoutMs) {
    int64_t deadline = clock_.NowMs() + std::max(timeoutMs, 0);
    Pump();
    for (;;) {
        if (rx_.size() >= n) return WaitOutcome::Ready;
        if (gone_) return WaitOutcome::DeviceGone;
        if (!AdvanceTowards(deadline)) return WaitOutcome::Timeout;
    }
}

void MemoryLine::SetGone(bool gone) {
    if (gone_ == gone) return;
    // Whatever the device sent before it went is in the buffer.
    if (gone) Pump();
    gone_ = gone;
    goneReported_ = false;
}

void MemoryLine::Feed(const std::vector<uint8_t>& bytes) {
    Pump();
    for (uint8_t byte : bytes) Receive(byte);
}

}  // namespace qx::serial
