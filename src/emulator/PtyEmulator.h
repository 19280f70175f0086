#pragma once
// Serves an EmulatorCore on a pseudo-terminal, standing in for the module on
// a real serial port. It runs on a thread of its own, as hardware runs beside
// the program; every access from outside goes through its mutex.
//
// Output is paced by absolute deadlines taken from the core's line model, so
// timer slack never accumulates. Like a UART it never blocks on a slow
// reader: once the host's receive queue is full, further bytes are lost.
// It keeps the slave open itself, so the host may close and reopen the device.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/EmulatorCore.h"

namespace qx::emu {

class PtyEmulator {
  public:
    // A Linux pty's line discipline holds at most this many unread bytes,
    // one fewer than a 4096-byte UART buffer.
    static constexpr std::size_t kPtyQueueLimit = 4095;

    explicit PtyEmulator(const EmulatorConfig& config = {}, std::size_t hostBuffer = 4096);
    ~PtyEmulator();
    PtyEmulator(const PtyEmulator&) = delete;
    PtyEmulator& operator=(const PtyEmulator&) = delete;

    // Opens the pty and starts serving. False with a reason when the system refused.
    bool Start(std::string* error = nullptr);
    // Stops serving and closes the pty. Safe to call twice.
    void Stop();

    // The device the host opens, e.g. /dev/pts/7. Empty before Start.
    const std::string& SlavePath() const { return slavePath_; }
    // The device has disappeared (a vanish fault or Vanish()).
    bool IsGone() const { return gone_; }
    // Takes the device away at once: the host sees a hangup.
    void Vanish();
    // Bytes lost because the host's receive queue was full.
    uint64_t DroppedBytes() const { return dropped_; }

    // Runs fn on the core under the mutex and returns its result. fn must not
    // keep references into the core.
    template <class F>
    auto WithCore(F&& fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        return fn(core_);
    }
    EmulatorCounters Counters();
    bool IsStreaming();
    uint8_t Peek(uint16_t address);
    void Poke(uint16_t address, uint8_t value);
    void SetFaultProbability(Fault fault, double probability);
    void ArmFault(Fault fault, int count, int skip = 0);
    void ClearFaults();

  private:
    void Run();
    int64_t NowUs() const;
    void Deliver(const std::vector<uint8_t>& bytes);
    void Wake();
    void CloseAll();

    EmulatorCore core_;
    std::mutex mutex_;
    std::size_t queueLimit_;
    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hangup
    int wake_[2] = {-1, -1};
    int64_t originNs_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> vanishRequested_{false};
    std::atomic<bool> gone_{false};
    std::atomic<uint64_t> dropped_{0};
};

}  // namespace qx::emu
