#pragma once
// An in-memory serial line for tests, driven by a clock (normally virtual):
// a read with a time-out on a silent line advances the clock and returns at once.
// The far end is a LineDevice: the module emulator or a scripted device.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "core/host/Clock.h"
#include "core/serial/SerialPort.h"

namespace qx::serial {

// The far end of a MemoryLine. Times are the line's clock in milliseconds.
class LineDevice {
  public:
    virtual ~LineDevice() = default;
    // A byte the host wrote arrives at the device at time nowMs.
    virtual void OnHostByte(uint8_t byte, int64_t nowMs) = 0;
    // Appends to out every byte the device sends up to nowMs.
    virtual void Produce(int64_t nowMs, std::vector<uint8_t>& out) = 0;
    // Earliest time after nowMs at which the device will send a byte, or -1.
    virtual int64_t NextOutputTime(int64_t nowMs) = 0;
};

class MemoryLine final : public SerialPort {
  public:
    // Neither clock nor device is owned; both must outlive the line. A null
    // device is a silent far end (bytes can still be fed with Feed).
    MemoryLine(Clock& clock, LineDevice* device, std::size_t rxCapacity = 4096);

    int ReadByte(int timeoutMs) override;
    int WriteByte(uint8_t byte) override;
    std::size_t RXCount() override;
    std::size_t TXCount() override { return 0; }
    void RXFlush() override;
    void TXFlush() override {}
    std::size_t GetBuffer(uint8_t* buffer, std::size_t count, int timeoutMs) override;
    int GetCommError(uint16_t& status) override;
    bool IsGone() override { return gone_; }
    WaitOutcome WaitForBytes(std::size_t n, int timeoutMs) override;
    int ByteTimeUs() const override { return byteTimeUs_; }
    std::string DevicePath() const override { return "memory"; }

    // Test controls.
    // The device vanishes (or comes back): reads give kDeviceGone, writes fail,
    // waits end with DeviceGone; bytes already received stay readable.
    void SetGone(bool gone);
    // A line error (kLine... bits) that the next GetCommError reports.
    void InjectLineError(uint16_t status) { pendingStatus_ |= status; }
    // While set, WriteByte fails with -1 and the device sees nothing.
    void SetRefuseWrites(bool refuse) { refuseWrites_ = refuse; }
    // Places bytes in the receive buffer as if the device had sent them now.
    void Feed(const std::vector<uint8_t>& bytes);
    void SetByteTimeUs(int us) { byteTimeUs_ = us; }
    // Every byte the host wrote and the device accepted, in order. The
    // reference stays valid for the life of the line.
    const std::vector<uint8_t>& Written() const { return written_; }
    std::size_t BytesWritten() const { return written_.size(); }
    void ClearWritten() { written_.clear(); }
    // Bytes lost because the receive buffer was full.
    std::size_t BytesLost() const { return lost_; }

  private:
    // Collects what the device has sent up to now.
    void Pump();
    void Receive(uint8_t byte);
    // Moves the clock to the device's next output or to deadline, whichever
    // comes first. False when the deadline had already passed.
    bool AdvanceTowards(int64_t deadline);

    Clock& clock_;
    LineDevice* device_;
    std::size_t capacity_;
    std::deque<uint8_t> rx_;
    std::vector<uint8_t> written_;
    std::vector<uint8_t> produced_;
    std::size_t lost_ = 0;
    uint16_t pendingStatus_ = 0;
    bool gone_ = false;
    bool goneReported_ = false;
    bool refuseWrites_ = false;
    int byteTimeUs_ = 1042;
};

// A port in front of a memory line that passes every call on, for a test to
// override what its adapter does otherwise; Look() runs before each call
// that looks at the line.
class InFrontOfLine : public SerialPort {
  public:
    explicit InFrontOfLine(std::unique_ptr<MemoryLine> line) : line_(std::move(line)) {}
    int ReadByte(int t) override { return Look(), line_->ReadByte(t); }
    int WriteByte(uint8_t b) override { return line_->WriteByte(b); }
    std::size_t RXCount() override { return Look(), line_->RXCount(); }
    std::size_t TXCount() override { return line_->TXCount(); }
    void RXFlush() override { Look(), line_->RXFlush(); }
    void TXFlush() override { line_->TXFlush(); }
    std::size_t GetBuffer(uint8_t* b, std::size_t n, int t) override {
        return Look(), line_->GetBuffer(b, n, t);
    }
    int GetCommError(uint16_t& s) override { return line_->GetCommError(s); }
    bool IsGone() override { return line_->IsGone(); }
    WaitOutcome WaitForBytes(std::size_t n, int t) override {
        return Look(), line_->WaitForBytes(n, t);
    }
    std::string DevicePath() const override { return "in front"; }

  protected:
    virtual void Look() {}
    MemoryLine& Line() { return *line_; }

  private:
    std::unique_ptr<MemoryLine> line_;
};

}  // namespace qx::serial
