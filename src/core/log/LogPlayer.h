#pragma once
// Plays an engine log back on a clock: the cursor moves through the rows at
// the chosen speed while playing, and the row under it feeds the displays as
// the RAM monitor's image would (a LiveSource). Every change of row is
// published on the sample channel; first is set after a jump. Whoever puts
// the player in front of the channel's source drops that hold before the player.
//
// Ownership: the player shares the log; the clock and the channel must
// outlive it.
#include <array>
#include <cstdint>
#include <memory>

#include "core/log/LogReader.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/SampleChannel.h"

namespace qx {

class Clock;

class LogPlayer final : public LiveSource {
  public:
    static constexpr std::array<double, 6> kSpeeds = {0.25, 0.5, 1.0, 2.0, 4.0, 8.0};

    LogPlayer(std::shared_ptr<const EngineLog> log, Clock& clock, SampleChannel& samples);
    ~LogPlayer() override;
    LogPlayer(const LogPlayer&) = delete;
    LogPlayer& operator=(const LogPlayer&) = delete;

    const EngineLog& Log() const { return *log_; }
    std::shared_ptr<const EngineLog> SharedLog() const { return log_; }
    std::size_t Row() const { return row_; }
    // The log time under the cursor (between rows while playing).
    int64_t PositionMs() const;
    bool IsPlaying() const { return playing_; }
    double Speed() const { return speed_; }

    // Playing from the end starts again at the first row.
    void Play();
    void Pause();
    void TogglePlay();
    // One of kSpeeds; any other value is ignored.
    void SetSpeed(double speed);
    // Moves the cursor to log time t (clamped); playing goes on from there.
    void Seek(int64_t t);
    // Moves rows back (negative) or forth, and pauses.
    void Step(int rows);
    void ToStart();
    void ToEnd();
    // Follows the clock while playing; pauses at the last row. True when the
    // row changed.
    bool Tick();
    // Clock milliseconds until the next row is due; -1 while paused.
    int64_t MsUntilNextRow() const;

    bool GetImageBytes(uint8_t* dest, uint16_t moduleAddress, std::size_t length) override;
    bool BacksValues() const override { return true; }
    bool ShowsLiveBar() const override { return true; }
    int64_t SampleTimeMs() const override;

  private:
    void Anchor(int64_t logTime);
    bool MoveTo(std::size_t row, bool jump);

    std::shared_ptr<const EngineLog> log_;
    Clock& clock_;
    SampleChannel& samples_;
    std::size_t row_ = 0;
    bool playing_ = false;
    double speed_ = 1.0;
    int64_t anchorClock_ = 0;  // clock time when the log time was anchorLog_
    int64_t anchorLog_ = 0;
    int64_t pausedAt_ = 0;  // log time under the cursor while paused
};

}  // namespace qx
