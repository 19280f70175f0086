#pragma once
// Millisecond clock and plain sleep. The real clock is monotonic; tests use a
// virtual clock so that time-outs run in microseconds.
#include <cstdint>

namespace qx {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin. Only differences are meaningful.
    virtual int64_t NowMs() = 0;
    // Sleeps without dispatching anything.
    virtual void SleepMs(int ms) = 0;
    // ElapsedSysTime of the serial layer: the same clock as a signed 32-bit count.
    int32_t ElapsedSysTime() { return static_cast<int32_t>(NowMs()); }
};

class SteadyClock final : public Clock {
  public:
    int64_t NowMs() override;
    void SleepMs(int ms) override;
};

// Time moves only when somebody sleeps or advances it.
class VirtualClock final : public Clock {
  public:
    int64_t NowMs() override { return now_; }
    void SleepMs(int ms) override {
        if (ms > 0) now_ += ms;
    }
    void Advance(int64_t ms) { now_ += ms; }

  private:
    int64_t now_ = 1000;
};

// The process-wide real clock. Never null.
Clock& RealClock();

}  // namespace qx
