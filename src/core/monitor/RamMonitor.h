#pragma once
// The RAM monitor engine: asks the module to stream a block of its RAM, keeps
// the latest packet as an image, and arbitrates the module between the stream
// and user commands (suspend for a command, postpone commands that arrive while
// a packet is read, restart the stream afterwards).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/link/CommPort.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/SampleChannel.h"

namespace qx {

class RamMonitor final : public LiveSource {
  public:
    static constexpr std::size_t kImageSize = 60;
    static constexpr int kMaxPostponed = 4;
    static constexpr int kDefaultRestartThreshold = 50;

    // Created on first use (reads "Monitor Beep On Failure" and "Restart Threshold");
    // the instance is owned by the class.
    static RamMonitor& Instance();
    static bool Exists();
    // Destroys the instance; posted replays that are still pending do nothing.
    static void ResetInstance();

    bool IsRunning() const { return running_; }
    bool IsSuspended() const { return suspended_; }
    bool IsReading() const { return reading_; }
    bool IsImageValid() const { return imageValid_; }
    // True while the Run loop is active.
    bool IsRunActive() const { return runActive_; }
    bool BeepOnFailure() const { return beepOnFailure_; }
    int RestartThreshold() const { return restartThreshold_; }

    // Copies length bytes of the image for module addresses moduleAddress.. and
    // returns whether the image is valid. A range not wholly inside the streamed
    // block copies nothing and answers false.
    bool GetImageBytes(uint8_t* dest, uint16_t moduleAddress, std::size_t length) override;
    // Backed while the link is up and the stream runs; the bar shows while
    // monitoring, suspended or not.
    bool BacksValues() const override;
    bool ShowsLiveBar() const override { return running_ || suspended_; }
    // The host clock when the latest good packet came off the line (it may
    // have waited in the receive buffer since).
    int64_t SampleTimeMs() const override { return sampleTimeMs_; }

    bool Start();
    bool Stop();
    bool Suspend();
    // The monitor loop; returns when monitoring ends, the link goes down or the app quits.
    void Run();
    // Reads one packet into the image. error may be null.
    bool UpdateRamImage(CommPort::CommError* error);

    // Queues commandId (true) while a packet is read or a command is in progress;
    // otherwise suspends the monitor when asked and answers false.
    bool PostponeCommandIfBusy(int commandId, bool suspend);
    // Routes every queued id through the host, in queue order, each taken off the
    // queue as it runs; ids queued meanwhile run in turn.
    void RunPostponedCommands();
    // The ids waiting, in order; owned by the monitor, valid until it changes.
    const std::vector<int>& PostponedCommands() const { return postponed_; }

    // The monitored block, chosen by the module's firmware version byte.
    uint16_t BlockStart() const;
    uint16_t BlockCount() const;
    std::size_t PacketLength() const { return BlockCount() + wire::kFrameOverhead; }

    // The run's one sample channel: each good packet is published on it (first
    // on the first since the stream was (re)started), and the monitor is the
    // source it falls back to. Gone with the monitor.
    SampleChannel& Samples() { return samples_; }
    // The link broke: running, suspended and reading are cleared.
    void ForgetState();
    // Called when the busy count returns to 0: replays queued commands from the
    // main loop once nothing is nested (no Run, wait or modal dialog).
    void ScheduleReplay();

    // The whole image (for tests and diagnostics); owned by the monitor.
    const uint8_t* Image() const { return image_; }

    ~RamMonitor() override;
    RamMonitor(const RamMonitor&) = delete;
    RamMonitor& operator=(const RamMonitor&) = delete;

  private:
    RamMonitor();
    void ReplayWhenQuiet();
    // When the packet just read arrived, from the bytes waiting behind it.
    int64_t ArrivalMs(int64_t nowMs);
    // After the cancel: waits, dispatching nothing, until the packet the module
    // was sending is in and no other can follow; at most the link's Delay.
    void SettleAfterCancel();

    uint8_t image_[kImageSize] = {};
    bool imageValid_ = false;
    bool reading_ = false;
    bool running_ = false;
    bool suspended_ = false;
    bool beepOnFailure_ = false;
    std::vector<int> postponed_;
    int restartThreshold_ = kDefaultRestartThreshold;
    bool runActive_ = false;
    bool replayPosted_ = false;
    int64_t sampleTimeMs_ = 0;
    SampleChannel samples_{this};
};

}  // namespace qx
