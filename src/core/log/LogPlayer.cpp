#include "core/log/LogPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/host/Clock.h"
#include "core/link/CommPort.h"

namespace qx {

LogPlayer::LogPlayer(std::shared_ptr<const EngineLog> log, Clock& clock, SampleChannel& samples)
    : log_(std::move(log)), clock_(clock), samples_(samples) {
    pausedAt_ = log_->StartMs();
}

LogPlayer::~LogPlayer() = default;

int64_t LogPlayer::PositionMs() const {
    if (!playing_) return pausedAt_;
    const double elapsed = static_cast<double>(clock_.NowMs() - anchorClock_) * speed_;
    return std::min(log_->EndMs(), anchorLog_ + static_cast<int64_t>(std::floor(elapsed)));
}

void LogPlayer::Anchor(int64_t logTime) {
    anchorClock_ = clock_.NowMs();
    anchorLog_ = logTime;
    pausedAt_ = logTime;
}

void LogPlayer::Play() {
    if (playing_) return;
    if (row_ + 1 >= log_->Rows()) {
        pausedAt_ = log_->StartMs();
        MoveTo(0, true);
    }
    Anchor(pausedAt_);
    playing_ = true;
}

void LogPlayer::Pause() {
    if (!playing_) return;
    pausedAt_ = PositionMs();
    playing_ = false;
}

void LogPlayer::TogglePlay() {
    if (playing_) {
        Pause();
    } else {
        Play();
    }
}

void LogPlayer::SetSpeed(double speed) {
    if (std::find(kSpeeds.begin(), kSpeeds.end(), speed) == kSpeeds.end()) return;
    Anchor(PositionMs());
    speed_ = speed;
}

bool LogPlayer::MoveTo(std::size_t row, bool jump) {
    row = std::min(row, log_->Rows() - 1);
    if (row == row_ && !jump) return false;
    row_ = row;
    samples_.Publish(*this, jump);
    return true;
}

void LogPlayer::Seek(int64_t t) {
    t = std::clamp(t, log_->StartMs(), log_->EndMs());
    Anchor(t);
    MoveTo(log_->RowAt(t), true);
}

void LogPlayer::Step(int rows) {
    Pause();
    const auto last = static_cast<int64_t>(log_->Rows()) - 1;
    const int64_t target = std::clamp<int64_t>(static_cast<int64_t>(row_) + rows, 0, last);
    const auto row = static_cast<std::size_t>(target);
    pausedAt_ = log_->timeMs[row];
    MoveTo(row, true);
}

void LogPlayer::ToStart() {
    Seek(log_->StartMs());
}

void LogPlayer::ToEnd() {
    Pause();
    Seek(log_->EndMs());
}

bool LogPlayer::Tick() {
    if (!playing_) return false;
    const int64_t now = PositionMs();
    const bool changed = MoveTo(log_->RowAt(now), false);
    if (now >= log_->EndMs()) {
        pausedAt_ = log_->EndMs();
        playing_ = false;
    }
    return changed;
}

int64_t LogPlayer::MsUntilNextRow() const {
    if (!playing_) return -1;
    const std::size_t next = row_ + 1;
    if (next >= log_->Rows()) return 0;
    const int64_t gap = log_->timeMs[next] - PositionMs();
    if (gap <= 0) return 0;
    return static_cast<int64_t>(std::ceil(static_cast<double>(gap) / speed_));
}

int64_t LogPlayer::SampleTimeMs() const {
    return log_->timeMs[row_];
}

bool LogPlayer::GetImageBytes(uint8_t* dest, uint16_t moduleAddress, std::size_t length) {
    if (dest == nullptr) return false;
    std::memset(dest, 0, length);
    const uint8_t fw = CommPort::Exists() ? CommPort::Instance().FirmwareVersion() : 0xFF;
    const bool first = fw == 0x10 || fw == 0xFF;
    bool valid = length > 0;
    for (std::size_t k = 0; k < length; ++k) {
        const std::size_t address = moduleAddress + k;
        bool found = false;
        for (int q = 0; q < kMonitoredQuantityCount && !found; ++q) {
            const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
            const std::size_t at = first ? m.address0 : m.address1;
            const std::size_t size = m.word ? 2 : 1;
            if (address < at || address >= at + size) continue;
            found = log_->Has(q);
            if (!found) break;
            const uint16_t raw = log_->raw[static_cast<std::size_t>(q)][row_];
            // Module memory holds a word most significant byte first.
            dest[k] = static_cast<uint8_t>(size == 2 && address == at ? raw >> 8 : raw & 0xFF);
        }
        if (!found) valid = false;
    }
    return valid;
}

}  // namespace qx
